// Differential drawing: after every random change to a tree of opaque, translucent and
// partly painted widgets, the screen drawn from the dirty marks must equal a full redraw
// of the same tree. A full-screen opaque widget at the bottom paints every pixel.
#include "graphics/MemoryImage.h"
#include "support/FuzzInput.h"
#include "widgets/WidgetManager.h"
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

// Kind 0 opaque, 1 translucent, 2 opaque with an unpainted margin.
void SetLook(RecordingWidget* w, int kind, int colour)
{
    w->mTranslucent = kind == 1;
    w->mHasTransparentParts = kind == 2;
    w->mFillInset = kind == 2 ? 2 : 0;
    w->mFill = Color(colour * 37 & 0xFF, colour * 91 & 0xFF, colour * 13 & 0xFF, kind == 1 ? 128 : 255);
}

void Change(WidgetManager& m, std::vector<std::unique_ptr<RecordingWidget>>& widgets, FuzzInput& in)
{
    const int op = in.Byte();
    RecordingWidget* x = widgets[size_t(in.Byte() % kNumWidgets)].get();
    RecordingWidget* y = widgets[size_t(in.Byte() % kNumWidgets)].get();
    const int a = in.Byte();
    const int b = in.Byte();
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    WidgetManager manager(nullptr);
    manager.Resize(TRect<int>(0, 0, kWidth, kHeight), TRect<int>(0, 0, kWidth, kHeight));
    MemoryImage screen(nullptr);
    screen.Create(kWidth, kHeight);
    MemoryImage reference(nullptr);
    reference.Create(kWidth, kHeight);

    RecordingWidget background("bg", nullptr, 0, 0, kWidth, kHeight);
    background.mFill = Color(10, 20, 30);
    manager.AddWidget(&background);
    std::vector<std::unique_ptr<RecordingWidget>> widgets;
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
        Change(manager, widgets, in);
        manager.mScreenImage = &screen;
        manager.DrawScreen();

        manager.mScreenImage = &reference;
        manager.MarkAllDirty();
        manager.DrawScreen();
        if (memcmp(screen.GetBits(), reference.GetBits(), sizeof(uint32_t) * kWidth * kHeight) != 0)
            abort();
    }

    manager.mScreenImage = nullptr;
    for (auto& w : widgets)
    {
        if (w->mParent != nullptr)
            w->mParent->RemoveWidget(w.get());
    }
    manager.RemoveWidget(&background);
    return 0;
}
