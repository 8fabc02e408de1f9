#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// The general date-time text of the program: the locale's short date, a blank and its long time,
// without time zone; a time of exactly midnight shows the date alone. Used by the stamp, the time
// text file and the FTP log.
QString generalDateTimeText(const QDateTime& when);

// Dates and fractional numbers are written in one fixed form (yyyy-MM-dd, a point as decimal
// separator); readers also take the locale's own form that earlier versions wrote.
QString storedDateText(const QDate& date);
std::optional<QDate> parseStoredDate(const QString& text);
QString storedNumberText(double value);
std::optional<double> parseStoredNumber(const QString& text);
