// Software-image pixel loops against references doing the same work on the same pixels:
// - a 64 x 64 sprite (opaque body, transparent corners, soft 2-pixel edge) blitted at
//   many positions onto an opaque 800 x 600 image: SDL 1.2's SDL_BlitSurface with
//   per-pixel alpha, pixman's OVER (premultiplied source) and a plain memcpy of the rows;
// - a filtered 2x stretch against SDL_gfx's zoomSurface with smoothing;
// - a rotated copy against SDL_gfx's rotozoomSurface with smoothing;
// - the sprite drawn at fractional positions (the filtered loop at angle 0) against
//   pixman's OVER through its bilinear filter at the same fraction;
// - a translucent FillRect against pixman's OVER with a solid source.
#include "graphics/MemoryImage.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#if VAXO_HAVE_SDL_GFX
#include <SDL_rotozoom.h>
#endif
#if VAXO_HAVE_PIXMAN
#include <pixman.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace Vaxo;

namespace
{

constexpr int kDestW = 800;
constexpr int kDestH = 600;
constexpr int kSprite = 64;

// Opaque inside radius 29, fading to transparent over the 2 pixels outside it.
std::vector<uint32_t> SpritePixels()
{
    std::vector<uint32_t> pixels(kSprite * kSprite);
    for (int y = 0; y < kSprite; ++y)
        for (int x = 0; x < kSprite; ++x)
        {
            const double d = std::hypot(x + 0.5 - kSprite / 2.0, y + 0.5 - kSprite / 2.0);
            const double a = std::clamp((31.0 - d) / 2.0, 0.0, 1.0);
            const uint32_t alpha = uint32_t(a * 255.0 + 0.5);
            const uint32_t rgb = (uint32_t(x * 4) << 16) | (uint32_t(y * 4) << 8) | 0x80;
            pixels[size_t(y * kSprite + x)] = alpha << 24 | rgb;
        }
    return pixels;
}

#if VAXO_HAVE_PIXMAN
std::vector<uint32_t> Premultiplied(const std::vector<uint32_t>& pixels)
{
    std::vector<uint32_t> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i)
    {
        const uint32_t p = pixels[i], a = p >> 24;
        auto ch = [&](int s) { return (((p >> s) & 0xFF) * a + 127) / 255; };
        out[i] = a << 24 | ch(16) << 16 | ch(8) << 8 | ch(0);
    }
    return out;
}
#endif

// Positions spread over the destination, the sprite always fully inside.
std::vector<std::pair<int, int>> Positions()
{
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < 97; ++i)
        out.push_back({(i * 149) % (kDestW - kSprite), (i * 83) % (kDestH - kSprite)});
    return out;
}

std::unique_ptr<MemoryImage> MakeImage(int w, int h, const std::vector<uint32_t>& pixels)
{
    auto image = std::make_unique<MemoryImage>(nullptr);
    image->SetBits(pixels.data(), w, h, true);
    return image;
}

SDL_Surface* MakeSurface(int w, int h, bool alpha, const std::vector<uint32_t>& pixels)
{
    SDL_Surface* s =
        SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0xFF00, 0xFF, alpha ? 0xFF000000u : 0u);
    for (int y = 0; y < h; ++y)
        std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, pixels.data() + size_t(y) * size_t(w),
                    size_t(w) * 4);
    return s;
}

void BM_NormalBlt_Sprite(benchmark::State& state)
{
    auto dest = MakeImage(kDestW, kDestH, std::vector<uint32_t>(kDestW * kDestH, 0xFF304050));
    auto sprite = MakeImage(kSprite, kSprite, SpritePixels());
    const auto positions = Positions();
    size_t i = 0;
    for (auto _ : state)
    {
        const auto& p = positions[i++ % positions.size()];
        dest->Blt(sprite.get(), p.first, p.second, TRect<int>(0, 0, kSprite, kSprite), Color::White, 0);
    }
    benchmark::DoNotOptimize(dest->mBits);
    state.SetItemsProcessed(state.iterations());
}

void BM_SDL_BlitSurface_Sprite(benchmark::State& state)
{
    SDL_Surface* dest =
        MakeSurface(kDestW, kDestH, false, std::vector<uint32_t>(kDestW * kDestH, 0xFF304050));
    SDL_Surface* sprite = MakeSurface(kSprite, kSprite, true, SpritePixels());
    SDL_SetAlpha(sprite, SDL_SRCALPHA, 255);
    const auto positions = Positions();
    size_t i = 0;
    for (auto _ : state)
    {
        const auto& p = positions[i++ % positions.size()];
        SDL_Rect r{Sint16(p.first), Sint16(p.second), kSprite, kSprite};
        SDL_BlitSurface(sprite, nullptr, dest, &r);
    }
    benchmark::DoNotOptimize(dest->pixels);
    SDL_FreeSurface(sprite);
    SDL_FreeSurface(dest);
    state.SetItemsProcessed(state.iterations());
}

#if VAXO_HAVE_PIXMAN
// The premultiplied sprite composited by pixman's OVER at the positions of
// BM_NormalBlt_Sprite, size x size pixels each; prepare(sprite) sets up its image first.
template <class Prepare> void PixmanOverSprite(benchmark::State& state, int size, Prepare prepare)
{
    std::vector<uint32_t> destPixels(kDestW * kDestH, 0xFF304050);
    std::vector<uint32_t> spritePixels = Premultiplied(SpritePixels());
    pixman_image_t* dest =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, kDestW, kDestH, destPixels.data(), kDestW * 4);
    pixman_image_t* sprite =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, kSprite, kSprite, spritePixels.data(), kSprite * 4);
    prepare(sprite);
    const auto positions = Positions();
    size_t i = 0;
    for (auto _ : state)
    {
        const auto& p = positions[i++ % positions.size()];
        pixman_image_composite32(PIXMAN_OP_OVER, sprite, nullptr, dest, 0, 0, 0, 0, p.first, p.second, size,
                                 size);
    }
    benchmark::DoNotOptimize(destPixels.data());
    pixman_image_unref(sprite);
    pixman_image_unref(dest);
    state.SetItemsProcessed(state.iterations());
}

void BM_Pixman_Over_Sprite(benchmark::State& state)
{
    PixmanOverSprite(state, kSprite, [](pixman_image_t*) {});
}
#endif

void BM_Memcpy_Sprite(benchmark::State& state)
{
    std::vector<uint32_t> dest(kDestW * kDestH, 0xFF304050);
    const std::vector<uint32_t> sprite = SpritePixels();
    const auto positions = Positions();
    size_t i = 0;
    for (auto _ : state)
    {
        const auto& p = positions[i++ % positions.size()];
        for (int y = 0; y < kSprite; ++y)
            std::memcpy(&dest[size_t(p.second + y) * kDestW + size_t(p.first)], &sprite[size_t(y) * kSprite],
                        kSprite * 4);
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

// Source for the stretch and rotation: a picture with soft alpha everywhere.
std::vector<uint32_t> Picture(int w, int h)
{
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pixels[size_t(y * w + x)] = uint32_t(128 + (x + y) % 128) << 24 | uint32_t(x * 255 / w) << 16 |
                                        uint32_t(y * 255 / h) << 8 | uint32_t((x * y) & 0xFF);
    return pixels;
}

constexpr int kPicW = 160;
constexpr int kPicH = 120;

void BM_SlowStretchBlt_2x(benchmark::State& state)
{
    auto src = MakeImage(kPicW, kPicH, Picture(kPicW, kPicH));
    auto dest = MakeImage(2 * kPicW, 2 * kPicH, std::vector<uint32_t>(size_t(4 * kPicW * kPicH), 0xFF000000));
    const TRect<int> all(0, 0, 2 * kPicW, 2 * kPicH);
    for (auto _ : state)
        dest->StretchBlt(src.get(), all, TRect<int>(0, 0, kPicW, kPicH), all, Color::White, 0, false);
    benchmark::DoNotOptimize(dest->mBits);
    state.SetItemsProcessed(state.iterations());
}

#if VAXO_HAVE_SDL_GFX
void BM_SDLgfx_ZoomSurface_2x(benchmark::State& state)
{
    SDL_Surface* src = MakeSurface(kPicW, kPicH, true, Picture(kPicW, kPicH));
    for (auto _ : state)
    {
        SDL_Surface* out = zoomSurface(src, 2.0, 2.0, SMOOTHING_ON);
        benchmark::DoNotOptimize(out->pixels);
        SDL_FreeSurface(out);
    }
    SDL_FreeSurface(src);
    state.SetItemsProcessed(state.iterations());
}
#endif

void BM_BltRotated_30deg(benchmark::State& state)
{
    auto src = MakeImage(kPicW, kPicH, Picture(kPicW, kPicH));
    auto dest = MakeImage(256, 256, std::vector<uint32_t>(256 * 256, 0xFF000000));
    const double angle = 30.0 * M_PI / 180.0;
    for (auto _ : state)
        dest->BltRotated(src.get(), 128.0f - kPicW / 2, 128.0f - kPicH / 2, TRect<int>(0, 0, kPicW, kPicH),
                         TRect<int>(0, 0, 256, 256), Color::White, 0, angle, kPicW / 2.0f, kPicH / 2.0f);
    benchmark::DoNotOptimize(dest->mBits);
    state.SetItemsProcessed(state.iterations());
}

// The sprite at the positions of BM_NormalBlt_Sprite moved by a fraction of a pixel.
void BM_BltF_Sprite(benchmark::State& state)
{
    auto dest = MakeImage(kDestW, kDestH, std::vector<uint32_t>(kDestW * kDestH, 0xFF304050));
    auto sprite = MakeImage(kSprite, kSprite, SpritePixels());
    const auto positions = Positions();
    const TRect<int> all(0, 0, kSprite, kSprite), clip(0, 0, kDestW, kDestH);
    size_t i = 0;
    for (auto _ : state)
    {
        const auto& p = positions[i++ % positions.size()];
        dest->BltF(sprite.get(), float(p.first) + 0.25f, float(p.second) + 0.75f, all, clip, Color::White, 0);
    }
    benchmark::DoNotOptimize(dest->mBits);
    state.SetItemsProcessed(state.iterations());
}

#if VAXO_HAVE_PIXMAN
// BM_BltF_Sprite's draws through pixman: the sprite translated by the same fraction,
// bilinear, nothing outside it. A 64 x 64 image moved by a fraction covers 65 x 65 pixels.
void BM_Pixman_BilinearOver_Sprite(benchmark::State& state)
{
    PixmanOverSprite(state, kSprite + 1,
                     [](pixman_image_t* sprite)
                     {
                         // Destination to source: the sprite lands 0.25 right and 0.75 down.
                         pixman_transform_t shift;
                         pixman_transform_init_translate(&shift, pixman_double_to_fixed(-0.25),
                                                         pixman_double_to_fixed(-0.75));
                         pixman_image_set_transform(sprite, &shift);
                         pixman_image_set_filter(sprite, PIXMAN_FILTER_BILINEAR, nullptr, 0);
                         pixman_image_set_repeat(sprite, PIXMAN_REPEAT_NONE);
                     });
}
#endif

#if VAXO_HAVE_SDL_GFX
void BM_SDLgfx_RotozoomSurface_30deg(benchmark::State& state)
{
    SDL_Surface* src = MakeSurface(kPicW, kPicH, true, Picture(kPicW, kPicH));
    for (auto _ : state)
    {
        SDL_Surface* out = rotozoomSurface(src, 30.0, 1.0, SMOOTHING_ON);
        benchmark::DoNotOptimize(out->pixels);
        SDL_FreeSurface(out);
    }
    SDL_FreeSurface(src);
    state.SetItemsProcessed(state.iterations());
}
#endif

void BM_FillRect_Translucent(benchmark::State& state)
{
    auto dest = MakeImage(kDestW, kDestH, std::vector<uint32_t>(kDestW * kDestH, 0xFF304050));
    for (auto _ : state)
        dest->FillRect(TRect<int>(100, 100, 400, 300), Color(200, 100, 50, 128), 0);
    benchmark::DoNotOptimize(dest->mBits);
    state.SetItemsProcessed(state.iterations());
}

#if VAXO_HAVE_PIXMAN
void BM_Pixman_OverSolid(benchmark::State& state)
{
    std::vector<uint32_t> destPixels(kDestW * kDestH, 0xFF304050);
    pixman_image_t* dest =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, kDestW, kDestH, destPixels.data(), kDestW * 4);
    // Premultiplied 16-bit channels of (200, 100, 50) at alpha 128.
    const pixman_color_t color{uint16_t(200 * 128 / 255 * 257), uint16_t(100 * 128 / 255 * 257),
                               uint16_t(50 * 128 / 255 * 257), uint16_t(128 * 257)};
    pixman_image_t* solid = pixman_image_create_solid_fill(&color);
    for (auto _ : state)
        pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, dest, 0, 0, 0, 0, 100, 100, 400, 300);
    benchmark::DoNotOptimize(destPixels.data());
    pixman_image_unref(solid);
    pixman_image_unref(dest);
    state.SetItemsProcessed(state.iterations());
}
#endif

} // namespace

BENCHMARK(BM_NormalBlt_Sprite);
BENCHMARK(BM_SDL_BlitSurface_Sprite);
#if VAXO_HAVE_PIXMAN
BENCHMARK(BM_Pixman_Over_Sprite);
#endif
BENCHMARK(BM_Memcpy_Sprite);
BENCHMARK(BM_SlowStretchBlt_2x);
#if VAXO_HAVE_SDL_GFX
BENCHMARK(BM_SDLgfx_ZoomSurface_2x);
#endif
BENCHMARK(BM_BltRotated_30deg);
BENCHMARK(BM_BltF_Sprite);
#if VAXO_HAVE_PIXMAN
BENCHMARK(BM_Pixman_BilinearOver_Sprite);
#endif
#if VAXO_HAVE_SDL_GFX
BENCHMARK(BM_SDLgfx_RotozoomSurface_30deg);
#endif
BENCHMARK(BM_FillRect_Translucent);
#if VAXO_HAVE_PIXMAN
BENCHMARK(BM_Pixman_OverSolid);
#endif
