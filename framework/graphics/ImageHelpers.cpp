#include "graphics/ImageHelpers.h"

#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"

#include <algorithm>
#include <cstring>

namespace Vaxo
{

namespace
{

uint32_t HSLShiftPixel(uint32_t pixel, int32_t hueShift, int32_t satShift, int32_t lightShift)
{
    const int32_t r = (pixel >> 16) & 0xFF;
    const int32_t g = (pixel >> 8) & 0xFF;
    const int32_t b = pixel & 0xFF;
    const int32_t maxC = std::max(r, std::max(g, b));
    const int32_t minC = std::min(r, std::min(g, b));

    int32_t hue = 0;
    int32_t sat = 0;
    if (maxC != minC)
    {
        const int32_t d = maxC - minC;
        int32_t s = maxC + minC;
        if ((maxC + minC) / 2 > 128)
            s = 512 - maxC - minC;
        sat = (d * 256) / s;
        int32_t h6; // hue on a 0-1535 scale
        if (maxC == r)
            h6 = (g != minC) ? 256 - ((r - g) * 256) / d : ((r - b) * 256) / d + 1280;
        else if (maxC == b)
            h6 = (r != minC) ? 1280 - ((b - r) * 256) / d : ((b - g) * 256) / d + 768;
        else
            h6 = (b != minC) ? 768 - ((g - b) * 256) / d : ((g - r) * 256) / d + 256;
        hue = h6 / 6;
    }

    int32_t h2 = hue + hueShift;
    if (h2 > 255)
        h2 -= 256;
    const int32_t s2 = std::clamp(sat + satShift, 0, 255);
    int32_t l2 = (maxC + minC) / 2 + lightShift;

    int32_t m2;
    int32_t doubled;
    if (l2 < 0)
    {
        m2 = 0;
        doubled = 0;
    }
    else if (l2 > 255)
    {
        l2 = 255;
        doubled = 510;
        m2 = l2 + s2 - (l2 * s2) / 255;
    }
    else if (l2 <= 127)
    {
        doubled = 2 * l2;
        m2 = ((s2 + 255) * l2) / 255;
    }
    else
    {
        doubled = 2 * l2;
        m2 = l2 + s2 - (l2 * s2) / 255;
    }
    const int32_t m1 = doubled - m2;

    const int32_t sector = (h2 * 6) / 256;
    const int32_t f = (h2 - (sector * 256) / 6) * 6;
    const int32_t rising = std::min(255, static_cast<int32_t>(m1 + (m2 - m1) * f / 255.0));
    const int32_t falling = std::max(0, static_cast<int32_t>(m2 - (m2 - m1) * f / 255.0));

    int32_t nr, ng, nb;
    switch (sector)
    {
    case 0:
        nr = m2, ng = rising, nb = m1;
        break;
    case 1:
        nr = falling, ng = m2, nb = m1;
        break;
    case 2:
        nr = m1, ng = m2, nb = rising;
        break;
    case 3:
        nr = m1, ng = falling, nb = m2;
        break;
    case 4:
        nr = rising, ng = m1, nb = m2;
        break;
    default:
        nr = m2, ng = m1, nb = falling;
        break;
    }
    return (pixel & 0xFF000000u) | static_cast<uint32_t>(nr) << 16 | static_cast<uint32_t>(ng) << 8 |
           static_cast<uint32_t>(nb);
}

} // namespace

void HSLShift(const uint32_t* src, uint32_t* dst, int32_t count, int32_t hueShift, int32_t satShift,
              int32_t lightShift)
{
    // Shifts outside -256..255 would leave the hue out of every sector.
    hueShift %= 256;
    if (hueShift < 0)
        hueShift += 256;
    // Keep the sums in range; anything beyond +-510 saturates the same way.
    satShift = std::clamp(satShift, -1024, 1024);
    lightShift = std::clamp(lightShift, -1024, 1024);
    for (int32_t i = 0; i < count; ++i)
        dst[i] = HSLShiftPixel(src[i], hueShift, satShift, lightShift);
}

MemoryImage* HSLShiftImage(Image* img, int32_t hueShift, int32_t satShift, int32_t lightShift)
{
    MemoryImage* source = dynamic_cast<MemoryImage*>(img);
    if (source == nullptr)
        return nullptr;
    MemoryImage* result = new MemoryImage();
    result->Create(source->GetWidth(), source->GetHeight());
    const size_t count = static_cast<size_t>(result->GetWidth()) * static_cast<size_t>(result->GetHeight());
    if (source->mPaletteIndices != nullptr && source->mPalette != nullptr)
    {
        result->mPaletteIndices = new uint8_t[count];
        std::memcpy(result->mPaletteIndices, source->mPaletteIndices, count);
        result->mPalette = new uint32_t[256]();
        // Only the entries in use hold colours.
        result->mPaletteCount = std::clamp(source->mPaletteCount, 0, 256);
        HSLShift(source->mPalette, result->mPalette, result->mPaletteCount, hueShift, satShift, lightShift);
        return result;
    }
    const uint32_t* bits = source->GetBits();
    if (bits == nullptr || result->GetWidth() != source->GetWidth() ||
        result->GetHeight() != source->GetHeight())
        return result;
    result->mBits = new uint32_t[count + 1];
    result->mBits[count] = MemoryImage::kGuardWord;
    HSLShift(bits, result->mBits, static_cast<int32_t>(count), hueShift, satShift, lightShift);
    return result;
}

int32_t LinearCombine(int32_t t, int32_t a, int32_t b, int32_t n)
{
    if (t < 0)
        return a;
    if (t >= n)
        return b;
    // 64-bit so that wide ranges cannot overflow; n > t >= 0 here.
    const int64_t v = (int64_t(t) * (int64_t(b) - a) + int64_t(n) * a) / n;
    return static_cast<int32_t>(v);
}

int32_t LinearRamp(int32_t t, int32_t a, int32_t b, int32_t c, int32_t n1, int32_t n2)
{
    if (t < 0)
        return a;
    if (t < n1)
        return static_cast<int32_t>((int64_t(t) * (int64_t(b) - a) + int64_t(n1) * a) / n1);
    const int64_t u = int64_t(t) - n1;
    if (u >= n2)
        return c;
    return static_cast<int32_t>((u * (int64_t(c) - b) + int64_t(n2) * b) / n2);
}

float LinearRampF(int32_t t, float a, float b, float c, int32_t n1, int32_t n2)
{
    if (t < 0)
        return a;
    if (t < n1)
        return ((b - a) * static_cast<float>(t) + a * static_cast<float>(n1)) / static_cast<float>(n1);
    const int64_t u = int64_t(t) - n1;
    if (u >= n2)
        return c;
    return ((c - b) * static_cast<float>(u) + b * static_cast<float>(n2)) / static_cast<float>(n2);
}

bool Quantize8Bit(const uint32_t* src, int32_t width, int32_t height, uint8_t* indices, uint32_t* palette,
                  int32_t* colorCount)
{
    if (colorCount != nullptr)
        *colorCount = 0;
    if (width <= 0 || height <= 0)
        return true;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);

    // Colours seen, ascending as unsigned values, with the palette index of each.
    uint32_t sortedColors[256];
    uint8_t sortedIndex[256];
    int32_t count = 1;
    palette[0] = src[0];
    indices[0] = 0;
    sortedColors[0] = src[0];
    sortedIndex[0] = 0;

    for (size_t i = 1; i < n; ++i)
    {
        const uint32_t c = src[i];
        int32_t lo = 0;
        int32_t hi = count;
        while (lo < hi)
        {
            const int32_t mid = (lo + hi) / 2;
            if (sortedColors[mid] < c)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < count && sortedColors[lo] == c)
        {
            indices[i] = sortedIndex[lo];
            continue;
        }
        if (count == 256)
        {
            if (colorCount != nullptr)
                *colorCount = count;
            return false;
        }
        std::memmove(sortedColors + lo + 1, sortedColors + lo, (count - lo) * sizeof(uint32_t));
        std::memmove(sortedIndex + lo + 1, sortedIndex + lo, static_cast<size_t>(count - lo));
        sortedColors[lo] = c;
        sortedIndex[lo] = static_cast<uint8_t>(count);
        palette[count] = c;
        indices[i] = static_cast<uint8_t>(count);
        ++count;
    }
    if (colorCount != nullptr)
        *colorCount = count;
    return true;
}

int32_t GetPow2Index(int32_t n)
{
    const uint32_t u = static_cast<uint32_t>(n);
    if (u < 2 || (u & (u - 1)) != 0)
        return 0;
    int32_t k = 0;
    while ((u >> k) != 1)
        ++k;
    return k;
}

void FillRectWithOutline(Graphics* g, int32_t x, int32_t y, int32_t width, int32_t height,
                         int32_t outlineColor)
{
    g->FillRect(x, y, width, height);
    const Color saved = g->GetColor();
    g->SetColor(Color(outlineColor));
    g->DrawRect(x, y, width, height);
    g->SetColor(saved);
}

uint32_t GetPixelFromImage(Image* img, int32_t x, int32_t y)
{
    MemoryImage* image = dynamic_cast<MemoryImage*>(img);
    if (image == nullptr || x < 0 || y < 0 || x >= image->GetWidth() || y >= image->GetHeight())
        return 0;
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(image->GetWidth()) + static_cast<size_t>(x);
    if (image->mPaletteIndices != nullptr && image->mPalette != nullptr)
        return image->mPalette[image->mPaletteIndices[i]];
    const uint32_t* bits = image->GetBits();
    return bits != nullptr ? bits[i] : 0;
}

} // namespace Vaxo
