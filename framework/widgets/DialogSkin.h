// DialogSkin: the shared factory that makes the controls of skinned dialogs (buttons,
// check boxes, edit fields, sliders, labels, list boxes) with its images, fonts and click
// sound, and dresses every new SimpleDialog. DialogSkinInst is a skin's per-dialog
// companion, updated and drawn with its dialog.
//
// DialogSkin::mDefSkin is the skin every new SimpleDialog takes: StaticInit installs the
// built-in skin (DefInit), an application may assign its own subclass instead, and
// StaticDestroy drops it. The built-in skin's images are registered with the
// application, so the last reference to it must go before the application does.
// Main thread only; the reference counts are safe across threads.
#pragma once

#include "common/Common.h"
#include "common/SmartPtr.h"
#include "widgets/WidgetContainer.h"

namespace Vaxo
{

class ButtonListener;
class Checkbox;
class CheckboxListener;
class DialogButton;
class EditListener;
class EditWidget;
class Font;
class Graphics;
class Image;
class ListListener;
class ListWidget;
class SimpleDialog;
class Slider;
class SliderListener;
class Widget;

// An image or font of a skin with its ownership flag: an owned object is deleted when it
// is replaced or when the skin goes; a borrowed one (a resource a subclass uses) never.
template <typename T> class SkinPart
{
public:
    SkinPart() = default;
    SkinPart(const SkinPart&) = delete;
    SkinPart& operator=(const SkinPart&) = delete;
    ~SkinPart()
    {
        if (mOwned)
            delete mObject;
    }

    // Setting the object already held only changes the flag: it is never deleted under
    // its new holder.
    void Set(T* object, bool owned)
    {
        T* old = mObject;
        const bool deleteOld = mOwned && old != object;
        mObject = object;
        mOwned = owned;
        if (deleteOld)
            delete old;
    }
    T* get() const { return mObject; }
    operator T*() const { return mObject; }
    T* operator->() const { return mObject; }
    bool IsOwned() const { return mOwned; }

private:
    friend class DialogSkin;
    T* mObject = nullptr;
    bool mOwned = false;
};

class DialogSkin : public RefCount
{
public:
    // Background of every SimpleDialog.
    SkinPart<Image> mDialogImage;
    // Three equal frames stacked vertically: normal, highlighted, pressed.
    SkinPart<Image> mDialogButtonImage;
    SkinPart<Image> mSliderTrackImage;
    SkinPart<Image> mSliderThumbImage;
    // Two equal frames stacked vertically, checked above unchecked; null: the drawn box.
    SkinPart<Image> mCheckboxImage;
    // Frame drawn over the list of a ListDialog.
    SkinPart<Image> mInnerWindowImage;
    // Moves the frame's left and top edges by left and top, its right and bottom edges
    // by right and bottom, in pixels.
    Insets mInnerWindowInsets;
    // Body font of SimpleDialogs.
    SkinPart<Font> mLinesFont;
    // Font of buttons, labels, check boxes, edit fields and list boxes.
    SkinPart<Font> mLabelFont;
    // Header and footer font of SimpleDialogs.
    SkinPart<Font> mHeaderFont;
    // Played when a skin button is pressed; -1 none.
    int mButtonClickSound;

    // The skin new SimpleDialogs take; null until StaticInit or an assignment.
    static SmartPtr<DialogSkin> mDefSkin;

public:
    DialogSkin();
    ~DialogSkin() override;

    // Every control made is owned by the caller.
    virtual DialogButton* CreateDialogButton(int id, ButtonListener* listener, const char* label);
    virtual Checkbox* CreateCheckbox(const VaxoString& label, int id, CheckboxListener* listener);
    virtual EditWidget* CreateEdit(int id, EditListener* listener);
    virtual Slider* CreateSlider(int id, SliderListener* listener);
    // font null: the label font.
    virtual Widget* CreateLabel(const VaxoString& text, Font* font);
    virtual ListWidget* CreateListBox(int id, ListListener* listener);
    // Called at the end of every SimpleDialog's construction; a subclass dresses the
    // dialog and may give it a DialogSkinInst.
    virtual void DialogInit(SimpleDialog* dialog);

    // A button on image (not taken) instead of the skin's button image.
    DialogButton* CreateDialogButton(int id, ButtonListener* listener, Image* image, const char* label);
    // The built-in look: drawn images and system fonts.
    void DefInit();

    static void StaticInit();
    static void StaticDestroy();
};

class DialogSkinInst : public RefCount
{
public:
    // Not owned: the dialog holds the instance.
    SimpleDialog* mDialog;

public:
    explicit DialogSkinInst(SimpleDialog* dialog);
    ~DialogSkinInst() override;

    // With the dialog's Update and after its Draw.
    virtual void Update();
    virtual void Draw(Graphics* g);
};

} // namespace Vaxo
