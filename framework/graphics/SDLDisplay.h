// Internal to framework/graphics and framework/app/sdl.
// SDLDisplay: the display on SDL 1.2. Init sets the video mode (windowed or full screen,
// OpenGL when mIs3D), reads the screen's pixel format, wraps the screen surface in the
// screen image and starts the OpenGL renderer in 3D; Redraw presents a frame.
#pragma once

#include "graphics/NativeDisplay.h"

struct SDL_Surface;

namespace Vaxo
{

class SDLImage;

class SDLDisplay : public NativeDisplay
{
public:
    // The surface SDL_SetVideoMode returned; owned by SDL.
    SDL_Surface* mScreenSurface;
    // The screen image wrapping mScreenSurface; owned.
    SDLImage* mScreenImage;
    // The last Init succeeded.
    bool mInitialized;

public:
    explicit SDLDisplay(GraphicsApp* app);
    ~SDLDisplay() override;

    bool Is3DSupported() override;
    bool Is3DRecommended() override;
    Image* GetScreenImage() override;

    // Sets up the video mode and the screen image; a result code (RESULT_OK and so on).
    int Init();
    // Presents the frame: swaps the OpenGL buffers in 3D, else updates the whole screen.
    // The rectangle is not used.
    bool Redraw(TRect<int>* clipRect);
    // Drops the renderer's images and the screen image, under the image mutex.
    void Cleanup();
};

} // namespace Vaxo
