#include "settings/AccountFields.h"

#include "common/DateTimeText.h"
#include "settings/IntervalTable.h"
#include "settings/StoredText.h"

#include <QStringList>

namespace AccountFields {
namespace {
using R = Rule;
using G = Group;
constexpr bool kLegacy = true;

// Font sizes the stamp can be drawn with; anything else is a damaged value.
constexpr double kMaxFontSize = 1638;
constexpr qint64 kMaxCount = 1'000'000;
const QString kTimeForm = QStringLiteral("HH:mm");
} // namespace

const std::vector<Field>& all()
{
    // clang-format off
    static const std::vector<Field> table{
        {"Host Name/Adress:",           &Account::host,              R::Text,     "",         G::Record,   kLegacy},
        {"User ID:",                    &Account::user,              R::Text,     "",         G::Record,   kLegacy},
        {"Password:",                   &Account::password,          R::Text,     "",         G::Record,   kLegacy},
        {"Initial Remote Site Folder:", &Account::folder,            R::Text,     "",         G::Record,   kLegacy},
        {"Remember password",           &Account::rememberPassword,  R::Flag,     "0",        G::Record,   kLegacy},
        {"Upload image every:",         &Account::intervalItem,      R::Interval, "",         G::Interval, kLegacy},
        {"Custom",                      &Account::seconds,           R::Seconds,  "",         G::Interval},
        {"Between",                     &Account::between,           R::Flag,     "0",        G::Interval},
        {"Destination filename:",       &Account::fileName,          R::Text,     "webcam",   G::Record,   kLegacy},
        {"Enable timestamp",            &Account::timestamp,         R::Flag,     "0",        G::Record,   kLegacy},
        {"TextTime",                    &Account::textTime,          R::Flag,     "0"},
        {"Backcolor",                   &Account::backColor,         R::Color,    "0",        G::Record,   kLegacy},
        {"Forecolor",                   &Account::foreColor,         R::Color,    "16777215", G::Record,   kLegacy},
        {"Font Bold",                   &Account::fontBold,          R::Truth,    "True",     G::Record,   kLegacy},
        {"Font Italic",                 &Account::fontItalic,        R::Truth,    "False",    G::Record,   kLegacy},
        {"Font Name",                   &Account::fontName,          R::Text,     "Tahoma",   G::Record,   kLegacy},
        {"Font Size",                   &Account::fontSize,          R::FontSize, "10",       G::Record,   kLegacy},
        {"Locally",                     &Account::locally,           R::Flag,     "0"},
        {"Only Locally",                &Account::onlyLocally,       R::Flag,     "0"},
        {"LocallySource",               &Account::localFolder,       R::Text,     ""},
        {"DateFrom",                    &Account::dateFrom,          R::Date,     ""},
        {"DateTo",                      &Account::dateTo,            R::Date,     ""},
        {kSelected,                     {},                          R::RowFlag,  "False",    G::Row},
        // How the upload reaches the server; absent means the plain active FTP of old.
        {"Protocol",                    &Account::protocol,          R::Protocol, "FTP"},
        {"Passive",                     &Account::passive,           R::Flag,     "0"},
        {"Verify certificate",          &Account::verifyCertificate, R::Flag,     "1"},
        {"Key file",                    &Account::keyFile,           R::Text,     ""},
        {"Safe replace",                &Account::safeReplace,       R::Flag,     "0"},
        // S3 object storage; absent means the region of most endpoints, the bucket in the path.
        {"Bucket",                      &Account::bucket,            R::Text,     ""},
        {"Region",                      &Account::region,            R::Text,     "us-east-1"},
        {"Path style",                  &Account::pathStyle,         R::Flag,     "1"},
        {"Public read",                 &Account::publicRead,        R::Flag,     "0"},
        // The camera of the account's pictures; absent means the program's camera.
        {"Camera",                      &Account::camera,            R::Text,     ""},
        // Upload only when the picture changed; absent means every picture goes up.
        {"Only when changed",           &Account::onlyChanged,       R::Flag,     "0"},
        {"Change threshold",            &Account::changeThreshold,   R::Percent,  "5"},
        // A time-of-day window beside the date range; absent means at any time.
        {"Only hours",                  &Account::betweenTimes,      R::Flag,     "0"},
        {"TimeFrom",                    &Account::timeFrom,          R::Time,     "08:00"},
        {"TimeTo",                      &Account::timeTo,            R::Time,     "20:00"},
        // Dated archive copies; absent means none.
        {"Archive on server",           &Account::archiveServer,     R::Flag,     "0"},
        {"Archive locally",             &Account::archiveLocal,      R::Flag,     "0"},
        {"Archive name",                &Account::archivePattern,    R::Text,     "cam-%Y%m%d-%H%M%S.jpg"},
        {"Archive keep",                &Account::archiveKeep,       R::Count,    "100"},
        {"Archive days",                &Account::archiveDays,       R::Count,    "7"},
        // A movie of each day from the local archive copies; absent means none.
        {"Timelapse",                   &Account::timelapse,         R::Flag,     "0"},
        {"Timelapse time",              &Account::timelapseTime,     R::Time,     "00:10"},
        {"Timelapse rate",              &Account::timelapseRate,     R::Count,    "25"},
        {"Timelapse name",              &Account::timelapsePattern,  R::Text,     "timelapse-%Y%m%d.webm"},
        {"Timelapse keep",              &Account::timelapseKeep,     R::Count,    "14"},
    };
    // clang-format on
    return table;
}

const Field& unlisted()
{
    static const Field none{QString(), {}, Rule::Text, QString(), Group::Row};
    return none;
}

const Field* find(const QString& name)
{
    for (const Field& field : all()) {
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return &field;
    }
    return nullptr;
}

namespace {
std::optional<bool> flagOf(const QString& text)
{
    const std::optional<qint64> number = StoredText::wholeNumber(text);
    if (number == 1)
        return true;
    if (number == 0)
        return false;
    return std::nullopt;
}

std::optional<double> fontSizeOf(const QString& text)
{
    const std::optional<double> size = parseStoredNumber(text);
    if (size && *size > 0 && *size <= kMaxFontSize)
        return size;
    return std::nullopt;
}

std::optional<int> wholeNumberIn(const QString& text, qint64 highest)
{
    const std::optional<qint64> number = StoredText::wholeNumber(text);
    if (number && *number >= 0 && *number <= highest)
        return static_cast<int>(*number);
    return std::nullopt;
}

std::optional<QTime> timeOf(const QString& text)
{
    for (const QString& form : {QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")}) {
        const QTime time = QTime::fromString(text.trimmed(), form);
        if (time.isValid())
            return QTime(time.hour(), time.minute());
    }
    return std::nullopt;
}

// The rule's reading of a text, or absent when the rule does not take it.
template <typename T> std::optional<T> parse(Rule rule, const QString& text)
{
    if constexpr (std::is_same_v<T, QString>) {
        if (rule == Rule::Seconds) {
            // A damaged text reads as no seconds at all.
            const QString seconds = IntervalTable::storedSecondsText(text);
            return seconds.isEmpty() && !text.trimmed().isEmpty() ? std::nullopt
                                                                  : std::optional<QString>(seconds);
        }
        return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    } else if constexpr (std::is_same_v<T, bool>) {
        return rule == Rule::Truth ? StoredText::truth(text) : flagOf(text);
    } else if constexpr (std::is_same_v<T, quint32>) {
        return StoredText::color(text);
    } else if constexpr (std::is_same_v<T, double>) {
        return fontSizeOf(text);
    } else if constexpr (std::is_same_v<T, QDate>) {
        return parseStoredDate(text);
    } else if constexpr (std::is_same_v<T, Account::Protocol>) {
        return Account::protocolOf(text);
    } else if constexpr (std::is_same_v<T, QTime>) {
        return timeOf(text);
    } else {
        if (rule == Rule::Interval)
            return IntervalTable::positionOf(text);
        return wholeNumberIn(text, rule == Rule::Percent ? 100 : kMaxCount);
    }
}
} // namespace

QString text(const Field& field, const Account& account)
{
    switch (field.rule) {
    case Rule::Text:
    case Rule::Seconds:
        return account.*std::get<QString Account::*>(field.member);
    case Rule::Flag:
        return StoredText::flagText(account.*std::get<bool Account::*>(field.member));
    case Rule::Truth:
        return StoredText::truthText(account.*std::get<bool Account::*>(field.member));
    case Rule::Color:
        return QString::number(account.*std::get<quint32 Account::*>(field.member) & 0xFFFFFF);
    case Rule::FontSize:
        return storedNumberText(account.*std::get<double Account::*>(field.member));
    case Rule::Date:
        return storedDateText(account.*std::get<QDate Account::*>(field.member));
    case Rule::Protocol:
        return Account::protocolText(account.*std::get<Account::Protocol Account::*>(field.member));
    case Rule::Interval: {
        const int position = account.*std::get<int Account::*>(field.member);
        return IntervalTable::isValidPosition(position) ? IntervalTable::item(position).text : QString();
    }
    case Rule::Percent:
    case Rule::Count:
        return QString::number(account.*std::get<int Account::*>(field.member));
    case Rule::Time:
        return (account.*std::get<QTime Account::*>(field.member)).toString(kTimeForm);
    case Rule::RowFlag:
        break;
    }
    return field.defaultText;
}

bool read(const Field& field, Account& account, const std::optional<QString>& stored)
{
    const QString given = stored.value_or(QString());
    bool readable = true;
    std::visit(
        [&](auto member) {
            if constexpr (!std::is_same_v<decltype(member), std::monostate>) {
                using T = std::remove_reference_t<decltype(account.*member)>;
                std::optional<T> value = parse<T>(field.rule, given);
                readable = value.has_value() || given.trimmed().isEmpty();
                if (!value)
                    value = parse<T>(field.rule, field.defaultText);
                if constexpr (std::is_same_v<T, QDate>)
                    account.*member = value.value_or(QDate::currentDate());
                else
                    account.*member = value.value_or(T{});
            }
        },
        field.member);
    // An interval item fills the seconds field; only "Custom" takes them from its own value.
    if (field.rule == Rule::Interval && IntervalTable::isValidPosition(account.intervalItem))
        account.seconds = IntervalTable::presetSecondsText(account.intervalItem).value_or(account.seconds);
    // Any text is a protocol (plain FTP), but only five are meant.
    if (field.rule == Rule::Protocol && !given.trimmed().isEmpty())
        readable = QStringList{QStringLiteral("FTP"), QStringLiteral("FTPS"), QStringLiteral("SFTP"),
                               QStringLiteral("WebDAV"), QStringLiteral("S3")}
                       .contains(given.trimmed(), Qt::CaseInsensitive);
    return readable;
}

namespace {
// What a text a rule could not read is not.
QString notReadable(Rule rule)
{
    switch (rule) {
    case Rule::Flag:
        return QStringLiteral("is not 1 or 0");
    case Rule::Truth:
        return QStringLiteral("is not True or False");
    case Rule::Color:
        return QStringLiteral("is not a colour");
    case Rule::FontSize:
        return QStringLiteral("is not a font size");
    case Rule::Date:
        return QStringLiteral("is not a date");
    case Rule::Protocol:
        return QStringLiteral("is not FTP, FTPS, SFTP, WebDAV or S3");
    case Rule::Percent:
        return QStringLiteral("is not a whole number from 0 to 100");
    case Rule::Count:
        return QStringLiteral("is not a whole number from 0 to %1").arg(kMaxCount);
    case Rule::Time:
        return QStringLiteral("is not a time");
    case Rule::Seconds:
        return QStringLiteral("is not a number of seconds");
    case Rule::Text:
    case Rule::Interval:
    case Rule::RowFlag:
        break;
    }
    return QStringLiteral("cannot be read");
}
} // namespace

void load(Account& account, const std::function<std::optional<QString>(const QString&)>& stored)
{
    const std::optional<QString> item = stored(of(&Account::intervalItem).name);
    const bool hasInterval = item && IntervalTable::positionOf(*item);
    account.unusable.clear();
    for (const Field& field : all()) {
        if (field.group == Group::Row || (field.group == Group::Interval && !hasInterval))
            continue;
        if (field.rule == Rule::Seconds && account.intervalItem != IntervalTable::kCustom)
            continue;
        const std::optional<QString> text = stored(field.name);
        if (!read(field, account, text))
            account.unusable.push_back(
                {field.name, *text, notReadable(field.rule), AccountFields::text(field, account)});
    }
}
} // namespace AccountFields

Account::Account()
{
    for (const AccountFields::Field& field : AccountFields::all()) {
        if (field.group == AccountFields::Group::Record)
            AccountFields::read(field, *this, std::nullopt);
    }
}
