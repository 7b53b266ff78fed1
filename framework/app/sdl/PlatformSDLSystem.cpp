// PlatformSDL services: the 13 cursors, threads over SDL threads, the screen before a
// system box, and the message boxes over the alert panel.
#include "app/sdl/PlatformSDL.h"

#include "app/VaxoAppBase.h"
#include "app/sdl/AlertPanel.h"
#include "app/sdl/SDLCursors.h"
#include "common/Common.h"
#include "graphics/SDLDisplay.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>
#include <SDL_thread.h>

namespace Vaxo
{

namespace
{
// What a new thread needs; owned by the thread once it runs.
struct ThreadStart
{
    uint32_t (*mProc)(void*);
    void* mArg;
};

int SDLThreadFunc(void* record)
{
    ThreadStart* start = static_cast<ThreadStart*>(record);
    uint32_t (*proc)(void*) = start->mProc;
    void* arg = start->mArg;
    delete start;
    return int(proc(arg));
}

// Button titles of a box type and the result of each panel answer.
struct BoxButtons
{
    const char* mDefault;
    const char* mAlternate;
    const char* mOther;
    int mDefaultResult;
    int mAlternateResult;
    int mOtherResult;
};

BoxButtons ButtonsOfType(uint32_t type)
{
    switch (type & MSGBOX_BUTTONS)
    {
    case MSGBOX_OK_CANCEL:
        return {"Cancel", "Ok", nullptr, MSGBOX_ANSWER_CANCEL, MSGBOX_ANSWER_OK, MSGBOX_ANSWER_CANCEL};
    case MSGBOX_ABORT_RETRY_IGNORE:
        return {"Ignore", "Abort", "Retry", MSGBOX_ANSWER_IGNORE, MSGBOX_ANSWER_ABORT, MSGBOX_ANSWER_RETRY};
    case MSGBOX_YES_NO_CANCEL:
        return {"Cancel", "Yes", "No", MSGBOX_ANSWER_CANCEL, MSGBOX_ANSWER_YES, MSGBOX_ANSWER_NO};
    case MSGBOX_YES_NO:
        return {"No", "Yes", nullptr, MSGBOX_ANSWER_NO, MSGBOX_ANSWER_YES, MSGBOX_ANSWER_CANCEL};
    case MSGBOX_RETRY_CANCEL:
        return {"Cancel", "Retry", nullptr, MSGBOX_ANSWER_CANCEL, MSGBOX_ANSWER_RETRY, MSGBOX_ANSWER_CANCEL};
    default:
        // The panel's own single button; every way of closing it is Cancel.
        return {nullptr, nullptr, nullptr, MSGBOX_ANSWER_CANCEL, MSGBOX_ANSWER_CANCEL, MSGBOX_ANSWER_CANCEL};
    }
}
} // namespace

void PlatformSDL::InitCursors()
{
    // SDL cannot make cursors without a video device (it would crash): the slots stay
    // empty, and SetCursor hides the system cursor.
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return;
    for (int i = 0; i < CURSOR_CUSTOM; ++i)
    {
        const CursorPicture& picture = kCursorPictures[i];
        // SDL copies the planes; it only asks for writable pointers.
        Uint8* data = const_cast<Uint8*>(picture.mBits->mBytes);
        mCursors[i] = SDL_CreateCursor(data, data + kCursorPlaneBytes, kCursorSize, kCursorSize,
                                       picture.mHotX, picture.mHotY);
    }
    mCursors[CURSOR_CUSTOM] = nullptr;
}

void PlatformSDL::SetCursor(int cursor)
{
    SDL_Cursor* choice = nullptr;
    if (uint32_t(cursor) >= uint32_t(kNumCursors))
        choice = mCursors[CURSOR_POINTER];
    else
        choice = mCursors[cursor] != nullptr ? mCursors[cursor] : mCursors[CURSOR_INVISIBLE];
    if (choice == mCurrentCursor)
        return;
    mCurrentCursor = choice;
    if (choice != nullptr)
    {
        SDL_SetCursor(choice);
        if (!mCursorShown)
        {
            SDL_ShowCursor(SDL_ENABLE);
            mCursorShown = true;
        }
    }
    else if (mCursorShown)
    {
        // Not even the invisible cursor could be made: hide the system's.
        SDL_ShowCursor(SDL_DISABLE);
        mCursorShown = false;
    }
}

uint32_t PlatformSDL::GetCurrentThreadId()
{
    return SDL_ThreadID();
}

HTHREAD_* PlatformSDL::BeginThread(uint32_t (*proc)(void*), void* arg)
{
    ThreadStart* start = new ThreadStart{proc, arg};
    SDL_Thread* thread = SDL_CreateThread(SDLThreadFunc, start);
    // No thread will ever free the record.
    if (thread == nullptr)
        delete start;
    return reinterpret_cast<HTHREAD_*>(thread);
}

void PlatformSDL::WaitForThread(HTHREAD_* thread)
{
    if (thread != nullptr)
        SDL_WaitThread(reinterpret_cast<SDL_Thread*>(thread), nullptr);
}

bool PlatformSDL::OnMainThread()
{
    // Before Init has taken the main thread's id, the caller can only be that thread.
    return mApp->mPrimaryThreadId == 0 || GetCurrentThreadId() == mApp->mPrimaryThreadId;
}

void PlatformSDL::BeginPopup()
{
    if (mApp->mIsPhysWindowed || mDisplay == nullptr || !mDisplay->mInitialized || !OnMainThread())
        return;
    // A system box cannot show over a full-screen window.
    mApp->SwitchScreenMode(true);
    mApp->mIsPopupOpen = false;
    mApp->mWidgetManager->MarkAllDirty();
    mApp->DrawDirtyStuff();
}

int PlatformSDL::MessageBoxA(const char* text, const char* caption, uint32_t type, bool)
{
    if (!OnMainThread())
        return MSGBOX_ANSWER_CANCEL;
    const BoxButtons buttons = ButtonsOfType(type);
    // SDL holds the pointer and the keyboard in full screen, where the panel could not be
    // answered; callers that did not leave full screen (the 3D question at exit) leave it here.
    const bool window = AlertPanelShowsWindow();
    if (window)
        BeginPopup();
    const int answer = MacMessageBox(caption, text, buttons.mDefault, buttons.mAlternate, buttons.mOther);
    if (window)
        DropInputQueuedDuringPanel();
    switch (answer)
    {
    case kAlertDefaultReturn:
        return buttons.mDefaultResult;
    case kAlertAlternateReturn:
        return buttons.mAlternateResult;
    case kAlertOtherReturn:
        return buttons.mOtherResult;
    default:
        return MSGBOX_ANSWER_CANCEL;
    }
}

void PlatformSDL::DropInputQueuedDuringPanel()
{
    // Clicks and keys that reached the program's window while the modal panel was up were
    // not meant for it.
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0)
        return;
    const Uint32 input = SDL_KEYDOWNMASK | SDL_KEYUPMASK | SDL_MOUSEBUTTONDOWNMASK | SDL_MOUSEBUTTONUPMASK;
    SDL_PumpEvents();
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, input) > 0)
    {
    }
}

int PlatformSDL::MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal)
{
    if (!OnMainThread())
        return MSGBOX_ANSWER_CANCEL;
    std::string narrowText = text != nullptr ? WStringToString(text) : std::string();
    std::string narrowCaption = caption != nullptr ? WStringToString(caption) : std::string();
    return MessageBoxA(narrowText.c_str(), narrowCaption.c_str(), type, modal);
}

int MacMessageBox(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton)
{
    return RunAlertPanel(title, message, defaultButton, alternateButton, otherButton);
}

} // namespace Vaxo
