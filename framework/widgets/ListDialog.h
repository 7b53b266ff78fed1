// ListDialog: a skinned dialog showing a list of text lines between its header and its
// buttons, with a vertical scroll bar shown only while the lines do not fit. A click
// selects a line; a double click selects it and answers as DIALOG_BUTTON_YES. The player
// list and the game's level chooser build on it. Callers add lines through mListWidget and
// then call CheckShowScrollbar. Main thread only.
#pragma once

#include "common/Common.h"
#include "widgets/ListListener.h"
#include "widgets/ListWidget.h"
#include "widgets/OwnedWidget.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/SimpleDialog.h"

namespace Vaxo
{

class ListDialog : public SimpleDialog, public ListListener
{
public:
    // Children of the dialog, owned: the list (made by the skin) and its scroll bar.
    OwnedWidget<ListWidget> mListWidget;
    OwnedWidget<ScrollbarWidget> mScrollbar;
    // Pixels kept below the list for the footer and the buttons.
    int mListBottomMargin;
    // Moves the list's left and top edges by left and top, its right and bottom edges by
    // right and bottom, in pixels.
    Insets mListInsets;

public:
    ListDialog(int id, bool isModal, const VaxoString& header, const VaxoString& lines,
               const VaxoString& footer, int buttonMode);
    // Removes and deletes its children, a subclass's too.
    ~ListDialog() override;

    void ListClicked(int id, int index, int clickCount) override;

    using SimpleDialog::Resize;
    void Resize(int x, int y, int width, int height) override;
    void Draw(Graphics* g) override;
    // The skin's inner-window frame over the list and the scroll bar.
    void DrawOverlay(Graphics* g) override;
    using SimpleDialog::DrawOverlay;
    int GetPreferredHeight(int width) override;

    // The scroll bar's value: the first visible line.
    void SetPosition(double position);
    // The selected line's text; "" without a selection.
    VaxoString GetSelItem();
    // Selects the first line equal to name in any letter case and scrolls it into view;
    // false (nothing changed) when there is none.
    bool SetSelect(const VaxoString& name);
    // Scrolls the selected line to the middle of the view.
    void EnsureSelectionVisible();
    // Lays the list out again after lines were added or removed.
    void CheckShowScrollbar();

private:
    // Draws the overlay last, above the list and the scroll bar.
    OwnedWidget<SimpleOverlayDraw> mOverlayDraw;
};

} // namespace Vaxo
