#include "graphics/Color.h"

namespace Vaxo
{

const Color Color::Black(0, 0, 0, 255);
const Color Color::White(255, 255, 255, 255);

namespace
{

// The channel a subscript names (0 red to 3 alpha), or null for any other index.
int32_t Color::*Channel(int index)
{
    static int32_t Color::*const kChannels[] = {&Color::mRed, &Color::mGreen, &Color::mBlue, &Color::mAlpha};
    return index >= 0 && index < 4 ? kChannels[index] : nullptr;
}

} // namespace

int& Color::operator[](int index)
{
    if (int32_t Color::*channel = Channel(index))
        return this->*channel;
    static int spare = 0;
    return spare;
}

int Color::operator[](int index) const
{
    int32_t Color::*channel = Channel(index);
    return channel != nullptr ? this->*channel : 0;
}

int Color::ToInt() const
{
    // Shifted as unsigned words: a negative or oversized channel must not be undefined.
    uint32_t word = (static_cast<uint32_t>(mAlpha) << 24) | (static_cast<uint32_t>(mRed) << 16) |
                    (static_cast<uint32_t>(mGreen) << 8) | static_cast<uint32_t>(mBlue);
    return static_cast<int>(word);
}

VaxoRGBA Color::ToRGBA() const
{
    VaxoRGBA rgba;
    rgba.r = static_cast<uint8_t>(mRed);
    rgba.g = static_cast<uint8_t>(mGreen);
    rgba.b = static_cast<uint8_t>(mBlue);
    rgba.a = static_cast<uint8_t>(mAlpha);
    return rgba;
}

} // namespace Vaxo
