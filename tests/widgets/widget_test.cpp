// The widget base: colours, placement, visibility and disabling under the resting mouse,
// and the text and number helpers.
#include "graphics/Graphics.h"
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace Vaxo;

namespace
{

TEST(Widget, ColorTable)
{
    RecordingWidget w("W", nullptr);
    w.SetColor(5, Color(1, 2, 3, 4));
    ASSERT_EQ(w.mColors.size(), 6u);
    EXPECT_EQ(w.mColors[0], Color(0, 0, 0, 255));
    EXPECT_EQ(w.GetColor(5), Color(1, 2, 3, 4));
    EXPECT_EQ(w.GetColor(9), Color(0, 0, 0, 255));
    EXPECT_EQ(w.GetColor(9, Color::White), Color::White);
    EXPECT_EQ(w.mColors.size(), 6u);

    int rgb[2][3] = {{1, 2, 3}, {4, 5, 6}};
    w.SetColors(rgb, 2);
    EXPECT_EQ(w.mColors, (std::vector<Color>{Color(1, 2, 3, 255), Color(4, 5, 6, 255)}));
    int rgba[1][4] = {{7, 8, 9, 10}};
    w.SetColors(rgba, 1);
    EXPECT_EQ(w.mColors, (std::vector<Color>{Color(7, 8, 9, 10)}));
}

TEST(Widget, LayoutAppliesLowerBitsFirst)
{
    // The widget starts at (1, 2, 30, 40); the sibling S is at (100, 200, 60, 20); the
    // parent is 400 x 300. Flags, relative to the parent (else S), the four pads; the rect.
    const std::tuple<int, bool, int, int, int, int, const char*> cases[] = {
        {LAYOUT_SAME_WIDTH | LAYOUT_CENTER_X, false, 0, 0, 0, 0, "(100,2,60,40)"},
        {LAYOUT_SAME_WIDTH | LAYOUT_CENTER_X, true, 0, 0, -100, 0, "(50,2,300,40)"},
        {LAYOUT_CENTER_Y, true, 0, 1, 0, 0, "(1,131,30,40)"},
        {LAYOUT_SET_LEFT | LAYOUT_SET_TOP | LAYOUT_SET_WIDTH | LAYOUT_SET_HEIGHT, false, 5, 6, 7, 8,
         "(5,6,7,8)"},
        // The third dialog button: first button's left and height, bottom 10 above it.
        {LAYOUT_ALIGN_LEFT | LAYOUT_ABOVE | LAYOUT_SAME_HEIGHT, false, 0, -10, 0, 0, "(100,170,30,20)"},
        {LAYOUT_RIGHT_OF | LAYOUT_ALIGN_TOP | LAYOUT_SAME_WIDTH | LAYOUT_SAME_HEIGHT, false, 10, 0, 0, 0,
         "(170,200,60,20)"},
        {LAYOUT_ALIGN_LEFT | LAYOUT_BELOW | LAYOUT_SAME_WIDTH | LAYOUT_SAME_HEIGHT, false, 0, 10, 0, 0,
         "(100,230,60,20)"},
        {LAYOUT_GROW_RIGHT, false, 0, 0, 0, 0, "(1,2,159,40)"},
        {LAYOUT_GROW_LEFT | LAYOUT_GROW_TOP, false, 0, 0, 0, 0, "(1,2,99,198)"},
        {LAYOUT_GROW_BOTTOM, true, 0, 0, 0, 0, "(1,2,30,298)"},
        {LAYOUT_LEFT_OF | LAYOUT_ALIGN_BOTTOM, false, 0, -8, 0, 0, "(70,172,30,40)"},
        {LAYOUT_ALIGN_RIGHT, true, 0, 0, 0, 0, "(370,2,30,40)"},
        {0x4 | 0x8 | 0x400000, false, 0, 0, 0, 0, "(1,2,30,40)"},
    };
    for (const auto& [flags, relIsParent, leftPad, topPad, widthPad, heightPad, rect] : cases)
    {
        WidgetTestEnv env;
        RecordingWidget* parent = env.Add("P", 0, 0, 400, 300);
        RecordingWidget* sibling = env.Add("S", 100, 200, 60, 20, parent);
        RecordingWidget* w = env.Add("W", 1, 2, 30, 40, parent);
        w->Layout(flags, relIsParent ? parent : sibling, leftPad, topPad, widthPad, heightPad);
        EXPECT_EQ(RectText(w->GetRect()), rect) << std::hex << flags;
    }
}

TEST(Widget, ResizeDisablingAndShowingRedrawAndRecheckTheMouse)
{
    WidgetTestEnv env;
    RecordingWidget* w = env.Add("W", 0, 0, 50, 50);
    env.Add("Front", 300, 300, 50, 50);
    env.mManager->MouseMove(340, 340);
    env.CleanAll();
    env.Take();

    w->Resize(0, 0, 50, 50);
    EXPECT_EQ(env.DirtyNames(), "");
    EXPECT_TRUE(env.Take().empty());

    // Moved under Front: the new area reaches Front although the old one left W dirty.
    w->Resize(290, 290, 40, 40);
    EXPECT_EQ(env.DirtyNames(), "W Front");
    EXPECT_TRUE(env.Take().empty()); // Front keeps the mouse

    env.mManager->RemoveWidget(env["Front"]);
    env.Take();
    w->Move(310, 310);
    EXPECT_EQ(env.TakeText(), "W.MouseEnter W.MouseMove(30,30)");

    // Disabled under the mouse and enabled again, then hidden and shown again.
    WidgetTestEnv nested;
    RecordingWidget* panel = nested.Add("P", 100, 100, 200, 200);
    RecordingWidget* inner = nested.Add("W", 10, 10, 50, 50, panel);
    nested.mManager->MouseMove(120, 130);
    nested.Take();
    inner->SetDisabled(true);
    EXPECT_EQ(nested.TakeText(), "W.MouseLeave");
    // Enabling checks the resting mouse against the widget in its parent's coordinates.
    inner->SetDisabled(false);
    EXPECT_EQ(nested.TakeText(), "W.MouseEnter W.MouseMove(10,20)");

    // Shown again, a child is redrawn.
    nested.mManager->DrawScreen();
    inner->SetVisible(false);
    nested.mManager->DrawScreen();
    nested.Take();
    inner->SetVisible(true);
    EXPECT_TRUE(nested.mManager->IsDirty());
    nested.Take();
    nested.mManager->DrawScreen();
    EXPECT_EQ(nested.TakeText(), "P.Draw W.Draw");
}

TEST(Widget, EnablingUnderARestingMouseOnly)
{
    // W is disabled under the mouse, which then rests there, leaves the window, or drags
    // A (pressed beside W) over W. Enabled again, W is hovered only in the first case.
    enum
    {
        kRests,
        kLeftTheWindow,
        kDragsAnother
    };
    for (int what : {kRests, kLeftTheWindow, kDragsAnother})
    {
        WidgetTestEnv env;
        RecordingWidget* w = env.Add("W", 0, 0, 100, 100);
        env.Add("A", 200, 0, 100, 100);
        WidgetManager* m = env.mManager;
        if (what == kDragsAnother)
            m->MouseDown(210, 10, 1);
        m->MouseMove(10, 10);
        w->SetDisabled(true);
        if (what == kLeftTheWindow)
            m->MouseExit(10, 10);
        env.Take();
        w->SetDisabled(false);
        EXPECT_EQ(env.TakeText(), what == kRests ? "W.MouseEnter W.MouseMove(10,10)" : "") << what;
        EXPECT_EQ(m->mHoverWidget, what == kRests ? w : nullptr) << what;
        EXPECT_EQ(w->mIsOver, what == kRests) << what;
    }
}

TEST(Widget, CenteredLines)
{
    FixedFont font(7, 8, 12);
    MemoryImage image(nullptr);
    image.Create(10, 10);
    Graphics g(&image);
    g.SetFont(&font);
    g.SetColor(Color::White);
    RecordingWidget w("W", nullptr, 0, 0, 100, 30);

    EXPECT_EQ(w.WriteCenteredLine(&g, 20, "abc"), TRect<int>(39, 12, 21, 12));
    EXPECT_EQ(w.WriteCenteredLine(&g, 20, "abc", Color(1, 2, 3), Color(4, 5, 6), TPoint<int>(-2, 3)),
              TRect<int>(37, 12, 23, 15));
    EXPECT_EQ(font.TakeCalls(), (std::vector<std::string>{"DrawString(39,20,\"abc\",(255,255,255,255))",
                                                          "DrawString(37,23,\"abc\",(4,5,6,255))",
                                                          "DrawString(39,20,\"abc\",(1,2,3,255))"}));

    // The coloured-string switch is imposed for the call and restored after.
    g.mWriteColoredString = false;
    EXPECT_EQ(w.WriteString(&g, "^FF0000^ab", 0, 20), 14);
    EXPECT_FALSE(g.mWriteColoredString);
}

TEST(Widget, NumbersFromADigitStrip)
{
    // Number to its digit count.
    const std::pair<int, int> digitCases[] = {{0, 1},         {9, 1},           {10, 2},      {-5, 1},
                                              {999999999, 9}, {1000000000, 10}, {INT_MAX, 10}};
    RecordingWidget w("W", nullptr);
    for (const auto& c : digitCases)
        EXPECT_EQ(w.GetNumDigits(c.first), c.second) << c.first;

    // Ten 3-pixel cells; cell d is the colour 0xFF0000d0.
    std::vector<uint32_t> cells(30 * 2);
    for (int i = 0; i < 60; ++i)
        cells[size_t(i)] = 0xFF000000u | uint32_t((i % 30) / 3 * 16);
    MemoryImage strip(nullptr);
    strip.SetBits(cells.data(), 30, 2);

    // Number to the digits drawn at x 0..13 of row 1 ('.' nothing).
    const std::pair<int, const char*> stripCases[] = {
        {907, "999.000.777..."}, {0, "000..........."}, {-3, ".............."}};
    for (const auto& c : stripCases)
    {
        MemoryImage dest(nullptr);
        dest.Create(14, 4);
        Graphics g(&dest);
        w.WriteNumberFromStrip(&g, c.first, 0, 1, &strip, 1);
        std::string row;
        for (int x = 0; x < 14; ++x)
        {
            uint32_t p = dest.GetBits()[14 + x];
            row += p == 0 ? '.' : char('0' + ((p & 0xFF) + 8) / 16); // the blend may lose a unit
        }
        EXPECT_EQ(row, c.second) << c.first;
        EXPECT_EQ(dest.GetBits()[3 * 14], 0u) << "clipped to the strip's height";
    }
}

} // namespace
