// Internal to framework/app/sdl.
// SDLCursors: the pictures of the platform's cursors, CURSOR_POINTER to CURSOR_INVISIBLE
// (CURSOR_CUSTOM, the custom-image slot, has none). Each is 32 x 32 pixels in SDL 1.2's
// cursor form: a data plane of 128 bytes (32 rows of 4 bytes, leftmost pixel in the high
// bit) followed by a mask plane of the same form. Data 1 and mask 1 is black, data 0 and
// mask 1 white, both 0 transparent, data 1 and mask 0 inverted where the system can invert
// (black otherwise).
#pragma once

#include "app/Platform.h"

#include <cstdint>

namespace Vaxo
{

constexpr int kCursorSize = 32;
constexpr int kCursorPlaneBytes = kCursorSize * kCursorSize / 8;

struct CursorBits
{
    uint8_t mBytes[2 * kCursorPlaneBytes];
};

struct CursorPicture
{
    // Data plane, then mask plane.
    const CursorBits* mBits;
    // The pixel that points.
    int32_t mHotX;
    int32_t mHotY;
};

// By cursor number: an arrow, a hand, a closed hand, an I-beam, a no-entry sign, five sizing
// arrows (all ways, NE-SW, N-S, NW-SE, W-E), an hourglass, and the invisible cursor.
extern const CursorPicture kCursorPictures[CURSOR_CUSTOM];

} // namespace Vaxo
