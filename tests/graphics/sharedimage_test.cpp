// SharedImageRef ownership and counting, and the stand-in's shared-image cache.
#include "graphics/MemoryImage.h"
#include "graphics/SharedImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Vaxo;

namespace
{

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

TEST_F(SharedImageRefTest, ConstructionCopyAndDestructionCountTheEntryButNeverDeleteItsImage)
{
    SharedImage entry;
    entry.mImage = new CountedImage(&mDeaths);
    {
        SharedImageRef a(&entry);
        EXPECT_EQ(entry.mRefCount, 1);
        EXPECT_EQ(static_cast<Image*>(a), static_cast<Image*>(entry.mImage));
        {
            SharedImageRef b(a);
            EXPECT_EQ(entry.mRefCount, 2);
        }
        EXPECT_EQ(entry.mRefCount, 1);
        EXPECT_FALSE(mApp.mSharedImagesDirty);
    }
    EXPECT_EQ(entry.mRefCount, 0);
    EXPECT_TRUE(mApp.mSharedImagesDirty);
    EXPECT_EQ(mDeaths, 0);
    delete entry.mImage;
}

TEST_F(SharedImageRefTest, CopyAssignmentTakesOnlyTheSharedEntry)
{
    SharedImage entry;
    SharedImageRef shared(&entry);
    CountedImage image(&mDeaths);
    SharedImageRef unshared, target;
    unshared = &image;
    target = unshared;
    EXPECT_EQ(target.mUnsharedImage, nullptr);
    EXPECT_EQ(target.mSharedImage, nullptr);
    target = shared;
    EXPECT_EQ(target.mSharedImage, &entry);
    EXPECT_EQ(entry.mRefCount, 2);
}

TEST_F(SharedImageRefTest, CopyConstructionSharesTheUnsharedImageWithoutOwningIt)
{
    auto* image = new CountedImage(&mDeaths);
    SharedImageRef owner;
    owner = image;
    owner.mOwnsUnshared = true;
    {
        SharedImageRef copy(owner);
        EXPECT_EQ(copy.mUnsharedImage, image);
        EXPECT_FALSE(copy.mOwnsUnshared);
    }
    EXPECT_EQ(mDeaths, 0);
    owner.Release();
    EXPECT_EQ(mDeaths, 1);
}

TEST_F(SharedImageRefTest, UnsharedImageWinsOverSharedEntry)
{
    SharedImage entry;
    CountedImage sharedImage(&mDeaths), ownImage(&mDeaths);
    entry.mImage = &sharedImage;
    SharedImageRef ref(&entry);
    ref.mUnsharedImage = &ownImage;
    EXPECT_EQ(static_cast<MemoryImage*>(ref), &ownImage);
    ref.mUnsharedImage = nullptr;
    EXPECT_EQ(static_cast<MemoryImage*>(ref), &sharedImage);
}

TEST_F(SharedImageRefTest, AssigningAnImageKeepsTheOwnershipFlag)
{
    CountedImage image(&mDeaths);
    SharedImageRef ref, copy;
    ref.mOwnsUnshared = true; // set before: no image yet, so nothing is deleted
    copy = &image;
    EXPECT_FALSE(copy.mOwnsUnshared);
    auto* owned = new CountedImage(&mDeaths);
    ref = owned;
    EXPECT_TRUE(ref.mOwnsUnshared);
    EXPECT_EQ(ref.mUnsharedImage, owned);
    ref.Release();
    EXPECT_EQ(mDeaths, 1);
}

// Release used to leave the flag set, so the next borrowed image was deleted too.
TEST_F(SharedImageRefTest, ReleaseClearsOwnershipOnceItDeleted)
{
    CountedImage borrowed(&mDeaths);
    SharedImage entry;
    SharedImageRef ref;
    ref = new CountedImage(&mDeaths);
    ref.mOwnsUnshared = true;
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
    SharedImageRef other(&entry);
    ref = other;
    EXPECT_EQ(entry.mRefCount, 2);
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

TEST_F(SharedImageRefTest, ReleaseWithoutApplicationStillCounts)
{
    SharedImage entry;
    SharedImageRef ref(&entry);
    GraphicsApp* saved = gGraphicsApp;
    gGraphicsApp = nullptr;
    ref.Release();
    gGraphicsApp = saved;
    EXPECT_EQ(entry.mRefCount, 0);
}

// ---- The stand-in's cache --------------------------------------------------------------

TEST(SharedImageCache, NamesDifferingInCaseShareOneEntryVariantsDoNot)
{
    TestApp app;
    auto picture = std::make_shared<MemoryImage>();
    app.ServeImage("fonts/Tahoma.png", picture);
    bool isNew = false;
    SharedImageRef a = app.GetSharedImage("fonts/tahoma.png", "", &isNew);
    EXPECT_TRUE(isNew);
    SharedImageRef b = app.GetSharedImage("FONTS/TAHOMA.PNG", "", &isNew);
    EXPECT_FALSE(isNew);
    EXPECT_EQ(a.mSharedImage, b.mSharedImage);
    EXPECT_EQ(a.mSharedImage->mRefCount, 2);
    EXPECT_EQ(static_cast<MemoryImage*>(a), picture.get());
    SharedImageRef variant = app.GetSharedImage("fonts/tahoma.png", "x", nullptr);
    EXPECT_NE(variant.mSharedImage, a.mSharedImage);
    EXPECT_EQ(app.mLoadCount["FONTS/TAHOMA.PNG"], 2);
    // An unknown name gives an entry without an image.
    SharedImageRef missing = app.GetSharedImage("missing", "", nullptr);
    ASSERT_NE(missing.mSharedImage, nullptr);
    EXPECT_FALSE(missing);
}

} // namespace
