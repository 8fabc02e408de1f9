#include "StageFixture.h"
#include "upload/CurlSession.h"
#include "upload/DestinationSessions.h"

TEST(CurlSessionHost, AcceptsHostHostPortAndBracketedIpv6)
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
        const auto endpoint = CurlSession::parseHost(g.text);
        ASSERT_TRUE(endpoint.has_value());
        EXPECT_EQ(endpoint->host, g.host);
        EXPECT_EQ(endpoint->port, g.port);
    }
    for (const char* bad :
         {"", ":21", "host:", "host:0", "host:65536", "host:+21", "host:2x", "user@host", "host/path",
          "host?x", "host#x", "ho st", "[::1", "[::1]x", "[host]:21", "[]:21", "1::2::3"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(CurlSession::parseHost(bad).has_value());
    }
}

TEST(CurlSessionPath, EveryByteButUnreservedIsEncoded)
{
    EXPECT_EQ(CurlSession::encodePath("/www/cam 1#%?ü.jpg"), "%2Fwww%2Fcam%201%23%25%3F%C3%BC.jpg");
    EXPECT_EQ(CurlSession::encodePath("a-b_c.d~e"), "a-b_c.d~e");
}

namespace {
using Error = DestinationSession::Error;

template <typename T> Error errorOf(const Result<T>& result)
{
    return result ? Error::None : DestinationSession::errorOf(result.failure());
}

class FtpSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        writeFile(file, QByteArray("abc\r\n\0", 6));
    }
    std::optional<qint64> sizeOf(const QString& remotePath)
    {
        const Result<std::optional<qint64>> size = session->remoteSize(remotePath);
        return size ? size.value() : std::nullopt;
    }

    FtpServer server;
    TempDir local;
    const QString file = local.file("a.bin");
    const std::unique_ptr<DestinationSession> session =
        DestinationSessions::create({.connect = 1500ms, .response = 1000ms, .stage = 10s}, {});
};

TEST_F(FtpSessionTest, OneLoginServesEveryCommand)
{
    ASSERT_TRUE(session->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_TRUE(session->isConnected());
    EXPECT_TRUE(session->lastReply().startsWith("2")) << session->lastReply().toStdString();
    EXPECT_TRUE(session->put(file, "one.bin"));
    const Result<void> refused = session->put(file, "/ro/two.bin");
    EXPECT_EQ(errorOf(refused), Error::ServerReply);
    EXPECT_EQ(session->lastReply(), "550 Not enough privileges.");

    EXPECT_EQ(sizeOf("one.bin"), 6);
    EXPECT_EQ(sizeOf("/one.bin"), 6);
    // No such file is a failure, not a server that cannot say.
    EXPECT_FALSE(session->remoteSize("none.bin").ok());
    EXPECT_TRUE(session->rename("one.bin", "four.bin"));
    EXPECT_EQ(readFile(server.homeFile("four.bin")), QByteArray("abc\r\n\0", 6));
    EXPECT_TRUE(session->remove("four.bin"));
    EXPECT_TRUE(session->put(file, "three.bin"));
    EXPECT_TRUE(session->reason().isEmpty());
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList{"three.bin"});
    const Result<QStringList> names = session->list("");
    ASSERT_TRUE(names);
    EXPECT_TRUE(names->contains("three.bin")) << names->join(' ').toStdString();

    EXPECT_EQ(session->connectionCount(), 1);
    session->close();
    EXPECT_FALSE(session->isConnected());
    EXPECT_EQ(server.commands().count("USER cam"), 1);
    EXPECT_EQ(server.commands().last(), "QUIT");

    // In passive mode every transfer opens a data connection of its own; the count is of logins.
    DestinationSession::Settings passive;
    passive.passive = true;
    const auto second =
        DestinationSessions::create({.connect = 1500ms, .response = 1000ms, .stage = 10s}, passive);
    ASSERT_TRUE(second->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    EXPECT_TRUE(second->put(file, "five.bin"));
    EXPECT_TRUE(second->put(file, "six.bin"));
    EXPECT_EQ(second->connectionCount(), 1);
    second->close();
}

TEST_F(FtpSessionTest, ErrorsSayWhetherTheServerAnswered)
{
    EXPECT_EQ(errorOf(session->connect(server.hostField(), FtpServer::kUser, QString())), Error::ServerReply);
    EXPECT_EQ(errorOf(session->put(file, "x.bin")), Error::NotConnected);

    ASSERT_TRUE(session->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword));
    for (const QString& missing : {local.file("none.bin"), local.path()}) {
        EXPECT_EQ(errorOf(session->put(missing, "x.bin")), Error::FileNotFound);
        EXPECT_TRUE(session->lastReply().isEmpty());
    }
    EXPECT_EQ(errorOf(session->put(file, "/www/")), Error::InvalidUrl);
    EXPECT_EQ(errorOf(session->remove("none.bin")), Error::ServerReply);

    server.stop();
    session->close();
    EXPECT_EQ(errorOf(session->connect(server.hostField(), FtpServer::kUser, FtpServer::kPassword)),
              Error::CannotConnect);
    EXPECT_TRUE(session->lastReply().isEmpty());
}
} // namespace
