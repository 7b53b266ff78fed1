// The software image's pixel forms: sizes, change tracking, palette form, native format and
// purging (copies of every form are left to the memimage_ops fuzz target).
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/X3DInterface.h"
#include "graphics/gl/TextureData.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace Vaxo
{
namespace
{

constexpr uint32_t kGuard = 0x4BEEFADE;

std::vector<uint32_t> Pixels(MemoryImage& image)
{
    const uint32_t* bits = image.GetBits();
    return std::vector<uint32_t>(bits, bits + image.PixelCount());
}

// An application with a software display (888 unless changed) for the scope.
struct AppWithDisplay
{
    TestApp app;
    TestDisplay display{&app};
    AppWithDisplay() { app.mDisplay = &display; }
    ~AppWithDisplay() { app.mDisplay = nullptr; }
};

TEST(MemoryImageSize, SizesSetBitsAndCommittedFlags)
{
    const int sizes[][2] = {{-1, 5}, {5, -1}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {65536, 65536}};
    for (const auto& s : sizes)
    {
        MemoryImage image(nullptr);
        image.Create(s[0], s[1]);
        EXPECT_EQ(image.GetWidth() | image.GetHeight(), 0) << s[0] << " x " << s[1];
        EXPECT_EQ(image.GetBits()[0], kGuard);
        const uint32_t one = 0xFF123456;
        MemoryImage other(nullptr);
        other.SetBits(&one, s[0], s[1], true);
        EXPECT_EQ(other.GetWidth() | other.GetHeight(), 0) << s[0] << " x " << s[1];
    }
    const std::vector<uint32_t> pixels = {0xFF010203, 0x80040506, 0x00070809, 0xFF0A0B0C};
    MemoryImage created(nullptr); // same size, no array yet
    created.Create(2, 2);
    created.SetBits(pixels.data(), 2, 2, true);
    EXPECT_EQ(Pixels(created), pixels);
    EXPECT_EQ(created.mBits[4], kGuard);
    MemoryImage palletized(nullptr); // same size, array freed
    palletized.SetBits(pixels.data(), 2, 2, true);
    ASSERT_TRUE(palletized.Palletize());
    const std::vector<uint32_t> other = {1, 2, 3, 4};
    palletized.SetBits(other.data(), 2, 2, true);
    EXPECT_EQ(palletized.mPalette, nullptr);
    EXPECT_EQ(Pixels(palletized), other);
    // Its own array is neither copied onto itself nor counted as a change.
    auto exact = ExactImage(2, 2, 0xFF000000u);
    const int32_t count = exact->mBitsChangedCount;
    exact->SetBits(exact->mBits, 2, 2, true);
    EXPECT_EQ(exact->mBitsChangedCount, count);
    // Part of its own array at a new size (a crop): the old array used to be freed before
    // the pixels were read from it.
    const std::vector<uint32_t> rows4 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    MemoryImage cropped(nullptr);
    cropped.SetBits(rows4.data(), 4, 3, true);
    cropped.SetBits(cropped.mBits + 4, 4, 2, true);
    EXPECT_EQ(Pixels(cropped), std::vector<uint32_t>(rows4.begin() + 4, rows4.end()));
    EXPECT_EQ(cropped.mBits[8], kGuard);
    cropped.SetBits(cropped.mBits + 1, 2, 2, true);
    EXPECT_EQ(Pixels(cropped), (std::vector<uint32_t>{6, 7, 8, 9}));
    const struct
    {
        std::vector<uint32_t> pixels;
        bool trans, alpha;
    } rows[] = {
        {{0xFF000000, 0xFFFFFFFF}, false, false},
        {{0xFF000000, 0x00FFFFFF}, true, false},
        {{0x80000000, 0xFFFFFFFF}, false, true},
        {{0x00000000, 0x01FFFFFF}, true, true},
    };
    for (const auto& row : rows)
    {
        MemoryImage image(nullptr);
        image.SetBits(row.pixels.data(), 2, 1, true);
        EXPECT_EQ(image.mHasTrans, row.trans);
        EXPECT_EQ(image.mHasAlpha, row.alpha);
        EXPECT_FALSE(image.mBitsChanged);
    }
}

TEST(MemoryImageNative, ConversionForHandFilledFormats)
{
    const struct
    {
        TestFormat format;
        uint32_t pixel, native, back;
    } rows[] = {
        {TestFormat::k888, 0x80FF8040, 0x80804020, 0x80FE7F3F},
        {TestFormat::k888, 0x00FFFFFF, 0x00000000, 0},
        {TestFormat::k565, 0x80FF8040, 0x80008204, 0x80F87C38},
        {TestFormat::k565, 0xFFFFFFFF, 0xFF00FFFF, 0xFFF8FCF8},
        {TestFormat::k555, 0x80FF8040, 0x80004104, 0x80F87838},
        {TestFormat::k555, 0xFFFFFFFF, 0xFF007FFF, 0xFFF8F8F8},
    };
    for (const auto& row : rows)
    {
        AppWithDisplay env;
        SetDisplayFormat(env.display, row.format);
        MemoryImage image(&env.app);
        image.SetBits(&row.pixel, 1, 1, true);
        ASSERT_NE(image.GetNativeAlphaData(&env.display), nullptr);
        EXPECT_EQ(image.mNativeAlphaData[0], row.native)
            << FormatName(row.format) << " " << std::hex << row.pixel;
        // Purged on a software display, the pixels come back from the native words.
        image.PurgeBits();
        EXPECT_EQ(image.mBits, nullptr);
        EXPECT_EQ(Pixels(image)[0], row.back) << FormatName(row.format) << " " << std::hex << row.pixel;
    }
}

std::vector<uint32_t> DistinctColours(int count)
{
    std::vector<uint32_t> out;
    for (int i = 0; i < count; ++i)
        out.push_back(0xFF000000u | uint32_t(i * 0x010203));
    return out;
}

TEST(MemoryImagePalette, PalletizeRoundTripsAndRefusesTooManyColours)
{
    const std::vector<uint32_t> colours = DistinctColours(256);
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 512; ++i)
        pixels.push_back(colours[size_t((i * 7) % 256)]);
    MemoryImage image(nullptr);
    image.SetBits(pixels.data(), 32, 16, true);
    ASSERT_TRUE(image.Palletize());
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_EQ(image.mPaletteCount, 256);
    EXPECT_EQ(GetPixelFromImage(&image, 1, 0), pixels[1]);
    EXPECT_EQ(Pixels(image), pixels);
    EXPECT_EQ(image.mPalette, nullptr);
    image.ReInit(); // back to the palette form
    EXPECT_NE(image.mPalette, nullptr);
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_EQ(Pixels(image), pixels);
    const std::vector<uint32_t> pixels2 = DistinctColours(257);
    MemoryImage image2(nullptr);
    image2.SetBits(pixels2.data(), 257, 1, true);
    MakeExact(image2);
    EXPECT_FALSE(image2.Palletize());
    EXPECT_FALSE(image2.mWantPalette);
    EXPECT_EQ(image2.mPalette, nullptr);
    EXPECT_EQ(image2.mPaletteIndices, nullptr);
    ASSERT_NE(image2.mBits, nullptr);
    EXPECT_EQ(Pixels(image2), pixels2);
    const std::vector<uint32_t> pixels22 = {0xFF112233, 0xFF445566, 0xFF112233};
    MemoryImage image22(nullptr);
    image22.SetBits(pixels22.data(), 3, 1, true);
    ASSERT_TRUE(image22.Palletize());
    image22.BitsChanged();
    image22.CommitBits();
    // The 254 unused entries are zero: read as colours they would be transparent.
    EXPECT_FALSE(image22.mHasTrans);
    EXPECT_FALSE(image22.mHasAlpha);
}

TEST(MemoryImagePurge, PurgesKeepOrRebuildTheNativeDataAndPalette)
{
    AppWithDisplay env;
    const std::vector<uint32_t> pixels = {0xFF102030, 0xFFFFFFFF, 0x00000000, 0xFF000000};
    MemoryImage trueColour(&env.app);
    trueColour.SetBits(pixels.data(), 2, 2, true);
    trueColour.PurgeBits();
    EXPECT_EQ(trueColour.mBits, nullptr);
    EXPECT_NE(trueColour.mNativeAlphaData, nullptr);
    EXPECT_EQ(Pixels(trueColour), pixels);
    trueColour.ReInit(); // purges again
    EXPECT_EQ(trueColour.mBits, nullptr);
    trueColour.DeleteSWBuffers(); // takes the pixels back first
    EXPECT_EQ(trueColour.mNativeAlphaData, nullptr);
    ASSERT_NE(trueColour.mBits, nullptr);
    EXPECT_EQ(Pixels(trueColour), pixels);
    MemoryImage palletized(&env.app);
    palletized.SetBits(pixels.data(), 2, 2, true);
    ASSERT_TRUE(palletized.Palletize());
    palletized.PurgeBits();
    EXPECT_NE(palletized.mPalette, nullptr);
    EXPECT_EQ(Pixels(palletized), pixels);
    MemoryImage noDisplay(nullptr); // nothing to rebuild from: the pixels stay
    noDisplay.SetBits(pixels.data(), 2, 2, true);
    noDisplay.PurgeBits();
    ASSERT_NE(noDisplay.mBits, nullptr);
    EXPECT_EQ(noDisplay.mBits[0], pixels[0]);
    AppWithDisplay env2;
    env2.display.mIs3D = true;
    env2.display.m3DInterface = std::make_unique<X3DInterface>(&env2.display);
    TextureData textures; // filled from the current pixels (set below); no OpenGL behind it
    // 32 x 32 pixels: a 256-entry table read as the whole image would overrun it.
    std::vector<uint32_t> pixels3(32 * 32);
    for (size_t i = 0; i < pixels3.size(); ++i)
        pixels3[i] = (i % 3 == 0) ? 0xFF0000FFu : 0x80FF0000u;
    MemoryImage image(&env2.app);
    image.SetBits(pixels3.data(), 32, 32, true);
    ASSERT_TRUE(image.Palletize());
    ASSERT_NE(image.GetNativeAlphaData(&env2.display), nullptr);
    image.m3DData = &textures;
    textures.mPixelFormat = 1;
    textures.mWidth = textures.mHeight = 32;
    textures.mBitsChangedCount = image.mBitsChangedCount - 1; // filled before the last change
    image.PurgeBits();
    EXPECT_NE(image.mPalette, nullptr) << "the textures lack the last change: the pixels stay";
    textures.mBitsChangedCount = image.mBitsChangedCount;
    image.PurgeBits();
    EXPECT_EQ(image.mBits, nullptr);
    EXPECT_EQ(image.mPalette, nullptr);
    EXPECT_EQ(image.mNativeAlphaData, nullptr);
    MemoryImage copy(image);
    EXPECT_EQ(copy.mNativeAlphaData, nullptr);
    // The base renderer cannot read textures back: the pixels3 come back as zeros.
    EXPECT_EQ(Pixels(image), std::vector<uint32_t>(1024, 0u));
    image.m3DData = nullptr;
}

TEST(MemoryImageRunLength, RunsPerAlphaClassAndRedoneAfterDrawing)
{
    // Each byte counts the pixels to the end of its run (one alpha class, within the row),
    // capped at 255: a run of 300 starts with 46 bytes of 255.
    std::vector<uint8_t> long300(300);
    for (int i = 0; i < 300; ++i)
        long300[size_t(i)] = uint8_t(i < 46 ? 255 : 300 - i);
    const struct
    {
        int width, height;
        std::vector<uint32_t> pixels; // one pixel fills the whole image
        std::vector<uint8_t> runs;
    } rows[] = {
        {6, 1, {0x00000000, 0x00FFFFFF, 0x00123456, 0xFF000000, 0x80FFFFFF, 0x80000000}, {3, 2, 1, 1, 2, 1}},
        {300, 1, {0xFF808080}, long300},
        {1, 5, {0xFF000000, 0xFF000000, 0x00000000, 0x80000000, 0x80000000}, {1, 1, 1, 1, 1}},
        {3, 2, {0xFF000000}, {3, 2, 1, 3, 2, 1}},
    };
    for (const auto& row : rows)
    {
        auto image = row.pixels.size() == 1 ? ExactImage(row.width, row.height, row.pixels[0])
                                            : ExactImage(row.width, row.height, row.pixels);
        const uint8_t* runs = image->GetRLAlphaData();
        EXPECT_EQ(std::vector<uint8_t>(runs, runs + image->PixelCount()), row.runs) << row.width;
    }
    // Additive runs split on whether the native word has any colour.
    TestDisplay display;
    auto image = ExactImage(5, 1, {0xFF000000, 0x00FFFFFF, 0xFF010000, 0x80FFFFFF, 0x00000000});
    const uint8_t* runs = image->GetRLAdditiveData(&display);
    EXPECT_EQ(std::vector<uint8_t>(runs, runs + 5), (std::vector<uint8_t>{2, 1, 2, 1, 1}));
    EXPECT_EQ(image->GetRLAlphaData()[0], 1);
    EXPECT_EQ(image->GetNativeAlphaData(&display)[1], 0u);
    // Drawing counts a change and drops the cached tables: they follow the new pixels.
    const int32_t count = image->mBitsChangedCount;
    image->FillRect(TRect<int>(0, 0, 5, 1), Color(0, 0, 0), 0);
    EXPECT_EQ(image->mBitsChangedCount, count + 1);
    runs = image->GetRLAdditiveData(&display);
    EXPECT_EQ(std::vector<uint8_t>(runs, runs + 5), (std::vector<uint8_t>{5, 4, 3, 2, 1}));
    EXPECT_EQ(image->GetRLAlphaData()[0], 5);
    EXPECT_EQ(image->GetNativeAlphaData(&display)[1], 0xFF000000u);
}

} // namespace
} // namespace Vaxo
