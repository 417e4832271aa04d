#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using platform::DatabaseError;
using platform::DataSetState;
using platform::Query;
using platform::Table;
using namespace std::chrono_literals;

namespace {

// A fresh data folder with the program's database in it.
class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override { db.setConnected(true); }

    QStringList column(const QString& sql, const QString& field)
    {
        Query q(&db);
        q.SQL << sql;
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next())
            out << q.FieldByName(field)->AsString();
        return out;
    }

    void makeEvents()
    {
        db.execute("create table taikai (tcode integer, tname varchar(40), tdate date, status smallint,"
                   " on1 time, tmem memo)");
        db.execute("insert into taikai (tcode,tname,tdate,status,on1) values "
                   "('202403092','B','03/09/2024','1','0:00:50');"
                   "insert into taikai (tcode,tname,tdate,status,on1) values "
                   "('202312313','A','12/31/2023','1','10:00:00');"
                   "insert into taikai (tcode,tname,tdate,status,on1) values "
                   "('202401011','C','01/01/2024','1','9:30:00')");
    }

    testing_support::TempHome home;
    platform::Database db;
};

} // namespace

// ---- literal forms as the program writes them ----------------------------------------------------

TEST_F(DataSetTest, DatabaseIsTheProgramsFileInTheDataFolderInWalMode)
{
    EXPECT_EQ(db.path(), home.file("tavo.db"));
    EXPECT_TRUE(QFile::exists(home.file("tavo.db")));
    Query q(&db);
    q.SQL << "PRAGMA journal_mode";
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), "wal");
}

TEST_F(DataSetTest, QuotedCodeFindsIntegerColumn)
{
    makeEvents();
    EXPECT_EQ(column("select * from taikai where tcode='202403092'", "tname"), QStringList { "B" });
    EXPECT_EQ(column("select * from taikai where tcode>='202401011' and tcode<='202401019' order by tcode",
                  "TCODE"),
        QStringList { "202401011" });
    EXPECT_EQ(db.execute("delete from taikai where tcode='202403092'"), 1);
}

TEST_F(DataSetTest, AStatementHoldingNulIsRefusedInWords)
{
    makeEvents();
    try {
        db.execute(QStringLiteral("update taikai set tname='a") + QChar(0) + QStringLiteral("b'"));
        FAIL() << "the statement ran";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("SQL文に NUL 文字が含まれているため実行できません。"));
    }
    EXPECT_EQ(column("select * from taikai order by tcode", "tname"), QStringList({ "A", "C", "B" }));
}

TEST_F(DataSetTest, DatesCompareAndSortAcrossYears)
{
    makeEvents();
    EXPECT_EQ(column("select * from taikai order by tdate desc", "tname"), (QStringList { "B", "C", "A" }));
    EXPECT_EQ(column("select * from taikai where tdate>='01/01/2024' order by tdate", "tname"),
        (QStringList { "C", "B" }));
    EXPECT_EQ(column("select * from taikai where tdate='1/1/2024'", "tname"), QStringList { "C" });
}

TEST_F(DataSetTest, TimesWithOneOrTwoHourDigitsCompareAndSortAsTimes)
{
    db.execute("create table rmenu (tcode integer, btime time, etime time, rmenu varchar(24))");
    db.execute("insert into rmenu values ('1','10:00:00','10:30:00','late');"
               "insert into rmenu values ('1','9:30:00','10:00:00','early');"
               "insert into rmenu values ('1','0:15:00','0:45:00','night')");
    EXPECT_EQ(column("select * from rmenu where tcode='1' order by btime", "rmenu"),
        (QStringList { "night", "early", "late" }));
    EXPECT_EQ(column("select * from rmenu where btime>='9:30:00' order by btime", "rmenu"),
        (QStringList { "early", "late" }));
    EXPECT_EQ(column("select * from rmenu where etime>='9:59:59' order by etime desc", "rmenu"),
        (QStringList { "late", "early" }));
}

TEST_F(DataSetTest, AlterWithSeveralAddsAndDrop)
{
    db.execute("create table rmenu (tcode integer, rmenu varchar(24))");
    Query q(&db);
    q.SQL << "alter table rmenu add ITT time,add WUT time ,add RCT time,"
          << "add OVT time,add ROUND smallint,add HEAT smallint,add SCT time";
    q.ExecSQL();
    EXPECT_EQ(db.columnNames("rmenu"),
        (QStringList { "tcode", "rmenu", "ITT", "WUT", "RCT", "OVT", "ROUND", "HEAT", "SCT" }));
    db.execute("alter table rmenu drop rmenu");
    EXPECT_EQ(db.columnNames("RMENU").size(), 8);
    EXPECT_FALSE(db.columnNames("rmenu").contains("rmenu"));
    // The added time columns order by value too.
    db.execute("insert into rmenu (tcode,ITT) values (1,'10:00:00');insert into rmenu (tcode,ITT) values "
               "(1,'9:00:00')");
    EXPECT_EQ(column("select * from rmenu order by itt", "itt"), (QStringList { "9:00:00", "10:00:00" }));
}

TEST_F(DataSetTest, FailingAddLeavesTableAsItWas)
{
    db.execute("create table taikai (tcode integer, sq2 varchar(8))");
    EXPECT_THROW(db.execute("alter table taikai add sq1 varchar(8),add sq2 varchar(8)"), DatabaseError);
    EXPECT_EQ(db.columnNames("taikai"), (QStringList { "tcode", "sq2" }));
}

TEST_F(DataSetTest, UpdateMatchingNoRowSucceedsWithZeroRows)
{
    makeEvents();
    Query q(&db);
    q.SQL << "update taikai set tname='X'"
          << "where tcode='999999999'";
    EXPECT_EQ(q.ExecSQL(), 0);
    EXPECT_EQ(q.RowsAffected(), 0);
    q.SQL.clear();
    q.SQL << "update taikai set status=0";
    EXPECT_EQ(q.ExecSQL(), 3);
}

// What SQLite refuses is said in Japanese, naming the database file and the cause, with SQLite's
// own words kept under it as a detail; each row makes SQLite fail for real.
TEST_F(DataSetTest, FailuresAreSaidInJapaneseNamingTheFileAndTheCause)
{
    auto said = [](const std::function<void()>& act) -> QString {
        try {
            act();
        } catch (const DatabaseError& e) {
            return e.message();
        }
        return QStringLiteral("<no failure>");
    };
    auto connection = [](const QString& path) {
        auto d = std::make_unique<platform::Database>();
        d->setPath(path);
        return d;
    };
    // A database with a table of a few pages.
    auto fresh = [&](const QString& path) {
        auto d = connection(path);
        d->execute("create table t (n integer, b blob)");
        d->execute("insert into t values (1, zeroblob(20000))");
        return d;
    };
    const QString big = QStringLiteral("insert into t values (2, zeroblob(300000))");
    auto systemSays = [](int e) { return QString::fromLocal8Bit(std::strerror(e)); };
    struct Row {
        QString file; // in the data folder
        std::function<QString(const QString& path)> fail;
        QString text; // %1: the file
    };
    const std::vector<Row> rows {
        { "full.db", // the page limit refuses the write as a full disk does (SQLITE_FULL)
            [&](const QString& path) {
                auto d = fresh(path);
                d->execute("PRAGMA max_page_count=20");
                return said([&] { d->execute(big); });
            },
            "ディスクがいっぱいのため、データベースファイル %1 に書き込めません。\n"
            "詳細: database or disk is full" },
        { "write.db", // writes refused past 64 KB (RLIMIT_FSIZE: EFBIG)
            [&](const QString& path) {
                fresh(path);
                return testing_support::inChildWithFileSizeLimit(
                    64 * 1024, [&] { return said([&] { connection(path)->execute(big); }); });
            },
            "データベースファイル %1 に書き込めません（ディスクの書き込みエラー）。\n"
            "詳細: disk I/O error" },
        { "readonly.db", // a read-only connection (file modes do not stop a test run as root)
            [&](const QString& path) {
                auto d = fresh(path);
                d->execute("PRAGMA query_only=1");
                return said([&] { d->execute("delete from t"); });
            },
            "データベースファイル %1 は読み取り専用のため、書き込めません。\n"
            "詳細: attempt to write a readonly database" },
        { "no-such-folder/cantopen.db",
            [&](const QString& path) { return said([&] { connection(path)->setConnected(true); }); },
            "データベースファイル %1 を開けません（フォルダがないか、ファイルでないか、"
            "アクセスが許可されていません）。\n詳細: unable to open database file ("
                + systemSays(ENOENT) + ")" },
        { "notadb.db",
            [&](const QString& path) {
                testing_support::writeCp932File(path, QString(200, QLatin1Char('x')));
                return said([&] { connection(path)->setConnected(true); });
            },
            "ファイル %1 はデータベースではありません。\n詳細: file is not a database" },
        { "busy.db", // another program's write, and no time to wait for it
            [&](const QString& path) {
                auto d = fresh(path);
                d->execute("PRAGMA busy_timeout=0");
                const testing_support::OtherWriter results(path, "insert into t values (3, null)", 200ms);
                return said([&] { d->execute("insert into t values (4, null)"); });
            },
            "データベースファイル %1 はほかのプログラムが使用中です。\n詳細: database is locked" },
        { "statement.db",
            [&](const QString& path) {
                return said([&] { fresh(path)->execute("select * from nosuchtable"); });
            },
            "データベースファイル %1 で SQL 文を実行できません。\n詳細: no such table: nosuchtable" },
    };
    for (const Row& row : rows) {
        const QString path = home.file(row.file);
        EXPECT_EQ(row.fail(path).toStdString(), row.text.arg(QDir::toNativeSeparators(path)).toStdString());
    }

    // A statement that fails leaves the query closed.
    Query q(&db);
    q.SQL << "select * from nosuchtable";
    EXPECT_THROW(q.Open(), DatabaseError);
    EXPECT_FALSE(q.Active());
    q.SQL.clear();
    q.SQL << "selec 1";
    EXPECT_THROW(q.ExecSQL(), DatabaseError);
}

TEST_F(DataSetTest, TableNamesWithParadoxExtension)
{
    makeEvents();
    EXPECT_TRUE(db.tableExists("taikai.DB"));
    EXPECT_TRUE(db.tableExists("TAIKAI"));
    EXPECT_FALSE(db.tableExists("checkv"));
    Table t(&db);
    t.TableName = "Taikai.DB";
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_TRUE(t.CanModify());
}

// ---- reading fields ----------------------------------------------------------------------------------

TEST_F(DataSetTest, FieldsReadByDeclaredType)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai where tcode='202403092'";
    q.Open();
    EXPECT_EQ(q.FieldByName("TDATE")->AsString(), "2024/03/09");
    EXPECT_EQ(q.FieldByName("tdate")->AsDateTime(), QDateTime(QDate(2024, 3, 9), QTime(0, 0)));
    EXPECT_EQ(q.FieldByName("on1")->AsString(), "0:00:50");
    EXPECT_EQ(q.FieldByName("on1")->AsTime(), QTime(0, 0, 50));
    EXPECT_EQ(q.FieldByName("tcode")->AsString(), "202403092");
    EXPECT_EQ(q.FieldByName("tcode")->AsInteger(), 202403092);
    EXPECT_EQ(q.FieldByName("status")->AsString(), "1");
    EXPECT_THROW(q.FieldByName("nosuch"), DatabaseError);
    EXPECT_EQ(q.FindField("nosuch"), nullptr);
}

TEST_F(DataSetTest, NullsReadAsZeroOrEmpty)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai where tcode='202403092'";
    q.Open();
    for (const char* f : { "tmem" }) {
        EXPECT_TRUE(q.FieldByName(f)->IsNull());
        EXPECT_EQ(q.FieldByName(f)->AsString(), "");
        EXPECT_EQ(q.FieldByName(f)->AsInteger(), 0);
        EXPECT_EQ(q.FieldByName(f)->AsFloat(), 0.0);
    }
    q.SQL.clear();
    q.SQL << "select max(tcode) as vmax from taikai where tcode='1'";
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1);
    EXPECT_TRUE(q.FieldByName("vmax")->IsNull());
    EXPECT_EQ(q.FieldByName("vmax")->AsInteger() + 1, 1);
    EXPECT_EQ(q.FieldByName("vmax")->AsString(), "");
}

TEST_F(DataSetTest, TimeStoredWithLeadingZeroReadsWithout)
{
    db.execute("create table t (a time, b date)");
    db.execute("insert into t values ('09:05:00','2024-03-09')");
    Query q(&db);
    q.SQL << "select * from t";
    q.Open();
    EXPECT_EQ(q.FieldByName("a")->AsString(), "9:05:00");
    EXPECT_EQ(q.FieldByName("b")->AsString(), "2024/03/09");
}

// ---- navigation ---------------------------------------------------------------------------------------

TEST_F(DataSetTest, NavigationBothWays)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai"
          << "order by tdate";
    q.Open();
    EXPECT_TRUE(q.Bof());
    EXPECT_FALSE(q.Eof());
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.RecNo(), 1);
    QStringList forward, backward;
    while (!q.Eof()) {
        forward << q.FieldByName("tname")->AsString();
        q.Next();
    }
    EXPECT_EQ(q.RecNo(), 3);
    q.Last();
    EXPECT_TRUE(q.Eof());
    EXPECT_FALSE(q.Bof());
    while (!q.Bof()) {
        backward << q.FieldByName("tname")->AsString();
        q.Prior();
    }
    EXPECT_EQ(forward, (QStringList { "A", "C", "B" }));
    EXPECT_EQ(backward, (QStringList { "B", "C", "A" }));
    q.moveTo(2);
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "C");
    EXPECT_FALSE(q.Bof() || q.Eof());
}

TEST_F(DataSetTest, EmptyResultIsBothBofAndEof)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai where tcode='1'";
    q.Open();
    EXPECT_TRUE(q.Bof());
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.RecordCount(), 0);
    EXPECT_EQ(q.RecNo(), 0);
    q.Next();
    q.Prior();
    q.Last();
    EXPECT_TRUE(q.Bof() && q.Eof());
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "");
    EXPECT_TRUE(q.FieldByName("tname")->IsNull());
}

TEST_F(DataSetTest, SingleRowLoopsEndAtOnce)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai where tcode='202403092'";
    q.Open();
    int n = 0;
    for (q.Last(); !q.Bof(); q.Prior())
        ++n;
    EXPECT_EQ(n, 1);
}

TEST_F(DataSetTest, OpenRereadsOnlyWhenTheLinesWereChanged)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai order by tdate";
    q.Open();
    q.Last();
    db.execute("delete from taikai where tname='A'");
    q.Open(); // already open on untouched lines: nothing happens
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.RecNo(), 3);
    q.SQL.clear();
    q.SQL << "select * from taikai order by tdate"; // the same text again reads afresh
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.RecNo(), 1);
}

// ---- live results ---------------------------------------------------------------------------------------

TEST_F(DataSetTest, LiveEditPostWritesTheRow)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai order by tdate";
    q.RequestLive = true;
    q.Open();
    ASSERT_TRUE(q.CanModify());
    for (q.First(); !q.Eof(); q.Next()) {
        const QString d = q.FieldByName("tdate")->AsString();
        q.Edit();
        q.FieldByName("tcode")->SetAsString(d.mid(0, 4) + d.mid(5, 2) + d.mid(8, 2) + "1");
        EXPECT_EQ(q.State(), DataSetState::Edit);
        q.Post();
    }
    EXPECT_EQ(column("select * from taikai order by tcode", "tcode"),
        (QStringList { "202312311", "202401011", "202403091" }));
    // Stored as integers: the quoted literal still finds them.
    EXPECT_EQ(column("select * from taikai where tcode='202401011'", "tname"), QStringList { "C" });
}

TEST_F(DataSetTest, DateFieldWritesStoreStatementForm)
{
    makeEvents();
    Table t(&db);
    t.TableName = "taikai";
    t.Open();
    ASSERT_TRUE(t.Locate("tcode", "202403092"));
    t.Edit();
    t.FieldByName("tdate")->SetAsString("2025/01/02");
    t.FieldByName("on1")->SetValue(QTime(9, 5, 0));
    t.Post();
    EXPECT_EQ(t.FieldByName("tdate")->AsString(), "2025/01/02");
    EXPECT_EQ(column("select * from taikai where tdate='01/02/2025'", "on1"), QStringList { "9:05:00" });
    t.Edit();
    t.FieldByName("tdate")->SetValue(QDate(2023, 1, 1));
    t.Post();
    EXPECT_EQ(column("select * from taikai order by tdate", "tname"), (QStringList { "B", "A", "C" }));
    t.Edit();
    EXPECT_THROW(t.FieldByName("tdate")->SetAsString("not a date"), DatabaseError);
    t.Cancel();
}

TEST_F(DataSetTest, AppendPostAddsRowAndCancelDropsIt)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select tname, tcode from taikai";
    q.RequestLive = true;
    q.Open();
    q.Append();
    EXPECT_EQ(q.State(), DataSetState::Insert);
    EXPECT_EQ(q.RecordCount(), 4);
    q.FieldByName("tcode")->SetAsString("202405051");
    q.FieldByName("tname")->SetAsString("D");
    q.Post();
    EXPECT_EQ(q.RecNo(), 4);
    EXPECT_EQ(q.FieldByName("tcode")->AsInteger(), 202405051);
    EXPECT_EQ(column("select * from taikai where tcode='202405051'", "tname"), QStringList { "D" });

    q.Append();
    q.FieldByName("tname")->SetAsString("never");
    q.Cancel();
    EXPECT_EQ(q.RecordCount(), 4);
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "D");
    EXPECT_EQ(db.execute("delete from taikai where tname='never'"), 0);
}

TEST_F(DataSetTest, EditCancelKeepsStoredValues)
{
    makeEvents();
    Table t(&db);
    t.TableName = "taikai";
    t.Open();
    t.Edit();
    t.FieldByName("tname")->SetAsString("changed");
    EXPECT_EQ(t.FieldByName("tname")->AsString(), "changed");
    t.Cancel();
    EXPECT_EQ(t.FieldByName("tname")->AsString(), "B");
    EXPECT_EQ(column("select * from taikai where tname='changed'", "tname"), QStringList {});
}

TEST_F(DataSetTest, MovingPostsPendingEdit)
{
    makeEvents();
    Table t(&db);
    t.TableName = "taikai";
    t.Open();
    t.Edit();
    t.FieldByName("tmem")->SetAsString("memo text");
    t.Next();
    EXPECT_EQ(t.State(), DataSetState::Browse);
    EXPECT_EQ(column("select * from taikai where tmem='memo text'", "tname"), QStringList { "B" });
}

TEST_F(DataSetTest, LeavingAnUnfilledNewRowWritesNothing)
{
    makeEvents();
    Table t(&db);
    t.TableName = "taikai";
    t.Open();
    t.Append();
    t.First();
    EXPECT_EQ(t.RecordCount(), 3);
    t.Insert();
    t.Refresh();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(column("select count(*) as n from taikai", "n"), QStringList { "3" });
}

TEST_F(DataSetTest, DeleteRemovesRowAndKeepsLoopGoing)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai order by tdate";
    q.RequestLive = true;
    q.Open();
    // Delete every row dated 2024, the usual loop shape.
    while (!q.Eof()) {
        if (q.FieldByName("tdate")->AsString().startsWith("2024"))
            q.Delete();
        else
            q.Next();
    }
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(column("select * from taikai", "tname"), QStringList { "A" });
}

TEST_F(DataSetTest, ReadOnlyQueryRefusesChanges)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai";
    q.Open();
    EXPECT_FALSE(q.CanModify());
    EXPECT_THROW(q.Edit(), DatabaseError);
    EXPECT_THROW(q.FieldByName("tname")->SetAsString("x"), DatabaseError);
    Query grouped(&db);
    grouped.SQL << "select distinct(tname) from taikai";
    grouped.RequestLive = true;
    grouped.Open();
    EXPECT_EQ(grouped.RecordCount(), 3);
    EXPECT_EQ(grouped.fieldNames(), QStringList { "tname" });
    EXPECT_FALSE(grouped.CanModify());
}

// ---- Locate, bookmarks, Refresh ------------------------------------------------------------------------

TEST_F(DataSetTest, LocateAndBookmarkAfterReopening)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai order by tdate desc";
    q.Open();
    ASSERT_TRUE(q.Locate("tcode", "202401011"));
    EXPECT_EQ(q.RecNo(), 2);
    const auto mark = q.GetBookmark();
    db.execute("insert into taikai (tcode,tname,tdate) values ('202402021','E','02/02/2024')");
    q.Close();
    q.Open();
    EXPECT_EQ(q.RecNo(), 1);
    ASSERT_TRUE(q.GotoBookmark(mark));
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "C");
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_FALSE(q.Locate("tcode", "1"));
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_TRUE(q.Locate("tdate", "12/31/2023"));
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "A");
    EXPECT_TRUE(q.Locate(QStringList { "tname", "status" }, { "B", 1 }));
    db.execute("delete from taikai where tname='B'");
    q.Close();
    q.Open();
    EXPECT_FALSE(q.GotoBookmark(mark + 1000));
}

TEST_F(DataSetTest, RefreshKeepsTheCursorOnTheSameRow)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select * from taikai order by tdate";
    q.Open();
    q.Locate("tname", "C");
    db.execute("insert into taikai (tcode,tname,tdate) values ('202001011','Z','01/01/2020')");
    int rowsSignals = 0, closedSignals = 0;
    QObject::connect(&q, &platform::DataSet::rowsChanged, [&] { ++rowsSignals; });
    QObject::connect(&q, &platform::DataSet::closed, [&] { ++closedSignals; });
    q.Refresh();
    EXPECT_EQ(rowsSignals, 1);
    EXPECT_EQ(closedSignals, 0);
    EXPECT_EQ(q.RecordCount(), 4);
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "C");
    EXPECT_EQ(q.RecNo(), 3);
}

// ---- several connections --------------------------------------------------------------------------------

TEST_F(DataSetTest, OutsideProgramReadsWhileWeWrite)
{
    makeEvents();
    platform::Database outside;
    outside.setConnected(true); // same file, as the monitor program opens it
    db.execute("create table tnow (tcode integer); insert into tnow values (0)");
    Query reader(&outside);
    reader.SQL << "select * from tnow";
    reader.Open();
    EXPECT_EQ(reader.FieldByName("tcode")->AsInteger(), 0);

    // A write inside an open transaction does not block the outside reader (WAL).
    db.execute("begin; update tnow set tcode='202403092'");
    reader.Refresh();
    EXPECT_EQ(reader.FieldByName("tcode")->AsInteger(), 0);
    db.execute("commit");
    reader.Refresh();
    EXPECT_EQ(reader.FieldByName("tcode")->AsInteger(), 202403092);
    // And the outside program's writes reach us.
    outside.execute("create table result (tcode integer, round smallint, heat smallint)");
    outside.execute("insert into result values ('202403092','1','2')");
    EXPECT_EQ(
        column("select * from result where tcode='202403092' and round='1'", "heat"), QStringList { "2" });
}

TEST_F(DataSetTest, TransactionsCommitRollBackAndNest)
{
    db.execute("create table t (n integer)");
    {
        platform::Transaction outer(db);
        EXPECT_TRUE(db.inTransaction());
        db.execute("insert into t values (1)");
        {
            platform::Transaction inner(db); // a savepoint of the outer one
            db.execute("insert into t values (2)");
        } // not committed: only the inner insert goes
        {
            platform::Transaction inner(db);
            db.execute("insert into t values (3)");
            inner.Commit();
        }
        outer.Commit();
    }
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(column("select n from t order by n", "n"), (QStringList { "1", "3" }));
    try {
        platform::Transaction tx(db);
        db.execute("insert into t values (4)");
        throw std::runtime_error("stop");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(column("select count(*) as c from t", "c"), QStringList { "2" });
}

TEST_F(DataSetTest, WritersWaitForAnotherProgramsWriteInsteadOfFailing)
{
    db.execute("create table t (n integer)");
    {
        // A transaction that reads before it writes would fail at once if it began as a reader.
        const testing_support::OtherWriter results(db.path(), "insert into t values (1)", 300ms);
        platform::Transaction tx(db);
        EXPECT_EQ(column("select count(*) as c from t", "c"), QStringList { "1" });
        db.execute("insert into t values (2)");
        tx.Commit();
    }
    {
        // One statement the layer runs as several (an alter with two clauses) waits alike.
        const testing_support::OtherWriter results(db.path(), "insert into t values (3)", 300ms);
        db.execute("alter table t add a integer, add b date");
    }
    EXPECT_EQ(column("select count(*) as c from t", "c"), QStringList { "3" });
    EXPECT_EQ(db.columnNames("t"), (QStringList { "n", "a", "b" }));
    EXPECT_EQ(db.columnType("t", "B"), "date");
    EXPECT_EQ(db.columnType("t", "none"), "");
}

// ---- query parameters --------------------------------------------------------------------------------

TEST_F(DataSetTest, ParametersAreFoundInTheTextOutsideQuotesAndComments)
{
    EXPECT_EQ(platform::parameterNames("select * from t where a=:A and b=':no' and c=:b_2 -- :not\n"
                                       "and d=:a /* :nor */ and e=\":neither\""),
        (QStringList { "A", "b_2" }));
    EXPECT_EQ(platform::parameterNames("select '12:30:00' from t"), QStringList());
}

TEST_F(DataSetTest, ParametersBindByNameAndReopenWhenAValueChanges)
{
    makeEvents();
    Query q(&db);
    q.SQL << "select tname from taikai where tdate >= :from and status = :st order by tdate";
    ASSERT_EQ(q.ParamCount(), 2);
    platform::Param* from = q.ParamByName("FROM");
    from->SetDataType(platform::FieldType::ftDate);
    from->SetAsString("2024/01/01"); // the program's date format, stored as 'mm/dd/yyyy'
    q.ParamByName("st")->SetAsInteger(1);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName("tname")->AsString(), "C");

    from->SetAsDate(QDate(2024, 3, 1));
    q.Open(); // same text, new value: read again
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(from->AsString(), "2024/03/01");

    // Changing the text keeps the parameters it still names, with their values.
    q.SQL.clear();
    q.SQL << "select tname from taikai where tdate < :from";
    EXPECT_EQ(q.ParamCount(), 1);
    EXPECT_EQ(q.ParamByName("from")->DataType(), platform::FieldType::ftDate);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FindParam("st"), nullptr);
    EXPECT_THROW(q.ParamByName("st"), DatabaseError);

    q.ParamByName("from")->Clear(); // NULL matches nothing
    q.Open();
    EXPECT_EQ(q.RecordCount(), 0);
}

TEST_F(DataSetTest, ExecutedStatementsBindTheirParametersToo)
{
    makeEvents();
    Query q(&db);
    q.SQL << "update taikai set tname=:name where tdate < :from";
    q.ParamByName("name")->SetAsString("x', tname='y"); // stored as it stands, never as SQL
    q.ParamByName("from")->SetAsDate(QDate(2024, 3, 1));
    EXPECT_EQ(q.ExecSQL(), 2);
    q.SQL.clear();
    q.SQL << "select count(*) from taikai where tname='x'', tname=''y'";
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 2);
}

TEST_F(DataSetTest, ParameterTypesDecideWhatIsBound)
{
    struct Case {
        platform::FieldType type;
        QVariant given;
        QVariant bound;
    };
    using platform::FieldType;
    const Case cases[] = {
        { FieldType::ftString, 42, "42" },
        { FieldType::ftInteger, "7", qlonglong(7) },
        { FieldType::ftBoolean, true, qlonglong(1) },
        { FieldType::ftFloat, "2.5", 2.5 },
        { FieldType::ftDate, "2024/3/9", "03/09/2024" },
        { FieldType::ftDate, QDate(2024, 12, 31), "12/31/2024" },
        { FieldType::ftTime, "9:05:00", "9:05:00" },
        { FieldType::ftDateTime, "2024/03/09 10:00:00", "03/09/2024 10:00:00" },
        { FieldType::ftDate, "not a date", "not a date" },
    };
    Query q(&db);
    q.SQL << "select :p";
    for (const Case& c : cases) {
        platform::Param* p = q.ParamByName("p");
        p->SetDataType(c.type);
        if (c.given.typeId() == QMetaType::QDate)
            p->SetAsDate(c.given.toDate());
        else if (c.given.typeId() == QMetaType::Int)
            p->SetAsInteger(c.given.toInt());
        else if (c.given.typeId() == QMetaType::Bool)
            p->SetAsBoolean(c.given.toBool());
        else
            p->SetAsString(c.given.toString());
        EXPECT_EQ(p->boundValue(), c.bound) << c.given.toString().toStdString();
        q.Open();
        EXPECT_EQ(q.Fields(0)->Value(), c.bound) << c.given.toString().toStdString();
    }
}
