// The resource-id binding: the id list against the group table, ids and names both ways,
// checked look-ups, binding order with partial failure, single images by id. Then the
// generated manifest loaded as the game loads it: "LoadingThread" one resource per step on
// the loading thread (and bound there) while the main loop runs, the other groups on the
// main thread; then every id is bound. Sounds go through the mixer's dummy device.
// Headless on the test platform, and end to end on the SDL platform in a window on the X
// server named by VAXO_DISPLAY_24 (skipped when unset), presenting while loading runs.
#include "game/res/ResourceIds.h"

#include "app/sdl/PlatformSDL.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"
#include "game/res/GameManifest.h"
#include "graphics/MemoryImage.h"
#include "resources/ResourceManager.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>

namespace Vaxo
{
namespace
{

// Puts every variable back to its start value.
void ClearBinding()
{
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        if (Image** image = GetImageRefById(id))
            *image = nullptr;
        else if (Font** font = GetFontRefById(id))
            *font = nullptr;
        else
            *GetSoundRefById(id) = 0;
    }
}

bool IsBound(int id)
{
    return GetImageById(id) != nullptr || GetFontById(id) != nullptr || GetSoundById(id) != 0;
}

TEST(ResourceIds, GroupsIdsNamesAndVariables)
{
    // The game's group table: group, first and last id, images, sounds, fonts.
    // clang-format off
    const std::tuple<const char*, int, int, int, int, int> rows[] = {
        {"Init", 0, 6, 5, 2, 0}, {"LoadingScreen", 7, 23, 16, 1, 0}, {"LoadingThread", 24, 465, 391, 41, 10},
        {"Help", 466, 472, 7, 0, 0}, {"Mode", 473, 492, 20, 0, 0}, {"Fame", 493, 515, 23, 0, 0},
        {"Story", 516, 548, 33, 0, 0}, {"StoryEnd", 549, 557, 9, 0, 0}, {"Trophy", 558, 573, 16, 0, 0}};
    // clang-format on
    const auto& list = GameResourceList();
    ASSERT_EQ(list.size(), size_t(RESOURCE_ID_MAX));
    EXPECT_EQ(gResources[RESOURCE_ID_MAX], nullptr);
    for (const auto& [group, first, last, images, sounds, fonts] : rows)
    {
        std::string kinds;
        for (int id = first; id <= last; ++id)
        {
            EXPECT_EQ(list[id].mGroup, group) << id;
            kinds += list[id].mKind;
        }
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'I'), images) << group;
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'S'), sounds) << group;
        EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'F'), fonts) << group;
    }

    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        const GameResourceEntry& entry = list[id];
        ASSERT_EQ(GetStringIdById(id), entry.mName);
        EXPECT_EQ(GetIdByStringId(GetStringIdById(id)), id);
        EXPECT_EQ(GetIdByVariable(gResources[id]), id);
        // The variable's type follows the name's prefix.
        EXPECT_EQ(entry.mName[0], entry.mKind) << entry.mName;
        EXPECT_EQ(GetImageRefById(id) != nullptr, entry.mKind == 'I') << id;
        EXPECT_EQ(GetSoundRefById(id) != nullptr, entry.mKind == 'S') << id;
        EXPECT_EQ(GetFontRefById(id) != nullptr, entry.mKind == 'F') << id;
    }
    EXPECT_EQ(gResources[FONT_TITLE_ID], static_cast<void*>(&FONT_TITLE));
    EXPECT_EQ(GetStringIdById(574) + std::string(GetStringIdById(-1)), "");
    EXPECT_EQ(GetIdByStringId("IMAGE_CURSOR_HAND"), 1);
    EXPECT_EQ(GetIdByStringId("image_cursor_hand"), RESOURCE_ID_MAX);
    int elsewhere = 0;
    EXPECT_EQ(GetIdByVariable(&elsewhere), RESOURCE_ID_MAX);
    // Nothing is bound yet: no unbound variable answers for a null image or font.
    EXPECT_EQ(GetIdByImage(nullptr), RESOURCE_ID_MAX);
    EXPECT_EQ(GetIdByFont(nullptr), RESOURCE_ID_MAX);

    // Look-ups refuse ids outside 0 to 573 and ids of another kind.
    for (int id : {-1, 574, 575, int(SOUND_BUTTON_CLICK_ID), int(FONT_MEDIUM_ID)})
    {
        EXPECT_EQ(GetImageById(id), nullptr) << id;
        EXPECT_EQ(GetImageRefById(id), nullptr) << id;
        EXPECT_EQ(LoadImageById(nullptr, id), nullptr) << id;
        ReplaceImageById(nullptr, id, nullptr);
    }
    EXPECT_TRUE(GetFontById(574) == nullptr && GetFontRefById(IMAGE_CURSOR_HAND_ID) == nullptr);
    EXPECT_TRUE(GetSoundById(574) == 0 && GetSoundRefById(FONT_MEDIUM_ID) == nullptr);
}

TEST(ResourceIds, PartialBindingsAndSingleImages)
{
    ClearBinding();
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    TempFolder folder;
    ResourceManager manager(&app);
    ASSERT_TRUE(manager.ParseResourcesFile(WriteGameManifest(folder))) << manager.GetErrorText();
    // Nothing loaded: fonts sort first, and FONT_CHECKNUM first among them.
    EXPECT_FALSE(ExtractLoadingThreadResources(&manager));
    EXPECT_EQ(manager.GetErrorText(), "Font resource not found: FONT_CHECKNUM");
    EXPECT_FALSE(ExtractHelpResources(&manager));
    EXPECT_EQ(manager.GetErrorText(), "Font resource not found: FONT_CHECKNUM"); // the first error stays

    // Group names match exactly.
    ASSERT_TRUE(manager.LoadResources("Init"));
    EXPECT_FALSE(ExtractResourcesByName(&manager, "init") || ExtractResourcesByName(&manager, "Nowhere") ||
                 ExtractResourcesByName(&manager, nullptr));
    for (int id = IMAGE_CURSOR_DRAGGING_ID; id <= IMAGE_SIMPLEBUBBLES_ID; ++id)
        EXPECT_EQ(GetImageById(id), nullptr) << id;
    ASSERT_TRUE(ExtractInitResources(&manager));

    // A replaced image the binding holds stays alive across a later load of its group.
    MemoryImage* cursor = new MemoryImage();
    cursor->Create(32, 32);
    ReplaceImageById(&manager, IMAGE_CURSOR_HAND_ID, cursor);
    ASSERT_TRUE(manager.LoadResources("Init") && ExtractInitResources(&manager));
    EXPECT_EQ(IMAGE_CURSOR_HAND, cursor);
    EXPECT_EQ(IMAGE_CURSOR_HAND->GetWidth(), 32);
    Image* page = LoadImageById(&manager, IMAGE_HELP_PAGE1_ID);
    EXPECT_TRUE(page != nullptr && page == IMAGE_HELP_PAGE1);

    // The binding stops at the first missing name in byte order.
    ASSERT_TRUE(manager.LoadResources("LoadingThread")) << manager.GetErrorText();
    const std::string missing = "IMAGE_MAP_BACKGROUND";
    manager.DeleteImage(missing);
    EXPECT_FALSE(ExtractLoadingThreadResources(&manager));
    EXPECT_EQ(manager.GetErrorText(), "Image resource not found: " + missing);
    int bound = 0;
    for (int id = FONT_MEDIUM_ID; id <= IMAGE_FLOATMID_COLA_SM_ID; ++id)
    {
        if (GetSoundRefById(id) != nullptr)
            continue; // the silent sound manager hands out id 0
        EXPECT_EQ(IsBound(id), GetStringIdById(id) < missing) << GetStringIdById(id);
        bound += IsBound(id);
    }
    EXPECT_EQ(bound, 10 + 169); // the fonts, and the images before it in byte order
}

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
    app.mSoundManager.reset(new SDLSoundManager(app.mTitle));
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
