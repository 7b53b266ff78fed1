// The edit field: keys as SDL sends them, undo, clipboard, limits, scrolling, mouse
// selection, password display, drawing and the caret blink, a field without a font and
// one its return listener deletes. Its states are written as the text with '|' at the
// caret and '^' at the selection anchor.
#include "graphics/support/FixedFont.h"
#include "widgets/EditListener.h"
#include "widgets/EditWidget.h"
#include "widgets/support/ClipboardPlatform.h"
#include "widgets/support/ControlTestSupport.h"

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

using namespace Vaxo;

namespace
{

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
