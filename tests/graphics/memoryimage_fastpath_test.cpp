// The vector row loops of the software image against plain per-pixel loops written from
// the blend rules: straight copies (run, weighted and tinted rules, palette sources),
// translucent fills, shifted and turned filtered copies, and layered text, on random
// pixels, sizes, offsets and clips.
#include "common/support/TestFolder.h"
#include "graphics/BlendKernels.h"
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <cmath>
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

// Where and how a filtered copy turns its source.
struct Turn
{
    float x, y;
    double angle;
    float cx, cy;
};

// A filtered (turned or shifted) copy of rect of the sw x sh pixels src onto dest, pixel by
// pixel in drawing order (rows down, each from the left), reading src as it goes: when src
// is dest, later pixels see earlier ones. Destination pixels whose sample point lands
// within the source take the bilinear mix of their 2 x 2 neighbours, those past the source
// edge repeating it.
void PlainFiltered(Pixels& dest, int dw, int dh, const Pixels& src, int sw, int sh, const TRect<int>& rect,
                   const TRect<int>& clipRect, Turn t, const Color& color, int mode)
{
    MemoryImage helper(nullptr);
    const TRect<int> clip = clipRect.Intersection(TRect<int>(0, 0, dw, dh));
    TRect<double> out;
    if (rect.mWidth <= 0 || rect.mHeight <= 0 ||
        !helper.BltRotatedClipHelper(t.x, t.y, rect, clip, t.angle, out, t.cx, t.cy))
        return;
    const int left = int(std::floor(out.mX)) - 1, top = int(std::floor(out.mY)) - 1;
    const TRect<int> span = TRect<int>(left, top, int(std::ceil(out.mX + out.mWidth)) + 1 - left,
                                       int(std::ceil(out.mY + out.mHeight)) + 1 - top)
                                .Intersection(clip);
    const int x0 = int(out.mX);
    const double c = std::cos(t.angle), s = std::sin(t.angle);
    const int64_t du = int64_t(c * 65536), dv = int64_t(s * 65536);
    const int64_t uLo = std::max(0, -rect.mX), uHi = std::min(rect.mWidth, sw - rect.mX) - 1;
    const int64_t vLo = std::max(0, -rect.mY), vHi = std::min(rect.mHeight, sh - rect.mY) - 1;
    const bool white = color == Color::White;
    const uint32_t ca = uint32_t(color.mAlpha);
    const uint32_t cc[3] = {uint32_t(color.mRed), uint32_t(color.mGreen), uint32_t(color.mBlue)};
    for (int Y = span.mY; Y < span.mY + span.mHeight; ++Y)
    {
        const float DX = (float(x0) - t.cx) - t.x, DY = (float(Y) - t.cy) - t.y;
        const double uStart = (c * DX - s * DY + t.cx) * 65536, vStart = (c * DY + s * DX + t.cy) * 65536;
        if (!(std::fabs(uStart) < 1e15 && std::fabs(vStart) < 1e15))
            continue;
        for (int X = span.mX; X < span.mX + span.mWidth; ++X)
        {
            const int64_t u = int64_t(uStart) + (X - x0) * du, v = int64_t(vStart) + (X - x0) * dv;
            if (u < uLo * 65536 - 32768 || u >= uHi * 65536 + 32768 || v < vLo * 65536 - 32768 ||
                v >= vHi * 65536 + 32768)
                continue;
            const int64_t iu = u >> 16, iv = v >> 16;
            const uint32_t fx = uint32_t(u & 0xFFFE) + 1, fy = uint32_t(v & 0xFFFE) + 1;
            const uint32_t w[4] = {((65536 - fx) * (65536 - fy)) >> 16, (fx * (65536 - fy)) >> 16,
                                   (fy * (65536 - fx)) >> 16, (fx * fy) >> 16};
            uint32_t A = 0, sum[3] = {0, 0, 0}, p[4];
            for (int q = 0; q < 4; ++q)
            {
                const int64_t su = std::clamp<int64_t>(iu + q % 2, uLo, uHi) + rect.mX;
                const int64_t sv = std::clamp<int64_t>(iv + q / 2, vLo, vHi) + rect.mY;
                p[q] = src[size_t(sv * sw + su)];
                uint32_t share = ((p[q] >> 24) * w[q]) >> 16;
                if (!white)
                    share = (ca * share) >> 8;
                A += share;
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] += ((p[q] >> (16 - 8 * ch)) & 0xFF) * share;
            }
            if (A == 0)
                continue;
            uint32_t& d = dest[size_t(Y * dw + X)];
            const uint32_t da = d >> 24;
            uint32_t alpha = da, res[3];
            const uint32_t inv = 256 - A, k = (inv * (256 - da)) >> 8;
            for (int ch = 0; ch < 3; ++ch)
            {
                const uint32_t dc = (d >> (16 - 8 * ch)) & 0xFF;
                uint32_t P = sum[ch] >> 8;
                if (mode != 0)
                {
                    if (!white)
                        P = (sum[ch] * ((ca * cc[ch]) / 255)) >> 16;
                    res[ch] = std::min<uint32_t>(dc + std::min<uint32_t>(P, 255), 255);
                    continue;
                }
                if (!white)
                    P = (P * (cc[ch] + 1)) >> 8;
                alpha = A >= 251 ? 255 : 255 - k;
                res[ch] =
                    std::min<uint32_t>(A >= 251 ? P : (256 * P + ((da * dc) >> 8) * inv) / (256 - k), 255);
            }
            d = alpha << 24 | res[0] << 16 | res[1] << 8 | res[2];
        }
    }
}

// Shifted copies (angle 0, the common case: every draw at a fractional position) and
// turned ones, of sprites with opaque bodies and soft edges, onto opaque and translucent
// destinations, in every colour case and both modes, through clips and past every edge.
TEST(FastPathFiltered, ShiftedAndTurnedCopiesMatchThePlainRule)
{
    std::mt19937 rng(40);
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const double angles[] = {M_PI / 2, M_PI, -M_PI / 2, 1e-9, 0.5, -2.6};
    for (int trial = 0; trial < 3000; ++trial)
    {
        const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 12), dw = 1 + int(rng() % 56),
                  dh = 1 + int(rng() % 30);
        Pixels src = RandomPixels(rng, size_t(sw * sh), trial % 2 ? 30 : 6);
        Pixels dest = RandomPixels(rng, size_t(dw * dh));
        MaybeOpaque(rng, dest);
        const bool palette = trial % 7 == 3, shared = trial % 11 == 5;
        const Pixels colours = RandomPixels(rng, 9, 3);
        if (palette)
            for (uint32_t& p : src)
                p = colours[p % 9];
        const bool inside = rng() % 3 != 0;
        const TRect<int> rect = inside ? TRect<int>(0, 0, sw, sh)
                                       : TRect<int>(int(rng() % (sw + 3)) - 2, int(rng() % (sh + 2)) - 1,
                                                    int(rng() % (sw + 4)), int(rng() % (sh + 3)));
        const TRect<int> clip =
            rng() % 2 ? TRect<int>(0, 0, dw, dh)
                      : TRect<int>(int(rng() % 8) - 4, int(rng() % 6) - 2, dw + 2 - int(rng() % (dw / 2 + 4)),
                                   dh + 2 - int(rng() % (dh / 2 + 3)));
        const int kind = int(rng() % 10);
        Turn t{float(real(-3 - sw / 2, dw + 2 - sw / 2)), float(real(-2 - sh / 2, dh + 2 - sh / 2)), 0, 0, 0};
        if (kind == 0)
            t.x = std::round(t.x);
        else if (kind >= 6)
        {
            t.angle = kind == 9 ? real(-7, 7) : angles[rng() % 6];
            t.cx = float(real(-2, sw + 2));
            t.cy = float(real(-2, sh + 2));
        }
        const Color color = RandomColor(rng);
        const int mode = rng() % 4 == 0 ? 1 : 0;
        auto d = Image(dw, dh, dest);
        auto s = Image(sw, sh, src);
        ASSERT_TRUE(!palette || s->Palletize()) << trial;
        MemoryImage* from = shared ? d.get() : s.get();
        PlainFiltered(dest, dw, dh, shared ? dest : src, shared ? dw : sw, shared ? dh : sh, rect, clip, t,
                      color, mode);
        d->BltRotated(from, t.x, t.y, rect, clip, color, mode, t.angle, t.cx, t.cy);
        ASSERT_EQ(Bits(*d), dest) << "trial " << trial;
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
