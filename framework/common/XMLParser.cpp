#include "common/XMLParser.h"

#include <algorithm>

#include <sys/stat.h>

namespace Vaxo
{

// ---- XMLParser -------------------------------------------------------------------------

namespace
{

constexpr size_t kReadBlock = 64 * 1024;

inline bool IsXMLSpace(uint32_t c)
{
    return c == ' ' || (c >= 9 && c <= 13);
}

// Most texts hold no entity: skip the copy for them.
inline void DecodeInPlace(std::string& text)
{
    if (text.find('&') != std::string::npos)
        text = XMLDecodeString(text);
}

inline bool EndsWith(const std::string& s, const char* tail, size_t n)
{
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

} // namespace

XMLParser::XMLParser() = default;

XMLParser::~XMLParser()
{
    CloseFile();
}

void XMLParser::CloseFile()
{
    if (mFile)
        fclose(mFile);
    mFile = nullptr;
    mReadPos = mReadLen = 0;
    if (mSource == SOURCE_FILE)
        mSource = SOURCE_NONE;
}

void XMLParser::ResetParseState()
{
    mSection.Clear();
    mLineNum = 1;
    mHasFailed = false;
    mErrorText.clear();
    mByteSwap = false;
    mFirstChar = true;
    mSawMark = false;
    mInputBroken = false;
    mReadError = false;
    mPushBack.clear();
}

bool XMLParser::OpenFile(const std::string& path)
{
    CloseFile();
    mFileName.clear(); // errors must not name a file that is no longer read
    mNarrowSource.clear();
    mWideSource.clear();
    mSourcePos = 0;
    mSource = SOURCE_NONE;
    mPushBack.clear();

    mFile = fopen(path.c_str(), "rb");
    // A folder opens like an empty file; it is no document.
    struct stat info;
    if (mFile && (fstat(fileno(mFile), &info) != 0 || S_ISDIR(info.st_mode)))
        CloseFile();
    if (!mFile)
    {
        mLineNum = 0;
        Fail("Unable to open file " + path);
        return false;
    }
    mSource = SOURCE_FILE;

    if (!mForcedEncoding)
    {
        // The mark stays in the read-ahead: decoding starts at the first byte.
        FillReadBuffer();
        const uint8_t* b = mReadBuf.get();
        mEncoding = XML_ENCODING_SINGLE_BYTE;
        if (mReadLen >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
            mEncoding = XML_ENCODING_UTF16;
        else if (mReadLen >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
            mEncoding = XML_ENCODING_UTF8;
    }

    mFileName = path;
    ResetParseState();
    return true;
}

void XMLParser::SetStringSource(const std::string& text)
{
    CloseFile();
    mFileName.clear();
    ResetParseState();
    mWideSource.clear();
    mNarrowSource = text;
    mSourcePos = 0;
    mSource = SOURCE_NARROW;
}

void XMLParser::SetStringSource(const std::wstring& text)
{
    CloseFile();
    mFileName.clear();
    ResetParseState();
    mNarrowSource.clear();
    mWideSource = text;
    mSourcePos = 0;
    mSource = SOURCE_WIDE;
}

void XMLParser::SetEncodingType(XMLEncodingType type)
{
    if (type < XML_ENCODING_SINGLE_BYTE || type > XML_ENCODING_UTF16_BE)
        return;
    mEncoding = type;
    mForcedEncoding = true;
}

void XMLParser::Fail(const std::string& text)
{
    mHasFailed = true;
    mErrorText = text;
}

bool XMLParser::AddAttribute(XMLElement* element, const std::string& name, const std::string& value)
{
    bool isNew = false;
    StoreAttribute(element, name, value, &isNew);
    return isNew;
}

XMLParamMap::iterator XMLParser::StoreAttribute(XMLElement* element, const std::string& name,
                                                const std::string& value, bool* isNew)
{
    XMLParamMap& map = element->mAttributes;
    auto it = map.lower_bound(name);
    *isNew = it == map.end() || map.key_comp()(name, it->first);
    if (name != "/")
        element->mAttributeNames.push_back(name);
    if (!*isNew)
    {
        it->second = value;
        return it;
    }
    if (mNodePool.empty())
        return map.emplace_hint(it, name, value);
    XMLParamMap::node_type node = std::move(mNodePool.back());
    mNodePool.pop_back();
    node.key().assign(name);
    node.mapped().assign(value);
    return map.insert(it, std::move(node));
}

void XMLParser::RecycleAttributes(XMLElement* element)
{
    XMLParamMap& map = element->mAttributes;
    while (!map.empty())
        mNodePool.push_back(map.extract(map.begin()));
}

void XMLParser::PushBackText(const std::string& text)
{
    for (auto it = text.rbegin(); it != text.rend(); ++it)
        mPushBack.push_back(static_cast<uint8_t>(*it));
}

// ---- Character input -------------------------------------------------------------------

bool XMLParser::FillReadBuffer()
{
    if (!mFile)
        return false;
    if (!mReadBuf)
        mReadBuf.reset(new uint8_t[kReadBlock]); // left uninitialised: fread fills what is used
    // Keep what has not been consumed yet (only the sniffed mark can be there).
    size_t keep = mReadLen - mReadPos;
    if (keep && mReadPos)
        std::copy(mReadBuf.get() + mReadPos, mReadBuf.get() + mReadLen, mReadBuf.get());
    mReadPos = 0;
    mReadLen = keep;
    mReadLen += fread(mReadBuf.get() + keep, 1, kReadBlock - keep, mFile);
    // A read error is not the end of the document: what follows was never seen.
    if (mReadLen == 0 && ferror(mFile))
        mReadError = true;
    return mReadLen > 0;
}

inline int XMLParser::ReadFileByte()
{
    if (mReadPos >= mReadLen && !FillReadBuffer())
        return -1;
    return mReadBuf[mReadPos++];
}

inline uint32_t XMLParser::GetChar()
{
    if (!mPushBack.empty())
    {
        uint32_t c = mPushBack.back();
        mPushBack.pop_back();
        return c;
    }
    switch (mSource)
    {
    case SOURCE_NARROW:
        if (mSourcePos < mNarrowSource.size())
            return static_cast<uint8_t>(mNarrowSource[mSourcePos++]);
        return kEndOfInput;
    case SOURCE_WIDE:
        if (mSourcePos < mWideSource.size())
        {
            uint32_t c = static_cast<uint32_t>(mWideSource[mSourcePos++]);
            // Only the low byte is ever stored; values beyond Unicode keep it and stay
            // clear of the two marker values and of the whitespace test.
            if (c > 0x10FFFF)
                c = (c & 0xFF) | 0x100;
            return c;
        }
        return kEndOfInput;
    case SOURCE_FILE:
    {
        uint32_t c = DecodeChar();
        return c == kEndOfInput && mReadError ? kBadInput : c;
    }
    default:
        return kEndOfInput;
    }
}

uint32_t XMLParser::DecodeChar()
{
    if (mInputBroken)
        return kBadInput;
    uint32_t c;
    switch (mEncoding)
    {
    case XML_ENCODING_SINGLE_BYTE:
    {
        int b = ReadFileByte();
        return b < 0 ? kEndOfInput : static_cast<uint32_t>(b);
    }
    case XML_ENCODING_UTF8:
        c = DecodeUTF8();
        if (mFirstChar && c != kBadInput && c != kEndOfInput)
        {
            mFirstChar = false;
            if (c == 0xFEFF)
                c = DecodeUTF8();
        }
        break;
    default:
        c = DecodeUTF16();
        break;
    }
    if (c == kBadInput)
        mInputBroken = true;
    return c;
}

uint32_t XMLParser::DecodeUTF8()
{
    int lead = ReadFileByte();
    if (lead < 0)
        return kEndOfInput;
    if (lead < 0x80)
        return static_cast<uint32_t>(lead);
    int follow;
    uint32_t c;
    if ((lead & 0xE0) == 0xC0)
        follow = 1, c = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        follow = 2, c = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        follow = 3, c = lead & 0x07;
    else if ((lead & 0xFC) == 0xF8)
        follow = 4, c = lead & 0x03;
    else if ((lead & 0xFE) == 0xFC)
        follow = 5, c = lead & 0x01;
    else
        return kBadInput; // a continuation byte, 0xFE or 0xFF
    const uint32_t leadPayload = c;
    int second = -1;
    for (int i = 0; i < follow; ++i)
    {
        int b = ReadFileByte();
        if (b < 0 || (b & 0xC0) != 0x80)
            return kBadInput;
        if (i == 0)
            second = b;
        c = (c << 6) | (b & 0x3F);
    }
    // Overlong forms.
    if (follow == 1 && (lead == 0xC0 || lead == 0xC1))
        return kBadInput;
    if (leadPayload == 0 && ((follow == 2 && second < 0xA0) || (follow == 3 && second < 0x90) ||
                             (follow == 4 && second < 0x88) || (follow == 5 && second < 0x84)))
        return kBadInput;
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
        return kBadInput;
    return c;
}

int XMLParser::ReadUTF16Unit(uint32_t* unit)
{
    int a = ReadFileByte();
    if (a < 0)
        return 0;
    int b = ReadFileByte();
    if (b < 0)
        return -1; // half a unit: the file was cut
    *unit = mByteSwap ? static_cast<uint32_t>((a << 8) | b) : static_cast<uint32_t>((b << 8) | a);
    return 1;
}

uint32_t XMLParser::DecodeUTF16()
{
    uint32_t unit = 0;
    int r;
    if (mSawMark)
        r = ReadUTF16Unit(&unit);
    else
    {
        mSawMark = true;
        mByteSwap = mEncoding == XML_ENCODING_UTF16_BE;
        r = ReadUTF16Unit(&unit);
        // With a mark the first unit gives the byte order and is dropped. Without one
        // (a forced encoding) the units are little-endian and the first is a character.
        if (mEncoding == XML_ENCODING_UTF16 && r > 0 && (unit == 0xFEFF || unit == 0xFFFE))
        {
            mByteSwap = unit == 0xFFFE;
            r = ReadUTF16Unit(&unit);
        }
    }
    if (r == 0)
        return kEndOfInput;
    if (r < 0)
        return kBadInput;
    if (unit >= 0xDC00 && unit <= 0xDFFF)
        return kBadInput; // a second half with no first half
    if (unit < 0xD800 || unit > 0xDBFF)
        return unit;
    // A first half must be followed by a second half; a lone one means a damaged file.
    uint32_t low = 0;
    if (ReadUTF16Unit(&low) <= 0 || low < 0xDC00 || low > 0xDFFF)
        return kBadInput;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

// Content comes mostly in runs of ordinary characters. When the next bytes of the input are
// characters as they stand (a narrow string, single-byte files, ASCII in UTF-8 files), the
// rest of such a run is appended at once; the run stops at every character the state
// machine must look at, so the tokens are exactly those of the character-by-character path.
namespace
{

// Byte classes for TakeContentRun: a set bit means the byte continues a run.
enum : uint8_t
{
    RUN_TEXT = 1,      // unquoted text and end-tag names
    RUN_TAG = 2,       // unquoted start-tag names, keys and values ("=" switches)
    RUN_QUOTED = 4,    // quoted content, line feeds included (counted)
    RUN_BLANK = 64,    // white space outside quotes (the same in every encoding)
    RUN_ASCII_ONLY = 8 // the same three, shifted by 3, for UTF-8 files
};

struct RunTable
{
    uint8_t mBits[256];
    RunTable()
    {
        for (int b = 0; b < 256; ++b)
        {
            uint8_t bits = 0;
            if (b > 32 && b != '"' && b != '<' && b != '>')
                bits |= RUN_TEXT;
            if (b > 32 && b != '"' && b != '<' && b != '>' && b != '=')
                bits |= RUN_TAG;
            if (b != '"')
                bits |= RUN_QUOTED;
            if (b < 0x80)
                bits |= static_cast<uint8_t>(bits << 3);
            if (b == ' ' || (b >= 9 && b <= 13))
                bits |= RUN_BLANK;
            mBits[b] = bits;
        }
    }
};

const RunTable kRunTable;

} // namespace

bool XMLParser::RawWindow(const uint8_t** begin, const uint8_t** end, int* shift) const
{
    if (!mPushBack.empty())
        return false;
    *shift = 0;
    if (mSource == SOURCE_NARROW)
    {
        *begin = reinterpret_cast<const uint8_t*>(mNarrowSource.data()) + mSourcePos;
        *end = reinterpret_cast<const uint8_t*>(mNarrowSource.data()) + mNarrowSource.size();
        return true;
    }
    if (mSource == SOURCE_FILE && !mInputBroken &&
        (mEncoding == XML_ENCODING_SINGLE_BYTE || (mEncoding == XML_ENCODING_UTF8 && !mFirstChar)))
    {
        *begin = mReadBuf.get() + mReadPos;
        *end = mReadBuf.get() + mReadLen;
        if (mEncoding == XML_ENCODING_UTF8)
            *shift = 3;
        return true;
    }
    return false;
}

void XMLParser::Consume(size_t count)
{
    if (mSource == SOURCE_NARROW)
        mSourcePos += count;
    else
        mReadPos += count;
}

void XMLParser::SkipBlankRun()
{
    const uint8_t* begin;
    const uint8_t* end;
    int shift;
    if (!RawWindow(&begin, &end, &shift))
        return;
    const uint8_t* p = begin;
    while (p < end && (kRunTable.mBits[*p] & RUN_BLANK))
        ++p;
    mLineNum += static_cast<int32_t>(std::count(begin, p, '\n'));
    Consume(static_cast<size_t>(p - begin));
}

void XMLParser::TakeContentRun(std::string* target, bool inQuote, bool inStartTag)
{
    const uint8_t* begin;
    const uint8_t* end;
    int shift;
    if (!RawWindow(&begin, &end, &shift))
        return;

    const uint8_t mask = static_cast<uint8_t>((inQuote      ? RUN_QUOTED
                                               : inStartTag ? RUN_TAG
                                                            : RUN_TEXT)
                                              << shift);
    const uint8_t* p = begin;
    while (p < end && (kRunTable.mBits[*p] & mask))
        ++p;
    size_t n = static_cast<size_t>(p - begin);
    if (!n)
        return;
    if (inQuote)
        mLineNum += static_cast<int32_t>(std::count(begin, p, '\n'));
    target->append(reinterpret_cast<const char*>(begin), n);
    Consume(n);
}

// ---- Tokenizing ------------------------------------------------------------------------

// A start tag while it is read: the quote and blank state and the attribute under way.
struct XMLParser::StartTag
{
    // The text buffers are the parser's, kept between tokens for their capacity.
    StartTag(std::string& key, std::string& value) : mKey(key), mValue(value)
    {
        mKey.clear();
        mValue.clear();
    }

    bool mInQuote = false;
    bool mPendingBlank = false; // blanks since the last character kept
    bool mBegun = false;        // an attribute is pending
    bool mValueMode = false;    // after its "="
    bool mEndQuote = false;     // a closing double quote was seen since the last "="
    std::string& mKey;
    std::string& mValue;
};

bool XMLParser::NextElement(XMLElement* element)
{
    for (;;)
    {
        element->mType = XMLElement::TYPE_NONE;
        element->mSection = mSection;
        element->mValue.clear();
        element->mInstruction.clear();
        RecycleAttributes(element);

        if (!ReadToken(element))
            return false;
        DecodeInPlace(element->mValue);
        if (element->mType == XMLElement::TYPE_COMMENT && !mAllowComments)
            continue;
        return true;
    }
}

bool XMLParser::ReadChar(const XMLElement* element, uint32_t* c)
{
    *c = GetChar();
    if (*c == kEndOfInput || *c == kBadInput)
    {
        if (*c == kBadInput)
            Fail(mReadError ? "Unable to read file " + mFileName : "Illegal Character");
        if (element->mType != XMLElement::TYPE_NONE)
            Fail("Unexpected End of File");
        return false;
    }
    if (*c == '\n')
        ++mLineNum;
    return true;
}

bool XMLParser::ReadToken(XMLElement* element)
{
    for (;;)
    {
        uint32_t c;
        if (!ReadChar(element, &c))
            return false;
        if (c == '<')
            return ReadTag(element);
        if (c == '>')
        {
            Fail("Unexpected '>'");
            return false;
        }
        if (IsXMLSpace(c))
            SkipBlankRun(); // more blanks change nothing
        else if (c > 32)
            return ReadText(element, c);
        else
        {
            Fail("Illegal Character");
            return false;
        }
    }
}

void XMLParser::AppendContent(std::string* target, uint32_t c, bool* pendingBlank, bool inQuote)
{
    // A run of blanks between kept characters stands as one space.
    if (*pendingBlank)
    {
        *target += ' ';
        *pendingBlank = false;
    }
    *target += static_cast<char>(c);
    TakeContentRun(target, inQuote, false);
}

// Character data up to the next "<" (left for the next token); quotes are part of it,
// and within them so is everything else.
bool XMLParser::ReadText(XMLElement* element, uint32_t c)
{
    element->mType = XMLElement::TYPE_ELEMENT;
    std::string& value = element->mValue;
    bool inQuote = false;
    bool pendingBlank = false;
    for (;;)
    {
        if (c == '"')
            inQuote = !inQuote;
        if (c == '"' || inQuote || (c > 32 && c != '<' && c != '>'))
            AppendContent(&value, c, &pendingBlank, inQuote);
        else if (c == '<')
        {
            mPushBack.push_back(c);
            return true;
        }
        else if (c == '>')
        {
            Fail("Unexpected '>'");
            return false;
        }
        else if (IsXMLSpace(c))
        {
            pendingBlank = true;
            SkipBlankRun();
        }
        else
        {
            Fail("Illegal Character");
            return false;
        }
        if (!ReadChar(element, &c))
            return false;
    }
}

// After "<": a start tag, unless its first characters make it an end tag ("/"), an
// instruction ("?") or a comment ("!--" and a blank).
bool XMLParser::ReadTag(XMLElement* element)
{
    element->mType = XMLElement::TYPE_START;
    std::string& value = element->mValue;
    StartTag tag(mAttrKey, mAttrValue);
    for (;;)
    {
        uint32_t c;
        if (!ReadChar(element, &c))
            return false;
        if (c == '"')
        {
            tag.mInQuote = !tag.mInQuote;
            if (!tag.mInQuote)
                tag.mEndQuote = true;
            else if (!tag.mPendingBlank)
            {
                // Quoted content goes where the next character would go.
                std::string* target = !tag.mBegun ? &value : tag.mValueMode ? &tag.mValue : &tag.mKey;
                TakeContentRun(target, true, true);
            }
        }
        else if (tag.mInQuote)
            AddToStartTag(element, tag, c);
        else if (c == '<')
        {
            Fail("Unexpected '<'");
            return false;
        }
        else if (c == '>')
        {
            FinishStartTag(element, tag);
            return true;
        }
        else if (c == '/' && value.empty())
            return ReadEndTag(element);
        else if (c == '?' && value.empty())
            return ReadInstruction(element);
        else if (IsXMLSpace(c))
        {
            if (!value.empty())
                tag.mPendingBlank = true;
            if (value.size() == 3 && value == "!--")
                return ReadComment(element);
            SkipBlankRun();
        }
        else if (c > 32)
            AddToStartTag(element, tag, c);
        else
        {
            Fail("Illegal Character");
            return false;
        }
    }
}

// A character of the name, an attribute's name or its value.
void XMLParser::AddToStartTag(XMLElement* element, StartTag& tag, uint32_t c)
{
    if (tag.mPendingBlank)
    {
        // A blank right after "=" does not end the attribute.
        if (!tag.mBegun)
            tag.mBegun = true;
        else if (tag.mValueMode)
        {
            if (!tag.mValue.empty() || tag.mEndQuote)
            {
                CommitAttribute(element, tag);
                tag.mBegun = true;
                tag.mValueMode = false;
            }
        }
        else if (c != '=')
        {
            CommitAttribute(element, tag);
            tag.mBegun = true;
        }
        tag.mPendingBlank = false;
    }
    std::string* target;
    if (!tag.mBegun)
        target = &element->mValue;
    else if (c == '=' && !tag.mInQuote)
    {
        // A quoted "=" is part of the value (it used to be swallowed).
        tag.mValueMode = true;
        tag.mEndQuote = false;
        return;
    }
    else
        target = tag.mValueMode ? &tag.mValue : &tag.mKey;
    *target += static_cast<char>(c);
    TakeContentRun(target, tag.mInQuote, true);
}

XMLParamMap::iterator XMLParser::CommitAttribute(XMLElement* element, StartTag& tag)
{
    DecodeInPlace(tag.mKey);
    DecodeInPlace(tag.mValue);
    bool isNew;
    auto it = StoreAttribute(element, tag.mKey, tag.mValue, &isNew);
    tag.mKey.clear();
    tag.mValue.clear();
    tag.mBegun = false;
    return it;
}

// The ">" of a start tag: the last attribute is stored, and an empty element is followed
// by its own end tag.
void XMLParser::FinishStartTag(XMLElement* element, StartTag& tag)
{
    std::string& value = element->mValue;
    bool empty = false;
    if (tag.mBegun && tag.mKey == "/")
    {
        // "<br />": the blank before the slash made it an attribute name.
        empty = true;
        tag.mBegun = false;
        tag.mKey.clear();
    }
    else if (tag.mBegun)
    {
        // <a b="x/"> is an empty element too (a quirk stored files keep).
        auto it = CommitAttribute(element, tag);
        if (!it->first.empty() && !it->second.empty() && it->second.back() == '/')
        {
            it->second.pop_back();
            DecodeInPlace(it->second);
            empty = true;
        }
    }
    else if (!value.empty() && value.back() == '/')
    {
        value.pop_back();
        empty = true;
    }
    if (empty)
        PushBackText("</" + value + ">");
    mSection.Append(value);
}

// After "</": the name, which must close the innermost open element. Quotes are dropped.
bool XMLParser::ReadEndTag(XMLElement* element)
{
    element->mType = XMLElement::TYPE_END;
    std::string& value = element->mValue;
    bool inQuote = false;
    bool pendingBlank = false;
    for (;;)
    {
        uint32_t c;
        if (!ReadChar(element, &c))
            return false;
        if (c == '"')
            inQuote = !inQuote;
        else if (inQuote || (c > 32 && c != '<' && c != '>'))
            AppendContent(&value, c, &pendingBlank, inQuote);
        else if (c == '<')
        {
            Fail("Unexpected '<'");
            return false;
        }
        else if (c == '>')
            break;
        else if (IsXMLSpace(c))
        {
            if (!value.empty())
                pendingBlank = true;
            SkipBlankRun();
        }
        else
        {
            Fail("Illegal Character");
            return false;
        }
    }
    if (mSection.empty())
    {
        Fail("Unexpected End");
        return false;
    }
    std::string open = mSection.LastPart();
    if (open != value)
    {
        Fail("End '" + value + "' Doesn't Match Start '" + open + "'");
        return false;
    }
    mSection.RemoveLastPart();
    return true;
}

// After "<?": the target up to the first blank, then the rest up to "?>".
bool XMLParser::ReadInstruction(XMLElement* element)
{
    element->mType = XMLElement::TYPE_INSTRUCTION;
    std::string& instruction = element->mInstruction;
    for (;;)
    {
        uint32_t c;
        if (!ReadChar(element, &c))
            return false;
        std::string& target = (instruction.empty() && !IsXMLSpace(c)) ? element->mValue : instruction;
        target += static_cast<char>(c);
        if (c == '>' && EndsWith(target, "?>", 2))
        {
            target.resize(target.size() - 2);
            return true;
        }
    }
}

// After "<!--" and a blank: the body up to "-->". The token's value stays "!--".
bool XMLParser::ReadComment(XMLElement* element)
{
    element->mType = XMLElement::TYPE_COMMENT;
    std::string& instruction = element->mInstruction;
    for (;;)
    {
        uint32_t c;
        if (!ReadChar(element, &c))
            return false;
        instruction += static_cast<char>(c);
        if (c == '>' && EndsWith(instruction, "-->", 3))
        {
            instruction.resize(instruction.size() - 3);
            return true;
        }
    }
}

} // namespace Vaxo
