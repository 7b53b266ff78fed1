// The common helpers used from two threads at once (also run under ThreadSanitizer): the
// interlocked counter, shared-object reference counts, and the settings store.
#include "common/Clock.h"
#include "common/Common.h"
#include "common/Registry.h"
#include "common/SmartPtr.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(InterlockedCounterThreads, TwoThreadsLoseNoUpdateAndTheLockIsRecursive)
{
    int32_t count = 0;
    auto work = [&count]
    {
        for (int i = 0; i < 200000; ++i)
        {
            InterlockedIncrement(&count);
            InterlockedIncrement(&count);
            InterlockedDecrement(&count);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    InterlockedLock lock;
    EXPECT_EQ(count, 400000);
    // Each answers the new value, and takes the lock again on this thread.
    EXPECT_EQ(InterlockedIncrement(&count), 400001);
    std::atomic<int32_t> atomicCount{5};
    EXPECT_EQ(InterlockedIncrement(&atomicCount), 6);
    EXPECT_EQ(InterlockedDecrement(&atomicCount), 5);
}

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

class RegistryThreadsTest : public ::testing::Test
{
protected:
    RegistryThreadsTest() { RegistryResetForTest(); }
    ~RegistryThreadsTest() override { RegistryResetForTest(); }
    TestFolder mDir;
    const std::string mPath = mDir / "registry.bin";
};

bool ReadNumber(const std::string& key, const std::string& name, uint32_t* value)
{
    uint32_t length = 4;
    return VaxoRegistryRead(key, name, nullptr, reinterpret_cast<unsigned char*>(value), &length);
}

} // namespace

TEST_F(RegistryThreadsTest, TwoThreadsReadAndWriteAtOnce)
{
    RegistryFileOpen(mPath);
    const int kRounds = 2000;
    // Each thread writes its own key and reads the other's; both also write
    // one shared value and erase and recreate keys, so the tree changes under
    // the other thread's lookups.
    auto work = [&](int self)
    {
        std::string mine = "Thread" + std::to_string(self);
        std::string other = "Thread" + std::to_string(1 - self);
        uint32_t lastSeen = 0;
        for (uint32_t i = 1; i <= static_cast<uint32_t>(kRounds); ++i)
        {
            VaxoRegistryWrite(mine, "Counter", REG_DWORD, reinterpret_cast<const unsigned char*>(&i), 4);
            VaxoRegistryWrite("Shared", "Last", REG_DWORD, reinterpret_cast<const unsigned char*>(&i), 4);
            uint32_t seen = 0;
            if (ReadNumber(other, "Counter", &seen))
            {
                // The other thread's counter only grows.
                EXPECT_GE(seen, lastSeen);
                lastSeen = seen;
            }
            std::vector<std::string> names;
            VaxoRegistryGetSubKeys(mine, &names);
            VaxoRegistryWrite(mine + "\\Temp", "t", REG_DWORD, reinterpret_cast<const unsigned char*>(&i), 4);
            VaxoRegistryEraseKey(mine + "\\Temp");
            if (i % 500 == 0)
                RegistryFileClose();
        }
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    uint32_t n0 = 0, n1 = 0;
    EXPECT_TRUE(ReadNumber("Thread0", "Counter", &n0));
    EXPECT_TRUE(ReadNumber("Thread1", "Counter", &n1));
    EXPECT_EQ(n0, static_cast<uint32_t>(kRounds));
    EXPECT_EQ(n1, static_cast<uint32_t>(kRounds));
    // The last save holds a whole, readable tree.
    RegistryFileClose();
    RegistryResetForTest();
    RegistryFileOpen(mPath);
    EXPECT_TRUE(ReadNumber("Thread0", "Counter", &n0));
    EXPECT_EQ(n0, static_cast<uint32_t>(kRounds));
    std::vector<std::string> names;
    EXPECT_TRUE(VaxoRegistryGetSubKeys("Thread1", &names));
    EXPECT_TRUE(names.empty());
}

TEST_F(RegistryThreadsTest, ConcurrentOpensLoadTheFileOnce)
{
    // A file that takes milliseconds to load, its checked value read last, and a second
    // opener a moment behind the first: one that did not wait for the first load would
    // look into a tree still being filled.
    RegistryFileOpen(mPath);
    for (uint32_t i = 0; i < 5000; ++i)
        VaxoRegistryWrite("Big\\K" + std::to_string(i), "v", REG_DWORD,
                          reinterpret_cast<const unsigned char*>(&i), 4);
    uint32_t five = 5;
    VaxoRegistryWrite("Z", "x", REG_DWORD, reinterpret_cast<const unsigned char*>(&five), 4);
    RegistryFileClose();
    for (int round = 0; round < 4; ++round)
    {
        RegistryResetForTest();
        std::atomic<int> found{0};
        auto open = [&](int delayMs)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            RegistryFileOpen(mPath);
            uint32_t x = 0;
            if (ReadNumber("Z", "x", &x) && x == 5)
                found.fetch_add(1);
        };
        std::thread a(open, 0), b(open, 1);
        a.join();
        b.join();
        EXPECT_EQ(found.load(), 2) << "round " << round;
        std::vector<std::string> names;
        EXPECT_TRUE(VaxoRegistryGetSubKeys("Big", &names));
        EXPECT_EQ(names.size(), 5000u) << "round " << round;
    }
}
