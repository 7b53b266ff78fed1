// Fills, lines and coverage spans on the software image, directly and through the
// drawing context: the blend and rounding rules pinned by values worked out by hand, and
// every write kept inside the pixels (all images here have exact-size pixel arrays, so
// AddressSanitizer sees any overrun).
#include "graphics/Graphics.h"
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>
#include <vector>

namespace Vaxo
{
namespace
{

using Points = std::set<std::pair<int, int>>;

uint32_t At(MemoryImage& image, int x, int y)
{
    return image.GetBits()[size_t(y) * size_t(image.GetWidth()) + size_t(x)];
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

TEST(MemoryImageFillRect, BlendTable)
{
    const struct
    {
        const char* what;
        uint32_t dest;
        Color color;
        int mode;
        uint32_t expected;
    } rows[] = {
        {"opaque colour is stored exactly", 0x12345678, Color(1, 2, 3, 255), 0, 0xFF010203},
        // (c x 128 + 255 x 128) >> 8 per channel.
        {"half over opaque white", 0xFFFFFFFF, Color(200, 100, 0, 128), 0, 0xFFE3B17F},
        // sw = 255, dw = 1: alpha 128 and (almost) the colour.
        {"half over transparent", 0x00000000, Color(200, 100, 0, 128), 0, 0x80C76300},
        // na = 128 + 127 x 128 / 255 = 191, sw = 170, dw = 86.
        {"half over half", 0x80FFFFFF, Color(0, 0, 255, 128), 0, 0xBF5555FF},
        {"alpha 0 changes nothing", 0x80FFFFFF, Color(0, 0, 255, 0), 0, 0x80FFFFFF},
        {"out-of-range channels clamp", 0x00000000, Color(300, -5, 7, 400), 0, 0xFFFF0007},
        // sw = 100, dw = 156: red (90 x 100 + 32 x 156) >> 8 = 54.
        {"additive mode blends normally", 0xFF204060, Color(90, 80, 70, 100), 1, 0xFF364655},
    };
    for (const auto& row : rows)
    {
        auto image = ExactImage(3, 2, row.dest);
        image->FillRect(TRect<int>(1, 0, 2, 2), row.color, row.mode);
        EXPECT_EQ(At(*image, 0, 0), row.dest) << row.what;
        EXPECT_EQ(At(*image, 1, 0), row.expected) << row.what;
        EXPECT_EQ(At(*image, 2, 1), row.expected) << row.what;
    }
}

TEST(MemoryImageFillRect, OpaqueRowsAndMixedRowsBlendAlike)
{
    // Row 1 has one transparent pixel, so it takes the per-alpha tables: its opaque
    // pixels must come out as row 0's.
    auto image = ExactImage(
        4, 2,
        {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0, 0xFF102030, 0xFF405060, 0x00000000, 0xFFA0B0C0});
    image->FillRect(TRect<int>(0, 0, 4, 2), Color(250, 5, 128, 77), 0);
    for (int x : {0, 1, 3})
        EXPECT_EQ(At(*image, x, 1), At(*image, x, 0)) << x;
    EXPECT_EQ(At(*image, 0, 0) >> 16, 0xFF56u); // (250 x 77 + 16 x 179) >> 8 = 86
    EXPECT_EQ(At(*image, 2, 1), 0x4DF9047Fu);   // over transparent: sw = 255, dw = 1
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

TEST(MemoryImageLines, PixelsTouched)
{
    const struct
    {
        bool aa;
        double x1, y1, x2, y2;
        int mode;
        Points expected;
    } rows[] = {
        {false, 3, 5, 9, 5, 0, {{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}}},
        {false, 3, 5.5, 3, 2, 0, {{3, 2}, {3, 3}, {3, 4}, {3, 5}}},
        {false, 0, 0, 4, 2, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
        {false, 0, 0, 4, 4, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {false, 0, 0, 3, 2, 2, {}}, // unknown mode
        // Weight 0 on the neighbours of a 45-degree line leaves them as they were.
        {true, 0, 0, 4, 4, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {true, 0, 0, 7, 5, 1, {}}, // additive: only straight lines are drawn
        {true, 1, 2, 6, 2, 1, {{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}}},
    };
    for (const auto& row : rows)
    {
        auto image = ExactImage(12, 12, 0u);
        if (row.aa)
            image->DrawLineAA(row.x1, row.y1, row.x2, row.y2, Color::White, row.mode);
        else
            image->DrawLine(row.x1, row.y1, row.x2, row.y2, Color::White, row.mode);
        EXPECT_EQ(Touched(*image, 0), row.expected) << row.x1 << "," << row.y1 << " " << row.aa;
    }
}

TEST(MemoryImageLines, GoldenPixels)
{
    const struct
    {
        const char* what;
        bool aa;
        double x2, y2; // from (0, 0)
        Color color;
        int mode;
        uint32_t background;
        int x, y;
        uint32_t expected;
    } rows[] = {
        {"straight line is an exact fill", false, 0, 5, Color(10, 20, 30), 0, 0, 0, 3, 0xFF0A141E},
        // (255 v + 127) >> 8: 10 stays, 128 becomes 127, 255 becomes 254.
        {"opaque rounding", false, 4, 2, Color(10, 128, 255), 0, 0, 2, 1, 0xFF0A7FFE},
        {"opaque white is 254", false, 4, 4, Color::White, 0, 0, 3, 3, 0xFFFEFEFE},
        {"translucent over clear", false, 4, 3, Color(255, 0, 0, 128), 0, 0, 0, 0, 0xFF7F0000},
        {"translucent over clear, end", false, 4, 3, Color(255, 0, 0, 128), 0, 0, 4, 3, 0xFF7F0000},
        {"translucent over white", false, 4, 3, Color(255, 0, 0, 128), 0, 0xFFFFFFFF, 0, 0, 0xFFFE7F7F},
        {"additive saturates", false, 3, 3, Color(100, 50, 0), 1, 0x00C80A00, 2, 2, 0xFFFF3C00},
        {"additive off the line", false, 3, 3, Color(100, 50, 0), 1, 0x00C80A00, 2, 1, 0x00C80A00},
        // Weight 255 over transparent: sw 255, dw 1.
        {"45 degrees, full weight", true, 10, 10, Color::White, 0, 0, 5, 5, 0xFFFEFEFE},
        // Step 32768: at x = 1 the weights are 127 on the line, 128 below; over
        // opaque black each channel is (255 w) >> 8. At x = 2 the error wraps.
        {"split, line", true, 10, 5, Color::White, 0, 0xFF000000, 1, 0, 0xFF7E7E7E},
        {"split, neighbour", true, 10, 5, Color::White, 0, 0xFF000000, 1, 1, 0xFF7F7F7F},
        {"split wraps to full", true, 10, 5, Color::White, 0, 0xFF000000, 2, 1, 0xFFFEFEFE},
        // w' = (255 x 128) >> 8 = 127, then (255 x 127) >> 8 = 126.
        {"translucent weight", true, 10, 10, Color(255, 255, 255, 127), 0, 0xFF000000, 4, 4, 0xFF7E7E7E},
    };
    for (const auto& row : rows)
    {
        auto image = ExactImage(12, 12, row.background);
        if (row.aa)
            image->DrawLineAA(0, 0, row.x2, row.y2, row.color, row.mode);
        else
            image->DrawLine(0, 0, row.x2, row.y2, row.color, row.mode);
        EXPECT_EQ(At(*image, row.x, row.y), row.expected) << row.what;
    }
}

TEST(MemoryImageLines, EndPointsOutsideTheImageAreClipped)
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
}

TEST(MemoryImageLines, ShallowUpwardAALineStaysInsideTheLastRow)
{
    // The minor walk follows the real slope (upward here); stepping down would write
    // row 600 of an 800 x 600 image.
    auto image = ExactImage(800, 600, 0u);
    image->DrawLineAA(0.5, 599.9, 700.0, 599.1, Color::White, 0);
    int onLastRow = 0, onRowAbove = 0;
    for (const auto& p : Touched(*image, 0))
    {
        EXPECT_GE(p.second, 597);
        onLastRow += p.second == 599;
        onRowAbove += p.second == 598;
    }
    EXPECT_GT(onLastRow, 100);
    EXPECT_GT(onRowAbove, 100); // the line rises to row 598 as it goes right
}

TEST(MemoryImageCoverage, WeightsFollowTheirOwnBytes)
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
}

TEST(MemoryImageCoverage, SpansOutsideTheImageOrMapAreSkipped)
{
    auto image = ExactImage(4, 4, 0u);
    const unsigned char coverage[4] = {255, 255, 255, 255};
    Span spans[] = {{-1, 0, 4}, {4, 0, 4}, {1, -5, 20}, {2, 0, 4}};
    image->FillScanLinesWithCoverage(spans, 4, Color::White, 0, coverage, 1, 1, 2, 2);
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

TEST(MemoryImageThroughGraphics, CoverageFillDrawsTheInsideOfASquare)
{
    auto image = ExactImage(40, 40, 0xFF000000u);
    Graphics g(image.get());
    g.SetColor(Color::White);
    const TPoint<int> square[] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
    g.PolyFillAA(square, 4);
    EXPECT_EQ(At(*image, 20, 20), 0xFFFEFEFEu); // coverage 255: weight 255 over black
    EXPECT_EQ(At(*image, 5, 5), 0xFF000000u);
    EXPECT_EQ(At(*image, 35, 20), 0xFF000000u);
}

} // namespace
} // namespace Vaxo
