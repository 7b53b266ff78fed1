#include "widgets/ProfilePlayLock.h"

#include "widgets/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Vaxo
{

namespace
{
enum class LockResult
{
    kDone,
    kHeldElsewhere,
    // Any other failure (no lock service on the file system, say): nobody is refused for it.
    kFailed,
};

// The byte at the id: F_WRLCK takes it, F_UNLCK lets it go.
struct flock ByteAt(int32_t id, short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t(id);
    lock.l_len = 1;
    return lock;
}

// Locks of an open file description, not of the process: two managers of one process are two
// holders, and a lock goes with the last descriptor of its open, also when the process dies.
LockResult SetLock(int fd, int32_t id, short type)
{
    struct flock lock = ByteAt(id, type);
    int result;
    do
        result = ::fcntl(fd, F_OFD_SETLK, &lock);
    while (result != 0 && errno == EINTR);
    if (result == 0)
        return LockResult::kDone;
    return errno == EAGAIN || errno == EACCES ? LockResult::kHeldElsewhere : LockResult::kFailed;
}

// Another open of the file holds the byte at the id; an error counts as free.
bool LockedByOther(int fd, int32_t id)
{
    struct flock lock = ByteAt(id, F_WRLCK);
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}
} // namespace

ProfilePlayLock::~ProfilePlayLock()
{
    if (mFd >= 0)
        ::close(mFd);
}

bool ProfilePlayLock::Open()
{
    if (Profile::mProfileDir.empty())
        return false;
    const std::string path = Profile::mProfileDir + "players.lock";
    struct stat there = {};
    const bool exists = ::stat(path.c_str(), &there) == 0;
    if (mFd >= 0 && path == mPath && exists && there.st_dev == mDevice && there.st_ino == mInode)
        return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    struct stat opened = {};
    if (fd < 0 || ::fstat(fd, &opened) != 0)
    {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (mFd >= 0)
        ::close(mFd);
    mFd = fd;
    mPath = path;
    mDevice = opened.st_dev;
    mInode = opened.st_ino;
    // The player played goes on being held on the file other copies open now; if one of them
    // took him meanwhile, he is theirs.
    mTakenAgain = mTakenAgain || mId != 0;
    const LockResult kept = mId != 0 ? SetLock(mFd, mId, F_WRLCK) : LockResult::kFailed;
    mLocked = kept == LockResult::kDone;
    if (kept == LockResult::kHeldElsewhere)
    {
        mLostId = mId;
        mId = 0;
    }
    return true;
}

int32_t ProfilePlayLock::Keep()
{
    if (mId != 0)
        Open();
    const int32_t lost = mLostId;
    mLostId = 0;
    return lost;
}

bool ProfilePlayLock::Hold(int32_t id)
{
    id = std::max(id, int32_t(0));
    // Nothing held, nothing to hold: no file is made for it.
    if (id == 0 && mId == 0)
    {
        mLostId = 0;
        mTakenAgain = false;
        return true;
    }
    // Opened first: the lock held is taken again on a file made anew since.
    const bool open = Open();
    if (id == mId)
        return true;
    const LockResult taken = id > 0 && open ? SetLock(mFd, id, F_WRLCK) : LockResult::kFailed;
    if (taken == LockResult::kHeldElsewhere)
        return false;
    if (mId > 0 && open)
        SetLock(mFd, mId, F_UNLCK);
    mId = id;
    mLocked = taken == LockResult::kDone;
    // Another copy's taking of the one let go no longer matters.
    mLostId = 0;
    mTakenAgain = false;
    return true;
}

bool ProfilePlayLock::HeldElsewhere(int32_t id)
{
    if (id <= 0 || !Open())
        return false;
    // A lock of this open is no conflict: only another copy's is reported.
    return LockedByOther(mFd, id);
}

} // namespace Vaxo
