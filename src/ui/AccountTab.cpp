#include "ui/AccountTab.h"

#include "settings/AccountBook.h"

#include <QScopedValueRollback>

AccountTab::AccountTab(AccountBook& book, const QString& objectName, QWidget* parent)
    : QFrame(parent), m_book(book)
{
    setObjectName(objectName);
}

void AccountTab::refresh()
{
    const QScopedValueRollback guard(m_refreshing, true);
    showAccount(m_book.loaded());
}
