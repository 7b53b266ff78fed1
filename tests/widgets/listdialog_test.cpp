// List dialog: the scroll bar shown only when the lines do not fit, narrowing the list;
// selection by name in any letter case; a double click answering 1000.
#include "widgets/ListDialog.h"
#include "widgets/support/ControlTestSupport.h"

using namespace Vaxo;

namespace
{

using ListDialogs = SkinnedControlTest;

TEST_F(ListDialogs, ScrollbarOnlyWhenNeededNarrowingTheList)
{
    ListDialog dialog(3, true, "Select", "", "", 2);
    dialog.Resize(0, 0, 350, 350);
    // Content insets 24, 10, 24; header 12 and 20 below it; 100 kept below the list.
    EXPECT_EQ(dialog.mListWidget->GetRect(), TRect<int>(24, 42, 302, 208));
    EXPECT_FALSE(dialog.mScrollbar->mVisible);
    EXPECT_EQ(dialog.GetSelItem(), "");
    // 208 - 8 of margins holds 16 lines of 12.
    for (int i = 0; i < 17; i++)
        dialog.mListWidget->AddLine("line " + std::to_string(i), false);
    dialog.CheckShowScrollbar();
    EXPECT_TRUE(dialog.mScrollbar->mVisible);
    EXPECT_EQ(dialog.mListWidget->GetRect(), TRect<int>(24, 42, 286, 208));
    EXPECT_EQ(dialog.mScrollbar->GetRect(), TRect<int>(310, 42, 16, 208));
}

TEST_F(ListDialogs, SelectionByNameInAnyCaseAndDoubleClickAnswers1000)
{
    auto* dialog = new ListDialog(3, true, "Select", "", "", 2);
    dialog->mDialogListener = &mLog;
    dialog->Resize(0, 0, 350, 350);
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
    mApp.KillDialog(dialog);
}

} // namespace
