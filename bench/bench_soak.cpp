#include "FtpServer.h"
#include "TempDir.h"

#include "settings/Regedit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

// The soak: the built program without windows, on the GStreamer test pattern, for a long time (two
// hours unless "--duration=SECONDS" says otherwise), with one account every 2 seconds and one
// "Constantly", both to a local server. Every minute (or every twentieth of a shorter run) it
// prints the program's open descriptors, threads, resident memory and uploads so far; the counters
// give them at the first sample (after a minute of warming up, or the first twentieth) and at the
// end, with the highest seen. Not run by CI.
//
//   build/bin/bench_soak --duration=600
namespace {
int g_durationSeconds = 2 * 60 * 60;

struct Sample
{
    double seconds = 0;
    int descriptors = 0;
    int threads = 0;
    double residentMb = 0;
    qint64 uploads = 0;
};

int descriptorsOf(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

int threadsOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return 0;
}

double residentMbOf(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

void soak(benchmark::State& state)
{
    for (auto _ : state) {
        FtpServer server;
        if (!server.start()) {
            state.SkipWithError("FTP server did not start");
            return;
        }
        TempDir dir;
        {
            Regedit store(dir.file("store.db"));
            const QList<std::pair<QString, QString>> accounts{{"two", "2"}, {"fast", "0"}};
            for (int n = 0; n < accounts.size(); ++n) {
                const auto& [name, seconds] = accounts[n];
                store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora",
                                 QStringLiteral("Account%1").arg(n + 1), name);
                const QString key = "Software\\Velmora\\" + name;
                for (const auto& [value, text] : QList<std::pair<QString, QString>>{
                         {"Selected", "True"},
                         {"Host Name/Adress:", server.hostField()},
                         {"User ID:", FtpServer::kUser},
                         {"Password:", FtpServer::kPassword},
                         {"Destination filename:", name},
                         {"Enable timestamp", "1"},
                         {"Upload image every:", seconds == "0" ? "Constantly" : "Custom"},
                         {"Custom", seconds}})
                    store.SaveString(HKEY_LOCAL_MACHINE, key, value, text);
            }
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("VELMORA_STORE");
        program.setProcessEnvironment(env);
        program.start(
            QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
            {"--store", dir.file("store.db"), "--workdir", dir.file("work"), "--test-pattern", "--headless"});
        if (!program.waitForStarted(5000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        const qint64 pid = program.processId();
        const int interval = std::max(1, std::min(60, g_durationSeconds / 20));
        qint64 uploads = 0;
        qint64 failures = 0;
        QByteArray pending;
        const auto drain = [&] {
            // The log is counted as it comes and not kept: two hours of it would be tens of MB.
            pending += program.readAllStandardOutput();
            // Standard error has the status texts, and what a message box would say.
            failures += program.readAllStandardError().count("Failed");
            const qsizetype cut = pending.lastIndexOf('\n');
            if (cut < 0)
                return;
            // Each line comes after its line end ("\r\nPicture uploaded!"): the text before the
            // last line end holds whole lines only.
            const QByteArray lines = pending.left(cut + 1);
            pending.remove(0, cut + 1);
            uploads += lines.count("Picture uploaded!");
            failures += lines.count("Couldn't");
        };
        std::vector<Sample> samples;
        QElapsedTimer clock;
        clock.start();
        for (qint64 next = interval * 1000LL; next <= g_durationSeconds * 1000LL; next += interval * 1000LL) {
            while (clock.elapsed() < next) {
                program.waitForReadyRead(200);
                drain();
                if (program.state() != QProcess::Running) {
                    state.SkipWithError("the program ended by itself");
                    return;
                }
            }
            const Sample sample{double(clock.elapsed()) / 1000.0, descriptorsOf(pid), threadsOf(pid),
                                residentMbOf(pid), uploads};
            samples.push_back(sample);
            std::fprintf(stderr, "%7.0f s  descriptors %4d  threads %3d  resident %7.1f MB  uploads %lld\n",
                         sample.seconds, sample.descriptors, sample.threads, sample.residentMb,
                         static_cast<long long>(sample.uploads));
        }
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        program.waitForFinished(20000);
        drain();
        const QStringList commands = server.commands();
        const auto stored = [&commands](const char* name) {
            return commands
                .filter(QRegularExpression(QStringLiteral("^STOR %1\\.jpg$").arg(QLatin1String(name))))
                .size();
        };
        if (samples.empty()) {
            state.SkipWithError("too short for a sample");
            return;
        }
        const Sample& first = samples.front();
        const Sample& last = samples.back();
        const auto highest = [&samples](auto member) {
            return (*std::max_element(
                       samples.begin(), samples.end(),
                       [member](const Sample& a, const Sample& b) { return a.*member < b.*member; })).*
                   member;
        };
        state.counters["seconds"] = last.seconds;
        state.counters["fds_first"] = first.descriptors;
        state.counters["fds_last"] = last.descriptors;
        state.counters["fds_max"] = highest(&Sample::descriptors);
        state.counters["threads_first"] = first.threads;
        state.counters["threads_last"] = last.threads;
        state.counters["rss_first_mb"] = first.residentMb;
        state.counters["rss_last_mb"] = last.residentMb;
        state.counters["rss_max_mb"] = highest(&Sample::residentMb);
        state.counters["uploads_2s"] = double(stored("two"));
        state.counters["uploads_constantly"] = double(stored("fast"));
        state.counters["uploads_logged"] = double(uploads);
        state.counters["failures_logged"] = double(failures);
        state.counters["exit_status"] =
            program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
}
BENCHMARK(soak)->Iterations(1)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv)
{
    // "--duration=SECONDS" is ours; the rest goes to the benchmark library.
    std::vector<char*> kept;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--duration=", 11) == 0)
            g_durationSeconds = std::max(1, std::atoi(argv[i] + 11));
        else
            kept.push_back(argv[i]);
    }
    int keptCount = int(kept.size());
    QCoreApplication app(keptCount, kept.data());
    benchmark::Initialize(&keptCount, kept.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
