// MemoryImage: rotated copies of other images onto the 32-bit pixels (bilinear), and
// copies at a fractional position, which are rotations by 0 with a row loop of their own.
//
// In normal mode, with source and destination apart, four pixels are drawn at a time
// where SSE2 is there, giving exactly the pixels of the per-pixel loop, which draws the
// rest.
#include "graphics/MemoryImage.h"

#include "graphics/BlendKernels.h"
#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImagePixels.h"
#include "graphics/MemoryImageSources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace Vaxo
{

namespace
{

// ceil(2^32 / m) for m 1..256: n * r >> 32 is exactly n / m for every n below 2^17 (the
// error stays under 2^-15, less than the 1/m gap to the next whole number).
const uint64_t* Reciprocals()
{
    static const uint64_t* table = []
    {
        uint64_t* t = new uint64_t[257]; // built on first use, never destroyed
        t[0] = 0;
        for (uint64_t m = 1; m <= 256; ++m)
            t[m] = ((uint64_t(1) << 32) + m - 1) / m;
        return t;
    }();
    return table;
}

// The weights of the four neighbours (top left, right, below, below right) of a sample
// whose fractions fx and fy are odd, 1 to 65535.
inline void BilinearWeights(uint32_t fx, uint32_t fy, uint32_t (&w)[4])
{
    w[0] = ((65536 - fx) * (65536 - fy)) >> 16;
    w[1] = (fx * (65536 - fy)) >> 16;
    w[2] = (fy * (65536 - fx)) >> 16;
    w[3] = (fx * fy) >> 16;
}

#if VAXO_SSE2_BLEND

// ---- Filtered copies four pixels at a time ------------------------------------------------
//
// Every sum of the normal-mode rule fits a 16-bit lane: a pixel's alpha shares add up to at
// most 255, so share x channel summed over the four neighbours stays below 65,536, and so
// does 256 P + ((255 d) >> 8) (256 - A), as 256 P is at most 255 A. Red and blue travel in
// the two halves of each pixel's word, green in the low half of a second word.

inline __m128i LoadPixels(const uint32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void StorePixels(uint32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Two source pixels side by side in the low half.
inline __m128i PixelPair(uint32_t left, uint32_t right)
{
    return _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(left)), _mm_cvtsi32_si128(int(right)));
}

inline __m128i PixelPair(const BitsReader& src, size_t i)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src.bits + i));
}

inline __m128i PixelPair(const PaletteReader& src, size_t i)
{
    return PixelPair(src[i], src[i + 1]);
}

// The colour of a tinted copy: its alpha, and each channel + 1.
struct FilterColour
{
    __m128i alpha;   // in both halves
    __m128i redBlue; // red | blue
    __m128i green;   // in the low half
    explicit FilterColour(const Color& c)
        : alpha(_mm_set1_epi16(int16_t(c.mAlpha))),
          redBlue(_mm_set1_epi32(int32_t(uint32_t(c.mRed + 1) << 16 | uint32_t(c.mBlue + 1)))),
          green(_mm_set1_epi32(c.mGreen + 1))
    {
    }
};

// The sums of four destination pixels over their neighbours.
struct FilterSums
{
    __m128i redBlue = _mm_setzero_si128(); // share x red | share x blue
    __m128i green = _mm_setzero_si128();   // share x green in the low half; the high half unused
    __m128i alpha = _mm_setzero_si128();   // A, the sum of the shares, in both halves
};

// Adds one neighbour p of each of four pixels with weights w (both halves of each word).
template <bool kWhite>
VAXO_ALWAYS_INLINE inline void AddNeighbour(FilterSums& s, __m128i p, __m128i w, const FilterColour& c)
{
    const __m128i alphaGreen = _mm_srli_epi16(p, 8);
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(alphaGreen, 0xF5), 0xF5);
    __m128i share = _mm_mulhi_epu16(alpha, w); // (alpha w) >> 16
    if (!kWhite)
        share = _mm_srli_epi16(_mm_mullo_epi16(share, c.alpha), 8);
    const __m128i redBlue = _mm_and_si128(p, _mm_set1_epi32(0x00FF00FF));
    s.redBlue = _mm_add_epi16(s.redBlue, _mm_mullo_epi16(redBlue, share));
    s.green = _mm_add_epi16(s.green, _mm_mullo_epi16(alphaGreen, share));
    s.alpha = _mm_add_epi16(s.alpha, share);
}

// The same for an opaque neighbour, whose share is fixed.
VAXO_ALWAYS_INLINE inline void AddOpaqueNeighbour(FilterSums& s, __m128i p, __m128i share)
{
    const __m128i redBlue = _mm_and_si128(p, _mm_set1_epi32(0x00FF00FF));
    s.redBlue = _mm_add_epi16(s.redBlue, _mm_mullo_epi16(redBlue, share));
    s.green = _mm_add_epi16(s.green, _mm_mullo_epi16(_mm_srli_epi16(p, 8), share));
}

// The filtered channels P of four pixels (red | blue, green in the low half).
template <bool kWhite>
VAXO_ALWAYS_INLINE inline void FilteredChannels(const FilterSums& s, const FilterColour& c, __m128i& redBlue,
                                                __m128i& green)
{
    redBlue = _mm_srli_epi16(s.redBlue, 8);
    green = _mm_srli_epi16(s.green, 8);
    if (!kWhite)
    {
        redBlue = _mm_srli_epi16(_mm_mullo_epi16(redBlue, c.redBlue), 8);
        green = _mm_srli_epi16(_mm_mullo_epi16(green, c.green), 8);
    }
}

// Opaque pixels of channels P. Green's unused high half lands in the alpha byte, which is set.
inline __m128i OpaquePixels(__m128i redBlue, __m128i green)
{
    return _mm_or_si128(_mm_or_si128(redBlue, _mm_slli_epi16(green, 8)), _mm_set1_epi32(int(0xFF000000u)));
}

// Four pixels whose shares add up to 251 or more: the filtered colour itself.
template <bool kWhite> VAXO_ALWAYS_INLINE inline __m128i Covering4(const FilterSums& s, const FilterColour& c)
{
    __m128i redBlue, green;
    FilteredChannels<kWhite>(s, c, redBlue, green);
    return OpaquePixels(redBlue, green);
}

// The normal-mode rule on four destination pixels d. A lane whose destination is
// translucent while A is 1 to 250 needs the general rule's division: its bit is set in
// divide and its result left to the caller.
template <bool kWhite>
VAXO_ALWAYS_INLINE inline __m128i FilteredOver4(const FilterSums& s, __m128i d, const FilterColour& c,
                                                int& divide)
{
    __m128i redBlue, green;
    FilteredChannels<kWhite>(s, c, redBlue, green);
    // Over an opaque destination (256 P + ((255 d) >> 8) (256 - A)) >> 8, where
    // (255 d) >> 8 is d - 1, or 0 for 0.
    const __m128i inv = _mm_sub_epi16(_mm_set1_epi16(256), s.alpha);
    const __m128i dd = _mm_subs_epu8(d, _mm_set1_epi8(1));
    const __m128i overRB =
        _mm_srli_epi16(_mm_add_epi16(_mm_slli_epi16(redBlue, 8),
                                     _mm_mullo_epi16(_mm_and_si128(dd, _mm_set1_epi32(0x00FF00FF)), inv)),
                       8);
    const __m128i overG = _mm_srli_epi16(
        _mm_add_epi16(_mm_slli_epi16(green, 8), _mm_mullo_epi16(_mm_srli_epi16(dd, 8), inv)), 8);
    const __m128i covering = _mm_cmpgt_epi16(s.alpha, _mm_set1_epi16(250));
    const __m128i none = _mm_cmpeq_epi32(s.alpha, _mm_setzero_si128());
    const __m128i opaque = _mm_cmpeq_epi32(_mm_or_si128(d, _mm_set1_epi32(0x00FFFFFF)), _mm_set1_epi32(-1));
    divide = _mm_movemask_ps(_mm_castsi128_ps(_mm_or_si128(_mm_or_si128(covering, none), opaque))) ^ 0xF;
    const __m128i out = OpaquePixels(Select(covering, redBlue, overRB), Select(covering, green, overG));
    return Select(none, d, out);
}

// Whether the four alpha bytes are all 255, all 0.
inline bool AlphaAll255(__m128i v)
{
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi32(-1))) & 0x8888) == 0x8888;
}

inline bool AlphaAll0(__m128i v)
{
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) & 0x8888) == 0x8888;
}

// Where a filtered copy reads: source pixel (iu, iv) of the source rectangle is
// src[origin + iv * stride + iu], for iu in uLo..uHi and iv in vLo..vHi.
struct TurnedSource
{
    int64_t origin, stride, uLo, uHi, vLo, vHi;
    size_t Index(int64_t iu, int64_t iv) const { return size_t(origin + iv * stride + iu); }
};

// The readable pixels uLo..uHi of source row iv as 32-bit pixels: the source's own, or
// those a row of a shifted copy reads (from..to, and both ends) converted into buffer.
inline const uint32_t* ReadableRow(const BitsReader& src, const TurnedSource& at, int64_t iv, int64_t,
                                   int64_t, std::vector<uint32_t>&)
{
    return src.bits + at.Index(at.uLo, iv);
}

inline const uint32_t* ReadableRow(const PaletteReader& src, const TurnedSource& at, int64_t iv, int64_t from,
                                   int64_t to, std::vector<uint32_t>& buffer)
{
    const int64_t last = at.uHi - at.uLo;
    buffer.resize(size_t(last) + 1);
    from = std::clamp<int64_t>(from, 0, last);
    to = std::clamp<int64_t>(to, 0, last);
    buffer[0] = src[at.Index(at.uLo, iv)];
    buffer[size_t(last)] = src[at.Index(at.uHi, iv)];
    src.CopyRun(buffer.data() + from, at.Index(at.uLo + from, iv), size_t(to - from + 1));
    return buffer.data();
}

// The four neighbours of four destination pixels: top left, right, below, below right.
struct Neighbours
{
    __m128i p00, p10, p01, p11;
};

// The neighbours of a shifted copy's four pixels from pixels c to c + 4 of the rows above
// and below, which hold pixels 0 to last; columns outside repeat the edge pixel.
inline Neighbours EdgeNeighbours(const uint32_t* above, const uint32_t* below, int64_t c, int64_t last)
{
    uint32_t a[5], b[5];
    for (int j = 0; j < 5; ++j)
    {
        const int64_t i = std::clamp<int64_t>(c + j, 0, last);
        a[j] = above[i];
        b[j] = below[i];
    }
    auto four = [](const uint32_t* e) { return _mm_set_epi32(int(e[3]), int(e[2]), int(e[1]), int(e[0])); };
    return {four(a), four(a + 1), four(b), four(b + 1)};
}

// The general rule on the lanes of divide, whose destination pixels were dp and whose
// neighbours are p00 .. p11, with the weights w of each lane. Out of line: it is seldom needed, and the loops
// calling it keep their registers.
template <class Divide>
VAXO_NOINLINE void DivideLanes(uint32_t* d4, int divide, __m128i dp, __m128i p00, __m128i p10, __m128i p01,
                               __m128i p11, const uint32_t (&w)[4][4], const Divide& divideOne)
{
    alignas(16) uint32_t old[4], q[4][4];
    StorePixels(old, dp);
    StorePixels(q[0], p00);
    StorePixels(q[1], p10);
    StorePixels(q[2], p01);
    StorePixels(q[3], p11);
    for (int lane = 0; lane < 4; ++lane)
        if ((divide >> lane) & 1)
        {
            const uint32_t p[4] = {q[0][lane], q[1][lane], q[2][lane], q[3][lane]};
            d4[lane] = old[lane];
            divideOne(d4[lane], p, w[lane]);
        }
}

// The normal-mode rule on four pixels d4 with neighbours n and weights w00 .. w11;
// weights(w) gives each lane's weights for the general rule.
template <bool kWhite, class Weights, class Divide>
VAXO_ALWAYS_INLINE inline void FilteredGroup(uint32_t* d4, const Neighbours& n, __m128i w00, __m128i w10,
                                             __m128i w01, __m128i w11, FilterColour c, const Weights& weights,
                                             const Divide& divideOne)
{
    FilterSums s;
    AddNeighbour<kWhite>(s, n.p00, w00, c);
    AddNeighbour<kWhite>(s, n.p10, w10, c);
    AddNeighbour<kWhite>(s, n.p01, w01, c);
    AddNeighbour<kWhite>(s, n.p11, w11, c);
    const __m128i dp = LoadPixels(d4);
    int divide;
    StorePixels(d4, FilteredOver4<kWhite>(s, dp, c, divide));
    if (divide != 0)
    {
        uint32_t w[4][4];
        weights(w);
        // The neighbours go in registers: in memory they would be stored on every group.
        DivideLanes(d4, divide, dp, n.p00, n.p10, n.p01, n.p11, w, divideOne);
    }
}

// The constants of a row of a shifted copy: its weights, and the shares of an opaque
// neighbourhood, which are the same for every pixel. When those add up to 251 or more an
// opaque neighbourhood gives the filtered colour, whatever lies below.
struct ShiftedWeights
{
    __m128i w00, w10, w01, w11;
    __m128i s00, s10, s01, s11;
    bool opaqueCovers;
};

template <bool kWhite, class Divide>
VAXO_ALWAYS_INLINE inline void ShiftedGroup(uint32_t* d4, const Neighbours& n, ShiftedWeights k,
                                            FilterColour c, const uint32_t (&w)[4], const Divide& divideOne)
{
    if (k.opaqueCovers &&
        AlphaAll255(_mm_and_si128(_mm_and_si128(n.p00, n.p10), _mm_and_si128(n.p01, n.p11))))
    {
        FilterSums s;
        AddOpaqueNeighbour(s, n.p00, k.s00);
        AddOpaqueNeighbour(s, n.p10, k.s10);
        AddOpaqueNeighbour(s, n.p01, k.s01);
        AddOpaqueNeighbour(s, n.p11, k.s11);
        StorePixels(d4, Covering4<kWhite>(s, c));
        return;
    }
    if (AlphaAll0(_mm_or_si128(_mm_or_si128(n.p00, n.p10), _mm_or_si128(n.p01, n.p11))))
        return;
    FilteredGroup<kWhite>(
        d4, n, k.w00, k.w10, k.w01, k.w11, c,
        [&](uint32_t(&out)[4][4])
        {
            for (auto& lane : out)
                std::memcpy(lane, w, sizeof(lane));
        },
        divideOne);
}

// One row of a copy at angle 0: the n destination pixels from d on, pixel k mixing pixels
// from + k and from + k + 1 of the source rows above and below its sample point with the
// row's weights w. The rows hold pixels 0 to last. divideOne(pixel, p, w) is the general
// rule for one pixel. Out of line, so that the loop has the registers to itself.
template <bool kWhite, class Divide>
VAXO_NOINLINE void ShiftedRow(uint32_t* d, int64_t n, const uint32_t* above, const uint32_t* below,
                              int64_t from, int64_t last, const uint32_t (&w)[4], const FilterColour& colour,
                              uint32_t colourAlpha, const Divide& divideOne)
{
    const FilterColour c = colour;
    uint32_t share[4], covered = 0;
    for (int q = 0; q < 4; ++q)
    {
        share[q] = (255 * w[q]) >> 16;
        if (!kWhite)
            share[q] = (colourAlpha * share[q]) >> 8;
        covered += share[q];
    }
    auto wide = [](uint32_t v) { return _mm_set1_epi16(int16_t(uint16_t(v))); };
    const ShiftedWeights k{wide(w[0]),     wide(w[1]),     wide(w[2]),     wide(w[3]),    wide(share[0]),
                           wide(share[1]), wide(share[2]), wide(share[3]), covered >= 251};
    // Groups read straight from the rows while from + i >= 0 and from + i + 4 <= last.
    const int64_t whole = n & ~int64_t(3);
    const int64_t inside = std::clamp<int64_t>((3 - from) & ~int64_t(3), 0, whole);
    const int64_t insideEnd = std::clamp<int64_t>(last - 3 - from, inside, whole);
    int64_t i = 0;
    for (; i < inside; i += 4)
        ShiftedGroup<kWhite>(d + i, EdgeNeighbours(above, below, from + i, last), k, c, w, divideOne);
    for (; i < insideEnd; i += 4)
    {
        const uint32_t* a = above + from + i;
        const uint32_t* b = below + from + i;
        const Neighbours nb{LoadPixels(a), LoadPixels(a + 1), LoadPixels(b), LoadPixels(b + 1)};
        ShiftedGroup<kWhite>(d + i, nb, k, c, w, divideOne);
    }
    for (; i < whole; i += 4)
        ShiftedGroup<kWhite>(d + i, EdgeNeighbours(above, below, from + i, last), k, c, w, divideOne);
    if (i == n)
        return;
    // The last one to three pixels through a copy, so that nothing past them is touched.
    uint32_t tail[4] = {0, 0, 0, 0};
    std::memcpy(tail, d + i, size_t(n - i) * sizeof(uint32_t));
    ShiftedGroup<kWhite>(tail, EdgeNeighbours(above, below, from + i, last), k, c, w, divideOne);
    std::memcpy(d + i, tail, size_t(n - i) * sizeof(uint32_t));
}

// The neighbours of a turned copy's four columns col .. col + 3, each sampling
// (u0 + col du, v0 + col dv). Columns inFirst to inLast have their whole 2 x 2 sample in
// the source; the others repeat its edge pixels, and columns past last read last's.
template <class Reader>
VAXO_ALWAYS_INLINE inline Neighbours TurnedNeighbours(const Reader& src, const TurnedSource& at, int64_t u0,
                                                      int64_t v0, int64_t du, int64_t dv, int64_t col,
                                                      int64_t last, int64_t inFirst, int64_t inLast)
{
    __m128i top[4], bottom[4];
    if (col >= inFirst && col + 3 <= inLast)
    {
        for (int lane = 0; lane < 4; ++lane)
        {
            const int64_t u = u0 + (col + lane) * du, v = v0 + (col + lane) * dv;
            const size_t i = at.Index(u >> 16, v >> 16);
            top[lane] = PixelPair(src, i);
            bottom[lane] = PixelPair(src, i + size_t(at.stride));
        }
    }
    else
    {
        for (int lane = 0; lane < 4; ++lane)
        {
            const int64_t cl = std::min(col + lane, last);
            const int64_t u = u0 + cl * du, v = v0 + cl * dv;
            const int64_t iu = std::clamp<int64_t>(u >> 16, at.uLo, at.uHi);
            const int64_t iu1 = std::clamp<int64_t>((u >> 16) + 1, at.uLo, at.uHi);
            const int64_t iv = std::clamp<int64_t>(v >> 16, at.vLo, at.vHi);
            const int64_t iv1 = std::clamp<int64_t>((v >> 16) + 1, at.vLo, at.vHi);
            top[lane] = PixelPair(src[at.Index(iu, iv)], src[at.Index(iu1, iv)]);
            bottom[lane] = PixelPair(src[at.Index(iu, iv1)], src[at.Index(iu1, iv1)]);
        }
    }
    const __m128 top01 = _mm_castsi128_ps(_mm_unpacklo_epi64(top[0], top[1]));
    const __m128 top23 = _mm_castsi128_ps(_mm_unpacklo_epi64(top[2], top[3]));
    const __m128 bottom01 = _mm_castsi128_ps(_mm_unpacklo_epi64(bottom[0], bottom[1]));
    const __m128 bottom23 = _mm_castsi128_ps(_mm_unpacklo_epi64(bottom[2], bottom[3]));
    return {_mm_castps_si128(_mm_shuffle_ps(top01, top23, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm_castps_si128(_mm_shuffle_ps(top01, top23, _MM_SHUFFLE(3, 1, 3, 1))),
            _mm_castps_si128(_mm_shuffle_ps(bottom01, bottom23, _MM_SHUFFLE(2, 0, 2, 0))),
            _mm_castps_si128(_mm_shuffle_ps(bottom01, bottom23, _MM_SHUFFLE(3, 1, 3, 1)))};
}

// One row of a turned copy: columns first to last of the row from d, column col sampling
// (u0 + col du, v0 + col dv), inFirst to inLast with their whole 2 x 2 sample in the
// source. Out of line, so that the loop has the registers to itself.
template <bool kWhite, class Reader, class Divide>
VAXO_NOINLINE void TurnedRow(uint32_t* d, const Reader& reader, const TurnedSource& source, int64_t u0,
                             int64_t v0, int64_t du, int64_t dv, int64_t first, int64_t last, int64_t inFirst,
                             int64_t inLast, const FilterColour& colour, const Divide& divideOne)
{
    const Reader src = reader;
    const TurnedSource at = source;
    const FilterColour c = colour;
    // The fractions' 16 bits of four columns, in both halves of each word, stepped in
    // 16-bit lanes (only the low 16 bits of a position make its fractions).
    auto low = [](int64_t p) { return int((uint32_t(p) & 0xFFFF) * 0x10001u); };
    const int64_t u1 = u0 + first * du, v1 = v0 + first * dv;
    __m128i u = _mm_set_epi32(low(u1 + 3 * du), low(u1 + 2 * du), low(u1 + du), low(u1));
    __m128i v = _mm_set_epi32(low(v1 + 3 * dv), low(v1 + 2 * dv), low(v1 + dv), low(v1));
    const __m128i uStep = _mm_set1_epi16(int16_t(uint16_t(4 * du))),
                  vStep = _mm_set1_epi16(int16_t(uint16_t(4 * dv)));
    const __m128i evenMask = _mm_set1_epi16(int16_t(0xFFFE)), one = _mm_set1_epi16(1);
    for (int64_t col = first; col <= last; col += 4)
    {
        const Neighbours n = TurnedNeighbours(src, at, u0, v0, du, dv, col, last, inFirst, inLast);
        const __m128i fx = _mm_add_epi16(_mm_and_si128(u, evenMask), one);
        const __m128i fy = _mm_add_epi16(_mm_and_si128(v, evenMask), one);
        u = _mm_add_epi16(u, uStep);
        v = _mm_add_epi16(v, vStep);
        if (AlphaAll0(_mm_or_si128(_mm_or_si128(n.p00, n.p10), _mm_or_si128(n.p01, n.p11))))
            continue;
        // 65536 - f is -f in 16 bits (f is 1 to 65535).
        const __m128i gx = _mm_sub_epi16(_mm_setzero_si128(), fx);
        const __m128i gy = _mm_sub_epi16(_mm_setzero_si128(), fy);
        const auto weights = [&](uint32_t(&w)[4][4])
        {
            for (int lane = 0; lane < 4; ++lane)
            {
                const int64_t uu = u0 + (col + lane) * du, vv = v0 + (col + lane) * dv;
                BilinearWeights((uint32_t(uu) & 0xFFFE) + 1, (uint32_t(vv) & 0xFFFE) + 1, w[lane]);
            }
        };
        const int64_t count = std::min<int64_t>(4, last - col + 1);
        uint32_t tail[4] = {0, 0, 0, 0};
        uint32_t* d4 = d + col;
        if (count < 4)
        {
            // The last one to three pixels through a copy, so that nothing past them is touched.
            std::memcpy(tail, d4, size_t(count) * sizeof(uint32_t));
            d4 = tail;
        }
        FilteredGroup<kWhite>(d4, n, _mm_mulhi_epu16(gx, gy), _mm_mulhi_epu16(fx, gy),
                              _mm_mulhi_epu16(gx, fy), _mm_mulhi_epu16(fx, fy), c, weights, divideOne);
        if (count < 4)
            std::memcpy(d + col, tail, size_t(count) * sizeof(uint32_t));
    }
}

#endif

// kWhite and kNormal (draw mode 0) are fixed per instantiation, so the per-pixel loop
// carries no tests of them. Rows start their source positions at column x0, the columns
// drawn are those of span. apart: the source's pixels are not the destination's, so
// pixels may be drawn four at a time.
//
// Destination pixel (X, Y) samples the source at (u, v), source pixel i standing at i, so
// its centre lands inside the source while -0.5 <= u < w - 0.5 (likewise v). Where the
// 2 x 2 sample fits the source the loop reads it directly; in the half-pixel rim around
// that the missing neighbours repeat the source's edge pixels.
template <bool kWhite, bool kNormal, class Reader>
void RotatedLoop(uint32_t* dest, int destWidth, const Reader& src, int srcWidth, int srcHeight,
                 const TRect<int>& srcRect, int x0, const TRect<int>& span, float x, float y, double rot,
                 float cx, float cy, const Color& color, const uint8_t* add, bool apart)
{
    constexpr bool white = kWhite;
    const int64_t du = static_cast<int64_t>(std::cos(rot) * 65536);
    const int64_t dv = static_cast<int64_t>(std::sin(rot) * 65536);
    const double c = std::cos(rot);
    const double s = std::sin(rot);
    // Source pixels that may be read, in source-rectangle coordinates: inside both the
    // source rectangle and the source image.
    const int64_t uLo = std::max<int64_t>(0, -int64_t(srcRect.mX));
    const int64_t uHi = std::min<int64_t>(srcRect.mWidth - 1, int64_t(srcWidth) - 1 - srcRect.mX);
    const int64_t vLo = std::max<int64_t>(0, -int64_t(srcRect.mY));
    const int64_t vHi = std::min<int64_t>(srcRect.mHeight - 1, int64_t(srcHeight) - 1 - srcRect.mY);
    if (uHi < uLo || vHi < vLo)
        return;

    const uint64_t* recip = Reciprocals();
    const uint32_t ca = uint32_t(color.mAlpha);
    const uint32_t cc[3] = {uint32_t(color.mRed), uint32_t(color.mGreen), uint32_t(color.mBlue)};
    const uint32_t k[3] = {(ca * cc[0]) / 255, (ca * cc[1]) / 255, (ca * cc[2]) / 255};

    // Destination pixel dvx from the four source pixels p (top left, right, below, below
    // right) with weights w; left as it is when their alpha shares add up to 0.
    const auto blend = [&](uint32_t& dvx, const uint32_t(&p)[4], const uint32_t(&w)[4])
    {
        uint32_t share[4];
        uint32_t A = 0;
        for (int q = 0; q < 4; ++q)
        {
            share[q] = ((p[q] >> 24) * w[q]) >> 16;
            if (!white)
                share[q] = (ca * share[q]) >> 8;
            A += share[q];
        }
        if (A == 0)
            return;
        // Red and blue summed in one word: each lane stays below 255 x 255, as the
        // shares add up to at most 255.
        uint32_t redBlue = 0, green = 0;
        for (int q = 0; q < 4; ++q)
        {
            redBlue += (p[q] & 0xFF00FFu) * share[q];
            green += ((p[q] >> 8) & 0xFF) * share[q];
        }
        const uint32_t sum[3] = {redBlue >> 16, green, redBlue & 0xFFFF}; // red, green, blue
        const uint32_t dch[3] = {(dvx >> 16) & 0xFF, (dvx >> 8) & 0xFF, dvx & 0xFF};
        uint32_t res[3];
        uint32_t alpha;
        if (kNormal)
        {
            uint32_t P[3];
            for (int ch = 0; ch < 3; ++ch)
            {
                P[ch] = sum[ch] >> 8;
                if (!white)
                    P[ch] = (P[ch] * (cc[ch] + 1)) >> 8;
            }
            if (A >= 251)
            {
                alpha = 255;
                for (int ch = 0; ch < 3; ++ch)
                    res[ch] = std::min<uint32_t>(P[ch], 255);
            }
            else if ((dvx >> 24) == 255)
            {
                // Opaque destination: k = 0, so the divisor is 256.
                const uint32_t inv = 256 - A;
                alpha = 255;
                for (int ch = 0; ch < 3; ++ch)
                    res[ch] = std::min<uint32_t>((256 * P[ch] + ((255 * dch[ch]) >> 8) * inv) >> 8, 255);
            }
            else
            {
                const uint32_t da = dvx >> 24;
                const uint32_t inv = 256 - A;
                const uint32_t kk = (inv * (256 - da)) >> 8;
                alpha = 255 - kk;
                const uint64_t reciprocal = recip[256 - kk];
                for (int ch = 0; ch < 3; ++ch)
                    res[ch] = std::min<uint32_t>(
                        uint32_t(((256 * P[ch] + ((da * dch[ch]) >> 8) * inv) * reciprocal) >> 32), 255);
            }
        }
        else
        {
            alpha = dvx >> 24;
            for (int ch = 0; ch < 3; ++ch)
            {
                const uint32_t P = white ? (sum[ch] >> 8) : ((sum[ch] * k[ch]) >> 16);
                res[ch] = add[dch[ch] + std::min<uint32_t>(P, 255)];
            }
        }
        dvx = alpha << 24 | res[0] << 16 | res[1] << 8 | res[2];
    };
    // The same from the source pixels at i[] and the fractions fx, fy.
    const auto draw = [&](uint32_t* d, int64_t col, const size_t(&i)[4], uint32_t fx, uint32_t fy)
    {
        const uint32_t p[4] = {src[i[0]], src[i[1]], src[i[2]], src[i[3]]};
        uint32_t w[4];
        BilinearWeights(fx, fy, w);
        blend(d[col], p, w);
    };

    const auto index = [&](int64_t u, int64_t v)
    { return size_t(srcRect.mY + v) * size_t(srcWidth) + size_t(srcRect.mX + u); };
#if VAXO_SSE2_BLEND
    const TurnedSource at{int64_t(srcRect.mY) * srcWidth + srcRect.mX, srcWidth, uLo, uHi, vLo, vHi};
    const FilterColour colour(color);
    // At angle 0 a row's samples are one pixel apart with the same fractions.
    const bool shifted = du == 65536 && dv == 0;
    std::vector<uint32_t> rowAbove, rowBelow; // the palette form's rows, converted
#else
    (void)apart;
#endif
    // The columns each row keeps by its u positions alone (first to last, the whole 2 x 2
    // sample from inFirst to inLast), for the row start uRow.
    bool haveU = false;
    int64_t uRow = 0, uFirst = 0, uLast = 0, uInFirst = 0, uInLast = 0;
    for (int Y = span.mY; Y < span.mY + span.mHeight; ++Y)
    {
        const float DX = (float(x0) - cx) - x;
        const float DY = (float(Y) - cy) - y;
        const double uStart = (c * DX - s * DY + cx) * 65536;
        const double vStart = (c * DY + s * DX + cy) * 65536;
        // Far-off positions cannot reach the source; also keeps the conversions defined.
        if (!(std::abs(uStart) < 1e15 && std::abs(vStart) < 1e15))
            continue;
        const int64_t u0 = static_cast<int64_t>(uStart);
        const int64_t v0 = static_cast<int64_t>(vStart);

        // Columns whose centre lands inside the source...
        if (!haveU || u0 != uRow)
        {
            // The same for every row at angle 0, where u0 does not change.
            uFirst = span.mX - x0;
            uLast = span.mX + span.mWidth - 1 - x0;
            LimitSampleColumns(u0, du, uLo * 65536 - 32768, uHi * 65536 + 32768, uFirst, uLast);
            uInFirst = uFirst;
            uInLast = uLast;
            LimitSampleColumns(u0, du, uLo * 65536, uHi * 65536, uInFirst, uInLast);
            uRow = u0;
            haveU = true;
        }
        int64_t first = uFirst;
        int64_t last = uLast;
        LimitSampleColumns(v0, dv, vLo * 65536 - 32768, vHi * 65536 + 32768, first, last);
        if (first > last)
            continue;
        // ...and among them those whose whole 2 x 2 sample lies inside it.
        int64_t inFirst = std::max(uInFirst, first);
        int64_t inLast = std::min(uInLast, last);
        LimitSampleColumns(v0, dv, vLo * 65536, vHi * 65536, inFirst, inLast);
        if (inFirst > inLast)
            inFirst = last + 1, inLast = last; // all rim: the rim loops below cover the row

        uint32_t* d = dest + size_t(Y) * size_t(destWidth) + size_t(x0);
#if VAXO_SSE2_BLEND
        if constexpr (kNormal)
        {
            // The destination rows a sprite lands on are seldom in the cache: ask for a
            // later row's pixels now, so they have arrived by the time it is drawn.
            constexpr int kAhead = 4;
            if (Y + kAhead < span.mY + span.mHeight)
            {
                const uint32_t* ahead = d + size_t(kAhead) * size_t(destWidth);
                for (int64_t col = first; col <= last; col += 16)
                    _mm_prefetch(reinterpret_cast<const char*>(ahead + col), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(ahead + last), _MM_HINT_T0);
            }
            if (apart && shifted)
            {
                const int64_t iv = v0 >> 16, n = last - first + 1, from = (u0 >> 16) + first - uLo;
                // A row's last four pixels are read as one group, past the end too.
                const uint32_t* above =
                    ReadableRow(src, at, std::clamp(iv, vLo, vHi), from, from + n + 3, rowAbove);
                const uint32_t* below =
                    ReadableRow(src, at, std::clamp(iv + 1, vLo, vHi), from, from + n + 3, rowBelow);
                uint32_t w[4];
                BilinearWeights((uint32_t(u0) & 0xFFFE) + 1, (uint32_t(v0) & 0xFFFE) + 1, w);
                ShiftedRow<kWhite>(d + first, n, above, below, from, uHi - uLo, w, colour, ca, blend);
                continue;
            }
            if (apart)
            {
                TurnedRow<kWhite>(d, src, at, u0, v0, du, dv, first, last, inFirst, inLast, colour, blend);
                continue;
            }
        }
#endif
        const auto rim = [&](int64_t from, int64_t to)
        {
            for (int64_t col = from; col <= to; ++col)
            {
                const int64_t u = u0 + col * du;
                const int64_t v = v0 + col * dv;
                const int64_t iu = std::clamp<int64_t>(u >> 16, uLo, uHi);
                const int64_t iu1 = std::clamp<int64_t>((u >> 16) + 1, uLo, uHi);
                const int64_t iv = std::clamp<int64_t>(v >> 16, vLo, vHi);
                const int64_t iv1 = std::clamp<int64_t>((v >> 16) + 1, vLo, vHi);
                const size_t i[4] = {index(iu, iv), index(iu1, iv), index(iu, iv1), index(iu1, iv1)};
                draw(d, col, i, (uint32_t(u) & 0xFFFE) + 1, (uint32_t(v) & 0xFFFE) + 1);
            }
        };
        rim(first, inFirst - 1);
        for (int64_t col = inFirst; col <= inLast; ++col)
        {
            const int64_t u = u0 + col * du;
            const int64_t v = v0 + col * dv;
            const size_t i00 = index(u >> 16, v >> 16);
            const size_t i[4] = {i00, i00 + 1, i00 + size_t(srcWidth), i00 + size_t(srcWidth) + 1};
            draw(d, col, i, (uint32_t(u) & 0xFFFE) + 1, (uint32_t(v) & 0xFFFE) + 1);
        }
        rim(inLast + 1, last);
    }
}

} // namespace

void MemoryImage::BltF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                       const Color& color, int drawMode)
{
    BltRotated(image, x, y, srcRect, clipRect, color, drawMode, 0.0, 0.0f, 0.0f);
}

bool MemoryImage::BltRotatedClipHelper(float& x, float& y, const TRect<int>& srcRect,
                                       const TRect<int>& clipRect, double angle, TRect<double>& destRectOut,
                                       float rotCenterX, float rotCenterY)
{
    const float c = std::cos(static_cast<float>(angle));
    const float s = std::sin(static_cast<float>(angle));
    const float w = static_cast<float>(srcRect.mWidth);
    const float h = static_cast<float>(srcRect.mHeight);
    const float px[4] = {0, w, 0, w};
    const float py[4] = {0, 0, h, h};
    float minX = 10000000, minY = 10000000, maxX = -10000000, maxY = -10000000;
    for (int i = 0; i < 4; ++i)
    {
        const float X = s * (py[i] - rotCenterY) + c * (px[i] - rotCenterX) + rotCenterX + x;
        const float Y = c * (py[i] - rotCenterY) - s * (px[i] - rotCenterX) + rotCenterY + y;
        minX = std::min(minX, X);
        maxX = std::max(maxX, X);
        minY = std::min(minY, Y);
        maxY = std::max(maxY, Y);
    }
    destRectOut =
        TRect<double>(minX, minY, double(maxX) - minX, double(maxY) - minY).Intersection(ToDouble(clipRect));
    return destRectOut.mWidth > 0 && destRectOut.mHeight > 0;
}

void MemoryImage::BltRotated(Image* image, float x, float y, const TRect<int>& srcRect,
                             const TRect<int>& clipRect, const Color& color, int drawMode, double angle,
                             float rotCenterX, float rotCenterY)
{
    if (image == nullptr)
        return;
    image->mDrawn = true;
    MemoryImage* src = dynamic_cast<MemoryImage*>(image);
    if (src == nullptr)
        return;
    if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(angle) && std::isfinite(rotCenterX) &&
          std::isfinite(rotCenterY)))
        return;
    if (srcRect.mWidth <= 0 || srcRect.mHeight <= 0)
        return;
    const TRect<int> clip = clipRect.Intersection(Bounds(this));
    TRect<double> out;
    if (!BltRotatedClipHelper(x, y, srcRect, clip, angle, out, rotCenterX, rotCenterY))
        return;
    // The covered bounds in whole pixels and one more on each side: a turned source's
    // sample points sit up to half a pixel off its corners. The loop keeps to the pixels
    // whose centres land inside the source.
    const int left = static_cast<int>(std::floor(out.mX)) - 1;
    const int top = static_cast<int>(std::floor(out.mY)) - 1;
    const int right = static_cast<int>(std::ceil(out.mX + out.mWidth)) + 1;
    const int bottom = static_cast<int>(std::ceil(out.mY + out.mHeight)) + 1;
    const TRect<int> span = TRect<int>(left, top, right - left, bottom - top).Intersection(clip);
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    const bool white = color == Color::White;
    const Color col = ClampedColor(color);
    const uint8_t* add = mApp != nullptr ? mApp->mAdd8BitMaxTable : AddTable::Get();
    // Drawn onto itself, the copy reads pixels it has already written, one at a time.
    const bool apart = src != this;
    const bool drew = WithReader(src,
                                 [&](const auto& reader)
                                 {
                                     auto run = [&](auto whiteTag, auto normalTag)
                                     {
                                         RotatedLoop<decltype(whiteTag)::value, decltype(normalTag)::value>(
                                             bits, mWidth, reader, src->mWidth, src->mHeight, srcRect,
                                             static_cast<int>(out.mX), span, x, y, angle, rotCenterX,
                                             rotCenterY, col, add, apart);
                                     };
                                     using T = std::true_type;
                                     using F = std::false_type;
                                     if (white)
                                         drawMode == 0 ? run(T(), T()) : run(T(), F());
                                     else
                                         drawMode == 0 ? run(F(), T()) : run(F(), F());
                                 });
    if (drew)
        BitsChanged();
}

} // namespace Vaxo
