// Widget tree benchmarks; report the time per iteration in microseconds.
//
// DrawScreen, with the number of top-level widgets as the first argument (100, 1,000,
// 10,000), so that growth shows: a grid of opaque cells (on an opaque full-screen
// background when the second argument is 1), under a translucent dialog with three
// translucent buttons in front of it (as dialogs and their buttons are), drawn into an
// 800 x 600 software image. BM_DrawScreenTranslucentDirty marks the dialog dirty and
// draws; BM_DrawScreenHoverChange marks one button dirty, as a hover change does;
// BM_DrawScreenOpaqueDirty marks the rearmost cell. The reference BM_DrawScreenFull
// redraws everything. The widget_by_widget variants run the same on a manager that
// marks one widget at a time, each with a walk of the list, as the root first did. The
// *Only variants mark without drawing (10,000 widgets on the background): the dialog's
// mark, which reaches every widget, against MarkAllDirty.
//
// GetWidgetAt: 500 widgets in a grid of 25 x 20, hit-tested at pseudo-random points;
// the reference walks the same rects front to back in a plain array.
//
// UpdateFrame: 1,000 widgets (50 screens of 19 children); the reference calls a virtual
// Update on the same number of plain objects.
#include "graphics/MemoryImage.h"
#include "widgets/WidgetManager.h"
#include "widgets/support/LegacyMarkingManager.h"
#include "widgets/support/RecordingWidget.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

const int kWidth = 800;
const int kHeight = 600;

// A manager on an 800 x 600 screen owning its widgets; widgetByWidget: the manager that
// marks one widget at a time.
class Scene
{
public:
    std::unique_ptr<WidgetManager> mManager;
    MemoryImage mScreen{nullptr};
    std::vector<std::unique_ptr<RecordingWidget>> mWidgets;

    explicit Scene(bool widgetByWidget = false)
        : mManager(widgetByWidget ? std::make_unique<LegacyMarkingManager>(nullptr)
                                  : std::make_unique<WidgetManager>(nullptr))
    {
        mManager->Resize(TRect<int>(0, 0, kWidth, kHeight), TRect<int>(0, 0, kWidth, kHeight));
        mScreen.Create(kWidth, kHeight);
        mScreen.GetBits();
        mManager->mScreenImage = &mScreen;
    }
    ~Scene()
    {
        // Front to back, so that each removal finds the widget last in the list.
        for (auto it = mWidgets.rbegin(); it != mWidgets.rend(); ++it)
        {
            if ((*it)->mParent != nullptr)
                (*it)->mParent->RemoveWidget(it->get());
        }
    }
    RecordingWidget* Add(int x, int y, int w, int h, WidgetContainer* parent, const Color& fill)
    {
        mWidgets.push_back(
            std::make_unique<RecordingWidget>(std::to_string(mWidgets.size()), nullptr, x, y, w, h));
        mWidgets.back()->mFill = fill;
        (parent != nullptr ? parent : mManager.get())->AddWidget(mWidgets.back().get());
        return mWidgets.back().get();
    }
};

// The widgets of the dialog scene that the benchmarks mark.
struct DialogScene
{
    RecordingWidget* rearCell;
    RecordingWidget* dialog;
    RecordingWidget* button;
};

// widgets top-level widgets in all: the background (when asked for), the cells of a grid
// over the screen with a pixel between them, the dialog and its three buttons; drawn once.
DialogScene BuildDialogScene(Scene& scene, int widgets, bool background)
{
    if (background)
        scene.Add(0, 0, kWidth, kHeight, nullptr, Color(30, 60, 90));
    const int cells = widgets - 4 - (background ? 1 : 0);
    const int columns = int(std::ceil(std::sqrt(cells * double(kWidth) / kHeight)));
    const int rows = (cells + columns - 1) / columns;
    RecordingWidget* rearCell = nullptr;
    for (int i = 0; i < cells; ++i)
    {
        const int column = i % columns, row = i / columns;
        const int x = column * kWidth / columns, y = row * kHeight / rows;
        RecordingWidget* cell =
            scene.Add(x, y, (column + 1) * kWidth / columns - x - 1, (row + 1) * kHeight / rows - y - 1,
                      nullptr, Color(i % 256, 128, 255 - i % 256));
        if (rearCell == nullptr)
            rearCell = cell;
    }
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
    scene.mManager->DrawScreen();
    return DialogScene{rearCell, dialog, button};
}

// Marks the widget picks from the scene dirty and draws, every iteration.
template <class Pick> void MarkAndDraw(benchmark::State& state, bool widgetByWidget, Pick pick)
{
    Scene scene(widgetByWidget);
    RecordingWidget* widget = pick(BuildDialogScene(scene, int(state.range(0)), state.range(1) != 0));
    for (auto _ : state)
    {
        widget->MarkDirty();
        benchmark::DoNotOptimize(scene.mManager->DrawScreen());
    }
}

void BM_DrawScreenTranslucentDirty(benchmark::State& state, bool widgetByWidget)
{
    MarkAndDraw(state, widgetByWidget, [](const DialogScene& s) { return s.dialog; });
}

void BM_DrawScreenHoverChange(benchmark::State& state, bool widgetByWidget)
{
    MarkAndDraw(state, widgetByWidget, [](const DialogScene& s) { return s.button; });
}

void BM_DrawScreenOpaqueDirty(benchmark::State& state, bool widgetByWidget)
{
    MarkAndDraw(state, widgetByWidget, [](const DialogScene& s) { return s.rearCell; });
}

void BM_DrawScreenFull(benchmark::State& state)
{
    Scene scene;
    BuildDialogScene(scene, int(state.range(0)), state.range(1) != 0);
    for (auto _ : state)
    {
        scene.mManager->MarkAllDirty();
        benchmark::DoNotOptimize(scene.mManager->DrawScreen());
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
        benchmark::DoNotOptimize(scene.mManager->GetWidgetAt(p.mX, p.mY, nullptr, nullptr));
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
        benchmark::DoNotOptimize(scene.mManager->UpdateFrame());
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

// Widgets, and a background (1) or none (0); the hover change and the cell on the
// background only.
void Scenes(benchmark::internal::Benchmark* b, const std::vector<int64_t>& backgrounds)
{
    b->ArgsProduct({{100, 1000, 10000}, backgrounds})->ArgNames({"widgets", "background"});
    b->Unit(benchmark::kMicrosecond);
}
void BothBackgrounds(benchmark::internal::Benchmark* b)
{
    Scenes(b, {1, 0});
}
void OnBackground(benchmark::internal::Benchmark* b)
{
    Scenes(b, {1});
}

// The marking alone, without the drawing that clears the marks: MarkAllDirty, or
// BM_DrawScreenTranslucentDirty's mark of the dialog, which reaches every widget.
void MarkWithoutDrawing(benchmark::State& state, bool dialog)
{
    Scene scene;
    DialogScene d = BuildDialogScene(scene, int(state.range(0)), true);
    for (auto _ : state)
    {
        state.PauseTiming();
        scene.mManager->DrawScreen();
        state.ResumeTiming();
        if (dialog)
            d.dialog->MarkDirty();
        else
            scene.mManager->MarkAllDirty();
    }
}
void BM_MarkAllDirtyOnly(benchmark::State& state)
{
    MarkWithoutDrawing(state, false);
}
void BM_MarkTranslucentDirtyOnly(benchmark::State& state)
{
    MarkWithoutDrawing(state, true);
}
} // namespace

BENCHMARK(BM_DrawScreenFull)->Apply(BothBackgrounds);
BENCHMARK_CAPTURE(BM_DrawScreenTranslucentDirty, spread, false)->Apply(BothBackgrounds);
BENCHMARK_CAPTURE(BM_DrawScreenTranslucentDirty, widget_by_widget, true)->Apply(BothBackgrounds);
BENCHMARK_CAPTURE(BM_DrawScreenHoverChange, spread, false)->Apply(OnBackground);
BENCHMARK_CAPTURE(BM_DrawScreenHoverChange, widget_by_widget, true)->Apply(OnBackground);
BENCHMARK_CAPTURE(BM_DrawScreenOpaqueDirty, spread, false)->Apply(OnBackground);
BENCHMARK_CAPTURE(BM_DrawScreenOpaqueDirty, widget_by_widget, true)->Apply(OnBackground);
BENCHMARK(BM_GetWidgetAt500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainRectScan500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateFrame1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainVirtualUpdate1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarkAllDirtyOnly)->Arg(10000)->ArgName("widgets")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MarkTranslucentDirtyOnly)->Arg(10000)->ArgName("widgets")->Unit(benchmark::kMicrosecond);
