// PropertiesParser: reads a properties file, a small XML document of typed named values,
// and stores each value into a PropertiesSink (the application object) as soon as it is
// read, so a later failure leaves the earlier values stored.
//
//   <Properties>
//     <String id="Title">My Game</String>
//     <StringArray id="Names"><String>a</String><String>b</String></StringArray>
//     <Boolean id="Cheat">no</Boolean> <Integer id="N">0x10</Integer> <Double id="D">1.5</Double>
//   </Properties>
//
// Failures are reported by a false result and one error text naming the line (and the
// file, when parsing a file by path).
#pragma once

#include "common/PropertiesSink.h"

#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

class Buffer;
class XMLParser;

class PropertiesParser
{
public:
    // The sink is not owned and must outlive the parser.
    explicit PropertiesParser(PropertiesSink* app);
    virtual ~PropertiesParser();

    PropertiesParser(const PropertiesParser&) = delete;
    PropertiesParser& operator=(const PropertiesParser&) = delete;

    // Parses the file at path; an open failure becomes the error.
    bool ParsePropertiesFile(const std::string& path);
    // Parses UTF-8 text (a leading byte-order mark is dropped; decoding stops at the first
    // invalid sequence and what came before it is parsed).
    bool ParsePropertiesBuffer(const Buffer& buffer);

    std::string GetErrorText() const { return mError; }

protected:
    bool DoParseProperties();
    bool ParseProperties();
    bool ParseStringArray(std::vector<std::string>* list);
    bool ParseSingleElement(std::string* value);
    // Records the first failure only, with " on Line %d" and " in File '%s'" when known.
    bool Fail(const std::string& text);

private:
    PropertiesSink* mApp;
    std::unique_ptr<XMLParser> mXMLParser; // exists only during a parse
    std::string mError;
    bool mHasFailed = false;
};

} // namespace Vaxo
