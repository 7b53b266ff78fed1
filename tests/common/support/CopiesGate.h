// CopiesGate: pipes by which copies of the program (child processes) wait until the test lets
// them all go on at once, so that they do the next step at the same moment.
#pragma once

#include <poll.h>
#include <unistd.h>

namespace Vaxo
{

class CopiesGate
{
public:
    CopiesGate()
    {
        if (pipe(mArrived) != 0 || pipe(mGo) != 0)
            mArrived[0] = mArrived[1] = mGo[0] = mGo[1] = -1;
    }
    ~CopiesGate()
    {
        for (int fd : {mArrived[0], mArrived[1], mGo[0], mGo[1]})
            if (fd >= 0)
                close(fd);
    }
    CopiesGate(const CopiesGate&) = delete;
    CopiesGate& operator=(const CopiesGate&) = delete;

    // In a copy: says it is here, and waits until the test opens the gate.
    bool Pass()
    {
        // The copy's own end of the gate: the gate opens once the test's is closed too.
        close(mGo[1]);
        mGo[1] = -1;
        char byte = 0;
        return write(mArrived[1], "x", 1) == 1 && read(mGo[0], &byte, 1) == 0;
    }
    // In the test: waits for `copies` copies (a minute at most); false when they did not all come.
    // They wait on until Open.
    bool AllHere(int copies)
    {
        int here = 0;
        pollfd arrived = {mArrived[0], POLLIN, 0};
        char byte = 0;
        while (here < copies && poll(&arrived, 1, 60000) == 1 && read(mArrived[0], &byte, 1) == 1)
            here++;
        return here == copies;
    }
    // In the test: lets every copy that waits, or comes later, go on.
    void Open()
    {
        // The last end closed: every copy's read, there or still to come, ends at once.
        if (mGo[1] >= 0)
            close(mGo[1]);
        mGo[1] = -1;
    }
    bool OpenWhenAllHere(int copies)
    {
        const bool all = AllHere(copies);
        Open();
        return all;
    }

private:
    int mArrived[2];
    int mGo[2];
};

} // namespace Vaxo
