// The software image's pixel forms: sizes, change tracking, run-length tables,
// palette form, native format, purging and copying.
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/X3DInterface.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace Vaxo
{
namespace
{

std::vector<uint32_t> Pixels(MemoryImage& image)
{
    const uint32_t* bits = image.GetBits();
    return std::vector<uint32_t>(bits, bits + image.PixelCount());
}

std::vector<uint8_t> RunLengths(MemoryImage& image)
{
    const uint8_t* runs = image.GetRLAlphaData();
    return std::vector<uint8_t>(runs, runs + image.PixelCount());
}

// 256 (or more) distinct opaque colours.
std::vector<uint32_t> DistinctColours(int count)
{
    std::vector<uint32_t> out;
    for (int i = 0; i < count; ++i)
        out.push_back(0xFF000000u | uint32_t(i * 0x010203));
    return out;
}

TEST(MemoryImageSize, NewImageHoldsOnlyTheGuardWord)
{
    MemoryImage image(nullptr);
    const uint32_t* bits = image.GetBits();
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits[0], 0x4BEEFADEu);
    image.CommitBits();
    EXPECT_FALSE(image.mHasTrans);
    EXPECT_FALSE(image.mHasAlpha);
}

TEST(MemoryImageSize, CreateMakesZeroPixelsAndGuardOnDemand)
{
    MemoryImage image(nullptr);
    image.Create(4, 3);
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_TRUE(image.mHasTrans);
    EXPECT_TRUE(image.mHasAlpha);
    const uint32_t* bits = image.GetBits();
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bits[i], 0u) << i;
    EXPECT_EQ(bits[12], 0x4BEEFADEu);
}

TEST(MemoryImageSize, NegativeOrHugeSizesGiveAnEmptyImage)
{
    const int sizes[][2] = {{-1, 5},        {5, -1},         {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX},
                            {65536, 65536}, {-65536, -65536}};
    for (const auto& s : sizes)
    {
        MemoryImage image(nullptr);
        image.Create(s[0], s[1]);
        EXPECT_EQ(image.GetWidth(), 0) << s[0] << " x " << s[1];
        EXPECT_EQ(image.GetHeight(), 0);
        EXPECT_EQ(image.GetBits()[0], 0x4BEEFADEu);

        const uint32_t one = 0xFF123456;
        MemoryImage other(nullptr);
        other.SetBits(&one, s[0], s[1], true);
        EXPECT_EQ(other.GetWidth(), 0);
        EXPECT_EQ(other.GetHeight(), 0);
    }
}

TEST(MemoryImageSetBits, OwnArrayChangesNothing)
{
    auto image = ExactImage(2, 2, 0xFF000000u);
    const int32_t count = image->mBitsChangedCount;
    image->SetBits(image->mBits, 2, 2, true);
    EXPECT_EQ(image->mBitsChangedCount, count);
}

TEST(MemoryImageSetBits, AllocatesWhenThePixelArrayIsMissing)
{
    const std::vector<uint32_t> pixels = {0xFF010203, 0x80040506, 0x00070809, 0xFF0A0B0C};
    // After Create (same size, no array yet).
    MemoryImage created(nullptr);
    created.Create(2, 2);
    created.SetBits(pixels.data(), 2, 2, true);
    EXPECT_EQ(Pixels(created), pixels);
    EXPECT_EQ(created.mBits[4], 0x4BEEFADEu);

    // After Palletize (same size, array freed).
    MemoryImage palletized(nullptr);
    palletized.SetBits(pixels.data(), 2, 2, true);
    ASSERT_TRUE(palletized.Palletize());
    ASSERT_EQ(palletized.mBits, nullptr);
    const std::vector<uint32_t> other = {1, 2, 3, 4};
    palletized.SetBits(other.data(), 2, 2, true);
    EXPECT_EQ(palletized.mPalette, nullptr);
    EXPECT_EQ(Pixels(palletized), other);
}

TEST(MemoryImageSetBits, CommitWorksOutTheFlags)
{
    struct Row
    {
        std::vector<uint32_t> pixels;
        bool trans, alpha;
    } rows[] = {
        {{0xFF000000, 0xFFFFFFFF}, false, false},
        {{0xFF000000, 0x00FFFFFF}, true, false},
        {{0x80000000, 0xFFFFFFFF}, false, true},
        {{0x00000000, 0x01FFFFFF}, true, true},
    };
    for (const Row& row : rows)
    {
        MemoryImage image(nullptr);
        image.SetBits(row.pixels.data(), 2, 1, true);
        EXPECT_EQ(image.mHasTrans, row.trans);
        EXPECT_EQ(image.mHasAlpha, row.alpha);
        EXPECT_FALSE(image.mBitsChanged);
    }
}

TEST(MemoryImageCommit, ForcedModeKeepsTheFlags)
{
    auto image = ExactImage(3, 1, 0x00000000u);
    image->SetImageMode(false, true);
    image->FillRect(TRect<int>(0, 0, 3, 1), Color(255, 0, 0, 255), 0);
    image->CommitBits();
    EXPECT_FALSE(image->mHasTrans);
    EXPECT_TRUE(image->mHasAlpha);
    EXPECT_TRUE(image->mBitsChanged);
}

TEST(MemoryImageCommit, BitsChangedCountsAndDropsCaches)
{
    auto image = ExactImage(2, 2, 0xFF00FF00u);
    TestDisplay display;
    ASSERT_NE(image->GetNativeAlphaData(&display), nullptr);
    ASSERT_NE(image->GetRLAlphaData(), nullptr);
    ASSERT_NE(image->GetRLAdditiveData(&display), nullptr);
    const int32_t count = image->mBitsChangedCount;
    image->BitsChanged();
    EXPECT_EQ(image->mBitsChangedCount, count + 1);
    EXPECT_TRUE(image->mBitsChanged);
    EXPECT_EQ(image->mNativeAlphaData, nullptr);
    EXPECT_EQ(image->mRLAlphaData, nullptr);
    EXPECT_EQ(image->mRLAdditiveData, nullptr);
}

TEST(MemoryImageRunLength, RunsOfTheThreeAlphaClasses)
{
    auto image = ExactImage(6, 1, {0x00000000, 0x00FFFFFF, 0x00123456, 0xFF000000, 0x80FFFFFF, 0x80000000});
    EXPECT_EQ(RunLengths(*image), (std::vector<uint8_t>{3, 2, 1, 1, 2, 1}));
}

TEST(MemoryImageRunLength, LongRunsAreCappedAt255)
{
    auto image = ExactImage(300, 1, 0xFF808080u);
    const std::vector<uint8_t> runs = RunLengths(*image);
    for (int i = 0; i < 46; ++i)
        EXPECT_EQ(runs[size_t(i)], 255) << i;
    for (int i = 46; i < 300; ++i)
        EXPECT_EQ(runs[size_t(i)], 300 - i) << i;
}

TEST(MemoryImageRunLength, RunsStopAtTheEndOfEachRow)
{
    auto narrow = ExactImage(1, 5, {0xFF000000, 0xFF000000, 0x00000000, 0x80000000, 0x80000000});
    EXPECT_EQ(RunLengths(*narrow), (std::vector<uint8_t>{1, 1, 1, 1, 1}));
    auto wide = ExactImage(3, 2, 0xFF000000u);
    EXPECT_EQ(RunLengths(*wide), (std::vector<uint8_t>{3, 2, 1, 3, 2, 1}));
}

TEST(MemoryImageRunLength, AdditiveRunsSplitColourlessPixels)
{
    TestDisplay display;
    auto image = ExactImage(5, 1, {0xFF000000, 0x00FFFFFF, 0xFF010000, 0x80FFFFFF, 0x00000000});
    const uint8_t* runs = image->GetRLAdditiveData(&display);
    // Native words: black and transparent have no colour; the other two do.
    EXPECT_EQ(std::vector<uint8_t>(runs, runs + 5), (std::vector<uint8_t>{2, 1, 2, 1, 1}));
}

TEST(MemoryImageNative, ConversionForHandFilledFormats)
{
    struct Row
    {
        const char* name;
        void (TestDisplay::*set)();
        uint32_t pixel;
        uint32_t native;
        uint32_t back;
    } rows[] = {
        {"888", &TestDisplay::Set888, 0x80FF8040, 0x80804020, 0x80FE7F3F},
        {"888", &TestDisplay::Set888, 0xFF102030, 0xFF102030, 0xFF102030},
        {"888", &TestDisplay::Set888, 0x40C08020, 0x40302008, 0x40BD7E1F},
        {"888", &TestDisplay::Set888, 0x00FFFFFF, 0x00000000, 0x00000000},
        {"565", &TestDisplay::Set565, 0x80FF8040, 0x80008204, 0x80F87C38},
        {"565", &TestDisplay::Set565, 0xFF102030, 0xFF001106, 0xFF102030},
        {"565", &TestDisplay::Set565, 0xFFFFFFFF, 0xFF00FFFF, 0xFFF8FCF8},
        {"555", &TestDisplay::Set555, 0x80FF8040, 0x80004104, 0x80F87838},
        {"555", &TestDisplay::Set555, 0xFF102030, 0xFF000886, 0xFF102030},
        {"555", &TestDisplay::Set555, 0xFFFFFFFF, 0xFF007FFF, 0xFFF8F8F8},
    };
    for (const Row& row : rows)
    {
        TestApp app;
        TestDisplay display(&app);
        (display.*row.set)();
        app.mDisplay = &display;
        MemoryImage image(&app);
        image.SetBits(&row.pixel, 1, 1, true);
        ASSERT_NE(image.GetNativeAlphaData(&display), nullptr);
        EXPECT_EQ(image.mNativeAlphaData[0], row.native) << row.name << " " << std::hex << row.pixel;
        // Purged on a software display, the pixels come back from the native words.
        image.PurgeBits();
        EXPECT_EQ(image.mBits, nullptr);
        EXPECT_EQ(Pixels(image)[0], row.back) << row.name << " " << std::hex << row.pixel;
        app.mDisplay = nullptr;
    }
}

TEST(MemoryImagePalette, PalletizeThenGetBitsGivesIdenticalPixels)
{
    const std::vector<uint32_t> colours = DistinctColours(256);
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 512; ++i)
        pixels.push_back(colours[size_t((i * 7) % 256)]);
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 32, 16, true);
    ASSERT_TRUE(image.Palletize());
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_TRUE(image.mWantPalette);
    EXPECT_EQ(image.mPaletteCount, 256);
    EXPECT_EQ(GetPixelFromImage(&image, 1, 0), pixels[1]);
    EXPECT_EQ(Pixels(image), pixels);
    EXPECT_EQ(image.mPalette, nullptr);
    EXPECT_EQ(image.mPaletteIndices, nullptr);
}

TEST(MemoryImagePalette, TooManyColoursLeaveTheImageUnchanged)
{
    const std::vector<uint32_t> pixels = DistinctColours(257);
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 257, 1, true);
    MakeExact(image);
    EXPECT_FALSE(image.Palletize());
    EXPECT_FALSE(image.mWantPalette);
    EXPECT_EQ(image.mPalette, nullptr);
    EXPECT_EQ(image.mPaletteIndices, nullptr);
    ASSERT_NE(image.mBits, nullptr);
    EXPECT_EQ(Pixels(image), pixels);
}

TEST(MemoryImagePalette, CommitReadsOnlyTheColoursInUse)
{
    const std::vector<uint32_t> pixels = {0xFF112233, 0xFF445566, 0xFF112233};
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 3, 1, true);
    ASSERT_TRUE(image.Palletize());
    image.BitsChanged();
    image.CommitBits();
    // The 254 unused palette entries are zero; read as colours they would be transparent.
    EXPECT_FALSE(image.mHasTrans);
    EXPECT_FALSE(image.mHasAlpha);
}

TEST(MemoryImagePalette, ReInitReturnsToThePaletteForm)
{
    const std::vector<uint32_t> pixels = {0xFF112233, 0x80445566};
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 2, 1, true);
    ASSERT_TRUE(image.Palletize());
    image.GetBits();
    EXPECT_EQ(image.mPalette, nullptr);
    image.ReInit();
    EXPECT_NE(image.mPalette, nullptr);
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_EQ(Pixels(image), pixels);
}

TEST(MemoryImagePurge, SoftwareDisplayKeepsNativeDataOrPalette)
{
    TestApp app;
    TestDisplay display(&app);
    app.mDisplay = &display;
    const std::vector<uint32_t> pixels = {0xFF102030, 0xFFFFFFFF, 0x00000000, 0xFF000000};

    MemoryImage trueColour(&app);
    trueColour.SetBits(pixels.data(), 2, 2, true);
    trueColour.PurgeBits();
    EXPECT_TRUE(trueColour.mPurgeBits);
    EXPECT_EQ(trueColour.mBits, nullptr);
    EXPECT_NE(trueColour.mNativeAlphaData, nullptr);
    EXPECT_EQ(Pixels(trueColour), pixels);
    // ReInit purges again.
    trueColour.ReInit();
    EXPECT_EQ(trueColour.mBits, nullptr);

    MemoryImage palletized(&app);
    palletized.SetBits(pixels.data(), 2, 2, true);
    ASSERT_TRUE(palletized.Palletize());
    palletized.PurgeBits();
    EXPECT_NE(palletized.mPalette, nullptr);
    EXPECT_EQ(Pixels(palletized), pixels);
    app.mDisplay = nullptr;
}

TEST(MemoryImagePurge, WithoutADisplayThePixelsStay)
{
    MemoryImage image(nullptr);
    const uint32_t pixel = 0xFF445566;
    image.SetBits(&pixel, 1, 1, true);
    image.PurgeBits();
    ASSERT_NE(image.mBits, nullptr);
    EXPECT_EQ(image.mBits[0], pixel);
}

// Texture data the renderer would own; only its presence matters here.
struct FakeTextures
{
    int unused = 0;
};

TEST(MemoryImagePurge, ThreeDPurgeOfPaletteImageFreesItsNativeTable)
{
    TestApp app;
    TestDisplay display(&app);
    display.mIs3D = true;
    display.m3DInterface = std::make_unique<X3DInterface>(&display);
    app.mDisplay = &display;
    FakeTextures textures;

    // 32 x 32 pixels: a 256-entry table read as the whole image would overrun it.
    std::vector<uint32_t> pixels(32 * 32);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (i % 3 == 0) ? 0xFF0000FFu : 0x80FF0000u;
    MemoryImage image(&app);
    image.SetBits(pixels.data(), 32, 32, true);
    ASSERT_TRUE(image.Palletize());
    ASSERT_NE(image.GetNativeAlphaData(&display), nullptr);
    image.m3DData = reinterpret_cast<TextureData*>(&textures);
    image.PurgeBits();
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_EQ(image.mPalette, nullptr);
    EXPECT_EQ(image.mNativeAlphaData, nullptr);

    MemoryImage copy(image); // must not read the table as 1024 words
    EXPECT_EQ(copy.mNativeAlphaData, nullptr);
    // The base renderer cannot read textures back: the pixels come back as zeros.
    EXPECT_EQ(Pixels(image), std::vector<uint32_t>(1024, 0u));
    image.m3DData = nullptr;
    app.mDisplay = nullptr;
}

TEST(MemoryImageCopy, PaletteOnlySourceGivesPaletteOnlyCopy)
{
    const std::vector<uint32_t> pixels = {0xFF112233, 0x80445566, 0x00000000};
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 3, 1, true);
    ASSERT_TRUE(image.Palletize());
    MemoryImage copy(image);
    EXPECT_EQ(copy.mBits, nullptr);
    ASSERT_NE(copy.mPalette, nullptr);
    EXPECT_NE(copy.mPalette, image.mPalette);
    EXPECT_EQ(copy.mPaletteCount, 3);
    EXPECT_EQ(Pixels(copy), pixels);
}

TEST(MemoryImageCopy, PurgedSourceIsLeftAsItWas)
{
    TestApp app;
    TestDisplay display(&app);
    app.mDisplay = &display;
    const std::vector<uint32_t> pixels = {0xFF112233, 0xFF445566};
    MemoryImage image(&app);
    image.SetBits(pixels.data(), 2, 1, true);
    image.PurgeBits();
    ASSERT_EQ(image.mBits, nullptr);
    MemoryImage copy(image);
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_NE(image.mNativeAlphaData, nullptr);
    ASSERT_NE(copy.mBits, nullptr);
    EXPECT_EQ(copy.mBits[2], 0x4BEEFADEu);
    EXPECT_EQ(Pixels(copy), pixels);
    EXPECT_EQ(app.mMemoryImageSet.count(&copy), 1u);
    app.mDisplay = nullptr;
}

TEST(MemoryImageCopy, ExactSourceCopiesWithoutReadingPastThePixels)
{
    auto image = ExactImage(3, 2, 0xFF0000FFu);
    MemoryImage copy(*image);
    EXPECT_EQ(copy.mBits[6], 0x4BEEFADEu);
    EXPECT_EQ(Pixels(copy), std::vector<uint32_t>(6, 0xFF0000FFu));
}

TEST(MemoryImageApp, ImagesRegisterForTheirLifetime)
{
    TestApp app;
    MemoryImage* image = new MemoryImage();
    EXPECT_EQ(image->mApp, &app);
    EXPECT_EQ(app.mMemoryImageSet.count(image), 1u);
    delete image;
    EXPECT_EQ(app.mMemoryImageSet.count(image), 0u);
}

TEST(MemoryImageClear, SetsEveryPixelToZero)
{
    auto image = ExactImage(3, 3, 0xFFFFFFFFu);
    image->Clear();
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>(9, 0u));
    EXPECT_TRUE(image->mBitsChanged);
}

TEST(MemoryImageBuffers, DeleteSWBuffersKeepsThePixels)
{
    TestApp app;
    TestDisplay display(&app);
    app.mDisplay = &display;
    const uint32_t pixel = 0xFF0A0B0C;
    MemoryImage image(&app);
    image.SetBits(&pixel, 1, 1, true);
    image.PurgeBits();
    image.DeleteSWBuffers();
    EXPECT_EQ(image.mNativeAlphaData, nullptr);
    ASSERT_NE(image.mBits, nullptr);
    EXPECT_EQ(image.mBits[0], pixel);
    app.mDisplay = nullptr;
}

} // namespace
} // namespace Vaxo
