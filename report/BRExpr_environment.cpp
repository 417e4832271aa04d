// Variables: named expressions, their environments and the global environment.

#include "platform/Clock.h"
#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <algorithm>
#include <atomic>
#include <utility>

TBREvEmbeddedFunction::TBREvEmbeddedFunction(const QString& expression)
    : m_expression(expression)
    , m_evaluator(std::make_unique<TBREvaluator>())
{
    m_evaluator->m_ofVariable = true;
}

TBREvEmbeddedFunction::~TBREvEmbeddedFunction() { brVariablesChanged(); }

namespace {

// Changes of the variables' queues, so that cycles are found again after one.
std::atomic<std::uint64_t> g_variablesVersion { 1 };
// Numbers the evaluations from outside that use variables.
std::atomic<std::uint64_t> g_evaluations { 0 };

std::uint64_t newEvaluation() { return g_evaluations.fetch_add(1, std::memory_order_relaxed) + 1; }

// The variables being worked out on this thread.
struct InProgress {
    // The parentheses and calls around the variable whose expression is being evaluated, its own
    // pair included, counted from the outermost expression: a chain of variables each naming the
    // next nests as deep as the same texts written inside one another.
    int nesting = 0;
    // The deepest nesting that the variable being worked out has reached or tried to reach.
    int deepest = 0;
    // Numbers the variables as they are worked out.
    std::uint64_t serial = 0;
};
thread_local InProgress t_progress;

} // namespace

void brVariablesChanged() { g_variablesVersion.fetch_add(1, std::memory_order_relaxed); }

EvResult TBREvEmbeddedFunction::Value() { return valueAt(0, 0, newEvaluation()); }

EvResult TBREvEmbeddedFunction::Value(TBRFiFo& fifo) { return valueAt(0, fifo); }

EvResult TBREvEmbeddedFunction::valueAt(int nesting, TBRFiFo& fifo)
{
    if (fifo.evaluation == 0)
        fifo.evaluation = newEvaluation();
    return valueAt(nesting, fifo.descent, fifo.evaluation);
}

TBREvEmbeddedFunction* TBREvEmbeddedFunction::cycle()
{
    const std::uint64_t version = g_variablesVersion.load(std::memory_order_relaxed);
    if (m_cycleVersion != version)
        findCycles(this, version);
    return m_cycle;
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
        TBREvEmbeddedFunction* member = nullptr;
        do {
            member = open.back();
            open.pop_back();
            member->m_visiting = false;
            member->m_cycle = onCycle ? f : nullptr;
        } while (member != f);
        f->m_cycleInUse = 0;
    }
}

EvResult TBREvEmbeddedFunction::valueAt(int nesting, int descent, std::uint64_t evaluation)
{
    if (m_inUse)
        return EvResult::fromError(QString::fromUtf8(SBRRecursiveCall));
    InProgress& progress = t_progress;
    const int base = progress.nesting + nesting + 1;
    const int reach = base + m_evaluator->nesting();
    if (reach > BRMaxNesting) {
        progress.deepest = std::max(progress.deepest, reach);
        return EvResult::fromError(QString::fromUtf8(SBRNestedTooDeeply));
    }
    if (m_memoEvaluation != evaluation) {
        m_memos.clear();
        m_memoEvaluation = evaluation;
    }
    // Only the variables of its own cycle in use can change what a variable gives: any other in
    // use uses it without being used by it.
    TBREvEmbeddedFunction* const cycleHead = cycle();
    const std::uint64_t context = cycleHead ? cycleHead->m_cycleInUse : 0;
    for (const Memo& memo : m_memos) {
        if (memo.context != context)
            continue;
        // Nested differently, it is the same value while it stays within the bound as it did.
        const int deepest = memo.deepest - memo.base + base;
        if (memo.base == base || (memo.deepest <= BRMaxNesting && deepest <= BRMaxNesting)) {
            progress.deepest = std::max(progress.deepest, deepest);
            return memo.value;
        }
    }
    // Everything is put back however the evaluation ends, so that a failure does not leave the
    // variable reporting a recursion for ever after.
    struct InUse {
        TBREvEmbeddedFunction& function;
        InProgress& progress;
        TBREvEmbeddedFunction* cycleHead;
        InProgress outer;
        std::uint64_t outerCycleInUse;
        InUse(TBREvEmbeddedFunction& f, InProgress& p, TBREvEmbeddedFunction* head, int base, int reach)
            : function(f)
            , progress(p)
            , cycleHead(head)
            , outer(p)
            , outerCycleInUse(head ? head->m_cycleInUse : 0)
        {
            function.m_inUse = true;
            progress.nesting = base;
            progress.deepest = reach;
            ++progress.serial;
            if (cycleHead)
                cycleHead->m_cycleInUse = progress.serial;
        }
        ~InUse()
        {
            function.m_inUse = false;
            if (cycleHead)
                cycleHead->m_cycleInUse = outerCycleInUse;
            progress.nesting = outer.nesting;
            progress.deepest = std::max(outer.deepest, progress.deepest);
        }
        InUse(const InUse&) = delete;
        InUse& operator=(const InUse&) = delete;
    } inUse(*this, progress, cycleHead, base, reach);
    EvResult r = m_evaluator->Evaluate(descent, evaluation);
    ++m_evaluations;
    m_memos.push_back({ context, base, progress.deepest, r });
    return r;
}

void TBREvEmbeddedFunction::Reset() { m_evaluator->Reset(); }

EvResult TBREvElementWrapper::Value(TBRFiFo& fifo)
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = Function.lock())
        return f->valueAt(Nesting, fifo);
    return EvResult::fromError(brErrorText(SBRUnknownFunction, Name));
}

// ---------------------------------------------------------------------------------------------

TBREvEnvironment::TBREvEnvironment() = default;

TBREvEnvironment::~TBREvEnvironment() { Clear(); }

void TBREvEnvironment::Clear()
{
    m_index.clear();
    while (!m_entries.empty())
        m_entries.pop_back();
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
    m_entries.erase(m_entries.begin() + i);
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
