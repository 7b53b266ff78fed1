// A demo stream played back through the player list: loading it, making a player, deleting
// the first one and saving take their answers, the player files' fates and the merged list
// from the stream. It must end (a stream that runs out answers every existence test yes),
// and a new player made must be listed.
#include "support/ProfileFuzzEnv.h"
#include "widgets/ProfileMgr.h"
#include "widgets/support/ProfileDemoSteps.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Vaxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ProfileFuzzEnv shared;
    VaxoAppBase& app = shared.mApp;
    // The seeds were recorded by a program with settings: its reads and writes of the current
    // player's name are in the streams, and an application without a settings key would not
    // take them, and read every later answer out of step.
    app.mRegKey = "Vaxo\\ProfileDemo";
    app.mPlayingDemo = true;
    app.mDemoDetached = false;
    app.mDemoHeadPending = true;
    app.mDemoCommandTime = 0;
    app.mUpdateCount = 0;
    app.mDemoBuffer.Clear();
    app.mDemoBuffer.SetData(data, int32_t(size));

    ProfileMgr mgr(&app);
    PlayProfileDemoSteps(mgr, {},
                         [&mgr](Profile* added)
                         {
                             if (added != nullptr && std::find(mgr.mProfiles.begin(), mgr.mProfiles.end(),
                                                               added) == mgr.mProfiles.end())
                                 std::abort();
                         });
    shared.EndRun();
    return 0;
}
