#include "graphics/Color.h"

namespace Vaxo
{

const Color Color::Black(0, 0, 0, 255);
const Color Color::White(255, 255, 255, 255);

int& Color::operator[](int index)
{
    switch (index)
    {
    case 0:
        return mRed;
    case 1:
        return mGreen;
    case 2:
        return mBlue;
    case 3:
        return mAlpha;
    default:
        break;
    }
    static int spare = 0;
    return spare;
}

int Color::operator[](int index) const
{
    switch (index)
    {
    case 0:
        return mRed;
    case 1:
        return mGreen;
    case 2:
        return mBlue;
    case 3:
        return mAlpha;
    default:
        return 0;
    }
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
