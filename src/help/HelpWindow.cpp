#include "help/HelpWindow.h"

#include "common/ProgramIcon.h"
#include "help/HelpBrowser.h"
#include "help/HelpPictures.h"
#include "help/HelpTopics.h"
#include "help/ScreenPlacement.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
constexpr int kKeyRole = Qt::UserRole;
}

HelpWindow::HelpWindow(const QString& programFolder, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint),
      m_programFolder(programFolder), m_tree(new QTreeWidget), m_browser(new HelpBrowser),
      m_back(new QPushButton(QStringLiteral("&Back"))), m_close(new QPushButton(tr("&Close")))
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Velmora 2001 Help"));
    setWindowIcon(ProgramIcon::icon());

    m_tree->setObjectName(QStringLiteral("tv1"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setIconSize(QSize(12, 12));
    m_browser->setObjectName(QStringLiteral("help_browser"));
    m_back->setObjectName(QStringLiteral("cmdBack"));
    m_back->setEnabled(false);
    m_close->setObjectName(QStringLiteral("cmdOK_Help"));

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_tree);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 560});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addStretch();
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(830, 580);

    ScreenPlacement::centreOnScreen(*this);
    addNodes();
    if (QTreeWidgetItem* root = node(QStringLiteral("help")))
        root->setExpanded(true);
    m_browser->showPage(pagePath(HelpTopics::kStartPage));

    // A click, Enter or moving through the tree with the arrow keys is the user's choice of page;
    // selecting a node from the program only highlights it.
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { openNode(item->data(0, kKeyRole).toString()); });
    connect(m_tree, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { openNode(item->data(0, kKeyRole).toString()); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item && !m_selectingFromProgram)
            openNode(item->data(0, kKeyRole).toString());
    });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QWidget::setEnabled);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_close, &QPushButton::clicked, this, &QWidget::hide);
    // Escape closes the window, as in the desktop's other windows.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, m_close,
            &QPushButton::click);
}

void HelpWindow::showPageOf(const QString& key)
{
    const HelpTopics::Node* entry = HelpTopics::findNode(key);
    if (!entry)
        return;
    present();
    m_browser->showPage(pagePath(entry->page));
    for (QTreeWidgetItem* parent = node(key) ? node(key)->parent() : nullptr; parent;
         parent = parent->parent())
        parent->setExpanded(true);
    if (QTreeWidgetItem* item = node(key))
        selectFromProgram(item);
}

void HelpWindow::addNodes()
{
    QHash<QString, QTreeWidgetItem*> byKey;
    for (const HelpTopics::Node& entry : HelpTopics::nodes()) {
        QTreeWidgetItem* parentItem = byKey.value(entry.parent);
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(m_tree);
        item->setText(0, entry.caption);
        item->setData(0, kKeyRole, entry.key);
        item->setIcon(0, HelpPictures::treeImage(entry.image));
        byKey.insert(entry.key, item);
    }
}

QTreeWidgetItem* HelpWindow::node(const QString& key) const
{
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, kKeyRole).toString() == key)
            return *it;
    }
    return nullptr;
}

QString HelpWindow::pagePath(const QString& page) const
{
    return HelpTopics::pagePath(m_programFolder, page);
}

void HelpWindow::openNode(const QString& key)
{
    if (const HelpTopics::Node* entry = HelpTopics::findNode(key))
        m_browser->showPage(pagePath(entry->page));
}

void HelpWindow::ShowHelpTopic(const QString& topic)
{
    const HelpTopics::Topic* entry = HelpTopics::findTopic(topic);
    if (!entry)
        return;
    present();
    m_browser->showPage(pagePath(entry->page));
    for (const QString& key : entry->expand) {
        if (QTreeWidgetItem* item = node(key))
            item->setExpanded(true);
    }
    if (QTreeWidgetItem* item = node(entry->select))
        selectFromProgram(item);
}

void HelpWindow::selectFromProgram(QTreeWidgetItem* item)
{
    m_selectingFromProgram = true;
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
    m_selectingFromProgram = false;
}

void HelpWindow::showWindow()
{
    present();
}

void HelpWindow::present()
{
    // Asked for from a window shown modal (the Upload Settings window can be), a plain window
    // would take no input until that one closes; then help is modal itself and stacks above it.
    const QWidget* modal = QApplication::activeModalWidget();
    // Asked for from a window that stays on top (the FTP log), help must not open behind it.
    const QWidget* front = QApplication::activeWindow();
    const bool onTop = front && front != this && front->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    hide();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    setWindowModality(modal && modal != this ? Qt::ApplicationModal : Qt::NonModal);
    show();
    raise();
    activateWindow();
}
