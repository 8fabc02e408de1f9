#include "capture/GstCaptureComponent.h"

#include "CaptureWait.h"
#include "EnvScope.h"
#include "MovieProbe.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

int driverNamed(const CaptureComponent& capture, const QString& name)
{
    for (int i = 0; i < capture.DriverCount(); ++i)
        if (capture.DriverName(i) == name)
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
        GstCaptureComponent::Limits limits;
        limits.firstRetryMs = 200;
        limits.lastRetryMs = 400;
        capture = std::make_unique<GstCaptureComponent>(work.path(), true, limits);
        pattern = driverNamed(*capture, GstCaptureComponent::testPatternDriverName());
        ASSERT_GE(pattern, 0);
        ASSERT_TRUE(succeeded(capture->setDriverIndex(pattern)));
        ASSERT_TRUE(waitForPicture(*capture));
    }

    TempDir work;
    std::unique_ptr<GstCaptureComponent> capture;
    int pattern = -1;
};

} // namespace

TEST(CaptureDrivers, TestPatternIsListedOnlyWhenAskedAndNothingIsConnectedWithoutDrivers)
{
    EnvScope pattern("VELMORA_TEST_PATTERN", "1");
    EXPECT_TRUE(GstCaptureComponent::testPatternRequestedByEnvironment());
    pattern.set("0");
    EXPECT_FALSE(GstCaptureComponent::testPatternRequestedByEnvironment());

    TempDir work;
    GstCaptureComponent with(work.path(), true);
    const int index = driverNamed(with, "Test pattern");
    ASSERT_GE(index, 0);
    EXPECT_EQ(with.DriverIdentity(index), "TestPattern||Test pattern");

    GstCaptureComponent without(work.path(), false);
    EXPECT_EQ(driverNamed(without, "Test pattern"), -1);
    if (without.DriverCount() > 0)
        GTEST_SKIP() << "a camera is present";
    EXPECT_EQ(without.DriverIndex(), -1);
    EXPECT_TRUE(failedWith(without.connectAtStart(), CaptureComponent::kNoDriver));
    EXPECT_FALSE(without.HasFormatDialog());
    const CaptureStill still = takeStill(without);
    EXPECT_TRUE(failedWith(still, CaptureComponent::kSaveFrameFailed));
    EXPECT_EQ(sentenceOf(still), "no video capture driver is connected");
    EXPECT_TRUE(failedWith(without.SaveFrame(work.file("none.bmp")), CaptureComponent::kSaveFrameFailed));
}

TEST_F(CaptureTest, SaveFrameWritesA24BitBitmapAtTheConnectedSizeAndFramesDiffer)
{
    EXPECT_EQ(capture->width(), 352);
    EXPECT_EQ(capture->height(), 288);
    const QString path = work.file("ic.bmp");
    ASSERT_TRUE(succeeded(capture->SaveFrame(path)));

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
    QTest::qWait(300);
    ASSERT_TRUE(succeeded(capture->SaveFrame(path)));
    EXPECT_NE(QImage(path), first);

    // An unwritable path: error number 10, a reason and no file.
    const QString missing = work.file("missing/folder/ic.bmp");
    EXPECT_TRUE(failedWith(capture->SaveFrame(missing), 10));
    EXPECT_FALSE(QFile::exists(missing));
}

// Frames are decoded only for a shown live picture and for stills; every still is a frame that
// arrived after it was asked for or just before, answered later, never inside the request.
TEST_F(CaptureTest, StillsAreFreshAndThePictureIsOnlyDeliveredWhenShown)
{
    int frames = 0;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::frameReady, &context, [&](const QImage& frame) {
        ++frames;
        EXPECT_EQ(frame.size(), QSize(352, 288));
    });
    QTest::qWait(300);
    EXPECT_EQ(frames, 0) << "nothing shows the picture";
    capture->setPictureShown(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frames >= 5; }, 3000));
    capture->setPreview(false);
    QTest::qWait(100); // a delivery already queued may still land
    frames = 0;
    QTest::qWait(400);
    EXPECT_EQ(frames, 0) << "preview off";
    capture->setPreview(true);
    capture->setPictureShown(false);

    // Stills of a hidden picture: each comes quickly, and a later one is a later frame (the
    // pattern moves), never the one decoded for the still before.
    QImage previous;
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(200);
        QElapsedTimer clock;
        clock.start();
        const CaptureStill still = takeStill(*capture);
        ASSERT_TRUE(succeeded(still));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_NE(frameOf(still), previous);
        previous = frameOf(still).copy();
    }
    // A request whose context goes away is never answered.
    bool answered = false;
    {
        QObject gone;
        capture->requestStill(&gone, [&](const CaptureStill&) { answered = true; });
    }
    QTest::qWait(300);
    EXPECT_FALSE(answered);
}

TEST_F(CaptureTest, StatusSaysWhatThePictureDoes)
{
    QSignalSpy status(capture.get(), &CaptureComponent::StatusChanged);
    capture->setPreview(false);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status[0][1].toString(), "Preview off");
    capture->setPreview(true);
    EXPECT_EQ(status.last()[1].toString(), "Video running");
    EXPECT_EQ(status.last()[0].toInt(), CaptureComponent::StatusPlaying);
}

TEST_F(CaptureTest, FormatAndSourceChoicesChangeThePictureAndPatternsHaveReadableNames)
{
    EXPECT_TRUE(capture->HasFormatDialog());
    EXPECT_TRUE(capture->HasSourceDialog());
    EXPECT_FALSE(capture->HasDisplayDialog());
    const QList<VideoFormat> formats = capture->videoFormats();
    const auto vga = std::find_if(formats.begin(), formats.end(),
                                  [](const VideoFormat& f) { return f.width == 640 && f.height == 480; });
    ASSERT_NE(vga, formats.end());
    EXPECT_EQ(formats[capture->videoFormatIndex()].width, 352);
    QSignalSpy choices(capture.get(), &CaptureComponent::choiceChanged);
    ASSERT_TRUE(succeeded(capture->setVideoFormatIndex(int(vga - formats.begin()))));
    EXPECT_EQ(capture->videoFormatIndex(), int(vga - formats.begin()));
    EXPECT_EQ(QSize(capture->width(), capture->height()), QSize(640, 480));
    EXPECT_EQ(frameOf(takeStill(*capture)).size(), QSize(640, 480));
    EXPECT_EQ(choices.count(), 1);
    EXPECT_EQ(capture->choice().format, *vga);

    const QList<CaptureControl> controls = capture->controls();
    auto patternControl = std::find_if(controls.begin(), controls.end(), [](const CaptureControl& c) {
        return c.name == QLatin1String("pattern");
    });
    ASSERT_NE(patternControl, controls.end());
    EXPECT_TRUE(patternControl->choices.contains("SMPTE 100% color bars"))
        << patternControl->choices.join(", ").toStdString();
    EXPECT_FALSE(patternControl->choices.contains("smpte"));
    const int red = int(patternControl->choices.indexOf("Red"));
    ASSERT_GE(red, 0);
    capture->setControl("pattern", red);
    EXPECT_EQ(capture->choice().controls.value("pattern"), red);
    QTest::qWait(200);
    EXPECT_EQ(frameOf(takeStill(*capture)).pixel(10, 10), qRgb(255, 0, 0));
    // The choice survives a reconnection at another size.
    ASSERT_TRUE(succeeded(capture->setVideoFormatIndex(0)));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_EQ(frameOf(takeStill(*capture)).pixel(10, 10), qRgb(255, 0, 0));
}

// The camera, its format and its settings come back at the next start; the camera is found by
// its identity wherever it is listed, and the program's own start or fallback chooses nothing.
TEST(CaptureMemory, ChoiceAndFormatAreRestoredAtStart)
{
    TempDir work;
    Regedit store(work.file("store.db"));
    const auto identity = [&] {
        return store.GetString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Camera Identity")
            .value_or(QString());
    };
    QSize chosenSize;
    {
        GstCaptureComponent capture(work.path(), true);
        capture.rememberSettingsIn(store);
        ASSERT_TRUE(succeeded(capture.connectAtStart()));
        ASSERT_TRUE(waitForPicture(capture));
        EXPECT_EQ(identity(), QString());
        ASSERT_TRUE(succeeded(capture.setVideoFormatIndex(0)));
        chosenSize = QSize(capture.videoFormats()[0].width, capture.videoFormats()[0].height);
        ASSERT_TRUE(waitForPicture(capture));
        capture.setControl("background-color", 0x0000ff);
        capture.setMovieCompression({40});
    }
    EXPECT_EQ(identity(), "TestPattern||Test pattern");
    {
        GstCaptureComponent restored(work.path(), true);
        restored.rememberSettingsIn(store);
        EXPECT_EQ(restored.movieCompression().quality, 40);
        ASSERT_TRUE(succeeded(restored.connectAtStart()));
        ASSERT_TRUE(waitForPicture(restored));
        EXPECT_EQ(frameOf(takeStill(restored)).size(), chosenSize);
        EXPECT_EQ(restored.controls().value(2).name, "background-color");
        EXPECT_EQ(restored.controls().value(2).value, 0x0000ff);
    }

    // Chosen at place 1; at the next start it is at place 2, behind two others.
    const QString red = "videotestsrc is-live=true pattern=red";
    {
        GstCaptureComponent capture(work.path(), false);
        capture.rememberSettingsIn(store);
        capture.addLaunchDriver("First", "videotestsrc is-live=true pattern=green");
        capture.addLaunchDriver("Red", red);
        ASSERT_TRUE(succeeded(capture.setDriverIndex(1)));
        ASSERT_TRUE(waitForPicture(capture));
    }
    EXPECT_EQ(identity(), "Launch|" + red + "|Red");
    GstCaptureComponent moved(work.path(), false);
    moved.rememberSettingsIn(store);
    moved.addLaunchDriver("Second", "videotestsrc is-live=true pattern=blue");
    moved.addLaunchDriver("First", "videotestsrc is-live=true pattern=green");
    moved.addLaunchDriver("Red", red);
    EXPECT_EQ(moved.DriverIndex(), 2);
    ASSERT_TRUE(succeeded(moved.connectAtStart()));
    ASSERT_TRUE(waitForPicture(moved));
    EXPECT_EQ(frameOf(takeStill(moved)).pixel(5, 5), qRgb(255, 0, 0));
}

// A driver that cannot be connected: refused at once when it cannot even be built, otherwise
// reported once it fails, with the previous driver back.
TEST_F(CaptureTest, FailingDriversBringThePreviousOneBack)
{
    EXPECT_TRUE(
        failedWith(capture->setDriverIndex(capture->DriverCount()), CaptureComponent::kConnectFailed));
    capture->addLaunchDriver("Broken", "no-such-element-anywhere");
    EXPECT_TRUE(
        failedWith(capture->setDriverIndex(capture->DriverCount() - 1), CaptureComponent::kConnectFailed));
    EXPECT_EQ(capture->DriverIndex(), pattern);
    EXPECT_TRUE(takeStill(*capture).ok());

    capture->addLaunchDriver("Missing camera", "v4l2src device=/dev/velmora-no-such-camera");
    const int missing = capture->DriverCount() - 1;
    QSignalSpy failed(capture.get(), &CaptureComponent::driverFailed);
    ASSERT_TRUE(succeeded(capture->setDriverIndex(missing)));
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_EQ(failed[0][0].toInt(), missing);
    EXPECT_FALSE(failed[0][1].toString().isEmpty());
    EXPECT_EQ(capture->DriverIndex(), pattern);
    EXPECT_TRUE(waitForPicture(*capture));
    EXPECT_EQ(failed.count(), 1);
}

// A source that stops is lost: stills fail at once with the reason, never with the last frame,
// the status says so, and the component connects it again by itself.
TEST_F(CaptureTest, ASourceThatStopsIsLostUntilItComesBack)
{
    capture->addLaunchDriver("Short source", "videotestsrc is-live=true num-buffers=20 pattern=red");
    const int shortSource = capture->DriverCount() - 1;
    QList<int> statuses;
    QObject context;
    QObject::connect(
        capture.get(), &CaptureComponent::StatusChanged, &context, [&](int number, const QString& text) {
            statuses << number;
            if (number == CaptureComponent::StatusCameraLost) {
                EXPECT_EQ(text, "No picture: the camera \"Short source\" stopped sending pictures");
            }
        });
    QSignalSpy errors(capture.get(), &CaptureComponent::ErrorOccurred);
    ASSERT_TRUE(succeeded(capture->setDriverIndex(shortSource)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return statuses.contains(CaptureComponent::StatusCameraLost); }, 5000));
    EXPECT_FALSE(capture->isConnected());
    EXPECT_TRUE(errors.isEmpty()) << "no message box for a lost camera";
    QElapsedTimer clock;
    clock.start();
    const CaptureStill lost = takeStill(*capture);
    EXPECT_LT(clock.elapsed(), 500);
    // A still's failure carries the number the upload cycle reports, whatever took the picture.
    EXPECT_TRUE(failedWith(lost, CaptureComponent::kSaveFrameFailed));
    EXPECT_EQ(sentenceOf(lost), "the camera \"Short source\" stopped sending pictures");
    EXPECT_TRUE(failedWith(capture->GrabFrame(), CaptureComponent::kSaveFrameFailed));
    // Tried again after a moment: pictures flow again, and are the source's own.
    statuses.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return statuses.contains(CaptureComponent::StatusPlaying); }, 5000));
    EXPECT_EQ(capture->DriverIndex(), shortSource);
}

TEST_F(CaptureTest, MovieWithSoundHasBothStreamsAndItsLengthAndAllowsStillsButNoDriverChange)
{
    const QString path = work.file("movie.avi");
    int yields = 0;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::Yield, &context, [&] { ++yields; });
    QStringList statuses;
    QObject::connect(capture.get(), &CaptureComponent::StatusChanged, &context,
                     [&](int, const QString& text) { statuses << text; });
    capture->setCaptureAudio(true);
    capture->setCaptureFrameRate(15);
    // An upload may take a still while a movie records; switching drivers must wait.
    bool refused = false;
    CaptureStill during = Failure::of(Failure::Kind::Internal, QStringLiteral("no still during the movie"));
    const auto [recorded, error] = recordMovie(*capture, path, 2000, [&] {
        capture->requestStill(&context, [&](const CaptureStill& still) {
            during = still;
            refused = !capture->setDriverIndex(capture->DriverIndex()).ok();
            capture->StopCapture();
        });
    });
    EXPECT_TRUE(recorded) << error.toStdString();
    EXPECT_EQ(frameOf(during).size(), QSize(352, 288));
    EXPECT_TRUE(refused);
    EXPECT_GT(yields, 0);
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_FALSE(QFile::exists(path + ".part"));
    // "Capturing to" stays until the movie ends.
    const qsizetype capturing = statuses.indexOf("Capturing to " + path);
    ASSERT_GE(capturing, 0) << statuses.join(" | ").toStdString();
    EXPECT_EQ(statuses.value(capturing + 1), "Capture ended") << statuses.join(" | ").toStdString();

    const MovieInfo info = probeMovie(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_GT(info.seconds, 1.5);
    EXPECT_LT(info.seconds, 3.0);
    // The live picture comes back after the movie.
    EXPECT_TRUE(waitForPicture(*capture));
}

TEST_F(CaptureTest, PreRollAnsweredLaterAndEscapeGiveAPlayableFileInTheWorkFolder)
{
    // The program answers PreRoll from a message box: the answer may come after the event returns.
    // Without a file the movie goes into the work folder.
    capture->setCaptureFile(QString());
    capture->setCaptureAudio(false);
    QObject context;
    int preRolls = 0;
    QObject::connect(capture.get(), &CaptureComponent::PreRoll, &context, [&] {
        ++preRolls;
        QTimer::singleShot(200, &context, [&] { capture->StartCaptureNow(); });
        QTimer::singleShot(1200, &context, [] {
            QCoreApplication::postEvent(qApp,
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        });
    });
    QSignalSpy finished(capture.get(), &CaptureComponent::movieFinished);
    ASSERT_TRUE(succeeded(capture->CaptureMovie()));
    EXPECT_EQ(preRolls, 0) << "PreRoll comes after CaptureMovie returned";
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(finished[0][0].toBool()) << finished[0][1].toString().toStdString();
    const MovieInfo info = probeMovie(work.file("capture.avi"));
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 0);
    EXPECT_GT(info.seconds, 0.5);
}

TEST_F(CaptureTest, AbortAbandonOrAnUnwritablePathWriteNoMovieAndKeepThePicture)
{
    capture->setCaptureAudio(false);
    const QString path = work.file("aborted.avi");
    capture->setCaptureFile(path);
    auto answer = std::make_unique<QObject>();
    QObject::connect(capture.get(), &CaptureComponent::PreRoll, answer.get(),
                     [&] { capture->AbortCapture(); });
    QSignalSpy finished(capture.get(), &CaptureComponent::movieFinished);
    ASSERT_TRUE(succeeded(capture->CaptureMovie()));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_EQ(finished[0][1].toString(), QString());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(path + ".part"));
    ASSERT_TRUE(waitForPicture(*capture));

    // Abandoned while recording: gone at once, reported before abandonMovie returns.
    answer = std::make_unique<QObject>();
    QObject::connect(capture.get(), &CaptureComponent::PreRoll, answer.get(),
                     [&] { capture->StartCaptureNow(); });
    ASSERT_TRUE(succeeded(capture->CaptureMovie()));
    const bool grows = QTest::qWaitFor([&] { return QFile(path + ".part").size() > 0; }, 10000);
    ASSERT_TRUE(grows) << QFile::exists(path + ".part") << " " << QFile(path + ".part").size() << " "
                       << capture->isCapturing() << QDir(work.path()).entryList().join(",").toStdString();
    finished.clear();
    capture->abandonMovie();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished[0][0].toBool());
    EXPECT_FALSE(capture->isCapturing());
    EXPECT_FALSE(QFile::exists(path + ".part"));
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(waitForPicture(*capture));

    // A file that cannot be written is refused at once, without a PreRoll.
    capture->setCaptureFile(work.file("missing/folder/movie.avi"));
    QSignalSpy preRolls(capture.get(), &CaptureComponent::PreRoll);
    EXPECT_TRUE(failedWith(capture->CaptureMovie(), CaptureComponent::kMovieFailed));
    EXPECT_FALSE(capture->isCapturing());
    QTest::qWait(200);
    EXPECT_EQ(preRolls.count(), 0);
    EXPECT_TRUE(takeStill(*capture).ok());
}

TEST_F(CaptureTest, StopFinalisesWithinItsBound)
{
    capture->setCaptureAudio(false);
    QElapsedTimer clock;
    const auto [recorded, error] = recordMovie(*capture, work.file("quick.avi"), 2000, [&] {
        clock.start();
        capture->StopCapture();
    });
    EXPECT_TRUE(recorded) << error.toStdString();
    EXPECT_LT(clock.elapsed(), MovieRecorder::kFinaliseLimitMs + 500);
    EXPECT_EQ(probeMovie(work.file("quick.avi")).videoStreams, 1);
    EXPECT_GT(probeMovie(work.file("quick.avi")).seconds, 1.5);
}

TEST_F(CaptureTest, MovieFromAnotherSourceFallsBackToVideoWhenSoundFails)
{
    // Drivers other than the test pattern record the default sound source, which a machine may
    // lack: then the movie still comes, without sound, and the status says so.
    capture->addLaunchDriver("Other source", "videotestsrc is-live=true");
    ASSERT_TRUE(succeeded(capture->setDriverIndex(capture->DriverCount() - 1)));
    ASSERT_TRUE(waitForPicture(*capture));
    bool videoOnly = false;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::StatusChanged, &context,
                     [&](int number, const QString&) {
                         if (number == CaptureComponent::StatusVideoOnly)
                             videoOnly = true;
                     });
    capture->setCaptureAudio(true);
    const QString path = work.file("other.avi");
    const auto [recorded, error] = recordMovie(*capture, path, 800, [this] { capture->StopCapture(); });
    EXPECT_TRUE(recorded) << error.toStdString();
    const MovieInfo info = probeMovie(path);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams == 0, videoOnly);
}
