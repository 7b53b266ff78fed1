// Scroll bar: clamping heard twice, arrow and track repeats by update count, thumb sizes
// and positions, drag mapping, the fresh bar and a thumb filling its track, hiding, and
// listeners that delete the bar.
#include "widgets/ScrollbarWidget.h"
#include "widgets/support/ControlTestSupport.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace Vaxo;

namespace
{

// A vertical bar at (0, 0) of 16 x 132: buttons of 16, a track of 100.
class Scrollbar : public ::testing::Test
{
protected:
    Scrollbar()
    {
        mBar->ResizeScrollbar(0, 0, 16, 132);
        mBar->SetMaxValue(100.0);
        mBar->SetPageSize(10.0);
        mLog.Take();
    }
    AppTestEnv mAppEnv;
    ControlTestApp mApp;
    WidgetTestEnv mEnv{&mApp};
    WidgetManager* mManager = mEnv.mManager;
    ListenerLog mLog;
    Attached<ScrollbarWidget> mBar{mManager, 0, &mLog};
};

TEST_F(Scrollbar, SettersClampAndTheListenerHearsAClampedValueTwice)
{
    struct Row
    {
        const char* op;
        double arg;
        double value;
        const char* heard;
    };
    const Row rows[] = {
        {"value", 95, 90, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {"value", 50, 50, "ScrollPosition(0,50)"},
        {"max", 55, 45, "ScrollPosition(0,45)"}, // pulled back, told once
        {"page", 5, 45, ""},
        {"value", -3, 0, "ScrollPosition(0,0) ScrollPosition(0,0)"},
        {"bottom", 0, 50, "ScrollPosition(0,50)"},
        {"page", 60, 0, "ScrollPosition(0,0)"}, // nothing to scroll
    };
    for (const Row& row : rows)
    {
        const std::string op = row.op;
        if (op == "value")
            mBar->SetValue(row.arg);
        else if (op == "max")
            mBar->SetMaxValue(row.arg);
        else if (op == "page")
            mBar->SetPageSize(row.arg);
        else
            mBar->GoToBottom();
        EXPECT_EQ(mBar->mValue, row.value) << row.op << row.arg;
        EXPECT_EQ(mLog.Take(), row.heard) << row.op << row.arg;
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
}

TEST_F(Scrollbar, ThumbSizeAndPosition)
{
    struct Row
    {
        double max, page, value;
        int size, position;
    };
    const Row rows[] = {
        {100, 10, 0, 10, 16},  {100, 1, 0, 8, 16},   // at least 8
        {100, 10, 45, 10, 61}, {100, 1, 99, 8, 108}, // 99 x 92 / 99 + 16
        {10, 20, 0, 0, 16},                          // page past the maximum
        {50, 50, 0, 100, 16},  {0, 0, 0, 100, 16},   // nothing to scroll, a fresh bar too
    };
    for (const Row& row : rows)
    {
        mBar->SetMaxValue(row.max);
        mBar->SetPageSize(row.page);
        mBar->SetValue(row.value);
        EXPECT_EQ(mBar->GetThumbSize(), row.size) << row.max << " " << row.page;
        EXPECT_EQ(mBar->GetThumbPosition(), row.position) << row.max << " " << row.page;
    }
    ScrollbarWidget fresh(1, &mLog);
    fresh.ResizeScrollbar(0, 0, 16, 132);
    EXPECT_EQ(fresh.GetThumbPosition(), 16);
    EXPECT_EQ(fresh.GetThumbSize(), 100);
}

TEST_F(Scrollbar, HeldArrowsRepeatFromThe25thUpdate)
{
    mManager->MouseMove(8, 124);
    mManager->MouseDown(8, 124, 1);
    for (int i = 0; i < 30; ++i)
        mManager->UpdateFrame();
    mManager->MouseUp(8, 124, 1);
    EXPECT_EQ(mBar->mValue, 7.0); // the press, then updates 25 to 30

    // A new press starts the count again.
    mManager->MouseMove(8, 8);
    mManager->MouseDown(8, 8, 1);
    for (int i = 0; i < 25; ++i)
        mManager->UpdateFrame();
    mManager->MouseUp(8, 8, 1);
    EXPECT_EQ(mBar->mValue, 5.0);
}

TEST_F(Scrollbar, HeldTrackPagesUntilTheThumbReachesThePress)
{
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

TEST_F(Scrollbar, DraggedThumbMapsPixelsToValues)
{
    struct Row
    {
        bool horizontal;
        int to;
        const char* heard;
    };
    const Row rows[] = {
        {false, 65, "ScrollPosition(0,45)"},
        {false, 300, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {true, 65, "ScrollPosition(0,45)"},
    };
    for (const Row& row : rows)
    {
        mBar->SetHorizontal(row.horizontal);
        mBar->ResizeScrollbar(0, 0, row.horizontal ? 132 : 16, row.horizontal ? 16 : 132);
        mBar->SetValue(0);
        mLog.Take();
        // 4 pixels into the thumb at 16..25, then moved by to - 20.
        mManager->MouseDown(row.horizontal ? 20 : 8, row.horizontal ? 8 : 20, 1);
        mManager->MouseMove(row.horizontal ? row.to : 8, row.horizontal ? 8 : row.to);
        mManager->MouseUp(0, 0, 1);
        EXPECT_EQ(mLog.Take(), row.heard) << row.horizontal << row.to;
    }
}

TEST_F(Scrollbar, AThumbFillingItsTrackKeepsAFiniteValue)
{
    // A track of 8 holds only the minimum thumb: no free track to map a drag onto.
    mBar->ResizeScrollbar(0, 0, 16, 40);
    mManager->MouseDown(8, 20, 1);
    mManager->MouseMove(8, 20);
    mManager->MouseMove(8, 30);
    mManager->MouseUp(8, 30, 1);
    EXPECT_EQ(mLog.Take(), "ScrollPosition(0,0) ScrollPosition(0,0)");
}

TEST_F(Scrollbar, InvisibleWhileNothingScrolls)
{
    mBar->SetPageSize(200);
    mBar->SetInvisIfNoScroll(true);
    EXPECT_FALSE(mBar->mVisible || mBar->mUpButton->mVisible || mBar->mDownButton->mVisible);
    mBar->SetMaxValue(300);
    EXPECT_TRUE(mBar->mVisible && mBar->mUpButton->mVisible && mBar->mDownButton->mVisible);
}

TEST_F(Scrollbar, AListenerMayDeleteTheBar)
{
    struct Row
    {
        const char* name;
        std::function<void(ScrollbarWidget*)> trigger;
    };
    const Row rows[] = {
        {"clamped value", [](ScrollbarWidget* bar) { bar->SetValue(500); }},
        {"arrow press", [this](ScrollbarWidget*) { mManager->MouseDown(8, 124, 1); }},
        {"arrow tick",
         [](ScrollbarWidget* bar)
         {
             for (int i = 0; i < 25; ++i)
                 bar->ButtonDownTick(1);
         }},
        {"track press", [this](ScrollbarWidget*) { mManager->MouseDown(8, 100, 1); }},
        {"paging",
         [](ScrollbarWidget* bar)
         {
             bar->mPagingDir = 2;
             bar->mLastMouseY = 100;
             for (int i = 0; i < 25; ++i)
                 bar->Update();
         }},
        {"thumb drag",
         [this](ScrollbarWidget*)
         {
             mManager->MouseDown(8, 20, 1);
             mManager->MouseMove(8, 40);
         }},
    };
    for (const Row& row : rows)
    {
        Attached<ScrollbarWidget> bar(mManager, 1, &mLog);
        bar->ResizeScrollbar(0, 0, 16, 132);
        bar->SetMaxValue(100);
        bar->SetPageSize(10);
        ScrollbarWidget* alive = bar.get();
        mLog.mAction = [&]
        {
            mLog.mAction = nullptr;
            bar.Kill();
        };
        row.trigger(alive);
        EXPECT_EQ(bar.get(), nullptr) << row.name;
        mManager->MouseUp(0, 0, 1);
        mLog.Take();
    }
}

} // namespace
