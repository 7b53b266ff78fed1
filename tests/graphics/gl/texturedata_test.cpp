// Texture grids: the good-size table, piece layouts, uploads and the grid walks, against
// the recording fake OpenGL.
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

TEST(GoodTextureSize, TableAndWaste)
{
    const struct
    {
        int32_t length;
        int32_t size;
    } cases[] = {{100, 128}, {190, 128},   {200, 256}, {300, 256}, {600, 64}, {640, 512}, {700, 128},
                 {800, 256}, {1000, 1024}, {0, 1},     {1, 1},     {64, 64},  {65, 128},  {1023, 1024}};
    for (const auto& c : cases)
        EXPECT_EQ(TextureData::GoodTextureSize(c.length), c.size) << "length " << c.length;
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

struct GridCase
{
    const char* name;
    int32_t w, h;
    uint32_t flags;
    int32_t pieceW, pieceH, across, down;
    int32_t rightW, rightH, bottomW, bottomH;
    float maxU, maxV;
};

TEST(TextureGrid, LayoutTableAndEmptyImages)
{
    ScopedTextureLimits limits;
    TestApp app;
    const GridCase cases[] = {
        {"800x600", 800, 600, 0, 256, 64, 4, 10, 32, 64, 256, 32, 3.125f, 9.375f},
        {"800x600 power of two", 800, 600, kTexFlagPowerOfTwo, 1024, 1024, 1, 1, 1024, 1024, 1024, 1024,
         800.0f / 1024, 600.0f / 1024},
        {"800x600 64", 800, 600, kTexFlag64, 64, 64, 13, 10, 64, 64, 64, 64, 12.5f, 9.375f},
        {"640x480", 640, 480, 0, 512, 512, 2, 1, 128, 512, 512, 512, 1.25f, 0.9375f},
        {"100x50", 100, 50, 0, 128, 64, 1, 1, 128, 64, 128, 64, 0.78125f, 0.78125f},
    };
    for (const GridCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        MemoryImage image(&app);
        image.Create(c.w, c.h);
        image.m3DFlags = c.flags;
        GLTextureData data;
        data.CreateTextureDimensions(&image);
        EXPECT_EQ(data.mPieceWidth, c.pieceW);
        EXPECT_EQ(data.mPieceHeight, c.pieceH);
        ASSERT_EQ(data.mPiecesAcross, c.across);
        ASSERT_EQ(data.mPiecesDown, c.down);
        ASSERT_EQ(data.mTextures.size(), size_t(c.across * c.down));
        // Right column above the corner, bottom row left of the corner.
        const GLTextureDataPiece& right = data.mTextures[size_t(c.across - 1)];
        const GLTextureDataPiece& bottom = data.mTextures[size_t((c.down - 1) * c.across)];
        EXPECT_EQ(right.mWidth, c.rightW);
        EXPECT_EQ(right.mHeight, c.rightH);
        EXPECT_EQ(bottom.mWidth, c.bottomW);
        EXPECT_EQ(bottom.mHeight, c.bottomH);
        EXPECT_EQ(data.mTextures.back().mWidth, c.rightW); // the corner
        EXPECT_EQ(data.mTextures.back().mHeight, c.bottomH);
        EXPECT_FLOAT_EQ(data.mMaxTotalU, c.maxU);
        EXPECT_FLOAT_EQ(data.mMaxTotalV, c.maxV);
    }
    ScopedTextureLimits limits2;
    ScopedFakeGL gl;
    TestApp app2;
    for (auto size : {std::pair<int, int>(0, 10), {10, 0}, {0, 0}})
    {
        MemoryImage image(&app2);
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

} // namespace
} // namespace Vaxo
