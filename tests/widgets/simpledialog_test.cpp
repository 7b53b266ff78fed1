// Dialog skins and simple dialogs: the built-in skin's images, the base buttons of modes
// 0 to 3, the third button, the slide-in, the labelled check box and the label, the
// skin's ownership of its images, and the file dialog of this platform.
#include "graphics/MemoryImage.h"
#include "widgets/DialogButton.h"
#include "widgets/FileDialog.h"
#include "widgets/SimpleDialog.h"
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
        {0, "", 34 + 12 + 20},
        {1, "1000 YES (0,0,33,24) 1001 NO (0,0,33,24)", 34 + 12 + 20 + 40},
        {2, "1000 OK (0,0,33,24) 1001 CANCEL (0,0,33,24)", 34 + 12 + 20 + 40},
        {3, "1000 Close (0,0,33,24)", 34 + 12 + 40},
    };
    for (const auto& [mode, buttons, height] : rows)
    {
        SimpleDialog dialog(4, true, "Title", "", "Close", mode);
        EXPECT_EQ(ButtonsText({dialog.mYesButton.get(), dialog.mNoButton.get()}), buttons) << mode;
        EXPECT_EQ(dialog.GetPreferredHeight(400), height) << mode;
        EXPECT_EQ(dialog.mComponentImage, DialogSkin::mDefSkin->mDialogImage.get());
        // White labels, black while hovered; the frames stacked.
        EXPECT_TRUE(mode == 0 || (dialog.mYesButton->GetColor(1) == Color::Black &&
                                  dialog.mYesButton->mDownRect == TRect<int>(0, 48, 33, 24)));
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

} // namespace
