// Loading the manifest's records group by group, looking loaded objects up, replacing
// and freeing them.
#include "resources/ResourceManager.h"

#include "app/SoundManager.h"
#include "app/VaxoAppBase.h"
#include "common/Common.h"
#include "graphics/FontData.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeImage.h"
#include "graphics/SysFont.h"
#include "graphics/gl/TextureData.h"
#include "graphics/imagelib/ImageLib.h"

#include <iterator>

namespace Vaxo
{

namespace
{

// Texture requests of the manifest (MemoryImage::m3DFlags), beside the renderer's own.
constexpr uint32_t kTexFlagMinimizeSubdivisions = kTexFlagPowerOfTwo;
constexpr uint32_t kTexFlagA4R4G4B4 = 4;
constexpr uint32_t kTexFlagA8R8G8B8 = 8;

// The blue channel of an alpha file's pixel becomes the alpha of an image pixel.
inline uint32_t WithAlpha(uint32_t pixel, uint32_t alphaPixel)
{
    return (pixel & 0x00FFFFFF) | ((alphaPixel & 0xFF) << 24);
}

} // namespace

ResourceManagerException::~ResourceManagerException() = default;

void ResourceManager::ImageRes::DeleteResource()
{
    mImage.Release();
}

void ResourceManager::SoundRes::DeleteResource()
{
    if (mSoundId >= 0 && gVaxoAppBase != nullptr && gVaxoAppBase->mSoundManager != nullptr)
        gVaxoAppBase->mSoundManager->ReleaseSound(mSoundId);
    mSoundId = -1;
}

ResourceManager::FontRes::~FontRes()
{
    DeleteResource();
}

void ResourceManager::FontRes::DeleteResource()
{
    mFont.reset();
    mImage.reset();
}

ResourceManager::ResourceManager(VaxoAppBase* app)
    : mHasFailed(false), mApp(app), mAllowMissingProgramImages(false), mAllowAlreadyDefinedResources(false),
      mHadAlreadyDefinedError(false), mCurResGroupList(nullptr)
{
}

ResourceManager::~ResourceManager()
{
    DeleteMap(mImageMap);
    DeleteMap(mSoundMap);
    DeleteMap(mFontMap);
}

void ResourceManager::DeleteMap(ResMap& map)
{
    for (auto& entry : map)
        entry.second->DeleteResource();
    map.clear();
}

ResourceManager::BaseRes* ResourceManager::FindRes(ResMap& map, const std::string& id)
{
    auto it = map.find(id);
    return it == map.end() ? nullptr : it->second.get();
}

// --- Loading by group ---------------------------------------------------------------

void ResourceManager::StartLoadResources(const std::string& group)
{
    mError.clear();
    mHasFailed = false;
    mCurResGroup = group;
    mCurResGroupList = &mResGroupMap[group];
    mCurResGroupItr = mCurResGroupList->begin();
}

bool ResourceManager::LoadNextResource()
{
    if (mHasFailed || mCurResGroupList == nullptr)
        return false;
    while (mCurResGroupItr != mCurResGroupList->end())
    {
        BaseRes* res = *mCurResGroupItr++;
        if (res->mFromProgram)
            continue;
        switch (res->mType)
        {
        case ResType_Image:
        {
            // Any image held counts, the record's own "!empty" or replaced image included:
            // loading again would delete an image the game's variables still point at.
            auto image = static_cast<ImageRes*>(res);
            if (!image->mImage)
                return DoLoadImage(image);
            break;
        }
        case ResType_Sound:
        {
            auto sound = static_cast<SoundRes*>(res);
            if (sound->mSoundId == -1)
                return DoLoadSound(sound);
            break;
        }
        case ResType_Font:
        {
            auto font = static_cast<FontRes*>(res);
            if (!font->mFont)
                return DoLoadFont(font);
            break;
        }
        default:
            break;
        }
    }
    return false;
}

bool ResourceManager::LoadResources(const std::string& group)
{
    mError.clear();
    mHasFailed = false;
    StartLoadResources(group);
    while (LoadNextResource())
    {
    }
    if (mHasFailed)
        return false;
    mLoadedGroups.insert(group);
    return true;
}

bool ResourceManager::IsGroupLoaded(const std::string& group) const
{
    return mLoadedGroups.count(group) != 0;
}

namespace
{

int CountGroup(const ResourceManager::ResMap& map, const std::string& group)
{
    if (group.empty())
        return int(map.size());
    int count = 0;
    for (const auto& entry : map)
    {
        if (entry.second->mResGroup == group && !entry.second->mFromProgram)
            ++count;
    }
    return count;
}

} // namespace

int ResourceManager::GetNumImages(const std::string& group) const
{
    return CountGroup(mImageMap, group);
}

int ResourceManager::GetNumSounds(const std::string& group) const
{
    return CountGroup(mSoundMap, group);
}

int ResourceManager::GetNumFonts(const std::string& group) const
{
    return CountGroup(mFontMap, group);
}

int ResourceManager::GetNumResources(const std::string& group) const
{
    return GetNumImages(group) + GetNumSounds(group) + GetNumFonts(group);
}

void ResourceManager::ResourceLoadedHook(BaseRes* /*res*/) {}

// --- Images ---------------------------------------------------------------------------

bool ResourceManager::DoLoadImage(ImageRes* res)
{
    if (mApp == nullptr)
        return Fail(StrFormat("Failed to load image: %s", res->mPath.c_str()));
    if (res->mEmpty)
    {
        MemoryImage* image = mApp->CreateNativeImage();
        image->Create(1, 1);
        res->mImage = image;
        res->mImage.mOwnsUnshared = true;
    }
    else
    {
        bool isNew = false;
        SharedImageRef ref;
        {
            // The colour reaches only this thread's load.
            ImageLib::ScopedAlphaComposeColor composeColor(res->mAlphaColor);
            ref = mApp->GetSharedImage(gVaxoWorkingDir + res->mPath, res->mVariant, &isNew);
        }
        MemoryImage* image = ref;
        if (image == nullptr)
            return Fail(StrFormat("Failed to load image: %s", res->mPath.c_str()));
        // Only the call that read the file may change its pixels: nobody shares it yet.
        if (isNew)
        {
            if (!res->mAlphaImage.empty() && !LoadAlphaImage(res, image))
                return false;
            if (!res->mAlphaGridImage.empty() && !LoadAlphaGridImage(res, image))
                return false;
        }
        image->CommitBits();
        res->mImage = ref;
    }
    ApplyImageAttributes(res, res->mImage);
    ResourceLoadedHook(res);
    return true;
}

void ResourceManager::ApplyImageAttributes(ImageRes* res, MemoryImage* image)
{
    image->mPurgeBits = res->mPurgeBits;
    NativeImage* nativeImage = dynamic_cast<NativeImage*>(image);
    bool wantSurface = false;
    if (res->mDDSurface)
    {
        image->CommitBits();
        if (!image->mHasAlpha)
        {
            image->mPurgeBits = true;
            wantSurface = true;
            if (nativeImage != nullptr)
                nativeImage->mWantDDSurface = true;
        }
    }
    if (res->mPalletize)
    {
        if (wantSurface)
            image->mWantPalette = true;
        else
            image->Palletize();
    }
    if (res->mA4R4G4B4)
        image->m3DFlags |= kTexFlagA4R4G4B4;
    if (res->mA8R8G8B8)
        image->m3DFlags |= kTexFlagA8R8G8B8;
    if (res->mMinimizeSubdivisions)
        image->m3DFlags |= kTexFlagMinimizeSubdivisions;
    if (res->mAnimInfo.mAnimType != AnimInfo::AnimType_None)
        image->mAnimInfo.reset(new AnimInfo(res->mAnimInfo));
    image->mNumRows = res->mRows;
    image->mNumCols = res->mCols;
    if (image->mPurgeBits)
        image->PurgeBits();
}

bool ResourceManager::LoadAlphaImage(ImageRes* res, MemoryImage* image)
{
    std::unique_ptr<ImageLib::Image> alpha(ImageLib::GetImage(gVaxoWorkingDir + res->mAlphaImage, true));
    if (!alpha)
        return Fail(StrFormat("Failed to load image: %s", res->mAlphaImage.c_str()));
    if (alpha->GetWidth() != image->mWidth || alpha->GetHeight() != image->mHeight)
        return Fail(StrFormat("AlphaImage size mismatch between %s and %s", res->mPath.c_str(),
                              res->mAlphaImage.c_str()));
    uint32_t* bits = image->GetBits();
    if (bits == nullptr)
        return Fail(StrFormat("Failed to load image: %s", res->mPath.c_str()));
    const uint32_t* alphaBits = alpha->GetBits();
    size_t count = image->PixelCount();
    for (size_t i = 0; i < count; ++i)
        bits[i] = WithAlpha(bits[i], alphaBits[i]);
    image->BitsChanged();
    return true;
}

bool ResourceManager::LoadAlphaGridImage(ImageRes* res, MemoryImage* image)
{
    std::unique_ptr<ImageLib::Image> alpha(ImageLib::GetImage(gVaxoWorkingDir + res->mAlphaGridImage, true));
    if (!alpha)
        return Fail(StrFormat("Failed to load image: %s", res->mAlphaGridImage.c_str()));
    // The parse refuses grids below one cel; a record changed since is refused here.
    int32_t celWidth = res->mCols >= 1 ? image->mWidth / res->mCols : -image->mWidth;
    int32_t celHeight = res->mRows >= 1 ? image->mHeight / res->mRows : -image->mHeight;
    uint32_t* bits = image->GetBits();
    if (res->mCols < 1 || res->mRows < 1 || alpha->GetWidth() != celWidth ||
        alpha->GetHeight() != celHeight || bits == nullptr)
        return Fail(StrFormat("GridAlphaImage size mismatch between %s and %s", res->mPath.c_str(),
                              res->mAlphaGridImage.c_str()));
    const uint32_t* alphaBits = alpha->GetBits();
    const size_t width = size_t(image->mWidth);
    for (int32_t row = 0; row < res->mRows; ++row)
    {
        for (int32_t col = 0; col < res->mCols; ++col)
        {
            for (int32_t y = 0; y < celHeight; ++y)
            {
                uint32_t* dest = bits + (size_t(row) * celHeight + y) * width + size_t(col) * celWidth;
                const uint32_t* src = alphaBits + size_t(y) * celWidth;
                for (int32_t x = 0; x < celWidth; ++x)
                    dest[x] = WithAlpha(dest[x], src[x]);
            }
        }
    }
    image->BitsChanged();
    return true;
}

// --- Sounds ---------------------------------------------------------------------------

bool ResourceManager::DoLoadSound(SoundRes* res)
{
    if (res->mEmpty)
    {
        res->mSoundId = -2;
        return true;
    }
    SoundManager* soundManager = mApp != nullptr ? mApp->mSoundManager.get() : nullptr;
    if (soundManager == nullptr)
        return Fail(StrFormat("Failed to load sound: %s", res->mPath.c_str()));
    int id = soundManager->GetFreeSoundId();
    if (id < 0)
        return Fail("Out of free sound ids");
    // Without an audio device the manager loads nothing and the program runs silent: the
    // sound gets an id that plays nothing, rather than stopping the start.
    if (!soundManager->LoadSound(id, res->mPath) && soundManager->Initialized())
        return Fail(StrFormat("Failed to load sound: %s", res->mPath.c_str()));
    if (res->mVolume >= 0.0)
        soundManager->SetBaseVolume(id, res->mVolume);
    if (res->mPanning != 0)
        soundManager->SetBasePan(id, res->mPanning);
    res->mSoundId = id;
    ResourceLoadedHook(res);
    return true;
}

// --- Fonts ----------------------------------------------------------------------------

bool ResourceManager::DoLoadFont(FontRes* res)
{
    // The picture outlives the font drawn from it.
    std::unique_ptr<Image> legacyImage;
    std::unique_ptr<Font> font;
    if (res->mSysFont)
    {
        // This platform never simulates boldness (CheckFor98Mill is false), and its
        // system font draws nothing, so it keeps no shadow either.
        bool bold = CheckFor98Mill() ? false : res->mBold;
        font.reset(new SysFont(mApp, res->mPath, res->mSize, 0, bold, res->mItalic, res->mUnderline));
    }
    else if (!res->mImagePath.empty())
    {
        if (mApp != nullptr)
            legacyImage.reset(mApp->GetImage(gVaxoWorkingDir + res->mImagePath, true));
        if (!legacyImage)
            return Fail(StrFormat("Failed to load image: %s", res->mImagePath.c_str()));
        font.reset(new ImageFont(legacyImage.get(), gVaxoWorkingDir + res->mPath));
    }
    else if (res->mPath.compare(0, 5, "!ref:") == 0)
    {
        std::string refId = res->mPath.substr(5);
        Font* ref = GetFont(refId);
        if (ref == nullptr)
            return Fail("Ref font not found: " + refId);
        font.reset(ref->Duplicate());
    }
    else
    {
        font.reset(new ImageFont(mApp, gVaxoWorkingDir + res->mPath));
    }

    if (ImageFont* imageFont = dynamic_cast<ImageFont*>(font.get()))
    {
        if (imageFont->mFontData == nullptr || !imageFont->mFontData->mInitialized)
            return Fail(StrFormat("Failed to load font: %s", res->mPath.c_str()));
        if (!res->mTags.empty())
        {
            size_t pos = 0;
            const char* separators = ", \t\r\n";
            while ((pos = res->mTags.find_first_not_of(separators, pos)) != std::string::npos)
            {
                size_t end = res->mTags.find_first_of(separators, pos);
                imageFont->AddTag(res->mTags.substr(pos, end - pos));
                pos = end;
            }
            imageFont->Prepare();
        }
    }
    // The picture is freed with a font that failed, so a second try does not leak it.
    res->mFont = std::move(font);
    res->mImage = std::move(legacyImage);
    ResourceLoadedHook(res);
    return true;
}

// --- Look-ups -----------------------------------------------------------------------------

SharedImageRef ResourceManager::GetImage(const std::string& id)
{
    auto res = static_cast<ImageRes*>(FindRes(mImageMap, id));
    return res == nullptr ? SharedImageRef() : res->mImage;
}

int ResourceManager::GetSound(const std::string& id)
{
    auto res = static_cast<SoundRes*>(FindRes(mSoundMap, id));
    return res == nullptr ? -1 : res->mSoundId;
}

Font* ResourceManager::GetFont(const std::string& id)
{
    auto res = static_cast<FontRes*>(FindRes(mFontMap, id));
    return res == nullptr ? nullptr : res->mFont.get();
}

SharedImageRef ResourceManager::LoadImage(const std::string& id)
{
    auto res = static_cast<ImageRes*>(FindRes(mImageMap, id));
    if (res == nullptr || res->mFromProgram)
        return SharedImageRef();
    if (!res->mImage && !DoLoadImage(res))
        return SharedImageRef();
    return res->mImage;
}

Font* ResourceManager::LoadFont(const std::string& id)
{
    auto res = static_cast<FontRes*>(FindRes(mFontMap, id));
    if (res == nullptr)
        return nullptr;
    if (res->mFont)
        return res->mFont.get();
    if (res->mFromProgram || !DoLoadFont(res))
        return nullptr;
    return res->mFont.get();
}

int ResourceManager::LoadSound(const std::string& id)
{
    auto res = static_cast<SoundRes*>(FindRes(mSoundMap, id));
    if (res == nullptr)
        return 0;
    if (res->mSoundId != -1 || res->mFromProgram)
        return res->mSoundId;
    return DoLoadSound(res) ? res->mSoundId : -1;
}

SharedImageRef ResourceManager::GetImageThrow(const std::string& id)
{
    auto res = static_cast<ImageRes*>(FindRes(mImageMap, id));
    if (res != nullptr)
    {
        if (res->mImage)
            return res->mImage;
        if (mAllowMissingProgramImages && res->mFromProgram)
            return SharedImageRef();
    }
    Fail(StrFormat("Image resource not found: %s", id.c_str()));
    throw ResourceManagerException(mError);
}

int ResourceManager::GetSoundThrow(const std::string& id)
{
    auto res = static_cast<SoundRes*>(FindRes(mSoundMap, id));
    if (res != nullptr)
    {
        if (res->mSoundId != -1)
            return res->mSoundId;
        if (mAllowMissingProgramImages && res->mFromProgram)
            return res->mSoundId;
    }
    Fail(StrFormat("Sound resource not found: %s", id.c_str()));
    throw ResourceManagerException(mError);
}

Font* ResourceManager::GetFontThrow(const std::string& id)
{
    auto res = static_cast<FontRes*>(FindRes(mFontMap, id));
    if (res != nullptr)
    {
        if (res->mFont)
            return res->mFont.get();
        if (mAllowMissingProgramImages && res->mFromProgram)
            return nullptr;
    }
    Fail(StrFormat("Font resource not found: %s", id.c_str()));
    throw ResourceManagerException(mError);
}

const XMLParamMap& ResourceManager::GetImageAttributes(const std::string& id)
{
    static const XMLParamMap kEmpty;
    BaseRes* res = FindRes(mImageMap, id);
    return res == nullptr ? kEmpty : res->mXMLAttributes;
}

// --- Replacing and freeing ------------------------------------------------------------

bool ResourceManager::ReplaceImage(const std::string& id, Image* image)
{
    auto res = static_cast<ImageRes*>(FindRes(mImageMap, id));
    if (res == nullptr)
        return false;
    MemoryImage* memoryImage = dynamic_cast<MemoryImage*>(image);
    // Putting back the image the record holds must not free it first (a shared one
    // stays shared).
    if (memoryImage != nullptr && memoryImage == res->mImage.GetMemoryImage())
    {
        if (memoryImage == res->mImage.mUnsharedImage)
            res->mImage.mOwnsUnshared = true;
        return true;
    }
    res->DeleteResource();
    res->mImage = memoryImage;
    res->mImage.mOwnsUnshared = true;
    return true;
}

bool ResourceManager::ReplaceSound(const std::string& id, int soundId)
{
    auto res = static_cast<SoundRes*>(FindRes(mSoundMap, id));
    if (res == nullptr)
        return false;
    // Putting back the sound the record holds must not release it first.
    if (soundId == res->mSoundId)
        return true;
    res->DeleteResource();
    res->mSoundId = soundId;
    return true;
}

bool ResourceManager::ReplaceFont(const std::string& id, Font* font)
{
    auto res = static_cast<FontRes*>(FindRes(mFontMap, id));
    if (res == nullptr)
        return false;
    // Putting back the font the record holds must not delete it first.
    if (font != nullptr && font == res->mFont.get())
        return true;
    res->DeleteResource();
    res->mFont.reset(font);
    return true;
}

void ResourceManager::DeleteImage(const std::string& id)
{
    ReplaceImage(id, nullptr);
}

void ResourceManager::DeleteSound(const std::string& id)
{
    ReplaceSound(id, -1);
}

void ResourceManager::DeleteFont(const std::string& id)
{
    ReplaceFont(id, nullptr);
}

void ResourceManager::DeleteResources(ResMap& map, const std::string& group)
{
    for (auto& entry : map)
    {
        if (group.empty() || entry.second->mResGroup == group)
            entry.second->DeleteResource();
    }
}

void ResourceManager::DeleteResources(const std::string& group)
{
    DeleteResources(mImageMap, group);
    DeleteResources(mSoundMap, group);
    DeleteResources(mFontMap, group);
    mLoadedGroups.erase(group);
}

void ResourceManager::DeleteExtraImageBuffers(const std::string& group)
{
    for (auto& entry : mImageMap)
    {
        auto res = static_cast<ImageRes*>(entry.second.get());
        if ((group.empty() || res->mResGroup == group) && res->mImage)
            res->mImage->DeleteExtraBuffers();
    }
}

void ResourceManager::DumpCurResGroup(std::string& out)
{
    if (mCurResGroupList == nullptr)
        return;
    out = StrFormat("About to dump %d elements from current res group name %s\r\n",
                    int(mCurResGroupList->size()), mCurResGroup.c_str());
    for (auto it = mCurResGroupList->begin(); it != mCurResGroupList->end(); ++it)
    {
        BaseRes* res = *it;
        out += StrFormat("%s: %s\r\n", res->mId.c_str(), res->mPath.c_str());
        if (res->mFromProgram)
            out += "     res is from program\r\n";
        else if (res->mType == ResType_Image)
            out += "     res is an image\r\n";
        else if (res->mType == ResType_Sound)
            out += "     res is a sound\r\n";
        else if (res->mType == ResType_Font)
            out += "     res is a font\r\n";
        if (std::next(it) == mCurResGroupItr)
            out += "iterator has reached mCurResGroupItr\r\n";
    }
    out += "Done dumping resources\r\n";
}

} // namespace Vaxo
