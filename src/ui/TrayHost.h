#pragma once

#include "ui/TrayIndicator.h"

#include <QObject>

#include <functional>

class MainWindow;
class ProgramOptions;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The program's presence in the notification area: the icon with the tip "Velmora", whose
// double-click opens the main window and whose menu offers Open, Upload Now and Exit. It starts
// the program: the main window is shown at once unless the "Min" option asks for the icon only.
// The main window is created on first need through mainWindow.
//
// The icon carries a mark while an upload runs or when the last upload of some account failed; its
// tooltip tells the last upload and the next one, or the failure and why.
class TrayHost final : public QObject, public TrayIndicator
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayHost)

public:
    using MainWindowAccess = std::function<MainWindow&()>;

    // endProgram ends the program at once, without any window's closing steps.
    TrayHost(ProgramOptions& options, MainWindowAccess mainWindow, std::function<void()> endProgram,
             QObject* parent = nullptr);
    ~TrayHost() override;

    // Puts the icon in place and shows the main window unless "Min" is set. Where the desktop
    // has no notification area the main window is always shown, so the program never runs
    // without anything on screen.
    void start();
    bool hasIcon() const;

    // The menu's commands.
    void mnuOpen_Click();
    void upload_now_Click();
    void mnuClose_Click();

    void showState(UploadMonitor::State state, const QString& toolTip) override;
    void notify(const QString& title, const QString& text, bool failing) override;

    QMenu& popupMenu() const { return *m_menu; }
    QSystemTrayIcon& icon() const { return *m_icon; }

private:
    ProgramOptions& m_options;
    MainWindowAccess m_mainWindow;
    std::function<void()> m_endProgram;
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    UploadMonitor::State m_state = UploadMonitor::State::Normal;
};
