// The generated manifest loaded as the game loads it: "Init" and "LoadingScreen" on the
// main thread, "LoadingThread" one resource per step on the loading thread while the
// main loop keeps updating, its binding made there; afterwards every id is bound, sounds
// (WAVs, one OGG, one "!empty") through the mixer on its dummy device.
#include "game/res/ResourceIds.h"

#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"
#include "game/res/GameManifest.h"
#include "resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace Vaxo
{
namespace
{

TEST(ResourceIdsThreads, LoadingThreadGroupLoadsWhileTheMainLoopRuns)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    // The real clock, so that the loop and the loading thread share real time.
    TimeSource* fakeClock = SetTimeSource(nullptr);
    // Real sounds: WAVs and one OGG through the mixer, on a device that plays nothing.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    app.mSoundManager.reset(new SDLSoundManager());
    TempFolder folder;
    GameManifestOptions options;
    options.mOggSource = VAXO_TEST_DATA_DIR "/blip.ogg";
    options.mPathOverrides["SOUND_KELVIX_BOING"] = "!empty";
    options.mPathOverrides["IMAGE_CURSOR_TEXT"] = "!empty";
    ResourceManager* manager = app.mResourceManager.get();
    ASSERT_TRUE(manager->ParseResourcesFile(WriteGameManifest(folder, options))) << manager->GetErrorText();
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

    int updatesWhileLoading = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!app.mLoaded && std::chrono::steady_clock::now() < deadline)
    {
        bool updated = false;
        app.UpdateAppStep(&updated);
        updatesWhileLoading += updated && !app.mLoaded;
    }
    SetTimeSource(fakeClock);
    ASSERT_TRUE(app.mLoaded);
    EXPECT_GT(updatesWhileLoading, 0);
    EXPECT_EQ(app.mCompletedLoadingThreadTasks.load(), 442);
    EXPECT_TRUE(bound) << manager->GetErrorText();

    for (const char* group : {"Help", "Mode", "Fame", "Story", "StoryEnd", "Trophy"})
    {
        ASSERT_TRUE(manager->LoadResources(group) && ExtractResourcesByName(manager, group)) << group;
        EXPECT_TRUE(gNeedRecalcVariableToIdMap);
    }
    EXPECT_EQ(GetIdByVariable(GetImageRefById(3)), 3);
    EXPECT_FALSE(gNeedRecalcVariableToIdMap);
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        const char* name = GetStringIdById(id);
        if (GetSoundRefById(id) != nullptr)
            EXPECT_EQ(GetSoundById(id), manager->GetSound(name)) << name;
        else
            EXPECT_TRUE(GetImageById(id) == static_cast<Image*>(manager->GetImage(name)) &&
                        GetFontById(id) == manager->GetFont(name) && (GetImageById(id) || GetFontById(id)))
                << name;
    }
    EXPECT_EQ(SOUND_KELVIX_BOING, -2);
    EXPECT_GE(SOUND_RIGHTCLICK_COMPLETE, 0); // the OGG
    EXPECT_EQ(app.mSoundManager->GetNumSounds(), 43);
    EXPECT_EQ(IMAGE_CURSOR_TEXT->GetWidth(), 1);
    EXPECT_EQ(IMAGE_SIMPLEBUBBLES->GetWidth() * IMAGE_SIMPLEBUBBLES->mNumCols, 16 * 4); // an animated sheet
    EXPECT_EQ(GetIdByImage(IMAGE_HELP_PAGE3), IMAGE_HELP_PAGE3_ID);
    EXPECT_EQ(GetIdByFont(FONT_SCRIPT), FONT_SCRIPT_ID);
    EXPECT_EQ(GetIdBySound(SOUND_KELVIX_BOING), SOUND_KELVIX_BOING_ID);
    manager->DeleteResources("");
}

} // namespace
} // namespace Vaxo
