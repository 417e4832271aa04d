// Variables: named expressions, their environments and the global environment.

#include "platform/Clock.h"
#include "report/BRConst.h"
#include "report/BRExpr.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <utility>

TBREvEmbeddedFunction::TBREvEmbeddedFunction(const QString& expression)
    : m_expression(expression)
    , m_evaluator(std::make_unique<TBREvaluator>())
{
}

TBREvEmbeddedFunction::~TBREvEmbeddedFunction() = default;

namespace {

// The parentheses and calls around the variable whose expression is being evaluated, its own
// pair included, counted from the outermost expression: a chain of variables each naming the
// next nests as deep as the same texts written inside one another.
thread_local int t_variableNesting = 0;

} // namespace

EvResult TBREvEmbeddedFunction::valueAt(int nesting)
{
    if (m_inUse)
        return EvResult::fromError(QString::fromUtf8(SBRRecursiveCall));
    const int base = t_variableNesting + nesting + 1;
    if (base + m_evaluator->nesting() > BRMaxNesting)
        return EvResult::fromError(QString::fromUtf8(SBRNestedTooDeeply));
    // Both are put back however the evaluation ends, so that a failure does not leave the
    // variable reporting a recursion for ever after.
    struct InUse {
        bool& flag;
        int outerNesting;
        InUse(bool& f, int nesting)
            : flag(f)
            , outerNesting(std::exchange(t_variableNesting, nesting))
        {
            flag = true;
        }
        ~InUse()
        {
            flag = false;
            t_variableNesting = outerNesting;
        }
    } inUse(m_inUse, base);
    return m_evaluator->Value();
}

void TBREvEmbeddedFunction::Reset() { m_evaluator->Reset(); }

EvResult TBREvElementWrapper::Value(TBRFiFo&)
{
    if (std::shared_ptr<TBREvEmbeddedFunction> f = Function.lock())
        return f->valueAt(Nesting);
    return EvResult::fromError(brErrorText(SBRUnknownFunction, Name));
}

// ---------------------------------------------------------------------------------------------

TBREvEnvironment::TBREvEnvironment() = default;

TBREvEnvironment::~TBREvEnvironment() { Clear(); }

void TBREvEnvironment::Clear()
{
    while (!m_entries.empty())
        m_entries.pop_back();
}

int TBREvEnvironment::indexOf(const QString& name) const
{
    const QString upper = name.toUpper();
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].Name == upper)
            return int(i);
    return -1;
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
    m_entries.push_back({ name.toUpper(), std::make_shared<TBREvEmbeddedFunction>(expression) });
    if (Prepared())
        prepareEntry(m_entries.back());
}

void TBREvEnvironment::DeleteFunction(const QString& name)
{
    const int i = indexOf(name);
    if (i >= 0)
        m_entries.erase(m_entries.begin() + i);
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
        m_entries.push_back({ name.toUpper(), std::make_shared<TBREvEmbeddedFunction>(QString()) });
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
