#include "upload/FtpClient.h"
#include "StageFixture.h"

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
        const auto endpoint = FtpClient::parseHost(g.text);
        ASSERT_TRUE(endpoint.has_value());
        EXPECT_EQ(endpoint->host, g.host);
        EXPECT_EQ(endpoint->port, g.port);
    }
    for (const char* bad :
         {"", ":21", "host:", "host:0", "host:65536", "host:+21", "host:2x", "user@host", "host/path",
          "host?x", "host#x", "ho st", "[::1", "[::1]x", "[host]:21", "[]:21", "1::2::3"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(FtpClient::parseHost(bad).has_value());
    }
}

TEST(FtpClientPath, EveryByteButUnreservedIsEncoded)
{
    EXPECT_EQ(FtpClient::encodePath("/www/cam 1#%?ü.jpg"), "%2Fwww%2Fcam%201%23%25%3F%C3%BC.jpg");
    EXPECT_EQ(FtpClient::encodePath("a-b_c.d~e"), "a-b_c.d~e");
}

class FtpClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        writeFile(file, QByteArray("abc\r\n\0", 6));
    }

    FtpServer server;
    TempDir local;
    const QString file = local.file("a.bin");
    FtpClient client{{.connect = 1500ms, .response = 1000ms, .stage = 10s}};
};

TEST_F(FtpClientTest, OneLoginServesEveryCommand)
{
    ASSERT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_TRUE(client.isConnected());
    EXPECT_TRUE(client.lastReply().startsWith("2")) << client.lastReply().toStdString();
    EXPECT_TRUE(client.put(file, "one.bin"));
    EXPECT_FALSE(client.put(file, "/ro/two.bin"));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_EQ(client.lastReply(), "550 Not enough privileges.");

    EXPECT_EQ(client.remoteSize("one.bin"), 6);
    EXPECT_EQ(client.remoteSize("/one.bin"), 6);
    EXPECT_FALSE(client.remoteSize("none.bin").has_value());
    EXPECT_NE(client.lastError(), FtpClient::Error::None);
    EXPECT_TRUE(client.rename("one.bin", "four.bin"));
    EXPECT_EQ(readFile(server.homeFile("four.bin")), QByteArray("abc\r\n\0", 6));
    EXPECT_TRUE(client.remove("four.bin"));
    EXPECT_TRUE(client.put(file, "three.bin"));
    EXPECT_EQ(client.lastError(), FtpClient::Error::None);
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList{"three.bin"});

    EXPECT_EQ(client.connectionCount(), 1);
    client.close();
    EXPECT_FALSE(client.isConnected());
    EXPECT_EQ(server.commands().count("USER cam"), 1);
    EXPECT_EQ(server.commands().last(), "QUIT");
}

TEST_F(FtpClientTest, ErrorsSayWhetherTheServerAnswered)
{
    EXPECT_FALSE(client.connect(server.hostField(), FtpServer::kUser, QString()));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);
    EXPECT_FALSE(client.put(file, "x.bin"));
    EXPECT_EQ(client.lastError(), FtpClient::Error::NotConnected);

    ASSERT_TRUE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    for (const QString& missing : {local.file("none.bin"), local.path()}) {
        EXPECT_FALSE(client.put(missing, "x.bin"));
        EXPECT_EQ(client.lastError(), FtpClient::Error::FileNotFound);
        EXPECT_TRUE(client.lastReply().isEmpty());
    }
    EXPECT_FALSE(client.put(file, "/www/"));
    EXPECT_EQ(client.lastError(), FtpClient::Error::InvalidUrl);
    EXPECT_FALSE(client.remove("none.bin"));
    EXPECT_EQ(client.lastError(), FtpClient::Error::ServerReply);

    server.stop();
    client.close();
    EXPECT_FALSE(client.connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_EQ(client.lastError(), FtpClient::Error::CannotConnect);
    EXPECT_TRUE(client.lastReply().isEmpty());
}
