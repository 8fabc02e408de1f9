#include "ui/TrayHost.h"

#include "common/ProgramIcon.h"
#include "options/ProgramOptions.h"
#include "ui/MainWindow.h"

#include <QMenu>
#include <QSystemTrayIcon>

TrayHost::TrayHost(ProgramOptions& options, MainWindowAccess mainWindow, std::function<void()> endProgram,
                   QObject* parent)
    : QObject(parent), m_options(options), m_mainWindow(std::move(mainWindow)),
      m_endProgram(std::move(endProgram))
{
    m_menu = new QMenu(QStringLiteral("&Menu"));
    m_menu->setObjectName(QStringLiteral("mnuPopup"));
    QAction* open = m_menu->addAction(QStringLiteral("&Open"));
    open->setObjectName(QStringLiteral("mnuOpen"));
    m_menu->setDefaultAction(open);
    m_menu->addSeparator()->setObjectName(QStringLiteral("div3"));
    QAction* upload = m_menu->addAction(QStringLiteral("&Upload Now"));
    upload->setObjectName(QStringLiteral("upload_now"));
    m_menu->addSeparator()->setObjectName(QStringLiteral("div4"));
    QAction* exit = m_menu->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("mnuClose"));
    connect(open, &QAction::triggered, this, &TrayHost::mnuOpen_Click);
    connect(upload, &QAction::triggered, this, &TrayHost::upload_now_Click);
    connect(exit, &QAction::triggered, this, &TrayHost::mnuClose_Click);

    m_icon = new QSystemTrayIcon(ProgramIcon::icon(), this);
    m_icon->setToolTip(QStringLiteral("Velmora"));
    // The desktop opens the menu on the right button's release; a single click does nothing.
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            mnuOpen_Click();
    });
}

TrayHost::~TrayHost()
{
    delete m_menu;
}

void TrayHost::start()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon->show();
    if (!m_options.min() || !hasIcon())
        m_mainWindow().showWindow();
}

bool TrayHost::hasIcon() const
{
    return m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayHost::mnuOpen_Click()
{
    m_mainWindow().showWindow();
}

void TrayHost::upload_now_Click()
{
    // A main window that does not exist yet is created and shown first, as its load arms the
    // capture device the upload needs.
    MainWindow& window = m_mainWindow();
    if (!window.isLoaded())
        window.showWindow();
    window.mnuupload_now_Click();
}

void TrayHost::mnuClose_Click()
{
    MainWindow& window = m_mainWindow();
    if (!window.isLoaded())
        window.showWindow();
    window.storeSize();
    m_endProgram();
}

void TrayHost::showState(UploadMonitor::State state, const QString& toolTip)
{
    if (state != m_state) {
        m_state = state;
        switch (state) {
        case UploadMonitor::State::Uploading:
            m_icon->setIcon(ProgramIcon::icon(ProgramIcon::Badge::Uploading));
            break;
        case UploadMonitor::State::Failing:
            m_icon->setIcon(ProgramIcon::icon(ProgramIcon::Badge::Failing));
            break;
        case UploadMonitor::State::Normal:
            m_icon->setIcon(ProgramIcon::icon());
            break;
        }
    }
    m_icon->setToolTip(toolTip);
}

void TrayHost::notify(const QString& title, const QString& text, bool failing)
{
    if (hasIcon())
        m_icon->showMessage(title, text, failing ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}
