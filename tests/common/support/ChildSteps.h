// ChildSteps: a copy of the program in a child process that takes its steps one at a time, each
// when the test says, and lives on between them, as a running copy does, holding its locks while
// the test's own copy acts.
#pragma once

#include "common/support/ChildProcess.h"

#include <poll.h>
#include <unistd.h>

#include <functional>
#include <utility>
#include <vector>

namespace Vaxo
{

class ChildSteps
{
public:
    // Starts the child, which waits for the first Next. A step answers whether it went as it
    // should; the child then exits with 0 when every step did.
    explicit ChildSteps(std::vector<std::function<bool()>> steps)
    {
        if (pipe(mGo) != 0 || pipe(mDone) != 0)
            return;
        mPid = StartChild(
            [this, steps = std::move(steps)]
            {
                close(mGo[1]);
                close(mDone[0]);
                bool all = true;
                char byte = 0;
                for (const std::function<bool()>& step : steps)
                {
                    if (read(mGo[0], &byte, 1) != 1)
                        return 3;
                    const bool went = step();
                    all = all && went;
                    if (write(mDone[1], went ? "1" : "0", 1) != 1)
                        return 3;
                }
                // Lives on until the test lets it go.
                while (read(mGo[0], &byte, 1) == 1)
                {
                }
                return all ? 0 : 1;
            });
        close(mGo[0]);
        close(mDone[1]);
        mGo[0] = mDone[1] = -1;
    }
    ~ChildSteps() { Quit(); }
    ChildSteps(const ChildSteps&) = delete;
    ChildSteps& operator=(const ChildSteps&) = delete;

    // Runs the next step in the child and waits for it (a minute at most): its answer; false when
    // the child is gone or took longer.
    bool Next()
    {
        char byte = 0;
        pollfd done = {mDone[0], POLLIN, 0};
        return mPid > 0 && write(mGo[1], "x", 1) == 1 && poll(&done, 1, 60000) == 1 &&
               read(mDone[0], &byte, 1) == 1 && byte == '1';
    }
    // Lets the child end (a minute at most): its exit status, 0 when every step went as it should.
    int Quit()
    {
        for (int* fd : {&mGo[0], &mGo[1], &mDone[0], &mDone[1]})
        {
            if (*fd >= 0)
                close(*fd);
            *fd = -1;
        }
        const int status = mPid > 0 ? WaitForChild(mPid, 60) : -1;
        mPid = -1;
        return status;
    }

private:
    pid_t mPid = -1;
    int mGo[2] = {-1, -1};
    int mDone[2] = {-1, -1};
};

} // namespace Vaxo
