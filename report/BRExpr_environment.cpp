// Variables: named expressions, their environments and the global environment.

#include "platform/Clock.h"
#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>

namespace {

// Changes of the variables' queues, so that cycles are found again after one.
std::atomic<std::uint64_t> g_variablesVersion { 1 };
// Numbers the evaluations from outside that use variables.
std::atomic<std::uint64_t> g_evaluations { 0 };
// Numbers the cycles of uses found.
std::atomic<std::uint64_t> g_cycleIds { 0 };

std::uint64_t variablesVersion() { return g_variablesVersion.load(std::memory_order_relaxed); }

} // namespace

// A variable of a cycle being worked out, and what its value depends on so far of the variables in
// use below it.
struct TBREvEmbeddedFunction::Frame {
    TBREvEmbeddedFunction* function; // in use, so kept alive by whoever asked for its value
    std::uint64_t cycle;
    std::uint64_t serial; // numbers the frames as they open: a later frame has a larger one
    Depths refused;
    // Where its spans begin on t_taken: the spans of the values taken again that were worked out
    // before it opened, each of which it depends on.
    std::size_t takenFrom;
};

namespace {

// Each variable in use nests at least one pair deeper than the one using it, so no more than this
// many are worked out at once on a thread, evaluations begun by registered functions included.
constexpr int MaxFrames = BRMaxNesting;

// The variables being worked out on this thread. Plain data, so that reaching it costs nothing.
struct InProgress {
    // The parentheses and calls around the variable whose expression is being evaluated, its own
    // pair included, counted from the outermost expression: a chain of variables each naming the
    // next nests as deep as the same texts written inside one another.
    int nesting = 0;
    // The deepest nesting that the variable being worked out has reached or tried to reach.
    int deepest = 0;
    // The last serial given to a frame (or to a use given up as nested too deeply).
    std::uint64_t serial = 0;
    // One per variable of a cycle being worked out, the outermost first; the index is its depth.
    int frameCount = 0;
    TBREvEmbeddedFunction::Frame frames[MaxFrames] = {};
    // How many spans t_taken holds.
    std::size_t takenCount = 0;
    // Whether t_retired holds variables.
    bool retired = false;

    TBREvEmbeddedFunction::Frame& lastFrame() { return frames[frameCount - 1]; }
};
// Reached on every use of a variable: the model that needs no call to find it, which code built
// position-independent would otherwise make.
constinit thread_local InProgress t_progress [[gnu::tls_model("initial-exec")]];
// The open frames' spans, each frame's after those of the frame below it.
thread_local std::vector<TBREvEmbeddedFunction::Span> t_taken;
// Variables let go of while they were being worked out, kept until no variable is.
thread_local std::vector<std::shared_ptr<TBREvEmbeddedFunction>> t_retired;

} // namespace

TBREvEmbeddedFunction::TBREvEmbeddedFunction(const QString& expression)
    : m_expression(expression)
    , m_evaluator(std::make_unique<TBREvaluator>())
{
    m_evaluator->m_ofVariable = true;
}

TBREvEmbeddedFunction::~TBREvEmbeddedFunction() { brVariablesChanged(); }

void brVariablesChanged() { g_variablesVersion.fetch_add(1, std::memory_order_relaxed); }

int TBREvEmbeddedFunction::Depths::highest() const
{
    for (int w = 1; w >= 0; --w) {
        if (m_bits[w])
            return 64 * w + 63 - std::countl_zero(m_bits[w]);
    }
    return -1;
}

namespace {

// Whether one of the last spans from `from` to `end` (a frame's) begins where `span` does: a value
// taken again many times is kept once.
bool takenLately(const TBREvEmbeddedFunction::Span* from, const TBREvEmbeddedFunction::Span* end,
    const TBREvEmbeddedFunction::Span& span)
{
    return std::any_of(end - std::min<std::ptrdiff_t>(end - from, 8), end,
        [&](const TBREvEmbeddedFunction::Span& s) { return s.first == span.first; });
}

std::uint64_t newEvaluation()
{
    // One begun while variables are being worked out (by a registered function) starts their
    // record of frames afresh: nothing saved before it is taken again.
    if (t_progress.nesting > 0)
        brVariablesChanged();
    return g_evaluations.fetch_add(1, std::memory_order_relaxed) + 1;
}

} // namespace

EvResult TBREvEmbeddedFunction::Value() { return valueAt(0, 0, newEvaluation()); }

EvResult TBREvEmbeddedFunction::Value(TBRFiFo& fifo) { return valueAt(0, fifo); }

EvResult TBREvEmbeddedFunction::valueAt(int nesting, TBRFiFo& fifo)
{
    if (fifo.evaluation == 0)
        fifo.evaluation = newEvaluation();
    return valueAt(nesting, fifo.descent, fifo.evaluation);
}

// Tarjan's strongly connected components over the uses of variables, in a loop rather than by
// calling down, since a chain of variables may be as long as the list. Every variable reached from
// `start` gets the version and its cycle; those that have it already were reached from an earlier
// start, and what they reach has it too, so they lie on no cycle with the ones visited now.
void TBREvEmbeddedFunction::findCycles(TBREvEmbeddedFunction* start, std::uint64_t version)
{
    struct Visit {
        TBREvEmbeddedFunction* function;
        int next; // the next element of its queue to look at
    };
    std::vector<Visit> path;
    std::vector<TBREvEmbeddedFunction*> open;
    int index = 0;
    const auto enter = [&](TBREvEmbeddedFunction* f) {
        f->m_cycleVersion = version;
        f->m_visitIndex = f->m_visitLow = index++;
        f->m_visiting = true;
        f->m_usesItself = false;
        open.push_back(f);
        path.push_back({ f, 0 });
    };
    enter(start);
    while (!path.empty()) {
        TBREvEmbeddedFunction* f = path.back().function;
        const TBRFiFo* queue = f->m_evaluator->m_queue.get();
        TBREvEmbeddedFunction* unvisited = nullptr;
        while (queue && path.back().next < queue->count() && !unvisited) {
            const auto* use = dynamic_cast<const TBREvElementWrapper*>(queue->item(path.back().next++));
            const std::shared_ptr<TBREvEmbeddedFunction> g = use ? use->Function.lock() : nullptr;
            if (!g)
                continue;
            if (g.get() == f)
                f->m_usesItself = true;
            else if (g->m_cycleVersion != version)
                unvisited = g.get();
            else if (g->m_visiting)
                f->m_visitLow = std::min(f->m_visitLow, g->m_visitIndex);
        }
        if (unvisited) {
            enter(unvisited);
            continue;
        }
        path.pop_back();
        if (!path.empty()) {
            TBREvEmbeddedFunction* caller = path.back().function;
            caller->m_visitLow = std::min(caller->m_visitLow, f->m_visitLow);
        }
        if (f->m_visitLow != f->m_visitIndex)
            continue;
        // f is the first of a component: the variables above it on the open list.
        const bool onCycle = f->m_usesItself || open.back() != f;
        const std::uint64_t id = onCycle ? g_cycleIds.fetch_add(1, std::memory_order_relaxed) + 1 : 0;
        TBREvEmbeddedFunction* member = nullptr;
        do {
            member = open.back();
            open.pop_back();
            member->m_visiting = false;
            member->m_cycle = id;
        } while (member != f);
    }
}

// A value saved while other variables of its cycle were being worked out holds where working it
// out anew would go the same way: each of them that it tried to use is in use now exactly when it
// was then. Frames opened before it and still open were open all the while it was worked out, at
// the same depths; of those opened since, it must have tried none (none opened while it was
// worked out, nor while the values it took again were).
TBREvEmbeddedFunction::Fit TBREvEmbeddedFunction::fits(const Memo& memo, std::uint64_t version) const
{
    if (memo.version != version)
        return Fit::Ended;
    if (m_cycle == 0)
        return Fit::Holds; // no variable in use can reach it
    const Frame* frames = t_progress.frames;
    const int frameCount = t_progress.frameCount;
    const int deepest = memo.refused.highest();
    if (deepest >= 0 && (deepest >= frameCount || frames[deepest].serial > memo.own.first))
        return Fit::Ended;
    for (int k = frameCount; k-- > 0 && frames[k].serial > memo.own.first;) {
        const TBREvEmbeddedFunction* other = frames[k].function;
        if (frames[k].cycle != m_cycle)
            continue;
        if (other->openedWithin(memo.own))
            return Fit::Differs;
        for (const Span& span : memo.taken) {
            if (other->openedWithin(span))
                return Fit::Differs;
        }
    }
    return Fit::Holds;
}

bool TBREvEmbeddedFunction::openedWithin(const Span& span) const
{
    const auto it = std::lower_bound(m_opened.begin(), m_opened.end(), span.first);
    return it != m_opened.end() && *it <= span.last;
}

EvResult TBREvEmbeddedFunction::refused()
{
    InProgress& progress = t_progress;
    if (m_frameDepth >= 0 && m_frameDepth < progress.frameCount
        && progress.frames[m_frameDepth].function == this)
        progress.lastFrame().refused.set(m_frameDepth);
    else
        brVariablesChanged(); // in use without a frame: its cycle was found since; save nothing
    return EvResult::fromError(QString::fromUtf8(SBRRecursiveCall));
}

EvResult TBREvEmbeddedFunction::nestedTooDeeply(int reach, std::uint64_t evaluation)
{
    InProgress& progress = t_progress;
    progress.deepest = std::max(progress.deepest, reach);
    // Tried as much as worked out: refused had it been in use.
    if (m_cycle != 0) {
        if (m_memoEvaluation != evaluation)
            startRecord(evaluation);
        m_opened.push_back(++progress.serial);
    }
    return EvResult::fromError(QString::fromUtf8(SBRNestedTooDeeply));
}

const EvResult* TBREvEmbeddedFunction::savedValue(int base, std::uint64_t version)
{
    InProgress& progress = t_progress;
    for (std::size_t i = 0; i < m_memos.size();) {
        const Memo& memo = m_memos[i];
        const Fit fit = fits(memo, version);
        if (fit == Fit::Ended) {
            // Saved values that can never hold again are dropped, so that none pile up.
            m_memos[i] = std::move(m_memos.back());
            m_memos.pop_back();
            continue;
        }
        // Nested differently, it is the same value while it stays within the bound as it did.
        const int deepest = memo.deepest - memo.base + base;
        if (fit == Fit::Holds
            && (memo.base == base || (memo.deepest <= BRMaxNesting && deepest <= BRMaxNesting))) {
            progress.deepest = std::max(progress.deepest, deepest);
            if (m_cycle != 0 && progress.frameCount > 0)
                dependOn(memo);
            return &memo.value;
        }
        ++i;
    }
    return nullptr;
}

void TBREvEmbeddedFunction::dependOn(const Memo& memo)
{
    InProgress& progress = t_progress;
    std::vector<Span>& taken = t_taken;
    Frame& user = progress.lastFrame();
    user.refused.add(memo.refused);
    // Spans opened after the user's frame lie within it: its own span covers them.
    const auto take = [&](const Span& span) {
        if (span.first != 0 && span.first <= user.serial
            && !takenLately(taken.data() + user.takenFrom, taken.data() + taken.size(), span))
            taken.push_back(span);
    };
    take(memo.own);
    for (const Span& span : memo.taken)
        take(span);
    progress.takenCount = taken.size();
}

namespace {

// A variable being worked out: in use, at its nesting, on a cycle in a frame of its own. All is
// put back however the evaluation ends, so that a failure does not leave the variable reporting a
// recursion for ever after. Every use of a variable passes here, so what it does stays inline.
class Working {
public:
    [[gnu::always_inline]] Working(bool& inUse, int& frameDepth, std::vector<std::uint64_t>& opened,
        TBREvEmbeddedFunction* function, std::uint64_t cycle, int base, int reach)
        : m_inUse(inUse)
        , m_progress(t_progress)
        , m_outerNesting(m_progress.nesting)
        , m_outerDeepest(m_progress.deepest)
        , m_depth(cycle != 0 ? m_progress.frameCount : -1)
    {
        m_inUse = true;
        frameDepth = m_depth;
        m_progress.nesting = base;
        m_progress.deepest = reach;
        if (m_depth >= 0) {
            TBREvEmbeddedFunction::Frame& frame = m_progress.frames[m_depth];
            frame.function = function;
            frame.cycle = cycle;
            frame.serial = ++m_progress.serial;
            frame.refused = {};
            frame.takenFrom = m_progress.takenCount;
            m_progress.frameCount = m_depth + 1;
            opened.push_back(m_progress.serial);
        }
    }
    // May free the variable, as the last thing its evaluation does.
    [[gnu::always_inline]] ~Working()
    {
        if (m_depth >= 0)
            closeFrame();
        m_inUse = false;
        m_progress.nesting = m_outerNesting;
        m_progress.deepest = std::max(m_outerDeepest, m_progress.deepest);
        if (m_outerNesting == 0 && m_progress.retired)
            releaseRetired();
    }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;

    InProgress& progress() const { return m_progress; }
    int depth() const { return m_depth; }

private:
    [[gnu::noinline]] static void releaseRetired()
    {
        t_progress.retired = false;
        std::vector<std::shared_ptr<TBREvEmbeddedFunction>> retired;
        retired.swap(t_retired);
    }
    // Its user depends on whatever it depended on.
    [[gnu::always_inline]] void closeFrame()
    {
        TBREvEmbeddedFunction::Frame& frame = m_progress.frames[m_depth];
        // The variables refused inside it were its own affair.
        frame.refused.keepBelow(m_depth);
        if (m_depth > 0)
            m_progress.frames[m_depth - 1].refused.add(frame.refused);
        if (m_progress.takenCount != frame.takenFrom)
            passSpans(m_progress, m_depth);
        m_progress.frameCount = m_depth;
    }
    // Its own span, opened after the user's frame, lies within the user's; the user's spans end
    // where this frame's begin, so those kept move down in place.
    [[gnu::noinline]] static void passSpans(InProgress& progress, int depth)
    {
        std::vector<TBREvEmbeddedFunction::Span>& taken = t_taken;
        const TBREvEmbeddedFunction::Frame& frame = progress.frames[depth];
        auto kept = taken.begin() + std::ptrdiff_t(frame.takenFrom);
        if (depth > 0) {
            const TBREvEmbeddedFunction::Frame& user = progress.frames[depth - 1];
            const TBREvEmbeddedFunction::Span* from = taken.data() + user.takenFrom;
            for (auto it = kept; it != taken.end(); ++it) {
                if (it->first <= user.serial
                    && !takenLately(from, taken.data() + (kept - taken.begin()), *it))
                    *kept++ = *it;
            }
        }
        taken.erase(kept, taken.end());
        progress.takenCount = taken.size();
    }

    bool& m_inUse;
    InProgress& m_progress;
    int m_outerNesting;
    int m_outerDeepest;
    int m_depth; // of its frame; -1 without one
};

} // namespace

// Uses of variables come here from every evaluation, so that a variable used in one place costs
// little more than evaluating its expression, on a cycle or not; what saved values need lies in
// functions of their own.
EvResult TBREvEmbeddedFunction::valueAt(int nesting, int descent, std::uint64_t evaluation)
{
    if (m_inUse)
        return refused();
    const std::uint64_t version = variablesVersion();
    if (m_cycleVersion != version)
        findCycles(this, version);
    const int base = t_progress.nesting + nesting + 1;
    const int reach = base + m_evaluator->nesting();
    if (reach > BRMaxNesting || t_progress.frameCount == MaxFrames)
        return nestedTooDeeply(std::max(reach, BRMaxNesting + 1), evaluation);
    if (m_uses > 1)
        return savedOrWorkedOut(descent, evaluation, version, base, reach);
    if (m_cycle != 0 && m_memoEvaluation != evaluation)
        startRecord(evaluation);
    const Working working(m_inUse, m_frameDepth, m_opened, this, m_cycle, base, reach);
    ++m_evaluations;
    return m_evaluator->Evaluate(descent, evaluation);
}

EvResult TBREvEmbeddedFunction::savedOrWorkedOut(
    int descent, std::uint64_t evaluation, std::uint64_t version, int base, int reach)
{
    if (m_memoEvaluation != evaluation)
        startRecord(evaluation);
    else if (const EvResult* value = savedValue(base, version))
        return *value;
    return workOutAndSave(descent, evaluation, version, base, reach);
}

EvResult TBREvEmbeddedFunction::workOutAndSave(
    int descent, std::uint64_t evaluation, std::uint64_t version, int base, int reach)
{
    // Read before the evaluation, which may change it.
    const bool onCycle = m_cycle != 0;
    const Working working(m_inUse, m_frameDepth, m_opened, this, m_cycle, base, reach);
    ++m_evaluations;
    EvResult r = m_evaluator->Evaluate(descent, evaluation);
    const InProgress& progress = working.progress();
    if (!onCycle) {
        m_memos.push_back({ version, {}, {}, {}, base, progress.deepest, r });
        return r;
    }
    const Frame& frame = progress.frames[working.depth()];
    Depths refused = frame.refused;
    refused.keepBelow(working.depth());
    const auto spans = t_taken.begin() + std::ptrdiff_t(frame.takenFrom);
    m_memos.push_back({ version, { frame.serial, progress.serial }, std::vector<Span>(spans, t_taken.end()),
        refused, base, progress.deepest, r });
    return r;
}

void TBREvEmbeddedFunction::keepWhileInUse(std::shared_ptr<TBREvEmbeddedFunction>&& function)
{
    if (function && function->m_inUse && t_progress.nesting > 0) {
        t_retired.push_back(std::move(function));
        t_progress.retired = true;
    }
}

void TBREvEmbeddedFunction::Reset() { m_evaluator->Reset(); }

TBREvElementWrapper::TBREvElementWrapper(
    std::weak_ptr<TBREvEmbeddedFunction> function, const QString& name, int nesting)
    : Function(std::move(function))
    , Name(name)
    , Nesting(nesting)
    , m_function(Function.lock().get())
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = Function.lock())
        ++f->m_uses;
}

TBREvElementWrapper::~TBREvElementWrapper()
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = Function.lock())
        --f->m_uses;
}

EvResult TBREvElementWrapper::Value(TBRFiFo& fifo)
{
    if (!Function.expired()) {
        if (fifo.evaluation == 0)
            fifo.evaluation = newEvaluation();
        return m_function->valueAt(Nesting, fifo.descent, fifo.evaluation);
    }
    return EvResult::fromError(brErrorText(SBRUnknownFunction, Name));
}

// ---------------------------------------------------------------------------------------------

TBREvEnvironment::TBREvEnvironment() = default;

TBREvEnvironment::~TBREvEnvironment() { Clear(); }

void TBREvEnvironment::Clear()
{
    m_index.clear();
    while (!m_entries.empty()) {
        TBREvEmbeddedFunction::keepWhileInUse(std::move(m_entries.back().Function));
        m_entries.pop_back();
    }
}

int TBREvEnvironment::indexOf(const QString& name) const { return m_index.value(name.toUpper(), -1); }

void TBREvEnvironment::append(const QString& upperName, const QString& expression)
{
    // Of entries of the same name (read from a stream), the first is the one found.
    if (!m_index.contains(upperName))
        m_index.insert(upperName, int(m_entries.size()));
    m_entries.push_back({ upperName, std::make_shared<TBREvEmbeddedFunction>(expression) });
}

void TBREvEnvironment::prepareEntry(Entry& entry)
{
    TBREvaluator& ev = entry.Function->Evaluator();
    ev.SetDataSets(m_dataSets);
    ev.setEnvironment(this);
    ev.Prepare(entry.Function->Expression());
}

void TBREvEnvironment::AddFunction(const QString& name, const QString& expression)
{
    if (indexOf(name) >= 0)
        return; // the first definition stays, prepared as it is
    append(name.toUpper(), expression);
    if (Prepared())
        prepareEntry(m_entries.back());
}

void TBREvEnvironment::DeleteFunction(const QString& name)
{
    const int i = indexOf(name);
    if (i < 0)
        return;
    TBREvEmbeddedFunction::keepWhileInUse(std::move(m_entries[std::size_t(i)].Function));
    m_entries.erase(m_entries.begin() + i);
    brVariablesChanged();
    m_index.clear();
    for (std::size_t k = m_entries.size(); k-- > 0;)
        m_index.insert(m_entries[k].Name, int(k)); // from the last, so that the first stays
}

std::shared_ptr<TBREvEmbeddedFunction> TBREvEnvironment::findFunction(const QString& name) const
{
    const int i = indexOf(name);
    return i >= 0 ? m_entries[std::size_t(i)].Function : nullptr;
}

std::unique_ptr<TBREvElement> TBREvEnvironment::GetFunction(const QString& name) const
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = findFunction(name))
        return std::make_unique<TBREvElementWrapper>(f, name);
    return std::make_unique<TBREvElementError>(brErrorText(SBRUnknownFunction, name));
}

TBREvElement* TBREvEnvironment::ElementByName(const QString& name) const
{
    const int i = indexOf(name);
    return i >= 0 ? m_entries[std::size_t(i)].Function->firstElement() : nullptr;
}

void TBREvEnvironment::SetStringConstant(TBREvElement* element, const QString& text)
{
    if (auto* s = dynamic_cast<TBREvElementString*>(element))
        s->Text = brCutText(text);
}

void TBREvEnvironment::SetIntegerConstant(TBREvElement* element, std::int32_t value)
{
    if (auto* c = dynamic_cast<TBREvElementConstant*>(element))
        c->Result = EvResult::fromInteger(value);
}

void TBREvEnvironment::SetResultConstant(TBREvElement* element, const EvResult& value)
{
    if (auto* c = dynamic_cast<TBREvElementConstant*>(element))
        c->Result = value;
    else if (auto* s = dynamic_cast<TBREvElementString*>(element); s && value.Kind == EvResultKind::String)
        s->Text = value.StrResult;
}

EvResult TBREvEnvironment::Evaluate(const QString& name) const
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = findFunction(name))
        return f->Value();
    return EvResult::fromError(brErrorText(SBRUnknownFunction, name));
}

void TBREvEnvironment::Prepare()
{
    if (++m_prepareCount != 1)
        return;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        prepareEntry(m_entries[i]);
}

void TBREvEnvironment::Unprepare()
{
    if (m_prepareCount == 0 || --m_prepareCount > 0)
        return;
    for (Entry& e : m_entries)
        e.Function->Evaluator().Unprepare();
}

QStringList TBREvEnvironment::names() const
{
    QStringList names;
    for (const Entry& e : m_entries)
        names << e.Name;
    return names;
}

QStringList TBREvEnvironment::WriteData() const
{
    QStringList data;
    for (const Entry& e : m_entries)
        data << e.Function->Expression();
    return data;
}

void TBREvEnvironment::ReadData(const QStringList& expressions)
{
    const qsizetype n = qMin<qsizetype>(expressions.size(), qsizetype(m_entries.size()));
    for (qsizetype i = 0; i < n; ++i) {
        Entry& e = m_entries[std::size_t(i)];
        // The same variable object takes the new expression, so that expressions already using
        // it keep a valid reference; in a prepared environment it is usable at once.
        e.Function->setExpression(expressions[i]);
        if (Prepared())
            prepareEntry(e);
    }
}

void TBREvEnvironment::assign(const QStringList& names, const QStringList& expressions)
{
    Clear();
    for (const QString& name : names)
        append(name.toUpper(), QString());
    ReadData(expressions);
    if (Prepared())
        for (qsizetype i = expressions.size(); i < qsizetype(m_entries.size()); ++i)
            prepareEntry(m_entries[std::size_t(i)]);
}

void TBREvEnvironment::Save(QDataStream& out) const { out << names() << WriteData(); }

void TBREvEnvironment::Load(QDataStream& in)
{
    QStringList names, data;
    in >> names >> data;
    if (in.status() == QDataStream::Ok)
        assign(names, data);
}

// ---------------------------------------------------------------------------------------------

void brDefineStartVariables(TBREvEnvironment& env, const QDateTime& start, const QString& appTitle)
{
    auto literal = [](QString text) -> QString {
        // A literal has no escape for its quote character: show a title's apostrophe as a
        // typographic one rather than break the expression.
        text.replace(u'\'', QChar(0x2019));
        return QStringLiteral("'") + text + QStringLiteral("'");
    };
    env.AddFunction(
        QStringLiteral("AppStartTime"), literal(start.toString(QString::fromUtf8(BRLongTimeFormat))));
    env.AddFunction(
        QStringLiteral("AppStartDate"), literal(start.toString(QString::fromUtf8(BRShortDateFormat))));
    env.AddFunction(QStringLiteral("AppName"), literal(appTitle));
}

TBREvEnvironment& brGlobalEnvironment()
{
    static TBREvEnvironment* global = [] {
        static TBREvEnvironment env;
        brDefineStartVariables(env, brExprClock().now(), QCoreApplication::applicationName());
        return &env;
    }();
    return *global;
}

void brExprStartUp()
{
    TBRFunctionLibrary();
    brGlobalEnvironment();
}
