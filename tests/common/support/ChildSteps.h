// ChildSteps: a copy of the program in a child process that takes its steps one at a time, each
// when the test says, and lives on between them, as a running copy does, holding its locks while
// the test's own copy acts.
#pragma once

#include "common/support/ChildProcess.h"

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
        if (!mGo.Made() || !mDone.Made())
            return;
        mPid = StartChild(
            [this, steps = std::move(steps)]
            {
                mGo.CloseWriteEnd();
                mDone.CloseReadEnd();
                bool all = true;
                char byte = 0;
                for (const std::function<bool()>& step : steps)
                {
                    if (!mGo.Read(&byte, -1))
                        return 3;
                    const bool went = step();
                    all = all && went;
                    if (!mDone.Write(went ? '1' : '0'))
                        return 3;
                }
                // Lives on until the test lets it go.
                mGo.ReadToEnd();
                return all ? 0 : 1;
            });
        mGo.CloseReadEnd();
        mDone.CloseWriteEnd();
    }
    ~ChildSteps() { Quit(); }
    ChildSteps(const ChildSteps&) = delete;
    ChildSteps& operator=(const ChildSteps&) = delete;

    // Runs the next step in the child and waits for it (a minute at most): its answer; false when
    // the child is gone or took longer.
    bool Next()
    {
        char byte = 0;
        return mPid > 0 && mGo.Write('x') && mDone.Read(&byte, 60000) && byte == '1';
    }
    // Lets the child end (a minute at most): its exit status, 0 when every step went as it should.
    int Quit()
    {
        mGo.CloseWriteEnd();
        mDone.CloseReadEnd();
        const int status = mPid > 0 ? WaitForChild(mPid, 60) : -1;
        mPid = -1;
        return status;
    }

private:
    Pipe mGo;
    Pipe mDone;
    pid_t mPid = -1;
};

} // namespace Vaxo
