// The parser: splits an expression text recursively (relational, additive, multiplicative level,
// factor) and fills the evaluator's queue in prefix order. Parse errors become error elements.
//
// Every level works on a range of one copy of the text, and a scan at one level jumps over the
// parenthesised groups inside its range, so each character is looked at a fixed number of times
// per level it belongs to and a text is parsed in time and memory linear in its length. Chains
// of operators (a + b + c ...) and of signs and "not" are loops, not recursion; only parentheses
// and function calls recurse, and their depth is bounded by BRMaxNesting.

#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace {

bool isBlank(QChar c) { return c.unicode() <= u' '; }

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

bool isAsciiLetter(QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Where a scan stands: inside a quoted literal, inside a bracketed name, how deep in parentheses.
struct ScanState {
    bool quote = false;
    bool bracket = false;
    int depth = 0;

    void feed(QChar c)
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
    bool clean() const { return !quote && !bracket; }
    bool topLevel() const { return clean() && depth == 0; }
};

bool isWordOperator(QStringView word)
{
    return word.compare(u"or", Qt::CaseInsensitive) == 0 || word.compare(u"and", Qt::CaseInsensitive) == 0
        || word.compare(u"not", Qt::CaseInsensitive) == 0;
}

// True when the word ending just before `end` (exclusive), not reaching before `lo`, is one of
// the word operators.
bool wordOperatorBefore(const QChar* t, int lo, int end)
{
    int start = end;
    while (start > lo && isAsciiLetter(t[start - 1]))
        --start;
    if (start == end || (start > lo && !isBlank(t[start - 1]) && t[start - 1] != u'('))
        return false;
    return isWordOperator(QStringView(t + start, end - start));
}

// A "+" or "-" at position i of the text that starts at `lo` is a sign rather than an operator
// when nothing but another operator (or the start of the text) stands before it, as in "2 * -3"
// or "x < -1", or when it is the exponent sign of a number, as in "1e-5".
bool isSignAt(const QChar* t, int lo, int i)
{
    int j = i - 1;
    while (j >= lo && isBlank(t[j]))
        --j;
    if (j < lo)
        return true;
    const QChar p = t[j];
    if (QStringView(u"+-*/<>=(,").contains(p) || p == BRArgumentSeparator)
        return true;
    if (isAsciiLetter(p) && wordOperatorBefore(t, lo, j + 1))
        return true;
    if ((p == u'e' || p == u'E') && j == i - 1) {
        int k = j;
        while (k > lo && (isAsciiDigit(t[k - 1]) || t[k - 1] == u'.'))
            --k;
        if (k < j && isAsciiDigit(t[k]) && (k == lo || !(isAsciiLetter(t[k - 1]) || t[k - 1] == u'_')))
            return true;
    }
    return false;
}

// A word operator ("or", "and") standing between blanks, found at the blank before it; the text
// ends at `end`.
bool wordOperatorAt(const QChar* t, int i, int end, QStringView word)
{
    const int after = i + 1 + int(word.size());
    return isBlank(t[i]) && after < end && isBlank(t[after])
        && QStringView(t + i + 1, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

struct Split {
    std::optional<EvOperator> op; // none when no operator was found
    int pos = 0; // where the operator begins
    int width = 0;
};

Split relationalAt(const QChar* t, int i)
{
    const QChar c = t[i];
    const QChar next = t[i + 1];
    if (c == u'<') {
        if (next == u'>')
            return { EvOperator::NotEqual, i, 2 };
        if (next == u'=')
            return { EvOperator::LessEqual, i, 2 };
        return { EvOperator::Less, i, 1 };
    }
    if (c == u'>')
        return next == u'=' ? Split { EvOperator::GreaterEqual, i, 2 } : Split { EvOperator::Greater, i, 1 };
    if (c == u'=')
        return { EvOperator::Equal, i, 1 };
    return {};
}

QChar exchangeChar(QChar c, QChar a, QChar b) { return c == a ? b : (c == b ? a : c); }

} // namespace

// The text being parsed, with what a scan of any part of it needs, worked out in one pass from
// its start: for each position whether that scan stands outside quotes and brackets and how deep
// in parentheses it is, and for each "(" that opens a group, where the group closes.
//
// Every part the parser scans starts where the scan from the text's start stands outside quotes
// and brackets (the text's start, a position after an operator or separator found at the top
// level, the inside of a group), so a scan of the part sees the same quotes and brackets and the
// same parentheses shifted by the depth at its start. A part whose start is not such a place
// (only a descendant's own texts) is scanned character by character.
//
// The parser rewrites operators in place where the right side of a subtraction or division has
// them exchanged (a - b + c is a - (b - c)); positions of brackets, quotes and parentheses never
// change, so the tables stay true.
struct TBREvaluator::ParseText {
    explicit ParseText(QStringView source)
        : text(source.toString())
        , size(int(text.size()))
        , depth(std::size_t(size) + 1)
        , clean(std::size_t(size) + 1)
        , close(std::size_t(size), -1)
    {
        chars = text.data(); // detached: the parser rewrites operators in place
        ScanState s;
        std::vector<int> open;
        for (int i = 0; i < size; ++i) {
            depth[std::size_t(i)] = s.depth;
            clean[std::size_t(i)] = s.clean();
            const bool opens = s.clean() && chars[i] == u'(';
            const bool closes = s.clean() && chars[i] == u')';
            s.feed(chars[i]);
            if (opens) {
                open.push_back(i);
            } else if (closes && !open.empty()) {
                close[std::size_t(open.back())] = i;
                open.pop_back();
            }
        }
        depth[std::size_t(size)] = s.depth;
        clean[std::size_t(size)] = s.clean();
    }

    // The positions of [b, e - 1) where a scan of the part [b, e) from a fresh state stands at
    // its top level after the character there, in order; a parenthesised group is passed in one
    // step. The last position of a part is never an operator or a separator, so it is not walked.
    class Walk {
    public:
        Walk(const ParseText& t, int b, int e)
            : m_t(t)
            , m_pos(b)
            , m_end(e)
            , m_aligned(t.clean[std::size_t(b)] != 0)
            , m_base(t.depth[std::size_t(b)])
        {
        }

        // The next position, or -1.
        int Next()
        {
            while (m_pos < m_end - 1) {
                const int i = m_pos++;
                if (!m_aligned) {
                    m_state.feed(m_t.chars[i]);
                    if (m_state.topLevel())
                        return i;
                    continue;
                }
                const std::size_t at = std::size_t(i);
                if (m_t.chars[i] == u'(' && m_t.clean[at] && m_t.depth[at] == m_base) {
                    // Nothing inside the group is at the top level; the scan is back there
                    // after its ")".
                    const int j = m_t.close[at];
                    if (j < 0 || j >= m_end - 1) {
                        m_pos = m_end;
                        return -1;
                    }
                    m_pos = j + 1;
                    return j;
                }
                if (m_t.clean[at + 1] && m_t.depth[at + 1] == m_base)
                    return i;
            }
            return -1;
        }

    private:
        const ParseText& m_t;
        int m_pos;
        int m_end;
        bool m_aligned;
        int m_base;
        ScanState m_state;
    };

    // Whether a scan of the part that starts at b stands at its top level after position i.
    bool topLevelAfter(int b, int i) const
    {
        if (clean[std::size_t(b)])
            return clean[std::size_t(i) + 1] && depth[std::size_t(i) + 1] == depth[std::size_t(b)];
        ScanState s;
        for (int k = b; k <= i; ++k)
            s.feed(chars[k]);
        return s.topLevel();
    }

    // Exchanges the last character of [b, e) when it is a + or - at the top level that is no sign,
    // as exchanging the operators of the whole part would.
    void exchangeLastSign(int b, int e)
    {
        const int last = e - 1;
        if (last >= b && (chars[last] == u'+' || chars[last] == u'-') && topLevelAfter(b, last)
            && !isSignAt(chars, b, last))
            chars[last] = exchangeChar(chars[last], u'+', u'-');
    }

    // Whether the view lies in this text; its range when it does.
    bool holds(QStringView v, int& b, int& e) const
    {
        const auto first = reinterpret_cast<std::uintptr_t>(v.data());
        const auto start = reinterpret_cast<std::uintptr_t>(chars);
        if (!v.data() || v.size() > size || first < start
            || first - start > std::uintptr_t(size - v.size()) * sizeof(QChar))
            return false;
        b = int((first - start) / sizeof(QChar));
        e = b + int(v.size());
        return true;
    }

    QStringView view(int b, int e) const { return QStringView(chars + b, e - b); }

    QString text;
    QChar* chars;
    int size;
    std::vector<std::int32_t> depth; // before each position, and at the end
    std::vector<std::uint8_t> clean; // before each position, and at the end
    std::vector<std::int32_t> close; // for a "(" that opens a group: its ")", else -1
};

namespace {

// A sign written after an operator and a word operator, as the "-" in "a - b +not -c", is a
// sign for a scan of the text behind the operator, where the word stands first, but not for a
// scan that starts before the operator, where the word is glued to it and no operator. So the
// earlier exchanges rewrote it and the later ones do not: it is rewritten here, where the
// operator is found; `at` is the position after the operator.
void exchangeSignAfterWord(QChar* t, int at, int e)
{
    int k = at;
    while (k < e && isAsciiLetter(t[k]))
        ++k;
    if (!isWordOperator(QStringView(t + at, k - at)))
        return;
    while (k < e && isBlank(t[k]))
        ++k;
    if (k < e && (t[k] == u'+' || t[k] == u'-'))
        t[k] = exchangeChar(t[k], u'+', u'-');
}

// A leading "-": the subtraction from zero whose right side is the rest of the factor.
Q_NEVER_INLINE void appendSubtractionFromZero(TBRFiFo& queue)
{
    queue.Append(std::make_unique<TBREvElementOperator>(EvOperator::Subtract));
    queue.Append(std::make_unique<TBREvElementConstant>(EvResult::fromInteger(0)));
}

// Raised inside the parser when the nesting bound is passed; the outermost parse turns it into
// the error.
struct NestedTooDeeply { };

// One more level of parentheses or function calls for as long as it lives.
class NestingLevel {
public:
    NestingLevel(int& nesting, int& deepest)
        : m_nesting(nesting)
    {
        if (++m_nesting > BRMaxNesting) {
            --m_nesting;
            throw NestedTooDeeply();
        }
        deepest = std::max(deepest, m_nesting);
    }
    ~NestingLevel() { --m_nesting; }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;

private:
    int& m_nesting;
};

} // namespace

// Sets up the text being parsed for the duration of a parse, and puts back what was there.
class TBREvaluator::ParseScope {
public:
    ParseScope(TBREvaluator& ev, QStringView text)
        : m_ev(ev)
        , m_text(text)
        , m_previous(ev.m_text)
    {
        ev.m_text = &m_text;
    }
    ~ParseScope() { m_ev.m_text = m_previous; }
    ParseScope(const ParseScope&) = delete;
    ParseScope& operator=(const ParseScope&) = delete;
    int Size() const { return m_text.size; }

private:
    TBREvaluator& m_ev;
    ParseText m_text;
    ParseText* m_previous;
};

int FindArgumentSeparator(const QString& text)
{
    ScanState s;
    const int n = int(text.size());
    for (int i = 0; i < n - 1; ++i) {
        s.feed(text[i]);
        if (s.topLevel() && text[i] == BRArgumentSeparator)
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
        s.feed(c);
        if (!s.topLevel() || (c != a && c != b))
            continue;
        if ((c == u'+' || c == u'-') && isSignAt(text.constData(), 0, i))
            continue;
        out[i] = c == a ? b : a;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Entry points on views

template <typename Parse> void TBREvaluator::parseView(QStringView text, Parse parse)
{
    int b = 0, e = 0;
    if (m_text && m_text->holds(text, b, e))
        parse(b, e);
    else
        parseOwnText(text, parse);
}

void TBREvaluator::parseOwnText(QStringView text, const std::function<void(int, int)>& parse)
{
    const bool outermost = !m_text;
    try {
        ParseScope scope(*this, text);
        parse(0, scope.Size());
    } catch (const NestedTooDeeply&) {
        if (!outermost)
            throw;
        // Nothing of a text nested so deeply is kept: the whole expression is the one error.
        m_queue = std::make_unique<TBRFiFo>();
        appendError(QString::fromUtf8(SBRNestedTooDeeply));
    }
}

void TBREvaluator::ParseExpression(QStringView text)
{
    parseView(text, [this](int b, int e) { parseExpressionAt(b, e); });
}

void TBREvaluator::ParseSimpleExpression(QStringView text)
{
    parseView(text, [this](int b, int e) { parseSimpleExpressionAt(b, e, false); });
}

void TBREvaluator::ParseTerm(QStringView text)
{
    parseView(text, [this](int b, int e) { parseTermAt(b, e); });
}

void TBREvaluator::ParseFactor(QStringView text)
{
    parseView(text, [this](int b, int e) { parseFactorAt(b, e); });
}

void TBREvaluator::ParseFunctionCall(QStringView text)
{
    parseView(text, [this](int b, int e) { parseFunctionCallAt(b, e); });
}

void TBREvaluator::ParseString(QStringView text)
{
    Append(std::make_unique<TBREvElementString>(text.toString()));
}

// ---------------------------------------------------------------------------------------------
// The levels

void TBREvaluator::parseExpressionAt(int b, int e)
{
    const ParseText& t = *m_text;
    ParseText::Walk walk(t, b, e);
    for (int i = walk.Next(); i >= 0; i = walk.Next()) {
        if (i < b + 1)
            continue;
        const Split sp = relationalAt(t.chars, i);
        if (!sp.op)
            continue;
        // A comparison never nests: both sides go to the additive level.
        Append(std::make_unique<TBREvElementOperator>(*sp.op));
        parseSimpleExpressionAt(b, sp.pos, false);
        parseSimpleExpressionAt(sp.pos + sp.width, e, false);
        return;
    }
    parseSimpleExpressionAt(b, e, false);
}

// The operands are parsed in turn: each operator found is appended, then the operand before it.
// The right side of a subtraction is one operand with + and - exchanged at its top level, which
// keeps a - b + c equal to a - (b - c), that is, left to right; `exchanged` says whether the
// text at hand has been exchanged an odd number of times, so nothing is rewritten but the last
// character, the only top-level + or - that is not an operator or a sign.
void TBREvaluator::parseSimpleExpressionAt(int b, int e, bool exchanged)
{
    ParseText& t = *m_text;
    ParseText::Walk walk(t, b, e);
    int s = b; // where the operand at hand starts
    for (int i = walk.Next(); i >= 0; i = walk.Next()) {
        if (i < s + 1)
            continue;
        const QChar c = t.chars[i];
        Split sp;
        if ((c == u'+' || c == u'-') && !isSignAt(t.chars, s, i))
            sp = { (c == u'+') != exchanged ? EvOperator::Add : EvOperator::Subtract, i, 1 };
        else if (wordOperatorAt(t.chars, i, e, u"or"))
            sp = { EvOperator::Or, i + 1, 2 };
        if (!sp.op)
            continue;
        Append(std::make_unique<TBREvElementOperator>(*sp.op));
        parseTermAt(s, sp.pos);
        if (exchanged && sp.op != EvOperator::Or)
            exchangeSignAfterWord(t.chars, sp.pos + 1, e);
        if (sp.op == EvOperator::Subtract)
            exchanged = !exchanged;
        s = sp.pos + sp.width;
    }
    if (exchanged)
        t.exchangeLastSign(s, e);
    parseTermAt(s, e);
}

// As the additive level, with * and / exchanged on the right side of a division. There the first
// character of each operand and the last character of the text can be a top-level * or / that is
// not an operator; they are rewritten as the exchange would have left them.
void TBREvaluator::parseTermAt(int b, int e)
{
    ParseText& t = *m_text;
    ParseText::Walk walk(t, b, e);
    bool exchanged = false;
    int s = b;
    const auto exchange = [&t](int at) {
        if (t.chars[at] == u'*' || t.chars[at] == u'/')
            t.chars[at] = exchangeChar(t.chars[at], u'*', u'/');
    };
    for (int i = walk.Next(); i >= 0; i = walk.Next()) {
        if (i < s + 1)
            continue;
        const QChar c = t.chars[i];
        Split sp;
        if (c == u'*' || c == u'/')
            sp = { (c == u'*') != exchanged ? EvOperator::Multiply : EvOperator::Divide, i, 1 };
        else if (wordOperatorAt(t.chars, i, e, u"and"))
            sp = { EvOperator::And, i + 1, 3 };
        if (!sp.op)
            continue;
        Append(std::make_unique<TBREvElementOperator>(*sp.op));
        parseFactorAt(s, sp.pos);
        if (sp.op == EvOperator::Divide)
            exchanged = !exchanged;
        s = sp.pos + sp.width;
        // The operand's first character is never tested as an operator; the walk reads only the
        // scan tables, so rewriting it does not disturb the walk.
        if (exchanged && s < e)
            exchange(s);
    }
    if (exchanged && e - 1 > s && t.topLevelAfter(s, e - 1))
        exchange(e - 1);
    parseFactorAt(s, e);
}

// Signs and "not" in front of a factor are taken in a loop. A leading "-" is a subtraction from
// zero whose right side is the rest of the factor, exchanged as any right side of a subtraction.
// What follows a sign or "not" holds no top-level operator (the levels above would have split
// there), so the additive and multiplicative levels have nothing to do with it.
void TBREvaluator::parseFactorAt(int b, int e)
{
    // Everything that builds a text is done in calls of its own: this frame is on the stack once
    // per level of nesting.
    ParseText& t = *m_text;
    for (;;) {
        while (b < e && isBlank(t.chars[b]))
            ++b;
        while (e > b && isBlank(t.chars[e - 1]))
            --e;
        if (b == e) {
            appendError(SBRMissing, SBROperand);
            return;
        }
        const QChar first = t.chars[b];
        const QChar last = t.chars[e - 1];
        const bool enclosed = e - b >= 2;
        if (e - b >= 3 && t.view(b, b + 3).compare(u"not", Qt::CaseInsensitive) == 0) {
            Append(std::make_unique<TBREvElementNot>());
            b += 3;
        } else if (first == u'\'') {
            if (enclosed && last == u'\'')
                ParseString(t.view(b + 1, e - 1));
            else
                appendError(SBRMissing, u"'");
            return;
        } else if (first == u'(') {
            if (enclosed && last == u')') {
                NestingLevel level(m_nesting, m_deepest);
                parseExpressionAt(b + 1, e - 1);
            } else {
                appendError(SBRMissing, u")");
            }
            return;
        } else if (first == u'+') {
            ++b;
        } else if (first == u'-') {
            if (e - b == 1) {
                // "0-" with nothing to subtract: the number parser's error for that text.
                appendError(SBRIllegalNumericChar, u"0-");
                return;
            }
            appendSubtractionFromZero(*m_queue);
            ++b;
            t.exchangeLastSign(b, e);
        } else if (isAsciiDigit(first)) {
            ParseNumber(t.view(b, e));
            return;
        } else if (isAsciiLetter(first)) {
            parseFunctionCallAt(b, e);
            return;
        } else if (first == u'[') {
            if (enclosed && last == u']')
                lookupFieldAt(b + 1, e - 1);
            else
                appendError(SBRMissing, u"]");
            return;
        } else {
            appendError(SBRErrorInExpression, t.view(b, e));
            return;
        }
    }
}

void TBREvaluator::lookupFieldAt(int b, int e) { LookupField(m_text->view(b, e).toString()); }

void TBREvaluator::ParseNumber(QStringView text)
{
    const int n = int(text.size());
    int i = 0;
    while (i < n && isAsciiDigit(text[i]))
        ++i;
    bool isFloat = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isAsciiDigit(c))
            continue;
        if (QStringView(u"+-.Ee").contains(c)) {
            isFloat = true;
            continue;
        }
        appendError(SBRIllegalNumericChar, text);
        return;
    }
    bool ok = false;
    if (!isFloat) {
        const int v = text.toInt(&ok);
        if (ok) {
            Append(std::make_unique<TBREvElementConstant>(EvResult::fromInteger(v)));
            return;
        }
    }
    // Beyond 32 bits, or written with a point or exponent. QStringView::toDouble reads "."
    // whatever the process locale is.
    const double d = text.toDouble(&ok);
    if (!ok) {
        appendError(SBRIllegalNumericChar, text);
        return;
    }
    Append(std::make_unique<TBREvElementConstant>(EvResult::fromFloat(d)));
}

void TBREvaluator::parseFunctionCallAt(int b, int e)
{
    // The name is the text before the first "(" as written, so "SUM (x)" names no function.
    // Without its closing ")" the call has no name at all and ends as an unknown name.
    const ParseText& t = *m_text;
    const QStringView text = t.view(b, e);
    const int open = int(text.indexOf(u'('));
    if (open < 0)
        LookupFunction(text.toString(), QStringView());
    else if (text.endsWith(u')'))
        LookupFunction(text.left(open).toString(), t.view(b + open + 1, e - 1));
    else
        LookupFunction(QString(), QStringView());
}

void TBREvaluator::LookupFunction(const QString& name, QStringView arguments)
{
    const QString upper = name.toUpper();
    const TBRLibraryEntry* entry = TBRFunctionLibrary().find(upper);
    if (entry) {
        Append(entry->ItemClass());
        if (!arguments.isEmpty()) {
            NestingLevel level(m_nesting, m_deepest);
            parseView(arguments, [this](int b, int e) { parseArgumentsAt(b, e); });
        }
        Append(std::make_unique<TBREvElementArgumentEnd>());
    } else if (arguments.isEmpty()) {
        LookupField(name);
    } else {
        appendError(SBRUnknownFunction, upper);
    }
}

// Each argument up to a top-level separator, then the rest if any; a separator in the last
// position is not one, so it stays part of the last argument.
void TBREvaluator::parseArgumentsAt(int b, int e)
{
    const ParseText& t = *m_text;
    ParseText::Walk walk(t, b, e);
    int s = b;
    for (int i = walk.Next(); i >= 0; i = walk.Next()) {
        if (t.chars[i] != BRArgumentSeparator)
            continue;
        parseExpressionAt(s, i);
        s = i + 1;
    }
    if (s < e)
        parseExpressionAt(s, e);
}

void TBREvaluator::LookupField(const QString& name)
{
    if (!m_dataSets.isEmpty()) {
        if (auto field = brFindDataField(m_dataSets, name)) {
            Append(std::move(field));
            return;
        }
    }
    std::shared_ptr<TBREvEmbeddedFunction> variable;
    if (m_environment)
        variable = m_environment->findFunction(name);
    if (!variable)
        variable = brGlobalEnvironment().findFunction(name);
    if (variable)
        Append(std::make_unique<TBREvElementWrapper>(variable, name, m_nesting));
    else
        appendError(SBRUnknownFunction, name);
}
