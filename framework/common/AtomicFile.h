// Saving a whole file so that a reader sees either the old version or the new one, never a
// part of either: the settings store, the player files and demo files are saved this way.
// Two copies of the program may save the same file at once (nothing tells one copy that
// another runs), so every save writes a temporary file of its own beside the target and
// renames it over the target.
//
// Also the one rule of the stores for a file at their path that they cannot use: it is
// moved aside under a name no other file has, so that the next save writes a fresh file and
// nothing is lost, and the caller tells the user why.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace Vaxo
{

// Writes `length` bytes to a fresh temporary file in the target's folder (made by mkstemp,
// with the permissions of the file it replaces, or those a new file gets), puts them on disk,
// renames the file over `fileName` and puts the folder's new entry on disk. A `fileName` that
// is a symbolic link is saved to the link's target, so the link stays. False, with the
// reason in errno, when any step fails (EFBIG beyond a file-size limit); the old file then
// stays whole and the temporary file is removed. The folder must exist. The installed
// SaveRenameHook is asked before the rename, then beforeRename (when given), which answers
// whether the save may still go on (its lock still held, the file it merged with still
// there) and, when it may not, sets errno to why.
bool WriteFileAtomically(const std::string& fileName, const void* data, uint32_t length,
                         const std::function<bool()>& beforeRename = nullptr);

// The moment of a save between writing its temporary file and renaming it over the target,
// as a replaceable object: the default lets every save go on; tests install one that
// stands for a crash there. Asked on the saving thread, by every save of the process.
class SaveRenameHook
{
public:
    virtual ~SaveRenameHook() = default;
    // tempPath: the temporary file, written, on disk and closed. False abandons the save
    // there and leaves the file behind, as a crash would; the save fails with errno
    // ECANCELED.
    virtual bool BeforeRename(const std::string& tempPath);
};

// Installs hook (null restores the default); returns the one it replaces (null when that
// was the default). The caller keeps ownership; the hook must outlive its installation.
SaveRenameHook* SetSaveRenameHook(SaveRenameHook* hook);

// What a store found at its file's path.
enum class StoredFileRead
{
    kMissing,    // nothing there: the first run
    kRead,       // the whole file is in the bytes (maybe none)
    kUnreadable, // something is there that could not be read; errno holds the reason
};

// Reads the whole regular file at fileName, through symbolic links, without waiting on a
// pipe. A folder, a device or a file of 2 GB or more is unreadable, and so is one larger than
// maxSize bytes, which is not read at all (EFBIG).
StoredFileRead ReadStoredFile(const std::string& fileName, std::vector<char>* bytes,
                              int32_t maxSize = std::numeric_limits<int32_t>::max());

// A stored file that could not be used, and where it went.
struct FileSetAside
{
    std::string mPath;   // the file (a symbolic link's target)
    int mReadError = 0;  // why it could not be read (an errno value); 0: read, not understood
    std::string mKeptAs; // its new name; "" when it could not be moved
    int mMoveError = 0;  // why not (an errno value; EEXIST when every name is taken)
};

// Renames the file at fileName (a symbolic link's target; a folder too) to
// "<name>.damaged" when it was read but could not be understood (readError 0), or to
// "<name>.unreadable" when it could not be read, or to that name followed by 2 up to 100
// when those are taken. Each name is taken in one step, so a file already kept there is never
// replaced, also when two copies of the program move files aside at once. Moving takes only
// the folder's write permission.
FileSetAside SetFileAside(const std::string& fileName, int readError);

// How long a copy waits for another to let go of a TurnLock; a save that waited this long
// fails, and the copy keeps what it would have saved for its next save.
constexpr std::chrono::milliseconds kTurnLockWait{5000};

// An exclusive flock that copies of the program take turns at while they read and write the
// files they share (the settings store's lock file, the players' folder), each holding it
// only while it reads and writes. The wait blocks rather than polls: the system then hands
// the lock to a copy that waits, and one letting go does not take it again first. No save is
// written without it while another copy holds it: a wait that runs out leaves it not held.
// A lock file or folder deleted or made again beside its holder no longer keeps anyone out,
// so a holder checks StillHeld before it writes.
class TurnLock
{
public:
    enum class Target
    {
        kFile,   // a lock file, made when missing
        kFolder, // a folder, which must exist
    };

    // No lock, and none asked for (a demo played back touches no file): not held, no error.
    TurnLock() = default;
    // Opens path and waits at most `wait` for its lock. A path deleted or replaced meanwhile
    // is opened again. Once a wait for a path ran out (its holder seems stopped), waits for it
    // are short (a tenth of a second) until one has the lock.
    TurnLock(const std::string& path, Target target, std::chrono::milliseconds wait = kTurnLockWait);
    ~TurnLock();
    TurnLock(const TurnLock&) = delete;
    TurnLock& operator=(const TurnLock&) = delete;

    bool Held() const { return mFd >= 0; }
    // 0 when held or not asked for. EWOULDBLOCK: another copy held it for the whole wait, and
    // nothing may be written. Any other errno value: this system gives no lock there (the path
    // cannot be opened by this user, a file system without a lock service); the caller goes
    // on without one, with its checks of the files themselves.
    int Error() const { return mError; }
    bool HeldElsewhere() const { return mError == EWOULDBLOCK; }
    // Held, and the path still names the file or folder locked: false once it was deleted or
    // replaced, when another copy may hold the lock of what the path names now (a write
    // then fails with ENOLCK).
    bool StillHeld() const;

private:
    void Take(Target target, std::chrono::milliseconds wait);

    std::string mPath;
    int mFd = -1;
    int mError = 0;
    dev_t mDevice = 0;
    ino_t mInode = 0;
};

// Removes the temporary files that saves interrupted by a crash left in `folder`: named
// "<name>.vaxo-save-XXXXXX" as WriteFileAtomically makes them, for the names isStoredFile accepts, and
// written long enough ago that no running copy of the program can still be saving them.
void RemoveStaleTempFiles(const std::string& folder,
                          const std::function<bool(const std::string&)>& isStoredFile);

} // namespace Vaxo
