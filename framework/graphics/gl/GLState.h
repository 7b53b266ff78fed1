// Internal to framework/graphics/gl.
// GLState: the renderer's mirror of the one OpenGL context's state, and the small helpers
// that change it without redundant calls.
//
// Shared by the renderer (GL3DInterface) and the texture grids (GLTextureData). Main
// thread only, like every OpenGL call.
#pragma once

#include "graphics/Color.h"
#include "graphics/TriVertex.h"

#include <cstdint>

namespace Vaxo
{

struct GLTextureDataPiece;

// The texture name bound to GL_TEXTURE_2D; 0 means texturing is disabled.
extern uint32_t gCurTexture;
// The filter the next textured draw wants: true GL_LINEAR, false GL_NEAREST.
extern bool gLinearFilter;
// The driver lists "GL_EXT_bgra": pixels upload as they are, without a red-blue swap.
extern bool gHasBGRExtension;
// The driver lists an edge-clamp extension: pieces wrap with GL_CLAMP_TO_EDGE.
extern bool gHasEdgeClampExtension;

// Binds name (0 disables texturing); nothing when it is already bound.
void SetGLTexture(uint32_t name);
// Binds the piece and brings its filter to gLinearFilter when it differs.
void SetGLTextureData(GLTextureDataPiece& piece);
// The vertex's own colour when it has one, else color.
void SetGLColor(const TriVertex& vertex, const Color& color);
// glColor4ub from the low byte of each channel.
void SetGLColor(const Color& color);
// The colour as an ARGB word, each channel cut to its low byte.
uint32_t ColorToARGB(const Color& color);
// True when name occurs in the space-separated list as a whole word; false for a null list.
bool CheckExtension(const char* list, const char* name);
// Tests only: back to the state of a process that has drawn nothing.
void ResetGLStateForTest();

} // namespace Vaxo
