// Internal to framework/widgets.
// Pixel positions of the value controls (slider, scroll bar, list) come from doubles a
// caller may set to anything; a conversion of a value outside int's range, or of NaN, is
// undefined behaviour, so every such conversion goes through here.
#pragma once

#include <cstdint>

namespace Vaxo
{

// Truncates toward zero; NaN gives 0, values past int's range give its ends.
inline int TruncateToInt(double value)
{
    if (value != value)
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int>(value);
}

} // namespace Vaxo
