#pragma once

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
class TrayHost final : public QObject
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

    QMenu& popupMenu() const { return *m_menu; }
    QSystemTrayIcon& icon() const { return *m_icon; }

private:
    ProgramOptions& m_options;
    MainWindowAccess m_mainWindow;
    std::function<void()> m_endProgram;
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
};
