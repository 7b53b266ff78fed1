// Helpers shared by the renderer tests: texture limits as an OpenGL start-up leaves them,
// and images filled with a recognisable pattern.
#pragma once

#include "graphics/MemoryImage.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

namespace Vaxo
{

// Limits 1024, minimum 1, no aspect limit, as Init3D sets them; restored on destruction.
class ScopedTextureLimits
{
public:
    ScopedTextureLimits(int32_t maxSize = 1024, int32_t minSize = 1, int32_t aspect = 65536)
    {
        TextureData::mMaxTextureWidth = TextureData::mMaxTextureHeight = maxSize;
        TextureData::mMinTextureWidth = TextureData::mMinTextureHeight = minSize;
        TextureData::mMaxTextureAspectRatio = aspect;
    }
    ~ScopedTextureLimits()
    {
        TextureData::ResetTextureLimits();
        ResetGLStateForTest();
    }
    ScopedTextureLimits(const ScopedTextureLimits&) = delete;
    ScopedTextureLimits& operator=(const ScopedTextureLimits&) = delete;
};

// The pixel of the pattern at (x, y): opaque, each position its own colour.
inline uint32_t PatternPixel(int32_t x, int32_t y)
{
    return 0xFF000000u | (uint32_t(x & 0xFF) << 16) | (uint32_t(y & 0xFF) << 8) |
           uint32_t((x * 7 + y * 13) & 0xFF);
}

// Empty when the w x h rectangle of pixels (rows stride words apart, w when 0) holds the
// pattern; else where and how it first differs.
inline std::string PatternMismatch(const uint32_t* pixels, int32_t w, int32_t h, int32_t stride = 0)
{
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (pixels[size_t(y) * size_t(stride ? stride : w) + size_t(x)] != PatternPixel(x, y))
            {
                std::ostringstream s;
                s << "at " << x << "," << y << ": 0x" << std::hex
                  << pixels[size_t(y) * size_t(stride ? stride : w) + size_t(x)] << " instead of 0x"
                  << PatternPixel(x, y);
                return s.str();
            }
    return "";
}

// A w x h image of the pattern, registered with app.
inline std::unique_ptr<MemoryImage> PatternImage(GraphicsApp* app, int32_t w, int32_t h)
{
    auto image = std::make_unique<MemoryImage>(app);
    image->Create(w, h);
    uint32_t* bits = image->GetBits();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            bits[size_t(y) * size_t(w) + size_t(x)] = PatternPixel(x, y);
    image->BitsChanged();
    return image;
}

} // namespace Vaxo
