#pragma once

// The console's time base. Every count-down of the console runs on tenths of a second; their
// clock texts ("0:05:00", "00:05:00.0") are those of platform/ClockText.h.

#include "platform/ClockText.h"

#include <QtGlobal>

class QTime;

namespace platform {
class Clock;
}

namespace console {

// The count-downs' clock texts, under the names the console calls them by.
using platform::longTimeText;
using platform::longTimeTextOfSeconds;
using platform::SecondsToHMS;
using platform::TenthsToHMST;
using platform::TimeStrToTenths;

// Tenths of a second in one day: a wall-clock tick runs from 0 to TicksPerDay - 1.
inline constexpr qint64 TicksPerDay = 864000;

// Wall-clock tick of a time of day: tenths since midnight, truncated (12:00:00.05 -> 432000).
qint32 tickOfDay(const QTime& time);
// Wall-clock tick now, for the clock display and the schedule. Restarts at 0 at midnight.
qint32 wallTick(const platform::Clock& clock);
// Whole seconds since midnight now, for the time-of-day displays.
qint64 secondOfDay(const platform::Clock& clock);

// The tick the count-downs run on. It starts at the wall-clock tick of the moment it is made and
// then follows the clock's monotonic time, so it keeps counting past midnight (863999 is followed
// by 864000, not by 0) and ignores changes of the wall clock. End ticks computed from it stay
// valid for the whole life of the source.
class CountdownTicks {
public:
    explicit CountdownTicks(const platform::Clock& clock);
    qint32 Tick() const;

private:
    const platform::Clock& m_clock;
    qint64 m_anchorMsOfDay; // wall-clock milliseconds since midnight when the source was made
    qint64 m_anchorMonoMs; // the clock's monotonic milliseconds at the same moment
};

} // namespace console
