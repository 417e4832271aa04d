#pragma once

// The console's time base and clock texts. Every count-down of the console runs on tenths of a
// second; durations arrive as clock texts ("0:05:00", "00:05:00.0") and go back out as texts.

#include <QString>
#include <QtGlobal>

class QTime;

namespace platform {
class Clock;
}

namespace console {

// Tenths of a second in one day: a wall-clock tick runs from 0 to TicksPerDay - 1.
inline constexpr qint64 TicksPerDay = 864000;

// Clock text (HH:MM:SS, H:MM:SS, optionally followed by "." and one tenths digit) to tenths.
// Fields are taken by position; a missing or non-numeric field counts as 0, so "" and "abc" give 0.
qint64 TimeStrToTenths(const QString& text);

// Seconds to HH:MM:SS; hours keep all their digits from 100 on. A negative count gives "00:00:00".
QString SecondsToHMS(qint64 seconds);

// Tenths to HH:MM:SS.t; a negative count gives "00:00:00.0".
QString TenthsToHMST(qint64 tenths);

// A time of day as H:MM:SS (hours without a leading zero). This is the text that pickers hand
// to the conversions and that the tables store; it never follows the locale.
QString LongTimeText(const QTime& time);
// The same form for a count of seconds (hours beyond 23 are written as they are).
QString LongTimeTextOfSeconds(qint64 seconds);

// Wall-clock tick of a time of day: tenths since midnight, truncated (12:00:00.05 -> 432000).
qint32 TickOfDay(const QTime& time);
// Wall-clock tick now, for the clock display and the schedule. Restarts at 0 at midnight.
qint32 WallTick(const platform::Clock& clock);
// Whole seconds since midnight now, for the time-of-day displays.
qint64 SecondOfDay(const platform::Clock& clock);

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
