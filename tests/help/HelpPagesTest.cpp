#include "HelpTestFolder.h"

#include "help/HelpTopics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

// The shipped pages are checked as files: the tree and the topics name pages that exist, and
// every link and picture between the pages resolves.
namespace {
QString readPage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList shippedPages()
{
    return QDir(helpHtmlFolder()).entryList({QStringLiteral("*.htm")}, QDir::Files, QDir::Name);
}

QStringList attributeValues(const QString& html, const QString& attribute)
{
    QStringList values;
    const QRegularExpression pattern(QStringLiteral("\\b%1\\s*=\\s*\"([^\"]*)\"").arg(attribute),
                                     QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpressionMatch& match : pattern.globalMatch(html))
        values << match.captured(1);
    return values;
}

QSet<QString> anchorsOf(const QString& html)
{
    QSet<QString> anchors;
    for (const QString& value :
         attributeValues(html, QStringLiteral("id")) + attributeValues(html, QStringLiteral("name")))
        anchors.insert(value);
    return anchors;
}

} // namespace

TEST(HelpPagesTest, EveryNodeAndTopicHasItsPage)
{
    QSet<QString> files;
    for (const HelpTopics::Node& node : HelpTopics::nodes()) {
        EXPECT_TRUE(node.page.startsWith(QStringLiteral("Help/HTML/"))) << node.key.toStdString();
        EXPECT_TRUE(QFileInfo::exists(HelpTopics::pagePath(helpProgramFolder(), node.page)))
            << node.page.toStdString();
        files.insert(node.page);
    }
    EXPECT_EQ(files.size(), 33) << "each node has a page of its own";
    for (const HelpTopics::Topic& topic : HelpTopics::topics()) {
        EXPECT_TRUE(files.contains(topic.page)) << topic.topic.toStdString();
        EXPECT_NE(HelpTopics::findNode(topic.select), nullptr) << topic.topic.toStdString();
        EXPECT_EQ(HelpTopics::findNode(topic.select)->page, topic.page) << topic.topic.toStdString();
        for (const QString& key : topic.expand)
            EXPECT_NE(HelpTopics::findNode(key), nullptr) << key.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(helpHtmlFolder() + QStringLiteral("/style.css")));
}

TEST(HelpPagesTest, PagesArePlainHtmlWithTheSharedStyleAndEveryLinkResolves)
{
    const QStringList pages = shippedPages();
    ASSERT_GE(pages.size(), 33);
    QHash<QString, QString> html;
    for (const QString& name : pages)
        html.insert(name, readPage(helpHtmlFolder() + QLatin1Char('/') + name));

    int links = 0;
    QSet<QString> linkedTo;
    for (const QString& name : pages) {
        SCOPED_TRACE(name.toStdString());
        const QString& page = html.value(name);
        EXPECT_FALSE(page.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
        EXPECT_FALSE(page.contains(QLatin1Char('@'))) << "no mail addresses";
        EXPECT_TRUE(page.contains(QStringLiteral("href=\"style.css\"")));
        EXPECT_TRUE(page.contains(QRegularExpression(QStringLiteral("<title>[^<]+</title>"))));
        EXPECT_TRUE(page.contains(QRegularExpression(QStringLiteral("<h1>[^<]+</h1>"))));
        for (const QString& target :
             attributeValues(page, QStringLiteral("href")) + attributeValues(page, QStringLiteral("src"))) {
            SCOPED_TRACE(target.toStdString());
            const QUrl url(target);
            // The program has no web site; a page that names one names an invented address.
            ASSERT_TRUE(url.scheme().isEmpty()) << "only links between the shipped pages";
            const QString file = url.path().isEmpty() ? name : url.path();
            EXPECT_FALSE(file.contains(QLatin1Char('/'))) << "pages link within their folder";
            ASSERT_TRUE(QFileInfo::exists(helpHtmlFolder() + QLatin1Char('/') + file));
            if (url.hasFragment()) {
                EXPECT_TRUE(anchorsOf(html.value(file)).contains(url.fragment()));
            }
            if (file != name)
                linkedTo.insert(file);
            ++links;
        }
    }
    EXPECT_GT(links, 200);
    // Every page can be reached from another one, not only from the tree.
    for (const QString& name : pages) {
        if (name != QStringLiteral("Start.htm")) {
            EXPECT_TRUE(linkedTo.contains(name)) << name.toStdString();
        }
    }
}
