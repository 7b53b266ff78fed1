// Font descriptor language: reading commands from files, splitting them into values,
// and the conversions of values.
#include "graphics/FontDescriptor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

// A parser that writes down every command (printable form and line) and every error.
class ScriptParser : public DescParser
{
public:
    std::vector<std::string> mCommands;
    std::vector<int> mLines;
    std::vector<std::string> mErrors;
    bool mResult = true;

    bool Error(const std::string& message) override
    {
        mErrors.push_back(message);
        return DescParser::Error(message);
    }
    bool HandleCommand(const ListDataElement& command) override
    {
        mCommands.push_back(DataElementToString(&command));
        mLines.push_back(mCurrentLineNum);
        return mResult;
    }
    // Defines name as a define command would: a list resolved, a single value as written.
    void DefineFromText(const std::string& name, const std::string& text)
    {
        ListDataElement parsed;
        ASSERT_TRUE(ParseToList(text, &parsed, false, nullptr));
        ASSERT_EQ(parsed.mElementVector.size(), 1u);
        DataElement* value = parsed.mElementVector[0];
        if (value->mIsList)
        {
            auto* resolved = new ListDataElement();
            ASSERT_TRUE(GetValues(static_cast<ListDataElement*>(value), resolved));
            value = resolved;
        }
        else
            value = value->Duplicate();
        ASSERT_TRUE(SetDefine(name, value));
    }
    using DescParser::SetDefine;
};

class TempFile
{
public:
    explicit TempFile(const std::string& contents)
    {
        char pattern[] = "/tmp/vaxo_fontdesc_XXXXXX";
        const char* dir = mkdtemp(pattern);
        EXPECT_NE(dir, nullptr);
        mDir = dir != nullptr ? dir : "/tmp";
        mPath = mDir + "/font.txt";
        FILE* f = std::fopen(mPath.c_str(), "wb");
        std::fwrite(contents.data(), 1, contents.size(), f);
        std::fclose(f);
    }
    ~TempFile()
    {
        std::remove(mPath.c_str());
        std::remove(mDir.c_str());
    }
    const std::string& Path() const { return mPath; }

private:
    std::string mDir;
    std::string mPath;
};

struct Loaded
{
    bool result;
    std::vector<std::string> commands;
    std::vector<int> lines;
    std::vector<std::string> errors;
};

Loaded LoadText(const std::string& text, bool commandResult = true)
{
    TempFile file(text);
    ScriptParser parser;
    parser.mResult = commandResult;
    Loaded out;
    out.result = parser.LoadDescriptor(file.Path());
    out.commands = parser.mCommands;
    out.lines = parser.mLines;
    out.errors = parser.mErrors;
    EXPECT_EQ(parser.mCurrentLineNum, 0);
    EXPECT_TRUE(parser.mCurrentLine.empty());
    return out;
}

// ---- Reading commands from a file ----------------------------------------------------------

struct SplitCase
{
    const char* text;
    std::vector<std::string> commands;
};

TEST(DescriptorFile, SplitsCommandsAsTheLanguageDefines)
{
    const SplitCase cases[] = {
        {"A B;C", {"(A, B)", "(C)"}},
        {"A 'x;y';", {"(A, 'x;y')"}},
        {"A \"x;y\" z;", {"(A, \"x;y\", z)"}},
        {"A \"it's\";B", {"(A, \"it's\")", "(B)"}},
        {"# a comment\nA;", {"(A)"}},
        {"   \t# indented comment ; still comment\nA;", {"(A)"}},
        {"A #B;", {"(A, #B)"}},
        {"A; # after a semicolon\nB;", {"(A)", "(B)"}},
        {"A 1\nB 2;", {"(A, 1, B, 2)"}},
        {"Last without semicolon", {"(Last, without, semicolon)"}},
        {"A;;;  ;\n\n;B", {"(A)", "(B)"}},
        {"A\r\n B\r;", {"(A, B)"}},
        {"A 'x\\';y';", {"(A, 'x';y')"}},
        {"A x\\;y;", {"(A, x)", "(y)"}},
        {"A 'multi\n    line';", {"(A, 'multi\nline')"}},
    };
    for (const SplitCase& c : cases)
    {
        Loaded loaded = LoadText(c.text);
        EXPECT_TRUE(loaded.result) << c.text;
        EXPECT_EQ(loaded.commands, c.commands) << c.text;
    }
}

TEST(DescriptorFile, BlankAndCommentOnlyTextsReachNoCommand)
{
    for (const char* text : {"", "   \n\t\n", "# only\n# comments", ";;;", "  ; # c ;\n ;"})
    {
        Loaded loaded = LoadText(text);
        EXPECT_TRUE(loaded.result) << text;
        EXPECT_TRUE(loaded.commands.empty()) << text;
    }
}

TEST(DescriptorFile, LineNumberIsWhereTheCommandStarts)
{
    Loaded loaded = LoadText("\n\n# comment\nFourth;\nFifth\nstill fifth; Sixth;\r\n\r\n  Eighth");
    ASSERT_EQ(loaded.commands.size(), 4u);
    EXPECT_EQ(loaded.lines, (std::vector<int>{4, 5, 6, 8}));
}

TEST(DescriptorFile, FirstFailingCommandEndsTheLoad)
{
    Loaded loaded = LoadText("A;B;C;", false);
    EXPECT_FALSE(loaded.result);
    EXPECT_EQ(loaded.commands, (std::vector<std::string>{"(A)"}));

    Loaded parseError = LoadText("A;B x(1);C;");
    EXPECT_FALSE(parseError.result);
    EXPECT_EQ(parseError.commands, (std::vector<std::string>{"(A)"}));
    EXPECT_EQ(parseError.errors, (std::vector<std::string>{"Unexpected List Start"}));
}

TEST(DescriptorFile, MissingFileFailsWithoutAnError)
{
    ScriptParser parser;
    parser.mError = "old";
    EXPECT_FALSE(parser.LoadDescriptor("/nonexistent/vaxo/font.txt"));
    EXPECT_TRUE(parser.mErrors.empty());
    EXPECT_EQ(parser.mError, "");
}

TEST(DescriptorFile, ErrorSeesTheCommandAndItsLine)
{
    class Watching : public ScriptParser
    {
    public:
        std::string mSeenLine;
        int mSeenNum = 0;
        bool HandleCommand(const ListDataElement&) override
        {
            mSeenLine = mCurrentLine;
            mSeenNum = mCurrentLineNum;
            return false;
        }
    };
    TempFile file("\nFirst\n  'a;b' (1);");
    Watching parser;
    EXPECT_FALSE(parser.LoadDescriptor(file.Path()));
    EXPECT_EQ(parser.mSeenLine, "First\n'a;b' (1)");
    EXPECT_EQ(parser.mSeenNum, 2);
}

TEST(DescriptorFile, HundredThousandOpeningParenthesesAreRefused)
{
    Loaded loaded = LoadText("A " + std::string(100000, '(') + ";");
    EXPECT_FALSE(loaded.result);
    EXPECT_EQ(loaded.errors, (std::vector<std::string>{"List Nesting Too Deep"}));
}

// ---- Splitting one command ---------------------------------------------------------------------

struct ParseCase
{
    const char* text;
    bool ok;
    const char* printed; // the parsed elements as a list
    const char* error;   // "" when none
};

TEST(DescriptorSplit, ValuesListsAndErrors)
{
    const ParseCase cases[] = {
        {"A (1, 2 (3))", true, "(A, (1, 2, (3)))", ""},
        {"A,B\t C\nD", true, "(A, B, C, D)", ""},
        {"A ()", true, "(A, ())", ""},
        {"A (1)x", true, "(A, (1), x)", ""},
        {"A b\\,c", true, "(A, b,c)", ""},
        {"A \\'x", true, "(A, 'x)", ""},
        {"A 'a b, (c)'", true, "(A, 'a b, (c)')", ""},
        {"A '\"' \"'\"", true, "(A, '\"', \"'\")", ""},
        {"A 'x\\'y'", true, "(A, 'x'y')", ""},
        {"A x(1)", false, "(A, x)", "Unexpected List Start"},
        {"A 1)", false, "(A, 1)", "Unexpected List End"},
        {"A (1", false, "(A, (1))", "Unterminated List"},
        {"A (1 'x", false, "(A, (1, 'x))", "Unterminated Single Quotes"},
        {"A \"x", false, "(A, \"x)", "Unterminated Double Quotes"},
    };
    for (const ParseCase& c : cases)
    {
        ScriptParser parser;
        ListDataElement list;
        EXPECT_EQ(parser.ParseToList(c.text, &list, false, nullptr), c.ok) << c.text;
        EXPECT_EQ(DescParser::DataElementToString(&list), c.printed) << c.text;
        EXPECT_EQ(parser.mError, c.error) << c.text;
    }
}

TEST(DescriptorSplit, CommandStartingWithAListIsMissingItsCommand)
{
    ScriptParser parser;
    EXPECT_FALSE(parser.ParseDescriptorLine("(A) B"));
    EXPECT_EQ(parser.mErrors, (std::vector<std::string>{"Missing Command"}));
    EXPECT_TRUE(parser.mCommands.empty());
    EXPECT_TRUE(parser.ParseDescriptorLine(" , "));
    EXPECT_TRUE(parser.mCommands.empty());
}

TEST(DescriptorSplit, SharedPositionContinuesAfterTheList)
{
    ScriptParser parser;
    ListDataElement list;
    int pos = 0;
    EXPECT_TRUE(parser.ParseToList("1 2) rest", &list, true, &pos));
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(DescParser::DataElementToString(&list), "(1, 2)");
}

TEST(DescriptorSplit, NestingDepthIsCapped)
{
    ScriptParser parser;
    std::string deepest =
        "A " + std::string(DescParser::kMaxListDepth, '(') + std::string(DescParser::kMaxListDepth, ')');
    ListDataElement ok;
    EXPECT_TRUE(parser.ParseToList(deepest, &ok, false, nullptr));
    EXPECT_EQ(DataElementDepth(&ok), DescParser::kMaxListDepth + 1);

    ListDataElement tooDeep;
    EXPECT_FALSE(parser.ParseToList("A (" + deepest.substr(2) + ")", &tooDeep, false, nullptr));
    EXPECT_EQ(parser.mError, "List Nesting Too Deep");
}

// ---- Small helpers -----------------------------------------------------------------------------

TEST(DescriptorText, Unquote)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abc", "abc"},
        {"'it''s'", "it's"},
        {"\"a\"\"b\"", "a\"b"},
        {"'a''''b'", "a'''b"},
        {"'a\"b'", "a\"b"},
        {"''", "'"},
        {"'", ""},
        {"a'b", "a'b"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescParser::Unquote(c.first), c.second) << c.first;
}

TEST(DescriptorText, IsImmediate)
{
    const std::pair<std::string, bool> cases[] = {
        {"0", true},    {"9x", true},  {"-1", true}, {"+1", true},  {"'a'", true}, {"\"a\"", true},
        {"abc", false}, {"_1", false}, {"", false},  {".5", false}, {"#1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescParser::IsImmediate(c.first), c.second) << c.first;
}

TEST(DescriptorValues, DataElementsCopyDeeply)
{
    ListDataElement list;
    ScriptParser parser;
    ASSERT_TRUE(parser.ParseToList("a (b (c))", &list, false, nullptr));
    std::unique_ptr<DataElement> copy(list.Duplicate());
    static_cast<SingleDataElement*>(list.mElementVector[0])->mString = "changed";
    EXPECT_EQ(DescParser::DataElementToString(copy.get()), "(a, (b, (c)))");

    ListDataElement assigned;
    assigned.mElementVector.push_back(new SingleDataElement("old"));
    assigned = list;
    EXPECT_EQ(DescParser::DataElementToString(&assigned), "(changed, (b, (c)))");
    EXPECT_EQ(DataElementCount(&assigned), 6);
}

// ---- Conversions -------------------------------------------------------------------------------

class DescriptorConvert : public ::testing::Test
{
protected:
    ListDataElement Parse(const std::string& text)
    {
        ListDataElement list;
        EXPECT_TRUE(parser.ParseToList(text, &list, false, nullptr)) << text;
        return list;
    }
    ScriptParser parser;
};

TEST_F(DescriptorConvert, DataToStringUnquotesAndFollowsSingleDefines)
{
    parser.DefineFromText("Word", "'hello'");
    parser.DefineFromText("Pair", "(1 2)");
    ListDataElement list = Parse("'it''s' plain word WORD pair (x)");
    const std::pair<bool, std::string> expected[] = {
        {true, "it's"}, {true, "plain"}, {true, "hello"}, {true, "hello"}, {false, ""}, {false, ""},
    };
    for (size_t i = 0; i < list.mElementVector.size(); ++i)
    {
        std::string out = "junk";
        EXPECT_EQ(parser.DataToString(list.mElementVector[i], &out), expected[i].first) << i;
        EXPECT_EQ(out, expected[i].second) << i;
    }
    int value = 7;
    ListDataElement ints = Parse("'12' 0x1F abc");
    EXPECT_TRUE(parser.DataToInt(ints.mElementVector[0], &value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(parser.DataToInt(ints.mElementVector[1], &value));
    EXPECT_EQ(value, 31);
    EXPECT_FALSE(parser.DataToInt(ints.mElementVector[2], &value));
    EXPECT_EQ(value, 0);
}

TEST_F(DescriptorConvert, GetValuesResolvesNamesAndDropsNothingElse)
{
    parser.DefineFromText("W", "12");
    parser.DefineFromText("R", "(1 2 3 4)");
    ListDataElement in = Parse("(w 'a' -3 +4 \"b\"\"c\" (r) R)");
    ListDataElement out;
    ASSERT_TRUE(parser.GetValues(static_cast<ListDataElement*>(in.mElementVector[0]), &out));
    EXPECT_EQ(DescParser::DataElementToString(&out), "(12, a, -3, +4, b\"c, ((1, 2, 3, 4)), (1, 2, 3, 4))");
}

TEST_F(DescriptorConvert, GetValuesReportsAnUnknownName)
{
    ListDataElement in = Parse("(1 missing 3)");
    ListDataElement out;
    EXPECT_FALSE(parser.GetValues(static_cast<ListDataElement*>(in.mElementVector[0]), &out));
    EXPECT_EQ(parser.mErrors, (std::vector<std::string>{"Unable to Dereference \"missing\""}));
}

TEST_F(DescriptorConvert, DataToIntVectorKeepsTheNumbersBeforeAFailure)
{
    std::vector<int> out = {9, 9};
    ListDataElement partial = Parse("(1 '2a' 3)");
    EXPECT_FALSE(parser.DataToIntVector(partial.mElementVector[0], &out));
    EXPECT_EQ(out, (std::vector<int>{1}));
    EXPECT_TRUE(parser.mErrors.empty());

    ListDataElement unknown = Parse("(1 x 3)");
    EXPECT_FALSE(parser.DataToIntVector(unknown.mElementVector[0], &out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(parser.mErrors, (std::vector<std::string>{"Unable to Dereference \"x\""}));

    ListDataElement good = Parse("(1 -2 0x10)");
    EXPECT_TRUE(parser.DataToIntVector(good.mElementVector[0], &out));
    EXPECT_EQ(out, (std::vector<int>{1, -2, 16}));
}

TEST_F(DescriptorConvert, DataToDoubleVector)
{
    std::vector<double> out;
    ListDataElement list = Parse("(1 0.5 -0.25 '.5') (1 1e3)");
    EXPECT_TRUE(parser.DataToDoubleVector(list.mElementVector[0], &out));
    EXPECT_EQ(out, (std::vector<double>{1.0, 0.5, -0.25, 0.5}));
    EXPECT_FALSE(parser.DataToDoubleVector(list.mElementVector[1], &out));
    EXPECT_EQ(out, (std::vector<double>{1.0}));
}

TEST_F(DescriptorConvert, DataToStringVectorFromListsAndDefines)
{
    parser.DefineFromText("Chars", "('a' 'b')");
    parser.DefineFromText("One", "'a'");
    std::vector<std::string> out;
    ListDataElement args = Parse("chars ('x' y) ('x' (y)) one nothing");
    parser.DefineFromText("Y", "'why'");

    EXPECT_TRUE(parser.DataToStringVector(args.mElementVector[0], &out));
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(parser.DataToStringVector(args.mElementVector[1], &out));
    // A define made from a single value keeps its quotes; only DataToString unquotes it.
    EXPECT_EQ(out, (std::vector<std::string>{"x", "'why'"}));
    EXPECT_FALSE(parser.DataToStringVector(args.mElementVector[2], &out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(parser.DataToStringVector(args.mElementVector[3], &out));
    EXPECT_TRUE(parser.mErrors.empty());
    EXPECT_FALSE(parser.DataToStringVector(args.mElementVector[4], &out));
    EXPECT_EQ(parser.mErrors, (std::vector<std::string>{"Unable to Dereference \"nothing\""}));
}

TEST_F(DescriptorConvert, DataToListCopiesADefinedList)
{
    parser.DefineFromText("Rects", "((0 0 1 1) (1 0 2 1))");
    parser.DefineFromText("Single", "7");
    ListDataElement args = Parse("rects (rects 'q') single 5");
    ListDataElement out;
    EXPECT_TRUE(parser.DataToList(args.mElementVector[0], &out));
    EXPECT_EQ(DescParser::DataElementToString(&out), "((0, 0, 1, 1), (1, 0, 2, 1))");
    EXPECT_TRUE(parser.DataToList(args.mElementVector[1], &out));
    EXPECT_EQ(DescParser::DataElementToString(&out), "(((0, 0, 1, 1), (1, 0, 2, 1)), q)");
    EXPECT_FALSE(parser.DataToList(args.mElementVector[2], &out));
    EXPECT_FALSE(parser.DataToList(args.mElementVector[3], &out));
    EXPECT_TRUE(parser.mErrors.empty());
}

TEST_F(DescriptorConvert, DefinesThatNestDefinesStopAtTheDepthCap)
{
    // Each round wraps the previous value once more, as repeated defines in a file could.
    parser.DefineFromText("A", "(1)");
    int round = 0;
    for (; round < 2 * DescParser::kMaxListDepth; ++round)
    {
        ListDataElement in = Parse("(a)");
        auto* value = new ListDataElement();
        if (!parser.GetValues(static_cast<ListDataElement*>(in.mElementVector[0]), value))
        {
            delete value;
            break;
        }
        ASSERT_TRUE(parser.SetDefine("A", value));
    }
    EXPECT_EQ(round, DescParser::kMaxListDepth - 1);
    EXPECT_EQ(parser.mError, "List Nesting Too Deep");
    EXPECT_EQ(DataElementDepth(parser.Dereference("a")), DescParser::kMaxListDepth);
}

TEST_F(DescriptorConvert, DefinesThatMultiplyStopAtTheSizeCap)
{
    parser.DefineFromText("A", "(1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1)");
    bool failed = false;
    for (int round = 0; round < 8 && !failed; ++round)
    {
        ListDataElement in = Parse("(a a a a a a a a a a a a a a a a)");
        auto* value = new ListDataElement();
        failed = !parser.GetValues(static_cast<ListDataElement*>(in.mElementVector[0]), value);
        if (failed)
            delete value;
        else
            ASSERT_TRUE(parser.SetDefine("A", value));
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(parser.mError, "List Too Large");
    EXPECT_LE(DataElementCount(parser.Dereference("a")), DescParser::kMaxValueElements);
}

} // namespace
} // namespace Vaxo
