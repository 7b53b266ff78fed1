// Random list and scroll-bar operations: lines added, set, removed and sorted in a chain
// of columns, the linked bar's value, maximum, page size and size set, the mouse and the
// wheel on both, updates and draws, fonts that measure 0, and the table or the bar
// deleted (at once, or by the hilite listener while something scrolls) with the other
// used on. The bar moves the head column itself or tells a listener that passes the
// position on. After every step: the columns hold equal line counts with one colour per
// line, the bar's value is finite and within 0..max(0, maximum - page), every position
// the bar reports is finite, and a click names a line that exists.
#include "graphics/support/FixedFont.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/WidgetTestEnv.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Vaxo;

namespace
{

const int kMaxSteps = 300;

void CheckPosition(double position)
{
    if (!std::isfinite(position))
        abort();
}

// A column that checks every position it is given.
class CheckedList : public ListWidget
{
public:
    using ListWidget::ListWidget;
    void ScrollPosition(int id, double position) override
    {
        CheckPosition(position);
        ListWidget::ScrollPosition(id, position);
    }
};

// Owns the table and the bar, passes the bar's positions on to the table when it is the
// bar's listener, checks clicks, and deletes the table or the bar on a hilite change
// when armed to.
class Table : public ScrollListener, public ListListener
{
public:
    WidgetManager* mManager = nullptr;
    std::vector<std::unique_ptr<CheckedList>> mColumns;
    std::unique_ptr<ScrollbarWidget> mBar;
    // What the next hilite change deletes: 0 nothing, 1 the table, 2 the bar.
    int mArmed = 0;

    void ScrollPosition(int id, double position) override
    {
        CheckPosition(position);
        if (!mColumns.empty())
            mColumns[0]->ScrollPosition(id, position);
    }
    void ListClicked(int id, int index, int clickCount) override
    {
        (void)clickCount;
        if (id < 0 || size_t(id) >= mColumns.size() || index < 0 ||
            index >= mColumns[size_t(id)]->GetLineCount())
            abort();
    }
    void ListHiliteChanged(int, int, int) override
    {
        if (mArmed == 1)
            DeleteTable();
        else if (mArmed == 2)
            DeleteBar();
    }

    // Out of the manager and deleted, the whole chain together: a chain's links are its
    // owner's to keep.
    void DeleteTable()
    {
        mArmed = 0;
        // Taken first: the removals tell the listener, which reads the table.
        std::vector<std::unique_ptr<CheckedList>> columns = std::move(mColumns);
        mColumns.clear();
        for (auto& column : columns)
        {
            if (column->mParent != nullptr)
                column->mParent->RemoveWidget(column.get());
        }
    }
    void DeleteBar()
    {
        mArmed = 0;
        std::unique_ptr<ScrollbarWidget> bar = std::move(mBar);
        if (bar != nullptr && bar->mParent != nullptr)
            bar->mParent->RemoveWidget(bar.get());
    }
};

// Line counts in units the list uses; wide enough to reach the clamps, small enough that
// sums of them stay finite.
double Units(FuzzedDataProvider& in)
{
    return in.ConsumeFloatingPointInRange(-1e6, 1e6);
}

void Check(const Table& table)
{
    for (const auto& column : table.mColumns)
    {
        if (column->mLines.size() != table.mColumns[0]->mLines.size() ||
            column->mLineColors.size() != column->mLines.size() || !std::isfinite(column->mPosition))
            abort();
    }
    ScrollbarWidget* bar = table.mBar.get();
    if (bar == nullptr)
        return;
    const double top = std::max(0.0, bar->mMaxValue - bar->mPageSize);
    if (!std::isfinite(bar->mValue) || bar->mValue < 0.0 || bar->mValue > top)
        abort();
    // Exercised for the sanitizers: no conversion of a value out of int's range.
    (void)bar->GetThumbSize();
    (void)bar->GetThumbPosition();
}

// One step on the table; false when it needs a column and the table is gone.
bool TableStep(FuzzedDataProvider& in, Table& table, int op)
{
    if (table.mColumns.empty())
        return false;
    ListWidget* column =
        table.mColumns[in.ConsumeIntegralInRange<size_t>(0, table.mColumns.size() - 1)].get();
    const int count = column->GetLineCount();
    switch (op)
    {
    case 0:
        column->AddLine(in.ConsumeRandomLengthString(8), in.ConsumeBool());
        break;
    case 1:
        column->RemoveLine(in.ConsumeIntegralInRange(-1, count));
        break;
    case 2:
        if (in.ConsumeIntegralInRange(0, 7) == 0)
            column->RemoveAll();
        break;
    case 3:
        table.mColumns[0]->Sort(in.ConsumeBool());
        break;
    case 4:
        column->SetSelect(in.ConsumeIntegralInRange(-1, count));
        break;
    case 5:
        column->SetLine(in.ConsumeIntegralInRange(-1, count), in.ConsumeRandomLengthString(8));
        break;
    case 10:
        column->Resize(column->mX, column->mY, in.ConsumeIntegralInRange(0, 200),
                       in.ConsumeIntegralInRange(0, 400));
        break;
    case 11:
        column->mItemHeight = in.ConsumeIntegralInRange(-1, 40);
        break;
    case 12:
        column->MouseWheel(in.ConsumeIntegralInRange(-2, 2));
        break;
    case 15:
        column->ScrollPosition(0, Units(in));
        break;
    default:
        table.mManager->BringToFront(column);
        break;
    }
    return true;
}

// One step on the bar; false when the bar is gone.
bool BarStep(FuzzedDataProvider& in, Table& table, int op)
{
    ScrollbarWidget* bar = table.mBar.get();
    if (bar == nullptr)
        return false;
    switch (op)
    {
    case 6:
        bar->SetValue(Units(in));
        break;
    case 7:
        if (in.ConsumeBool())
            bar->SetMaxValue(Units(in));
        else
            bar->SetPageSize(Units(in));
        break;
    case 8:
        bar->GoToBottom();
        break;
    default:
        bar->SetHorizontal(in.ConsumeBool());
        bar->ResizeScrollbar(in.ConsumeIntegralInRange(0, 780), in.ConsumeIntegralInRange(0, 580),
                             in.ConsumeIntegralInRange(0, 300), in.ConsumeIntegralInRange(0, 300));
        break;
    }
    return true;
}

void MouseStep(FuzzedDataProvider& in, WidgetManager* manager)
{
    const int x = in.ConsumeIntegralInRange(0, 799);
    const int y = in.ConsumeIntegralInRange(0, 599);
    const int kClickCounts[] = {1, 2, -1, 3};
    const int clickCount = kClickCounts[in.ConsumeIntegralInRange(0, 3)];
    switch (in.ConsumeIntegralInRange(0, 3))
    {
    case 0:
        manager->MouseMove(x, y);
        break;
    case 1:
        manager->MouseDown(x, y, clickCount);
        break;
    case 2:
        manager->MouseUp(x, y, clickCount);
        break;
    default:
        manager->MouseWheel(in.ConsumeIntegralInRange(-2, 2));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    WidgetTestEnv env;
    WidgetManager* manager = env.mManager;
    FixedFont font(in.ConsumeIntegralInRange(0, 8), in.ConsumeIntegralInRange(0, 20),
                   in.ConsumeIntegralInRange(0, 30));

    Table table;
    table.mManager = manager;
    const int numColumns = in.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < numColumns; ++i)
    {
        table.mColumns.push_back(std::make_unique<CheckedList>(i, &font, &table));
        CheckedList* column = table.mColumns.back().get();
        if (i > 0)
        {
            table.mColumns[size_t(i) - 1]->mNextColumn = column;
            column->mPrevColumn = table.mColumns[size_t(i) - 1].get();
        }
        column->mSortKeyWidth = in.ConsumeIntegralInRange(0, 6);
        column->mSortNextFirst = i + 1 < numColumns && in.ConsumeBool();
        column->Resize(10 + 110 * i, 10, 100, 200);
        manager->AddWidget(column);
    }
    // The head column itself, as a list dialog links them, or a listener of the owner's.
    ScrollListener* listener =
        in.ConsumeBool() ? static_cast<ScrollListener*>(table.mColumns[0].get()) : &table;
    table.mBar.reset(new ScrollbarWidget(0, listener));
    table.mBar->SetInvisIfNoScroll(in.ConsumeBool());
    table.mBar->ResizeScrollbar(340, 10, 16, 200);
    table.mColumns[0]->mScrollbar = table.mBar.get();
    manager->AddWidget(table.mBar.get());
    manager->SetFocus(table.mColumns[0].get());

    for (int step = 0; step < kMaxSteps && in.remaining_bytes() > 0; ++step)
    {
        const int op = in.ConsumeIntegralInRange(0, 18);
        switch (op)
        {
        case 6:
        case 7:
        case 8:
        case 9:
            BarStep(in, table, op);
            break;
        case 13:
            for (int i = in.ConsumeIntegralInRange(1, 40); i > 0; --i)
                manager->UpdateFrame();
            break;
        case 14:
            manager->DrawScreen();
            break;
        case 16:
            MouseStep(in, manager);
            break;
        case 17:
        {
            // Deleted now, or by the next hilite change (a scroll under the resting pointer).
            const int which = in.ConsumeIntegralInRange(1, 2);
            if (in.ConsumeBool())
                table.mArmed = which;
            else if (which == 1)
                table.DeleteTable();
            else
                table.DeleteBar();
            break;
        }
        default:
            TableStep(in, table, op);
            break;
        }
        Check(table);
    }

    table.mArmed = 0;
    table.DeleteTable();
    table.DeleteBar();
    return 0;
}
