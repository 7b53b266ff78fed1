// Buttons: press, drag out and release through the widget manager, held ticks, sounds,
// hover fades, the drawn bevel and the image looks, label positions. Check box and
// slider: toggling and notifying, track clicks reported on release, dragging with the
// grab offset, clamping, the track drawing, the divisions a short track or a long thumb
// would make. Scroll bar: clamping heard twice, arrow and track repeats by update count,
// thumb sizes and positions, drag mapping, the fresh bar and a thumb filling its track,
// hiding. List: sorted insertion, columns padded with "-", the hilite from y, page sizes
// (a font of height 0 too), sort keys and the stable sort (the order the old exchange
// sort gave, in linearithmic time), the wheel, clicks only on lines that exist, the
// drawn lines. Listeners that delete any of them. The edit field:
// keys as SDL sends them, undo, clipboard, limits, scrolling, mouse selection, password
// display, drawing and the caret blink; its states are written as the text with '|' at
// the caret and '^' at the selection anchor.
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonWidget.h"
#include "widgets/Checkbox.h"
#include "widgets/DialogButton.h"
#include "widgets/EditListener.h"
#include "widgets/EditWidget.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/ScrollbuttonWidget.h"
#include "widgets/Slider.h"
#include "widgets/support/ClipboardPlatform.h"
#include "widgets/support/ControlTestSupport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <strings.h>
#include <tuple>
#include <utility>

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

TEST_F(Buttons, DrawnBevelAndLabelAndImageLooksByState)
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

    // With images, the look of each state.
    RecordingImage normal("normal", 40, 20), over("over", 40, 20), down("down", 40, 20), off("off", 40, 20);
    RecordingImage sheet("sheet", 120, 20);
    auto blt = [](const char* image, const char* at, const char* rect, const char* alpha = "255")
    { return std::string("Blt(") + image + "," + at + ",(" + rect + "),(255,255,255," + alpha + "),0)"; };
    // State: r rest, o over, p pressed, P pressed without a down image, d disabled, D disabled
    // without a disabled look, h hover half faded, s hovered with rects (always cut from
    // mButtonImage).
    const std::pair<char, std::string> looks[] = {
        {'r', blt("normal", "0,0", "0,0,40,20")},
        {'o', blt("over", "0,0", "0,0,40,20")},
        {'p', blt("down", "0,0", "0,0,40,20")},
        {'P', blt("over", "1,1", "0,0,40,20")},
        {'d', blt("off", "0,0", "0,0,40,20")},
        {'D', blt("normal", "0,0", "0,0,40,20")},
        {'h', blt("normal", "0,0", "0,0,40,20") + " " + blt("over", "0,0", "0,0,40,20", "127")},
        {'s', blt("sheet", "0,0", "40,0,40,20")},
    };
    for (const auto& [state, calls] : looks)
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

TEST_F(Buttons, ScrollArrowsPointByIdTypeAndOrientation)
{
    // Id, arrow type, horizontal, pressed, disabled, colour; on 16 x 16 the last four fills
    // are spans of 1, 3, 5 and 7 pixels from the tip.
    const std::tuple<int, int, bool, bool, bool, const char*, std::array<std::array<int, 4>, 4>> rows[] = {
        {0, 0, false, false, false, "0,0,0", {{{7, 6, 1, 1}, {6, 7, 3, 1}, {5, 8, 5, 1}, {4, 9, 7, 1}}}},
        {1, 0, false, false, false, "0,0,0", {{{7, 9, 1, 1}, {6, 8, 3, 1}, {5, 7, 5, 1}, {4, 6, 7, 1}}}},
        {1, 0, false, true, false, "0,0,0", {{{8, 10, 1, 1}, {7, 9, 3, 1}, {6, 8, 5, 1}, {5, 7, 7, 1}}}},
        {0, 0, true, false, true, "132,132,132", {{{6, 7, 1, 1}, {7, 6, 1, 3}, {8, 5, 1, 5}, {9, 4, 1, 7}}}},
        {1, 4, false, false, false, "0,0,0", {{{9, 7, 1, 1}, {8, 6, 1, 3}, {7, 5, 1, 5}, {6, 4, 1, 7}}}},
        {1, 1, false, false, false, "0,0,0", {{{7, 6, 1, 1}, {6, 7, 3, 1}, {5, 8, 5, 1}, {4, 9, 7, 1}}}},
    };
    for (const auto& [id, type, horizontal, pressed, disabled, rgb, spans] : rows)
    {
        ScrollbuttonWidget button(id, &mLog, type);
        button.Resize(0, 0, 16, 16);
        button.mHorizontal = horizontal;
        button.mIsDown = button.mIsOver = pressed;
        button.mDisabled = disabled;
        std::vector<std::string> fills;
        for (const auto& [x, y, w, h] : spans)
            fills.push_back(Fill(x, y, w, h, rgb));
        const std::string calls = DrawCalls(&button), expected = Join(fills);
        EXPECT_EQ(calls.substr(calls.size() - std::min(calls.size(), expected.size())), expected)
            << id << type << horizontal << pressed;
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

TEST_F(Controls, CheckboxLooks)
{
    RecordingImage on("on", 10, 10), off("off", 10, 10), sheet("sheet", 10, 20);
    // Unchecked and checked images, rectangles on a sheet, checked; what is drawn.
    const std::tuple<Image*, Image*, bool, bool, const char*> rows[] = {
        {&off, &on, false, true, "Blt(on,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&off, &on, false, false, "Blt(off,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&off, nullptr, false, true, ""},
        {&sheet, nullptr, true, true, "Blt(sheet,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {&sheet, nullptr, true, false, "Blt(sheet,0,0,(0,10,10,10),(255,255,255,255),0)"},
        {nullptr, &on, true, true, ""},
        {nullptr, nullptr, false, false,
         "FillRect((0,0,10,10),(255,255,255,255),0) FillRect((1,1,8,8),(80,80,80,255),0)"},
        {nullptr, nullptr, true, true,
         "FillRect((0,0,10,10),(255,255,255,255),0) FillRect((1,1,8,8),(80,80,80,255),0) "
         "DrawLine(1,1,8,8,(255,255,0,255),0) DrawLine(9,1,1,8,(255,255,0,255),0)"},
    };
    for (const auto& [unchecked, checked, rects, isChecked, calls] : rows)
    {
        Checkbox box(unchecked, checked, 1, nullptr);
        box.Resize(0, 0, 10, 10);
        if (rects)
        {
            box.mCheckedRect = TRect<int>(0, 0, 10, 10);
            box.mUncheckedRect = TRect<int>(0, 10, 10, 10);
        }
        box.SetChecked(isChecked, false);
        EXPECT_EQ(DrawCalls(&box), calls) << (unchecked != nullptr) << (checked != nullptr) << rects;
    }
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

TEST_F(Controls, AListenerMayDeleteItsControl)
{
    // Buttons; the held tick is asked for directly, as the manager's update walk would.
    const std::vector<std::function<void(Widget*)>> buttonSteps = {
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
        EXPECT_TRUE(DeletedByListener(mManager, button, mLog, link ? kill.substr(5) : kill, buttonSteps))
            << killOn;
        mManager->MouseMove(500, 500);
    }
    // Enabled under the resting mouse: entered by the enabling's own hover check.
    auto* enabled = new ButtonWidget(1, &mLog);
    enabled->Resize(0, 0, 40, 20);
    enabled->SetDisabled(true);
    EXPECT_TRUE(DeletedByListener<ButtonWidget>(mManager, enabled, mLog, "ButtonMouseEnter",
                                                {[&](ButtonWidget*) { mManager->MouseMove(10, 10); },
                                                 [](ButtonWidget* b) { b->SetDisabled(false); }}));
    mManager->MouseMove(500, 500);
    // Disabled while hovered: left by the disabling.
    auto* disabled = new ButtonWidget(1, &mLog);
    disabled->Resize(0, 0, 40, 20);
    EXPECT_TRUE(DeletedByListener<ButtonWidget>(mManager, disabled, mLog, "ButtonMouseLeave",
                                                {[&](ButtonWidget*) { mManager->MouseMove(10, 10); },
                                                 [](ButtonWidget* b) { b->SetDisabled(true); }}));
    mManager->MouseMove(500, 500);

    // Check boxes and sliders.
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

    // Lists, with the mouse resting off them.
    mManager->MouseMove(500, 500);
    FixedFont font(6, 8, 20);
    for (const char* killOn : {"ListHiliteChanged", "ListClicked"})
    {
        auto* list = new ListWidget(1, &font, &mLog);
        list->Resize(0, 0, 100, 300);
        list->AddLine("a", false);
        EXPECT_TRUE(DeletedByListener(mManager, list, mLog, killOn,
                                      {[&](Widget*) { mManager->MouseMove(50, 10); },
                                       [&](Widget*) { mManager->MouseDown(50, 10, 1); }}))
            << killOn;
        mManager->MouseUp(50, 10, 1);
        mManager->MouseMove(500, 500);
    }
    // Grown under the resting mouse: the hilite set by the resize's own hover check.
    auto* grown = new ListWidget(1, &font, &mLog);
    grown->Resize(0, 0, 10, 10);
    grown->AddLine("a", false);
    EXPECT_TRUE(DeletedByListener<ListWidget>(mManager, grown, mLog, "ListHiliteChanged",
                                              {[&](ListWidget*) { mManager->MouseMove(50, 10); },
                                               [](ListWidget* list) { list->Resize(0, 0, 100, 300); }}));
    mManager->MouseMove(500, 500);

    // Scroll bars.
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

class ScriptListener : public EditListener
{
public:
    // "K<key>" per AllowKey, "t:<text>" per AllowText, "r:<text>" per return.
    std::string mLog;
    // Refused once.
    std::string mRefusedText = "-";

    bool AllowKey(int, KeyCode key) override { return Log("K" + std::to_string(int(key))); }
    bool AllowText(int, const VaxoString& text) override
    {
        Log("t:" + text);
        const bool refused = text == mRefusedText;
        if (refused)
            mRefusedText = "-";
        return !refused;
    }
    void EditWidgetText(int, const VaxoString& text) override { Log("r:" + text); }

private:
    bool Log(const std::string& entry)
    {
        mLog += entry + " ";
        return true;
    }
};

// An edit field at (10, 10, 108, 20) in an application with a clipboard, focused, with
// a 6-pixel fixed font.
struct Field
{
    AppTestEnv mAppEnv;
    ClipboardPlatform* mClipboard = nullptr;
    std::unique_ptr<RecordingApp> mApp = MakeClipboardApp(mAppEnv, &mClipboard);
    WidgetTestEnv mEnv{mApp.get()};
    WidgetManager* mManager = mEnv.mManager;
    ScriptListener mListener;
    EditWidget mEdit{7, &mListener};

    explicit Field(int charWidth = 6, int width = 108)
    {
        FixedFont font(charWidth);
        mEdit.SetFont(&font);
        mEdit.Resize(10, 10, width, 20);
        mManager->AddWidget(&mEdit);
        mManager->SetFocus(&mEdit);
    }
    ~Field() { mManager->RemoveWidget(&mEdit); }

    void Set(const std::string& state)
    {
        mEdit.mString.clear();
        mEdit.mHilitePos = -1;
        for (char c : state)
        {
            if (c == '|')
                mEdit.mCursorPos = int(mEdit.mString.size());
            else if (c == '^')
                mEdit.mHilitePos = int(mEdit.mString.size());
            else
                mEdit.mString += c;
        }
    }
    std::string State() const
    {
        std::string s;
        for (int i = 0; i <= int(mEdit.mString.size()); ++i)
            s += std::string(i == mEdit.mHilitePos ? "^" : "") + (i == mEdit.mCursorPos ? "|" : "") +
                 (i < int(mEdit.mString.size()) ? mEdit.mString.substr(i, 1) : "");
        return s;
    }
    void Press(int key, char c)
    {
        if (key != 0)
            mManager->KeyDown(KeyCode(key));
        if (c != 0)
            mManager->KeyChar(c);
        if (key != 0)
            mManager->KeyUp(KeyCode(key));
    }
    // What SDL sends: a letter as its key and its character (a control code while
    // control is held), other characters alone; [S] and [C] press or release shift and
    // control; named keys with the character SDL adds to some of them.
    void Play(const std::string& script)
    {
        static const std::map<std::string, std::pair<int, char>> keys = {
            {"L", {37, 0}}, {"R", {39, 0}},     {"HOME", {36, 0}}, {"END", {35, 0}},
            {"BS", {8, 8}}, {"DEL", {46, 127}}, {"RET", {13, 13}}, {"TAB", {9, 9}}};
        for (size_t i = 0; i < script.size(); ++i)
        {
            const char c = script[i];
            if (c != '[')
            {
                const int key = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ? c & ~0x20 : 0;
                Press(key, mManager->mKeyDown[17] && key != 0 ? char(key & 0x1F) : c);
                continue;
            }
            const size_t end = script.find(']', i);
            const std::string name = script.substr(i + 1, end - i - 1);
            i = end;
            if (name == "S" || name == "C")
            {
                const KeyCode key = name == "S" ? KEYCODE_SHIFT : KEYCODE_CONTROL;
                mManager->mKeyDown[key] ? mManager->KeyUp(key) : mManager->KeyDown(key);
            }
            else
                Press(keys.at(name).first, keys.at(name).second);
        }
    }
};

TEST(EditWidget, KeysAsSdlSendsThem)
{
    // Start, script, state after, clipboard before and after.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"^abc|", "x", "x|", "", ""},
        {"|", "ab[C]z", "|", "", ""},
        {"|", "ab[C]zz", "ab|", "", ""},
        {"|", "abc[BS][BS][C]z", "|", "", ""},
        {"|", "abc[L][L]x[C]z", "a|bc", "", ""},
        {"|", "ab[HOME][BS][C]z", "|", "", ""},
        {"|hello", "[BS]", "|hello", "", ""},
        {"abc|", "[BS]", "ab|", "", ""},
        {"ab|cd", "[DEL]", "ab|d", "", ""},
        {"ab|", "[DEL]", "ab|", "", ""},
        {"a^bc|d", "[DEL]", "a|d", "", ""},
        {"a|bc^d", "[BS]", "a|d", "", ""}, // the anchor after the caret
        {"a^bc|d", "x", "ax|d", "", ""},
        {"ab|", "[TAB][RET]", "ab|", "", ""},
        {"ab|", "[S]X[S]", "abX|", "", ""},
        {"hello|", "[S][L][L]", "hel|lo^", "", ""},
        {"hello|", "[S][L][L][S][L]", "hel|lo", "", ""},
        {"a|bc^d", "[R]", "abc|d", "", ""},
        {"a|bc", "[S][END]", "a^bc|", "", ""},
        {"ab|c", "[HOME]", "|abc", "", ""},
        {"abc def|", "[C][L]", "abc |def", "", ""},
        {"|abc def", "[C][R]", "abc |def", "", ""},
        {"abc def|", "[C][S][L]", "abc |def^", "", ""},
        {"a^bc|de", "[C]c", "a^bc|de", "", "bc"},
        {"ab|", "[C]c", "ab|", "zz", "zz"},
        {"a^bc|de", "[C]x", "a|de", "", "bc"},
        {"a^bc|de", "[C]xz", "a^bc|de", "", "bc"}, // a cut is undone with its selection
        {"|", "[C]v", "ab|", "ab\ncd", "ab\ncd"},
        {"|", "[C]v", "abc|",
         "a\tb\x01"
         "c\x7f",
         "a\tb\x01"
         "c\x7f"},
        {"1^23|4", "[C]v", "1xy|4", "xy", "xy"},
        {"1^23|4", "[C]vz", "1^23|4", "xy", "xy"},
        {"a|", "\xe9", "a\xe9|", "", ""},
    };
    for (const auto& [start, script, expected, clipBefore, clipAfter] : cases)
    {
        Field f;
        f.Set(start);
        f.mClipboard->mClipboard = clipBefore;
        f.Play(script);
        EXPECT_EQ(f.State(), expected) << start << " " << script;
        EXPECT_EQ(f.mClipboard->mClipboard, clipAfter) << start << " " << script;
    }
    Field f;
    f.mApp->mAllowExtendedChars = false;
    f.Play("\xe9\x7e");
    EXPECT_EQ(f.State(), "~|");
}

TEST(EditWidget, LimitsAndListener)
{
    // Limits in characters and pixels, a width-check font's character width and limit, the
    // text refused once; start, script, state after, what the listener heard.
    const std::tuple<int, int, int, int, const char*, const char*, const char*, const char*, const char*>
        cases[] = {
            {3, -1, 0, 0, "-", "abc|", "d", "abc|", "t:abc "},
            {-5, -1, 0, 0, "-", "ab|", "c", "abc|", "t:abc "}, // any negative limit is none
            {3, -1, 0, 0, "-", "abcdef|", "[S][HOME]", "|abc^", "K16 K36 t:abc "},
            {-1, 20, 0, 0, "-", "ab|", "cd", "abc|", "t:abc t:abc "},
            {-1, -1, 10, 25, "-", "|", "abc", "ab|", "t:a t:ab t:ab "},
            {-1, 13, 10, 0, "-", "|", "ab", "a|", "t:a t:a "},
            {-1, -1, 0, 0, "ab", "abc|", "[BS]", "abc|", "K8 t:ab t:abc "},
            {-1, -1, 0, 0, "", "|", "ab[C]zz", "|", "t:a t:ab K17 K90 t:ab t: K90 t:ab t: "},
            {-1, -1, 0, 0, "-", "ab|", "[C]c", "ab|", "K17 t:ab "},
            {-1, -1, 0, 0, "-", "ab|", "[RET]", "ab|", "K13 t:ab r:ab t:ab "},
        };
    for (const auto& [maxChars, maxPixels, checkWidth, checkLimit, refused, start, script, expected, log] :
         cases)
    {
        Field f;
        f.mEdit.mMaxChars = maxChars;
        f.mEdit.mMaxPixels = maxPixels;
        if (checkWidth > 0)
        {
            FixedFont check(checkWidth);
            f.mEdit.AddWidthCheckFont(&check, checkLimit);
        }
        f.mListener.mRefusedText = refused;
        f.Set(start);
        f.Play(script);
        EXPECT_EQ(f.State(), expected) << start << " " << script;
        EXPECT_EQ(f.mListener.mLog, log) << start << " " << script;
    }

    // The fonts set again from the field's own: the check font still limits the text.
    Field f;
    f.mEdit.mMaxPixels = 25;
    FixedFont check(10);
    f.mEdit.SetFont(f.mEdit.mFont.get(), &check);
    f.mEdit.SetFont(f.mEdit.mFont.get(), f.mEdit.mWidthChecks.front().mCheckFont.get());
    f.Play("abc");
    EXPECT_EQ(f.State(), "ab|");
}

TEST(EditWidget, InputThatDoesNotFitIsDroppedNotTheTextAfterTheCaret)
{
    // Character and pixel limits (6-pixel characters), clipboard, start, script, state
    // after, state after an undo.
    const std::tuple<int, int, const char*, const char*, const char*, const char*, const char*> cases[] = {
        {5, -1, "", "ab|cd", "xy", "abx|cd", "ab|cd"},
        {-1, 30, "", "ab|cd", "xy", "abx|cd", "ab|cd"},
        {5, -1, "xyz", "ab|cd", "[C]v[C]", "abx|cd", "ab|cd"},
        {5, -1, "xyz", "a^bc|de", "[C]v[C]", "axy|de", "a^bc|de"},
        {-1, 30, "xyz", "|abc", "[C]v[C]", "xy|abc", "|abc"},
        {5, -1, "", "abcd|", "xy", "abcdx|", "abcd|"},
        // A character dropped whole is no undo step.
        {5, -1, "", "abc|de", "[BS]x[L]y", "ab|xde", "abc|de"},
    };
    for (const auto& [maxChars, maxPixels, clip, start, script, expected, undone] : cases)
    {
        Field f;
        f.mEdit.mMaxChars = maxChars;
        f.mEdit.mMaxPixels = maxPixels;
        f.mClipboard->mClipboard = clip;
        f.Set(start);
        f.Play(script);
        EXPECT_EQ(f.State(), expected) << start << " " << script;
        f.Play("[C]z[C]");
        EXPECT_EQ(f.State(), undone) << start << " " << script;
    }
}

TEST(EditWidget, ScrollsToKeepTheCaretInView)
{
    // Character and field widths (usable: the field's less 8 pixels), script, first
    // character shown.
    const std::tuple<int, int, const char*, int> cases[] = {
        {6, 108, "abcdefghijklmnopqrst", 4},
        {6, 108, "abcdefghijklmnopqrst[HOME]", 0},
        {6, 108, "abcdefghijklmnopqrst[HOME][END]", 10},
        {30, 20, "ab", 1},
        {6, 28, "abcdefghijklmnopqrst[HOME][R][R][R][R]", 4},
    };
    for (const auto& [charWidth, width, script, leftPos] : cases)
    {
        Field f(charWidth, width);
        f.Play(script);
        EXPECT_EQ(f.mEdit.mLeftPos, leftPos) << script;
    }
}

TEST(EditWidget, MouseSelects)
{
    // Tokens: d/u press and release, D/U the same as a double click, m a move; then the
    // x in the field (a caret goes after a character once x reaches its middle + 5). The
    // password character, the events, the state after.
    const std::tuple<char, const char*, const char*> cases[] = {
        {0, "d20 u20", "hel|lo world"},          {0, "d0 u0", "|hello world"},
        {0, "d20 u20 D20 U20", "^hello| world"}, {0, "d33 u33 D33 U33", "^hello world|"},
        {0, "d8 m26 u26", "h^ell|o world"},      {'*', "d20 u20 D20 U20", "hel^l|o world"},
    };
    for (const auto& [password, script, expected] : cases)
    {
        Field f;
        f.mEdit.mPasswordChar = password;
        f.Set("hello world|");
        std::istringstream events(script);
        std::string token;
        while (events >> token)
        {
            const int x = 10 + std::stoi(token.substr(1)), y = 15;
            const char kind = token[0];
            if (kind == 'm')
                f.mManager->MouseMove(x, y);
            else if (kind == 'd' || kind == 'D')
                f.mManager->MouseDown(x, y, kind == 'D' ? 2 : 1);
            else
                f.mManager->MouseUp(x, y, kind == 'U' ? 2 : 1);
        }
        EXPECT_EQ(f.State(), expected) << script;
    }

    // Scrolled to show "efgh...": a drag from x 70 to the left edge selects back to the
    // start of the text and scrolls it into view.
    Field f;
    f.Play("abcdefghijklmnopqrst");
    ASSERT_EQ(f.mEdit.mLeftPos, 4);
    f.mManager->MouseDown(80, 15, 1);
    f.mManager->MouseMove(10, 15);
    f.mManager->MouseUp(10, 15, 1);
    EXPECT_EQ(f.State(), "|abcdefghijklmno^pqrst");
    EXPECT_EQ(f.mEdit.mLeftPos, 0);
}

TEST(EditWidget, DrawsTextSelectionAndBlinkingCaret)
{
    Field f;
    f.Set("ab|");
    f.mEdit.mPasswordChar = '*';
    FixedFont* font = static_cast<FixedFont*>(f.mEdit.mFont.get());
    f.mManager->DrawScreen();
    EXPECT_EQ(f.mEdit.GetDisplayString(), "**");
    f.mEdit.mPasswordChar = '#';
    EXPECT_EQ(f.mEdit.GetDisplayString(), "##");
    f.mEdit.mPasswordChar = '*';
    EXPECT_EQ(font->TakeCalls(), (std::vector<std::string>{"DrawString(4,12,\"**\",(0,0,0,255))",
                                                           "DrawString(4,12,\"**\",(255,255,255,255))"}));
    // The caret: a 2-pixel bar at text x 12, rows 4 to 15 of the field.
    EXPECT_EQ(f.mEnv.Pixel(26, 14), 0xFF000000u);
    EXPECT_EQ(f.mEnv.Pixel(27, 25), 0xFF000000u);
    EXPECT_EQ(f.mEnv.Pixel(28, 14), 0xFFFFFFFFu);
    EXPECT_EQ(f.mEnv.Pixel(26, 13), 0xFFFFFFFFu);

    // A phase lasts 41 updates; the hidden phase draws no bar.
    for (int i = 0; i < 40; ++i)
        f.mManager->UpdateFrame();
    EXPECT_TRUE(f.mEdit.mCaretShown);
    f.mManager->UpdateFrame();
    EXPECT_FALSE(f.mEdit.mCaretShown);
    f.mManager->DrawScreen();
    EXPECT_EQ(f.mEnv.Pixel(26, 14), 0xFFFFFFFFu);

    // A selection is filled; copying it from a password field leaves the clipboard alone.
    f.Set("^ab|");
    f.mClipboard->mClipboard = "old";
    f.Play("[C]c");
    f.mManager->DrawScreen();
    EXPECT_EQ(f.mEnv.Pixel(14, 14), 0xFF000000u);
    EXPECT_EQ(f.mEnv.Pixel(27, 14), 0xFF000000u);
    EXPECT_EQ(f.mEnv.Pixel(28, 14), 0xFFFFFFFFu);
    EXPECT_EQ(f.mClipboard->mClipboard, "old");
}

TEST(EditWidget, WorksWithoutAFontAndTheReturnListenerMayDeleteIt)
{
    struct Closer : EditListener
    {
        EditWidget* mEdit = nullptr;
        void EditWidgetText(int, const VaxoString&) override
        {
            mEdit->mParent->RemoveWidget(mEdit);
            delete mEdit;
            mEdit = nullptr;
        }
    };
    WidgetTestEnv env;
    Closer closer;
    closer.mEdit = new EditWidget(1, &closer);
    closer.mEdit->Resize(0, 0, 50, 20);
    env.mManager->AddWidget(closer.mEdit);
    env.mManager->SetFocus(closer.mEdit);
    env.mManager->KeyChar('a');
    env.mManager->MouseDown(30, 5, 2);
    env.mManager->MouseUp(30, 5, 2);
    env.mManager->DrawScreen();
    // The system font measures every character 0 wide, so nothing can be typed.
    EXPECT_TRUE(closer.mEdit->mFont != nullptr);
    EXPECT_EQ(closer.mEdit->mString, "");
    env.mManager->KeyDown(KEYCODE_RETURN);
    EXPECT_EQ(closer.mEdit, nullptr);
}

} // namespace
