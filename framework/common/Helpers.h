// Helpers: small inline pieces that more than one library of the framework needs, kept
// in one place so that each is written once.
//
//   VAXO_ALWAYS_INLINE, VAXO_NOINLINE - inlining hints for the hot loops (nothing elsewhere
//                                        than gcc and clang)
//   HexDigitValue                     - the value of one hexadecimal digit
#pragma once

#include <cstdint>

#if defined(__GNUC__)
// A hot loop's small steps: the compiler would rather call them (and drops a function that
// only prefetches when it does not inline it).
#define VAXO_ALWAYS_INLINE __attribute__((always_inline))
#define VAXO_NOINLINE __attribute__((noinline))
#else
#define VAXO_ALWAYS_INLINE
#define VAXO_NOINLINE
#endif

namespace Vaxo
{

// 0 to 15 for "0"-"9", "A"-"F" and "a"-"f"; any other character counts as 0, so that a
// malformed fixed-width field (a colour escape, a web string's header) reads without
// failing.
inline int32_t HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

} // namespace Vaxo
