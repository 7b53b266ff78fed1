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
// are treated as player dialogs, and only those this manager opened as its own (another
// manager may show its player dialogs in the same application).
ProfileUserDialog* ProfileMgr::GetUserDialog()
{
    auto* dialog = dynamic_cast<ProfileUserDialog*>(mApp->GetDialog(PROFILE_DIALOG_USERS));
    return dialog != nullptr && dialog->mDialogListener == this ? dialog : nullptr;
}

ProfileNameDialog* ProfileMgr::GetNameDialog(int dialogId)
{
    auto* dialog = dynamic_cast<ProfileNameDialog*>(mApp->GetDialog(dialogId));
    return dialog != nullptr && dialog->mDialogListener == this ? dialog : nullptr;
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
    // Open already, or the pass found the current player deleted and asked for one.
    if (GetUserDialog() != nullptr ||
        (mCurProfile == nullptr && GetNameDialog(PROFILE_DIALOG_CREATE) != nullptr))
        return;
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
    ShowNextBox();
}

void ProfileMgr::FillUserDialog(ProfileUserDialog* dialog, const Profile* selected)
{
    ListWidget* list = dialog->mListWidget.get();
    std::vector<std::string> names;
    for (const SmartPtr<Profile>& profile : mProfiles)
        names.push_back(profile->mName);
    std::sort(names.begin(), names.end());
    // The same lines, the same player selected, keep their scroll position and highlight.
    const bool changed = names != list->mLines;
    if (changed)
    {
        list->RemoveAll();
        for (const std::string& name : names)
            list->AddLine(name, false);
        dialog->CheckShowScrollbar();
    }
    if (selected != nullptr && (changed || stricmp(dialog->GetName().c_str(), selected->mName.c_str()) != 0))
        dialog->SetSelect(selected->mName);
}

Profile* ProfileMgr::SelectedInList()
{
    ProfileUserDialog* list = GetUserDialog();
    const std::string name = list != nullptr ? list->GetName() : std::string();
    return name.empty() ? nullptr : GetProfile(name, false);
}

void ProfileMgr::EndPass(const SmartPtr<Profile>& current, bool currentListed,
                         const std::set<const Profile*>& takenOver, Profile* saving,
                         const SmartPtr<Profile>& selected)
{
    // The caller still points at a player it handed in, as the game at its current one.
    if (saving != nullptr && saving->mMgr == this && !Listed(saving))
        KeepLost(saving);
    // Saved through a pointer the game kept, not played here.
    if (saving != nullptr && saving != current && takenOver.count(saving) != 0)
        LoseToOtherCopy(saving);
    if (currentListed && mCurProfile == current && !Listed(current))
        LoseCurProfile();
    else if (mCurProfile != nullptr && mCurProfile == current && takenOver.count(current) != 0)
        LoseToOtherCopy(mCurProfile);
    // Never played on without his lock, under the id he has now.
    else if (!FollowCurProfile() && mCurProfile != nullptr)
        LoseToOtherCopy(mCurProfile);
    // One selected that is gone gives his place to the current player.
    if (ProfileUserDialog* list = GetUserDialog())
        FillUserDialog(list, selected == nullptr || Listed(selected) ? selected.get() : mCurProfile.get());
    ShowNextBox();
}

void ProfileMgr::KeepLost(Profile* profile)
{
    if (std::find(mLostProfiles.begin(), mLostProfiles.end(), profile) == mLostProfiles.end())
        mLostProfiles.push_back(profile);
}

void ProfileMgr::LoseCurProfile()
{
    const std::string name = mCurProfile->mName;
    KeepLost(mCurProfile);
    mCurProfile = nullptr;
    FollowCurProfile();
    mBoxes.emplace_back("Player Deleted",
                        "The player " + name + " was deleted in another window. What was not saved is lost.");
    AskForPlayer();
}

void ProfileMgr::LoseToOtherCopy(Profile* profile)
{
    // Told once. One not played here whose details were never read here loses nothing.
    const bool tell = !profile->mTakenElsewhere &&
                      (profile == mCurProfile || profile->mHasDetails || profile->mDirty);
    profile->DropDetails();
    profile->mTakenElsewhere = true;
    if (tell)
        mBoxes.emplace_back("Player In Use", "The player " + profile->mName + " is being played in another window.");
    // The game points at him (it played or saved him): a later pass may drop him from the list.
    KeepLost(profile);
    if (profile != mCurProfile)
    {
        ShowNextBox();
        return;
    }
    mCurProfile = nullptr;
    FollowCurProfile();
    AskForPlayer();
}

void ProfileMgr::AskForPlayer()
{
    // Nobody would answer.
    if (mApp->mShutdown)
        return;
    ProfileNameDialog* create = GetNameDialog(PROFILE_DIALOG_CREATE);
    // The new-player dialog open alone leads to the list as it closes (its Cancel).
    if (mProfiles.empty() && create == nullptr)
        DoCreateProfileDialog(false, nullptr);
    else if (!mProfiles.empty() && GetUserDialog() == nullptr && create == nullptr)
        OpenUserDialog();
    // The box telling why, over them.
    ShowNextBox();
}

void ProfileMgr::LeadToList(const Profile* selected)
{
    if (mCurProfile != nullptr || mProfiles.empty() || GetUserDialog() != nullptr)
        return;
    // Not through KillDialog, which would hand the focus on to a dialog about to be covered.
    mApp->KillDialog(PROFILE_DIALOG_CREATE);
    OpenUserDialog();
    if (ProfileUserDialog* list = GetUserDialog())
        FillUserDialog(list, selected);
}

void ProfileMgr::TellPlayerGone(const std::string& name)
{
    DoErrorDialog("Player Not Found",
                  "The player " + name + " is no longer there: another window deleted it.");
}

void ProfileMgr::RefusePlayer(const Profile* chosen)
{
    const bool lost = CurLockTaken();
    // His own lock, taken on a lock file made anew: told once, as he is lost.
    if (chosen != mCurProfile || !lost)
        DoErrorDialog("Player In Use", "The player " + chosen->mName + " is being played in another window.");
    if (lost)
        LoseToOtherCopy(mCurProfile);
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
    ShowNextBox();
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
    mBoxes.emplace_back(header, text);
    ShowNextBox();
}

void ProfileMgr::ShowNextBox()
{
    if (mApp->mShutdown)
        return;
    // Whether it is still open is asked of the table: the application may have killed it.
    if (Dialog* open = mBox.get(); open != nullptr && mApp->GetDialog(PROFILE_DIALOG_ERROR) == open)
    {
        Dialog* newest = mApp->mDialogList.back();
        if (newest != open && (newest == GetUserDialog() || newest == GetNameDialog(PROFILE_DIALOG_CREATE) ||
                               newest == GetNameDialog(PROFILE_DIALOG_RENAME)))
        {
            mApp->KillDialog(PROFILE_DIALOG_ERROR, true, false);
            mApp->AddDialog(PROFILE_DIALOG_ERROR, open);
            PositionSecondaryDialog();
        }
        return;
    }
    if (mBoxes.empty())
        return;
    const auto [header, text] = mBoxes.front();
    mBoxes.pop_front();
    Dialog* dialog = mApp->DoDialog(PROFILE_DIALOG_ERROR, true, header, text, "OK", 3);
    mBox = WidgetRef<Dialog>(dialog);
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
    // The box closed lets the next show; it takes the focus as the newest dialog.
    ShowNextBox();
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
        const bool wasCurrent = chosen != nullptr && chosen == mCurProfile;
        // The player left saved and the list as it stands on disk, in one pass.
        SyncList(nullptr, UnsavedCurProfile());
        // That pass lost him to another copy (and told): the list stays for another choice.
        if (wasCurrent && mCurProfile == nullptr && Listed(chosen))
            return;
        if (chosen != nullptr && Listed(chosen))
        {
            // The list stays for another choice. His details are read as he is taken, unless they
            // are his file's already.
            if (!TakeCurProfile(chosen))
            {
                RefusePlayer(chosen);
                return;
            }
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
        AskForPlayer();
}

void ProfileMgr::FinishCreateUserDialog(bool ok)
{
    if (!ok)
    {
        // Asked for the first player: another copy may have made players meanwhile.
        if (mCurProfile == nullptr && mProfiles.empty())
            SyncList(nullptr, nullptr);
        // A player must be chosen or made: the list while players exist, else this dialog.
        if (mCurProfile == nullptr && mProfiles.empty())
            DoCreateUserEmptyError();
        else if (mCurProfile == nullptr && GetUserDialog() == nullptr)
            LeadToList(nullptr);
        else
            KillDialog(PROFILE_DIALOG_CREATE);
        return;
    }
    std::string name;
    if (!GetTypedName(PROFILE_DIALOG_CREATE, &name))
        return;
    // Asked for while none was listed, the dialog leads to the list once another copy made
    // players meanwhile: the one who has the name can be chosen there.
    const bool noneListed = mProfiles.empty();
    auto conflict = [&]
    {
        if (noneListed)
            LeadToList(GetProfile(name, false));
        DoNameConflictError();
    };
    if (GetProfile(name, false) != nullptr)
    {
        conflict();
        return;
    }
    // Held: the list is his only other owner, and the passes below may drop him (another copy
    // deleting him meanwhile).
    const SmartPtr<Profile> profile = CreateProfile(name);
    // Another copy made a player of that name meanwhile.
    if (profile == nullptr && GetProfile(name, false) != nullptr)
    {
        conflict();
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
    // Refused (another copy took him as soon as he was listed): a player is still asked for.
    else if (mCurProfile == nullptr)
        AskForPlayer();
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
        // The list shows the player that has the name, and this one under the name he has
        // (the other copy may have renamed him too).
        if (renamed->mName != name)
        {
            DoNameConflictError();
            return;
        }
        if (renamed == mCurProfile)
            RememberCurProfile();
    }
    // The pass left the list showing the new name.
    KillDialog(PROFILE_DIALOG_RENAME);
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
        TakeCurProfile(nullptr);
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
            TakeCurProfile(GetProfile(next, true));
    }
    // One another copy plays is not taken: the list then asks.
    if (mCurProfile == nullptr)
        TakeCurProfile(GetAnyProfile());
    // The files go once the list without the player is written, under the same lock (a crash
    // in between leaves a file no player lists rather than bringing the deleted player back
    // without its progress).
    Save();
    // None left, or another copy deleted the one chosen.
    if (mCurProfile == nullptr)
        AskForPlayer();
}

} // namespace Vaxo
