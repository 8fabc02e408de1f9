#include "upload/FtpClient.h"
#include "FtpServer.h"
#include "QtPrinters.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(FtpClientHost, AcceptsHostHostPortAndBracketedIpv6)
{
    const struct
    {
        const char* text;
        const char* host;
        int port;
    } good[] = {
        {"ftp.example.com", "ftp.example.com", 21},
        {"ftp.example.com:2121", "ftp.example.com", 2121},
        {"192.0.2.7", "192.0.2.7", 21},
        {" 192.0.2.7:65535 ", "192.0.2.7", 65535},
        {"[::1]:2121", "::1", 2121},
        {"[2001:db8::5]", "2001:db8::5", 21},
        {"2001:db8::5", "2001:db8::5", 21},
    };
    for (const auto& g : good) {
        SCOPED_TRACE(g.text);
        const auto endpoint = FtpClient::parseHost(QString::fromUtf8(g.text));
        ASSERT_TRUE(endpoint.has_value());
        EXPECT_EQ(endpoint->host, QString::fromUtf8(g.host));
        EXPECT_EQ(endpoint->port, g.port);
    }
    for (const char* bad :
         {"", ":21", "host:", "host:0", "host:65536", "host:+21", "host:2x", "user@host", "host/path",
          "host?x", "host#x", "ho st", "[::1", "[::1]x", "[host]:21", "[]:21", "1::2::3"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(FtpClient::parseHost(QString::fromUtf8(bad)).has_value());
    }
}

TEST(FtpClientPath, EveryByteButUnreservedIsEncoded)
{
    EXPECT_EQ(FtpClient::encodePath(QStringLiteral("/www/cam 1#%?ü.jpg")),
              QByteArray("%2Fwww%2Fcam%201%23%25%3F%C3%BC.jpg"));
    EXPECT_EQ(FtpClient::encodePath(QStringLiteral("a-b_c.d~e")), QByteArray("a-b_c.d~e"));
}

class FtpClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        QFile file(local.file(QStringLiteral("a.bin")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("abc\r\n\0", 6);
    }

    static FtpTimeouts timeouts()
    {
        FtpTimeouts t;
        t.connect = 1500ms;
        t.response = 1000ms;
        t.stage = 10s;
        return t;
    }

    FtpServer server;
    TempDir local;
    FtpClient client{timeouts()};
};

TEST_F(FtpClientTest, LoginAndPutsShareOneConnection)
{
    ASSERT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_TRUE(client.isConnected());
    EXPECT_TRUE(client.lastReply().startsWith(QStringLiteral("2"))) << client.lastReply().toStdString();
    EXPECT_TRUE(client.put(local.file(QStringLiteral("a.bin")), QStringLiteral("one.bin")));
    EXPECT_FALSE(client.put(local.file(QStringLiteral("a.bin")), QStringLiteral("/ro/two.bin")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_EQ(client.lastReply(), QStringLiteral("550 Not enough privileges."));
    EXPECT_TRUE(client.put(local.file(QStringLiteral("a.bin")), QStringLiteral("three.bin")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::None);
    EXPECT_EQ(client.connectionCount(), 1);
    client.close();
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(server.commands().count(QStringLiteral("USER cam")), 1);
    EXPECT_EQ(server.commands().last(), QStringLiteral("QUIT"));
}

TEST_F(FtpClientTest, ErrorsSayWhetherTheServerAnswered)
{
    EXPECT_FALSE(client.connect(server.hostField(), FtpServer::kUser, QString()));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_FALSE(client.put(local.file(QStringLiteral("a.bin")), QStringLiteral("x.bin")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::NotConnected);

    ASSERT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_FALSE(client.put(local.file(QStringLiteral("none.bin")), QStringLiteral("x.bin")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::FileNotFound);
    EXPECT_TRUE(client.lastReply().isEmpty());
    EXPECT_FALSE(client.put(local.path(), QStringLiteral("x.bin")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::FileNotFound);
    EXPECT_FALSE(client.put(local.file(QStringLiteral("a.bin")), QStringLiteral("/www/")));
    EXPECT_EQ(client.lastError(), FtpClient::Error::InvalidUrl);

    server.stop();
    client.close();
    EXPECT_FALSE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_EQ(client.lastError(), FtpClient::Error::CannotConnect);
    EXPECT_TRUE(client.lastReply().isEmpty());
}
