// users.dat bytes through the profile manager's load and a new player's merge with them: it
// must end, an unreadable list must leave no players, the counter must stay at or above every
// listed id, and the list made must give no two players one id or one name as the dialogs
// compare names.
#include "common/Common.h"
#include "support/ProfileFuzzEnv.h"
#include "widgets/ProfileMgr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

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
    // A player made against that list (merged with it under the lock): every listed player has
    // an id and a name of his own, in any letter case and up to a zero byte (stricmp).
    mgr.CreateProfile("fuzz");
    std::set<int32_t> ids;
    std::set<std::string, StringLessNoCase> names;
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
    {
        if (!ids.insert(profile->mId).second || !names.insert(profile->mName).second)
            std::abort();
    }
    // A damaged list was moved aside and told; a hundred of them would leave no name free.
    // The new player's file and the last id go too, or every id would be taken in the end.
    std::remove((Profile::mProfileDir + "users.dat.damaged").c_str());
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
        std::remove(Profile::GetDetailsPath(profile->mId).c_str());
    std::remove((Profile::mProfileDir + "users.last").c_str());
    shared.EndRun();
    return 0;
}
