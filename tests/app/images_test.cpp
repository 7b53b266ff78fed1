// The shared-image registry: keys without case, variants, lifetime to the next update,
// "!" names, failed loads, references kept past the application; the native-image
// conversion and CopyImage. The application's image utilities: RGB/HSL conversion,
// tints, mirror and flip, hue rotation and cross-fades, the expected words worked out by
// hand from the formulas.
#include "app/support/AppTestEnv.h"
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeImage.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Vaxo;
using Pixels = std::vector<uint32_t>;

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

TEST(SharedImages, OneEntryPerNameWithoutCaseAndVariantBangNamesReadNoFileFailedLoadsAreNotRetried)
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

    SharedImageRef missing = app.GetSharedImage("missing.png", "", nullptr);
    SharedImageRef again = app.GetSharedImage("MISSING.PNG", "", nullptr);
    EXPECT_EQ(static_cast<Image*>(again), nullptr);
    EXPECT_EQ(app.mLoads.size(), 3u);
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

// A last reference that goes while the entries are being cleaned (here: dropped when the
// image of an entry being deleted leaves the application; on another thread it may go at
// any moment) still has its entry deleted at the next clean-up, not kept for good.
TEST(SharedImages, AReferenceReleasedDuringTheCleanUpIsCleanedNextTime)
{
    AppTestEnv env;
    struct App : ImageApp
    {
        SharedImageRef mHeld;
        void RemoveMemoryImage(MemoryImage* image) override
        {
            ImageApp::RemoveMemoryImage(image);
            mHeld.Release();
        }
    } app;
    app.mHeld = app.GetSharedImage("a.png", "", nullptr); // cleaned before "b.png"
    app.GetSharedImage("b.png", "", nullptr).Release();
    app.CleanSharedImages(); // deletes b's image, which lets a go
    ASSERT_EQ(app.mSharedImageMap.size(), 1u);
    EXPECT_EQ(app.mSharedImageMap.begin()->second.mRefCount, 0);
    app.CleanSharedImages();
    EXPECT_TRUE(app.mSharedImageMap.empty());
}

// References kept past the application (a global, or held by an object deleted after
// it): the application's teardown deletes every shared image once, the references then
// read empty, and releasing them and their copies touches nothing it freed (ASan). An
// unshared image a reference owns still goes with the reference.
TEST(SharedImages, AReferenceOutlivingTheApplicationReadsEmptyAndReleasesSafely)
{
    AppTestEnv env;
    struct CountedApp : ImageApp
    {
        struct Counted : MemoryImage
        {
            Counted(GraphicsApp* app, int32_t* deletes) : MemoryImage(app), mDeletes(deletes) {}
            ~Counted() override { ++*mDeletes; }
            int32_t* mDeletes;
        };
        int32_t* mDeletes = nullptr;
        MemoryImage* GetImage(const std::string& fileName, bool) override
        {
            mLoads.push_back(fileName);
            auto* image = new Counted(this, mDeletes);
            image->Create(2, 2);
            return image;
        }
    };
    int32_t deletes = 0;
    SharedImageRef kept;
    SharedImageRef copied;
    SharedImageRef owner;
    {
        auto app = std::make_unique<CountedApp>();
        app->mDeletes = &deletes;
        kept = app->GetSharedImage("a.png", "", nullptr);
        copied = kept;
        app->GetSharedImage("gone.png", "", nullptr).Release(); // waiting for the clean-up
        ASSERT_NE(static_cast<Image*>(kept), nullptr);
        owner = new CountedApp::Counted(app.get(), &deletes);
        owner.mOwnsUnshared = true;
    }
    EXPECT_EQ(deletes, 2);
    EXPECT_EQ(static_cast<Image*>(kept), nullptr);
    EXPECT_EQ(static_cast<NativeImage*>(copied), nullptr);
    SharedImageRef later(kept);
    EXPECT_EQ(later.GetMemoryImage(), nullptr);
    owner.Release();
    EXPECT_EQ(deletes, 3);

    // The first application's leftovers leave a later one alone.
    ImageApp next;
    kept.Release();
    copied = later;
    later.Release();
    EXPECT_EQ(static_cast<Image*>(copied), nullptr);
    copied.Release();
    EXPECT_FALSE(next.mSharedImagesDirty);
    EXPECT_EQ(deletes, 3);
}

TEST(SharedImages, APlatformWithoutDisplayOrThreadsStillGivesImagesAndLoads)
{
    AppTestEnv env; // restores the platform factory at the end
    SetPlatformFactory([](VaxoAppBase* app) { return new Platform(app); });
    struct BareApp : VaxoAppBase
    {
        bool mRan = false;
        void LoadingThreadProc() override { mRan = true; }
    } app;
    SharedImageRef blank = app.GetSharedImage("!blank", "", nullptr);
    EXPECT_NE(static_cast<Image*>(blank), nullptr);
    app.StartLoadingThread();
    EXPECT_TRUE(app.mRan && app.mLoadingThreadCompleted);
}

class ImageUtil : public testing::Test
{
protected:
    AppTestEnv mEnv;
    VaxoAppBase mApp;
    Image mPlain; // an image that is not a memory image

    std::unique_ptr<MemoryImage> Make(Pixels pixels, int width)
    {
        auto image = std::make_unique<MemoryImage>(&mApp);
        image->SetBits(pixels.data(), width, int(pixels.size()) / width);
        return image;
    }
    static Pixels Read(MemoryImage* m) { return Pixels(m->GetBits(), m->GetBits() + m->PixelCount()); }
};

TEST_F(ImageUtil, CopyImageTakesTheRectangleAndTheAttributes)
{
    Pixels pixels(30 * 20);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = 0xFF000000u | uint32_t(i / 30 << 8 | i % 30);
    auto source = Make(pixels, 30);
    source->mNumRows = 2;
    std::unique_ptr<MemoryImage> copy(mApp.CopyImage(source.get(), TRect<int>(10, 5, 8, 8)));
    ASSERT_EQ(copy->GetWidth(), 8);
    ASSERT_EQ(copy->GetHeight(), 8);
    EXPECT_EQ(copy->GetBits()[0], 0xFF00050Au);
    EXPECT_EQ(copy->GetBits()[63], 0xFF000C11u);
    EXPECT_EQ(copy->mNumRows, 2);
    EXPECT_EQ(mApp.GetImage(mEnv.mHome + "none.png", true), nullptr);
}

TEST_F(ImageUtil, ConvertsBetweenRGBAndPackedHSL)
{
    const std::tuple<bool, int, int, int, uint32_t> rows[] = {
        {true, 200, 100, 50, 0xFF7D990E},  // hue 14, saturation 153, lightness 125
        {true, 255, 0, 0, 0xFF7F0100},     // hue and saturation 256 spill by OR
        {true, 128, 128, 128, 0xFF800000}, // grey
        {true, 50, 100, 200, 0xFF7D999C},  // blue largest
        {true, 100, 220, 180, 0xFFA0A071}, // green largest, lightness above 128
        {true, -10, 10, 0, 0xFF050055},    // read as (0, 10, 0) instead of dividing by zero
        {false, 0, 255, 128, 0xFFFF0101},
        {false, 85, 255, 127, 0xFF00FE00},  // rise capped at 255, fall raised to 0
        {false, 294, 255, 127, 0xFFFEE300}, // off the circle: as the first sextant
        {false, -42, 255, 127, 0xFFFE0000}, // a negative rise stays in its channel
    };
    for (auto [toHSL, a, b, c, expected] : rows)
        EXPECT_EQ(toHSL ? mApp.RGBToHSL(a, b, c) : mApp.HSLToRGB(a, b, c), expected);

    // The run forms keep each source word's top byte, also when converting in place.
    uint32_t words[] = {0x80C86432, 0x00FF0000};
    mApp.RGBToHSL(words, words, 2);
    EXPECT_EQ(Pixels(words, words + 2), (Pixels{0x807D990E, 0x007F0100}));
    mApp.HSLToRGB(words, words, 2);
    EXPECT_EQ(Pixels(words, words + 2), (Pixels{0x80C86332, 0x007F7F7F}));
}

TEST_F(ImageUtil, TintsPixelsAndPalettesInPlaceAndIntoCopies)
{
    const std::tuple<Color, uint32_t, uint32_t> rows[] = {
        {Color(255, 255, 255, 255), 0xFFFFFFFF, 0xFEFEFEFE}, // the shift form darkens
        {Color(256, 255, 255, 255), 0xFFFFFFFF, 0xFFFFFFFF}, // the exact form keeps 255
        {Color(128, 64, 255, 255), 0x80402010, 0x7F20080F},
        {Color(512, 64, 255, 255), 0x80402010, 0x80800810}, // exact, brightening red
        {Color(-1, 255, 255, 255), 0xFFFFFFFF, 0xFE00FEFE}, // a negative component gives 0
    };
    for (auto [color, pixel, expected] : rows)
        for (bool palette : {false, true})
        {
            auto image = Make({pixel, 0}, 2);
            EXPECT_EQ(palette && image->Palletize(), palette);
            std::unique_ptr<MemoryImage> copy(mApp.CreateColorizedImage(image.get(), color));
            ASSERT_NE(copy, nullptr);
            EXPECT_EQ(copy->mPalette != nullptr, palette);
            EXPECT_EQ(Read(copy.get()), (Pixels{expected, 0})) << palette;
            mApp.ColorizeImage(image.get(), color);
            EXPECT_EQ(Read(image.get()), (Pixels{expected, 0})) << palette;
        }
    EXPECT_EQ(mApp.CreateColorizedImage(&mPlain, Color::White), nullptr);
    mApp.ColorizeImage(&mPlain, Color::White);
}

TEST_F(ImageUtil, MirrorAndFlipSwapColumnsAndRowsOfMemoryImagesOnly)
{
    auto image = Make({1, 2, 3, 4, 5, 6}, 3);
    mApp.MirrorImage(image.get());
    EXPECT_EQ(Read(image.get()), (Pixels{3, 2, 1, 6, 5, 4}));
    mApp.FlipImage(image.get());
    EXPECT_EQ(Read(image.get()), (Pixels{6, 5, 4, 3, 2, 1}));
    mPlain.mWidth = mPlain.mHeight = 4;
    mApp.MirrorImage(&mPlain);
    mApp.FlipImage(&mPlain);
}

TEST_F(ImageUtil, RotatesHueByTheOffsetModulo256)
{
    // Hue 14 of (200, 100, 50); 541 would otherwise land on hue 299, off the circle.
    const std::pair<int, uint32_t> rows[] = {{0, 0x80C86332},  {256, 0x80C86332}, {-256, 0x80C86332},
                                             {29, 0x80C4C832}, {541, 0x80C4C832}, {-227, 0x80C4C832}};
    for (auto [offset, expected] : rows)
    {
        auto image = Make({0x80C86432}, 1);
        mApp.RotateImageHue(image.get(), offset);
        EXPECT_EQ(Read(image.get()), Pixels{expected}) << offset;
    }
}

TEST_F(ImageUtil, CrossFadesTwoRegionsAndRefusesBadOnes)
{
    auto one = Make({0, 0, 0, 0, 0xFF2040FF, 0x10203040}, 3);
    auto two = Make({0, 0, 0x00E0C001, 0x30405060}, 2);
    const TRect<int> rect1(1, 1, 2, 1), rect2(0, 1, 2, 1);
    const std::pair<double, Pixels> fades[] = {
        {0.0, {0xFF2040FF, 0x10203040}},  {0.5, {0x7F808080, 0x20304050}}, {1.0, {0x00E0C001, 0x30405060}},
        {-1.0, {0xFF2040FF, 0x10203040}}, {2.0, {0x00E0C001, 0x30405060}}, // weights kept within 0-256
    };
    for (const auto& [fade, expected] : fades)
    {
        std::unique_ptr<MemoryImage> out(mApp.CreateCrossfadeImage(one.get(), rect1, two.get(), rect2, fade));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(Read(out.get()), expected) << fade;
    }
    const std::tuple<Image*, TRect<int>, TRect<int>> refused[] = {
        {two.get(), TRect<int>(2, 1, 2, 1), rect2}, // rect1 leaves image1
        {two.get(), rect1, TRect<int>(1, 0, 2, 2)}, // rect2 leaves image2
        {two.get(), rect1, TRect<int>(0, 0, 1, 1)}, // rect2 smaller than rect1
        {&mPlain, rect1, rect2},                    // not a memory image
    };
    for (const auto& [image2, r1, r2] : refused)
        EXPECT_EQ(mApp.CreateCrossfadeImage(one.get(), r1, image2, r2, 0.5), nullptr);
}

} // namespace
