// Fields of data sets in expressions: binding by name, values by kind, NULLs, the table part of a
// name, lookup order, and aggregates over the records of a query.

#include "BRExprTestSupport.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace brexpr_test;

namespace {

class Fields : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.setConnected(true);
        db.execute("create table entry (id integer, name varchar(20), amount float, flag boolean,"
                   " day date, at time, note memo, pic blob, laps smallint, big integer)");
        db.execute("insert into entry values (1, 'あいう', 1.5, 1, '03/09/2024', '9:05:00', 'memo text',"
                   " x'00ff', 3, 5000000000);"
                   "insert into entry (id) values (2);"
                   "insert into entry (id, name, amount, flag, laps) values (3, 'x', 2.25, 0, 4)");
        q.setObjectName("Q1");
        q.SQL << "select * from entry order by id";
        q.Open();
        ev.SetDataSets({ &q });
    }
    QString at(int recNo, const char* text)
    {
        ev.Prepare(QString::fromUtf8(text));
        q.moveTo(recNo);
        return describe(ev.Value());
    }

    testing_support::TempHome home;
    platform::Database db;
    platform::Query q { &db };
    TBREvaluator ev;
};

TEST_F(Fields, ValuesByKind)
{
    EXPECT_EQ(at(1, "id"), "integer 1");
    EXPECT_EQ(at(1, "NAME"), "string あいう");
    EXPECT_EQ(at(1, "amount"), "float 1.5");
    EXPECT_EQ(at(1, "flag"), "boolean true");
    EXPECT_EQ(at(3, "flag"), "boolean false");
    EXPECT_EQ(at(1, "day"), "string 2024/03/09");
    EXPECT_EQ(at(1, "at"), "string 9:05:00");
    EXPECT_EQ(at(1, "[note]"), "string memo text"); // unbracketed, "note" is a negation
    EXPECT_EQ(at(1, "laps"), "integer 3");
    EXPECT_EQ(at(1, "big"), "float 5000000000");
    EXPECT_EQ(at(1, "pic"), "error Field pic is of unknown type");
}

TEST_F(Fields, NullReadsAsTheEmptyValueOfTheColumnsKind)
{
    EXPECT_EQ(at(2, "name"), "string ");
    EXPECT_EQ(at(2, "amount"), "float 0");
    EXPECT_EQ(at(2, "flag"), "boolean false");
    EXPECT_EQ(at(2, "laps"), "integer 0");
    EXPECT_EQ(at(2, "day"), "string ");
    EXPECT_EQ(at(2, "'[' + name + ']'"), "string []");
}

TEST_F(Fields, ExpressionsFollowTheCursor)
{
    ev.Prepare("IF([name] = 'あいう', 'yes', 'no') + ' ' + STR(id * 10)");
    QStringList seen;
    for (q.First(); !q.Eof(); q.Next())
        seen << describe(ev.Value());
    EXPECT_EQ(seen, QStringList({ "string yes 10", "string no 20", "string no 30" }));
}

TEST_F(Fields, TablePartOfANameChoosesTheDataSet)
{
    EXPECT_EQ(at(1, "Q1.amount * 2"), "float 3");
    EXPECT_EQ(at(1, "[q1.AMOUNT]"), "float 1.5");
    EXPECT_EQ(at(1, "X9.amount"), "error Unknown function : X9.amount");
    EXPECT_EQ(at(1, "nosuchfield"), "error Unknown function : nosuchfield");
}

TEST_F(Fields, FirstDataSetHoldingTheNameWinsAndFieldsComeBeforeVariables)
{
    platform::Query other(&db);
    other.setObjectName("Q2");
    other.SQL << "select 'other' as name, 42 as extra";
    other.Open();
    ev.SetDataSets({ &other, &q });
    EXPECT_EQ(at(1, "name"), "string other");
    EXPECT_EQ(at(1, "Q1.name"), "string あいう");
    EXPECT_EQ(at(1, "extra + id"), "integer 43");

    TBREvEnvironment env;
    env.AddFunction("ID", "'variable'");
    env.AddFunction("ONLYVAR", "'variable'");
    env.Prepare();
    ev.setEnvironment(&env);
    EXPECT_EQ(at(1, "id"), "integer 1");
    EXPECT_EQ(at(1, "onlyvar"), "string variable");
}

TEST_F(Fields, AggregatesOverTheRecords)
{
    ev.Prepare("SUM(amount)");
    TBREvaluator count, average, maxName;
    for (TBREvaluator* e : { &count, &average, &maxName })
        e->SetDataSets({ &q });
    count.Prepare("COUNT");
    average.Prepare("AVERAGE(laps)");
    maxName.Prepare("MAX(name)");
    for (q.First(); !q.Eof(); q.Next())
        for (TBREvaluator* e : { &ev, &count, &average, &maxName })
            e->Accumulate();
    EXPECT_EQ(describe(ev.Value()), "float 3.75");
    EXPECT_EQ(describe(count.Value()), "integer 3");
    EXPECT_EQ(describe(average.Value()), "float 2.33333333333333");
    EXPECT_EQ(describe(maxName.Value()), "string あいう");
}

TEST_F(Fields, ReopenedDataSetIsStillRead)
{
    ev.Prepare("name");
    q.Close();
    q.SQL.clear();
    q.SQL << "select name, id from entry order by id desc";
    q.Open();
    EXPECT_EQ(describe(ev.Value()), "string x");
}

TEST(FieldValues, ConversionOfCellValues)
{
    EXPECT_EQ(describe(brFieldValueToResult(QVariant(qlonglong(-7)), "f")), "integer -7");
    EXPECT_EQ(
        describe(brFieldValueToResult(QVariant(qulonglong(1) << 63), "f")), "float 9.22337203685478E18");
    EXPECT_EQ(describe(brFieldValueToResult(QVariant(true), "f")), "boolean true");
    EXPECT_EQ(describe(brFieldValueToResult(QVariant(QDateTime(QDate(2024, 3, 9), QTime(0, 0))), "f")),
        "string 2024/03/09");
    EXPECT_EQ(describe(brFieldValueToResult(QVariant(QDateTime(QDate(2024, 3, 9), QTime(13, 1, 2))), "f")),
        "string 2024/03/09 13:01:02");
    EXPECT_EQ(describe(brFieldValueToResult(QVariant(QByteArray("x")), "pic")),
        "error Field pic is of unknown type");
    EXPECT_EQ(brFieldValueToResult(QVariant(QString(300, u'x')), "f").StrResult.size(), 255);
}

} // namespace
