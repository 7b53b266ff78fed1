#include "common/Clock.h"
#include "common/Common.h"

#include <gtest/gtest.h>

using namespace Vaxo;

namespace
{
TEST(ClockSeam, ScopesNestRestoreTheSystemClockAndTicksWrapInThirtyTwoBits)
{
    TimeSource* system = &GetTimeSource();
    FakeTimeSource outer(0xFFFFFFF0u);
    FakeTimeSource inner(20);
    {
        ScopedTimeSource a(outer);
        outer.Advance(0x20);
        EXPECT_EQ(GetTicks(), 0x10u);
        EXPECT_EQ(GetTicks() - 0xFFFFFFF0u, 0x20u); // unsigned difference still measures the gap
        {
            ScopedTimeSource b(inner);
            ThreadSleep(1000000); // a real sleep this long would time the test out
            EXPECT_EQ(GetAccurateTime(), 1000020u);
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
