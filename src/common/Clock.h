#pragma once

#include <QDate>
#include <QDateTime>

// The local date and time as the program reads it for what it writes down: the time stamp, the
// time text file, the date range of an account and the FTP log. Tests set their own.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

// The system's clock.
class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
