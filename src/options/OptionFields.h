#pragma once

#include "options/OptionValues.h"

#include <QString>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

// The program options as one table: the value name, the member it fills, the rule that reads its
// text and the text an absent value stands for. Loading, storing and the tests all go through it,
// so a new option is one row here and a member in OptionValues.
namespace OptionFields {
enum class Rule {
    Flag,    // "1" or "0": set only for the number 1, any other text is clear
    Text,    // kept as typed
    Quality, // a whole number from 0 to 100 kept as typed; any other text reads as "100"
    Delay,   // seconds from 0 to 10 kept as typed: fewer read as "0", more as "10", no number as "0"
    Color,   // red + 256 * green + 65536 * blue; any other text is no colour (the window stays white)
};

using Member =
    std::variant<bool OptionValues::*, QString OptionValues::*, std::optional<quint32> OptionValues::*>;

struct Field
{
    QString name;
    Member member;
    Rule rule;
    // What an absent value stands for, as the store would keep it; "" for a colour: none.
    QString defaultText;
};

inline const QString kQuality = QStringLiteral("Image Quality (JPEG):");
// Storing this flag writes or removes the autostart entry right after it.
inline const QString kAutostart = QStringLiteral("Autostart");

// Every option, in the order they are stored.
const std::vector<Field>& all();
// The row of a value name (in any case); nullptr for a name that is no option.
const Field* find(const QString& name);

// A whole number written as text, as the quality and delay boxes hold them (a fraction is
// rounded); absent for any other text.
std::optional<qint64> number(const QString& text);

// Sets the member from the stored text by the rule; an absent text gives the default.
void read(const Field& field, OptionValues& values, const std::optional<QString>& stored);
// Reads every option from its stored value (found by name).
void load(OptionValues& values, const std::function<std::optional<QString>(const QString&)>& stored);
// The text the store keeps for the member; absent for a colour nobody chose, which is not stored.
std::optional<QString> text(const Field& field, const OptionValues& values);
} // namespace OptionFields
