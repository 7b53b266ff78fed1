// ProfileNameDialog: the player-name dialog of the profile manager, a skinned dialog
// with one edit field for creating ("New Player") or renaming ("Rename Player") a
// player. Enter in the field acts as the first button. The game's CreateNameDialog may
// resize it. Main thread only.
#pragma once

#include "common/Common.h"
#include "widgets/EditListener.h"
#include "widgets/EditWidget.h"
#include "widgets/OwnedWidget.h"
#include "widgets/SimpleDialog.h"

#include <string>

namespace Vaxo
{

class WidgetManager;

class ProfileNameDialog : public SimpleDialog, public EditListener
{
public:
    // The name field, made by the skin; a child of the dialog, owned.
    OwnedWidget<EditWidget> mEditWidget;

public:
    explicit ProfileNameDialog(bool rename);
    ~ProfileNameDialog() override;

    using SimpleDialog::Resize;
    // Puts the field 16 pixels above the buttons, as wide as both.
    void Resize(int x, int y, int width, int height) override;
    // Takes the keyboard focus into the field.
    void AddedToManager(WidgetManager* manager) override;
    int GetPreferredHeight(int width) override;
    void ButtonDepress(int id) override;
    void EditWidgetText(int id, const VaxoString& text) override;

    // The typed name without leading and doubled spaces and without trailing blanks.
    std::string GetName();
};

} // namespace Vaxo
