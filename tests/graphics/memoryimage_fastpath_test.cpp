// The vector row loops of the software image against plain per-pixel loops written from
// the blend rules: straight copies (run, weighted and tinted rules, palette sources),
// translucent fills and layered text, on random pixels, sizes, offsets and clips.
#include "common/support/TestFolder.h"
#include "graphics/BlendKernels.h"
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace Vaxo
{
namespace
{

using Pixels = std::vector<uint32_t>;

// Rows made of runs of transparent, opaque and translucent pixels, as sprites and glyphs
// are, each of 1 to longestRun pixels.
Pixels RandomPixels(std::mt19937& rng, size_t count, uint32_t longestRun = 9)
{
    Pixels out;
    while (out.size() < count)
    {
        const uint32_t kind = rng() % 3, length = 1 + rng() % longestRun;
        for (uint32_t i = 0; i < length && out.size() < count; ++i)
        {
            const uint32_t alpha = kind == 0 ? 0 : kind == 1 ? 255 : 1 + rng() % 254;
            out.push_back(alpha << 24 | (rng() & 0xFFFFFF));
        }
    }
    return out;
}

// Half of the destinations are opaque, which the blitters treat apart.
void MaybeOpaque(std::mt19937& rng, Pixels& pixels)
{
    if (rng() % 2)
        for (uint32_t& p : pixels)
            p |= 0xFF000000u;
}

uint32_t Mix(uint32_t s, uint32_t d, uint32_t sw, uint32_t alpha, bool blueApart)
{
    auto ch = [&](int shift) { return ((s >> shift) & 0xFF) * sw + ((d >> shift) & 0xFF) * (256 - sw); };
    const uint32_t blue =
        blueApart ? (((s & 0xFF) * sw) >> 8) + (((d & 0xFF) * (256 - sw)) >> 8) : ch(0) >> 8;
    return alpha << 24 | (ch(16) >> 8) << 16 | (ch(8) >> 8) << 8 | blue;
}

// New alpha and source share of weight w over destination alpha da.
void Shares(uint32_t w, uint32_t da, uint32_t& na, uint32_t& sw)
{
    na = da + (w * (255 - da)) / 255;
    sw = na == 0 ? 0 : (w * 255) / na;
}

// One pixel of a straight copy; runRule: white onto a destination flagged opaque.
uint32_t PlainBlt(uint32_t s, uint32_t d, const Color& c, bool runRule)
{
    const uint32_t sa = s >> 24;
    uint32_t na, sw;
    if (c == Color::White)
    {
        if (sa == 0 || (runRule && sa == 255))
            return sa == 0 ? d : s;
        Shares(sa, runRule ? 255 : d >> 24, na, sw);
        return Mix(s, d, sw, na, true);
    }
    const uint32_t a = sa * uint32_t(c.mAlpha) / 255;
    if (a == 0)
        return d;
    Shares(a, d >> 24, na, sw);
    const uint32_t dw = 256 - sw;
    auto sc = [&](int shift) { return (s >> shift) & 0xFF; };
    auto dc = [&](int shift) { return (d >> shift) & 0xFF; };
    const uint32_t cR = uint32_t(c.mRed), cG = uint32_t(c.mGreen), cB = uint32_t(c.mBlue);
    const uint32_t green = (dc(8) * dw + ((sc(8) * cG * sw) >> 8)) >> 8;
    if (cR == cG && cG == cB)
        return na << 24 | ((dc(16) * dw + ((sc(16) * cR) >> 8) * sw) >> 8) << 16 | green << 8 |
               (((dc(0) * dw) >> 8) + ((((sc(0) * cR) >> 8) * sw) >> 8));
    return na << 24 | ((256 * dc(16) * dw + sc(16) * sw * cR) >> 16) << 16 | green << 8 |
           (((dc(0) * dw) >> 8) + ((sc(0) * sw * cB) >> 16));
}

std::unique_ptr<MemoryImage> Image(int w, int h, const Pixels& pixels)
{
    auto image = std::make_unique<MemoryImage>(nullptr);
    image->SetBits(pixels.data(), w, h, true);
    return image;
}

Pixels Bits(MemoryImage& image)
{
    return Pixels(image.GetBits(), image.GetBits() + image.PixelCount());
}

Color RandomColor(std::mt19937& rng)
{
    const int kind = int(rng() % 3), grey = rng() % 2 ? 0 : int(rng() % 256);
    if (kind == 0)
        return Color::White;
    if (kind == 1)
        return Color(grey, grey, grey, int(rng() % 256));
    return Color(int(rng() % 256), int(rng() % 256), int(rng() % 256), int(rng() % 256));
}

TEST(FastPathBlt, StraightCopiesMatchPlainLoopsForEveryRuleSizeAndClip)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 1500; ++trial)
    {
        const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 5), dw = 1 + int(rng() % 45),
                  dh = 1 + int(rng() % 5);
        Pixels src = RandomPixels(rng, size_t(sw * sh)), dest = RandomPixels(rng, size_t(dw * dh));
        MaybeOpaque(rng, dest);
        const bool palette = rng() % 4 == 0;
        const Pixels colours = RandomPixels(rng, 7);
        if (palette)
            for (uint32_t& p : src)
                p = colours[p % 7];
        const TRect<int> rect(int(rng() % (sw + 3)) - 2, int(rng() % (sh + 2)) - 1, int(rng() % (sw + 4)),
                              int(rng() % (sh + 3)));
        const int x = int(rng() % (dw + 8)) - 6, y = int(rng() % (dh + 4)) - 2;
        const Color color = RandomColor(rng);
        auto s = Image(sw, sh, src);
        auto d = Image(dw, dh, dest);
        ASSERT_TRUE(!palette || s->Palletize()) << trial;
        const bool runRule = !d->mHasAlpha && !d->mHasTrans;
        for (int row = rect.mY; row < rect.mY + rect.mHeight; ++row)
            for (int col = rect.mX; col < rect.mX + rect.mWidth; ++col)
            {
                const int dx = x + col - rect.mX, dy = y + row - rect.mY;
                if (col >= 0 && row >= 0 && col < sw && row < sh && dx >= 0 && dy >= 0 && dx < dw && dy < dh)
                    dest[size_t(dy * dw + dx)] =
                        PlainBlt(src[size_t(row * sw + col)], dest[size_t(dy * dw + dx)], color, runRule);
            }
        d->Blt(s.get(), x, y, rect, color, 0);
        ASSERT_EQ(Bits(*d), dest) << "trial " << trial;
    }
}

TEST(FastPathFill, TranslucentFillsMatchThePlainBlend)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial)
    {
        const int w = 1 + int(rng() % 50), h = 1 + int(rng() % 4);
        Pixels pixels = RandomPixels(rng, size_t(w * h));
        MaybeOpaque(rng, pixels);
        const TRect<int> rect(int(rng() % (w + 2)) - 1, int(rng() % h), int(rng() % (w + 3)),
                              1 + int(rng() % h));
        const Color color(int(rng() % 256), int(rng() % 256), int(rng() % 256), 1 + int(rng() % 254));
        auto image = Image(w, h, pixels);
        const uint32_t c = uint32_t(color.ToInt()), a = c >> 24;
        for (int row = std::max(rect.mY, 0); row < std::min(rect.mY + rect.mHeight, h); ++row)
            for (int col = std::max(rect.mX, 0); col < std::min(rect.mX + rect.mWidth, w); ++col)
            {
                uint32_t& p = pixels[size_t(row * w + col)];
                uint32_t na, sw;
                Shares(a, p >> 24, na, sw);
                p = Mix(c, p, sw, na, false);
            }
        image->FillRect(rect, color, 0);
        ASSERT_EQ(Bits(*image), pixels) << "trial " << trial;
    }
}

// Both builds of every loop, on two rows at every offset of a 16-byte line and every
// width up to 40, give the same pixels; a third of the rows are up to 320 pixels wide
// with runs up to 300 long (opaque runs are copied in moves of 4 and 8 pixels, and run
// bytes stop at 255).
TEST(FastPathRows, PortableAndVectorLoopsAgree)
{
#if VAXO_SSE2_BLEND
    std::mt19937 rng(3);
    for (int trial = 0; trial < 900; ++trial)
    {
        const bool wide = trial % 3 == 2;
        const int offset = trial % 4, n = int(rng() % (wide ? 321 : 41)), stride = n + 4;
        const Pixels src = RandomPixels(rng, size_t(2 * stride), wide ? 300 : 9);
        Pixels dest = RandomPixels(rng, size_t(2 * stride));
        MaybeOpaque(rng, dest);
        auto runsImage = Image(stride, 2, src);
        const uint8_t* runs = runsImage->GetRLAlphaData() + offset;
        const Color c = RandomColor(rng);
        const BlendTint tint{uint32_t(c.mAlpha), uint32_t(c.mRed), uint32_t(c.mGreen), uint32_t(c.mBlue),
                             c.mRed == c.mGreen && c.mGreen == c.mBlue};
        Pixels plain = dest, vector = dest;
        const BlendRect p{src.data() + offset, size_t(stride), plain.data() + offset, size_t(stride), n, 2};
        const BlendRect v{src.data() + offset, size_t(stride), vector.data() + offset, size_t(stride), n, 2};
        const uint32_t fill = (src[0] & 0xFFFFFF) | (1 + rng() % 254) << 24;
        switch (trial / 4 % 5)
        {
        case 0:
            PortableBlend::OverOpaqueRuns(p, runs);
            Sse2Blend::OverOpaqueRuns(v, runs);
            break;
        case 1:
            PortableBlend::OverOpaque(p);
            Sse2Blend::OverOpaque(v);
            break;
        case 2:
            PortableBlend::Weighted(p);
            Sse2Blend::Weighted(v);
            break;
        case 3:
            PortableBlend::Tinted(p, tint);
            Sse2Blend::Tinted(v, tint);
            break;
        default:
            PortableBlend::Fill(p, fill);
            Sse2Blend::Fill(v, fill);
        }
        ASSERT_EQ(vector, plain) << "trial " << trial;
    }
#else
    GTEST_SKIP() << "built with the portable loops only";
#endif
}

// Drawn through Graphics (any other image type) the same glyphs come out the same.
struct ViaGraphicsImage : MemoryImage
{
    ViaGraphicsImage() : MemoryImage(nullptr) {}
};

TEST(FastPathText, LayeredGlyphsMatchTheBlitter)
{
    TestApp app;
    TestFolder folder;
    std::mt19937 rng(5);
    auto sheet = std::make_shared<MemoryImage>(nullptr);
    const Pixels glyphs = RandomPixels(rng, 64 * 9);
    sheet->SetBits(glyphs.data(), 64, 9, true);
    app.ServeImage(folder / "g.png", sheet);
    const std::string path =
        folder.Write("f.txt", "CreateLayer F; LayerSetImage F 'g.png'; LayerSetAscent F 7;\n"
                              "LayerSetImageMap F ('a' 'b' 'c') ((0 0 7 9) (7 0 13 9) (20 0 5 8));\n"
                              "LayerSetCharWidths F ('a' 'b' 'c') (6 12 4);\n"
                              "CreateLayerFrom S F; LayerSetBaseOrder S -2; LayerSetOffset S (2 1);\n"
                              "LayerSetColorMult S (0 0 0 0.5);\n"
                              "CreateLayerFrom O F; LayerSetBaseOrder O -1; LayerSetOffset O (-1 0);\n"
                              "LayerSetColorMult O (1 0.8 0 1);\n");
    ImageFont font(&app, path);
    ASSERT_EQ(font.mActiveLayerList.size(), 3u);
    for (int trial = 0; trial < 40; ++trial)
    {
        Pixels pixels = RandomPixels(rng, 60 * 20);
        MaybeOpaque(rng, pixels);
        MemoryImage direct(nullptr);
        ViaGraphicsImage blitted;
        direct.SetBits(pixels.data(), 60, 20, true);
        blitted.SetBits(pixels.data(), 60, 20, true);
        const std::string text = "abcbacab";
        const Color color = RandomColor(rng);
        const int x = int(rng() % 30) - 10, y = int(rng() % 24);
        const TRect<int> clip(int(rng() % 20), int(rng() % 8), 5 + int(rng() % 60), 3 + int(rng() % 20));
        for (MemoryImage* image : {static_cast<MemoryImage*>(&direct), static_cast<MemoryImage*>(&blitted)})
        {
            Graphics g(image);
            g.ClipRect(clip);
            if (trial % 3 == 0)
                g.TranslateF(0.5f, -1.75f);
            else
                g.Translate(1, -1);
            font.DrawStringEx(&g, x, y, text, color, nullptr, nullptr, nullptr);
        }
        ASSERT_EQ(Bits(direct), Bits(blitted)) << "trial " << trial;
    }
}

} // namespace
} // namespace Vaxo
