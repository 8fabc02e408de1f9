#include "FtpServer.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");
const QString kAccount = QStringLiteral("Software\\Velmora\\Cam");

class HeadlessRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        Regedit store(storePath);
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "Cam");
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Selected", "True");
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Host Name/Adress:", server.hostField());
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "User ID:", FtpServer::kUser);
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Password:", FtpServer::kPassword);
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Enable timestamp", "1");
    }

    void set(const QString& name, const QString& text)
    {
        Regedit store(storePath);
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, name, text);
    }

    void start(QProcess& process, const QString& mode)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
                      {"--store", storePath, "--workdir", dir.file("work"), "--test-pattern", mode});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    int finish(QProcess& process, int waitMs = 30000)
    {
        if (!process.waitForFinished(waitMs)) {
            process.kill();
            process.waitForFinished(2000);
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    FtpServer server;
    TempDir dir;
    QString storePath = dir.file("store.db");
};

TEST_F(HeadlessRunTest, UploadNowDeliversAndPrintsTheLog)
{
    QProcess process;
    start(process, "--upload-now");
    EXPECT_EQ(finish(process), 0) << process.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains("Connected to " + server.hostField())) << out.toStdString();
    EXPECT_TRUE(out.contains("Picture uploaded!"));
    QImage picture;
    ASSERT_TRUE(picture.load(server.homeFile("webcam.jpg")));
    EXPECT_EQ(picture.height(), 288 + 23);
}

TEST_F(HeadlessRunTest, UploadNowFailureExitsWithOneAndReportsOnStandardError)
{
    set("Password:", "wrong");
    QProcess process;
    start(process, "--upload-now");
    EXPECT_EQ(finish(process), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardOutput()).contains("Couldn't connect to server"));
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains("Couldn't connect to server. Make sure"));
}

TEST_F(HeadlessRunTest, HeadlessUploadsOnItsTimerUntilTerminated)
{
    set("Upload image every:", "Constantly");
    set("Custom", "0");
    QProcess process;
    start(process, "--headless");
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(server.homeFile("webcam.jpg")) && clock.elapsed() < 20000)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_EQ(finish(process, 20000), 0);
    // The last cycle was allowed to finish: every entry that began also ended.
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(out.count("---["), out.count("Disconnected")) << out.right(400).toStdString();
}
} // namespace
