// Helpers for the software-image tests, fuzz targets and benchmarks.
//
// ExactImage makes MemoryImages whose pixel array ends exactly at the last pixel (no
// guard word), so that AddressSanitizer reports even a one-word overrun that the guard
// word would otherwise absorb. TestDisplay is a display with a pixel format filled in by
// hand (888, 565, 555) and no screen.
#pragma once

#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vaxo
{

// A width x height image (not registered with any application unless app is given)
// whose pixels are a fresh exact-size array filled with fill.
inline std::unique_ptr<MemoryImage> ExactImage(int width, int height, uint32_t fill = 0,
                                               GraphicsApp* app = nullptr)
{
    auto image = std::make_unique<MemoryImage>(app);
    image->Create(width, height);
    const size_t count = size_t(image->GetWidth()) * size_t(image->GetHeight());
    image->mBits = new uint32_t[count == 0 ? 1 : count];
    for (size_t i = 0; i < count; ++i)
        image->mBits[i] = fill;
    return image;
}

// The same with the given pixels (row-major, width x height of them).
inline std::unique_ptr<MemoryImage> ExactImage(int width, int height, const std::vector<uint32_t>& pixels,
                                               GraphicsApp* app = nullptr)
{
    auto image = ExactImage(width, height, 0u, app);
    for (size_t i = 0; i < pixels.size() && i < size_t(width) * size_t(height); ++i)
        image->mBits[i] = pixels[i];
    return image;
}

// A width x height image of fill (registered with no application), shared as TestApp
// serves images.
inline std::shared_ptr<MemoryImage> FilledImage(int width, int height, uint32_t fill)
{
    auto image = std::make_shared<MemoryImage>(nullptr);
    image->Create(width, height);
    std::fill_n(image->GetBits(), size_t(width) * size_t(height), fill);
    image->BitsChanged();
    return image;
}

// Replaces the image's pixel array by an exact-size copy of it (after the image made
// its own array, with the guard word, for instance by GetBits or SetBits).
inline void MakeExact(MemoryImage& image)
{
    uint32_t* bits = image.GetBits();
    const size_t count = image.PixelCount();
    uint32_t* exact = new uint32_t[count == 0 ? 1 : count];
    for (size_t i = 0; i < count; ++i)
        exact[i] = bits[i];
    delete[] image.mBits;
    image.mBits = exact;
}

// The pixel formats the tests fill in by hand.
enum class TestFormat
{
    k888,
    k565,
    k555
};

inline const char* FormatName(TestFormat f)
{
    return f == TestFormat::k888 ? "888" : (f == TestFormat::k565 ? "565" : "555");
}

// Gives d a pixel format: bits per pixel, then masks, channel bits and shifts (red, green, blue).
inline void SetDisplayFormat(NativeDisplay& d, int bpp, uint32_t r, uint32_t g, uint32_t b, int rBits,
                             int gBits, int bBits, int rShift, int gShift, int bShift)
{
    d.mBitsPerPixel = bpp;
    d.mRedMask = r;
    d.mGreenMask = g;
    d.mBlueMask = b;
    d.mRedBits = rBits;
    d.mGreenBits = gBits;
    d.mBlueBits = bBits;
    d.mRedShift = rShift;
    d.mGreenShift = gShift;
    d.mBlueShift = bShift;
}

inline void SetDisplayFormat(NativeDisplay& d, TestFormat format)
{
    if (format == TestFormat::k888)
        SetDisplayFormat(d, 32, 0xFF0000, 0xFF00, 0xFF, 8, 8, 8, 16, 8, 0);
    else if (format == TestFormat::k565)
        SetDisplayFormat(d, 16, 0xF800, 0x07E0, 0x001F, 5, 6, 5, 11, 5, 0);
    else
        SetDisplayFormat(d, 16, 0x7C00, 0x03E0, 0x001F, 5, 5, 5, 10, 5, 0);
}

class TestDisplay : public NativeDisplay
{
public:
    explicit TestDisplay(GraphicsApp* app = nullptr, TestFormat format = TestFormat::k888)
        : NativeDisplay(app)
    {
        SetDisplayFormat(*this, format);
    }

    Image* GetScreenImage() override { return nullptr; }
};

} // namespace Vaxo
