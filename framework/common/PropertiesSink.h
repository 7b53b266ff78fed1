// Internal to framework/common and framework/app.
// PropertiesSink: where the properties reader (PropertiesParser) stores what it reads.
//
// The application object keeps the program's property maps and implements this
// interface; the foundation only knows the interface, so it never depends on the
// application layer. Ids are compared exactly by the implementer's maps.
#pragma once

#include <string>
#include <vector>

namespace Vaxo
{

class PropertiesSink
{
public:
    virtual ~PropertiesSink() = default;

    // Each stores the value under the id, inserting it or replacing an earlier value.
    virtual void SetString(const std::string& id, const std::wstring& value) = 0;
    virtual void SetBoolean(const std::string& id, bool value) = 0;
    virtual void SetInteger(const std::string& id, int value) = 0;
    virtual void SetDouble(const std::string& id, double value) = 0;
    // Inserts the list under the id; an id that is already present keeps its earlier list.
    virtual void InsertStringVector(const std::string& id, const std::vector<std::string>& list) = 0;
};

} // namespace Vaxo
