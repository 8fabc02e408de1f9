#include "capture/GstCaptureComponent.h"
#include "capture/CaptureError.h"

#include "EnvScope.h"
#include "MovieProbe.h"
#include "TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

int testPatternIndex(const GstCaptureComponent& capture)
{
    for (int i = 0; i < capture.DriverCount(); ++i)
        if (capture.DriverName(i) == GstCaptureComponent::testPatternDriverName())
            return i;
    return -1;
}

quint32 le32(const QByteArray& bytes, int at)
{
    return quint8(bytes[at]) | quint8(bytes[at + 1]) << 8 | quint8(bytes[at + 2]) << 16 |
           quint32(quint8(bytes[at + 3])) << 24;
}

class CaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        capture = std::make_unique<GstCaptureComponent>(work.path(), true);
        const int index = testPatternIndex(*capture);
        ASSERT_GE(index, 0);
        capture->setDriverIndex(index);
    }

    // Records a movie; started answers PreRoll, and stop ends the recording after stopAfterMs.
    void recordMovie(const QString& path, int stopAfterMs, const std::function<void()>& stop)
    {
        capture->setCaptureFile(path);
        QObject context;
        QObject::connect(capture.get(), &CaptureComponent::PreRoll, &context, [&] {
            capture->StartCaptureNow();
            QTimer::singleShot(stopAfterMs, &context, stop);
        });
        capture->CaptureMovie();
    }

    TempDir work;
    std::unique_ptr<GstCaptureComponent> capture;
};

} // namespace

TEST(CaptureDrivers, TestPatternIsListedLastOnlyWhenAsked)
{
    EnvScope pattern("VELMORA_TEST_PATTERN", "1");
    EXPECT_TRUE(GstCaptureComponent::testPatternRequestedByEnvironment());
    pattern.set("0");
    EXPECT_FALSE(GstCaptureComponent::testPatternRequestedByEnvironment());

    TempDir work;
    GstCaptureComponent with(work.path(), true);
    ASSERT_GE(with.DriverCount(), 1);
    EXPECT_EQ(with.DriverName(with.DriverCount() - 1), QStringLiteral("Test pattern"));
    EXPECT_EQ(with.DriverIndex(), 0);

    GstCaptureComponent without(work.path(), false);
    EXPECT_EQ(testPatternIndex(without), -1);
    if (!QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System).isEmpty())
        GTEST_SKIP() << "a camera is present";
    EXPECT_EQ(without.DriverCount(), 0);
    EXPECT_EQ(without.DriverIndex(), -1);
    EXPECT_FALSE(without.HasFormatDialog());
    EXPECT_THROW(without.SaveFrame(work.file(QStringLiteral("none.bmp"))), CaptureError);
}

TEST_F(CaptureTest, SaveFrameWritesA24BitBitmapAtTheConnectedSizeAndFramesDiffer)
{
    EXPECT_EQ(capture->width(), 352);
    EXPECT_EQ(capture->height(), 288);
    const QString path = work.file(QStringLiteral("ic.bmp"));
    capture->SaveFrame(path);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(le32(bytes, 2), quint32(bytes.size()));
    EXPECT_EQ(le32(bytes, 18), 352u);
    EXPECT_EQ(le32(bytes, 22), 288u); // positive height: bottom-up rows
    EXPECT_EQ(quint8(bytes[28]) | quint8(bytes[29]) << 8, 24);
    EXPECT_EQ(bytes.size(), 54 + 352 * 3 * 288);

    const QImage first(path);
    EXPECT_EQ(first.size(), QSize(352, 288));
    QTest::qWait(1000);
    capture->SaveFrame(path);
    EXPECT_NE(QImage(path), first);
}

TEST_F(CaptureTest, PreviewControlsDeliveryOnly)
{
    int frames = 0;
    QImage last;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::frameReady, &context, [&](const QImage& frame) {
        ++frames;
        last = frame;
    });
    capture->setPreview(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 3; }, 3000));
    EXPECT_EQ(last.size(), QSize(352, 288));

    capture->setPreview(false);
    EXPECT_FALSE(capture->Preview());
    QTest::qWait(100); // a delivery already queued may still land
    frames = 0;
    QTest::qWait(500);
    EXPECT_EQ(frames, 0);
    // The picture keeps running for still frames.
    EXPECT_NO_THROW(capture->SaveFrame(work.file(QStringLiteral("off.bmp"))));
}

TEST_F(CaptureTest, FormatAndSourceChoicesChangeThePicture)
{
    EXPECT_TRUE(capture->HasFormatDialog());
    EXPECT_TRUE(capture->HasSourceDialog());
    EXPECT_FALSE(capture->HasDisplayDialog());
    const QList<VideoFormat> formats = capture->videoFormats();
    const auto vga = std::find_if(formats.begin(), formats.end(),
                                  [](const VideoFormat& f) { return f.width == 640 && f.height == 480; });
    ASSERT_NE(vga, formats.end());
    EXPECT_EQ(formats[capture->videoFormatIndex()].width, 352);
    capture->setVideoFormatIndex(int(vga - formats.begin()));
    EXPECT_EQ(capture->videoFormatIndex(), int(vga - formats.begin()));
    EXPECT_EQ(QSize(capture->width(), capture->height()), QSize(640, 480));
    const QString path = work.file(QStringLiteral("vga.bmp"));
    capture->SaveFrame(path);
    EXPECT_EQ(QImage(path).size(), QSize(640, 480));

    const QList<CaptureControl> controls = capture->controls();
    auto pattern = std::find_if(controls.begin(), controls.end(),
                                [](const CaptureControl& c) { return c.name == QLatin1String("pattern"); });
    ASSERT_NE(pattern, controls.end());
    const int red = int(pattern->choices.indexOf(QStringLiteral("red")));
    ASSERT_GE(red, 0);
    capture->setControl(QStringLiteral("pattern"), red);
    QTest::qWait(300);
    capture->SaveFrame(path);
    EXPECT_EQ(QImage(path).pixel(10, 10), qRgb(255, 0, 0));
    // The choice survives a reconnection at another size.
    capture->setVideoFormatIndex(0);
    capture->SaveFrame(path);
    EXPECT_EQ(QImage(path).pixel(10, 10), qRgb(255, 0, 0));
}

TEST_F(CaptureTest, FailingOrStoppingDriversKeepTheComponentUsable)
{
    capture->addLaunchDriver(QStringLiteral("Missing camera"),
                             QStringLiteral("v4l2src device=/dev/velmora-no-such-camera"));
    capture->addLaunchDriver(QStringLiteral("Silent source"), QStringLiteral("videotestsrc num-buffers=0"));
    const int working = testPatternIndex(*capture);
    EXPECT_EQ(working, capture->DriverCount() - 1);
    EXPECT_EQ(capture->DriverIndex(), working);
    const QString path = work.file(QStringLiteral("after.bmp"));
    for (int broken : {working - 2, working - 1, capture->DriverCount()}) {
        SCOPED_TRACE(broken);
        EXPECT_THROW(capture->setDriverIndex(broken), CaptureError);
        EXPECT_EQ(capture->DriverIndex(), working);
        EXPECT_TRUE(capture->isConnected());
        EXPECT_NO_THROW(capture->SaveFrame(path));
        EXPECT_EQ(QImage(path).size(), QSize(352, 288));
    }

    // An unwritable path: error number 10 and no file.
    const QString missing = work.file(QStringLiteral("missing/folder/ic.bmp"));
    try {
        capture->SaveFrame(missing);
        ADD_FAILURE() << "SaveFrame did not fail";
    } catch (const CaptureError& error) {
        EXPECT_EQ(error.number(), 10);
        EXPECT_FALSE(error.description().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(missing));

    // A source that stops, like a camera pulled out during the preview, is reported and not fatal.
    capture->addLaunchDriver(QStringLiteral("Short source"),
                             QStringLiteral("videotestsrc is-live=true num-buffers=10"));
    QList<int> errors;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::ErrorOccurred, &context,
                     [&](int number, const QString& text) {
                         EXPECT_FALSE(text.isEmpty());
                         errors.append(number);
                     });
    capture->setDriverIndex(capture->DriverCount() - 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }, 3000));
    EXPECT_NE(errors.value(0), 0);
    EXPECT_FALSE(capture->isConnected());
    EXPECT_THROW(capture->SaveFrame(work.file(QStringLiteral("gone.bmp"))), CaptureError);
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("gone.bmp"))));
    // Connecting again brings the picture back.
    capture->setDriverIndex(capture->DriverCount() - 1);
    EXPECT_NO_THROW(capture->SaveFrame(path));
}

TEST_F(CaptureTest, MovieWithSoundHasBothStreamsAndItsLengthAndAllowsStillsButNoDriverChange)
{
    const QString path = work.file(QStringLiteral("movie.avi"));
    int yields = 0;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::Yield, &context, [&] { ++yields; });
    capture->setCaptureAudio(true);
    capture->setCaptureFrameRate(15);
    // An upload may take a still while a movie records; switching drivers must wait.
    bool refused = false;
    recordMovie(path, 2000, [&] {
        capture->SaveFrame(work.file(QStringLiteral("during.bmp")));
        try {
            capture->setDriverIndex(capture->DriverIndex());
        } catch (const CaptureError&) {
            refused = true;
        }
        capture->StopCapture();
    });
    EXPECT_EQ(QImage(work.file(QStringLiteral("during.bmp"))).size(), QSize(352, 288));
    EXPECT_TRUE(refused);
    EXPECT_GT(yields, 0);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".part")));

    const MovieInfo info = probeMovie(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_GT(info.seconds, 1.5);
    EXPECT_LT(info.seconds, 3.0);
    // The live picture comes back after the movie.
    EXPECT_NO_THROW(capture->SaveFrame(work.file(QStringLiteral("after.bmp"))));
}

TEST_F(CaptureTest, PreRollAnsweredLaterAndEscapeGiveAPlayableFileInTheWorkFolder)
{
    // The program answers PreRoll from a message box: the answer may come after the event returns.
    // Without a file the movie goes into the work folder.
    capture->setCaptureFile(QString());
    capture->setCaptureAudio(false);
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::PreRoll, &context, [&] {
        QTimer::singleShot(200, &context, [&] { capture->StartCaptureNow(); });
        QTimer::singleShot(1200, &context, [] {
            QCoreApplication::postEvent(qApp,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        });
    });
    capture->CaptureMovie();
    const MovieInfo info = probeMovie(work.file(QStringLiteral("capture.avi")));
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 0);
    EXPECT_GT(info.seconds, 0.5);
}

TEST_F(CaptureTest, AbortAtPreRollOrAnUnwritablePathWritesNoMovieAndKeepsThePicture)
{
    int preRolls = 0;
    int starts = 0;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::PreRoll, &context, [&] {
        ++preRolls;
        capture->AbortCapture();
    });
    QObject::connect(capture.get(), &CaptureComponent::StatusChanged, &context,
                     [&](int number, const QString&) {
                         if (number == CaptureComponent::StatusCaptureStarted)
                             ++starts;
                     });
    const QString path = work.file(QStringLiteral("aborted.avi"));
    capture->setCaptureFile(path);
    capture->CaptureMovie();
    EXPECT_EQ(preRolls, 1);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".part")));

    capture->setCaptureFile(work.file(QStringLiteral("missing/folder/movie.avi")));
    EXPECT_THROW(capture->CaptureMovie(), CaptureError);
    EXPECT_EQ(preRolls, 1);
    EXPECT_EQ(starts, 0);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_NO_THROW(capture->SaveFrame(work.file(QStringLiteral("after.bmp"))));
}

TEST_F(CaptureTest, MovieFromAnotherSourceFallsBackToVideoWhenSoundFails)
{
    // Drivers other than the test pattern record the default sound source, which a machine may
    // lack: then the movie still comes, without sound, and the status says so.
    capture->addLaunchDriver(QStringLiteral("Other source"), QStringLiteral("videotestsrc is-live=true"));
    capture->setDriverIndex(capture->DriverCount() - 2);
    bool videoOnly = false;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::StatusChanged, &context,
                     [&](int number, const QString&) {
                         if (number == CaptureComponent::StatusVideoOnly)
                             videoOnly = true;
                     });
    capture->setCaptureAudio(true);
    const QString path = work.file(QStringLiteral("other.avi"));
    recordMovie(path, 800, [this] { capture->StopCapture(); });
    const MovieInfo info = probeMovie(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams == 0, videoOnly);
}
