#include "settings/IntervalTable.h"

#include "common/DateTimeText.h"

#include <array>
#include <cmath>

namespace {
const std::array<IntervalTable::Item, IntervalTable::kCount>& items()
{
    static const std::array<IntervalTable::Item, IntervalTable::kCount> table{{
        {QStringLiteral("Custom"), IntervalTable::kCustomMarker},
        {QStringLiteral("Never"), IntervalTable::kNeverMarker},
        {QStringLiteral("Constantly"), 0},
        {QStringLiteral("10 seconds"), 10000},
        {QStringLiteral("20 seconds"), 20000},
        {QStringLiteral("30 seconds"), 30000},
        {QStringLiteral("1 minute"), 60000},
        {QStringLiteral("2 minutes"), 120000},
        {QStringLiteral("3 minutes"), 180000},
        {QStringLiteral("4 minutes"), 240000},
        {QStringLiteral("5 minutes"), 300000},
        {QStringLiteral("10 minutes"), 600000},
        {QStringLiteral("20 minutes"), 1200000},
        {QStringLiteral("30 minutes"), 1800000},
        {QStringLiteral("1 hour"), 3600000},
        {QStringLiteral("2 hours"), 7200000},
        {QStringLiteral("3 hours"), 10800000},
        {QStringLiteral("4 hours"), 14400000},
        {QStringLiteral("5 hours"), 18000000},
        {QStringLiteral("6 hours"), 21600000},
        {QStringLiteral("12 hours"), 43200000},
        {QStringLiteral("24 hours"), 86400000},
        {QStringLiteral("Week"), 604800000},
    }};
    return table;
}
} // namespace

const IntervalTable::Item& IntervalTable::item(int position)
{
    // No exception for a position outside the table: a debug build stops, a release build gives
    // "Never", which sets no timer.
    Q_ASSERT_X(isValidPosition(position), "IntervalTable::item", "a position outside the table");
    return items()[static_cast<std::size_t>(isValidPosition(position) ? position : kNever)];
}

std::optional<int> IntervalTable::positionOf(const QString& text)
{
    for (int i = 0; i < kCount; ++i) {
        if (items()[i].text == text)
            return i;
    }
    for (int i = 0; i < kCount; ++i) {
        if (items()[i].text.compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

std::optional<QString> IntervalTable::presetSecondsText(int position)
{
    if (!isValidPosition(position))
        return std::nullopt;
    const int data = items()[position].data;
    if (data == kNeverMarker)
        return QString();
    if (data < 0)
        return std::nullopt;
    return QString::number(data / 1000);
}

bool IntervalTable::isPresetSeconds(qint64 seconds)
{
    for (const Item& entry : items()) {
        if (entry.data >= 0 && entry.data / 1000 == seconds)
            return true;
    }
    return false;
}

bool IntervalTable::isPresetSecondsText(const QString& text)
{
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    return ok && isPresetSeconds(seconds);
}

QString IntervalTable::secondsText(const QString& typed)
{
    if (typed.isEmpty())
        return typed;
    const std::optional<double> number = parseStoredNumber(typed);
    if (!number || *number < 0)
        return QStringLiteral("0");
    const double whole = std::floor(*number);
    if (whole >= static_cast<double>(kMaxSeconds))
        return QString::number(kMaxSeconds);
    return QString::number(static_cast<qint64>(whole));
}

QString IntervalTable::storedSecondsText(const QString& stored)
{
    // A damaged stored interval must not turn into "Constantly" and hammer the server.
    if (!stored.isEmpty() && !parseStoredNumber(stored))
        return QString();
    return secondsText(stored);
}
