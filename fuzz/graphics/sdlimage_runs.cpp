// Random run patterns (transparent, opaque and translucent runs of any length) blitted,
// plainly or mirrored, from any part of the source onto a 888, 565 or 555 surface, in
// both draw modes and with any colour; every pixel is compared with a floating-point
// blender: alpha-0 pixels and everything outside the copy exactly unchanged, the rest
// within a few units of the channel.
#include "graphics/NativeImagePixels.h"
#include "graphics/support/SDLImageTestUtil.h"
#include "support/FuzzInput.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace Vaxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const TestFormat formats[] = {TestFormat::k888, TestFormat::k565, TestFormat::k555};
    FormatDisplay display(formats[in.Int(0, 2)]);

    // The source: rows of runs.
    const int sw = in.Int(1, 300), sh = in.Int(1, 3);
    std::vector<uint32_t> src(size_t(sw) * size_t(sh));
    size_t i = 0;
    while (i < src.size())
    {
        const int kind = in.Int(0, 2);
        const int len = in.Int(1, 255);
        const uint32_t rgb = uint32_t(in.Byte()) << 16 | uint32_t(in.Byte()) << 8 | in.Byte();
        for (int k = 0; k < len && i < src.size(); ++k, ++i)
        {
            const uint32_t a = kind == 0 ? 0u : (kind == 1 ? 255u : uint32_t(in.Int(1, 254)));
            src[i] = a << 24 | (rgb ^ uint32_t(k * 0x010305));
        }
    }
    auto source = MakeSDLImage(&display, sw, sh, src);
    const bool palette = in.Byte() < 50 && source->Palletize();
    if (palette)
        for (size_t j = 0; j < src.size(); ++j)
            src[j] = source->mPalette[source->mPaletteIndices[j]];

    const int mode = in.Int(0, 1);
    const bool mirror = in.Byte() < 80;
    const uint8_t pick = in.Byte();
    const Color colour =
        pick < 90 ? Color::White : Color(in.Byte(), in.Byte(), in.Byte(), pick < 180 ? 255 : in.Byte());
    const TRect<int> rect(in.Int(0, sw - 1), in.Int(0, sh - 1), 0, 0);
    const TRect<int> srcRect(rect.mX, rect.mY, in.Int(1, sw - rect.mX), in.Int(1, sh - rect.mY));

    const int dw = srcRect.mWidth + 2, dh = srcRect.mHeight + 2;
    std::vector<uint32_t> destPixels(size_t(dw) * size_t(dh));
    for (auto& p : destPixels)
        p = 0xFF000000u | uint32_t(in.Byte()) << 16 | uint32_t(in.Byte()) << 8 | in.Byte();
    auto dest = MakeSDLImage(&display, dw, dh, destPixels);
    if (!dest->GenerateDDSurface())
        abort();
    std::vector<uint32_t> before(destPixels.size());
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            before[size_t(y) * size_t(dw) + size_t(x)] = SurfaceWord(*dest, x, y);

    if (mirror)
        dest->BltMirror(source.get(), 1, 1, srcRect, colour, mode);
    else
        dest->Blt(source.get(), 1, 1, srcRect, colour, mode);

    const uint32_t masks[3] = {display.mRedMask, display.mGreenMask, display.mBlueMask};
    const int shifts[3] = {display.mRedShift, display.mGreenShift, display.mBlueShift};
    const int bits[3] = {display.mRedBits, display.mGreenBits, display.mBlueBits};
    const int channel[3] = {colour.mRed, colour.mGreen, colour.mBlue};
    const bool white = colour == Color::White;
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
        {
            const uint32_t was = before[size_t(y) * size_t(dw) + size_t(x)];
            const uint32_t now = SurfaceWord(*dest, x, y);
            const int i0 = x - 1, j0 = y - 1;
            if (i0 < 0 || j0 < 0 || i0 >= srcRect.mWidth || j0 >= srcRect.mHeight)
            {
                if (now != was)
                    abort();
                continue;
            }
            const int sx = mirror ? srcRect.mX + srcRect.mWidth - 1 - i0 : srcRect.mX + i0;
            const uint32_t p = src[size_t(srcRect.mY + j0) * size_t(sw) + size_t(sx)];
            const uint32_t a8 = p >> 24;
            if (a8 == 0)
            {
                if ((now & 0xFFFFFF) != (was & 0xFFFFFF))
                    abort();
                continue;
            }
            for (int k = 0; k < 3; ++k)
            {
                const double maxv = double((1 << bits[k]) - 1);
                const double d = double((was & masks[k]) >> shifts[k]);
                const double c = double((p >> (16 - 8 * k)) & 0xFF) / 255.0 * maxv;
                const double a = a8 / 255.0;
                const double scale = white ? 1.0 : colour.mAlpha / 255.0 * channel[k] / 255.0;
                double ref;
                if (mode == 0)
                {
                    const double ae = white ? a : a * colour.mAlpha / 255.0;
                    const double cs = white ? c : c * channel[k] / 255.0;
                    ref = cs * ae + d * (1.0 - ae);
                }
                else
                    ref = std::min(maxv, d + c * a * scale);
                const double have = double((now & masks[k]) >> shifts[k]);
                // Premultiplying and blending truncate; the packed 16-bit loops also weigh
                // the destination in steps of 8/256, which costs up to 2 more units of a
                // 6-bit green. A tint is one more truncating multiply.
                const double slack = (display.mBitsPerPixel == 32 ? 3.0 : 4.0) + (white ? 0.0 : 1.0);
                if (std::fabs(have - ref) > slack)
                    abort();
            }
        }
    return 0;
}
