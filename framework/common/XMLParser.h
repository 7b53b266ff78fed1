// XMLParser: the tokenizer every XML reader of the framework stands on (the properties
// reader, the typed parser base AceParser, the resource manifest reader).
//
// It reads a small, lenient XML dialect from a file or a string and hands out a flat
// sequence of XMLElement tokens (start tags with attributes, end tags, text,
// processing instructions, comments), keeping the path of open elements and the line
// number for error messages. Names, text and attribute values are narrow: every
// character read is stored as its low 8 bits. Failures are reported by a false result
// and an error text kept in the parser, never by exceptions.
//
//   XMLSection  - the "a/b/c" path of open elements, cheap to snapshot
//   XMLElement  - one token
//   XMLParser   - the tokenizer
#pragma once

#include "common/Common.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

// The path of open elements, the names joined by "/". Every token carries a snapshot of
// it; the text is kept as a shared chain of appended pieces so that a snapshot costs the
// same however deeply the document nests (a copied string would make deep documents
// quadratic). Text semantics are those of the joined string.
class XMLSection
{
public:
    XMLSection() = default;

    bool empty() const { return mTop == nullptr; }
    size_t length() const;
    // The joined text ("a/b/c"); walks the chain.
    VaxoString ToString() const;
    operator VaxoString() const { return ToString(); }
    bool operator==(const VaxoString& text) const;
    bool operator!=(const VaxoString& text) const { return !(*this == text); }

    // Appends the name, after a "/" when the section is not empty.
    void Append(const VaxoString& name);
    // The part after the last "/" (the whole text when there is none).
    VaxoString LastPart() const;
    // Removes LastPart() and the "/" before it.
    void RemoveLastPart();
    void Clear() { mTop.reset(); }

private:
    struct Node;
    std::shared_ptr<Node> mTop; // null when the text is empty
};

// Case-insensitive names; a repeated name replaces the earlier value.
typedef std::map<VaxoString, VaxoString, StringLessNoCase> XMLParamMap;

// One token of XMLParser.
class XMLElement
{
public:
    enum Type
    {
        TYPE_NONE = 0,        // only while tokenizing
        TYPE_START = 1,       // start tag: mValue is the name, attributes filled
        TYPE_END = 2,         // end tag: mValue is the name
        TYPE_ELEMENT = 3,     // text: mValue is the character data
        TYPE_INSTRUCTION = 4, // <?target rest?>: mValue is the target, mInstruction the rest
        TYPE_COMMENT = 5      // <!-- body -->: mInstruction is the body
    };

    int32_t mType = TYPE_NONE;
    // The open-element path when this token began (an end tag still includes its element).
    XMLSection mSection;
    VaxoString mValue;
    VaxoString mInstruction;
    XMLParamMap mAttributes;
    // Names in the order they were added, repeats included. NextElement does not empty
    // it: use a fresh element per token when the order matters.
    std::vector<VaxoString> mAttributeNames;
};

enum XMLEncodingType
{
    XML_ENCODING_SINGLE_BYTE = 0, // each byte is one character (Latin-1)
    XML_ENCODING_UTF8 = 1,
    XML_ENCODING_UTF16 = 2,    // byte order from the leading byte-order mark
    XML_ENCODING_UTF16_LE = 3, // fixed byte order, no mark handling
    XML_ENCODING_UTF16_BE = 4
};

class XMLParser
{
public:
    XMLParser();
    virtual ~XMLParser();

    // Two parsers must never share one open FILE (each would close it).
    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    // Opens the file and, unless SetEncodingType forced one, picks the decoder from a
    // byte-order mark (no mark: single bytes). False with "Unable to open file <path>"
    // and line 0 when the file can't be opened.
    bool OpenFile(const std::string& path);
    // Makes the text the whole input (no file); narrow text is read byte by byte.
    void SetStringSource(const std::string& text);
    void SetStringSource(const std::wstring& text);
    // Forces the decoder of the next OpenFile; values outside the enumeration are ignored.
    void SetEncodingType(XMLEncodingType type);
    // Comments are skipped unless allowed; allowed ones come out as TYPE_COMMENT tokens.
    void AllowComments(bool allow) { mAllowComments = allow; }
    void CloseFile();

    // Fills the element with the next token. False at the end of input and on an error
    // (then HasFailed() is true and GetErrorText() says why).
    bool NextElement(XMLElement* element);

    bool HasFailed() const { return mHasFailed; }
    std::string GetErrorText() const { return mErrorText; }
    // 1 for the first line; 0 after a failed OpenFile.
    int32_t GetCurrentLineNum() const { return mLineNum; }
    std::string GetFileName() const { return mFileName; }
    // The current open-element path.
    const XMLSection& GetSection() const { return mSection; }

    // Inserts the pair, or replaces the value of a name already present (compared without
    // case); the name is listed in mAttributeNames unless it is "/". True when it was new.
    bool AddAttribute(XMLElement* element, const std::string& name, const std::string& value);

protected:
    void Fail(const std::string& text);

private:
    // Characters are 32-bit; these two values never occur as characters.
    static constexpr uint32_t kEndOfInput = 0xFFFFFFFFu;
    static constexpr uint32_t kBadInput = 0xFFFFFFFEu; // the decoder met damaged data

    enum SourceKind
    {
        SOURCE_NONE,
        SOURCE_FILE,
        SOURCE_NARROW,
        SOURCE_WIDE
    };

    void ResetParseState();
    uint32_t GetChar();
    uint32_t DecodeChar();
    uint32_t DecodeUTF8();
    uint32_t DecodeUTF16();
    // 1 with a unit, 0 at the end of the file, -1 when it ends inside a unit.
    int ReadUTF16Unit(uint32_t* unit);
    bool FillReadBuffer();
    int ReadFileByte();
    void PushBackText(const std::string& text);
    XMLParamMap::iterator StoreAttribute(XMLElement* element, const std::string& name,
                                         const std::string& value, bool* isNew);
    // Moves the element's attribute nodes into mNodePool.
    void RecycleAttributes(XMLElement* element);
    // The input bytes that are characters as they stand, when there are any.
    bool RawWindow(const uint8_t** begin, const uint8_t** end, int* shift) const;
    void Consume(size_t count);
    void TakeContentRun(std::string* target, bool inQuote, bool inStartTag);
    void SkipBlankRun();

    // Tokenizing: one function a kind of token, each going on from the characters that
    // told the kind. False at the end of input or on an error.
    struct StartTag;
    // The next character, lines counted; false at the end of input (an error inside a token).
    bool ReadChar(const XMLElement* element, uint32_t* c);
    // Skips blanks and starts the token its first character tells.
    bool ReadToken(XMLElement* element);
    bool ReadText(XMLElement* element, uint32_t first);
    bool ReadTag(XMLElement* element);
    void AddToStartTag(XMLElement* element, StartTag& tag, uint32_t c);
    XMLParamMap::iterator CommitAttribute(XMLElement* element, StartTag& tag);
    void FinishStartTag(XMLElement* element, StartTag& tag);
    bool ReadEndTag(XMLElement* element);
    bool ReadInstruction(XMLElement* element);
    bool ReadComment(XMLElement* element);
    // Appends the character of a text or an end tag, after one space for pending blanks.
    void AppendContent(std::string* target, uint32_t c, bool* pendingBlank, bool inQuote);

    std::string mFileName;
    std::string mErrorText;
    int32_t mLineNum = 0;
    FILE* mFile = nullptr; // owned; closed by CloseFile and the destructor
    bool mHasFailed = false;
    bool mAllowComments = false;

    // Pushed-back characters; the next character comes from the back.
    std::vector<uint32_t> mPushBack;
    XMLSection mSection;

    XMLEncodingType mEncoding = XML_ENCODING_UTF8;
    bool mForcedEncoding = false;
    bool mFirstChar = false;
    bool mByteSwap = false;    // UTF-16 units are big-endian
    bool mSawMark = false;     // the UTF-16 mark has been looked at
    bool mInputBroken = false; // the decoder failed: the input ends here for good
    bool mReadError = false;   // reading the file failed: the input ends here, damaged

    SourceKind mSource = SOURCE_NONE;
    std::string mNarrowSource;
    std::wstring mWideSource;
    size_t mSourcePos = 0;

    // Attribute map nodes and text buffers reused from token to token, so that steady
    // tokenizing allocates little.
    std::vector<XMLParamMap::node_type> mNodePool;
    std::string mAttrKey;
    std::string mAttrValue;

    // File bytes read ahead (fread in blocks).
    std::unique_ptr<uint8_t[]> mReadBuf;
    size_t mReadPos = 0;
    size_t mReadLen = 0;
};

} // namespace Vaxo
