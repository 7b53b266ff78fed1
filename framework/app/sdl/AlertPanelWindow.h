// Internal to framework/app/sdl. The alert panel's window: its layout (pure, in
// AlertPanelLayout.cpp) and the X11 window that shows it (AlertPanelWindow.cpp).
//
// The panel follows the system panel it stands in for: the title as a bold heading and the
// message below it, both wrapped to the panel's width; the buttons in a row at the bottom,
// the default one rightmost (framed), the alternate one left of it, the other one at the
// left edge. Return presses the default button; Escape and the window manager's close
// button press the one titled "Cancel", or the only one.
#pragma once

#include "app/sdl/AlertPanel.h"
#include "graphics/Rect.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Vaxo
{

// Width in pixels of a run of text in the panel's font.
typedef std::function<int32_t(const std::string&)> AlertTextWidth;

struct AlertPanelFont
{
    int32_t mAscent;
    int32_t mDescent;
    AlertTextWidth mTextWidth;
};

struct AlertPanelButton
{
    std::string mTitle;
    // kAlertDefaultReturn, kAlertAlternateReturn or kAlertOtherReturn.
    int mAnswer;
    // In panel pixels.
    TRect<int32_t> mRect;
};

struct AlertPanelLayout
{
    // The panel's size in pixels.
    int32_t mWidth = 0;
    int32_t mHeight = 0;
    // Left edge of every text line; distance between the tops of two lines.
    int32_t mTextX = 0;
    int32_t mLineHeight = 0;
    // Top of the first line of the heading and of the message.
    int32_t mTitleTop = 0;
    int32_t mMessageTop = 0;
    std::vector<std::string> mTitleLines;
    std::vector<std::string> mMessageLines;
    // The default button first, then the alternate and the other one when they have titles.
    std::vector<AlertPanelButton> mButtons;
    // Index of the button Escape and closing press, or -1 (they then do nothing).
    int32_t mCancelButton = -1;
};

// The text in lines no wider than width: broken at line breaks ("\r\n", "\n" or "\r"), then
// between words, a word wider than width between characters. Tabs become four blanks;
// every other character stays as it is. Trailing line breaks make no empty lines.
std::vector<std::string> WrapAlertText(const std::string& text, int32_t width,
                                       const AlertTextWidth& textWidth);

// The panel for a request in a font, at most maxHeight pixels high (message lines that do
// not fit are cut, the last shown one ending in "..."). No button title at all gives the
// panel's own default button, "OK".
AlertPanelLayout LayOutAlertPanel(const AlertPanelRequest& request, const AlertPanelFont& font,
                                  int32_t maxHeight);

// Shows the panel in its own window on the X display of the program's SDL window (above
// it, transient for it) or else of DISPLAY, and waits for the answer. The panel takes the
// keyboard focus and, when it closes, gives it back to the window that had it; the program's
// window hears that it has it again also where the pointer brings it. False, without showing
// anything, when no display can be opened or it has no usable font.
bool ShowAlertPanelWindow(const AlertPanelRequest& request, int* answer);

} // namespace Vaxo
