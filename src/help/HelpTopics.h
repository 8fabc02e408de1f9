#pragma once

#include <QString>
#include <QStringList>

#include <span>

// The topic tree of the help window and the topics that other windows ask for. Kept apart from
// the widget so the tables can be checked against the shipped pages.
namespace HelpTopics {

// Pictures of the tree, numbered as the tree's image list numbers them.
enum Image { Chapter = 1, WebLink = 2, Page = 3 };

struct Node
{
    QString key;
    QString caption;
    QString parent; // empty for the root
    Image image;
    QString page; // below the program folder, with '/' separators
};

struct Topic
{
    QString topic;
    QString page;
    QStringList expand; // in this order, after the root is already expanded
    QString select;
};

// Every node in the order the tree adds them; the root "help" comes first.
std::span<const Node> nodes();
// The topics ShowHelpTopic accepts.
std::span<const Topic> topics();

const Node* findNode(const QString& key);
const Topic* findTopic(const QString& topic);

// The full path of a page below a program folder.
QString pagePath(const QString& programFolder, const QString& page);

inline const QString kStartPage = QStringLiteral("Help/HTML/Start.htm");

} // namespace HelpTopics
