// Internal to framework/graphics/gl.
// Polygon clipping for the OpenGL renderer.
//
// Most shapes are drawn unclipped and left to the viewport, but the drawing context's clip
// rectangle must be honoured exactly, and textured triangles must be cut at the borders of
// texture pieces. One Sutherland-Hodgman clipper does both: it cuts a polygon against one
// boundary per pass, on any vertex coordinate (screen x, y or texture u, v), with the
// outside test given by a comparison type. Lists keep up to 100 vertices inline, since
// clipping runs per drawn quad or triangle and a clipped one has at most 8 vertices.
#pragma once

#include "graphics/Rect.h"

#include <cstdint>
#include <functional>

namespace Vaxo
{

// One vertex of the clipper.
struct GLVertex
{
    float x; // screen position in pixels
    float y;
    float u; // texture coordinates
    float v;
    uint32_t color; // ARGB, alpha in the top byte
};
static_assert(sizeof(GLVertex) == 20, "GLVertex is five 32-bit words");

// Coordinate selectors of the clipper; any other value reads every vertex as 0.
enum
{
    kClipX = 0,
    kClipY = 1,
    kClipU = 3,
    kClipV = 4
};

// A growable array of vertices with room for kInlineCapacity of them inside the object.
class VertexList
{
public:
    static constexpr int32_t kInlineCapacity = 100;

    VertexList();
    VertexList(const VertexList& other);
    VertexList& operator=(const VertexList& other);
    ~VertexList();

    // Makes room for n vertices; never shrinks.
    void reserve(int32_t n);
    void push_back(const GLVertex& vertex);
    // Empties the list; the storage stays.
    void clear() { mSize = 0; }

    int32_t size() const { return mSize; }
    int32_t capacity() const { return mCapacity; }
    bool OnHeap() const { return mData != mInline; }
    GLVertex& operator[](int32_t i) { return mData[i]; }
    const GLVertex& operator[](int32_t i) const { return mData[i]; }

private:
    GLVertex mInline[kInlineCapacity];
    // mInline, or an owned heap array of mCapacity vertices after growth.
    GLVertex* mData;
    int32_t mSize;
    int32_t mCapacity;
};

// The point at fraction t from a to b; colours are interpolated per channel and
// truncated, and kept exactly when both ends share one.
GLVertex Interpolate(const GLVertex& a, const GLVertex& b, float t);

// The coordinate a selector names.
inline float ClipCoordinate(int selector, const GLVertex& vertex)
{
    switch (selector)
    {
    case kClipX:
        return vertex.x;
    case kClipY:
        return vertex.y;
    case kClipU:
        return vertex.u;
    case kClipV:
        return vertex.v;
    default:
        return 0.0f;
    }
}

// Clips against one boundary: a vertex is outside when Compare()(coordinate, bound).
// std::less cuts away what lies before a left or top bound, std::greater_equal what lies
// on or after a right or bottom one.
template <class Compare> class PointClipper
{
public:
    // One edge from prev to cur; appends what of it lies inside.
    static void ClipPoint(int selector, float bound, const GLVertex& prev, const GLVertex& cur,
                          VertexList& out)
    {
        Compare outside;
        const float prevC = ClipCoordinate(selector, prev);
        const float curC = ClipCoordinate(selector, cur);
        const bool prevOut = outside(prevC, bound);
        const bool curOut = outside(curC, bound);
        if (prevOut && curOut)
            return;
        if (prevOut != curOut)
            out.push_back(Interpolate(prev, cur, (bound - prevC) / (curC - prevC)));
        if (!curOut)
            out.push_back(cur);
    }

    // Appends the part of polygon in that lies inside the boundary to out.
    static void ClipPoints(int selector, float bound, const VertexList& in, VertexList& out)
    {
        const int32_t n = in.size();
        if (n <= 1)
            return;
        ClipPoint(selector, bound, in[n - 1], in[0], out);
        for (int32_t i = 1; i < n; ++i)
            ClipPoint(selector, bound, in[i - 1], in[i], out);
    }
};

// Cuts polygon to the half-open rectangle clip (left and top edges inside, right and
// bottom outside), leaving the result in out.
void ClipPolyToRect(const TRect<int>& clip, const VertexList& polygon, VertexList& out);
// Cuts polygon in texture space to 0 <= u < 1 and 0 <= v < 1.
void ClipPolyToUnitTexture(const VertexList& polygon, VertexList& out);
// Clips to the rectangle and draws the rest as one triangle fan with per-vertex colour
// and texture coordinates; texture binding and blending are the caller's.
void DrawPolyClipped(const TRect<int>* clip, const VertexList& polygon);

} // namespace Vaxo
