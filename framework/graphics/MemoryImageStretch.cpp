// MemoryImage: stretched copies of other images onto the 32-bit pixels, by the nearest
// pixel or filtered (enlarging mixes two samples, shrinking averages areas).
#include "graphics/MemoryImage.h"

#include "graphics/MemoryImagePixels.h"
#include "graphics/MemoryImageSources.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace Vaxo
{

namespace
{

// The sampled source index of each destination step of a nearest-pixel stretch: the
// truncated running real, or -1 where it falls outside 0 .. limit - 1.
std::vector<int> NearestSamples(double start, double step, int count, int limit)
{
    std::vector<int> out(size_t(count > 0 ? count : 0));
    double pos = start;
    for (int i = 0; i < count; ++i)
    {
        out[size_t(i)] = (limit > 0 && pos > -1.0 && pos < double(limit)) ? static_cast<int>(pos) : -1;
        pos += step;
    }
    return out;
}

// Four channel accumulators (blue, green, red, alpha) of the filtered stretch. They
// hold whole numbers below 2^24 (weights at most 257 x 256 on 8-bit values), which a
// float holds exactly, so the sums are the integer ones while four channels go through
// the vector unit together.
struct alignas(16) Acc
{
    float c[4];
};

inline void AddWeighted(Acc& acc, uint32_t pixel, uint32_t w)
{
    const float fw = float(w);
    for (int c = 0; c < 4; ++c)
        acc.c[c] += float((pixel >> (8 * c)) & 0xFF) * fw;
}

// Where a destination entry (or row) of an enlarging pass takes its two samples.
struct Tap
{
    int i0;      // first sample, window-relative
    int i1;      // second sample (i0 itself at the window's last sample)
    uint32_t w0; // weights; w1 is 0 when the second sample is not needed
    uint32_t w1;
};

// Where a window column (or row) of a shrinking pass adds its weight.
struct Spread
{
    int a;
    int b;
    uint32_t wa;
    uint32_t wb;
};

// Enlarging taps for destination entries 1 .. count: p = start + step (k - 1), clamped
// to the window [0, windowSize - 1] so that no sample leaves the source strip even when
// the strip is narrower than a pixel. total is 257 (columns) or 256 (rows).
std::vector<Tap> EnlargeTaps(double start, double srcSize, int count, int windowSize, uint32_t total)
{
    double step = count == 1 ? srcSize : (srcSize - 1) / (count - 1);
    if (step < 0)
        step = 0;
    std::vector<Tap> taps(size_t(count) + 1);
    for (int k = 1; k <= count; ++k)
    {
        double p = start + step * (k - 1);
        p = std::clamp(p, 0.0, double(windowSize - 1));
        const int i = static_cast<int>(p);
        Tap t;
        t.i0 = i;
        t.w0 = static_cast<uint32_t>((1 - (p - i)) * total);
        t.w1 = total - t.w0;
        t.i1 = (t.w1 > 0 && i + 1 < windowSize) ? i + 1 : i;
        taps[size_t(k)] = t;
    }
    return taps;
}

// Shrinking spreads for window positions 0 .. windowSize - 1 (area averaging). Position
// c covers the entries from edge c to edge c + 1; its weights are differences of the
// rounded edges times total, so the weights an entry takes add up to exactly total and
// a one-colour opaque source stays opaque (truncating each weight would lose up to one
// unit per position).
std::vector<Spread> ShrinkSpreads(double ratio, double offset, int windowSize, uint32_t total)
{
    auto edge = [&](int c) { return ratio * c + ratio * offset + 1; };
    auto units = [&](double p) { return std::llround(p * total); };
    std::vector<Spread> out(static_cast<size_t>(windowSize));
    double p = edge(0);
    for (int c = 0; c < windowSize; ++c)
    {
        const double q = edge(c + 1);
        Spread s;
        s.a = static_cast<int>(std::floor(p));
        // A position never spans more than two entries (ratio <= 1).
        s.b = std::min(static_cast<int>(std::floor(q)), s.a + 1);
        const double split = s.a == s.b ? q : double(s.b);
        s.wa = static_cast<uint32_t>(units(split) - units(p));
        s.wb = static_cast<uint32_t>(units(q) - units(split));
        out[size_t(c)] = s;
        p = q;
    }
    return out;
}

// The filtered composite of one pixel from its four channel values (0-255).
inline uint32_t FilteredOver(const BlendTable& table, uint32_t a, uint32_t r, uint32_t g, uint32_t b,
                             uint32_t d)
{
    if (a == 0)
        return d;
    // An opaque result is the filtered colour itself, so a one-colour source comes
    // out as exactly that colour at any size.
    if (a == 255)
        return 0xFF000000u | r << 16 | g << 8 | b;
    const uint32_t na = table.newAlpha[a][d >> 24]; // da + (a (255 - da)) / 255
    const uint32_t keep = 256 - a;
    const uint32_t nr = ((((d >> 16) & 0xFF) * keep) >> 8) + ((r * a) >> 8);
    const uint32_t ng = ((((d >> 8) & 0xFF) * keep) >> 8) + ((g * a) >> 8);
    const uint32_t nb = (((d & 0xFF) * keep) >> 8) + ((b * a) >> 8);
    return na << 24 | nr << 16 | ng << 8 | nb;
}

// Each channel of an accumulator is its top 16 bits (weights 257 x 256 in all); the
// scale by 2^-16 is exact, so truncation gives acc >> 16.
inline uint32_t Top(float acc)
{
    return std::min<uint32_t>(uint32_t(acc * (1.0f / 65536.0f)), 255);
}

// The same for a filtered pixel already packed as 0xAARRGGBB; red and blue share one
// word (each lane's products stay below 2^16).
inline uint32_t FilteredOverPacked(const BlendTable& table, uint32_t s, uint32_t d)
{
    const uint32_t a = s >> 24;
    if (a == 0)
        return d;
    if (a == 255)
        return s;
    const uint32_t keep = 256 - a;
    const uint32_t rb =
        ((((d & 0xFF00FFu) * keep) >> 8) & 0xFF00FFu) + ((((s & 0xFF00FFu) * a) >> 8) & 0xFF00FFu);
    const uint32_t g = (((((d >> 8) & 0xFF) * keep) >> 8) + ((((s >> 8) & 0xFF) * a) >> 8)) << 8;
    return uint32_t(table.newAlpha[a][d >> 24]) << 24 | rb | g;
}

// The filtered composite of one pixel: each channel is its accumulator's top 16 bits.
inline uint32_t FilteredOver(const BlendTable& table, const Acc& acc, uint32_t d)
{
    return FilteredOver(table, Top(acc.c[3]), Top(acc.c[2]), Top(acc.c[1]), Top(acc.c[0]), d);
}

template <class Reader>
void FilteredStretch(uint32_t* dest, int destWidth, const TRect<int>& d, const Reader& src, int srcWidth,
                     int winX0, int winY0, int winW, int winH, const TRect<double>& s)
{
    const BlendTable& table = BlendTable::Get();
    const int dW = d.mWidth;
    const int dH = d.mHeight;
    const size_t entries = size_t(dW) + 4;

    // Horizontal pass of one window row into entries 0 .. dW + 3.
    const bool enlargeX = s.mWidth < dW;
    std::vector<Tap> xTaps;
    std::vector<Spread> xSpreads;
    if (enlargeX)
        xTaps = EnlargeTaps(s.mX - winX0, s.mWidth, dW, winW, 257);
    else
        xSpreads = ShrinkSpreads(dW / s.mWidth, winX0 - s.mX, winW, 257);
    auto horizontal = [&](int windowRow, std::vector<Acc>& out)
    {
        const size_t row = size_t(winY0 + windowRow) * size_t(srcWidth) + size_t(winX0);
        if (enlargeX)
        {
            for (int k = 1; k <= dW; ++k)
            {
                const Tap& t = xTaps[size_t(k)];
                const uint32_t p0 = src[row + size_t(t.i0)];
                const uint32_t p1 = src[row + size_t(t.i1)];
                const float w0 = float(t.w0), w1 = float(t.w1);
                Acc& acc = out[size_t(k)];
#if defined(__SSE2__)
                const __m128i zero = _mm_setzero_si128();
                auto lanes = [zero](uint32_t p)
                {
                    const __m128i bytes = _mm_cvtsi32_si128(int(p));
                    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
                };
                _mm_store_ps(acc.c, _mm_add_ps(_mm_mul_ps(lanes(p0), _mm_set1_ps(w0)),
                                               _mm_mul_ps(lanes(p1), _mm_set1_ps(w1))));
#else
                for (int c = 0; c < 4; ++c)
                    acc.c[c] = float((p0 >> (8 * c)) & 0xFF) * w0 + float((p1 >> (8 * c)) & 0xFF) * w1;
#endif
            }
            return;
        }
        std::fill(out.begin(), out.end(), Acc{{0, 0, 0, 0}});
        for (int c = 0; c < winW; ++c)
        {
            const Spread& sp = xSpreads[size_t(c)];
            const uint32_t pixel = src[row + size_t(c)];
            if (sp.a >= 0 && size_t(sp.a) < entries)
                AddWeighted(out[size_t(sp.a)], pixel, sp.wa);
            if (sp.a != sp.b && sp.b >= 0 && size_t(sp.b) < entries)
                AddWeighted(out[size_t(sp.b)], pixel, sp.wb);
        }
    };

    auto composite = [&](int k, const std::vector<Acc>& v)
    {
        // Row k of the vertical pass is destination row k - 1.
        if (k < 1 || k > dH)
            return;
        uint32_t* out = dest + size_t(d.mY + k - 1) * size_t(destWidth) + size_t(d.mX);
        for (int i = 0; i < dW; ++i)
            out[i] = FilteredOver(table, v[size_t(i) + 1], out[i]);
    };

    std::vector<Acc> v(entries);
    if (s.mHeight < dH)
    {
        // Enlarging rows: each output row mixes two window rows, made on demand.
        const std::vector<Tap> yTaps = EnlargeTaps(s.mY - winY0, s.mHeight, dH, winH, 256);
        std::vector<Acc> h0(entries), h1(entries);
        int have0 = -1, have1 = -1;
        for (int k = 1; k <= dH; ++k)
        {
            const Tap& t = yTaps[size_t(k)];
            if (have0 != t.i0)
            {
                if (have1 == t.i0)
                {
                    std::swap(h0, h1);
                    std::swap(have0, have1);
                }
                else
                {
                    horizontal(t.i0, h0);
                    have0 = t.i0;
                }
            }
            if (t.w1 > 0 && have1 != t.i1)
            {
                horizontal(t.i1, h1);
                have1 = t.i1;
            }
            // Row k of the vertical pass goes straight into destination row k - 1.
            uint32_t* out = dest + size_t(d.mY + k - 1) * size_t(destWidth) + size_t(d.mX);
            const Acc* a0 = h0.data() + 1;
            const Acc* a1 = (t.w1 > 0 ? h1 : h0).data() + 1;
            const float w0 = float(t.w0), w1 = float(t.w1);
#if defined(__SSE2__)
            // The four channels in one register; packing saturates at 255 as Top does.
            const __m128 W0 = _mm_set1_ps(w0), W1 = _mm_set1_ps(w1), scale = _mm_set1_ps(1.0f / 65536.0f);
            for (int i = 0; i < dW; ++i)
            {
                const __m128 m =
                    _mm_add_ps(_mm_mul_ps(_mm_load_ps(a0[i].c), W0), _mm_mul_ps(_mm_load_ps(a1[i].c), W1));
                const __m128i v = _mm_cvttps_epi32(_mm_mul_ps(m, scale));
                const __m128i words = _mm_packs_epi32(v, v);
                const uint32_t s = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
                out[i] = FilteredOverPacked(table, s, out[i]);
            }
#else
            for (int i = 0; i < dW; ++i)
            {
                Acc m;
                for (int c = 0; c < 4; ++c)
                    m.c[c] = a0[i].c[c] * w0 + a1[i].c[c] * w1;
                out[i] = FilteredOver(table, m, out[i]);
            }
#endif
        }
        return;
    }

    // Shrinking rows: window rows add into at most two output rows; rows are finished
    // (and composited) as soon as no later window row can reach them.
    const std::vector<Spread> ySpreads = ShrinkSpreads(dH / s.mHeight, winY0 - s.mY, winH, 256);
    std::vector<Acc> h(entries), next(entries);
    std::fill(next.begin(), next.end(), Acc{{0, 0, 0, 0}});
    std::fill(v.begin(), v.end(), Acc{{0, 0, 0, 0}});
    int base = ySpreads.empty() ? 0 : ySpreads[0].a; // row held in v; base + 1 in next
    auto addRow = [&](std::vector<Acc>& target, uint32_t w)
    {
        const float fw = float(w);
        for (int e = 1; e <= dW; ++e)
            for (int c = 0; c < 4; ++c)
                target[size_t(e)].c[c] += h[size_t(e)].c[c] * fw;
    };
    for (int r = 0; r < winH; ++r)
    {
        const Spread& sp = ySpreads[size_t(r)];
        while (base < sp.a && base <= dH)
        {
            composite(base, v);
            std::swap(v, next);
            std::fill(next.begin(), next.end(), Acc{{0, 0, 0, 0}});
            ++base;
        }
        if (base < sp.a) // past the last output row
            break;
        horizontal(r, h);
        addRow(v, sp.wa); // sp.a == base
        if (sp.b != sp.a && sp.wb > 0)
            addRow(next, sp.wb);
    }
    composite(base, v);
    composite(base + 1, next);
}

// A stretch's clipped destination inside bounds and the source part it shows
// (mirrored: the clipped part measured from the right edge).
bool ClipStretch(const TRect<double>& srcRect, const TRect<int>& bounds, const TRect<int>& destRect,
                 TRect<double>& srcRectOut, TRect<int>& destRectOut, bool mirror)
{
    if (destRect.mWidth <= 0 || destRect.mHeight <= 0 || !(srcRect.mWidth > 0) || !(srcRect.mHeight > 0))
        return false;
    const TRect<int> out = destRect.Intersection(bounds);
    const double sx = srcRect.mWidth / destRect.mWidth;
    const double sy = srcRect.mHeight / destRect.mHeight;
    const double clippedLeft = double(out.mX) - destRect.mX;
    srcRectOut.mX = mirror ? srcRect.mX + sx * (double(destRect.mWidth) - out.mWidth - clippedLeft)
                           : srcRect.mX + sx * clippedLeft;
    srcRectOut.mY = srcRect.mY + sy * (double(out.mY) - destRect.mY);
    srcRectOut.mWidth = srcRect.mWidth + sx * (double(out.mWidth) - destRect.mWidth);
    srcRectOut.mHeight = srcRect.mHeight + sy * (double(out.mHeight) - destRect.mHeight);
    destRectOut = out;
    return srcRectOut.mWidth > 0 && srcRectOut.mHeight > 0;
}

bool Within(const TRect<int>& inner, const TRect<int>& outer)
{
    return inner.Intersection(outer) == inner;
}

} // namespace

bool MemoryImage::StretchBltClipHelper(const TRect<int>& srcRect, const TRect<int>& clipRect,
                                       const TRect<int>& destRect, TRect<double>& srcRectOut,
                                       TRect<int>& destRectOut)
{
    return ClipStretch(ToDouble(srcRect), clipRect, destRect, srcRectOut, destRectOut, false);
}

bool MemoryImage::StretchBltMirrorClipHelper(const TRect<int>& srcRect, const TRect<int>& clipRect,
                                             const TRect<int>& destRect, TRect<double>& srcRectOut,
                                             TRect<int>& destRectOut)
{
    return ClipStretch(ToDouble(srcRect), clipRect, destRect, srcRectOut, destRectOut, true);
}

void MemoryImage::StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                             const TRect<int>& clipRect, const Color& color, int drawMode, bool fastStretch)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    if (dynamic_cast<MemoryImage*>(image) == nullptr)
        return;
    TRect<double> s;
    TRect<int> d;
    if (!StretchBltClipHelper(srcRect, clipRect.Intersection(Bounds(this)), destRect, s, d))
        return;
    if (fastStretch)
        FastStretchBlt(image, d, s, color, drawMode);
    else
        SlowStretchBlt(image, d, s, color, drawMode);
}

void MemoryImage::FastStretchBlt(Image* image, const TRect<int>& destRect, const TRect<double>& srcRect,
                                 const Color& color, int)
{
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src != nullptr)
        src->mDrawn = true;
    TRect<int> d = destRect;
    TRect<double> s = srcRect;
    // Callers other than StretchBlt may pass an unclipped destination.
    if (!Within(d, Bounds(this)) && !ClipStretch(srcRect, Bounds(this), destRect, s, d, false))
        d = TRect<int>();
    uint32_t* bits = GetBits();
    if (src != nullptr && color == Color::White && bits != nullptr && d.mWidth > 0 && d.mHeight > 0)
    {
        const std::vector<int> cols = NearestSamples(s.mX, s.mWidth / d.mWidth, d.mWidth, src->mWidth);
        const std::vector<int> rows = NearestSamples(s.mY, s.mHeight / d.mHeight, d.mHeight, src->mHeight);
        WithReader(src,
                   [&](const auto& reader)
                   {
                       for (int j = 0; j < d.mHeight; ++j)
                       {
                           const int sy = rows[size_t(j)];
                           if (sy < 0)
                               continue;
                           const size_t srow = size_t(sy) * size_t(src->mWidth);
                           uint32_t* out = bits + size_t(d.mY + j) * size_t(mWidth) + size_t(d.mX);
                           for (int i = 0; i < d.mWidth; ++i)
                           {
                               const int sx = cols[size_t(i)];
                               if (sx < 0)
                                   continue;
                               const uint32_t pixel = reader[srow + size_t(sx)];
                               const uint32_t sa = pixel >> 24;
                               if (sa != 0)
                                   out[i] = BltWeighted(pixel, out[i], sa);
                           }
                       }
                   });
    }
    BitsChanged();
}

void MemoryImage::SlowStretchBlt(Image* image, const TRect<int>& destRect, const TRect<double>& srcRect,
                                 const Color&, int)
{
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    src->mDrawn = true;
    TRect<int> d = destRect;
    TRect<double> s = srcRect;
    if (!Within(d, Bounds(this)) && !ClipStretch(srcRect, Bounds(this), destRect, s, d, false))
        return;
    if (d.mWidth <= 0 || d.mHeight <= 0 || !(s.mWidth > 0 && s.mHeight > 0))
        return;
    if (!(std::abs(s.mX) < 1e9 && std::abs(s.mY) < 1e9 && s.mWidth < 1e9 && s.mHeight < 1e9))
        return;
    // The source window: whole pixels touched by the source rectangle, within the image.
    const double fx0 = std::floor(s.mX);
    const double fy0 = std::floor(s.mY);
    const int64_t winX0 = std::max<int64_t>(int64_t(fx0), 0);
    const int64_t winY0 = std::max<int64_t>(int64_t(fy0), 0);
    const int64_t winX1 =
        std::min<int64_t>(int64_t(fx0) + int64_t(std::ceil(s.mX - fx0 + s.mWidth)), src->mWidth);
    const int64_t winY1 =
        std::min<int64_t>(int64_t(fy0) + int64_t(std::ceil(s.mY - fy0 + s.mHeight)), src->mHeight);
    if (winX1 <= winX0 || winY1 <= winY0)
        return;
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const bool drew = WithReader(src,
                                 [&](const auto& reader)
                                 {
                                     FilteredStretch(bits, mWidth, d, reader, src->mWidth, int(winX0),
                                                     int(winY0), int(winX1 - winX0), int(winY1 - winY0), s);
                                 });
    if (drew)
        BitsChanged();
}

} // namespace Vaxo
