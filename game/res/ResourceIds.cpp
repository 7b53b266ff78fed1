#include "game/res/ResourceIds.h"

#include "graphics/Font.h"
#include "graphics/Image.h"
#include "resources/ResourceManager.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

#define VAXO_RESOURCE_GROUP(group, ...) __VA_ARGS__
#define VAXO_IMAGE(name) Image* name = nullptr;
#define VAXO_FONT(name) Font* name = nullptr;
#define VAXO_SOUND(name) int name = 0;
#include "game/res/ResourceIds.inc"
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND

#define VAXO_IMAGE(name) &name,
#define VAXO_FONT(name) &name,
#define VAXO_SOUND(name) &name,
void* gResources[RESOURCE_ID_MAX + 1] = {
#include "game/res/ResourceIds.inc"
    nullptr};
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND

std::atomic<bool> gNeedRecalcVariableToIdMap{false};

namespace
{

enum ResKind : uint8_t
{
    kImage,
    kFont,
    kSound
};

#define VAXO_IMAGE(name) #name,
#define VAXO_FONT(name) #name,
#define VAXO_SOUND(name) #name,
const char* const kNames[RESOURCE_ID_MAX] = {
#include "game/res/ResourceIds.inc"
};
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND

#define VAXO_IMAGE(name) kImage,
#define VAXO_FONT(name) kFont,
#define VAXO_SOUND(name) kSound,
const ResKind kKinds[RESOURCE_ID_MAX] = {
#include "game/res/ResourceIds.inc"
};
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND
#undef VAXO_RESOURCE_GROUP

// Groups in list order, with their sizes (each entry of a group counts one).
#define VAXO_RESOURCE_GROUP(group, ...) kGroup_##group,
enum GroupIndex
{
#include "game/res/ResourceIds.inc"
    kNumGroups
};
#undef VAXO_RESOURCE_GROUP

#define VAXO_RESOURCE_GROUP(group, ...) #group,
const char* const kGroupNames[kNumGroups] = {
#include "game/res/ResourceIds.inc"
};
#undef VAXO_RESOURCE_GROUP

#define VAXO_RESOURCE_GROUP(group, ...) 0 __VA_ARGS__,
#define VAXO_IMAGE(name) +1
#define VAXO_FONT(name) +1
#define VAXO_SOUND(name) +1
const int kGroupSizes[kNumGroups] = {
#include "game/res/ResourceIds.inc"
};
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND
#undef VAXO_RESOURCE_GROUP

bool IsKind(int id, ResKind kind)
{
    return id >= 0 && id < RESOURCE_ID_MAX && kKinds[id] == kind;
}

// Each group's ids in ascending byte order of their names: the order a group is bound
// in, so that a missing resource always stops the binding at the same place.
const std::vector<int>& BindingOrder(int group)
{
    static const std::array<std::vector<int>, kNumGroups> orders = []
    {
        std::array<std::vector<int>, kNumGroups> result;
        int first = 0;
        for (int g = 0; g < kNumGroups; ++g)
        {
            for (int id = first; id < first + kGroupSizes[g]; ++id)
                result[g].push_back(id);
            std::sort(result[g].begin(), result[g].end(),
                      [](int a, int b) { return std::strcmp(kNames[a], kNames[b]) < 0; });
            first += kGroupSizes[g];
        }
        return result;
    }();
    return orders[group];
}

bool ExtractGroup(ResourceManager* manager, int group)
{
    gNeedRecalcVariableToIdMap = true;
    try
    {
        for (int id : BindingOrder(group))
        {
            switch (kKinds[id])
            {
            case kImage:
                // The record keeps the image alive once the temporary reference is gone.
                *static_cast<Image**>(gResources[id]) = manager->GetImageThrow(kNames[id]);
                break;
            case kFont:
                *static_cast<Font**>(gResources[id]) = manager->GetFontThrow(kNames[id]);
                break;
            case kSound:
                *static_cast<int*>(gResources[id]) = manager->GetSoundThrow(kNames[id]);
                break;
            }
        }
    }
    catch (const ResourceManagerException&)
    {
        return false;
    }
    return true;
}

template <typename T> ResourceId FindValue(ResKind kind, const T& value)
{
    for (int id = 0; id < RESOURCE_ID_MAX; ++id)
    {
        if (kKinds[id] == kind && *static_cast<const T*>(gResources[id]) == value)
            return ResourceId(id);
    }
    return RESOURCE_ID_MAX;
}

} // namespace

#define VAXO_RESOURCE_GROUP(group, ...)                                                                      \
    bool Extract##group##Resources(ResourceManager* manager)                                                 \
    {                                                                                                        \
        return ExtractGroup(manager, kGroup_##group);                                                        \
    }
#include "game/res/ResourceIds.inc"
#undef VAXO_RESOURCE_GROUP

bool ExtractResourcesByName(ResourceManager* manager, const char* name)
{
    if (name == nullptr)
        return false;
    for (int g = 0; g < kNumGroups; ++g)
    {
        if (std::strcmp(name, kGroupNames[g]) == 0)
            return ExtractGroup(manager, g);
    }
    return false;
}

Image* GetImageById(int id)
{
    return IsKind(id, kImage) ? *static_cast<Image**>(gResources[id]) : nullptr;
}

Font* GetFontById(int id)
{
    return IsKind(id, kFont) ? *static_cast<Font**>(gResources[id]) : nullptr;
}

int GetSoundById(int id)
{
    return IsKind(id, kSound) ? *static_cast<int*>(gResources[id]) : 0;
}

Image** GetImageRefById(int id)
{
    return IsKind(id, kImage) ? static_cast<Image**>(gResources[id]) : nullptr;
}

Font** GetFontRefById(int id)
{
    return IsKind(id, kFont) ? static_cast<Font**>(gResources[id]) : nullptr;
}

int* GetSoundRefById(int id)
{
    return IsKind(id, kSound) ? static_cast<int*>(gResources[id]) : nullptr;
}

Image* LoadImageById(ResourceManager* manager, int id)
{
    if (!IsKind(id, kImage))
        return nullptr;
    Image* image = manager->LoadImage(kNames[id]);
    *static_cast<Image**>(gResources[id]) = image;
    return image;
}

void ReplaceImageById(ResourceManager* manager, int id, Image* image)
{
    if (!IsKind(id, kImage))
        return;
    manager->ReplaceImage(kNames[id], image);
    *static_cast<Image**>(gResources[id]) = image;
}

const char* GetStringIdById(int id)
{
    return static_cast<unsigned>(id) < unsigned(RESOURCE_ID_MAX) ? kNames[id] : "";
}

ResourceId GetIdByStringId(const char* stringId)
{
    static const std::map<std::string, int> ids = []
    {
        std::map<std::string, int> result;
        for (int id = 0; id < RESOURCE_ID_MAX; ++id)
            result.emplace(kNames[id], id);
        return result;
    }();
    if (stringId == nullptr)
        return RESOURCE_ID_MAX;
    auto it = ids.find(stringId);
    return it == ids.end() ? RESOURCE_ID_MAX : ResourceId(it->second);
}

ResourceId GetIdByImage(Image* image)
{
    return image == nullptr ? RESOURCE_ID_MAX : FindValue<Image*>(kImage, image);
}

ResourceId GetIdByFont(Font* font)
{
    return font == nullptr ? RESOURCE_ID_MAX : FindValue<Font*>(kFont, font);
}

ResourceId GetIdBySound(int sound)
{
    return FindValue<int>(kSound, sound);
}

} // namespace Vaxo

Vaxo::ResourceId GetIdByVariable(const void* variable)
{
    using namespace Vaxo;
    // The variables never move, so one map serves every binding; the flag is only
    // acknowledged.
    static const std::map<const void*, int> ids = []
    {
        std::map<const void*, int> result;
        for (int id = 0; id < RESOURCE_ID_MAX; ++id)
            result.emplace(gResources[id], id);
        return result;
    }();
    gNeedRecalcVariableToIdMap = false;
    auto it = ids.find(variable);
    return it == ids.end() ? RESOURCE_ID_MAX : ResourceId(it->second);
}
