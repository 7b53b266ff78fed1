// Internal to framework/app/sdl.
// AlertPanel: stand-in for the system's modal alert panel, on a system that has none: a
// small X11 window of its own (AlertPanelWindow.h) with the title, the message and one to
// three buttons, which blocks the calling thread until a button is pressed.
//
// It falls back to printing the title and the message, as they are, to stderr and taking
// the default button when nobody could answer a window: no X display (DISPLAY unset, or the
// server refuses), or the environment variable VAXO_NO_ALERT_PANEL set to a non-empty value
// (for runs that must not wait for a user, such as tests of a whole program). A responder
// installed by a program or a test answers instead of the window, after the same printing.
#pragma once

#include <functional>
#include <string>

namespace Vaxo
{

// The panel's answers.
constexpr int kAlertDefaultReturn = 1;
constexpr int kAlertAlternateReturn = 0;
constexpr int kAlertOtherReturn = -1;

// One panel as it would be shown; an absent button has an empty title.
struct AlertPanelRequest
{
    std::string mTitle;
    std::string mMessage;
    std::string mDefaultButton;
    std::string mAlternateButton;
    std::string mOtherButton;
};

typedef std::function<int(const AlertPanelRequest&)> AlertPanelResponder;

// Installs the responder (an empty one restores the window); returns the one it
// replaces. Main thread.
AlertPanelResponder SetAlertPanelResponder(AlertPanelResponder responder);

// Whether RunAlertPanel would try to show a window (no responder, no VAXO_NO_ALERT_PANEL,
// a display named); the server may still refuse it.
bool AlertPanelShowsWindow();

// Shows the panel (null texts count as empty) and answers kAlertDefaultReturn,
// kAlertAlternateReturn or kAlertOtherReturn. Any thread; blocks until answered.
int RunAlertPanel(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton);

} // namespace Vaxo
