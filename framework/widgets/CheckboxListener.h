// CheckboxListener: how the check box reports a change of its state.
// The default body does nothing; never owned.
#pragma once

namespace Vaxo
{

class CheckboxListener
{
public:
    virtual void CheckboxChecked(int id, bool checked)
    {
        (void)id;
        (void)checked;
    }

protected:
    ~CheckboxListener() = default;
};

} // namespace Vaxo
