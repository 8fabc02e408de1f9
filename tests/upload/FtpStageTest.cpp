#include "upload/FtpStage.h"
#include "FtpServer.h"
#include "QtPrinters.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "upload/FtpClient.h"
#include "upload/FtpLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {
// Short limits so the dead-server cases take seconds.
FtpTimeouts shortTimeouts()
{
    FtpTimeouts timeouts;
    timeouts.connect = 1500ms;
    timeouts.response = 1000ms;
    timeouts.stage = 15s;
    return timeouts;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A picture-like file: every byte value, line ends of every kind and zeros.
QByteArray binaryPicture(qsizetype size)
{
    QByteArray bytes("\xff\xd8\xff\xe0\r\n\n\r\0\0\r\r\n\x1a", 14);
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    QRandomGenerator random(42);
    while (bytes.size() < size) {
        const quint32 value = random.generate();
        bytes.append(value % 5 == 0   ? "\r\n"
                     : value % 7 == 0 ? "\n"
                                      : QByteArray(1, static_cast<char>(value)));
    }
    bytes.truncate(size);
    return bytes;
}

template <typename Change> FtpServer::Options serverOptions(Change change)
{
    FtpServer::Options options;
    change(options);
    return options;
}

// The lines of the last entry, without the two empty lines and the date header.
QStringList lastEntry(const QString& log)
{
    const qsizetype start = log.lastIndexOf(FtpLog::kEntryStart);
    if (start < 0)
        return {};
    QStringList lines = log.mid(start + FtpLog::kEntryStart.size()).split(QStringLiteral("\r\n"));
    static const QRegularExpression header(QStringLiteral("^.+\\]---$"));
    if (lines.isEmpty() || !header.match(lines.front()).hasMatch())
        return {QStringLiteral("<bad header>")};
    lines.removeFirst();
    return lines;
}

// Answers like the scripted prompter and also notes what the log said when each box came up.
class LogWatchingPrompter final : public Prompter
{
public:
    explicit LogWatchingPrompter(const FtpLog& log) : m_log(log) {}

    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& title,
                   Answer defaultAnswer) override
    {
        logAtMessage << m_log.text();
        return m_boxes.message(text, icon, buttons, title, defaultAnswer);
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString& text) override
    {
        return m_boxes.inputBox(prompt, title, text);
    }
    const ScriptedPrompter& boxes() const { return m_boxes; }

    QStringList logAtMessage;

private:
    const FtpLog& m_log;
    ScriptedPrompter m_boxes;
};

const QString kConnectFailureText =
    QStringLiteral("Couldn't connect to server. Make sure you are connected and "
                   "check your FTP settings, username and password.");

class FtpStageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(local.file(QStringLiteral("webcam.jpg")), picture);
        writeFile(local.file(QStringLiteral("time.txt")), "06.12.2024 07:15:00\r\n");
    }

    void startServer(const FtpServer::Options& options = FtpServer::Options())
    {
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
        ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("www")));
    }

    FtpJob job(const QString& folder = QStringLiteral("/www/"),
               const QString& name = QStringLiteral("cam1")) const
    {
        FtpJob job;
        job.host = server.hostField();
        job.user = FtpServer::kUser;
        job.password = FtpServer::kPassword;
        job.remotePicturePath = FtpJob::remotePath(folder, name + QStringLiteral(".jpg"));
        job.remoteTimePath = FtpJob::remotePath(folder, QStringLiteral("time.txt"));
        job.localPicturePath = local.path() + QStringLiteral("/webcam.jpg");
        job.localTimePath = local.path() + QStringLiteral("/time.txt");
        job.textFile = true;
        job.scheduled = true;
        return job;
    }

    QStringList commandNames() const
    {
        QStringList names;
        for (const QString& line : server.commands())
            names << line.section(QLatin1Char(' '), 0, 0).toUpper();
        return names;
    }

    const QByteArray picture = binaryPicture(40 * 1024);
    TempDir local;
    FtpServer server;
    FtpLog log;
    LogWatchingPrompter prompter{log};
    FtpStage stage{log, prompter, shortTimeouts()};
};

const QStringList kCompleteEntry{QStringLiteral("Connecting..."),      QStringLiteral("Connected to HOST"),
                                 QStringLiteral("Uploading..."),       QStringLiteral("Picture uploaded!"),
                                 QStringLiteral("Uploading Textfile"), QStringLiteral("Textfile uploaded"),
                                 QStringLiteral("Disconnecting..."),   QStringLiteral("Disconnected")};

QStringList completeEntry(const QString& host)
{
    QStringList lines = kCompleteEntry;
    lines[1] = QStringLiteral("Connected to ") + host;
    return lines;
}
} // namespace

TEST_F(FtpStageTest, CompleteEntryOverOneActiveConnection)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.dataMode = FtpServer::DataMode::ActiveOnly; }));
    FtpJob j = job();
    j.successMessage = true;
    const FtpResult result = stage.run(j);

    EXPECT_TRUE(log.text().startsWith(QStringLiteral("\r\n\r\n---[")));
    EXPECT_EQ(lastEntry(log.text()), completeEntry(j.host));
    EXPECT_TRUE(result.connected && result.pictureUploaded && result.textFileUploaded);
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/time.txt"))),
              QByteArray("06.12.2024 07:15:00\r\n"));
    EXPECT_EQ(stage.hConnection, 0u);

    // The success box comes once the picture is logged, before the time file is tried.
    ASSERT_EQ(prompter.boxes().texts(), QStringList{QStringLiteral("Picture uploaded successfully")});
    EXPECT_EQ(prompter.boxes().shown().front().icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.boxes().shown().front().title, kProgramTitle);
    EXPECT_TRUE(prompter.logAtMessage.front().endsWith(QStringLiteral("\r\nPicture uploaded!")));

    // One login, binary type, active data connections, a clean goodbye.
    const QStringList names = commandNames();
    EXPECT_EQ(names.count(QStringLiteral("USER")), 1) << names.join(' ').toStdString();
    EXPECT_EQ(names.count(QStringLiteral("STOR")), 2);
    EXPECT_FALSE(names.contains(QStringLiteral("PASV")) || names.contains(QStringLiteral("EPSV")));
    EXPECT_EQ(names.last(), QStringLiteral("QUIT"));
}

TEST_F(FtpStageTest, SuccessBoxOnlyWhenAskedAndTextFileOnlyWhenWanted)
{
    startServer();
    FtpJob j = job();
    j.textFile = false;
    stage.run(j);
    EXPECT_EQ(lastEntry(log.text()),
              (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + j.host,
                           QStringLiteral("Uploading..."), QStringLiteral("Picture uploaded!"),
                           QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
    EXPECT_TRUE(prompter.boxes().texts().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(server.homeFile(QStringLiteral("www/time.txt"))));
}

TEST_F(FtpStageTest, PictureArrivesByteForByteInBinaryMode)
{
    startServer();
    stage.run(job());
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
    const QStringList commands = server.commands();
    const qsizetype type = commands.indexOf(QStringLiteral("TYPE I"));
    ASSERT_GE(type, 0) << commands.join(' ').toStdString();
    EXPECT_LT(type, commands.indexOf(QStringLiteral("STOR /www/cam1.jpg")));
    EXPECT_FALSE(commands.contains(QStringLiteral("TYPE A")));
}

TEST_F(FtpStageTest, RefusedPictureLogsServerReplyAndStillSendsTextFile)
{
    startServer();
    FtpJob j = job();
    j.remotePicturePath = QStringLiteral("/ro/cam1.jpg");
    j.successMessage = true;
    const FtpResult result = stage.run(j);

    QStringList expected = completeEntry(j.host);
    expected[3] = QStringLiteral("Couldn't upload");
    expected.insert(4, QStringLiteral("Server: 550 Not enough privileges."));
    EXPECT_EQ(lastEntry(log.text()), expected);
    EXPECT_FALSE(result.pictureUploaded);
    EXPECT_TRUE(result.textFileUploaded);
    EXPECT_TRUE(prompter.boxes().texts().isEmpty());
    EXPECT_EQ(stage.hConnection, 0u);
    EXPECT_EQ(commandNames().last(), QStringLiteral("QUIT"));
}

TEST_F(FtpStageTest, MissingFolderAndRefusedTextFileCarryTheReply)
{
    startServer();
    FtpJob j = job();
    j.remotePicturePath = QStringLiteral("/nowhere/cam1.jpg");
    j.remoteTimePath = QStringLiteral("/ro/time.txt");
    stage.run(j);
    const QStringList lines = lastEntry(log.text());
    ASSERT_EQ(lines.size(), 10) << lines.join('|').toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("Couldn't upload"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Server: 550 "))) << lines[4].toStdString();
    EXPECT_EQ(lines[5], QStringLiteral("Uploading Textfile"));
    EXPECT_EQ(lines[6], QStringLiteral("Couldn't upload Textfile"));
    EXPECT_EQ(lines[7], QStringLiteral("Server: 550 Not enough privileges."));
    EXPECT_EQ(lines.mid(8),
              (QStringList{QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
}

TEST_F(FtpStageTest, MultiLineReplyIsLoggedWholeAndLongOnesAreCut)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.errorLines = 3; }));
    FtpJob j = job();
    j.remotePicturePath = QStringLiteral("/ro/cam1.jpg");
    j.textFile = false;
    stage.run(j);
    const QString expected = QStringLiteral("\r\nCouldn't upload\r\nServer: "
                                            "550-Line 1 of a long answer from the test server.\r\n"
                                            "550-Line 2 of a long answer from the test server.\r\n"
                                            "550 Not enough privileges.\r\nDisconnecting...");
    EXPECT_TRUE(log.text().contains(expected)) << log.text().toStdString();

    startServer(serverOptions([](FtpServer::Options& o) { o.errorLines = 80; }));
    j.host = server.hostField();
    log.reset();
    stage.run(j);
    const QStringList lines = log.text().split(QStringLiteral("\r\nServer: "));
    ASSERT_EQ(lines.size(), 2);
    const QString reply = lines[1].left(lines[1].indexOf(QStringLiteral("\r\nDisconnecting...")));
    EXPECT_EQ(reply.size(), FtpClient::kMaxReplyLength);
    EXPECT_TRUE(reply.startsWith(QStringLiteral("550-Line 1 ")));
}

TEST_F(FtpStageTest, WrongPasswordEndsInConnectFailureWithBoxOnlyForUploadNow)
{
    startServer();
    FtpJob j = job();
    j.password = QStringLiteral("wrong");
    for (const bool scheduled : {true, false}) {
        SCOPED_TRACE(scheduled);
        j.scheduled = scheduled;
        const FtpResult result = stage.run(j);
        EXPECT_EQ(lastEntry(log.text()),
                  (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Couldn't connect to server"),
                               QStringLiteral("Server: 530 Authentication failed."),
                               QStringLiteral("No picture uploaded")}));
        EXPECT_FALSE(result.connected || result.pictureUploaded || result.textFileUploaded);
        EXPECT_EQ(stage.hConnection, 0u);
    }
    ASSERT_EQ(prompter.boxes().texts(), QStringList{kConnectFailureText});
    EXPECT_EQ(prompter.boxes().shown().front().icon, Prompter::Icon::Critical);
    EXPECT_FALSE(commandNames().contains(QStringLiteral("STOR")));
}

TEST_F(FtpStageTest, FailuresWithoutServerReplyAddNoServerLine)
{
    const QStringList connectFailure{QStringLiteral("Connecting..."),
                                     QStringLiteral("Couldn't connect to server"),
                                     QStringLiteral("No picture uploaded")};
    // A port nobody listens on any more.
    startServer();
    const QString refusedHost = server.hostField();
    server.stop();
    for (const QString& host : {refusedHost, QStringLiteral("no-such-host.invalid"),
                                QStringLiteral("bad/host:21"), QStringLiteral("127.0.0.1:99999")}) {
        SCOPED_TRACE(host.toStdString());
        FtpJob j = job();
        j.host = host;
        j.scheduled = false;
        stage.run(j);
        EXPECT_EQ(lastEntry(log.text()), connectFailure);
        EXPECT_EQ(stage.hConnection, 0u);
    }
    EXPECT_EQ(prompter.boxes().texts().size(), 4);

    // A local file that is not there.
    startServer();
    FtpJob j = job();
    j.localPicturePath = local.file(QStringLiteral("missing.jpg"));
    j.textFile = false;
    stage.run(j);
    EXPECT_EQ(lastEntry(log.text()),
              (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + j.host,
                           QStringLiteral("Uploading..."), QStringLiteral("Couldn't upload"),
                           QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
}

TEST_F(FtpStageTest, SilentServerIsGivenUpAndTheNextRunWorks)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.mute = true; }));
    FtpJob j = job();
    stage.run(j);
    EXPECT_EQ(lastEntry(log.text()),
              (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Couldn't connect to server"),
                           QStringLiteral("No picture uploaded")}));
    EXPECT_EQ(stage.hConnection, 0u);

    startServer();
    const FtpResult result = stage.run(job());
    EXPECT_EQ(lastEntry(log.text()), completeEntry(server.hostField()));
    EXPECT_TRUE(result.pictureUploaded);
}

TEST_F(FtpStageTest, ServerThatNeverConfirmsTheUploadIsGivenUp)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.stallAfterUpload = true; }));
    FtpJob j = job();
    const FtpResult result = stage.run(j);
    QStringList expected = completeEntry(j.host);
    expected[3] = QStringLiteral("Couldn't upload");
    expected[5] = QStringLiteral("Couldn't upload Textfile");
    EXPECT_EQ(lastEntry(log.text()), expected);
    EXPECT_FALSE(result.pictureUploaded || result.textFileUploaded);
    EXPECT_EQ(stage.hConnection, 0u);
}

TEST_F(FtpStageTest, ServerStoppedDuringTransfer)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.readLimit = 256 * 1024; }));
    writeFile(local.file(QStringLiteral("big.jpg")), binaryPicture(8 * 1024 * 1024));
    FtpJob j = job();
    j.localPicturePath = local.file(QStringLiteral("big.jpg"));

    // Stop the server once part of the file has arrived; the stage keeps the event loop running.
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        if (QFileInfo(server.homeFile(QStringLiteral("www/cam1.jpg"))).size() > 0) {
            server.stop();
            watch.stop();
        }
    });
    watch.start();
    const FtpResult result = stage.run(j);

    EXPECT_FALSE(server.isRunning());
    EXPECT_FALSE(result.pictureUploaded || result.textFileUploaded);
    QStringList expected = completeEntry(j.host);
    expected[3] = QStringLiteral("Couldn't upload");
    expected[5] = QStringLiteral("Couldn't upload Textfile");
    EXPECT_EQ(lastEntry(log.text()), expected);
    EXPECT_EQ(stage.hConnection, 0u);
}

TEST_F(FtpStageTest, TwoRunsInARowAddTwoEntriesAndCloseEachTime)
{
    startServer();
    stage.run(job());
    EXPECT_EQ(stage.hConnection, 0u);
    stage.run(job());
    EXPECT_EQ(stage.hConnection, 0u);
    EXPECT_EQ(log.text().count(FtpLog::kEntryStart), 2);
    EXPECT_EQ(lastEntry(log.text()), completeEntry(server.hostField()));
    EXPECT_EQ(commandNames().count(QStringLiteral("QUIT")), 2);
}

TEST_F(FtpStageTest, FolderAndNameAreJoinedAsTheyAre)
{
    startServer(serverOptions([](FtpServer::Options& o) { o.loginDir = QStringLiteral("login"); }));
    ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("login/rel")));
    const struct
    {
        QString folder;
        QString name;
        QString arrives; // below the server's root
    } cases[] = {
        {QStringLiteral("/www/"), QStringLiteral("cam1"), QStringLiteral("www/cam1.jpg")},
        {QString(), QStringLiteral("cam1"), QStringLiteral("login/cam1.jpg")},
        {QStringLiteral("/www"), QStringLiteral("cam1"), QStringLiteral("wwwcam1.jpg")},
        {QStringLiteral("rel/"), QStringLiteral("cam1"), QStringLiteral("login/rel/cam1.jpg")},
        {QStringLiteral("/www/"), QStringLiteral("my cam #1 100% ?ü&+;="),
         QStringLiteral("www/my cam #1 100% ?ü&+;=.jpg")},
        {QStringLiteral("rel/"), QStringLiteral(" blank %2F"), QStringLiteral("login/rel/ blank %2F.jpg")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.folder + QLatin1Char('|') + c.name).toStdString());
        FtpJob j = job(c.folder, c.name);
        j.textFile = false;
        const FtpResult result = stage.run(j);
        EXPECT_TRUE(result.pictureUploaded) << log.text().toStdString();
        EXPECT_EQ(readFile(server.homeFile(c.arrives)), picture);
    }
    // The time file goes next to the picture.
    stage.run(job(QStringLiteral("/www/"), QStringLiteral("cam1")));
    EXPECT_TRUE(QFileInfo::exists(server.homeFile(QStringLiteral("www/time.txt"))));
}

TEST_F(FtpStageTest, LineEndsInNamesOrLoginCannotAddCommands)
{
    startServer();
    FtpJob j = job();
    j.remotePicturePath = QStringLiteral("/www/a.jpg\r\nDELE /www/keep.jpg");
    writeFile(server.homeFile(QStringLiteral("www/keep.jpg")), "keep");
    j.textFile = false;
    EXPECT_FALSE(stage.run(j).pictureUploaded);
    EXPECT_TRUE(QFileInfo::exists(server.homeFile(QStringLiteral("www/keep.jpg"))));

    j = job();
    j.user = QStringLiteral("cam\r\nDELE /www/keep.jpg");
    EXPECT_FALSE(stage.run(j).connected);
    EXPECT_TRUE(QFileInfo::exists(server.homeFile(QStringLiteral("www/keep.jpg"))));
    EXPECT_FALSE(commandNames().contains(QStringLiteral("DELE")));
}

TEST_F(FtpStageTest, Ipv6HostWithPort)
{
    if (!server.start(serverOptions([](FtpServer::Options& o) { o.address = QStringLiteral("::1"); })))
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("www")));
    FtpJob j = job();
    ASSERT_TRUE(j.host.startsWith(QStringLiteral("[::1]:")));
    EXPECT_EQ(lastEntry((stage.run(j), log.text())), completeEntry(j.host));
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
}
