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
#include "ui/ElidedLabel.h"
#include "ui/FormatDialog.h"
#include "ui/FtpLogWindow.h"
#include "ui/HelpKey.h"
#include "ui/MovieFrameRateWindow.h"
#include "ui/ProgramConfigWindow.h"
#include "ui/ProgramPictures.h"
#include "ui/SelectDriverWindow.h"
#include "ui/SourceDialog.h"
#include "ui/StatusPanels.h"
#include "ui/UploadSettingsWindow.h"
#include "ui/VideoView.h"
#include "upload/FtpStage.h"
#include "upload/UploadEngine.h"
#include "upload/UploadMonitor.h"
#include "upload/UploadScheduler.h"

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

namespace {
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");

// A stored size: a positive whole number, or absent.
std::optional<int> storedTwips(const std::optional<QString>& text)
{
    bool isNumber = false;
    const int value = text.value_or(QString()).trimmed().toInt(&isNumber);
    if (!isNumber || value <= 0)
        return std::nullopt;
    return value;
}
} // namespace

MainWindow::MainWindow(const Dependencies& dependencies)
    : m_engine(dependencies.engine), m_prompter(dependencies.prompter), m_help(dependencies.help),
      m_dialogs(dependencies.dialogs), m_captureDialogs(dependencies.captureDialogs),
      m_status(dependencies.status), m_programPath(dependencies.programPath),
      m_programFolder(dependencies.programFolder), m_endProgram(dependencies.endProgram),
      m_trayPresent(&QSystemTrayIcon::isSystemTrayAvailable)
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

    buildMenus();
    buildToolbar();
    buildStatusBar();
    connectCaptureEvents();
    new HelpKey(m_help, *this);
    // The first panel tells the last upload and the next one due, once the window has loaded.
    connect(&m_engine.monitor(), &UploadMonitor::changed, this, [this] {
        if (m_loaded)
            m_status.setUploadState(m_engine.monitor().statusText());
    });
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::addCommand(QMenu* menu, const QString& name, const QString& caption,
                                void (MainWindow::*command)(), const QKeySequence& shortcut)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, command);
    return action;
}

void MainWindow::buildMenus()
{
    auto addMenu = [this](const QString& name, const QString& caption) {
        QMenu* menu = menuBar()->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name + QStringLiteral("Menu"));
        return menu;
    };
    auto addSeparator = [](QMenu* menu, const QString& name) { menu->addSeparator()->setObjectName(name); };

    QMenu* file = addMenu(QStringLiteral("file"), QStringLiteral("&File"));
    addCommand(file, QStringLiteral("save_image_capture"), QStringLiteral("Capture &Image..."),
               &MainWindow::save_image_capture_Click, QKeySequence(Qt::CTRL | Qt::Key_I));
    addCommand(file, QStringLiteral("save_motion_image_capture"), QStringLiteral("Capture &Movie..."),
               &MainWindow::save_motion_image_capture_Click, QKeySequence(Qt::CTRL | Qt::Key_M));
    addSeparator(file, QStringLiteral("file_streck2"));
    addCommand(file, QStringLiteral("mnuupload_now"), QStringLiteral("&Upload Now"),
               &MainWindow::mnuupload_now_Click, QKeySequence(Qt::CTRL | Qt::Key_U));
    addSeparator(file, QStringLiteral("streckprint"));
    addCommand(file, QStringLiteral("mnuPrint"), QStringLiteral("&Print"), &MainWindow::mnuPrint_Click);
    addSeparator(file, QStringLiteral("file_streck"));
    addCommand(file, QStringLiteral("systray"), QStringLiteral("&Hide In Systray"),
               &MainWindow::systray_Click);
    addCommand(file, QStringLiteral("exit"), QStringLiteral("&Exit"), &MainWindow::exit_Click,
               QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* options = addMenu(QStringLiteral("options"), QStringLiteral("&Options"));
    // The two toggles flip their own check mark; their handlers read it.
    m_motionPreview = options->addAction(QStringLiteral("&Motion Preview"));
    m_motionPreview->setObjectName(QStringLiteral("motion_preview"));
    m_motionPreview->setCheckable(true);
    m_motionPreview->setChecked(true);
    connect(m_motionPreview, &QAction::triggered, this,
            [this](bool checked) { m_engine.capture().setPreview(checked); });
    m_audio = options->addAction(QStringLiteral("Capture &Audio in Movie"));
    m_audio->setObjectName(QStringLiteral("mnuAudio"));
    m_audio->setCheckable(true);
    m_audio->setChecked(true);
    connect(m_audio, &QAction::triggered, this,
            [this](bool checked) { m_engine.capture().setCaptureAudio(checked); });
    addCommand(options, QStringLiteral("mnuFtpError"), QStringLiteral("Show FTP &Log..."),
               &MainWindow::mnuFtpError_Click);

    QMenu* configuration = addMenu(QStringLiteral("configuration"), QStringLiteral("&Configuration"));
    addCommand(configuration, QStringLiteral("ftp"), QStringLiteral("&Upload Settings..."),
               &MainWindow::ftp_Click, QKeySequence(Qt::CTRL | Qt::Key_S));
    addCommand(configuration, QStringLiteral("prco"), QStringLiteral("&Program Configuration..."),
               &MainWindow::prco_Click, QKeySequence(Qt::CTRL | Qt::Key_P));
    addSeparator(configuration, QStringLiteral("configuration_streck2"));
    QMenu* picture = configuration->addMenu(QStringLiteral("&Picture"));
    picture->setObjectName(QStringLiteral("picture"));
    addCommand(picture, QStringLiteral("driver"), QStringLiteral("D&river..."), &MainWindow::driver_Click);
    addSeparator(picture, QStringLiteral("configuration_streck"));
    m_format = addCommand(picture, QStringLiteral("vformat"), QStringLiteral("&Format..."),
                          &MainWindow::vformat_Click);
    m_display = addCommand(picture, QStringLiteral("display"), QStringLiteral("&Display..."),
                           &MainWindow::display_Click);
    m_source = addCommand(picture, QStringLiteral("source"), QStringLiteral("&Source..."),
                          &MainWindow::source_Click);
    addSeparator(picture, QStringLiteral("streckConf"));
    addCommand(picture, QStringLiteral("mnuMovieFrameRate"), QStringLiteral("Movie Frame &Rate..."),
               &MainWindow::mnuMovieFrameRate_Click);
    addCommand(picture, QStringLiteral("mnuMC"), QStringLiteral("&Movie Compressor..."),
               &MainWindow::mnuMC_Click);
    addCommand(picture, QStringLiteral("mnuAF"), QStringLiteral("&Audio Format..."),
               &MainWindow::mnuAF_Click);

    QMenu* help = addMenu(QStringLiteral("help"), QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("velmora_help"), QStringLiteral("Velmora 2000 &Help..."),
               &MainWindow::velmora_help_Click);
    addCommand(help, QStringLiteral("news"), QStringLiteral("&News..."), &MainWindow::news_Click);
    addSeparator(help, QStringLiteral("help_streck_2"));
    addCommand(help, QStringLiteral("about"), QStringLiteral("&About"), &MainWindow::about_Click);
}

void MainWindow::buildToolbar()
{
    using ProgramPictures::Tool;
    QToolBar* toolbar = addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    auto addButton = [this, toolbar](const QString& key, const QString& tip, Tool picture) {
        QAction* action = toolbar->addAction(ProgramPictures::toolIcon(picture), tip);
        action->setObjectName(key);
        action->setData(key);
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, key] { toolbarButton_Click(key); });
        return action;
    };
    addButton(QStringLiteral("Save Image Capture"), QStringLiteral("Capture Image"), Tool::CaptureImage);
    addButton(QStringLiteral("Save Motion Image Capture"), QStringLiteral("Capture Movie"),
              Tool::CaptureMovie);
    toolbar->addSeparator();
    addButton(QStringLiteral("Upload now"), QStringLiteral("Upload Now"), Tool::UploadNow);
    toolbar->addSeparator();
    toolbar->addSeparator();
    addButton(QStringLiteral("FTP"), QStringLiteral("Upload Settings"), Tool::UploadSettings);
    addButton(QStringLiteral("Image"), QStringLiteral("Image"), Tool::Image);
    QAction* picture =
        addButton(QStringLiteral("Picture"), QStringLiteral("Picture (Source)"), Tool::Picture);
    auto* dropDown = new QMenu(this);
    dropDown->setObjectName(QStringLiteral("PictureDropDown"));
    // The driver's dialogs are offered here exactly when the menu offers them.
    auto addEntry = [this, dropDown](const QString& text, QAction* menuItem) {
        QAction* entry = dropDown->addAction(text);
        entry->setObjectName(QStringLiteral("Picture") + text);
        entry->setData(text);
        connect(entry, &QAction::triggered, this, [this, text] { pictureMenu_Click(text); });
        if (menuItem) {
            entry->setEnabled(menuItem->isEnabled());
            connect(menuItem, &QAction::enabledChanged, entry, &QAction::setEnabled);
        }
    };
    addEntry(QStringLiteral("Driver"), nullptr);
    dropDown->addSeparator()->setData(QStringLiteral("Streck"));
    addEntry(QStringLiteral("Format"), m_format);
    addEntry(QStringLiteral("Display"), m_display);
    addEntry(QStringLiteral("Source"), m_source);
    picture->setMenu(dropDown);
    if (auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(picture)))
        button->setPopupMode(QToolButton::MenuButtonPopup);
    toolbar->addSeparator();
    addButton(QStringLiteral("his"), QStringLiteral("Hide in systray"), Tool::HideInSystray);
}

void MainWindow::buildStatusBar()
{
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);
    for (int number = 1; number <= StatusPanels::kCount; ++number) {
        // The upload state takes the room the other panels leave; a longer text ends in an ellipsis.
        auto* label = number == 1 ? new ElidedLabel(m_status.panel(number), statusBar())
                                  : new QLabel(m_status.panel(number), statusBar());
        label->setObjectName(QStringLiteral("panel%1").arg(number));
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(16);
        label->setVisible(number == 1); // the load adds the other three
        statusBar()->addWidget(label, number == 1 ? 1 : 0);
        m_panels.append(label);
    }
    connect(&m_status, &StatusPanels::panelChanged, this,
            [this](int number, const QString& text) { m_panels[number - 1]->setText(text); });
}

void MainWindow::connectCaptureEvents()
{
    CaptureComponent& capture = m_engine.capture();
    connect(&capture, &CaptureComponent::frameReady, m_video, &VideoView::showFrame);
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
    m_engine.capture().setPictureShown(isVisible() && !isMinimized() && m_video->isVisible());
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
    return int(std::lround(double(twips) * logicalDpiX() / kTwipsPerInch));
}

int MainWindow::pixelsY(int twips) const
{
    return int(std::lround(double(twips) * logicalDpiY() / kTwipsPerInch));
}

int MainWindow::twipsX(int pixels) const
{
    return int(std::lround(double(pixels) * kTwipsPerInch / logicalDpiX()));
}

int MainWindow::twipsY(int pixels) const
{
    return int(std::lround(double(pixels) * kTwipsPerInch / logicalDpiY()));
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
    restoreSize();

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

    for (QLabel* panel : m_panels)
        panel->setVisible(true);
    openInternetSession();
    m_status.setPanel(1, UploadStatus::kClickToUpload);
    showVideoSize();
    armScheduler();
    show();
    fitFrame();
}

void MainWindow::restoreSize()
{
    Regedit& store = m_engine.store();
    const int width = storedTwips(store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kWidth))
                          .value_or(kDefaultWidthTwips);
    const int height = storedTwips(store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kHeight))
                           .value_or(kDefaultHeightTwips);
    m_loadedTwips = QSize(width, height);
    m_wantedOuter = QSize(pixelsX(width), pixelsY(height));
    // A size stored on a larger screen would put the title bar out of reach: at most the screen's
    // free area. The stored value itself is kept unless the user resizes the window.
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
        m_wantedOuter = m_wantedOuter.boundedTo(screen->availableGeometry().size());
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(m_wantedOuter - frame);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    fitFrame();
}

void MainWindow::fitFrame()
{
    // The window manager's frame is known only once the window is on screen: give the frame its
    // share of the stored outer size once, so the size does not grow from run to run.
    if (m_frameCorrected || !isVisible())
        return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isEmpty())
        return;
    m_frameCorrected = true;
    resize(m_wantedOuter - frame);
    ScreenPlacement::centreOnScreen(*this);
}

void MainWindow::storeSize()
{
    const QSize outer = frameGeometry().size();
    // Unchanged since the load: keep the stored twips, which pixels cannot always give back.
    const QSize twips =
        outer == m_wantedOuter ? m_loadedTwips : QSize(twipsX(outer.width()), twipsY(outer.height()));
    Regedit& store = m_engine.store();
    store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kHeight,
                     QString::number(twips.height()));
    store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kWidth, QString::number(twips.width()));
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
