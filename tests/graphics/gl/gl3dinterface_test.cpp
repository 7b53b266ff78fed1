// The OpenGL renderer against the recording fake: start-up, frames, draw modes, the
// operations' vertices, and the life of image textures.
#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/GLFakeRenderer.h"
#include "graphics/support/SDLImageTestUtil.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <tuple>

namespace Vaxo
{
namespace
{

class GLRenderer : public ::testing::Test
{
protected:
    GLFakeRenderer mR;
    FakeGL& gl() { return *mR.mGL; }
    GL3DInterface& renderer() { return *mR.mRenderer; }
    std::unique_ptr<MemoryImage> Pattern(int32_t w, int32_t h) { return PatternImage(&mR.mApp, w, h); }
    GLTextureData* Data(MemoryImage& image) { return static_cast<GLTextureData*>(image.m3DData); }
    // The whole image at (0, 0), normal mode, nearest filtering.
    void Draw(MemoryImage* image)
    {
        renderer().Blt(image, 0, 0, TRect<int>(0, 0, image->mWidth, image->mHeight), Color::White, 0, false);
    }
};

TEST(GLRendererInit, ReadsLimitsRedrawsEveryFrameAndNeedsAnOpenGLMode)
{
    const struct
    {
        const char* name;
        GLint maxTexture;
        const char* extensions; // null: the driver returns none
        int32_t max, min, aspect;
        bool bgr, edge;
    } cases[] = {
        {"usual driver (limit clamped)", 2048, "GL_ARB_multitexture GL_EXT_bgra GL_EXT_texture_edge_clamp",
         1024, 1, 65536, true, true},
        {"no texture size", 0, "", 64, 64, 1, false, false},
        {"null extension string", 2048, nullptr, 1024, 1, 65536, false, false},
        {"SGIS edge clamp", 2048, "GL_SGIS_texture_edge_clamp", 1024, 1, 65536, false, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        GLFakeRenderer r(false);
        gHasBGRExtension = gHasEdgeClampExtension = true;
        r.mGL->mMaxTextureSize = c.maxTexture;
        r.mGL->mNullExtensions = !c.extensions;
        r.mGL->mExtensions = c.extensions ? c.extensions : "GL_EXT_bgra";
        ASSERT_TRUE(r.mRenderer->Init());
        EXPECT_EQ(std::make_tuple(TextureData::mMaxTextureWidth, TextureData::mMaxTextureHeight,
                                  TextureData::mMinTextureWidth, TextureData::mMinTextureHeight,
                                  TextureData::mMaxTextureAspectRatio, gHasBGRExtension,
                                  gHasEdgeClampExtension),
                  std::make_tuple(c.max, c.max, c.min, c.min, c.aspect, c.bgr, c.edge));
    }
    GLFakeRenderer r(false);
    r.mApp.mFullRedraw = false;
    ASSERT_TRUE(r.mRenderer->Init());
    EXPECT_TRUE(r.mApp.mFullRedraw);
    r.mGL->mHasContext = false;
    EXPECT_FALSE(r.mRenderer->Init());
    EXPECT_FALSE(X3DInterface::mErrorString.empty());
}

TEST(CheckExtension, WholeWordsAnywhereInTheList)
{
    const std::pair<const char*, bool> cases[] = {
        {"GL_A GL_EXT_bgra GL_B", true},
        {"GL_EXT_bgra_extended", false},
        {"GL_EXT_bgra_extended GL_EXT_bgra", true}, // first occurrence fails, a later one counts
        {"XGL_EXT_bgra", false},
        {"GL_EXT_bgr", false}};
    for (const auto& c : cases)
        EXPECT_EQ(CheckExtension(c.first, "GL_EXT_bgra"), c.second) << '"' << c.first << '"';
    EXPECT_FALSE(CheckExtension(nullptr, "GL_EXT_bgra"));
    EXPECT_FALSE(CheckExtension("GL_A", ""));
}

TEST_F(GLRenderer, SuspendedDrawsAreDroppedAndFlushSwapsAfterADrawOrWhenForced)
{
    auto image = Pattern(8, 8);
    mR.mApp.mMinimized = true;
    renderer().FillRect(TRect<int>(0, 0, 10, 10), Color::White, 0);
    Draw(image.get());
    renderer().DrawLine(0, 0, 5, 5, Color::White, 0);
    EXPECT_TRUE(gl().mPrimitives.empty());
    EXPECT_EQ(gl().mGens, 0);
    EXPECT_FALSE(renderer().mSceneBegun);
    renderer().Flush(false);
    EXPECT_EQ(gl().mSwaps, 0);
    mR.mApp.mMinimized = false;
    renderer().Flush(true);
    EXPECT_EQ(gl().mSwaps, 1);
    renderer().FillRect(TRect<int>(0, 0, 10, 10), Color::White, 0);
    EXPECT_TRUE(renderer().mSceneBegun);
    EXPECT_TRUE(gl().mEnabled.count(GL_BLEND));
    renderer().Flush(false);
    EXPECT_EQ(gl().mSwaps, 2);
    EXPECT_FALSE(renderer().mSceneBegun);
}

TEST_F(GLRenderer, LinesRectanglesPolygonsAndUntexturedTriangles)
{
    // A line sends three vertices so that its end pixel is lit.
    renderer().DrawLine(0, 0, 10, 0, Color(1, 2, 3, 4), 0);
    ASSERT_EQ(gl().mPrimitives.size(), 1u);
    const FakePrimitive& line = gl().mPrimitives[0];
    EXPECT_EQ(line.mode, GLenum(GL_LINE_STRIP));
    EXPECT_FALSE(line.textured);
    const float expected[3][2] = {{0, 0}, {10, 0}, {10.5f, 0.5f}};
    ASSERT_EQ(line.vertices.size(), 3u);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(line.vertices[i].x, expected[i][0]);
        EXPECT_EQ(line.vertices[i].y, expected[i][1]);
        EXPECT_EQ(line.vertices[i].color, 0x04010203u);
    }
    // Rectangles follow the pushed transform.
    gl().ClearRecords();
    VaxoTransform2D t(true);
    t.Scale(2, 3);
    t.Translate(100, 0);
    renderer().PushTransform(t, false);
    renderer().FillRect(TRect<int>(1, 1, 4, 2), Color::White, 0);
    renderer().PopTransform();
    const auto& v = gl().mPrimitives.at(0).vertices;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(std::make_pair(v[0].x, v[0].y), std::make_pair(102.0f, 3.0f));
    EXPECT_EQ(std::make_pair(v[2].x, v[2].y), std::make_pair(110.0f, 9.0f));
    // Polygons are offset and cut by the clip rectangle; two points draw nothing.
    gl().ClearRecords();
    const TPoint<int> points[3] = {{0, 0}, {10, 0}, {0, 10}};
    renderer().FillPoly(points, 2, nullptr, Color::White, 0, 0, 0);
    EXPECT_TRUE(gl().mPrimitives.empty());
    renderer().FillPoly(points, 3, nullptr, Color::White, 0, 5, 6);
    ASSERT_EQ(gl().mPrimitives.size(), 1u);
    EXPECT_EQ(gl().mPrimitives[0].mode, GLenum(GL_POLYGON));
    EXPECT_EQ(std::make_pair(gl().mPrimitives[0].vertices[1].x, gl().mPrimitives[0].vertices[1].y),
              std::make_pair(15.0f, 6.0f));
    const TRect<int> clip(0, 0, 10, 10);
    renderer().FillPoly(points, 3, &clip, Color(255, 0, 0), 0, 5, 6);
    ASSERT_EQ(gl().mPrimitives.size(), 2u);
    EXPECT_EQ(gl().mPrimitives[1].mode, GLenum(GL_TRIANGLE_FAN));
    for (const FakeVertex& fv : gl().mPrimitives[1].vertices)
        EXPECT_TRUE(fv.x <= 10 && fv.y <= 10 && fv.color == 0xFFFF0000u);
    // Untextured triangles take each vertex's colour, or the call's when it has none.
    gl().ClearRecords();
    renderer().DrawTriangle(TriVertex(0, 0, 0, 0, 0xFF00FF00), TriVertex(5, 0, 0, 0), TriVertex(0, 5, 0, 0),
                            Color(0, 0, 255), 0);
    EXPECT_EQ(gl().mPrimitives.at(0).vertices[0].color, 0xFF00FF00u);
    EXPECT_EQ(gl().mPrimitives.at(0).vertices[1].color, 0xFF0000FFu);
}

TEST_F(GLRenderer, AStripOf250TrianglesGoesInBatchesOf100)
{
    auto image = Pattern(64, 64);
    std::vector<TriVertex> strip(252);
    for (size_t i = 0; i < strip.size(); ++i)
        strip[i] = TriVertex(float(i), float(i % 2), 0, 0);
    renderer().DrawTrianglesTexStrip(strip.data(), 250, Color::White, 0, image.get(), 0, 0, false);
    const auto batches = gl().PrimitivesOf(GL_TRIANGLES);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0]->vertices.size(), 300u);
    EXPECT_EQ(batches[2]->vertices.size(), 150u);
    // Triangle 100 (the first of batch two) is vertices 100, 101, 102 with no change of winding.
    EXPECT_EQ(batches[1]->vertices[0].x, 100);
    EXPECT_EQ(batches[1]->vertices[2].x, 102);
}

TEST_F(GLRenderer, APushedTransformOverridesTheFilterFlagAndDrawsTransformedBltsUncentred)
{
    auto image = Pattern(16, 8);
    VaxoTransform2D identity(true);
    renderer().PushTransform(identity, false);
    Draw(image.get());
    EXPECT_TRUE(gLinearFilter);
    const uint32_t name = Data(*image)->mTextures[0].mTexture;
    EXPECT_EQ(gl().mTextures.at(name).params.at(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    gl().ClearRecords();
    renderer().BltTransformed(image.get(), nullptr, Color::White, 0, TRect<int>(0, 0, 16, 8), identity, false,
                              10, 20, true);
    // Centring is folded into the matrix (corner at (2, 16)); the draw itself is uncentred
    // and so sits half a pixel up and left.
    EXPECT_FLOAT_EQ(gl().mPrimitives.at(0).vertices[0].x, 1.5f);
    EXPECT_FLOAT_EQ(gl().mPrimitives.at(0).vertices[0].y, 15.5f);
    renderer().PopTransform();
    Draw(image.get());
    EXPECT_EQ(gl().mTextures.at(name).params.at(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
}

TEST_F(GLRenderer, EmptyOrUnregisteredImagesAreNotTextured)
{
    MemoryImage empty(&mR.mApp);
    empty.Create(0, 16);
    renderer().Blt(&empty, 0, 0, TRect<int>(0, 0, 16, 16), Color::White, 0, false);
    renderer().BltRotated(&empty, 0, 0, nullptr, Color::White, 0, 1.0, 0, 0, TRect<int>(0, 0, 16, 16));
    EXPECT_EQ(empty.m3DData, nullptr);
    EXPECT_EQ(gl().mGens, 0);
    EXPECT_TRUE(gl().PrimitivesOf(GL_QUADS).empty());
    // Nothing would tell the renderer when an image without an application dies.
    auto unregistered = ExactImage(8, 8, 0xFFFFFFFFu, nullptr);
    Draw(unregistered.get());
    EXPECT_EQ(unregistered->m3DData, nullptr);
    EXPECT_TRUE(renderer().mImageSet.empty());
}

TEST_F(GLRenderer, NoTextureCallIsMadeBetweenBeginAndEndAndTheCurrentTextureIsTheFirstPiece)
{
    auto a = Pattern(300, 140);
    auto b = Pattern(64, 64);
    const TRect<int> clip(0, 0, 100, 100);
    renderer().Blt(a.get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0, true);
    renderer().BltClipF(a.get(), 10, 10, TRect<int>(0, 0, 300, 140), &clip, Color::White, 1);
    const TriVertex tris[1][3] = {{TriVertex(0, 0, 0, 0), TriVertex(300, 0, 1, 0), TriVertex(0, 140, 0, 1)}};
    renderer().DrawTrianglesTex(tris, 1, Color::White, 0, a.get(), 0, 0, true);
    renderer().DrawTrianglesTex(tris, 1, Color::White, 0, b.get(), 0, 0, false);
    renderer().FillRect(TRect<int>(0, 0, 5, 5), Color::White, 0);
    EXPECT_GT(gl().mPrimitives.size(), 5u);
    EXPECT_EQ(gl().mCallsInsideBegin, 0);
    EXPECT_FALSE(gl().mPrimitives.back().textured);
    renderer().SetCurTexture(a.get());
    EXPECT_EQ(gCurTexture, Data(*a)->mTextures[0].mTexture);
    EXPECT_EQ(gl().mBound, gCurTexture);
    renderer().SetCurTexture(nullptr);
    EXPECT_EQ(gCurTexture, 0u);
    EXPECT_EQ(gl().mEnabled.count(GL_TEXTURE_2D), 0u);
}

TEST_F(GLRenderer, TexturesAreBuiltOnceRefilledInPlaceAndRebuiltWhenTheSizeOrFlagsChange)
{
    auto image = Pattern(300, 140); // four pieces
    Draw(image.get());
    Draw(image.get());
    EXPECT_EQ(gl().mGens, 4);
    EXPECT_EQ(gl().mUploads, 4);
    EXPECT_EQ(renderer().mImageSet.count(image.get()), 1u);
    const uint32_t first = Data(*image)->mTextures[0].mTexture;
    image->GetBits()[0] = 0xFF123456;
    image->BitsChanged();
    Draw(image.get());
    EXPECT_EQ(gl().mGens, 4);
    EXPECT_EQ(gl().mSubUploads, 4);
    EXPECT_TRUE(gl().mDeletedNames.empty());
    EXPECT_EQ(Data(*image)->mTextures[0].mTexture, first);
    EXPECT_EQ(gl().mTextures.at(first).texels[0], 0xFF123456u);
    image->Create(64, 64);
    image->GetBits();
    Draw(image.get());
    gl().ClearRecords();
    const uint32_t square = Data(*image)->mTextures[0].mTexture;
    image->m3DFlags = kTexFlagPowerOfTwo;
    Draw(image.get());
    EXPECT_EQ(gl().mDeletedNames, std::vector<uint32_t>{square});
    EXPECT_EQ(gl().mGens, 1);
    image->Create(100, 10);
    image->GetBits();
    Draw(image.get());
    EXPECT_EQ(gl().mDeletedNames.size(), 2u);
    EXPECT_EQ(Data(*image)->mTextures[0].mWidth, 128);
}

TEST_F(GLRenderer, TexturesAreDeletedWithTheirImageOrForgottenWithoutAContext)
{
    auto image = Pattern(300, 140);
    Draw(image.get());
    image->Delete3DBuffers();
    EXPECT_EQ(image->m3DData, nullptr);
    EXPECT_EQ(gl().mDeletedNames.size(), 4u);
    Draw(image.get()); // rebuilt on the next draw
    EXPECT_EQ(gl().mGens, 8);
    image.reset();
    EXPECT_EQ(gl().mDeletedNames.size(), 8u);
    EXPECT_TRUE(gl().mTextures.empty());
    EXPECT_TRUE(renderer().mImageSet.empty());
    gl().ClearRecords();
    image = Pattern(8, 8);
    Draw(image.get());
    gl().mHasContext = false; // the video mode went away and took its textures along
    image.reset();
    EXPECT_TRUE(gl().mDeletedNames.empty());
    EXPECT_TRUE(renderer().mImageSet.empty());
}

// A display-format image that kept its surface (made in 2D before the switch to the
// renderer) is drawn into on that surface; its textures must show each draw.
TEST(GLRendererSurfaceImages, DrawsIntoTheSurfaceRefillTheTextures)
{
    ScopedTextureLimits limits;
    ScopedFakeGL gl;
    TestApp app;
    FormatDisplay display(TestFormat::k888, &app);
    app.mDisplay = &display;
    display.mIs3D = true;
    ASSERT_TRUE(display.m3DInterface->Init());
    auto sprite = MakeSDLImage(&display, 1, 1, 0xFF00FF00u);
    // Each draw turns pixel (0, 0) green (fill and line keep 255 x 255 / 256 of it).
    const std::pair<std::function<void(SDLImage&)>, uint32_t> draws[] = {
        {[](SDLImage& image) { image.FillRect(TRect<int>(0, 0, 1, 1), Color(0, 255, 0), 0); }, 0xFF00FE00u},
        {[&](SDLImage& image) { image.Blt(sprite.get(), 0, 0, TRect<int>(0, 0, 1, 1), Color::White, 0); },
         0xFF00FF00u},
        {[](SDLImage& image) { image.DrawLine(0.0, 0.0, 2.0, 3.0, Color(0, 255, 0), 0); }, 0xFF00FE00u},
    };
    for (size_t i = 0; i < std::size(draws); ++i)
    {
        const auto& [draw, expected] = draws[i];
        auto image = MakeSDLImage(&display, 4, 4, 0xFFFF0000u);
        ASSERT_TRUE(image->GenerateDDSurface());
        display.m3DInterface->Blt(image.get(), 0, 0, TRect<int>(0, 0, 4, 4), Color::White, 0, false);
        draw(*image);
        ASSERT_TRUE(image->HasSurface());
        display.m3DInterface->Blt(image.get(), 0, 0, TRect<int>(0, 0, 4, 4), Color::White, 0, false);
        const uint32_t name = static_cast<GLTextureData*>(image->m3DData)->mTextures[0].mTexture;
        EXPECT_EQ(gl->mTextures.at(name).texels[0], expected) << "draw " << i;
        EXPECT_EQ(gl->mTextures.at(name).texels[1], 0xFFFF0000u);
    }
    sprite.reset();
    app.mDisplay = nullptr;
}

} // namespace
} // namespace Vaxo
