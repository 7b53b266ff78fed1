// Internal to framework/graphics.
// TriVertex: one vertex of the textured-triangle operations, shared by the software
// triangle blitters and the OpenGL renderer.
#pragma once

#include <cstdint>

namespace Vaxo
{

struct TriVertex
{
    float x; // destination pixels
    float y;
    float u; // texture position as a fraction 0..1 of the source image's width
    float v; // ... and height
    // ARGB with alpha in the top byte; 0 means "use the colour passed to the call".
    uint32_t color;

    constexpr TriVertex() : x(0), y(0), u(0), v(0), color(0) {}
    constexpr TriVertex(float theX, float theY, float theU, float theV, uint32_t theColor = 0)
        : x(theX), y(theY), u(theU), v(theV), color(theColor)
    {
    }
};

} // namespace Vaxo
