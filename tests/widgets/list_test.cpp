// List widget: sorted insertion, columns padded with "-", the hilite from y, page sizes
// (a font of height 0 too), sort keys and the stable sort, the wheel, clicks only on
// lines that exist, the drawn lines, and listeners that delete the list. List dialog:
// selection by name in any letter case, a double click answering 1000, and the scroll
// bar shown only when the lines do not fit, narrowing the list.
#include "graphics/support/FixedFont.h"
#include "widgets/ListDialog.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/support/ControlTestSupport.h"

#include <strings.h>
#include <tuple>

using namespace Vaxo;

namespace
{

class List : public ControlTest
{
protected:
    FixedFont mFont{6, 8, 20}; // lines of 20 pixels
};

TEST_F(List, ColumnsShareTheirLines)
{
    ListWidget names(1, &mFont, nullptr), scores(2, &mFont, nullptr);
    names.mNextColumn = &scores;
    scores.mPrevColumn = &names;
    ScrollbarWidget bar(0, &names);
    names.mScrollbar = &bar;
    scores.SetColor(2, Color(255, 0, 0));
    names.AddLine("amy", false);
    scores.AddLine("12", false);
    names.AddLine("bob", true);
    EXPECT_EQ(Join(names.mLines) + " | " + Join(scores.mLines), "amy - bob | - 12 -");
    EXPECT_EQ(names.mLineColors[1], Color(255, 0, 0)); // the colour of the list added to
    EXPECT_EQ(names.mLineColors[2], Color(0, 0, 0));
    EXPECT_EQ(bar.mMaxValue, 3.0);

    scores.SetLineColor(2, Color(0, 0, 255));
    names.SetColor("nobody", Color(1, 2, 3));
    EXPECT_EQ(names.mLineColors[2], Color(0, 0, 255));
    EXPECT_EQ(scores.mLineColors[2], Color(0, 0, 255));
    scores.SetSelect(1);
    EXPECT_EQ(names.mSelectIdx, 1);

    scores.RemoveLine(0);
    EXPECT_EQ(Join(names.mLines) + " | " + Join(scores.mLines), "- bob | 12 -");
    bar.mMaxValue = 0;
    names.RemoveLine(-1); // removes nothing, refreshes the bar
    EXPECT_EQ(bar.mMaxValue, 2.0);
    names.RemoveAll();
    EXPECT_TRUE(names.mLines.empty() && scores.mLines.empty());
    EXPECT_EQ(names.mSelectIdx, -1);
    EXPECT_EQ(bar.mMaxValue, 0.0);
}

TEST_F(List, HiliteFollowsTheMouseInEveryColumn)
{
    Attached<ListWidget> left(mManager, 1, &mFont, &mLog);
    Attached<ListWidget> right(mManager, 2, &mFont, &mLog);
    left->mNextColumn = right.get();
    right->mPrevColumn = left.get();
    left->Resize(0, 0, 100, 300);
    right->Resize(100, 0, 100, 300);
    for (const char* line : {"a", "b", "c", "d", "e"})
        left->AddLine(line, false);
    // Position, mouse y; hilite, cursor and what the two columns' listener hears.
    const std::tuple<double, int, int, int, const char*> rows[] = {
        {0, 2, 0, 1, "ListHiliteChanged(1,-1,0) ListHiliteChanged(2,-1,0)"}, // toward zero: line 0
        {0, 24, 1, 1, "ListHiliteChanged(1,0,1) ListHiliteChanged(2,0,1)"},
        {0, 25, 1, 1, ""},
        {1.5, 4, 1, 1, ""},
        {1.5, 44, 3, 1, "ListHiliteChanged(1,1,3) ListHiliteChanged(2,1,3)"},
        {0, 200, -1, 0, "ListHiliteChanged(1,3,-1) ListHiliteChanged(2,3,-1)"}, // past the end
    };
    for (const auto& [position, y, hilite, cursor, heard] : rows)
    {
        left->mPosition = position;
        mManager->MouseMove(50, y);
        EXPECT_EQ(left->mHiliteIdx, hilite) << y;
        EXPECT_EQ(right->mHiliteIdx, hilite) << y;
        EXPECT_EQ(mApp.mCursorNum, cursor) << y;
        EXPECT_EQ(mLog.Take(), heard) << y;
    }
    mManager->MouseMove(50, 10);
    mManager->MouseMove(500, 500);
    EXPECT_EQ(mLog.Take(), "ListHiliteChanged(1,-1,0) ListHiliteChanged(2,-1,0) ListHiliteChanged(1,0,-1) "
                           "ListHiliteChanged(2,0,-1)");
}

TEST_F(List, PageSizeFromHeightAndLineHeight)
{
    FixedFont broken(0, 0, 0); // a font that failed to load measures 0
    // Font, height; page size, the line under y 30.
    const std::tuple<Font*, int, double, int> rows[] = {
        {&mFont, 68, 3.0, 1}, {&mFont, 25, 1.0, -1}, {&broken, 68, 1.0, -1}};
    for (const auto& [font, height, page, hiliteAt30] : rows)
    {
        Attached<ListWidget> list(mManager, 1, font, &mLog);
        ScrollbarWidget bar(0, list.get());
        list->mScrollbar = &bar;
        list->AddLine("a", false);
        list->AddLine("b", false);
        list->Resize(0, 0, 100, height);
        EXPECT_EQ(list->mPageSize, page) << height;
        EXPECT_EQ(bar.mPageSize, page) << height;
        mManager->MouseMove(50, 30);
        EXPECT_EQ(list->mHiliteIdx, hiliteAt30) << height;
        DrawCalls(list.get());
        mManager->MouseMove(500, 500);
        list->mScrollbar = nullptr;
    }
    mLog.Take();
}

TEST_F(List, WheelMovesTheLinkedBarByFiveLines)
{
    ListWidget list(1, &mFont, &mLog);
    ScrollbarWidget bar(0, &list);
    list.mScrollbar = &bar;
    list.Resize(0, 0, 100, 68);
    for (int i = 0; i < 20; ++i)
        list.AddLine("line", false);
    std::string positions;
    for (int delta : {-1, -3, 0, 1, 1})
    {
        list.MouseWheel(delta);
        positions += std::to_string(int(list.mPosition)) + " ";
    }
    EXPECT_EQ(positions, "5 10 10 5 0 ");
}

// Sorts by line length, so that many lines share a key.
class ByLength : public ListWidget
{
public:
    ByLength() : ListWidget(1, nullptr, nullptr) {}
    std::string GetSortKey(int index) override { return std::string(GetStringAt(index).size(), 'x'); }
};

TEST_F(List, SortedInsertionSortKeysAndStableSort)
{
    // Sorted insertion keeps equal lines in their order.
    ListWidget list(1, &mFont, nullptr);
    EXPECT_EQ(list.AddLine("b", true), 0);
    EXPECT_EQ(list.AddLine("a", true), 0);
    EXPECT_EQ(list.AddLine("c", true), 2);
    EXPECT_EQ(list.AddLine("a", false), 3);
    list.mCompareFunc = strcasecmp;
    EXPECT_EQ(list.AddLine("B", true), 2);
    EXPECT_EQ(Join(list.mLines), "a b B c a");
    EXPECT_EQ(list.GetLineIdx("C"), 3);

    ListWidget names(1, &mFont, nullptr), scores(2, &mFont, nullptr);
    names.mNextColumn = &scores;
    scores.mPrevColumn = &names;
    names.mSortNextFirst = true; // by score, then by name
    scores.mSortKeyWidth = 3;
    const char* rows[][2] = {{"bob", "7"}, {"amy", "12"}, {"cat", "7"}};
    for (const auto& row : rows)
    {
        int at = names.AddLine(row[0], false);
        scores.SetLine(at, row[1]);
    }
    names.SetLineColor(1, Color(1, 2, 3));
    EXPECT_EQ(names.GetSortKey(1), "012amy");
    names.Sort(true);
    EXPECT_EQ(Join(names.mLines) + " | " + Join(scores.mLines), "bob cat amy | 7 7 12");
    EXPECT_EQ(scores.mLineColors[2], Color(1, 2, 3));
    names.Sort(false);
    EXPECT_EQ(Join(names.mLines) + " | " + Join(scores.mLines), "amy cat bob | 12 7 7");

    ByLength lengths;
    for (const char* line : {"bb", "a", "cc", "d"})
        lengths.AddLine(line, false);
    lengths.Sort(true);
    EXPECT_EQ(Join(lengths.mLines), "a d bb cc");
    lengths.Sort(false);
    EXPECT_EQ(Join(lengths.mLines), "bb cc a d");
}

TEST_F(List, ClicksOnlyOnLinesThatExist)
{
    Attached<ListWidget> list(mManager, 1, &mFont, &mLog);
    list->Resize(0, 0, 100, 300);
    for (const char* line : {"a", "b", "c", "d", "e"})
        list->AddLine(line, false);
    Click(mManager, 50, 50, 2);
    Click(mManager, 50, 50, -1);
    EXPECT_EQ(mLog.Take(), "ListHiliteChanged(1,-1,2) ListClicked(1,2,2) ListClicked(1,2,1)");

    // Removing lines drops a hilite past the new end.
    mManager->MouseMove(50, 90);
    list->RemoveLine(0);
    EXPECT_EQ(list->mHiliteIdx, -1);
    list->mHiliteIdx = 9; // left over by the owner
    mManager->MouseDown(50, 90, 1);
    mManager->MouseUp(50, 90, 1);
    EXPECT_EQ(mLog.Take(), "ListHiliteChanged(1,2,4)");

    list.Kill();
    EXPECT_EQ(mLog.Take(), "ListHiliteChanged(1,9,-1) ListClosed(1)");
}

TEST_F(List, DrawsTheVisibleLinesWithHiliteAndSelection)
{
    ListWidget list(1, &mFont, nullptr);
    list.Resize(0, 0, 100, 68);
    for (const char* line : {"a", "b", "c", "d", "e"})
        list.AddLine(line, false);
    list.SetSelect(1);
    list.mHiliteIdx = 2;
    EXPECT_EQ(DrawCalls(&list),
              "FillRect((0,0,100,68),(255,255,255,255),0) "
              "FillRect((0,24,100,20),(0,0,128,255),0) DrawRect((0,0,99,67),(255,255,255,255),0)");
    // Lines 0 to 4 (position 0, page 3, one more), at 4 + 20 i, baseline + ascent 8.
    EXPECT_EQ(Join(mFont.TakeCalls()),
              "DrawString(4,12,\"a\",(0,0,0,255)) DrawString(4,32,\"b\",(255,255,255,255)) "
              "DrawString(4,52,\"c\",(0,192,0,255)) DrawString(4,72,\"d\",(0,0,0,255)) "
              "DrawString(4,92,\"e\",(0,0,0,255))");

    list.mJustify = 2; // 4 pixels from the right
    DrawCalls(&list);
    EXPECT_EQ(mFont.TakeCalls()[0], "DrawString(90,12,\"a\",(0,0,0,255))");
}

TEST_F(List, AListenerMayDeleteTheList)
{
    for (const char* killOn : {"ListHiliteChanged", "ListClicked"})
    {
        auto* list = new ListWidget(1, &mFont, &mLog);
        list->Resize(0, 0, 100, 300);
        list->AddLine("a", false);
        EXPECT_TRUE(DeletedByListener(mManager, list, mLog, killOn,
                                      {[&](Widget*) { mManager->MouseMove(50, 10); },
                                       [&](Widget*) { mManager->MouseDown(50, 10, 1); }}))
            << killOn;
        mManager->MouseUp(50, 10, 1);
        mManager->MouseMove(500, 500);
    }
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

} // namespace
