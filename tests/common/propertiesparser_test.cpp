// The properties reader: what reaches the sink, every error text with its line and file,
// booleans in any case, duplicates, values kept before a failure, cut documents.
#include "common/PropertiesParser.h"

#include "common/Buffer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vaxo;

namespace
{

// Keeps every call as one line, and the maps as the application would.
class RecordingSink : public PropertiesSink
{
public:
    void SetString(const std::string& id, const std::wstring& value) override
    {
        std::string narrow;
        for (wchar_t c : value)
            narrow += c < 0x80 ? std::string(1, char(c)) : "\\u" + std::to_string(int(c));
        mCalls.push_back("String " + id + "=" + narrow);
        mStrings[id] = value;
    }
    void SetBoolean(const std::string& id, bool value) override
    {
        mCalls.push_back("Boolean " + id + "=" + (value ? "true" : "false"));
    }
    void SetInteger(const std::string& id, int value) override
    {
        mCalls.push_back("Integer " + id + "=" + std::to_string(value));
    }
    void SetDouble(const std::string& id, double value) override
    {
        char text[64];
        snprintf(text, sizeof(text), "%g", value);
        mCalls.push_back("Double " + id + "=" + text);
    }
    void InsertStringVector(const std::string& id, const std::vector<std::string>& list) override
    {
        std::string joined;
        for (const std::string& s : list)
            joined += "[" + s + "]";
        mCalls.push_back("StringArray " + id + "=" + joined);
        mVectors.insert(std::make_pair(id, list));
    }

    std::vector<std::string> mCalls;
    std::map<std::string, std::wstring> mStrings;
    std::map<std::string, std::vector<std::string>> mVectors;
};

Buffer MakeBuffer(const std::string& bytes)
{
    Buffer buffer;
    buffer.SetData(reinterpret_cast<const uint8_t*>(bytes.data()), int32_t(bytes.size()));
    return buffer;
}

struct Outcome
{
    bool ok;
    std::string error;
    std::vector<std::string> calls;
};

Outcome ParseText(const std::string& doc)
{
    RecordingSink sink;
    PropertiesParser parser(&sink);
    bool ok = parser.ParsePropertiesBuffer(MakeBuffer(doc));
    return Outcome{ok, parser.GetErrorText(), sink.mCalls};
}

std::string Props(const std::string& body)
{
    return "<Properties>" + body + "</Properties>";
}

typedef std::vector<std::string> Lines;

} // namespace

// ---- Values ----------------------------------------------------------------------------

struct ValueCase
{
    const char* name;
    std::string doc;
    Lines calls;
};

class PropertiesValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(PropertiesValue, StoresThese)
{
    Outcome out = ParseText(GetParam().doc);
    EXPECT_TRUE(out.ok) << out.error;
    EXPECT_EQ(out.error, "");
    EXPECT_EQ(out.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PropertiesValue,
    ::testing::Values(
        ValueCase{
            "StringFoldsBlanks", Props("<String id=\"s\">  two   words </String>"), {"String s=two words"}},
        ValueCase{"StringEntities", Props("<String id=\"s\">a &amp; b</String>"), {"String s=a & b"}},
        ValueCase{
            "StringBytesWidenedOneByOne", Props("<String id=\"s\">\xC3\xA9</String>"), {"String s=\\u233"}},
        ValueCase{"EmptyStringElement",
                  Props("<String id=\"e\"/><String id=\"f\"></String>"),
                  {"String e=", "String f="}},
        ValueCase{"MissingIdIsEmptyName", Props("<String>x</String>"), {"String =x"}},
        ValueCase{"IdAttributeInAnyCase", Props("<String ID=\"up\">x</String>"), {"String up=x"}},
        ValueCase{"LastTextCounts", Props("<String id=\"s\">one<!-- c -->two</String>"), {"String s=two"}},
        ValueCase{"BooleanWords",
                  Props("<Boolean id=\"a\">yes</Boolean><Boolean id=\"b\">On</Boolean>"
                        "<Boolean id=\"c\">TRUE</Boolean><Boolean id=\"d\">1</Boolean>"
                        "<Boolean id=\"e\">No</Boolean><Boolean id=\"f\">off</Boolean>"
                        "<Boolean id=\"g\">False</Boolean><Boolean id=\"h\">0</Boolean>"),
                  {"Boolean a=true", "Boolean b=true", "Boolean c=true", "Boolean d=true", "Boolean e=false",
                   "Boolean f=false", "Boolean g=false", "Boolean h=false"}},
        ValueCase{"IntegerForms",
                  Props("<Integer id=\"h\">0x10</Integer><Integer id=\"n\">-42</Integer>"),
                  {"Integer h=16", "Integer n=-42"}},
        ValueCase{"DoubleForms",
                  Props("<Double id=\"a\">1.5</Double><Double id=\"b\">-0.25</Double>"
                        "<Double id=\"c\">.5</Double>"),
                  {"Double a=1.5", "Double b=-0.25", "Double c=0.5"}},
        ValueCase{
            "StringArray",
            Props("<StringArray id=\"l\"><String>a</String><String/><String> b  c </String></StringArray>"),
            {"StringArray l=[a][][b c]"}},
        ValueCase{"SeveralPropertiesElements",
                  Props("<Integer id=\"a\">1</Integer>") + "\n" + Props("<Integer id=\"b\">2</Integer>"),
                  {"Integer a=1", "Integer b=2"}},
        ValueCase{"NoPropertiesElement", "<?xml version=\"1.0\"?><!-- nothing -->", {}},
        ValueCase{"PrologAndCommentsIgnored",
                  "<?xml version=\"1.0\"?>\n<!-- top -->\n" +
                      Props("<!-- in --><Integer id=\"a\">1</Integer>"),
                  {"Integer a=1"}},
        ValueCase{
            "ByteOrderMarkDropped", "\xEF\xBB\xBF" + Props("<Integer id=\"a\">7</Integer>"), {"Integer a=7"}},
        ValueCase{"CutAfterCompleteTagKeepsFinishedValues",
                  "<Properties><String id=\"a\">x</String><String id=\"b\">",
                  {"String a=x"}},
        ValueCase{
            "CutInsideArrayAfterCompleteTag", "<Properties><StringArray id=\"l\"><String>x</String>", {}},
        ValueCase{"DecodingStopsAtBadUtf8",
                  "<Properties><String id=\"a\">x</String>\xFF<String id=\"b\">y</String></Properties>",
                  {"String a=x"}}),
    [](const ::testing::TestParamInfo<ValueCase>& info) { return std::string(info.param.name); });

TEST(Properties, SecondStringWinsFirstStringArrayStays)
{
    RecordingSink sink;
    PropertiesParser parser(&sink);
    ASSERT_TRUE(parser.ParsePropertiesBuffer(
        MakeBuffer(Props("<String id=\"s\">first</String><String id=\"s\">second</String>"
                         "<StringArray id=\"l\"><String>one</String></StringArray>"
                         "<StringArray id=\"l\"><String>two</String></StringArray>"))));
    EXPECT_EQ(sink.mStrings["s"], L"second");
    EXPECT_EQ(sink.mVectors["l"], (std::vector<std::string>{"one"}));
}

// ---- Errors ----------------------------------------------------------------------------

struct ErrorCase
{
    const char* name;
    std::string doc;
    std::string error;
    Lines calls; // stored before the failure
};

class PropertiesError : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(PropertiesError, FailsWithThisText)
{
    Outcome out = ParseText(GetParam().doc);
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.error, GetParam().error);
    EXPECT_EQ(out.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PropertiesError,
    ::testing::Values(
        ErrorCase{"BooleanSingleLetter",
                  Props("<Boolean id=\"b\">Y</Boolean>"),
                  "Invalid Boolean Value: 'Y' on Line 1",
                  {}},
        ErrorCase{"BooleanShownUpperCased",
                  Props("<Boolean id=\"b\">maybe</Boolean>"),
                  "Invalid Boolean Value: 'MAYBE' on Line 1",
                  {}},
        ErrorCase{"BooleanEmpty", Props("<Boolean id=\"b\"/>"), "Invalid Boolean Value: '' on Line 1", {}},
        ErrorCase{"IntegerFraction",
                  Props("<Integer id=\"i\">1.5</Integer>"),
                  "Invalid Integer Value: '1.5' on Line 1",
                  {}},
        ErrorCase{"IntegerPlusSign",
                  Props("<Integer id=\"i\">+1</Integer>"),
                  "Invalid Integer Value: '+1' on Line 1",
                  {}},
        ErrorCase{
            "IntegerEmpty", Props("<Integer id=\"i\"></Integer>"), "Invalid Integer Value: '' on Line 1", {}},
        ErrorCase{"DoubleExponent",
                  Props("<Double id=\"d\">1e5</Double>"),
                  "Invalid Double Value: '1e5' on Line 1",
                  {}},
        ErrorCase{"UnknownTopSection", "<Settings/>", "Invalid Section 'Settings' on Line 1", {}},
        ErrorCase{"UnknownPropertyType",
                  Props("<Float id=\"f\">1</Float>"),
                  "Invalid Section 'Float' on Line 1",
                  {}},
        ErrorCase{"TypeNamesAreCaseSensitive",
                  Props("<string id=\"s\">x</string>"),
                  "Invalid Section 'string' on Line 1",
                  {}},
        ErrorCase{"StrayTextAtTop",
                  Props("") + "\nstray words\n" + Props(""),
                  "Element Not Expected 'stray words' on Line 3",
                  {}},
        ErrorCase{"TextInsideProperties", Props("loose"), "Element Not Expected 'loose' on Line 1", {}},
        ErrorCase{"NestedStartInValue",
                  Props("<String id=\"s\"><b>x</b></String>"),
                  "Unexpected Section: 'b' on Line 1",
                  {}},
        ErrorCase{"OtherElementInArray",
                  Props("<StringArray id=\"l\"><Item>x</Item></StringArray>"),
                  "Invalid Section 'Item' on Line 1",
                  {}},
        ErrorCase{"TextInArray",
                  Props("<StringArray id=\"l\">x</StringArray>"),
                  "Element Not Expected 'x' on Line 1",
                  {}},
        ErrorCase{"TokenizerErrorPassesThrough",
                  Props("<String id=\"s\">x</Strin>"),
                  "End 'Strin' Doesn't Match Start 'String' on Line 1",
                  {}},
        ErrorCase{"CutInsideTag",
                  "<Properties><String id=\"a\">x</String><String id=",
                  "Unexpected End of File on Line 1",
                  {"String a=x"}},
        ErrorCase{"CutInsideText",
                  "<Properties>\n<String id=\"a\">x</String>\n<String id=\"b\">abc",
                  "Unexpected End of File on Line 3",
                  {"String a=x"}},
        ErrorCase{"ValuesBeforeFailureStay",
                  "<Properties>\n<Integer id=\"a\">1</Integer>\n<Integer id=\"b\">x</Integer>\n"
                  "<Integer id=\"c\">3</Integer></Properties>",
                  "Invalid Integer Value: 'x' on Line 3",
                  {"Integer a=1"}}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

namespace
{

class TempFile
{
public:
    explicit TempFile(const std::string& bytes)
    {
        char tmpl[] = "/tmp/properties_test_XXXXXX";
        int fd = mkstemp(tmpl);
        mPath = tmpl;
        if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            ADD_FAILURE() << "short write";
        close(fd);
    }
    ~TempFile() { unlink(mPath.c_str()); }
    std::string mPath;
};

} // namespace

TEST(PropertiesFile, ErrorNamesLineAndFile)
{
    TempFile file(Props("\n<Boolean id=\"b\">Y</Boolean>"));
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_FALSE(parser.ParsePropertiesFile(file.mPath));
    EXPECT_EQ(parser.GetErrorText(), "Invalid Boolean Value: 'Y' on Line 2 in File '" + file.mPath + "'");
}

TEST(PropertiesFile, ReadsValues)
{
    TempFile file(Props("<Integer id=\"n\">0x20</Integer>"));
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_TRUE(parser.ParsePropertiesFile(file.mPath));
    EXPECT_EQ(sink.mCalls, (Lines{"Integer n=32"}));
}

TEST(PropertiesFile, MissingFileGivesOnlyTheOpenError)
{
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_FALSE(parser.ParsePropertiesFile("/nonexistent/params.xml"));
    EXPECT_EQ(parser.GetErrorText(), "Unable to open file /nonexistent/params.xml");
}

TEST(Properties, ParserCanBeReusedAfterAFailure)
{
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_FALSE(parser.ParsePropertiesBuffer(MakeBuffer("<Bad/>")));
    EXPECT_TRUE(parser.ParsePropertiesBuffer(MakeBuffer(Props("<Integer id=\"a\">1</Integer>"))));
    EXPECT_EQ(parser.GetErrorText(), "");
}
