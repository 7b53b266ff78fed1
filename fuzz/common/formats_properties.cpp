// The properties reader over untrusted bytes, storing into a sink that keeps the maps.
#include "common/Buffer.h"
#include "common/PropertiesParser.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace
{

class RecordingSink : public Vaxo::PropertiesSink
{
public:
    void SetString(const std::string& id, const std::wstring& value) override { mStrings[id] = value; }
    void SetBoolean(const std::string& id, bool value) override { mBooleans[id] = value; }
    void SetInteger(const std::string& id, int value) override { mIntegers[id] = value; }
    void SetDouble(const std::string& id, double value) override { mDoubles[id] = value; }
    void InsertStringVector(const std::string& id, const std::vector<std::string>& list) override
    {
        mVectors.insert(std::make_pair(id, list));
    }

    std::map<std::string, std::wstring> mStrings;
    std::map<std::string, bool> mBooleans;
    std::map<std::string, int> mIntegers;
    std::map<std::string, double> mDoubles;
    std::map<std::string, std::vector<std::string>> mVectors;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Vaxo::Buffer buffer;
    buffer.SetData(data, static_cast<int32_t>(size));
    RecordingSink sink;
    Vaxo::PropertiesParser parser(&sink);
    parser.ParsePropertiesBuffer(buffer);
    parser.GetErrorText();
    return 0;
}
