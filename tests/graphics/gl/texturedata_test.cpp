// Texture grids: the good sizes, empty images, uploads and the grid walks, against the
// recording fake OpenGL (piece layouts are drawn on a real context in glpixels_test).
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/FakeGL.h"
#include "graphics/gl/support/GLTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Vaxo
{
namespace
{

// Every length gets a power of two that wastes at most 64 texels, or that leaves a
// remainder under 64 or itself a power of two for the next piece.
TEST(GoodTextureSize, WasteStaysSmallForEveryLength)
{
    for (int32_t s = 1; s < 1024; ++s)
    {
        const int32_t size = TextureData::GoodTextureSize(s), rest = s % size;
        ASSERT_TRUE(size > 0 && (size & (size - 1)) == 0) << s;
        EXPECT_TRUE((size >= s && size - s <= 64) || (size < s && (rest < 64 || (rest & (rest - 1)) == 0)))
            << "length " << s << " size " << size;
    }
}

TEST(BestTextureDimensions, Table)
{
    const struct
    {
        const char* name;
        int32_t max, min, aspect, w, h;
        bool edge;
        uint32_t flags;
        int32_t wantW, wantH;
    } cases[] = {
        {"flag bit 2", 1024, 1, 65536, 5000, 3, false, kTexFlag64, 64, 64},
        {"aspect limit doubles the short side", 1024, 1, 2, 256, 32, true, 0, 256, 128},
        // A limit beyond the table, and a minimum and aspect of 0 (aspect 0 counts as 1).
        {"broken limits stay bounded", 4096, 0, 0, 3000, 0, false, 0, 4096, 4096},
    };
    for (const auto& c : cases)
    {
        ScopedTextureLimits limits(c.max, c.min, c.aspect);
        int32_t w = c.w, h = c.h;
        TextureData::GetBestTextureDimensions(w, h, c.edge, true, c.flags);
        EXPECT_EQ(w, c.wantW) << c.name;
        EXPECT_EQ(h, c.wantH) << c.name;
    }
}

TEST(TextureGrid, EmptyImagesHaveNoTexturesAndDrawNothing)
{
    ScopedTextureLimits limits;
    ScopedFakeGL gl;
    TestApp app;
    for (auto size : {std::pair<int, int>(0, 10), {10, 0}, {0, 0}})
    {
        MemoryImage image(&app);
        image.Create(size.first, size.second);
        GLTextureData data;
        data.CreateTextures(&image);
        EXPECT_TRUE(data.mTextures.empty());
        EXPECT_EQ(data.mPixelFormat, 0);
        data.Blt(0, 0, TRect<int>(0, 0, 10, 10), Color::White);
    }
    EXPECT_EQ(gl->mGens, 0);
    EXPECT_TRUE(gl->mPrimitives.empty());
}

class TextureUpload : public ::testing::Test
{
protected:
    ScopedTextureLimits mLimits;
    ScopedFakeGL mGL;
    TestApp mApp;

    void SetUp() override
    {
        gHasBGRExtension = true;
        gHasEdgeClampExtension = true;
    }
};

TEST_F(TextureUpload, AFailedNameLeavesThePieceUnfilledAndReleasingTheBoundOneTexturingOff)
{
    auto image = PatternImage(&mApp, 8, 8);
    mGL->mFailGenTextures = true;
    GLTextureData failed;
    failed.CreateTextures(image.get());
    EXPECT_EQ(failed.mTextures[0].mTexture, 0u);
    EXPECT_EQ(mGL->mUploads, 0);
    mGL->mFailGenTextures = false;
    GLTextureData data;
    data.CreateTextures(image.get());
    ASSERT_EQ(gCurTexture, data.mTextures[0].mTexture);
    const uint32_t name = gCurTexture;
    data.ReleaseTextures();
    EXPECT_EQ(gCurTexture, 0u);
    EXPECT_EQ(mGL->mEnabled.count(GL_TEXTURE_2D), 0u);
    EXPECT_EQ(mGL->mDeletedNames, std::vector<uint32_t>{name});
    EXPECT_EQ(data.mTexMemSize, 0);
}

class TextureWalk : public TextureUpload
{
protected:
    GLTextureData mData;
    std::unique_ptr<MemoryImage> mImage;

    void Make(int32_t w, int32_t h, uint32_t flags = 0)
    {
        mImage = PatternImage(&mApp, w, h);
        mImage->m3DFlags = flags;
        mData.CreateTextures(mImage.get());
        mGL->ClearRecords();
    }
    // Vertex i of primitive p is at (x, y), and at (u, v) unless those are NaN.
    void ExpectVertex(size_t p, size_t i, float x, float y, float u = NAN, float v = NAN)
    {
        SCOPED_TRACE(testing::Message() << "primitive " << p << " vertex " << i);
        ASSERT_LT(p, mGL->mPrimitives.size());
        ASSERT_LT(i, mGL->mPrimitives[p].vertices.size());
        const FakeVertex& got = mGL->mPrimitives[p].vertices[i];
        EXPECT_FLOAT_EQ(got.x, x);
        EXPECT_FLOAT_EQ(got.y, y);
        EXPECT_FLOAT_EQ(got.u, std::isnan(u) ? got.u : u);
        EXPECT_FLOAT_EQ(got.v, std::isnan(v) ? got.v : v);
    }
};

TEST_F(TextureWalk, SourceOutsideTheImageIsClippedBeforeTheWalk)
{
    Make(64, 64);
    // Hanging over the top-left: the visible part still lands where its pixels belong.
    mData.Blt(100, 100, TRect<int>(-10, -20, 30, 40), Color::White);
    ASSERT_EQ(mGL->mPrimitives.size(), 1u);
    ExpectVertex(0, 0, 110, 120);
    ExpectVertex(0, 2, 130, 140, 20.0f / 64);
    mGL->ClearRecords();
    mData.Blt(0, 0, TRect<int>(64, 0, 10, 10), Color::White);    // wholly right of it
    mData.Blt(0, 0, TRect<int>(-50, -50, 10, 10), Color::White); // wholly before it
    mData.Blt(0, 0, TRect<int>(0, 0, 0, 10), Color::White);      // empty
    EXPECT_TRUE(mGL->mPrimitives.empty());
    mData.Blt(0, 0, TRect<int>(-1000000, -1000000, 2000000, 2000000), Color::White);
    EXPECT_EQ(mGL->mPrimitives.size(), 1u);
}

TEST_F(TextureWalk, TransformedPartsSitHalfAPixelUpAndAreCutByTheClip)
{
    Make(16, 8);
    VaxoTransform2D identity(true);
    mData.BltTransformed(identity, TRect<int>(0, 0, 16, 8), Color::White, nullptr, 10, 20, false);
    mData.BltTransformed(identity, TRect<int>(0, 0, 16, 8), Color::White, nullptr, 10, 20, true);
    ExpectVertex(0, 0, 9.5f, 19.5f);
    ExpectVertex(1, 0, 2, 16);
    Make(300, 10);
    const TRect<int> clip(0, 0, 200, 100);
    mData.BltTransformed(identity, TRect<int>(0, 0, 300, 10), Color(255, 0, 0, 128), &clip, 0.5f, 0.5f,
                         false);
    // The first piece (0..256) crosses x = 200; the second lies wholly outside.
    ASSERT_EQ(mGL->mPrimitives.size(), 1u);
    EXPECT_EQ(mGL->mPrimitives[0].mode, GLenum(GL_TRIANGLE_FAN));
    for (const FakeVertex& v : mGL->mPrimitives[0].vertices)
        EXPECT_TRUE(v.x <= 200.0f && v.color == 0x80FF0000u) << v.x;
    EXPECT_EQ(mGL->mCallsInsideBegin, 0);
}

TEST_F(TextureWalk, SingleTextureTrianglesScaleTheirCoordinatesAndKeepTheirColours)
{
    Make(100, 50);
    // A vertex colour of 0 takes the draw's colour.
    const TriVertex tris[1][3] = {
        {TriVertex(0, 0, 0, 0), TriVertex(10, 0, 1, 0, 0xFF00FF00), TriVertex(0, 10, 0, 1)}};
    mData.BltTriangles(tris, 1, 0x80FFFFFF, 5, 6);
    ASSERT_EQ(mGL->mPrimitives.size(), 1u);
    EXPECT_EQ(mGL->mPrimitives[0].mode, GLenum(GL_TRIANGLES));
    ExpectVertex(0, 1, 15, 6, 0.78125f, 0);
    ExpectVertex(0, 2, 5, 16, 0, 0.78125f);
    EXPECT_EQ(mGL->mPrimitives[0].vertices[0].color, 0x80FFFFFFu);
    EXPECT_EQ(mGL->mPrimitives[0].vertices[1].color, 0xFF00FF00u);
}

} // namespace
} // namespace Vaxo
