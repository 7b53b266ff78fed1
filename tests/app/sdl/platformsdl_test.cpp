// The SDL platform: SDL events turned into window events (keys, characters, double
// clicks, Ctrl-clicks, activation, the timer), the cursors, threads, message boxes, the
// folders, the command line, and the display made under Xvfb at depth 24 (named by
// VAXO_DISPLAY_24; those tests are skipped when it is unset) or refused by SDL's dummy
// driver. Events are pushed into SDL's own queue; the clock is the fake one.
#include "app/sdl/AlertPanel.h"
#include "app/sdl/BundlePath.h"
#include "app/sdl/PlatformSDL.h"
#include "app/sdl/SDLCursors.h"
#include "app/support/AppTestEnv.h"
#include "common/Common.h"
#include "graphics/SDLDisplay.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VAXO_LEAK_CHECKER 1
#include <sanitizer/lsan_interface.h>
// What SDL keeps for the life of the process is not ours to report.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL\nleak:libX11\nleak:libxcb\n";
}
#endif
#endif

using namespace Vaxo;

namespace
{

// Logs the display hooks and the settings it reads.
class HookApp : public VaxoAppBase
{
public:
    std::vector<std::string> mLog;

    void PreDDInterfaceInitHook() override { mLog.push_back("PreDDInterfaceInitHook"); }
    void PostDDInterfaceInitHook() override { mLog.push_back("PostDDInterfaceInitHook"); }
    void DeleteNativeImageData() override
    {
        mLog.push_back("DeleteNativeImageData");
        VaxoAppBase::DeleteNativeImageData();
    }
    void ReInitImages() override
    {
        mLog.push_back("ReInitImages");
        VaxoAppBase::ReInitImages();
    }
    bool RegistryRead(const std::string& name, uint32_t* type, uint8_t* data, uint32_t* length) override
    {
        mLog.push_back("RegistryRead(" + name + ")");
        return VaxoAppBase::RegistryRead(name, type, data, length);
    }
};

class PlatformSDLTest : public ::testing::Test
{
protected:
    // An application on the SDL platform, on the X display named, else on SDL's dummy
    // video driver. False when the display cannot be reached.
    bool MakeApp(const char* display = nullptr, const char* driver = "dummy")
    {
        setenv("SDL_VIDEODRIVER", display != nullptr ? "x11" : driver, 1);
        if (display != nullptr)
            setenv("DISPLAY", display, 1);
        // A server still closing an earlier connection now and then refuses the next one.
        bool up = false;
        for (int attempt = 0; attempt < 20 && !up; ++attempt)
        {
            up = SDL_Init(SDL_INIT_VIDEO) == 0;
            if (!up)
                SDL_Delay(50);
        }
        SetPlatformFactory([](VaxoAppBase* app) { return new PlatformSDL(app); });
        mApp.reset(new HookApp());
        mPlatform = static_cast<PlatformSDL*>(mApp->mPlatform.get());
        mApp->mRegKey = "Vaxo\\PlatformTest";
        mApp->mWidth = 320;
        mApp->mHeight = 240;
        return up;
    }

    void PushKey(bool down, int sym, int mod = 0, int unicode = 0)
    {
        SDL_Event event{};
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.keysym.sym = SDLKey(sym);
        event.key.keysym.mod = SDLMod(mod);
        event.key.keysym.unicode = Uint16(unicode);
        SDL_PushEvent(&event);
    }
    void PushMouse(Uint8 type, int button = 0)
    {
        SDL_Event event{};
        event.type = type;
        event.button.button = Uint8(button);
        SDL_PushEvent(&event);
    }

    // Runs the platform's message loop and answers what it queued, timer events left out:
    // each type, with ":param" when that is not 0.
    std::string Drain()
    {
        mPlatform->DoMessageLoop();
        std::string out;
        for (const WinEvent& event : mApp->mDeferredMessages)
        {
            if (event.mType != WINEVENT_TIMER)
                out += (out.empty() ? "" : " ") + std::to_string(event.mType) +
                       (event.mParam != 0 ? ":" + std::to_string(event.mParam) : "");
        }
        mApp->mDeferredMessages.clear();
        return out;
    }

    AppTestEnv mEnv;
    std::unique_ptr<HookApp> mApp;
    PlatformSDL* mPlatform = nullptr;
};

TEST(PlatformSDLKeys, TheKeyTableKeepsItsCodes)
{
    const std::pair<int, int> rows[] = {
        {97, 65},   {122, 90},  {48, 48},   {57, 57},   {256, 96},  {265, 105}, {266, 110}, {267, 111},
        {268, 106}, {269, 109}, {270, 107}, {282, 112}, {285, 115}, {296, 126}, {39, 222},  {44, 188},
        {45, 189},  {46, 190},  {47, 191},  {59, 186},  {60, 226},  {61, 187},  {91, 219},  {92, 220},
        {93, 221},  {96, 223},  {127, 46},  {303, 16},  {304, 16},  {305, 17},  {306, 17},  {307, 18},
        {308, 18},  {8, 8},     {9, 9},     {12, 12},   {13, 13},   {19, 19},   {27, 27},   {32, 32},
        {273, 38},  {274, 40},  {275, 39},  {276, 37},  {277, 45},  {278, 36},  {279, 35},  {280, 33},
        {281, 34},  {300, 144}, {301, 20},  {302, 145}, {311, 91},  {312, 92},  {315, 47},  {316, 42},
        {318, 3},   {319, 93},  {271, 0},   {272, 0},   {309, 0},   {310, 0},   {313, 0},   {314, 0},
        {317, 0},   {0, 0},     {7, 0},     {320, 0},   {400, 0},   {-5, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SDLKeyToKeyCode(row.first), row.second) << "SDL key " << row.first;
}

TEST_F(PlatformSDLTest, KeysGiveKeyEventsAndCharactersOnlyWithoutAlt)
{
    ASSERT_TRUE(MakeApp());
    // Down, key, modifiers, character, the window events.
    const std::tuple<bool, int, int, int, const char*> rows[] = {
        {true, SDLK_q, 0, 'q', "12:81 16:113"},     {true, SDLK_q, KMOD_LALT, 'q', "13:81"},
        {true, SDLK_F4, KMOD_RALT, 0, "13:115 17"}, {true, SDLK_F4, 0, 0, "12:115"},
        {true, SDLK_KP_ENTER, 0, 13, "12 16:13"},   {true, SDLK_LMETA, 0, 0, "12"},
        {true, SDLK_a, 0, 0x100, "12:65"},          {true, SDLK_a, 0, 0xFE, "12:65 16:254"},
        {false, SDLK_q, KMOD_LALT, 'q', "15:81"},   {false, SDLK_q, 0, 'q', "14:81"},
    };
    for (const auto& row : rows)
    {
        PushKey(std::get<0>(row), std::get<1>(row), std::get<2>(row), std::get<3>(row));
        EXPECT_EQ(Drain(), std::get<4>(row)) << &row - rows;
    }
}

TEST_F(PlatformSDLTest, DoubleClicksPairWithinTheIntervalWithoutMotion)
{
    ASSERT_TRUE(MakeApp());
    // Milliseconds since the row before; 'd' button down, 'u' up, 'm' motion, 'c' and 'C'
    // Ctrl down and up, 'f' and 'F' input focus lost and gained; the button; the window
    // events that follow.
    const std::tuple<uint32_t, char, int, const char*> rows[] = {
        {0, 'd', 1, "3"},        {100, 'u', 1, "8"},       {100, 'd', 1, "6"}, // 200 ms after the first press
        {100, 'u', 1, "8"},      {100, 'd', 1, "3"}, // a third quick press starts a new pair
        {100, 'm', 0, "11"},     {100, 'd', 1, "3"}, // motion between the presses
        {300, 'd', 1, "3"},                          // too late
        {400, 'd', 4, "18:120"}, {100, 'd', 1, "3"}, // a wheel notch is no press
        {100, 'd', 4, "18:120"}, {100, 'd', 1, "6"}, // nor parts a pair
        {400, 'd', 2, "5"},      {100, 'd', 2, "5"}, // the middle button never doubles
        {100, 'd', 1, "6"},                          // but restarts the interval
        {400, 'c', 0, "12:17"},  {0, 'd', 1, "4"},   // Ctrl-click is a right click
        {50, 'u', 1, "9"},       {50, 'd', 1, "7"},        {0, 'C', 0, "14:17"},
        {0, 'u', 1, "9"}, // released as pressed, Ctrl or not
        {400, 'd', 1, "3"},      {0, 'c', 0, "12:17"},     {0, 'u', 1, "8"},
        {0, 'C', 0, "14:17"},    {400, 'd', 5, "18:-120"}, {0, 'u', 5, ""},
        {400, 'c', 0, "12:17"},  {0, 'f', 0, "21"},        {0, 'F', 0, "21:1"}, // Ctrl let go elsewhere:
        {400, 'd', 1, "3"},      {0, 'u', 1, "8"},                              // a plain left click
    };
    for (const auto& [after, action, button, events] : rows)
    {
        mEnv.mClock.Advance(after);
        if (action == 'c' || action == 'C')
            PushKey(action == 'c', SDLK_LCTRL);
        else if (action == 'f' || action == 'F')
        {
            SDL_Event event{};
            event.type = SDL_ACTIVEEVENT;
            event.active.state = SDL_APPINPUTFOCUS;
            event.active.gain = action == 'F';
            SDL_PushEvent(&event);
        }
        else
            PushMouse(action == 'd'   ? SDL_MOUSEBUTTONDOWN
                      : action == 'u' ? SDL_MOUSEBUTTONUP
                                      : SDL_MOUSEMOTION,
                      button);
        EXPECT_EQ(Drain(), events) << after << action << button;
    }
}

TEST_F(PlatformSDLTest, ActivationQuitAndTheTimerBecomeWindowEvents)
{
    ASSERT_TRUE(MakeApp());
    const std::tuple<int, int, const char*> rows[] = {{SDL_APPINPUTFOCUS | SDL_APPACTIVE, 0, "21 0"},
                                                      {SDL_APPACTIVE, 1, "0:1"},
                                                      {SDL_APPINPUTFOCUS, 1, "21:1"},
                                                      {SDL_APPMOUSEFOCUS, 0, ""}};
    for (const auto& row : rows)
    {
        SDL_Event event{};
        event.type = SDL_ACTIVEEVENT;
        event.active.state = Uint8(std::get<0>(row));
        event.active.gain = Uint8(std::get<1>(row));
        SDL_PushEvent(&event);
        EXPECT_EQ(Drain(), std::get<2>(row));
    }
    PushMouse(SDL_QUIT);
    EXPECT_EQ(Drain(), "17");

    // At most one timer event a call, at least 100 ms apart.
    mPlatform->DoMessageLoop();
    mEnv.mClock.Advance(99);
    mPlatform->DoMessageLoop();
    EXPECT_TRUE(mApp->mDeferredMessages.empty());
    mEnv.mClock.Advance(1000);
    mPlatform->DoMessageLoop();
    mPlatform->DoMessageLoop();
    ASSERT_EQ(mApp->mDeferredMessages.size(), 1u);
    EXPECT_EQ(mApp->mDeferredMessages.front().mParam, 100);

    // Shutting down: no timer, and one event taken from SDL's queue per call and dropped.
    mApp->mDeferredMessages.clear();
    mApp->mShutdown = true;
    PushMouse(SDL_MOUSEMOTION);
    PushMouse(SDL_MOUSEMOTION);
    mEnv.mClock.Advance(1000);
    mPlatform->DoMessageLoop();
    EXPECT_TRUE(mApp->mDeferredMessages.empty());
    SDL_Event left[4];
    EXPECT_EQ(SDL_PeepEvents(left, 4, SDL_GETEVENT, SDL_ALLEVENTS), 1);
}

TEST_F(PlatformSDLTest, CursorsPointWhereTheirPicturesPoint)
{
    ASSERT_TRUE(MakeApp());
    for (int i = 0; i < 12; i++)
    {
        const CursorPicture& picture = kCursorPictures[i];
        ASSERT_NE(mPlatform->mCursors[i], nullptr) << i;
        EXPECT_TRUE(mPlatform->mCursors[i]->hot_x == picture.mHotX &&
                    mPlatform->mCursors[i]->hot_y == picture.mHotY);
        const int byte = picture.mHotY * 4 + picture.mHotX / 8;
        const uint8_t bit = uint8_t(0x80 >> (picture.mHotX % 8));
        const bool drawn =
            ((picture.mBits->mBytes[byte] | picture.mBits->mBytes[kCursorPlaneBytes + byte]) & bit) != 0;
        int bitsSet = 0;
        for (uint8_t b : picture.mBits->mBytes)
            bitsSet += b != 0;
        EXPECT_EQ(drawn, i != 11) << "cursor " << i << " at its hot spot";
        EXPECT_EQ(bitsSet != 0, i != 11) << "cursor " << i;
    }
    EXPECT_TRUE(mPlatform->mCursors[12] == nullptr && SDL_GetCursor() == mPlatform->mCursors[0]);

    const std::pair<int, int> choices[] = {{3, 3}, {-1, 0}, {13, 0}, {12, 11}, {4, 4}, {4, 4}};
    for (const auto& choice : choices)
    {
        mPlatform->SetCursor(choice.first);
        EXPECT_EQ(SDL_GetCursor(), mPlatform->mCursors[choice.second]) << choice.first;
    }
}

TEST_F(PlatformSDLTest, MessageBoxesMapTheirTypeToButtonsAndAnswers)
{
    ASSERT_TRUE(MakeApp());
    // Type, the buttons shown (default|alternate|other), the answers to panel answers 1, 0, -1.
    const std::tuple<uint32_t, const char*, std::vector<int>> rows[] = {
        {0, "||", {2, 2, 2}},
        {1, "Cancel|Ok|", {2, 1, 2}},
        {2, "Ignore|Abort|Retry", {5, 3, 4}},
        {3, "Cancel|Yes|No", {2, 6, 7}},
        {4, "No|Yes|", {7, 6, 2}},
        {5, "Cancel|Retry|", {2, 4, 2}},
        {36, "No|Yes|", {7, 6, 2}},
    };
    int panelAnswer = 0;
    std::string shown;
    AlertPanelResponder previous = SetAlertPanelResponder(
        [&](const AlertPanelRequest& request)
        {
            shown = request.mDefaultButton + "|" + request.mAlternateButton + "|" + request.mOtherButton;
            return panelAnswer;
        });
    testing::internal::CaptureStderr();
    for (const auto& row : rows)
    {
        for (int answer : {1, 0, -1, 7}) // 7: no answer a panel gives
        {
            panelAnswer = answer;
            const int expected = answer == 7 ? 2 : std::get<2>(row)[size_t(1 - answer)];
            EXPECT_EQ(mPlatform->MessageBoxA("text", "title", std::get<0>(row), true), expected)
                << std::get<0>(row);
            EXPECT_EQ(shown, std::get<1>(row)) << std::get<0>(row);
        }
    }
    testing::internal::GetCapturedStderr();

    // Off the main thread nothing is shown and the answer is Cancel.
    mApp->mPrimaryThreadId = mPlatform->GetCurrentThreadId();
    shown.clear();
    int answers[2] = {0, 0};
    std::thread([&] { answers[0] = mPlatform->MessageBoxA("text", "title", 4, true); }).join();
    std::thread([&] { answers[1] = mPlatform->MessageBoxW(L"text", L"title", 4, true); }).join();
    EXPECT_TRUE(answers[0] == 2 && answers[1] == 2 && shown.empty());

    // The texts reach stderr as they are.
    panelAnswer = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(mPlatform->MessageBoxW(L"100% %s sure", L"Caption", 1, true), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caption\n100% %s sure\n");
    SetAlertPanelResponder(previous);
}

TEST(PlatformSDLDeathTest, AThreadThatCannotStartLeavesNothingBehind)
{
#ifndef VAXO_LEAK_CHECKER
    GTEST_SKIP() << "needs the leak checker";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            SetPlatformFactory([](VaxoAppBase* app) { return new PlatformSDL(app); });
            std::unique_ptr<VaxoAppBase> app(new VaxoAppBase());
            // Room for small allocations, none for a thread's stack.
            std::ifstream statm("/proc/self/statm");
            rlim_t pages = 0;
            statm >> pages;
            rlimit old{};
            getrlimit(RLIMIT_AS, &old);
            rlimit tight = old;
            tight.rlim_cur = pages * rlim_t(sysconf(_SC_PAGESIZE)) + (2u << 20);
            setrlimit(RLIMIT_AS, &tight);
            HTHREAD_* thread = app->mPlatform->BeginThread([](void*) -> uint32_t { return 0; }, nullptr);
            setrlimit(RLIMIT_AS, &old);
            const int leaks = __lsan_do_recoverable_leak_check();
            std::_Exit(thread != nullptr ? 3 : leaks != 0 ? 2 : 0);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(PlatformSDLTest, ThreadsRunTheirProcedureAndAreWaitedFor)
{
    ASSERT_TRUE(MakeApp());
    const uint32_t mainId = mPlatform->GetCurrentThreadId();
    std::atomic<uint32_t> ranOn{0};
    struct Context
    {
        PlatformSDL* platform;
        std::atomic<uint32_t>* ranOn;
    } context{mPlatform, &ranOn};
    HTHREAD_* thread = mPlatform->BeginThread(
        [](void* arg) -> uint32_t
        {
            // Slow, so that a wait that returned early would find nothing done.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            Context* c = static_cast<Context*>(arg);
            *c->ranOn = c->platform->GetCurrentThreadId();
            return 0;
        },
        &context);
    ASSERT_NE(thread, nullptr);
    mPlatform->WaitForThread(thread);
    EXPECT_NE(ranOn.load(), 0u);
    EXPECT_NE(ranOn.load(), mainId);
    mPlatform->WaitForThread(nullptr);
}

TEST(PlatformSDLPaths, TheBundleIsTheFolderAboveContentsMacOS)
{
    const std::pair<const char*, const char*> rows[] = {
        {"/Applications/Grubbo.app/Contents/MacOS/Grubbo", "/Applications/Grubbo.app"},
        {"/a b/X.app/Contents/MacOS/tools/prog", "/a b/X.app"},
        {"/opt/prog/bin/prog", ""},
        {"/opt/.app/Contents/MacOS/prog", ""},
        {"/X.app/Contents/prog", ""},
        {"prog", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BundlePathOf(row.first), row.second) << row.first;
}

// The command line the platform builds reads back, through the application's parser,
// as the arguments it was made from.
TEST(PlatformSDLPaths, TheCommandLineQuotesArgumentsWithBlanks)
{
    AppTestEnv env;
    struct OptionApp : RecordingApp
    {
        std::vector<std::string> mOptions;
        void HandleCmdLineParam(const std::string& name, const std::string& value) override
        {
            mOptions.push_back(name + "=" + value);
        }
    } app;
    const std::vector<std::string> args = {"/my games/prog", "-changedir=/a b/c", "-play",
                                           "-demofile=x y.dmo"};
    env.mPlatform->mCmdLine = JoinCommandLine(args);
    app.DoParseCmdLine();
    EXPECT_EQ(app.mOptions, (std::vector<std::string>{"-changedir=/a b/c", "-play=", "-demofile=x y.dmo"}));
}

// The dummy driver's 8 bits per pixel are refused.
TEST_F(PlatformSDLTest, AppInitOpensTheSettingsStoreBelowHomeAndARefusedDisplayDoesNotPause)
{
    ASSERT_TRUE(MakeApp());
    mApp->mCompanyName = "Kelvix Games";
    mApp->mProductName = "Sample";
    mApp->mTitle = "Vaxo test";
    mApp->mChangeDir = "unchanged";
    mApp->mActive = false;
    mPlatform->AppInit();
    const std::string folder = mEnv.mHome + "Library/Application Support/Kelvix Games/Sample/";
    EXPECT_EQ(GetAppDataFolder(), folder);
    EXPECT_TRUE(mApp->mActive && mApp->mHasFocus && mApp->mWidgetManager->mAppHasFocus);
    EXPECT_EQ(mApp->mChangeDir, "unchanged") << "this program is not in a bundle";
    char* title = nullptr;
    SDL_WM_GetCaption(&title, nullptr);
    EXPECT_STREQ(title, "Vaxo test");

    ASSERT_TRUE(mApp->RegistryWriteBoolean("Is3D", false));
    mApp->mIsWindowed = false;
    EXPECT_EQ(mPlatform->InitDisplay(true), NativeDisplay::RESULT_INVALID_COLORDEPTH);
    EXPECT_EQ(mApp->mLog, (std::vector<std::string>{"RegistryRead(Is3D)", "PreDDInterfaceInitHook",
                                                    "DeleteNativeImageData"}));
    EXPECT_EQ(mEnv.mClock.GetSleepCount(), 0);
    EXPECT_FALSE(mApp->mDisplay->mIs3D);

    // The settings store is written at the end.
    std::filesystem::create_directories(folder); // as Init does
    EXPECT_FALSE(std::filesystem::exists(folder + "registry.bin"));
    mApp.reset();
    EXPECT_TRUE(std::filesystem::exists(folder + "registry.bin"));
}

// The data folder must not be relative: the program changes its current folder at start,
// and the settings would then be written elsewhere than they were read from.
TEST_F(PlatformSDLTest, TheDataFolderLiesBelowHomeOrTheRoot)
{
    ASSERT_TRUE(MakeApp());
    mApp->mCompanyName = "Kelvix Games";
    mApp->mProductName = "Sample";
    // HOME, or null for none; the data folder.
    const std::pair<const char*, const char*> rows[] = {
        {"/home/ann", "/home/ann/Library/Application Support/Kelvix Games/Sample/"},
        {"/home/ann/", "/home/ann/Library/Application Support/Kelvix Games/Sample/"},
        {nullptr, "/Library/Application Support/Kelvix Games/Sample/"},
        {"", "/Library/Application Support/Kelvix Games/Sample/"},
    };
    for (const auto& [home, folder] : rows)
    {
        if (home != nullptr)
            setenv("HOME", home, 1);
        else
            unsetenv("HOME");
        mPlatform->ApplePathInit();
        EXPECT_EQ(GetAppDataFolder(), folder) << (home != nullptr ? home : "no HOME");
    }
}

TEST_F(PlatformSDLTest, WithoutAVideoDeviceThereIsNoCursorAndNoDisplayButNoCrash)
{
    ASSERT_FALSE(MakeApp(nullptr, "none such"));
    for (SDL_Cursor* cursor : mPlatform->mCursors)
        EXPECT_EQ(cursor, nullptr);
    mPlatform->SetCursor(0);
    mPlatform->SetCursor(12);
    mPlatform->AppInit();
    ASSERT_TRUE(mApp->RegistryWriteBoolean("Is3D", true)); // SDL's OpenGL set-up needs video
    EXPECT_EQ(mPlatform->InitDisplay(true), NativeDisplay::RESULT_DD_CREATE_FAIL);
    EXPECT_FALSE(mApp->mDisplay->mErrorString.empty());
    EXPECT_EQ(Drain(), "");
}

// An application on the X display of depth 24, or skipped.
class PlatformSDLDisplayTest : public PlatformSDLTest
{
protected:
    void SetUp() override
    {
        const char* display = std::getenv("VAXO_DISPLAY_24");
        if (display == nullptr)
            GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
        ASSERT_TRUE(MakeApp(display)) << SDL_GetError();
        mPlatform->AppInit();
    }
};

TEST_F(PlatformSDLDisplayTest, TheDisplayIsMadeOnceWindowedThenFullScreenWithoutAPause)
{
    mApp->mIsWindowed = true;
    mApp->mAutoEnable3D = false;
    ASSERT_EQ(mPlatform->InitDisplay(true), NativeDisplay::RESULT_OK) << mApp->mDisplay->mErrorString;
    EXPECT_EQ(mApp->mLog,
              (std::vector<std::string>{"RegistryRead(Is3D)", "PreDDInterfaceInitHook",
                                        "DeleteNativeImageData", "ReInitImages", "PostDDInterfaceInitHook"}));
    SDLDisplay* display = mPlatform->mDisplay;
    EXPECT_TRUE(mApp->mDisplay == display && mApp->mIsPhysWindowed);
    EXPECT_EQ(static_cast<Image*>(mApp->mWidgetManager->mScreenImage), display->GetScreenImage());
    EXPECT_EQ(SDL_GetVideoSurface()->flags & SDL_FULLSCREEN, 0u);

    // Again, full screen: the same display, "Is3D" not read again, no pause.
    mApp->mLog.clear();
    mApp->mIsWindowed = false;
    ASSERT_EQ(mPlatform->InitDisplay(false), NativeDisplay::RESULT_OK);
    EXPECT_TRUE(mPlatform->mDisplay == display && !mApp->mIsPhysWindowed);
    EXPECT_EQ(mApp->mLog.front(), "PreDDInterfaceInitHook");
    EXPECT_NE(SDL_GetVideoSurface()->flags & SDL_FULLSCREEN, 0u);
    EXPECT_EQ(mEnv.mClock.GetSleepCount(), 0);

    // A system box takes the program out of full screen, on the main thread only.
    mApp->mPrimaryThreadId = mPlatform->GetCurrentThreadId();
    std::thread([this] { mPlatform->BeginPopup(); }).join();
    EXPECT_FALSE(mApp->mIsPhysWindowed);
    mApp->mIsPopupOpen = true;
    mPlatform->BeginPopup();
    EXPECT_TRUE(mApp->mIsPhysWindowed && mApp->mIsWindowed && !mApp->mIsPopupOpen);
}

TEST_F(PlatformSDLDisplayTest, TheFirstSwitchIntoFullScreenPausesOneSecond)
{
    ASSERT_TRUE(mApp->RegistryWriteBoolean("Is3D", false));
    mApp->mIsWindowed = false;
    ASSERT_EQ(mPlatform->InitDisplay(true), NativeDisplay::RESULT_OK);
    EXPECT_EQ(mEnv.mClock.GetSleepCount(), 1);
    EXPECT_EQ(mEnv.mClock.GetTotalSlept(), 1000u);
}

} // namespace
