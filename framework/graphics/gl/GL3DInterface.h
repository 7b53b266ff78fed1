// Internal to framework/graphics.
// GL3DInterface: the OpenGL implementation of the display's 3D interface.
//
// Draws with OpenGL 1.x in immediate mode into the window's context (one pixel per unit,
// y down). Every source image becomes a grid of textures (GLTextureData) on its first
// textured draw; shapes cut by a clip rectangle go through the polygon clipper. The
// display makes one per display, calls Init once the OpenGL video mode is set, Flush at
// the end of each redraw, Cleanup (holding the application's image mutex) when it tears
// the mode down, and RemoveMemoryImage when an image dies or drops its textures.
//
// Threads: every OpenGL call runs on the thread that set up the context (the main
// thread). Images may die on the loading thread; their texture names are then queued and
// deleted at the next frame. The textured-image set and that queue are guarded by the
// application's image mutex.
#pragma once

#include "graphics/X3DInterface.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

namespace Vaxo
{

class GLTextureData;

class GL3DInterface : public X3DInterface
{
public:
    // Viewport size in pixels, copied from the application at Init.
    int32_t mWidth;
    int32_t mHeight;
    // A frame has begun (the first draw after a Flush); cleared by Flush.
    bool mSceneBegun;
    // The application's windowed flag, copied at Init.
    bool mIsWindowed;
    // Every image whose m3DData this interface made. Image mutex.
    std::set<MemoryImage*> mImageSet;
    // Names of textures whose images died off the context's thread, deleted at the next
    // frame. Image mutex.
    std::vector<uint32_t> mPendingDeletes;
    // The thread that owns the OpenGL context: the one that made this interface or last
    // ran Init. Atomic: the loading thread reads it when its images die, and the display
    // may be set up again meanwhile.
    std::atomic<std::thread::id> mContextThread;

public:
    explicit GL3DInterface(NativeDisplay* display);
    ~GL3DInterface() override;

    // Starts on the display's OpenGL video mode; false when there is none (or no application).
    bool Init() override;
    // Drops every image's textures. Images that gave their pixels up to the textures get
    // them read back first, so they survive a new video mode. The caller holds the image
    // mutex.
    void Cleanup() override;
    void Flush(bool force) override;
    void RemoveMemoryImage(MemoryImage* image) override;
    void UpdateViewport() override;
    // Reads a purged image's pixels back from its textures into its mBits.
    bool RecoverBits(MemoryImage* image) override;

    void Blt(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color, int drawMode,
             bool linearFilter) override;
    void BltClipF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>* clipRect,
                  const Color& color, int drawMode) override;
    void BltMirror(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color,
                   int drawMode, bool linearFilter) override;
    void StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                    const TRect<int>* clipRect, const Color& color, int drawMode, bool fastStretch,
                    bool mirror) override;
    void BltRotated(Image* image, float x, float y, const TRect<int>* clipRect, const Color& color,
                    int drawMode, double angle, float centerX, float centerY,
                    const TRect<int>& srcRect) override;
    void BltTransformed(Image* image, const TRect<int>* clipRect, const Color& color, int drawMode,
                        const TRect<int>& srcRect, const VaxoMatrix3& transform, bool linearFilter, float x,
                        float y, bool center) override;
    void DrawLine(double x1, double y1, double x2, double y2, const Color& color, int drawMode) override;
    void FillRect(const TRect<int>& rect, const Color& color, int drawMode) override;
    void DrawTriangle(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3, const Color& color,
                      int drawMode) override;
    void DrawTriangleTex(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3, const Color& color,
                         int drawMode, Image* texture, bool blend) override;
    void DrawTrianglesTex(const TriVertex (*triangles)[3], int count, const Color& color, int drawMode,
                          Image* texture, float tx, float ty, bool blend) override;
    void DrawTrianglesTexStrip(const TriVertex* vertices, int count, const Color& color, int drawMode,
                               Image* texture, float tx, float ty, bool blend) override;
    void FillPoly(const TPoint<int>* points, int count, const TRect<int>* clipRect, const Color& color,
                  int drawMode, int tx, int ty) override;

    // Copies the application's size and windowed flag, then Init3D.
    bool InitFromSDLDisplay(NativeDisplay* display);
    // Viewport, extensions and texture limits of the current context; cannot fail.
    bool Init3D();
    // First step of every draw: false while drawing is suspended; begins the frame.
    bool PreDraw();
    // Blend function of the draw mode: 0 alpha blending, anything else additive.
    void SetupDrawMode(int drawMode, const Color& color, Image* image);
    // Makes sure the image's textures exist and are current; false when it can have none
    // (empty, or not registered with this application).
    bool CreateImageTexture(MemoryImage* image);
    // Binds the image's first piece; null disables texturing.
    void SetCurTexture(MemoryImage* image);

private:
    bool OnContextThread() const { return std::this_thread::get_id() == mContextThread; }
    // Deletes the queued texture names (context thread with a context), or forgets them.
    void DeletePendingTextures();
    // Drops one image's texture data in the way the calling thread allows.
    void ReleaseImageData(GLTextureData* data);
    void CleanupImages(bool keepPixels);
    // The top of the transform stack applied to a point.
    void TransformPoint(float& x, float& y) const;
};

} // namespace Vaxo
