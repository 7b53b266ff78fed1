// ButtonWidget: the push button of the widget toolkit, and the colour tables of the
// button family.
//
// A button has an id, a label and up to four looks (normal, hovered, pressed, disabled)
// taken from images, from parts of one image, or from a drawn bevel. It reports presses,
// releases over it, hover and held-down ticks to its ButtonListener, always with mId
// first. Every listener call is the last thing a handler does: the listener may remove
// and delete the button (a nested modal loop, a screen change). DialogButton,
// HyperlinkWidget and ScrollbuttonWidget derive from it; owners set the public members
// directly after construction. Main thread only.
#pragma once

#include "common/Common.h"
#include "graphics/Rect.h"
#include "widgets/ButtonListener.h"
#include "widgets/Widget.h"

#include <memory>

namespace Vaxo
{

class Font;
class Image;

// Colour rows (r, g, b): 0 label, 1 label while hovered, 2 dark bevel edge, 3 light
// bevel edge, 4 inner shadow, 5 face. An owner may add 6, the label while pressed.
extern int gButtonWidgetColors[6][3];

class ButtonWidget : public Widget
{
public:
    // Passed to every listener call.
    int mId;
    VaxoString mLabel;
    // 0 centred, 1 against the right edge, anything else at x 0.
    int mLabelJustify;
    // Label font; owned (SetFont copies). Made on the first draw that needs one.
    std::unique_ptr<Font> mFont;
    // The four looks; not owned. mButtonImage is also the one source image of the
    // rectangles below.
    Image* mButtonImage;
    Image* mOverImage;
    Image* mDownImage;
    Image* mDisabledImage;
    // Parts of mButtonImage; a rectangle counts as set when its width is not 0.
    TRect<int> mNormalRect;
    TRect<int> mOverRect;
    TRect<int> mDownRect;
    TRect<int> mDisabledRect;
    // The pressed and unpressed looks trade places.
    bool mInverted;
    // Draw nothing at all.
    bool mNoDraw;
    // The drawn look without face and bevel (label only).
    bool mNoFrame;
    // Not owned; must not be null.
    ButtonListener* mListener;
    // Played on every press; negative for none.
    int mClickSoundId;
    // Strength of the hover look, 0 to 1, and its change per update tick.
    double mHoverAlpha;
    double mHoverFadeOutSpeed;
    double mHoverFadeInSpeed;

public:
    ButtonWidget(int id, ButtonListener* listener);
    ~ButtonWidget() override;

    void Update() override;
    void Draw(Graphics* g) override;
    void SetDisabled(bool disabled) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseMove(int x, int y) override;
    void MouseDown(int x, int y, int clickCount) override;
    void MouseDown(int x, int y, int button, int clickCount) override;
    void MouseUp(int x, int y) override;
    void MouseUp(int x, int y, int clickCount) override;
    void MouseUp(int x, int y, int button, int clickCount) override;

    // A set rect always selects from mButtonImage, whatever image is passed.
    virtual void DrawButtonImage(Graphics* g, Image* image, const TRect<int>& rect, int x, int y);
    // Keeps a copy of font (the caller keeps its own); null removes the font.
    virtual void SetFont(Font* font);
    // Held down with the mouse over it, and not disabled.
    virtual bool IsButtonDown();

    bool HaveButtonImage(Image* image, const TRect<int>& rect);
    // Colour 0, 1 while hovered, 6 (when present) while hovered and held.
    void SetButtonTextColor(Graphics* g);

protected:
    // Makes the system font a label falls back to when no font was set.
    void EnsureFont(int pointSize, int script);
    // MarkDirty on enter and leave when the hover changes the look.
    bool HoverChangesLook();
};

} // namespace Vaxo
