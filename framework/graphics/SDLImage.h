// Internal to framework/graphics and framework/app/sdl.
// SDLImage: the display-format image backed by an SDL 1.2 surface.
//
// The screen image is one (its surface is the video surface, handed in with SetSurface
// and never freed here), and so is every image the platform makes for the application.
// Surfaces are made on demand by GenerateDDSurface through CreateSurface, under the
// application's image mutex since the loading thread makes images too.
#pragma once

#include "graphics/NativeImage.h"

struct SDL_Surface;

namespace Vaxo
{

class SDLDisplay;

class SDLImage : public NativeImage
{
public:
    // The display; not owned.
    SDLDisplay* mSDLDisplay;
    // The image's surface, or null; owned unless mExternalSurface.
    SDL_Surface* mSurface;

public:
    explicit SDLImage(SDLDisplay* display);
    ~SDLImage() override;

    // True only for the screen image of a display running the 3D renderer.
    bool Is3D() override;
    bool CreateSurface() override;
    // Refuses a surface whose size is not the image's, so no loop can run past it.
    bool LockSurfaceInternal() override;
    bool UnlockSurfaceInternal() override;
    bool HasSurface() override;
    void ReleaseSurface() override;
    void SurfaceBlt(NativeImage* src, const TRect<int>& srcRect, const TRect<int>& destRect) override;

    // Takes a surface the image will never free (the screen); the image takes its size.
    void SetSurface(SDL_Surface* surface);
    // The surface, made from the pixels first when there is none.
    SDL_Surface* GetSurface();
};

} // namespace Vaxo
