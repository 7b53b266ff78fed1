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
// A player file is made, written or erased only after such a merge under the same lock, and
// read by name only after one, so that it is the file of the id the player keeps; a new
// player's file is written at once and holds its id even when users.dat is lost or cannot be
// written, and the last id given out is kept beside users.dat too (users.last), so that a
// lost list never gives a deleted player's id again. users.last also names the list: a list
// started anew once users.last is lost gets a name of its own, and the players a copy puts
// back keep the name of the list that gave their ids, so that an id is never taken for a
// player of another list whatever counter a copy that remembers the old one puts back.
#pragma once

#include "common/SmartPtr.h"
#include "widgets/DialogListener.h"
#include "widgets/Profile.h"
#include "widgets/WidgetRef.h"

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Vaxo
{

class DataSync;
class Dialog;
struct FileSetAside;
class ProfileNameDialog;
class ProfilePlayLock;
class ProfileUserDialog;
class VaxoAppBase;
class Widget;

// users.last: the last id given out, and which list gave the ids of the players listed.
struct ListLast
{
    // Read from a file of this program (or of an older one, which wrote the last id alone).
    bool mFound = false;
    int32_t mLastId = 0;
    // The list's name, made when it was started anew; 0 for a list an older program started.
    uint64_t mIdentity = 0;
    // The listed players whose ids an earlier list gave (put back after both files were lost):
    // that list's name, by id. 0: not known (a list read without its users.last).
    std::map<int32_t, uint64_t> mOrigins;

    // The same file contents (found or not aside).
    bool operator==(const ListLast& other) const
    {
        return mLastId == other.mLastId && mIdentity == other.mIdentity && mOrigins == other.mOrigins;
    }
    // The name of the list that gave the id: mOrigins', else this list's; 0 when none was read.
    uint64_t OriginOf(int32_t id) const;
};

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
    // In file order; new profiles at the end. Each merge with the list on disk replaces it
    // (a save, GetProfile with details, SetCurProfile, the player list opening): a loop that
    // saves players goes over a copy.
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
    // users.dat is not written over: a newer program wrote it (read as an empty list, so
    // that program keeps its players), or it could be neither read nor moved aside. Each pass
    // looks at it again: once it is gone or readable, the list is written as usual, with the
    // players made meanwhile. The user is told once while it stays as it is.
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
    // and a message box says so; so is one of a version no later program writes (text, random
    // bytes). A player whose id repeats an earlier one's gets a free id (and a fresh player's
    // details). Temporary files of crashed saves are removed.
    bool Load();
    // Merges the list on disk with this copy's changes since it
    // last read or wrote it, writes the current player's details when dirty and users.dat
    // when the list differs from it, and erases the files of players deleted here. Players
    // another copy added or renamed are kept, players deleted in either copy stay deleted
    // (one whose file is still there was lost with the list, not deleted), a player added
    // here gets an id above the last one either copy gave out and no player file has, and
    // of two names that differ only in letter case, the one not on disk gets a number. A
    // current player another copy deleted, or took over (TakenOver), is not written: the user
    // is told, and asked for another (the player list, or the new-player dialog when none is
    // left). Then writes "UserProfile" as the list names the current player now (none once the
    // player played here is gone; a copy that played nobody leaves it). True when users.dat
    // holds the list now.
    bool Save();
    // One routine for both directions.
    void SyncState(DataSync& sync);
    // The first profile named so in any letter case, or null. With loadDetails the list on
    // disk is merged first, and the player's details are read from its file, unless it
    // holds unsaved ones.
    Profile* GetProfile(const std::string& name, bool loadDetails);
    // The last profile, details loaded (as above); null when there is none.
    Profile* GetAnyProfile();
    // Null when the name is taken in any letter case (also by a player another copy made
    // meanwhile), or when no id is free. The new profile gets an id no player holds and whose
    // player file does not exist; its file (a fresh player's details) and users.dat are
    // written at once.
    Profile* CreateProfile(const std::string& name);
    // The list on disk merged first, with the current player's details saved; a listed player
    // another copy deletes meanwhile is lost as a current one is (see Save), and a current
    // player that pass loses (deleted or taken over elsewhere) is not taken back by the same
    // call. The player given is read from his file when his details here are not his file's.
    // A player list that asked for a player (none was current) closes once one is. Neither the
    // player given nor the one that was current is freed when lost: the caller may still read
    // them. A player another running copy plays is not taken: a box says so, and the current
    // player stays.
    void SetCurProfile(Profile* profile);
    void SaveCurProfileIfDirty();

    // ---- Player dialogs ----------------------------------------------------------------
    // The player list as it stands on disk (merged first), to pick, rename, delete or
    // create a player. When that merge finds the current player deleted, the player asked
    // for then (the list, or the new-player dialog when none is left) is the one dialog.
    void DoProfileDialog();
    // rename false: the new-player dialog; name: text to prefill (null for none).
    void DoCreateProfileDialog(bool rename, const char* name);
    void DoRenameProfileDialog(const std::string& name);
    void DoConfirmDeleteProfileDialog(const std::string& name);
    // One box at a time: a box asked for while another is open waits until that one closes
    // (by its button, or at the manager's next step when the application killed it).
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
    // Its details are read and written after a merge (SyncList).
    friend class Profile;

    // The open player list / name dialog of that id; null when the id holds none.
    ProfileUserDialog* GetUserDialog();
    // The player list opened on the list as it is (no merge first).
    void OpenUserDialog();
    // The list's lines become the players' names (sorted), with that player's selected.
    void FillUserDialog(ProfileUserDialog* dialog, const Profile* selected);
    // The player the open player list has selected; null when none.
    Profile* SelectedInList();
    // A pass is done (SyncList): a current player it dropped is lost, as are the players it found
    // taken over (takenOver, see TakenOver), a player handed in that it dropped kept, the open
    // player list shows the list as the pass left it (selected still on the same player, under the
    // name he has now, while he is listed), and a box waiting shows. The one place where the
    // dialogs are brought up to a pass.
    void EndPass(const SmartPtr<Profile>& current, bool currentListed, const std::set<const Profile*>& takenOver,
                 Profile* saving, const SmartPtr<Profile>& selected);
    // A player the list no longer holds is kept in mLostProfiles (once).
    void KeepLost(Profile* profile);
    // The current player was deleted by another copy: none is current, he is kept for whoever
    // still points at him, the user is told so and asked for a player.
    void LoseCurProfile();
    // Whether another copy took the player from this one: his lock (lockLost, asked of the lock
    // at the start of the pass or choice), or a save of his file that this copy has not read. The
    // one check of a take-over, made under the list lock before anything is written for him.
    bool TakenOver(const Profile* profile, bool lockLost) const;
    // Another copy took the player: lost whole. Nothing more is written for him, what was not
    // saved goes, and whoever takes him again (this copy too) reads his file. The user is told
    // once; a current player is no longer current (kept for whoever points at him), and a player
    // is asked for. The one place a take-over is handled.
    void LoseToOtherCopy(Profile* profile);
    // None is current: the player list asks while players exist, the new-player dialog when
    // none is left, unless one of them is open already. Nothing opens while the program shuts
    // down.
    void AskForPlayer();
    // The new-player dialog that asked for a player while none was listed leads to the list
    // once players are (another copy made them), with that player selected.
    void LeadToList(const Profile* selected);
    // A player chosen in the player list that another copy deleted meanwhile: the user is told.
    void TellPlayerGone(const std::string& name);
    // Makes the profile (or none) current unless another running copy plays him: his lock is
    // held from then on, and the last current player's let go. His details are read from his file
    // unless they are his (another copy may have saved him since this copy read him). False, and
    // nothing changed, when he is played elsewhere.
    bool TakeCurProfile(Profile* profile);
    // The lock held is the current player's, under the id he has now (a pass may have given
    // him another, or lost him). False when another copy holds that one.
    bool FollowCurProfile();
    // Another copy took the current player's lock from this one (on a lock file made anew) since
    // this was last asked.
    bool CurLockTaken();
    // The id whose lock playing the profile holds: 0 for none, or one no longer listed.
    int32_t PlayLockId(const Profile* profile) const;
    // A player chosen that another copy plays: the user is told, and the current player is lost
    // when another copy took his lock too (the refused choice was his own, or his lock file was
    // made anew).
    void RefusePlayer(const Profile* chosen);
    // The next box waiting, unless one is open; an open box is put back over a player list or
    // name dialog opened since.
    void ShowNextBox();
    // The current player's name into the setting "UserProfile", or none once the player played
    // here is gone (let go or lost); nothing from a copy that played nobody, nor without a
    // folder.
    void RememberCurProfile();
    // A current player seen sets mPlayedHere: the game may set mCurProfile itself.
    void NoticeCurProfile();
    // The current player when his details must be written, else null.
    Profile* UnsavedCurProfile() const;
    // The list holds the profile.
    bool Listed(const Profile* profile) const;
    ProfileNameDialog* GetNameDialog(int dialogId);
    // The name typed into that name dialog; false when it is not open or the name is
    // empty (the "Enter Name" error is shown then).
    bool GetTypedName(int dialogId, std::string* name);
    // mOldFocus when no dialog is open yet.
    void RememberFocus();
    // A listed player holds the id, or a player file has it.
    bool IdTaken(int32_t id);
    // Gives each player whose id repeats an earlier player's a free id above lastId (users.last's)
    // too; whether any did.
    bool GiveRepeatedIdsFreeOnes(int32_t lastId);
    // The players of a list being read, after its version and last id; nextId rises to
    // the largest id read.
    void ReadProfiles(DataSync& sync, ProfileList* profiles, int32_t* nextId);

    // What one pass over users.dat under the lock decided: recorded in a demo, and taken
    // from it on playback, which reads no users.dat.
    struct ListPass
    {
        // users.dat is written.
        bool mWrite = false;
        // users.dat is a newer program's list, kept as it is.
        bool mNewer = false;
        // The list merged is the one on disk.
        bool mSame = false;
        // Players whose details are written under their ids before users.dat: the one being
        // saved, a new one, and those the file does not hold under their ids yet.
        std::set<const Profile*> mFiles;
        // users.last as read (not on a demo's playback): new ids go above its last id, and ids
        // are taken for this copy's players as the list names it allow.
        ListLast mLast;
        // The list's name once the pass is done: users.last's, or a new one when it was lost.
        uint64_t mIdentity = 0;
        // The name of the list that gave each player's id (see ListLast::mOrigins).
        std::map<const Profile*, uint64_t> mOrigins;
        // mOrigins holds the merged list's (else users.last's are kept as read).
        bool mMerged = false;
        // A listed player the user renamed just now, and the name typed: given only when no
        // other player has it once the list on disk is merged.
        Profile* mRenamed = nullptr;
        std::string mNewName;
        // The player this copy plays: dropped as deleted elsewhere only when the list he was on no
        // longer names him.
        const Profile* mPlayed = nullptr;
        // Another copy took mPlayed's lock from this one (CurLockTaken, at the pass's start).
        bool mLockLost = false;
        // The players whose progress the pass would write (mPlayed, the one saved) that another
        // copy took over: named so by the list at their ids, or without a list to ask. Nothing is
        // written for them.
        std::set<const Profile*> mTakenOver;
        // users.dat was read as a list (not missing, empty or set aside).
        bool mListRead = false;
    };
    // One pass under the lock: users.dat merged (MergeListOnDisk), then the player files the
    // pass names written, then users.dat when it must be, then the files of players deleted
    // here erased once the list without them is written. making: a new player, in the list
    // with id 0, given an id (dropped when it gets none or its name is taken); saving: a player
    // whose details are written (not when another copy deleted it: no list names its file
    // then); renamed: a listed player the user gave newName (kept as it was when another player
    // has that name now; given it at once when another copy holds the list, and written with
    // the list at the next pass). A current player another copy deleted is lost (LoseCurProfile)
    // once the pass is done. Whether saving's details were written.
    bool SyncList(Profile* making, Profile* saving, Profile* renamed = nullptr,
                  const std::string& newName = std::string());
    // The files of the players deleted here, once users.dat no longer lists them; a player
    // of the list holding the same id keeps the file.
    void EraseFilesOfDeleted(const std::vector<SmartPtr<Profile>>& deleted);
    // mListed, mListedNext and mListedIdentity become the list, counter and list name as the
    // files hold them now; origins: the name of the list that gave each player's id.
    void RememberListOnDisk(uint64_t identity, const std::map<const Profile*, uint64_t>& origins);
    // users.last as the pass leaves it: written before any player file has a new id. When it
    // cannot be written, the pass keeps the names users.last holds.
    void SaveListLast(ListPass* pass);
    // Records users.last as Load read it in a demo; on playback takes it from it.
    void DemoSyncListLast(ListLast* last);
    // users.dat as another copy may have left it: merged (MergeList), or moved aside when it
    // cannot be used; the newer program's list, or one that cannot be moved aside, sets
    // mKeepListFile (cleared otherwise).
    void MergeListOnDisk(Profile* making, Profile* saving, FileSetAside* aside, bool* setAside,
                         ListPass* pass);
    // mProfiles becomes the list of the file with this copy's changes since mListed.
    void MergeList(const ProfileList& onDisk, int32_t nextOnDisk, Profile* making, Profile* saving,
                   ListPass* pass);
    // Without a list to merge with: making gets an id no player holds (and, with askFiles, no
    // player file has).
    void GiveIdsWithoutList(Profile* making, Profile* saving, bool askFiles, ListPass* pass);
    // The pass's renamed player gets the name typed when no other player has it.
    void GiveTypedName(const ListPass& pass);
    // Players whose names the dialogs take for one: those in `named` (named so on disk) keep
    // theirs, others get a number. False when making repeats a name (it is not renamed).
    bool MarkRepeatedNames(const std::set<const Profile*>& named, const Profile* making);
    // Records the pass (mProfiles, mNextId, mKeepListFile and the pass) in a demo; on
    // playback takes them from it. before: mProfiles before the merge, and saving. False on
    // a playback whose demo gave nothing.
    bool DemoSyncMerge(const ProfileList& before, ListPass* pass);
    // The first free id (FirstFreeId) that no player of `taken` holds and, with askFiles, no
    // player file has and no other running copy holds the play lock of.
    int32_t FreeIdOnDisk(const std::set<int32_t>& taken, int32_t counter, bool askFiles = true);
    // The profile is this manager's: its files are used after a merge.
    void Adopt(Profile* profile);
    // Tells the user about a users.dat moved aside, or kept where it could not be moved (once
    // while it stays so, see mToldKept).
    void TellListSetAside(const FileSetAside& aside);
    // Tells the user that a newer program's users.dat keeps no player made here (once while it
    // stays so).
    void TellNewerList();
    // A users.dat kept as it is: a newer program's list, or one neither read nor moved aside,
    // and why it was not read (an errno value; 0: damaged).
    struct KeptList
    {
        bool mNewer;
        int mReadError;
        bool operator==(const KeptList& other) const
        {
            return mNewer == other.mNewer && mReadError == other.mReadError;
        }
    };
    // Whether the kept list is other than the one the user was told of last (mToldKept): it is
    // told now.
    bool KeptNotTold(const KeptList& kept);
    // Details read unless the profile holds unsaved ones.
    static void LoadDetailsIfClean(Profile* profile);

    // A player as users.dat held it when this copy last read or wrote it, and this copy's
    // profile for it (still held when deleted here, to tell such players apart).
    struct ListedPlayer
    {
        int32_t mId;
        std::string mName;
        SmartPtr<Profile> mProfile;
        // The name of the list that gave the id (ListLast::mOrigins).
        uint64_t mOrigin;
    };
    std::vector<ListedPlayer> mListed;
    // The profiles whose mMgr is this manager.
    std::set<Profile*> mAdopted;
    // Players the list no longer holds (deleted here or elsewhere, lost to another copy): kept
    // while the manager lives, for whoever still points at them.
    std::vector<SmartPtr<Profile>> mLostProfiles;
    // Boxes waiting for the open one to close: header and text.
    std::deque<std::pair<std::string, std::string>> mBoxes;
    // The box shown last; open while the dialog table still holds it under its id.
    WidgetRef<Dialog> mBox;
    // The last id given out as users.dat held it then: while the file's counter has not
    // fallen below it nor reached the top, no id was given twice since.
    int32_t mListedNext;
    // The list's name then (ListLast::mIdentity): an id of a list of another name is never
    // taken for a player of this one by id alone.
    uint64_t mListedIdentity;
    // The kept users.dat the user was told of: each pass looks at it again, and the same is not
    // told again. None once the list is not kept.
    std::optional<KeptList> mToldKept;
    // A player was current here in this run: only then does "UserProfile" follow the current
    // player (to none once he is gone).
    bool mPlayedHere;
    // The lock of the player this copy plays: no two copies play one player at once.
    std::unique_ptr<ProfilePlayLock> mPlayLock;
};

} // namespace Vaxo
