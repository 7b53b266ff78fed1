// Internal to framework/graphics and framework/app.
// NativeDisplay: what every display-format image needs to know about the screen.
//
// The pixel format (bits per pixel, channel masks, bit counts and shifts), the
// saturating add tables of additive drawing, the refresh rate, whether the hardware
// renderer is in use, and that renderer. The platform's display (SDLDisplay) derives
// from it, fills the format when it sets up the video mode and then calls PostInit.
// Software and display-format images read these fields directly.
#pragma once

#include "graphics/X3DInterface.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

class GraphicsApp;
class Image;
class MemoryImage;

class NativeDisplay
{
public:
    // Results of a display's Init, named by ResultToString.
    enum
    {
        RESULT_OK = 0,
        RESULT_FAIL = 1,
        RESULT_DD_CREATE_FAIL = 2, // the video mode was refused; mErrorString has why
        RESULT_SURFACE_FAIL = 3,
        RESULT_EXCLUSIVE_FAIL = 4,
        RESULT_DISPCHANGE_FAIL = 5,
        RESULT_INVALID_COLORDEPTH = 6, // the screen is not 16 or 32 bits of a known layout
        RESULT_3D_FAIL = 7             // the hardware renderer did not start; named RESULT_UNKNOWN
    };

    // The application; not owned.
    GraphicsApp* mApp;
    // The hardware renderer, or null. Owned: deleted with the display.
    std::unique_ptr<X3DInterface> m3DInterface;
    // The display runs the hardware renderer; set by the platform before Init.
    bool mIs3D;
    // 16 or 32 once the display is set up.
    int32_t mBitsPerPixel;
    // Where each channel sits in a pixel word.
    uint32_t mRedMask;
    uint32_t mGreenMask;
    uint32_t mBlueMask;
    // Bits of each channel.
    int32_t mRedBits;
    int32_t mGreenBits;
    int32_t mBlueBits;
    // Position of each channel's lowest bit.
    int32_t mRedShift;
    int32_t mGreenShift;
    int32_t mBlueShift;
    // Saturating add tables: for an n-bit channel 2 (2^n - 1) + 1 entries, entry i is
    // min(i, 2^n - 1). Empty until PostInit.
    std::vector<int32_t> mRedAddTable;
    std::vector<int32_t> mGreenAddTable;
    std::vector<int32_t> mBlueAddTable;
    // Frames per second of the screen; 0 until known.
    uint32_t mRefreshRate;
    // 1000 / mRefreshRate.
    uint32_t mMillisecondsPerFrame;
    // Text of the last set-up failure.
    std::string mErrorString;

public:
    explicit NativeDisplay(GraphicsApp* app);
    NativeDisplay(const NativeDisplay&) = delete;
    NativeDisplay& operator=(const NativeDisplay&) = delete;
    virtual ~NativeDisplay();

    virtual bool Is3DSupported();
    virtual bool Is3DRecommended();
    virtual void UpdateViewport();
    virtual Image* GetScreenImage() = 0;

    // Drops the image's texture data through the renderer, when there is one.
    void Remove3DData(MemoryImage* image);
    // Builds the add tables from the bit counts and settles the refresh rate (60 to
    // 100 Hz; outside that the application is told the rate cannot pace frames).
    void PostInit();
    // The name of a result code; "RESULT_UNKNOWN" outside 0 to 6.
    static std::string ResultToString(int result);
};

} // namespace Vaxo
