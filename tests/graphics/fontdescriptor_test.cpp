// Font descriptor language: reading commands from files, splitting them into values,
// and the conversions of values.
#include "graphics/FontDescriptor.h"

#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

using Strings = std::vector<std::string>;

// A parser that writes down every command (printable form and line) and every error.
class ScriptParser : public DescParser
{
public:
    Strings mCommands;
    std::vector<int> mLines;
    Strings mErrors;
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
    ListDataElement Parse(const std::string& text)
    {
        ListDataElement list;
        EXPECT_TRUE(ParseToList(text, &list, false, nullptr)) << text;
        return list;
    }
    // Defines name as a define command would: a list resolved, a single value as written.
    void DefineFromText(const std::string& name, const std::string& text)
    {
        ListDataElement parsed = Parse(text);
        DataElement* value = parsed.mElementVector.at(0);
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

struct Loaded
{
    bool result;
    Strings commands;
    std::vector<int> lines;
    Strings errors;
};

Loaded LoadText(const std::string& text, bool commandResult = true)
{
    TestFolder folder;
    const std::string path = folder.Write("font.txt", text);
    ScriptParser parser;
    parser.mResult = commandResult;
    Loaded out{parser.LoadDescriptor(path), parser.mCommands, parser.mLines, parser.mErrors};
    EXPECT_EQ(parser.mCurrentLineNum, 0);
    EXPECT_TRUE(parser.mCurrentLine.empty());
    return out;
}

// ---- Reading commands from a file ----------------------------------------------------------

TEST(DescriptorFile, SplitsCommandsAsTheLanguageDefines)
{
    const std::pair<const char*, Strings> cases[] = {
        {"A B;C", {"(A, B)", "(C)"}},
        {"A 'x;y';", {"(A, 'x;y')"}},
        {"A \"x;y\" z;", {"(A, \"x;y\", z)"}},
        {"A \"it's\";B", {"(A, \"it's\")", "(B)"}},
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
        {"  ; # c ;\n ; , ", {}},
    };
    for (const auto& c : cases)
    {
        Loaded loaded = LoadText(c.first);
        EXPECT_TRUE(loaded.result) << c.first;
        EXPECT_EQ(loaded.commands, c.second) << c.first;
    }
}

TEST(DescriptorFile, LinesFailuresAndMissingFiles)
{
    Loaded loaded = LoadText("\n\n# comment\nFourth;\nFifth\nstill fifth; Sixth;\r\n\r\n  Eighth");
    ASSERT_EQ(loaded.commands.size(), 4u);
    EXPECT_EQ(loaded.lines, (std::vector<int>{4, 5, 6, 8}));
    Loaded loaded2 = LoadText("A;B;C;", false);
    EXPECT_FALSE(loaded2.result);
    EXPECT_EQ(loaded2.commands, Strings{"(A)"});
    Loaded parseError = LoadText("A;B x(1);C;");
    EXPECT_FALSE(parseError.result);
    EXPECT_EQ(parseError.commands, Strings{"(A)"});
    EXPECT_EQ(parseError.errors, Strings{"Unexpected List Start"});
    ScriptParser parser;
    parser.mError = "old";
    EXPECT_FALSE(parser.LoadDescriptor("/nonexistent/vaxo/font.txt"));
    EXPECT_TRUE(parser.mErrors.empty());
    EXPECT_EQ(parser.mError, "");
    Loaded loaded22 = LoadText("A " + std::string(100000, '(') + ";");
    EXPECT_FALSE(loaded22.result);
    EXPECT_EQ(loaded22.errors, Strings{"List Nesting Too Deep"});
}

// ---- Splitting one command ---------------------------------------------------------------------

TEST(DescriptorSplit, ValuesListsAndErrors)
{
    struct
    {
        const char* text;
        bool ok;
        const char* printed; // the parsed elements as a list
        const char* error;   // "" when none
    } const cases[] = {
        {"A (1, 2 (3))", true, "(A, (1, 2, (3)))", ""},
        {"A,B\t C\nD", true, "(A, B, C, D)", ""},
        {"A ()", true, "(A, ())", ""},
        {"A (1)x", true, "(A, (1), x)", ""},
        {"A b\\,c", true, "(A, b,c)", ""},
        {"A \\'x", true, "(A, 'x)", ""},
        {"A 'a b, (c)'", true, "(A, 'a b, (c)')", ""},
        {"A 'x\\'y'", true, "(A, 'x'y')", ""},
        {"A x(1)", false, "(A, x)", "Unexpected List Start"},
        {"A 1)", false, "(A, 1)", "Unexpected List End"},
        {"A (1", false, "(A, (1))", "Unterminated List"},
        {"A (1 'x", false, "(A, (1, 'x))", "Unterminated Single Quotes"},
        {"A \"x", false, "(A, \"x)", "Unterminated Double Quotes"},
    };
    for (const auto& c : cases)
    {
        ScriptParser parser;
        ListDataElement list;
        EXPECT_EQ(parser.ParseToList(c.text, &list, false, nullptr), c.ok) << c.text;
        EXPECT_EQ(DescParser::DataElementToString(&list), c.printed) << c.text;
        EXPECT_EQ(parser.mError, c.error) << c.text;
    }
    ScriptParser parser;
    EXPECT_FALSE(parser.ParseDescriptorLine("(A) B"));
    EXPECT_EQ(parser.mErrors, Strings{"Missing Command"});
}

TEST(DescriptorSplit, SharedPositionAndNestingCap)
{
    ScriptParser parser;
    ListDataElement list;
    int pos = 0;
    EXPECT_TRUE(parser.ParseToList("1 2) rest", &list, true, &pos));
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(DescParser::DataElementToString(&list), "(1, 2)");
    ScriptParser parser2;
    const int max = DescParser::kMaxListDepth;
    const std::string deepest = "A " + std::string(max, '(') + std::string(max, ')');
    ListDataElement ok;
    EXPECT_TRUE(parser2.ParseToList(deepest, &ok, false, nullptr));
    EXPECT_EQ(DataElementDepth(&ok), max + 1);
    ListDataElement tooDeep;
    EXPECT_FALSE(parser2.ParseToList("A (" + deepest.substr(2) + ")", &tooDeep, false, nullptr));
    EXPECT_EQ(parser2.mError, "List Nesting Too Deep");
}

// ---- Conversions -------------------------------------------------------------------------------

template <typename T> std::string Print(const std::vector<T>& values)
{
    std::ostringstream out;
    for (size_t i = 0; i < values.size(); ++i)
        out << (i == 0 ? "" : " ") << values[i];
    return out.str();
}

std::string Print(const std::string& value)
{
    return value;
}
std::string Print(int value)
{
    return std::to_string(value);
}

// Runs one conversion on element, starting from a junk output, and prints the output.
template <typename Out>
std::string Run(ScriptParser& parser, bool (DescParser::*convert)(DataElement*, Out*), Out out,
                DataElement* element, bool* ok)
{
    *ok = (parser.*convert)(element, &out);
    return Print(out);
}

std::string Convert(ScriptParser& parser, const std::string& kind, DataElement* element, bool* ok)
{
    if (kind == "String")
        return Run(parser, &DescParser::DataToString, std::string("junk"), element, ok);
    if (kind == "Int")
        return Run(parser, &DescParser::DataToInt, 7, element, ok);
    if (kind == "IntVector")
        return Run(parser, &DescParser::DataToIntVector, std::vector<int>{9, 9}, element, ok);
    if (kind == "DoubleVector")
        return Run(parser, &DescParser::DataToDoubleVector, std::vector<double>{9}, element, ok);
    if (kind == "StringVector")
        return Run(parser, &DescParser::DataToStringVector, Strings{"junk"}, element, ok);
    ListDataElement out;
    *ok = kind == "List" ? parser.DataToList(element, &out)
                         : parser.GetValues(static_cast<ListDataElement*>(element), &out);
    return DescParser::DataElementToString(&out);
}

// Defines are looked up when a value is converted; partial results stay in the output.
TEST(DescriptorConvert, ConversionsResolveDefinesAndKeepPartialResults)
{
    ScriptParser parser;
    const std::pair<const char*, const char*> defines[] = {
        {"Word", "'hello'"},    {"Pair", "(1 2)"}, {"W", "12"},    {"R", "(1 2 3 4)"},
        {"Chars", "('a' 'b')"}, {"One", "'a'"},    {"Y", "'why'"}, {"Rects", "((0 0 1 1) (1 0 2 1))"},
        {"Single", "7"},
    };
    for (const auto& d : defines)
        parser.DefineFromText(d.first, d.second);
    struct
    {
        const char* kind;
        const char* value;
        bool ok;
        const char* out; // nullptr: not checked
        const char* error;
    } const cases[] = {
        {"String", "'it''s'", true, "it's", ""},
        {"String", "plain", true, "plain", ""},
        {"String", "word", true, "hello", ""},
        {"String", "WORD", true, "hello", ""},
        {"String", "pair", false, "", ""},
        {"String", "(x)", false, "", ""},
        {"Int", "'12'", true, "12", ""},
        {"Int", "0x1F", true, "31", ""},
        {"Int", "abc", false, "0", ""},
        {"GetValues", "(w 'a' -3 +4 \"b\"\"c\" (r) R)", true,
         "(12, a, -3, +4, b\"c, ((1, 2, 3, 4)), (1, 2, 3, 4))", ""},
        {"GetValues", "(1 missing 3)", false, nullptr, "Unable to Dereference \"missing\""},
        {"IntVector", "(1 '2a' 3)", false, "1", ""},
        {"IntVector", "(1 x 3)", false, "", "Unable to Dereference \"x\""},
        {"IntVector", "(1 -2 0x10)", true, "1 -2 16", ""},
        {"DoubleVector", "(1 0.5 -0.25 '.5')", true, "1 0.5 -0.25 0.5", ""},
        {"DoubleVector", "(1 1e3)", false, "1", ""},
        {"StringVector", "chars", true, "a b", ""},
        // A define made from a single value keeps its quotes; only DataToString unquotes it.
        {"StringVector", "('x' y)", true, "x 'why'", ""},
        {"StringVector", "('x' (y))", false, "", ""},
        {"StringVector", "one", false, nullptr, ""},
        {"StringVector", "nothing", false, nullptr, "Unable to Dereference \"nothing\""},
        {"List", "rects", true, "((0, 0, 1, 1), (1, 0, 2, 1))", ""},
        {"List", "(rects 'q')", true, "(((0, 0, 1, 1), (1, 0, 2, 1)), q)", ""},
        {"List", "single", false, nullptr, ""},
    };
    for (const auto& c : cases)
    {
        parser.mErrors.clear();
        ListDataElement value = parser.Parse(c.value);
        bool ok = !c.ok;
        const std::string out = Convert(parser, c.kind, value.mElementVector.at(0), &ok);
        EXPECT_EQ(ok, c.ok) << c.kind << " " << c.value;
        EXPECT_EQ(out, c.out != nullptr ? c.out : out) << c.kind << " " << c.value;
        EXPECT_EQ(Print(parser.mErrors), c.error) << c.kind << " " << c.value;
    }
}

// Each round redefines A from a list of copies of A, as repeated defines in a file could;
// "(a)" nests one level deeper per round, sixteen copies multiply the size.
TEST(DescriptorConvert, DefinesBuiltFromDefinesStopAtTheDepthAndSizeCaps)
{
    struct
    {
        const char* start;
        const char* round;
        const char* error;
        bool nests;
    } const cases[] = {
        {"(1)", "(a)", "List Nesting Too Deep", true},
        {"(1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1)", "(a a a a a a a a a a a a a a a a)", "List Too Large", false}};
    for (const auto& c : cases)
    {
        ScriptParser parser;
        parser.DefineFromText("A", c.start);
        int round = 0;
        for (; round < 2 * DescParser::kMaxListDepth; ++round)
        {
            ListDataElement in = parser.Parse(c.round);
            auto value = std::make_unique<ListDataElement>();
            if (!parser.GetValues(static_cast<ListDataElement*>(in.mElementVector[0]), value.get()))
                break;
            ASSERT_TRUE(parser.SetDefine("A", value.release()));
        }
        EXPECT_EQ(parser.mError, c.error);
        EXPECT_LE(DataElementCount(parser.Dereference("a")), DescParser::kMaxValueElements);
        if (c.nests)
        {
            EXPECT_EQ(round, DescParser::kMaxListDepth - 1);
            EXPECT_EQ(DataElementDepth(parser.Dereference("a")), DescParser::kMaxListDepth);
        }
    }
}

} // namespace
} // namespace Vaxo
