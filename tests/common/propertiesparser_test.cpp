// The properties reader: what reaches the sink, every error text with its line and file,
// booleans in any case, duplicates, values kept before a failure, cut documents.
#include "common/PropertiesParser.h"

#include "common/Buffer.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

typedef std::vector<std::string> Lines;

// Keeps every call as one line.
class RecordingSink : public PropertiesSink
{
public:
    void SetString(const std::string& id, const std::wstring& value) override
    {
        std::string narrow;
        for (wchar_t c : value)
            narrow += c < 0x80 ? std::string(1, char(c)) : "\\u" + std::to_string(int(c));
        Add("String " + id, narrow);
    }
    void SetBoolean(const std::string& id, bool v) override { Add("Boolean " + id, v ? "true" : "false"); }
    void SetInteger(const std::string& id, int v) override { Add("Integer " + id, std::to_string(v)); }
    void SetDouble(const std::string& id, double v) override
    {
        char text[64];
        snprintf(text, sizeof(text), "%g", v);
        Add("Double " + id, text);
    }
    void InsertStringVector(const std::string& id, const std::vector<std::string>& list) override
    {
        std::string joined;
        for (const std::string& s : list)
            joined += "[" + s + "]";
        Add("StringArray " + id, joined);
    }
    void Add(const std::string& call, const std::string& value) { mCalls.push_back(call + "=" + value); }

    Lines mCalls;
};

Buffer MakeBuffer(const std::string& bytes)
{
    Buffer buffer;
    buffer.SetData(reinterpret_cast<const uint8_t*>(bytes.data()), int32_t(bytes.size()));
    return buffer;
}

std::string Props(const std::string& body)
{
    return "<Properties>" + body + "</Properties>";
}

struct Case
{
    std::string doc;
    std::string error; // empty: the parse succeeds
    Lines calls;       // what reached the sink, before any failure
};

void Check(const Case& c)
{
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_EQ(parser.ParsePropertiesBuffer(MakeBuffer(c.doc)), c.error.empty()) << c.doc;
    EXPECT_EQ(parser.GetErrorText(), c.error) << c.doc;
    EXPECT_EQ(sink.mCalls, c.calls) << c.doc;
}

} // namespace

TEST(Properties, StoresThese)
{
    const Case cases[] = {
        // Read as UTF-8 without a mark, then widened.
        {Props("<String id=\"s\">\xC3\xA9</String>"), "", {"String s=\\u233"}},
        {Props("<String id=\"e\"/><String id=\"f\"></String>"), "", {"String e=", "String f="}},
        {Props("<String>x</String>"), "", {"String =x"}},
        {Props("<String ID=\"up\">x</String>"), "", {"String up=x"}},
        {Props("<String id=\"s\">one<!-- c -->two</String>"), "", {"String s=two"}}, // the last text counts
        {Props("<Boolean id=\"a\">yes</Boolean><Boolean id=\"b\">On</Boolean><Boolean id=\"c\">1</Boolean>"
               "<Boolean id=\"d\">No</Boolean>"),
         "",
         {"Boolean a=true", "Boolean b=true", "Boolean c=true", "Boolean d=false"}},
        {Props("<Integer id=\"h\">0x10</Integer><Integer id=\"n\">-42</Integer>"),
         "",
         {"Integer h=16", "Integer n=-42"}},
        {Props("<Double id=\"d\">-0.25</Double>"), "", {"Double d=-0.25"}},
        {Props("<StringArray id=\"l\"><String>a</String><String/><String> b  c </String></StringArray>"),
         "",
         {"StringArray l=[a][][b c]"}},
        {Props("<Integer id=\"a\">1</Integer>") + "\n" + Props("<Integer id=\"b\">2</Integer>"),
         "",
         {"Integer a=1", "Integer b=2"}},
        {"<?xml version=\"1.0\"?>\n<!-- top -->\n" + Props("<!-- in --><Integer id=\"a\">1</Integer>"),
         "",
         {"Integer a=1"}},
        // Cut after a complete tag: a clean end, finished values kept.
        {"<Properties><String id=\"a\">x</String><String id=\"b\">", "", {"String a=x"}},
        {"<Properties><StringArray id=\"l\"><String>x</String>", "", {}},
        // Decoding the buffer stops at a byte that is not UTF-8.
        {"<Properties><String id=\"a\">x</String>\xFF<String id=\"b\">y</String></Properties>",
         "",
         {"String a=x"}},
        // The sink replaces on SetString and keeps the first list on InsertStringVector; the
        // reader's part is to hand both over, in document order.
        {Props(
             "<String id=\"s\">1</String><String id=\"s\">2</String><StringArray id=\"l\"><String>3</String>"
             "</StringArray><StringArray id=\"l\"><String>4</String></StringArray>"),
         "",
         {"String s=1", "String s=2", "StringArray l=[3]", "StringArray l=[4]"}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Properties, FailsWithThisTextKeepingEarlierValues)
{
    const Case cases[] = {
        {Props("<Boolean id=\"b\">maybe</Boolean>"), "Invalid Boolean Value: 'MAYBE' on Line 1", {}},
        {Props("<Integer id=\"i\">1.5</Integer>"), "Invalid Integer Value: '1.5' on Line 1", {}},
        {Props("<Double id=\"d\">1e5</Double>"), "Invalid Double Value: '1e5' on Line 1", {}},
        {"<Settings/>", "Invalid Section 'Settings' on Line 1", {}},
        {Props("<string id=\"s\">x</string>"), "Invalid Section 'string' on Line 1", {}},
        {Props("") + "\nstray words\n" + Props(""), "Element Not Expected 'stray words' on Line 3", {}},
        {Props("loose"), "Element Not Expected 'loose' on Line 1", {}},
        {Props("<String id=\"s\"><b>x</b></String>"), "Unexpected Section: 'b' on Line 1", {}},
        {Props("<StringArray id=\"l\"><Item>x</Item></StringArray>"), "Invalid Section 'Item' on Line 1", {}},
        {Props("<StringArray id=\"l\">x</StringArray>"), "Element Not Expected 'x' on Line 1", {}},
        {Props("<String id=\"s\">x</Strin>"), "End 'Strin' Doesn't Match Start 'String' on Line 1", {}},
        {"<Properties>\n<String id=\"a\">x</String>\n<String id=\"b\">abc",
         "Unexpected End of File on Line 3",
         {"String a=x"}},
        {"<Properties>\n<Integer id=\"a\">1</Integer>\n<Integer id=\"b\">x</Integer>\n"
         "<Integer id=\"c\">3</Integer></Properties>",
         "Invalid Integer Value: 'x' on Line 3",
         {"Integer a=1"}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(Properties, FilesReadAndNameLineAndFileInErrorsAndTheParserIsReusable)
{
    TestFolder dir;
    RecordingSink sink;
    PropertiesParser parser(&sink);
    EXPECT_TRUE(parser.ParsePropertiesFile(dir.Write("a.xml", Props("<Integer id=\"n\">0x20</Integer>"))));
    EXPECT_EQ(sink.mCalls, (Lines{"Integer n=32"}));
    const std::string path = dir.Write("b.xml", Props("\n<Boolean id=\"b\">Y</Boolean>"));
    EXPECT_FALSE(parser.ParsePropertiesFile(path));
    EXPECT_EQ(parser.GetErrorText(), "Invalid Boolean Value: 'Y' on Line 2 in File '" + path + "'");
    EXPECT_FALSE(parser.ParsePropertiesFile("/nonexistent/params.xml"));
    EXPECT_EQ(parser.GetErrorText(), "Unable to open file /nonexistent/params.xml");
    EXPECT_TRUE(parser.ParsePropertiesBuffer(MakeBuffer(Props(""))));
    EXPECT_EQ(parser.GetErrorText(), "");
}
