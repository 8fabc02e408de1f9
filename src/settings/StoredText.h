#pragma once

#include <QString>

#include <optional>

// Readers and writers of the text forms the store keeps: check-box flags as "1"/"0", truth values
// as "True"/"False", colours and counts as decimal text. A text that does not fit gives absent, and
// each caller falls back to its documented default.
namespace StoredText {
// A whole decimal number with an optional sign and surrounding blanks.
std::optional<qint64> wholeNumber(const QString& text);
// A check-box flag: set only for the number 1; empty, absent and anything else read as clear.
bool flag(const std::optional<QString>& text);
// "True"/"False" in any case, or a number (non-zero is true).
std::optional<bool> truth(const QString& text);
// A colour value red + 256 * green + 65536 * blue.
std::optional<quint32> color(const QString& text);

inline QString flagText(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}
inline QString truthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
} // namespace StoredText
