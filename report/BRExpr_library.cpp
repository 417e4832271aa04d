// The function library: the registry and the built-in functions and aggregates.

#include "platform/Clock.h"
#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

void TBRLibrary::Add(TBRFunctionFactory itemClass, const QString& name, const QString& description,
    const QString& argumentSpec, const QString& vendor)
{
    m_entries.push_back({ name.toUpper(), description, argumentSpec, vendor, std::move(itemClass) });
}

const TBRLibraryEntry* TBRLibrary::find(const QString& name) const
{
    for (const TBRLibraryEntry& e : m_entries)
        if (e.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

std::unique_ptr<TBREvElement> TBRLibrary::GetItem(const QString& name) const
{
    if (const TBRLibraryEntry* e = find(name))
        return e->ItemClass();
    return std::make_unique<TBREvElementError>(brErrorText(SBRUnknownFunction, name));
}

namespace {

EvResult wrongArguments(const char* name)
{
    return EvResult::fromError(brErrorText(SBRWrongArguments, QString::fromUtf8(name)));
}

EvResult text(const char* text) { return EvResult::fromError(QString::fromUtf8(text)); }

bool isInt32(double v)
{
    return v >= double(std::numeric_limits<std::int32_t>::min())
        && v <= double(std::numeric_limits<std::int32_t>::max());
}

// A whole number as an integer result when it fits 32 bits, otherwise as a float.
EvResult wholeNumber(double v)
{
    return isInt32(v) ? EvResult::fromInteger(std::int32_t(v)) : EvResult::fromFloat(v);
}

class TBREvIfFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 3 || argument(0).Kind != EvResultKind::Boolean)
            return wrongArguments("IF");
        return argument(0).BoolResult ? argument(1) : argument(2);
    }
};

class TBREvStrFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() == 1) {
            const EvResult& a = argument(0);
            if (a.Kind == EvResultKind::Integer || a.Kind == EvResultKind::Float
                || a.Kind == EvResultKind::Boolean)
                return EvResult::fromString(EvResultToString(a));
        }
        return text(SBRConversionError);
    }
};

// UPPER, LOWER and PRETTY: one string argument changed by Convert.
class TBREvTextFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1)
            return EvResult::fromError(brErrorText(SBRMissingArgument, QString::fromUtf8(Name())));
        const EvResult& a = argument(0);
        if (a.isError())
            return a;
        if (a.Kind != EvResultKind::String)
            return wrongArguments(Name());
        return EvResult::fromString(convert(a.StrResult));
    }

protected:
    virtual const char* Name() const = 0;
    virtual QString convert(const QString& s) const = 0;
};

class TBREvUpperFunction : public TBREvTextFunction {
    const char* Name() const override { return "UPPER"; }
    QString convert(const QString& s) const override { return s.toUpper(); }
};

class TBREvLowerFunction : public TBREvTextFunction {
    const char* Name() const override { return "LOWER"; }
    QString convert(const QString& s) const override { return s.toLower(); }
};

class TBREvPrettyFunction : public TBREvTextFunction {
    const char* Name() const override { return "PRETTY"; }
    QString convert(const QString& s) const override
    {
        if (s.isEmpty())
            return s;
        // The first character whole, also when it is a surrogate pair.
        const qsizetype first = brCharacterOffset(s, 0, 1);
        return s.left(first).toUpper() + s.mid(first).toLower();
    }
};

// TIME and DATE: the clock's time or date as text.
class TBREvClockFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 0)
            return text(SBRTooManyArguments);
        return EvResult::fromString(brExprClock().now().toString(QString::fromUtf8(Format())));
    }

protected:
    virtual const char* Format() const = 0;
};

class TBREvTimeFunction : public TBREvClockFunction {
    const char* Format() const override { return BRLongTimeFormat; }
};

class TBREvDateFunction : public TBREvClockFunction {
    const char* Format() const override { return BRShortDateFormat; }
};

class TBREvCopyFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 3 || argument(0).Kind != EvResultKind::String
            || argument(1).Kind != EvResultKind::Integer || argument(2).Kind != EvResultKind::Integer)
            return wrongArguments("COPY");
        const QString& s = argument(0).StrResult;
        // Positions and the length count characters from 1, a surrogate pair being one character.
        // Clamp before looking at any character.
        const std::int64_t count = brCharacterCount(s);
        const std::int64_t start = std::clamp<std::int64_t>(argument(1).IntResult, 1, count + 1);
        const std::int64_t length = std::clamp<std::int64_t>(argument(2).IntResult, 0, count - start + 1);
        const qsizetype from = brCharacterOffset(s, 0, start - 1);
        return EvResult::fromString(s.mid(from, brCharacterOffset(s, from, length) - from));
    }
};

class TBREvTrue : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        return argumentCount() == 0 ? EvResult::fromBoolean(true) : text(SBRTooManyArguments);
    }
};

class TBREvFalse : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        return argumentCount() == 0 ? EvResult::fromBoolean(false) : text(SBRTooManyArguments);
    }
};

class TBREvIntFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1 || !argument(0).isNumeric())
            return wrongArguments("INT");
        if (argument(0).Kind == EvResultKind::Integer)
            return argument(0);
        // A float beyond the integer range keeps its whole part as a float.
        return wholeNumber(std::trunc(argument(0).FloatResult));
    }
};

class TBREvFracFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1 || !argument(0).isNumeric())
            return wrongArguments("FRAC");
        if (argument(0).Kind == EvResultKind::Integer)
            return EvResult::fromFloat(0.0);
        const double v = argument(0).FloatResult;
        return EvResult::fromFloat(std::isinf(v) ? 0.0 : v - std::trunc(v));
    }
};

class TBREvSQRTFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1 || !argument(0).isNumeric() || argument(0).asDouble() < 0)
            return text(SBRInvalidSqrt);
        return EvResult::fromFloat(std::sqrt(argument(0).asDouble()));
    }
};

class TBREvDivFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 2 || !argument(0).isNumeric() || !argument(1).isNumeric())
            return wrongArguments("DIV");
        // Floats go to the nearest whole number first, halves to the even neighbour.
        const double x = whole(argument(0)), y = whole(argument(1));
        if (y == 0.0)
            return text(SBRDivisionByZero);
        constexpr double limit = 9.0e18; // well inside the 64-bit range
        if (std::fabs(x) < limit && std::fabs(y) < limit) {
            // Exact in 64 bits; the smallest integer divided by -1 becomes a float.
            const std::int64_t q = std::int64_t(x) / std::int64_t(y);
            return wholeNumber(double(q));
        }
        return wholeNumber(std::trunc(x / y));
    }

private:
    static double whole(const EvResult& r)
    {
        return r.Kind == EvResultKind::Integer ? double(r.IntResult) : std::nearbyint(r.FloatResult);
    }
};

class TBREvTypeOfFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 1)
            return wrongArguments("TypeOf");
        static const char* const names[] = { "INTEGER", "FLOAT", "STRING", "BOOLEAN", "ERROR" };
        return EvResult::fromString(QString::fromUtf8(names[int(argument(0).Kind)]));
    }
};

class TBREvFormatNumericFunction : public TBREvElementFunction {
public:
    EvResult Calculate() override
    {
        if (argumentCount() != 2 || argument(0).Kind != EvResultKind::String || !argument(1).isNumeric())
            return wrongArguments("FORMATNUMERIC");
        QString out;
        if (!brFormatFloat(argument(0).StrResult, argument(1).asDouble(), out))
            return text(SBRInvalidFormat);
        return EvResult::fromString(out);
    }
};

// ---------------------------------------------------------------------------------------------
// Aggregates

class TBREvSumFunction : public TBREvElementFunction {
public:
    TBREvSumFunction() { IsAggregate = true; }
    void Reset() override
    {
        m_sum = EvResult();
        m_hasValue = false;
    }
    void Aggregate() override
    {
        if (argumentCount() != 1) {
            m_sum = wrongArguments(Name());
            m_hasValue = true;
            return;
        }
        const EvResult& v = argument(0);
        if (!m_hasValue) {
            m_hasValue = true;
            m_sum = v.isNumeric() || v.isError() ? v : wrongArguments(Name());
        } else if (m_sum.isError()) {
            return;
        } else if (v.isNumeric()) {
            // Integer totals that leave the 32-bit range, and mixed totals, continue as floats.
            m_sum = brApplyOperator(EvOperator::Add, std::move(m_sum), EvResult(v));
        } else if (v.Kind == EvResultKind::String) {
            m_sum = wrongArguments(Name());
        }
    }
    EvResult Calculate() override { return m_hasValue ? m_sum : EvResult::fromInteger(0); }

protected:
    virtual const char* Name() const { return "SUM"; }

private:
    EvResult m_sum;
    bool m_hasValue = false;
};

class TBREvAverageFunction : public TBREvSumFunction {
public:
    void Reset() override
    {
        TBREvSumFunction::Reset();
        m_count = 0;
        m_average = EvResult::fromFloat(0.0);
    }
    void Aggregate() override
    {
        TBREvSumFunction::Aggregate();
        ++m_count;
        const EvResult total = TBREvSumFunction::Calculate();
        m_average = total.isNumeric() ? EvResult::fromFloat(total.asDouble() / double(m_count))
            : total.isError()         ? total
                                      : wrongArguments(Name());
    }
    EvResult Calculate() override { return m_average; }

protected:
    const char* Name() const override { return "AVERAGE"; }

private:
    std::int64_t m_count = 0;
    EvResult m_average = EvResult::fromFloat(0.0);
};

// MAX and MIN: the greatest or smallest value so far, compared by the stored value's kind.
class TBREvExtremeFunction : public TBREvElementFunction {
public:
    TBREvExtremeFunction() { IsAggregate = true; }
    void Reset() override
    {
        m_value = EvResult();
        m_hasValue = false;
    }
    void Aggregate() override
    {
        if (argumentCount() != 1) {
            m_value = wrongArguments(Name());
            m_hasValue = true;
            return;
        }
        const EvResult& v = argument(0);
        if (!m_hasValue) {
            m_value = v;
            m_hasValue = true;
            return;
        }
        const std::optional<int> order = compareValues(v, m_value);
        if (order && replaces(*order))
            m_value = v;
    }
    EvResult Calculate() override { return m_hasValue ? m_value : EvResult::fromInteger(0); }

protected:
    virtual const char* Name() const = 0;
    // Whether a value that compares so (-1 smaller, 1 greater) with the stored one replaces it.
    virtual bool replaces(int order) const = 0;

private:
    // How a compares with b; nothing when the kinds cannot be compared (or the stored one is an error).
    static std::optional<int> compareValues(const EvResult& a, const EvResult& b)
    {
        auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
        if (a.Kind == EvResultKind::Integer && b.Kind == EvResultKind::Integer)
            return sign(a.IntResult, b.IntResult);
        if (a.isNumeric() && b.isNumeric())
            return sign(a.asDouble(), b.asDouble());
        if (a.Kind != b.Kind)
            return std::nullopt;
        if (a.Kind == EvResultKind::String)
            return sign(brCompareText(a.StrResult, b.StrResult), 0);
        if (a.Kind == EvResultKind::Boolean)
            return sign(int(a.BoolResult), int(b.BoolResult));
        return std::nullopt;
    }

    EvResult m_value;
    bool m_hasValue = false;
};

class TBREvMaxFunction : public TBREvExtremeFunction {
    const char* Name() const override { return "MAX"; }
    bool replaces(int order) const override { return order > 0; }
};

class TBREvMinFunction : public TBREvExtremeFunction {
    const char* Name() const override { return "MIN"; }
    bool replaces(int order) const override { return order < 0; }
};

// COUNT takes no argument and counts the accumulations.
class TBREvCountFunction : public TBREvElementFunction {
public:
    TBREvCountFunction() { IsAggregate = true; }
    EvResult Value(TBRFiFo& fifo) override
    {
        const bool complete = gatherArguments(fifo);
        const bool hasArguments = !m_arguments.empty();
        m_arguments.clear();
        if (!complete)
            return queueRanShort();
        if (hasArguments)
            return EvResult::fromError(
                QString::fromUtf8(SBRCountPrefix) + QString::fromUtf8(SBRTooManyArguments));
        if (fifo.AggregateFlag && m_count < std::numeric_limits<std::int32_t>::max())
            ++m_count;
        return EvResult::fromInteger(m_count);
    }
    void Reset() override { m_count = 0; }

private:
    std::int32_t m_count = 0;
};

// ---------------------------------------------------------------------------------------------
// Registration

template <typename T> TBRFunctionFactory factory()
{
    return [] { return std::unique_ptr<TBREvElementFunction>(new T); };
}

struct BuiltIn {
    TBRFunctionFactory factory;
    const char *name, *syntax, *argumentSpec, *description;
};

const char* const Vendor = "Tavo";

void registerBuiltIns(TBRLibrary& lib)
{
    const BuiltIn builtIns[] = {
        { factory<TBREvIfFunction>(), "IF", "IF(<Exp>, <X>, <Y>)", "5BVV",
            "Returns <X> or <Y> depending on the boolean expression <Exp>" },
        { factory<TBREvStrFunction>(), "STR", "STR(<X>)", "7N", "Convert a numeric <X> to a string" },
        { factory<TBREvUpperFunction>(), "UPPER", "UPPER(<X>)", "7S",
            "Converts a string to upper case letters" },
        { factory<TBREvLowerFunction>(), "LOWER", "LOWER(<X>)", "7S",
            "Converts a string to lower case letters" },
        { factory<TBREvPrettyFunction>(), "PRETTY", "PRETTY(<X>)", "7S",
            "Makes the first character upper case and the rest lower case" },
        { factory<TBREvTimeFunction>(), "TIME", "TIME", "1", "Return current time as a string" },
        { factory<TBREvDateFunction>(), "DATE", "DATE", "1", "Return current date as a string" },
        { factory<TBREvCopyFunction>(), "COPY", "COPY(<X>, <St>,<Len>)", "7SNN",
            "Returns a substring of string X" },
        { factory<TBREvSumFunction>(), "SUM", "SUM(<X>)", "3N", "Sums the numeric <X>" },
        { factory<TBREvCountFunction>(), "COUNT", "COUNT", "3", "Increments for each iteration" },
        { factory<TBREvMaxFunction>(), "MAX", "MAX(<X>)", "3V", "Returns the highest <X>" },
        { factory<TBREvMinFunction>(), "MIN", "MIN(<X>)", "3V", "Returns the lowest <X>" },
        { factory<TBREvAverageFunction>(), "AVERAGE", "AVERAGE(<X>)", "3N",
            "Returns the average of numeric <X>" },
        { factory<TBREvTrue>(), "TRUE", "TRUE", "5", "boolean value" },
        { factory<TBREvFalse>(), "FALSE", "FALSE", "5", "boolean value" },
        { factory<TBREvIntFunction>(), "INT", "INT(<X>)", "2N", "Returns the integer part of <X>" },
        { factory<TBREvFracFunction>(), "FRAC", "FRAC(<X>)", "2N", "Returns the fractional part of <X>" },
        { factory<TBREvSQRTFunction>(), "SQRT", "SQRT(<X>)", "2N", "Returns square root of <X>" },
        { factory<TBREvDivFunction>(), "DIV", "DIV(<X>, <Y>) ", "2NN", " Integer division of <X> by <Y>" },
        { factory<TBREvTypeOfFunction>(), "TYPEOF", "TYPEOF(<Exp>)", "6N", "Returns the data type of <Exp>" },
        { factory<TBREvFormatNumericFunction>(), "FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)", "7SN",
            "Formats numeric <N> using the mask in <F>" },
    };
    for (const BuiltIn& b : builtIns)
        lib.Add(b.factory, QString::fromUtf8(b.name),
            QString::fromUtf8(b.syntax) + u'|' + QString::fromUtf8(b.description),
            QString::fromUtf8(b.argumentSpec), QString::fromUtf8(Vendor));
}

} // namespace

TBRLibrary& TBRFunctionLibrary()
{
    static TBRLibrary* library = [] {
        static TBRLibrary lib;
        registerBuiltIns(lib);
        return &lib;
    }();
    return *library;
}

void RegisterLibraryFunction(TBRFunctionFactory itemClass, const QString& name, const QString& description,
    const QString& argumentSpec, const QString& vendor)
{
    TBRFunctionLibrary().Add(std::move(itemClass), name, description, argumentSpec, vendor);
}
