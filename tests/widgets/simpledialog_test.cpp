// Dialog skins and simple dialogs: the built-in skin's images, the base buttons of modes
// 0 to 3, the third button, the slide-in, the labelled check box and the label, the
// skin's ownership of its images, and the file dialog of this platform. Options dialog:
// its texts and layout, the refused check boxes with their messages, the sound test after
// the slider is let go, and "Ok" switching the screen mode and closing.
#include "graphics/MemoryImage.h"
#include "widgets/DialogButton.h"
#include "widgets/FileDialog.h"
#include "widgets/SimpleDialog.h"
#include "widgets/SimpleOptionsDialog.h"
#include "widgets/support/ControlTestSupport.h"

#include <tuple>

using namespace Vaxo;

namespace
{

using SimpleDialogs = SkinnedControlTest;

TEST_F(SimpleDialogs, BuiltInSkinDrawsItsImages)
{
    DialogSkin* skin = DialogSkin::mDefSkin;
    ASSERT_TRUE(skin->mHeaderFont != nullptr && skin->mLinesFont != nullptr && skin->mLabelFont != nullptr);
    // Image, point, ARGB.
    const std::tuple<Image*, int, int, uint32_t> rows[] = {
        {skin->mDialogImage, 50, 50, 0xD0000000},       {skin->mDialogImage, 99, 0, 0xFFFFFFFF},
        {skin->mDialogButtonImage, 16, 36, 0xFF808080}, {skin->mDialogButtonImage, 32, 47, 0xFFFFFFFF},
        {skin->mSliderTrackImage, 10, 3, 0xFF808080},   {skin->mSliderTrackImage, 2, 1, 0x00000000},
        {skin->mSliderThumbImage, 12, 12, 0xFF000080},
    };
    for (const auto& [image, x, y, argb] : rows)
    {
        auto* memory = static_cast<MemoryImage*>(image);
        EXPECT_EQ(memory->GetBits()[y * memory->GetWidth() + x], argb) << x << "," << y;
    }
    EXPECT_EQ(skin->mCheckboxImage.get(), nullptr);
    EXPECT_EQ(skin->mButtonClickSound, -1);
}

TEST_F(SimpleDialogs, ButtonModesWithTheBuiltInSkin)
{
    // Mode, buttons before any Resize, preferred height for 400 (insets 10 + 24, header
    // 12, footer 8 + 12 unless it labels the button, button row 8 + 24 + 8).
    const std::tuple<int, const char*, int> rows[] = {
        {1, "1000 YES (0,0,33,24) 1001 NO (0,0,33,24)", 34 + 12 + 20 + 40},
        {3, "1000 Close (0,0,33,24)", 34 + 12 + 40},
    };
    for (const auto& [mode, buttons, height] : rows)
    {
        SimpleDialog dialog(4, true, "Title", "", "Close", mode);
        EXPECT_EQ(ButtonsText({dialog.mYesButton.get(), dialog.mNoButton.get()}), buttons) << mode;
        EXPECT_EQ(dialog.GetPreferredHeight(400), height) << mode;
        // White labels, black while hovered; the frames stacked.
        EXPECT_TRUE(dialog.mYesButton->GetColor(1) == Color::Black &&
                    dialog.mYesButton->mDownRect == TRect<int>(0, 48, 33, 24));
    }
}

TEST_F(SimpleDialogs, ThirdButtonSpansTheRowAboveAndCanSwapRows)
{
    SimpleDialog single(1, false, "", "", "OK", 3);
    single.DoThirdButton("Third", false);
    EXPECT_EQ(single.mThirdButton.get(), nullptr);

    for (bool swap : {false, true})
    {
        Attached<SimpleDialog> dialog(mManager, 1, false, "", "", "", 1);
        dialog->DoThirdButton("Third", swap);
        dialog->DoThirdButton("Again", swap);
        dialog->Resize(100, 50, 400, 300);
        EXPECT_EQ(
            ButtonsText({dialog->mYesButton.get(), dialog->mNoButton.get(), dialog->mThirdButton.get()}),
            swap ? "1000 YES (124,268,172,24) 1001 NO (304,268,172,24) "
                   "1002 Third (124,302,352,24)"
                 : "1000 YES (124,302,172,24) 1001 NO (304,302,172,24) "
                   "1002 Third (124,268,352,24)");
        EXPECT_EQ(dialog->mThirdButton->mParent, mManager);
        EXPECT_EQ(dialog->GetPreferredHeight(400), 34 + 24 + 8 + 24 + 16);
    }
    EXPECT_EQ(mManager->mWidgets.size(), 0u);
}

TEST_F(SimpleDialogs, SlideInReachesItsPlaceOnThe15thUpdateAndEndsOnThe16th)
{
    SimpleDialog dialog(1, false, "", "", "", 0);
    dialog.Resize(10, 100, 300, 200);
    dialog.ScrollOn();
    EXPECT_EQ(dialog.mY, -200);
    std::vector<std::string> steps;
    for (int update = 1; update <= 16; update++)
    {
        dialog.Update();
        if (update >= 14)
            steps.push_back(std::to_string(dialog.mY) + (dialog.IsScrolling() ? "+" : "."));
    }
    EXPECT_EQ(Join(steps), "80+ 100+ 100.");
}

TEST_F(SimpleDialogs, CheckboxAndLabel)
{
    // The drawn box: 17 square, centred in its height, the label 22 pixels in.
    SimpleCheckbox box("Music", 1, &mLog, nullptr);
    EXPECT_EQ(box.GetRect(), TRect<int>(0, 0, 17 + 5 + 30, 17));
    box.SetChecked(true, false);
    EXPECT_EQ(DrawCalls(&box),
              "FillRect((0,0,17,17),(255,255,255,255),0) FillRect((1,1,15,15),(80,80,80,255),0) "
              "DrawLine(1,1,15,15,(255,255,0,255),0) DrawLine(15,1,1,15,(255,255,0,255),0)");
    auto* font = static_cast<TestFont*>(box.mFont);
    EXPECT_EQ(Join(font->mDrawn), "Music");
    // With an image: its halves, checked above.
    RecordingImage image("box", 20, 30);
    SimpleCheckbox imaged("Sound", 2, &mLog, &image);
    EXPECT_EQ(imaged.GetRect(), TRect<int>(0, 0, 20 + 5 + 30, 15));
    EXPECT_EQ(DrawCalls(&imaged), "Blt(box,0,0,(0,15,20,15),(255,255,255,255),0)");

    Attached<Widget> label(mManager,
                           std::unique_ptr<Widget>(DialogSkin::mDefSkin->CreateLabel("Hi", nullptr)));
    EXPECT_EQ(label->GetRect(), TRect<int>(0, 0, 12, 12));
    static_cast<SimpleLabel*>(label.get())->Init("Longer", nullptr);
    EXPECT_EQ(label->GetRect(), TRect<int>(0, 0, 36, 12));
    int x, y;
    EXPECT_EQ(mManager->GetWidgetAt(5, 5, &x, &y), nullptr); // clicks pass through
}

// Counts its deletions.
class CountedImage : public MemoryImage
{
public:
    explicit CountedImage(int* deleted) : mDeleted(deleted) { Create(30, 90); }
    ~CountedImage() override { ++*mDeleted; }
    int* mDeleted;
};

TEST_F(SimpleDialogs, SkinKeepsItsOwnImagesThroughSelfAssignmentAndTheButtonImageSwap)
{
    int deleted = 0;
    auto* own = new CountedImage(&deleted);
    CountedImage other(&deleted);
    {
        SmartPtr<DialogSkin> skin(new DialogSkin());
        skin->mDialogButtonImage.Set(own, true);
        skin->mDialogButtonImage.Set(own, true);
        std::unique_ptr<DialogButton> button(skin->CreateDialogButton(5, &mLog, &other, "Swap"));
        EXPECT_EQ(button->mComponentImage, &other);
        EXPECT_EQ(button->GetRect(), TRect<int>(0, 0, 30, 30));
        EXPECT_EQ(skin->mDialogButtonImage.get(), own);
        EXPECT_EQ(deleted, 0);
        skin->mDialogButtonImage.Set(&other, false);
        EXPECT_EQ(deleted, 1);
    }
    EXPECT_EQ(deleted, 1); // borrowed: not deleted with the skin
}

TEST(FileDialogs, ThisPlatformHasNoChooser)
{
    FileDialog open(false), save(true);
    for (FileDialog* dialog : {&open, &save})
        dialog->SetAllowMultiple(true), dialog->SetWarnIfExists(true);
    // Allow multiple (open only), warn if exists (save only), file must exist.
    EXPECT_EQ(std::make_tuple(open.mAllowMultiple, open.mWarnIfExists, open.mFileMustExist,
                              save.mAllowMultiple, save.mWarnIfExists, save.mFileMustExist),
              std::make_tuple(true, false, true, false, true, false));
    open.AddFilter("*.dmo", "Demos");
    open.SetGetDir(false);
    open.SetStandardReg();
    EXPECT_EQ(open.mFilters.size(), 1u);
    EXPECT_EQ(open.mFilters.front().mPattern + " " + open.mFilters.front().mDescription + " " +
                  open.mRegDirName + " " + open.mRegFileName,
              "*.zzz Directories FileDialog_Dir FileDialog_Name");
    EXPECT_FALSE(open.DoDialog());
    EXPECT_EQ(open.GetFile(), "");
}

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
