#include "FtpServer.h"
#include "NetworkCameraServer.h"
#include "PipeWireGraph.h"
#include "TempDir.h"
#include "capture/NetworkCamera.h"
#include "settings/Regedit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

// The built program in "--headless" against a loopback FTP server, with a camera that goes away
// and comes back while it runs: a PipeWire camera unplugged and plugged back, a network camera
// whose server stops and starts again.
namespace {
class HeadlessUploadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        Regedit store(storePath);
        store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account1", "Cam");
        for (const auto& [name, text] :
             std::initializer_list<std::pair<const char*, QString>>{{"Selected", "True"},
                                                                    {"Host Name/Adress:", server.hostField()},
                                                                    {"User ID:", FtpServer::kUser},
                                                                    {"Password:", FtpServer::kPassword},
                                                                    {"Upload image every:", "Custom"},
                                                                    {"Custom", "1"}})
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Cam", name, text);
    }
    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    // Reads the program's output for ms, or until done says it is enough.
    bool pump(
        int ms, const std::function<bool()>& done = [] { return false; })
    {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            process.waitForReadyRead(50);
            out += QString::fromLocal8Bit(process.readAllStandardOutput());
            err += QString::fromLocal8Bit(process.readAllStandardError());
            if (done())
                return true;
        }
        return false;
    }
    QRgb uploadedCentre() const
    {
        const QImage picture(server.homeFile("webcam.jpg"));
        return picture.isNull() ? 0 : picture.pixel(picture.width() / 2, picture.height() / 3);
    }
    static bool near(QRgb pixel, QRgb wanted)
    {
        return std::abs(qRed(pixel) - qRed(wanted)) < 50 && std::abs(qGreen(pixel) - qGreen(wanted)) < 50 &&
               std::abs(qBlue(pixel) - qBlue(wanted)) < 50;
    }

    FtpServer server;
    TempDir dir;
    QString storePath = dir.file("store.db");
    QProcess process;
    QString out;
    QString err;
};

class HeadlessCameraTest : public HeadlessUploadTest
{
protected:
    void SetUp() override
    {
        if (!graph.start())
            GTEST_SKIP() << "PipeWire cannot start here: " << graph.error().toStdString();
        HeadlessUploadTest::SetUp();
    }

    // Starts the built program headless, seeing the graph's cameras.
    bool startHeadless()
    {
        QProcessEnvironment env = graph.environment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
                      {"--store", storePath, "--workdir", dir.file("work"), "--headless"});
        return process.waitForStarted(5000);
    }

    PipeWireGraph graph;
};

PipeWireGraph::Camera camera(const char* pattern)
{
    PipeWireGraph::Camera c;
    c.pattern = QString::fromLatin1(pattern);
    return c;
}

// Unplugged: no upload is reported while the camera is gone and the failure is logged; plugged
// back: uploads resume with the new picture.
TEST_F(HeadlessCameraTest, UnplugStopsTheUploadsAndReplugResumesThemWithTheNewPicture)
{
    const int red = graph.plug(camera("red"));
    ASSERT_GT(red, 0) << graph.error().toStdString();
    ASSERT_TRUE(startHeadless());
    ASSERT_TRUE(pump(15000, [&] { return out.contains("Picture uploaded!"); })) << err.toStdString();
    EXPECT_TRUE(near(uploadedCentre(), qRgb(255, 0, 0))) << std::hex << uploadedCentre();

    graph.unplug(red);
    pump(1500); // a cycle that took its picture before the camera went may still finish
    const qsizetype uploads = out.count("Picture uploaded!");
    QFile::remove(server.homeFile("webcam.jpg"));
    pump(3000);
    EXPECT_EQ(out.count("Picture uploaded!"), uploads) << out.right(600).toStdString();
    EXPECT_FALSE(QFile::exists(server.homeFile("webcam.jpg")));
    EXPECT_TRUE(
        err.contains("Failed to save picture, the camera \"TestCam\" is gone (unplugged or switched off)"))
        << err.right(600).toStdString();

    ASSERT_GT(graph.plug(camera("blue")), 0) << graph.error().toStdString();
    ASSERT_TRUE(pump(10000, [&] { return out.count("Picture uploaded!") > uploads; }))
        << err.right(600).toStdString();
    EXPECT_TRUE(near(uploadedCentre(), qRgb(0, 0, 255))) << std::hex << uploadedCentre();

    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

// Three cameras at once, an account on each: the program's camera (PipeWire, red), another PipeWire
// camera (green) and an HTTP MJPEG camera (blue). Every upload carries its own camera's picture;
// the green camera unplugged fails its account alone, with its name, and comes back alone.
TEST_F(HeadlessCameraTest, EachAccountUploadsFromItsOwnCameraAndAnUnpluggedOneFailsAlone)
{
    PipeWireGraph::Camera desk = camera("red");
    desk.name = QStringLiteral("Desk");
    PipeWireGraph::Camera yard = camera("green");
    yard.name = QStringLiteral("Yard");
    ASSERT_GT(graph.plug(desk), 0) << graph.error().toStdString();
    int yardNumber = graph.plug(yard);
    ASSERT_GT(yardNumber, 0) << graph.error().toStdString();
    NetworkCameraServer doorCamera;
    NetworkCameraServer::Options blue;
    blue.colour = Qt::blue;
    ASSERT_TRUE(doorCamera.start(blue)) << doorCamera.error().toStdString();
    const NetworkCamera door{QStringLiteral("Door"), doorCamera.mjpegAddress(),
                             NetworkCamera::Kind::MjpegStream};
    {
        Regedit store(storePath);
        const QString product = QStringLiteral("Software\\Velmora");
        for (const auto& [name, text] :
             std::initializer_list<std::pair<QString, QString>>{{"Network Camera1 Address", door.address},
                                                                {"Network Camera1 Type", "MJPEG"},
                                                                {"Network Camera1", door.name},
                                                                {"Camera Identity", "PipeWire|Desk|Desk"},
                                                                {"Account2", "Yard"},
                                                                {"Account3", "Door"}})
            store.SaveString(HKEY_LOCAL_MACHINE, product, name, text);
        for (const auto& [account, camera] : std::initializer_list<std::pair<QString, QString>>{
                 {"Yard", "PipeWire|Yard|Yard"}, {"Door", door.identity()}}) {
            for (const auto& [name, text] : std::initializer_list<std::pair<QString, QString>>{
                     {"Selected", "True"},
                     {"Host Name/Adress:", server.hostField()},
                     {"User ID:", FtpServer::kUser},
                     {"Password:", FtpServer::kPassword},
                     {"Upload image every:", "Custom"},
                     {"Custom", "1"},
                     {"Destination filename:", account.toLower()},
                     {"Camera", camera}})
                store.SaveString(HKEY_LOCAL_MACHINE, product + '\\' + account, name, text);
        }
    }
    ASSERT_TRUE(startHeadless());
    const auto colourOf = [&](const char* file) {
        const QImage picture(server.homeFile(QString::fromLatin1(file)));
        return picture.isNull() ? QRgb(0) : picture.pixel(4, picture.height() / 2);
    };
    const auto allArrived = [&] {
        return near(colourOf("webcam.jpg"), qRgb(255, 0, 0)) && near(colourOf("yard.jpg"), qRgb(0, 255, 0)) &&
               near(colourOf("door.jpg"), qRgb(0, 0, 255));
    };
    ASSERT_TRUE(pump(20000, allArrived)) << err.right(1500).toStdString();

    graph.unplug(yardNumber);
    ASSERT_TRUE(pump(10000, [&] {
        return err.contains(
            "Failed to save picture, the camera \"Yard\" is gone (unplugged or switched off)");
    })) << err.right(1500).toStdString();
    for (const char* file : {"webcam.jpg", "yard.jpg", "door.jpg"})
        QFile::remove(server.homeFile(QString::fromLatin1(file)));
    pump(3000);
    EXPECT_TRUE(near(colourOf("webcam.jpg"), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(colourOf("door.jpg"), qRgb(0, 0, 255)));
    EXPECT_FALSE(QFile::exists(server.homeFile("yard.jpg"))) << "no other camera's picture stands in";
    EXPECT_FALSE(err.contains("Failed to save picture, the camera \"Desk\""))
        << err.right(1500).toStdString();
    EXPECT_FALSE(err.contains("Failed to save picture, the camera \"Door\""))
        << err.right(1500).toStdString();

    yardNumber = graph.plug(yard);
    ASSERT_GT(yardNumber, 0) << graph.error().toStdString();
    EXPECT_TRUE(pump(15000, allArrived)) << err.right(1500).toStdString();

    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
}
} // namespace

// A network camera remembered in the store and chosen: uploads carry its picture; while its server
// is down nothing is uploaded and the failure is logged; back, uploads resume with its new picture.
// Its password shows nowhere.
TEST_F(HeadlessUploadTest, ANetworkCameraUploadsStopsDuringAnOutageAndResumes)
{
    NetworkCameraServer camera;
    NetworkCameraServer::Options options;
    options.user = QStringLiteral("cam");
    options.password = QStringLiteral("pa55-word");
    ASSERT_TRUE(camera.start(options)) << camera.error().toStdString();
    {
        Regedit store(storePath);
        const NetworkCamera yard{QStringLiteral("Yard"), camera.snapshotAddress(),
                                 NetworkCamera::Kind::Snapshot, options.user, options.password};
        for (const auto& [name, text] :
             std::initializer_list<std::pair<QString, QString>>{{"Network Camera1 Address", yard.address},
                                                                {"Network Camera1 Type", "Snapshot"},
                                                                {"Network Camera1 User", yard.user},
                                                                {"Network Camera1 Password", yard.password},
                                                                {"Network Camera1", yard.name},
                                                                {"Camera Identity", yard.identity()}})
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", name, text);
    }
    process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
                  {"--store", storePath, "--workdir", dir.file("work"), "--headless", "--test-pattern"});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(pump(15000, [&] { return out.contains("Picture uploaded!"); })) << err.toStdString();
    EXPECT_TRUE(near(uploadedCentre(), qRgb(255, 0, 0))) << std::hex << uploadedCentre();

    camera.stop();
    pump(1500);
    const qsizetype uploads = out.count("Picture uploaded!");
    QFile::remove(server.homeFile("webcam.jpg"));
    pump(3000);
    EXPECT_EQ(out.count("Picture uploaded!"), uploads) << out.right(600).toStdString();
    EXPECT_FALSE(QFile::exists(server.homeFile("webcam.jpg")));
    EXPECT_TRUE(err.contains("Failed to save picture, the camera \"Yard\"")) << err.right(600).toStdString();

    options.colour = Qt::blue;
    ASSERT_TRUE(camera.start(options)) << camera.error().toStdString();
    ASSERT_TRUE(pump(15000, [&] { return out.count("Picture uploaded!") > uploads; }))
        << err.right(600).toStdString();
    EXPECT_TRUE(near(uploadedCentre(), qRgb(0, 0, 255))) << std::hex << uploadedCentre();
    EXPECT_FALSE(out.contains("pa55") || err.contains("pa55"));

    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
}
