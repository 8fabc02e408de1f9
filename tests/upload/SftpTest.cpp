#include "SshServer.h"
#include "StageFixture.h"
#include "upload/DestinationSessions.h"

// SFTP uploads against OpenSSH's sshd on the loopback interface: key and password logins, the
// host-key check against a known_hosts file of the test's own, size checks and safe replace.
namespace {
class SftpTest : public StageFixture
{
protected:
    void SetUp() override
    {
        if (!ssh.start())
            GTEST_SKIP() << "sshd could not run here: " << ssh.startError().toStdString();
        StageFixture::SetUp();
    }

    void trustServer() { writeFile(knownHosts, ssh.knownHostsLine().toLatin1()); }
    Result<void> connect(DestinationSession& c) const
    {
        return c.connect(ssh.hostField(), ssh.user(), QString());
    }
    std::unique_ptr<DestinationSession> session(const DestinationSession::Settings& s) const
    {
        return DestinationSessions::create(kTimeouts, s);
    }
    static DestinationSession::Error errorOf(const Result<void>& result)
    {
        return result ? DestinationSession::Error::None : DestinationSession::errorOf(result.failure());
    }

    DestinationSession::Settings settings() const
    {
        DestinationSession::Settings s;
        s.protocol = Account::Protocol::Sftp;
        s.keyFile = ssh.clientKeyFile();
        s.knownHostsFile = knownHosts;
        return s;
    }
    FtpJob sftpJob() const
    {
        FtpJob j = job(ssh.remoteFolder() + '/');
        j.host = ssh.hostField();
        j.user = ssh.user();
        j.password.clear();
        j.connection = settings();
        return j;
    }
    QString remote(const QString& name) const { return ssh.remoteFolder() + '/' + name; }
    QStringList remoteFiles() const
    {
        return QDir(ssh.remoteFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    // Logins to sshd take longer than to the FTP test ssh.
    static constexpr FtpTimeouts kTimeouts{.connect = 5s, .response = 5s, .stage = 30s};
    SshServer ssh;
    const QString knownHosts = local.file("known_hosts");
    FtpStage sftp{log, prompter, kTimeouts};
};

TEST_F(SftpTest, AKeyLoginUploadsAndReplacesSafely)
{
    trustServer();
    writeFile(remote("cam1.jpg"), "old picture");
    FtpJob j = sftpJob();
    j.safeReplace = true;
    const FtpResult result = runStage(sftp, j);
    EXPECT_TRUE(result.pictureUploaded && result.textFileUploaded) << log.text().toStdString();
    EXPECT_EQ(lastEntry(log), connectedEntry(j.host, {"Renaming...", "Picture uploaded!"},
                                             {"Uploading Textfile", "Renaming...", "Textfile uploaded"}));
    EXPECT_EQ(readFile(remote("cam1.jpg")), picture);
    EXPECT_EQ(remoteFiles(), (QStringList{"cam1.jpg", "time.txt"}));

    const auto c = session(settings());
    ASSERT_TRUE(connect(*c));
    const Result<std::optional<qint64>> size = c->remoteSize(remote("cam1.jpg"));
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, picture.size());
    // No such file is a failure, not a server that cannot say.
    EXPECT_FALSE(c->remoteSize(remote("none.jpg")).ok());
    EXPECT_TRUE(c->remove(remote("time.txt")));
    // SFTP has no reply text: the status comes in the session's words, not as the server's.
    const Result<void> refused = c->rename(remote("none.jpg"), remote("x.jpg"));
    EXPECT_EQ(errorOf(refused), DestinationSession::Error::Refused);
    EXPECT_TRUE(c->lastReply().isEmpty());
    ASSERT_FALSE(refused);
    EXPECT_FALSE(refused.failure().sentence.isEmpty());
    EXPECT_EQ(refused.failure().sentence, c->reason());
    EXPECT_EQ(remoteFiles(), QStringList{"cam1.jpg"});
}

TEST_F(SftpTest, WrongKeysAndPasswordsAndChangedHostKeysAreRefused)
{
    trustServer();
    DestinationSession::Settings stranger = settings();
    stranger.keyFile = ssh.strangerKeyFile();
    EXPECT_FALSE(connect(*session(stranger)));

    // A password login reaches sshd and is refused for a wrong password. (The right one cannot
    // be tested: it would be the account password of the user running the tests.)
    DestinationSession::Settings password = settings();
    password.keyFile.clear();
    const Result<void> withPassword =
        session(password)->connect(ssh.hostField(), ssh.user(), "not the password");
    EXPECT_FALSE(withPassword);
    EXPECT_NE(errorOf(withPassword), DestinationSession::Error::HostKeyRefused);

    writeFile(knownHosts, ssh.foreignKnownHostsLine().toLatin1());
    DestinationSession::Settings changed = settings();
    changed.addHostKey = ssh.hostKeyFingerprint(); // never added over a different known key
    const auto withChangedKey = session(changed);
    EXPECT_EQ(errorOf(connect(*withChangedKey)), DestinationSession::Error::HostKeyRefused);
    EXPECT_EQ(withChangedKey->hostKeyProblem(), DestinationSession::HostKeyProblem::Changed);
    EXPECT_TRUE(remoteFiles().isEmpty());
}

TEST_F(SftpTest, AnUnknownHostKeyIsRefusedUntilTheUserTrustsIt)
{
    EXPECT_FALSE(runStage(sftp, sftpJob()).connected);
    EXPECT_EQ(lastEntry(log),
              connectFailureEntry({"Unknown host key: " + ssh.hostKeyFingerprint() +
                                   " is not in known_hosts (trust it with Test in Upload Settings)"}));
    EXPECT_FALSE(QFile::exists(knownHosts));

    // Only the fingerprint that was shown is added; another one changes nothing.
    DestinationSession::Settings trusting = settings();
    trusting.addHostKey = "SHA256:somethingelse";
    const auto wrong = session(trusting);
    EXPECT_EQ(errorOf(connect(*wrong)), DestinationSession::Error::HostKeyRefused);
    EXPECT_EQ(wrong->hostKeyFingerprint(), ssh.hostKeyFingerprint());

    trusting.addHostKey = ssh.hostKeyFingerprint();
    const auto trusted = session(trusting);
    EXPECT_TRUE(connect(*trusted)) << trusted->failureText().toStdString();
    trusted->close();
    EXPECT_TRUE(readFile(knownHosts).contains("127.0.0.1")) << readFile(knownHosts).toStdString();
    EXPECT_TRUE(runStage(sftp, sftpJob()).textFileUploaded) << log.text().toStdString();
}

// Failures the client finds itself are told in its own words, never labelled "Server: ".
TEST_F(SftpTest, KeyAndStatusProblemsAreToldInTheClientsWords)
{
    trustServer();
    FtpJob j = sftpJob();
    j.connection.keyFile = local.file("no_such_key");
    runStage(sftp, j);
    EXPECT_EQ(lastEntry(log), connectFailureEntry({"Key file not found: " + j.connection.keyFile}));

    j = sftpJob();
    j.remotePicturePath = remote("missing/cam1.jpg");
    j.textFile = false;
    runStage(sftp, j);
    EXPECT_EQ(
        lastEntry(log),
        connectedEntry(j.host, {"Couldn't upload", "Upload failed: No such file or directory (2/-31)"}, {}));
    EXPECT_FALSE(log.text().contains("Server: "));
}

// An RSA key, as ssh-keygen makes it, against sshd's default accepted algorithms.
TEST_F(SftpTest, RsaKeysLogInOrAreRefusedWithTheReason)
{
    trustServer();
    FtpJob j = sftpJob();
    j.connection.keyFile = ssh.rsaKeyFile();
    // Debian 12's libssh2 (1.10) signs only with SHA-1, which OpenSSH 9.2 refuses by default; a
    // library that signs with rsa-sha2-256/512 gets in.
    if (!runStage(sftp, j).pictureUploaded) {
        EXPECT_EQ(
            lastEntry(log),
            connectFailureEntry({"Login refused with the RSA key: the SSH library of this system signs RSA "
                                 "keys only with SHA-1 (ssh-rsa), which OpenSSH 8.8 and later refuse; use an "
                                 "Ed25519 or ECDSA key"}));
    }
    // An RSA key the server does not know is refused for that reason, like any other key.
    DestinationSession::Settings stranger = settings();
    stranger.keyFile = ssh.strangerKeyFile();
    const Result<void> withStranger = connect(*session(stranger));
    ASSERT_FALSE(withStranger);
    EXPECT_TRUE(withStranger.failure().sentence.startsWith("Login refused"))
        << withStranger.failure().sentence.toStdString();
}

TEST_F(SftpTest, ArchiveCopiesAndTheRemovalOfOldOnesWorkOverSftpToo)
{
    trustServer();
    writeFile(remote("cam-20260401-000000.jpg"), "old");
    writeFile(remote("cam-20260509-000000.jpg"), "recent");
    FtpJob j = sftpJob();
    j.textFile = false;
    j.archive = FtpJob::Archive{remote("cam-20260510-120000.jpg"), ssh.remoteFolder() + '/',
                                "cam-%Y%m%d-%H%M%S.jpg", 7, QDateTime(QDate(2026, 5, 10), QTime(12, 0))};
    const FtpResult result = runStage(sftp, j);
    EXPECT_TRUE(result.archiveUploaded) << log.text().toStdString();
    EXPECT_EQ(result.archiveRemoved, 1) << log.text().toStdString();
    EXPECT_EQ(remoteFiles(), (QStringList{"cam-20260509-000000.jpg", "cam-20260510-120000.jpg", "cam1.jpg"}));
    EXPECT_EQ(readFile(remote("cam-20260510-120000.jpg")), picture);
}
} // namespace
