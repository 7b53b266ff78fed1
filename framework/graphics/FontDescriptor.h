// Internal to framework/graphics.
// Font descriptor language: the reader of the text files that describe bitmap fonts.
//
// A descriptor is a sequence of commands ended by ";". Each command is a list of words,
// quoted strings and parenthesised lists; "#" starts a comment as the first non-blank
// character of a line or right after a ";". DescParser splits the file into commands,
// turns each into a tree of DataElements and hands it to HandleCommand; it also keeps
// the named values ("defines") that later commands use in place of a value. It knows no
// commands itself: FontData derives from it and implements the font commands.
//
// Sections: values (DataElement family); the parser; conversions of values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

// ---- Values ------------------------------------------------------------------------------

class DataElement
{
public:
    // False for a single value, true for a list.
    bool mIsList;

public:
    DataElement();
    DataElement(const DataElement&) = default;
    DataElement& operator=(const DataElement&) = default;
    virtual ~DataElement();
    // A new deep copy; the caller owns it.
    virtual DataElement* Duplicate() = 0;
};

class SingleDataElement : public DataElement
{
public:
    // As written in the command, quote characters included.
    std::string mString;

public:
    SingleDataElement();
    explicit SingleDataElement(const std::string& text);
    SingleDataElement(const SingleDataElement& other);
    SingleDataElement& operator=(const SingleDataElement&) = default;
    ~SingleDataElement() override;
    DataElement* Duplicate() override;
};

class ListDataElement : public DataElement
{
public:
    // In source order; each owned by the list.
    std::vector<DataElement*> mElementVector;

public:
    ListDataElement();
    // Deep copy.
    ListDataElement(const ListDataElement& other);
    // Deletes the own elements, then appends a copy of each of the other's.
    ListDataElement& operator=(const ListDataElement& other);
    ~ListDataElement() override;
    DataElement* Duplicate() override;
};

// Depth of the deepest nesting under e (a single value is 0, an empty list 1).
int32_t DataElementDepth(const DataElement* e);
// Number of elements in e and under it, e included.
int64_t DataElementCount(const DataElement* e);

// ---- The parser ----------------------------------------------------------------------------

class DescParser
{
public:
    // Deepest nesting of lists that a command or a define may have. Deeper input is
    // refused with "List Nesting Too Deep": a damaged file must not exhaust the stack.
    static constexpr int32_t kMaxListDepth = 256;
    // Most elements one resolved value may hold, and all defines together. Defines can
    // refer to defines, so each command could otherwise multiply the memory in use.
    static constexpr int64_t kMaxValueElements = 1 << 16;
    static constexpr int64_t kMaxDefineElements = 1 << 20;

    // Last message given to the base Error; cleared when a load starts.
    std::string mError;
    // 1-based line on which the command being parsed starts; 0 outside a load.
    int32_t mCurrentLineNum;
    // Text of the command being parsed; empty outside a load.
    std::string mCurrentLine;
    // Named values, keys upper case; the values are owned by the parser.
    std::map<std::string, DataElement*> mDefineMap;

public:
    DescParser();
    DescParser(const DescParser&) = delete;
    DescParser& operator=(const DescParser&) = delete;
    virtual ~DescParser();

    // Stores the message as mError; always false.
    virtual bool Error(const std::string& message);
    // The define of the name (any case), still owned by the parser; null when none.
    virtual DataElement* Dereference(const std::string& name);
    // Carries out one command (its elements as written); false on failure.
    virtual bool HandleCommand(const ListDataElement& command) = 0;

    // Reads and carries out the whole file; false when it cannot be opened (nothing is
    // reported then) or when a command failed (the commands before it keep their effect).
    bool LoadDescriptor(const std::string& path);
    // Splits one command and hands it to HandleCommand.
    bool ParseDescriptorLine(const std::string& text);
    // Splits text into values appended to out; pos is the read position shared with the
    // nested calls (0 when null). The elements parsed before a failure stay in out.
    bool ParseToList(const std::string& text, ListDataElement* out, bool inList, int* pos);

    // The text is a literal (digit, "-", "+" or a quote first), never a define name.
    static bool IsImmediate(const std::string& text);
    // Removes the quoting: 'it''s' gives it's; unquoted text is returned as it is.
    static std::string Unquote(const std::string& text);

    // ---- Conversions of values ------------------------------------------------------------
    bool DataToString(DataElement* e, std::string* out);
    // Output 0 on failure.
    bool DataToInt(DataElement* e, int* out);
    // Resolves a parsed list: quoted values unquoted, literals kept, names replaced by
    // a copy of their define.
    bool GetValues(ListDataElement* in, ListDataElement* out);
    bool DataToList(DataElement* e, ListDataElement* out);
    bool DataToStringVector(DataElement* e, std::vector<std::string>* out);
    // Keep the numbers converted before the first text that is no number.
    bool DataToIntVector(DataElement* e, std::vector<int>* out);
    bool DataToDoubleVector(DataElement* e, std::vector<double>* out);
    // Printable form: a value as stored, a list as "(a, b, (c))".
    static std::string DataElementToString(const DataElement* e);

protected:
    // Stores value under the upper-cased name, replacing (and deleting) an earlier one;
    // false with an error when the value is too deep or the defines too large.
    bool SetDefine(const std::string& name, DataElement* value);
    // Removes (and deletes) the define of the upper-cased name, if any.
    void RemoveDefine(const std::string& upperName);

private:
    bool ParseToListAt(const std::string& text, ListDataElement* out, bool inList, size_t* pos,
                       int32_t depth);
    bool GetValuesAt(ListDataElement* in, ListDataElement* out, int32_t depth, int64_t* count);
    void ClearDefines();

    // Elements held by all defines together.
    int64_t mDefineElements;
};

} // namespace Vaxo
