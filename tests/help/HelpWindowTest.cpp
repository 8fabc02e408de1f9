#include "HelpTestFolder.h"

#include "help/Help.h"
#include "help/HelpBrowser.h"
#include "help/HelpTopics.h"
#include "help/HelpWindow.h"

#include <QApplication>
#include <QDialog>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

namespace {
QUrl page(const QString& file)
{
    return QUrl::fromLocalFile(helpHtmlFolder() + QLatin1Char('/') + file);
}

QStringList expandedKeys(const HelpWindow& window)
{
    QStringList keys;
    for (const HelpTopics::Node& node : HelpTopics::nodes()) {
        if (window.node(node.key)->isExpanded())
            keys << node.key;
    }
    return keys;
}

QString selectedKey(const HelpWindow& window)
{
    const auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tv1"));
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.size() == 1 ? selected.front()->data(0, Qt::UserRole).toString() : QString();
}

QUrl shownPage(const HelpWindow& window)
{
    return window.findChild<QTextBrowser*>(QStringLiteral("help_browser"))->source();
}

struct TopicCase
{
    const char* topic;
    const char* page;
    QStringList expanded; // every expanded node afterwards, in table order
    const char* selected;
};

class ShowHelpTopicTest : public ::testing::TestWithParam<TopicCase>
{
};
} // namespace

TEST_P(ShowHelpTopicTest, OpensPageExpandsAndSelects)
{
    const TopicCase& c = GetParam();
    Help help(helpProgramFolder());
    ASSERT_EQ(help.window(), nullptr);

    help.ShowHelpTopic(QString::fromLatin1(c.topic));

    HelpWindow* window = help.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownPage(*window), page(QString::fromLatin1(c.page)));
    EXPECT_EQ(expandedKeys(*window), c.expanded);
    EXPECT_EQ(selectedKey(*window), QString::fromLatin1(c.selected));
}

INSTANTIATE_TEST_SUITE_P(
    EveryTopic, ShowHelpTopicTest,
    ::testing::Values(
        TopicCase{
            "configuration", "ProgramConfiguration.htm", {"help", "configuration"}, "program_configuration"},
        TopicCase{"ftp", "UploadSettings.htm", {"help", "configuration"}, "upload_settings"},
        TopicCase{"driver", "Driver.htm", {"help", "configuration", "picture"}, "driver"},
        TopicCase{"framerate", "MovieFrameRate.htm", {"help", "configuration"}, "movie_frame_rate"},
        TopicCase{"news", "WhatIsNews.htm", {"help", "misc."}, "what_is_news"}),
    [](const ::testing::TestParamInfo<TopicCase>& testCase) { return std::string(testCase.param.topic); });

TEST(HelpWindowTest, CreatedWithTheTreeOfTopicsAndTheStartPage)
{
    HelpWindow window(helpProgramFolder());
    EXPECT_EQ(window.objectName(), QStringLiteral("Form5"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velmora 2001 Help"));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(window.findChild<QPushButton*>(QStringLiteral("cmdOK_Help"))->text(), QStringLiteral("&Close"));

    EXPECT_EQ(shownPage(window), page(QStringLiteral("Start.htm")));
    EXPECT_EQ(expandedKeys(window), QStringList{QStringLiteral("help")});
    EXPECT_TRUE(selectedKey(window).isEmpty());

    // Every node under its parent, siblings in table order, with its caption and a 12 x 12 picture.
    const auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tv1"));
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QHash<QString, int> childrenSeen;
    for (const HelpTopics::Node& node : HelpTopics::nodes()) {
        QTreeWidgetItem* item = window.node(node.key);
        ASSERT_NE(item, nullptr) << node.key.toStdString();
        EXPECT_EQ(item->text(0), node.caption);
        EXPECT_FALSE(item->icon(0).pixmap(12, 12).isNull());
        if (node.parent.isEmpty()) {
            EXPECT_EQ(item, tree->topLevelItem(0));
            continue;
        }
        QTreeWidgetItem* parent = window.node(node.parent);
        EXPECT_EQ(item->parent(), parent) << node.key.toStdString();
        EXPECT_EQ(parent->indexOfChild(item), childrenSeen[node.parent]++) << node.key.toStdString();
    }
    EXPECT_EQ(window.node(QStringLiteral("misc."))->childCount(), 4);
}

TEST(HelpWindowTest, UnknownTopicLeavesEverythingAsItWas)
{
    Help help(helpProgramFolder());
    help.ShowHelpTopic(QStringLiteral("nothing"));
    EXPECT_EQ(help.window(), nullptr) << "an unknown topic must not even create the window";

    help.ShowHelpTopic(QStringLiteral("driver"));
    HelpWindow& window = *help.window();
    window.findChild<QPushButton*>(QStringLiteral("cmdOK_Help"))->click();
    ASSERT_FALSE(window.isVisible());

    help.ShowHelpTopic(QStringLiteral("Driver")); // topics are exact texts
    help.ShowHelpTopic(QString());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(shownPage(window), page(QStringLiteral("Driver.htm")));
    EXPECT_EQ(selectedKey(window), QStringLiteral("driver"));
}

TEST(HelpWindowTest, MenuEntryCreatesTheWindowAtTheStartPageAndLaterShowsTheLastState)
{
    Help help(helpProgramFolder());
    help.showHelpWindow();
    HelpWindow* window = help.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownPage(*window), page(QStringLiteral("Start.htm")));

    // Close only hides.
    help.ShowHelpTopic(QStringLiteral("framerate"));
    window->openNode(QStringLiteral("source"));
    window->findChild<QPushButton*>(QStringLiteral("cmdOK_Help"))->click();
    EXPECT_FALSE(window->isVisible());

    help.showHelpWindow();
    EXPECT_EQ(help.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownPage(*window), page(QStringLiteral("Source.htm")));
    EXPECT_EQ(expandedKeys(*window), (QStringList{"help", "configuration"}));
    EXPECT_EQ(selectedKey(*window), QStringLiteral("movie_frame_rate"));
}

TEST(HelpWindowTest, ClickedNodesAndLocalLinksShowPagesWebAndMailLinksGoToTheDesktop)
{
    HelpWindow window(helpProgramFolder());
    window.show();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tv1"));
    window.node(QStringLiteral("misc."))->setExpanded(true);
    const std::pair<const char*, const char*> clicks[] = {
        {"misc.", "Misc.htm"}, {"faq", "FAQ.htm"}, {"bug_report", "BugReport.htm"}};
    for (const auto& [key, file] : clicks) {
        const QRect rect = tree->visualItemRect(window.node(QString::fromLatin1(key)));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(shownPage(window), page(QString::fromLatin1(file))) << key;
    }
    window.openNode(QStringLiteral("news"));
    EXPECT_EQ(shownPage(window), page(QStringLiteral("News.htm")));
    window.openNode(QStringLiteral("no_such_node"));
    EXPECT_EQ(shownPage(window), page(QStringLiteral("News.htm")));

    HelpBrowser& browser = window.browser();
    QList<QUrl> opened;
    browser.setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    emit browser.anchorClicked(QUrl(QStringLiteral("https://example.org/")));
    emit browser.anchorClicked(QUrl(QStringLiteral("mailto:someone@example.org")));
    EXPECT_EQ(shownPage(window), page(QStringLiteral("News.htm")));
    emit browser.anchorClicked(page(QStringLiteral("FAQ.htm")));
    EXPECT_EQ(opened, (QList<QUrl>{QUrl(QStringLiteral("https://example.org/")),
                                   QUrl(QStringLiteral("mailto:someone@example.org"))}));
    EXPECT_EQ(shownPage(window), page(QStringLiteral("FAQ.htm")));
}

TEST(HelpWindowTest, OpenedFromAModalWindowItIsModalItself)
{
    Help help(helpProgramFolder());
    help.ShowHelpTopic(QStringLiteral("ftp"));
    EXPECT_EQ(help.window()->windowModality(), Qt::NonModal);

    QDialog settings;
    settings.setWindowModality(Qt::ApplicationModal);
    settings.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &settings);
    help.ShowHelpTopic(QStringLiteral("ftp"));
    EXPECT_EQ(help.window()->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(help.window()->isVisible());

    help.window()->hide();
    settings.hide();
    help.showHelpWindow();
    EXPECT_EQ(help.window()->windowModality(), Qt::NonModal);
}

TEST(HelpWindowTest, ArrowKeysInTheTreeShowPagesAndBackReturnsToThePreviousOne)
{
    HelpWindow window(helpProgramFolder());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tv1"));
    auto* back = window.findChild<QPushButton*>(QStringLiteral("cmdBack"));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(back->isEnabled());
    tree->setFocus();
    tree->setCurrentItem(window.node(QStringLiteral("help")));

    // Down moves through the children of the expanded root, each showing its page at once.
    const char* const below[] = {"GetStarted.htm", "Capturing.htm", "Options.htm"};
    for (const char* file : below) {
        QTest::keyClick(tree, Qt::Key_Down);
        EXPECT_EQ(shownPage(window), page(QString::fromLatin1(file)));
    }
    EXPECT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(shownPage(window), page(QStringLiteral("Capturing.htm")));
    back->click();
    back->click();
    EXPECT_EQ(shownPage(window), page(QStringLiteral("Start.htm")));
    EXPECT_FALSE(back->isEnabled());

    // Selecting from the program only highlights: the page stays and Back gains no step.
    window.ShowHelpTopic(QStringLiteral("driver"));
    EXPECT_EQ(shownPage(window), page(QStringLiteral("Driver.htm")));
    back->click();
    EXPECT_EQ(shownPage(window), page(QStringLiteral("Start.htm")));
}

namespace {
struct PaletteCase
{
    const char* name;
    QColor base;
    QColor text;
};
class HelpPaletteTest : public ::testing::TestWithParam<PaletteCase>
{
};
} // namespace

// The pages take their colours from the palette: on a dark theme the page is dark with light text,
// on a light one the other way round, and the page's own accents are readable on both.
TEST_P(HelpPaletteTest, PagesFollowThePalette)
{
    const PaletteCase& c = GetParam();
    HelpBrowser browser;
    QPalette palette = browser.palette();
    palette.setColor(QPalette::Base, c.base);
    palette.setColor(QPalette::Text, c.text);
    palette.setColor(QPalette::Window, c.base);
    palette.setColor(QPalette::WindowText, c.text);
    browser.setPalette(palette);
    browser.resize(500, 400);
    browser.showPage(helpHtmlFolder() + QStringLiteral("/Start.htm"));
    const QImage shot = browser.viewport()->grab().toImage();

    int nearBase = 0;
    int nearText = 0;
    for (int y = 0; y < shot.height(); y += 2) {
        for (int x = 0; x < shot.width(); x += 2) {
            const int gray = qGray(shot.pixel(x, y));
            nearBase += std::abs(gray - qGray(c.base.rgb())) < 40;
            nearText += std::abs(gray - qGray(c.text.rgb())) < 60;
        }
    }
    const int all = (shot.height() / 2) * (shot.width() / 2);
    EXPECT_GT(nearBase, all * 6 / 10) << "the page's background is the palette's";
    EXPECT_GT(nearText, all / 100) << "the text is drawn in the palette's text colour";

    // Every colour the pages get is far enough from the background to be read.
    const QString style = HelpBrowser::paletteStyle(palette);
    const QRegularExpression colour(QStringLiteral("[^-]color: (#[0-9a-f]{6})"));
    int colours = 0;
    for (const QRegularExpressionMatch& match : colour.globalMatch(style)) {
        EXPECT_GE(std::abs(qGray(QColor(match.captured(1)).rgb()) - qGray(c.base.rgb())), 60)
            << match.captured(0).toStdString();
        ++colours;
    }
    EXPECT_GE(colours, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Themes, HelpPaletteTest,
    ::testing::Values(PaletteCase{"dark", QColor(0x1e, 0x1e, 0x1e), QColor(0xe6, 0xe6, 0xe6)},
                      PaletteCase{"light", QColor(0xff, 0xff, 0xff), QColor(0x20, 0x20, 0x20)}),
    [](const ::testing::TestParamInfo<PaletteCase>& testCase) { return std::string(testCase.param.name); });
