#include "widgets/Profile.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"
#include "common/md5.h"
#include "widgets/ProfileMgr.h"

#include <cerrno>
#include <vector>

namespace Vaxo
{

const char* const Profile::kPlayersSaved = "the players";
std::string Profile::mProfileDir;
int32_t Profile::mMaxChars = 12;

namespace
{
std::array<uint8_t, 16> Digest(const void* data, size_t length)
{
    std::array<uint8_t, 16> digest{};
    // An empty file's bytes may come as no pointer at all.
    md5(length != 0 ? static_cast<const unsigned char*>(data) : reinterpret_cast<const unsigned char*>(""),
        int32_t(length), digest.data());
    return digest;
}
} // namespace

Profile::Profile()
    : mId(0), mDirty(false), mKeepFile(false), mHasDetails(false), mMgr(nullptr), mSeen(false),
      mSeenThere(false), mSeenDigest{}, mTakenElsewhere(false)
{
}

Profile::~Profile()
{
    if (mMgr != nullptr)
        mMgr->mAdopted.erase(this);
}

void Profile::Reset() {}

void Profile::SyncSummary(DataSync& sync)
{
    sync.SyncLong(mId);
    sync.SyncString(mName);
}

void Profile::SyncDetails(DataSync& sync)
{
    (void)sync;
}

int32_t Profile::GetCurVersion()
{
    return 1;
}

void Profile::DeleteFilesHook() {}

Profile* Profile::Factory()
{
    return new Profile();
}

void Profile::InitProfileDir(const std::string& dir, bool absolute)
{
    mProfileDir = absolute ? AddTrailingSlash(dir) : GetAppDataFolder() + AddTrailingSlash(dir);
    if (gVaxoAppBase != nullptr && gVaxoAppBase->mPlayingDemo)
        return;
    if (MkDir(mProfileDir))
        AllowAllAccess(mProfileDir);
}

std::string Profile::GetDetailsPath(int32_t id)
{
    return StrFormat("%suser%d.dat", mProfileDir.c_str(), int(id));
}

void Profile::LoadDetails()
{
    // Whatever is read, the details in memory are this player's afterwards.
    mHasDetails = true;
    const bool wasKept = mKeepFile;
    mKeepFile = false;
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
    {
        Reset();
        return;
    }
    const std::string path = GetDetailsPath(mId);
    Buffer buffer;
    const bool read = app->ReadBufferFromFile(path, &buffer, false);
    // Read again: a later save by another copy is a new take-over.
    mTakenElsewhere = false;
    SeeFile(read, buffer.GetDataPtr(), size_t(buffer.GetDataLen()));
    if (!read)
    {
        Reset();
        // A demo being played back read the recording machine's file, not this one.
        std::vector<char> bytes;
        if (!app->mPlayingDemo && ReadStoredFile(path, &bytes) == StoredFileRead::kUnreadable)
            KeepUnusableFile(path, errno, wasKept);
        // Whether the file is kept was decided on the recording machine's files.
        app->DemoSyncBool(&mKeepFile);
        return;
    }
    // Nothing to lose.
    if (buffer.GetDataLen() == 0)
    {
        Reset();
        return;
    }
    try
    {
        DataSync sync;
        sync.OpenReader(buffer);
        int32_t stored = sync.GetReader()->ReadLong();
        // Written by a newer program: its layout is unknown here.
        if (GetCurVersion() < stored)
        {
            mKeepFile = true;
            Reset();
            return;
        }
        sync.mVersion = stored;
        SyncDetails(sync);
    }
    catch (const AceException&)
    {
        // Half-read state is no player's state; the file is kept for whoever can mend it.
        Reset();
        if (!app->mPlayingDemo)
            KeepUnusableFile(path, 0, wasKept);
        app->DemoSyncBool(&mKeepFile);
    }
}

void Profile::KeepUnusableFile(const std::string& path, int readError, bool told)
{
    VaxoAppBase* app = gVaxoAppBase;
    const FileSetAside aside = SetFileAside(path, readError);
    mKeepFile = aside.mKeptAs.empty();
    if (told && mKeepFile)
        return;
    app->ReportFileSetAside(aside, app->GetString("PLAYER_UNREADABLE_TITLE", "Player Not Read"),
                            app->GetString("PLAYER_UNREADABLE", "The progress of ") + mName +
                                app->GetString("PLAYER_UNREADABLE_FILE", " could not be read: "),
                            app->GetString("PLAYER_NEW", "\nThe player starts afresh."),
                            app->GetString("PLAYER_NOT_SAVED", "\nProgress made now will not be saved."));
}

bool Profile::SaveDetails()
{
    if (mMgr != nullptr && !mProfileDir.empty())
        return mMgr->SyncList(nullptr, this);
    int error = 0;
    if (WriteDetails(&error))
        return true;
    // A demo being played back answers with the recording's result: nothing failed here.
    if (error != 0 && gVaxoAppBase != nullptr && !gVaxoAppBase->mPlayingDemo)
        gVaxoAppBase->ReportFailedSave(kPlayersSaved, GetDetailsPath(mId), error);
    return false;
}

bool Profile::WriteDetails(int* error)
{
    *error = 0;
    if (mKeepFile)
        return false;
    DataSync sync;
    WriteFileBytes(sync);
    const DataWriter* writer = sync.GetWriter();
    // The flag goes only once the file is safely replaced: a failed write is retried by
    // the next save instead of being forgotten.
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
        return false;
    if (!app->WriteBytesToFile(GetDetailsPath(mId), writer->GetDataPtr(), uint32_t(writer->GetDataLen())))
    {
        *error = errno;
        return false;
    }
    mDirty = false;
    mHasDetails = true;
    SeeFile(true, writer->GetDataPtr(), size_t(writer->GetDataLen()));
    return true;
}

void Profile::WriteFileBytes(DataSync& sync)
{
    sync.OpenWriter(1024);
    int32_t version = GetCurVersion();
    sync.mVersion = version;
    sync.SyncLong(version);
    SyncDetails(sync);
    sync.EndBit();
}

void Profile::SeeFile(bool there, const void* data, size_t length)
{
    mSeen = true;
    mSeenThere = there;
    mSeenDigest = there ? Digest(data, length) : std::array<uint8_t, 16>{};
}

bool Profile::SeenFresh() const
{
    if (!mSeen || !mSeenThere || mMgr == nullptr)
        return false;
    SmartPtr<Profile> fresh(mMgr->mFactory());
    fresh->mName = mName;
    fresh->mId = mId;
    fresh->Reset();
    DataSync sync;
    fresh->WriteFileBytes(sync);
    const DataWriter* writer = sync.GetWriter();
    return Digest(writer->GetDataPtr(), size_t(writer->GetDataLen())) == mSeenDigest;
}

Profile::FileSeen Profile::CheckFile() const
{
    std::vector<char> bytes;
    if (ReadStoredFile(GetDetailsPath(mId), &bytes) != StoredFileRead::kRead)
        return FileSeen::kNone;
    const bool asSeen = mSeen && mSeenThere && Digest(bytes.data(), bytes.size()) == mSeenDigest;
    return asSeen ? FileSeen::kAsSeen : FileSeen::kChanged;
}

void Profile::DropDetails()
{
    mDirty = false;
    mHasDetails = false;
    mSeen = false;
}

bool Profile::SaveIfDirty()
{
    return !mDirty || SaveDetails();
}

void Profile::DeleteFiles()
{
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->EraseFile(GetDetailsPath(mId));
    DeleteFilesHook();
}

} // namespace Vaxo
