#include "graphics/SDLImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/SDLDisplay.h"

#include <SDL.h>

#include <limits>

namespace Vaxo
{

SDLImage::SDLImage(SDLDisplay* display) : NativeImage(display), mSDLDisplay(display), mSurface(nullptr) {}

SDLImage::~SDLImage()
{
    if (!mExternalSurface && mSurface != nullptr)
        SDL_FreeSurface(mSurface);
    mSurface = nullptr;
}

bool SDLImage::Is3D()
{
    return mSDLDisplay != nullptr && mSDLDisplay->mIs3D && mSDLDisplay->mScreenImage == this;
}

bool SDLImage::CreateSurface()
{
    if (mDisplay == nullptr || mWidth <= 0 || mHeight <= 0)
        return false;
    // SDL keeps the pitch in 16 bits: wider rows would wrap it.
    if (int64_t(mWidth) * (mDisplay->mBitsPerPixel / 8) > std::numeric_limits<uint16_t>::max() ||
        PixelCount() > size_t(kMaxPixels))
        return false;
    ImageMutexLock lock(mApp);
    mSurface = SDL_CreateRGBSurface(mVideoMemory ? SDL_HWSURFACE : SDL_SWSURFACE, mWidth, mHeight,
                                    mDisplay->mBitsPerPixel, mDisplay->mRedMask, mDisplay->mGreenMask,
                                    mDisplay->mBlueMask, 0);
    return mSurface != nullptr;
}

bool SDLImage::LockSurfaceInternal()
{
    if (mSurface == nullptr || mSurface->w != mWidth || mSurface->h != mHeight || mDisplay == nullptr ||
        mSurface->format->BitsPerPixel != mDisplay->mBitsPerPixel)
        return false;
    if (SDL_LockSurface(mSurface) != 0)
        return false;
    mLockedBits = mSurface->pixels;
    mLockedPitch = mSurface->pitch;
    return true;
}

bool SDLImage::UnlockSurfaceInternal()
{
    if (mSurface == nullptr)
        return false;
    SDL_UnlockSurface(mSurface);
    return true;
}

bool SDLImage::HasSurface()
{
    return mSurface != nullptr;
}

void SDLImage::ReleaseSurface()
{
    if (!mExternalSurface && mSurface != nullptr)
        SDL_FreeSurface(mSurface);
    mSurface = nullptr;
}

void SDLImage::SurfaceBlt(NativeImage* src, const TRect<int>& srcRect, const TRect<int>& destRect)
{
    SDLImage* source = dynamic_cast<SDLImage*>(src);
    if (source == nullptr)
        return;
    // SDL's rectangles are 16-bit: anything out of that range cannot be meant.
    const auto fits16 = [](int v) { return v >= -32768 && v <= 32767; };
    if (!fits16(srcRect.mX) || !fits16(srcRect.mY) || !fits16(destRect.mX) || !fits16(destRect.mY) ||
        srcRect.mWidth < 0 || srcRect.mHeight < 0 || srcRect.mWidth > 65535 || srcRect.mHeight > 65535)
        return;
    SDL_Rect s;
    s.x = Sint16(srcRect.mX);
    s.y = Sint16(srcRect.mY);
    s.w = Uint16(srcRect.mWidth);
    s.h = Uint16(srcRect.mHeight);
    SDL_Rect d;
    d.x = Sint16(destRect.mX);
    d.y = Sint16(destRect.mY);
    d.w = Uint16(destRect.mWidth < 0 ? 0 : destRect.mWidth);
    d.h = Uint16(destRect.mHeight < 0 ? 0 : destRect.mHeight);
    if (!source->HasSurface())
        source->GenerateDDSurface();
    if (!HasSurface())
        GenerateDDSurface();
    if (source->mSurface != nullptr && mSurface != nullptr)
        SDL_UpperBlit(source->mSurface, &s, mSurface, &d);
}

void SDLImage::SetSurface(SDL_Surface* surface)
{
    // What the image held before (its own surface, its pixels at the old size) is gone:
    // the new surface is the picture now.
    ReleaseSurface();
    mSurface = surface;
    mExternalSurface = true;
    if (surface != nullptr)
    {
        mWidth = surface->w;
        mHeight = surface->h;
    }
    MemoryImage::BitsChanged();
    DeleteAllNonSurfaceData();
}

SDL_Surface* SDLImage::GetSurface()
{
    if (mSurface == nullptr)
        GenerateDDSurface();
    return mSurface;
}

} // namespace Vaxo
