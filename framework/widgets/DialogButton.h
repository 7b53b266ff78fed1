// DialogButton: the button of dialogs and dialog skins, drawn from one component image
// laid out as a box (corners copied, edges and centre repeated to the button's size).
// A three-state image holds the normal, hovered and pressed looks as parts of one image
// (mNormalRect, mOverRect, mDownRect). Without a component image it draws exactly like a
// ButtonWidget. Main thread only.
#pragma once

#include "graphics/Rect.h"
#include "widgets/ButtonWidget.h"

namespace Vaxo
{

// The button colour table of dialog buttons: white labels (rows as gButtonWidgetColors).
extern int gDialogButtonColors[6][3];

class DialogButton : public ButtonWidget
{
public:
    // Drawn as a box; not owned; null draws the ButtonWidget look.
    Image* mComponentImage;
    // Shift of the label (and of a box without source rects) while pressed, in pixels.
    int mTranslateX;
    int mTranslateY;
    // Added to the centred label position.
    int mLabelOffsetX;
    int mLabelOffsetY;
    // Where the box goes inside the button; width 0 fills the whole button.
    TRect<int> mBoxRect;

public:
    DialogButton(Image* componentImage, int id, ButtonListener* listener);
    ~DialogButton() override;

    void Draw(Graphics* g) override;

private:
    // The box from the part src of the component image, into dest.
    void DrawBox(Graphics* g, const TRect<int>& src, const TRect<int>& dest);
};

} // namespace Vaxo
