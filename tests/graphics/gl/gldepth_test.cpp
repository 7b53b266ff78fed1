// The OpenGL renderer on 16- and 15-bit screens (Xvfb at those depths; skipped when
// VAXO_DISPLAY_16 / VAXO_DISPLAY_15 are unset): textures keep their 32-bit texels, and
// drawn pixels are the source within the screen's channel precision.
#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/TextureData.h"
#include "graphics/gl/support/GLTestContext.h"
#include "graphics/gl/support/GLTestUtil.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace Vaxo
{
namespace
{

class GLDepth : public ::testing::TestWithParam<const char*>
{
};

TEST_P(GLDepth, TexturesAreExactAndPixelsWithinTheScreensPrecision)
{
    if (!GLTestContext::Requested(GetParam()))
        GTEST_SKIP() << GetParam() << " is not set";
    ASSERT_EQ(GLTestContext::Open(GetParam(), 320, 240), "");
    {
        GLTestRenderer r(320, 240);
        auto image = PatternImage(&r.mApp, 300, 140);
        image->mPurgeBits = true;
        r.mRenderer->FillRect(TRect<int>(0, 0, 320, 240), Color(0, 0, 0), 0);
        r.mRenderer->Blt(image.get(), 0, 0, TRect<int>(0, 0, 300, 140), Color::White, 0, false);
        // Texels read back whole even though the screen holds 5 or 6 bits a channel.
        EXPECT_EQ(PatternMismatch(image->GetBits(), 300, 140), "");
        GLint red = 0, green = 0, blue = 0;
        glGetIntegerv(GL_RED_BITS, &red);
        glGetIntegerv(GL_GREEN_BITS, &green);
        glGetIntegerv(GL_BLUE_BITS, &blue);
        const std::vector<uint32_t> screen = GLTestContext::ReadPixels(0, 0, 300, 140);
        // One step of the coarsest channel, plus rounding of the read-back expansion.
        const int tolerance = (256 >> std::min({red, green, blue})) + 1;
        for (int y = 0; y < 140; ++y)
            for (int x = 0; x < 300; ++x)
                for (int shift : {0, 8, 16})
                {
                    const int got = int((screen[y * 300 + x] >> shift) & 0xFF);
                    const int want = int((PatternPixel(x, y) >> shift) & 0xFF);
                    ASSERT_LE(std::abs(got - want), tolerance) << x << "," << y << " shift " << shift;
                }
        r.mRenderer->Flush(true);
    }
    GLTestContext::Close();
}

INSTANTIATE_TEST_SUITE_P(Screens, GLDepth, ::testing::Values("VAXO_DISPLAY_16", "VAXO_DISPLAY_15"));

} // namespace
} // namespace Vaxo
