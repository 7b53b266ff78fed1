#include "app/sdl/SDLCursors.h"

namespace Vaxo
{

namespace
{

// A cursor from a picture whose first row and column lie at (left, top): 'X' black,
// 'o' white, '#' inverted, anything else transparent; rows end with a line break.
constexpr CursorBits CursorFromArt(int left, int top, const char* art)
{
    CursorBits bits{};
    int x = left;
    int y = top;
    for (const char* p = art; *p != 0; ++p)
    {
        if (*p == '\n')
        {
            x = left;
            ++y;
            continue;
        }
        if (x < kCursorSize && y < kCursorSize)
        {
            const int byte = y * (kCursorSize / 8) + x / 8;
            const uint8_t bit = uint8_t(0x80 >> (x % 8));
            if (*p == 'X' || *p == '#')
                bits.mBytes[byte] |= bit;
            if (*p == 'X' || *p == 'o')
                bits.mBytes[kCursorPlaneBytes + byte] |= bit;
        }
        ++x;
    }
    return bits;
}

// Its tip is the hot spot.
constexpr CursorBits ArrowCursorData = CursorFromArt(10, 10,
                                                     "X\n"
                                                     "XX\n"
                                                     "XoX\n"
                                                     "XooX\n"
                                                     "XoooX\n"
                                                     "XooooX\n"
                                                     "XoooooX\n"
                                                     "XooooooX\n"
                                                     "XoooooooX\n"
                                                     "XooooooooX\n"
                                                     "XoooooXXXXX\n"
                                                     "XooXooX\n"
                                                     "XoX.XooX\n"
                                                     "XX..XooX\n"
                                                     "X....XooX\n"
                                                     ".....XooX\n"
                                                     "......XX\n");

// The fingertip's top is the hot spot.
constexpr CursorBits HandCursorData = CursorFromArt(5, 10,
                                                    ".....XX\n"
                                                    "....XooX\n"
                                                    "....XooX\n"
                                                    "....XooX\n"
                                                    "....XooXXX\n"
                                                    "....XooXooXXX\n"
                                                    "....XooXooXooXX\n"
                                                    ".XX.XooXooXooXoX\n"
                                                    "XooXXooooooooXoX\n"
                                                    "XoooXoooooooooooX\n"
                                                    ".XooXoooooooooooX\n"
                                                    "..XoXoooooooooooX\n"
                                                    "..XooooooooooooX\n"
                                                    "...XoooooooooooX\n"
                                                    "...XooooooooooX\n"
                                                    "....XoooooooooX\n"
                                                    "....XoooooooooX\n"
                                                    "....XXXXXXXXXXX\n");

// The hot spot lies inside the fist.
constexpr CursorBits DraggingCursorData = CursorFromArt(8, 5,
                                                        "...XX.XX.XX\n"
                                                        "..XooXooXooXX\n"
                                                        "..XooXooXooXoX\n"
                                                        ".XXooooooooXoX\n"
                                                        "XooXoooooooooX\n"
                                                        "XoooooooooooooX\n"
                                                        ".XoooooooooooX\n"
                                                        "..XooooooooooX\n"
                                                        "..XoooooooooX\n"
                                                        "...XooooooooX\n"
                                                        "...XXXXXXXXXX\n");

// Inverted pixels, so the beam shows on any background; centred on the hot spot.
constexpr CursorBits IBeamCursorData = CursorFromArt(7, 2,
                                                     "###.###\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "...#\n"
                                                     "###.###\n");

// The pictures below are centred on the hot spot (10, 10).
constexpr CursorBits NoCursorData = CursorFromArt(2, 2,
                                                  ".....XXXXXXX\n"
                                                  "...XXXoooooXXX\n"
                                                  "..XXoooooooooXX\n"
                                                  ".XXoooXXXXXoooXX\n"
                                                  ".XooooXX..XXoooX\n"
                                                  "XXoooooXX..XXooXX\n"
                                                  "XooXXoooXX..XXooX\n"
                                                  "XooXXXoooXX..XooX\n"
                                                  "XooX.XXoooXX.XooX\n"
                                                  "XooX..XXoooXXXooX\n"
                                                  "XooXX..XXoooXXooX\n"
                                                  "XXooXX..XXoooooXX\n"
                                                  ".XoooXX..XXooooX\n"
                                                  ".XXoooXXXXXoooXX\n"
                                                  "..XXoooooooooXX\n"
                                                  "...XXXoooooXXX\n"
                                                  ".....XXXXXXX\n");

constexpr CursorBits SizeAllCursorData = CursorFromArt(2, 2,
                                                       ".......XXX\n"
                                                       "......XXoXX\n"
                                                       ".....XXoooXX\n"
                                                       "....XXoooooXX\n"
                                                       "...XXoooooooXX\n"
                                                       "..XXoXXXoXXXoXX\n"
                                                       ".XXooX.XoX.XooXX\n"
                                                       "XXoooXXXoXXXoooXX\n"
                                                       "XoooooooooooooooX\n"
                                                       "XXoooXXXoXXXoooXX\n"
                                                       ".XXooX.XoX.XooXX\n"
                                                       "..XXoXXXoXXXoXX\n"
                                                       "...XXoooooooXX\n"
                                                       "....XXoooooXX\n"
                                                       ".....XXoooXX\n"
                                                       "......XXoXX\n"
                                                       ".......XXX\n");

constexpr CursorBits SizeNESWCursorData = CursorFromArt(2, 2,
                                                        "........XXXXXXXXX\n"
                                                        "........XoooooooX\n"
                                                        "........XXooooooX\n"
                                                        ".........XXoooooX\n"
                                                        "..........XXooooX\n"
                                                        ".........XXoXoooX\n"
                                                        "........XXoXXXooX\n"
                                                        ".......XXoXX.XXoX\n"
                                                        "XXX...XXoXX...XXX\n"
                                                        "XoXX.XXoXX\n"
                                                        "XooXXXoXX\n"
                                                        "XoooXoXX\n"
                                                        "XooooXX\n"
                                                        "XoooooXX\n"
                                                        "XooooooXX\n"
                                                        "XoooooooX\n"
                                                        "XXXXXXXXX\n");

constexpr CursorBits SizeNSCursorData = CursorFromArt(6, 2,
                                                      "...XXX\n"
                                                      "..XXoXX\n"
                                                      ".XXoooXX\n"
                                                      "XXoooooXX\n"
                                                      "XoooooooX\n"
                                                      "XXXXoXXXX\n"
                                                      "...XoX\n"
                                                      "...XoX\n"
                                                      "...XoX\n"
                                                      "...XoX\n"
                                                      "...XoX\n"
                                                      "XXXXoXXXX\n"
                                                      "XoooooooX\n"
                                                      "XXoooooXX\n"
                                                      ".XXoooXX\n"
                                                      "..XXoXX\n"
                                                      "...XXX\n");

constexpr CursorBits SizeNWSECursorData = CursorFromArt(2, 2,
                                                        "XXXXXXXXX\n"
                                                        "XoooooooX\n"
                                                        "XooooooXX\n"
                                                        "XoooooXX\n"
                                                        "XooooXX\n"
                                                        "XoooXoXX\n"
                                                        "XooXXXoXX\n"
                                                        "XoXX.XXoXX\n"
                                                        "XXX...XXoXX...XXX\n"
                                                        ".......XXoXX.XXoX\n"
                                                        "........XXoXXXooX\n"
                                                        ".........XXoXoooX\n"
                                                        "..........XXooooX\n"
                                                        ".........XXoooooX\n"
                                                        "........XXooooooX\n"
                                                        "........XoooooooX\n"
                                                        "........XXXXXXXXX\n");

constexpr CursorBits SizeWECursorData = CursorFromArt(2, 6,
                                                      "...XXX.....XXX\n"
                                                      "..XXoX.....XoXX\n"
                                                      ".XXooX.....XooXX\n"
                                                      "XXoooXXXXXXXoooXX\n"
                                                      "XoooooooooooooooX\n"
                                                      "XXoooXXXXXXXoooXX\n"
                                                      ".XXooX.....XooXX\n"
                                                      "..XXoX.....XoXX\n"
                                                      "...XXX.....XXX\n");

constexpr CursorBits WaitCursorData = CursorFromArt(3, 1,
                                                    "XXXXXXXXXXXXXXX\n"
                                                    "XoooooooooooooX\n"
                                                    "XoooooooooooooX\n"
                                                    "XXoooooooooooXX\n"
                                                    ".XXoooooooooXX\n"
                                                    "..XXoooooooXX\n"
                                                    "...XXoooooXX\n"
                                                    "....XXoooXX\n"
                                                    ".....XoooX\n"
                                                    ".....XoooX\n"
                                                    ".....XoooX\n"
                                                    "....XXoooXX\n"
                                                    "...XXoooooXX\n"
                                                    "..XXoooooooXX\n"
                                                    ".XXoooooooooXX\n"
                                                    "XXoooooooooooXX\n"
                                                    "XoooooooooooooX\n"
                                                    "XoooooooooooooX\n"
                                                    "XXXXXXXXXXXXXXX\n");

constexpr CursorBits InvisCursorData{};

} // namespace

const CursorPicture kCursorPictures[CURSOR_CUSTOM] = {
    {&ArrowCursorData, 10, 10},    {&HandCursorData, 10, 10},   {&DraggingCursorData, 15, 10},
    {&IBeamCursorData, 10, 10},    {&NoCursorData, 10, 10},     {&SizeAllCursorData, 10, 10},
    {&SizeNESWCursorData, 10, 10}, {&SizeNSCursorData, 10, 10}, {&SizeNWSECursorData, 10, 10},
    {&SizeWECursorData, 10, 10},   {&WaitCursorData, 10, 10},   {&InvisCursorData, 10, 10},
};

} // namespace Vaxo
