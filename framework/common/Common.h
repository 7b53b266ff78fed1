// Common: the text, path and file helpers every other part of the framework uses.
//
//   - VaxoString and the narrow/wide conversions (narrow text is read as Latin-1)
//   - printf-style formatting (StrFormat, vformat), CommaSeperate
//   - case-insensitive comparison and the map comparators StrNoCase / StringLessNoCase
//   - strict number parsing (StringToInt, StringToDouble)
//   - XML entity escaping, URL encoding, %name% substitution (Evaluate)
//   - paths (both "/" and "\\" separate), files and folders, the per-user data folder
//   - millisecond clocks (through the replaceable time source of common/Clock.h)
//   - gInterlockedCrit, the one lock under which every reference count changes
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>

struct SDL_mutex;

namespace Vaxo
{

static_assert(sizeof(int) == 4, "counts and file values assume a 32-bit int");

// The framework's text type: the narrow 8-bit string in this build.
typedef std::string VaxoString;

// Per-user data folder; empty, or ending in a separator once SetAppDataFolder ran.
// Written once at start-up before other threads exist.
extern std::string gAppDataFolder;
// Resource base folder put in front of resource file paths; empty means the current folder.
extern std::string gVaxoWorkingDir;

// ---- Conversions -----------------------------------------------------------------------

inline std::string StringToVaxoString(const std::string& text)
{
    return text;
}
inline std::string VaxoStringToString(const std::string& text)
{
    return text;
}
// Each byte (0-255) becomes one wide character.
std::wstring StringToWString(const std::string& text);
// Each wide character becomes its low 8 bits.
std::string WStringToString(const std::wstring& text);
inline std::wstring VaxoStringToWString(const std::string& text)
{
    return StringToWString(text);
}
inline std::string WStringToVaxoString(const std::wstring& text)
{
    return WStringToString(text);
}

// ---- Formatting ------------------------------------------------------------------------

// printf-style; the whole text up to 1,310,719 characters (longer output is cut there).
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* format, va_list args);
// No wide formatter on this platform: both give an empty string.
std::wstring StrFormat(const wchar_t* format, ...);
std::wstring vformat(const wchar_t* format, va_list args);

// "1234567" -> "1,234,567"; negative values give an empty string.
std::string CommaSeperate(int value);

// ---- Case and comparison ---------------------------------------------------------------

// tolower(a[i]) - tolower(b[i]) at the first difference (signed bytes); 0 when equal.
int stricmp(const char* a, const char* b);
// Index of the first case-insensitive occurrence of find in text, or -1.
int StrFindNoCase(const char* text, const char* find);
// True when text starts with prefix (ignoring case), comparing at most maxLength characters.
bool StrPrefixNoCase(const char* text, const char* prefix, int maxLength = 0x7FFFFFFF);

// Equality without case, for containers keyed by names.
struct StrNoCase
{
    bool operator()(const std::string& a, const std::string& b) const
    {
        return stricmp(a.c_str(), b.c_str()) == 0;
    }
};
// Ordering without case, for maps and sets keyed by names.
struct StringLessNoCase
{
    bool operator()(const std::string& a, const std::string& b) const
    {
        return stricmp(a.c_str(), b.c_str()) < 0;
    }
};

std::string Lower(const std::string& text);
std::string Upper(const std::string& text);
std::wstring Lower(const std::wstring& text);
std::wstring Upper(const std::wstring& text);
std::string StringToLower(const std::string& text);
std::string StringToUpper(const std::string& text);
std::wstring StringToLower(const std::wstring& text);
std::wstring StringToUpper(const std::wstring& text);

// Removes leading and trailing whitespace.
std::string Trim(const std::string& text);
std::wstring Trim(const std::wstring& text);
// Removes, in place, the trailing run of characters that occur in chars.
void inlineRTrim(std::string& text, const std::string& chars);

// ---- Number parsing --------------------------------------------------------------------
// Strict syntax: optional leading "-", then decimal digits, or "0x" and hex digits (ints),
// or a plain decimal fraction (doubles). No blanks, no "+", no exponent. On failure the
// output is 0 and the result false.

bool StringToInt(const std::string text, int* out);
bool StringToInt(const std::wstring text, int* out);
bool StringToDouble(const std::string text, double* out);
bool StringToDouble(const std::wstring text, double* out);

// ---- XML escaping, web form, substitution ----------------------------------------------

// Escapes line feed, quote, ampersand, apostrophe, < and >; the second and later spaces of a
// run become "&nbsp;".
std::string XMLEncodeString(const std::string& text);
std::wstring XMLEncodeString(const std::wstring& text);
// Reverses XMLEncodeString; an unknown entity gives a lone "&".
std::string XMLDecodeString(const std::string& text);
std::wstring XMLDecodeString(const std::wstring& text);

// Space -> "+"; tab, LF, CR, "%", "&", "+", "?" -> "%XX"; everything else copied.
std::string URLEncode(const std::string& text);

// Replaces every %name% by vars[name] (empty when missing), rescanning substituted text.
// Stops after a bounded amount of work so that a self-referencing value can't hang.
std::string Evaluate(const std::string& text, const std::map<std::string, std::string>& vars);
// Most substitutions Evaluate makes before it returns the text as it stands.
constexpr int kEvaluateMaxSubstitutions = 1000;
// Longest text Evaluate grows to by substitution (a longer input is returned as it is).
constexpr size_t kEvaluateMaxLength = 1 << 20;

// ---- Paths -----------------------------------------------------------------------------
// Both "/" and "\\" count as separators everywhere.

// Text after the last separator; with noExtension also without the last ".suffix".
std::string GetFileName(const std::string& path, bool noExtension = false);
// Text before the last separator (with it when withSlash); empty when there is none.
std::string GetFileDir(const std::string& path, bool withSlash = false);
// Drops one final separator.
std::string RemoveTrailingSlash(const std::string& path);
// Appends "/" (or "\\" when backSlash) unless empty or already ending in a separator.
std::string AddTrailingSlash(const std::string& path, bool backSlash = false);
// Resolves relPath against dir, folding leading "." and ".." into dir (".." at a root stays there).
std::string GetPathFrom(const std::string& relPath, const std::string& dir);
// GetPathFrom(relPath, GetCurDir()).
std::string GetFullPath(const std::string& relPath);

// ---- Files and folders (paths relative to the current directory) -----------------------

// Creates every folder along the path; true when the last (full-path) creation succeeded.
bool MkDir(const std::string& path);
// Makes the folder fileName goes in, with every missing folder above it: 0 when it is there
// afterwards, else why it could not be made (an errno value), which a failed save reports
// rather than the missing folder's.
int MakeFolderOf(const std::string& fileName);
// True when the path names anything that exists, a folder too.
bool FileExists(const std::string& path);
bool FileDelete(const std::string& path);
bool FileDelete(const char* path);
// Modification time in seconds since 1970, or 0 when the path can't be examined.
int64_t GetFileDate(const std::string& path);
// Current directory, or an empty string when it can't be read.
std::string GetCurDir();
bool ChangeDir(const std::string& dir);
std::string GetAppDataFolder();
// Stores dir in gAppDataFolder, adding "/" unless it is empty or ends in a separator.
void SetAppDataFolder(const std::string& dir);

// ---- Time (all through the time source of common/Clock.h) ------------------------------

// Milliseconds since the platform library started; wraps at 2^32.
uint32_t GetTicks();
// Milliseconds from the most precise clock; compare readings by unsigned difference.
uint32_t GetAccurateTime();
// Sleeps the calling thread (a fake time source only advances its clock).
void ThreadSleep(uint32_t ms);

// ---- The interlocked-counter lock ------------------------------------------------------

// The process-wide lock of reference counts. Constant-initialised and trivially destroyed;
// its SDL mutex is made on first use and never destroyed, so it works before main and
// during exit. The mutex is recursive. It is the innermost lock: hold it for one count
// change only, never while taking another lock.
class InterlockedCrit
{
public:
    constexpr InterlockedCrit() {}
    SDL_mutex* Get() const;
    void Lock() const;
    void Unlock() const;
};
extern const InterlockedCrit gInterlockedCrit;

// Holds gInterlockedCrit for its lifetime.
class InterlockedLock
{
public:
    InterlockedLock() { gInterlockedCrit.Lock(); }
    ~InterlockedLock() { gInterlockedCrit.Unlock(); }
    InterlockedLock(const InterlockedLock&) = delete;
    InterlockedLock& operator=(const InterlockedLock&) = delete;
};

// Add or subtract one under gInterlockedCrit; return the new value.
int32_t InterlockedIncrement(int32_t* value);
int32_t InterlockedDecrement(int32_t* value);
int32_t InterlockedIncrement(std::atomic<int32_t>* value);
int32_t InterlockedDecrement(std::atomic<int32_t>* value);

// ---- Platform stubs (fixed results on this platform) -----------------------------------

bool CheckFor98Mill();                         // false
bool CheckForVista();                          // false
bool LaunchWebBrowser(const std::string& url); // false, nothing is opened
bool AllowAllAccess(const std::string& path);  // false, permissions unchanged
bool Deltree(const std::string& path);         // false, nothing is deleted

} // namespace Vaxo
