#include "capture/TimelapseMaker.h"

#include "MovieProbe.h"
#include "ResultCheck.h"
#include "TempDir.h"
#include "capture/GstInit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

// Timelapse movies: WebM made of JPEG pictures on the maker's own thread, read back with
// GStreamer's discoverer and a demuxer that counts the frames.
namespace {
class TimelapseMakerTest : public ::testing::Test
{
protected:
    void SetUp() override { ensureGstInitialized(); }

    // A picture of its own colour and number, as an archive copy would be.
    QString picture(int number, QSize size = {161, 121})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((number * 7) % 360, 200, 200));
        QPainter(&image).drawText(image.rect(), Qt::AlignCenter, QString::number(number));
        const QString path =
            dir.file(QStringLiteral("cam-20261206-%1.jpg").arg(number, 6, 10, QLatin1Char('0')));
        EXPECT_TRUE(image.save(path, "JPEG"));
        return path;
    }
    QStringList pictures(int count)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << picture(i);
        return paths;
    }
    // Runs the event loop until the maker finishes; its outcome.
    std::optional<TimelapseMaker::Outcome> finish(int timeoutMs = 60000)
    {
        QSignalSpy finished(&maker, &TimelapseMaker::finished);
        if (!finished.wait(timeoutMs))
            return std::nullopt;
        return finished.front().front().value<TimelapseMaker::Outcome>();
    }
    QStringList leftovers() const { return QDir(out.path()).entryList(QDir::Files | QDir::Hidden); }

    TempDir dir;
    TempDir out;
    TimelapseMaker maker;
};

TEST_F(TimelapseMakerTest, EveryPictureIsOneFrameAtTheRateAndTheMovieHasAnEvenSize)
{
    const QString target = out.file("timelapse-20261206.webm");
    QSignalSpy progress(&maker, &TimelapseMaker::progress);
    ASSERT_TRUE(succeeded(maker.start({pictures(300), 25, target})));
    EXPECT_TRUE(maker.isRunning());
    const std::optional<TimelapseMaker::Outcome> outcome = finish();
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->made) << outcome->error.toStdString();
    EXPECT_FALSE(maker.isRunning());
    EXPECT_EQ(outcome->frames, 300);
    EXPECT_EQ(outcome->skipped, 0);
    EXPECT_EQ(outcome->size, QSize(160, 120));
    EXPECT_EQ(leftovers(), QStringList{"timelapse-20261206.webm"});
    const MovieInfo info = probeMovie(target);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_NEAR(info.seconds, 12.0, 0.05);
    EXPECT_EQ(countVideoFrames(target), 300);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.back(), QVariantList({300, 300}));
    EXPECT_LE(progress.size(), 101);
}

TEST_F(TimelapseMakerTest, FilesThatAreNoPictureAreSkippedAndOtherSizesAreScaledIn)
{
    QStringList paths = pictures(20);
    QFile text(dir.file("notes.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    paths.insert(0, text.fileName());         // before the first picture: the size comes from the next
    paths.insert(9, picture(99, {640, 480})); // another size
    paths.append(dir.file("gone.jpg"));       // removed meanwhile; the last, and the progress ends
    const QString target = out.file("day.webm");
    QSignalSpy progress(&maker, &TimelapseMaker::progress);
    ASSERT_TRUE(succeeded(maker.start({paths, 10, target})));
    const std::optional<TimelapseMaker::Outcome> outcome = finish();
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.back(), QVariantList({23, 23}));
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->made) << outcome->error.toStdString();
    EXPECT_EQ(outcome->frames, 21);
    EXPECT_EQ(outcome->skipped, 2);
    EXPECT_EQ(outcome->size, QSize(160, 120));
    EXPECT_EQ(countVideoFrames(target), 21);
    EXPECT_NEAR(probeMovie(target).seconds, 2.1, 0.05);
}

TEST_F(TimelapseMakerTest, RefusalsAndMoviesThatCannotBeMade)
{
    EXPECT_FALSE(maker.start({{}, 25, out.file("a.webm")}).ok());
    const QStringList one{picture(1)};
    EXPECT_FALSE(maker.start({one, 0, out.file("a.webm")}).ok());
    EXPECT_FALSE(maker.start({one, TimelapseMaker::kMaxRate + 1, out.file("a.webm")}).ok());

    QFile text(dir.file("text.jpg"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("no picture");
    text.close();
    ASSERT_TRUE(succeeded(maker.start({{text.fileName(), text.fileName()}, 25, out.file("a.webm")})));
    EXPECT_FALSE(maker.start({one, 25, out.file("b.webm")}).ok()) << "one movie at a time";
    std::optional<TimelapseMaker::Outcome> outcome = finish();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->made);
    EXPECT_EQ(outcome->error, "None of the 2 pictures can be read");

    // A folder that cannot be written: nothing is left behind, the reason is told.
    ASSERT_TRUE(succeeded(maker.start({one, 25, dir.file("missing/folder/a.webm")})));
    outcome = finish();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->made);
    EXPECT_FALSE(outcome->error.isEmpty());
    EXPECT_TRUE(leftovers().isEmpty());
}

// Stopped while it makes the movie (Exit), or destroyed: it ends after the picture at hand and
// leaves neither the movie nor its temporary file.
TEST_F(TimelapseMakerTest, AStoppedMovieLeavesNothingAndEndsAtOnce)
{
    const QStringList many(5000, picture(1, {640, 480}));
    const QString target = out.file("long.webm");
    QSignalSpy progress(&maker, &TimelapseMaker::progress);
    ASSERT_TRUE(succeeded(maker.start({many, 25, target})));
    ASSERT_TRUE(progress.wait(20000));
    QElapsedTimer stopping;
    stopping.start();
    maker.stop();
    const std::optional<TimelapseMaker::Outcome> outcome = finish(5000);
    ASSERT_TRUE(outcome);
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_FALSE(outcome->made);
    EXPECT_EQ(outcome->error, "stopped");
    EXPECT_LT(outcome->frames, 5000);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();

    {
        TimelapseMaker leaving;
        QSignalSpy started(&leaving, &TimelapseMaker::progress);
        ASSERT_TRUE(succeeded(leaving.start({many, 25, target})));
        ASSERT_TRUE(started.wait(20000));
        stopping.restart();
    }
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(' ').toStdString();
}
} // namespace
