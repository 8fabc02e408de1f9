#include "settings/StoredText.h"

namespace StoredText {
std::optional<qint64> wholeNumber(const QString& text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

bool flag(const std::optional<QString>& text)
{
    return text && wholeNumber(*text) == 1;
}

std::optional<bool> truth(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const std::optional<qint64> number = wholeNumber(trimmed))
        return *number != 0;
    return std::nullopt;
}

std::optional<quint32> color(const QString& text)
{
    const std::optional<qint64> number = wholeNumber(text);
    if (!number || *number < 0 || *number > 0xFFFFFF)
        return std::nullopt;
    return static_cast<quint32>(*number);
}
} // namespace StoredText
