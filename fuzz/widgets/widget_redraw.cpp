// Differential drawing: after every random change to a tree of opaque, translucent and
// partly painted widgets, the screen drawn from the dirty marks must equal a full redraw
// of the same tree. A full-screen opaque widget at the bottom paints every pixel. Hooks
// armed once (draw, overlay, joining, leaving, reordering) delete the widget itself, a
// sibling or its parent; a frame in which a draw hook changed the tree is drawn again in
// full before the next comparison.
#include "graphics/MemoryImage.h"
#include "support/FuzzInput.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/RecordingWidget.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

const int kWidth = 64;
const int kHeight = 48;
const int kNumWidgets = 7;
// Change ops from here up arm, delete or make widgets; those below keep their meaning.
const int kFirstDeleteOp = 224;
const char* const kHooks[] = {"Draw", "DrawOverlay", "AddedToManager", "RemovedFromManager",
                              "OrderInManagerChanged"};

// Kind 0 opaque, 1 translucent, 2 opaque with an unpainted margin. Some widgets defer an
// overlay (which draws nothing), so that its hook runs.
void SetLook(RecordingWidget* w, int kind, int colour)
{
    w->mTranslucent = kind == 1;
    w->mHasTransparentParts = kind == 2;
    w->mFillInset = kind == 2 ? 2 : 0;
    w->mFill = Color(colour * 37 & 0xFF, colour * 91 & 0xFF, colour * 13 & 0xFF, kind == 1 ? 128 : 255);
    w->mOverlayPriority = colour % 3 - 1;
}

struct Run
{
    WidgetManager mManager{nullptr};
    // Null once deleted.
    std::vector<std::unique_ptr<RecordingWidget>> mWidgets;
    // Armed hooks that ran.
    int mFired = 0;
    // The deletes from hooks are the point here: none stops a debug build.
    UnsafeDeleteHandler mOldHandler = SetUnsafeDeleteHandler([](WidgetContainer*) {});

    ~Run()
    {
        for (auto& w : mWidgets)
        {
            if (w != nullptr)
                w->mActions.clear();
        }
        for (auto& w : mWidgets)
        {
            if (w != nullptr && w->mParent != nullptr)
                w->mParent->RemoveWidget(w.get());
        }
        mWidgets.clear();
        SetUnsafeDeleteHandler(mOldHandler);
    }
};

// Takes the widget out of the tree and deletes it, as a listener closing it does.
void Delete(Run& run, RecordingWidget* w)
{
    for (auto& slot : run.mWidgets)
    {
        if (w == nullptr || slot.get() != w)
            continue;
        const WidgetRef<RecordingWidget> held(w);
        if (w->mParent != nullptr)
            w->mParent->RemoveWidget(w);
        // The removal's hooks may have deleted it already.
        if (held)
            slot.reset();
        else
            slot.release();
        return;
    }
}

// Deletes w, a sibling of it picked by n, or its parent when that is a widget of the run.
void DeleteNear(Run& run, RecordingWidget* w, int what, int n)
{
    if (what % 3 == 0 || w->mParent == nullptr)
    {
        Delete(run, what % 3 == 0 ? w : nullptr);
        return;
    }
    if (what % 3 == 2)
    {
        if (w->mParent != &run.mManager)
            Delete(run, static_cast<RecordingWidget*>(w->mParent));
        return;
    }
    std::vector<Widget*> others;
    for (Widget* child : w->mParent->mWidgets)
    {
        if (child != w)
            others.push_back(child);
    }
    if (!others.empty())
        Delete(run, static_cast<RecordingWidget*>(others[size_t(n) % others.size()]));
}

// Arms a hook of x to delete x, a sibling or its parent when it next runs, deletes x at
// once, or puts a new widget in a deleted one's place.
void DeleteOrMake(Run& run, int op, int slot, int a, int b)
{
    RecordingWidget* x = run.mWidgets[size_t(slot)].get();
    if (x == nullptr)
    {
        auto made = std::make_unique<RecordingWidget>(std::to_string(slot), nullptr, a % 70 - 5, b % 50 - 5,
                                                      1 + a % 40, 1 + b % 30);
        SetLook(made.get(), a % 3, b);
        run.mManager.AddWidget(made.get());
        run.mWidgets[size_t(slot)] = std::move(made);
        return;
    }
    if (op % 4 == 3)
    {
        Delete(run, x);
        return;
    }
    const std::string hook = kHooks[size_t(a) % (sizeof(kHooks) / sizeof(kHooks[0]))];
    Run* r = &run;
    x->mActions[hook] = [r, x, hook, op, b]()
    {
        x->mActions.erase(hook);
        ++r->mFired;
        DeleteNear(*r, x, op, b);
    };
}

void Change(Run& run, FuzzInput& in)
{
    WidgetManager& m = run.mManager;
    const int op = in.Byte();
    const int slot = in.Byte() % kNumWidgets;
    RecordingWidget* x = run.mWidgets[size_t(slot)].get();
    RecordingWidget* y = run.mWidgets[size_t(in.Byte() % kNumWidgets)].get();
    const int a = in.Byte();
    const int b = in.Byte();
    if (op >= kFirstDeleteOp)
    {
        DeleteOrMake(run, op, slot, a, b);
        return;
    }
    // Ops on a deleted widget do nothing.
    if (x == nullptr || y == nullptr)
        return;
    WidgetContainer* parent = x->mParent;
    switch (op % 9)
    {
    case 0:
        if (parent != nullptr)
            parent->RemoveWidget(x);
        break;
    case 1:
        (a & 1 ? static_cast<WidgetContainer*>(y) : &m)->AddWidget(x);
        break;
    case 2:
        x->Resize(a % 80 - 10, b % 60 - 10, 1 + a % 40, 1 + b % 30);
        break;
    case 3:
        x->SetVisible(!x->mVisible);
        break;
    case 4:
        if (parent != nullptr)
            parent->BringToFront(x);
        break;
    case 5:
        if (parent != nullptr)
            parent->BringToBack(x);
        break;
    case 6:
        if (parent != nullptr)
            parent->PutBehind(x, y);
        break;
    case 7:
        // A new colour keeps the shape, so a plain mark is enough.
        SetLook(x, x->mTranslucent ? 1 : (x->mHasTransparentParts ? 2 : 0), a);
        x->MarkDirty();
        break;
    default:
        // A new kind changes what shows through: the widget marks everything it covers.
        SetLook(x, a % 3, b);
        x->MarkDirtyFull();
        break;
    }
}

// Draws the screen from its dirty marks and a full redraw to compare it with; when an armed
// hook ran during either, the screen is drawn again in full instead, until no hook runs.
void DrawAndCompare(Run& run, MemoryImage& screen, MemoryImage& reference)
{
    WidgetManager& manager = run.mManager;
    run.mFired = 0;
    manager.mScreenImage = &screen;
    manager.DrawScreen();
    manager.mScreenImage = &reference;
    manager.MarkAllDirty();
    manager.DrawScreen();
    if (run.mFired == 0)
    {
        if (memcmp(screen.GetBits(), reference.GetBits(), sizeof(uint32_t) * kWidth * kHeight) != 0)
            abort();
        return;
    }
    // Every hook runs once: the tree holds fewer than 5 per widget.
    for (int i = 0; i < 5 * (kNumWidgets + 1) && run.mFired > 0; ++i)
    {
        run.mFired = 0;
        manager.mScreenImage = &screen;
        manager.MarkAllDirty();
        manager.DrawScreen();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Run run;
    WidgetManager& manager = run.mManager;
    manager.Resize(TRect<int>(0, 0, kWidth, kHeight), TRect<int>(0, 0, kWidth, kHeight));
    MemoryImage screen(nullptr);
    screen.Create(kWidth, kHeight);
    MemoryImage reference(nullptr);
    reference.Create(kWidth, kHeight);

    RecordingWidget background("bg", nullptr, 0, 0, kWidth, kHeight);
    background.mFill = Color(10, 20, 30);
    manager.AddWidget(&background);
    std::vector<std::unique_ptr<RecordingWidget>>& widgets = run.mWidgets;
    for (int i = 0; i < kNumWidgets; ++i)
    {
        widgets.push_back(std::make_unique<RecordingWidget>(std::to_string(i), nullptr, in.Byte() % 70 - 5,
                                                            in.Byte() % 50 - 5, 1 + in.Byte() % 40,
                                                            1 + in.Byte() % 30));
        SetLook(widgets.back().get(), in.Byte() % 3, in.Byte());
        const int parent = in.Byte() % (i + 1);
        (parent == i ? static_cast<WidgetContainer*>(&manager) : widgets[size_t(parent)].get())
            ->AddWidget(widgets.back().get());
    }

    for (int steps = 0; in.remaining_bytes() > 0 && steps < 200; ++steps)
    {
        Change(run, in);
        DrawAndCompare(run, screen, reference);
    }

    manager.mScreenImage = nullptr;
    manager.RemoveWidget(&background);
    return 0;
}
