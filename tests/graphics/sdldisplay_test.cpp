// SDLDisplay on real video modes: Xvfb servers at depths 24 (32-bit XRGB), 16 (565) and
// 15 (555), named by VAXO_DISPLAY_24/16/15 (skipped when unset), and SDL's dummy driver,
// whose 8 bits per pixel the display must refuse. Each test brings SDL up on its server
// and down again, since SDL 1.2 reads DISPLAY at SDL_Init.
#include "graphics/NativeImagePixels.h"
#include "graphics/SDLDisplay.h"
#include "graphics/SDLImage.h"
#include "graphics/gl/support/GLTestUtil.h"
#include "graphics/support/SDLImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <tuple>
#include <vector>

namespace Vaxo
{
namespace
{

// Keeps Mesa's libraries loaded for the life of the process, so that what they allocate
// once is not reported as leaked when SDL unloads them.
void PinMesa()
{
    dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
}

struct Depth
{
    const char* env;
    int bpp;
    uint32_t r, g, b;
};

const Depth kDepth24{"VAXO_DISPLAY_24", 32, 0xFF0000, 0xFF00, 0xFF};
const Depth kDepth16{"VAXO_DISPLAY_16", 16, 0xF800, 0x07E0, 0x001F};
const Depth kDepth15{"VAXO_DISPLAY_15", 16, 0x7C00, 0x03E0, 0x001F};

// SDL up on one X server for a test's duration.
class VideoSession
{
public:
    explicit VideoSession(const std::string& display, const char* driver = "x11")
    {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", driver, 1);
        // A server still closing the previous session's connection now and then refuses
        // the next one: a few tries.
        for (int attempt = 0; attempt < 20 && !mOk; ++attempt)
        {
            mOk = SDL_Init(SDL_INIT_VIDEO) == 0;
            if (!mOk)
                SDL_Delay(50);
        }
    }
    ~VideoSession() { SDL_Quit(); }
    bool Ok() const { return mOk; }

private:
    bool mOk = false;
};

class SDLDisplayTest : public ::testing::Test
{
protected:
    TestApp mApp;
    void SetUp() override
    {
        mApp.mWidth = 320;
        mApp.mHeight = 240;
        mApp.mIsWindowed = true;
    }
};

class SDLDisplayDepth : public SDLDisplayTest, public ::testing::WithParamInterface<Depth>
{
};

// Windowed and full-screen set-up, a second Init, and a 2D frame read back.
TEST_P(SDLDisplayDepth, Software)
{
    const Depth& depth = GetParam();
    const char* name = std::getenv(depth.env);
    if (name == nullptr)
        GTEST_SKIP() << depth.env << " not set";
    VideoSession session(name);
    ASSERT_TRUE(session.Ok()) << SDL_GetError();
    SDLDisplay display(&mApp);
    mApp.mDisplay = &display;
    ASSERT_EQ(display.Init(), NativeDisplay::RESULT_OK) << display.mErrorString;
    EXPECT_TRUE(display.mInitialized);
    EXPECT_EQ(std::make_tuple(display.mBitsPerPixel, display.mRedMask, display.mGreenMask, display.mBlueMask),
              std::make_tuple(depth.bpp, depth.r, depth.g, depth.b));
    EXPECT_TRUE(SurfaceFormatOk(display)) << "channel bits, shifts and add tables follow the masks";
    EXPECT_EQ(display.mRefreshRate, 60u);
    EXPECT_EQ(display.mMillisecondsPerFrame, 16u);
    EXPECT_TRUE(mApp.mVSyncBroken);
    ASSERT_NE(display.mScreenImage, nullptr);
    EXPECT_TRUE(display.mScreenImage->mExternalSurface);
    EXPECT_EQ(display.mScreenImage->mWidth, 320);
    EXPECT_FALSE(display.mScreenImage->Is3D());

    // Init again: the old screen image goes first, a new one wraps the new surface.
    ASSERT_EQ(display.Init(), NativeDisplay::RESULT_OK);
    SDLImage& screen = *display.mScreenImage;
    EXPECT_EQ(screen.mSurface, display.mScreenSurface);

    // A frame: a red fill, a translucent white square, a sprite; presented and read back.
    screen.FillRect(TRect<int>(0, 0, 320, 240), Color(255, 0, 0), 0);
    screen.FillRect(TRect<int>(10, 10, 20, 20), Color(255, 255, 255, 128), 0);
    auto sprite = MakeSDLImage(&display, 4, 4, 0xFF0000FFu);
    screen.Blt(sprite.get(), 100, 100, TRect<int>(0, 0, 4, 4), Color::White, 0);
    EXPECT_TRUE(display.Redraw(nullptr));
    const SurfaceFormat f(display);
    EXPECT_EQ(SurfaceWord(screen, 0, 0) & 0xFFFFFF, f.FromArgb(0xFFFE0000u) & 0xFFFFFF);
    EXPECT_EQ(SurfaceWord(screen, 101, 102) & 0xFFFFFF, f.FromArgb(0xFF0000FFu));
    const uint32_t mid = f.ToArgb(SurfaceWord(screen, 15, 15));
    EXPECT_NEAR(double((mid >> 8) & 0xFF), 128.0, 9.0); // green: white at half over no green
    EXPECT_GE((mid >> 16) & 0xFF, 232u);                // red: two half shares of a 5-bit 31 make 30
    uint32_t* bits = screen.GetBits();
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits[size_t(100) * 320 + 100] & 0xFF, f.ToArgb(f.FromArgb(0xFF0000FFu)) & 0xFF);
    sprite.reset();

    // Full screen.
    mApp.mIsWindowed = false;
    const int full = display.Init();
    EXPECT_EQ(full, NativeDisplay::RESULT_OK) << display.mErrorString;
    mApp.mDisplay = nullptr;
}

// The OpenGL renderer: a frame filled through it, presented and read back.
TEST_P(SDLDisplayDepth, OpenGL)
{
    const Depth& depth = GetParam();
    const char* name = std::getenv(depth.env);
    if (name == nullptr)
        GTEST_SKIP() << depth.env << " not set";
    PinMesa();
    VideoSession session(name);
    ASSERT_TRUE(session.Ok()) << SDL_GetError();
    SDLDisplay display(&mApp);
    mApp.mDisplay = &display;
    display.mIs3D = true;
    const int result = display.Init();
    ASSERT_EQ(result, NativeDisplay::RESULT_OK)
        << NativeDisplay::ResultToString(result) << ": " << display.mErrorString;
    SDLImage& screen = *display.mScreenImage;
    EXPECT_TRUE(screen.Is3D());
    EXPECT_FALSE(screen.LockSurface());
    EXPECT_EQ(screen.GetBits(), nullptr);
    screen.FillRect(TRect<int>(0, 0, 320, 240), Color(0, 0, 255), 0);
    screen.ClearRect(TRect<int>(0, 0, 10, 10));
    // The frame as drawn, read before the swap (a swapped front buffer of a software
    // context cannot be read back reliably).
    glFinish();
    glReadBuffer(GL_BACK);
    uint8_t centre[4] = {0, 0, 0, 0};
    glReadPixels(160, 120, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, centre);
    EXPECT_EQ(centre[0], 0);
    EXPECT_EQ(centre[2], 255);
    uint8_t corner[4] = {9, 9, 9, 9};
    glReadPixels(2, 240 - 3, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    EXPECT_EQ(corner[2], 0) << "the cleared corner is black";
    // A purged image of four texture pieces: its texels read back whole even where the
    // screen holds 5 or 6 bits a channel, and its pixels are drawn within one step of the
    // coarsest channel (plus rounding of the read-back expansion).
    auto image = PatternImage(&mApp, 300, 140);
    image->mPurgeBits = true;
    screen.Blt(image.get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0);
    EXPECT_EQ(PatternMismatch(image->GetBits(), 300, 140), "");
    const GLenum channels[3] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS};
    GLint bits[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
        glGetIntegerv(channels[k], &bits[k]);
    const int tolerance = (256 >> std::min({bits[0], bits[1], bits[2]})) + 1;
    std::vector<uint8_t> rgba(300 * 140 * 4);
    glReadPixels(0, 240 - 140, 300, 140, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    for (int y = 0; y < 140; ++y)
        for (int x = 0; x < 300; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_LE(std::abs(int(rgba[size_t((139 - y) * 300 + x) * 4 + size_t(k)]) -
                                   int((PatternPixel(x, y) >> (16 - 8 * k)) & 0xFF)),
                          tolerance)
                    << x << "," << y << " channel " << k;
    EXPECT_TRUE(display.Redraw(nullptr));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    display.Cleanup();
    mApp.mDisplay = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Screens, SDLDisplayDepth, ::testing::Values(kDepth24, kDepth16, kDepth15));

TEST_F(SDLDisplayTest, EightBitScreenIsRefused)
{
    VideoSession session(":0", "dummy");
    ASSERT_TRUE(session.Ok()) << SDL_GetError();
    SDLDisplay display(&mApp);
    EXPECT_EQ(display.Init(), NativeDisplay::RESULT_INVALID_COLORDEPTH);
    EXPECT_EQ(display.mBitsPerPixel, 8);
    EXPECT_FALSE(display.mInitialized);
    EXPECT_NE(display.mScreenImage, nullptr) << "kept until the next Init or Cleanup";
    display.Cleanup();
    EXPECT_EQ(display.mScreenImage, nullptr);
}

TEST_F(SDLDisplayTest, FailedVideoModeReportsSDLError)
{
    VideoSession session(":0", "dummy");
    ASSERT_TRUE(session.Ok());
    SDLDisplay display(&mApp);
    display.mIs3D = true; // the dummy driver has no OpenGL
    EXPECT_EQ(display.Init(), NativeDisplay::RESULT_DD_CREATE_FAIL);
    EXPECT_FALSE(display.mErrorString.empty());
    EXPECT_EQ(display.mScreenImage, nullptr);
}

} // namespace
} // namespace Vaxo
