// Internal to framework/widgets (ProfileMgr*.cpp): where the player list's files are, the
// layout version of users.dat, the lock that copies of the program on one data folder take
// turns at while they read, merge and write the list, and the order in which ids are given.
#pragma once

#include "common/AtomicFile.h"
#include "widgets/ProfileMgr.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

namespace Vaxo
{

// Layout of users.dat this program writes; a larger one is not read. The first layout was 1.
constexpr int32_t kUsersFileVersion = 2;
constexpr int32_t kFirstUsersFileVersion = 1;
// The largest layout a later program could give users.dat: far above any it will reach, far
// below what text or random bytes read as a version mostly give.
constexpr int32_t kMaxNewerUsersFileVersion = 65535;

// Whether a users.dat of that layout is a newer program's, kept as it is. One no program of this
// list writes (below the first layout, or beyond any later one) throws AceException: the list is
// damaged.
bool NewerUsersFileVersion(int32_t version);

// Profile::mProfileDir + "users.dat".
std::string UsersPath();

// users.last as the file holds it; not found when there is none, or it is not of this program.
ListLast ReadListLast();
// False when it could not be written.
bool WriteListLast(const ListLast& last);
// A name for a list started anew: random, never 0.
uint64_t NewListIdentity();

// The lock on the profile folder (a TurnLock). take false: none (a demo being played back
// touches no file of this machine).
class ProfileListLock
{
public:
    explicit ProfileListLock(bool take, std::chrono::milliseconds wait = kTurnLockWait);

    // Another copy held the list for the whole wait: nothing may be read to merge, nor written.
    bool HeldElsewhere() const { return mLock.HeldElsewhere(); }
    // A file may be written now: the lock held is still on the folder the path names (not deleted
    // and made again since, when another copy may hold the new one's), or the system gives no lock
    // there (the checks of the files stand in for it), or none was asked for.
    bool MayWrite() const { return !mLock.Held() || mLock.StillHeld(); }

private:
    TurnLock mLock;
};

// The lowest id above `counter` that isFree(id) accepts: ids are not given twice while the
// counter lasts. Once every id above it is taken (a damaged or hand-edited list can put the
// counter at the top), the lowest from firstBelow on. 0 when none is free.
template <typename IsFree> int32_t FirstFreeId(int32_t counter, int32_t firstBelow, IsFree isFree)
{
    for (int64_t id = int64_t(counter) + 1; id <= INT32_MAX; ++id)
    {
        if (isFree(int32_t(id)))
            return int32_t(id);
    }
    for (int64_t id = std::max(firstBelow, int32_t(1)); id <= counter; ++id)
    {
        if (isFree(int32_t(id)))
            return int32_t(id);
    }
    return 0;
}

} // namespace Vaxo
