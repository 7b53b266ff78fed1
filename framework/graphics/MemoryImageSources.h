// Internal to framework/graphics.
// What the MemoryImage copies share: readers of a source image in either of its forms
// (palette or 32-bit pixels), which the copy loops are templates over, and an image's
// bounds as a rectangle.
#pragma once

#include "graphics/MemoryImage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Vaxo
{

// Source pixels from the 32-bit form.
struct BitsReader
{
    const uint32_t* bits;
    uint32_t operator[](size_t i) const { return bits[i]; }
    void CopyRun(uint32_t* out, size_t from, size_t n) const
    {
        std::memcpy(out, bits + from, n * sizeof(uint32_t));
    }
};

// Source pixels from the palette form.
struct PaletteReader
{
    const uint8_t* indices;
    const uint32_t* palette;
    uint32_t operator[](size_t i) const { return palette[indices[i]]; }
    void CopyRun(uint32_t* out, size_t from, size_t n) const
    {
        for (size_t j = 0; j < n; ++j)
            out[j] = palette[indices[from + j]];
    }
};

// Calls f with the reader of the source's current form; false when it has no pixels.
template <class F> bool WithReader(MemoryImage* src, F&& f)
{
    if (src->mPalette != nullptr && src->mPaletteIndices != nullptr)
    {
        f(PaletteReader{src->mPaletteIndices, src->mPalette});
        return true;
    }
    const uint32_t* bits = src->GetBits();
    if (bits == nullptr)
        return false;
    f(BitsReader{bits});
    return true;
}

inline TRect<int> Bounds(const Image* image)
{
    return TRect<int>(0, 0, image->GetWidth(), image->GetHeight());
}

inline TRect<double> ToDouble(const TRect<int>& r)
{
    return TRect<double>(r.mX, r.mY, r.mWidth, r.mHeight);
}

} // namespace Vaxo
