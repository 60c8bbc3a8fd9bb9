// Monotonic time of the virtual hardware in nanoseconds: the steady clock, or a hand-moved clock for tests.
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// Not thread-safe; the virtual bridge reads and moves it under its lock.
class SimClock
{
public:
    SimClock();

    qint64 nowNs() const;
    // From now on the time moves only by advance(); it stands at the current reading.
    void freeze();
    void advance(qint64 ns);
    bool isFrozen() const { return m_Frozen; }

private:
    QElapsedTimer m_Timer;
    bool m_Frozen = false;
    qint64 m_FrozenNs = 0;
};
