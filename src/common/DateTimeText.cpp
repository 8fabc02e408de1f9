#include "common/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace {
QString longTimeFormat(const QLocale& locale)
{
    // Qt's long format appends the time zone; the general form has none.
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}
} // namespace

QString generalDateTimeText(const QDateTime& when)
{
    const QLocale locale;
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), longTimeFormat(locale));
}

QString storedDateText(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

std::optional<QDate> parseStoredDate(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QDate iso = QDate::fromString(trimmed, Qt::ISODate);
    if (iso.isValid())
        return iso;
    const QLocale locale;
    // Regional settings often write four-digit years where Qt's short form has two.
    QString fullYear = locale.dateFormat(QLocale::ShortFormat);
    if (!fullYear.contains(QLatin1String("yyyy")))
        fullYear.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QDate date = locale.toDate(trimmed, fullYear);
    if (date.isValid())
        return date;
    date = locale.toDate(trimmed, QLocale::ShortFormat);
    if (date.isValid()) {
        // Two-digit years of the short format read as 19xx; no stored range lies that far back.
        if (date.year() < 1970)
            date = date.addYears(100);
        return date;
    }
    date = locale.toDate(trimmed, QLocale::LongFormat);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString storedNumberText(double value)
{
    return QString::number(value, 'g', 7);
}

std::optional<double> parseStoredNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = trimmed.toDouble(&ok);
    if (!ok)
        value = QLocale().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}
