// The generated manifest loaded as the game loads it: "LoadingThread" one resource per
// step on the loading thread (and bound there) while the main loop runs, the other groups
// on the main thread; then every id is bound. Sounds go through the mixer's dummy device.
// Headless on the test platform, and end to end on the SDL platform in a window on the X
// server named by VAXO_DISPLAY_24 (skipped when unset), presenting while loading runs.
#include "game/res/ResourceIds.h"

#include "app/sdl/PlatformSDL.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"
#include "game/res/GameManifest.h"
#include "resources/ResourceManager.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace Vaxo
{

namespace
{

// The SDL platform, without the test program's arguments (they are no options of the game).
class PlatformWithoutArguments : public PlatformSDL
{
public:
    using PlatformSDL::PlatformSDL;
    std::string GetCmdLine() override { return ""; }
};

// A loading screen that changes every update, counting its presents while loading runs.
class LoadingScreenApp : public VaxoAppBase
{
public:
    std::function<void()> mLoadingWork;
    std::atomic<int> mPresentsWhileLoading{0};
    void LoadingThreadProc() override { mLoadingWork(); }
    void UpdateFrames() override
    {
        VaxoAppBase::UpdateFrames();
        mCustomCursorDirty = true;
    }
    void Redraw(TRect<int>* rect) override
    {
        mPresentsWhileLoading += mLoadingThreadStarted && !mLoadingThreadCompleted;
        VaxoAppBase::Redraw(rect);
    }
};

// Runs the whole load on the real clock with the platform the factory makes.
void LoadAndBindTheGame(bool mustPresent)
{
    SetTimeSource(nullptr);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    TempFolder folder;
    GameManifestOptions options;
    options.mOggSource = VAXO_TEST_DATA_DIR "/blip.ogg";
    options.mImageSide = 32;
    options.mPathOverrides["SOUND_KELVIX_BOING"] = "!empty";
    const std::string manifest = WriteGameManifest(folder, options);

    LoadingScreenApp app;
    app.mIsWindowed = true;
    app.Init();
    app.mSoundManager.reset(new SDLSoundManager());
    ResourceManager* manager = app.mResourceManager.get();
    ASSERT_TRUE(manager->ParseResourcesFile(manifest)) << manager->GetErrorText();
    ASSERT_TRUE(manager->LoadResources("Init") && ExtractInitResources(manager)) << manager->GetErrorText();
    ASSERT_TRUE(manager->LoadResources("LoadingScreen") && ExtractLoadingScreenResources(manager));

    std::atomic<bool> bound{false};
    app.mLoadingWork = [&]
    {
        app.mNumLoadingThreadTasks = manager->GetNumResources("LoadingThread");
        manager->StartLoadResources("LoadingThread");
        while (manager->LoadNextResource())
            ++app.mCompletedLoadingThreadTasks;
        bound = !manager->HadError() && ExtractLoadingThreadResources(manager);
    };
    app.StartLoadingThread();
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120); !app.mLoaded;)
        ASSERT_TRUE(app.UpdateAppStep(nullptr) && std::chrono::steady_clock::now() < end);
    EXPECT_TRUE(!mustPresent || app.mPresentsWhileLoading > 0);
    EXPECT_EQ(app.mCompletedLoadingThreadTasks.load(), 442);
    EXPECT_TRUE(bound) << manager->GetErrorText();

    for (const char* group : {"Help", "Mode", "Fame", "Story", "StoryEnd", "Trophy"})
        ASSERT_TRUE(manager->LoadResources(group) && ExtractResourcesByName(manager, group)) << group;
    EXPECT_TRUE(gNeedRecalcVariableToIdMap);
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
    EXPECT_EQ(GetIdByImage(IMAGE_HELP_PAGE3), IMAGE_HELP_PAGE3_ID);
    EXPECT_EQ(GetIdByFont(FONT_SCRIPT), FONT_SCRIPT_ID);
    EXPECT_EQ(GetIdBySound(SOUND_KELVIX_BOING), SOUND_KELVIX_BOING_ID);
    manager->DeleteResources("");
}

TEST(ResourceIdsThreads, GameLoadsHeadless)
{
    AppTestEnv env;
    LoadAndBindTheGame(false);
}

TEST(ResourceIdsThreads, GameLoadsInAWindow)
{
    const char* display = std::getenv("VAXO_DISPLAY_24");
    if (display == nullptr || *display == '\0')
        GTEST_SKIP() << "VAXO_DISPLAY_24 names no X server";
    setenv("DISPLAY", display, 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    // A server still closing an earlier connection now and then refuses the next one.
    bool videoUp = false;
    for (int attempt = 0; attempt < 20 && !videoUp; ++attempt)
        if (!(videoUp = SDL_Init(SDL_INIT_VIDEO) == 0))
            SDL_Delay(50);
    ASSERT_TRUE(videoUp) << SDL_GetError();
    AppTestEnv env; // temporary HOME and settings store
    SetPlatformFactory([](VaxoAppBase* app) { return new PlatformWithoutArguments(app); });
    LoadAndBindTheGame(true);
}

} // namespace
} // namespace Vaxo
