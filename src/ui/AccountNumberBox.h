#pragma once

#include "common/TypedNumber.h"

class AccountBook;
class NumberField;
class QLineEdit;
class QObject;
struct Account;

// The number boxes of an account's whole-number fields, under the one rule of every number box.
namespace AccountNumberBox {
NumberField* make(AccountBook& book, QLineEdit* edit, const TypedNumber::Range& range, int Account::*field,
                  QObject* parent);
// Shows what the loaded account holds, unless the box is being typed in; a value put there by the
// program (another account, a reload) takes any note about earlier typing away.
void show(NumberField* field, QLineEdit* edit, const QString& value);
} // namespace AccountNumberBox
