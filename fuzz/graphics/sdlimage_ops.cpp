// Random sequences of operations on a display-format image (create, draw, lock, purge,
// blit, stretch, rotate) on a 888, 565 or 555 display, checked after each step against a
// shadow copy of its pixels: steps that do not draw must keep them (as the display's
// format holds them), draws may change only the rectangle they were given, the lock
// count returns to 0, and the pixels can always be read back.
#include "graphics/NativeImagePixels.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/SDLImageTestUtil.h"
#include "support/FuzzInput.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Vaxo;

namespace
{

uint32_t Pixel(FuzzInput& in)
{
    static const uint32_t kColours[] = {0xFFFFFFFF, 0xFF000000, 0xFF123456,
                                        0x80FF8040, 0x00FFFFFF, 0xFF80C0E0};
    const uint8_t b = in.Byte();
    if (b < 160)
        return kColours[b % 6];
    const uint32_t alpha = in.Byte();
    const uint32_t red = in.Byte();
    return alpha << 24 | red << 16 | uint32_t(b) << 8 | in.Byte();
}

Color Colour(FuzzInput& in)
{
    const uint8_t b = in.Byte();
    if (b < 100)
        return Color::White;
    const int red = in.Byte(), green = in.Byte(), blue = in.Byte();
    return Color(red, green, blue, b < 180 ? 255 : in.Byte());
}

double Coord(FuzzInput& in, int size)
{
    return double(in.Int(0, size * 16 - 1)) / 16.0;
}

struct Region
{
    int x0, y0, x1, y1; // [x0, x1) x [y0, y1)
};

class Shadow
{
public:
    Shadow(SDLImage& image, const SurfaceFormat& format) : mImage(image), mFormat(format) { Take(); }

    // The pixels as the display keeps them: opaque ones through the display's format.
    uint32_t Quantize(uint32_t p) const
    {
        return (p >> 24) == 255 ? (0xFF000000u | mFormat.ToArgb(mFormat.FromArgb(p))) : p;
    }

    std::vector<uint32_t> Read() const
    {
        const uint32_t* bits = mImage.GetBits();
        if (bits == nullptr)
            abort(); // the pixels must always be readable when locking is allowed
        std::vector<uint32_t> out(bits, bits + mImage.PixelCount());
        for (auto& p : out)
            p = Quantize(p);
        return out;
    }

    void Take() { mPixels = Read(); }

    // Pixels outside the region are as before; then the shadow follows the image.
    void CheckOutside(const Region& r)
    {
        const std::vector<uint32_t> now = Read();
        if (now.size() != mPixels.size())
            abort();
        for (int y = 0; y < mImage.mHeight; ++y)
            for (int x = 0; x < mImage.mWidth; ++x)
                if ((x < r.x0 || x >= r.x1 || y < r.y0 || y >= r.y1) &&
                    now[size_t(y) * size_t(mImage.mWidth) + size_t(x)] !=
                        mPixels[size_t(y) * size_t(mImage.mWidth) + size_t(x)])
                    abort();
        mPixels = now;
    }

    void CheckSame() { CheckOutside(Region{0, 0, 0, 0}); }

private:
    SDLImage& mImage;
    const SurfaceFormat& mFormat;
    std::vector<uint32_t> mPixels;
};

Region Around(int x, int y, int w, int h)
{
    return Region{x, y, x + w, y + h};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const TestFormat formats[] = {TestFormat::k888, TestFormat::k565, TestFormat::k555};
    FormatDisplay display(formats[in.Int(0, 2)]);
    const SurfaceFormat format(display);

    int w = in.Int(1, 12), h = in.Int(1, 12);
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    const bool opaque = in.Byte() < 170;
    for (auto& p : pixels)
        p = opaque ? (Pixel(in) | 0xFF000000u) : Pixel(in);
    auto image = MakeSDLImage(&display, w, h, pixels);

    const int sw = in.Int(1, 10), sh = in.Int(1, 10);
    std::vector<uint32_t> srcPixels(size_t(sw) * size_t(sh));
    for (auto& p : srcPixels)
        p = Pixel(in);
    std::unique_ptr<MemoryImage> source;
    if (in.Byte() < 128)
        source = MakeSDLImage(&display, sw, sh, srcPixels);
    else
        source = ExactImage(sw, sh, srcPixels);
    if (in.Byte() < 60)
        source->Palletize();
    if (in.Byte() < 40)
        source->SetVolatile(true);

    Shadow shadow(*image, format);
    for (int step = 0; step < 48 && in.Left(); ++step)
    {
        const TRect<int> whole(0, 0, w, h);
        const int op = in.Int(0, 22);
        const int x = in.Int(-2, w), y = in.Int(-2, h);
        const int rw = in.Int(0, w + 2), rh = in.Int(0, h + 2);
        const int mode = in.Int(0, 2) == 2 ? in.Int(0, 2) : in.Int(0, 1);
        const Color colour = Colour(in);
        const TRect<int> rect = TRect<int>(x, y, rw, rh).Intersection(whole);
        const TRect<int> srcRect(in.Int(0, sw - 1), in.Int(0, sh - 1), in.Int(1, sw), in.Int(1, sh));
        const TRect<int> src = srcRect.Intersection(TRect<int>(0, 0, sw, sh));
        switch (op)
        {
        case 0:
            image->FillRect(rect, colour, mode);
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        case 1:
            image->ClearRect(rect);
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        case 2:
        case 3:
        {
            const double x1 = Coord(in, w), y1 = Coord(in, h), x2 = Coord(in, w), y2 = Coord(in, h);
            if (op == 2)
                image->DrawLine(x1, y1, x2, y2, colour, mode);
            else
                image->DrawLineAA(x1, y1, x2, y2, colour, mode);
            const int left = int(std::min(x1, x2)), top = int(std::min(y1, y2));
            const int right = int(std::max(x1, x2)), bottom = int(std::max(y1, y2));
            // The anti-aliased walk (the software image's for an image with alpha, the
            // surface's otherwise) keeps to the ends' rows and columns; its partner
            // pixels lie one further.
            if (op == 3)
                shadow.CheckOutside(Region{left - 1, top - 1, right + 2, bottom + 2});
            else
                shadow.CheckOutside(Region{left, top, right + 1, bottom + 1});
            break;
        }
        case 4:
        case 5:
        {
            // The drawing context hands over a copy that fits the destination.
            const int bx = in.Int(0, w - 1), by = in.Int(0, h - 1);
            const TRect<int> s(src.mX, src.mY, std::min(src.mWidth, w - bx), std::min(src.mHeight, h - by));
            if (op == 4)
                image->Blt(source.get(), bx, by, s, colour, mode);
            else
                image->BltMirror(source.get(), bx, by, s, colour, mode);
            shadow.CheckOutside(Around(bx, by, s.mWidth, s.mHeight));
            break;
        }
        case 6:
        case 7:
        {
            const TRect<int> dest(x, y, rw + 1, rh + 1);
            const bool fast = in.Byte() & 1;
            if (op == 6)
                image->StretchBlt(source.get(), dest, src, rect, colour, mode, fast);
            else
                image->StretchBltMirror(source.get(), dest, src, rect, colour, mode, fast);
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        }
        case 8:
        case 9:
        {
            const float fx = float(in.Int(-64, w * 16)) / 16.0f, fy = float(in.Int(-64, h * 16)) / 16.0f;
            if (op == 8)
                image->BltRotated(source.get(), fx, fy, src, rect, colour, mode,
                                  double(in.Int(-700, 700)) / 100.0, float(in.Int(0, 40)) / 4.0f,
                                  float(in.Int(0, 40)) / 4.0f);
            else
                image->BltF(source.get(), fx, fy, src, rect, colour, mode);
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        }
        case 10:
        {
            std::vector<unsigned char> coverage(size_t(w) * size_t(h));
            for (auto& c : coverage)
                c = in.Byte();
            std::vector<Span> spans;
            for (int r = 0; r < rect.mHeight; ++r)
                spans.push_back(Span{rect.mY + r, rect.mX, rect.mWidth});
            image->FillScanLinesWithCoverage(spans.data(), int(spans.size()), colour, mode, coverage.data(),
                                             0, 0, w, h);
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        }
        case 11:
            image->GenerateDDSurface();
            shadow.CheckSame();
            break;
        case 12:
            image->DeleteDDSurface();
            shadow.CheckSame();
            break;
        case 13:
            image->mWantDDSurface = in.Byte() & 1;
            image->PurgeBits();
            shadow.CheckSame();
            break;
        case 14:
            image->ReInit();
            shadow.CheckSame();
            break;
        case 15:
            image->SetVideoMemory(in.Byte() & 1);
            shadow.CheckSame();
            break;
        case 16:
            image->DeleteAllNonSurfaceData();
            shadow.CheckSame();
            break;
        case 17:
            image->DeleteNativeData();
            image->DeleteExtraBuffers();
            shadow.CheckSame();
            break;
        case 18:
        {
            // Nested locks with a draw inside: the count comes back to 0.
            const bool a = image->LockSurface();
            const bool b = image->LockSurface();
            image->FillRect(rect, colour, 0);
            if (b)
                image->UnlockSurface();
            if (a)
                image->UnlockSurface();
            image->UnlockSurface(); // one too many: refused
            shadow.CheckOutside(Around(rect.mX, rect.mY, rect.mWidth, rect.mHeight));
            break;
        }
        case 19:
        {
            // Draws refused while locking is forbidden change nothing.
            image->mNoLock = true;
            image->BltRotated(source.get(), 0.5f, 0.5f, src, whole, colour, mode, 0.3, 0.0f, 0.0f);
            image->mNoLock = false;
            shadow.CheckSame();
            break;
        }
        case 20:
            if (image->mPalette == nullptr && image->Palletize())
                shadow.CheckSame();
            break;
        case 21:
        {
            const int nw = in.Int(1, 12), nh = in.Int(1, 12);
            std::vector<uint32_t> fresh(size_t(nw) * size_t(nh));
            for (auto& p : fresh)
                p = Pixel(in) | (opaque ? 0xFF000000u : 0u);
            image->SetBits(fresh.data(), nw, nh);
            w = nw;
            h = nh;
            shadow.Take();
            break;
        }
        case 22:
            // A change reported with nothing changed keeps whichever form holds the pixels
            // (the surface alone, when a draw on it left no other, as the checks' reads do).
            if (in.Byte() & 1)
                image->DeleteAllNonSurfaceData();
            image->BitsChanged();
            shadow.CheckSame();
            break;
        }
        if (image->mLockCount != 0)
            abort();
    }
    return 0;
}
