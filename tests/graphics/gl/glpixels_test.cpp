// The OpenGL renderer's pixels on a real context (Mesa llvmpipe under Xvfb at depth 24),
// compared with the software blitters and with where the transforms put them. Skipped when
// VAXO_DISPLAY_24 is unset.
#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/GLTestContext.h"
#include "graphics/gl/support/GLTestUtil.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace Vaxo
{
namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;

int MaxChannelDifference(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

class GLPixels : public ::testing::Test
{
protected:
    // Why the context could not be made; empty when it was.
    static std::string sError;

    static void SetUpTestSuite()
    {
        if (GLTestContext::Requested("VAXO_DISPLAY_24"))
            sError = GLTestContext::Open("VAXO_DISPLAY_24", kWidth, kHeight);
    }
    static void TearDownTestSuite()
    {
        if (GLTestContext::Requested("VAXO_DISPLAY_24") && sError.empty())
            GLTestContext::Close();
    }

    std::unique_ptr<GLTestRenderer> mR;

    void SetUp() override
    {
        if (!GLTestContext::Requested("VAXO_DISPLAY_24"))
            GTEST_SKIP() << "VAXO_DISPLAY_24 is not set";
        ASSERT_EQ(sError, "");
        mR = std::make_unique<GLTestRenderer>(kWidth, kHeight);
        renderer().FillRect(TRect<int>(0, 0, kWidth, kHeight), Color(0, 0, 0), 0);
    }
    void TearDown() override
    {
        if (mR)
            renderer().Flush(true);
    }

    GL3DInterface& renderer() { return *mR->mRenderer; }
    GraphicsApp* app() { return &mR->mApp; }

    // Texels of one texture, as 0xAARRGGBB.
    static std::vector<uint32_t> TextureTexels(uint32_t name, int width, int height)
    {
        std::vector<uint32_t> texels(size_t(width) * size_t(height));
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, texels.data());
        glBindTexture(GL_TEXTURE_2D, gCurTexture);
        return texels;
    }

    // A w x h image of four flat quadrants: top-left red, top-right green, bottom-left
    // blue, bottom-right white.
    std::unique_ptr<MemoryImage> Quadrants(int w, int h)
    {
        auto image = std::make_unique<MemoryImage>(app());
        image->Create(w, h);
        uint32_t* bits = image->GetBits();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bits[y * w + x] =
                    y < h / 2 ? (x < w / 2 ? 0xFFFF0000 : 0xFF00FF00) : (x < w / 2 ? 0xFF0000FF : 0xFFFFFFFF);
        image->BitsChanged();
        return image;
    }

    uint32_t PixelAt(int x, int y) { return GLTestContext::ReadPixels(x, y, 1, 1)[0]; }
};

std::string GLPixels::sError;

TEST_F(GLPixels, IntegerBltMatchesTheSoftwareBltOpaqueExactlyBlendedWithinTwo)
{
    constexpr int w = 37, h = 23;
    auto image = std::make_unique<MemoryImage>(app());
    image->Create(w, h);
    uint32_t* bits = image->GetBits();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const uint32_t alphas[4] = {255, 128, 37, 0};
            bits[y * w + x] = (alphas[(x + y) % 4] << 24) | (PatternPixel(x * 5, y * 9) & 0xFFFFFF);
        }
    image->BitsChanged();
    const Color background(40, 80, 120);
    MemoryImage software(app());
    software.Create(100, 60);
    software.FillRect(TRect<int>(0, 0, 100, 60), background, 0);
    software.CommitBits(); // an opaque destination, as the screen is: the straight-copy path
    software.Blt(image.get(), 10, 20, TRect<int>(0, 0, w, h), Color::White, 0);
    renderer().FillRect(TRect<int>(0, 0, 100, 60), background, 0);
    renderer().Blt(image.get(), 10, 20, TRect<int>(0, 0, w, h), Color::White, 0, false);
    const std::vector<uint32_t> screen = GLTestContext::ReadPixels(0, 0, 100, 60);
    const uint32_t* expected = software.GetBits();
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
        {
            const bool inside = x >= 10 && x < 10 + w && y >= 20 && y < 20 + h;
            const uint32_t alpha = inside ? bits[(y - 20) * w + (x - 10)] >> 24 : 255;
            const int tolerance = (alpha == 255 || alpha == 0) ? 0 : 2;
            ASSERT_LE(MaxChannelDifference(screen[y * 100 + x], expected[y * 100 + x]), tolerance)
                << x << "," << y << " alpha " << alpha << std::hex << " gl " << screen[y * 100 + x] << " sw "
                << expected[y * 100 + x];
        }
}

TEST_F(GLPixels, ABltAcrossAPieceBoundaryShowsNoSeam)
{
    auto image = PatternImage(app(), 300, 40); // pieces 256 and 64 wide
    for (bool linear : {false, true})
    {
        renderer().Blt(image.get(), 5, 7, TRect<int>(0, 0, 300, 40), Color::White, 0, linear);
        ASSERT_EQ(static_cast<GLTextureData*>(image->m3DData)->mTextures.size(), 2u);
        EXPECT_EQ(PatternMismatch(GLTestContext::ReadPixels(5, 7, 300, 40).data(), 300, 40), "")
            << "linear " << linear;
    }
}

TEST_F(GLPixels, MirrorStretchAndRotationLandWhereTheTransformsSay)
{
    auto image = Quadrants(32, 32);
    const TRect<int> src(0, 0, 32, 32);
    const uint32_t red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF, white = 0xFFFFFFFF;
    // The centres of the quadrants of a w x h area at (left, top), clockwise from top-left.
    auto expectQuadrants = [&](int left, int top, int w, int h, std::vector<uint32_t> colours)
    {
        EXPECT_EQ(std::vector<uint32_t>(
                      {PixelAt(left + w / 4, top + h / 4), PixelAt(left + 3 * w / 4, top + h / 4),
                       PixelAt(left + 3 * w / 4, top + 3 * h / 4), PixelAt(left + w / 4, top + 3 * h / 4)}),
                  colours)
            << "at " << left << "," << top;
    };
    renderer().BltMirror(image.get(), 100, 100, src, Color::White, 0, false);
    expectQuadrants(100, 100, 32, 32, {green, red, blue, white});
    renderer().StretchBlt(image.get(), TRect<int>(200, 100, 64, 32), src, nullptr, Color::White, 0, true,
                          true);
    expectQuadrants(200, 100, 64, 32, {green, red, blue, white});
    EXPECT_EQ(PixelAt(198, 108), 0xFF000000u); // nothing left or right of the stretched area
    EXPECT_EQ(PixelAt(266, 108), 0xFF000000u);
    // A quarter turn about the centre: (1, 0) goes to (0, -1), so right becomes up.
    renderer().BltRotated(image.get(), 300, 100, nullptr, Color::White, 0, M_PI / 2, 16, 16, src);
    expectQuadrants(300, 100, 32, 32, {green, white, blue, red});
}

TEST_F(GLPixels, MultiPieceTrianglesEqualTheSingleTextureOnesWithinOne)
{
    constexpr int w = 300, h = 140;
    auto make = [&](uint32_t flags)
    {
        auto image = std::make_unique<MemoryImage>(app());
        image->Create(w, h);
        uint32_t* bits = image->GetBits();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bits[y * w + x] = 0xFF000000u | uint32_t(x * 255 / (w - 1)) << 16 |
                                  uint32_t(y * 255 / (h - 1)) << 8 | uint32_t((x + y) & 0xFF);
        image->BitsChanged();
        image->m3DFlags = flags;
        return image;
    };
    auto pieces = make(0);
    auto single = make(kTexFlagPowerOfTwo);
    // Two triangles over the image with a slanted seam, drawn at y 0 and y 200.
    auto draw = [&](MemoryImage* image, float top)
    {
        const TriVertex tris[2][3] = {
            {TriVertex(0, top, 0, 0), TriVertex(w, top, 1, 0), TriVertex(0, top + h, 0, 1)},
            {TriVertex(w, top, 1, 0), TriVertex(w, top + h, 1, 1), TriVertex(0, top + h, 0, 1)}};
        renderer().DrawTrianglesTex(tris, 2, Color::White, 0, image, 0, 0, false);
    };
    draw(pieces.get(), 0);
    draw(single.get(), 200);
    ASSERT_EQ(static_cast<GLTextureData*>(pieces->m3DData)->mTextures.size(), 4u);
    ASSERT_EQ(static_cast<GLTextureData*>(single->m3DData)->mTextures.size(), 1u);
    const std::vector<uint32_t> a = GLTestContext::ReadPixels(0, 0, w, h);
    const std::vector<uint32_t> b = GLTestContext::ReadPixels(0, 200, w, h);
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_LE(MaxChannelDifference(a[i], b[i]), 1) << i % w << "," << i / w;
}

TEST_F(GLPixels, AdditiveModeSaturates)
{
    auto image = ExactImage(16, 16, 0xFF646414u, app());
    image->BitsChanged();
    renderer().FillRect(TRect<int>(0, 0, 64, 64), Color(200, 100, 10), 0);
    renderer().Blt(image.get(), 8, 8, TRect<int>(0, 0, 16, 16), Color::White, 1, false);
    EXPECT_EQ(PixelAt(10, 10), 0xFFFFC81Eu); // 255 (saturated), 200, 30
    EXPECT_EQ(PixelAt(30, 30), 0xFFC8640Au); // untouched
}

TEST_F(GLPixels, UploadsHoldThePixelsAndTheRepeatedBorderInEitherByteOrder)
{
    for (bool bgra : {true, false})
    {
        gHasBGRExtension = bgra;                   // off: the red-blue swap path
        auto image = PatternImage(app(), 100, 50); // one 128 x 64 texture
        renderer().Blt(image.get(), 0, 0, TRect<int>(0, 0, 100, 50), Color::White, 0, false);
        const GLTextureData* data = static_cast<GLTextureData*>(image->m3DData);
        ASSERT_EQ(data->mTextures.size(), 1u);
        const std::vector<uint32_t> t = TextureTexels(data->mTextures[0].mTexture, 128, 64);
        EXPECT_EQ(PatternMismatch(t.data(), 100, 50, 128), "") << "bgra " << bgra;
        for (int y = 0; y < 50; ++y)
            ASSERT_EQ(t[y * 128 + 100], PatternPixel(99, y)) << "column border " << y;
        for (int x = 0; x <= 100; ++x)
            ASSERT_EQ(t[50 * 128 + x], PatternPixel(std::min(x, 99), 49)) << "row border " << x;
    }
}

TEST_F(GLPixels, APaletteImageIsUploadedWithoutUnpalettizing)
{
    auto image = std::make_unique<MemoryImage>(app());
    image->Create(20, 10);
    uint32_t* bits = image->GetBits();
    const uint32_t colours[3] = {0xFF102030, 0x80FF8000, 0x00000000};
    for (int i = 0; i < 200; ++i)
        bits[i] = colours[i % 3];
    image->BitsChanged();
    ASSERT_TRUE(image->Palletize());
    renderer().Blt(image.get(), 0, 0, TRect<int>(0, 0, 20, 10), Color::White, 0, false);
    EXPECT_EQ(image->mBits, nullptr);
    ASSERT_NE(image->mPaletteIndices, nullptr);
    const GLTextureData* data = static_cast<GLTextureData*>(image->m3DData);
    const std::vector<uint32_t> t = TextureTexels(data->mTextures[0].mTexture, 32, 16);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(t[(i / 20) * 32 + i % 20], colours[i % 3]) << i;
}

TEST_F(GLPixels, APurgedImageSurvivesANewContextWithItsPixels)
{
    auto image = PatternImage(app(), 300, 140);
    image->mPurgeBits = true;
    renderer().Blt(image.get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0, false);
    ASSERT_EQ(image->mBits, nullptr);
    renderer().Flush(true);
    // What the display does when it switches modes: clean up under the image mutex, set a
    // new video mode, start the renderer again.
    {
        ImageMutexLock lock(app());
        renderer().Cleanup();
    }
    ASSERT_EQ(GLTestContext::Reopen(kWidth, kHeight), "");
    ASSERT_TRUE(renderer().Init());
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(PatternMismatch(image->mBits, 300, 140), "");
    renderer().FillRect(TRect<int>(0, 0, kWidth, kHeight), Color(0, 0, 0), 0);
    renderer().Blt(image.get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0, false);
    EXPECT_EQ(image->mBits, nullptr); // purged again once the new textures hold it
    EXPECT_EQ(PatternMismatch(GLTestContext::ReadPixels(0, 0, 300, 140).data(), 300, 140), "");
}

TEST_F(GLPixels, APurgeKeepsPixelsChangedSinceTheTexturesWereFilled)
{
    auto image = PatternImage(app(), 64, 32);
    const TRect<int> all(0, 0, 64, 32);
    renderer().Blt(image.get(), 0, 0, all, Color::White, 0, false);
    ASSERT_NE(image->m3DData, nullptr);
    // Drawn on in software after the upload: the textures still hold the old pixels.
    image->FillRect(TRect<int>(8, 4, 16, 8), Color(10, 200, 30), 0);
    const std::vector<uint32_t> changed(image->GetBits(), image->GetBits() + 64 * 32);
    ASSERT_EQ(changed[size_t(5 * 64 + 9)], 0xFF0AC81Eu);
    image->PurgeBits();
    ASSERT_NE(image->mBits, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(image->mBits, image->mBits + 64 * 32), changed);
    renderer().Blt(image.get(), 0, 0, all, Color::White, 0, false);
    EXPECT_EQ(GLTestContext::ReadPixels(0, 0, 64, 32), changed);
    // Once the textures hold the change the purge goes ahead, and the pixels come back.
    image->PurgeBits();
    EXPECT_EQ(image->mBits, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(image->GetBits(), image->GetBits() + 64 * 32), changed);
}

} // namespace
} // namespace Vaxo
