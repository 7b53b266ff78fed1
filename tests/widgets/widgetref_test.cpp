// Deletion during a call-out: WidgetRef and CallOut tell whether a widget outlived a
// call, a plain delete of a widget during a call to it is reported (a debug build stops,
// naming SafeDeleteWidget) while the deferred delete is not, and every control's
// listener may remove and delete the control from any of its calls.
#include "graphics/support/FixedFont.h"
#include "widgets/ButtonWidget.h"
#include "widgets/Checkbox.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/Slider.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/ControlTestSupport.h"

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(WidgetRef, ReadsNullOnceItsWidgetIsDeleted)
{
    const WidgetRef<Widget> none;
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_FALSE(none.Gone());

    auto* w = new Widget();
    WidgetRef<Widget> held(w);
    WidgetRef<Widget> copied(held);
    WidgetRef<Widget> moved(std::move(copied));
    WidgetRef<Widget> assigned;
    assigned = held;
    EXPECT_TRUE(held.get() == w && moved.get() == w && assigned.get() == w);
    EXPECT_EQ(copied.get(), nullptr);
    delete w;
    for (const WidgetRef<Widget>* ref : {&held, &moved, &assigned})
        EXPECT_TRUE(ref->get() == nullptr && ref->Gone());
    // A copy made afterwards reads null too; the last reference frees what outlived the
    // widget (the address sanitizer finds a leak or a second free).
    const WidgetRef<Widget> late(held);
    EXPECT_TRUE(late.Gone());
    assigned = WidgetRef<Widget>();
    EXPECT_FALSE(assigned.Gone());

    // A member's borrowed pointer reads the same, and one moved from reads null at once.
    auto* b = new Widget();
    BorrowedRef<Widget> borrowed(b);
    BorrowedRef<Widget> from(borrowed);
    BorrowedRef<Widget> to(std::move(from));
    BorrowedRef<Widget> moveAssigned;
    moveAssigned = std::move(borrowed);
    EXPECT_TRUE(from.get() == nullptr && borrowed.get() == nullptr);
    EXPECT_TRUE(to.get() == b && moveAssigned.get() == b);
    delete b;
    EXPECT_TRUE(to.get() == nullptr && moveAssigned.get() == nullptr);
}

// The nodes reported deleted during a call-out to them, while one lives.
class ReportedDeletes
{
public:
    ReportedDeletes() : mOld(SetUnsafeDeleteHandler([](WidgetContainer* node) { sNodes.push_back(node); }))
    {
        sNodes.clear();
    }
    ~ReportedDeletes() { SetUnsafeDeleteHandler(mOld); }
    ReportedDeletes(const ReportedDeletes&) = delete;
    ReportedDeletes& operator=(const ReportedDeletes&) = delete;

    std::vector<WidgetContainer*> Take() { return std::exchange(sNodes, {}); }

private:
    static std::vector<WidgetContainer*> sNodes;
    UnsafeDeleteHandler mOld;
};

std::vector<WidgetContainer*> ReportedDeletes::sNodes;

TEST(CallOut, TellsWhetherTheWidgetOutlivedTheCall)
{
    ReportedDeletes reported;
    auto* w = new Widget();
    auto* other = new Widget();
    EXPECT_TRUE(CallOut(w, [] {}));
    EXPECT_TRUE(CallOut(nullptr, [] {}));
    EXPECT_TRUE(CallOut(w, [&] { delete other; }));
    EXPECT_EQ(reported.Take(), std::vector<WidgetContainer*>{});
    // A call nested in another learns it as well as the outer one.
    bool inner = true;
    EXPECT_FALSE(CallOut(w, [&] { inner = CallOut(w, [&] { delete w; }); }));
    EXPECT_FALSE(inner);
    EXPECT_EQ(reported.Take(), std::vector<WidgetContainer*>{w});
}

// A plain delete from a hook: reported when it deletes the widget called or a container
// a pass walks, never for the deferred delete nor outside a call.
TEST_F(ControlTest, AWidgetDeletedDuringACallToItIsReportedUnlessItIsTheDeferredDelete)
{
    ReportedDeletes reported;
    std::vector<std::string> log;
    auto make = [&](const char* name, WidgetContainer* parent, int x)
    {
        auto* w = new RecordingWidget(name, &log, x, 0, 100, 100);
        parent->AddWidget(w);
        return w;
    };
    auto plainDelete = [](Widget* w)
    {
        if (w->mParent != nullptr)
            w->mParent->RemoveWidget(w);
        delete w;
    };
    // What the hook of which widget does; whether the widget deleted is reported.
    enum
    {
        kItself,
        kItsParent,
        kASibling,
        kItselfDeferred,
        kItselfDeferredAtOnce
    };
    const std::tuple<const char*, int, bool> cases[] = {
        {"a release deletes the widget", kItself, true},
        {"a child's draw deletes its parent", kItsParent, true},
        {"a release deletes a sibling", kASibling, false},
        {"a release queues the widget, deleted after the call", kItselfDeferred, false},
        // As a listener's nested modal loop does: the deferred delete at its own depth.
        {"a release queues the widget and runs the queue", kItselfDeferredAtOnce, false},
    };
    for (const auto& [what, action, isReported] : cases)
    {
        RecordingWidget* parent = make("P", mManager, 0);
        RecordingWidget* child = make("C", parent, 0);
        RecordingWidget* sibling = make("S", mManager, 200);
        Widget* deleted =
            action == kItsParent ? static_cast<Widget*>(parent) : (action == kASibling ? sibling : child);
        std::function<void()> hook = [&, action = action]
        {
            if (action == kItself || action == kItsParent || action == kASibling)
                plainDelete(deleted);
            else
                mApp.SafeDeleteWidget(deleted);
            if (action == kItselfDeferredAtOnce)
                mApp.ProcessSafeDeleteList();
        };
        child->mActions[action == kItsParent ? "Draw" : "MouseUp"] = hook;
        if (action == kItsParent)
            mManager->DrawScreen();
        else
            Click(mManager, 10, 10);
        mApp.ProcessSafeDeleteList();
        EXPECT_EQ(reported.Take(),
                  isReported ? std::vector<WidgetContainer*>{deleted} : std::vector<WidgetContainer*>{})
            << what;
        for (RecordingWidget* w : {parent, child, sibling})
        {
            if (w != deleted)
                plainDelete(w);
        }
        EXPECT_EQ(reported.Take(), std::vector<WidgetContainer*>{}) << what << ": outside a call";
    }
}

TEST(CallOutDeathTest, ADebugBuildStopsAtAPlainDeleteDuringACallNamingSafeDeleteWidget)
{
    auto deleteDuringACall = []
    {
        auto* w = new Widget();
        return CallOut(w, [w] { delete w; });
    };
    EXPECT_DEATH(
        {
            SetUnsafeDeleteHandler(AbortOnUnsafeDelete);
            deleteDuringACall();
        },
        "delete it with SafeDeleteWidget");
    // The default handler.
    const UnsafeDeleteHandler old = SetUnsafeDeleteHandler(nullptr);
#ifdef NDEBUG
    EXPECT_FALSE(deleteDuringACall());
#else
    EXPECT_DEATH(deleteDuringACall(), "SafeDeleteWidget");
#endif
    SetUnsafeDeleteHandler(old);
}

using Controls = SliderImagesTest;

TEST_F(Controls, AListenerMayDeleteItsControl)
{
    // Buttons; the held tick is asked for directly, as the manager's update walk would.
    const std::vector<std::function<void(Widget*)>> buttonSteps = {
        [&](Widget*) { mManager->MouseMove(10, 10); },    [&](Widget*) { mManager->MouseMove(11, 10); },
        [&](Widget*) { mManager->MouseDown(11, 10, 1); }, [&](Widget* w) { w->Update(); },
        [&](Widget*) { mManager->MouseUp(11, 10, 1); },   [&](Widget*) { mManager->MouseMove(300, 300); }};
    for (const char* killOn : {"ButtonMouseEnter", "ButtonMouseMove", "ButtonPress", "ButtonDownTick",
                               "ButtonDepress", "ButtonMouseLeave", "Link ButtonMouseEnter"})
    {
        const std::string kill = killOn;
        const bool link = kill.rfind("Link ", 0) == 0;
        Widget* button = link ? new HyperlinkWidget(1, &mLog) : new ButtonWidget(1, &mLog);
        button->Resize(0, 0, 40, 20);
        EXPECT_TRUE(DeletedByListener(mManager, button, mLog, link ? kill.substr(5) : kill, buttonSteps))
            << killOn;
        mManager->MouseMove(500, 500);
    }
    // Enabled under the resting mouse: entered by the enabling's own hover check.
    auto* enabled = new ButtonWidget(1, &mLog);
    enabled->Resize(0, 0, 40, 20);
    enabled->SetDisabled(true);
    EXPECT_TRUE(DeletedByListener<ButtonWidget>(mManager, enabled, mLog, "ButtonMouseEnter",
                                                {[&](ButtonWidget*) { mManager->MouseMove(10, 10); },
                                                 [](ButtonWidget* b) { b->SetDisabled(false); }}));
    mManager->MouseMove(500, 500);
    // Disabled while hovered: left by the disabling.
    auto* disabled = new ButtonWidget(1, &mLog);
    disabled->Resize(0, 0, 40, 20);
    EXPECT_TRUE(DeletedByListener<ButtonWidget>(mManager, disabled, mLog, "ButtonMouseLeave",
                                                {[&](ButtonWidget*) { mManager->MouseMove(10, 10); },
                                                 [](ButtonWidget* b) { b->SetDisabled(true); }}));
    mManager->MouseMove(500, 500);

    // Check boxes and sliders.
    auto box = [this]
    {
        auto* box = new Checkbox(nullptr, nullptr, 1, &mLog);
        box->Resize(0, 0, 20, 20);
        return box;
    };
    auto slider = [this]
    {
        auto* slider = new Slider(&mTrack, &mThumb, 1, &mLog);
        slider->Resize(0, 0, 200, 20);
        return slider;
    };
    auto down = [this](int x) { return [=](Widget*) { mManager->MouseDown(x, 5, 1); }; };
    auto up = [this](int x) { return [=](Widget*) { mManager->MouseUp(x, 5, 1); }; };
    auto move = [this](int x) { return [=](Widget*) { mManager->MouseMove(x, 5); }; };
    EXPECT_TRUE(DeletedByListener(mManager, box(), mLog, "", {down(5)}));
    EXPECT_TRUE(
        DeletedByListener(mManager, box(), mLog, "", {[](Checkbox* b) { b->SetChecked(true, true); }}));
    EXPECT_TRUE(DeletedByListener(mManager, slider(), mLog, "", {down(5), move(90)}));
    EXPECT_TRUE(DeletedByListener(mManager, slider(), mLog, "", {down(50), up(50)}));

    // Lists, with the mouse resting off them.
    mManager->MouseMove(500, 500);
    FixedFont font(6, 8, 20);
    for (const char* killOn : {"ListHiliteChanged", "ListClicked"})
    {
        auto* list = new ListWidget(1, &font, &mLog);
        list->Resize(0, 0, 100, 300);
        list->AddLine("a", false);
        EXPECT_TRUE(DeletedByListener(mManager, list, mLog, killOn,
                                      {[&](Widget*) { mManager->MouseMove(50, 10); },
                                       [&](Widget*) { mManager->MouseDown(50, 10, 1); }}))
            << killOn;
        mManager->MouseUp(50, 10, 1);
        mManager->MouseMove(500, 500);
    }
    // Grown under the resting mouse: the hilite set by the resize's own hover check.
    auto* grown = new ListWidget(1, &font, &mLog);
    grown->Resize(0, 0, 10, 10);
    grown->AddLine("a", false);
    EXPECT_TRUE(DeletedByListener<ListWidget>(mManager, grown, mLog, "ListHiliteChanged",
                                              {[&](ListWidget*) { mManager->MouseMove(50, 10); },
                                               [](ListWidget* list) { list->Resize(0, 0, 100, 300); }}));
    mManager->MouseMove(500, 500);

    // Scroll bars.
    auto bar = [this]
    {
        auto* bar = new ScrollbarWidget(1, &mLog);
        bar->ResizeScrollbar(0, 0, 16, 132);
        bar->SetMaxValue(100);
        bar->SetPageSize(10);
        return bar;
    };
    using Steps = std::vector<std::function<void(ScrollbarWidget*)>>;
    auto press = [this](int y) { return [=](ScrollbarWidget*) { mManager->MouseDown(8, y, 1); }; };
    const Steps rows[] = {
        {[](ScrollbarWidget* b) { b->SetValue(500); }}, // the first of two calls
        {press(124)},                                   // arrow
        {[](ScrollbarWidget* b) { b->mArrowTicks = 24, b->ButtonDownTick(1); }},
        {press(100)}, // track
        {press(20), [this](ScrollbarWidget*) { mManager->MouseMove(8, 40); }},
        {[](ScrollbarWidget* b)
         { b->mPagingDir = 2, b->mLastMouseY = 100, b->mPagingTicks = 24, b->Update(); }},
    };
    for (const auto& steps : rows)
    {
        mLog.Take();
        EXPECT_TRUE(DeletedByListener<ScrollbarWidget>(mManager, bar(), mLog, "", steps))
            << &steps - &rows[0];
        mManager->MouseUp(0, 0, 1);
    }
}

} // namespace
