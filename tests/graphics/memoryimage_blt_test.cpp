// Blitters of the software image: straight, additive, stretched and rotated copies,
// with the rounding of each path pinned by values worked out by hand. Every image has an
// exact-size pixel array, so reads or writes past the pixels reach AddressSanitizer.
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace Vaxo
{
namespace
{

uint32_t At(MemoryImage& image, int x, int y)
{
    return image.GetBits()[size_t(y) * size_t(image.GetWidth()) + size_t(x)];
}

std::vector<uint32_t> Pixels(MemoryImage& image)
{
    const uint32_t* bits = image.GetBits();
    return std::vector<uint32_t>(bits, bits + image.PixelCount());
}

std::set<std::pair<int, int>> Touched(MemoryImage& image, uint32_t background)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (At(image, x, y) != background)
                out.insert({x, y});
    return out;
}

// An opaque destination whose flags say so (the run-length path's condition).
std::unique_ptr<MemoryImage> OpaqueDest(int w, int h, uint32_t fill)
{
    std::vector<uint32_t> pixels(size_t(w) * size_t(h), fill);
    auto image = std::make_unique<MemoryImage>(nullptr);
    image->SetBits(pixels.data(), w, h, true);
    MakeExact(*image);
    return image;
}

// A source with committed flags and an exact pixel array.
std::unique_ptr<MemoryImage> Source(int w, int h, const std::vector<uint32_t>& pixels)
{
    auto image = std::make_unique<MemoryImage>(nullptr);
    image->SetBits(pixels.data(), w, h, true);
    MakeExact(*image);
    return image;
}

TEST(MemoryImageBlt, UnknownModeDrawsNothingAndCountsNoChange)
{
    auto src = Source(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFF));
    auto dest = ExactImage(4, 4, 0u);
    const int32_t before = dest->mBitsChangedCount;
    dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 2, 2), Color::White, 2);
    EXPECT_TRUE(src->mDrawn);
    EXPECT_EQ(dest->mBitsChangedCount, before);
    EXPECT_TRUE(Touched(*dest, 0).empty());
}

TEST(MemoryImageBlt, OtherImageTypesAreNotDrawnButMarked)
{
    Image plain;
    auto dest = ExactImage(4, 4, 0u);
    const int32_t before = dest->mBitsChangedCount;
    dest->Blt(&plain, 0, 0, TRect<int>(0, 0, 2, 2), Color::White, 0);
    dest->StretchBlt(&plain, TRect<int>(0, 0, 4, 4), TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 4, 4),
                     Color::White, 0, false);
    dest->BltRotated(&plain, 0, 0, TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 4, 4), Color::White, 0, 1.0, 0,
                     0);
    EXPECT_TRUE(plain.mDrawn);
    EXPECT_EQ(dest->mBitsChangedCount, before);
}

TEST(MemoryImageBlt, HalfTransparentOntoFreshImageTakesTheWeightedPath)
{
    auto src = Source(1, 1, {0x80FF8040});
    MemoryImage dest(nullptr);
    dest.Create(2, 1);
    MakeExact(dest);
    dest.Blt(src.get(), 1, 0, TRect<int>(0, 0, 1, 1), Color::White, 0);
    // na = 128, sw = 255, dw = 1: the source's colour and alpha (blue truncated alone).
    EXPECT_EQ(At(dest, 1, 0), 0x80FE7F3Fu);
    EXPECT_EQ(At(dest, 0, 0), 0u);
}

TEST(MemoryImageBlt, OpaqueDestinationCopiesRunsAndSkipsHoles)
{
    auto src = Source(4, 1, {0xFF123456, 0x00FFFFFF, 0xFF654321, 0x80FFFFFF});
    auto dest = OpaqueDest(6, 1, 0xFF000000);
    dest->Blt(src.get(), 1, 0, TRect<int>(0, 0, 4, 1), Color::White, 0);
    EXPECT_EQ(Pixels(*dest), (std::vector<uint32_t>{0xFF000000, 0xFF123456, 0xFF000000, 0xFF654321,
                                                    // sw = 128, dw = 128: (255 x 128) >> 8 = 127
                                                    0xFF7F7F7F, 0xFF000000}));
}

TEST(MemoryImageBlt, RunPathAndWeightedPathAgreeForPartialAlpha)
{
    std::mt19937 rng(6);
    std::vector<uint32_t> pixels(64 * 16);
    for (auto& p : pixels)
    {
        const uint32_t a = (rng() % 4 == 0) ? 0 : 1 + rng() % 254;
        p = a << 24 | (rng() & 0xFFFFFF);
    }
    std::vector<uint32_t> back(80 * 20);
    for (auto& p : back)
        p = 0xFF000000u | (rng() & 0xFFFFFF);
    auto src = Source(64, 16, pixels);
    auto fast = Source(80, 20, back);
    auto weighted = Source(80, 20, back);
    ASSERT_FALSE(fast->mHasAlpha || fast->mHasTrans);
    weighted->SetImageMode(false, true); // says "translucent": no run path
    fast->Blt(src.get(), 7, 3, TRect<int>(0, 0, 64, 16), Color::White, 0);
    weighted->Blt(src.get(), 7, 3, TRect<int>(0, 0, 64, 16), Color::White, 0);
    EXPECT_EQ(Pixels(*fast), Pixels(*weighted));
    EXPECT_NE(Pixels(*fast), back);
}

TEST(MemoryImageBlt, TintTable)
{
    struct Row
    {
        const char* what;
        Color color;
        uint32_t expected;
    } rows[] = {
        // s' = (s x 128) >> 8 for red and blue; green scaled inside the sum.
        {"grey tint", Color(128, 128, 128, 255), 0xFF3F200F},
        // a' = 128; red (256 dR dw + sR sw cR) >> 16, blue ((dB dw) >> 8) + ((sB sw cB) >> 16).
        {"colour tint", Color(255, 0, 128, 128), 0xFF471020},
        {"transparent tint", Color(255, 255, 255, 0), 0xFF102030},
    };
    for (const Row& row : rows)
    {
        auto src = Source(1, 1, {0xFF804020});
        auto dest = OpaqueDest(1, 1, 0xFF102030);
        dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 1, 1), row.color, 0);
        EXPECT_EQ(At(*dest, 0, 0), row.expected) << row.what;
    }
}

TEST(MemoryImageBlt, SourceRectangleIsClippedToTheSource)
{
    auto src = Source(3, 3, std::vector<uint32_t>(9, 0xFF00FF00));
    auto dest = OpaqueDest(8, 8, 0xFF000000);
    // The rectangle reaches 2 pixels left and above the source and far past it.
    dest->Blt(src.get(), 1, 1, TRect<int>(-2, -2, 10, 10), Color::White, 0);
    std::set<std::pair<int, int>> expected;
    for (int y = 3; y < 6; ++y)
        for (int x = 3; x < 6; ++x)
            expected.insert({x, y});
    EXPECT_EQ(Touched(*dest, 0xFF000000), expected);
    // Partly off the destination on every side.
    dest->Blt(src.get(), -2, 6, TRect<int>(0, 0, 3, 3), Color::White, 1);
    dest->Blt(src.get(), 7, -1, TRect<int>(0, 0, 3, 3), Color(1, 2, 3, 4), 0);
    EXPECT_EQ(At(*dest, 0, 7), 0xFF00FF00u);
}

TEST(MemoryImageAdditiveBlt, AlphaIsNeverChanged)
{
    struct Row
    {
        const char* what;
        uint32_t src;
        Color color;
        uint32_t dest;
        uint32_t expected;
    } rows[] = {
        {"white on white saturates", 0xFFFFFFFF, Color::White, 0x40FFFFFF, 0x40FFFFFF},
        {"translucent source adds (s x sa) >> 8", 0x80FF8040, Color::White, 0x40102030, 0x408F6050},
        {"tint k = ca x c / 255", 0x80FF8040, Color(255, 0, 128, 128), 0x40102030, 0x404F2038},
    };
    for (const Row& row : rows)
    {
        auto src = Source(1, 1, {row.src});
        auto dest = ExactImage(1, 1, row.dest);
        dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 1, 1), row.color, 1);
        EXPECT_EQ(At(*dest, 0, 0), row.expected) << row.what;
    }
}

TEST(MemoryImageAdditiveBlt, OpaqueSourceAddsEvenTransparentPixelsColour)
{
    // With mHasAlpha false every pixel adds its full colour.
    auto src = Source(1, 1, {0x00102030});
    src->SetImageMode(true, false);
    auto dest = ExactImage(1, 1, 0x80010101u);
    dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 1, 1), Color::White, 1);
    EXPECT_EQ(At(*dest, 0, 0), 0x80112131u);
}

TEST(MemoryImageStretch, FastStretchSamplesNearestColumns)
{
    auto src = Source(2, 1, {0xFFFF0000, 0xFF0000FF});
    auto dest = OpaqueDest(4, 1, 0xFF000000);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 4, 1), TRect<int>(0, 0, 2, 1), TRect<int>(0, 0, 4, 1),
                     Color::White, 0, true);
    // Weighted rule at alpha 255 over black: (255 x 255) >> 8 = 254.
    EXPECT_EQ(Pixels(*dest), (std::vector<uint32_t>{0xFFFE0000, 0xFFFE0000, 0xFF0000FE, 0xFF0000FE}));
}

TEST(MemoryImageStretch, FastStretchWithTintDrawsNothingButCounts)
{
    auto src = Source(2, 1, {0xFFFF0000, 0xFF0000FF});
    auto dest = OpaqueDest(4, 1, 0xFF000000);
    const int32_t before = dest->mBitsChangedCount;
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 4, 1), TRect<int>(0, 0, 2, 1), TRect<int>(0, 0, 4, 1),
                     Color(255, 0, 0), 0, true);
    EXPECT_EQ(Pixels(*dest), std::vector<uint32_t>(4, 0xFF000000));
    EXPECT_EQ(dest->mBitsChangedCount, before + 1);
}

TEST(MemoryImageStretch, FilteredOneColourSourceKeepsItsColour)
{
    const int sizes[][2] = {{7, 5}, {2, 1}, {3, 2}, {10, 1}, {3, 9}, {13, 13}, {6, 1}, {300, 200}};
    for (const auto& size : sizes)
    {
        auto src = Source(3, 2, std::vector<uint32_t>(6, 0xFF336699));
        auto dest = ExactImage(size[0], size[1], 0x80FFFFFFu);
        dest->StretchBlt(src.get(), TRect<int>(0, 0, size[0], size[1]), TRect<int>(0, 0, 3, 2),
                         TRect<int>(0, 0, size[0], size[1]), Color::White, 0, false);
        EXPECT_EQ(Pixels(*dest), std::vector<uint32_t>(size_t(size[0] * size[1]), 0xFF336699))
            << size[0] << " x " << size[1];
    }
}

TEST(MemoryImageStretch, FilteredShrinkByThreeLosesOneWeightStep)
{
    // Three columns of (int)(257 / 3) = 85 sum to 255 of 257: alpha 254, each channel
    // (c x 255 x 256) >> 16, then blended over black with a = 254.
    auto src = Source(3, 1, std::vector<uint32_t>(3, 0xFF336699));
    auto dest = ExactImage(1, 1, 0xFF000000u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 1, 1), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 1, 1),
                     Color::White, 0, false);
    EXPECT_EQ(At(*dest, 0, 0), 0xFF316496u);
}

TEST(MemoryImageStretch, FilteredEnlargeOfAClippedStripStaysInTheSource)
{
    // Columns 90..99 of a 2-pixel source stretched to 100 come from its right pixel only.
    auto src = Source(2, 1, {0xFFFF0000, 0xFF0000FF});
    auto dest = ExactImage(100, 1, 0u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 100, 1), TRect<int>(0, 0, 2, 1), TRect<int>(90, 0, 10, 1),
                     Color::White, 0, false);
    for (int x = 0; x < 90; ++x)
        ASSERT_EQ(At(*dest, x, 0), 0u) << x;
    for (int x = 90; x < 100; ++x)
        EXPECT_EQ(At(*dest, x, 0), 0xFF0000FFu) << x;
}

TEST(MemoryImageStretch, FilteredEnlargeInterpolates)
{
    // 2 -> 3: step (2 - 1) / (3 - 1) = 0.5, so the middle pixel is half of each.
    auto src = Source(2, 1, {0xFF000000, 0xFFC8C8C8});
    auto dest = ExactImage(3, 1, 0u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 2, 1), TRect<int>(0, 0, 3, 1),
                     Color::White, 0, false);
    // w0 = w1 = 128 or 129 of 257: (129 x 200 x 256) >> 16 = 100.
    EXPECT_EQ(Pixels(*dest), (std::vector<uint32_t>{0xFF000000, 0xFF646464, 0xFFC8C8C8}));
}

TEST(MemoryImageStretch, FilteredShrinkAverages)
{
    // 4 -> 2: each destination pixel averages two source pixels (weights 128 of 257
    // each, then 256 down the one row: (128 x 200 x 256) >> 16 = 100).
    auto src = Source(4, 1, {0xFF000000, 0xFFC8C8C8, 0xFF3C3C3C, 0xFF8C8C8C});
    auto dest = ExactImage(2, 1, 0u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 2, 1), TRect<int>(0, 0, 4, 1), TRect<int>(0, 0, 2, 1),
                     Color::White, 0, false);
    EXPECT_EQ(Pixels(*dest), (std::vector<uint32_t>{0xFF646464, 0xFF646464}));
}

TEST(MemoryImageStretch, ClipHelperScalesTheSource)
{
    MemoryImage image(nullptr);
    TRect<double> s;
    TRect<int> d;
    ASSERT_TRUE(image.StretchBltClipHelper(TRect<int>(0, 0, 10, 10), TRect<int>(5, 0, 100, 100),
                                           TRect<int>(0, 0, 20, 20), s, d));
    EXPECT_EQ(d, TRect<int>(5, 0, 15, 20));
    EXPECT_DOUBLE_EQ(s.mX, 2.5);
    EXPECT_DOUBLE_EQ(s.mWidth, 7.5);
    ASSERT_TRUE(image.StretchBltMirrorClipHelper(TRect<int>(0, 0, 10, 10), TRect<int>(5, 0, 100, 100),
                                                 TRect<int>(0, 0, 20, 20), s, d));
    EXPECT_DOUBLE_EQ(s.mX, 0.0);
    EXPECT_FALSE(image.StretchBltClipHelper(TRect<int>(0, 0, 10, 10), TRect<int>(50, 50, 10, 10),
                                            TRect<int>(0, 0, 20, 20), s, d));
    EXPECT_FALSE(image.StretchBltClipHelper(TRect<int>(0, 0, 10, 10), TRect<int>(0, 0, 10, 10),
                                            TRect<int>(0, 0, 0, 20), s, d));
}

TEST(MemoryImageStretch, SourceRectanglePastTheSourceReadsNothingOutside)
{
    auto src = Source(3, 3, std::vector<uint32_t>(9, 0xFF808080));
    auto dest = ExactImage(20, 20, 0u);
    for (bool fast : {false, true})
    {
        dest->StretchBlt(src.get(), TRect<int>(-5, -5, 30, 30), TRect<int>(-4, -4, 11, 11),
                         TRect<int>(0, 0, 20, 20), Color::White, 0, fast);
        dest->StretchBlt(src.get(), TRect<int>(0, 0, 2, 2), TRect<int>(1, 1, 30, 30),
                         TRect<int>(0, 0, 20, 20), Color::White, 0, fast);
    }
    EXPECT_FALSE(Touched(*dest, 0).empty());
}

TEST(MemoryImageStretch, EmptySourceDrawsNothing)
{
    auto src = ExactImage(0, 0, 0u);
    auto dest = ExactImage(8, 8, 0u);
    for (bool fast : {false, true})
        dest->StretchBlt(src.get(), TRect<int>(0, 0, 8, 8), TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 8, 8),
                         Color::White, 0, fast);
    dest->BltF(src.get(), 1, 1, TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 8, 8), Color::White, 0);
    dest->Blt(src.get(), 1, 1, TRect<int>(0, 0, 2, 2), Color::White, 0);
    EXPECT_TRUE(Touched(*dest, 0).empty());
}

TEST(MemoryImageRotated, AngleZeroDrawsTheInnerSourcePixels)
{
    std::vector<uint32_t> pixels(20, 0xFFFFFFFF);
    pixels[1 * 5 + 2] = 0xFFC86432;
    auto src = Source(5, 4, pixels);
    auto dest = ExactImage(10, 10, 0u);
    dest->BltF(src.get(), 2, 3, TRect<int>(0, 0, 5, 4), TRect<int>(0, 0, 10, 10), Color::White, 0);
    std::set<std::pair<int, int>> expected;
    for (int y = 3; y <= 5; ++y)     // source rows 0 .. h - 2
        for (int x = 3; x <= 5; ++x) // source columns 1 .. w - 2
            expected.insert({x, y});
    EXPECT_EQ(Touched(*dest, 0), expected);
    // Share (255 x 65534) >> 16 = 254: opaque white arrives as (254 x 255) >> 8 = 253.
    EXPECT_EQ(At(*dest, 3, 3), 0xFFFDFDFDu);
    // Each from its own pixel: (254 x 200) >> 8 = 198, 99, 49.
    EXPECT_EQ(At(*dest, 4, 4), 0xFFC66331u);
}

TEST(MemoryImageRotated, HalfPixelOffsetMixesNeighbours)
{
    auto src = Source(
        4, 2,
        {0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF, 0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF});
    auto dest = OpaqueDest(8, 4, 0xFF000000);
    dest->BltF(src.get(), 2.5f, 1.0f, TRect<int>(0, 0, 4, 2), TRect<int>(0, 0, 8, 4), Color::White, 0);
    // fx = 32769: weights 32766 and 32768, shares 127 and 127 (A = 254), channels the
    // sum of share x channel >> 8. Only row 0 of the source (the last row is not drawn).
    EXPECT_EQ(At(*dest, 3, 1), 0xFF633118u);
    EXPECT_EQ(At(*dest, 4, 1), 0xFF7C637Cu);
    EXPECT_EQ(At(*dest, 5, 1), 0xFF97B0E1u);
    EXPECT_EQ(Touched(*dest, 0xFF000000).size(), 3u);
}

TEST(MemoryImageRotated, BoundsOutsideTheClipDrawNothing)
{
    auto src = Source(4, 4, std::vector<uint32_t>(16, 0xFFFFFFFF));
    auto dest = ExactImage(10, 10, 0u);
    const int32_t before = dest->mBitsChangedCount;
    dest->BltRotated(src.get(), 50, 50, TRect<int>(0, 0, 4, 4), TRect<int>(0, 0, 10, 10), Color::White, 0,
                     0.7, 2, 2);
    EXPECT_EQ(dest->mBitsChangedCount, before);
    EXPECT_TRUE(Touched(*dest, 0).empty());
}

TEST(MemoryImageRotated, QuarterTurnKeepsShapeInsideImages)
{
    auto src = Source(8, 4, std::vector<uint32_t>(32, 0xFF00FF00));
    auto dest = ExactImage(20, 20, 0u);
    // A quarter turn about the centre: the 8 x 4 strip stands upright.
    dest->BltRotated(src.get(), 6, 8, TRect<int>(0, 0, 8, 4), TRect<int>(0, 0, 20, 20), Color::White, 0,
                     M_PI / 2, 4, 2);
    int minX = 99, maxX = -1, minY = 99, maxY = -1;
    for (const auto& p : Touched(*dest, 0))
    {
        minX = std::min(minX, p.first);
        maxX = std::max(maxX, p.first);
        minY = std::min(minY, p.second);
        maxY = std::max(maxY, p.second);
    }
    EXPECT_LE(maxX - minX + 1, 4);
    EXPECT_GE(maxY - minY + 1, 6);
}

TEST(MemoryImageRotated, AdditiveModeKeepsAlpha)
{
    auto src = Source(4, 3, std::vector<uint32_t>(12, 0xFF404040));
    auto dest = ExactImage(6, 6, 0x20101010u);
    dest->BltF(src.get(), 1, 1, TRect<int>(0, 0, 4, 3), TRect<int>(0, 0, 6, 6), Color::White, 1);
    // P = (254 x 64) >> 8 = 63 added to 16.
    EXPECT_EQ(At(*dest, 2, 1), 0x204F4F4Fu);
}

TEST(MemoryImagePaletteSource, SamePixelsAsTheTrueColourSource)
{
    std::mt19937 rng(66);
    const uint32_t colours[] = {0x00000000, 0xFF102030, 0x80FF8040, 0xFFFFFFFF, 0x40C0C0C0, 0xC0123456};
    std::vector<uint32_t> pixels(24 * 12);
    for (auto& p : pixels)
        p = colours[rng() % 6];
    auto plain = Source(24, 12, pixels);
    auto pal = Source(24, 12, pixels);
    ASSERT_TRUE(pal->Palletize());

    std::vector<uint32_t> back(40 * 30);
    for (auto& p : back)
        p = 0xFF000000u | (rng() & 0xFFFFFF);
    using Op = std::function<void(MemoryImage&, MemoryImage*)>;
    const Op ops[] = {
        [](MemoryImage& d, MemoryImage* s) { d.Blt(s, 3, 4, TRect<int>(0, 0, 24, 12), Color::White, 0); },
        [](MemoryImage& d, MemoryImage* s)
        { d.Blt(s, 3, 4, TRect<int>(2, 1, 20, 10), Color(90, 90, 90), 0); },
        [](MemoryImage& d, MemoryImage* s)
        { d.Blt(s, 3, 4, TRect<int>(0, 0, 24, 12), Color(200, 9, 50, 99), 1); },
        [](MemoryImage& d, MemoryImage* s)
        {
            d.StretchBlt(s, TRect<int>(1, 1, 37, 25), TRect<int>(0, 0, 24, 12), TRect<int>(0, 0, 40, 30),
                         Color::White, 0, false);
        },
        [](MemoryImage& d, MemoryImage* s)
        {
            d.StretchBlt(s, TRect<int>(1, 1, 13, 5), TRect<int>(0, 0, 24, 12), TRect<int>(0, 0, 40, 30),
                         Color::White, 0, true);
        },
        [](MemoryImage& d, MemoryImage* s)
        {
            d.BltRotated(s, 8.5f, 7.25f, TRect<int>(0, 0, 24, 12), TRect<int>(0, 0, 40, 30),
                         Color(255, 128, 0), 0, 0.6, 12, 6);
        },
    };
    for (size_t i = 0; i < sizeof(ops) / sizeof(ops[0]); ++i)
    {
        auto a = Source(40, 30, back);
        auto b = Source(40, 30, back);
        ops[i](*a, plain.get());
        ops[i](*b, pal.get());
        EXPECT_EQ(Pixels(*a), Pixels(*b)) << "operation " << i;
        EXPECT_NE(Pixels(*a), back) << "operation " << i;
        EXPECT_NE(pal->mPalette, nullptr) << "the source keeps its palette form";
    }
}

TEST(MemoryImageMatrix, MatrixAndTriangleCopiesLeaveThePixelsButCount)
{
    auto src = Source(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFF));
    auto dest = ExactImage(4, 4, 0u);
    VaxoMatrix3 m;
    m.LoadIdentity();
    const int32_t before = dest->mBitsChangedCount;
    dest->BltMatrix(src.get(), 1, 1, m, TRect<int>(0, 0, 4, 4), Color::White, 0, TRect<int>(0, 0, 2, 2),
                    false);
    TriVertex tri[1][3];
    dest->BltTrianglesTex(src.get(), tri, 1, TRect<int>(0, 0, 4, 4), Color::White, 0, 0, 0, false);
    EXPECT_EQ(dest->mBitsChangedCount, before + 2);
    EXPECT_TRUE(src->mDrawn);
    EXPECT_TRUE(Touched(*dest, 0).empty());
}

} // namespace
} // namespace Vaxo
