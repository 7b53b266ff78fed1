// The sample program as a user meets it, on the X display named by DISPLAY (skipped without
// one), with SDL's dummy audio driver. Each measurement runs the sample's application in a
// child process of its own, with HOME in a fresh folder, and reports through a pipe:
//   - StartUp: from constructing the application to its first present (the loading
//     screen), and to the first present of the main screen;
//   - WidgetScreenFrame/software and /3d: the main screen (with the new-player dialog over
//     it) drawn whole and presented, 300 times; milliseconds per frame, and their ratio;
//   - IdleMinute: the main screen left alone for 60 s: updates per second held (the main
//     loop's fixed step is 100 a second) and the process's CPU time as a share of one core;
//   - UpdatePacing/0 and /1 (/1 with the new-player dialog open): the intervals between
//     updates on the main screen, against a bare loop sleeping SDL_Delay(10) in the same
//     process, in turns of a second each (the machine's noise falls on both alike);
//     their standard deviation and the 99th percentile less the median, and the CPU share;
//   - PresentsWhileLoading/software and /3d: the intervals between presents while the
//     loading thread loads (the manifest again and again under other variants, so that
//     every pass decodes, before the sample's own group), every update changing the
//     screen as a loading screen with moving parts does; against the same on the main
//     screen with nothing loading.
// UpdatePacing runs VAXO_BENCH_SECONDS seconds (10 by default) of each loop.
#include "../support/Intervals.h"
#include "SampleApp.h"
#include "resources/ResourceManager.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Vaxo;
using namespace VaxoBench;

namespace
{

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The sample from the benchmark's command line; once the main screen has been presented,
// mAtMainScreen runs in an update and must end the run.
class BenchSample : public SampleApp
{
public:
    std::string mArgs;
    std::function<void(BenchSample&)> mAtMainScreen;
    // When the application began to be made (its platform comes up in the base class).
    double mStart;
    double mFirstPresent = 0.0;
    double mMainScreenPresent = 0.0;
    // When set, every update's time is added.
    std::vector<double>* mUpdateTimes = nullptr;
    // Every update changes the screen (a present per update).
    bool mPresentEveryUpdate = false;
    // Times of the presents, and whether the loading thread was running at each.
    std::vector<std::pair<double, bool>> mPresents;
    // Passes over the whole manifest the loading thread makes before the sample's group;
    // the first kSoundPasses load the sounds too.
    static constexpr int32_t kSoundPasses = 50;
    int32_t mExtraLoadingPasses = 0;
    std::vector<std::unique_ptr<ResourceManager>> mExtraManagers;

    BenchSample(const std::string& args, double start) : mArgs(args), mStart(start)
    {
        mChangeDir = VAXO_SAMPLE_RESOURCES;
    }
    void DoParseCmdLine() override
    {
        ParseCmdLine(mArgs);
        mCmdLineParsed = true;
    }
    void Redraw(TRect<int>* rect) override
    {
        SampleApp::Redraw(rect);
        if (mFirstPresent == 0.0)
            mFirstPresent = SteadySeconds() - mStart;
        if (mMainScreen != nullptr && mMainScreenPresent == 0.0)
            mMainScreenPresent = SteadySeconds() - mStart;
        mPresents.emplace_back(SteadySeconds(), mLoadingThreadStarted && !mLoadingThreadCompleted);
    }
    void LoadingThreadProc() override
    {
        for (int32_t pass = 0; pass < mExtraLoadingPasses; pass++)
        {
            auto manager = std::make_unique<ResourceManager>(this);
            if (!manager->ParseResourcesFile("properties/resources.xml"))
                break;
            for (auto& entry : manager->mImageMap)
                static_cast<ResourceManager::ImageRes*>(entry.second.get())->mVariant =
                    "BENCH" + std::to_string(pass);
            // The sound manager has 256 ids: later passes take the sounds as loaded.
            if (pass >= kSoundPasses)
                for (auto& entry : manager->mSoundMap)
                    static_cast<ResourceManager::SoundRes*>(entry.second.get())->mSoundId = -2;
            manager->LoadResources("Init");
            manager->LoadResources("Game");
            // Freed at the end of the process: releasing here would race with the updates.
            mExtraManagers.push_back(std::move(manager));
        }
        SampleApp::LoadingThreadProc();
    }
    void UpdateFrames() override
    {
        SampleApp::UpdateFrames();
        if (mUpdateTimes != nullptr)
            mUpdateTimes->push_back(SteadySeconds());
        if (mPresentEveryUpdate)
            mCustomCursorDirty = true;
        if (mMainScreenPresent > 0.0 && mAtMainScreen)
            std::exchange(mAtMainScreen, nullptr)(*this);
    }
};

// Runs the sample in a child process with `args`; `at` measures at the main screen and
// gives the figures back. Empty when the child failed.
std::vector<double> RunSample(const std::string& args,
                              const std::function<std::vector<double>(BenchSample&)>& at,
                              const std::function<void(BenchSample&)>& setup = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::string home = std::filesystem::temp_directory_path().string() + "/vaxo_bench.XXXXXX";
    if (mkdtemp(&home[0]) == nullptr)
        return {};
    const pid_t pid = fork();
    if (pid == 0)
    {
        setenv("HOME", home.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        // The program's own report lines would break the benchmark's table.
        (void)!freopen("/dev/null", "w", stdout);
        BenchSample app(args, SteadySeconds());
        if (setup)
            setup(app);
        app.mAtMainScreen = [&](BenchSample& self)
        {
            std::vector<double> figures = at(self);
            figures.insert(figures.begin(), {self.mFirstPresent, self.mMainScreenPresent});
            (void)!write(fds[1], figures.data(), figures.size() * sizeof(double));
            self.Shutdown();
        };
        app.Init();
        app.Start();
        std::_Exit(0);
    }
    close(fds[1]);
    std::vector<double> figures(32);
    const ssize_t got = read(fds[0], figures.data(), figures.size() * sizeof(double));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(home);
    figures.resize(got > 0 ? size_t(got) / sizeof(double) : 0);
    return figures;
}

// Xvfb resets when its last client leaves and refuses connections meanwhile, so a
// connection held from here on keeps it up between the runs.
bool HaveDisplay(benchmark::State& state)
{
    static void* held = nullptr;
    auto open =
        reinterpret_cast<void* (*)(const char*)>(dlsym(dlopen("libX11.so.6", RTLD_NOW), "XOpenDisplay"));
    for (int tries = 0; open != nullptr && held == nullptr && tries < 100; tries++)
        if ((held = open(nullptr)) == nullptr)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (held == nullptr)
        state.SkipWithError("no X display (DISPLAY)");
    return held != nullptr;
}

void BM_StartUp(benchmark::State& state)
{
    if (!HaveDisplay(state))
        return;
    double first = 0.0, main = 0.0;
    for (auto _ : state)
    {
        const std::vector<double> figures =
            RunSample("-software -windowed", [](BenchSample&) { return std::vector<double>(); });
        if (figures.size() < 2)
            return state.SkipWithError("the sample failed");
        first += figures[0], main += figures[1];
        state.SetIterationTime(figures[1]);
    }
    state.counters["first_present_ms"] = 1000.0 * first / double(state.iterations());
    state.counters["main_screen_ms"] = 1000.0 * main / double(state.iterations());
}
BENCHMARK(BM_StartUp)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// Milliseconds per whole frame of the main screen, with the given acceleration.
double FrameMs(const std::string& mode)
{
    const std::vector<double> figures =
        RunSample(mode + " -windowed",
                  [](BenchSample& app)
                  {
                      const int frames = 300;
                      const double start = SteadySeconds();
                      for (int i = 0; i < frames; i++)
                      {
                          app.mWidgetManager->MarkAllDirty();
                          app.DrawDirtyStuff();
                      }
                      return std::vector<double>{1000.0 * (SteadySeconds() - start) / frames};
                  });
    return figures.size() == 3 ? figures[2] : 0.0;
}

void BM_WidgetScreenFrame(benchmark::State& state)
{
    if (!HaveDisplay(state))
        return;
    double software = 0.0, gl = 0.0;
    for (auto _ : state)
    {
        software = FrameMs("-software");
        gl = FrameMs("-3d");
        if (software == 0.0 || gl == 0.0)
            return state.SkipWithError("the sample failed");
        state.SetIterationTime((software + gl) / 1000.0);
    }
    state.counters["software_ms"] = software;
    state.counters["3d_ms"] = gl;
    state.counters["3d_over_software"] = gl / software;
}
BENCHMARK(BM_WidgetScreenFrame)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_IdleMinute(benchmark::State& state)
{
    if (!HaveDisplay(state))
        return;
    for (auto _ : state)
    {
        const std::vector<double> figures = RunSample(
            "-software -windowed",
            [](BenchSample& app)
            {
                const int32_t updates = app.mUpdateCount;
                const double start = SteadySeconds(), cpu = CpuSeconds();
                // The main loop runs, nested, for a minute.
                while (SteadySeconds() - start < 60.0 && app.UpdateApp())
                    ;
                const double wall = SteadySeconds() - start;
                return std::vector<double>{(app.mUpdateCount - updates) / wall, (CpuSeconds() - cpu) / wall};
            });
        if (figures.size() != 4)
            return state.SkipWithError("the sample failed");
        state.SetIterationTime(60.0);
        state.counters["updates_per_s"] = figures[2];
        state.counters["cpu_share"] = figures[3];
    }
}
BENCHMARK(BM_IdleMinute)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

uint32_t PacingSeconds()
{
    const char* text = std::getenv("VAXO_BENCH_SECONDS");
    const int seconds = text != nullptr ? std::atoi(text) : 0;
    return uint32_t(seconds > 0 ? seconds : 10);
}

void BM_UpdatePacing(benchmark::State& state)
{
    if (!HaveDisplay(state))
        return;
    const bool withDialog = state.range(0) != 0;
    for (auto _ : state)
    {
        const std::vector<double> figures = RunSample(
            "-software -windowed",
            [withDialog](BenchSample& app)
            {
                if (!withDialog)
                    while (!app.mDialogMap.empty())
                        app.KillDialog(app.mDialogMap.begin()->first);
                std::vector<double> loop, bare;
                double loopCpu = 0.0, bareCpu = 0.0;
                std::vector<double> times;
                for (uint32_t turn = 0; turn < PacingSeconds(); turn++)
                {
                    // The loop for a second, without the backlog the bare loop's turn left.
                    times.clear();
                    app.ClearUpdateBacklog(false);
                    app.mUpdateTimes = &times;
                    double start = SteadySeconds(), cpu = CpuSeconds();
                    while (SteadySeconds() - start < 1.0 && app.UpdateApp())
                        ;
                    loopCpu += CpuSeconds() - cpu;
                    app.mUpdateTimes = nullptr;
                    AppendIntervals(times, &loop);

                    times.clear();
                    start = SteadySeconds(), cpu = CpuSeconds();
                    while (SteadySeconds() - start < 1.0)
                    {
                        SDL_Delay(10);
                        times.push_back(SteadySeconds());
                    }
                    bareCpu += CpuSeconds() - cpu;
                    AppendIntervals(times, &bare);
                }
                const Intervals a = Measure(loop), b = Measure(bare);
                return std::vector<double>{
                    a.mMeanMs,   a.mStdDevMs,        a.mP99LessMedianMs,        b.mMeanMs,
                    b.mStdDevMs, b.mP99LessMedianMs, loopCpu / PacingSeconds(), bareCpu / PacingSeconds()};
            });
        if (figures.size() != 10)
            return state.SkipWithError("the sample failed");
        state.SetIterationTime(2.0 * PacingSeconds());
        state.counters["interval_ms"] = figures[2];
        state.counters["stddev_ms"] = figures[3];
        state.counters["p99_less_median_ms"] = figures[4];
        state.counters["ref_interval_ms"] = figures[5];
        state.counters["ref_stddev_ms"] = figures[6];
        state.counters["ref_p99_less_median_ms"] = figures[7];
        state.counters["stddev_over_ref"] = figures[3] / figures[6];
        state.counters["cpu_pct"] = 100.0 * figures[8];
        state.counters["ref_cpu_pct"] = 100.0 * figures[9];
    }
}
BENCHMARK(BM_UpdatePacing)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_PresentsWhileLoading(benchmark::State& state)
{
    if (!HaveDisplay(state))
        return;
    const std::string mode = state.range(0) != 0 ? "-3d" : "-software";
    for (auto _ : state)
    {
        const std::vector<double> figures = RunSample(
            mode + " -windowed",
            [](BenchSample& app)
            {
                std::vector<double> loading, idle, times;
                for (size_t i = 1; i < app.mPresents.size(); i++)
                    if (app.mPresents[i - 1].second && app.mPresents[i].second)
                        loading.push_back(1000.0 * (app.mPresents[i].first - app.mPresents[i - 1].first));
                const double loadMs =
                    loading.empty() ? 0.0 : 1000.0 * (app.mMainScreenPresent - app.mFirstPresent);
                // The main screen as long again with nothing loading.
                app.mPresents.clear();
                const double start = SteadySeconds();
                while (SteadySeconds() - start < std::max(1.0, loadMs / 1000.0) && app.UpdateApp())
                    ;
                for (const auto& present : app.mPresents)
                    times.push_back(present.first);
                AppendIntervals(times, &idle);
                const Intervals a = Measure(loading), b = Measure(idle);
                return std::vector<double>{loadMs, a.mMeanMs, a.mMaxMs, b.mMeanMs, b.mMaxMs};
            },
            [](BenchSample& app)
            {
                app.mPresentEveryUpdate = true;
                app.mExtraLoadingPasses = 250;
            });
        if (figures.size() != 7 || figures[2] == 0.0)
            return state.SkipWithError("the sample failed");
        state.SetIterationTime(figures[2] / 1000.0);
        state.counters["load_ms"] = figures[2];
        state.counters["present_mean_ms"] = figures[3];
        state.counters["present_max_ms"] = figures[4];
        state.counters["ref_present_mean_ms"] = figures[5];
        state.counters["ref_present_max_ms"] = figures[6];
    }
}
BENCHMARK(BM_PresentsWhileLoading)
    ->ArgName("3d")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
