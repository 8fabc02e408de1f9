#pragma once

#include "settings/Account.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

// The values an account keeps in its key, as one table: the value name, the field of the loaded
// account it fills, the rule that reads and writes its text and its default as stored text.
// Loading, saving, the copy of Rename, the take-over of the earlier layout and the tests all go
// through it, so a new account value is one row here and a field in Account.
namespace AccountFields {
enum class Rule {
    Text,     // kept as typed
    Flag,     // "1" or "0"
    Truth,    // "True" or "False" (any case; a number counts as non-zero)
    Color,    // red + 256 * green + 65536 * blue
    FontSize, // points, a fraction allowed (written with a point), above 0 and at most 1638
    Date,     // yyyy-MM-dd (the locale's short form of earlier versions is read too); default today
    Protocol, // "FTP", "FTPS", "SFTP", "WebDAV" or "S3" in any case; anything else is plain FTP
    Interval, // an item text of the interval table
    Seconds,  // the seconds of the item "Custom"
    RowFlag,  // "True" or "False": the row's upload flag, kept with the rows, not the record
    Percent,  // a whole number from 0 to 100
    Count,    // a whole number from 0 to 1000000
    Time,     // a time of day as HH:mm (seconds, if given, are dropped)
};

// When a value is read.
enum class Group {
    Record,   // by every load of the account
    Interval, // with the interval item, only when the account has a known one of its own
    Row,      // by the account list
};

using Member =
    std::variant<std::monostate, QString Account::*, bool Account::*, quint32 Account::*, double Account::*,
                 QDate Account::*, Account::Protocol Account::*, int Account::*, QTime Account::*>;

struct Field
{
    QString name;
    Member member;
    Rule rule;
    QString defaultText; // read like a stored text whenever the stored one is absent, empty or bad
    Group group = Group::Record;
    bool legacy = false; // one of the fourteen values of the earlier single-account layout
};

inline const QString kSelected = QStringLiteral("Selected");

// Every account value in the order Rename copies them.
const std::vector<Field>& all();

// The row of a value name (in any case); nullptr for a name that is no account value.
const Field* find(const QString& name);
// The row that stands for a field without one: it has no name, and nothing is stored under it.
const Field& unlisted();
// The row of a loaded account's field. Every field the program edits has one (the tests walk the
// table both ways); a debug build stops at a field without one.
template <typename T> const Field& of(T Account::*member)
{
    for (const Field& field : all()) {
        if (const auto* candidate = std::get_if<T Account::*>(&field.member);
            candidate && *candidate == member)
            return field;
    }
    Q_ASSERT_X(false, "AccountFields::of", "an account field without a row");
    return unlisted();
}

// The field's text as the store keeps it.
QString text(const Field& field, const Account& account);
// Sets the field from a stored text; an absent, empty or unreadable text gives the default.
// False when the text was there but could not be read.
bool read(const Field& field, Account& account, const std::optional<QString>& stored);
// Loads a whole record from its stored values (found by name). Without a known interval item the
// interval values keep what the record held before. Values that are there but cannot be read are
// listed in the record's `unusable`, with the default that stands in for them.
void load(Account& account, const std::function<std::optional<QString>(const QString&)>& stored);
} // namespace AccountFields
