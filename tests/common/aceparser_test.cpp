// The typed XML parser base: number and boolean texts, escapes, the attribute getters and
// their messages, stepping across include files, and the error trail of Parse.
#include "common/AceParser.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Vaxo;

namespace
{

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

// ---- AceParseInt / AceParseFloat / AceParseBool ----------------------------------------

struct IntCase
{
    const char* text;
    int value;
};

class AceParseIntValue : public ::testing::TestWithParam<IntCase>
{
};

TEST_P(AceParseIntValue, ReadsLikeScanf)
{
    EXPECT_EQ(AceParseInt(GetParam().text, nullptr), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Numbers, AceParseIntValue,
                         ::testing::Values(IntCase{"0x1F", 31}, IntCase{"0X1F", 0}, IntCase{"12abc", 12},
                                           IntCase{" 7", 7}, IntCase{"+7", 7}, IntCase{"-12", -12},
                                           IntCase{"\t\n42", 42}, IntCase{"007", 7}, IntCase{"0x", 0},
                                           IntCase{"0xg", 0}, IntCase{"0x7fffffff", INT_MAX},
                                           IntCase{"0xFFFFFFFF", -1}, IntCase{"0xFF00FF00", int(0xFF00FF00u)},
                                           IntCase{"0x123456789", -1}, IntCase{"2147483647", INT_MAX},
                                           IntCase{"2147483648", INT_MAX},
                                           IntCase{"99999999999999999999", INT_MAX},
                                           IntCase{"-2147483648", INT_MIN},
                                           IntCase{"-99999999999999999999", INT_MIN}, IntCase{"1.9", 1}));

struct BadNumberCase
{
    const char* text;
    const char* context;
    const char* message;
};

class AceParseIntError : public ::testing::TestWithParam<BadNumberCase>
{
};

TEST_P(AceParseIntError, Throws)
{
    EXPECT_EQ(ThrownBy([] { AceParseInt(GetParam().text, GetParam().context); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Numbers, AceParseIntError,
                         ::testing::Values(BadNumberCase{"abc", nullptr, "Integer expected"},
                                           BadNumberCase{"abc", "count", "Integer expected (count)"},
                                           BadNumberCase{"", nullptr, "Integer expected"},
                                           BadNumberCase{"  ", nullptr, "Integer expected"},
                                           BadNumberCase{"-", "n", "Integer expected (n)"},
                                           BadNumberCase{"x10", nullptr, "Integer expected"}));

TEST(Numbers, AceParseFloatReadsLikeScanf)
{
    EXPECT_FLOAT_EQ(AceParseFloat("1.5", nullptr), 1.5f);
    EXPECT_FLOAT_EQ(AceParseFloat(" -2.25x", nullptr), -2.25f);
    EXPECT_FLOAT_EQ(AceParseFloat("+3", nullptr), 3.0f);
    EXPECT_FLOAT_EQ(AceParseFloat("1e3", nullptr), 1000.0f);
    EXPECT_FLOAT_EQ(AceParseFloat(".5", nullptr), 0.5f);
    EXPECT_FLOAT_EQ(AceParseFloat("7.", nullptr), 7.0f);
    EXPECT_FLOAT_EQ(AceParseFloat("2,5", nullptr), 2.0f);
    // Out of range gives infinity rather than undefined behaviour.
    EXPECT_TRUE(std::isinf(AceParseFloat("1e999", nullptr)));
}

TEST(Numbers, AceParseFloatFailures)
{
    EXPECT_EQ(ThrownBy([] { AceParseFloat("abc", "scale"); }), "Float expected (scale)");
    EXPECT_EQ(ThrownBy([] { AceParseFloat("", nullptr); }), "Float expected");
    EXPECT_EQ(ThrownBy([] { AceParseFloat("-", nullptr); }), "Float expected");
}

TEST(Numbers, AceParseBoolWords)
{
    for (const char* t : {"true", "TRUE", "On", "yes", "YES", "1"})
        EXPECT_TRUE(AceParseBool(t, nullptr)) << t;
    for (const char* f : {"false", "Off", "no", "NO", "0"})
        EXPECT_FALSE(AceParseBool(f, nullptr)) << f;
    EXPECT_EQ(ThrownBy([] { AceParseBool("2", "visible"); }), "Boolean expected (visible)");
    EXPECT_EQ(ThrownBy([] { AceParseBool("", nullptr); }), "Boolean expected");
    EXPECT_EQ(ThrownBy([] { AceParseBool(" yes", nullptr); }), "Boolean expected");
}

// ---- ParseStrWithEscapes and StringParser ----------------------------------------------

TEST(Escapes, ParseStrWithEscapes)
{
    struct
    {
        std::string in, out;
    } cases[] = {
        {"a\\nb", "a\nb"}, {"a\\\\n", "a\\n"}, {"a\\t", "at"},     {"plain", "plain"}, {"a\\", "a\\"},
        {"\\", "\\"},      {"\\\\\\", "\\\\"}, {"\\n\\n", "\n\n"}, {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseStrWithEscapes(c.in), c.out) << c.in;
}

TEST(StringParserTest, ReadStringStopsBeforeTheDelimiter)
{
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
}

TEST(StringParserTest, SkipWhitespace)
{
    StringParser p(" \t\r\n x");
    p.SkipWhitespace();
    EXPECT_EQ(p.mPos, 5);
    p.SkipWhitespace();
    EXPECT_EQ(p.mPos, 5);
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

TEST(Getters, ValuesAndDefaults)
{
    const XMLElementEx e = MakeElement();
    EXPECT_EQ(e.GetString("path"), "a/b.xml");
    EXPECT_EQ(e.GetStringReq("PATH"), "a/b.xml");
    EXPECT_EQ(e.GetInt("n", 5), 12);
    EXPECT_EQ(e.GetInt("missing", 5), 5);
    EXPECT_EQ(e.GetIntReq("N"), 12);
    EXPECT_FLOAT_EQ(e.GetFloat("f", 1.0f), 2.5f);
    EXPECT_FLOAT_EQ(e.GetFloat("missing", 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(e.GetFloatReq("f"), 2.5f);
    EXPECT_TRUE(e.GetBool("b", false));
    EXPECT_TRUE(e.GetBool("missing", true));
    EXPECT_TRUE(e.GetBoolReq("b"));
}

TEST(Getters, IfPresentLeavesOutputAloneWhenMissing)
{
    const XMLElementEx e = MakeElement();
    std::string s = "keep";
    int i = 9;
    float f = 9.0f;
    bool b = false;
    EXPECT_FALSE(e.GetStringIfPresent("missing", s));
    EXPECT_FALSE(e.GetIntIfPresent("missing", i));
    EXPECT_FALSE(e.GetFloatIfPresent("missing", f));
    EXPECT_FALSE(e.GetBoolIfPresent("missing", b));
    EXPECT_EQ(s, "keep");
    EXPECT_EQ(i, 9);
    EXPECT_EQ(f, 9.0f);
    EXPECT_FALSE(b);
    EXPECT_TRUE(e.GetStringIfPresent("n", s));
    EXPECT_TRUE(e.GetIntIfPresent("n", i));
    EXPECT_TRUE(e.GetFloatIfPresent("f", f));
    EXPECT_TRUE(e.GetBoolIfPresent("b", b));
    EXPECT_EQ(s, "12");
    EXPECT_EQ(i, 12);
    EXPECT_EQ(f, 2.5f);
    EXPECT_TRUE(b);
}

struct GetterMessageCase
{
    const char* name;
    std::function<void(const XMLElementEx&)> call;
    const char* message;
};

class GetterMessage : public ::testing::TestWithParam<GetterMessageCase>
{
};

TEST_P(GetterMessage, Throws)
{
    const XMLElementEx e = MakeElement();
    EXPECT_EQ(ThrownBy([&] { GetParam().call(e); }), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Getters, GetterMessage,
    ::testing::Values(
        GetterMessageCase{"StringReqMissing", [](const XMLElementEx& e) { e.GetStringReq("id"); },
                          "id parameter required"},
        GetterMessageCase{"IntBadHasNoName", [](const XMLElementEx& e) { e.GetInt("bad", 0); },
                          "Integer expected"},
        GetterMessageCase{"IntReqMissing", [](const XMLElementEx& e) { e.GetIntReq("count"); },
                          "count parameter required"},
        GetterMessageCase{"IntReqBadHasNoName", [](const XMLElementEx& e) { e.GetIntReq("bad"); },
                          "Integer expected"},
        GetterMessageCase{"IntIfPresentBadNamesKey",
                          [](const XMLElementEx& e)
                          {
                              int i;
                              e.GetIntIfPresent("bad", i);
                          },
                          "Integer expected (bad)"},
        GetterMessageCase{"FloatBadNamesKey", [](const XMLElementEx& e) { e.GetFloat("bad", 0); },
                          "Float expected (bad)"},
        GetterMessageCase{"FloatReqMissing", [](const XMLElementEx& e) { e.GetFloatReq("x"); },
                          "x parameter required"},
        GetterMessageCase{"FloatReqBad", [](const XMLElementEx& e) { e.GetFloatReq("bad"); },
                          "Float expected (bad)"},
        GetterMessageCase{"FloatIfPresentBad",
                          [](const XMLElementEx& e)
                          {
                              float f;
                              e.GetFloatIfPresent("bad", f);
                          },
                          "Float expected (bad)"},
        GetterMessageCase{"BoolBadNamesKey", [](const XMLElementEx& e) { e.GetBool("n", false); },
                          "Boolean expected (n)"},
        GetterMessageCase{"BoolReqMissing", [](const XMLElementEx& e) { e.GetBoolReq("on"); },
                          "on parameter required"},
        GetterMessageCase{"BoolIfPresentBad",
                          [](const XMLElementEx& e)
                          {
                              bool b;
                              e.GetBoolIfPresent("f", b);
                          },
                          "Boolean expected (f)"}),
    [](const ::testing::TestParamInfo<GetterMessageCase>& info) { return std::string(info.param.name); });

TEST(Getters, MissingStringStaysValidAfterTheElementChanges)
{
    XMLElementEx e;
    const std::string& missing = e.GetString("nothing");
    XMLParser p;
    p.AddAttribute(&e, "nothing", "now here");
    e.mAttributes.clear();
    EXPECT_EQ(missing, "");
    EXPECT_EQ(&e.GetString("other"), &missing);
}

// ---- Parsing files ---------------------------------------------------------------------

namespace
{

class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/aceparser_test_XXXXXX";
        mPath = mkdtemp(tmpl);
        mPath += "/";
    }
    ~TempDir() { std::system(("rm -rf '" + mPath + "'").c_str()); }
    std::string Write(const std::string& name, const std::string& text) const
    {
        std::string path = mPath + name;
        size_t slash = name.rfind('/');
        if (slash != std::string::npos)
            mkdir((mPath + name.substr(0, slash)).c_str(), 0700);
        FILE* f = fopen(path.c_str(), "wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        return path;
    }
    std::string mPath;
};

// Walks every element, following "IncludeFile"; a test may replace the walk.
class WalkParser : public AceParser
{
public:
    void DoParse() override
    {
        if (mBody)
        {
            mBody(*this);
            return;
        }
        while (NextElement())
        {
            const XMLElementEx& e = mCurrentElement;
            std::string where = GetFileName(mCurrentParser->GetFileName()) + ":" +
                                std::to_string(mCurrentParser->GetCurrentLineNum());
            if (e.mType == XMLElement::TYPE_START)
                mSeen.push_back("S:" + e.mValue + "@" + where);
            else if (e.mType == XMLElement::TYPE_END)
                mSeen.push_back("E:" + e.mValue + "@" + where);
            else if (e.mType == XMLElement::TYPE_ELEMENT)
                mSeen.push_back("T:" + e.mValue + "@" + where);
            if (e.mType == XMLElement::TYPE_START && e.mValue == "IncludeFile")
                DoInclude();
        }
    }

    size_t OpenFiles() const { return mIncludeStack.size(); }
    bool HasCurrentParser() const { return mCurrentParser != nullptr; }

    using AceParser::EndElement;
    using AceParser::mCurrentElement;
    using AceParser::mCurrentParser;
    using AceParser::NextElement;
    using AceParser::NextElementReq;
    using AceParser::ThrowUnexpectedElement;

    std::function<void(WalkParser&)> mBody;
    std::vector<std::string> mSeen;
};

typedef std::vector<std::string> Lines;

} // namespace

TEST(Parse, IncludedFileReturnsToTheElementAfterTheInclude)
{
    TempDir dir;
    dir.Write("main.xml", "<Game>\n<IncludeFile path=\"inc.xml\"/>\n<After/>\n</Game>");
    dir.Write("inc.xml", "<Inner>x</Inner>");
    WalkParser p;
    ASSERT_TRUE(p.Parse(dir.mPath + "main.xml")) << p.GetError();
    EXPECT_EQ(p.mSeen,
              (Lines{"S:Game@main.xml:1", "S:IncludeFile@main.xml:2", "S:Inner@inc.xml:1", "T:x@inc.xml:1",
                     "E:Inner@inc.xml:1", "S:After@main.xml:3", "E:After@main.xml:3", "E:Game@main.xml:4"}));
    EXPECT_EQ(p.GetError(), "");
}

TEST(Parse, IncludePathsAreRelativeToTheIncludingFile)
{
    TempDir dir;
    dir.Write("main.xml", "<IncludeFile Path=\"sub/a.xml\"/>");
    dir.Write("sub/a.xml", "<A/><IncludeFile path=\"b.xml\"/>");
    dir.Write("sub/b.xml", "<B/>");
    WalkParser p;
    ASSERT_TRUE(p.Parse(dir.mPath + "main.xml")) << p.GetError();
    EXPECT_EQ(p.mSeen, (Lines{"S:IncludeFile@main.xml:1", "S:A@a.xml:1", "E:A@a.xml:1",
                              "S:IncludeFile@a.xml:1", "S:B@b.xml:1", "E:B@b.xml:1"}));
}

TEST(Parse, ErrorTrailNamesEveryOpenFileInnermostFirst)
{
    TempDir dir;
    dir.Write("main.xml", "<Game>\n\n<IncludeFile path=\"sub/inc.xml\"/>\n</Game>");
    dir.Write("sub/inc.xml", "<Inner>\n</Other>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "End 'Other' Doesn't Match Start 'Inner' (" + dir.mPath + "sub/inc.xml:2) (" +
                                dir.mPath + "main.xml:3)");
    EXPECT_EQ(p.OpenFiles(), 0u);
    EXPECT_FALSE(p.HasCurrentParser());
}

TEST(Parse, IncludeWithContentExpectsEndElement)
{
    TempDir dir;
    dir.Write("main.xml", "<IncludeFile path=\"inc.xml\">text</IncludeFile>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "Expecting end element (" + dir.mPath + "main.xml:1)");
}

TEST(Parse, IncludeWithoutPathIsRequired)
{
    TempDir dir;
    dir.Write("main.xml", "<IncludeFile file=\"inc.xml\"/>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "path parameter required (" + dir.mPath + "main.xml:1)");
}

TEST(Parse, MissingIncludeKeepsItsFailedParserOnTheTrail)
{
    TempDir dir;
    dir.Write("main.xml", "<a>\n<IncludeFile path=\"none.xml\"/>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "File not found: " + dir.mPath + "none.xml (:0) (" + dir.mPath + "main.xml:2)");
}

TEST(Parse, MissingTopFile)
{
    WalkParser p;
    EXPECT_FALSE(p.Parse("/nonexistent/game.xml"));
    EXPECT_EQ(p.GetError(), "File not found: /nonexistent/game.xml (:0)");
}

TEST(Parse, IncludeNestingIsCapped)
{
    TempDir dir;
    dir.Write("loop.xml", "<IncludeFile path=\"loop.xml\"/>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "loop.xml"));
    std::string expected = "Include files nested deeper than 64: " + dir.mPath + "loop.xml";
    EXPECT_EQ(p.GetError().substr(0, expected.size()), expected);
    // One trail entry per open file.
    size_t entries = 0;
    for (size_t at = 0; (at = p.GetError().find(" (", at)) != std::string::npos; ++at)
        ++entries;
    EXPECT_EQ(entries, size_t(AceParser::kMaxIncludeDepth));
    EXPECT_EQ(p.OpenFiles(), 0u);
}

TEST(Parse, EndOfOutermostFile)
{
    TempDir dir;
    dir.Write("main.xml", "<a/>");
    WalkParser p;
    std::vector<std::string> log;
    p.mBody = [&log](WalkParser& w)
    {
        log.push_back(w.NextElement(XMLElement::TYPE_START) ? "start" : "end");
        w.EndElement();
        log.push_back(w.NextElement(XMLElement::TYPE_START) ? "start" : "end");
        w.NextElementReq(XMLElement::TYPE_START);
    };
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(log, (Lines{"start", "end"}));
    EXPECT_EQ(p.GetError(), "Expecting start element (" + dir.mPath + "main.xml:1)");
}

TEST(Parse, WrongElementTypeIsThrown)
{
    TempDir dir;
    dir.Write("main.xml", "<a>text</a>");
    WalkParser p;
    p.mBody = [](WalkParser& w)
    {
        w.NextElement(XMLElement::TYPE_START);
        w.NextElement(XMLElement::TYPE_START);
    };
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "Expecting start element (" + dir.mPath + "main.xml:1)");
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

TEST(Parse, XMLErrorSeenOnlyByTheParserIsStillReported)
{
    // The subclass reads the tokenizer itself and stops at false: no exception.
    TempDir dir;
    dir.Write("main.xml", "<a>\n>");
    WalkParser p;
    p.mBody = [](WalkParser& w)
    {
        XMLElement e;
        while (w.mCurrentParser->NextElement(&e))
        {
        }
    };
    EXPECT_FALSE(p.Parse(dir.mPath + "main.xml"));
    EXPECT_EQ(p.GetError(), "Unexpected '>' (" + dir.mPath + "main.xml:2)");
}

TEST(Parse, ParserIsReusableAndStartsClean)
{
    TempDir dir;
    dir.Write("bad.xml", "</a>");
    dir.Write("good.xml", "<a/>");
    WalkParser p;
    EXPECT_FALSE(p.Parse(dir.mPath + "bad.xml"));
    EXPECT_EQ(p.GetError(), "Unexpected End (" + dir.mPath + "bad.xml:1)");
    p.mSeen.clear();
    EXPECT_TRUE(p.Parse(dir.mPath + "good.xml"));
    EXPECT_EQ(p.GetError(), "");
    EXPECT_EQ(p.mSeen.size(), 2u);
}

TEST(Parse, OtherExceptionsPassThrough)
{
    TempDir dir;
    dir.Write("main.xml", "<a/>");
    WalkParser p;
    p.mBody = [](WalkParser&) { throw std::runtime_error("not ours"); };
    EXPECT_THROW(p.Parse(dir.mPath + "main.xml"), std::runtime_error);
}

TEST(Parse, StepsOutsideParseFindNothing)
{
    WalkParser p;
    EXPECT_FALSE(p.NextElement());
}
