#include "widgets/ScrollbarWidget.h"

#include "graphics/Graphics.h"
#include "widgets/WidgetMath.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace Vaxo
{

namespace
{
const Color kTrackColor(232, 232, 232);
const Color kPagingColor(48, 48, 48);
const Color kThumbFace(212, 212, 212);
const Color kThumbShadow(132, 132, 132);
constexpr int kMinThumbSize = 8;
// Update ticks before an arrow or a track press repeats; the track then repeats every 5.
constexpr int kRepeatDelay = 24;
constexpr int kPagingRestart = 20;
} // namespace

ScrollbarWidget::ScrollbarWidget(int id, ScrollListener* listener)
    : mInvisIfNoScroll(false), mId(id), mValue(0.0), mMaxValue(0.0), mPageSize(0.0), mHorizontal(false),
      mPressedOnThumb(false), mThumbPosAtPress(0), mPressX(0), mPressY(0), mPagingDir(0), mPagingTicks(0),
      mArrowTicks(0), mLastMouseX(0), mLastMouseY(0), mListener(listener)
{
    Widget::SetDisabled(true);
    mUpButton.reset(new ScrollbuttonWidget(0, this, 0));
    mDownButton.reset(new ScrollbuttonWidget(1, this, 0));
    ForEachButton(
        [this](ScrollbuttonWidget* button)
        {
            button->SetDisabled(true);
            AddWidget(button);
        });
}

ScrollbarWidget::~ScrollbarWidget()
{
    RemoveAllWidgets(true, false);
}

template <typename F> void ScrollbarWidget::ForEachButton(F f)
{
    if (mUpButton != nullptr)
        f(mUpButton.get());
    if (mDownButton != nullptr)
        f(mDownButton.get());
}

template <typename F> bool ScrollbarWidget::ChangePart(Widget* part, F change)
{
    return part == nullptr || CallOut(this, [&] { change(part); });
}

bool ScrollbarWidget::SetAllVisible(bool visible)
{
    auto show = [visible](Widget* part) { part->SetVisible(visible); };
    // The down button before the up button.
    return ChangePart(this, show) && ChangePart(mDownButton.get(), show) && ChangePart(mUpButton.get(), show);
}

int ScrollbarWidget::ButtonSize()
{
    return mUpButton != nullptr ? mUpButton->mWidth : 0;
}

// A listener may move the value (through the range) before its next call, so each call
// reads the value anew; one that deletes the bar, often with itself, hears no more, and
// neither does a list its own listener deleted while the bar lives on.
void ScrollbarWidget::TellListener(int times)
{
    for (int i = 0; i < times; ++i)
    {
        ScrollListener* listener = mListener.get();
        if (listener == nullptr || !CallOut(this, [&] { listener->ScrollPosition(mId, mValue); }))
            return;
    }
}

bool ScrollbarWidget::Clamp(bool& moved)
{
    const double old = mValue;
    if (mValue > mMaxValue - mPageSize)
        mValue = mMaxValue - mPageSize;
    // NaN counts as below the range.
    if (!(mValue >= 0.0))
        mValue = 0.0;
    moved = !(mValue == old);
    const bool canScroll = mPageSize < mMaxValue;
    auto enable = [canScroll](Widget* part) { part->SetDisabled(!canScroll); };
    if (!ChangePart(this, enable) || !ChangePart(mUpButton.get(), enable) ||
        !ChangePart(mDownButton.get(), enable))
        return false;
    return !mInvisIfNoScroll || SetAllVisible(canScroll);
}

void ScrollbarWidget::ClampValue()
{
    bool moved = false;
    if (Clamp(moved) && moved)
        TellListener(1);
}

void ScrollbarWidget::SetInvisIfNoScroll(bool invisIfNoScroll)
{
    mInvisIfNoScroll = invisIfNoScroll;
    if (invisIfNoScroll)
        SetAllVisible(false);
}

void ScrollbarWidget::SetMaxValue(double maxValue)
{
    mMaxValue = maxValue;
    RangeChanged();
}

void ScrollbarWidget::SetPageSize(double pageSize)
{
    mPageSize = pageSize;
    RangeChanged();
}

void ScrollbarWidget::RangeChanged()
{
    bool moved = false;
    if (!Clamp(moved))
        return;
    MarkDirty();
    if (moved)
        TellListener(1);
}

void ScrollbarWidget::SetValue(double value)
{
    mValue = value;
    bool moved = false;
    if (!Clamp(moved))
        return;
    MarkDirty();
    // Once for the clamp, once for the setting.
    TellListener(moved ? 2 : 1);
}

void ScrollbarWidget::SetHorizontal(bool horizontal)
{
    mHorizontal = horizontal;
    ForEachButton([horizontal](ScrollbuttonWidget* button) { button->mHorizontal = horizontal; });
}

void ScrollbarWidget::ResizeScrollbar(int x, int y, int width, int height)
{
    // Each resize re-checks the hover, and its hooks may delete the bar.
    if (!CallOut(this, [&] { Resize(x, y, width, height); }) || mUpButton == nullptr ||
        mDownButton == nullptr)
        return;
    // Square buttons at the ends.
    const int size = mHorizontal ? height : width;
    const int downX = mHorizontal ? width - height : 0;
    const int downY = mHorizontal ? 0 : height - width;
    if (ChangePart(mUpButton.get(), [size](Widget* up) { up->Resize(0, 0, size, size); }))
        ChangePart(mDownButton.get(), [=](Widget* down) { down->Resize(downX, downY, size, size); });
}

bool ScrollbarWidget::AtBottom()
{
    return mMaxValue - mPageSize - mValue <= 1.0;
}

void ScrollbarWidget::GoToBottom()
{
    // The clamp of the end value and the setting, each heard by the listener.
    SetValue(mMaxValue - mPageSize);
}

int ScrollbarWidget::GetTrackSize()
{
    const int button = ButtonSize();
    return (mHorizontal ? mWidth : mHeight) - 2 * button;
}

int ScrollbarWidget::GetThumbSize()
{
    if (mPageSize > mMaxValue)
        return 0;
    // A page equal to the maximum (a fresh bar has both 0) fills the track.
    const double share = mMaxValue > 0.0 ? mPageSize / mMaxValue : 1.0;
    return std::max(TruncateToInt(GetTrackSize() * share + 0.5), kMinThumbSize);
}

int ScrollbarWidget::GetThumbPosition()
{
    const int button = ButtonSize();
    // Nothing to scroll: the thumb rests at the track start.
    if (!(mPageSize < mMaxValue))
        return button;
    const double freeTrack = GetTrackSize() - GetThumbSize();
    return TruncateToInt(mValue * freeTrack / (mMaxValue - mPageSize) + 0.5) + button;
}

void ScrollbarWidget::SetThumbPosition(int position)
{
    const int freeTrack = GetTrackSize() - GetThumbSize();
    // A thumb that fills the track cannot move: the value stays.
    if (freeTrack <= 0)
    {
        SetValue(mValue);
        return;
    }
    SetValue((double(position) - ButtonSize()) * (mMaxValue - mPageSize) / freeTrack);
}

int ScrollbarWidget::ThumbCompare(int x, int y)
{
    const int c = mHorizontal ? x : y;
    const int position = GetThumbPosition();
    if (c < position)
        return -1;
    if (int64_t(c) < int64_t(position) + GetThumbSize())
        return 0;
    return 1;
}

void ScrollbarWidget::Step(double delta)
{
    SetValue(mValue + delta);
}

// ---- Arrow buttons ---------------------------------------------------------------------

void ScrollbarWidget::ButtonPress(int id)
{
    mArrowTicks = 0;
    Step(id == 0 ? -1.0 : 1.0);
}

void ScrollbarWidget::ButtonDepress(int id)
{
    (void)id;
}

void ScrollbarWidget::ButtonDownTick(int id)
{
    // The first repeat on the 25th update after the press, then one step per update.
    if (++mArrowTicks <= kRepeatDelay)
        return;
    mArrowTicks = kRepeatDelay;
    Step(id == 0 ? -1.0 : 1.0);
}

// ---- Mouse on the bar itself -------------------------------------------------------------

void ScrollbarWidget::MouseDown(int x, int y, int clickCount)
{
    Widget::MouseDown(x, y, clickCount);
}

void ScrollbarWidget::MouseDown(int x, int y, int button, int clickCount)
{
    Widget::MouseDown(x, y, button, clickCount);
    mLastMouseX = x;
    mLastMouseY = y;
    if (mDisabled)
        return;
    const int side = ThumbCompare(x, y);
    if (side == 0)
    {
        mPressedOnThumb = true;
        mThumbPosAtPress = GetThumbPosition();
        mPressX = x;
        mPressY = y;
        return;
    }
    mPagingTicks = 0;
    mPagingDir = side < 0 ? 1 : 2;
    Step(side < 0 ? -mPageSize : mPageSize);
}

void ScrollbarWidget::MouseDrag(int x, int y)
{
    mLastMouseX = x;
    mLastMouseY = y;
    if (!mPressedOnThumb)
        return;
    const int64_t moved = mHorizontal ? int64_t(x) - mPressX : int64_t(y) - mPressY;
    const int64_t position = std::clamp<int64_t>(mThumbPosAtPress + moved, INT32_MIN, INT32_MAX);
    SetThumbPosition(int(position));
}

void ScrollbarWidget::MouseUp(int x, int y)
{
    Widget::MouseUp(x, y);
}

void ScrollbarWidget::MouseUp(int x, int y, int button, int clickCount)
{
    Widget::MouseUp(x, y, button, clickCount);
    mPressedOnThumb = false;
    mPagingDir = 0;
    MarkDirty();
}

void ScrollbarWidget::Update()
{
    Widget::Update();
    if (mPagingDir != 1 && mPagingDir != 2)
        return;
    const int towards = mPagingDir == 1 ? -1 : 1;
    if (ThumbCompare(mLastMouseX, mLastMouseY) != towards)
    {
        // The thumb has reached the mouse.
        mPagingDir = 0;
        MarkDirty();
        return;
    }
    if (++mPagingTicks <= kRepeatDelay)
        return;
    mPagingTicks = kPagingRestart;
    Step(towards * mPageSize);
}

// ---- Drawing ---------------------------------------------------------------------------

void ScrollbarWidget::DrawThumb(Graphics* g, int x, int y, int width, int height)
{
    g->SetColor(kThumbFace);
    g->FillRect(x, y, width, height);
    g->SetColor(Color::White);
    g->FillRect(x + 1, y + 1, width - 2, 1);
    g->FillRect(x + 1, y + 1, 1, height - 2);
    g->SetColor(Color::Black);
    g->FillRect(x, y + height - 1, width, 1);
    g->FillRect(x + width - 1, y, 1, height);
    g->SetColor(kThumbShadow);
    g->FillRect(x + 1, y + height - 2, width - 2, 1);
    g->FillRect(x + width - 2, y + 1, 1, height - 2);
}

void ScrollbarWidget::Draw(Graphics* g)
{
    const int size = GetThumbSize();
    const int position = GetThumbPosition();
    // The first fill also lies under the up button, which is drawn over it.
    g->SetColor(mPagingDir == 1 ? kPagingColor : kTrackColor);
    if (mHorizontal)
        g->FillRect(0, 0, position, mHeight);
    else
        g->FillRect(0, 0, mWidth, position);
    if (size > 0)
    {
        if (mHorizontal)
            DrawThumb(g, position, 0, size, mHeight);
        else
            DrawThumb(g, 0, position, mWidth, size);
    }
    g->SetColor(mPagingDir == 2 ? kPagingColor : kTrackColor);
    if (mHorizontal)
        g->FillRect(position + size, 0, mWidth - position - size, mHeight);
    else
        g->FillRect(0, position + size, mWidth, mHeight - position - size);
}

} // namespace Vaxo
