#include "BenchSupport.h"
#include "CameraFootprint.h"
#include "CaptureWait.h"
#include "NetworkCameraServer.h"
#include "capture/GstCaptureComponent.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
constexpr int kReconnects = 1000;

int patternIndex(const CaptureComponent& capture)
{
    for (int i = 0; i < capture.DriverCount(); ++i)
        if (capture.DriverName(i) == GstCaptureComponent::testPatternDriverName())
            return i;
    return -1;
}

// A network camera that fails over and over, reconnected 1,000 times with the shortest back-off
// (argument 0: an MJPEG stream that ends after two pictures, answers HTTP 503 or closes without a
// word by turns; 1: a snapshot address that answers HTTP 503 or nothing after its first picture). The
// descriptors and memory of the process before and after, with the test pattern connected both
// times, and the time one reconnection takes.
void BM_NetworkCameraReconnects(benchmark::State& state)
{
    const bool snapshot = state.range(0) == 1;
    NetworkCameraServer server;
    NetworkCameraServer::Options options;
    options.fps = 50;
    if (!server.start(options)) {
        state.SkipWithError(qPrintable(server.error()));
        return;
    }
    QTemporaryDir work;
    GstCaptureComponent::Limits limits;
    limits.firstRetryMs = 10;
    limits.lastRetryMs = 20;
    GstCaptureComponent capture(work.path(), true, limits);
    const int pattern = patternIndex(capture);
    // -1 when refused, which the first reconnection then reports.
    const int camera =
        capture
            .addNetworkCamera(NetworkCamera{
                QStringLiteral("Flapping"),
                server.httpAddress(snapshot ? QStringLiteral("/flap.jpg") : QStringLiteral("/flap.mjpg")),
                snapshot ? NetworkCamera::Kind::Snapshot : NetworkCamera::Kind::MjpegStream})
            .valueOr(-1);
    int losses = 0;
    QObject context;
    QObject::connect(&capture, &CaptureComponent::connectionChanged, &context,
                     [&] { losses += capture.isConnected() ? 0 : 1; });
    const auto reconnect = [&](int count) {
        // The camera's first turn sends pictures, so that it is taken.
        server.stop();
        if (!server.start())
            return false;
        const int until = losses + count;
        if (!capture.setDriverIndex(camera))
            return false;
        const bool done = QTest::qWaitFor([&] { return losses >= until; }, 600000);
        return done && capture.setDriverIndex(pattern).ok() && waitForPicture(capture);
    };
    // Every library is loaded and every cache filled before the count.
    if (!reconnect(10)) {
        state.SkipWithError("the camera did not reconnect");
        return;
    }
    QTest::qWait(500);
    for (auto _ : state) {
        const CameraFootprint before = CameraFootprint::now();
        QElapsedTimer clock;
        clock.start();
        if (!reconnect(kReconnects)) {
            state.SkipWithError("the camera did not reconnect");
            return;
        }
        const double ms = double(clock.nsecsElapsed()) / 1e6 / kReconnects;
        QTest::qWait(500); // the last stopped pipeline is freed on the capture's worker thread
        const CameraFootprint after = CameraFootprint::now();
        state.counters["reconnects"] = kReconnects;
        state.counters["ms_per_reconnect"] = ms;
        state.counters["descriptors_before"] = before.descriptors;
        state.counters["descriptors_after"] = after.descriptors;
        state.counters["rss_before_mb"] = before.residentMb;
        state.counters["rss_after_mb"] = after.residentMb;
        state.counters["heap_before_mb"] = before.heapMb;
        state.counters["heap_after_mb"] = after.heapMb;
    }
}
BENCHMARK(BM_NetworkCameraReconnects)
    ->ArgName("snapshot")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QApplication>(argc, argv);
}
