// Dialog: button modes 0 to 3 and their placement, buttons kept in front of the dialog,
// the preferred height, the drawn look and text lines, dragging limits, the answers 1000
// to 1002, and WaitForResult, also when the dialog is killed and deleted meanwhile.
#include "graphics/support/FixedFont.h"
#include "widgets/Dialog.h"
#include "widgets/support/ControlTestSupport.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Vaxo;

namespace
{

class Dialogs : public ::testing::Test
{
protected:
    AppTestEnv mAppEnv;
    ControlTestApp mApp;
    WidgetTestEnv mEnv{&mApp};
    WidgetManager* mManager = mEnv.mManager;
    ListenerLog mLog;
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
    std::string Names()
    {
        std::string names;
        for (Widget* w : mManager->mWidgets)
        {
            auto* button = dynamic_cast<DialogButton*>(w);
            names += (names.empty() ? "" : " ") + (button != nullptr                     ? button->mLabel
                                                   : dynamic_cast<Dialog*>(w) != nullptr ? "D"
                                                                                         : "W");
        }
        return names;
    }
};

TEST_F(Dialogs, ButtonModesMakeAndPlaceTheirButtons)
{
    struct Row
    {
        int mode, sidePadding;
        const char* labels;
        TRect<int> yes, no;
    };
    // At (100, 50), 400 x 300, content insets 24, button row 24 high at 302.
    const Row rows[] = {
        {0, 0, "", {}, {}},
        {1, 0, "YES NO", {124, 302, 172, 24}, {304, 302, 172, 24}},
        {2, 10, "OK CANCEL", {134, 302, 162, 24}, {304, 302, 162, 24}},
        {3, 0, "Close", {124, 302, 352, 24}, {}},
    };
    for (const Row& row : rows)
    {
        Dialog* dialog = Make(row.mode, "", "", "Close");
        dialog->mButtonSidePadding = row.sidePadding;
        dialog->Resize(100, 50, 400, 300);
        std::string labels;
        for (DialogButton* b : {dialog->mYesButton.get(), dialog->mNoButton.get()})
        {
            if (b != nullptr)
                labels += (labels.empty() ? "" : " ") + b->mLabel;
        }
        EXPECT_EQ(labels, row.labels) << row.mode;
        if (dialog->mYesButton != nullptr)
        {
            EXPECT_EQ(dialog->mYesButton->GetRect(), row.yes) << row.mode;
            EXPECT_EQ(dialog->mYesButton->mId, 1000);
            // The drawn buttons are light: their labels are black.
            EXPECT_EQ(dialog->mYesButton->GetColor(0), Color::Black);
        }
        if (dialog->mNoButton != nullptr)
            EXPECT_EQ(dialog->mNoButton->GetRect(), row.no) << row.mode;
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

TEST_F(Dialogs, ButtonsStayDirectlyInFrontOfTheDialog)
{
    RecordingWidget* other = mEnv.Add("W", 0, 0, 800, 600);
    Dialog* dialog = Make(2);
    mManager->AddWidget(dialog);
    EXPECT_EQ(Names(), "W D OK CANCEL");
    mManager->BringToFront(other);
    mManager->BringToFront(dialog);
    EXPECT_EQ(Names(), "W D CANCEL OK");
    mManager->RemoveWidget(dialog);
    EXPECT_EQ(Names(), "W");
    Dispose(dialog);
}

TEST_F(Dialogs, PreferredHeight)
{
    const std::string twoLines(70, 'a'); // 58 characters fit in 400 - 48 - 4
    struct Row
    {
        int mode;
        const char *header, *lines, *footer;
        int height;
    };
    const Row rows[] = {
        {0, "Title", "", "", 48 + 14},
        {0, "", "Hello", "", 48 + 12},
        {0, "Title", "Hello", "", 48 + 14 + 10 + 12},
        {0, "", twoLines.c_str(), "", 48 + 24},
        {2, "Title", "Hello", "Foot", 48 + 14 + 10 + 12 + 8 + 14 + 8 + 24 + 8},
        {3, "Title", "", "OK", 48 + 14 + 8 + 24 + 8},
        {1, "", "", "", 48 + 24 + 8},
    };
    for (const Row& row : rows)
    {
        Dialog* dialog = Make(row.mode, row.header, row.lines, row.footer);
        EXPECT_EQ(dialog->GetPreferredHeight(400), row.height) << row.mode << row.header << row.lines;
        Dispose(dialog);
    }
}

TEST_F(Dialogs, DrawnLookAndTextLines)
{
    Dialog* dialog = Make(0, "Title", "Hello", "Foot");
    dialog->Resize(0, 0, 400, 200);
    EXPECT_EQ(DrawCalls(dialog),
              "DrawRect((12,12,375,175),(255,255,255,255),0) "
              "FillRect((13,13,374,174),(80,80,80,255),0) FillRect((388,24,12,164),(0,0,0,128),0) "
              "FillRect((24,188,376,12),(0,0,0,128),0)");
    auto calls = [](FixedFont* font)
    {
        std::string text;
        for (const std::string& call : static_cast<FixedFont*>(font)->TakeCalls())
            text += call + " ";
        return text;
    };
    // Header at 24 + ascent; body below 10 pixels of space; footer 8 + 14 below the body.
    EXPECT_EQ(
        calls(static_cast<FixedFont*>(dialog->mHeaderFont.get())),
        "DrawString(185,34,\"Title\",(255,255,255,255)) DrawString(188,82,\"Foot\",(255,255,255,255)) ");
    // The body is centred (alignment 0) in 26..373.
    EXPECT_EQ(calls(static_cast<FixedFont*>(dialog->mLinesFont.get())),
              "DrawString(185,56,\"Hello\",(255,255,0,255)) ");
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
    struct Row
    {
        int toX, toY;
        int x, y, heldX, heldY;
    };
    const Row rows[] = {
        {60, 60, 10, 10, 50, 50}, {10, 10, -8, -8, 18, 18},      {2, 2, -8, -8, 10, 10},
        {-20, -20, -8, -8, 8, 8}, {795, 595, 608, 508, 187, 87}, {900, 700, 608, 508, 191, 91},
    };
    for (const Row& row : rows)
    {
        mManager->MouseMove(row.toX, row.toY);
        EXPECT_EQ(dialog->GetRect(), TRect<int>(row.x, row.y, 200, 100)) << row.toX;
        EXPECT_EQ(dialog->mDragMouseX, row.heldX) << row.toX;
        EXPECT_EQ(dialog->mDragMouseY, row.heldY) << row.toX;
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

TEST_F(Dialogs, AnswersAreButtons1000To1002)
{
    Dialog* dialog = Make(2);
    EXPECT_EQ(dialog->mDialogListener, static_cast<DialogListener*>(&mApp));
    dialog->mDialogListener = &mLog;
    dialog->Resize(100, 100, 400, 200);
    mManager->AddWidget(dialog);
    mManager->MouseMove(200, 260);
    mManager->MouseDown(200, 260, 1);
    mManager->MouseUp(200, 260, 1);
    EXPECT_EQ(mLog.Take(), "DialogButtonPress(5,1000) DialogButtonDepress(5,1000)");
    EXPECT_EQ(dialog->mResult, 1000);
    const int rows[][2] = {{1001, 1001}, {1002, 1002}, {5, 1002}, {999, 1002}};
    for (const auto& row : rows)
    {
        dialog->ButtonDepress(row[0]);
        EXPECT_EQ(dialog->mResult, row[1]) << row[0];
    }
    EXPECT_EQ(mLog.Take(), "DialogButtonDepress(5,1001) DialogButtonDepress(5,1002)");
    Dispose(dialog);
}

TEST_F(Dialogs, WaitForResult)
{
    mApp.Init();
    struct Row
    {
        const char* name;
        bool inManager;
        // Runs at the third update of the wait.
        std::function<void(Dialog*&)> atThirdUpdate;
        int result;
        bool stillRegistered;
    };
    auto click = [this](Dialog*&)
    {
        mManager->MouseMove(200, 260);
        mManager->MouseDown(200, 260, 1);
        mManager->MouseUp(200, 260, 1);
    };
    auto destroy = [this](Dialog*& dialog)
    {
        Dispose(dialog);
        dialog = nullptr;
    };
    const Row rows[] = {
        {"not in a manager", false, nullptr, Dialog::kNoResult, false},
        {"answered", true, click, 1000, false},
        {"killed and deleted", true, destroy, Dialog::kNoResult, false},
        {"deleted by the answer's listener", true,
         [&](Dialog*& dialog)
         {
             mLog.mAction = [&]
             {
                 if (mLog.mCalls.back().rfind("DialogButtonDepress", 0) != 0)
                     return;
                 mLog.mAction = nullptr;
                 destroy(dialog);
             };
             click(dialog);
         },
         1000, false},
        {"left the table", true, [this](Dialog*& dialog) { mApp.mDialogMap.erase(dialog->mId); },
         Dialog::kNoResult, false},
    };
    for (const Row& row : rows)
    {
        Dialog* dialog = Make(2);
        dialog->mDialogListener = &mLog;
        dialog->Resize(100, 100, 400, 200);
        mApp.mDialogMap[5] = dialog;
        if (row.inManager)
            mManager->AddWidget(dialog);
        const int32_t start = mApp.mUpdateCount;
        mApp.mOnUpdate = [&]
        {
            if (mApp.mUpdateCount == start + 3 && row.atThirdUpdate)
                row.atThirdUpdate(dialog);
        };
        EXPECT_EQ(dialog->WaitForResult(true), row.result) << row.name;
        EXPECT_EQ(mApp.GetDialog(5) != nullptr, row.stillRegistered) << row.name;
        EXPECT_EQ(mApp.mUpdateCount - start, row.inManager ? 3 : 0) << row.name;
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
    mApp.mOnUpdate = nullptr;
    Dispose(dialog);
}

} // namespace
