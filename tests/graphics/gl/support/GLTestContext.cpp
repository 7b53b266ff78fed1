#include "graphics/gl/support/GLTestContext.h"

#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>

#include <cstdlib>

namespace Vaxo
{

namespace
{
int gWidth = 0;
int gHeight = 0;
} // namespace

bool GLTestContext::Requested(const char* envVar)
{
    const char* display = std::getenv(envVar);
    return display != nullptr && *display != '\0';
}

std::string GLTestContext::Open(const char* envVar, int width, int height)
{
    const char* display = std::getenv(envVar);
    if (display == nullptr || *display == '\0')
        return std::string(envVar) + " is not set";
    setenv("DISPLAY", display, 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    // Never a fallback driver (SDL would try a text console when X refuses once).
    setenv("SDL_VIDEODRIVER", "x11", 1);
    dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
    // A busy X server now and then refuses a connection that succeeds a moment later.
    for (int attempt = 0; SDL_InitSubSystem(SDL_INIT_VIDEO) != 0; ++attempt)
    {
        if (attempt == 20)
            return std::string("SDL video: ") + SDL_GetError();
        SDL_Delay(100);
    }
    return Reopen(width, height);
}

std::string GLTestContext::Reopen(int width, int height)
{
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (SDL_SetVideoMode(width, height, 0, SDL_OPENGL) == nullptr)
        return std::string("SDL_SetVideoMode: ") + SDL_GetError();
    gWidth = width;
    gHeight = height;
    return std::string();
}

void GLTestContext::Close()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<uint32_t> GLTestContext::ReadPixels(int x, int y, int width, int height)
{
    std::vector<uint32_t> flipped(size_t(width) * size_t(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, gHeight - y - height, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 flipped.data());
    std::vector<uint32_t> rows(flipped.size());
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            rows[size_t(row) * size_t(width) + size_t(col)] =
                0xFF000000u | flipped[size_t(height - 1 - row) * size_t(width) + size_t(col)];
    return rows;
}

} // namespace Vaxo
