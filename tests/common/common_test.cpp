#include "common/Clock.h"
#include "common/Common.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

using namespace Vaxo;

namespace
{

// ---- Number parsing --------------------------------------------------------------------

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

TEST(NumberParsing, AcceptsTheStrictSyntaxAndRejectsEverythingElse)
{
    // No overflow check: the value wraps in 32 bits.
    const std::pair<const char*, int> ints[] = {{"007", 7},    {"-45", -45}, {"0x1F", 31}, {"0X1f", 31},
                                                {"-x10", -16}, {"-", 0},     {"0x", 0}};
    const std::pair<const char*, int> wrapped[] = {
        {"2147483648", INT_MIN}, {"0x123456789", 591751049}, {"99999999999999999999", 1661992959}};
    for (const auto& c : wrapped)
        ExpectParse(c.first, true, c.second);
    for (const auto& c : ints)
        ExpectParse(c.first, true, c.second);
    for (const char* text : {"", " 5", "5 ", "+5", "12a", "x10", "-0x10", "00x5", "0x1g", "0xx1", "1.5",
                             "--1", "1e3", "1,000", "\t1"})
        ExpectParse(text, false, 0);
    const std::pair<const char*, double> doubles[] = {{"-0.25", -0.25}, {".", 0.0}, {"5.", 5.0}, {".5", 0.5}};
    for (const auto& c : doubles)
        ExpectParse(c.first, true, c.second);
    for (const char* text : {"", "1.2.3", "1e5", "+1", " 1", "1 ", "0x10", "1,5", "--1", "1-", "..", "inf"})
        ExpectParse(text, false, 0.0);
    // U+0131 has low byte 0x31 ("1"): compared by value it is not a digit.
    int value = 5;
    EXPECT_FALSE(StringToInt(std::wstring(L"1\u0131"), &value));
    EXPECT_EQ(value, 0);
    double minus = 1.0;
    EXPECT_TRUE(StringToDouble(std::string("-"), &minus));
    EXPECT_TRUE(minus == 0.0 && std::signbit(minus));
}

// ---- Formatting ------------------------------------------------------------------------

TEST(StrFormat, ReturnsTheWholeTextUpToTheLargestBuffer)
{
    for (size_t length : {0, 1, 159, 160, 161, 319, 320, 1000, 200000})
    {
        const std::string body(length, 'q');
        EXPECT_EQ(StrFormat("%s", body.c_str()), body) << length;
    }
    // Several arguments after a long one: a reused va_list would print garbage here.
    const std::string longText(1000, 'x');
    EXPECT_EQ(StrFormat("%d|%s|%d|%s", 42, longText.c_str(), -7, "end"), "42|" + longText + "|-7|end");
    const std::string huge(2000000, 'z');
    EXPECT_EQ(StrFormat("%s", huge.c_str()), huge.substr(0, 1310719));
}

TEST(CommaSeperate, GroupsThreeDigitsFromTheRight)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {123456, "123,456"}, {INT_MAX, "2,147,483,647"}, {-5, ""}};
    for (const auto& c : cases)
        EXPECT_EQ(CommaSeperate(c.first), c.second) << c.first;
}

// ---- Case and comparison ---------------------------------------------------------------

TEST(CaseInsensitive, CompareFindAndPrefix)
{
    EXPECT_EQ(stricmp("Hello", "hELLO"), 0);
    EXPECT_EQ(stricmp("ab", "abc"), -'c');
    EXPECT_EQ(stricmp("[", "a"), '[' - 'a');    // "[" sorts after "A" but before "a"
    EXPECT_EQ(stricmp("\xE9", "a"), -23 - 'a'); // bytes above 127 are signed, not case-mapped
    const std::tuple<const char*, const char*, int> finds[] = {
        {"Hello", "LL", 2}, {"Hello", "hello", 0}, {"Hello", "lo", 3}, {"Hello", "lox", -1},
        {"abab", "BA", 1},  {"Hello", "", 0},      {"", "", -1},       {"", "a", -1}};
    for (const auto& f : finds)
        EXPECT_EQ(StrFindNoCase(std::get<0>(f), std::get<1>(f)), std::get<2>(f)) << std::get<1>(f);
    EXPECT_TRUE(StrPrefixNoCase("FileName", "file"));
    EXPECT_FALSE(StrPrefixNoCase("Fi", "file"));
    EXPECT_FALSE(StrPrefixNoCase("FileName", "fist"));
    EXPECT_TRUE(StrPrefixNoCase("FileName", "fist", 2));
    EXPECT_TRUE(StrPrefixNoCase("Fi", "file", 2));
    std::map<std::string, int, StringLessNoCase> names;
    names["Alpha"] = 1;
    names["ALPHA"] = 2;
    names["beta"] = 3;
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(names.begin()->first, "Alpha");
    EXPECT_TRUE(StrNoCase()("Key", "kEY"));
    EXPECT_FALSE(StrNoCase()("Key", "Keys"));
}

TEST(TextHelpers, CaseTrimConversionsAndURLEncoding)
{
    EXPECT_EQ(Lower("MiXeD 123 \xC9"), "mixed 123 \xC9");
    EXPECT_EQ(Upper("MiXeD 123 \xE9"), "MIXED 123 \xE9");
    EXPECT_EQ(Lower(std::wstring(L"AbC")), L"abc");
    EXPECT_EQ(StringToUpper(std::wstring(L"AbC")), L"ABC");
    EXPECT_EQ(Trim(std::string(" \t a b \r\n")), "a b");
    EXPECT_EQ(Trim(std::string(" \t\n ")), "");
    EXPECT_EQ(Trim(std::wstring(L"  w  ")), L"w");
    std::string text = "value;, ;", all = "   ", none = "keep ";
    inlineRTrim(text, "; ,");
    inlineRTrim(all, " ");
    inlineRTrim(none, "x");
    EXPECT_EQ(text + "|" + all + "|" + none, "value||keep ");
    // Narrow text is read as Latin-1; wide text keeps its low byte.
    EXPECT_EQ(StringToWString("a\xE9\xFF"), (std::wstring{L'a', wchar_t(0xE9), wchar_t(0xFF)}));
    EXPECT_EQ(WStringToString(std::wstring{L'a', wchar_t(0x1E9), wchar_t(0x20AC)}), "a\xE9\xAC");
    EXPECT_EQ(URLEncode("a b"), "a+b");
    EXPECT_EQ(URLEncode("100%&a+b?"), "100%25%26a%2Bb%3F");
    EXPECT_EQ(URLEncode("\t\n\r"), "%09%0A%0D");
    EXPECT_EQ(URLEncode("http://x/y=z:w\xE9"), "http://x/y=z:w\xE9");
}

// ---- XML escaping ----------------------------------------------------------------------

TEST(XMLEscaping, EncodeAndDecodeFollowTheEntityTable)
{
    const std::pair<const char*, const char*> encoded[] = {
        {"a\nb", "a&cr;b"},        {"\"q\"", "&quot;q&quot;"},       {"A&B", "A&amp;B"},
        {"it's", "it&apos;s"},     {"<tag>", "&lt;tag&gt;"},         {"a   b", "a &nbsp;&nbsp;b"},
        {" x  y ", " x &nbsp;y "}, {"  \n  ", " &nbsp;&cr; &nbsp;"}, {"plain\t;text\r", "plain\t;text\r"}};
    for (const auto& c : encoded)
    {
        EXPECT_EQ(XMLEncodeString(std::string(c.first)), c.second) << c.first;
        EXPECT_EQ(XMLEncodeString(StringToWString(c.first)), StringToWString(c.second)) << c.first;
    }
    // Unknown entities decode to "&"; an unterminated one stays as it is.
    const std::pair<const char*, const char*> decoded[] = {{"a &nbsp;&nbsp;b", "a   b"},
                                                           {"&lt;&gt;&amp;&quot;&apos;&cr;", "<>&\"'\n"},
                                                           {"a & b; c", "a & c"},
                                                           {"&", "&"},
                                                           {"&amp", "&amp"},
                                                           {"&AMP;", "&"},
                                                           {"x&amp;amp;y", "x&amp;y"}};
    for (const auto& c : decoded)
    {
        EXPECT_EQ(XMLDecodeString(std::string(c.first)), c.second) << c.first;
        EXPECT_EQ(XMLDecodeString(StringToWString(c.first)), StringToWString(c.second)) << c.first;
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

// ---- Substitution ----------------------------------------------------------------------

TEST(Evaluate, SubstitutesNamedValuesAndStopsOnSelfReference)
{
    const std::map<std::string, std::string> vars = {
        {"name", "Ann"}, {"n", "3"}, {"outer", "[%n%]"}, {"self", "x%self%"}, {"grow", "%grow%%grow%"}};
    EXPECT_EQ(Evaluate("Hi %name%, you have %n% items", vars), "Hi Ann, you have 3 items");
    EXPECT_EQ(Evaluate("missing:%nope%.", vars), "missing:.");
    EXPECT_EQ(Evaluate("substituted text is rescanned: %outer%", vars), "substituted text is rescanned: [3]");
    EXPECT_EQ(Evaluate("one % only", vars), "one % only");
    EXPECT_EQ(Evaluate("%%", vars), "");
    EXPECT_EQ(Evaluate("%self%", vars), std::string(kEvaluateMaxSubstitutions, 'x') + "%self%");
    EXPECT_LE(Evaluate("%grow%", vars).size(), kEvaluateMaxLength);
    // And before the text outgrows its limit: three substitutions fit, the fourth would not.
    const std::map<std::string, std::string> bigVars = {{"big", std::string(300000, 'b') + "%big%"}};
    EXPECT_EQ(Evaluate("%big%", bigVars).size(), 3 * 300000u + 5u);
}

// ---- Paths -----------------------------------------------------------------------------

TEST(GetPathFrom, ResolvesRelativePaths)
{
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"../b/c.txt", "/a/d/", "/a/b/c.txt"},
        {"./x", "dir", "dir/x"},
        {"../x", "../", "../../x"},
        {"../../x", "a/", "../x"},
        {"a/../b", "/x/", "/x/a/../b"},
        {"", "dir", "dir/"},
        {"/abs/p", "C:\\games\\g", "C:\\abs\\p"},
        {"sub\\f.txt", "", "sub\\f.txt"},
        {"C:/keep/as/is", "/other", "C:/keep/as/is"},
        {"./.././y/z", "/a/b", "/a/y/z"},
        {"../x", "a\\b", "a\\x"},
        {"f.png", "D:", "D:f.png"},
        {"./", "dir/", "dir/"},
        // The parent of the root is the root.
        {"../x", "/", "/x"},
        {"../f.png", "D:\\", "D:\\f.png"}};
    for (const auto& c : cases)
        EXPECT_EQ(GetPathFrom(std::get<0>(c), std::get<1>(c)), std::get<2>(c))
            << std::get<0>(c) << " from " << std::get<1>(c);
}

TEST(Paths, NamesFoldersAndSlashes)
{
    const std::tuple<const char*, bool, const char*> names[] = {{"dir/file.png", false, "file.png"},
                                                                {"dir/file.png", true, "file"},
                                                                {"dir.v2/file", true, "file"},
                                                                {"x\\b/c.png", true, "c"},
                                                                {"a/b\\c.tar.gz", true, "c.tar"},
                                                                {"name", false, "name"},
                                                                {"dir/", false, ""},
                                                                {"", true, ""}};
    for (const auto& c : names)
        EXPECT_EQ(GetFileName(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c);
    const std::tuple<const char*, bool, const char*> dirs[] = {
        {"a/b/c.png", false, "a/b"}, {"a/b/c.png", true, "a/b/"}, {"a\\b/c", true, "a\\b/"},
        {"a/b\\c", false, "a/b"},    {"name", false, ""},         {"name", true, ""},
        {"/root", false, ""},        {"/root", true, "/"}};
    for (const auto& c : dirs)
        EXPECT_EQ(GetFileDir(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c);
    EXPECT_EQ(RemoveTrailingSlash("a/b/"), "a/b");
    EXPECT_EQ(RemoveTrailingSlash("a\\b\\"), "a\\b");
    EXPECT_EQ(RemoveTrailingSlash("a//"), "a/");
    EXPECT_EQ(RemoveTrailingSlash(""), "");
    EXPECT_EQ(AddTrailingSlash("", true), "");
    EXPECT_EQ(AddTrailingSlash("a"), "a/");
    EXPECT_EQ(AddTrailingSlash("a", true), "a\\");
    EXPECT_EQ(AddTrailingSlash("a\\"), "a\\");
    const std::string saved = gAppDataFolder;
    const std::pair<const char*, const char*> folders[] = {
        {"/tmp/x", "/tmp/x/"}, {"C:\\data\\", "C:\\data\\"}, {"", ""}};
    for (const auto& c : folders)
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
    static void Touch(const std::string& path) { ASSERT_EQ(fclose(fopen(path.c_str(), "w")), 0); }
    TestFolder mFolder;
    const std::string mDir = mFolder.mPath;
};

TEST_F(FileTest, MkDirExistsDeleteAndDate)
{
    const std::string deep = mDir + "a/b/c/";
    EXPECT_TRUE(MkDir(deep));
    EXPECT_TRUE(std::filesystem::is_directory(mDir + "a/b/c"));
    EXPECT_FALSE(MkDir(deep)); // the final creation fails when the folder is already there
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

// ---- Clocks ----------------------------------------------------------------------------

TEST(ClockSeam, ScopesNestRestoreTheSystemClockAndTicksWrapInThirtyTwoBits)
{
    TimeSource* system = &GetTimeSource();
    FakeTimeSource outer(0xFFFFFFF0u);
    FakeTimeSource inner(20);
    {
        ScopedTimeSource a(outer);
        outer.Advance(0x20);
        EXPECT_EQ(GetTicks(), 0x10u);
        EXPECT_EQ(GetTicks() - 0xFFFFFFF0u, 0x20u); // unsigned difference still measures the gap
        {
            ScopedTimeSource b(inner);
            ThreadSleep(1000000); // a real sleep this long would time the test out
            EXPECT_EQ(GetAccurateTime(), 1000020u);
        }
        EXPECT_EQ(&GetTimeSource(), &outer);
    }
    EXPECT_EQ(&GetTimeSource(), system);
}

TEST(ClockSeam, MicroSleepsMoveTheFakeClockAndRoundUpWhereASourceHasOnlyMilliseconds)
{
    FakeTimeSource fake(5);
    {
        ScopedTimeSource scoped(fake);
        for (int i = 0; i < 4; i++)
            ThreadSleepMicros(250);
    }
    EXPECT_EQ(fake.AccurateTime(), 6u);
    EXPECT_EQ(fake.PerfCounter(), 6 * kPerfCounterRate / 1000);
    EXPECT_EQ(fake.GetSleepCount(), 4);

    // A source of its own, with whole milliseconds only: a short sleep is never skipped.
    class MillisecondSource : public FakeTimeSource
    {
    public:
        void SleepMicros(uint32_t micros) override { TimeSource::SleepMicros(micros); }
    };
    const std::pair<uint32_t, uint32_t> rows[] = {{0, 0}, {1, 1}, {999, 1}, {1000, 1}, {1001, 2}, {2500, 3}};
    for (const auto& [micros, ms] : rows)
    {
        MillisecondSource source;
        source.SleepMicros(micros);
        EXPECT_EQ(source.GetTotalSlept(), ms) << micros;
    }
}

TEST(SystemClock, SleepLastsAtLeastTheTimeAsked)
{
    const uint32_t start = GetAccurateTime();
    const uint64_t counterStart = GetTimeSource().PerfCounter();
    ThreadSleep(30);
    EXPECT_GE(GetAccurateTime() - start, 29u); // tick granularity is one millisecond
    EXPECT_GE(GetTimeSource().PerfCounter() - counterStart, 30 * kPerfCounterRate / 1000 - 100);
    EXPECT_GE(GetTicks() - start, 29u);
    const uint64_t napStart = GetTimeSource().PerfCounter();
    ThreadSleepMicros(300);
    EXPECT_GE(GetTimeSource().PerfCounter() - napStart, 300 * kPerfCounterRate / 1000000 - 1);
}

} // namespace
