#include "ui/AccountNumberBox.h"

#include "settings/AccountBook.h"
#include "ui/NumberField.h"

#include <QLineEdit>

namespace AccountNumberBox {
NumberField* make(AccountBook& book, QLineEdit* edit, const TypedNumber::Range& range, int Account::*field,
                  QObject* parent)
{
    edit->setMaximumWidth(90);
    return new NumberField(
        *edit, range, [&book, field] { return QString::number(book.loaded().*field); },
        [&book, field](const QString& text) { book.set(field, text.toInt()); }, parent);
}

void show(NumberField* field, QLineEdit* edit, const QString& value)
{
    if (field->isTyping() || edit->text() == value)
        return;
    edit->setText(value);
    field->clearNote();
}
} // namespace AccountNumberBox
