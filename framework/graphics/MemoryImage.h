// MemoryImage: the software image, a grid of 32-bit 0xAARRGGBB pixels in main memory.
//
// All software drawing lands here (fills and lines in MemoryImageDraw.cpp, blitters in
// MemoryImageBlt.cpp), and every other destination (display-format images, the OpenGL
// renderer) draws from it. Besides the 32-bit pixels the image keeps forms built on
// demand: an 8-bit palette form, the pixels in the display's format premultiplied by
// alpha ("native alpha data"), and two run-length tables the display-format blitters
// use to skip or copy whole runs. Every change of the pixels must end in BitsChanged(),
// which counts it and drops those caches. Images register with the application object
// (the set of live images) for as long as they exist.
//
// Sections: construction; pixels and change tracking; creating and replacing pixels;
// derived buffers; memory saving; fills and lines; blitters.
#pragma once

#include "graphics/Image.h"

#include <cstddef>
#include <cstdint>

namespace Vaxo
{

class GraphicsApp;
class NativeDisplay;
class TextureData;

class MemoryImage : public Image
{
public:
    // Written after the last pixel of every pixel array this class allocates.
    static constexpr uint32_t kGuardWord = 0x4BEEFADE;
    // Largest pixel count Create and SetBits accept; larger or negative sizes give an
    // empty image instead of a wrapped or runaway allocation.
    static constexpr int64_t kMaxPixels = int64_t(1) << 26;

    // Width x height pixels, row-major, followed by the guard word; null while the
    // pixels live only in another form (palette, native data, textures) or not yet.
    uint32_t* mBits;
    // Raised by every BitsChanged; the texture data rebuilds when it differs.
    int32_t mBitsChangedCount;
    // Texture data, created and owned by the 3D interface; null without textures.
    TextureData* m3DData;
    // Texture flags: 1 plain power-of-two pieces, 2 pieces of 64 x 64.
    uint32_t m3DFlags;
    // 256 palette entries (0xAARRGGBB) of the 8-bit form; null unless palletized.
    uint32_t* mPalette;
    // Width x height palette indices; null unless palletized.
    uint8_t* mPaletteIndices;
    // Palette entries in use (the rest are zero and are never read as colours).
    int32_t mPaletteCount;
    // Set by SetImageMode: CommitBits then keeps the two flags below as set.
    bool mImageModeForced;
    // Some pixel has alpha 0 (as of the last CommitBits).
    bool mHasTrans;
    // Some pixel has an alpha strictly between 0 and 255 (as of the last CommitBits).
    bool mHasAlpha;
    // Display-format blitters draw it from its 32-bit pixels, building no caches.
    bool mIsVolatile;
    // PurgeBits was asked for; ReInit purges again.
    bool mPurgeBits;
    // The last Palletize succeeded; ReInit palletizes again.
    bool mWantPalette;
    // Pixels in a display's format, premultiplied, alpha in the top byte: a 256-entry
    // table for the palette form, else width x height words. Cache.
    uint32_t* mNativeAlphaData;
    // Per pixel: pixels left in its run of transparent, opaque or translucent pixels
    // within the row, itself included, capped at 255. Cache.
    uint8_t* mRLAlphaData;
    // The same over two classes: native word with zero colour, and the rest. Cache.
    uint8_t* mRLAdditiveData;
    // The pixels changed since the last CommitBits.
    bool mBitsChanged;
    // The application the image is registered with; not owned, may be null.
    GraphicsApp* mApp;

public:
    // Binds to the global application object gGraphicsApp.
    MemoryImage();
    explicit MemoryImage(GraphicsApp* app);
    // A deep copy of every pixel form; textures are not copied.
    MemoryImage(const MemoryImage& other);
    MemoryImage& operator=(const MemoryImage&) = delete;
    ~MemoryImage() override;

    // --- Fills and lines (MemoryImageDraw.cpp) -----------------------------------
    // The draw mode is not used: an additive fill is a normal fill here.
    void FillRect(const TRect<int>& rect, const Color& color, int drawMode) override;
    void ClearRect(const TRect<int>& rect) override;
    void DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                  int drawMode) override;
    void DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                    int drawMode) override;
    void FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                   const unsigned char* coverage, int coverX, int coverY, int coverWidth,
                                   int coverHeight) override;

    // --- Blitters (MemoryImageBlt.cpp) -------------------------------------------
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

    // --- Derived buffers -----------------------------------------------------------
    // Builds (once) the pixels in display's format; owned by the image.
    virtual uint32_t* GetNativeAlphaData(NativeDisplay* display);
    virtual uint8_t* GetRLAlphaData();
    virtual uint8_t* GetRLAdditiveData(NativeDisplay* display);
    // Drops the three caches (the pixels are rebuilt first when no other form holds them).
    virtual void PurgeBits();
    virtual void DeleteSWBuffers();
    virtual void Delete3DBuffers();
    virtual void DeleteExtraBuffers();
    // Returns to the compact form last asked for (palette, purged).
    virtual void ReInit();
    // Counts a change of the pixels and drops the caches; every writer must call it.
    virtual void BitsChanged();
    // Brings mHasTrans and mHasAlpha up to date after a change.
    virtual void CommitBits();
    // Drops the two caches that depend on a display's pixel format.
    virtual void DeleteNativeData();
    // Sets every pixel to 0.
    virtual void Clear();
    // Copies width x height pixels from bits (still owned by the caller).
    virtual void SetBits(const uint32_t* bits, int width, int height, bool commit = true);
    // Sizes the image; the pixels are made (as zeros) by the next GetBits.
    virtual void Create(int width, int height);
    // The 32-bit pixels, rebuilt from another form when needed. Null only when the
    // image cannot hold pixels at all (a subclass may refuse).
    virtual uint32_t* GetBits();
    virtual void SetImageMode(bool hasTrans, bool hasAlpha);
    virtual void SetVolatile(bool isVolatile);
    // Converts to the palette form; false (image unchanged) beyond 256 colours.
    virtual bool Palletize();

    // Asks the 3D interface to read the pixels back from the textures.
    bool Recover3DBits();

    // --- Blitter steps, shared with the display-format images -----------------------
    void NormalBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    void AdditiveBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color);
    void FastStretchBlt(Image* image, const TRect<int>& destRect, const TRect<double>& srcRect,
                        const Color& color, int drawMode);
    void SlowStretchBlt(Image* image, const TRect<int>& destRect, const TRect<double>& srcRect,
                        const Color& color, int drawMode);
    // Clip of a stretch: the clipped destination and the source part it shows.
    bool StretchBltClipHelper(const TRect<int>& srcRect, const TRect<int>& clipRect,
                              const TRect<int>& destRect, TRect<double>& srcRectOut, TRect<int>& destRectOut);
    // The same for a mirrored stretch: the clipped part is measured from the right.
    bool StretchBltMirrorClipHelper(const TRect<int>& srcRect, const TRect<int>& clipRect,
                                    const TRect<int>& destRect, TRect<double>& srcRectOut,
                                    TRect<int>& destRectOut);
    // Destination bounds of a rotated copy, clipped.
    bool BltRotatedClipHelper(float& x, float& y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                              double angle, TRect<double>& destRectOut, float rotCenterX, float rotCenterY);
    // Sets up the four corners of a matrix copy; a software raster of them is not done.
    void BltMatrixHelper(Image* image, float x, float y, const VaxoMatrix3& matrix,
                         const TRect<int>& clipRect, const Color& color, int drawMode,
                         const TRect<int>& srcRect, void* bits, int width, int height, bool blend);
    void BltTrianglesTexHelper(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                               const TRect<int>& clipRect, const Color& color, int drawMode, void* bits,
                               int width, int height, float tx, float ty, bool blend);

    // Lines of DrawLine and DrawLineAA (end points inside the image).
    void NormalDrawLine(double startX, double startY, double endX, double endY, const Color& color);
    void AdditiveDrawLine(double startX, double startY, double endX, double endY, const Color& color);
    void NormalDrawLineAA(double startX, double startY, double endX, double endY, const Color& color);
    void AdditiveDrawLineAA(double startX, double startY, double endX, double endY, const Color& color);

    // Width x height as a count (0 for an empty image).
    size_t PixelCount() const { return size_t(mWidth) * size_t(mHeight); }

protected:
    // Source pixels of a blit: the palette form when the image holds one, else its
    // 32-bit pixels. False when neither exists.
    bool HasPaletteForm() const { return mPalette != nullptr && mPaletteIndices != nullptr; }

private:
    void Init();
    void FreePaletteForm();
    // A new pixel array of the current size with the guard word set.
    uint32_t* AllocBits() const;
    NativeDisplay* AppDisplay() const;
};

} // namespace Vaxo
