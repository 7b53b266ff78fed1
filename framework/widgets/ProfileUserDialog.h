// ProfileUserDialog: the player list of the profile manager ("Select Player"), a list
// dialog of player names with Rename, Delete and Create New Player buttons above its
// Ok and Cancel. Its own buttons call the manager; Ok and Cancel reach it as the
// dialog's DIALOG_BUTTON_YES and DIALOG_BUTTON_NO. The game derives its own version. Main thread only.
#pragma once

#include "common/Common.h"
#include "widgets/DialogButton.h"
#include "widgets/ListDialog.h"
#include "widgets/OwnedWidget.h"

#include <string>

namespace Vaxo
{

class ProfileMgr;

class ProfileUserDialog : public ListDialog
{
public:
    // Not owned.
    ProfileMgr* mMgr;
    // Buttons 0, 1 and 2, made by the skin; children of the dialog, owned.
    OwnedWidget<DialogButton> mRenameButton;
    OwnedWidget<DialogButton> mDeleteButton;
    OwnedWidget<DialogButton> mNewButton;

public:
    explicit ProfileUserDialog(ProfileMgr* mgr);
    ~ProfileUserDialog() override;

    using ListDialog::Resize;
    // Rename and Delete 10 pixels above Ok and Cancel, Create New Player 10 above them.
    void Resize(int x, int y, int width, int height) override;
    // The current height.
    int GetPreferredHeight(int width) override;
    void ButtonDepress(int id) override;

    // The selected name; "" without a selection.
    std::string GetName();
    // Inserts the name in sorted place and selects it.
    void AddSelName(const std::string& name);
    // Removes the selected line and selects its neighbour (the next line, else the
    // previous); the neighbour's name, or "" when none is left.
    std::string DeleteSelName();
    // Replaces the selected line by name, in sorted place, still selected.
    void ChangeSelName(const std::string& name);
};

} // namespace Vaxo
