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

TEST_F(SharedImageRefTest, DefaultIsEmpty)
{
    SharedImageRef ref;
    EXPECT_EQ(ref.mSharedImage, nullptr);
    EXPECT_EQ(ref.mUnsharedImage, nullptr);
    EXPECT_FALSE(ref.mOwnsUnshared);
    EXPECT_EQ(static_cast<Image*>(ref), nullptr);
    EXPECT_EQ(static_cast<MemoryImage*>(ref), nullptr);
    EXPECT_FALSE(ref);
}

TEST_F(SharedImageRefTest, ConstructionCopyAndDestructionCountTheEntry)
{
    SharedImage entry;
    {
        SharedImageRef a(&entry);
        EXPECT_EQ(entry.mRefCount, 1);
        {
            SharedImageRef b(a);
            EXPECT_EQ(entry.mRefCount, 2);
        }
        EXPECT_EQ(entry.mRefCount, 1);
        EXPECT_FALSE(mApp.mSharedImagesDirty);
    }
    EXPECT_EQ(entry.mRefCount, 0);
    EXPECT_TRUE(mApp.mSharedImagesDirty);
}

TEST_F(SharedImageRefTest, ReleaseNeverDeletesASharedImage)
{
    SharedImage entry;
    entry.mImage = new CountedImage(&mDeaths);
    {
        SharedImageRef ref(&entry);
        EXPECT_EQ(ref.operator->(), entry.mImage);
        EXPECT_EQ(static_cast<Image*>(ref), static_cast<Image*>(entry.mImage));
    }
    EXPECT_EQ(mDeaths, 0);
    delete entry.mImage;
}

TEST_F(SharedImageRefTest, CopyAssignmentTakesOnlyTheSharedEntry)
{
    SharedImage entry;
    SharedImageRef shared(&entry);
    CountedImage image(&mDeaths);
    SharedImageRef unshared;
    unshared = &image;

    SharedImageRef target;
    target = unshared;
    EXPECT_EQ(target.mUnsharedImage, nullptr);
    EXPECT_EQ(target.mSharedImage, nullptr);

    target = shared;
    EXPECT_EQ(target.mSharedImage, &entry);
    EXPECT_EQ(entry.mRefCount, 2);
}

TEST_F(SharedImageRefTest, CopyConstructionSharesUnsharedImageWithoutOwning)
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
    SharedImageRef ref;
    ref.mOwnsUnshared = true; // set before: no image yet, so nothing is deleted
    SharedImageRef copy;
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
    SharedImageRef ref;
    ref = new CountedImage(&mDeaths);
    ref.mOwnsUnshared = true;
    ref = &borrowed; // deletes the owned image
    EXPECT_EQ(mDeaths, 1);
    EXPECT_FALSE(ref.mOwnsUnshared);
    ref.Release(); // must not delete the borrowed one
    EXPECT_EQ(mDeaths, 1);
    EXPECT_EQ(ref.mUnsharedImage, nullptr);
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

TEST_F(SharedImageRefTest, AssigningAnEntryReleasesTheUnsharedImage)
{
    SharedImage entry;
    SharedImageRef ref;
    ref = new CountedImage(&mDeaths);
    ref.mOwnsUnshared = true;
    ref = &entry;
    EXPECT_EQ(mDeaths, 1);
    EXPECT_EQ(ref.mUnsharedImage, nullptr);
    EXPECT_EQ(entry.mRefCount, 1);
}

TEST_F(SharedImageRefTest, ReleaseWithoutApplicationStillCounts)
{
    SharedImage entry;
    SharedImageRef ref(&entry);
    TestApp* saved = static_cast<TestApp*>(gGraphicsApp);
    gGraphicsApp = nullptr;
    ref.Release();
    gGraphicsApp = saved;
    EXPECT_EQ(entry.mRefCount, 0);
}

// ---- The stand-in's cache --------------------------------------------------------------

class SharedImageCacheTest : public ::testing::Test
{
protected:
    TestApp mApp;
    std::shared_ptr<MemoryImage> mPicture = std::make_shared<MemoryImage>();
};

TEST_F(SharedImageCacheTest, NamesDifferingInCaseShareOneEntryLoadedOnce)
{
    mApp.ServeImage("fonts/Tahoma.png", mPicture);
    bool isNew = false;
    SharedImageRef a = mApp.GetSharedImage("fonts/tahoma.png", "", &isNew);
    EXPECT_TRUE(isNew);
    SharedImageRef b = mApp.GetSharedImage("FONTS/TAHOMA.PNG", "", &isNew);
    EXPECT_FALSE(isNew);
    EXPECT_EQ(a.mSharedImage, b.mSharedImage);
    EXPECT_EQ(a.mSharedImage->mRefCount, 2);
    EXPECT_EQ(static_cast<MemoryImage*>(a), mPicture.get());
    EXPECT_EQ(mApp.mLoadCount["FONTS/TAHOMA.PNG"], 1);
}

TEST_F(SharedImageCacheTest, VariantsAreSeparateEntries)
{
    mApp.ServeImage("a", mPicture);
    SharedImageRef a = mApp.GetSharedImage("a", "x", nullptr);
    SharedImageRef b = mApp.GetSharedImage("a", "y", nullptr);
    EXPECT_NE(a.mSharedImage, b.mSharedImage);
    EXPECT_EQ(mApp.mLoadCount["A"], 2);
}

TEST_F(SharedImageCacheTest, UnknownNameGivesEntryWithoutImage)
{
    SharedImageRef a = mApp.GetSharedImage("missing", "", nullptr);
    ASSERT_NE(a.mSharedImage, nullptr);
    EXPECT_EQ(static_cast<Image*>(a), nullptr);
    EXPECT_FALSE(a);
}

TEST_F(SharedImageCacheTest, EntrySurvivesUntilCleanUp)
{
    mApp.ServeImage("a", mPicture);
    SharedImage* first;
    {
        SharedImageRef a = mApp.GetSharedImage("a", "", nullptr);
        first = a.mSharedImage;
    }
    EXPECT_TRUE(mApp.mSharedImagesDirty);
    bool isNew = true;
    {
        SharedImageRef again = mApp.GetSharedImage("a", "", &isNew);
        EXPECT_FALSE(isNew);
        EXPECT_EQ(again.mSharedImage, first);
        mApp.CleanSharedImages(); // in use: kept
        EXPECT_EQ(mApp.mSharedImageMap.size(), 1u);
    }
    mApp.mSharedImagesDirty = true;
    mApp.CleanSharedImages();
    EXPECT_TRUE(mApp.mSharedImageMap.empty());
    EXPECT_FALSE(mApp.mSharedImagesDirty);
    SharedImageRef fresh = mApp.GetSharedImage("a", "", &isNew);
    EXPECT_TRUE(isNew);
    EXPECT_EQ(mApp.mLoadCount["A"], 2);
}

TEST_F(SharedImageCacheTest, MemoryImagesRegisterWithTheApplication)
{
    MemoryImage* raw;
    {
        MemoryImage image;
        raw = &image;
        EXPECT_EQ(mApp.mMemoryImageSet.count(raw), 1u);
    }
    EXPECT_EQ(mApp.mMemoryImageSet.count(raw), 0u);
}

} // namespace

namespace
{

TEST(TestAppCopyImage, CopiesPixelsAndGridOfAMemoryImage)
{
    TestApp app;
    MemoryImage source;
    source.Create(3, 2);
    uint32_t* bits = source.GetBits();
    for (int i = 0; i < 6; i++)
        bits[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x111111);
    source.BitsChanged();
    source.mNumCols = 3;
    std::unique_ptr<MemoryImage> copy(app.CopyImage(&source));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), &source);
    EXPECT_EQ(copy->GetWidth(), 3);
    EXPECT_EQ(copy->GetHeight(), 2);
    EXPECT_EQ(copy->mNumCols, 3);
    uint32_t* copied = copy->GetBits();
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(copied[i], bits[i]) << i;
    EXPECT_EQ(app.mCopyImageCalls, (std::vector<Image*>{&source}));
}

} // namespace
