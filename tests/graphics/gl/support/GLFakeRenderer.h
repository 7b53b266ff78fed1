// A renderer on the recording fake OpenGL: an application stand-in (800 x 600), a display
// whose 3D interface is a GL3DInterface, started with Init. Members are destroyed in the
// right order: the display (and its textures) before the application and the fake.
#pragma once

#include "graphics/gl/GL3DInterface.h"
#include "graphics/gl/support/FakeGL.h"
#include "graphics/gl/support/GLTestUtil.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"

namespace Vaxo
{

class GLFakeRenderer
{
public:
    ScopedTextureLimits mLimits{64, 64, 1};
    ScopedFakeGL mGL;
    TestApp mApp;
    TestDisplay mDisplay{&mApp};
    GL3DInterface* mRenderer;

    explicit GLFakeRenderer(bool init = true)
    {
        mApp.mWidth = 800;
        mApp.mHeight = 600;
        mDisplay.mIs3D = true;
        mDisplay.m3DInterface = std::make_unique<GL3DInterface>(&mDisplay);
        mRenderer = static_cast<GL3DInterface*>(mDisplay.m3DInterface.get());
        mApp.mDisplay = &mDisplay;
        if (init)
            mRenderer->Init();
        mGL->ClearRecords();
    }
    ~GLFakeRenderer()
    {
        mDisplay.m3DInterface.reset();
        mApp.mDisplay = nullptr;
    }
    GLFakeRenderer(const GLFakeRenderer&) = delete;
    GLFakeRenderer& operator=(const GLFakeRenderer&) = delete;
};

} // namespace Vaxo
