// The shared-image registry: keys without case, variants, lifetime to the next update,
// "!" names, failed loads; the native-image conversion and CopyImage.
#include "app/support/AppTestEnv.h"
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeImage.h"

#include <gtest/gtest.h>

using namespace Vaxo;

namespace
{

// Serves any file name as a 2 x 2 image, except names containing "missing".
class ImageApp : public VaxoAppBase
{
public:
    std::vector<std::string> mLoads;
    MemoryImage* GetImage(const std::string& fileName, bool) override
    {
        mLoads.push_back(fileName);
        if (fileName.find("missing") != std::string::npos)
            return nullptr;
        auto* image = new MemoryImage(this);
        image->Create(2, 2);
        return image;
    }
};

TEST(SharedImages, OneEntryPerNameWithoutCaseAndVariant)
{
    AppTestEnv env;
    ImageApp app;
    bool isNew[4] = {};
    SharedImageRef a = app.GetSharedImage("img/a.png", "", &isNew[0]);
    SharedImageRef b = app.GetSharedImage("IMG/A.PNG", "", &isNew[1]);
    SharedImageRef c = app.GetSharedImage("img/a.png", "big", &isNew[2]);
    SharedImageRef d = app.GetSharedImage("img/a.png", "BIG", &isNew[3]);
    EXPECT_EQ(a.mSharedImage, b.mSharedImage);
    EXPECT_EQ(c.mSharedImage, d.mSharedImage);
    EXPECT_NE(a.mSharedImage, c.mSharedImage);
    EXPECT_EQ(a.mSharedImage->mRefCount, 2);
    EXPECT_EQ(app.mLoads, (std::vector<std::string>{"img/a.png", "img/a.png"}));
    EXPECT_TRUE(isNew[0] && !isNew[1] && isNew[2] && !isNew[3]);
    EXPECT_EQ(app.mSharedImageMap.size(), 2u);
}

TEST(SharedImages, AnEntryLivesUntilTheUpdateAfterItsLastRelease)
{
    AppTestEnv env;
    ImageApp app;
    app.Init();
    SharedImageRef ref = app.GetSharedImage("a.png", "", nullptr);
    ref.Release();
    EXPECT_TRUE(app.mSharedImagesDirty);
    ASSERT_EQ(app.mSharedImageMap.size(), 1u);
    // Asked again before the update: the same entry, not loaded again.
    ref = app.GetSharedImage("a.png", "", nullptr);
    EXPECT_EQ(app.mLoads.size(), 1u);
    app.UpdateFrames();
    EXPECT_EQ(app.mSharedImageMap.size(), 1u);
    ref.Release();
    app.UpdateFrames();
    EXPECT_TRUE(app.mSharedImageMap.empty());
    EXPECT_FALSE(app.mSharedImagesDirty);
}

TEST(SharedImages, BangNamesReadNoFileAndFailedLoadsAreNotRetried)
{
    AppTestEnv env;
    ImageApp app;
    int32_t made = env.mPlatform->mNativeImagesMade;
    SharedImageRef blank = app.GetSharedImage("!blank", "", nullptr);
    EXPECT_TRUE(app.mLoads.empty());
    EXPECT_EQ(env.mPlatform->mNativeImagesMade, made + 1);
    ASSERT_NE(static_cast<Image*>(blank), nullptr);
    // The display-format view of a shared image; an unshared image is not looked at.
    EXPECT_EQ(static_cast<NativeImage*>(blank), dynamic_cast<NativeImage*>(blank.mSharedImage->mImage));
    SharedImageRef unshared;
    auto* image = static_cast<NativeImage*>(app.CreateNativeImage());
    unshared = image;
    EXPECT_EQ(static_cast<MemoryImage*>(unshared), image);
    EXPECT_EQ(static_cast<NativeImage*>(unshared), nullptr);
    delete image;

    SharedImageRef missing = app.GetSharedImage("missing.png", "", nullptr);
    SharedImageRef again = app.GetSharedImage("MISSING.PNG", "", nullptr);
    EXPECT_EQ(static_cast<Image*>(again), nullptr);
    EXPECT_EQ(app.mLoads.size(), 1u);
}

TEST(SharedImages, CopyImageTakesTheRectangleAndTheAttributes)
{
    AppTestEnv env;
    VaxoAppBase app;
    MemoryImage source(&app);
    source.Create(30, 20);
    uint32_t* bits = source.GetBits();
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++)
            bits[y * 30 + x] = 0xFF000000u | uint32_t(y << 8 | x);
    source.BitsChanged();
    source.mNumRows = 2;
    std::unique_ptr<MemoryImage> copy(app.CopyImage(&source, TRect<int>(10, 5, 8, 8)));
    ASSERT_EQ(copy->GetWidth(), 8);
    ASSERT_EQ(copy->GetHeight(), 8);
    EXPECT_EQ(copy->GetBits()[0], 0xFF00050Au);
    EXPECT_EQ(copy->GetBits()[63], 0xFF000C11u);
    EXPECT_EQ(copy->mNumRows, 2);
    EXPECT_EQ(app.GetImage(env.mHome + "none.png", true), nullptr);
}

TEST(SharedImages, APlatformWithoutDisplayOrThreadsStillGivesImagesAndLoads)
{
    AppTestEnv env;
    PlatformFactory testFactory = SetPlatformFactory([](VaxoAppBase* app) { return new Platform(app); });
    struct BareApp : VaxoAppBase
    {
        bool mRan = false;
        void LoadingThreadProc() override { mRan = true; }
    } app;
    SetPlatformFactory(testFactory);
    std::unique_ptr<MemoryImage> image(app.CreateNativeImage());
    EXPECT_NE(image, nullptr);
    SharedImageRef blank = app.GetSharedImage("!blank", "", nullptr);
    EXPECT_NE(static_cast<Image*>(blank), nullptr);
    app.StartLoadingThread();
    EXPECT_TRUE(app.mRan && app.mLoadingThreadCompleted);
}

} // namespace
