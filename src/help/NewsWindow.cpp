#include "help/NewsWindow.h"

#include "common/ProgramIcon.h"
#include "help/BuildInfo.h"
#include "help/Help.h"
#include "help/HelpBrowser.h"
#include "help/HelpTopics.h"
#include "help/ScreenPlacement.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

NewsWindow::NewsWindow(Help& help, const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new HelpBrowser)
{
    setObjectName(QStringLiteral("news_form"));
    setWindowTitle(QStringLiteral("News"));
    setWindowIcon(ProgramIcon::icon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_browser->setObjectName(QStringLiteral("news_browser"));
    auto* lblVer = new QLabel(QStringLiteral("Velmora, Version: ") + BuildInfo::programVersion());
    lblVer->setObjectName(QStringLiteral("lblVer"));
    auto* cmdHelp = new QPushButton(QStringLiteral("&Help"));
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    auto* Command1 = new QPushButton(QStringLiteral("&Close"));
    Command1->setObjectName(QStringLiteral("Command1"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblVer, 1);
    bottom->addWidget(cmdHelp);
    bottom->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addLayout(bottom);
    resize(640, 480);
    ScreenPlacement::centreOnScreen(*this);

    if (const HelpTopics::Node* news = HelpTopics::findNode(QStringLiteral("news")))
        m_browser->showPage(HelpTopics::pagePath(programFolder, news->page));

    connect(cmdHelp, &QPushButton::clicked, &help, [&help] { help.ShowHelpTopic(QStringLiteral("news")); });
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, Command1,
            &QPushButton::click);
}
