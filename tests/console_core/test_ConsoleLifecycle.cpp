// What the console loads and stores for its event, and the release of its devices, without a window.

#include "ConsoleEventFixture.h"
#include "console/BoardControl.h"
#include "console/BoardLine.h"
#include "console/ConsoleLifecycle.h"

using namespace console;
using testing_support::ConsoleEventFixture;

namespace {

class ConsoleLifecycle : public ConsoleEventFixture { };

ClosingState sampleClosing()
{
    ClosingState s;
    for (int slot = 0; slot < SignalSlotCount; ++slot)
        s.signalTimes[static_cast<size_t>(slot)] = QStringLiteral("0:00:%1").arg(slot + 10);
    s.offControlMode = 1;
    s.presets = { "0:05:00", "0:10:00", "0:01:00", "0:00:05", "0:03:00" };
    return s;
}

} // namespace

TEST(ConsoleClosingStatement, ListsTheColumnsInTheirStoredOrder)
{
    const QStringList lines = taikaiUpdateLines(QStringLiteral("202403091"), sampleClosing());
    EXPECT_EQ(lines,
        QStringList(
            { "update taikai set", "on1='0:00:10'", ",of1='0:00:16'", ",on2='0:00:11'", ",of2='0:00:17'",
                ",on3='0:00:12'", ",of3='0:00:18'", ",on4='0:00:13'", ",of4='0:00:19'", ",on5='0:00:14'",
                ",of5='0:00:20'", ",ons='0:00:15'", ",cont='1'", ",sq1='0:05:00'", ",sq2='0:10:00'",
                ",sq3='0:01:00'", ",sq4='0:00:05'", ",sq5='0:03:00'", "where tcode='202403091'" }));
}

TEST(ConsoleClosingStatement, AnApostropheInTheEventCodeStaysInsideItsLiteral)
{
    const QStringList lines = taikaiUpdateLines(QStringLiteral("1' or '1'='1"), sampleClosing());
    EXPECT_EQ(lines.last(), "where tcode='1'' or ''1''=''1'");
}

TEST(ConsolePickerTimes, TenthsWithinOneDayBecomeTheirTimeOthersMidnight)
{
    EXPECT_EQ(pickerTimeOfTenths(0), QTime(0, 0));
    EXPECT_EQ(pickerTimeOfTenths(600), QTime(0, 1));
    EXPECT_EQ(pickerTimeOfTenths(15), QTime(0, 0, 1, 500));
    EXPECT_EQ(pickerTimeOfTenths(TicksPerDay - 1), QTime(23, 59, 59, 900));
    EXPECT_EQ(pickerTimeOfTenths(TicksPerDay), QTime(0, 0));
    EXPECT_EQ(pickerTimeOfTenths(-1), QTime(0, 0));
    EXPECT_EQ(pickerTimeOfText(QStringLiteral("0:05:00")), QTime(0, 5));
    EXPECT_EQ(pickerTimeOfText(QStringLiteral("")), QTime(0, 0));
    EXPECT_EQ(pickerTimeOfText(QStringLiteral("12:30:15")), QTime(12, 30, 15));
}

TEST_F(ConsoleLifecycle, ReadsTheEventRowsSignalsAndOffControl)
{
    const EventSignals e = readEventSignals(*dm, kCode);
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.triggers[SlotOn1], 600);
    EXPECT_EQ(e.triggers[SlotOnStart], 30);
    EXPECT_EQ(e.triggers[SlotOff4], 0);
    EXPECT_EQ(e.triggers[SlotOff5], 150);
    EXPECT_EQ(e.offControlMode, 1);

    const EventSignals none = readEventSignals(*dm, QStringLiteral("202403099"));
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.triggers, (std::array<qint64, SignalSlotCount> {}));
}

TEST_F(ConsoleLifecycle, ScheduleEndIsTheEndOfTheLastRowByStartTime)
{
    EXPECT_EQ(readScheduleEnd(*dm, kCode), QTime(0, 0));
    // Stored out of order, and with a one-digit hour that sorts after "10:..." as text.
    addScheduleRow("10:00:00", "10:20:00", "決勝", 3);
    addScheduleRow("9:00:00", "9:30:00", "受付", 1);
    addScheduleRow("9:30:00", "10:00:00", "予選", 2);
    EXPECT_EQ(readScheduleEnd(*dm, kCode), QTime(10, 20));
}

TEST_F(ConsoleLifecycle, StoresTheStateAndSetsTnowBack)
{
    EXPECT_TRUE(storeClosingState(*dm, kCode, sampleClosing()).isEmpty());
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(scalar("select of5 from taikai"), "0:00:20");
    EXPECT_EQ(scalar("select sq5 from taikai"), "0:03:00");
    EXPECT_EQ(scalar("select cont from taikai"), "1");
}

TEST_F(ConsoleLifecycle, EachFailingStatementIsReportedAndTheOtherStillRuns)
{
    // A disk that takes no more: each failure names the database file and the cause.
    const QString cause
        = QStringLiteral("データベースファイル %1 に書き込めません（ディスクの書き込みエラー）。\n"
                         "詳細: disk I/O error")
              .arg(dm->Database1->path());
    EXPECT_EQ(testing_support::inChildWithFileSizeLimit(
                  0, [&] { return storeClosingState(*dm, kCode, sampleClosing()).join('|'); })
                  .toStdString(),
        QString(QStringLiteral("大会の終了を記録できませんでした（tnow）。\n") + cause
            + QStringLiteral("|大会の設定（シグナル時刻・プリセット）を保存できませんでした。\n") + cause)
            .toStdString());

    exec("drop table tnow");
    const QStringList failures = storeClosingState(*dm, kCode, sampleClosing());
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0],
        QStringLiteral("大会の終了を記録できませんでした（tnow）。\nデータベースファイル %1 で SQL "
                       "文を実行できません。\n"
                       "詳細: no such table: tnow")
            .arg(dm->Database1->path()));
    EXPECT_EQ(scalar("select sq1 from taikai"), "0:05:00");

    exec("drop table taikai");
    const QStringList both = storeClosingState(*dm, kCode, sampleClosing());
    EXPECT_EQ(both.size(), 2);
}

TEST_F(ConsoleLifecycle, WithoutAStateOnlyTnowIsSetBack)
{
    EXPECT_TRUE(storeClosingState(*dm, kCode, std::nullopt).isEmpty());
    EXPECT_EQ(scalar("select tcode from tnow"), "0");
    EXPECT_EQ(scalar("select of1 from taikai"), "0:00:10");
    EXPECT_EQ(scalar("select sq4 from taikai"), "0:00:05");
}

TEST(ConsoleDeviceRelease, BlanksTheBoardTwiceThenClosesItAndRunsOnce)
{
    testing_support::FakeBoardPort board;
    testing_support::FakeSleeper sleeper;
    testing_support::FakeScheduler scheduler;
    platform::ManualClock clock;
    BoardControl control(board, scheduler, clock, {});
    QStringList order;
    DeviceRelease release({ &control, &sleeper, [&] { order << "link"; }, [&] { order << "log"; } });
    EXPECT_TRUE(release.run());
    EXPECT_EQ(board.calls, QStringList({ "purge", "send", "send", "close when sent" }));
    EXPECT_EQ(board.sent, QByteArrayList({ "\r" + boardBlankLine(), boardBlankLine() }));
    EXPECT_EQ(sleeper.waits, std::vector<int>({ DeviceRelease::BlankPauseMs }));
    EXPECT_EQ(order, QStringList({ "link", "log" }));

    EXPECT_FALSE(release.run());
    EXPECT_EQ(board.calls.size(), 4);
    EXPECT_EQ(order.size(), 2);
}
