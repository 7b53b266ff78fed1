// Child processes, for what one test process cannot show by itself: a panel that blocks its
// thread, two copies of the program at once, what an ordinary user may read (root reads
// every file), a limit that ends the process it is set in.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace Vaxo
{

// What ChildStatus answers while the child runs on.
constexpr int kChildRunning = -2;

// Runs body in a child process, which exits with what body returns; the child's pid (-1
// when none could be made).
inline pid_t StartChild(const std::function<int()>& body)
{
    // What this process has buffered would otherwise be written by both.
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    std::_Exit(body());
}

// The same with the child's stdout and stderr in the file `output`.
inline pid_t StartChild(const std::string& output, const std::function<int()>& body)
{
    return StartChild(
        [&]
        {
            dup2(fileno(std::fopen(output.c_str(), "w")), 1);
            dup2(1, 2);
            return body();
        });
}

// A child that ended: its exit status, -1 after a signal (or for no child of this process).
// While it runs on (only when not waiting): kChildRunning.
inline int ChildStatus(pid_t pid, bool wait)
{
    int status = 0;
    // waitpid would take any child for these.
    if (pid <= 0)
        return -1;
    const pid_t ended = waitpid(pid, &status, wait ? 0 : WNOHANG);
    if (ended == 0)
        return kChildRunning;
    return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The child's ChildStatus once it ended; after `seconds` it is killed (-1).
inline int WaitForChild(pid_t pid, int seconds)
{
    for (int waited = 0; waited < seconds * 50; ++waited)
    {
        const int status = ChildStatus(pid, false);
        if (status != kChildRunning)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    ChildStatus(pid, true);
    return -1;
}

// Runs body in a child process and waits for it (a minute at most): its ChildStatus.
inline int RunInChild(const std::function<int()>& body)
{
    return WaitForChild(StartChild(body), 60);
}

// body for a child to run as an ordinary user (uid and gid 65534) when this process runs as
// root, who reads a file whatever its permissions say; it answers 255 when the user could not
// be changed.
inline std::function<int()> AsOrdinaryUser(std::function<int()> body)
{
    return [body = std::move(body)]
    {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 255;
        return body();
    };
}

// RunInChild as an ordinary user (AsOrdinaryUser).
inline int RunAsOrdinaryUser(const std::function<int()>& body)
{
    return RunInChild(AsOrdinaryUser(body));
}

// A pipe by which a test and its child processes signal each other a byte at a time. A child forked
// while an end is open holds that end too: a reader finds the end of the pipe only once every copy
// of the write end is closed, the child's own included.
class Pipe
{
public:
    Pipe()
    {
        if (pipe(mEnds) != 0)
            mEnds[0] = mEnds[1] = -1;
    }
    ~Pipe()
    {
        CloseReadEnd();
        CloseWriteEnd();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool Made() const { return mEnds[0] >= 0; }
    bool Write(char byte) { return write(mEnds[1], &byte, 1) == 1; }
    // The next byte, waited for `milliseconds` at most (-1: as long as it takes); false when none
    // came, or every write end is closed.
    bool Read(char* byte, int milliseconds)
    {
        pollfd readable = {mEnds[0], POLLIN, 0};
        return Made() && poll(&readable, 1, milliseconds) == 1 && read(mEnds[0], byte, 1) == 1;
    }
    // Waits until every write end is closed, passing over what was written before.
    bool ReadToEnd()
    {
        char byte = 0;
        ssize_t got = 0;
        while ((got = read(mEnds[0], &byte, 1)) == 1)
        {
        }
        return got == 0;
    }
    void CloseReadEnd() { Close(&mEnds[0]); }
    void CloseWriteEnd() { Close(&mEnds[1]); }

private:
    static void Close(int* fd)
    {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }

    int mEnds[2];
};

} // namespace Vaxo
