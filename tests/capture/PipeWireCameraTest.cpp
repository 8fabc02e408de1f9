#include "capture/GstCaptureComponent.h"

#include "CaptureWait.h"
#include "EventLoopGap.h"
#include "PipeWireGraph.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

// The capture component against cameras that GStreamer's device monitor reports like real ones:
// PipeWire video sources of a graph the test starts.
namespace {
using Camera = PipeWireGraph::Camera;

Camera camera(const char* name, const char* pattern = "smpte")
{
    Camera c;
    c.name = QString::fromLatin1(name);
    c.pattern = QString::fromLatin1(pattern);
    return c;
}

bool near(QRgb pixel, QRgb wanted)
{
    return std::abs(qRed(pixel) - qRed(wanted)) < 40 && std::abs(qGreen(pixel) - qGreen(wanted)) < 40 &&
           std::abs(qBlue(pixel) - qBlue(wanted)) < 40;
}

class PipeWireCameraTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!graph.start())
            GTEST_SKIP() << "PipeWire cannot start here: " << graph.error().toStdString();
    }
    int plug(const Camera& c)
    {
        const int number = graph.plug(c);
        EXPECT_GT(number, 0) << graph.error().toStdString();
        return number;
    }
    std::unique_ptr<GstCaptureComponent> makeCapture()
    {
        GstCaptureComponent::Limits limits;
        limits.firstRetryMs = 300;
        limits.lastRetryMs = 600;
        return std::make_unique<GstCaptureComponent>(work.path(), false, limits);
    }
    static int indexOf(const CaptureComponent& capture, const QString& name)
    {
        for (int i = 0; i < capture.DriverCount(); ++i)
            if (capture.DriverName(i) == name)
                return i;
        return -1;
    }
    static QRgb centre(const CaptureStill& still)
    {
        const QImage frame = frameOf(still);
        return frame.pixel(frame.width() / 2, frame.height() / 2);
    }

    PipeWireGraph graph;
    TempDir work;
};

// Raw and MJPEG cameras; none offers 352 x 288, so each starts at the size it has.
TEST_F(PipeWireCameraTest, EveryKindOfCameraStartsAtItsOwnSizeAndGivesFreshPictures)
{
    struct Case
    {
        const char* name;
        const char* format;
        bool mjpeg;
        QSize size;
    };
    for (const Case& kind :
         {Case{"Yuy2Cam", "YUY2", false, {640, 480}}, Case{"Nv12Cam", "NV12", false, {320, 240}},
          Case{"JpegCam", "", true, {1280, 720}}}) {
        SCOPED_TRACE(kind.name);
        Camera c = camera(kind.name, "red");
        c.format = QString::fromLatin1(kind.format);
        c.mjpeg = kind.mjpeg;
        c.width = kind.size.width();
        c.height = kind.size.height();
        const int number = plug(c);
        auto capture = makeCapture();
        const int index = indexOf(*capture, c.name);
        ASSERT_GE(index, 0);
        EXPECT_EQ(capture->DriverIdentity(index), "PipeWire|" + c.name + "|" + c.name);
        const QList<VideoFormat> formats = [&] {
            EXPECT_TRUE(succeeded(capture->setDriverIndex(index)));
            return capture->videoFormats();
        }();
        ASSERT_EQ(formats.size(), 1);
        EXPECT_EQ(formats[0].mediaType, kind.mjpeg ? "image/jpeg" : "video/x-raw");
        EXPECT_EQ(QSize(capture->width(), capture->height()), kind.size);
        ASSERT_TRUE(waitForPicture(*capture));
        const CaptureStill still = takeStill(*capture);
        ASSERT_TRUE(succeeded(still));
        EXPECT_EQ(frameOf(still).size(), kind.size);
        EXPECT_TRUE(near(centre(still), qRgb(255, 0, 0))) << std::hex << centre(still);
        capture.reset();
        graph.unplug(number);
    }
}

// Unplugged: the picture and the status say so and stills fail at once, never with the last frame;
// plugged back (a new producer with another picture): connected again by itself, at once.
TEST_F(PipeWireCameraTest, AnUnpluggedCameraIsLostAndComesBackByItself)
{
    const int first = plug(camera("TestCam", "red"));
    auto capture = makeCapture();
    ASSERT_TRUE(succeeded(capture->connectAtStart()));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_TRUE(near(centre(takeStill(*capture)), qRgb(255, 0, 0)));

    QList<std::pair<int, QString>> statuses;
    QObject context;
    QObject::connect(capture.get(), &CaptureComponent::StatusChanged, &context,
                     [&](int number, const QString& text) {
                         statuses.append({number, text});
                     });
    QSignalSpy errors(capture.get(), &CaptureComponent::ErrorOccurred);
    graph.unplug(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !capture->isConnected(); }, 5000));
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_EQ(statuses.last().first, CaptureComponent::StatusCameraLost);
    EXPECT_EQ(statuses.last().second,
              "No picture: the camera \"TestCam\" is gone (unplugged or switched off)");
    EXPECT_TRUE(errors.isEmpty());
    QElapsedTimer clock;
    clock.start();
    const CaptureStill gone = takeStill(*capture);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(gone.ok());
    EXPECT_EQ(sentenceOf(gone), "the camera \"TestCam\" is gone (unplugged or switched off)");

    statuses.clear();
    clock.restart();
    plug(camera("TestCam", "blue"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !statuses.isEmpty() && statuses.last().first == CaptureComponent::StatusPlaying; },
        5000));
    EXPECT_LT(clock.elapsed(), 3000);
    const CaptureStill back = takeStill(*capture);
    ASSERT_TRUE(succeeded(back));
    EXPECT_TRUE(near(centre(back), qRgb(0, 0, 255))) << std::hex << centre(back);
}

// A camera that is listed but sends nothing: the status says so after the limit, a still waits
// for the limit and fails, and pictures that come again are taken again.
TEST_F(PipeWireCameraTest, ACameraWithoutPicturesMakesStillsFailAfterTheLimit)
{
    const int number = plug(camera("TestCam"));
    auto capture = makeCapture();
    ASSERT_TRUE(succeeded(capture->connectAtStart()));
    ASSERT_TRUE(waitForPicture(*capture));
    QSignalSpy statuses(capture.get(), &CaptureComponent::StatusChanged);
    graph.freeze(number, true);
    QTest::qWait(200); // the last frame is no longer fresh
    QElapsedTimer clock;
    clock.start();
    const CaptureStill still = takeStill(*capture);
    EXPECT_FALSE(still.ok());
    EXPECT_EQ(sentenceOf(still), "no picture from the camera for 3 s");
    EXPECT_GE(clock.elapsed(), 2900);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !statuses.isEmpty(); }, 2000));
    EXPECT_EQ(statuses.last()[0].toInt(), CaptureComponent::StatusNoPicture);
    EXPECT_EQ(statuses.last()[1].toString(), "No picture from the camera for 3 s");
    EXPECT_TRUE(capture->isConnected());

    graph.freeze(number, false);
    EXPECT_TRUE(waitForPicture(*capture, 10000));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return statuses.last()[0].toInt() == CaptureComponent::StatusPlaying; }, 5000));
}

// A camera that never answers: the choice returns at once, the event loop keeps running while
// the connection tries, and after the start limit the previous driver is back.
TEST_F(PipeWireCameraTest, ACameraThatNeverAnswersFreezesNothing)
{
    const int number = plug(camera("Frozen"));
    graph.freeze(number, true);
    GstCaptureComponent::Limits limits;
    limits.startMs = 1500;
    GstCaptureComponent capture(work.path(), true, limits);
    ASSERT_TRUE(succeeded(capture.setDriverIndex(indexOf(capture, "Test pattern"))));
    ASSERT_TRUE(waitForPicture(capture));

    const EventLoopGap gap;
    QSignalSpy failed(&capture, &CaptureComponent::driverFailed);
    QElapsedTimer call;
    call.start();
    ASSERT_TRUE(succeeded(capture.setDriverIndex(indexOf(capture, "Frozen"))));
    EXPECT_LT(call.elapsed(), 200);
    ASSERT_TRUE(failed.wait(8000));
    ASSERT_TRUE(waitForPicture(capture));
    EXPECT_EQ(capture.DriverName(capture.DriverIndex()), "Test pattern");
    EXPECT_LT(gap.longestMs(), 300);
    graph.freeze(number, false);
}

// The chosen camera is found by its identity, wherever it is listed; one that appears does not
// take its place; an absent one keeps its stored choice and takes over when it comes.
TEST_F(PipeWireCameraTest, TheChosenCameraIsKeptByIdentity)
{
    Regedit store(work.file("store.db"));
    const auto storedIdentity = [&] {
        return store.GetString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Camera Identity")
            .value_or(QString());
    };
    {
        const int bravo = plug(camera("Bravo", "red"));
        auto capture = makeCapture();
        capture->rememberSettingsIn(store);
        ASSERT_TRUE(succeeded(capture->setDriverIndex(indexOf(*capture, "Bravo"))));
        ASSERT_TRUE(waitForPicture(*capture));
        EXPECT_EQ(storedIdentity(), "PipeWire|Bravo|Bravo");

        // Another camera comes: listed, not connected.
        QSignalSpy listed(capture.get(), &CaptureComponent::driversChanged);
        const int alpha = plug(camera("Alpha", "green"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return indexOf(*capture, "Alpha") >= 0; }, 5000));
        EXPECT_FALSE(listed.isEmpty());
        QTest::qWait(300);
        EXPECT_EQ(capture->DriverName(capture->DriverIndex()), "Bravo");
        EXPECT_TRUE(near(centre(takeStill(*capture)), qRgb(255, 0, 0)));
        capture.reset();
        graph.unplug(bravo);
        graph.unplug(alpha);
    }
    // Listed second now, behind a camera plugged in before it.
    const int alpha = plug(camera("Alpha", "green"));
    int bravo = plug(camera("Bravo", "red"));
    {
        auto capture = makeCapture();
        capture->rememberSettingsIn(store);
        ASSERT_EQ(indexOf(*capture, "Alpha"), 0);
        ASSERT_TRUE(succeeded(capture->connectAtStart()));
        ASSERT_TRUE(waitForPicture(*capture));
        EXPECT_EQ(capture->DriverName(capture->DriverIndex()), "Bravo");
        EXPECT_TRUE(near(centre(takeStill(*capture)), qRgb(255, 0, 0)));
    }
    graph.unplug(bravo);

    // Absent: the first camera stands in, the choice stays, and the chosen one takes over.
    auto capture = makeCapture();
    capture->rememberSettingsIn(store);
    ASSERT_TRUE(succeeded(capture->connectAtStart()));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_EQ(capture->DriverName(capture->DriverIndex()), "Alpha");
    EXPECT_EQ(storedIdentity(), "PipeWire|Bravo|Bravo");
    bravo = plug(camera("Bravo", "red"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return capture->DriverName(capture->DriverIndex()) == "Bravo"; }, 5000));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_TRUE(near(centre(takeStill(*capture)), qRgb(255, 0, 0)));
    graph.unplug(alpha);
}
} // namespace
