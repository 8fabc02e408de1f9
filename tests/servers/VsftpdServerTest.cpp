#include "VsftpdServer.h"
#include "Curl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QByteArray kPicture = QByteArrayLiteral("\xff\xd8\xff\xe0 bytes over FTP \xff\xd9");

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// vsftpd writes a session's lines from its own processes: the count is read until it is reached.
int loginsOnceAtLeast(const VsftpdServer& server, int count)
{
    const QDeadlineTimer deadline(5000);
    while (server.logins() < count && !deadline.hasExpired())
        QThread::msleep(10);
    return server.logins();
}

class VsftpdServerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.startError().toStdString(); }

    QString url(const QString& path, const QString& password = VsftpdServer::kPassword) const
    {
        return QStringLiteral("ftp://%1:%2@%3/%4")
            .arg(VsftpdServer::kUser, password, server.hostField(), path);
    }

    VsftpdServer server;
    QTemporaryDir files;
};

TEST_F(VsftpdServerTest, LoginUploadAndTheLoginCount)
{
    EXPECT_EQ(server.logins(), 0);
    const CurlResult upload =
        runCurl({QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("up"), kPicture),
                 url(QStringLiteral("cam.jpg"))});
    EXPECT_EQ(upload.exitCode, 0) << upload.errors.toStdString() << server.log().toStdString();
    EXPECT_EQ(upload.status, 226);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), kPicture);
    EXPECT_EQ(loginsOnceAtLeast(server, 1), 1);

    // Active mode too, and a rename as the client's safe replace does it.
    const CurlResult active =
        runCurl({QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1"), QStringLiteral("--upload-file"),
                 fileWith(files, QStringLiteral("up2"), "newer"), url(QStringLiteral("cam.jpg.part")),
                 QStringLiteral("--quote"), QStringLiteral("-RNFR cam.jpg.part"), QStringLiteral("--quote"),
                 QStringLiteral("-RNTO cam.jpg")});
    EXPECT_EQ(active.exitCode, 0) << active.errors.toStdString() << server.log().toStdString();
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), "newer");
    EXPECT_EQ(loginsOnceAtLeast(server, 2), 2);

    // Two transfers in one curl run share one session: one login more, not two.
    const CurlResult kept = runCurl({url(QStringLiteral("cam.jpg")), url(QStringLiteral("cam.jpg"))});
    EXPECT_EQ(kept.exitCode, 0) << kept.errors.toStdString();
    EXPECT_EQ(kept.body, "newer");
    EXPECT_EQ(loginsOnceAtLeast(server, 3), 3);
    QThread::msleep(200);
    EXPECT_EQ(server.logins(), 3);
    EXPECT_EQ(server.failedLogins(), 0);

    const QStringList commands = server.commands();
    EXPECT_TRUE(commands.contains(QStringLiteral("STOR cam.jpg")))
        << commands.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(commands.contains(QStringLiteral("RNTO cam.jpg")))
        << commands.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(commands.contains(QStringLiteral("PASS <password>")));
}

TEST_F(VsftpdServerTest, WrongPasswordAndReadOnlyFolder)
{
    const CurlResult wrong =
        runCurl({QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("up"), kPicture),
                 url(QStringLiteral("cam.jpg"), QStringLiteral("wrong"))});
    EXPECT_EQ(wrong.exitCode, 67) << wrong.errors.toStdString(); // login denied
    EXPECT_EQ(wrong.status, 530);
    EXPECT_EQ(server.failedLogins(), 1);
    EXPECT_EQ(server.logins(), 0);
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("cam.jpg"))));

    const CurlResult readOnly =
        runCurl({QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("up"), kPicture),
                 url(QStringLiteral("ro/cam.jpg"))});
    EXPECT_EQ(readOnly.exitCode, 25) << readOnly.errors.toStdString(); // upload refused
    EXPECT_EQ(readOnly.status, 553);
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("ro/cam.jpg"))));
}

TEST_F(VsftpdServerTest, ExplicitTlsWithTheTestCa)
{
    server.stop();
    VsftpdServer::Options options;
    options.tls = true;
    ASSERT_TRUE(server.start(options)) << server.startError().toStdString();

    const CurlResult secure =
        runCurl({QStringLiteral("--ssl-reqd"), QStringLiteral("--cacert"), server.caFile(),
                 QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("up"), kPicture),
                 url(QStringLiteral("cam.jpg"))});
    EXPECT_EQ(secure.exitCode, 0) << secure.errors.toStdString() << server.log().toStdString();
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), kPicture);

    // Without TLS the login is refused.
    const CurlResult plain = runCurl({url(QStringLiteral("cam.jpg"))});
    EXPECT_EQ(plain.exitCode, 67) << plain.errors.toStdString();
    EXPECT_EQ(plain.status, 530);
    EXPECT_EQ(loginsOnceAtLeast(server, 1), 1);
}

TEST_F(VsftpdServerTest, StopEndsTheServerAndItsSessions)
{
    // A connection that was greeted: a session process of vsftpd's own serves it.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<quint16>(server.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const auto readWithin = [fd](int limitMs) {
        pollfd wait{fd, POLLIN, 0};
        char buffer[256];
        return ::poll(&wait, 1, limitMs) == 1 ? ::read(fd, buffer, sizeof buffer) : -2;
    };
    EXPECT_GT(readWithin(5000), 0); // "220 ..."
    server.stop();
    // The session ended with the server: the connection closes at once, not at the idle time-out.
    EXPECT_EQ(readWithin(3000), 0);
    ::close(fd);
    EXPECT_EQ(runCurl({url(QString())}).exitCode, 7);
}
} // namespace
