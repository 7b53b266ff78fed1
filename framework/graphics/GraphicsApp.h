// Internal to framework/graphics and framework/app.
// GraphicsApp: what the graphics layer needs of the application object.
//
// Graphics sits below the application and must not include or link it, so it declares
// here the few services it calls up into; the application object (VaxoAppBase) derives
// from GraphicsApp and implements them. gGraphicsApp points at the one live object: set
// by the constructor, cleared by the destructor. Memory images made with the default
// constructor register through it, the system font keeps it, font descriptor errors go
// to its Popup, font pictures come from GetSharedImage, and the OpenGL renderer reads
// its fields and takes its image mutex.
//
// For the application work, what each member must do:
//   mMutex              the image mutex; made here, first of all members. It guards the
//                       set of live memory images and the shared-image map; surface
//                       creation, display clean-up and the renderer's set of textured
//                       images take it too. It must be recursive (SDL 1.2's is):
//                       RemoveMemoryImage holds it while the renderer takes it again. When
//                       the font drawing lock is also needed, that lock is taken first.
//   AddMemoryImage      under mMutex, insert into the set of live memory images (ordered
//                       by pointer; already there changes nothing).
//   RemoveMemoryImage   under mMutex, erase from that set if present; then, if mDisplay
//                       exists, mDisplay->Remove3DData(image) (still under the mutex).
//   Remove3DData        no lock; mDisplay->Remove3DData(image) when mDisplay exists.
//   Is3DAccelerated     mDisplay->mIs3D (false while there is no display).
//   Popup               show the text in the platform's message box titled by the string
//                       "FATAL_ERROR" (default "FATAL ERROR"), between BeginPopup and
//                       EndPopup; end the program when the flag is true; only log it when
//                       running as a screen saver.
//   GetSharedImage      under mMutex, find or create the entry keyed by the upper-cased
//                       file name and variant and take a reference to it; set *isNew
//                       (when given) to whether this call created it; fill a new entry
//                       outside the lock: a name starting with "!" gets a blank
//                       display-format image from the platform, any other is loaded with
//                       GetImage(fileName, false). The image stays null when the file
//                       cannot be loaded. A request that finds an entry another thread
//                       is still filling waits until the fill is done, so it never sees
//                       a null image for a file that loads; the image pointer is
//                       published to it by that hand-over.
//   CleanSharedImages   (not called by graphics) under mMutex and only when
//                       mSharedImagesDirty is set: delete the image of every entry whose
//                       count is 0, remove those entries, clear the flag. Once per update.
//   CopyImage           a new MemoryImage, owned by the caller, holding a copy of the
//                       whole image (the rectangle 0, 0, width, height).
// Fields (read by the display, the renderer and the software lines):
//   mDisplay, mAdd8BitMaxTable, mWidth, mHeight, mIsWindowed, mVSyncBroken, mFullRedraw,
//   mMinimized, mSharedImagesDirty; see each below. The application inherits them and must
//   not declare its own: its mMutex, mDisplay, mWidth, mHeight, mIsWindowed and mMinimized
//   are these, its two 256-byte tables (i, then 255) are mAdd8BitMaxTable, and its
//   constructor sets mWidth and mHeight as it likes after this constructor ran.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct SDL_mutex;

namespace Vaxo
{

class Image;
class MemoryImage;
class NativeDisplay;
class SharedImageRef;

class GraphicsApp
{
public:
    // The image mutex (recursive); made by the constructor, destroyed by the destructor.
    SDL_mutex* mMutex;
    // The display; null until the platform makes it at start-up. Owned by the
    // application, which deletes it in its own teardown.
    NativeDisplay* mDisplay;
    // Saturating add of two channel values: entry i is min(i, 255) for i in 0..511.
    uint8_t mAdd8BitMaxTable[512];
    // Size of the application area in pixels.
    int32_t mWidth;
    int32_t mHeight;
    // Preferred mode: windowed (true) or full screen.
    bool mIsWindowed;
    // The display's refresh rate cannot pace frames; written by NativeDisplay::PostInit,
    // read by the frame loop.
    bool mVSyncBroken;
    // While set, a frame with any dirty widget redraws the whole screen; set by the
    // OpenGL renderer when it starts full screen.
    bool mFullRedraw;
    // Drawing is suspended (the window is minimised); while set the OpenGL renderer
    // begins no frame and drops every 3D draw. Main thread only.
    bool mMinimized;
    // Some shared image's count reached 0. Atomic: references are released on the
    // loading thread as well as the main thread.
    std::atomic<bool> mSharedImagesDirty;

public:
    GraphicsApp();
    GraphicsApp(const GraphicsApp&) = delete;
    GraphicsApp& operator=(const GraphicsApp&) = delete;
    virtual ~GraphicsApp();

    virtual void AddMemoryImage(MemoryImage* image) = 0;
    virtual void RemoveMemoryImage(MemoryImage* image) = 0;
    virtual void Remove3DData(MemoryImage* image) = 0;
    virtual bool Is3DAccelerated() = 0;
    // Shows an error text to the user; fatal ends the program. Font errors pass false
    // and ignore any outcome.
    virtual void Popup(const std::string& text, bool fatal) = 0;
    // A counted reference to the shared image of a file (and variant); holds no image
    // when the file cannot be loaded.
    virtual SharedImageRef GetSharedImage(const std::string& fileName, const std::string& variant,
                                          bool* isNew) = 0;
    // A copy of the whole image; the caller owns it.
    virtual MemoryImage* CopyImage(Image* image) = 0;
};

// The one application object, or null when there is none.
extern GraphicsApp* gGraphicsApp;

// Holds the application's image mutex for a scope. Does nothing without an application,
// so images made before or after it (tests, static tools) still work.
class ImageMutexLock
{
public:
    explicit ImageMutexLock(GraphicsApp* app);
    ~ImageMutexLock();
    ImageMutexLock(const ImageMutexLock&) = delete;
    ImageMutexLock& operator=(const ImageMutexLock&) = delete;

private:
    SDL_mutex* mMutex;
};

} // namespace Vaxo
