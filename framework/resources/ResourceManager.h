// ResourceManager: the program's images, sounds and fonts, declared in the resource
// manifest ("properties/resources.xml") and loaded group by group.
//
// The application makes one manager (VaxoAppBase::mResourceManager) and parses the
// manifest at start-up; parsing only builds records. A group then loads in one call
// (LoadResources) or one resource per call (StartLoadResources, then LoadNextResource
// until it answers false), which is how the loading thread moves its progress bar.
// Loaded objects are looked up by string id; the throwing look-ups serve the game's
// resource-id binding (game/res). Readers and loaders throw nothing: they record the
// first error (Fail), which the application shows (ShowResourceError).
//
// Sections: records; parsing the manifest; loading; look-ups; replacing and freeing.
//
// Threads: the manager takes no lock. The loading thread drives a group's load while
// the main thread draws; shared images are guarded inside the application. Parsing,
// replacing and freeing happen on one thread while nothing else uses the manager.
#pragma once

#include "common/XMLParser.h"
#include "graphics/Font.h"
#include "graphics/Image.h"
#include "graphics/SharedImage.h"

#include <cstdint>
#include <exception>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Vaxo
{

class MemoryImage;
class VaxoAppBase;

// Thrown by the look-ups GetImageThrow, GetSoundThrow and GetFontThrow; the binding
// catches it. what() is std::exception's; the text is mMessage.
class ResourceManagerException : public std::exception
{
public:
    // The manager's first error when thrown.
    std::string mMessage;

public:
    explicit ResourceManagerException(const std::string& message) : mMessage(message) {}
    ~ResourceManagerException() override;
};

// Clears the vector and appends atoi of the text at its start and after every comma
// ("1,2,,3" gives 1, 2, 0, 3).
void ReadIntVector(const std::string& text, std::vector<int>& intVector);

class ResourceManager
{
public:
    enum ResType
    {
        ResType_Image = 0,
        ResType_Sound = 1,
        ResType_Font = 2
    };

    // --- Records ---------------------------------------------------------------------
    // One declaration of the manifest. A record stays declared until the manager goes;
    // DeleteResource frees only the loaded object, so that it can be loaded again.
    class BaseRes
    {
    public:
        int32_t mType = ResType_Image;
        // Full id, default prefix included.
        std::string mId;
        // Group of the first declaration.
        std::string mResGroup;
        // File path with the default path in front, or a "!" name as written; for a
        // system font the face name.
        std::string mPath;
        // Every attribute of the declaring element, as written.
        XMLParamMap mXMLAttributes;
        // The path is "!program": the program supplies it and loading skips it.
        bool mFromProgram = false;
        // The path is "!empty": loading makes a placeholder.
        bool mEmpty = false;

    public:
        virtual ~BaseRes() = default;
        virtual void DeleteResource() {}
    };

    class ImageRes : public BaseRes
    {
    public:
        // The loaded image: a shared image, or an unshared one the record owns ("!empty"
        // and ReplaceImage). Empty until loaded.
        SharedImageRef mImage;
        // Alpha file of the image's size, and of one cel's size; default path in front.
        std::string mAlphaImage;
        std::string mAlphaGridImage;
        // Passed with the path to the shared-image look-up.
        std::string mVariant;
        bool mPalletize = true;
        bool mA4R4G4B4 = false;
        bool mA8R8G8B8 = false;
        // Keep as a display surface when the image has no partial alpha.
        bool mDDSurface = false;
        // Drop the memory pixels after loading.
        bool mPurgeBits = false;
        bool mMinimizeSubdivisions = false;
        // Cel grid; both at least 1.
        int32_t mRows = 1;
        int32_t mCols = 1;
        // 0x00RRGGBB given to an image made from an alpha file alone.
        uint32_t mAlphaColor = 0xFFFFFF;
        // Type none when not animated.
        AnimInfo mAnimInfo;

    public:
        ImageRes() { mType = ResType_Image; }
        void DeleteResource() override;
    };

    class SoundRes : public BaseRes
    {
    public:
        // -1 not loaded, -2 loaded as an "!empty" placeholder, else the sound manager's id.
        int32_t mSoundId = -1;
        // -1.0 when not given.
        double mVolume = -1.0;
        // 0 when not given.
        int32_t mPanning = 0;

    public:
        SoundRes() { mType = ResType_Sound; }
        void DeleteResource() override;
    };

    class FontRes : public BaseRes
    {
    public:
        // The loaded font; null until loaded.
        std::unique_ptr<Font> mFont;
        // The picture of a legacy image font, which does not own it.
        std::unique_ptr<Image> mImage;
        // Picture of a legacy image font, as written (no default path).
        std::string mImagePath;
        // Tag names separated by commas or blanks, given to an image font.
        std::string mTags;
        bool mSysFont = false;
        bool mBold = false;
        bool mItalic = false;
        bool mUnderline = false;
        bool mShadow = false;
        // Point size of a system font.
        int32_t mSize = 0;

    public:
        FontRes() { mType = ResType_Font; }
        ~FontRes() override;
        void DeleteResource() override;
    };

    // Records of one kind by id (compared exactly); the map owns them.
    typedef std::map<std::string, std::unique_ptr<BaseRes>> ResMap;
    // Records of one group in declaration order; the kind maps own them.
    typedef std::list<BaseRes*> ResList;
    typedef std::map<std::string, ResList, StringLessNoCase> ResGroupMap;

public:
    // Groups loaded completely by LoadResources.
    std::set<std::string, StringLessNoCase> mLoadedGroups;
    ResMap mImageMap;
    ResMap mSoundMap;
    ResMap mFontMap;
    // Exists only while a manifest is parsed.
    std::unique_ptr<XMLParser> mXMLParser;
    // The first error since it was last cleared.
    std::string mError;
    bool mHasFailed;
    // Not owned.
    VaxoAppBase* mApp;
    // Group being parsed or loaded.
    std::string mCurResGroup;
    // Prefixes set by SetDefaults; they stay for later groups and later parses.
    std::string mDefaultPath;
    std::string mDefaultIdPrefix;
    // The throwing look-ups accept a "!program" resource that is not loaded.
    bool mAllowMissingProgramImages;
    // Set only while ReparseResourcesFile runs: a redeclared id updates its record.
    bool mAllowAlreadyDefinedResources;
    // The last ParseCommonResource met an id already declared.
    bool mHadAlreadyDefinedError;
    ResGroupMap mResGroupMap;
    // The group being parsed or loaded; null before the first start.
    ResList* mCurResGroupList;
    // Next record LoadNextResource considers.
    ResList::iterator mCurResGroupItr;

public:
    explicit ResourceManager(VaxoAppBase* app);
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // --- Parsing the manifest ----------------------------------------------------------
    // Each step answers false when the parse must stop (the error is recorded).
    // On true the map owns the record; on false the caller still does.
    virtual bool ParseCommonResource(XMLElement& element, BaseRes* res, ResMap& map);
    virtual bool ParseSoundResource(XMLElement& element);
    virtual bool ParseImageResource(XMLElement& element);
    virtual bool ParseFontResource(XMLElement& element);
    virtual bool ParseSetDefaults(XMLElement& element);
    // One Resources element, after its start tag.
    virtual bool ParseResources();

    // --- Loading -------------------------------------------------------------------------
    // Frees the loaded objects of the map's records of the group (all for "").
    virtual void DeleteResources(ResMap& map, const std::string& group);
    virtual bool DoLoadImage(ImageRes* res);
    virtual bool DoLoadFont(FontRes* res);
    virtual bool DoLoadSound(SoundRes* res);

public:
    virtual ~ResourceManager();

    // Loads the next resource of the started group that is not loaded yet; false at the
    // end of the group, after a failure, or before any start.
    virtual bool LoadNextResource();
    // Called after each successful load (not for "!empty" sounds); does nothing here.
    virtual void ResourceLoadedHook(BaseRes* res);
    // Clears the error and starts the group (an undeclared group is empty).
    virtual void StartLoadResources(const std::string& group);
    // Loads the whole group; true (and the group counts as loaded) without an error.
    virtual bool LoadResources(const std::string& group);

    // --- Look-ups that throw ResourceManagerException for a missing resource ---------
    virtual SharedImageRef GetImageThrow(const std::string& id);
    virtual int GetSoundThrow(const std::string& id);
    virtual Font* GetFontThrow(const std::string& id);

    // Frees the loaded objects of the group (compared exactly; all for ""); the records
    // stay declared and the group no longer counts as loaded.
    virtual void DeleteResources(const std::string& group);

    // Parses gVaxoWorkingDir + filename; true when no error is recorded at the end. An
    // error recorded before (and not cleared by a load) makes it answer false too.
    bool ParseResourcesFile(const std::string& filename);
    // The same, a redeclared id updating its record instead of failing.
    bool ReparseResourcesFile(const std::string& filename);
    // Records the message (with the manifest's line and file while a parse runs) unless
    // an error is recorded already; always false.
    bool Fail(const std::string& message);

    bool HadError() const { return mHasFailed; }
    std::string GetErrorText() const { return mError; }

    bool IsGroupLoaded(const std::string& group) const;
    // Records of the group (mResGroup compared exactly) that the program does not
    // supply; for "" every record of the kind.
    int GetNumImages(const std::string& group) const;
    int GetNumSounds(const std::string& group) const;
    int GetNumFonts(const std::string& group) const;
    int GetNumResources(const std::string& group) const;

    // --- Look-ups --------------------------------------------------------------------
    // Without loading: an empty reference / -1 / null when undeclared or not loaded.
    SharedImageRef GetImage(const std::string& id);
    int GetSound(const std::string& id);
    Font* GetFont(const std::string& id);
    // Loading when needed: an empty reference / null on failure; LoadSound answers 0 for
    // an undeclared id and -1 for a failed load.
    SharedImageRef LoadImage(const std::string& id);
    Font* LoadFont(const std::string& id);
    int LoadSound(const std::string& id);

    // --- Replacing and freeing -----------------------------------------------------------
    // False for an undeclared id. The record frees its old object and owns the image or
    // font given (a sound id is the caller's).
    bool ReplaceImage(const std::string& id, Image* image);
    bool ReplaceSound(const std::string& id, int soundId);
    bool ReplaceFont(const std::string& id, Font* font);
    void DeleteImage(const std::string& id);
    void DeleteSound(const std::string& id);
    void DeleteFont(const std::string& id);
    // Drops the derived caches of the group's loaded images (all for "").
    void DeleteExtraImageBuffers(const std::string& group);

    // The image record's attributes; an empty map when the id is no image.
    const XMLParamMap& GetImageAttributes(const std::string& id);
    void SetAllowMissingProgramImages(bool allow) { mAllowMissingProgramImages = allow; }
    // A text listing of the group being loaded and the load position; out is left
    // alone when no group was started.
    void DumpCurResGroup(std::string& out);

protected:
    // Parses the groups after the root element; ends the parse.
    bool DoParseResources();
    // Reads the kind's own attributes of an Image, Sound or Font element into a record;
    // false after recording an error.
    bool ReadImageAttributes(XMLElement& element, ImageRes* res);
    void ReadSoundAttributes(XMLElement& element, SoundRes* res);
    bool ReadFontAttributes(XMLElement& element, FontRes* res);
    // ParseCommonResource into a new record, or into the declared one during a re-parse.
    // Answers the record to read the kind's attributes into, or null to stop.
    BaseRes* ParseDeclaration(XMLElement& element, std::unique_ptr<BaseRes> res, ResMap& map);
    // Merges a separate alpha file into a freshly loaded image.
    bool LoadAlphaImage(ImageRes* res, MemoryImage* image);
    bool LoadAlphaGridImage(ImageRes* res, MemoryImage* image);
    // The image flags, grid and animation of the record, given to a loaded image.
    void ApplyImageAttributes(ImageRes* res, MemoryImage* image);
    // Frees every record's object, then the records.
    void DeleteMap(ResMap& map);
    BaseRes* FindRes(ResMap& map, const std::string& id);
};

} // namespace Vaxo
