// The XML tokenizer: token streams, error texts with their lines, the attribute machine,
// comments and instructions, encodings of files, section paths.
#include "common/XMLParser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <random>
#include <type_traits>
#include <unistd.h>
#include <vector>

using namespace Vaxo;

namespace
{

// One token as a line: S:name{k=v,...}, E:name, T:text, I:target|rest, C:body.
std::string Describe(const XMLElement& e)
{
    std::string s;
    switch (e.mType)
    {
    case XMLElement::TYPE_START:
        s = "S:" + e.mValue;
        if (!e.mAttributes.empty())
        {
            s += "{";
            bool first = true;
            for (const auto& kv : e.mAttributes)
            {
                s += (first ? "" : ",") + kv.first + "=" + kv.second;
                first = false;
            }
            s += "}";
        }
        return s;
    case XMLElement::TYPE_END:
        return "E:" + e.mValue;
    case XMLElement::TYPE_ELEMENT:
        return "T:" + e.mValue;
    case XMLElement::TYPE_INSTRUCTION:
        return "I:" + e.mValue + "|" + e.mInstruction;
    case XMLElement::TYPE_COMMENT:
        return "C:" + e.mValue + "|" + e.mInstruction;
    default:
        return "?";
    }
}

// Every token of the parser, then "END" or "ERR <text> @<line>".
std::vector<std::string> Drain(XMLParser& parser)
{
    std::vector<std::string> out;
    for (int guard = 0; guard < 10000; ++guard)
    {
        XMLElement e;
        if (!parser.NextElement(&e))
            break;
        out.push_back(Describe(e));
    }
    if (parser.HasFailed())
        out.push_back("ERR " + parser.GetErrorText() + " @" + std::to_string(parser.GetCurrentLineNum()));
    else
        out.push_back("END");
    return out;
}

std::vector<std::string> Tokens(const std::string& doc, bool allowComments = false)
{
    XMLParser parser;
    parser.AllowComments(allowComments);
    parser.SetStringSource(doc);
    return Drain(parser);
}

typedef std::vector<std::string> Lines;

class TempDir
{
public:
    TempDir()
    {
        char tmpl[] = "/tmp/xmlparser_test_XXXXXX";
        mPath = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + mPath + "'").c_str()); }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        std::string path = mPath + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return path;
    }

private:
    std::string mPath;
};

} // namespace

// ---- Token streams ---------------------------------------------------------------------

struct StreamCase
{
    const char* name;
    std::string doc;
    Lines expected;
};

class TokenStream : public ::testing::TestWithParam<StreamCase>
{
};

TEST_P(TokenStream, GivesTheseTokens)
{
    EXPECT_EQ(Tokens(GetParam().doc), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, TokenStream,
    ::testing::Values(
        StreamCase{"UnquotedAndQuotedAttributesOfAnEmptyElement",
                   "<a b=1 c=\"x y\"/>",
                   {"S:a{b=1,c=x y}", "E:a", "END"}},
        StreamCase{"ApostrophesDoNotQuote", "<a b='1'>", {"S:a{b='1'}", "END"}},
        StreamCase{"ApostropheValueSplitsAtTheBlank", "<a c='x y'>", {"S:a{c='x,y'=}", "END"}},
        StreamCase{"EmptyElementNoBlank", "<br/>", {"S:br", "E:br", "END"}},
        StreamCase{"EmptyElementWithBlank", "<br />", {"S:br", "E:br", "END"}},
        StreamCase{"EmptyElementAfterQuotedAttribute", "<a b=\"1\"/>", {"S:a{b=1}", "E:a", "END"}},
        StreamCase{"EmptyElementBlankAfterQuotedAttribute", "<a b=\"1\" />", {"S:a{b=1}", "E:a", "END"}},
        StreamCase{"UnquotedValueEndingInSlashMakesEmpty", "<a b=1/>", {"S:a{b=1}", "E:a", "END"}},
        StreamCase{
            "QuotedValueEndingInSlashMakesEmpty", "<a href=\"dir/\">", {"S:a{href=dir}", "E:a", "END"}},
        StreamCase{"KeyEndingInSlashIsNotEmpty", "<a b/>", {"S:a{b/=}", "END"}},
        StreamCase{"BlanksAroundEquals", "<a b = 1>", {"S:a{b=1}", "END"}},
        StreamCase{"KeyWithoutValue", "<a b c=2>", {"S:a{b=,c=2}", "END"}},
        StreamCase{"EmptyQuotedValueEndsAtBlank", "<a b=\"\" c=1>", {"S:a{b=,c=1}", "END"}},
        StreamCase{"QuotedValueKeepsBlanksAndMarkup", "<a b=\" <x> \">", {"S:a{b= <x> }", "END"}},
        StreamCase{"QuotedEqualsStaysInTheValue", "<a b=\"x=y\">", {"S:a{b=x=y}", "END"}},
        StreamCase{"UnquotedSecondEqualsIsDropped", "<a b=x=y>", {"S:a{b=xy}", "END"}},
        StreamCase{"AttributeEntitiesDecoded", "<a b=\"&lt;&amp;&quot;\">", {"S:a{b=<&\"}", "END"}},
        StreamCase{"SlashValueDecodedTwice", "<a b=\"&amp;lt;/\">", {"S:a{b=<}", "E:a", "END"}},
        StreamCase{"AttributeNamesIgnoreCase", "<a B=\"1\" b=\"2\">", {"S:a{B=2}", "END"}},
        StreamCase{
            "TextWhitespaceFolded", "<a>  hello   world  </a>", {"S:a", "T:hello world", "E:a", "END"}},
        StreamCase{"TextEntitiesDecodedOnce", "<a>x &amp;lt; y</a>", {"S:a", "T:x &lt; y", "E:a", "END"}},
        StreamCase{"TextNewlinesFolded", "<a>\n one\r\n\ttwo \n</a>", {"S:a", "T:one two", "E:a", "END"}},
        StreamCase{"QuotedTextKeepsMarkup", "<a>\"x <b>  y\"</a>", {"S:a", "T:\"x <b>  y\"", "E:a", "END"}},
        StreamCase{
            "WhitespaceBetweenTagsIsNoToken", "<a>\n  <b/>\n</a>\n", {"S:a", "S:b", "E:b", "E:a", "END"}},
        StreamCase{"TopLevelText", "hi<a/>", {"T:hi", "S:a", "E:a", "END"}},
        StreamCase{"CommentSkipped", "<!-- note --><a/>", {"S:a", "E:a", "END"}},
        StreamCase{"CommentWithoutBlankIsATag", "<!--note--><a></a>", {"S:!--note--", "S:a", "E:a", "END"}},
        StreamCase{
            "InstructionKeepsLeadingBlank", "<?xml version=\"1.0\"?>", {"I:xml| version=\"1.0\"", "END"}},
        StreamCase{"InstructionWithoutRest", "<?x?>", {"I:x|", "END"}},
        StreamCase{"InstructionRawText", "<?pi a<b>c ?>", {"I:pi| a<b>c ", "END"}},
        StreamCase{"EndTagTrailingBlank", "<a></a >", {"S:a", "E:a", "END"}},
        StreamCase{"EndOfInputAfterCompleteTagIsClean", "<a><b>", {"S:a", "S:b", "END"}},
        StreamCase{"EmptyInput", "", {"END"}}, StreamCase{"OnlyWhitespace", " \n\t ", {"END"}},
        StreamCase{"ControlCharacterInQuotesIsContent", "<a b=\"\x01\"/>", {"S:a{b=\x01}", "E:a", "END"}},
        StreamCase{"HighBytesAreContent", "<a>\xE9\x7F</a>", {"S:a", "T:\xE9\x7F", "E:a", "END"}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

TEST(Tokenizer, CommentsComeOutWhenAllowed)
{
    EXPECT_EQ(Tokens("<!-- c --><a/>", true), (Lines{"C:!--|c ", "S:a", "E:a", "END"}))
        << "the blank that makes it a comment is not part of the body";
    EXPECT_EQ(Tokens("<!--\n-->", true), (Lines{"C:!--|", "END"}));
}

// ---- Errors ----------------------------------------------------------------------------

struct ErrorCase
{
    const char* name;
    std::string doc;
    std::string error; // the last line Drain gives
};

class TokenizerError : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(TokenizerError, FailsWithThisTextAndLine)
{
    Lines lines = Tokens(GetParam().doc);
    EXPECT_EQ(lines.back(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, TokenizerError,
    ::testing::Values(
        ErrorCase{"EndWithoutStart", "</a>", "ERR Unexpected End @1"},
        ErrorCase{"EndDoesNotMatch", "<a></b>", "ERR End 'b' Doesn't Match Start 'a' @1"},
        ErrorCase{"EndCaseCounts", "<a></A>",
                  "ERR End 'A' Doesn't Match Start 'a'"
                  " @1"},
        ErrorCase{"CommentWithoutBlankThenEnd", "<!--note--></a>",
                  "ERR End 'a' Doesn't Match Start '!--note--' @1"},
        ErrorCase{"GreaterThanInText", "<a>x > y</a>", "ERR Unexpected '>' @1"},
        ErrorCase{"GreaterThanAtTop", ">", "ERR Unexpected '>' @1"},
        ErrorCase{"LessThanInStartTag", "<a <b>", "ERR Unexpected '<' @1"},
        ErrorCase{"LessThanInEndTag", "<a></a<", "ERR Unexpected '<' @1"},
        ErrorCase{"LineAlreadyAdvancedInTag", "<a\n\n<", "ERR Unexpected '<' @3"},
        ErrorCase{"UnfinishedStartTag", "<a", "ERR Unexpected End of File @1"},
        ErrorCase{"UnfinishedQuotedAttribute", "<a b=\"x>", "ERR Unexpected End of File @1"},
        ErrorCase{"UnfinishedText", "<a>text", "ERR Unexpected End of File @1"},
        ErrorCase{"UnfinishedComment", "<!-- x", "ERR Unexpected End of File @1"},
        ErrorCase{"UnfinishedInstruction", "<?x", "ERR Unexpected End of File @1"},
        ErrorCase{"UnmatchedQuoteInTextSwallowsMarkup", "<a>\"x</a>\n", "ERR Unexpected End of File @2"},
        ErrorCase{"ControlCharacter", "<a>\x01</a>", "ERR Illegal Character @1"},
        ErrorCase{"NulCharacter", std::string("<a>\0</a>", 8), "ERR Illegal Character @1"},
        ErrorCase{"ControlCharacterInTag", "<a\x1F>", "ERR Illegal Character @1"},
        ErrorCase{"MismatchOnLaterLine", "<a>\n\n</b>", "ERR End 'b' Doesn't Match Start 'a' @3"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(Tokenizer, OpenFailureNamesThePathWithLineZero)
{
    XMLParser parser;
    EXPECT_FALSE(parser.OpenFile("/nonexistent/dir/file.xml"));
    EXPECT_TRUE(parser.HasFailed());
    EXPECT_EQ(parser.GetErrorText(), "Unable to open file /nonexistent/dir/file.xml");
    EXPECT_EQ(parser.GetCurrentLineNum(), 0);
    EXPECT_EQ(parser.GetFileName(), "");
    XMLElement e;
    EXPECT_FALSE(parser.NextElement(&e));
}

// ---- Elements and attributes -----------------------------------------------------------

TEST(Tokenizer, AttributeNamesListKeepsRepeatsAndOrder)
{
    XMLParser parser;
    parser.SetStringSource("<a B=\"1\" b=\"2\" c=3>");
    XMLElement e;
    ASSERT_TRUE(parser.NextElement(&e));
    EXPECT_EQ(e.mAttributeNames, (std::vector<std::string>{"B", "b", "c"}));
    ASSERT_EQ(e.mAttributes.size(), 2u);
    EXPECT_EQ(e.mAttributes.begin()->first, "B"); // the first spelling stays the key
    EXPECT_EQ(e.mAttributes["b"], "2");
}

TEST(Tokenizer, AttributeNamesListIsNotEmptiedByNextElement)
{
    XMLParser parser;
    parser.SetStringSource("<a x=1><b y=2>");
    XMLElement e;
    ASSERT_TRUE(parser.NextElement(&e));
    ASSERT_TRUE(parser.NextElement(&e));
    EXPECT_EQ(e.mAttributeNames, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(e.mAttributes.size(), 1u);
}

TEST(Tokenizer, AddAttributeReportsNewNamesAndSkipsSlashInTheList)
{
    XMLParser parser;
    XMLElement e;
    EXPECT_TRUE(parser.AddAttribute(&e, "Id", "1"));
    EXPECT_FALSE(parser.AddAttribute(&e, "ID", "2"));
    EXPECT_TRUE(parser.AddAttribute(&e, "/", ""));
    EXPECT_EQ(e.mAttributes["id"], "2");
    EXPECT_EQ(e.mAttributeNames, (std::vector<std::string>{"Id", "ID"}));
}

TEST(Tokenizer, SectionsFollowTheOpenElements)
{
    XMLParser parser;
    parser.SetStringSource("<a><b>t<c/></b></a>");
    std::vector<std::string> got;
    XMLElement e;
    while (parser.NextElement(&e))
        got.push_back(Describe(e) + " @" + e.mSection.ToString());
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_EQ(got, (Lines{"S:a @", "S:b @a", "T:t @a/b", "S:c @a/b", "E:c @a/b/c", "E:b @a/b", "E:a @a"}));
    EXPECT_TRUE(parser.GetSection().empty());
}

TEST(Tokenizer, SectionOfUnclosedElementsStaysAtTheEnd)
{
    XMLParser parser;
    parser.SetStringSource("<a><b>");
    XMLElement e;
    while (parser.NextElement(&e))
    {
    }
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_TRUE(parser.GetSection() == "a/b");
}

TEST(Tokenizer, NameHoldingASlashClosesOnlyItsLastPart)
{
    // The section is plain text: a quoted "/" in a name splits it like any other.
    XMLParser parser;
    parser.SetStringSource("<x><\"p/q\"></q></p></x>");
    Lines got = Drain(parser);
    EXPECT_EQ(got, (Lines{"S:x", "S:p/q", "E:q", "E:p", "E:x", "END"}));
}

TEST(Tokenizer, EmptyNameAtTopLeavesTheSectionEmpty)
{
    EXPECT_EQ(Tokens("<></>"), (Lines{"S:", "ERR Unexpected End @1"}));
    EXPECT_EQ(Tokens("<a><></></a>"), (Lines{"S:a", "S:", "E:", "E:a", "END"}));
}

TEST(Tokenizer, ElementSnapshotOutlivesLaterTokens)
{
    XMLParser parser;
    parser.SetStringSource("<a><b><c>");
    XMLElement b, c;
    XMLElement a;
    ASSERT_TRUE(parser.NextElement(&a));
    ASSERT_TRUE(parser.NextElement(&b));
    ASSERT_TRUE(parser.NextElement(&c));
    EXPECT_EQ(b.mSection.ToString(), "a");
    EXPECT_EQ(c.mSection.ToString(), "a/b");
}

TEST(Tokenizer, DeepNestingIsReadAndFreed)
{
    const int depth = 200000;
    std::string doc;
    for (int i = 0; i < depth; ++i)
        doc += "<e>";
    for (int i = 0; i < depth; ++i)
        doc += "</e>";
    XMLParser parser;
    parser.SetStringSource(doc);
    XMLElement e;
    int starts = 0, ends = 0;
    size_t deepest = 0;
    while (parser.NextElement(&e))
    {
        if (e.mType == XMLElement::TYPE_START)
            ++starts;
        else if (e.mType == XMLElement::TYPE_END)
        {
            ++ends;
            deepest = std::max(deepest, e.mSection.length());
        }
    }
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_EQ(starts, depth);
    EXPECT_EQ(ends, depth);
    EXPECT_EQ(deepest, static_cast<size_t>(depth) * 2 - 1);
}

TEST(Tokenizer, ParserIsNotCopyable)
{
    static_assert(!std::is_copy_constructible<XMLParser>::value, "two copies would close one FILE twice");
    static_assert(!std::is_copy_assignable<XMLParser>::value, "two copies would close one FILE twice");
}

TEST(Tokenizer, WideStringSourceKeepsLowBytes)
{
    XMLParser parser;
    parser.SetStringSource(std::wstring(L"<a v=\"\u0141\">\u20AC\n</a>"));
    EXPECT_EQ(Drain(parser), (Lines{"S:a{v=A}", "T:\xAC", "E:a", "END"}));
    EXPECT_EQ(parser.GetCurrentLineNum(), 2);
}

TEST(Tokenizer, WideCharacterWhoseLowByteIsBlankIsContent)
{
    XMLParser parser;
    parser.SetStringSource(std::wstring(L"<a>x\u0120y</a>"));
    EXPECT_EQ(Drain(parser), (Lines{"S:a", "T:x y", "E:a", "END"}));
}

TEST(Tokenizer, SetStringSourceResetsState)
{
    XMLParser parser;
    parser.SetStringSource("<a>\n</b>");
    Drain(parser);
    ASSERT_TRUE(parser.HasFailed());
    parser.SetStringSource("<c/>");
    EXPECT_FALSE(parser.HasFailed());
    EXPECT_EQ(parser.GetErrorText(), "");
    EXPECT_EQ(parser.GetCurrentLineNum(), 1);
    EXPECT_EQ(Drain(parser), (Lines{"S:c", "E:c", "END"}));
}

// ---- Files and encodings ---------------------------------------------------------------

namespace
{

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string out;
    for (char16_t u : text)
    {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        if (bigEndian)
            out += std::string{hi, lo};
        else
            out += std::string{lo, hi};
    }
    return out;
}

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

struct EncodingCase
{
    const char* name;
    std::string bytes;
    int forced; // -1: sniffed
    Lines expected;
};

class FileEncoding : public ::testing::TestWithParam<EncodingCase>
{
};

TEST_P(FileEncoding, DecodesTo)
{
    TempDir dir;
    std::string path = dir.Write("doc.xml", GetParam().bytes);
    EXPECT_EQ(ParseFile(path, GetParam().forced), GetParam().expected);
}

const std::string kBomLE = "\xFF\xFE";
const std::string kBomBE = "\xFE\xFF";
const std::string kBom8 = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Encodings, FileEncoding,
    ::testing::Values(
        EncodingCase{"NoMarkIsSingleBytes", "<a>\xC3\xA9</a>", -1, {"S:a", "T:\xC3\xA9", "E:a", "END"}},
        EncodingCase{"Utf8MarkDecodes",
                     kBom8 + "<a>\xC3\xA9\xE2\x82\xAC</a>",
                     -1,
                     {"S:a", "T:\xE9\xAC", "E:a", "END"}},
        EncodingCase{"Utf8BadContinuation", kBom8 + "<a>\xC3(</a>", -1, {"S:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf8Overlong", kBom8 + "<a>\xC0\x80</a>", -1, {"S:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf8Surrogate", kBom8 + "<a>\xED\xA0\x80</a>", -1, {"S:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf8CutInSequenceInsideText",
                     kBom8 + "<a>x\xE2\x82",
                     -1,
                     {"S:a", "ERR Unexpected End of File @1"}},
        EncodingCase{"Utf8CutBetweenTokens", kBom8 + "<a>\xE2\x82", -1, {"S:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf16LittleEndianMark",
                     kBomLE + Utf16(u"<a>\u20AC</a>", false),
                     -1,
                     {"S:a", "T:\xAC", "E:a", "END"}},
        EncodingCase{"Utf16BigEndianMark",
                     kBomBE + Utf16(u"<a>\u20AC</a>", true),
                     -1,
                     {"S:a", "T:\xAC", "E:a", "END"}},
        EncodingCase{"Utf16SurrogatePair",
                     kBomLE + Utf16(u"<a>\U0001F642</a>", false),
                     -1,
                     {"S:a", "T:\x42", "E:a", "END"}},
        EncodingCase{"Utf16LoneFirstHalf",
                     kBomLE + Utf16(u"<a>", false) + "\x3D\xD8" + Utf16(u"x</a>", false),
                     -1,
                     {"S:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf16LoneSecondHalf",
                     kBomLE + Utf16(u"<a/>", false) + std::string("\x00\xDC", 2),
                     -1,
                     {"S:a", "E:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf16FileEndsInsidePair",
                     kBomLE + Utf16(u"<a/>", false) + "\x3D\xD8",
                     -1,
                     {"S:a", "E:a", "ERR Illegal Character @1"}},
        EncodingCase{"Utf16OddTrailingByte",
                     kBomLE + Utf16(u"<a/>", false) + "x",
                     -1,
                     {"S:a", "E:a", "ERR Illegal Character @1"}},
        EncodingCase{
            "ForcedSingleBytesKeepsUtf8Mark", kBom8 + "<a/>", 0, {"T:\xEF\xBB\xBF", "S:a", "E:a", "END"}},
        EncodingCase{"ForcedUtf8WithoutMark", "<a>\xC3\xA9</a>", 1, {"S:a", "T:\xE9", "E:a", "END"}},
        EncodingCase{"ForcedUtf8DropsMark", kBom8 + "<a/>", 1, {"S:a", "E:a", "END"}},
        EncodingCase{"ForcedUtf16MarkBigEndian", kBomBE + Utf16(u"<a/>", true), 2, {"S:a", "E:a", "END"}},
        EncodingCase{"ForcedUtf16WithoutMarkIsLittleEndian", Utf16(u"<a/>", false), 2, {"S:a", "E:a", "END"}},
        EncodingCase{"ForcedLittleEndian", Utf16(u"<b>\u0141</b>", false), 3, {"S:b", "T:A", "E:b", "END"}},
        EncodingCase{"ForcedBigEndian", Utf16(u"<b>\u0141</b>", true), 4, {"S:b", "T:A", "E:b", "END"}},
        EncodingCase{"ForcedBigEndianKeepsMarkAsCharacter",
                     kBomBE + Utf16(u"<b/>", true),
                     4,
                     {"T:\xFF", "S:b", "E:b", "END"}},
        EncodingCase{"ForcedLittleEndianKeepsMarkAsCharacter",
                     kBomLE + Utf16(u"<b/>", false),
                     3,
                     {"T:\xFF", "S:b", "E:b", "END"}},
        EncodingCase{"OneByteFileIsSingleBytes", "\xFF", -1, {"ERR Unexpected End of File @1"}},
        EncodingCase{"CutUtf8MarkIsSingleBytes", "\xEF\xBB<a/>", -1, {"T:\xEF\xBB", "S:a", "E:a", "END"}}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

TEST(Encodings, OutOfRangeEncodingIsIgnored)
{
    TempDir dir;
    std::string path = dir.Write("doc.xml", "<a>\xC3\xA9</a>");
    XMLParser parser;
    parser.SetEncodingType(static_cast<XMLEncodingType>(7));
    ASSERT_TRUE(parser.OpenFile(path));
    EXPECT_EQ(Drain(parser), (Lines{"S:a", "T:\xC3\xA9", "E:a", "END"}));
}

TEST(Encodings, FileRecordsNameAndCountsLines)
{
    TempDir dir;
    std::string path = dir.Write("doc.xml", "<a>\n\n<b>\n</a>");
    XMLParser parser;
    ASSERT_TRUE(parser.OpenFile(path));
    EXPECT_EQ(parser.GetFileName(), path);
    EXPECT_EQ(parser.GetCurrentLineNum(), 1);
    EXPECT_EQ(Drain(parser).back(), "ERR End 'a' Doesn't Match Start 'b' @4");
}

TEST(Encodings, LargeFileCrossesReadBlocks)
{
    TempDir dir;
    std::string doc = kBom8 + "<r>";
    for (int i = 0; i < 20000; ++i)
        doc += "<i n=\"" + std::to_string(i) + "\">\xC3\xA9</i>\n";
    doc += "</r>";
    std::string path = dir.Write("big.xml", doc);
    XMLParser parser;
    ASSERT_TRUE(parser.OpenFile(path));
    XMLElement e;
    int texts = 0;
    std::string lastN;
    while (parser.NextElement(&e))
    {
        if (e.mType == XMLElement::TYPE_ELEMENT)
        {
            ++texts;
            ASSERT_EQ(e.mValue, "\xE9");
        }
        else if (e.mType == XMLElement::TYPE_START && e.mValue == "i")
            lastN = e.mAttributes["n"];
    }
    EXPECT_FALSE(parser.HasFailed()) << parser.GetErrorText();
    EXPECT_EQ(texts, 20000);
    EXPECT_EQ(lastN, "19999");
    EXPECT_EQ(parser.GetCurrentLineNum(), 20001);
}

// ---- Sources agree ---------------------------------------------------------------------

// A narrow string and single-byte files take runs of plain content in bulk; a wide string is
// read one character at a time. On any input all three must give the same tokens, errors
// and lines.
TEST(Sources, NarrowWideAndFileGiveTheSameTokens)
{
    const char alphabet[] = "<<>>//?=?=\"\"  \n\t\r\x01!-abcAB&;lt\xE9";
    std::mt19937 rng(1234);
    TempDir dir;
    for (int round = 0; round < 3000; ++round)
    {
        std::string doc;
        size_t length = rng() % 60;
        for (size_t i = 0; i < length; ++i)
            doc += alphabet[rng() % (sizeof(alphabet) - 1)];

        XMLParser narrow;
        narrow.SetStringSource(doc);
        XMLParser wide;
        wide.SetStringSource(std::wstring(doc.begin(), doc.end()));
        Lines fromNarrow = Drain(narrow);
        Lines fromWide = Drain(wide);
        ASSERT_EQ(fromNarrow, fromWide) << "document: " << doc;
        if (round % 10 == 0)
        {
            std::string path = dir.Write("doc.xml", doc);
            ASSERT_EQ(ParseFile(path), fromWide) << "document: " << doc;
            // The same text in UTF-8 behind a mark: only its ASCII is taken in bulk.
            std::string utf8 = kBom8;
            for (char c : doc)
                utf8 += c == '\xE9' ? std::string("\xC3\xA9") : std::string(1, c);
            path = dir.Write("doc8.xml", utf8);
            ASSERT_EQ(ParseFile(path), fromWide) << "document: " << doc;
        }
    }
}

TEST(Tokenizer, ClosingThePartsOfALongSlashedNameStaysLinear)
{
    // One quoted name of 100,000 parts, closed part by part.
    const int parts = 100000;
    std::string name;
    for (int i = 0; i < parts; ++i)
        name += i ? "/p" : "p";
    std::string doc = "<\"" + name + "\">";
    for (int i = 0; i < parts; ++i)
        doc += "</p>";
    XMLParser parser;
    parser.SetStringSource(doc);
    XMLElement e;
    int ends = 0;
    while (parser.NextElement(&e))
        ends += e.mType == XMLElement::TYPE_END;
    EXPECT_FALSE(parser.HasFailed()) << parser.GetErrorText();
    EXPECT_EQ(ends, parts);
    EXPECT_TRUE(parser.GetSection().empty());
}
