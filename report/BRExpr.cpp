// Values, the element queue, operators and the evaluator's public operations.

#include "report/BRExpr.h"

#include "platform/Clock.h"
#include "report/BRConst.h"

#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

// ---------------------------------------------------------------------------------------------
// Values

EvResult EvResult::fromInteger(std::int32_t v)
{
    EvResult r;
    r.Kind = EvResultKind::Integer;
    r.IntResult = v;
    return r;
}

EvResult EvResult::fromFloat(double v)
{
    EvResult r;
    r.Kind = EvResultKind::Float;
    r.FloatResult = v;
    return r;
}

EvResult EvResult::fromString(const QString& v)
{
    EvResult r;
    r.Kind = EvResultKind::String;
    r.StrResult = brCutText(v);
    return r;
}

EvResult EvResult::fromBoolean(bool v)
{
    EvResult r;
    r.Kind = EvResultKind::Boolean;
    r.BoolResult = v;
    return r;
}

EvResult EvResult::fromError(const QString& message)
{
    EvResult r;
    r.Kind = EvResultKind::Error;
    r.StrResult = brCutText(message);
    return r;
}

namespace {
bool pairAt(QStringView s, qsizetype at)
{
    return at + 1 < s.size() && s[at].isHighSurrogate() && s[at + 1].isLowSurrogate();
}
} // namespace

qsizetype brCharacterCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype at = 0; at < text.size(); at += pairAt(text, at) ? 2 : 1)
        ++count;
    return count;
}

qsizetype brCharacterOffset(QStringView text, qsizetype from, qint64 characters)
{
    qsizetype at = from;
    for (; characters > 0 && at < text.size(); --characters)
        at += pairAt(text, at) ? 2 : 1;
    return at;
}

QString brCutText(const QString& text, int max)
{
    // No more UTF-16 units than the limit: no more characters either.
    if (text.size() <= max)
        return text;
    const qsizetype at = brCharacterOffset(text, 0, max);
    return at == text.size() ? text : text.left(at);
}

QString brErrorText(const char* text, const QString& a, const QString& b)
{
    QString first = a, second = b;
    QString message = brFormat(text, first, second);
    // At most two rounds: the longer value gives up what it can, then the other the rest.
    for (int round = 0; round < 2; ++round) {
        const qsizetype excess = brCharacterCount(message) - BRMaxTextLength;
        if (excess <= 0)
            break;
        QString& longer = brCharacterCount(first) >= brCharacterCount(second) ? first : second;
        longer = brCutText(longer, int(std::max<qsizetype>(0, brCharacterCount(longer) - excess)));
        message = brFormat(text, first, second);
    }
    return message;
}

int brCompareText(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t x = a[i].unicode();
        char16_t y = b[i].unicode();
        if (x == y)
            continue;
        // Surrogates (D800-DFFF) stand for code points beyond FFFF, so they order after the
        // units E000-FFFF; below D800 unit order is code point order already.
        if (x >= 0xD800 && y >= 0xD800) {
            const auto shifted = [](char16_t u) { return char16_t(u >= 0xE000 ? u - 0x800 : u + 0x2000); };
            x = shifted(x);
            y = shifted(y);
        }
        return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QString EvResultToString(const EvResult& r)
{
    switch (r.Kind) {
    case EvResultKind::Integer:
        return QString::number(r.IntResult);
    case EvResultKind::Float:
        return brFloatToText(r.FloatResult);
    case EvResultKind::String:
        return r.StrResult;
    case EvResultKind::Boolean:
        return QString::fromUtf8(r.BoolResult ? SBRTrue : SBRFalse);
    case EvResultKind::Error:
        break;
    }
    throw EBRExprError(brFormat(SBRErrorInExpression, r.StrResult));
}

namespace {
platform::Clock* g_clock = nullptr;
}

void brExprSetClock(platform::Clock* clock) { g_clock = clock; }

platform::Clock& brExprClock() { return g_clock ? *g_clock : platform::defaultClock(); }

// ---------------------------------------------------------------------------------------------
// Elements

namespace {

EvResult missingOperand() { return EvResult::fromError(brFormat(SBRMissing, QString::fromUtf8(SBROperand))); }

} // namespace

EvResult TBREvElement::Value(TBRFiFo&) { return EvResult(); }

EvResult evaluateNext(TBRFiFo& fifo)
{
    TBREvElement* e = fifo.Next();
    return e ? e->Value(fifo) : missingOperand();
}

EvResult TBREvElementArgumentEnd::Value(TBRFiFo&)
{
    // Only argument gathering consumes an argument end; met anywhere else, an operand is missing.
    return missingOperand();
}

namespace {

// A run of negations "not not ... x": a boolean is negated once for an odd count; any other value
// makes the innermost negation an error, and every one around it too.
EvResult negated(const EvResult& r, bool odd)
{
    if (r.Kind != EvResultKind::Boolean)
        return EvResult::fromError(QString::fromUtf8(SBRInvalidNot));
    return EvResult::fromBoolean(r.BoolResult != odd);
}

// Takes the negations that follow one already taken; true when their count, with it, is odd.
bool takeNegations(TBRFiFo& fifo)
{
    bool odd = true;
    for (TBREvElement* next = fifo.peek(); next && next->elementRole() == TBREvElement::Role::Not;
         next = fifo.peek()) {
        fifo.Next();
        odd = !odd;
    }
    return odd;
}

// Counts the operators and negations being evaluated by calling down; see TBRFiFo::Descent.
struct Descent {
    explicit Descent(TBRFiFo& fifo)
        : m_fifo(fifo)
    {
        ++m_fifo.descent;
    }
    ~Descent() { --m_fifo.descent; }
    Descent(const Descent&) = delete;
    Descent& operator=(const Descent&) = delete;

private:
    TBRFiFo& m_fifo;
};

} // namespace

// An operator or a negation takes its operands by calling down while the queue's descent allows,
// which costs the least; deeper, the rest of the tree is taken by evaluateFrom's loop.
EvResult TBREvElementNot::Value(TBRFiFo& fifo)
{
    if (fifo.descent >= TBRFiFo::MaxDescent)
        return evaluateFrom(this, fifo);
    const Descent descent(fifo);
    const bool odd = takeNegations(fifo);
    return negated(evaluateNext(fifo), odd);
}

EvResult TBREvElementOperator::Value(TBRFiFo& fifo)
{
    if (fifo.descent >= TBRFiFo::MaxDescent)
        return evaluateFrom(this, fifo);
    const Descent descent(fifo);
    EvResult left = evaluateNext(fifo);
    return brApplyOperator(Operator, std::move(left), evaluateNext(fifo));
}

namespace {

// An operator or a run of negations whose operands are being evaluated.
struct Pending {
    enum class Step : std::uint8_t { Left, Right, Not };
    Step step;
    EvOperator op;
    bool odd; // Not: an odd count of negations
    EvResult left;
};

} // namespace

namespace {

using PendingStack = QVarLengthArray<Pending, 8>;

// The next element when it is an operand on its own (a value, a variable or a function call), taken
// from the queue; nullptr, leaving it there, when an operator or a negation begins the operand.
TBREvElement* takeOwnOperand(TBRFiFo& fifo)
{
    TBREvElement* next = fifo.peek();
    if (!next || next->elementRole() != TBREvElement::Role::Plain)
        return nullptr;
    return fifo.Next();
}

// Evaluates operators and negations from `element` on until one value is known: the first operand
// on its own, or an operator applied to two such. The operators and negations still waiting for
// it are left on `pending`.
EvResult firstValueFrom(TBREvElement* element, TBRFiFo& fifo, PendingStack& pending)
{
    for (; element; element = fifo.Next()) {
        const TBREvElement::Role role = element->elementRole();
        if (role == TBREvElement::Role::Operator) {
            const EvOperator op = static_cast<TBREvElementOperator*>(element)->Operator;
            // The commonest case, an operator between two operands on their own, needs no stack.
            TBREvElement* leftOperand = takeOwnOperand(fifo);
            if (!leftOperand) {
                pending.append({ Pending::Step::Left, op, false, {} });
                continue;
            }
            EvResult left = leftOperand->Value(fifo);
            if (TBREvElement* rightOperand = takeOwnOperand(fifo))
                return brApplyOperator(op, std::move(left), rightOperand->Value(fifo));
            pending.append({ Pending::Step::Right, op, false, std::move(left) });
        } else if (role == TBREvElement::Role::Not) {
            pending.append({ Pending::Step::Not, {}, takeNegations(fifo), {} });
        } else {
            break;
        }
    }
    return element ? element->Value(fifo) : missingOperand();
}

} // namespace

// Operators and negations nest without bound in a text (a - b - c ..., - not - not ... x): beyond
// the descent that calls down, they are taken in a loop with a stack of their own, so that no
// nesting of them costs the machine's stack. The operands are evaluated in queue order, as the
// prefix order lays them out, and each operator applied as soon as its right operand is known.
// Only functions and variables evaluate their parts by calling back, and their nesting is bounded.
EvResult evaluateFrom(TBREvElement* element, TBRFiFo& fifo)
{
    PendingStack pending;
    for (;;) {
        EvResult r = firstValueFrom(element, fifo, pending);
        for (;;) {
            if (pending.isEmpty())
                return r;
            Pending& p = pending.back();
            if (p.step == Pending::Step::Left) {
                p.left = std::move(r);
                p.step = Pending::Step::Right;
                break;
            }
            r = p.step == Pending::Step::Right ? brApplyOperator(p.op, std::move(p.left), std::move(r))
                                               : negated(r, p.odd);
            pending.removeLast();
        }
        element = fifo.Next();
    }
}

namespace {

// By operator, in the order of EvOperator.
const char* const OperatorTexts[] = { "<", "<=", ">", ">=", "=", "<>", "+", "-", "OR", "*", "/", "AND" };
const char* const OperatorVerbs[] = { nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, SBRAdd,
    SBRSubtract, nullptr, SBRMultiply, SBRDivide, nullptr };
static_assert(std::size(OperatorTexts) == std::size_t(EvOperator::And) + 1);
static_assert(std::size(OperatorVerbs) == std::size(OperatorTexts));

EvResult incompatible(EvOperator op, const char* kindWord)
{
    return EvResult::fromError(brFormat(SBRIncompatibleOperator,
        QString::fromUtf8(OperatorTexts[std::size_t(op)]), QString::fromUtf8(kindWord)));
}

EvResult cannot(EvOperator op, const char* kindWord)
{
    return EvResult::fromError(brFormat(
        SBRCannotOperate, QString::fromUtf8(OperatorVerbs[std::size_t(op)]), QString::fromUtf8(kindWord)));
}

template <typename T> EvResult compare(EvOperator op, const T& l, const T& r)
{
    switch (op) {
    case EvOperator::Less:
        return EvResult::fromBoolean(l < r);
    case EvOperator::LessEqual:
        return EvResult::fromBoolean(l <= r);
    case EvOperator::Greater:
        return EvResult::fromBoolean(l > r);
    case EvOperator::GreaterEqual:
        return EvResult::fromBoolean(l >= r);
    case EvOperator::Equal:
        return EvResult::fromBoolean(l == r);
    default:
        return EvResult::fromBoolean(l != r);
    }
}

// Whole-number results that leave the 32-bit range become floats instead of wrapping.
EvResult integerOrFloat(std::int64_t v)
{
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return EvResult::fromFloat(double(v));
    return EvResult::fromInteger(std::int32_t(v));
}

EvResult applyInteger(EvOperator op, std::int32_t l, std::int32_t r)
{
    const std::int64_t a = l, b = r;
    switch (op) {
    case EvOperator::Add:
        return integerOrFloat(a + b);
    case EvOperator::Subtract:
        return integerOrFloat(a - b);
    case EvOperator::Multiply:
        return integerOrFloat(a * b);
    case EvOperator::Divide:
        if (r == 0)
            return EvResult::fromError(QString::fromUtf8(SBRCannotDivideByZero));
        return EvResult::fromFloat(double(l) / double(r));
    case EvOperator::Or:
        return EvResult::fromInteger(l | r);
    case EvOperator::And:
        return EvResult::fromInteger(l & r);
    default:
        return compare(op, l, r);
    }
}

EvResult applyFloat(EvOperator op, double l, double r)
{
    switch (op) {
    case EvOperator::Add:
        return EvResult::fromFloat(l + r);
    case EvOperator::Subtract:
        return EvResult::fromFloat(l - r);
    case EvOperator::Multiply:
        return EvResult::fromFloat(l * r);
    case EvOperator::Divide:
        if (r == 0.0)
            return EvResult::fromError(QString::fromUtf8(SBRCannotDivideByZero));
        return EvResult::fromFloat(l / r);
    case EvOperator::Or:
    case EvOperator::And:
        return incompatible(op, SBRNumeric);
    default:
        return compare(op, l, r);
    }
}

EvResult applyString(EvOperator op, const QString& l, const QString& r)
{
    switch (op) {
    case EvOperator::Add:
        return EvResult::fromString(l + r);
    case EvOperator::Subtract:
    case EvOperator::Multiply:
    case EvOperator::Divide:
        return cannot(op, SBRString);
    case EvOperator::Or:
    case EvOperator::And:
        return incompatible(op, SBRString);
    default:
        // By code point, case-sensitive.
        return compare(op, brCompareText(l, r), 0);
    }
}

EvResult applyBoolean(EvOperator op, bool l, bool r)
{
    switch (op) {
    case EvOperator::Equal:
        return EvResult::fromBoolean(l == r);
    case EvOperator::NotEqual:
        return EvResult::fromBoolean(l != r);
    case EvOperator::Or:
        return EvResult::fromBoolean(l || r);
    case EvOperator::And:
        return EvResult::fromBoolean(l && r);
    case EvOperator::Add:
    case EvOperator::Subtract:
    case EvOperator::Multiply:
    case EvOperator::Divide:
        return cannot(op, SBRBoolean);
    default:
        return incompatible(op, SBRBoolean);
    }
}

} // namespace

EvResult brApplyOperator(EvOperator op, EvResult&& left, EvResult&& right)
{
    if (left.isError())
        return std::move(left);
    if (right.isError())
        return std::move(right);
    if (left.Kind != right.Kind) {
        if (left.isNumeric() && right.isNumeric()) {
            left = EvResult::fromFloat(left.asDouble());
            right = EvResult::fromFloat(right.asDouble());
        } else {
            left = EvResult::fromString(EvResultToString(left));
            right = EvResult::fromString(EvResultToString(right));
        }
    }
    switch (left.Kind) {
    case EvResultKind::Integer:
        return applyInteger(op, left.IntResult, right.IntResult);
    case EvResultKind::Float:
        return applyFloat(op, left.FloatResult, right.FloatResult);
    case EvResultKind::String:
        return applyString(op, left.StrResult, right.StrResult);
    case EvResultKind::Boolean:
        return applyBoolean(op, left.BoolResult, right.BoolResult);
    case EvResultKind::Error:
        break;
    }
    return std::move(left);
}

bool TBREvElementFunction::gatherArguments(TBRFiFo& fifo)
{
    m_arguments.clear();
    for (;;) {
        TBREvElement* e = fifo.Next();
        if (!e)
            return false;
        if (e->elementRole() == TBREvElement::Role::ArgumentEnd)
            return true;
        m_arguments.push_back(e->Value(fifo));
    }
}

EvResult TBREvElementFunction::Value(TBRFiFo& fifo)
{
    if (!gatherArguments(fifo)) {
        m_arguments.clear();
        return queueRanShort();
    }
    if (fifo.AggregateFlag)
        Aggregate();
    EvResult r = Calculate();
    m_arguments.clear();
    return r;
}

EvResult TBREvElementFunction::queueRanShort() { return missingOperand(); }

EvResult TBREvElementFunction::Calculate() { return EvResult(); }

void TBRFiFo::Append(std::unique_ptr<TBREvElement> element) { m_items.push_back(std::move(element)); }

// ---------------------------------------------------------------------------------------------
// Evaluator

QChar BRArgumentSeparator = u',';

TBREvaluator::TBREvaluator() = default;

TBREvaluator::~TBREvaluator()
{
    if (m_prepared)
        Unprepare();
}

void TBREvaluator::Prepare(const QString& text)
{
    if (m_prepared)
        Unprepare();
    if (m_ofVariable)
        brVariablesChanged();
    // The global variables are parsed once, by the first evaluator prepared, and stay prepared.
    TBREvEnvironment& global = brGlobalEnvironment();
    if (!global.Prepared())
        global.Prepare();
    m_queue = std::make_unique<TBRFiFo>();
    m_deepest = 0;
    ParseExpression(text.isEmpty() ? QStringLiteral("' '") : text);
    m_prepared = true;
}

void TBREvaluator::Unprepare()
{
    if (m_ofVariable && m_queue)
        brVariablesChanged();
    m_queue.reset();
    m_prepared = false;
}

void TBREvaluator::Reset()
{
    if (!m_queue)
        return;
    for (int i = 0; i < m_queue->count(); ++i)
        m_queue->item(i)->Reset();
}

EvResult TBREvaluator::Evaluate(int descent, std::uint64_t evaluation)
{
    if (!m_prepared)
        throw EBRExprError(QString::fromUtf8(SBREvaluatorNotPrepared));
    m_queue->Rewind();
    m_queue->descent = descent;
    m_queue->evaluation = evaluation;
    TBREvElement* first = m_queue->Next();
    if (!first)
        return EvResult();
    return first->Value(*m_queue);
}

EvResult TBREvaluator::Value() { return Evaluate(0, 0); }

void TBREvaluator::Accumulate()
{
    if (!m_prepared)
        throw EBRExprError(QString::fromUtf8(SBREvaluatorNotPrepared));
    struct FlagGuard {
        TBRFiFo& q;
        ~FlagGuard() { q.AggregateFlag = false; }
    } guard { *m_queue };
    m_queue->AggregateFlag = true;
    Evaluate(0, 0);
}

bool TBREvaluator::HasAggregate() const
{
    if (!m_queue)
        return false;
    for (int i = 0; i < m_queue->count(); ++i)
        if (m_queue->item(i)->IsAggregate)
            return true;
    return false;
}

TBREvElement* TBREvaluator::firstElement() const
{
    return m_queue && m_queue->count() > 0 ? m_queue->item(0) : nullptr;
}

void TBREvaluator::Append(std::unique_ptr<TBREvElement> element) { m_queue->Append(std::move(element)); }

void TBREvaluator::appendError(const QString& message)
{
    Append(std::make_unique<TBREvElementError>(message));
}

void TBREvaluator::appendError(const char* text, QStringView argument)
{
    appendError(brErrorText(text, argument.toString()));
}

void TBREvaluator::appendError(const char* text, const char* argument)
{
    appendError(brErrorText(text, QString::fromUtf8(argument)));
}
