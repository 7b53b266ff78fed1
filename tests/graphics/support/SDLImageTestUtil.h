// Helpers for the display-format image tests, fuzz targets and benchmarks.
//
// FormatDisplay is an SDLDisplay that was never Init'ed: its pixel format is filled in by
// hand (888, 565, 555) and its add tables built, so SDLImages make real SDL surfaces
// (SDL_CreateRGBSurface needs no video mode) in that format. RecordingRenderer stands in
// for the display's 3D interface and counts what reaches it.
#pragma once

#include "graphics/SDLDisplay.h"
#include "graphics/SDLImage.h"
#include "graphics/X3DInterface.h"
#include "graphics/support/MemoryImageTestUtil.h"

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{

class FormatDisplay : public SDLDisplay
{
public:
    explicit FormatDisplay(TestFormat format, GraphicsApp* app = nullptr) : SDLDisplay(app)
    {
        SetDisplayFormat(*this, format);
        PostInit();
    }
};

// A display-format image of the given pixels (software form only until drawn into).
inline std::unique_ptr<SDLImage> MakeSDLImage(SDLDisplay* display, int width, int height,
                                              const std::vector<uint32_t>& pixels)
{
    auto image = std::make_unique<SDLImage>(display);
    image->SetBits(pixels.data(), width, height);
    return image;
}

inline std::unique_ptr<SDLImage> MakeSDLImage(SDLDisplay* display, int width, int height, uint32_t fill)
{
    return MakeSDLImage(display, width, height, std::vector<uint32_t>(size_t(width) * size_t(height), fill));
}

// The raw surface word at (x, y), locking for the read; 0xDEADDEAD without a surface.
inline uint32_t SurfaceWord(SDLImage& image, int x, int y)
{
    SDL_Surface* s = image.mSurface;
    if (s == nullptr)
        return 0xDEADDEADu;
    SDL_LockSurface(s);
    const uint8_t* row = static_cast<const uint8_t*>(s->pixels) + y * s->pitch;
    uint32_t w = s->format->BytesPerPixel == 2 ? reinterpret_cast<const uint16_t*>(row)[x]
                                               : reinterpret_cast<const uint32_t*>(row)[x];
    SDL_UnlockSurface(s);
    return w;
}

// Counts the calls that reach the 3D interface, by name.
class RecordingRenderer : public X3DInterface
{
public:
    std::vector<std::string> mCalls;
    explicit RecordingRenderer(NativeDisplay* display) : X3DInterface(display) {}

    void Blt(Image*, float, float, const TRect<int>&, const Color&, int, bool) override
    {
        mCalls.push_back("Blt");
    }
    void BltClipF(Image*, float, float, const TRect<int>&, const TRect<int>*, const Color&, int) override
    {
        mCalls.push_back("BltClipF");
    }
    void BltMirror(Image*, float, float, const TRect<int>&, const Color&, int, bool) override
    {
        mCalls.push_back("BltMirror");
    }
    void StretchBlt(Image*, const TRect<int>&, const TRect<int>&, const TRect<int>*, const Color&, int, bool,
                    bool mirror) override
    {
        mCalls.push_back(mirror ? "StretchBltMirror" : "StretchBlt");
    }
    void BltRotated(Image*, float, float, const TRect<int>*, const Color&, int, double, float, float,
                    const TRect<int>&) override
    {
        mCalls.push_back("BltRotated");
    }
    void BltTransformed(Image*, const TRect<int>*, const Color&, int, const TRect<int>&, const VaxoMatrix3&,
                        bool, float, float, bool) override
    {
        mCalls.push_back("BltTransformed");
    }
    void DrawLine(double, double, double, double, const Color&, int) override
    {
        mCalls.push_back("DrawLine");
    }
    void FillRect(const TRect<int>&, const Color&, int) override { mCalls.push_back("FillRect"); }
    void DrawTrianglesTex(const TriVertex (*)[3], int, const Color&, int, Image*, float, float, bool) override
    {
        mCalls.push_back("DrawTrianglesTex");
    }
    void FillPoly(const TPoint<int>*, int, const TRect<int>*, const Color&, int, int, int) override
    {
        mCalls.push_back("FillPoly");
    }
    void Flush(bool) override { mCalls.push_back("Flush"); }
};

} // namespace Vaxo
