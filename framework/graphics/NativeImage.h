// Internal to framework/graphics, framework/app, framework/widgets and framework/resources.
// NativeImage: a software image that can also keep its pixels in a surface in the
// display's pixel format (16-bit 565/555 or 32-bit XRGB words).
//
// The platform supplies the surface through six pure operations (SDLImage is the SDL
// one; the screen image is one too). This class decides when the surface is made from
// the 32-bit pixels, when the pixels are read back, and which form is dropped when the
// other changes. An image is in one of three states: software only (mBits or palette
// form), both (same pixels in each), or surface only. Fills and lines (NativeImage.cpp),
// blitters (NativeImageBlt.cpp), stretching and rotation (NativeImageStretch.cpp) draw
// straight into the locked surface; an image whose screen runs the 3D renderer hands
// every call to the display's X3DInterface.
//
// The rule that holds everything together: the software copy is dropped only after a
// draw has really reached the surface; a draw that cannot reach one goes to the
// software pixels instead.
#pragma once

#include "graphics/MemoryImage.h"

#include <cstdint>
#include <memory>

namespace Vaxo
{

class NativeDisplay;

class NativeImage : public MemoryImage
{
public:
    // The display whose pixel format the surface uses; not owned.
    NativeDisplay* mDisplay;
    // The surface came from outside (the screen) and is never freed or purged here.
    bool mExternalSurface;
    // The surface must not be locked: surface draws and the read-back do nothing.
    bool mNoLock;
    // Make the surface in video memory.
    bool mVideoMemory;
    // The image is meant to live as a surface: PurgeBits and ReInit regenerate it.
    bool mWantDDSurface;
    // Draw on the software pixels even when the image is opaque.
    bool mDrawToBits;
    // Outstanding LockSurface calls; never below 0.
    int32_t mLockCount;
    // First byte of the surface pixels; valid only while mLockCount > 0.
    void* mLockedBits;
    // Bytes from one surface row to the next; valid only while mLockCount > 0.
    int32_t mLockedPitch;

public:
    explicit NativeImage(NativeDisplay* display);
    ~NativeImage() override;

    // --- Replaced software-image operations ----------------------------------------
    bool PolyFill3D(const TPoint<int>* vertices, int numVertices, const TRect<int>* clipRect,
                    const Color& color, int drawMode, int tx, int ty, bool convex) override;
    void FillRect(const TRect<int>& rect, const Color& color, int drawMode) override;
    // Sets the rectangle to 0: on the screen too, without losing the screen's surface.
    void ClearRect(const TRect<int>& rect) override;
    void Clear() override;
    void DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                  int drawMode) override;
    void DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                    int drawMode) override;
    void FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                   const unsigned char* coverage, int coverX, int coverY, int coverWidth,
                                   int coverHeight) override;
    void Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
             int drawMode) override;
    void BltF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
              const Color& color, int drawMode) override;
    void BltRotated(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                    const Color& color, int drawMode, double angle, float rotCenterX,
                    float rotCenterY) override;
    void StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                    const TRect<int>& clipRect, const Color& color, int drawMode, bool fastStretch) override;
    void BltMatrix(Image* image, float x, float y, const VaxoMatrix3& matrix, const TRect<int>& clipRect,
                   const Color& color, int drawMode, const TRect<int>& srcRect, bool blend) override;
    void BltTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                         const TRect<int>& clipRect, const Color& color, int drawMode, float tx, float ty,
                         bool blend) override;
    void BltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                   int drawMode) override;
    void StretchBltMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                          const TRect<int>& clipRect, const Color& color, int drawMode,
                          bool fastStretch) override;

    void PurgeBits() override;
    void DeleteExtraBuffers() override;
    void ReInit() override;
    // The software pixels are the newer form: the surface is thrown away unread. Without
    // software pixels the surface is the newer form and stays.
    void BitsChanged() override;
    void CommitBits() override;
    void DeleteNativeData() override;
    void Create(int width, int height) override;
    // The 32-bit pixels, read back from the surface when they live only there; null
    // when the surface cannot be locked (mNoLock, a failed lock, the 3D screen).
    uint32_t* GetBits() override;
    bool Palletize() override;

    // --- Surface supplied by the platform ------------------------------------------
    // An empty surface of the image's size in the display's format.
    virtual bool CreateSurface() = 0;
    // Locks and sets mLockedBits and mLockedPitch; false without a surface.
    virtual bool LockSurfaceInternal() = 0;
    virtual bool UnlockSurfaceInternal() = 0;
    virtual bool HasSurface() = 0;
    // Frees the surface, or only forgets it when it is external.
    virtual void ReleaseSurface() = 0;
    // Copies a rectangle from another image's surface (sizes equal; no scaling).
    virtual void SurfaceBlt(NativeImage* src, const TRect<int>& srcRect, const TRect<int>& destRect) = 0;

    // Makes the surface from the software pixels; true when the image has one now.
    virtual bool GenerateDDSurface();
    virtual void SetVideoMemory(bool wantVideoMemory);
    virtual void RehupFirstPixelTrans();
    virtual void NormalFillRect(const TRect<int>& rect, const Color& color);
    virtual void AdditiveFillRect(const TRect<int>& rect, const Color& color);
    virtual void NormalBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    virtual void AdditiveBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    virtual void NormalDrawLine(double startX, double startY, double endX, double endY, const Color& color);
    virtual void AdditiveDrawLine(double startX, double startY, double endX, double endY, const Color& color);
    virtual void NormalDrawLineAA(double startX, double startY, double endX, double endY, const Color& color);
    // Draws nothing: an additive anti-aliased line leaves a display-format image as it is.
    virtual void AdditiveDrawLineAA(double startX, double startY, double endX, double endY,
                                    const Color& color);
    virtual void NormalBltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    virtual void AdditiveBltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    // Counted: only the outermost pair reaches the platform. False on the 3D screen.
    virtual bool LockSurface();
    // False on the 3D screen and when nothing is locked (the count never goes below 0).
    virtual bool UnlockSurface();

    void Init();
    // Reads the pixels back when no other form holds them, then frees the surface.
    void DeleteDDSurface();
    // Drops every software form after a draw on the surface, and counts the change;
    // does nothing without a surface, which would then lose the only copy of the pixels.
    void DeleteAllNonSurfaceData();

protected:
    // The software-image route of the draws: the image must keep its 32-bit pixels.
    bool UsesSoftwareRoute();
    // The display's format is one the surface loops handle (16 or 32 bits, tables built).
    bool SurfaceFormatUsable() const;
    // Both ends finite and on the image: what the drawing context hands over after clipping.
    bool LineInImage(double x1, double y1, double x2, double y2) const;
    // 0x888, 0x565, 0x555, or 0 for any other layout.
    int PixelFormatCode() const;
    // A software copy of the source rectangle flipped left to right; null when the
    // rectangle is not wholly inside the source or the source has no pixels.
    // The nearest-pixel stretch on the locked surface; false when nothing was drawn.
    bool FastStretchToSurface(MemoryImage* src, const TRect<double>& srcRect, const TRect<int>& destRect,
                              const Color& color, int drawMode, bool mirror);
    static std::unique_ptr<MemoryImage> MirroredCopy(Image* image, const TRect<int>& srcRect);

private:
    // Runs draw(format, colour) on the locked surface, made from the software pixels first,
    // then drops the software forms. Nothing is drawn when the surface must not or cannot
    // be locked, or when its format is not one the loops handle. draw takes both by value:
    // the loops then know that no word they write changes them.
    template <class Draw> void DrawOnSurface(const Color& color, Draw draw);
    // The routing DrawLine and DrawLineAA share; antiAlias picks the line drawn at the end.
    void RouteLine(double startX, double startY, double endX, double endY, const Color& color, int drawMode,
                   bool antiAlias);
    // The run-length blitters after the source checks: clipped, then RunsToSurface.
    void RunsBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color, bool additive,
                 bool mirror);
    // The run-length loops on the locked surface for an already clipped srcRect at (x, y).
    void RunsToSurface(MemoryImage* src, int x, int y, const TRect<int>& srcRect, const Color& color,
                       bool additive, bool mirror);
    // Platform copy from another image's surface; drops the software forms afterwards.
    void CopyFromSurface(NativeImage* src, const TRect<int>& srcRect, const TRect<int>& destRect);
};

// Holds a surface lock for a scope. The image is left locked only when Locked().
class SurfaceLock
{
public:
    explicit SurfaceLock(NativeImage* image) : mImage(image), mLocked(image->LockSurface()) {}
    ~SurfaceLock()
    {
        if (mLocked)
            mImage->UnlockSurface();
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    bool Locked() const { return mLocked; }

private:
    NativeImage* mImage;
    bool mLocked;
};

} // namespace Vaxo
