#include "graphics/FontDescriptor.h"

#include "common/Common.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace Vaxo
{

// ---- Values ------------------------------------------------------------------------------

DataElement::DataElement() : mIsList(false) {}

DataElement::~DataElement() = default;

SingleDataElement::SingleDataElement() = default;

SingleDataElement::SingleDataElement(const std::string& text) : mString(text) {}

SingleDataElement::SingleDataElement(const SingleDataElement& other)
    : DataElement(other), mString(other.mString)
{
}

SingleDataElement::~SingleDataElement() = default;

DataElement* SingleDataElement::Duplicate()
{
    return new SingleDataElement(*this);
}

ListDataElement::ListDataElement()
{
    mIsList = true;
}

ListDataElement::ListDataElement(const ListDataElement& other) : DataElement(other)
{
    mElementVector.reserve(other.mElementVector.size());
    for (DataElement* e : other.mElementVector)
        mElementVector.push_back(e->Duplicate());
}

ListDataElement& ListDataElement::operator=(const ListDataElement& other)
{
    if (this == &other)
        return *this;
    for (DataElement* e : mElementVector)
        delete e;
    mElementVector.clear();
    for (DataElement* e : other.mElementVector)
        mElementVector.push_back(e->Duplicate());
    return *this;
}

ListDataElement::~ListDataElement()
{
    for (DataElement* e : mElementVector)
        delete e;
}

DataElement* ListDataElement::Duplicate()
{
    return new ListDataElement(*this);
}

// Both walk trees whose depth the parser keeps at kMaxListDepth or a little more.
int32_t DataElementDepth(const DataElement* e)
{
    if (e == nullptr || !e->mIsList)
        return 0;
    int32_t deepest = 0;
    for (const DataElement* child : static_cast<const ListDataElement*>(e)->mElementVector)
        deepest = std::max(deepest, DataElementDepth(child));
    return deepest + 1;
}

int64_t DataElementCount(const DataElement* e)
{
    if (e == nullptr)
        return 0;
    int64_t count = 1;
    if (e->mIsList)
        for (const DataElement* child : static_cast<const ListDataElement*>(e)->mElementVector)
            count += DataElementCount(child);
    return count;
}

// ---- The parser ----------------------------------------------------------------------------

namespace
{
const char kNestingError[] = "List Nesting Too Deep";
const char kSizeError[] = "List Too Large";

bool IsQuote(char c)
{
    return c == '\'' || c == '"';
}

std::string DereferenceError(const std::string& name)
{
    return "Unable to Dereference \"" + name + "\"";
}

class FileCloser
{
public:
    explicit FileCloser(FILE* file) : mFile(file) {}
    ~FileCloser() { std::fclose(mFile); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    FILE* mFile;
};
} // namespace

DescParser::DescParser() : mCurrentLineNum(0), mDefineElements(0) {}

DescParser::~DescParser()
{
    ClearDefines();
}

void DescParser::ClearDefines()
{
    for (auto& entry : mDefineMap)
        delete entry.second;
    mDefineMap.clear();
    mDefineElements = 0;
}

bool DescParser::Error(const std::string& message)
{
    mError = message;
    return false;
}

DataElement* DescParser::Dereference(const std::string& name)
{
    auto it = mDefineMap.find(StringToUpper(name));
    return it == mDefineMap.end() ? nullptr : it->second;
}

void DescParser::RemoveDefine(const std::string& upperName)
{
    auto it = mDefineMap.find(upperName);
    if (it == mDefineMap.end())
        return;
    mDefineElements -= DataElementCount(it->second);
    delete it->second;
    mDefineMap.erase(it);
}

bool DescParser::SetDefine(const std::string& name, DataElement* value)
{
    const std::string key = StringToUpper(name);
    if (DataElementDepth(value) > kMaxListDepth)
    {
        delete value;
        return Error(kNestingError);
    }
    const int64_t count = DataElementCount(value);
    auto it = mDefineMap.find(key);
    const int64_t old = it == mDefineMap.end() ? 0 : DataElementCount(it->second);
    if (count > kMaxValueElements || mDefineElements - old + count > kMaxDefineElements)
    {
        delete value;
        return Error(kSizeError);
    }
    RemoveDefine(key);
    mDefineMap[key] = value;
    mDefineElements += count;
    return true;
}

bool DescParser::LoadDescriptor(const std::string& path)
{
    mCurrentLineNum = 0;
    mError.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    FileCloser closer(file);

    mCurrentLine.clear();
    int32_t lineFeeds = 0;
    bool lineStart = true;
    bool inComment = false;
    bool singleQuote = false;
    bool doubleQuote = false;
    bool escaped = false;
    bool ok = true;

    auto append = [&](char c)
    {
        if (mCurrentLine.empty())
            mCurrentLineNum = lineFeeds + 1;
        mCurrentLine += c;
    };
    auto endCommand = [&]()
    {
        bool result = true;
        if (!mCurrentLine.empty())
            result = ParseDescriptorLine(mCurrentLine);
        mCurrentLine.clear();
        singleQuote = doubleQuote = escaped = false;
        return result;
    };

    int ch;
    while ((ch = std::getc(file)) != EOF)
    {
        const char c = static_cast<char>(ch);
        if (c == '\r')
            continue;
        if (c == '\n' && lineFeeds < INT32_MAX)
            ++lineFeeds;
        if (inComment)
        {
            inComment = c != '\n';
            continue;
        }
        if (escaped)
        {
            append(c);
            escaped = false;
            continue;
        }
        if (lineStart)
        {
            if (c == ' ' || c == '\t' || c == '\n')
                continue;
            if (c == '#')
            {
                inComment = true;
                continue;
            }
            lineStart = false;
        }
        const bool quoted = singleQuote || doubleQuote;
        if (c == '\n')
        {
            append(c);
            lineStart = true;
        }
        else if (c == '\'')
        {
            if (!doubleQuote)
                singleQuote = !singleQuote;
            append(c);
        }
        else if (c == '"')
        {
            if (!singleQuote)
                doubleQuote = !doubleQuote;
            append(c);
        }
        else if (c == '\\' && quoted)
        {
            append(c);
            escaped = true;
        }
        else if (c == ';' && !quoted)
        {
            if (!endCommand())
            {
                ok = false;
                break;
            }
            lineStart = true;
        }
        else
            append(c);
    }
    if (ok)
        ok = endCommand();

    mCurrentLine.clear();
    mCurrentLineNum = 0;
    return ok;
}

bool DescParser::ParseDescriptorLine(const std::string& text)
{
    ListDataElement list;
    if (!ParseToList(text, &list, false, nullptr))
        return false;
    if (list.mElementVector.empty())
        return true;
    if (list.mElementVector[0]->mIsList)
        return Error("Missing Command");
    return HandleCommand(list);
}

bool DescParser::ParseToList(const std::string& text, ListDataElement* out, bool inList, int* pos)
{
    size_t at = (pos != nullptr && *pos > 0) ? size_t(*pos) : 0;
    const bool result = ParseToListAt(text, out, inList, &at, inList ? 1 : 0);
    if (pos != nullptr)
        *pos = int(std::min<size_t>(at, INT_MAX));
    return result;
}

bool DescParser::ParseToListAt(const std::string& text, ListDataElement* out, bool inList, size_t* pos,
                               int32_t depth)
{
    if (depth > kMaxListDepth)
        return Error(kNestingError);
    SingleDataElement* token = nullptr;
    bool singleQuote = false;
    bool doubleQuote = false;
    bool escaped = false;
    auto add = [&](char c)
    {
        if (token == nullptr)
        {
            token = new SingleDataElement();
            out->mElementVector.push_back(token);
        }
        token->mString += c;
    };

    while (*pos < text.size())
    {
        const char c = text[(*pos)++];
        if (escaped)
        {
            add(c);
            escaped = false;
            continue;
        }
        if (c == '\\')
        {
            escaped = true;
            continue;
        }
        if (c == '\'')
        {
            if (!doubleQuote)
                singleQuote = !singleQuote;
            add(c);
            continue;
        }
        if (c == '"')
        {
            if (!singleQuote)
                doubleQuote = !doubleQuote;
            add(c);
            continue;
        }
        if (!singleQuote && !doubleQuote)
        {
            if (c == ' ' || c == '\t' || c == '\n' || c == ',')
            {
                token = nullptr;
                continue;
            }
            if (c == '(')
            {
                if (token != nullptr)
                    return Error("Unexpected List Start");
                ListDataElement* list = new ListDataElement();
                out->mElementVector.push_back(list);
                if (!ParseToListAt(text, list, true, pos, depth + 1))
                    return false;
                continue;
            }
            if (c == ')')
            {
                if (inList)
                    return true;
                return Error("Unexpected List End");
            }
        }
        add(c);
    }
    if (singleQuote)
        return Error("Unterminated Single Quotes");
    if (doubleQuote)
        return Error("Unterminated Double Quotes");
    if (inList)
        return Error("Unterminated List");
    return true;
}

bool DescParser::IsImmediate(const std::string& text)
{
    if (text.empty())
        return false;
    const char c = text[0];
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || IsQuote(c);
}

std::string DescParser::Unquote(const std::string& text)
{
    if (text.empty() || !IsQuote(text[0]))
        return text;
    const char quote = text[0];
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
    {
        // A quote is kept only when doubled: the second of a pair stands for itself.
        if (text[i] != quote || (i > 0 && text[i - 1] == quote))
            result += text[i];
    }
    return result;
}

// ---- Conversions of values ------------------------------------------------------------------

bool DescParser::DataToString(DataElement* e, std::string* out)
{
    out->clear();
    if (e == nullptr || e->mIsList)
        return false;
    const std::string& text = static_cast<SingleDataElement*>(e)->mString;
    DataElement* define = Dereference(text);
    if (define == nullptr)
    {
        *out = Unquote(text);
        return true;
    }
    if (define->mIsList)
        return false;
    *out = Unquote(static_cast<SingleDataElement*>(define)->mString);
    return true;
}

bool DescParser::DataToInt(DataElement* e, int* out)
{
    *out = 0;
    std::string text;
    if (!DataToString(e, &text))
        return false;
    return StringToInt(text, out);
}

bool DescParser::GetValues(ListDataElement* in, ListDataElement* out)
{
    int64_t count = 0;
    return GetValuesAt(in, out, 1, &count);
}

bool DescParser::GetValuesAt(ListDataElement* in, ListDataElement* out, int32_t depth, int64_t* count)
{
    if (depth > kMaxListDepth)
        return Error(kNestingError);
    for (DataElement* e : in->mElementVector)
    {
        if (++*count > kMaxValueElements)
            return Error(kSizeError);
        if (e->mIsList)
        {
            ListDataElement* list = new ListDataElement();
            out->mElementVector.push_back(list);
            if (!GetValuesAt(static_cast<ListDataElement*>(e), list, depth + 1, count))
                return false;
            continue;
        }
        const std::string& text = static_cast<SingleDataElement*>(e)->mString;
        if (text.empty())
            continue;
        if (IsQuote(text[0]))
        {
            out->mElementVector.push_back(new SingleDataElement(Unquote(text)));
            continue;
        }
        if (IsImmediate(text))
        {
            out->mElementVector.push_back(new SingleDataElement(text));
            continue;
        }
        DataElement* define = Dereference(text);
        if (define == nullptr)
            return Error(DereferenceError(text));
        // Defines may hold defines: without these checks each command could deepen or
        // widen a value further.
        if (depth + DataElementDepth(define) > kMaxListDepth)
            return Error(kNestingError);
        *count += DataElementCount(define) - 1;
        if (*count > kMaxValueElements)
            return Error(kSizeError);
        out->mElementVector.push_back(define->Duplicate());
    }
    return true;
}

bool DescParser::DataToList(DataElement* e, ListDataElement* out)
{
    *out = ListDataElement();
    if (e == nullptr)
        return false;
    if (e->mIsList)
        return GetValues(static_cast<ListDataElement*>(e), out);
    DataElement* define = Dereference(static_cast<SingleDataElement*>(e)->mString);
    if (define == nullptr || !define->mIsList)
        return false;
    *out = *static_cast<ListDataElement*>(define);
    return true;
}

bool DescParser::DataToStringVector(DataElement* e, std::vector<std::string>* out)
{
    out->clear();
    if (e == nullptr)
        return false;
    ListDataElement resolved;
    const ListDataElement* list = nullptr;
    if (e->mIsList)
    {
        if (!GetValues(static_cast<ListDataElement*>(e), &resolved))
            return false;
        list = &resolved;
    }
    else
    {
        const std::string& text = static_cast<SingleDataElement*>(e)->mString;
        DataElement* define = Dereference(text);
        if (define == nullptr)
            return Error(DereferenceError(text));
        if (!define->mIsList)
            return false;
        list = static_cast<ListDataElement*>(define);
    }
    for (const DataElement* item : list->mElementVector)
    {
        if (item->mIsList)
        {
            out->clear();
            return false;
        }
        out->push_back(static_cast<const SingleDataElement*>(item)->mString);
    }
    return true;
}

bool DescParser::DataToIntVector(DataElement* e, std::vector<int>* out)
{
    out->clear();
    std::vector<std::string> texts;
    if (!DataToStringVector(e, &texts))
        return false;
    for (const std::string& text : texts)
    {
        int value;
        if (!StringToInt(text, &value))
            return false;
        out->push_back(value);
    }
    return true;
}

bool DescParser::DataToDoubleVector(DataElement* e, std::vector<double>* out)
{
    out->clear();
    std::vector<std::string> texts;
    if (!DataToStringVector(e, &texts))
        return false;
    for (const std::string& text : texts)
    {
        double value;
        if (!StringToDouble(text, &value))
            return false;
        out->push_back(value);
    }
    return true;
}

std::string DescParser::DataElementToString(const DataElement* e)
{
    if (e == nullptr)
        return std::string();
    if (!e->mIsList)
        return static_cast<const SingleDataElement*>(e)->mString;
    std::string text = "(";
    const auto& elements = static_cast<const ListDataElement*>(e)->mElementVector;
    for (size_t i = 0; i < elements.size(); ++i)
    {
        if (i > 0)
            text += ", ";
        text += DataElementToString(elements[i]);
    }
    return text + ")";
}

} // namespace Vaxo
