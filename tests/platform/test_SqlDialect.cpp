#include "platform/SqlDialect.h"

#include <QStringList>
#include <cstring>
#include <gtest/gtest.h>

namespace sql = platform::sql;

namespace {

int compareTimes(const char* a, const char* b)
{
    const int r = sql::compareTimeTexts(a, int(strlen(a)), b, int(strlen(b)));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int compareDates(const char* a, const char* b)
{
    const int r = sql::compareDateTexts(a, int(strlen(a)), b, int(strlen(b)));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

} // namespace

TEST(SqlDialect, StatementsSplitAtSemicolonsOutsideQuotesAndComments)
{
    EXPECT_EQ(sql::splitStatements("update t set a='x;y'; delete from t -- gone; really\n;"),
        (QStringList { "update t set a='x;y'", "delete from t -- gone; really" }));
    EXPECT_EQ(sql::splitStatements("  ;; /* only a comment; */ "), QStringList {});
    EXPECT_EQ(
        sql::splitStatements("select 'it''s;' from \"a;b\""), QStringList { "select 'it''s;' from \"a;b\"" });
}

TEST(SqlDialect, AlterWithSeveralClausesBecomesOneStatementEach)
{
    struct Case {
        const char* in;
        QStringList out;
    } cases[] = {
        { "alter table taikai add sq1 varchar(8),add sq2 varchar(8)\n,add sq3 varchar(8)",
            { "ALTER TABLE taikai ADD COLUMN sq1 varchar(8)", "ALTER TABLE taikai ADD COLUMN sq2 varchar(8)",
                "ALTER TABLE taikai ADD COLUMN sq3 varchar(8)" } },
        { "alter table rmenu add ITT time,add ROUND smallint",
            { "ALTER TABLE rmenu ADD COLUMN ITT time COLLATE TAVOTIME",
                "ALTER TABLE rmenu ADD COLUMN ROUND smallint" } },
        { "alter table taikai drop tcode", { "ALTER TABLE taikai DROP COLUMN tcode" } },
        { "ALTER TABLE t ADD COLUMN d date, DROP COLUMN x",
            { "ALTER TABLE t ADD COLUMN d date COLLATE TAVODATE", "ALTER TABLE t DROP COLUMN x" } },
        { "alter table t add n numeric(10,2)", { "ALTER TABLE t ADD COLUMN n numeric(10,2)" } },
        { "alter table t add m memo", { "ALTER TABLE t ADD COLUMN m text" } },
        { "alter table t rename to u", { "alter table t rename to u" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql::rewrite(c.in), c.out) << c.in;
}

TEST(SqlDialect, CreateTableDeclaresCollationsOnDatesAndTimes)
{
    EXPECT_EQ(
        sql::rewrite("create table rmenu (tcode integer, btime time, tdate date, tmem memo, x varchar(20))"),
        QStringList { "create table rmenu (tcode integer, btime time COLLATE TAVOTIME, tdate date COLLATE "
                      "TAVODATE, tmem text, x varchar(20))" });
    // Already declared, a table constraint, and create ... as select stay as written.
    for (const char* kept : { "create table t (a time collate binary, primary key (a))",
             "create table t as select * from u", "create temp table t (a int)" })
        EXPECT_EQ(sql::rewrite(kept), QStringList { kept });
}

TEST(SqlDialect, PlainSelectsNameTheirTable)
{
    struct Case {
        const char* sql;
        const char* table;
        bool rowid;
    } cases[] = {
        { "select * from rmenu where tcode='1' order by btime", "rmenu", true },
        { "select * from taikai", "taikai", true },
        { "select max(uc) as vmax from rmenu where tcode='1'", "rmenu", true },
        { "select * from \"DTime\" d where d.x=1", "DTime", true },
        { "select distinct(roundtl) from rmenu", "rmenu", false },
        { "select tcode, count(*) from rmenu group by tcode", "", false },
        { "select * from a, b", "", false },
        { "select * from a join b on a.x=b.x", "", false },
        { "select * from (select * from a)", "", false },
        { "select * from a union select * from b", "", false },
        { "update t set a=1", "", false },
    };
    for (const auto& c : cases) {
        const auto shape = sql::analyzeSelect(c.sql);
        EXPECT_EQ(shape.table, QString(c.table)) << c.sql;
        EXPECT_EQ(shape.rowidInsert >= 0, c.rowid) << c.sql;
    }
    const QString s = "select tname, tdate from taikai order by 2";
    EXPECT_EQ(sql::withRowid(s, sql::analyzeSelect(s), "r"),
        "select tname, tdate , rowid AS r from taikai order by 2");
}

TEST(SqlDialect, TimesOrderByValue)
{
    EXPECT_EQ(compareTimes("9:30:00", "10:00:00"), -1);
    EXPECT_EQ(compareTimes("23:59:59", "0:00:00"), 1);
    EXPECT_EQ(compareTimes("09:30:00", "9:30:00"), 0);
    EXPECT_EQ(compareTimes("9:30", "9:30:01"), -1);
    // Texts that are no times come first, in byte order.
    EXPECT_EQ(compareTimes("", "0:00:00"), -1);
    EXPECT_EQ(compareTimes("abc", "abd"), -1);
    EXPECT_EQ(compareTimes("9:3:00", "0:00:00"), -1);
}

TEST(SqlDialect, DatesOrderByValue)
{
    EXPECT_EQ(compareDates("12/31/2023", "01/01/2024"), -1);
    EXPECT_EQ(compareDates("3/9/2024", "03/09/2024"), 0);
    EXPECT_EQ(compareDates("2024/03/09", "03/10/2024"), -1);
    EXPECT_EQ(compareDates("2024-03-09", "03/09/2024"), 0);
    EXPECT_EQ(compareDates("03/09/2024 10:00:00", "03/09/2024 9:00:00"), 1);
    EXPECT_EQ(compareDates("13/01/2024", "01/01/2024"), -1); // no month 13: not a date
}

TEST(SqlDialect, DateAndTimeTexts)
{
    EXPECT_EQ(sql::parseDate("12/31/2024"), QDate(2024, 12, 31));
    EXPECT_EQ(sql::parseDate("2024/3/9"), QDate(2024, 3, 9));
    EXPECT_FALSE(sql::parseDate("02/30/2024"));
    EXPECT_FALSE(sql::parseDate("9:30:00"));
    EXPECT_EQ(sql::parseTime(" 9:05:07 "), QTime(9, 5, 7));
    EXPECT_FALSE(sql::parseTime("24:00:00"));
    EXPECT_FALSE(sql::parseTime("9:60:00"));
    EXPECT_EQ(sql::parseDateTime("03/09/2024 9:05:00"), QDateTime(QDate(2024, 3, 9), QTime(9, 5)));
    EXPECT_EQ(sql::storedDate(QDate(2024, 3, 9)), "03/09/2024");
    EXPECT_EQ(sql::storedTime(QTime(0, 0, 50)), "0:00:50");
    EXPECT_EQ(sql::shownDate(QDate(2024, 12, 31)), "2024/12/31");
}

TEST(SqlDialect, ColumnTypesCarryTheCollations)
{
    EXPECT_EQ(sql::columnType("date"), "date COLLATE TAVODATE");
    EXPECT_EQ(sql::columnType("TIME"), "TIME COLLATE TAVOTIME");
    EXPECT_EQ(sql::columnType("timestamp"), "timestamp COLLATE TAVODATE");
    EXPECT_EQ(sql::columnType("memo"), "text");
    EXPECT_EQ(sql::columnType("varchar(8)"), "varchar(8)");
    EXPECT_EQ(sql::plainTableName("DTime.DB"), "DTime");
}
