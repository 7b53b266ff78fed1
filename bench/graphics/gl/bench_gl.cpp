// OpenGL renderer beside the software path, drawing the same scenes in one run: 1,000
// sprites of 64 x 64, an 800 x 600 background (texture flags 0 and 1), and the cost of
// getting 800 x 600 pixels ready to draw (texture upload, refill in place; for software the
// conversion to the display's format). Runs on the X display in VAXO_DISPLAY_24, else
// DISPLAY (Mesa llvmpipe under Xvfb here: no GPU, so the figures are relative). Wall-clock
// time throughout: llvmpipe draws on its own threads.
#include "graphics/MemoryImage.h"
#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/GLTestContext.h"
#include "graphics/gl/support/GLTestUtil.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

namespace Vaxo
{
namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kSprites = 1000;

// The one context and renderer of the run; made on first use and kept to the end.
GLTestRenderer* Renderer(std::string* error)
{
    static std::string sError;
    static GLTestRenderer* sRenderer = []() -> GLTestRenderer*
    {
        const char* env = GLTestContext::Requested("VAXO_DISPLAY_24") ? "VAXO_DISPLAY_24" : "DISPLAY";
        sError = GLTestContext::Open(env, kWidth, kHeight);
        return sError.empty() ? new GLTestRenderer(kWidth, kHeight) : nullptr;
    }();
    *error = sError;
    return sRenderer;
}

// A 64 x 64 ball: opaque inside, a translucent rim, transparent corners.
std::unique_ptr<MemoryImage> Sprite(GraphicsApp* app)
{
    auto image = std::make_unique<MemoryImage>(app);
    image->Create(64, 64);
    uint32_t* bits = image->GetBits();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
        {
            const float d = std::hypot(float(x) - 31.5f, float(y) - 31.5f);
            const uint32_t a = d < 28 ? 255 : (d < 32 ? uint32_t((32 - d) * 63) : 0);
            bits[y * 64 + x] = (a << 24) | (PatternPixel(x * 4, y * 4) & 0xFFFFFF);
        }
    image->BitsChanged();
    return image;
}

// Where sprite i of a frame goes.
void SpritePos(int i, int& x, int& y)
{
    x = (i * 37) % (kWidth - 64);
    y = (i * 53) % (kHeight - 64);
}

void FinishFrame(GL3DInterface& r)
{
    glFinish();
    r.Flush(true);
}

void BM_GLSprites(benchmark::State& state)
{
    std::string error;
    GLTestRenderer* t = Renderer(&error);
    if (t == nullptr)
        return state.SkipWithError(error.c_str());
    auto sprite = Sprite(&t->mApp);
    GL3DInterface& r = *t->mRenderer;
    const TRect<int> src(0, 0, 64, 64);
    for (auto _ : state)
    {
        for (int i = 0; i < kSprites; ++i)
        {
            int x, y;
            SpritePos(i, x, y);
            r.Blt(sprite.get(), float(x), float(y), src, Color::White, 0, false);
        }
        FinishFrame(r);
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}
BENCHMARK(BM_GLSprites)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SoftwareSprites(benchmark::State& state)
{
    MemoryImage screen(nullptr);
    screen.Create(kWidth, kHeight);
    screen.FillRect(TRect<int>(0, 0, kWidth, kHeight), Color(40, 80, 120), 0);
    screen.CommitBits();
    auto sprite = Sprite(nullptr);
    const TRect<int> src(0, 0, 64, 64);
    for (auto _ : state)
    {
        for (int i = 0; i < kSprites; ++i)
        {
            int x, y;
            SpritePos(i, x, y);
            screen.Blt(sprite.get(), x, y, src, Color::White, 0);
        }
        benchmark::DoNotOptimize(screen.mBits);
    }
    state.SetItemsProcessed(state.iterations() * kSprites);
}
BENCHMARK(BM_SoftwareSprites)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GLBackground(benchmark::State& state)
{
    std::string error;
    GLTestRenderer* t = Renderer(&error);
    if (t == nullptr)
        return state.SkipWithError(error.c_str());
    auto background = PatternImage(&t->mApp, kWidth, kHeight);
    background->m3DFlags = uint32_t(state.range(0));
    GL3DInterface& r = *t->mRenderer;
    const TRect<int> src(0, 0, kWidth, kHeight);
    for (auto _ : state)
    {
        r.Blt(background.get(), 0, 0, src, Color::White, 0, false);
        FinishFrame(r);
    }
    state.SetLabel(state.range(0) == 0 ? "flags 0: 40 pieces" : "flags 1: one 1024 x 1024");
}
BENCHMARK(BM_GLBackground)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SoftwareBackground(benchmark::State& state)
{
    MemoryImage screen(nullptr);
    screen.Create(kWidth, kHeight);
    screen.GetBits();
    screen.BitsChanged();
    screen.CommitBits();
    auto background = PatternImage(nullptr, kWidth, kHeight);
    const TRect<int> src(0, 0, kWidth, kHeight);
    for (auto _ : state)
    {
        screen.Blt(background.get(), 0, 0, src, Color::White, 0);
        benchmark::DoNotOptimize(screen.mBits);
    }
}
BENCHMARK(BM_SoftwareBackground)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GLUpload(benchmark::State& state)
{
    std::string error;
    GLTestRenderer* t = Renderer(&error);
    if (t == nullptr)
        return state.SkipWithError(error.c_str());
    auto image = PatternImage(&t->mApp, kWidth, kHeight);
    GL3DInterface& r = *t->mRenderer;
    const bool refill = state.range(0) != 0;
    r.CreateImageTexture(image.get());
    for (auto _ : state)
    {
        if (refill)
            image->BitsChanged(); // same size and flags: the same textures are refilled
        else
            image->Delete3DBuffers(); // new textures from scratch
        r.CreateImageTexture(image.get());
        glFinish();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 4);
    state.SetLabel(refill ? "refill in place" : "create and upload");
}
BENCHMARK(BM_GLUpload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The software display's counterpart of an upload: the pixels converted to the screen's
// format, premultiplied, after a change.
void BM_SoftwareNativeConvert(benchmark::State& state)
{
    TestDisplay display;
    auto image = PatternImage(nullptr, kWidth, kHeight);
    for (auto _ : state)
    {
        image->BitsChanged();
        benchmark::DoNotOptimize(image->GetNativeAlphaData(&display));
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kWidth) * kHeight * 4);
}
BENCHMARK(BM_SoftwareNativeConvert)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace Vaxo
