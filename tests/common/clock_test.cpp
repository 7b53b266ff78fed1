#include "common/Clock.h"
#include "common/Common.h"

#include <gtest/gtest.h>

using namespace Vaxo;

namespace
{

TEST(FakeClock, TicksMoveOnlyWhenToldAndWrapLikeAThirtyTwoBitCounter)
{
    FakeTimeSource fake(0xFFFFFFF0u);
    ScopedTimeSource installed(fake);
    EXPECT_EQ(GetTicks(), 0xFFFFFFF0u);
    EXPECT_EQ(GetAccurateTime(), 0xFFFFFFF0u);
    fake.Advance(0x20);
    EXPECT_EQ(GetTicks(), 0x10u);
    EXPECT_EQ(GetTicks() - 0xFFFFFFF0u, 0x20u); // unsigned difference still measures the gap
    fake.Set(100);
    EXPECT_EQ(GetAccurateTime(), 100u);
}

TEST(FakeClock, SleepingAdvancesTheClockAndReturnsAtOnce)
{
    FakeTimeSource fake;
    ScopedTimeSource installed(fake);
    ThreadSleep(250);
    ThreadSleep(0);
    ThreadSleep(1000000); // a real sleep this long would time the test out
    EXPECT_EQ(GetTicks(), 1000250u);
    EXPECT_EQ(fake.GetSleepCount(), 3);
    EXPECT_EQ(fake.GetTotalSlept(), 1000250u);
}

TEST(FakeClock, ProfilerCounterRunsAtItsRate)
{
    FakeTimeSource fake;
    ScopedTimeSource installed(fake);
    const uint64_t start = GetTimeSource().PerfCounter();
    fake.Advance(1000);
    EXPECT_EQ(GetTimeSource().PerfCounter() - start, kPerfCounterRate);
    fake.AdvanceMicros(10);
    EXPECT_EQ(GetTimeSource().PerfCounter() - start, kPerfCounterRate + 1);
    EXPECT_EQ(GetTicks(), 1000u); // below a millisecond the tick count stays
}

TEST(FakeClock, ScopesNestAndRestoreTheSystemClock)
{
    TimeSource* system = &GetTimeSource();
    FakeTimeSource outer(10);
    FakeTimeSource inner(20);
    {
        ScopedTimeSource a(outer);
        EXPECT_EQ(GetTicks(), 10u);
        {
            ScopedTimeSource b(inner);
            EXPECT_EQ(GetTicks(), 20u);
        }
        EXPECT_EQ(&GetTimeSource(), &outer);
    }
    EXPECT_EQ(&GetTimeSource(), system);
}

TEST(SystemClock, SleepLastsAtLeastTheTimeAsked)
{
    const uint32_t start = GetAccurateTime();
    const uint64_t counterStart = GetTimeSource().PerfCounter();
    ThreadSleep(30);
    EXPECT_GE(GetAccurateTime() - start, 29u); // tick granularity is one millisecond
    EXPECT_GE(GetTimeSource().PerfCounter() - counterStart, 30 * kPerfCounterRate / 1000 - 100);
    EXPECT_GE(GetTicks() - start, 29u);
}

} // namespace
