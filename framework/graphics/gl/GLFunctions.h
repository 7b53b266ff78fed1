// Internal to framework/graphics/gl.
// GLFunctions: every OpenGL, GLU and SDL-GL call the renderer makes, as a table of
// function pointers.
//
// The renderer and the texture code call OpenGL only through GL(), so that unit tests can
// install a recording fake (SetGLFunctions) and run without a display. The real table
// points at libGL, libGLU and SDL. Main thread only: the table pointer is not locked.
#pragma once

#include <GL/gl.h>

namespace Vaxo
{

struct GLFunctions
{
    void (*Enable)(GLenum cap);
    void (*Disable)(GLenum cap);
    void (*BindTexture)(GLenum target, GLuint name);
    void (*GenTextures)(GLsizei count, GLuint* names);
    void (*DeleteTextures)(GLsizei count, const GLuint* names);
    void (*TexImage2D)(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                       GLint border, GLenum format, GLenum type, const void* pixels);
    void (*TexSubImage2D)(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                          GLenum format, GLenum type, const void* pixels);
    void (*GetTexImage)(GLenum target, GLint level, GLenum format, GLenum type, void* pixels);
    void (*TexParameteri)(GLenum target, GLenum name, GLint value);
    void (*TexEnvf)(GLenum target, GLenum name, GLfloat value);
    void (*BlendFunc)(GLenum source, GLenum dest);
    void (*Begin)(GLenum mode);
    void (*End)();
    void (*Vertex2f)(GLfloat x, GLfloat y);
    void (*Vertex2i)(GLint x, GLint y);
    void (*TexCoord2f)(GLfloat u, GLfloat v);
    void (*Color4ub)(GLubyte red, GLubyte green, GLubyte blue, GLubyte alpha);
    void (*MatrixMode)(GLenum mode);
    void (*LoadIdentity)();
    // gluOrtho2D
    void (*Ortho2D)(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top);
    void (*ShadeModel)(GLenum mode);
    void (*ClearColor)(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
    void (*PixelStorei)(GLenum name, GLint value);
    const GLubyte* (*GetString)(GLenum name);
    void (*GetIntegerv)(GLenum name, GLint* value);
    // SDL_GL_SwapBuffers
    void (*SwapBuffers)();
    // True while an OpenGL video mode is set, i.e. the context (and every texture name
    // made in it) exists.
    bool (*HasContext)();
};

// The table in use: the real one unless a test installed another.
const GLFunctions& GL();
// The table over libGL, libGLU and SDL; built on first use, never destroyed.
const GLFunctions& RealGLFunctions();
// Installs a table (tests only); null goes back to the real one. The table must outlive
// its use.
void SetGLFunctions(const GLFunctions* table);

} // namespace Vaxo
