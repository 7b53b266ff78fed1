// The list of players and its file users.dat; the dialogs are in ProfileMgrDialogs.cpp.
#include "widgets/ProfileMgr.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace Vaxo
{

namespace
{
// Layout of users.dat this program writes; a larger one is not read.
constexpr int32_t kUsersFileVersion = 2;
const char* const kUserProfileSetting = "UserProfile";
// How long a copy waits for another copy to be done with users.dat before it goes on
// without the lock: a copy holds it only while it reads and writes the list, and one that
// was stopped meanwhile must not stop this one for good.
constexpr std::chrono::milliseconds kLockWait(5000);
constexpr std::chrono::milliseconds kLockPoll(5);

std::string UsersPath()
{
    return Profile::mProfileDir + "users.dat";
}

// users.dat and the player files ("user<id>.dat"): their saves' temporary files are the
// manager's to clear away.
bool IsPlayerFileName(const std::string& name)
{
    if (name == "users.dat")
        return true;
    if (name.size() <= 8 || name.compare(0, 4, "user") != 0 || name.compare(name.size() - 4, 4, ".dat") != 0)
        return false;
    return std::all_of(name.begin() + 4, name.end() - 4,
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// The lock on the profile folder that copies of the program take while they read, merge
// and write users.dat, so that they take turns. Released when it goes (closing releases it).
class ListLock
{
public:
    explicit ListLock(bool take)
    {
        if (!take)
            return;
        mFd = ::open(Profile::mProfileDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const auto giveUp = std::chrono::steady_clock::now() + kLockWait;
        while (mFd >= 0 && ::flock(mFd, LOCK_EX | LOCK_NB) != 0)
        {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > giveUp)
            {
                ::close(mFd);
                mFd = -1;
            }
            else
                std::this_thread::sleep_for(kLockPoll);
        }
    }
    ~ListLock()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    int mFd = -1;
};
} // namespace

ProfileMgr::ProfileMgr(VaxoAppBase* app, ProfileFactory factory)
    : mApp(app), mOldFocus(nullptr), mNextId(0), mDirty(true),
      mFactory(factory != nullptr ? factory : &Profile::Factory), mKeepListFile(false), mListedNext(0),
      mToldNewerList(false)
{
    Clear();
}

ProfileMgr::~ProfileMgr() = default;

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
    mListed.clear();
    mListedNext = 0;
    // A demo being played back reads the recording machine's files, not this one's.
    const bool onDisk = !mApp->mPlayingDemo;
    FileSetAside aside;
    bool setAside = false;
    bool loaded = false;
    {
        ListLock lock(onDisk);
        if (onDisk)
            RemoveStaleTempFiles(Profile::mProfileDir, IsPlayerFileName);
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
                if (onDisk)
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
            if (onDisk && ReadStoredFile(UsersPath(), &bytes) == StoredFileRead::kUnreadable)
            {
                aside = SetFileAside(UsersPath(), errno);
                setAside = true;
            }
        }
    }
    // Once the lock is let go: the box waits for the user.
    if (setAside)
        TellListSetAside(aside);
    if (!loaded)
    {
        // Whether the file is kept was decided on the recording machine's files.
        mApp->DemoSyncBool(&mKeepListFile);
        return false;
    }
    if (mKeepListFile)
        TellNewerList();
    for (const SmartPtr<Profile>& profile : mProfiles)
        mListed.push_back({profile->mId, profile->mName, profile});
    mListedNext = mNextId;
    const bool renumbered = GiveRepeatedIdsFreeOnes();
    std::string name;
    if (mApp->RegistryReadString(kUserProfileSetting, &name) && !name.empty())
        mCurProfile = GetProfile(name, true);
    if (mCurProfile == nullptr)
        mCurProfile = GetAnyProfile();
    // New ids are written at the next save.
    mDirty = renumbered;
    return true;
}

void ProfileMgr::TellListSetAside(const FileSetAside& aside)
{
    // Left in place and never written over; players made in this run are not kept.
    if (aside.mKeptAs.empty())
        mKeepListFile = true;
    mApp->ReportFileSetAside(aside, mApp->GetString("PLAYERS_UNREADABLE_TITLE", "Players Not Read"),
                             mApp->GetString("PLAYERS_UNREADABLE", "The list of players could not be read: "),
                             mApp->GetString("PLAYERS_NEW_LIST", "\nA new list of players is started."),
                             mApp->GetString("PLAYERS_NOT_SAVED", "\nPlayers made now will not be saved."));
}

void ProfileMgr::TellNewerList()
{
    // A demo being played back read the recording machine's list.
    if (mToldNewerList || mApp->mPlayingDemo)
        return;
    mToldNewerList = true;
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
    if (mCurProfile != nullptr)
        mApp->RegistryWriteString(kUserProfileSetting, mCurProfile->mName);
    SaveCurProfileIfDirty();
    if (!mDirty)
        return true;
    if (mKeepListFile)
        return false;
    // A demo being played back writes nothing, so there is nothing to merge with.
    const bool onDisk = !mApp->mPlayingDemo;
    FileSetAside aside;
    bool setAside = false;
    bool written = false;
    int error = 0;
    {
        // The lock is on the folder, which must be there first.
        if (onDisk)
            MkDir(Profile::mProfileDir);
        ListLock lock(onDisk);
        // Only a demo needs the players as they were before the merge.
        const ProfileList before = mApp->mRecordingDemo || mApp->mPlayingDemo ? mProfiles : ProfileList();
        if (onDisk)
            MergeListOnDisk(&aside, &setAside);
        bool write = !mKeepListFile && !(setAside && aside.mKeptAs.empty());
        DemoSyncMerge(before, &write);
        if (write)
        {
            DataSync sync;
            sync.OpenWriter(1024);
            SyncState(sync);
            sync.EndBit();
            const DataWriter* writer = sync.GetWriter();
            written =
                mApp->WriteBytesToFile(UsersPath(), writer->GetDataPtr(), uint32_t(writer->GetDataLen()));
            error = errno;
        }
    }
    const bool newer = mKeepListFile;
    if (setAside)
        TellListSetAside(aside);
    if (newer)
        TellNewerList();
    if (mKeepListFile)
        return false;
    // Cleared only once the file is safely replaced, so that a failed write is retried.
    if (!written)
    {
        // A demo being played back answers with the recording's result: nothing failed here.
        if (!mApp->mPlayingDemo)
            mApp->ReportFailedSave(Profile::kPlayersSaved, UsersPath(), error);
        return false;
    }
    mDirty = false;
    mListed.clear();
    for (const SmartPtr<Profile>& profile : mProfiles)
        mListed.push_back({profile->mId, profile->mName, profile});
    mListedNext = mNextId;
    return true;
}

void ProfileMgr::DemoSyncMerge(const ProfileList& before, bool* write)
{
    if (!mApp->mRecordingDemo && !mApp->mPlayingDemo)
        return;
    Buffer buffer;
    if (mApp->mRecordingDemo)
    {
        buffer.WriteBoolean(*write);
        buffer.WriteBoolean(mKeepListFile);
        buffer.WriteLong(mNextId);
        buffer.WriteLong(int32_t(mProfiles.size()));
        // Each player as the place it had in the list before (-1: read from the file), its id
        // and name: the replay keeps the same players, with what they hold in memory.
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            const auto at = std::find(before.begin(), before.end(), profile);
            buffer.WriteLong(at == before.end() ? -1 : int32_t(std::distance(before.begin(), at)));
            buffer.WriteLong(profile->mId);
            buffer.WriteString(profile->mName);
        }
    }
    mApp->DemoSyncBuffer(&buffer);
    // Nothing came from a demo whose playback was cut off.
    if (!mApp->mPlayingDemo || buffer.GetDataLen() == 0)
        return;
    buffer.SeekFront();
    *write = buffer.ReadBoolean();
    mKeepListFile = buffer.ReadBoolean();
    mNextId = buffer.ReadLong();
    const std::vector<SmartPtr<Profile>> places(before.begin(), before.end());
    ProfileList merged;
    // A damaged demo's count is not trusted beyond its bytes.
    for (int32_t count = buffer.ReadLong(); count > 0 && !buffer.AtEnd(); --count)
    {
        const int32_t place = buffer.ReadLong();
        const int32_t id = buffer.ReadLong();
        const std::string name = buffer.ReadString();
        SmartPtr<Profile> profile = place >= 0 && size_t(place) < places.size()
                                        ? places[size_t(place)]
                                        : SmartPtr<Profile>(mFactory());
        if (std::find(merged.begin(), merged.end(), profile) != merged.end())
            continue;
        profile->mId = id;
        profile->mName = name;
        merged.push_back(profile);
    }
    // Players added here stay, as in the merge itself: CreateProfile returns one the list holds.
    for (const SmartPtr<Profile>& profile : before)
    {
        const bool listed = std::any_of(mListed.begin(), mListed.end(),
                                        [&profile](const ListedPlayer& p) { return p.mProfile == profile; });
        if (!listed && std::find(merged.begin(), merged.end(), profile) == merged.end())
            merged.push_back(profile);
    }
    mProfiles = merged;
}

void ProfileMgr::SyncState(DataSync& sync)
{
    const bool reading = sync.IsReading();
    if (reading)
        Clear();
    int32_t version = kUsersFileVersion;
    sync.SyncLong(version);
    if (version > kUsersFileVersion)
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
        profile->SyncSummary(sync);
        profiles->push_back(profile);
        // A damaged counter must not give a new player a listed player's id.
        *nextId = std::max(*nextId, profile->mId);
    }
    *nextId = std::max(*nextId, int32_t(0));
}

void ProfileMgr::MergeListOnDisk(FileSetAside* aside, bool* setAside)
{
    std::vector<char> bytes;
    const StoredFileRead read = ReadStoredFile(UsersPath(), &bytes);
    if (read == StoredFileRead::kUnreadable)
    {
        *aside = SetFileAside(UsersPath(), errno);
        *setAside = true;
    }
    // An empty file holds nothing to lose.
    if (read != StoredFileRead::kRead || bytes.empty())
        return;
    ProfileList onDisk;
    int32_t nextOnDisk = 0;
    try
    {
        DataSync sync;
        sync.OpenReader(bytes.data(), int32_t(bytes.size()));
        int32_t version = 0;
        sync.SyncLong(version);
        // Written meanwhile by a newer program, whose players must not be lost.
        if (version > kUsersFileVersion)
        {
            mKeepListFile = true;
            return;
        }
        sync.SyncLong(nextOnDisk);
        ReadProfiles(sync, &onDisk, &nextOnDisk);
    }
    catch (const AceException&)
    {
        *aside = SetFileAside(UsersPath(), 0);
        *setAside = true;
        return;
    }
    MergeList(onDisk, nextOnDisk);
}

void ProfileMgr::MergeList(const ProfileList& onDisk, int32_t nextOnDisk)
{
    auto held = [this](const Profile* profile)
    { return std::find(mProfiles.begin(), mProfiles.end(), profile) != mProfiles.end(); };
    auto sameName = [](const Profile* a, const std::string& b)
    { return stricmp(a->mName.c_str(), b.c_str()) == 0; };
    std::vector<bool> matched(mListed.size(), false);
    std::set<const Profile*> placed;
    // Players that hold the id the file gives them: their player files are theirs.
    std::set<const Profile*> fileIds;
    ProfileList merged;
    auto place = [&](const SmartPtr<Profile>& profile, bool fileId)
    {
        placed.insert(profile.get());
        merged.push_back(profile);
        if (fileId)
            fileIds.insert(profile.get());
    };
    // An id alone names the same player only while no id can have been given twice since this
    // copy last saw the list: the counter on disk never falls, and new ids go above it until
    // it reaches the top.
    const bool idsGivenOnce = mListedNext < INT32_MAX && nextOnDisk < INT32_MAX && nextOnDisk >= mListedNext;
    for (const SmartPtr<Profile>& entry : onDisk)
    {
        // The player as this copy last saw it: the same id and name (ids may repeat in a
        // damaged list), or the same id under a name the other copy gave it.
        size_t seen = mListed.size();
        for (size_t i = 0; i < mListed.size(); ++i)
        {
            if (matched[i] || mListed[i].mId != entry->mId)
                continue;
            if (sameName(entry, mListed[i].mName))
            {
                seen = i;
                break;
            }
            if (seen == mListed.size() && idsGivenOnce)
                seen = i;
        }
        if (seen < mListed.size())
        {
            matched[seen] = true;
            const SmartPtr<Profile>& mine = mListed[seen].mProfile;
            // Deleted here: it stays deleted.
            if (!held(mine) || placed.count(mine.get()) != 0)
                continue;
            // Renamed by the other copy, unless renamed here too.
            if (mine->mName == mListed[seen].mName)
                mine->mName = entry->mName;
            place(mine, mine->mId == entry->mId);
            continue;
        }
        // Added by the other copy; or a player this copy holds under the same id and name
        // (both gave a repeated id the same new one).
        SmartPtr<Profile> same;
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            if (placed.count(profile.get()) == 0 && profile->mId == entry->mId &&
                sameName(profile, entry->mName))
            {
                same = profile;
                break;
            }
        }
        place(same != nullptr ? same : entry, true);
    }
    // Players listed when this copy last saw the list but gone from it were deleted by the
    // other copy and stay deleted; those never listed were added here.
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        const bool listed = std::any_of(mListed.begin(), mListed.end(),
                                        [&profile](const ListedPlayer& p) { return p.mProfile == profile; });
        if (placed.count(profile.get()) == 0 && !listed)
            place(profile, false);
    }
    // A player added or renumbered here keeps its id only when it is above the last id the
    // file gave out (the other copy may have given it, and deleted that player since) and no
    // other player holds it; else it gets a free one above both counters. Two players never
    // share a player file. Once the counter is at the top, ids are reused anyway.
    int32_t counter = std::max(mNextId, nextOnDisk);
    std::set<int32_t> taken;
    for (const SmartPtr<Profile>& profile : merged)
    {
        if (fileIds.count(profile.get()) != 0)
            taken.insert(profile->mId);
        counter = std::max(counter, profile->mId);
    }
    for (const SmartPtr<Profile>& profile : merged)
    {
        const bool newOnDisk = profile->mId > nextOnDisk || nextOnDisk == INT32_MAX;
        if (fileIds.count(profile.get()) != 0 ||
            (profile->mId > 0 && newOnDisk && taken.insert(profile->mId).second))
            continue;
        const int32_t id = FreeIdOnDisk(taken, counter);
        if (id == 0)
            continue;
        profile->mId = id;
        taken.insert(id);
        counter = std::max(counter, id);
    }
    mProfiles = merged;
    mNextId = counter;
}

int32_t ProfileMgr::FreeIdOnDisk(const std::set<int32_t>& taken, int32_t counter)
{
    // Not through the application: a demo played back merges nothing; the merge's outcome
    // is recorded as a whole.
    auto free = [&taken](int64_t id)
    { return taken.count(int32_t(id)) == 0 && !Vaxo::FileExists(Profile::GetDetailsPath(int32_t(id))); };
    for (int64_t id = int64_t(counter) + 1; id <= INT32_MAX; ++id)
    {
        if (free(id))
            return int32_t(id);
    }
    for (int64_t id = 1; id <= counter; ++id)
    {
        if (free(id))
            return int32_t(id);
    }
    return 0;
}

void ProfileMgr::LoadDetailsIfClean(Profile* profile)
{
    // Unsaved progress (its last save failed) is newer than the file.
    if (!profile->mDirty)
        profile->LoadDetails();
}

Profile* ProfileMgr::GetProfile(const std::string& name, bool loadDetails)
{
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
    // A demo takes that answer from the recording machine, as the application's test.
    bool exists = !mApp->mPlayingDemo && Vaxo::FileExists(path);
    mApp->DemoSyncBool(&exists);
    return exists;
}

int32_t ProfileMgr::FindFreeId(int32_t firstBelow)
{
    // Ids are not reused while the counter lasts.
    for (int64_t id = int64_t(mNextId) + 1; id <= INT32_MAX; ++id)
    {
        if (!IdTaken(int32_t(id)))
            return int32_t(id);
    }
    // A damaged or hand-edited list can put the counter at the top.
    for (int64_t id = std::max(firstBelow, int32_t(1)); id <= mNextId; ++id)
    {
        if (!IdTaken(int32_t(id)))
            return int32_t(id);
    }
    return 0;
}

bool ProfileMgr::GiveRepeatedIdsFreeOnes()
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
        const int32_t counter = mNextId;
        const int32_t id = FindFreeId(firstBelow);
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
    const int32_t id = FindFreeId();
    if (id == 0)
        return nullptr;
    SmartPtr<Profile> profile(mFactory());
    profile->mName = name;
    // An id found below an exhausted counter leaves the counter at the top.
    mNextId = std::max(mNextId, id);
    profile->mId = id;
    mProfiles.push_back(profile);
    mDirty = true;
    Save();
    return profile;
}

void ProfileMgr::SetCurProfile(Profile* profile)
{
    SaveCurProfileIfDirty();
    mCurProfile = profile;
}

void ProfileMgr::SaveCurProfileIfDirty()
{
    if (mCurProfile != nullptr && mCurProfile->mDirty)
        mCurProfile->SaveDetails();
}

} // namespace Vaxo
