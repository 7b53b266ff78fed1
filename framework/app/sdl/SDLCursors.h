// Internal to framework/app/sdl.
// SDLCursors: the pictures of the platform's cursors 0 to 11 (cursor 12, the custom-image
// slot, has none). Each is 32 x 32 pixels in SDL 1.2's cursor form: a data plane of 128
// bytes (32 rows of 4 bytes, leftmost pixel in the high bit) followed by a mask plane of the
// same form. Data 1 and mask 1 is black, data 0 and mask 1 white, both 0 transparent, data
// 1 and mask 0 inverted where the system can invert (black otherwise).
#pragma once

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

// Cursors 0 arrow, 1 hand, 2 dragging hand, 3 I-beam, 4 no-entry sign, 5 to 9 sizing arrows
// (all ways, NE-SW, N-S, NW-SE, W-E), 10 hourglass, 11 invisible.
extern const CursorPicture kCursorPictures[12];

} // namespace Vaxo
