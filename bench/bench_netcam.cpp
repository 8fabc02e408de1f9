#include "BenchSupport.h"
#include "CaptureWait.h"
#include "NetworkCameraServer.h"
#include "capture/GstCaptureComponent.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {
// A 640 x 480 network camera on loopback (argument 0: an MJPEG stream at 30 frames a second,
// 1: RTSP with RTP/JPEG at 15): the share of one core this process uses while no window shows the
// picture (one still every 10 s, as an upload takes it), while the picture is decoded for a window,
// and how long a still of the hidden camera takes. The camera's own server runs in another process.
void BM_NetworkCameraCpu(benchmark::State& state)
{
    const bool rtsp = state.range(0) == 1;
    NetworkCameraServer server;
    NetworkCameraServer::Options options;
    options.kind = rtsp ? NetworkCameraServer::Kind::Rtsp : NetworkCameraServer::Kind::Http;
    options.size = {640, 480};
    options.fps = 30;
    if (!server.start(options)) {
        state.SkipWithError(qPrintable(server.error()));
        return;
    }
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), false);
    NetworkCamera camera{QStringLiteral("Bench"), rtsp ? server.rtspAddress() : server.mjpegAddress(),
                         rtsp ? NetworkCamera::Kind::Rtsp : NetworkCamera::Kind::MjpegStream};
    const Result<int> added = capture.addNetworkCamera(camera);
    if (!added || !capture.setDriverIndex(*added) || !waitForPicture(capture)) {
        state.SkipWithError("no picture");
        return;
    }
    QTimer upload;
    QObject context;
    QObject::connect(&upload, &QTimer::timeout, &context,
                     [&] { capture.requestStill(&context, [](const CaptureStill&) {}); });
    upload.start(10000);
    for (auto _ : state) {
        capture.setPictureShown(false);
        QTest::qWait(500);
        state.counters["hidden_cpu_percent"] = BenchSupport::cpuPercentOver(10000);
        QElapsedTimer still;
        still.start();
        const bool ok = takeStill(capture).ok();
        state.counters["still_ms"] = ok ? double(still.nsecsElapsed()) / 1e6 : -1;
        capture.setPictureShown(true);
        QTest::qWait(500);
        state.counters["shown_cpu_percent"] = BenchSupport::cpuPercentOver(10000);
    }
}
BENCHMARK(BM_NetworkCameraCpu)->ArgName("rtsp")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QApplication>(argc, argv);
}
