// Colour and image helpers: the HSL shift (golden values worked out from its integer
// steps), ramps, palette extraction, the power-of-two lookup and pixel reads.
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

namespace Vaxo
{
namespace
{

uint32_t Shift(uint32_t pixel, int hue, int sat, int light)
{
    uint32_t out = 0;
    HSLShift(&pixel, &out, 1, hue, sat, light);
    return out;
}

TEST(HSLShift, GoldenTableAndExtremes)
{
    struct Row
    {
        const char* what;
        uint32_t pixel;
        int hue, sat, light;
        uint32_t expected;
    } rows[] = {
        {"grey unchanged", 0x80808080, 0, 0, 0, 0x80808080},
        {"muted colour unchanged", 0xFF336699, 0, 0, 0, 0xFF336699},
        {"pure red loses one step of lightness", 0xFFFF0000, 0, 0, 0, 0xFFFE0000},
        {"red + 85 is green", 0xFFFF0000, 85, 0, 0, 0xFF00FE00},
        {"red - 85 is red + 171", 0xFFFF0000, -85, 0, 0, 0xFF0500FE},
        {"green + 128", 0xC000FF00, 128, 0, 0, 0xC0FF00FE},
        {"lightness + 255 is white", 0x7F336699, 0, 0, 255, 0x7FFFFFFF},
        {"lightness - 255 is black", 0x7F336699, 0, 0, -255, 0x7F000000},
        {"saturation - 255 is grey", 0xFF0000FF, 0, -255, 0, 0xFF7F7F7F},
        {"all three", 0xFF336699, 40, -30, 20, 0xFF754CA8},
        {"hue 341 is hue 85", 0xFF336699, 341, 0, 0, 0xFF993366},
        {"hue -427 is hue 85", 0xFF336699, -427, 0, 0, 0xFF993366},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Shift(row.pixel, row.hue, row.sat, row.light), row.expected) << row.what;
    for (int v : {INT_MIN, -1000, 1000, INT_MAX})
    {
        EXPECT_EQ(Shift(0xAB336699, v, v, 0) >> 24, 0xABu) << v;
        EXPECT_EQ(Shift(0xAB336699, 0, 0, v), v > 0 ? 0xABFFFFFFu : 0xAB000000u) << v;
    }
    uint32_t pixel = 0xFF123456;
    HSLShift(&pixel, &pixel, -5, 50, 50, 50);
    EXPECT_EQ(pixel, 0xFF123456u);
}

TEST(HSLShiftImage, TrueColourAndPaletteImages)
{
    auto src = ExactImage(2, 1, {0xFFFF0000, 0x80808080});
    std::unique_ptr<MemoryImage> out(HSLShiftImage(src.get(), 85, 0, 0));
    ASSERT_NE(out, nullptr);
    ASSERT_NE(out->mBits, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(out->mBits, out->mBits + 3),
              (std::vector<uint32_t>{0xFF00FE00, 0x80808080, 0x4BEEFADE})); // with the guard word
    EXPECT_EQ(src->mBits[0], 0xFFFF0000u);
    const std::vector<uint32_t> pixels = {0xFFFF0000, 0xFFFF0000, 0x80808080};
    MemoryImage pal(nullptr);
    pal.SetBits(pixels.data(), 3, 1, true);
    ASSERT_TRUE(pal.Palletize());
    out.reset(HSLShiftImage(&pal, 85, 0, 0));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->mBits, nullptr);
    ASSERT_NE(out->mPalette, nullptr);
    EXPECT_EQ(out->mPaletteCount, 2);
    EXPECT_EQ(out->mPalette[2], 0u); // unused entries are not shifted into colours
    out->CommitBits();
    EXPECT_FALSE(out->mHasTrans);
    const uint32_t* bits = out->GetBits();
    EXPECT_EQ(std::vector<uint32_t>(bits, bits + 3),
              (std::vector<uint32_t>{0xFF00FE00, 0xFF00FE00, 0x80808080}));
    Image plain;
    EXPECT_EQ(HSLShiftImage(&plain, 1, 2, 3), nullptr);
    EXPECT_EQ(HSLShiftImage(nullptr, 1, 2, 3), nullptr);
}

TEST(LinearRamps, RampsAndPow2Indices)
{
    EXPECT_EQ(LinearCombine(5, 0, 100, 10), 50);
    EXPECT_EQ(LinearCombine(10, 0, 100, 10), 100);
    EXPECT_EQ(LinearCombine(-1, 0, 100, 10), 0);
    EXPECT_EQ(LinearCombine(3, 100, 0, 10), 70);
    EXPECT_EQ(LinearCombine(5, 7, 9, 0), 9);
    EXPECT_EQ(LinearCombine(1, INT_MIN, INT_MAX, 2), 0); // -1 / 2, with no overflow on the way
    EXPECT_EQ(LinearRamp(15, 0, 100, 0, 10, 10), 50);
    EXPECT_EQ(LinearRamp(5, 0, 100, 0, 10, 10), 50);
    EXPECT_EQ(LinearRamp(20, 0, 100, 7, 10, 10), 7);
    EXPECT_EQ(LinearRamp(-3, 4, 100, 7, 10, 10), 4);
    EXPECT_FLOAT_EQ(LinearRampF(15, 0.0f, 1.0f, 0.0f, 10, 10), 0.5f);
    EXPECT_FLOAT_EQ(LinearRampF(2, 0.0f, 1.0f, 0.0f, 10, 10), 0.2f);
    EXPECT_FLOAT_EQ(LinearRampF(30, 0.0f, 1.0f, 0.25f, 10, 10), 0.25f);
    const struct
    {
        int32_t n;
        int32_t k;
    } rows[] = {{1024, 10}, {1000, 0},     {2, 1},        {1, 0},       {0, 0},  {-2, 0},
                {3, 0},     {1 << 30, 30}, {INT_MIN, 31}, {INT_MAX, 0}, {256, 8}};
    for (const auto& row : rows)
        EXPECT_EQ(GetPow2Index(row.n), row.k) << row.n;
}

TEST(Quantize8Bit, PaletteInOrderOfFirstAppearanceUpTo256Colours)
{
    const uint32_t src[] = {0xFF00FF00, 0x80000000, 0xFF00FF00, 0x00000000, 0x80000000, 0xFFFFFFFF};
    std::vector<uint8_t> indices(6);
    uint32_t palette[256];
    int32_t count = -1;
    ASSERT_TRUE(Quantize8Bit(src, 3, 2, indices.data(), palette, &count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(indices, (std::vector<uint8_t>{0, 1, 0, 2, 1, 3}));
    EXPECT_EQ(std::vector<uint32_t>(palette, palette + 4),
              (std::vector<uint32_t>{0xFF00FF00, 0x80000000, 0x00000000, 0xFFFFFFFF}));
    std::vector<uint32_t> src2;
    for (uint32_t i = 0; i < 257; ++i)
        src2.push_back((i * 2654435761u) | 0xFF000000u); // scattered, so inserts land everywhere
    std::vector<uint8_t> indices2(257);
    uint32_t palette2[256];
    ASSERT_TRUE(Quantize8Bit(src2.data(), 256, 1, indices2.data(), palette2));
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(palette2[indices2[size_t(i)]], src2[size_t(i)]) << i;
    EXPECT_FALSE(Quantize8Bit(src2.data(), 257, 1, indices2.data(), palette2));
    EXPECT_TRUE(Quantize8Bit(src2.data(), 0, 5, indices2.data(), palette2));
    EXPECT_TRUE(Quantize8Bit(src2.data(), -3, 5, indices2.data(), palette2));
}

TEST(GetPixelFromImage, InsideOutsideAndPaletteForm)
{
    auto image = ExactImage(3, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(GetPixelFromImage(image.get(), 2, 1), 6u);
    for (auto xy : {std::make_pair(3, 0), std::make_pair(0, 2), std::make_pair(-1, 0)})
        EXPECT_EQ(GetPixelFromImage(image.get(), xy.first, xy.second), 0u) << xy.first << "," << xy.second;
    ASSERT_TRUE(image->Palletize());
    EXPECT_EQ(GetPixelFromImage(image.get(), 1, 1), 5u);
    EXPECT_NE(image->mPalette, nullptr); // read without leaving the palette form
    Image plain;
    EXPECT_EQ(GetPixelFromImage(&plain, 0, 0), 0u);
}

} // namespace
} // namespace Vaxo
