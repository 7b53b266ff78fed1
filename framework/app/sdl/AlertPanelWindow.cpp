// The alert panel's X11 window. It opens a connection of its own, so that it works before
// the program's window exists and from any thread, and leaves SDL's connection alone. The
// picture is drawn into a pixmap that serves as the window's background: the server
// repaints what another window uncovered without waiting for this thread.
#include "app/sdl/AlertPanelWindow.h"

#include <atomic>
#include <mutex>

#include <SDL.h>
#include <SDL_syswm.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace Vaxo
{

namespace
{
// The framework's bevel palette: face, light edge, dark edge, inner shadow; text in black.
enum PanelColor
{
    kFace,
    kLight,
    kDark,
    kShadow,
    kColorCount
};
const unsigned short kPaletteGrey[kColorCount] = {212, 255, 0, 132};

// The program's own window, when SDL shows one on X: its display's name and the window the
// window manager sees.
struct GameWindow
{
    std::string mDisplayName;
    Window mWindow = 0;
};

GameWindow FindGameWindow()
{
    GameWindow game;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetVideoSurface() == nullptr)
        return game;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) != 1 || info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr)
        return game;
    game.mDisplayName = DisplayString(info.info.x11.display);
    game.mWindow = info.info.x11.wmwindow;
    return game;
}

// Latin-1, the framework's narrow text, as UTF-8 for the window manager's title.
std::string Latin1ToUtf8(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
    {
        if (c < 0x80)
            out += char(c);
        else
        {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// While it lives, X errors on one connection pass quietly: a window of another client may
// go away between two requests. Xlib has one error handler for the whole process, so errors
// on any other connection (SDL's, on another thread) still reach the one that was in place.
class QuietXErrors
{
public:
    explicit QuietXErrors(Display* display) : mLock(Lock()), mDisplay(display)
    {
        sQuiet = display;
        sPrevious = XSetErrorHandler(Handler);
    }
    ~QuietXErrors()
    {
        // The errors of the requests made meanwhile arrive while they are still quiet.
        XSync(mDisplay, False);
        XSetErrorHandler(sPrevious);
        sQuiet = nullptr;
    }
    QuietXErrors(const QuietXErrors&) = delete;
    QuietXErrors& operator=(const QuietXErrors&) = delete;

private:
    static int Handler(Display* display, XErrorEvent* error)
    {
        if (display == sQuiet)
            return 0;
        const XErrorHandler previous = sPrevious;
        return previous != nullptr ? previous(display, error) : 0;
    }
    // Two panels on two threads would otherwise put back each other's handler.
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }

    static std::atomic<Display*> sQuiet;
    static std::atomic<XErrorHandler> sPrevious;
    std::lock_guard<std::mutex> mLock;
    Display* mDisplay;
};
std::atomic<Display*> QuietXErrors::sQuiet{nullptr};
std::atomic<XErrorHandler> QuietXErrors::sPrevious{nullptr};

class PanelWindow
{
public:
    PanelWindow(Display* display, XFontStruct* font, bool ownFont)
        : mDisplay(display), mFont(font), mOwnFont(ownFont)
    {
        mScreen = DefaultScreen(mDisplay);
    }
    ~PanelWindow()
    {
        if (mWindow != 0)
            XDestroyWindow(mDisplay, mWindow);
        if (mPixmap != 0)
            XFreePixmap(mDisplay, mPixmap);
        if (mGC != nullptr)
            XFreeGC(mDisplay, mGC);
        if (mOwnFont)
            XFreeFont(mDisplay, mFont);
        else
            XFreeFontInfo(nullptr, mFont, 1);
    }
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    void Open(const AlertPanelRequest& request, Window parent)
    {
        AlertPanelFont font{mFont->ascent, mFont->descent, [this](const std::string& text) {
                                return int32_t(XTextWidth(mFont, text.data(), int(text.size())));
                            }};
        mLayout = LayOutAlertPanel(request, font, DisplayHeight(mDisplay, mScreen) - 64);
        // The panel takes the focus when it shows; whoever had it gets it back when it closes.
        XGetInputFocus(mDisplay, &mFocusBefore, &mRevertBefore);
        const int x = (DisplayWidth(mDisplay, mScreen) - mLayout.mWidth) / 2;
        const int y = (DisplayHeight(mDisplay, mScreen) - mLayout.mHeight) / 2;

        AllocateColors();
        XSetWindowAttributes attributes;
        attributes.background_pixel = mColors[kFace];
        attributes.event_mask =
            KeyPressMask | ButtonPressMask | ButtonReleaseMask | Button1MotionMask | StructureNotifyMask;
        mWindow = XCreateWindow(mDisplay, RootWindow(mDisplay, mScreen), x, y, unsigned(mLayout.mWidth),
                                unsigned(mLayout.mHeight), 0, CopyFromParent, InputOutput, CopyFromParent,
                                CWBackPixel | CWEventMask, &attributes);
        mPixmap = XCreatePixmap(mDisplay, mWindow, unsigned(mLayout.mWidth), unsigned(mLayout.mHeight),
                                unsigned(DefaultDepth(mDisplay, mScreen)));
        // A new GC draws in the server's default font already; the fid of that font's
        // description names the default GC, no font.
        mGC = XCreateGC(mDisplay, mWindow, 0, nullptr);
        if (mOwnFont)
            XSetFont(mDisplay, mGC, mFont->fid);
        SetWindowManagerHints(request, parent, x, y);
        // The program's focus events as SDL sees them, to know whether taking the focus told
        // its window that it lost the keyboard (see TellGameItHasTheKeyboard). From another
        // thread, that window may be gone by now.
        mGameWindow = parent;
        if (mGameWindow != 0)
        {
            QuietXErrors quiet(mDisplay);
            XSelectInput(mDisplay, mGameWindow, FocusChangeMask);
        }
        Draw();
        XMapRaised(mDisplay, mWindow);
    }

    // Handles the panel's events until a button is pressed; answers its answer.
    int Run()
    {
        for (;;)
        {
            XEvent event;
            XNextEvent(mDisplay, &event);
            int pressed = -1;
            switch (event.type)
            {
            case MapNotify:
                TakeFocus();
                break;
            case KeyPress:
                pressed = KeyButton(XLookupKeysym(&event.xkey, 0));
                break;
            case ButtonPress:
                if (event.xbutton.button == Button1 && ButtonAt(event.xbutton.x, event.xbutton.y) >= 0)
                    SetHeld(ButtonAt(event.xbutton.x, event.xbutton.y), true);
                break;
            case MotionNotify:
                if (mHeld >= 0)
                    SetHeld(mHeld, ButtonAt(event.xmotion.x, event.xmotion.y) == mHeld);
                break;
            case ButtonRelease:
                if (event.xbutton.button == Button1 && mHeld >= 0)
                {
                    if (ButtonAt(event.xbutton.x, event.xbutton.y) == mHeld)
                        pressed = mHeld;
                    SetHeld(-1, false);
                }
                break;
            case FocusIn:
            case FocusOut:
                NoteGameFocus(event.xfocus);
                break;
            case ClientMessage:
                if (event.xclient.format == 32 && Atom(event.xclient.data.l[0]) == mDeleteWindow)
                    pressed = mLayout.mCancelButton;
                break;
            default:
                break;
            }
            if (pressed >= 0)
                return mLayout.mButtons[size_t(pressed)].mAnswer;
        }
    }

    // Without a window manager nobody else gives the focus back: the program's window would
    // stay without it, muted and deaf to keys. Only when the panel still has it: a user who
    // put it elsewhere meanwhile keeps it there. The window that had it may be gone or
    // unmapped by now.
    void GiveFocusBack()
    {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(mDisplay, &focus, &revert);
        if (focus != mWindow)
            return;
        QuietXErrors quiet(mDisplay);
        XWindowAttributes attributes;
        if (mFocusBefore == None || mFocusBefore == PointerRoot ||
            (XGetWindowAttributes(mDisplay, mFocusBefore, &attributes) != 0 &&
             attributes.map_state == IsViewable))
            XSetInputFocus(mDisplay, mFocusBefore, mRevertBefore, CurrentTime);
        TellGameItHasTheKeyboard();
    }

private:
    // SDL counts the program's window focused or not by these events alone, whatever their
    // detail, and passes over those of a grab.
    void NoteGameFocus(const XFocusChangeEvent& focus)
    {
        if (mGameWindow != 0 && focus.window == mGameWindow && focus.mode != NotifyGrab &&
            focus.mode != NotifyUngrab)
            mGameFocusLost = focus.type == FocusOut;
    }

    // Under the pointer root the keyboard goes to the window under the pointer, but X tells a
    // window so only when the focus itself changes, never when the pointer moves. The program's
    // window, told that it lost the keyboard when the panel took it while the pointer rested
    // there, hears nothing when the pointer root comes back with the pointer on the panel or
    // elsewhere: SDL would count the program inactive for good, and its buttons refuse every
    // click. It is told as X tells a window with the pointer on it.
    void TellGameItHasTheKeyboard()
    {
        XSync(mDisplay, False);
        XEvent event;
        while (mGameWindow != 0 && XCheckWindowEvent(mDisplay, mGameWindow, FocusChangeMask, &event))
            NoteGameFocus(event.xfocus);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(mDisplay, &focus, &revert);
        if (!mGameFocusLost || focus != PointerRoot)
            return;
        event = XEvent();
        event.xfocus.type = FocusIn;
        event.xfocus.display = mDisplay;
        event.xfocus.window = mGameWindow;
        event.xfocus.mode = NotifyNormal;
        event.xfocus.detail = NotifyPointer;
        XSendEvent(mDisplay, mGameWindow, False, FocusChangeMask, &event);
        mGameFocusLost = false;
    }

    void AllocateColors()
    {
        const Colormap colormap = DefaultColormap(mDisplay, mScreen);
        for (int i = 0; i < kColorCount; ++i)
        {
            XColor color;
            color.red = color.green = color.blue = static_cast<unsigned short>(kPaletteGrey[i] * 257);
            color.flags = DoRed | DoGreen | DoBlue;
            // A full colormap still gets a picture in black and white.
            if (XAllocColor(mDisplay, colormap, &color) != 0)
                mColors[i] = color.pixel;
            else
                mColors[i] =
                    kPaletteGrey[i] < 128 ? BlackPixel(mDisplay, mScreen) : WhitePixel(mDisplay, mScreen);
        }
    }

    void SetWindowManagerHints(const AlertPanelRequest& request, Window parent, int x, int y)
    {
        XStoreName(mDisplay, mWindow, request.mTitle.c_str());
        const std::string utf8 = Latin1ToUtf8(request.mTitle);
        XChangeProperty(mDisplay, mWindow, XInternAtom(mDisplay, "_NET_WM_NAME", False),
                        XInternAtom(mDisplay, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));

        // Placed centred by the program, and of one size only.
        XSizeHints* size = XAllocSizeHints();
        size->flags = USPosition | PPosition | PMinSize | PMaxSize;
        size->x = x;
        size->y = y;
        size->min_width = size->max_width = mLayout.mWidth;
        size->min_height = size->max_height = mLayout.mHeight;
        XSetWMNormalHints(mDisplay, mWindow, size);
        XFree(size);

        XWMHints* hints = XAllocWMHints();
        hints->flags = InputHint | StateHint;
        hints->input = True;
        hints->initial_state = NormalState;
        XSetWMHints(mDisplay, mWindow, hints);
        XFree(hints);

        char name[] = "vaxoalert";
        char className[] = "VaxoAlert";
        XClassHint classHint{name, className};
        XSetClassHint(mDisplay, mWindow, &classHint);

        mDeleteWindow = XInternAtom(mDisplay, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(mDisplay, mWindow, &mDeleteWindow, 1);

        Atom dialog = XInternAtom(mDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XChangeProperty(mDisplay, mWindow, XInternAtom(mDisplay, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&dialog), 1);
        // Over the program's window and modal to it; without one, above the others.
        if (parent != 0)
            XSetTransientForHint(mDisplay, mWindow, parent);
        Atom state =
            XInternAtom(mDisplay, parent != 0 ? "_NET_WM_STATE_MODAL" : "_NET_WM_STATE_ABOVE", False);
        XChangeProperty(mDisplay, mWindow, XInternAtom(mDisplay, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&state), 1);
    }

    void FillRect(int color, int x, int y, int width, int height)
    {
        XSetForeground(mDisplay, mGC, mColors[color]);
        XFillRectangle(mDisplay, mPixmap, mGC, x, y, unsigned(width), unsigned(height));
    }

    void DrawText(int x, int y, const std::string& text, bool bold)
    {
        XSetForeground(mDisplay, mGC, mColors[kDark]);
        XDrawString(mDisplay, mPixmap, mGC, x, y, text.data(), int(text.size()));
        if (bold) // the core font has no bold face: overstrike one pixel to the right
            XDrawString(mDisplay, mPixmap, mGC, x + 1, y, text.data(), int(text.size()));
    }

    // A bevelled button as the framework's controls draw it: raised, or sunken with its
    // label one pixel down and right while held; the default button framed in black.
    void DrawButton(const AlertPanelButton& button, bool sunken, bool isDefault)
    {
        const int x = button.mRect.mX, y = button.mRect.mY, w = button.mRect.mWidth, h = button.mRect.mHeight;
        if (isDefault)
        {
            FillRect(kDark, x - 2, y - 2, w + 4, h + 4);
            FillRect(kFace, x - 1, y - 1, w + 2, h + 2);
        }
        // Outer edges, then the inner shadow: bottom and right when raised, top and left when sunken.
        FillRect(sunken ? kLight : kDark, x, y, w, h);
        FillRect(sunken ? kDark : kLight, x, y, w - 1, h - 1);
        FillRect(kShadow, x + 1, y + 1, w - 2, h - 2);
        FillRect(kFace, sunken ? x + 2 : x + 1, sunken ? y + 2 : y + 1, w - 3, h - 3);
        const int textWidth = XTextWidth(mFont, button.mTitle.data(), int(button.mTitle.size()));
        const int shift = sunken ? 1 : 0;
        DrawText(x + (w - textWidth) / 2 + shift, y + (h - mLayout.mLineHeight) / 2 + mFont->ascent + shift,
                 button.mTitle, false);
    }

    void Draw()
    {
        FillRect(kFace, 0, 0, mLayout.mWidth, mLayout.mHeight);
        int y = mLayout.mTitleTop + mFont->ascent;
        for (const std::string& line : mLayout.mTitleLines)
        {
            DrawText(mLayout.mTextX, y, line, true);
            y += mLayout.mLineHeight;
        }
        y = mLayout.mMessageTop + mFont->ascent;
        for (const std::string& line : mLayout.mMessageLines)
        {
            DrawText(mLayout.mTextX, y, line, false);
            y += mLayout.mLineHeight;
        }
        for (size_t i = 0; i < mLayout.mButtons.size(); ++i)
            DrawButton(mLayout.mButtons[i], int(i) == mHeld && mHeldInside, i == 0);
        XSetWindowBackgroundPixmap(mDisplay, mWindow, mPixmap);
        XClearWindow(mDisplay, mWindow);
    }

    // Return must reach the panel. Only a viewable window may take the focus (an X error
    // here would end the program); when it closes, the focus follows the pointer again, as
    // on a server without a window manager, whose manager otherwise hands it on.
    void TakeFocus()
    {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(mDisplay, mWindow, &attributes) != 0 && attributes.map_state == IsViewable)
            XSetInputFocus(mDisplay, mWindow, RevertToPointerRoot, CurrentTime);
    }

    int ButtonAt(int x, int y) const
    {
        for (size_t i = 0; i < mLayout.mButtons.size(); ++i)
        {
            const TRect<int32_t>& r = mLayout.mButtons[i].mRect;
            if (x >= r.mX && y >= r.mY && x < r.mX + r.mWidth && y < r.mY + r.mHeight)
                return int(i);
        }
        return -1;
    }

    int KeyButton(KeySym key) const
    {
        if (key == XK_Return || key == XK_KP_Enter)
            return 0;
        if (key == XK_Escape)
            return mLayout.mCancelButton;
        return -1;
    }

    void SetHeld(int button, bool inside)
    {
        if (button == mHeld && inside == mHeldInside)
            return;
        mHeld = button;
        mHeldInside = inside;
        Draw();
    }

    Display* mDisplay;
    XFontStruct* mFont;
    // XLoadQueryFont's font (freed with XFreeFont), else XQueryFont's (XFreeFontInfo).
    bool mOwnFont;
    int mScreen = 0;
    Window mWindow = 0;
    Pixmap mPixmap = 0;
    GC mGC = nullptr;
    Atom mDeleteWindow = 0;
    unsigned long mColors[kColorCount] = {};
    AlertPanelLayout mLayout;
    // The input focus before the panel took it (a window, None or PointerRoot), and where
    // it was to revert to.
    Window mFocusBefore = None;
    int mRevertBefore = RevertToPointerRoot;
    // The program's window the panel stands over (0 for none), and whether SDL was last told
    // that it lost the keyboard since the panel opened.
    Window mGameWindow = 0;
    bool mGameFocusLost = false;
    // The button the left mouse button went down on, or -1; whether the pointer is still on it.
    int mHeld = -1;
    bool mHeldInside = false;
};
} // namespace

bool ShowAlertPanelWindow(const AlertPanelRequest& request, int* answer)
{
    const GameWindow game = FindGameWindow();
    Display* display = XOpenDisplay(game.mDisplayName.empty() ? nullptr : game.mDisplayName.c_str());
    if (display == nullptr)
        return false;
    // "fixed" is there on every X server; the server's default font otherwise.
    bool ownFont = true;
    XFontStruct* font = XLoadQueryFont(display, "fixed");
    if (font == nullptr)
    {
        ownFont = false;
        font = XQueryFont(display, XGContextFromGC(DefaultGC(display, DefaultScreen(display))));
    }
    if (font == nullptr)
    {
        XCloseDisplay(display);
        return false;
    }
    {
        PanelWindow panel(display, font, ownFont);
        panel.Open(request, game.mWindow);
        *answer = panel.Run();
        panel.GiveFocusBack();
    }
    XCloseDisplay(display);
    return true;
}

} // namespace Vaxo
