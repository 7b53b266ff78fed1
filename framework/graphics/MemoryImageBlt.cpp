// MemoryImage: straight copies of other images onto the 32-bit pixels (alpha or
// additive, tinted). Stretched copies are in MemoryImageStretch.cpp, rotated ones and
// copies at fractional positions in MemoryImageTurn.cpp.
//
// Sources are MemoryImages read through their palette form when they hold one, else
// through their 32-bit pixels; the loops below are templates over the two readers.
// Rectangles from the caller are clipped to both images, so no read or write leaves
// either image whatever the caller passes.
#include "graphics/MemoryImage.h"

#include "graphics/BlendKernels.h"
#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImagePixels.h"
#include "graphics/MemoryImageSources.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace Vaxo
{

namespace
{

// Clips a straight copy of srcRect to (x, y) against both images. On success srcRect and
// (x, y) describe the visible part, which is at least one pixel.
bool ClipStraightCopy(const Image* dest, const Image* src, int& x, int& y, TRect<int>& srcRect)
{
    const TRect<int> s = srcRect.Intersection(Bounds(src));
    if (s.mWidth <= 0 || s.mHeight <= 0)
        return false;
    const int64_t dx = int64_t(x) + (int64_t(s.mX) - srcRect.mX);
    const int64_t dy = int64_t(y) + (int64_t(s.mY) - srcRect.mY);
    const int64_t left = std::max<int64_t>(dx, 0);
    const int64_t top = std::max<int64_t>(dy, 0);
    const int64_t right = std::min<int64_t>(dx + s.mWidth, dest->GetWidth());
    const int64_t bottom = std::min<int64_t>(dy + s.mHeight, dest->GetHeight());
    if (right <= left || bottom <= top)
        return false;
    srcRect =
        TRect<int>(int(s.mX + (left - dx)), int(s.mY + (top - dy)), int(right - left), int(bottom - top));
    x = int(left);
    y = int(top);
    return true;
}

bool IsGrey(const Color& c)
{
    return c.mRed == c.mGreen && c.mGreen == c.mBlue;
}

// The straight alpha copy, one reader, all colour cases: runs (opaque destination,
// white colour) copy or skip whole runs; else white takes the weighted rule and any
// other colour the tinted one. Rows is FastBlend, or PortableBlend when source and
// destination share pixels (its loops go pixel by pixel from the left).
template <class Rows, class Reader>
void NormalBltLoop(uint32_t* dest, int destWidth, const Reader& src, int srcWidth, int x, int y,
                   const TRect<int>& r, const Color& color, bool white, const uint8_t* runs)
{
    const BlendTint tint{uint32_t(color.mAlpha), uint32_t(color.mRed), uint32_t(color.mGreen),
                         uint32_t(color.mBlue), IsGrey(color)};
    auto draw = [&](const BlendRect& rect, const uint8_t* rectRuns)
    {
        if (rectRuns != nullptr)
            Rows::OverOpaqueRuns(rect, rectRuns);
        else if (white)
            Rows::Weighted(rect);
        else
            Rows::Tinted(rect, tint);
    };
    const size_t s0 = size_t(r.mY) * size_t(srcWidth) + size_t(r.mX);
    uint32_t* d0 = dest + size_t(y) * size_t(destWidth) + size_t(x);
    if constexpr (std::is_same_v<Reader, BitsReader>)
    {
        draw(BlendRect{src.bits + s0, size_t(srcWidth), d0, size_t(destWidth), r.mWidth, r.mHeight},
             runs != nullptr ? runs + s0 : nullptr);
    }
    else
    {
        // The palette form a row at a time, through 32-bit pixels.
        std::vector<uint32_t> row(size_t(r.mWidth));
        for (int i = 0; i < r.mHeight; ++i)
        {
            const size_t from = s0 + size_t(i) * size_t(srcWidth);
            src.CopyRun(row.data(), from, row.size());
            draw(BlendRect{row.data(), 0, d0 + size_t(i) * size_t(destWidth), 0, r.mWidth, 1},
                 runs != nullptr ? runs + from : nullptr);
        }
    }
}

template <class Reader>
void AdditiveBltLoop(uint32_t* dest, int destWidth, const Reader& src, int srcWidth, int x, int y,
                     const TRect<int>& r, const Color& color, bool white, bool srcHasAlpha,
                     const uint8_t* add)
{
    const uint32_t ca = uint32_t(color.mAlpha);
    const uint32_t kR = (ca * uint32_t(color.mRed)) / 255;
    const uint32_t kG = (ca * uint32_t(color.mGreen)) / 255;
    const uint32_t kB = (ca * uint32_t(color.mBlue)) / 255;
    for (int row = 0; row < r.mHeight; ++row)
    {
        const size_t s0 = size_t(r.mY + row) * size_t(srcWidth) + size_t(r.mX);
        uint32_t* d = dest + size_t(y + row) * size_t(destWidth) + size_t(x);
        for (int i = 0; i < r.mWidth; ++i)
        {
            const uint32_t s = src[s0 + size_t(i)];
            const uint32_t sa = s >> 24;
            const uint32_t sR = (s >> 16) & 0xFF, sG = (s >> 8) & 0xFF, sB = s & 0xFF;
            uint32_t aR, aG, aB;
            if (white)
            {
                if (srcHasAlpha)
                {
                    aR = (sR * sa) >> 8;
                    aG = (sG * sa) >> 8;
                    aB = (sB * sa) >> 8;
                }
                else
                {
                    aR = sR;
                    aG = sG;
                    aB = sB;
                }
            }
            else if (srcHasAlpha)
            {
                aR = (sR * kR * sa) >> 16;
                aG = (sG * kG * sa) >> 16;
                aB = (((sB * kB) >> 8) * sa) >> 8;
            }
            else
            {
                aR = (sR * kR) >> 8;
                aG = (sG * kG) >> 8;
                aB = (sB * kB) >> 8;
            }
            const uint32_t dv = d[i];
            d[i] = (dv & 0xFF000000u) | uint32_t(add[((dv >> 16) & 0xFF) + aR]) << 16 |
                   uint32_t(add[((dv >> 8) & 0xFF) + aG]) << 8 | uint32_t(add[(dv & 0xFF) + aB]);
        }
    }
}

} // namespace

void MemoryImage::Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color, int drawMode)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    if (dynamic_cast<MemoryImage*>(image) == nullptr)
        return;
    if (drawMode == 0)
        NormalBlt(image, x, y, srcRect, color);
    else if (drawMode == 1)
        AdditiveBlt(image, x, y, srcRect, color);
}

void MemoryImage::NormalBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    src->mDrawn = true;
    TRect<int> r = srcRect;
    if (!ClipStraightCopy(this, src, x, y, r))
        return;
    // Flags as last committed: the fast path is for destinations known to be opaque.
    const bool white = color == Color::White;
    const bool runPath = white && !mHasAlpha && !mHasTrans;
    const Color col = ClampedColor(color);
    const uint8_t* runs = runPath ? src->GetRLAlphaData() : nullptr;
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    // A copy of an image onto itself may read pixels it has already written.
    const bool shared = src == this && TRect<int>(x, y, r.mWidth, r.mHeight).Intersects(r);
    const bool drew = WithReader(
        src,
        [&](const auto& reader)
        {
            if (shared)
                NormalBltLoop<PortableBlend>(bits, mWidth, reader, src->mWidth, x, y, r, col, white, runs);
            else
                NormalBltLoop<FastBlend>(bits, mWidth, reader, src->mWidth, x, y, r, col, white, runs);
        });
    if (drew)
        BitsChanged();
}

void MemoryImage::AdditiveBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    src->mDrawn = true;
    TRect<int> r = srcRect;
    if (!ClipStraightCopy(this, src, x, y, r))
        return;
    const bool white = color == Color::White;
    const Color col = ClampedColor(color);
    const bool srcHasAlpha = src->mHasAlpha;
    const uint8_t* add = mApp != nullptr ? mApp->mAdd8BitMaxTable : AddTable::Get();
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const bool drew = WithReader(
        src, [&](const auto& reader)
        { AdditiveBltLoop(bits, mWidth, reader, src->mWidth, x, y, r, col, white, srcHasAlpha, add); });
    if (drew)
        BitsChanged();
}

void MemoryImage::BltMatrix(Image* image, float x, float y, const VaxoMatrix3& matrix,
                            const TRect<int>& clipRect, const Color& color, int drawMode,
                            const TRect<int>& srcRect, bool blend)
{
    if (image != nullptr)
        image->mDrawn = true;
    BltMatrixHelper(image, x, y, matrix, clipRect, color, drawMode, srcRect, GetBits(), mWidth, mHeight,
                    blend);
    BitsChanged();
}

void MemoryImage::BltTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                                  const TRect<int>& clipRect, const Color& color, int drawMode, float tx,
                                  float ty, bool blend)
{
    if (texture != nullptr)
        texture->mDrawn = true;
    BltTrianglesTexHelper(texture, triangles, numTriangles, clipRect, color, drawMode, GetBits(), mWidth,
                          mHeight, tx, ty, blend);
    BitsChanged();
}

// Matrix copies and textured triangles are drawn by the 3D renderer only; in software
// they leave the pixels as they are.
void MemoryImage::BltMatrixHelper(Image*, float, float, const VaxoMatrix3&, const TRect<int>&, const Color&,
                                  int, const TRect<int>&, void*, int, int, bool)
{
}

void MemoryImage::BltTrianglesTexHelper(Image*, const TriVertex (*)[3], int, const TRect<int>&, const Color&,
                                        int, void*, int, int, float, float, bool)
{
}

} // namespace Vaxo
