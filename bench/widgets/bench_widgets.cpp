// Widget tree benchmarks; report the time per iteration in microseconds.
//
// DrawScreen: an opaque full-screen widget under a translucent dialog with three
// translucent buttons in front of it (as dialogs and their buttons are), drawn into an
// 800 x 600 software image. BM_DrawScreenHoverChange marks one button dirty, as a hover
// change does, and draws; the reference BM_DrawScreenFull redraws everything.
//
// GetWidgetAt: 500 widgets in a grid of 25 x 20, hit-tested at pseudo-random points;
// the reference walks the same rects front to back in a plain array.
//
// UpdateFrame: 1,000 widgets (50 screens of 19 children); the reference calls a virtual
// Update on the same number of plain objects.
#include "graphics/MemoryImage.h"
#include "widgets/WidgetManager.h"
#include "widgets/support/RecordingWidget.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

const int kWidth = 800;
const int kHeight = 600;

// A manager on an 800 x 600 screen owning its widgets.
class Scene
{
public:
    WidgetManager mManager{nullptr};
    MemoryImage mScreen{nullptr};
    std::vector<std::unique_ptr<RecordingWidget>> mWidgets;

    Scene()
    {
        mManager.Resize(TRect<int>(0, 0, kWidth, kHeight), TRect<int>(0, 0, kWidth, kHeight));
        mScreen.Create(kWidth, kHeight);
        mScreen.GetBits();
        mManager.mScreenImage = &mScreen;
    }
    ~Scene()
    {
        for (auto& w : mWidgets)
        {
            if (w->mParent != nullptr)
                w->mParent->RemoveWidget(w.get());
        }
    }
    RecordingWidget* Add(int x, int y, int w, int h, WidgetContainer* parent, const Color& fill)
    {
        mWidgets.push_back(
            std::make_unique<RecordingWidget>(std::to_string(mWidgets.size()), nullptr, x, y, w, h));
        mWidgets.back()->mFill = fill;
        (parent != nullptr ? parent : &mManager)->AddWidget(mWidgets.back().get());
        return mWidgets.back().get();
    }
};

// Returns the button whose hover changes.
RecordingWidget* BuildDialogScene(Scene& scene)
{
    scene.Add(0, 0, kWidth, kHeight, nullptr, Color(30, 60, 90));
    RecordingWidget* dialog = scene.Add(200, 150, 400, 300, nullptr, Color(200, 200, 200, 220));
    dialog->mTranslucent = true;
    dialog->mHasTransparentParts = true;
    dialog->mPriority = 1;
    RecordingWidget* button = nullptr;
    for (int i = 0; i < 3; ++i)
    {
        button = scene.Add(230 + i * 120, 390, 100, 30, nullptr, Color(212, 212, 212, 240));
        button->mTranslucent = true;
    }
    scene.mManager.DrawScreen();
    return button;
}

void BM_DrawScreenHoverChange(benchmark::State& state)
{
    Scene scene;
    RecordingWidget* button = BuildDialogScene(scene);
    for (auto _ : state)
    {
        button->MarkDirty();
        benchmark::DoNotOptimize(scene.mManager.DrawScreen());
    }
}

void BM_DrawScreenFull(benchmark::State& state)
{
    Scene scene;
    BuildDialogScene(scene);
    for (auto _ : state)
    {
        scene.mManager.MarkAllDirty();
        benchmark::DoNotOptimize(scene.mManager.DrawScreen());
    }
}

// Points spread over the screen by a fixed linear congruential walk.
std::vector<TPoint<int>> Points()
{
    std::vector<TPoint<int>> points;
    uint32_t seed = 12345;
    for (int i = 0; i < 1024; ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        points.push_back(TPoint<int>(int((seed >> 8) % kWidth), int((seed >> 20) % kHeight)));
    }
    return points;
}

void BuildGrid(Scene& scene)
{
    for (int row = 0; row < 20; ++row)
    {
        for (int col = 0; col < 25; ++col)
            scene.Add(col * 32, row * 30, 30, 28, nullptr, Color(0, 0, 0));
    }
}

void BM_GetWidgetAt500(benchmark::State& state)
{
    Scene scene;
    BuildGrid(scene);
    const std::vector<TPoint<int>> points = Points();
    size_t i = 0;
    for (auto _ : state)
    {
        const TPoint<int>& p = points[i++ & 1023];
        benchmark::DoNotOptimize(scene.mManager.GetWidgetAt(p.mX, p.mY, nullptr, nullptr));
    }
}

void BM_PlainRectScan500(benchmark::State& state)
{
    std::vector<TRect<int>> rects;
    for (int row = 0; row < 20; ++row)
    {
        for (int col = 0; col < 25; ++col)
            rects.push_back(TRect<int>(col * 32, row * 30, 30, 28));
    }
    const std::vector<TPoint<int>> points = Points();
    size_t i = 0;
    for (auto _ : state)
    {
        const TPoint<int>& p = points[i++ & 1023];
        int hit = -1;
        for (int r = int(rects.size()) - 1; r >= 0; --r)
        {
            if (rects[size_t(r)].Contains(p.mX, p.mY))
            {
                hit = r;
                break;
            }
        }
        benchmark::DoNotOptimize(hit);
    }
}

void BM_UpdateFrame1000(benchmark::State& state)
{
    Scene scene;
    for (int s = 0; s < 50; ++s)
    {
        RecordingWidget* screen = scene.Add(0, 0, kWidth, kHeight, nullptr, Color(0, 0, 0));
        for (int c = 0; c < 19; ++c)
            scene.Add(c * 40, 0, 40, 40, screen, Color(0, 0, 0));
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.mManager.UpdateFrame());
}

struct Plain
{
    virtual ~Plain() = default;
    virtual void Update() { ++mCount; }
    int mCount = 0;
};

void BM_PlainVirtualUpdate1000(benchmark::State& state)
{
    std::vector<std::unique_ptr<Plain>> objects;
    for (int i = 0; i < 1000; ++i)
        objects.push_back(std::make_unique<Plain>());
    for (auto _ : state)
    {
        for (auto& o : objects)
            o->Update();
        benchmark::DoNotOptimize(objects.front()->mCount);
    }
}

} // namespace

BENCHMARK(BM_DrawScreenHoverChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawScreenFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetWidgetAt500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainRectScan500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateFrame1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainVirtualUpdate1000)->Unit(benchmark::kMicrosecond);
