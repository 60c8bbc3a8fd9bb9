// Monotonic time of the virtual hardware.
#include "sim/SimClock.h"

SimClock::SimClock()
{
    m_Timer.start();
}

qint64 SimClock::nowNs() const
{
    return m_Frozen ? m_FrozenNs : m_Timer.nsecsElapsed();
}

void SimClock::freeze()
{
    if (!m_Frozen)
        m_FrozenNs = m_Timer.nsecsElapsed();
    m_Frozen = true;
}

void SimClock::advance(qint64 ns)
{
    if (m_Frozen && ns > 0)
        m_FrozenNs += ns;
}
