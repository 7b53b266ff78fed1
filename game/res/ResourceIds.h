// The game's resource-id binding. Every resource of the manifest also has a global
// variable named as its string id (IMAGE_ an Image*, FONT_ a Font*, SOUND_ a sound id of
// the sound manager) and an integer id (ResourceId, name + "_ID"). A group is bound in
// one call once the resource manager has loaded it (ExtractInitResources and the others,
// or ExtractResourcesByName); the variables then borrow the manager's objects until it
// frees or replaces them, after which the group must be bound again.
//
// Everything here is made from the one list in ResourceIds.inc.
//
// Threads: a group may be bound on the loading thread while the main thread reads the
// variables of groups bound before.
#pragma once

#include <atomic>

namespace Vaxo
{

class Font;
class Image;
class ResourceManager;

// The variables; null or 0 until their group is bound.
#define VAXO_RESOURCE_GROUP(group, ...) __VA_ARGS__
#define VAXO_IMAGE(name) extern Image* name;
#define VAXO_FONT(name) extern Font* name;
#define VAXO_SOUND(name) extern int name;
#include "game/res/ResourceIds.inc"
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND

enum ResourceId
{
#define VAXO_IMAGE(name) name##_ID,
#define VAXO_FONT(name) name##_ID,
#define VAXO_SOUND(name) name##_ID,
#include "game/res/ResourceIds.inc"
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND
#undef VAXO_RESOURCE_GROUP
    // No resource: what the reverse look-ups answer when they find nothing.
    RESOURCE_ID_MAX
};

// Entry n is the address of the variable of id n; entry RESOURCE_ID_MAX is null.
extern void* gResources[RESOURCE_ID_MAX + 1];
// Set by every extract function. Atomic: the loading thread binds its group while the
// main thread may look variables up.
extern std::atomic<bool> gNeedRecalcVariableToIdMap;

// Binds every resource of the group, in byte order of the string ids, from the manager's
// throwing look-ups. False at the first resource that is missing or not loaded (its
// error is the manager's); variables bound before it keep their new values.
#define VAXO_RESOURCE_GROUP(group, ...) bool Extract##group##Resources(ResourceManager* manager);
#include "game/res/ResourceIds.inc"
#undef VAXO_RESOURCE_GROUP
// The group's extract function by its exact name (case matters); false for no group.
bool ExtractResourcesByName(ResourceManager* manager, const char* name);

// The value of the id's variable: null (0 for a sound) for an id outside 0 to 573 or
// of another kind.
Image* GetImageById(int id);
Font* GetFontById(int id);
int GetSoundById(int id);
// The address of the id's variable, for storing into; null for an id outside 0 to 573
// or of another kind.
Image** GetImageRefById(int id);
Font** GetFontRefById(int id);
int* GetSoundRefById(int id);

// Loads the image through the manager when needed and stores it in the id's variable;
// null when it cannot be loaded. An id that is no image changes nothing.
Image* LoadImageById(ResourceManager* manager, int id);
// The manager's ReplaceImage (the record then owns the image) and the variable set to
// the image; an id that is no image changes nothing.
void ReplaceImageById(ResourceManager* manager, int id, Image* image);

// The string id; "" for an id outside 0 to 573.
const char* GetStringIdById(int id);
// The id of the string id (case matters); RESOURCE_ID_MAX when there is none.
ResourceId GetIdByStringId(const char* stringId);
// The id whose variable holds the image, font or sound id (the first such id);
// RESOURCE_ID_MAX for null or when no variable holds it.
ResourceId GetIdByImage(Image* image);
ResourceId GetIdByFont(Font* font);
ResourceId GetIdBySound(int sound);

} // namespace Vaxo

// The id whose variable lives at the address; RESOURCE_ID_MAX when none does.
Vaxo::ResourceId GetIdByVariable(const void* variable);
