// Image: the abstract drawing target and source, and AnimInfo, the frame timing of an
// animated sprite sheet.
//
// Every concrete image (the software MemoryImage, the display-format images, the screen)
// derives from Image. The base holds the size, the cel grid and the optional animation,
// and declares every drawing primitive as a virtual operation that does nothing here
// (DrawRect and FillScanLines are built on FillRect). Graphics never touches pixels: it
// translates, scales and clips, then calls these operations on its destination, so an
// image may trust the rectangles it is given.
//
// Draw modes (the int "drawMode" arguments): 0 normal alpha blending, 1 additive.
#pragma once

#include "graphics/Color.h"
#include "graphics/Matrix.h"
#include "graphics/Rect.h"
#include "graphics/TriVertex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

class Graphics;

// One horizontal run handed to FillScanLines: pixels mX .. mX + mWidth - 1 of row mY.
struct Span
{
    int32_t mY;
    int32_t mX;
    int32_t mWidth;
};

// Frame timing of an animation over an image's cels. The resource loader stores the
// type, delays and frame map from the manifest and then calls Compute. Times are in
// the caller's time units (update ticks for the game).
class AnimInfo
{
public:
    enum
    {
        AnimType_None = 0,
        AnimType_Once = 1,
        AnimType_PingPong = 2,
        AnimType_Loop = 3
    };

    // A manifest can ask for any frame count; more frames than this are not kept, so
    // a bad number cannot claim unbounded memory.
    static constexpr int32_t kMaxFrames = 65536;

    int32_t mAnimType;
    // Time units per frame when no per-frame delays are given.
    int32_t mFrameDelay;
    // Frames of the animation; after Compute, the length of the frame sequence.
    int32_t mNumCels;
    // Delay of each frame; empty means every frame takes mFrameDelay.
    std::vector<int32_t> mPerFrameDelay;
    // Frame number to cel index; empty means frame n shows cel n.
    std::vector<int32_t> mFrameMap;
    // Length of one pass in time units; set by Compute (0 before).
    int32_t mTotalAnimTime;

public:
    AnimInfo();

    // Grows the per-frame delays with zeros to frame + 1 entries, then stores the delay.
    // A frame outside 0 .. kMaxFrames - 1 is ignored.
    void SetPerFrameDelay(int frame, int delay);
    // Completes the description for numCels cels and extra delays of the first and last
    // frame (each only when greater than 0).
    void Compute(int numCels, int beginFrameTime = 0, int endFrameTime = 0);

    // Frame at a time within one pass by walking the per-frame delays (no modulo, no
    // frame map); mNumCels - 1 past the end.
    int GetPerFrameCel(int time) const;
    // Cel to show at a time; loops unless the type is "once", which holds the last cel.
    int GetCel(int time) const;

private:
    int FrameToCel(int frame) const;
};

class Image
{
public:
    // Set by the blitters of derived images whenever this image is a blit source.
    bool mDrawn;
    // File the image was loaded from; empty for made images and for copies.
    std::string mFilePath;
    int32_t mWidth;
    int32_t mHeight;
    // The cel grid of a sprite sheet; both 1 for a plain image.
    int32_t mNumRows;
    int32_t mNumCols;
    // Null when the image is not animated.
    std::unique_ptr<AnimInfo> mAnimInfo;

public:
    Image();
    // Copies size, grid and animation; the file path is not copied and mDrawn is false.
    Image(const Image& other);
    Image& operator=(const Image&) = delete;
    virtual ~Image();

    // Fills a polygon through the 3D renderer; true when it was drawn (false: the caller
    // fills it in software).
    virtual bool PolyFill3D(const TPoint<int>* vertices, int numVertices, const TRect<int>* clipRect,
                            const Color& color, int drawMode, int tx, int ty, bool convex);
    virtual void FillRect(const TRect<int>& rect, const Color& color, int drawMode);
    // Outline covering (width + 1) x (height + 1) pixels, as four FillRect calls.
    virtual void DrawRect(const TRect<int>& rect, const Color& color, int drawMode);
    // Sets the rectangle to 0 (transparent black).
    virtual void ClearRect(const TRect<int>& rect);
    virtual void DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                          int drawMode);
    virtual void DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                            int drawMode);
    // One FillRect per span.
    virtual void FillScanLines(Span* spans, int spanCount, const Color& color, int drawMode);
    // Spans whose pixels are weighted by a coverage map (one byte per pixel, 0-255) of
    // coverWidth x coverHeight pixels with its top-left at (coverX, coverY).
    virtual void FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                           const unsigned char* coverage, int coverX, int coverY,
                                           int coverWidth, int coverHeight);
    virtual void Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color, int drawMode);
    virtual void BltF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                      const Color& color, int drawMode);
    // angle in radians; (rotCenterX, rotCenterY) relative to the drawn image's top-left.
    virtual void BltRotated(Image* image, float x, float y, const TRect<int>& srcRect,
                            const TRect<int>& clipRect, const Color& color, int drawMode, double angle,
                            float rotCenterX, float rotCenterY);
    virtual void StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                            const TRect<int>& clipRect, const Color& color, int drawMode, bool fastStretch);
    virtual void BltMatrix(Image* image, float x, float y, const VaxoMatrix3& matrix,
                           const TRect<int>& clipRect, const Color& color, int drawMode,
                           const TRect<int>& srcRect, bool blend);
    // triangles: numTriangles groups of three vertices, offset by (tx, ty).
    virtual void BltTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                                 const TRect<int>& clipRect, const Color& color, int drawMode, float tx,
                                 float ty, bool blend);
    virtual void BltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                           int drawMode);
    virtual void StretchBltMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                                  const TRect<int>& clipRect, const Color& color, int drawMode,
                                  bool fastStretch);
    // True when the image is drawn by the 3D renderer.
    virtual bool Is3D();

    int GetWidth() const { return mWidth; }
    int GetHeight() const { return mHeight; }
    // A row or column count below 1 (a manifest may say cols="0") counts as 1.
    int GetCelWidth() const;
    int GetCelHeight() const;
    // The row count when above 1, else the column count.
    int GetNumCels() const;
    // Cel index to rectangle, left to right then top to bottom; not range-checked.
    TRect<int> GetCelRect(int cel) const;
    TRect<int> GetCelRect(int column, int row) const;
    // 0 without animation.
    int GetAnimCel(int time) const;
    // The cel of a one-row (horizontal) or one-column (vertical) strip at a time.
    TRect<int> GetAnimCelRect(int time) const;
    // Copies the grid and a deep copy of the animation; size and path stay.
    void CopyAttributes(Image* other);
    // A new drawing context on this image; the caller deletes it.
    Graphics* GetGraphics();

private:
    int Cols() const { return mNumCols < 1 ? 1 : mNumCols; }
    int Rows() const { return mNumRows < 1 ? 1 : mNumRows; }
};

} // namespace Vaxo
