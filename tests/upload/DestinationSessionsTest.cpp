#include "upload/DestinationSessions.h"
#include "TempDir.h"
#include "settings/Account.h"
#include "upload/FtpSession.h"
#include "upload/S3Session.h"
#include "upload/SftpSession.h"
#include "upload/WebDavSession.h"

#include <gtest/gtest.h>

// The factory is the one place that knows the protocols; every session answers a failed call with
// a Failure whose code is the number the FTP log's error report knows.
namespace {
using Error = DestinationSession::Error;
using Protocol = Account::Protocol;

TEST(DestinationSessions, EachProtocolGetsItsFamilysSession)
{
    enum class Family { Ftp, Sftp, WebDav, S3 };
    const struct
    {
        Protocol protocol;
        Family family;
    } cases[] = {{Protocol::Ftp, Family::Ftp},
                 {Protocol::Ftps, Family::Ftp},
                 {Protocol::Sftp, Family::Sftp},
                 {Protocol::WebDav, Family::WebDav},
                 {Protocol::S3, Family::S3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Account::protocolText(c.protocol).toStdString());
        DestinationSession::Settings settings;
        settings.protocol = c.protocol;
        settings.caFile = "/etc/ssl/certs/ca-certificates.crt";
        const std::unique_ptr<DestinationSession> session = DestinationSessions::create({}, settings);
        ASSERT_NE(session, nullptr);
        EXPECT_EQ(dynamic_cast<SftpSession*>(session.get()) != nullptr, c.family == Family::Sftp);
        EXPECT_EQ(dynamic_cast<FtpSession*>(session.get()) != nullptr, c.family == Family::Ftp);
        EXPECT_EQ(dynamic_cast<WebDavSession*>(session.get()) != nullptr, c.family == Family::WebDav);
        EXPECT_EQ(dynamic_cast<S3Session*>(session.get()) != nullptr, c.family == Family::S3);
        // Only S3 replaces a file all at once.
        EXPECT_EQ(session->putIsAtomic(), c.family == Family::S3);
        EXPECT_EQ(session->settings(), settings);
        // Only FTP servers may rename onto free names only; SFTP's rename clears the name itself,
        // WebDAV's MOVE overwrites.
        EXPECT_EQ(session->renamesOntoFreeNamesOnly(), c.family == Family::Ftp);
        EXPECT_FALSE(session->isConnected());
    }
}

TEST(DestinationSessions, AnAccountsValuesApplyOnlyWhereTheProtocolUsesThem)
{
    Account account;
    account.passive = true;
    account.verifyCertificate = false;
    account.keyFile = "/home/cam/.ssh/id_ed25519";
    account.bucket = "webcam";
    account.region = "eu-central-1";
    account.pathStyle = false;
    account.publicRead = true;
    for (const Protocol protocol :
         {Protocol::Ftp, Protocol::Ftps, Protocol::Sftp, Protocol::WebDav, Protocol::S3}) {
        SCOPED_TRACE(Account::protocolText(protocol).toStdString());
        account.protocol = protocol;
        const DestinationSession::Settings settings = DestinationSessions::settingsOf(account);
        const bool sftp = protocol == Protocol::Sftp;
        EXPECT_EQ(settings.protocol, protocol);
        EXPECT_EQ(settings.passive, protocol == Protocol::Ftp || protocol == Protocol::Ftps);
        EXPECT_EQ(settings.keyFile, sftp ? account.keyFile : QString());
        const bool s3 = protocol == Protocol::S3;
        EXPECT_EQ(settings.bucket, s3 ? account.bucket : QString());
        EXPECT_EQ(settings.region, s3 ? account.region : QString());
        EXPECT_EQ(settings.pathStyle, !s3);
        EXPECT_EQ(settings.publicRead, s3);
        EXPECT_FALSE(settings.verifyPeer);
        EXPECT_TRUE(settings.knownHostsFile.isEmpty() && settings.addHostKey.isEmpty());
    }
}

TEST(DestinationSessions, AFailureCarriesItsKindSentenceAndTheLogsErrorNumber)
{
    const struct
    {
        Error error;
        int code;
        Failure::Kind kind;
    } cases[] = {
        {Error::FileNotFound, 2, Failure::Kind::NotFound},
        {Error::InvalidParameter, 87, Failure::Kind::Invalid},
        {Error::Timeout, 12002, Failure::Kind::TimedOut},
        {Error::ServerReply, 12003, Failure::Kind::Refused},
        {Error::Internal, 12004, Failure::Kind::Internal},
        {Error::InvalidUrl, 12005, Failure::Kind::Invalid},
        {Error::NameNotResolved, 12007, Failure::Kind::Unreachable},
        {Error::CannotConnect, 12029, Failure::Kind::Unreachable},
        {Error::ConnectionAborted, 12030, Failure::Kind::Io},
        {Error::NotConnected, 12111, Failure::Kind::Unreachable},
        {Error::CertificateRefused, 12045, Failure::Kind::Refused},
        {Error::HostKeyRefused, 12046, Failure::Kind::Refused},
        {Error::Cancelled, 12017, Failure::Kind::Cancelled},
        {Error::Refused, 5, Failure::Kind::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const Failure failure = DestinationSession::failureOf(c.error, "why");
        EXPECT_EQ(failure.code, c.code);
        EXPECT_EQ(failure.kind, c.kind);
        EXPECT_EQ(failure.sentence, "why");
        EXPECT_EQ(DestinationSession::errorOf(failure), c.error);
    }
}

// Failures found before anything goes on the network, in the sentences the log shows.
TEST(DestinationSessions, CallsThatCannotBeMadeFailWithTheLogsSentence)
{
    TempDir local;
    for (const Protocol protocol : {Protocol::Ftp, Protocol::Ftps, Protocol::Sftp}) {
        SCOPED_TRACE(Account::protocolText(protocol).toStdString());
        DestinationSession::Settings settings;
        settings.protocol = protocol;
        const auto session = DestinationSessions::create({}, settings);

        const Result<void> put = session->put(local.file("a.jpg"), "a.jpg");
        ASSERT_FALSE(put);
        EXPECT_EQ(put.failure().code, 12111);
        EXPECT_EQ(put.failure().sentence, "Not connected");
        EXPECT_EQ(session->reason(), "Not connected");
        EXPECT_FALSE(session->list("").ok());
        EXPECT_FALSE(session->remoteSize("a.jpg").ok());
        EXPECT_FALSE(session->remove("a.jpg").ok());
        EXPECT_FALSE(session->rename("a.jpg", "b.jpg").ok());

        const Result<void> badHost = session->connect("host/path", "cam", "secret");
        ASSERT_FALSE(badHost);
        EXPECT_EQ(badHost.failure().code, 12005);
        EXPECT_EQ(badHost.failure().kind, Failure::Kind::Invalid);
        EXPECT_EQ(badHost.failure().sentence, "Not a usable host name: host/path");

        const Result<void> badPassword = session->connect("127.0.0.1", "cam", "one\r\nDELE x");
        ASSERT_FALSE(badPassword);
        EXPECT_EQ(badPassword.failure().code, 87);
        EXPECT_EQ(badPassword.failure().sentence,
                  "The password contains a line break or another control character, which cannot be sent "
                  "to the server");

        // A cancel holds for every later call.
        session->cancel();
        EXPECT_TRUE(session->isCancelled());
        const Result<void> cancelled = session->connect("127.0.0.1", "cam", "secret");
        ASSERT_FALSE(cancelled);
        EXPECT_EQ(cancelled.failure().kind, Failure::Kind::Cancelled);
        EXPECT_EQ(cancelled.failure().code, 12017);
    }

    DestinationSession::Settings sftp;
    sftp.protocol = Protocol::Sftp;
    sftp.keyFile = local.file("no_such_key");
    const Result<void> noKey = DestinationSessions::create({}, sftp)->connect("127.0.0.1", "cam", QString());
    ASSERT_FALSE(noKey);
    EXPECT_EQ(noKey.failure().kind, Failure::Kind::NotFound);
    EXPECT_EQ(noKey.failure().sentence, "Key file not found: " + sftp.keyFile);
}
} // namespace
