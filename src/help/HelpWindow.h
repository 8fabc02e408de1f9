#pragma once

#include <QString>
#include <QWidget>

class HelpBrowser;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The help window: the topic tree on the left, the page on the right. Created once and then only
// hidden and shown, so the tree and the page stay as the user left them.
class HelpWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpWindow)

public:
    // programFolder: where "Help/HTML" lies, normally AppPaths::dataFolder().
    explicit HelpWindow(const QString& programFolder, QWidget* parent = nullptr);

    // Opens the window at a topic: shows it, shows the topic's page, expands the topic's nodes and
    // highlights its node. An unknown topic changes nothing.
    void ShowHelpTopic(const QString& topic);
    // Opens the window at the page of a node of the tree (F1 in a window); unknown keys do nothing.
    void showPageOf(const QString& key);
    // Hides and shows the window again without changing its page (the main window's menu entry).
    void showWindow();
    // What clicking a node does: shows that node's page. An unknown key does nothing.
    void openNode(const QString& key);

    QTreeWidgetItem* node(const QString& key) const;
    HelpBrowser& browser() const { return *m_browser; }
    QString pagePath(const QString& page) const;

private:
    void addNodes();
    void present();
    void selectFromProgram(QTreeWidgetItem* item);

    QString m_programFolder;
    QTreeWidget* m_tree;
    HelpBrowser* m_browser;
    QPushButton* m_back;
    QPushButton* m_close;
    bool m_selectingFromProgram = false;
};
