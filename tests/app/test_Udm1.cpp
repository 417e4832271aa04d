#include "app/Udm1.h"
#include "app/Umain_upgrade.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

QString scalar(TDM1& dm, const QString& sql)
{
    dm.Qtemp2->Close();
    dm.Qtemp2->SQL = QStringList { sql };
    dm.Qtemp2->Open();
    const QString value = dm.Qtemp2->Eof() ? QString() : dm.Qtemp2->Fields(0)->AsString();
    dm.Qtemp2->Close();
    return value;
}

} // namespace

TEST(TDM1, HoldsEveryDataSetWithItsDesignTimeSql)
{
    testing_support::TempHome home;
    TDM1 dm;
    EXPECT_EQ(dm.Qtaikai->SQL, (QStringList { "select * from taikai", "order by tdate" }));
    for (platform::Query* q : { dm.Qrmenu, dm.Qnext, dm.Qresult })
        EXPECT_EQ(q->SQL, QStringList { "select * from rmenu" }) << q->objectName().toStdString();
    for (platform::Query* q : { dm.Qwarm, dm.Qrace, dm.Qover, dm.Qint })
        EXPECT_EQ(q->SQL, QStringList { "select * from music" }) << q->objectName().toStdString();
    for (platform::Query* q : { dm.Qtemp, dm.Qedit, dm.Qresu, dm.Qdtime, dm.Qimg, dm.Qtemp2 })
        EXPECT_TRUE(q->SQL.isEmpty()) << q->objectName().toStdString();
    EXPECT_EQ(dm.DStaikai->dataSet(), dm.Tbtaikai);
    EXPECT_EQ(dm.DSwarm->dataSet(), dm.Qwarm);
    EXPECT_EQ(dm.DSrace->dataSet(), dm.Qrace);
    EXPECT_EQ(dm.DSover->dataSet(), dm.Qover);
    EXPECT_EQ(dm.DSint->dataSet(), dm.Qint);
    EXPECT_EQ(dm.DSrmenu->dataSet(), dm.Qrmenu);
    EXPECT_EQ(dm.DSnext->dataSet(), dm.Qnext);
    EXPECT_EQ(dm.DStemp->dataSet(), dm.Qtemp);
    EXPECT_EQ(dm.DSresult->dataSet(), dm.Qresult);
    EXPECT_EQ(dm.Tbdt->TableName, "DTime.DB");
    EXPECT_EQ(dm.Tbtaikai->TableName, "taikai.DB");
    EXPECT_FALSE(dm.Database1->connected());
}

TEST(TDM1, FirstStartCreatesEveryTableAtTheCurrentLayout)
{
    testing_support::TempHome home;
    TDM1 dm;
    dm.reconnect();
    for (const char* t : { "taikai", "rmenu", "music", "tnow", "checkv", "result", "dtime" })
        EXPECT_TRUE(dm.Database1->tableExists(QLatin1String(t))) << t;
    EXPECT_EQ(scalar(dm, "select * from checkv"), "8");
    EXPECT_EQ(scalar(dm, "select count(*) from tnow"), "1");
    EXPECT_EQ(scalar(dm, "select * from tnow"), "0");

    // A second start creates nothing more.
    dm.reconnect();
    EXPECT_EQ(scalar(dm, "select count(*) from tnow"), "1");
    EXPECT_EQ(upgradeTableLayout(dm).versionBefore, 8);
}

// The statements of the event list, the console and the printout run on the created tables
// as those windows write them.
TEST(TDM1, CreatedTablesTakeTheStatementsOfTheWindows)
{
    testing_support::TempHome home;
    TDM1 dm;
    dm.reconnect();
    platform::Query& q = *dm.Qedit;
    auto exec = [&](const QStringList& sql) {
        q.SQL = sql;
        q.ExecSQL();
    };
    exec({ "insert into taikai (tcode,tname,tdate,status,on1,of1,on2,of2",
        ",on3,of3,on4,of4,on5,of5,ons)values(",
        "'202403092','Spring','03/09/2024','1','0:00:00','0:00:50','0:00:00','0:00:40',",
        "'0:00:00','0:00:30','0:00:00','0:00:20','0:00:00','0:00:10','0:00:00')" });
    exec({ "update taikai set", "on1='0:00:00'", ",cont='1'", ",sq1='0:03:00'", "where tcode='202403092'" });
    exec({ "update taikai set img1='/tmp/h.png' where tcode='202403092'" });
    exec({ "update taikai set status=0" });
    exec({ "update tnow set tcode='202403092'" });
    exec({ "insert into rmenu (tcode,rr,btime,etime,kara,rmenu,uc,round,heat)values(",
        "'202403092',1,'9:30:00',", "'10:00:00','-','Practice','1'", ",'0','0')" });
    exec({ "insert into rmenu (tcode,rr,btime,etime,kara,rmenu,round,heat,uc,roundtl,heattl)values(",
        "'202403092',-1,'10:00:00',", "'10:05:00','-','予選 1 ヒート 1',", "'1','1','2'",
        ",'予選','ヒート')" });
    exec({ "update rmenu set rr='-1' where tcode='202403092'", "and btime<='10:00:00'" });
    exec({ "insert into music (tcode,bun,tno,mname)values(", "'202403092','w',",
        "'0:01:00','/snd/a''b.wav')" });
    exec({ "insert into result (tcode,round,heat) values ('202403092','1','1')" });

    auto count = [&](const QString& sql) { return scalar(dm, sql); };
    EXPECT_EQ(count("select count(*) from taikai where tcode>='202403091' and tcode<='202403099'"), "1");
    EXPECT_EQ(count("select count(*) from taikai where tdate='03/09/2024'"), "1");
    EXPECT_EQ(count("select count(*) from rmenu where tcode='202403092' and btime>='9:45:00'"), "1");
    EXPECT_EQ(count("select count(*) from rmenu where round<>'0' and round<>''"), "1");
    EXPECT_EQ(count("select max(uc) as vmax from rmenu where tcode='202403092'"), "2");
    EXPECT_EQ(count("select mname from music where tcode='202403092' and bun='w' and tno<'0:03:00'"),
        "/snd/a'b.wav");
    EXPECT_EQ(count("select count(*) from result where tcode='202403092' and round='1' and heat='1'"), "1");
    EXPECT_EQ(count("select * from tnow"), "202403092");
    dm.Qdtime->SQL = QStringList { "select * from dtime" };
    dm.Qdtime->RequestLive = true;
    EXPECT_NO_THROW(dm.Qdtime->Open());
    dm.Tbdt->Open();
    EXPECT_TRUE(dm.Tbdt->Active());
}

TEST(TDM1, ReconnectFailureRaisesDatabaseError)
{
    testing_support::TempHome home;
    TDM1 dm;
    dm.Database1->setPath(home.file("no-such-folder/tavo.db"));
    EXPECT_THROW(dm.reconnect(), platform::DatabaseError);
}
