// Internal to framework/graphics.
// Pixel arithmetic shared by the MemoryImage sources: conversion to and from a
// display's pixel format, and the blend rules of the fills and the blitters. Internal
// to the software image (and the display-format code that must match it bit for bit).
#pragma once

#include "graphics/Color.h"
#include "graphics/NativeDisplay.h"

#include <algorithm>
#include <cstdint>

namespace Vaxo
{

// Shifts that treat counts outside 0..31 as "everything shifted out" (or nothing
// shifted), so a display description with odd bit counts cannot cause undefined shifts.
inline uint32_t ShiftRightSafe(uint32_t v, int32_t n)
{
    return n <= 0 ? v : (n >= 32 ? 0u : v >> n);
}
inline uint32_t ShiftLeftSafe(uint32_t v, int32_t n)
{
    return n <= 0 ? v : (n >= 32 ? 0u : v << n);
}

// Narrows [first, last] to the columns col where low <= u0 + col du < high (16.16
// positions): the columns of a turned or shifted draw whose sample lands in a range.
inline void LimitSampleColumns(int64_t u0, int64_t du, int64_t low, int64_t high, int64_t& first,
                               int64_t& last)
{
    low -= u0;
    high -= u0; // exclusive
    const auto floorDiv = [](int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); };
    if (du == 0)
    {
        if (!(low <= 0 && 0 < high))
            last = first - 1;
    }
    else if (du > 0)
    {
        first = std::max(first, -floorDiv(-low, du)); // ceil(low / du)
        last = std::min(last, -floorDiv(-high, du) - 1);
    }
    else
    {
        first = std::max(first, floorDiv(high, du) + 1);
        last = std::min(last, floorDiv(low, du));
    }
}

// A display's channel layout, copied out once per conversion loop.
struct PixelFormat
{
    uint32_t redMask, greenMask, blueMask;
    int32_t redBits, greenBits, blueBits;
    int32_t redShift, greenShift, blueShift;

    explicit PixelFormat(const NativeDisplay& d)
        : redMask(d.mRedMask), greenMask(d.mGreenMask), blueMask(d.mBlueMask), redBits(d.mRedBits),
          greenBits(d.mGreenBits), blueBits(d.mBlueBits), redShift(d.mRedShift), greenShift(d.mGreenShift),
          blueShift(d.mBlueShift)
    {
    }

    // 0xAARRGGBB to the display's format, colour premultiplied by (alpha + 1) / 256,
    // alpha kept in the top byte.
    uint32_t ToNative(uint32_t c) const
    {
        const uint32_t a1 = (c >> 24) + 1;
        const uint32_t r = ShiftLeftSafe(ShiftRightSafe(((c & 0xFF0000u) * a1) >> 8, 24 - redBits), redShift);
        const uint32_t g =
            ShiftLeftSafe(ShiftRightSafe(((c & 0xFF00u) * a1) >> 8, 16 - greenBits), greenShift);
        const uint32_t b = ShiftLeftSafe(ShiftRightSafe(((c & 0xFFu) * a1) >> 8, 8 - blueBits), blueShift);
        return (r & redMask) | (g & greenMask) | (b & blueMask) | (c & 0xFF000000u);
    }

    // The way back: each channel divided by (alpha + 1) and widened to 8 bits.
    uint32_t FromNative(uint32_t w) const
    {
        const uint32_t n = (w >> 24) + 1;
        const uint32_t r = Channel(w, n, redMask, redShift + redBits);
        const uint32_t g = Channel(w, n, greenMask, greenShift + greenBits);
        const uint32_t b = Channel(w, n, blueMask, blueShift + blueBits);
        return (w & 0xFF000000u) | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
    }

private:
    static uint32_t Channel(uint32_t w, uint32_t n, uint32_t mask, int32_t top)
    {
        return ShiftRightSafe((((((w & mask) << 8) / n) & mask) << 8), top);
    }
};

inline int32_t ClampChannel(int32_t v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The colour with every channel brought into 0..255, so that no channel can index a
// table past its end or spill into its neighbour.
inline Color ClampedColor(const Color& c)
{
    return Color(ClampChannel(c.mRed), ClampChannel(c.mGreen), ClampChannel(c.mBlue), ClampChannel(c.mAlpha));
}

inline uint32_t PackColor(const Color& c)
{
    return uint32_t(c.mAlpha) << 24 | uint32_t(c.mRed) << 16 | uint32_t(c.mGreen) << 8 | uint32_t(c.mBlue);
}

// Saturating add of two channel values: entry i is min(i, 255).
struct AddTable
{
    uint8_t t[512];
    AddTable()
    {
        for (int i = 0; i < 512; ++i)
            t[i] = static_cast<uint8_t>(i < 255 ? i : 255);
    }
    static const uint8_t* Get()
    {
        static const AddTable* table = new AddTable(); // built on first use, never destroyed
        return table->t;
    }
};

// New alpha and source share of a weight w (0-255) over a destination alpha da:
// na = da + ((255 - da) w) / 255 and sw = (w 255) / na, the divisions of every blend,
// worked out once for all 65536 pairs.
struct BlendTable
{
    uint8_t newAlpha[256][256]; // [w][da]
    uint8_t srcShare[256][256]; // [w][da]; 0 where newAlpha is 0

    BlendTable()
    {
        for (uint32_t w = 0; w < 256; ++w)
            for (uint32_t da = 0; da < 256; ++da)
            {
                const uint32_t na = da + ((255 - da) * w) / 255;
                newAlpha[w][da] = static_cast<uint8_t>(na);
                srcShare[w][da] = static_cast<uint8_t>(na == 0 ? 0 : (w * 255) / na);
            }
    }
    static const BlendTable& Get()
    {
        static const BlendTable* table = new BlendTable(); // built on first use, never destroyed
        return *table;
    }
};

// The blend of the fills and lines: colour c over d with weight w (0-255); all three
// channels truncated after the sum. na is 0 only for w 0 over alpha 0: unchanged.
inline uint32_t FillBlend(uint32_t c, uint32_t d, uint32_t w)
{
    const BlendTable& table = BlendTable::Get();
    const uint32_t da = d >> 24;
    const uint32_t na = table.newAlpha[w][da];
    if (na == 0)
        return d;
    const uint32_t sw = table.srcShare[w][da];
    const uint32_t dw = 256 - sw;
    const uint32_t r = (((c >> 16) & 0xFF) * sw + ((d >> 16) & 0xFF) * dw) >> 8;
    const uint32_t g = (((c >> 8) & 0xFF) * sw + ((d >> 8) & 0xFF) * dw) >> 8;
    const uint32_t b = ((c & 0xFF) * sw + (d & 0xFF) * dw) >> 8;
    return na << 24 | r << 16 | g << 8 | b;
}

// The channel mix of the blitters: red and green truncated after the sum, blue's two
// products truncated separately (the look of every blitted sprite depends on it).
inline uint32_t BltMix(uint32_t s, uint32_t d, uint32_t sw, uint32_t dw, uint32_t alpha)
{
    const uint32_t r = (((s >> 16) & 0xFF) * sw + ((d >> 16) & 0xFF) * dw) >> 8;
    const uint32_t g = (((s >> 8) & 0xFF) * sw + ((d >> 8) & 0xFF) * dw) >> 8;
    const uint32_t b = (((s & 0xFF) * sw) >> 8) + (((d & 0xFF) * dw) >> 8);
    return alpha << 24 | r << 16 | g << 8 | b;
}

// The weighted rule of the blitters: source alpha sa (not 0) over d.
inline uint32_t BltWeighted(uint32_t s, uint32_t d, uint32_t sa)
{
    const BlendTable& table = BlendTable::Get();
    const uint32_t da = d >> 24;
    const uint32_t sw = table.srcShare[sa][da];
    return BltMix(s, d, sw, 256 - sw, table.newAlpha[sa][da]);
}

} // namespace Vaxo
