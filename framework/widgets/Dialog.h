// Dialog: the framework's box with a header line, word-wrapped body text, a footer line
// and up to two push buttons.
//
// A dialog lies directly in the widget manager; its buttons (DialogButtons with the ids
// DIALOG_BUTTON_YES and DIALOG_BUTTON_NO, DialogListener.h) are separate widgets it adds to
// the same manager and keeps directly in front of itself, not its children. It answers its
// DialogListener with (dialog id, button id), keeps the last button released as mResult,
// can be dragged with the mouse, and lets a caller wait in WaitForResult while the program
// keeps running.
// The application's dialog table (VaxoAppBase::DoDialog, AddDialog, KillDialog) creates,
// places and kills dialogs by id; SimpleDialog and the game's dialogs derive from it.
// Main thread only.
#pragma once

#include "common/Common.h"
#include "widgets/ButtonListener.h"
#include "widgets/DialogButton.h"
#include "widgets/DialogListener.h"
#include "widgets/OwnedWidget.h"
#include "widgets/Widget.h"

#include <cstdint>
#include <memory>

namespace Vaxo
{

class Font;
class Image;

// Button labels of modes 1 and 2.
extern VaxoString DIALOG_YES_STRING;
extern VaxoString DIALOG_NO_STRING;
extern VaxoString DIALOG_OK_STRING;
extern VaxoString DIALOG_CANCEL_STRING;

// Colour rows (r, g, b): 0 header, 1 body, 2 footer, 3 button label, 4 button label
// while hovered, 5 box fill and 6 box outline of the drawn look.
extern int gDialogColors[7][3];

class Dialog : public Widget, public ButtonListener
{
public:
    // mResult until a button is released.
    static constexpr int32_t kNoResult = 2147483647;

    // Told of button presses and releases; the application by default. Not owned.
    DialogListener* mDialogListener;
    // Receives the characters typed while the dialog has the focus; not owned.
    Widget* mKeyForwardWidget;
    // Background drawn as a box; null selects the drawn look. Not owned.
    Image* mComponentImage;
    // Buttons Yes and No as the button mode asks; owned, deleted with the dialog
    // unless the manager deleted them first.
    OwnedWidget<DialogButton> mYesButton;
    OwnedWidget<DialogButton> mNoButton;
    VaxoString mDialogHeader;
    // Also the label of the single button of mode 3 (and then not drawn as text).
    VaxoString mDialogFooter;
    VaxoString mDialogLines;
    // 1 yes/no, 2 OK/cancel, 3 one button labelled with the footer, else none.
    int mButtonMode;
    // Header and footer font, body font; owned, made on first use when not set.
    std::unique_ptr<Font> mHeaderFont;
    std::unique_ptr<Font> mLinesFont;
    // Justification of the body text.
    int mTextAlign;
    // Added to the body font's line spacing, in pixels.
    int mLineSpacingOffset;
    // Height of the button row, in pixels.
    int mButtonHeight;
    // Margin between the widget's rect and the drawn box.
    Insets mBackgroundInsets;
    // Margin between the box and the text and buttons.
    Insets mContentInsets;
    int mSpaceAfterHeader;
    bool mDragging;
    // The point of the dialog held by the mouse, in dialog coordinates.
    int mDragMouseX;
    int mDragMouseY;
    int mId;
    bool mIsModal;
    // Id of the last button released (a DialogButtonId), or kNoResult.
    int mResult;
    // y just below the last text line, recorded by each Draw.
    int mTextBottom;
    // Gap between the two buttons, and extra margin outside them, in pixels.
    int mButtonHorzSpacing;
    int mButtonSidePadding;

public:
    Dialog(Image* componentImage, Image* buttonComponentImage, int id, bool isModal, const VaxoString& header,
           const VaxoString& lines, const VaxoString& footer, int buttonMode);
    ~Dialog() override;

    // Each button keeps its own copy.
    virtual void SetButtonFont(Font* font);
    // The dialog keeps its own copy.
    virtual void SetHeaderFont(Font* font);
    virtual void SetLinesFont(Font* font);
    virtual int GetPreferredHeight(int width);
    virtual bool IsModal();
    // Runs the program's loop until a button answers, the dialog leaves the manager or
    // is killed, or the program shuts down; then (with autoKill) kills the dialog if it
    // is still registered. Returns the result (kNoResult when there is none).
    virtual int WaitForResult(bool autoKill);
    // DialogButtonIds only; other ids are ignored.
    using ButtonListener::ButtonPress;
    void ButtonPress(int id) override;
    void ButtonDepress(int id) override;
    void ButtonDownTick(int id) override;

    void AddedToManager(WidgetManager* manager) override;
    void RemovedFromManager(WidgetManager* manager) override;
    void Update() override;
    void Draw(Graphics* g) override;
    void OrderInManagerChanged() override;
    // Index 3 also sets the buttons' label colour, index 4 their hovered label colour.
    void SetColor(int index, const Color& color) override;
    using Widget::Resize;
    // Places the buttons too (in the manager's coordinates: they are siblings).
    void Resize(int x, int y, int width, int height) override;
    void KeyChar(char c) override;
    using Widget::MouseDown;
    using Widget::MouseUp;
    void MouseDown(int x, int y, int button, int clickCount) override;
    void MouseUp(int x, int y, int button, int clickCount) override;
    void MouseDrag(int x, int y) override;

    // Makes the system fonts of the roles that have none.
    void EnsureFonts();

private:
    // Where the destructor leaves the result for every WaitForResult running on this
    // dialog, which may outlive it; made by the first wait.
    std::shared_ptr<int32_t> mFinalResult;

    // The buttons that exist.
    template <typename F> void ForEachButton(F f);
};

} // namespace Vaxo
