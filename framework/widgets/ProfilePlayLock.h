// Internal to framework/widgets (ProfileMgr*.cpp): the player a copy of the program plays,
// held under a lock on one byte of "players.lock" in the profile folder (the byte at the
// player's id), so that two copies on one folder never play one player at once and save over
// each other's progress. The system lets the lock go when the copy plays another player,
// closes the file (quits), or dies: a crash leaves no player claimed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace Vaxo
{

class ProfilePlayLock
{
public:
    ProfilePlayLock() = default;
    ~ProfilePlayLock();
    ProfilePlayLock(const ProfilePlayLock&) = delete;
    ProfilePlayLock& operator=(const ProfilePlayLock&) = delete;

    // Holds the lock of the player with that id (kept, when it is the one held), then lets go
    // of the one held before; id 0 only lets go. False when another copy holds it: the one held
    // before stays held, unless another copy took that one too (see Keep). Only another holder
    // refuses: where no lock can be taken (no folder, a read-only one, a file system without
    // locks) the player is claimed without one.
    bool Hold(int32_t id);
    // Keeps the lock held on a lock file made anew since it was taken (deleted or replaced): a
    // lock on a file no other copy opens holds nothing. Answers the id whose lock another copy
    // took meanwhile (on the new file), once, since it was last asked; 0 when none.
    int32_t Keep();
    // Another copy holds the lock of that id.
    bool HeldElsewhere(int32_t id);
    // The id held (or claimed without a lock); 0: none.
    int32_t HeldId() const { return mId; }
    // The lock of that id is this copy's, taken for real on the lock file other copies open, and
    // held there since it was taken: no other copy can have been given it. One taken again on a lock
    // file made anew (the folder lost, say) is no proof: a copy started since may have given the id
    // to a player of its own.
    bool Locks(int32_t id) const { return id != 0 && id == mId && mLocked && !mTakenAgain; }
    // The lock of the player held was taken again, or lost, on a lock file made anew since he was
    // taken.
    bool TakenAgain() const { return mTakenAgain; }

private:
    // The lock file of the current profile folder, opened again when the folder changed or the
    // file was deleted or replaced meanwhile, with the lock held taken again on it (mLostId when
    // another copy took that one meanwhile). False when it cannot be opened.
    bool Open();

    int mFd = -1;
    std::string mPath;
    dev_t mDevice = 0;
    ino_t mInode = 0;
    int32_t mId = 0;
    // mId is locked (not claimed without a lock).
    bool mLocked = false;
    // The id whose lock another copy took from this one, until Keep tells it.
    int32_t mLostId = 0;
    // See TakenAgain; until another player is held.
    bool mTakenAgain = false;
};

} // namespace Vaxo
