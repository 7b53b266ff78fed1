// The main loop against the fake clock: update rate, backlog cap and hold-off, speed,
// forced draws, unwinding after Shutdown, presents, the overlay, display recovery.
#include "app/support/AppTestEnv.h"
#include "widgets/WidgetManager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <tuple>
#include <utility>

using namespace Vaxo;

namespace
{

// Counts updates and draws; can force a present on every draw.
class LoopApp : public RecordingApp
{
public:
    std::vector<int32_t> mDrawsAtUpdate;
    bool mPresentEveryDraw = false;
    std::function<void()> mOnUpdate;

    void UpdateFrames() override
    {
        RecordingApp::UpdateFrames();
        if (mPresentEveryDraw)
            mCustomCursorDirty = true;
        if (mOnUpdate)
            mOnUpdate();
    }
    bool DrawDirtyStuff() override
    {
        mDrawsAtUpdate.push_back(mUpdateCount);
        return RecordingApp::DrawDirtyStuff();
    }
};

// Runs loop steps until the fake clock has moved ms on; the updates run meanwhile.
int32_t RunFor(AppTestEnv& env, VaxoAppBase& app, uint32_t ms)
{
    uint32_t end = env.mClock.AccurateTime() + ms;
    int32_t before = app.mUpdateCount;
    while (int32_t(env.mClock.AccurateTime() - end) < 0)
        app.UpdateAppStep(nullptr);
    return app.mUpdateCount - before;
}

// The distinct gaps between successive times.
std::set<uint32_t> GapsBetween(const std::vector<uint32_t>& times)
{
    std::set<uint32_t> gaps;
    for (size_t i = 1; i < times.size(); i++)
        gaps.insert(times[i] - times[i - 1]);
    return gaps;
}

// Runs loop steps until the loop sleeps; the updates run meanwhile.
int32_t RunUntilSleep(AppTestEnv& env, VaxoAppBase& app)
{
    int32_t sleeps = env.mClock.GetSleepCount();
    int32_t before = app.mUpdateCount;
    while (env.mClock.GetSleepCount() == sleeps)
        app.UpdateAppStep(nullptr);
    return app.mUpdateCount - before;
}

class MainLoop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mApp.Init();
        RunFor(mEnv, mApp, 100); // settle into the fixed step
    }
    AppTestEnv mEnv;
    LoopApp mApp;
};

TEST_F(MainLoop, UpdatesPerSecondFollowTheMultiplierAndAStallRunsAtMostTwentyAndTheHoldOffNone)
{
    EXPECT_EQ(RunFor(mEnv, mApp, 1000), 100);
    // Stall, whether the backlog is cleared first and with the hold-off, updates then run.
    // RunFor stops right after a sleep, with one update due.
    const std::tuple<uint32_t, bool, bool, int32_t> rows[] = {
        {5000, false, false, 20}, // the accumulator holds at most 200 ms
        {50, false, false, 6},
        {50, true, false, 5},
        {50, true, true, 1}, // held: every update empties the accumulator
    };
    for (const auto& [stallMs, clear, holdOff, updates] : rows)
    {
        if (clear)
            mApp.ClearUpdateBacklog(holdOff);
        mEnv.mClock.Advance(stallMs);
        EXPECT_EQ(RunUntilSleep(mEnv, mApp), updates) << stallMs << clear << holdOff;
        RunFor(mEnv, mApp, 1100);
    }
    mApp.mUpdateMultiplier = 2.0;
    RunFor(mEnv, mApp, 100);
    EXPECT_EQ(RunFor(mEnv, mApp, 1000), 200);
}

TEST_F(MainLoop, UpdatesKeepTheirStepWhateverTheWorkBeforeTheWaitAndTheWaitWakesAtMostTwice)
{
    // Microseconds each update costs (the clock counts whole milliseconds, so a sleep of
    // whole ones after it would end that far into the next millisecond), the phase the
    // clock is at, and the step. Every update must start within a nap (100 us) of its
    // time, 100 a second.
    const uint32_t costs[] = {0, 350, 990, 1300};
    for (uint32_t cost : costs)
    {
        std::vector<uint64_t> starts; // profiler counts, 10 us each
        mApp.mOnUpdate = [&]
        {
            starts.push_back(mEnv.mClock.PerfCounter());
            mEnv.mClock.AdvanceMicros(cost);
        };
        RunFor(mEnv, mApp, 100);
        starts.clear();
        const int32_t sleepsBefore = mEnv.mClock.GetSleepCount();
        EXPECT_EQ(RunFor(mEnv, mApp, 1000), 100) << cost;
        ASSERT_EQ(starts.size(), 100u);
        for (size_t i = 1; i < starts.size(); i++)
        {
            const int64_t step = int64_t(starts[i] - starts[i - 1]);
            EXPECT_LE(std::abs(step - 1000), 10) << cost << " update " << i;
        }
        // One sleep to the clock's turn, and a nap when it has not come: not nap after nap.
        EXPECT_LE(mEnv.mClock.GetSleepCount() - sleepsBefore, 2 * 100 + 1) << cost;
    }
}

// SDL 1.2's tick count: seconds and nanoseconds since its start, differenced apart, the
// nanosecond difference divided by a million truncating towards zero. While the clock's
// nanoseconds are below the start's, it reads one more than the milliseconds elapsed: once
// a second one tick lasts 2 ms, and once a tick is skipped.
class SdlTickClock : public FakeTimeSource
{
public:
    SdlTickClock(uint64_t nowMicros, uint64_t startMicros) : mStartMicros(startMicros)
    {
        AdvanceMicros(nowMicros);
    }
    uint32_t Ticks() override
    {
        const int64_t micros = int64_t(PerfCounter() * (1000000 / kPerfCounterRate));
        const int64_t start = int64_t(mStartMicros);
        return uint32_t((micros / 1000000 - start / 1000000) * 1000 +
                        (micros % 1000000 - start % 1000000) / 1000);
    }
    uint32_t AccurateTime() override { return Ticks(); }

private:
    uint64_t mStartMicros;
};

TEST(MainLoopOnSdlTicks, UpdatesKeepTheirStepAcrossTheTwoMillisecondTickAndTheSkippedOne)
{
    AppTestEnv env;
    // SDL started 0.3004 s into a second; the clock reads 20 s after that.
    SdlTickClock clock(20300400, 300400);
    ScopedTimeSource scoped(clock);
    LoopApp app;
    app.Init();
    std::vector<uint64_t> starts; // profiler counts, 10 us each
    app.mOnUpdate = [&]
    {
        starts.push_back(clock.PerfCounter());
        clock.AdvanceMicros(350);
    };
    const auto runFor = [&](uint64_t micros)
    {
        const uint64_t end = clock.PerfCounter() + micros / 10;
        while (clock.PerfCounter() < end)
            app.UpdateAppStep(nullptr);
    };
    runFor(2000000); // the clock's turns learnt, and both odd ticks passed
    starts.clear();
    const int32_t before = app.mUpdateCount;
    runFor(3000000);
    EXPECT_NEAR(app.mUpdateCount - before, 300, 1);
    for (size_t i = 1; i < starts.size(); i++)
        EXPECT_LE(std::abs(int64_t(starts[i] - starts[i - 1]) - 1000), 10) << "update " << i;
}

TEST_F(MainLoop, FractionalUpdateLengthsSleepTheWholeWaitInsteadOfSpinning)
{
    // 1.5 times the speed: 6.67 ms an update. A wait below a whole millisecond must still
    // sleep, or the loop spins until the clock turns (for ever on this clock).
    mApp.mUpdateMultiplier = 1.5;
    const uint32_t end = mEnv.mClock.AccurateTime() + 1000;
    const int32_t before = mApp.mUpdateCount;
    for (int32_t steps = 0; steps < 100000 && int32_t(mEnv.mClock.AccurateTime() - end) < 0; steps++)
        mApp.UpdateAppStep(nullptr);
    EXPECT_GE(mEnv.mClock.AccurateTime(), end);
    EXPECT_NEAR(mApp.mUpdateCount - before, 150, 1);
}

TEST_F(MainLoop, BacklogIsDrawnAfterTenUpdateDecisionsPerSpeedOnceLoaded)
{
    // Speed, loaded, and the most updates between two draws while the backlog runs.
    const std::tuple<double, bool, int32_t> rows[] = {{1.0, true, 9}, {2.0, true, 19}, {1.0, false, 20}};
    for (const auto& [multiplier, loaded, longestRun] : rows)
    {
        mApp.mUpdateMultiplier = multiplier;
        mApp.mLoaded = loaded;
        RunFor(mEnv, mApp, 100);
        mEnv.mClock.Advance(200);
        mApp.mDrawsAtUpdate = {mApp.mUpdateCount};
        RunUntilSleep(mEnv, mApp);
        const std::vector<int32_t>& draws = mApp.mDrawsAtUpdate;
        int32_t longest = 0;
        for (size_t i = 1; i < draws.size(); i++)
            longest = std::max(longest, draws[i] - draws[i - 1]);
        EXPECT_EQ(longest, longestRun) << multiplier << " " << loaded;
    }
}

TEST_F(MainLoop, NestedWaitsUnwindAfterShutdown)
{
    bool nestedResult = true;
    int32_t depthSeen = 0;
    mApp.mOnUpdate = [&]
    {
        if (mApp.mUpdateCount != 20)
            return;
        // A modal wait: it keeps the program running until the loop must unwind.
        while ((nestedResult = mApp.UpdateApp()))
        {
            depthSeen = std::max(depthSeen, mApp.mUpdateAppDepth);
            if (mApp.mUpdateCount == 30)
                mApp.Shutdown();
        }
    };
    mApp.mUpdateCount = 0;
    mApp.DoMainLoop();
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(depthSeen, 1);
    EXPECT_EQ(mApp.mUpdateCount, 30);
    EXPECT_FALSE(mApp.UpdateApp());
}

TEST_F(MainLoop, ADemoFastForwardEndsWithTheUpdateThatShutsDown)
{
    // A replay whose stream has ended, run ahead by "0".
    mApp.mPlayingDemo = mApp.mLoaded = mApp.mDemoLoadDone = true;
    const int32_t start = mApp.mUpdateCount;
    mApp.mFastForwardToUpdateNum = start + 1000;
    mApp.mOnUpdate = [&]
    {
        if (mApp.mUpdateCount == start + 5)
            mApp.Shutdown();
    };
    mApp.DoMainLoop();
    EXPECT_EQ(mApp.mUpdateCount, start + 5);
}

TEST_F(MainLoop, HeldUpdatesStillHandleEventsAndStoppedOnesSleep)
{
    // What holds the updates (speed 0, pause, a demo whose recorded hand-over was played
    // while the loading thread has not finished); fake milliseconds for 50 loop passes (the
    // held demo sleeps from the pass where its first update falls due).
    const std::pair<std::function<void(LoopApp&)>, uint32_t> rows[] = {
        {[](LoopApp& app) { app.mUpdateMultiplier = 0.0; }, 490},
        {[](LoopApp& app) { app.mPaused = true; }, 490},
        {[](LoopApp& app) { app.mPlayingDemo = app.mDemoLoadDone = app.mYieldMainThread = true; }, 480},
        {[](LoopApp& app)
         {
             app.mPlayingDemo = app.mDemoLoadDone = app.mYieldMainThread = true;
             app.mFastForwardToUpdateNum = 1000; // "0" pressed: the run ahead waits as well
         },
         480},
    };
    for (const auto& [hold, elapsed] : rows)
    {
        AppTestEnv env;
        LoopApp app;
        app.Init();
        hold(app);
        int32_t loops = 0;
        env.mPlatform->mOnMessageLoop = [&]
        {
            if (++loops == 50)
                app.Shutdown();
        };
        uint32_t start = env.mClock.AccurateTime();
        app.DoMainLoop();
        EXPECT_EQ(app.mUpdateCount, 0) << elapsed;
        // One frame's sleep per pass instead of a spin.
        EXPECT_EQ(env.mClock.AccurateTime() - start, elapsed);
    }
}

TEST_F(MainLoop, PresentsWaitForChangesOrASecondAndAreSpacedWhileLoading)
{
    mEnv.mPlatform->mPresentTimes.clear();
    RunFor(mEnv, mApp, 3000); // nothing dirty: one present a second
    std::vector<uint32_t>& presents = mEnv.mPlatform->mPresentTimes;
    ASSERT_EQ(presents.size(), 3u);
    EXPECT_GE(presents[1] - presents[0], 1000u);

    // Loading, and the gap between presents when every draw changes something.
    for (const auto& [loading, gap] : {std::make_pair(false, 10u), std::make_pair(true, 50u)})
    {
        mApp.mPresentEveryDraw = true;
        mApp.mLoadingThreadStarted = loading;
        RunFor(mEnv, mApp, 100);
        presents.clear();
        RunFor(mEnv, mApp, 500);
        EXPECT_EQ(GapsBetween(presents), std::set<uint32_t>{gap}) << loading;
    }
}

TEST_F(MainLoop, WhileLoadingTheLoopYieldsTwiceItsTime)
{
    // Each update works 4 ms; the loop then yields twice that to the loading thread: an
    // update every 12 ms.
    std::vector<uint32_t> updateTimes;
    mApp.mOnUpdate = [&]
    {
        updateTimes.push_back(mEnv.mClock.AccurateTime());
        mEnv.mClock.Advance(4);
    };
    mApp.mLoadingThreadStarted = mApp.mYieldMainThread = true;
    RunFor(mEnv, mApp, 100);
    updateTimes.clear();
    RunFor(mEnv, mApp, 1000);
    EXPECT_EQ(GapsBetween(updateTimes), std::set<uint32_t>{12u});
}

TEST_F(MainLoop, OverlayShowsZeroAtOnceThenFramesPerSecond)
{
    mApp.mPresentEveryDraw = true;
    mApp.mShowFPS = true;
    gForceDisplay = true;
    RunFor(mEnv, mApp, 10);
    ASSERT_NE(gFPSFont, nullptr);
    auto* font = static_cast<TestFont*>(gFPSFont);
    ASSERT_FALSE(font->mDrawn.empty());
    EXPECT_EQ(font->mDrawn.back(), "FPS: 0");
    EXPECT_EQ(gFPSDisplay, 0);
    RunFor(mEnv, mApp, 1000);
    EXPECT_EQ(font->mDrawn.back(), "FPS: 100");
    // 50 pixels wide, the font's height and 4 more.
    EXPECT_EQ(gFPSImage->GetWidth(), 50);
    EXPECT_EQ(gFPSImage->GetHeight(), 16);
}

TEST_F(MainLoop, DisplayRecoveryIsTriedAtMostOnceASecond)
{
    for (bool active : {true, false})
    {
        mApp.mActive = active;
        mApp.mPresentEveryDraw = true;
        mEnv.mPlatform->mRedrawResult = false;
        size_t before = mEnv.mPlatform->CallsStartingWith("InitDisplay").size();
        RunFor(mEnv, mApp, 3050);
        // At once, then 1001, 2002 and 3003 ms later.
        EXPECT_EQ(mEnv.mPlatform->CallsStartingWith("InitDisplay").size() - before, 4u) << active;
        mEnv.mPlatform->mRedrawResult = true;
        RunFor(mEnv, mApp, 100);
        EXPECT_FALSE(gIsFailing);
    }
}

} // namespace
