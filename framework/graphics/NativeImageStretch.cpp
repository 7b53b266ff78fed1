// NativeImage resampling: scaled and mirrored copies (nearest pixel in 16.16 fixed
// point, or filtered through a temporary software image), rotation with a bilinear
// filter, and drawing at fractional positions.
#include "graphics/NativeImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/NativeDisplay.h"
#include "graphics/NativeImagePixels.h"
#include "graphics/X3DInterface.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace Vaxo
{

namespace
{

// The nearest-pixel loop of the fast stretch; Mirror walks the destination leftwards.
template <class P, bool Mirror, class Reader>
void NearestLoop(const SurfaceDraw& J, const Reader& rd, int srcW, int srcH, const TRect<double>& s,
                 const TRect<int>& d)
{
    const SurfaceFormat& f = J.f;
    // Start and width each fit 16.16, but their sum may not: step in 64 bits.
    const int64_t x0 = int32_t(s.mX * 65536.0);
    int64_t yf = int32_t(s.mY * 65536.0);
    const int32_t stepX = int32_t(s.mWidth * 65536.0 / d.mWidth);
    const int32_t stepY = int32_t(s.mHeight * 65536.0 / d.mHeight);
    const uint32_t A = uint32_t(J.c.mAlpha);
    for (int j = 0; j < d.mHeight; ++j, yf += stepY)
    {
        const int sy = int(std::clamp<int64_t>(yf >> 16, 0, srcH - 1));
        P* row = SurfaceRow<P>(J.bits, J.pitch, d.mY + j);
        int64_t xf = x0;
        for (int i = 0; i < d.mWidth; ++i, xf += stepX)
        {
            const int sx = int(std::clamp<int64_t>(xf >> 16, 0, srcW - 1));
            const uint32_t s32 = rd(size_t(sy) * size_t(srcW) + size_t(sx));
            P* dp = Mirror ? row + d.mX + d.mWidth - 1 - i : row + d.mX + i;
            const uint32_t dw = *dp;
            uint32_t nd = 0;
            if (J.drawMode != 0)
            {
                if (s32 == 0)
                    continue;
                nd = AddWords(J, s32, dw);
            }
            else if (J.white)
            {
                const uint32_t a = s32 >> 24;
                if (a == 0)
                    continue;
                nd = s32;
                for (int k = 0; k < 3; ++k)
                    nd += (((f.mask[k] & dw) * (256 - a)) >> 8) & f.mask[k];
            }
            else
            {
                const uint32_t ap = (s32 >> 24) * A / 255;
                if (ap == 0)
                    continue;
                for (int k = 0; k < 3; ++k)
                    nd += ((((f.mask[k] & dw) * (256 - ap)) + (f.mask[k] & s32) * J.k.k[k]) >> 8) & f.mask[k];
            }
            *dp = static_cast<P>(nd);
        }
    }
}

// Destination pixel (X, Y) samples the source rectangle at (u, v), source pixel i standing
// at i, so its centre lands inside while -0.5 <= u < W - 0.5 (likewise v). Where the 2 x 2
// sample fits the rectangle it is read directly; in the half-pixel rim around that the
// missing neighbours repeat the rectangle's edge pixels. Rows start their positions at
// column x0; the pixels drawn are those of span.
template <class P, bool Additive, bool White, class Pixels>
void RotateLoop(const SurfaceDraw& J, const Pixels& px, int srcStride, const TRect<int>& sr, int x0,
                const TRect<int>& span, float x, float y, double angle, float cx, float cy)
{
    const SurfaceFormat& f = J.f;
    const int32_t cosF = int32_t(std::cos(angle) * 65536.0);
    const int32_t sinF = int32_t(std::sin(angle) * 65536.0);
    const float cosA = float(std::cos(angle)), sinA = float(std::sin(angle));
    const int W = sr.mWidth, H = sr.mHeight;
    const uint32_t A = uint32_t(J.c.mAlpha);
    const uint32_t R1 = uint32_t(J.c.mRed) + 1, G1 = uint32_t(J.c.mGreen) + 1, B1 = uint32_t(J.c.mBlue) + 1;
    const uint32_t M0 = f.mask[0], M1 = f.mask[1], M2 = f.mask[2];
    const int32_t S0 = f.shift[0], S1 = f.shift[1], S2 = f.shift[2];
    const int32_t b0 = f.bits[0], b1 = f.bits[1], b2 = f.bits[2];
    const int32_t* T0 = f.add[0];
    const int32_t* T1 = f.add[1];
    const int32_t* T2 = f.add[2];
    const uint32_t top0 = uint32_t(2 * ((1 << b0) - 1)), top1 = uint32_t(2 * ((1 << b1) - 1)),
                   top2 = uint32_t(2 * ((1 << b2) - 1));
    // One destination pixel from the source pixels p00 (top left), p10 (right), p01 (below)
    // and p11 (below right) at the 16.16 position (uu, vv).
    const auto draw =
        [&](P* dp, uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, int64_t uu, int64_t vv)
    {
        const uint32_t fu = uint32_t(uu & 0xFFFE) + 1, fv = uint32_t(vv & 0xFFFE) + 1;
        const uint32_t gu = 65536 - fu, gv = 65536 - fv;
        uint32_t aw00 = ((p00 >> 24) * ((gu * gv) >> 16)) >> 16;
        uint32_t aw10 = ((p10 >> 24) * ((fu * gv) >> 16)) >> 16;
        uint32_t aw01 = ((p01 >> 24) * ((gu * fv) >> 16)) >> 16;
        uint32_t aw11 = ((p11 >> 24) * ((fu * fv) >> 16)) >> 16;
        if (!Additive && !White)
        {
            aw00 = (A * aw00) >> 8;
            aw10 = (A * aw10) >> 8;
            aw01 = (A * aw01) >> 8;
            aw11 = (A * aw11) >> 8;
        }
        const uint32_t at = aw00 + aw10 + aw01 + aw11;
        if (at == 0)
            return;
        const auto sum = [&](int s)
        {
            return ((p00 >> s) & 0xFF) * aw00 + ((p10 >> s) & 0xFF) * aw10 + ((p01 >> s) & 0xFF) * aw01 +
                   ((p11 >> s) & 0xFF) * aw11;
        };
        const uint32_t V0 = sum(16), V1 = sum(8), V2 = sum(0);
        const uint32_t d = *dp;
        uint32_t nd;
        if (!Additive)
        {
            uint32_t c0, c1, c2;
            if (White)
            {
                c0 = V0 >> (16 - b0);
                c1 = V1 >> (16 - b1);
                c2 = V2 >> (16 - b2);
            }
            else
            {
                c0 = (V0 * R1) >> (24 - b0);
                c1 = (V1 * G1) >> (24 - b1);
                c2 = ((V2 >> 8) * B1) >> (16 - b2);
            }
            const uint32_t keep = 256 - at;
            nd = (((((M0 & d) * keep) >> 8) & M0) + (c0 << S0)) |
                 (((((M1 & d) * keep) >> 8) & M1) + (c1 << S1)) |
                 (((((M2 & d) * keep) >> 8) & M2) + (c2 << S2));
        }
        else
        {
            const uint32_t a0 = ((V0 >> (16 - b0)) * J.k.k[0]) >> 8;
            const uint32_t a1 = (V1 * J.k.k[1]) >> (24 - b1);
            const uint32_t a2 = (V2 * J.k.k[2]) >> (24 - b2);
            nd = uint32_t(T0[std::min(((M0 & d) >> S0) + a0, top0)]) << S0 |
                 uint32_t(T1[std::min(((M1 & d) >> S1) + a1, top1)]) << S1 |
                 uint32_t(T2[std::min(((M2 & d) >> S2) + a2, top2)]) << S2;
        }
        *dp = static_cast<P>(nd);
    };
    const auto index = [&](int64_t iu, int64_t iv)
    { return size_t(sr.mY + iv) * size_t(srcStride) + size_t(sr.mX + iu); };
    for (int Y = span.mY; Y < span.mY + span.mHeight; ++Y)
    {
        const float dx = float(x0) - cx - x;
        const float dy = float(Y) - cy - y;
        const float uf = cosA * dx - sinA * dy + cx;
        const float vf = sinA * dx + cosA * dy + cy;
        if (!(std::fabs(uf) < 30000.0f && std::fabs(vf) < 30000.0f))
            continue;
        const int64_t u = int64_t(int32_t(uf * 65536.0f)), v = int64_t(int32_t(vf * 65536.0f));
        // Columns whose centre lands inside the rectangle...
        int64_t first = span.mX - x0, last = span.mX + span.mWidth - 1 - x0;
        LimitSampleColumns(u, cosF, -0x8000, (int64_t(W - 1) << 16) + 0x8000, first, last);
        LimitSampleColumns(v, sinF, -0x8000, (int64_t(H - 1) << 16) + 0x8000, first, last);
        if (first > last)
            continue;
        // ...and among them those whose whole 2 x 2 sample lies inside it.
        int64_t inFirst = first, inLast = last;
        LimitSampleColumns(u, cosF, 0, int64_t(W - 1) << 16, inFirst, inLast);
        LimitSampleColumns(v, sinF, 0, int64_t(H - 1) << 16, inFirst, inLast);
        if (inFirst > inLast)
            inFirst = last + 1, inLast = last; // all rim
        P* row = SurfaceRow<P>(J.bits, J.pitch, Y) + x0;
        const auto rim = [&](int64_t from, int64_t to)
        {
            for (int64_t col = from; col <= to; ++col)
            {
                const int64_t uu = u + col * cosF, vv = v + col * sinF;
                const int64_t iu = std::clamp<int64_t>(uu >> 16, 0, W - 1);
                const int64_t iu1 = std::clamp<int64_t>((uu >> 16) + 1, 0, W - 1);
                const int64_t iv = std::clamp<int64_t>(vv >> 16, 0, H - 1);
                const int64_t iv1 = std::clamp<int64_t>((vv >> 16) + 1, 0, H - 1);
                draw(row + col, px(index(iu, iv)), px(index(iu1, iv)), px(index(iu, iv1)),
                     px(index(iu1, iv1)), uu, vv);
            }
        };
        rim(first, inFirst - 1);
        int64_t uu = u + inFirst * cosF, vv = v + inFirst * sinF;
        for (int64_t col = inFirst; col <= inLast; ++col, uu += cosF, vv += sinF)
        {
            const size_t base = index(uu >> 16, vv >> 16);
            draw(row + col, px(base), px(base + 1), px(base + size_t(srcStride)),
                 px(base + size_t(srcStride) + 1), uu, vv);
        }
        rim(inLast + 1, last);
    }
}

// The four forms of the rotation loop, chosen once per call.
template <class P, class Pixels>
void Rotate(const SurfaceDraw& J, const Pixels& px, int srcStride, const TRect<int>& sr, int x0,
            const TRect<int>& span, float x, float y, double angle, float cx, float cy)
{
    if (J.drawMode != 0)
        RotateLoop<P, true, false>(J, px, srcStride, sr, x0, span, x, y, angle, cx, cy);
    else if (J.white)
        RotateLoop<P, false, true>(J, px, srcStride, sr, x0, span, x, y, angle, cx, cy);
    else
        RotateLoop<P, false, false>(J, px, srcStride, sr, x0, span, x, y, angle, cx, cy);
}

} // namespace

void NativeImage::BltF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                       const Color& color, int drawMode)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    if (Is3D())
    {
        X3DInterface* iface = mDisplay->m3DInterface.get();
        if (iface == nullptr)
            return;
        const TRect<double> dest(x, y, srcRect.mWidth, srcRect.mHeight);
        const TRect<double> clip(clipRect.mX, clipRect.mY, clipRect.mWidth, clipRect.mHeight);
        const TRect<double> in = dest.Intersection(clip);
        if (in.mWidth == dest.mWidth && in.mHeight == dest.mHeight)
            iface->Blt(image, x, y, srcRect, color, drawMode, true);
        else if (in.mWidth > 0 && in.mHeight > 0)
            iface->BltClipF(image, x, y, srcRect, &clipRect, color, drawMode);
        return;
    }
    BltRotated(image, x, y, srcRect, clipRect, color, drawMode, 0.0, 0.0f, 0.0f);
}

void NativeImage::BltRotated(Image* image, float x, float y, const TRect<int>& srcRect,
                             const TRect<int>& clipRect, const Color& color, int drawMode, double angle,
                             float rotCenterX, float rotCenterY)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    if (mNoLock)
        return;
    CommitBits();
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->BltRotated(image, x, y, &clipRect, color, drawMode, angle, rotCenterX,
                                               rotCenterY, srcRect);
        return;
    }
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::BltRotated(image, x, y, srcRect, clipRect, color, drawMode, angle, rotCenterX,
                                rotCenterY);
        return;
    }
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(angle) && std::isfinite(rotCenterX) &&
          std::isfinite(rotCenterY)))
        return;
    const TRect<int> sr = srcRect.Intersection(TRect<int>(0, 0, src->mWidth, src->mHeight));
    if (sr.mWidth != srcRect.mWidth || sr.mHeight != srcRect.mHeight || sr.mWidth <= 0 || sr.mHeight <= 0)
        return;
    const TRect<int> clip = clipRect.Intersection(TRect<int>(0, 0, mWidth, mHeight));
    TRect<double> out;
    if (!BltRotatedClipHelper(x, y, srcRect, clip, angle, out, rotCenterX, rotCenterY))
        return;
    // The covered bounds in whole pixels and one more on each side: a turned source's
    // sample points sit up to half a pixel off its corners.
    const int left = int(std::floor(out.mX)) - 1, top = int(std::floor(out.mY)) - 1;
    const int right = int(std::ceil(out.mX + out.mWidth)) + 1,
              bottom = int(std::ceil(out.mY + out.mHeight)) + 1;
    const TRect<int> span = TRect<int>(left, top, right - left, bottom - top).Intersection(clip);
    if (span.mWidth <= 0 || span.mHeight <= 0)
        return;
    src->CommitBits();
    const bool palette = src->mPalette != nullptr && src->mPaletteIndices != nullptr;
    const uint32_t* bits = palette ? nullptr : src->GetBits();
    if (!palette && bits == nullptr)
        return;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    const SurfaceDraw J(*mDisplay, mLockedBits, mLockedPitch, color, drawMode);
    const auto run = [&](const auto& px)
    {
        if (J.f.bpp == 16)
            Rotate<uint16_t>(J, px, src->mWidth, sr, int(out.mX), span, x, y, angle, rotCenterX, rotCenterY);
        else
            Rotate<uint32_t>(J, px, src->mWidth, sr, int(out.mX), span, x, y, angle, rotCenterX, rotCenterY);
    };
    WithWords(palette ? src->mPalette : bits, palette ? src->mPaletteIndices : nullptr, run);
    DeleteAllNonSurfaceData();
}

// The nearest-pixel stretch on the locked surface; false when nothing could be drawn.
bool NativeImage::FastStretchToSurface(MemoryImage* src, const TRect<double>& s, const TRect<int>& d,
                                       const Color& color, int drawMode, bool mirror)
{
    src->CommitBits();
    const uint32_t* n = src->GetNativeAlphaData(mDisplay);
    if (n == nullptr || d.mWidth <= 0 || d.mHeight <= 0 || src->mWidth <= 0 || src->mHeight <= 0)
        return false;
    if (!(std::fabs(s.mX) < 30000.0 && std::fabs(s.mY) < 30000.0 && s.mWidth < 30000.0 &&
          s.mHeight < 30000.0))
        return false;
    const TRect<int> dd = d.Intersection(TRect<int>(0, 0, mWidth, mHeight));
    if (dd.mWidth != d.mWidth || dd.mHeight != d.mHeight)
        return false;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return false;
    const SurfaceDraw J(*mDisplay, mLockedBits, mLockedPitch, color, drawMode);
    const bool palette = src->mPalette != nullptr && src->mPaletteIndices != nullptr;
    const auto run = [&](const auto& rd)
    {
        if (J.f.bpp == 16)
            mirror ? NearestLoop<uint16_t, true>(J, rd, src->mWidth, src->mHeight, s, d)
                   : NearestLoop<uint16_t, false>(J, rd, src->mWidth, src->mHeight, s, d);
        else
            mirror ? NearestLoop<uint32_t, true>(J, rd, src->mWidth, src->mHeight, s, d)
                   : NearestLoop<uint32_t, false>(J, rd, src->mWidth, src->mHeight, s, d);
    };
    WithWords(n, palette ? src->mPaletteIndices : nullptr, run);
    return true;
}

void NativeImage::StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                             const TRect<int>& clipRect, const Color& color, int drawMode, bool fastStretch)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    NativeImage* nativeSrc = dynamic_cast<NativeImage*>(image);
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    CommitBits();
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->StretchBlt(image, destRect, srcRect, &clipRect, color, drawMode,
                                               fastStretch, false);
        return;
    }
    if (src == nullptr)
        return;
    TRect<double> s;
    TRect<int> d;
    if (!StretchBltClipHelper(srcRect, clipRect.Intersection(TRect<int>(0, 0, mWidth, mHeight)), destRect, s,
                              d))
        return;
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::StretchBlt(image, destRect, srcRect, clipRect, color, drawMode, fastStretch);
        return;
    }
    if (!fastStretch)
    {
        // Filtered: stretch into a temporary software image, then blit it.
        MemoryImage temp(mApp);
        temp.Create(d.mWidth, d.mHeight);
        if (temp.GetBits() == nullptr || temp.PixelCount() == 0)
            return;
        temp.SlowStretchBlt(image, TRect<int>(0, 0, d.mWidth, d.mHeight), s, Color::White, 0);
        Blt(&temp, d.mX, d.mY, TRect<int>(0, 0, d.mWidth, d.mHeight), color, drawMode);
        return;
    }
    // A plain copy of an opaque surface at its own size; the platform copy cannot scale.
    if (nativeSrc != nullptr && nativeSrc->HasSurface() && color == Color::White && drawMode == 0 &&
        !nativeSrc->mHasAlpha && int(s.mWidth) == d.mWidth && int(s.mHeight) == d.mHeight &&
        s.mWidth == double(int(s.mWidth)) && s.mHeight == double(int(s.mHeight)))
    {
        CopyFromSurface(nativeSrc, TRect<int>(int(s.mX), int(s.mY), int(s.mWidth), int(s.mHeight)), d);
        return;
    }
    if (FastStretchToSurface(src, s, d, color, drawMode, false))
        DeleteAllNonSurfaceData();
}

void NativeImage::StretchBltMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                                   const TRect<int>& clipRect, const Color& color, int drawMode,
                                   bool fastStretch)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    CommitBits();
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->StretchBlt(image, destRect, srcRect, &clipRect, color, drawMode,
                                               fastStretch, true);
        return;
    }
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        // No mirrored software stretch exists: stretch a mirrored copy instead.
        std::unique_ptr<MemoryImage> mirrored = MirroredCopy(image, srcRect);
        if (mirrored)
            MemoryImage::StretchBlt(mirrored.get(), destRect,
                                    TRect<int>(0, 0, mirrored->mWidth, mirrored->mHeight), clipRect, color,
                                    drawMode, fastStretch);
        return;
    }
    TRect<double> s;
    TRect<int> d;
    if (!StretchBltMirrorClipHelper(srcRect, clipRect.Intersection(TRect<int>(0, 0, mWidth, mHeight)),
                                    destRect, s, d))
        return;
    if (FastStretchToSurface(src, s, d, color, drawMode, true))
        DeleteAllNonSurfaceData();
}

} // namespace Vaxo
