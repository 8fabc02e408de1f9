#include "BenchSupport.h"
#include "capture/GstCaptureComponent.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

// The test pattern at 640 x 480, 30 frames per second, with frames already flowing.
void connectVga(GstCaptureComponent& capture)
{
    capture.setDriverIndex(capture.DriverCount() - 1);
    const QList<VideoFormat> formats = capture.videoFormats();
    for (int i = 0; i < formats.size(); ++i) {
        if (formats[i].width == 640 && formats[i].height == 480 && formats[i].fpsNumerator == 30)
            capture.setVideoFormatIndex(i);
    }
}

void BM_SaveFrameAndDecode(benchmark::State& state)
{
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), true);
    connectVga(capture);
    capture.setPreview(false);
    const QString path = work.filePath(QStringLiteral("ic.bmp"));
    for (auto _ : state) {
        capture.SaveFrame(path);
        QImage frame(path);
        benchmark::DoNotOptimize(frame.constBits());
        if (frame.width() != 640)
            state.SkipWithError("wrong frame size");
    }
}
BENCHMARK(BM_SaveFrameAndDecode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The still alone, without reading it back.
void BM_SaveFrame(benchmark::State& state)
{
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), true);
    connectVga(capture);
    capture.setPreview(false);
    const QString path = work.filePath(QStringLiteral("ic.bmp"));
    for (auto _ : state)
        capture.SaveFrame(path);
}
BENCHMARK(BM_SaveFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// CPU share of one core that the live picture costs: capture plus painting every delivered frame.
void BM_PreviewCpu(benchmark::State& state)
{
    QTemporaryDir work;
    GstCaptureComponent capture(work.path(), true);
    connectVga(capture);
    QImage canvas(640, 480, QImage::Format_RGB32);
    int frames = 0;
    QObject context;
    QObject::connect(&capture, &CaptureComponent::frameReady, &context, [&](const QImage& frame) {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, frame);
        ++frames;
    });
    capture.setPreview(true);
    constexpr int kWallMs = 5000;
    for (auto _ : state) {
        frames = 0;
        const double cpuBefore = BenchSupport::processCpuSeconds();
        QEventLoop wait;
        QTimer::singleShot(kWallMs, &wait, &QEventLoop::quit);
        wait.exec();
        const double cpu = BenchSupport::processCpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * cpu / (kWallMs / 1000.0);
        state.counters["frames_per_second"] = frames / (kWallMs / 1000.0);
    }
}
BENCHMARK(BM_PreviewCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QGuiApplication>(argc, argv);
}
