#include "graphics/gl/GLState.h"

#include "graphics/gl/GLFunctions.h"
#include "graphics/gl/TextureData.h"

#include <cstring>

namespace Vaxo
{

uint32_t gCurTexture = 0;
bool gLinearFilter = false;
bool gHasBGRExtension = false;
bool gHasEdgeClampExtension = false;

void SetGLTexture(uint32_t name)
{
    if (name == gCurTexture)
        return;
    const GLFunctions& gl = GL();
    if (gCurTexture == 0)
        gl.Enable(GL_TEXTURE_2D);
    else if (name == 0)
        gl.Disable(GL_TEXTURE_2D);
    gl.BindTexture(GL_TEXTURE_2D, name);
    gCurTexture = name;
}

void SetGLTextureData(GLTextureDataPiece& piece)
{
    SetGLTexture(piece.mTexture);
    if (piece.mLinearFilter == gLinearFilter || piece.mTexture == 0)
        return;
    piece.mLinearFilter = gLinearFilter;
    const GLint filter = gLinearFilter ? GL_LINEAR : GL_NEAREST;
    GL().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    GL().TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
}

void SetGLColor(const TriVertex& vertex, const Color& color)
{
    if (vertex.color != 0)
        GL().Color4ub(GLubyte(vertex.color >> 16), GLubyte(vertex.color >> 8), GLubyte(vertex.color),
                      GLubyte(vertex.color >> 24));
    else
        SetGLColor(color);
}

void SetGLColor(const Color& color)
{
    GL().Color4ub(GLubyte(color.mRed), GLubyte(color.mGreen), GLubyte(color.mBlue), GLubyte(color.mAlpha));
}

uint32_t ColorToARGB(const Color& color)
{
    return (uint32_t(color.mAlpha & 0xFF) << 24) | (uint32_t(color.mRed & 0xFF) << 16) |
           (uint32_t(color.mGreen & 0xFF) << 8) | uint32_t(color.mBlue & 0xFF);
}

bool CheckExtension(const char* list, const char* name)
{
    if (list == nullptr || name == nullptr || *name == '\0')
        return false;
    const size_t length = std::strlen(name);
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    // A name may first occur inside a longer one ("GL_EXT_bgra_x"): keep looking.
    for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name))
    {
        const bool startOk = at == list || isSpace(at[-1]);
        const bool endOk = at[length] == '\0' || isSpace(at[length]);
        if (startOk && endOk)
            return true;
    }
    return false;
}

void ResetGLStateForTest()
{
    gCurTexture = 0;
    gLinearFilter = false;
    gHasBGRExtension = false;
    gHasEdgeClampExtension = false;
}

} // namespace Vaxo
