// Deletion during a call-out: every control's listener may remove and delete the control
// from any of its calls, and the control touches nothing of itself afterwards.
#include "graphics/support/FixedFont.h"
#include "widgets/ButtonWidget.h"
#include "widgets/Checkbox.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/Slider.h"
#include "widgets/support/ControlTestSupport.h"

#include <functional>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

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
