// AceParser: the base of the typed XML readers of the game's data files (the level file
// and everything it includes, layout files, the coordinates file).
//
// A subclass overrides DoParse and steps through the elements with NextElement and its
// checked forms, reading attributes through the typed getters of XMLElementEx. Include
// elements (DoInclude) push further files on an include stack; the stepping continues in
// the included file and returns to the including one when it ends. Every problem is
// thrown as AceException and turned by Parse into one error text followed by
// " (file:line)" for every open file, the innermost first.
//
// Also here: the number and boolean readers of attribute texts (AceParseInt,
// AceParseFloat, AceParseBool), the small cursor StringParser and ParseStrWithEscapes.
#pragma once

#include "common/AceException.h"
#include "common/XMLParser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

// An element with typed, validated access to its attributes (names match without case).
// The ...Req getters throw "<key> parameter required" when the attribute is missing.
class XMLElementEx : public XMLElement
{
public:
    XMLElementEx() = default;

    // A missing attribute gives a reference to one empty string that lives for the process.
    const std::string& GetString(const std::string& key) const;
    const std::string& GetStringReq(const std::string& key) const;
    bool GetStringIfPresent(const std::string& key, std::string& out) const;

    // GetInt and GetIntReq report a bad number without the attribute name.
    int GetInt(const std::string& key, int defaultValue) const;
    int GetIntReq(const std::string& key) const;
    bool GetIntIfPresent(const std::string& key, int& out) const;

    float GetFloat(const std::string& key, float defaultValue) const;
    float GetFloatReq(const std::string& key) const;
    bool GetFloatIfPresent(const std::string& key, float& out) const;

    bool GetBool(const std::string& key, bool defaultValue) const;
    bool GetBoolReq(const std::string& key) const;
    bool GetBoolIfPresent(const std::string& key, bool& out) const;

private:
    const std::string* Find(const std::string& key) const;
};

class AceParser
{
public:
    // Include files open at once, the outermost included; a deeper include is an error
    // (an include cycle would otherwise open files until the system refuses).
    static constexpr int32_t kMaxIncludeDepth = 64;

    AceParser();
    // The hook the subclass overrides: drives the stepping and throws AceException on any
    // problem. The base version reads nothing.
    virtual void DoParse();
    virtual ~AceParser();

    AceParser(const AceParser&) = delete;
    AceParser& operator=(const AceParser&) = delete;

    // Parses one file; false with GetError() set on any failure. Every file is closed
    // when it returns. Exceptions other than AceException pass through.
    bool Parse(const std::string& fileName);
    std::string GetError() const { return mError; }

protected:
    // The next element of the document, across includes, into mCurrentElement; false at
    // the end of the outermost file. An XML error is thrown.
    bool NextElement();
    // As NextElement(); an element of another type is thrown as unexpected.
    bool NextElement(int type);
    // As NextElement(type), and the end of input is thrown as well. Always true.
    bool NextElementReq(int type);
    // The next element must be an end element.
    void EndElement();
    // Follows the current element, an include with a "path" attribute relative to the
    // including file; the include element must be empty.
    void DoInclude();
    // Pushes a parser for the file and makes it current; throws "File not found: <path>"
    // (the parser stays on the stack).
    void OpenFile(const std::string& path);
    // Drops the innermost file; false when only the outermost one is left.
    bool UnwindIncludeStack();
    [[noreturn]] void ThrowUnexpectedElement(int expectedType);
    // Records the message with " (file:line)" for every open file, innermost first.
    bool Fail(const std::string& message);

    // The open files, the outermost first; each parser owns its file.
    std::vector<std::unique_ptr<XMLParser>> mIncludeStack;
    XMLParser* mCurrentParser = nullptr; // the last of mIncludeStack; null outside Parse
    XMLElementEx mCurrentElement;        // refilled by each step
    bool mHasFailed = false;
    std::string mError;
};

// Reads an integer the way scanf's "%x" (text starting with "0x") or "%d" (anything else:
// leading blanks and a sign allowed) would, stopping at the first character that doesn't
// fit; values beyond 32 bits saturate. Throws "Integer expected (<context>)", or
// "Integer expected" without a context, when there is no number at all.
int AceParseInt(const std::string& text, const char* context);
// As scanf's "%f" in the C locale; throws "Float expected (<context>)" / "Float expected".
float AceParseFloat(const std::string& text, const char* context);
// "true", "on", "yes", "1" and "false", "off", "no", "0" in any case; anything else throws
// "Boolean expected (<context>)" / "Boolean expected".
bool AceParseBool(const std::string& text, const char* context);

// Backslash escapes: "\\\\" gives one backslash, "\\n" a line feed, a backslash before any
// other character just that character. A backslash at the very end is kept.
std::string ParseStrWithEscapes(const std::string& text);

// A cursor over a NUL-terminated text it does not own.
class StringParser
{
public:
    explicit StringParser(const char* text) : mText(text) {}

    // Moves past white space.
    void SkipWhitespace();
    // Skips white space, then collects characters up to the end of the text or the first
    // character found in delimiters, which is left unread.
    std::string ReadString(const char* delimiters);
    bool AtEnd() const { return mText[mPos] == '\0'; }

    int32_t mPos = 0;  // index of the next character
    const char* mText; // not owned
};

} // namespace Vaxo
