// Polygon fills against a recording image: the spans and coverage maps they hand over,
// checked against an independent even-odd point-in-polygon test at pixel centres.
#include "graphics/Graphics.h"
#include "graphics/support/RecordingImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{
typedef std::vector<TPoint<int>> Poly;
typedef std::set<std::pair<int, int>> PixelSet; // (y, x)

// Spans as (y, x, width) triples, comparable and printable.
typedef std::array<int, 3> S;
S Triple(const Span& s)
{
    return S{s.mY, s.mX, s.mWidth};
}
std::vector<S> Triples(const std::vector<Span>& spans)
{
    std::vector<S> out;
    for (const Span& s : spans)
        out.push_back(Triple(s));
    return out;
}

PixelSet SpanPixels(const std::vector<Span>& spans)
{
    PixelSet pixels;
    for (const Span& s : spans)
        for (int x = s.mX; x < s.mX + s.mWidth; x++)
            EXPECT_TRUE(pixels.insert({s.mY, x}).second) << "pixel " << x << "," << s.mY << " twice";
    return pixels;
}

// Even-odd rule at the pixel centre, by counting edge crossings left of it; edges own
// their top end and not their bottom end. A centre on an edge is ambiguous: -1.
int CentreInside(const Poly& poly, double tx, double ty, int x, int y)
{
    double cx = x + 0.5 - tx;
    double cy = y + 0.5 - ty;
    int crossings = 0;
    size_t n = poly.size();
    for (size_t i = 0; i < n; i++)
    {
        const TPoint<int>& a = poly[i];
        const TPoint<int>& b = poly[(i + 1) % n];
        double top = std::min(a.mY, b.mY);
        double bottom = std::max(a.mY, b.mY);
        if (!(top <= cy && cy < bottom))
            continue;
        double xc = a.mX + (cy - a.mY) * double(b.mX - a.mX) / double(b.mY - a.mY);
        if (std::fabs(xc - cx) < 1e-6)
            return -1;
        if (xc < cx)
            crossings++;
    }
    return crossings % 2;
}

void ExpectMatchesOracle(const Poly& poly, float tx, float ty, const TRect<int>& clip, bool antiAlias)
{
    RecordingImage dest("dest", 64, 48);
    Graphics g(&dest);
    g.SetClipRect(clip);
    g.TranslateF(tx, ty);
    if (antiAlias)
        g.PolyFillAA(poly.data(), int(poly.size()));
    else
        g.PolyFill(poly.data(), int(poly.size()));
    PixelSet filled = SpanPixels(dest.mSpans);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
        {
            bool inClip = g.mClipRect.Contains(x, y);
            int v = CentreInside(poly, tx, ty, x, y);
            if (v < 0)
                continue;
            bool expected = inClip && v == 1;
            ASSERT_EQ(filled.count({y, x}) == 1, expected) << "pixel " << x << "," << y;
        }
}

TEST(PolyFill, SpansCoverThePixelsWhoseCentresAreInside)
{
    const Poly square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const TRect<int> all(0, 0, 100, 100);
    // Translated (20, 30): centres (20.5 + i, 30.5 + row) left of the diagonal x = y.
    const std::tuple<const char*, Poly, int, int, TRect<int>, std::vector<S>> cases[] = {
        {"translated",
         {{0, 0}, {4, 4}, {0, 4}},
         20,
         30,
         all,
         {{30, 20, 1}, {31, 20, 2}, {32, 20, 3}, {33, 20, 4}}},
        {"clipped on the left", square, 0, 0, {5, 0, 100, 3}, {{0, 5, 5}, {1, 5, 5}, {2, 5, 5}}},
        {"below the clip", {{0, 200}, {10, 200}, {10, 300}, {0, 300}}, 0, 0, all, {}}};
    for (const auto& [name, poly, tx, ty, clip, expected] : cases)
    {
        RecordingImage dest("dest", 100, 100);
        Graphics g(&dest);
        g.SetClipRect(clip);
        g.Translate(tx, ty);
        g.SetColor(Color(1, 2, 3, 4));
        g.SetDrawMode(DRAWMODE_ADDITIVE);
        g.PolyFill(poly.data(), int(poly.size()));
        EXPECT_EQ(Triples(dest.mSpans), expected) << name;
        // Even with no span the destination is called once.
        std::string call = "FillScanLines(" + std::to_string(expected.size()) + ",(1,2,3,4),1)";
        EXPECT_EQ(dest.TakeCalls(), std::vector<std::string>{call}) << name;
        g.PolyFill(poly.data(), 0);
        EXPECT_TRUE(dest.TakeCalls().empty());
    }
}

TEST(PolyFill, PolygonsMatchThePointInPolygonOracle)
{
    // A pentagram (its inner pentagon is crossed twice and stays empty), an L shape and
    // steps (several horizontal edges at the same rows), then random polygons.
    const Poly shapes[] = {{{32, 2}, {44, 42}, {10, 16}, {54, 16}, {20, 42}},
                           {{2, 2}, {12, 2}, {12, 8}, {6, 8}, {6, 20}, {2, 20}},
                           {{0, 0}, {10, 0}, {10, 5}, {20, 5}, {20, 10}, {30, 10}, {30, 15}, {0, 15}}};
    for (const Poly& shape : shapes)
        for (float t : {0.0f, 0.25f, -0.75f})
            ExpectMatchesOracle(shape, t, -t, TRect<int>(0, 0, 64, 48), false);
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> count(3, 12);
    std::uniform_int_distribution<int> coord(-20, 80);
    std::uniform_int_distribution<int> quarter(-4, 4);
    std::uniform_int_distribution<int> clipPos(-10, 40);
    for (int n = 0; n < 300 && !HasFatalFailure(); n++)
    {
        Poly poly(size_t(count(rng)));
        for (TPoint<int>& p : poly)
            p = TPoint<int>(coord(rng), coord(rng) * 3 / 4);
        const float tx = quarter(rng) * 0.25f, ty = quarter(rng) * 0.25f;
        ExpectMatchesOracle(poly, tx, ty, TRect<int>(clipPos(rng), clipPos(rng), 40, 30), n % 2 == 1);
    }
}

TEST(PolyFill, OnlyTheFirst8192SpansAreKeptAndConvexPolygonsGoToA3DDestination)
{
    RecordingImage dest("dest", 100, 20000);
    Graphics g(&dest);
    // A slot from the top: two spans on every row but the first.
    Poly comb = {{0, 0}, {90, 0}, {90, 10000}, {60, 10000}, {60, 1}, {30, 1}, {30, 10000}, {0, 10000}};
    g.PolyFill(comb.data(), int(comb.size()));
    ASSERT_EQ(dest.mSpans.size(), 8192u);
    EXPECT_EQ(Triple(dest.mSpans[0]), (S{0, 0, 90}));
    EXPECT_EQ(Triple(dest.mSpans[1]), (S{1, 0, 30}));
    EXPECT_EQ(Triple(dest.mSpans[2]), (S{1, 60, 30}));
    EXPECT_EQ(Triple(dest.mSpans.back()), (S{4096, 0, 30}));
    RecordingImage dest2("dest", 100, 100);
    dest2.mIs3D = true;
    dest2.mPolyFill3DResult = true;
    Graphics g2(&dest2);
    g2.TranslateF(1.5f, 2.7f);
    Poly square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    g2.PolyFill(square.data(), 4, true);
    g2.PolyFillAA(square.data(), 4, true);
    EXPECT_EQ(dest2.TakeCalls(),
              std::vector<std::string>(2, "PolyFill3D(4,(0,0,100,100),(0,0,0,255),0,1,2,true)"));
    g2.PolyFill(square.data(), 4, false);
    EXPECT_EQ(dest2.TakeCalls(), std::vector<std::string>{"FillScanLines(10,(0,0,0,255),0)"});
    // A destination that declines draws the spans itself.
    dest2.mPolyFill3DResult = false;
    g2.PolyFill(square.data(), 4, true);
    EXPECT_EQ(dest2.TakeCalls().back(), "FillScanLines(10,(0,0,0,255),0)");
}

// ---- Anti-aliased -----------------------------------------------------------------------

TEST(PolyFillAA, TheCoverageMapIsSharedOrTheBoundingBoxAndLimitedToTheClip)
{
    RecordingImage dest("dest", 400, 300);
    Graphics g(&dest);
    Poly square = {{0, 0}, {99, 0}, {99, 99}, {0, 99}};
    g.PolyFillAA(square.data(), 4);
    const unsigned char* first = dest.mCoverageAddress;
    EXPECT_EQ(dest.TakeCalls().back(), "FillScanLinesWithCoverage(99,(0,0,0,255),0,(0,0,256,256))");
    Poly other = {{50, 50}, {60, 50}, {55, 60}};
    g.PolyFillAA(other.data(), 3);
    EXPECT_EQ(dest.mCoverageAddress, first);
    EXPECT_EQ(dest.TakeCalls().back(), "FillScanLinesWithCoverage(9,(0,0,0,255),0,(50,50,256,256))");
    RecordingImage dest3("dest", 800, 600);
    Graphics g3(&dest3);
    Poly huge = {{-1000000, -1000000}, {1000000, -1000000}, {1000000, 1000000}, {-1000000, 1000000}};
    g3.PolyFillAA(huge.data(), 4);
    EXPECT_EQ(dest3.TakeCalls().back(), "FillScanLinesWithCoverage(600,(0,0,0,255),0,(0,0,800,600))");
    EXPECT_EQ(Triple(dest3.mSpans.front()), (S{0, 0, 800}));
    // The clipped ends are fully covered.
    EXPECT_EQ(dest3.mCoverage[0], 255);
    EXPECT_EQ(dest3.mCoverage[799], 255);
    // Far outside: nothing to cover, nothing drawn.
    Poly far = {{5000, 5000}, {6000, 5000}, {6000, 6000}};
    g3.PolyFillAA(far.data(), 3);
    EXPECT_TRUE(dest3.TakeCalls().empty());
}

TEST(PolyFillAA, AlignedEdgesGetHalfCoverageClippedEndsAndTheInsideFull)
{
    RecordingImage dest("dest", 100, 100);
    Graphics g(&dest);
    Poly square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    g.PolyFillAA(square.data(), 4);
    ASSERT_EQ(dest.mSpans.size(), 10u);
    EXPECT_EQ(Triple(dest.mSpans[3]), (S{3, 0, 10}));
    // Crossings at x = 0 and 10 lie half a pixel from the nearest centres: 0.5 x 255.
    std::vector<int> row3(dest.mCoverage.begin() + 3 * 256, dest.mCoverage.begin() + 3 * 256 + 11);
    std::vector<int> expected = {127, 255, 255, 255, 255, 255, 255, 255, 255, 127, 0};
    EXPECT_EQ(row3, expected);
    g.SetClipRect(5, 0, 100, 100);
    g.PolyFillAA(square.data(), 4);
    EXPECT_EQ(dest.mCoverX, 5);
    EXPECT_EQ(Triple(dest.mSpans[0]), (S{0, 5, 5}));
    EXPECT_EQ(dest.mCoverage[0], 255);
    EXPECT_EQ(dest.mCoverage[4], 127);
}

} // namespace
