// Internal to framework/app/sdl.
// PlatformSDL: the platform of this system, over SDL 1.2.
//
// Sections, each with its own source file:
//   start-up, folders, window and display, factories ... PlatformSDL.cpp
//   events, double clicks and key codes ................. PlatformSDLEvents.cpp
//   cursors, threads, clipboard and message boxes ....... PlatformSDLSystem.cpp
//
// The constructor brings up SDL's video (Unicode keys, key repeat after 500 ms every 30 ms)
// and the cursors; the destructor closes the audio device and SDL, then writes the
// settings store. The bundle folder and the alert panel of the system this platform was
// made for come from the stand-ins BundlePath.h and AlertPanel.h (an X11 window of its
// own). Everything runs on the main thread except GetCurrentThreadId and the thread bodies.
#pragma once

#include "app/Platform.h"

#include <cstdint>
#include <string>
#include <vector>

struct SDL_Cursor;
struct SDL_keysym;
union SDL_Event;

namespace Vaxo
{

class SDLDisplay;

class PlatformSDL : public Platform
{
public:
    // The display made by the first InitDisplay; the application owns it (its mDisplay).
    SDLDisplay* mDisplay;
    // SDL cursor per cursor number; the custom-image slot (CURSOR_CUSTOM) stays null, as
    // does a slot SDL failed to make. Owned.
    SDL_Cursor* mCursors[kNumCursors];
    // The SDL cursor last made current, or null.
    SDL_Cursor* mCurrentCursor;
    // The system cursor is visible.
    bool mCursorShown;
    // Milliseconds within which a second press makes a double click.
    uint32_t mDoubleClickTime;
    // A mouse motion arrived since the last button press.
    bool mMovedSinceDown;
    // GetTicks of the last button press (lowered by 10 s after a double click).
    uint32_t mLastDownTick;
    // GetTicks of the last timer event; set by the first DoMessageLoop.
    uint32_t mLastTimerTick;
    bool mTimerStarted;
    // The left button's press was reported as the right button's (Ctrl was held), so its
    // release is too, whatever Ctrl does meanwhile.
    bool mLeftDownAsRight;

public:
    explicit PlatformSDL(VaxoAppBase* app);
    ~PlatformSDL() override;

    // ---- Start-up, folders, window and display (PlatformSDL.cpp) ----
    void AppInit() override;
    // Sets the data folder below HOME and, inside an application bundle, the folder the
    // application makes current (the bundle's "Contents/Resources").
    void ApplePathInit();
    int InitDisplay(bool firstTime) override;
    void DestroyDisplay() override;
    void HandlePrematureExit() override;
    bool Redraw(TRect<int>* rect) override;
    NativeImage* CreateNativeImage() override;
    Font* CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                     bool fourthFlag) override;
    MusicInterface* CreateMusicInterface() override;
    SoundManager* CreateSoundManager() override;
    // The program's arguments, the program's name first, each holding a blank quoted.
    std::string GetCmdLine() override;

    // ---- Events (PlatformSDLEvents.cpp) ----
    // Drains SDL's event queue into the application's window events.
    void DoMessageLoop() override;
    // The double-click rule, then the button's window event.
    void HandleButtonDown(SDL_Event& event);
    void HandleKeyPress(const SDL_keysym& keysym, bool down);
    bool IsMouseIn(bool checkFocus) override;
    TPoint<int> GetMousePos() override;

    // ---- Cursors, threads, clipboard and message boxes (PlatformSDLSystem.cpp) ----
    void InitCursors();
    // -1 and numbers above 12 show the arrow; 12 and failed slots the invisible cursor.
    void SetCursor(int cursor) override;
    uint32_t GetCurrentThreadId() override;
    HTHREAD_* BeginThread(uint32_t (*proc)(void*), void* arg) override;
    void WaitForThread(HTHREAD_* thread) override;
    // Leaves full screen for the box, on the main thread only.
    void BeginPopup() override;
    // Off the main thread nothing is shown and the answer is 2 (Cancel). Before a panel window
    // it leaves full screen (BeginPopup); input queued meanwhile for the program is dropped.
    int MessageBoxA(const char* text, const char* caption, uint32_t type, bool modal) override;
    int MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal) override;

private:
    // Closes the audio device however often the mixer was opened.
    void CloseAudioDevice();
    // The caller is the application's main thread (or Init has not named it yet).
    bool OnMainThread();
    void DropInputQueuedDuringPanel();
};

// The KeyCode of an SDL 1.2 key symbol; 0 for a key without one. Stored demos and
// games rely on these numbers, the non-US choices included.
int32_t SDLKeyToKeyCode(int32_t sym);

// One command line from the program's arguments: separated by blanks, an argument that
// holds a blank in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& args);

// The system's alert panel with up to three buttons (null: none; no button title at all
// gives the panel's own default button). Answers 1 default, 0 alternate, -1 other.
int MacMessageBox(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton);

} // namespace Vaxo
