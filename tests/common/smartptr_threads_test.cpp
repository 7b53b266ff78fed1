#include "common/SmartPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using Vaxo::RefCount;
using Vaxo::SmartPtr;

namespace
{

class Counted : public RefCount
{
public:
    explicit Counted(std::atomic<int>* deletions) : mDeletions(deletions) {}
    ~Counted() override { mDeletions->fetch_add(1); }

    std::atomic<int>* mDeletions;
};

// The main thread and the loading thread copy and drop the same shared
// objects; no count change may be lost.
TEST(SmartPtrThreads, MillionCopiesFromTwoThreadsDeleteExactlyOnce)
{
    std::atomic<int> deletions{0};
    {
        SmartPtr<Counted> shared(new Counted(&deletions));
        auto work = [&shared]
        {
            for (int i = 0; i < 1000000; i++)
            {
                SmartPtr<Counted> copy(shared);
                SmartPtr<Counted> other;
                other = copy;
            }
        };
        std::thread a(work), b(work);
        a.join();
        b.join();
        EXPECT_EQ(shared->GetRefCount(), 1);
        EXPECT_EQ(deletions.load(), 0);
    }
    EXPECT_EQ(deletions.load(), 1);
}

TEST(SmartPtrThreads, RacingLastReleasesDeleteExactlyOnce)
{
    std::atomic<int> deletions{0};
    const int rounds = 300;
    for (int round = 0; round < rounds; round++)
    {
        SmartPtr<Counted>* first = new SmartPtr<Counted>(new Counted(&deletions));
        SmartPtr<Counted>* second = new SmartPtr<Counted>(*first);
        std::atomic<bool> go{false};
        auto drop = [&go](SmartPtr<Counted>* p)
        {
            while (!go.load())
            {
            }
            delete p;
        };
        std::thread a(drop, first), b(drop, second);
        go.store(true);
        a.join();
        b.join();
    }
    EXPECT_EQ(deletions.load(), rounds);
}

} // namespace
