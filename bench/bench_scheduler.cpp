#include "BenchSupport.h"
#include "CaptureWait.h"
#include "UploadRig.h"

#include "capture/GstCaptureComponent.h"
#include "settings/Regedit.h"
#include "ui/ProgramEnd.h"
#include "upload/UploadEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

// Fair turns with a dead account present, and the time from asking the program to end to the end
// of the process, with the program's own time limits and back-off.
namespace {
using namespace std::chrono_literals;

void serve(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// Six accounts: "fast" every 3 seconds, "dead" every 20 seconds to a server that is down (Arg 1)
// or never greets (Arg 2), four more every 10 seconds; Arg 0 has no dead account. Counts the fast
// account's uploads over 150 s (VELMORA_FAIRNESS_SECONDS shortens it).
void fastAccountBesideADeadOne(benchmark::State& state)
{
    const int seconds = qEnvironmentVariableIntValue("VELMORA_FAIRNESS_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VELMORA_FAIRNESS_SECONDS")
                            : 150;
    const int dead = int(state.range(0));
    for (auto _ : state) {
        FtpServer good;
        FtpServer deadServer;
        if (!good.start() || !deadServer.start({.mute = dead == 2})) {
            state.SkipWithError("FTP server did not start");
            return;
        }
        if (dead == 1)
            deadServer.stop(); // nobody listens on its port any more
        UploadRig rig(UploadRig::Camera::Fake, FtpTimeouts(), UploadBackoff());
        QStringList names{"fast", "dead", "b", "c", "d", "e"};
        if (dead == 0)
            names.removeAt(1);
        for (int n = 0; n < names.size(); ++n) {
            const QString& name = names[n];
            rig.saveOption(QStringLiteral("Account%1").arg(n + 1), name);
            rig.useServer(name == "dead" ? deadServer : good, QString(), name);
            rig.saveAccount(name, "Selected", "True");
            rig.saveAccount(name, "Destination filename:", name);
            rig.saveAccount(
                name, "Upload image every:", name == "fast" || name == "dead" ? "Custom" : "10 seconds");
            rig.saveAccount(name, "Custom", name == "fast" ? "3" : name == "dead" ? "20" : "10");
        }
        rig.load();
        int fast = 0;
        int deadTries = 0;
        QObject::connect(rig.scheduler.get(), &UploadScheduler::cycleFinished, rig.scheduler.get(),
                         [&](int row, UploadCycle::Outcome outcome) {
                             if (row == 0 && outcome == UploadCycle::Outcome::Delivered)
                                 ++fast;
                             if (dead != 0 && row == 1)
                                 ++deadTries;
                         });
        rig.scheduler->StartTimer();
        serve(std::chrono::seconds(seconds));
        rig.scheduler->stop(true);
        serve(200ms);
        state.counters["fast_uploads"] = fast;
        state.counters["fast_share_pct"] = 100.0 * fast / (seconds / 3.0);
        state.counters["dead_tries"] = deadTries;
    }
}

// Medians and the worst of a few measurements, in milliseconds.
void report(benchmark::State& state, QList<qint64> times)
{
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = double(times[times.size() / 2]);
    state.counters["max_ms"] = double(times.last());
}

// The built program as a child: a store with one flagged "Constantly" account on server.
class Child
{
public:
    explicit Child(const FtpServer& server, const QList<std::pair<QString, QString>>& options = {})
    {
        Regedit store(m_dir.file("store.db"));
        store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account1", "Cam");
        for (const auto& [name, text] :
             QList<std::pair<QString, QString>>{{"Selected", "True"},
                                                {"Host Name/Adress:", server.hostField()},
                                                {"User ID:", FtpServer::kUser},
                                                {"Password:", FtpServer::kPassword},
                                                {"Upload image every:", "Constantly"},
                                                {"Custom", "0"}})
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Cam", name, text);
        for (const auto& [name, text] : options)
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", name, text);
    }
    bool start(const QStringList& mode)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
                      QStringList{"--store", m_dir.file("store.db"), "--workdir", m_dir.file("work"),
                                  "--test-pattern"} +
                          mode);
        return process.waitForStarted(5000);
    }
    void signal() { ::kill(static_cast<pid_t>(process.processId()), SIGTERM); }
    bool waitForEnd() { return process.waitForFinished(10000); }

    QProcess process;

private:
    TempDir m_dir;
};

bool waitForStor(const FtpServer& server)
{
    QElapsedTimer clock;
    clock.start();
    while (!server.commands().join(' ').contains("STOR") && clock.elapsed() < 20000)
        QThread::msleep(5);
    return server.commands().join(' ').contains("STOR");
}

// SIGTERM to the program with its windows (the tray's Exit) during an upload to a server that went
// silent at STOR, to the end of the process. Arg 1: the same with "--headless" and two signals, from
// the second one.
void signalDuringASilentUpload(benchmark::State& state)
{
    const bool headless = state.range(0) != 0;
    QList<qint64> times;
    for (auto _ : state) {
        for (int n = 0; n < 5; ++n) {
            FtpServer server;
            server.start({.stallAt = "STOR"});
            Child child(server);
            child.start(headless ? QStringList{"--headless"} : QStringList());
            if (!waitForStor(server)) {
                state.SkipWithError("the upload did not start");
                return;
            }
            if (headless) {
                child.signal();
                QThread::msleep(200);
            }
            QElapsedTimer clock;
            clock.start();
            child.signal();
            child.waitForEnd();
            times << clock.elapsed();
        }
    }
    report(state, times);
}

// The close-after option with a count of 1, headless: from the cycle's last log line on standard
// output to the end of the process.
void closeAfterCount(benchmark::State& state)
{
    QList<qint64> times;
    for (auto _ : state) {
        for (int n = 0; n < 5; ++n) {
            FtpServer server;
            server.start();
            Child child(server, {{"Close", "1"}, {"Close#", "1"}});
            child.start({"--headless"});
            QElapsedTimer clock;
            QByteArray out;
            while (!out.contains("Disconnected") && child.process.waitForReadyRead(10000))
                out += child.process.readAllStandardOutput();
            clock.start();
            child.waitForEnd();
            times << clock.elapsed();
        }
    }
    report(state, times);
}

// The end of the program while the GStreamer component records a movie of the test pattern, in this
// process: from the request to the end of the event loop (the movie finalised), plus tearing down
// the engine and the component.
void endDuringAMovie(benchmark::State& state)
{
    QList<qint64> times;
    for (auto _ : state) {
        for (int n = 0; n < 3; ++n) {
            TempDir dir;
            ScriptedPrompter prompter;
            RecordingStatus status;
            auto capture = std::make_unique<GstCaptureComponent>(dir.path(), true);
            GstCaptureComponent* movie = capture.get();
            if (!capture->setDriverIndex(capture->DriverCount() - 1) || !waitForPicture(*capture)) {
                state.SkipWithError("the test pattern sends no picture");
                return;
            }
            auto engine = std::make_unique<UploadEngine>(
                UploadEngine::Settings{dir.file("store.db"), dir.file("work")}, prompter, status, [] {},
                std::move(capture));
            QElapsedTimer clock;
            qint64 ended = -1;
            QEventLoop loop;
            ProgramEnd end(*engine, [&](int) {
                ended = clock.elapsed();
                loop.quit();
            });
            QObject::connect(movie, &CaptureComponent::PreRoll, movie, [movie] { movie->StartCaptureNow(); });
            movie->setCaptureFile(dir.file("movie.avi"));
            // A movie that cannot start leaves the end nothing to wait for, which it measures too.
            QTimer::singleShot(0, movie, [movie] { (void)movie->CaptureMovie(); });
            QTimer::singleShot(1000, movie, [&] {
                clock.start();
                end.request();
            });
            loop.exec();
            engine.reset();
            times << clock.elapsed();
            if (ended < 0 || !QFile::exists(dir.file("movie.avi")))
                state.SkipWithError("the movie did not end as a file");
        }
    }
    report(state, times);
}
} // namespace

BENCHMARK(fastAccountBesideADeadOne)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("dead")
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(signalDuringASilentUpload)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("headless")
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(closeAfterCount)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(endDuringAMovie)->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QApplication>(argc, argv);
}
