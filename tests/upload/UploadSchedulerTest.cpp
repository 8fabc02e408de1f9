#include "SetClock.h"
#include "UploadRig.h"
#include "common/DateTimeText.h"
#include "upload/TimerSet.h"
#include "upload/UploadMonitor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
using Outcome = UploadCycle::Outcome;
using namespace std::chrono_literals;

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

// The turns the scheduler gave, as rows with their outcome and when they ended.
struct Turn
{
    int row;
    Outcome outcome;
    qint64 endedMs;
};

class TurnRecorder
{
public:
    explicit TurnRecorder(UploadScheduler& scheduler)
    {
        m_clock.start();
        QObject::connect(&scheduler, &UploadScheduler::cycleFinished, &scheduler,
                         [this](int row, Outcome outcome) {
                             turns.push_back({row, outcome, m_clock.elapsed()});
                         });
    }
    int count(int row) const
    {
        return int(std::count_if(turns.begin(), turns.end(), [row](const Turn& t) { return t.row == row; }));
    }
    QList<qint64> endsOf(int row) const
    {
        QList<qint64> ends;
        for (const Turn& t : turns)
            if (t.row == row)
                ends << t.endedMs;
        return ends;
    }
    // Serves events for a while.
    void run(std::chrono::milliseconds duration)
    {
        QEventLoop loop;
        QTimer::singleShot(duration, &loop, &QEventLoop::quit);
        loop.exec();
    }

    std::vector<Turn> turns;

private:
    QElapsedTimer m_clock;
};

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
        // An account without an interval of its own has none, whatever the account before it has.
        {{{"ten", false, "10 seconds", "10"}, {"none", true, "", ""}}, "", "Click 'Upload now' to upload"},
        {{{"ten", true, "10 seconds", "10"}, {"none", true, "", ""}}, "1:10000", "Upload every 10 seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status.toStdString());
        UploadRig rig(UploadRig::Camera::None);
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

TEST(TimerSet, ReplacesOnSetRefusesWhatDoesNotFitAndNeverSpinsForAlwaysDue)
{
    TimerSet timers;
    EXPECT_TRUE(timers.set(3, 1000));
    EXPECT_TRUE(timers.set(3, 0));
    EXPECT_EQ(timers.count(), 1);
    EXPECT_EQ(timers.interval(3), 0);
    EXPECT_EQ(timers.alwaysDue(), QList<int>{3});
    EXPECT_FALSE(timers.set(4, 2147484000));
    EXPECT_FALSE(timers.set(5, -1));
    EXPECT_FALSE(timers.has(4));
    int ticks = 0;
    QObject::connect(&timers, &TimerSet::tick, &timers, [&ticks](int id) { ticks += id; });
    QTest::qWait(100);
    EXPECT_EQ(ticks, 0) << "an always-due id does not tick";
    EXPECT_TRUE(timers.set(3, 10));
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 6; }, 5000)) << "timer 3 repeats";
    EXPECT_TRUE(timers.alwaysDue().isEmpty());
    timers.killAll();
    EXPECT_EQ(timers.count(), 0);
}

TEST(UploadScheduler, NothingRunsForUntickedMissingOrUnflaggedRows)
{
    UploadRig rig(UploadRig::Camera::None);
    storeAccounts(rig, {{"one", true, "10 seconds", "10"}, {"two", true, "10 seconds", "10"}});
    rig.scheduler->StartTimer();
    rig.accounts.selectRow(0);
    rig.accounts.setChecked(1, false);
    rig.scheduler->Timers(2);
    rig.scheduler->Timers(7);
    EXPECT_EQ(rig.scheduler->pendingCount(), 0);
    QTest::qWait(50);
    EXPECT_EQ(rig.accounts.currentRow(), 0);
    EXPECT_TRUE(rig.prompter.texts().isEmpty());

    rig.accounts.setChecked(0, false);
    QSignalSpy finished(rig.scheduler.get(), &UploadScheduler::uploadNowFinished);
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.front(), QVariantList({0, 0}));
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
    QSignalSpy finished(rig.scheduler.get(), &UploadScheduler::uploadNowFinished);
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(finished.front(), QVariantList({2, 2}));
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList({"a.jpg", "c.jpg"}));
    EXPECT_EQ(rig.accounts.currentName(), "c");
}

// A tick never runs a cycle inside itself; ticks of other accounts and an Upload Now that arrive
// while a cycle runs wait for it (one request per account) and run after it, Upload Now first.
// Ticks of the account whose cycle runs are spent: that cycle is their upload.
TEST_F(SchedulerOnServer, TicksAreDeferredAndWhatArrivesDuringACycleWaitsForIt)
{
    storeAccounts(rig, {{"slow", true, "10 seconds", "10"}, {"other", true, "10 seconds", "10"}}, &server);
    rig.saveOption("Sound", "1");
    rig.saveOption("SoundSec", "1");
    rig.accounts.ValdItem();
    TurnRecorder recorder(*rig.scheduler);

    rig.scheduler->Timers(1);
    EXPECT_FALSE(rig.scheduler->isCycleRunning()) << "not inside the tick";
    ASSERT_TRUE(QTest::qWaitFor([this] { return rig.scheduler->isCycleRunning(); }, 2000));
    // While the first cycle waits after its beep, two more of its ticks, one of the other account
    // and an Upload Now arrive.
    rig.scheduler->Timers(1);
    rig.scheduler->Timers(1);
    rig.scheduler->Timers(2);
    rig.scheduler->Timers(2);
    rig.scheduler->mnuupload_now_Click();
    EXPECT_EQ(rig.scheduler->pendingCount(), 2);
    QSignalSpy idle(rig.scheduler.get(), &UploadScheduler::idle);
    ASSERT_TRUE(idle.wait(20000));
    EXPECT_EQ(rig.scheduler->pendingCount(), 0);
    // The tick, the Upload Now of both accounts, the other account's tick.
    std::vector<int> rows;
    for (const Turn& turn : recorder.turns)
        rows.push_back(turn.row);
    EXPECT_EQ(rows, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(rig.sound.beeps, 2) << "the Upload Now makes no sound";
    EXPECT_EQ(rig.status.overlaps, 0);
}

// One tick gives at most one cycle: a camera that is slow to deliver (or gone) makes no second
// upload of the same picture right after the first, nor a second failure line.
TEST_F(SchedulerOnServer, TicksDuringTheAccountsOwnCycleAreSpent)
{
    storeAccounts(rig, {{"cam", true, "10 seconds", "10"}}, &server);
    rig.fake->stillDelayMs = 300;
    TurnRecorder recorder(*rig.scheduler);
    for (const bool delivering : {true, false}) {
        SCOPED_TRACE(delivering ? "slow camera" : "camera gone");
        rig.fake->delivering = delivering;
        recorder.turns.clear();
        const int requests = rig.fake->stillRequests;
        rig.scheduler->Timers(1);
        ASSERT_TRUE(QTest::qWaitFor([this] { return rig.scheduler->isCycleRunning(); }, 2000));
        for (int tick = 0; tick < 3; ++tick) {
            QTest::qWait(50);
            rig.scheduler->Timers(1);
        }
        EXPECT_EQ(rig.scheduler->pendingCount(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.turns.empty(); }, 5000));
        recorder.run(700ms);
        ASSERT_EQ(recorder.turns.size(), 1u);
        EXPECT_EQ(recorder.turns[0].outcome, delivering ? Outcome::Delivered : Outcome::Failed);
        EXPECT_EQ(rig.fake->stillRequests, requests + 1);
    }
    // The next tick after the cycle runs again.
    rig.fake->delivering = true;
    recorder.turns.clear();
    rig.scheduler->Timers(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.turns.empty(); }, 5000));
    EXPECT_EQ(recorder.turns[0].outcome, Outcome::Delivered);
    EXPECT_EQ(rig.log.text().count("Picture uploaded!"), 2);
}

// Turns go by rows among the accounts that ticked, and "Constantly" comes after them: while its
// cycle runs, two accounts tick (the second one twice); then the first, the second (once), and
// "Constantly" again.
TEST_F(SchedulerOnServer, TickedAccountsInRowOrderBeforeConstantly)
{
    storeAccounts(
        rig,
        {{"a", true, "10 seconds", "10"}, {"b", true, "10 seconds", "10"}, {"c", true, "Constantly", "0"}},
        &server);
    rig.fake->stillDelayMs = 400;
    TurnRecorder recorder(*rig.scheduler);
    rig.scheduler->StartTimer();
    ASSERT_TRUE(QTest::qWaitFor([this] { return rig.scheduler->isCycleRunning(); }, 2000));
    rig.scheduler->Timers(2);
    rig.scheduler->Timers(1);
    rig.scheduler->Timers(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.turns.size() >= 5; }, 10000));
    rig.scheduler->stop(false);
    std::string sequence;
    for (const Turn& turn : recorder.turns)
        sequence += char('a' + turn.row);
    EXPECT_EQ(sequence.substr(0, 5), "cabcc");
}

// The back-off on the scheduler's clock, the whole ladder: the first wait is a minute (the interval
// is shorter), then each wait doubles up to a quarter of an hour. A tick before the time the log
// gives is spent; one at that time tries again.
TEST(UploadSchedulerBackoff, TheWholeLadderOnTheSchedulersClock)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    UploadRig rig;
    storeAccounts(rig, {{"dead", true, "10 seconds", "10"}}, &server);
    server.stop(); // nobody listens on its port any more: every try fails at once
    SetClock clock(QDateTime(QDate(2024, 12, 6), QTime(1, 0)));
    rig.scheduler->setClock(clock);
    rig.cycle->setClock(clock);
    rig.scheduler->StartTimer();
    TurnRecorder recorder(*rig.scheduler);
    const auto tick = [&] {
        const size_t before = recorder.turns.size();
        rig.scheduler->Timers(1);
        return QTest::qWaitFor([&] { return recorder.turns.size() > before; }, 5000);
    };
    for (const int minutes : {1, 2, 4, 8, 15, 15}) {
        SCOPED_TRACE(minutes);
        const QDateTime tried = clock.now();
        ASSERT_TRUE(tick());
        EXPECT_EQ(recorder.turns.back().outcome, Outcome::NotConnected);
        const QDateTime next = tried.addSecs(minutes * 60);
        EXPECT_EQ(rig.scheduler->nextTry("dead"), next);
        EXPECT_TRUE(rig.log.text().endsWith("\r\nNext try at " + generalDateTimeText(next)))
            << rig.log.text().right(100).toStdString();

        clock.set(next.addSecs(-1));
        const size_t turns = recorder.turns.size();
        rig.scheduler->Timers(1);
        EXPECT_EQ(rig.scheduler->pendingCount(), 0) << "a tick before the time is spent";
        QTest::qWait(20);
        EXPECT_EQ(recorder.turns.size(), turns);
        clock.set(next);
    }
    // A connection ends the wait and starts the ladder over.
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    rig.accounts.set(&Account::host, server.hostField());
    ASSERT_TRUE(tick());
    EXPECT_EQ(recorder.turns.back().outcome, Outcome::Delivered);
    EXPECT_EQ(rig.scheduler->nextTry("dead"), std::nullopt);
}

// What the status bar and the tray say of the next upload comes from the scheduler's timers and its
// back-off, on its clock.
TEST(UploadSchedulerNextDue, TheSoonestTimerOrRetryWithItsAccount)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    UploadRig rig;
    storeAccounts(rig,
                  {{"slow", true, "1 minute", "60"},
                   {"quick", true, "Custom", "45"},
                   {"off", false, "10 seconds", "10"}},
                  &server);
    SetClock clock(QDateTime(QDate(2026, 12, 7), QTime(7, 15, 0)));
    rig.scheduler->setClock(clock);
    rig.cycle->setClock(clock);
    UploadMonitor monitor(*rig.scheduler, *rig.cycle, rig.accounts);
    monitor.setClock(clock);
    EXPECT_EQ(rig.scheduler->nextDue(), std::nullopt);
    EXPECT_EQ(monitor.statusText(), "Click 'Upload now' to upload");
    rig.scheduler->StartTimer();
    const std::optional<UploadScheduler::Due> due = rig.scheduler->nextDue();
    ASSERT_TRUE(due);
    EXPECT_EQ(due->account, "quick");
    EXPECT_EQ(due->at, QDateTime(QDate(2026, 12, 7), QTime(7, 15, 45)));
    EXPECT_EQ(monitor.statusText(), "Next upload 07:15:45 (quick)");

    // A delivered upload, then a failed connection: the retry time of the back-off is the next.
    rig.accounts.selectRow(1);
    ASSERT_EQ(rig.runCycle(true), Outcome::Delivered);
    // The timers run on real time while the clock stands: a cycle that took over half a second
    // on a busy machine brings the quick timer a second nearer.
    const std::optional<UploadScheduler::Due> afterCycle = rig.scheduler->nextDue();
    ASSERT_TRUE(afterCycle);
    EXPECT_EQ(afterCycle->account, "quick");
    EXPECT_GE(afterCycle->at, QDateTime(QDate(2026, 12, 7), QTime(7, 15, 40)));
    EXPECT_LE(afterCycle->at, QDateTime(QDate(2026, 12, 7), QTime(7, 15, 45)));
    EXPECT_EQ(monitor.statusText(), "Last upload 07:15:00 (quick): uploaded; next upload " +
                                        afterCycle->at.toString("HH:mm:ss") + " (quick)");
    server.stop();
    clock.advanceSeconds(30);
    TurnRecorder recorder(*rig.scheduler);
    rig.scheduler->Timers(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.turns.empty(); }, 10000));
    EXPECT_EQ(recorder.turns.back().outcome, Outcome::NotConnected);
    EXPECT_TRUE(
        monitor.statusText().startsWith("Last upload 07:15:30 (slow) failed: Couldn't connect to server"))
        << monitor.statusText().toStdString();
    EXPECT_EQ(rig.scheduler->nextTry("slow"), clock.now().addSecs(60));
    rig.scheduler->StopTimer();
    EXPECT_EQ(rig.scheduler->nextDue(), std::nullopt);
    EXPECT_FALSE(monitor.statusText().contains("next")) << monitor.statusText().toStdString();
}

TEST_F(SchedulerOnServer, ConstantlyUploadsBackToBackAndTheWindowStaysServed)
{
    storeAccounts(rig, {{"fast", true, "Constantly", "0"}}, &server);
    rig.scheduler->StartTimer();
    int otherEvents = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, &other, [&otherEvents] { ++otherEvents; });
    other.start(20);
    EXPECT_TRUE(QTest::qWaitFor([this] { return rig.cycle->uploadCount() >= 5; }, 20000));
    rig.scheduler->StopTimer();
    EXPECT_GT(otherEvents, 0);
    EXPECT_EQ(rig.status.overlaps, 0);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

// A slow but healthy account that is due again whenever its cycle ends does not keep "Constantly"
// from its turns.
TEST(UploadSchedulerFairness, ASlowAccountAndConstantlyTakeTurns)
{
    FtpServer slowServer;
    FtpServer fastServer;
    ASSERT_TRUE(slowServer.start({.slowStorMs = 400})) << slowServer.startError().toStdString();
    ASSERT_TRUE(fastServer.start()) << fastServer.startError().toStdString();
    UploadRig rig;
    storeAccounts(rig, {{"slow", true, "Custom", "1"}, {"always", true, "Constantly", "0"}});
    rig.useServer(slowServer, QString(), "slow");
    rig.useServer(fastServer, QString(), "always");
    rig.accounts.ValdItem();
    rig.scheduler->StartTimer();
    rig.scheduler->timers().set(1, 200); // due again before its own upload ends
    TurnRecorder recorder(*rig.scheduler);
    recorder.run(3s);
    rig.scheduler->stop(false);

    // Each round gives both a turn, so the slow one never has three in a row (two only where one
    // round ends and the next begins).
    EXPECT_GE(recorder.count(0), 3);
    EXPECT_GE(recorder.count(1), recorder.count(0) / 2);
    std::string sequence;
    for (const Turn& turn : recorder.turns)
        sequence += turn.row == 0 ? 'S' : 'c';
    EXPECT_EQ(sequence.find("SSS"), std::string::npos) << sequence;
    for (const Turn& turn : recorder.turns)
        EXPECT_EQ(turn.outcome, Outcome::Delivered);
}

// Accounts whose server never greets: each failed connection holds the account back (first wait,
// then twice as long), the log says until when, and the others keep their turns meanwhile.
class HeldBackTest : public ::testing::Test
{
protected:
    static FtpTimeouts quickTimeouts()
    {
        FtpTimeouts timeouts = UploadRig::shortTimeouts();
        timeouts.connect = 1000ms;
        return timeouts;
    }
    void SetUp() override
    {
        ASSERT_TRUE(good.start()) << good.startError().toStdString();
        ASSERT_TRUE(dead.start({.mute = true})) << dead.startError().toStdString();
    }

    FtpServer good;
    FtpServer dead;
    UploadRig rig{UploadRig::Camera::Fake, quickTimeouts(), {.first = 700ms, .longest = 1400ms}};
};

// While the dead account waits a whole second for its server, the good one goes on uploading.
TEST_F(HeldBackTest, TwoAccountsOneDead)
{
    storeAccounts(rig, {{"dead", true, "Custom", "1"}, {"good", true, "Custom", "1"}}, &good);
    rig.useServer(dead, QString(), "dead");
    rig.accounts.ValdItem();
    rig.scheduler->StartTimer();
    rig.scheduler->timers().set(1, 100);
    rig.scheduler->timers().set(2, 100);
    TurnRecorder recorder(*rig.scheduler);
    recorder.run(3500ms);
    rig.scheduler->stop(false);

    // Tries end at about 1.1 s and 2.8 s (a second of waiting each, 0.7 s held back between); the
    // third would come after 1.4 s held back.
    const QList<qint64> tries = recorder.endsOf(0);
    ASSERT_EQ(tries.size(), 2);
    EXPECT_GE(tries[1] - tries[0], 700 + 1000 - 50);
    EXPECT_EQ(dead.commands().count("CONNECT"), tries.size());
    for (const Turn& turn : recorder.turns)
        EXPECT_EQ(turn.outcome, turn.row == 0 ? Outcome::NotConnected : Outcome::Delivered);
    EXPECT_GE(recorder.count(1), 25) << "of about 35, the waits included";
    EXPECT_EQ(rig.log.text().count("\r\nNo picture uploaded\r\nNext try at "), tries.size());
}

TEST_F(HeldBackTest, SixAccountsOneDeadKeepTheirTurns)
{
    storeAccounts(rig,
                  {{"fast", true, "Custom", "3"},
                   {"dead", true, "Custom", "3"},
                   {"b", true, "Custom", "10"},
                   {"c", true, "Custom", "10"},
                   {"d", true, "Custom", "10"},
                   {"e", true, "Custom", "10"}},
                  &good);
    rig.useServer(dead, QString(), "dead");
    rig.accounts.ValdItem();
    rig.scheduler->StartTimer();
    // A tenth of the stored intervals.
    rig.scheduler->timers().set(1, 300);
    rig.scheduler->timers().set(2, 300);
    for (int id = 3; id <= 6; ++id)
        rig.scheduler->timers().set(id, 1000);
    TurnRecorder recorder(*rig.scheduler);
    recorder.run(3s);
    rig.scheduler->stop(false);

    EXPECT_GE(recorder.count(0), 8) << "of about 10";
    EXPECT_LE(recorder.count(1), 2);
    for (int row = 2; row < 6; ++row)
        EXPECT_GE(recorder.count(row), 2) << row;
}

// The try comes when the log says, not at the account's next own tick: with ticks every 0.7 s, after
// a second, then after two seconds (ticks meanwhile are spent).
TEST_F(HeldBackTest, TheNextTryComesAtTheTimeTheLogGives)
{
    UploadRig quick{UploadRig::Camera::Fake, quickTimeouts(), {.first = 1000ms, .longest = 2000ms}};
    storeAccounts(quick, {{"dead", true, "10 seconds", "10"}}, &good);
    good.stop();
    quick.scheduler->StartTimer();
    quick.scheduler->timers().set(1, 700);
    std::vector<std::pair<QDateTime, std::optional<QDateTime>>> tries; // when it ended, the next try
    QObject::connect(quick.scheduler.get(), &UploadScheduler::cycleFinished, quick.scheduler.get(),
                     [&](int, Outcome) {
                         tries.emplace_back(QDateTime::currentDateTime(), quick.scheduler->nextTry("dead"));
                     });
    quick.scheduler->Timers(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tries.size() >= 3; }, 6000)) << tries.size();
    quick.scheduler->stop(false);
    ASSERT_GE(tries.size(), 3u);
    for (size_t n = 1; n < 3; ++n) {
        ASSERT_TRUE(tries[n - 1].second.has_value());
        const qint64 late = tries[n - 1].second->msecsTo(tries[n].first);
        EXPECT_GE(late, 0) << "try " << n << " came before the time the log gave";
        EXPECT_LT(late, 250) << "try " << n;
    }
    EXPECT_NEAR(double(tries[0].first.msecsTo(*tries[0].second)), 1000, 50);
    EXPECT_NEAR(double(tries[1].first.msecsTo(*tries[1].second)), 2000, 50);
}

// A server that accepts the connection and never answers holds up only its own account, whatever
// that account's options: one that uploads only changed pictures, or asks first, is connected ahead
// of its turn as well.
TEST_F(HeldBackTest, ADeadServerHoldsUpNoOtherAccountWhateverTheOptions)
{
    for (const char* option : {"Only when changed", "Ask"}) {
        SCOPED_TRACE(option);
        UploadRig quick{UploadRig::Camera::Fake, quickTimeouts(), {.first = 700ms, .longest = 1400ms}};
        storeAccounts(quick, {{"dead", true, "Custom", "1"}, {"good", true, "Custom", "1"}}, &good);
        quick.useServer(dead, QString(), "dead");
        if (QString(option) == "Ask")
            quick.saveOption("Ask", "1");
        else
            quick.saveAccount("dead", option, "1");
        quick.accounts.ValdItem();
        quick.scheduler->StartTimer();
        quick.scheduler->timers().set(1, 100);
        quick.scheduler->timers().set(2, 100);
        TurnRecorder recorder(*quick.scheduler);
        recorder.run(3500ms);
        quick.scheduler->stop(false);
        EXPECT_GE(recorder.count(1), 25) << "of about 35, the waits included";
        EXPECT_GE(recorder.count(0), 1);
        EXPECT_LE(recorder.count(0), 2);
    }
}

// A refused upload is no connection failure; Upload Now and a change of the account's settings end
// the wait at once.
TEST_F(HeldBackTest, RefusedUploadsAreNotHeldBackAndUploadNowOrNewSettingsEndTheWait)
{
    storeAccounts(rig, {{"refused", true, "10 seconds", "10"}, {"dead", true, "10 seconds", "10"}}, &good);
    rig.saveAccount("refused", "Initial Remote Site Folder:", "ro/");
    rig.useServer(dead, QString(), "dead");
    rig.accounts.ValdItem();
    rig.scheduler->StartTimer();
    rig.scheduler->Timers(1);
    rig.scheduler->Timers(2);
    QSignalSpy idle(rig.scheduler.get(), &UploadScheduler::idle);
    ASSERT_TRUE(idle.wait(5000));
    EXPECT_EQ(rig.scheduler->nextTry("refused"), std::nullopt);
    ASSERT_NE(rig.scheduler->nextTry("dead"), std::nullopt);
    EXPECT_GE(*rig.scheduler->nextTry("dead"), QDateTime::currentDateTime().addMSecs(9000))
        << "the longer of the first wait and the interval";
    EXPECT_EQ(rig.log.text().count("Next try at"), 1);

    // A tick while held back is spent.
    rig.scheduler->Timers(2);
    EXPECT_EQ(rig.scheduler->pendingCount(), 0);

    // Upload Now tries at once, and its own failure starts over with the first wait (with a short
    // interval now, 0.7 s rather than the doubled 1.4 s).
    rig.scheduler->timers().set(2, 300);
    const int connects = int(dead.commands().count("CONNECT"));
    QSignalSpy uploadNow(rig.scheduler.get(), &UploadScheduler::uploadNowFinished);
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(uploadNow.wait(5000));
    EXPECT_GE(dead.commands().count("CONNECT"), connects + 1);
    ASSERT_NE(rig.scheduler->nextTry("dead"), std::nullopt);
    EXPECT_LE(*rig.scheduler->nextTry("dead"), QDateTime::currentDateTime().addMSecs(1000));

    // Editing the account's host ends the wait; loading it unchanged does not.
    rig.accounts.selectRow(1);
    EXPECT_NE(rig.scheduler->nextTry("dead"), std::nullopt);
    rig.accounts.set(&Account::host, good.hostField());
    EXPECT_EQ(rig.scheduler->nextTry("dead"), std::nullopt);
}

// An account that uploads only changed pictures keeps the login of its upload for its next turn;
// when the picture did not change, that login waits for the next turn rather than being made anew
// on every one.
TEST_F(SchedulerOnServer, AnUnchangedPictureKeepsItsLoginForTheNextTurn)
{
    storeAccounts(rig, {{"cam", true, "10 seconds", "10"}}, &server);
    rig.saveAccount("cam", "Only when changed", "1");
    rig.accounts.ValdItem();
    rig.fake->stillScene = true;
    rig.scheduler->StartTimer();
    TurnRecorder recorder(*rig.scheduler);
    for (int turn = 1; turn <= 5; ++turn) {
        rig.scheduler->Timers(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return int(recorder.turns.size()) == turn; }, 5000));
    }
    rig.scheduler->stop(false);
    QList<Outcome> outcomes;
    for (const Turn& turn : recorder.turns)
        outcomes << turn.outcome;
    EXPECT_EQ(outcomes, QList<Outcome>({Outcome::Delivered, Outcome::Unchanged, Outcome::Unchanged,
                                        Outcome::Unchanged, Outcome::Unchanged}));
    EXPECT_EQ(server.commands().count("USER cam"), 1) << "the upload's login, kept since";
}

// The first stop lets the running cycle finish and drops what waits; a stop that cancels ends a
// transfer to a server that went silent at once.
TEST(UploadSchedulerStop, FinishOrCancelTheRunningCycleAndDropTheRest)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "finish");
        FtpServer server;
        ASSERT_TRUE(server.start({.stallAt = cancel ? "STOR" : "", .slowStorMs = cancel ? 0 : 500}));
        UploadRig rig;
        storeAccounts(rig, {{"a", true, "10 seconds", "10"}, {"b", true, "10 seconds", "10"}}, &server);
        TurnRecorder recorder(*rig.scheduler);
        rig.scheduler->Timers(1);
        ASSERT_TRUE(
            QTest::qWaitFor([&server] { return server.commands().join(' ').contains("STOR"); }, 5000));
        rig.scheduler->Timers(2);
        rig.scheduler->mnuupload_now_Click();
        QSignalSpy stopped(rig.scheduler.get(), &UploadScheduler::stopped);
        QElapsedTimer clock;
        clock.start();
        rig.scheduler->stop(cancel);
        ASSERT_TRUE(stopped.count() == 1 || stopped.wait(5000));
        if (cancel) {
            EXPECT_LT(clock.elapsed(), 1000);
        }
        QTest::qWait(100);
        EXPECT_EQ(stopped.count(), 1);
        ASSERT_EQ(recorder.turns.size(), 1u) << "nothing that waited ran";
        EXPECT_EQ(recorder.turns[0].outcome, cancel ? Outcome::Stopped : Outcome::Delivered);
        EXPECT_EQ(rig.log.text().endsWith("Disconnected"), true);
        EXPECT_EQ(rig.log.text().contains("\r\nCancelled\r\n"), cancel);
        rig.scheduler->Timers(1);
        rig.scheduler->mnuupload_now_Click();
        EXPECT_EQ(rig.scheduler->pendingCount(), 0);
    }
}
} // namespace

// The time window through the scheduler, on the cycle's clock: ticks outside it run no upload, Upload
// Now does; a "Constantly" account outside its window rests instead of running empty cycles back to
// back, and starts again once the window opens.
TEST_F(SchedulerOnServer, TimeWindowHoldsTimedUploadsAndConstantlyRestsOutsideIt)
{
    storeAccounts(rig, {{"night", true, "10 seconds", "10"}, {"always", false, "Constantly", "0"}}, &server);
    for (const QString name : {"night", "always"}) {
        rig.saveAccount(name, "Only hours", "1");
        rig.saveAccount(name, "TimeFrom", "22:00");
        rig.saveAccount(name, "TimeTo", "06:00");
    }
    rig.accounts.ValdItem();
    const QDate today = QDate::currentDate();
    SetClock clock(QDateTime::currentDateTime());
    rig.cycle->setClock(clock);
    TurnRecorder recorder(*rig.scheduler);
    const auto tick = [&](const char* time) {
        clock.set(QDateTime(today, QTime::fromString(time, "HH:mm")));
        const size_t before = recorder.turns.size();
        rig.scheduler->Timers(1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.turns.size() > before; }, 10000)) << time;
        return recorder.turns.back().outcome;
    };
    EXPECT_EQ(tick("23:00"), Outcome::Delivered);
    EXPECT_EQ(tick("05:59"), Outcome::Delivered);
    EXPECT_EQ(tick("12:00"), Outcome::OutsideTimeWindow);
    QSignalSpy uploadNow(rig.scheduler.get(), &UploadScheduler::uploadNowFinished);
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(uploadNow.wait(10000));
    EXPECT_EQ(uploadNow.front(), QVariantList({1, 1}));

    rig.accounts.setChecked(0, false);
    rig.accounts.setChecked(1, true);
    rig.scheduler->StartTimer();
    recorder.turns.clear();
    recorder.run(1500ms);
    EXPECT_GE(recorder.count(1), 1);
    EXPECT_LE(recorder.count(1), 3) << "one look a second outside the window";
    EXPECT_EQ(rig.cycle->uploadCount(), 3);
    clock.set(QDateTime(today, QTime(22, 0)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.cycle->uploadCount() >= 6; }, 5000));
    rig.scheduler->StopTimer();
}

// "Only when changed" on real frames of the GStreamer test pattern: a still one goes up once, the
// scrolling colour bars (about a fifth of the cells change between two turns) every time. Timed
// turns come from the scheduler, a few frames apart.
TEST(UploadSchedulerTestPattern, OnlyWhenChangedUploadsAMovingPictureAndSkipsAStillOne)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    UploadRig rig(UploadRig::Camera::TestPattern);
    storeAccounts(rig, {{"cam", true, "10 seconds", "10"}}, &server);
    rig.saveAccount("cam", "Only when changed", "1");
    rig.saveAccount("cam", "Change threshold", "5");
    rig.accounts.ValdItem();
    const QList<CaptureControl> controls = rig.capture->controls();
    const auto pattern = std::find_if(controls.begin(), controls.end(), [](const CaptureControl& c) {
        return c.name == QLatin1String("pattern");
    });
    ASSERT_NE(pattern, controls.end());
    TurnRecorder recorder(*rig.scheduler);
    const auto turns = [&](const char* choice) {
        rig.capture->setControl("pattern", int(pattern->choices.indexOf(choice)));
        // Pictures flow again (a slow machine takes its time), and the new pattern is in them.
        EXPECT_TRUE(waitForPicture(*rig.capture));
        QTest::qWait(200);
        // A turn whose still did not come in time (a machine slowed down by a sanitizer) is taken
        // again; it compares nothing.
        QList<Outcome> outcomes;
        for (int tries = 0; outcomes.size() < 4 && tries < 8; ++tries) {
            const size_t before = recorder.turns.size();
            rig.scheduler->Timers(1);
            EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.turns.size() > before; }, 10000));
            if (recorder.turns.back().outcome != Outcome::Failed)
                outcomes << recorder.turns.back().outcome;
            QTest::qWait(150);
        }
        return outcomes;
    };
    EXPECT_EQ(turns("Solid color"), QList<Outcome>({Outcome::Delivered, Outcome::Unchanged,
                                                    Outcome::Unchanged, Outcome::Unchanged}));
    EXPECT_EQ(turns("SMPTE 100% color bars"), QList<Outcome>(4, Outcome::Delivered));
    EXPECT_EQ(rig.log.text().count("Picture unchanged, not uploaded"), 3) << rig.log.text().toStdString();
    for (const QString& text : rig.prompter.texts())
        EXPECT_TRUE(text.startsWith("Failed to save picture, ")) << text.toStdString();
}

// Accounts on different cameras: each picture comes from the account's own camera; a camera that
// is unplugged or not there fails only the accounts that name it, with its name, and no other
// camera's picture stands in for it.
TEST_F(SchedulerOnServer, EachAccountUploadsItsOwnCamerasPictureAndAMissingCameraFailsOnlyItsAccounts)
{
    rig.fake->addDriver("Yard");
    rig.fake->addDriver("Door");
    const QString yard = rig.fake->DriverIdentity(1);
    const QString door = rig.fake->DriverIdentity(2);
    const QString garage = QStringLiteral("Fake|Garage|Garage");
    rig.saveAccount("yard", "Camera", yard);
    rig.saveAccount("door", "Camera", door);
    rig.saveAccount("garage", "Camera", garage);
    rig.saveAccount("spare", "Camera", door); // not ticked: uses no camera
    storeAccounts(rig,
                  {{"desk", true, "Never", ""},
                   {"yard", true, "Never", ""},
                   {"door", true, "Never", ""},
                   {"garage", true, "Never", ""},
                   {"spare", false, "Never", ""}},
                  &server);
    EXPECT_EQ(rig.accounts.camerasInUse(), QStringList({yard, door, garage}));
    rig.capture->setCamerasInUse(rig.accounts.camerasInUse());
    rig.fake->unplugged << "Door";
    UploadMonitor monitor(*rig.scheduler, *rig.cycle, rig.accounts);

    QSignalSpy finished(rig.scheduler.get(), &UploadScheduler::uploadNowFinished);
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(finished.front(), QVariantList({4, 2}));
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList({"desk.jpg", "yard.jpg"}));
    const QImage yardPicture(QDir(server.home()).filePath("yard.jpg"));
    const QImage deskPicture(QDir(server.home()).filePath("desk.jpg"));
    ASSERT_FALSE(yardPicture.isNull());
    EXPECT_EQ(yardPicture.pixelColor(4, 4).green() > 200 && yardPicture.pixelColor(4, 4).red() < 60, true);
    EXPECT_NE(deskPicture.pixelColor(4, 4), yardPicture.pixelColor(4, 4));
    const QString log = rig.log.text();
    EXPECT_TRUE(
        log.contains("Failed to save picture, the camera \"Door\" is gone (unplugged or switched off)"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("Failed to save picture, the camera \"Garage\" is not connected"))
        << log.toStdString();
    // The tray's tooltip names each failing account's camera.
    EXPECT_TRUE(monitor.toolTip().contains("door failed (1 in a row): Failed to save picture, the camera "
                                           "\"Door\" is gone (unplugged or switched off)"))
        << monitor.toolTip().toStdString();
    EXPECT_FALSE(monitor.toolTip().contains("yard failed")) << monitor.toolTip().toStdString();

    // The door camera back: its account uploads its picture.
    rig.fake->unplugged.clear();
    finished.clear();
    rig.scheduler->mnuupload_now_Click();
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_EQ(finished.front(), QVariantList({4, 3}));
    const QImage doorPicture(QDir(server.home()).filePath("door.jpg"));
    EXPECT_GT(doorPicture.pixelColor(4, 4).blue(), 200);
}
