#pragma once

// The report engine's expression language: values, the element queue, the evaluator with its
// parser, the function library and the environments of named expressions (variables).
//
// A text such as "SUM([Qty]) * 2" or "'Page ' + STR(PAGENUMBER)" is parsed once into a queue of
// elements in prefix order and then evaluated again and again as the report moves through its
// data. Errors in the text or in evaluation never raise: they travel as results of kind Error
// carrying their message, and the first error met wins. Only the misuse of an evaluator that is
// not prepared, and converting an error result to text, raise EBRExprError.
//
// Texts are Unicode: lengths, substrings and the 255-character limit count characters, and a
// character made of a UTF-16 surrogate pair is never split.

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QDataStream;
class QDateTime;
class QVariant;

namespace platform {
class Clock;
class DataSet;
class Field;
} // namespace platform

// ---------------------------------------------------------------------------------------------
// Values

enum class EvResultKind : std::uint8_t { Integer = 0, Float = 1, String = 2, Boolean = 3, Error = 4 };

// Longest text a string result or an error message holds; longer texts are cut.
inline constexpr int BRMaxTextLength = 255;

// The value of an expression or of one element. Only the field that belongs to Kind is meaningful.
struct EvResult {
    EvResultKind Kind = EvResultKind::Error;
    std::int32_t IntResult = 0;
    double FloatResult = 0.0;
    QString StrResult; // the string value, or the message of an error
    bool BoolResult = false;

    static EvResult fromInteger(std::int32_t v);
    static EvResult fromFloat(double v);
    static EvResult fromString(const QString& v); // cut to BRMaxTextLength
    static EvResult fromBoolean(bool v);
    static EvResult fromError(const QString& message); // cut to BRMaxTextLength

    bool isError() const { return Kind == EvResultKind::Error; }
    bool isNumeric() const { return Kind == EvResultKind::Integer || Kind == EvResultKind::Float; }
    // The numeric value as a float (integer or float kinds).
    double asDouble() const { return Kind == EvResultKind::Integer ? IntResult : FloatResult; }
    QString errorMessage() const { return Kind == EvResultKind::Error ? StrResult : QString(); }
};

// One evaluated argument of a function element.
using TBREvResultClass = EvResult;

// Raised for the few misuses that are not errors of an expression.
class EBRExprError : public std::runtime_error {
public:
    explicit EBRExprError(const QString& message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// The text of a value: integer in decimal, float as the general float text, the string itself,
// "True"/"False". An error raises EBRExprError("Error in expression : <message>").
QString EvResultToString(const EvResult& r);

// The text cut to at most `max` characters, never inside a surrogate pair.
QString brCutText(const QString& text, int max = BRMaxTextLength);
// A message `text` with its "%s" filled by a and b, no longer than BRMaxTextLength: the values
// give up what is too much, so the message's own words (a closing quote) stay whole.
QString brErrorText(const char* text, const QString& a, const QString& b = QString());
// How two texts order by code point (negative, 0, positive), as the characters' numbers do;
// a character beyond the basic plane comes after every character within it.
int brCompareText(QStringView a, QStringView b);
// Characters of a text, a surrogate pair being one character (a lone half is one too).
qsizetype brCharacterCount(QStringView text);
// The UTF-16 offset that lies `characters` characters after offset `from`, at most the text's end.
qsizetype brCharacterOffset(QStringView text, qsizetype from, qint64 characters);

// The general float text: up to 15 significant digits, no trailing zeros, "." as the decimal
// point; scientific ("1.5E-7", "1E20") when the number needs more than 15 integer digits or is
// smaller than 0.00001. Independent of the process locale.
QString brFloatToText(double v);

// Formats a number with a format mask: up to three sections "positive;negative;zero", digit
// placeholders "0" (always shown) and "#" (shown when significant), "." decimal point, ","
// thousands grouping, "E+"/"E-"/"e+"/"e-" exponent, 'text' and "text" literals. Returns false
// when the mask is unusable (unterminated literal) or the number is not finite.
bool brFormatFloat(const QString& mask, double value, QString& out);

// Date and time texts of the TIME and DATE functions and the program's start variables.
inline constexpr const char* BRShortDateFormat = "yyyy/MM/dd";
inline constexpr const char* BRLongTimeFormat = "H:mm:ss";

// The clock that TIME, DATE and the start variables read (the system clock unless set).
void brExprSetClock(platform::Clock* clock);
platform::Clock& brExprClock();

// ---------------------------------------------------------------------------------------------
// Elements and the queue

class TBRFiFo;
class TBREvaluator;
class TBREvEnvironment;
class TBREvEmbeddedFunction;

using TBRDataSetList = QList<platform::DataSet*>;

// Base of every queue element.
class TBREvElement {
public:
    // What the evaluation walk needs to know of an element without asking for its class.
    enum class Role : std::uint8_t { Plain, Operator, Not, ArgumentEnd };

    TBREvElement() = default;
    virtual ~TBREvElement() = default;
    // Evaluates this element, taking the elements of its operands from the queue.
    virtual EvResult Value(TBRFiFo& fifo);
    // Starts aggregates again from nothing.
    virtual void Reset() { }
    Role elementRole() const { return m_role; }
    bool IsAggregate = false;

protected:
    explicit TBREvElement(Role role)
        : m_role(role)
    {
    }

private:
    Role m_role = Role::Plain;
};

// Evaluates the next element of the queue; an error result when the queue has run short.
EvResult evaluateNext(TBRFiFo& fifo);
// Evaluates the operand that begins with `element`, already taken from the queue (nullptr: the
// queue has run short), taking its operators and negations in a loop rather than by calling down.
EvResult evaluateFrom(TBREvElement* element, TBRFiFo& fifo);

// The two-operand operators, as the parser finds them and the evaluator applies them.
enum class EvOperator : std::uint8_t {
    Less, // <
    LessEqual, // <=
    Greater, // >
    GreaterEqual, // >=
    Equal, // =
    NotEqual, // <>
    Add, // +
    Subtract, // -
    Or, // OR
    Multiply, // *
    Divide, // /
    And // AND
};

// A two-operand operator.
class TBREvElementOperator : public TBREvElement {
public:
    explicit TBREvElementOperator(EvOperator op)
        : TBREvElement(Role::Operator)
        , Operator(op)
    {
    }
    EvResult Value(TBRFiFo& fifo) override;
    EvOperator Operator;
};

// Applies an operator to two values (kinds unified, the first error passing through).
// The operands are taken (a value passing through is moved, not copied).
EvResult brApplyOperator(EvOperator op, EvResult&& left, EvResult&& right);

// The negation "not <operand>".
class TBREvElementNot : public TBREvElement {
public:
    TBREvElementNot()
        : TBREvElement(Role::Not)
    {
    }
    EvResult Value(TBRFiFo& fifo) override;
};

// A numeric literal (integer or float).
class TBREvElementConstant : public TBREvElement {
public:
    explicit TBREvElementConstant(const EvResult& r)
        : Result(r)
    {
    }
    EvResult Value(TBRFiFo&) override { return Result; }
    EvResult Result;
};

// A quoted string literal.
class TBREvElementString : public TBREvElement {
public:
    explicit TBREvElementString(const QString& text)
        : Text(brCutText(text))
    {
    }
    EvResult Value(TBRFiFo&) override { return EvResult::fromString(Text); }
    QString Text;
};

// A field of a data set; read afresh at every evaluation. A data set freed since reads as an
// unknown name.
class TBREvElementDataField : public TBREvElement {
public:
    TBREvElementDataField(platform::DataSet* dataSet, int index, const QString& name);
    EvResult Value(TBRFiFo&) override;
    QPointer<platform::DataSet> DataSet;
    int FieldIndex;
    QString FieldName;

private:
    // The kind of the column's values, learnt from the values read, for reading NULL cells.
    EvResultKind columnKind();
    EvResultKind m_columnKind = EvResultKind::Error;
    platform::Field* m_field = nullptr; // the field object last found at FieldIndex
};

// The value of a field's cell: text -> string, whole number -> integer (float beyond 32 bits),
// real -> float, boolean -> boolean, date/time -> string in the program's formats; anything
// else (blobs) -> "Field %s is of unknown type".
EvResult brFieldValueToResult(const QVariant& value, const QString& fieldName);

// The field element for a name ("FIELD" or "DATASET.FIELD", case-insensitive) in the first data
// set that holds it, or nullptr.
std::unique_ptr<TBREvElementDataField> brFindDataField(const TBRDataSetList& dataSets, const QString& name);

// A variable: a reference to a named expression of an environment (not owned; a variable that
// has since been deleted yields "Unknown function : <name>").
class TBREvElementWrapper : public TBREvElement {
public:
    TBREvElementWrapper(std::weak_ptr<TBREvEmbeddedFunction> function, const QString& name, int nesting = 0);
    ~TBREvElementWrapper() override;
    TBREvElementWrapper(const TBREvElementWrapper&) = delete;
    TBREvElementWrapper& operator=(const TBREvElementWrapper&) = delete;
    EvResult Value(TBRFiFo&) override;
    const std::weak_ptr<TBREvEmbeddedFunction> Function;
    QString Name;
    int Nesting; // parentheses and function calls around the variable in its text

private:
    // The variable while Function holds: one removed from its environment while it is in use
    // lives on until the evaluation ends (TBREvEmbeddedFunction::keepWhileInUse), so that a use
    // need not take a share of it.
    TBREvEmbeddedFunction* const m_function;
};

// Ends the argument list of a function in the queue.
class TBREvElementArgumentEnd : public TBREvElement {
public:
    TBREvElementArgumentEnd()
        : TBREvElement(Role::ArgumentEnd)
    {
    }
    EvResult Value(TBRFiFo&) override;
};

// A parse error; its value is the error.
class TBREvElementError : public TBREvElement {
public:
    explicit TBREvElementError(const QString& message)
        : Message(brCutText(message))
    {
    }
    EvResult Value(TBRFiFo&) override { return EvResult::fromError(Message); }
    QString Message;
};

// Base of every library function. Value gathers the evaluated arguments up to the argument end,
// accumulates when the queue says so, then calculates.
class TBREvElementFunction : public TBREvElement {
public:
    EvResult Value(TBRFiFo& fifo) override;
    virtual void Aggregate() { }
    virtual EvResult Calculate();

protected:
    // Evaluates every argument up to the argument end into Arguments; false when the queue ran short.
    bool gatherArguments(TBRFiFo& fifo);
    // The result when the queue ran short of elements.
    static EvResult queueRanShort();
    int argumentCount() const { return int(m_arguments.size()); }
    const EvResult& argument(int i) const { return m_arguments[std::size_t(i)]; }
    std::vector<TBREvResultClass> m_arguments; // filled just before Calculate, emptied after
};

// The element queue in prefix order; owns its elements.
class TBRFiFo {
public:
    void Append(std::unique_ptr<TBREvElement> element);
    void Rewind() { m_cursor = 0; }
    TBREvElement* Next() { return m_cursor < m_items.size() ? m_items[m_cursor++].get() : nullptr; }
    // The element Next would return, left in the queue.
    TBREvElement* peek() const { return m_cursor < m_items.size() ? m_items[m_cursor].get() : nullptr; }
    int count() const { return int(m_items.size()); }
    TBREvElement* item(int i) const { return m_items[std::size_t(i)].get(); }
    // Set while the evaluator accumulates: function elements then run their Aggregate step.
    bool AggregateFlag = false;
    // Operators and negations being evaluated by calling down, counted on along the uses of
    // variables; at MaxDescent the rest is taken in a loop, so that they cost little stack.
    int descent = 0;
    static constexpr int MaxDescent = 32;
    // The evaluation from outside that this one is a part of, numbered at its first use of a
    // variable (0 until then) and handed on to the variables it uses.
    std::uint64_t evaluation = 0;

private:
    std::vector<std::unique_ptr<TBREvElement>> m_items;
    std::size_t m_cursor = 0;
};

// ---------------------------------------------------------------------------------------------
// The evaluator

// Parses an expression text into a queue and evaluates it. Field names are bound to the data
// sets given before Prepare; plain names resolve as library function, data-set field, variable
// of the evaluator's own environment, variable of the global environment, in that order.
//
// Typical use (a printed expression or a group):
//     TBREvaluator ev;
//     ev.SetDataSets({query});          // before Prepare: fields are bound while parsing
//     ev.setEnvironment(&reportEnv);    // optional: the report's variables
//     ev.Prepare("SUM([Qty]) * 2");
//     per record: ev.Accumulate();      // aggregates take the current record
//     to print:   EvResultToString(ev.Value())  (or inspect the EvResult)
//     new group:  ev.Reset();
//     after run:  ev.Unprepare();
class TBREvaluator {
public:
    TBREvaluator();
    virtual ~TBREvaluator();
    TBREvaluator(const TBREvaluator&) = delete;
    TBREvaluator& operator=(const TBREvaluator&) = delete;

    void SetDataSets(const TBRDataSetList& dataSets) { m_dataSets = dataSets; }
    const TBRDataSetList& DataSets() const { return m_dataSets; }
    // The evaluator's own environment, searched for variables before the global one (not owned).
    void setEnvironment(TBREvEnvironment* environment) { m_environment = environment; }
    TBREvEnvironment* environment() const { return m_environment; }

    // Parses the text into a new queue (an empty text is the string of one blank).
    void Prepare(const QString& text);
    void Unprepare();
    bool Prepared() const { return m_prepared; }
    // Resets every element: aggregates start again from nothing.
    void Reset();
    // The value of the prepared expression; raises EBRExprError when not prepared. Each call is
    // an evaluation of its own: the variables it uses are worked out afresh, once each.
    EvResult Value();
    // Lets every aggregate take the current record.
    void Accumulate();
    bool HasAggregate() const;
    // The first element of the queue, or nullptr when not prepared or empty.
    TBREvElement* firstElement() const;
    // How deep parentheses and function calls nest in the prepared text.
    int nesting() const { return m_deepest; }

protected:
    // Resolution of names; a descendant can widen the name space. The arguments are a part of
    // the text being parsed: handing that view (or a part of it) back to ParseExpression keeps
    // the parse linear in the length of the text.
    virtual void LookupFunction(const QString& name, QStringView arguments);
    virtual void LookupField(const QString& name);

    // The parse levels. Each appends to the queue; a text that is not a part of the text being
    // parsed is parsed on its own.
    void ParseExpression(QStringView text);
    void ParseSimpleExpression(QStringView text);
    void ParseTerm(QStringView text);
    void ParseFactor(QStringView text);
    void ParseNumber(QStringView text);
    void ParseString(QStringView text);
    void ParseFunctionCall(QStringView text);
    void Append(std::unique_ptr<TBREvElement> element);
    void appendError(const QString& message);

private:
    friend class TBREvEmbeddedFunction;
    struct ParseText;
    class ParseScope;
    // Evaluates the queue as a part of `evaluation` (0: one of its own), its operators and
    // negations having `descent` of TBRFiFo::MaxDescent used.
    EvResult Evaluate(int descent, std::uint64_t evaluation);
    // The parse levels on the part [b, e) of the text being parsed.
    void parseExpressionAt(int b, int e);
    void parseSimpleExpressionAt(int b, int e, bool exchanged);
    void parseTermAt(int b, int e);
    void parseFactorAt(int b, int e);
    void parseFunctionCallAt(int b, int e);
    void parseArgumentsAt(int b, int e);
    Q_NEVER_INLINE void lookupFieldAt(int b, int e); // its text kept out of parseFactorAt's frame
    // An error whose message is `text` with `argument` in place of its "%s" (built in a call of
    // its own, away from the parse levels' frames).
    void appendError(const char* text, QStringView argument);
    void appendError(const char* text, const char* argument);
    // Runs `parse` on the range of the text being parsed that `text` covers, or on a text of its own.
    template <typename Parse> void parseView(QStringView text, Parse parse);
    void parseOwnText(QStringView text, const std::function<void(int, int)>& parse);

    TBRDataSetList m_dataSets;
    TBREvEnvironment* m_environment = nullptr;
    std::unique_ptr<TBRFiFo> m_queue;
    bool m_prepared = false;
    ParseText* m_text = nullptr; // while parsing
    int m_nesting = 0; // parentheses and function calls open while parsing
    int m_deepest = 0; // the most of them open at once
    bool m_ofVariable = false; // a variable's: the variables its queue uses matter to others
};

// How deep parentheses and function calls may nest in an expression. A deeper one (only a damaged
// or machine-made text nests so) is the error "Expression nested too deeply" as a whole, so that
// neither parsing nor evaluating it can exhaust the stack. A variable counts as a pair of
// parentheses around its own expression: one whose use would nest deeper in all is that error.
inline constexpr int BRMaxNesting = 100;

// The character that separates function arguments.
extern QChar BRArgumentSeparator;

// Position (0-based) of the first argument separator at the top level of the text (outside
// quotes, brackets and parentheses, not in the last position), or -1.
int FindArgumentSeparator(const QString& text);
// The text with the characters a and b exchanged wherever they are operators at the top level
// (outside quotes, brackets and parentheses; a sign such as the one in "2 * -3" or "1e-5" stays).
QString SwapOperatorsOutsideQuotes(const QString& text, QChar a, QChar b);

// ---------------------------------------------------------------------------------------------
// The function library

using TBRFunctionFactory = std::function<std::unique_ptr<TBREvElementFunction>()>;

struct TBRLibraryEntry {
    QString Name; // upper case
    QString Description; // syntax text, "|", description text
    QString ArgumentSpec; // category digit, then N/S/B/V per argument
    QString Vendor;
    TBRFunctionFactory ItemClass;
};

class TBRLibrary {
public:
    void Add(TBRFunctionFactory itemClass, const QString& name, const QString& description,
        const QString& argumentSpec, const QString& vendor);
    // A new element for the name, or a TBREvElementError "Unknown function : <name>".
    std::unique_ptr<TBREvElement> GetItem(const QString& name) const;
    // The entry of that name (case-insensitive), or nullptr.
    const TBRLibraryEntry* find(const QString& name) const;
    int count() const { return int(m_entries.size()); }
    const TBRLibraryEntry& entry(int i) const { return m_entries[std::size_t(i)]; }

private:
    std::vector<TBRLibraryEntry> m_entries;
};

// The global function library with the built-in functions.
TBRLibrary& TBRFunctionLibrary();
void RegisterLibraryFunction(TBRFunctionFactory itemClass, const QString& name, const QString& description,
    const QString& argumentSpec, const QString& vendor);

// ---------------------------------------------------------------------------------------------
// Variables

// One variable: a named expression with its own evaluator.
//
// Within one evaluation from outside, a variable is worked out at its first use and its value
// taken again at later ones, so that variables each using the next twice cost one evaluation each,
// not two to the power of their depth. The value is taken again only where working it out anew
// would give the same: for a variable on a cycle of uses (one whose inner use of itself is
// refused), each of the cycle's variables that working it out tried to use is as much in use as
// it was then; one used nested more deeply sees the nesting bound. A change of any variable (one
// prepared, unprepared or deleted) during the evaluation makes it work every value out anew.
class TBREvEmbeddedFunction : public TBREvElement {
public:
    explicit TBREvEmbeddedFunction(const QString& expression);
    ~TBREvEmbeddedFunction() override;
    // The expression's value, as an evaluation of its own; "Recursive calls not allowed" when it
    // is already being evaluated.
    EvResult Value(TBRFiFo& fifo) override;
    EvResult Value();
    // A variable being worked out (kept by the environment's code, per thread).
    struct Frame;
    // Frames opened from `first` to `last` (serials, see Frame).
    struct Span {
        std::uint64_t first;
        std::uint64_t last;
    };
    // The value for a use standing inside `nesting` parentheses and calls of the expression
    // being evaluated, as a part of its evaluation `fifo` (TBRFiFo::descent, TBRFiFo::evaluation);
    // "Expression nested too deeply" when the variable's own nesting would take the whole past
    // BRMaxNesting.
    EvResult valueAt(int nesting, TBRFiFo& fifo);
    void Reset() override;
    // Called by the owner that lets a variable go: one being worked out on this thread is kept
    // until no variable is, since the uses under way hold only a plain pointer to it.
    static void keepWhileInUse(std::shared_ptr<TBREvEmbeddedFunction>&& function);
    // How often the value has been worked out (uses that took it again not counted).
    std::uint64_t evaluations() const { return m_evaluations; }
    QString Expression() const { return m_expression; }
    // Changes the expression; the caller prepares the evaluator again.
    void setExpression(const QString& expression) { m_expression = expression; }
    TBREvaluator& Evaluator() { return *m_evaluator; }
    // The first element of the evaluator's queue, or nullptr when not prepared.
    TBREvElement* firstElement() const { return m_evaluator->firstElement(); }

private:
    // Depths of the variables being worked out (below BRMaxNesting: each nests a pair deeper).
    class Depths {
    public:
        void set(int depth) { m_bits[depth / 64] |= std::uint64_t(1) << (depth % 64); }
        void add(const Depths& other)
        {
            m_bits[0] |= other.m_bits[0];
            m_bits[1] |= other.m_bits[1];
        }
        void keepBelow(int depth)
        {
            if (depth < 64) {
                m_bits[0] &= ~(~std::uint64_t(0) << depth);
                m_bits[1] = 0;
            } else if (depth < 128) {
                m_bits[1] &= ~(~std::uint64_t(0) << (depth - 64));
            }
        }
        int highest() const; // -1 when none
    private:
        std::uint64_t m_bits[2] = {};
    };
    static_assert(BRMaxNesting <= 128);
    // A value worked out in the evaluation m_memoEvaluation.
    struct Memo {
        std::uint64_t version; // the variables' version when it began to be worked out
        // On a cycle: the frames opened while it was worked out, its own first; those of the
        // values taken again meanwhile that were worked out before it; and the variables in use
        // below it whose use was refused, by depth.
        Span own;
        std::vector<Span> taken;
        Depths refused;
        int base; // the nesting of the use
        int deepest; // the deepest nesting reached working it out
        EvResult value;
    };
    // Works the value out for a use standing `nesting` deep in the evaluation `evaluation`, or
    // takes it again. A variable on a cycle of uses keeps a frame while it is worked out that says
    // what its value depends on; one used in more than one place saves its value.
    EvResult valueAt(int nesting, int descent, std::uint64_t evaluation);
    // Which variables lie on cycles of uses (m_cycle), worked out for the variables' `version`.
    static void findCycles(TBREvEmbeddedFunction* start, std::uint64_t version);
    // The value of a variable used in more than one place: a saved value that holds, or one
    // worked out and saved.
    EvResult savedOrWorkedOut(
        int descent, std::uint64_t evaluation, std::uint64_t version, int base, int reach);
    EvResult workOutAndSave(
        int descent, std::uint64_t evaluation, std::uint64_t version, int base, int reach);
    // Drops what was recorded for an earlier evaluation.
    void startRecord(std::uint64_t evaluation)
    {
        if (!m_memos.empty())
            m_memos.clear();
        m_opened.clear();
        m_memoEvaluation = evaluation;
    }
    // A saved value that holds for a use at nesting `base`, or nullptr.
    const EvResult* savedValue(int base, std::uint64_t version);
    // Whether the saved value holds for the variables in use now; Ended for one that never will
    // again (the variables it saw in use have finished, or a variable has changed).
    enum class Fit : std::uint8_t { Holds, Differs, Ended };
    Fit fits(const Memo& memo, std::uint64_t version) const;
    bool openedWithin(const Span& span) const;
    // A use while it is in use: tells the variable being worked out that its use of this one was
    // refused.
    EvResult refused();
    EvResult nestedTooDeeply(int reach, std::uint64_t evaluation);
    // Tells the variable being worked out (the last frame) that it depends on what a saved value
    // it took again depended on.
    void dependOn(const Memo& memo);

    friend class TBREvElementWrapper;

    QString m_expression;
    std::unique_ptr<TBREvaluator> m_evaluator;
    // The uses of it in queues: a value used in one place only is worked out once per evaluation
    // of that place, so it is not worth saving.
    int m_uses = 0;
    bool m_inUse = false;
    std::uint64_t m_evaluations = 0;
    std::uint64_t m_memoEvaluation = 0;
    std::vector<Memo> m_memos;
    std::vector<std::uint64_t> m_opened; // on a cycle: its frames' serials in m_memoEvaluation
    int m_frameDepth = -1; // while in use: the depth of its frame, -1 when it has none
    // Cycles of uses (strongly connected components, found as Tarjan does).
    std::uint64_t m_cycleVersion = 0; // the variables' version that m_cycle belongs to
    std::uint64_t m_cycle = 0;
    int m_visitIndex = 0;
    int m_visitLow = 0;
    bool m_visiting = false;
    bool m_usesItself = false;
};

// Called whenever a variable's queue is built, freed or the variable itself goes: which variables
// lie on cycles of uses is worked out again.
void brVariablesChanged();

// A list of variables by upper-case name, in insertion order.
//
// A report keeps one: AddFunction("PAGENUMBER", "0"), Prepare() before the run, then
// SetIntegerConstant(ElementByName("PAGENUMBER"), page) for each page; every expression whose
// evaluator has this environment (setEnvironment) sees the new number at its next evaluation.
class TBREvEnvironment {
public:
    TBREvEnvironment();
    ~TBREvEnvironment();
    TBREvEnvironment(const TBREvEnvironment&) = delete;
    TBREvEnvironment& operator=(const TBREvEnvironment&) = delete;

    int count() const { return int(m_entries.size()); }
    QString Name(int i) const { return m_entries[std::size_t(i)].Name; }
    TBREvEmbeddedFunction* function(int i) const { return m_entries[std::size_t(i)].Function.get(); }

    void Clear();
    // Adds a variable unless one of that name exists (the first expression is kept).
    void AddFunction(const QString& name, const QString& expression);
    void DeleteFunction(const QString& name);
    // A wrapper for the named variable, or a TBREvElementError "Unknown function : <name>".
    std::unique_ptr<TBREvElement> GetFunction(const QString& name) const;
    std::shared_ptr<TBREvEmbeddedFunction> findFunction(const QString& name) const;
    // The first element of the named variable's queue (its constant), or nullptr.
    TBREvElement* ElementByName(const QString& name) const;
    // Change a variable's constant in place; nothing happens for an element of another class.
    static void SetStringConstant(TBREvElement* element, const QString& text);
    static void SetIntegerConstant(TBREvElement* element, std::int32_t value);
    static void SetResultConstant(TBREvElement* element, const EvResult& value);
    // The named variable's value; an error when there is none.
    EvResult Evaluate(const QString& name) const;

    // Reference counted: the first Prepare parses every entry, the last Unprepare frees them.
    void Prepare();
    void Unprepare();
    bool Prepared() const { return m_prepareCount > 0; }

    void SetDataSets(const TBRDataSetList& dataSets) { m_dataSets = dataSets; }
    TBRDataSetList& DataSetList() { return m_dataSets; }

    // Streaming: the names, and "DATA", the expressions in entry order (matched by position).
    QStringList names() const;
    QStringList WriteData() const;
    void ReadData(const QStringList& expressions);
    // Replaces every entry by the names with their expressions.
    void assign(const QStringList& names, const QStringList& expressions);
    void Save(QDataStream& out) const;
    void Load(QDataStream& in);

private:
    struct Entry {
        QString Name;
        std::shared_ptr<TBREvEmbeddedFunction> Function;
    };
    int indexOf(const QString& name) const;
    void append(const QString& upperName, const QString& expression);
    void prepareEntry(Entry& entry);

    std::vector<Entry> m_entries;
    QHash<QString, int> m_index; // upper-case name -> its first entry
    int m_prepareCount = 0;
    TBRDataSetList m_dataSets;
};

// The global environment: AppStartTime, AppStartDate and AppName, fixed when first used.
TBREvEnvironment& brGlobalEnvironment();
// Defines the program's start variables in an environment.
void brDefineStartVariables(TBREvEnvironment& env, const QDateTime& start, const QString& appTitle);
// Makes the global library and environment exist now (so that AppStartTime is the program's start).
void brExprStartUp();
