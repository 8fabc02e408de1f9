#include "StageFixture.h"
#include "upload/DestinationSession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <optional>

namespace {
using FtpStageTest = StageFixture;

const QString kNotTried = "Not tried: the server stopped answering earlier in this upload";
const QString kConnectFailureText = "Couldn't connect to server. Make sure you are connected and "
                                    "check your FTP settings, username and password.";

TEST_F(FtpStageTest, CompleteEntriesInARowWithTheBoxOnlyWhenAsked)
{
    startServer();
    FtpJob j = job();
    j.successMessage = true;
    QString logBeforeBox;
    QObject::connect(&log, &FtpLog::changed, &log, [&] {
        if (prompter.shown().empty())
            logBeforeBox = log.text();
    });
    const FtpResult result = runStage(stage, j);
    EXPECT_TRUE(log.text().startsWith("\r\n\r\n---["));
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host));
    EXPECT_TRUE(result.connected && result.pictureUploaded && result.textFileUploaded);
    EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), picture);
    EXPECT_EQ(readFile(server.homeFile("www/time.txt")), "06.12.2024 07:15:00\r\n");
    EXPECT_EQ(stage.hConnection, 0u);
    // The success box comes once the picture is logged, before the time file is tried.
    ASSERT_EQ(prompter.texts(), QStringList{"Picture uploaded successfully"});
    EXPECT_EQ(prompter.shown().front().icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.shown().front().title, kProgramTitle);
    EXPECT_TRUE(logBeforeBox.endsWith("\r\nPicture uploaded!")) << logBeforeBox.toStdString();

    j.successMessage = false;
    j.textFile = false;
    runStage(stage, j);
    EXPECT_EQ(log.text().count(FtpLog::kEntryStart), 2);
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host, {"Picture uploaded!"}, {}));
    EXPECT_EQ(prompter.texts().size(), 1);
    EXPECT_EQ(stage.hConnection, 0u);

    // One login and one goodbye per run; binary type, so the picture arrived byte for byte.
    const QStringList commands = server.commands();
    EXPECT_EQ(commands.count("USER cam"), 2);
    EXPECT_EQ(commands.count("QUIT"), 2);
    EXPECT_EQ(commands.last(), "QUIT");
    EXPECT_EQ(commands.count("STOR /www/time.txt"), 1);
    const qsizetype type = commands.indexOf("TYPE I");
    ASSERT_GE(type, 0) << commands.join(' ').toStdString();
    EXPECT_LT(type, commands.indexOf("STOR /www/cam1.jpg"));
    EXPECT_FALSE(commands.contains("TYPE A"));
}

TEST_F(FtpStageTest, FilesThatCannotBePutLogTheServerReplyAndTheTextFileIsStillTried)
{
    startServer();
    FtpJob j = job();
    j.remotePicturePath = "/ro/cam1.jpg";
    j.successMessage = true;
    const FtpResult result = runStage(stage, j);
    EXPECT_EQ(lastEntry(log),
              connectedEntry(j.host, {"Couldn't upload", "Server: 550 Not enough privileges."}));
    EXPECT_FALSE(result.pictureUploaded);
    EXPECT_TRUE(result.textFileUploaded);
    EXPECT_TRUE(prompter.texts().isEmpty());
    EXPECT_EQ(stage.hConnection, 0u);
    EXPECT_EQ(commandNames().last(), "QUIT");

    j.remotePicturePath = "/nowhere/cam1.jpg";
    j.remoteTimePath = "/ro/time.txt";
    runStage(stage, j);
    EXPECT_EQ(lastEntry(log),
              connectedEntry(
                  j.host, {"Couldn't upload", "Server: 550 No such file or directory."},
                  {"Uploading Textfile", "Couldn't upload Textfile", "Server: 550 Not enough privileges."}));

    // A local picture that is not there: no reply to log.
    j = job();
    j.localPicturePath = local.file("missing.jpg");
    j.textFile = false;
    EXPECT_FALSE(runStage(stage, j).pictureUploaded);
    EXPECT_EQ(lastEntry(log),
              connectedEntry(j.host, {"Couldn't upload", "Local file not found: " + j.localPicturePath}, {}));
}

TEST_F(FtpStageTest, MultiLineRepliesAreLoggedWholeAndLongOnesAreCut)
{
    FtpJob j = job();
    j.remotePicturePath = "/ro/cam1.jpg";
    j.textFile = false;
    startServer({.errorLines = 3});
    j.host = server.hostField();
    runStage(stage, j);
    EXPECT_EQ(lastEntry(log),
              connectedEntry(j.host,
                             {"Couldn't upload", "Server: 550-Line 1 of a long answer from the test server.",
                              "Server: 550-Line 2 of a long answer from the test server.",
                              "Server: 550 Not enough privileges."},
                             {}));

    startServer({.errorLines = 80});
    j.host = server.hostField();
    runStage(stage, j);
    QStringList replyLines;
    for (const QString& line : lastEntry(log)) {
        if (line.startsWith("Server: "))
            replyLines << line.mid(8);
    }
    const QString reply = replyLines.join("\r\n");
    EXPECT_EQ(reply.size(), DestinationSession::kMaxReplyLength);
    EXPECT_TRUE(reply.startsWith("550-Line 1 "));
}

TEST_F(FtpStageTest, ConnectFailuresLogTheReplyIfAnyWithTheBoxOnlyForUploadNow)
{
    startServer();
    FtpServer stopped; // nobody listens on its port any more
    ASSERT_TRUE(stopped.start());
    stopped.stop();
    const struct
    {
        QString host;
        QString password;
        QStringList reply;
    } cases[] = {
        {server.hostField(), "wrong", {"Server: 530 Authentication failed."}},
        {stopped.hostField(), FtpServer::kPassword, {"Could not connect to " + stopped.hostField()}},
        {"no-such-host.invalid", FtpServer::kPassword, {"Host not found: no-such-host.invalid"}},
        {"bad/host:21", FtpServer::kPassword, {"Not a usable host name: bad/host:21"}},
        {"127.0.0.1:99999", FtpServer::kPassword, {"Not a usable host name: 127.0.0.1:99999"}},
        {server.hostField() + "\x1b[2J",
         FtpServer::kPassword,
         {"Not a usable host name: " + server.hostField() + QChar(QChar::ReplacementCharacter)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        FtpJob j = job();
        j.host = c.host;
        j.password = c.password;
        for (const bool scheduled : {true, false}) {
            j.scheduled = scheduled;
            const FtpResult result = runStage(stage, j);
            EXPECT_EQ(lastEntry(log), connectFailureEntry(c.reply));
            EXPECT_FALSE(result.connected || result.pictureUploaded || result.textFileUploaded);
            EXPECT_EQ(result.failure, (QStringList("Couldn't connect to server") + c.reply).join('\n'));
            EXPECT_EQ(stage.hConnection, 0u);
        }
        // The box says why, as the log does: a refused login reads otherwise than a dead server.
        ASSERT_EQ(prompter.texts(), QStringList{kConnectFailureText + "\n\n" + c.reply.join('\n')});
        EXPECT_EQ(prompter.shown().front().icon, Prompter::Icon::Critical);
        prompter.clear();
    }
    EXPECT_FALSE(commandNames().contains("STOR"));
}

TEST_F(FtpStageTest, SilentServerIsGivenUpAndTheNextRunWorks)
{
    startServer({.mute = true});
    runStage(stage, job());
    EXPECT_EQ(lastEntry(log), connectFailureEntry({"Timed out after 1.5 s waiting for the server"}));
    EXPECT_EQ(stage.hConnection, 0u);

    startServer();
    EXPECT_TRUE(runStage(stage, job()).pictureUploaded);
    EXPECT_EQ(lastEntry(log), connectedEntry(server.hostField()));
}

TEST_F(FtpStageTest, TransfersThatDieOrDragAreGivenUpAndTheConnectionClosed)
{
    const struct
    {
        const char* what;
        FtpServer::Options options;
        bool stopMidway;
        std::chrono::milliseconds stageLimit;
        QString why;
        QString whyTextFile;
    } cases[] = {
        {"never confirms the upload",
         {.stallAfterUpload = true},
         false,
         15s,
         "Timed out after 1 s waiting for the server",
         kNotTried},
        {"stopped during the transfer",
         {.readLimit = 256 * 1024},
         true,
         15s,
         "Connection to the server lost",
         "Could not connect to "},
        {"too slow for the stage's limit",
         {.readLimit = 64 * 1024},
         false,
         1500ms,
         "Timed out after 1.5 s, the time limit for the whole upload",
         kNotTried},
    };
    writeFile(local.file("big.jpg"), binaryPicture(8 * 1024 * 1024));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The home folder outlives a restart: the watch below must see this case's file only.
        QFile::remove(server.homeFile("www/cam1.jpg"));
        startServer(c.options);
        FtpStage limited(log, prompter, timeouts(c.stageLimit));
        FtpJob j = job();
        j.localPicturePath = local.file("big.jpg");
        // The stage keeps the event loop running, so this stops the server once part has arrived.
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
            if (QFileInfo(server.homeFile("www/cam1.jpg")).size() > 0) {
                server.stop();
                watch.stop();
            }
        });
        if (c.stopMidway)
            watch.start(20);
        const FtpResult result = runStage(limited, j);

        EXPECT_NE(server.isRunning(), c.stopMidway);
        EXPECT_TRUE(result.connected);
        EXPECT_FALSE(result.pictureUploaded || result.textFileUploaded);
        const QString textFileWhy = c.whyTextFile.endsWith(' ') ? c.whyTextFile + j.host : c.whyTextFile;
        EXPECT_EQ(lastEntry(log),
                  connectedEntry(j.host, {"Couldn't upload", c.why},
                                 {"Uploading Textfile", "Couldn't upload Textfile", textFileWhy}));
        EXPECT_EQ(limited.hConnection, 0u);
    }
}

TEST_F(FtpStageTest, FolderAndNameAreJoinedAsTheyAre)
{
    startServer({.loginDir = "login"});
    ASSERT_TRUE(QDir(server.home()).mkpath("login/rel"));
    const struct
    {
        QString folder;
        QString name;
        QString arrives; // below the server's root
    } cases[] = {
        {"/www/", "cam1", "www/cam1.jpg"},
        {"", "cam1", "login/cam1.jpg"},
        {"/www", "cam1", "wwwcam1.jpg"},
        {"rel/", "cam1", "login/rel/cam1.jpg"},
        {"/www/", "my cam #1 100% ?ü&+;=", "www/my cam #1 100% ?ü&+;=.jpg"},
        {"rel/", " blank %2F", "login/rel/ blank %2F.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.folder + '|' + c.name).toStdString());
        FtpJob j = job(c.folder, c.name);
        j.textFile = false;
        EXPECT_TRUE(runStage(stage, j).pictureUploaded) << log.text().toStdString();
        EXPECT_EQ(readFile(server.homeFile(c.arrives)), picture);
    }
    // The time file goes next to the picture.
    runStage(stage, job("rel/"));
    EXPECT_TRUE(QFileInfo::exists(server.homeFile("login/rel/time.txt")));
}

TEST_F(FtpStageTest, LineEndsInNamesOrLoginCannotAddCommands)
{
    startServer();
    writeFile(server.homeFile("www/keep.jpg"), "keep");
    FtpJob j = job();
    j.remotePicturePath = "/www/a.jpg\r\nDELE /www/keep.jpg";
    j.textFile = false;
    EXPECT_FALSE(runStage(stage, j).pictureUploaded);
    EXPECT_EQ(
        lastEntry(log),
        connectedEntry(j.host,
                       {"Couldn't upload", "The remote folder or file name contains a line break or "
                                           "another control character, which cannot be sent to the server"},
                       {}));
    for (const bool inPassword : {false, true}) {
        j = job();
        (inPassword ? j.password : j.user) += "\r\nDELE /www/keep.jpg";
        EXPECT_FALSE(runStage(stage, j).connected);
        EXPECT_EQ(lastEntry(log),
                  connectFailureEntry({QString("The %1 contains a line break or another control "
                                               "character, which cannot be sent to the server")
                                           .arg(inPassword ? "password" : "user name")}));
    }
    EXPECT_TRUE(QFileInfo::exists(server.homeFile("www/keep.jpg")));
    EXPECT_FALSE(commandNames().contains("DELE"));
}

TEST_F(FtpStageTest, Ipv6HostWithPort)
{
    if (!server.start({.address = "::1"}))
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_TRUE(QDir(server.home()).mkpath("www"));
    FtpJob j = job();
    ASSERT_TRUE(j.host.startsWith("[::1]:"));
    runStage(stage, j);
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host));
    EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), picture);
}
} // namespace

namespace {
// The time from a call to the end of the stage it started or cut short.
class StageClock
{
public:
    explicit StageClock(FtpStage& stage)
    {
        QObject::connect(&stage, &FtpStage::finished, &stage, [this](const FtpResult& r) {
            result = r;
            ended = m_clock.elapsed();
        });
        m_clock.start();
    }
    void restart() { m_clock.restart(); }
    bool waitForEnd(int limitMs = 10000)
    {
        return QTest::qWaitFor([this] { return result.has_value(); }, limitMs);
    }

    std::optional<FtpResult> result;
    qint64 ended = -1;

private:
    QElapsedTimer m_clock;
};

// A server that takes the goodbye and never answers it costs the goodbye's limit, not the response
// limit, and the picture that arrived counts as delivered. A server that agrees to active mode and
// never connects back costs the response limit once.
TEST_F(FtpStageTest, SilentGoodbyesAndMissingDataConnectionsCostTheirLimitsOnly)
{
    const struct
    {
        const char* what;
        FtpServer::Options options;
        bool delivered;
        qint64 limitMs; // the whole stage, with room for a loaded machine
    } cases[] = {
        {"QUIT never answered", {.stallAt = "QUIT"}, true, 300 + 1000},
        {"no data connection", {.noDataConnection = true}, false, 2000 + 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startServer(c.options);
        FtpStage limited(log, prompter, {.connect = 1500ms, .response = 2000ms, .stage = 15s, .quit = 300ms});
        StageClock clock(limited);
        ASSERT_TRUE(limited.start(job()));
        ASSERT_TRUE(clock.waitForEnd());
        EXPECT_LT(clock.ended, c.limitMs);
        EXPECT_EQ(clock.result->pictureUploaded, c.delivered);
        EXPECT_EQ(lastEntry(log).last(), "Disconnected");
        EXPECT_EQ(limited.hConnection, 0u);
    }
    EXPECT_EQ(lastEntry(log),
              connectedEntry(server.hostField(),
                             {"Couldn't upload", "Timed out after 2 s waiting for the server to connect back "
                                                 "for the data (active mode)"},
                             {"Uploading Textfile", "Couldn't upload Textfile", kNotTried}));
}

// A connection made ahead for the job's server and login is taken over, whether it got in or not; one
// made for another login is dropped and the stage connects itself.
TEST_F(FtpStageTest, ConnectionsMadeAheadAreTakenOverWhenTheyFit)
{
    startServer();
    const auto logins = [this] { return server.commands().count("USER cam"); };
    const auto dialed = [this](const FtpJob& j) {
        std::unique_ptr<FtpDial> dial = stage.dialAhead(j);
        EXPECT_TRUE(QTest::qWaitFor([&dial] { return dial->isDone(); }, 5000));
        return dial;
    };
    FtpJob j = job();
    EXPECT_TRUE(runStage(stage, j, dialed(j)).textFileUploaded);
    EXPECT_EQ(logins(), 1);
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host));

    FtpJob wrong = job();
    wrong.password = "wrong";
    std::unique_ptr<FtpDial> refused = dialed(wrong);
    EXPECT_FALSE(refused->outcome().ok);
    EXPECT_FALSE(runStage(stage, wrong, std::move(refused)).connected);
    EXPECT_EQ(logins(), 2);
    EXPECT_EQ(lastEntry(log), connectFailureEntry({"Server: 530 Authentication failed."}));

    EXPECT_TRUE(runStage(stage, j, dialed(wrong)).pictureUploaded);
    EXPECT_EQ(logins(), 4) << "the dial for another login and the stage's own";
}

// cancel() ends the stage at once wherever it waits. A file that was on its way does not stay
// under its name; with a safe replace the old file stays as it was. No box, also for Upload Now.
TEST_F(FtpStageTest, CancelEndsAtOnceAndLeavesNothingPartialBehind)
{
    const QByteArray old = "the picture from before";
    writeFile(local.file("big.jpg"), binaryPicture(8 * 1024 * 1024));
    const struct
    {
        const char* what;
        FtpServer::Options options;
        bool safeReplace;
        QStringList entry;
    } cases[] = {
        {"connecting",
         {.mute = true},
         false,
         {"Connecting...", "Couldn't connect to server", "Cancelled", "No picture uploaded"}},
        {"storing", {.readLimit = 256 * 1024}, false, {}},
        {"storing with safe replace", {.readLimit = 256 * 1024}, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startServer(c.options);
        if (!c.options.mute)
            writeFile(server.homeFile("www/cam1.jpg"), old);
        FtpJob j = job();
        j.localPicturePath = local.file("big.jpg");
        j.safeReplace = c.safeReplace;
        j.scheduled = false;
        StageClock clock(stage);
        ASSERT_TRUE(stage.start(j));
        if (c.options.mute)
            QTest::qWait(300);
        else
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return QFileInfo(server.homeFile(c.safeReplace ? "www/.cam1.jpg.part" : "www/cam1.jpg"))
                               .size() > old.size();
                },
                10000));
        clock.restart();
        stage.cancel();
        ASSERT_TRUE(clock.waitForEnd(3000));
        EXPECT_LT(clock.ended, 1500);
        EXPECT_TRUE(clock.result->cancelled);
        EXPECT_FALSE(clock.result->pictureUploaded || clock.result->textFileUploaded);
        const QStringList expected =
            c.entry.isEmpty() ? connectedEntry(j.host, {"Couldn't upload", "Cancelled"}, {}) : c.entry;
        EXPECT_EQ(lastEntry(log), expected);
        EXPECT_TRUE(prompter.texts().isEmpty());
        EXPECT_EQ(stage.hConnection, 0u);
        if (!c.options.mute) {
            EXPECT_EQ(wwwFiles(), c.safeReplace ? QStringList{"cam1.jpg"} : QStringList{});
            if (c.safeReplace) {
                EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), old);
            }
        }
    }
}

// At the end of the program the removal of what a cancelled put left gets the time left until the
// end, not a fixed short limit: a server that takes a second to greet each connection still has the
// piece removed, and the stage ends before the end of the program.
TEST_F(FtpStageTest, ALeftoverIsRemovedInTheTimeLeftBeforeTheEnd)
{
    writeFile(local.file("big.jpg"), binaryPicture(8 * 1024 * 1024));
    for (const bool safeReplace : {false, true}) {
        SCOPED_TRACE(safeReplace ? "safe replace" : "plain");
        startServer({.readLimit = 256 * 1024, .slowGreetingMs = 1000});
        FtpJob j = job();
        j.localPicturePath = local.file("big.jpg");
        j.safeReplace = safeReplace;
        StageClock clock(stage);
        ASSERT_TRUE(stage.start(j));
        const QString partial = server.homeFile(safeReplace ? "www/.cam1.jpg.part" : "www/cam1.jpg");
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(partial).size() > 0; }, 10000));
        clock.restart();
        stage.cancel(QDeadlineTimer(1400ms));
        ASSERT_TRUE(clock.waitForEnd(3000));
        EXPECT_GE(clock.ended, 1000) << "the removal waited for the greeting";
        EXPECT_LT(clock.ended, 1500);
        EXPECT_TRUE(clock.result->cancelled);
        EXPECT_EQ(wwwFiles(), QStringList{});
        EXPECT_EQ(commandNames().count("DELE"), 1);
        EXPECT_EQ(stage.hConnection, 0u);
    }
}
} // namespace

namespace {
const QString kFffd = QString(QChar(QChar::ReplacementCharacter));

// Whatever a server answers, every line of it is marked as the server's, and none can break a
// line, move the cursor or colour a terminal. Temporary (4xx) refusals are logged as refusals.
TEST_F(FtpStageTest, ServerRepliesAreMarkedLineByLineAndFiltered)
{
    const struct
    {
        QString reply; // as the server sends it, in Python's escapes
        QStringList logged;
    } cases[] = {
        {"553-Refused.\\r\\nPicture uploaded!\\r\\nDisconnected\\r\\n553 End.",
         {"Server: 553-Refused.", "Server: Picture uploaded!", "Server: Disconnected", "Server: 553 End."}},
        {"450 Busy\\x1b[2J\\x1b]0;owned\\x07 now\\u0085\\u009b1mX\\rPicture uploaded!",
         {"Server: 450 Busy" + kFffd + kFffd + " now" + kFffd + kFffd + "X" + kFffd + "Picture uploaded!"}},
        {"421 Too many users, closing.", {"Server: 421 Too many users, closing."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        startServer({.storReply = c.reply});
        FtpJob j = job();
        j.textFile = false;
        const FtpResult result = runStage(stage, j);
        EXPECT_TRUE(result.connected);
        EXPECT_FALSE(result.pictureUploaded);
        EXPECT_EQ(lastEntry(log), connectedEntry(j.host, QStringList{"Couldn't upload"} + c.logged, {}));
    }
}

// Without SIZE the size comes from MLST's size fact or from a LIST of the one file; where nothing
// can tell, the log says so. A server that kept 4,000 bytes and said 226 delivered nothing; so did
// one that holds more bytes than were sent.
TEST_F(FtpStageTest, SizesAreCheckedWithoutSizeOrSaidToBeUnchecked)
{
    const QString mismatch =
        QString("Size mismatch: %1 bytes sent, 4000 bytes on the server").arg(picture.size());
    const QString grown = QString("Size mismatch: %1 bytes sent, %2 bytes on the server")
                              .arg(picture.size())
                              .arg(picture.size() + 100);
    const struct
    {
        const char* what;
        FtpServer::Options options;
        bool safeReplace;
        QStringList picture;
        QString asked;
    } cases[] = {
        {"MLST", {.noSize = true, .keepBytes = 4000}, false, {mismatch, "Couldn't upload"}, "MLST"},
        {"MLST, safe replace",
         {.noSize = true, .keepBytes = 4000},
         true,
         {mismatch, "Couldn't upload"},
         "MLST"},
        {"LIST",
         {.noSize = true, .noMlst = true, .keepBytes = 4000},
         false,
         {mismatch, "Couldn't upload"},
         "LIST"},
        {"nothing",
         {.noSize = true, .noMlst = true, .noList = true},
         false,
         {"Size not checked", "Picture uploaded!"},
         "LIST"},
        {"larger, by SIZE", {.growStored = 100}, false, {grown, "Couldn't upload"}, "SIZE"},
        {"larger, by MLST, safe replace",
         {.noSize = true, .growStored = 100},
         true,
         {grown, "Couldn't upload"},
         "MLST"},
        {"larger, by LIST",
         {.noSize = true, .noMlst = true, .growStored = 100},
         false,
         {grown, "Couldn't upload"},
         "LIST"},
        {"whole, by MLST", {.noSize = true}, false, {"Picture uploaded!"}, "MLST"},
        {"whole, by LIST",
         {.noSize = true, .noMlst = true},
         true,
         {"Renaming...", "Picture uploaded!"},
         "LIST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startServer(c.options);
        writeFile(server.homeFile("www/cam1.jpg"), "the picture from before");
        FtpJob j = job();
        j.textFile = false;
        j.safeReplace = c.safeReplace;
        const FtpResult result = runStage(stage, j);
        EXPECT_EQ(lastEntry(log), connectedEntry(j.host, c.picture, {}));
        EXPECT_EQ(result.pictureUploaded, c.picture.last() == "Picture uploaded!");
        EXPECT_TRUE(commandNames().contains(c.asked));
        if (c.safeReplace && !result.pictureUploaded) {
            EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), "the picture from before");
        }
        EXPECT_EQ(stage.hConnection, 0u);
    }
}

// What the client knows of a failure it says in one line of its own, never labelled "Server: ".
TEST_F(FtpStageTest, FailuresWithoutAReplyGiveTheReasonTheClientKnows)
{
    startServer({.closedPassive = true});
    FtpJob j = job();
    j.connection.passive = true;
    runStage(stage, j);
    const QStringList entry = lastEntry(log);
    ASSERT_EQ(entry.size(), 10) << entry.join('|').toStdString();
    const QRegularExpression dataPort("^Could not open the data connection to port [0-9]+$");
    EXPECT_TRUE(dataPort.match(entry[4]).hasMatch()) << entry[4].toStdString();
    EXPECT_TRUE(dataPort.match(entry[7]).hasMatch()) << entry[7].toStdString();

    startServer({.stallAt = "SIZE"});
    runStage(stage, job());
    EXPECT_EQ(lastEntry(log),
              connectedEntry(server.hostField(),
                             {"Couldn't upload", "Timed out after 1 s waiting for the server"},
                             {"Uploading Textfile", "Couldn't upload Textfile", kNotTried}));
    EXPECT_FALSE(log.text().contains("Server: "));
}
} // namespace
