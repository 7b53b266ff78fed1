// Image utilities of the application: tints, mirroring, hue rotation, HSL conversion,
// cross-fades and cache pre-building on 32-bit ARGB memory images.
#include "app/VaxoAppBase.h"

#include "graphics/Color.h"
#include "graphics/ImageHelpers.h"
#include "graphics/MemoryImage.h"

#include <algorithm>
#include <cstring>

namespace Vaxo
{

namespace
{

constexpr uint32_t kAlphaMask = 0xFF000000u;

// Channel positions in an ARGB word.
constexpr int kRedShift = 16;
constexpr int kGreenShift = 8;
constexpr int kBlueShift = 0;
constexpr int kAlphaShift = 24;

int32_t Clamp255(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, 0, 255));
}

// The shift form is the fast one; a component of 256 or more asks for the exact
// division, which can brighten. Negative components darken to 0 rather than spill
// into the neighbouring channels.
int32_t TintChannel(uint32_t word, int shift, int32_t k, bool exact)
{
    const int64_t c = (word >> shift) & 0xFF;
    return Clamp255(exact ? c * k / 255 : (c * k) >> 8);
}

void TintWords(const uint32_t* source, uint32_t* dest, size_t count, const Color& color)
{
    const bool exact = color.mRed >= 256 || color.mGreen >= 256 || color.mBlue >= 256 || color.mAlpha >= 256;
    for (size_t i = 0; i < count; i++)
    {
        const uint32_t w = source[i];
        dest[i] = uint32_t(TintChannel(w, kAlphaShift, color.mAlpha, exact)) << kAlphaShift |
                  uint32_t(TintChannel(w, kRedShift, color.mRed, exact)) << kRedShift |
                  uint32_t(TintChannel(w, kGreenShift, color.mGreen, exact)) << kGreenShift |
                  uint32_t(TintChannel(w, kBlueShift, color.mBlue, exact)) << kBlueShift;
    }
}

struct HSL
{
    int32_t mHue;        // 0-256 (256 for reds whose green and blue are equal)
    int32_t mSaturation; // 0-256
    int32_t mLightness;  // 0-255
};

// Channels outside 0-255 are clamped: they would make the divisors below zero.
HSL ToHSL(int32_t r, int32_t g, int32_t b)
{
    r = Clamp255(r);
    g = Clamp255(g);
    b = Clamp255(b);
    const int32_t max = std::max({r, g, b});
    const int32_t min = std::min({r, g, b});
    const int32_t d = max - min;
    HSL hsl{0, 0, (max + min) / 2};
    if (d == 0)
        return hsl;
    const int32_t q = hsl.mLightness > 128 ? 512 - max - min : max + min;
    hsl.mSaturation = (d * 256) / q;
    int32_t h6; // hue in 1/256 sextants
    if (max == r)
        h6 = min != g ? 256 - ((max - g) * 256) / d : 1280 + ((max - b) * 256) / d;
    else if (max != g)
        h6 = min != r ? 1280 - ((max - r) * 256) / d : 768 + ((max - g) * 256) / d;
    else
        h6 = min != b ? 768 - ((max - b) * 256) / d : 256 + ((max - r) * 256) / d;
    hsl.mHue = h6 / 6;
    return hsl;
}

// Opaque ARGB word. Saturation and lightness are clamped to 0-255 and every channel
// to 0-255, so a hue outside the circle cannot write into a neighbouring channel.
uint32_t ToRGB(int32_t h, int32_t s, int32_t l)
{
    s = Clamp255(s);
    l = Clamp255(l);
    const int32_t v = l <= 127 ? l * (s + 255) / 255 : l + s - (l * s) / 255;
    const int32_t m = 2 * l - v;
    const int64_t sextant = (int64_t(h) * 6) / 256;
    const int64_t f = (h - (sextant * 256) / 6) * 6;
    const int32_t rise = static_cast<int32_t>(std::clamp(m + double(v - m) * double(f) / 255.0, 0.0, 255.0));
    const int32_t fall = static_cast<int32_t>(std::clamp(v - double(v - m) * double(f) / 255.0, 0.0, 255.0));
    // Red, green and blue of each sextant, picked from {v, rise, fall, m}; hues off
    // the circle take the first.
    static constexpr uint8_t kPick[6][3] = {{0, 1, 3}, {2, 0, 3}, {3, 0, 1}, {3, 2, 0}, {1, 3, 0}, {0, 3, 2}};
    const int32_t values[4] = {v, rise, fall, m};
    const uint8_t* pick = kPick[sextant >= 0 && sextant < 6 ? sextant : 0];
    const int32_t rgb[3] = {values[pick[0]], values[pick[1]], values[pick[2]]};
    return kAlphaMask | uint32_t(rgb[0]) << kRedShift | uint32_t(rgb[1]) << kGreenShift |
           uint32_t(rgb[2]) << kBlueShift;
}

// The pixels of a memory image, or null when it is none or holds none.
MemoryImage* WritableImage(Image* image, uint32_t*& bits)
{
    MemoryImage* memoryImage = dynamic_cast<MemoryImage*>(image);
    bits = memoryImage != nullptr ? memoryImage->GetBits() : nullptr;
    return bits != nullptr ? memoryImage : nullptr;
}

bool LiesInside(const TRect<int>& rect, const MemoryImage* image)
{
    return rect.mX >= 0 && rect.mY >= 0 && rect.mWidth >= 0 && rect.mHeight >= 0 &&
           int64_t(rect.mX) + rect.mWidth <= image->mWidth &&
           int64_t(rect.mY) + rect.mHeight <= image->mHeight;
}

uint32_t Blend(uint32_t p1, uint32_t p2, uint32_t f)
{
    const uint32_t g = 256 - f;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= ((g * ((p1 >> shift) & 0xFF) + f * ((p2 >> shift) & 0xFF)) >> 8) << shift;
    return out;
}

} // namespace

void VaxoAppBase::ColorizeImage(Image* image, const Color& color)
{
    MemoryImage* memoryImage = dynamic_cast<MemoryImage*>(image);
    if (memoryImage == nullptr)
        return;
    if (memoryImage->mPalette != nullptr && memoryImage->mPaletteIndices != nullptr)
    {
        TintWords(memoryImage->mPalette, memoryImage->mPalette, 256, color);
    }
    else
    {
        uint32_t* bits = memoryImage->GetBits();
        if (bits == nullptr)
            return;
        TintWords(bits, bits, memoryImage->PixelCount(), color);
    }
    memoryImage->BitsChanged();
}

MemoryImage* VaxoAppBase::CreateColorizedImage(Image* image, const Color& color)
{
    MemoryImage* source = dynamic_cast<MemoryImage*>(image);
    if (source == nullptr)
        return nullptr;
    MemoryImage* result = CreateNativeImage();
    result->Create(source->mWidth, source->mHeight);
    const size_t count = source->PixelCount();
    if (result->PixelCount() != count)
        return result;
    if (source->mPalette != nullptr && source->mPaletteIndices != nullptr)
    {
        result->mPaletteIndices = new uint8_t[count == 0 ? 1 : count];
        std::memcpy(result->mPaletteIndices, source->mPaletteIndices, count);
        result->mPalette = new uint32_t[256];
        TintWords(source->mPalette, result->mPalette, 256, color);
        result->mPaletteCount = source->mPaletteCount;
    }
    else
    {
        const uint32_t* from = source->GetBits();
        uint32_t* to = result->GetBits();
        if (from != nullptr && to != nullptr)
            TintWords(from, to, count, color);
    }
    result->BitsChanged();
    return result;
}

void VaxoAppBase::MirrorImage(Image* image)
{
    uint32_t* bits;
    MemoryImage* memoryImage = WritableImage(image, bits);
    if (memoryImage == nullptr)
        return;
    const size_t width = size_t(memoryImage->mWidth);
    for (int32_t y = 0; y < memoryImage->mHeight; y++)
        std::reverse(bits + size_t(y) * width, bits + size_t(y + 1) * width);
    memoryImage->BitsChanged();
}

void VaxoAppBase::FlipImage(Image* image)
{
    uint32_t* bits;
    MemoryImage* memoryImage = WritableImage(image, bits);
    if (memoryImage == nullptr)
        return;
    const size_t width = size_t(memoryImage->mWidth);
    const int32_t height = memoryImage->mHeight;
    for (int32_t y = 0; y < height / 2; y++)
    {
        uint32_t* row = bits + size_t(y) * width;
        std::swap_ranges(row, row + width, bits + size_t(height - 1 - y) * width);
    }
    memoryImage->BitsChanged();
}

void VaxoAppBase::RotateImageHue(MemoryImage* image, int offset)
{
    uint32_t* bits;
    if (WritableImage(image, bits) == nullptr)
        return;
    // HSLShift takes the offset modulo 256: a larger one would leave hues off the circle.
    HSLShift(bits, bits, static_cast<int32_t>(image->PixelCount()), offset, 0, 0);
    image->BitsChanged();
}

uint32_t VaxoAppBase::RGBToHSL(int r, int g, int b)
{
    const HSL hsl = ToHSL(r, g, b);
    // OR, not fields: a hue or saturation of 256 sets the low bit of the next field.
    return kAlphaMask | uint32_t(hsl.mLightness) << 16 | uint32_t(hsl.mSaturation) << 8 | uint32_t(hsl.mHue);
}

uint32_t VaxoAppBase::HSLToRGB(int h, int s, int l)
{
    return ToRGB(h, s, l);
}

void VaxoAppBase::RGBToHSL(const uint32_t* source, uint32_t* dest, int count)
{
    if (source == nullptr || dest == nullptr)
        return;
    for (int i = 0; i < count; i++)
    {
        const uint32_t w = source[i];
        const uint32_t hsl =
            RGBToHSL((w >> kRedShift) & 0xFF, (w >> kGreenShift) & 0xFF, (w >> kBlueShift) & 0xFF);
        dest[i] = (w & kAlphaMask) | (hsl & ~kAlphaMask);
    }
}

void VaxoAppBase::HSLToRGB(const uint32_t* source, uint32_t* dest, int count)
{
    if (source == nullptr || dest == nullptr)
        return;
    for (int i = 0; i < count; i++)
    {
        const uint32_t w = source[i];
        const uint32_t rgb = ToRGB(w & 0xFF, (w >> 8) & 0xFF, (w >> 16) & 0xFF);
        dest[i] = (w & kAlphaMask) | (rgb & ~kAlphaMask);
    }
}

MemoryImage* VaxoAppBase::CreateCrossfadeImage(Image* image1, const TRect<int>& rect1, Image* image2,
                                               const TRect<int>& rect2, double fadeFactor)
{
    MemoryImage* source1 = dynamic_cast<MemoryImage*>(image1);
    MemoryImage* source2 = dynamic_cast<MemoryImage*>(image2);
    if (source1 == nullptr || source2 == nullptr || !LiesInside(rect1, source1) ||
        !LiesInside(rect2, source2))
        return nullptr;
    // The loop runs over rect1's size: a smaller rect2 would read outside it.
    if (rect2.mWidth < rect1.mWidth || rect2.mHeight < rect1.mHeight)
        return nullptr;
    const uint32_t* bits1 = source1->GetBits();
    const uint32_t* bits2 = source2->GetBits();
    if (bits1 == nullptr || bits2 == nullptr)
        return nullptr;
    MemoryImage* result = CreateNativeImage();
    result->Create(rect1.mWidth, rect1.mHeight);
    uint32_t* out = result->GetBits();
    if (out == nullptr || result->mWidth != rect1.mWidth || result->mHeight != rect1.mHeight)
    {
        delete result;
        return nullptr;
    }
    // Weights beyond 0-256 would push channels out of their byte (NaN counts as 0).
    const double fade = fadeFactor > 0.0 ? std::min(fadeFactor, 1.0) : 0.0;
    const uint32_t f = static_cast<uint32_t>(fade * 256.0);
    for (int32_t y = 0; y < rect1.mHeight; y++)
    {
        const uint32_t* row1 = bits1 + size_t(rect1.mY + y) * size_t(source1->mWidth) + size_t(rect1.mX);
        const uint32_t* row2 = bits2 + size_t(rect2.mY + y) * size_t(source2->mWidth) + size_t(rect2.mX);
        for (int32_t x = 0; x < rect1.mWidth; x++)
            *out++ = Blend(row1[x], row2[x], f);
    }
    result->BitsChanged();
    return result;
}

void VaxoAppBase::PrecacheAdditive(MemoryImage* image)
{
    image->GetRLAdditiveData(mDisplay);
}

void VaxoAppBase::PrecacheAlpha(MemoryImage* image)
{
    image->GetRLAlphaData();
}

void VaxoAppBase::PrecacheNative(MemoryImage* image)
{
    image->GetNativeAlphaData(mDisplay);
}

} // namespace Vaxo
