#include "widgets/ProfileUserDialog.h"

#include "widgets/ProfileMgr.h"

namespace Vaxo
{

namespace
{
// Gap between the button rows, in pixels.
constexpr int kRowGap = 10;

bool IsLine(ListWidget* list, int index)
{
    return index >= 0 && index < int(list->mLines.size());
}
} // namespace

ProfileUserDialog::ProfileUserDialog(ProfileMgr* mgr)
    : ListDialog(0, true, "Select Player", "", "", 2), mMgr(mgr)
{
    // Room below the list for the two further button rows.
    mListBottomMargin = 170;
    mListWidget->mCompareFunc = stricmp;
    mRenameButton.reset(mSkin->CreateDialogButton(0, this, "Rename"));
    mDeleteButton.reset(mSkin->CreateDialogButton(1, this, "Delete"));
    mNewButton.reset(mSkin->CreateDialogButton(2, this, "Create New Player"));
    mYesButton->mLabel = "Ok";
    mNoButton->mLabel = "Cancel";
    AddWidget(mRenameButton.get());
    AddWidget(mDeleteButton.get());
    AddWidget(mNewButton.get());
    Resize(mX, mY, 350, 350);
}

ProfileUserDialog::~ProfileUserDialog() = default;

void ProfileUserDialog::Resize(int x, int y, int width, int height)
{
    ListDialog::Resize(x, y, width, height);
    if (mRenameButton == nullptr || mDeleteButton == nullptr || mNewButton == nullptr ||
        mYesButton == nullptr || mNoButton == nullptr)
        return;
    // The base buttons lie in the manager; the new ones are children of the dialog.
    const TRect<int> first = mYesButton->GetRect();
    const TRect<int> second = mNoButton->GetRect();
    const int rowHeight = first.mHeight;
    const int rowTop = first.mY - y - (rowHeight + kRowGap);
    mRenameButton->Resize(first.mX - x, rowTop, first.mWidth, rowHeight);
    mDeleteButton->Resize(second.mX - x, rowTop, first.mWidth, rowHeight);
    mNewButton->Resize(first.mX - x, rowTop - (rowHeight + kRowGap), second.mX + second.mWidth - first.mX,
                       rowHeight);
}

int ProfileUserDialog::GetPreferredHeight(int width)
{
    (void)width;
    return mHeight;
}

void ProfileUserDialog::ButtonDepress(int id)
{
    if (mMgr == nullptr || id < 0 || id > 2)
    {
        ListDialog::ButtonDepress(id);
        return;
    }
    if (id == 0)
        mMgr->DoRenameProfileDialog(GetName());
    else if (id == 1)
        mMgr->DoConfirmDeleteProfileDialog(GetName());
    else
        mMgr->DoCreateProfileDialog(false, nullptr);
}

std::string ProfileUserDialog::GetName()
{
    return GetSelItem();
}

void ProfileUserDialog::AddSelName(const std::string& name)
{
    const int index = mListWidget->AddLine(name, true);
    CheckShowScrollbar();
    mListWidget->SetSelect(index);
    EnsureSelectionVisible();
}

std::string ProfileUserDialog::DeleteSelName()
{
    int index = mListWidget->mSelectIdx;
    if (!IsLine(mListWidget.get(), index))
        return "";
    mListWidget->RemoveLine(index);
    if (index >= int(mListWidget->mLines.size()))
        --index;
    if (!IsLine(mListWidget.get(), index))
        return "";
    CheckShowScrollbar();
    mListWidget->SetSelect(index);
    EnsureSelectionVisible();
    return mListWidget->mLines[size_t(index)];
}

void ProfileUserDialog::ChangeSelName(const std::string& name)
{
    if (!IsLine(mListWidget.get(), mListWidget->mSelectIdx))
        return;
    mListWidget->RemoveLine(mListWidget->mSelectIdx);
    mListWidget->SetSelect(mListWidget->AddLine(name, true));
    EnsureSelectionVisible();
}

} // namespace Vaxo
