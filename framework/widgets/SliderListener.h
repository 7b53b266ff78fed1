// SliderListener: how the slider reports its value (0.0 to 1.0).
// The default body does nothing; never owned.
#pragma once

namespace Vaxo
{

class SliderListener
{
public:
    virtual void SliderVal(int id, double value)
    {
        (void)id;
        (void)value;
    }

protected:
    ~SliderListener() = default;
};

} // namespace Vaxo
