// Aggregates over a run: SUM, COUNT, AVERAGE, MAX and MIN with Accumulate and Reset. The values
// come from a variable V whose constant each "record" sets.

#include "BRExprTestSupport.h"

#include <gtest/gtest.h>
#include <vector>

using namespace brexpr_test;

namespace {

class Aggregates : public ::testing::Test {
protected:
    void SetUp() override
    {
        env.AddFunction(QStringLiteral("V"), QStringLiteral("0"));
        env.Prepare();
        ev.setEnvironment(&env);
    }
    // Accumulates each value as one record; returns the value after the last one.
    QString over(const QString& expression, const std::vector<EvResult>& values)
    {
        ev.Prepare(expression);
        for (const EvResult& v : values) {
            TBREvEnvironment::SetResultConstant(env.ElementByName(QStringLiteral("V")), v);
            ev.Accumulate();
        }
        return describe(ev.Value());
    }
    static EvResult I(int v) { return EvResult::fromInteger(v); }
    static EvResult F(double v) { return EvResult::fromFloat(v); }
    static EvResult S(const char* v) { return EvResult::fromString(QString::fromUtf8(v)); }
    static EvResult B(bool v) { return EvResult::fromBoolean(v); }

    TBREvEnvironment env;
    TBREvaluator ev;
};

TEST_F(Aggregates, SumRunsAndResets)
{
    ev.Prepare(QStringLiteral("SUM(V)"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 0")); // before the first record
    QStringList seen;
    for (int v : { 1, 2, 3 }) {
        TBREvEnvironment::SetIntegerConstant(env.ElementByName(QStringLiteral("V")), v);
        ev.Accumulate();
        seen << describe(ev.Value());
    }
    EXPECT_EQ(seen, QStringList({ "integer 1", "integer 3", "integer 6" }));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 6")); // Value alone does not add
    ev.Reset();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 0"));
    ev.Accumulate();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 3"));
}

TEST_F(Aggregates, SumCases)
{
    EXPECT_EQ(over("SUM(V)", {}), "integer 0");
    EXPECT_EQ(over("SUM(V)", { F(1.5), F(2.5) }), "float 4");
    EXPECT_EQ(over("SUM(V)", { I(1), F(2.5) }), "float 3.5");
    EXPECT_EQ(over("SUM(V)", { F(2.5), I(1) }), "float 3.5");
    EXPECT_EQ(over("SUM(V)", { I(1), B(true), I(2) }), "integer 3");
    EXPECT_EQ(over("SUM(V)", { S("a") }), "error Wrong arguments for SUM");
    EXPECT_EQ(over("SUM(V)", { I(1), S("a"), I(2) }), "error Wrong arguments for SUM");
    EXPECT_EQ(over("SUM(V)", { I(2147483647), I(1) }), "float 2147483648");
    EXPECT_EQ(over("SUM(V, 1)", { I(1) }), "error Wrong arguments for SUM");
    EXPECT_EQ(over("SUM(V * 2) + SUM(V)", { I(1), I(2) }), "integer 9"); // two totals, not shared
}

TEST_F(Aggregates, CountCases)
{
    EXPECT_EQ(over("COUNT", {}), "integer 0");
    EXPECT_EQ(over("COUNT", { I(5), I(5), I(5) }), "integer 3");
    EXPECT_EQ(over("COUNT()", { I(5) }), "integer 1");
    EXPECT_EQ(over("COUNT(1)", { I(5) }), "error COUNT - Too many arguments");
    ev.Reset();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("error COUNT - Too many arguments"));
    EXPECT_EQ(over("COUNT", { I(1), I(2) }), "integer 2");
    ev.Reset();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 0"));
}

TEST_F(Aggregates, AverageCases)
{
    EXPECT_EQ(over("AVERAGE(V)", {}), "float 0");
    EXPECT_EQ(over("AVERAGE(V)", { I(1), I(2) }), "float 1.5");
    EXPECT_EQ(over("AVERAGE(V)", { F(1.0), F(2.0), F(6.0) }), "float 3");
    EXPECT_EQ(over("AVERAGE(V)", { S("x") }), "error Wrong arguments for AVERAGE");
    EXPECT_EQ(over("AVERAGE(V)", { I(4), I(6) }), "float 5");
    ev.Reset();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("float 0"));
    TBREvEnvironment::SetIntegerConstant(env.ElementByName(QStringLiteral("V")), 8);
    ev.Accumulate();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("float 8")); // the count restarted too
}

TEST_F(Aggregates, MaxMinCases)
{
    EXPECT_EQ(over("MAX(V)", {}), "integer 0");
    EXPECT_EQ(over("MIN(V)", {}), "integer 0");
    EXPECT_EQ(over("MAX(V)", { I(3), I(7), I(5) }), "integer 7");
    EXPECT_EQ(over("MIN(V)", { I(3), I(7), I(5) }), "integer 3");
    EXPECT_EQ(over("MIN(V)", { B(true), B(false), B(true) }), "boolean false");
    EXPECT_EQ(over("MAX(V)", { B(true), B(false), B(true) }), "boolean true");
    EXPECT_EQ(over("MAX(V)", { S("b"), S("a"), S("c") }), "string c");
    EXPECT_EQ(over("MIN(V)", { S("b"), S("a"), S("c") }), "string a");
    // By code point: a character beyond the basic plane is greater than any within it.
    EXPECT_EQ(over("MAX(V)", { S("ＴＥＡＭ"), S("𠮷田"), S("ｱ") }), "string 𠮷田");
    EXPECT_EQ(over("MIN(V)", { S("𠮷田"), S("ＴＥＡＭ"), S("\xEE\x80\x80") }), "string \xEE\x80\x80");
    EXPECT_EQ(over("MAX(V)", { I(3), F(7.5), I(5) }), "float 7.5");
    EXPECT_EQ(over("MIN(V)", { F(2.5), I(1) }), "integer 1");
    EXPECT_EQ(over("MAX(V)", { I(3), S("zzz"), I(4) }), "integer 4"); // other kinds are passed over
    EXPECT_EQ(over("MAX(V)", { S("x"), I(5) }), "string x");
    EXPECT_EQ(over("MAX(V, 1)", { I(1) }), "error Wrong arguments for MAX");
    EXPECT_EQ(over("MIN(1 / 0)", { I(1), I(2) }), "error Cannot divide by 0"); // a stored error stays
    ev.Reset();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("integer 0"));
}

TEST_F(Aggregates, IfStillAccumulatesTheBranchNotChosen)
{
    EXPECT_EQ(over("IF(FALSE, SUM(V), COUNT)", { I(2), I(3) }), "integer 2");
    EXPECT_EQ(over("IF(TRUE, SUM(V), COUNT)", { I(2), I(3) }), "integer 5");
}

TEST_F(Aggregates, HasAggregateAndPrepareDropsTotals)
{
    ev.Prepare(QStringLiteral("1 + 2"));
    EXPECT_FALSE(ev.HasAggregate());
    ev.Prepare(QStringLiteral("'n=' + STR(COUNT)"));
    EXPECT_TRUE(ev.HasAggregate());
    ev.Accumulate();
    ev.Accumulate();
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string n=2"));
    ev.Prepare(QStringLiteral("'n=' + STR(COUNT)"));
    EXPECT_EQ(describe(ev.Value()), QStringLiteral("string n=0"));
}

} // namespace
