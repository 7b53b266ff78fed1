// Image base, AnimInfo, the 3D interface base, the display's renderer hand-off and the
// application stand-in.
#include "graphics/Graphics.h"
#include "graphics/GraphicsApp.h"
#include "graphics/Image.h"
#include "graphics/NativeDisplay.h"
#include "graphics/X3DInterface.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <SDL_mutex.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Vaxo;

namespace
{

// Records the FillRect calls that the base versions of DrawRect and FillScanLines make.
class FillRecorder : public Image
{
public:
    std::vector<TRect<int>> mFills;
    void FillRect(const TRect<int>& rect, const Color&, int) override { mFills.push_back(rect); }
};

Image MakeGrid(int width, int height, int rows, int cols)
{
    Image image;
    image.mWidth = width;
    image.mHeight = height;
    image.mNumRows = rows;
    image.mNumCols = cols;
    return image;
}

// ---- Image -----------------------------------------------------------------------------

TEST(Image, StartsEmptyWithOneCel)
{
    Image image;
    EXPECT_FALSE(image.mDrawn);
    EXPECT_TRUE(image.mFilePath.empty());
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetHeight(), 0);
    EXPECT_EQ(image.mNumRows, 1);
    EXPECT_EQ(image.mNumCols, 1);
    EXPECT_EQ(image.mAnimInfo, nullptr);
    EXPECT_FALSE(image.Is3D());
    EXPECT_FALSE(image.PolyFill3D(nullptr, 0, nullptr, Color(), 0, 0, 0, true));
}

TEST(Image, DrawRectIsFourFills)
{
    FillRecorder image;
    image.DrawRect(TRect<int>(10, 10, 5, 3), Color(), 0);
    const std::vector<TRect<int>> expected = {{10, 10, 6, 1}, {10, 13, 6, 1}, {10, 11, 1, 2}, {15, 11, 1, 2}};
    EXPECT_EQ(image.mFills, expected);
}

TEST(Image, FillScanLinesIsOneFillPerSpan)
{
    FillRecorder image;
    Span spans[] = {{4, 2, 7}, {5, -1, 0}, {6, 3, 1}}; // y, x, width
    image.FillScanLines(spans, 3, Color(), 1);
    const std::vector<TRect<int>> expected = {{2, 4, 7, 1}, {-1, 5, 0, 1}, {3, 6, 1, 1}};
    EXPECT_EQ(image.mFills, expected);
}

TEST(Image, NumCelsCountsRowsOfAGrid)
{
    EXPECT_EQ(MakeGrid(40, 30, 3, 4).GetNumCels(), 3);
    EXPECT_EQ(MakeGrid(40, 30, 1, 4).GetNumCels(), 4);
    EXPECT_EQ(MakeGrid(40, 30, 5, 1).GetNumCels(), 5);
}

TEST(Image, CelRectsWalkRowsLeftToRight)
{
    Image image = MakeGrid(40, 30, 3, 4); // cels of 10 x 10
    EXPECT_EQ(image.GetCelWidth(), 10);
    EXPECT_EQ(image.GetCelHeight(), 10);
    EXPECT_EQ(image.GetCelRect(0), TRect<int>(0, 0, 10, 10));
    EXPECT_EQ(image.GetCelRect(5), TRect<int>(10, 10, 10, 10));
    EXPECT_EQ(image.GetCelRect(11), TRect<int>(30, 20, 10, 10));
    EXPECT_EQ(image.GetCelRect(2, 1), TRect<int>(20, 10, 10, 10));
}

// A manifest may say cols="0" or rows="-2": such counts act as 1 instead of dividing
// by zero.
TEST(Image, GridCountsBelowOneActAsOne)
{
    Image cols0 = MakeGrid(40, 30, 1, 0);
    EXPECT_EQ(cols0.GetCelWidth(), 40);
    EXPECT_EQ(cols0.GetCelRect(0), TRect<int>(0, 0, 40, 30));
    EXPECT_EQ(cols0.GetCelRect(2), TRect<int>(0, 60, 40, 30));
    Image rowsNeg = MakeGrid(40, 30, -2, 4);
    EXPECT_EQ(rowsNeg.GetCelHeight(), 30);
    EXPECT_EQ(rowsNeg.GetCelRect(1), TRect<int>(10, 0, 10, 30));
    Image both0 = MakeGrid(40, 30, 0, 0);
    EXPECT_EQ(both0.GetAnimCelRect(0), TRect<int>(0, 0, 40, 30));
}

TEST(Image, AnimCelRectStepsAlongTheStrip)
{
    Image vertical = MakeGrid(20, 50, 5, 1);
    vertical.mAnimInfo.reset(new AnimInfo());
    vertical.mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
    vertical.mAnimInfo->Compute(5);
    EXPECT_EQ(vertical.GetAnimCelRect(3), TRect<int>(0, 30, 20, 10));

    Image horizontal = MakeGrid(50, 20, 1, 5);
    horizontal.mAnimInfo.reset(new AnimInfo());
    horizontal.mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
    horizontal.mAnimInfo->Compute(5);
    EXPECT_EQ(horizontal.GetAnimCelRect(3), TRect<int>(30, 0, 10, 20));
    EXPECT_EQ(horizontal.GetAnimCelRect(7), TRect<int>(20, 0, 10, 20));

    Image still = MakeGrid(50, 20, 1, 5);
    EXPECT_EQ(still.GetAnimCel(12345), 0);
}

TEST(Image, CopyHasEmptyPathAndIndependentAnimation)
{
    Image source = MakeGrid(8, 6, 2, 3);
    source.mFilePath = "images/a.png";
    source.mDrawn = true;
    source.mAnimInfo.reset(new AnimInfo());
    source.mAnimInfo->mFrameDelay = 7;
    Image copy(source);
    EXPECT_EQ(copy.mWidth, 8);
    EXPECT_EQ(copy.mHeight, 6);
    EXPECT_EQ(copy.mNumRows, 2);
    EXPECT_EQ(copy.mNumCols, 3);
    EXPECT_TRUE(copy.mFilePath.empty());
    EXPECT_FALSE(copy.mDrawn);
    ASSERT_NE(copy.mAnimInfo, nullptr);
    EXPECT_NE(copy.mAnimInfo.get(), source.mAnimInfo.get());
    source.mAnimInfo->mFrameDelay = 9;
    EXPECT_EQ(copy.mAnimInfo->mFrameDelay, 7);
}

TEST(Image, CopyAttributesTakesGridAndAnimationOnly)
{
    Image source = MakeGrid(8, 6, 2, 3);
    source.mAnimInfo.reset(new AnimInfo());
    source.mAnimInfo->mAnimType = AnimInfo::AnimType_Once;
    Image target = MakeGrid(100, 50, 1, 1);
    target.mFilePath = "keep";
    target.CopyAttributes(&source);
    EXPECT_EQ(target.mNumRows, 2);
    EXPECT_EQ(target.mNumCols, 3);
    EXPECT_EQ(target.mWidth, 100);
    EXPECT_EQ(target.mFilePath, "keep");
    ASSERT_NE(target.mAnimInfo, nullptr);
    EXPECT_EQ(target.mAnimInfo->mAnimType, AnimInfo::AnimType_Once);

    Image plain;
    target.CopyAttributes(&plain);
    EXPECT_EQ(target.mAnimInfo, nullptr);

    source.CopyAttributes(&source); // itself: nothing lost
    ASSERT_NE(source.mAnimInfo, nullptr);
}

TEST(Image, GetGraphicsDrawsOnThisImage)
{
    Image image = MakeGrid(30, 20, 1, 1);
    std::unique_ptr<Graphics> g(image.GetGraphics());
    EXPECT_EQ(g->mDestImage, &image);
}

// ---- AnimInfo --------------------------------------------------------------------------

TEST(AnimInfo, Defaults)
{
    AnimInfo info;
    EXPECT_EQ(info.mAnimType, AnimInfo::AnimType_None);
    EXPECT_EQ(info.mFrameDelay, 1);
    EXPECT_EQ(info.mNumCels, 1);
    EXPECT_TRUE(info.mPerFrameDelay.empty());
    EXPECT_TRUE(info.mFrameMap.empty());
}

TEST(AnimInfo, PingPongMapsOutAndBack)
{
    AnimInfo info;
    info.mAnimType = AnimInfo::AnimType_PingPong;
    info.mFrameDelay = 5;
    info.Compute(4, 0, 0);
    EXPECT_EQ(info.mFrameMap, (std::vector<int32_t>{0, 1, 2, 3, 2, 1}));
    EXPECT_EQ(info.mNumCels, 6);
    EXPECT_EQ(info.mTotalAnimTime, 30);
    EXPECT_EQ(info.GetCel(17), 3);
    EXPECT_EQ(info.GetCel(20), 2);
    EXPECT_EQ(info.GetCel(29), 1);
    EXPECT_EQ(info.GetCel(30), 0);
}

TEST(AnimInfo, BeginAndEndDelays)
{
    AnimInfo info;
    info.mAnimType = AnimInfo::AnimType_Loop;
    info.mFrameDelay = 4;
    info.Compute(3, 10, 20);
    EXPECT_EQ(info.mPerFrameDelay, (std::vector<int32_t>{10, 4, 20}));
    EXPECT_EQ(info.mTotalAnimTime, 34);
    const int times[][2] = {{0, 0}, {9, 0}, {10, 1}, {13, 1}, {14, 2}, {33, 2}, {34, 0}, {44, 1}};
    for (const auto& t : times)
        EXPECT_EQ(info.GetCel(t[0]), t[1]) << "time " << t[0];
    EXPECT_EQ(info.GetPerFrameCel(13), 1);
    EXPECT_EQ(info.GetPerFrameCel(500), 2);
}

TEST(AnimInfo, PlayOnceHoldsLastCel)
{
    AnimInfo info;
    info.mAnimType = AnimInfo::AnimType_Once;
    info.mFrameDelay = 2;
    info.Compute(3);
    EXPECT_EQ(info.GetCel(5), 2);
    EXPECT_EQ(info.GetCel(6), 2);
    EXPECT_EQ(info.GetCel(1000), 2);

    AnimInfo mapped;
    mapped.mAnimType = AnimInfo::AnimType_Once;
    mapped.mFrameMap = {4, 7, 1};
    mapped.Compute(9);
    EXPECT_EQ(mapped.mNumCels, 3);
    EXPECT_EQ(mapped.GetCel(1), 7);
    EXPECT_EQ(mapped.GetCel(99), 1);
}

TEST(AnimInfo, NegativeTimeCountsBackFromTheEnd)
{
    AnimInfo info;
    info.mAnimType = AnimInfo::AnimType_Loop;
    info.mFrameDelay = 5;
    info.Compute(4); // total 20
    EXPECT_EQ(info.GetCel(-1), 3);
    EXPECT_EQ(info.GetCel(-5), 3);
    EXPECT_EQ(info.GetCel(-6), 2);
    EXPECT_EQ(info.GetCel(-20), 0);

    AnimInfo delays;
    delays.Compute(3, 10, 20); // per-frame 10, 1, 20; total 31
    EXPECT_EQ(delays.GetCel(-1), 2);
    EXPECT_EQ(delays.GetCel(-21), 1);
}

TEST(AnimInfo, ComputeRaisesCountsBelowOne)
{
    AnimInfo info;
    info.mFrameDelay = 0;
    info.Compute(0);
    EXPECT_EQ(info.mNumCels, 1);
    EXPECT_EQ(info.mFrameDelay, 1);
    EXPECT_EQ(info.mTotalAnimTime, 1);
    EXPECT_EQ(info.GetCel(5), 0);
}

TEST(AnimInfo, PerFrameDelaysBelowOneUseFrameDelay)
{
    AnimInfo info;
    info.mFrameDelay = 3;
    info.SetPerFrameDelay(2, 8);
    EXPECT_EQ(info.mPerFrameDelay, (std::vector<int32_t>{0, 0, 8}));
    info.Compute(4);
    EXPECT_EQ(info.mPerFrameDelay, (std::vector<int32_t>{3, 3, 8, 3}));
    EXPECT_EQ(info.mTotalAnimTime, 17);
}

TEST(AnimInfo, BadFrameNumbersAreBounded)
{
    AnimInfo info;
    info.SetPerFrameDelay(-1, 5);
    info.SetPerFrameDelay(2000000000, 5);
    EXPECT_TRUE(info.mPerFrameDelay.empty());
    info.mAnimType = AnimInfo::AnimType_PingPong;
    info.Compute(2000000000); // a manifest's cols="2000000000"
    EXPECT_EQ(info.mNumCels, AnimInfo::kMaxFrames);
    EXPECT_LE(info.mFrameMap.size(), static_cast<size_t>(AnimInfo::kMaxFrames));
}

TEST(AnimInfo, HugeDelaysSaturateTotal)
{
    AnimInfo info;
    info.mFrameDelay = 2000000000;
    info.Compute(3);
    EXPECT_EQ(info.mTotalAnimTime, 2147483647);
    EXPECT_EQ(info.GetCel(2000000001), 1);
}

TEST(AnimInfo, UncomputedGivesFirstCel)
{
    AnimInfo info;
    EXPECT_EQ(info.GetCel(42), 0);
}

// ---- 3D interface base and display -----------------------------------------------------

class BareDisplay : public NativeDisplay
{
public:
    using NativeDisplay::NativeDisplay;
    Image* GetScreenImage() override { return nullptr; }
};

class RemovalRecorder : public X3DInterface
{
public:
    using X3DInterface::X3DInterface;
    std::vector<MemoryImage*> mRemoved;
    void RemoveMemoryImage(MemoryImage* image) override { mRemoved.push_back(image); }
};

VaxoMatrix3 Translation(float tx, float ty)
{
    VaxoTransform2D t;
    t.Translate(tx, ty);
    return t;
}

TEST(X3DInterface, TakesDisplayAndItsApplication)
{
    TestApp app;
    BareDisplay display(&app);
    X3DInterface base(&display);
    EXPECT_EQ(base.mDisplay, &display);
    EXPECT_EQ(base.mApp, &app);
    EXPECT_FALSE(base.Init());
    EXPECT_FALSE(base.RecoverBits(nullptr));
}

TEST(X3DInterface, PushConcatenatesSoTheNewTransformAppliesLast)
{
    BareDisplay display(nullptr);
    X3DInterface base(&display);
    VaxoTransform2D scale;
    scale.Scale(2, 2);
    base.PushTransform(Translation(10, 0), true);
    base.PushTransform(scale, true);
    ASSERT_EQ(base.mTransformStack.size(), 2u);
    // Moved by the earlier top first, then scaled: (1, 1) -> (11, 1) -> (22, 2).
    EXPECT_EQ(base.mTransformStack.back() * VaxoVector2(1, 1), VaxoVector2(22, 2));
    base.PushTransform(Translation(5, 5), false);
    EXPECT_EQ(base.mTransformStack.back() * VaxoVector2(0, 0), VaxoVector2(5, 5));
    base.PopTransform();
    base.PopTransform();
    base.PopTransform();
    EXPECT_TRUE(base.mTransformStack.empty());
    base.PopTransform(); // empty: nothing happens
    EXPECT_TRUE(base.mTransformStack.empty());
}

TEST(NativeDisplay, StartsZeroedAndForwardsRemovalToRenderer)
{
    TestApp app;
    BareDisplay display(&app);
    EXPECT_EQ(display.mApp, &app);
    EXPECT_FALSE(display.mIs3D);
    EXPECT_EQ(display.mBitsPerPixel, 0);
    EXPECT_EQ(display.mRefreshRate, 0u);
    EXPECT_FALSE(display.Is3DSupported());
    MemoryImage* token = reinterpret_cast<MemoryImage*>(&display); // only compared, never used
    display.Remove3DData(token);                                   // no renderer: nothing happens

    auto* renderer = new RemovalRecorder(&display);
    display.m3DInterface.reset(renderer);
    app.mDisplay = &display;
    app.Remove3DData(token);
    app.RemoveMemoryImage(token);
    EXPECT_EQ(renderer->mRemoved, (std::vector<MemoryImage*>{token, token}));
    display.mIs3D = true;
    EXPECT_TRUE(app.Is3DAccelerated());
}

// ---- Application interface and its stand-in --------------------------------------------

TEST(GraphicsApp, ConstructionBindsGlobalAndDestructionClearsIt)
{
    EXPECT_EQ(gGraphicsApp, nullptr);
    {
        TestApp app;
        EXPECT_EQ(gGraphicsApp, &app);
        EXPECT_EQ(app.mWidth, 640);
        EXPECT_EQ(app.mHeight, 480);
        EXPECT_TRUE(app.mIsWindowed);
        EXPECT_FALSE(app.Is3DAccelerated());
    }
    EXPECT_EQ(gGraphicsApp, nullptr);
}

TEST(GraphicsApp, AddTableSaturatesAt255)
{
    TestApp app;
    for (int i = 0; i < 512; i++)
        EXPECT_EQ(app.mAdd8BitMaxTable[i], i < 256 ? i : 255) << i;
}

TEST(GraphicsApp, ImageMutexCanBeRetakenByItsHolder)
{
    TestApp app;
    {
        ImageMutexLock outer(&app);
        ImageMutexLock inner(&app); // as RemoveMemoryImage does around the renderer
        ImageMutexLock none(nullptr);
    }
    // Both levels were released: another thread gets the mutex.
    bool taken = false;
    std::thread other(
        [&]
        {
            ImageMutexLock lock(&app);
            taken = true;
        });
    other.join();
    EXPECT_TRUE(taken);
}

TEST(TestApp, RecordsPopupsInOrder)
{
    TestApp app;
    app.Popup("first", false);
    app.Popup("second", true);
    ASSERT_EQ(app.mPopups.size(), 2u);
    EXPECT_EQ(app.mPopups[0], std::make_pair(std::string("first"), false));
    EXPECT_EQ(app.mPopups[1], std::make_pair(std::string("second"), true));
}

} // namespace
