// The application object's life cycle: Init's order, Shutdown, EndStart, the window's
// result table, the destructor's acceleration question, the fatal exits, and the command
// line (splitting into options, skipping the program's name, the framework's options with
// the demo files they choose).
#include "app/DemoFile.h"
#include "app/support/AppTestEnv.h"
#include "common/Registry.h"
#include "common/support/TestFolder.h"
#include "resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

using namespace Vaxo;

namespace
{

// Off the main thread Shutdown waits for the main loop: see the loading-thread tests.
TEST(VaxoAppBase, ShutdownRunsOnceAndInitAfterItOnlyTakesTheThreadId)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    app.Shutdown();
    app.Shutdown();
    EXPECT_TRUE(app.mShutdown);
    EXPECT_TRUE(app.mExitToTop);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("ShutdownHook").size(), 1u);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("RestoreScreenResolution").size(), 1u);
    app.mPrimaryThreadId = 0;
    app.Init();
    EXPECT_NE(app.mPrimaryThreadId, 0u);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("AppInit").size(), 1u);
}

TEST(VaxoAppBase, InitRunsItsStepsInOrderAndStartRunsTheLoopUntilShutdownThenEndStartOnce)
{
    AppTestEnv env;
    RecordingApp app;
    app.Init();
    const std::vector<std::string> init = {"AppInit",
                                           "IsAlreadyRunning",
                                           "AutoDemoHook",
                                           "InitPropertiesHook",
                                           "ReadFromRegistry",
                                           "PreDisplayHook",
                                           "InitDisplay",
                                           "PreDDInterfaceInitHook",
                                           "PostDDInterfaceInitHook",
                                           "FinishInitWindow",
                                           "InitHook"};
    EXPECT_EQ(env.mPlatform->mCalls, init);
    // A platform without sound still leaves the silent objects behind.
    EXPECT_TRUE(app.mSoundManager != nullptr && app.mMusicInterface != nullptr);

    env.mPlatform->mOnMessageLoop = [&app] { app.Shutdown(); };
    app.Start();
    std::vector<std::string> expected = {"ShutdownHook",    "WaitForThread", "RestoreScreenResolution",
                                         "WriteToRegistry", "WaitForThread", "PreTerminate",
                                         "WriteToRegistry"};
    const std::vector<std::string>& calls = env.mPlatform->mCalls;
    EXPECT_EQ(std::vector<std::string>(std::find(calls.begin(), calls.end(), "ShutdownHook"), calls.end()),
              expected);
    size_t before = env.mPlatform->mCalls.size();
    app.EndStart();
    EXPECT_EQ(env.mPlatform->mCalls.size(), before);
    EXPECT_FALSE(app.mRunning);
}

TEST(VaxoAppBase, MakeWindowSwitchesModeOrDropsAccelerationByResult)
{
    // Windowed, 3D, the display results; then the displays made, windowed, 3D, forced full
    // screen, forced windowed, and the windows finished (only a window made by MakeWindow
    // is; a 3D fallback re-makes the display).
    const std::tuple<bool, bool, std::deque<int>, int, bool, bool, bool, bool, size_t> rows[] = {
        {true, false, {0}, 1, true, false, false, false, 1},
        {true, false, {6, 0}, 2, false, false, true, false, 1}, // no 16-bit window: full screen
        {false, false, {4, 0}, 2, true, false, false, true, 1}, // no exclusive mode: windowed
        {true, true, {7, 0}, 2, true, false, false, false, 0},  // 3D failed to start
        {true, true, {2, 0}, 2, true, false, false, false, 0},  // any failure with 3D on
    };
    for (const auto& [windowed, is3D, results, initDisplays, windowedAfter, is3DAfter, forceFullscreen,
                      forceWindowed, finished] : rows)
    {
        AppTestEnv env;
        RecordingApp app;
        app.mIsWindowed = windowed;
        env.mPlatform->m3DOnFirstDisplay = is3D;
        env.mPlatform->mInitDisplayResults = results;
        app.MakeWindow();
        SCOPED_TRACE(results.front());
        EXPECT_EQ(int(env.mPlatform->CallsStartingWith("InitDisplay").size()), initDisplays);
        EXPECT_EQ(app.mIsWindowed, windowedAfter);
        EXPECT_EQ(app.Is3DAccelerated(), is3DAfter);
        EXPECT_EQ(app.mForceFullscreen, forceFullscreen);
        EXPECT_EQ(app.mForceWindowed, forceWindowed);
        EXPECT_EQ(env.mPlatform->CallsStartingWith("FinishInitWindow").size(), finished);
    }
}

using VaxoAppBaseDeathTest = ::testing::Test;

TEST_F(VaxoAppBaseDeathTest, FatalPathsShowTheirTextAndExitWithFailure)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // What a fresh application does, then what it shows as it exits with status 1.
    const std::pair<std::function<void(TestPlatform&, RecordingApp&)>, std::string> rows[] = {
        {[](TestPlatform& platform, RecordingApp& app)
         {
             app.mForceWindowed = true;
             platform.mInitDisplayResults = {6};
             app.MakeWindow();
         },
         "FATAL ERROR: Please set your desktop color depth to 16 bit\\."},
        {[](TestPlatform& platform, RecordingApp& app)
         {
             platform.mInitDisplayResults = {2};
             app.MakeWindow();
         },
         "FATAL ERROR: Failed to initialize DirectDraw: RESULT_DD_CREATE_FAIL test display error"},
        {[](TestPlatform& platform, RecordingApp& app)
         {
             platform.mCmdLine = "game -bogus=1";
             app.Init();
         },
         "FATAL ERROR: Invalid command line parameter: -bogus"},
        {[](TestPlatform& platform, RecordingApp& app)
         {
             platform.mCmdLine = "game -play";
             app.Init();
         },
         "FATAL ERROR: Demo file not found: vaxoapp\\.dmo"},
        {[](TestPlatform&, RecordingApp& app)
         {
             app.Init();
             app.LoadResourceManifest();
         },
         "FATAL ERROR: Resource file not found: properties/resources\\.xml"},
        // Off the main thread the error only waits for the main loop, which shows it and exits.
        {[](TestPlatform&, RecordingApp& app)
         {
             app.Init();
             app.mResourceManager->ParseResourcesFile("missing.xml");
             std::thread loader([&app] { app.ShowResourceError(true); });
             loader.join();
             std::fprintf(stderr, "still running\n");
             app.Process(true);
         },
         "still running\n.*FATAL ERROR: Resource file not found: missing\\.xml"},
        // A fatal pop-up off the main thread: the main loop shows it and exits, and the
        // thread that raised it goes no further meanwhile.
        {[](TestPlatform&, RecordingApp& app)
         {
             app.Init();
             std::thread(
                 [&app]
                 {
                     app.Popup("No sounds", true);
                     std::_Exit(2);
                 })
                 .detach();
             while (!app.mDeferredExit)
                 std::this_thread::yield();
             std::this_thread::sleep_for(std::chrono::milliseconds(100));
             app.Process(true);
         },
         "FATAL ERROR: No sounds"},
        // The loading thread's, while the main thread waits for that thread to end.
        {[](TestPlatform&, RecordingApp& app)
         {
             app.Init();
             app.mLoadingWork = [&app] { app.Popup(L"No fonts", true); };
             app.StartLoadingThread();
             app.WaitForLoadingThread();
         },
         "FATAL ERROR: No fonts"},
    };
    for (const auto& [run, message] : rows)
    {
        EXPECT_EXIT(
            {
                AppTestEnv env;
                RecordingApp app;
                run(*env.mPlatform, app);
            },
            ::testing::ExitedWithCode(1), message);
    }
}

// A fatal path leaves through exit(), past the destructors of the child's stack: the
// temporary HOME of its environment goes all the same.
TEST_F(VaxoAppBaseDeathTest, AChildThatExitsLeavesNoTemporaryHomeBehind)
{
    GTEST_FLAG_SET(death_test_style, "fast"); // the child makes its HOME below this one
    TestFolder home;
    const std::string oldHome = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", home.mPath.c_str(), 1);
    EXPECT_EXIT(
        {
            AppTestEnv env;
            RecordingApp app;
            env.mPlatform->mCmdLine = "game -bogus";
            app.Init();
        },
        ::testing::ExitedWithCode(1), "Invalid command line parameter");
    setenv("HOME", oldHome.c_str(), 1);
    EXPECT_TRUE(std::filesystem::is_empty(home.mPath));
}

TEST(VaxoAppBase, DestructorAsksOnceWhetherToKeepAccelerationSwitchedOn)
{
    const std::string question = "MessageBoxA(36,Game Hardware Acceleration Confirmation,"
                                 "Hardware Acceleration was switched on during this session.\r\n"
                                 "If this resulted in slower performance, it should be switched off.\r\n"
                                 "Would you like to keep Hardware Acceleration switched on?)";
    // With a display, "Is3D" stored, 3D recommended, the answer; then whether asked and what
    // is stored afterwards (-1: nothing).
    const std::tuple<bool, bool, bool, int, bool, int> rows[] = {
        {true, false, false, 7, true, -1},   {true, false, false, 6, true, 1},
        {true, true, false, 6, false, 1},    {true, false, true, 6, false, 1},
        {false, false, false, 6, false, -1},
    };
    for (const auto& [withDisplay, stored, recommended, answer, asked, storedAfter] : rows)
    {
        AppTestEnv env;
        {
            RecordingApp app;
            app.mRegKey = "Test\\Game";
            app.mCaptionPrefix = "Game";
            app.Init();
            if (stored)
                app.RegistryWriteInteger("Is3D", 0);
            if (!withDisplay)
                app.mPlatform->DestroyDisplay();
            else
            {
                static_cast<TestPlatformDisplay*>(app.mDisplay)->mRecommend3D = recommended;
                app.mDisplay->mIs3D = true;
            }
            app.mChanged3D = true;
            env.mPlatform->mMessageBoxAnswers = {answer};
        }
        uint32_t type = 0, value = 0, length = 4;
        const bool found = VaxoRegistryRead("SOFTWARE\\Test\\Game", "Is3D", &type,
                                            reinterpret_cast<uint8_t*>(&value), &length);
        SCOPED_TRACE(std::to_string(withDisplay) + std::to_string(stored) + std::to_string(recommended) +
                     std::to_string(answer));
        EXPECT_EQ(std::count(env.mFinalCalls.begin(), env.mFinalCalls.end(), question), asked ? 1 : 0);
        EXPECT_EQ(found ? int(value) : -1, storedAfter);
    }
}

// Only 0 or 1 is ever saved; a damaged store holding any other count must neither leave
// the player's mute button without effect (a negative count) nor overflow the count.
TEST(VaxoAppBase, SavedMutingIsTakenAsMutedOrNotWhateverCountTheStoreHolds)
{
    // The stored "Muted", then whether muted at start, and after the player's Mute.
    const std::tuple<int32_t, bool> rows[] = {
        {0, false}, {1, true}, {-1, false}, {5, true}, {INT32_MAX, true}, {INT32_MIN, false},
    };
    for (const auto& [stored, mutedAtStart] : rows)
    {
        SCOPED_TRACE(stored);
        AppTestEnv env;
        RecordingApp app;
        app.mRegKey = "Test\\Game";
        app.Init();
        VaxoRegistryWrite("SOFTWARE\\Test\\Game", "Muted", REG_DWORD,
                          reinterpret_cast<const uint8_t*>(&stored), 4);
        app.ReadFromRegistry();
        EXPECT_EQ(app.IsMuted(), mutedAtStart);
        app.Mute(false);
        app.Mute(true); // the window lost the focus
        EXPECT_TRUE(app.IsMuted());
        app.WriteToRegistry();
        app.Unmute(true);
        app.Unmute(false);
        EXPECT_EQ(app.IsMuted(), mutedAtStart);
        app.WriteToRegistry();
        int saved = -1;
        EXPECT_TRUE(app.RegistryReadInteger("Muted", &saved));
        EXPECT_EQ(saved, mutedAtStart ? 1 : 0);
    }
}

// The store keeps the key even when it refuses the value: a write it refused must not be
// answered as done, nor leave the old value looking like the new one.
TEST(VaxoAppBase, SettingsWritesTheStoreRefusesReportFailureAndKeepTheOldValue)
{
    AppTestEnv env;
    RecordingApp app;
    app.mRegKey = "Test\\Game";
    app.Init();
    const std::string longest(0xFFFF, 'a'), tooLong(0x10000, 'b');
    const uint8_t word[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    // Written first, then the write to check and its answer, then the value read back.
    const std::tuple<std::function<bool()>, bool, std::string> rows[] = {
        {[&] { return app.RegistryWriteString("V", longest); }, true, longest},
        {[&] { return app.RegistryWriteString("V", tooLong); }, false, "old"},
        {[&]
         { return app.RegistryWriteData("V", reinterpret_cast<const uint8_t*>(tooLong.data()), 0x10000); },
         false, "old"},
        {[&] { return app.RegistryWrite("V", REG_DWORD, word, 8); }, false, "old"},
        {[&] { return app.RegistryWrite("V", 7, word, 4); }, false, "old"},
        {[&] { return app.RegistryWriteData("V", nullptr, 3); }, false, "old"},
        {[&] { return app.RegistryWriteString("V", ""); }, true, ""},
    };
    int row = 0;
    for (const auto& [write, done, after] : rows)
    {
        SCOPED_TRACE(row++);
        ASSERT_TRUE(app.RegistryWriteString("V", "old"));
        EXPECT_EQ(write(), done);
        std::vector<uint8_t> data(0x10001);
        uint32_t type = 0, length = uint32_t(data.size());
        ASSERT_TRUE(app.RegistryRead("V", &type, data.data(), &length));
        EXPECT_EQ(type, uint32_t(REG_SZ));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), length - 1), after);
    }
}

// A demo answers reads with what it recorded; a damaged one may hold an integer of the
// wrong length, which must not be taken with bytes the demo never held.
TEST(VaxoAppBase, IntegerSettingsOfAnotherLengthThanFourBytesAreNotTaken)
{
    // The recorded length, then the answer and the value read (-1: left as it was).
    const std::tuple<int32_t, bool, int> rows[] = {{4, true, 0x04030201}, {1, false, -1}, {0, false, -1}};
    for (const auto& [length, taken, value] : rows)
    {
        SCOPED_TRACE(length);
        AppTestEnv env;
        VaxoAppBase app;
        app.mRegKey = "Test\\Game";
        app.mPlayingDemo = true;
        Buffer stream;
        stream.WriteNumBits(0, 4); // a long-form command at once
        stream.WriteNumBits(0, 1);
        stream.WriteNumBits(DEMO_REGISTRY_READ, 5);
        stream.WriteNumBits(1, 1);
        stream.WriteLong(REG_DWORD);
        stream.WriteLong(length);
        const uint8_t bytes[4] = {1, 2, 3, 4};
        stream.WriteBytes(bytes, length);
        app.mDemoBuffer.SetData(stream.GetDataPtr(), stream.GetDataLen());
        int read = -1;
        EXPECT_EQ(app.RegistryReadInteger("MusicVolume", &read), taken);
        EXPECT_EQ(read, value);
    }
}

// Reads members the destructor deletes, after the destructor has begun. Keeps nothing of
// its own, which would be gone before the base destructor runs.
std::atomic<bool> gLoadingStarted{false};
std::atomic<bool> gManagersAlive{false};
class SlowLoadingApp : public VaxoAppBase
{
public:
    void LoadingThreadProc() override
    {
        gLoadingStarted = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        gManagersAlive = mResourceManager != nullptr && mWidgetManager != nullptr;
    }
};

TEST(VaxoAppBase, DestructorWaitsForTheLoadingThreadBeforeDeletingWhatItUses)
{
    AppTestEnv env;
    {
        SlowLoadingApp app;
        app.StartLoadingThread();
        while (!gLoadingStarted)
            std::this_thread::yield();
    }
    EXPECT_TRUE(gManagersAlive);
}

// Writes the options down (split) or acts on them; keeps the current folder either way.
class CmdLineApp : public VaxoAppBase
{
public:
    bool mSplitOnly = false;
    std::string mOptions;
    bool ChangeDirHook(const char*) override { return true; }
    void HandleCmdLineParam(const std::string& name, const std::string& value) override
    {
        mOptions += "[" + name + "|" + value + "]";
        if (!mSplitOnly)
            VaxoAppBase::HandleCmdLineParam(name, value);
    }
};

TEST(CmdLine, SplitsOptionsAsTheExamplesShow)
{
    AppTestEnv env;
    const std::pair<const char*, const char*> rows[] = {
        {"game -changedir=\"C:\\My Games\"", "[-changedir|C:\\My Games]"},
        {"game -demofile=\"a b\"c", "[-demofile|a b][c|]"}, // the closing quote ends the option
        {"game a=b=c", "[a|bc]"},
        {"game -record   -play ", "[-record|][-play|]"},
        {"game \"=x\"y", "[y|]"}, // an option without a name is dropped
        {"\"C:\\Program Files\\game.exe\" -record", "[-record|]"},
        {"game", ""},
        {"\"C:\\game.exe -record", ""},
    };
    for (const auto& row : rows)
    {
        CmdLineApp app;
        app.mSplitOnly = true;
        env.mPlatform->mCmdLine = row.first;
        app.DoParseCmdLine();
        EXPECT_EQ(app.mOptions, row.second) << row.first;
        EXPECT_TRUE(app.mCmdLineParsed);
    }
}

TEST(CmdLine, OptionsChooseTheDemoModeAndFile)
{
    AppTestEnv env;
    SetAppDataFolder("/data/");
    // Options, demo prefix, then the demo file and mode ("r" record, "p" play).
    const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
        {"-record -play", "vaxoapp", "vaxoapp.dmo", "p"},
        {"-play -record", "vaxoapp", "vaxoapp.dmo", "r"},
        {"-demofile=run.dmo", "vaxoapp", "/data/run.dmo", ""},
        {"-demofile=C:run.dmo", "vaxoapp", "C:run.dmo", ""},
        {"-demofile=ab\\run.dmo", "vaxoapp", "ab\\run.dmo", ""},
        {"-demofile=/tmp/run.dmo", "vaxoapp", "/tmp/run.dmo", ""},
        {"-recnum=3", "vaxoapp", "/data/vaxoapp1.dmo", "r"},
        {"-recnum=x", "/tmp/rec", "/tmp/rec1.dmo", "r"},
        {"-playnum=3", "vaxoapp", "vaxoapp-2.dmo", "p"},
        {"-playnum=1", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=-5", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=abc", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=99999999999", "vaxoapp", "vaxoapp-2147483646.dmo", "p"},
        {"-playnum=-99999999999", "vaxoapp", "vaxoapp0.dmo", "p"},
    };
    for (const auto& [options, prefix, file, mode] : rows)
    {
        CmdLineApp app;
        app.mDemoPrefix = prefix;
        app.ParseCmdLine(options);
        EXPECT_EQ(app.mDemoFileName, file) << options;
        EXPECT_EQ(std::string(app.mRecordingDemo ? "r" : "") + (app.mPlayingDemo ? "p" : ""), mode)
            << options;
        app.mRecordingDemo = false; // no demo file is written
    }
    CmdLineApp app;
    app.ParseCmdLine("-screensaver -changedir=\"/opt/my game\"");
    EXPECT_TRUE(app.mIsScreenSaver);
    EXPECT_EQ(app.mChangeDir, "/opt/my game");
}

} // namespace
