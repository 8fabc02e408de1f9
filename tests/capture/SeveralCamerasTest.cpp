#include "capture/GstCaptureComponent.h"

#include "CaptureWait.h"
#include "NetworkCameraServer.h"
#include "PipeWireGraph.h"
#include "ResultCheck.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <QTest>

#include <gtest/gtest.h>

// Several cameras at once: the program's camera and the other cameras the accounts name, each
// with its own pipeline and its own stills. Two PipeWire cameras of a graph the test starts and
// an HTTP MJPEG camera, each of one colour, so every still shows whose it is.
namespace {
using Camera = PipeWireGraph::Camera;

Camera camera(const char* name, const char* pattern)
{
    Camera c;
    c.name = QString::fromLatin1(name);
    c.pattern = QString::fromLatin1(pattern);
    return c;
}

// A corner of the picture: the MJPEG camera's moving square runs along the top.
QRgb corner(const CaptureStill& still)
{
    const QImage frame = frameOf(still);
    return frame.isNull() ? QRgb(0) : frame.pixel(4, frame.height() - 5);
}

bool near(QRgb pixel, QColor wanted)
{
    return std::abs(qRed(pixel) - wanted.red()) < 50 && std::abs(qGreen(pixel) - wanted.green()) < 50 &&
           std::abs(qBlue(pixel) - wanted.blue()) < 50;
}

std::string reasonOf(const CaptureStill& still)
{
    return still.ok() ? std::string("a picture") : still.failure().sentence.toStdString();
}

// Waits until the camera gives a picture of its colour; the last still otherwise.
CaptureStill waitForColour(CaptureComponent& capture, const QString& identity, QColor colour,
                           int timeoutMs = 15000)
{
    CaptureStill still = Failure::of(Failure::Kind::TimedOut, QStringLiteral("not asked"));
    (void)QTest::qWaitFor(
        [&] {
            still = takeStillOf(capture, identity, timeoutMs);
            return still.ok() && near(corner(still), colour);
        },
        timeoutMs);
    return still;
}

class SeveralCamerasTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(graph.start()) << graph.error().toStdString();
        desk = graph.plug(camera("Desk", "red"));
        yard = graph.plug(camera("Yard", "green"));
        ASSERT_GT(desk, 0);
        ASSERT_GT(yard, 0);
        NetworkCameraServer::Options door;
        door.colour = Qt::blue;
        ASSERT_TRUE(doorServer.start(door)) << doorServer.error().toStdString();

        GstCaptureComponent::Limits limits;
        limits.firstRetryMs = 300;
        limits.lastRetryMs = 600;
        capture = std::make_unique<GstCaptureComponent>(work.path(), false, limits);
        const Result<int> added = capture->addNetworkCamera(NetworkCamera{
            QStringLiteral("Door"), doorServer.mjpegAddress(), NetworkCamera::Kind::MjpegStream});
        ASSERT_TRUE(succeeded(added));
        ASSERT_TRUE(QTest::qWaitFor([&] { return indexOf("Desk") >= 0 && indexOf("Yard") >= 0; }, 10000));
        deskId = capture->DriverIdentity(indexOf("Desk"));
        yardId = capture->DriverIdentity(indexOf("Yard"));
        doorId = capture->DriverIdentity(*added);
        ASSERT_TRUE(succeeded(capture->setDriverIndex(indexOf("Desk"))));
        ASSERT_TRUE(waitForPicture(*capture));
    }
    int indexOf(const char* name) const
    {
        for (int i = 0; i < capture->DriverCount(); ++i)
            if (capture->DriverName(i) == QLatin1String(name))
                return i;
        return -1;
    }
    CaptureStill waitForColour(const QString& identity, QColor colour)
    {
        return ::waitForColour(*capture, identity, colour);
    }

    PipeWireGraph graph;
    NetworkCameraServer doorServer;
    TempDir work;
    std::unique_ptr<GstCaptureComponent> capture;
    int desk = 0;
    int yard = 0;
    QString deskId, yardId, doorId;
};

TEST_F(SeveralCamerasTest, EachCameraInUseGivesItsOwnPicturesAndALostOneFailsAlone)
{
    capture->setCamerasInUse({yardId, doorId, deskId});
    EXPECT_TRUE(near(corner(waitForColour(yardId, Qt::green)), Qt::green));
    EXPECT_TRUE(near(corner(waitForColour(doorId, Qt::blue)), Qt::blue));
    // The program's camera named by an account is the program's own pipeline.
    EXPECT_EQ(capture->cameraFeed(deskId), capture.get());
    EXPECT_TRUE(near(corner(takeStillOf(*capture, deskId)), Qt::red));
    EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::red));

    // The yard camera is unplugged: only its stills fail, with its name.
    graph.unplug(yard);
    CaptureStill lost = QImage();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            lost = takeStillOf(*capture, yardId, 5000);
            return !lost.ok();
        },
        10000));
    EXPECT_NE(lost.failure().sentence.indexOf(QLatin1String("\"Yard\"")), -1) << reasonOf(lost);
    EXPECT_TRUE(near(corner(takeStillOf(*capture, doorId)), Qt::blue));
    EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::red));
    EXPECT_TRUE(capture->isConnected());

    // It comes back by itself, at its own place, with its own picture.
    yard = graph.plug(camera("Yard", "green"));
    ASSERT_GT(yard, 0);
    EXPECT_TRUE(near(corner(waitForColour(yardId, Qt::green)), Qt::green))
        << reasonOf(takeStillOf(*capture, yardId));
    EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::red));
}

TEST_F(SeveralCamerasTest, ACameraThatIsNotHereFailsWithItsNameAndNeverLendsAnotherPicture)
{
    const QString garage = QStringLiteral("pipewire|velmora-no-such-node|Garage");
    const CaptureStill unused = takeStillOf(*capture, yardId);
    ASSERT_FALSE(unused.ok()) << "a camera no account names gives no picture";
    EXPECT_NE(unused.failure().sentence.indexOf(QLatin1String("\"Yard\"")), -1) << reasonOf(unused);

    capture->setCamerasInUse({garage, yardId});
    const CaptureStill absent = takeStillOf(*capture, garage);
    ASSERT_FALSE(absent.ok());
    EXPECT_NE(absent.failure().sentence.indexOf(QLatin1String("\"Garage\"")), -1) << reasonOf(absent);
    EXPECT_TRUE(near(corner(waitForColour(yardId, Qt::green)), Qt::green));

    // A camera no longer named is closed, and gives no picture any more.
    capture->setCamerasInUse({garage});
    EXPECT_EQ(capture->cameraFeed(yardId), nullptr);
    EXPECT_FALSE(takeStillOf(*capture, yardId).ok());

    // Closed while an upload waits for its first picture: the upload hears why, later.
    capture->setCamerasInUse({yardId});
    QObject context;
    std::optional<CaptureStill> waiting;
    capture->requestStillOf(yardId, &context, [&](const CaptureStill& still) { waiting = still; });
    capture->setCamerasInUse({});
    EXPECT_FALSE(waiting.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting.has_value(); }, 5000));
    ASSERT_FALSE(waiting->ok());
    EXPECT_EQ(waiting->failure().sentence, "the camera \"Yard\" was closed");
}

TEST_F(SeveralCamerasTest, TheProgramsCameraMovingToACameraInUseSharesItAndGivesItBackAfterwards)
{
    capture->setCamerasInUse({yardId});
    ASSERT_TRUE(near(corner(waitForColour(yardId, Qt::green)), Qt::green));
    GstCaptureComponent* yardFeed = qobject_cast<GstCaptureComponent*>(capture->cameraFeed(yardId));
    ASSERT_NE(yardFeed, capture.get());

    // The window's choice takes the yard camera: one pipeline serves it, the account's stills too.
    ASSERT_TRUE(succeeded(capture->setDriverIndex(indexOf("Yard"))));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_EQ(capture->cameraFeed(yardId), capture.get());
    EXPECT_TRUE(near(corner(takeStillOf(*capture, yardId)), Qt::green));
    EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::green));

    // Back to the desk camera: the yard camera runs on its own again for the account.
    ASSERT_TRUE(succeeded(capture->setDriverIndex(indexOf("Desk"))));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_NE(capture->cameraFeed(yardId), capture.get());
    EXPECT_NE(capture->cameraFeed(yardId), nullptr);
    EXPECT_TRUE(near(corner(waitForColour(yardId, Qt::green)), Qt::green));
    EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::red));
}

// A camera an account uses opens with the settings it had when it was last the program's camera,
// in this run and after a restart.
TEST(SeveralCameras, ACameraInUseOpensWithTheSettingsItWasLastUsedWith)
{
    TempDir work;
    Regedit store(work.file("store.db"));
    const auto make = [&] {
        auto capture = std::make_unique<GstCaptureComponent>(work.path(), true);
        capture->addLaunchDriver(QStringLiteral("Green"),
                                 QStringLiteral("videotestsrc is-live=true pattern=green"));
        capture->rememberSettingsIn(store);
        return capture;
    };
    QString pattern;
    {
        auto capture = make();
        pattern = capture->DriverIdentity(0);
        ASSERT_TRUE(succeeded(capture->setDriverIndex(0)));
        ASSERT_TRUE(waitForPicture(*capture));
        const QList<CaptureControl> controls = capture->controls();
        const auto control = std::find_if(controls.begin(), controls.end(), [](const CaptureControl& c) {
            return c.name == QLatin1String("pattern");
        });
        ASSERT_NE(control, controls.end());
        ASSERT_TRUE(control->choices.contains(QStringLiteral("Blue")));
        capture->setControl(QStringLiteral("pattern"), int(control->choices.indexOf(QStringLiteral("Blue"))));
        ASSERT_TRUE(near(corner(waitForColour(*capture, QString(), Qt::blue)), Qt::blue));

        ASSERT_TRUE(succeeded(capture->setDriverIndex(1)));
        ASSERT_TRUE(waitForPicture(*capture));
        capture->setCamerasInUse({pattern});
        EXPECT_TRUE(near(corner(waitForColour(*capture, pattern, Qt::blue)), Qt::blue));
        EXPECT_TRUE(near(corner(takeStill(*capture)), Qt::green));
    }
    auto capture = make();
    ASSERT_TRUE(succeeded(capture->connectAtStart()));
    ASSERT_TRUE(waitForPicture(*capture));
    EXPECT_EQ(capture->DriverName(capture->DriverIndex()), "Green");
    capture->setCamerasInUse({pattern});
    EXPECT_TRUE(near(corner(waitForColour(*capture, pattern, Qt::blue)), Qt::blue));
}
} // namespace
