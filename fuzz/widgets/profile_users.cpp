// users.dat bytes through the profile manager's load: it must end, an unreadable list
// must leave no players, and a new player must get an id above every listed one.
#include "support/ProfileFuzzEnv.h"
#include "widgets/ProfileMgr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Vaxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ProfileFuzzEnv shared;
    if (!shared.mApp.WriteBytesToFile(Profile::mProfileDir + "users.dat", data, uint32_t(size)))
        std::abort();
    ProfileMgr mgr(&shared.mApp);
    const bool loaded = mgr.Load();
    if (!loaded && !mgr.mProfiles.empty())
        std::abort();
    int32_t largest = 0;
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
        largest = std::max(largest, profile->mId);
    if (mgr.mNextId < largest || mgr.mNextId < 0)
        std::abort();
    // A damaged list was moved aside and told; a hundred of them would leave no name free.
    std::remove((Profile::mProfileDir + "users.dat.damaged").c_str());
    shared.mEnv.mPlatform->mCalls.clear();
    return 0;
}
