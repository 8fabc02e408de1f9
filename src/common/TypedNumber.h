#pragma once

#include <QString>

#include <optional>

// The one rule of every number box a person types in: a plain decimal number (an optional sign,
// digits, an optional fraction) is taken as its whole-number part, kept within the box's range;
// anything else keeps what the box held before. Either way the box says why when what it keeps
// differs from what was typed, and once left it shows exactly what was kept.
namespace TypedNumber {
struct Range
{
    qint64 minimum = 0;
    qint64 maximum = 0;
    bool emptyAllowed = false; // an empty box means "none" and is kept as the empty text
};

struct Result
{
    std::optional<QString> text; // what the box keeps; absent: what it held before stays
    QString note;                // why that differs from what was typed; empty when it does not
};

// A plain decimal number, with '.' or the locale's decimal separator; no exponent, no blanks
// inside, no "inf" or "nan". Blanks around it are ignored.
std::optional<double> parse(const QString& typed);

// typed: the box's text; kept: what it holds now (named in the note when the text is refused).
Result read(const QString& typed, const Range& range, const QString& kept);
} // namespace TypedNumber
