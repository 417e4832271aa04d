// The expression language on a typical group and total: a field comparison, a comparison of two
// numbers, a running SUM, and a text joined with a function call. Parse-and-evaluate (a Prepare
// per use) against evaluate-only (prepared once, as a report run does: Value alone) and per record
// (Accumulate, Value and the step to the next record, as a detail band does). Then parsing hostile
// texts of growing length: a flat sum, nested parentheses and nested IF (both beyond the nesting
// bound), each linear. Last, evaluation shapes that once cost far more than they should: a run of
// a million "not", a diamond of variables each using the next twice, a ladder of variables on one
// cycle, a chain and a ring of variables each used once, and setting up an environment of many
// variables.
//
// Against the evaluator that worked every use of a variable out anew (before values were taken
// again within an evaluation), medians of three runs on one shared machine, then and now: the
// ladder K = 16: 7.2-9.6 ms, 3 us; K = 18: 28-37 ms, 3-4 us; K = 20: 109-151 ms, 4-5 us (seconds and
// more with the first way of taking values again, which kept every value of a cycle's variable).
// The diamond: 56-92 ms, 2.4-3.4 us. The chain: 7.5-10 us, 6-7.5 us; the ring: 7.1-10 us, 6.3-8.3 us
// (each of its variables, used once, is worked out once either way). The machine's noise is wider
// than the difference there: counted by callgrind, an evaluation of the ring takes 37,600
// instructions then and 33,100 now, of the chain 39,100 and 27,200.

#include "platform/DataSet.h"
#include "report/BRExpr.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const char* const Expressions[] = {
    "[laps] >= 3",
    "7 > 5",
    "SUM(amount)",
    "UPPER(name) + ' - ' + STR(id) + ' ' + FORMATNUMERIC('#,##0.00', amount)",
};

// A small query of race entries, shared by all runs.
struct Fixture {
    Fixture()
    {
        db.setPath(dir.filePath("bench.db"));
        db.setConnected(true);
        db.execute("create table entry (id integer, name varchar(20), amount float, laps smallint)");
        for (int i = 1; i <= 100; ++i)
            db.execute(QStringLiteral("insert into entry values (%1, 'driver%1', %2, %3)")
                           .arg(i)
                           .arg(i * 1.25)
                           .arg(i % 7));
        q.SQL << "select * from entry order by id";
        q.Open();
    }
    QTemporaryDir dir;
    platform::Database db;
    platform::Query q { &db };
};

Fixture& Data()
{
    static Fixture f;
    return f;
}

void parseAndEvaluate(benchmark::State& state)
{
    Fixture& f = Data();
    const QString text = QString::fromUtf8(Expressions[state.range(0)]);
    f.q.First();
    for (auto _ : state) {
        TBREvaluator ev;
        ev.SetDataSets({ &f.q });
        ev.Prepare(text);
        ev.Accumulate();
        benchmark::DoNotOptimize(ev.Value());
    }
    state.SetLabel(Expressions[state.range(0)]);
}

void evaluateOnly(benchmark::State& state)
{
    Fixture& f = Data();
    TBREvaluator ev;
    ev.SetDataSets({ &f.q });
    ev.Prepare(QString::fromUtf8(Expressions[state.range(0)]));
    f.q.First();
    f.q.moveTo(4); // laps 4: the comparison is true
    for (auto _ : state)
        benchmark::DoNotOptimize(ev.Value());
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(Expressions[state.range(0)]);
}

void perRecord(benchmark::State& state)
{
    Fixture& f = Data();
    TBREvaluator ev;
    ev.SetDataSets({ &f.q });
    ev.Prepare(QString::fromUtf8(Expressions[state.range(0)]));
    f.q.First();
    for (auto _ : state) {
        ev.Accumulate();
        benchmark::DoNotOptimize(ev.Value());
        f.q.Next();
        if (f.q.Eof())
            f.q.First();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(Expressions[state.range(0)]);
}

QString hostileText(int shape, int n)
{
    switch (shape) {
    case 0: {
        QString sum = QStringLiteral("1");
        sum.reserve(n * 4);
        for (int i = 1; i < n; ++i)
            sum += QStringLiteral(" + 1");
        return sum;
    }
    case 1:
        return QString(n, u'(') + u'1' + QString(n, u')');
    default:
        return QStringLiteral("IF(TRUE, ").repeated(n) + u'1' + QStringLiteral(", 2)").repeated(n);
    }
}

void parseHostile(benchmark::State& state)
{
    const int shape = int(state.range(0));
    const QString text = hostileText(shape, int(state.range(1)));
    for (auto _ : state) {
        TBREvaluator ev;
        ev.Prepare(text);
        benchmark::DoNotOptimize(ev.Value());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
    static const char* const shapes[] = { "flat sum", "nested parentheses", "nested IF" };
    state.SetLabel(shapes[shape]);
}

// "not not ... TRUE" with a million "not": evaluated only (0) or parsed and evaluated (1).
void notChain(benchmark::State& state)
{
    const QString text = QStringLiteral("not ").repeated(1000000) + QStringLiteral("TRUE");
    TBREvaluator prepared;
    if (state.range(0) == 0)
        prepared.Prepare(text);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(prepared.Value());
        } else {
            TBREvaluator ev;
            ev.Prepare(text);
            benchmark::DoNotOptimize(ev.Value());
        }
    }
    state.SetLabel(state.range(0) == 0 ? "evaluate" : "parse and evaluate");
    state.SetItemsProcessed(state.iterations());
}

// V0 = V1 + V1, V1 = V2 + V2, ... V19 = [laps]: 20 variables, one top-level evaluation per record.
void variableDiamond(benchmark::State& state)
{
    Fixture& f = Data();
    const int levels = 20;
    TBREvEnvironment env;
    env.SetDataSets({ &f.q });
    for (int i = 0; i < levels - 1; ++i)
        env.AddFunction(QStringLiteral("V%1").arg(i), QStringLiteral("V%1 + V%1").arg(i + 1));
    env.AddFunction(QStringLiteral("V%1").arg(levels - 1), QStringLiteral("[laps]"));
    env.Prepare();
    TBREvaluator ev;
    ev.SetDataSets({ &f.q });
    ev.setEnvironment(&env);
    ev.Prepare(QStringLiteral("V0"));
    f.q.First();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ev.Value());
        f.q.Next();
        if (f.q.Eof())
            f.q.First();
    }
    env.Unprepare();
    state.SetItemsProcessed(state.iterations());
}

// One top-level evaluation of `text` over the variables per iteration.
void evaluateRepeatedly(benchmark::State& state, TBREvEnvironment& env, const QString& text)
{
    env.Prepare();
    TBREvaluator ev;
    ev.setEnvironment(&env);
    ev.Prepare(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(ev.Value());
    env.Unprepare();
}

// G0 = G1 + H0, H0 = G1, ... G(K-1) = G0 + H(K-1), H(K-1) = G0: a cycle of 2K variables, each step
// using the next directly and through a second variable of the cycle; one evaluation of G0.
void variableLadder(benchmark::State& state)
{
    const int steps = int(state.range(0));
    TBREvEnvironment env;
    for (int i = 0; i < steps; ++i) {
        const int next = (i + 1) % steps;
        env.AddFunction(QStringLiteral("G%1").arg(i), QStringLiteral("G%1 + H%2").arg(next).arg(i));
        env.AddFunction(QStringLiteral("H%1").arg(i), QStringLiteral("G%1").arg(next));
    }
    evaluateRepeatedly(state, env, QStringLiteral("G0"));
    state.SetLabel(QStringLiteral("K = %1").arg(steps).toStdString());
}

// V0 = V1 + 1, ... V(n-1) = V0 + 1 (a ring: range 1) or 1 (a chain: range 0), 90 variables used once
// each: nothing is taken again, so this is what keeping track of the variables in use costs.
void variableChain(benchmark::State& state)
{
    const int n = 90;
    TBREvEnvironment env;
    for (int i = 0; i < n - 1; ++i)
        env.AddFunction(QStringLiteral("V%1").arg(i), QStringLiteral("V%1 + 1").arg(i + 1));
    env.AddFunction(
        QStringLiteral("V%1").arg(n - 1), state.range(0) ? QStringLiteral("V0 + 1") : QStringLiteral("1"));
    evaluateRepeatedly(state, env, QStringLiteral("V0"));
    state.SetItemsProcessed(state.iterations() * n);
    state.SetLabel(state.range(0) ? "ring" : "chain");
}

// AddFunction of n new names, then one look-up of each.
void environmentSetup(benchmark::State& state)
{
    const int n = int(state.range(0));
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("Var%1").arg(i);
    for (auto _ : state) {
        TBREvEnvironment env;
        for (const QString& name : std::as_const(names))
            env.AddFunction(name, QStringLiteral("1"));
        for (const QString& name : std::as_const(names))
            benchmark::DoNotOptimize(env.findFunction(name.toLower()));
    }
    state.SetItemsProcessed(state.iterations() * n);
}

} // namespace

BENCHMARK(parseAndEvaluate)->DenseRange(0, 3);
BENCHMARK(evaluateOnly)->DenseRange(0, 3);
BENCHMARK(perRecord)->DenseRange(0, 3);
BENCHMARK(parseHostile)->ArgsProduct({ { 0, 1, 2 }, { 1000, 10000, 100000 } })->Unit(benchmark::kMicrosecond);
BENCHMARK(notChain)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(variableDiamond)->Unit(benchmark::kMicrosecond);
BENCHMARK(variableChain)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(variableLadder)->Arg(16)->Arg(18)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(environmentSetup)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
