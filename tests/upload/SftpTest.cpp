#include "SshServer.h"
#include "StageFixture.h"
#include "upload/FtpClient.h"

// SFTP uploads against OpenSSH's sshd on the loopback interface: key and password logins, the
// host-key check against a known_hosts file of the test's own, size checks and safe replace.
namespace {
class SftpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.start())
            GTEST_SKIP() << "sshd could not run here: " << server.startError().toStdString();
        writeFile(local.file("webcam.jpg"), picture);
        writeFile(local.file("time.txt"), "06.12.2026 07:15:00\r\n");
    }

    void trustServer() { writeFile(knownHosts, server.knownHostsLine().toLatin1()); }

    FtpClient::Settings settings() const
    {
        FtpClient::Settings s;
        s.protocol = FtpClient::Protocol::Sftp;
        s.keyFile = server.clientKeyFile();
        s.knownHostsFile = knownHosts;
        return s;
    }
    bool connect(FtpClient& c) const { return c.connect(server.hostField(), server.user(), QString()); }

    FtpJob job() const
    {
        FtpJob j;
        j.host = server.hostField();
        j.user = server.user();
        j.remotePicturePath = remote("cam1.jpg");
        j.remoteTimePath = remote("time.txt");
        j.localPicturePath = local.file("webcam.jpg");
        j.localTimePath = local.file("time.txt");
        j.textFile = true;
        j.connection = settings();
        return j;
    }
    QString remote(const QString& name) const { return server.remoteFolder() + '/' + name; }
    QStringList remoteFiles() const
    {
        return QDir(server.remoteFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static constexpr FtpTimeouts kTimeouts{.connect = 5s, .response = 5s, .stage = 30s};
    SshServer server;
    TempDir local;
    const QString knownHosts = local.file("known_hosts");
    const QByteArray picture = QByteArray(25000, '\r') + QByteArray(25000, '\n');
    FtpLog log;
    ScriptedPrompter prompter;
    FtpStage stage{log, prompter, kTimeouts};
};

TEST_F(SftpTest, AKeyLoginUploadsAndReplacesSafely)
{
    trustServer();
    writeFile(remote("cam1.jpg"), "old picture");
    FtpJob j = job();
    j.safeReplace = true;
    const FtpResult result = stage.run(j);
    EXPECT_TRUE(result.pictureUploaded && result.textFileUploaded) << log.text().toStdString();
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host, {"Renaming...", "Picture uploaded!"},
                                             {"Uploading Textfile", "Renaming...", "Textfile uploaded"}));
    EXPECT_EQ(readFile(remote("cam1.jpg")), picture);
    EXPECT_EQ(remoteFiles(), (QStringList{"cam1.jpg", "time.txt"}));

    FtpClient c(kTimeouts, settings());
    ASSERT_TRUE(connect(c));
    EXPECT_EQ(c.remoteSize(remote("cam1.jpg")), picture.size());
    EXPECT_FALSE(c.remoteSize(remote("none.jpg")).has_value());
    EXPECT_NE(c.lastError(), FtpClient::Error::None);
    EXPECT_TRUE(c.remove(remote("time.txt")));
    EXPECT_FALSE(c.rename(remote("none.jpg"), remote("x.jpg")));
    EXPECT_EQ(c.lastError(), FtpClient::Error::ServerReply);
    EXPECT_FALSE(c.lastReply().isEmpty());
    EXPECT_EQ(remoteFiles(), QStringList{"cam1.jpg"});
}

TEST_F(SftpTest, WrongKeysAndPasswordsAndChangedHostKeysAreRefused)
{
    trustServer();
    FtpClient::Settings stranger = settings();
    stranger.keyFile = server.strangerKeyFile();
    FtpClient withStranger(kTimeouts, stranger);
    EXPECT_FALSE(connect(withStranger));

    // A password login reaches sshd and is refused for a wrong password. (The right one cannot
    // be tested: it would be the account password of the user running the tests.)
    FtpClient::Settings password = settings();
    password.keyFile.clear();
    FtpClient withPassword(kTimeouts, password);
    EXPECT_FALSE(withPassword.connect(server.hostField(), server.user(), "not the password"));
    EXPECT_NE(withPassword.lastError(), FtpClient::Error::HostKeyRefused);

    writeFile(knownHosts, server.foreignKnownHostsLine().toLatin1());
    FtpClient::Settings changed = settings();
    changed.addHostKey = server.hostKeyFingerprint(); // never added over a different known key
    FtpClient withChangedKey(kTimeouts, changed);
    EXPECT_FALSE(connect(withChangedKey));
    EXPECT_EQ(withChangedKey.lastError(), FtpClient::Error::HostKeyRefused);
    EXPECT_EQ(withChangedKey.hostKeyProblem(), FtpClient::HostKeyProblem::Changed);
    EXPECT_TRUE(remoteFiles().isEmpty());
}

TEST_F(SftpTest, AnUnknownHostKeyIsRefusedUntilTheUserTrustsIt)
{
    EXPECT_FALSE(stage.run(job()).connected);
    EXPECT_EQ(lastEntry(log),
              connectFailureEntry({"Unknown host key: " + server.hostKeyFingerprint() +
                                   " is not in known_hosts (trust it with Test in Upload Settings)"}));
    EXPECT_FALSE(QFile::exists(knownHosts));

    // Only the fingerprint that was shown is added; another one changes nothing.
    FtpClient::Settings trusting = settings();
    trusting.addHostKey = "SHA256:somethingelse";
    FtpClient wrong(kTimeouts, trusting);
    EXPECT_FALSE(connect(wrong));
    EXPECT_EQ(wrong.lastError(), FtpClient::Error::HostKeyRefused);
    EXPECT_EQ(wrong.hostKeyFingerprint(), server.hostKeyFingerprint());

    trusting.addHostKey = server.hostKeyFingerprint();
    FtpClient trusted(kTimeouts, trusting);
    EXPECT_TRUE(connect(trusted)) << trusted.failureText().toStdString();
    trusted.close();
    EXPECT_TRUE(readFile(knownHosts).contains("127.0.0.1")) << readFile(knownHosts).toStdString();
    EXPECT_TRUE(stage.run(job()).textFileUploaded) << log.text().toStdString();
}
} // namespace
