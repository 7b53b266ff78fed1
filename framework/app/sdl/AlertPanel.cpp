#include "app/sdl/AlertPanel.h"

#include <cstdio>

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
} // namespace

AlertPanelResponder SetAlertPanelResponder(AlertPanelResponder responder)
{
    AlertPanelResponder previous = std::move(InstalledResponder());
    InstalledResponder() = std::move(responder);
    return previous;
}

int RunAlertPanel(const char* title, const char* message, const char* defaultButton,
                  const char* alternateButton, const char* otherButton)
{
    AlertPanelRequest request{TextOf(title), TextOf(message), TextOf(defaultButton), TextOf(alternateButton),
                              TextOf(otherButton)};
    // Written as they are: a percent sign in a message is not a format directive.
    std::fputs(request.mTitle.c_str(), stderr);
    std::fputs("\n", stderr);
    std::fputs(request.mMessage.c_str(), stderr);
    std::fputs("\n", stderr);
    const AlertPanelResponder& responder = InstalledResponder();
    return responder ? responder(request) : kAlertDefaultReturn;
}

} // namespace Vaxo
