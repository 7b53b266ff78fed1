// The list of players and its file users.dat; the pass over it that copies on one folder
// take turns at is in ProfileMgrMerge.cpp, the dialogs are in ProfileMgrDialogs.cpp.
#include "widgets/ProfileMgr.h"

#include "widgets/ProfileListFile.h"
#include "widgets/ProfilePlayLock.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

namespace Vaxo
{

namespace
{
const char* const kUserProfileSetting = "UserProfile";

// users.dat, users.last and the player files ("user<id>.dat"): their saves' temporary files
// are the manager's to clear away.
bool IsPlayerFileName(const std::string& name)
{
    if (name == "users.dat" || name == "users.last")
        return true;
    if (name.size() <= 8 || name.compare(0, 4, "user") != 0 || name.compare(name.size() - 4, 4, ".dat") != 0)
        return false;
    return std::all_of(name.begin() + 4, name.end() - 4,
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}
} // namespace

std::string UsersPath()
{
    return Profile::mProfileDir + "users.dat";
}

bool NewerUsersFileVersion(int32_t version)
{
    // Read signed: half of all random bytes would otherwise read as an older layout.
    if (version < kFirstUsersFileVersion || version > kMaxNewerUsersFileVersion)
        throw AceException("users.dat: no layout has this version");
    return version > kUsersFileVersion;
}

ProfileListLock::ProfileListLock(bool take, std::chrono::milliseconds wait)
    : mLock(take ? TurnLock(Profile::mProfileDir, TurnLock::Target::kFolder, wait) : TurnLock())
{
}

ProfileMgr::ProfileMgr(VaxoAppBase* app, ProfileFactory factory)
    : mApp(app), mOldFocus(nullptr), mNextId(0), mDirty(true),
      mFactory(factory != nullptr ? factory : &Profile::Factory), mKeepListFile(false), mListedNext(0),
      mListedIdentity(0), mPlayedHere(false), mPlayLock(new ProfilePlayLock())
{
    Clear();
}

ProfileMgr::~ProfileMgr()
{
    // The game may hold players beyond the manager: they use their files as they are.
    for (Profile* profile : mAdopted)
        profile->mMgr = nullptr;
}

void ProfileMgr::Adopt(Profile* profile)
{
    profile->mMgr = this;
    mAdopted.insert(profile);
}

void ProfileMgr::SyncStateHook(DataSync& sync)
{
    (void)sync;
}

int32_t ProfileMgr::GetVersion()
{
    return 1;
}

void ProfileMgr::Clear()
{
    mCurProfile = nullptr;
    mSelProfile = nullptr;
    mNextId = 0;
    mProfiles.clear();
    mDirty = true;
}

bool ProfileMgr::Load()
{
    mKeepListFile = false;
    // A demo being played back reads the recording machine's files, not this one's.
    const bool onDisk = !mApp->mPlayingDemo;
    FileSetAside aside;
    bool setAside = false;
    bool loaded = false;
    ListLast last;
    {
        // A start never waits for another copy: the files are only read without the lock (each is
        // replaced whole by a rename), and what is damaged is moved aside by the next pass that has it.
        ProfileListLock lock(onDisk, std::chrono::milliseconds(0));
        const bool mayMove = onDisk && !lock.HeldElsewhere() && lock.MayWrite();
        if (mayMove)
            RemoveStaleTempFiles(Profile::mProfileDir, IsPlayerFileName);
        if (onDisk)
            last = ReadListLast();
        Buffer buffer;
        if (mApp->ReadBufferFromFile(UsersPath(), &buffer, false))
        {
            try
            {
                DataSync sync;
                sync.OpenReader(buffer);
                SyncState(sync);
                loaded = true;
            }
            catch (const AceException&)
            {
                Clear();
                if (mayMove)
                {
                    aside = SetFileAside(UsersPath(), 0);
                    setAside = true;
                }
            }
        }
        else
        {
            Clear();
            std::vector<char> bytes;
            if (mayMove && ReadStoredFile(UsersPath(), &bytes) == StoredFileRead::kUnreadable)
            {
                aside = SetFileAside(UsersPath(), errno);
                setAside = true;
            }
        }
    }
    // Before any box: the list as read (none when it could not be) is what this copy's
    // changes are told apart from, and users.last says which list gave the ids.
    DemoSyncListLast(&last);
    std::map<const Profile*, uint64_t> origins;
    for (const SmartPtr<Profile>& profile : mProfiles)
        origins[profile.get()] = last.OriginOf(profile->mId);
    RememberListOnDisk(last.mIdentity, origins);
    // Once the lock is let go: the box waits for the user.
    if (setAside)
        TellListSetAside(aside);
    if (!mKeepListFile)
        mToldKept.reset();
    if (!loaded)
    {
        // Whether the file is kept was decided on the recording machine's files.
        mApp->DemoSyncBool(&mKeepListFile);
        FollowCurProfile();
        return false;
    }
    if (mKeepListFile)
        TellNewerList();
    const bool renumbered = GiveRepeatedIdsFreeOnes(last.mLastId);
    std::string name;
    Profile* wanted = nullptr;
    if (mApp->RegistryReadString(kUserProfileSetting, &name) && !name.empty())
        wanted = GetProfile(name, false);
    if (wanted == nullptr && !mProfiles.empty())
        wanted = mProfiles.back();
    // Played in another copy: none is current, and the game asks for a player as at a first
    // start (the new-player dialog, whose Cancel leads to the list).
    // His details are read as he is taken. The list was read just now: no merge first. New ids
    // and their files are written at the next save.
    if (!TakeCurProfile(wanted))
        TakeCurProfile(nullptr);
    mDirty = renumbered;
    return true;
}

void ProfileMgr::TellListSetAside(const FileSetAside& aside)
{
    // Left in place and not written over while it stays there.
    if (aside.mKeptAs.empty())
    {
        mKeepListFile = true;
        if (!KeptNotTold({false, aside.mReadError}))
            return;
    }
    mApp->ReportFileSetAside(aside, mApp->GetString("PLAYERS_UNREADABLE_TITLE", "Players Not Read"),
                             mApp->GetString("PLAYERS_UNREADABLE", "The list of players could not be read: "),
                             mApp->GetString("PLAYERS_NEW_LIST", "\nA new list of players is started."),
                             mApp->GetString("PLAYERS_NOT_SAVED", "\nPlayers made now will not be saved."));
}

void ProfileMgr::TellNewerList()
{
    // A demo being played back read the recording machine's list.
    if (mApp->mPlayingDemo || !KeptNotTold({true, 0}))
        return;
    mApp->MsgBox(mApp->GetString("PLAYERS_NEWER",
                                 "The list of players was written by a newer version of the program: ") +
                     UsersPath() +
                     mApp->GetString("PLAYERS_NEWER_KEPT",
                                     "\nIt is kept as it is, and players made now will not be saved."),
                 mApp->GetString("PLAYERS_NEWER_TITLE", "Players Not Saved"), MSGBOX_ERROR);
}

bool ProfileMgr::Save()
{
    if (Profile::mProfileDir.empty())
        return false;
    // The list on disk may have changed even when nothing did here: another copy's players,
    // or a list lost, get written too.
    SyncList(nullptr, UnsavedCurProfile());
    // After the merge: the name another copy gave the player meanwhile (his old one may be
    // another player's by now), or none once that copy deleted him.
    RememberCurProfile();
    return !mDirty;
}

void ProfileMgr::SyncState(DataSync& sync)
{
    const bool reading = sync.IsReading();
    if (reading)
        Clear();
    int32_t version = kUsersFileVersion;
    sync.SyncLong(version);
    if (NewerUsersFileVersion(version))
    {
        mKeepListFile = reading;
        return;
    }
    sync.SyncLong(mNextId);
    if (!reading)
    {
        sync.GetWriter()->WriteLong(uint32_t(mProfiles.size()));
        for (SmartPtr<Profile>& profile : mProfiles)
            profile->SyncSummary(sync);
    }
    else
    {
        ReadProfiles(sync, &mProfiles, &mNextId);
    }
    if (version >= 2)
    {
        sync.SyncVersion(GetVersion(), -1, -1);
        SyncStateHook(sync);
    }
}

void ProfileMgr::ReadProfiles(DataSync& sync, ProfileList* profiles, int32_t* nextId)
{
    const int32_t count = sync.GetReader()->ReadLong();
    for (int32_t i = 0; i < count; ++i)
    {
        SmartPtr<Profile> profile(mFactory());
        Adopt(profile);
        profile->SyncSummary(sync);
        profiles->push_back(profile);
        // A damaged counter must not give a new player a listed player's id.
        *nextId = std::max(*nextId, profile->mId);
    }
    *nextId = std::max(*nextId, int32_t(0));
}

void ProfileMgr::LoadDetailsIfClean(Profile* profile)
{
    // Unsaved progress (its last save failed) is newer than the file.
    if (!profile->mDirty)
        profile->LoadDetails();
}

Profile* ProfileMgr::GetProfile(const std::string& name, bool loadDetails)
{
    // The list as it stands on disk first: the player's id may have gone to another player
    // (or the player to another id) since this copy last read it.
    if (loadDetails)
        SyncList(nullptr, nullptr);
    for (SmartPtr<Profile>& profile : mProfiles)
    {
        if (stricmp(profile->mName.c_str(), name.c_str()) != 0)
            continue;
        if (loadDetails)
            LoadDetailsIfClean(profile);
        return profile;
    }
    return nullptr;
}

Profile* ProfileMgr::GetAnyProfile()
{
    SyncList(nullptr, nullptr);
    if (mProfiles.empty())
        return nullptr;
    Profile* profile = mProfiles.back();
    LoadDetailsIfClean(profile);
    return profile;
}

bool ProfileMgr::IdTaken(int32_t id)
{
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        if (profile->mId == id)
            return true;
    }
    // A file left by a player that a damaged or lost users.dat no longer lists is never
    // handed to a new player; nor is one the user may not read, which the application's
    // test (it opens the file) does not see.
    // A demo cut off from its stream answers yes to every existence test (and writes
    // nothing): the search would run through every id.
    if (mApp->mPlayingDemo && mApp->mDemoDetached)
        return false;
    const std::string path = Profile::GetDetailsPath(id);
    if (mApp->FileExists(path))
        return true;
    // Nor one another running copy plays a player under: his copy could not let go of it. A
    // demo takes both answers from the recording machine, as the application's test.
    bool exists = !mApp->mPlayingDemo && (Vaxo::FileExists(path) || mPlayLock->HeldElsewhere(id));
    mApp->DemoSyncBool(&exists);
    return exists;
}

bool ProfileMgr::GiveRepeatedIdsFreeOnes(int32_t lastId)
{
    // Two players with one id would share one player file: saving one overwrites the
    // other, and deleting one erases the other's progress.
    std::set<int32_t> seen;
    bool renumbered = false;
    // Ids found below an exhausted counter rise: each search goes on from the last.
    int32_t firstBelow = 1;
    for (SmartPtr<Profile>& profile : mProfiles)
    {
        if (seen.insert(profile->mId).second)
            continue;
        // New ids go above users.last too.
        const int32_t counter = std::max(mNextId, lastId);
        const int32_t id = FirstFreeId(counter, firstBelow, [this](int32_t free) { return !IdTaken(free); });
        if (id == 0)
            break;
        if (id <= counter && id < INT32_MAX)
            firstBelow = id + 1;
        profile->mId = id;
        mNextId = std::max(mNextId, id);
        seen.insert(id);
        renumbered = true;
    }
    return renumbered;
}

Profile* ProfileMgr::CreateProfile(const std::string& name)
{
    if (GetProfile(name, false) != nullptr)
        return nullptr;
    SmartPtr<Profile> profile(mFactory());
    Adopt(profile);
    profile->mName = name;
    // A fresh player's details, written with the list: the file holds the id from now on.
    profile->Reset();
    profile->mHasDetails = true;
    mProfiles.push_back(profile);
    mDirty = true;
    SyncList(profile, nullptr);
    // Another copy made a player of that name meanwhile, or no id is free.
    if (!Listed(profile))
        return nullptr;
    return profile;
}

void ProfileMgr::RememberCurProfile()
{
    NoticeCurProfile();
    // A copy that played nobody (started while its player was played elsewhere) leaves the
    // player of the next start as the copy that played him left it.
    if (!Profile::mProfileDir.empty() && mPlayedHere)
        mApp->RegistryWriteString(kUserProfileSetting, mCurProfile != nullptr ? mCurProfile->mName : "");
}

void ProfileMgr::NoticeCurProfile()
{
    mPlayedHere = mPlayedHere || mCurProfile != nullptr;
}

bool ProfileMgr::KeptNotTold(const KeptList& kept)
{
    if (mToldKept == kept)
        return false;
    mToldKept = kept;
    return true;
}

bool ProfileMgr::Listed(const Profile* profile) const
{
    return std::find(mProfiles.begin(), mProfiles.end(), profile) != mProfiles.end();
}

Profile* ProfileMgr::UnsavedCurProfile() const
{
    return mCurProfile != nullptr && mCurProfile->mDirty ? mCurProfile.get() : nullptr;
}

void ProfileMgr::SetCurProfile(Profile* profile)
{
    // The save's pass may drop the player (another copy deleted him): held across it, and
    // then lost as a current player deleted elsewhere is.
    const SmartPtr<Profile> chosen = profile;
    const bool listed = Listed(profile);
    const bool wasCurrent = chosen != nullptr && chosen == mCurProfile;
    // The list as it stands on disk, with the current player's details saved: the player chosen
    // has the id it gives him, and is read again as he is taken if another copy saved him since.
    // The pass may find the current player deleted or taken over elsewhere: lost, and a player
    // asked for.
    if (UnsavedCurProfile() != nullptr)
        SaveCurProfileIfDirty();
    else
        SyncList(nullptr, nullptr);
    // Lost by that save (and told): asked for again, not taken back by the same call.
    if (wasCurrent && mCurProfile == nullptr)
        return;
    const bool asked = mCurProfile == nullptr;
    if (!TakeCurProfile(chosen))
    {
        RefusePlayer(chosen);
        return;
    }
    if (listed && !Listed(chosen))
        LoseCurProfile();
    // The list that asked for a player has one.
    else if (asked && chosen != nullptr && GetUserDialog() != nullptr)
        KillDialog(PROFILE_DIALOG_USERS);
}

int32_t ProfileMgr::PlayLockId(const Profile* profile) const
{
    // A player deleted (here or elsewhere) is nobody's to hold.
    return profile != nullptr && Listed(profile) ? profile->mId : 0;
}

bool ProfileMgr::TakeCurProfile(Profile* profile)
{
    // A demo being played back takes the answers the recording machine's locks and files gave.
    bool free = mApp->mPlayingDemo || mPlayLock->Hold(PlayLockId(profile));
    mApp->DemoSyncBool(&free);
    if (!free)
        return false;
    if (profile != nullptr)
    {
        // Saved by another copy since this copy read him: what he holds here is not written over
        // that save, and goes.
        bool stale = !mApp->mPlayingDemo && profile->mHasDetails && TakenOver(profile, false);
        mApp->DemoSyncBool(&stale);
        if (stale)
            profile->DropDetails();
        if (!profile->mHasDetails && !profile->mDirty)
            profile->LoadDetails();
    }
    // One the game made current itself, let go now, was played here too.
    NoticeCurProfile();
    mCurProfile = profile;
    NoticeCurProfile();
    return true;
}

bool ProfileMgr::FollowCurProfile()
{
    // A demo being played back takes the answer the recording machine's locks gave.
    bool held = mApp->mPlayingDemo || mPlayLock->Hold(PlayLockId(mCurProfile));
    mApp->DemoSyncBool(&held);
    return held;
}

bool ProfileMgr::CurLockTaken()
{
    const int32_t lost = mApp->mPlayingDemo ? 0 : mPlayLock->Keep();
    bool taken = lost != 0 && lost == PlayLockId(mCurProfile);
    mApp->DemoSyncBool(&taken);
    return taken;
}

bool ProfileMgr::TakenOver(const Profile* profile, bool lockLost) const
{
    return lockLost || profile->CheckFile() == Profile::FileSeen::kChanged;
}

void ProfileMgr::SaveCurProfileIfDirty()
{
    if (mCurProfile != nullptr && mCurProfile->mDirty)
        mCurProfile->SaveDetails();
}

} // namespace Vaxo
