// Check box: toggling on every press, telling its listener, and its looks.
#include "graphics/support/RecordingImage.h"
#include "widgets/Checkbox.h"
#include "widgets/support/ControlTestSupport.h"

#include <string>
#include <tuple>

using namespace Vaxo;

namespace
{

using Controls = ControlTest;

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

TEST_F(Controls, CheckboxLooks)
{
    RecordingImage on("on", 10, 10), off("off", 10, 10), sheet("sheet", 10, 20);
    // Unchecked and checked images, rectangles on a sheet, checked; what is drawn.
    const std::tuple<Image*, Image*, bool, bool, const char*> rows[] = {
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
    for (const auto& [unchecked, checked, rects, isChecked, calls] : rows)
    {
        Checkbox box(unchecked, checked, 1, nullptr);
        box.Resize(0, 0, 10, 10);
        if (rects)
        {
            box.mCheckedRect = TRect<int>(0, 0, 10, 10);
            box.mUncheckedRect = TRect<int>(0, 10, 10, 10);
        }
        box.SetChecked(isChecked, false);
        EXPECT_EQ(DrawCalls(&box), calls) << (unchecked != nullptr) << (checked != nullptr) << rects;
    }
}

} // namespace
