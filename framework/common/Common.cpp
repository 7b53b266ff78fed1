#include "common/Common.h"

#include <SDL/SDL_mutex.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace Vaxo
{

std::string gAppDataFolder;
std::string gVaxoWorkingDir;
const InterlockedCrit gInterlockedCrit;

namespace
{

// The C locale's mappings, without tolower's undefined behaviour on negative chars.
inline int LowerAscii(int c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}
inline int UpperAscii(int c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}
inline bool IsSpaceAscii(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool IsSeparator(int c)
{
    return c == '/' || c == '\\';
}

const char kSeparators[] = "/\\";

// Smallest and largest buffers vformat formats into (the second after 13 doublings).
constexpr size_t kFormatStackSize = 160;
constexpr int kFormatMaxDoublings = 13;

template <class S> bool ParseInt(const S& text, int* out)
{
    *out = 0;
    if (text.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-')
    {
        negative = true;
        i = 1;
    }
    // Unsigned so that long digit strings wrap instead of overflowing.
    uint32_t value = 0;
    uint32_t radix = 10;
    for (; i < text.size(); ++i)
    {
        const auto c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = uint32_t(c - '0');
        else if (radix == 16 && c >= 'A' && c <= 'F')
            digit = uint32_t(c - 'A' + 10);
        else if (radix == 16 && c >= 'a' && c <= 'f')
            digit = uint32_t(c - 'a' + 10);
        else if ((c == 'x' || c == 'X') && i == 1 && value == 0 && radix == 10)
        {
            radix = 16;
            continue;
        }
        else
            return false;
        value = value * radix + digit;
    }
    if (negative)
        value = 0u - value;
    *out = int(value);
    return true;
}

template <class S> bool ParseDouble(const S& text, double* out)
{
    *out = 0.0;
    if (text.empty())
        return false;
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-')
    {
        negative = true;
        i = 1;
    }
    double value = 0.0;
    double multiplier = 0.1;
    bool fraction = false;
    for (; i < text.size(); ++i)
    {
        const auto c = text[i];
        if (c >= '0' && c <= '9')
        {
            const int digit = int(c - '0');
            if (fraction)
            {
                value += digit * multiplier;
                multiplier /= 10;
            }
            else
                value = value * 10 + digit;
        }
        else if (c == '.' && !fraction)
            fraction = true;
        else
            return false;
    }
    *out = negative ? -value : value;
    return true;
}

template <class S> S EncodeXML(const S& text)
{
    S out;
    out.reserve(text.size());
    bool inSpaceRun = false;
    for (auto c : text)
    {
        if (c == ' ')
        {
            // Markup collapses runs of blanks; the first stays a blank.
            if (inSpaceRun)
                out.append({'&', 'n', 'b', 's', 'p', ';'});
            else
                out.push_back(c);
            inSpaceRun = true;
            continue;
        }
        inSpaceRun = false;
        switch (c)
        {
        case '\n':
            out.append({'&', 'c', 'r', ';'});
            break;
        case '"':
            out.append({'&', 'q', 'u', 'o', 't', ';'});
            break;
        case '&':
            out.append({'&', 'a', 'm', 'p', ';'});
            break;
        case '\'':
            out.append({'&', 'a', 'p', 'o', 's', ';'});
            break;
        case '<':
            out.append({'&', 'l', 't', ';'});
            break;
        case '>':
            out.append({'&', 'g', 't', ';'});
            break;
        default:
            out.push_back(c);
            break;
        }
    }
    return out;
}

// The character an entity name stands for, or '&' for a name not in the table.
template <class S> typename S::value_type EntityChar(const S& name)
{
    static const struct
    {
        const char* name;
        char c;
    } kEntities[] = {{"cr", '\n'}, {"quot", '"'}, {"amp", '&'}, {"apos", '\''},
                     {"lt", '<'},  {"gt", '>'},   {"nbsp", ' '}};
    for (const auto& e : kEntities)
    {
        if (std::equal(name.begin(), name.end(), e.name, e.name + std::char_traits<char>::length(e.name)))
            return typename S::value_type(e.c);
    }
    return '&';
}

template <class S> S DecodeXML(const S& text)
{
    S out;
    out.reserve(text.size());
    size_t nextSemi = text.find(';');
    size_t i = 0;
    while (i < text.size())
    {
        const auto c = text[i];
        if (c != '&')
        {
            out.push_back(c);
            ++i;
            continue;
        }
        // The first ";" after an earlier "&" is also the first after this one while it lies
        // ahead, so a text of many "&" is still read in one pass.
        if (nextSemi != S::npos && nextSemi <= i)
            nextSemi = text.find(';', i + 1);
        const size_t semi = nextSemi;
        if (semi == S::npos)
        {
            out.push_back(c);
            ++i;
            continue;
        }
        out.push_back(EntityChar(text.substr(i + 1, semi - i - 1)));
        i = semi + 1;
    }
    return out;
}

template <class S, class F> S MapChars(const S& text, F f)
{
    S out(text);
    for (auto& c : out)
        c = typename S::value_type(f(c));
    return out;
}

int64_t StatTime(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return int64_t(st.st_mtime);
}

} // namespace

// ---- Conversions -----------------------------------------------------------------------

std::wstring StringToWString(const std::string& text)
{
    std::wstring out(text.size(), L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = wchar_t(static_cast<unsigned char>(text[i]));
    return out;
}

std::string WStringToString(const std::wstring& text)
{
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = char(static_cast<uint32_t>(text[i]) & 0xFF);
    return out;
}

// ---- Formatting ------------------------------------------------------------------------

std::string StrFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string result = vformat(format, args);
    va_end(args);
    return result;
}

std::string vformat(const char* format, va_list args)
{
    char stackBuffer[kFormatStackSize];
    // Every attempt formats from its own copy: a va_list is spent once it has been read.
    va_list attempt;
    va_copy(attempt, args);
    const int length = vsnprintf(stackBuffer, sizeof(stackBuffer), format, attempt);
    va_end(attempt);
    if (length < 0)
        return std::string();
    if (size_t(length) < kFormatStackSize)
        return std::string(stackBuffer, size_t(length));

    // The first attempt reported the whole length, so the doubling that would fit it is
    // known at once and one more pass is enough.
    size_t size = kFormatStackSize;
    for (int i = 0; i < kFormatMaxDoublings && size <= size_t(length); ++i)
        size *= 2;
    std::vector<char> heapBuffer(size);
    va_copy(attempt, args);
    const int written = vsnprintf(heapBuffer.data(), size, format, attempt);
    va_end(attempt);
    if (written < 0)
        return std::string();
    return std::string(heapBuffer.data(), std::min(size_t(written), size - 1));
}

std::wstring StrFormat(const wchar_t*, ...)
{
    return std::wstring();
}

std::wstring vformat(const wchar_t*, va_list)
{
    return std::wstring();
}

std::string CommaSeperate(int value)
{
    if (value < 0)
        return std::string();
    const std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

// ---- Case and comparison ---------------------------------------------------------------

int stricmp(const char* a, const char* b)
{
    for (size_t i = 0;; ++i)
    {
        const int ca = LowerAscii(static_cast<signed char>(a[i]));
        const int cb = LowerAscii(static_cast<signed char>(b[i]));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

bool StrPrefixNoCase(const char* text, const char* prefix, int maxLength)
{
    for (int i = 0; i < maxLength; ++i)
    {
        if (prefix[i] == '\0')
            return true;
        if (LowerAscii(static_cast<unsigned char>(text[i])) !=
            LowerAscii(static_cast<unsigned char>(prefix[i])))
            return false; // also when text ends first
    }
    return true;
}

int StrFindNoCase(const char* text, const char* find)
{
    for (int i = 0; text[i] != '\0'; ++i)
    {
        if (StrPrefixNoCase(text + i, find))
            return i;
    }
    return -1;
}

std::string Lower(const std::string& text)
{
    return MapChars(text, [](char c) { return LowerAscii(c); });
}
std::string Upper(const std::string& text)
{
    return MapChars(text, [](char c) { return UpperAscii(c); });
}
std::wstring Lower(const std::wstring& text)
{
    return MapChars(text, [](wchar_t c) { return towlower(c); });
}
std::wstring Upper(const std::wstring& text)
{
    return MapChars(text, [](wchar_t c) { return towupper(c); });
}
std::string StringToLower(const std::string& text)
{
    return Lower(text);
}
std::string StringToUpper(const std::string& text)
{
    return Upper(text);
}
std::wstring StringToLower(const std::wstring& text)
{
    return Lower(text);
}
std::wstring StringToUpper(const std::wstring& text)
{
    return Upper(text);
}

std::string Trim(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpaceAscii(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && IsSpaceAscii(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && iswspace(wint_t(text[begin])))
        ++begin;
    while (end > begin && iswspace(wint_t(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

void inlineRTrim(std::string& text, const std::string& chars)
{
    const size_t last = text.find_last_not_of(chars);
    text.resize(last == std::string::npos ? 0 : last + 1);
}

// ---- Number parsing --------------------------------------------------------------------

bool StringToInt(const std::string text, int* out)
{
    return ParseInt(text, out);
}
bool StringToInt(const std::wstring text, int* out)
{
    return ParseInt(text, out);
}
bool StringToDouble(const std::string text, double* out)
{
    return ParseDouble(text, out);
}
bool StringToDouble(const std::wstring text, double* out)
{
    return ParseDouble(text, out);
}

// ---- XML escaping, web form, substitution ----------------------------------------------

std::string XMLEncodeString(const std::string& text)
{
    return EncodeXML(text);
}
std::wstring XMLEncodeString(const std::wstring& text)
{
    return EncodeXML(text);
}
std::string XMLDecodeString(const std::string& text)
{
    return DecodeXML(text);
}
std::wstring XMLDecodeString(const std::wstring& text)
{
    return DecodeXML(text);
}

std::string URLEncode(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text)
    {
        switch (c)
        {
        case ' ':
            out.push_back('+');
            break;
        case '\t':
        case '\n':
        case '\r':
        case '%':
        case '&':
        case '+':
        case '?':
            out.push_back('%');
            out.push_back(kHex[(static_cast<unsigned char>(c) >> 4) & 0xF]);
            out.push_back(kHex[static_cast<unsigned char>(c) & 0xF]);
            break;
        default:
            out.push_back(c);
            break;
        }
    }
    return out;
}

std::string Evaluate(const std::string& text, const std::map<std::string, std::string>& vars)
{
    static const std::string kEmpty;
    const size_t maxLength = std::max(kEvaluateMaxLength, text.size());
    // Text before the first "%" never changes again, so it moves to done; the rest is kept
    // reversed (its next character last) so a substitution costs only the value's length.
    std::string done;
    std::string pending(text.rbegin(), text.rend());
    // Substituted values are scanned again, so a value that names itself would never end.
    for (int count = 0; count < kEvaluateMaxSubstitutions; ++count)
    {
        const size_t open = pending.rfind('%');
        if (open == std::string::npos || open == 0)
            break;
        const size_t close = pending.rfind('%', open - 1);
        if (close == std::string::npos)
            break;
        // Forward positions of the two "%" within pending.
        const size_t openAt = pending.size() - 1 - open;
        const size_t closeAt = pending.size() - 1 - close;
        const auto found = vars.find(std::string(pending.rbegin() + openAt + 1, pending.rbegin() + closeAt));
        const std::string& value = found == vars.end() ? kEmpty : found->second;
        if (done.size() + pending.size() - (closeAt - openAt + 1) + value.size() > maxLength)
            break;
        done.append(pending.rbegin(), pending.rbegin() + openAt);
        pending.resize(close);
        pending.append(value.rbegin(), value.rend());
    }
    done.append(pending.rbegin(), pending.rend());
    return done;
}

// ---- Paths -----------------------------------------------------------------------------

std::string GetFileName(const std::string& path, bool noExtension)
{
    const size_t sep = path.find_last_of(kSeparators);
    const size_t start = sep == std::string::npos ? 0 : sep + 1;
    if (noExtension)
    {
        const size_t dot = path.rfind('.');
        if (dot != std::string::npos && (sep == std::string::npos || dot > sep))
            return path.substr(start, dot - start);
    }
    return path.substr(start);
}

std::string GetFileDir(const std::string& path, bool withSlash)
{
    const size_t sep = path.find_last_of(kSeparators);
    if (sep == std::string::npos)
        return std::string();
    return path.substr(0, withSlash ? sep + 1 : sep);
}

std::string RemoveTrailingSlash(const std::string& path)
{
    if (!path.empty() && IsSeparator(path.back()))
        return path.substr(0, path.size() - 1);
    return path;
}

std::string AddTrailingSlash(const std::string& path, bool backSlash)
{
    if (path.empty() || IsSeparator(path.back()))
        return path;
    return path + (backSlash ? '\\' : '/');
}

std::string GetPathFrom(const std::string& relPath, const std::string& dir)
{
    if (relPath.size() >= 2 && relPath[1] == ':')
        return relPath;

    const bool anyBackslash = relPath.find('\\') != std::string::npos || dir.find('\\') != std::string::npos;
    const char sep = anyBackslash ? '\\' : '/';
    const char otherSep = anyBackslash ? '/' : '\\';

    std::string drive;
    std::string folder = dir;
    if (folder.size() >= 2 && folder[1] == ':')
    {
        drive = folder.substr(0, 2);
        folder.erase(0, 2);
    }
    if (!folder.empty() && !IsSeparator(folder.back()))
        folder.push_back(sep);

    size_t restStart = 0; // relPath from here on is not folded yet
    while (!folder.empty())
    {
        const size_t end = relPath.find_first_of(kSeparators, restStart);
        if (end == std::string::npos)
            break;
        const std::string component = relPath.substr(restStart, end - restStart);
        restStart = end + 1;

        if (component == "..")
        {
            // Above the root is the root: an absolute path must not turn relative.
            if (folder.size() == 1)
                continue;
            // folder ends in a separator here; its last component lies before that one.
            const size_t last = folder.size() - 1;
            const size_t prev = last == 0 ? std::string::npos : folder.find_last_of(kSeparators, last - 1);
            const size_t lastStart = prev == std::string::npos ? 0 : prev + 1;
            if (folder.compare(lastStart, last - lastStart, "..") == 0)
            {
                folder += "..";
                folder.push_back(sep);
            }
            else
                folder.erase(lastStart);
        }
        else if (component == ".")
            continue;
        else if (component.empty())
        {
            folder.assign(1, sep);
            break;
        }
        else
        {
            folder += component;
            folder.push_back(sep);
            break;
        }
    }

    std::string result = drive + folder + relPath.substr(restStart);
    std::replace(result.begin(), result.end(), otherSep, sep);
    return result;
}

std::string GetFullPath(const std::string& relPath)
{
    return GetPathFrom(relPath, GetCurDir());
}

// ---- Files and folders -----------------------------------------------------------------

bool MkDir(const std::string& path)
{
    std::string full = RemoveTrailingSlash(path);
    // Why a folder on the way could not be made: the reason the last one then fails for.
    int blocked = 0;
    for (size_t i = 0; i < full.size(); ++i)
    {
        // Most of these exist already; an absolute path starts with an empty name.
        if (IsSeparator(full[i]) && mkdir(full.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST && i > 0 &&
            blocked == 0)
            blocked = errno;
    }
    if (mkdir(full.c_str(), 0777) == 0)
        return true;
    if (errno == ENOENT && blocked != 0)
        errno = blocked;
    return false;
}

int MakeFolderOf(const std::string& fileName)
{
    const std::string folder = GetFileDir(fileName, false);
    if (folder.empty() || MkDir(folder) || errno == EEXIST)
        return 0;
    return errno;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool FileDelete(const std::string& path)
{
    return FileDelete(path.c_str());
}

bool FileDelete(const char* path)
{
    return path != nullptr && unlink(path) == 0;
}

int64_t GetFileDate(const std::string& path)
{
    return StatTime(path);
}

std::string GetCurDir()
{
    char buffer[1024];
    if (getcwd(buffer, sizeof(buffer)) == nullptr)
        return std::string();
    return buffer;
}

bool ChangeDir(const std::string& dir)
{
    return chdir(dir.c_str()) == 0;
}

std::string GetAppDataFolder()
{
    return gAppDataFolder;
}

void SetAppDataFolder(const std::string& dir)
{
    gAppDataFolder = AddTrailingSlash(dir);
}

// ---- The interlocked-counter lock ------------------------------------------------------

SDL_mutex* InterlockedCrit::Get() const
{
    // Never destroyed: shared objects may be released by static destructors at exit.
    static SDL_mutex* const mutex = SDL_CreateMutex();
    return mutex;
}

void InterlockedCrit::Lock() const
{
    SDL_mutexP(Get());
}

void InterlockedCrit::Unlock() const
{
    SDL_mutexV(Get());
}

int32_t InterlockedIncrement(int32_t* value)
{
    InterlockedLock lock;
    return ++*value;
}

int32_t InterlockedDecrement(int32_t* value)
{
    InterlockedLock lock;
    return --*value;
}

int32_t InterlockedIncrement(std::atomic<int32_t>* value)
{
    InterlockedLock lock;
    return ++*value;
}

int32_t InterlockedDecrement(std::atomic<int32_t>* value)
{
    InterlockedLock lock;
    return --*value;
}

// ---- Platform stubs --------------------------------------------------------------------

bool CheckFor98Mill()
{
    return false;
}
bool CheckForVista()
{
    return false;
}
bool LaunchWebBrowser(const std::string&)
{
    return false;
}
bool AllowAllAccess(const std::string&)
{
    return false;
}
bool Deltree(const std::string&)
{
    return false;
}

} // namespace Vaxo
