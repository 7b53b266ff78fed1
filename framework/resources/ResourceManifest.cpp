// Reading the resource manifest into records (ResourceManager's parse steps).
#include "resources/ResourceManager.h"

#include "app/VaxoAppBase.h"
#include "common/Common.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Vaxo
{

namespace
{

const std::string* FindAttribute(const XMLElement& element, const char* name)
{
    auto it = element.mAttributes.find(name);
    return it == element.mAttributes.end() ? nullptr : &it->second;
}

bool HasAttribute(const XMLElement& element, const char* name)
{
    return FindAttribute(element, name) != nullptr;
}

int IntAttribute(const XMLElement& element, const char* name, int defaultValue)
{
    const std::string* value = FindAttribute(element, name);
    return value == nullptr ? defaultValue : std::atoi(value->c_str());
}

} // namespace

void ReadIntVector(const std::string& text, std::vector<int>& intVector)
{
    intVector.clear();
    size_t pos = 0;
    for (;;)
    {
        intVector.push_back(std::atoi(text.c_str() + pos));
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
}

bool ResourceManager::Fail(const std::string& message)
{
    if (mHasFailed)
        return false;
    mHasFailed = true;
    mError = message;
    if (mXMLParser)
    {
        int32_t line = mXMLParser->GetCurrentLineNum();
        if (line > 0)
            mError += StrFormat(" on Line %d", line);
        std::string fileName = mXMLParser->GetFileName();
        if (!fileName.empty())
            mError += " in File '" + fileName + "'";
    }
    return false;
}

bool ResourceManager::ParseResourcesFile(const std::string& filename)
{
    mXMLParser.reset(new XMLParser());
    if (!mXMLParser->OpenFile(gVaxoWorkingDir + filename))
        Fail("Resource file not found: " + filename);

    // Everything before the root is skipped; the first start tag must be the root.
    bool foundRoot = false;
    XMLElement element;
    while (!mXMLParser->HasFailed())
    {
        if (!mXMLParser->NextElement(&element))
            break;
        if (element.mType == XMLElement::TYPE_START)
        {
            foundRoot = element.mValue == "ResourceManifest";
            break;
        }
    }
    if (!foundRoot)
    {
        // A file that ends before any start tag (empty, or comments only) must end the
        // search too, not only a reader error.
        if (mXMLParser->HasFailed())
            Fail(mXMLParser->GetErrorText());
        Fail("Expecting ResourceManifest tag");
        mXMLParser.reset();
        return false;
    }
    return DoParseResources();
}

bool ResourceManager::ReparseResourcesFile(const std::string& filename)
{
    bool previous = mAllowAlreadyDefinedResources;
    mAllowAlreadyDefinedResources = true;
    bool result = ParseResourcesFile(filename);
    mAllowAlreadyDefinedResources = previous;
    return result;
}

bool ResourceManager::DoParseResources()
{
    XMLElement element;
    while (!mXMLParser->HasFailed() && mXMLParser->NextElement(&element))
    {
        if (element.mType == XMLElement::TYPE_ELEMENT)
        {
            Fail("Element Not Expected '" + element.mValue + "'");
            break;
        }
        if (element.mType != XMLElement::TYPE_START)
            continue;
        if (element.mValue != "Resources")
        {
            Fail("Invalid Section '" + element.mValue + "'");
            break;
        }
        const std::string* id = FindAttribute(element, "id");
        mCurResGroup = id == nullptr ? std::string() : *id;
        mCurResGroupList = &mResGroupMap[mCurResGroup];
        if (mCurResGroup.empty())
        {
            Fail("No id specified.");
            break;
        }
        if (!ParseResources())
            break;
    }
    if (mXMLParser->HasFailed())
        Fail(mXMLParser->GetErrorText());
    mXMLParser.reset();
    return !mHasFailed;
}

bool ResourceManager::ParseResources()
{
    XMLElement element;
    for (;;)
    {
        // The end of input inside a group ends the whole parse without an error of its own.
        if (!mXMLParser->NextElement(&element))
            return false;
        switch (element.mType)
        {
        case XMLElement::TYPE_START:
        {
            bool parsed;
            if (element.mValue == "Image")
                parsed = ParseImageResource(element);
            else if (element.mValue == "Sound")
                parsed = ParseSoundResource(element);
            else if (element.mValue == "Font")
                parsed = ParseFontResource(element);
            else if (element.mValue == "SetDefaults")
                parsed = ParseSetDefaults(element);
            else
                return Fail("Invalid Section '" + element.mValue + "'");
            if (!parsed)
                return false;
            // A declaration holds nothing: its end tag must follow at once.
            if (!mXMLParser->NextElement(&element))
                return false;
            if (element.mType != XMLElement::TYPE_END)
                return Fail("Unexpected element found.");
            break;
        }
        case XMLElement::TYPE_END:
            return true;
        case XMLElement::TYPE_ELEMENT:
            return Fail("Element Not Expected '" + element.mValue + "'");
        default:
            break;
        }
    }
}

bool ResourceManager::ParseCommonResource(XMLElement& element, BaseRes* res, ResMap& map)
{
    mHadAlreadyDefinedError = false;
    const std::string* pathAttr = FindAttribute(element, "path");
    if (pathAttr == nullptr || pathAttr->empty())
        return Fail("No path specified.");
    const std::string& path = *pathAttr;

    res->mXMLAttributes = element.mAttributes;
    res->mFromProgram = false;
    res->mEmpty = false;
    if (path[0] == '!')
    {
        res->mPath = path;
        res->mFromProgram = path == "!program";
        res->mEmpty = path == "!empty";
    }
    else
    {
        res->mPath = mDefaultPath + path;
    }

    const std::string* idAttr = FindAttribute(element, "id");
    std::string id = mDefaultIdPrefix + (idAttr != nullptr ? *idAttr : GetFileName(res->mPath, true));
    res->mResGroup = mCurResGroup;
    res->mId = id;

    auto inserted = map.emplace(id, nullptr);
    if (!inserted.second)
    {
        mHadAlreadyDefinedError = true;
        // A re-parse updates the declared record: no error is recorded for it, so an
        // error recorded before the re-parse is never cleared by one.
        if (mAllowAlreadyDefinedResources)
            return false;
        return Fail("Resource already defined.");
    }
    inserted.first->second.reset(res);
    mCurResGroupList->push_back(res);
    return true;
}

ResourceManager::BaseRes* ResourceManager::ParseDeclaration(XMLElement& element, std::unique_ptr<BaseRes> res,
                                                            ResMap& map)
{
    BaseRes* fresh = res.get();
    if (ParseCommonResource(element, fresh, map))
    {
        res.release(); // the map owns it now
        return fresh;
    }
    if (!mHadAlreadyDefinedError || !mAllowAlreadyDefinedResources)
        return nullptr;
    // The declared record keeps its group, its place in the group and its loaded object.
    BaseRes* declared = map[fresh->mId].get();
    declared->mPath = fresh->mPath;
    declared->mXMLAttributes = fresh->mXMLAttributes;
    declared->mFromProgram = fresh->mFromProgram;
    declared->mEmpty = fresh->mEmpty;
    return declared;
}

bool ResourceManager::ParseImageResource(XMLElement& element)
{
    BaseRes* res = ParseDeclaration(element, std::unique_ptr<BaseRes>(new ImageRes()), mImageMap);
    return res != nullptr && ReadImageAttributes(element, static_cast<ImageRes*>(res));
}

bool ResourceManager::ReadImageAttributes(XMLElement& element, ImageRes* res)
{
    res->mPalletize = !HasAttribute(element, "nopal");
    res->mA4R4G4B4 = HasAttribute(element, "a4r4g4b4");
    res->mDDSurface = HasAttribute(element, "ddsurface");
    res->mA8R8G8B8 = HasAttribute(element, "a8r8g8b8");
    res->mMinimizeSubdivisions = HasAttribute(element, "minsubdivide");
    bool accelerated = mApp != nullptr && mApp->Is3DAccelerated();
    res->mPurgeBits = HasAttribute(element, "nobits") || (accelerated && HasAttribute(element, "nobits3d")) ||
                      (!accelerated && HasAttribute(element, "nobits2d"));

    if (const std::string* value = FindAttribute(element, "alphaimage"))
        res->mAlphaImage = mDefaultPath + *value;
    // A colour that does not read keeps the default instead of an unset value.
    res->mAlphaColor = 0xFFFFFF;
    if (const std::string* value = FindAttribute(element, "alphacolor"))
    {
        unsigned int color;
        if (std::sscanf(value->c_str(), "%x", &color) == 1)
            res->mAlphaColor = color;
    }
    if (const std::string* value = FindAttribute(element, "variant"))
        res->mVariant = *value;
    if (const std::string* value = FindAttribute(element, "alphagrid"))
        res->mAlphaGridImage = mDefaultPath + *value;

    res->mRows = IntAttribute(element, "rows", 1);
    res->mCols = IntAttribute(element, "cols", 1);
    // Cel sizes are the image size divided by these.
    if (res->mRows < 1)
        return Fail("Invalid rows.");
    if (res->mCols < 1)
        return Fail("Invalid cols.");

    int animType = AnimInfo::AnimType_None;
    if (const std::string* value = FindAttribute(element, "anim"))
    {
        if (stricmp(value->c_str(), "none") == 0)
            animType = AnimInfo::AnimType_None;
        else if (stricmp(value->c_str(), "once") == 0)
            animType = AnimInfo::AnimType_Once;
        else if (stricmp(value->c_str(), "loop") == 0)
            animType = AnimInfo::AnimType_Loop;
        else if (stricmp(value->c_str(), "pingpong") == 0)
            animType = AnimInfo::AnimType_PingPong;
        else
            return Fail("Invalid animation type.");
    }
    // A redeclaration starts its animation afresh rather than keeping old delays.
    res->mAnimInfo = AnimInfo();
    res->mAnimInfo.mAnimType = animType;
    if (animType == AnimInfo::AnimType_None)
        return true;

    int numCels = std::max(res->mRows, res->mCols);
    if (HasAttribute(element, "framedelay"))
        res->mAnimInfo.mFrameDelay = IntAttribute(element, "framedelay", 0);
    if (const std::string* value = FindAttribute(element, "perframedelay"))
        ReadIntVector(*value, res->mAnimInfo.mPerFrameDelay);
    if (const std::string* value = FindAttribute(element, "framemap"))
        ReadIntVector(*value, res->mAnimInfo.mFrameMap);
    res->mAnimInfo.Compute(numCels, IntAttribute(element, "begindelay", 0),
                           IntAttribute(element, "enddelay", 0));
    return true;
}

bool ResourceManager::ParseSoundResource(XMLElement& element)
{
    BaseRes* res = ParseDeclaration(element, std::unique_ptr<BaseRes>(new SoundRes()), mSoundMap);
    if (res == nullptr)
        return false;
    ReadSoundAttributes(element, static_cast<SoundRes*>(res));
    return true;
}

void ResourceManager::ReadSoundAttributes(XMLElement& element, SoundRes* res)
{
    // Values that do not read leave the defaults (no base volume, no base pan).
    if (const std::string* value = FindAttribute(element, "volume"))
    {
        double volume;
        if (std::sscanf(value->c_str(), "%lf", &volume) == 1 && std::isfinite(volume))
            res->mVolume = volume;
    }
    if (const std::string* value = FindAttribute(element, "pan"))
    {
        int pan;
        if (std::sscanf(value->c_str(), "%d", &pan) == 1)
            res->mPanning = pan;
    }
}

bool ResourceManager::ParseFontResource(XMLElement& element)
{
    BaseRes* res = ParseDeclaration(element, std::unique_ptr<BaseRes>(new FontRes()), mFontMap);
    return res != nullptr && ReadFontAttributes(element, static_cast<FontRes*>(res));
}

bool ResourceManager::ReadFontAttributes(XMLElement& element, FontRes* res)
{
    if (const std::string* value = FindAttribute(element, "image"))
        res->mImagePath = *value;
    if (const std::string* value = FindAttribute(element, "tags"))
        res->mTags = *value;

    res->mSysFont = res->mPath.compare(0, 5, "!sys:") == 0;
    if (!res->mSysFont)
        return true;
    res->mPath = res->mPath.substr(5);
    res->mSize = IntAttribute(element, "size", 0);
    if (res->mSize <= 0)
        return Fail("SysFont needs point size");
    res->mBold = HasAttribute(element, "bold");
    res->mItalic = HasAttribute(element, "italic");
    res->mShadow = HasAttribute(element, "shadow");
    res->mUnderline = HasAttribute(element, "underline");
    return true;
}

bool ResourceManager::ParseSetDefaults(XMLElement& element)
{
    if (const std::string* value = FindAttribute(element, "path"))
        mDefaultPath = RemoveTrailingSlash(*value) + "/";
    if (const std::string* value = FindAttribute(element, "idprefix"))
        mDefaultIdPrefix = RemoveTrailingSlash(*value);
    return true;
}

} // namespace Vaxo
