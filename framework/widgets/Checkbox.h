// Checkbox: a boolean that a press toggles, drawn from two images, from two parts of one
// image, or as a plain box with a cross. It tells its CheckboxListener (optional) of
// every change, as the last thing it does: the listener may delete the box.
// Main thread only.
#pragma once

#include "graphics/Color.h"
#include "graphics/Rect.h"
#include "widgets/CheckboxListener.h"
#include "widgets/Widget.h"

namespace Vaxo
{

class Image;

class Checkbox : public Widget
{
public:
    // Not owned; may be null.
    CheckboxListener* mListener;
    int mId;
    bool mChecked;
    // Not owned. mUncheckedImage is the one source image of the two rects.
    Image* mUncheckedImage;
    Image* mCheckedImage;
    // Parts of mUncheckedImage; used when mCheckedRect's width is not 0.
    TRect<int> mCheckedRect;
    TRect<int> mUncheckedRect;
    // The drawn look.
    Color mOutlineColor;
    Color mBackgroundColor;
    Color mCheckColor;

public:
    Checkbox(Image* uncheckedImage, Image* checkedImage, int id, CheckboxListener* listener);
    ~Checkbox() override;

    void Draw(Graphics* g) override;
    void MouseDown(int x, int y, int clickCount) override;
    // Any button toggles, on the press.
    void MouseDown(int x, int y, int button, int clickCount) override;

    // tell: call the listener (if any), even when the state did not change.
    virtual void SetChecked(bool checked, bool tell);
    virtual bool IsChecked();
};

} // namespace Vaxo
