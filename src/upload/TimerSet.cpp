#include "upload/TimerSet.h"

#include <QTimer>

TimerSet::TimerSet(QObject* parent) : QObject(parent) {}

TimerSet::~TimerSet() = default;

bool TimerSet::set(int id, qint64 intervalMs)
{
    if (intervalMs < 0 || intervalMs > kMaxIntervalMs)
        return false;
    auto& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] { emit tick(id); });
    }
    timer->setTimerType(intervalMs < 1000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer->setInterval(static_cast<int>(intervalMs));
    if (intervalMs == 0)
        timer->stop();
    else
        timer->start();
    return true;
}

void TimerSet::kill(int id)
{
    m_timers.erase(id);
}

void TimerSet::killAll()
{
    m_timers.clear();
}

bool TimerSet::has(int id) const
{
    return m_timers.count(id) != 0;
}

qint64 TimerSet::interval(int id) const
{
    const auto found = m_timers.find(id);
    return found == m_timers.end() ? -1 : found->second->interval();
}

QList<int> TimerSet::alwaysDue() const
{
    QList<int> ids;
    for (const auto& [id, timer] : m_timers) {
        if (timer->interval() == 0)
            ids.append(id);
    }
    return ids;
}

qint64 TimerSet::remaining(int id) const
{
    const auto found = m_timers.find(id);
    if (found == m_timers.end())
        return -1;
    return found->second->isActive() ? found->second->remainingTime() : 0;
}
