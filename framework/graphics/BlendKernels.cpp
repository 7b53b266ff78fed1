#include "graphics/BlendKernels.h"

#include "graphics/MemoryImagePixels.h"

#include <algorithm>
#include <cstring>
#if VAXO_SSE2_BLEND
#include <emmintrin.h>
#endif

namespace Vaxo
{

namespace
{

// BltMix(s, d, a, 256 - a, 255) with a the source pixel's own alpha.
inline uint32_t MixOverOpaque(uint32_t s, uint32_t d)
{
    const uint32_t a = s >> 24;
    return BltMix(s, d, a, 256 - a, 255);
}

// NormalBlt's tinted rule for one pixel; d unchanged when the tinted alpha is 0.
inline uint32_t TintOver(uint32_t s, uint32_t d, const BlendTint& tint, const BlendTable& table)
{
    const uint32_t a = ((s >> 24) * tint.alpha) / 255;
    if (a == 0)
        return d;
    const uint32_t da = d >> 24;
    const uint32_t na = table.newAlpha[a][da];
    const uint32_t sw = table.srcShare[a][da];
    const uint32_t dw = 256 - sw;
    const uint32_t sR = (s >> 16) & 0xFF, sG = (s >> 8) & 0xFF, sB = s & 0xFF;
    const uint32_t dR = (d >> 16) & 0xFF, dG = (d >> 8) & 0xFF, dB = d & 0xFF;
    uint32_t red, green, blue;
    if (tint.grey)
    {
        const uint32_t c = tint.red;
        red = (dR * dw + ((sR * c) >> 8) * sw) >> 8;
        blue = ((dB * dw) >> 8) + ((((sB * c) >> 8) * sw) >> 8);
        green = (dG * dw + ((sG * c * sw) >> 8)) >> 8;
    }
    else
    {
        red = (256 * dR * dw + sR * sw * tint.red) >> 16;
        green = (dG * dw + ((sG * sw * tint.green) >> 8)) >> 8;
        blue = ((dB * dw) >> 8) + ((sB * sw * tint.blue) >> 16);
    }
    return na << 24 | red << 16 | green << 8 | blue;
}

// Calls row(source row, destination row) for each row of the rectangle.
template <class Row> inline void ForRows(const BlendRect& r, Row row)
{
    for (int32_t y = 0; y < r.height; ++y)
        row(r.src + size_t(y) * r.srcStride, r.dest + size_t(y) * r.destStride);
}

// FillBlend over one row. Over an opaque pixel the shares are the colour's alpha and its
// rest, and red and blue go through one word, each lane staying below 255 x 256. Out of
// line, so that the vector loop calling it keeps its constants in registers.
VAXO_NOINLINE void FillRow(uint32_t* d, int32_t n, uint32_t c)
{
    const uint32_t a = c >> 24;
    const uint32_t dw = 256 - a;
    const uint32_t srcRB = (c & 0xFF00FFu) * a;
    const uint32_t srcG = ((c >> 8) & 0xFF) * a;
    for (int32_t i = 0; i < n; ++i)
    {
        const uint32_t p = d[i];
        if ((p >> 24) != 255)
        {
            d[i] = FillBlend(c, p, a);
            continue;
        }
        d[i] = 0xFF000000u | (((srcRB + (p & 0xFF00FFu) * dw) >> 8) & 0xFF00FFu) |
               ((srcG + ((p >> 8) & 0xFF) * dw) & 0xFF00u);
    }
}

// The walk of OverOpaqueRuns: row(y, destination row) first for each row, then per run
// copy(s, d, n) for an opaque one and mix(s, d, n, pixels left in the row) for a
// translucent one; transparent runs are skipped.
template <class Row, class Copy, class Mix>
VAXO_ALWAYS_INLINE inline void WalkRuns(const BlendRect& r, const uint8_t* runs, Row row, Copy copy, Mix mix)
{
    for (int32_t y = 0; y < r.height; ++y)
    {
        const uint32_t* s = r.src + size_t(y) * r.srcStride;
        const uint8_t* run = runs + size_t(y) * r.srcStride;
        uint32_t* d = r.dest + size_t(y) * r.destStride;
        row(y, d);
        int32_t i = 0;
        while (i < r.width)
        {
            const int32_t n = std::min<int32_t>(std::max<int32_t>(run[i], 1), r.width - i);
            const uint32_t a = s[i] >> 24;
            if (a == 255)
                copy(s + i, d + i, n);
            else if (a != 0)
                mix(s + i, d + i, n, r.width - i);
            i += n;
        }
    }
}

} // namespace

// ---- Plain loops ----------------------------------------------------------------------------

void PortableBlend::OverOpaqueRuns(const BlendRect& r, const uint8_t* runs)
{
    WalkRuns(
        r, runs, [](int32_t, uint32_t*) {},
        [](const uint32_t* s, uint32_t* d, int32_t n) { std::memmove(d, s, size_t(n) * sizeof(uint32_t)); },
        [](const uint32_t* s, uint32_t* d, int32_t n, int32_t)
        {
            for (int32_t j = 0; j < n; ++j)
                d[j] = MixOverOpaque(s[j], d[j]);
        });
}

void PortableBlend::OverOpaque(const BlendRect& r)
{
    ForRows(r,
            [&](const uint32_t* s, uint32_t* d)
            {
                for (int32_t i = 0; i < r.width; ++i)
                {
                    const uint32_t a = s[i] >> 24;
                    if (a == 255)
                        d[i] = s[i];
                    else if (a != 0)
                        d[i] = MixOverOpaque(s[i], d[i]);
                }
            });
}

void PortableBlend::Weighted(const BlendRect& r)
{
    ForRows(r,
            [&](const uint32_t* s, uint32_t* d)
            {
                for (int32_t i = 0; i < r.width; ++i)
                {
                    const uint32_t sa = s[i] >> 24;
                    if (sa != 0)
                        d[i] = BltWeighted(s[i], d[i], sa);
                }
            });
}

void PortableBlend::Tinted(const BlendRect& r, const BlendTint& tint)
{
    const BlendTable& table = BlendTable::Get();
    ForRows(r,
            [&](const uint32_t* s, uint32_t* d)
            {
                for (int32_t i = 0; i < r.width; ++i)
                    d[i] = TintOver(s[i], d[i], tint, table);
            });
}

void PortableBlend::Fill(const BlendRect& r, uint32_t c)
{
    for (int32_t y = 0; y < r.height; ++y)
        FillRow(r.dest + size_t(y) * r.destStride, r.width, c);
}

// ---- SSE2 loops -----------------------------------------------------------------------------
//
// Pixels are worked on in 16-bit lanes, where every product and sum of these rules fits:
// the two shares of a mix add up to 256, so a channel times its share stays below 65,536.

#if VAXO_SSE2_BLEND

namespace
{

inline __m128i Load(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(uint32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Whether the four alpha bytes (mask bits 0x8888 of the sixteen) are all 255 or all 0.
inline bool AllOpaque(__m128i v)
{
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi32(-1))) & 0x8888) == 0x8888;
}

inline bool AllTransparent(__m128i v)
{
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) & 0x8888) == 0x8888;
}

// BltMix of four pixels with source shares a (0 to 256, per pixel in both halves of
// its word) and destination shares 256 - a: red and blue in the two halves of each
// word, then green. Red and green are truncated after the sum; blue's products are
// truncated apart, which is the same sum with their low bytes cleared.
inline __m128i MixShares(__m128i sp, __m128i dp, __m128i a16)
{
    const __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i blueApart = _mm_set1_epi32(int(0xFFFFFF00u));
    const __m128i keep16 = _mm_sub_epi16(_mm_set1_epi16(256), a16);
    const __m128i srcRB = _mm_and_si128(_mm_mullo_epi16(_mm_and_si128(sp, lowBytes), a16), blueApart);
    const __m128i dstRB = _mm_and_si128(_mm_mullo_epi16(_mm_and_si128(dp, lowBytes), keep16), blueApart);
    const __m128i redBlue = _mm_srli_epi16(_mm_add_epi16(srcRB, dstRB), 8);
    const __m128i srcG = _mm_mullo_epi16(_mm_srli_epi16(sp, 8), a16);
    const __m128i dstG = _mm_mullo_epi16(_mm_srli_epi16(dp, 8), keep16);
    return _mm_or_si128(redBlue, _mm_and_si128(_mm_add_epi16(srcG, dstG), _mm_set1_epi32(0xFF00)));
}

// Each pixel's alpha in both halves of its word.
inline __m128i AlphaHalves(__m128i sp)
{
    const __m128i a32 = _mm_srli_epi32(sp, 24);
    return _mm_or_si128(a32, _mm_slli_epi32(a32, 16));
}

// MixOverOpaque of four pixels.
inline __m128i Mix4(__m128i sp, __m128i dp)
{
    return _mm_or_si128(MixShares(sp, dp, AlphaHalves(sp)), _mm_set1_epi32(int(0xFF000000u)));
}

// OverOpaque of four pixels, without branches (the alpha of glyph and sprite edge
// pixels changes too often to predict): an opaque pixel mixes with share 256, which is
// a copy; a transparent one with share 0, which keeps the colour, and its alpha is kept.
inline __m128i Over4(__m128i sp, __m128i dp)
{
    const __m128i a16 = AlphaHalves(sp);
    const __m128i share = _mm_sub_epi16(a16, _mm_cmpeq_epi16(a16, _mm_set1_epi16(255)));
    const __m128i clear = _mm_cmpeq_epi32(a16, _mm_setzero_si128());
    const __m128i alpha = _mm_and_si128(_mm_or_si128(dp, _mm_xor_si128(clear, _mm_set1_epi32(-1))),
                                        _mm_set1_epi32(int(0xFF000000u)));
    return _mm_or_si128(MixShares(sp, dp, share), alpha);
}

// Asks for the cache lines of n pixels from p on, ahead of their use. Inlined from the
// start: gcc takes a function that only prefetches for one without effect, and drops
// the calls to it.
VAXO_ALWAYS_INLINE inline void PrefetchRow(const uint32_t* p, int32_t n)
{
    const char* first = reinterpret_cast<const char*>(p);
    const char* last = reinterpret_cast<const char*>(p + n - 1);
    for (const char* line = first; line <= last; line += 64)
        _mm_prefetch(line, _MM_HINT_T0);
    _mm_prefetch(last, _MM_HINT_T0);
}

// Runs group(s, d) on each four pixels of every row; the last one to three of a row go
// through a padded copy whose extra pixels are transparent over opaque black, which no
// rule here changes and every opacity test passes.
template <class Group> VAXO_ALWAYS_INLINE inline void ByFours(const BlendRect& r, Group group)
{
    const int32_t whole = r.width & ~3;
    const int32_t left = r.width - whole;
    // Small rectangles (glyphs) touch one or two cache lines per row, rows far apart:
    // ask for all of them at once rather than wait for each in turn.
    if (r.width <= 32)
        for (int32_t y = 0; y < r.height; ++y)
            PrefetchRow(r.dest + size_t(y) * r.destStride, r.width);
    for (int32_t y = 0; y < r.height; ++y)
    {
        const uint32_t* s = r.src + size_t(y) * r.srcStride;
        uint32_t* d = r.dest + size_t(y) * r.destStride;
        for (int32_t i = 0; i < whole; i += 4)
            group(s + i, d + i);
        if (left == 0)
            continue;
        uint32_t s4[4] = {0, 0, 0, 0};
        uint32_t d4[4] = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
        std::memcpy(s4, s + whole, size_t(left) * sizeof(uint32_t));
        std::memcpy(d4, d + whole, size_t(left) * sizeof(uint32_t));
        group(s4, d4);
        std::memcpy(d + whole, d4, size_t(left) * sizeof(uint32_t));
    }
}

// Lane masks that keep the first 1, 2 or 3 pixels of four.
inline __m128i FirstPixels(int32_t count)
{
    return _mm_cmplt_epi32(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(count));
}

// Opaque run of a run-length walk, copied in 16-byte moves, the last four pixels by one
// move that may overlap the one before. Not memcpy: gcc expands a memcpy whose size it
// knows to be small (a run is at most 255 pixels) into rep movs, whose start-up alone
// costs more than a sprite row.
VAXO_ALWAYS_INLINE inline void CopyRun(const uint32_t* s, uint32_t* d, int32_t n)
{
    if (n < 4)
    {
        d[0] = s[0];
        if (n > 1)
            d[1] = s[1];
        if (n > 2)
            d[2] = s[2];
        return;
    }
    int32_t j = 0;
    for (; j + 8 <= n; j += 8)
    {
        const __m128i a = Load(s + j);
        const __m128i b = Load(s + j + 4);
        Store(d + j, a);
        Store(d + j + 4, b);
    }
    if (j + 4 <= n)
    {
        Store(d + j, Load(s + j));
        j += 4;
    }
    if (j < n)
        Store(d + n - 4, Load(s + n - 4));
}

// Translucent run of a run-length walk: every pixel of it mixed, whatever its alpha,
// the pixels after it left alone; room is the row's pixels from s on.
VAXO_ALWAYS_INLINE inline void MixRun(const uint32_t* s, uint32_t* d, int32_t run, int32_t room)
{
    int32_t j = 0;
    for (; j + 4 <= run; j += 4)
        Store(d + j, Mix4(Load(s + j), Load(d + j)));
    const int32_t left = run - j;
    if (left == 0)
        return;
    if (room - j < 4)
    {
        for (; j < run; ++j)
            d[j] = MixOverOpaque(s[j], d[j]);
        return;
    }
    const __m128i dp = Load(d + j);
    const __m128i keep = FirstPixels(left);
    const __m128i mixed = Mix4(Load(s + j), dp);
    Store(d + j, _mm_or_si128(_mm_and_si128(keep, mixed), _mm_andnot_si128(keep, dp)));
}

// The tinted rule on four pixels over opaque ones, where the tinted alpha a' is the
// source share sw and 256 - a' the destination's, dw. In 16-bit lanes (B, G, R, A per
// pixel), with m = d dw, q = s c and x = (q sw) >> 8 (the top half of q times sw << 8):
// red and green are (m + x) >> 8 and blue (m >> 8) + (x >> 8), which is the same sum
// with m's low byte cleared. A grey tint takes t = (q >> 8) sw in place of x for red and
// blue; a black one adds nothing to m.
enum class TintKind
{
    kColour,
    kGrey,
    kBlack
};

struct TintVectors
{
    __m128i alpha;   // the tint's alpha in the low half of each 32-bit lane
    __m128i channel; // the tint per lane, 0 for alpha
    explicit TintVectors(const BlendTint& tint)
        : alpha(_mm_set1_epi32(int(tint.alpha))),
          channel(_mm_set_epi16(0, short(tint.red), short(tint.green), short(tint.blue), 0, short(tint.red),
                                short(tint.green), short(tint.blue)))
    {
    }
};

template <TintKind Kind> inline __m128i TintHalf(__m128i s, __m128i d, __m128i sw, __m128i channel)
{
    const __m128i m = _mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(256), sw));
    if (Kind == TintKind::kBlack)
        return _mm_srli_epi16(m, 8);
    const __m128i blueApart = _mm_set_epi16(-1, -1, -1, short(0xFF00), -1, -1, -1, short(0xFF00));
    const __m128i mApart = _mm_and_si128(m, blueApart);
    const __m128i q = _mm_mullo_epi16(s, channel);
    const __m128i x = _mm_mulhi_epu16(q, _mm_slli_epi16(sw, 8));
    if (Kind == TintKind::kColour)
        return _mm_srli_epi16(_mm_add_epi16(mApart, x), 8);
    const __m128i t = _mm_mullo_epi16(_mm_srli_epi16(q, 8), sw);
    const __m128i green = _mm_set_epi16(0, 0, -1, 0, 0, 0, -1, 0);
    return _mm_srli_epi16(
        _mm_add_epi16(mApart, _mm_or_si128(_mm_and_si128(green, x), _mm_andnot_si128(green, t))), 8);
}

template <TintKind Kind> inline __m128i Tint4(__m128i sp, __m128i dp, const TintVectors& v)
{
    // a' = (sa ca) / 255, exact for every product below 65,536 as (x 0x8081) >> 23.
    const __m128i product = _mm_mullo_epi16(_mm_srli_epi32(sp, 24), v.alpha);
    __m128i a = _mm_srli_epi16(_mm_mulhi_epu16(product, _mm_set1_epi16(short(0x8081))), 7);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = TintHalf<Kind>(_mm_unpacklo_epi8(sp, zero), _mm_unpacklo_epi8(dp, zero),
                                       _mm_unpacklo_epi32(a, a), v.channel);
    const __m128i high = TintHalf<Kind>(_mm_unpackhi_epi8(sp, zero), _mm_unpackhi_epi8(dp, zero),
                                        _mm_unpackhi_epi32(a, a), v.channel);
    return _mm_or_si128(_mm_packus_epi16(low, high), _mm_set1_epi32(int(0xFF000000u)));
}

template <TintKind Kind> void TintedRect(const BlendRect& r, const BlendTint& tint)
{
    const TintVectors v(tint);
    const BlendTable& table = BlendTable::Get();
    ByFours(r,
            [&](const uint32_t* s4, uint32_t* d4) VAXO_ALWAYS_INLINE
            {
                const __m128i sp = Load(s4);
                if (AllTransparent(sp))
                    return;
                const __m128i dp = Load(d4);
                if (AllOpaque(dp))
                {
                    Store(d4, Tint4<Kind>(sp, dp, v));
                    return;
                }
                for (int k = 0; k < 4; ++k)
                    d4[k] = TintOver(s4[k], d4[k], tint, table);
            });
}

// FillBlend over opaque pixels: red and blue in the halves of each word, then green
// beside a constant alpha, whose lane takes 255 x 256 with no destination share and so
// comes out as 255.
struct FillVectors
{
    __m128i destRB, srcRB, destG, srcGA;
    explicit FillVectors(uint32_t c)
    {
        const uint32_t a = c >> 24, dw = 256 - a;
        destRB = _mm_set1_epi32(int(dw << 16 | dw));
        srcRB = _mm_set1_epi32(int((c & 0xFF00FFu) * a));
        destG = _mm_set1_epi32(int(dw));
        srcGA = _mm_set1_epi32(int(0xFF000000u | ((c >> 8) & 0xFF) * a));
    }
    __m128i Blend(__m128i p) const
    {
        const __m128i rb = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(p, _mm_set1_epi32(0x00FF00FF)), destRB), srcRB), 8);
        const __m128i ga = _mm_and_si128(_mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(p, 8), destG), srcGA),
                                         _mm_set1_epi32(int(0xFF00FF00u)));
        return _mm_or_si128(rb, ga);
    }
};

// Blends the rectangle's opaque pixels from row y, pixel i on, row after row (eight,
// four, then one at a time), and stops on a pixel that is not opaque: false, with y and
// i on the group it is in; true at the end. Nothing is called inside, so the constants
// stay in registers.
VAXO_NOINLINE bool FillOpaque(const BlendRect& r, int32_t& y, int32_t& i, const FillVectors& shared)
{
    const FillVectors v = shared; // a copy the stores below cannot change
    const int32_t width = r.width, height = r.height;
    const size_t stride = r.destStride;
    for (; y < height; ++y, i = 0)
    {
        uint32_t* d = r.dest + size_t(y) * stride;
        for (; width - i >= 16; i += 16)
        {
            const __m128i p0 = Load(d + i);
            const __m128i p1 = Load(d + i + 4);
            const __m128i p2 = Load(d + i + 8);
            const __m128i p3 = Load(d + i + 12);
            if (!AllOpaque(_mm_and_si128(_mm_and_si128(p0, p1), _mm_and_si128(p2, p3))))
                break;
            Store(d + i, v.Blend(p0));
            Store(d + i + 4, v.Blend(p1));
            Store(d + i + 8, v.Blend(p2));
            Store(d + i + 12, v.Blend(p3));
        }
        for (; width - i >= 8; i += 8)
        {
            const __m128i p0 = Load(d + i);
            const __m128i p1 = Load(d + i + 4);
            if (!AllOpaque(_mm_and_si128(p0, p1)))
                return false;
            Store(d + i, v.Blend(p0));
            Store(d + i + 4, v.Blend(p1));
        }
        if (width - i >= 4)
        {
            const __m128i p = Load(d + i);
            if (!AllOpaque(p))
                return false;
            Store(d + i, v.Blend(p));
            i += 4;
        }
        for (; i < width; ++i)
        {
            if ((d[i] >> 24) != 255)
                return false;
            d[i] = uint32_t(_mm_cvtsi128_si32(v.Blend(_mm_cvtsi32_si128(int(d[i])))));
        }
    }
    return true;
}

} // namespace

void Sse2Blend::OverOpaqueRuns(const BlendRect& r, const uint8_t* runs)
{
    // The destination rows of a sprite are asked for a few rows ahead: the run walk's
    // first touch of a row (a translucent edge) would otherwise wait for it. Wide rows
    // stream well enough without.
    const int32_t rowsAhead = r.width <= 256 ? 4 : 0;
    for (int32_t y = 0; y < std::min(rowsAhead, r.height); ++y)
        PrefetchRow(r.dest + size_t(y) * r.destStride, r.width);
    WalkRuns(
        r, runs,
        [&](int32_t y, uint32_t* d) VAXO_ALWAYS_INLINE
        {
            if (rowsAhead > 0 && y + rowsAhead < r.height)
                PrefetchRow(d + size_t(rowsAhead) * r.destStride, r.width);
        },
        [](const uint32_t* s, uint32_t* d, int32_t n) VAXO_ALWAYS_INLINE { CopyRun(s, d, n); },
        [](const uint32_t* s, uint32_t* d, int32_t n, int32_t room) VAXO_ALWAYS_INLINE
        { MixRun(s, d, n, room); });
}

void Sse2Blend::OverOpaque(const BlendRect& r)
{
    ByFours(r, [](const uint32_t* s4, uint32_t* d4) VAXO_ALWAYS_INLINE
            { Store(d4, Over4(Load(s4), Load(d4))); });
}

void Sse2Blend::Weighted(const BlendRect& r)
{
    // Over an opaque pixel the weighted rule is the plain mix (new alpha 255, source
    // share a), which also leaves the pixel as it was for a source alpha of 0.
    ByFours(r,
            [](const uint32_t* s4, uint32_t* d4) VAXO_ALWAYS_INLINE
            {
                const __m128i sp = Load(s4);
                if (AllTransparent(sp))
                    return;
                const __m128i dp = Load(d4);
                if (AllOpaque(dp))
                {
                    Store(d4, Mix4(sp, dp));
                    return;
                }
                for (int k = 0; k < 4; ++k)
                    if ((s4[k] >> 24) != 0)
                        d4[k] = BltWeighted(s4[k], d4[k], s4[k] >> 24);
            });
}

void Sse2Blend::Tinted(const BlendRect& r, const BlendTint& tint)
{
    if (!tint.grey)
        TintedRect<TintKind::kColour>(r, tint);
    else if (tint.red != 0)
        TintedRect<TintKind::kGrey>(r, tint);
    else
        TintedRect<TintKind::kBlack>(r, tint);
}

void Sse2Blend::Fill(const BlendRect& r, uint32_t c)
{
    const FillVectors v(c);
    int32_t y = 0, i = 0;
    while (!FillOpaque(r, y, i, v))
    {
        // Up to eight pixels, one of them not opaque, by the table rule.
        const int32_t n = std::min<int32_t>(8, r.width - i);
        FillRow(r.dest + size_t(y) * r.destStride + size_t(i), n, c);
        i += n;
    }
}

#endif

} // namespace Vaxo
