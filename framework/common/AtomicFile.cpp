#include "common/AtomicFile.h"

#include "common/Common.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace Vaxo
{

namespace
{

// Names tried for a file set aside: "<name>.damaged", then ".damaged2" up to ".damaged100".
constexpr int kAsideNames = 100;
// A temporary file last written this long ago belongs to no save still running: a save
// writes and renames its file within one call.
constexpr time_t kStaleTempSeconds = 60 * 60;
// What a temporary file's name adds to the target's: a mark no copy a person makes has,
// then the six letters and digits mkstemp fills in.
constexpr char kTempMark[] = ".vaxo-save-";
constexpr size_t kTempRandom = 6;
constexpr size_t kTempSuffix = sizeof(kTempMark) - 1 + kTempRandom;
// Links followed from a stored file's name before it is taken as a loop.
constexpr int kMaxLinkHops = 40;

// Null: the default, which lets every save go on. Constant-initialised, so installing a
// hook before main is safe.
std::atomic<SaveRenameHook*> gSaveRenameHook{nullptr};

// The permissions fopen gives a new file: 0666 less the process's umask, read where the
// system shows it (setting the umask to learn it would race other threads' file creation).
mode_t NewFileMode()
{
    unsigned int mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "r"))
    {
        char line[256];
        while (std::fgets(line, sizeof(line), status) != nullptr)
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        std::fclose(status);
    }
    return mode_t(0666 & ~mask);
}

// mkstemp makes its files private; the saved file keeps the permissions it had, except that
// its owner may always read and write it: a save over a file of mode 000 would otherwise
// report success and be read as nothing at every later start.
bool TakeTargetMode(int fd, const std::string& fileName)
{
    struct stat info;
    const mode_t mode = ::stat(fileName.c_str(), &info) == 0 ? mode_t(info.st_mode & 07777) : NewFileMode();
    return ::fchmod(fd, mode | S_IRUSR | S_IWUSR) == 0;
}

bool WriteAll(int fd, const void* data, uint32_t length)
{
    const char* bytes = static_cast<const char*>(data);
    while (length > 0)
    {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        if (written == 0)
        {
            errno = EIO;
            return false;
        }
        bytes += written;
        length -= uint32_t(written);
    }
    return true;
}

// The rename is only a change of the folder; on disk once the folder is.
void SyncFolder(const std::string& fileName)
{
    std::string folder = GetFileDir(fileName, true);
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A write beyond a file-size limit (ulimit -f) raises SIGXFSZ, which ends the program;
// ignored, the write fails with EFBIG and the save is reported like any failed save. A
// handler the program set is left alone.
void IgnoreFileSizeSignal()
{
    struct sigaction action;
    if (::sigaction(SIGXFSZ, nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
        action.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

// The file a name stands for: a symbolic link's target (as tools that keep dotfiles make
// them), so that saving and setting aside keep the link. A loop gives its last name.
std::string FollowLinks(const std::string& fileName)
{
    std::string path = fileName;
    for (int hop = 0; hop < kMaxLinkHops; ++hop)
    {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            break;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof(target));
        if (length <= 0 || size_t(length) >= sizeof(target))
            break;
        const std::string next(target, size_t(length));
        path = next[0] == '/' ? next : GetFileDir(path, true) + next;
    }
    return path;
}

// Renames `from` to `to` only when nothing has that name, in one step, so that two copies
// of the program setting files aside at once never take one name.
bool RenameWhereFree(const std::string& from, const std::string& to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // EINVAL: a file system that cannot.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    // A new name is made only where none is; the old one goes after.
    if (::link(from.c_str(), to.c_str()) == 0)
    {
        ::unlink(from.c_str());
        return true;
    }
    // EPERM: a folder, or a file system without hard links; there the name is checked, then
    // taken.
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    struct stat info;
    if (::lstat(to.c_str(), &info) == 0)
    {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// "<name>.vaxo-save-XXXXXX" as mkstemp fills it in. Only the mark tells: six letters
// and digits alone are as likely a person's copy ("Copy01", "123456").
bool IsTempName(const std::string& name)
{
    if (name.size() <= kTempSuffix ||
        name.compare(name.size() - kTempSuffix, kTempSuffix - kTempRandom, kTempMark) != 0)
        return false;
    return std::all_of(name.end() - kTempRandom, name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

} // namespace

bool SaveRenameHook::BeforeRename(const std::string&)
{
    return true;
}

SaveRenameHook* SetSaveRenameHook(SaveRenameHook* hook)
{
    return gSaveRenameHook.exchange(hook, std::memory_order_acq_rel);
}

bool WriteFileAtomically(const std::string& fileName, const void* data, uint32_t length,
                         const std::function<bool()>& beforeRename)
{
    if (data == nullptr && length > 0)
    {
        errno = EINVAL;
        return false;
    }
    IgnoreFileSizeSignal();
    const std::string target = FollowLinks(fileName);
    // Beside the target, so that the rename stays within one file system.
    std::string temp = target + kTempMark + "XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    // The first step that fails gives the reason; the later ones fail in its wake.
    int error = 0;
    auto step = [&error](bool done)
    {
        if (!done && error == 0)
            error = errno != 0 ? errno : EIO;
        return done;
    };
    // On disk before the rename, or a power cut could leave an empty file.
    bool ok = step(TakeTargetMode(fd, target)) && step(WriteAll(fd, data, length)) && step(::fsync(fd) == 0);
    ok = step(::close(fd) == 0) && ok;
    SaveRenameHook* hook = gSaveRenameHook.load(std::memory_order_acquire);
    if (ok && hook != nullptr && !hook->BeforeRename(temp))
    {
        errno = ECANCELED;
        return false;
    }
    if (ok && beforeRename && !beforeRename())
    {
        error = errno != 0 ? errno : EIO;
        ok = false;
    }
    if (ok && step(::rename(temp.c_str(), target.c_str()) == 0))
    {
        SyncFolder(target);
        return true;
    }
    ::unlink(temp.c_str());
    // For the caller to report.
    errno = error;
    return false;
}

StoredFileRead ReadStoredFile(const std::string& fileName, std::vector<char>* bytes, int32_t maxSize)
{
    bytes->clear();
    // Not blocking: a pipe at the name must not hang the start.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // ENOTDIR: a file where a folder of the path belongs, so nothing at the path itself.
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? StoredFileRead::kMissing : StoredFileRead::kUnreadable;
    struct stat info;
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    // The readers address the stream with 32-bit offsets.
    else if (info.st_size > std::numeric_limits<int32_t>::max() || info.st_size > maxSize)
        error = EFBIG;
    else
    {
        bytes->resize(size_t(info.st_size));
        size_t done = 0;
        while (done < bytes->size() && error == 0)
        {
            const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (got > 0)
                done += size_t(got);
            else if (got == 0)
                bytes->resize(done); // shrunk since fstat
            else if (errno != EINTR)
                error = errno;
        }
    }
    ::close(fd);
    errno = error;
    return error == 0 ? StoredFileRead::kRead : StoredFileRead::kUnreadable;
}

FileSetAside SetFileAside(const std::string& fileName, int readError)
{
    FileSetAside aside;
    aside.mPath = FollowLinks(fileName);
    aside.mReadError = readError;
    const std::string base = aside.mPath + (readError == 0 ? ".damaged" : ".unreadable");
    for (int i = 1; i <= kAsideNames; ++i)
    {
        const std::string name = base + (i > 1 ? std::to_string(i) : "");
        if (RenameWhereFree(aside.mPath, name))
        {
            aside.mKeptAs = name;
            return aside;
        }
        // Earlier files kept keep their names.
        if (errno != EEXIST)
        {
            aside.mMoveError = errno;
            return aside;
        }
    }
    aside.mMoveError = EEXIST;
    return aside;
}

void RemoveStaleTempFiles(const std::string& folder,
                          const std::function<bool(const std::string&)>& isStoredFile)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    const time_t staleBefore = std::time(nullptr) - kStaleTempSeconds;
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string name = entry->d_name;
        if (!IsTempName(name) || !isStoredFile(name.substr(0, name.size() - kTempSuffix)))
            continue;
        const std::string path = AddTrailingSlash(folder) + name;
        struct stat info;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime < staleBefore)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

namespace
{

// One wait for an flock in a thread of its own, flock having no timeout. The thread holds a
// descriptor of its own of the open file; when the wait is given up before it ends, the thread
// lets the lock go as soon as it has it.
struct FlockWait
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool givenUp = false;
    int error = 0; // the flock's errno value; 0: locked
    int fd = -1;
};

void WaitInThread(const std::shared_ptr<FlockWait>& wait)
{
    int result;
    do
        result = ::flock(wait->fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    const int error = result == 0 ? 0 : errno;
    std::lock_guard<std::mutex> lock(wait->mutex);
    wait->done = true;
    wait->error = error;
    if (wait->givenUp)
        ::close(wait->fd);
    wait->ended.notify_one();
}

// Locks fd's open file within `wait`: 0, EWOULDBLOCK when another holds it throughout, or
// the errno value of a system that gives no lock.
int LockWithin(int fd, std::chrono::steady_clock::duration wait)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0 || errno != EWOULDBLOCK || wait <= wait.zero())
        return result == 0 ? 0 : errno;
    auto waiting = std::make_shared<FlockWait>();
    waiting->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (waiting->fd < 0)
        return EWOULDBLOCK;
    try
    {
        std::thread(WaitInThread, waiting).detach();
    }
    catch (const std::system_error&)
    {
        ::close(waiting->fd);
        return EWOULDBLOCK;
    }
    std::unique_lock<std::mutex> lock(waiting->mutex);
    if (!waiting->ended.wait_for(lock, wait, [&waiting] { return waiting->done; }))
    {
        waiting->givenUp = true;
        return EWOULDBLOCK;
    }
    // The lock belongs to the open file, which fd keeps open.
    ::close(waiting->fd);
    return waiting->error;
}

int OpenForLock(const std::string& path, TurnLock::Target target)
{
    if (target == TurnLock::Target::kFolder)
        return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // One another user made: a lock needs no write permission.
    return fd >= 0 || errno != EACCES ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The paths whose last wait ran out. The copy holding one seems stopped, and waiting for it
// again would hold up every later save (a quit makes three) only to fail them all the same:
// waits for it are short, until one has the lock. Short, not none: a wait given up on may
// still be handed the lock, which it then lets go at once.
constexpr std::chrono::milliseconds kWaitAfterOneRanOut(100);

class WaitsRanOut
{
public:
    static WaitsRanOut& Paths()
    {
        // Never destroyed: a thread may still wait while the program ends.
        static WaitsRanOut* paths = new WaitsRanOut();
        return *paths;
    }
    bool Has(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mPaths.count(path) != 0;
    }
    void Set(const std::string& path, bool ranOut)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (ranOut)
            mPaths.insert(path);
        else
            mPaths.erase(path);
    }

private:
    std::mutex mMutex;
    std::set<std::string> mPaths;
};

} // namespace

TurnLock::TurnLock(const std::string& path, Target target, std::chrono::milliseconds wait) : mPath(path)
{
    if (wait > kWaitAfterOneRanOut && WaitsRanOut::Paths().Has(path))
        wait = kWaitAfterOneRanOut;
    Take(target, wait);
    if (mFd >= 0 || (mError == EWOULDBLOCK && wait > kWaitAfterOneRanOut))
        WaitsRanOut::Paths().Set(path, mFd < 0);
}

void TurnLock::Take(Target target, std::chrono::milliseconds wait)
{
    const auto giveUp = std::chrono::steady_clock::now() + wait;
    for (;;)
    {
        const int fd = OpenForLock(mPath, target);
        if (fd < 0)
        {
            mError = errno;
            return;
        }
        mError = LockWithin(fd, giveUp - std::chrono::steady_clock::now());
        struct stat locked;
        struct stat named;
        // Deleted or replaced while this copy waited: another may hold what the path names now.
        if (mError == 0 && ::fstat(fd, &locked) == 0 && ::stat(mPath.c_str(), &named) == 0 &&
            SameFile(locked, named))
        {
            mFd = fd;
            mDevice = locked.st_dev;
            mInode = locked.st_ino;
            return;
        }
        ::close(fd);
        if (mError != 0)
            return;
        if (std::chrono::steady_clock::now() >= giveUp)
        {
            mError = EWOULDBLOCK;
            return;
        }
    }
}

TurnLock::~TurnLock()
{
    if (mFd >= 0)
        ::close(mFd);
}

bool TurnLock::StillHeld() const
{
    struct stat named;
    return mFd >= 0 && ::stat(mPath.c_str(), &named) == 0 && named.st_dev == mDevice && named.st_ino == mInode;
}

} // namespace Vaxo
