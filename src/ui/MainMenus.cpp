#include "ui/MainMenus.h"

#include "ui/MainWindow.h"
#include "ui/ProgramPictures.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace {
QAction* addCommand(MainWindow& window, QMenu* menu, const QString& name, const QString& caption,
                    void (MainWindow::*command)(), const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, &window, command);
    return action;
}
} // namespace

MainMenus::MainMenus(MainWindow& window) : m_window(window)
{
    buildMenus();
    buildToolbar();
}

void MainMenus::buildMenus()
{
    auto addMenu = [this](const QString& name, const QString& caption) {
        QMenu* menu = m_window.menuBar()->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name + QStringLiteral("Menu"));
        return menu;
    };
    auto addSeparator = [](QMenu* menu, const QString& name) { menu->addSeparator()->setObjectName(name); };

    QMenu* file = addMenu(QStringLiteral("file"), QStringLiteral("&File"));
    addCommand(m_window, file, QStringLiteral("save_image_capture"), QStringLiteral("Capture &Image..."),
               &MainWindow::save_image_capture_Click, QKeySequence(Qt::CTRL | Qt::Key_I));
    addCommand(m_window, file, QStringLiteral("save_motion_image_capture"),
               QStringLiteral("Capture &Movie..."), &MainWindow::save_motion_image_capture_Click,
               QKeySequence(Qt::CTRL | Qt::Key_M));
    addSeparator(file, QStringLiteral("file_streck2"));
    addCommand(m_window, file, QStringLiteral("mnuupload_now"), QStringLiteral("&Upload Now"),
               &MainWindow::mnuupload_now_Click, QKeySequence(Qt::CTRL | Qt::Key_U));
    addSeparator(file, QStringLiteral("streckprint"));
    addCommand(m_window, file, QStringLiteral("mnuPrint"), QStringLiteral("&Print"),
               &MainWindow::mnuPrint_Click);
    addSeparator(file, QStringLiteral("file_streck"));
    addCommand(m_window, file, QStringLiteral("systray"), QStringLiteral("&Hide In Systray"),
               &MainWindow::systray_Click);
    addCommand(m_window, file, QStringLiteral("exit"), QStringLiteral("&Exit"), &MainWindow::exit_Click,
               QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* options = addMenu(QStringLiteral("options"), QStringLiteral("&Options"));
    // The two toggles flip their own check mark; their handlers read it.
    m_motionPreview = options->addAction(QStringLiteral("&Motion Preview"));
    m_motionPreview->setObjectName(QStringLiteral("motion_preview"));
    m_motionPreview->setCheckable(true);
    m_motionPreview->setChecked(true);
    m_audio = options->addAction(QStringLiteral("Capture &Audio in Movie"));
    m_audio->setObjectName(QStringLiteral("mnuAudio"));
    m_audio->setCheckable(true);
    m_audio->setChecked(true);
    addCommand(m_window, options, QStringLiteral("mnuFtpError"), QStringLiteral("Show FTP &Log..."),
               &MainWindow::mnuFtpError_Click);
    m_showCamera = options->addMenu(QStringLiteral("Sho&w Camera"));
    m_showCamera->setObjectName(QStringLiteral("mnuShowCamera"));
    m_showCamera->menuAction()->setObjectName(QStringLiteral("mnuShowCameraMenu"));

    QMenu* configuration = addMenu(QStringLiteral("configuration"), QStringLiteral("&Configuration"));
    addCommand(m_window, configuration, QStringLiteral("ftp"), QStringLiteral("&Upload Settings..."),
               &MainWindow::ftp_Click, QKeySequence(Qt::CTRL | Qt::Key_S));
    addCommand(m_window, configuration, QStringLiteral("prco"), QStringLiteral("&Program Configuration..."),
               &MainWindow::prco_Click, QKeySequence(Qt::CTRL | Qt::Key_P));
    addSeparator(configuration, QStringLiteral("configuration_streck2"));
    QMenu* picture = configuration->addMenu(QStringLiteral("&Picture"));
    picture->setObjectName(QStringLiteral("picture"));
    addCommand(m_window, picture, QStringLiteral("driver"), QStringLiteral("D&river..."),
               &MainWindow::driver_Click);
    addSeparator(picture, QStringLiteral("configuration_streck"));
    m_format = addCommand(m_window, picture, QStringLiteral("vformat"), QStringLiteral("&Format..."),
                          &MainWindow::vformat_Click);
    m_display = addCommand(m_window, picture, QStringLiteral("display"), QStringLiteral("&Display..."),
                           &MainWindow::display_Click);
    m_source = addCommand(m_window, picture, QStringLiteral("source"), QStringLiteral("&Source..."),
                          &MainWindow::source_Click);
    addSeparator(picture, QStringLiteral("streckConf"));
    addCommand(m_window, picture, QStringLiteral("mnuMovieFrameRate"), QStringLiteral("Movie Frame &Rate..."),
               &MainWindow::mnuMovieFrameRate_Click);
    addCommand(m_window, picture, QStringLiteral("mnuMC"), QStringLiteral("&Movie Compressor..."),
               &MainWindow::mnuMC_Click);
    addCommand(m_window, picture, QStringLiteral("mnuAF"), QStringLiteral("&Audio Format..."),
               &MainWindow::mnuAF_Click);

    QMenu* help = addMenu(QStringLiteral("help"), QStringLiteral("&Help"));
    addCommand(m_window, help, QStringLiteral("velmora_help"), QStringLiteral("Velmora 2000 &Help..."),
               &MainWindow::velmora_help_Click);
    addCommand(m_window, help, QStringLiteral("news"), QStringLiteral("&News..."), &MainWindow::news_Click);
    addSeparator(help, QStringLiteral("help_streck_2"));
    addCommand(m_window, help, QStringLiteral("about"), QStringLiteral("&About"), &MainWindow::about_Click);
}

void MainMenus::buildToolbar()
{
    using ProgramPictures::Tool;
    QToolBar* toolbar = m_window.addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16));
    auto addButton = [this, toolbar](const QString& key, const QString& tip, Tool picture) {
        QAction* action = toolbar->addAction(ProgramPictures::toolIcon(picture), tip);
        action->setObjectName(key);
        action->setData(key);
        action->setToolTip(tip);
        QObject::connect(action, &QAction::triggered, &m_window,
                         [&window = m_window, key] { window.toolbarButton_Click(key); });
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
    auto* dropDown = new QMenu(&m_window);
    dropDown->setObjectName(QStringLiteral("PictureDropDown"));
    // The driver's dialogs are offered here exactly when the menu offers them.
    auto addEntry = [this, dropDown](const QString& text, QAction* menuItem) {
        QAction* entry = dropDown->addAction(text);
        entry->setObjectName(QStringLiteral("Picture") + text);
        entry->setData(text);
        QObject::connect(entry, &QAction::triggered, &m_window,
                         [&window = m_window, text] { window.pictureMenu_Click(text); });
        if (menuItem) {
            entry->setEnabled(menuItem->isEnabled());
            QObject::connect(menuItem, &QAction::enabledChanged, entry, &QAction::setEnabled);
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
