// ScrollbuttonWidget: the arrow button at each end of the scroll bar: a drawn bevel
// with a small arrow, pressed in by one pixel. The arrow points up (or left) for id 0
// and down (or right) otherwise, unless mArrowType says which way. Main thread only.
#pragma once

#include "widgets/ButtonWidget.h"

namespace Vaxo
{

class ScrollbuttonWidget : public ButtonWidget
{
public:
    // Arrows point left and right.
    bool mHorizontal;
    // 0 by id and orientation; 1 up, 2 down, 3 left, 4 right (id 0 is always up or left).
    int mArrowType;

public:
    ScrollbuttonWidget(int id, ButtonListener* listener, int arrowType);
    ~ScrollbuttonWidget() override;

    void Draw(Graphics* g) override;
};

} // namespace Vaxo
