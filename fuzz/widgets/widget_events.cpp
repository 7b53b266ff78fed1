// Random mouse, key, focus, update and draw events against the widget manager, mixed
// with tree changes made directly and from inside the widgets' own hooks (once per armed
// hook), deleting a widget among them: the hooked widget itself, a sibling or its parent,
// taken out and deleted as a listener does (a new widget may take a deleted one's place).
// After every step: the hover, capture, focus and base-modal widgets are each null or in
// the tree, only they believe they are hovered, pressed or focused, every widget's parent
// lists it once, and a widget has the manager exactly when it is in the tree.
#include "support/FuzzInput.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/WidgetTestEnv.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

const int kNumWidgets = 8;
// Change ops from here up delete or make widgets; those below keep their meaning.
const int kFirstDeleteOp = 224;
const char* const kHooks[] = {"Update",
                              "Draw",
                              "MouseEnter",
                              "MouseLeave",
                              "MouseMove",
                              "MouseDown",
                              "MouseUp",
                              "MouseDrag",
                              "GotFocus",
                              "LostFocus",
                              "KeyDown",
                              "KeyUp",
                              "KeyChar",
                              "MouseWheel",
                              "AddedToManager",
                              "RemovedFromManager",
                              "OrderInManagerChanged"};
const int kClickCounts[] = {1, 2, -1, -2, 3};

struct Run
{
    WidgetTestEnv mEnv;
    // Null once deleted; the run owns the others.
    std::vector<RecordingWidget*> mWidgets;
    int mNestedFrames = 0;

    ~Run()
    {
        for (RecordingWidget* w : mWidgets)
        {
            if (w != nullptr)
                w->mActions.clear();
        }
        for (RecordingWidget* w : mWidgets)
        {
            if (w != nullptr && w->mParent != nullptr)
                w->mParent->RemoveWidget(w);
        }
        for (RecordingWidget*& w : mWidgets)
            delete std::exchange(w, nullptr);
    }
};

// Takes the widget out of the tree and deletes it, as a listener closing it does.
void Delete(Run& run, RecordingWidget* w)
{
    if (w == nullptr)
        return;
    const WidgetRef<RecordingWidget> held(w);
    if (w->mParent != nullptr)
        w->mParent->RemoveWidget(w);
    // The removal's hooks may have deleted it already.
    if (held)
        delete w;
    for (RecordingWidget*& slot : run.mWidgets)
    {
        if (slot == w)
            slot = nullptr;
    }
}

// A sibling of w (another child of its parent) picked by n, or null.
RecordingWidget* Sibling(RecordingWidget* w, int n)
{
    if (w->mParent == nullptr || w->mParent->mWidgets.size() < 2)
        return nullptr;
    std::vector<Widget*> others;
    for (Widget* child : w->mParent->mWidgets)
    {
        if (child != w)
            others.push_back(child);
    }
    return static_cast<RecordingWidget*>(others[size_t(n) % others.size()]);
}

// A widget whose parent is another widget: that parent, else null.
RecordingWidget* Parent(Run& run, RecordingWidget* w)
{
    return w->mParent != nullptr && w->mParent != run.mEnv.mManager
               ? static_cast<RecordingWidget*>(w->mParent)
               : nullptr;
}

bool InTree(WidgetManager* manager, WidgetContainer* widget)
{
    for (WidgetContainer* c = widget; c != nullptr; c = c->mParent)
    {
        if (c == manager)
            return true;
    }
    return false;
}

void Check(Run& run)
{
    WidgetManager* m = run.mEnv.mManager;
    for (Widget* held : {m->mHoverWidget, m->mCaptureWidget, m->mFocusWidget, m->mBaseModalWidget})
    {
        if (held != nullptr && (held->mWidgetManager != m || !InTree(m, held)))
            abort();
    }
    std::vector<WidgetContainer*> containers(run.mWidgets.begin(), run.mWidgets.end());
    containers.push_back(m);
    for (WidgetContainer* c : containers)
    {
        if (c == nullptr)
            continue;
        for (Widget* child : c->mWidgets)
        {
            if (child->mParent != c)
                abort();
        }
    }
    for (RecordingWidget* w : run.mWidgets)
    {
        if (w == nullptr)
            continue;
        if (w->mParent != nullptr)
        {
            int listed = 0;
            for (Widget* child : w->mParent->mWidgets)
                listed += child == w;
            if (listed != 1)
                abort();
        }
        // Only the widget the manager names believes it has the focus, the mouse over it
        // or a button held on it.
        if ((w->mHasFocus && w != m->mFocusWidget) || (w->mIsOver && w != m->mHoverWidget) ||
            (w->mIsDown && w != m->mCaptureWidget))
            abort();
        if ((w->mWidgetManager == m) != InTree(m, w) ||
            (w->mWidgetManager != m && w->mWidgetManager != nullptr))
            abort();
    }
}

// Deletes the hooked widget (x when the change is made directly), a sibling or its
// parent, or puts a new widget in a deleted one's place.
void DeleteOrMake(Run& run, int op, int a, int b, RecordingWidget* hooked)
{
    RecordingWidget*& slot = run.mWidgets[size_t(a % kNumWidgets)];
    RecordingWidget* w = hooked != nullptr ? hooked : slot;
    switch (op % 4)
    {
    case 0:
        Delete(run, w);
        break;
    case 1:
        if (w != nullptr)
            Delete(run, Sibling(w, b));
        break;
    case 2:
        if (w != nullptr)
            Delete(run, Parent(run, w));
        break;
    default:
        if (slot == nullptr)
        {
            slot = new RecordingWidget(std::to_string(a % kNumWidgets), &run.mEnv.mLog, b * 3, a * 2, 20 + b,
                                       20 + a % 64);
            run.mEnv.mManager->AddWidget(slot);
        }
        break;
    }
}

void Change(Run& run, int op, int a, int b, bool fromDraw, RecordingWidget* hooked = nullptr)
{
    if (op >= kFirstDeleteOp)
    {
        DeleteOrMake(run, op, a, b, hooked);
        return;
    }
    WidgetManager* m = run.mEnv.mManager;
    RecordingWidget* x = run.mWidgets[size_t(a % kNumWidgets)];
    RecordingWidget* y = run.mWidgets[size_t(b % kNumWidgets)];
    // Ops on a deleted widget do nothing.
    if (x == nullptr || y == nullptr)
        return;
    WidgetContainer* parent = x->mParent;
    switch (op % 14)
    {
    case 0:
        if (parent != nullptr)
            parent->RemoveWidget(x);
        break;
    case 1:
        m->AddWidget(x);
        break;
    case 2:
        y->AddWidget(x);
        break;
    case 3:
        if (parent != nullptr)
            parent->BringToFront(x);
        break;
    case 4:
        if (parent != nullptr)
            parent->BringToBack(x);
        break;
    case 5:
        if (parent != nullptr)
            parent->PutBehind(x, y);
        break;
    case 6:
        x->SetDisabled(!x->mDisabled);
        break;
    case 7:
        x->SetVisible(!x->mVisible);
        break;
    case 8:
        m->SetFocus(x);
        break;
    case 9:
        if (x->mWidgetManager == m && InTree(m, x))
            m->AddBaseModal(x);
        break;
    case 10:
        if (!m->mPreModalInfoList.empty())
            m->RemoveBaseModal(m->mPreModalInfoList.back().mModalWidget);
        break;
    case 11:
        x->Resize(b * 3, a * 2, 20 + b, 20 + a % 64);
        break;
    case 12:
        x->mWantsFocus = !x->mWantsFocus;
        x->mMouseVisible = (b & 1) != 0;
        break;
    default:
        // A nested loop, as a modal dialog's wait runs one; never from a draw.
        if (!fromDraw && run.mNestedFrames < 3)
        {
            ++run.mNestedFrames;
            m->UpdateFrame();
            --run.mNestedFrames;
        }
        break;
    }
}

// Makes the hook of a widget run one change the next time it is called.
void Arm(Run& run, FuzzInput& in)
{
    RecordingWidget* w = run.mWidgets[size_t(in.Byte() % kNumWidgets)];
    const std::string hook = kHooks[size_t(in.Byte()) % (sizeof(kHooks) / sizeof(kHooks[0]))];
    const int op = in.Byte();
    const int a = in.Byte();
    const int b = in.Byte();
    if (w == nullptr)
        return;
    Run* r = &run;
    w->mActions[hook] = [r, w, hook, op, a, b]()
    {
        w->mActions.erase(hook);
        Change(*r, op, a, b, hook == "Draw", w);
    };
}

void Event(Run& run, FuzzInput& in)
{
    WidgetManager* m = run.mEnv.mManager;
    const int op = in.Byte();
    const int x = in.Byte() * 4;
    const int y = in.Byte() * 3;
    const int arg = in.Byte();
    switch (op % 14)
    {
    case 0:
        m->MouseMove(x, y);
        break;
    case 1:
        m->MouseDown(x, y, kClickCounts[arg % 5]);
        break;
    case 2:
        m->MouseUp(x, y, kClickCounts[arg % 5]);
        break;
    case 3:
        m->MouseExit(x, y);
        break;
    case 4:
        m->MouseWheel(int8_t(arg));
        break;
    case 5:
        m->KeyDown(KeyCode(int8_t(arg) * 3));
        break;
    case 6:
        m->KeyUp(KeyCode(int8_t(arg) * 3));
        break;
    case 7:
        m->KeyChar(char(arg));
        break;
    case 8:
        m->LostFocus();
        break;
    case 9:
        m->GotFocus();
        break;
    case 10:
        m->UpdateFrame();
        break;
    case 11:
        m->DrawScreen();
        break;
    case 12:
        Change(run, in.Byte(), x, y, false);
        break;
    default:
        Arm(run, in);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Run run;
    for (int i = 0; i < kNumWidgets; ++i)
    {
        const int x = in.Byte() * 3;
        const int y = in.Byte() * 2;
        const int w = 1 + in.Byte() * 2;
        const int h = 1 + in.Byte() * 2;
        // Into the manager or into an earlier widget.
        const int parent = in.Byte() % (i + 1);
        WidgetContainer* into =
            parent == i ? static_cast<WidgetContainer*>(run.mEnv.mManager) : run.mWidgets[size_t(parent)];
        run.mWidgets.push_back(new RecordingWidget(std::to_string(i), &run.mEnv.mLog, x, y, w, h));
        into->AddWidget(run.mWidgets.back());
    }
    for (int steps = 0; in.remaining_bytes() > 0 && steps < 400; ++steps)
    {
        Event(run, in);
        run.mEnv.mLog.clear();
        Check(run);
    }
    return 0;
}
