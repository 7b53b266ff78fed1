#include "widgets/support/ClipboardPlatform.h"

namespace Vaxo
{

std::unique_ptr<RecordingApp> MakeClipboardApp(AppTestEnv& env, ClipboardPlatform** platform)
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
