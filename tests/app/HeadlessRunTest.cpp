#include "FtpServer.h"
#include "TempDir.h"
#include "VelmoraProcess.h"
#include "settings/Regedit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

namespace {
class HeadlessRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        Regedit(storePath).SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account1", "Cam");
        set({{"Selected", "True"},
             {"Host Name/Adress:", server.hostField()},
             {"User ID:", FtpServer::kUser},
             {"Password:", FtpServer::kPassword},
             {"Enable timestamp", "1"}});
    }
    void set(const QList<std::pair<QString, QString>>& values)
    {
        Regedit store(storePath);
        for (const auto& [name, text] : values)
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Cam", name, text);
    }
    // The program with the given mode; without one, with its windows.
    void start(const QString& mode)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        QStringList arguments{"--store", storePath, "--workdir", dir.file("work"), "--test-pattern"};
        if (!mode.isEmpty())
            arguments << mode;
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), arguments);
        ASSERT_TRUE(process.waitForStarted(5000));
    }
    // The exit status, -1 for a crash or a program that had to be killed; the output is read.
    int finish(int waitMs = 30000)
    {
        const bool ended = process.waitForFinished(waitMs);
        if (!ended) {
            process.kill();
            process.waitForFinished(2000);
        }
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    FtpServer server;
    TempDir dir;
    QString storePath = dir.file("store.db");
    QProcess process;
    QString out;
    QString err;
};

TEST_F(HeadlessRunTest, UploadNowDeliversAndPrintsOnlyTheLog)
{
    start("--upload-now");
    EXPECT_EQ(finish(), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("Connected to " + server.hostField())) << out.toStdString();
    EXPECT_TRUE(out.contains("Picture uploaded!"));
    // The server's size answers stay out of standard output.
    EXPECT_FALSE(out.contains("Content-Length", Qt::CaseInsensitive)) << out.toStdString();
    QImage picture;
    ASSERT_TRUE(picture.load(server.homeFile("webcam.jpg")));
    EXPECT_EQ(picture.height(), 288 + 23);
}

TEST_F(HeadlessRunTest, UploadNowFailureExitsWithOneAndReportsOnStandardError)
{
    set({{"Password:", "wrong"}});
    start("--upload-now");
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(out.contains("Couldn't connect to server")) << out.toStdString();
    EXPECT_TRUE(err.contains("Couldn't connect to server. Make sure")) << err.toStdString();
    // Each line says where it comes from: no blank lines, no empty status.
    for (const QString& line : err.trimmed().split('\n'))
        EXPECT_TRUE(!line.trimmed().isEmpty() && line != "Status: ") << err.toStdString();
    EXPECT_TRUE(
        err.contains("Velmora 2001: Couldn't connect to server. Make sure you are connected and check your "
                     "FTP settings, username and password. Server: 530 Authentication failed."))
        << err.toStdString();
}

// The first signal drops what waits and lets the running transfer finish; a second one cancels it
// at once. Account "Cam" uploads to a server that is slow (or silent) at STOR, "Other" waits its
// turn meanwhile.
class HeadlessSignalTest : public HeadlessRunTest
{
protected:
    void startWithTwoAccounts(const FtpServer::Options& slow)
    {
        ASSERT_TRUE(slowServer.start(slow)) << slowServer.startError().toStdString();
        Regedit store(storePath);
        store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account2", "Other");
        for (const auto& [name, text] :
             QList<std::pair<QString, QString>>{{"Selected", "True"},
                                                {"Host Name/Adress:", server.hostField()},
                                                {"User ID:", FtpServer::kUser},
                                                {"Password:", FtpServer::kPassword},
                                                {"Remember password", "1"},
                                                {"Destination filename:", "other"},
                                                {"Upload image every:", "Constantly"},
                                                {"Custom", "0"}})
            store.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Other", name, text);
        set({{"Host Name/Adress:", slowServer.hostField()},
             {"Upload image every:", "Constantly"},
             {"Custom", "0"}});
        start("--headless");
        // Cam's upload has reached the server and waits there.
        QElapsedTimer clock;
        clock.start();
        while (!slowServer.commands().join(' ').contains("STOR") && clock.elapsed() < 20000)
            QThread::msleep(10);
        ASSERT_TRUE(slowServer.commands().join(' ').contains("STOR"));
        otherLogins = int(server.commands().count("USER cam"));
    }
    void signal() { ::kill(static_cast<pid_t>(process.processId()), SIGTERM); }

    FtpServer slowServer;
    int otherLogins = 0;
};

TEST_F(HeadlessSignalTest, FirstSignalLetsTheRunningTransferFinishAndDropsTheRest)
{
    startWithTwoAccounts({.slowStorMs = 1500});
    QElapsedTimer clock;
    clock.start();
    signal();
    EXPECT_EQ(finish(10000), 0) << err.toStdString();
    EXPECT_GE(clock.elapsed(), 700) << "the transfer was let finish";
    EXPECT_TRUE(out.trimmed().endsWith("Picture uploaded!\nDisconnecting...\nDisconnected"))
        << out.right(300).toStdString();
    EXPECT_TRUE(QFile::exists(slowServer.homeFile("webcam.jpg")));
    EXPECT_EQ(server.commands().count("USER cam"), otherLogins) << "the waiting account did not run";
    // Every entry ended: the "Constantly" account's earlier turns keep their connection.
    EXPECT_EQ(out.count("---["),
              out.count("\nDisconnected") + out.count("\nConnection kept for the next upload"))
        << out.toStdString();
}

TEST_F(HeadlessSignalTest, SecondSignalCancelsTheTransferAtOnce)
{
    startWithTwoAccounts({.stallAt = "STOR"});
    signal();
    QThread::msleep(500);
    EXPECT_EQ(process.state(), QProcess::Running) << "one signal waits for the transfer";
    QElapsedTimer clock;
    clock.start();
    signal();
    EXPECT_EQ(finish(10000), 0) << err.toStdString();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(out.contains("Couldn't upload\nCancelled\nDisconnecting...\nDisconnected"))
        << out.right(300).toStdString();
    EXPECT_EQ(server.commands().count("USER cam"), otherLogins);
}

// The program with its windows ends on SIGTERM as on the tray's Exit: the transfer to a server that
// went silent is cancelled and the process is gone within two seconds.
TEST_F(HeadlessSignalTest, TheWindowedProgramEndsWithinTwoSecondsDuringAnUpload)
{
    ASSERT_TRUE(slowServer.start({.stallAt = "STOR"})) << slowServer.startError().toStdString();
    set({{"Host Name/Adress:", slowServer.hostField()},
         {"Upload image every:", "Constantly"},
         {"Custom", "0"}});
    start(QString());
    QElapsedTimer clock;
    clock.start();
    while (!slowServer.commands().join(' ').contains("STOR") && clock.elapsed() < 20000)
        QThread::msleep(10);
    ASSERT_TRUE(slowServer.commands().join(' ').contains("STOR"))
        << process.readAllStandardError().toStdString();
    clock.restart();
    signal();
    EXPECT_EQ(finish(10000), 0) << err.toStdString();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(QFile::exists(slowServer.homeFile("webcam.jpg")));
}

// SIGHUP (the terminal or SSH session closing) ends the run like SIGTERM: the running transfer
// finishes, and writing the log to the output that went away does not end the process.
TEST_F(HeadlessSignalTest, HangUpEndsTheRunLikeTerminateAndAGoneOutputDoesNotKillIt)
{
    startWithTwoAccounts({.slowStorMs = 1500});
    process.closeReadChannel(QProcess::StandardOutput);
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    EXPECT_EQ(finish(10000), 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(slowServer.homeFile("webcam.jpg")));
    EXPECT_EQ(server.commands().count("USER cam"), otherLogins) << "the waiting account did not run";
}

// Exit during a transfer to a server that takes a second to greet each connection: the removal of
// the piece on the server gets the time left before the end, so it arrives, and the program still
// ends within two seconds.
TEST_F(HeadlessSignalTest, ThePieceIsRemovedEvenFromAServerSlowToGreet)
{
    for (const bool windows : {true, false}) {
        SCOPED_TRACE(windows ? "windowed" : "headless");
        ASSERT_TRUE(slowServer.start({.slowGreetingMs = 1000, .trickleMs = 100}))
            << slowServer.startError().toStdString();
        set({{"Host Name/Adress:", slowServer.hostField()},
             {"Upload image every:", "Constantly"},
             {"Custom", "0"}});
        start(windows ? QString() : QString("--headless"));
        QElapsedTimer clock;
        clock.start();
        while (QFileInfo(slowServer.homeFile("webcam.jpg")).size() == 0 && clock.elapsed() < 20000)
            QThread::msleep(10);
        ASSERT_GT(QFileInfo(slowServer.homeFile("webcam.jpg")).size(), 0)
            << process.readAllStandardError().toStdString();
        clock.restart();
        signal();
        if (!windows) {
            QThread::msleep(100);
            signal(); // the second one cancels
        }
        EXPECT_EQ(finish(10000), 0) << err.toStdString();
        EXPECT_LT(clock.elapsed(), 2000);
        EXPECT_FALSE(QFile::exists(slowServer.homeFile("webcam.jpg")));
    }
}

// One uploader per store: the program with its windows started beside a headless run shows its
// windows, says that it does not upload and sends nothing; a second headless run or Upload Now
// refuses with one line and status 1. The same with the windowed program first.
TEST_F(HeadlessRunTest, OnlyOneProgramUploadsWithAStore)
{
    set({{"Upload image every:", "Constantly"}, {"Custom", "0"}});
    const QStringList common{"--store", storePath, "--workdir", dir.file("work2"), "--test-pattern"};
    const QString refusal = "velmora: another Velmora program uploads with the settings store " + storePath;
    const auto stors = [this] { return server.commands().filter(QRegularExpression("^STOR ")).size(); };

    start("--headless");
    QElapsedTimer clock;
    clock.start();
    while (stors() == 0 && clock.elapsed() < 20000)
        QThread::msleep(20);
    ASSERT_GT(stors(), 0);
    for (const QString mode : {"--headless", "--upload-now"}) {
        const ProgramRun second = runVelmora(common + QStringList{mode});
        EXPECT_EQ(second.status, 1) << mode.toStdString();
        EXPECT_TRUE(second.err.contains(refusal + "; not uploading\n")) << second.err.toStdString();
        EXPECT_EQ(second.out, "");
    }
    QProcess windowed;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    windowed.setProcessEnvironment(env);
    windowed.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), common);
    ASSERT_TRUE(windowed.waitForStarted(5000));
    // It has started (and said so) and has had time for a few turns of its own.
    QString windowedErr;
    clock.restart();
    while (!windowedErr.contains(refusal) && clock.elapsed() < 10000) {
        windowed.waitForReadyRead(100);
        windowedErr += QString::fromUtf8(windowed.readAllStandardError());
    }
    EXPECT_TRUE(windowedErr.contains(refusal + "; this one shows its windows but does not upload\n"))
        << windowedErr.toStdString();
    QThread::msleep(2000);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_EQ(finish(20000), 0);
    // Every picture the server took came from the headless run.
    EXPECT_EQ(stors(), out.count("\nUploading...\n")) << out.right(400).toStdString();
    const qsizetype afterHeadless = stors();
    QThread::msleep(1500);
    EXPECT_EQ(stors(), afterHeadless) << "the windowed program does not take over";
    ::kill(static_cast<pid_t>(windowed.processId()), SIGTERM);
    ASSERT_TRUE(windowed.waitForFinished(10000));
    EXPECT_EQ(windowed.exitCode(), 0);

    // The windowed program first: now it uploads, and the headless run refuses.
    windowed.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), common);
    ASSERT_TRUE(windowed.waitForStarted(5000));
    const qsizetype before = stors();
    clock.restart();
    while (stors() == before && clock.elapsed() < 20000)
        QThread::msleep(20);
    EXPECT_GT(stors(), before);
    const ProgramRun headless = runVelmora(common + QStringList{"--headless"});
    EXPECT_EQ(headless.status, 1);
    EXPECT_TRUE(headless.err.contains(refusal + "; not uploading\n")) << headless.err.toStdString();
    ::kill(static_cast<pid_t>(windowed.processId()), SIGTERM);
    EXPECT_TRUE(windowed.waitForFinished(10000));
}

// An account that saves only locally into a folder that is not there: the exit status says it
// failed and the log on standard output says why.
TEST_F(HeadlessRunTest, UploadNowSavingLocallyIntoAMissingFolderSaysWhy)
{
    set({{"Locally", "1"}, {"Only Locally", "1"}, {"LocallySource", dir.file("missing")}});
    start("--upload-now");
    EXPECT_EQ(finish(), 1);
    EXPECT_TRUE(out.contains("Couldn't save the local copy " + dir.file("missing/webcam.jpg") + ": " +
                             QString::fromLocal8Bit(std::strerror(ENOENT))))
        << out.toStdString();
}

// The working folder and the folders made on the way to it are the user's alone, whatever the
// file mode mask.
TEST_F(HeadlessRunTest, TheWorkingFolderIsPrivateWhateverTheMask)
{
    RunWith open;
    open.childSetup = [] { ::umask(0); };
    const QString work = dir.file("made/work");
    const ProgramRun run =
        runVelmora({"--store", storePath, "--workdir", work, "--test-pattern", "--upload-now"}, open);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    for (const QString& folder : {dir.file("made"), work}) {
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0) << folder.toStdString();
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder.toStdString();
    }
}

TEST_F(HeadlessRunTest, HeadlessUploadsOnItsTimerUntilTerminatedAndEndsTheCycleFirst)
{
    set({{"Upload image every:", "Constantly"}, {"Custom", "0"}});
    start("--headless");
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(server.homeFile("webcam.jpg")) && clock.elapsed() < 20000)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_EQ(finish(20000), 0);
    // Every entry that began also ended: with the goodbye, or with the connection kept for the next
    // upload a second later.
    EXPECT_EQ(out.count("---["),
              out.count("\nDisconnected") + out.count("\nConnection kept for the next upload"))
        << out.right(400).toStdString();
    EXPECT_GE(out.count("\nReusing the connection to "), 1) << out.right(400).toStdString();
}

// In a terminal the log (standard output) and the status lines (standard error) share the screen:
// every line ends as it is written, so none runs into the next.
TEST_F(HeadlessRunTest, HeadlessOutputKeepsEveryLineOnItsOwnInOneStream)
{
    set({{"Upload image every:", "Custom"}, {"Custom", "1"}});
    process.setProcessChannelMode(QProcess::MergedChannels);
    start("--headless");
    QElapsedTimer clock;
    clock.start();
    QByteArray seen;
    while (seen.count("Picture uploaded!") < 2 && clock.elapsed() < 20000) {
        process.waitForReadyRead(200);
        seen += process.readAllStandardOutput();
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_EQ(finish(20000), 0);
    const QString all = QString::fromUtf8(seen) + out;
    ASSERT_GE(all.count("Picture uploaded!"), 2) << all.toStdString();
    EXPECT_FALSE(all.contains('\r'));
    for (const QString& line : all.split('\n')) {
        EXPECT_TRUE(!line.contains("Status: ") || line.startsWith("Status: ")) << line.toStdString();
        EXPECT_TRUE(!line.contains("Disconnected") || line == "Disconnected") << line.toStdString();
    }
}
} // namespace
