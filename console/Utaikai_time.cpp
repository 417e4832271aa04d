#include "console/Utaikai_time.h"

#include "platform/Clock.h"

#include <QTime>

namespace console {

qint32 tickOfDay(const QTime& time) { return time.isValid() ? time.msecsSinceStartOfDay() / 100 : 0; }

qint32 wallTick(const platform::Clock& clock) { return tickOfDay(clock.now().time()); }

qint64 secondOfDay(const platform::Clock& clock) { return clock.now().time().msecsSinceStartOfDay() / 1000; }

CountdownTicks::CountdownTicks(const platform::Clock& clock)
    : m_clock(clock)
    , m_anchorMsOfDay(clock.now().time().msecsSinceStartOfDay())
    , m_anchorMonoMs(clock.monotonicMs())
{
}

qint32 CountdownTicks::Tick() const
{
    // Milliseconds rather than tenths are anchored, so that the tick changes on the same
    // tenth boundaries as the wall clock did when the source was made.
    const qint64 ms = m_anchorMsOfDay + (m_clock.monotonicMs() - m_anchorMonoMs);
    return static_cast<qint32>(ms / 100);
}

} // namespace console
