// Random list and scroll-bar operations: lines added, set, removed and sorted in a chain
// of columns, the linked bar's value, maximum, page size and size set, the mouse and the
// wheel on both, updates and draws, fonts that measure 0. After every step: the columns
// hold equal line counts with one colour per line, the bar's value is finite and within
// 0..max(0, maximum - page), every position the bar reports is finite, and a click names
// a line that exists.
#include "graphics/support/FixedFont.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
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

// Passes the bar's positions on to the list after checking them, and checks clicks.
class Checker : public ScrollListener, public ListListener
{
public:
    ListWidget* mHead = nullptr;
    std::vector<ListWidget*> mColumns;

    void ScrollPosition(int id, double position) override
    {
        if (!std::isfinite(position))
            abort();
        mHead->ScrollPosition(id, position);
    }
    void ListClicked(int id, int index, int clickCount) override
    {
        (void)clickCount;
        if (id < 0 || size_t(id) >= mColumns.size() || index < 0 ||
            index >= mColumns[size_t(id)]->GetLineCount())
            abort();
    }
};

// Line counts in units the list uses; wide enough to reach the clamps, small enough that
// sums of them stay finite.
double Units(FuzzedDataProvider& in)
{
    return in.ConsumeFloatingPointInRange(-1e6, 1e6);
}

void Check(const std::vector<ListWidget*>& columns, ScrollbarWidget* bar)
{
    for (ListWidget* column : columns)
    {
        if (column->mLines.size() != columns[0]->mLines.size() ||
            column->mLineColors.size() != column->mLines.size() || !std::isfinite(column->mPosition))
            abort();
    }
    const double top = std::max(0.0, bar->mMaxValue - bar->mPageSize);
    if (!std::isfinite(bar->mValue) || bar->mValue < 0.0 || bar->mValue > top)
        abort();
    // Exercised for the sanitizers: no conversion of a value out of int's range.
    (void)bar->GetThumbSize();
    (void)bar->GetThumbPosition();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    WidgetTestEnv env;
    WidgetManager* manager = env.mManager;
    FixedFont font(in.ConsumeIntegralInRange(0, 8), in.ConsumeIntegralInRange(0, 20),
                   in.ConsumeIntegralInRange(0, 30));

    Checker checker;
    const int numColumns = in.ConsumeIntegralInRange(1, 3);
    std::vector<std::unique_ptr<ListWidget>> owned;
    std::vector<ListWidget*> columns;
    for (int i = 0; i < numColumns; ++i)
    {
        owned.push_back(std::make_unique<ListWidget>(i, &font, &checker));
        columns.push_back(owned.back().get());
        if (i > 0)
        {
            columns[size_t(i) - 1]->mNextColumn = columns.back();
            columns.back()->mPrevColumn = columns[size_t(i) - 1];
        }
        columns.back()->mSortKeyWidth = in.ConsumeIntegralInRange(0, 6);
        columns.back()->mSortNextFirst = i + 1 < numColumns && in.ConsumeBool();
        columns.back()->Resize(10 + 110 * i, 10, 100, 200);
        manager->AddWidget(columns.back());
    }
    checker.mHead = columns[0];
    checker.mColumns = columns;
    ScrollbarWidget bar(0, &checker);
    bar.SetInvisIfNoScroll(in.ConsumeBool());
    bar.ResizeScrollbar(340, 10, 16, 200);
    columns[0]->mScrollbar = &bar;
    manager->AddWidget(&bar);

    for (int step = 0; step < kMaxSteps && in.remaining_bytes() > 0; ++step)
    {
        ListWidget* column = columns[in.ConsumeIntegralInRange<size_t>(0, columns.size() - 1)];
        const int count = column->GetLineCount();
        switch (in.ConsumeIntegralInRange(0, 15))
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
            columns[0]->Sort(in.ConsumeBool());
            break;
        case 4:
            column->SetSelect(in.ConsumeIntegralInRange(-1, count));
            break;
        case 5:
            column->SetLine(in.ConsumeIntegralInRange(-1, count), in.ConsumeRandomLengthString(8));
            break;
        case 6:
            bar.SetValue(Units(in));
            break;
        case 7:
            if (in.ConsumeBool())
                bar.SetMaxValue(Units(in));
            else
                bar.SetPageSize(Units(in));
            break;
        case 8:
            bar.GoToBottom();
            break;
        case 9:
            bar.SetHorizontal(in.ConsumeBool());
            bar.ResizeScrollbar(in.ConsumeIntegralInRange(0, 780), in.ConsumeIntegralInRange(0, 580),
                                in.ConsumeIntegralInRange(0, 300), in.ConsumeIntegralInRange(0, 300));
            break;
        case 10:
            column->Resize(column->mX, column->mY, in.ConsumeIntegralInRange(0, 200),
                           in.ConsumeIntegralInRange(0, 400));
            break;
        case 11:
            column->mItemHeight = in.ConsumeIntegralInRange(-1, 40);
            break;
        case 12:
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
                column->MouseWheel(in.ConsumeIntegralInRange(-2, 2));
                break;
            }
            break;
        }
        case 13:
            for (int i = in.ConsumeIntegralInRange(1, 40); i > 0; --i)
                manager->UpdateFrame();
            break;
        case 14:
            manager->DrawScreen();
            break;
        default:
            column->ScrollPosition(0, Units(in));
            break;
        }
        Check(columns, &bar);
    }

    for (ListWidget* column : columns)
    {
        column->mScrollbar = nullptr;
        manager->RemoveWidget(column);
    }
    manager->RemoveWidget(&bar);
    return 0;
}
