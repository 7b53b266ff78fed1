// MemoryImage: fills, lines and coverage-weighted spans on the 32-bit pixels.
//
// The drawing context clips before it calls these, so rectangles, spans and line end
// points normally lie inside the image; each operation still keeps every write inside
// the pixels, because a line's walk can step one pixel past its end points and callers
// other than the context exist.
#include "graphics/MemoryImage.h"

#include "graphics/BlendKernels.h"
#include "graphics/MemoryImagePixels.h"

#include <algorithm>
#include <cmath>

namespace Vaxo
{

namespace
{

// The part of the rectangle inside a width x height image.
TRect<int> ClipToImage(const TRect<int>& rect, int width, int height)
{
    return rect.Intersection(TRect<int>(0, 0, width, height));
}

bool AllFinite(double a, double b, double c, double d)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

// Brings a segment with an end point outside the image onto the image's pixel box
// [0, width - 1] x [0, height - 1]; false when no part of it is on the image. Segments
// already inside (the context's clip guarantees it) are left exactly as they are.
bool ClipSegmentToImage(double& x1, double& y1, double& x2, double& y2, int width, int height)
{
    if (!AllFinite(x1, y1, x2, y2) || width <= 0 || height <= 0)
        return false;
    auto inside = [&](double x, double y) { return x >= 0 && y >= 0 && x < width && y < height; };
    if (inside(x1, y1) && inside(x2, y2))
        return true;
    const double maxX = width - 1;
    const double maxY = height - 1;
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    double t0 = 0;
    double t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1, maxX - x1, y1, maxY - y1};
    for (int i = 0; i < 4; ++i)
    {
        if (p[i] == 0)
        {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0)
        {
            if (r > t1)
                return false;
            t0 = std::max(t0, r);
        }
        else
        {
            if (r < t0)
                return false;
            t1 = std::min(t1, r);
        }
    }
    const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
    const double nx2 = x1 + t1 * dx, ny2 = y1 + t1 * dy;
    x1 = std::clamp(nx1, 0.0, maxX);
    y1 = std::clamp(ny1, 0.0, maxY);
    x2 = std::clamp(nx2, 0.0, maxX);
    y2 = std::clamp(ny2, 0.0, maxY);
    return true;
}

// The Bresenham walk of the plain lines over real end points. plot(x, y) draws one
// pixel; withFraction adds the start point's fractional minor offset to the error.
template <class Plot> void WalkLine(double x1, double y1, double x2, double y2, bool withFraction, Plot plot)
{
    const double minX = std::min(x1, x2), maxX = std::max(x1, x2);
    const double minY = std::min(y1, y2), maxY = std::max(y1, y2);
    const bool xMajor = std::abs(static_cast<int>(y2 - y1)) < std::abs(static_cast<int>(x2 - x1));

    // Major and minor coordinates of the two ends, the major one increasing.
    double ma1 = xMajor ? x1 : y1, mi1 = xMajor ? y1 : x1;
    double ma2 = xMajor ? x2 : y2, mi2 = xMajor ? y2 : x2;
    if (ma2 - ma1 < 0)
    {
        std::swap(ma1, ma2);
        std::swap(mi1, mi2);
    }
    const int step = (mi2 - mi1) < 0 ? -1 : 1;
    const double bigD = std::abs(ma2 - ma1);
    const double smallD = std::abs(mi2 - mi1);
    const double minMajor = xMajor ? minX : minY, maxMajor = xMajor ? maxX : maxY;
    const double minMinor = xMajor ? minY : minX, maxMinor = xMajor ? maxY : maxX;

    const int keep = static_cast<int>(2 * smallD);
    const int move = static_cast<int>(2 * (smallD - bigD));
    const int base = static_cast<int>(2 * smallD - bigD);
    int error = withFraction ? static_cast<int>(keep * (mi1 - static_cast<int>(mi1)) + base) : base;

    int major = static_cast<int>(ma1);
    int minor = static_cast<int>(mi1);
    if (xMajor)
        plot(major, minor);
    else
        plot(minor, major);
    int counter = static_cast<int>(ma1 + 1);
    for (;;)
    {
        ++major;
        if (ma2 < counter)
            break;
        if (error > 0)
        {
            minor += step;
            error += move;
            if (counter < minMajor || counter > maxMajor || minor < minMinor || minor > maxMinor)
                break;
        }
        else
            error += keep;
        if (xMajor)
            plot(major, minor);
        else
            plot(minor, major);
        ++counter;
    }
}

// Horizontal and vertical lines are one-pixel rectangles; true when the line was one.
bool FillStraightLine(MemoryImage& image, double startX, double startY, double endX, double endY,
                      const Color& color, int drawMode)
{
    if (startY == endY)
    {
        const int x = static_cast<int>(std::min(startX, endX));
        image.FillRect(
            TRect<int>(x, static_cast<int>(startY), static_cast<int>(std::max(startX, endX)) - x + 1, 1),
            color, drawMode);
        return true;
    }
    if (startX == endX)
    {
        const int y = static_cast<int>(std::min(startY, endY));
        image.FillRect(
            TRect<int>(static_cast<int>(startX), y, 1, static_cast<int>(std::max(startY, endY)) - y + 1),
            color, drawMode);
        return true;
    }
    return false;
}
} // namespace

void MemoryImage::FillRect(const TRect<int>& rect, const Color& color, int)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const TRect<int> r = ClipToImage(rect, mWidth, mHeight);
    const Color col = ClampedColor(color);
    const uint32_t c = PackColor(col);
    const uint32_t a = c >> 24;
    if (a == 255)
    {
        for (int y = r.mY; y < r.mY + r.mHeight; ++y)
            std::fill_n(bits + size_t(y) * size_t(mWidth) + size_t(r.mX), size_t(r.mWidth), c);
    }
    else if (a != 0 && r.mWidth > 0 && r.mHeight > 0)
    {
        uint32_t* first = bits + size_t(r.mY) * size_t(mWidth) + size_t(r.mX);
        FastBlend::Fill(BlendRect{nullptr, 0, first, size_t(mWidth), r.mWidth, r.mHeight}, c);
    }
    BitsChanged();
}

void MemoryImage::ClearRect(const TRect<int>& rect)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const TRect<int> r = ClipToImage(rect, mWidth, mHeight);
    for (int y = r.mY; y < r.mY + r.mHeight; ++y)
        std::fill_n(bits + size_t(y) * size_t(mWidth) + size_t(r.mX), size_t(r.mWidth), 0u);
    BitsChanged();
}

void MemoryImage::DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                           int drawMode)
{
    if (!ClipSegmentToImage(startX, startY, endX, endY, mWidth, mHeight) ||
        FillStraightLine(*this, startX, startY, endX, endY, color, drawMode))
        return;
    if (drawMode == 0)
        NormalDrawLine(startX, startY, endX, endY, color);
    else if (drawMode == 1)
        AdditiveDrawLine(startX, startY, endX, endY, color);
    BitsChanged();
}

void MemoryImage::NormalDrawLine(double startX, double startY, double endX, double endY, const Color& color)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr || !ClipSegmentToImage(startX, startY, endX, endY, mWidth, mHeight))
        return;
    const Color col = ClampedColor(color);
    const uint32_t a = uint32_t(col.mAlpha);
    const uint32_t ch[3] = {uint32_t(col.mRed), uint32_t(col.mGreen), uint32_t(col.mBlue)};
    const int width = mWidth, height = mHeight;
    if (a == 255)
    {
        uint32_t word = 0xFF000000u;
        for (int i = 0; i < 3; ++i)
            word |= ((255 * ch[i] + 127) >> 8) << (16 - 8 * i);
        WalkLine(startX, startY, endX, endY, true,
                 [&](int x, int y)
                 {
                     if (x >= 0 && y >= 0 && x < width && y < height)
                         bits[size_t(y) * size_t(width) + size_t(x)] = word;
                 });
        return;
    }
    // Premultiplied once; each pixel then keeps (256 - a) of itself and ends opaque.
    uint32_t pre[3];
    for (int i = 0; i < 3; ++i)
        pre[i] = (255 * ((a * ch[i] + 128) >> 8) + 127) >> 8;
    const uint32_t keep = 256 - a;
    WalkLine(startX, startY, endX, endY, true,
             [&](int x, int y)
             {
                 if (x < 0 || y < 0 || x >= width || y >= height)
                     return;
                 uint32_t& d = bits[size_t(y) * size_t(width) + size_t(x)];
                 const uint32_t r = pre[0] + ((((d >> 16) & 0xFF) * keep + 127) >> 8);
                 const uint32_t g = pre[1] + ((((d >> 8) & 0xFF) * keep + 127) >> 8);
                 const uint32_t b = pre[2] + (((d & 0xFF) * keep + 127) >> 8);
                 d = 0xFF000000u | r << 16 | g << 8 | b;
             });
}

void MemoryImage::AdditiveDrawLine(double startX, double startY, double endX, double endY, const Color& color)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr || !ClipSegmentToImage(startX, startY, endX, endY, mWidth, mHeight))
        return;
    const Color col = ClampedColor(color);
    const uint32_t a = uint32_t(col.mAlpha);
    const uint32_t ra = (a * uint32_t(col.mRed)) / 255;
    const uint32_t ga = (a * uint32_t(col.mGreen)) / 255;
    const uint32_t ba = (a * uint32_t(col.mBlue)) / 255;
    const uint8_t* table = AddTable::Get();
    const int width = mWidth, height = mHeight;
    WalkLine(startX, startY, endX, endY, false,
             [&](int x, int y)
             {
                 if (x < 0 || y < 0 || x >= width || y >= height)
                     return;
                 uint32_t& d = bits[size_t(y) * size_t(width) + size_t(x)];
                 d = 0xFF000000u | uint32_t(table[ra + ((d >> 16) & 0xFF)]) << 16 |
                     uint32_t(table[ga + ((d >> 8) & 0xFF)]) << 8 | uint32_t(table[ba + (d & 0xFF)]);
             });
}

void MemoryImage::DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                             int drawMode)
{
    if (!ClipSegmentToImage(startX, startY, endX, endY, mWidth, mHeight) ||
        FillStraightLine(*this, startX, startY, endX, endY, color, drawMode))
        return;
    if (drawMode == 0)
        NormalDrawLineAA(startX, startY, endX, endY, color);
    else
        AdditiveDrawLineAA(startX, startY, endX, endY, color);
    BitsChanged();
}

void MemoryImage::NormalDrawLineAA(double startX, double startY, double endX, double endY, const Color& color)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr || !ClipSegmentToImage(startX, startY, endX, endY, mWidth, mHeight))
        return;
    const Color col = ClampedColor(color);
    const uint32_t c = PackColor(col);
    const uint32_t a = uint32_t(col.mAlpha);
    const int width = mWidth, height = mHeight;

    int x1 = static_cast<int>(startX), y1 = static_cast<int>(startY);
    int x2 = static_cast<int>(endX), y2 = static_cast<int>(endY);
    double fx1 = startX, fy1 = startY, fx2 = endX, fy2 = endY;
    if (y2 < y1)
    {
        std::swap(x1, x2);
        std::swap(y1, y2);
        std::swap(fx1, fx2);
        std::swap(fy1, fy2);
    }
    int dxi = x2 - x1;
    const int dyi = y2 - y1;
    const double fx = fx2 - fx1;
    const double fy = fy2 - fy1;
    int sx = 1;
    if (dxi < 0)
    {
        sx = -1;
        dxi = -dxi;
    }
    // Minor steps follow the real slope: with equal truncated ends the real end can
    // still lie to the left or above the start.
    if (dxi == 0 && fx < 0)
        sx = -1;
    const int sy = (dyi == 0 && fy < 0) ? -1 : 1;

    uint32_t e = static_cast<uint32_t>(std::abs(fx1 - x1) * std::abs(fy1 - y1) * 65536);
    auto blend = [&](int x, int y, uint32_t w)
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        if (a != 255)
            w = (w * (a + 1)) >> 8;
        uint32_t& d = bits[size_t(y) * size_t(width) + size_t(x)];
        d = FillBlend(c, d, w);
    };
    auto weight = [&]() { return 255 - ((e >> 8) & 0xFF); };
    // 16.16 step of the minor coordinate per major step; bounded so a near-vertical
    // segment of tiny width cannot overflow the conversion.
    auto fixedStep = [](double num, double den)
    {
        if (den == 0)
            return uint32_t(0);
        return static_cast<uint32_t>(std::min(65536.0 * std::abs(num) / std::abs(den), 16777216.0));
    };

    // The error starts from both start fractions and the step is truncated, so the
    // carries can outnumber the whole pixels between the ends; past the end's row or
    // column the walk (and its neighbours) would leave the line's box.
    int minorLeft = std::min(dxi, dyi);
    int x = x1, y = y1;
    if (dxi < dyi)
    {
        const uint32_t step = fixedStep(fx, fy);
        blend(x, y, weight());
        for (int i = 0; i < dyi - 1; ++i)
        {
            e += step;
            if (e > 0xFFFF)
            {
                e &= 0xFFFF;
                if (minorLeft > 0)
                {
                    --minorLeft;
                    x += sx;
                }
            }
            ++y;
            const uint32_t w = weight();
            blend(x, y, w);
            blend(x + sx, y, 255 - w);
        }
    }
    else
    {
        const uint32_t step = fixedStep(fy, fx);
        blend(x, y, weight());
        for (int i = 0; i < dxi - 1; ++i)
        {
            e += step;
            if (e > 0xFFFF)
            {
                e &= 0xFFFF;
                if (minorLeft > 0)
                {
                    --minorLeft;
                    y += sy;
                }
            }
            x += sx;
            const uint32_t w = weight();
            blend(x, y, w);
            blend(x, y + sy, 255 - w);
        }
    }
    blend(x2, y2, weight());
}

void MemoryImage::AdditiveDrawLineAA(double, double, double, double, const Color&) {}

void MemoryImage::FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int,
                                            const unsigned char* coverage, int coverX, int coverY,
                                            int coverWidth, int coverHeight)
{
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const Color col = ClampedColor(color);
    const uint32_t c = PackColor(col);
    const uint32_t a = uint32_t(col.mAlpha);
    for (int s = 0; spans != nullptr && coverage != nullptr && s < spanCount; ++s)
    {
        const Span& span = spans[s];
        const int64_t coverRow = int64_t(span.mY) - coverY;
        if (span.mY < 0 || span.mY >= mHeight || coverRow < 0 || coverRow >= coverHeight)
            continue;
        // Pixels outside the image or the coverage map are skipped; the others keep
        // their own coverage byte whatever was skipped before them.
        const int64_t first = std::max<int64_t>({int64_t(span.mX), 0, int64_t(coverX)});
        const int64_t end = std::min<int64_t>(
            {int64_t(span.mX) + span.mWidth, int64_t(mWidth), int64_t(coverX) + coverWidth});
        uint32_t* row = bits + size_t(span.mY) * size_t(mWidth);
        const int64_t coverBase = coverRow * coverWidth - coverX;
        for (int64_t x = first; x < end; ++x)
        {
            const uint32_t w = ((uint32_t(coverage[coverBase + x]) + 2) * a) >> 8;
            if (w > 0)
                row[x] = FillBlend(c, row[x], w);
        }
    }
    BitsChanged();
}

} // namespace Vaxo
