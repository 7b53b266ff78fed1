// The typed XML parser base and its exception: number and boolean texts, escapes, the
// attribute getters and their messages, stepping across include files, and the error trail
// of Parse.
#include "common/AceParser.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

typedef std::vector<std::string> Lines;

// The message of the AceException the call throws, or "no exception".
template <typename F> std::string ThrownBy(F f)
{
    try
    {
        f();
    }
    catch (const AceException& e)
    {
        return e.mMessage;
    }
    return "no exception";
}

} // namespace

TEST(ThrowAceException, FormatsPrintfStyleAndWhatGivesTheMessage)
{
    const std::string longText(300, 'x');
    EXPECT_EQ(ThrownBy([] { ThrowAceException("DataSync: id %d of %u", 42, 7u); }), "DataSync: id 42 of 7");
    EXPECT_EQ(ThrownBy([&] { ThrowAceException("%s!", longText.c_str()); }), longText + "!");
    EXPECT_STREQ(static_cast<const std::exception&>(AceException("text")).what(), "text");
}

// ---- AceParseInt / AceParseFloat / AceParseBool ----------------------------------------

TEST(Numbers, AceParseIntReadsLikeScanfAndSaturates)
{
    const std::pair<const char*, int> cases[] = {
        {"0x1F", 31},   {"0X1F", 0}, {"12abc", 12}, {" 7", 7},  {"+7", 7},  {"-12", -12},
        {"\t\n42", 42}, {"007", 7},  {"0x", 0},     {"0xg", 0}, {"1.9", 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(AceParseInt(text, nullptr), value) << text;
    const std::pair<const char*, int> beyond32Bits[] = {
        {"0xFF00FF00", -16711936},
        {"0x123456789", -1},
        {"2147483648", 2147483647},
        {"-99999999999999999999", -2147483648},
    };
    for (const auto& [text, value] : beyond32Bits)
        EXPECT_EQ(AceParseInt(text, nullptr), value) << text;
}

TEST(Numbers, AceParseFloatAndBool)
{
    EXPECT_FLOAT_EQ(AceParseFloat("1.5", nullptr), 1.5f);
    EXPECT_FLOAT_EQ(AceParseFloat(" -2.25x", nullptr), -2.25f);
    EXPECT_FLOAT_EQ(AceParseFloat("1e3", nullptr), 1000.0f);
    EXPECT_FLOAT_EQ(AceParseFloat("2,5", nullptr), 2.0f);
    EXPECT_TRUE(std::isinf(AceParseFloat("1e999", nullptr))); // not undefined behaviour
    for (const char* t : {"true", "TRUE", "On", "yes", "YES", "1"})
        EXPECT_TRUE(AceParseBool(t, nullptr)) << t;
    for (const char* f : {"false", "Off", "no", "NO", "0"})
        EXPECT_FALSE(AceParseBool(f, nullptr)) << f;
}

TEST(Numbers, FailuresNameTheContextWhenThereIsOne)
{
    EXPECT_EQ(ThrownBy([] { AceParseInt("abc", nullptr); }), "Integer expected");
    EXPECT_EQ(ThrownBy([] { AceParseInt("abc", "count"); }), "Integer expected (count)");
    EXPECT_EQ(ThrownBy([] { AceParseInt("", nullptr); }), "Integer expected");
    EXPECT_EQ(ThrownBy([] { AceParseInt("-", "n"); }), "Integer expected (n)");
    EXPECT_EQ(ThrownBy([] { AceParseFloat("abc", "scale"); }), "Float expected (scale)");
    EXPECT_EQ(ThrownBy([] { AceParseFloat("-", nullptr); }), "Float expected");
    EXPECT_EQ(ThrownBy([] { AceParseBool("2", "visible"); }), "Boolean expected (visible)");
    EXPECT_EQ(ThrownBy([] { AceParseBool(" yes", nullptr); }), "Boolean expected");
}

// ---- ParseStrWithEscapes and StringParser ----------------------------------------------

TEST(Escapes, ParseStrWithEscapesAndStringParser)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a\\nb", "a\nb"}, {"a\\\\n", "a\\n"}, {"a\\t", "at"},     {"plain", "plain"}, {"a\\", "a\\"},
        {"\\", "\\"},      {"\\\\\\", "\\\\"}, {"\\n\\n", "\n\n"}, {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ParseStrWithEscapes(in), out) << in;
    StringParser p("  alpha, beta ;gamma");
    EXPECT_EQ(p.ReadString(",;"), "alpha");
    EXPECT_EQ(p.mPos, 7);
    EXPECT_EQ(p.ReadString(",;"), ""); // the delimiter was left unread
    p.mPos++;
    EXPECT_EQ(p.ReadString(",;"), "beta ");
    p.mPos++;
    EXPECT_EQ(p.ReadString(",;"), "gamma");
    EXPECT_TRUE(p.AtEnd());
    EXPECT_EQ(p.ReadString(",;"), "");
    StringParser blanks(" \t\r\n x");
    blanks.SkipWhitespace();
    EXPECT_EQ(blanks.mPos, 5);
    blanks.SkipWhitespace();
    EXPECT_EQ(blanks.mPos, 5);
}

// ---- XMLElementEx getters --------------------------------------------------------------

namespace
{

XMLElementEx MakeElement()
{
    XMLElementEx e;
    XMLParser p;
    p.AddAttribute(&e, "n", "12");
    p.AddAttribute(&e, "bad", "x");
    p.AddAttribute(&e, "f", "2.5");
    p.AddAttribute(&e, "b", "Yes");
    p.AddAttribute(&e, "Path", "a/b.xml");
    return e;
}

} // namespace

TEST(Getters, ValuesDefaultsAndIfPresent)
{
    const XMLElementEx e = MakeElement();
    EXPECT_EQ(e.GetString("path"), "a/b.xml");
    EXPECT_EQ(e.GetStringReq("PATH"), "a/b.xml");
    EXPECT_EQ(e.GetInt("n", 5), 12);
    EXPECT_EQ(e.GetInt("missing", 5), 5);
    EXPECT_EQ(e.GetIntReq("N"), 12);
    EXPECT_FLOAT_EQ(e.GetFloat("f", 1.0f), 2.5f);
    EXPECT_FLOAT_EQ(e.GetFloat("missing", 1.0f), 1.0f);
    EXPECT_TRUE(e.GetBool("b", false));
    EXPECT_TRUE(e.GetBool("missing", true));
    EXPECT_TRUE(e.GetBoolReq("b"));
    std::string s = "keep";
    int i = 9;
    float f = 9.0f;
    bool b = false;
    EXPECT_FALSE(e.GetStringIfPresent("missing", s));
    EXPECT_FALSE(e.GetIntIfPresent("missing", i));
    EXPECT_FALSE(e.GetFloatIfPresent("missing", f));
    EXPECT_FALSE(e.GetBoolIfPresent("missing", b));
    EXPECT_EQ(std::make_tuple(s, i, f, b), std::make_tuple(std::string("keep"), 9, 9.0f, false));
    EXPECT_TRUE(e.GetStringIfPresent("n", s));
    EXPECT_TRUE(e.GetIntIfPresent("n", i));
    EXPECT_TRUE(e.GetFloatIfPresent("f", f));
    EXPECT_TRUE(e.GetBoolIfPresent("b", b));
    EXPECT_EQ(std::make_tuple(s, i, f, b), std::make_tuple(std::string("12"), 12, 2.5f, true));
}

TEST(Getters, MessagesNameTheKeyAndMissingStringsStayValid)
{
    const XMLElementEx e = MakeElement();
    int i;
    EXPECT_EQ(ThrownBy([&] { e.GetStringReq("id"); }), "id parameter required");
    EXPECT_EQ(ThrownBy([&] { e.GetInt("bad", 0); }), "Integer expected");
    EXPECT_EQ(ThrownBy([&] { e.GetIntReq("bad"); }), "Integer expected");
    EXPECT_EQ(ThrownBy([&] { e.GetIntIfPresent("bad", i); }), "Integer expected (bad)");
    EXPECT_EQ(ThrownBy([&] { e.GetFloatReq("bad"); }), "Float expected (bad)");
    EXPECT_EQ(ThrownBy([&] { e.GetBool("n", false); }), "Boolean expected (n)");
    XMLElementEx e2;
    const std::string& missing = e2.GetString("nothing");
    XMLParser p;
    p.AddAttribute(&e2, "nothing", "now here");
    e2.mAttributes.clear();
    EXPECT_EQ(missing, "");
    EXPECT_EQ(&e2.GetString("other"), &missing);
}

// ---- Parsing files ---------------------------------------------------------------------

namespace
{

// Walks every element as "S:name@file:line", following "IncludeFile"; a test may replace the walk.
class WalkParser : public AceParser
{
public:
    void DoParse() override
    {
        static const char* const kKind[] = {"?", "S:", "E:", "T:"};
        if (mBody)
            return mBody(*this);
        while (NextElement())
        {
            const XMLElementEx& e = mCurrentElement;
            if (e.mType >= XMLElement::TYPE_START && e.mType <= XMLElement::TYPE_ELEMENT)
                mSeen.push_back(kKind[e.mType] + e.mValue + "@" + GetFileName(mCurrentParser->GetFileName()) +
                                ":" + std::to_string(mCurrentParser->GetCurrentLineNum()));
            if (e.mType == XMLElement::TYPE_START && e.mValue == "IncludeFile")
                DoInclude();
        }
    }

    using AceParser::EndElement;
    using AceParser::mCurrentParser;
    using AceParser::mIncludeStack;
    using AceParser::NextElement;
    using AceParser::NextElementReq;
    using AceParser::ThrowUnexpectedElement;

    std::function<void(WalkParser&)> mBody;
    Lines mSeen;
};

} // namespace

TEST(Parse, IncludesAreRelativeToTheIncludingFileAndReturnAfterTheInclude)
{
    TestFolder dir;
    dir.Write("main.xml", "<Game>\n<IncludeFile path=\"sub/a.xml\"/>\n<After/>\n</Game>");
    dir.Write("sub/a.xml", "<A>x</A><IncludeFile Path=\"b.xml\"/>");
    dir.Write("sub/b.xml", "<B/>");
    WalkParser p;
    ASSERT_TRUE(p.Parse(dir.mPath + "main.xml")) << p.GetError();
    EXPECT_EQ(p.mSeen, (Lines{"S:Game@main.xml:1", "S:IncludeFile@main.xml:2", "S:A@a.xml:1", "T:x@a.xml:1",
                              "E:A@a.xml:1", "S:IncludeFile@a.xml:1", "S:B@b.xml:1", "E:B@b.xml:1",
                              "S:After@main.xml:3", "E:After@main.xml:3", "E:Game@main.xml:4"}));
    EXPECT_EQ(p.GetError(), "");
}

TEST(Parse, ErrorTrailNamesEveryOpenFileInnermostFirst)
{
    // "@" stands for the folder of the files; sub/inc.xml holds "<Inner>\n</Other>".
    const std::pair<const char*, const char*> cases[] = {
        {"<Game>\n\n<IncludeFile path=\"sub/inc.xml\"/>\n</Game>",
         "End 'Other' Doesn't Match Start 'Inner' (@sub/inc.xml:2) (@main.xml:3)"},
        {"<IncludeFile path=\"inc.xml\">text</IncludeFile>", "Expecting end element (@main.xml:1)"},
        {"<IncludeFile file=\"inc.xml\"/>", "path parameter required (@main.xml:1)"},
        {"<a>\n<IncludeFile path=\"none.xml\"/>", "File not found: @none.xml (:0) (@main.xml:2)"},
        {"</a>", "Unexpected End (@main.xml:1)"},
    };
    TestFolder dir;
    dir.Write("sub/inc.xml", "<Inner>\n</Other>");
    WalkParser p; // one parser for all: each Parse starts clean
    for (const auto& [main, error] : cases)
    {
        std::string expected = error;
        for (size_t at = 0; (at = expected.find('@', at)) != std::string::npos; at += dir.mPath.size())
            expected.replace(at, 1, dir.mPath);
        EXPECT_FALSE(p.Parse(dir.Write("main.xml", main)));
        EXPECT_EQ(p.GetError(), expected);
        EXPECT_TRUE(p.mIncludeStack.empty());
        EXPECT_EQ(p.mCurrentParser, nullptr);
    }
    EXPECT_FALSE(p.Parse("/nonexistent/game.xml"));
    EXPECT_EQ(p.GetError(), "File not found: /nonexistent/game.xml (:0)");
    p.mSeen.clear();
    EXPECT_TRUE(p.Parse(dir.Write("main.xml", "<a/>")));
    EXPECT_EQ(p.GetError(), "");
    EXPECT_EQ(p.mSeen, (Lines{"S:a@main.xml:1", "E:a@main.xml:1"}));
}

TEST(Parse, IncludeNestingIsCapped)
{
    TestFolder dir;
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.Write("loop.xml", "<IncludeFile path=\"loop.xml\"/>")));
    std::string expected = "Include files nested deeper than 64: " + dir.mPath + "loop.xml";
    EXPECT_EQ(p.GetError().substr(0, expected.size()), expected);
    size_t entries = 0; // one trail entry per open file
    for (size_t at = 0; (at = p.GetError().find(" (", at)) != std::string::npos; ++at)
        ++entries;
    EXPECT_EQ(entries, size_t(AceParser::kMaxIncludeDepth));
    EXPECT_TRUE(p.mIncludeStack.empty());
}

TEST(Parse, SteppingPastTheEndOrToAnotherTypeIsThrown)
{
    TestFolder dir;
    std::string empty = dir.Write("empty.xml", "<a/>"), text = dir.Write("text.xml", "<a>text</a>");
    WalkParser p;
    Lines log;
    p.mBody = [&log](WalkParser& w)
    {
        log.push_back(w.NextElement(XMLElement::TYPE_START) ? "start" : "end");
        w.EndElement();
        log.push_back(w.NextElement(XMLElement::TYPE_START) ? "start" : "end");
        w.NextElementReq(XMLElement::TYPE_START);
    };
    EXPECT_FALSE(p.Parse(empty));
    EXPECT_EQ(log, (Lines{"start", "end"}));
    EXPECT_EQ(p.GetError(), "Expecting start element (" + empty + ":1)");
    p.mBody = [](WalkParser& w)
    {
        w.NextElement(XMLElement::TYPE_START);
        w.NextElement(XMLElement::TYPE_START);
    };
    EXPECT_FALSE(p.Parse(text));
    EXPECT_EQ(p.GetError(), "Expecting start element (" + text + ":1)");
}

TEST(Parse, ThrowUnexpectedElementNamesTheExpectedType)
{
    const char* expected[] = {
        "Unexpected Element",     "Expecting start element",       "Expecting end element",
        "Expecting element text", "Expecting instruction element", "Expecting comment element",
        "Unexpected Element"};
    WalkParser p;
    for (int type = 0; type <= 6; ++type)
        EXPECT_EQ(ThrownBy([&] { p.ThrowUnexpectedElement(type); }), expected[type]) << type;
}

TEST(Parse, TokenizerErrorsAndForeignExceptions)
{
    // The subclass reads the tokenizer itself and stops at false: no exception.
    TestFolder dir;
    std::string path = dir.Write("main.xml", "<a>\n>");
    WalkParser p;
    p.mBody = [](WalkParser& w)
    {
        XMLElement e;
        while (w.mCurrentParser->NextElement(&e))
        {
        }
    };
    EXPECT_FALSE(p.Parse(path));
    EXPECT_EQ(p.GetError(), "Unexpected '>' (" + path + ":2)");
    TestFolder dir2;
    WalkParser p2;
    EXPECT_FALSE(p2.NextElement());
    p2.mBody = [](WalkParser&) { throw std::runtime_error("not ours"); };
    EXPECT_THROW(p2.Parse(dir2.Write("main.xml", "<a/>")), std::runtime_error);
}
