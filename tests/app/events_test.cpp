// Window events against a test platform: the queue's rules and answers, focus and
// minimising, the developer and screen-mode keys, mouse capture and the mouse entering
// and leaving the window, and the cursor the application asks for.
#include "app/support/AppTestEnv.h"
#include "common/VaxoPerf.h"
#include "widgets/WidgetManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

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
        SetPlatformFactory([this](VaxoAppBase* app) { return mPlatform = new EventPlatform(app); });
        mApp.reset(new EventApp());
    }

    // Sends the event and, unless only queued, handles it.
    void Send(WinEventType type, int param = 0, bool handle = true)
    {
        mApp->HandleWinEvent(type, param, 5, 6, nullptr);
        if (handle)
            mApp->ProcessDeferredMessages(false);
    }
    // The queued types, or the platform calls since the last look, joined by blanks.
    std::string Queue() const
    {
        std::string out;
        for (const WinEvent& event : mApp->mDeferredMessages)
            out += (out.empty() ? "" : " ") + std::to_string(event.mType);
        return out;
    }
    std::string TakeCalls()
    {
        std::string out;
        for (const std::string& call : mPlatform->mCalls)
            out += (out.empty() ? "" : " ") + call;
        mPlatform->mCalls.clear();
        return out;
    }

    AppTestEnv mEnv; // restores the platform factory when the test ends
    EventPlatform* mPlatform = nullptr;
    std::unique_ptr<EventApp> mApp;
};

TEST_F(WinEvents, TheQueueCoalescesTimersAndColourChangesEndsAtCloseAndAnswersAltKeys)
{
    const std::pair<std::vector<WinEventType>, const char*> sequences[] = {
        {{WINEVENT_TIMER, WINEVENT_TIMER}, "2"},
        {{WINEVENT_TIMER, WINEVENT_MOUSEMOVE, WINEVENT_TIMER}, "2 11 2"},
        {{WINEVENT_SYSCOLORCHANGE, WINEVENT_DISPLAYCHANGE}, "19"},
        {{WINEVENT_DISPLAYCHANGE, WINEVENT_MOUSEMOVE, WINEVENT_SYSCOLORCHANGE}, "20 11"},
        {{WINEVENT_MOUSEMOVE, WINEVENT_CLOSE, WINEVENT_KEYDOWN, WINEVENT_TIMER, WINEVENT_CLOSE}, "11 17"},
    };
    for (const auto& sequence : sequences)
    {
        mApp->mDeferredMessages.clear();
        for (WinEventType type : sequence.first)
            Send(type, 0, false);
        EXPECT_EQ(Queue(), sequence.second);
    }

    // Type, key, answer, and the result word afterwards (it starts at 99): Alt keys and
    // the close are the program's, Alt+F4 the system's.
    const std::tuple<WinEventType, int, int, int> answers[] = {
        {WINEVENT_SYSKEYDOWN, 'Q', 1, 0}, {WINEVENT_SYSKEYDOWN, 115, 0, 99}, {WINEVENT_CLOSE, 0, 1, 0},
        {WINEVENT_KEYDOWN, 'Q', 0, 99},   {WINEVENT_SYSKEYUP, 'Q', 0, 99},   {WINEVENT_TIMER, 100, 0, 99},
    };
    for (const auto& row : answers)
    {
        mApp->mDeferredMessages.clear();
        int result = 99;
        EXPECT_EQ(mApp->HandleWinEvent(std::get<0>(row), std::get<1>(row), 0, 0, &result), std::get<2>(row));
        EXPECT_EQ(result, std::get<3>(row)) << std::get<0>(row);
    }

    // A system box is up: events are dropped, but activation is still noted.
    mApp->mDeferredMessages.clear();
    mApp->mIsPopupOpen = true;
    Send(WINEVENT_MOUSEMOVE, 0, false);
    Send(WINEVENT_ACTIVATEAPP, 0, false);
    EXPECT_EQ(Queue(), "");
    EXPECT_FALSE(mApp->mActive);
}

TEST_F(WinEvents, FocusLossAndMinimisingMuteAndUnmuteInBalance)
{
    mApp->Init();
    TakeCalls();
    // Event, parameter, muted afterwards, platform calls and hooks.
    const std::tuple<WinEventType, int, bool, const char*> rows[] = {
        {WINEVENT_ACTIVATEAPP, 0, true, "LostFocus ReleaseCapture"},
        {WINEVENT_SIZE, 0, true, ""}, // minimised while inactive
        {WINEVENT_SIZE, 1, true, ""},
        {WINEVENT_ACTIVATEAPP, 1, false, "GotFocus"},
        {WINEVENT_SIZE, 0, true, "LostFocus ReleaseCapture"}, // minimised while active
        {WINEVENT_SIZE, 1, false, "GotFocus"},
        {WINEVENT_ACTIVATEAPP, 1, false, ""},
    };
    for (const auto& row : rows)
    {
        Send(std::get<0>(row), std::get<1>(row));
        EXPECT_EQ(mApp->IsMuted(), std::get<2>(row)) << &row - rows;
        EXPECT_EQ(TakeCalls(), std::get<3>(row)) << &row - rows;
    }
    EXPECT_EQ(mApp->mAutoMuteCount, 0);
    mApp->mMuteOnLostFocus = false;
    Send(WINEVENT_ACTIVATEAPP, 0);
    EXPECT_FALSE(mApp->IsMuted());
}

TEST_F(WinEvents, CtrlAltDEnablesTheDeveloperKeysAndAltEnterSwitchesTheScreenMode)
{
    VaxoPerf::ResetForTest();
    mApp->Init();
    const bool* keyDown = mApp->mWidgetManager->mKeyDown;
    Send(WINEVENT_KEYDOWN, 121); // F10, not yet a developer key
    EXPECT_TRUE(keyDown[121]);
    for (auto key : {std::make_pair(WINEVENT_KEYDOWN, 17),
                     {WINEVENT_SYSKEYDOWN, 18},
                     {WINEVENT_SYSKEYDOWN, 'D'},
                     {WINEVENT_KEYUP, 17},
                     {WINEVENT_KEYUP, 18},
                     {WINEVENT_KEYUP, 121}})
        Send(key.first, key.second);
    ASSERT_TRUE(mApp->mDebugKeysEnabled);

    Send(WINEVENT_KEYDOWN, 121);
    EXPECT_FALSE(keyDown[121]) << "consumed";
    gForceDisplay = false;
    Send(WINEVENT_KEYDOWN, 114); // F3: the overlay with 0 at once, and the key goes on
    EXPECT_TRUE(mApp->mShowFPS && gForceDisplay && keyDown[114]);
    EXPECT_EQ(mApp->mShowFPSMode, 0);
    Send(WINEVENT_KEYDOWN, 16);
    Send(WINEVENT_KEYDOWN, 114);
    EXPECT_EQ(mApp->mShowFPSMode, 1);
    Send(WINEVENT_KEYDOWN, 114);
    EXPECT_EQ(mApp->mShowFPSMode, 0);
    Send(WINEVENT_KEYDOWN, 119); // Shift+F8: acceleration switched, and said so
    EXPECT_TRUE(mApp->Is3DAccelerated());
    EXPECT_EQ(mPlatform->CallsStartingWith("MessageBoxA"),
              std::vector<std::string>{"MessageBoxA(0,Mode Switch,3D-Mode: ON)"});
    Send(WINEVENT_KEYUP, 16);

    Send(WINEVENT_KEYDOWN, 113); // F2: profiling on, then off with its results
    EXPECT_TRUE(VaxoPerf::IsPerfOn());
    Send(WINEVENT_KEYDOWN, 113);
    EXPECT_FALSE(VaxoPerf::IsPerfOn());
    EXPECT_EQ(mPlatform->CallsStartingWith("MessageBoxA(0,Perf Results").size(), 1u);
    VaxoPerf::ResetForTest();

    // Alt+Enter switches the screen mode and goes no further; the keys held are forgotten.
    Send(WINEVENT_KEYDOWN, 17);
    const bool windowed = mApp->mIsWindowed;
    Send(WINEVENT_SYSKEYDOWN, 13);
    EXPECT_EQ(mApp->mIsWindowed, !windowed);
    EXPECT_FALSE(keyDown[13] || keyDown[17] || mApp->mCtrlDown);
}

TEST_F(WinEvents, AltEnterUnderAForcedScreenModeAndPlainEnterAreKeysLikeAnyOther)
{
    mApp->Init();
    const bool* keyDown = mApp->mWidgetManager->mKeyDown;
    mApp->mForceFullscreen = true;
    Send(WINEVENT_SYSKEYDOWN, 13);
    EXPECT_TRUE(keyDown[13]);
    Send(WINEVENT_KEYUP, 13);
    mApp->mForceFullscreen = false;
    mApp->mForceWindowed = true;
    Send(WINEVENT_SYSKEYDOWN, 13);
    EXPECT_TRUE(keyDown[13]);
    Send(WINEVENT_KEYUP, 13);
    mApp->mForceWindowed = false;
    Send(WINEVENT_KEYDOWN, 13);
    EXPECT_TRUE(keyDown[13]);
    EXPECT_EQ(mPlatform->CallsStartingWith("InitDisplay").size(), 1u);
}

TEST_F(WinEvents, TheMouseEntersTheWindowAndTheCaptureEndsWithTheLastButton)
{
    mApp->Init();
    mApp->mMouseIn = false;
    TakeCalls();
    const std::pair<WinEventType, const char*> rows[] = {
        {WINEVENT_MOUSEMOVE, "SetCursor(0) SetCursorImage(null)"}, // entering: the cursor is set
        {WINEVENT_LBUTTONDOWN, "SetCapture"},
        {WINEVENT_RBUTTONDOWN, "SetCapture"},
        {WINEVENT_LBUTTONUP, ""},
        {WINEVENT_RBUTTONUP, "ReleaseCapture"},
        {WINEVENT_MBUTTONDOWN, "SetCapture"},
        {WINEVENT_MBUTTONUP, "ReleaseCapture"},
    };
    for (const auto& row : rows)
    {
        Send(row.first);
        EXPECT_EQ(TakeCalls(), row.second) << row.first;
    }

    // The timer notices the mouse leaving.
    mApp->mRunning = true;
    mPlatform->mMouseInWindow = false;
    Send(WINEVENT_TIMER, 100);
    EXPECT_FALSE(mApp->mMouseIn);
    EXPECT_EQ(TakeCalls(), "SetCursor(-1) SetCursorImage(null)");
}

TEST_F(WinEvents, AfterACrashReportMouseEventsDoNothing)
{
    mApp->Init();
    mApp->mMouseIn = false;
    TakeCalls();
    mApp->mSEHOccured = true;
    Send(WINEVENT_LBUTTONDOWN);
    EXPECT_FALSE(mApp->mMouseIn);
    EXPECT_EQ(TakeCalls(), "");
}

TEST_F(WinEvents, EnforceCursorPicksThePlatformCursorOrTheCustomImage)
{
    mApp->Init();
    MemoryImage image(mApp.get());
    // Mouse in the window, custom cursors on, the slot holding the image (-1 none), the
    // cursor asked for, the platform calls.
    const std::tuple<bool, bool, int, int, const char*> rows[] = {
        {false, true, 3, 3, "SetCursor(-1) SetCursorImage(null)"},
        {true, false, -1, 1, "SetCursor(1) SetCursorImage(null)"},
        {true, false, 1, 1, "SetCursor(1) SetCursorImage(null)"},
        {true, true, 1, 1, "SetCursorImage(image) SetCursor(11)"},
        {true, false, 12, 12, "SetCursorImage(image) SetCursor(11)"},
    };
    for (const auto& row : rows)
    {
        std::fill(std::begin(mApp->mCursorImages), std::end(mApp->mCursorImages), nullptr);
        if (std::get<2>(row) >= 0)
            mApp->mCursorImages[std::get<2>(row)] = &image;
        mApp->mMouseIn = std::get<0>(row);
        mApp->mCustomCursorsEnabled = std::get<1>(row);
        TakeCalls();
        mApp->SetCursor(std::get<3>(row));
        EXPECT_EQ(TakeCalls(), std::get<4>(row)) << &row - rows;
    }

    // Numbers outside 0 to 12 name no slot.
    std::fill(std::begin(mApp->mCursorImages), std::end(mApp->mCursorImages), nullptr);
    mApp->SetCursorImage(-1, &image);
    mApp->SetCursorImage(13, &image);
    EXPECT_EQ(TakeCalls(), "");
    EXPECT_EQ(std::count(std::begin(mApp->mCursorImages), std::end(mApp->mCursorImages), nullptr), 13);

    // A changed cursor image asks for a present.
    mPlatform->mCursorImageChanges = true;
    mApp->mCustomCursorDirty = false;
    mApp->SetCursorImage(12, &image);
    EXPECT_TRUE(mApp->mCustomCursorDirty);
}

} // namespace
