// The standard schedule and cue templates copied to and from an event.

#include "ScheduleFixture.h"
#include "console/ScheduleTemplates.h"
#include "support/TestSupport.h"

using console::ScheduleTemplates;
using testing_support::ScheduleFixture;

namespace {

class ScheduleTemplatesTest : public ScheduleFixture {
protected:
    ScheduleTemplates templates() { return ScheduleTemplates(*dm, kCode); }
    // Every column a copy carries, row by row in start order.
    QString rows(const char* code)
    {
        return scalar(
            QStringLiteral("select group_concat(r, ' | ') from (select btime||','||etime||','||rmenu||','||"
                           "rr||kara||round||'.'||heat||','||uc||','||ifnull(roundtl,'')||','||"
                           "ifnull(heattl,'') as r from rmenu where tcode=%1 order by btime)")
                .arg(QLatin1String(code)));
    }
    QString cues(const char* code)
    {
        return scalar(
            QStringLiteral("select group_concat(bun||','||tno||','||mname, ' | ') from (select * from "
                           "music where tcode=%1 order by bun,tno)")
                .arg(QLatin1String(code)));
    }
};

} // namespace

TEST_F(ScheduleTemplatesTest, ScheduleSavedAndLoadedTwiceGivesTheSameRows)
{
    addScheduleRow("9:00:00", "9:30:00", "Drivers'' meeting", 1);
    addRound("Drivers' meeting", "O'Neil Cup", 1, 2);
    const QString event = rows("202403091");
    ASSERT_TRUE(templates().saveSchedule());
    EXPECT_EQ(rows("0"), event);
    EXPECT_TRUE(event.contains("9:30:00,9:35:00,O'Neil Cup 1 ヒート 1,1-1.1,2,O'Neil Cup,ヒート"))
        << event.toStdString();

    exec("delete from rmenu where tcode=202403091");
    addScheduleRow("13:00:00", "13:10:00", "old", 9);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(templates().loadSchedule());
        EXPECT_EQ(rows("202403091"), event) << i;
    }
    EXPECT_EQ(asker.questions(),
        QStringList({ console::template_text::SaveSchedule, console::template_text::LoadSchedule,
            console::template_text::LoadSchedule }));
}

TEST_F(ScheduleTemplatesTest, CuesOfAllPhasesGoBothWays)
{
    exec("insert into music (tcode,bun,tno,mname) values (202403091,'w','0:02:00','/s/Kid''s warm.wav')");
    exec("insert into music (tcode,bun,tno,mname) values (202403091,'i','0:00:10','/s/int.wav')");
    const QString event = cues("202403091");
    ASSERT_TRUE(templates().saveCues());
    EXPECT_EQ(cues("0"), event);
    exec("delete from music where tcode=202403091");
    ASSERT_TRUE(templates().loadCues());
    ASSERT_TRUE(templates().loadCues());
    EXPECT_EQ(cues("202403091"), "i,0:00:10,/s/int.wav | w,0:02:00,/s/Kid's warm.wav");
}

TEST_F(ScheduleTemplatesTest, NoCopiesNothingAndAnEmptyScheduleEmptiesTheTemplate)
{
    addAbc();
    ASSERT_TRUE(templates().saveSchedule());
    exec("delete from rmenu where tcode=202403091");
    asker.answer(false);
    EXPECT_FALSE(templates().saveSchedule());
    EXPECT_FALSE(rows("0").isEmpty());
    EXPECT_TRUE(templates().saveSchedule());
    EXPECT_TRUE(rows("0").isEmpty());
}

TEST_F(ScheduleTemplatesTest, ACopyThatFailsHalfWayLeavesTheTargetAsItWas)
{
    addAbc();
    ASSERT_TRUE(templates().saveSchedule());
    exec("delete from rmenu where tcode=202403091");
    addScheduleRow("13:00:00", "13:10:00", "kept", 1);
    // Copied rows all get "-" between their times: the template's second row then clashes with
    // its first on the way in.
    exec("update rmenu set kara=rmenu, etime='9:30:00' where tcode=0");
    exec("create unique index one_end on rmenu(tcode, kara, etime)");
    EXPECT_THROW(templates().loadSchedule(), platform::DatabaseError);
    EXPECT_EQ(chain(), QStringList { "13:00:00-13:10:00 kept" });
}
