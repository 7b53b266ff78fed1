// Internal to the graphics folder: the row loops of the software image's hottest blends
// (straight copies, translucent fills, the font's glyph copy).
//
// Every loop gives exactly the pixels of the per-pixel rules of MemoryImagePixels.h, in
// two builds: PortableBlend, plain C++ for any processor, and Sse2Blend, four pixels at
// a time, for x86-64 (where SSE2 is always there, so nothing is chosen at run time).
// FastBlend names the build the drawing code uses; compiling with VAXO_PORTABLE_BLEND
// defined makes it the portable one. Source and destination rows must not overlap,
// except in the portable loops, which go pixel by pixel from the left.
#pragma once

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

// Both builds have the same loops (static, so that a loop can take the build as a
// template argument):
// - OverOpaqueRuns: onto an opaque destination by the source's run-length alpha bytes:
//   transparent runs skipped, opaque runs copied, translucent pixels mixed with their own
//   alpha a as BltMix(s, d, a, 256 - a, 255);
// - OverOpaqueRow: the same rule decided pixel by pixel, without run bytes;
// - WeightedRow: BltWeighted of every source pixel whose alpha is not 0 (a white copy
//   onto a destination not known to be opaque);
// - TintedRow: a copy tinted by a colour other than white;
// - FillRow: FillBlend of colour c (alpha 1 to 254) over every pixel.
struct PortableBlend
{
    static void OverOpaqueRuns(const uint32_t* s, const uint8_t* runs, uint32_t* d, int32_t n);
    static void OverOpaqueRow(const uint32_t* s, uint32_t* d, int32_t n);
    static void WeightedRow(const uint32_t* s, uint32_t* d, int32_t n);
    static void TintedRow(const uint32_t* s, uint32_t* d, int32_t n, const BlendTint& tint);
    static void FillRow(uint32_t* d, int32_t n, uint32_t c);
};

#if VAXO_SSE2_BLEND
struct Sse2Blend
{
    static void OverOpaqueRuns(const uint32_t* s, const uint8_t* runs, uint32_t* d, int32_t n);
    static void OverOpaqueRow(const uint32_t* s, uint32_t* d, int32_t n);
    static void WeightedRow(const uint32_t* s, uint32_t* d, int32_t n);
    static void TintedRow(const uint32_t* s, uint32_t* d, int32_t n, const BlendTint& tint);
    static void FillRow(uint32_t* d, int32_t n, uint32_t c);
};
using FastBlend = Sse2Blend;
#else
using FastBlend = PortableBlend;
#endif

} // namespace Vaxo
