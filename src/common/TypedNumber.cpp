#include "common/TypedNumber.h"

#include <QLocale>

#include <cmath>

namespace TypedNumber {
namespace {
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString keptText(const QString& kept)
{
    return kept.isEmpty() ? QStringLiteral("the box stays empty") : kept + QStringLiteral(" is kept");
}
} // namespace

std::optional<double> parse(const QString& typed)
{
    const QString text = typed.trimmed();
    const QChar localePoint =
        QLocale().decimalPoint().isEmpty() ? QLatin1Char('.') : QLocale().decimalPoint()[0];
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == QLatin1Char('-') || text[at] == QLatin1Char('+'))) {
        negative = text[at] == QLatin1Char('-');
        ++at;
    }
    double value = 0;
    int digits = 0;
    for (; at < text.size() && isDigit(text[at]); ++at, ++digits)
        value = value * 10 + (text[at].unicode() - '0');
    if (at < text.size() && (text[at] == QLatin1Char('.') || text[at] == localePoint)) {
        double scale = 0.1;
        for (++at; at < text.size() && isDigit(text[at]); ++at, ++digits, scale /= 10)
            value += (text[at].unicode() - '0') * scale;
    }
    if (digits == 0 || at != text.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

Result read(const QString& typed, const Range& range, const QString& kept)
{
    const QString shown = typed.trimmed();
    const QString span = QStringLiteral("%1 to %2").arg(range.minimum).arg(range.maximum);
    if (shown.isEmpty()) {
        if (range.emptyAllowed)
            return {QString(), QString()};
        return {std::nullopt, QStringLiteral("Give a number from %1: %2.").arg(span, keptText(kept))};
    }
    const std::optional<double> number = parse(shown);
    if (!number)
        return {std::nullopt,
                QStringLiteral("\"%1\" is not a number from %2: %3.").arg(shown, span, keptText(kept))};
    const double whole = std::floor(*number);
    if (whole < static_cast<double>(range.minimum))
        return {QString::number(range.minimum),
                QStringLiteral("%1 is less than %2: %2 is used.").arg(shown).arg(range.minimum)};
    if (whole > static_cast<double>(range.maximum))
        return {QString::number(range.maximum),
                QStringLiteral("%1 is more than %2: %2 is used.").arg(shown).arg(range.maximum)};
    const QString text = QString::number(static_cast<qint64>(whole));
    if (whole != *number)
        return {text, QStringLiteral("%1 is not a whole number: %2 is used.").arg(shown, text)};
    return {text, QString()};
}
} // namespace TypedNumber
