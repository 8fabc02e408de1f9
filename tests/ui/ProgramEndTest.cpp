#include "ui/ProgramEnd.h"
#include "CaptureWait.h"
#include "FakeCapture.h"
#include "FtpServer.h"
#include "MovieProbe.h"
#include "ScriptedCaptureDialogs.h"
#include "WindowFixture.h"
#include "capture/GstCaptureComponent.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/StatusPanels.h"
#include "ui/TrayHost.h"
#include "upload/FtpLog.h"
#include "upload/UploadCycle.h"
#include "upload/UploadEngine.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
// The real windows on an engine with the capture double and the program's own time limits: the
// end of the program is asked for while something runs, and the recorder stands in for the end of
// the event loop.
class ProgramEndTest : public WindowFixture
{
protected:
    virtual std::unique_ptr<CaptureComponent> makeCapture()
    {
        auto capture = std::make_unique<FakeCapture>();
        fake = capture.get();
        return capture;
    }
    void SetUp() override
    {
        std::unique_ptr<CaptureComponent> capture = makeCapture();
        engine = std::make_unique<UploadEngine>(
            UploadEngine::Settings{dir.file("store.db"), dir.file("work")}, boxPrompter(), status, [] {},
            std::move(capture));
        end = std::make_unique<ProgramEnd>(*engine, [this](int endStatus) {
            exitStatus = endStatus;
            exitAfterMs = clock.elapsed();
        });
        clock.start();
    }
    void TearDown() override
    {
        // The process ends right after the event loop: the windows and the engine go quickly.
        QElapsedTimer teardown;
        teardown.start();
        tray.reset();
        mainWindow.reset();
        end.reset();
        engine.reset();
        EXPECT_LT(teardown.elapsed(), 500);
    }
    virtual Prompter& boxPrompter() { return prompter; }
    Regedit& store() override { return engine->store(); }
    QWidget& window() override { return loaded(); }
    MainWindow& loaded()
    {
        if (!mainWindow) {
            mainWindow = std::make_unique<MainWindow>(
                MainWindow::Dependencies{*engine, boxPrompter(), help, dialogs, captureDialogs, status,
                                         dir.file("velmora"), dir.path(), [this] { end->request(); }});
            mainWindow->showWindow();
        }
        return *mainWindow;
    }
    TrayHost& trayHost()
    {
        if (!tray)
            tray = std::make_unique<TrayHost>(
                engine->options(), [this]() -> MainWindow& { return loaded(); }, [this] { end->request(); });
        return *tray;
    }
    void trigger(const QString& action)
    {
        auto* found = loaded().findChild<QAction*>(action);
        ASSERT_NE(found, nullptr) << action.toStdString();
        found->trigger();
    }
    // One flagged account that uploads on Upload Now only.
    void makeAccount(const FtpServer& server)
    {
        makeAccounts({"Cam"});
        put(key("Cam"), "Host Name/Adress:", server.hostField());
        put(key("Cam"), "User ID:", FtpServer::kUser);
        put(key("Cam"), "Password:", FtpServer::kPassword);
        put(key("Cam"), "Selected", "True");
        put(key("Cam"), "TextTime", "1");
    }
    // Asks for the end the way the person would, and notes when.
    void askToEnd(bool fromTray)
    {
        clock.restart();
        if (fromTray)
            trayHost().popupMenu().findChild<QAction*>("mnuClose")->trigger();
        else
            trigger("exit");
    }
    bool waitForExit()
    {
        return QTest::qWaitFor([this] { return exitStatus >= 0; }, 5000);
    }

    StatusPanels status;
    ScriptedCaptureDialogs captureDialogs;
    FakeCapture* fake = nullptr;
    std::unique_ptr<UploadEngine> engine;
    std::unique_ptr<ProgramEnd> end;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<TrayHost> tray;
    QElapsedTimer clock;
    int exitStatus = -1;
    qint64 exitAfterMs = -1;
};

class ProgramEndExitTest : public ProgramEndTest, public ::testing::WithParamInterface<bool>
{
};

// File > Exit and the tray's Exit while an upload waits on a server that went silent at STOR: the
// windows go at once, the transfer is cancelled, the event loop ends well within two seconds, not
// after the server's minute.
TEST_P(ProgramEndExitTest, ExitDuringAnUploadToASilentServerEndsAtOnce)
{
    const bool fromTray = GetParam();
    FtpServer server;
    ASSERT_TRUE(server.start({.stallAt = "STOR"}));
    makeAccount(server);
    trigger("mnuupload_now");
    ASSERT_TRUE(QTest::qWaitFor([&server] { return server.commands().join(' ').contains("STOR"); }, 5000));
    askToEnd(fromTray);
    EXPECT_FALSE(loaded().isVisible());
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(exitStatus, 0);
    EXPECT_LT(exitAfterMs, 1000);
    EXPECT_TRUE(
        engine->log().text().endsWith("Couldn't upload\r\nCancelled\r\nDisconnecting...\r\nDisconnected"))
        << engine->log().text().right(200).toStdString();
    EXPECT_FALSE(QFile::exists(server.homeFile("webcam.jpg")));
    EXPECT_TRUE(stored("Width").has_value()) << "Exit still stores the size";
}

INSTANTIATE_TEST_SUITE_P(FileOrTray, ProgramEndExitTest, ::testing::Bool());

// A movie that records when the program ends is finalised, so the file plays, before the end.
TEST_F(ProgramEndTest, ExitDuringAMovieFinalisesItFirst)
{
    loaded();
    captureDialogs.movieNext(dir.file("movie.avi"));
    trigger("save_motion_image_capture"); // the pre-roll question is answered with OK
    ASSERT_TRUE(fake->isCapturing());
    askToEnd(false);
    ASSERT_TRUE(waitForExit());
    EXPECT_LT(exitAfterMs, 1000);
    EXPECT_FALSE(fake->isCapturing());
    QFile movie(dir.file("movie.avi"));
    ASSERT_TRUE(movie.open(QIODevice::ReadOnly));
    EXPECT_EQ(movie.readAll(), fake->movieText.toUtf8());
}

// A movie whose finalising does not end in time is dropped at the deadline, so the program still
// ends within two seconds; no half file is left under its name.
TEST_F(ProgramEndTest, AMovieThatCannotBeFinishedInTimeIsDroppedAtTheDeadline)
{
    loaded();
    fake->finalising = false;
    captureDialogs.movieNext(dir.file("movie.avi"));
    trigger("save_motion_image_capture");
    ASSERT_TRUE(fake->isCapturing());
    askToEnd(false);
    ASSERT_TRUE(waitForExit());
    EXPECT_GE(exitAfterMs, ProgramEnd::kDeadline.count() - 50);
    EXPECT_LT(exitAfterMs, ProgramEnd::kDeadline.count() + 500);
    EXPECT_FALSE(fake->isCapturing());
    EXPECT_FALSE(QFile::exists(dir.file("movie.avi")));
}

// The same on the GStreamer component recording the test pattern: the file under its name plays.
class ProgramEndGstTest : public ProgramEndTest
{
protected:
    std::unique_ptr<CaptureComponent> makeCapture() override
    {
        auto capture = std::make_unique<GstCaptureComponent>(dir.file("work"), true);
        EXPECT_TRUE(succeeded(capture->setDriverIndex(capture->DriverCount() - 1)));
        return capture;
    }
};

TEST_F(ProgramEndGstTest, ExitDuringAMovieLeavesAFileThatPlays)
{
    ASSERT_TRUE(waitForPicture(engine->capture()));
    loaded();
    captureDialogs.movieNext(dir.file("movie.avi"));
    trigger("save_motion_image_capture"); // the pre-roll question is answered with OK
    ASSERT_TRUE(QTest::qWaitFor([this] { return engine->capture().isCapturing(); }, 5000));
    QTest::qWait(700); // a few frames and some sound
    askToEnd(true);
    ASSERT_TRUE(waitForExit());
    EXPECT_LT(exitAfterMs, ProgramEnd::kDeadline.count());
    EXPECT_FALSE(engine->capture().isCapturing());
    EXPECT_FALSE(QFile::exists(dir.file("movie.avi.part")));
    const MovieInfo info = probeMovie(dir.file("movie.avi"));
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_GT(info.seconds, 0.2);
}

// The program's own message boxes, with a helper that answers the first box it finds and notes it.
class ProgramEndWithBoxesTest : public ProgramEndTest
{
protected:
    struct SeenBox
    {
        QString text;
        bool staysOnTop;
    };

    Prompter& boxPrompter() override { return boxes; }
    // Watches for boxes and notes each one. Without onBox the box is answered at once; otherwise
    // onBox runs while the box waits, and the box has to close by itself (it is closed after a
    // while only so that a failing test ends).
    void watchForBoxes(std::function<void()> onBox = {})
    {
        watcher.setInterval(20);
        QObject::connect(&watcher, &QTimer::timeout, &watcher, [this, onBox] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("seen").toBool())
                return;
            box->setProperty("seen", true);
            seen.push_back({box->text(), box->windowFlags().testFlag(Qt::WindowStaysOnTopHint)});
            if (!onBox) {
                box->reject();
                return;
            }
            onBox();
            QTimer::singleShot(3000, box, [box] { box->reject(); });
        });
        watcher.start();
    }

    MessageBoxPrompter boxes;
    QTimer watcher;
    std::vector<SeenBox> seen;
};

// Once the FTP log has been shown it stays on top; a box raised meanwhile stays on top as well,
// above it, so its text and button are not hidden. Before, a box is an ordinary window.
TEST_F(ProgramEndWithBoxesTest, MessageBoxesShowAboveTheLogWindow)
{
    loaded();
    for (int row = 0; row < engine->accounts().rowCount(); ++row)
        engine->accounts().setChecked(row, false);
    watchForBoxes();
    trigger("mnuupload_now"); // no flagged account
    ASSERT_TRUE(QTest::qWaitFor([this] { return seen.size() == 1; }, 5000));
    trigger("mnuFtpError");
    trigger("mnuupload_now");
    ASSERT_TRUE(QTest::qWaitFor([this] { return seen.size() == 2; }, 5000));
    EXPECT_EQ(seen[0].text.toStdString(), "No FTP accounts selected");
    EXPECT_FALSE(seen[0].staysOnTop);
    EXPECT_EQ(seen[1].text.toStdString(), "No FTP accounts selected");
    EXPECT_TRUE(seen[1].staysOnTop);
}

// The tray's Exit while "Picture uploaded successfully" waits for its OK: the box closes, the time
// file is not sent any more, and the program ends; the picture stays delivered.
TEST_F(ProgramEndWithBoxesTest, ExitWhileABoxWaitsClosesItAndEnds)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    makeAccount(server);
    engine->options().setSuc(true);
    watchForBoxes([this] { askToEnd(true); });
    trigger("mnuupload_now");
    ASSERT_TRUE(waitForExit());
    EXPECT_LT(exitAfterMs, 1000);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text.toStdString(), "Picture uploaded successfully");
    QTest::qWait(100);
    EXPECT_EQ(seen.size(), 1u) << "no box after the end";
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
    EXPECT_FALSE(QFile::exists(server.homeFile("time.txt")));
    EXPECT_TRUE(
        engine->log().text().endsWith("Picture uploaded!\r\nCancelled\r\nDisconnecting...\r\nDisconnected"));
}

// An end of the event loop that does not come through the program's own end (the desktop session,
// say) while the question before a timed upload waits: the box returns, the cycle ends without
// uploading, and the event loop really ends.
TEST_F(ProgramEndWithBoxesTest, TheEventLoopEndingWhileABoxWaitsEndsTheCycle)
{
    FtpServer server;
    ASSERT_TRUE(server.start());
    makeAccount(server);
    put(key("Cam"), "Upload image every:", "10 seconds");
    put(key("Cam"), "Custom", "10");
    engine->options().setAsk(true);
    loaded();
    watchForBoxes([] { QCoreApplication::exit(3); });
    engine->scheduler().Timers(1);
    QElapsedTimer loop;
    loop.start();
    EXPECT_EQ(QCoreApplication::exec(), 3);
    EXPECT_LT(loop.elapsed(), 3000);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.startsWith("Picture will now be uploaded to '"));
    EXPECT_FALSE(engine->cycle().isRunning());
    EXPECT_EQ(engine->cycle().uploadCount(), 0);
    // The account logged in ahead of its turn, as every timed one does; nothing was sent.
    EXPECT_FALSE(server.commands().join(' ').contains("STOR"));
}
} // namespace
