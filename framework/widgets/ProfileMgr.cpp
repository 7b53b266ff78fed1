// The list of players and its file users.dat; the dialogs are in ProfileMgrDialogs.cpp.
#include "widgets/ProfileMgr.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"

#include <algorithm>
#include <climits>

namespace Vaxo
{

namespace
{
// Layout of users.dat this program writes; a larger one is not read.
constexpr int32_t kUsersFileVersion = 2;
const char* const kUserProfileSetting = "UserProfile";

std::string UsersPath()
{
    return Profile::mProfileDir + "users.dat";
}
} // namespace

ProfileMgr::ProfileMgr(VaxoAppBase* app, ProfileFactory factory)
    : mApp(app), mOldFocus(nullptr), mNextId(0), mDirty(true),
      mFactory(factory != nullptr ? factory : &Profile::Factory), mNewerFile(false)
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
    mNewerFile = false;
    Buffer buffer;
    if (!mApp->ReadBufferFromFile(UsersPath(), &buffer, false))
    {
        Clear();
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
        return false;
    }
    std::string name;
    if (mApp->RegistryReadString(kUserProfileSetting, &name) && !name.empty())
        mCurProfile = GetProfile(name, true);
    if (mCurProfile == nullptr)
        mCurProfile = GetAnyProfile();
    mDirty = false;
    return true;
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
    if (mNewerFile)
        return false;
    DataSync sync;
    sync.OpenWriter(1024);
    SyncState(sync);
    sync.EndBit();
    const DataWriter* writer = sync.GetWriter();
    // Cleared only once the file is safely replaced, so that a failed write is retried.
    if (!mApp->WriteBytesToFile(UsersPath(), writer->GetDataPtr(), uint32_t(writer->GetDataLen())))
        return false;
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
        mNewerFile = reading;
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

int32_t ProfileMgr::FindFreeId()
{
    // A file left by a player that a damaged or lost users.dat no longer lists is never
    // handed to a new player.
    int32_t id = mNextId;
    do
    {
        if (id == INT32_MAX)
            return 0;
        ++id;
    } while (mApp->FileExists(Profile::GetDetailsPath(id)));
    return id;
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
    mNextId = id;
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
