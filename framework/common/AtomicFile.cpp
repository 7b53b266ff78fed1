#include "common/AtomicFile.h"

#include "common/Common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace Vaxo
{

namespace
{

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

// mkstemp makes its files private; the saved file keeps the permissions it had.
bool TakeTargetMode(int fd, const std::string& fileName)
{
    struct stat info;
    const mode_t mode = ::stat(fileName.c_str(), &info) == 0 ? mode_t(info.st_mode & 07777) : NewFileMode();
    return ::fchmod(fd, mode) == 0;
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

} // namespace

bool WriteFileAtomically(const std::string& fileName, const void* data, uint32_t length,
                         const std::function<bool(const std::string&)>& beforeRename)
{
    if (data == nullptr && length > 0)
    {
        errno = EINVAL;
        return false;
    }
    // Beside the target, so that the rename stays within one file system.
    std::string temp = fileName + ".XXXXXX";
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
    bool ok =
        step(TakeTargetMode(fd, fileName)) && step(WriteAll(fd, data, length)) && step(::fsync(fd) == 0);
    ok = step(::close(fd) == 0) && ok;
    if (ok && beforeRename && !beforeRename(temp))
    {
        errno = ECANCELED;
        return false;
    }
    if (ok && step(::rename(temp.c_str(), fileName.c_str()) == 0))
    {
        SyncFolder(fileName);
        return true;
    }
    ::unlink(temp.c_str());
    // For the caller to report.
    errno = error;
    return false;
}

std::string MoveDamagedFileAside(const std::string& fileName, int* error)
{
    *error = 0;
    for (int i = 1; i <= 100; ++i)
    {
        const std::string aside = fileName + ".damaged" + (i > 1 ? std::to_string(i) : "");
        if (FileExists(aside))
            continue;
        if (std::rename(fileName.c_str(), aside.c_str()) == 0)
            return aside;
        *error = errno;
        break;
    }
    return "";
}

} // namespace Vaxo
