// Fills, lines and coverage spans on the software image: the blend and rounding rules
// pinned by values worked out by hand, and every write kept inside the pixels (all
// images here have exact-size pixel arrays, so AddressSanitizer sees any overrun).
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

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

// Coordinates of every pixel that differs from background.
std::set<std::pair<int, int>> Touched(MemoryImage& image, uint32_t background)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            if (At(image, x, y) != background)
                out.insert({x, y});
    return out;
}

TEST(MemoryImageFillRect, BlendTable)
{
    struct Row
    {
        const char* what;
        uint32_t dest;
        Color color;
        uint32_t expected;
    } rows[] = {
        {"opaque colour is stored exactly", 0x12345678, Color(1, 2, 3, 255), 0xFF010203},
        // (c x 128 + 255 x 128) >> 8 per channel.
        {"half over opaque white", 0xFFFFFFFF, Color(200, 100, 0, 128), 0xFFE3B17F},
        // sw = 255, dw = 1: alpha 128 and (almost) the colour.
        {"half over transparent", 0x00000000, Color(200, 100, 0, 128), 0x80C76300},
        // na = 128 + 127 x 128 / 255 = 191, sw = 170, dw = 86.
        {"half over half", 0x80FFFFFF, Color(0, 0, 255, 128), 0xBF5555FF},
        {"alpha 0 changes nothing", 0x80FFFFFF, Color(0, 0, 255, 0), 0x80FFFFFF},
        // Channels outside 0..255 are brought into range instead of spilling.
        {"out-of-range channels clamp", 0x00000000, Color(300, -5, 7, 400), 0xFFFF0007},
    };
    for (const Row& row : rows)
    {
        auto image = ExactImage(3, 2, row.dest);
        image->FillRect(TRect<int>(1, 0, 2, 2), row.color, 0);
        EXPECT_EQ(At(*image, 0, 0), row.dest) << row.what;
        EXPECT_EQ(At(*image, 1, 0), row.expected) << row.what;
        EXPECT_EQ(At(*image, 2, 1), row.expected) << row.what;
    }
}

TEST(MemoryImageFillRect, OpaqueRowsAndMixedRowsBlendAlike)
{
    // Row 0 is all opaque; row 1 has one transparent pixel, so it takes the per-alpha
    // tables: its opaque pixels must come out as row 0's.
    auto image = ExactImage(
        4, 2,
        {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0, 0xFF102030, 0xFF405060, 0x00000000, 0xFFA0B0C0});
    image->FillRect(TRect<int>(0, 0, 4, 2), Color(250, 5, 128, 77), 0);
    for (int x : {0, 1, 3})
        EXPECT_EQ(At(*image, x, 1), At(*image, x, 0)) << x;
    // sw = 77, dw = 179 over opaque: red (250 x 77 + 16 x 179) >> 8 = 86.
    EXPECT_EQ(At(*image, 0, 0) >> 16, 0xFF56u);
    // Over transparent: alpha 77, sw = 255, dw = 1.
    EXPECT_EQ(At(*image, 2, 1), 0x4DF9047Fu);
}

TEST(MemoryImageFillRect, AdditiveModeBlendsNormally)
{
    auto normal = ExactImage(2, 2, 0xFF204060u);
    auto additive = ExactImage(2, 2, 0xFF204060u);
    normal->FillRect(TRect<int>(0, 0, 2, 2), Color(90, 80, 70, 100), 0);
    additive->FillRect(TRect<int>(0, 0, 2, 2), Color(90, 80, 70, 100), 1);
    EXPECT_EQ(At(*normal, 1, 1), At(*additive, 1, 1));
}

TEST(MemoryImageFillRect, EmptyAndOutsideRectanglesStayInside)
{
    auto image = ExactImage(4, 4, 0u);
    const int32_t before = image->mBitsChangedCount;
    image->FillRect(TRect<int>(0, 0, 0, 0), Color(255, 0, 0), 0);
    EXPECT_EQ(image->mBitsChangedCount, before + 1);
    image->FillRect(TRect<int>(-10, -10, 100, 100), Color(255, 0, 0), 0);
    image->ClearRect(TRect<int>(2, 2, 50, 50));
    EXPECT_EQ(At(*image, 1, 1), 0xFFFF0000u);
    EXPECT_EQ(At(*image, 3, 3), 0u);
    EXPECT_EQ(At(*image, 3, 1), 0xFFFF0000u);
}

TEST(MemoryImageDrawLine, HorizontalAndVerticalLinesAreRectangles)
{
    auto image = ExactImage(12, 12, 0u);
    image->DrawLine(3, 5, 9, 5, Color(10, 20, 30), 0);
    std::set<std::pair<int, int>> expected;
    for (int x = 3; x <= 9; ++x)
        expected.insert({x, 5});
    EXPECT_EQ(Touched(*image, 0), expected);
    EXPECT_EQ(At(*image, 3, 5), 0xFF0A141Eu); // the rectangle path keeps the colour exact

    auto column = ExactImage(12, 12, 0u);
    column->DrawLine(3, 5.5, 3, 2, Color(10, 20, 30), 0);
    EXPECT_EQ(Touched(*column, 0), (std::set<std::pair<int, int>>{{3, 2}, {3, 3}, {3, 4}, {3, 5}}));
}

TEST(MemoryImageDrawLine, DiagonalWalkAndOpaqueRounding)
{
    auto image = ExactImage(6, 4, 0u);
    image->DrawLine(0, 0, 4, 2, Color(10, 128, 255), 0);
    EXPECT_EQ(Touched(*image, 0), (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    // (255 v + 127) >> 8: 10 stays, 128 becomes 127, 255 becomes 254.
    EXPECT_EQ(At(*image, 2, 1), 0xFF0A7FFEu);

    auto white = ExactImage(5, 5, 0u);
    white->DrawLine(0, 0, 4, 4, Color::White, 0);
    EXPECT_EQ(Touched(*white, 0), (std::set<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    EXPECT_EQ(At(*white, 3, 3), 0xFFFEFEFEu);
}

TEST(MemoryImageDrawLine, TranslucentLinesLeavePixelsOpaque)
{
    auto clear = ExactImage(5, 5, 0u);
    clear->DrawLine(0, 0, 4, 3, Color(255, 0, 0, 128), 0);
    for (const auto& p : Touched(*clear, 0))
        EXPECT_EQ(At(*clear, p.first, p.second), 0xFF7F0000u);

    auto white = ExactImage(5, 5, 0xFFFFFFFFu);
    white->DrawLine(0, 0, 4, 3, Color(255, 0, 0, 128), 0);
    EXPECT_EQ(At(*white, 0, 0), 0xFFFE7F7Fu);
}

TEST(MemoryImageDrawLine, AdditiveLineSaturates)
{
    auto image = ExactImage(4, 4, 0x00C80A00u);
    image->DrawLine(0, 0, 3, 3, Color(100, 50, 0, 255), 1);
    EXPECT_EQ(At(*image, 2, 2), 0xFFFF3C00u);
    EXPECT_EQ(At(*image, 2, 1), 0x00C80A00u);
}

TEST(MemoryImageDrawLine, UnknownModeDrawsNothingButCounts)
{
    auto image = ExactImage(4, 4, 0u);
    const int32_t before = image->mBitsChangedCount;
    image->DrawLine(0, 0, 3, 2, Color::White, 2);
    EXPECT_TRUE(Touched(*image, 0).empty());
    EXPECT_EQ(image->mBitsChangedCount, before + 1);
}

TEST(MemoryImageDrawLine, EndPointsOutsideTheImageAreClipped)
{
    auto image = ExactImage(10, 10, 0u);
    image->DrawLine(-50, -40, 60, 70, Color::White, 0);
    image->DrawLine(5, -1e9, 5, 1e9, Color::White, 0);
    image->DrawLine(0, 0, 1e300, 2, Color::White, 1);
    image->DrawLine(0, 0, std::nan(""), 2, Color::White, 0);
    image->DrawLineAA(-3, 12, 14, -5, Color::White, 0);
    EXPECT_FALSE(Touched(*image, 0).empty());
}

TEST(MemoryImageDrawLineAA, FortyFiveDegreesGivesFullWeightOnTheLine)
{
    auto image = ExactImage(12, 12, 0u);
    image->DrawLineAA(0, 0, 10, 10, Color::White, 0);
    std::set<std::pair<int, int>> expected;
    for (int i = 0; i <= 10; ++i)
        expected.insert({i, i});
    // Weight 0 on the neighbours leaves them as they were.
    EXPECT_EQ(Touched(*image, 0), expected);
    // Weight 255 over transparent: sw 255, dw 1.
    EXPECT_EQ(At(*image, 5, 5), 0xFFFEFEFEu);
}

TEST(MemoryImageDrawLineAA, CoverageSplitsBetweenLineAndNeighbour)
{
    // From (0, 0) to (10, 5): step 32768, so every other pixel splits 127 / 128.
    auto image = ExactImage(12, 8, 0xFF000000u);
    image->DrawLineAA(0, 0, 10, 5, Color::White, 0);
    // x = 1: e = 32768, w = 255 - 128 = 127 on (1, 0) and 128 on (1, 1); over opaque
    // black each channel is (255 w) >> 8.
    EXPECT_EQ(At(*image, 1, 0), 0xFF7E7E7Eu);
    EXPECT_EQ(At(*image, 1, 1), 0xFF7F7F7Fu);
    // x = 2: e wraps to 0, y moves down: full weight on (2, 1).
    EXPECT_EQ(At(*image, 2, 1), 0xFFFEFEFEu);
}

TEST(MemoryImageDrawLineAA, TranslucentWeightsScaleByAlpha)
{
    auto image = ExactImage(12, 12, 0xFF000000u);
    image->DrawLineAA(0, 0, 10, 10, Color(255, 255, 255, 127), 0);
    // w' = (255 x 128) >> 8 = 127 over opaque black: (255 x 127) >> 8 = 126.
    EXPECT_EQ(At(*image, 4, 4), 0xFF7E7E7Eu);
}

TEST(MemoryImageDrawLineAA, AdditiveDiagonalDrawsNothing)
{
    auto image = ExactImage(8, 8, 0u);
    image->DrawLineAA(0, 0, 7, 5, Color::White, 1);
    EXPECT_TRUE(Touched(*image, 0).empty());
    image->DrawLineAA(1, 2, 6, 2, Color::White, 1);
    EXPECT_EQ(Touched(*image, 0).size(), 6u);
}

TEST(MemoryImageDrawLineAA, ShallowUpwardLineStaysInsideTheLastRow)
{
    // The minor walk follows the real slope (upward here); stepping down would write
    // row 600 of an 800 x 600 image.
    auto image = ExactImage(800, 600, 0u);
    image->DrawLineAA(0.5, 599.9, 700.0, 599.1, Color::White, 0);
    int onLastRow = 0;
    int onRowAbove = 0;
    for (const auto& p : Touched(*image, 0))
    {
        EXPECT_GE(p.second, 597);
        onLastRow += p.second == 599;
        onRowAbove += p.second == 598;
    }
    EXPECT_GT(onLastRow, 100);
    EXPECT_GT(onRowAbove, 100); // the line rises to row 598 as it goes right
}

TEST(MemoryImageDrawLineAA, SteepLineWithEqualColumnsStaysInside)
{
    auto image = ExactImage(10, 300, 0u);
    image->DrawLineAA(9.9, 0.5, 9.1, 299.5, Color::White, 0);
    image->DrawLineAA(0.1, 0.5, 0.9, 299.5, Color::White, 0);
    EXPECT_FALSE(Touched(*image, 0).empty());
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
}

TEST(MemoryImageCoverage, ZeroCoverageStillTakesAFaintShareAtHalfAlpha)
{
    struct Row
    {
        int alpha;
        bool drawn;
    } rows[] = {{127, false}, {128, true}, {255, true}};
    for (const Row& row : rows)
    {
        auto image = ExactImage(1, 1, 0u);
        const unsigned char coverage[] = {0};
        Span span{0, 0, 1};
        image->FillScanLinesWithCoverage(&span, 1, Color(255, 128, 0, row.alpha), 0, coverage, 0, 0, 1, 1);
        EXPECT_EQ(At(*image, 0, 0) != 0, row.drawn) << row.alpha;
    }
}

TEST(MemoryImageCoverage, SpansOutsideTheImageOrMapAreSkipped)
{
    auto image = ExactImage(4, 4, 0u);
    const unsigned char coverage[4] = {255, 255, 255, 255};
    Span spans[] = {{-1, 0, 4}, {4, 0, 4}, {1, -5, 20}, {2, 0, 4}};
    image->FillScanLinesWithCoverage(spans, 4, Color::White, 0, coverage, 1, 1, 2, 2);
    // Only the map's 2 x 2 pixels at (1, 1) can be drawn: row 1 and row 2, x 1..2.
    EXPECT_EQ(Touched(*image, 0), (std::set<std::pair<int, int>>{{1, 1}, {2, 1}, {1, 2}, {2, 2}}));
}

} // namespace
} // namespace Vaxo
