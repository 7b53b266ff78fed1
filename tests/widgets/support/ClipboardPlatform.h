// ClipboardPlatform: the test platform with a clipboard kept in memory, for the edit
// field's copy, cut and paste (the platform of this system has none). MakeClipboardApp
// builds an application on it.
#pragma once

#include "app/support/AppTestEnv.h"
#include "app/support/TestPlatform.h"

#include <memory>
#include <string>

namespace Vaxo
{

class ClipboardPlatform : public TestPlatform
{
public:
    std::string mClipboard;

    using TestPlatform::TestPlatform;
    void CopyToClipboard(const std::string& text) override { mClipboard = text; }
    std::string GetClipboard() override { return mClipboard; }
};

// A new application on a ClipboardPlatform (also env.mPlatform); not initialised.
inline std::unique_ptr<RecordingApp> MakeClipboardApp(AppTestEnv& env, ClipboardPlatform** platform)
{
    PlatformFactory old = SetPlatformFactory(
        [&env, platform](VaxoAppBase* app)
        {
            *platform = new ClipboardPlatform(app);
            (*platform)->mFinalCalls = &env.mFinalCalls;
            env.mPlatform = *platform;
            return *platform;
        });
    auto app = std::make_unique<RecordingApp>();
    SetPlatformFactory(old);
    return app;
}

} // namespace Vaxo
