#include "QtPrinters.h"
#include "ScriptedPrompter.h"
#include "SshServer.h"
#include "TempDir.h"
#include "upload/FtpClient.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// SFTP uploads against OpenSSH's sshd on the loopback interface: key and password logins, the
// host-key check against a known_hosts file of the test's own, size checks and safe replace.
namespace {
FtpTimeouts shortTimeouts()
{
    FtpTimeouts timeouts;
    timeouts.connect = 5s;
    timeouts.response = 5s;
    timeouts.stage = 30s;
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

class SftpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.start())
            GTEST_SKIP() << "sshd could not run here: " << server.startError().toStdString();
        for (int i = 0; i < 25000; ++i)
            picture.append(static_cast<char>(i * 13 + i / 5));
        writeFile(local.file(QStringLiteral("webcam.jpg")), picture);
        writeFile(local.file(QStringLiteral("time.txt")), "06.12.2026 07:15:00\r\n");
    }

    void trustServer() { writeFile(knownHosts(), server.knownHostsLine().toLatin1()); }
    QString knownHosts() const { return local.file(QStringLiteral("known_hosts")); }

    FtpClient::Settings settings() const
    {
        FtpClient::Settings s;
        s.protocol = FtpClient::Protocol::Sftp;
        s.keyFile = server.clientKeyFile();
        s.knownHostsFile = knownHosts();
        return s;
    }

    FtpJob job() const
    {
        FtpJob j;
        j.host = server.hostField();
        j.user = server.user();
        j.remotePicturePath = remote(QStringLiteral("cam1.jpg"));
        j.remoteTimePath = remote(QStringLiteral("time.txt"));
        j.localPicturePath = local.file(QStringLiteral("webcam.jpg"));
        j.localTimePath = local.file(QStringLiteral("time.txt"));
        j.textFile = true;
        j.scheduled = true;
        j.connection = settings();
        return j;
    }
    QString remote(const QString& name) const { return server.remoteFolder() + QLatin1Char('/') + name; }
    QStringList remoteEntries() const
    {
        return QDir(server.remoteFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QStringList lastEntry() const
    {
        const QString text = log.text();
        QStringList lines = text.mid(text.lastIndexOf(FtpLog::kEntryStart) + FtpLog::kEntryStart.size())
                                .split(QStringLiteral("\r\n"));
        lines.removeFirst();
        return lines;
    }

    SshServer server;
    TempDir local;
    QByteArray picture;
    FtpLog log;
    ScriptedPrompter prompter;
};

TEST_F(SftpTest, AKeyLoginUploadsAndReplacesSafely)
{
    trustServer();
    writeFile(remote(QStringLiteral("cam1.jpg")), "old picture");
    FtpJob j = job();
    j.safeReplace = true;
    FtpStage stage(log, prompter, shortTimeouts());
    const FtpResult result = stage.run(j);
    EXPECT_TRUE(result.pictureUploaded) << log.text().toStdString();
    EXPECT_TRUE(result.textFileUploaded);
    EXPECT_EQ(lastEntry(),
              (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Connected to ") + j.host,
                           QStringLiteral("Uploading..."), QStringLiteral("Renaming..."),
                           QStringLiteral("Picture uploaded!"), QStringLiteral("Uploading Textfile"),
                           QStringLiteral("Renaming..."), QStringLiteral("Textfile uploaded"),
                           QStringLiteral("Disconnecting..."), QStringLiteral("Disconnected")}));
    EXPECT_EQ(readFile(remote(QStringLiteral("cam1.jpg"))), picture);
    EXPECT_EQ(remoteEntries(), (QStringList{QStringLiteral("cam1.jpg"), QStringLiteral("time.txt")}));

    FtpClient client(shortTimeouts(), settings());
    ASSERT_TRUE(client.connect(server.hostField(), server.user(), QString()));
    EXPECT_EQ(client.remoteSize(remote(QStringLiteral("cam1.jpg"))), picture.size());
    EXPECT_FALSE(client.remoteSize(remote(QStringLiteral("none.jpg"))).has_value());
    EXPECT_NE(client.lastError(), FtpClient::Error::None);
    EXPECT_TRUE(client.remove(remote(QStringLiteral("time.txt"))));
    EXPECT_FALSE(client.rename(remote(QStringLiteral("none.jpg")), remote(QStringLiteral("x.jpg"))));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_FALSE(client.lastReply().isEmpty());
    EXPECT_EQ(remoteEntries(), QStringList{QStringLiteral("cam1.jpg")});
}

TEST_F(SftpTest, WrongKeysAndPasswordsAreRefused)
{
    trustServer();
    FtpClient::Settings stranger = settings();
    stranger.keyFile = server.strangerKeyFile();
    FtpClient client(shortTimeouts(), stranger);
    EXPECT_FALSE(client.connect(server.hostField(), server.user(), QString()));

    // A password login reaches sshd and is refused for a wrong password. (The right one cannot
    // be tested: it would be the account password of the user running the tests.)
    FtpClient::Settings password = settings();
    password.keyFile.clear();
    FtpClient withPassword(shortTimeouts(), password);
    EXPECT_FALSE(withPassword.connect(server.hostField(), server.user(), QStringLiteral("not the password")));
    EXPECT_NE(withPassword.lastError(), FtpClient::Error::HostKeyRefused);
    EXPECT_TRUE(remoteEntries().isEmpty());
}

TEST_F(SftpTest, AnUnknownHostKeyIsRefusedUntilTheUserTrustsIt)
{
    FtpStage stage(log, prompter, shortTimeouts());
    EXPECT_FALSE(stage.run(job()).connected);
    EXPECT_EQ(lastEntry(),
              (QStringList{QStringLiteral("Connecting..."), QStringLiteral("Couldn't connect to server"),
                           QStringLiteral("Unknown host key: ") + server.hostKeyFingerprint() +
                               QStringLiteral(" is not in known_hosts (trust it with Test in "
                                              "Upload Settings)"),
                           QStringLiteral("No picture uploaded")}));
    EXPECT_FALSE(QFile::exists(knownHosts()));

    // Only the fingerprint that was shown is added; another one changes nothing.
    FtpClient::Settings trusting = settings();
    trusting.addHostKey = QStringLiteral("SHA256:somethingelse");
    FtpClient wrong(shortTimeouts(), trusting);
    EXPECT_FALSE(wrong.connect(server.hostField(), server.user(), QString()));
    EXPECT_EQ(wrong.lastError(), FtpClient::Error::HostKeyRefused);
    EXPECT_EQ(wrong.hostKeyFingerprint(), server.hostKeyFingerprint());

    trusting.addHostKey = server.hostKeyFingerprint();
    FtpClient client(shortTimeouts(), trusting);
    EXPECT_TRUE(client.connect(server.hostField(), server.user(), QString()))
        << client.failureText().toStdString();
    client.close();
    EXPECT_TRUE(readFile(knownHosts()).contains("127.0.0.1")) << readFile(knownHosts()).toStdString();
    EXPECT_TRUE(stage.run(job()).textFileUploaded) << log.text().toStdString();
}

TEST_F(SftpTest, AChangedHostKeyIsRefused)
{
    writeFile(knownHosts(), server.foreignKnownHostsLine().toLatin1());
    FtpClient::Settings s = settings();
    s.addHostKey = server.hostKeyFingerprint(); // never adds over a different known key
    FtpClient client(shortTimeouts(), s);
    EXPECT_FALSE(client.connect(server.hostField(), server.user(), QString()));
    EXPECT_EQ(client.lastError(), FtpClient::Error::HostKeyRefused);
    EXPECT_EQ(client.hostKeyProblem(), FtpClient::HostKeyProblem::Changed);
    EXPECT_TRUE(remoteEntries().isEmpty());
}
} // namespace
