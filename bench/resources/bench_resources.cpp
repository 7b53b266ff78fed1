// Loading the game's "LoadingThread" group: 442 resources (391 images, 41 sounds, 10
// fonts) generated from the binding's id list, with images of 128 x 128 pixels (sprite
// sheets and animations 512 x 256 and 512 x 128) and half-second WAVs, headless (test
// platform, software images, the mixer on its dummy device).
//   - one resource per LoadNextResource step, as the loading thread does: time per
//     resource by kind and in total, and the growth of the peak resident memory; against
//     the reference: decoding the same image files with ImageLib alone (what the files
//     cost without the manager);
//   - on the loading thread while the main loop runs on the real clock and presents
//     every update: the intervals between presents while the group loads, against the
//     same loop with nothing loading.
#include "../support/Intervals.h"
#include "app/VaxoAppBase.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"
#include "game/res/GameManifest.h"
#include "graphics/imagelib/ImageLib.h"
#include "resources/ResourceManager.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;
using namespace VaxoBench;

namespace
{

// Presents on every update, as a loading screen with moving parts does.
class BenchApp : public RecordingApp
{
public:
    void UpdateFrames() override
    {
        RecordingApp::UpdateFrames();
        mCustomCursorDirty = true;
    }
};

// Remembers the kind of the resource each step loaded.
class KindManager : public ResourceManager
{
public:
    using ResourceManager::ResourceManager;
    int mLastKind = -1;
    void ResourceLoadedHook(BaseRes* res) override { mLastKind = res->mType; }
};

double PeakRssMb()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct Fixture
{
    AppTestEnv env;
    std::unique_ptr<BenchApp> app;
    TempFolder folder;
    std::string manifest;
    std::vector<std::string> imageFiles; // the group's image paths, for the reference

    Fixture()
    {
        SetTimeSource(nullptr); // the real clock
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        NewApp();
        GameManifestOptions options;
        options.mImageSide = 128;
        options.mWavFrames = 11025;
        manifest = WriteGameManifest(folder, options);
        ResourceManager manager(app.get());
        if (!manager.ParseResourcesFile(manifest))
            abort();
        for (auto& entry : manager.mImageMap)
            if (entry.second->mResGroup == "LoadingThread")
                imageFiles.push_back(entry.second->mPath);
    }

    // A fresh application: one declares each resource once and starts its loading thread
    // once. The old one goes first, since an application is the process's only one.
    BenchApp& NewApp()
    {
        app.reset();
        app = std::make_unique<BenchApp>();
        app->Init();
        app->mSoundManager.reset(new SDLSoundManager(app->mTitle));
        return *app;
    }
};

Fixture& TheFixture()
{
    static Fixture fixture;
    return fixture;
}

void BM_LoadGroupStepByStep(benchmark::State& state)
{
    Fixture& f = TheFixture();
    double seconds[3] = {0, 0, 0};
    int64_t counts[3] = {0, 0, 0};
    double peakBefore = PeakRssMb();
    for (auto _ : state)
    {
        state.PauseTiming();
        auto manager = std::make_unique<KindManager>(f.app.get());
        if (!manager->ParseResourcesFile(f.manifest))
            state.SkipWithError(manager->GetErrorText().c_str());
        state.ResumeTiming();

        manager->StartLoadResources("LoadingThread");
        for (;;)
        {
            auto start = std::chrono::steady_clock::now();
            if (!manager->LoadNextResource())
                break;
            double step = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            seconds[manager->mLastKind] += step;
            counts[manager->mLastKind]++;
        }
        if (manager->HadError())
            state.SkipWithError(manager->GetErrorText().c_str());

        state.PauseTiming();
        manager.reset();
        f.app->CleanSharedImages();
        state.ResumeTiming();
    }
    const char* names[3] = {"image_us", "sound_us", "font_us"};
    for (int kind = 0; kind < 3; ++kind)
        state.counters[names[kind]] = counts[kind] > 0 ? seconds[kind] * 1e6 / counts[kind] : 0.0;
    state.counters["resources"] = double(counts[0] + counts[1] + counts[2]) / state.iterations();
    state.counters["peak_rss_growth_mb"] = PeakRssMb() - peakBefore;
}
BENCHMARK(BM_LoadGroupStepByStep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The reference: the same image files decoded, alpha companions merged, nothing else.
void BM_DecodeImagesOnly(benchmark::State& state)
{
    Fixture& f = TheFixture();
    double seconds = 0;
    for (auto _ : state)
    {
        auto start = std::chrono::steady_clock::now();
        for (const std::string& path : f.imageFiles)
        {
            std::unique_ptr<ImageLib::Image> image(ImageLib::GetImage(path, true));
            benchmark::DoNotOptimize(image.get());
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["image_us"] = seconds * 1e6 / double(f.imageFiles.size() * state.iterations());
}
BENCHMARK(BM_DecodeImagesOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Intervals between the presents, whose times are the platform's milliseconds.
Intervals PresentIntervals(const std::vector<uint32_t>& presents)
{
    std::vector<double> ms;
    for (size_t i = 1; i < presents.size(); ++i)
        ms.push_back(double(presents[i] - presents[i - 1]));
    return Measure(ms);
}

// The main loop while the loading thread loads the group, then the same loop as long
// again with nothing loading. Each iteration on a fresh application.
void BM_MainLoopWhileLoading(benchmark::State& state)
{
    Fixture& f = TheFixture();
    double loadMs = 0.0, loadingMean = 0.0, loadingMax = 0.0, idleMean = 0.0, idleMax = 0.0;
    for (auto _ : state)
    {
        BenchApp& app = f.NewApp();
        ResourceManager* manager = app.mResourceManager.get();
        if (!manager->ParseResourcesFile(f.manifest))
            return state.SkipWithError(manager->GetErrorText().c_str());
        app.mLoadingWork = [&]
        {
            app.mNumLoadingThreadTasks = manager->GetNumResources("LoadingThread");
            manager->StartLoadResources("LoadingThread");
            while (manager->LoadNextResource())
                ++app.mCompletedLoadingThreadTasks;
        };
        TestPlatform* platform = app.Platform();
        auto start = std::chrono::steady_clock::now();
        app.StartLoadingThread();
        while (!app.mLoaded)
            app.UpdateAppStep(nullptr);
        const double loadSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (manager->HadError())
            return state.SkipWithError(manager->GetErrorText().c_str());
        const Intervals loadingNow = PresentIntervals(platform->mPresentTimes);

        platform->mPresentTimes.clear();
        const uint32_t idleStart = GetAccurateTime();
        while (GetAccurateTime() - idleStart < uint32_t(loadSeconds * 1000) + 100)
            app.UpdateAppStep(nullptr);
        const Intervals idleNow = PresentIntervals(platform->mPresentTimes);

        loadMs += loadSeconds * 1000;
        loadingMean += loadingNow.mMeanMs;
        loadingMax = std::max(loadingMax, loadingNow.mMaxMs);
        idleMean += idleNow.mMeanMs;
        idleMax = std::max(idleMax, idleNow.mMaxMs);
        app.WaitForLoadingThread();
    }
    const double n = double(state.iterations());
    state.counters["load_ms"] = loadMs / n;
    state.counters["present_mean_ms"] = loadingMean / n;
    state.counters["present_max_ms"] = loadingMax;
    state.counters["ref_present_mean_ms"] = idleMean / n;
    state.counters["ref_present_max_ms"] = idleMax;
}
BENCHMARK(BM_MainLoopWhileLoading)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
