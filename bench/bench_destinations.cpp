#include "BenchSupport.h"
#include "DestinationServers.h"
#include "UploadRig.h"

#include "settings/IntervalTable.h"
#include "upload/TimerSet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

// The upload cycle to each kind of destination on loopback, with and without kept connections:
// a cycle's time per destination, "Constantly" on vsftpd (uploads per second, logins per minute)
// and the CPU an SFTP account that uploads every 2 seconds spends per upload.
namespace {
using Outcome = UploadCycle::Outcome;

using Kind = DestinationServers::Kind;

// Every server once per run, started when a benchmark first needs it.
DestinationServers& servers()
{
    static DestinationServers instance;
    return instance;
}

// Points the default account of the rig at the destination; false, with the reason on stderr,
// when its server does not start.
bool use(Kind kind, UploadRig& rig)
{
    const QString problem = servers().use(kind, [&rig](const QString& name, const QString& value) {
        rig.saveAccount(AccountBook::kDefaultAccount, name, value);
    });
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s did not start: %s\n", DestinationServers::kNames[kind], qPrintable(problem));
        return false;
    }
    rig.saveAccount(AccountBook::kDefaultAccount, "Safe replace", "1");
    rig.load();
    return true;
}

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// Timed turns of the default account, ticked one after the other.
struct Turns
{
    explicit Turns(UploadRig& r) : rig(r)
    {
        QObject::connect(rig.scheduler.get(), &UploadScheduler::cycleFinished, rig.scheduler.get(),
                         [this](int, Outcome outcome) { outcomes << outcome; });
    }
    // An event loop of its own that ends with the turn: a polling wait would add its own steps to
    // every turn.
    bool next()
    {
        const qsizetype before = outcomes.size();
        QEventLoop loop;
        const QMetaObject::Connection ended =
            QObject::connect(rig.scheduler.get(), &UploadScheduler::cycleFinished, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        rig.scheduler->Timers(1);
        loop.exec();
        QObject::disconnect(ended);
        return outcomes.size() > before && outcomes.back() == Outcome::Delivered;
    }
    UploadRig& rig;
    QList<Outcome> outcomes;
};

// One timed turn of an account uploading every 10 s, a new connection each time (kept = 0) or
// going on with the last one (kept = 1); the fake camera, so the destination makes the difference.
void cycle(benchmark::State& state)
{
    const auto kind = static_cast<Kind>(state.range(0));
    const bool kept = state.range(1) != 0;
    state.SetLabel(DestinationServers::kNames[kind]);
    UploadRig rig;
    if (!use(kind, rig)) {
        state.SkipWithError("the server did not start");
        return;
    }
    rig.accounts.setChecked(0, true);
    rig.scheduler->setKeepIdle(kept ? UploadScheduler::kKeepIdle : std::chrono::milliseconds(0));
    rig.scheduler->timers().set(1, 10000);
    Turns turns(rig);
    if (!turns.next()) {
        state.SkipWithError("the first upload failed");
        return;
    }
    // Every connection gives back what it took: the descriptors after all the turns are those of
    // the first one.
    const int descriptors = openDescriptors();
    for (auto _ : state) {
        if (!turns.next())
            state.SkipWithError("upload failed");
    }
    state.counters["descriptors_added"] = openDescriptors() - descriptors;
    rig.scheduler->stop(false);
}

// "Constantly" on vsftpd for a while: uploads per second and logins per minute.
void constantlyOnVsftpd(benchmark::State& state)
{
    const bool kept = state.range(0) != 0;
    const int seconds = qEnvironmentVariableIntValue("VELMORA_CONSTANTLY_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VELMORA_CONSTANTLY_SECONDS")
                            : 20;
    UploadRig rig;
    if (!use(DestinationServers::Vsftpd, rig)) {
        state.SkipWithError("vsftpd did not start");
        return;
    }
    rig.scheduler->setKeepIdle(kept ? UploadScheduler::kKeepIdle : std::chrono::milliseconds(0));
    for (auto _ : state) {
        const int loginsBefore = servers().vsftpd.logins();
        const qint64 uploadsBefore = rig.cycle->uploadCount();
        rig.accounts.setChecked(0, true);
        rig.accounts.setIntervalItem(*IntervalTable::positionOf(QStringLiteral("Constantly")));
        rig.scheduler->StartTimer();
        QElapsedTimer wall;
        wall.start();
        // The event loop itself: QTest::qWait sleeps between its turns, which would pace the uploads.
        QEventLoop running;
        QTimer::singleShot(seconds * 1000, &running, &QEventLoop::quit);
        running.exec();
        rig.scheduler->stop(false);
        if (!QTest::qWaitFor([&] { return !rig.scheduler->isCycleRunning(); }, 10000))
            state.SkipWithError("the last upload did not end");
        const double elapsed = double(wall.elapsed()) / 1000.0;
        const double uploads = double(rig.cycle->uploadCount() - uploadsBefore);
        state.counters["uploads_per_s"] = uploads / elapsed;
        state.counters["logins_per_min"] = double(servers().vsftpd.logins() - loginsBefore) * 60.0 / elapsed;
        state.counters["failed_lines"] = double(rig.log.text().count("Couldn't"));
    }
}

// An SFTP account that uploads every 2 seconds: the program's CPU time per upload, a key exchange
// and login each time (kept = 0) or one for them all (kept = 1). The turns are ticked back to back;
// the 2 seconds between them would only add idle time.
void sftpEveryTwoSeconds(benchmark::State& state)
{
    const bool kept = state.range(0) != 0;
    constexpr int kUploads = 20;
    UploadRig rig;
    if (!use(DestinationServers::Sftp, rig)) {
        state.SkipWithError("sshd did not start");
        return;
    }
    rig.accounts.setChecked(0, true);
    rig.scheduler->setKeepIdle(kept ? UploadScheduler::kKeepIdle : std::chrono::milliseconds(0));
    rig.scheduler->timers().set(1, 2000);
    Turns turns(rig);
    for (auto _ : state) {
        const double cpu = BenchSupport::processCpuSeconds();
        for (int upload = 0; upload < kUploads; ++upload) {
            if (!turns.next()) {
                state.SkipWithError("upload failed");
                return;
            }
        }
        state.counters["cpu_ms_per_upload"] = (BenchSupport::processCpuSeconds() - cpu) * 1000.0 / kUploads;
    }
    rig.scheduler->stop(false);
}
} // namespace

BENCHMARK(cycle)
    ->ArgsProduct({{DestinationServers::PyFtp, DestinationServers::Vsftpd, DestinationServers::Sftp,
                    DestinationServers::WebDav, DestinationServers::S3},
                   {0, 1}})
    ->ArgNames({"destination", "kept"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0)
    ->UseRealTime();
BENCHMARK(constantlyOnVsftpd)->Arg(0)->Arg(1)->ArgName("kept")->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(sftpEveryTwoSeconds)->Arg(0)->Arg(1)->ArgName("kept")->Unit(benchmark::kSecond)->Iterations(3);

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QGuiApplication>(argc, argv);
}
