#include "graphics/gl/GLFunctions.h"

#include <GL/glu.h>
#include <SDL.h>

namespace Vaxo
{

namespace
{

void RealSwapBuffers()
{
    SDL_GL_SwapBuffers();
}

bool RealHasContext()
{
    // SDL 1.2 keeps one context with the video surface; it goes with the surface.
    const SDL_Surface* surface = SDL_GetVideoSurface();
    return surface != nullptr && (surface->flags & SDL_OPENGL) != 0;
}

const GLFunctions* gTable = nullptr;

} // namespace

const GLFunctions& RealGLFunctions()
{
    static const GLFunctions* const real = new GLFunctions{
        glEnable,        glDisable,       glBindTexture,   glGenTextures, glDeleteTextures, glTexImage2D,
        glTexSubImage2D, glGetTexImage,   glTexParameteri, glTexEnvf,     glBlendFunc,      glBegin,
        glEnd,           glVertex2f,      glVertex2i,      glTexCoord2f,  glColor4ub,       glMatrixMode,
        glLoadIdentity,  gluOrtho2D,      glShadeModel,    glClearColor,  glPixelStorei,    glGetString,
        glGetIntegerv,   RealSwapBuffers, RealHasContext};
    return *real;
}

const GLFunctions& GL()
{
    return gTable != nullptr ? *gTable : RealGLFunctions();
}

void SetGLFunctions(const GLFunctions* table)
{
    gTable = table;
}

} // namespace Vaxo
