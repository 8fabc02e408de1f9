#include "EnvScope.h"
#include "HelpTestFolder.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"

#include "common/ProgramIcon.h"
#include "help/AboutBox.h"
#include "help/Help.h"
#include "help/HelpBrowser.h"
#include "help/HelpWindow.h"
#include "help/NewsWindow.h"
#include "help/SystemInfoTool.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QThread>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace {
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// A stand-in system tool: a script that writes its arguments into a file beside itself.
void writeTool(const TempDir& folder, const QString& name)
{
    QFile script(folder.file(name));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho \"%1 $*\" > \"%2.tmp\" && mv \"%2.tmp\" \"%2\"\n")
                     .arg(name, folder.file(QStringLiteral("started")))
                     .toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
}

QString waitForStart(const TempDir& folder)
{
    QFile marker(folder.file(QStringLiteral("started")));
    const QDeadlineTimer deadline(10000);
    while (!marker.exists() && !deadline.hasExpired())
        QThread::msleep(20);
    if (!marker.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(marker.readAll()).trimmed();
}

// The About box with a recorder for the addresses it opens.
struct About
{
    explicit About(AboutBox::Contacts contacts, SystemInfoTool tool = SystemInfoTool({}, {}))
        : box(prompter, std::move(tool), std::move(contacts))
    {
        box.setUrlOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
    }
    template <typename T> T* child(const char* name) { return box.findChild<T*>(QString::fromLatin1(name)); }

    ScriptedPrompter prompter;
    AboutBox box;
    QList<QUrl> opened;
};
} // namespace

TEST(AboutBoxTest, ShowsTheBuildVersionNoInventedContactsAndOkAsksForTheMainWindow)
{
    About about(AboutBox::Contacts{});
    QSignalSpy requested(&about.box, &AboutBox::mainWindowRequested);
    about.box.show();
    EXPECT_EQ(about.box.objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(about.box.windowTitle(), QStringLiteral("About - Velmora 2001"));
    EXPECT_EQ(about.child<QLabel>("lblVersion")->text(), QStringLiteral("Version 3.0.0"));
    EXPECT_EQ(about.child<QLabel>("lbl2")->text(), QStringLiteral("Special thanks to:"));
    EXPECT_FALSE(about.child<QLabel>("Label1")->isVisible());
    EXPECT_FALSE(about.child<QLabel>("Label2")->isVisible());
    about.child<QToolButton>("picIcon")->click();
    EXPECT_TRUE(about.opened.isEmpty());

    about.child<QPushButton>("cmdOK")->click();
    EXPECT_FALSE(about.box.isVisible());
    EXPECT_EQ(requested.count(), 1);
    EXPECT_TRUE(about.prompter.shown().empty());
}

TEST(AboutBoxTest, ContactsOfTheBuildOpenOnTheDesktop)
{
    About about(
        AboutBox::Contacts{QStringLiteral("https://velmora.test/"), QStringLiteral("help@velmora.test")});
    about.box.show();
    auto* mail = about.child<QLabel>("Label1");
    auto* web = about.child<QLabel>("Label2");
    ASSERT_TRUE(mail->isVisible());
    ASSERT_TRUE(web->isVisible());
    EXPECT_TRUE(mail->text().contains(QStringLiteral("help@velmora.test")));

    emit mail->linkActivated(QStringLiteral("mailto:help@velmora.test"));
    emit web->linkActivated(QStringLiteral("https://velmora.test/"));
    about.child<QToolButton>("picIcon")->click();
    EXPECT_EQ(about.opened, (QList<QUrl>{QUrl(QStringLiteral("mailto:help@velmora.test")),
                                         QUrl(QStringLiteral("https://velmora.test/")),
                                         QUrl(QStringLiteral("https://velmora.test/"))}));
}

TEST(AboutBoxTest, SystemInfoStartsTheFirstKnownToolOrSaysItIsUnavailable)
{
    TempDir tools;
    writeTool(tools, QStringLiteral("kinfocenter"));
    writeTool(tools, QStringLiteral("gnome-control-center"));
    About found(AboutBox::Contacts{}, SystemInfoTool({tools.path()}, SystemInfoTool::knownTools()));
    found.child<QPushButton>("cmdSysInfo")->click();
    EXPECT_EQ(waitForStart(tools), QStringLiteral("kinfocenter"));
    EXPECT_TRUE(found.prompter.shown().empty());

    TempDir emptyFolder;
    EnvScope path("PATH", emptyFolder.path().toUtf8());
    About none(AboutBox::Contacts{}, SystemInfoTool());
    none.child<QPushButton>("cmdSysInfo")->click();
    ASSERT_EQ(none.prompter.shown().size(), 1u);
    const ScriptedPrompter::Shown& shown = none.prompter.shown().front();
    EXPECT_EQ(shown.text, kUnavailable);
    EXPECT_EQ(shown.icon, Prompter::Icon::None);
    EXPECT_EQ(shown.buttons, Prompter::Buttons::Ok);
    EXPECT_EQ(shown.title, kProgramTitle);
}

TEST(SystemInfoToolTest, FindsKnownToolsInOrderAndSkipsWhatCannotRun)
{
    TempDir first;
    TempDir second;
    writeTool(second, QStringLiteral("gnome-control-center"));
    QFile notExecutable(first.file(QStringLiteral("hardinfo")));
    ASSERT_TRUE(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.close();

    const SystemInfoTool tool({first.path(), second.path()}, SystemInfoTool::knownTools());
    const auto found = tool.find();
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->path, second.file(QStringLiteral("gnome-control-center")));
    EXPECT_EQ(found->arguments, QStringList{QStringLiteral("info-overview")});
    ASSERT_TRUE(tool.start());
    EXPECT_EQ(waitForStart(second), QStringLiteral("gnome-control-center info-overview"));

    EXPECT_FALSE(SystemInfoTool({}, SystemInfoTool::knownTools()).find().has_value());
    EXPECT_FALSE(SystemInfoTool({first.path()}, SystemInfoTool::knownTools()).start());
}

TEST(SystemInfoToolTest, PathFoldersAreTheAbsoluteEntriesOfPath)
{
    EnvScope path("PATH", "/usr/bin::relative/bin:/opt/tools/bin:");
    EXPECT_EQ(SystemInfoTool::pathFolders(), (QStringList{"/usr/bin", "/opt/tools/bin"}));
}

TEST(NewsWindowTest, ShowsTheReleaseNotesAndTheVersion)
{
    Help help(helpProgramFolder());
    NewsWindow news(help, helpProgramFolder());
    EXPECT_EQ(news.objectName(), QStringLiteral("news_form"));
    EXPECT_EQ(news.windowTitle(), QStringLiteral("News"));
    EXPECT_EQ(news.findChild<QLabel*>(QStringLiteral("lblVer"))->text(),
              QStringLiteral("Velmora, Version: 3.0.0"));
    EXPECT_EQ(news.findChild<QTextBrowser*>(QStringLiteral("news_browser"))->source(),
              QUrl::fromLocalFile(helpHtmlFolder() + QStringLiteral("/News.htm")));
    EXPECT_TRUE(news.browser().toPlainText().contains(QStringLiteral("3.0.0")));
    news.setAttribute(Qt::WA_DeleteOnClose, false); // this one lives on the stack
}

TEST(NewsWindowTest, HelpOpensTheNewsTopicAndCloseDestroysTheWindow)
{
    Help help(helpProgramFolder());
    QPointer<NewsWindow> news = new NewsWindow(help, helpProgramFolder());
    news->show();
    news->findChild<QPushButton*>(QStringLiteral("cmdHelp"))->click();
    ASSERT_NE(help.window(), nullptr);
    EXPECT_TRUE(help.window()->isVisible());
    EXPECT_EQ(help.window()->browser().source(),
              QUrl::fromLocalFile(helpHtmlFolder() + QStringLiteral("/WhatIsNews.htm")));

    news->browser().setSource(QUrl::fromLocalFile(helpHtmlFolder() + QStringLiteral("/FAQ.htm")));
    news->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(news.isNull());

    // The next one loads afresh.
    news = new NewsWindow(help, helpProgramFolder());
    EXPECT_EQ(news->browser().source(), QUrl::fromLocalFile(helpHtmlFolder() + QStringLiteral("/News.htm")));
    delete news.data();
}

// Help, News and About carry the program's own icon, and About shows the same picture large.
TEST(HelpWindowsIconTest, ShowTheProgramIcon)
{
    auto picture = [](const QIcon& icon, int size) {
        return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    const QImage programIcon = ProgramIcon::image(32).convertToFormat(QImage::Format_ARGB32);
    Help help(helpProgramFolder());
    NewsWindow news(help, helpProgramFolder());
    ScriptedPrompter prompter;
    AboutBox about(prompter, SystemInfoTool({}, {}), AboutBox::Contacts{});
    const std::pair<const char*, QWidget*> windows[] = {
        {"help", &help.ensureWindow()}, {"news", &news}, {"about", &about}};
    for (const auto& [name, window] : windows)
        EXPECT_EQ(picture(window->windowIcon(), 32), programIcon) << name;
    auto* picIcon = about.findChild<QToolButton*>(QStringLiteral("picIcon"));
    ASSERT_NE(picIcon, nullptr);
    EXPECT_EQ(picture(picIcon->icon(), 48), ProgramIcon::image(48).convertToFormat(QImage::Format_ARGB32));
}
