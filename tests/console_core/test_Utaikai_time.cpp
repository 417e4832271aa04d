#include "console/Utaikai_time.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace console;

namespace {

TEST(Ticks, WallTickIsTenthsSinceMidnight)
{
    EXPECT_EQ(tickOfDay(QTime(12, 0, 0, 50)), 432000);
    EXPECT_EQ(tickOfDay(QTime(23, 59, 59, 950)), 863999);
    EXPECT_EQ(tickOfDay(QTime(0, 0, 0, 10)), 0);

    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(23, 59, 59, 950)));
    EXPECT_EQ(wallTick(clock), 863999);
    clock.advanceMs(100);
    EXPECT_EQ(wallTick(clock), 0);
    EXPECT_EQ(secondOfDay(clock), 0);
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
    EXPECT_EQ(ticks.Tick(), wallTick(clock));
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
        if (wallTick(clock) < 100)
            wallTickWrapped = true;
        last = tick;
        lastRemaining = remaining;
    }
    EXPECT_TRUE(wallTickWrapped); // the wall clock did pass midnight...
    EXPECT_EQ(clock.now().time(), QTime(0, 3, 20));
    // ...while the count-down ended on time: 300 s after the start, 20 s ago.
    EXPECT_EQ(lastRemaining, -200);
    // The wall tick alone would have made the remaining time grow by a whole day.
    EXPECT_EQ(end - wallTick(clock), TicksPerDay - 200);
}

TEST(Ticks, CountdownTicksIgnoreWallClockChanges)
{
    platform::ManualClock clock(QDateTime(QDate(2024, 3, 9), QTime(9, 0, 0)));
    CountdownTicks ticks(clock);
    clock.advanceMs(1000);
    clock.setNow(QDateTime(QDate(2024, 3, 9), QTime(8, 0, 0))); // the clock is set back an hour
    EXPECT_EQ(ticks.Tick(), tickOfDay(QTime(9, 0, 1)));
}

} // namespace
