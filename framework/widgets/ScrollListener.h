// ScrollListener: how the scroll bar reports its value.
// The default body does nothing; never owned.
#pragma once

namespace Vaxo
{

class ScrollListener
{
public:
    virtual void ScrollPosition(int id, double position)
    {
        (void)id;
        (void)position;
    }

protected:
    ~ScrollListener() = default;
};

} // namespace Vaxo
