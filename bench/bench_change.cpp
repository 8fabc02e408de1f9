#include "BenchSupport.h"
#include "upload/ChangeDetector.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

// "Only when changed" costs one grey copy of the new frame and one comparison with the copy kept
// from the last upload, per cycle. Target: under 1 ms at 640 x 480.
namespace {
QImage frame(QSize size, int shift)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x + shift) * 7 % 256, (y * 3 + shift) % 256, (x ^ y) % 256);
    }
    return image;
}

void comparePerCycle(benchmark::State& state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    const ChangeDetector::Thumbnail last = ChangeDetector::thumbnail(frame(size, 0));
    const QImage next = frame(size, 5);
    double changed = 0;
    for (auto _ : state) {
        changed = ChangeDetector::changedPercent(last, ChangeDetector::thumbnail(next));
        benchmark::DoNotOptimize(changed);
    }
    state.counters["changed_percent"] = changed;
}
} // namespace

BENCHMARK(comparePerCycle)
    ->Args({640, 480})
    ->Args({352, 288})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QGuiApplication>(argc, argv);
}
