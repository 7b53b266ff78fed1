// The alert panel: its text wrapping and layout; its fallback to stderr and the default
// answer (no display, VAXO_NO_ALERT_PANEL, a scripted responder); and its real window under
// Xvfb at depth 24 (VAXO_DISPLAY_24; skipped when unset). Each panel is opened by a child
// process through the SDL platform's message box; the test finds the window by its title,
// checks its title, place and picture, answers it with events sent to it, and reads the
// answer from the child's exit status. Where the keyboard focus goes, and whether the
// program's buttons answer after a box, is tested on an Xvfb of the test's own, which no other
// test's window disturbs; there the test moves the pointer and clicks through XTest.
#include "app/sdl/AlertPanel.h"
#include "app/sdl/AlertPanelWindow.h"
#include "app/sdl/PlatformSDL.h"
#include "app/sdl/support/PrivateXServer.h"
#include "app/support/AppTestEnv.h"
#include "common/support/ChildProcess.h"
#include "common/support/TestFolder.h"
#include "graphics/NativeDisplay.h"
#include "widgets/ButtonListener.h"
#include "widgets/ButtonWidget.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <tuple>

// Last: Xlib's macros (None, Status, True) would clash with the headers above.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// What SDL and X keep for the life of the process is not ours to report.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL\nleak:libX11\nleak:libxcb\n";
}

using namespace Vaxo;

namespace
{

// Six pixels a character, as the core font "fixed" measures.
int32_t FixedWidth(const std::string& text)
{
    return int32_t(text.size()) * 6;
}

TEST(AlertPanelLayout, TextWrapsAtBreaksThenBlanksThenCharacters)
{
    // Text, width in characters of six pixels, lines joined by '|'.
    const std::tuple<std::string, int32_t, std::string> rows[] = {
        {"", 10, ""},
        {"short", 10, "short"},
        {"one two three four", 9, "one two|three|four"},
        {"a\r\nb\nc\rd", 10, "a|b|c|d"},
        {"a\n\nb", 10, "a||b"},
        {"trailing\r\n\r\n", 10, "trailing"},
        {"\ttab", 10, "    tab"},
        {"abcdefghijklmnopqrstuvwxy", 10, "abcdefghij|klmnopqrst|uvwxy"},
        {"go abcdefghijkl", 10, "go|abcdefghij|kl"},
        {"  two  blanks", 20, "  two  blanks"},
        {"100% %s %d sure", 20, "100% %s %d sure"},
        {"x", 0, "x"}, // not even one character fits: one a line all the same
    };
    for (const auto& [text, chars, expected] : rows)
    {
        std::string lines;
        const std::vector<std::string> wrapped = WrapAlertText(text, chars * 6, FixedWidth);
        for (size_t i = 0; i < wrapped.size(); ++i)
            lines += (i > 0 ? "|" : "") + wrapped[i];
        EXPECT_EQ(lines, expected) << text;
    }
}

TEST(AlertPanelLayout, ButtonsStandDefaultRightmostAlternateBesideOtherLeft)
{
    const AlertPanelFont font{10, 3, FixedWidth};
    // Titles given (default, alternate, other), titles shown left to right, Escape's button.
    const std::tuple<AlertPanelRequest, std::string, std::string> rows[] = {
        {{"T", "M", "", "", ""}, "OK", "OK"},
        {{"T", "M", "Cancel", "Ok", ""}, "Ok Cancel", "Cancel"},
        {{"T", "M", "Ignore", "Abort", "Retry"}, "Retry Abort Ignore", ""},
        {{"T", "M", "Cancel", "Yes", "No"}, "No Yes Cancel", "Cancel"},
        {{"T", "M", "No", "Yes", ""}, "Yes No", ""},
    };
    for (const auto& [request, shown, cancel] : rows)
    {
        const AlertPanelLayout layout = LayOutAlertPanel(request, font, 768);
        std::vector<const AlertPanelButton*> byX;
        for (const AlertPanelButton& button : layout.mButtons)
            byX.push_back(&button);
        std::sort(byX.begin(), byX.end(), [](auto* a, auto* b) { return a->mRect.mX < b->mRect.mX; });
        std::string titles;
        for (size_t i = 0; i < byX.size(); ++i)
        {
            titles += (i > 0 ? " " : "") + byX[i]->mTitle;
            const TRect<int32_t>& r = byX[i]->mRect;
            // Inside the panel, below the text, apart from the next one.
            EXPECT_TRUE(r.mX >= layout.mTextX && r.mX + r.mWidth <= layout.mWidth - layout.mTextX &&
                        r.mY >= layout.mMessageTop + layout.mLineHeight && r.mY + r.mHeight < layout.mHeight)
                << titles;
            if (i + 1 < byX.size())
            {
                EXPECT_LT(r.mX + r.mWidth, byX[i + 1]->mRect.mX) << titles;
            }
        }
        EXPECT_EQ(titles, shown);
        EXPECT_EQ(layout.mButtons.front().mAnswer, kAlertDefaultReturn);
        EXPECT_EQ(layout.mButtons.back().mRect.mX + layout.mButtons.back().mRect.mWidth < layout.mWidth / 2,
                  !request.mOtherButton.empty())
            << shown;
        EXPECT_EQ(layout.mCancelButton < 0 ? "" : layout.mButtons[size_t(layout.mCancelButton)].mTitle,
                  cancel);
    }
}

TEST(AlertPanelLayout, LongTextWrapsToTheWidthAndIsCutToTheHeight)
{
    const AlertPanelFont font{10, 3, FixedWidth};
    const std::string word = "word ";
    std::string message;
    for (int i = 0; i < 2000; ++i)
        message += word;
    const AlertPanelLayout layout = LayOutAlertPanel({"Title", message, "", "", ""}, font, 400);
    EXPECT_LE(layout.mHeight, 400);
    EXPECT_LT(layout.mWidth, 600); // wrapped, not one line wide
    ASSERT_GT(layout.mMessageLines.size(), 3u);
    for (const std::string& line : layout.mMessageLines)
        EXPECT_LE(FixedWidth(line), layout.mWidth - 2 * layout.mTextX) << line;
    const std::string& last = layout.mMessageLines.back();
    EXPECT_EQ(last.substr(last.size() - 3), "...");

    // A short text keeps a panel wide enough to read, and grows no higher than it needs.
    const AlertPanelLayout small = LayOutAlertPanel({"T", "ok", "", "", ""}, font, 400);
    EXPECT_GE(small.mWidth, 200);
    EXPECT_EQ(small.mMessageLines, std::vector<std::string>{"ok"});
    EXPECT_LT(small.mHeight, 120);
}

// ---- Children: a panel blocks its thread, so each is opened in a process of its own ----

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char kMessage[] = "Hardware Acceleration was switched on during this session.\r\n"
                        "If this resulted in slower performance, it should be switched off.\r\n"
                        "Would you like to keep Hardware Acceleration switched on? 100% %s";

// Where the program's window stands when the box is asked for.
enum class Game
{
    kNone,       // no window (a fatal error in Init)
    kWindowed,   // a window
    kFullScreen, // full screen, the box asked for without leaving it (the 3D question at exit)
    kFocused,    // a window that has the keyboard focus
    kHovered,    // a window the pointer rests on, the keyboard following the pointer
};

// Where the pointer rests on the program's window when it starts, and its button, in the
// window's pixels.
constexpr int kRestX = 60;
constexpr int kRestY = 60;
const TRect<int> kGameButton(200, 160, 80, 40);

// The X connection of the program's SDL window and the window the window manager sees.
SDL_SysWMinfo GameWindowInfo()
{
    SDL_SysWMinfo info{};
    SDL_VERSION(&info.version);
    SDL_GetWMInfo(&info);
    return info;
}

// After the box, a button of the program's window (kGameButton) waits ten seconds for a click,
// the window's title ending in " ready" meanwhile. Whether the click reached the button's
// listener.
bool AButtonAnswersAClick(VaxoAppBase& app, PlatformSDL& platform, const std::string& title)
{
    struct Clicks : ButtonListener
    {
        int mDepressed = 0;
        void ButtonDepress(int) override { ++mDepressed; }
    } clicks;
    const TRect<int> area(0, 0, app.mWidth, app.mHeight);
    app.mWidgetManager->Resize(area, area);
    ButtonWidget button(1, &clicks);
    button.Resize(kGameButton);
    app.mWidgetManager->AddWidget(&button);
    SDL_WM_SetCaption((title + " ready").c_str(), "");
    for (int waited = 0; waited < 1000 && clicks.mDepressed == 0; ++waited)
    {
        platform.DoMessageLoop();
        app.ProcessDeferredMessages(false);
        SDL_Delay(10);
    }
    app.mWidgetManager->RemoveWidget(&button);
    return clicks.mDepressed == 1;
}

// The SDL platform's message box of a type, in a child; the answer is the exit status, plus
// 100 when the program was still full screen afterwards and 20 when clicks on its window
// made while the panel was up are still queued. A focused window's program adds 30 when its
// window does not have the keyboard focus again afterwards, and 60 when SDL did not report
// the focus lost and won back or the application does not count itself focused again. A
// program under the pointer adds 40 when its button does not answer a click afterwards.
int AskThroughThePlatform(uint32_t type, const std::string& title, Game game)
{
    // As in a program, an X error ends it; the test's own handler would let it pass.
    XSetErrorHandler(nullptr);
    setenv("SDL_VIDEODRIVER", game == Game::kNone ? "dummy" : "x11", 1);
    bool up = false;
    for (int attempt = 0; attempt < 20 && !up; ++attempt)
        if (!(up = SDL_Init(SDL_INIT_VIDEO) == 0))
            SDL_Delay(50);
    if (!up)
        return 90;
    AppTestEnv env;
    SetPlatformFactory([](VaxoAppBase* app) { return new PlatformSDL(app); });
    VaxoAppBase app;
    app.mRegKey = "Vaxo\\AlertPanelTest";
    app.mTitle = title + " game";
    app.mWidth = 320;
    app.mHeight = 240;
    PlatformSDL* platform = static_cast<PlatformSDL*>(app.mPlatform.get());
    if (game != Game::kNone)
    {
        platform->AppInit();
        app.RegistryWriteBoolean("Is3D", false);
        app.mIsWindowed = game != Game::kFullScreen;
        if (platform->InitDisplay(true) != NativeDisplay::RESULT_OK)
            return 91;
    }
    const SDL_SysWMinfo window = GameWindowInfo();
    if (game == Game::kFocused)
    {
        window.info.x11.lock_func();
        XSetInputFocus(window.info.x11.display, window.info.x11.wmwindow, RevertToParent, CurrentTime);
        XSync(window.info.x11.display, False);
        window.info.x11.unlock_func();
    }
    const int answer = platform->MessageBoxA(kMessage, title.c_str(), type, true);
    if (game == Game::kNone)
        return answer;
    const bool fullScreen = (SDL_GetVideoSurface()->flags & SDL_FULLSCREEN) != 0;
    SDL_PumpEvents();
    SDL_Event event;
    const bool clicks =
        SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_MOUSEBUTTONDOWNMASK | SDL_MOUSEBUTTONUPMASK) > 0;
    int focusNotBack = 0;
    if (game == Game::kFocused)
    {
        // SDL's focus events as they stand in its queue: '-' lost, '+' won; five seconds at
        // most for the last one.
        std::string focus;
        for (int waited = 0; waited < 500 && (focus.empty() || focus.back() != '+'); ++waited)
        {
            SDL_Delay(10);
            SDL_PumpEvents();
            SDL_Event events[16];
            const int count = SDL_PeepEvents(events, 16, SDL_PEEKEVENT, SDL_ACTIVEEVENTMASK);
            focus.clear();
            for (int i = 0; i < count; ++i)
                if ((events[i].active.state & SDL_APPINPUTFOCUS) != 0)
                    focus += events[i].active.gain != 0 ? '+' : '-';
        }
        Window holder = 0;
        int revert = 0;
        window.info.x11.lock_func();
        XGetInputFocus(window.info.x11.display, &holder, &revert);
        window.info.x11.unlock_func();
        platform->DoMessageLoop();
        focusNotBack = (holder == window.info.x11.wmwindow ? 0 : 30) +
                       (focus == "-+" && app.mHasFocus && app.mWidgetManager->mAppHasFocus ? 0 : 60);
    }
    const int deadButton =
        game == Game::kHovered && !AButtonAnswersAClick(app, *platform, app.mTitle) ? 40 : 0;
    return answer + (fullScreen ? 100 : 0) + (clicks ? 20 : 0) + focusNotBack + deadButton;
}

// ---- The test's own connection to the display ----

// Other tests' windows come and go on the same server: one that went away between two
// requests is an error to pass over, never the end of the test.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// A text property of a window as its bytes ("WM_NAME", "_NET_WM_NAME"); empty when absent.
std::string TextProperty(Display* display, Window window, const char* property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) != Success ||
        data == nullptr)
        return std::string();
    std::string out(reinterpret_cast<char*>(data), format == 8 ? count : 0);
    XFree(data);
    return out;
}

// The window of that name below parent (window managers put a frame in between).
Window FindNamed(Display* display, Window parent, const std::string& name, int depth)
{
    Window root = 0, up = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0)
        return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
    {
        if (TextProperty(display, children[i], "WM_NAME") == name)
            found = children[i];
        else if (depth > 0)
            found = FindNamed(display, children[i], name, depth - 1);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

struct ImageFree
{
    void operator()(XImage* image) const { XDestroyImage(image); }
};

// One panel on the screen, as the test sees it.
struct ShownPanel
{
    Window mWindow = 0;
    AlertPanelLayout mLayout; // as the panel lays itself out, in the test's measure
    std::unique_ptr<XImage, ImageFree> mImage;
};

class AlertPanelWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* name = std::getenv("VAXO_DISPLAY_24");
        if (name == nullptr || *name == '\0')
            GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
        Connect(name);
    }
    // Children open their panels on that display; the test's own connection to it.
    void Connect(const char* name)
    {
        setenv("DISPLAY", name, 1);
        unsetenv("VAXO_NO_ALERT_PANEL");
        // A server still closing an earlier connection now and then refuses the next one.
        for (int tries = 0; tries < 100 && mDisplay == nullptr; ++tries)
            if ((mDisplay = XOpenDisplay(name)) == nullptr)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_NE(mDisplay, nullptr) << name;
        XSetErrorHandler(IgnoreXError);
        mFont = XLoadQueryFont(mDisplay, "fixed");
        ASSERT_NE(mFont, nullptr);
    }
    void TearDown() override
    {
        if (mFont != nullptr)
            XFreeFont(mDisplay, mFont);
        if (mDisplay != nullptr)
            XCloseDisplay(mDisplay);
    }

    // Waits for the viewable panel of that title (opened by child), lays it out as it should
    // be and takes its picture. mWindow 0 when it did not show within a minute.
    ShownPanel WaitForPanel(pid_t child, const AlertPanelRequest& request)
    {
        ShownPanel panel;
        for (int waited = 0; waited < 3000 && ChildStatus(child, false) == kChildRunning; ++waited)
        {
            const Window window = FindNamed(mDisplay, DefaultRootWindow(mDisplay), request.mTitle, 2);
            XWindowAttributes attributes;
            if (window != 0 && XGetWindowAttributes(mDisplay, window, &attributes) != 0 &&
                attributes.map_state == IsViewable)
            {
                panel.mWindow = window;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (panel.mWindow == 0)
            return panel;
        AlertPanelFont font{mFont->ascent, mFont->descent, [this](const std::string& text) {
                                return int32_t(XTextWidth(mFont, text.data(), int(text.size())));
                            }};
        panel.mLayout = LayOutAlertPanel(request, font, DisplayHeight(mDisplay, DefaultScreen(mDisplay)));
        // On top, so that the picture is the panel's; another test's window mapped over it
        // meanwhile spoils it, so it is taken again (for up to five seconds) until its corners
        // and its default button's corner are the panel's.
        const int32_t right = panel.mLayout.mWidth - 1, bottom = panel.mLayout.mHeight - 1;
        const TRect<int32_t>& button = panel.mLayout.mButtons.front().mRect;
        for (int tries = 0; tries < 100; ++tries)
        {
            XRaiseWindow(mDisplay, panel.mWindow);
            XSync(mDisplay, False);
            panel.mImage.reset(XGetImage(mDisplay, panel.mWindow, 0, 0, unsigned(right + 1),
                                         unsigned(bottom + 1), AllPlanes, ZPixmap));
            XImage* image = panel.mImage.get();
            if (image != nullptr && Grey(image, 0, 0) == 212 && Grey(image, right, 0) == 212 &&
                Grey(image, 0, bottom) == 212 && Grey(image, right, bottom) == 212 &&
                Grey(image, button.mX, button.mY) == 255)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return panel;
    }

    // The grey level of a pixel of the picture (the panel is drawn in greys only).
    static int Grey(XImage* image, int x, int y) { return int((XGetPixel(image, x, y) >> 8) & 0xFF); }

    // The panel's title, place and picture: text in black on the face grey; the buttons
    // bevelled where the layout puts them, the default one framed.
    void ExpectPanelShown(const ShownPanel& panel, const AlertPanelRequest& request)
    {
        EXPECT_EQ(TextProperty(mDisplay, panel.mWindow, "WM_NAME"), request.mTitle);
        EXPECT_EQ(TextProperty(mDisplay, panel.mWindow, "_NET_WM_NAME"), request.mTitle);
        XWindowAttributes attributes;
        ASSERT_NE(XGetWindowAttributes(mDisplay, panel.mWindow, &attributes), 0);
        EXPECT_EQ(attributes.width, panel.mLayout.mWidth);
        EXPECT_EQ(attributes.height, panel.mLayout.mHeight);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(mDisplay, panel.mWindow, DefaultRootWindow(mDisplay), 0, 0, &x, &y, &child);
        EXPECT_EQ(x, (DisplayWidth(mDisplay, DefaultScreen(mDisplay)) - attributes.width) / 2);
        EXPECT_EQ(y, (DisplayHeight(mDisplay, DefaultScreen(mDisplay)) - attributes.height) / 2);

        XImage* image = panel.mImage.get();
        ASSERT_NE(image, nullptr);
        const AlertPanelLayout& layout = panel.mLayout;
        EXPECT_EQ(Grey(image, 0, 0), 212);
        // Black text on every line of the heading and the message, and nowhere in the margin.
        auto blackInRows = [&](int top, int bottom)
        {
            int black = 0;
            for (int row = top; row < bottom; ++row)
                for (int column = 0; column < layout.mWidth; ++column)
                    black += Grey(image, column, row) == 0;
            return black;
        };
        // The heading, and the message's three lines, none too wide for the panel.
        EXPECT_EQ(layout.mTitleLines.size() + layout.mMessageLines.size(), 4u);
        for (int i = 0; i < int(layout.mTitleLines.size()); ++i)
            EXPECT_GT(blackInRows(layout.mTitleTop + i * layout.mLineHeight,
                                  layout.mTitleTop + (i + 1) * layout.mLineHeight),
                      0)
                << "heading line " << i;
        for (int i = 0; i < int(layout.mMessageLines.size()); ++i)
            EXPECT_GT(blackInRows(layout.mMessageTop + i * layout.mLineHeight,
                                  layout.mMessageTop + (i + 1) * layout.mLineHeight),
                      0)
                << "message line " << i;
        EXPECT_EQ(blackInRows(0, layout.mTitleTop), 0);
        for (size_t i = 0; i < layout.mButtons.size(); ++i)
        {
            const TRect<int32_t>& r = layout.mButtons[i].mRect;
            EXPECT_EQ(Grey(image, r.mX, r.mY), 255) << layout.mButtons[i].mTitle;
            EXPECT_EQ(Grey(image, r.mX + r.mWidth - 1, r.mY + r.mHeight - 1), 0) << layout.mButtons[i].mTitle;
            EXPECT_EQ(Grey(image, r.mX + r.mWidth - 2, r.mY + r.mHeight - 2), 132)
                << layout.mButtons[i].mTitle;
            EXPECT_EQ(Grey(image, r.mX - 2, r.mY - 2), i == 0 ? 0 : 212) << layout.mButtons[i].mTitle;
            int black = 0;
            for (int row = r.mY + 2; row < r.mY + r.mHeight - 2; ++row)
                for (int column = r.mX + 2; column < r.mX + r.mWidth - 2; ++column)
                    black += Grey(image, column, row) == 0;
            EXPECT_GT(black, 0) << "no title on " << layout.mButtons[i].mTitle;
        }
    }

    void Send(Window window, int type, long mask, XEvent event)
    {
        event.type = type;
        event.xany.display = mDisplay;
        event.xany.window = window;
        XSendEvent(mDisplay, window, False, mask, &event);
        XFlush(mDisplay);
    }
    // A left press and release at (x, y) of the window, the release dx pixels further right.
    void Click(Window window, int x, int y, int dx = 0)
    {
        XEvent event{};
        event.xbutton.root = DefaultRootWindow(mDisplay);
        event.xbutton.same_screen = True;
        event.xbutton.button = Button1;
        event.xbutton.x = x;
        event.xbutton.y = y;
        Send(window, ButtonPress, ButtonPressMask, event);
        event.xbutton.x = x + dx;
        event.xbutton.state = Button1Mask;
        Send(window, ButtonRelease, ButtonReleaseMask, event);
    }
    // A click on each window inside parent (SDL draws in one inside its top-level window).
    void ClickChildren(Window parent)
    {
        Window root = 0, up = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(mDisplay, parent, &root, &up, &children, &count) == 0)
            return;
        for (unsigned int i = 0; i < count; ++i)
            Click(children[i], 10, 10);
        if (children != nullptr)
            XFree(children);
    }
    // The middle of the panel's button of that title, in the panel's pixels.
    static TPoint<int> ButtonMiddle(const ShownPanel& panel, const std::string& title)
    {
        for (const AlertPanelButton& button : panel.mLayout.mButtons)
            if (button.mTitle == title)
                return TPoint<int>(button.mRect.mX + button.mRect.mWidth / 2,
                                   button.mRect.mY + button.mRect.mHeight / 2);
        return TPoint<int>(-1, -1);
    }
    void ClickButton(const ShownPanel& panel, const std::string& title, int dx = 0)
    {
        const TPoint<int> middle = ButtonMiddle(panel, title);
        Click(panel.mWindow, middle.mX, middle.mY, dx);
    }
    // The pointer moved to (x, y) of the screen, and a left click where it is, as the user
    // moves and clicks: the server's own events, crossings and focus changes included.
    void MovePointer(int x, int y)
    {
        XTestFakeMotionEvent(mDisplay, -1, x, y, CurrentTime);
        XSync(mDisplay, False);
    }
    void ClickPointer()
    {
        XTestFakeButtonEvent(mDisplay, Button1, True, CurrentTime);
        XTestFakeButtonEvent(mDisplay, Button1, False, CurrentTime);
        XSync(mDisplay, False);
    }
    // Where (x, y) of a window is on the screen.
    TPoint<int> OnScreen(Window window, int x, int y)
    {
        int rootX = 0, rootY = 0;
        Window child = 0;
        XTranslateCoordinates(mDisplay, window, DefaultRootWindow(mDisplay), x, y, &rootX, &rootY, &child);
        return TPoint<int>(rootX, rootY);
    }
    void PressKey(Window window, KeySym key)
    {
        XEvent event{};
        event.xkey.root = DefaultRootWindow(mDisplay);
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(mDisplay, key);
        Send(window, KeyPress, KeyPressMask, event);
        Send(window, KeyRelease, KeyReleaseMask, event);
    }

    Display* mDisplay = nullptr;
    XFontStruct* mFont = nullptr;
    TestFolder mFolder;
};

// A unique title for each panel of this run, so that panels of other tests do not count.
std::string PanelTitle(const std::string& what)
{
    return "Vaxo alert test " + std::to_string(getpid()) + " " + what;
}

TEST_F(AlertPanelWindowTest, EachBoxTypeShowsItsButtonsAndAnswersTheOnePressed)
{
    typedef std::vector<KeySym> Keys;
    // Box type, the buttons it shows (default, alternate, other), the one clicked or else the
    // keys pressed in turn, the answer.
    const std::tuple<uint32_t, std::array<const char*, 3>, const char*, Keys, int> rows[] = {
        {0, {"", "", ""}, "OK", {}, 2},
        {1, {"Cancel", "Ok", ""}, "Ok", {}, 1},
        {1, {"Cancel", "Ok", ""}, "Cancel", {}, 2},
        {2, {"Ignore", "Abort", "Retry"}, "Abort", {}, 3},
        {2, {"Ignore", "Abort", "Retry"}, "Retry", {}, 4},
        {2, {"Ignore", "Abort", "Retry"}, "Ignore", {}, 5},
        {3, {"Cancel", "Yes", "No"}, "Yes", {}, 6},
        {3, {"Cancel", "Yes", "No"}, "No", {}, 7},
        {3, {"Cancel", "Yes", "No"}, "Cancel", {}, 2},
        {4, {"No", "Yes", ""}, "Yes", {}, 6},
        {4, {"No", "Yes", ""}, "No", {}, 7},
        {5, {"Cancel", "Retry", ""}, "Retry", {}, 4},
        {5, {"Cancel", "Retry", ""}, "Cancel", {}, 2},
        {16, {"", "", ""}, "OK", {}, 2},
        {36, {"No", "Yes", ""}, "Yes", {}, 6},
        {36, {"No", "Yes", ""}, "No", {}, 7},
        // Return presses the default button; Escape the one titled Cancel, or the only one,
        // and nothing where there is neither.
        {3, {"Cancel", "Yes", "No"}, "", {XK_Return}, 2},
        {4, {"No", "Yes", ""}, "", {XK_Return}, 7},
        {2, {"Ignore", "Abort", "Retry"}, "", {XK_KP_Enter}, 5},
        {1, {"Cancel", "Ok", ""}, "", {XK_Escape}, 2},
        {0, {"", "", ""}, "", {XK_Escape}, 2},
        {4, {"No", "Yes", ""}, "", {XK_Escape, XK_y, XK_Return}, 7},
    };
    int row = 0;
    for (const auto& [type, titles, clicked, keys, answer] : rows)
    {
        const AlertPanelRequest request{PanelTitle(std::to_string(row++)), kMessage, titles[0], titles[1],
                                        titles[2]};
        const std::string output = mFolder / "output.txt";
        const pid_t child = StartChild(output, [&, type = type]
                                       { return AskThroughThePlatform(type, request.mTitle, Game::kNone); });
        ShownPanel panel = WaitForPanel(child, request);
        ASSERT_NE(panel.mWindow, 0u) << "row " << row << ": no panel; " << ReadFile(output);
        ExpectPanelShown(panel, request);
        // Pressed and dragged off, a button does nothing; released on it, it answers.
        const std::string other = panel.mLayout.mButtons.back().mTitle != clicked
                                      ? panel.mLayout.mButtons.back().mTitle
                                      : panel.mLayout.mButtons.front().mTitle;
        ClickButton(panel, other, 400);
        ClickButton(panel, clicked);
        for (KeySym key : keys)
            PressKey(panel.mWindow, key);
        EXPECT_EQ(WaitForChild(child, 60), answer) << "row " << row << "; " << ReadFile(output);
        // Nothing went to the output: the panel showed the text.
        EXPECT_EQ(ReadFile(output), "") << "row " << row;
    }
}

TEST_F(AlertPanelWindowTest, ThePanelStandsOverTheProgramsWindowWhichLeavesFullScreen)
{
    for (Game game : {Game::kWindowed, Game::kFullScreen})
    {
        const AlertPanelRequest request{PanelTitle(game == Game::kWindowed ? "windowed" : "full screen"),
                                        kMessage, "No", "Yes", ""};
        const std::string output = mFolder / "output.txt";
        const pid_t child =
            StartChild(output, [&] { return AskThroughThePlatform(4, request.mTitle, game); });
        ShownPanel panel = WaitForPanel(child, request);
        ASSERT_NE(panel.mWindow, 0u) << ReadFile(output);
        ExpectPanelShown(panel, request);
        const Window gameWindow =
            FindNamed(mDisplay, DefaultRootWindow(mDisplay), request.mTitle + " game", 2);
        Window owner = 0;
        EXPECT_NE(gameWindow, 0u);
        EXPECT_TRUE(XGetTransientForHint(mDisplay, panel.mWindow, &owner) != 0 && owner == gameWindow);
        // A click on the program's window meanwhile is not kept for it.
        ClickChildren(gameWindow);
        ClickButton(panel, "Yes");
        // Answered Yes, no longer full screen, the click gone.
        EXPECT_EQ(WaitForChild(child, 60), 6) << ReadFile(output);
    }
}

TEST_F(AlertPanelWindowTest, APanelFromAnotherThreadLeavesSDLsConnectionAlone)
{
    const AlertPanelRequest request{PanelTitle("thread"), "From the loading thread.", "", "", ""};
    const std::string output = mFolder / "output.txt";
    const pid_t child = StartChild(
        output,
        [&]
        {
            setenv("SDL_VIDEODRIVER", "x11", 1);
            if (SDL_Init(SDL_INIT_VIDEO) != 0 || SDL_SetVideoMode(200, 100, 0, SDL_SWSURFACE) == nullptr)
                return 90;
            SDL_WM_SetCaption((request.mTitle + " game").c_str(), "");
            std::atomic<int> answer{-5};
            std::thread thread(
                [&] {
                    answer = RunAlertPanel(request.mTitle.c_str(), "From the loading thread.", nullptr,
                                           nullptr, nullptr);
                });
            // The main thread keeps reading SDL's events meanwhile.
            while (answer == -5)
            {
                SDL_PumpEvents();
                SDL_Delay(5);
            }
            thread.join();
            return answer + 10;
        });
    ShownPanel panel = WaitForPanel(child, request);
    ASSERT_NE(panel.mWindow, 0u) << ReadFile(output);
    Window owner = 0;
    EXPECT_TRUE(XGetTransientForHint(mDisplay, panel.mWindow, &owner) != 0 &&
                owner == FindNamed(mDisplay, DefaultRootWindow(mDisplay), request.mTitle + " game", 2));
    ClickButton(panel, "OK");
    EXPECT_EQ(WaitForChild(child, 60), 10 + kAlertDefaultReturn) << ReadFile(output);
}

// Panels on a server of the test's own: there the keyboard focus moves only as the test and
// its children move it.
class AlertPanelFocusTest : public AlertPanelWindowTest
{
protected:
    void SetUp() override
    {
        // Where the suite runs the other panel tests, as they are.
        const char* shared = std::getenv("VAXO_DISPLAY_24");
        if (shared == nullptr || *shared == '\0')
            GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
        mServer = std::make_unique<PrivateXServer>();
        ASSERT_FALSE(mServer->Name().empty()) << "Xvfb did not start";
        Connect(mServer->Name().c_str());
    }
    void TearDown() override
    {
        AlertPanelWindowTest::TearDown();
        mServer.reset();
    }

    Window Focus() const
    {
        Window window = 0;
        int revert = 0;
        XGetInputFocus(mDisplay, &window, &revert);
        return window;
    }
    // Whether the focus reaches window within five seconds.
    bool WaitForFocus(Window window) const
    {
        for (int waited = 0; waited < 250 && Focus() != window; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return Focus() == window;
    }
    // A window of the test's own, away from the pointer in the middle of the screen, shown
    // and given the focus.
    Window FocusedWindow()
    {
        const Window window = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 100, 100, 0, 0,
                                                  WhitePixel(mDisplay, DefaultScreen(mDisplay)));
        XMapWindow(mDisplay, window);
        XWindowAttributes attributes{};
        for (int waited = 0; waited < 250 && attributes.map_state != IsViewable; ++waited)
        {
            XGetWindowAttributes(mDisplay, window, &attributes);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        XSetInputFocus(mDisplay, window, RevertToPointerRoot, CurrentTime);
        XSync(mDisplay, False);
        return window;
    }

    // The pointer, resting on the program's window (named game) when the panel came, goes
    // onto the panel and clicks Yes, then onto the button of the program's window once it is
    // ready, and clicks it.
    void AnswerWithThePointerThenClickTheGame(const ShownPanel& panel, const std::string& game)
    {
        const Window gameWindow = FindNamed(mDisplay, DefaultRootWindow(mDisplay), game, 2);
        ASSERT_NE(gameWindow, 0u);
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int buttons = 0;
        XQueryPointer(mDisplay, gameWindow, &root, &child, &rootX, &rootY, &x, &y, &buttons);
        ASSERT_TRUE(x == kRestX && y == kRestY) << "the pointer is not on the program's window";
        const TPoint<int> yes = ButtonMiddle(panel, "Yes");
        const TPoint<int> onPanel = OnScreen(panel.mWindow, yes.mX, yes.mY);
        MovePointer(onPanel.mX, onPanel.mY);
        ClickPointer();
        Window ready = 0;
        for (int waited = 0; waited < 500 && ready == 0; ++waited)
        {
            ready = FindNamed(mDisplay, DefaultRootWindow(mDisplay), game + " ready", 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ASSERT_NE(ready, 0u) << "the program did not get past the panel";
        const TPoint<int> onButton = OnScreen(ready, kGameButton.mX + kGameButton.mWidth / 2,
                                              kGameButton.mY + kGameButton.mHeight / 2);
        MovePointer(onButton.mX, onButton.mY);
        ClickPointer();
    }

    std::unique_ptr<PrivateXServer> mServer;
};

TEST_F(AlertPanelFocusTest, WhenThePanelClosesTheWindowThatHadTheFocusHasItAgain)
{
    enum class Holder
    {
        kTestsWindow,
        kTestsWindowGone, // destroyed while the panel is up
        kProgramsWindow,  // the child checks it has the focus again, and so believes SDL
        // None: the keyboard follows the pointer, which rests on the program's window at its
        // start and answers the panel; then it clicks a button of the program's window, which
        // the child checks answers.
        kPointer,
    };
    // Where the program's window stands, which window has the focus when the box is asked for.
    const std::pair<Game, Holder> rows[] = {
        {Game::kNone, Holder::kTestsWindow},
        {Game::kFocused, Holder::kProgramsWindow},
        // No X error ends the program; the focus follows the pointer, as without a panel.
        {Game::kNone, Holder::kTestsWindowGone},
        {Game::kHovered, Holder::kPointer},
    };
    int row = 0;
    for (const auto& [game, holder] : rows)
    {
        const AlertPanelRequest request{PanelTitle("focus " + std::to_string(row++)), kMessage, "No", "Yes",
                                        ""};
        const bool testsWindow = holder == Holder::kTestsWindow || holder == Holder::kTestsWindowGone;
        const Window mine = testsWindow ? FocusedWindow() : 0;
        if (holder == Holder::kPointer)
        {
            XSetInputFocus(mDisplay, PointerRoot, RevertToPointerRoot, CurrentTime);
            MovePointer(kRestX, kRestY);
        }
        const std::string output = mFolder / "output.txt";
        const pid_t child =
            StartChild(output, [&, game = game] { return AskThroughThePlatform(4, request.mTitle, game); });
        ShownPanel panel = WaitForPanel(child, request);
        ASSERT_NE(panel.mWindow, 0u) << "row " << row << ": no panel; " << ReadFile(output);
        EXPECT_TRUE(WaitForFocus(panel.mWindow)) << "row " << row;
        // Transient for the program's window; for none when there is none.
        Window owner = 0;
        const bool transient = XGetTransientForHint(mDisplay, panel.mWindow, &owner) != 0;
        if (game == Game::kNone)
        {
            EXPECT_FALSE(transient) << "row " << row;
        }
        else
        {
            EXPECT_TRUE(transient && owner == FindNamed(mDisplay, DefaultRootWindow(mDisplay),
                                                        request.mTitle + " game", 2))
                << "row " << row;
        }
        if (holder == Holder::kTestsWindowGone)
        {
            XDestroyWindow(mDisplay, mine);
            XSync(mDisplay, False);
        }
        if (holder == Holder::kPointer)
            AnswerWithThePointerThenClickTheGame(panel, request.mTitle + " game");
        else
            ClickButton(panel, "Yes");
        EXPECT_EQ(WaitForChild(child, 60), 6) << "row " << row << "; " << ReadFile(output);
        if (holder == Holder::kTestsWindow)
        {
            EXPECT_EQ(Focus(), mine) << "row " << row;
            XDestroyWindow(mDisplay, mine);
        }
        if (holder == Holder::kTestsWindowGone)
        {
            EXPECT_EQ(Focus(), Window(PointerRoot)) << "row " << row;
        }
    }
}

TEST(AlertPanelFallback, WithoutADisplayOrWithTheSwitchOrAScriptTheTextGoesToStderr)
{
    const char* display24 = std::getenv("VAXO_DISPLAY_24");
    // DISPLAY (null: unset), VAXO_NO_ALERT_PANEL, a responder answering -1, the answer.
    const std::tuple<const char*, const char*, bool, int> rows[] = {
        {nullptr, nullptr, false, kAlertDefaultReturn},
        {":65000", nullptr, false, kAlertDefaultReturn}, // no such server
        {nullptr, nullptr, true, kAlertOtherReturn},
        {display24, "1", false, kAlertDefaultReturn},
        {display24, nullptr, true, kAlertOtherReturn},
    };
    TestFolder folder;
    for (const auto& [display, noPanel, scripted, answer] : rows)
    {
        const std::string output = folder / "output.txt";
        const pid_t child =
            StartChild(output,
                       [&, display = display, noPanel = noPanel, scripted = scripted]
                       {
                           display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
                           noPanel != nullptr ? setenv("VAXO_NO_ALERT_PANEL", noPanel, 1)
                                              : unsetenv("VAXO_NO_ALERT_PANEL");
                           if (scripted)
                               SetAlertPanelResponder([](const AlertPanelRequest&) { return -1; });
                           return RunAlertPanel("Title", "100% %s sure", "Cancel", "Ok", nullptr) + 10;
                       });
        // A panel would wait for an answer that never comes.
        EXPECT_EQ(WaitForChild(child, 30), answer + 10) << (display ? display : "no display");
        EXPECT_EQ(ReadFile(output), "Title\n100% %s sure\n") << (display ? display : "no display");
    }
}

} // namespace
