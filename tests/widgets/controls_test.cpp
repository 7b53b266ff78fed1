// Check box and slider: toggling and notifying, track clicks reported on release,
// dragging with the grab offset, clamping, the track drawing, the divisions a short
// track or a long thumb would make. Scroll bar: clamping heard twice, arrow and track
// repeats by update count, thumb sizes and positions, drag mapping, the fresh bar and a
// thumb filling its track, hiding. Listeners that delete any of them.
#include "graphics/support/RecordingImage.h"
#include "widgets/Checkbox.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/Slider.h"
#include "widgets/support/ControlTestSupport.h"

#include <cmath>
#include <sstream>
#include <tuple>

using namespace Vaxo;

namespace
{

class Controls : public ControlTest
{
protected:
    RecordingImage mTrack{"track", 30, 4};
    RecordingImage mThumb{"thumb", 20, 20};
};

TEST_F(Controls, CheckboxTogglesOnEveryPressAndTellsItsListener)
{
    Attached<Checkbox> box(mManager, nullptr, nullptr, 2, &mLog);
    box->Resize(0, 0, 20, 20);
    Click(mManager, 5, 5);
    Click(mManager, 5, 5, -1);
    box->SetChecked(true, true);
    box->SetChecked(true, true); // told even without a change
    box->SetChecked(false, false);
    EXPECT_EQ(mLog.Take(),
              "CheckboxChecked(2,1) CheckboxChecked(2,0) CheckboxChecked(2,1) CheckboxChecked(2,1)");
    EXPECT_FALSE(box->IsChecked());

    box->mListener = nullptr;
    mManager->MouseDown(5, 5, 1);
    EXPECT_TRUE(box->IsChecked());
}

TEST_F(Controls, SliderTrackClickJumpsAndDragKeepsTheGrabOffsetAndClamps)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(100, 100, 200, 20);
    // A click on the track, off the thumb at 0..19, jumps there; heard on the release.
    mManager->MouseDown(150, 110, 1);
    EXPECT_EQ(slider->mValue, 0.25);
    EXPECT_EQ(mLog.Take(), "");
    mManager->MouseUp(150, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.25)");

    // The thumb now covers 45..64.
    mManager->MouseDown(150, 110, 1); // 5 pixels into the thumb
    EXPECT_EQ(mApp.mCursorNum, 2);
    const std::pair<int, const char*> rows[] = {{195, "SliderVal(1,0.5)"}, {195, ""},
                                                {500, "SliderVal(1,1)"},   {600, ""},
                                                {0, "SliderVal(1,0)"},     {-50, ""}};
    for (const auto& [x, heard] : rows)
    {
        mManager->MouseMove(x, 110);
        EXPECT_EQ(mLog.Take(), heard) << x;
    }
    mManager->MouseUp(-50, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    EXPECT_EQ(mApp.mCursorNum, 0);

    // Vertically the grab offset is along y.
    slider->mHorizontal = false;
    slider->Resize(100, 100, 20, 200);
    mManager->MouseDown(110, 103, 1);
    mManager->MouseMove(110, 193);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.5)");
    mManager->MouseUp(110, 193, 1);
}

TEST_F(Controls, SliderValuesStayWithin0To1)
{
    // A thumb as long as the track cannot be dragged anywhere.
    Attached<Slider> full(mManager, &mTrack, &mThumb, 1, &mLog);
    full->Resize(0, 0, 20, 20);
    mManager->MouseDown(5, 5, 1);
    mManager->MouseMove(15, 5);
    mManager->MouseUp(15, 5, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    // SetValue clamps and tells nobody.
    Slider slider(&mTrack, &mThumb, 1, &mLog);
    const double rows[][2] = {{1.7, 1.0}, {-0.5, 0.0}, {0.3, 0.3}, {std::nan(""), 0.0}};
    for (const auto& row : rows)
    {
        slider.SetValue(row[0]);
        EXPECT_EQ(slider.mValue, row[1]) << row[0];
    }
    EXPECT_EQ(mLog.Take(), "");
}

TEST_F(Controls, SliderDrawsCapsRepeatedMiddleAndThumb)
{
    RecordingImage thumb("thumb", 10, 10);
    Slider slider(&mTrack, &thumb, 1, &mLog);
    slider.Resize(0, 0, 55, 10);
    slider.SetValue(0.5);
    // Parts of 10 x 4 at y (10 - 4) / 2; the middle repeats over 10..44, the last copy
    // cut at 45; the thumb at 0.5 x (55 - 10).
    EXPECT_EQ(DrawCalls(&slider), "Blt(track,0,3,(0,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,10,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,20,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,30,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,40,3,(10,0,5,4),(255,255,255,255),0) "
                                  "Blt(track,45,3,(20,0,10,4),(255,255,255,255),0) "
                                  "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");

    // A track image narrower than 3 pixels has no parts to repeat.
    RecordingImage thin("thin", 2, 4);
    slider.mTrackImage = &thin;
    EXPECT_EQ(DrawCalls(&slider), "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");
}

TEST_F(Controls, AListenerMayDeleteTheCheckboxOrSlider)
{
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
}

// A vertical bar at (0, 0) of 16 x 132: buttons of 16, a track of 100.
class Scrollbar : public ControlTest
{
protected:
    Scrollbar()
    {
        mBar->ResizeScrollbar(0, 0, 16, 132);
        mBar->SetMaxValue(100.0);
        mBar->SetPageSize(10.0);
        mLog.Take();
    }
    Attached<ScrollbarWidget> mBar{mManager, 0, &mLog};
};

TEST_F(Scrollbar, SettersClampAndTheListenerHearsAClampedValueTwice)
{
    // Setter (v value, m maximum, p page, b GoToBottom), argument, value after, heard.
    const std::tuple<char, double, double, const char*> rows[] = {
        {'v', 95, 90, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {'v', 50, 50, "ScrollPosition(0,50)"},
        {'m', 55, 45, "ScrollPosition(0,45)"}, // pulled back, told once
        {'p', 5, 45, ""},
        {'v', -3, 0, "ScrollPosition(0,0) ScrollPosition(0,0)"},
        {'b', 0, 50, "ScrollPosition(0,50)"},
        {'p', 60, 0, "ScrollPosition(0,0)"}, // nothing to scroll
    };
    for (const auto& [op, arg, value, heard] : rows)
    {
        if (op == 'v')
            mBar->SetValue(arg);
        else if (op == 'm')
            mBar->SetMaxValue(arg);
        else if (op == 'p')
            mBar->SetPageSize(arg);
        else
            mBar->GoToBottom();
        EXPECT_EQ(mBar->mValue, value) << op << arg;
        EXPECT_EQ(mLog.Take(), heard) << op << arg;
    }
    EXPECT_TRUE(mBar->mDisabled && mBar->mUpButton->mDisabled && mBar->mDownButton->mDisabled);

    const double bottoms[][4] = {{100, 10, 89.5, 1}, {100, 10, 88, 0}};
    for (const auto& b : bottoms)
    {
        mBar->SetMaxValue(b[0]);
        mBar->SetPageSize(b[1]);
        mBar->SetValue(b[2]);
        EXPECT_EQ(mBar->AtBottom(), b[3] != 0) << b[2];
    }
    EXPECT_FALSE(mBar->mDisabled || mBar->mUpButton->mDisabled || mBar->mDownButton->mDisabled);
}

TEST_F(Scrollbar, ThumbSizeAndPosition)
{
    // Maximum, page, value; thumb size and position.
    const std::tuple<double, double, double, int, int> rows[] = {
        {100, 10, 0, 10, 16},  {100, 1, 0, 8, 16},   // at least 8
        {100, 10, 45, 10, 61}, {100, 1, 99, 8, 108}, // 99 x 92 / 99 + 16
        {10, 20, 0, 0, 16},                          // page past the maximum
        {50, 50, 0, 100, 16},  {0, 0, 0, 100, 16},   // nothing to scroll, a fresh bar too
    };
    for (const auto& [max, page, value, size, position] : rows)
    {
        mBar->SetMaxValue(max);
        mBar->SetPageSize(page);
        mBar->SetValue(value);
        EXPECT_EQ(mBar->GetThumbSize(), size) << max << " " << page;
        EXPECT_EQ(mBar->GetThumbPosition(), position) << max << " " << page;
    }
    ScrollbarWidget fresh(1, &mLog);
    fresh.ResizeScrollbar(0, 0, 16, 132);
    EXPECT_EQ(fresh.GetThumbPosition(), 16);
    EXPECT_EQ(fresh.GetThumbSize(), 100);
}

TEST_F(Scrollbar, HeldArrowsRepeatFromThe25thUpdate)
{
    // Down 30 updates: the press, then updates 25 to 30; up 25: a new press counts anew.
    for (const auto& [y, updates, value] : {std::tuple(124, 30, 7.0), std::tuple(8, 25, 5.0)})
    {
        mManager->MouseMove(8, y);
        mManager->MouseDown(8, y, 1);
        for (int i = 0; i < updates; ++i)
            mManager->UpdateFrame();
        mManager->MouseUp(8, y, 1);
        EXPECT_EQ(mBar->mValue, value);
    }
}

TEST_F(Scrollbar, HeldTrackPagesUntilTheThumbReachesThePress)
{
    mManager->MouseDown(8, 100, 1);
    EXPECT_EQ(mBar->mValue, 10.0);
    // The thumb at 26..35 with its bevel; the part being paged is dark.
    EXPECT_EQ(DrawCalls(mBar.get()),
              "FillRect((0,0,16,26),(232,232,232,255),0) FillRect((0,26,16,10),(212,212,212,255),0) "
              "FillRect((1,27,14,1),(255,255,255,255),0) FillRect((1,27,1,8),(255,255,255,255),0) "
              "FillRect((0,35,16,1),(0,0,0,255),0) FillRect((15,26,1,10),(0,0,0,255),0) "
              "FillRect((1,34,14,1),(132,132,132,255),0) FillRect((14,27,1,8),(132,132,132,255),0) "
              "FillRect((0,36,16,96),(48,48,48,255),0)");
    std::ostringstream pagedAt;
    for (int update = 1; update <= 60; ++update)
    {
        const double before = mBar->mValue;
        mManager->UpdateFrame();
        if (mBar->mValue != before)
            pagedAt << update << "=" << mBar->mValue << " ";
    }
    EXPECT_EQ(pagedAt.str(), "25=20 30=30 35=40 40=50 45=60 50=70 55=80 ");
    EXPECT_EQ(mBar->mPagingDir, 0); // the thumb (96..105) covers y 100
    mManager->MouseUp(8, 100, 1);
}

TEST_F(Scrollbar, DraggedThumbMapsPixelsToValues)
{
    const std::tuple<bool, int, const char*> rows[] = {
        {false, 65, "ScrollPosition(0,45)"},
        {false, 300, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {true, 65, "ScrollPosition(0,45)"},
    };
    for (const auto& [horizontal, to, heard] : rows)
    {
        mBar->SetHorizontal(horizontal);
        mBar->ResizeScrollbar(0, 0, horizontal ? 132 : 16, horizontal ? 16 : 132);
        mBar->SetValue(0);
        mLog.Take();
        // 4 pixels into the thumb at 16..25 (along the bar), then moved by to - 20.
        mManager->MouseDown(horizontal ? 20 : 8, horizontal ? 8 : 20, 1);
        mManager->MouseMove(horizontal ? to : 8, horizontal ? 8 : to);
        mManager->MouseUp(0, 0, 1);
        EXPECT_EQ(mLog.Take(), heard) << horizontal << to;
    }
}

TEST_F(Scrollbar, AThumbFillingItsTrackKeepsAFiniteValueAndABarWithNothingToScrollHides)
{
    // A track of 8 holds only the minimum thumb: no free track to map a drag onto.
    mBar->ResizeScrollbar(0, 0, 16, 40);
    mManager->MouseDown(8, 20, 1);
    mManager->MouseMove(8, 20);
    mManager->MouseMove(8, 30);
    mManager->MouseUp(8, 30, 1);
    EXPECT_EQ(mLog.Take(), "ScrollPosition(0,0) ScrollPosition(0,0)");

    // Hidden while nothing scrolls.
    mBar->SetPageSize(200);
    mBar->SetInvisIfNoScroll(true);
    EXPECT_FALSE(mBar->mVisible || mBar->mUpButton->mVisible || mBar->mDownButton->mVisible);
    mBar->SetMaxValue(300);
    EXPECT_TRUE(mBar->mVisible && mBar->mUpButton->mVisible && mBar->mDownButton->mVisible);
}

TEST_F(Scrollbar, AListenerMayDeleteTheBar)
{
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
