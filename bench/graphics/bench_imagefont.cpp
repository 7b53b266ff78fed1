// ImageFont drawing and measuring speed.
//
// DrawString of 40- and 400-character strings with a 1-layer and a 3-layer font (shadow,
// outline, face) into an 800 x 600 MemoryImage, against the reference: a plain
// SDL_BlitSurface loop over the same glyph rectangles of one per-pixel-alpha atlas into
// an 800 x 600 surface. Both report glyphs per second (glyph draws, so the 3-layer font
// counts three per character). StringWidth is reported in time per character.
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

const int kCellWidth = 10;
const int kCellHeight = 14;
const int kFirst = 32;
const int kLast = 126;
const int kGlyphs = kLast - kFirst + 1;

// The alpha of one atlas pixel: a glyph-like blob with a soft edge, different per code.
uint32_t AtlasAlpha(int code, int x, int y)
{
    if (x == 0 || x >= kCellWidth - 1 || y < 2 || y >= kCellHeight - 1)
        return 0;
    const bool stroke = ((x + y + code) % 5) < 3 || x == 2 || y == kCellHeight - 3;
    const bool edge = ((x * 7 + y * 3 + code) % 4) == 0;
    return stroke ? (edge ? 128 : 255) : 0;
}

struct Fixture
{
    TestApp app;
    std::string dir;
    std::shared_ptr<MemoryImage> atlas;
    SDL_Surface* atlasSurface = nullptr;
    SDL_Surface* destSurface = nullptr;
    std::unique_ptr<MemoryImage> dest;
    std::unique_ptr<ImageFont> font1;
    std::unique_ptr<ImageFont> font3;

    Fixture()
    {
        char pattern[] = "/tmp/vaxo_bench_font_XXXXXX";
        dir = mkdtemp(pattern);
        const int width = kGlyphs * kCellWidth;
        atlas = std::make_shared<MemoryImage>(nullptr);
        atlas->Create(width, kCellHeight);
        uint32_t* bits = atlas->GetBits();
        atlasSurface = SDL_CreateRGBSurface(SDL_SWSURFACE, width, kCellHeight, 32, 0x00FF0000, 0x0000FF00,
                                            0x000000FF, 0xFF000000);
        SDL_LockSurface(atlasSurface);
        for (int y = 0; y < kCellHeight; ++y)
            for (int x = 0; x < width; ++x)
            {
                const uint32_t pixel =
                    AtlasAlpha(kFirst + x / kCellWidth, x % kCellWidth, y) << 24 | 0xFFFFFF;
                bits[y * width + x] = pixel;
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(atlasSurface->pixels) +
                                            y * atlasSurface->pitch)[x] = pixel;
            }
        SDL_UnlockSurface(atlasSurface);
        atlas->BitsChanged();
        app.ServeImage(dir + "/atlas.png", atlas);

        dest = std::make_unique<MemoryImage>(nullptr);
        dest->Create(800, 600);
        destSurface =
            SDL_CreateRGBSurface(SDL_SWSURFACE, 800, 600, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        ClearDest();

        std::string chars;
        std::string rects;
        std::string widths;
        for (int code = kFirst; code <= kLast; ++code)
        {
            chars += code == '\''
                         ? "\"'\" "
                         : std::string("'") + (code == '\\' ? "\\\\" : std::string(1, char(code))) + "' ";
            rects += "(" + std::to_string((code - kFirst) * kCellWidth) + " 0 " + std::to_string(kCellWidth) +
                     " " + std::to_string(kCellHeight) + ") ";
            widths += "9 ";
        }
        const std::string face = "CreateLayer Face; LayerSetImage Face 'atlas.png';\n"
                                 "LayerSetImageMap Face (" +
                                 chars + ") (" + rects +
                                 ");\n"
                                 "LayerSetCharWidths Face (" +
                                 chars + ") (" + widths +
                                 ");\n"
                                 "LayerSetAscent Face 12;\n";
        font1 = MakeFont("font1.txt", face);
        font3 = MakeFont("font3.txt",
                         face + "CreateLayerFrom Shadow Face; LayerSetBaseOrder Shadow -2;\n"
                                "LayerSetOffset Shadow (2 2); LayerSetColorMult Shadow (0 0 0 0.5);\n"
                                "CreateLayerFrom Outline Face; LayerSetBaseOrder Outline -1;\n"
                                "LayerSetOffset Outline (-1 0); LayerSetColorMult Outline (1 0.8 0 1);\n");
    }

    std::unique_ptr<ImageFont> MakeFont(const std::string& name, const std::string& text)
    {
        const std::string path = dir + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        auto font = std::make_unique<ImageFont>(&app, path);
        if (!font->mFontData->mInitialized || !app.mPopups.empty())
        {
            std::fprintf(stderr, "font failed: %s\n",
                         app.mPopups.empty() ? "" : app.mPopups[0].first.c_str());
            std::abort();
        }
        std::remove(path.c_str());
        return font;
    }

    void ClearDest()
    {
        uint32_t* bits = dest->GetBits();
        for (int i = 0; i < 800 * 600; ++i)
            bits[i] = 0xFF203040;
        dest->BitsChanged();
        dest->CommitBits();
        SDL_FillRect(destSurface, nullptr, 0x203040);
    }
};

Fixture& Get()
{
    static Fixture* fixture = new Fixture(); // kept for the whole run
    return *fixture;
}

std::string RandomText(size_t length)
{
    std::mt19937 rng(1234);
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += char(kFirst + int(rng() % kGlyphs));
    return text;
}

ImageFont& FontOf(int layers)
{
    return layers == 1 ? *Get().font1 : *Get().font3;
}

void BM_DrawString(benchmark::State& state)
{
    Fixture& f = Get();
    ImageFont& font = FontOf(int(state.range(1)));
    const std::string text = RandomText(size_t(state.range(0)));
    Graphics g(f.dest.get());
    g.SetFont(&font);
    g.SetColor(Color::White);
    int line = 0;
    for (auto _ : state)
    {
        g.DrawString(text, 0, 20 + (line++ % 36) * 16);
        benchmark::ClobberMemory();
    }
    const double glyphs = double(text.size()) * double(font.mActiveLayerList.size());
    state.counters["glyphs/s"] =
        benchmark::Counter(glyphs * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SDLBlitReference(benchmark::State& state)
{
    Fixture& f = Get();
    ImageFont& font = FontOf(int(state.range(1)));
    const std::string text = RandomText(size_t(state.range(0)));
    // The glyph rectangles the font queues, in its queue order.
    std::list<TRect<int>> areas;
    Graphics scratch(nullptr);
    font.DrawStringEx(&scratch, 0, 0, text, Color::White, nullptr, &areas, nullptr);
    struct Blit
    {
        SDL_Rect src;
        int x, y;
    };
    std::vector<Blit> blits;
    auto area = areas.begin();
    for (char c : text)
        for (const ActiveFontLayer& active : font.mActiveLayerList)
        {
            const TRect<int>& r = active.mScaledCharImageRects[font.mFontData->mCharMap[uint8_t(c)]];
            blits.push_back(
                {{Sint16(r.mX), Sint16(r.mY), Uint16(r.mWidth), Uint16(r.mHeight)}, area->mX, area->mY});
            ++area;
        }
    int line = 0;
    for (auto _ : state)
    {
        const int y = 20 + (line++ % 36) * 16;
        for (const Blit& b : blits)
        {
            SDL_Rect src = b.src;
            SDL_Rect dst = {Sint16(std::max(-32768, std::min(32767, b.x))), Sint16(y + b.y), 0, 0};
            SDL_BlitSurface(f.atlasSurface, &src, f.destSurface, &dst);
        }
        benchmark::ClobberMemory();
    }
    state.counters["glyphs/s"] =
        benchmark::Counter(double(blits.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_StringWidth(benchmark::State& state)
{
    ImageFont& font = FontOf(int(state.range(1)));
    const std::string text = RandomText(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(font.StringWidth(text));
    // Seconds per character, printed with an SI prefix (n = nanoseconds).
    state.counters["time/char"] =
        benchmark::Counter(double(text.size()) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Args(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"chars", "layers"});
    for (int layers : {1, 3})
        for (int chars : {40, 400})
            b->Args({chars, layers});
}

} // namespace

BENCHMARK(BM_DrawString)->Apply(Args);
BENCHMARK(BM_SDLBlitReference)->Apply(Args);
BENCHMARK(BM_StringWidth)->Apply(Args);
