#include "BenchSupport.h"
#include "FtpServer.h"
#include "NetworkCameraServer.h"
#include "PipeWireBench.h"
#include "PipeWireGraph.h"
#include "ScriptedPrompter.h"
#include "capture/GstCaptureComponent.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "ui/StatusPanels.h"
#include "upload/UploadEngine.h"
#include "upload/UploadScheduler.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

// Several cameras at once, as the program runs them in the tray: the program's camera and the
// cameras the accounts name, each account uploading every 2 seconds to pyftpdlib on loopback.
// The CPU share of the whole program and its resident memory with one camera (one account), and
// with four (two PipeWire cameras at 1280 x 720 MJPEG, two HTTP MJPEG cameras).
namespace {
PipeWireGraph* g_graph = nullptr;

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The program's core without a window, on a fresh store.
struct TrayProgram
{
    TrayProgram()
        : engine(
              {dir.filePath(QStringLiteral("store.db")), dir.filePath(QStringLiteral("work"))}, prompter,
              status, [] {},
              std::make_unique<GstCaptureComponent>(dir.filePath(QStringLiteral("work")), false))
    {
    }
    int driver(const QString& name) const
    {
        CaptureComponent& capture = const_cast<UploadEngine&>(engine).capture();
        for (int i = 0; i < capture.DriverCount(); ++i)
            if (capture.DriverName(i) == name)
                return i;
        return -1;
    }
    // An account that uploads every 2 seconds from the camera (empty: the program's camera).
    void addAccount(int position, const QString& name, const QString& camera, const FtpServer& server)
    {
        Regedit& store = engine.store();
        const QString key = AccountBook::kProductKey + QLatin1Char('\\') + name;
        store.SaveString(HKEY_LOCAL_MACHINE, AccountBook::kProductKey,
                         QStringLiteral("Account%1").arg(position), name);
        const QList<std::pair<QString, QString>> values{
            {"Selected", "True"},
            {"Upload image every:", "Custom"},
            {"Custom", "2"},
            {"Destination filename:", name},
            {"Host Name/Adress:", server.hostField()},
            {"User ID:", FtpServer::kUser},
            {"Password:", FtpServer::kPassword},
            {"Remember password", "1"},
            {"Passive", "1"},
            {"Camera", camera},
        };
        for (const auto& [value, text] : values)
            store.SaveString(HKEY_LOCAL_MACHINE, key, value, text);
    }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    StatusPanels status;
    UploadEngine engine;
};

void BM_CamerasInTheTray(benchmark::State& state)
{
    const int cameras = int(state.range(0));
    if (!g_graph) {
        state.SkipWithError("PipeWire cannot start here");
        return;
    }
    FtpServer server;
    if (!server.start()) {
        state.SkipWithError("pyftpdlib did not start");
        return;
    }
    const int first = g_graph->plug(hdMjpegCamera("Hd1"));
    const int second = cameras > 1 ? g_graph->plug(hdMjpegCamera("Hd2")) : 0;
    NetworkCameraServer door;
    NetworkCameraServer yard;
    NetworkCameraServer::Options hd;
    hd.size = {1280, 720};
    if (first < 0 || second < 0 || (cameras > 1 && (!door.start(hd) || !yard.start(hd)))) {
        state.SkipWithError("the cameras did not start");
        return;
    }
    for (auto _ : state) {
        TrayProgram program;
        CaptureComponent& capture = program.engine.capture();
        (void)QTest::qWaitFor(
            [&] { return program.driver("Hd1") >= 0 && (cameras == 1 || program.driver("Hd2") >= 0); }, 5000);
        program.addAccount(1, "hd1", QString(), server);
        if (cameras > 1) {
            const Result<int> doorCamera = capture.addNetworkCamera(
                NetworkCamera{QStringLiteral("Door"), door.mjpegAddress(), NetworkCamera::Kind::MjpegStream});
            const Result<int> yardCamera = capture.addNetworkCamera(
                NetworkCamera{QStringLiteral("Yard"), yard.mjpegAddress(), NetworkCamera::Kind::MjpegStream});
            if (!doorCamera || !yardCamera) {
                state.SkipWithError("the network cameras were refused");
                return;
            }
            program.addAccount(2, "hd2", capture.DriverIdentity(program.driver("Hd2")), server);
            program.addAccount(3, "door", capture.DriverIdentity(*doorCamera), server);
            program.addAccount(4, "yard", capture.DriverIdentity(*yardCamera), server);
        }
        int uploads = 0;
        int failures = 0;
        QObject::connect(&program.engine.scheduler(), &UploadScheduler::cycleFinished, &program.engine,
                         [&](int, UploadCycle::Outcome outcome) {
                             ++(outcome == UploadCycle::Outcome::Delivered ? uploads : failures);
                         });
        program.engine.connectCapture();
        if (capture.DriverIndex() != program.driver("Hd1"))
            (void)capture.setDriverIndex(program.driver("Hd1"));
        program.engine.accounts().loadList();
        program.engine.scheduler().StartTimer();
        // Every camera connected, the first uploads made and the caches filled before measuring.
        runEventLoop(6000);
        uploads = 0;
        failures = 0;
        state.counters["cpu_percent"] = BenchSupport::cpuPercentOver(20000);
        state.counters["rss_mb"] = BenchSupport::residentMegabytes();
        state.counters["uploads"] = uploads;
        state.counters["failures"] = failures;
        program.engine.stop(true);
        (void)QTest::qWaitFor([&] { return program.engine.isStopped(); }, 10000);
    }
    g_graph->unplug(first);
    if (second > 0)
        g_graph->unplug(second);
}
BENCHMARK(BM_CamerasInTheTray)->ArgName("cameras")->Arg(1)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    return runPipeWireBenchmarks(argc, argv, g_graph);
}
