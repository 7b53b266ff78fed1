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

using Pixels32 = std::vector<uint32_t>;

uint32_t At(MemoryImage& image, int x, int y)
{
    return image.GetBits()[size_t(y) * size_t(image.GetWidth()) + size_t(x)];
}

Pixels32 Pixels(MemoryImage& image)
{
    const uint32_t* bits = image.GetBits();
    return Pixels32(bits, bits + image.PixelCount());
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

// An image with flags committed from its pixels (an opaque one takes the run-length
// path as a destination) and an exact pixel array.
std::unique_ptr<MemoryImage> Source(int w, int h, const Pixels32& pixels)
{
    auto image = std::make_unique<MemoryImage>(nullptr);
    image->SetBits(pixels.data(), w, h, true);
    MakeExact(*image);
    return image;
}

std::unique_ptr<MemoryImage> Source(int w, int h, uint32_t fill)
{
    return Source(w, h, Pixels32(size_t(w) * size_t(h), fill));
}

TEST(MemoryImageBlt, CallsThatCannotDrawLeaveThePixels)
{
    auto src = Source(4, 4, 0xFFFFFFFF);
    Image plain;
    auto dest = ExactImage(10, 10, 0u);
    const int32_t before = dest->mBitsChangedCount;
    dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 2, 2), Color::White, 2); // unknown mode
    EXPECT_TRUE(src->mDrawn);
    dest->Blt(&plain, 0, 0, TRect<int>(0, 0, 2, 2), Color::White, 0);
    dest->StretchBlt(&plain, TRect<int>(0, 0, 4, 4), TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 4, 4),
                     Color::White, 0, false);
    dest->BltRotated(&plain, 0, 0, TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 4, 4), Color::White, 0, 1.0, 0,
                     0);
    EXPECT_TRUE(plain.mDrawn);
    dest->BltRotated(src.get(), 50, 50, TRect<int>(0, 0, 4, 4), TRect<int>(0, 0, 10, 10), Color::White, 0,
                     0.7, 2, 2); // bounds outside the clip
    EXPECT_EQ(dest->mBitsChangedCount, before);
    EXPECT_TRUE(Touched(*dest, 0).empty());
}

TEST(MemoryImageBlt, OnePixelGoldenTable)
{
    const struct
    {
        const char* what;
        uint32_t src;
        bool opaqueDest; // committed opaque flags: the run-length path
        uint32_t dest;
        Color color;
        int mode;
        uint32_t expected;
    } rows[] = {
        // na = 128, sw = 255, dw = 1: the source's colour and alpha (blue truncated alone).
        {"half transparent onto fresh image", 0x80FF8040, false, 0, Color::White, 0, 0x80FE7F3F},
        // s' = (s x 128) >> 8 for red and blue; green scaled inside the sum.
        {"grey tint", 0xFF804020, true, 0xFF102030, Color(128, 128, 128), 0, 0xFF3F200F},
        // a' = 128; red (256 dR dw + sR sw cR) >> 16, blue ((dB dw) >> 8) + ((sB sw cB) >> 16).
        {"colour tint", 0xFF804020, true, 0xFF102030, Color(255, 0, 128, 128), 0, 0xFF471020},
        {"transparent tint", 0xFF804020, true, 0xFF102030, Color(255, 255, 255, 0), 0, 0xFF102030},
        // Additive never changes the destination's alpha.
        {"additive white saturates", 0xFFFFFFFF, false, 0x40FFFFFF, Color::White, 1, 0x40FFFFFF},
        {"additive adds (s x sa) >> 8", 0x80FF8040, false, 0x40102030, Color::White, 1, 0x408F6050},
        {"additive tint k = ca x c / 255", 0x80FF8040, false, 0x40102030, Color(255, 0, 128, 128), 1,
         0x404F2038},
        // A source without partial alpha adds the full colour of every pixel.
        {"additive from source without alpha", 0x00102030, false, 0x80010101, Color::White, 1, 0x80112131},
    };
    for (const auto& row : rows)
    {
        auto src = Source(1, 1, row.src);
        auto dest = row.opaqueDest ? Source(1, 1, row.dest) : ExactImage(1, 1, row.dest);
        dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 1, 1), row.color, row.mode);
        EXPECT_EQ(At(*dest, 0, 0), row.expected) << row.what;
    }
}

TEST(MemoryImageBlt, OpaqueDestinationCopiesRunsAndSkipsHoles)
{
    auto src = Source(4, 1, {0xFF123456, 0x00FFFFFF, 0xFF654321, 0x80FFFFFF});
    auto dest = Source(6, 1, 0xFF000000);
    dest->Blt(src.get(), 1, 0, TRect<int>(0, 0, 4, 1), Color::White, 0);
    // Last: sw = 128, dw = 128, so (255 x 128) >> 8 = 127.
    EXPECT_EQ(Pixels(*dest),
              (Pixels32{0xFF000000, 0xFF123456, 0xFF000000, 0xFF654321, 0xFF7F7F7F, 0xFF000000}));
}

TEST(MemoryImageBlt, RunPathAndWeightedPathAgreeForPartialAlpha)
{
    std::mt19937 rng(6);
    Pixels32 pixels(64 * 16);
    for (auto& p : pixels)
    {
        const uint32_t a = (rng() % 4 == 0) ? 0 : 1 + rng() % 254;
        p = a << 24 | (rng() & 0xFFFFFF);
    }
    Pixels32 back(80 * 20);
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
    weighted->CommitBits(); // all opaque, but the forced flags stay
    EXPECT_TRUE(weighted->mHasAlpha);
}

TEST(MemoryImageBlt, SourceRectangleIsClippedToTheSource)
{
    auto src = Source(3, 3, 0xFF00FF00);
    auto dest = Source(8, 8, 0xFF000000);
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

TEST(MemoryImageStretch, GoldenTable)
{
    const uint32_t red = 0xFFFF0000, blue = 0xFF0000FF, black = 0xFF000000, grey = 0xFFC8C8C8;
    const struct
    {
        bool fast, tint;
        uint32_t background;
        Pixels32 src, expected; // one row each
    } rows[] = {
        // Fast 2 to 4 samples 0, 0, 1, 1; alpha 255 over black by the weighted rule gives 254.
        {true, false, black, {red, blue}, {0xFFFE0000, 0xFFFE0000, 0xFF0000FE, 0xFF0000FE}},
        {true, true, black, {red, blue}, {black, black, black, black}}, // fast with a tint draws nothing
        // Three columns of (int)(257 / 3) = 85 sum to 255 of 257: alpha 254, each channel
        // (c x 255 x 256) >> 16, then blended over black with a = 254.
        {false, false, black, {0xFF336699, 0xFF336699, 0xFF336699}, {0xFF316496}},
        // 2 to 3, step 0.5: weights 128 or 129 of 257, (129 x 200 x 256) >> 16 = 100.
        {false, false, 0, {black, grey}, {black, 0xFF646464, grey}},
        // 4 to 2, weights 128 of 257 each: (128 x 200 x 256) >> 16 = 100.
        {false, false, 0, {black, grey, 0xFF3C3C3C, 0xFF8C8C8C}, {0xFF646464, 0xFF646464}},
    };
    for (const auto& row : rows)
    {
        const int sw = int(row.src.size()), dw = int(row.expected.size());
        auto src = Source(sw, 1, row.src);
        auto dest = Source(dw, 1, row.background);
        dest->StretchBlt(src.get(), TRect<int>(0, 0, dw, 1), TRect<int>(0, 0, sw, 1), TRect<int>(0, 0, dw, 1),
                         row.tint ? Color(255, 0, 0) : Color::White, 0, row.fast);
        EXPECT_EQ(Pixels(*dest), row.expected) << sw << " to " << dw << (row.fast ? " fast" : "");
    }
}

TEST(MemoryImageStretch, FilteredOneColourSourceKeepsItsColour)
{
    const int sizes[][2] = {{7, 5}, {2, 1}, {3, 2}, {10, 1}, {3, 9}, {13, 13}, {6, 1}, {300, 200}};
    for (const auto& size : sizes)
    {
        auto src = Source(3, 2, 0xFF336699);
        auto dest = ExactImage(size[0], size[1], 0x80FFFFFFu);
        dest->StretchBlt(src.get(), TRect<int>(0, 0, size[0], size[1]), TRect<int>(0, 0, 3, 2),
                         TRect<int>(0, 0, size[0], size[1]), Color::White, 0, false);
        EXPECT_EQ(Pixels(*dest), Pixels32(size_t(size[0] * size[1]), 0xFF336699))
            << size[0] << " x " << size[1];
    }
}

TEST(MemoryImageStretch, FilteredEnlargeOfAClippedStripStaysInTheSource)
{
    // Columns 90..99 of a 2-pixel source stretched to 100 come from its right pixel only.
    auto src = Source(2, 1, {0xFFFF0000, 0xFF0000FF});
    auto dest = ExactImage(100, 1, 0u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 100, 1), TRect<int>(0, 0, 2, 1), TRect<int>(90, 0, 10, 1),
                     Color::White, 0, false);
    Pixels32 expected(100, 0u);
    std::fill(expected.begin() + 90, expected.end(), 0xFF0000FFu);
    EXPECT_EQ(Pixels(*dest), expected);
}

TEST(MemoryImageStretch, ClipHelperScalesTheSource)
{
    MemoryImage image(nullptr);
    TRect<double> s;
    TRect<int> d;
    const TRect<int> clip(0, 0, 10, 10), src(0, 0, 20, 20);
    ASSERT_TRUE(image.StretchBltClipHelper(clip, TRect<int>(5, 0, 100, 100), src, s, d));
    EXPECT_EQ(d, TRect<int>(5, 0, 15, 20));
    EXPECT_DOUBLE_EQ(s.mX, 2.5);
    EXPECT_DOUBLE_EQ(s.mWidth, 7.5);
    ASSERT_TRUE(image.StretchBltMirrorClipHelper(clip, TRect<int>(5, 0, 100, 100), src, s, d));
    EXPECT_DOUBLE_EQ(s.mX, 0.0);
    EXPECT_FALSE(image.StretchBltClipHelper(clip, TRect<int>(50, 50, 10, 10), src, s, d));
    EXPECT_FALSE(image.StretchBltClipHelper(clip, TRect<int>(0, 0, 10, 10), TRect<int>(0, 0, 0, 20), s, d));
}

TEST(MemoryImageStretch, RectanglesPastOrEmptySourcesReadNothingOutside)
{
    auto src = Source(3, 3, 0xFF808080);
    auto empty = ExactImage(0, 0, 0u);
    auto dest = ExactImage(20, 20, 0u);
    const TRect<int> all(0, 0, 20, 20);
    auto clean = ExactImage(8, 8, 0u);
    for (bool fast : {false, true})
    {
        clean->StretchBlt(empty.get(), all, TRect<int>(0, 0, 2, 2), all, Color::White, 0, fast);
        dest->StretchBlt(src.get(), TRect<int>(-5, -5, 30, 30), TRect<int>(-4, -4, 11, 11), all, Color::White,
                         0, fast);
        dest->StretchBlt(src.get(), TRect<int>(0, 0, 2, 2), TRect<int>(1, 1, 30, 30), all, Color::White, 0,
                         fast);
    }
    EXPECT_FALSE(Touched(*dest, 0).empty());
    clean->BltF(empty.get(), 1, 1, TRect<int>(0, 0, 2, 2), TRect<int>(0, 0, 8, 8), Color::White, 0);
    clean->Blt(empty.get(), 1, 1, TRect<int>(0, 0, 2, 2), Color::White, 0);
    EXPECT_TRUE(Touched(*clean, 0).empty());
}

TEST(MemoryImageRotated, AngleZeroDrawsTheInnerSourcePixels)
{
    Pixels32 pixels(20, 0xFFFFFFFF);
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

TEST(MemoryImageRotated, HalfPixelOffsetAndAdditiveGoldenValues)
{
    auto src = Source(
        4, 2,
        {0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF, 0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF});
    auto dest = Source(8, 4, 0xFF000000);
    dest->BltF(src.get(), 2.5f, 1.0f, TRect<int>(0, 0, 4, 2), TRect<int>(0, 0, 8, 4), Color::White, 0);
    // fx = 32769: weights 32766 and 32768, shares 127 and 127 (A = 254), channels the
    // sum of share x channel >> 8. Only row 0 of the source (the last row is not drawn).
    EXPECT_EQ(At(*dest, 3, 1), 0xFF633118u);
    EXPECT_EQ(At(*dest, 4, 1), 0xFF7C637Cu);
    EXPECT_EQ(At(*dest, 5, 1), 0xFF97B0E1u);
    EXPECT_EQ(Touched(*dest, 0xFF000000).size(), 3u);

    auto grey = Source(4, 3, 0xFF404040);
    auto additive = ExactImage(6, 6, 0x20101010u);
    additive->BltF(grey.get(), 1, 1, TRect<int>(0, 0, 4, 3), TRect<int>(0, 0, 6, 6), Color::White, 1);
    EXPECT_EQ(At(*additive, 2, 1), 0x204F4F4Fu); // (254 x 64) >> 8 = 63 added to 16, alpha kept
}

TEST(MemoryImageRotated, QuarterTurnStandsTheStripUpright)
{
    auto src = Source(8, 4, 0xFF00FF00);
    auto dest = ExactImage(20, 20, 0u);
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

TEST(MemoryImagePaletteSource, SamePixelsAsTheTrueColourSource)
{
    std::mt19937 rng(66);
    const uint32_t colours[] = {0x00000000, 0xFF102030, 0x80FF8040, 0xFFFFFFFF, 0x40C0C0C0, 0xC0123456};
    Pixels32 pixels(24 * 12);
    for (auto& p : pixels)
        p = colours[rng() % 6];
    auto plain = Source(24, 12, pixels);
    auto pal = Source(24, 12, pixels);
    ASSERT_TRUE(pal->Palletize());
    Pixels32 back(40 * 30);
    for (auto& p : back)
        p = 0xFF000000u | (rng() & 0xFFFFFF);
    const TRect<int> all(0, 0, 24, 12), clip(0, 0, 40, 30);
    using Op = std::function<void(MemoryImage&, MemoryImage*)>;
    const Op ops[] = {
        [&](MemoryImage& d, MemoryImage* s) { d.Blt(s, 3, 4, all, Color::White, 0); },
        [&](MemoryImage& d, MemoryImage* s)
        { d.Blt(s, 3, 4, TRect<int>(2, 1, 20, 10), Color(90, 90, 90), 0); },
        [&](MemoryImage& d, MemoryImage* s) { d.Blt(s, 3, 4, all, Color(200, 9, 50, 99), 1); },
        [&](MemoryImage& d, MemoryImage* s)
        { d.StretchBlt(s, TRect<int>(1, 1, 37, 25), all, clip, Color::White, 0, false); },
        [&](MemoryImage& d, MemoryImage* s)
        { d.StretchBlt(s, TRect<int>(1, 1, 13, 5), all, clip, Color::White, 0, true); },
        [&](MemoryImage& d, MemoryImage* s)
        { d.BltRotated(s, 8.5f, 7.25f, all, clip, Color(255, 128, 0), 0, 0.6, 12, 6); },
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

} // namespace
} // namespace Vaxo
