// An X server of one test's own: Xvfb at 24 bits, without a window manager, on a display
// number it picks itself. For what the tests sharing the suite's displays would disturb:
// the keyboard focus, of which a server has one.
#pragma once

#include "common/support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>

namespace Vaxo
{

class PrivateXServer
{
public:
    PrivateXServer()
    {
        int number[2];
        if (pipe(number) != 0)
            return;
        mPid = StartChild(
            [&]
            {
                close(number[0]);
                // Its own session, so that Ctrl+C reaches the test and not the server under it.
                setsid();
                const std::string fd = std::to_string(number[1]);
                execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
                       "tcp", "-noreset", static_cast<char*>(nullptr));
                return 127;
            });
        close(number[1]);
        // The server writes its display number once it listens; ten seconds at most.
        std::string digits;
        pollfd wait{number[0], POLLIN, 0};
        char c = 0;
        while (mPid > 0 && poll(&wait, 1, 10000) == 1 && read(number[0], &c, 1) == 1 && c != '\n')
            digits += c;
        close(number[0]);
        if (c == '\n' && !digits.empty())
            mName = ":" + digits;
    }
    ~PrivateXServer()
    {
        if (mPid > 0)
        {
            kill(mPid, SIGTERM);
            ChildStatus(mPid, true);
        }
    }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":N", or empty when the server did not start.
    const std::string& Name() const { return mName; }

private:
    pid_t mPid = -1;
    std::string mName;
};

} // namespace Vaxo
