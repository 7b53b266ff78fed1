// Window events, input and focus: the platform's events are queued by HandleWinEvent and
// handed on one per loop step by ProcessDeferredMessages; focus follows activation and
// minimising, muting and unmuting in balance; the developer keys.
#include "app/VaxoAppBase.h"

#include "app/DemoFile.h"
#include "app/KeyCodes.h"
#include "common/VaxoPerf.h"
#include "widgets/WidgetManager.h"

#include <cstdint>

namespace Vaxo
{

namespace
{
// Milliseconds: a gap this long between timer events starts a new run of them.
constexpr uint32_t kTimerRunGap = 500;
// Milliseconds of timer events before a pending web page is judged, and after its
// opening, the judgements "opened" (application left) and "failed" (still here).
constexpr uint32_t kURLSettleTime = 5000;
constexpr uint32_t kURLOpenedAfter = 8000;
constexpr uint32_t kURLFailedAfter = 12000;

bool IsKeyEvent(WinEventType type)
{
    return type == WINEVENT_KEYDOWN || type == WINEVENT_SYSKEYDOWN || type == WINEVENT_KEYUP ||
           type == WINEVENT_SYSKEYUP;
}

bool IsColorEvent(WinEventType type)
{
    return type == WINEVENT_SYSCOLORCHANGE || type == WINEVENT_DISPLAYCHANGE;
}

bool IsMouseEvent(WinEventType type)
{
    return type >= WINEVENT_LBUTTONDOWN && type <= WINEVENT_MOUSEMOVE;
}

// The developer keys.
constexpr int kKeyF2 = KEYCODE_F1 + 1;
constexpr int kKeyF3 = KEYCODE_F1 + 2;
constexpr int kKeyF8 = KEYCODE_F1 + 7;
constexpr int kKeyF10 = KEYCODE_F1 + 9;
constexpr int kKeyF11 = KEYCODE_F1 + 10;

void MouseButtonUp(VaxoAppBase& app, int x, int y, uint32_t buttonBit, int clickCount)
{
    // The capture ends with the last captured button.
    if ((app.mWidgetManager->mCaptureButtons & ~buttonBit) == 0)
        app.mPlatform->ReleaseCapture();
    app.mWidgetManager->MouseUp(x, y, clickCount);
}

// Writes the demo command of the mouse entering or leaving the window, when recording.
void RecordMouseInWindow(VaxoAppBase& app, bool inWindow)
{
    if (!app.mRecordingDemo || app.mShutdown)
        return;
    BeginDemoCommand(app, inWindow ? DEMO_MOUSE_ENTER : DEMO_MOUSE_LEAVE);
}

void HandleMouseEvent(VaxoAppBase& app, const WinEvent& event)
{
    if (app.mSEHOccured)
        return;
    int x = event.mX;
    int y = event.mY;
    app.mWidgetManager->RemapMouse(x, y);
    app.mWidgetManager->MouseMove(x, y);
    if (!app.mMouseIn)
    {
        RecordMouseInWindow(app, true);
        app.mMouseIn = true;
        app.EnforceCursor();
    }
    switch (event.mType)
    {
    case WINEVENT_LBUTTONDOWN:
        app.mPlatform->SetCapture();
        app.mWidgetManager->MouseDown(x, y, 1);
        break;
    case WINEVENT_RBUTTONDOWN:
        app.mPlatform->SetCapture();
        app.mWidgetManager->MouseDown(x, y, -1);
        break;
    case WINEVENT_MBUTTONDOWN:
        app.mPlatform->SetCapture();
        app.mWidgetManager->MouseDown(x, y, 3);
        break;
    case WINEVENT_LBUTTONDBLCLK:
        app.mPlatform->SetCapture();
        app.mWidgetManager->MouseDown(x, y, 2);
        break;
    case WINEVENT_RBUTTONDBLCLK:
        app.mPlatform->SetCapture();
        app.mWidgetManager->MouseDown(x, y, -2);
        break;
    case WINEVENT_LBUTTONUP:
        MouseButtonUp(app, x, y, 1, 1);
        break;
    case WINEVENT_RBUTTONUP:
        MouseButtonUp(app, x, y, 2, -1);
        break;
    case WINEVENT_MBUTTONUP:
        MouseButtonUp(app, x, y, 4, 3);
        break;
    default:
        break;
    }
}

void HandleTimerEvent(VaxoAppBase& app)
{
    if (app.mSEHOccured || !app.mRunning)
        return;
    const uint32_t t = GetTicks();
    if (t - app.mLastTimerTick > kTimerRunGap)
        app.mTimerRunStart = t;
    app.mLastTimerTick = t;

    if (app.mIsOpeningURL && t - app.mTimerRunStart > kURLSettleTime)
    {
        const uint32_t sinceOpen = t - app.mLastURLOpenTime;
        if (sinceOpen > kURLOpenedAfter && !app.mActive)
            app.URLOpenSucceeded(app.mOpeningURL);
        else if (sinceOpen > kURLFailedAfter && app.mActive)
            app.URLOpenFailed(app.mOpeningURL);
    }

    const bool inWindow = app.mPlatform->IsMouseIn(true);
    if (inWindow == app.mMouseIn)
        return;
    RecordMouseInWindow(app, inWindow);
    if (!inWindow)
    {
        TPoint<int> position = app.mPlatform->GetMousePos();
        app.mWidgetManager->RemapMouse(position.mX, position.mY);
        app.mWidgetManager->MouseExit(position.mX, position.mY);
    }
    app.mMouseIn = inWindow;
    app.EnforceCursor();
}

void HandleKeyDownEvent(VaxoAppBase& app, WinEventType type, int keyCode)
{
    if (type == WINEVENT_SYSKEYDOWN && keyCode == KEYCODE_RETURN && !app.mForceFullscreen &&
        !app.mForceWindowed)
    {
        app.SwitchScreenMode(!app.mIsWindowed);
        app.ClearKeysDown();
        return;
    }
    if (keyCode == 'D' && app.mWidgetManager->mKeyDown[KEYCODE_CONTROL] &&
        app.mWidgetManager->mKeyDown[KEYCODE_MENU])
        app.mDebugKeysEnabled = !app.mDebugKeysEnabled;
    if (app.mDebugKeysEnabled && app.DebugKeyDown(keyCode))
        return;
    app.mWidgetManager->KeyDown(KeyCode(keyCode));
}

void DispatchWinEvent(VaxoAppBase& app, const WinEvent& event)
{
    if (IsMouseEvent(event.mType))
    {
        HandleMouseEvent(app, event);
        return;
    }
    switch (event.mType)
    {
    case WINEVENT_SIZE:
        if (app.mShutdown)
            break;
        app.SetMinimized(event.mParam == 0);
        if (event.mParam == 2 && !app.mForceWindowed)
            app.SwitchScreenMode(false);
        break;
    case WINEVENT_MOVE:
        if (app.mIsWindowed)
            app.mPlatform->HandleWindowMove();
        break;
    case WINEVENT_TIMER:
        HandleTimerEvent(app);
        break;
    case WINEVENT_KEYDOWN:
    case WINEVENT_SYSKEYDOWN:
        HandleKeyDownEvent(app, event.mType, event.mParam);
        break;
    case WINEVENT_KEYUP:
    case WINEVENT_SYSKEYUP:
        app.mWidgetManager->KeyUp(KeyCode(event.mParam));
        break;
    case WINEVENT_CHAR:
        app.mWidgetManager->KeyChar(char(int8_t(event.mParam)));
        break;
    case WINEVENT_CLOSE:
        app.mCloseRequested = true;
        app.Shutdown();
        break;
    case WINEVENT_MOUSEWHEEL:
        app.mWidgetManager->MouseWheel(int8_t(event.mParam / kWheelNotch));
        break;
    case WINEVENT_SYSCOLORCHANGE:
    case WINEVENT_DISPLAYCHANGE:
        app.mWidgetManager->SysColorChangedAll();
        app.mWidgetManager->MarkAllDirty();
        break;
    case WINEVENT_ACTIVATEAPP:
        if (app.mSEHOccured || app.mShutdown)
            break;
        app.RehupFocus();
        if (app.mActive && !app.mIsWindowed)
            app.mWidgetManager->MarkAllDirty();
        if (app.mIsOpeningURL && !app.mActive)
            app.URLOpenSucceeded(app.mOpeningURL);
        break;
    default:
        break;
    }
}

} // namespace

int VaxoAppBase::HandleWinEvent(WinEventType type, int param, int x, int y, int* result)
{
    if (type < WINEVENT_SIZE || type > WINEVENT_ACTIVATEAPP)
        return 0;
    if (type == WINEVENT_ACTIVATEAPP)
    {
        if (mPlayingDemo)
            return 0;
        mActive = param != 0;
        // Keys released in another window never report their release here: a Ctrl
        // left "held" would turn every later left click into a right click.
        if (!mActive)
        {
            mCtrlDown = false;
            mAltDown = false;
        }
    }
    if (mIsPopupOpen)
        return 0;

    if (IsKeyEvent(type))
    {
        const bool down = type == WINEVENT_KEYDOWN || type == WINEVENT_SYSKEYDOWN;
        if (param == KEYCODE_CONTROL)
            mCtrlDown = down;
        if (param == KEYCODE_MENU)
            mAltDown = down;
        if (down && DebugKeyDownAsync(param, mCtrlDown, mAltDown))
        {
            if (result != nullptr)
                *result = 0;
            return 1;
        }
    }

    if (mPlayingDemo)
    {
        // Queued events are not acted on during playback; the playback keys and the
        // developer keys are, at once.
        if (type == WINEVENT_CHAR)
            HandleDemoKeyPress(char(param));
        else if (type == WINEVENT_KEYDOWN && mDebugKeysEnabled)
            DebugKeyDown(param);
    }

    bool queue = true;
    if (!mDeferredMessages.empty())
    {
        const WinEventType last = mDeferredMessages.back().mType;
        if (type == WINEVENT_TIMER && last == WINEVENT_TIMER)
            return 0;
        if (last == WINEVENT_CLOSE)
            queue = false;
        if (IsColorEvent(type))
        {
            for (const WinEvent& queued : mDeferredMessages)
            {
                if (IsColorEvent(queued.mType))
                    queue = false;
            }
        }
    }
    if (queue)
        mDeferredMessages.push_back(WinEvent{type, x, y, param});

    if (type == WINEVENT_SYSKEYDOWN && param != KEYCODE_F4)
    {
        // Alt keys are the program's, not the system menu's; Alt+F4 is left to the system.
        if (result != nullptr)
            *result = 0;
        return 1;
    }
    if (type == WINEVENT_CLOSE)
    {
        CloseRequestAsync();
        if (result != nullptr)
            *result = 0;
        return 1;
    }
    return 0;
}

bool VaxoAppBase::ProcessDeferredMessages(bool singleMessage)
{
    while (!mDeferredMessages.empty())
    {
        const WinEvent event = mDeferredMessages.front();
        mDeferredMessages.pop_front();
        if (mRecordingDemo && !mShutdown)
            DemoRecordWindowMessage(event.mType, event.mParam, event.mX, event.mY);
        if (mPlayingDemo)
        {
            // A live close ends playback: what follows no longer reads the demo.
            if (event.mType == WINEVENT_CLOSE)
            {
                mDemoDetached = true;
                mCloseRequested = true;
                Shutdown();
            }
        }
        else
        {
            DispatchWinEvent(*this, event);
        }
        if (singleMessage)
            break;
    }
    return !mDeferredMessages.empty();
}

void VaxoAppBase::RehupFocus()
{
    bool focus = mActive && !mMinimized;
    if (focus == mHasFocus)
        return;
    mHasFocus = focus;
    if (focus)
    {
        if (mMuteOnLostFocus)
            Unmute(true);
        mWidgetManager->GotFocus();
        GotFocus();
    }
    else
    {
        if (mMuteOnLostFocus)
            Mute(true);
        mWidgetManager->LostFocus();
        LostFocus();
        mPlatform->ReleaseCapture();
        mWidgetManager->DoMouseUps();
    }
}

void VaxoAppBase::SetMinimized(bool minimized)
{
    if (mMinimized == minimized)
        return;
    mMinimized = minimized;
    if (minimized)
    {
        if (mMuteOnLostFocus)
            Mute(true);
    }
    else
    {
        if (mMuteOnLostFocus)
            Unmute(true);
        mWidgetManager->MarkAllDirty();
    }
    RehupFocus();
}

void VaxoAppBase::ClearKeysDown()
{
    if (mWidgetManager != nullptr)
    {
        for (bool& down : mWidgetManager->mKeyDown)
            down = false;
    }
    mAltDown = false;
    mCtrlDown = false;
}

bool VaxoAppBase::IsAltKeyUsed(int keyCode)
{
    int key = keyCode >= 'A' && keyCode <= 'Z' ? keyCode - 'A' + 'a' : keyCode;
    return key == 13 || key == 'r';
}

bool VaxoAppBase::DebugKeyDown(int keyCode)
{
    const bool shift = mWidgetManager->mKeyDown[KEYCODE_SHIFT];
    switch (keyCode)
    {
    case kKeyF3: // the frame-rate overlay
        if (shift)
        {
            mShowFPS = true;
            mShowFPSMode = mShowFPSMode == 0 ? 1 : 0;
        }
        else
        {
            mShowFPS = !mShowFPS;
        }
        mWidgetManager->MarkAllDirty();
        if (mShowFPS)
        {
            gFPSTimer.Start();
            gFrameCount = 0;
            gFPSDisplay = 0;
            gForceDisplay = true;
        }
        return false;
    case kKeyF8: // hardware acceleration, or the memory report
        if (shift)
        {
            Set3DAcclerated(!Is3DAccelerated(), true);
            MsgBox(StrFormat("3D-Mode: %s", Is3DAccelerated() ? "ON" : "OFF"), "Mode Switch", MSGBOX_OK);
        }
        else
        {
            mPlatform->ShowMemoryUsage();
        }
        return true;
    case kKeyF10:
        return true;
    case kKeyF11: // program information, or a screenshot
        if (shift)
            mPlatform->DumpProgramInfo();
        else
            mPlatform->TakeScreenshot();
        return true;
    case kKeyF2: // profiling on, or off with its results
        if (VaxoPerf::IsPerfOn())
        {
            VaxoPerf::EndPerf();
            MsgBox(VaxoPerf::GetResults(), "Perf Results", MSGBOX_OK);
        }
        else
        {
            VaxoPerf::BeginPerf(false);
        }
        // The time spent here is not a backlog of updates.
        mLastTime = GetAccurateTime();
        mTimeAcc = 0.0;
        return false;
    default:
        return false;
    }
}

bool VaxoAppBase::DebugKeyDownAsync(int, bool, bool)
{
    return false;
}

void VaxoAppBase::CloseRequestAsync() {}
void VaxoAppBase::GotFocus() {}
void VaxoAppBase::LostFocus() {}

} // namespace Vaxo
