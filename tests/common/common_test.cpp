#include "common/Common.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace Vaxo;

namespace
{

// ---- Number parsing --------------------------------------------------------------------

struct IntCase
{
    const char* text;
    int value;
};

// No overflow check: the value wraps in 32 bits.
const IntCase kIntAccepted[] = {{"0", 0},
                                {"7", 7},
                                {"007", 7},
                                {"123", 123},
                                {"-45", -45},
                                {"0x1F", 31},
                                {"0X1f", 31},
                                {"0xff", 255},
                                {"0xABCDEF", 0xABCDEF},
                                {"-x10", -16},
                                {"-", 0},
                                {"0x", 0},
                                {"2147483647", 2147483647},
                                {"-2147483648", INT_MIN},
                                {"2147483648", INT_MIN},
                                {"4294967295", -1},
                                {"4294967296", 0},
                                {"99999999999999999999", 1661992959},
                                {"0xFFFFFFFF", -1},
                                {"0x123456789", 591751049}};

const char* const kIntRejected[] = {"",     " 5",   "5 ",  "+5",  "12a", "x10",   "-0x10", "00x5",
                                    "0x1g", "0xx1", "1.5", "--1", "1e3", "1,000", "\t1"};

struct Parser
{
    static bool Parse(const std::string& text, int* value) { return StringToInt(text, value); }
    static bool Parse(const std::wstring& text, int* value) { return StringToInt(text, value); }
    static bool Parse(const std::string& text, double* value) { return StringToDouble(text, value); }
    static bool Parse(const std::wstring& text, double* value) { return StringToDouble(text, value); }
};

// Parses `text` narrow and wide; a refused text stores 0.
template <class T> void ExpectParse(const char* text, bool accepted, T expected)
{
    T narrow = T(12345), wide = T(12345);
    EXPECT_EQ(Parser::Parse(std::string(text), &narrow), accepted) << '"' << text << '"';
    EXPECT_EQ(narrow, expected) << text;
    EXPECT_EQ(Parser::Parse(StringToWString(text), &wide), accepted) << '"' << text << '"';
    EXPECT_EQ(wide, expected) << text;
}

TEST(StringToInt, AcceptsTheStrictSyntaxAndRejectsEverythingElse)
{
    for (const IntCase& c : kIntAccepted)
        ExpectParse(c.text, true, c.value);
    for (const char* text : kIntRejected)
        ExpectParse(text, false, 0);
}

TEST(StringToInt, WideTextRejectsCharactersThatOnlyMatchInTheLowByte)
{
    // U+0131 has low byte 0x31 ("1"): compared by value it is not a digit.
    int value = 5;
    EXPECT_FALSE(StringToInt(std::wstring(L"1\u0131"), &value));
    EXPECT_EQ(value, 0);
}

struct DoubleCase
{
    const char* text;
    double value;
};

const DoubleCase kDoubleAccepted[] = {{"0", 0.0},       {"12", 12.0},    {"-0.25", -0.25}, {".", 0.0},
                                      {"5.", 5.0},      {".5", 0.5},     {"3.75", 3.75},   {"-12.5", -12.5},
                                      {"1000000", 1e6}, {"0.125", 0.125}};

const char* const kDoubleRejected[] = {"",     "1.2.3", "1e5", "+1", " 1", "1 ",
                                       "0x10", "1,5",   "--1", "1-", "..", "inf"};

TEST(StringToDouble, AcceptsPlainDecimalFractionsAndRejectsEverythingElse)
{
    for (const DoubleCase& c : kDoubleAccepted)
        ExpectParse(c.text, true, c.value);
    for (const char* text : kDoubleRejected)
        ExpectParse(text, false, 0.0);
}

TEST(StringToDouble, LoneMinusIsNegativeZero)
{
    double value = 1.0;
    EXPECT_TRUE(StringToDouble(std::string("-"), &value));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(std::signbit(value));
}

// ---- Formatting ------------------------------------------------------------------------

TEST(VFormat, ReturnsTheWholeTextAroundTheStackBufferSize)
{
    for (size_t length : {size_t(0), size_t(1), size_t(159), size_t(160), size_t(161), size_t(319),
                          size_t(320), size_t(1000), size_t(200000)})
    {
        const std::string body(length, 'q');
        EXPECT_EQ(StrFormat("%s", body.c_str()), body) << length;
    }
}

TEST(VFormat, EveryAttemptSeesTheSameArguments)
{
    // Several arguments after a long one: a reused va_list would print garbage here.
    const std::string longText(1000, 'x');
    const std::string result = StrFormat("%d|%s|%d|%s", 42, longText.c_str(), -7, "end");
    EXPECT_EQ(result, "42|" + longText + "|-7|end");
}

TEST(VFormat, CutsTextLongerThanTheLargestBuffer)
{
    const std::string body(2000000, 'z');
    const std::string result = StrFormat("%s", body.c_str());
    EXPECT_EQ(result.size(), 1310719u);
    EXPECT_EQ(result, body.substr(0, 1310719));
}

TEST(CommaSeperate, GroupsThreeDigitsFromTheRight)
{
    const struct
    {
        int value;
        const char* text;
    } cases[] = {{0, "0"},
                 {5, "5"},
                 {999, "999"},
                 {1000, "1,000"},
                 {12345, "12,345"},
                 {123456, "123,456"},
                 {1234567, "1,234,567"},
                 {INT_MAX, "2,147,483,647"},
                 {-5, ""},
                 {INT_MIN, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(CommaSeperate(c.value), c.text) << c.value;
}

// ---- Case and comparison ---------------------------------------------------------------

TEST(CaseInsensitive, StricmpReturnsTheDifferenceOfLowerCasedCharacters)
{
    EXPECT_EQ(stricmp("Hello", "hELLO"), 0);
    EXPECT_EQ(stricmp("", ""), 0);
    EXPECT_EQ(stricmp("abc", "abd"), 'c' - 'd');
    EXPECT_EQ(stricmp("ab", "abc"), -'c');
    EXPECT_EQ(stricmp("abc", "AB"), 'c');
    EXPECT_EQ(stricmp("[", "a"), '[' - 'a'); // "[" sorts after "A" but before "a"
    // Bytes above 127 are signed and not case-mapped.
    EXPECT_EQ(stricmp("\xE9", "a"), -23 - 'a');
}

TEST(CaseInsensitive, FindFindsTheFirstOccurrenceAndPrefixStopsAtMaxLength)
{
    EXPECT_EQ(StrFindNoCase("Hello", "LL"), 2);
    EXPECT_EQ(StrFindNoCase("Hello", "hello"), 0);
    EXPECT_EQ(StrFindNoCase("Hello", "lo"), 3);
    EXPECT_EQ(StrFindNoCase("Hello", "lox"), -1);
    EXPECT_EQ(StrFindNoCase("abab", "BA"), 1);
    EXPECT_EQ(StrFindNoCase("Hello", ""), 0);
    EXPECT_EQ(StrFindNoCase("", ""), -1);
    EXPECT_EQ(StrFindNoCase("", "a"), -1);

    EXPECT_TRUE(StrPrefixNoCase("FileName", "file"));
    EXPECT_TRUE(StrPrefixNoCase("FileName", ""));
    EXPECT_FALSE(StrPrefixNoCase("Fi", "file"));
    EXPECT_FALSE(StrPrefixNoCase("FileName", "fist"));
    EXPECT_TRUE(StrPrefixNoCase("FileName", "fist", 2));
    EXPECT_TRUE(StrPrefixNoCase("Fi", "file", 2));
    EXPECT_TRUE(StrPrefixNoCase("abc", "xyz", 0));
}

TEST(CaseInsensitive, ComparatorsIgnoreCase)
{
    std::map<std::string, int, StringLessNoCase> names;
    names["Alpha"] = 1;
    names["ALPHA"] = 2;
    names["beta"] = 3;
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names["alpha"], 2);
    EXPECT_EQ(names.begin()->first, "Alpha");
    EXPECT_TRUE(StrNoCase()("Key", "kEY"));
    EXPECT_FALSE(StrNoCase()("Key", "Keys"));
}

TEST(CaseMapping, NarrowMapsOnlyAsciiLettersAndWideMapsWholeCharacters)
{
    EXPECT_EQ(Lower("MiXeD 123 \xC9"), "mixed 123 \xC9");
    EXPECT_EQ(Upper("MiXeD 123 \xE9"), "MIXED 123 \xE9");
    EXPECT_EQ(Lower(std::wstring(L"AbC")), L"abc");
    EXPECT_EQ(StringToUpper(std::wstring(L"AbC")), L"ABC");
}

TEST(Trim, RemovesSurroundingWhitespaceOnly)
{
    EXPECT_EQ(Trim(std::string(" \t a b \r\n")), "a b");
    EXPECT_EQ(Trim(std::string(" \t\n ")), "");
    EXPECT_EQ(Trim(std::string("")), "");
    EXPECT_EQ(Trim(std::string("x")), "x");
    EXPECT_EQ(Trim(std::wstring(L"  w  ")), L"w");
    EXPECT_EQ(Trim(std::wstring(L"\t\n")), L"");
}

TEST(Trim, InlineRTrimRemovesTheTrailingRunOfGivenCharacters)
{
    std::string text = "value;, ;";
    inlineRTrim(text, "; ,");
    EXPECT_EQ(text, "value");
    std::string all = "   ", none = "keep ";
    inlineRTrim(all, " ");
    inlineRTrim(none, "x");
    EXPECT_EQ(all, "");
    EXPECT_EQ(none, "keep ");
}

// ---- Conversions -----------------------------------------------------------------------

TEST(Conversions, NarrowIsReadAsLatin1AndWideKeepsTheLowByte)
{
    EXPECT_EQ(StringToWString("a\xE9\xFF"), (std::wstring{L'a', wchar_t(0xE9), wchar_t(0xFF)}));
    EXPECT_EQ(WStringToString(std::wstring{L'a', wchar_t(0x1E9), wchar_t(0x20AC)}), "a\xE9\xAC");
}

// ---- XML escaping ----------------------------------------------------------------------

TEST(XMLEscaping, EncodesTheEntityTable)
{
    const struct
    {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"a\nb", "a&cr;b"},        {"\"q\"", "&quot;q&quot;"},       {"A&B", "A&amp;B"},
        {"it's", "it&apos;s"},     {"<tag>", "&lt;tag&gt;"},         {"a   b", "a &nbsp;&nbsp;b"},
        {" x  y ", " x &nbsp;y "}, {"  \n  ", " &nbsp;&cr; &nbsp;"}, {"plain\t;text\r", "plain\t;text\r"}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(XMLEncodeString(std::string(c.plain)), c.encoded) << c.plain;
        EXPECT_EQ(XMLEncodeString(StringToWString(c.plain)), StringToWString(c.encoded)) << c.plain;
    }
}

TEST(XMLEscaping, DecodesEntitiesAndToleratesUnknownOnes)
{
    const struct
    {
        const char* encoded;
        const char* plain;
    } cases[] = {{"a &nbsp;&nbsp;b", "a   b"},
                 {"&lt;&gt;&amp;&quot;&apos;&cr;", "<>&\"'\n"},
                 {"&foo;", "&"},
                 {"a & b; c", "a & c"},
                 {"no semicolon & here", "no semicolon & here"},
                 {"&", "&"},
                 {"&;", "&"},
                 {"&amp", "&amp"},
                 {"&AMP;", "&"},
                 {"x&amp;amp;y", "x&amp;y"}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(XMLDecodeString(std::string(c.encoded)), c.plain) << c.encoded;
        EXPECT_EQ(XMLDecodeString(StringToWString(c.encoded)), StringToWString(c.plain)) << c.encoded;
    }
}

TEST(XMLEscaping, DecodeOfEncodeGivesTheOriginal)
{
    // Texts dense in the characters the table treats specially, plus every byte value.
    const char alphabet[] = {' ',  ' ', '&', ';', '<', '>', '"',  '\'',
                             '\n', 'a', 'n', 'b', 's', 'p', '\0', '\xFF'};
    std::mt19937 mt(2024);
    for (int round = 0; round < 2000; ++round)
    {
        std::string text(mt() % 40, ' ');
        for (char& c : text)
            c = (round % 2) ? alphabet[mt() % sizeof(alphabet)] : char(mt() & 0xFF);
        EXPECT_EQ(XMLDecodeString(XMLEncodeString(text)), text);
        const std::wstring wide = StringToWString(text);
        EXPECT_EQ(XMLDecodeString(XMLEncodeString(wide)), wide);
    }
}

TEST(LargeInput, TextHelpersReadLongTextsInOnePass)
{
    // Each of these took time quadratic in the length when rescanned from the start.
    const std::string ampersands(1 << 20, '&');
    EXPECT_EQ(XMLDecodeString(ampersands), ampersands);

    std::string dots;
    for (int i = 0; i < 300000; ++i)
        dots += "./";
    EXPECT_EQ(GetPathFrom(dots + "f", "/d/"), "/d/f");

    const std::map<std::string, std::string> vars = {{"v", "1"}};
    std::string refs;
    for (int i = 0; i < 900; ++i)
        refs += "%v%";
    const std::string prefix(1 << 20, 'p');
    EXPECT_EQ(Evaluate(prefix + refs, vars), prefix + std::string(900, '1'));
}

// ---- Web form and substitution ---------------------------------------------------------

TEST(URLEncode, EscapesOnlyTheListedCharacters)
{
    EXPECT_EQ(URLEncode("a b"), "a+b");
    EXPECT_EQ(URLEncode("100%&a+b?"), "100%25%26a%2Bb%3F");
    EXPECT_EQ(URLEncode("\t\n\r"), "%09%0A%0D");
    EXPECT_EQ(URLEncode("http://x/y=z:w\xE9"), "http://x/y=z:w\xE9");
}

TEST(Evaluate, SubstitutesNamedValues)
{
    const std::map<std::string, std::string> vars = {{"name", "Ann"}, {"n", "3"}, {"outer", "[%n%]"}};
    EXPECT_EQ(Evaluate("Hi %name%, you have %n% items", vars), "Hi Ann, you have 3 items");
    EXPECT_EQ(Evaluate("missing:%nope%.", vars), "missing:.");
    EXPECT_EQ(Evaluate("substituted text is rescanned: %outer%", vars), "substituted text is rescanned: [3]");
    EXPECT_EQ(Evaluate("one % only", vars), "one % only");
    EXPECT_EQ(Evaluate("%%", vars), "");
    EXPECT_EQ(Evaluate("", vars), "");
}

TEST(Evaluate, StopsOnAValueThatContainsItsOwnReference)
{
    const std::map<std::string, std::string> vars = {{"self", "x%self%"}, {"grow", "%grow%%grow%"}};
    const std::string selfResult = Evaluate("%self%", vars);
    EXPECT_EQ(selfResult, std::string(kEvaluateMaxSubstitutions, 'x') + "%self%");
    const std::string growResult = Evaluate("%grow%", vars);
    EXPECT_LE(growResult.size(), kEvaluateMaxLength);
    // And before the text outgrows its limit.
    const std::map<std::string, std::string> bigVars = {{"big", std::string(300000, 'b') + "%big%"}};
    const std::string result = Evaluate("%big%", bigVars);
    EXPECT_LE(result.size(), kEvaluateMaxLength);
    EXPECT_EQ(result.size(), 3 * 300000u + 5u); // three substitutions fit, the fourth would not
}

// ---- Paths -----------------------------------------------------------------------------

TEST(GetPathFrom, ResolvesRelativePaths)
{
    const struct
    {
        const char* relPath;
        const char* dir;
        const char* result;
    } cases[] = {{"../b/c.txt", "/a/d/", "/a/b/c.txt"},
                 {"./x", "dir", "dir/x"},
                 {"../x", "../", "../../x"},
                 {"../../x", "a/", "../x"},
                 {"a/../b", "/x/", "/x/a/../b"},
                 {"", "dir", "dir/"},
                 {"/abs/p", "C:\\games\\g", "C:\\abs\\p"},
                 {"sub\\f.txt", "", "sub\\f.txt"},
                 {"C:/keep/as/is", "/other", "C:/keep/as/is"},
                 {"x", "", "x"},
                 {"../x", "/a/b/", "/a/x"},
                 {"./.././y/z", "/a/b", "/a/y/z"},
                 {"../x", "a\\b", "a\\x"},
                 {"f.png", "D:", "D:f.png"},
                 {"../f.png", "D:\\g\\h", "D:\\g\\f.png"},
                 {"./", "dir/", "dir/"},
                 // The parent of the root is the root.
                 {"../x", "/", "/x"},
                 {"../../../x", "/a/b/", "/x"},
                 {"../f.png", "D:\\", "D:\\f.png"},
                 {"..\\..\\f", "\\", "\\f"}};
    for (const auto& c : cases)
        EXPECT_EQ(GetPathFrom(c.relPath, c.dir), c.result) << c.relPath << " from " << c.dir;
}

TEST(Paths, GetFileNameTakesTheTextAfterTheLastSeparator)
{
    const struct
    {
        const char* path;
        bool noExtension;
        const char* result;
    } cases[] = {{"dir/file.png", false, "file.png"},
                 {"dir/file.png", true, "file"},
                 {"dir.v2/file", true, "file"},
                 {"x\\b/c.png", true, "c"},
                 {"a/b\\c.tar.gz", true, "c.tar"},
                 {"name", false, "name"},
                 {"name.txt", true, "name"},
                 {"dir/", false, ""},
                 {"", true, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(GetFileName(c.path, c.noExtension), c.result) << c.path;
}

TEST(Paths, GetFileDirTakesTheTextBeforeTheLastSeparator)
{
    EXPECT_EQ(GetFileDir("a/b/c.png"), "a/b");
    EXPECT_EQ(GetFileDir("a/b/c.png", true), "a/b/");
    EXPECT_EQ(GetFileDir("a\\b/c", true), "a\\b/");
    EXPECT_EQ(GetFileDir("a/b\\c"), "a/b");
    EXPECT_EQ(GetFileDir("name"), "");
    EXPECT_EQ(GetFileDir("name", true), "");
    EXPECT_EQ(GetFileDir("/root"), "");
    EXPECT_EQ(GetFileDir("/root", true), "/");
}

TEST(Paths, TrailingSlashes)
{
    EXPECT_EQ(RemoveTrailingSlash("a/b/"), "a/b");
    EXPECT_EQ(RemoveTrailingSlash("a\\b\\"), "a\\b");
    EXPECT_EQ(RemoveTrailingSlash("a//"), "a/");
    EXPECT_EQ(RemoveTrailingSlash("a"), "a");
    EXPECT_EQ(RemoveTrailingSlash(""), "");
    EXPECT_EQ(AddTrailingSlash(""), "");
    EXPECT_EQ(AddTrailingSlash("", true), "");
    EXPECT_EQ(AddTrailingSlash("a"), "a/");
    EXPECT_EQ(AddTrailingSlash("a", true), "a\\");
    EXPECT_EQ(AddTrailingSlash("a\\"), "a\\");
    EXPECT_EQ(AddTrailingSlash("a/", true), "a/");
}

TEST(Paths, SetAppDataFolderEndsTheFolderWithASeparator)
{
    const std::string saved = gAppDataFolder;
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/x", "/tmp/x/"}, {"C:\\data\\", "C:\\data\\"}, {"/tmp/y/", "/tmp/y/"}, {"", ""}};
    for (const auto& c : cases)
    {
        SetAppDataFolder(c.first);
        EXPECT_EQ(GetAppDataFolder(), c.second) << c.first;
    }
    gAppDataFolder = saved;
}

// ---- Files and folders -----------------------------------------------------------------

class FileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vaxo_common_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mDir = pattern;
        mDir += "/";
    }
    void TearDown() override
    {
        // Small trees only; the shell removes what the tests made.
        EXPECT_EQ(system(("rm -rf '" + mDir + "'").c_str()), 0);
    }
    static void Touch(const std::string& path) { ASSERT_EQ(fclose(fopen(path.c_str(), "w")), 0); }
    std::string mDir;
};

TEST_F(FileTest, MkDirCreatesEveryFolderAlongThePath)
{
    const std::string deep = mDir + "a/b/c/";
    EXPECT_TRUE(MkDir(deep));
    struct stat st;
    ASSERT_EQ(stat((mDir + "a/b/c").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // The final creation fails when the folder is already there.
    EXPECT_FALSE(MkDir(deep));
    EXPECT_TRUE(MkDir(mDir + "a/b/d"));
}

TEST_F(FileTest, ExistsDeleteAndDate)
{
    const std::string path = mDir + "f.txt";
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(GetFileDate(path), 0);
    const int64_t before = int64_t(time(nullptr));
    Touch(path);
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(FileExists(mDir)); // folders count
    const int64_t date = GetFileDate(path);
    EXPECT_GE(date, before - 2);
    EXPECT_LE(date, int64_t(time(nullptr)) + 2);
    EXPECT_TRUE(FileDelete(path));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(FileDelete(path));
    Touch(path);
    EXPECT_TRUE(FileDelete(path.c_str()));
    EXPECT_FALSE(FileDelete(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(FileDelete(mDir)); // a folder is not a file
}

TEST_F(FileTest, ChangeDirAndFullPath)
{
    const std::string saved = GetCurDir();
    ASSERT_FALSE(saved.empty());
    ASSERT_TRUE(MkDir(mDir + "sub"));
    ASSERT_TRUE(ChangeDir(mDir + "sub"));
    char real[1024];
    ASSERT_NE(realpath((mDir + "sub").c_str(), real), nullptr);
    EXPECT_EQ(GetCurDir(), real);
    EXPECT_EQ(GetFullPath("../x.txt"), GetFileDir(real, true) + "x.txt");
    EXPECT_FALSE(ChangeDir(mDir + "missing"));
    EXPECT_TRUE(ChangeDir(saved));
}

TEST(InterlockedCounter, ReturnsTheNewValueAndTheLockIsRecursive)
{
    ASSERT_NE(gInterlockedCrit.Get(), nullptr); // built on first use, without SDL_Init
    InterlockedLock outer;
    int32_t count = 0;
    EXPECT_EQ(InterlockedIncrement(&count), 1); // takes the lock again on this thread
    EXPECT_EQ(InterlockedDecrement(&count), 0);
    EXPECT_EQ(InterlockedDecrement(&count), -1);
    std::atomic<int32_t> atomicCount{5};
    EXPECT_EQ(InterlockedIncrement(&atomicCount), 6);
    EXPECT_EQ(InterlockedDecrement(&atomicCount), 5);
}

} // namespace
