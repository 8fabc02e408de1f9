#include "upload/TimeWindow.h"

namespace {
int minuteOfDay(QTime time)
{
    return time.isValid() ? time.hour() * 60 + time.minute() : 0;
}
} // namespace

TimeWindow::TimeWindow(QTime from, QTime to) : m_from(minuteOfDay(from)), m_to(minuteOfDay(to)) {}

bool TimeWindow::contains(QTime time) const
{
    const int minute = minuteOfDay(time);
    if (m_from <= m_to)
        return minute >= m_from && minute <= m_to;
    return minute >= m_from || minute <= m_to;
}
