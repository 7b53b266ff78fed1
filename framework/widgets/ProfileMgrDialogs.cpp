// The player dialogs of the profile manager: the player list, the name dialogs, the
// delete confirmation and the error box, with the keyboard focus handed on as they close.
#include "widgets/ProfileMgr.h"

#include "app/VaxoAppBase.h"
#include "widgets/Dialog.h"
#include "widgets/ProfileNameDialog.h"
#include "widgets/ProfileUserDialog.h"
#include "widgets/WidgetManager.h"

#include <algorithm>

namespace Vaxo
{

namespace
{
// Top of the name dialogs, and of a player list less high than half the application
// width; a higher list starts at kHighListTop.
constexpr int kDialogTop = 100;
constexpr int kHighListTop = 20;
// How far a secondary dialog sits below the one under it.
constexpr int kSecondaryOffsetY = 40;
} // namespace

ProfileNameDialog* ProfileMgr::CreateNameDialog(bool rename)
{
    return new ProfileNameDialog(rename);
}

ProfileUserDialog* ProfileMgr::CreateUserDialog()
{
    return new ProfileUserDialog(this);
}

// The game may hold its own dialogs under the same ids: only dialogs of the right class
// are treated as player dialogs.
ProfileUserDialog* ProfileMgr::GetUserDialog()
{
    return dynamic_cast<ProfileUserDialog*>(mApp->GetDialog(PROFILE_DIALOG_USERS));
}

ProfileNameDialog* ProfileMgr::GetNameDialog(int dialogId)
{
    return dynamic_cast<ProfileNameDialog*>(mApp->GetDialog(dialogId));
}

bool ProfileMgr::GetTypedName(int dialogId, std::string* name)
{
    ProfileNameDialog* dialog = GetNameDialog(dialogId);
    if (dialog == nullptr)
        return false;
    *name = dialog->GetName();
    if (!name->empty())
        return true;
    DoCreateUserEmptyError();
    return false;
}

void ProfileMgr::RememberFocus()
{
    if (mApp->GetDialogCount() == 0)
        mOldFocus = mApp->mWidgetManager->mFocusWidget;
}

void ProfileMgr::DialogButtonDepress(int dialogId, int buttonId)
{
    const bool ok = buttonId == DIALOG_BUTTON_YES;
    switch (dialogId)
    {
    case PROFILE_DIALOG_USERS:
        FinishProfileDialog(ok);
        break;
    case PROFILE_DIALOG_CREATE:
        FinishCreateUserDialog(ok);
        break;
    case PROFILE_DIALOG_RENAME:
        FinishRenameUserDialog(ok);
        break;
    case PROFILE_DIALOG_CONFIRM_DELETE:
        FinishConfirmDeleteDialog(ok);
        break;
    default:
        KillDialog(dialogId);
        break;
    }
}

void ProfileMgr::DoProfileDialog()
{
    // The list as it stands on disk: other copies may have changed it.
    SyncList(nullptr, nullptr);
    OpenUserDialog();
}

void ProfileMgr::OpenUserDialog()
{
    RememberFocus();
    ProfileUserDialog* dialog = CreateUserDialog();
    if (dialog == nullptr)
        return;
    dialog->mId = PROFILE_DIALOG_USERS;
    const int x = (mApp->mWidth - dialog->mWidth) / 2;
    const int y = dialog->mHeight < mApp->mWidth / 2 ? kDialogTop : kHighListTop;
    dialog->Resize(x, y, dialog->mWidth, dialog->mHeight);
    dialog->mDialogListener = this;
    dialog->ScrollOn();
    mApp->AddDialog(PROFILE_DIALOG_USERS, dialog);
    FillUserDialog(dialog, mCurProfile);
    mApp->mWidgetManager->SetFocus(dialog->mListWidget.get());
}

void ProfileMgr::FillUserDialog(ProfileUserDialog* dialog, const Profile* selected)
{
    ListWidget* list = dialog->mListWidget.get();
    list->RemoveAll();
    for (const SmartPtr<Profile>& profile : mProfiles)
        list->AddLine(profile->mName, false);
    std::sort(list->mLines.begin(), list->mLines.end());
    dialog->CheckShowScrollbar();
    if (selected != nullptr)
        dialog->SetSelect(selected->mName);
}

void ProfileMgr::LoseCurProfile()
{
    const std::string name = mCurProfile->mName;
    mLostProfile = mCurProfile;
    mCurProfile = nullptr;
    // The player list open under another dialog shows the players as they are now.
    if (ProfileUserDialog* list = GetUserDialog())
        FillUserDialog(list, mCurProfile);
    else if (GetNameDialog(PROFILE_DIALOG_CREATE) == nullptr)
    {
        if (mProfiles.empty())
            DoCreateProfileDialog(false, nullptr);
        else
            OpenUserDialog();
    }
    DoErrorDialog("Player Deleted",
                  "The player " + name + " was deleted in another window. What was not saved is lost.");
}

void ProfileMgr::TellPlayerGone(const std::string& name)
{
    if (ProfileUserDialog* list = GetUserDialog())
        FillUserDialog(list, mCurProfile);
    DoErrorDialog("Player Not Found",
                  "The player " + name + " is no longer there: another window deleted it.");
}

void ProfileMgr::DoCreateProfileDialog(bool rename, const char* name)
{
    RememberFocus();
    ProfileNameDialog* dialog = CreateNameDialog(rename);
    if (dialog == nullptr)
        return;
    const int id = rename ? PROFILE_DIALOG_RENAME : PROFILE_DIALOG_CREATE;
    dialog->mId = id;
    if (name != nullptr)
    {
        // The whole name selected, so typing replaces it.
        EditWidget* edit = dialog->mEditWidget.get();
        edit->SetText(name, true);
        edit->mCursorPos = 0;
        edit->mHilitePos = int(edit->mString.size());
    }
    dialog->Move((mApp->mWidth - dialog->mWidth) / 2, kDialogTop);
    dialog->mDialogListener = this;
    mApp->AddDialog(id, dialog);
}

void ProfileMgr::DoRenameProfileDialog(const std::string& name)
{
    mSelProfile = GetProfile(name, false);
    if (mSelProfile != nullptr)
        DoCreateProfileDialog(true, name.c_str());
}

void ProfileMgr::DoConfirmDeleteProfileDialog(const std::string& name)
{
    mSelProfile = GetProfile(name, false);
    if (mSelProfile == nullptr)
        return;
    RememberFocus();
    Dialog* dialog =
        mApp->DoDialog(PROFILE_DIALOG_CONFIRM_DELETE, true, "Delete Player?",
                       StrFormat("Are you sure that you want to delete %s?", name.c_str()), "", 2);
    if (dialog == nullptr)
        return;
    dialog->mDialogListener = this;
    if (dialog->mYesButton != nullptr)
        dialog->mYesButton->mLabel = "Delete";
    if (dialog->mNoButton != nullptr)
        dialog->mNoButton->mLabel = "Cancel";
    PositionSecondaryDialog();
}

void ProfileMgr::DoErrorDialog(const std::string& header, const std::string& text)
{
    RememberFocus();
    Dialog* dialog = mApp->DoDialog(PROFILE_DIALOG_ERROR, true, header, text, "OK", 3);
    if (dialog == nullptr)
        return;
    dialog->mDialogListener = this;
    PositionSecondaryDialog();
}

void ProfileMgr::DoNameConflictError()
{
    DoErrorDialog("Name Conflict", "The name you entered is already being used.");
}

void ProfileMgr::DoCreateUserEmptyError()
{
    DoErrorDialog("Enter Name", "Enter your name to create a new player profile for storing saved games.");
}

void ProfileMgr::PositionSecondaryDialog()
{
    const std::list<Dialog*>& dialogs = mApp->mDialogList;
    if (dialogs.size() < 2)
        return;
    Dialog* newest = dialogs.back();
    Dialog* previous = *std::prev(dialogs.end(), 2);
    // Below where a player list still sliding in comes to rest, not off the screen above it.
    auto* sliding = dynamic_cast<SimpleDialog*>(previous);
    const int top = sliding != nullptr && sliding->IsScrolling() ? sliding->mScrollTargetY : previous->mY;
    newest->Move(previous->mX + (previous->mWidth - newest->mWidth) / 2, top + kSecondaryOffsetY);
}

void ProfileMgr::KillDialog(int dialogId)
{
    mApp->KillDialog(dialogId);
    WidgetManager* manager = mApp->mWidgetManager.get();
    if (!mApp->mDialogList.empty())
    {
        Dialog* newest = mApp->mDialogList.back();
        Widget* focus = newest;
        ProfileUserDialog* users = dynamic_cast<ProfileUserDialog*>(newest);
        ProfileNameDialog* name = dynamic_cast<ProfileNameDialog*>(newest);
        if (newest->mId == PROFILE_DIALOG_USERS && users != nullptr)
            focus = users->mListWidget.get();
        else if ((newest->mId == PROFILE_DIALOG_CREATE || newest->mId == PROFILE_DIALOG_RENAME) &&
                 name != nullptr)
            focus = name->mEditWidget.get();
        manager->SetFocus(focus);
        return;
    }
    Widget* old = mOldFocus;
    mOldFocus = nullptr;
    // The widget may have left the tree, and been deleted, while the dialogs were open:
    // only a pointer found in the tree is used.
    if (old != nullptr && manager->IsBelow(old, nullptr))
        manager->SetFocus(old);
}

void ProfileMgr::FinishProfileDialog(bool ok)
{
    ProfileUserDialog* dialog = GetUserDialog();
    if (dialog == nullptr)
        return;
    if (ok)
    {
        const std::string name = dialog->GetName();
        // The player the line names, held across the passes: another copy may rename him
        // (he is chosen under his new name) or delete him meanwhile.
        const SmartPtr<Profile> chosen = name.empty() ? nullptr : GetProfile(name, false);
        // The player left saved and the list as it stands on disk, in one pass.
        SyncList(nullptr, UnsavedCurProfile());
        if (chosen != nullptr && Listed(chosen))
        {
            LoadDetailsIfClean(chosen);
            mCurProfile = chosen;
        }
        else if (!name.empty())
        {
            TellPlayerGone(name);
            return;
        }
    }
    // A player must be chosen while players exist and none is current (another copy deleted
    // the one that was): the list stays. Ok without a selection keeps the current player.
    if (mCurProfile == nullptr && !mProfiles.empty())
        return;
    KillDialog(PROFILE_DIALOG_USERS);
    if (mCurProfile == nullptr)
        DoCreateProfileDialog(false, nullptr);
}

void ProfileMgr::FinishCreateUserDialog(bool ok)
{
    if (!ok)
    {
        // A player must exist: without one the dialog stays.
        if (mCurProfile != nullptr)
            KillDialog(PROFILE_DIALOG_CREATE);
        else
            DoCreateUserEmptyError();
        return;
    }
    std::string name;
    if (!GetTypedName(PROFILE_DIALOG_CREATE, &name))
        return;
    if (GetProfile(name, false) != nullptr)
    {
        DoNameConflictError();
        return;
    }
    // Held: the list is his only other owner, and the passes below may drop him (another copy
    // deleting him meanwhile).
    const SmartPtr<Profile> profile = CreateProfile(name);
    // Another copy made a player of that name meanwhile.
    if (profile == nullptr && GetProfile(name, false) != nullptr)
    {
        DoNameConflictError();
        return;
    }
    if (profile == nullptr)
    {
        // Every id is held by a player or a player file.
        DoErrorDialog("Too Many Players", "No further player can be created.");
        return;
    }
    KillDialog(PROFILE_DIALOG_CREATE);
    SetCurProfile(profile);
    if (mCurProfile == profile && GetUserDialog() != nullptr)
        KillDialog(PROFILE_DIALOG_USERS);
}

void ProfileMgr::FinishRenameUserDialog(bool ok)
{
    if (!ok)
    {
        KillDialog(PROFILE_DIALOG_RENAME);
        return;
    }
    std::string name;
    if (!GetTypedName(PROFILE_DIALOG_RENAME, &name))
        return;
    // Without loading: the same player in other letter case keeps its unsaved details.
    Profile* holder = GetProfile(name, false);
    if (holder != nullptr && holder != mSelProfile)
    {
        DoNameConflictError();
        return;
    }
    const SmartPtr<Profile> renamed = mSelProfile;
    if (renamed != nullptr)
    {
        const std::string old = renamed->mName;
        // At once, as the player sees it done: the list on disk merged first, where another
        // copy may have given the name meanwhile, or deleted the player.
        SyncList(nullptr, UnsavedCurProfile(), renamed, name);
        if (!Listed(renamed))
        {
            KillDialog(PROFILE_DIALOG_RENAME);
            TellPlayerGone(old);
            return;
        }
        if (renamed->mName != name)
        {
            // The list as it is now: the player that has the name, and this one under the name
            // it has (the other copy may have renamed it too).
            if (ProfileUserDialog* list = GetUserDialog())
                FillUserDialog(list, renamed);
            DoNameConflictError();
            return;
        }
        if (renamed == mCurProfile)
            RememberCurProfile();
    }
    KillDialog(PROFILE_DIALOG_RENAME);
    if (renamed != nullptr)
    {
        if (ProfileUserDialog* list = GetUserDialog())
            list->ChangeSelName(renamed->mName);
    }
}

void ProfileMgr::FinishConfirmDeleteDialog(bool ok)
{
    KillDialog(PROFILE_DIALOG_CONFIRM_DELETE);
    if (!ok || mSelProfile == nullptr)
        return;
    SmartPtr<Profile> gone = mSelProfile;
    mSelProfile = nullptr;
    auto listed = std::find(mProfiles.begin(), mProfiles.end(), gone);
    if (listed == mProfiles.end())
        return;
    if (mCurProfile == gone)
        mCurProfile = nullptr;
    mProfiles.erase(listed);
    mDirty = true;

    ProfileUserDialog* list = GetUserDialog();
    // The line of the player deleted, whatever was selected meanwhile.
    if (list != nullptr && list->SetSelect(gone->mName))
    {
        const std::string next = list->DeleteSelName();
        if (mCurProfile != nullptr)
            list->SetSelect(mCurProfile->mName);
        else
            mCurProfile = GetProfile(next, true);
    }
    if (mCurProfile == nullptr)
        mCurProfile = GetAnyProfile();
    // The files go once the list without the player is written, under the same lock (a crash
    // in between leaves a file no player lists rather than bringing the deleted player back
    // without its progress).
    Save();
    // With players left but none current, another copy deleted the one chosen: the list asks.
    if (mCurProfile == nullptr && mProfiles.empty() && GetNameDialog(PROFILE_DIALOG_CREATE) == nullptr)
        DoCreateProfileDialog(false, nullptr);
}

} // namespace Vaxo
