#include "common/PropertiesParser.h"

#include "common/Buffer.h"
#include "common/Common.h"
#include "common/XMLParser.h"

namespace Vaxo
{

namespace
{

std::string GetId(const XMLElement& element)
{
    auto it = element.mAttributes.find("id");
    return it == element.mAttributes.end() ? std::string() : it->second;
}

} // namespace

PropertiesParser::PropertiesParser(PropertiesSink* app) : mApp(app) {}

PropertiesParser::~PropertiesParser() = default;

bool PropertiesParser::ParsePropertiesFile(const std::string& path)
{
    mError.clear();
    mHasFailed = false;
    mXMLParser.reset(new XMLParser());
    mXMLParser->OpenFile(path);
    return DoParseProperties();
}

bool PropertiesParser::ParsePropertiesBuffer(const Buffer& buffer)
{
    mError.clear();
    mHasFailed = false;
    mXMLParser.reset(new XMLParser());
    mXMLParser->SetStringSource(buffer.UTF8ToWideString());
    return DoParseProperties();
}

bool PropertiesParser::Fail(const std::string& text)
{
    if (mHasFailed)
        return false;
    mHasFailed = true;
    mError = text;
    if (mXMLParser)
    {
        if (mXMLParser->GetCurrentLineNum() > 0)
            mError += StrFormat(" on Line %d", mXMLParser->GetCurrentLineNum());
        if (!mXMLParser->GetFileName().empty())
            mError += StrFormat(" in File '%s'", mXMLParser->GetFileName().c_str());
    }
    return false;
}

bool PropertiesParser::DoParseProperties()
{
    if (!mXMLParser->HasFailed())
    {
        XMLElement element;
        while (mXMLParser->NextElement(&element))
        {
            if (element.mType == XMLElement::TYPE_START)
            {
                if (element.mValue == "Properties")
                {
                    if (!ParseProperties())
                        break;
                }
                else
                {
                    Fail("Invalid Section '" + element.mValue + "'");
                    break;
                }
            }
            else if (element.mType == XMLElement::TYPE_ELEMENT)
            {
                Fail("Element Not Expected '" + element.mValue + "'");
                break;
            }
        }
    }
    if (mXMLParser->HasFailed())
        Fail(mXMLParser->GetErrorText());
    mXMLParser.reset();
    return !mHasFailed;
}

bool PropertiesParser::ParseProperties()
{
    XMLElement element;
    while (mXMLParser->NextElement(&element))
    {
        if (element.mType == XMLElement::TYPE_END)
            return true;
        if (element.mType == XMLElement::TYPE_ELEMENT)
            return Fail("Element Not Expected '" + element.mValue + "'");
        if (element.mType != XMLElement::TYPE_START)
            continue;

        const std::string& name = element.mValue;
        const std::string id = GetId(element);
        if (name == "String")
        {
            std::string value;
            if (!ParseSingleElement(&value))
                return false;
            mApp->SetString(id, StringToWString(value));
        }
        else if (name == "StringArray")
        {
            std::vector<std::string> list;
            if (!ParseStringArray(&list))
                return false;
            mApp->InsertStringVector(id, list);
        }
        else if (name == "Boolean")
        {
            std::string value;
            if (!ParseSingleElement(&value))
                return false;
            value = Upper(value);
            if (value == "1" || value == "YES" || value == "ON" || value == "TRUE")
                mApp->SetBoolean(id, true);
            else if (value == "0" || value == "NO" || value == "OFF" || value == "FALSE")
                mApp->SetBoolean(id, false);
            else
                return Fail("Invalid Boolean Value: '" + value + "'");
        }
        else if (name == "Integer")
        {
            std::string value;
            if (!ParseSingleElement(&value))
                return false;
            int number = 0;
            if (!StringToInt(value, &number))
                return Fail("Invalid Integer Value: '" + value + "'");
            mApp->SetInteger(id, number);
        }
        else if (name == "Double")
        {
            std::string value;
            if (!ParseSingleElement(&value))
                return false;
            double number = 0.0;
            if (!StringToDouble(value, &number))
                return Fail("Invalid Double Value: '" + value + "'");
            mApp->SetDouble(id, number);
        }
        else
            return Fail("Invalid Section '" + name + "'");
    }
    return false;
}

// Ends false without an error of its own at the end of input: a document that stops right
// after a complete tag is not an error, and a tokenizer error is recorded by the caller.
bool PropertiesParser::ParseSingleElement(std::string* value)
{
    value->clear();
    XMLElement element;
    while (mXMLParser->NextElement(&element))
    {
        if (element.mType == XMLElement::TYPE_ELEMENT)
            *value = element.mValue;
        else if (element.mType == XMLElement::TYPE_END)
            return true;
        else if (element.mType == XMLElement::TYPE_START)
            return Fail("Unexpected Section: '" + element.mValue + "'");
    }
    return false;
}

bool PropertiesParser::ParseStringArray(std::vector<std::string>* list)
{
    list->clear();
    XMLElement element;
    while (mXMLParser->NextElement(&element))
    {
        if (element.mType == XMLElement::TYPE_START)
        {
            if (element.mValue != "String")
                return Fail("Invalid Section '" + element.mValue + "'");
            std::string value;
            if (!ParseSingleElement(&value))
                return false;
            list->push_back(value);
        }
        else if (element.mType == XMLElement::TYPE_ELEMENT)
            return Fail("Element Not Expected '" + element.mValue + "'");
        else if (element.mType == XMLElement::TYPE_END)
            return true;
    }
    return false;
}

} // namespace Vaxo
