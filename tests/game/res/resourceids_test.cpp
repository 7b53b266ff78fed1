// The resource-id binding: the id list against the group table, ids and names both
// ways, checked look-ups, binding order with partial failure, and binding the whole
// generated manifest.
#include "game/res/ResourceIds.h"

#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "game/res/GameManifest.h"
#include "graphics/MemoryImage.h"
#include "resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

TEST(ResourceIds, GroupsHoldTheirIdsInOrder)
{
    struct Row
    {
        const char* group;
        int first;
        int last;
        int images;
        int sounds;
        int fonts;
    };
    // The game's group table.
    const Row rows[] = {
        {"Init", 0, 6, 5, 2, 0},
        {"LoadingScreen", 7, 23, 16, 1, 0},
        {"LoadingThread", 24, 465, 391, 41, 10},
        {"Help", 466, 472, 7, 0, 0},
        {"Mode", 473, 492, 20, 0, 0},
        {"Fame", 493, 515, 23, 0, 0},
        {"Story", 516, 548, 33, 0, 0},
        {"StoryEnd", 549, 557, 9, 0, 0},
        {"Trophy", 558, 573, 16, 0, 0},
    };
    const auto& list = GameResourceList();
    ASSERT_EQ(list.size(), size_t(RESOURCE_ID_MAX));
    EXPECT_EQ(RESOURCE_ID_MAX, 574);
    EXPECT_EQ(gResources[RESOURCE_ID_MAX], nullptr);
    for (const Row& row : rows)
    {
        int counts[3] = {0, 0, 0};
        for (int id = row.first; id <= row.last; ++id)
        {
            EXPECT_EQ(list[id].mGroup, row.group) << id;
            counts[list[id].mKind == 'I' ? 0 : list[id].mKind == 'S' ? 1 : 2]++;
        }
        EXPECT_EQ(counts[0], row.images) << row.group;
        EXPECT_EQ(counts[1], row.sounds) << row.group;
        EXPECT_EQ(counts[2], row.fonts) << row.group;
    }
    // The variables and the enumeration come from the same list.
    EXPECT_EQ(IMAGE_CURSOR_DRAGGING_ID, 0);
    EXPECT_EQ(SOUND_KELVIX_BOING_ID, 23);
    EXPECT_EQ(FONT_MEDIUM_ID, 24);
    EXPECT_EQ(IMAGE_CURLUFRIES_LG_ID, GetIdByStringId("IMAGE_CURLUFRIES_LG"));
    EXPECT_EQ(IMAGE_TROPHY_TROPHY4_BASE_ID, 573);
    EXPECT_EQ(gResources[FONT_TITLE_ID], static_cast<void*>(&FONT_TITLE));
    EXPECT_EQ(gResources[SOUND_PICKUP_ID], static_cast<void*>(&SOUND_PICKUP));
}

TEST(ResourceIds, NamesAndIdsBothWays)
{
    const auto& list = GameResourceList();
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        ASSERT_EQ(GetStringIdById(id), list[id].mName);
        EXPECT_EQ(GetIdByStringId(GetStringIdById(id)), id);
        EXPECT_EQ(GetIdByVariable(gResources[id]), id);
        // The variable's type follows the name's prefix.
        const std::string prefix = list[id].mKind == 'I'   ? "IMAGE_"
                                   : list[id].mKind == 'S' ? "SOUND_"
                                                           : "FONT_";
        EXPECT_EQ(list[id].mName.compare(0, prefix.size(), prefix), 0) << list[id].mName;
        EXPECT_EQ(GetImageRefById(id) != nullptr, list[id].mKind == 'I') << id;
        EXPECT_EQ(GetSoundRefById(id) != nullptr, list[id].mKind == 'S') << id;
        EXPECT_EQ(GetFontRefById(id) != nullptr, list[id].mKind == 'F') << id;
    }
    EXPECT_STREQ(GetStringIdById(574), "");
    EXPECT_STREQ(GetStringIdById(-1), "");
    EXPECT_EQ(GetIdByStringId("IMAGE_CURSOR_HAND"), 1);
    EXPECT_EQ(GetIdByStringId("image_cursor_hand"), RESOURCE_ID_MAX);
    EXPECT_EQ(GetIdByStringId(""), RESOURCE_ID_MAX);
    EXPECT_EQ(GetIdByVariable(nullptr), RESOURCE_ID_MAX);
    int elsewhere = 0;
    EXPECT_EQ(GetIdByVariable(&elsewhere), RESOURCE_ID_MAX);
}

TEST(ResourceIds, LookUpsRefuseIdsOutsideTheirKind)
{
    const int ids[] = {-1, RESOURCE_ID_MAX, RESOURCE_ID_MAX + 1, SOUND_BUTTON_CLICK_ID, FONT_MEDIUM_ID};
    for (int id : ids)
    {
        EXPECT_EQ(GetImageById(id), nullptr) << id;
        EXPECT_EQ(GetImageRefById(id), nullptr) << id;
        EXPECT_EQ(LoadImageById(nullptr, id), nullptr) << id;
        ReplaceImageById(nullptr, id, nullptr);
    }
    EXPECT_EQ(GetFontById(RESOURCE_ID_MAX), nullptr);
    EXPECT_EQ(GetFontRefById(IMAGE_CURSOR_HAND_ID), nullptr);
    EXPECT_EQ(GetSoundById(RESOURCE_ID_MAX), 0);
    EXPECT_EQ(GetSoundRefById(-5), nullptr);
    EXPECT_EQ(GetSoundRefById(FONT_MEDIUM_ID), nullptr);
    EXPECT_EQ(GetIdByImage(nullptr), RESOURCE_ID_MAX);
    EXPECT_EQ(GetIdByFont(nullptr), RESOURCE_ID_MAX);
}

class BindingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ClearBinding();
        mApp.Init();
    }
    void TearDown() override { ClearBinding(); }

    void Parse(const GameManifestOptions& options = {})
    {
        ASSERT_TRUE(mManager.ParseResourcesFile(WriteGameManifest(mFolder, options)))
            << mManager.GetErrorText();
    }

    AppTestEnv mEnv;
    RecordingApp mApp;
    TempFolder mFolder;
    ResourceManager mManager{&mApp};
};

TEST_F(BindingTest, EveryGroupBindsEveryId)
{
    // Real sounds: WAVs and one OGG through the mixer, on a device that plays nothing.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    mApp.mSoundManager.reset(new SDLSoundManager());
    ASSERT_TRUE(mApp.mSoundManager->Initialized());
    GameManifestOptions options;
    options.mOggSource = VAXO_TEST_DATA_DIR "/blip.ogg";
    options.mPathOverrides["SOUND_KELVIX_BOING"] = "!empty";
    options.mPathOverrides["IMAGE_SIMPLEBUBBLES"] = "!empty";
    Parse(options);
    const char* groups[] = {"Fame", "Help",  "Init",     "LoadingScreen", "LoadingThread",
                            "Mode", "Story", "StoryEnd", "Trophy"};
    for (const char* group : groups)
    {
        ASSERT_TRUE(mManager.LoadResources(group)) << mManager.GetErrorText();
        EXPECT_TRUE(ExtractResourcesByName(&mManager, group)) << group;
        EXPECT_TRUE(gNeedRecalcVariableToIdMap);
    }
    EXPECT_EQ(GetIdByVariable(GetImageRefById(3)), 3);
    EXPECT_FALSE(gNeedRecalcVariableToIdMap);

    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        const char* name = GetStringIdById(id);
        if (GetImageRefById(id) != nullptr)
            EXPECT_EQ(GetImageById(id), static_cast<Image*>(mManager.GetImage(name))) << name;
        else if (GetFontRefById(id) != nullptr)
            EXPECT_EQ(GetFontById(id), mManager.GetFont(name)) << name;
        else
            EXPECT_EQ(GetSoundById(id), mManager.GetSound(name)) << name;
        if (GetSoundRefById(id) == nullptr)
            EXPECT_TRUE(IsBound(id)) << name;
    }
    EXPECT_EQ(SOUND_KELVIX_BOING, -2);
    // 43 sounds loaded, each under an id of its own; the OGG is the second.
    std::vector<int> soundIds;
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
        if (GetSoundRefById(id) != nullptr && GetSoundById(id) >= 0)
            soundIds.push_back(GetSoundById(id));
    std::sort(soundIds.begin(), soundIds.end());
    EXPECT_EQ(std::unique(soundIds.begin(), soundIds.end()) - soundIds.begin(), 43);
    EXPECT_EQ(mApp.mSoundManager->GetNumSounds(), 43);
    EXPECT_TRUE(std::ifstream(mFolder.Dir() + "sounds/SOUND_RIGHTCLICK_COMPLETE.ogg"));
    EXPECT_GE(SOUND_RIGHTCLICK_COMPLETE, 0);
    EXPECT_EQ(IMAGE_SIMPLEBUBBLES->GetWidth(), 1);
    // Each kind of generated image arrives with its grid: an animation of 4 cels of 4 pixels.
    int images = 0;
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        if (GetImageRefById(id) == nullptr || GameImageKindOf(images++) != kGameAnim)
            continue;
        Image* anim = GetImageById(id);
        EXPECT_EQ(anim->GetWidth(), 16) << GetStringIdById(id);
        EXPECT_EQ(anim->mNumCols, 4) << GetStringIdById(id);
        ASSERT_NE(anim->mAnimInfo, nullptr) << GetStringIdById(id);
        EXPECT_EQ(anim->mAnimInfo->mAnimType, AnimInfo::AnimType_Loop) << GetStringIdById(id);
    }
    EXPECT_EQ(GetIdByImage(IMAGE_HELP_PAGE3), IMAGE_HELP_PAGE3_ID);
    EXPECT_EQ(GetIdByFont(FONT_SCRIPT), FONT_SCRIPT_ID);
    EXPECT_EQ(GetIdBySound(SOUND_KELVIX_BOING), SOUND_KELVIX_BOING_ID);
}

TEST_F(BindingTest, ExtractByNameMatchesCaseExactly)
{
    Parse();
    ASSERT_TRUE(mManager.LoadResources("Init"));
    EXPECT_FALSE(ExtractResourcesByName(&mManager, "init"));
    EXPECT_FALSE(ExtractResourcesByName(&mManager, "Nowhere"));
    EXPECT_FALSE(ExtractResourcesByName(&mManager, nullptr));
    for (int id = IMAGE_CURSOR_DRAGGING_ID; id <= SOUND_RIGHTCLICK_COMPLETE_ID; ++id)
        EXPECT_EQ(GetImageById(id), nullptr) << id;
    EXPECT_TRUE(ExtractInitResources(&mManager));
    EXPECT_NE(IMAGE_CURSOR_TEXT, nullptr);
}

TEST_F(BindingTest, BindingStopsAtTheFirstMissingNameInByteOrder)
{
    Parse();
    // Nothing loaded: fonts sort first, and FONT_CHECKNUM first among them.
    EXPECT_FALSE(ExtractLoadingThreadResources(&mManager));
    EXPECT_EQ(mManager.GetErrorText(), "Font resource not found: FONT_CHECKNUM");
    EXPECT_FALSE(ExtractHelpResources(&mManager));
    EXPECT_EQ(mManager.GetErrorText(), "Font resource not found: FONT_CHECKNUM"); // the first error stays

    ASSERT_TRUE(mManager.LoadResources("LoadingThread")) << mManager.GetErrorText();
    const std::string missing = "IMAGE_MAP_BACKGROUND";
    mManager.DeleteImage(missing);
    EXPECT_FALSE(ExtractLoadingThreadResources(&mManager));
    EXPECT_EQ(mManager.GetErrorText(), "Image resource not found: " + missing);
    int bound = 0;
    for (int id = FONT_MEDIUM_ID; id <= IMAGE_FLOATMID_COLA_SM_ID; ++id)
    {
        const std::string name = GetStringIdById(id);
        if (GetSoundRefById(id) != nullptr)
            continue; // the silent sound manager hands out id 0
        EXPECT_EQ(IsBound(id), name < missing) << name;
        bound += IsBound(id);
    }
    EXPECT_EQ(bound, 10 + 169); // the fonts, and the images before it in byte order
}

TEST_F(BindingTest, LoadAndReplaceById)
{
    Parse();
    Image* page = LoadImageById(&mManager, IMAGE_HELP_PAGE1_ID);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(IMAGE_HELP_PAGE1, page);
    EXPECT_EQ(static_cast<Image*>(mManager.GetImage("IMAGE_HELP_PAGE1")), page);

    // A replaced image the binding holds stays alive across a later load of its group.
    ASSERT_TRUE(mManager.LoadResources("Init"));
    ASSERT_TRUE(ExtractInitResources(&mManager));
    MemoryImage* cursor = new MemoryImage();
    cursor->Create(32, 32);
    ReplaceImageById(&mManager, IMAGE_CURSOR_HAND_ID, cursor);
    EXPECT_EQ(IMAGE_CURSOR_HAND, cursor);
    ASSERT_TRUE(mManager.LoadResources("Init"));
    ASSERT_TRUE(ExtractInitResources(&mManager));
    EXPECT_EQ(IMAGE_CURSOR_HAND, cursor);
    EXPECT_EQ(IMAGE_CURSOR_HAND->GetWidth(), 32);
}

} // namespace
} // namespace Vaxo
