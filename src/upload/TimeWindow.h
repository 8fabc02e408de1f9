#pragma once

#include <QTime>

// The times of day at which an account's timed uploads run: from the first minute to the last,
// both included, to the minute. A first minute after the last one makes a window across midnight
// (22:00 to 06:00 is the night); equal minutes make a window of that one minute.
class TimeWindow final
{
public:
    TimeWindow(QTime from, QTime to);

    bool contains(QTime time) const;

private:
    int m_from; // minutes since midnight
    int m_to;
};
