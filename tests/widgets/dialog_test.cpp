// Dialog: button modes 0 to 3 and their placement, buttons kept in front of the dialog,
// the preferred height, the drawn look and text lines, dragging limits, the answers 1000
// to 1002, and WaitForResult, also when the dialog is killed and deleted meanwhile.
// Dialog skins and simple dialogs: the built-in skin's images, the base buttons, the
// third button, the slide-in, the labelled check box and the label, the skin's ownership
// of its images, and the file dialog of this platform. Options dialog: its texts and
// layout, the refused check boxes with their messages, the sound test after the slider is
// let go, and "Ok" switching the screen mode and closing. List dialog: selection by name
// in any letter case, a double click answering 1000, and the scroll bar shown only when
// the lines do not fit, narrowing the list. Composites: every composite widget built
// under a screen and removed and deleted in every order frees each widget it made once.
#include "graphics/MemoryImage.h"
#include "graphics/support/FixedFont.h"
#include "widgets/Dialog.h"
#include "widgets/DialogButton.h"
#include "widgets/FileDialog.h"
#include "widgets/ListDialog.h"
#include "widgets/ProfileNameDialog.h"
#include "widgets/ProfileUserDialog.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/SimpleDialog.h"
#include "widgets/SimpleOptionsDialog.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/ControlTestSupport.h"

#include <functional>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

class Dialogs : public ControlTest
{
protected:
    FixedFont mHeaderFont{6, 10, 14};
    FixedFont mLinesFont{6, 8, 12};

    Dialog* Make(int mode, const char* header = "", const char* lines = "", const char* footer = "")
    {
        auto* dialog = new Dialog(nullptr, nullptr, 5, true, header, lines, footer, mode);
        dialog->SetHeaderFont(&mHeaderFont);
        dialog->SetLinesFont(&mLinesFont);
        return dialog;
    }
    // Takes the dialog out of the table and the tree and deletes it, unless the
    // application already queued it for deletion.
    void Dispose(Dialog* dialog)
    {
        if (mApp.GetDialog(dialog->mId) == dialog)
            mApp.mDialogMap.erase(dialog->mId);
        mApp.mDialogList.remove(dialog);
        for (const WidgetSafeDeleteInfo& info : mApp.mSafeDeleteList)
        {
            if (info.mWidget == dialog)
                return;
        }
        if (dialog->mParent != nullptr)
            dialog->mParent->RemoveWidget(dialog);
        delete dialog;
    }
};

TEST_F(Dialogs, ButtonModesThePreferredHeightAndTheDrawnLookAndTextLines)
{
    // At (100, 50), 400 x 300: content insets 24, a button row 24 high at 302. Mode, texts,
    // buttons, preferred height for a width of 400.
    const std::string twoLines(70, 'a'); // 58 characters fit in 400 - 48 - 4
    const std::tuple<int, const char*, const char*, const char*, const char*, int> rows[] = {
        {0, "Title", "", "", "", 48 + 14},
        {0, "", twoLines.c_str(), "", "", 48 + 24},
        {1, "", "", "", "1000 YES (124,302,172,24) 1001 NO (304,302,172,24)", 48 + 24 + 8},
        {2, "Title", "Hello", "Foot",
         "1000 OK (134,302,162,24) 1001 CANCEL (304,302,162,24)", // side padding 10
         48 + 14 + 10 + 12 + 8 + 14 + 8 + 24 + 8},
        {3, "Title", "", "Close", "1000 Close (124,302,352,24)", 48 + 14 + 8 + 24 + 8},
    };
    for (const auto& [mode, header, lines, footer, buttons, height] : rows)
    {
        Dialog* dialog = Make(mode, header, lines, footer);
        EXPECT_EQ(dialog->GetPreferredHeight(400), height) << mode << header << lines;
        dialog->mButtonSidePadding = mode == 2 ? 10 : 0;
        dialog->Resize(100, 50, 400, 300);
        EXPECT_EQ(ButtonsText({dialog->mYesButton.get(), dialog->mNoButton.get()}), buttons) << mode;
        // The drawn buttons are light: their labels are black.
        EXPECT_TRUE(mode == 0 || dialog->mYesButton->GetColor(0) == Color::Black);
        Dispose(dialog);
    }

    // With a button image the labels keep the table's white; slot 3 passes on.
    RecordingImage buttonImage("button", 30, 30);
    Dialog dialog(nullptr, &buttonImage, 1, false, "", "", "", 2);
    EXPECT_EQ(dialog.mButtonHeight, 30);
    EXPECT_EQ(dialog.mNoButton->GetColor(1), Color::White);
    dialog.SetColor(3, Color(1, 2, 3));
    EXPECT_EQ(dialog.mNoButton->GetColor(0), Color(1, 2, 3));

    // The drawn look and the text lines.
    Dialog* drawn = Make(0, "Title", "Hello", "Foot");
    drawn->Resize(0, 0, 400, 200);
    EXPECT_EQ(DrawCalls(drawn),
              "DrawRect((12,12,375,175),(255,255,255,255),0) "
              "FillRect((13,13,374,174),(80,80,80,255),0) FillRect((388,24,12,164),(0,0,0,128),0) "
              "FillRect((24,188,376,12),(0,0,0,128),0)");
    auto calls = [](const std::unique_ptr<Font>& font)
    { return Join(static_cast<FixedFont*>(font.get())->TakeCalls()); };
    // Header at 24 + ascent; body below 10 pixels of space; footer 8 + 14 below the body.
    EXPECT_EQ(calls(drawn->mHeaderFont),
              "DrawString(185,34,\"Title\",(255,255,255,255)) DrawString(188,82,\"Foot\",(255,255,255,255))");
    // The body is centred (alignment 0) in 26..373.
    EXPECT_EQ(calls(drawn->mLinesFont), "DrawString(185,56,\"Hello\",(255,255,0,255))");
    EXPECT_EQ(drawn->mTextBottom, 82);
    Dispose(drawn);
}

TEST_F(Dialogs, DraggingKeepsTheDialogNearTheScreenAndTheHeldPointInside)
{
    Dialog* dialog = Make(1);
    dialog->Resize(100, 100, 200, 100);
    mManager->AddWidget(dialog);
    mManager->MouseMove(150, 150);
    mManager->MouseDown(150, 150, 1);
    EXPECT_EQ(mApp.mCursorNum, 2);
    // Mouse at; the dialog's position and the point it is held by.
    const std::tuple<int, int, int, int, int, int> rows[] = {
        {60, 60, 10, 10, 50, 50}, {10, 10, -8, -8, 18, 18},      {2, 2, -8, -8, 10, 10},
        {-20, -20, -8, -8, 8, 8}, {795, 595, 608, 508, 187, 87}, {900, 700, 608, 508, 191, 91},
    };
    for (const auto& [toX, toY, x, y, heldX, heldY] : rows)
    {
        mManager->MouseMove(toX, toY);
        EXPECT_EQ(dialog->GetRect(), TRect<int>(x, y, 200, 100)) << toX;
        EXPECT_EQ(TPoint<int>(dialog->mDragMouseX, dialog->mDragMouseY), TPoint<int>(heldX, heldY)) << toX;
    }
    EXPECT_EQ(dialog->mYesButton->mX, 608 + 24); // the buttons move with it
    mManager->MouseUp(900, 700, 1);
    EXPECT_EQ(mApp.mCursorNum, 0);

    // A right click or a double click does not drag.
    for (int clickCount : {-1, 2})
    {
        mManager->MouseMove(700, 550);
        mManager->MouseDown(700, 550, clickCount);
        mManager->MouseMove(300, 300);
        mManager->MouseUp(300, 300, clickCount);
        EXPECT_EQ(dialog->mX, 608) << clickCount;
    }
    Dispose(dialog);
}

TEST_F(Dialogs, ButtonsStayInFrontAnswerAs1000To1002AndAreWaitedFor)
{
    Widget* other = mEnv.Add("W", 0, 0, 800, 600);
    Dialog* dialog = Make(2);
    EXPECT_EQ(dialog->mDialogListener, static_cast<DialogListener*>(&mApp));
    dialog->mDialogListener = &mLog;
    dialog->Resize(100, 100, 400, 200);
    Widget* yes = dialog->mYesButton.get();
    Widget* no = dialog->mNoButton.get();
    mManager->AddWidget(dialog);
    mManager->BringToFront(other);
    mManager->BringToFront(dialog);
    EXPECT_EQ(mManager->mWidgets, (WidgetManager::WidgetList{other, dialog, no, yes}));

    Click(mManager, 200, 260);
    EXPECT_EQ(mLog.Take(), "DialogButtonPress(5,1000) DialogButtonDepress(5,1000)");
    EXPECT_EQ(dialog->mResult, 1000);
    const int rows[][2] = {{1001, 1001}, {1002, 1002}, {5, 1002}, {999, 1002}};
    for (const auto& row : rows)
    {
        dialog->ButtonDepress(row[0]);
        EXPECT_EQ(dialog->mResult, row[1]) << row[0];
    }
    EXPECT_EQ(mLog.Take(), "DialogButtonDepress(5,1001) DialogButtonDepress(5,1002)");
    mManager->RemoveWidget(dialog);
    EXPECT_EQ(mManager->mWidgets, (WidgetManager::WidgetList{other}));
    Dispose(dialog);

    // WaitForResult, also when the dialog is killed and deleted meanwhile.
    mApp.Init();
    auto click = [this](Dialog*&) { Click(mManager, 200, 260); };
    auto destroy = [this](Dialog*& dialog) { Dispose(std::exchange(dialog, nullptr)); };
    auto destroyOnAnswer = [&](Dialog*& dialog)
    {
        mLog.mAction = [&]
        {
            if (mLog.mCalls.back().rfind("DialogButtonDepress", 0) == 0)
                mLog.mAction = nullptr, destroy(dialog);
        };
        click(dialog);
    };
    auto leaveTable = [this](Dialog*& dialog) { mApp.mDialogMap.erase(dialog->mId); };
    // In the manager, what happens at the third update of the wait, the answer.
    const std::tuple<bool, std::function<void(Dialog*&)>, int> waits[] = {
        {false, nullptr, Dialog::kNoResult},
        {true, click, 1000},
        {true, destroy, Dialog::kNoResult},
        {true, destroyOnAnswer, 1000},
        {true, leaveTable, Dialog::kNoResult}};
    int index = 0;
    for (const auto& [inManager, atThirdUpdate, result] : waits)
    {
        Dialog* dialog = Make(2);
        dialog->mDialogListener = &mLog;
        dialog->Resize(100, 100, 400, 200);
        mApp.mDialogMap[5] = dialog;
        if (inManager)
            mManager->AddWidget(dialog);
        const int32_t start = mApp.mUpdateCount;
        mApp.mOnUpdate = [&, hook = atThirdUpdate]
        {
            if (mApp.mUpdateCount == start + 3 && hook)
                hook(dialog);
        };
        EXPECT_EQ(dialog->WaitForResult(true), result) << index++;
        EXPECT_EQ(mApp.GetDialog(5), nullptr); // killed, by the wait or before
        EXPECT_EQ(mApp.mUpdateCount - start, inManager ? 3 : 0);
        mApp.mOnUpdate = nullptr;
        if (dialog != nullptr)
            Dispose(dialog);
        mManager->MouseMove(0, 0);
        mLog.Take();
    }
    // A shutdown ends the wait.
    Dialog* last = Make(2);
    mManager->AddWidget(last);
    mApp.mOnUpdate = [&] { mApp.Shutdown(); };
    EXPECT_EQ(last->WaitForResult(false), Dialog::kNoResult);
    Dispose(last);
}

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

TEST_F(SimpleDialogs, ThirdButtonSpansTheRowAboveAndCanSwapRows)
{
    SimpleDialog single(1, false, "", "", "OK", 3);
    single.DoThirdButton("Third", false);
    EXPECT_EQ(single.mThirdButton.get(), nullptr);
    // The skin's buttons: black labels while hovered; the frames stacked.
    EXPECT_TRUE(single.mYesButton->GetColor(1) == Color::Black &&
                single.mYesButton->mDownRect == TRect<int>(0, 48, 33, 24));

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

    // Started again halfway, it still ends in its place.
    dialog.ScrollOn();
    for (int update = 0; update < 5; update++)
        dialog.Update();
    dialog.ScrollOn();
    while (dialog.IsScrolling())
        dialog.Update();
    EXPECT_EQ(dialog.mY, 100);
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

using OptionsDialogs = SkinnedControlTest;

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
        "window to fit on screen.|OK|OK";
    const std::string notSupported =
        "Not Supported|Hardware Acceleration cannot be enabled on this computer.\nYour "
        "video card does not meet the minimum requirements for this game.|OK|OK";
    const std::string warning =
        "Warning|Your video card may not fully support this feature.\nIf you experience "
        "slower performance, please disable Hardware Acceleration.|OK|OK";
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
        EXPECT_EQ(DialogTexts(mApp.GetDialog(1000)), message);
        EXPECT_EQ(box->IsChecked(), after);
        // Any button of the message closes it.
        if (Dialog* shown = mApp.GetDialog(1000))
            shown->ButtonDepress(1000);
        EXPECT_EQ(mApp.GetDialog(1000), nullptr);
    }
    EXPECT_EQ(mApp.GetDialog(9), dialog);
}

TEST_F(OptionsDialogs, AMessageGoesWithTheDialogItAnswersTo)
{
    mApp.mForceFullscreen = true;
    auto* dialog = new SimpleOptionsDialog(9, true);
    mApp.AddDialog(dialog);
    dialog->mFullScreenCheckbox->SetChecked(false, true);
    ASSERT_NE(mApp.GetDialog(1000), nullptr);
    // The game closes the options while the message is still up.
    mApp.KillDialog(9);
    mApp.ProcessSafeDeleteList();
    EXPECT_EQ(mApp.GetDialog(1000), nullptr);
    // Left up, its button would answer to the deleted dialog.
    if (Dialog* message = mApp.GetDialog(1000))
        message->ButtonDepress(1000);
    EXPECT_EQ(mApp.GetDialogCount(), 0);
}

TEST_F(OptionsDialogs, SoundTestPlaysOnceAfterTheSliderIsLetGoAndOkSwitchesTheScreenMode)
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

    // "Ok" switches the screen mode and kills the dialog.
    mApp.mIsWindowed = false;
    auto* shown = new SimpleOptionsDialog(9, true);
    shown->mDialogListener = &mLog;
    mApp.AddDialog(shown);
    shown->mFullScreenCheckbox->SetChecked(false, true);
    EXPECT_FALSE(mApp.mIsWindowed); // not before "Ok"
    shown->ButtonDepress(0);
    EXPECT_EQ(mLog.Take(), "DialogButtonDepress(9,0)");
    shown->ButtonDepress(1000);
    EXPECT_TRUE(mApp.mIsWindowed);
    EXPECT_EQ(mApp.GetDialog(9), nullptr);
    EXPECT_EQ(shown->mResult, Dialog::kNoResult);
    EXPECT_EQ(mLog.Take(), "");
}

using ListDialogs = SkinnedControlTest;

TEST_F(ListDialogs, SelectionByNameDoubleClickAndAScrollbarOnlyWhenNeeded)
{
    auto* dialog = new ListDialog(3, true, "Select", "", "", 2);
    dialog->mDialogListener = &mLog;
    dialog->Resize(0, 0, 350, 350);
    // Content insets 24, 10, 24; header 12 and 20 below it; 100 kept below the list.
    EXPECT_EQ(dialog->mListWidget->GetRect(), TRect<int>(24, 42, 302, 208));
    EXPECT_FALSE(dialog->mScrollbar->mVisible);
    EXPECT_EQ(dialog->GetSelItem(), "");
    for (const char* name : {"Amy", "Bob", "Cy"})
        dialog->mListWidget->AddLine(name, false);
    EXPECT_TRUE(dialog->SetSelect("bOB"));
    EXPECT_FALSE(dialog->SetSelect("Dan"));
    EXPECT_EQ(dialog->GetSelItem(), "Bob");

    mApp.AddDialog(dialog);
    // Lines of 12 from 42 + 4: a single click selects, a double click also answers.
    Click(mManager, 50, 46 + 2 * 12 + 5);
    EXPECT_EQ(dialog->GetSelItem(), "Cy");
    EXPECT_EQ(mLog.Take(), "");
    Click(mManager, 50, 47, 2);
    EXPECT_EQ(dialog->GetSelItem(), "Amy");
    EXPECT_EQ(dialog->mResult, 1000);
    EXPECT_EQ(mLog.Take(), "DialogButtonDepress(3,1000)");

    // 208 - 8 of margins holds 16 lines of 12.
    for (int i = 3; i < 17; i++)
        dialog->mListWidget->AddLine("line " + std::to_string(i), false);
    dialog->CheckShowScrollbar();
    EXPECT_TRUE(dialog->mScrollbar->mVisible);
    EXPECT_EQ(dialog->mListWidget->GetRect(), TRect<int>(24, 42, 286, 208));
    EXPECT_EQ(dialog->mScrollbar->GetRect(), TRect<int>(310, 42, 16, 208));
    mApp.KillDialog(dialog);
}

using Composites = SkinnedControlTest;

// Every widget of the tree below container, depth first.
void CollectTree(WidgetContainer* container, std::vector<Widget*>* widgets)
{
    for (Widget* widget : container->mWidgets)
    {
        widgets->push_back(widget);
        CollectTree(widget, widgets);
    }
}

TEST_F(Composites, EveryOrderOfRemovalAndDeletionFreesEachWidgetOnce)
{
    // Widgets an owner added to a composite it did not make; alive only while the
    // composite holds them.
    std::vector<WidgetRef<Widget>> ownerAdded;
    // name, the composite, the widgets in the tree with it (itself included; a dialog's
    // buttons lie beside it in the manager)
    const std::tuple<const char*, std::function<Widget*()>, size_t> composites[] = {
        {"scroll bar with an owner's child",
         [&]
         {
             auto* bar = new ScrollbarWidget(0, &mLog);
             auto* child = new Widget();
             ownerAdded.emplace_back(child);
             bar->AddWidget(child);
             return bar;
         },
         4},
        {"list dialog",
         []
         {
             auto* dialog = new ListDialog(3, true, "Select", "", "", 2);
             dialog->Resize(0, 0, 350, 350);
             for (int i = 0; i < 30; i++)
                 dialog->mListWidget->AddLine("line", false);
             dialog->CheckShowScrollbar();
             return dialog;
         },
         8},
        {"options dialog", [] { return new SimpleOptionsDialog(4, true); }, 11},
        {"player list", [] { return new ProfileUserDialog(nullptr); }, 11},
        {"player name dialog", [] { return new ProfileNameDialog(false); }, 4},
        {"dialog with a third button",
         []
         {
             auto* dialog = new SimpleDialog(5, true, "", "", "", 2);
             dialog->DoThirdButton("More", false);
             return dialog;
         },
         4},
        {"dialog", [] { return new Dialog(nullptr, nullptr, 6, true, "", "", "", 1); }, 3},
    };
    // How the screen and the composite go; the screen is the manager's only child.
    const std::pair<const char*, std::function<void(Widget*, Widget*)>> ways[] = {
        {"the manager's recursive delete", [&](Widget*, Widget*) { mManager->RemoveAllWidgets(true, true); }},
        {"the manager's, the screen in front of the dialog's buttons",
         [&](Widget* screen, Widget*)
         {
             mManager->BringToFront(screen);
             mManager->RemoveAllWidgets(true, true);
         }},
        {"the screen's recursive delete",
         [&](Widget* screen, Widget*)
         {
             screen->RemoveAllWidgets(true, true);
             mManager->RemoveWidget(screen);
             delete screen;
         }},
        {"the screen's delete",
         [&](Widget* screen, Widget*)
         {
             screen->RemoveAllWidgets(true, false);
             mManager->RemoveWidget(screen);
             delete screen;
         }},
        {"removed and deleted",
         [&](Widget* screen, Widget* composite)
         {
             screen->RemoveWidget(composite);
             delete composite;
             mManager->RemoveWidget(screen);
             delete screen;
         }},
        {"a recursive removal, then deleted",
         [&](Widget* screen, Widget* composite)
         {
             mManager->RemoveWidget(screen);
             screen->RemoveAllWidgets(false, true);
             delete composite;
             delete screen;
             // What the owner added left the composite: the owner deletes it.
             for (const WidgetRef<Widget>& widget : ownerAdded)
                 delete widget.get();
         }},
    };
    for (const auto& [name, make, count] : composites)
    {
        for (const auto& [way, remove] : ways)
        {
            SCOPED_TRACE(std::string(name) + ", " + way);
            ownerAdded.clear();
            auto* screen = new Widget();
            mManager->AddWidget(screen);
            Widget* composite = make();
            screen->AddWidget(composite);
            std::vector<Widget*> widgets;
            CollectTree(mManager, &widgets);
            EXPECT_EQ(widgets.size(), count + 1);
            std::vector<WidgetRef<Widget>> lives(widgets.begin(), widgets.end());

            remove(screen, composite);
            EXPECT_TRUE(mManager->mWidgets.empty());
            size_t alive = 0;
            for (const WidgetRef<Widget>& life : lives)
                alive += life ? 1 : 0;
            EXPECT_EQ(alive, 0u);
        }
    }
}

// A skin with a frame around the list.
class FramedSkin : public DialogSkin
{
public:
    RecordingImage mFrame{"frame", 3, 3};
    FramedSkin()
    {
        DefInit();
        mInnerWindowImage.Set(&mFrame, false);
        mInnerWindowInsets = Insets(-2, -3, 4, 5);
    }
};

TEST_F(ListDialogs, AResizeThatShowsOrHidesTheScrollbarNarrowsOrWidensTheList)
{
    ListDialog dialog(3, true, "Select", "", "", 2);
    dialog.Resize(0, 0, 350, 350);
    for (int i = 0; i < 10; i++)
        dialog.mListWidget->AddLine("line " + std::to_string(i), false);
    dialog.CheckShowScrollbar();
    EXPECT_FALSE(dialog.mScrollbar->mVisible);
    // 58 - 8 of margins holds 4 lines of 12: the bar shows and the list makes room.
    dialog.Resize(0, 0, 350, 200);
    EXPECT_TRUE(dialog.mScrollbar->mVisible);
    EXPECT_EQ(dialog.mListWidget->GetRect(), TRect<int>(24, 42, 286, 58));
    EXPECT_EQ(dialog.mScrollbar->GetRect(), TRect<int>(310, 42, 16, 58));
    // Tall again: the bar hides and the list spans the content width.
    dialog.Resize(0, 0, 350, 350);
    EXPECT_FALSE(dialog.mScrollbar->mVisible);
    EXPECT_EQ(dialog.mListWidget->GetRect(), TRect<int>(24, 42, 302, 208));
}

TEST_F(ListDialogs, SkinFrameCoversListAndScrollbar)
{
    DialogSkin::mDefSkin = new FramedSkin();
    ListDialog dialog(3, true, "Select", "", "", 2);
    EXPECT_FALSE(dialog.mListWidget->mDrawOutline);
    dialog.Resize(0, 0, 100, 170);
    for (int i = 0; i < 9; i++)
        dialog.mListWidget->AddLine("x", false);
    dialog.CheckShowScrollbar();
    ASSERT_TRUE(dialog.mScrollbar->mVisible);
    // List (24, 42, 36, 28) and bar to x 76: the frame from (22, 39) to (79, 74).
    const std::string calls = DrawCalls(dialog.mWidgets.back());
    EXPECT_EQ(calls.rfind("Blt(frame,22,39,(0,0,1,1)", 0), 0u) << calls.substr(0, 80);
    EXPECT_NE(calls.find("Blt(frame,79,74,(2,2,1,1)"), std::string::npos);
}

} // namespace
