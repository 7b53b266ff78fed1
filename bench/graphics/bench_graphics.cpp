// Drawing context benchmarks.
//
// Solid polygon fill: a 64-gon of radius 20, 100 and 250 filled opaque into an 800 x 600
// software image through Graphics::PolyFill, against SDL_gfx's filledPolygonRGBA on an
// SDL surface wrapping a buffer of the same size (no display needed). Compare the
// polygons per second of each pair.
//
// Nine-slice box: a 96 x 96 dialog skin drawn with DrawImageBox into 780 x 580; the
// time per iteration is the time of one call.
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"

#if VAXO_HAVE_SDL_GFX
#include <SDL/SDL.h>
#include <SDL/SDL_gfxPrimitives.h>
#endif
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace Vaxo;

namespace
{
const int kWidth = 800;
const int kHeight = 600;
const int kSides = 64;

std::vector<TPoint<int>> Polygon(int radius)
{
    std::vector<TPoint<int>> points;
    for (int i = 0; i < kSides; i++)
    {
        double a = 2 * M_PI * i / kSides;
        points.push_back(TPoint<int>(int(std::lround(400 + radius * std::cos(a))),
                                     int(std::lround(300 + radius * std::sin(a)))));
    }
    return points;
}

void BM_PolyFill(benchmark::State& state)
{
    MemoryImage image(nullptr);
    image.Create(kWidth, kHeight);
    image.GetBits();
    Graphics g(&image);
    g.SetColor(Color(200, 40, 90, 255));
    std::vector<TPoint<int>> points = Polygon(int(state.range(0)));
    for (auto _ : state)
    {
        g.PolyFill(points.data(), kSides);
        benchmark::DoNotOptimize(image.mBits[300 * kWidth + 400]);
    }
    state.SetItemsProcessed(state.iterations());
}

#if VAXO_HAVE_SDL_GFX
void BM_SDLGfxFilledPolygon(benchmark::State& state)
{
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
    SDL_Surface* surface = SDL_CreateRGBSurfaceFrom(pixels.data(), kWidth, kHeight, 32, kWidth * 4,
                                                    0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000);
    std::vector<TPoint<int>> points = Polygon(int(state.range(0)));
    std::vector<Sint16> vx, vy;
    for (const TPoint<int>& p : points)
    {
        vx.push_back(Sint16(p.mX));
        vy.push_back(Sint16(p.mY));
    }
    for (auto _ : state)
    {
        filledPolygonRGBA(surface, vx.data(), vy.data(), kSides, 200, 40, 90, 255);
        benchmark::DoNotOptimize(pixels[300 * kWidth + 400]);
    }
    state.SetItemsProcessed(state.iterations());
    SDL_FreeSurface(surface);
}
#endif

void BM_DrawImageBox(benchmark::State& state)
{
    MemoryImage screen(nullptr);
    screen.Create(kWidth, kHeight);
    screen.GetBits();
    MemoryImage skin(nullptr);
    skin.Create(96, 96);
    uint32_t* bits = skin.GetBits();
    // A frame with a translucent shadowed border and an opaque face.
    for (int y = 0; y < 96; y++)
        for (int x = 0; x < 96; x++)
        {
            bool border = x < 12 || y < 12 || x >= 84 || y >= 84;
            bits[y * 96 + x] = border ? 0x80402010u + uint32_t(x + y) : 0xFFD0C8B0u;
        }
    skin.BitsChanged();
    Graphics g(&screen);
    for (auto _ : state)
    {
        g.DrawImageBox(TRect<int>(10, 10, 780, 580), &skin);
        benchmark::DoNotOptimize(screen.mBits[300 * kWidth + 400]);
    }
}
} // namespace

BENCHMARK(BM_PolyFill)->Arg(20)->Arg(100)->Arg(250);
#if VAXO_HAVE_SDL_GFX
BENCHMARK(BM_SDLGfxFilledPolygon)->Arg(20)->Arg(100)->Arg(250);
#endif
BENCHMARK(BM_DrawImageBox)->Unit(benchmark::kMicrosecond);
