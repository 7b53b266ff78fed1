// ProfileMgr: the list of players, the current player and the player dialogs.
//
// It reads and writes the list file users.dat in the profile folder (all integers
// little-endian: version 2, the last id given out, the profile count, one SyncSummary
// record per profile, the manager version, then what SyncStateHook adds), remembers the
// current player's name in the setting "UserProfile", and runs the dialogs that pick,
// create, rename and delete players (ids 0 to 4 of the application's dialog table; the
// manager is the listener of all of them). The game derives its own manager with a
// factory of its profile class. Files go through the application, so demos replay them.
// Main thread only.
//
// Two copies of the program may run on one data folder, and nothing tells one of the
// other: users.dat is read, merged with what this copy changed and written under a lock on
// the profile folder, so that a list saved keeps the players the other copy saved meanwhile.
#pragma once

#include "common/SmartPtr.h"
#include "widgets/DialogListener.h"
#include "widgets/Profile.h"

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <vector>

namespace Vaxo
{

class DataSync;
class Dialog;
struct FileSetAside;
class ProfileNameDialog;
class ProfileUserDialog;
class VaxoAppBase;
class Widget;

// Ids of the player dialogs in the application's dialog table.
enum
{
    PROFILE_DIALOG_USERS = 0,
    PROFILE_DIALOG_CREATE = 1,
    PROFILE_DIALOG_RENAME = 2,
    PROFILE_DIALOG_CONFIRM_DELETE = 3,
    PROFILE_DIALOG_ERROR = 4,
};

class ProfileMgr : public RefCount, public DialogListener
{
public:
    typedef Profile* (*ProfileFactory)();
    typedef std::list<SmartPtr<Profile>> ProfileList;

    // File access, settings and dialogs; not owned.
    VaxoAppBase* mApp;
    // Had the keyboard focus when the first player dialog opened; gets it back when the
    // last one closes, if it is still in the widget tree. Not owned.
    Widget* mOldFocus;
    // In file order; new profiles at the end.
    ProfileList mProfiles;
    // Null only while no player exists.
    SmartPtr<Profile> mCurProfile;
    // The player a rename or delete dialog acts on.
    SmartPtr<Profile> mSelProfile;
    // The last id given out.
    int32_t mNextId;
    // users.dat must be written.
    bool mDirty;
    ProfileFactory mFactory;
    // users.dat is never written over: a newer program wrote it (read as an empty list,
    // so that program keeps its players; the user is told once), or it could be neither
    // read nor moved aside.
    bool mKeepListFile;

public:
    // factory null: Profile::Factory.
    ProfileMgr(VaxoAppBase* app, ProfileFactory factory = nullptr);
    ~ProfileMgr() override;

    // Data the game adds at the end of users.dat.
    virtual void SyncStateHook(DataSync& sync);
    virtual int32_t GetVersion();
    // Dispatches the player dialogs' buttons by dialog id.
    void DialogButtonDepress(int dialogId, int buttonId) override;
    // New dialogs owned by the caller; the game overrides them to size its own.
    virtual ProfileNameDialog* CreateNameDialog(bool rename);
    virtual ProfileUserDialog* CreateUserDialog();

    // ---- The list and its file ---------------------------------------------------------
    void Clear();
    // False (and an empty list) when users.dat is missing, damaged or unreadable; such a
    // file is moved aside first (SetFileAside: users.dat.damaged, users.dat.unreadable),
    // and a message box says so. A player whose id repeats an earlier one's gets a free id
    // (and a fresh player's details). Temporary files of crashed saves are removed.
    bool Load();
    // Writes "UserProfile", the current player's details when dirty, and users.dat when
    // the list changed. The list written is the one on disk with this copy's changes since
    // it last read or wrote it: players another copy added or renamed are kept, players
    // deleted in either copy stay deleted, and a player added here gets an id above the last
    // one either copy gave out (a deleted player's id is not given again). True when
    // users.dat holds the list now.
    bool Save();
    // One routine for both directions.
    void SyncState(DataSync& sync);
    // The first profile named so in any letter case, or null. With loadDetails its
    // details are read from its file, unless it holds unsaved ones.
    Profile* GetProfile(const std::string& name, bool loadDetails);
    // The last profile, details loaded (as above); null when there is none.
    Profile* GetAnyProfile();
    // Null when the name is taken in any letter case, or when no id is free. The new
    // profile gets an id no player holds and whose player file does not exist, and
    // users.dat is written at once.
    Profile* CreateProfile(const std::string& name);
    void SetCurProfile(Profile* profile);
    void SaveCurProfileIfDirty();

    // ---- Player dialogs ----------------------------------------------------------------
    // The player list, to pick, rename, delete or create a player.
    void DoProfileDialog();
    // rename false: the new-player dialog; name: text to prefill (null for none).
    void DoCreateProfileDialog(bool rename, const char* name);
    void DoRenameProfileDialog(const std::string& name);
    void DoConfirmDeleteProfileDialog(const std::string& name);
    void DoErrorDialog(const std::string& header, const std::string& text);
    void DoNameConflictError();
    void DoCreateUserEmptyError();
    // Centres the newest dialog on the one opened before it, 40 pixels lower.
    void PositionSecondaryDialog();
    // Kills the dialog and hands the keyboard focus on.
    void KillDialog(int dialogId);
    // ok: DIALOG_BUTTON_YES was pressed.
    void FinishProfileDialog(bool ok);
    void FinishCreateUserDialog(bool ok);
    void FinishRenameUserDialog(bool ok);
    void FinishConfirmDeleteDialog(bool ok);

private:
    // The open player list / name dialog of that id; null when the id holds none.
    ProfileUserDialog* GetUserDialog();
    ProfileNameDialog* GetNameDialog(int dialogId);
    // The name typed into that name dialog; false when it is not open or the name is
    // empty (the "Enter Name" error is shown then).
    bool GetTypedName(int dialogId, std::string* name);
    // mOldFocus when no dialog is open yet.
    void RememberFocus();
    // A listed player holds the id, or a player file has it.
    bool IdTaken(int32_t id);
    // The first free id above mNextId; once the counter is exhausted, the lowest free one
    // from firstBelow on; 0 when none is left.
    int32_t FindFreeId(int32_t firstBelow = 1);
    // Gives each player whose id repeats an earlier player's a free id; whether any did.
    bool GiveRepeatedIdsFreeOnes();
    // The players of a list being read, after its version and last id; nextId rises to
    // the largest id read.
    void ReadProfiles(DataSync& sync, ProfileList* profiles, int32_t* nextId);
    // users.dat as another copy may have left it, read just before this copy writes the
    // list: merged (MergeList), or moved aside when it cannot be used; the newer program's
    // list sets mKeepListFile. The lock is held.
    void MergeListOnDisk(FileSetAside* aside, bool* setAside);
    // mProfiles becomes the list of the file with this copy's changes since mListed.
    void MergeList(const ProfileList& onDisk, int32_t nextOnDisk);
    // What the merge made of users.dat (the list, the last id given out, whether the file
    // is kept and whether it is written): recorded in a demo, and taken from it on playback,
    // which reads no users.dat. before: mProfiles before the merge.
    void DemoSyncMerge(const ProfileList& before, bool* write);
    // The lowest id above `counter` (or, once it is exhausted, from 1 on) that no player of
    // `taken` holds and no player file has.
    static int32_t FreeIdOnDisk(const std::set<int32_t>& taken, int32_t counter);
    // Tells the user about a users.dat moved aside, or kept where it could not be moved.
    void TellListSetAside(const FileSetAside& aside);
    // Tells the user once that a newer program's users.dat keeps no player made here.
    void TellNewerList();
    // Details read unless the profile holds unsaved ones.
    static void LoadDetailsIfClean(Profile* profile);

    // A player as users.dat held it when this copy last read or wrote it, and this copy's
    // profile for it (still held when deleted here, to tell such players apart).
    struct ListedPlayer
    {
        int32_t mId;
        std::string mName;
        SmartPtr<Profile> mProfile;
    };
    std::vector<ListedPlayer> mListed;
    // The last id given out as users.dat held it then: while the file's counter has not
    // fallen below it nor reached the top, no id was given twice since.
    int32_t mListedNext;
    bool mToldNewerList;
};

} // namespace Vaxo
