// Internal to framework/graphics.
// Pixel arithmetic of the display-format images: the display's layout copied out once
// per draw, conversions between 0xAARRGGBB and surface words, and row addressing of a
// locked surface. Internal to NativeImage*.cpp (and the tests that check them).
#pragma once

#include "graphics/Color.h"
#include "graphics/MemoryImagePixels.h"
#include "graphics/NativeDisplay.h"

#include <cstdint>

namespace Vaxo
{

// The packed layouts the fast loops know; anything else takes the per-channel forms.
enum class SurfaceKind
{
    k888,
    k565,
    k555,
    kOther16
};

struct SurfaceFormat
{
    int32_t bpp;
    uint32_t mask[3]; // red, green, blue
    int32_t shift[3];
    int32_t bits[3];
    const int32_t* add[3]; // saturating add tables, 2 (2^bits - 1) + 1 entries
    SurfaceKind kind;

    explicit SurfaceFormat(const NativeDisplay& d)
        : bpp(d.mBitsPerPixel), mask{d.mRedMask, d.mGreenMask, d.mBlueMask}, shift{d.mRedShift, d.mGreenShift,
                                                                                   d.mBlueShift},
          bits{d.mRedBits, d.mGreenBits, d.mBlueBits}, add{d.mRedAddTable.data(), d.mGreenAddTable.data(),
                                                           d.mBlueAddTable.data()}
    {
        if (bpp == 32)
            kind = SurfaceKind::k888;
        else if (mask[0] == 0xF800 && mask[1] == 0x07E0 && mask[2] == 0x001F)
            kind = SurfaceKind::k565;
        else if (mask[0] == 0x7C00 && mask[1] == 0x03E0 && mask[2] == 0x001F)
            kind = SurfaceKind::k555;
        else
            kind = SurfaceKind::kOther16;
    }

    // The packing constant P of spread/fold (565 or 555).
    uint32_t Packed() const { return kind == SurfaceKind::k565 ? 0x07E0F81Fu : 0x03E07C1Fu; }

    // Top bits of each 8-bit channel placed by the masks.
    uint32_t FromArgb(uint32_t p) const
    {
        uint32_t s = 0;
        for (int k = 0; k < 3; ++k)
        {
            const int32_t down = 8 * (2 - k) + 8 - bits[k];
            s |= ((p >> down) << shift[k]) & mask[k];
        }
        return s;
    }

    // Opaque 0xFFRRGGBB with the channel bits in the top of each byte.
    uint32_t ToArgb(uint32_t s) const
    {
        uint32_t p = 0xFF000000u;
        for (int k = 0; k < 3; ++k)
            p |= (((s >> shift[k]) << (8 - bits[k])) & 0xFF) << (8 * (2 - k));
        return p;
    }
};

// The layout a surface loop can rely on: 16 or 32 bits per pixel, each channel 1 to 8
// bits inside its word, and add tables of the right size.
inline bool SurfaceFormatOk(const NativeDisplay& d)
{
    if (d.mBitsPerPixel != 16 && d.mBitsPerPixel != 32)
        return false;
    const uint32_t masks[3] = {d.mRedMask, d.mGreenMask, d.mBlueMask};
    const int32_t bits[3] = {d.mRedBits, d.mGreenBits, d.mBlueBits};
    const int32_t shifts[3] = {d.mRedShift, d.mGreenShift, d.mBlueShift};
    const size_t sizes[3] = {d.mRedAddTable.size(), d.mGreenAddTable.size(), d.mBlueAddTable.size()};
    for (int k = 0; k < 3; ++k)
    {
        if (bits[k] < 1 || bits[k] > 8 || shifts[k] < 0 || shifts[k] + bits[k] > d.mBitsPerPixel)
            return false;
        if (masks[k] != ((1u << bits[k]) - 1u) << shifts[k])
            return false;
        if (sizes[k] != size_t(2 * ((1 << bits[k]) - 1) + 1))
            return false;
    }
    // The 32-bit loops blend red and blue as one pair of byte lanes.
    if (d.mBitsPerPixel == 32 && !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF))
        return false;
    return true;
}

inline uint32_t Spread(uint32_t v, uint32_t p)
{
    return (v | v << 16) & p;
}

inline uint32_t Fold(uint32_t w)
{
    return (w >> 16 | w) & 0xFFFFu;
}

// Row y of a locked surface as words of type P.
template <class P> inline P* SurfaceRow(void* bits, int32_t pitch, int32_t y)
{
    return reinterpret_cast<P*>(static_cast<uint8_t*>(bits) + int64_t(y) * int64_t(pitch));
}

// The colour's factors kR, kG, kB: A x channel / 255.
struct ColorFactors
{
    uint32_t k[3];
    explicit ColorFactors(const Color& c)
        : k{uint32_t(c.mAlpha * c.mRed / 255), uint32_t(c.mAlpha * c.mGreen / 255),
            uint32_t(c.mAlpha * c.mBlue / 255)}
    {
    }
    bool Grey() const { return k[0] == k[1] && k[1] == k[2]; }
};

// Everything one surface loop needs about the locked destination and the colour.
struct SurfaceDraw
{
    SurfaceFormat f;
    void* bits;
    int32_t pitch;
    bool white;
    Color c; // clamped
    ColorFactors k;
    int drawMode;
    SurfaceDraw(const NativeDisplay& d, void* b, int32_t p, const Color& color, int mode = 0)
        : f(d), bits(b), pitch(p), white(color == Color::White), c(ClampedColor(color)), k(c), drawMode(mode)
    {
    }
};

// Channel-wise saturating sum of destination word d and source word s (scaled by the
// colour's factors unless the colour is white), through the add tables.
inline uint32_t AddWords(const SurfaceDraw& J, uint32_t s, uint32_t d)
{
    const SurfaceFormat& f = J.f;
    uint32_t nd = 0;
    for (int k = 0; k < 3; ++k)
    {
        const uint32_t m = f.mask[k];
        const int32_t sh = f.shift[k];
        const uint32_t idx =
            J.white ? ((m & d) + (m & s)) >> sh : ((m & d) >> sh) + ((((m & s) >> sh) * J.k.k[k]) >> 8);
        nd |= uint32_t(f.add[k][idx]) << sh;
    }
    return nd;
}

// Source word i: straight from the words, or through the palette indices.
struct DirectWords
{
    const uint32_t* n;
    uint32_t operator()(size_t i) const { return n[i]; }
};
struct PaletteWords
{
    const uint32_t* n;
    const uint8_t* idx;
    uint32_t operator()(size_t i) const { return n[idx[i]]; }
};

// Calls f with the reader of `words`: indexed when `indices` is set.
template <class F> void WithWords(const uint32_t* words, const uint8_t* indices, F&& f)
{
    if (indices != nullptr)
        f(PaletteWords{words, indices});
    else
        f(DirectWords{words});
}

// Replaces the surface word at (x, y) by mix(word), for 16- or 32-bit words.
template <class F> void MixWord(void* bits, int32_t pitch, int32_t bpp, int32_t x, int32_t y, F&& mix)
{
    if (bpp == 16)
    {
        uint16_t* w = SurfaceRow<uint16_t>(bits, pitch, y) + x;
        *w = static_cast<uint16_t>(mix(uint32_t(*w)));
    }
    else
    {
        uint32_t* w = SurfaceRow<uint32_t>(bits, pitch, y) + x;
        *w = mix(*w);
    }
}

} // namespace Vaxo
