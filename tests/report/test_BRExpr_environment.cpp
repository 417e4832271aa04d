// Variables: lookup order and shadowing, recursion refused, constants set in place, the prepare
// count, streaming, and the mended faults of the in-use flag and of adding to a prepared list.

#include "BRExprTestSupport.h"
#include "platform/Clock.h"

#include <QBuffer>
#include <QDataStream>
#include <gtest/gtest.h>

using namespace brexpr_test;

namespace {

TEST(Environment, RecursionIsRefused)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("A"), QStringLiteral("A + 1"));
    env.AddFunction(QStringLiteral("B"), QStringLiteral("C * 2"));
    env.AddFunction(QStringLiteral("C"), QStringLiteral("B"));
    env.Prepare();
    EXPECT_EQ(
        describe(env.Evaluate(QStringLiteral("A"))), QStringLiteral("error Recursive calls not allowed"));
    EXPECT_EQ(evalText(QStringLiteral("A"), &env), QStringLiteral("error Recursive calls not allowed"));
    EXPECT_EQ(evalText(QStringLiteral("B + 1"), &env), QStringLiteral("error Recursive calls not allowed"));
    // Not stuck: the guard is for re-entry only.
    EXPECT_EQ(evalText(QStringLiteral("A"), &env), QStringLiteral("error Recursive calls not allowed"));
}

TEST(Environment, VariablesUseOtherVariables)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("Total"), QStringLiteral("Net + Tax"));
    env.AddFunction(QStringLiteral("Net"), QStringLiteral("100"));
    env.AddFunction(QStringLiteral("Tax"), QStringLiteral("Net / 10"));
    env.Prepare();
    EXPECT_EQ(evalText(QStringLiteral("total"), &env), QStringLiteral("float 110"));
    EXPECT_EQ(evalText(QStringLiteral("[TOTAL] * 2"), &env), QStringLiteral("float 220"));
    // Used twice in one expression: worked out once, the same at both uses.
    EXPECT_EQ(evalText(QStringLiteral("Net + Net"), &env), QStringLiteral("integer 200"));
}

TEST(Environment, AVariableIsWorkedOutOncePerEvaluationAndFoundByAnyCase)
{
    // A diamond: each level uses the next twice, 2^40 uses of the last in all.
    TBREvEnvironment env;
    const int levels = 40;
    for (int i = 0; i < levels; ++i)
        env.AddFunction(QStringLiteral("Level%1").arg(i), QStringLiteral("LEVEL%1 + level%1").arg(i + 1));
    env.AddFunction(QStringLiteral("Level%1").arg(levels), QStringLiteral("1"));
    // A ladder closing on itself: each step uses the next directly and through a side variable.
    // Inside the side, the next step's value worked out inside the step holds: the side is in
    // use now, but that value never tried to use it.
    const int steps = 12;
    for (int i = 0; i < steps; ++i) {
        env.AddFunction(
            QStringLiteral("Step%1").arg(i), QStringLiteral("Step%1 + Side%2").arg((i + 1) % steps).arg(i));
        env.AddFunction(QStringLiteral("Side%1").arg(i), QStringLiteral("Step%1").arg((i + 1) % steps));
    }
    // The same on a cycle: the last level's use of the first is refused in each of its uses.
    for (int i = 0; i < levels; ++i)
        env.AddFunction(QStringLiteral("Ring%1").arg(i), QStringLiteral("Ring%1 + Ring%1").arg(i + 1));
    env.AddFunction(QStringLiteral("Ring%1").arg(levels), QStringLiteral("TYPEOF(Ring0)"));
    // A value taken again only where working it out anew gives the same: inside D, C's use of D
    // is refused; nested one pair deeper, Outer's use of Deep passes the bound.
    env.AddFunction(QStringLiteral("C"), QStringLiteral("D"));
    env.AddFunction(QStringLiteral("D"), QStringLiteral("TYPEOF(C)"));
    env.AddFunction(
        QStringLiteral("Deep"), QString(BRMaxNesting - 2, u'(') + u'1' + QString(BRMaxNesting - 2, u')'));
    env.AddFunction(QStringLiteral("Outer"), QStringLiteral("Deep"));
    env.Prepare();
    const auto evaluations = [&](const char* prefix) {
        std::uint64_t n = 0;
        for (int i = 0; i < env.count(); ++i)
            n += env.Name(i).startsWith(QString::fromUtf8(prefix)) ? env.function(i)->evaluations() : 0;
        return n;
    };

    TBREvaluator ev;
    ev.setEnvironment(&env);
    ev.Prepare(QStringLiteral("level0"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("float 1099511627776"));
    EXPECT_EQ(evaluations("LEVEL"), std::uint64_t(levels + 1));
    // Worked out afresh at the next evaluation: constants (and records) change between them.
    TBREvEnvironment::SetIntegerConstant(env.ElementByName(QStringLiteral("lEVEL40")), 3);
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("float 3298534883328"));
    EXPECT_EQ(evaluations("LEVEL"), std::uint64_t(2 * (levels + 1)));

    EXPECT_EQ(evalText(QStringLiteral("Ring0"), &env),
        QStringLiteral("string ") + QStringLiteral("ERROR").repeated(51));
    EXPECT_EQ(evaluations("RING"), std::uint64_t(levels + 1));
    EXPECT_EQ(evalText(QStringLiteral("Step0"), &env), QStringLiteral("error Recursive calls not allowed"));
    EXPECT_EQ(evaluations("STEP") + evaluations("SIDE"), std::uint64_t(2 * steps));
    EXPECT_EQ(evalText(QStringLiteral("C + D"), &env), QStringLiteral("string ERRORERROR"));
    EXPECT_EQ(evalText(QStringLiteral("Outer + Outer"), &env), QStringLiteral("integer 2"));
    EXPECT_EQ(evalText(QStringLiteral("Outer + (Outer)"), &env),
        QStringLiteral("error Expression nested too deeply"));

    // Names are found through the hash in any case, also after a deletion moved the later ones.
    env.DeleteFunction(QStringLiteral("level20"));
    EXPECT_EQ(env.findFunction(QStringLiteral("Level20")), nullptr);
    EXPECT_EQ(env.findFunction(QStringLiteral("rInG40")).get(), env.function(env.count() - 5));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("level21"))), QStringLiteral("integer 1572864"));
    env.assign({ QStringLiteral("x"), QStringLiteral("X") }, { QStringLiteral("1"), QStringLiteral("2") });
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("x"))), QStringLiteral("integer 1"));
}

// A registered function that changes the environment whenever it is called.
class ChangeFunction : public TBREvElementFunction {
public:
    static inline std::function<void()> change;
    EvResult Calculate() override
    {
        if (change)
            change();
        return EvResult::fromInteger(0);
    }
};

TEST(Environment, AChangeDuringAnEvaluationLeavesNoStaleValue)
{
    RegisterLibraryFunction([] { return std::make_unique<ChangeFunction>(); }, QStringLiteral("Change"),
        QStringLiteral("CHANGE()|Changes the variables"), QStringLiteral("2"), QStringLiteral("Test"));
    // A inside B is 1 (B in use), on its own 2; B inside A is 10, on its own 100 + A inside it.
    const QStringList cycle { QStringLiteral("A=IF(TYPEOF(B)='ERROR',1,2)"),
        QStringLiteral("B=CHANGE() + IF(TYPEOF(A)='ERROR',10,A*100)") };
    struct Case {
        const char* what;
        QStringList definitions; // name=expression
        const char* before; // evaluated before CHANGE does anything
        std::function<void(TBREvEnvironment&, int call)> change;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        { "a variable added", cycle, "",
            [](TBREvEnvironment& env, int call) { env.AddFunction(QStringLiteral("New%1").arg(call), "1"); },
            "A + B", "integer 102" },
        { "a variable deleted", cycle + QStringList { "T1=1", "T2=2", "T3=3" }, "",
            [](TBREvEnvironment& env, int call) { env.DeleteFunction(QStringLiteral("T%1").arg(call)); },
            "A + B", "integer 102" },
        { "a variable prepared again", { "X=1" }, "",
            [](TBREvEnvironment& env, int) { env.ReadData({ QStringLiteral("10") }); }, "X + CHANGE() + X",
            "integer 11" },
        // C heads the cycle (found from it first); deleted while D is worked out, it is gone.
        { "a cycle's first variable deleted", { "C=D", "D=CHANGE() + IF(TYPEOF(C)='ERROR',10,20)" }, "C",
            [](TBREvEnvironment& env, int) { env.DeleteFunction(QStringLiteral("C")); }, "D + D",
            "integer 20" },
        // Let go of while in use, a variable lives on until the evaluation that uses it ends.
        { "a variable deleted while in use", { "E=CHANGE() + 1" }, "",
            [](TBREvEnvironment& env, int) { env.DeleteFunction(QStringLiteral("E")); }, "E + 1 + E",
            "error Unknown function : E" },
        { "a cycle's first variable deleted while in use",
            { "F=G", "G=CHANGE() + IF(TYPEOF(F)='ERROR',10,20)" }, "",
            [](TBREvEnvironment& env, int) { env.DeleteFunction(QStringLiteral("F")); }, "F * 2",
            "integer 20" },
        { "the list cleared while in use", cycle, "", [](TBREvEnvironment& env, int) { env.Clear(); },
            "B * 2", "integer 20" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TBREvEnvironment env;
        for (const QString& d : c.definitions)
            env.AddFunction(d.section(u'=', 0, 0), d.section(u'=', 1));
        env.Prepare();
        if (*c.before)
            env.Evaluate(QString::fromUtf8(c.before));
        int calls = 0;
        ChangeFunction::change = [&] { c.change(env, ++calls); };
        EXPECT_EQ(evalText(QString::fromUtf8(c.text), &env), QString::fromUtf8(c.expected));
        ChangeFunction::change = nullptr;
    }
}

TEST(Environment, AddingAnExistingNameKeepsTheFirstExpression)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("X"), QStringLiteral("1"));
    env.AddFunction(QStringLiteral("x"), QStringLiteral("2"));
    EXPECT_EQ(env.count(), 1);
    env.Prepare();
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("X"))), QStringLiteral("integer 1"));
}

TEST(Environment, AddingAnExistingNameToAPreparedListKeepsOtherTotals)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("V"), QStringLiteral("5"));
    env.AddFunction(QStringLiteral("T"), QStringLiteral("SUM(V)"));
    env.Prepare();
    env.function(1)->Evaluator().Accumulate();
    env.function(1)->Evaluator().Accumulate();
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("T"))), QStringLiteral("integer 10"));
    env.AddFunction(QStringLiteral("V"), QStringLiteral("99"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("T"))), QStringLiteral("integer 10"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("V"))), QStringLiteral("integer 5"));
    // A new name added to a prepared list is usable at once.
    env.AddFunction(QStringLiteral("N"), QStringLiteral("41 + 1"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("N"))), QStringLiteral("integer 42"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("T"))), QStringLiteral("integer 10"));
}

TEST(Environment, LookupOrderAndShadowing)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("TRUE"), QStringLiteral("FALSE"));
    env.AddFunction(QStringLiteral("AppName"), QStringLiteral("'Mine'"));
    env.Prepare();
    // The library comes before variables; brackets skip the library.
    EXPECT_EQ(evalText(QStringLiteral("TRUE"), &env), QStringLiteral("boolean true"));
    EXPECT_EQ(evalText(QStringLiteral("[TRUE]"), &env), QStringLiteral("boolean false"));
    // The evaluator's own environment comes before the global one.
    EXPECT_EQ(evalText(QStringLiteral("AppName"), &env), QStringLiteral("string Mine"));
    EXPECT_EQ(evalText(QStringLiteral("AppName")),
        QStringLiteral("string ") + brGlobalEnvironment().Evaluate(QStringLiteral("APPNAME")).StrResult);
    EXPECT_EQ(evalText(QStringLiteral("AppStartDate = AppStartDate"), &env), QStringLiteral("boolean true"));
}

TEST(Environment, ConstantsAreChangedInPlace)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("PAGENUMBER"), QStringLiteral("0"));
    env.AddFunction(QStringLiteral("COLUMNNUMBER"), QStringLiteral("0"));
    env.AddFunction(QStringLiteral("REPORTTITLE"), QStringLiteral("''"));
    env.AddFunction(QStringLiteral("SUMMED"), QStringLiteral("1 + 2"));
    env.Prepare();
    TBREvaluator ev;
    ev.setEnvironment(&env);
    ev.Prepare(QStringLiteral("REPORTTITLE + ' p.' + STR(PAGENUMBER)"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string  p.0"));
    TBREvEnvironment::SetIntegerConstant(env.ElementByName(QStringLiteral("PAGENUMBER")), 3);
    TBREvEnvironment::SetStringConstant(
        env.ElementByName(QStringLiteral("reporttitle")), QStringLiteral("予定表"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string 予定表 p.3"));
    TBREvEnvironment::SetResultConstant(
        env.ElementByName(QStringLiteral("PAGENUMBER")), EvResult::fromFloat(2.5));
    TBREvEnvironment::SetResultConstant(
        env.ElementByName(QStringLiteral("REPORTTITLE")), EvResult::fromString(QStringLiteral("T")));
    TBREvEnvironment::SetResultConstant(
        env.ElementByName(QStringLiteral("REPORTTITLE")), EvResult::fromInteger(9));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string T p.2.5"));
    // Setters pass over elements of another class.
    TBREvEnvironment::SetIntegerConstant(env.ElementByName(QStringLiteral("SUMMED")), 99);
    TBREvEnvironment::SetStringConstant(env.ElementByName(QStringLiteral("PAGENUMBER")), QStringLiteral("x"));
    TBREvEnvironment::SetIntegerConstant(nullptr, 1);
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("SUMMED"))), QStringLiteral("integer 3"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("PAGENUMBER"))), QStringLiteral("float 2.5"));
    EXPECT_EQ(env.ElementByName(QStringLiteral("NOPE")), nullptr);
}

TEST(Environment, UnknownNamesAndDeletedVariables)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("X"), QStringLiteral("7"));
    env.Prepare();
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("Y"))).left(5), QStringLiteral("error"));
    const std::unique_ptr<TBREvElement> missing = env.GetFunction(QStringLiteral("yy"));
    auto* err = dynamic_cast<TBREvElementError*>(missing.get());
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->Message, QStringLiteral("Unknown function : yy"));
    EXPECT_NE(dynamic_cast<TBREvElementWrapper*>(env.GetFunction(QStringLiteral("x")).get()), nullptr);

    TBREvaluator ev;
    ev.setEnvironment(&env);
    ev.Prepare(QStringLiteral("X + 1"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 8"));
    env.DeleteFunction(QStringLiteral("x"));
    EXPECT_EQ(env.count(), 0);
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("error Unknown function : X"));
}

TEST(Environment, InUseFlagIsClearedWhenEvaluationRaises)
{
    TBREvEmbeddedFunction f(QStringLiteral("1"));
    EXPECT_THROW(f.Value(), EBRExprError); // its evaluator is not prepared
    f.Evaluator().Prepare(f.Expression());
    EXPECT_EQ(describe(f.Value()), QStringLiteral("integer 1"));

    // The same through a variable of a list that was not prepared yet.
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("X"), QStringLiteral("2"));
    TBREvaluator ev;
    ev.setEnvironment(&env);
    ev.Prepare(QStringLiteral("X * 3"));
    EXPECT_THROW(ev.Value(), EBRExprError);
    env.Prepare();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 6"));
}

TEST(Environment, PrepareIsCounted)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("X"), QStringLiteral("1"));
    EXPECT_FALSE(env.Prepared());
    EXPECT_EQ(env.ElementByName(QStringLiteral("X")), nullptr);
    env.Prepare();
    env.Prepare();
    env.Unprepare();
    EXPECT_TRUE(env.Prepared());
    EXPECT_NE(env.ElementByName(QStringLiteral("X")), nullptr);
    env.Unprepare();
    EXPECT_FALSE(env.Prepared());
    EXPECT_EQ(env.ElementByName(QStringLiteral("X")), nullptr);
    env.Unprepare(); // one too many: stays unprepared
    env.Prepare();
    EXPECT_TRUE(env.Prepared());
}

TEST(Environment, StreamingRestoresNamesAndExpressionsInOrder)
{
    TBREvEnvironment env;
    env.AddFunction(QStringLiteral("Zeta"), QStringLiteral("1 + 1"));
    env.AddFunction(QStringLiteral("Alpha"), QStringLiteral("'日本' + 'x'"));
    env.AddFunction(QStringLiteral("Mid"), QStringLiteral("Zeta * 10"));
    QByteArray bytes;
    {
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        QDataStream out(&buf);
        env.Save(out);
    }
    TBREvEnvironment back;
    back.AddFunction(QStringLiteral("OLD"), QStringLiteral("0"));
    {
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        QDataStream in(&buf);
        back.Load(in);
    }
    EXPECT_EQ(back.names(), QStringList({ "ZETA", "ALPHA", "MID" }));
    EXPECT_EQ(back.WriteData(), env.WriteData());
    back.Prepare();
    EXPECT_EQ(describe(back.Evaluate(QStringLiteral("mid"))), QStringLiteral("integer 20"));
    EXPECT_EQ(describe(back.Evaluate(QStringLiteral("alpha"))), QStringLiteral("string 日本x"));

    // DATA read into a prepared list replaces by position and is usable at once.
    back.ReadData({ QStringLiteral("5"), QStringLiteral("'y'") });
    EXPECT_EQ(describe(back.Evaluate(QStringLiteral("mid"))), QStringLiteral("integer 50"));
    EXPECT_EQ(describe(back.Evaluate(QStringLiteral("alpha"))), QStringLiteral("string y"));

    // Fewer expressions than names: the rest evaluate to the empty expression.
    TBREvEnvironment partial;
    partial.assign({ QStringLiteral("A"), QStringLiteral("B") }, { QStringLiteral("3") });
    partial.Prepare();
    EXPECT_EQ(describe(partial.Evaluate(QStringLiteral("B"))), QStringLiteral("string  "));
}

TEST(Environment, StartVariables)
{
    TBREvEnvironment env;
    brDefineStartVariables(env, QDateTime(QDate(2024, 3, 9), QTime(9, 5, 7)), QStringLiteral("Race"));
    env.Prepare();
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("AppName"))), QStringLiteral("string Race"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("AppStartTime"))), QStringLiteral("string 9:05:07"));
    EXPECT_EQ(describe(env.Evaluate(QStringLiteral("AppStartDate"))), QStringLiteral("string 2024/03/09"));

    TBREvEnvironment quoted;
    brDefineStartVariables(
        quoted, QDateTime(QDate(2024, 3, 9), QTime(9, 0)), QStringLiteral("Bob's Race - Day"));
    quoted.Prepare();
    EXPECT_EQ(
        describe(quoted.Evaluate(QStringLiteral("AppName"))), QStringLiteral("string Bob’s Race - Day"));
}

TEST(Environment, GlobalStartTimeStaysFixed)
{
    brExprStartUp();
    const EvResult first = eval(QStringLiteral("AppStartTime"));
    ASSERT_EQ(first.Kind, EvResultKind::String);
    platform::ManualClock later(QDateTime(QDate(2030, 1, 1), QTime(23, 59, 59)));
    brExprSetClock(&later);
    EXPECT_EQ(eval(QStringLiteral("AppStartTime")).StrResult, first.StrResult);
    EXPECT_EQ(eval(QStringLiteral("TIME")).StrResult, QStringLiteral("23:59:59"));
    brExprSetClock(nullptr);
}

} // namespace
