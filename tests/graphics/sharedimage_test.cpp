// SharedImageRef ownership and counting.
#include "graphics/MemoryImage.h"
#include "graphics/SharedImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

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

} // namespace
