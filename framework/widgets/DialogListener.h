// DialogListener: how dialogs report their buttons (1000 yes/OK, 1001 no/cancel,
// 1002 a third button) to their owner. Default bodies do nothing; never owned.
#pragma once

namespace Vaxo
{

class DialogListener
{
public:
    virtual void DialogButtonPress(int dialogId, int buttonId)
    {
        (void)dialogId;
        (void)buttonId;
    }
    virtual void DialogButtonDepress(int dialogId, int buttonId)
    {
        (void)dialogId;
        (void)buttonId;
    }

protected:
    ~DialogListener() = default;
};

} // namespace Vaxo
