#include "options/OptionBoxRules.h"

#include "common/DateTimeText.h"

#include <cmath>

namespace OptionBoxRules {
QualityBox qualityBox(const QString& text)
{
    const std::optional<double> number = parseStoredNumber(text);
    if (!number || *number < 0)
        return {QString(), std::nullopt};
    if (*number > 100)
        return {QStringLiteral("100"), 100};
    // The JPEG writer rounds a fractional quality; the slider shows the same number.
    return {text, static_cast<int>(std::lround(*number))};
}

SecondsBox secondsBox(const QString& text, int spinValue)
{
    if (text.isEmpty())
        return {text, std::nullopt};
    const std::optional<double> number = parseStoredNumber(text);
    if (!number)
        return {QString::number(spinValue), spinValue};
    if (*number < kMinSeconds)
        return {QString::number(kMinSeconds), kMinSeconds};
    if (*number > kMaxSeconds)
        return {QString::number(kMaxSeconds), kMaxSeconds};
    return {text, static_cast<int>(std::floor(*number))};
}
} // namespace OptionBoxRules
