#pragma once

#include <QWidget>

class Help;
class HelpBrowser;

// The news window: the release notes shipped with the program and its version. "&Close" destroys
// it (it deletes itself on close); the owner keeps a QPointer and creates it afresh next time.
class NewsWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewsWindow)

public:
    // programFolder: where "Help/HTML" lies, normally AppPaths::dataFolder().
    NewsWindow(Help& help, const QString& programFolder, QWidget* parent = nullptr);

    HelpBrowser& browser() const { return *m_browser; }

private:
    HelpBrowser* m_browser;
};
