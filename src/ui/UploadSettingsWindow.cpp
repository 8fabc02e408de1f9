#include "ui/UploadSettingsWindow.h"

#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "settings/AccountBook.h"
#include "ui/AccountListPanel.h"
#include "ui/ArchiveTab.h"
#include "ui/DestinationTab.h"
#include "ui/GeneralTab.h"
#include "ui/IntervalTab.h"
#include "ui/TimestampTab.h"
#include "ui/WindowParts.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using WindowParts::named;

UploadSettingsWindow::UploadSettingsWindow(AccountBook& book, Help& help, SettingsDialogs& dialogs,
                                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_book(book), m_help(help), m_list(new AccountListPanel(book)), m_general(new GeneralTab(book, dialogs))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Upload Settings"));

    m_tabPages = {m_general, new DestinationTab(book, dialogs), new IntervalTab(book),
                  new TimestampTab(book, dialogs), m_archive = new ArchiveTab(book)};
    m_tabs = named(new QTabWidget, QStringLiteral("TabStripFTP"));
    const QStringList captions{QStringLiteral("&General"), QStringLiteral("&Destination"),
                               QStringLiteral("&Interval"), QStringLiteral("&Timestamp"),
                               QStringLiteral("Ar&chive")};
    for (int tab = 0; tab < m_tabPages.size(); ++tab)
        m_tabs->addTab(m_tabPages[tab], captions[tab]);

    m_helpButton = named(new QPushButton(QStringLiteral("&Help")), QStringLiteral("cmdHelp"));
    m_ok = named(new QPushButton(QStringLiteral("&OK")), QStringLiteral("Command1"));
    m_ok->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_helpButton);
    bottom->addStretch();
    bottom->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_tabs);
    layout->addLayout(bottom);
    resize(560, 520);

    ScreenPlacement::centreOnScreen(*this);
    m_tabs->setCurrentIndex(0);
    connect(&m_book, &AccountBook::rowsChanged, m_list, &AccountListPanel::refresh);
    connect(&m_book, &AccountBook::loadedChanged, this, &UploadSettingsWindow::refreshControls);
    connect(m_helpButton, &QPushButton::clicked, this,
            [this] { m_help.ShowHelpTopic(QStringLiteral("ftp")); });
    connect(m_ok, &QPushButton::clicked, this, &UploadSettingsWindow::confirm);
    if (m_book.rowCount() == 0)
        m_book.loadList();
    m_list->refresh();
    refreshControls();
}

UploadSettingsWindow::~UploadSettingsWindow() = default;

void UploadSettingsWindow::setKnownHostsFile(const QString& path)
{
    m_general->setKnownHostsFile(path);
}

void UploadSettingsWindow::setCameras(const CaptureComponent* capture)
{
    m_general->setCameras(capture);
}

void UploadSettingsWindow::setTimelapse(TimelapseService* service)
{
    m_archive->setTimelapse(service);
}

void UploadSettingsWindow::refreshControls()
{
    m_list->showStoreProblem();
    for (AccountTab* tab : std::as_const(m_tabPages))
        tab->refresh();
}

void UploadSettingsWindow::showWindow()
{
    hide();
    show();
    raise();
    activateWindow();
}

void UploadSettingsWindow::openOnTimestampTab()
{
    m_tabs->setCurrentIndex(kTimestampTab);
    hide();
    exec();
}

void UploadSettingsWindow::confirm()
{
    // Enter confirms without leaving a number box: each shows what is stored first.
    for (AccountTab* tab : std::as_const(m_tabPages))
        tab->finishEdits();
    m_book.saveFlags();
    m_book.ValdItem();
    // Ends a modal run as well as hiding a modeless window.
    done(QDialog::Accepted);
    emit confirmed();
}

void UploadSettingsWindow::reject()
{
    // Escape leaves the window as "&OK" does: while it is open no timed upload runs, so a window
    // left behind must never stop the webcam unseen. Every edit is stored already.
    if (isVisible())
        confirm();
}

void UploadSettingsWindow::closeEvent(QCloseEvent* event)
{
    // The close box too. The window is only ever hidden, never closed (the end of the program
    // hides every window).
    event->ignore();
    if (isVisible())
        confirm();
}
