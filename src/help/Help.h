#pragma once

#include <QObject>
#include <QString>

#include <memory>

class HelpWindow;

// The program's help: creates the help window on first use and keeps it for the run. Every
// window with a "&Help" button gets a reference to the one Help object.
class Help final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Help)

public:
    // programFolder: the folder holding "Help/HTML", normally AppPaths::dataFolder().
    explicit Help(QString programFolder, QObject* parent = nullptr);
    ~Help() override;

    // Opens the help window at one of the topics "configuration", "ftp", "driver", "framerate",
    // "news". Any other text does nothing, not even create the window.
    void ShowHelpTopic(const QString& topic);
    // F1: opens the help window at the page of a node of the topic tree ("upload_settings",
    // "show_ftp_log", ...); an unknown key does nothing.
    void showPage(const QString& nodeKey);
    // The main window's help menu entry: shows the window as it was left.
    void showHelpWindow();

    // The window once it exists; nullptr before the first use.
    HelpWindow* window() const { return m_window.get(); }
    HelpWindow& ensureWindow();

private:
    QString m_programFolder;
    std::unique_ptr<HelpWindow> m_window;
};
