#include "DestinationServers.h"
#include "UploadRig.h"
#include "upload/TimerSet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <array>
#include <memory>

// Kept connections: an account whose next upload is near goes on with the login of its last one,
// on every protocol; a connection that idles says goodbye, a failure ends it, and one the server
// closed meanwhile is made anew without a failure. Real servers on the loopback interface.
namespace {
using namespace std::chrono_literals;
using Outcome = UploadCycle::Outcome;

constexpr int kRow = 0;
constexpr int kTimer = kRow + 1;

// The timed turns of the default account, one at a time.
class KeptConnectionRig
{
public:
    KeptConnectionRig()
    {
        QObject::connect(rig.scheduler.get(), &UploadScheduler::cycleFinished, rig.scheduler.get(),
                         [this](int, Outcome outcome) { outcomes << outcome; });
    }

    void set(const QString& name, const QString& value)
    {
        rig.saveAccount(AccountBook::kDefaultAccount, name, value);
    }
    // The account uploads every intervalMs; the test ticks it itself unless ticking.
    void arm(qint64 intervalMs)
    {
        set("Selected", "True");
        set("Passive", "1");
        set("Remember password", "1");
        set("Destination filename:", "webcam");
        rig.load();
        rig.scheduler->timers().set(kTimer, intervalMs);
    }
    Outcome turn()
    {
        const qsizetype before = outcomes.size();
        rig.scheduler->Timers(kTimer);
        if (!QTest::qWaitFor([&] { return outcomes.size() > before; }, 30000)) {
            ADD_FAILURE() << "the turn did not end";
            return Outcome::Stopped;
        }
        return outcomes.back();
    }
    int logCount(const char* line) const { return int(rig.log.text().count(QString("\r\n") + line)); }

    UploadRig rig;
    QList<Outcome> outcomes;
};

class KeptConnectionOnEveryProtocol : public ::testing::TestWithParam<DestinationServers::Kind>
{
protected:
    DestinationServers servers;
};

// Three timed turns of an account that uploads every 10 seconds: one connect and login, then two
// turns on it, each saying so in one line; every turn's own picture arrives whole.
TEST_P(KeptConnectionOnEveryProtocol, ThreeTurnsOnOneLogin)
{
    KeptConnectionRig k;
    const QString problem =
        servers.use(GetParam(), [&k](const QString& name, const QString& value) { k.set(name, value); });
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    k.arm(10000);
    QByteArray previous;
    for (int turn = 1; turn <= 3; ++turn) {
        ASSERT_EQ(k.turn(), Outcome::Delivered) << k.rig.log.text().toStdString();
        const QByteArray picture = servers.picture(GetParam());
        EXPECT_FALSE(QImage::fromData(picture, "JPEG").isNull()) << "turn " << turn;
        EXPECT_NE(picture, previous) << "turn " << turn << " sent the picture of the turn before";
        previous = picture;
    }
    EXPECT_EQ(k.logCount("Connected to "), 1) << k.rig.log.text().toStdString();
    EXPECT_EQ(k.logCount("Reusing the connection to "), 2);
    EXPECT_EQ(k.logCount("Connection kept for the next upload"), 3);
    EXPECT_EQ(k.logCount("Disconnected"), 0);
    EXPECT_FALSE(k.rig.log.text().contains("The server had closed")) << "nothing was closed";
    if (GetParam() == DestinationServers::Vsftpd || GetParam() == DestinationServers::VsftpdTls) {
        EXPECT_EQ(servers.vsftpd.logins(), 1);
        EXPECT_EQ(servers.vsftpd.connections(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Destinations, KeptConnectionOnEveryProtocol,
                         ::testing::Values(DestinationServers::Vsftpd, DestinationServers::VsftpdTls,
                                           DestinationServers::Sftp, DestinationServers::WebDav,
                                           DestinationServers::S3),
                         [](const ::testing::TestParamInfo<DestinationServers::Kind>& param) {
                             return std::string(std::array{"PyFtp", "Ftp", "Ftps", "Sftp", "WebDav",
                                                           "S3"}[static_cast<size_t>(param.param)]);
                         });

class KeptConnectionOnVsftpd : public ::testing::Test
{
protected:
    void start(const VsftpdServer::Options& options = {})
    {
        ASSERT_TRUE(vsftpd.start(options)) << vsftpd.startError().toStdString();
        k.set("Host Name/Adress:", vsftpd.hostField());
        k.set("User ID:", VsftpdServer::kUser);
        k.set("Password:", VsftpdServer::kPassword);
    }
    int quits() const { return int(vsftpd.commands().count("QUIT")); }
    QByteArray readPicture() const
    {
        QFile file(vsftpd.homeFile("webcam.jpg"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    VsftpdServer vsftpd;
    KeptConnectionRig k;
};

// An account whose uploads are far apart says goodbye after each; one whose timer ends keeps its
// connection only until it idled its time, then says goodbye.
TEST_F(KeptConnectionOnVsftpd, FarApartUploadsAndIdleConnectionsSayGoodbye)
{
    start();
    k.rig.scheduler->setKeepIdle(800ms);
    k.arm(60000);
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    EXPECT_EQ(vsftpd.logins(), 2) << "a minute apart: no connection kept";
    EXPECT_EQ(k.logCount("Disconnected"), 2);
    EXPECT_EQ(quits(), 2);

    k.rig.scheduler->timers().set(kTimer, 500);
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    k.rig.scheduler->timers().kill(kTimer);
    EXPECT_EQ(k.logCount("Connection kept for the next upload"), 1);
    EXPECT_EQ(quits(), 2) << "kept, not yet idle";
    EXPECT_TRUE(QTest::qWaitFor([&] { return quits() == 3; }, 5000)) << "the goodbye after idling";
    EXPECT_EQ(vsftpd.logins(), 3);
}

// A server that closes an idle session (421 after a second here) makes the next turn connect anew:
// the picture arrives, the log says why in one line, and nothing counts as a failure.
TEST_F(KeptConnectionOnVsftpd, ASessionTheServerClosedIsMadeAnewWithoutAFailure)
{
    start({.idleSeconds = 1});
    k.arm(10000);
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    const QByteArray first = readPicture();
    QTest::qWait(2000);
    ASSERT_EQ(k.turn(), Outcome::Delivered) << k.rig.log.text().toStdString();
    EXPECT_EQ(k.rig.log.text().count("The server had closed the kept connection"), 1)
        << k.rig.log.text().toStdString();
    EXPECT_FALSE(k.rig.log.text().contains("Couldn't")) << k.rig.log.text().toStdString();
    EXPECT_EQ(vsftpd.logins(), 2);
    EXPECT_EQ(k.rig.scheduler->nextTry(AccountBook::kDefaultAccount), std::nullopt);
    const QByteArray second = readPicture();
    EXPECT_FALSE(QImage::fromData(second, "JPEG").isNull());
    EXPECT_NE(second, first);
    // The new connection is kept in turn.
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    EXPECT_EQ(k.logCount("Reusing the connection to "), 2);
}

// A refused upload ends the kept connection with a goodbye: the next turn connects anew.
TEST_F(KeptConnectionOnVsftpd, AFailureEndsTheConnection)
{
    start();
    k.arm(10000);
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    k.set("Initial Remote Site Folder:", "ro/");
    k.rig.load();
    EXPECT_EQ(k.turn(), Outcome::Failed);
    EXPECT_TRUE(k.rig.log.text().endsWith("Disconnected")) << k.rig.log.text().toStdString();
    k.set("Initial Remote Site Folder:", "");
    k.rig.load();
    ASSERT_EQ(k.turn(), Outcome::Delivered);
    EXPECT_EQ(k.logCount("Reusing the connection to "), 1) << k.rig.log.text().toStdString();
    EXPECT_EQ(k.logCount("Connected to "), 2);
    EXPECT_EQ(vsftpd.logins(), 2);
}
} // namespace
