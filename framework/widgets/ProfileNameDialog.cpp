#include "widgets/ProfileNameDialog.h"

#include "widgets/Profile.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

namespace Vaxo
{

ProfileNameDialog::ProfileNameDialog(bool rename) : SimpleDialog(0, true, "", "", "", 2)
{
    mDialogLines = "Please enter your name.";
    mDialogHeader = rename ? "Rename Player" : "New Player";
    mEditWidget.reset(mSkin->CreateEdit(0, this));
    mEditWidget->mMaxChars = Profile::mMaxChars;
    AddWidget(mEditWidget.get());
    Resize(mX, mY, 350, 250);
}

ProfileNameDialog::~ProfileNameDialog() = default;

void ProfileNameDialog::Resize(int x, int y, int width, int height)
{
    SimpleDialog::Resize(x, y, width, height);
    if (mEditWidget == nullptr || mYesButton == nullptr || mNoButton == nullptr)
        return;
    // The buttons lie in the manager beside the dialog: lay out in their coordinates,
    // then make the field's place relative to the dialog.
    mEditWidget->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ABOVE, mYesButton.get(), 0, -16, 0, 24);
    mEditWidget->Layout(LAYOUT_GROW_RIGHT, mNoButton.get());
    mEditWidget->Move(mEditWidget->mX - x, mEditWidget->mY - y);
}

void ProfileNameDialog::AddedToManager(WidgetManager* manager)
{
    if (CallOut(this, [&] { SimpleDialog::AddedToManager(manager); }))
        manager->SetFocus(mEditWidget.get());
}

int ProfileNameDialog::GetPreferredHeight(int width)
{
    return SimpleDialog::GetPreferredHeight(width) + 40;
}

void ProfileNameDialog::ButtonDepress(int id)
{
    SimpleDialog::ButtonDepress(id);
}

void ProfileNameDialog::EditWidgetText(int id, const VaxoString& text)
{
    (void)id;
    (void)text;
    ButtonDepress(DIALOG_BUTTON_YES);
}

std::string ProfileNameDialog::GetName()
{
    std::string name;
    if (mEditWidget == nullptr)
        return name;
    // Leading spaces count as following one.
    bool afterSpace = true;
    for (char c : mEditWidget->mString)
    {
        if (c == ' ' && afterSpace)
            continue;
        name += c;
        afterSpace = c == ' ';
    }
    inlineRTrim(name, " \t\r\n");
    return name;
}

} // namespace Vaxo
