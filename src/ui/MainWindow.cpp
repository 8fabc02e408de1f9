#include "ui/MainWindow.h"

#include "capture/CaptureComponent.h"
#include "common/ProgramIcon.h"
#include "common/Prompter.h"
#include "help/AboutBox.h"
#include "help/Help.h"
#include "help/NewsWindow.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Account.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "ui/AudioFormatDialog.h"
#include "ui/BackgroundPanel.h"
#include "ui/CaptureCommands.h"
#include "ui/CompressionDialog.h"
#include "ui/DisplayDialog.h"
#include "ui/FormatDialog.h"
#include "ui/FtpLogWindow.h"
#include "ui/HelpKey.h"
#include "ui/MainMenus.h"
#include "ui/MovieFrameRateWindow.h"
#include "ui/ProgramConfigWindow.h"
#include "ui/SelectDriverWindow.h"
#include "ui/SourceDialog.h"
#include "ui/StatusBarView.h"
#include "ui/StatusPanels.h"
#include "ui/UploadSettingsWindow.h"
#include "ui/VideoView.h"
#include "ui/WindowGeometry.h"
#include "upload/FtpStage.h"
#include "upload/TimelapseService.h"
#include "upload/UploadEngine.h"
#include "upload/UploadMonitor.h"
#include "upload/UploadScheduler.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>

#include <cmath>

MainWindow::MainWindow(const Dependencies& dependencies)
    : m_engine(dependencies.engine), m_prompter(dependencies.prompter), m_help(dependencies.help),
      m_dialogs(dependencies.dialogs), m_captureDialogs(dependencies.captureDialogs),
      m_status(dependencies.status), m_programPath(dependencies.programPath),
      m_programFolder(dependencies.programFolder), m_endProgram(dependencies.endProgram),
      m_trayPresent(&QSystemTrayIcon::isSystemTrayAvailable),
      m_geometry(std::make_unique<WindowGeometry>(*this, m_engine.store()))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kProgramTitle);
    setWindowIcon(ProgramIcon::icon());

    m_background = new BackgroundPanel(this);
    setCentralWidget(m_background);
    m_video = new VideoView(m_background);
    m_video->move(0, 0);
    m_video->setVideoSize(QSize(CaptureComponent::kDefaultWidth, CaptureComponent::kDefaultHeight));

    m_captureCommands =
        new CaptureCommands(m_engine.capture(), m_engine.options(), m_prompter, dependencies.captureDialogs,
                            m_engine.settings().workDir, this, this);
    connect(m_captureCommands, &CaptureCommands::movieStatus, this,
            [this](const QString& text) { m_status.setPanel(3, text); });
    // A timelapse movie shares the movie panel: its progress while it is made, then its end.
    connect(
        &m_engine.timelapse(), &TimelapseService::progress, this,
        [this](const QString& account, int done, int total) {
            m_status.setPanel(
                3,
                QStringLiteral("Timelapse (%1): %2 %").arg(account).arg(total > 0 ? done * 100 / total : 0));
        });
    connect(&m_engine.timelapse(), &TimelapseService::finished, this,
            [this](const QString& account, bool, const QString& text) {
                m_status.setPanel(3, QStringLiteral("Timelapse (%1): %2").arg(account, text));
            });

    m_menus = std::make_unique<MainMenus>(*this);
    m_format = m_menus->format();
    m_display = m_menus->display();
    m_source = m_menus->source();
    m_motionPreview = m_menus->motionPreview();
    m_audio = m_menus->audio();
    // The two toggles flip their own check mark; the capture component follows it.
    connect(m_motionPreview, &QAction::triggered, this,
            [this](bool checked) { m_engine.capture().setPreview(checked); });
    connect(m_audio, &QAction::triggered, this,
            [this](bool checked) { m_engine.capture().setCaptureAudio(checked); });
    m_statusBar = new StatusBarView(*statusBar(), m_status);
    connectCaptureEvents();
    new HelpKey(m_help, *this);
    // The first panel tells the last upload and the next one due, once the window has loaded.
    connect(&m_engine.monitor(), &UploadMonitor::changed, this, [this] {
        if (m_loaded)
            m_status.setUploadState(m_engine.monitor().statusText());
    });
}

MainWindow::~MainWindow() = default;

void MainWindow::connectCaptureEvents()
{
    CaptureComponent& capture = m_engine.capture();
    m_shownFeed = &capture;
    connect(&capture, &CaptureComponent::frameReady, m_video, [this](const QImage& frame) {
        if (m_shownFeed == &m_engine.capture())
            m_video->showFrame(frame);
    });
    connect(&capture, &CaptureComponent::camerasInUseChanged, this, &MainWindow::fillShowCameraMenu);
    fillShowCameraMenu();
    connect(&capture, &CaptureComponent::StatusChanged, this, [this](int number, const QString& text) {
        if (number == 0)
            return;
        m_status.setPanel(2, text);
        // Without a camera the picture says so too, over the last frame it showed.
        const bool noPicture =
            number == CaptureComponent::StatusCameraLost || number == CaptureComponent::StatusNoPicture;
        m_video->showNotice(noPicture ? text : QString());
    });
    connect(&capture, &CaptureComponent::ErrorOccurred, this, [this](int number, const QString& text) {
        if (number != 0)
            m_prompter.message(QStringLiteral("Error: ") + text, Prompter::Icon::None);
    });
    connect(&capture, &CaptureComponent::PreRoll, this, [this] {
        const Prompter::Answer answer =
            m_prompter.message(QStringLiteral("PreRoll complete - Click OK to start capture immediately.\n"
                                              "Using precise capture controls."),
                               Prompter::Icon::None, Prompter::Buttons::OkCancel);
        if (answer == Prompter::Answer::Ok)
            m_engine.capture().StartCaptureNow();
        else
            m_engine.capture().AbortCapture();
    });
    // Connections complete after the load: the size, the dialogs and the picture follow them.
    connect(&capture, &CaptureComponent::connectionChanged, this, [this] {
        if (!m_loaded)
            return;
        setDialogAvailability();
        showVideoSize();
        if (m_engine.capture().isConnected() && !m_video->isVisible()) {
            m_video->show();
            updatePictureShown();
        }
    });
    // A movie no longer holds the window, so the component's Yield needs no handling.
}

void MainWindow::updatePictureShown()
{
    const bool shown = isVisible() && !isMinimized() && m_video->isVisible();
    if (m_shownFeed != &m_engine.capture())
        m_engine.capture().setPictureShown(false);
    if (m_shownFeed)
        m_shownFeed->setPictureShown(shown);
}

void MainWindow::fillShowCameraMenu()
{
    CaptureComponent& capture = m_engine.capture();
    // A camera that is no longer in use gives the window back to the program's camera.
    if (!m_shownFeed || !capture.cameraFeed(m_shownCamera))
        showCamera(QString());
    QMenu* menu = m_menus->showCamera();
    menu->clear();
    auto* group = new QActionGroup(menu);
    auto add = [&](const QString& caption, const QString& identity) {
        QAction* action = menu->addAction(caption);
        action->setCheckable(true);
        action->setChecked(identity == m_shownCamera);
        action->setData(identity);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, identity] { showCamera(identity); });
    };
    add(QStringLiteral("The program's camera"), QString());
    for (const QString& identity : capture.camerasInUse())
        if (capture.cameraFeed(identity) && capture.cameraFeed(identity) != &capture)
            add(capture.cameraNameOf(identity), identity);
    menu->menuAction()->setEnabled(menu->actions().size() > 1);
}

void MainWindow::showCamera(const QString& identity)
{
    CaptureComponent& capture = m_engine.capture();
    CaptureComponent* feed = capture.cameraFeed(identity);
    if (!feed)
        feed = &capture;
    if (m_shownFeed && m_shownFeed != feed) {
        if (m_shownFeed != &capture)
            disconnect(m_shownFeed, &CaptureComponent::frameReady, m_video, &VideoView::showFrame);
        m_shownFeed->setPictureShown(false);
    }
    // The program's camera stays connected to the picture for its status and size; others only
    // while they are shown.
    if (feed != &capture && feed != m_shownFeed)
        connect(feed, &CaptureComponent::frameReady, m_video, &VideoView::showFrame);
    m_shownFeed = feed;
    m_shownCamera = feed == &capture ? QString() : identity;
    updatePictureShown();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    updatePictureShown();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    updatePictureShown();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updatePictureShown();
}

int MainWindow::pixelsX(int twips) const
{
    return m_geometry->pixelsX(twips);
}

int MainWindow::pixelsY(int twips) const
{
    return m_geometry->pixelsY(twips);
}

int MainWindow::twipsX(int pixels) const
{
    return m_geometry->twipsX(pixels);
}

int MainWindow::twipsY(int pixels) const
{
    return m_geometry->twipsY(pixels);
}

void MainWindow::showWindow()
{
    if (!m_loaded) {
        load();
        return;
    }
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::load()
{
    m_loaded = true;
    Regedit& store = m_engine.store();
    m_geometry->restore();

    // The background: a picture that cannot be read or a colour that is no number is ignored.
    const QString picture =
        store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, QStringLiteral("BGPic"))
            .value_or(QString());
    if (!picture.isEmpty())
        setBackgroundPicture(picture);
    bool isNumber = false;
    const qint64 color =
        store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, QStringLiteral("ProgramBGColor"))
            .value_or(QString())
            .trimmed()
            .toLongLong(&isNumber);
    if (isNumber && color >= 0 && color <= 0xFFFFFF)
        setBackgroundColor(colorFromStored(quint32(color)));

    ScreenPlacement::centreOnScreen(*this);
    setWindowTitle(kProgramTitle);

    // The capture control connects its driver as it comes up with the window.
    m_engine.connectCapture();
    setDialogAvailability();
    fillDriverList();

    m_statusBar->showAllPanels();
    openInternetSession();
    m_status.setPanel(1, UploadStatus::kClickToUpload);
    showVideoSize();
    armScheduler();
    show();
    fitFrame();
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    fitFrame();
}

void MainWindow::fitFrame()
{
    if (m_geometry->fitFrame())
        ScreenPlacement::centreOnScreen(*this);
}

void MainWindow::storeSize()
{
    m_geometry->store();
}

void MainWindow::setBackgroundPicture(const QString& path)
{
    static_cast<BackgroundPanel*>(m_background)->setPicture(path);
}

void MainWindow::setBackgroundColor(const QColor& color)
{
    static_cast<BackgroundPanel*>(m_background)->setColor(color);
}

void MainWindow::setDialogAvailability()
{
    const CaptureComponent& capture = m_engine.capture();
    m_format->setEnabled(capture.HasFormatDialog());
    m_display->setEnabled(capture.HasDisplayDialog());
    m_source->setEnabled(capture.HasSourceDialog());
}

void MainWindow::fillDriverList()
{
    if (selectDriverWindow().fillDrivers())
        return;
    // A first start without a camera says what can be done about it.
    m_prompter.message(kNoCameraText, Prompter::Icon::Information);
    m_video->hide();
    updatePictureShown();
}

void MainWindow::openInternetSession()
{
    // The FTP stage opened the session when the engine was built and reported a failure in the
    // log then. Transfers stay binary: the picture must arrive byte for byte.
    FtpStage& ftp = m_engine.ftp();
    ftp.connectFlags = 0;
    ftp.hConnection = 0;
}

void MainWindow::showVideoSize()
{
    const CaptureComponent& capture = m_engine.capture();
    if (capture.isConnected() && capture.width() > 0 && capture.height() > 0)
        m_video->setVideoSize(QSize(capture.width(), capture.height()));
    m_status.setPanel(
        4, QStringLiteral("%1 x %2").arg(m_video->videoSize().width()).arg(m_video->videoSize().height()));
}

void MainWindow::armScheduler()
{
    // Reading the interval box creates the Upload Settings window, which loads the accounts.
    UploadSettingsWindow& settings = uploadSettingsWindow();
    Q_UNUSED(settings);
    if (m_engine.accounts().loaded().seconds.isEmpty())
        m_engine.scheduler().StopTimer();
    else
        m_engine.scheduler().StartTimer();
}

void MainWindow::setTrayPresence(std::function<bool()> present)
{
    m_trayPresent = std::move(present);
}

void MainWindow::leaveForTray()
{
    if (m_trayPresent && m_trayPresent())
        hide();
    else
        showMinimized();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    storeSize();
    if (!m_engine.options().systray()) {
        event->ignore();
        leaveForTray();
        return;
    }
    event->accept();
    endProgram();
}

void MainWindow::endProgram()
{
    m_ended = true;
    if (m_endProgram)
        m_endProgram();
}

// File menu.

void MainWindow::save_image_capture_Click()
{
    m_captureCommands->save_image_capture_Click();
}

void MainWindow::save_motion_image_capture_Click()
{
    // Reading the rate creates the Movie Frame Rate window, which loads the stored rate.
    m_captureCommands->save_motion_image_capture_Click(movieFrameRateWindow().frameRate());
}

void MainWindow::mnuPrint_Click()
{
    m_captureCommands->mnuPrint_Click();
}

void MainWindow::mnuupload_now_Click()
{
    m_engine.scheduler().mnuupload_now_Click();
}

void MainWindow::systray_Click()
{
    leaveForTray();
}

void MainWindow::exit_Click()
{
    m_engine.scheduler().StopTimer();
    m_ended = false;
    close();
    // Closing in tray mode only hid the window: end here in every case, but only once.
    if (!m_ended)
        endProgram();
}

// Options menu.

void MainWindow::motion_preview_Click()
{
    m_motionPreview->trigger();
}

void MainWindow::mnuAudio_Click()
{
    m_audio->trigger();
}

void MainWindow::mnuFtpError_Click()
{
    ftpLogWindow().showLog();
}

// Configuration menu.

void MainWindow::ftp_Click()
{
    // No timed upload runs while the window is open; the status bar and the tray say so.
    m_engine.monitor().setPaused(true);
    m_engine.scheduler().StopTimer();
    uploadSettingsWindow().showWindow();
}

void MainWindow::prco_Click()
{
    programConfigWindow().showWindow();
}

void MainWindow::driver_Click()
{
    SelectDriverWindow& window = selectDriverWindow();
    window.hide();
    window.show();
    window.raise();
    window.activateWindow();
}

void MainWindow::runDriverDialog(QDialog& dialog)
{
    dialog.exec();
    if (const QString error = static_cast<DriverDialog&>(dialog).error(); !error.isEmpty())
        m_prompter.message(QStringLiteral("Error: ") + error, Prompter::Icon::None);
}

void MainWindow::vformat_Click()
{
    if (!m_format->isEnabled())
        return;
    FormatDialog dialog(m_engine.capture(), this);
    runDriverDialog(dialog);
    showVideoSize();
}

void MainWindow::display_Click()
{
    if (!m_display->isEnabled())
        return;
    DisplayDialog dialog(m_engine.capture(), this);
    runDriverDialog(dialog);
}

void MainWindow::source_Click()
{
    if (!m_source->isEnabled())
        return;
    SourceDialog dialog(m_engine.capture(), this);
    runDriverDialog(dialog);
}

void MainWindow::mnuMovieFrameRate_Click()
{
    MovieFrameRateWindow& window = movieFrameRateWindow();
    window.hide();
    window.show();
    window.raise();
    window.activateWindow();
}

void MainWindow::mnuMC_Click()
{
    CompressionDialog dialog(m_engine.capture(), this);
    runDriverDialog(dialog);
}

void MainWindow::mnuAF_Click()
{
    AudioFormatDialog dialog(m_engine.capture(), this);
    runDriverDialog(dialog);
}

// Help menu.

void MainWindow::velmora_help_Click()
{
    m_help.showHelpWindow();
}

void MainWindow::news_Click()
{
    if (!m_news)
        m_news = new NewsWindow(m_help, m_programFolder);
    m_news->hide();
    m_news->show();
    m_news->raise();
}

void MainWindow::about_Click()
{
    if (!m_about) {
        m_about = std::make_unique<AboutBox>(m_prompter);
        connect(m_about.get(), &AboutBox::mainWindowRequested, this, &MainWindow::showWindow);
    }
    m_about->hide();
    m_about->exec();
}

// Toolbar.

void MainWindow::toolbarButton_Click(const QString& key)
{
    if (key == QLatin1String("Save Image Capture")) {
        save_image_capture_Click();
    } else if (key == QLatin1String("Save Motion Image Capture")) {
        save_motion_image_capture_Click();
    } else if (key == QLatin1String("Upload now")) {
        mnuupload_now_Click();
    } else if (key == QLatin1String("FTP")) {
        m_engine.scheduler().StopTimer();
        ftp_Click();
    } else if (key == QLatin1String("Image")) {
        uploadSettingsWindow().openOnTimestampTab();
    } else if (key == QLatin1String("Picture")) {
        source_Click();
    } else if (key == QLatin1String("his")) {
        systray_Click();
    }
}

void MainWindow::pictureMenu_Click(const QString& key)
{
    if (key == QLatin1String("Driver"))
        driver_Click();
    else if (key == QLatin1String("Format"))
        vformat_Click();
    else if (key == QLatin1String("Display"))
        display_Click();
    else if (key == QLatin1String("Source"))
        source_Click();
}

// Windows, created on first use.

SelectDriverWindow& MainWindow::selectDriverWindow()
{
    if (!m_selectDriver) {
        m_selectDriver = std::make_unique<SelectDriverWindow>(m_engine.capture(), m_engine.store(),
                                                              m_prompter, m_help, m_captureDialogs);
        connect(m_selectDriver.get(), &SelectDriverWindow::mainWindowRequested, this,
                &MainWindow::showWindow);
    }
    return *m_selectDriver;
}

MovieFrameRateWindow& MainWindow::movieFrameRateWindow()
{
    if (!m_movieFrameRate) {
        m_movieFrameRate = std::make_unique<MovieFrameRateWindow>(m_engine.store(), m_help);
        connect(m_movieFrameRate.get(), &MovieFrameRateWindow::mainWindowRequested, this,
                &MainWindow::showWindow);
    }
    return *m_movieFrameRate;
}

FtpLogWindow& MainWindow::ftpLogWindow()
{
    if (!m_ftpLog) {
        m_ftpLog = std::make_unique<FtpLogWindow>(m_engine.log());
        connect(m_ftpLog.get(), &FtpLogWindow::mainWindowRequested, this, &MainWindow::showWindow);
    }
    return *m_ftpLog;
}

UploadSettingsWindow& MainWindow::uploadSettingsWindow()
{
    if (!m_uploadSettings) {
        m_uploadSettings = std::make_unique<UploadSettingsWindow>(m_engine.accounts(), m_help, m_dialogs);
        m_uploadSettings->setCameras(&m_engine.capture());
        m_uploadSettings->setTimelapse(&m_engine.timelapse());
        connect(m_uploadSettings.get(), &UploadSettingsWindow::confirmed, this, [this] {
            m_engine.monitor().setPaused(false);
            m_engine.scheduler().StartTimer();
            showWindow();
        });
    }
    return *m_uploadSettings;
}

ProgramConfigWindow& MainWindow::programConfigWindow()
{
    if (!m_programConfig) {
        m_programConfig = std::make_unique<ProgramConfigWindow>(
            m_engine.options(), m_prompter, m_help, m_dialogs,
            AutostartEntry::Command{m_programPath, m_engine.settings().storePath,
                                    m_engine.settings().workDir});
        connect(m_programConfig.get(), &ProgramConfigWindow::backgroundColorChosen, this,
                &MainWindow::setBackgroundColor);
        connect(m_programConfig.get(), &ProgramConfigWindow::backgroundPictureChanged, this,
                &MainWindow::setBackgroundPicture);
        connect(m_programConfig.get(), &ProgramConfigWindow::confirmed, this, &MainWindow::showWindow);
    }
    return *m_programConfig;
}
