#include "ui/AccountListPanel.h"

#include "settings/AccountBook.h"
#include "ui/WindowParts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeWidget>
#include <QVBoxLayout>

using WindowParts::label;
using WindowParts::named;

AccountListPanel::AccountListPanel(AccountBook& book, QWidget* parent) : QWidget(parent), m_book(book)
{
    m_ftps = named(new QTreeWidget, QStringLiteral("ftps"));
    m_ftps->setColumnCount(3);
    m_ftps->setHeaderLabels(
        {QStringLiteral("FTP Account"), QStringLiteral("Host Name"), QStringLiteral("Every")});
    m_ftps->setRootIsDecorated(false);
    m_ftps->setUniformRowHeights(true);
    m_ftps->header()->setStretchLastSection(true);
    m_ftps->setColumnWidth(0, 160);
    m_ftps->setColumnWidth(1, 170);
    m_ftps->viewport()->installEventFilter(this);
    m_add = named(new QPushButton(QStringLiteral("&Add")), QStringLiteral("cmdAdd"));
    m_remove = named(new QPushButton(QStringLiteral("&Remove")), QStringLiteral("cmdRemove"));
    m_rename = named(new QPushButton(QStringLiteral("Re&name")), QStringLiteral("cmdRename"));
    m_storeProblem = WindowParts::problemLabel(QStringLiteral("lblStoreProblem"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addWidget(m_rename);
    buttons->addStretch();
    auto* list = new QHBoxLayout;
    list->addWidget(m_ftps, 1);
    list->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_storeProblem);
    layout->addWidget(label(QStringLiteral("cmdUpload_to"), QStringLiteral("My Accounts:")));
    layout->addLayout(list, 1);

    // Another row became current (a press, the keyboard); moving between the columns of the
    // current row loads nothing.
    connect(m_ftps, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
        const int row = m_ftps->indexOfTopLevelItem(item);
        if (!m_refreshing && item && row != m_book.currentRow())
            m_book.selectRow(row);
    });
    // A press on another row made it current above; a press on the current row reloads it.
    connect(m_ftps, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item, int) {
        const int row = m_ftps->indexOfTopLevelItem(item);
        if (!m_refreshing && row == m_rowAtPress)
            m_book.selectRow(row);
    });
    connect(m_ftps, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!m_refreshing && column == 0)
            m_book.setChecked(m_ftps->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    connect(m_add, &QPushButton::clicked, &m_book, &AccountBook::addAccount);
    connect(m_remove, &QPushButton::clicked, &m_book, &AccountBook::removeAccount);
    connect(m_rename, &QPushButton::clicked, &m_book, &AccountBook::renameAccount);
}

void AccountListPanel::showStoreProblem()
{
    const QString problem = m_book.storeProblem();
    m_storeProblem->setText(QStringLiteral("Changes are not saved: %1.").arg(problem));
    m_storeProblem->setVisible(!problem.isEmpty());
}

void AccountListPanel::refresh()
{
    const QScopedValueRollback guard(m_refreshing, true);
    showStoreProblem();
    while (m_ftps->topLevelItemCount() > m_book.rowCount())
        delete m_ftps->takeTopLevelItem(m_ftps->topLevelItemCount() - 1);
    while (m_ftps->topLevelItemCount() < m_book.rowCount()) {
        auto* item = new QTreeWidgetItem(m_ftps);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    for (int row = 0; row < m_book.rowCount(); ++row) {
        QTreeWidgetItem* item = m_ftps->topLevelItem(row);
        item->setText(0, m_book.rowName(row));
        item->setText(1, m_book.hostColumn(row));
        item->setText(2, m_book.everyColumn(row));
        item->setCheckState(0, m_book.isChecked(row) ? Qt::Checked : Qt::Unchecked);
    }
    m_ftps->setCurrentItem(m_ftps->topLevelItem(m_book.currentRow()));
}

bool AccountListPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ftps->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowAtPress = m_book.currentRow();
    return QWidget::eventFilter(watched, event);
}
