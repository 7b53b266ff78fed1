// Buttons: press, drag out and release through the widget manager, held ticks, sounds,
// hover fades, the drawn bevel and the image looks, label positions, the dialog button's
// box, the hyperlink, the scroll arrows, and listeners that delete their button.
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonWidget.h"
#include "widgets/DialogButton.h"
#include "widgets/HyperlinkWidget.h"
#include "widgets/ScrollbuttonWidget.h"
#include "widgets/support/ControlTestSupport.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using namespace Vaxo;

namespace
{

class Buttons : public ::testing::Test
{
protected:
    AppTestEnv mAppEnv;
    ControlTestApp mApp;
    WidgetTestEnv mEnv{&mApp};
    WidgetManager* mManager = mEnv.mManager;
    ListenerLog mLog;
};

// "FillRect((x,y,w,h),(r,g,b,255),0)".
std::string Fill(int x, int y, int w, int h, const char* rgb)
{
    std::ostringstream text;
    text << "FillRect((" << x << "," << y << "," << w << "," << h << "),(" << rgb << ",255),0)";
    return text.str();
}

std::string Words(std::initializer_list<std::string> words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

// The last n words of a call list.
std::string Last(const std::string& calls, size_t n)
{
    std::istringstream in(calls);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    std::string text;
    for (size_t i = words.size() > n ? words.size() - n : 0; i < words.size(); ++i)
        text += (text.empty() ? "" : " ") + words[i];
    return text;
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
    EXPECT_TRUE(button->IsButtonDown());

    mManager->MouseMove(300, 300);
    mManager->UpdateFrame();
    mManager->MouseMove(110, 105);
    mManager->UpdateFrame();
    mManager->MouseMove(300, 300);
    mManager->MouseUp(300, 300, 1);
    EXPECT_EQ(mLog.Take(), "ButtonMouseLeave(7) ButtonMouseEnter(7) ButtonDownTick(7) ButtonMouseLeave(7)");

    // Every button presses with a positive count; the release over it answers.
    mManager->MouseMove(110, 105);
    mManager->MouseDown(110, 105, -2);
    mManager->MouseUp(110, 105, -2);
    mManager->MouseDown(110, 105, 3);
    mManager->MouseUp(110, 105, 3);
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
    struct Row
    {
        double fadeIn, fadeOut;
        const char* steps; // e enter, l leave, u update
        const char* alphas;
    };
    const Row rows[] = {
        {0.25, 0.0, "euuuuul", "0 0.25 0.5 0.75 1 1 0"},
        {0.0, 0.25, "eluuuuu", "0 1 0.75 0.5 0.25 0 0"}, // leaving starts from full
        {0.25, 0.25, "euulu", "0 0.25 0.5 0.5 0.25"},
    };
    for (const Row& row : rows)
    {
        ButtonWidget button(1, &mLog);
        button.mHoverFadeInSpeed = row.fadeIn;
        button.mHoverFadeOutSpeed = row.fadeOut;
        std::string alphas;
        for (const char* step = row.steps; *step != 0; ++step)
        {
            if (*step == 'u')
                button.Update();
            else
            {
                button.mIsOver = *step == 'e';
                if (button.mIsOver)
                    button.MouseEnter();
                else
                    button.MouseLeave();
            }
            char buf[16];
            std::snprintf(buf, sizeof(buf), "%g", button.mHoverAlpha);
            alphas += (alphas.empty() ? "" : " ") + std::string(buf);
        }
        EXPECT_EQ(alphas, row.alphas) << row.steps;
    }
}

TEST_F(Buttons, DrawnBevelAndLabel)
{
    const std::string rest =
        Words({Fill(0, 0, 40, 20, "212,212,212"), Fill(0, 0, 39, 1, "255,255,255"),
               Fill(0, 0, 1, 19, "255,255,255"), Fill(0, 19, 40, 1, "0,0,0"), Fill(39, 0, 1, 20, "0,0,0"),
               Fill(1, 18, 38, 1, "132,132,132"), Fill(38, 1, 1, 18, "132,132,132")});
    const std::string pressed =
        Words({Fill(0, 0, 40, 20, "212,212,212"), Fill(0, 0, 39, 1, "0,0,0"), Fill(0, 0, 1, 19, "0,0,0"),
               Fill(0, 19, 40, 1, "255,255,255"), Fill(39, 0, 1, 20, "255,255,255"),
               Fill(1, 1, 37, 1, "132,132,132"), Fill(1, 1, 1, 17, "132,132,132")});
    struct Row
    {
        bool down, inverted, noFrame;
        std::string calls;
        const char* label;
    };
    // Label "Go" in a 6-pixel font of ascent 8: x (40 - 12) / 2, y (20 + 8 - 1 - 1) / 2.
    const Row rows[] = {
        {false, false, false, rest, "DrawString(14,13,\"Go\",(0,0,0,255))"},
        {true, false, false, pressed, "DrawString(15,14,\"Go\",(0,0,0,255))"},
        {false, true, false, pressed, "DrawString(15,14,\"Go\",(0,0,0,255))"},
        {true, true, false, rest, "DrawString(14,13,\"Go\",(0,0,0,255))"},
        {false, false, true, "", "DrawString(14,13,\"Go\",(0,0,0,255))"},
    };
    FixedFont font(6);
    for (const Row& row : rows)
    {
        ButtonWidget button(1, &mLog);
        button.Resize(0, 0, 40, 20);
        button.mLabel = "Go";
        button.SetFont(&font);
        button.mIsDown = button.mIsOver = row.down;
        button.mInverted = row.inverted;
        button.mNoFrame = row.noFrame;
        button.SetColor(1, Color::Black);
        EXPECT_EQ(DrawCalls(&button), row.calls) << row.down << row.inverted << row.noFrame;
        auto* copy = static_cast<FixedFont*>(button.mFont.get());
        EXPECT_EQ(Words({copy->TakeCalls()[0]}), row.label);
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
    auto blt = [](const char* image, int at, const char* rect, const char* rgba = "255,255,255,255")
    {
        return std::string("Blt(") + image + "," + std::to_string(at) + "," + std::to_string(at) + ",(" +
               rect + "),(" + rgba + "),0)";
    };
    struct Row
    {
        const char* state; // r rest, o over, p pressed, d disabled, h half hover, s sheet hovered
        bool noDownImage, noDisabledImage;
        std::string calls;
    };
    const Row rows[] = {
        {"r", false, false, blt("normal", 0, "0,0,40,20")},
        {"o", false, false, blt("over", 0, "0,0,40,20")},
        {"p", false, false, blt("down", 0, "0,0,40,20")},
        {"p", true, false, blt("over", 1, "0,0,40,20")},
        {"d", false, false, blt("off", 0, "0,0,40,20")},
        {"d", false, true, blt("normal", 0, "0,0,40,20")},
        {"h", false, false,
         blt("normal", 0, "0,0,40,20") + " " + blt("over", 0, "0,0,40,20", "255,255,255,127")},
        {"s", false, false, blt("sheet", 0, "40,0,40,20")},
    };
    for (const Row& row : rows)
    {
        const std::string state = row.state;
        ButtonWidget button(1, &mLog);
        button.Resize(0, 0, 40, 20);
        button.mButtonImage = &normal;
        button.mOverImage = &over;
        button.mDownImage = row.noDownImage ? nullptr : &down;
        button.mDisabledImage = row.noDisabledImage ? nullptr : &off;
        button.mIsOver = state == "o" || state == "p" || state == "s";
        button.mIsDown = state == "p";
        button.mDisabled = state == "d";
        button.mHoverAlpha = state == "h" ? 0.5 : 0.0;
        if (state == "s")
        {
            // Set rects always cut from mButtonImage.
            button.mButtonImage = &sheet;
            button.mNormalRect = TRect<int>(0, 0, 40, 20);
            button.mOverRect = TRect<int>(40, 0, 40, 20);
        }
        EXPECT_EQ(DrawCalls(&button), row.calls) << row.state << row.noDownImage << row.noDisabledImage;
    }
}

TEST_F(Buttons, LabelPositionsOfTheButtonKinds)
{
    FixedFont font(6);              // ascent 8, height 12
    FixedFont padded(6, 12, 16, 2); // ascent 12, padding 2
    ButtonWidget left(1, &mLog), right(1, &mLog), centred(1, &mLog);
    DialogButton dialogButton(nullptr, 1, &mLog);
    RecordingImage box("box", 30, 30);
    DialogButton boxButton(&box, 1, &mLog);
    HyperlinkWidget link(1, &mLog);
    struct Row
    {
        ButtonWidget* button;
        Font* font;
        int justify;
        bool down;
        const char* label;
    };
    const Row rows[] = {
        {&centred, &font, 0, false, "DrawString(14,13,\"Go\",(0,0,0,255))"},
        {&right, &font, 1, false, "DrawString(28,13,\"Go\",(0,0,0,255))"},
        {&left, &font, 5, false, "DrawString(0,13,\"Go\",(0,0,0,255))"},
        // Without an image it is the bevelled button with white labels.
        {&dialogButton, &font, 0, false, "DrawString(14,13,\"Go\",(255,255,255,255))"},
        // (20 + 12 - 2 - 2 - 1) / 2, offsets 3 and -1.
        {&boxButton, &padded, 1, false, "DrawString(17,12,\"Go\",(255,255,255,255))"},
        // (20 + 8) / 2 - 1, white link.
        {&link, &font, 0, false, "DrawString(14,13,\"Go\",(255,255,255,255))"},
    };
    boxButton.mLabelOffsetX = 3;
    boxButton.mLabelOffsetY = -1;
    for (const Row& row : rows)
    {
        row.button->Resize(0, 0, 40, 20);
        row.button->mLabel = "Go";
        row.button->mLabelJustify = row.justify;
        row.button->SetFont(row.font);
        row.button->mIsDown = row.button->mIsOver = row.down;
        row.button->SetColor(1, row.button->GetColor(0));
        DrawCalls(row.button);
        EXPECT_EQ(static_cast<FixedFont*>(row.button->mFont.get())->TakeCalls()[0], row.label);
    }
    // Two underline rows, 3 pixels below the baseline, as wide as the label.
    link.mUnderlineThickness = 2;
    EXPECT_EQ(DrawCalls(&link),
              Words({Fill(14, 16, 12, 1, "255,255,255"), Fill(14, 17, 12, 1, "255,255,255")}));
}

TEST_F(Buttons, DialogButtonBoxFollowsTheStateAndMovesOnlyWithoutRects)
{
    // Frames of 30 x 30: normal, over, down, disabled. The first piece of a box is its
    // top-left corner, a third of the source.
    RecordingImage frames("frames", 30, 120);
    struct Row
    {
        const char* state;
        bool rects;
        const char* firstPiece;
    };
    const Row rows[] = {
        {"rest", true, "Blt(frames,0,0,(0,0,10,10),(255,255,255,255),0)"},
        {"over", true, "Blt(frames,0,0,(0,30,10,10),(255,255,255,255),0)"},
        {"down", true, "Blt(frames,0,0,(0,60,10,10),(255,255,255,255),0)"},
        {"off", true, "Blt(frames,0,0,(0,90,10,10),(255,255,255,255),0)"},
        {"down", false, "Blt(frames,1,1,(0,0,10,15),(255,255,255,255),0)"}, // 120 / 3 > 30 / 2
    };
    for (const Row& row : rows)
    {
        const std::string state = row.state;
        DialogButton button(&frames, 1, &mLog);
        button.Resize(0, 0, 30, 30);
        if (row.rects)
        {
            button.mNormalRect = TRect<int>(0, 0, 30, 30);
            button.mOverRect = TRect<int>(0, 30, 30, 30);
            button.mDownRect = TRect<int>(0, 60, 30, 30);
            button.mDisabledRect = TRect<int>(0, 90, 30, 30);
        }
        button.mIsOver = state == "over" || state == "down";
        button.mIsDown = state == "down";
        button.mDisabled = state == "off";
        const std::string calls = DrawCalls(&button);
        EXPECT_EQ(calls.substr(0, calls.find(' ')), row.firstPiece) << row.state << row.rects;
    }
}

TEST_F(Buttons, ScrollArrowsPointByIdTypeAndOrientation)
{
    struct Row
    {
        int id, type;
        bool horizontal, pressed, disabled;
        const char* rgb;
        int spans[4][4];
    };
    // 16 x 16: four spans of 1, 3, 5 and 7 pixels from the tip.
    const Row rows[] = {
        {0, 0, false, false, false, "0,0,0", {{7, 6, 1, 1}, {6, 7, 3, 1}, {5, 8, 5, 1}, {4, 9, 7, 1}}},
        {1, 0, false, false, false, "0,0,0", {{7, 9, 1, 1}, {6, 8, 3, 1}, {5, 7, 5, 1}, {4, 6, 7, 1}}},
        {1, 0, false, true, false, "0,0,0", {{8, 10, 1, 1}, {7, 9, 3, 1}, {6, 8, 5, 1}, {5, 7, 7, 1}}},
        {0, 0, true, false, true, "132,132,132", {{6, 7, 1, 1}, {7, 6, 1, 3}, {8, 5, 1, 5}, {9, 4, 1, 7}}},
        {1, 4, false, false, false, "0,0,0", {{9, 7, 1, 1}, {8, 6, 1, 3}, {7, 5, 1, 5}, {6, 4, 1, 7}}},
        {1, 1, false, false, false, "0,0,0", {{7, 6, 1, 1}, {6, 7, 3, 1}, {5, 8, 5, 1}, {4, 9, 7, 1}}},
    };
    for (const Row& row : rows)
    {
        ScrollbuttonWidget button(row.id, &mLog, row.type);
        button.Resize(0, 0, 16, 16);
        button.mHorizontal = row.horizontal;
        button.mIsDown = button.mIsOver = row.pressed;
        button.mDisabled = row.disabled;
        std::string spans;
        for (const auto& s : row.spans)
            spans += (spans.empty() ? "" : " ") + Fill(s[0], s[1], s[2], s[3], row.rgb);
        EXPECT_EQ(Last(DrawCalls(&button), 4), spans) << row.id << row.type << row.horizontal << row.pressed;
    }
}

TEST_F(Buttons, AListenerMayDeleteTheButton)
{
    struct Row
    {
        const char* killOn; // the listener call that deletes the button
        bool hyperlink;
    };
    const Row rows[] = {{"ButtonMouseEnter", false}, {"ButtonMouseEnter", true}, {"ButtonMouseMove", false},
                        {"ButtonPress", false},      {"ButtonDownTick", false},  {"ButtonDepress", false},
                        {"ButtonMouseLeave", true}};
    for (const Row& row : rows)
    {
        std::unique_ptr<ButtonWidget> button(row.hyperlink ? new HyperlinkWidget(1, &mLog)
                                                           : new ButtonWidget(1, &mLog));
        button->Resize(0, 0, 40, 20);
        mManager->AddWidget(button.get());
        bool killed = false;
        mLog.mAction = [&]
        {
            if (mLog.mCalls.back().rfind(row.killOn, 0) != 0)
                return;
            mLog.mAction = nullptr;
            mManager->RemoveWidget(button.get());
            button.reset();
            killed = true;
        };
        // Each step only while the button lives; the held tick is asked for directly, as
        // the manager's update walk would.
        auto step = [&](auto f)
        {
            if (!killed)
                f();
        };
        step([&] { mManager->MouseMove(10, 10); });
        step([&] { mManager->MouseMove(11, 10); });
        step([&] { mManager->MouseDown(11, 10, 1); });
        step([&] { button->Update(); });
        step([&] { mManager->MouseUp(11, 10, 1); });
        step([&] { mManager->MouseMove(300, 300); });
        EXPECT_TRUE(killed) << row.killOn;
        mLog.Take();
        mManager->MouseMove(500, 500);
    }
}

} // namespace
