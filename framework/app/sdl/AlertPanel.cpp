#include "app/sdl/AlertPanel.h"

#include "app/sdl/AlertPanelWindow.h"

#include <cstdio>
#include <cstdlib>

namespace Vaxo
{

namespace
{
AlertPanelResponder& InstalledResponder()
{
    static AlertPanelResponder responder;
    return responder;
}

std::string TextOf(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

bool EnvironmentSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Written as they are: a percent sign in a message is not a format directive.
void PrintPanel(const AlertPanelRequest& request)
{
    std::fputs(request.mTitle.c_str(), stderr);
    std::fputs("\n", stderr);
    std::fputs(request.mMessage.c_str(), stderr);
    std::fputs("\n", stderr);
}
} // namespace

AlertPanelResponder SetAlertPanelResponder(AlertPanelResponder responder)
{
    AlertPanelResponder previous = std::move(InstalledResponder());
    InstalledResponder() = std::move(responder);
    return previous;
}

bool AlertPanelShowsWindow()
{
    return !InstalledResponder() && !EnvironmentSet("VAXO_NO_ALERT_PANEL") && EnvironmentSet("DISPLAY");
}

int RunAlertPanel(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton)
{
    AlertPanelRequest request{TextOf(title), TextOf(message), TextOf(defaultButton), TextOf(alternateButton),
                              TextOf(otherButton)};
    int answer = kAlertDefaultReturn;
    if (AlertPanelShowsWindow() && ShowAlertPanelWindow(request, &answer))
        return answer;
    PrintPanel(request);
    const AlertPanelResponder& responder = InstalledResponder();
    return responder ? responder(request) : kAlertDefaultReturn;
}

} // namespace Vaxo
