// Options dialog: its texts and layout, the refused check boxes with their messages, the
// sound test after the slider is let go, and "Ok" switching the screen mode and closing.
#include "widgets/SimpleOptionsDialog.h"
#include "widgets/WidgetManager.h"
#include "widgets/support/ControlTestSupport.h"

#include <tuple>

using namespace Vaxo;

namespace
{

class OptionsDialogs : public SkinnedControlTest
{
protected:
    // The message dialog open as dialog 1000: "header|lines|footer", or "".
    std::string Message()
    {
        Dialog* message = mApp.GetDialog(1000);
        if (message == nullptr)
            return "";
        return message->mDialogHeader + "|" + message->mDialogLines + "|" + message->mDialogFooter;
    }
};

std::string Label(Widget* widget)
{
    if (auto* button = dynamic_cast<ButtonWidget*>(widget))
        return button->mLabel;
    if (auto* box = dynamic_cast<SimpleCheckbox*>(widget))
        return box->mLabel;
    auto* label = dynamic_cast<SimpleLabel*>(widget);
    return label != nullptr ? label->mLabel : "";
}

TEST_F(OptionsDialogs, TextsAndLayout)
{
    mApp.mMusicVolume = 0.25;
    mApp.mIsWindowed = false;
    SimpleOptionsDialog dialog(9, true);
    EXPECT_EQ(dialog.mDialogHeader + "|" + dialog.mYesButton->mLabel, "Options|Ok");
    EXPECT_EQ(dialog.GetRect(), TRect<int>(0, 0, 400, 240));
    // Control, label, rectangle (content insets 24, 10, 24, 24; "Ok" at y 192).
    const std::tuple<Widget*, const char*, TRect<int>> rows[] = {
        {dialog.mBackToMainMenuButton.get(), "Back to Main Menu", {24, 158, 352, 24}},
        {dialog.mHelpButton.get(), "Help", {24, 124, 171, 24}},
        {dialog.mCreditsButton.get(), "Credits", {205, 124, 171, 24}},
        {dialog.mMusicVolumeSlider.get(), "", {104, 50, 272, 24}},
        {dialog.mSfxVolumeSlider.get(), "", {104, 84, 272, 24}},
        {dialog.mMusicLabel.get(), "Music Volume", {24, 54, 72, 12}},
        {dialog.mSfxLabel.get(), "Sound Effects", {24, 88, 78, 12}},
        {dialog.mFullScreenCheckbox.get(), "Full Screen", {24, 128, 88, 17}},
        {dialog.m3DCheckbox.get(), "3D Acceleration", {200, 128, 112, 17}},
    };
    for (const auto& [widget, label, rect] : rows)
    {
        EXPECT_EQ(Label(widget), label);
        EXPECT_EQ(widget->GetRect(), rect) << label;
        EXPECT_EQ(widget->mParent, &dialog);
    }
    EXPECT_FALSE(dialog.mHelpButton->mVisible || dialog.mCreditsButton->mVisible);
    EXPECT_EQ(dialog.mMusicVolumeSlider->mValue, 0.25);
    EXPECT_TRUE(dialog.mFullScreenCheckbox->IsChecked());
    EXPECT_FALSE(dialog.m3DCheckbox->IsChecked());

    // Without the back button: shorter by 24 + 10; the hidden button still anchors.
    SimpleOptionsDialog shorter(9, false);
    EXPECT_EQ(shorter.GetPreferredHeight(400), 206);
    EXPECT_EQ(shorter.mBackToMainMenuButton->GetRect(), TRect<int>(24, 124, 352, 24));
    EXPECT_EQ(shorter.mHelpButton->GetRect(), TRect<int>(24, 124, 171, 24));
    EXPECT_EQ(shorter.mFullScreenCheckbox->GetRect(), TRect<int>(24, 128, 88, 17));
}

TEST_F(OptionsDialogs, RefusedChoicesAreExplainedAndUndone)
{
    const std::string noWindow =
        "No Windowed Mode|Windowed mode is only available if your desktop is running in "
        "either 16 bit or 32 bit color mode and if the desktop resolution allows the whole "
        "window to fit on screen.|OK";
    const std::string notSupported =
        "Not Supported|Hardware Acceleration cannot be enabled on this computer.\nYour "
        "video card does not meet the minimum requirements for this game.|OK";
    const std::string warning =
        "Warning|Your video card may not fully support this feature.\nIf you experience "
        "slower performance, please disable Hardware Acceleration.|OK";
    auto* dialog = new SimpleOptionsDialog(9, true);
    mApp.AddDialog(dialog);
    Checkbox* full = dialog->mFullScreenCheckbox.get();
    Checkbox* accel = dialog->m3DCheckbox.get();
    auto* display = new TestPlatformDisplay(&mApp);
    // Setting before, box and state set, message shown, box state after.
    const std::tuple<std::function<void()>, Checkbox*, bool, std::string, bool> rows[] = {
        {[] {}, full, false, "", false},
        {[this] { mApp.mForceFullscreen = true; }, full, false, noWindow, true},
        {[] {}, full, true, "", true},
        {[] {}, accel, true, notSupported, false},
        {[] {}, accel, false, "", false},
        {[&] { mApp.mDisplay = display; }, accel, true, warning, true},
        {[&] { display->mRecommend3D = true; }, accel, true, "", true},
    };
    int row = 0;
    for (const auto& [setting, box, checked, message, after] : rows)
    {
        SCOPED_TRACE(row++);
        setting();
        box->SetChecked(checked, true); // as a click does
        EXPECT_EQ(Message(), message);
        EXPECT_EQ(box->IsChecked(), after);
        // Any button of the message closes it.
        if (Dialog* shown = mApp.GetDialog(1000))
            shown->ButtonDepress(1000);
        EXPECT_EQ(Message(), "");
    }
    EXPECT_EQ(mApp.GetDialog(9), dialog);
}

TEST_F(OptionsDialogs, SoundTestPlaysOnceAfterTheSliderIsLetGo)
{
    SimpleOptionsDialog dialog(9, true);
    for (int sound : {-1, 7})
    {
        dialog.mSfxTestSound = sound;
        dialog.SliderVal(4, 0.5);
        mManager->mHeldButtons = 1;
        dialog.Update();
        EXPECT_TRUE(mApp.mSamples.empty());
        mManager->mHeldButtons = 0;
        dialog.Update();
        dialog.Update();
    }
    EXPECT_EQ(mApp.mSamples, std::vector<int>{7});
    dialog.SliderVal(3, 0.75);
    EXPECT_EQ(mApp.mSfxVolume, 0.5);
    EXPECT_EQ(mApp.mMusicVolume, 0.75);
}

TEST_F(OptionsDialogs, OkSwitchesTheScreenModeAndKillsTheDialog)
{
    mApp.mIsWindowed = false;
    auto* dialog = new SimpleOptionsDialog(9, true);
    dialog->mDialogListener = &mLog;
    mApp.AddDialog(dialog);
    dialog->mFullScreenCheckbox->SetChecked(false, true);
    EXPECT_FALSE(mApp.mIsWindowed); // not before "Ok"
    dialog->ButtonDepress(0);
    EXPECT_EQ(mLog.Take(), "DialogButtonDepress(9,0)");
    dialog->ButtonDepress(1000);
    EXPECT_TRUE(mApp.mIsWindowed);
    EXPECT_EQ(mApp.GetDialog(9), nullptr);
    EXPECT_EQ(dialog->mResult, Dialog::kNoResult);
    EXPECT_EQ(mLog.Take(), "");
}

} // namespace
