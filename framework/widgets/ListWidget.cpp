#include "widgets/ListWidget.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetMath.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace Vaxo
{

int gInitialListWidgetColors[6][3] = {
    {255, 255, 255}, {255, 255, 255}, {0, 0, 0}, {0, 192, 0}, {0, 0, 128}, {255, 255, 255},
};

namespace
{
// Margin around the lines, in pixels.
constexpr int kMargin = 4;
// Lines moved by one notch of the wheel.
constexpr double kWheelLines = 5.0;
} // namespace

ListWidget::ListWidget(int id, Font* font, ListListener* listener)
    : mId(id), mFont(font), mScrollbar(nullptr), mJustify(0), mCompareFunc(std::strcmp), mPosition(0.0),
      mPageSize(0.0), mHiliteIdx(-1), mSelectIdx(-1), mListener(listener), mPrevColumn(nullptr),
      mNextColumn(nullptr), mSortNextFirst(false), mDrawOutline(true), mFillBackground(true),
      mSortKeyWidth(0), mItemHeight(font != nullptr ? font->GetHeight() : -1), mHiliteBar(false),
      mHandOverLines(true)
{
    SetColors(gInitialListWidgetColors, 6);
}

ListWidget::~ListWidget() = default;

int ListWidget::LineHeight()
{
    const int height = mItemHeight != -1 ? mItemHeight : (mFont != nullptr ? mFont->GetHeight() : 0);
    return std::max(height, 0);
}

ListWidget* ListWidget::Head()
{
    ListWidget* head = this;
    while (head->mPrevColumn != nullptr)
        head = head->mPrevColumn;
    return head;
}

void ListWidget::UpdateScrollbarMax()
{
    if (mScrollbar != nullptr)
        mScrollbar->SetMaxValue(double(mLines.size()));
}

// ---- Lines -----------------------------------------------------------------------------

int ListWidget::AddLine(const std::string& line, bool sorted)
{
    size_t index = mLines.size();
    if (sorted)
    {
        // Before the first greater line, so equal lines keep their insertion order.
        for (size_t i = 0; i < mLines.size(); ++i)
        {
            if (mCompareFunc(line.c_str(), mLines[i].c_str()) < 0)
            {
                index = i;
                break;
            }
        }
    }
    const Color color = GetColor(2);
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        const size_t at = std::min(index, column->mLines.size());
        column->mLines.insert(column->mLines.begin() + at, column == this ? line : std::string("-"));
        const size_t colorAt = std::min(at, column->mLineColors.size());
        column->mLineColors.insert(column->mLineColors.begin() + colorAt, color);
        column->MarkDirty();
    }
    UpdateScrollbarMax();
    return int(index);
}

void ListWidget::SetLine(int index, const std::string& line)
{
    if (index < 0 || size_t(index) >= mLines.size())
        return;
    mLines[size_t(index)] = line;
    MarkDirty();
}

std::string ListWidget::GetStringAt(int index)
{
    if (index < 0 || size_t(index) >= mLines.size())
        return std::string();
    return mLines[size_t(index)];
}

int ListWidget::GetLineCount()
{
    return int(mLines.size());
}

int ListWidget::GetLineIdx(const std::string& line)
{
    for (size_t i = 0; i < mLines.size(); ++i)
    {
        if (mCompareFunc(mLines[i].c_str(), line.c_str()) == 0)
            return int(i);
    }
    return -1;
}

void ListWidget::SetColor(const std::string& line, const Color& color)
{
    SetLineColor(GetLineIdx(line), color);
}

void ListWidget::SetLineColor(int index, const Color& color)
{
    if (index < 0 || size_t(index) >= mLines.size())
        return;
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        if (size_t(index) < column->mLineColors.size())
            column->mLineColors[size_t(index)] = color;
        column->MarkDirty();
    }
}

void ListWidget::RemoveLine(int index)
{
    if (index >= 0 && size_t(index) < mLines.size())
    {
        for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
        {
            if (size_t(index) < column->mLines.size())
                column->mLines.erase(column->mLines.begin() + index);
            if (size_t(index) < column->mLineColors.size())
                column->mLineColors.erase(column->mLineColors.begin() + index);
            // A hilite past the end would answer a click on a line that is not there.
            if (column->mHiliteIdx >= int(column->mLines.size()))
                column->mHiliteIdx = -1;
            column->MarkDirty();
        }
    }
    UpdateScrollbarMax();
}

void ListWidget::RemoveAll()
{
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        column->mLines.clear();
        column->mLineColors.clear();
        column->mSelectIdx = -1;
        column->mHiliteIdx = -1;
        column->MarkDirty();
    }
    UpdateScrollbarMax();
}

void ListWidget::SetSelect(int index)
{
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        column->mSelectIdx = index;
        column->MarkDirty();
    }
}

void ListWidget::SetHilite(int index, bool tell)
{
    const int old = mHiliteIdx;
    mHiliteIdx = index;
    if (old != index && tell && mListener != nullptr)
        CallOut(this, [&] { mListener->ListHiliteChanged(mId, old, index); });
}

int ListWidget::GetOptimalWidth()
{
    int widest = 0;
    if (mFont != nullptr)
    {
        for (const std::string& line : mLines)
            widest = std::max(widest, mFont->StringWidth(line));
    }
    return widest + 16;
}

int ListWidget::GetOptimalHeight()
{
    return int(mLines.size()) * LineHeight() + 2 * kMargin;
}

// ---- Sorting ---------------------------------------------------------------------------

std::string ListWidget::GetSortKey(int index)
{
    std::string key = GetStringAt(index);
    if (int(key.size()) < mSortKeyWidth)
        key.insert(0, size_t(mSortKeyWidth) - key.size(), '0');
    if (mNextColumn == nullptr)
        return key;
    return mSortNextFirst ? mNextColumn->GetSortKey(index) + key : key + mNextColumn->GetSortKey(index);
}

void ListWidget::Sort(bool ascending)
{
    const size_t count = mLines.size();
    std::vector<std::string> keys;
    std::vector<size_t> order;
    for (size_t i = 0; i < count; ++i)
    {
        keys.push_back(GetSortKey(int(i)));
        order.push_back(i);
    }
    // Byte-wise, and stable: lines with equal keys keep their order, either way.
    std::stable_sort(order.begin(), order.end(),
                     [&keys, ascending](size_t a, size_t b)
                     { return ascending ? keys[a].compare(keys[b]) < 0 : keys[a].compare(keys[b]) > 0; });
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        if (column->mLines.size() != count || column->mLineColors.size() != count)
            continue;
        std::vector<std::string> lines;
        std::vector<Color> colors;
        for (size_t i : order)
        {
            lines.push_back(std::move(column->mLines[i]));
            colors.push_back(column->mLineColors[i]);
        }
        column->mLines.swap(lines);
        column->mLineColors.swap(colors);
        column->MarkDirty();
    }
}

// ---- Layout, scrolling and the tree --------------------------------------------------------

void ListWidget::ScrollPosition(int id, double position)
{
    // A column's hilite listener may delete the table.
    if (mNextColumn != nullptr && !CallOut(this, [&] { mNextColumn->ScrollPosition(id, position); }))
        return;
    mPosition = position;
    MarkDirty();
    // Under a pointer at rest another line is now under it: the hilite follows, so that a
    // click reports the line the player sees under the pointer.
    if (mIsOver && mWidgetManager != nullptr)
    {
        const TPoint<int> local =
            TPoint<int>(mWidgetManager->mLastMouseX, mWidgetManager->mLastMouseY) - GetAbsPos();
        MouseMove(local.mX, local.mY);
    }
}

void ListWidget::Resize(int x, int y, int width, int height)
{
    // The new area's hover check may hilite a line, and the listener delete the list.
    if (!CallOut(this, [&] { Widget::Resize(x, y, width, height); }))
        return;
    const int lineHeight = LineHeight();
    // Without a line height nothing is measured: one line per page.
    mPageSize =
        lineHeight > 0 && height > lineHeight + 2 * kMargin ? double(height - 2 * kMargin) / lineHeight : 1.0;
    if (mScrollbar != nullptr)
        mScrollbar->SetPageSize(mPageSize);
}

void ListWidget::RemovedFromManager(WidgetManager* manager)
{
    if (CallOut(this, [&] { Widget::RemovedFromManager(manager); }) && mListener != nullptr)
        CallOut(this, [&] { mListener->ListClosed(mId); });
}

void ListWidget::OrderInManagerChanged()
{
    Widget::OrderInManagerChanged();
    if (mWidgetManager == nullptr)
        return;
    if (mNextColumn != nullptr)
        mWidgetManager->PutInfront(mNextColumn, this);
    if (mScrollbar != nullptr)
        mWidgetManager->PutInfront(mScrollbar, this);
}

// ---- Mouse -------------------------------------------------------------------------------

void ListWidget::SetHiliteInAllColumns(int index)
{
    struct Change
    {
        WidgetRef<ListWidget> mColumn;
        ListListener* mListener;
        int mId;
        int mOld;
    };
    std::vector<Change> changes;
    for (ListWidget* column = Head(); column != nullptr; column = column->mNextColumn)
    {
        const int old = column->mHiliteIdx;
        column->mHiliteIdx = index;
        if (old != index && column->mListener != nullptr)
            changes.push_back(Change{WidgetRef<ListWidget>(column), column->mListener, column->mId, old});
        column->MarkDirty();
    }
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->SetCursor(index != -1 && mHandOverLines ? CURSOR_HAND : CURSOR_POINTER);
    // Last: a listener may delete the lists, often with itself; a deleted column's
    // listener is not told.
    for (const Change& change : changes)
    {
        if (ListWidget* column = change.mColumn.get())
            CallOut(column, [&] { change.mListener->ListHiliteChanged(change.mId, change.mOld, index); });
    }
}

void ListWidget::MouseMove(int x, int y)
{
    (void)x;
    int index = -1;
    const int lineHeight = LineHeight();
    if (lineHeight > 0)
    {
        // Truncation toward zero: a point just above the first line still hits it.
        index = TruncateToInt(double(y - kMargin) / lineHeight + mPosition);
        if (index < 0 || size_t(index) >= mLines.size())
            index = -1;
    }
    if (index == mHiliteIdx)
        return;
    SetHiliteInAllColumns(index);
}

void ListWidget::MouseLeave()
{
    SetHiliteInAllColumns(-1);
}

void ListWidget::MouseDown(int x, int y, int clickCount)
{
    Widget::MouseDown(x, y, clickCount);
}

void ListWidget::MouseDown(int x, int y, int button, int clickCount)
{
    (void)x;
    (void)y;
    (void)button;
    // The hilite may be older than the last change of the lines.
    if (mHiliteIdx < 0 || size_t(mHiliteIdx) >= mLines.size() || mListener == nullptr)
        return;
    CallOut(this, [&] { mListener->ListClicked(mId, mHiliteIdx, clickCount); });
}

void ListWidget::MouseWheel(int delta)
{
    if (mScrollbar == nullptr || delta == 0)
        return;
    mScrollbar->SetValue(mScrollbar->mValue + (delta > 0 ? -kWheelLines : kWheelLines));
}

// ---- Drawing -----------------------------------------------------------------------------

void ListWidget::Draw(Graphics* g)
{
    if (mFillBackground)
    {
        g->SetColor(GetColor(0));
        g->FillRect(0, 0, mWidth, mHeight);
    }

    const int lineHeight = LineHeight();
    if (lineHeight > 0 && !mLines.empty())
    {
        Graphics text(*g);
        text.ClipRect(kMargin, kMargin, mWidth - 2 * kMargin, mHeight - 2 * kMargin);
        text.SetFont(mFont);
        Graphics bar(*g);
        bar.ClipRect(0, kMargin, mWidth, mHeight - 2 * kMargin);

        const int64_t top = TruncateToInt(mPosition);
        const int64_t bottom =
            std::min<int64_t>(top + TruncateToInt(mPageSize) + 1, int64_t(mLines.size()) - 1);
        const int textOffset =
            mItemHeight != -1 && mFont != nullptr ? (mItemHeight - mFont->GetHeight()) / 2 : 0;
        for (int64_t i = std::max<int64_t>(top, 0); i <= bottom; ++i)
        {
            const int index = int(i);
            const int y = TruncateToInt((double(index) - mPosition) * lineHeight) + kMargin;
            if (index == mSelectIdx || (index == mHiliteIdx && mHiliteBar))
            {
                bar.SetColor(GetColor(4));
                bar.FillRect(0, y, mWidth, lineHeight);
            }
            if (mFont == nullptr)
                continue;
            const std::string& line = mLines[size_t(index)];
            if (index == mHiliteIdx)
                text.SetColor(GetColor(3));
            else if (index == mSelectIdx && mColors.size() > 5)
                text.SetColor(GetColor(5));
            else
                text.SetColor(size_t(index) < mLineColors.size() ? mLineColors[size_t(index)] : GetColor(2));
            int x = kMargin;
            if (mJustify == 1)
                x = (mWidth - mFont->StringWidth(line)) / 2;
            else if (mJustify != 0)
                x = mWidth - mFont->StringWidth(line) - kMargin;
            text.DrawString(line, x, y + mFont->GetAscent() + textOffset);
        }
    }

    if (mDrawOutline)
    {
        g->SetColor(GetColor(1));
        g->DrawRect(0, 0, mWidth - 1, mHeight - 1);
    }
}

} // namespace Vaxo
