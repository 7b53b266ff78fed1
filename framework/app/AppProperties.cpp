// Properties: five maps of named values filled from properties files, which may be signed
// by a ".sig" file holding the HMAC-MD5 of their bytes. Getters never insert.
#include "app/VaxoAppBase.h"

#include "common/PropertiesParser.h"

#include <cstring>

namespace Vaxo
{

namespace
{
template <class Map, class Value> Value FindOr(const Map& map, const std::string& id, const Value& fallback)
{
    auto found = map.find(id);
    return found != map.end() ? Value(found->second) : fallback;
}
} // namespace

VaxoString VaxoAppBase::GetString(const std::string& id, const VaxoString& defaultValue)
{
    auto found = mStringProperties.find(id);
    return found != mStringProperties.end() ? WStringToVaxoString(found->second) : defaultValue;
}

VaxoString VaxoAppBase::GetString(const std::string& id)
{
    return GetString(id, VaxoString());
}

bool VaxoAppBase::GetBoolean(const std::string& id, bool defaultValue)
{
    return FindOr(mBoolProperties, id, defaultValue);
}

bool VaxoAppBase::GetBoolean(const std::string& id)
{
    return GetBoolean(id, false);
}

int VaxoAppBase::GetInteger(const std::string& id, int defaultValue)
{
    return FindOr(mIntProperties, id, defaultValue);
}

int VaxoAppBase::GetInteger(const std::string& id)
{
    return GetInteger(id, 0);
}

double VaxoAppBase::GetDouble(const std::string& id, double defaultValue)
{
    return FindOr(mDoubleProperties, id, defaultValue);
}

double VaxoAppBase::GetDouble(const std::string& id)
{
    return GetDouble(id, 0.0);
}

std::vector<std::string> VaxoAppBase::GetStringVector(const std::string& id)
{
    return FindOr(mStringVectorProperties, id, std::vector<std::string>());
}

void VaxoAppBase::SetString(const std::string& id, const std::wstring& value)
{
    mStringProperties[id] = value;
}

void VaxoAppBase::SetBoolean(const std::string& id, bool value)
{
    mBoolProperties[id] = value;
}

void VaxoAppBase::SetInteger(const std::string& id, int value)
{
    mIntProperties[id] = value;
}

void VaxoAppBase::SetDouble(const std::string& id, double value)
{
    mDoubleProperties[id] = value;
}

void VaxoAppBase::InsertStringVector(const std::string& id, const std::vector<std::string>& list)
{
    mStringVectorProperties.insert(std::make_pair(id, list));
}

bool VaxoAppBase::LoadProperties(const std::string& fileName, bool required, bool checkSig)
{
    Buffer buffer;
    if (!ReadBufferFromFile(fileName, &buffer, false))
    {
        if (required)
            Popup(GetString("UNABLE_OPEN_PROPERTIES", "Unable to open properties file ") + fileName, false);
        return false;
    }
    if (checkSig && !CheckSignature(buffer, fileName))
    {
        Popup(GetString("PROPERTIES_SIG_FAILED", "Signature check failed on ") + fileName + "'", false);
        return false;
    }
    PropertiesParser parser(this);
    if (parser.ParsePropertiesBuffer(buffer))
        return true;
    Popup(parser.GetErrorText(), false);
    return false;
}

bool VaxoAppBase::LoadProperties()
{
    return LoadProperties("properties/default.xml", true, false);
}

bool VaxoAppBase::CheckSignature(const Buffer& data, const std::string& fileName)
{
    Buffer signature;
    if (!ReadBufferFromFile(fileName + ".sig", &signature, false))
        return false;
    // An empty file has no digest: an empty ".sig" beside it signs nothing.
    Buffer digest = data.GetHMAC();
    int32_t length = digest.GetDataLen();
    return length != 0 && length == signature.GetDataLen() &&
           std::memcmp(digest.GetDataPtr(), signature.GetDataPtr(), size_t(length)) == 0;
}

} // namespace Vaxo
