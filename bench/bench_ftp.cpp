#include "BenchSupport.h"
#include "FtpServer.h"
#include "SignalWait.h"
#include "TempDir.h"
#include "common/Prompter.h"
#include "upload/DestinationSessions.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

// A bare FTP put of a webcam-sized picture to a local pyftpdlib server.
namespace {
class SilentPrompter final : public Prompter
{
public:
    Answer message(const QString&, Icon, Buttons, const QString&, Answer defaultAnswer) override
    {
        return defaultAnswer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
};

struct Setup
{
    Setup()
    {
        if (!server.start()) {
            std::fprintf(stderr, "FTP server did not start: %s\n", qPrintable(server.startError()));
            std::exit(1);
        }
        QFile file(local.file(QStringLiteral("webcam.jpg")));
        if (!file.open(QIODevice::WriteOnly))
            std::exit(1);
        QByteArray bytes(40 * 1024, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7 + i / 251);
        file.write(bytes);
    }

    FtpServer server;
    TempDir local;
    QString picture() const { return local.file(QStringLiteral("webcam.jpg")); }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

// The stage's job for the server's account: the picture under this remote path.
FtpJob jobFor(const Setup& s, const QString& remotePicturePath)
{
    FtpJob job;
    job.host = s.server.hostField();
    job.user = FtpServer::kUser;
    job.password = FtpServer::kPassword;
    job.remotePicturePath = remotePicturePath;
    job.localPicturePath = s.picture();
    return job;
}

void connectPutQuit(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state) {
        const auto session = DestinationSessions::create({}, {});
        if (!session->connect(s.server.hostField(), FtpServer::kUser, FtpServer::kPassword) ||
            !session->put(s.picture(), QStringLiteral("cam1.jpg")))
            state.SkipWithError("upload failed");
        session->close();
    }
    state.SetBytesProcessed(state.iterations() * 40 * 1024);
}

// Login, put and goodbye in active (0) and passive (1) mode; passive must not be slower.
void connectPutQuitByMode(benchmark::State& state)
{
    Setup& s = setup();
    DestinationSession::Settings settings;
    settings.passive = state.range(0) == 1;
    state.SetLabel(settings.passive ? "passive" : "active");
    double slowest = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto session = DestinationSessions::create({}, settings);
        if (!session->connect(s.server.hostField(), FtpServer::kUser, FtpServer::kPassword) ||
            !session->put(s.picture(), QStringLiteral("cam1.jpg")))
            state.SkipWithError("upload failed");
        session->close();
        slowest = std::max(
            slowest,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["slowest_ms"] = slowest;
}

void putOnOpenConnection(benchmark::State& state)
{
    Setup& s = setup();
    const auto session = DestinationSessions::create({}, {});
    if (!session->connect(s.server.hostField(), FtpServer::kUser, FtpServer::kPassword))
        state.SkipWithError("login failed");
    for (auto _ : state) {
        if (!session->put(s.picture(), QStringLiteral("cam1.jpg")))
            state.SkipWithError("upload failed");
    }
    state.counters["connections"] = static_cast<double>(session->connectionCount());
    state.SetBytesProcessed(state.iterations() * 40 * 1024);
}

// The whole stage as an upload cycle runs it: log lines and calls on a worker thread.
void stageWithTextFile(benchmark::State& state)
{
    Setup& s = setup();
    FtpLog log;
    SilentPrompter prompter;
    FtpStage stage(log, prompter);
    FtpJob job = jobFor(s, QStringLiteral("cam1.jpg"));
    job.remoteTimePath = QStringLiteral("time.txt");
    job.localTimePath = s.picture();
    job.textFile = true;
    for (auto _ : state) {
        if (!untilSignal<FtpResult>(&stage, &FtpStage::finished, [&] { stage.start(job); })->textFileUploaded)
            state.SkipWithError("upload failed");
    }
}
// The stage with an archive copy: none (0), a copy (1), a copy and the look for old copies in a
// folder of 500 recent ones (2), which the stage does at most once an hour. A copy is one more
// put on the open connection, so (1) - (0) should stay within putOnOpenConnection.
void stageWithArchiveCopy(benchmark::State& state)
{
    Setup& s = setup();
    const QString folder = QStringLiteral("arch/");
    const QDateTime now = QDateTime::currentDateTime();
    if (QDir(s.server.home()).mkpath(folder)) {
        for (int n = 0; n < 500; ++n)
            QFile(s.server.homeFile(folder + now.addSecs(-n - 1).toString("'cam-'yyyyMMdd-HHmmss'.jpg'")))
                .open(QIODevice::WriteOnly);
    }
    FtpLog log;
    SilentPrompter prompter;
    FtpStage stage(log, prompter);
    FtpJob job = jobFor(s, folder + QStringLiteral("cam1.jpg"));
    if (state.range(0) > 0)
        job.archive =
            FtpJob::Archive{folder + QStringLiteral("cam-copy.jpg"), folder,
                            QStringLiteral("cam-%Y%m%d-%H%M%S.jpg"), state.range(0) > 1 ? 7 : 0, now};
    state.SetLabel(state.range(0) == 0 ? "no copy" : state.range(0) == 1 ? "copy" : "copy and clean-up");
    for (auto _ : state) {
        const std::optional<FtpResult> result =
            untilSignal<FtpResult>(&stage, &FtpStage::finished, [&] { stage.start(job); });
        if (!result || !result->pictureUploaded || result->archiveUploaded != (state.range(0) > 0))
            state.SkipWithError("upload failed");
    }
}
} // namespace

BENCHMARK(connectPutQuit)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(connectPutQuitByMode)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3);
BENCHMARK(putOnOpenConnection)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(stageWithTextFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK(stageWithArchiveCopy)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the stage hands its results over through the event loop
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
