#pragma once

#include <QList>
#include <QObject>

#include <map>
#include <memory>

class QTimer;

// Repeating timers identified by a number (an account's row), as the account timers need them:
// setting an id that already has a timer replaces it and restarts the count. An interval of 0 means
// "always due": such an id never ticks (a timer that fires on every turn of the event loop would
// keep a core busy while an upload waits on the network); its owner runs it whenever it is free.
class TimerSet final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimerSet)

public:
    // The largest interval a timer can hold, in milliseconds.
    static constexpr qint64 kMaxIntervalMs = 2147483647;

    explicit TimerSet(QObject* parent = nullptr);
    ~TimerSet() override;

    // False (and no timer) when the interval is negative or does not fit.
    bool set(int id, qint64 intervalMs);
    void kill(int id);
    void killAll();
    bool has(int id) const;
    qint64 interval(int id) const;
    // Milliseconds to the id's next tick (0 for an always-due id), -1 without a timer.
    qint64 remaining(int id) const;
    // The ids with an interval of 0, in order.
    QList<int> alwaysDue() const;
    int count() const { return static_cast<int>(m_timers.size()); }

signals:
    void tick(int id);

private:
    std::map<int, std::unique_ptr<QTimer>> m_timers;
};
