// Internal to framework/graphics.
// X3DInterface: the display's hardware-drawing interface.
//
// When the OpenGL renderer is in use, the screen image hands every fill, line, polygon
// and image draw to the display's X3DInterface instead of touching pixels. This base
// does nothing (Init fails, draws are dropped) except keep the transform stack; the
// OpenGL renderer (GL3DInterface) implements the rest. Every image argument must be a
// MemoryImage (or derived). All calls run on the main thread.
#pragma once

#include "graphics/Color.h"
#include "graphics/Matrix.h"
#include "graphics/Rect.h"
#include "graphics/TriVertex.h"

#include <list>
#include <string>

namespace Vaxo
{

class GraphicsApp;
class Image;
class MemoryImage;
class NativeDisplay;

class X3DInterface
{
public:
    // The display's application; not owned.
    GraphicsApp* mApp;
    // The display that owns this interface.
    NativeDisplay* mDisplay;
    // Pushed and popped transforms; the back is the current one, empty means none.
    std::list<VaxoMatrix3> mTransformStack;

    // Text of the last set-up failure; the display quotes it after "3D init error: ".
    // Never destroyed, so it is safe from any static destructor.
    static std::string& mErrorString;

public:
    // Takes the display and the display's application pointer.
    explicit X3DInterface(NativeDisplay* display);
    X3DInterface(const X3DInterface&) = delete;
    X3DInterface& operator=(const X3DInterface&) = delete;
    virtual ~X3DInterface();

    virtual bool Init();
    // Drops every image's texture data; the caller holds the image mutex.
    virtual void Cleanup();
    // Pushes m, or m * top (m applies after the current top) when concatenating.
    virtual void PushTransform(const VaxoMatrix3& m, bool concatenate);
    virtual void PopTransform();
    // Ends a frame; force presents even when nothing was drawn.
    virtual void Flush(bool force);
    // Drops the image's texture data.
    virtual void RemoveMemoryImage(MemoryImage* image);
    virtual void UpdateViewport();
    // Reads pixels back from the textures; false when it cannot.
    virtual bool RecoverBits(MemoryImage* image);

    virtual void Blt(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color,
                     int drawMode, bool linearFilter);
    virtual void BltClipF(Image* image, float x, float y, const TRect<int>& srcRect,
                          const TRect<int>* clipRect, const Color& color, int drawMode);
    virtual void BltMirror(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color,
                           int drawMode, bool linearFilter);
    virtual void StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                            const TRect<int>* clipRect, const Color& color, int drawMode, bool fastStretch,
                            bool mirror);
    // angle in radians; (centerX, centerY) relative to the drawn image's top-left.
    virtual void BltRotated(Image* image, float x, float y, const TRect<int>* clipRect, const Color& color,
                            int drawMode, double angle, float centerX, float centerY,
                            const TRect<int>& srcRect);
    virtual void BltTransformed(Image* image, const TRect<int>* clipRect, const Color& color, int drawMode,
                                const TRect<int>& srcRect, const VaxoMatrix3& transform, bool linearFilter,
                                float x, float y, bool center);
    virtual void DrawLine(double x1, double y1, double x2, double y2, const Color& color, int drawMode);
    virtual void FillRect(const TRect<int>& rect, const Color& color, int drawMode);
    virtual void DrawTriangle(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3,
                              const Color& color, int drawMode);
    virtual void DrawTriangleTex(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3,
                                 const Color& color, int drawMode, Image* texture, bool blend);
    // triangles: count groups of three vertices, offset by (tx, ty).
    virtual void DrawTrianglesTex(const TriVertex (*triangles)[3], int count, const Color& color,
                                  int drawMode, Image* texture, float tx, float ty, bool blend);
    // count triangles from count + 2 vertices: triangle i is (i, i + 1, i + 2).
    virtual void DrawTrianglesTexStrip(const TriVertex* vertices, int count, const Color& color, int drawMode,
                                       Image* texture, float tx, float ty, bool blend);
    virtual void FillPoly(const TPoint<int>* points, int count, const TRect<int>* clipRect,
                          const Color& color, int drawMode, int tx, int ty);
};

} // namespace Vaxo
