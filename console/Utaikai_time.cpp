#include "console/Utaikai_time.h"

#include "platform/Clock.h"

#include <QTime>

namespace console {
namespace {

// One positional field of a clock text: `length` characters from 0-based `from`, as a decimal
// whole number, or 0 when missing, empty or not a number.
qint64 Field(const QString& text, qsizetype from, qsizetype length)
{
    bool ok = false;
    const qint64 value = text.mid(from, length).toLongLong(&ok);
    return ok ? value : 0;
}

QString TwoDigits(qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// Hours, minutes and seconds joined by colons; hours padded to `hourWidth` digits.
QString HmsText(qint64 seconds, int hourWidth)
{
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1").arg(seconds / 3600, hourWidth, 10, QLatin1Char('0')) + QLatin1Char(':')
        + TwoDigits(seconds / 60 % 60) + QLatin1Char(':') + TwoDigits(seconds % 60);
}

} // namespace

qint64 TimeStrToTenths(const QString& text)
{
    // A one-digit hour moves every later field one place to the left; a leading "0" puts them back.
    const QString t = text.indexOf(QLatin1Char(':')) == 1 ? QLatin1Char('0') + text : text;
    const qint64 hours = Field(t, 0, 2);
    const qint64 minutes = Field(t, 3, 2);
    const qint64 seconds = Field(t, 6, 2);
    const qint64 tenths = Field(t, 9, 1);
    return ((hours * 60 + minutes) * 60 + seconds) * 10 + tenths;
}

QString SecondsToHMS(qint64 seconds) { return HmsText(seconds, 2); }

QString TenthsToHMST(qint64 tenths)
{
    if (tenths < 0)
        return QStringLiteral("00:00:00.0");
    return SecondsToHMS(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
}

QString LongTimeText(const QTime& time)
{
    return LongTimeTextOfSeconds(time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0);
}

QString LongTimeTextOfSeconds(qint64 seconds) { return HmsText(seconds, 1); }

qint32 TickOfDay(const QTime& time) { return time.isValid() ? time.msecsSinceStartOfDay() / 100 : 0; }

qint32 WallTick(const platform::Clock& clock) { return TickOfDay(clock.now().time()); }

qint64 SecondOfDay(const platform::Clock& clock) { return clock.now().time().msecsSinceStartOfDay() / 1000; }

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
