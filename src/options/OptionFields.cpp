#include "options/OptionFields.h"

#include "common/DateTimeText.h"
#include "settings/StoredText.h"

#include <cmath>

namespace OptionFields {
namespace {
using R = Rule;

const QString kHundred = QStringLiteral("100");
// The sound delay box runs from 0 to 10 and starts at 0.
constexpr qint64 kMaxDelay = 10;
const QString kNoDelay = QStringLiteral("0");

QString qualityOf(const QString& text)
{
    const std::optional<qint64> value = number(text);
    return value && *value >= 0 && *value <= 100 ? text : kHundred;
}

QString delayOf(const QString& text)
{
    const std::optional<qint64> seconds = number(text);
    if (!seconds || *seconds < 0)
        return kNoDelay;
    if (*seconds > kMaxDelay)
        return QString::number(kMaxDelay);
    return text;
}
} // namespace

const std::vector<Field>& all()
{
    // clang-format off
    static const std::vector<Field> table{
        {"Min",            &OptionValues::min,          R::Flag,    "0"},
        {"Motion",         &OptionValues::motion,       R::Flag,    "0"},
        {"Print",          &OptionValues::print,        R::Flag,    "0"},
        {"Suc",            &OptionValues::suc,          R::Flag,    "0"},
        {"Systray",        &OptionValues::systray,      R::Flag,    "0"},
        {"Sound",          &OptionValues::sound,        R::Flag,    "0"},
        {"Close",          &OptionValues::close,        R::Flag,    "0"},
        {"Ask",            &OptionValues::ask,          R::Flag,    "0"},
        {"Keep",           &OptionValues::keep,         R::Flag,    "0"},
        {kAutostart,       &OptionValues::autostart,    R::Flag,    "0"},
        // Desktop notifications when an account's uploads keep failing and when they work again.
        {"Notify",         &OptionValues::notify,       R::Flag,    "1"},
        {kQuality,         &OptionValues::quality,      R::Quality, "100"},
        {"BGPic",          &OptionValues::bgPic,        R::Text,    ""},
        {"TextTimeName",   &OptionValues::textTimeName, R::Text,    ""},
        {"SoundSec",       &OptionValues::soundSec,     R::Delay,   ""},
        {"SoundSrc",       &OptionValues::soundSrc,     R::Text,    ""},
        {"Close#",         &OptionValues::closeCount,   R::Text,    ""},
        {"ProgramBGColor", &OptionValues::bgColor,      R::Color,   ""},
    };
    // clang-format on
    return table;
}

const Field* find(const QString& name)
{
    for (const Field& field : all()) {
        if (field.name.compare(name, Qt::CaseInsensitive) == 0)
            return &field;
    }
    return nullptr;
}

std::optional<qint64> number(const QString& text)
{
    if (const std::optional<qint64> whole = StoredText::wholeNumber(text))
        return whole;
    const std::optional<double> value = parseStoredNumber(text);
    if (!value || std::abs(*value) > 1e15)
        return std::nullopt;
    return static_cast<qint64>(std::llround(*value));
}

void read(const Field& field, OptionValues& values, const std::optional<QString>& stored)
{
    // The default is taken as it stands; only a stored text goes through the rule.
    const QString& given = stored ? *stored : field.defaultText;
    if (const auto* flag = std::get_if<bool OptionValues::*>(&field.member)) {
        values.*(*flag) = StoredText::flag(given);
    } else if (const auto* color = std::get_if<std::optional<quint32> OptionValues::*>(&field.member)) {
        values.*(*color) = StoredText::color(given);
    } else {
        QString& member = values.*std::get<QString OptionValues::*>(field.member);
        if (!stored || field.rule == Rule::Text)
            member = given;
        else
            member = field.rule == Rule::Quality ? qualityOf(given) : delayOf(given);
    }
}

void load(OptionValues& values, const std::function<std::optional<QString>(const QString&)>& stored)
{
    for (const Field& field : all())
        read(field, values, stored(field.name));
}

std::optional<QString> text(const Field& field, const OptionValues& values)
{
    if (const auto* flag = std::get_if<bool OptionValues::*>(&field.member))
        return StoredText::flagText(values.*(*flag));
    if (const auto* color = std::get_if<std::optional<quint32> OptionValues::*>(&field.member)) {
        const std::optional<quint32>& chosen = values.*(*color);
        return chosen ? std::optional<QString>(QString::number(*chosen)) : std::nullopt;
    }
    return values.*std::get<QString OptionValues::*>(field.member);
}
} // namespace OptionFields
