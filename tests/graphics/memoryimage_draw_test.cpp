// Drawing on the software image: fills, lines, coverage spans, and straight, additive,
// stretched and rotated copies, directly and through the drawing context. The blend and
// rounding rules are pinned by values worked out by hand; every image has an exact-size
// pixel array, so AddressSanitizer sees any read or write past the pixels.
#include "graphics/Graphics.h"
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
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

using Points = std::set<std::pair<int, int>>;
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

// Coordinates of every pixel that differs from background.
Points Touched(MemoryImage& image, uint32_t background)
{
    Points out;
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

// The pixel at column 1 of a 3 x 2 image of dest filled at columns 1 and 2; the rest of
// the fill equals it and column 0 keeps dest.
uint32_t Filled(uint32_t dest, const Color& color, int mode)
{
    auto image = ExactImage(3, 2, dest);
    image->FillRect(TRect<int>(1, 0, 2, 2), color, mode);
    EXPECT_EQ(At(*image, 0, 0), dest);
    EXPECT_EQ(At(*image, 2, 1), At(*image, 1, 0));
    return At(*image, 1, 0);
}

TEST(MemoryImageFillRect, BlendRules)
{
    EXPECT_EQ(Filled(0x12345678, Color(1, 2, 3, 255), 0), 0xFF010203u) << "opaque colour is stored exactly";
    EXPECT_EQ(Filled(0x80FFFFFF, Color(0, 0, 255, 0), 0), 0x80FFFFFFu) << "alpha 0 changes nothing";
    EXPECT_EQ(Filled(0x00000000, Color(300, -5, 7, 400), 0), 0xFFFF0007u) << "out-of-range channels clamp";
    // sw = 100, dw = 156: red (90 x 100 + 32 x 156) >> 8 = 54.
    EXPECT_EQ(Filled(0xFF204060, Color(90, 80, 70, 100), 1), 0xFF364655u) << "additive mode blends normally";
}

TEST(MemoryImageFillRect, EmptyAndOutsideRectanglesStayInside)
{
    auto image = ExactImage(4, 4, 0u);
    image->FillRect(TRect<int>(0, 0, 0, 0), Color(255, 0, 0), 0);
    EXPECT_TRUE(Touched(*image, 0).empty());
    image->FillRect(TRect<int>(-10, -10, 100, 100), Color(255, 0, 0), 0);
    image->ClearRect(TRect<int>(2, 2, 50, 50));
    EXPECT_EQ(At(*image, 1, 1), 0xFFFF0000u);
    EXPECT_EQ(At(*image, 3, 3), 0u);
    EXPECT_EQ(At(*image, 3, 1), 0xFFFF0000u);
}

// The pixel at (x, y) of a 12 x 12 image of background after a line from (0, 0) to (x2, y2).
uint32_t LinePixel(bool aa, double x2, double y2, const Color& color, int mode, uint32_t background, int x,
                   int y)
{
    auto image = ExactImage(12, 12, background);
    if (aa)
        image->DrawLineAA(0, 0, x2, y2, color, mode);
    else
        image->DrawLine(0, 0, x2, y2, color, mode);
    return At(*image, x, y);
}

TEST(MemoryImageLines, GoldenPixels)
{
    EXPECT_EQ(LinePixel(false, 0, 5, Color(10, 20, 30), 0, 0, 0, 3), 0xFF0A141Eu)
        << "straight line is an exact fill";
    // (255 v + 127) >> 8: 10 stays, 128 becomes 127, 255 becomes 254.
    EXPECT_EQ(LinePixel(false, 4, 2, Color(10, 128, 255), 0, 0, 2, 1), 0xFF0A7FFEu) << "opaque rounding";
    EXPECT_EQ(LinePixel(false, 4, 3, Color(255, 0, 0, 128), 0, 0, 4, 3), 0xFF7F0000u) << "translucent, end";
    EXPECT_EQ(LinePixel(false, 4, 3, Color(255, 0, 0, 128), 0, 0xFFFFFFFF, 0, 0), 0xFFFE7F7Fu)
        << "over white";
    EXPECT_EQ(LinePixel(false, 3, 3, Color(100, 50, 0), 1, 0x00C80A00, 2, 2), 0xFFFF3C00u)
        << "additive saturates";
    // Weight 255 over transparent: sw 255, dw 1.
    EXPECT_EQ(LinePixel(true, 10, 10, Color::White, 0, 0, 5, 5), 0xFFFEFEFEu) << "45 degrees, full weight";
    // Step 32768: at x = 1 the weights are 127 on the line, 128 below; over opaque black each
    // channel is (255 w) >> 8. At x = 2 the error wraps.
    EXPECT_EQ(LinePixel(true, 10, 5, Color::White, 0, 0xFF000000, 1, 0), 0xFF7E7E7Eu) << "split, line";
    EXPECT_EQ(LinePixel(true, 10, 5, Color::White, 0, 0xFF000000, 1, 1), 0xFF7F7F7Fu) << "split, neighbour";
    EXPECT_EQ(LinePixel(true, 10, 5, Color::White, 0, 0xFF000000, 2, 1), 0xFFFEFEFEu)
        << "split wraps to full";
    // w' = (255 x 128) >> 8 = 127, then (255 x 127) >> 8 = 126.
    EXPECT_EQ(LinePixel(true, 10, 10, Color(255, 255, 255, 127), 0, 0xFF000000, 4, 4), 0xFF7E7E7Eu)
        << "translucent weight";
}

TEST(MemoryImageLines, EndsOutsideTheImageAreClippedAndNeighboursStayInside)
{
    auto image = ExactImage(10, 300, 0u);
    image->DrawLine(-50, -40, 60, 70, Color::White, 0);
    image->DrawLine(5, -1e9, 5, 1e9, Color::White, 0);
    image->DrawLine(0, 0, 1e300, 2, Color::White, 1);
    image->DrawLine(0, 0, std::nan(""), 2, Color::White, 0);
    image->DrawLineAA(-3, 12, 14, -5, Color::White, 0);
    // Steep lines whose ends share a column, at either edge.
    image->DrawLineAA(9.9, 0.5, 9.1, 299.5, Color::White, 0);
    image->DrawLineAA(0.1, 0.5, 0.9, 299.5, Color::White, 0);
    EXPECT_NE(At(*image, 9, 150), 0u);
    EXPECT_NE(At(*image, 0, 150), 0u);
    // The neighbours follow the real slope (upward here); below would be row 600 of an
    // 800 x 600 image. The walk itself keeps to row 599, where both ends lie.
    image = ExactImage(800, 600, 0u);
    image->DrawLineAA(0.5, 599.9, 700.0, 599.1, Color::White, 0);
    int onLastRow = 0, onRowAbove = 0;
    for (const auto& p : Touched(*image, 0))
    {
        EXPECT_GE(p.second, 598);
        onLastRow += p.second == 599;
        onRowAbove += p.second == 598;
    }
    EXPECT_GT(onLastRow, 100);
    EXPECT_GT(onRowAbove, 100); // the neighbours take the rise toward row 598
}

TEST(MemoryImageLines, AALineWritesOnlyInsideItsBoxWidenedByOne)
{
    // Box of the truncated end points, widened by one for the neighbour pixels.
    const auto outside = [](MemoryImage& image, double x1, double y1, double x2, double y2)
    {
        Points out;
        for (const auto& p : Touched(image, 0))
            if (p.first < int(std::min(x1, x2)) - 1 || p.first > int(std::max(x1, x2)) + 1 ||
                p.second < int(std::min(y1, y2)) - 1 || p.second > int(std::max(y1, y2)) + 1)
                out.insert(p);
        return out;
    };
    // Lines whose error carries once more than the whole pixels between their ends.
    const struct
    {
        double x1, y1, x2, y2;
    } rows[] = {
        {0.875, 2.81, 2, 2},         // shallow, ends in one row, rising
        {1.875, 7.875, 7.1875, 7.5}, // longer, ends in one row
        {1.9375, 9.6875, 8.1875, 9.125},
        {11.8125, 3.9375, 8.25, 8.0}, // steep, running left
        {9.8125, 0.9375, 7.25, 7.6875},
    };
    for (const auto& row : rows)
    {
        auto image = ExactImage(12, 12, 0u);
        image->DrawLineAA(row.x1, row.y1, row.x2, row.y2, Color::White, 0);
        EXPECT_FALSE(Touched(*image, 0).empty());
        EXPECT_EQ(outside(*image, row.x1, row.y1, row.x2, row.y2), Points{})
            << row.x1 << "," << row.y1 << " " << row.x2 << "," << row.y2;
    }
    std::mt19937 rng(131);
    std::uniform_int_distribution<int> sixteenths(0, 12 * 16 - 1);
    for (int i = 0; i < 3000; ++i)
    {
        const double x1 = sixteenths(rng) / 16.0, y1 = sixteenths(rng) / 16.0;
        const double x2 = sixteenths(rng) / 16.0, y2 = sixteenths(rng) / 16.0;
        auto image = ExactImage(12, 12, 0u);
        image->DrawLineAA(x1, y1, x2, y2, Color::White, 0);
        ASSERT_EQ(outside(*image, x1, y1, x2, y2), Points{}) << x1 << "," << y1 << " " << x2 << "," << y2;
    }
}

TEST(MemoryImageCoverage, WeightsFollowTheirOwnBytesAndSpansStayInTheMap)
{
    auto image = ExactImage(6, 4, 0u);
    // The map's top-left is at (2, 1); the span covers x 2..4 of row 2.
    const unsigned char coverage[] = {0, 0, 0, 255, 0, 255};
    Span span{2, 2, 3};
    image->FillScanLinesWithCoverage(&span, 1, Color(255, 128, 0), 0, coverage, 2, 1, 3, 2);
    EXPECT_EQ(At(*image, 2, 2), 0xFFFE7F00u); // (255 + 2) x 255 >> 8 = 255
    EXPECT_EQ(At(*image, 3, 2), 0x01FE7F00u); // (0 + 2) x 255 >> 8 = 1
    EXPECT_EQ(At(*image, 4, 2), 0xFFFE7F00u);
    EXPECT_EQ(Touched(*image, 0).size(), 3u);
    // Zero coverage still takes a faint share from alpha 128 up.
    for (int alpha : {127, 128, 255})
    {
        auto one = ExactImage(1, 1, 0u);
        Span first{0, 0, 1};
        one->FillScanLinesWithCoverage(&first, 1, Color(255, 128, 0, alpha), 0, coverage, 0, 0, 1, 1);
        EXPECT_EQ(At(*one, 0, 0) != 0, alpha >= 128) << alpha;
    }
    image = ExactImage(4, 4, 0u);
    const unsigned char full[4] = {255, 255, 255, 255};
    Span spans[] = {{-1, 0, 4}, {4, 0, 4}, {1, -5, 20}, {2, 0, 4}};
    image->FillScanLinesWithCoverage(spans, 4, Color::White, 0, full, 1, 1, 2, 2);
    // Only the map's 2 x 2 pixels at (1, 1) can be drawn.
    EXPECT_EQ(Touched(*image, 0), (Points{{1, 1}, {2, 1}, {1, 2}, {2, 2}}));
}

TEST(FillRectWithOutline, FillsThenOutlinesAndRestoresTheColour)
{
    auto image = ExactImage(10, 10, 0u);
    Graphics g(image.get());
    g.SetColor(Color(255, 0, 0));
    FillRectWithOutline(&g, 2, 2, 4, 3, 0x0000FF); // top byte 0: opaque blue
    EXPECT_EQ(g.GetColor(), Color(255, 0, 0));
    const char* const picture[] = {"..........", "..........", "..bbbbb...", "..brrrb...", "..brrrb...",
                                   "..bbbbb...", "..........", "..........", "..........", ".........."};
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
        {
            const char c = picture[y][x];
            EXPECT_EQ(At(*image, x, y), c == 'b'   ? 0xFF0000FFu
                                        : c == 'r' ? 0xFFFF0000u
                                                   : 0u)
                << x << "," << y;
        }
}

// Fails once if any pixel outside the clip grown by margin is not 0.
void ExpectOnlyInside(MemoryImage& image, const TRect<int>& clip, int margin, int round)
{
    const TRect<int> near(clip.mX - margin, clip.mY - margin, clip.mWidth + 2 * margin,
                          clip.mHeight + 2 * margin);
    for (const auto& p : Touched(image, 0))
        if (!near.Contains(p.first, p.second))
        {
            ADD_FAILURE() << "round " << round << ": pixel " << p.first << "," << p.second << " outside clip "
                          << clip.mX << "," << clip.mY << " " << clip.mWidth << "x" << clip.mHeight;
            return;
        }
}

TEST(MemoryImageThroughGraphics, RandomLinesAndPolygonsStayInTheClip)
{
    std::mt19937 rng(600);
    std::uniform_real_distribution<float> frac(-1.0f, 1.0f);
    std::uniform_int_distribution<int> coord(-300, 1100);
    auto image = ExactImage(800, 600, 0u);
    for (int round = 0; round < 60; ++round)
    {
        image->Clear();
        Graphics g(image.get());
        g.TranslateF(frac(rng) * 40.0f, frac(rng) * 40.0f);
        if (round % 3 != 0)
            g.SetClipRect(coord(rng) % 400, coord(rng) % 300, 50 + int(rng() % 700), 50 + int(rng() % 500));
        const TRect<int> clip = g.mClipRect;
        g.SetColor(Color(int(rng() % 256), int(rng() % 256), int(rng() % 256), 1 + int(rng() % 255)));
        g.SetDrawMode(int(rng() % 2));
        for (int i = 0; i < 20; ++i)
            g.DrawLine(coord(rng), coord(rng), coord(rng), coord(rng));
        g.DrawLine(0, 599, 700, 600); // nearly horizontal along the last row
        g.DrawLine(799, 0, 798, 599);
        std::vector<TPoint<int>> poly;
        for (int i = 0; i < 3 + int(rng() % 8); ++i)
            poly.emplace_back(coord(rng), coord(rng));
        g.PolyFill(poly.data(), int(poly.size()));
        ExpectOnlyInside(*image, clip, 0, round);
        // Anti-aliased lines may shade the neighbour of their last pixel inside the clip.
        image->Clear();
        for (int i = 0; i < 20; ++i)
            g.DrawLineAA(coord(rng), coord(rng), coord(rng), coord(rng));
        g.DrawLineAA(0, 599, 700, 599);
        g.PolyFillAA(poly.data(), int(poly.size()));
        ExpectOnlyInside(*image, clip, 1, round);
    }
}

TEST(MemoryImageThroughGraphics, ScaledImageBoxesCoverTheirWholeScaledRectangle)
{
    Pixels32 skinPixels(30 * 30);
    for (size_t i = 0; i < skinPixels.size(); ++i)
        skinPixels[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    auto skin = Source(30, 30, skinPixels);
    const struct
    {
        int imageW, imageH;
        float scale, orig;
        TRect<int> box, clip, covered; // box in caller coordinates; clip and covered on the image
    } cases[] = {
        {200, 100, 0.5f, 0, {0, 0, 400, 60}, {0, 0, 200, 100}, {0, 0, 200, 30}},
        {200, 80, 2, 0, {0, 0, 100, 40}, {0, 0, 200, 80}, {0, 0, 200, 80}},
        // Origin (10, 10): x 10 + floor(1.5 (20 - 10)) = 25 to 10 + floor(1.5 (70 - 10)) = 100.
        {120, 90, 1.5f, 10, {20, 20, 50, 30}, {0, 0, 120, 90}, {25, 25, 75, 45}},
        // floor(0.7 x 5) = 3 to floor(0.7 x 106) = 74, rows 2 to 35, then clipped.
        {120, 60, 0.7f, 0, {5, 3, 101, 47}, {10, 0, 40, 60}, {10, 2, 40, 33}},
    };
    for (const auto& c : cases)
    {
        auto image = ExactImage(c.imageW, c.imageH, 0u);
        Graphics g(image.get());
        g.SetClipRect(c.clip);
        g.SetScale(c.scale, c.scale, c.orig, c.orig);
        g.DrawImageBox(c.box, skin.get());
        Points expected;
        for (int y = c.covered.mY; y < c.covered.mY + c.covered.mHeight; ++y)
            for (int x = c.covered.mX; x < c.covered.mX + c.covered.mWidth; ++x)
                expected.insert({x, y});
        EXPECT_EQ(Touched(*image, 0), expected) << "scale " << c.scale;
        for (const auto& p : expected)
            ASSERT_EQ(At(*image, p.first, p.second) >> 24, 0xFFu) << p.first << "," << p.second;
    }
}

TEST(MemoryImageBlt, CallsThatCannotDrawLeaveThePixelsAndDrawsOffTheEdgeAreClipped)
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
    // Partly off the destination on every side.
    src = Source(3, 3, 0xFF00FF00);
    dest = Source(8, 8, 0xFF000000);
    dest->Blt(src.get(), -2, 6, TRect<int>(0, 0, 3, 3), Color::White, 1);
    dest->Blt(src.get(), 7, -1, TRect<int>(0, 0, 3, 3), Color(1, 2, 3, 4), 0);
    EXPECT_EQ(At(*dest, 0, 7), 0xFF00FF00u);
}

// One pixel src added onto one pixel dest with color (normal-mode copies are checked against
// plain loops in memoryimage_fastpath_test).
uint32_t Added(uint32_t src, uint32_t dest, const Color& color)
{
    auto dst = ExactImage(1, 1, dest);
    dst->Blt(Source(1, 1, src).get(), 0, 0, TRect<int>(0, 0, 1, 1), color, 1);
    return At(*dst, 0, 0);
}

TEST(MemoryImageBlt, AdditiveGoldenValues)
{
    // Additive never changes the destination's alpha.
    EXPECT_EQ(Added(0xFFFFFFFF, 0x40FFFFFF, Color::White), 0x40FFFFFFu) << "white saturates";
    EXPECT_EQ(Added(0x80FF8040, 0x40102030, Color::White), 0x408F6050u) << "adds (s x sa) >> 8";
    EXPECT_EQ(Added(0x80FF8040, 0x40102030, Color(255, 0, 128, 128)), 0x404F2038u) << "k = ca x c / 255";
    // A source without partial alpha adds the full colour of every pixel.
    EXPECT_EQ(Added(0x00102030, 0x80010101, Color::White), 0x80112131u) << "source without alpha";
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
        // 3 to 2: rounded edges 257, 428, 600, 771 give the columns 171, 86 + 86 and 171
        // of 257; (86 x 200 x 256) >> 16 = 67 and ((86 x 200 + 171 x 60) x 256) >> 16 = 107.
        {false, false, black, {black, grey, 0xFF3C3C3C}, {0xFF434343, 0xFF6B6B6B}},
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
    // Shrinking and enlarging on either axis, onto a transparent image.
    const int sizes[] = {1, 2, 3, 4, 5, 7, 9, 13, 31, 300};
    for (int sw : {1, 3, 5, 13, 300})
        for (int sh : {1, 2, 9, 31})
        {
            auto src = Source(sw, sh, 0xFF3C7FD2);
            for (int dw : sizes)
                for (int dh : sizes)
                {
                    auto dest = ExactImage(dw, dh, 0u);
                    const TRect<int> all(0, 0, dw, dh);
                    dest->StretchBlt(src.get(), all, TRect<int>(0, 0, sw, sh), all, Color::White, 0, false);
                    ASSERT_EQ(Pixels(*dest), Pixels32(size_t(dw * dh), 0xFF3C7FD2))
                        << sw << " x " << sh << " to " << dw << " x " << dh;
                }
        }
}

TEST(MemoryImageStretch, ClippingScalesTheSourceAndReadsNothingOutside)
{
    // Columns 90..99 of a 2-pixel source stretched to 100 come from its right pixel only.
    auto src = Source(2, 1, {0xFFFF0000, 0xFF0000FF});
    auto dest = ExactImage(100, 1, 0u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 100, 1), TRect<int>(0, 0, 2, 1), TRect<int>(90, 0, 10, 1),
                     Color::White, 0, false);
    Pixels32 expected(100, 0u);
    std::fill(expected.begin() + 90, expected.end(), 0xFF0000FFu);
    EXPECT_EQ(Pixels(*dest), expected);
    // The clip helper scales the source with the destination it keeps.
    TRect<double> s;
    TRect<int> d;
    const TRect<int> clip(0, 0, 10, 10), whole(0, 0, 20, 20);
    ASSERT_TRUE(dest->StretchBltClipHelper(clip, TRect<int>(5, 0, 100, 100), whole, s, d));
    EXPECT_EQ(d, TRect<int>(5, 0, 15, 20));
    EXPECT_DOUBLE_EQ(s.mX, 2.5);
    EXPECT_DOUBLE_EQ(s.mWidth, 7.5);
    ASSERT_TRUE(dest->StretchBltMirrorClipHelper(clip, TRect<int>(5, 0, 100, 100), whole, s, d));
    EXPECT_DOUBLE_EQ(s.mX, 0.0);
    EXPECT_FALSE(dest->StretchBltClipHelper(clip, TRect<int>(50, 50, 10, 10), whole, s, d));
    EXPECT_FALSE(dest->StretchBltClipHelper(clip, TRect<int>(0, 0, 10, 10), TRect<int>(0, 0, 0, 20), s, d));
    // Rectangles past the source or an empty source read nothing outside.
    src = Source(3, 3, 0xFF808080);
    auto empty = ExactImage(0, 0, 0u);
    dest = ExactImage(20, 20, 0u);
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

TEST(MemoryImageRotated, GoldenValues)
{
    Pixels32 pixels(20, 0xFFFFFFFF);
    pixels[1 * 5 + 2] = 0xFFC86432;
    auto src = Source(5, 4, pixels);
    auto dest = ExactImage(10, 10, 0u);
    dest->BltF(src.get(), 2, 3, TRect<int>(0, 0, 5, 4), TRect<int>(0, 0, 10, 10), Color::White, 0);
    Points expected;
    for (int y = 3; y <= 6; ++y)     // every source row
        for (int x = 2; x <= 6; ++x) // every source column
            expected.insert({x, y});
    EXPECT_EQ(Touched(*dest, 0), expected);
    // Share (255 x 65534) >> 16 = 254: opaque white arrives as (254 x 255) >> 8 = 253.
    EXPECT_EQ(At(*dest, 3, 3), 0xFFFDFDFDu);
    // Each from its own pixel: (254 x 200) >> 8 = 198, 99, 49.
    EXPECT_EQ(At(*dest, 4, 4), 0xFFC66331u);
    src = Source(
        4, 2,
        {0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF, 0xFF000000, 0xFFC86432, 0xFF3264C8, 0xFFFFFFFF});
    dest = Source(8, 4, 0xFF000000);
    dest->BltF(src.get(), 2.5f, 1.0f, TRect<int>(0, 0, 4, 2), TRect<int>(0, 0, 8, 4), Color::White, 0);
    // fx = 32769: weights 32766 and 32768, shares 127 and 127 (A = 254), channels the
    // sum of share x channel >> 8. The last row repeats its own pixels for the missing
    // row below; column 2 (centre on the source's left edge) is black over black.
    for (int y : {1, 2})
    {
        EXPECT_EQ(At(*dest, 3, y), 0xFF633118u);
        EXPECT_EQ(At(*dest, 4, y), 0xFF7C637Cu);
        EXPECT_EQ(At(*dest, 5, y), 0xFF97B0E1u);
    }
    EXPECT_EQ(Touched(*dest, 0xFF000000).size(), 6u);
    auto grey = Source(4, 3, 0xFF404040);
    auto additive = ExactImage(6, 6, 0x20101010u);
    additive->BltF(grey.get(), 1, 1, TRect<int>(0, 0, 4, 3), TRect<int>(0, 0, 6, 6), Color::White, 1);
    EXPECT_EQ(At(*additive, 2, 1), 0x204F4F4Fu); // (254 x 64) >> 8 = 63 added to 16, alpha kept
}

// Whether the centre of destination pixel (X, Y) lands inside a w x h source, by the
// loop's mapping: (X, Y) samples source pixel coordinates (u, v), pixel i centred on i;
// near an edge the answer is "either" (band half-wide, in pixels).
enum class Inside
{
    kNo,
    kYes,
    kEither
};
Inside CentreInside(int X, int Y, float x, float y, double angle, float cx, float cy, int w, int h,
                    double band)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double dx = X - cx - x, dy = Y - cy - y;
    const double u = c * dx - s * dy + cx, v = s * dx + c * dy + cy;
    const double edges[4] = {u + 0.5, w - 0.5 - u, v + 0.5, h - 0.5 - v}; // above 0 inside
    const double nearest = *std::min_element(edges, edges + 4);
    if (std::fabs(nearest) < band)
        return Inside::kEither;
    return nearest > 0 ? Inside::kYes : Inside::kNo;
}

TEST(MemoryImageRotated, DrawsEveryPixelWhoseCentreMapsInsideTheSource)
{
    // Inside the source rectangle (5, 4, 7, 5) green, around it red: red must never arrive,
    // so the edge pixels take their missing neighbours from the rectangle's own edge.
    Pixels32 pixels(20 * 16, 0xFFFF0000u);
    for (int y = 4; y < 9; ++y)
        for (int x = 5; x < 12; ++x)
            pixels[size_t(y * 20 + x)] = 0xFF00FF00u;
    auto src = Source(20, 16, pixels);
    const TRect<int> rect(5, 4, 7, 5);
    const struct
    {
        float x, y;
        double angle;
        float cx, cy;
    } rows[] = {
        {3, 4, 0, 0, 0},
        {3.25f, 4.75f, 0, 0, 0},
        {2.5f, 1.5f, 0, 0, 0},
        {10.9f, 7.1f, 0, 0, 0},
        {-2.6f, -1.3f, 0, 0, 0},
        {10, 10, 0.6, 3.5f, 2.5f},
        {10.3f, 9.8f, 2.0, 0, 0},
        {9, 8, -1.1, 3, 2},
        {8, 9, M_PI / 2, 3.5f, 2.5f},
        {11, 9, M_PI, 3.5f, 2.5f},
        {7.7f, 8.2f, 4.0, 1.5f, 3.25f},
        {20, 16, 0.3, 0, 0},
    };
    for (const auto& r : rows)
    {
        auto dest = ExactImage(24, 24, 0u);
        dest->BltRotated(src.get(), r.x, r.y, rect, TRect<int>(0, 0, 24, 24), Color::White, 0, r.angle, r.cx,
                         r.cy);
        for (int Y = 0; Y < 24; ++Y)
            for (int X = 0; X < 24; ++X)
            {
                const uint32_t p = At(*dest, X, Y);
                ASSERT_EQ(p & 0xFF0000, 0u) << "red at " << X << "," << Y << " angle " << r.angle;
                const Inside in = CentreInside(X, Y, r.x, r.y, r.angle, r.cx, r.cy, 7, 5, 1e-3);
                if (in == Inside::kEither)
                    continue;
                ASSERT_EQ(p != 0, in == Inside::kYes)
                    << X << "," << Y << " at " << r.x << "," << r.y << " angle " << r.angle;
            }
    }
}

TEST(MemoryImageRotated, AngleZeroAtWholeCoordinatesDrawsWhatBltDraws)
{
    // Same pixels touched; each within the odd fractions' rounding (255 arrives as 253).
    // Additive: an opaque source (a straight additive copy adds the colour of transparent
    // pixels too when the source has no partial alpha).
    std::mt19937 rng(132);
    for (int mode : {0, 1})
    {
        Pixels32 pixels(9 * 6);
        for (auto& p : pixels)
            p = (mode == 0 && rng() % 4 == 0 ? 0u : 0xFF000000u) | (rng() & 0xFFFFFF);
        auto src = Source(9, 6, pixels);
        auto blt = ExactImage(16, 12, 0x80102030u);
        auto rotated = ExactImage(16, 12, 0x80102030u);
        blt->Blt(src.get(), 4, 3, TRect<int>(0, 0, 9, 6), Color::White, mode);
        rotated->BltF(src.get(), 4, 3, TRect<int>(0, 0, 9, 6), TRect<int>(0, 0, 16, 12), Color::White, mode);
        EXPECT_EQ(Touched(*rotated, 0x80102030u), Touched(*blt, 0x80102030u)) << "mode " << mode;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 16; ++x)
                for (int shift : {0, 8, 16, 24})
                    ASSERT_NEAR(int((At(*rotated, x, y) >> shift) & 0xFF),
                                int((At(*blt, x, y) >> shift) & 0xFF), 2)
                        << x << "," << y << " mode " << mode;
    }
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
