// Number texts of the expression language: the general float text and format masks. Both are
// built from the decimal digits of the number, never from the process locale.

#include "report/BRExpr.h"

#include <QLocale>
#include <cmath>
#include <optional>

namespace {

// A non-negative number as decimal digits: value = 0.d1d2d3... x 10^exponent. No leading zero
// digit; an empty digit string is zero.
struct Decimal {
    QString digits;
    int exponent = 0;
    bool isZero() const { return digits.isEmpty(); }
};

// Parses the "d.ddde+XX" text Qt gives for a finite non-negative number.
Decimal fromScientific(const QString& s)
{
    Decimal d;
    const qsizetype e = s.indexOf(u'e');
    QString mantissa = s.left(e);
    mantissa.remove(u'.');
    d.exponent = s.mid(e + 1).toInt() + 1;
    while (mantissa.endsWith(u'0'))
        mantissa.chop(1);
    d.digits = mantissa;
    if (d.digits.isEmpty())
        d.exponent = 0;
    return d;
}

// The shortest digits that read back as the same double, so that 2.675 rounds as written.
Decimal shortestDigits(double absValue)
{
    return fromScientific(QString::number(absValue, 'e', QLocale::FloatingPointShortest));
}

// Keeps `keep` digits (counted from the first), rounding half away from zero.
void roundDigits(Decimal& d, int keep)
{
    if (keep >= d.digits.size())
        return;
    if (keep < 0) {
        d = Decimal();
        return;
    }
    const bool up = d.digits[keep] >= u'5';
    d.digits.truncate(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == u'9') {
            d.digits[i] = u'0';
            --i;
        }
        if (i >= 0) {
            d.digits[i] = QChar(d.digits[i].unicode() + 1);
        } else {
            d.digits.prepend(u'1');
            ++d.exponent;
        }
    }
    while (d.digits.endsWith(u'0'))
        d.digits.chop(1);
    if (d.digits.isEmpty())
        d.exponent = 0;
}

// Rounds to `decimals` digits after the point.
void roundDecimals(Decimal& d, int decimals)
{
    if (!d.isZero())
        roundDigits(d, d.exponent + decimals);
}

// The digits before the point and after it (after: exactly as many as the number has).
void splitFixed(const Decimal& d, QString& intPart, QString& fracPart)
{
    intPart.clear();
    fracPart.clear();
    if (d.isZero())
        return;
    if (d.exponent > 0) {
        intPart = d.digits.left(d.exponent);
        intPart += QString(qMax(0, d.exponent - int(d.digits.size())), u'0');
        fracPart = d.digits.mid(d.exponent);
    } else {
        fracPart = QString(-d.exponent, u'0') + d.digits;
    }
}

// ---------------------------------------------------------------------------------------------
// Format masks

struct MaskLayout {
    int intCount = 0; // digit placeholders before the point
    int minInt = 0; // of which shown always (from the first "0" on)
    int fracCount = 0; // placeholders after the point
    int minFrac = 0; // of which shown always (up to the last "0")
    bool thousands = false;
    bool scientific = false;
    int expDigits = 0;
};

// Reads the layout of one section; false for an unterminated literal.
bool readLayout(const QString& s, MaskLayout& m)
{
    bool point = false;
    int firstIntZero = -1;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype close = s.indexOf(c, i + 1);
            if (close < 0)
                return false;
            i = int(close);
        } else if (m.scientific) {
            continue;
        } else if (c == u'0' || c == u'#') {
            if (point) {
                ++m.fracCount;
                if (c == u'0')
                    m.minFrac = m.fracCount;
            } else {
                if (c == u'0' && firstIntZero < 0)
                    firstIntZero = m.intCount;
                ++m.intCount;
            }
        } else if (c == u'.') {
            point = true;
        } else if (c == u',') {
            m.thousands = true;
        } else if ((c == u'E' || c == u'e') && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
            m.scientific = true;
            int j = i + 2;
            while (j < s.size() && s[j] == u'0' && m.expDigits < 4) {
                ++m.expDigits;
                ++j;
            }
        }
    }
    m.minInt = firstIntZero < 0 ? 0 : m.intCount - firstIntZero;
    return true;
}

struct Rendered {
    QString intDigits;
    QString fracDigits;
    int exponent = 0;
    bool zero = true;
};

Rendered render(double absValue, const MaskLayout& m)
{
    Rendered r;
    Decimal d = shortestDigits(absValue);
    if (m.scientific) {
        const int significant = qMax(1, m.intCount + m.fracCount);
        roundDigits(d, significant);
        if (!d.isZero()) {
            r.exponent = d.exponent - m.intCount;
            d.exponent = m.intCount;
        }
    } else {
        roundDecimals(d, m.fracCount);
    }
    r.zero = d.isZero();
    splitFixed(d, r.intDigits, r.fracDigits);
    r.fracDigits = r.fracDigits.leftJustified(m.minFrac, u'0');
    if (r.intDigits.size() < m.minInt)
        r.intDigits = QString(m.minInt - r.intDigits.size(), u'0') + r.intDigits;
    return r;
}

QString assemble(const QString& s, const MaskLayout& m, const Rendered& r)
{
    QString out;
    const int len = int(r.intDigits.size());
    const int offset = m.intCount - len; // negative: extra digits go at the first placeholder
    int intIndex = 0, fracIndex = 0;
    bool point = false;
    auto emitIntDigit = [&](int idx) {
        out += r.intDigits[idx];
        const int remaining = len - 1 - idx;
        if (m.thousands && remaining > 0 && remaining % 3 == 0)
            out += u',';
    };
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"' || c == u'\'') {
            const int close = int(s.indexOf(c, i + 1));
            out += s.mid(i + 1, close - i - 1);
            i = close;
        } else if ((c == u'0' || c == u'#') && !point) {
            if (intIndex == 0)
                for (int k = 0; k < -offset; ++k)
                    emitIntDigit(k);
            const int idx = intIndex - offset;
            if (idx >= 0 && idx < len)
                emitIntDigit(idx);
            ++intIndex;
        } else if ((c == u'0' || c == u'#') && point) {
            if (fracIndex < r.fracDigits.size())
                out += r.fracDigits[fracIndex];
            ++fracIndex;
        } else if (c == u'.' && !point) {
            point = true;
            if (m.intCount == 0)
                out += r.intDigits;
            if (!r.fracDigits.isEmpty())
                out += u'.';
        } else if (c == u',' || c == u'.') {
            continue;
        } else if (m.scientific && (c == u'E' || c == u'e') && i + 1 < s.size()
            && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
            out += c;
            if (r.exponent < 0)
                out += u'-';
            else if (s[i + 1] == u'+')
                out += u'+';
            out += QString::number(std::abs(r.exponent)).rightJustified(m.expDigits, u'0');
            i += 1 + m.expDigits;
            // Anything after the exponent is literal text.
            for (++i; i < s.size(); ++i)
                if (s[i] != u'"' && s[i] != u'\'')
                    out += s[i];
            break;
        } else {
            out += c;
        }
    }
    return out;
}

// Splits a mask into its sections at ";" outside literals.
QStringList sections(const QString& mask)
{
    QStringList sections;
    QString current;
    QChar quote;
    for (QChar c : mask) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u';') {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

} // namespace

QString brFloatToText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (v == 0.0)
        return QStringLiteral("0");
    Decimal d = fromScientific(QString::number(std::fabs(v), 'e', 14));
    const QString sign = v < 0 ? QStringLiteral("-") : QString();
    const int e10 = d.exponent - 1; // the power of ten of the first digit
    if (e10 < 15 && e10 >= -5) {
        QString intPart, fracPart;
        splitFixed(d, intPart, fracPart);
        return sign + (intPart.isEmpty() ? QStringLiteral("0") : intPart)
            + (fracPart.isEmpty() ? QString() : QStringLiteral(".") + fracPart);
    }
    QString mantissa = d.digits.left(1);
    if (d.digits.size() > 1)
        mantissa += u'.' + d.digits.mid(1);
    return sign + mantissa + u'E' + QString::number(e10);
}

bool brFormatFloat(const QString& mask, double value, QString& out)
{
    if (!std::isfinite(value))
        return false;
    const QStringList parts = sections(mask);
    MaskLayout layouts[3];
    for (int i = 0; i < parts.size() && i < 3; ++i)
        if (!readLayout(parts[i], layouts[i]))
            return false;
    if (parts[0].isEmpty()) {
        out = brFloatToText(value);
        return true;
    }
    const double absValue = std::fabs(value);
    int section = 0;
    if (value < 0 && parts.size() >= 2 && !parts[1].isEmpty())
        section = 1;
    Rendered r = render(absValue, layouts[section]);
    if (render(absValue, layouts[0]).zero && parts.size() >= 3 && !parts[2].isEmpty()) {
        section = 2;
        r = render(0.0, layouts[2]);
    }
    out = assemble(parts[section], layouts[section], r);
    if (section == 0 && value < 0 && !r.zero)
        out.prepend(u'-');
    return true;
}
