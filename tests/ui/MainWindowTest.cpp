#include "ui/MainWindow.h"
#include "CaptureWait.h"
#include "FakeCapture.h"
#include "NetworkCameraServer.h"
#include "PipeWireGraph.h"
#include "ScriptedCaptureDialogs.h"
#include "Typing.h"
#include "WindowFixture.h"
#include "capture/GstCaptureComponent.h"
#include "common/ProgramIcon.h"
#include "help/HelpBrowser.h"
#include "help/HelpWindow.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "ui/ElidedLabel.h"
#include "ui/FtpLogWindow.h"
#include "ui/MovieFrameRateWindow.h"
#include "ui/ProgramConfigWindow.h"
#include "ui/ProgramPictures.h"
#include "ui/SelectDriverWindow.h"
#include "ui/SingleInstance.h"
#include "ui/StatusPanels.h"
#include "ui/TrayHost.h"
#include "ui/UploadSettingsWindow.h"
#include "ui/VideoView.h"
#include "upload/FtpLog.h"
#include "upload/TimerSet.h"
#include "upload/UploadEngine.h"
#include "upload/UploadScheduler.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>

#include <cstdlib>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

namespace {
class MainWindowTest : public WindowFixture
{
protected:
    // The engine is built on first use, so a test can prepare the store, ask for no drivers or
    // bring a capture component of its own.
    UploadEngine& engine()
    {
        if (!m_engine) {
            if (!ownCapture)
                ownCapture = std::make_unique<FakeCapture>(drivers);
            m_engine = std::make_unique<UploadEngine>(
                UploadEngine::Settings{dir.file("store.db"), dir.file("work")}, prompter, status, [] {},
                std::move(ownCapture));
        }
        return *m_engine;
    }
    FakeCapture& fake() { return static_cast<FakeCapture&>(engine().capture()); }
    Regedit& store() override { return engine().store(); }
    MainWindow& window() override
    {
        if (!m_window) {
            m_window = std::make_unique<MainWindow>(
                MainWindow::Dependencies{engine(), prompter, help, dialogs, captureDialogs, status,
                                         dir.file("velmora"), dir.path(), [this] { ++ends; }});
            m_window->setTrayPresence([this] { return trayPresent; });
        }
        return *m_window;
    }
    MainWindow& loaded()
    {
        window().showWindow();
        return window();
    }
    void trigger(const QString& action)
    {
        auto* found = window().findChild<QAction*>(action);
        ASSERT_NE(found, nullptr) << action.toStdString();
        found->trigger();
    }
    int timers() { return engine().scheduler().timers().count(); }
    // One flagged account that uploads every ten minutes.
    void makeTimedAccount()
    {
        makeAccounts({"Cam"});
        put(key("Cam"), "Upload image every:", "Custom");
        put(key("Cam"), "Custom", "600");
        put(key("Cam"), "Selected", "True");
    }

    StatusPanels status;
    ScriptedCaptureDialogs captureDialogs;
    QStringList drivers{QStringLiteral("Test camera")};
    std::unique_ptr<CaptureComponent> ownCapture;
    bool trayPresent = true; // the offscreen platform has no notification area; most tests act as if
    int ends = 0;
    std::unique_ptr<UploadEngine> m_engine;
    std::unique_ptr<MainWindow> m_window;
};

struct Leaving
{
    bool systray;
    bool fileExit; // File > Exit rather than closing the window
};

void PrintTo(const Leaving& leaving, std::ostream* out)
{
    *out << (leaving.systray ? "tray, " : "no tray, ") << (leaving.fileExit ? "File Exit" : "close box");
}

class MainWindowLeaveTest : public MainWindowTest, public ::testing::WithParamInterface<Leaving>
{
};

// A fresh store opens at 7000 x 6500 twips and the size is written back on the way out. Closing
// hides to the tray unless Systray is set; File > Exit ends in both modes and stops the timers.
TEST_P(MainWindowLeaveTest, WritesTheSizeAndEndsOrHides)
{
    const auto [systray, fileExit] = GetParam();
    makeTimedAccount();
    engine().options().setSystray(systray);
    MainWindow& w = loaded();
    EXPECT_EQ(w.windowTitle(), QString("Velmora 2001"));
    EXPECT_EQ(w.frameGeometry().size(), QSize(w.pixelsX(7000), w.pixelsY(6500)));
    EXPECT_EQ(stored("Width"), std::nullopt);
    ASSERT_EQ(timers(), 1);

    if (fileExit)
        trigger("exit");
    else
        w.close();
    EXPECT_EQ(stored("Width"), QString("7000"));
    EXPECT_EQ(stored("Height"), QString("6500"));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(ends, systray || fileExit ? 1 : 0);
    if (fileExit) {
        EXPECT_EQ(timers(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, MainWindowLeaveTest,
                         ::testing::Values(Leaving{false, false}, Leaving{true, false}, Leaving{false, true},
                                           Leaving{true, true}),
                         [](const auto& leaving) {
                             return std::string(leaving.param.systray ? "Tray" : "NoTray") +
                                    (leaving.param.fileExit ? "FileExit" : "CloseBox");
                         });

TEST_F(MainWindowTest, StoredSizeIsUsedAndOneThatIsNoNumberCountsAsAbsent)
{
    put(kProduct, "Width", "9000");
    put(kProduct, "Height", "tall");
    MainWindow& w = loaded();
    EXPECT_EQ(w.frameGeometry().size(), QSize(w.pixelsX(9000), w.pixelsY(6500)));

    // The outer size is stored, frame included.
    w.resize(w.pixelsX(8000), w.pixelsY(5000));
    w.storeSize();
    EXPECT_EQ(stored("Width"), QString::number(w.twipsX(w.frameGeometry().width())));
    EXPECT_EQ(stored("Height"), QString::number(w.twipsY(w.frameGeometry().height())));
    EXPECT_GE(w.frameGeometry().width(), w.pixelsX(8000));
}

TEST_F(MainWindowTest, LoadFillsThePanelsConnectsTheDriverAndArmsNoTimer)
{
    MainWindow& w = loaded();
    EXPECT_EQ(status.panel(1), QString("Click 'Upload now' to upload"));
    EXPECT_EQ(child<QLabel>("panel1")->text(), status.panel(1));
    EXPECT_EQ(status.panel(4), QString("352 x 288"));
    EXPECT_TRUE(engine().capture().isConnected());
    EXPECT_EQ(w.selectDriverWindow().findChild<QComboBox*>("cbDriver")->currentText(),
              QString("Test camera"));
    EXPECT_TRUE(child<QAction>("vformat")->isEnabled());
    EXPECT_FALSE(child<QAction>("display")->isEnabled());
    EXPECT_TRUE(prompter.texts().isEmpty());
    EXPECT_EQ(timers(), 0);
    fake().showFrame();
    EXPECT_FALSE(w.videoView().frame().isNull());
}

// Frames are decoded only while the window shows the picture: the component is told.
TEST_F(MainWindowTest, TheComponentKnowsWhetherThePictureIsShown)
{
    MainWindow& w = loaded();
    EXPECT_TRUE(fake().pictureShown());
    w.showMinimized();
    EXPECT_FALSE(fake().pictureShown());
    w.showNormal();
    EXPECT_TRUE(fake().pictureShown());
    w.systray_Click();
    EXPECT_FALSE(fake().pictureShown());
    trigger("motion_preview");
    w.showWindow();
    EXPECT_TRUE(fake().pictureShown());
    EXPECT_FALSE(fake().Preview());
}

// Panel 2 and the picture say what the camera does; a size that changes later reaches panel 4.
TEST_F(MainWindowTest, CameraStatusReachesPanelTwoThePictureAndPanelFour)
{
    MainWindow& w = loaded();
    const QString lost = "No picture: the camera \"Test camera\" is gone (unplugged or switched off)";
    emit fake().StatusChanged(CaptureComponent::StatusCameraLost, lost);
    EXPECT_EQ(child<QLabel>("panel2")->text(), lost);
    EXPECT_EQ(w.videoView().notice(), lost);
    emit fake().StatusChanged(CaptureComponent::StatusPlaying, "Video running");
    EXPECT_EQ(child<QLabel>("panel2")->text(), QString("Video running"));
    EXPECT_TRUE(w.videoView().notice().isEmpty());

    ASSERT_TRUE(succeeded(fake().setVideoFormatIndex(2)));
    emit fake().connectionChanged();
    EXPECT_EQ(status.panel(4), QString("640 x 480"));
}

// A camera GStreamer reports like any real one (PipeWire) that has no 352 x 288: the window starts
// at the size it offers and shows it in panel 4.
TEST_F(MainWindowTest, ACameraWithoutTheStartSizeShowsItsOwnInPanelFour)
{
    PipeWireGraph graph;
    if (!graph.start())
        GTEST_SKIP() << "PipeWire cannot start here: " << graph.error().toStdString();
    ASSERT_GT(graph.plug({}), 0) << graph.error().toStdString();
    ownCapture = std::make_unique<GstCaptureComponent>(dir.file("work"), false);
    MainWindow& w = loaded();
    EXPECT_EQ(status.panel(4), QString("640 x 480"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.videoView().hasPaintedFrame(); }, 10000));
    EXPECT_EQ(w.videoView().frame().size(), QSize(640, 480));
    EXPECT_EQ(child<QLabel>("panel2")->text(), QString("Video running"));
    m_window.reset();
    m_engine.reset();
}

TEST_F(MainWindowTest, UploadSettingsFromTheMenuAndTheFtpButtonStopTheTimers)
{
    makeTimedAccount();
    MainWindow& w = loaded();
    ASSERT_EQ(timers(), 1);
    trigger("ftp");
    EXPECT_EQ(timers(), 0);
    EXPECT_TRUE(w.uploadSettingsWindow().isVisible());

    // While it is open the status bar says that nothing is uploaded; a window left open must not
    // stop the webcam unseen.
    EXPECT_EQ(status.panel(1), "Uploads paused while Upload Settings is open");

    // Its OK arms them again; the toolbar button stops them once more.
    w.uploadSettingsWindow().findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(timers(), 1);
    EXPECT_TRUE(status.panel(1).startsWith("Next upload ")) << status.panel(1).toStdString();
    EXPECT_TRUE(status.panel(1).endsWith(" (Cam)")) << status.panel(1).toStdString();
    trigger("FTP");
    EXPECT_EQ(timers(), 0);
    EXPECT_EQ(status.panel(1), "Uploads paused while Upload Settings is open");
    // Escape leaves it as OK does.
    UploadSettingsWindow& settings = w.uploadSettingsWindow();
    settings.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &settings, Qt::Key_Escape);
    EXPECT_FALSE(settings.isVisible());
    EXPECT_EQ(timers(), 1);
}

// A long upload state gives way to the other panels: it ends in an ellipsis with the whole text in its
// tooltip, and the camera's status and the video size stay readable.
TEST_F(MainWindowTest, ALongUploadStateLeavesTheOtherPanelsWhole)
{
    MainWindow& w = loaded();
    const QString longText =
        "Last upload 10:15:00 (My Account) failed: Couldn't connect to server: Server: 530 "
        "Login incorrect.; next try 10:17:00 (My Account)";
    status.setPanel(1, longText);
    w.resize(500, 400);
    QApplication::processEvents(); // lays out the status bar at the new width (no waiting involved)
    auto* first = w.findChild<ElidedLabel*>("panel1");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->shownText().endsWith(QChar(0x2026))) << first->shownText().toStdString();
    for (const char* name : {"panel2", "panel4"}) {
        auto* panel = w.findChild<QLabel*>(name);
        EXPECT_GE(panel->width(), panel->sizeHint().width()) << name << " " << panel->text().toStdString();
    }
    first->grab(); // paints, which sets the tooltip
    EXPECT_EQ(first->toolTip(), longText);
}

// The conventions of the desktop's programs: Escape closes the tool and help windows, Ctrl+Q
// quits, F1 opens the help at the page of the window in front, and the windows use the desktop's
// font.
TEST_F(MainWindowTest, EscapeClosesToolWindowsCtrlQQuitsAndF1OpensTheHelpOfTheWindowInFront)
{
    MainWindow& w = loaded();
    EXPECT_EQ(w.font(), QApplication::font());
    EXPECT_EQ(w.ftpLogWindow().font(), QApplication::font());
    const auto press = [](QWidget& window, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << window.objectName().toStdString();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, key, modifiers);
    };
    const struct
    {
        QWidget* window;
        const char* page;
    } windows[] = {
        {&w, "GetStarted.htm"},
        {&w.selectDriverWindow(), "Driver.htm"},
        {&w.ftpLogWindow(), "ShowFTPLog.htm"},
        {&w.movieFrameRateWindow(), "MovieFrameRate.htm"},
        {&w.uploadSettingsWindow(), "UploadSettings.htm"},
        {&w.programConfigWindow(), "ProgramConfiguration.htm"},
    };
    for (const auto& c : windows) {
        SCOPED_TRACE(c.window->objectName().toStdString());
        if (c.window == &w.ftpLogWindow())
            trigger("mnuFtpError"); // as the menu opens it: on top of the other windows
        press(*c.window, Qt::Key_F1);
        ASSERT_NE(help.window(), nullptr);
        EXPECT_TRUE(help.window()->isVisible());
        EXPECT_TRUE(help.window()->browser().source().toString().endsWith(c.page))
            << help.window()->browser().source().toString().toStdString();
        // Over the FTP log, which stays on top, the help must stay on top too to be seen.
        EXPECT_EQ(help.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                  c.window == &w.ftpLogWindow());
        help.window()->hide();
    }
    for (QWidget* tool :
         std::initializer_list<QWidget*>{&w.selectDriverWindow(), &w.ftpLogWindow(), help.window()}) {
        press(*tool, Qt::Key_Escape);
        EXPECT_FALSE(tool->isVisible()) << tool->objectName().toStdString();
    }
    EXPECT_EQ(ends, 0);
    press(w, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(ends, 1);
}

// "Add network camera..." lists the camera after the devices and connects it, with its password
// kept out of the address; entries that cannot work are refused with the reason; a camera that
// refuses the login says so; "Remove network camera" takes one out of the list and the store.
TEST_F(MainWindowTest, NetworkCamerasAreAddedConnectedRefusedAndRemoved)
{
    NetworkCameraServer server;
    NetworkCameraServer::Options options;
    options.user = QStringLiteral("cam");
    options.password = QStringLiteral("pw");
    ASSERT_TRUE(server.start(options)) << server.error().toStdString();
    ownCapture = std::make_unique<GstCaptureComponent>(dir.file("work"), true);
    SelectDriverWindow& select = loaded().selectDriverWindow();
    auto* list = select.findChild<QComboBox*>("cbDriver");
    auto* add = select.findChild<QPushButton*>("cmdAddNetworkCamera");
    auto* remove = select.findChild<QPushButton*>("cmdRemoveNetworkCamera");
    CaptureComponent& capture = engine().capture();
    ASSERT_TRUE(waitForPicture(capture));
    EXPECT_FALSE(remove->isEnabled());

    const QString address = server.mjpegAddress();
    NetworkCamera yard{QStringLiteral("Yard"), address, NetworkCamera::Kind::MjpegStream};
    yard.address.replace("://", "://cam:pw@");
    captureDialogs.cameraNext(yard);
    add->click();
    EXPECT_EQ(list->currentText(), "Yard");
    EXPECT_EQ(list->currentIndex(), list->count() - 1);
    EXPECT_TRUE(remove->isEnabled());
    ASSERT_TRUE(waitForPicture(capture));
    EXPECT_EQ(capture.DriverName(capture.DriverIndex()), "Yard");
    EXPECT_EQ(stored("Network Camera1"), "Yard");
    EXPECT_EQ(stored("Network Camera1 Address"), address);
    EXPECT_EQ(stored("Network Camera1 Password"), "pw");
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join("|").toStdString();

    captureDialogs.cameraNext(
        NetworkCamera{QStringLiteral("yard"), address, NetworkCamera::Kind::MjpegStream});
    captureDialogs.cameraNext(NetworkCamera{QString(), address, NetworkCamera::Kind::MjpegStream});
    captureDialogs.cameraNext(NetworkCamera{QStringLiteral("Locked"), address,
                                            NetworkCamera::Kind::MjpegStream, QStringLiteral("cam"),
                                            QStringLiteral("wrong")});
    add->click();
    add->click();
    EXPECT_EQ(prompter.texts(),
              (QStringList{"There is already a network camera with this name. Please choose another name.",
                           "Please enter a name for the camera."}));
    prompter.clear();
    add->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.texts().isEmpty(); }, 10000));
    EXPECT_EQ(prompter.texts(),
              QStringList{
                  "Could not connect to driver!\nThe camera \"Locked\" refused the user name or password."});
    EXPECT_EQ(list->currentText(), "Yard");
    EXPECT_EQ(list->count(), capture.DriverCount());

    // Removing asks first; "No" keeps it.
    prompter.clear();
    list->setCurrentIndex(list->findText("Locked"));
    prompter.answerNext(Prompter::Answer::No);
    remove->click();
    EXPECT_EQ(prompter.texts(), QStringList{"Remove the network camera \"Locked\"?"});
    EXPECT_EQ(stored("Network Camera2"), "Locked");
    list->setCurrentIndex(list->findText("Yard"));
    prompter.answerNext(Prompter::Answer::Yes);
    remove->click();
    EXPECT_EQ(list->findText("Yard"), -1);
    EXPECT_EQ(stored("Network Camera1"), "Locked");
    EXPECT_EQ(stored("Network Camera2"), std::nullopt);
    ASSERT_TRUE(waitForPicture(capture));
    EXPECT_EQ(capture.DriverName(capture.DriverIndex()), "Test pattern");
    EXPECT_EQ(list->currentText(), "Test pattern");
}

TEST_F(MainWindowTest, NoDriverShowsTheMessageAndNoneInTheList)
{
    drivers.clear();
    MainWindow& w = loaded();
    EXPECT_EQ(prompter.texts(), QStringList{MainWindow::kNoCameraText});
    EXPECT_TRUE(MainWindow::kNoCameraText.startsWith("No Video Capture Device!\n"));
    EXPECT_EQ(prompter.shown().front().icon, Prompter::Icon::Information);
    auto* list = w.selectDriverWindow().findChild<QComboBox*>("cbDriver");
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText(), QString("<none>"));
    EXPECT_FALSE(w.videoView().isVisibleTo(&w));
    EXPECT_FALSE(fake().pictureShown());
    for (const char* name : {"vformat", "display", "source"})
        EXPECT_FALSE(child<QAction>(name)->isEnabled()) << name;
    EXPECT_EQ(status.panel(1), QString("Click 'Upload now' to upload"));
}

// Refused at once or failing later: the list goes back to the connected driver, with one message;
// cameras that come later join the list.
TEST_F(MainWindowTest, DriverThatFailsFallsBackToThePreviousOneWithOneMessage)
{
    drivers = {"Missing camera", "Test camera"};
    engine();
    fake().failingDrivers = {"Missing camera"};
    SelectDriverWindow& select = loaded().selectDriverWindow();
    // Listed first, so the load tries it: one message that says why, and nothing connected.
    const QString refused = "Could not connect to driver!\nThe driver cannot be opened.";
    EXPECT_EQ(prompter.texts(), QStringList{refused});
    EXPECT_FALSE(engine().capture().isConnected());

    auto* list = select.findChild<QComboBox*>("cbDriver");
    select.selectDriver(1);
    EXPECT_TRUE(engine().capture().isConnected());
    prompter.clear();

    select.selectDriver(0);
    EXPECT_EQ(engine().capture().DriverIndex(), 1);
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(prompter.texts(), QStringList{refused});

    // Accepted, then failed while connecting: the component is back at the previous driver.
    prompter.clear();
    list->setCurrentIndex(0);
    emit fake().driverFailed(0, "no picture within 6 s");
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(prompter.texts(), QStringList{"Could not connect to driver!\nNo picture within 6 s."});

    // OK remembers the name shown.
    select.findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(stored("Select the driver you want to use:"), QString("Test camera"));

    // A camera plugged in later is listed; the selection stays.
    fake().addDriver("New camera");
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentIndex(), 1);
}

TEST_F(MainWindowTest, FrameRateTextAndSliderRules)
{
    put(kProduct, "FrameRate", "12");
    EXPECT_EQ(window().movieFrameRateWindow().frameRate(), 12);
    m_window.reset();
    put(kProduct, "FrameRate", "0");
    MovieFrameRateWindow& rate = loaded().movieFrameRateWindow();
    auto* text = rate.findChild<QLineEdit*>("txtFrameRate");
    auto* slider = rate.findChild<QSlider*>("sldFrameRate");
    EXPECT_EQ(rate.frameRate(), 30);
    EXPECT_EQ(text->text(), QString("30"));

    // The box can be emptied and typed into; once left it shows the slider's number, and a note
    // says why that differs from what was typed.
    rate.show();
    const Typing::NumberCase typed[] = {{"12", "12", false},  {"abc", "12", true}, {"", "12", true},
                                        {"115", "100", true}, {"7", "7", false},   {"0", "1", true},
                                        {"45.5", "45", true}, {"3e2", "45", true}, {"60", "60", false}};
    for (const auto& c : typed) {
        Typing::retype(text, c.typed);
        EXPECT_EQ(text->text(), QString(c.typed));
        Typing::leave(text);
        EXPECT_EQ(text->text() + '|' + QString::number(slider->value()), QString(c.shown) + '|' + c.shown)
            << c.typed;
        EXPECT_EQ(!Typing::note(text).isEmpty(), c.noted) << c.typed;
    }
    slider->setValue(45);
    EXPECT_EQ(text->text(), QString("45"));
    EXPECT_EQ(Typing::note(text), "");
    QTest::mouseClick(rate.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    EXPECT_EQ(stored("FrameRate"), QString("45"));
    EXPECT_FALSE(rate.isVisible());

    // Enter while still in the box: what it shows then is what is stored.
    rate.show();
    rate.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rate));
    text->setFocus();
    Typing::retype(text, "115");
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(text->text(), QString("100"));
    EXPECT_EQ(stored("FrameRate"), QString("100"));
    EXPECT_FALSE(rate.isVisible());
}

TEST_F(MainWindowTest, LogWindowShowsEntriesFromBeforeItOpenedResetsAndFollowsTheLimit)
{
    MainWindow& w = loaded();
    FtpLog& log = engine().log();
    log.append("\r\n\r\n---[first]---\r\nConnecting");
    trigger("mnuFtpError");
    FtpLogWindow& logWindow = w.ftpLogWindow();
    EXPECT_TRUE(logWindow.isVisible());
    EXPECT_TRUE(logWindow.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(logWindow.viewText(), QString("\n\n---[first]---\nConnecting"));
    log.append("\r\nDone");
    EXPECT_EQ(logWindow.viewText(), QString("\n\n---[first]---\nConnecting\nDone"));

    logWindow.findChild<QPushButton*>("cmdReset")->click();
    EXPECT_TRUE(log.text().isEmpty());
    EXPECT_TRUE(logWindow.viewText().isEmpty());
    log.append("\r\n\r\n---[second]---");
    EXPECT_EQ(logWindow.viewText(), QString("\n\n---[second]---"));

    // A log that drops its oldest entries is followed exactly.
    for (int i = 0; i < 2000; ++i)
        log.append("\r\n\r\n---[x]---\r\n" + QString(600, 'a'));
    EXPECT_LE(log.text().size(), log.limit());
    EXPECT_EQ(logWindow.viewText(), QString(log.text()).replace("\r\n", "\n"));

    // Close brings the main window back from the tray.
    w.hide();
    logWindow.findChild<QPushButton*>("cmdClose")->click();
    EXPECT_FALSE(logWindow.isVisible());
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, MotionPreviewAndAudioToggle)
{
    MainWindow& w = loaded();
    EXPECT_TRUE(child<QAction>("motion_preview")->isChecked());
    w.motion_preview_Click();
    EXPECT_FALSE(engine().capture().Preview());
    w.motion_preview_Click();
    EXPECT_TRUE(engine().capture().Preview());
    w.mnuAudio_Click();
    EXPECT_FALSE(engine().capture().CaptureAudio());
}

TEST_F(MainWindowTest, ToolWindowsRefuseOutsideCloses)
{
    MainWindow& w = loaded();
    for (QWidget* tool : std::initializer_list<QWidget*>{&w.selectDriverWindow(), &w.movieFrameRateWindow(),
                                                         &w.ftpLogWindow()}) {
        EXPECT_FALSE(tool->windowFlags().testFlag(Qt::WindowCloseButtonHint))
            << tool->objectName().toStdString();
        tool->show();
        EXPECT_FALSE(tool->close());
        EXPECT_TRUE(tool->isVisible()) << tool->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, TrayMenuOpensUploadsAndExitsWithTheSize)
{
    TrayHost tray(
        engine().options(), [this]() -> MainWindow& { return window(); }, [this] { ++ends; });
    QMenu& menu = tray.popupMenu();
    EXPECT_EQ(menu.defaultAction()->objectName(), QString("mnuOpen"));
    EXPECT_EQ(tray.icon().toolTip(), QString("Velmora"));

    // Exit before the main window exists: it is created and loaded, its size written, the end asked for.
    menu.findChild<QAction*>("mnuClose")->trigger();
    EXPECT_TRUE(window().isLoaded());
    EXPECT_EQ(stored("Width"), QString("7000"));
    EXPECT_EQ(ends, 1);

    window().hide();
    menu.findChild<QAction*>("mnuOpen")->trigger();
    EXPECT_TRUE(window().isVisible());
}

TEST_F(MainWindowTest, TrayStartWithMinAndNoNotificationAreaStillShowsTheWindow)
{
    engine().options().setMin(true);
    TrayHost tray(
        engine().options(), [this]() -> MainWindow& { return window(); }, [this] { ++ends; });
    tray.start();
    if (tray.hasIcon())
        GTEST_SKIP() << "this desktop has a notification area";
    EXPECT_TRUE(window().isVisible());
}

TEST_F(MainWindowTest, CaptureImageFromTheMenuAndTheToolbarWritesTheFrame)
{
    loaded();
    captureDialogs.imageNext(dir.file("menu.bmp"));
    trigger("save_image_capture");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.file("menu.bmp")); }, 5000));
    EXPECT_EQ(QImage(dir.file("menu.bmp")).size(), QSize(352, 288));
    captureDialogs.imageNext(dir.file("button.bmp"));
    trigger("Save Image Capture");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.file("button.bmp")); }, 5000));
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(MainWindowTest, WithoutATrayClosingAndHidingMinimiseInsteadAndTheWindowComesBack)
{
    trayPresent = false;
    MainWindow& w = loaded();
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
    EXPECT_EQ(stored("Width"), QString("7000"));
    EXPECT_EQ(ends, 0);

    // A second start (or the tray, should one appear) brings it back; "Hide In Systray" and the
    // toolbar's button minimise too.
    for (const char* hideCommand : {"systray", "his"}) {
        w.showWindow();
        EXPECT_FALSE(w.isMinimized()) << hideCommand;
        trigger(hideCommand);
        EXPECT_TRUE(w.isVisible()) << hideCommand;
        EXPECT_TRUE(w.isMinimized()) << hideCommand;
    }
    // With a tray the same commands hide the window.
    trayPresent = true;
    w.showWindow();
    trigger("systray");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, StoredSizeLargerThanTheScreenIsClampedAndKeptInTheStore)
{
    put(kProduct, "Width", "60000");
    put(kProduct, "Height", "45000");
    MainWindow& w = loaded();
    const QRect area = w.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w.frameGeometry()))
        << w.frameGeometry().width() << "x" << w.frameGeometry().height();
    EXPECT_EQ(w.frameGeometry().size(), area.size());
    // Not resized by the user: the stored size stays for the larger screen it came from.
    w.storeSize();
    EXPECT_EQ(stored("Width"), QString("60000"));
    EXPECT_EQ(stored("Height"), QString("45000"));
}

TEST_F(MainWindowTest, PictureDropDownOffersTheDriverDialogsExactlyAsTheMenuDoes)
{
    loaded();
    const std::pair<const char*, const char*> pairs[] = {
        {"vformat", "PictureFormat"}, {"display", "PictureDisplay"}, {"source", "PictureSource"}};
    auto* dropDown = window().findChild<QMenu*>("PictureDropDown");
    ASSERT_NE(dropDown, nullptr);
    auto entry = [dropDown](const char* name) { return dropDown->findChild<QAction*>(name); };
    for (const auto& [menuItem, dropDownEntry] : pairs) {
        ASSERT_NE(entry(dropDownEntry), nullptr) << dropDownEntry;
        EXPECT_EQ(entry(dropDownEntry)->isEnabled(), child<QAction>(menuItem)->isEnabled()) << dropDownEntry;
    }
    // The driver has a format dialog and no display dialog: both states are seen.
    EXPECT_TRUE(entry("PictureFormat")->isEnabled());
    EXPECT_FALSE(entry("PictureDisplay")->isEnabled());
    child<QAction>("display")->setEnabled(true);
    EXPECT_TRUE(entry("PictureDisplay")->isEnabled());
    child<QAction>("vformat")->setEnabled(false);
    EXPECT_FALSE(entry("PictureFormat")->isEnabled());
}

TEST_F(MainWindowTest, EnterAnswersTheSmallWindowsWithTheirDefaultOrTheFocusedButton)
{
    MainWindow& w = loaded();
    auto pressEnter = [](QWidget& window, Qt::Key key) {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window, key);
    };

    MovieFrameRateWindow& rate = w.movieFrameRateWindow();
    rate.findChild<QSlider*>("sldFrameRate")->setValue(45);
    rate.findChild<QLineEdit*>("txtFrameRate")->setFocus();
    pressEnter(rate, Qt::Key_Return);
    EXPECT_FALSE(rate.isVisible());
    EXPECT_EQ(stored("FrameRate"), QString("45"));

    SelectDriverWindow& select = w.selectDriverWindow();
    select.findChild<QComboBox*>("cbDriver")->setFocus();
    pressEnter(select, Qt::Key_Enter);
    EXPECT_FALSE(select.isVisible());
    EXPECT_EQ(stored("Select the driver you want to use:"), QString("Test camera"));

    // Enter on the focused "&Help" presses that one, as in a dialog.
    select.findChild<QPushButton*>("cmdHelp")->setFocus();
    pressEnter(select, Qt::Key_Return);
    EXPECT_TRUE(select.isVisible());
    ASSERT_NE(help.window(), nullptr);
    EXPECT_TRUE(help.window()->isVisible());
}

TEST_F(MainWindowTest, WindowsShowTheProgramIconAndTheirWholeTitle)
{
    MainWindow& w = loaded();
    const QImage programIcon = ProgramIcon::image(32).convertToFormat(QImage::Format_ARGB32);
    auto picture = [](const QIcon& icon) {
        return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    TrayHost tray(
        engine().options(), [this]() -> MainWindow& { return window(); }, [] {});
    EXPECT_EQ(picture(tray.icon().icon()), programIcon);
    EXPECT_EQ(picture(w.windowIcon()), programIcon);
    EXPECT_EQ(picture(w.ftpLogWindow().windowIcon()), programIcon);

    // A title bar needs room for the title in bold beside the icon and its buttons.
    for (QWidget* tool : std::initializer_list<QWidget*>{&w.selectDriverWindow(), &w.movieFrameRateWindow(),
                                                         &w.ftpLogWindow(), &w.uploadSettingsWindow(),
                                                         &w.programConfigWindow()}) {
        QFont bold = tool->font();
        bold.setBold(true);
        EXPECT_GE(tool->width(), QFontMetrics(bold).horizontalAdvance(tool->windowTitle()) + 100)
            << tool->windowTitle().toStdString();
    }
}

// Capture Movie returns at once; the PreRoll question is asked and panel 3 asks for Escape until
// the component reports the end.
TEST_F(MainWindowTest, MovieFromTheMenuAsksThePreRollQuestionAndClearsPanelThree)
{
    loaded();
    prompter.answerNext(Prompter::Answer::Ok);
    captureDialogs.movieNext(dir.file("clip.avi"));
    trigger("save_motion_image_capture");
    EXPECT_EQ(prompter.texts(), QStringList{"PreRoll complete - Click OK to start capture immediately.\n"
                                            "Using precise capture controls."});
    EXPECT_TRUE(engine().capture().isCapturing());
    EXPECT_EQ(status.panel(3), QString("Press <Esc> to stop"));
    engine().capture().StopCapture();
    EXPECT_EQ(status.panel(3), QString());
    EXPECT_TRUE(QFile::exists(dir.file("clip.avi")));
}

// No toolbar picture may nearly vanish on a light or a dark toolbar: most of its drawn pixels
// differ clearly in brightness from the toolbar behind it.
TEST(ToolbarPicturesTest, StayVisibleOnLightAndDarkToolbars)
{
    using ProgramPictures::Tool;
    const Tool tools[] = {Tool::CaptureImage, Tool::CaptureMovie, Tool::UploadNow,    Tool::UploadSettings,
                          Tool::Image,        Tool::Picture,      Tool::HideInSystray};
    const QColor backgrounds[] = {QColor(0xef, 0xef, 0xef), QColor(0x35, 0x35, 0x35),
                                  QColor(0x1e, 0x1e, 0x1e)};
    for (const Tool tool : tools) {
        const QImage picture =
            ProgramPictures::toolIcon(tool).pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        for (const QColor& background : backgrounds) {
            int drawn = 0;
            int distinct = 0;
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    const QColor pixel = picture.pixelColor(x, y);
                    if (pixel.alpha() < 128)
                        continue;
                    ++drawn;
                    if (std::abs(qGray(pixel.rgb()) - qGray(background.rgb())) >= 48)
                        ++distinct;
                }
            }
            EXPECT_GT(drawn, 40) << int(tool);
            EXPECT_GE(distinct * 2, drawn)
                << "picture " << int(tool) << " on " << background.name().toStdString();
        }
    }
}

TEST(SingleInstanceTest, SecondStartAsksTheFirstToShowItselfOverAUserOnlySocket)
{
    TempDir dir;
    SingleInstance first(dir.path(), dir.file("a.db"));
    ASSERT_TRUE(first.acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    ASSERT_TRUE(QFileInfo::exists(first.socketPath()));
    EXPECT_EQ(QFileInfo(first.socketPath()).permissions() & others, QFile::Permissions());

    SingleInstance second(dir.path(), dir.file("a.db"));
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.askToShow());
    EXPECT_TRUE(shown.wait(5000));
    EXPECT_EQ(shown.count(), 1);

    // Another store is another program.
    SingleInstance other(dir.path(), dir.file("b.db"));
    EXPECT_TRUE(other.acquire());
}

TEST(SingleInstanceTest, LockAndSocketOfAProgramThatDiedAreTakenOver)
{
    TempDir dir;
    const QString lockPath = SingleInstance(dir.path(), dir.file("a.db")).lockPath();
    // A program that took the lock and died without a word: its lock file and a socket file stay.
    const pid_t child = ::fork();
    if (child == 0) {
        QLockFile lock(lockPath);
        ::_exit(lock.tryLock(0) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(QFileInfo::exists(lockPath));

    SingleInstance next(dir.path(), dir.file("a.db"));
    QFile stale(next.socketPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    ASSERT_TRUE(next.acquire());
    QSignalSpy shown(&next, &SingleInstance::showRequested);
    EXPECT_TRUE(SingleInstance(dir.path(), dir.file("a.db")).askToShow());
    EXPECT_TRUE(shown.wait(5000));
}
} // namespace

// "Show Camera" offers the cameras the accounts use besides the program's camera; the window
// shows the chosen one's live picture, and going back shows the program's camera again. What the
// accounts upload from does not change.
TEST_F(MainWindowTest, ShowCameraSwitchesThePictureAmongTheCamerasInUse)
{
    auto capture = std::make_unique<GstCaptureComponent>(dir.file("work"), true);
    capture->addLaunchDriver(QStringLiteral("Green"),
                             QStringLiteral("videotestsrc is-live=true pattern=green"));
    const QString green = capture->DriverIdentity(capture->DriverCount() - 1);
    ownCapture = std::move(capture);
    makeTimedAccount();
    put(key("Cam"), "Camera", green);
    MainWindow& w = loaded();
    auto* menu = w.findChild<QMenu*>("mnuShowCamera");
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->actions().size() == 2; }, 10000));
    EXPECT_EQ(menu->actions().at(0)->text(), "The program's camera");
    EXPECT_EQ(menu->actions().at(1)->text(), "Green");
    EXPECT_TRUE(menu->actions().at(0)->isChecked());

    // The first bar of the test pattern, which is not green.
    const auto firstBar = [&w] {
        const QImage& frame = w.videoView().frame();
        return frame.isNull() ? QColor() : frame.pixelColor(frame.width() / 14, frame.height() / 3);
    };
    const auto showsGreen = [&] {
        return firstBar().green() > 200 && firstBar().red() < 60 && firstBar().blue() < 60;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstBar().isValid(); }, 10000));
    EXPECT_FALSE(showsGreen());
    menu->actions().at(1)->trigger();
    EXPECT_EQ(w.shownCamera(), green);
    EXPECT_TRUE(QTest::qWaitFor(showsGreen, 10000));
    EXPECT_EQ(engine().capture().camerasInUse(), QStringList{green});

    menu->actions().at(0)->trigger();
    EXPECT_EQ(w.shownCamera(), QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return firstBar().isValid() && !showsGreen(); }, 10000));
    EXPECT_EQ(engine().capture().camerasInUse(), QStringList{green});

    // The account no longer uses the camera: it closes, and the menu offers the program's only.
    m_engine->accounts().selectRow(0);
    m_engine->accounts().set(&Account::camera, QString());
    EXPECT_TRUE(engine().capture().camerasInUse().isEmpty());
    EXPECT_EQ(menu->actions().size(), 1);
    EXPECT_FALSE(menu->menuAction()->isEnabled());
}
