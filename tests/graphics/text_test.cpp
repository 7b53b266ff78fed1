// Text drawing through Graphics with a fixed-width test font: colour escapes,
// justification, word wrapping, and the system font placeholder.
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/SysFont.h"
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{
typedef std::vector<std::string> Calls;

std::string Draw(int x, int y, const std::string& text, const Color& c = Color::Black)
{
    return "DrawString(" + std::to_string(x) + "," + std::to_string(y) + ",\"" + text + "\"," + ColorText(c) +
           ")";
}

// A context on a recording image with a 10-pixel fixed font: ascent 8, height 12, so
// descent 4 and line spacing 12.
struct TextFixture : public ::testing::Test
{
    RecordingImage dest{"dest", 800, 600};
    FixedFont font{10};
    Graphics g{&dest};

    TextFixture() { g.SetFont(&font); }
};
typedef TextFixture TextDraw;
typedef TextFixture WordWrap;

// ---- Plain runs and escapes ---------------------------------------------------------------

TEST_F(TextDraw, ColourEscapesSplitTheRunAndKeepTheAlpha)
{
    const Color start(10, 20, 30, 128), red(255, 0, 0, 128), green(0, 255, 0, 128), black(0, 0, 0, 128),
        odd(0xA0, 0xB1, 0xC2, 128);
    const struct
    {
        const char* text;
        int oldColor;
        Calls draws;
        int width;
        Color after;
    } cases[] = {
        {"ab^^cd", -1, {Draw(0, 0, "ab^cd", start)}, 50, start},
        {"Score: ^FF0000^10", -1, {Draw(0, 0, "Score: ", start), Draw(70, 0, "10", red)}, 90, red},
        {"x^oldclr^y", 0x00FF00, {Draw(0, 0, "x", start), Draw(10, 0, "y", green)}, 20, green},
        {"^zz0000^q", -1, {Draw(0, 0, "", start), Draw(0, 0, "q", black)}, 10, black},
        {"^a0B1c2^", -1, {Draw(0, 0, "", start), Draw(0, 0, "", odd)}, 0, odd},
        // Too short for an escape: the rest is neither drawn nor measured.
        {"abc^12", -1, {Draw(0, 0, "abc", start)}, 30, start},
    };
    for (const auto& c : cases)
    {
        g.SetColor(start);
        int width = g.WriteString(c.text, 0, 0, -1, -1, true, 0, -1, c.oldColor);
        EXPECT_EQ(font.TakeCalls(), c.draws) << c.text;
        EXPECT_EQ(width, c.width) << c.text;
        EXPECT_EQ(g.GetColor(), c.after) << c.text;
    }
    // Without an old colour, ^oldclr^ goes back to the colour the text started with.
    g.SetColor(Color(1, 2, 3));
    g.WriteString("^FF0000^a^oldclr^b", 0, 0, -1, -1);
    Calls expected = {Draw(0, 0, "", Color(1, 2, 3)), Draw(0, 0, "a", Color(255, 0, 0)),
                      Draw(10, 0, "b", Color(1, 2, 3))};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, EscapesOffsetsLengthsAndJustification)
{
    EXPECT_EQ(g.WriteString("ab^FF0000^cd", 0, 0, -1, -1, false), 40);
    EXPECT_TRUE(font.TakeCalls().empty());
    EXPECT_EQ(g.GetColor(), Color::Black);
    g.mWriteColoredString = false;
    EXPECT_EQ(g.WriteString("a^FF0000^b", 0, 0, -1, -1), 100);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 0, "a^FF0000^b")});
    EXPECT_EQ(g.GetColor(), Color::Black);
    EXPECT_EQ(g.WriteString("hello world", 0, 0, -1, -1, true, 6, 3), 30);
    EXPECT_EQ(g.WriteString("hello", 0, 0, -1, -1, true, 3, 100), 20);
    EXPECT_EQ(g.WriteString("hello", 0, 0, -1, -1, true, 9, 2), 0);
    EXPECT_EQ(font.TakeCalls(), (Calls{Draw(0, 0, "wor"), Draw(0, 0, "lo"), Draw(0, 0, "")}));
    // "abcde" is 50 pixels: centred in 101 it moves (101 - 50) / 2 = 25.
    g.WriteString("abcde", 100, 7, 101, 0);
    g.WriteString("abcde", 100, 7, 101, 1);
    g.WriteString("abcde", 100, 7, 101, 2);
    // Wider than the room: centring moves it left, truncating toward zero.
    g.WriteString("abcde", 100, 7, 45, 0);
    Calls expected = {Draw(125, 7, "abcde"), Draw(151, 7, "abcde"), Draw(100, 7, "abcde"),
                      Draw(98, 7, "abcde")};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, DrawStringColorRestoresTheColourAndMeasuresAsItDraws)
{
    g.SetColor(Color(9, 9, 9, 200));
    EXPECT_EQ(g.DrawStringColor("a^00FF00^bc", 3, 4), 30);
    EXPECT_EQ(g.GetColor(), Color(9, 9, 9, 200));
    DrawStringWithShadow(&g, "hi", 10, 20, 0x123456, 2, 3);
    EXPECT_EQ(g.GetColor(), Color(9, 9, 9, 200));
    Calls expected = {Draw(3, 4, "a", Color(9, 9, 9, 200)), Draw(13, 4, "bc", Color(0, 255, 0, 200)),
                      Draw(12, 23, "hi", Color(0x12, 0x34, 0x56, 255)),
                      Draw(10, 20, "hi", Color(9, 9, 9, 200))};
    EXPECT_EQ(font.TakeCalls(), expected);
    const char* texts[] = {"",         "plain", "ab^^cd", "Score: ^FF0000^10", "x^oldclr^y", "abc^12",
                           "^FF0000^", "^^^^",  "a^b",    "^zz0000^q!"};
    for (const char* text : texts)
    {
        int drawn = g.DrawStringColor(text, 0, 0);
        EXPECT_EQ(g.GetColorStringWidth(text), drawn) << text;
    }
    EXPECT_EQ(g.GetColorStringWidth("Score: ^FF0000^10"), 90);
    // With escapes off they are measured as text, as they are drawn.
    g.mWriteColoredString = false;
    EXPECT_EQ(g.DrawStringColor("a^FF0000^b", 0, 0), 100);
    EXPECT_EQ(g.GetColorStringWidth("a^FF0000^b"), 100);
    EXPECT_EQ(g.GetWordWrappedHeight(500, "a^FF0000^b"),
              g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "a^FF0000^b"));
}

// ---- Word wrap ----------------------------------------------------------------------------

TEST_F(WordWrap, LinesBreakAtTheLastSpaceThatFits)
{
    const struct
    {
        int width;
        const char* text;
        int maxChars;
        Calls draws;
        int lines; // 0: height not checked
    } cases[] = {
        {55, "aaa bbb", -1, {Draw(0, 8, "aaa"), Draw(0, 20, "bbb")}, 2}, // 5 characters fit, not 6
        {35, "abcdefgh", -1, {Draw(0, 8, "abc"), Draw(0, 20, "def"), Draw(0, 32, "gh")}, 3},
        // Narrower than a character: still one per line.
        {3, "abc", -1, {Draw(0, 8, "a"), Draw(0, 20, "b"), Draw(0, 32, "c")}, 3},
        {500, "a\n\nb", -1, {Draw(0, 8, "a"), Draw(0, 20, ""), Draw(0, 32, "b")}, 3},
        // Leading spaces of a wrapped line are dropped, not those after a newline.
        {45, "abcd   ef\n  gh", -1, {Draw(0, 8, "abcd"), Draw(0, 20, "ef"), Draw(0, 32, "  gh")}, 3},
        {500, "hello world", 3, {Draw(0, 8, "hel")}, 0},
        // Across a break the second line is cut and a third not drawn at all.
        {45, "abc def ghi", 6, {Draw(0, 8, "abc"), Draw(0, 20, "de")}, 0},
    };
    for (const auto& c : cases)
    {
        int height = g.WriteWordWrapped(TRect<int>(0, 0, c.width, 0), c.text, -1, -1, nullptr, c.maxChars);
        EXPECT_EQ(font.TakeCalls(), c.draws) << c.text;
        // Ascent, one line spacing per further line, descent.
        EXPECT_EQ(height, c.lines > 0 ? 8 + (c.lines - 1) * 12 + 4 : height) << c.text;
    }
}

// A word broken between the two carets of "^^" used to end its line on a lone caret (not
// drawn) and start the next with the other, read as an escape: the caret was lost and
// the next eight characters taken for a colour. The pair now stays together.
TEST_F(WordWrap, ADoubledCaretIsNeverSplitAcrossLines)
{
    const struct
    {
        int width;
        const char* text;
        Calls draws;
    } cases[] = {
        {45,
         "aaaa^^bbbbbbbbbbb",
         {Draw(0, 8, "aaaa"), Draw(0, 20, "^bbb"), Draw(0, 32, "bbbb"), Draw(0, 44, "bbbb")}},
        // At the start of a line the pair is the one character the line must take.
        {5, "^^b", {Draw(0, 8, "^"), Draw(0, 20, "b")}},
        {25, "a^^b", {Draw(0, 8, "a^"), Draw(0, 20, "b")}},
    };
    for (const auto& c : cases)
    {
        const int height = g.WriteWordWrapped(TRect<int>(0, 0, c.width, 0), c.text);
        EXPECT_EQ(font.TakeCalls(), c.draws) << c.text;
        EXPECT_EQ(height, 8 + (int(c.draws.size()) - 1) * 12 + 4) << c.text;
    }
}

TEST_F(WordWrap, WidthsReportedAndTheFirstBaseline)
{
    int maxWidth = -1, lastWidth = 0;
    g.WriteWordWrapped(TRect<int>(10, 20, 55, 0), "aaa bbb", -1, -1, &maxWidth);
    EXPECT_EQ(font.TakeCalls(), (Calls{Draw(10, 28, "aaa"), Draw(10, 40, "bbb")}));
    EXPECT_EQ(maxWidth, 60); // the first line measures up to the character that broke it
    g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "a\n\nb", -1, -1, nullptr, -1, &lastWidth);
    EXPECT_EQ(lastWidth, 10);
    // A trailing newline adds a line.
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "ab\n", -1, -1, nullptr, -1, &lastWidth),
              8 + 12 + 4);
    EXPECT_EQ(lastWidth, 0);
    font.TakeCalls();
    // 30 used already: "ab " fits up to 60, "c" does not; the first line starts at x 130.
    lastWidth = 30;
    g.WriteWordWrapped(TRect<int>(100, 0, 60, 0), "ab cd", -1, -1, nullptr, -1, &lastWidth);
    EXPECT_EQ(font.TakeCalls(), (Calls{Draw(130, 8, "ab"), Draw(100, 20, "cd")}));
    EXPECT_EQ(lastWidth, 20);
    FixedFont padded(10, 8, 12, 2, 3); // ascent 8, padding 2, line spacing 15
    g.SetFont(&padded);
    int height = g.DrawStringWordWrapped("aa bb", 5, 50, 25);
    // Rect top = 50 + 2 - 8 = 44; first baseline at 44 + 8 - 2 = 50.
    EXPECT_EQ(padded.TakeCalls(), (Calls{Draw(5, 50, "aa"), Draw(5, 65, "bb")}));
    EXPECT_EQ(height, 6 + 15 + 4);
}

TEST_F(WordWrap, EscapesTakeNoRoomCarryToLaterLinesAndAreSkippedAboveTheClip)
{
    g.SetColor(Color(1, 1, 1));
    int maxWidth = 0;
    g.WriteWordWrapped(TRect<int>(0, 0, 35, 0), "^FF0000^abc def", -1, -1, &maxWidth);
    Calls expected = {Draw(0, 8, "", Color(1, 1, 1)), Draw(0, 8, "abc", Color(255, 0, 0)),
                      Draw(0, 20, "def", Color(255, 0, 0))};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(maxWidth, 40);
    EXPECT_EQ(g.GetColor(), Color(1, 1, 1));
    // Opaque white is passed on as 0xFFFFFF, not as -1 ("use the current colour").
    g.SetColor(Color::White);
    g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "^FF0000^a^oldclr^b");
    expected = {Draw(0, 8, "", Color::White), Draw(0, 8, "a", Color(255, 0, 0)),
                Draw(10, 8, "b", Color::White)};
    EXPECT_EQ(font.TakeCalls(), expected);
    g.SetClipRect(0, 30, 800, 100);
    g.WriteWordWrapped(TRect<int>(0, 0, 35, 0), "abc ^FF0000^de fgh");
    // Line tops 8 and 20 lie above the clip's top (30); "fgh" is the last line and is
    // always drawn, in the colour the text started with.
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 32, "fgh", Color::White)});
}

TEST_F(WordWrap, HeightAndDrawingAgreeAndDegenerateFontsEnd)
{
    const char* texts[] = {"", "a", "aaa bbb ccc", "one\ntwo\n", "^FF0000^red text here", "x  y  z"};
    for (const char* text : texts)
    {
        int measuredWidest = -1, drawnWidest = -2;
        int measured = g.GetWordWrappedHeight(45, text, -1, &measuredWidest);
        int drawn = g.WriteWordWrapped(TRect<int>(0, 0, 45, 0), text, -1, -1, &drawnWidest);
        EXPECT_EQ(measured, drawn) << text;
        EXPECT_EQ(measuredWidest, drawnWidest) << text;
    }
    FixedFont empty(0);
    g.SetFont(&empty);
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, 10, 0), "abc def"), 8 + 4);
    g.SetFont(&font);
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, -10, 0), "abc"), 8 + 2 * 12 + 4);
    font.TakeCalls();
    EXPECT_EQ(WriteWordWrappedHelper(&g, "hello", 0, 0, -1, -1, true, 2, 3, -1, 4), 20);
    EXPECT_EQ(WriteWordWrappedHelper(&g, "hello", 0, 0, -1, -1, true, 4, 1, -1, 4), -1);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 0, "ll")});
}

TEST(TextWithoutFont, NoFontOrTheSystemFontDrawsAndMeasuresNothing)
{
    RecordingImage dest("dest", 10, 10);
    Graphics g(&dest);
    int maxWidth = 7;
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, 50, 0), "abc def", -1, -1, &maxWidth), 0);
    EXPECT_EQ(maxWidth, 0);
    EXPECT_EQ(g.GetWordWrappedHeight(50, "abc"), 0);
    EXPECT_EQ(g.DrawStringWordWrapped("abc", 0, 0, 50), 0);
    EXPECT_EQ(g.GetColorStringWidth("abc"), 0);
    EXPECT_EQ(g.StringWidth("abc"), 0);
    g.DrawString("hi", 5, 6);
    EXPECT_TRUE(dest.mCalls.empty());
    TestApp app;
    SysFont font("Arial", 12);
    font.mAscent = 99;
    std::unique_ptr<Font> copy(font.Duplicate());
    ASSERT_NE(dynamic_cast<SysFont*>(copy.get()), nullptr);
    EXPECT_EQ(dynamic_cast<SysFont*>(copy.get())->mApp, &app);
    EXPECT_EQ((std::vector<int>{copy->GetAscent(), copy->GetDescent(), copy->GetLineSpacing()}),
              (std::vector<int>{10, 10, 20}));
    EXPECT_EQ(font.StringWidth("not empty"), 0);
    g.SetFont(&font);
    g.DrawString("abc", 0, 0);
    g.WriteWordWrapped(TRect<int>(0, 0, 100, 0), "abc def");
    EXPECT_TRUE(dest.mCalls.empty());
}

} // namespace
