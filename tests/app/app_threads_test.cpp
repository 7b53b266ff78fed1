// What the loading thread shares with the main thread: shared images asked for on two
// threads, the memory-image set walked while images come and go, its progress step by
// step and the hand-over of its completion, and shutdown and errors raised off the main
// thread.
#include "app/support/AppTestEnv.h"
#include "graphics/MemoryImage.h"
#include "resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Vaxo;

namespace
{

// Loads slowly, and says when a load has begun.
class SlowImageApp : public VaxoAppBase
{
public:
    std::atomic<int32_t> mLoads{0};
    std::atomic<bool> mLoadBegun{false};
    MemoryImage* GetImage(const std::string&, bool) override
    {
        mLoads++;
        mLoadBegun = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto* image = new MemoryImage(this);
        image->Create(4, 4);
        return image;
    }
};

TEST(AppThreads, TwoThreadsAskingForOneNewPictureBothGetItLoadedOnce)
{
    AppTestEnv env;
    SlowImageApp app;
    // What each caller holds the moment its request returns (as a font then uses it).
    Image* firstSeen = nullptr;
    Image* secondSeen = nullptr;
    std::thread loader(
        [&]
        {
            SharedImageRef ref = app.GetSharedImage("fonts/sheet.png", "", nullptr);
            firstSeen = ref;
        });
    while (!app.mLoadBegun)
        std::this_thread::yield();
    // Arrives while the entry is being filled.
    std::thread other(
        [&]
        {
            SharedImageRef ref = app.GetSharedImage("FONTS/SHEET.PNG", "", nullptr);
            secondSeen = ref;
        });
    loader.join();
    other.join();
    EXPECT_NE(firstSeen, nullptr);
    EXPECT_EQ(secondSeen, firstSeen);
    EXPECT_EQ(app.mLoads, 1);
}

TEST(AppThreads, DisplayDataWalksWhileTheLoadingThreadMakesImages)
{
    AppTestEnv env;
    VaxoAppBase app;
    std::atomic<bool> done{false};
    std::thread loader(
        [&]
        {
            // Images come and go; what each image holds is its own thread's business.
            for (int i = 0; i < 300; i++)
                MemoryImage image(&app);
            done = true;
        });
    while (!done)
    {
        app.ReInitImages();
        app.DeleteNativeImageData();
        app.DeleteExtraImageData();
    }
    loader.join();
    EXPECT_TRUE(app.mMemoryImageSet.empty());
}

TEST(AppThreads, ShutdownAndErrorsFromTheLoadingThreadWaitForTheMainLoop)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    app.mResourceManager->ParseResourcesFile("missing.xml");
    app.mLoadingWork = [&app]
    {
        app.ShowResourceError(false);
        app.Shutdown();
    };
    app.StartLoadingThread();
    app.WaitForLoadingThread();
    EXPECT_FALSE(app.mShutdown);
    EXPECT_TRUE(env.mPlatform->CallsStartingWith("MessageBoxA").empty());
    app.Process(true);
    EXPECT_TRUE(app.mShutdown);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA").size(), 1u);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("ShutdownHook").size(), 1u);
}

TEST(LoadingThread, ProgressFollowsTheCountersAndIsWholeOnceHandedOverOnTheMainThreadOnce)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    // Step by step: 4 tasks, 1 done, 2, 3, 6 (too many), then the total raised to 10. The
    // work waits until the main thread opens each step, and says when it has finished it.
    const int tasks[] = {4, 4, 4, 4, 4, 10};
    const int done[] = {0, 1, 2, 3, 6, 6};
    std::atomic<int> opened{0}, reached{0};
    app.mLoadingWork = [&]
    {
        for (int step = 1; step <= 6; step++)
        {
            while (opened < step)
                std::this_thread::yield();
            app.mNumLoadingThreadTasks = tasks[step - 1];
            app.mCompletedLoadingThreadTasks = done[step - 1];
            EXPECT_FALSE(app.mLoaded); // the main loop has not handed over yet
            reached = step;
        }
    };
    EXPECT_EQ(app.GetLoadingThreadProgress(), 0.0) << "not started";
    app.StartLoadingThread();
    app.StartLoadingThread();
    EXPECT_EQ(env.mPlatform->CallsStartingWith("BeginThread").size(), 1u) << "started once";
    EXPECT_TRUE(app.mYieldMainThread);
    EXPECT_EQ(app.GetLoadingThreadProgress(), 0.0) << "no task count yet";

    const double expected[] = {0.0, 0.25, 0.5, 0.75, 1.0, 0.6};
    for (int step = 1; step <= 6; step++)
    {
        opened = step;
        while (reached < step)
            std::this_thread::yield();
        EXPECT_EQ(app.GetLoadingThreadProgress(), expected[step - 1]) << step;
    }
    while (!app.mLoaded)
        app.UpdateAppStep(nullptr);
    for (int i = 0; i < 50; i++)
        app.UpdateAppStep(nullptr);
    EXPECT_EQ(app.GetLoadingThreadProgress(), 1.0) << "handed over, the counters short or not";
    EXPECT_EQ(app.mCompletedOnThreads, std::vector<uint32_t>{app.mPrimaryThreadId});
    EXPECT_FALSE(app.mYieldMainThread);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("SetThreadPriority"),
              (std::vector<std::string>{"SetThreadPriority(3)", "SetThreadPriority(2)"}));
    app.WaitForLoadingThread();
}

} // namespace
