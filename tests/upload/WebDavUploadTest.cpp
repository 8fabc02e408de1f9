#include "SetClock.h"
#include "StageFixture.h"
#include "UploadRig.h"
#include "WebDavServer.h"
#include "settings/Account.h"
#include "upload/ConnectionTest.h"
#include "upload/DestinationSessions.h"

#include <QDate>
#include <QElapsedTimer>

#include <gtest/gtest.h>

// The upload cycle, the archive clean-up and "Test" over WebDAV: the same stage and the same log
// as for FTP, through the session interface, on a real Apache.
namespace {
using Outcome = UploadCycle::Outcome;

// Requests of the log with the given methods, as "METHOD target status".
QStringList requestLines(const QList<HttpRequestLog::Entry>& entries, const QStringList& methods)
{
    QStringList lines;
    for (const HttpRequestLog::Entry& e : entries) {
        if (methods.contains(e.method))
            lines << QStringLiteral("%1 %2 %3").arg(e.method, e.target).arg(e.status);
    }
    return lines;
}

class WebDavUploadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        useServer();
    }
    // The account on the server, with the old picture in its folder.
    void useServer()
    {
        ASSERT_TRUE(server.putFile("www/webcam.jpg", "the old picture"));
        set("Safe replace", "0");
        set("Protocol", "WebDAV");
        set("Host Name/Adress:", server.baseUrl());
        set("User ID:", WebDavServer::kUser);
        set("Password:", WebDavServer::kPassword);
        set("Remember password", "1");
        set("Initial Remote Site Folder:", "/www/");
        set("Passive", "0");
    }
    void set(const QString& name, const QString& value)
    {
        rig.saveAccount(AccountBook::kDefaultAccount, name, value);
    }

    WebDavServer server;
    UploadRig rig;
};

TEST_F(WebDavUploadTest, ACycleReplacesThePictureWithItsTypeAndNoCacheWithAndWithoutSafeReplace)
{
    rig.saveOption("TextTimeName", "time.txt");
    rig.saveOption("Keep", "1");
    set("TextTime", "1");
    const struct
    {
        bool safeReplace;
        QStringList pictureLines;
        QStringList textLines;
        QStringList requests;
    } cases[] = {
        {false,
         {"Picture uploaded!"},
         {"Uploading Textfile", "Textfile uploaded"},
         {"PUT /dav/www/webcam.jpg 204", "HEAD /dav/www/webcam.jpg 200", "PUT /dav/www/time.txt 201",
          "HEAD /dav/www/time.txt 200"}},
        {true,
         {"Renaming...", "Picture uploaded!"},
         {"Uploading Textfile", "Renaming...", "Textfile uploaded"},
         {"PUT /dav/www/.webcam.jpg.part 201", "HEAD /dav/www/.webcam.jpg.part 200",
          "MOVE /dav/www/.webcam.jpg.part 204", "PUT /dav/www/.time.txt.part 201",
          "HEAD /dav/www/.time.txt.part 200", "MOVE /dav/www/.time.txt.part 204"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.safeReplace ? "safe replace" : "plain");
        set("Safe replace", c.safeReplace ? "1" : "0");
        rig.load();
        const qsizetype before = server.requests().size();

        EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);

        EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.baseUrl(), c.pictureLines, c.textLines));
        const QByteArray sent = readFile(server.homeFile("www/webcam.jpg"));
        EXPECT_EQ(sent, readFile(rig.workFile(UploadCycle::kJpegFile)));
        EXPECT_TRUE(sent.startsWith("\xff\xd8")) << "a JPEG";
        EXPECT_TRUE(readFile(server.homeFile("www/time.txt")).endsWith("\r\n"));
        EXPECT_EQ(QDir(server.homeFile("www")).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"time.txt", "webcam.jpg"}));

        const QList<HttpRequestLog::Entry> all =
            server.log().waitFor(before + c.requests.size() + 1, 5000, [](const HttpRequestLog::Entry& e) {
                return e.method != QStringLiteral("GET");
            });
        const QList<HttpRequestLog::Entry> entries = all.mid(before);
        QStringList answered;
        for (const QString& line : requestLines(entries, {"PUT", "HEAD", "MOVE"})) {
            if (!line.endsWith(" 401"))
                answered << line;
        }
        EXPECT_EQ(answered, c.requests);
        for (const HttpRequestLog::Entry& e : entries) {
            if (e.method != QStringLiteral("PUT") || e.status == 401)
                continue;
            SCOPED_TRACE(e.target.toStdString());
            EXPECT_EQ(e.fields.value("Content-Type"),
                      e.target.contains(".jpg") ? "image/jpeg" : "text/plain");
            EXPECT_EQ(e.fields.value("Cache-Control"), "no-cache");
        }
        for (const HttpRequestLog::Entry& e : entries) {
            if (e.method == QStringLiteral("MOVE")) {
                EXPECT_EQ(e.fields.value("Overwrite"), "T");
                EXPECT_TRUE(e.fields.value("Destination").startsWith(server.url("www/")));
            }
        }
    }
    EXPECT_FALSE(rig.log.text().contains(WebDavServer::kPassword));
}

TEST_F(WebDavUploadTest, RefusalsAreLoggedWithTheServersStatus)
{
    rig.saveOption("Keep", "1");
    const struct
    {
        const char* what;
        const char* setting;
        QString value;
        Outcome outcome;
        QStringList entry;
    } cases[] = {
        {"wrong password", "Password:", "not-the-password", Outcome::NotConnected,
         connectFailureEntry({"Server: 401 Unauthorized",
                              "Login refused for the user \"cam\": check the user name and password"})},
        {"read-only folder", "Initial Remote Site Folder:", "ro/", Outcome::Failed,
         connectedEntry(server.baseUrl(), {"Couldn't upload", "Server: 403 Forbidden"}, {})},
        {"full disk", "Initial Remote Site Folder:", "full/", Outcome::Failed,
         connectedEntry(server.baseUrl(), {"Couldn't upload", "Server: 507 Insufficient Storage"}, {})},
        {"short file", "Initial Remote Site Folder:", "short/", Outcome::Failed,
         connectedEntry(server.baseUrl(),
                        {"Size mismatch: %1 bytes sent, %2 bytes on the server", "Couldn't upload"}, {})},
        {"missing folder", "Initial Remote Site Folder:", "nowhere/", Outcome::Failed,
         connectedEntry(server.baseUrl(),
                        {"Couldn't upload", "Server: 409 Conflict",
                         "A folder on the way to nowhere/webcam.jpg does not exist on the server"},
                        {})},
        {"not an address", "Host Name/Adress:", server.baseUrl().mid(7), Outcome::NotConnected,
         connectFailureEntry({"Not a WebDAV address: it starts with http:// or https://"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        useServer();
        set(QString::fromUtf8(c.setting), c.value);
        rig.load();
        EXPECT_EQ(rig.runCycle(true), c.outcome);
        QStringList entry = c.entry;
        const qsizetype size = QFileInfo(rig.workFile(UploadCycle::kJpegFile)).size();
        entry.replaceInStrings("%1", QString::number(size)).replaceInStrings("%2", QString::number(size - 1));
        EXPECT_EQ(lastEntry(rig.log), entry);
        EXPECT_EQ(readFile(server.homeFile("www/webcam.jpg")), "the old picture");
    }
    EXPECT_FALSE(rig.log.text().contains(WebDavServer::kPassword));
    EXPECT_FALSE(rig.log.text().contains("not-the-password"));
}

TEST_F(WebDavUploadTest, OldArchiveCopiesAreListedAndRemovedOverWebDav)
{
    const QStringList present{"cam-20260401-000000.jpg", "cam-20260505-120000.jpg", "notes.txt"};
    for (const QString& name : present)
        ASSERT_TRUE(server.putFile("www/" + name, "old"));
    ASSERT_TRUE(server.putFile("www/cam-20260301-000000.jpg/inside.jpg", "a folder by that name stays"));
    set("Archive on server", "1");
    set("Archive days", "7");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(lastEntry(rig.log),
              connectedEntry(server.baseUrl(), {"Picture uploaded!"},
                             {"Uploading archive copy", "Archive copy uploaded",
                              "Removing old archive copies", "Removed 1 old archive copies"}));
    EXPECT_EQ(QDir(server.homeFile("www")).entryList(QDir::Files),
              (QStringList{"cam-20260505-120000.jpg", "cam-20260510-120000.jpg", "notes.txt", "webcam.jpg"}));
    EXPECT_TRUE(QFile::exists(server.homeFile("www/cam-20260301-000000.jpg/inside.jpg")));
    EXPECT_EQ(readFile(server.homeFile("www/cam-20260510-120000.jpg")),
              readFile(server.homeFile("www/webcam.jpg")));
}

// A stop while the server takes its time to answer a PUT ends the stage at once, as for FTP.
TEST(WebDavUploadStop, ACancelDuringASlowPutEndsTheStageInTime)
{
    WebDavServer server;
    WebDavServer::Options options;
    options.slowMs = 20000;
    ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
    TempDir local;
    writeFile(local.file("webcam.jpg"), QByteArray(64 * 1024, 'p'));
    FtpLog log;
    ScriptedPrompter prompter;
    FtpStage stage(log, prompter, {.connect = 2000ms, .response = 10000ms, .stage = 30s, .quit = 500ms});
    FtpJob job;
    job.host = server.baseUrl();
    job.user = WebDavServer::kUser;
    job.password = WebDavServer::kPassword;
    job.connection.protocol = Account::Protocol::WebDav;
    job.remotePicturePath = "slow/webcam.jpg";
    job.localPicturePath = local.file("webcam.jpg");
    job.scheduled = true;

    std::optional<FtpResult> result;
    QObject::connect(&stage, &FtpStage::finished, &stage, [&result](const FtpResult& r) { result = r; });
    ASSERT_TRUE(stage.start(job));
    // The request reaches the server, which answers only after 20 s.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !server.requests().isEmpty() && lastEntry(log).contains("Uploading..."); }, 5000));
    QTest::qWait(500);
    QElapsedTimer timer;
    timer.start();
    stage.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(result->cancelled);
    EXPECT_FALSE(result->pictureUploaded);
    EXPECT_EQ(lastEntry(log), connectedEntry(server.baseUrl(), {"Couldn't upload", "Cancelled"}, {}));
    EXPECT_EQ(stage.hConnection, 0u);
}

// "Test" over WebDAV: the same steps as for FTP, with the server's status where one refused.
TEST(WebDavConnectionTest, TestWritesRenamesAndRemovesOrSaysWhyNot)
{
    const struct
    {
        const char* what;
        WebDavServer::Options options;
        const char* folder;
        bool safeReplace;
        bool passed;
        QStringList lines;
    } cases[] = {
        {"plain",
         {},
         "www/",
         false,
         true,
         {"Connected to %1 and logged in.", "Wrote and removed a test file in the folder."}},
        {"safe replace, Digest",
         {.auth = WebDavServer::Auth::Digest},
         "/www/",
         true,
         true,
         {"Connected to %1 and logged in.", "Wrote and removed a test file in the folder.",
          "Replaced it by a rename, as \"Safe replace\" does."}},
        {"https",
         {.https = true},
         "www/",
         true,
         true,
         {"Connected to %1 and logged in.", "Wrote and removed a test file in the folder.",
          "Replaced it by a rename, as \"Safe replace\" does."}},
        {"read-only folder",
         {},
         "ro/",
         false,
         false,
         {"Connected to %1 and logged in.", "Couldn't write a file into the folder \"ro/\".",
          "Server: 403 Forbidden"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WebDavServer server;
        ASSERT_TRUE(server.start(c.options)) << server.startError().toStdString();
        ASSERT_TRUE(server.putFile("www/keep.jpg", "kept"));
        Account account;
        account.protocol = Account::Protocol::WebDav;
        account.host = server.baseUrl();
        account.user = WebDavServer::kUser;
        account.password = WebDavServer::kPassword;
        account.folder = c.folder;
        account.safeReplace = c.safeReplace;
        account.verifyCertificate = true;
        DestinationSession::Settings settings = ConnectionTest::settingsFor(account);
        settings.caFile = c.options.https ? server.caFile() : QString();
        const auto session = DestinationSessions::create(UploadRig::shortTimeouts(), settings);
        const ConnectionTest::Report report = ConnectionTest::run(*session, account);
        EXPECT_EQ(report.passed, c.passed) << report.text.toStdString();
        QStringList lines = c.lines;
        lines.replaceInStrings("%1", server.baseUrl());
        EXPECT_EQ(report.text.split('\n'), lines);
        EXPECT_EQ(QDir(server.homeFile("www")).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.jpg"})
            << "nothing of the test stays on the server";
        EXPECT_FALSE(report.text.contains(WebDavServer::kPassword));
    }

    // A login refused, and one written into the address, are told without the password.
    WebDavServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    Account account;
    account.protocol = Account::Protocol::WebDav;
    account.user = WebDavServer::kUser;
    account.password = "wrong-password";
    account.host = server.baseUrl();
    const auto session =
        DestinationSessions::create(UploadRig::shortTimeouts(), ConnectionTest::settingsFor(account));
    ConnectionTest::Report report = ConnectionTest::run(*session, account);
    EXPECT_FALSE(report.passed);
    EXPECT_EQ(report.text,
              "Couldn't connect to " + server.baseUrl() +
                  "\nServer: 401 Unauthorized\nLogin refused for the user \"cam\": check the user "
                  "name and password");
    account.host = server.baseUrl().replace("http://", "http://cam:secret-in-url@");
    const auto again =
        DestinationSessions::create(UploadRig::shortTimeouts(), ConnectionTest::settingsFor(account));
    report = ConnectionTest::run(*again, account);
    EXPECT_FALSE(report.passed);
    EXPECT_EQ(report.text, "Couldn't connect to " + server.baseUrl() +
                               "\nThe WebDAV address holds a user name or password: put them into the user "
                               "and password fields instead");
}
} // namespace
