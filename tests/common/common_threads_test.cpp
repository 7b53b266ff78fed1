#include "common/Clock.h"
#include "common/Common.h"

#include <gtest/gtest.h>

#include <thread>

using namespace Vaxo;

namespace
{

TEST(InterlockedCounterThreads, TwoThreadsLoseNoUpdate)
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
}

} // namespace
