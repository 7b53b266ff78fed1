// The XML tokenizer: token streams, error texts with their lines, the attribute machine,
// comments and instructions, encodings of files, section paths. The properties reader on
// top of it: what reaches the sink, every error text with its line and file, booleans in any
// case, duplicates, values kept before a failure, cut documents.
#include "common/Buffer.h"
#include "common/PropertiesParser.h"
#include "common/XMLParser.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

using namespace Vaxo;

static_assert(!std::is_copy_constructible<XMLParser>::value, "two copies would close one FILE twice");
static_assert(!std::is_copy_assignable<XMLParser>::value, "two copies would close one FILE twice");

namespace
{

typedef std::vector<std::string> Lines;

// One token as a line: S:name{k=v,...}, E:name, T:text, I:target|rest, C:!--|body.
std::string Describe(const XMLElement& e)
{
    static const char* const kKind[] = {"?", "S:", "E:", "T:", "I:", "C:"};
    if (e.mType < XMLElement::TYPE_START || e.mType > XMLElement::TYPE_COMMENT)
        return "?";
    std::string s = kKind[e.mType] + e.mValue, attributes;
    if (e.mType >= XMLElement::TYPE_INSTRUCTION)
        return s + "|" + e.mInstruction;
    for (const auto& kv : e.mAttributes)
        attributes += (attributes.empty() ? "" : ",") + kv.first + "=" + kv.second;
    return e.mType == XMLElement::TYPE_START && !e.mAttributes.empty() ? s + "{" + attributes + "}" : s;
}

// Every token of the parser, then "ERR <text> @<line>" if it failed.
Lines Drain(XMLParser& parser)
{
    Lines out;
    for (int guard = 0; guard < 10000; ++guard)
    {
        XMLElement e;
        if (!parser.NextElement(&e))
            break;
        out.push_back(Describe(e));
    }
    if (parser.HasFailed())
        out.push_back("ERR " + parser.GetErrorText() + " @" + std::to_string(parser.GetCurrentLineNum()));
    return out;
}

std::string Last(const Lines& lines)
{
    return lines.empty() ? "" : lines.back();
}

Lines Tokens(const std::string& doc, bool allowComments = false)
{
    XMLParser parser;
    parser.AllowComments(allowComments);
    parser.SetStringSource(doc);
    return Drain(parser);
}

} // namespace

TEST(Tokenizer, GivesTheseTokens)
{
    const std::tuple<const char*, std::string, Lines> cases[] = {
        {"QuotedAndUnquotedValues", "<a b=1 c=\"x y\"/>", {"S:a{b=1,c=x y}", "E:a"}},
        {"ApostropheValueSplitsAtTheBlank", "<a c='x y'>", {"S:a{c='x,y'=}"}},
        {"EmptyElementWithBlank", "<br />", {"S:br", "E:br"}},
        {"UnquotedValueEndingInSlashMakesEmpty", "<a b=1/>", {"S:a{b=1}", "E:a"}},
        {"QuotedValueEndingInSlashMakesEmpty", "<a href=\"dir/\">", {"S:a{href=dir}", "E:a"}},
        {"KeyEndingInSlashIsNotEmpty", "<a b/>", {"S:a{b/=}"}},
        {"BlanksAroundEquals", "<a b = 1>", {"S:a{b=1}"}},
        {"KeyWithoutValue", "<a b c=2>", {"S:a{b=,c=2}"}},
        {"EmptyQuotedValueEndsAtBlank", "<a b=\"\" c=1>", {"S:a{b=,c=1}"}},
        {"QuotedValueKeepsBlanksAndMarkup", "<a b=\" <x> \">", {"S:a{b= <x> }"}},
        {"UnquotedSecondEqualsIsDropped", "<a b=x=y>", {"S:a{b=xy}"}},
        {"AttributeEntitiesDecoded", "<a b=\"&lt;&amp;&quot;\">", {"S:a{b=<&\"}"}},
        {"SlashValueDecodedTwice", "<a b=\"&amp;lt;/\">", {"S:a{b=<}", "E:a"}},
        {"AttributeNamesIgnoreCase", "<a B=\"1\" b=\"2\">", {"S:a{B=2}"}},
        {"TextWhitespaceFolded", "<a>  hello \r\n\t world  </a>", {"S:a", "T:hello world", "E:a"}},
        {"TextEntitiesDecodedOnce", "<a>x &amp;lt; y</a>", {"S:a", "T:x &lt; y", "E:a"}},
        {"QuotedTextKeepsMarkup", "<a>\"x <b>  y\"</a>", {"S:a", "T:\"x <b>  y\"", "E:a"}},
        {"WhitespaceBetweenTagsIsNoToken", "<a>\n  <b/>\n</a>\n", {"S:a", "S:b", "E:b", "E:a"}},
        {"TopLevelText", "hi<a/>", {"T:hi", "S:a", "E:a"}},
        {"CommentSkipped", "<!-- note --><a/>", {"S:a", "E:a"}},
        {"CommentWithoutBlankIsATag", "<!--note--><a></a>", {"S:!--note--", "S:a", "E:a"}},
        {"InstructionRawText", "<?pi a<b>c ?>", {"I:pi| a<b>c "}},
        {"EndTagTrailingBlank", "<a></a >", {"S:a", "E:a"}},
        {"EndOfInputAfterCompleteTagIsClean", "<a><b>", {"S:a", "S:b"}},
        {"OnlyWhitespace", " \n\t ", {}},
        {"ControlCharacterInQuotesIsContent", "<a b=\"\x01\"/>", {"S:a{b=\x01}", "E:a"}},
        // The section is plain text: a quoted "/" in a name splits it like any other.
        {"NameHoldingASlashClosesPartByPart",
         "<x><\"p/q\"></q></p></x>",
         {"S:x", "S:p/q", "E:q", "E:p", "E:x"}},
        {"EmptyNameAtTopLeavesSectionEmpty", "<></>", {"S:", "ERR Unexpected End @1"}},
    };
    for (const auto& [name, doc, expected] : cases)
        EXPECT_EQ(Tokens(doc), expected) << name;
}

TEST(Tokenizer, FailsWithThisTextAndLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"</a>", "ERR Unexpected End @1"},
        {"<a></A>", "ERR End 'A' Doesn't Match Start 'a' @1"},
        {"<!--note--></a>", "ERR End 'a' Doesn't Match Start '!--note--' @1"}, // "<!--" needs a blank
        {"<a>x > y</a>", "ERR Unexpected '>' @1"},
        {"<a <b>", "ERR Unexpected '<' @1"},
        {"<a\n\n<", "ERR Unexpected '<' @3"},
        {"<a b=\"x>", "ERR Unexpected End of File @1"},
        {"<a>text", "ERR Unexpected End of File @1"},
        {"<!-- x", "ERR Unexpected End of File @1"},
        {"<a>\"x</a>\n", "ERR Unexpected End of File @2"}, // the quote swallows the end tag
        {std::string("<a>\0</a>", 8), "ERR Illegal Character @1"},
        {"<a\x1F>", "ERR Illegal Character @1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Last(Tokens(c.first)), c.second) << c.first;
}

TEST(Tokenizer, CommentsOpenFailuresAndAttributeNames)
{
    // The blank that makes it a comment is not part of the body.
    EXPECT_EQ(Tokens("<!-- c --><a/>", true), (Lines{"C:!--|c ", "S:a", "E:a"}));
    EXPECT_EQ(Tokens("<!--\n-->", true), (Lines{"C:!--|"}));
    XMLParser parser;
    EXPECT_FALSE(parser.OpenFile("/nonexistent/dir/file.xml"));
    EXPECT_EQ(Drain(parser), (Lines{"ERR Unable to open file /nonexistent/dir/file.xml @0"}));
    EXPECT_EQ(parser.GetFileName(), "");
    // The names list keeps repeats and is not emptied by the next element.
    parser.SetStringSource("<a B=\"1\" b=\"2\" c=3><d y=2>");
    XMLElement e;
    ASSERT_TRUE(parser.NextElement(&e));
    EXPECT_EQ(e.mAttributeNames, (Lines{"B", "b", "c"}));
    ASSERT_TRUE(parser.NextElement(&e));
    EXPECT_EQ(e.mAttributeNames, (Lines{"B", "b", "c", "y"}));
    EXPECT_EQ(e.mAttributes.size(), 1u);
    // AddAttribute reports new names and leaves "/" out of the list.
    e = XMLElement();
    EXPECT_TRUE(parser.AddAttribute(&e, "Id", "1"));
    EXPECT_FALSE(parser.AddAttribute(&e, "ID", "2"));
    EXPECT_TRUE(parser.AddAttribute(&e, "/", ""));
    EXPECT_EQ(e.mAttributes["id"], "2");
    EXPECT_EQ(e.mAttributeNames, (Lines{"Id", "ID"}));
}

TEST(Tokenizer, SectionsFollowTheOpenElementsAndOutliveLaterTokens)
{
    XMLParser parser;
    parser.SetStringSource("<a><b>t<c/></b></a><d><e>");
    std::vector<XMLElement> kept;
    for (XMLElement e; parser.NextElement(&e); e = XMLElement())
        kept.push_back(e);
    Lines got;
    for (const XMLElement& e : kept)
        got.push_back(Describe(e) + " @" + e.mSection.ToString());
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_EQ(got, (Lines{"S:a @", "S:b @a", "T:t @a/b", "S:c @a/b", "E:c @a/b/c", "E:b @a/b", "E:a @a",
                          "S:d @", "S:e @d"}));
    EXPECT_TRUE(parser.GetSection() == "d/e");
}

TEST(Tokenizer, DeepNestingAndLongSlashedNamesStayLinear)
{
    const int n = 200000;
    std::string opens, closes, parts = "<\"p", partCloses;
    for (int i = 0; i < n; ++i)
    {
        opens += "<e>";
        closes += "</e>";
        parts += i > 0 ? "/p" : "";
        partCloses += "</p>";
    }
    // The second is one quoted name of n parts, closed part by part.
    for (const std::string& doc : {opens + closes, parts + "\">" + partCloses})
    {
        XMLParser parser;
        parser.SetStringSource(doc);
        XMLElement e;
        int ends = 0;
        size_t deepest = 0;
        while (parser.NextElement(&e))
        {
            if (e.mType != XMLElement::TYPE_END)
                continue;
            ++ends;
            deepest = std::max(deepest, e.mSection.length());
        }
        EXPECT_FALSE(parser.HasFailed()) << parser.GetErrorText();
        EXPECT_EQ(ends, n);
        EXPECT_EQ(deepest, size_t(n) * 2 - 1);
        EXPECT_TRUE(parser.GetSection().empty());
    }
}

TEST(Tokenizer, WideSourcesKeepLowBytesAndANewSourceResetsState)
{
    XMLParser parser;
    parser.SetStringSource(std::wstring(L"<a v=\"\u0141\">\u20AC\n</a>"));
    EXPECT_EQ(Drain(parser), (Lines{"S:a{v=A}", "T:\xAC", "E:a"}));
    parser.SetStringSource(std::wstring(L"<a>x\u0120y</a>")); // a low byte that is a blank is content
    EXPECT_EQ(Drain(parser), (Lines{"S:a", "T:x y", "E:a"}));
    parser.SetStringSource("<a>\n</b>");
    EXPECT_EQ(Last(Drain(parser)), "ERR End 'b' Doesn't Match Start 'a' @2");
    parser.SetStringSource("<c/>");
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_EQ(parser.GetErrorText(), "");
    EXPECT_EQ(parser.GetCurrentLineNum(), 1);
    EXPECT_EQ(Drain(parser), (Lines{"S:c", "E:c"}));
}

// ---- Files and encodings ---------------------------------------------------------------

namespace
{

std::string Utf16(const std::u16string& text, bool bigEndian = false)
{
    std::string out;
    for (char16_t u : text)
    {
        char hi = char(u >> 8), lo = char(u & 0xFF);
        out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

const std::string kBomLE = "\xFF\xFE", kBomBE = "\xFE\xFF", kBom8 = "\xEF\xBB\xBF";
const std::string kIllegal = "ERR Illegal Character @1";

Lines ParseFile(const std::string& path, int forced = -1)
{
    XMLParser parser;
    if (forced >= 0)
        parser.SetEncodingType(static_cast<XMLEncodingType>(forced));
    if (!parser.OpenFile(path))
        return {"OPEN FAILED"};
    return Drain(parser);
}

} // namespace

TEST(Encodings, FileDecodesTo)
{
    // Name, file bytes, the encoding forced on the parser (-1: sniffed), tokens.
    const std::tuple<const char*, std::string, int, Lines> cases[] = {
        {"NoMarkIsSingleBytes", "<a>\xC3\xA9</a>", -1, {"S:a", "T:\xC3\xA9", "E:a"}},
        {"Utf8MarkDecodes", kBom8 + "<a>\xC3\xA9\xE2\x82\xAC</a>", -1, {"S:a", "T:\xE9\xAC", "E:a"}},
        {"Utf8BadContinuation", kBom8 + "<a>\xC3(</a>", -1, {"S:a", kIllegal}},
        {"Utf8Overlong", kBom8 + "<a>\xC0\x80</a>", -1, {"S:a", kIllegal}},
        {"Utf8Surrogate", kBom8 + "<a>\xED\xA0\x80</a>", -1, {"S:a", kIllegal}},
        {"Utf8CutInsideText", kBom8 + "<a>x\xE2\x82", -1, {"S:a", "ERR Unexpected End of File @1"}},
        {"Utf8CutBetweenTokens", kBom8 + "<a>\xE2\x82", -1, {"S:a", kIllegal}},
        {"Utf16LittleEndianMark", kBomLE + Utf16(u"<a>\u20AC</a>"), -1, {"S:a", "T:\xAC", "E:a"}},
        {"Utf16BigEndianMark", kBomBE + Utf16(u"<a>\u20AC</a>", true), -1, {"S:a", "T:\xAC", "E:a"}},
        {"Utf16SurrogatePair", kBomLE + Utf16(u"<a>\U0001F642</a>"), -1, {"S:a", "T:\x42", "E:a"}},
        {"Utf16LoneFirstHalf", kBomLE + Utf16(u"<a>") + "\x3D\xD8" + Utf16(u"x</a>"), -1, {"S:a", kIllegal}},
        {"Utf16LoneSecondHalf",
         kBomLE + Utf16(u"<a/>") + std::string("\x00\xDC", 2),
         -1,
         {"S:a", "E:a", kIllegal}},
        {"Utf16OddTrailingByte", kBomLE + Utf16(u"<a/>") + "x", -1, {"S:a", "E:a", kIllegal}},
        {"ForcedSingleBytesKeepsUtf8Mark", kBom8 + "<a/>", 0, {"T:\xEF\xBB\xBF", "S:a", "E:a"}},
        {"ForcedUtf8WithoutMark", "<a>\xC3\xA9</a>", 1, {"S:a", "T:\xE9", "E:a"}},
        {"ForcedUtf8DropsMark", kBom8 + "<a/>", 1, {"S:a", "E:a"}},
        {"ForcedUtf16WithoutMarkIsLittleEndian", Utf16(u"<a/>"), 2, {"S:a", "E:a"}},
        {"ForcedLittleEndian", Utf16(u"<b>\u0141</b>"), 3, {"S:b", "T:A", "E:b"}},
        {"ForcedBigEndian", Utf16(u"<b>\u0141</b>", true), 4, {"S:b", "T:A", "E:b"}},
        {"ForcedBigEndianKeepsMarkAsCharacter", kBomBE + Utf16(u"<b/>", true), 4, {"T:\xFF", "S:b", "E:b"}},
        {"OutOfRangeEncodingIsIgnored", "<a>\xC3\xA9</a>", 7, {"S:a", "T:\xC3\xA9", "E:a"}},
        {"OneByteFileIsSingleBytes", "\xFF", -1, {"ERR Unexpected End of File @1"}},
        {"CutUtf8MarkIsSingleBytes", "\xEF\xBB<a/>", -1, {"T:\xEF\xBB", "S:a", "E:a"}},
    };
    TestFolder dir;
    for (const auto& [name, bytes, forced, expected] : cases)
        EXPECT_EQ(ParseFile(dir.Write("doc.xml", bytes), forced), expected) << name;
}

// A narrow string and single-byte files take runs of plain content in bulk; a wide string is
// read one character at a time. On any input all must give the same tokens, errors and lines.
TEST(Sources, NarrowWideAndFileGiveTheSameTokens)
{
    const char alphabet[] = "<<>>//?=?=\"\"  \n\t\r\x01!-abcAB&;lt\xE9";
    std::mt19937 rng(1234);
    TestFolder dir;
    for (int round = 0; round < 3000; ++round)
    {
        std::string doc;
        for (size_t i = 0, length = rng() % 60; i < length; ++i)
            doc += alphabet[rng() % (sizeof(alphabet) - 1)];
        XMLParser narrow, wide;
        narrow.SetStringSource(doc);
        wide.SetStringSource(std::wstring(doc.begin(), doc.end()));
        Lines fromWide = Drain(wide);
        ASSERT_EQ(Drain(narrow), fromWide) << "document: " << doc;
        if (round % 10)
            continue;
        ASSERT_EQ(ParseFile(dir.Write("doc.xml", doc)), fromWide) << "document: " << doc;
    }
}

// ---- The properties reader -------------------------------------------------------------

namespace
{

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

// A folder opens like an empty file and a read error looks like the end of the file: neither
// may pass for an empty, well-formed document.
TEST(Encodings, FoldersAndUnreadableFilesFail)
{
    TestFolder dir;
    const std::string folder = dir / "sub";
    ASSERT_TRUE(MkDir(folder));
    XMLParser parser;
    EXPECT_FALSE(parser.OpenFile(folder));
    EXPECT_EQ(Drain(parser), (Lines{"ERR Unable to open file " + folder + " @0"}));
    RecordingSink sink;
    PropertiesParser properties(&sink);
    EXPECT_FALSE(properties.ParsePropertiesFile(folder));
    EXPECT_EQ(properties.GetErrorText(), "Unable to open file " + folder);
    // Reading this file fails at once with EIO.
    const std::string unreadable = "/proc/self/mem";
    for (int forced : {-1, 1, 2})
        EXPECT_EQ(ParseFile(unreadable, forced), (Lines{"ERR Unable to read file " + unreadable + " @1"}))
            << forced;
}

// Errors name the file being read: never one read before by the same parser.
TEST(Tokenizer, FileNameIsThatOfTheFileBeingRead)
{
    TestFolder dir;
    const std::string path = dir.Write("a.xml", "<a/>");
    XMLParser parser;
    ASSERT_TRUE(parser.OpenFile(path));
    EXPECT_EQ(parser.GetFileName(), path);
    parser.SetStringSource("<a>");
    EXPECT_EQ(parser.GetFileName(), "");
    ASSERT_TRUE(parser.OpenFile(path));
    parser.SetStringSource(std::wstring(L"<a>"));
    EXPECT_EQ(parser.GetFileName(), "");
    ASSERT_TRUE(parser.OpenFile(path));
    EXPECT_FALSE(parser.OpenFile(dir / "missing.xml"));
    EXPECT_EQ(parser.GetFileName(), "");
}
