#include "BenchSupport.h"
#include "UploadRig.h"
#include "capture/TimelapseMaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

// A day of pictures into a timelapse movie: 1,440 pictures at 640 x 480 (one a minute), while
// another account uploads the test pattern every 2 seconds to pyftpdlib on loopback. The time the
// movie takes, the program's resident memory at its highest meanwhile, and the uploads' pace.
namespace {
// One a minute for a day, each a little different, as a camera's pictures are.
QStringList dayOfPictures(const QTemporaryDir& dir)
{
    QStringList paths;
    QImage image(640, 480, QImage::Format_RGB32);
    for (int minute = 0; minute < 1440; ++minute) {
        image.fill(QColor::fromHsv((minute / 4) % 360, 120, 60 + (minute % 720) / 4));
        QPainter painter(&image);
        painter.fillRect((minute * 3) % 600, 200, 40, 40, Qt::white);
        painter.drawText(20, 40,
                         QStringLiteral("%1:%2").arg(minute / 60).arg(minute % 60, 2, 10, QLatin1Char('0')));
        painter.end();
        const QString path = dir.filePath(QStringLiteral("cam-20261206-%1%2.jpg")
                                              .arg(minute / 60, 2, 10, QLatin1Char('0'))
                                              .arg(minute % 60, 2, 10, QLatin1Char('0')));
        image.save(path, "JPEG", 75);
        paths << path;
    }
    return paths;
}

void BM_DayIntoTimelapse(benchmark::State& state)
{
    QTemporaryDir pictures;
    QTemporaryDir movies;
    const QStringList day = dayOfPictures(pictures);
    FtpServer server;
    if (!server.start()) {
        state.SkipWithError("pyftpdlib did not start");
        return;
    }
    UploadRig rig(UploadRig::Camera::TestPattern);
    rig.useServer(server);
    rig.saveAccount(AccountBook::kDefaultAccount, "Selected", "True");
    rig.saveAccount(AccountBook::kDefaultAccount, "Upload image every:", "Custom");
    rig.saveAccount(AccountBook::kDefaultAccount, "Custom", "2");
    rig.load();
    QList<qint64> uploadsAt;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(rig.scheduler.get(), &UploadScheduler::cycleFinished, rig.scheduler.get(),
                     [&](int, UploadCycle::Outcome outcome) {
                         if (outcome == UploadCycle::Outcome::Delivered)
                             uploadsAt << clock.elapsed();
                     });
    rig.scheduler->StartTimer();

    for (auto _ : state) {
        TimelapseMaker maker;
        double peakMb = BenchSupport::residentMegabytes();
        const double startMb = peakMb;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout,
                         [&] { peakMb = std::max(peakMb, BenchSupport::residentMegabytes()); });
        sampler.start(100);
        QEventLoop loop;
        std::optional<TimelapseMaker::Outcome> outcome;
        QObject::connect(&maker, &TimelapseMaker::finished, [&](const TimelapseMaker::Outcome& o) {
            outcome = o;
            loop.quit();
        });
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        const qint64 from = clock.elapsed();
        uploadsAt.clear();
        if (!maker.start({day, 25, movies.filePath(QStringLiteral("timelapse-20261206.webm"))})) {
            state.SkipWithError("refused");
            return;
        }
        loop.exec();
        const qint64 took = clock.elapsed() - from;
        if (!outcome || !outcome->made) {
            state.SkipWithError(outcome ? qPrintable(outcome->error) : "no end within 120 s");
            return;
        }
        state.SetIterationTime(double(took) / 1000.0);
        state.counters["movie_s"] = double(took) / 1000.0;
        state.counters["frames"] = outcome->frames;
        state.counters["peak_rss_mb"] = peakMb;
        state.counters["rss_growth_mb"] = peakMb - startMb;
        qint64 longestGap = 0;
        for (int i = 1; i < uploadsAt.size(); ++i)
            longestGap = std::max(longestGap, uploadsAt[i] - uploadsAt[i - 1]);
        state.counters["uploads"] = double(uploadsAt.size());
        state.counters["longest_upload_gap_s"] = double(longestGap) / 1000.0;
        state.counters["movie_kb"] =
            double(QFileInfo(movies.filePath(QStringLiteral("timelapse-20261206.webm"))).size()) / 1024.0;
    }
    rig.scheduler->StopTimer();
}
BENCHMARK(BM_DayIntoTimelapse)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runBenchmarks<QGuiApplication>(argc, argv);
}
