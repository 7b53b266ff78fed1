#include "common/Clock.h"
#include "common/Common.h"
#include "common/VaxoPerf.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>

using namespace Vaxo;

namespace
{

// Every profiler test runs on a fake clock from a clean profiler.
class ProfilerTest : public ::testing::Test
{
protected:
    ProfilerTest() : mInstalled(mClock) { VaxoPerf::ResetForTest(); }
    ~ProfilerTest() override { VaxoPerf::ResetForTest(); }

    FakeTimeSource mClock{1000};
    ScopedTimeSource mInstalled;
};

TEST_F(ProfilerTest, ListsNamesInOrderIgnoringCaseWithShareAverageAndLongest)
{
    VaxoPerf::BeginPerf(false);
    EXPECT_TRUE(VaxoPerf::IsPerfOn());
    const int lengths[] = {10, 30};
    for (int length : lengths)
    {
        VaxoPerf::StartTiming("update");
        mClock.Advance(uint32_t(length));
        VaxoPerf::StopTiming("update");
    }
    {
        AutoPerf section("Audio");
        mClock.AdvanceMicros(2500);
    }
    VaxoPerf::StartTiming("zoom");
    VaxoPerf::StopTiming("zoom");
    mClock.AdvanceMicros(57500);
    VaxoPerf::EndPerf();
    EXPECT_EQ(VaxoPerf::GetResults(), "Total Time: 100.00\n"
                                      "Audio (1 calls, %2.50 time): 2.50 (2.50 avg, 2.50 longest)\n"
                                      "update (2 calls, %40.00 time): 40.00 (20.00 avg, 30.00 longest)\n"
                                      "zoom (1 calls, %0.00 time): 0.00 (0.00 avg, 0.00 longest)\n");
}

TEST_F(ProfilerTest, NestedSectionsOfOneNameCountOnlyTheOuterPair)
{
    VaxoPerf::BeginPerf();
    VaxoPerf::StartTiming("A");
    mClock.Advance(5);
    VaxoPerf::StartTiming("a");
    mClock.Advance(20);
    VaxoPerf::StopTiming("a");
    mClock.Advance(5);
    VaxoPerf::StopTiming("A");
    mClock.Advance(70);
    VaxoPerf::EndPerf();
    EXPECT_EQ(VaxoPerf::GetResults(), "Total Time: 100.00\n"
                                      "A (2 calls, %30.00 time): 30.00 (15.00 avg, 30.00 longest)\n");
}

TEST_F(ProfilerTest, UnmatchedStopsResetsLongNamesAndEmptyRuns)
{
    VaxoPerf::BeginPerf();
    VaxoPerf::StartTiming("A");
    mClock.Advance(10);
    VaxoPerf::StopTiming("B"); // open count back to 0: collates with A still open
    mClock.Advance(10);
    VaxoPerf::StopTiming("A");
    mClock.Advance(20);
    VaxoPerf::EndPerf();
    EXPECT_EQ(VaxoPerf::GetResults(), "Total Time: 40.00\n"
                                      "A (1 calls, %50.00 time): 20.00 (20.00 avg, 20.00 longest)\n");
    VaxoPerf::BeginPerf(true); // forgets the run above and leaves profiling off
    EXPECT_FALSE(VaxoPerf::IsPerfOn());
    VaxoPerf::StartTiming("New");
    mClock.Advance(8);
    VaxoPerf::StopTiming("New");
    VaxoPerf::EndPerf();
    EXPECT_EQ(VaxoPerf::GetResults(), "Total Time: 8.00\n");
    // A run of no time gives shares of 0.
    const std::string name(3000, 'n');
    VaxoPerf::BeginPerf();
    VaxoPerf::StartTiming(name.c_str());
    VaxoPerf::StopTiming(name.c_str());
    VaxoPerf::EndPerf();
    EXPECT_EQ(VaxoPerf::GetResults(),
              "Total Time: 0.00\n" + name + " (1 calls, %0.00 time): 0.00 (0.00 avg, 0.00 longest)\n");
}

TEST_F(ProfilerTest, PerfTimerMeasuresMilliseconds)
{
    PerfTimer timer;
    EXPECT_EQ(timer.GetDuration(), 0.0);
    timer.Start();
    mClock.Advance(600);
    EXPECT_DOUBLE_EQ(timer.GetDuration(), 600.0); // polled while running
    mClock.AdvanceMicros(400500);
    timer.Stop();
    mClock.Advance(5000);
    EXPECT_DOUBLE_EQ(timer.GetDuration(), 1000.5);
    timer.Stop(); // not running: nothing changes
    EXPECT_DOUBLE_EQ(timer.GetDuration(), 1000.5);
    timer.CalcDuration();
    EXPECT_DOUBLE_EQ(timer.GetDuration(), 6000.5);
}

// ---- Trace files -----------------------------------------------------------------------

// The trace files land in the current folder: a fresh one per test.
class TraceTest : public ::testing::Test
{
protected:
    TraceTest()
    {
        EXPECT_TRUE(ChangeDir(mDir.mPath));
        VaxoTraceResetForTest();
    }
    ~TraceTest() override
    {
        VaxoTraceResetForTest();
        EXPECT_TRUE(ChangeDir(mSavedDir));
    }
    static std::string Read(const char* name)
    {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    const std::string mSavedDir = GetCurDir();
    TestFolder mDir;
};

TEST_F(TraceTest, OnlyTraceAddsALineFeedAndFilesAlternateOnceAHundredThousandCharactersAreWritten)
{
    const std::string half(60000 - 4, 'a');
    const std::string rest(40001, 'b');
    VaxoTraceFmt("%d-%s|", 7, "x");
    VaxoTrace(half.c_str());
    VaxoTrace(rest.c_str()); // 100,001 characters: this file is done
    EXPECT_EQ(Read("trace1.txt"), "7-x|" + half + "\n" + rest + "\n");
    VaxoTrace("second");
    EXPECT_EQ(Read("trace2.txt"), "second\n");
    const std::string exactly(100000 - 6, 'c');
    VaxoTrace(exactly.c_str()); // 100,000 is not past the limit yet
    VaxoTraceFmt("!");          // and this passes it
    EXPECT_EQ(Read("trace2.txt"), "second\n" + exactly + "\n!");
    VaxoTrace("third"); // the first file is emptied and used again
    EXPECT_EQ(Read("trace1.txt"), "third\n");
}

// ---- Ratio -----------------------------------------------------------------------------

TEST(Ratio, ReducesByTheGreatestCommonDivisor)
{
    // numerator, denominator, then the reduced pair
    const int32_t cases[][4] = {{12, 18, 2, 3},
                                {0, 5, 0, 1},
                                {5, 0, 1, 0},
                                {-2, 4, 1, -2},
                                {6, -9, -2, 3},
                                {0, 0, 0, 0},
                                {INT_MIN, -1, INT_MIN, 1},
                                {INT_MIN, INT_MIN, 1, 1}};
    for (const auto& c : cases)
    {
        const Ratio r(c[0], c[1]);
        EXPECT_EQ(std::make_pair(r.mNumerator, r.mDenominator), std::make_pair(c[2], c[3]))
            << c[0] << "/" << c[1];
    }
    const Ratio unit;
    EXPECT_EQ(unit, Ratio(1, 1));
    EXPECT_NE(unit, Ratio(1, 2));
}

} // namespace
