// KeyCode: key codes numbered like the Windows virtual keys, which the platform layer
// makes from its own key symbols and everything above it consumes. Stored demos record
// these numbers, so the values never change. 0 means no key code.
#pragma once

#include <cstdint>

namespace Vaxo
{

enum KeyCode : int32_t
{
    KEYCODE_UNKNOWN = 0,
    KEYCODE_CANCEL = 3, // Break
    KEYCODE_BACK = 8,
    KEYCODE_TAB = 9,
    KEYCODE_CLEAR = 12,
    KEYCODE_RETURN = 13,
    KEYCODE_SHIFT = 16,
    KEYCODE_CONTROL = 17,
    KEYCODE_MENU = 18, // Alt
    KEYCODE_PAUSE = 19,
    KEYCODE_CAPITAL = 20,
    KEYCODE_ESCAPE = 27,
    KEYCODE_SPACE = 32,
    KEYCODE_PRIOR = 33, // Page Up
    KEYCODE_NEXT = 34,  // Page Down
    KEYCODE_END = 35,
    KEYCODE_HOME = 36,
    KEYCODE_LEFT = 37,
    KEYCODE_UP = 38,
    KEYCODE_RIGHT = 39,
    KEYCODE_DOWN = 40,
    KEYCODE_SNAPSHOT = 42, // Print
    KEYCODE_INSERT = 45,
    KEYCODE_DELETE = 46,
    KEYCODE_HELP = 47,
    KEYCODE_0 = 48, // digits 48 to 57, letters A to Z 65 to 90
    KEYCODE_A = 65,
    KEYCODE_LWIN = 91,
    KEYCODE_RWIN = 92,
    KEYCODE_APPS = 93,
    KEYCODE_NUMPAD0 = 96, // keypad digits 96 to 105
    KEYCODE_MULTIPLY = 106,
    KEYCODE_ADD = 107,
    KEYCODE_SUBTRACT = 109,
    KEYCODE_DECIMAL = 110,
    KEYCODE_DIVIDE = 111,
    KEYCODE_F1 = 112, // F1 to F15: 112 to 126
    KEYCODE_F4 = 115,
    KEYCODE_NUMLOCK = 144,
    KEYCODE_SCROLL = 145,
    KEYCODE_OEM_1 = 186,      // ;
    KEYCODE_OEM_PLUS = 187,   // =
    KEYCODE_OEM_COMMA = 188,  // ,
    KEYCODE_OEM_MINUS = 189,  // -
    KEYCODE_OEM_PERIOD = 190, // .
    KEYCODE_OEM_2 = 191,      // /
    KEYCODE_OEM_4 = 219,      // [
    KEYCODE_OEM_5 = 220,      // backslash
    KEYCODE_OEM_6 = 221,      // ]
    KEYCODE_OEM_7 = 222,      // quote
    KEYCODE_OEM_8 = 223,      // back quote
    KEYCODE_OEM_102 = 226,    // <
};

} // namespace Vaxo
