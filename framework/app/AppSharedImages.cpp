// Shared images: every request for one file and variant gets a counted reference to one
// registry entry, loaded once; an entry lives until the update after its last reference
// went. Beside it, the set of live memory images, whose display data is dropped and
// rebuilt when the display changes. The loading thread asks for shared images while the
// main thread runs: the image mutex guards the map and the set.
#include "app/VaxoAppBase.h"

#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "graphics/NativeImage.h"
#include "graphics/imagelib/ImageLib.h"

#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{
// Marks the entry filled when the filling request leaves, even by an exception, so the
// requests waiting for it never wait for ever.
class FillDone
{
public:
    FillDone(VaxoAppBase* app, SharedImage* entry) : mApp(app), mEntry(entry) {}
    ~FillDone()
    {
        {
            std::lock_guard<std::mutex> lock(mApp->mSharedImageFillMutex);
            mEntry->mFilling = false;
        }
        mApp->mSharedImageFilled.notify_all();
    }
    FillDone(const FillDone&) = delete;
    FillDone& operator=(const FillDone&) = delete;

private:
    VaxoAppBase* mApp;
    SharedImage* mEntry;
};
} // namespace

SharedImageRef VaxoAppBase::GetSharedImage(const std::string& fileName, const std::string& variant,
                                           bool* isNew)
{
    std::pair<std::string, std::string> key(StringToUpper(fileName), StringToUpper(variant));
    SharedImageRef ref;
    bool created = false;
    {
        ImageMutexLock lock(this);
        auto found = mSharedImageMap.find(key);
        if (found == mSharedImageMap.end())
        {
            found =
                mSharedImageMap
                    .emplace(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple())
                    .first;
            found->second.mFilling = true;
            created = true;
        }
        ref = &found->second;
    }
    if (isNew != nullptr)
        *isNew = created;

    SharedImage* entry = ref.mSharedImage;
    if (created)
    {
        FillDone done(this, entry);
        MemoryImage* image = nullptr;
        if (!fileName.empty() && fileName[0] == '!')
            image = CreateNativeImage();
        else
            image = GetImage(fileName, false);
        entry->mImage = image;
    }
    else if (entry->mFilling)
    {
        // Another thread is loading this picture outside the lock: wait for it rather
        // than hand out an entry without its image.
        std::unique_lock<std::mutex> lock(mSharedImageFillMutex);
        mSharedImageFilled.wait(lock, [entry] { return !entry->mFilling; });
    }
    return ref;
}

void VaxoAppBase::CleanSharedImages()
{
    ImageMutexLock lock(this);
    // Cleared before the walk: a last reference that goes meanwhile (on another thread, or
    // through an image deleted here) sets it again for the next clean-up.
    if (!mSharedImagesDirty.exchange(false))
        return;
    for (auto it = mSharedImageMap.begin(); it != mSharedImageMap.end();)
    {
        if (it->second.mRefCount == 0)
        {
            delete it->second.mImage;
            it = mSharedImageMap.erase(it);
        }
        else
        {
            ++it;
        }
    }
}

void VaxoAppBase::AddMemoryImage(MemoryImage* image)
{
    ImageMutexLock lock(this);
    mMemoryImageSet.insert(image);
}

void VaxoAppBase::RemoveMemoryImage(MemoryImage* image)
{
    ImageMutexLock lock(this);
    mMemoryImageSet.erase(image);
    if (mDisplay != nullptr)
        mDisplay->Remove3DData(image);
}

void VaxoAppBase::Remove3DData(MemoryImage* image)
{
    if (mDisplay != nullptr)
        mDisplay->Remove3DData(image);
}

// The walks below hold the image mutex: the loading thread adds and removes images
// meanwhile. They walk a copy, since the images may make or drop helper images
// (the mutex is recursive) while they rebuild.
void VaxoAppBase::ReInitImages()
{
    ImageMutexLock lock(this);
    std::vector<MemoryImage*> images(mMemoryImageSet.begin(), mMemoryImageSet.end());
    for (MemoryImage* image : images)
    {
        if (mMemoryImageSet.count(image) != 0)
            image->ReInit();
    }
}

void VaxoAppBase::DeleteNativeImageData()
{
    ImageMutexLock lock(this);
    std::vector<MemoryImage*> images(mMemoryImageSet.begin(), mMemoryImageSet.end());
    for (MemoryImage* image : images)
    {
        if (mMemoryImageSet.count(image) != 0)
            image->DeleteNativeData();
    }
}

void VaxoAppBase::DeleteExtraImageData()
{
    ImageMutexLock lock(this);
    std::vector<MemoryImage*> images(mMemoryImageSet.begin(), mMemoryImageSet.end());
    for (MemoryImage* image : images)
    {
        if (mMemoryImageSet.count(image) != 0)
            image->DeleteExtraBuffers();
    }
}

MemoryImage* VaxoAppBase::GetImage(const std::string& fileName, bool commitBits)
{
    std::unique_ptr<ImageLib::Image> decoded(ImageLib::GetImage(fileName, true));
    if (decoded == nullptr)
        return nullptr;
    MemoryImage* image = CreateNativeImage();
    image->mFilePath = fileName;
    image->SetBits(decoded->GetBits(), decoded->GetWidth(), decoded->GetHeight(), commitBits);
    return image;
}

MemoryImage* VaxoAppBase::CreateNativeImage()
{
    MemoryImage* image = mPlatform->CreateNativeImage();
    // A platform without a display (the bare base) still gets images to draw into.
    return image != nullptr ? image : new MemoryImage(this);
}

MemoryImage* VaxoAppBase::CopyImage(Image* image, const TRect<int>& rect)
{
    MemoryImage* copy = CreateNativeImage();
    copy->Create(rect.mWidth, rect.mHeight);
    MemoryImage* source = dynamic_cast<MemoryImage*>(image);
    const uint32_t* from = source != nullptr ? source->GetBits() : nullptr;
    uint32_t* to = copy->GetBits();
    if (from != nullptr && to != nullptr)
    {
        // Pixels as they are: drawing onto the new, transparent image would blend them.
        // What lies outside the source stays transparent.
        for (int32_t y = 0; y < copy->mHeight; y++)
        {
            int32_t sy = rect.mY + y;
            for (int32_t x = 0; x < copy->mWidth && sy >= 0 && sy < source->mHeight; x++)
            {
                int32_t sx = rect.mX + x;
                if (sx >= 0 && sx < source->mWidth)
                    to[size_t(y) * size_t(copy->mWidth) + size_t(x)] =
                        from[size_t(sy) * size_t(source->mWidth) + size_t(sx)];
            }
        }
        copy->BitsChanged();
    }
    else
    {
        Graphics g(copy);
        g.DrawImage(image, -rect.mX, -rect.mY);
    }
    copy->CopyAttributes(image);
    return copy;
}

MemoryImage* VaxoAppBase::CopyImage(Image* image)
{
    return CopyImage(image, TRect<int>(0, 0, image->GetWidth(), image->GetHeight()));
}

} // namespace Vaxo
