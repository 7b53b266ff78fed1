// Images that die on the loading thread: their texture names wait for the main thread.
#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/GLFakeRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace Vaxo
{
namespace
{

TEST(GLRendererThreads, TexturesOfImagesDestroyedOffTheMainThreadAreDeletedAtTheNextFrame)
{
    GLFakeRenderer r;
    std::vector<std::unique_ptr<MemoryImage>> images;
    std::vector<uint32_t> names;
    for (int i = 0; i < 8; ++i)
    {
        images.push_back(PatternImage(&r.mApp, i ? 16 : 300, i ? 16 : 140)); // the first has 4 pieces
        r.mRenderer->Blt(images.back().get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0,
                         false); // clipped to the image
        for (const GLTextureDataPiece& piece : static_cast<GLTextureData*>(images.back()->m3DData)->mTextures)
            names.push_back(piece.mTexture);
    }
    ASSERT_EQ(names.size(), 11u);
    r.mRenderer->Flush(false);
    std::vector<std::thread> threads; // the images die at once, on threads of their own
    for (auto& image : images)
        threads.emplace_back([&image] { image.reset(); });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(r.mGL->mCallsOffThread, 0);
    EXPECT_TRUE(r.mGL->mDeletedNames.empty());
    EXPECT_TRUE(r.mRenderer->mImageSet.empty());
    r.mRenderer->FillRect(TRect<int>(0, 0, 1, 1), Color::White, 0); // begins the next frame
    std::vector<uint32_t> deleted = r.mGL->mDeletedNames;
    std::sort(deleted.begin(), deleted.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(deleted, names);
    EXPECT_TRUE(r.mRenderer->mPendingDeletes.empty());
}

TEST(GLRendererThreads, ADeletedBoundNameIsBoundAgainAndNamesOfAVanishedContextAreDropped)
{
    GLFakeRenderer r;
    auto first = PatternImage(&r.mApp, 16, 16);
    r.mRenderer->Blt(first.get(), 0, 0, TRect<int>(0, 0, 16, 16), Color::White, 0, false);
    const uint32_t name = static_cast<GLTextureData*>(first->m3DData)->mTextures[0].mTexture;
    r.mRenderer->Flush(false); // the name stays bound across the frame's end
    std::thread([&first] { first.reset(); }).join();
    auto second = PatternImage(&r.mApp, 16, 16);
    r.mRenderer->Blt(second.get(), 0, 0, TRect<int>(0, 0, 16, 16), Color::White, 0, false);
    ASSERT_EQ(static_cast<GLTextureData*>(second->m3DData)->mTextures[0].mTexture, name);
    const FakePrimitive& quad = r.mGL->mPrimitives.back();
    EXPECT_EQ(quad.texture, name);
    EXPECT_TRUE(quad.textured);
    // Queued while the video mode went away: the names went with the context.
    r.mGL->ClearRecords();
    std::thread([&second] { second.reset(); }).join();
    r.mGL->mHasContext = false;
    r.mRenderer->Flush(true);
    EXPECT_TRUE(r.mGL->mDeletedNames.empty());
    EXPECT_TRUE(r.mRenderer->mPendingDeletes.empty());
}

} // namespace
} // namespace Vaxo
