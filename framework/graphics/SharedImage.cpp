#include "graphics/SharedImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeImage.h"

namespace Vaxo
{

SharedImageRef::SharedImageRef() : mSharedImage(nullptr), mUnsharedImage(nullptr), mOwnsUnshared(false) {}

SharedImageRef::SharedImageRef(SharedImage* sharedImage)
    : mSharedImage(sharedImage), mUnsharedImage(nullptr), mOwnsUnshared(false)
{
    if (mSharedImage != nullptr)
        mSharedImage->mRefCount++;
}

SharedImageRef::SharedImageRef(const SharedImageRef& other)
    : mSharedImage(other.mSharedImage), mUnsharedImage(other.mUnsharedImage), mOwnsUnshared(false)
{
    if (mSharedImage != nullptr)
        mSharedImage->mRefCount++;
}

SharedImageRef::~SharedImageRef()
{
    Release();
}

SharedImageRef& SharedImageRef::operator=(const SharedImageRef& other)
{
    if (&other == this)
        return *this;
    MemoryImage* unshared = other.mUnsharedImage;
    if (unshared != nullptr && unshared == mUnsharedImage)
    {
        // The image already held stays, with its ownership: releasing it first would
        // delete it while it is being assigned again.
        const bool owns = mOwnsUnshared;
        mUnsharedImage = nullptr;
        *this = other.mSharedImage;
        mUnsharedImage = unshared;
        mOwnsUnshared = owns;
        return *this;
    }
    *this = other.mSharedImage;
    if (unshared != nullptr)
    {
        mUnsharedImage = unshared;
        mOwnsUnshared = false;
    }
    return *this;
}

SharedImageRef& SharedImageRef::operator=(SharedImage* sharedImage)
{
    if (sharedImage != nullptr && sharedImage == mSharedImage)
    {
        // Same entry: keep its count steady (a dip to 0 would mark it for clean-up)
        // and drop only the unshared part, as a fresh assignment would.
        SharedImage* keep = mSharedImage;
        mSharedImage = nullptr;
        Release();
        mSharedImage = keep;
        return *this;
    }
    Release();
    mSharedImage = sharedImage;
    if (mSharedImage != nullptr)
        mSharedImage->mRefCount++;
    return *this;
}

SharedImageRef& SharedImageRef::operator=(MemoryImage* memoryImage)
{
    if (memoryImage != nullptr && memoryImage == mUnsharedImage)
    {
        // Already held: releasing it first would delete an owned image that is being
        // assigned again. Only the shared part goes.
        mUnsharedImage = nullptr;
        Release();
        mUnsharedImage = memoryImage;
        return *this;
    }
    Release();
    mUnsharedImage = memoryImage;
    return *this;
}

void SharedImageRef::Release()
{
    if (mOwnsUnshared && mUnsharedImage != nullptr)
    {
        delete mUnsharedImage;
        // Else a borrowed image assigned later would be deleted too.
        mOwnsUnshared = false;
    }
    mUnsharedImage = nullptr;
    if (mSharedImage != nullptr)
    {
        SharedImage* entry = mSharedImage;
        mSharedImage = nullptr;
        // Read while this reference still counts: at 0 the registry may delete the entry.
        SharedImage::Orphan* orphan = entry->mOrphan;
        // fetch_sub returns the count before: 1 means this was the last reference.
        if (entry->mRefCount.fetch_sub(1) == 1)
        {
            if (orphan != nullptr)
                delete orphan; // the entry itself, left behind by its application
            else if (gGraphicsApp != nullptr)
                gGraphicsApp->mSharedImagesDirty = true;
        }
    }
}

Image* SharedImageRef::GetImage() const
{
    return GetMemoryImage();
}

MemoryImage* SharedImageRef::GetMemoryImage() const
{
    if (mUnsharedImage != nullptr)
        return mUnsharedImage;
    if (mSharedImage != nullptr)
        return mSharedImage->mImage;
    return nullptr;
}

SharedImageRef::operator NativeImage*() const
{
    return mSharedImage != nullptr ? dynamic_cast<NativeImage*>(mSharedImage->mImage) : nullptr;
}

} // namespace Vaxo
