// The software image driven through the drawing context: the outlined rectangle helper,
// and random lines and polygons with fractional translations and clips, drawn into an
// 800 x 600 image whose pixel array ends exactly at its last pixel.
#include "graphics/Graphics.h"
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace Vaxo
{
namespace
{

uint32_t At(MemoryImage& image, int x, int y)
{
    return image.GetBits()[size_t(y) * size_t(image.GetWidth()) + size_t(x)];
}

TEST(FillRectWithOutline, FillsThenOutlinesAndRestoresTheColour)
{
    auto image = ExactImage(10, 10, 0u);
    Graphics g(image.get());
    g.SetColor(Color(255, 0, 0));
    FillRectWithOutline(&g, 2, 2, 4, 3, 0x0000FF); // top byte 0: opaque blue
    EXPECT_EQ(g.GetColor(), Color(255, 0, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
        {
            const bool outline =
                (x >= 2 && x <= 6 && (y == 2 || y == 5)) || (y >= 2 && y <= 5 && (x == 2 || x == 6));
            const bool inside = x >= 3 && x <= 5 && y >= 3 && y <= 4;
            const uint32_t expected = outline ? 0xFF0000FFu : (inside ? 0xFFFF0000u : 0u);
            EXPECT_EQ(At(*image, x, y), expected) << x << "," << y;
        }
}

// Every pixel outside the clip grown by margin is still the background.
void ExpectOnlyInside(MemoryImage& image, const TRect<int>& clip, int margin, uint32_t background, int round)
{
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
        {
            const bool near = x >= clip.mX - margin && x < clip.mX + clip.mWidth + margin &&
                              y >= clip.mY - margin && y < clip.mY + clip.mHeight + margin;
            if (!near && At(image, x, y) != background)
            {
                ADD_FAILURE() << "round " << round << ": pixel " << x << "," << y << " outside clip "
                              << clip.mX << "," << clip.mY << " " << clip.mWidth << "x" << clip.mHeight;
                return;
            }
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
        const bool clipped = round % 3 != 0;
        if (clipped)
            g.SetClipRect(coord(rng) % 400, coord(rng) % 300, 50 + int(rng() % 700), 50 + int(rng() % 500));
        const TRect<int> clip = g.mClipRect;
        g.SetColor(Color(int(rng() % 256), int(rng() % 256), int(rng() % 256), 1 + int(rng() % 255)));
        g.SetDrawMode(int(rng() % 2));
        for (int i = 0; i < 20; ++i)
            g.DrawLine(coord(rng), coord(rng), coord(rng), coord(rng));
        // The line examples at the edges: nearly horizontal along the last row.
        g.DrawLine(0, 599, 700, 600);
        g.DrawLine(799, 0, 798, 599);
        std::vector<TPoint<int>> poly;
        for (int i = 0; i < 3 + int(rng() % 8); ++i)
            poly.emplace_back(coord(rng), coord(rng));
        g.PolyFill(poly.data(), int(poly.size()));
        ExpectOnlyInside(*image, clip, 0, 0u, round);

        // Anti-aliased lines may shade the neighbour of their last pixel inside the clip.
        image->Clear();
        for (int i = 0; i < 20; ++i)
            g.DrawLineAA(coord(rng), coord(rng), coord(rng), coord(rng));
        g.DrawLineAA(0, 599, 700, 599);
        g.PolyFillAA(poly.data(), int(poly.size()));
        ExpectOnlyInside(*image, clip, 1, 0u, round);
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
