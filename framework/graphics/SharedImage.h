// SharedImage and SharedImageRef: images loaded by file name are shared through the
// application's registry (GraphicsApp::GetSharedImage); a SharedImageRef is a counted
// handle to one registry entry, or to an unshared MemoryImage that it may own.
//
// Fonts hold their pictures through it. A released reference never deletes a shared
// image: when an entry's count reaches 0 the application is told (mSharedImagesDirty)
// and deletes the entry at its next clean-up, so a request in between reuses it.
#pragma once

#include <atomic>
#include <cstdint>

namespace Vaxo
{

class Image;
class MemoryImage;
class NativeImage;

// One registry entry. Held by value in the application's map (never copied or moved).
struct SharedImage
{
    // Owned by the entry; null until loaded, and for good when loading failed.
    MemoryImage* mImage;
    // Number of SharedImageRef objects referring to the entry. Atomic: the loading
    // thread copies references while the main thread draws.
    std::atomic<int32_t> mRefCount;
    // The request that made the entry is still loading mImage outside the registry lock;
    // other requests wait until it clears. Clearing it publishes mImage to them.
    std::atomic<bool> mFilling;
    // Owner of the entry's storage once the application went while references remained:
    // the registry is gone, the image deleted, and the last reference deletes this.
    struct Orphan
    {
        virtual ~Orphan() = default;
    };
    Orphan* mOrphan;

    SharedImage() : mImage(nullptr), mRefCount(0), mFilling(false), mOrphan(nullptr) {}
    SharedImage(const SharedImage&) = delete;
    SharedImage& operator=(const SharedImage&) = delete;
};

class SharedImageRef
{
public:
    // The registry entry referred to, or null.
    SharedImage* mSharedImage;
    // An image outside the registry, or null.
    MemoryImage* mUnsharedImage;
    // Release deletes mUnsharedImage. Nothing here sets it: a holder that hands over
    // ownership sets it after assigning the image.
    bool mOwnsUnshared;

public:
    SharedImageRef();
    // Adds one to the entry's count (when not null).
    SharedImageRef(SharedImage* sharedImage);
    // The same entry, counted; the unshared image is shared without ownership.
    SharedImageRef(const SharedImageRef& other);
    ~SharedImageRef();

    // Takes the other's entry, counted, and its unshared image, not owned. Assigning a
    // reference to itself, or one holding the same entry, leaves the count alone; one
    // holding the image already held keeps it and its ownership.
    SharedImageRef& operator=(const SharedImageRef& other);
    // Refers to the entry (which must not be null) and counts it.
    SharedImageRef& operator=(SharedImage* sharedImage);
    // Refers to the image without counting it; the ownership flag keeps its value.
    // Assigning the image already held changes nothing.
    SharedImageRef& operator=(MemoryImage* memoryImage);

    // Deletes an owned unshared image (and clears the flag), drops the entry's count
    // and tells the application when it reaches 0 (or, with the application gone,
    // deletes the orphaned entry).
    void Release();

    // The unshared image if any, else the entry's image, else null.
    Image* GetImage() const;
    MemoryImage* GetMemoryImage() const;
    operator Image*() const { return GetImage(); }
    operator MemoryImage*() const { return GetMemoryImage(); }
    // The entry's image when it is a display-format image; the unshared image is not
    // considered.
    operator NativeImage*() const;
    MemoryImage* operator->() const { return GetMemoryImage(); }
    // Holds an image (unshared or loaded shared).
    explicit operator bool() const { return GetMemoryImage() != nullptr; }
};

} // namespace Vaxo
