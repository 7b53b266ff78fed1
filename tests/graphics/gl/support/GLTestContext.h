// GLTestContext: a real OpenGL context for pixel tests and benchmarks, through SDL 1.2 on
// the X display named by an environment variable (VAXO_DISPLAY_24, _16 or _15; CI starts
// Xvfb with GLX and sets them). Without the variable the caller skips.
//
// Mesa's driver is loaded for good before the first context (RTLD_NODELETE), so that its
// allocations stay reachable at exit and leak checking sees only what tests/lsan.supp
// names.
#pragma once

#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

class GLTestContext
{
public:
    // The environment names a display for these tests.
    static bool Requested(const char* envVar);
    // Sets an OpenGL video mode of width x height on the display in envVar. Empty on
    // success, else why not (the variable is unset, or SDL refused).
    static std::string Open(const char* envVar, int width, int height);
    // Sets the video mode again: a new context, as when the game switches modes.
    static std::string Reopen(int width, int height);
    // Ends SDL's video.
    static void Close();
    // The back buffer's pixels of a rectangle (top-left origin) as 0xFFRRGGBB words.
    static std::vector<uint32_t> ReadPixels(int x, int y, int width, int height);
};

// An application stand-in with an SDL-less display whose 3D interface runs on the current
// context; Init is called unless told not to. (Inline: the graphics support library links
// after this one.)
class GLTestRenderer
{
public:
    TestApp mApp;
    TestDisplay mDisplay{&mApp};
    GL3DInterface* mRenderer;

    GLTestRenderer(int width, int height, bool init = true)
    {
        mApp.mWidth = width;
        mApp.mHeight = height;
        mDisplay.mIs3D = true;
        mDisplay.m3DInterface = std::make_unique<GL3DInterface>(&mDisplay);
        mRenderer = static_cast<GL3DInterface*>(mDisplay.m3DInterface.get());
        mApp.mDisplay = &mDisplay;
        if (init)
            mRenderer->Init();
    }
    ~GLTestRenderer()
    {
        mDisplay.m3DInterface.reset();
        mApp.mDisplay = nullptr;
        TextureData::ResetTextureLimits();
        ResetGLStateForTest();
    }
    GLTestRenderer(const GLTestRenderer&) = delete;
    GLTestRenderer& operator=(const GLTestRenderer&) = delete;
};

} // namespace Vaxo
