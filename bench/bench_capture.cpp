#include "BenchSupport.h"
#include "BenchWindow.h"
#include "CaptureWait.h"
#include "PipeWireBench.h"
#include "PipeWireGraph.h"
#include "capture/GstCaptureComponent.h"
#include "ui/MainWindow.h"
#include "ui/VideoView.h"
#include "upload/UploadEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The graph of the PipeWire benchmarks, started before any capture component exists.
PipeWireGraph* g_graph = nullptr;

// The test pattern at 640 x 480, 30 frames per second, with frames already flowing.
bool connectVga(GstCaptureComponent& capture)
{
    if (!capture.setDriverIndex(capture.DriverCount() - 1) || !waitForPicture(capture))
        return false;
    const QList<VideoFormat> formats = capture.videoFormats();
    for (int i = 0; i < formats.size(); ++i) {
        if (formats[i].width == 640 && formats[i].height == 480 && formats[i].fpsNumerator == 30 &&
            !capture.setVideoFormatIndex(i))
            return false;
    }
    return waitForPicture(capture);
}

void BM_SaveFrameAndDecode(benchmark::State& state)
{
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), true);
    if (!connectVga(capture)) {
        state.SkipWithError("no picture");
        return;
    }
    const QString path = work.filePath(QStringLiteral("ic.bmp"));
    for (auto _ : state) {
        if (!capture.SaveFrame(path)) {
            state.SkipWithError("SaveFrame failed");
            return;
        }
        QImage frame(path);
        benchmark::DoNotOptimize(frame.constBits());
        if (frame.width() != 640)
            state.SkipWithError("wrong frame size");
    }
}
BENCHMARK(BM_SaveFrameAndDecode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A still as the upload cycle asks for it, from the request to the answer on the UI thread: the
// freshness check and, with no window showing the picture, the decoding of that one frame. The
// baseline is one bare turn of the event loop.
void BM_StillRequest(benchmark::State& state)
{
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), true);
    if (!connectVga(capture)) {
        state.SkipWithError("no picture");
        return;
    }
    capture.setPictureShown(state.range(0) == 1);
    QTest::qWait(200);
    QObject context;
    for (auto _ : state) {
        bool answered = false;
        capture.requestStill(&context, [&](const CaptureStill& still) {
            answered = true;
            benchmark::DoNotOptimize(still.valueOr(QImage()).constBits());
        });
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
BENCHMARK(BM_StillRequest)->ArgName("shown")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_EventLoopTurn(benchmark::State& state)
{
    QObject context;
    for (auto _ : state) {
        bool answered = false;
        QTimer::singleShot(0, &context, [&] { answered = true; });
        while (!answered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}
BENCHMARK(BM_EventLoopTurn)->Unit(benchmark::kMicrosecond);

// A still from a 1280 x 720 MJPEG camera while no window shows the picture: the newest frame the
// camera sent is decoded on request.
void BM_StillFromHiddenMjpegCamera(benchmark::State& state)
{
    if (!g_graph) {
        state.SkipWithError("PipeWire cannot start here");
        return;
    }
    const int camera = g_graph->plug(hdMjpegCamera("StillCam"));
    QTemporaryDir work;
    {
        GstCaptureComponent capture(work.path(), false);
        if (camera < 0 || !capture.connectAtStart() || !waitForPicture(capture)) {
            state.SkipWithError("the MJPEG camera gives no picture");
            return;
        }
        QObject context;
        for (auto _ : state) {
            // As uploads ask: far enough apart that the frame decoded for the last one is stale.
            QEventLoop pause;
            QTimer::singleShot(100, &pause, &QEventLoop::quit);
            pause.exec();
            bool answered = false;
            QElapsedTimer clock;
            clock.start();
            capture.requestStill(&context, [&](const CaptureStill& still) {
                answered = true;
                if (still.valueOr(QImage()).width() != 1280)
                    state.SkipWithError("no 1280 x 720 still");
            });
            while (!answered)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        }
    }
    g_graph->unplug(camera);
}
BENCHMARK(BM_StillFromHiddenMjpegCamera)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// From a camera's return (its producer started) until the component shows its pictures again.
void BM_ReconnectAfterReturn(benchmark::State& state)
{
    if (!g_graph) {
        state.SkipWithError("PipeWire cannot start here");
        return;
    }
    QTemporaryDir work;
    int camera = g_graph->plug({});
    GstCaptureComponent capture(work.path(), false);
    if (camera < 0 || !capture.connectAtStart() || !waitForPicture(capture)) {
        state.SkipWithError("the PipeWire camera gives no picture");
        return;
    }
    for (auto _ : state) {
        g_graph->unplug(camera);
        if (!QTest::qWaitFor([&] { return !capture.isConnected(); }, 5000)) {
            state.SkipWithError("the unplugged camera was not noticed");
            return;
        }
        QSignalSpy running(&capture, &CaptureComponent::StatusChanged);
        QElapsedTimer clock;
        clock.start();
        camera = g_graph->plug({});
        const bool back = QTest::qWaitFor(
            [&] {
                return !running.isEmpty() && running.last()[0].toInt() == CaptureComponent::StatusPlaying;
            },
            10000);
        if (!back) {
            state.SkipWithError("the camera did not come back");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    g_graph->unplug(camera);
}
BENCHMARK(BM_ReconnectAfterReturn)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A 1280 x 720 MJPEG camera at 30 frames per second: the share of one core this process uses while
// the program lives in the tray (no window shows the picture; one still every 10 s, as an upload
// would take it), and while the main window shows the live picture.
void BM_MjpegCameraCpu(benchmark::State& state)
{
    if (!g_graph) {
        state.SkipWithError("PipeWire cannot start here");
        return;
    }
    const int camera = g_graph->plug(hdMjpegCamera("HdCam"));
    if (camera < 0) {
        state.SkipWithError("no MJPEG camera");
        return;
    }
    {
        BenchWindow program(false);
        UploadEngine& engine = program.engine;
        MainWindow& window = program.window;
        window.showWindow();
        if (!QTest::qWaitFor([&] { return window.videoView().hasPaintedFrame(); }, 10000) ||
            window.videoView().frame().width() != 1280) {
            state.SkipWithError("no 1280 x 720 picture");
            return;
        }
        QTimer upload;
        QObject context;
        QObject::connect(&upload, &QTimer::timeout, &context,
                         [&] { engine.capture().requestStill(&context, [](const CaptureStill&) {}); });
        upload.start(10000);
        for (auto _ : state) {
            window.hide();
            QTest::qWait(500);
            state.counters["hidden_cpu_percent"] = BenchSupport::cpuPercentOver(10000);
            window.showWindow();
            QTest::qWait(500);
            state.counters["shown_cpu_percent"] = BenchSupport::cpuPercentOver(10000);
            state.counters["rss_mb"] = BenchSupport::residentMegabytes();
        }
    }
    g_graph->unplug(camera);
}
BENCHMARK(BM_MjpegCameraCpu)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    return runPipeWireBenchmarks(argc, argv, g_graph);
}
