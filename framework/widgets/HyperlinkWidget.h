// HyperlinkWidget: an underlined text link. A ButtonWidget with no pressed, disabled or
// image look: the label in mLinkColor (mLinkOverColor while hovered) over one or more
// one-pixel underline rows. Main thread only.
#pragma once

#include "graphics/Color.h"
#include "widgets/ButtonWidget.h"

namespace Vaxo
{

class HyperlinkWidget : public ButtonWidget
{
public:
    Color mLinkColor;
    Color mLinkOverColor;
    // Number of one-pixel underline rows.
    int mUnderlineThickness;
    // Pixels from the label's baseline down to the first underline row.
    int mUnderlineOffset;

public:
    HyperlinkWidget(int id, ButtonListener* listener);
    ~HyperlinkWidget() override;

    void Draw(Graphics* g) override;
    void MouseEnter() override;
    void MouseLeave() override;
};

} // namespace Vaxo
