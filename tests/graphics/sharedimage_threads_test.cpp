// Shared-image counts while references are copied on several threads at once (the
// loading thread takes references while the main thread draws and drops them).
#include "graphics/SharedImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

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
} // namespace
