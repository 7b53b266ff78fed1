// Window events, input and focus: the platform's events are queued by HandleWinEvent and
// handed on one per loop step by ProcessDeferredMessages; focus follows activation and
// minimising, muting and unmuting in balance.
#include "app/VaxoAppBase.h"

#include "widgets/WidgetManager.h"

namespace Vaxo
{

int VaxoAppBase::HandleWinEvent(WinEventType type, int param, int x, int y, int* result)
{
    // PENDING: activation, pop-up, Ctrl/Alt and developer-key handling, demo keys,
    // coalescing of timer and colour events, and the answers for Alt keys and close.
    if (type < WINEVENT_SIZE || type > WINEVENT_ACTIVATEAPP)
        return 0;
    if (!mDeferredMessages.empty() && mDeferredMessages.back().mType == WINEVENT_CLOSE)
        return 0;
    mDeferredMessages.push_back(WinEvent{type, x, y, param});
    if (type == WINEVENT_CLOSE)
    {
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
        WinEvent event = mDeferredMessages.front();
        mDeferredMessages.pop_front();
        // PENDING: demo recording of the event, and every event type other than close
        // (mouse, keys, focus, size, timer, colour and display changes).
        if (event.mType == WINEVENT_CLOSE)
        {
            mCloseRequested = true;
            Shutdown();
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

bool VaxoAppBase::DebugKeyDown(int)
{
    // PENDING: the developer keys (F2 profiling, F3 overlay, F8 3D switch, F10, F11).
    return false;
}

bool VaxoAppBase::DebugKeyDownAsync(int, bool, bool)
{
    return false;
}

void VaxoAppBase::CloseRequestAsync() {}
void VaxoAppBase::GotFocus() {}
void VaxoAppBase::LostFocus() {}

} // namespace Vaxo
