#include "graphics/gl/PolyClip.h"

#include "graphics/gl/GLFunctions.h"

#include <cmath>
#include <cstring>

namespace Vaxo
{

VertexList::VertexList() : mData(mInline), mSize(0), mCapacity(kInlineCapacity) {}

VertexList::VertexList(const VertexList& other) : mData(mInline), mSize(0), mCapacity(kInlineCapacity)
{
    // Size stays 0 until the storage is big enough, so reserve copies nothing stale.
    reserve(other.mSize);
    std::memcpy(mData, other.mData, sizeof(GLVertex) * size_t(other.mSize));
    mSize = other.mSize;
}

VertexList& VertexList::operator=(const VertexList& other)
{
    if (this == &other)
        return *this;
    reserve(other.mSize);
    std::memcpy(mData, other.mData, sizeof(GLVertex) * size_t(other.mSize));
    mSize = other.mSize;
    return *this;
}

VertexList::~VertexList()
{
    if (OnHeap())
        delete[] mData;
}

void VertexList::reserve(int32_t n)
{
    if (mCapacity >= n)
        return;
    GLVertex* grown = new GLVertex[size_t(n)];
    std::memcpy(grown, mData, sizeof(GLVertex) * size_t(mSize));
    if (OnHeap())
        delete[] mData;
    mData = grown;
    mCapacity = n;
}

void VertexList::push_back(const GLVertex& vertex)
{
    if (mSize == mCapacity)
        reserve(2 * mSize);
    mData[mSize++] = vertex;
}

GLVertex Interpolate(const GLVertex& a, const GLVertex& b, float t)
{
    GLVertex result = a;
    result.x = std::fma(t, b.x - a.x, a.x);
    result.y = std::fma(t, b.y - a.y, a.y);
    result.u = std::fma(t, b.u - a.u, a.u);
    result.v = std::fma(t, b.v - a.v, a.v);
    if (a.color != b.color)
    {
        uint32_t color = 0;
        for (int shift = 0; shift < 32; shift += 8)
        {
            const float ca = float((a.color >> shift) & 0xFF);
            const float cb = float((b.color >> shift) & 0xFF);
            // Both ends lie in 0..255 and t in 0..1, so the truncated value does too.
            const uint32_t c = uint32_t(int32_t(ca + t * (cb - ca))) & 0xFF;
            color |= c << shift;
        }
        result.color = color;
    }
    return result;
}

void ClipPolyToRect(const TRect<int>& clip, const VertexList& polygon, VertexList& out)
{
    VertexList b;
    out = polygon;
    PointClipper<std::less<float>>::ClipPoints(kClipX, float(clip.mX), out, b);
    out.clear();
    PointClipper<std::less<float>>::ClipPoints(kClipY, float(clip.mY), b, out);
    b.clear();
    PointClipper<std::greater_equal<float>>::ClipPoints(kClipX, float(int64_t(clip.mX) + clip.mWidth), out,
                                                        b);
    out.clear();
    PointClipper<std::greater_equal<float>>::ClipPoints(kClipY, float(int64_t(clip.mY) + clip.mHeight), b,
                                                        out);
}

void ClipPolyToUnitTexture(const VertexList& polygon, VertexList& out)
{
    VertexList b;
    out = polygon;
    PointClipper<std::less<float>>::ClipPoints(kClipU, 0.0f, out, b);
    out.clear();
    PointClipper<std::less<float>>::ClipPoints(kClipV, 0.0f, b, out);
    b.clear();
    PointClipper<std::greater_equal<float>>::ClipPoints(kClipU, 1.0f, out, b);
    out.clear();
    PointClipper<std::greater_equal<float>>::ClipPoints(kClipV, 1.0f, b, out);
}

void DrawPolyClipped(const TRect<int>* clip, const VertexList& polygon)
{
    if (clip == nullptr)
        return;
    VertexList a;
    ClipPolyToRect(*clip, polygon, a);
    if (a.size() < 3)
        return; // clipped away, or to a line: nothing to fill
    const GLFunctions& gl = GL();
    gl.Begin(GL_TRIANGLE_FAN);
    for (int32_t i = 0; i < a.size(); ++i)
    {
        const GLVertex& v = a[i];
        gl.Color4ub(GLubyte(v.color >> 16), GLubyte(v.color >> 8), GLubyte(v.color), GLubyte(v.color >> 24));
        gl.TexCoord2f(v.u, v.v);
        gl.Vertex2f(v.x, v.y);
    }
    gl.End();
}

} // namespace Vaxo
