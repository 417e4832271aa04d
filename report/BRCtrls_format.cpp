// Display formats of fields and expressions: date-time patterns and money, in the program's own
// conventions rather than the process locale's.

#include "report/BRCtrls.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <optional>

// ---------------------------------------------------------------------------------------------
// Date-time patterns
// ---------------------------------------------------------------------------------------------

namespace {

// The program's date and time formats, as patterns of this formatter.
constexpr char16_t ShortDatePattern[] = u"yyyy/mm/dd";
constexpr char16_t LongDatePattern[] = u"yyyy'年'm'月'd'日'";
constexpr char16_t ShortTimePattern[] = u"h:nn";
constexpr char16_t LongTimePattern[] = u"h:nn:ss";

const char16_t* const DayNames[] = { u"日", u"月", u"火", u"水", u"木", u"金", u"土" };

QString number(int value, int digits) { return QString::number(value).rightJustified(digits, u'0'); }

bool startsWith(const QString& s, qsizetype at, const char* word)
{
    return s.mid(at, qsizetype(qstrlen(word))).compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

class DateTimeFormatter {
public:
    explicit DateTimeFormatter(const QDateTime& value)
        : m_date(value.date())
        , m_time(value.time())
    {
    }

    void Append(const QString& pattern, int depth = 0)
    {
        // The built-in patterns nest at most two deep; a guard keeps a mistake from looping.
        if (depth > 2)
            return;
        QChar lastToken;
        qsizetype i = 0;
        while (i < pattern.size()) {
            const QChar c = pattern[i];
            if (c == u'\'' || c == u'"') {
                const qsizetype close = pattern.indexOf(c, i + 1);
                const qsizetype end = close < 0 ? pattern.size() : close;
                m_out += pattern.mid(i + 1, end - i - 1);
                i = end + 1;
                continue;
            }
            if (!isTokenLetter(c)) {
                m_out += c; // "/" and ":" are the program's separators already
                ++i;
                continue;
            }
            QChar token = c.toUpper();
            if (token == u'A') {
                i += appendAmPm(pattern, i);
                lastToken = token;
                continue;
            }
            qsizetype count = 1;
            while (i + count < pattern.size() && pattern[i + count].toUpper() == token)
                ++count;
            // An "m" right after an hour is the minutes, as in "hh:mm".
            if (token == u'M' && lastToken == u'H')
                token = QChar(u'N');
            lastToken = token;
            appendToken(pattern, token, int(count), i, depth);
            i += count;
        }
    }

    QString text() const { return m_out; }

private:
    static bool isTokenLetter(QChar c)
    {
        switch (c.toUpper().unicode()) {
        case u'Y':
        case u'M':
        case u'D':
        case u'H':
        case u'N':
        case u'S':
        case u'Z':
        case u'T':
        case u'C':
        case u'A':
            return true;
        default:
            return false;
        }
    }

    // A 12-hour clock when the first "a" after the hour (outside quotes, before another hour)
    // begins am/pm, a/p or ampm.
    static bool twelveHour(const QString& pattern, qsizetype from)
    {
        bool quoted = false;
        for (qsizetype i = from; i < pattern.size(); ++i) {
            const QChar c = pattern[i];
            if (c == u'\'' || c == u'"') {
                quoted = !quoted;
            } else if (!quoted && (c == u'a' || c == u'A')) {
                return startsWith(pattern, i, "am/pm") || startsWith(pattern, i, "a/p")
                    || startsWith(pattern, i, "ampm");
            } else if (!quoted && (c == u'h' || c == u'H')) {
                return false;
            }
        }
        return false;
    }

    // Appends am/pm, a/p or ampm at `at`; a lone "a" is itself. Returns the characters used.
    qsizetype appendAmPm(const QString& pattern, qsizetype at)
    {
        const bool pm = m_time.hour() >= 12;
        if (startsWith(pattern, at, "am/pm")) {
            m_out += pattern.mid(pm ? at + 3 : at, 2);
            return 5;
        }
        if (startsWith(pattern, at, "a/p")) {
            m_out += pattern.mid(pm ? at + 2 : at, 1);
            return 3;
        }
        if (startsWith(pattern, at, "ampm")) {
            m_out += pm ? QStringLiteral("午後") : QStringLiteral("午前");
            return 4;
        }
        m_out += pattern[at];
        return 1;
    }

    void appendToken(const QString& pattern, QChar token, int count, qsizetype at, int depth)
    {
        switch (token.unicode()) {
        case u'Y':
            m_out += count <= 2 ? number(m_date.year() % 100, 2) : number(m_date.year(), 4);
            break;
        case u'M':
            if (count <= 2)
                m_out += number(m_date.month(), count);
            else
                m_out += QString::number(m_date.month()) + u'月';
            break;
        case u'D':
            if (count <= 2)
                m_out += number(m_date.day(), count);
            else if (count == 3)
                m_out += QString::fromUtf16(DayNames[m_date.dayOfWeek() % 7]);
            else if (count == 4)
                m_out += QString::fromUtf16(DayNames[m_date.dayOfWeek() % 7]) + QStringLiteral("曜日");
            else
                Append(QString::fromUtf16(count == 5 ? ShortDatePattern : LongDatePattern), depth + 1);
            break;
        case u'H': {
            int hour = m_time.hour();
            if (twelveHour(pattern, at + count)) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            m_out += number(hour, std::min(count, 2));
            break;
        }
        case u'N':
            m_out += number(m_time.minute(), std::min(count, 2));
            break;
        case u'S':
            m_out += number(m_time.second(), std::min(count, 2));
            break;
        case u'Z':
            m_out += number(m_time.msec(), count <= 2 ? 1 : 3);
            break;
        case u'T':
            Append(QString::fromUtf16(count == 1 ? ShortTimePattern : LongTimePattern), depth + 1);
            break;
        case u'C':
            Append(QString::fromUtf16(ShortDatePattern), depth + 1);
            if (m_time != QTime(0, 0)) {
                m_out += u' ';
                Append(QString::fromUtf16(LongTimePattern), depth + 1);
            }
            break;
        default:
            break;
        }
    }

    QDate m_date;
    QTime m_time;
    QString m_out;
};

} // namespace

QString brFormatDateTime(const QString& pattern, const QDateTime& value)
{
    DateTimeFormatter f(value);
    f.Append(pattern.isEmpty() ? QStringLiteral("c") : pattern);
    return f.text();
}

// ---------------------------------------------------------------------------------------------
// Number directives and money
// ---------------------------------------------------------------------------------------------

namespace {

constexpr char16_t YenSign = u'\u00A5';

// Zeros for the decimals of a mask: "" or ".00".
QString decimals(int count) { return count > 0 ? u'.' + QString(count, u'0') : QString(); }

std::optional<QString> formatDirective(QChar type, int precision, double value)
{
    QString mask;
    switch (type.toLower().unicode()) {
    case u'f':
        mask = u'0' + decimals(precision < 0 ? 2 : precision);
        break;
    case u'n':
        mask = QStringLiteral("#,##0") + decimals(precision < 0 ? 2 : precision);
        break;
    case u'm':
        mask = QString(QChar(YenSign)) + QStringLiteral("#,##0") + decimals(precision < 0 ? 0 : precision);
        break;
    case u'e': {
        const int digits = std::clamp(precision < 0 ? 15 : precision, 1, 18);
        mask = u'0' + decimals(digits - 1) + QStringLiteral("E+000");
        break;
    }
    case u'g': {
        if (precision > 0 && precision < 15)
            value = QString::number(value, 'g', precision).toDouble();
        return brFloatToText(value);
    }
    default:
        return std::nullopt;
    }
    QString out;
    if (!brFormatFloat(mask, value, out))
        return std::nullopt;
    return out;
}

// Reads the digits at `i`, or -1 when there are none.
int readNumber(const QString& s, qsizetype& i)
{
    if (i >= s.size() || !s[i].isDigit())
        return -1;
    int n = 0;
    while (i < s.size() && s[i].isDigit() && n < 10000)
        n = n * 10 + s[i++].digitValue();
    return n;
}

} // namespace

bool brFormatNumberArgument(const QString& format, double value, QString& out)
{
    if (!std::isfinite(value))
        return false;
    QString result;
    int nextArgument = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') {
            result += format[i];
            continue;
        }
        if (++i >= format.size())
            return false;
        if (format[i] == u'%') {
            result += u'%';
            continue;
        }
        qsizetype j = i;
        int argument = readNumber(format, j);
        if (argument >= 0 && j < format.size() && format[j] == u':') {
            i = j + 1;
        } else {
            argument = nextArgument;
            j = i;
        }
        // There is one argument: a directive for another one cannot be filled.
        if (argument != 0)
            return false;
        nextArgument = argument + 1;
        const bool left = i < format.size() && format[i] == u'-';
        if (left)
            ++i;
        const int width = readNumber(format, i);
        int precision = -1;
        if (i < format.size() && format[i] == u'.') {
            ++i;
            precision = std::max(readNumber(format, i), 0);
        }
        if (i >= format.size())
            return false;
        const std::optional<QString> text = formatDirective(format[i], precision, value);
        if (!text)
            return false;
        result += left ? text->leftJustified(width) : text->rightJustified(width);
    }
    out = result;
    return true;
}

QString brMoneyText(double value)
{
    QString out;
    brFormatNumberArgument(QStringLiteral("%m"), value, out);
    return out;
}
