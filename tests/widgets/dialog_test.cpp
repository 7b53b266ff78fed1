// Dialog: button modes 0 to 3 and their placement, buttons kept in front of the dialog,
// the preferred height, the drawn look and text lines, dragging limits, the answers 1000
// to 1002, and WaitForResult, also when the dialog is killed and deleted meanwhile.
#include "graphics/support/FixedFont.h"
#include "widgets/Dialog.h"
#include "widgets/support/ControlTestSupport.h"

#include <tuple>
#include <utility>

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

TEST_F(Dialogs, ButtonModesMakeAndPlaceTheirButtonsAndThePreferredHeight)
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
}

TEST_F(Dialogs, DrawnLookAndTextLines)
{
    Dialog* dialog = Make(0, "Title", "Hello", "Foot");
    dialog->Resize(0, 0, 400, 200);
    EXPECT_EQ(DrawCalls(dialog),
              "DrawRect((12,12,375,175),(255,255,255,255),0) "
              "FillRect((13,13,374,174),(80,80,80,255),0) FillRect((388,24,12,164),(0,0,0,128),0) "
              "FillRect((24,188,376,12),(0,0,0,128),0)");
    auto calls = [](const std::unique_ptr<Font>& font)
    { return Join(static_cast<FixedFont*>(font.get())->TakeCalls()); };
    // Header at 24 + ascent; body below 10 pixels of space; footer 8 + 14 below the body.
    EXPECT_EQ(calls(dialog->mHeaderFont),
              "DrawString(185,34,\"Title\",(255,255,255,255)) DrawString(188,82,\"Foot\",(255,255,255,255))");
    // The body is centred (alignment 0) in 26..373.
    EXPECT_EQ(calls(dialog->mLinesFont), "DrawString(185,56,\"Hello\",(255,255,0,255))");
    EXPECT_EQ(dialog->mTextBottom, 82);
    Dispose(dialog);
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

TEST_F(Dialogs, ButtonsStayInFrontAndAnswerAs1000To1002)
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
}

TEST_F(Dialogs, WaitForResult)
{
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
    const std::tuple<bool, std::function<void(Dialog*&)>, int> rows[] = {
        {false, nullptr, Dialog::kNoResult},
        {true, click, 1000},
        {true, destroy, Dialog::kNoResult},
        {true, destroyOnAnswer, 1000},
        {true, leaveTable, Dialog::kNoResult}};
    int index = 0;
    for (const auto& [inManager, atThirdUpdate, result] : rows)
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
    Dialog* dialog = Make(2);
    mManager->AddWidget(dialog);
    mApp.mOnUpdate = [&] { mApp.Shutdown(); };
    EXPECT_EQ(dialog->WaitForResult(false), Dialog::kNoResult);
    Dispose(dialog);
}

} // namespace
