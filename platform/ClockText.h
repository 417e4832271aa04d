#pragma once

// Clock texts: times of day and durations written with colons. Durations of the console run on
// tenths of a second and go out as HH:MM:SS or HH:MM:SS.t; times of day are written H:MM:SS
// (hours without a leading zero) wherever the program stores, shows or hands them on. Their
// writers and readers live here, so that they agree.

#include <QString>
#include <QTime>
#include <QtGlobal>
#include <optional>

namespace platform {

// ---- Durations of the count-downs ----

// Clock text (HH:MM:SS, H:MM:SS, optionally followed by "." and one tenths digit) to tenths.
// Fields are taken by position; a missing or non-numeric field counts as 0, so "" and "abc" give 0.
qint64 TimeStrToTenths(const QString& text);

// Seconds to HH:MM:SS; hours keep all their digits from 100 on. A negative count gives "00:00:00".
QString SecondsToHMS(qint64 seconds);

// Tenths to HH:MM:SS.t; a negative count gives "00:00:00.0".
QString TenthsToHMST(qint64 tenths);

// ---- Times of day ----

// A time of day as H:MM:SS (hours without a leading zero, milliseconds dropped). This is the
// text that pickers hand to the conversions and that the tables store; it never follows the
// locale. A null time gives "0:00:00".
QString longTimeText(const QTime& time);
// The same form for a count of seconds (hours beyond 23 are written as they are).
QString longTimeTextOfSeconds(qint64 seconds);

// What a reader of H:MM:SS takes besides one or two hour digits, two minute digits and two
// second digits. The readers of the program differ here, each for a reason of its own.
struct ClockTextRule {
    enum class Blanks {
        Refused,
        SpacesAndTabs, // before and after, as statements write values
        AnyWhiteSpace, // before and after, any character that counts as white space
    };
    bool secondsOptional = false; // "9:05" reads as 9:05:00
    bool fraction = false; // one to three digits of the second after a ".", as "9:05:07.5"
    Blanks blanks = Blanks::Refused;
};

// A time of day (0:00:00 to 23:59:59.999) from its text, or nothing when the text is not one
// under the rule.
std::optional<QTime> parseClockText(const QString& text, const ClockTextRule& rule = {});

// The reader under parseClockText, for texts kept as UTF-8 bytes (blanks are the caller's):
// H:MM, H:MM:SS and H:MM:SS.fff at `p` as milliseconds (hours up to 99, so a key rather than a
// time of day), or -1 when it is not one under the rule. `p` moves past what was read.
qint64 scanClockText(const char*& p, const char* end, const ClockTextRule& rule);

} // namespace platform
