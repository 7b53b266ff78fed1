// ScopedFullDisk: while it lives, no file of the process can grow, as on a full disk (files
// are still made; writing to them fails with EFBIG). The file-size limit holds even for
// root, which a read-only folder does not stop.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <stdexcept>

namespace Vaxo
{

class ScopedFullDisk
{
public:
    ScopedFullDisk()
    {
        // Crossing the limit raises SIGXFSZ, which would end the process; ignored, the
        // write fails instead.
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        if (getrlimit(RLIMIT_FSIZE, &mOldLimit) != 0)
            throw std::runtime_error("cannot read the file-size limit");
        rlimit full = mOldLimit;
        full.rlim_cur = 0; // the hard limit stays, so that the old limit can come back
        if (setrlimit(RLIMIT_FSIZE, &full) != 0)
            throw std::runtime_error("cannot limit the file size");
    }
    ~ScopedFullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &mOldLimit);
        std::signal(SIGXFSZ, mOldHandler);
    }
    ScopedFullDisk(const ScopedFullDisk&) = delete;
    ScopedFullDisk& operator=(const ScopedFullDisk&) = delete;

private:
    rlimit mOldLimit;
    void (*mOldHandler)(int);
};

} // namespace Vaxo
