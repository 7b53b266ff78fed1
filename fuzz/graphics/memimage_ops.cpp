// Random sequences of software-image operations on two small images. After every step
// GetBits must return the pixels last written: forms (palette, purged) must never lose
// or change them, and no step may touch memory outside the pixels (arrays are swapped
// for exact-size ones after each step, so AddressSanitizer sees one-word overruns).
#include "graphics/MemoryImage.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"
#include "support/FuzzInput.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

// Mostly a few colours, so the palette form is reachable.
uint32_t Pixel(FuzzInput& in)
{
    static const uint32_t kColours[] = {0, 0xFFFFFFFF, 0xFF000000, 0x80FF8040, 0x00FFFFFF, 0xC0123456};
    const uint8_t b = in.Byte();
    return b < 200 ? kColours[b % 6] : in.Word();
}

std::vector<uint32_t> Read(MemoryImage& image)
{
    const uint32_t* bits = image.GetBits();
    return std::vector<uint32_t>(bits, bits + image.PixelCount());
}

void Check(MemoryImage& image, const std::vector<uint32_t>& expected)
{
    if (Read(image) != expected)
        abort();
}

// Purged on a 32-bit software display the pixels come back through the premultiplied
// native words: opaque pixels exactly, the others with their alpha kept.
void CheckPurged(MemoryImage& image, const std::vector<uint32_t>& expected)
{
    const std::vector<uint32_t> now = Read(image);
    if (now.size() != expected.size())
        abort();
    for (size_t i = 0; i < now.size(); ++i)
        if ((now[i] >> 24) != (expected[i] >> 24) || ((expected[i] >> 24) == 255 && now[i] != expected[i]))
            abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    TestApp app;
    TestDisplay display(&app);
    app.mDisplay = &display;
    std::unique_ptr<MemoryImage> images[2] = {std::make_unique<MemoryImage>(&app),
                                              std::make_unique<MemoryImage>(&app)};
    std::vector<uint32_t> expected[2];
    for (int step = 0; step < 64 && in.Left(); ++step)
    {
        const int which = in.Byte() & 1;
        MemoryImage& a = *images[which];
        MemoryImage& b = *images[which ^ 1];
        std::vector<uint32_t>& exp = expected[which];
        bool changed = true; // pixels may have changed: take them as the new truth
        switch (in.Byte() % 15)
        {
        case 0:
            a.Create(in.Int(-2, 16), in.Int(-2, 16));
            break;
        case 1:
        {
            const int w = in.Int(-1, 16), h = in.Int(-1, 16);
            std::vector<uint32_t> pixels(size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0) + 1);
            for (auto& px : pixels)
                px = Pixel(in);
            a.SetBits(pixels.data(), w, h, in.Byte() & 1);
            break;
        }
        case 2:
            a.Palletize();
            changed = false;
            break;
        case 3:
            a.PurgeBits();
            CheckPurged(a, exp);
            break;
        case 4:
            a.GetBits();
            changed = false;
            break;
        case 5:
            a.FillRect(TRect<int>(in.Int(-4, 20), in.Int(-4, 20), in.Int(-2, 20), in.Int(-2, 20)),
                       Color(in.Int(-10, 300), in.Int(0, 255), in.Int(0, 255), in.Int(0, 255)), in.Int(0, 2));
            break;
        case 6:
            a.Blt(&b, in.Int(-8, 20), in.Int(-8, 20),
                  TRect<int>(in.Int(-4, 20), in.Int(-4, 20), in.Int(-2, 20), in.Int(-2, 20)),
                  (in.Byte() & 1) ? Color::White
                                  : Color(in.Int(0, 255), in.Int(0, 255), in.Int(0, 255), in.Int(0, 255)),
                  in.Int(0, 2));
            break;
        case 7:
            a.StretchBlt(&b, TRect<int>(in.Int(-10, 20), in.Int(-10, 20), in.Int(-2, 40), in.Int(-2, 40)),
                         TRect<int>(in.Int(-4, 20), in.Int(-4, 20), in.Int(-2, 20), in.Int(-2, 20)),
                         TRect<int>(in.Int(-4, 20), in.Int(-4, 20), in.Int(0, 20), in.Int(0, 20)),
                         Color::White, in.Int(0, 1), in.Byte() & 1);
            break;
        case 8:
            a.BltRotated(&b, float(in.Int(-200, 200)) / 8, float(in.Int(-200, 200)) / 8,
                         TRect<int>(in.Int(-4, 20), in.Int(-4, 20), in.Int(-2, 20), in.Int(-2, 20)),
                         TRect<int>(0, 0, 16, 16), (in.Byte() & 1) ? Color::White : Color(200, 100, 50, 128),
                         in.Int(0, 2), double(int8_t(in.Byte())) / 16, float(in.Int(-40, 40)) / 4,
                         float(in.Int(-40, 40)) / 4);
            break;
        case 9:
        {
            const double x1 = double(int8_t(in.Byte())) / 4, y1 = double(int8_t(in.Byte())) / 4;
            const double x2 = double(int8_t(in.Byte())) / 4, y2 = double(int8_t(in.Byte())) / 4;
            const Color c(in.Int(0, 255), in.Int(0, 255), in.Int(0, 255), in.Int(0, 255));
            if (in.Byte() & 1)
                a.DrawLineAA(x1, y1, x2, y2, c, in.Int(0, 2));
            else
                a.DrawLine(x1, y1, x2, y2, c, in.Int(0, 2));
            break;
        }
        case 10:
        {
            auto copy = std::make_unique<MemoryImage>(a);
            Check(*copy, exp);
            images[which] = std::move(copy);
            changed = false;
            break;
        }
        case 11:
            a.ReInit(); // may purge again
            CheckPurged(a, exp);
            break;
        case 12:
            a.Clear();
            break;
        case 13:
        {
            Span spans[4];
            for (Span& s : spans)
                s = Span{in.Int(-2, 18), in.Int(-4, 18), in.Int(-2, 20)};
            uint8_t coverage[64];
            for (uint8_t& c : coverage)
                c = in.Byte();
            a.FillScanLinesWithCoverage(spans, in.Int(0, 4), Color(in.Int(0, 255), 9, 9, in.Int(0, 255)), 0,
                                        coverage, in.Int(-2, 4), in.Int(-2, 4), 8, 8);
            break;
        }
        default:
            a.DeleteSWBuffers();
            changed = false;
            break;
        }
        MemoryImage& now = *images[which];
        if (changed)
            exp = Read(now);
        else
            Check(now, exp);
        if (now.mBits != nullptr)
            MakeExact(now);
        Check(*images[which ^ 1], expected[which ^ 1]);
    }
    images[0].reset();
    images[1].reset();
    app.mDisplay = nullptr;
    return 0;
}
