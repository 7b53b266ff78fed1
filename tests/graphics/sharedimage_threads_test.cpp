// Shared-image counts while references are copied on several threads at once (the
// loading thread takes references while the main thread draws and drops them).
#include "graphics/SharedImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(SharedImageRefThreads, ConcurrentCopiesAndReleasesKeepTheCountExact)
{
    TestApp app;
    SharedImage entry;
    SharedImageRef root(&entry);
    const int kThreads = 4;
    const int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
    {
        threads.emplace_back(
            [&root]
            {
                std::vector<SharedImageRef> held;
                for (int i = 0; i < kRounds; i++)
                {
                    held.push_back(root);
                    if (held.size() > 8)
                        held.erase(held.begin());
                }
            });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(entry.mRefCount, 1);
    EXPECT_FALSE(app.mSharedImagesDirty);
}

// The last reference goes on one thread while the registry cleans up on another: once
// the count reached 0 the entry may be deleted at any moment, so the release must not
// look at it afterwards (the thread sanitizer sees such a read race the deletion).
TEST(SharedImageRefThreads, ALastReleaseRacingTheCleanUpLeavesTheEntryAlone)
{
    TestApp app;
    std::atomic<bool> stop{false};
    std::atomic<int32_t> cleanups{0};
    std::thread cleaner(
        [&]
        {
            while (!stop)
            {
                app.CleanSharedImages();
                cleanups++;
            }
        });
    const int kRounds = 5000;
    for (int i = 0; i < kRounds; i++)
    {
        SharedImageRef ref = app.GetSharedImage("a.png", i % 2 == 0 ? "" : "big", nullptr);
        SharedImageRef copy(ref);
        ref.Release();
        EXPECT_EQ(copy.mSharedImage->mRefCount, 1);
    }
    while (cleanups < 2)
        std::this_thread::yield();
    stop = true;
    cleaner.join();
    ImageMutexLock lock(&app);
    for (auto& entry : app.mSharedImageMap)
        EXPECT_EQ(entry.second.mRefCount, 0);
}
} // namespace
