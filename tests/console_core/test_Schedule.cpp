// The schedule commands on an event's rows: the chain they keep, their refusals, rounds and heats,
// and one transaction per command.

#include "ScheduleFixture.h"
#include "support/TestSupport.h"

using console::ScheduleOutcome;
using Place = console::ScheduleOutcome::Place;
using testing_support::ScheduleFixture;

namespace {

class ScheduleTest : public ScheduleFixture { };

const QStringList kAbc { "9:00:00-9:30:00 A", "9:30:00-9:40:00 B", "9:40:00-10:00:00 C" };

} // namespace

TEST_F(ScheduleTest, RechainKeepsTheRowsMarkedInFrontAndLaysTheOthersBehind)
{
    addAbc();
    exec("update rmenu set etime='9:50:00' where uc=2");
    exec("update rmenu set rr=-1 where uc in (1,2)");
    sched().RechainSchedule(QStringLiteral("rr,btime"));
    EXPECT_EQ(chain(), QStringList({ "9:00:00-9:30:00 A", "9:30:00-9:50:00 B", "9:50:00-10:10:00 C" }));
    EXPECT_EQ(marks(), "1");

    exec("update rmenu set etime='23:30:00' where uc=1");
    EXPECT_THROW(sched().RechainSchedule(QStringLiteral("btime")), console::ScheduleRefusal);
    EXPECT_EQ(chain()[1], "9:30:00-9:50:00 B") << "refused before the first row is written";
}

TEST_F(ScheduleTest, AddOnAnEmptyScheduleStartsItAtThePickersTimeInRoundModeToo)
{
    for (const bool roundMode : { false, true }) {
        exec("delete from rmenu");
        const auto round
            = roundMode ? std::optional(console::RoundEditor { 1, "予選", 3, "ヒート" }) : std::nullopt;
        const ScheduleOutcome out = sched().Add(editor("9:00:00", "0:30:00", "受付"), std::nullopt, round);
        EXPECT_TRUE(out.done);
        EXPECT_EQ(out.place, Place::Last);
        EXPECT_EQ(chain(), QStringList { "9:00:00-9:30:00 受付" });
        EXPECT_EQ(scalar("select uc||'/'||rr||'/'||kara||'/'||round||'/'||heat from rmenu"), "1/1/-/0/0");
    }
}

TEST_F(ScheduleTest, AddAppendsAtTheEndWhateverThePickerShows)
{
    addAbc();
    ASSERT_TRUE(sched().Add(editor("7:00:00", "0:15:00", "D"), 1, std::nullopt).done);
    EXPECT_EQ(chain().last(), "10:00:00-10:15:00 D");
    EXPECT_EQ(uc("D"), 4);
}

TEST_F(ScheduleTest, InsertAfterTheSecondRowMovesTheThirdBack)
{
    addAbc();
    const ScheduleOutcome out = sched().insert(editor("0:00:00", "0:05:00", "Drivers' meeting"), 2);
    EXPECT_EQ(out.place, Place::Row);
    EXPECT_EQ(out.uc, 4);
    EXPECT_EQ(chain(),
        QStringList({ "9:00:00-9:30:00 A", "9:30:00-9:40:00 B", "9:40:00-9:45:00 Drivers' meeting",
            "9:45:00-10:05:00 C" }));
    EXPECT_EQ(marks(), "1");
}

TEST_F(ScheduleTest, ChangeOfTheFirstRowMovesTheWholeSchedule)
{
    addAbc();
    ASSERT_TRUE(sched().change(editor("8:30:00", "0:30:00", "A'"), 1).done);
    EXPECT_EQ(chain(), QStringList({ "8:30:00-9:00:00 A'", "9:00:00-9:10:00 B", "9:10:00-9:30:00 C" }));
}

TEST_F(ScheduleTest, ChangeOfAMiddleRowKeepsItsStartAndTheRowsAfterFollow)
{
    addAbc();
    ASSERT_TRUE(sched().change(editor("6:00:00", "0:20:00", "B"), 2).done);
    EXPECT_EQ(chain(), QStringList({ "9:00:00-9:30:00 A", "9:30:00-9:50:00 B", "9:50:00-10:10:00 C" }));
}

TEST_F(ScheduleTest, DeleteOfTheFirstRowAsksAndTheNextKeepsItsStart)
{
    addAbc();
    asker.answer(false);
    EXPECT_FALSE(sched().remove(1).done);
    EXPECT_EQ(asker.questions().size(), 1);
    EXPECT_EQ(chain(), kAbc);

    const ScheduleOutcome out = sched().remove(1);
    EXPECT_EQ(out.uc, 2) << "the grid goes to the row that took its place";
    EXPECT_EQ(chain(), QStringList({ "9:30:00-9:40:00 B", "9:40:00-10:00:00 C" }));
    EXPECT_EQ(out.shownSql, "delete from rmenu where tcode='202403091' and uc='1'");
}

TEST_F(ScheduleTest, DeleteOfAMiddleRowClosesTheGapWithoutAsking)
{
    addAbc();
    EXPECT_EQ(sched().remove(2).uc, 3);
    EXPECT_TRUE(asker.questions().isEmpty());
    EXPECT_EQ(chain(), QStringList({ "9:00:00-9:30:00 A", "9:30:00-9:50:00 C" }));
}

// Each refusal says why and leaves every row as it was.
TEST_F(ScheduleTest, RefusalsWriteNothing)
{
    addAbc();
    exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu,uc,round,heat) values "
         "(202403091,1,'10:00:00','23:30:00','-','Night',4,0,0)");
    const QStringList before = chain();
    struct Case {
        const char* name;
        std::function<ScheduleOutcome(console::Schedule&)> command;
        QString message;
    };
    const QString zero = console::schedule_text::ZeroDuration;
    const QString midnight = console::schedule_text::PastMidnight;
    const Case cases[] = {
        { "add of no length", [](auto& s) { return s.Add(editor("9:00:00", "0:00:00"), 3, std::nullopt); },
            zero },
        { "insert of no length", [](auto& s) { return s.insert(editor("9:00:00", "0:00:00"), 2); }, zero },
        { "change to no length", [](auto& s) { return s.change(editor("9:00:00", "0:00:00"), 2); }, zero },
        { "add up to 24:00", [](auto& s) { return s.Add(editor("9:00:00", "0:30:00"), 4, std::nullopt); },
            midnight },
        { "insert that pushes the last row past midnight",
            [](auto& s) { return s.insert(editor("9:00:00", "0:31:00"), 1); }, midnight },
        { "change that pushes the last row past midnight",
            [](auto& s) { return s.change(editor("9:00:00", "1:00:00"), 1); }, midnight },
        { "first row moved late", [](auto& s) { return s.change(editor("10:00:00", "0:30:00"), 1); },
            midnight },
    };
    for (const Case& c : cases) {
        console::Schedule s = sched();
        EXPECT_FALSE(c.command(s).done) << c.name;
        ASSERT_FALSE(asker.messages().isEmpty()) << c.name;
        EXPECT_EQ(asker.messages().last(), c.message) << c.name;
        EXPECT_EQ(chain(), before) << c.name;
        EXPECT_EQ(marks(), "1") << c.name;
    }
}

TEST_F(ScheduleTest, AFailureHalfWayThroughTheRechainRollsTheWholeCommandBack)
{
    addAbc();
    addScheduleRow("10:00:00", "10:05:00", "D", 4);
    const QStringList before = chain();
    // After X is in and B has moved, C's new end clashes with D's, which has not moved yet.
    exec("create unique index one_end on rmenu(tcode, etime)");
    EXPECT_THROW(sched().insert(editor("0:00:00", "0:05:00", "X"), 1), platform::DatabaseError);
    EXPECT_EQ(chain(), before);
    EXPECT_EQ(marks(), "1");
    EXPECT_FALSE(dm->Database1->inTransaction());
}

TEST_F(ScheduleTest, ARoundGoesAfterTheSelectedRowAndPushesTheLaterRowsBack)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addScheduleRow("10:00:00", "10:30:00", "昼休み", 2);
    const ScheduleOutcome out
        = sched().Add(editor("0:00:00", "0:05:00"), 1, console::RoundEditor { 1, "予選", 3, "ヒート" });
    EXPECT_EQ(out.place, Place::Last);
    EXPECT_EQ(
        out.shownSql, "select * from rmenu where tcode='202403091' and btime>='10:00:00' order by rr,btime");
    EXPECT_EQ(chain(),
        QStringList({ "9:00:00-10:00:00 受付", "10:00:00-10:05:00 予選 1 ヒート 1",
            "10:05:00-10:10:00 予選 1 ヒート 2", "10:10:00-10:15:00 予選 1 ヒート 3",
            "10:15:00-10:45:00 昼休み" }));
    EXPECT_EQ(scalar("select group_concat(uc||':'||round||'.'||heat||':'||roundtl||':'||heattl, ' ') from "
                     "(select * from rmenu where round<>0 order by uc)"),
        "3:1.1:予選:ヒート 4:1.2:予選:ヒート 5:1.3:予選:ヒート");
    EXPECT_EQ(marks(), "1");

    // Selecting a heat places the next round after the whole round.
    addRound("予選 1 ヒート 1", "決勝", 1, 1, "0:10:00", "Final");
    EXPECT_EQ(chain()[4], "10:15:00-10:25:00 決勝 1 Final 1");
    EXPECT_EQ(chain()[5], "10:25:00-10:55:00 昼休み");
}

TEST_F(ScheduleTest, RoundNumberZeroGivesPlainRowsWithoutTheNumber)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "予選", 0, 2);
    EXPECT_EQ(chain().mid(1),
        QStringList({ "10:00:00-10:05:00 予選 ヒート 1", "10:05:00-10:10:00 予選 ヒート 2" }));
    EXPECT_FALSE(sched().row(uc("予選 ヒート 1"))->isRound());
}

TEST_F(ScheduleTest, ARoundTakenOnceIsRefusedAndNoHeatsAddNothing)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "予選", 1, 1);
    const QStringList before = chain();
    EXPECT_FALSE(
        sched().Add(editor("0:00:00", "0:05:00"), 1, console::RoundEditor { 1, "予選", 2, "ヒート" }).done);
    EXPECT_EQ(asker.messages().last(), console::schedule_text::DuplicateRound);
    EXPECT_EQ(chain(), before);
    addRound("受付", "予選", 2, 0);
    EXPECT_EQ(chain(), before) << "no heat, nothing moves";
    addRound("受付", "予選", 2, 1);
    EXPECT_EQ(chain().size(), 3);
}

TEST_F(ScheduleTest, InsertBetweenTwoHeatsIsRefusedAfterTheLastHeatAccepted)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "予選", 1, 2);
    EXPECT_FALSE(sched().insert(editor("0:00:00", "0:05:00", "X"), uc("予選 1 ヒート 1")).done);
    EXPECT_EQ(asker.messages().last(), console::schedule_text::InsertInRound);
    EXPECT_TRUE(sched().insert(editor("0:00:00", "0:05:00", "X"), uc("予選 1 ヒート 2")).done);
    EXPECT_EQ(chain().last(), "10:10:00-10:15:00 X");
}

// Heat order, add heat and delete heat walk the heats by number: heat 10 comes after heat 9.
TEST_F(ScheduleTest, HeatOrderPutsTheSelectedHeatFirstByNumber)
{
    struct Case {
        int heats, selected;
        QString order;
    };
    for (const Case& c : { Case { 5, 3, "3 4 5 1 2" }, Case { 10, 3, "3 4 5 6 7 8 9 10 1 2" } }) {
        exec("delete from rmenu");
        addScheduleRow("9:00:00", "10:00:00", "受付", 1);
        addRound("受付", "予選", 1, c.heats);
        addScheduleRow("23:00:00", "23:10:00", "後", 99);
        const ScheduleOutcome out = sched().heatOrder(uc(QStringLiteral("予選 1 ヒート %1").arg(c.selected)));
        EXPECT_EQ(out.uc, uc(QStringLiteral("予選 1 ヒート %1").arg(c.selected)));
        EXPECT_EQ(
            scalar(
                "select group_concat(heat, ' ') from (select heat from rmenu where round=1 order by btime)"),
            c.order);
        EXPECT_EQ(chain()[1].left(17), "10:00:00-10:05:00");
        EXPECT_EQ(chain()[c.heats].left(8), QTime(10, 0).addSecs(300 * (c.heats - 1)).toString("H:mm:ss"));
        EXPECT_EQ(chain().last(), "23:00:00-23:10:00 後") << "rows outside the round stay";
        EXPECT_EQ(marks(), "1");
    }
}

TEST_F(ScheduleTest, AddHeatBuildsItsTextFromTheTitlesAndFollowsTheHighestHeat)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "A Main", 1, 10, "0:03:00", "Heat");
    addScheduleRow("10:30:00", "11:00:00", "昼休み", 50);
    const ScheduleOutcome out = sched().addHeat(uc("A Main 1 Heat 2"));
    EXPECT_EQ(sched().row(out.uc)->rmenu, "A Main 1 Heat 11");
    EXPECT_EQ(chain()[11], "10:30:00-10:33:00 A Main 1 Heat 11");
    EXPECT_EQ(chain()[12], "10:33:00-11:03:00 昼休み");
    EXPECT_EQ(scalar("select heat||'/'||roundtl||'/'||heattl from rmenu where uc=" + QString::number(out.uc)),
        "11/A Main/Heat");
}

TEST_F(ScheduleTest, DeleteHeatRemovesTheHighestNumberedHeat)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "予選", 1, 10);
    addScheduleRow("10:50:00", "11:00:00", "後", 50);
    EXPECT_EQ(sched().deleteHeat(uc("予選 1 ヒート 1")).uc, uc("予選 1 ヒート 1"));
    EXPECT_EQ(scalar("select max(heat) from rmenu where round=1"), "9");
    EXPECT_EQ(chain().last(), "10:45:00-10:55:00 後");
    EXPECT_EQ(sched().deleteHeat(uc("予選 1 ヒート 9")).uc, uc("予選 1 ヒート 8"));
}

TEST_F(ScheduleTest, DeleteRoundAsksWithItsNumberAndRemovesOnlyThatRound)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "O'Neil", 2, 2);
    addRound("O'Neil 2 ヒート 2", "決勝", 2, 1);
    const ScheduleOutcome out = sched().deleteRound(uc("O'Neil 2 ヒート 1"));
    EXPECT_EQ(asker.questions().last(), "選択したラウンド 2 を削除してよろしいですか？");
    EXPECT_EQ(out.place, Place::Leave);
    EXPECT_EQ(chain(), QStringList({ "9:00:00-10:00:00 受付", "10:00:00-10:05:00 決勝 2 ヒート 1" }));
}

TEST_F(ScheduleTest, ChangeOfAHeatAsksOnceAndGivesEveryHeatTheNewLength)
{
    addScheduleRow("9:00:00", "10:00:00", "受付", 1);
    addRound("受付", "予選", 1, 3);
    addScheduleRow("10:15:00", "10:30:00", "後", 50);
    ASSERT_TRUE(sched().change(editor("0:00:00", "0:10:00", "ignored"), uc("予選 1 ヒート 2")).done);
    EXPECT_EQ(asker.questions(), QStringList { console::schedule_text::ChangeRound });
    EXPECT_EQ(chain().mid(1),
        QStringList({ "10:00:00-10:10:00 予選 1 ヒート 1", "10:10:00-10:20:00 予選 1 ヒート 2",
            "10:20:00-10:30:00 予選 1 ヒート 3", "10:30:00-10:45:00 後" }));
}

TEST_F(ScheduleTest, RoundCommandsOnNoRowOrAPlainRowDoNothing)
{
    addAbc();
    for (const std::optional<int> selected :
        { std::optional<int>(), std::optional<int>(1), std::optional<int>(77) }) {
        console::Schedule s = sched();
        EXPECT_FALSE(s.heatOrder(selected).done);
        EXPECT_FALSE(s.deleteRound(selected).done);
        EXPECT_FALSE(s.addHeat(selected).done);
        EXPECT_FALSE(s.deleteHeat(selected).done);
    }
    EXPECT_TRUE(asker.questions().isEmpty());
    EXPECT_EQ(chain(), kAbc);
}

TEST_F(ScheduleTest, HeatTextsAndTheLatestEnd)
{
    EXPECT_EQ(console::heatText("予選", "2", "ヒート", 1), "予選 2 ヒート 1");
    EXPECT_EQ(console::heatText("予選", "0", "ヒート", 3), "予選 ヒート 3");
    EXPECT_EQ(console::heatText("A Main", "1", "Heat", 4), "A Main 1 Heat 4");
    EXPECT_EQ(sched().latestEnd(), QTime(0, 0));
    addAbc();
    EXPECT_EQ(sched().latestEnd(), QTime(10, 0)) << "by time, not as text";
}
