#include "graphics/GraphicsApp.h"

#include <SDL_mutex.h>

namespace Vaxo
{

GraphicsApp* gGraphicsApp = nullptr;

GraphicsApp::GraphicsApp()
    : mMutex(SDL_CreateMutex()), mDisplay(nullptr), mWidth(640), mHeight(480), mIsWindowed(true),
      mVSyncBroken(false), mFullRedraw(false), mMinimized(false), mSharedImagesDirty(false)
{
    for (int i = 0; i < 512; i++)
        mAdd8BitMaxTable[i] = static_cast<uint8_t>(i < 256 ? i : 255);
    gGraphicsApp = this;
}

GraphicsApp::~GraphicsApp()
{
    if (gGraphicsApp == this)
        gGraphicsApp = nullptr;
    if (mMutex != nullptr)
        SDL_DestroyMutex(mMutex);
}

ImageMutexLock::ImageMutexLock(GraphicsApp* app) : mMutex(app != nullptr ? app->mMutex : nullptr)
{
    if (mMutex != nullptr)
        SDL_mutexP(mMutex);
}

ImageMutexLock::~ImageMutexLock()
{
    if (mMutex != nullptr)
        SDL_mutexV(mMutex);
}

} // namespace Vaxo
