// SysFont: the platform's system font. This platform has no system text rendering, so
// it is a placeholder with fixed metrics (ascent 10, height 20) that measures every
// string as 0 pixels and draws nothing; all visible text comes from image fonts. The
// platform answers every request for a named system font with one, and widgets fall
// back to one when no font was given.
#pragma once

#include "graphics/Font.h"

#include <string>

namespace Vaxo
{

class GraphicsApp;

class SysFont : public Font
{
public:
    // The application the font was made for; not owned, may be null.
    GraphicsApp* mApp;

public:
    // Face, size and style are accepted and ignored; binds to gGraphicsApp.
    SysFont(const std::string& face, int pointSize, bool bold = false, bool italic = false,
            bool underline = false);
    SysFont(GraphicsApp* app, const std::string& face, int pointSize, int script = 0, bool bold = false,
            bool italic = false, bool underline = false);
    // Keeps the source's application; the metrics are the fixed ones, not the source's.
    SysFont(const SysFont& other);

    // Back to the constructor state for app; the other arguments are ignored.
    void Init(GraphicsApp* app, const std::string& face, int pointSize, int script, bool bold, bool italic,
              bool underline);
    // There is no bitmap form of a system font here: always null, so the platform's
    // font factory returns the SysFont itself.
    Font* CreateImageFont();

    int StringWidth(const std::string& str) override;
    void DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                    const TRect<int>& clipRect) override;
    Font* Duplicate() override;
};

} // namespace Vaxo
