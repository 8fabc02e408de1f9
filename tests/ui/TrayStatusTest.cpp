#include "ui/TrayStatus.h"
#include "FtpServer.h"
#include "SetClock.h"
#include "UploadRig.h"
#include "ui/TrayIndicator.h"
#include "upload/UploadMonitor.h"

#include <gtest/gtest.h>

namespace {
using State = UploadMonitor::State;

// The notification area as the tests see it: every state with its tooltip, every notification.
class RecordingTray final : public TrayIndicator
{
public:
    void showState(State state, const QString& toolTip) override
    {
        if (states.empty() || states.back() != state)
            states.push_back(state);
        tip = toolTip;
    }
    void notify(const QString& title, const QString& text, bool failing) override
    {
        notices << (failing ? "failing: " : "working: ") + title + " | " + text;
    }

    std::vector<State> states;
    QString tip;
    QStringList notices;
};

// Uploads of the default account to a real server, by the timed cycle, with the monitor and the
// tray presenter over them, at a time the test sets.
class TrayStatusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        rig.useServer(server);
        rig.load();
        rig.cycle->setClock(clock);
        monitor.setClock(clock);
    }
    void password(const QString& text)
    {
        rig.saveAccount(AccountBook::kDefaultAccount, "Password:", text);
        rig.accounts.ValdItem();
    }

    FtpServer server;
    UploadRig rig;
    SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(7, 15, 0))};
    UploadMonitor monitor{*rig.scheduler, *rig.cycle, rig.accounts};
    RecordingTray tray;
    TrayStatus status{monitor, rig.options, tray};
};

TEST_F(TrayStatusTest, TheIconShowsUploadingAndFailingAndTheTooltipSaysWhatHappenedAndWhy)
{
    EXPECT_EQ(tray.states, std::vector<State>{State::Normal});
    EXPECT_EQ(tray.tip, "Velmora\nClick 'Upload now' to upload");
    EXPECT_EQ(monitor.statusText(), "Click 'Upload now' to upload");

    ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(tray.states, (std::vector<State>{State::Normal, State::Uploading, State::Normal}));
    EXPECT_EQ(tray.tip, "Velmora\nLast upload 07:15:00 (My Account): uploaded");
    EXPECT_EQ(monitor.statusText(), "Last upload 07:15:00 (My Account): uploaded");

    password("wrong");
    clock.advanceSeconds(60);
    ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::NotConnected);
    EXPECT_EQ(tray.states.back(), State::Failing);
    EXPECT_EQ(tray.tip, "Velmora\nMy Account failed (1 in a row): Couldn't connect to server: Server: 530 "
                        "Authentication failed.");
    EXPECT_EQ(monitor.statusText(), "Last upload 07:16:00 (My Account) failed: Couldn't connect to server: "
                                    "Server: 530 Authentication failed.");

    password(FtpServer::kPassword);
    ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(tray.states.back(), State::Normal);

    // Upload Settings open: the uploads are paused, and both places say so.
    monitor.setPaused(true);
    EXPECT_EQ(tray.tip, "Velmora\nUploads paused while Upload Settings is open");
    EXPECT_EQ(monitor.statusText(), "Uploads paused while Upload Settings is open");
    monitor.setPaused(false);
    EXPECT_EQ(monitor.statusText(), "Last upload 07:16:00 (My Account): uploaded");
}

TEST_F(TrayStatusTest, ThreeFailuresInARowGiveOneNotificationAndTheFirstSuccessAnother)
{
    password("wrong");
    for (int n = 0; n < 5; ++n)
        ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::NotConnected);
    EXPECT_EQ(tray.notices,
              QStringList{"failing: Uploads to My Account fail | 3 times in a row: Couldn't connect "
                          "to server: Server: 530 Authentication failed."});
    EXPECT_EQ(tray.tip, "Velmora\nMy Account failed (5 in a row): Couldn't connect to server: Server: 530 "
                        "Authentication failed.");
    password(FtpServer::kPassword);
    ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    ASSERT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    ASSERT_EQ(tray.notices.size(), 2);
    EXPECT_EQ(tray.notices.last(),
              "working: Uploads to My Account work again | The picture was uploaded at 07:15:00");

    // Two failures do not make a notice; with the option off three do not either.
    tray.notices.clear();
    password("wrong");
    for (int n = 0; n < 2; ++n)
        rig.runCycle(true);
    EXPECT_TRUE(tray.notices.isEmpty());
    rig.options.setNotify(false);
    rig.runCycle(true);
    password(FtpServer::kPassword);
    rig.runCycle(true);
    EXPECT_TRUE(tray.notices.isEmpty());
    EXPECT_EQ(tray.states.back(), State::Normal);
}
} // namespace
