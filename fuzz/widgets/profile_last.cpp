// users.last bytes (the last id given out, the list's name and the players an earlier list gave
// ids to) under a list of two players, through the profile manager's load, a new player's merge
// and a save: it must end, the new player must get an id no player has and that is not below
// the last id users.last claims while that is below the top, and the users.last the save leaves
// must be read back with a last id at or above every listed id.
#include "common/Common.h"
#include "support/ProfileFuzzEnv.h"
#include "widgets/ProfileListFile.h"
#include "widgets/ProfileMgr.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

using namespace Vaxo;

namespace
{
// Version 2, last id 2, Amy (1) and Bob (2), manager version 1.
const char kTwoPlayers[] = "\x02\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\0\0\x03\0"
                           "Amy\x02\0\0\0\x03\0"
                           "Bob\x01\0\0\0";
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ProfileFuzzEnv shared;
    VaxoAppBase& app = shared.mApp;
    if (!app.WriteBytesToFile(Profile::mProfileDir + "users.dat", kTwoPlayers, sizeof(kTwoPlayers) - 1) ||
        !app.WriteBytesToFile(Profile::mProfileDir + "users.last", data, uint32_t(size)))
        std::abort();
    const ListLast read = ReadListLast();
    ProfileMgr mgr(&app);
    mgr.Load();
    Profile* added = mgr.CreateProfile("fuzz");
    if (added == nullptr)
        std::abort();
    std::set<int32_t> ids;
    int32_t largest = 0;
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
    {
        if (!ids.insert(profile->mId).second)
            std::abort();
        largest = std::max(largest, profile->mId);
    }
    if (read.mFound && read.mLastId < INT32_MAX && added->mId <= read.mLastId)
        std::abort();
    mgr.Save();
    const ListLast written = ReadListLast();
    if (!written.mFound || written.mLastId < largest)
        std::abort();
    // The players' files, so that the next run's ids are its own.
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
        std::remove(Profile::GetDetailsPath(profile->mId).c_str());
    shared.EndRun();
    return 0;
}
