// Internal to framework/graphics: the row loops of the software image's hottest blends
// (straight copies, translucent fills, the font's glyph copy).
//
// Every loop gives exactly the pixels of the per-pixel rules of MemoryImagePixels.h, in
// two builds: PortableBlend, plain C++ for any processor, and Sse2Blend, four pixels at
// a time, for x86-64 (where SSE2 is always there, so nothing is chosen at run time).
// FastBlend names the build the drawing code uses; compiling with VAXO_PORTABLE_BLEND
// defined makes it the portable one. Source and destination must not overlap, except
// for the portable loops, which blend pixel by pixel from the left (an opaque run is
// moved as one block).
#pragma once

#include "common/Helpers.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) && !defined(VAXO_PORTABLE_BLEND)
#define VAXO_SSE2_BLEND 1
#else
#define VAXO_SSE2_BLEND 0
#endif

namespace Vaxo
{

// The colour of a tinted straight copy, each channel already within 0..255. grey: red,
// green and blue are equal, which has a rounding of its own.
struct BlendTint
{
    uint32_t alpha, red, green, blue;
    bool grey;
};

// A rectangle of source pixels and the destination pixels it lands on, both width x
// height, each with its own row stride (in pixels). Fills leave src unused.
struct BlendRect
{
    const uint32_t* src;
    size_t srcStride;
    uint32_t* dest;
    size_t destStride;
    int32_t width;
    int32_t height;
};

// Both builds have the same loops (static, so that a caller can take the build as a
// template argument):
// - OverOpaqueRuns: onto an opaque destination by the source's run-length alpha bytes
//   (laid out as the source pixels): transparent runs skipped, opaque runs copied,
//   translucent pixels mixed with their own alpha a as BltMix(s, d, a, 256 - a, 255);
// - OverOpaque: the same rule decided pixel by pixel, without run bytes;
// - Weighted: BltWeighted of every source pixel whose alpha is not 0 (a white copy onto
//   a destination not known to be opaque);
// - Tinted: a copy tinted by a colour other than white;
// - Fill: FillBlend of colour c (alpha 1 to 254) over every destination pixel.
struct PortableBlend
{
    static void OverOpaqueRuns(const BlendRect& r, const uint8_t* runs);
    static void OverOpaque(const BlendRect& r);
    static void Weighted(const BlendRect& r);
    static void Tinted(const BlendRect& r, const BlendTint& tint);
    static void Fill(const BlendRect& r, uint32_t c);
};

#if VAXO_SSE2_BLEND
struct Sse2Blend
{
    static void OverOpaqueRuns(const BlendRect& r, const uint8_t* runs);
    static void OverOpaque(const BlendRect& r);
    static void Weighted(const BlendRect& r);
    static void Tinted(const BlendRect& r, const BlendTint& tint);
    static void Fill(const BlendRect& r, uint32_t c);
};
using FastBlend = Sse2Blend;
#else
using FastBlend = PortableBlend;
#endif

} // namespace Vaxo
