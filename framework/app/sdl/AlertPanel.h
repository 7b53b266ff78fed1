// AlertPanel: stand-in for the system's modal alert panel, on a system that has none. It
// never blocks: it prints the title and the message, as they are, to stderr and takes its
// answer from a responder that a program or a test may install (the default one presses
// the default button).
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

// Installs the responder (an empty one restores the default); returns the one it
// replaces. Main thread.
AlertPanelResponder SetAlertPanelResponder(AlertPanelResponder responder);

// Shows the panel (null texts count as empty) and answers kAlertDefaultReturn,
// kAlertAlternateReturn or kAlertOtherReturn, as the responder says.
int RunAlertPanel(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton);

} // namespace Vaxo
