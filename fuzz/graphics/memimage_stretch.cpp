// StretchBlt and BltRotated with random rectangles, angles and centres between images
// whose pixel arrays end exactly at their last pixel: no read or write may leave them.
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "support/FuzzInput.h"

#include <cstdint>
#include <cstring>
#include <vector>

using namespace Vaxo;

namespace
{

// Mostly tame values, sometimes any bit pattern (NaN, infinities, huge).
float Float(FuzzInput& in)
{
    const uint32_t w = in.Word();
    if ((w & 7) != 0)
        return float(int32_t(w) >> 20) / 16.0f;
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int sw = in.Int(1, 24), sh = in.Int(1, 24);
    const int dw = in.Int(1, 48), dh = in.Int(1, 48);
    std::vector<uint32_t> pixels(size_t(sw) * size_t(sh));
    for (auto& px : pixels)
        px = uint32_t(in.Byte()) * 0x01010101u;
    auto src = ExactImage(sw, sh, pixels);
    if (in.Byte() & 1)
    {
        src->Palletize();
        src->CommitBits();
    }
    auto dest = ExactImage(dw, dh, 0xFF204060u);
    for (int step = 0; step < 8 && in.Left(); ++step)
    {
        const TRect<int> srcRect(in.Int(-8, 30), in.Int(-8, 30), in.Int(-2, 40), in.Int(-2, 40));
        const TRect<int> clip(in.Int(-8, 50), in.Int(-8, 50), in.Int(-2, 60), in.Int(-2, 60));
        const Color color = (in.Byte() & 1)
                                ? Color::White
                                : Color(in.Int(-5, 260), in.Int(0, 255), in.Int(0, 255), in.Int(0, 300));
        const int mode = in.Int(0, 2);
        if (in.Byte() & 1)
        {
            const TRect<int> destRect(in.Int(-200, 100), in.Int(-200, 100), in.Int(-5, 400), in.Int(-5, 400));
            dest->StretchBlt(src.get(), destRect, srcRect, clip, color, mode, in.Byte() & 1);
        }
        else
        {
            const float x = Float(in), y = Float(in), cx = Float(in), cy = Float(in);
            const double angle = double(Float(in));
            dest->BltRotated(src.get(), x, y, srcRect, clip, color, mode, angle, cx, cy);
        }
    }
    return 0;
}
