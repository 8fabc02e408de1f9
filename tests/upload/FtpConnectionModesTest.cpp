#include "StageFixture.h"
#include "upload/DestinationSessions.h"

// Passive and active data connections, explicit TLS, size checks and safe replace.
namespace {
using FtpConnectionModesTest = StageFixture;

TEST_F(FtpConnectionModesTest, PassiveAndActiveEachReachAServerThatOffersOnlyThatMode)
{
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        startServer(
            {.dataMode = passive ? FtpServer::DataMode::PassiveOnly : FtpServer::DataMode::ActiveOnly});
        FtpJob j = job();
        j.connection.passive = passive;
        EXPECT_TRUE(runStage(stage, j).textFileUploaded);
        EXPECT_EQ(lastEntry(log), connectedEntry(j.host));
        EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), picture);
        EXPECT_EQ(commandNames().contains("EPSV") || commandNames().contains("PASV"), passive);

        j.connection.passive = !passive;
        EXPECT_FALSE(runStage(stage, j).pictureUploaded) << "the mode the server does not offer";
    }
}

TEST_F(FtpConnectionModesTest, AFileThatArrivedShortIsNotReportedAsUploaded)
{
    startServer({.truncateStored = true});
    const FtpResult result = runStage(stage, job());
    EXPECT_TRUE(result.connected);
    EXPECT_FALSE(result.pictureUploaded || result.textFileUploaded);
    const QString pictureMismatch = QString("Size mismatch: %1 bytes sent, %2 bytes on the server")
                                        .arg(picture.size())
                                        .arg(picture.size() - 1);
    EXPECT_EQ(lastEntry(log),
              connectedEntry(server.hostField(), {pictureMismatch, "Couldn't upload"},
                             {"Uploading Textfile", "Size mismatch: 21 bytes sent, 20 bytes on the server",
                              "Couldn't upload Textfile"}));
    EXPECT_TRUE(prompter.shown().empty());

    // Where the server cannot tell the size, the upload stands as it did.
    startServer({.noSize = true});
    EXPECT_TRUE(runStage(stage, job()).textFileUploaded);
    EXPECT_EQ(lastEntry(log), connectedEntry(server.hostField()));
}

TEST_F(FtpConnectionModesTest, SafeReplaceSwapsInTheNewPictureOrKeepsTheOldOne)
{
    const struct
    {
        const char* what;
        FtpServer::Options options;
        QStringList pictureLines;
    } cases[] = {
        {"rename allowed", {}, {"Renaming...", "Picture uploaded!"}},
        {"rename refused",
         {.refuseRename = true},
         {"Renaming...", "Couldn't rename", "Couldn't upload", "Server: 550 Renaming is not allowed here."}},
        // Such a server takes the new picture once the old one has stepped aside.
        {"rename onto an existing file refused",
         {.refuseRenameOver = true},
         {"Renaming...",
          "The server does not rename onto an existing file: the old file was removed first, then the new "
          "one renamed",
          "Picture uploaded!"}},
        {"arrived short",
         {.truncateStored = true},
         {"Size mismatch: 40960 bytes sent, 40959 bytes on the server", "Couldn't upload"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startServer(c.options);
        writeFile(server.homeFile("www/cam1.jpg"), "old picture");
        FtpJob j = job();
        j.safeReplace = true;
        j.textFile = false;
        const bool replaced = runStage(stage, j).pictureUploaded;
        EXPECT_EQ(lastEntry(log), connectedEntry(j.host, c.pictureLines, {}));
        EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), replaced ? picture : QByteArray("old picture"));
        EXPECT_EQ(wwwFiles(), QStringList{"cam1.jpg"}) << "no temporary file left";
        EXPECT_TRUE(server.commands().contains("STOR /www/.cam1.jpg.part"));
        EXPECT_EQ(server.commands().contains("RNTO /www/cam1.jpg"), c.options.refuseRename || replaced);
    }
}

// A server that refuses every rename: the first upload (no old file to step aside) gives the
// refusal's reason, not the answer to moving a file that is not there.
TEST_F(FtpConnectionModesTest, ARefusedRenameIsReportedWithItsOwnReasonWhenThereIsNoOldFile)
{
    startServer({.refuseRename = true});
    FtpJob j = job();
    j.safeReplace = true;
    j.textFile = false;
    EXPECT_FALSE(runStage(stage, j).pictureUploaded);
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host,
                                             {"Renaming...", "Couldn't rename", "Couldn't upload",
                                              "Server: 550 Renaming is not allowed here."},
                                             {}));
    EXPECT_EQ(wwwFiles(), QStringList{}) << "no temporary file left";
}

TEST_F(FtpConnectionModesTest, ASafeReplaceOnAServerThatDoesNotRenameOntoAFileSaysSoOnce)
{
    startServer({.refuseRenameOver = true});
    writeFile(server.homeFile("www/cam1.jpg"), "old picture");
    FtpJob j = job();
    j.safeReplace = true;
    j.textFile = false;
    for (int n = 0; n < 3; ++n)
        EXPECT_TRUE(runStage(stage, j).pictureUploaded);
    EXPECT_EQ(log.text().count("does not rename onto an existing file"), 1) << "said once, not every time";
    EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), picture);
    EXPECT_EQ(wwwFiles(), QStringList{"cam1.jpg"}) << "nothing left aside";
}

class FtpsTest : public StageFixture
{
protected:
    void SetUp() override
    {
        StageFixture::SetUp();
        QString error;
        certificate = FtpServer::makeCertificate(certificates.path(), &error);
        ASSERT_FALSE(certificate.isEmpty()) << error.toStdString();
        startServer({.tlsCertificate = certificate});
    }
    FtpJob tlsJob(bool verify) const
    {
        FtpJob j = job();
        j.connection.protocol = Account::Protocol::Ftps;
        j.connection.verifyPeer = verify;
        return j;
    }

    TempDir certificates;
    QString certificate;
};

TEST_F(FtpsTest, PlainFtpIsRefusedAndFilesTravelOverTls)
{
    EXPECT_FALSE(runStage(stage, job()).connected);
    const QStringList entry = lastEntry(log);
    ASSERT_EQ(entry.size(), 4);
    EXPECT_EQ(entry.mid(0, 2) + entry.mid(3), connectFailureEntry());
    EXPECT_TRUE(entry[2].startsWith("Server: 550 SSL/TLS required")) << entry[2].toStdString();

    FtpJob j = tlsJob(false);
    j.connection.passive = true;
    const FtpResult result = runStage(stage, j);
    EXPECT_TRUE(result.pictureUploaded && result.textFileUploaded) << log.text().toStdString();
    EXPECT_EQ(readFile(server.homeFile("www/cam1.jpg")), picture);
    const QStringList commands = server.commands();
    EXPECT_TRUE(commands.contains("AUTH SSL") || commands.contains("AUTH TLS"));
    EXPECT_TRUE(commands.contains("PROT P"));
}

TEST_F(FtpsTest, OnlyCertificatesOfATrustedAuthorityAreAccepted)
{
    EXPECT_FALSE(runStage(stage, tlsJob(true)).connected);
    const QStringList entry = lastEntry(log);
    ASSERT_EQ(entry.size(), 4);
    EXPECT_EQ(entry.mid(0, 2) + entry.mid(3), connectFailureEntry());
    EXPECT_TRUE(entry[2].startsWith("Certificate refused: ")) << entry[2].toStdString();

    DestinationSession::Settings settings = tlsJob(true).connection;
    settings.caFile = certificates.file("server.crt");
    const auto session = DestinationSessions::create(timeouts(), settings);
    EXPECT_TRUE(session->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword))
        << session->failureText().toStdString();

    TempDir elsewhere;
    settings.caFile = FtpServer::makeCertificate(elsewhere.path());
    const Result<void> refused = DestinationSessions::create(timeouts(), settings)
                                     ->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword);
    ASSERT_FALSE(refused);
    EXPECT_EQ(DestinationSession::errorOf(refused.failure()), DestinationSession::Error::CertificateRefused);
    EXPECT_TRUE(refused.failure().sentence.startsWith("Certificate refused: "))
        << refused.failure().sentence.toStdString();
}

// libcurl's words on a certificate carry the certificate's own names: they reach the log as one
// line, with the escape sequences of a hostile name made harmless.
TEST_F(FtpsTest, ACertificateNameCannotSteerTheLog)
{
    TempDir hostile;
    QString error;
    const QString pem =
        FtpServer::makeCertificate(hostile.path(), &error, "evil\x1b[2J\x1b]0;owned\x07\u0085name");
    ASSERT_FALSE(pem.isEmpty()) << error.toStdString();
    startServer({.tlsCertificate = pem});
    FtpJob j = tlsJob(true);
    j.connection.caFile = hostile.file("server.crt");
    EXPECT_FALSE(runStage(stage, j).connected);
    const QStringList entry = lastEntry(log);
    ASSERT_EQ(entry.size(), 4) << entry.join('|').toStdString();
    EXPECT_TRUE(entry[2].startsWith("Certificate refused: ")) << entry[2].toStdString();
    const QString fffd(QChar::ReplacementCharacter);
    EXPECT_TRUE(entry[2].contains("'evil" + fffd + fffd + fffd + "name'")) << entry[2].toStdString();
}
} // namespace
