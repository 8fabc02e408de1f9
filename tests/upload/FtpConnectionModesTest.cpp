#include "FtpServer.h"
#include "QtPrinters.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "upload/FtpClient.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// Passive and active data connections, explicit TLS, size checks and safe replace against real
// pyftpdlib servers on the loopback interface.
namespace {
FtpTimeouts shortTimeouts()
{
    FtpTimeouts timeouts;
    timeouts.connect = 3s;
    timeouts.response = 3s;
    timeouts.stage = 20s;
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

QStringList lastEntry(const QString& log)
{
    QStringList lines = log.mid(log.lastIndexOf(FtpLog::kEntryStart) + FtpLog::kEntryStart.size())
                            .split(QStringLiteral("\r\n"));
    if (!lines.isEmpty())
        lines.removeFirst(); // the date header
    return lines;
}

class FtpConnectionModesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int i = 0; i < 30000; ++i)
            picture.append(static_cast<char>(i * 31 + i / 7));
        writeFile(local.file(QStringLiteral("webcam.jpg")), picture);
        writeFile(local.file(QStringLiteral("time.txt")), "06.12.2026 07:15:00\r\n");
    }

    void startServer(const FtpServer::Options& options = {})
    {
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
        ASSERT_TRUE(QDir(server.home()).mkpath(QStringLiteral("www")));
    }

    FtpJob job() const
    {
        FtpJob job;
        job.host = server.hostField();
        job.user = FtpServer::kUser;
        job.password = FtpServer::kPassword;
        job.remotePicturePath = QStringLiteral("/www/cam1.jpg");
        job.remoteTimePath = QStringLiteral("/www/time.txt");
        job.localPicturePath = local.file(QStringLiteral("webcam.jpg"));
        job.localTimePath = local.file(QStringLiteral("time.txt"));
        job.textFile = true;
        job.scheduled = true;
        return job;
    }

    FtpResult runStage(const FtpJob& j)
    {
        FtpStage stage(log, prompter, shortTimeouts());
        return stage.run(j);
    }

    QStringList wwwEntries() const
    {
        return QDir(server.homeFile(QStringLiteral("www"))).entryList(QDir::Files | QDir::Hidden);
    }

    QByteArray picture;
    TempDir local;
    FtpServer server;
    FtpLog log;
    ScriptedPrompter prompter;
};

const QStringList kCompleteEntry{QStringLiteral("Connecting..."),      QStringLiteral("Connected to %1"),
                                 QStringLiteral("Uploading..."),       QStringLiteral("Picture uploaded!"),
                                 QStringLiteral("Uploading Textfile"), QStringLiteral("Textfile uploaded"),
                                 QStringLiteral("Disconnecting..."),   QStringLiteral("Disconnected")};

QStringList completeEntry(const QString& host)
{
    QStringList lines = kCompleteEntry;
    lines[1] = lines[1].arg(host);
    return lines;
}

TEST_F(FtpConnectionModesTest, PassiveAndActiveEachReachAServerThatOffersOnlyThatMode)
{
    startServer([] {
        FtpServer::Options o;
        o.dataMode = FtpServer::DataMode::PassiveOnly;
        return o;
    }());
    FtpJob passive = job();
    EXPECT_FALSE(runStage(passive).pictureUploaded) << "active mode against a passive-only server";
    passive.connection.passive = true;
    EXPECT_TRUE(runStage(passive).textFileUploaded);
    EXPECT_EQ(lastEntry(log.text()), completeEntry(server.hostField()));
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
    EXPECT_TRUE(server.commands().contains(QStringLiteral("EPSV")));

    startServer([] {
        FtpServer::Options o;
        o.dataMode = FtpServer::DataMode::ActiveOnly;
        return o;
    }());
    EXPECT_FALSE(runStage(passive).pictureUploaded) << "passive mode against an active-only server";
    FtpJob active = job();
    EXPECT_TRUE(runStage(active).textFileUploaded);
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
}

TEST_F(FtpConnectionModesTest, RemoteSizeComesFromSizeOrIsUnknown)
{
    startServer();
    FtpClient client(shortTimeouts());
    ASSERT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    ASSERT_TRUE(client.put(local.file(QStringLiteral("webcam.jpg")), QStringLiteral("www/a.jpg")));
    EXPECT_EQ(client.remoteSize(QStringLiteral("www/a.jpg")), picture.size());
    EXPECT_EQ(client.remoteSize(QStringLiteral("/www/a.jpg")), picture.size());
    EXPECT_FALSE(client.remoteSize(QStringLiteral("www/none.jpg")).has_value());
    EXPECT_NE(client.lastError(), FtpClient::Error::None);
    EXPECT_TRUE(client.rename(QStringLiteral("www/a.jpg"), QStringLiteral("www/b.jpg")));
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/b.jpg"))), picture);
    EXPECT_TRUE(client.remove(QStringLiteral("www/b.jpg")));
    EXPECT_TRUE(wwwEntries().isEmpty());
    EXPECT_FALSE(client.remove(QStringLiteral("www/b.jpg")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_EQ(client.connectionCount(), 1);

    startServer([] {
        FtpServer::Options o;
        o.noSize = true;
        return o;
    }());
    FtpClient quiet(shortTimeouts());
    ASSERT_TRUE(quiet.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    ASSERT_TRUE(quiet.put(local.file(QStringLiteral("webcam.jpg")), QStringLiteral("www/a.jpg")));
    EXPECT_FALSE(quiet.remoteSize(QStringLiteral("www/a.jpg")).has_value());
    EXPECT_EQ(quiet.lastError(), FtpClient::Error::None) << "a server without SIZE cannot say";
}

TEST_F(FtpConnectionModesTest, AFileThatArrivedShortIsNotReportedAsUploaded)
{
    startServer([] {
        FtpServer::Options o;
        o.truncateStored = true;
        return o;
    }());
    const FtpResult result = runStage(job());
    EXPECT_TRUE(result.connected);
    EXPECT_FALSE(result.pictureUploaded);
    EXPECT_FALSE(result.textFileUploaded);
    const QString pictureMismatch = QStringLiteral("Size mismatch: %1 bytes sent, %2 bytes on the server")
                                        .arg(picture.size())
                                        .arg(picture.size() - 1);
    EXPECT_EQ(
        lastEntry(log.text()),
        (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + server.hostField(),
                     QStringLiteral("Uploading..."), pictureMismatch, QStringLiteral("Couldn't upload"),
                     QStringLiteral("Uploading Textfile"),
                     QStringLiteral("Size mismatch: 21 bytes sent, 20 bytes on the server"),
                     QStringLiteral("Couldn't upload Textfile"), QStringLiteral("Disconnecting..."),
                     QStringLiteral("Disconnected")}));
    EXPECT_TRUE(prompter.shown().empty());

    // Where the server cannot tell the size, the upload stands as it did.
    startServer([] {
        FtpServer::Options o;
        o.noSize = true;
        return o;
    }());
    EXPECT_TRUE(runStage(job()).textFileUploaded);
    EXPECT_EQ(lastEntry(log.text()), completeEntry(server.hostField()));
}

TEST_F(FtpConnectionModesTest, SafeReplaceRenamesOverTheOldPictureAndLeavesNoTemporaryFile)
{
    startServer();
    writeFile(server.homeFile(QStringLiteral("www/cam1.jpg")), "old picture");
    FtpJob safe = job();
    safe.safeReplace = true;
    safe.connection.passive = true;
    ASSERT_TRUE(runStage(safe).textFileUploaded);
    EXPECT_EQ(
        lastEntry(log.text()),
        (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + server.hostField(),
                     QStringLiteral("Uploading..."), QStringLiteral("Renaming..."),
                     QStringLiteral("Picture uploaded!"), QStringLiteral("Uploading Textfile"),
                     QStringLiteral("Renaming..."), QStringLiteral("Textfile uploaded"),
                     QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
    EXPECT_EQ(wwwEntries(), (QStringList{QStringLiteral("cam1.jpg"), QStringLiteral("time.txt")}));
    const QStringList commands = server.commands();
    EXPECT_TRUE(commands.contains(QStringLiteral("STOR /www/.cam1.jpg.part")));
    EXPECT_TRUE(commands.contains(QStringLiteral("RNFR /www/.cam1.jpg.part")));
    EXPECT_TRUE(commands.contains(QStringLiteral("RNTO /www/cam1.jpg")));
}

TEST_F(FtpConnectionModesTest, AFailedSafeReplaceKeepsTheOldPicture)
{
    startServer([] {
        FtpServer::Options o;
        o.refuseRename = true;
        return o;
    }());
    writeFile(server.homeFile(QStringLiteral("www/cam1.jpg")), "old picture");
    FtpJob safe = job();
    safe.safeReplace = true;
    safe.textFile = false;
    EXPECT_FALSE(runStage(safe).pictureUploaded);
    EXPECT_EQ(
        lastEntry(log.text()),
        (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + server.hostField(),
                     QStringLiteral("Uploading..."), QStringLiteral("Renaming..."),
                     QStringLiteral("Couldn't rename"), QStringLiteral("Couldn't upload"),
                     QStringLiteral("Server: 550 Renaming is not allowed here."),
                     QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), QByteArray("old picture"));
    EXPECT_EQ(wwwEntries(), QStringList{QStringLiteral("cam1.jpg")});

    // A short arrival under the temporary name never replaces the old picture either.
    startServer([] {
        FtpServer::Options o;
        o.truncateStored = true;
        return o;
    }());
    writeFile(server.homeFile(QStringLiteral("www/cam1.jpg")), "old picture");
    safe.host = server.hostField();
    EXPECT_FALSE(runStage(safe).pictureUploaded);
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), QByteArray("old picture"));
    EXPECT_EQ(wwwEntries(), QStringList{QStringLiteral("cam1.jpg")});
}

class FtpsTest : public FtpConnectionModesTest
{
protected:
    void SetUp() override
    {
        FtpConnectionModesTest::SetUp();
        QString error;
        certificate = FtpServer::makeCertificate(certificates.path(), &error);
        ASSERT_FALSE(certificate.isEmpty()) << error.toStdString();
        FtpServer::Options o;
        o.tlsCertificate = certificate;
        startServer(o);
    }
    FtpJob tlsJob(bool verify) const
    {
        FtpJob j = job();
        j.connection.protocol = FtpClient::Protocol::Ftps;
        j.connection.verifyPeer = verify;
        return j;
    }

    TempDir certificates;
    QString certificate;
};

TEST_F(FtpsTest, PlainFtpIsRefusedByAServerThatRequiresTls)
{
    EXPECT_FALSE(runStage(job()).connected);
    const QStringList entry = lastEntry(log.text());
    ASSERT_GE(entry.size(), 3);
    EXPECT_EQ(entry[1], QStringLiteral("Couldn't connect to server"));
    EXPECT_TRUE(entry[2].startsWith(QStringLiteral("Server: 550 SSL/TLS required")))
        << entry[2].toStdString();
}

TEST_F(FtpsTest, ASelfSignedCertificateIsRefusedUnlessVerificationIsOff)
{
    EXPECT_FALSE(runStage(tlsJob(true)).connected);
    const QStringList entry = lastEntry(log.text());
    ASSERT_EQ(entry.size(), 4);
    EXPECT_EQ(entry[1], QStringLiteral("Couldn't connect to server"));
    EXPECT_TRUE(entry[2].startsWith(QStringLiteral("Certificate refused: "))) << entry[2].toStdString();
    EXPECT_EQ(entry[3], QStringLiteral("No picture uploaded"));

    FtpClient client(shortTimeouts(), tlsJob(false).connection);
    EXPECT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword))
        << client.failureText().toStdString();
    client.close();
    EXPECT_TRUE(server.commands().contains(QStringLiteral("AUTH SSL")) ||
                server.commands().contains(QStringLiteral("AUTH TLS")));
    EXPECT_TRUE(server.commands().contains(QStringLiteral("PROT P")));
}

TEST_F(FtpsTest, ACertificateFromATrustedAuthorityIsAccepted)
{
    FtpClient::Settings settings = tlsJob(true).connection;
    settings.caFile = certificates.file(QStringLiteral("server.crt"));
    FtpClient client(shortTimeouts(), settings);
    EXPECT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword))
        << client.failureText().toStdString();
    FtpClient::Settings otherAuthority = settings;
    TempDir elsewhere;
    otherAuthority.caFile = FtpServer::makeCertificate(elsewhere.path());
    FtpClient refused(shortTimeouts(), otherAuthority);
    EXPECT_FALSE(refused.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_EQ(refused.lastError(), FtpClient::Error::CertificateRefused);
}

TEST_F(FtpsTest, FilesTravelOverTlsDataConnections)
{
    FtpJob j = tlsJob(false);
    j.connection.passive = true;
    const FtpResult result = runStage(j);
    EXPECT_TRUE(result.pictureUploaded) << log.text().toStdString();
    EXPECT_TRUE(result.textFileUploaded) << log.text().toStdString();
    EXPECT_EQ(readFile(server.homeFile(QStringLiteral("www/cam1.jpg"))), picture);
}
} // namespace
