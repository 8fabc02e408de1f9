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

void storeAccounts(UploadRig& rig, const std::vector<Stored>& accounts, const FtpServer* server = nullptr)
{
    int position = 1;
    for (const Stored& a : accounts) {
        rig.saveOption(QString("Account%1").arg(position++), a.name);
        rig.saveAccount(a.name, "Selected", a.selected ? "True" : "False");
        rig.saveAccount(a.name, "Upload image every:", a.every);
        rig.saveAccount(a.name, "Custom", a.seconds);
        rig.saveAccount(a.name, "Destination filename:", a.name);
        if (server)
            rig.useServer(*server, QString(), a.name);
    }
    rig.load();
}

TEST(UploadScheduler, OneTimerPerFlaggedRowAndTheStatusOfTheLastOne)
{
    const struct
    {
        std::vector<Stored> accounts;
        QString timers; // row id:interval in milliseconds
        QString status;
    } cases[] = {
        {{{"one", false, "1 minute", "60"},
          {"two", true, "10 seconds", "10"},
          {"three", false, "Week", "604800"}},
         "2:10000",
         "Upload every 10 seconds"},
        {{{"custom", true, "Custom", "45"}, {"never", true, "Never", ""}},
         "1:45000",
         "Click 'Upload now' to upload"},
        {{{"never", true, "Never", ""}, {"custom", true, "Custom", "45"}},
         "2:45000",
         "Upload every 45 second(s)"},
        {{{"fast", true, "Constantly", "0"}}, "1:0", "Upload constantly"},
        {{{"off", false, "10 seconds", "10"}}, "", "Click 'Upload now' to upload"},
        {{{"max", true, "Custom", "2147483"}, {"empty", true, "Custom", ""}},
         "1:2147483000",
         "Upload every  second(s)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        UploadRig rig(false);
        storeAccounts(rig, c.accounts);
        rig.scheduler->StartTimer();
        QStringList timers;
        for (int id = 1; id <= 4; ++id)
            if (rig.scheduler->timers().has(id))
                timers << QString("%1:%2").arg(id).arg(rig.scheduler->timers().interval(id));
        EXPECT_EQ(timers.join(' '), c.timers);
        EXPECT_EQ(rig.scheduler->timers().count(), timers.size());
        EXPECT_EQ(rig.status.uploadState(), c.status);
        rig.scheduler->StopTimer();
        EXPECT_EQ(rig.scheduler->timers().count(), 0);
    }
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
    QObject::connect(&timers, &TimerSet::tick, &timers, [&ticks](int id) { ticks += id; });
    QElapsedTimer clock;
    clock.start();
    while (ticks < 6 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_GE(ticks, 6) << "timer 3 repeats";
    timers.killAll();
    EXPECT_EQ(timers.count(), 0);
}

TEST(UploadScheduler, NothingRunsForUntickedMissingOrUnflaggedRows)
{
    UploadRig rig(false);
    storeAccounts(rig, {{"one", true, "10 seconds", "10"}, {"two", true, "10 seconds", "10"}});
    rig.scheduler->StartTimer();
    rig.accounts.selectRow(0);
    rig.accounts.setChecked(1, false);
    rig.scheduler->Timers(2);
    rig.scheduler->Timers(7);
    EXPECT_EQ(rig.accounts.currentRow(), 0);
    EXPECT_TRUE(rig.prompter.texts().isEmpty());

    rig.accounts.setChecked(0, false);
    EXPECT_EQ(rig.scheduler->mnuupload_now_Click().flagged, 0);
    EXPECT_EQ(rig.prompter.texts(), QStringList({"No FTP accounts selected"}));
    EXPECT_EQ(rig.prompter.shown().front().icon, Prompter::Icon::Information);
    EXPECT_EQ(rig.cycle->uploadCount(), 0);
}

class SchedulerOnServer : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.startError().toStdString(); }

    FtpServer server;
    UploadRig rig;
};

TEST_F(SchedulerOnServer, UploadNowRunsEveryFlaggedAccountInOrder)
{
    storeAccounts(rig, {{"a", true, "Never", ""}, {"b", false, "Never", ""}, {"c", true, "Never", ""}},
                  &server);
    const auto result = rig.scheduler->mnuupload_now_Click();
    EXPECT_EQ(result.flagged, 2);
    EXPECT_EQ(result.delivered, 2);
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList({"a.jpg", "c.jpg"}));
    EXPECT_EQ(rig.accounts.currentName(), "c");
}

TEST_F(SchedulerOnServer, TickDuringACycleIsDeferredNotOverlapped)
{
    storeAccounts(rig, {{"slow", true, "10 seconds", "10"}}, &server);
    rig.saveOption("Sound", "1");
    rig.saveOption("SoundSec", "1");
    rig.accounts.ValdItem();

    // While the first cycle waits after its beep, two more ticks and an Upload Now arrive.
    QTimer::singleShot(100, rig.scheduler.get(), [this] {
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

TEST_F(SchedulerOnServer, ConstantlyUploadsBackToBackAndTheWindowStaysServed)
{
    storeAccounts(rig, {{"fast", true, "Constantly", "0"}}, &server);
    rig.scheduler->StartTimer();
    int otherEvents = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, &other, [&otherEvents] { ++otherEvents; });
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
