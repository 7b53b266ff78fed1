#include "graphics/SysFont.h"

#include "graphics/GraphicsApp.h"

namespace Vaxo
{

SysFont::SysFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline)
    : mApp(nullptr)
{
    Init(gGraphicsApp, face, pointSize, 0, bold, italic, underline);
}

SysFont::SysFont(GraphicsApp* app, const std::string& face, int pointSize, int script, bool bold, bool italic,
                 bool underline)
    : mApp(nullptr)
{
    Init(app, face, pointSize, script, bold, italic, underline);
}

SysFont::SysFont(const SysFont& other) : Font(), mApp(nullptr)
{
    Init(other.mApp, std::string(), 0, 0, false, false, false);
}

void SysFont::Init(GraphicsApp* app, const std::string&, int, int, bool, bool, bool)
{
    mApp = app;
    mAscent = 10;
    mHeight = 20;
    mAscentPadding = 0;
    mLineSpacingOffset = 0;
}

Font* SysFont::CreateImageFont()
{
    return nullptr;
}

int SysFont::StringWidth(const std::string&)
{
    return 0;
}

void SysFont::DrawString(Graphics*, int, int, const std::string&, const Color&, const TRect<int>&) {}

Font* SysFont::Duplicate()
{
    return new SysFont(*this);
}

} // namespace Vaxo
