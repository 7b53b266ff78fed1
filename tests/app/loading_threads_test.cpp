// The loading thread's progress as the main thread sees it while the work runs, step by
// step, and after the hand-over.
#include "app/support/AppTestEnv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Vaxo;

namespace
{

// Lets the loading work run one step at a time: the work waits at each gate until the
// main thread opens it, and says which step it has finished.
class Gates
{
public:
    void Open(int step)
    {
        mOpened = step;
        while (mReached.load() < step)
            std::this_thread::yield();
    }
    void Pass(int step)
    {
        while (mOpened.load() < step)
            std::this_thread::yield();
    }
    void Reached(int step) { mReached = step; }

private:
    std::atomic<int> mOpened{0};
    std::atomic<int> mReached{0};
};

TEST(LoadingThread, ProgressFollowsTheCountersAndIsWholeOnceHandedOver)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    Gates gates;
    // Step by step: 4 tasks, 1 done, 2, 3, 6 (too many), then the total raised to 10.
    const int tasks[] = {4, 4, 4, 4, 4, 10};
    const int done[] = {0, 1, 2, 3, 6, 6};
    app.mLoadingWork = [&]
    {
        for (int step = 1; step <= 6; step++)
        {
            gates.Pass(step);
            app.mNumLoadingThreadTasks = tasks[step - 1];
            app.mCompletedLoadingThreadTasks = done[step - 1];
            gates.Reached(step);
        }
    };
    EXPECT_EQ(app.GetLoadingThreadProgress(), 0.0) << "not started";
    app.StartLoadingThread();
    app.StartLoadingThread();
    EXPECT_EQ(env.mPlatform->CallsStartingWith("BeginThread").size(), 1u) << "started once";
    EXPECT_EQ(app.GetLoadingThreadProgress(), 0.0) << "no task count yet";

    const double expected[] = {0.0, 0.25, 0.5, 0.75, 1.0, 0.6};
    for (int step = 1; step <= 6; step++)
    {
        gates.Open(step);
        EXPECT_EQ(app.GetLoadingThreadProgress(), expected[step - 1]) << step;
    }
    while (!app.mLoaded)
        app.UpdateAppStep(nullptr);
    EXPECT_EQ(app.GetLoadingThreadProgress(), 1.0) << "handed over, the counters short or not";
    EXPECT_EQ(app.mCompletedOnThreads, std::vector<uint32_t>{app.mPrimaryThreadId});
    app.WaitForLoadingThread();
}

} // namespace
