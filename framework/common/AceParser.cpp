#include "common/AceParser.h"

#include "common/Common.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace Vaxo
{

// ---- Number and boolean texts ----------------------------------------------------------

namespace
{

// Data files are written with "." decimals whatever the user's locale is.
locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

[[noreturn]] void ThrowExpected(const char* what, const char* context)
{
    if (context)
        ThrowAceException("%s expected (%s)", what, context);
    ThrowAceException("%s expected", what);
}

} // namespace

int AceParseInt(const std::string& text, const char* context)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    if (text.compare(0, 2, "0x") == 0)
    {
        // "%x" reads the bits of an unsigned word: 0xFFFFFFFF is -1.
        unsigned long long value = strtoull_l(begin, &end, 16, CLocale());
        if (end == begin)
            ThrowExpected("Integer", context);
        if (value > 0xFFFFFFFFull)
            value = 0xFFFFFFFFull;
        return static_cast<int>(static_cast<uint32_t>(value));
    }
    long long value = strtoll_l(begin, &end, 10, CLocale());
    if (end == begin)
        ThrowExpected("Integer", context);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

float AceParseFloat(const std::string& text, const char* context)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    float value = strtof_l(begin, &end, CLocale());
    if (end == begin)
        ThrowExpected("Float", context);
    return value;
}

bool AceParseBool(const std::string& text, const char* context)
{
    const char* s = text.c_str();
    if (stricmp(s, "true") == 0 || stricmp(s, "on") == 0 || stricmp(s, "yes") == 0 || stricmp(s, "1") == 0)
        return true;
    if (stricmp(s, "false") == 0 || stricmp(s, "off") == 0 || stricmp(s, "no") == 0 || stricmp(s, "0") == 0)
        return false;
    ThrowExpected("Boolean", context);
}

std::string ParseStrWithEscapes(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size())
        {
            char next = text[++i];
            out += next == 'n' ? '\n' : next;
        }
        else
            out += c;
    }
    return out;
}

// ---- StringParser ----------------------------------------------------------------------

namespace
{

inline bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

void StringParser::SkipWhitespace()
{
    while (IsBlank(mText[mPos]))
        ++mPos;
}

std::string StringParser::ReadString(const char* delimiters)
{
    SkipWhitespace();
    int32_t start = mPos;
    while (mText[mPos] != '\0' && !strchr(delimiters, mText[mPos]))
        ++mPos;
    return std::string(mText + start, mText + mPos);
}

// ---- XMLElementEx ----------------------------------------------------------------------

const std::string* XMLElementEx::Find(const std::string& key) const
{
    auto it = mAttributes.find(key);
    return it == mAttributes.end() ? nullptr : &it->second;
}

const std::string& XMLElementEx::GetString(const std::string& key) const
{
    // Callers keep the reference past the element's next refill.
    static const std::string* empty = new std::string();
    const std::string* value = Find(key);
    return value ? *value : *empty;
}

const std::string& XMLElementEx::GetStringReq(const std::string& key) const
{
    const std::string* value = Find(key);
    if (!value)
        ThrowAceException("%s parameter required", key.c_str());
    return *value;
}

bool XMLElementEx::GetStringIfPresent(const std::string& key, std::string& out) const
{
    const std::string* value = Find(key);
    if (!value)
        return false;
    out = *value;
    return true;
}

int XMLElementEx::GetInt(const std::string& key, int defaultValue) const
{
    const std::string* value = Find(key);
    return value ? AceParseInt(*value, nullptr) : defaultValue;
}

int XMLElementEx::GetIntReq(const std::string& key) const
{
    return AceParseInt(GetStringReq(key), nullptr);
}

bool XMLElementEx::GetIntIfPresent(const std::string& key, int& out) const
{
    const std::string* value = Find(key);
    if (!value)
        return false;
    out = AceParseInt(*value, key.c_str());
    return true;
}

float XMLElementEx::GetFloat(const std::string& key, float defaultValue) const
{
    const std::string* value = Find(key);
    return value ? AceParseFloat(*value, key.c_str()) : defaultValue;
}

float XMLElementEx::GetFloatReq(const std::string& key) const
{
    return AceParseFloat(GetStringReq(key), key.c_str());
}

bool XMLElementEx::GetFloatIfPresent(const std::string& key, float& out) const
{
    const std::string* value = Find(key);
    if (!value)
        return false;
    out = AceParseFloat(*value, key.c_str());
    return true;
}

bool XMLElementEx::GetBool(const std::string& key, bool defaultValue) const
{
    const std::string* value = Find(key);
    return value ? AceParseBool(*value, key.c_str()) : defaultValue;
}

bool XMLElementEx::GetBoolReq(const std::string& key) const
{
    return AceParseBool(GetStringReq(key), key.c_str());
}

bool XMLElementEx::GetBoolIfPresent(const std::string& key, bool& out) const
{
    const std::string* value = Find(key);
    if (!value)
        return false;
    out = AceParseBool(*value, key.c_str());
    return true;
}

// ---- AceParser -------------------------------------------------------------------------

AceParser::AceParser() = default;

AceParser::~AceParser() = default;

void AceParser::DoParse() {}

bool AceParser::Parse(const std::string& fileName)
{
    mHasFailed = false;
    mError.clear();
    mIncludeStack.clear();
    mCurrentParser = nullptr;
    try
    {
        OpenFile(fileName);
        DoParse();
        if (mCurrentParser && mCurrentParser->HasFailed())
            Fail(mCurrentParser->GetErrorText());
    }
    catch (const AceException& e)
    {
        Fail(e.mMessage);
    }
    mCurrentParser = nullptr;
    mIncludeStack.clear();
    return !mHasFailed;
}

bool AceParser::Fail(const std::string& message)
{
    mHasFailed = true;
    mError = message;
    for (auto it = mIncludeStack.rbegin(); it != mIncludeStack.rend(); ++it)
        mError += StrFormat(" (%s:%d)", (*it)->GetFileName().c_str(), (*it)->GetCurrentLineNum());
    return false;
}

void AceParser::OpenFile(const std::string& path)
{
    mIncludeStack.emplace_back(new XMLParser());
    mCurrentParser = mIncludeStack.back().get();
    if (!mCurrentParser->OpenFile(path))
        ThrowAceException("File not found: %s", path.c_str());
}

bool AceParser::UnwindIncludeStack()
{
    if (mIncludeStack.size() < 2)
        return false;
    mIncludeStack.pop_back();
    mCurrentParser = mIncludeStack.back().get();
    return true;
}

bool AceParser::NextElement()
{
    if (!mCurrentParser)
        return false;
    for (;;)
    {
        if (mCurrentParser->NextElement(&mCurrentElement))
            return true;
        if (mCurrentParser->HasFailed())
            throw AceException(mCurrentParser->GetErrorText());
        if (!UnwindIncludeStack())
            return false;
    }
}

bool AceParser::NextElement(int type)
{
    if (!NextElement())
        return false;
    if (mCurrentElement.mType != type)
        ThrowUnexpectedElement(type);
    return true;
}

bool AceParser::NextElementReq(int type)
{
    if (!NextElement() || mCurrentElement.mType != type)
        ThrowUnexpectedElement(type);
    return true;
}

void AceParser::EndElement()
{
    NextElementReq(XMLElement::TYPE_END);
}

void AceParser::DoInclude()
{
    const std::string path = mCurrentElement.GetStringReq("path");
    const std::string dir = GetFileDir(mCurrentParser->GetFileName(), true);
    NextElementReq(XMLElement::TYPE_END);
    if (mIncludeStack.size() >= static_cast<size_t>(kMaxIncludeDepth))
        ThrowAceException("Include files nested deeper than %d: %s", kMaxIncludeDepth, (dir + path).c_str());
    OpenFile(dir + path);
}

void AceParser::ThrowUnexpectedElement(int expectedType)
{
    switch (expectedType)
    {
    case XMLElement::TYPE_START:
        throw AceException("Expecting start element");
    case XMLElement::TYPE_END:
        throw AceException("Expecting end element");
    case XMLElement::TYPE_ELEMENT:
        throw AceException("Expecting element text");
    case XMLElement::TYPE_INSTRUCTION:
        throw AceException("Expecting instruction element");
    case XMLElement::TYPE_COMMENT:
        throw AceException("Expecting comment element");
    default:
        throw AceException("Unexpected Element");
    }
}

} // namespace Vaxo
