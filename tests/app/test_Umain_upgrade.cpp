#include "app/Udm1.h"
#include "app/Umain_upgrade.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace std::chrono_literals;

namespace {

class LayoutUpgrade : public ::testing::Test {
protected:
    void SetUp() override { dm.Database1->setConnected(true); }

    void exec(const QString& sql) { dm.Database1->execute(sql); }

    QStringList rows(const QString& sql)
    {
        platform::Query& q = *dm.Qtemp2;
        q.Close();
        q.SQL = QStringList { sql };
        q.Open();
        QStringList out;
        for (q.First(); !q.Eof(); q.Next()) {
            QStringList cells;
            for (int i = 0; i < q.FieldCount(); ++i)
                cells << q.Fields(i)->AsString();
            out << cells.join(QLatin1Char('|'));
        }
        q.Close();
        return out;
    }

    QString scalar(const QString& sql)
    {
        const QStringList r = rows(sql);
        return r.isEmpty() ? QString() : r.first();
    }

    QStringList columns(const QString& table) { return dm.Database1->columnNames(table); }

    QString schema() { return rows("select sql from sqlite_master order by name").join('\n'); }

    // The layout of the first releases: text codes, no presets, no rounds.
    void createVersion1(bool withRoundColumns)
    {
        exec("create table taikai (tcode varchar(10), tname varchar(60), tdate date, status smallint,"
             " on1 varchar(8), of1 varchar(8), ons varchar(8), cont smallint, img1 varchar(255),"
             " img2 varchar(255), tmem memo)");
        exec(QStringLiteral("create table rmenu (tcode varchar(10), rr integer, btime time, etime time,"
                            " kara varchar(2), rmenu varchar(60)%1)")
                 .arg(withRoundColumns ? ", round smallint, heat smallint" : ""));
        exec("create table music (tcode varchar(10), bun varchar(1), tno time, mname varchar(255))");
        exec("create table tnow (tcode varchar(10))");
        exec("insert into tnow values ('0')");
        exec("insert into taikai (tcode,tname,tdate) values ('1','First','03/09/2024')");
        exec("insert into taikai (tcode,tname,tdate) values ('2','Second','03/09/2024')");
        exec("insert into taikai (tcode,tname,tdate) values ('202412313','Year end','12/31/2024')");
        exec("insert into taikai (tcode,tname,tdate) values ('202403091','Kept','03/09/2024')");
        exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
             "('1',1,'9:00:00','9:30:00','-','First A')");
        exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
             "('2',1,'9:00:00','9:10:00','-','Second A')");
        exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
             "('1',1,'9:30:00','10:00:00','-','First B')");
        exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
             "('202403091',1,'8:00:00','8:10:00','-','Kept A')");
        exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
             "('0',1,'9:00:00','9:05:00','-','Template')");
        exec("insert into music values ('1','w','0:01:00','/snd/one.wav')");
        exec("insert into music values ('2','r','0:02:00','/snd/two.wav')");
        exec("insert into music values ('0','o','0:00:30','/snd/template.wav')");
    }

    // The results program's table of the first releases.
    void createResults()
    {
        exec("create table result (tcode varchar(10), round smallint, heat smallint, rank smallint)");
    }

    // The current layout less the columns of the last two steps.
    void createVersion6()
    {
        dm.createMissingTables();
        exec("alter table rmenu drop uc");
        exec("alter table rmenu drop roundtl");
        exec("alter table rmenu drop heattl");
        exec("update checkv set checkv=6");
        exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round) values "
             "(202403091,1,'9:00:00','9:10:00','A','0')");
    }

    testing_support::TempHome home;
    TDM1 dm;
};

} // namespace

TEST_F(LayoutUpgrade, Version1DatabaseReachesVersion8InOneStart)
{
    createVersion1(false);
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.versionBefore, 1);
    EXPECT_EQ(r.versionAfter, 8);
    EXPECT_EQ(scalar("select checkv from checkv"), "8");
    EXPECT_EQ(scalar("select count(*) from checkv"), "1");

    // Events of one date keep apart; a code that already had its date's form stays.
    EXPECT_EQ(rows("select tname, tcode, typeof(tcode) from taikai order by rowid"),
        (QStringList { "First|202403092|integer", "Second|202403093|integer", "Year end|202412313|integer",
            "Kept|202403091|integer" }));
    // Schedule and cue rows follow their events; template rows keep code 0.
    EXPECT_EQ(rows("select rmenu, tcode, typeof(tcode), uc from rmenu order by rowid"),
        (QStringList { "First A|202403092|integer|1", "Second A|202403093|integer|2",
            "First B|202403092|integer|3", "Kept A|202403091|integer|4", "Template|0|integer|5" }));
    EXPECT_EQ(rows("select mname, tcode from music order by rowid"),
        (QStringList { "/snd/one.wav|202403092", "/snd/two.wav|202403093", "/snd/template.wav|0" }));
    // The statements of the later windows find the rows.
    EXPECT_EQ(scalar("select count(*) from rmenu where tcode='202403092' and btime>='9:15:00'"), "1");

    const QStringList taikai = columns("taikai");
    for (const char* c : { "sq1", "sq2", "sq3", "sq4", "sq5", "tcode" })
        EXPECT_TRUE(taikai.contains(QLatin1String(c), Qt::CaseInsensitive)) << c;
    const QStringList rmenu = columns("rmenu");
    for (const char* c :
        { "tcode", "ITT", "WUT", "RCT", "OVT", "ROUND", "HEAT", "SCT", "uc", "ROUNDTL", "HEATTL" })
        EXPECT_TRUE(rmenu.contains(QLatin1String(c), Qt::CaseInsensitive)) << c;
    EXPECT_FALSE(taikai.contains("tcode_new", Qt::CaseInsensitive));
}

TEST_F(LayoutUpgrade, RoundTitlesComeFromTheHeatTexts)
{
    // A database whose round columns were there before their step: that step adds only the rest.
    createVersion1(true);
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round,heat) values "
         "('1',1,'10:00:00','10:05:00','予選 1 ヒート 1','1','1')");
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round,heat) values "
         "('1',1,'10:05:00','10:10:00','決勝 ヒート 3','2','3')");
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round,heat) values "
         "('1',1,'10:10:00','10:15:00','練習 A','3','1')");
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round,heat) values "
         "('1',1,'10:15:00','10:20:00','開会 の 式 です','0','0')");
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,round,heat) values "
         "('1',1,'10:20:00','10:25:00','Single','4','1')");

    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.versionAfter, 8);
    EXPECT_EQ(rows("select rmenu, roundtl, heattl from rmenu where btime>='10:00:00' order by btime"),
        (QStringList { QStringLiteral("予選 1 ヒート 1|予選|ヒート"), QStringLiteral("決勝 ヒート 3|決勝|3"),
            QStringLiteral("練習 A|練習|A"), QStringLiteral("開会 の 式 です||"), "Single||" }));
    EXPECT_EQ(scalar("select count(*) from rmenu where roundtl is null and heattl is null and round=0"), "1");
}

TEST_F(LayoutUpgrade, Version8DatabaseIsLeftUntouched)
{
    dm.createMissingTables();
    exec("insert into taikai (tcode,tname,tdate) values (202403091,'A','03/09/2024')");
    exec("insert into rmenu (tcode,rr,btime,etime,rmenu,uc,round) values (202403091,1,'9:00:00','9:10:00','A "
         "1 B 2',7,'1')");
    const QString before = schema();
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.versionBefore, 8);
    EXPECT_EQ(r.versionAfter, 8);
    for (const QString& s : r.statements)
        EXPECT_TRUE(s.startsWith("select", Qt::CaseInsensitive)) << s.toStdString();
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(rows("select uc, roundtl from rmenu"), QStringList { "7|" });
}

TEST_F(LayoutUpgrade, FailingCodeRebuildKeepsTheOldCodesAndIsTriedAgain)
{
    createVersion1(false);
    // The old code column cannot be dropped while an index holds it.
    exec("create index taikai_code on taikai (tcode)");
    LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_NE(r.failure, "");
    EXPECT_EQ(r.versionAfter, 3);
    EXPECT_EQ(rows("select tcode from taikai order by rowid"),
        (QStringList { "1", "2", "202412313", "202403091" }));
    EXPECT_EQ(
        rows("select tcode from rmenu order by rowid"), (QStringList { "1", "2", "1", "202403091", "0" }));
    EXPECT_FALSE(columns("taikai").contains("tcode_new", Qt::CaseInsensitive));
    EXPECT_FALSE(columns("rmenu").contains("uc", Qt::CaseInsensitive)); // no later step ran

    exec("drop index taikai_code");
    r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.versionBefore, 3);
    EXPECT_EQ(r.versionAfter, 8);
    EXPECT_EQ(scalar("select tcode from taikai where tname='First'"), "202403092");
}

TEST_F(LayoutUpgrade, FailingRowLoopTakesBackTheColumnItsStepAdded)
{
    createVersion6();
    // A trigger body holds ';', which the program's statement splitting does not take: create it
    // on a connection of its own.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(dm.Database1->path().toUtf8().constData(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw,
                  "create trigger refuse before update on rmenu begin select raise(abort, 'refused'); end",
                  nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(raw);
    const QString before = schema();
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_TRUE(r.failure.contains("refused")) << r.failure.toStdString();
    // The step in the operator's words and the version the database stays at.
    EXPECT_TRUE(r.failure.startsWith(QStringLiteral("手順「スケジュールに通し番号を付与」で止まりました。"
                                                    "データベースはバージョン 6 のまま")))
        << r.failure.toStdString();
    EXPECT_EQ(r.versionAfter, 6);
    EXPECT_FALSE(columns("rmenu").contains("uc", Qt::CaseInsensitive));
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(rows("select rmenu from rmenu"), QStringList { "A" });
}

TEST_F(LayoutUpgrade, LostVersionOfACurrentDatabaseIsRecordedWithoutRewritingRows)
{
    for (const char* loss : { "drop table checkv", "delete from checkv", "update checkv set checkv=null" }) {
        SCOPED_TRACE(loss);
        exec("drop table if exists taikai; drop table if exists rmenu");
        dm.createMissingTables();
        // An event whose date was edited keeps its code; numbers and titles the operator set.
        exec("insert into taikai (tcode,tname,tdate) values (202403091,'Moved','04/01/2024')");
        exec("insert into rmenu (tcode,rr,btime,etime,rmenu,uc,round,roundtl,heattl) values "
             "(202403091,1,'9:00:00','9:10:00','予選 1 ヒート 1',7,'1','Qualify','Heat A')");
        exec(QLatin1String(loss));
        const QString before = schema();
        const LayoutUpgradeResult r = upgradeTableLayout(dm);
        EXPECT_EQ(r.failure, "");
        EXPECT_EQ(r.versionBefore, 8);
        EXPECT_EQ(rows("select checkv from checkv"), QStringList { "8" });
        EXPECT_EQ(rows("select tcode, tdate from taikai"), QStringList { "202403091|2024/04/01" });
        EXPECT_EQ(rows("select uc, roundtl, heattl from rmenu"), QStringList { "7|Qualify|Heat A" });
        if (QLatin1String(loss) != QLatin1String("drop table checkv")) {
            EXPECT_EQ(schema(), before);
        }
        for (const QString& s : r.statements)
            EXPECT_FALSE(
                s.startsWith("alter", Qt::CaseInsensitive) || s.startsWith("update", Qt::CaseInsensitive))
                << s.toStdString();
    }
}

TEST_F(LayoutUpgrade, LostVersionOfAnOldLayoutStartsAtVersion1)
{
    createVersion1(false);
    exec("create table checkv (checkv smallint)"); // the table is there, its row is not
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.versionBefore, 1);
    EXPECT_EQ(rows("select checkv from checkv"), QStringList { "8" });
}

TEST_F(LayoutUpgrade, WaitsForAnotherProgramWritingTheDatabase)
{
    createVersion1(false);
    createResults();
    // The results program writes for a whole second while the program starts.
    {
        const testing_support::OtherWriter results(
            dm.Database1->path(), "insert into result values ('1', 1, 2, 1)", 1000ms);
        const LayoutUpgradeResult r = upgradeTableLayout(dm);
        EXPECT_EQ(r.failure, "");
        EXPECT_EQ(r.versionAfter, 8);
    }
    // Its row was in before the codes were rebuilt, and follows its event.
    EXPECT_EQ(rows("select tcode, heat from result"), QStringList { "202403092|2" });
}

TEST_F(LayoutUpgrade, ResultAndTnowRowsFollowTheirEventToItsNewCode)
{
    createVersion1(false);
    createResults();
    exec("insert into result values ('1', 1, 1, 1); insert into result values ('2', 1, 1, 1);"
         "insert into result values ('202403091', 2, 1, 3); insert into result values ('9', 1, 1, 1)");
    exec("update tnow set tcode='2'");
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    // A row of no event (code 9) is left as it was.
    EXPECT_EQ(rows("select tcode, rank from result order by rowid"),
        (QStringList { "202403092|1", "202403093|1", "202403091|3", "9|1" }));
    EXPECT_EQ(scalar("select tcode from tnow"), "202403093");
    // The console's results lookup finds the rows by the event's new code.
    EXPECT_EQ(scalar("select count(*) from result where tcode='202403092' and round='1' and heat='1'"), "1");
}

TEST_F(LayoutUpgrade, UnreadableEventDateIsNamedAndTheNextStartGoesOnOnceMended)
{
    createVersion1(false);
    // Written by another program, past the data layer's date checks.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(dm.Database1->path().toUtf8().constData(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, "update taikai set tdate='2024/13/45' where tname='Second'", nullptr, nullptr,
                  nullptr),
        SQLITE_OK);
    sqlite3_close(raw);

    LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.versionAfter, 3);
    for (const QString& part : { QStringLiteral("手順「大会コードを開催日から作り直し」"),
             QStringLiteral("バージョン 3 のまま"), QStringLiteral("大会「Second」(大会コード 2)"),
             QStringLiteral("'2024/13/45'"), QStringLiteral("Mente") })
        EXPECT_TRUE(r.failure.contains(part)) << part.toStdString() << "\n" << r.failure.toStdString();
    EXPECT_EQ(rows("select tcode from taikai order by rowid"),
        (QStringList { "1", "2", "202412313", "202403091" }));

    // Mended the way the message says, in the maintenance panel.
    exec("update taikai set tdate='03/10/2024' where tcode='2'");
    r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.versionBefore, 3);
    EXPECT_EQ(r.versionAfter, 8);
    EXPECT_EQ(scalar("select tcode from taikai where tname='Second'"), "202403101");
    EXPECT_EQ(scalar("select tcode from rmenu where rmenu='Second A'"), "202403101");
}

TEST_F(LayoutUpgrade, TenthEventOfADateGetsATwoDigitSequenceRatherThanASharedCode)
{
    createVersion1(false);
    for (int i = 0; i < 7; ++i)
        exec(QStringLiteral("insert into taikai (tcode,tname,tdate) values ('x%1','More','03/09/2024')")
                 .arg(i));
    const LayoutUpgradeResult r = upgradeTableLayout(dm);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(scalar("select count(distinct tcode) from taikai"), "11");
    EXPECT_EQ(scalar("select max(tcode) from taikai where tname='More'"), "2024030910");
}
