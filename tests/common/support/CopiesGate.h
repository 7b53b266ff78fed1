// CopiesGate: pipes by which copies of the program (child processes) wait until the test lets
// them all go on at once, so that they do the next step at the same moment.
#pragma once

#include "common/support/ChildProcess.h"

namespace Vaxo
{

class CopiesGate
{
public:
    // In a copy: says it is here, and waits until the test opens the gate.
    bool Pass()
    {
        // The copy's own end of the gate: the gate opens once the test's is closed too.
        mGo.CloseWriteEnd();
        return mArrived.Write('x') && mGo.ReadToEnd();
    }
    // In the test: waits for `copies` copies (a minute at most); false when they did not all come.
    // They wait on until Open.
    bool AllHere(int copies)
    {
        int here = 0;
        char byte = 0;
        while (here < copies && mArrived.Read(&byte, 60000))
            here++;
        return here == copies;
    }
    // In the test: lets every copy that waits, or comes later, go on.
    void Open()
    {
        // The last end closed: every copy's read, there or still to come, ends at once.
        mGo.CloseWriteEnd();
    }
    bool OpenWhenAllHere(int copies)
    {
        const bool all = AllHere(copies);
        Open();
        return all;
    }

private:
    Pipe mArrived;
    Pipe mGo;
};

} // namespace Vaxo
