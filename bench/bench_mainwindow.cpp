#include "BenchSupport.h"
#include "BenchWindow.h"
#include "capture/GstCaptureComponent.h"
#include "ui/MainWindow.h"
#include "ui/VideoView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {
// From starting the real program to its main window on screen with the first frame painted:
// the program ends itself at that moment. Each run has a fresh store.
void BM_StartToFirstFrame(benchmark::State& state)
{
    const QString program = QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora");
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("VELMORA_EXIT_AFTER_FIRST_FRAME"), QStringLiteral("1"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        process.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        process.start(program, {QStringLiteral("--store"), dir.filePath(QStringLiteral("store.db")),
                                QStringLiteral("--workdir"), dir.filePath(QStringLiteral("work")),
                                QStringLiteral("--test-pattern")});
        if (!process.waitForFinished(20000) || process.exitCode() != 0 ||
            !process.readAllStandardOutput().contains("first frame painted")) {
            state.SkipWithError("the program did not paint a frame");
            return;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_StartToFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// The main window idle with the live picture at 640 x 480, 30 frames per second: the share of one
// core the whole process uses, and its resident memory.
void BM_IdleLivePicture(benchmark::State& state)
{
    BenchWindow program(true);
    MainWindow& window = program.window;
    window.showWindow();
    CaptureComponent& capture = program.engine.capture();
    const QList<VideoFormat> formats = capture.videoFormats();
    for (int i = 0; i < formats.size(); ++i) {
        if (formats[i].width == 640 && formats[i].height == 480 && formats[i].fpsNumerator == 30 &&
            !capture.setVideoFormatIndex(i)) {
            state.SkipWithError("the test pattern does not take 640 x 480");
            return;
        }
    }
    window.resize(720, 600);
    QTest::qWait(1000);
    if (window.videoView().frame().width() != 640) {
        state.SkipWithError("no 640 x 480 picture");
        return;
    }
    for (auto _ : state) {
        const double cpu = BenchSupport::processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(5000);
        state.counters["cpu_percent"] =
            100.0 * (BenchSupport::processCpuSeconds() - cpu) / (double(wall.nsecsElapsed()) / 1e9);
        state.counters["rss_mb"] = BenchSupport::residentMegabytes();
    }
}
BENCHMARK(BM_IdleLivePicture)->Iterations(1)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QApplication>(argc, argv);
}
