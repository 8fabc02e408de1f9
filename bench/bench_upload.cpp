#include "BenchSupport.h"
#include "SignalWait.h"
#include "UploadRig.h"

#include "common/DateTimeText.h"
#include "imaging/StampComposer.h"
#include "imaging/cDIBSection.h"
#include "settings/IntervalTable.h"
#include "upload/DestinationSessions.h"
#include "upload/JpegWriter.h"
#include "upload/TimerSet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

// The upload cycle at 640 x 480 on the moving test pattern with the stamp, quality 75, to a local
// FTP server, and its phases measured on their own in the same run.
namespace {
struct Setup
{
    Setup()
    {
        if (!server.start()) {
            std::fprintf(stderr, "FTP server did not start: %s\n", qPrintable(server.startError()));
            std::exit(1);
        }
        const QList<VideoFormat> formats = rig.capture->videoFormats();
        for (int i = 0; i < formats.size(); ++i) {
            if (formats[i].width == 640 && formats[i].height == 480 && formats[i].fpsNumerator == 30 &&
                !rig.capture->setVideoFormatIndex(i)) {
                std::fprintf(stderr, "the test pattern does not take 640 x 480\n");
                std::exit(1);
            }
        }
        rig.useServer(server);
        rig.saveAccount(AccountBook::kDefaultAccount, "Enable timestamp", "1");
        rig.saveOption("Image Quality (JPEG):", "75");
        rig.saveOption("Keep", "1");
        rig.load();
        runCycle(); // the first frame and the first login are not measured
    }

    UploadCycle::Outcome runCycle()
    {
        return untilSignal<UploadCycle::Result>(rig.cycle.get(), &UploadCycle::finished,
                                                [this] { rig.cycle->upload_now(false); })
            ->outcome;
    }

    FtpServer server;
    UploadRig rig{UploadRig::Camera::TestPattern};
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

void fullCycle(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state) {
        if (s.runCycle() != UploadCycle::Outcome::Delivered)
            state.SkipWithError("upload failed");
    }
    state.counters["width"] = s.rig.capture->width();
}

// The phases as the cycle runs them: the frame from the component, the stamp, the pixel buffer and
// the JPEG file.
void phaseFrame(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state)
        benchmark::DoNotOptimize(s.rig.capture->GrabFrame());
}

StampComposer::Style benchStyle()
{
    QFont font("Tahoma");
    font.setPointSize(10);
    font.setBold(true);
    return StampComposer::Style{font, Qt::black, Qt::white};
}

// A frame of the test pattern; without one the measurement that needs it stops with the reason.
std::optional<QImage> grabFrame(Setup& s, benchmark::State& state)
{
    Result<QImage> frame = s.rig.capture->GrabFrame();
    if (!frame) {
        std::fprintf(stderr, "no frame: %s\n", qPrintable(frame.failure().sentence));
        state.SkipWithError("the test pattern gives no frame");
        return std::nullopt;
    }
    return std::move(frame).value();
}

void phaseStamp(benchmark::State& state)
{
    Setup& s = setup();
    const std::optional<QImage> frame = grabFrame(s, state);
    if (!frame)
        return;
    const StampComposer::Style style = benchStyle();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            StampComposer::compose(*frame, generalDateTimeText(QDateTime::currentDateTime()), style));
}

std::optional<QImage> stampedPicture(Setup& s, benchmark::State& state)
{
    const std::optional<QImage> frame = grabFrame(s, state);
    if (!frame)
        return std::nullopt;
    return StampComposer::compose(*frame, generalDateTimeText(QDateTime::currentDateTime()), benchStyle());
}

void phaseJpeg(benchmark::State& state)
{
    Setup& s = setup();
    const std::optional<QImage> picture = stampedPicture(s, state);
    if (!picture)
        return;
    for (auto _ : state) {
        cDIBSection dib;
        dib.fromImage32(*picture);
        (void)SaveJpeg(dib, s.rig.workFile("bench.jpg"), 75);
    }
}

// The bare parts the whole cycle is compared with: an encode of the finished picture from a
// ready buffer, and a put of the same bytes as a program of its own would make it (connect, log
// in, store, quit).
void bareJpegEncode(benchmark::State& state)
{
    Setup& s = setup();
    const std::optional<QImage> picture = stampedPicture(s, state);
    if (!picture)
        return;
    cDIBSection dib;
    dib.fromImage32(*picture);
    for (auto _ : state)
        (void)SaveJpeg(dib, s.rig.workFile("bench-bare.jpg"), 75);
}

void bareFtpPut(benchmark::State& state)
{
    Setup& s = setup();
    for (auto _ : state) {
        const auto session = DestinationSessions::create({}, {});
        if (!session->connect(s.server.hostField(), FtpServer::kUser, FtpServer::kPassword) ||
            !session->put(s.rig.workFile("bench-bare.jpg"), "bare.jpg"))
            state.SkipWithError("put failed");
        session->close();
    }
}

void phaseFtpStage(benchmark::State& state)
{
    Setup& s = setup();
    FtpJob job;
    job.host = s.server.hostField();
    job.user = FtpServer::kUser;
    job.password = FtpServer::kPassword;
    job.localPicturePath = s.rig.workFile("bench.jpg");
    job.remotePicturePath = "stage.jpg";
    for (auto _ : state)
        untilSignal<FtpResult>(s.rig.ftp.get(), &FtpStage::finished, [&] { s.rig.ftp->start(job); });
}

// "Constantly" for a while: cycles per second and resident memory before and after.
void constantly(benchmark::State& state)
{
    Setup& s = setup();
    const int seconds = qEnvironmentVariableIntValue("VELMORA_SOAK_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("VELMORA_SOAK_SECONDS")
                            : 60;
    // The FTP log is the one thing meant to grow, up to its limit; a program that has run for a
    // while has a full log, so the soak starts with one and the growth left is what leaks.
    const bool fullLog = state.range(0) != 0;
    if (fullLog) {
        while (s.rig.log.text().size() < FtpLog::kDefaultLimit - 4096)
            s.rig.log.append(FtpLog::kEntryStart + QString(1000, QLatin1Char('x')));
    } else {
        s.rig.log.reset();
    }
    for (auto _ : state) {
        const double before = BenchSupport::residentMegabytes();
        const qint64 startCount = s.rig.cycle->uploadCount();
        s.rig.accounts.setChecked(0, true);
        s.rig.accounts.setIntervalItem(*IntervalTable::positionOf(QStringLiteral("Constantly")));
        s.rig.scheduler->StartTimer();
        QTimer clear;
        QObject::connect(&clear, &QTimer::timeout, &clear, [&s] {
            s.rig.status.history.clear(); // the test rig's own record, not the program's memory
        });
        clear.start(50);
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        s.rig.scheduler->StopTimer();
        const double after = BenchSupport::residentMegabytes();
        state.counters["cycles_per_s"] = double(s.rig.cycle->uploadCount() - startCount) / seconds;
        state.counters["rss_start_MB"] = before;
        state.counters["rss_end_MB"] = after;
        state.counters["rss_growth_MB"] = after - before;
    }
}

void startTimerThousandAccounts(benchmark::State& state)
{
    static UploadRig rig(UploadRig::Camera::None);
    static bool prepared = false;
    if (!prepared) {
        for (int i = 1; i <= 1000; ++i) {
            const QString name = QStringLiteral("Cam %1").arg(i);
            rig.saveOption(QStringLiteral("Account%1").arg(i), name);
            rig.saveAccount(name, "Selected", "True");
            rig.saveAccount(name, "Host Name/Adress:", "127.0.0.1");
            rig.saveAccount(name, "Upload image every:", i % 2 ? "10 minutes" : "Custom");
            rig.saveAccount(name, "Custom", QString::number(600 + i));
        }
        rig.load();
        prepared = true;
    }
    for (auto _ : state) {
        rig.scheduler->StartTimer();
        state.PauseTiming();
        rig.scheduler->StopTimer();
        state.ResumeTiming();
    }
    state.counters["timers"] = 1000;
}
} // namespace

BENCHMARK(phaseFrame)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(phaseStamp)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(phaseJpeg)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(phaseFtpStage)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(bareJpegEncode)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(bareFtpPut)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(fullCycle)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(startTimerThousandAccounts)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(constantly)->Arg(0)->Arg(1)->ArgName("full_log")->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QGuiApplication>(argc, argv);
}
