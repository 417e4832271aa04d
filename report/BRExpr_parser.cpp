// The parser: splits an expression text recursively (relational, additive, multiplicative level,
// factor) and fills the evaluator's queue in prefix order. Parse errors become error elements.

#include "report/BRConst.h"
#include "report/BRExpr.h"

namespace {

bool IsBlank(QChar c) { return c.unicode() <= u' '; }

bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool IsAsciiLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Where a scan stands: inside a quoted literal, inside a bracketed name, how deep in parentheses.
struct ScanState {
    bool quote = false;
    bool bracket = false;
    int depth = 0;

    void Feed(QChar c)
    {
        if (c == u'\'') {
            if (!bracket)
                quote = !quote;
        } else if (!quote) {
            if (c == u'[')
                bracket = true;
            else if (c == u']')
                bracket = false;
            else if (!bracket && c == u'(')
                ++depth;
            else if (!bracket && c == u')')
                --depth;
        }
    }
    bool TopLevel() const { return !quote && !bracket && depth == 0; }
};

// True when the word ending just before `end` (exclusive) is one of the word operators.
bool WordOperatorBefore(const QString& t, int end)
{
    int start = end;
    while (start > 0 && IsAsciiLetter(t[start - 1]))
        --start;
    if (start == end || (start > 0 && !IsBlank(t[start - 1]) && t[start - 1] != u'('))
        return false;
    const QString word = t.mid(start, end - start).toLower();
    return word == u"or" || word == u"and" || word == u"not";
}

// A "+" or "-" at position i is a sign rather than an operator when nothing but another operator
// (or the start of the text) stands before it, as in "2 * -3" or "x < -1", or when it is the
// exponent sign of a number, as in "1e-5".
bool IsSignAt(const QString& t, int i)
{
    int j = i - 1;
    while (j >= 0 && IsBlank(t[j]))
        --j;
    if (j < 0)
        return true;
    const QChar p = t[j];
    if (QStringView(u"+-*/<>=(,").contains(p) || p == BRArgumentSeparator)
        return true;
    if (IsAsciiLetter(p) && WordOperatorBefore(t, j + 1))
        return true;
    if ((p == u'e' || p == u'E') && j == i - 1) {
        int k = j;
        while (k > 0 && (IsAsciiDigit(t[k - 1]) || t[k - 1] == u'.'))
            --k;
        if (k < j && IsAsciiDigit(t[k]) && (k == 0 || !(IsAsciiLetter(t[k - 1]) || t[k - 1] == u'_')))
            return true;
    }
    return false;
}

struct Split {
    int op = -1; // operator code, -1 when none was found
    int pos = 0; // where the operator begins
    int width = 0;
};

// The leftmost operator at the top level that `test` recognises, from the second character on;
// the last character is never taken as an operator.
template <typename Test> Split FindOperator(const QString& t, Test test)
{
    ScanState s;
    const int n = int(t.size());
    for (int i = 0; i < n - 1; ++i) {
        s.Feed(t[i]);
        if (i >= 1 && s.TopLevel()) {
            const Split sp = test(t, i);
            if (sp.op >= 0)
                return sp;
        }
    }
    return {};
}

// A word operator ("or", "and") standing between blanks, found at the blank before it.
bool WordOperatorAt(const QString& t, int i, QStringView word)
{
    const int end = i + 1 + int(word.size());
    return IsBlank(t[i]) && end < t.size() && IsBlank(t[end])
        && QStringView(t).mid(i + 1, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

Split RelationalAt(const QString& t, int i)
{
    const QChar c = t[i];
    const QChar next = t[i + 1];
    if (c == u'<') {
        if (next == u'>')
            return { 5, i, 2 };
        if (next == u'=')
            return { 1, i, 2 };
        return { 0, i, 1 };
    }
    if (c == u'>')
        return next == u'=' ? Split { 3, i, 2 } : Split { 2, i, 1 };
    if (c == u'=')
        return { 4, i, 1 };
    return {};
}

Split AdditiveAt(const QString& t, int i)
{
    const QChar c = t[i];
    if ((c == u'+' || c == u'-') && !IsSignAt(t, i))
        return { c == u'+' ? 6 : 7, i, 1 };
    if (WordOperatorAt(t, i, u"or"))
        return { 8, i + 1, 2 };
    return {};
}

Split MultiplicativeAt(const QString& t, int i)
{
    const QChar c = t[i];
    if (c == u'*')
        return { 9, i, 1 };
    if (c == u'/')
        return { 10, i, 1 };
    if (WordOperatorAt(t, i, u"and"))
        return { 11, i + 1, 3 };
    return {};
}

QString TrimBlanks(const QString& t)
{
    int b = 0, e = int(t.size());
    while (b < e && IsBlank(t[b]))
        ++b;
    while (e > b && IsBlank(t[e - 1]))
        --e;
    return t.mid(b, e - b);
}

} // namespace

int FindArgumentSeparator(const QString& text)
{
    ScanState s;
    const int n = int(text.size());
    for (int i = 0; i < n - 1; ++i) {
        s.Feed(text[i]);
        if (s.TopLevel() && text[i] == BRArgumentSeparator)
            return i;
    }
    return -1;
}

QString SwapOperatorsOutsideQuotes(const QString& text, QChar a, QChar b)
{
    QString out = text;
    ScanState s;
    for (int i = 0; i < out.size(); ++i) {
        const QChar c = text[i];
        s.Feed(c);
        if (!s.TopLevel() || (c != a && c != b))
            continue;
        if ((c == u'+' || c == u'-') && IsSignAt(text, i))
            continue;
        out[i] = c == a ? b : a;
    }
    return out;
}

void TBREvaluator::ParseExpression(const QString& text)
{
    const Split sp = FindOperator(text, RelationalAt);
    if (sp.op < 0) {
        ParseSimpleExpression(text);
        return;
    }
    Append(std::make_unique<TBREvElementOperator>(sp.op));
    ParseSimpleExpression(text.left(sp.pos));
    ParseSimpleExpression(text.mid(sp.pos + sp.width));
}

void TBREvaluator::ParseSimpleExpression(const QString& text)
{
    const Split sp = FindOperator(text, AdditiveAt);
    if (sp.op < 0) {
        ParseTerm(text);
        return;
    }
    Append(std::make_unique<TBREvElementOperator>(sp.op));
    ParseTerm(text.left(sp.pos));
    // The right side is parsed as one operand; exchanging + and - there keeps a - b + c equal
    // to a - (b - c), that is, left to right.
    const QString right = text.mid(sp.pos + sp.width);
    ParseSimpleExpression(sp.op == 7 ? SwapOperatorsOutsideQuotes(right, u'+', u'-') : right);
}

void TBREvaluator::ParseTerm(const QString& text)
{
    const Split sp = FindOperator(text, MultiplicativeAt);
    if (sp.op < 0) {
        ParseFactor(text);
        return;
    }
    Append(std::make_unique<TBREvElementOperator>(sp.op));
    ParseFactor(text.left(sp.pos));
    const QString right = text.mid(sp.pos + sp.width);
    ParseTerm(sp.op == 10 ? SwapOperatorsOutsideQuotes(right, u'*', u'/') : right);
}

void TBREvaluator::ParseFactor(const QString& text)
{
    const QString t = TrimBlanks(text);
    if (t.isEmpty()) {
        AppendError(BRFormat(SBRMissing, QString::fromUtf8(SBROperand)));
        return;
    }
    const QChar first = t[0];
    const QChar last = t[t.size() - 1];
    const bool enclosed = t.size() >= 2;
    if (t.left(3).compare(u"not", Qt::CaseInsensitive) == 0) {
        Append(std::make_unique<TBREvElementNot>());
        ParseSimpleExpression(t.mid(3));
    } else if (first == u'\'') {
        if (enclosed && last == u'\'')
            ParseString(t.mid(1, t.size() - 2));
        else
            AppendError(BRFormat(SBRMissing, QStringLiteral("'")));
    } else if (first == u'(') {
        if (enclosed && last == u')')
            ParseExpression(t.mid(1, t.size() - 2));
        else
            AppendError(BRFormat(SBRMissing, QStringLiteral(")")));
    } else if (first == u'+') {
        ParseFactor(t.mid(1));
    } else if (first == u'-') {
        ParseSimpleExpression(QStringLiteral("0-") + t.mid(1));
    } else if (IsAsciiDigit(first)) {
        ParseNumber(t);
    } else if (IsAsciiLetter(first)) {
        ParseFunctionCall(t);
    } else if (first == u'[') {
        if (enclosed && last == u']')
            LookupField(t.mid(1, t.size() - 2));
        else
            AppendError(BRFormat(SBRMissing, QStringLiteral("]")));
    } else {
        AppendError(BRFormat(SBRErrorInExpression, t));
    }
}

void TBREvaluator::ParseNumber(const QString& text)
{
    const int n = int(text.size());
    int i = 0;
    while (i < n && IsAsciiDigit(text[i]))
        ++i;
    bool isFloat = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (IsAsciiDigit(c))
            continue;
        if (QStringView(u"+-.Ee").contains(c)) {
            isFloat = true;
            continue;
        }
        AppendError(BRFormat(SBRIllegalNumericChar, text));
        return;
    }
    bool ok = false;
    if (!isFloat) {
        const int v = text.toInt(&ok);
        if (ok) {
            Append(std::make_unique<TBREvElementConstant>(EvResult::Integer(v)));
            return;
        }
    }
    // Beyond 32 bits, or written with a point or exponent. QString::toDouble reads "." whatever
    // the process locale is.
    const double d = text.toDouble(&ok);
    if (!ok) {
        AppendError(BRFormat(SBRIllegalNumericChar, text));
        return;
    }
    Append(std::make_unique<TBREvElementConstant>(EvResult::Float(d)));
}

void TBREvaluator::ParseString(const QString& text) { Append(std::make_unique<TBREvElementString>(text)); }

void TBREvaluator::ParseFunctionCall(const QString& text)
{
    // The name is the text before the first "(" as written, so "SUM (x)" names no function.
    // Without its closing ")" the call has no name at all and ends as an unknown name.
    const int open = int(text.indexOf(u'('));
    if (open < 0)
        LookupFunction(text, QString());
    else if (text.endsWith(u')'))
        LookupFunction(text.left(open), text.mid(open + 1, text.size() - open - 2));
    else
        LookupFunction(QString(), QString());
}

void TBREvaluator::LookupFunction(const QString& name, const QString& arguments)
{
    const QString upper = name.toUpper();
    const TBRLibraryEntry* entry = TBRFunctionLibrary().Find(upper);
    if (entry) {
        Append(entry->ItemClass());
        QString rest = arguments;
        for (;;) {
            const int sep = FindArgumentSeparator(rest);
            if (sep < 0) {
                if (!rest.isEmpty())
                    ParseExpression(rest);
                break;
            }
            ParseExpression(rest.left(sep));
            rest = rest.mid(sep + 1);
        }
        Append(std::make_unique<TBREvElementArgumentEnd>());
    } else if (arguments.isEmpty()) {
        LookupField(name);
    } else {
        AppendError(BRFormat(SBRUnknownFunction, upper));
    }
}

void TBREvaluator::LookupField(const QString& name)
{
    if (!m_dataSets.isEmpty()) {
        if (auto field = BRFindDataField(m_dataSets, name)) {
            Append(std::move(field));
            return;
        }
    }
    std::shared_ptr<TBREvEmbeddedFunction> variable;
    if (m_environment)
        variable = m_environment->FindFunction(name);
    if (!variable)
        variable = BRGlobalEnvironment().FindFunction(name);
    if (variable)
        Append(std::make_unique<TBREvElementWrapper>(variable, name));
    else
        AppendError(BRFormat(SBRUnknownFunction, name));
}
