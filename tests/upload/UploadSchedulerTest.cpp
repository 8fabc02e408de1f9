#include "UploadRig.h"
#include "upload/TimerSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
// Accounts written straight into the store: name, flag, interval item and seconds.
struct Stored
{
    QString name;
    bool selected;
    QString every;
    QString seconds;
};

void storeAccounts(UploadRig& rig, const std::vector<Stored>& accounts)
{
    int position = 1;
    for (const Stored& a : accounts) {
        rig.saveOption(QStringLiteral("Account%1").arg(position++), a.name);
        rig.saveAccount(a.name, QStringLiteral("Selected"), a.selected ? "True" : "False");
        rig.saveAccount(a.name, QStringLiteral("Upload image every:"), a.every);
        rig.saveAccount(a.name, QStringLiteral("Custom"), a.seconds);
    }
    rig.load();
}

TEST(UploadScheduler, OneTimerPerFlaggedRowById)
{
    UploadRig rig(false);
    storeAccounts(rig, {{"one", false, "1 minute", "60"}, {"two", true, "10 seconds", "10"}, {"three", false, "Week", "604800"}});
    rig.scheduler->StartTimer();
    EXPECT_EQ(rig.scheduler->timers().count(), 1);
    EXPECT_EQ(rig.scheduler->timers().interval(2), 10000);
    EXPECT_EQ(rig.status.uploadState(), "Upload every 10 seconds");
    rig.scheduler->StopTimer();
    EXPECT_EQ(rig.scheduler->timers().count(), 0);
}

TEST(UploadScheduler, StatusShowsTheLastFlaggedAccount)
{
    {
        UploadRig rig(false);
        storeAccounts(rig, {{"custom", true, "Custom", "45"}, {"never", true, "Never", ""}});
        rig.scheduler->StartTimer();
        EXPECT_EQ(rig.scheduler->timers().count(), 1);
        EXPECT_EQ(rig.scheduler->timers().interval(1), 45000);
        EXPECT_EQ(rig.status.uploadState(), "Click 'Upload now' to upload");
    }
    {
        UploadRig rig(false);
        storeAccounts(rig, {{"never", true, "Never", ""}, {"custom", true, "Custom", "45"}});
        rig.scheduler->StartTimer();
        EXPECT_EQ(rig.scheduler->timers().interval(2), 45000);
        EXPECT_EQ(rig.status.uploadState(), "Upload every 45 second(s)");
    }
    {
        UploadRig rig(false);
        storeAccounts(rig, {{"fast", true, "Constantly", "0"}});
        rig.scheduler->StartTimer();
        EXPECT_EQ(rig.scheduler->timers().interval(1), 0);
        EXPECT_EQ(rig.status.uploadState(), "Upload constantly");
    }
    {
        UploadRig rig(false);
        storeAccounts(rig, {{"off", false, "10 seconds", "10"}});
        rig.scheduler->StartTimer();
        EXPECT_EQ(rig.scheduler->timers().count(), 0);
        EXPECT_EQ(rig.status.uploadState(), "Click 'Upload now' to upload");
    }
}

TEST(UploadScheduler, LargestIntervalAndEmptySeconds)
{
    UploadRig rig(false);
    storeAccounts(rig, {{"max", true, "Custom", "2147483"}, {"empty", true, "Custom", ""}});
    rig.scheduler->StartTimer();
    EXPECT_EQ(rig.scheduler->timers().interval(1), 2147483000);
    EXPECT_FALSE(rig.scheduler->timers().has(2));
    EXPECT_EQ(rig.status.uploadState(), "Upload every  second(s)");
}

TEST(TimerSet, ReplacesOnSetAndRefusesWhatDoesNotFit)
{
    TimerSet timers;
    EXPECT_TRUE(timers.set(3, 1000));
    EXPECT_TRUE(timers.set(3, 0));
    EXPECT_EQ(timers.count(), 1);
    EXPECT_EQ(timers.interval(3), 0);
    EXPECT_FALSE(timers.set(4, 2147484000));
    EXPECT_FALSE(timers.set(5, -1));
    EXPECT_FALSE(timers.has(4));
    int ticks = 0;
    QObject::connect(&timers, &TimerSet::tick, [&ticks](int id) { ticks += id; });
    QElapsedTimer clock;
    clock.start();
    while (ticks < 6 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_GE(ticks, 6); // timer 3 repeats
    timers.killAll();
    EXPECT_EQ(timers.count(), 0);
}

TEST(UploadScheduler, TickForAnUntickedOrMissingRowDoesNothing)
{
    UploadRig rig(false);
    storeAccounts(rig, {{"one", true, "10 seconds", "10"}, {"two", true, "10 seconds", "10"}});
    rig.scheduler->StartTimer();
    rig.accounts.selectRow(0);
    rig.accounts.setChecked(1, false);
    rig.scheduler->Timers(2);
    rig.scheduler->Timers(7);
    EXPECT_EQ(rig.accounts.currentRow(), 0);
    EXPECT_EQ(rig.cycle->uploadCount(), 0);
}

TEST(UploadScheduler, UploadNowWithoutFlaggedAccounts)
{
    UploadRig rig(false);
    storeAccounts(rig, {{"one", false, "10 seconds", "10"}});
    const auto result = rig.scheduler->mnuupload_now_Click();
    EXPECT_EQ(result.flagged, 0);
    EXPECT_EQ(rig.prompter.texts(), QStringList({"No FTP accounts selected"}));
    EXPECT_EQ(rig.prompter.shown().front().icon, Prompter::Icon::Information);
    EXPECT_EQ(rig.cycle->uploadCount(), 0);
}

TEST(UploadScheduler, UploadNowRunsEveryFlaggedAccountInOrder)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    UploadRig rig;
    storeAccounts(rig, {{"a", true, "Never", ""}, {"b", false, "Never", ""}, {"c", true, "Never", ""}});
    for (const QString name : {"a", "b", "c"}) {
        rig.saveAccount(name, "Host Name/Adress:", server.hostField());
        rig.saveAccount(name, "User ID:", FtpServer::kUser);
        rig.saveAccount(name, "Password:", FtpServer::kPassword);
        rig.saveAccount(name, "Destination filename:", name);
    }
    rig.accounts.ValdItem();
    const auto result = rig.scheduler->mnuupload_now_Click();
    EXPECT_EQ(result.flagged, 2);
    EXPECT_EQ(result.delivered, 2);
    EXPECT_TRUE(QFile::exists(server.homeFile("a.jpg")));
    EXPECT_FALSE(QFile::exists(server.homeFile("b.jpg")));
    EXPECT_TRUE(QFile::exists(server.homeFile("c.jpg")));
    EXPECT_EQ(rig.accounts.currentName(), "c");
}

TEST(UploadScheduler, TickDuringACycleIsDeferredNotOverlapped)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    UploadRig rig;
    storeAccounts(rig, {{"slow", true, "10 seconds", "10"}});
    rig.saveAccount("slow", "Host Name/Adress:", server.hostField());
    rig.saveAccount("slow", "User ID:", FtpServer::kUser);
    rig.saveAccount("slow", "Password:", FtpServer::kPassword);
    rig.saveOption("Sound", "1");
    rig.saveOption("SoundSec", "1");
    rig.accounts.ValdItem();

    // While the first cycle waits after its beep, two more ticks and an Upload Now arrive.
    QTimer::singleShot(100, rig.scheduler.get(), [&rig] {
        rig.scheduler->Timers(1);
        rig.scheduler->Timers(1);
        EXPECT_TRUE(rig.scheduler->mnuupload_now_Click().deferred);
        EXPECT_EQ(rig.scheduler->pendingCount(), 2);
    });
    rig.scheduler->Timers(1);
    EXPECT_FALSE(rig.scheduler->isCycleRunning());
    EXPECT_EQ(rig.scheduler->pendingCount(), 0);
    EXPECT_EQ(rig.cycle->uploadCount(), 3); // the tick, one deferred tick, the deferred Upload Now
    EXPECT_EQ(rig.status.overlaps, 0);
}

TEST(UploadScheduler, ConstantlyUploadsBackToBackAndTheWindowStaysServed)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    UploadRig rig;
    storeAccounts(rig, {{"fast", true, "Constantly", "0"}});
    rig.saveAccount("fast", "Host Name/Adress:", server.hostField());
    rig.saveAccount("fast", "User ID:", FtpServer::kUser);
    rig.saveAccount("fast", "Password:", FtpServer::kPassword);
    rig.accounts.ValdItem();
    rig.scheduler->StartTimer();

    int otherEvents = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&otherEvents] { ++otherEvents; });
    other.start(20);
    QElapsedTimer clock;
    clock.start();
    while (rig.cycle->uploadCount() < 5 && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    rig.scheduler->StopTimer();
    EXPECT_GE(rig.cycle->uploadCount(), 5);
    EXPECT_GT(otherEvents, 0);
    EXPECT_EQ(rig.status.overlaps, 0);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}
} // namespace
