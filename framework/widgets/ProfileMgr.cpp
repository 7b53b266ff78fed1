// The list of players and its file users.dat; the dialogs are in ProfileMgrDialogs.cpp.
#include "widgets/ProfileMgr.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <set>

namespace Vaxo
{

namespace
{
// Layout of users.dat this program writes; a larger one is not read.
constexpr int32_t kUsersFileVersion = 2;
const char* const kUserProfileSetting = "UserProfile";
// Message box type of the application's error boxes: OK only, error icon.
constexpr int kErrorBox = 16;

std::string UsersPath()
{
    return Profile::mProfileDir + "users.dat";
}
} // namespace

ProfileMgr::ProfileMgr(VaxoAppBase* app, ProfileFactory factory)
    : mApp(app), mOldFocus(nullptr), mNextId(0), mDirty(true),
      mFactory(factory != nullptr ? factory : &Profile::Factory), mKeepListFile(false)
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
    Buffer buffer;
    if (!mApp->ReadBufferFromFile(UsersPath(), &buffer, false))
    {
        Clear();
        KeepDamagedList();
        return false;
    }
    try
    {
        DataSync sync;
        sync.OpenReader(buffer);
        SyncState(sync);
    }
    catch (const AceException&)
    {
        Clear();
        KeepDamagedList();
        return false;
    }
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

void ProfileMgr::KeepDamagedList()
{
    // A demo being played back read the recording machine's file, not this one.
    const std::string path = UsersPath();
    if (mApp->mPlayingDemo || !Vaxo::FileExists(path))
        return;
    int error = 0;
    const std::string kept = MoveDamagedFileAside(path, &error);
    const std::string title = mApp->GetString("PLAYERS_UNREADABLE_TITLE", "Players Not Read");
    std::string text =
        mApp->GetString("PLAYERS_UNREADABLE", "The list of players could not be read: ") + path;
    if (!kept.empty())
        text += mApp->GetString("PLAYERS_KEPT_AS", "\nIt was kept as ") + kept +
                mApp->GetString("PLAYERS_NEW_LIST", "\nA new list of players is started.");
    else
    {
        // Left in place and never written over; players made in this run are not kept.
        mKeepListFile = true;
        text += mApp->GetString("PLAYERS_NOT_MOVED", "\nIt could not be moved aside: ") +
                (error != 0 ? std::strerror(error) : "no free name") +
                mApp->GetString("PLAYERS_NOT_SAVED", "\nPlayers made now will not be saved.");
    }
    mApp->MsgBox(text, title, kErrorBox);
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
    DataSync sync;
    sync.OpenWriter(1024);
    SyncState(sync);
    sync.EndBit();
    const DataWriter* writer = sync.GetWriter();
    // Cleared only once the file is safely replaced, so that a failed write is retried.
    if (!mApp->WriteBytesToFile(UsersPath(), writer->GetDataPtr(), uint32_t(writer->GetDataLen())))
    {
        // A demo being played back answers with the recording's result: nothing failed here.
        if (!mApp->mPlayingDemo)
            mApp->ReportFailedSave(Profile::kPlayersSaved, UsersPath(), errno);
        return false;
    }
    mDirty = false;
    return true;
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
        const int32_t count = sync.GetReader()->ReadLong();
        for (int32_t i = 0; i < count; ++i)
        {
            SmartPtr<Profile> profile(mFactory());
            profile->SyncSummary(sync);
            mProfiles.push_back(profile);
            // A damaged counter must not give a new player a listed player's id.
            mNextId = std::max(mNextId, profile->mId);
        }
        mNextId = std::max(mNextId, int32_t(0));
    }
    if (version >= 2)
    {
        sync.SyncVersion(GetVersion(), -1, -1);
        SyncStateHook(sync);
    }
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
    // handed to a new player.
    return mApp->FileExists(Profile::GetDetailsPath(id));
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
