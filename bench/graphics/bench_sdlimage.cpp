// Display-format drawing against SDL doing the same work on the same surfaces, on a
// 32-bit XRGB (888) and a 16-bit 565 display surface of 800 x 600:
// - the soft-edged 64 x 64 sprite (opaque body, transparent corners, 2-pixel soft edge)
//   blitted at many positions: NativeImage::Blt against SDL 1.2's SDL_BlitSurface from
//   an ARGB surface with per-pixel alpha onto the same display-format surface;
// - the sprite rotated by 0.5 radians about its centre and drawn: BltRotated against
//   SDL_gfx's rotozoomSurface with smoothing followed by SDL_BlitSurface of the result;
// - Redraw of a full 800 x 600 frame (a fill, then presenting it) on the Xvfb server
//   named by VAXO_DISPLAY_24 or VAXO_DISPLAY_16 (skipped when unset).
#include "graphics/support/SDLImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#if VAXO_HAVE_SDL_GFX
#include <SDL_rotozoom.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace Vaxo;

namespace
{

constexpr int kDestW = 800;
constexpr int kDestH = 600;
constexpr int kSprite = 64;
constexpr double kAngle = 0.5;

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

// Positions spread over the destination, the sprite (and its rotation) always inside.
std::vector<std::pair<int, int>> Positions()
{
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < 97; ++i)
        out.push_back({16 + (i * 149) % (kDestW - kSprite - 32), 16 + (i * 83) % (kDestH - kSprite - 32)});
    return out;
}

SDL_Surface* ArgbSurface(const std::vector<uint32_t>& pixels)
{
    SDL_Surface* s =
        SDL_CreateRGBSurface(SDL_SWSURFACE, kSprite, kSprite, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    for (int y = 0; y < kSprite; ++y)
        std::memcpy(static_cast<uint8_t*>(s->pixels) + y * s->pitch, pixels.data() + size_t(y) * kSprite,
                    size_t(kSprite) * 4);
    SDL_SetAlpha(s, SDL_SRCALPHA, 255);
    return s;
}

// The display-format destination, opaque grey, already in its surface.
struct Scene
{
    FormatDisplay display;
    std::unique_ptr<SDLImage> dest;
    std::unique_ptr<SDLImage> sprite;
    explicit Scene(TestFormat format) : display(format)
    {
        dest = MakeSDLImage(&display, kDestW, kDestH, 0xFF406080u);
        dest->GenerateDDSurface();
        sprite = MakeSDLImage(&display, kSprite, kSprite, SpritePixels());
    }
};

void BlitOurs(benchmark::State& state, TestFormat format)
{
    Scene scene(format);
    const auto positions = Positions();
    for (auto _ : state)
        for (const auto& p : positions)
            scene.dest->Blt(scene.sprite.get(), p.first, p.second, TRect<int>(0, 0, kSprite, kSprite),
                            Color::White, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions.size()));
}

void BlitSDL(benchmark::State& state, TestFormat format)
{
    Scene scene(format);
    SDL_Surface* sprite = ArgbSurface(SpritePixels());
    SDL_Surface* dest = scene.dest->GetSurface();
    const auto positions = Positions();
    for (auto _ : state)
        for (const auto& p : positions)
        {
            SDL_Rect r{Sint16(p.first), Sint16(p.second), kSprite, kSprite};
            SDL_BlitSurface(sprite, nullptr, dest, &r);
        }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions.size()));
    SDL_FreeSurface(sprite);
}

void RotateOurs(benchmark::State& state, TestFormat format)
{
    Scene scene(format);
    const auto positions = Positions();
    const TRect<int> clip(0, 0, kDestW, kDestH);
    for (auto _ : state)
        for (const auto& p : positions)
            scene.dest->BltRotated(scene.sprite.get(), float(p.first), float(p.second),
                                   TRect<int>(0, 0, kSprite, kSprite), clip, Color::White, 0, kAngle,
                                   kSprite / 2.0f, kSprite / 2.0f);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions.size()));
}

#if VAXO_HAVE_SDL_GFX
void RotateSDL(benchmark::State& state, TestFormat format)
{
    Scene scene(format);
    SDL_Surface* sprite = ArgbSurface(SpritePixels());
    SDL_Surface* dest = scene.dest->GetSurface();
    const auto positions = Positions();
    const double degrees = kAngle * 180.0 / M_PI;
    for (auto _ : state)
        for (const auto& p : positions)
        {
            SDL_Surface* rotated = rotozoomSurface(sprite, degrees, 1.0, SMOOTHING_ON);
            SDL_Rect r{Sint16(p.first + kSprite / 2 - rotated->w / 2),
                       Sint16(p.second + kSprite / 2 - rotated->h / 2), Uint16(rotated->w),
                       Uint16(rotated->h)};
            SDL_BlitSurface(rotated, nullptr, dest, &r);
            SDL_FreeSurface(rotated);
        }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(positions.size()));
    SDL_FreeSurface(sprite);
}
#endif

void Redraw(benchmark::State& state, const char* env)
{
    const char* name = std::getenv(env);
    if (name == nullptr)
    {
        state.SkipWithError("display not set");
        for (auto _ : state)
        {
        }
        return;
    }
    setenv("DISPLAY", name, 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    bool up = false;
    for (int attempt = 0; attempt < 20 && !up; ++attempt)
        if (!(up = SDL_Init(SDL_INIT_VIDEO) == 0))
            SDL_Delay(50);
    if (!up)
    {
        state.SkipWithError("no video");
        for (auto _ : state)
        {
        }
        return;
    }
    {
        TestApp app;
        app.mWidth = kDestW;
        app.mHeight = kDestH;
        app.mIsWindowed = true;
        SDLDisplay display(&app);
        app.mDisplay = &display;
        if (display.Init() != NativeDisplay::RESULT_OK)
            state.SkipWithError("Init failed");
        else
        {
            Image* screen = display.GetScreenImage();
            int frame = 0;
            for (auto _ : state)
            {
                screen->FillRect(TRect<int>(0, 0, kDestW, kDestH), Color(frame & 255, 64, 128), 0);
                display.Redraw(nullptr);
                ++frame;
            }
        }
        display.Cleanup();
        app.mDisplay = nullptr;
    }
    SDL_Quit();
}

BENCHMARK_CAPTURE(BlitOurs, 888, TestFormat::k888);
BENCHMARK_CAPTURE(BlitSDL, 888, TestFormat::k888);
BENCHMARK_CAPTURE(BlitOurs, 565, TestFormat::k565);
BENCHMARK_CAPTURE(BlitSDL, 565, TestFormat::k565);
BENCHMARK_CAPTURE(RotateOurs, 888, TestFormat::k888);
#if VAXO_HAVE_SDL_GFX
BENCHMARK_CAPTURE(RotateSDL, 888, TestFormat::k888);
#endif
BENCHMARK_CAPTURE(RotateOurs, 565, TestFormat::k565);
#if VAXO_HAVE_SDL_GFX
BENCHMARK_CAPTURE(RotateSDL, 565, TestFormat::k565);
#endif
BENCHMARK_CAPTURE(Redraw, depth24, "VAXO_DISPLAY_24")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Redraw, depth16, "VAXO_DISPLAY_16")->Unit(benchmark::kMillisecond);

} // namespace
