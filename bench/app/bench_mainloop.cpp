// The main loop's pacing, headless (test platform, software screen), each run against a
// plain "sleep 10 ms, update" loop as reference:
//   - against the fake clock: updates per simulated second, and the wall time one
//     simulated second costs;
//   - against the real clock with every core kept busy by other threads: updates per
//     second and the spread of the intervals between presents (a present every update);
//   - idle (nothing dirty) on the real clock: the share of one core the loop's thread
//     uses;
//   - on the real clock, presenting every update or nothing: the intervals between
//     updates (steady clock) in turns of a second against a bare "SDL_Delay(10)" loop,
//     their standard deviation and 99th percentile less the median.
// Each run lasts VAXO_BENCH_SECONDS seconds (60 by default).
#include "../support/Intervals.h"
#include "app/VaxoAppBase.h"
#include "app/support/TestPlatform.h"
#include "common/Clock.h"
#include "common/Common.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

using namespace Vaxo;
using namespace VaxoBench;

namespace
{

uint32_t BenchSeconds()
{
    const char* text = std::getenv("VAXO_BENCH_SECONDS");
    int seconds = text != nullptr ? std::atoi(text) : 60;
    return uint32_t(seconds > 0 ? seconds : 60);
}

// CPU time of the calling thread (the loop's), not of the load threads.
double ThreadCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Presents on every update when asked, as a screen that changes every frame does.
class BenchApp : public VaxoAppBase
{
public:
    bool mDirtyEveryUpdate = false;
    // When set, every update's steady-clock time in seconds is added.
    std::vector<double>* mUpdateTimes = nullptr;
    void UpdateFrames() override
    {
        VaxoAppBase::UpdateFrames();
        if (mDirtyEveryUpdate)
            mCustomCursorDirty = true;
        if (mUpdateTimes != nullptr)
            mUpdateTimes->push_back(SteadySeconds());
    }
    TestPlatform* Platform() { return static_cast<TestPlatform*>(mPlatform.get()); }
};

// Keeps every core busy for its lifetime (the loop then competes for the CPU).
class Load
{
public:
    Load()
    {
        unsigned n = std::thread::hardware_concurrency();
        for (unsigned i = 0; i < (n > 0 ? n : 4); i++)
            mThreads.emplace_back(
                [this]
                {
                    volatile uint64_t sink = 0;
                    while (!mStop)
                        sink = sink + 1;
                });
    }
    ~Load()
    {
        mStop = true;
        for (auto& thread : mThreads)
            thread.join();
    }

private:
    std::atomic<bool> mStop{false};
    std::vector<std::thread> mThreads;
};

struct Run
{
    double updatesPerSecond;
    double presentJitterMs; // standard deviation of present intervals
    double cpuShare;        // of one core
};

// Runs the application's loop for the given milliseconds of its clock.
Run RunLoop(BenchApp& app, uint32_t ms)
{
    // Settle into the fixed step first.
    for (uint32_t start = GetAccurateTime(); GetAccurateTime() - start < 100;)
        app.UpdateAppStep(nullptr);
    app.Platform()->mPresentTimes.clear();
    uint32_t start = GetAccurateTime();
    int32_t updatesBefore = app.mUpdateCount;
    double cpuBefore = ThreadCpuSeconds();
    while (GetAccurateTime() - start < ms)
        app.UpdateAppStep(nullptr);
    Run run;
    run.cpuShare = (ThreadCpuSeconds() - cpuBefore) / (ms / 1000.0);
    run.updatesPerSecond = (app.mUpdateCount - updatesBefore) * 1000.0 / ms;
    const std::vector<uint32_t>& presents = app.Platform()->mPresentTimes;
    double sum = 0, sumSquares = 0;
    size_t n = presents.size() > 1 ? presents.size() - 1 : 0;
    for (size_t i = 0; i < n; i++)
    {
        double interval = presents[i + 1] - presents[i];
        sum += interval;
        sumSquares += interval * interval;
    }
    run.presentJitterMs = n > 0 ? std::sqrt(std::max(0.0, sumSquares / n - (sum / n) * (sum / n))) : 0.0;
    return run;
}

// The reference: sleep a frame, update, as a naive loop does.
Run RunReference(uint32_t ms)
{
    uint32_t start = GetAccurateTime();
    double cpuBefore = ThreadCpuSeconds();
    int32_t updates = 0;
    std::vector<uint32_t> presents;
    while (GetAccurateTime() - start < ms)
    {
        ThreadSleep(10);
        updates++;
        presents.push_back(GetAccurateTime());
    }
    Run run;
    run.cpuShare = (ThreadCpuSeconds() - cpuBefore) / (ms / 1000.0);
    run.updatesPerSecond = updates * 1000.0 / ms;
    double sum = 0, sumSquares = 0;
    for (size_t i = 1; i < presents.size(); i++)
    {
        double interval = presents[i] - presents[i - 1];
        sum += interval;
        sumSquares += interval * interval;
    }
    size_t n = presents.size() > 1 ? presents.size() - 1 : 1;
    run.presentJitterMs = std::sqrt(std::max(0.0, sumSquares / n - (sum / n) * (sum / n)));
    return run;
}

void Report(benchmark::State& state, const Run& loop, const Run& reference)
{
    state.counters["updates_per_s"] = loop.updatesPerSecond;
    state.counters["ref_updates_per_s"] = reference.updatesPerSecond;
    state.counters["present_jitter_ms"] = loop.presentJitterMs;
    state.counters["ref_present_jitter_ms"] = reference.presentJitterMs;
    state.counters["cpu_share_pct"] = loop.cpuShare * 100.0;
    state.counters["ref_cpu_share_pct"] = reference.cpuShare * 100.0;
}

// Makes the application on the test platform, without settings, and brings it up.
void MakeApp(std::unique_ptr<BenchApp>* app)
{
    PlatformFactory old = SetPlatformFactory([](VaxoAppBase* owner) { return new TestPlatform(owner); });
    app->reset(new BenchApp());
    SetPlatformFactory(old);
    (*app)->Init();
    (*app)->mLoaded = true;
}

void BM_MainLoopFakeClock(benchmark::State& state)
{
    for (auto _ : state)
    {
        FakeTimeSource clock(1000);
        ScopedTimeSource scoped(clock);
        std::unique_ptr<BenchApp> app;
        MakeApp(&app);
        app->mDirtyEveryUpdate = true;
        auto wallStart = std::chrono::steady_clock::now();
        Run loop = RunLoop(*app, BenchSeconds() * 1000);
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        Run reference = RunReference(BenchSeconds() * 1000);
        Report(state, loop, reference);
        state.counters["wall_us_per_sim_s"] = wall * 1e6 / BenchSeconds();
    }
}
BENCHMARK(BM_MainLoopFakeClock)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_MainLoopRealClockUnderLoad(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::unique_ptr<BenchApp> app;
        MakeApp(&app);
        app->mDirtyEveryUpdate = true;
        Load load;
        Run loop = RunLoop(*app, BenchSeconds() * 1000);
        Run reference = RunReference(BenchSeconds() * 1000);
        Report(state, loop, reference);
    }
}
BENCHMARK(BM_MainLoopRealClockUnderLoad)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_MainLoopIdleNothingDirty(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::unique_ptr<BenchApp> app;
        MakeApp(&app);
        Run loop = RunLoop(*app, BenchSeconds() * 1000);
        Run reference = RunReference(BenchSeconds() * 1000);
        Report(state, loop, reference);
    }
}
BENCHMARK(BM_MainLoopIdleNothingDirty)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_MainLoopUpdatePacing(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::unique_ptr<BenchApp> app;
        MakeApp(&app);
        app->mDirtyEveryUpdate = state.range(0) != 0;
        std::vector<double> loopMs, bareMs, times;
        for (uint32_t turn = 0; turn < BenchSeconds(); turn++)
        {
            // A second of the loop, without the backlog the bare loop's turn left.
            times.clear();
            app->ClearUpdateBacklog(false);
            app->mUpdateTimes = &times;
            for (double start = SteadySeconds(); SteadySeconds() - start < 1.0;)
                app->UpdateAppStep(nullptr);
            app->mUpdateTimes = nullptr;
            AppendIntervals(times, &loopMs);

            times.clear();
            for (double start = SteadySeconds(); SteadySeconds() - start < 1.0;)
            {
                ThreadSleep(10);
                times.push_back(SteadySeconds());
            }
            AppendIntervals(times, &bareMs);
        }
        const Intervals loop = Measure(loopMs), bare = Measure(bareMs);
        state.counters["interval_ms"] = loop.mMeanMs;
        state.counters["stddev_ms"] = loop.mStdDevMs;
        state.counters["p99_less_median_ms"] = loop.mP99LessMedianMs;
        state.counters["ref_interval_ms"] = bare.mMeanMs;
        state.counters["ref_stddev_ms"] = bare.mStdDevMs;
        state.counters["ref_p99_less_median_ms"] = bare.mP99LessMedianMs;
        state.counters["stddev_over_ref"] = bare.mStdDevMs > 0 ? loop.mStdDevMs / bare.mStdDevMs : 0.0;
    }
}
BENCHMARK(BM_MainLoopUpdatePacing)
    ->ArgName("dirty")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
