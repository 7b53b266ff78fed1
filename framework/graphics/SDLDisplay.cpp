#include "graphics/SDLDisplay.h"

#include "graphics/GraphicsApp.h"
#include "graphics/SDLImage.h"
#include "graphics/gl/GL3DInterface.h"

#include <SDL.h>

namespace Vaxo
{

namespace
{

// Bits of a channel: highest set bit of the mask above its shift, plus one.
int32_t ChannelBits(uint32_t mask, int32_t shift)
{
    int32_t bits = 0;
    for (int32_t i = 0; i < 32; ++i)
        if (i + shift <= 31 && (mask >> (i + shift)) != 0)
            bits = i + 1;
    return bits;
}

} // namespace

SDLDisplay::SDLDisplay(GraphicsApp* app)
    : NativeDisplay(app), mScreenSurface(nullptr), mScreenImage(nullptr), mInitialized(false)
{
    m3DInterface = std::make_unique<GL3DInterface>(this);
}

SDLDisplay::~SDLDisplay()
{
    Cleanup();
}

bool SDLDisplay::Is3DSupported()
{
    return true;
}

bool SDLDisplay::Is3DRecommended()
{
    return true;
}

Image* SDLDisplay::GetScreenImage()
{
    return mScreenImage;
}

void SDLDisplay::Cleanup()
{
    ImageMutexLock lock(mApp);
    if (m3DInterface)
        m3DInterface->Cleanup();
    delete mScreenImage;
    mScreenImage = nullptr;
    mScreenSurface = nullptr;
}

int SDLDisplay::Init()
{
    Cleanup();
    mInitialized = false;
    Uint32 flags = (mApp != nullptr && mApp->mIsWindowed) ? 0 : SDL_FULLSCREEN;
    if (mIs3D)
    {
        flags |= SDL_OPENGL;
        SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 0);
    }
    const int width = mApp != nullptr ? mApp->mWidth : 640;
    const int height = mApp != nullptr ? mApp->mHeight : 480;
    mScreenSurface = SDL_SetVideoMode(width, height, 0, flags);
    if (mScreenSurface == nullptr)
    {
        mErrorString = SDL_GetError();
        return RESULT_DD_CREATE_FAIL;
    }
    mScreenImage = new SDLImage(this);
    mScreenImage->SetSurface(mScreenSurface);

    const SDL_PixelFormat* format = mScreenSurface->format;
    mBitsPerPixel = format->BitsPerPixel;
    mRedMask = format->Rmask;
    mGreenMask = format->Gmask;
    mBlueMask = format->Bmask;
    mRedShift = format->Rshift;
    mGreenShift = format->Gshift;
    mBlueShift = format->Bshift;
    mRedBits = ChannelBits(mRedMask, mRedShift);
    mGreenBits = ChannelBits(mGreenMask, mGreenShift);
    mBlueBits = ChannelBits(mBlueMask, mBlueShift);

    if (mBitsPerPixel != 16 && mBitsPerPixel != 32)
        return RESULT_INVALID_COLORDEPTH;
    // The 32-bit loops blend red and blue as one pair of byte lanes and green alone.
    if (mBitsPerPixel == 32 && !(mRedMask == 0xFF0000 && mGreenMask == 0xFF00 && mBlueMask == 0xFF))
        return RESULT_INVALID_COLORDEPTH;

    if (mIs3D && !(m3DInterface && m3DInterface->Init()))
    {
        mErrorString = "3D init error: " + X3DInterface::mErrorString;
        return RESULT_3D_FAIL;
    }
    PostInit();
    mInitialized = true;
    return RESULT_OK;
}

bool SDLDisplay::Redraw(TRect<int>*)
{
    if (mIs3D)
    {
        if (m3DInterface)
            m3DInterface->Flush(true);
    }
    else if (mScreenSurface != nullptr)
        SDL_UpdateRect(mScreenSurface, 0, 0, 0, 0);
    return true;
}

} // namespace Vaxo
