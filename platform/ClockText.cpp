#include "platform/ClockText.h"

#include "platform/ByteScan.h"

#include <QByteArray>
#include <QTime>

namespace platform {
namespace {

// One positional field of a clock text: `length` characters from 0-based `from`, as a decimal
// whole number, or 0 when missing, empty or not a number.
qint64 Field(const QString& text, qsizetype from, qsizetype length)
{
    bool ok = false;
    const qint64 value = text.mid(from, length).toLongLong(&ok);
    return ok ? value : 0;
}

QString twoDigits(qint64 n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

// Hours, minutes and seconds joined by colons; hours padded to `hourWidth` digits.
QString hmsText(qint64 seconds, int hourWidth)
{
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1").arg(seconds / 3600, hourWidth, 10, QLatin1Char('0')) + QLatin1Char(':')
        + twoDigits(seconds / 60 % 60) + QLatin1Char(':') + twoDigits(seconds % 60);
}

constexpr qint64 kMsPerDay = 24LL * 3600 * 1000;

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

QString SecondsToHMS(qint64 seconds) { return hmsText(seconds, 2); }

QString TenthsToHMST(qint64 tenths)
{
    if (tenths < 0)
        return QStringLiteral("00:00:00.0");
    return SecondsToHMS(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
}

QString longTimeText(const QTime& time)
{
    return longTimeTextOfSeconds(time.isValid() ? time.msecsSinceStartOfDay() / 1000 : 0);
}

QString longTimeTextOfSeconds(qint64 seconds) { return hmsText(seconds, 1); }

qint64 scanClockText(const char*& p, const char* end, const ClockTextRule& rule)
{
    int h, m, n;
    if (!scanDigits(p, end, 2, h, n) || p >= end || *p != ':')
        return -1;
    ++p;
    if (!scanDigits(p, end, 2, m, n) || n != 2 || m > 59)
        return -1;
    int sec = 0, ms = 0;
    if (p < end && *p == ':') {
        ++p;
        if (!scanDigits(p, end, 2, sec, n) || n != 2 || sec > 59)
            return -1;
        if (rule.fraction && p < end && *p == '.') {
            ++p;
            int frac;
            if (!scanDigits(p, end, 3, frac, n))
                return -1;
            ms = n == 1 ? frac * 100 : n == 2 ? frac * 10 : frac;
        }
    } else if (!rule.secondsOptional) {
        return -1;
    }
    return ((qint64(h) * 60 + m) * 60 + sec) * 1000 + ms;
}

std::optional<QTime> parseClockText(const QString& text, const ClockTextRule& rule)
{
    const QByteArray b
        = (rule.blanks == ClockTextRule::Blanks::AnyWhiteSpace ? text.trimmed() : text).toUtf8();
    const char* p = b.constData();
    const char* end = p + b.size();
    const bool spaces = rule.blanks == ClockTextRule::Blanks::SpacesAndTabs;
    if (spaces)
        skipSpacesAndTabs(p, end);
    const qint64 ms = scanClockText(p, end, rule);
    if (spaces)
        skipSpacesAndTabs(p, end);
    if (ms < 0 || p != end || ms >= kMsPerDay)
        return std::nullopt;
    return QTime::fromMSecsSinceStartOfDay(int(ms));
}

} // namespace platform
