// Image base, AnimInfo, the 3D interface base and shared-image references.
#include "graphics/Image.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "graphics/SharedImage.h"
#include "graphics/X3DInterface.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

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

TEST(Image, CelRectsWalkRowsLeftToRightAndAnimationsStepAlongTheStrip)
{
    Image image = MakeGrid(40, 30, 3, 4); // cels of 10 x 10
    EXPECT_EQ(image.GetNumCels(), 3);
    EXPECT_EQ(MakeGrid(40, 30, 1, 4).GetNumCels(), 4);
    EXPECT_EQ(image.GetCelRect(5), TRect<int>(10, 10, 10, 10));
    EXPECT_EQ(image.GetCelRect(11), TRect<int>(30, 20, 10, 10));
    EXPECT_EQ(image.GetCelRect(2, 1), TRect<int>(20, 10, 10, 10));
    // A manifest may say cols="0" or rows="-2": such counts act as 1 instead of dividing by zero.
    EXPECT_EQ(MakeGrid(40, 30, 1, 0).GetCelRect(2), TRect<int>(0, 60, 40, 30));
    EXPECT_EQ(MakeGrid(40, 30, -2, 4).GetCelRect(1), TRect<int>(10, 0, 10, 30));
    EXPECT_EQ(MakeGrid(40, 30, 0, 0).GetAnimCelRect(0), TRect<int>(0, 0, 40, 30));
    Image vertical = MakeGrid(20, 50, 5, 1), horizontal = MakeGrid(50, 20, 1, 5);
    for (Image* strip : {&vertical, &horizontal})
    {
        strip->mAnimInfo.reset(new AnimInfo());
        strip->mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
        strip->mAnimInfo->Compute(5);
    }
    EXPECT_EQ(vertical.GetAnimCelRect(3), TRect<int>(0, 30, 20, 10));
    EXPECT_EQ(horizontal.GetAnimCelRect(7), TRect<int>(20, 0, 10, 20));
    EXPECT_EQ(MakeGrid(50, 20, 1, 5).GetAnimCel(12345), 0);
}

TEST(Image, CopiesAndCopyAttributesTakeGridAndAnimationButNotPathOrDrawnFlag)
{
    Image source = MakeGrid(8, 6, 2, 3);
    source.mFilePath = "images/a.png";
    source.mDrawn = true;
    source.mAnimInfo.reset(new AnimInfo());
    source.mAnimInfo->mAnimType = AnimInfo::AnimType_Once;
    Image copy(source);
    EXPECT_EQ(copy.GetCelRect(4), source.GetCelRect(4));
    EXPECT_TRUE(copy.mFilePath.empty());
    EXPECT_FALSE(copy.mDrawn);
    ASSERT_NE(copy.mAnimInfo, nullptr);
    source.mAnimInfo->mAnimType = AnimInfo::AnimType_Loop;
    EXPECT_EQ(copy.mAnimInfo->mAnimType, AnimInfo::AnimType_Once); // its own animation
    Image target = MakeGrid(100, 50, 1, 1);
    target.mFilePath = "keep";
    target.CopyAttributes(&source);
    EXPECT_EQ(std::make_pair(target.mNumRows, target.mNumCols), std::make_pair(2, 3));
    EXPECT_EQ(target.mWidth, 100);
    EXPECT_EQ(target.mFilePath, "keep");
    ASSERT_NE(target.mAnimInfo, nullptr);
    EXPECT_EQ(target.mAnimInfo->mAnimType, AnimInfo::AnimType_Loop);
    Image plain;
    target.CopyAttributes(&plain);
    EXPECT_EQ(target.mAnimInfo, nullptr);
    source.CopyAttributes(&source); // itself: nothing lost
    ASSERT_NE(source.mAnimInfo, nullptr);
}

// ---- AnimInfo --------------------------------------------------------------------------

TEST(AnimInfo, CelAtEachTime)
{
    typedef AnimInfo A;
    const struct
    {
        const char* name;
        int type;
        int frameDelay, cels, begin, end, total;
        std::vector<std::pair<int, int>> timeToCel;
    } cases[] = {
        {"ping-pong", A::AnimType_PingPong, 5, 4, 0, 0, 30, {{17, 3}, {20, 2}, {29, 1}, {30, 0}}},
        {"delays", A::AnimType_Loop, 4, 3, 10, 20, 34, {{0, 0}, {9, 0}, {10, 1}, {14, 2}, {33, 2}, {44, 1}}},
        {"once holds the last cel", A::AnimType_Once, 2, 3, 0, 0, 6, {{5, 2}, {6, 2}, {1000, 2}}},
        // Negative times count back from the end instead of indexing before the frames.
        {"negative time", A::AnimType_Loop, 5, 4, 0, 0, 20, {{-1, 3}, {-5, 3}, {-6, 2}, {-20, 0}}},
        {"negative time with delays", A::AnimType_None, 1, 3, 10, 20, 31, {{-1, 2}, {-21, 1}}},
        {"counts below one act as one", A::AnimType_None, 0, 0, 0, 0, 1, {{5, 0}}},
        {"huge delays saturate", A::AnimType_None, 2000000000, 3, 0, 0, 2147483647, {{2000000001, 1}}},
    };
    for (const auto& c : cases)
    {
        AnimInfo info;
        EXPECT_EQ(info.GetCel(42), 0) << "uncomputed";
        info.mAnimType = c.type;
        info.mFrameDelay = c.frameDelay;
        info.Compute(c.cels, c.begin, c.end);
        EXPECT_EQ(info.mTotalAnimTime, c.total) << c.name;
        for (const auto& t : c.timeToCel)
            EXPECT_EQ(info.GetCel(t.first), t.second) << c.name << " at " << t.first;
    }
}

TEST(AnimInfo, FrameMapsAndPerFrameDelays)
{
    AnimInfo pingPong;
    pingPong.mAnimType = AnimInfo::AnimType_PingPong;
    pingPong.Compute(4);
    EXPECT_EQ(pingPong.mFrameMap, (std::vector<int32_t>{0, 1, 2, 3, 2, 1}));
    EXPECT_EQ(pingPong.mNumCels, 6);
    AnimInfo mapped;
    mapped.mAnimType = AnimInfo::AnimType_Once;
    mapped.mFrameMap = {4, 7, 1};
    mapped.Compute(9);
    EXPECT_EQ(mapped.mNumCels, 3);
    EXPECT_EQ(mapped.GetCel(1), 7);
    EXPECT_EQ(mapped.GetCel(99), 1);
    // Delays below one take the frame delay.
    AnimInfo delays;
    delays.mFrameDelay = 3;
    delays.SetPerFrameDelay(2, 8);
    delays.Compute(4);
    EXPECT_EQ(delays.mPerFrameDelay, (std::vector<int32_t>{3, 3, 8, 3}));
    EXPECT_EQ(delays.mTotalAnimTime, 17);
    EXPECT_EQ(delays.GetPerFrameCel(7), 2);
    EXPECT_EQ(delays.GetPerFrameCel(500), 3);
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

// ---- 3D interface base and display -----------------------------------------------------

class BareDisplay : public NativeDisplay
{
public:
    using NativeDisplay::NativeDisplay;
    Image* GetScreenImage() override { return nullptr; }
};

TEST(X3DInterface, PushConcatenatesSoTheNewTransformAppliesLast)
{
    BareDisplay display(nullptr);
    X3DInterface base(&display);
    VaxoTransform2D move, scale, other;
    move.Translate(10, 0);
    scale.Scale(2, 2);
    other.Translate(5, 5);
    base.PushTransform(move, true);
    base.PushTransform(scale, true);
    // Moved by the earlier top first, then scaled: (1, 1) -> (11, 1) -> (22, 2).
    EXPECT_EQ(base.mTransformStack.back() * VaxoVector2(1, 1), VaxoVector2(22, 2));
    base.PushTransform(other, false);
    EXPECT_EQ(base.mTransformStack.back() * VaxoVector2(0, 0), VaxoVector2(5, 5));
    for (int i = 0; i < 4; i++) // one more than pushed: nothing happens
        base.PopTransform();
    EXPECT_TRUE(base.mTransformStack.empty());
}

// ---- SharedImageRef ------------------------------------------------------------------

// Counts its destructions so tests can tell deleted from kept.
class CountedImage : public MemoryImage
{
public:
    explicit CountedImage(int* deaths) : mDeaths(deaths) {}
    ~CountedImage() override { ++*mDeaths; }

private:
    int* mDeaths;
};

class SharedImageRefTest : public ::testing::Test
{
protected:
    TestApp mApp;
    int mDeaths = 0;
};

// Release used to leave the ownership flag set, so the next borrowed image was deleted too.
TEST_F(SharedImageRefTest, ReleaseClearsOwnershipOnceItDeleted)
{
    CountedImage borrowed(&mDeaths);
    SharedImage entry;
    SharedImageRef ref;
    ref.mOwnsUnshared = true; // set before an image: assigning one keeps the flag
    ref = new CountedImage(&mDeaths);
    EXPECT_TRUE(ref.mOwnsUnshared);
    ref = &borrowed; // deletes the owned image
    EXPECT_EQ(mDeaths, 1);
    EXPECT_FALSE(ref.mOwnsUnshared);
    ref.Release(); // must not delete the borrowed one
    EXPECT_EQ(mDeaths, 1);
    EXPECT_EQ(ref.mUnsharedImage, nullptr);
    // Taking an entry releases an owned unshared image too.
    ref = new CountedImage(&mDeaths);
    ref.mOwnsUnshared = true;
    ref = &entry;
    EXPECT_EQ(mDeaths, 2);
    EXPECT_EQ(ref.mUnsharedImage, nullptr);
    EXPECT_EQ(entry.mRefCount, 1);
}

// Assigning what is already held used to release it first: an owned image was deleted
// and then kept as a dangling pointer, a shared entry's count dipped to 0.
TEST_F(SharedImageRefTest, SelfAssignmentChangesNothing)
{
    SharedImage entry;
    SharedImageRef ref(&entry);
    SharedImageRef& alias = ref;
    ref = alias;
    EXPECT_EQ(ref.mSharedImage, &entry);
    EXPECT_EQ(entry.mRefCount, 1);
    ref = &entry;
    EXPECT_EQ(entry.mRefCount, 1);
    EXPECT_FALSE(mApp.mSharedImagesDirty);
    auto* owned = new CountedImage(&mDeaths);
    SharedImageRef owner;
    owner = owned;
    owner.mOwnsUnshared = true;
    owner = owned;
    EXPECT_EQ(mDeaths, 0);
    EXPECT_EQ(owner.mUnsharedImage, owned);
    EXPECT_TRUE(owner.mOwnsUnshared);
    owner = static_cast<MemoryImage*>(nullptr);
    EXPECT_EQ(mDeaths, 1);
}

// Assignment used to take only the shared entry: a reference to an unshared image (an
// empty image resource) came out empty, while a copy made by construction kept it.
TEST_F(SharedImageRefTest, AssignmentCopiesTheUnsharedImageWithoutOwningIt)
{
    auto* owned = new CountedImage(&mDeaths);
    SharedImageRef owner;
    owner = owned;
    owner.mOwnsUnshared = true;

    SharedImageRef copy;
    copy = owner;
    EXPECT_EQ(copy.GetMemoryImage(), owned);
    EXPECT_FALSE(copy.mOwnsUnshared);
    EXPECT_EQ(SharedImageRef(owner).GetMemoryImage(), copy.GetMemoryImage());
    copy.Release();
    EXPECT_EQ(mDeaths, 0);

    // Back onto the owner, which holds that very image: it stays, owned, and undeleted.
    copy = owner;
    owner = copy;
    EXPECT_EQ(mDeaths, 0);
    EXPECT_EQ(owner.mUnsharedImage, owned);
    EXPECT_TRUE(owner.mOwnsUnshared);

    // A borrowing reference given an entry and an image takes both.
    SharedImage entry;
    SharedImageRef both(&entry);
    both.mUnsharedImage = owned;
    SharedImageRef other;
    other = both;
    EXPECT_EQ(other.mSharedImage, &entry);
    EXPECT_EQ(other.mUnsharedImage, owned);
    EXPECT_EQ(entry.mRefCount, 2);
    both.mUnsharedImage = nullptr;
    other.Release();
    both.Release();
    EXPECT_EQ(mDeaths, 0);
    owner.Release();
    EXPECT_EQ(mDeaths, 1);
}

} // namespace
