// Text drawing through Graphics with a fixed-width test font: colour escapes,
// justification, word wrapping, and the system font placeholder.
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/SysFont.h"
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Vaxo;

namespace
{
typedef std::vector<std::string> Calls;

std::string Draw(int x, int y, const std::string& text, const Color& c)
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

// ---- Plain runs and escapes ---------------------------------------------------------------

typedef TextFixture TextDraw;

TEST_F(TextDraw, DrawStringHandsTheTextToTheFont)
{
    g.SetColor(Color(1, 2, 3, 4));
    g.DrawString("hi", 5, 6);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(5, 6, "hi", Color(1, 2, 3, 4))});
    g.SetFont(nullptr);
    g.DrawString("hi", 5, 6);
    EXPECT_TRUE(font.TakeCalls().empty());
}

struct EscapeCase
{
    const char* text;
    int oldColor;
    std::vector<std::string> draws; // with the context colour (10, 20, 30, 128)
    int width;
    Color after;
};

TEST_F(TextDraw, ColourEscapesSplitTheRunAndKeepTheAlpha)
{
    const Color start(10, 20, 30, 128);
    const EscapeCase cases[] = {
        {"ab^^cd", -1, {Draw(0, 0, "ab^cd", start)}, 50, start},
        {"Score: ^FF0000^10",
         -1,
         {Draw(0, 0, "Score: ", start), Draw(70, 0, "10", Color(255, 0, 0, 128))},
         90,
         Color(255, 0, 0, 128)},
        {"x^oldclr^y",
         0x00FF00,
         {Draw(0, 0, "x", start), Draw(10, 0, "y", Color(0, 255, 0, 128))},
         20,
         Color(0, 255, 0, 128)},
        {"^zz0000^q",
         -1,
         {Draw(0, 0, "", start), Draw(0, 0, "q", Color(0, 0, 0, 128))},
         10,
         Color(0, 0, 0, 128)},
        {"^oldxyz^q",
         -1,
         {Draw(0, 0, "", start), Draw(0, 0, "q", Color(0, 0, 0, 128))},
         10,
         Color(0, 0, 0, 128)},
        {"^a0B1c2^",
         -1,
         {Draw(0, 0, "", start), Draw(0, 0, "", Color(0xA0, 0xB1, 0xC2, 128))},
         0,
         Color(0xA0, 0xB1, 0xC2, 128)},
        // Too short for an escape: the rest is neither drawn nor measured.
        {"abc^12", -1, {Draw(0, 0, "abc", start)}, 30, start},
        {"^", -1, {Draw(0, 0, "", start)}, 0, start},
    };
    for (const EscapeCase& c : cases)
    {
        g.SetColor(start);
        int width = g.WriteString(c.text, 0, 0, -1, -1, true, 0, -1, c.oldColor);
        EXPECT_EQ(font.TakeCalls(), c.draws) << c.text;
        EXPECT_EQ(width, c.width) << c.text;
        EXPECT_EQ(g.GetColor(), c.after) << c.text;
    }
}

TEST_F(TextDraw, OldColourDefaultsToTheCurrentColour)
{
    g.SetColor(Color(1, 2, 3));
    g.WriteString("^FF0000^a^oldclr^b", 0, 0, -1, -1);
    Calls expected = {Draw(0, 0, "", Color(1, 2, 3)), Draw(0, 0, "a", Color(255, 0, 0)),
                      Draw(10, 0, "b", Color(1, 2, 3))};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, EscapesAreLiteralWhenColouredStringsAreOff)
{
    g.mWriteColoredString = false;
    EXPECT_EQ(g.WriteString("a^FF0000^b", 0, 0, -1, -1), 100);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 0, "a^FF0000^b", Color::Black)});
    EXPECT_EQ(g.GetColor(), Color::Black);
}

TEST_F(TextDraw, MeasuringDrawsNothingAndChangesNoColour)
{
    EXPECT_EQ(g.WriteString("ab^FF0000^cd", 0, 0, -1, -1, false), 40);
    EXPECT_TRUE(font.TakeCalls().empty());
    EXPECT_EQ(g.GetColor(), Color::Black);
}

TEST_F(TextDraw, OffsetAndLengthPickPartOfTheString)
{
    EXPECT_EQ(g.WriteString("hello world", 0, 0, -1, -1, true, 6, 3), 30);
    EXPECT_EQ(g.WriteString("hello", 0, 0, -1, -1, true, 3, 100), 20);
    EXPECT_EQ(g.WriteString("hello", 0, 0, -1, -1, true, 9, 2), 0);
    Calls expected = {Draw(0, 0, "wor", Color::Black), Draw(0, 0, "lo", Color::Black),
                      Draw(0, 0, "", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, JustificationCentresOrRightAligns)
{
    // "abcde" is 50 pixels: centred in 101 it moves (101 - 50) / 2 = 25.
    g.WriteString("abcde", 100, 7, 101, 0);
    g.WriteString("abcde", 100, 7, 101, 1);
    g.WriteString("abcde", 100, 7, 101, 2);
    // Wider than the room: centring moves it left, truncating toward zero.
    g.WriteString("abcde", 100, 7, 45, 0);
    Calls expected = {Draw(125, 7, "abcde", Color::Black), Draw(151, 7, "abcde", Color::Black),
                      Draw(100, 7, "abcde", Color::Black), Draw(98, 7, "abcde", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, DrawStringColorRestoresTheColour)
{
    g.SetColor(Color(9, 9, 9, 200));
    EXPECT_EQ(g.DrawStringColor("a^00FF00^bc", 3, 4), 30);
    EXPECT_EQ(g.GetColor(), Color(9, 9, 9, 200));
    Calls expected = {Draw(3, 4, "a", Color(9, 9, 9, 200)), Draw(13, 4, "bc", Color(0, 255, 0, 200))};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(TextDraw, ColourStringWidthEqualsWhatDrawStringColorReturns)
{
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

TEST_F(TextDraw, ShadowIsDrawnFirstInItsOwnColour)
{
    g.SetColor(Color(1, 2, 3));
    DrawStringWithShadow(&g, "hi", 10, 20, 0x123456, 2, 3);
    Calls expected = {Draw(12, 23, "hi", Color(0x12, 0x34, 0x56, 255)), Draw(10, 20, "hi", Color(1, 2, 3))};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(g.GetColor(), Color(1, 2, 3));
}

// ---- Word wrap ----------------------------------------------------------------------------

typedef TextFixture WordWrap;

TEST_F(WordWrap, BreaksAtTheLastSpaceThatFits)
{
    int maxWidth = -1;
    // 55 pixels hold five characters, not six.
    int height = g.WriteWordWrapped(TRect<int>(10, 20, 55, 0), "aaa bbb", -1, -1, &maxWidth);
    Calls expected = {Draw(10, 28, "aaa", Color::Black), Draw(10, 40, "bbb", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
    // ascent - padding + one line spacing + descent.
    EXPECT_EQ(height, 8 + 12 + 4);
    // The first line measures up to the character that broke it ("aaa bb").
    EXPECT_EQ(maxWidth, 60);
}

TEST_F(WordWrap, AWordWiderThanTheRectIsSplit)
{
    g.WriteWordWrapped(TRect<int>(0, 0, 35, 0), "abcdefgh");
    Calls expected = {Draw(0, 8, "abc", Color::Black), Draw(0, 20, "def", Color::Black),
                      Draw(0, 32, "gh", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(WordWrap, ANarrowRectStillTakesOneCharacterPerLine)
{
    int height = g.WriteWordWrapped(TRect<int>(0, 0, 3, 0), "abc");
    Calls expected = {Draw(0, 8, "a", Color::Black), Draw(0, 20, "b", Color::Black),
                      Draw(0, 32, "c", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(height, 8 + 3 * 12 + 4 - 12);
}

TEST_F(WordWrap, NewlinesEndLinesAndATrailingOneAddsALine)
{
    int lastWidth = 0;
    int height = g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "a\n\nb", -1, -1, nullptr, -1, &lastWidth);
    Calls expected = {Draw(0, 8, "a", Color::Black), Draw(0, 20, "", Color::Black),
                      Draw(0, 32, "b", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(height, 8 + 2 * 12 + 4);
    EXPECT_EQ(lastWidth, 10);

    height = g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "ab\n", -1, -1, nullptr, -1, &lastWidth);
    EXPECT_EQ(height, 8 + 12 + 4);
    EXPECT_EQ(lastWidth, 0);
}

TEST_F(WordWrap, LeadingSpacesOfAWrappedLineAreDroppedButNotAfterANewline)
{
    g.WriteWordWrapped(TRect<int>(0, 0, 45, 0), "abcd   ef\n  gh");
    Calls expected = {Draw(0, 8, "abcd", Color::Black), Draw(0, 20, "ef", Color::Black),
                      Draw(0, 32, "  gh", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(WordWrap, MaxCharsDrawsOnlyTheFirstCharacters)
{
    g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "hello world", -1, -1, nullptr, 3);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 8, "hel", Color::Black)});
    // Across a break: the second line is cut, a third is not drawn at all.
    g.WriteWordWrapped(TRect<int>(0, 0, 45, 0), "abc def ghi", -1, -1, nullptr, 6);
    Calls expected = {Draw(0, 8, "abc", Color::Black), Draw(0, 20, "de", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(WordWrap, LastWidthContinuesTheFirstLineAndReportsTheLast)
{
    int lastWidth = 30;
    g.WriteWordWrapped(TRect<int>(100, 0, 60, 0), "ab cd", -1, -1, nullptr, -1, &lastWidth);
    // 30 used already: "ab " fits up to 60, "c" does not; the first line starts at x 130.
    Calls expected = {Draw(130, 8, "ab", Color::Black), Draw(100, 20, "cd", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(lastWidth, 20);
}

TEST_F(WordWrap, EscapesTakeNoRoomAndCarryToLaterLines)
{
    g.SetColor(Color(1, 1, 1));
    int maxWidth = 0;
    g.WriteWordWrapped(TRect<int>(0, 0, 35, 0), "^FF0000^abc def", -1, -1, &maxWidth);
    Calls expected = {Draw(0, 8, "", Color(1, 1, 1)), Draw(0, 8, "abc", Color(255, 0, 0)),
                      Draw(0, 20, "def", Color(255, 0, 0))};
    EXPECT_EQ(font.TakeCalls(), expected);
    EXPECT_EQ(maxWidth, 40);
    EXPECT_EQ(g.GetColor(), Color(1, 1, 1));
}

TEST_F(WordWrap, LinesAboveTheClipAreSkippedWithTheirEscapes)
{
    g.SetClipRect(0, 30, 800, 100);
    g.WriteWordWrapped(TRect<int>(0, 0, 35, 0), "abc ^FF0000^de fgh");
    // Line tops 8 and 20 lie above the clip's top (30); "fgh" is the last line and is
    // always drawn, in the colour the text started with.
    Calls expected = {Draw(0, 32, "fgh", Color::Black)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(WordWrap, HeightAndDrawingAgree)
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
}

TEST_F(WordWrap, DrawStringWordWrappedPutsTheFirstBaselineAtY)
{
    FixedFont padded(10, 8, 12, 2, 3); // ascent 8, padding 2, line spacing 15
    g.SetFont(&padded);
    int height = g.DrawStringWordWrapped("aa bb", 5, 50, 25);
    // Rect top = 50 + 2 - 8 = 44; first baseline at 44 + 8 - 2 = 50.
    Calls expected = {Draw(5, 50, "aa", Color::Black), Draw(5, 65, "bb", Color::Black)};
    EXPECT_EQ(padded.TakeCalls(), expected);
    EXPECT_EQ(height, 6 + 15 + 4);
}

TEST_F(WordWrap, AnOpaqueWhiteTextKeepsWhiteForOldclr)
{
    // Opaque white is passed as 0xFFFFFF, not as -1 ("use the current colour").
    g.SetColor(Color::White);
    g.WriteWordWrapped(TRect<int>(0, 0, 500, 0), "^FF0000^a^oldclr^b");
    Calls expected = {Draw(0, 8, "", Color::White), Draw(0, 8, "a", Color(255, 0, 0)),
                      Draw(10, 8, "b", Color::White)};
    EXPECT_EQ(font.TakeCalls(), expected);
}

TEST_F(WordWrap, ZeroWidthFontsAndNegativeRectsEnd)
{
    FixedFont empty(0);
    g.SetFont(&empty);
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, 10, 0), "abc def"), 8 + 4);
    g.SetFont(&font);
    EXPECT_EQ(g.WriteWordWrapped(TRect<int>(0, 0, -10, 0), "abc"), 8 + 3 * 12 + 4 - 12);
}

TEST(WordWrapWithoutFont, DrawsAndMeasuresNothing)
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
    EXPECT_TRUE(dest.mCalls.empty());
}

TEST(WriteWordWrappedHelper, StopsAtMaxChars)
{
    RecordingImage dest("dest", 10, 10);
    FixedFont font(10);
    Graphics g(&dest);
    g.SetFont(&font);
    EXPECT_EQ(WriteWordWrappedHelper(&g, "hello", 0, 0, -1, -1, true, 2, 3, -1, 4), 20);
    EXPECT_EQ(WriteWordWrappedHelper(&g, "hello", 0, 0, -1, -1, true, 4, 1, -1, 4), -1);
    EXPECT_EQ(font.TakeCalls(), Calls{Draw(0, 0, "ll", Color::Black)});
}

// ---- Fonts --------------------------------------------------------------------------------

TEST(SysFontTest, MeasuresNothingAndHasFixedMetrics)
{
    SysFont font(nullptr, "Arial", 48, 0, true, true, true);
    EXPECT_EQ(font.StringWidth("not empty"), 0);
    EXPECT_EQ(font.CharWidth('W'), 0);
    EXPECT_EQ(font.CharWidthKern('A', 'V'), 0);
    EXPECT_EQ(font.GetAscent(), 10);
    EXPECT_EQ(font.GetDescent(), 10);
    EXPECT_EQ(font.GetHeight(), 20);
    EXPECT_EQ(font.GetLineSpacing(), 20);
    EXPECT_EQ(font.GetAscentPadding(), 0);
    EXPECT_EQ(font.CreateImageFont(), nullptr);

    RecordingImage dest("dest", 10, 10);
    Graphics g(&dest);
    g.SetFont(&font);
    g.DrawString("abc", 0, 0);
    g.WriteWordWrapped(TRect<int>(0, 0, 100, 0), "abc def");
    EXPECT_TRUE(dest.mCalls.empty());
}

TEST(SysFontTest, BindsToTheApplicationAndDuplicatesWithFixedMetrics)
{
    TestApp app;
    SysFont font("Arial", 12);
    EXPECT_EQ(font.mApp, &app);
    font.mAscent = 99;
    font.mHeight = 99;
    Font* copy = font.Duplicate();
    SysFont* sys = dynamic_cast<SysFont*>(copy);
    ASSERT_NE(sys, nullptr);
    EXPECT_EQ(sys->mApp, &app);
    EXPECT_EQ(sys->GetAscent(), 10);
    EXPECT_EQ(sys->GetHeight(), 20);
    delete copy;

    TestApp* other = nullptr;
    font.Init(other, "x", 1, 0, false, false, false);
    EXPECT_EQ(font.mApp, nullptr);
    EXPECT_EQ(font.GetAscent(), 10);
}

// A face that only knows how to measure whole strings.
class StringOnlyFont : public Font
{
public:
    int StringWidth(const std::string& str) override { return int(str.size()) * 7 + (str == "W" ? 5 : 0); }
    Font* Duplicate() override { return new StringOnlyFont(*this); }
};

TEST(FontTest, CharWidthsComeFromStringWidth)
{
    StringOnlyFont font;
    EXPECT_EQ(font.CharWidth('a'), 7);
    EXPECT_EQ(font.CharWidth('W'), 12);
    EXPECT_EQ(font.CharWidthKern('W', 'A'), 12);
    font.mAscent = 5;
    font.mHeight = 9;
    font.mLineSpacingOffset = -2;
    EXPECT_EQ(font.GetDescent(), 4);
    EXPECT_EQ(font.GetLineSpacing(), 7);
}

} // namespace
