// List: sorted insertion, columns padded with "-", the hilite from y, page sizes (a font
// of height 0 too), sort keys and the stable sort (the order the old exchange sort gave,
// in linearithmic time), the wheel, clicks only on lines that exist, the drawn lines, a
// listener that closes the table, and a list and its bar deleted in either order.
#include "graphics/support/FixedFont.h"
#include "widgets/ListListener.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/support/ControlTestSupport.h"

#include <chrono>
#include <random>
#include <string>
#include <strings.h>
#include <tuple>
#include <vector>

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
    // Position, mouse y, whether the list scrolled under a still pointer (instead of the
    // pointer moving); hilite, cursor and what the two columns' listener hears.
    const std::tuple<double, int, bool, int, int, const char*> rows[] = {
        {0, 2, false, 0, 1, "ListHiliteChanged(1,-1,0) ListHiliteChanged(2,-1,0)"}, // toward zero: line 0
        {0, 24, false, 1, 1, "ListHiliteChanged(1,0,1) ListHiliteChanged(2,0,1)"},
        {0, 25, false, 1, 1, ""},
        {1.5, 4, false, 1, 1, ""},
        {1.5, 44, false, 3, 1, "ListHiliteChanged(1,1,3) ListHiliteChanged(2,1,3)"},
        {0, 200, false, -1, 0, "ListHiliteChanged(1,3,-1) ListHiliteChanged(2,3,-1)"}, // past the end
        {0, 24, false, 1, 1, "ListHiliteChanged(1,-1,1) ListHiliteChanged(2,-1,1)"},
        // The wheel or the bar scrolls: the hilite is the line now under the pointer.
        {2, 24, true, 3, 1, "ListHiliteChanged(1,1,3) ListHiliteChanged(2,1,3)"},
        {4, 24, true, -1, 0, "ListHiliteChanged(1,3,-1) ListHiliteChanged(2,3,-1)"},
    };
    for (const auto& [position, y, scrolled, hilite, cursor, heard] : rows)
    {
        if (scrolled)
            left->ScrollPosition(0, position);
        else
        {
            left->mPosition = position;
            mManager->MouseMove(50, y);
        }
        EXPECT_EQ(left->mHiliteIdx, hilite) << y;
        EXPECT_EQ(right->mHiliteIdx, hilite) << y;
        EXPECT_EQ(mApp.mCursorNum, cursor) << y;
        EXPECT_EQ(mLog.Take(), heard) << y;
    }
    // Not under the pointer (beside the lists, level with line 1): scrolling leaves the
    // hilite alone.
    mManager->MouseMove(250, 24);
    mLog.Take();
    left->ScrollPosition(0, 0);
    EXPECT_EQ(mLog.Take(), "");
    EXPECT_EQ(left->mHiliteIdx, -1);
    mManager->MouseMove(50, 10);
    mManager->MouseMove(500, 500);
    EXPECT_EQ(mLog.Take(), "ListHiliteChanged(1,-1,0) ListHiliteChanged(2,-1,0) ListHiliteChanged(1,0,-1) "
                           "ListHiliteChanged(2,0,-1)");
}

TEST_F(List, PageSizeFromHeightAndLineHeightAndTheWheel)
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

    // The wheel moves the linked bar by five lines.
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

// Sorts by the part of a line before '|': many lines share a key, some with bytes above
// 127 (compared unsigned).
class ByPrefix : public ListWidget
{
public:
    ByPrefix() : ListWidget(1, nullptr, nullptr) {}
    std::string GetSortKey(int index) override
    {
        const std::string line = GetStringAt(index);
        return line.substr(0, line.find('|'));
    }
};

// The order the list kept when it sorted by exchanging neighbours whose keys were out of
// order: lines with equal keys never pass each other.
std::vector<std::string> NeighbourExchangeOrder(std::vector<std::string> lines, bool ascending)
{
    auto key = [](const std::string& line) { return line.substr(0, line.find('|')); };
    for (size_t pass = 1; pass < lines.size(); ++pass)
    {
        for (size_t j = 0; j + pass < lines.size(); ++j)
        {
            const int c = key(lines[j]).compare(key(lines[j + 1]));
            if (ascending ? c > 0 : c < 0)
                std::swap(lines[j], lines[j + 1]);
        }
    }
    return lines;
}

TEST_F(List, SortKeepsTheOrderOfEqualKeysAndTakesLinearithmicTime)
{
    const char* const keys[] = {"b", "a", "", "\xE9t\xE9", "ab", "b", "\x7F", "a"};
    std::mt19937 random(28);
    std::vector<std::string> lines;
    for (int i = 0; i < 400; ++i)
        lines.push_back(std::string(keys[random() % 8]) + "|" + std::to_string(i));
    for (bool ascending : {true, false})
    {
        ByPrefix list;
        for (size_t i = 0; i < lines.size(); ++i)
        {
            list.AddLine(lines[i], false);
            list.SetLineColor(int(i), Color(int(i % 256), int(i / 256), 0));
        }
        list.Sort(ascending);
        EXPECT_EQ(list.mLines, NeighbourExchangeOrder(lines, ascending)) << ascending;
        // Each colour stays with its line.
        for (size_t i = 0; i < lines.size(); ++i)
        {
            const int was = std::stoi(list.mLines[i].substr(list.mLines[i].find('|') + 1));
            EXPECT_EQ(list.mLineColors[i], Color(was % 256, was / 256, 0)) << i;
        }
    }

    // 60,000 lines: a quadratic sort takes minutes here, this one a fraction of a second.
    ByPrefix many;
    for (int i = 0; i < 60000; ++i)
        many.AddLine(std::to_string(random() % 1000), false);
    const auto start = std::chrono::steady_clock::now();
    many.Sort(true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(std::is_sorted(many.mLines.begin(), many.mLines.end()));
}

// A listener that owns a table of two columns and closes it, and itself, when a hilite
// changes.
class ClosingListOwner final : public ListListener
{
public:
    ClosingListOwner(WidgetManager* manager, Font* font, int* heard) : mManager(manager), mHeard(heard)
    {
        for (int i = 0; i < 2; ++i)
        {
            mColumns[i].reset(new ListWidget(i, font, this));
            mColumns[i]->Resize(100 * i, 0, 100, 300);
            mManager->AddWidget(mColumns[i].get());
        }
        mColumns[0]->mNextColumn = mColumns[1].get();
        mColumns[1]->mPrevColumn = mColumns[0].get();
        mColumns[0]->AddLine("a", false);
    }
    ~ClosingListOwner()
    {
        mClosing = true; // the removal drops the hilite again
        for (auto& column : mColumns)
            mManager->RemoveWidget(column.get());
    }
    void ListHiliteChanged(int, int, int) override
    {
        if (mClosing)
            return;
        ++*mHeard;
        delete this;
    }

private:
    bool mClosing = false;
    WidgetManager* mManager;
    std::unique_ptr<ListWidget> mColumns[2];
    int* mHeard;
};

TEST_F(List, AListenerThatClosesTheTableOnAHiliteChangeHearsNoMore)
{
    mManager->MouseMove(500, 500);
    int heard = 0;
    new ClosingListOwner(mManager, &mFont, &heard);
    mManager->MouseMove(50, 10);
    EXPECT_EQ(heard, 1);
}

TEST_F(List, AListAndItsBarGoInEitherOrderFromAnyCallbackAndTheOtherNeverTouchesItAgain)
{
    // Which goes (l the list, b its bar) and when: on the hilite change of a wheel notch the
    // bar clamps and so tells twice (w), of a resize that clamps the bar's value once (r),
    // of the hidden bar shown again by a clamp under the pointer (s), of the bar moved
    // under the pointer (m), or before any (-).
    // Then what the hilite listener heard, and the survivor used: the bar's values after
    // an arrow held 30 updates, a track press, a smaller maximum and GoToBottom; the
    // list's position and page after lines added and removed, a resize, the wheel and a
    // reorder.
    const std::tuple<char, char, const char*, const char*> rows[] = {
        {'l', 'w', "ListHiliteChanged(1,6,8) ListHiliteChanged(1,8,-1) ListClosed(1)", "14 11 5 5"},
        {'l', 'r', "ListHiliteChanged(1,6,5) ListHiliteChanged(1,5,-1) ListClosed(1)", "11 5 2 2"},
        {'l', 's', "ListHiliteChanged(1,6,-1) ListClosed(1)", "12 9 5 5"},
        {'l', 'm', "ListHiliteChanged(1,6,-1) ListClosed(1)", "12 9 5 5"},
        {'l', '-', "ListHiliteChanged(1,6,-1) ListClosed(1)", "12 9 5 5"},
        {'b', 'w', "ListHiliteChanged(1,6,8)", "7 4"},
        {'b', 'r', "ListHiliteChanged(1,6,5)", "4 4"},
        {'b', 's', "ListHiliteChanged(1,6,-1)", "5 4"},
        {'b', 'm', "ListHiliteChanged(1,6,-1)", "5 4"},
        {'b', '-', "", "5 4"},
    };
    for (const auto& [gone, when, heard, after] : rows)
    {
        // Ten lines, three to a page, the fifth at the top; the bar in front of the list's
        // right edge (where a list dialog lays the list out while the bar is hidden); the
        // pointer rests on line 6.
        Attached<ListWidget> list(mManager, 1, &mFont, &mLog);
        Attached<ScrollbarWidget> bar(mManager, 0, list.get());
        list->mScrollbar = bar.get();
        list->Resize(0, 0, 100, 68);
        bar->ResizeScrollbar(84, 0, 16, 68);
        for (int i = 0; i < 10; ++i)
            list->AddLine(std::to_string(i), false);
        bar->SetValue(5);
        mManager->SetFocus(list.get());
        mManager->MouseMove(50, 24);
        mLog.Take();

        auto kill = [&, gone = gone] { gone == 'l' ? list.Kill() : bar.Kill(); };
        mLog.mAction = [&]
        {
            if (mLog.mCalls.back().rfind("ListHiliteChanged", 0) == 0)
                mLog.mAction = nullptr, kill();
        };
        if (when == '-')
            mLog.mAction = nullptr, kill();
        else if (when == 'w')
            mManager->MouseWheel(-1); // to 10, clamped to 7
        else if (when == 'r')
            list->Resize(0, 0, 100, 128); // six to a page: 5 is clamped to 4
        else if (when == 'm')
            bar->ResizeScrollbar(40, 0, 16, 68);
        else
        {
            bar->SetInvisIfNoScroll(true); // hidden at once
            mManager->MouseMove(90, 24);   // on the list where the bar was, the same line
            bar->ClampValue();
        }
        mLog.mAction = nullptr;
        EXPECT_EQ(mLog.Take(), heard) << gone << when;

        std::string survivor;
        if (bar.get() != nullptr)
        {
            auto value = [&]
            { survivor += (survivor.empty() ? "" : " ") + std::to_string(int(bar->mValue)); };
            bar->SetMaxValue(20);
            const int x = bar->mX + 8;
            mManager->MouseMove(x, 60);
            mManager->MouseDown(x, 60, 1);
            for (int i = 0; i < 30; ++i)
                mManager->UpdateFrame();
            mManager->MouseUp(x, 60, 1);
            value();
            Click(mManager, x, 20, 1);
            value();
            bar->mMaxValue = 8;
            bar->ClampValue();
            value();
            bar->GoToBottom();
            value();
        }
        else
        {
            list->AddLine("10", false);
            list->RemoveLine(0);
            list->Resize(0, 0, 100, 88);
            mManager->MouseWheel(1);
            mManager->BringToFront(list.get());
            list->RemoveAll();
            survivor = std::to_string(int(list->mPosition)) + " " + std::to_string(int(list->mPageSize));
        }
        EXPECT_EQ(survivor, after) << gone << when;
        mManager->MouseMove(500, 500);
        mLog.Take();
    }
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

} // namespace
