// Window events against a test platform: the queue's rules and answers, focus and
// minimising, the screen-mode and developer keys, mouse capture and the mouse entering
// and leaving the window, and the cursor the application asks for.
#include "app/support/AppTestEnv.h"
#include "common/VaxoPerf.h"
#include "graphics/NativeDisplay.h"
#include "widgets/WidgetManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

using namespace Vaxo;

namespace
{

// Says whether the mouse is in the window as the test sets it, and logs the capture and
// cursor-image calls.
class EventPlatform : public TestPlatform
{
public:
    bool mMouseInWindow = true;
    bool mCursorImageChanges = false;

    using TestPlatform::TestPlatform;
    bool IsMouseIn(bool) override { return mMouseInWindow; }
    TPoint<int> GetMousePos() override { return TPoint<int>(700, 500); }
    void SetCapture() override { Log("SetCapture"); }
    void ReleaseCapture() override { Log("ReleaseCapture"); }
    bool SetCursorImage(Image* image) override
    {
        Log(image == nullptr ? "SetCursorImage(null)" : "SetCursorImage(image)");
        return mCursorImageChanges;
    }
};

class EventApp : public RecordingApp
{
public:
    void GotFocus() override { Platform()->Log("GotFocus"); }
    void LostFocus() override { Platform()->Log("LostFocus"); }
};

class WinEvents : public ::testing::Test
{
protected:
    WinEvents()
    {
        SetPlatformFactory(
            [this](VaxoAppBase* app)
            {
                mPlatform = new EventPlatform(app);
                return mPlatform;
            });
        mApp.reset(new EventApp());
    }

    void Send(WinEventType type, int param = 0, int x = 0, int y = 0)
    {
        mApp->HandleWinEvent(type, param, x, y, nullptr);
    }
    // Sends and handles the event.
    void Handle(WinEventType type, int param = 0, int x = 0, int y = 0)
    {
        Send(type, param, x, y);
        mApp->ProcessDeferredMessages(false);
    }
    std::string Queue() const
    {
        std::ostringstream out;
        for (const WinEvent& event : mApp->mDeferredMessages)
            out << (out.tellp() > 0 ? " " : "") << event.mType;
        return out.str();
    }
    // The platform calls since the last look, then forgets them.
    std::vector<std::string> TakeCalls()
    {
        std::vector<std::string> calls = mPlatform->mCalls;
        mPlatform->mCalls.clear();
        return calls;
    }

    AppTestEnv mEnv; // restores the platform factory when the test ends
    EventPlatform* mPlatform = nullptr;
    std::unique_ptr<EventApp> mApp;
};

TEST_F(WinEvents, QueueCoalescesTimersAndColourChangesAndEndsAtClose)
{
    struct Row
    {
        std::vector<WinEventType> sent;
        const char* queued;
    };
    const Row rows[] = {
        {{WINEVENT_TIMER, WINEVENT_TIMER}, "2"},
        {{WINEVENT_TIMER, WINEVENT_MOUSEMOVE, WINEVENT_TIMER}, "2 11 2"},
        {{WINEVENT_SYSCOLORCHANGE, WINEVENT_DISPLAYCHANGE}, "19"},
        {{WINEVENT_DISPLAYCHANGE, WINEVENT_MOUSEMOVE, WINEVENT_SYSCOLORCHANGE}, "20 11"},
        {{WINEVENT_MOUSEMOVE, WINEVENT_CLOSE, WINEVENT_KEYDOWN, WINEVENT_TIMER, WINEVENT_CLOSE}, "11 17"},
    };
    for (const Row& row : rows)
    {
        mApp->mDeferredMessages.clear();
        for (WinEventType type : row.sent)
            Send(type);
        EXPECT_EQ(Queue(), row.queued);
    }

    // A system box is up: events are dropped, but activation is still noted.
    mApp->mDeferredMessages.clear();
    mApp->mIsPopupOpen = true;
    Send(WINEVENT_MOUSEMOVE);
    Send(WINEVENT_ACTIVATEAPP, 0);
    EXPECT_EQ(Queue(), "");
    EXPECT_FALSE(mApp->mActive);
}

TEST_F(WinEvents, AltKeysAndCloseAreAnsweredAsHandledButAltF4IsLeftToTheSystem)
{
    struct Row
    {
        WinEventType type;
        int param;
        int answer;
        int result; // what the result word holds afterwards (it starts at 99)
    };
    const Row rows[] = {
        {WINEVENT_SYSKEYDOWN, 'Q', 1, 0}, {WINEVENT_SYSKEYDOWN, 115, 0, 99}, {WINEVENT_CLOSE, 0, 1, 0},
        {WINEVENT_KEYDOWN, 'Q', 0, 99},   {WINEVENT_SYSKEYUP, 'Q', 0, 99},   {WINEVENT_TIMER, 100, 0, 99},
    };
    for (const Row& row : rows)
    {
        mApp->mDeferredMessages.clear();
        int result = 99;
        EXPECT_EQ(mApp->HandleWinEvent(row.type, row.param, 0, 0, &result), row.answer) << row.type;
        EXPECT_EQ(result, row.result) << row.type;
    }
}

TEST_F(WinEvents, FocusLossAndMinimisingMuteAndUnmuteInBalance)
{
    mApp->Init();
    TakeCalls();
    struct Row
    {
        WinEventType type;
        int param;
        bool muted;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {WINEVENT_ACTIVATEAPP, 0, true, {"LostFocus", "ReleaseCapture"}},
        {WINEVENT_SIZE, 0, true, {}}, // minimised while inactive
        {WINEVENT_SIZE, 1, true, {}},
        {WINEVENT_ACTIVATEAPP, 1, false, {"GotFocus"}},
        {WINEVENT_SIZE, 0, true, {"LostFocus", "ReleaseCapture"}}, // minimised while active
        {WINEVENT_SIZE, 1, false, {"GotFocus"}},
        {WINEVENT_ACTIVATEAPP, 1, false, {}},
    };
    for (const Row& row : rows)
    {
        Handle(row.type, row.param);
        EXPECT_EQ(mApp->IsMuted(), row.muted) << row.type << " " << row.param;
        EXPECT_EQ(TakeCalls(), row.calls) << row.type << " " << row.param;
    }
    EXPECT_EQ(mApp->mAutoMuteCount, 0);

    mApp->mMuteOnLostFocus = false;
    Handle(WINEVENT_ACTIVATEAPP, 0);
    EXPECT_FALSE(mApp->IsMuted());
}

TEST_F(WinEvents, AltEnterTogglesTheScreenModeAndGoesNoFurther)
{
    mApp->Init();
    WidgetManager& widgets = *mApp->mWidgetManager;
    Handle(WINEVENT_KEYDOWN, 17);
    ASSERT_TRUE(widgets.mKeyDown[17]);
    TakeCalls();

    Handle(WINEVENT_SYSKEYDOWN, 13);
    EXPECT_FALSE(mApp->mIsWindowed);
    EXPECT_EQ(mPlatform->CallsStartingWith("InitDisplay").size(), 1u);
    EXPECT_FALSE(widgets.mKeyDown[13]);
    EXPECT_FALSE(widgets.mKeyDown[17]) << "the keys held are forgotten";
    EXPECT_FALSE(mApp->mCtrlDown);

    // With a forced mode it is a key like any other; plain Enter always is.
    mApp->mForceFullscreen = true;
    Handle(WINEVENT_SYSKEYDOWN, 13);
    EXPECT_TRUE(widgets.mKeyDown[13]);
    Handle(WINEVENT_KEYUP, 13);
    mApp->mForceFullscreen = false;
    Handle(WINEVENT_KEYDOWN, 13);
    EXPECT_TRUE(widgets.mKeyDown[13]);
    EXPECT_EQ(mPlatform->CallsStartingWith("InitDisplay").size(), 1u);
}

TEST_F(WinEvents, CtrlAltDEnablesTheDeveloperKeys)
{
    VaxoPerf::ResetForTest();
    mApp->Init();
    WidgetManager& widgets = *mApp->mWidgetManager;
    Handle(WINEVENT_KEYDOWN, 121); // F10, not yet a developer key
    EXPECT_TRUE(widgets.mKeyDown[121]);
    Handle(WINEVENT_KEYUP, 121);

    Handle(WINEVENT_KEYDOWN, 17);
    Handle(WINEVENT_SYSKEYDOWN, 18);
    Handle(WINEVENT_SYSKEYDOWN, 'D');
    Handle(WINEVENT_KEYUP, 17);
    Handle(WINEVENT_KEYUP, 18);
    ASSERT_TRUE(mApp->mDebugKeysEnabled);

    Handle(WINEVENT_KEYDOWN, 121);
    EXPECT_FALSE(widgets.mKeyDown[121]) << "consumed";
    gForceDisplay = false;
    Handle(WINEVENT_KEYDOWN, 114); // F3: the overlay with 0 at once, and the key goes on
    EXPECT_TRUE(mApp->mShowFPS);
    EXPECT_EQ(mApp->mShowFPSMode, 0);
    EXPECT_TRUE(gForceDisplay);
    EXPECT_TRUE(widgets.mKeyDown[114]);
    Handle(WINEVENT_KEYDOWN, 16);
    Handle(WINEVENT_KEYDOWN, 114);
    EXPECT_EQ(mApp->mShowFPSMode, 1);
    Handle(WINEVENT_KEYDOWN, 114);
    EXPECT_EQ(mApp->mShowFPSMode, 0);
    EXPECT_TRUE(mApp->mShowFPS);

    Handle(WINEVENT_KEYDOWN, 119); // Shift+F8: acceleration switched, and said so
    EXPECT_TRUE(mApp->Is3DAccelerated());
    EXPECT_EQ(mPlatform->CallsStartingWith("MessageBoxA"),
              std::vector<std::string>{"MessageBoxA(0,Mode Switch,3D-Mode: ON)"});
    Handle(WINEVENT_KEYUP, 16);

    Handle(WINEVENT_KEYDOWN, 113); // F2: profiling on, then off with its results
    EXPECT_TRUE(VaxoPerf::IsPerfOn());
    Handle(WINEVENT_KEYDOWN, 113);
    EXPECT_FALSE(VaxoPerf::IsPerfOn());
    EXPECT_EQ(mPlatform->CallsStartingWith("MessageBoxA(0,Perf Results").size(), 1u);
    EXPECT_EQ(mApp->mTimeAcc, 0.0);
    VaxoPerf::ResetForTest();
}

TEST_F(WinEvents, TheMouseEntersTheWindowAndTheCaptureEndsWithTheLastButton)
{
    mApp->Init();
    mApp->mMouseIn = false;
    TakeCalls();
    Handle(WINEVENT_MOUSEMOVE, 0, 5, 6);
    EXPECT_TRUE(mApp->mMouseIn);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"SetCursor(0)", "SetCursorImage(null)"}));
    EXPECT_EQ(mApp->mWidgetManager->mLastMouseX, 5);

    struct Row
    {
        WinEventType type;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {WINEVENT_LBUTTONDOWN, {"SetCapture"}},
        {WINEVENT_RBUTTONDOWN, {"SetCapture"}},
        {WINEVENT_LBUTTONUP, {}},
        {WINEVENT_RBUTTONUP, {"ReleaseCapture"}},
        {WINEVENT_MBUTTONDOWN, {"SetCapture"}},
        {WINEVENT_MBUTTONUP, {"ReleaseCapture"}},
    };
    for (const Row& row : rows)
    {
        Handle(row.type, 0, 5, 6);
        EXPECT_EQ(TakeCalls(), row.calls) << row.type;
    }

    // The timer notices the mouse leaving; after a crash report mouse events do nothing.
    mApp->mRunning = true;
    mPlatform->mMouseInWindow = false;
    Handle(WINEVENT_TIMER, 100);
    EXPECT_FALSE(mApp->mMouseIn);
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"SetCursor(-1)", "SetCursorImage(null)"}));
    mApp->mSEHOccured = true;
    Handle(WINEVENT_LBUTTONDOWN, 0, 5, 6);
    EXPECT_FALSE(mApp->mMouseIn);
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(WinEvents, EnforceCursorPicksThePlatformCursorOrTheCustomImage)
{
    mApp->Init();
    MemoryImage image(mApp.get());
    struct Row
    {
        bool mouseIn;
        bool customEnabled;
        int slot; // where the image is, -1 none
        int cursor;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {false, true, 3, 3, {"SetCursor(-1)", "SetCursorImage(null)"}},
        {true, false, -1, 1, {"SetCursor(1)", "SetCursorImage(null)"}},
        {true, false, 1, 1, {"SetCursor(1)", "SetCursorImage(null)"}},
        {true, true, 1, 1, {"SetCursorImage(image)", "SetCursor(11)"}},
        {true, false, 12, 12, {"SetCursorImage(image)", "SetCursor(11)"}},
    };
    for (const Row& row : rows)
    {
        for (Image*& slot : mApp->mCursorImages)
            slot = nullptr;
        if (row.slot >= 0)
            mApp->mCursorImages[row.slot] = &image;
        mApp->mMouseIn = row.mouseIn;
        mApp->mCustomCursorsEnabled = row.customEnabled;
        TakeCalls();
        mApp->SetCursor(row.cursor);
        EXPECT_EQ(TakeCalls(), row.calls) << row.slot << " " << row.cursor;
    }

    // Numbers outside 0 to 12 name no slot.
    for (Image*& slot : mApp->mCursorImages)
        slot = nullptr;
    mApp->SetCursorImage(-1, &image);
    mApp->SetCursorImage(13, &image);
    EXPECT_TRUE(TakeCalls().empty());
    for (Image* slot : mApp->mCursorImages)
        EXPECT_EQ(slot, nullptr);

    // A changed cursor image asks for a present.
    mPlatform->mCursorImageChanges = true;
    mApp->mCustomCursorDirty = false;
    mApp->SetCursorImage(12, &image);
    EXPECT_TRUE(mApp->mCustomCursorDirty);
}

} // namespace
