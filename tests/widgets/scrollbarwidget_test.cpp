// Scroll bar: clamping heard twice, arrow and track repeats by update count, thumb sizes
// and positions, drag mapping, the fresh bar and a thumb filling its track, hiding, and
// a listener that closes the bar.
#include "widgets/ScrollListener.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/support/ControlTestSupport.h"

#include <sstream>
#include <string>
#include <tuple>
#include <utility>

using namespace Vaxo;

namespace
{

// A vertical bar at (0, 0) of 16 x 132: buttons of 16, a track of 100.
class Scrollbar : public ControlTest
{
protected:
    Scrollbar()
    {
        mBar->ResizeScrollbar(0, 0, 16, 132);
        mBar->SetMaxValue(100.0);
        mBar->SetPageSize(10.0);
        mLog.Take();
    }
    Attached<ScrollbarWidget> mBar{mManager, 0, &mLog};
};

TEST_F(Scrollbar, SettersClampTheListenerHearsAClampedValueTwiceAndTheThumbFollows)
{
    // Setter (v value, m maximum, p page, b GoToBottom), argument, value after, heard.
    const std::tuple<char, double, double, const char*> rows[] = {
        {'v', 95, 90, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {'v', 50, 50, "ScrollPosition(0,50)"},
        {'m', 55, 45, "ScrollPosition(0,45)"}, // pulled back, told once
        {'p', 5, 45, ""},
        {'v', -3, 0, "ScrollPosition(0,0) ScrollPosition(0,0)"},
        {'b', 0, 50, "ScrollPosition(0,50)"},
        {'p', 60, 0, "ScrollPosition(0,0)"}, // nothing to scroll
    };
    for (const auto& [op, arg, value, heard] : rows)
    {
        if (op == 'v')
            mBar->SetValue(arg);
        else if (op == 'm')
            mBar->SetMaxValue(arg);
        else if (op == 'p')
            mBar->SetPageSize(arg);
        else
            mBar->GoToBottom();
        EXPECT_EQ(mBar->mValue, value) << op << arg;
        EXPECT_EQ(mLog.Take(), heard) << op << arg;
    }
    EXPECT_TRUE(mBar->mDisabled && mBar->mUpButton->mDisabled && mBar->mDownButton->mDisabled);

    const double bottoms[][4] = {{100, 10, 89.5, 1}, {100, 10, 88, 0}};
    for (const auto& b : bottoms)
    {
        mBar->SetMaxValue(b[0]);
        mBar->SetPageSize(b[1]);
        mBar->SetValue(b[2]);
        EXPECT_EQ(mBar->AtBottom(), b[3] != 0) << b[2];
    }
    EXPECT_FALSE(mBar->mDisabled || mBar->mUpButton->mDisabled || mBar->mDownButton->mDisabled);

    // Maximum, page, value; thumb size and position.
    const std::tuple<double, double, double, int, int> thumbs[] = {
        {100, 10, 0, 10, 16},  {100, 1, 0, 8, 16},   // at least 8
        {100, 10, 45, 10, 61}, {100, 1, 99, 8, 108}, // 99 x 92 / 99 + 16
        {10, 20, 0, 0, 16},                          // page past the maximum
        {50, 50, 0, 100, 16},  {0, 0, 0, 100, 16},   // nothing to scroll, a fresh bar too
    };
    for (const auto& [max, page, value, size, position] : thumbs)
    {
        mBar->SetMaxValue(max);
        mBar->SetPageSize(page);
        mBar->SetValue(value);
        EXPECT_EQ(mBar->GetThumbSize(), size) << max << " " << page;
        EXPECT_EQ(mBar->GetThumbPosition(), position) << max << " " << page;
    }
}

TEST_F(Scrollbar, HeldArrowsRepeatFromThe25thUpdateAndAHeldTrackPagesUntilTheThumbReachesThePress)
{
    // Down 30 updates: the press, then updates 25 to 30; up 25: a new press counts anew.
    for (const auto& [y, updates, value] : {std::tuple(124, 30, 7.0), std::tuple(8, 25, 5.0)})
    {
        mManager->MouseMove(8, y);
        mManager->MouseDown(8, y, 1);
        for (int i = 0; i < updates; ++i)
            mManager->UpdateFrame();
        mManager->MouseUp(8, y, 1);
        EXPECT_EQ(mBar->mValue, value);
    }

    mBar->SetValue(0);
    mManager->MouseDown(8, 100, 1);
    EXPECT_EQ(mBar->mValue, 10.0);
    // The thumb at 26..35 with its bevel; the part being paged is dark.
    EXPECT_EQ(DrawCalls(mBar.get()),
              "FillRect((0,0,16,26),(232,232,232,255),0) FillRect((0,26,16,10),(212,212,212,255),0) "
              "FillRect((1,27,14,1),(255,255,255,255),0) FillRect((1,27,1,8),(255,255,255,255),0) "
              "FillRect((0,35,16,1),(0,0,0,255),0) FillRect((15,26,1,10),(0,0,0,255),0) "
              "FillRect((1,34,14,1),(132,132,132,255),0) FillRect((14,27,1,8),(132,132,132,255),0) "
              "FillRect((0,36,16,96),(48,48,48,255),0)");
    std::ostringstream pagedAt;
    for (int update = 1; update <= 60; ++update)
    {
        const double before = mBar->mValue;
        mManager->UpdateFrame();
        if (mBar->mValue != before)
            pagedAt << update << "=" << mBar->mValue << " ";
    }
    EXPECT_EQ(pagedAt.str(), "25=20 30=30 35=40 40=50 45=60 50=70 55=80 ");
    EXPECT_EQ(mBar->mPagingDir, 0); // the thumb (96..105) covers y 100
    mManager->MouseUp(8, 100, 1);
}

TEST_F(Scrollbar, DraggedThumbMapsPixelsToValuesAThumbFillingItsTrackStaysAndABarWithNothingToScrollHides)
{
    // Horizontal, the bar's length, where the thumb is dragged, what is heard. A track of
    // 8 (a bar of 40) holds only the minimum thumb: no free track to map a drag onto.
    const std::tuple<bool, int, int, const char*> rows[] = {
        {false, 132, 65, "ScrollPosition(0,45)"},
        {false, 132, 300, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {true, 132, 65, "ScrollPosition(0,45)"},
        {false, 40, 30, "ScrollPosition(0,0)"},
    };
    for (const auto& [horizontal, length, to, heard] : rows)
    {
        mBar->SetHorizontal(horizontal);
        mBar->ResizeScrollbar(0, 0, horizontal ? length : 16, horizontal ? 16 : length);
        mBar->SetValue(0);
        mLog.Take();
        // 4 pixels into the thumb at 16.. (along the bar), then moved by to - 20.
        mManager->MouseDown(horizontal ? 20 : 8, horizontal ? 8 : 20, 1);
        mManager->MouseMove(horizontal ? to : 8, horizontal ? 8 : to);
        mManager->MouseUp(0, 0, 1);
        EXPECT_EQ(mLog.Take(), heard) << horizontal << to;
    }

    // Hidden while nothing scrolls.
    mBar->SetPageSize(200);
    mBar->SetInvisIfNoScroll(true);
    EXPECT_FALSE(mBar->mVisible || mBar->mUpButton->mVisible || mBar->mDownButton->mVisible);
    mBar->SetMaxValue(300);
    EXPECT_TRUE(mBar->mVisible && mBar->mUpButton->mVisible && mBar->mDownButton->mVisible);
}

// A listener that owns its bar and closes both when it hears the bar move.
class ClosingScrollOwner final : public ScrollListener
{
public:
    ClosingScrollOwner(WidgetManager* manager, int* heard)
        : mManager(manager), mBar(new ScrollbarWidget(0, this)), mHeard(heard)
    {
        mManager->AddWidget(mBar.get());
        mBar->ResizeScrollbar(0, 0, 16, 132);
        mBar->SetMaxValue(100.0);
        mBar->SetPageSize(10.0);
    }
    ~ClosingScrollOwner() { mManager->RemoveWidget(mBar.get()); }
    void ScrollPosition(int, double) override
    {
        ++*mHeard;
        delete this;
    }
    ScrollbarWidget* Bar() { return mBar.get(); }

private:
    WidgetManager* mManager;
    std::unique_ptr<ScrollbarWidget> mBar;
    int* mHeard;
};

TEST_F(Scrollbar, AListenerThatMovesTheRangeHearsTheNewValueLastAndOneThatClosesTheBarHearsNoMore)
{
    // The first of the two calls of a clamped value shrinks the range: the second call
    // reports where the bar now is.
    bool once = true;
    mLog.mAction = [&]
    {
        if (std::exchange(once, false))
            mBar->SetPageSize(20.0);
    };
    mBar->SetValue(95.0);
    mLog.mAction = nullptr;
    EXPECT_EQ(mBar->mValue, 80.0);
    EXPECT_EQ(mLog.Take(), "ScrollPosition(0,90) ScrollPosition(0,80) ScrollPosition(0,80)");

    // An owner that deletes itself and its bar on the first call is not called again.
    int heard = 0;
    auto* owner = new ClosingScrollOwner(mManager, &heard);
    owner->Bar()->SetValue(500.0);
    EXPECT_EQ(heard, 1);
}

} // namespace
