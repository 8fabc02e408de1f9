#include "FtpServer.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>

// The program ended by signals at random points of a transfer to a slow server, many times over:
// whatever the point, no half picture stays under the picture's name on the server (nor a
// temporary copy of a safe replace), the program ends with status 0, and every log entry that began
// also ended.
namespace {
enum class Ending {
    HangUp,         // SIGHUP: the run finishes the transfer, then ends
    Terminate,      // SIGTERM: the same without windows; with windows, the transfer is cancelled
    TerminateTwice, // SIGTERM twice: the transfer is cancelled and its piece removed
};

struct Case
{
    const char* name;
    Ending ending;
};

constexpr int kRuns = 10;
// The server takes 1 KB of data every 40 ms: a test picture (about 24 KB) takes about a second.
constexpr int kTrickleMs = 40;

class SignalEndTest : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start({.trickleMs = kTrickleMs})) << server.startError().toStdString();
        const QString account = "Software\\Velmora\\Cam";
        Regedit store(storePath);
        store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account1", "Cam");
        for (const auto& [name, text] :
             std::vector<std::pair<QString, QString>>{{"Selected", "True"},
                                                      {"Host Name/Adress:", server.hostField()},
                                                      {"User ID:", FtpServer::kUser},
                                                      {"Password:", FtpServer::kPassword},
                                                      {"Enable timestamp", "1"},
                                                      {"Upload image every:", "Constantly"},
                                                      {"Custom", "0"}})
            store.SaveString(HKEY_LOCAL_MACHINE, account, name, text);
        const QByteArray given = qgetenv("VELMORA_LONGRUN_POINTS");
        pointsStart = given.isEmpty() ? std::random_device()() : given.toUInt();
    }

    void setSafeReplace(bool on)
    {
        Regedit(storePath).SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Cam", "Safe replace",
                                      on ? "1" : "0");
    }

    qsizetype stors() const { return server.commands().filter(QRegularExpression("^STOR ")).size(); }

    // What stays under the picture's name: nothing, or a whole JPEG.
    static QString checkPicture(const QString& path)
    {
        QFile file(path);
        if (!file.exists())
            return {};
        if (!file.open(QIODevice::ReadOnly))
            return "cannot be read";
        const QByteArray bytes = file.readAll();
        // The end-of-image marker appears nowhere else in a JPEG's data.
        if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9"))
            return QString("a piece of %1 bytes").arg(bytes.size());
        if (QImage::fromData(bytes, "JPG").isNull())
            return "not a picture";
        return {};
    }

    FtpServer server;
    TempDir dir;
    QString storePath = dir.file("store.db");
    unsigned pointsStart = 0;
};

TEST_P(SignalEndTest, NeverAHalfPictureUnderItsName)
{
    const Case& c = GetParam();
    SCOPED_TRACE(testing::Message() << "VELMORA_LONGRUN_POINTS=" << pointsStart);
    std::mt19937 random(pointsStart);
    int cancelled = 0;
    int midTransfer = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        const bool safeReplace = run % 2 == 1;
        // With SIGTERM, every other run is the program with its windows.
        const bool windows = c.ending == Ending::Terminate && run % 4 >= 2;
        setSafeReplace(safeReplace);
        for (const char* name : {"webcam.jpg", ".webcam.jpg.part"})
            QFile::remove(server.homeFile(name));

        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("VELMORA_STORE");
        process.setProcessEnvironment(env);
        QStringList arguments{"--store", storePath, "--workdir", dir.file("work"), "--test-pattern"};
        if (!windows)
            arguments << "--headless";
        const qsizetype before = stors();
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
        QElapsedTimer clock;
        clock.start();
        while (stors() == before && clock.elapsed() < 20000)
            QThread::msleep(5);
        ASSERT_GT(stors(), before) << process.readAllStandardError().toStdString();

        // Anywhere in the transfer, and a little beyond it.
        QThread::msleep(std::uniform_int_distribution<int>(0, 1300)(random));
        const QString onItsWay = server.homeFile(safeReplace ? ".webcam.jpg.part" : "webcam.jpg");
        const qint64 sizeAtSignal = QFileInfo(onItsWay).size();
        const pid_t pid = static_cast<pid_t>(process.processId());
        ::kill(pid, c.ending == Ending::HangUp ? SIGHUP : SIGTERM);
        clock.restart();
        if (c.ending == Ending::TerminateTwice) {
            QThread::msleep(std::uniform_int_distribution<int>(0, 300)(random));
            ::kill(pid, SIGTERM);
            clock.restart();
        }
        const bool cancels = windows || c.ending == Ending::TerminateTwice;
        ASSERT_TRUE(process.waitForFinished(cancels ? 5000 : 15000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
        if (cancels) {
            EXPECT_LT(clock.elapsed(), 2000) << "the end of a cancelled transfer";
        }
        EXPECT_EQ(checkPicture(server.homeFile("webcam.jpg")), QString());
        EXPECT_FALSE(QFile::exists(server.homeFile(".webcam.jpg.part")));
        // The signal came while a piece was on the server: it grew to the whole picture afterwards,
        // or went.
        const QFileInfo picture(server.homeFile("webcam.jpg"));
        if (sizeAtSignal > 0 && (!picture.exists() || picture.size() > sizeAtSignal))
            ++midTransfer;
        if (!windows) {
            EXPECT_EQ(out.count("---["),
                      out.count("\nDisconnected") + out.count("\nConnection kept for the next upload"))
                << out.right(400).toStdString();
            cancelled += int(out.count("\nCancelled"));
        }
    }
    // The points were spread: some came in the middle of a transfer, and with a second signal some
    // transfers were cut short.
    EXPECT_GE(midTransfer, kRuns / 4);
    if (c.ending == Ending::TerminateTwice) {
        EXPECT_GT(cancelled, 0);
    }
    std::printf("%s: %d of %d signals in the middle of a transfer, %d transfers cancelled\n", c.name,
                midTransfer, kRuns, cancelled);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalEndTest,
                         ::testing::Values(Case{"HangUp", Ending::HangUp},
                                           Case{"Terminate", Ending::Terminate},
                                           Case{"TerminateTwice", Ending::TerminateTwice}),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return std::string(param.param.name);
                         });
} // namespace
