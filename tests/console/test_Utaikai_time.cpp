#include "console/Utaikai_time.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <gtest/gtest.h>
#include <ostream>

using namespace console;

namespace {

struct TextToTenths {
    const char* text;
    qint64 tenths;
};

void PrintTo(const TextToTenths& c, std::ostream* os) { *os << '"' << c.text << "\" -> " << c.tenths; }

class TimeStrToTenthsTable : public ::testing::TestWithParam<TextToTenths> { };

TEST_P(TimeStrToTenthsTable, Converts)
{
    EXPECT_EQ(TimeStrToTenths(QString::fromUtf8(GetParam().text)), GetParam().tenths) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(ClockTexts, TimeStrToTenthsTable,
    ::testing::Values(TextToTenths { "0:05:00", 3000 }, TextToTenths { "00:05:00", 3000 },
        TextToTenths { "0:05:00.0", 3000 }, TextToTenths { "00:00:01.5", 15 },
        TextToTenths { "1:00:00", 36000 }, TextToTenths { "", 0 }, TextToTenths { "abc", 0 },
        TextToTenths { "10:00:00", 360000 }, TextToTenths { "23:59:59.9", 863999 },
        // a field that is not a number counts as 0, the others still count
        TextToTenths { "0:xx:30.2", 302 }, TextToTenths { "9:30", 342000 }));

struct TenthsToText {
    qint64 n;
    const char* text;
};

void PrintTo(const TenthsToText& c, std::ostream* os) { *os << c.n << " -> \"" << c.text << '"'; }

class TenthsToHMSTTable : public ::testing::TestWithParam<TenthsToText> { };

TEST_P(TenthsToHMSTTable, Formats)
{
    EXPECT_EQ(TenthsToHMST(GetParam().n), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Tenths, TenthsToHMSTTable,
    ::testing::Values(TenthsToText { -1, "00:00:00.0" }, TenthsToText { 0, "00:00:00.0" },
        TenthsToText { 9, "00:00:00.9" }, TenthsToText { 600, "00:01:00.0" },
        TenthsToText { 36000, "01:00:00.0" }, TenthsToText { 1000000, "27:46:40.0" },
        TenthsToText { -864000, "00:00:00.0" }));

class SecondsToHMSTable : public ::testing::TestWithParam<TenthsToText> { };

TEST_P(SecondsToHMSTable, Formats)
{
    EXPECT_EQ(SecondsToHMS(GetParam().n), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Seconds, SecondsToHMSTable,
    ::testing::Values(TenthsToText { 0, "00:00:00" }, TenthsToText { 59, "00:00:59" },
        TenthsToText { 60, "00:01:00" }, TenthsToText { 3600, "01:00:00" },
        TenthsToText { 360000, "100:00:00" },
        // negative counts clamp instead of printing "-1:-1:-1"
        TenthsToText { -61, "00:00:00" }));

TEST(ClockTexts, EveryTickOfADayRoundTrips)
{
    for (qint64 n = 0; n < TicksPerDay; ++n) {
        const QString text = TenthsToHMST(n);
        ASSERT_EQ(TimeStrToTenths(text), n) << text.toStdString();
    }
}

TEST(ClockTexts, LongTimeTextHasNoLeadingHourZeroAndFeedsTheConversion)
{
    EXPECT_EQ(LongTimeText(QTime(0, 5, 0)), QStringLiteral("0:05:00"));
    EXPECT_EQ(LongTimeText(QTime(9, 30, 0)), QStringLiteral("9:30:00"));
    EXPECT_EQ(LongTimeText(QTime(23, 59, 59, 900)), QStringLiteral("23:59:59"));
    EXPECT_EQ(LongTimeTextOfSeconds(36 * 3600), QStringLiteral("36:00:00"));
    // what the pickers hand over, with ".0" appended as Reset does
    EXPECT_EQ(TimeStrToTenths(LongTimeText(QTime(0, 5, 0)) + QStringLiteral(".0")), 3000);
    EXPECT_EQ(TimeStrToTenths(LongTimeText(QTime(10, 0, 0))), 360000);
}

TEST(Ticks, WallTickIsTenthsSinceMidnight)
{
    EXPECT_EQ(TickOfDay(QTime(12, 0, 0, 50)), 432000);
    EXPECT_EQ(TickOfDay(QTime(23, 59, 59, 950)), 863999);
    EXPECT_EQ(TickOfDay(QTime(0, 0, 0, 10)), 0);

    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59, 950)));
    EXPECT_EQ(WallTick(clock), 863999);
    clock.advanceMs(100);
    EXPECT_EQ(WallTick(clock), 0);
    EXPECT_EQ(SecondOfDay(clock), 0);
}

TEST(Ticks, CountdownTicksStartAtTheWallTickAndKeepItsTenthBoundaries)
{
    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(12, 0, 0, 50)));
    clock.advanceMs(12345); // the monotonic origin is arbitrary
    clock.setNow(QDateTime(QDate(2024, 3, 9), QTime(12, 0, 0, 50)));
    CountdownTicks ticks(clock);
    EXPECT_EQ(ticks.Tick(), 432000);
    clock.advanceMs(49);
    EXPECT_EQ(ticks.Tick(), 432000);
    clock.advanceMs(1);
    EXPECT_EQ(ticks.Tick(), 432001);
    EXPECT_EQ(ticks.Tick(), WallTick(clock));
}

// A five-minute warm-up started at 23:58:00 counts down through midnight without a jump.
TEST(Ticks, CountdownAcrossMidnightDoesNotJumpByADay)
{
    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(23, 58, 0)));
    CountdownTicks ticks(clock);
    const qint32 end = ticks.Tick() + static_cast<qint32>(TimeStrToTenths(QStringLiteral("0:05:00.0")));

    qint32 last = ticks.Tick();
    qint64 lastRemaining = end - last;
    bool wallTickWrapped = false;
    for (int step = 0; step < 3200; ++step) { // 320 s in 100 ms steps
        clock.advanceMs(100);
        const qint32 tick = ticks.Tick();
        ASSERT_EQ(tick, last + 1);
        const qint64 remaining = end - tick;
        ASSERT_EQ(remaining, lastRemaining - 1) << "at step " << step;
        if (WallTick(clock) < 100)
            wallTickWrapped = true;
        last = tick;
        lastRemaining = remaining;
    }
    EXPECT_TRUE(wallTickWrapped); // the wall clock did pass midnight...
    EXPECT_EQ(clock.now().time(), QTime(0, 3, 20));
    // ...while the count-down ended on time: 300 s after the start, 20 s ago.
    EXPECT_EQ(lastRemaining, -200);
    // The wall tick alone would have made the remaining time grow by a whole day.
    EXPECT_EQ(end - WallTick(clock), TicksPerDay - 200);
}

TEST(Ticks, CountdownTicksIgnoreWallClockChanges)
{
    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(9, 0, 0)));
    CountdownTicks ticks(clock);
    clock.advanceMs(1000);
    clock.setNow(QDateTime(QDate(2024, 3, 9), QTime(8, 0, 0))); // the clock is set back an hour
    EXPECT_EQ(ticks.Tick(), TickOfDay(QTime(9, 0, 1)));
}

} // namespace
