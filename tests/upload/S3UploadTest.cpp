#include "S3Server.h"
#include "ScriptedPrompter.h"
#include "SetClock.h"
#include "StageFixture.h"
#include "UploadRig.h"
#include "settings/Account.h"
#include "upload/ConnectionTest.h"
#include "upload/DestinationSessions.h"

#include <QDate>
#include <QElapsedTimer>

#include <gtest/gtest.h>

// The upload cycle, the archive clean-up and "Test" over S3: the same stage and the same log as for
// FTP, through the session interface, on s3rver behind a front that checks every signature.
namespace {
using Outcome = UploadCycle::Outcome;

// Requests of the log, as "METHOD target status".
QStringList requestLines(const QList<HttpRequestLog::Entry>& entries)
{
    QStringList lines;
    for (const HttpRequestLog::Entry& e : entries)
        lines << QStringLiteral("%1 %2 %3").arg(e.method, e.target).arg(e.status);
    return lines;
}

class S3UploadTest : public ::testing::Test
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
        ASSERT_TRUE(server.putObject("www/webcam.jpg", "the old picture"));
        set("Safe replace", "0");
        set("Protocol", "S3");
        set("Host Name/Adress:", server.endpoint());
        set("User ID:", S3Server::kAccessKey);
        set("Password:", S3Server::kSecretKey);
        set("Remember password", "1");
        set("Initial Remote Site Folder:", "/www/");
        set("Bucket", S3Server::kBucket);
        set("Region", S3Server::kRegion);
        set("Path style", "1");
        set("Public read", "0");
    }
    void set(const QString& name, const QString& value)
    {
        rig.saveAccount(AccountBook::kDefaultAccount, name, value);
    }

    S3Server server;
    UploadRig rig;
};

// A PUT replaces an object all at once: with "Safe replace" too the picture goes straight to its
// name, with no temporary name and no copy.
TEST_F(S3UploadTest, ACyclePutsThePictureStraightToItsNameWithAndWithoutSafeReplace)
{
    rig.saveOption("TextTimeName", "time.txt");
    rig.saveOption("Keep", "1");
    set("TextTime", "1");
    const struct
    {
        bool safeReplace;
        bool publicRead;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.safeReplace ? "safe replace, public" : "plain");
        set("Safe replace", c.safeReplace ? "1" : "0");
        set("Public read", c.publicRead ? "1" : "0");
        rig.load();
        const qsizetype before = server.requests().size();

        EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);

        EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.endpoint(), {"Picture uploaded!"},
                                                     {"Uploading Textfile", "Textfile uploaded"}));
        const QByteArray sent = server.object("www/webcam.jpg");
        EXPECT_EQ(sent, readFile(rig.workFile(UploadCycle::kJpegFile)));
        EXPECT_TRUE(sent.startsWith("\xff\xd8")) << "a JPEG";
        EXPECT_TRUE(server.object("www/time.txt").endsWith("\r\n"));
        EXPECT_EQ(server.keys(), (QStringList{"www/time.txt", "www/webcam.jpg"}));

        const QList<HttpRequestLog::Entry> entries = server.requests().mid(before);
        EXPECT_EQ(requestLines(entries),
                  (QStringList{"GET /webcam?list-type=2&max-keys=1 200", "PUT /webcam/www/webcam.jpg 200",
                               "HEAD /webcam/www/webcam.jpg 200", "PUT /webcam/www/time.txt 200",
                               "HEAD /webcam/www/time.txt 200"}));
        for (const HttpRequestLog::Entry& e : entries) {
            if (e.method != QStringLiteral("PUT"))
                continue;
            SCOPED_TRACE(e.target.toStdString());
            EXPECT_EQ(e.fields.value("Content-Type"),
                      e.target.contains(".jpg") ? "image/jpeg" : "text/plain");
            EXPECT_EQ(e.fields.value("Cache-Control"), "no-cache");
            EXPECT_EQ(e.fields.value("x-amz-acl"), c.publicRead ? "public-read" : QString());
        }
    }
    EXPECT_FALSE(rig.log.text().contains(S3Server::kSecretKey));
}

TEST_F(S3UploadTest, RefusalsAreLoggedWithTheStatusAndS3sWords)
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
        {"wrong secret", "Password:", "not-the-secret", Outcome::NotConnected,
         connectFailureEntry(
             {"Server: 403 Forbidden",
              "Server: SignatureDoesNotMatch: The request signature we calculated does not match the "
              "signature you provided. Check your key and signing method.",
              "Access refused for the access key \"VELMORAKEY\": check the access key and the "
              "secret key"})},
        {"read-only folder", "Initial Remote Site Folder:", "ro/", Outcome::Failed,
         connectedEntry(server.endpoint(),
                        {"Couldn't upload", "Server: 403 Forbidden", "Server: AccessDenied: Access Denied",
                         "Access refused for the access key \"VELMORAKEY\": the bucket's permissions do not "
                         "allow this"},
                        {})},
        {"full disk", "Initial Remote Site Folder:", "full/", Outcome::Failed,
         connectedEntry(server.endpoint(),
                        {"Couldn't upload", "Server: 507 Insufficient Storage",
                         "Server: XMinioStorageFull: Storage backend has reached its minimum free drive "
                         "threshold. Please delete a few objects to proceed."},
                        {})},
        {"short file", "Initial Remote Site Folder:", "short/", Outcome::Failed,
         connectedEntry(server.endpoint(),
                        {"Size mismatch: %1 bytes sent, %2 bytes on the server", "Couldn't upload"}, {})},
        {"no bucket", "Bucket", "", Outcome::NotConnected,
         connectFailureEntry({"No bucket given: S3 needs the name of the bucket"})},
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
        EXPECT_EQ(server.object("www/webcam.jpg"), "the old picture");
    }
    EXPECT_FALSE(rig.log.text().contains(S3Server::kSecretKey));
    EXPECT_FALSE(rig.log.text().contains("not-the-secret"));
}

TEST_F(S3UploadTest, OldArchiveCopiesAreListedAndRemovedOverS3)
{
    for (const QString name : {"cam-20260401-000000.jpg", "cam-20260505-120000.jpg", "notes.txt"})
        ASSERT_TRUE(server.putObject("www/" + name, "old"));
    ASSERT_TRUE(server.putObject("www/cam-20260301-000000.jpg/inside.jpg", "below a prefix: stays"));
    set("Archive on server", "1");
    set("Archive days", "7");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(lastEntry(rig.log),
              connectedEntry(server.endpoint(), {"Picture uploaded!"},
                             {"Uploading archive copy", "Archive copy uploaded",
                              "Removing old archive copies", "Removed 1 old archive copies"}));
    EXPECT_EQ(server.keys(),
              (QStringList{"www/cam-20260301-000000.jpg/inside.jpg", "www/cam-20260505-120000.jpg",
                           "www/cam-20260510-120000.jpg", "www/notes.txt", "www/webcam.jpg"}));
    EXPECT_EQ(server.object("www/cam-20260510-120000.jpg"), server.object("www/webcam.jpg"));
}

// A stop while the server takes its time to answer a PUT ends the stage at once; the old picture
// stays whole and nothing is removed afterwards, as an S3 PUT stores all or nothing.
TEST(S3UploadStop, ACancelDuringASlowPutEndsTheStageInTimeAndKeepsTheOldPicture)
{
    S3Server server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    ASSERT_TRUE(server.putObject("slow/webcam.jpg", "the old picture"));
    TempDir local;
    writeFile(local.file("webcam.jpg"), QByteArray(64 * 1024, 'p'));
    FtpLog log;
    ScriptedPrompter prompter;
    FtpStage stage(log, prompter, {.connect = 2000ms, .response = 10000ms, .stage = 30s, .quit = 500ms});
    FtpJob job;
    job.host = server.endpoint();
    job.user = S3Server::kAccessKey;
    job.password = S3Server::kSecretKey;
    job.connection.protocol = Account::Protocol::S3;
    job.connection.bucket = S3Server::kBucket;
    job.connection.region = S3Server::kRegion;
    job.remotePicturePath = "slow/webcam.jpg";
    job.localPicturePath = local.file("webcam.jpg");
    job.safeReplace = true;
    job.scheduled = true;

    std::optional<FtpResult> result;
    QObject::connect(&stage, &FtpStage::finished, &stage, [&result](const FtpResult& r) { result = r; });
    ASSERT_TRUE(stage.start(job));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.requests().size() >= 1 && lastEntry(log).contains("Uploading..."); }, 5000));
    QTest::qWait(500);
    QElapsedTimer timer;
    timer.start();
    stage.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(result->cancelled);
    EXPECT_FALSE(result->pictureUploaded);
    EXPECT_EQ(lastEntry(log), connectedEntry(server.endpoint(), {"Couldn't upload", "Cancelled"}, {}));
    EXPECT_EQ(stage.hConnection, 0u);
    QTest::qWait(300);
    EXPECT_EQ(server.object("slow/webcam.jpg"), "the old picture");
    for (const HttpRequestLog::Entry& e : server.requests())
        EXPECT_NE(e.method, "DELETE") << "nothing to clear up";
}

// "Test" over S3: connect, write and remove; with "Safe replace" no rename is needed.
TEST(S3ConnectionTest, TestWritesAndRemovesOrSaysWhyNot)
{
    S3Server server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    ASSERT_TRUE(server.putObject("www/keep.jpg", "kept"));
    const struct
    {
        const char* what;
        const char* folder;
        bool safeReplace;
        QString secret;
        bool passed;
        QStringList lines;
    } cases[] = {
        {"plain",
         "www/",
         false,
         S3Server::kSecretKey,
         true,
         {"Connected to %1 and logged in.", "Wrote and removed a test file in the folder."}},
        {"safe replace",
         "/www/",
         true,
         S3Server::kSecretKey,
         true,
         {"Connected to %1 and logged in.", "Wrote and removed a test file in the folder.",
          "The server replaces a file whole at each upload: \"Safe replace\" needs no rename here."}},
        {"read-only folder",
         "ro/",
         false,
         S3Server::kSecretKey,
         false,
         {"Connected to %1 and logged in.", "Couldn't write a file into the folder \"ro/\".",
          "Server: 403 Forbidden", "Server: AccessDenied: Access Denied",
          "Access refused for the access key \"VELMORAKEY\": the bucket's permissions do not allow this"}},
        {"wrong secret",
         "www/",
         false,
         "not-the-secret",
         false,
         {"Couldn't connect to %1", "Server: 403 Forbidden",
          "Server: SignatureDoesNotMatch: The request signature we calculated does not match the signature "
          "you provided. Check your key and signing method.",
          "Access refused for the access key \"VELMORAKEY\": check the access key and the secret key"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Account account;
        account.protocol = Account::Protocol::S3;
        account.host = server.endpoint();
        account.user = S3Server::kAccessKey;
        account.password = c.secret;
        account.bucket = S3Server::kBucket;
        account.folder = c.folder;
        account.safeReplace = c.safeReplace;
        const auto session =
            DestinationSessions::create(UploadRig::shortTimeouts(), ConnectionTest::settingsFor(account));
        const ConnectionTest::Report report = ConnectionTest::run(*session, account);
        EXPECT_EQ(report.passed, c.passed) << report.text.toStdString();
        QStringList lines = c.lines;
        lines.replaceInStrings("%1", server.endpoint());
        EXPECT_EQ(report.text.split('\n'), lines);
        EXPECT_EQ(server.keys(), QStringList{"www/keep.jpg"}) << "nothing of the test stays on the server";
        EXPECT_FALSE(report.text.contains(c.secret));
    }
}
} // namespace
