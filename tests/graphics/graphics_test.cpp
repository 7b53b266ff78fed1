// Graphics against a recording image: what each drawing call hands to its destination.
#include "graphics/Graphics.h"
#include "graphics/support/RecordingImage.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{
typedef std::vector<std::string> Calls;

const std::string kWhite = "(255,255,255,255)";
const std::string kBlack = "(0,0,0,255)";

struct OnDest : public ::testing::Test
{
    RecordingImage dest{"dest", 100, 100};
    RecordingImage src{"src", 20, 10};
    Graphics g{&dest};
};
typedef OnDest GraphicsContext;
typedef OnDest GraphicsShapes;
typedef OnDest GraphicsLines;
typedef OnDest GraphicsImages;

// ---- State --------------------------------------------------------------------------

TEST(GraphicsTranslation, TranslationIsSinglePrecisionTruncatedTowardZero)
{
    const struct
    {
        float trans;
        int x, expected;
    } cases[] = {
        {10.7f, 5, 15},             // 15.7 -> 15
        {-0.5f, 0, 0},              // -0.5 -> 0, not floor's -1
        {-1.5f, 0, -1},             // -1.5 -> -1
        {16777216.0f, 1, 16777216}, // 2^24 + 1 is not a float: the sum stays 2^24
        {3e9f, 0, 2147483647},      // beyond 32 bits: saturated, not overflowed
        {-3e9f, 0, -2147483647 - 1},
    };
    for (const auto& c : cases)
    {
        RecordingImage dest("dest", 10, 10), src("src", 4, 4);
        Graphics g(&dest);
        g.TranslateF(c.trans, 0);
        // The stretched form passes its destination rectangle unclipped.
        g.DrawImage(&src, c.x, 0, 4, 4);
        Calls expected = {"StretchBlt(src,(" + std::to_string(c.expected) + ",0,4,4),(0,0,4,4),(0,0,10,10)," +
                          kWhite + ",0,false)"};
        EXPECT_EQ(dest.TakeCalls(), expected) << "translation " << c.trans << " x " << c.x;
    }
}

TEST_F(GraphicsContext, ClipRectsAreTranslatedStayInsideTheDestinationAndOnlyShrink)
{
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 100, 100));
    g.SetClipRect(-10, -10, 50, 50);
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 40, 40));
    g.ClipRect(-20, -20, 200, 200);
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 40, 40));
    g.SetClipRect(TRect<int>(50, 50, 500, 500));
    EXPECT_EQ(g.mClipRect, TRect<int>(50, 50, 50, 50));
    g.ClearClipRect();
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 100, 100));
    g.Translate(10, 20);
    g.ClipRect(0, 0, 30, 30);
    EXPECT_EQ(g.mClipRect, TRect<int>(10, 20, 30, 30));
    g.ClipRect(TRect<int>(5, 5, 100, 2));
    EXPECT_EQ(g.mClipRect, TRect<int>(15, 25, 25, 2));
    g.ClipRect(200, 200, 5, 5);
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 0, 0));
}

// Every field of the state, so a lost field shows in the comparison.
auto Fields(const GraphicsState& s)
{
    return std::make_tuple(s.mDestImage, s.mTransX, s.mTransY, s.mScaleX, s.mScaleY, s.mScaleOrigX,
                           s.mScaleOrigY, s.mClipRect, s.mColor, s.mFont, s.mDrawMode, s.mColorizeImages,
                           s.mFastStretch, s.mWriteColoredString, s.mLinearBlend, s.mIs3D);
}

TEST_F(GraphicsContext, PopStateRestoresEverySavedFieldLastInFirstOut)
{
    g.TranslateF(0.5f, 0.5f);
    g.SetColor(Color(9, 8, 7, 6));
    GraphicsState before = g;
    g.PopState(); // empty stack: nothing changes
    EXPECT_EQ(Fields(g), Fields(before));
    g.PushState();
    g.PushState();
    g.mDestImage = &src;
    g.TranslateF(1.5f, 2.5f);
    g.SetScale(2, 3, 4, 5);
    EXPECT_EQ(g.mScaleOrigX, 6.0f); // the origin is kept in destination coordinates
    EXPECT_EQ(g.mScaleOrigY, 8.0f);
    g.SetClipRect(1, 2, 3, 4);
    g.SetColor(Color(1, 2, 3, 4));
    g.SetFont(reinterpret_cast<Font*>(&src)); // only compared
    g.SetDrawMode(DRAWMODE_ADDITIVE);
    g.SetColorizeImages(true);
    g.SetFastStretch(true);
    g.mWriteColoredString = false;
    g.SetLinearBlend(true);
    g.mIs3D = true;
    GraphicsState changed = g;
    g.PushState();
    g.SetColor(Color(5, 5, 5));
    g.PopState();
    EXPECT_EQ(Fields(g), Fields(changed));
    g.PopState();
    g.PopState();
    EXPECT_EQ(Fields(g), Fields(before));
    EXPECT_TRUE(g.mStateStack.empty());
}

TEST_F(GraphicsContext, CopiesAreIndependentAndStartWithAnEmptyStack)
{
    g.Translate(4, 5);
    g.PushState();
    Graphics copy(g);
    EXPECT_EQ(Fields(copy), Fields(g));
    EXPECT_TRUE(copy.mStateStack.empty());
    copy.Translate(100, 100);
    copy.SetColor(Color(5, 5, 5));
    EXPECT_EQ(g.mTransX, 4.0f);
    EXPECT_EQ(g.mColor, Color(0, 0, 0, 255));
    std::unique_ptr<Graphics> created(g.Create());
    EXPECT_EQ(Fields(*created), Fields(g));
    EXPECT_TRUE(created->mStateStack.empty());
}

// ---- Rectangles ---------------------------------------------------------------------

TEST_F(GraphicsShapes, FillRectTranslatesClipsAndSkipsAlphaZeroButClearRectDoesNot)
{
    g.SetColor(Color(10, 20, 30, 40));
    g.SetDrawMode(DRAWMODE_ADDITIVE);
    g.Translate(5, 5);
    g.FillRect(0, 0, 10, 10);
    g.FillRect(90, -10, 20, 20);
    g.FillRect(TRect<int>(200, 200, 5, 5)); // wholly outside: still the empty rectangle
    g.SetColor(Color(255, 255, 255, 0));
    g.FillRect(1, 2, 3, 4);
    g.DrawRect(1, 2, 3, 4);
    g.ClearRect(1, 2, 3, 4);
    g.ClearRect(TRect<int>(-10, 93, 10, 10));
    Calls expected = {"FillRect((5,5,10,10),(10,20,30,40),1)", "FillRect((95,0,5,15),(10,20,30,40),1)",
                      "FillRect((0,0,0,0),(10,20,30,40),1)", "ClearRect((6,7,3,4))", "ClearRect((0,98,5,2))"};
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsShapes, DrawRectInsideTheClipIsWholeAcrossItFourFillsNegativeNothing)
{
    g.Translate(2, 3);
    g.DrawRect(0, 0, 10, 10);
    // The outline is 11 x 11: touching the clip's last column is still inside.
    g.DrawRect(TRect<int>(87, 0, 10, 5));
    g.Translate(-2, -3);
    g.SetClipRect(0, 0, 10, 10);
    g.DrawRect(5, 2, 10, 4);
    // A negative width or height draws nothing, inside the clip or across it.
    g.DrawRect(5, 5, -10, 5);
    g.DrawRect(5, 5, 5, -10);
    g.SetClipRect(0, 0, 7, 7);
    g.DrawRect(5, 5, -10, 5);
    Calls expected = {
        "DrawRect((2,3,10,10)," + kBlack + ",0)", "DrawRect((89,3,10,5)," + kBlack + ",0)",
        "FillRect((5,2,5,1)," + kBlack + ",0)", // top (5,2,11,1)
        "FillRect((5,6,5,1)," + kBlack + ",0)", // bottom (5,6,11,1)
        "FillRect((5,3,1,3)," + kBlack + ",0)", // left (5,3,1,3)
        "FillRect((0,0,0,0)," + kBlack + ",0)", // right (15,3,1,3) is outside
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

// ---- Lines --------------------------------------------------------------------------

TEST_F(GraphicsLines, SegmentsAreClippedToTheLastPixelInside)
{
    const struct
    {
        const char* name;
        int x1, y1, x2, y2;
        const char* expected; // empty: nothing drawn
    } cases[] = {
        {"horizontal", -10, 5, 10, 5, "DrawLine(0,5,4,5,(0,0,0,255),0)"},
        {"vertical", 3, -5, 3, 20, "DrawLine(3,0,3,9,(0,0,0,255),0)"},
        {"diagonal", -5, -5, 20, 20, "DrawLine(0,0,4,4,(0,0,0,255),0)"},
        {"inside", 1, 1, 3, 8, "DrawLine(1,1,3,8,(0,0,0,255),0)"},
        {"left of the clip", -5, 0, -1, 9, ""},
        {"right of the clip", 5, 0, 9, 9, ""},
        {"below the clip", 0, 10, 4, 12, ""},
        {"vertical on the right edge", 5, 0, 5, 9, ""},
    };
    g.SetClipRect(0, 0, 5, 10);
    for (const auto& c : cases)
    {
        g.DrawLine(c.x1, c.y1, c.x2, c.y2);
        Calls expected;
        if (*c.expected)
            expected.push_back(c.expected);
        EXPECT_EQ(dest.TakeCalls(), expected) << c.name;
    }
    // Anti-aliased lines clip the same way and have no alpha test.
    g.SetColor(Color(1, 2, 3, 0));
    g.DrawLineAA(-10, 5, 10, 5);
    EXPECT_EQ(dest.TakeCalls(), Calls{"DrawLineAA(0,5,4,5,(1,2,3,0),0)"});
}

TEST(GraphicsLineClip, EndsBetweenTheLastPixelAndTheEdgeDoNotExtrapolateBackwards)
{
    // Translation 0.5 puts the segment from (0.5, 599.5) to (700.5, 600.5): it leaves
    // the 800 x 600 image half-way, in the last row. Clipping to row 599 used to move
    // the end to x = -349.5.
    RecordingImage dest("dest", 800, 600);
    Graphics g(&dest);
    g.TranslateF(0.5f, 0.5f);
    double x1 = 0.5, y1 = 599.5, x2 = 700.5, y2 = 600.5;
    ASSERT_TRUE(g.DrawLineClipHelper(&x1, &y1, &x2, &y2));
    EXPECT_DOUBLE_EQ(x1, 0.5);
    EXPECT_DOUBLE_EQ(y1, 599.5);
    EXPECT_NEAR(x2, 350.5, 1e-6);
    EXPECT_LT(y2, 600.0);
    EXPECT_GE(y2, 599.5);
    g.DrawLine(0, 599, 700, 600);
    ASSERT_EQ(dest.mCalls.size(), 1u);
    EXPECT_EQ(dest.mCalls[0].compare(0, 25, "DrawLine(0.5,599.5,350.5,"), 0) << dest.mCalls[0];
    // The same at the right edge.
    x1 = 799.5, y1 = 0, x2 = 800.5, y2 = 100;
    ASSERT_TRUE(g.DrawLineClipHelper(&x1, &y1, &x2, &y2));
    EXPECT_DOUBLE_EQ(x1, 799.5);
    EXPECT_LT(x2, 800.0);
    EXPECT_GE(x2, 799.5);
    EXPECT_NEAR(y2, 50.0, 1e-6);
}

// ---- Images ---------------------------------------------------------------------------

TEST_F(GraphicsImages, DrawImageBlitsTheVisiblePartOfTheImageOrSourceRectangle)
{
    g.Translate(3, 2);
    g.DrawImage(&src, 5, 5);
    g.SetClipRect(10, 0, 100, 100); // destination x from 13
    g.DrawImage(&src, 5, 5);
    g.DrawImage(&src, 200, 5);
    g.Translate(-3, -2);
    g.ClearClipRect();
    g.DrawImage(&src, 50, 60, TRect<int>(2, 3, 5, 4));
    g.SetClipRect(52, 0, 100, 100);
    g.DrawImage(&src, 50, 60, TRect<int>(2, 3, 5, 4));
    // Colorized images are tinted with the current colour.
    g.SetColor(Color(10, 20, 30, 40));
    g.SetDrawMode(DRAWMODE_ADDITIVE);
    g.DrawImage(&src, 52, 0, TRect<int>(0, 0, 4, 4));
    g.SetColorizeImages(true);
    g.DrawImage(&src, 52, 0, TRect<int>(0, 0, 4, 4));
    Calls expected = {
        "Blt(src,8,7,(0,0,20,10)," + kWhite + ",0)", "Blt(src,13,7,(5,0,15,10)," + kWhite + ",0)",
        "Blt(src,50,60,(2,3,5,4)," + kWhite + ",0)", "Blt(src,52,60,(4,3,3,4)," + kWhite + ",0)",
        "Blt(src,52,0,(0,0,4,4)," + kWhite + ",1)",  "Blt(src,52,0,(0,0,4,4),(10,20,30,40),1)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsImages, SourceRectanglesOutsideTheImageDrawNothing)
{
    const TRect<int> bad[] = {
        {15, 0, 6, 10},        {0, 5, 20, 6}, // past the right or bottom
        {-1, 0, 5, 5},         {0, -1, 5, 5}, // before the left or top
        {2147483647, 0, 2, 2},                // right edge beyond the int range
    };
    for (const TRect<int>& r : bad)
    {
        g.DrawImage(&src, 0, 0, r);
        g.DrawImageMirror(&src, 0, 0, r, true);
    }
    g.SetScale(2, 2, 0, 0);
    g.DrawImage(&src, 0, 0, TRect<int>(-1, 0, 5, 5));
    EXPECT_TRUE(dest.TakeCalls().empty());
}

TEST_F(GraphicsImages, ScaledDrawsStretchAboutTheOrigin)
{
    RecordingImage src("src", 10, 10);
    g.SetScale(2, 2, 0, 0);
    g.DrawImage(&src, 3, 3);
    g.SetScale(1.5f, 1.5f, 0, 0);
    g.DrawImage(&src, 0, 0, TRect<int>(0, 0, 3, 3));
    g.SetScale(2, 2, 10, 10);
    g.DrawImage(&src, 13, 10, TRect<int>(1, 1, 2, 2));
    // Cels and animation frames drawn at a point are scaled alike.
    src.mNumCols = 2;
    src.mNumRows = 2;
    g.DrawImageCel(&src, 15, 20, 3);
    src.mAnimInfo.reset(new AnimInfo());
    src.mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
    src.mAnimInfo->mFrameDelay = 5;
    src.mAnimInfo->Compute(4);
    g.DrawImageAnim(&src, 15, 20, 7); // frame 1
    Calls expected = {
        "StretchBlt(src,(6,6,20,20),(0,0,10,10),(0,0,100,100)," + kWhite + ",0,false)",
        "StretchBlt(src,(0,0,5,5),(0,0,3,3),(0,0,100,100)," + kWhite + ",0,false)", // ceil(4.5)
        "StretchBlt(src,(16,10,4,4),(1,1,2,2),(0,0,100,100)," + kWhite + ",0,false)",
        "StretchBlt(src,(20,30,10,10),(5,5,5,5),(0,0,100,100)," + kWhite + ",0,false)",
        "StretchBlt(src,(20,30,10,10),(5,0,5,5),(0,0,100,100)," + kWhite + ",0,false)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsImages, MirroredDrawsTakeClippedPixelsFromTheRightOfTheSource)
{
    RecordingImage src("src", 10, 5);
    g.SetClipRect(10, 0, 90, 100);
    // Clipped by 3 on the left: 7 pixels, source x 0 to 6.
    g.DrawImageMirror(&src, 7, 20);
    g.DrawImageMirror(&src, 50, 20, TRect<int>(0, 0, 10, 5), false);
    g.SetClipRect(0, 0, 55, 22);
    // Clipped by 5 on the right and 3 at the bottom: source x 5 to 9, rows 0 and 1.
    g.DrawImageMirror(&src, 50, 20, TRect<int>(0, 0, 10, 5), true);
    Calls expected = {
        "BltMirror(src,10,20,(0,0,7,5)," + kWhite + ",0)",
        "Blt(src,50,20,(0,0,10,5)," + kWhite + ",0)",
        "BltMirror(src,50,20,(5,0,5,2)," + kWhite + ",0)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsImages, StretchedAndFloatDrawsClipTheirSourceToTheImage)
{
    RecordingImage src("src", 10, 10);
    g.DrawImage(&src, TRect<int>(0, 0, 20, 20), TRect<int>(-5, 0, 10, 10));
    g.DrawImageF(&src, 1.5f, 2.0f, TRect<int>(-2, -3, 5, 5));
    g.DrawImageMirror(&src, TRect<int>(0, 0, 20, 20), TRect<int>(-5, 0, 10, 10), true);
    g.DrawImage(&src, TRect<int>(0, 0, 20, 20), TRect<int>(10, 0, 10, 10));
    TRect<int> overhang(-2, 0, 10, 12);
    g.DrawImageRotatedF(&src, 10, 20, 0.5, 5, 6, &overhang);
    VaxoMatrix3 m;
    m.LoadIdentity();
    g.DrawImageMatrix(&src, m, TRect<int>(5, 5, 10, 10), 0, 0);
    g.DrawImageMatrix(&src, m, TRect<int>(10, 0, 5, 5), 0, 0);
    Calls expected = {
        // The right half of the source is inside: it lands on the right half.
        "StretchBlt(src,(10,0,10,20),(0,0,5,10),(0,0,100,100)," + kWhite + ",0,false)",
        "BltF(src,3.5,5,(0,0,3,2),(0,0,100,100)," + kWhite + ",0)",
        // Mirrored, the source's right half lands on the left.
        "StretchBltMirror(src,(0,0,10,20),(0,0,5,10),(0,0,100,100)," + kWhite + ",0,false)",
        // The pixels left keep their place and turn about the same point.
        "BltRotated(src,12,20,(0,0,8,10),(0,0,100,100)," + kWhite + ",0,0.5,3,6)",
        "BltMatrix(src,0,0,[1,0,0;0,1,0],(0,0,100,100)," + kWhite + ",0,(5,5,5,5),false)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

// A mirrored source running to the end of the int range (a width of INT_MAX for "the
// rest") used to overflow while its right edge was flipped.
TEST_F(GraphicsImages, MirroredStretchesOfSourcesReachingTheIntLimitsKeepTheirShare)
{
    RecordingImage src("src", 10, 10);
    g.DrawImageMirror(&src, TRect<int>(0, 0, 20, 20), TRect<int>(7, 0, INT_MAX, 10), true);
    g.DrawImageMirror(&src, TRect<int>(0, 0, 20, 20), TRect<int>(INT_MIN + 3, 0, INT_MAX, 10), true);
    g.DrawImageMirror(&src, TRect<int>(0, 0, 20, 20), TRect<int>(5, -5, 10, 10), true);
    const std::string clip = "(0,0,100,100)," + kWhite + ",0,false)";
    Calls expected = {
        // Three pixels of a source 2^31 - 1 wide: its left end, so the right end of the box.
        "StretchBltMirror(src,(19,0,1,20),(7,0,3,10)," + clip,
        // Its last two pixels: the left end of the box, too thin to reach a pixel.
        "StretchBltMirror(src,(0,0,0,20),(0,0,2,10)," + clip,
        // Half of the source off each side: right half on the left, top half cut off.
        "StretchBltMirror(src,(10,10,10,10),(5,0,5,5)," + clip,
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsImages, RotatedDrawsTurnAboutTheCentreOfTheirSource)
{
    RecordingImage src("src", 10, 6);
    g.TranslateF(1.5f, 2.5f);
    g.DrawImageRotated(&src, 10, 20, 0.5);
    TRect<int> part(1, 1, 5, 3);
    g.DrawImageRotated(&src, 10, 20, 0.5, &part);
    const std::string rest = "(0,0,100,100)," + kWhite + ",0,0.5,";
    Calls expected = {"BltRotated(src,11.5,22.5,(0,0,10,6)," + rest + "5,3)",
                      "BltRotated(src,11.5,22.5,(1,1,5,3)," + rest + "2,1)"}; // 5 / 2, 3 / 2
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST_F(GraphicsImages, CelsOutsideTheGridDrawNothingAndAnimationsPickTheirCel)
{
    RecordingImage src("src", 20, 30); // 2 columns, 3 rows of 10 x 10
    src.mNumCols = 2;
    src.mNumRows = 3;
    g.DrawImageCel(&src, 0, 0, 3);    // column 1, row 1
    g.DrawImageCel(&src, 0, 0, 0, 2); // column 0, row 2
    g.DrawImageCel(&src, 0, 0, 6);
    g.DrawImageCel(&src, 0, 0, -1);
    g.DrawImageCel(&src, 0, 0, 2, 0);
    g.DrawImageCel(&src, 0, 0, 0, -1);
    g.DrawImageCel(&src, TRect<int>(0, 0, 20, 20), 5);
    g.DrawImageCel(&src, TRect<int>(0, 0, 20, 20), 1, 3);
    src.mNumCols = 0; // a manifest may say cols="0": one column
    g.DrawImageCel(&src, 0, 0, 1);
    RecordingImage strip("strip", 40, 10);
    strip.mNumCols = 4;
    strip.mAnimInfo.reset(new AnimInfo());
    strip.mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
    strip.mAnimInfo->mFrameDelay = 5;
    strip.mAnimInfo->Compute(4);
    g.DrawImageAnim(&strip, 1, 2, 12); // frame 2
    Calls expected = {
        "Blt(src,0,0,(10,10,10,10)," + kWhite + ",0)",
        "Blt(src,0,0,(0,20,10,10)," + kWhite + ",0)",
        "StretchBlt(src,(0,0,20,20),(10,20,10,10),(0,0,100,100)," + kWhite + ",0,false)",
        "Blt(src,0,0,(0,10,20,10)," + kWhite + ",0)",
        "Blt(strip,1,2,(20,0,10,10)," + kWhite + ",0)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

std::string BoxBlt(int x, int y, int sx, int sy, int w, int h)
{
    return "Blt(skin," + std::to_string(x) + "," + std::to_string(y) + "," +
           RectText(TRect<int>(sx, sy, w, h)) + "," + kWhite + ",0)";
}

TEST(GraphicsImageBox, EdgesAreTiledBetweenCorners)
{
    RecordingImage dest("dest", 200, 200), skin("skin", 30, 30);
    Graphics g(&dest);
    g.DrawImageBox(TRect<int>(0, 0, 100, 20), &skin);
    // Corners 10 x 10 (20 < 2 x 10 is false); 8 edge tiles of 10 fill the 80 pixels
    // between them; no height is left for side edges or centre.
    Calls expected = {BoxBlt(0, 0, 0, 0, 10, 10), BoxBlt(90, 0, 20, 0, 10, 10), BoxBlt(0, 10, 0, 20, 10, 10),
                      BoxBlt(90, 10, 20, 20, 10, 10)};
    for (int i = 0; i < 8; i++)
    {
        expected.push_back(BoxBlt(10 + 10 * i, 0, 10, 0, 10, 10));
        expected.push_back(BoxBlt(10 + 10 * i, 10, 10, 20, 10, 10));
    }
    EXPECT_EQ(dest.TakeCalls(), expected);
    EXPECT_EQ(g.mClipRect, TRect<int>(0, 0, 200, 200));
    // A 15 x 15 part: corners 7 x 7, middle strip 16 wide, one tile per edge clipped to 1.
    g.DrawImageBox(TRect<int>(0, 0, 30, 30), TRect<int>(0, 0, 15, 15), &skin);
    expected = {BoxBlt(0, 0, 0, 0, 7, 7),   BoxBlt(8, 0, 23, 0, 7, 7), BoxBlt(0, 8, 0, 23, 7, 7),
                BoxBlt(8, 8, 23, 23, 7, 7), BoxBlt(7, 0, 7, 0, 1, 7),  BoxBlt(7, 8, 7, 23, 1, 7),
                BoxBlt(0, 7, 0, 7, 7, 1),   BoxBlt(8, 7, 23, 7, 7, 1), BoxBlt(7, 7, 7, 7, 1, 1)};
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST(GraphicsImageBox, AHugeBoxDrawsOnlyWhatIsVisible)
{
    RecordingImage dest("dest", 64, 48), skin("skin", 3, 3);
    Graphics g(&dest);
    g.DrawImageBox(TRect<int>(-1000000000, -1000000000, 2000000000, 2000000000), &skin);
    // Each visible pixel is one centre tile; corners and edges are far outside.
    EXPECT_EQ(dest.mCalls.size(), 64u * 48u);
    g.DrawImageBox(TRect<int>(0, 0, -5, 10), &skin);
    EXPECT_EQ(dest.mCalls.size(), 64u * 48u);
}

// A scaled box whose translation or scale origin is not a number used to convert the NaN
// bounds of its visible tiles to integers (undefined behaviour): now it tiles nothing
// along that axis.
TEST(GraphicsImageBox, AScaledBoxAtANonNumberPlacesNoTile)
{
    RecordingImage dest("dest", 64, 48), skin("skin", 3, 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][3] = {{nan, 0, 0}, {0, nan, 0}, {inf, 0, 0}, {0, 0, nan}};
    for (const auto& c : cases)
    {
        Graphics g(&dest);
        g.TranslateF(c[0], c[1]);
        g.SetScale(2, 2, c[2], 0);
        g.DrawImageBox(TRect<int>(0, 0, 30, 30), &skin);
        // The four corners and, along the other axis, 28 edge tiles on each side.
        EXPECT_EQ(dest.TakeCalls().size(), 4u + 2 * 28) << c[0] << " " << c[1] << " " << c[2];
    }
}

// ---- Transforms -------------------------------------------------------------------------

TEST(GraphicsTransform, EachKindOfTransformGoesToItsBlitter)
{
    RecordingImage dest("dest", 200, 200), src11("src", 11, 11), src("src", 10, 10);
    Graphics g(&dest);
    Transform plain, mirror, wideMirror, grow, rotated, flip;
    plain.Translate(20, 30);
    mirror.Scale(-1, 1);
    mirror.Translate(3, 4);
    wideMirror.Scale(-1, 1);
    wideMirror.Scale(2, 1); // still simple: scale (-2, 1)
    grow.Scale(2, 3);
    rotated.Translate(1.5f, 0);
    rotated.RotateRad(0.5f);
    rotated.Translate(7, 8);
    flip.Scale(1, -1);
    ASSERT_FALSE(wideMirror.mComplex);
    ASSERT_TRUE(flip.mComplex);
    // Centred on (120, 130): 120 - 5.5 + 0.5 = 115.
    g.DrawImageTransform(&src11, plain, 100, 100);
    g.DrawImageTransformF(&src11, plain, 100, 100);
    g.DrawImageTransform(&src, mirror, 50, 60);
    g.DrawImageTransform(&src, wideMirror, 50, 60);
    g.DrawImageTransform(&src, grow, 50, 60);
    // Centre (5 - 1.5, 5) = (3.5, 5); position 50 + 7 - 3.5 + 0.5 = 54, 40 + 8 - 5 + 0.5.
    g.DrawImageTransform(&src, rotated, 50, 40);
    g.DrawImageTransformF(&src, rotated, 50, 40);
    g.Translate(1, 2);
    g.DrawImageTransform(&src, flip, 50, 40);
    const std::string clip = "(0,0,200,200)," + kWhite + ",0";
    Calls expected = {
        "Blt(src,115,125,(0,0,11,11)," + kWhite + ",0)",
        "BltF(src,115,125,(0,0,11,11)," + clip + ")",
        "BltMirror(src,48,59,(0,0,10,10)," + kWhite + ",0)",
        "StretchBltMirror(src,(40,55,20,10),(0,0,10,10)," + clip + ",false)",
        "StretchBlt(src,(40,45,20,30),(0,0,10,10)," + clip + ",false)",
        "BltRotated(src,54,43,(0,0,10,10)," + clip + ",0.5,3,5)",
        "BltRotated(src,54,43.5,(0,0,10,10)," + clip + ",0.5,3.5,5)",
        "BltMatrix(src,51,42,[1,0,0;0,-1,0]," + clip + ",(0,0,10,10),false)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

TEST(GraphicsTransform, ThreeDDestinationsTakeFloatDrawsAsMatrices)
{
    RecordingImage dest("dest", 200, 200), src("src", 10, 10);
    dest.mIs3D = true;
    Graphics g(&dest);
    Transform t;
    t.Translate(5, 5);
    g.DrawImageTransformF(&src, t, 50, 40);
    g.DrawImageTransform(&src, t, 50, 40);
    Calls expected = {
        "BltMatrix(src,50,40,[1,0,5;0,1,5],(0,0,200,200)," + kWhite + ",0,(0,0,10,10),false)",
        "Blt(src,50,40,(0,0,10,10)," + kWhite + ",0)",
    };
    EXPECT_EQ(dest.TakeCalls(), expected);
}

} // namespace
