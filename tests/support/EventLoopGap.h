#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

// Measures how long the event loop went without a turn while it lives: a timer ticks every 20 ms
// and the longest time between two ticks is kept. A window frozen by a wait shows as a long gap.
class EventLoopGap final
{
public:
    EventLoopGap()
    {
        QObject::connect(&m_ticker, &QTimer::timeout, &m_ticker,
                         [this] { m_longest = std::max(m_longest, m_sinceTick.restart()); });
        m_ticker.start(20);
        m_sinceTick.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};
