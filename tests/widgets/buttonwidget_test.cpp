// Buttons: press, drag out and release through the widget manager, held ticks, sounds,
// hover fades, the drawn bevel and the image looks, the label positions of the push,
// dialog and link buttons, and the scroll arrows.
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonWidget.h"
#include "widgets/DialogButton.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ScrollbuttonWidget.h"
#include "widgets/support/ControlTestSupport.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
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

} // namespace
