// NativeImage blitters: route choice (3D, software image, surface copy, own loops) and
// the own loops over the source's premultiplied native data and its run lengths.
#include "graphics/NativeImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/NativeDisplay.h"
#include "graphics/NativeImagePixels.h"
#include "graphics/X3DInterface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{

// Clips a straight (or mirrored) copy of srcRect at (x, y) against both images. On
// success srcRect and (x, y) give the visible part; for a mirror, x is the destination
// column of the rectangle's right-most source column's mirror, as for an unclipped call.
bool ClipCopy(int destW, int destH, const Image* src, int& x, int& y, TRect<int>& srcRect, bool mirror)
{
    const TRect<int> s = srcRect.Intersection(TRect<int>(0, 0, src->GetWidth(), src->GetHeight()));
    if (s.mWidth <= 0 || s.mHeight <= 0)
        return false;
    // Destination column of source column c: x + (c - left) unmirrored, x + (right - 1 - c) mirrored.
    const int64_t left = srcRect.mX, right = int64_t(srcRect.mX) + srcRect.mWidth;
    int64_t c0 = s.mX, c1 = int64_t(s.mX) + s.mWidth; // source columns [c0, c1)
    const auto destCol = [&](int64_t c) { return mirror ? x + (right - 1 - c) : x + (c - left); };
    // Keep the columns whose destination lies in [0, destW).
    while (c0 < c1 && (destCol(c0) < 0 || destCol(c0) >= destW))
    {
        // Jump straight to the boundary instead of stepping pixel by pixel.
        const int64_t d = destCol(c0);
        const int64_t target = d < 0 ? 0 : destW - 1;
        const int64_t jump = std::max<int64_t>(1, std::llabs(target - d));
        c0 += jump;
    }
    while (c1 > c0 && (destCol(c1 - 1) < 0 || destCol(c1 - 1) >= destW))
    {
        const int64_t d = destCol(c1 - 1);
        const int64_t target = d < 0 ? 0 : destW - 1;
        const int64_t jump = std::max<int64_t>(1, std::llabs(target - d));
        c1 -= jump;
    }
    if (c1 <= c0)
        return false;
    int64_t r0 = s.mY, r1 = int64_t(s.mY) + s.mHeight;
    const int64_t top = srcRect.mY;
    r0 = std::max<int64_t>(r0, top - y);
    r1 = std::min<int64_t>(r1, top - y + destH);
    if (r1 <= r0)
        return false;
    const int64_t newX = mirror ? destCol(c1 - 1) : destCol(c0);
    y = int(y + (r0 - top));
    x = int(newX);
    srcRect = TRect<int>(int(c0), int(r0), int(c1 - c0), int(r1 - r0));
    return true;
}

// The native words of the source, through its palette indices when it has them.
template <class F> bool WithNativeReader(MemoryImage* src, const uint32_t* n, F&& f)
{
    if (n == nullptr)
        return false;
    const bool palette = src->mPalette != nullptr && src->mPaletteIndices != nullptr;
    WithWords(n, palette ? src->mPaletteIndices : nullptr, f);
    return true;
}

// What a run-length loop does with one run, told by the run's first word.
enum class RunAction
{
    kSkip,
    kCopy,
    kBlend
};

// Walks the runs of the source rectangle: action(first word) picks per run whether its
// pixels are skipped, go through copy(s), or through blend(s, d).
template <class P, bool Mirror, class Reader, class Action, class Copy, class Blend>
void WalkRuns(const SurfaceDraw& L, const Reader& rd, const uint8_t* runs, int srcWidth, int x, int y,
              const TRect<int>& sr, Action action, Copy copy, Blend blend)
{
    for (int j = 0; j < sr.mHeight; ++j)
    {
        const size_t base = size_t(sr.mY + j) * size_t(srcWidth) + size_t(sr.mX);
        P* row = SurfaceRow<P>(L.bits, L.pitch, y + j);
        P* out = Mirror ? row + x + sr.mWidth - 1 : row + x;
        int left = sr.mWidth;
        size_t i = 0;
        while (left > 0)
        {
            int run = runs[base + i];
            if (run <= 0)
                run = 1;
            if (run > left)
                run = left;
            const RunAction what = action(rd(base + i));
            if (what == RunAction::kCopy)
            {
                for (int q = 0; q < run; ++q)
                {
                    P* dp = Mirror ? out - (i + size_t(q)) : out + (i + size_t(q));
                    *dp = static_cast<P>(copy(rd(base + i + size_t(q))));
                }
            }
            else if (what == RunAction::kBlend)
            {
                for (int q = 0; q < run; ++q)
                {
                    P* dp = Mirror ? out - (i + size_t(q)) : out + (i + size_t(q));
                    *dp = static_cast<P>(blend(rd(base + i + size_t(q)), uint32_t(*dp)));
                }
            }
            i += size_t(run);
            left -= run;
        }
    }
}

// The alpha route of NormalBlt (and NormalBltMirror) for one word type: the per-pixel
// formula is chosen once per call, by the colour and the format.
template <class P, bool Mirror, class Reader>
void AlphaRoute(const SurfaceDraw& L, const Reader& rd, const uint8_t* runs, int srcWidth, int x, int y,
                const TRect<int>& sr)
{
    const SurfaceFormat& f = L.f;
    const bool packed16 = f.kind == SurfaceKind::k565 || f.kind == SurfaceKind::k555;
    const uint32_t P16 = f.Packed();
    const uint32_t M0 = f.mask[0], M1 = f.mask[1], M2 = f.mask[2];
    const uint32_t A = uint32_t(L.c.mAlpha);
    const uint32_t k0 = L.k.k[0], k1 = L.k.k[1], k2 = L.k.k[2];
    // Transparent runs are skipped, opaque ones copied when copyOpaque is set, the rest blended.
    const auto walk = [&](bool copyOpaque, auto copy, auto blend)
    {
        const auto action = [copyOpaque](uint32_t s)
        {
            const uint32_t a0 = s >> 24;
            return a0 == 255 && copyOpaque ? RunAction::kCopy
                                           : (a0 != 0 ? RunAction::kBlend : RunAction::kSkip);
        };
        WalkRuns<P, Mirror>(L, rd, runs, srcWidth, x, y, sr, action, copy, blend);
    };
    const auto same = [](uint32_t s) { return s; };

    if (L.white)
    {
        if (f.bpp == 32)
            walk(true, same,
                 [](uint32_t s, uint32_t d)
                 {
                     const uint32_t fct = 256 - (s >> 24);
                     return s + ((((d & 0x00FF00FF) * fct) >> 8) & 0x00FF00FF) +
                            ((((d & 0x0000FF00) * fct) >> 8) & 0x0000FF00);
                 });
        else if (packed16)
            walk(true, same,
                 [P16](uint32_t s, uint32_t d)
                 { return Fold((((((256 - (s >> 24)) >> 3)) * Spread(d, P16)) >> 5) & P16) + s; });
        else
            walk(true, same,
                 [=](uint32_t s, uint32_t d)
                 {
                     const uint32_t fct = 256 - (s >> 24);
                     return s + (M0 & (((M0 & d) * fct) >> 8)) + (M1 & (((M1 & d) * fct) >> 8)) +
                            (M2 & (((M2 & d) * fct) >> 8));
                 });
        return;
    }
    // A modulating colour: the effective alpha is a x A / 255.
    const bool copyOpaque = A == 255;
    if (L.k.Grey() && f.bpp == 32)
        walk(
            copyOpaque,
            [k0](uint32_t s)
            { return ((((s & 0xFF00) * k0) >> 8) & 0xFF00) + ((((s & 0x00FF00FF) * k0) >> 8) & 0x00FF00FF); },
            [k0, A](uint32_t s, uint32_t d)
            {
                const uint32_t fct = 256 - (s >> 24) * A / 255;
                return ((((d & 0x00FF00FF) * fct + (s & 0x00FF00FF) * k0) >> 8) & 0x00FF00FF) +
                       ((((d & 0xFF00) * fct + (s & 0xFF00) * k0) >> 8) & 0xFF00);
            });
    else if (L.k.Grey() && packed16)
        walk(
            copyOpaque,
            [k0, P16](uint32_t s) { return Fold(((Spread(s & 0xFFFF, P16) * (k0 >> 3)) >> 5) & P16); },
            [k0, A, P16](uint32_t s, uint32_t d)
            {
                const uint32_t fct = 256 - (s >> 24) * A / 255;
                return Fold(((Spread(d, P16) * (fct >> 3) + Spread(s & 0xFFFF, P16) * (k0 >> 3)) >> 5) & P16);
            });
    else
        walk(
            copyOpaque,
            [=](uint32_t s) {
                return (M0 & (((M0 & s) * k0) >> 8)) + (M1 & (((M1 & s) * k1) >> 8)) +
                       (M2 & (((M2 & s) * k2) >> 8));
            },
            [=](uint32_t s, uint32_t d)
            {
                const uint32_t fct = 256 - (s >> 24) * A / 255;
                return (M0 & ((((M0 & d) * fct) + (M0 & s) * k0) >> 8)) +
                       (M1 & ((((M1 & d) * fct) + (M1 & s) * k1) >> 8)) +
                       (M2 & ((((M2 & d) * fct) + (M2 & s) * k2) >> 8));
            });
}

// The additive loops of AdditiveBlt (and AdditiveBltMirror): runs starting with a black
// word add nothing and are skipped.
template <class P, bool Mirror, class Reader>
void AdditiveRoute(const SurfaceDraw& L, const Reader& rd, const uint8_t* runs, int srcWidth, int x, int y,
                   const TRect<int>& sr)
{
    WalkRuns<P, Mirror>(
        L, rd, runs, srcWidth, x, y, sr,
        [](uint32_t s) { return (s & 0x00FFFFFF) != 0 ? RunAction::kBlend : RunAction::kSkip; },
        [](uint32_t s) { return s; }, [&L](uint32_t s, uint32_t d) { return AddWords(L, s, d); });
}

// One run-length loop, alpha or additive, straight or mirrored, for one word type.
template <class P, class Reader>
void RunsRoute(bool additive, bool mirror, const SurfaceDraw& L, const Reader& rd, const uint8_t* runs,
               int srcWidth, int x, int y, const TRect<int>& sr)
{
    if (additive && mirror)
        AdditiveRoute<P, true>(L, rd, runs, srcWidth, x, y, sr);
    else if (additive)
        AdditiveRoute<P, false>(L, rd, runs, srcWidth, x, y, sr);
    else if (mirror)
        AlphaRoute<P, true>(L, rd, runs, srcWidth, x, y, sr);
    else
        AlphaRoute<P, false>(L, rd, runs, srcWidth, x, y, sr);
}

} // namespace

// --- Dispatchers ----------------------------------------------------------------------

void NativeImage::Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color, int drawMode)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    CommitBits();
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->Blt(image, float(x), float(y), srcRect, color, drawMode, false);
        return;
    }
    if (UsesSoftwareRoute())
    {
        MemoryImage::Blt(image, x, y, srcRect, color, drawMode);
        return;
    }
    if (drawMode == 0)
        NormalBlt(image, x, y, srcRect, color);
    else if (drawMode == 1)
        AdditiveBlt(image, x, y, srcRect, color);
}

void NativeImage::BltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                            int drawMode)
{
    CommitBits();
    if (Is3D())
    {
        if (image != nullptr)
            image->mDrawn = true;
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->BltMirror(image, float(x), float(y), srcRect, color, drawMode, false);
        return;
    }
    // No own software form: a mirrored stretch of the same size gives the same pixels.
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        if (image != nullptr)
            image->mDrawn = true;
        std::unique_ptr<MemoryImage> mirrored = MirroredCopy(image, srcRect);
        if (mirrored)
            MemoryImage::Blt(mirrored.get(), x, y, TRect<int>(0, 0, mirrored->mWidth, mirrored->mHeight),
                             color, drawMode);
        return;
    }
    if (drawMode == 0)
        NormalBltMirror(image, x, y, srcRect, color);
    else if (drawMode == 1)
        AdditiveBltMirror(image, x, y, srcRect, color);
}

void NativeImage::DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                           int drawMode)
{
    RouteLine(startX, startY, endX, endY, color, drawMode, false);
}

void NativeImage::DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                             int drawMode)
{
    RouteLine(startX, startY, endX, endY, color, drawMode, true);
}

void NativeImage::RouteLine(double startX, double startY, double endX, double endY, const Color& color,
                            int drawMode, bool antiAlias)
{
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->DrawLine(startX, startY, endX, endY, color, drawMode);
        return;
    }
    CommitBits();
    const auto software = [&]
    {
        if (antiAlias)
            MemoryImage::DrawLineAA(startX, startY, endX, endY, color, drawMode);
        else
            MemoryImage::DrawLine(startX, startY, endX, endY, color, drawMode);
    };
    if (UsesSoftwareRoute())
    {
        software();
        return;
    }
    if (!LineInImage(startX, startY, endX, endY))
        return;
    if (startY == endY)
    {
        const int x = int(std::min(startX, endX));
        FillRect(TRect<int>(x, int(startY), int(std::max(startX, endX)) - x + 1, int(endY - startY + 1.0)),
                 color, drawMode);
        return;
    }
    if (startX == endX)
    {
        const int y = int(std::min(startY, endY));
        FillRect(TRect<int>(int(startX), y, int(endX - startX + 1.0), int(std::max(startY, endY)) - y + 1),
                 color, drawMode);
        return;
    }
    if (!GenerateDDSurface())
    {
        software();
        return;
    }
    if (drawMode == 0)
        antiAlias ? NormalDrawLineAA(startX, startY, endX, endY, color)
                  : NormalDrawLine(startX, startY, endX, endY, color);
    else if (drawMode == 1)
        antiAlias ? AdditiveDrawLineAA(startX, startY, endX, endY, color)
                  : AdditiveDrawLine(startX, startY, endX, endY, color);
}

bool NativeImage::LineInImage(double x1, double y1, double x2, double y2) const
{
    const auto inX = [&](double v) { return std::isfinite(v) && v > -1.0 && v < double(mWidth); };
    const auto inY = [&](double v) { return std::isfinite(v) && v > -1.0 && v < double(mHeight); };
    return inX(x1) && inX(x2) && inY(y1) && inY(y2);
}

void NativeImage::FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                            const unsigned char* coverage, int coverX, int coverY,
                                            int coverWidth, int coverHeight)
{
    if (spanCount <= 0 || spans == nullptr || coverage == nullptr)
        return;
    if (Is3D())
    {
        // The box in 64 bits: a span may end past the largest column.
        int64_t left = spans[0].mX, top = spans[0].mY, right = left + spans[0].mWidth - 1, bottom = top;
        for (int i = 1; i < spanCount; ++i)
        {
            left = std::min<int64_t>(left, spans[i].mX);
            top = std::min<int64_t>(top, spans[i].mY);
            right = std::max<int64_t>(right, int64_t(spans[i].mX) + spans[i].mWidth - 1);
            bottom = std::max<int64_t>(bottom, spans[i].mY);
        }
        // No temporary image can be that large, nor its corner be moved to by coverX/Y.
        const auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
        if (right - left + 1 > INT32_MAX || bottom - top + 1 > INT32_MAX || !fits(coverX - left) ||
            !fits(coverY - top))
            return;
        for (int i = 0; i < spanCount; ++i)
        {
            spans[i].mX = int32_t(spans[i].mX - left);
            spans[i].mY = int32_t(spans[i].mY - top);
        }
        MemoryImage temp(gGraphicsApp);
        temp.Create(int(right - left + 1), int(bottom - top + 1));
        temp.FillScanLinesWithCoverage(spans, spanCount, color, drawMode, coverage, int(coverX - left),
                                       int(coverY - top), coverWidth, coverHeight);
        Blt(&temp, int(left), int(top), TRect<int>(0, 0, temp.mWidth, temp.mHeight), Color::White, drawMode);
        return;
    }
    CommitBits();
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::FillScanLinesWithCoverage(spans, spanCount, color, drawMode, coverage, coverX, coverY,
                                               coverWidth, coverHeight);
        return;
    }
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    const SurfaceFormat f(*mDisplay);
    const Color c = ClampedColor(color);
    const uint32_t ch[3] = {uint32_t(c.mRed), uint32_t(c.mGreen), uint32_t(c.mBlue)};
    uint32_t q = 0;
    for (int k = 0; k < 3; ++k)
        q += f.mask[k] & ((f.mask[k] * ch[k]) >> 8);
    const uint32_t A = uint32_t(c.mAlpha);
    for (int s = 0; s < spanCount; ++s)
    {
        const Span& span = spans[s];
        if (span.mY < 0 || span.mY >= mHeight)
            continue;
        // Only the span's columns on the image, counted in 64 bits (it may end past the
        // largest column, or the coverage lie far away).
        const int64_t from = std::max<int64_t>(span.mX, 0);
        const int64_t to = std::min<int64_t>(int64_t(span.mX) + span.mWidth, mWidth);
        for (int64_t x64 = from; x64 < to; ++x64)
        {
            const int x = int(x64);
            const int64_t cx = x64 - coverX, cy = int64_t(span.mY) - coverY;
            if (cx < 0 || cy < 0 || cx >= coverWidth || cy >= coverHeight)
                continue;
            const uint32_t a =
                ((uint32_t(coverage[size_t(cx) + size_t(cy) * size_t(coverWidth)]) + 1) * A) >> 8;
            const auto mix = [&](uint32_t d)
            {
                uint32_t nd = 0;
                for (int k = 0; k < 3; ++k)
                    nd += f.mask[k] & ((((f.mask[k] & d) * (256 - a)) + (f.mask[k] & q) * a) >> 8);
                return nd;
            };
            MixWord(mLockedBits, mLockedPitch, f.bpp, x, span.mY, mix);
        }
    }
    DeleteAllNonSurfaceData();
}

// Matrix copies and textured triangles have a software raster only in the 3D renderer;
// here the helper is handed the surface (or the software pixels when there is none).
void NativeImage::BltMatrix(Image* image, float x, float y, const VaxoMatrix3& matrix,
                            const TRect<int>& clipRect, const Color& color, int drawMode,
                            const TRect<int>& srcRect, bool blend)
{
    if (image != nullptr)
        image->mDrawn = true;
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->BltTransformed(image, &clipRect, color, drawMode, srcRect, matrix, blend,
                                                   x, y, false);
        return;
    }
    CommitBits();
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::BltMatrix(image, x, y, matrix, clipRect, color, drawMode, srcRect, blend);
        return;
    }
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    BltMatrixHelper(image, x, y, matrix, clipRect, color, drawMode, srcRect, mLockedBits, mLockedPitch,
                    PixelFormatCode(), blend);
    DeleteAllNonSurfaceData();
}

void NativeImage::BltTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                                  const TRect<int>& clipRect, const Color& color, int drawMode, float tx,
                                  float ty, bool blend)
{
    if (texture != nullptr)
        texture->mDrawn = true;
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->DrawTrianglesTex(triangles, numTriangles, color, drawMode, texture, tx,
                                                     ty, blend);
        return;
    }
    CommitBits();
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::BltTrianglesTex(texture, triangles, numTriangles, clipRect, color, drawMode, tx, ty,
                                     blend);
        return;
    }
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    BltTrianglesTexHelper(texture, triangles, numTriangles, clipRect, color, drawMode, mLockedBits,
                          mLockedPitch, PixelFormatCode(), tx, ty, blend);
    DeleteAllNonSurfaceData();
}

std::unique_ptr<MemoryImage> NativeImage::MirroredCopy(Image* image, const TRect<int>& srcRect)
{
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return nullptr;
    const TRect<int> r = srcRect.Intersection(TRect<int>(0, 0, src->mWidth, src->mHeight));
    if (r.mWidth <= 0 || r.mHeight <= 0 || r.mWidth != srcRect.mWidth || r.mHeight != srcRect.mHeight)
        return nullptr;
    const uint32_t* bits = src->GetBits();
    if (bits == nullptr)
        return nullptr;
    std::vector<uint32_t> pixels(size_t(r.mWidth) * size_t(r.mHeight));
    for (int j = 0; j < r.mHeight; ++j)
        for (int i = 0; i < r.mWidth; ++i)
            pixels[size_t(j) * size_t(r.mWidth) + size_t(r.mWidth - 1 - i)] =
                bits[size_t(r.mY + j) * size_t(src->mWidth) + size_t(r.mX + i)];
    auto copy = std::make_unique<MemoryImage>(nullptr);
    copy->SetBits(pixels.data(), r.mWidth, r.mHeight);
    return copy;
}

int NativeImage::PixelFormatCode() const
{
    if (mDisplay == nullptr)
        return 0;
    if (mDisplay->mBitsPerPixel == 32)
        return 0x888;
    if (mDisplay->mRedMask == 0xF800 && mDisplay->mGreenMask == 0x07E0 && mDisplay->mBlueMask == 0x001F)
        return 0x565;
    if (mDisplay->mRedMask == 0x7C00 && mDisplay->mGreenMask == 0x03E0 && mDisplay->mBlueMask == 0x001F)
        return 0x555;
    return 0;
}

// --- Own loops ------------------------------------------------------------------------

void NativeImage::NormalBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr || !SurfaceFormatUsable())
        return;
    NativeImage* nativeSrc = dynamic_cast<NativeImage*>(image);
    src->CommitBits();
    TRect<int> sr = srcRect;
    if (!ClipCopy(mWidth, mHeight, src, x, y, sr, false))
        return;
    const bool white = color == Color::White;

    // Volatile source: read straight from its 32-bit pixels, no caches.
    if (src->mIsVolatile && !(nativeSrc != nullptr && nativeSrc->HasSurface()) && !mNoLock && white)
    {
        GenerateDDSurface();
        SurfaceLock lock(this);
        if (!lock.Locked())
            return;
        const bool palette = src->mPalette != nullptr && src->mPaletteIndices != nullptr;
        const uint32_t* bits = palette ? nullptr : src->GetBits();
        if (!palette && bits == nullptr)
            return;
        const SurfaceFormat f(*mDisplay);
        for (int j = 0; j < sr.mHeight; ++j)
        {
            const size_t base = size_t(sr.mY + j) * size_t(src->mWidth) + size_t(sr.mX);
            for (int i = 0; i < sr.mWidth; ++i)
            {
                const uint32_t p =
                    palette ? src->mPalette[src->mPaletteIndices[base + size_t(i)]] : bits[base + size_t(i)];
                const uint32_t a = p >> 24;
                const uint32_t cs[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
                const auto mix = [&](uint32_t d)
                {
                    uint32_t nd = 0;
                    for (int k = 0; k < 3; ++k)
                    {
                        const uint32_t M = f.mask[k];
                        nd += f.bpp == 32
                                  ? M & (((M >> 1) + (M & d) * (256 - a) + M * ((a * cs[k]) >> 8)) >> 8)
                                  : M & (((M >> 1) + (M & d) * (256 - a) + ((M * cs[k] * a) >> 8)) >> 8);
                    }
                    return nd;
                };
                MixWord(mLockedBits, mLockedPitch, f.bpp, x + i, y + j, mix);
            }
        }
        DeleteAllNonSurfaceData();
        return;
    }

    // Opaque source with white: a copy.
    if (!src->mHasAlpha && white)
    {
        if (nativeSrc != nullptr && nativeSrc->HasSurface() && (mVideoMemory || !nativeSrc->mVideoMemory))
        {
            if (!GenerateDDSurface())
                return;
            CopyFromSurface(nativeSrc, sr, TRect<int>(x, y, sr.mWidth, sr.mHeight));
            return;
        }
        if (mNoLock)
            return;
        GenerateDDSurface();
        SurfaceLock lock(this);
        if (!lock.Locked())
            return;
        const uint32_t* n = src->GetNativeAlphaData(mDisplay);
        const bool skipTrans = src->mHasTrans;
        const int bpp = mDisplay->mBitsPerPixel;
        const bool drew = WithNativeReader(
            src, n,
            [&](const auto& rd)
            {
                for (int j = 0; j < sr.mHeight; ++j)
                {
                    const size_t base = size_t(sr.mY + j) * size_t(src->mWidth) + size_t(sr.mX);
                    for (int i = 0; i < sr.mWidth; ++i)
                    {
                        const uint32_t s = rd(base + size_t(i));
                        if (skipTrans && (s >> 24) == 0)
                            continue;
                        if (bpp == 16)
                            SurfaceRow<uint16_t>(mLockedBits, mLockedPitch, y + j)[x + i] = uint16_t(s);
                        else
                            SurfaceRow<uint32_t>(mLockedBits, mLockedPitch, y + j)[x + i] = s;
                    }
                }
            });
        if (drew)
            DeleteAllNonSurfaceData();
        return;
    }

    // Alpha source, or a modulating colour.
    if (mNoLock)
        return;
    RunsToSurface(src, x, y, sr, color, false, false);
}

void NativeImage::AdditiveBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    RunsBlt(image, x, y, srcRect, color, true, false);
}

void NativeImage::NormalBltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    RunsBlt(image, x, y, srcRect, color, false, true);
}

void NativeImage::AdditiveBltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color)
{
    RunsBlt(image, x, y, srcRect, color, true, true);
}

void NativeImage::CopyFromSurface(NativeImage* src, const TRect<int>& srcRect, const TRect<int>& destRect)
{
    // The platform copy runs with the platform lock released; the count stays.
    if (mLockCount > 0)
        UnlockSurfaceInternal();
    SurfaceBlt(src, srcRect, destRect);
    if (mLockCount >= 1)
        LockSurfaceInternal();
    DeleteAllNonSurfaceData();
}

void NativeImage::RunsBlt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                          bool additive, bool mirror)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (mNoLock || src == nullptr || !SurfaceFormatUsable())
        return;
    // Alpha runs: commit before clipping; the additive route commits after taking the native words.
    if (!additive)
        src->CommitBits();
    TRect<int> sr = srcRect;
    if (ClipCopy(mWidth, mHeight, src, x, y, sr, mirror))
        RunsToSurface(src, x, y, sr, color, additive, mirror);
}

void NativeImage::RunsToSurface(MemoryImage* src, int x, int y, const TRect<int>& sr, const Color& color,
                                bool additive, bool mirror)
{
    GenerateDDSurface();
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    const uint32_t* n = src->GetNativeAlphaData(mDisplay);
    if (additive)
        src->CommitBits();
    const uint8_t* runs = additive ? src->GetRLAdditiveData(mDisplay) : src->GetRLAlphaData();
    if (runs == nullptr)
        return;
    const SurfaceDraw L(*mDisplay, mLockedBits, mLockedPitch, color);
    const bool drew =
        WithNativeReader(src, n,
                         [&](const auto& rd)
                         {
                             if (L.f.bpp == 16)
                                 RunsRoute<uint16_t>(additive, mirror, L, rd, runs, src->mWidth, x, y, sr);
                             else
                                 RunsRoute<uint32_t>(additive, mirror, L, rd, runs, src->mWidth, x, y, sr);
                         });
    if (drew)
        DeleteAllNonSurfaceData();
}

} // namespace Vaxo
