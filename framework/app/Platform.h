// Platform: what a window system must supply to the application object.
//
// The application (VaxoAppBase) owns exactly one platform object and reaches the window,
// input, threads, cursors, clipboard, message boxes, fonts and the audio factories only
// through it. Every operation has a harmless default (nothing, false, 0, null or an
// empty string), so a port overrides what its window system offers and the application
// runs, without window, sound or input, on the bare base. PlatformSDL (framework/app/sdl)
// is the platform of this system; tests use a recording stand-in.
//
// The application makes its platform through a replaceable factory (SetPlatformFactory),
// so tests can run the whole object headless.
#pragma once

#include "graphics/Rect.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Vaxo
{

class Font;
class Image;
class MusicInterface;
class NativeImage;
class SoundManager;
class VaxoAppBase;

// Opaque thread handle of the platform: a thread is a pointer to it, null means none.
struct HTHREAD_;

// Cursor numbers, the same for the platform's shapes (SetCursor) and the application's
// cursor slots (VaxoAppBase::SetCursor, SetCursorImage).
enum CursorNumber : int32_t
{
    CURSOR_NONE = -1, // no cursor at all: the mouse is outside, or a crash was reported
    CURSOR_POINTER = 0,
    CURSOR_HAND = 1,
    CURSOR_DRAGGING = 2,
    CURSOR_TEXT = 3,     // the I-beam
    CURSOR_NO_ENTRY = 4, // also what a playing demo shows over the window
    CURSOR_SIZE_ALL = 5, // the sizing arrows, 5 to 9
    CURSOR_SIZE_NESW = 6,
    CURSOR_SIZE_NS = 7,
    CURSOR_SIZE_NWSE = 8,
    CURSOR_SIZE_WE = 9,
    CURSOR_WAIT = 10,      // the hourglass
    CURSOR_INVISIBLE = 11, // shown while a custom image stands for the cursor
    CURSOR_CUSTOM = 12     // the slot whose image shows even with custom cursors off; no shape
};
constexpr int32_t kNumCursors = 13;

// Message-box styles (MessageBoxA's type, VaxoAppBase::MsgBox's flags) in the Windows
// numbering: a set of buttons in the low four bits, and an icon above them.
enum MessageBoxStyle : uint32_t
{
    MSGBOX_OK = 0,
    MSGBOX_OK_CANCEL = 1,
    MSGBOX_ABORT_RETRY_IGNORE = 2,
    MSGBOX_YES_NO_CANCEL = 3,
    MSGBOX_YES_NO = 4,
    MSGBOX_RETRY_CANCEL = 5,
    MSGBOX_BUTTONS = 0xF, // the bits that choose the buttons
    MSGBOX_ICON_ERROR = 16,
    MSGBOX_ICON_QUESTION = 32,
    // The application's error boxes: OK alone, with the error icon.
    MSGBOX_ERROR = MSGBOX_OK | MSGBOX_ICON_ERROR
};

// What a message box answers: the button pressed (Windows numbering).
enum MessageBoxAnswer : int32_t
{
    MSGBOX_ANSWER_NONE = 0, // the base platform, which shows no box
    MSGBOX_ANSWER_OK = 1,
    MSGBOX_ANSWER_CANCEL = 2, // also a box closed otherwise, or one that could not be shown
    MSGBOX_ANSWER_ABORT = 3,
    MSGBOX_ANSWER_RETRY = 4,
    MSGBOX_ANSWER_IGNORE = 5,
    MSGBOX_ANSWER_YES = 6,
    MSGBOX_ANSWER_NO = 7
};

class Platform
{
public:
    // The owning application; not owned.
    VaxoAppBase* mApp;
    // The executable's path as GetExePath reports it; nothing fills it on this system.
    std::string mExePath;

public:
    explicit Platform(VaxoAppBase* app);
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform();

    // First call of the application's Init: caption, focus flags, folders, settings store.
    virtual void AppInit() {}
    virtual bool IsAlreadyRunning() { return false; }
    virtual void NotifyGameCopy() {}
    virtual bool IsTabletPC() { return false; }
    // Makes (or re-makes) the window and display; a display result code (0 = OK). The
    // base has no display: 2, the code of a refused video mode.
    virtual int InitDisplay(bool firstTime);
    virtual void DestroyDisplay() {}
    virtual void RestoreScreenResolution() {}
    // Last step before the process ends through VaxoAppBase::DoExit.
    virtual void HandlePrematureExit() {}
    virtual bool Handle3DProblems() { return false; }
    // Presents the frame; false when the display has failed.
    virtual bool Redraw(TRect<int>* rect);
    // tick: GetAccurateTime milliseconds; called at most once a second while drawing.
    virtual void UpdateScreenSaverInfo(uint32_t tick) { (void)tick; }
    // A CursorNumber: one of the shapes, or CURSOR_NONE.
    virtual void SetCursor(int cursor) { (void)cursor; }
    // Shows the image as the cursor (null: none); true when the shown cursor changed.
    virtual bool SetCursorImage(Image* image);
    virtual void ShowWindow(int showCommand) { (void)showCommand; }
    // Message boxes never block in tests. type: a MessageBoxStyle; the answer a
    // MessageBoxAnswer (MSGBOX_ANSWER_NONE from the base, which shows no box).
    virtual int MessageBoxA(const char* text, const char* caption, uint32_t type, bool modal);
    virtual int MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal);
    virtual void BeginPopup() {}
    virtual void EndPopup() {}
    virtual bool IsMinimized() { return false; }
    virtual void SetCapture() {}
    virtual void ReleaseCapture() {}
    virtual void BringToFront() {}
    virtual void HandleWindowMove() {}
    virtual bool IsMouseIn(bool checkFocus);
    // Mouse position in window pixels.
    virtual TPoint<int> GetMousePos();
    virtual void FinishInitWindow() {}
    virtual void HandleNewWindowShowing() {}
    // Turns pending window-system events into VaxoAppBase::HandleWinEvent calls.
    virtual void DoMessageLoop() {}
    // Factories: new objects owned by the caller, or null when the platform has none.
    virtual MusicInterface* CreateMusicInterface() { return nullptr; }
    virtual SoundManager* CreateSoundManager() { return nullptr; }
    virtual void CopyToClipboard(const std::string& text) { (void)text; }
    virtual std::string GetClipboard() { return std::string(); }
    virtual NativeImage* CreateNativeImage() { return nullptr; }
    virtual Font* CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                             bool fourthFlag);
    virtual void TakeScreenshot() {}
    virtual void DumpProgramInfo() {}
    virtual void ShowMemoryUsage() {}
    virtual std::string& GetExePath() { return mExePath; }
    virtual std::string GetProductVersion(const std::string& path);
    // The whole command line, the program's name first.
    virtual std::string GetCmdLine() { return std::string(); }
    // Any thread. 0 from the base, which cannot tell threads apart.
    virtual uint32_t GetCurrentThreadId() { return 0; }
    // Runs proc(arg) on a new thread; null when no thread was started.
    virtual HTHREAD_* BeginThread(uint32_t (*proc)(void*), void* arg);
    // Blocks until the thread has ended and frees its handle.
    virtual void WaitForThread(HTHREAD_* thread) { (void)thread; }
    // priority: 2 normal, 3 raised; a null thread means the calling one.
    virtual void SetThreadPriority(HTHREAD_* thread, int priority);
    // Bodies of the cursor and timer threads (run on those threads).
    virtual void CursorThreadProc() {}
    virtual void TimerThreadProc() {}

protected:
    // The per-user data folder: $HOME (or "/"), "Library/Application Support/", the
    // application's company name, "/", its product name, "/".
    std::string DataFolderBelowHome() const;
    // Sets the data folder (DataFolderBelowHome) and opens the settings store
    // "registry.bin" in it. For the platforms' AppInit.
    void OpenSettingsStore();
};

// Makes the platform of an application; the application owns the result.
typedef std::function<Platform*(VaxoAppBase*)> PlatformFactory;
// Installs the factory the VaxoAppBase constructor uses (an empty one restores the
// default); returns the one it replaces. Install before constructing the application.
PlatformFactory SetPlatformFactory(PlatformFactory factory);
// The platform a new application gets: from the installed factory, else the default.
Platform* CreatePlatform(VaxoAppBase* app);
// The platform of this system, made when no factory is installed.
Platform* CreateDefaultPlatform(VaxoAppBase* app);

} // namespace Vaxo
