// Check box and slider: toggling and notifying, the looks of the check box, track clicks
// reported on release, dragging with the grab offset, clamping, the track drawing, the
// divisions a short track or a long thumb would make, and listeners that delete them.
#include "graphics/support/RecordingImage.h"
#include "widgets/Checkbox.h"
#include "widgets/Slider.h"
#include "widgets/support/ControlTestSupport.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Vaxo;

namespace
{

class Controls : public ::testing::Test
{
protected:
    AppTestEnv mAppEnv;
    ControlTestApp mApp;
    WidgetTestEnv mEnv{&mApp};
    WidgetManager* mManager = mEnv.mManager;
    ListenerLog mLog;
    RecordingImage mTrack{"track", 30, 4};
    RecordingImage mThumb{"thumb", 20, 20};
};

TEST_F(Controls, CheckboxTogglesOnEveryPressAndTellsItsListener)
{
    Attached<Checkbox> box(mManager, nullptr, nullptr, 2, &mLog);
    box->Resize(0, 0, 20, 20);
    mManager->MouseDown(5, 5, 1);
    mManager->MouseUp(5, 5, 1);
    mManager->MouseDown(5, 5, -1);
    mManager->MouseUp(5, 5, -1);
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

TEST_F(Controls, CheckboxLooks)
{
    RecordingImage on("on", 10, 10), off("off", 10, 10), sheet("sheet", 10, 20);
    struct Row
    {
        Image* unchecked;
        Image* checked;
        bool rects, isChecked;
        const char* calls;
    };
    const Row rows[] = {
        {&off, &on, false, true, "Blt(on,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&off, &on, false, false, "Blt(off,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&off, nullptr, false, true, ""},
        {&sheet, nullptr, true, true, "Blt(sheet,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&sheet, nullptr, true, false, "Blt(sheet,0,0,(0,10,10,10),(255,255,255,255),0)"},
        {nullptr, &on, true, true, ""},
        {nullptr, nullptr, false, false,
         "FillRect((0,0,10,10),(255,255,255,255),0) FillRect((1,1,8,8),(80,80,80,255),0)"},
        {nullptr, nullptr, true, true,
         "FillRect((0,0,10,10),(255,255,255,255),0) FillRect((1,1,8,8),(80,80,80,255),0) "
         "DrawLine(1,1,8,8,(255,255,0,255),0) DrawLine(9,1,1,8,(255,255,0,255),0)"},
    };
    for (const Row& row : rows)
    {
        Checkbox box(row.unchecked, row.checked, 1, nullptr);
        box.Resize(0, 0, 10, 10);
        if (row.rects)
        {
            box.mCheckedRect = TRect<int>(0, 0, 10, 10);
            box.mUncheckedRect = TRect<int>(0, 10, 10, 10);
        }
        box.SetChecked(row.isChecked, false);
        EXPECT_EQ(DrawCalls(&box), row.calls)
            << (row.unchecked != nullptr) << (row.checked != nullptr) << row.rects;
    }
}

TEST_F(Controls, SliderTrackClickJumpsAndReportsOnRelease)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(100, 100, 200, 20);
    mManager->MouseDown(150, 110, 1); // off the thumb at 0..19
    EXPECT_EQ(slider->mValue, 0.25);
    EXPECT_EQ(mLog.Take(), "");
    mManager->MouseUp(150, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.25)");
}

TEST_F(Controls, SliderDragKeepsTheGrabOffsetAndClamps)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(100, 100, 200, 20);
    slider->SetValue(0.25); // the thumb covers 45..64
    mManager->MouseMove(150, 110);
    mManager->MouseDown(150, 110, 1); // 5 pixels into the thumb
    EXPECT_EQ(mApp.mCursorNum, 2);
    struct Row
    {
        int x;
        const char* heard;
    };
    const Row rows[] = {{195, "SliderVal(1,0.5)"}, {195, ""}, {500, "SliderVal(1,1)"}, {600, ""},
                        {0, "SliderVal(1,0)"},     {-50, ""}};
    for (const Row& row : rows)
    {
        mManager->MouseMove(row.x, 110);
        EXPECT_EQ(mLog.Take(), row.heard) << row.x;
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

TEST_F(Controls, SliderSetValueClampsSilently)
{
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

TEST_F(Controls, SliderWithAThumbAsLongAsItsTrackKeepsAFiniteValue)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(0, 0, 20, 20);
    mManager->MouseDown(5, 5, 1);
    mManager->MouseMove(15, 5);
    mManager->MouseUp(15, 5, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
}

TEST_F(Controls, AListenerMayDeleteTheCheckboxOrSlider)
{
    struct Row
    {
        const char* name;
        std::function<Widget*()> make;
        std::function<void(Widget*)> trigger;
    };
    const Row rows[] = {
        {"box press", [] { return new Checkbox(nullptr, nullptr, 1, nullptr); },
         [this](Widget*) { mManager->MouseDown(5, 5, 1); }},
        {"box set", [] { return new Checkbox(nullptr, nullptr, 1, nullptr); },
         [](Widget* w) { static_cast<Checkbox*>(w)->SetChecked(true, true); }},
        {"slider drag", [this] { return new Slider(&mTrack, &mThumb, 1, &mLog); },
         [this](Widget*)
         {
             mManager->MouseDown(5, 5, 1);
             mManager->MouseMove(90, 5);
         }},
        {"slider release", [this] { return new Slider(&mTrack, &mThumb, 1, &mLog); },
         [this](Widget*)
         {
             mManager->MouseDown(50, 5, 1);
             mManager->MouseUp(50, 5, 1);
         }},
    };
    for (const Row& row : rows)
    {
        std::unique_ptr<Widget> widget(row.make());
        if (auto* box = dynamic_cast<Checkbox*>(widget.get()))
            box->mListener = &mLog;
        widget->Resize(0, 0, 200, 20);
        mManager->AddWidget(widget.get());
        mLog.mAction = [&]
        {
            // Removal sends the missing release, and the slider reports it: kill once.
            mLog.mAction = nullptr;
            mManager->RemoveWidget(widget.get());
            widget.reset();
        };
        row.trigger(widget.get());
        EXPECT_EQ(widget, nullptr) << row.name;
        mManager->MouseUp(0, 0, 1);
        mLog.Take();
    }
}

} // namespace
