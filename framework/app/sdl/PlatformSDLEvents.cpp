// PlatformSDL events: SDL's event queue turned into the application's window events, the
// double-click rule, and the key codes of SDL's key symbols.
#include "app/sdl/PlatformSDL.h"

#include "app/KeyCodes.h"
#include "app/VaxoAppBase.h"
#include "common/Common.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>

namespace Vaxo
{

namespace
{
// Milliseconds between timer events, at least.
constexpr uint32_t kTimerInterval = 100;
// A double click moves the last press this far into the past, so that a third quick
// press starts a new pair.
constexpr uint32_t kDoubleClickReset = 10000;
} // namespace

int32_t SDLKeyToKeyCode(int32_t sym)
{
    if (sym >= SDLK_a && sym <= SDLK_z)
        return sym - SDLK_a + KEYCODE_A;
    if (sym >= SDLK_0 && sym <= SDLK_9)
        return sym;
    if (sym >= SDLK_KP0 && sym <= SDLK_KP9)
        return sym - SDLK_KP0 + KEYCODE_NUMPAD0;
    if (sym >= SDLK_F1 && sym <= SDLK_F15)
        return sym - SDLK_F1 + KEYCODE_F1;
    switch (sym)
    {
    case SDLK_BACKSPACE:
    case SDLK_TAB:
    case SDLK_CLEAR:
    case SDLK_RETURN:
    case SDLK_PAUSE:
    case SDLK_ESCAPE:
    case SDLK_SPACE:
        return sym;
    // The punctuation keys keep the codes of the layout these numbers were taken from,
    // the key left of Z included.
    case SDLK_QUOTE:
        return KEYCODE_OEM_7;
    case SDLK_COMMA:
        return KEYCODE_OEM_COMMA;
    case SDLK_MINUS:
        return KEYCODE_OEM_MINUS;
    case SDLK_PERIOD:
        return KEYCODE_OEM_PERIOD;
    case SDLK_SLASH:
        return KEYCODE_OEM_2;
    case SDLK_SEMICOLON:
        return KEYCODE_OEM_1;
    case SDLK_LESS:
        return KEYCODE_OEM_102;
    case SDLK_EQUALS:
        return KEYCODE_OEM_PLUS;
    case SDLK_LEFTBRACKET:
        return KEYCODE_OEM_4;
    case SDLK_BACKSLASH:
        return KEYCODE_OEM_5;
    case SDLK_RIGHTBRACKET:
        return KEYCODE_OEM_6;
    case SDLK_BACKQUOTE:
        return KEYCODE_OEM_8;
    case SDLK_DELETE:
        return KEYCODE_DELETE;
    case SDLK_KP_PERIOD:
        return KEYCODE_DECIMAL;
    case SDLK_KP_DIVIDE:
        return KEYCODE_DIVIDE;
    case SDLK_KP_MULTIPLY:
        return KEYCODE_MULTIPLY;
    case SDLK_KP_MINUS:
        return KEYCODE_SUBTRACT;
    case SDLK_KP_PLUS:
        return KEYCODE_ADD;
    case SDLK_UP:
        return KEYCODE_UP;
    case SDLK_DOWN:
        return KEYCODE_DOWN;
    case SDLK_RIGHT:
        return KEYCODE_RIGHT;
    case SDLK_LEFT:
        return KEYCODE_LEFT;
    case SDLK_INSERT:
        return KEYCODE_INSERT;
    case SDLK_HOME:
        return KEYCODE_HOME;
    case SDLK_END:
        return KEYCODE_END;
    case SDLK_PAGEUP:
        return KEYCODE_PRIOR;
    case SDLK_PAGEDOWN:
        return KEYCODE_NEXT;
    case SDLK_NUMLOCK:
        return KEYCODE_NUMLOCK;
    case SDLK_CAPSLOCK:
        return KEYCODE_CAPITAL;
    case SDLK_SCROLLOCK:
        return KEYCODE_SCROLL;
    case SDLK_RSHIFT:
    case SDLK_LSHIFT:
        return KEYCODE_SHIFT;
    case SDLK_RCTRL:
    case SDLK_LCTRL:
        return KEYCODE_CONTROL;
    case SDLK_RALT:
    case SDLK_LALT:
        return KEYCODE_MENU;
    case SDLK_LSUPER:
        return KEYCODE_LWIN;
    case SDLK_RSUPER:
        return KEYCODE_RWIN;
    case SDLK_HELP:
        return KEYCODE_HELP;
    case SDLK_PRINT:
        return KEYCODE_SNAPSHOT;
    case SDLK_BREAK:
        return KEYCODE_CANCEL;
    case SDLK_MENU:
        return KEYCODE_APPS;
    default:
        // Keypad Enter and equals, the Command keys and the rest have no code.
        return KEYCODE_UNKNOWN;
    }
}

void PlatformSDL::DoMessageLoop()
{
    uint32_t now = GetTicks();
    if (!mTimerStarted)
    {
        mTimerStarted = true;
        mLastTimerTick = now;
    }
    if (now - mLastTimerTick >= kTimerInterval && !mApp->mShutdown)
    {
        mLastTimerTick = now;
        mApp->HandleWinEvent(WINEVENT_TIMER, int(kTimerInterval), 0, 0, nullptr);
    }

    SDL_Event event;
    while (SDL_PollEvent(&event))
    {
        // Once shutting down, the event just taken is dropped and no more are read.
        if (mApp->mShutdown)
            break;
        switch (event.type)
        {
        case SDL_ACTIVEEVENT:
            if ((event.active.state & SDL_APPINPUTFOCUS) != 0)
                mApp->HandleWinEvent(WINEVENT_ACTIVATEAPP, event.active.gain != 0 ? 1 : 0, 0, 0, nullptr);
            if ((event.active.state & SDL_APPACTIVE) != 0)
                mApp->HandleWinEvent(WINEVENT_SIZE, event.active.gain != 0 ? 1 : 0, 0, 0, nullptr);
            break;
        case SDL_KEYDOWN:
            HandleKeyPress(event.key.keysym, true);
            break;
        case SDL_KEYUP:
            HandleKeyPress(event.key.keysym, false);
            break;
        case SDL_MOUSEMOTION:
            mMovedSinceDown = true;
            mApp->HandleWinEvent(WINEVENT_MOUSEMOVE, 0, event.motion.x, event.motion.y, nullptr);
            break;
        case SDL_MOUSEBUTTONDOWN:
            // Ctrl-click is a right click; its release must then be one too.
            if (event.button.button == SDL_BUTTON_LEFT)
            {
                mLeftDownAsRight = mApp->mCtrlDown;
                if (mLeftDownAsRight)
                    event.button.button = SDL_BUTTON_RIGHT;
            }
            HandleButtonDown(event);
            break;
        case SDL_MOUSEBUTTONUP:
        {
            int button = event.button.button;
            if (button == SDL_BUTTON_LEFT && mLeftDownAsRight)
            {
                button = SDL_BUTTON_RIGHT;
                mLeftDownAsRight = false;
            }
            if (button == SDL_BUTTON_LEFT)
                mApp->HandleWinEvent(WINEVENT_LBUTTONUP, 0, event.button.x, event.button.y, nullptr);
            else if (button == SDL_BUTTON_MIDDLE)
                mApp->HandleWinEvent(WINEVENT_MBUTTONUP, 0, event.button.x, event.button.y, nullptr);
            else if (button == SDL_BUTTON_RIGHT)
                mApp->HandleWinEvent(WINEVENT_RBUTTONUP, 0, event.button.x, event.button.y, nullptr);
            break;
        }
        case SDL_QUIT:
            mApp->HandleWinEvent(WINEVENT_CLOSE, 0, 0, 0, nullptr);
            break;
        case SDL_VIDEOEXPOSE:
            if (mApp->mFullRedraw)
            {
                mApp->mWidgetManager->MarkAllDirty();
                mApp->DrawDirtyStuff();
            }
            else
            {
                Redraw(nullptr);
            }
            break;
        default:
            break;
        }
    }
}

void PlatformSDL::HandleButtonDown(SDL_Event& event)
{
    const int button = event.button.button;
    // A wheel notch is no press: a click after it is a click, and two clicks around it
    // still pair.
    if (button == SDL_BUTTON_WHEELUP || button == SDL_BUTTON_WHEELDOWN)
    {
        mApp->HandleWinEvent(WINEVENT_MOUSEWHEEL, button == SDL_BUTTON_WHEELUP ? kWheelNotch : -kWheelNotch,
                             0, 0, nullptr);
        return;
    }
    uint32_t now = GetTicks();
    const int x = event.button.x;
    const int y = event.button.y;
    bool handled = false;
    if (!mMovedSinceDown && now - mLastDownTick < mDoubleClickTime &&
        (button == SDL_BUTTON_LEFT || button == SDL_BUTTON_RIGHT))
    {
        mApp->HandleWinEvent(button == SDL_BUTTON_LEFT ? WINEVENT_LBUTTONDBLCLK : WINEVENT_RBUTTONDBLCLK, 0,
                             x, y, nullptr);
        handled = true;
        now -= kDoubleClickReset;
    }
    mLastDownTick = now;
    mMovedSinceDown = false;
    if (handled)
        return;
    switch (button)
    {
    case SDL_BUTTON_LEFT:
        mApp->HandleWinEvent(WINEVENT_LBUTTONDOWN, 0, x, y, nullptr);
        break;
    case SDL_BUTTON_MIDDLE:
        mApp->HandleWinEvent(WINEVENT_MBUTTONDOWN, 0, x, y, nullptr);
        break;
    case SDL_BUTTON_RIGHT:
        mApp->HandleWinEvent(WINEVENT_RBUTTONDOWN, 0, x, y, nullptr);
        break;
    default:
        break;
    }
}

void PlatformSDL::HandleKeyPress(const SDL_keysym& keysym, bool down)
{
    const int32_t key = SDLKeyToKeyCode(keysym.sym);
    const bool alt = (keysym.mod & (KMOD_LALT | KMOD_RALT)) != 0;
    WinEventType type =
        down ? (alt ? WINEVENT_SYSKEYDOWN : WINEVENT_KEYDOWN) : (alt ? WINEVENT_SYSKEYUP : WINEVENT_KEYUP);
    mApp->HandleWinEvent(type, key, 0, 0, nullptr);
    // Characters beyond 8 bits cannot be passed on; with Alt held a key is a command.
    if (down && !alt && keysym.unicode >= 1 && keysym.unicode <= 254)
        mApp->HandleWinEvent(WINEVENT_CHAR, keysym.unicode, 0, 0, nullptr);
    if (down && alt && key == KEYCODE_F4)
        mApp->HandleWinEvent(WINEVENT_CLOSE, 0, 0, 0, nullptr);
}

bool PlatformSDL::IsMouseIn(bool)
{
    return (SDL_GetAppState() & SDL_APPMOUSEFOCUS) != 0;
}

TPoint<int> PlatformSDL::GetMousePos()
{
    int x = 0;
    int y = 0;
    SDL_GetMouseState(&x, &y);
    return TPoint<int>(x, y);
}

} // namespace Vaxo
