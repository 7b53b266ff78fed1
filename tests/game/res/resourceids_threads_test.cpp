// The generated manifest loaded as the game loads it: "Init" and "LoadingScreen" on the
// main thread, "LoadingThread" one resource per step on the loading thread while the
// main loop runs and draws, its binding made there; afterwards every id is bound.
#include "game/res/ResourceIds.h"

#include "app/support/AppTestEnv.h"
#include "game/res/GameManifest.h"
#include "common/Clock.h"
#include "resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

namespace Vaxo
{
namespace
{

// Presents on every update, as a loading screen with moving parts does.
class LoadingScreenApp : public RecordingApp
{
public:
    void UpdateFrames() override
    {
        RecordingApp::UpdateFrames();
        mCustomCursorDirty = true;
    }
};

TEST(ResourceIdsThreads, LoadingThreadGroupLoadsWhileTheMainLoopDraws)
{
    AppTestEnv env;
    LoadingScreenApp app;
    app.Init();
    // The real clock: the loop draws between the updates it has time left for.
    TimeSource* fakeClock = SetTimeSource(nullptr);
    TempFolder folder;
    ResourceManager* manager = app.mResourceManager.get();
    ASSERT_TRUE(manager->ParseResourcesFile(WriteGameManifest(folder))) << manager->GetErrorText();
    ASSERT_TRUE(manager->LoadResources("Init") && ExtractInitResources(manager)) << manager->GetErrorText();
    ASSERT_TRUE(manager->LoadResources("LoadingScreen") && ExtractLoadingScreenResources(manager));

    std::atomic<bool> bound{false};
    app.mLoadingWork = [&]
    {
        app.mNumLoadingThreadTasks = manager->GetNumResources("LoadingThread");
        manager->StartLoadResources("LoadingThread");
        while (manager->LoadNextResource())
            ++app.mCompletedLoadingThreadTasks;
        if (!manager->HadError())
            bound = ExtractLoadingThreadResources(manager);
    };
    app.StartLoadingThread();

    double lastProgress = 0.0;
    int updatesWhileLoading = 0;
    size_t presentsWhileLoading = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!app.mLoaded && std::chrono::steady_clock::now() < deadline)
    {
        bool updated = false;
        app.UpdateAppStep(&updated);
        double progress = app.GetLoadingThreadProgress();
        EXPECT_GE(progress, lastProgress);
        EXPECT_LE(progress, 1.0);
        lastProgress = progress;
        if (!app.mLoaded)
        {
            updatesWhileLoading += updated;
            presentsWhileLoading = env.mPlatform->mPresentTimes.size();
        }
    }
    SetTimeSource(fakeClock);
    ASSERT_TRUE(app.mLoaded);
    EXPECT_EQ(lastProgress, 1.0);
    EXPECT_GT(updatesWhileLoading, 0);
    EXPECT_GT(presentsWhileLoading, 0u);
    EXPECT_EQ(app.mCompletedLoadingThreadTasks.load(), 442);
    EXPECT_FALSE(manager->HadError()) << manager->GetErrorText();
    EXPECT_TRUE(bound);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("LoadingThreadCompleted").size(), 1u);

    for (const char* group : {"Help", "Mode", "Fame", "Story", "StoryEnd", "Trophy"})
        ASSERT_TRUE(manager->LoadResources(group) && ExtractResourcesByName(manager, group)) << group;
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        const char* name = GetStringIdById(id);
        if (GetImageRefById(id) != nullptr)
            EXPECT_TRUE(GetImageById(id) != nullptr &&
                        GetImageById(id) == static_cast<Image*>(manager->GetImage(name)))
                << name;
        else if (GetFontRefById(id) != nullptr)
            EXPECT_TRUE(GetFontById(id) != nullptr && GetFontById(id) == manager->GetFont(name)) << name;
        else
            EXPECT_EQ(GetSoundById(id), manager->GetSound(name)) << name;
    }
    manager->DeleteResources("");
}

} // namespace
} // namespace Vaxo
