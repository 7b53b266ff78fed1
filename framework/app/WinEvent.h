// WinEvent: the window events the platform hands to the application.
//
// The platform turns window-system events into VaxoAppBase::HandleWinEvent calls, which
// queue them as WinEvent records; the main loop takes them one per step
// (ProcessDeferredMessages) and passes them on to the widget manager, the focus logic,
// the screen-mode code or Shutdown. Demos record these numbers, so they never change.
#pragma once

#include <cstdint>

namespace Vaxo
{

enum WinEventType : int32_t
{
    WINEVENT_SIZE = 0,        // shown or minimised; param 0 minimised, 2 maximise request
    WINEVENT_MOVE = 1,        // window moved
    WINEVENT_TIMER = 2,       // periodic tick of the platform
    WINEVENT_LBUTTONDOWN = 3, // mouse events 3 to 11 carry x, y in window pixels
    WINEVENT_RBUTTONDOWN = 4,
    WINEVENT_MBUTTONDOWN = 5,
    WINEVENT_LBUTTONDBLCLK = 6,
    WINEVENT_RBUTTONDBLCLK = 7,
    WINEVENT_LBUTTONUP = 8,
    WINEVENT_RBUTTONUP = 9,
    WINEVENT_MBUTTONUP = 10,
    WINEVENT_MOUSEMOVE = 11,
    WINEVENT_KEYDOWN = 12,    // param: key code
    WINEVENT_SYSKEYDOWN = 13, // key down with Alt held
    WINEVENT_KEYUP = 14,
    WINEVENT_SYSKEYUP = 15,
    WINEVENT_CHAR = 16,       // param: character code
    WINEVENT_CLOSE = 17,      // the user asked to close the window
    WINEVENT_MOUSEWHEEL = 18, // param: kWheelNotch per notch, positive away from the user
    WINEVENT_SYSCOLORCHANGE = 19,
    WINEVENT_DISPLAYCHANGE = 20,
    WINEVENT_ACTIVATEAPP = 21 // param non-zero: the application became active
};

// What a WINEVENT_MOUSEWHEEL's param counts per notch of the wheel (demos record notches).
constexpr int32_t kWheelNotch = 120;

// One queued window event.
struct WinEvent
{
    WinEventType mType;
    int32_t mX;
    int32_t mY;
    // Key code, character, wheel delta or flag, by type.
    int32_t mParam;
};

} // namespace Vaxo
