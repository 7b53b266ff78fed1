// SimpleDialog: the skinned Dialog every dialog of the game, the profile dialogs and the
// options dialog derive from, and three small widgets of skinned dialogs.
//
// A SimpleDialog takes its background, fonts and base buttons from the default skin
// (DialogSkin::mDefSkin, which must hold a skin when one is built) and keeps that skin
// and the skin's per-dialog instance for its lifetime. It can carry a third button
// (DIALOG_BUTTON_THIRD) above the two base buttons, and slide in from above the screen (ScrollOn).
// SimpleLabel is a line of text the mouse passes through, SimpleCheckbox a check box
// with a text label, SimpleOverlayDraw draws another widget's overlay in the middle of
// a child list. Main thread only.
#pragma once

#include "common/Common.h"
#include "common/SmartPtr.h"
#include "graphics/Color.h"
#include "graphics/Rect.h"
#include "widgets/Checkbox.h"
#include "widgets/Dialog.h"
#include "widgets/DialogSkin.h"
#include "widgets/Widget.h"

#include <memory>

namespace Vaxo
{

class Font;

class SimpleDialog : public Dialog
{
public:
    // The skin the dialog was built with, and its instance for this dialog (null unless
    // the skin's DialogInit made one).
    SmartPtr<DialogSkin> mSkin;
    SmartPtr<DialogSkinInst> mSkinInst;
    // Where the slide-in stops, in pixels.
    int mScrollTargetY;
    // 0 still, 1 sliding in.
    int mScrollState;
    // DIALOG_BUTTON_THIRD above the base buttons; owned, a sibling of the dialog as they are.
    OwnedWidget<DialogButton> mThirdButton;
    // The third button's row and the base buttons' row trade places.
    bool mSwapThirdButton;

public:
    SimpleDialog(int id, bool isModal, const VaxoString& header, const VaxoString& lines,
                 const VaxoString& footer, int buttonMode);
    ~SimpleDialog() override;

    // Only on a dialog with both base buttons, once.
    void DoThirdButton(const VaxoString& label, bool swap);
    // Starts the slide from just above the screen down to the current top, 20 pixels an
    // update.
    void ScrollOn();
    bool IsScrolling();
    // The base buttons of the button mode, from the skin.
    void SetupBaseButtons();

    static void StaticInit();
    static void StaticDestroy();

    void AddedToManager(WidgetManager* manager) override;
    void RemovedFromManager(WidgetManager* manager) override;
    void Update() override;
    void Draw(Graphics* g) override;
    void OrderInManagerChanged() override;
    using Dialog::Resize;
    void Resize(int x, int y, int width, int height) override;
    int GetPreferredHeight(int width) override;
};

class SimpleLabel : public Widget
{
public:
    // Not owned.
    Font* mFont;
    VaxoString mLabel;
    Color mColor;

public:
    SimpleLabel(Font* font, const VaxoString& text);
    ~SimpleLabel() override;

    // A non-null font replaces the current one; the size follows the text.
    void Init(const VaxoString& text, Font* font);
    void Draw(Graphics* g) override;
};

class SimpleCheckbox : public Checkbox
{
public:
    // Not owned: the label font of the default skin when the box was made.
    Font* mFont;
    VaxoString mLabel;
    // The box, in pixels; the label starts mLabelGap to its right.
    int mBoxWidth;
    int mBoxHeight;
    int mLabelGap;
    Color mLabelColor;

public:
    // image: checked frame above unchecked frame; null draws a 17 x 17 box. Not owned.
    SimpleCheckbox(const VaxoString& label, int id, CheckboxListener* listener, Image* image);
    ~SimpleCheckbox() override;

    void Draw(Graphics* g) override;
};

class SimpleOverlayDraw : public Widget
{
public:
    // Whose overlay is drawn, in the parent's coordinates; not owned.
    Widget* mTarget;

public:
    explicit SimpleOverlayDraw(Widget* target);
    ~SimpleOverlayDraw() override;

    void Draw(Graphics* g) override;
};

} // namespace Vaxo
