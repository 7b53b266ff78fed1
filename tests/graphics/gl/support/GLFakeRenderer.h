// A renderer on the recording fake OpenGL: an application stand-in (800 x 600), a display
// whose 3D interface is a GL3DInterface, started with Init. The fake and the texture limits
// are the first base, so the display and its textures go before them.
#pragma once

#include "graphics/gl/support/FakeGL.h"
#include "graphics/gl/support/GLTestContext.h"
#include "graphics/gl/support/GLTestUtil.h"

namespace Vaxo
{

struct FakeGLParts
{
    ScopedTextureLimits mLimits{64, 64, 1};
    ScopedFakeGL mGL;
};

class GLFakeRenderer : public FakeGLParts, public GLTestRenderer
{
public:
    explicit GLFakeRenderer(bool init = true) : GLTestRenderer(800, 600, init) { mGL->ClearRecords(); }
};

} // namespace Vaxo
