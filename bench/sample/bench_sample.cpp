// The sample program as a user meets it, on the X display named by DISPLAY (skipped without
// one), with SDL's dummy audio driver. Each measurement runs the sample's application in a
// child process of its own, with HOME in a fresh folder, and reports through a pipe:
//   - StartUp: from constructing the application to its first present (the loading
//     screen), and to the first present of the main screen;
//   - WidgetScreenFrame/software and /3d: the main screen (with the new-player dialog over
//     it) drawn whole and presented, 300 times; milliseconds per frame, and their ratio;
//   - IdleMinute: the main screen left alone for 60 s: updates per second held (the main
//     loop's fixed step is 100 a second) and the process's CPU time as a share of one core.
#include "SampleApp.h"
#include "widgets/WidgetManager.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace Vaxo;

namespace
{

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

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
            mFirstPresent = Seconds() - mStart;
        if (mMainScreen != nullptr && mMainScreenPresent == 0.0)
            mMainScreenPresent = Seconds() - mStart;
    }
    void UpdateFrames() override
    {
        SampleApp::UpdateFrames();
        if (mMainScreenPresent > 0.0 && mAtMainScreen)
            std::exchange(mAtMainScreen, nullptr)(*this);
    }
};

// Runs the sample in a child process with `args`; `at` measures at the main screen and
// gives the figures back. Empty when the child failed.
std::vector<double> RunSample(const std::string& args,
                              const std::function<std::vector<double>(BenchSample&)>& at)
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
        BenchSample app(args, Seconds());
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
    std::vector<double> figures(16);
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
                      const double start = Seconds();
                      for (int i = 0; i < frames; i++)
                      {
                          app.mWidgetManager->MarkAllDirty();
                          app.DrawDirtyStuff();
                      }
                      return std::vector<double>{1000.0 * (Seconds() - start) / frames};
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
                const double start = Seconds(), cpu = CpuSeconds();
                // The main loop runs, nested, for a minute.
                while (Seconds() - start < 60.0 && app.UpdateApp())
                    ;
                const double wall = Seconds() - start;
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

} // namespace
