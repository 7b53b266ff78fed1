// Display-format images on hand-made SDL surfaces (no video mode needed): format
// conversion, the display's tables, the three states of an image, the routes of every
// draw, the blit loops (the run-pattern fuzz target weighs them against a floating-point
// blender), stretching and rotation.
#include "graphics/Graphics.h"
#include "graphics/NativeImagePixels.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/SDLImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>
#include <string>

namespace Vaxo
{
namespace
{

const TestFormat kFormats[] = {TestFormat::k888, TestFormat::k565, TestFormat::k555};

// Channel k (0 red, 1 green, 2 blue) of a surface word, in the display's units.
double Channel(const NativeDisplay& d, uint32_t word, int k)
{
    const uint32_t masks[3] = {d.mRedMask, d.mGreenMask, d.mBlueMask};
    const int shifts[3] = {d.mRedShift, d.mGreenShift, d.mBlueShift};
    return double((word & masks[k]) >> shifts[k]);
}

// --- Format conversion and the display's tables --------------------------------------------

TEST(NativeDisplayTables, AddTablesAndRefreshRateClamp)
{
    FormatDisplay d565(TestFormat::k565), d888(TestFormat::k888);
    EXPECT_EQ(d565.mRedAddTable.size(), 63u);
    EXPECT_EQ(d565.mGreenAddTable.size(), 127u);
    EXPECT_EQ(d565.mRedAddTable[31], 31);
    EXPECT_EQ(d565.mRedAddTable[62], 31);
    EXPECT_EQ(d888.mRedAddTable.size(), 511u);
    EXPECT_EQ(d888.mGreenAddTable[300], 255);
    // 60 to 100 Hz; a rate outside marks vertical sync broken.
    const struct
    {
        uint32_t rate, expectedRate, expectedMs;
        bool broken;
    } rows[] = {{59, 60, 16, true}, {75, 75, 13, false}, {100, 100, 10, false}, {120, 100, 10, true}};
    TestApp app;
    for (const auto& row : rows)
    {
        TestDisplay display(&app);
        display.mRefreshRate = row.rate;
        app.mVSyncBroken = !row.broken;
        display.PostInit();
        EXPECT_EQ(display.mRefreshRate, row.expectedRate) << row.rate;
        EXPECT_EQ(display.mMillisecondsPerFrame, row.expectedMs) << row.rate;
        EXPECT_EQ(app.mVSyncBroken, row.broken) << row.rate;
    }
}

TEST(NativeDisplayTables, SurfaceLoopsAcceptOnlyLayoutsTheyKnow)
{
    const struct
    {
        int bpp;
        uint32_t r, g, b;
        int bits[3], shifts[3];
        bool ok;
    } rows[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, {8, 8, 8}, {16, 8, 0}, true},
        {16, 0x001F, 0x07E0, 0xF800, {5, 6, 5}, {0, 5, 11}, true},  // BGR: the per-channel loops
        {32, 0xFF, 0xFF00, 0xFF0000, {8, 8, 8}, {0, 8, 16}, false}, // red and blue swapped
        {32, 0x3FF00000, 0xFFC00, 0x3FF, {10, 10, 10}, {20, 10, 0}, false},
        {24, 0xFF0000, 0xFF00, 0xFF, {8, 8, 8}, {16, 8, 0}, false},
    };
    for (const auto& row : rows)
    {
        FormatDisplay display(TestFormat::k888);
        SetDisplayFormat(display, row.bpp, row.r, row.g, row.b, row.bits[0], row.bits[1], row.bits[2],
                         row.shifts[0], row.shifts[1], row.shifts[2]);
        display.PostInit();
        EXPECT_EQ(SurfaceFormatOk(display), row.ok) << std::hex << row.r << " " << row.g << " " << row.b;
    }
    FormatDisplay noTables(TestFormat::k565);
    noTables.mGreenAddTable.clear();
    EXPECT_FALSE(SurfaceFormatOk(noTables));
}

// --- States, locks and the software copy --------------------------------------------------

TEST(SDLImageStates, DrawsThatDrawNothingAndFailedLocksKeepThePixels)
{
    FormatDisplay display(TestFormat::k565);
    auto image = MakeSDLImage(&display, 2, 2, 0xFF123456u);
    image->FillRect(TRect<int>(0, 0, 2, 2), Color::White, 2); // unknown mode
    ASSERT_NE(image->GetBits(), nullptr);
    EXPECT_EQ(image->GetBits()[3], 0xFF123456u);
    image->mNoLock = true; // every surface draw refused
    image->DrawLine(0.0, 0.0, 1.0, 1.0, Color::White, 0);
    image->NormalFillRect(TRect<int>(0, 0, 2, 2), Color::White);
    image->mNoLock = false;
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(image->mBits[0], 0xFF123456u);
    FormatDisplay d888(TestFormat::k888);
    auto surfaceOnly = MakeSDLImage(&d888, 2, 2, 0xFF010203u);
    ASSERT_TRUE(surfaceOnly->GenerateDDSurface());
    surfaceOnly->DeleteAllNonSurfaceData();
    surfaceOnly->mNoLock = true;
    EXPECT_EQ(surfaceOnly->GetBits(), nullptr);
    // Draws from it find no pixels and draw nothing; DeleteDDSurface keeps the only copy.
    auto dest = MakeSDLImage(&d888, 2, 2, 0xFF000000u);
    dest->Blt(surfaceOnly.get(), 0, 0, TRect<int>(0, 0, 2, 2), Color(10, 20, 30), 0);
    surfaceOnly->DeleteDDSurface();
    EXPECT_TRUE(surfaceOnly->HasSurface());
    surfaceOnly->mNoLock = false;
    ASSERT_NE(surfaceOnly->GetBits(), nullptr);
    EXPECT_EQ(surfaceOnly->GetBits()[0], 0xFF010203u);
}

TEST(SDLImageStates, NestedLocksCountAndNeverGoBelowZero)
{
    FormatDisplay display(TestFormat::k565);
    auto image = MakeSDLImage(&display, 2, 2, 0xFFFFFFFFu);
    ASSERT_TRUE(image->GenerateDDSurface());
    EXPECT_TRUE(image->LockSurface());
    EXPECT_TRUE(image->LockSurface());
    EXPECT_EQ(image->mLockCount, 2);
    EXPECT_TRUE(image->UnlockSurface());
    EXPECT_EQ(image->mLockCount, 1);
    EXPECT_NE(image->mLockedBits, nullptr);
    EXPECT_TRUE(image->UnlockSurface());
    EXPECT_EQ(image->mLockCount, 0);
    EXPECT_FALSE(image->UnlockSurface());
    EXPECT_EQ(image->mLockCount, 0);
}

TEST(SDLImageStates, TranslucentImageGetsNoSurfaceAndFillsInSoftware)
{
    FormatDisplay display(TestFormat::k888);
    auto image = MakeSDLImage(&display, 2, 1, std::vector<uint32_t>{0xFF000000u, 0x80000000u});
    EXPECT_FALSE(image->GenerateDDSurface());
    image->FillRect(TRect<int>(0, 0, 1, 1), Color(0, 0, 255), 0);
    EXPECT_FALSE(image->HasSurface());
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(image->mBits[0], 0xFF0000FFu);
}

TEST(SDLImageStates, DeleteAllNonSurfaceDataWithoutSurfaceKeepsPixels)
{
    FormatDisplay display(TestFormat::k888);
    auto image = MakeSDLImage(&display, 1, 1, 0xFF445566u);
    image->DeleteAllNonSurfaceData(); // the pixels are the only copy
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(image->mBits[0], 0xFF445566u);
}

TEST(SDLImageStates, PalettesPurgesAndVideoMemory)
{
    TestApp app;
    FormatDisplay display(TestFormat::k888, &app);
    app.mDisplay = &display;
    const std::vector<uint32_t> pixels{0xFF112233u, 0xFF445566u};
    {
        SDLImage image(&display);
        image.SetBits(pixels.data(), 2, 1);
        image.MemoryImage::PurgeBits(); // pixels now only in the native form
        ASSERT_EQ(image.mBits, nullptr);
        ASSERT_TRUE(image.GenerateDDSurface());
        EXPECT_EQ(SurfaceWord(image, 1, 0), 0x445566u);
    }
    {
        SDLImage image(&display);
        image.SetBits(pixels.data(), 2, 1);
        ASSERT_TRUE(image.Palletize());
        ASSERT_TRUE(image.GenerateDDSurface());
        EXPECT_EQ(SurfaceWord(image, 0, 0), 0x112233u);
        image.Create(8, 8); // drops the old palette
        EXPECT_EQ(image.mPalette, nullptr);
        EXPECT_EQ(image.mPaletteIndices, nullptr);
        EXPECT_EQ(image.GetBits()[63], 0u);
    }
    app.mDisplay = nullptr;
    auto wanted = MakeSDLImage(&display, 2, 2, 0xFFFFFFFFu);
    wanted->mWantDDSurface = true;
    wanted->PurgeBits(); // keeps only the surface
    EXPECT_TRUE(wanted->HasSurface());
    EXPECT_EQ(wanted->mBits, nullptr);
    EXPECT_EQ(SurfaceWord(*wanted, 1, 1), 0xFFFFFFu);
    auto image = MakeSDLImage(&display, 2, 2, 0xFF0A0B0Cu);
    image->FillRect(TRect<int>(0, 0, 1, 1), Color(255, 255, 255), 0);
    ASSERT_EQ(image->mBits, nullptr);
    image->SetVideoMemory(false); // unchanged: nothing happens
    EXPECT_TRUE(image->HasSurface());
    image->SetVideoMemory(true); // keeps the pixels, drops the surface
    EXPECT_FALSE(image->HasSurface());
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(image->mBits[0], 0xFFFEFEFEu);
    EXPECT_EQ(image->mBits[3], 0xFF0A0B0Cu);
}

TEST(SDLImageStates, ScreenImageClearKeepsItsSurface)
{
    FormatDisplay display(TestFormat::k565);
    SDL_Surface* screen = SDL_CreateRGBSurface(0, 3, 2, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_NE(screen, nullptr);
    {
        SDLImage image(&display);
        image.SetSurface(screen);
        EXPECT_EQ(image.mWidth, 3);
        image.FillRect(TRect<int>(0, 0, 3, 2), Color::White, 0);
        EXPECT_EQ(SurfaceWord(image, 2, 1), 0xFFFFu);
        image.ClearRect(TRect<int>(1, 0, 2, 2));
        EXPECT_EQ(image.mSurface, screen);
        EXPECT_EQ(SurfaceWord(image, 0, 0), 0xFFFFu);
        EXPECT_EQ(SurfaceWord(image, 2, 1), 0u);
        image.Clear();
        EXPECT_EQ(SurfaceWord(image, 0, 0), 0u);
        // A software draw on it goes back into the screen surface.
        image.mDrawToBits = true;
        image.FillRect(TRect<int>(0, 0, 1, 1), Color::White, 0);
        EXPECT_EQ(image.mSurface, screen);
        EXPECT_EQ(SurfaceWord(image, 0, 0), 0xFFFFu);
        image.PurgeBits();
        EXPECT_EQ(image.mSurface, screen);
        image.ReleaseSurface();
        EXPECT_EQ(image.mSurface, nullptr);
    }
    SDL_FreeSurface(screen); // the image never freed it
}

// Drawn on through a Graphics and then reported changed, as the overlays of the main loop
// do: the surface holds the picture and must stay. Changed software pixels replace it.
TEST(SDLImageStates, BitsChangedKeepsASurfaceThatHoldsTheOnlyPixels)
{
    for (TestFormat f : kFormats)
    {
        FormatDisplay display(f);
        const SurfaceFormat format(display);
        SDLImage image(&display);
        image.Create(4, 2);
        image.SetImageMode(false, false);
        Graphics g(&image);
        g.SetColor(Color(0, 0, 255));
        g.FillRect(0, 0, 4, 2);
        g.SetColor(Color(255, 0, 0));
        g.FillRect(1, 1, 1, 1);
        ASSERT_TRUE(image.HasSurface()) << FormatName(f);
        image.BitsChanged();
        EXPECT_TRUE(image.HasSurface()) << FormatName(f);
        const uint32_t* bits = image.GetBits();
        ASSERT_NE(bits, nullptr);
        EXPECT_EQ(bits[0], format.ToArgb(format.FromArgb(0xFF0000FEu))) << FormatName(f);
        EXPECT_EQ(bits[5], format.ToArgb(format.FromArgb(0xFFFE0000u))) << FormatName(f);
        // Now both forms hold the pixels: a change to the software ones wins.
        image.GetBits()[0] = 0xFF00FF00u;
        image.BitsChanged();
        EXPECT_FALSE(image.HasSurface()) << FormatName(f);
        EXPECT_EQ(image.GetBits()[0], 0xFF00FF00u) << FormatName(f);
    }
}

TEST(SDLImageStates, SetSurfaceOnAnImageWithPixelsTakesTheSurfacesSizeAndPixels)
{
    FormatDisplay display(TestFormat::k565);
    SDL_Surface* screen = SDL_CreateRGBSurface(0, 64, 48, 16, 0xF800, 0x07E0, 0x001F, 0);
    ASSERT_NE(screen, nullptr);
    SDL_FillRect(screen, nullptr, 0xF800); // red
    {
        // Pixels, caches and a surface of its own, all 2 x 2.
        auto image = MakeSDLImage(&display, 2, 2, 0xFF0000FFu);
        ASSERT_NE(image->GetNativeAlphaData(&display), nullptr);
        ASSERT_TRUE(image->GenerateDDSurface());
        const int32_t changes = image->mBitsChangedCount;
        image->SetSurface(screen);
        EXPECT_EQ(image->mSurface, screen);
        EXPECT_NE(image->mBitsChangedCount, changes) << "textures made from the old pixels are stale";
        // Every pixel of the new size is there to read and draw on.
        const uint32_t* bits = image->GetBits();
        ASSERT_NE(bits, nullptr);
        EXPECT_EQ(bits[0], 0xFFF80000u);
        EXPECT_EQ(bits[64 * 48 - 1], 0xFFF80000u);
        image->mDrawToBits = true;
        image->FillRect(TRect<int>(0, 0, 64, 48), Color(0, 0, 255), 0);
        EXPECT_EQ(SurfaceWord(*image, 63, 47), 0x001Fu);
    }
    SDL_FreeSurface(screen);
}

// --- Lines ----------------------------------------------------------------------------------

TEST(SDLImageLines, HorizontalLineEqualsFillRectAndAdditiveAntiAliasingDrawsNothing)
{
    for (TestFormat f : kFormats)
        for (int mode = 0; mode < 2; ++mode)
        {
            FormatDisplay display(f);
            auto a = MakeSDLImage(&display, 8, 3, 0xFF204060u);
            auto b = MakeSDLImage(&display, 8, 3, 0xFF204060u);
            const Color c(200, 100, 50, 160);
            a->DrawLine(6.0, 1.0, 2.0, 1.0, c, mode);
            b->FillRect(TRect<int>(2, 1, 5, 1), c, mode);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 8; ++x)
                    EXPECT_EQ(SurfaceWord(*a, x, y), SurfaceWord(*b, x, y)) << FormatName(f) << x << "," << y;
        }
    FormatDisplay display(TestFormat::k565);
    auto image = MakeSDLImage(&display, 8, 8, 0xFF808080u);
    ASSERT_TRUE(image->GenerateDDSurface());
    const uint32_t before = SurfaceWord(*image, 3, 3);
    image->DrawLineAA(0.0, 0.0, 7.0, 6.0, Color::White, 1);
    EXPECT_EQ(SurfaceWord(*image, 3, 3), before);
}

TEST(SDLImageLines, AntiAliasedLevelLineBlendsElevenPixelsFully)
{
    // White is 0xFE per channel in the line colour; weight 255 keeps 254 x 255 / 256 = 0xFD.
    FormatDisplay display(TestFormat::k888);
    auto image = MakeSDLImage(&display, 24, 14, 0xFF000000u);
    image->NormalDrawLineAA(10.0, 10.0, 20.0, 10.0, Color(255, 255, 255));
    for (int x = 0; x < 24; ++x)
    {
        EXPECT_EQ(SurfaceWord(*image, x, 10) & 0xFFFFFF, (x >= 10 && x <= 20) ? 0xFDFDFDu : 0u) << x;
        EXPECT_EQ(SurfaceWord(*image, x, 11) & 0xFFFFFF, 0u) << x;
    }
}

TEST(SDLImageLines, AntiAliasedLinesWriteOnlyInsideTheirBoxWidenedByOne)
{
    // Each line's error carries once more than the whole pixels between its ends; lines
    // with both ends in one column (one running left, one with a start fraction) stay in it.
    const struct
    {
        double x1, y1, x2, y2;
        int left, top, right, bottom; // the box that may be written
    } rows[] = {
        {8.25, 8.0, 11.8125, 3.9375, 7, 2, 12, 9}, // steep, running left
        {10.125, 11.375, 11.9375, 2.5, 9, 1, 12, 12},
        {9.8125, 0.9375, 7.25, 7.6875, 6, 0, 10, 8},
        {0.9, 0.0, 0.1, 7.0, 0, 0, 0, 13},
        {2.875, 0.8125, 2.0, 2.0, 1, 0, 3, 13},
    };
    for (TestFormat f : kFormats)
        for (const auto& row : rows)
        {
            FormatDisplay display(f);
            auto image = MakeSDLImage(&display, 14, 14, 0xFF000000u);
            image->DrawLineAA(row.x1, row.y1, row.x2, row.y2, Color::White, 0);
            int drawn = 0;
            for (int y = 0; y < 14; ++y)
                for (int x = 0; x < 14; ++x)
                {
                    const bool inside = x >= row.left && x <= row.right && y >= row.top && y <= row.bottom;
                    drawn += SurfaceWord(*image, x, y) != 0;
                    EXPECT_EQ(SurfaceWord(*image, x, y), inside ? SurfaceWord(*image, x, y) : 0u)
                        << FormatName(f) << " " << row.x1 << "," << row.y1 << " at " << x << "," << y;
                }
            EXPECT_GT(drawn, 0);
        }
}

// --- Blit routes ----------------------------------------------------------------------------

// A source with every class of pixel: transparent, opaque and translucent runs.
std::vector<uint32_t> MixedPixels(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (auto& p : pixels)
    {
        const uint32_t kind = rng() % 4;
        const uint32_t rgb = rng() & 0xFFFFFF;
        p = kind == 0 ? rgb : (kind == 1 ? 0xFF000000u | rgb : ((1 + rng() % 254) << 24) | rgb);
    }
    return pixels;
}

TEST(SDLImageBlt, AlphaZeroPixelsAreUntouchedInEveryRouteAndFormat)
{
    const Color colors[] = {Color::White, Color(128, 128, 128, 200), Color(200, 100, 50)};
    const std::vector<uint32_t> srcPixels = MixedPixels(16, 6, 7);
    std::vector<uint32_t> opaque = MixedPixels(20, 8, 9);
    for (auto& p : opaque)
        p |= 0xFF000000u;
    for (TestFormat f : kFormats)
        for (const Color& c : colors)
            for (bool palette : {false, true})
                for (int mode = 0; mode < 2; ++mode)
                {
                    FormatDisplay display(f);
                    auto src = MakeSDLImage(&display, 16, 6, srcPixels);
                    ASSERT_TRUE(!palette || src->Palletize());
                    auto dest = MakeSDLImage(&display, 20, 8, opaque);
                    ASSERT_TRUE(dest->GenerateDDSurface());
                    std::vector<uint32_t> before;
                    for (int i = 0; i < 160; ++i)
                        before.push_back(SurfaceWord(*dest, i % 20, i / 20));
                    dest->Blt(src.get(), 2, 1, TRect<int>(1, 0, 15, 6), c, mode);
                    for (int j = 0; j < 6; ++j)
                        for (int i = 0; i < 15; ++i)
                        {
                            const uint32_t now = SurfaceWord(*dest, 2 + i, 1 + j);
                            const bool clear = (srcPixels[size_t(j) * 16 + size_t(i + 1)] >> 24) == 0;
                            EXPECT_EQ(now, clear ? before[size_t(1 + j) * 20 + size_t(2 + i)] : now)
                                << FormatName(f) << " mode " << mode << " palette " << palette;
                        }
                }
}

// Straight alpha in float: the colour scaled by the colour's factors over d.
double ReferenceChannel(uint32_t p, int k, const Color& c, double dUnits, int bits)
{
    const double maxv = double((1 << bits) - 1);
    const double a = double(p >> 24) / 255.0 * (c.mAlpha / 255.0);
    const int channel[3] = {c.mRed, c.mGreen, c.mBlue};
    const double s = double((p >> (16 - 8 * k)) & 0xFF) / 255.0 * channel[k] / 255.0 * maxv;
    return s * a + dUnits * (1.0 - a);
}

TEST(SDLImageBlt, AlphaRouteFollowsTheFloatReferenceWithinRounding)
{
    // White, grey, a colour and a translucent white each take a loop of their own, for
    // opaque runs (copied) and translucent ones (blended).
    const Color colors[] = {Color::White, Color(128, 128, 128), Color(200, 100, 50),
                            Color(255, 255, 255, 180)};
    const std::vector<uint32_t> srcPixels = MixedPixels(32, 8, 3);
    for (TestFormat f : kFormats)
        for (const Color& c : colors)
        {
            FormatDisplay display(f);
            auto src = MakeSDLImage(&display, 32, 8, srcPixels);
            auto dest = MakeSDLImage(&display, 32, 8, 0xFF6080A0u);
            ASSERT_TRUE(dest->GenerateDDSurface());
            const uint32_t d0 = SurfaceWord(*dest, 0, 0);
            dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 32, 8), c, 0);
            const int bits[3] = {display.mRedBits, display.mGreenBits, display.mBlueBits};
            // The premultiplied source and the destination's share each truncate once;
            // the packed 16-bit loops weigh the destination in 32 steps, not 256.
            const double tolerance = display.mBitsPerPixel == 32 ? 2.0 : 4.0;
            for (int i = 0; i < 32 * 8; ++i)
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(
                        Channel(display, SurfaceWord(*dest, i % 32, i / 32), k),
                        ReferenceChannel(srcPixels[size_t(i)], k, c, Channel(display, d0, k), bits[k]),
                        tolerance)
                        << FormatName(f) << " colour " << (&c - colors) << " pixel " << i << " channel " << k;
        }
}

TEST(SDLImageBlt, GreyPackedPathMatchesPerChannelPathExhaustively)
{
    // Every alpha against several destinations and grey levels: the packed grey loop and
    // the per-channel loop (a colour one step off grey) agree within rounding.
    std::vector<uint32_t> srcPixels;
    for (uint32_t a = 0; a < 256; ++a)
        srcPixels.push_back(a << 24 | 0xC08040u);
    for (TestFormat f : kFormats)
        for (int k : {40, 128, 255})
            for (uint32_t d : {0xFF000000u, 0xFF7F3F1Fu, 0xFFFFFFFFu})
            {
                FormatDisplay display(f);
                auto src = MakeSDLImage(&display, 256, 1, srcPixels);
                auto grey = MakeSDLImage(&display, 256, 1, d);
                auto chan = MakeSDLImage(&display, 256, 1, d);
                grey->Blt(src.get(), 0, 0, TRect<int>(0, 0, 256, 1), Color(k, k, k), 0);
                chan->Blt(src.get(), 0, 0, TRect<int>(0, 0, 256, 1), Color(k, k, k == 255 ? 254 : k + 1), 0);
                // The packed 16-bit form weighs in 32 steps: a 6-bit green may differ by 2.
                const double tolerance = display.mBitsPerPixel == 32 ? 1.0 : 2.0;
                for (int x = 0; x < 256; ++x)
                    for (int ch = 0; ch < 3; ++ch)
                        EXPECT_NEAR(Channel(display, SurfaceWord(*grey, x, 0), ch),
                                    Channel(display, SurfaceWord(*chan, x, 0), ch), tolerance)
                            << FormatName(f) << " k " << k << " a " << x << " channel " << ch;
            }
}

TEST(SDLImageBlt, OpaqueSourcesCopyDisplayFormatColoursAlsoInsideACallersLock)
{
    const std::vector<uint32_t> pixels{0xFF123456u, 0xFFFFFFFFu, 0xFF000000u, 0xFF80FF01u};
    for (TestFormat f : kFormats)
    {
        FormatDisplay display(f);
        const SurfaceFormat format(display);
        auto src = MakeSDLImage(&display, 4, 1, pixels);
        auto dest = MakeSDLImage(&display, 4, 1, 0xFF555555u);
        dest->Blt(src.get(), 0, 0, TRect<int>(0, 0, 4, 1), Color::White, 0);
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(SurfaceWord(*dest, x, 0) & 0xFFFFFF, format.FromArgb(pixels[size_t(x)]))
                << FormatName(f) << " " << x;
        // A source held only by its surface is copied by the platform.
        auto surfaceSrc = MakeSDLImage(&display, 2, 2, pixels);
        ASSERT_TRUE(surfaceSrc->GenerateDDSurface());
        surfaceSrc->DeleteAllNonSurfaceData();
        auto locked = MakeSDLImage(&display, 4, 4, 0xFF555555u);
        ASSERT_TRUE(locked->GenerateDDSurface());
        ASSERT_TRUE(locked->LockSurface());
        locked->Blt(surfaceSrc.get(), 1, 2, TRect<int>(0, 0, 2, 2), Color::White, 0);
        EXPECT_EQ(locked->mLockCount, 1);
        EXPECT_NE(locked->mLockedBits, nullptr);
        locked->UnlockSurface();
        EXPECT_EQ(SurfaceWord(*locked, 1, 2), format.FromArgb(pixels[0])) << FormatName(f);
        EXPECT_EQ(SurfaceWord(*locked, 2, 3), format.FromArgb(pixels[3])) << FormatName(f);
        EXPECT_EQ(SurfaceWord(*locked, 0, 0), format.FromArgb(0xFF555555u)) << FormatName(f);
        EXPECT_TRUE(surfaceSrc->mDrawn);
    }
}

TEST(SDLImageBlt, VolatileSourceDrawnFromItsPixelsMatchesTheCachedRoute)
{
    for (TestFormat f : kFormats)
    {
        FormatDisplay display(f);
        const std::vector<uint32_t> pixels = MixedPixels(24, 4, 11);
        auto cached = MakeSDLImage(&display, 24, 4, pixels);
        auto live = MakeSDLImage(&display, 24, 4, pixels);
        live->SetVolatile(true);
        auto a = MakeSDLImage(&display, 24, 4, 0xFF3070B0u);
        auto b = MakeSDLImage(&display, 24, 4, 0xFF3070B0u);
        a->Blt(cached.get(), 0, 0, TRect<int>(0, 0, 24, 4), Color::White, 0);
        b->Blt(live.get(), 0, 0, TRect<int>(0, 0, 24, 4), Color::White, 0);
        EXPECT_EQ(live->mNativeAlphaData, nullptr) << "no cache for a volatile source";
        for (int i = 0; i < 96; ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(Channel(display, SurfaceWord(*a, i % 24, i / 24), k),
                            Channel(display, SurfaceWord(*b, i % 24, i / 24), k),
                            display.mBitsPerPixel == 32 ? 2.0 : 3.0)
                    << FormatName(f) << " pixel " << i;
    }
}

TEST(SDLImageBlt, RunCutAtBothEndsAdditiveAndCoverageGoldenValues)
{
    FormatDisplay display(TestFormat::k888);
    // One translucent run of 10 pixels; blit columns 3..6 only.
    auto run = MakeSDLImage(&display, 10, 1, 0x80FFFFFFu);
    auto dest = MakeSDLImage(&display, 10, 1, 0xFF000000u);
    dest->Blt(run.get(), 3, 0, TRect<int>(3, 0, 4, 1), Color::White, 0);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(SurfaceWord(*dest, x, 0) & 0xFFFFFF, (x >= 3 && x <= 6) ? 0x808080u : 0u) << x;
    // Additive white adds unscaled and saturates; a grey colour scales by channel x 128 / 256.
    auto src = MakeSDLImage(&display, 2, 1, std::vector<uint32_t>{0xFF102030u, 0xFFF0F0F0u});
    auto sum = MakeSDLImage(&display, 2, 1, 0xFF203040u);
    sum->Blt(src.get(), 0, 0, TRect<int>(0, 0, 2, 1), Color::White, 1);
    EXPECT_EQ(SurfaceWord(*sum, 0, 0) & 0xFFFFFF, 0x305070u);
    EXPECT_EQ(SurfaceWord(*sum, 1, 0) & 0xFFFFFF, 0xFFFFFFu);
    auto half = MakeSDLImage(&display, 1, 1, 0xFF000000u);
    half->Blt(src.get(), 0, 0, TRect<int>(0, 0, 1, 1), Color(128, 128, 128), 1);
    EXPECT_EQ(SurfaceWord(*half, 0, 0) & 0xFFFFFF, 0x081018u);
    // White is 0xFE per channel; coverage 255 keeps 254 x 255 / 256 = 0xFD.
    auto cover = MakeSDLImage(&display, 2, 1, 0xFF000000u);
    Span span{0, 0, 2};
    const unsigned char coverage[2] = {255, 0};
    cover->FillScanLinesWithCoverage(&span, 1, Color(255, 255, 255), 0, coverage, 0, 0, 2, 1);
    EXPECT_EQ(SurfaceWord(*cover, 0, 0) & 0xFFFFFF, 0xFDFDFDu);
    EXPECT_EQ(SurfaceWord(*cover, 1, 0) & 0xFFFFFF, 0u);
}

TEST(SDLImageBlt, CoverageSpansEndingPastTheLargestColumnDrawOnlyWhatLiesOnTheImage)
{
    unsigned char coverage[128];
    std::fill(std::begin(coverage), std::end(coverage), 255);
    FormatDisplay display(TestFormat::k888);
    auto image = MakeSDLImage(&display, 8, 8, 0xFF000000u);
    ASSERT_TRUE(image->GenerateDDSurface());
    Span spans[2] = {Span{2, INT32_MAX - 2, 100}, Span{3, -5, 7}};
    image->FillScanLinesWithCoverage(spans, 2, Color(255, 255, 255), 0, coverage, -8, 0, 16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(SurfaceWord(*image, x, y) != 0, y == 3 && x < 2) << x << "," << y;
    // The screen of a 3D display: no temporary image can span that box.
    auto* renderer = new RecordingRenderer(&display);
    display.m3DInterface.reset(renderer);
    display.mIs3D = true;
    display.mScreenImage = image.get();
    Span far[2] = {Span{2, INT32_MAX - 2, 100}, Span{3, -5, 7}};
    image->FillScanLinesWithCoverage(far, 2, Color::White, 0, coverage, 0, 0, 8, 8);
    EXPECT_TRUE(renderer->mCalls.empty());
    display.mScreenImage = nullptr;
}

TEST(SDLImageBlt, DrawsWithoutSoftwareRouteFallBackWhenThereIsNoSurface)
{
    FormatDisplay display(TestFormat::k888);
    // A destination with a translucent pixel can never have a surface.
    auto dest = MakeSDLImage(&display, 4, 1,
                             std::vector<uint32_t>{0xFF000000u, 0xFF000000u, 0xFF000000u, 0x80000000u});
    auto src = MakeSDLImage(&display, 3, 1, std::vector<uint32_t>{0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u});
    dest->BltMirror(src.get(), 0, 0, TRect<int>(0, 0, 3, 1), Color::White, 0);
    // The software blitter keeps 255 x 255 / 256 of an opaque channel.
    ASSERT_NE(dest->mBits, nullptr);
    EXPECT_EQ(dest->mBits[0], 0xFFFE0000u);
    EXPECT_EQ(dest->mBits[2], 0xFF0000FEu);
    Span spans[1] = {Span{0, 0, 3}};
    const unsigned char coverage[3] = {0, 0, 0};
    dest->FillScanLinesWithCoverage(spans, 1, Color(0, 0, 0), 0, coverage, 0, 0, 3, 1);
    dest->StretchBltMirror(src.get(), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 3, 1),
                           Color::White, 0, true);
    EXPECT_EQ(dest->mBits[0], 0xFFFE0000u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 3, 1),
                     Color::White, 0, true);
    dest->BltMatrix(src.get(), 0, 0, VaxoMatrix3(), TRect<int>(0, 0, 3, 1), Color::White, 0,
                    TRect<int>(0, 0, 3, 1), false);
    EXPECT_FALSE(dest->HasSurface());
    ASSERT_NE(dest->mBits, nullptr) << "the only copy of the pixels survives";
    EXPECT_EQ(dest->mBits[0], 0xFF0000FEu);
    EXPECT_EQ(dest->mBits[1], 0xFF00FE00u);
    EXPECT_EQ(dest->mBits[3], 0x80000000u);
}

TEST(SDLImageRoutes, ScreenOf3DDisplaySendsEveryCallToTheRenderer)
{
    FormatDisplay display(TestFormat::k888);
    auto* renderer = new RecordingRenderer(&display);
    display.m3DInterface.reset(renderer);
    display.mIs3D = true;
    SDL_Surface* screen = SDL_CreateRGBSurface(0, 8, 8, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    display.mScreenImage = new SDLImage(&display);
    display.mScreenImage->SetSurface(screen);
    SDLImage& s = *display.mScreenImage;
    auto src = MakeSDLImage(&display, 4, 4, 0x80FFFFFFu);
    const TRect<int> r(0, 0, 4, 4);
    EXPECT_TRUE(s.Is3D());
    EXPECT_FALSE(s.LockSurface());
    s.FillRect(r, Color::White, 0);
    s.DrawLine(0, 0, 3, 2, Color::White, 0);
    s.Blt(src.get(), 0, 0, r, Color::White, 0);
    s.BltF(src.get(), 0.5f, 0.5f, r, TRect<int>(0, 0, 8, 8), Color::White, 0);
    s.BltF(src.get(), 6.5f, 0.5f, r, TRect<int>(0, 0, 8, 8), Color::White, 0);
    s.BltRotated(src.get(), 0, 0, r, TRect<int>(0, 0, 8, 8), Color::White, 0, 1.0, 0, 0);
    s.StretchBlt(src.get(), r, r, r, Color::White, 0, false);
    s.StretchBltMirror(src.get(), r, r, r, Color::White, 0, false);
    s.BltMirror(src.get(), 0, 0, r, Color::White, 0);
    s.ClearRect(r);
    EXPECT_TRUE(s.PolyFill3D(nullptr, 0, &r, Color::White, 0, 0, 0, true));
    s.BltMatrix(src.get(), 1.0f, 1.0f, VaxoMatrix3(), r, Color::White, 0, r, true);
    const TriVertex tri[1][3] = {};
    s.BltTrianglesTex(src.get(), tri, 1, r, Color::White, 0, 0.0f, 0.0f, true);
    s.DrawLineAA(0, 0, 3, 2, Color::White, 0);
    // A coverage fill is drawn into a temporary image, which is then blitted.
    Span spans[2] = {Span{2, 3, 2}, Span{3, 1, 4}};
    const unsigned char coverage[64] = {};
    s.FillScanLinesWithCoverage(spans, 2, Color::White, 0, coverage, 0, 0, 8, 8);
    EXPECT_EQ(spans[0].mX, 2) << "spans are moved to the temporary image's corner";
    EXPECT_EQ(spans[1].mY, 1);
    const std::vector<std::string> expected{
        "FillRect",         "DrawLine",         "Blt",       "Blt",      "BltClipF", "BltRotated",
        "StretchBlt",       "StretchBltMirror", "BltMirror", "FillRect", "FillPoly", "BltTransformed",
        "DrawTrianglesTex", "DrawLine",         "Blt"};
    EXPECT_EQ(renderer->mCalls, expected);
    // Another image with a surface draws itself; one without takes the software route.
    auto other = MakeSDLImage(&display, 4, 4, 0xFF000000u);
    ASSERT_TRUE(other->GenerateDDSurface());
    EXPECT_FALSE(other->Is3D());
    other->FillRect(r, Color::White, 0);
    EXPECT_EQ(SurfaceWord(*other, 0, 0), 0xFEFEFEu);
    auto plain = MakeSDLImage(&display, 4, 4, 0xFF000000u);
    plain->Blt(src.get(), 0, 0, r, Color::White, 0);
    EXPECT_FALSE(plain->HasSurface());
    EXPECT_EQ(renderer->mCalls.size(), expected.size());
    delete display.mScreenImage;
    display.mScreenImage = nullptr;
    SDL_FreeSurface(screen);
}

// --- Stretching and rotation -------------------------------------------------------------------

TEST(SDLImageStretch, FastStretchCopiesAtEqualSizeAndScalesAtDouble)
{
    const std::vector<uint32_t> opaque{0xFF102030u, 0xFF405060u, 0xFF708090u,
                                       0xFFA0B0C0u, 0xFFD0E0F0u, 0xFF000000u};
    for (TestFormat f : kFormats)
        for (bool surfaceSource : {true, false})
        {
            FormatDisplay display(f);
            const SurfaceFormat format(display);
            auto src = MakeSDLImage(&display, 3, 2, opaque);
            ASSERT_TRUE(!surfaceSource || src->GenerateDDSurface());
            auto dest = MakeSDLImage(&display, 5, 4, 0xFFFFFFFFu);
            dest->StretchBlt(src.get(), TRect<int>(1, 1, 3, 2), TRect<int>(0, 0, 3, 2),
                             TRect<int>(0, 0, 5, 4), Color::White, 0, true);
            for (int i = 0; i < 6; ++i)
                EXPECT_EQ(SurfaceWord(*dest, 1 + i % 3, 1 + i / 3) & 0xFFFFFF,
                          format.FromArgb(opaque[size_t(i)]))
                    << FormatName(f) << " surface " << surfaceSource;
            EXPECT_EQ(SurfaceWord(*dest, 0, 0) & 0xFFFFFF, format.FromArgb(0xFFFFFFFFu));
        }
    FormatDisplay display(TestFormat::k888);
    auto src = MakeSDLImage(&display, 2, 1, std::vector<uint32_t>{0xFF0000FFu, 0xFFFF0000u});
    ASSERT_TRUE(src->GenerateDDSurface());
    auto dest = MakeSDLImage(&display, 4, 2, 0xFF000000u);
    dest->StretchBlt(src.get(), TRect<int>(0, 0, 4, 2), TRect<int>(0, 0, 2, 1), TRect<int>(0, 0, 4, 2),
                     Color::White, 0, true);
    const uint32_t expected[4] = {0xFFu, 0xFFu, 0xFF0000u, 0xFF0000u};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(SurfaceWord(*dest, i % 4, i / 4) & 0xFFFFFF, expected[i % 4]) << i;
}

TEST(SDLImageStretch, FastStretchOfARectangleFarPastTheSourceSamplesItsLastPixel)
{
    // Start and width each within the 16.16 range, their sum not: the step must not wrap
    // back to the first column (or overflow).
    FormatDisplay display(TestFormat::k888);
    std::vector<uint32_t> pixels(16, 0xFF0000FFu); // blue, the last row and column red
    for (size_t i = 0; i < 4; ++i)
        pixels[i * 4 + 3] = pixels[12 + i] = 0xFFFF0000u;
    auto src = MakeSDLImage(&display, 4, 4, pixels);
    for (bool mirror : {false, true})
    {
        auto dest = MakeSDLImage(&display, 64, 64, 0xFF000000u);
        const TRect<int> destRect(0, 0, 64, 64), srcRect(29000, 29000, 29000, 29000);
        if (mirror)
            dest->StretchBltMirror(src.get(), destRect, srcRect, destRect, Color::White, 0, true);
        else
            dest->StretchBlt(src.get(), destRect, srcRect, destRect, Color::White, 0, true);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(SurfaceWord(*dest, x, y) & 0xFFFFFF, 0xFF0000u)
                    << mirror << " at " << x << "," << y;
    }
}

TEST(SDLImageStretch, MirrorsFlipLeftToRightAlsoHangingOffEitherEdge)
{
    // The blue channel numbers the source columns 1, 2, 3; 0 is the background.
    const struct
    {
        bool stretch, fast;
        int x;
        uint32_t expected[3];
    } cases[] = {
        {true, false, 0, {3, 2, 1}},  {true, true, 0, {3, 2, 1}},
        {false, false, 0, {3, 2, 1}}, {false, false, -1, {2, 1, 0}}, // the source's last column falls outside
        {false, false, 1, {0, 3, 2}}, // the source's first column falls outside
    };
    FormatDisplay display(TestFormat::k888);
    auto src = MakeSDLImage(&display, 3, 1, std::vector<uint32_t>{0xFF000001u, 0xFF000002u, 0xFF000003u});
    for (const auto& c : cases)
        for (int mode = 0; mode < 2; ++mode)
        {
            auto dest = MakeSDLImage(&display, 3, 1, 0xFF000000u);
            if (c.stretch)
                dest->StretchBltMirror(src.get(), TRect<int>(0, 0, 3, 1), TRect<int>(0, 0, 3, 1),
                                       TRect<int>(0, 0, 3, 1), Color::White, mode, c.fast);
            else
                dest->BltMirror(src.get(), c.x, 0, TRect<int>(0, 0, 3, 1), Color::White, mode);
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(SurfaceWord(*dest, x, 0) & 0xFF, c.expected[x])
                    << c.stretch << c.fast << c.x << mode;
        }
}

TEST(SDLImageStretch, RotationByZeroReproducesTheSourceAndAdditiveScalesBy255Over256)
{
    for (TestFormat f : kFormats)
    {
        FormatDisplay display(f);
        std::vector<uint32_t> pixels;
        for (int i = 0; i < 36; ++i)
            pixels.push_back(0xFF000000u | uint32_t(i * 7) << 16 | uint32_t(255 - i * 5) << 8 |
                             uint32_t(i * 3));
        auto src = MakeSDLImage(&display, 6, 6, pixels);
        auto dest = MakeSDLImage(&display, 8, 8, 0xFF000000u);
        // BltF is the rotation loop at angle 0.
        dest->BltF(src.get(), 1.0f, 1.0f, TRect<int>(0, 0, 6, 6), TRect<int>(0, 0, 8, 8), Color::White, 0);
        const SurfaceFormat format(display);
        // Every source pixel, edges included; the odd fractions keep 65534/65536 of the
        // pixel: 250 becomes 248.
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 6; ++i)
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(Channel(display, SurfaceWord(*dest, 1 + i, 1 + j), k),
                                Channel(display, format.FromArgb(pixels[size_t(j * 6 + i)]), k), 2.0)
                        << FormatName(f) << " " << i << "," << j;
    }
    FormatDisplay display(TestFormat::k888);
    auto grey = MakeSDLImage(&display, 4, 4, 0xFF808080u);
    auto dest = MakeSDLImage(&display, 6, 6, 0xFF000000u);
    dest->BltRotated(grey.get(), 1.0f, 1.0f, TRect<int>(0, 0, 4, 4), TRect<int>(0, 0, 6, 6), Color::White, 1,
                     0.0, 0.0f, 0.0f);
    EXPECT_NEAR(double(SurfaceWord(*dest, 2, 2) & 0xFF), 0x7F, 1.0);
}

// Whether the centre of destination pixel (X, Y) lands inside a w x h source, by the
// loop's mapping: (X, Y) samples source coordinates (u, v), pixel i centred on i. Within
// band pixels of an edge either answer is taken (-1), else 1 inside, 0 outside.
int CentreInside(int X, int Y, float x, float y, double angle, float cx, float cy, int w, int h, double band)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double dx = X - cx - x, dy = Y - cy - y;
    const double u = c * dx - s * dy + cx, v = s * dx + c * dy + cy;
    const double nearest = std::min({u + 0.5, w - 0.5 - u, v + 0.5, h - 0.5 - v}); // above 0 inside
    return std::fabs(nearest) < band ? -1 : int(nearest > 0);
}

TEST(SDLImageStretch, RotationDrawsEveryPixelWhoseCentreMapsInsideTheSource)
{
    // The 6 x 4 source rectangle at (3, 2) green, the rest of the image red: red must never
    // arrive, so the edge pixels take their missing neighbours from the rectangle's own
    // edge. The clip rectangle (1, 2, 17, 16) cuts some of the draws.
    std::vector<uint32_t> pixels(16 * 12, 0xFFFF0000u);
    for (int i = 0; i < 24; ++i)
        pixels[size_t((2 + i / 6) * 16 + 3 + i % 6)] = 0xFF00FF00u;
    const TRect<int> clip(1, 2, 17, 16);
    // x, y, angle, centre x, centre y.
    const double draws[][5] = {{4, 5, 0, 0, 0},       {1.5, 3.5, 0, 0, 0},      {6.75, 4.25, 0, 0, 0},
                               {0.2, 1.6, 0, 0, 0},   {13.4, 15.9, 0, 0, 0},    {7, 8, 0.45, 3, 2},
                               {9.6, 6.2, 1.9, 0, 0}, {8, 9, -0.8, 2.5, 1.5},   {5, 7, -M_PI / 2, 3, 2},
                               {9, 9, M_PI, 0, 0},    {6.3, 8.8, 3.7, 1, 2.75}, {14, 3, 5.5, 3, 2}};
    for (TestFormat f : {TestFormat::k888, TestFormat::k565})
    {
        FormatDisplay display(f);
        auto src = MakeSDLImage(&display, 16, 12, pixels);
        for (int mode = 0; mode < 2; ++mode)
            for (const auto& r : draws)
            {
                const float x = float(r[0]), y = float(r[1]), cx = float(r[3]), cy = float(r[4]);
                auto dest = MakeSDLImage(&display, 20, 20, 0xFF000000u);
                dest->BltRotated(src.get(), x, y, TRect<int>(3, 2, 6, 4), clip, Color::White, mode, r[2], cx,
                                 cy);
                for (int Y = 0; Y < 20; ++Y)
                    for (int X = 0; X < 20; ++X)
                    {
                        const uint32_t p = SurfaceWord(*dest, X, Y);
                        const auto where = [&]
                        {
                            return std::string(FormatName(f)) + " mode " + std::to_string(mode) + " at " +
                                   std::to_string(X) + "," + std::to_string(Y) + " angle " +
                                   std::to_string(r[2]);
                        };
                        ASSERT_EQ(p & display.mRedMask, 0u) << where();
                        const int in =
                            clip.Contains(X, Y) ? CentreInside(X, Y, x, y, r[2], cx, cy, 6, 4, 1e-3) : 0;
                        if (in >= 0)
                        {
                            ASSERT_EQ((p & display.mGreenMask) != 0, in == 1) << where();
                        }
                    }
            }
    }
}

TEST(SDLImageStretch, RotationNeverReadsOutsideTheSourceRectangle)
{
    // Inside the rectangle green, around it red: no red may reach the destination.
    FormatDisplay display(TestFormat::k888);
    std::vector<uint32_t> pixels(20 * 20, 0xFFFF0000u);
    for (int y = 5; y < 15; ++y)
        for (int x = 4; x < 16; ++x)
            pixels[size_t(y * 20 + x)] = 0xFF00FF00u;
    auto src = MakeSDLImage(&display, 20, 20, pixels);
    for (double angle = -7.0; angle < 7.0; angle += 0.37)
        for (int mode = 0; mode < 2; ++mode)
        {
            auto dest = MakeSDLImage(&display, 40, 40, 0xFF000000u);
            dest->BltRotated(src.get(), 13.3f, 11.7f, TRect<int>(4, 5, 12, 10), TRect<int>(0, 0, 40, 40),
                             Color::White, mode, angle, 6.0f, 5.0f);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x)
                    ASSERT_EQ(SurfaceWord(*dest, x, y) & 0xFF0000, 0u) << angle << " at " << x << "," << y;
        }
}

} // namespace
} // namespace Vaxo
