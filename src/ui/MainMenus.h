#pragma once

class MainWindow;
class QAction;
class QMenu;

// The main window's menu bar and toolbar, each entry with its objectName, caption and shortcut,
// wired to the window's commands (the toolbar's buttons and the "Picture" drop-down by key).
class MainMenus final
{
public:
    explicit MainMenus(MainWindow& window);

    // The entries the window changes later: the driver's dialogs are offered as the camera allows,
    // and the two toggles keep their check mark.
    QAction* format() const { return m_format; }
    QAction* display() const { return m_display; }
    QAction* source() const { return m_source; }
    QAction* motionPreview() const { return m_motionPreview; }
    QAction* audio() const { return m_audio; }
    // "Show Camera": which of the cameras in use the window shows; the window fills it.
    QMenu* showCamera() const { return m_showCamera; }

private:
    void buildMenus();
    void buildToolbar();

    MainWindow& m_window;
    QAction* m_format = nullptr;
    QAction* m_display = nullptr;
    QAction* m_source = nullptr;
    QAction* m_motionPreview = nullptr;
    QAction* m_audio = nullptr;
    QMenu* m_showCamera = nullptr;
};
