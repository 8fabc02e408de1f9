#pragma once

#include "common/Clock.h"

// A clock the test sets and moves by hand.
class SetClock final : public Clock
{
public:
    explicit SetClock(const QDateTime& when) : m_now(when) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& when) { m_now = when; }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
