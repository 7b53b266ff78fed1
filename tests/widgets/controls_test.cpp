// Buttons: press, drag out and release through the widget manager, held ticks, sounds,
// hover fades, the drawn bevel and the image looks, label positions. Check box and
// slider: toggling and notifying, track clicks reported on release, dragging with the
// grab offset, clamping, the track drawing, the divisions a short track or a long thumb
// would make. Scroll bar: clamping heard twice, arrow and track repeats by update count,
// thumb sizes and positions, drag mapping, the fresh bar and a thumb filling its track,
// hiding. Listeners that delete any of them.
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonWidget.h"
#include "widgets/Checkbox.h"
#include "widgets/DialogButton.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/Slider.h"
#include "widgets/support/ControlTestSupport.h"

#include <cmath>
#include <sstream>
#include <tuple>

using namespace Vaxo;

namespace
{

using Buttons = ControlTest;

// "FillRect((x,y,w,h),(r,g,b,255),0)".
std::string Fill(int x, int y, int w, int h, const char* rgb)
{
    return "FillRect(" + RectText(TRect<int>(x, y, w, h)) + ",(" + rgb + ",255),0)";
}

TEST_F(Buttons, PressDragOutAndReleaseTicksOnlyWhileOverAndDepressesOnlyOverAndFocused)
{
    Attached<ButtonWidget> button(mManager, 7, &mLog);
    button->Resize(100, 100, 50, 20);
    button->mClickSoundId = 3;
    mManager->MouseMove(110, 105);
    mManager->MouseDown(110, 105, 1);
    mManager->UpdateFrame();
    EXPECT_EQ(mLog.Take(), "ButtonMouseEnter(7) ButtonMouseMove(7,10,5) ButtonPress(7,1) ButtonDownTick(7)");
    for (int y : {300, 105, 300})
    {
        mManager->MouseMove(110, y);
        mManager->UpdateFrame();
    }
    mManager->MouseUp(110, 300, 1);
    EXPECT_EQ(mLog.Take(), "ButtonMouseLeave(7) ButtonMouseEnter(7) ButtonDownTick(7) ButtonMouseLeave(7)");

    // Every button presses with a positive count; the release over it answers.
    mManager->MouseMove(110, 105);
    for (int clickCount : {-2, 3})
    {
        mManager->MouseDown(110, 105, clickCount);
        mManager->MouseUp(110, 105, clickCount);
    }
    EXPECT_EQ(mLog.Take(), "ButtonMouseEnter(7) ButtonMouseMove(7,10,5) ButtonPress(7,2) ButtonDepress(7) "
                           "ButtonPress(7,1) ButtonDepress(7)");

    // Without the window's focus the release cancels the click.
    mManager->LostFocus();
    mManager->MouseDown(110, 105, 1);
    mManager->MouseUp(110, 105, 1);
    EXPECT_EQ(mLog.Take(), "ButtonPress(7,1)");
    EXPECT_EQ(mApp.mSamples, std::vector<int>({3, 3, 3, 3}));
}

TEST_F(Buttons, HoverFadesByUpdateTicks)
{
    // Steps: e enter, l leave, u update; the hover strength after each.
    const std::tuple<double, double, const char*, const char*> rows[] = {
        {0.25, 0.0, "euuuuul", "0 0.25 0.5 0.75 1 1 0"},
        {0.0, 0.25, "eluuuuu", "0 1 0.75 0.5 0.25 0 0"}, // leaving starts from full
        {0.25, 0.25, "euulu", "0 0.25 0.5 0.5 0.25"},
    };
    for (const auto& [fadeIn, fadeOut, steps, expected] : rows)
    {
        ButtonWidget button(1, &mLog);
        button.mHoverFadeInSpeed = fadeIn;
        button.mHoverFadeOutSpeed = fadeOut;
        std::ostringstream alphas;
        for (const char* step = steps; *step != 0; ++step)
        {
            if (*step == 'u')
                button.Update();
            else if ((button.mIsOver = *step == 'e'))
                button.MouseEnter();
            else
                button.MouseLeave();
            alphas << " " << button.mHoverAlpha;
        }
        EXPECT_EQ(alphas.str().substr(1), expected) << steps;
    }
}

TEST_F(Buttons, DrawnBevelAndLabel)
{
    const std::string rest =
        Join({Fill(0, 0, 40, 20, "212,212,212"), Fill(0, 0, 39, 1, "255,255,255"),
              Fill(0, 0, 1, 19, "255,255,255"), Fill(0, 19, 40, 1, "0,0,0"), Fill(39, 0, 1, 20, "0,0,0"),
              Fill(1, 18, 38, 1, "132,132,132"), Fill(38, 1, 1, 18, "132,132,132")});
    const std::string pressed =
        Join({Fill(0, 0, 40, 20, "212,212,212"), Fill(0, 0, 39, 1, "0,0,0"), Fill(0, 0, 1, 19, "0,0,0"),
              Fill(0, 19, 40, 1, "255,255,255"), Fill(39, 0, 1, 20, "255,255,255"),
              Fill(1, 1, 37, 1, "132,132,132"), Fill(1, 1, 1, 17, "132,132,132")});
    // down, inverted, no frame; label "Go" in a 6-pixel font of ascent 8 at
    // ((40 - 12) / 2, (20 + 8 - 1 - 1) / 2), one pixel further while pressed.
    const std::tuple<bool, bool, bool, std::string, const char*> rows[] = {
        {false, false, false, rest, "14,13"},
        {true, false, false, pressed, "15,14"},
        {false, true, false, pressed, "15,14"},
        {true, true, false, rest, "14,13"},
        {false, false, true, "", "14,13"}};
    FixedFont font(6);
    for (const auto& [down, inverted, noFrame, calls, labelAt] : rows)
    {
        ButtonWidget button(1, &mLog);
        button.Resize(0, 0, 40, 20);
        button.mLabel = "Go";
        button.SetFont(&font);
        button.mIsDown = button.mIsOver = down;
        button.mInverted = inverted;
        button.mNoFrame = noFrame;
        button.SetColor(1, Color::Black);
        EXPECT_EQ(DrawCalls(&button), calls) << down << inverted << noFrame;
        EXPECT_EQ(static_cast<FixedFont*>(button.mFont.get())->TakeCalls()[0],
                  std::string("DrawString(") + labelAt + ",\"Go\",(0,0,0,255))");
    }
    // No label: no font is made.
    ButtonWidget plain(1, &mLog);
    plain.Resize(0, 0, 40, 20);
    EXPECT_EQ(DrawCalls(&plain), rest);
    EXPECT_EQ(plain.mFont, nullptr);
}

TEST_F(Buttons, ImageLooksByState)
{
    RecordingImage normal("normal", 40, 20), over("over", 40, 20), down("down", 40, 20), off("off", 40, 20);
    RecordingImage sheet("sheet", 120, 20);
    auto blt = [](const char* image, const char* at, const char* rect, const char* alpha = "255")
    { return std::string("Blt(") + image + "," + at + ",(" + rect + "),(255,255,255," + alpha + "),0)"; };
    // State: r rest, o over, p pressed, P pressed without a down image, d disabled, D disabled
    // without a disabled look, h hover half faded, s hovered with rects (always cut from
    // mButtonImage).
    const std::pair<char, std::string> rows[] = {
        {'r', blt("normal", "0,0", "0,0,40,20")},
        {'o', blt("over", "0,0", "0,0,40,20")},
        {'p', blt("down", "0,0", "0,0,40,20")},
        {'P', blt("over", "1,1", "0,0,40,20")},
        {'d', blt("off", "0,0", "0,0,40,20")},
        {'D', blt("normal", "0,0", "0,0,40,20")},
        {'h', blt("normal", "0,0", "0,0,40,20") + " " + blt("over", "0,0", "0,0,40,20", "127")},
        {'s', blt("sheet", "0,0", "40,0,40,20")},
    };
    for (const auto& [state, calls] : rows)
    {
        ButtonWidget button(1, &mLog);
        button.Resize(0, 0, 40, 20);
        button.mButtonImage = state == 's' ? &sheet : &normal;
        button.mOverImage = &over;
        button.mDownImage = state == 'P' ? nullptr : &down;
        button.mDisabledImage = state == 'D' ? nullptr : &off;
        button.mIsOver = state == 'o' || state == 'p' || state == 'P' || state == 's';
        button.mIsDown = state == 'p' || state == 'P';
        button.mDisabled = state == 'd' || state == 'D';
        button.mHoverAlpha = state == 'h' ? 0.5 : 0.0;
        button.mNormalRect = state == 's' ? TRect<int>(0, 0, 40, 20) : TRect<int>();
        button.mOverRect = state == 's' ? TRect<int>(40, 0, 40, 20) : TRect<int>();
        EXPECT_EQ(DrawCalls(&button), calls) << state;
    }
}

TEST_F(Buttons, LabelPositionsOfTheButtonKinds)
{
    FixedFont font(6);              // ascent 8, height 12
    FixedFont padded(6, 12, 16, 2); // ascent 12, padding 2
    ButtonWidget right(1, &mLog);
    DialogButton drawn(nullptr, 1, &mLog);
    RecordingImage box("box", 30, 30);
    DialogButton boxed(&box, 1, &mLog);
    boxed.mLabelOffsetX = 3;
    boxed.mLabelOffsetY = -1;
    HyperlinkWidget link(1, &mLog);
    const std::tuple<ButtonWidget*, Font*, const char*> rows[] = {
        {&right, &font, "DrawString(28,13,\"Go\",(0,0,0,255))"},
        // Without an image it draws as a ButtonWidget, with white labels.
        {&drawn, &font, "DrawString(28,13,\"Go\",(255,255,255,255))"},
        // (20 + 12 - 2 - 12 / 6 - 1) / 2, offsets 3 and -1; justification plays no part.
        {&boxed, &padded, "DrawString(17,12,\"Go\",(255,255,255,255))"},
        // (20 + 8) / 2 - 1.
        {&link, &font, "DrawString(14,13,\"Go\",(255,255,255,255))"},
    };
    for (const auto& [button, labelFont, label] : rows)
    {
        button->Resize(0, 0, 40, 20);
        button->mLabel = "Go";
        button->mLabelJustify = 1;
        button->SetFont(labelFont);
        DrawCalls(button);
        EXPECT_EQ(static_cast<FixedFont*>(button->mFont.get())->TakeCalls()[0], label);
    }
    // Two underline rows, 3 pixels below the baseline, as wide as the label.
    link.mUnderlineThickness = 2;
    EXPECT_EQ(DrawCalls(&link),
              Join({Fill(14, 16, 12, 1, "255,255,255"), Fill(14, 17, 12, 1, "255,255,255")}));
}

TEST_F(Buttons, AListenerMayDeleteTheButton)
{
    // The held tick is asked for directly, as the manager's update walk would.
    const std::vector<std::function<void(Widget*)>> steps = {
        [&](Widget*) { mManager->MouseMove(10, 10); },    [&](Widget*) { mManager->MouseMove(11, 10); },
        [&](Widget*) { mManager->MouseDown(11, 10, 1); }, [&](Widget* w) { w->Update(); },
        [&](Widget*) { mManager->MouseUp(11, 10, 1); },   [&](Widget*) { mManager->MouseMove(300, 300); }};
    for (const char* killOn : {"ButtonMouseEnter", "ButtonMouseMove", "ButtonPress", "ButtonDownTick",
                               "ButtonDepress", "ButtonMouseLeave", "Link ButtonMouseEnter"})
    {
        const std::string kill = killOn;
        const bool link = kill.rfind("Link ", 0) == 0;
        Widget* button = link ? new HyperlinkWidget(1, &mLog) : new ButtonWidget(1, &mLog);
        button->Resize(0, 0, 40, 20);
        EXPECT_TRUE(DeletedByListener(mManager, button, mLog, link ? kill.substr(5) : kill, steps)) << killOn;
        mManager->MouseMove(500, 500);
    }
}

class Controls : public ControlTest
{
protected:
    RecordingImage mTrack{"track", 30, 4};
    RecordingImage mThumb{"thumb", 20, 20};
};

TEST_F(Controls, CheckboxTogglesOnEveryPressAndTellsItsListener)
{
    Attached<Checkbox> box(mManager, nullptr, nullptr, 2, &mLog);
    box->Resize(0, 0, 20, 20);
    Click(mManager, 5, 5);
    Click(mManager, 5, 5, -1);
    box->SetChecked(true, true);
    box->SetChecked(true, true); // told even without a change
    box->SetChecked(false, false);
    EXPECT_EQ(mLog.Take(),
              "CheckboxChecked(2,1) CheckboxChecked(2,0) CheckboxChecked(2,1) CheckboxChecked(2,1)");
    EXPECT_FALSE(box->IsChecked());

    box->mListener = nullptr;
    mManager->MouseDown(5, 5, 1);
    EXPECT_TRUE(box->IsChecked());
}

TEST_F(Controls, SliderTrackClickJumpsAndDragKeepsTheGrabOffsetAndValuesStayWithin0To1)
{
    Attached<Slider> slider(mManager, &mTrack, &mThumb, 1, &mLog);
    slider->Resize(100, 100, 200, 20);
    // A click on the track, off the thumb at 0..19, jumps there; heard on the release.
    mManager->MouseDown(150, 110, 1);
    EXPECT_EQ(slider->mValue, 0.25);
    EXPECT_EQ(mLog.Take(), "");
    mManager->MouseUp(150, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.25)");

    // The thumb now covers 45..64.
    mManager->MouseDown(150, 110, 1); // 5 pixels into the thumb
    EXPECT_EQ(mApp.mCursorNum, 2);
    const std::pair<int, const char*> rows[] = {{195, "SliderVal(1,0.5)"}, {195, ""},
                                                {500, "SliderVal(1,1)"},   {600, ""},
                                                {0, "SliderVal(1,0)"},     {-50, ""}};
    for (const auto& [x, heard] : rows)
    {
        mManager->MouseMove(x, 110);
        EXPECT_EQ(mLog.Take(), heard) << x;
    }
    mManager->MouseUp(-50, 110, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    EXPECT_EQ(mApp.mCursorNum, 0);

    // Vertically the grab offset is along y.
    slider->mHorizontal = false;
    slider->Resize(100, 100, 20, 200);
    mManager->MouseDown(110, 103, 1);
    mManager->MouseMove(110, 193);
    mManager->MouseUp(110, 193, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0.5) SliderVal(1,0.5)");

    // A thumb as long as the track cannot be dragged anywhere.
    Attached<Slider> full(mManager, &mTrack, &mThumb, 1, &mLog);
    full->Resize(0, 0, 20, 20);
    mManager->MouseDown(5, 5, 1);
    mManager->MouseMove(15, 5);
    mManager->MouseUp(15, 5, 1);
    EXPECT_EQ(mLog.Take(), "SliderVal(1,0)");
    // SetValue clamps and tells nobody.
    Slider plain(&mTrack, &mThumb, 1, &mLog);
    const double values[][2] = {{1.7, 1.0}, {-0.5, 0.0}, {0.3, 0.3}, {std::nan(""), 0.0}};
    for (const auto& row : values)
    {
        plain.SetValue(row[0]);
        EXPECT_EQ(plain.mValue, row[1]) << row[0];
    }
    EXPECT_EQ(mLog.Take(), "");
}

TEST_F(Controls, SliderDrawsCapsRepeatedMiddleAndThumb)
{
    RecordingImage thumb("thumb", 10, 10);
    Slider slider(&mTrack, &thumb, 1, &mLog);
    slider.Resize(0, 0, 55, 10);
    slider.SetValue(0.5);
    // Parts of 10 x 4 at y (10 - 4) / 2; the middle repeats over 10..44, the last copy
    // cut at 45; the thumb at 0.5 x (55 - 10).
    EXPECT_EQ(DrawCalls(&slider), "Blt(track,0,3,(0,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,10,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,20,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,30,3,(10,0,10,4),(255,255,255,255),0) "
                                  "Blt(track,40,3,(10,0,5,4),(255,255,255,255),0) "
                                  "Blt(track,45,3,(20,0,10,4),(255,255,255,255),0) "
                                  "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");

    // A track image narrower than 3 pixels has no parts to repeat.
    RecordingImage thin("thin", 2, 4);
    slider.mTrackImage = &thin;
    EXPECT_EQ(DrawCalls(&slider), "Blt(thumb,22,0,(0,0,10,10),(255,255,255,255),0)");
}

TEST_F(Controls, AListenerMayDeleteTheCheckboxOrSlider)
{
    auto box = [this]
    {
        auto* box = new Checkbox(nullptr, nullptr, 1, &mLog);
        box->Resize(0, 0, 20, 20);
        return box;
    };
    auto slider = [this]
    {
        auto* slider = new Slider(&mTrack, &mThumb, 1, &mLog);
        slider->Resize(0, 0, 200, 20);
        return slider;
    };
    auto down = [this](int x) { return [=](Widget*) { mManager->MouseDown(x, 5, 1); }; };
    auto up = [this](int x) { return [=](Widget*) { mManager->MouseUp(x, 5, 1); }; };
    auto move = [this](int x) { return [=](Widget*) { mManager->MouseMove(x, 5); }; };
    EXPECT_TRUE(DeletedByListener(mManager, box(), mLog, "", {down(5)}));
    EXPECT_TRUE(
        DeletedByListener(mManager, box(), mLog, "", {[](Checkbox* b) { b->SetChecked(true, true); }}));
    EXPECT_TRUE(DeletedByListener(mManager, slider(), mLog, "", {down(5), move(90)}));
    EXPECT_TRUE(DeletedByListener(mManager, slider(), mLog, "", {down(50), up(50)}));
}

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

TEST_F(Scrollbar, SettersClampAndTheListenerHearsAClampedValueTwice)
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
}

TEST_F(Scrollbar, ThumbSizeAndPosition)
{
    // Maximum, page, value; thumb size and position.
    const std::tuple<double, double, double, int, int> rows[] = {
        {100, 10, 0, 10, 16},  {100, 1, 0, 8, 16},   // at least 8
        {100, 10, 45, 10, 61}, {100, 1, 99, 8, 108}, // 99 x 92 / 99 + 16
        {10, 20, 0, 0, 16},                          // page past the maximum
        {50, 50, 0, 100, 16},  {0, 0, 0, 100, 16},   // nothing to scroll, a fresh bar too
    };
    for (const auto& [max, page, value, size, position] : rows)
    {
        mBar->SetMaxValue(max);
        mBar->SetPageSize(page);
        mBar->SetValue(value);
        EXPECT_EQ(mBar->GetThumbSize(), size) << max << " " << page;
        EXPECT_EQ(mBar->GetThumbPosition(), position) << max << " " << page;
    }
    ScrollbarWidget fresh(1, &mLog);
    fresh.ResizeScrollbar(0, 0, 16, 132);
    EXPECT_EQ(fresh.GetThumbPosition(), 16);
    EXPECT_EQ(fresh.GetThumbSize(), 100);
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

TEST_F(Scrollbar, DraggedThumbMapsPixelsToValues)
{
    const std::tuple<bool, int, const char*> rows[] = {
        {false, 65, "ScrollPosition(0,45)"},
        {false, 300, "ScrollPosition(0,90) ScrollPosition(0,90)"},
        {true, 65, "ScrollPosition(0,45)"},
    };
    for (const auto& [horizontal, to, heard] : rows)
    {
        mBar->SetHorizontal(horizontal);
        mBar->ResizeScrollbar(0, 0, horizontal ? 132 : 16, horizontal ? 16 : 132);
        mBar->SetValue(0);
        mLog.Take();
        // 4 pixels into the thumb at 16..25 (along the bar), then moved by to - 20.
        mManager->MouseDown(horizontal ? 20 : 8, horizontal ? 8 : 20, 1);
        mManager->MouseMove(horizontal ? to : 8, horizontal ? 8 : to);
        mManager->MouseUp(0, 0, 1);
        EXPECT_EQ(mLog.Take(), heard) << horizontal << to;
    }
}

TEST_F(Scrollbar, AThumbFillingItsTrackKeepsAFiniteValueAndABarWithNothingToScrollHides)
{
    // A track of 8 holds only the minimum thumb: no free track to map a drag onto.
    mBar->ResizeScrollbar(0, 0, 16, 40);
    mManager->MouseDown(8, 20, 1);
    mManager->MouseMove(8, 20);
    mManager->MouseMove(8, 30);
    mManager->MouseUp(8, 30, 1);
    EXPECT_EQ(mLog.Take(), "ScrollPosition(0,0) ScrollPosition(0,0)");

    // Hidden while nothing scrolls.
    mBar->SetPageSize(200);
    mBar->SetInvisIfNoScroll(true);
    EXPECT_FALSE(mBar->mVisible || mBar->mUpButton->mVisible || mBar->mDownButton->mVisible);
    mBar->SetMaxValue(300);
    EXPECT_TRUE(mBar->mVisible && mBar->mUpButton->mVisible && mBar->mDownButton->mVisible);
}

TEST_F(Scrollbar, AListenerMayDeleteTheBar)
{
    auto bar = [this]
    {
        auto* bar = new ScrollbarWidget(1, &mLog);
        bar->ResizeScrollbar(0, 0, 16, 132);
        bar->SetMaxValue(100);
        bar->SetPageSize(10);
        return bar;
    };
    using Steps = std::vector<std::function<void(ScrollbarWidget*)>>;
    auto press = [this](int y) { return [=](ScrollbarWidget*) { mManager->MouseDown(8, y, 1); }; };
    const Steps rows[] = {
        {[](ScrollbarWidget* b) { b->SetValue(500); }}, // the first of two calls
        {press(124)},                                   // arrow
        {[](ScrollbarWidget* b) { b->mArrowTicks = 24, b->ButtonDownTick(1); }},
        {press(100)}, // track
        {press(20), [this](ScrollbarWidget*) { mManager->MouseMove(8, 40); }},
        {[](ScrollbarWidget* b)
         { b->mPagingDir = 2, b->mLastMouseY = 100, b->mPagingTicks = 24, b->Update(); }},
    };
    for (const auto& steps : rows)
    {
        mLog.Take();
        EXPECT_TRUE(DeletedByListener<ScrollbarWidget>(mManager, bar(), mLog, "", steps))
            << &steps - &rows[0];
        mManager->MouseUp(0, 0, 1);
    }
}

} // namespace
