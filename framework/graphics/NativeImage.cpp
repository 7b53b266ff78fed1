// NativeImage: life cycle of the two pixel forms, rectangle fills and lines on the surface.
#include "graphics/NativeImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/NativeDisplay.h"
#include "graphics/NativeImagePixels.h"
#include "graphics/X3DInterface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace Vaxo
{

namespace
{

template <class T> void FreeArray(T*& p)
{
    delete[] p;
    p = nullptr;
}

TRect<int> ClipToBounds(const TRect<int>& r, int width, int height)
{
    return r.Intersection(TRect<int>(0, 0, width, height));
}

// The Bresenham walk of the surface lines, with the start's fraction on the minor axis
// counted when withFraction is set. looseMajor compares the untruncated lengths. Only the
// pixels on a width x height image reach plot: the walk may step off it.
template <class Plot>
void WalkLine(double sx, double sy, double ex, double ey, bool withFraction, bool looseMajor, int width,
              int height, Plot plot)
{
    const double minX = std::min(sx, ex), maxX = std::max(sx, ex);
    const double minY = std::min(sy, ey), maxY = std::max(sy, ey);
    double dx = ex - sx, dy = ey - sy;
    const bool xMajor = looseMajor ? std::fabs(dy) < std::fabs(dx) : std::abs(int(dy)) < std::abs(int(dx));
    // Walk along the major axis a, stepping the minor axis b; the two orientations only
    // swap which coordinate is which.
    double sa = xMajor ? sx : sy, sb = xMajor ? sy : sx;
    double ea = xMajor ? ex : ey, eb = xMajor ? ey : ex;
    double da = xMajor ? dx : dy, db = xMajor ? dy : dx;
    const auto plotAB = [&](int a, int b)
    {
        const int x = xMajor ? a : b, y = xMajor ? b : a;
        if (x >= 0 && y >= 0 && x < width && y < height)
            plot(x, y);
    };
    const auto outsideAB = [&](int a, int b)
    {
        const int x = xMajor ? a : b, y = xMajor ? b : a;
        return double(x) < minX || double(y) < minY || double(x) > maxX || double(y) > maxY;
    };
    if (da < 0)
    {
        std::swap(sa, ea);
        std::swap(sb, eb);
        da = -da;
        db = -db;
    }
    const int step = db >= 0 ? 1 : -1;
    db = std::fabs(db);
    int a = int(sa), b = int(sb);
    plotAB(a, b);
    const int inc1 = int(2 * db), inc2 = int(2 * (db - da));
    int err = withFraction ? int(double(inc1) * (sb - int(sb)) + int(2 * db - da)) : int(2 * db - da);
    for (a = int(sa) + 1; double(a) <= ea; ++a)
    {
        if (err > 0)
        {
            b += step;
            if (outsideAB(a, b))
                return;
            err += inc2;
        }
        else
            err += inc1;
        plotAB(a, b);
    }
}

// Calls f(word) for every pixel word of rows r on a locked surface of P words.
template <class P, class F> void ForEachPixel(void* bits, int32_t pitch, const TRect<int>& r, F f)
{
    for (int y = r.mY; y < r.mY + r.mHeight; ++y)
    {
        P* row = SurfaceRow<P>(bits, pitch, y) + r.mX;
        for (int i = 0; i < r.mWidth; ++i)
            row[i] = static_cast<P>(f(uint32_t(row[i])));
    }
}

// The width x height 0xAARRGGBB pixels written into a locked surface in the display's
// format. The format is a copy: through a reference every word written could change it.
void ArgbToSurface(const SurfaceFormat format, const uint32_t* pixels, int width, int height, void* bits,
                   int32_t pitch)
{
    for (int y = 0; y < height; ++y)
    {
        const uint32_t* src = pixels + size_t(y) * size_t(width);
        if (format.bpp == 16)
        {
            uint16_t* row = SurfaceRow<uint16_t>(bits, pitch, y);
            for (int x = 0; x < width; ++x)
                row[x] = static_cast<uint16_t>(format.FromArgb(src[x]));
        }
        else
        {
            uint32_t* row = SurfaceRow<uint32_t>(bits, pitch, y);
            for (int x = 0; x < width; ++x)
                row[x] = format.FromArgb(src[x]);
        }
    }
}

// The colour of a surface fill or line, clamped: its alpha and its red, green and blue.
struct ColorChannels
{
    uint32_t alpha;
    uint32_t ch[3];
    explicit ColorChannels(const Color& color)
    {
        const Color c = ClampedColor(color);
        alpha = uint32_t(c.mAlpha);
        ch[0] = uint32_t(c.mRed);
        ch[1] = uint32_t(c.mGreen);
        ch[2] = uint32_t(c.mBlue);
    }
};

// The additive draw of a colour: alpha x colour added to each channel of a surface word,
// saturating through the add tables.
class AddColor
{
public:
    AddColor(const SurfaceFormat& f, const ColorChannels& c) : mFormat(f)
    {
        for (int k = 0; k < 3; ++k)
            mAdd[k] = ((c.alpha * c.ch[k]) / 255) >> (8 - f.bits[k]);
    }
    uint32_t operator()(uint32_t d) const
    {
        const SurfaceFormat& f = mFormat;
        uint32_t out = 0;
        for (int k = 0; k < 3; ++k)
            out |= uint32_t(f.add[k][((d & f.mask[k]) >> f.shift[k]) + mAdd[k]]) << f.shift[k];
        return out;
    }

private:
    const SurfaceFormat mFormat; // a copy, for the reason ArgbToSurface has one
    uint32_t mAdd[3];
};

} // namespace

template <class Draw> void NativeImage::DrawOnSurface(const Color& color, Draw draw)
{
    if (mNoLock)
        return;
    GenerateDDSurface();
    if (!SurfaceFormatUsable())
        return;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    draw(SurfaceFormat(*mDisplay), ColorChannels(color));
    DeleteAllNonSurfaceData();
}

NativeImage::NativeImage(NativeDisplay* display) : MemoryImage(display != nullptr ? display->mApp : nullptr)
{
    mDisplay = display;
    Init();
}

NativeImage::~NativeImage() = default;

void NativeImage::Init()
{
    mExternalSurface = false;
    mNoLock = false;
    mVideoMemory = false;
    mWantDDSurface = false;
    mDrawToBits = false;
    mLockCount = 0;
    mLockedBits = nullptr;
    mLockedPitch = 0;
}

bool NativeImage::SurfaceFormatUsable() const
{
    return mDisplay != nullptr && SurfaceFormatOk(*mDisplay);
}

bool NativeImage::UsesSoftwareRoute()
{
    if (mDrawToBits || mHasAlpha || mHasTrans || !SurfaceFormatUsable())
        return true;
    return mDisplay->mIs3D && !HasSurface();
}

// --- Surface life cycle --------------------------------------------------------------

bool NativeImage::LockSurface()
{
    if (Is3D())
        return false;
    if (mLockCount == 0 && !LockSurfaceInternal())
        return false;
    ++mLockCount;
    return true;
}

bool NativeImage::UnlockSurface()
{
    if (Is3D() || mLockCount <= 0)
        return false;
    if (--mLockCount == 0)
    {
        UnlockSurfaceInternal();
        mLockedBits = nullptr;
        mLockedPitch = 0;
    }
    return true;
}

bool NativeImage::GenerateDDSurface()
{
    if (HasSurface())
        return true;
    if (!SurfaceFormatUsable())
        return false;
    CommitBits();
    if (mHasAlpha || mHasTrans)
        return false;
    mWantDDSurface = true;
    // A purged or palletized image keeps its pixels in another form: bring them back
    // first, or the surface would start blank and the draw would drop the only copy.
    if (mBits == nullptr && (HasPaletteForm() || mNativeAlphaData != nullptr))
        MemoryImage::GetBits();
    CreateSurface();
    SurfaceLock lock(this);
    if (!lock.Locked())
    {
        // An unfilled surface must not pass for a copy of the pixels.
        if (mLockCount == 0)
            ReleaseSurface();
        return false;
    }
    if (mBits != nullptr)
        ArgbToSurface(SurfaceFormat(*mDisplay), mBits, mWidth, mHeight, mLockedBits, mLockedPitch);
    return true;
}

void NativeImage::DeleteDDSurface()
{
    if (!HasSurface())
        return;
    // The surface may hold the only copy: read it back, and keep it when that fails.
    if (mPalette == nullptr && mBits == nullptr && m3DData == nullptr && GetBits() == nullptr)
        return;
    ReleaseSurface();
}

void NativeImage::DeleteAllNonSurfaceData()
{
    if (!HasSurface())
        return;
    FreeArray(mBits);
    FreeArray(mNativeAlphaData);
    FreeArray(mRLAdditiveData);
    FreeArray(mRLAlphaData);
    FreeArray(mPalette);
    FreeArray(mPaletteIndices);
    mPaletteCount = 0;
    // The surface was drawn on: textures made from the earlier pixels must be refilled.
    mBitsChangedCount = int32_t(uint32_t(mBitsChangedCount) + 1u);
}

void NativeImage::SetVideoMemory(bool wantVideoMemory)
{
    if (wantVideoMemory == mVideoMemory)
        return;
    mVideoMemory = wantVideoMemory;
    GetBits();
    DeleteDDSurface();
}

void NativeImage::RehupFirstPixelTrans() {}

// --- Replaced software-image operations -------------------------------------------------

uint32_t* NativeImage::GetBits()
{
    if (mBits != nullptr)
        return mBits;
    if (!HasSurface())
        return MemoryImage::GetBits();
    if (mNoLock)
        return nullptr;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return nullptr;
    const size_t count = PixelCount();
    mBits = new uint32_t[count + 1];
    mBits[count] = kGuardWord;
    if (!SurfaceFormatUsable())
    {
        std::memset(mBits, 0, count * sizeof(uint32_t));
        return mBits;
    }
    const SurfaceFormat format(*mDisplay);
    for (int y = 0; y < mHeight; ++y)
    {
        uint32_t* out = mBits + size_t(y) * size_t(mWidth);
        if (format.bpp == 16)
        {
            const uint16_t* row = SurfaceRow<uint16_t>(mLockedBits, mLockedPitch, y);
            for (int x = 0; x < mWidth; ++x)
                out[x] = format.ToArgb(row[x]);
        }
        else
        {
            const uint32_t* row = SurfaceRow<uint32_t>(mLockedBits, mLockedPitch, y);
            for (int x = 0; x < mWidth; ++x)
                out[x] = format.ToArgb(row[x]);
        }
    }
    return mBits;
}

void NativeImage::CommitBits()
{
    if (HasSurface())
        return;
    MemoryImage::CommitBits();
}

void NativeImage::BitsChanged()
{
    MemoryImage::BitsChanged();
    if (!HasSurface())
        return;
    // No software form: the pixels were drawn on the surface, which is the newest (and
    // only) copy; throwing it away would leave a blank image.
    if (mBits == nullptr && !HasPaletteForm())
        return;
    // The screen's surface cannot be given up: the changed pixels go back into it.
    if (mExternalSurface && mBits != nullptr && SurfaceFormatUsable() && !mNoLock)
    {
        SurfaceLock lock(this);
        if (lock.Locked())
        {
            ArgbToSurface(SurfaceFormat(*mDisplay), mBits, mWidth, mHeight, mLockedBits, mLockedPitch);
            return;
        }
    }
    ReleaseSurface();
}

void NativeImage::Create(int width, int height)
{
    // Frees the pixels and the palette form (an old palette would be read with the new
    // size); the surface has the old size and content, so it goes too.
    MemoryImage::Create(width, height);
    ReleaseSurface();
}

void NativeImage::PurgeBits()
{
    if (mExternalSurface)
        return;
    mPurgeBits = true;
    CommitBits();
    if (mApp != nullptr && mApp->mDisplay != nullptr && mApp->Is3DAccelerated())
    {
        if (HasSurface())
        {
            GetBits();
            DeleteDDSurface();
        }
        MemoryImage::PurgeBits();
        return;
    }
    if (mWantDDSurface && GenerateDDSurface())
    {
        DeleteAllNonSurfaceData();
        return;
    }
    MemoryImage::PurgeBits();
}

void NativeImage::ReInit()
{
    MemoryImage::ReInit();
    if (mWantDDSurface && !(mApp != nullptr && mApp->mDisplay != nullptr && mApp->Is3DAccelerated()))
        GenerateDDSurface();
}

void NativeImage::DeleteNativeData()
{
    if (mExternalSurface)
        return;
    MemoryImage::DeleteNativeData();
    DeleteDDSurface();
}

void NativeImage::DeleteExtraBuffers()
{
    if (mExternalSurface)
        return;
    MemoryImage::DeleteExtraBuffers();
    DeleteDDSurface();
}

bool NativeImage::Palletize()
{
    // The screen keeps its pixels in the screen surface only.
    if (mExternalSurface)
        return false;
    if (!MemoryImage::Palletize())
        return false;
    DeleteDDSurface();
    return true;
}

// --- Fills ----------------------------------------------------------------------------

bool NativeImage::PolyFill3D(const TPoint<int>* vertices, int numVertices, const TRect<int>* clipRect,
                             const Color& color, int drawMode, int tx, int ty, bool)
{
    if (!Is3D())
        return false;
    if (mDisplay->m3DInterface)
        mDisplay->m3DInterface->FillPoly(vertices, numVertices, clipRect, color, drawMode, tx, ty);
    return true;
}

void NativeImage::FillRect(const TRect<int>& rect, const Color& color, int drawMode)
{
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->FillRect(rect, color, drawMode);
        return;
    }
    CommitBits();
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::FillRect(rect, color, drawMode);
        return;
    }
    if (drawMode == 0)
        NormalFillRect(rect, color);
    else if (drawMode == 1)
        AdditiveFillRect(rect, color);
}

void NativeImage::ClearRect(const TRect<int>& rect)
{
    if (Is3D())
    {
        if (mDisplay->m3DInterface)
            mDisplay->m3DInterface->FillRect(rect, Color(0, 0, 0, 255), 0);
        return;
    }
    CommitBits();
    if (UsesSoftwareRoute() || !GenerateDDSurface())
    {
        MemoryImage::ClearRect(rect);
        return;
    }
    if (mNoLock)
        return;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    const TRect<int> r = ClipToBounds(rect, mWidth, mHeight);
    const int bytes = mDisplay->mBitsPerPixel / 8;
    for (int y = r.mY; y < r.mY + r.mHeight; ++y)
        std::memset(static_cast<uint8_t*>(mLockedBits) + int64_t(y) * mLockedPitch + int64_t(r.mX) * bytes, 0,
                    size_t(r.mWidth) * size_t(bytes));
    DeleteAllNonSurfaceData();
}

void NativeImage::Clear()
{
    ClearRect(TRect<int>(0, 0, mWidth, mHeight));
}

void NativeImage::NormalFillRect(const TRect<int>& rect, const Color& color)
{
    const auto fill = [&](const SurfaceFormat f, const ColorChannels c)
    {
        const TRect<int> r = ClipToBounds(rect, mWidth, mHeight);
        const uint32_t* m = f.mask;
        // The colour as a word p, and as the share s of a translucent fill: 16-bit words
        // round each channel up, 32-bit ones down.
        const uint32_t up = f.bpp == 16 ? 1 : 0;
        uint32_t p = 0, s = 0;
        for (int k = 0; k < 3; ++k)
        {
            p |= ((up * m[k] + m[k] * c.ch[k]) >> 8) & m[k];
            s += ((m[k] + m[k] * ((c.alpha * c.ch[k] + 127 + up) >> 8)) >> 8) & m[k];
        }
        const uint32_t inv = 256 - c.alpha;
        const auto over16 = [&](uint32_t d)
        {
            uint32_t out = s;
            for (int k = 0; k < 3; ++k)
                out += ((m[k] + (d & m[k]) * inv) >> 8) & m[k];
            return out;
        };
        const auto over32 = [&](uint32_t d)
        {
            uint32_t out = s;
            for (int k = 0; k < 3; ++k)
                out += (((d & m[k]) * inv) >> 8) & m[k];
            return out;
        };
        const auto opaque = [p](uint32_t) { return p; };
        if (f.bpp == 16)
        {
            if (c.alpha == 255)
                ForEachPixel<uint16_t>(mLockedBits, mLockedPitch, r, opaque);
            else
                ForEachPixel<uint16_t>(mLockedBits, mLockedPitch, r, over16);
        }
        else if (c.alpha == 255)
            ForEachPixel<uint32_t>(mLockedBits, mLockedPitch, r, opaque);
        else
            ForEachPixel<uint32_t>(mLockedBits, mLockedPitch, r, over32);
    };
    DrawOnSurface(color, fill);
}

void NativeImage::AdditiveFillRect(const TRect<int>& rect, const Color& color)
{
    const auto fill = [&](const SurfaceFormat f, const ColorChannels c)
    {
        const TRect<int> r = ClipToBounds(rect, mWidth, mHeight);
        const AddColor add(f, c);
        if (f.bpp == 16)
            ForEachPixel<uint16_t>(mLockedBits, mLockedPitch, r, add);
        else
            ForEachPixel<uint32_t>(mLockedBits, mLockedPitch, r, add);
    };
    DrawOnSurface(color, fill);
}

// --- Lines ----------------------------------------------------------------------------

void NativeImage::NormalDrawLine(double startX, double startY, double endX, double endY, const Color& color)
{
    if (!LineInImage(startX, startY, endX, endY))
        return;
    const auto draw = [&](const SurfaceFormat f, const ColorChannels c)
    {
        const uint32_t alpha = c.alpha;
        const uint32_t* m = f.mask;
        uint32_t p = 0, s = 0;
        for (int k = 0; k < 3; ++k)
        {
            p |= (((m[k] >> 1) + m[k] * c.ch[k]) >> 8) & m[k];
            s += (((m[k] >> 1) + m[k] * ((alpha * c.ch[k] + 128) >> 8)) >> 8) & m[k];
        }
        const uint32_t inv = 256 - alpha;
        const auto blend = [&](uint32_t d)
        {
            if (alpha == 255)
                return p;
            uint32_t out = s;
            for (int k = 0; k < 3; ++k)
                out += (((m[k] >> 1) + (d & m[k]) * inv) >> 8) & m[k];
            return out;
        };
        WalkLine(startX, startY, endX, endY, true, f.bpp == 16 && alpha == 255, mWidth, mHeight,
                 [&](int x, int y) { MixWord(mLockedBits, mLockedPitch, f.bpp, x, y, blend); });
    };
    DrawOnSurface(color, draw);
}

void NativeImage::AdditiveDrawLine(double startX, double startY, double endX, double endY, const Color& color)
{
    if (!LineInImage(startX, startY, endX, endY))
        return;
    const auto draw = [&](const SurfaceFormat f, const ColorChannels c)
    {
        const AddColor add(f, c);
        WalkLine(startX, startY, endX, endY, f.bpp == 16, false, mWidth, mHeight,
                 [&](int x, int y) { MixWord(mLockedBits, mLockedPitch, f.bpp, x, y, add); });
    };
    DrawOnSurface(color, draw);
}

void NativeImage::NormalDrawLineAA(double startX, double startY, double endX, double endY, const Color& color)
{
    GenerateDDSurface();
    if (!SurfaceFormatUsable() || !LineInImage(startX, startY, endX, endY))
        return;
    SurfaceLock lock(this);
    if (!lock.Locked())
        return;
    const ColorChannels c(color);
    const uint32_t alpha = c.alpha;
    const SurfaceFormat f(*mDisplay);
    uint32_t C = 0;
    for (int k = 0; k < 3; ++k)
        C |= ((f.mask[k] * c.ch[k]) >> 8) & f.mask[k];

    int xi1 = int(startX), yi1 = int(startY), xi2 = int(endX), yi2 = int(endY);
    if (yi2 < yi1)
    {
        std::swap(startX, endX);
        std::swap(startY, endY);
        std::swap(xi1, xi2);
        std::swap(yi1, yi2);
    }
    const int dyi = yi2 - yi1;
    int dxi = xi2 - xi1;
    double fdx = endX - startX;
    const double fdy = endY - startY;
    int xdir = 1;
    // Ends in one column: the partner pixels lean by the sign of the real width.
    if (dxi < 0 || (dxi == 0 && fdx < 0))
    {
        dxi = -dxi;
        fdx = -fdx;
        xdir = -1;
    }
    uint32_t err = uint32_t(std::fabs(startX - xi1) * std::fabs(startY - yi1) * 65536.0);

    const auto weight = [&](uint32_t v) { return alpha == 255 ? v : (v * (alpha + 1)) >> 8; };
    const auto blend = [&](int x, int y, uint32_t v)
    {
        if (x < 0 || y < 0 || x >= mWidth || y >= mHeight)
            return;
        v = weight(v);
        if (f.bpp == 32)
        {
            uint32_t* w = SurfaceRow<uint32_t>(mLockedBits, mLockedPitch, y) + x;
            const uint32_t d = *w;
            *w = ((((C & 0xFF00FF) * v + (d & 0xFF00FF) * (256 - v)) >> 8) & 0xFF00FF) |
                 ((((C & 0xFF00) * v + (d & 0xFF00) * (256 - v)) >> 8) & 0xFF00);
            return;
        }
        uint16_t* w = SurfaceRow<uint16_t>(mLockedBits, mLockedPitch, y) + x;
        const uint32_t d = *w;
        if (f.kind == SurfaceKind::k565 || f.kind == SurfaceKind::k555)
        {
            const uint32_t P = f.Packed();
            // With v scaled by the alpha these are t >> 11 and (256 - (t >> 8)) >> 3.
            const uint32_t wc = v >> 3;
            const uint32_t wd = (256 - v) >> 3;
            const uint32_t a = ((Spread(C, P) * wc) >> 5) & P;
            const uint32_t b = ((Spread(d, P) * wd) >> 5) & P;
            *w = static_cast<uint16_t>((((a >> 16) | a) + ((b >> 16) | b)) & 0xFFFF);
            return;
        }
        uint32_t out = 0;
        for (int k = 0; k < 3; ++k)
            out |= ((((C & f.mask[k]) * v + (d & f.mask[k]) * (256 - v)) >> 8) & f.mask[k]);
        *w = static_cast<uint16_t>(out);
    };
    const auto weightOf = [&]() { return 255 - ((err >> 8) & 255); };

    // The error starts from both start fractions and the step is truncated, so the
    // carries can outnumber the whole pixels between the ends; past the end's row or
    // column the walk (and its partners) would leave the line's box.
    int minorLeft = std::min(dxi, dyi);
    int x = xi1, y = yi1;
    // Steps count - 1 pixels along the major axis, the minor one following the error's
    // carries; each pixel's partner, one further along the minor axis, takes the rest of
    // the weight.
    const auto walk = [&](bool xMajor, int count, int step)
    {
        int& major = xMajor ? x : y;
        int& minor = xMajor ? y : x;
        const int majorDir = xMajor ? xdir : 1, minorDir = xMajor ? 1 : xdir;
        for (int i = 0; i < count - 1; ++i)
        {
            err += uint32_t(step);
            if (err > 0xFFFF)
            {
                err &= 0xFFFF;
                if (minorLeft > 0)
                {
                    --minorLeft;
                    minor += minorDir;
                }
            }
            major += majorDir;
            const uint32_t v = weightOf();
            blend(x, y, v);
            blend(xMajor ? x : x + minorDir, xMajor ? y + minorDir : y, 255 - v);
        }
    };
    blend(x, y, weightOf());
    if (dxi < dyi)
    {
        // Ends in one column: the line keeps to it (its partner leans by the real slope).
        walk(false, dyi, dxi == 0 ? 0 : int((fdx / fdy) * 65536.0));
    }
    else
    {
        // Ends in one row: the line keeps to it.
        walk(true, dxi, (dxi == 0 || dyi == 0) ? 0 : std::max(0, int((fdy / fdx) * 65536.0)));
    }
    blend(xi2, yi2, weightOf());
    DeleteAllNonSurfaceData();
}

void NativeImage::AdditiveDrawLineAA(double, double, double, double, const Color&) {}

} // namespace Vaxo
