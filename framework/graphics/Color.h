// Color: the four-channel colour that every drawing call carries.
//
// Channels are plain signed ints, nominally 0-255 and never clamped here: the tint code
// reads a channel of 256 or more as a request for its exact path. Also VaxoRGBA, the
// byte layout of one 0xAARRGGBB pixel word on a little-endian machine.
#pragma once

#include <cstdint>

namespace Vaxo
{

static_assert(sizeof(int) == 4, "pixel words and channel values assume a 32-bit int");

// One pixel as bytes: read as a little-endian 32-bit word it is 0xAARRGGBB.
struct VaxoRGBA
{
    uint8_t b;
    uint8_t g;
    uint8_t r;
    uint8_t a;
};

class Color
{
public:
    int32_t mRed;
    int32_t mGreen;
    int32_t mBlue;
    int32_t mAlpha;

    // (0, 0, 0, 255) and (255, 255, 255, 255); constant-initialised, so usable from any
    // static constructor.
    static const Color Black;
    static const Color White;

public:
    constexpr Color() : mRed(0), mGreen(0), mBlue(0), mAlpha(255) {}
    constexpr Color(int r, int g, int b) : mRed(r), mGreen(g), mBlue(b), mAlpha(255) {}
    constexpr Color(int r, int g, int b, int a) : mRed(r), mGreen(g), mBlue(b), mAlpha(a) {}
    // 0xAARRGGBB; a top byte of 0 means opaque, so 0xRRGGBB literals need no alpha.
    constexpr Color(int argb)
        : mRed((argb >> 16) & 0xFF), mGreen((argb >> 8) & 0xFF), mBlue(argb & 0xFF),
          mAlpha(((argb >> 24) & 0xFF) == 0 ? 255 : ((argb >> 24) & 0xFF))
    {
    }
    // 0xRRGGBB with an explicit alpha (0 stays 0).
    constexpr Color(int rgb, int alpha)
        : mRed((rgb >> 16) & 0xFF), mGreen((rgb >> 8) & 0xFF), mBlue(rgb & 0xFF), mAlpha(alpha)
    {
    }
    constexpr Color(const VaxoRGBA& rgba) : mRed(rgba.r), mGreen(rgba.g), mBlue(rgba.b), mAlpha(rgba.a) {}
    // Red, green, blue from elements 0, 1, 2; opaque.
    constexpr Color(const unsigned char* rgb) : mRed(rgb[0]), mGreen(rgb[1]), mBlue(rgb[2]), mAlpha(255) {}
    constexpr Color(const int* rgb) : mRed(rgb[0]), mGreen(rgb[1]), mBlue(rgb[2]), mAlpha(255) {}

    int GetRed() const { return mRed; }
    int GetGreen() const { return mGreen; }
    int GetBlue() const { return mBlue; }
    int GetAlpha() const { return mAlpha; }

    // 0 red, 1 green, 2 blue, 3 alpha. Any other index reaches a spare int whose
    // writes are lost, so a bad index never writes outside the colour.
    int& operator[](int index);
    int operator[](int index) const;

    // alpha << 24 | red << 16 | green << 8 | blue, unmasked: channels outside 0-255
    // spill into their neighbours, as the stored colour words have always done.
    int ToInt() const;
    // Each channel truncated to its low byte.
    VaxoRGBA ToRGBA() const;

    bool operator==(const Color& other) const
    {
        return mRed == other.mRed && mGreen == other.mGreen && mBlue == other.mBlue && mAlpha == other.mAlpha;
    }
    bool operator!=(const Color& other) const { return !(*this == other); }
};

} // namespace Vaxo
