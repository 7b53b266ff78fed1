// The pass over users.dat that copies of the program on one data folder take turns at, under
// the lock on the profile folder: the list on disk merged with this copy's changes, the ids
// of new and moved players, the player files written under the ids their players end with,
// the list written, and the files of players deleted here erased; and its record in demos.
//
//   [SECTION] The pass
//   [SECTION] The merge
//   [SECTION] Ids and names
#include "widgets/ProfileMgr.h"

#include "app/VaxoAppBase.h"
#include "common/AceException.h"
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/DataSync.h"
#include "widgets/ProfileListFile.h"
#include "widgets/ProfilePlayLock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <random>

namespace Vaxo
{

namespace
{
// The last id given out, kept beside users.dat in the save format: a list deleted, damaged or
// replaced takes its counter with it, and a deleted player's id given again would be taken for
// him by a copy that still holds him. Then the list's name (8 bytes) and the players whose ids
// an earlier list gave: their count, and each one's id and that list's name; then the CRC-32 of
// all that, so that a damaged name is not taken for another list's. An older program wrote the
// last id alone (4 bytes), and reads nothing else; the one before this wrote no CRC.
std::string LastIdPath()
{
    return Profile::mProfileDir + "users.last";
}

// More players put back from earlier lists than this leave users.last unread (a list started
// anew at every pass, whose ids are taken as a list without users.last has them): it is read
// at every pass, and only up to this size.
constexpr int32_t kMaxOrigins = 65536;
constexpr int32_t kLastHead = 16;
constexpr int32_t kLastEntry = 12;
constexpr int32_t kLastCrc = 4;

void SyncIdentity(DataSync& sync, uint64_t& identity)
{
    uint32_t low = uint32_t(identity), high = uint32_t(identity >> 32);
    sync.SyncLong(low);
    sync.SyncLong(high);
    identity = uint64_t(high) << 32 | low;
}

// A list's name in a demo.
void WriteIdentity(Buffer& buffer, uint64_t identity)
{
    buffer.WriteLong(int32_t(uint32_t(identity)));
    buffer.WriteLong(int32_t(uint32_t(identity >> 32)));
}

uint64_t ReadIdentity(const Buffer& buffer)
{
    const uint32_t low = uint32_t(buffer.ReadLong());
    return uint64_t(uint32_t(buffer.ReadLong())) << 32 | low;
}
} // namespace

uint64_t ListLast::OriginOf(int32_t id) const
{
    if (!mFound)
        return 0;
    const auto at = mOrigins.find(id);
    return at != mOrigins.end() ? at->second : mIdentity;
}

ListLast ReadListLast()
{
    ListLast last;
    // Read at every pass: a file of a size this program does not write is not its own, and its
    // size alone tells so.
    std::vector<char> bytes;
    if (ReadStoredFile(LastIdPath(), &bytes, kLastHead + kLastEntry * kMaxOrigins + kLastCrc) !=
        StoredFileRead::kRead)
        return last;
    int32_t size = int32_t(bytes.size());
    // The sizes tell the layouts apart: 4, 16 + 12n, or 16 + 12n + 4 with the CRC.
    const bool withCrc = size >= kLastHead + kLastCrc && (size - kLastHead - kLastCrc) % kLastEntry == 0;
    if (size != 4 && !withCrc && (size < kLastHead || (size - kLastHead) % kLastEntry != 0))
        return last;
    if (withCrc)
    {
        size -= kLastCrc;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        const uint32_t crc = uint32_t(data[size]) | uint32_t(data[size + 1]) << 8 |
                             uint32_t(data[size + 2]) << 16 | uint32_t(data[size + 3]) << 24;
        if (Crc32(data, size_t(size)) != crc)
            return last;
    }
    DataSync sync;
    sync.OpenReader(bytes.data(), size);
    sync.SyncLong(last.mLastId);
    last.mLastId = std::max(last.mLastId, int32_t(0));
    last.mFound = true;
    if (size == 4)
        return last;
    SyncIdentity(sync, last.mIdentity);
    int32_t count = 0;
    sync.SyncLong(count);
    // The count the file claims must be the one its size holds.
    if (count != (size - kLastHead) / kLastEntry)
        return ListLast();
    for (int32_t i = 0; i < count; ++i)
    {
        int32_t id = 0;
        uint64_t origin = 0;
        sync.SyncLong(id);
        SyncIdentity(sync, origin);
        last.mOrigins.emplace(id, origin);
    }
    return last;
}

bool WriteListLast(const ListLast& last)
{
    DataSync sync;
    sync.OpenWriter(kLastHead);
    int32_t lastId = last.mLastId;
    sync.SyncLong(lastId);
    // A list an older program started keeps the file that program reads.
    if (last.mIdentity != 0 || !last.mOrigins.empty())
    {
        uint64_t identity = last.mIdentity;
        SyncIdentity(sync, identity);
        int32_t count = int32_t(last.mOrigins.size());
        sync.SyncLong(count);
        for (const auto& [listedId, listedOrigin] : last.mOrigins)
        {
            int32_t id = listedId;
            uint64_t origin = listedOrigin;
            sync.SyncLong(id);
            SyncIdentity(sync, origin);
        }
        const DataWriter* body = sync.GetWriter();
        uint32_t crc =
            Crc32(reinterpret_cast<const uint8_t*>(body->GetDataPtr()), size_t(body->GetDataLen()));
        sync.SyncLong(crc);
    }
    const DataWriter* writer = sync.GetWriter();
    return WriteFileAtomically(LastIdPath(), writer->GetDataPtr(), uint32_t(writer->GetDataLen()));
}

uint64_t NewListIdentity()
{
    // The clock too, should the system's source give the same numbers in two copies.
    std::random_device device;
    uint64_t identity = 0;
    while (identity == 0)
    {
        identity = (uint64_t(device()) << 32 | device()) ^
                   uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return identity;
}

// [SECTION] The pass

bool ProfileMgr::SyncList(Profile* making, Profile* saving, Profile* renamed, const std::string& newName)
{
    ListPass pass;
    pass.mRenamed = renamed;
    pass.mNewName = newName;
    NoticeCurProfile();
    // Whether another copy deletes the current player meanwhile: told once the pass is done.
    const SmartPtr<Profile> current = mCurProfile;
    const bool currentListed = current != nullptr && Listed(current);
    // Stays selected in the open player list, under the name the pass leaves him.
    const SmartPtr<Profile> selected = SelectedInList();
    // Without a folder nothing is read or written.
    if (Profile::mProfileDir.empty())
    {
        GiveIdsWithoutList(making, saving, false, &pass);
        EndPass(current, currentListed, pass.mTakenOver, saving, selected);
        return false;
    }
    // A demo being played back reads and writes nothing of its own: the pass comes from it.
    const bool onDisk = !mApp->mPlayingDemo;
    ProfileList before = mProfiles;
    if (saving != nullptr && std::find(before.begin(), before.end(), saving) == before.end())
        before.push_back(saving);
    // Deleted here since the list was last read or written: their files go once the list
    // without them is written.
    std::vector<SmartPtr<Profile>> deleted;
    for (const ListedPlayer& listed : mListed)
    {
        if (!Listed(listed.mProfile))
            deleted.push_back(listed.mProfile);
    }
    FileSetAside aside;
    bool setAside = false;
    bool written = false;
    int error = 0;
    bool savingWritten = false;
    // Player files that could not be written, and why: told once the lock is let go.
    std::vector<std::pair<std::string, int>> failed;
    // Another copy held the list for the whole wait: nothing is read or written, and this copy keeps
    // its changes (the list's, the current player's progress) for its next pass.
    bool heldElsewhere = false;
    // The folder deleted and made again since the lock was taken: another copy may hold the new
    // one's. From then on nothing is written, and what was not is kept for the next pass.
    bool lockGone = false;
    {
        // The lock is on the folder, which must be there first.
        if (onDisk)
            MkDir(Profile::mProfileDir);
        ProfileListLock lock(onDisk);
        heldElsewhere = lock.HeldElsewhere();
        auto mayWrite = [&]
        {
            lockGone = lockGone || !lock.MayWrite();
            return !lockGone;
        };
        // Kept unless the list he was on says he is gone, or another copy took him (TakenOver: his
        // lock, asked here before anything is written, or his file).
        pass.mPlayed = current;
        pass.mLockLost = current != nullptr && CurLockTaken();
        if (onDisk && !heldElsewhere)
        {
            pass.mLast = ReadListLast();
            // Without users.last the list is started anew, under a name of its own: whatever
            // counter a copy puts back, none of its ids is taken for a player of another list.
            pass.mIdentity = pass.mLast.mFound ? pass.mLast.mIdentity : NewListIdentity();
            MergeListOnDisk(making, saving, &aside, &setAside, &pass);
            // Before any file has the id: a crash in between leaves an id given to no player.
            if (mayWrite())
                SaveListLast(&pass);
        }
        // Nothing read: a name typed is the player's now, as far as the list here tells (the next
        // merge numbers it if another copy gave it meanwhile), and is written with the list at the
        // next pass, as a player made now is.
        if (heldElsewhere)
            GiveTypedName(pass);
        // A demo cut off from its stream: ids as if no file existed.
        if (!DemoSyncMerge(before, &pass))
            GiveIdsWithoutList(making, saving, false, &pass);
        // First the player files: an id is held by its file from the moment it is given, also
        // when users.dat is lost or cannot be written.
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            if (pass.mFiles.count(profile.get()) == 0)
                continue;
            if (!mayWrite())
                break;
            // One moved to another id with no details of its own in memory starts afresh there.
            if (!profile->mHasDetails && !profile->mDirty && profile != saving)
                profile->Reset();
            int reason = 0;
            const bool done = profile->WriteDetails(&reason);
            savingWritten = savingWritten || (done && profile == saving);
            if (!done && reason != 0)
                failed.emplace_back(Profile::GetDetailsPath(profile->mId), reason);
        }
        if (pass.mWrite && mayWrite())
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
        if (written && mayWrite())
            EraseFilesOfDeleted(deleted);
        // What a pass that lost its lock read may be another copy's folder's: nobody is lost for it.
        if (lockGone)
            pass.mTakenOver.clear();
    }
    if (setAside)
        TellListSetAside(aside);
    if (pass.mNewer)
        TellNewerList();
    // A list kept again after this is told again.
    if (!mKeepListFile)
        mToldKept.reset();
    // A demo being played back answers with the recording's results: nothing failed here.
    if (!mApp->mPlayingDemo)
    {
        // Said as a failed save is, when there was something to save.
        if (heldElsewhere && (mDirty || making != nullptr || saving != nullptr || renamed != nullptr))
            mApp->ReportFailedSave(Profile::kPlayersSaved,
                                   saving != nullptr ? Profile::GetDetailsPath(saving->mId) : UsersPath(),
                                   EWOULDBLOCK);
        if (lockGone)
            mApp->ReportFailedSave(Profile::kPlayersSaved, UsersPath(), ENOLCK);
        for (const auto& [path, reason] : failed)
            mApp->ReportFailedSave(Profile::kPlayersSaved, path, reason);
        if (pass.mWrite && !written)
            mApp->ReportFailedSave(Profile::kPlayersSaved, UsersPath(), error);
    }
    // Cleared only once the file holds the list, so that a failed write is retried.
    if (written)
        mDirty = false;
    // A pass that lost its lock may have read another copy's folder, whose users.last it left
    // unwritten.
    if (!lockGone && (written || pass.mSame))
        RememberListOnDisk(pass.mIdentity, pass.mOrigins);
    EndPass(current, currentListed, pass.mTakenOver, saving, selected);
    return savingWritten;
}

void ProfileMgr::SaveListLast(ListPass* pass)
{
    ListLast last;
    last.mFound = true;
    last.mLastId = std::max(mNextId, pass->mLast.mLastId);
    last.mIdentity = pass->mIdentity;
    if (!pass->mMerged)
        last.mOrigins = pass->mLast.mOrigins;
    else
    {
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            const uint64_t origin = pass->mOrigins[profile.get()];
            if (origin != last.mIdentity)
                last.mOrigins[profile->mId] = origin;
        }
    }
    // Read in this pass, under the lock: a file that already holds it is not written again.
    if ((pass->mLast.mFound && last == pass->mLast) || WriteListLast(last))
        return;
    // Not written: the players are what users.last still says they are.
    pass->mIdentity = pass->mLast.mIdentity;
    for (const SmartPtr<Profile>& profile : mProfiles)
        pass->mOrigins[profile.get()] = pass->mLast.OriginOf(profile->mId);
}

void ProfileMgr::EraseFilesOfDeleted(const std::vector<SmartPtr<Profile>>& deleted)
{
    for (const SmartPtr<Profile>& gone : deleted)
    {
        // A player of the list may hold the id again (given after the list was lost).
        const bool idHeld = std::any_of(mProfiles.begin(), mProfiles.end(),
                                        [&gone](const SmartPtr<Profile>& p) { return p->mId == gone->mId; });
        if (!idHeld)
            gone->DeleteFiles();
        // No list holds it now: what is done with it later is the game's.
        gone->mMgr = nullptr;
        mAdopted.erase(gone.get());
    }
}

void ProfileMgr::RememberListOnDisk(uint64_t identity, const std::map<const Profile*, uint64_t>& origins)
{
    // The game may still point at a player the list no longer holds (deleted here or elsewhere),
    // whether it played, saved or only read him.
    for (const ListedPlayer& listed : mListed)
    {
        if (!Listed(listed.mProfile))
            KeepLost(listed.mProfile);
    }
    mListed.clear();
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        const auto origin = origins.find(profile.get());
        mListed.push_back(
            {profile->mId, profile->mName, profile, origin != origins.end() ? origin->second : 0});
    }
    mListedNext = mNextId;
    mListedIdentity = identity;
}

bool ProfileMgr::DemoSyncMerge(const ProfileList& before, ListPass* pass)
{
    if (!mApp->mRecordingDemo && !mApp->mPlayingDemo)
        return true;
    Buffer buffer;
    if (mApp->mRecordingDemo)
    {
        buffer.WriteBoolean(pass->mWrite);
        buffer.WriteBoolean(pass->mSame);
        buffer.WriteBoolean(mKeepListFile);
        buffer.WriteLong(mNextId);
        WriteIdentity(buffer, pass->mIdentity);
        buffer.WriteLong(int32_t(mProfiles.size()));
        // Each player as the place it had in the list before (-1: read from the file), its id
        // and name, and whether its details are written: the replay keeps the same players,
        // with what they hold in memory.
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            const auto at = std::find(before.begin(), before.end(), profile);
            buffer.WriteLong(at == before.end() ? -1 : int32_t(std::distance(before.begin(), at)));
            buffer.WriteLong(profile->mId);
            buffer.WriteString(profile->mName);
            buffer.WriteBoolean(pass->mFiles.count(profile.get()) != 0);
            buffer.WriteBoolean(pass->mTakenOver.count(profile.get()) != 0);
            WriteIdentity(buffer, pass->mOrigins[profile.get()]);
        }
    }
    mApp->DemoSyncBuffer(&buffer);
    if (!mApp->mPlayingDemo)
        return true;
    // Nothing came from a demo whose playback was cut off.
    if (buffer.GetDataLen() == 0)
        return false;
    buffer.SeekFront();
    pass->mWrite = buffer.ReadBoolean();
    pass->mSame = buffer.ReadBoolean();
    mKeepListFile = buffer.ReadBoolean();
    mNextId = buffer.ReadLong();
    pass->mIdentity = ReadIdentity(buffer);
    pass->mOrigins.clear();
    const std::vector<SmartPtr<Profile>> places(before.begin(), before.end());
    ProfileList merged;
    // A damaged demo's count is not trusted beyond its bytes.
    for (int32_t count = buffer.ReadLong(); count > 0 && !buffer.AtEnd(); --count)
    {
        const int32_t place = buffer.ReadLong();
        const int32_t id = buffer.ReadLong();
        const std::string name = buffer.ReadString();
        const bool file = buffer.ReadBoolean();
        const bool takenOver = buffer.ReadBoolean();
        const uint64_t origin = ReadIdentity(buffer);
        SmartPtr<Profile> profile = place >= 0 && size_t(place) < places.size()
                                        ? places[size_t(place)]
                                        : SmartPtr<Profile>(mFactory());
        if (std::find(merged.begin(), merged.end(), profile) != merged.end())
            continue;
        if (profile->mMgr != this)
            Adopt(profile);
        // A kept file of another id is not this player's any longer.
        profile->mKeepFile = profile->mKeepFile && profile->mId == id;
        profile->mId = id;
        profile->mName = name;
        if (file)
            pass->mFiles.insert(profile.get());
        if (takenOver)
            pass->mTakenOver.insert(profile.get());
        pass->mOrigins[profile.get()] = origin;
        merged.push_back(profile);
    }
    mProfiles = merged;
    return true;
}

void ProfileMgr::DemoSyncListLast(ListLast* last)
{
    if (!mApp->mRecordingDemo && !mApp->mPlayingDemo)
        return;
    Buffer buffer;
    if (mApp->mRecordingDemo)
    {
        buffer.WriteBoolean(last->mFound);
        buffer.WriteLong(last->mLastId);
        WriteIdentity(buffer, last->mIdentity);
        buffer.WriteLong(int32_t(last->mOrigins.size()));
        for (const auto& [id, origin] : last->mOrigins)
        {
            buffer.WriteLong(id);
            WriteIdentity(buffer, origin);
        }
    }
    mApp->DemoSyncBuffer(&buffer);
    if (!mApp->mPlayingDemo)
        return;
    *last = ListLast();
    // Nothing came from a demo whose playback was cut off.
    if (buffer.GetDataLen() == 0)
        return;
    buffer.SeekFront();
    last->mFound = buffer.ReadBoolean();
    last->mLastId = std::max(buffer.ReadLong(), int32_t(0));
    last->mIdentity = ReadIdentity(buffer);
    // A damaged demo's count is not trusted beyond its bytes.
    for (int32_t count = buffer.ReadLong(); count > 0 && !buffer.AtEnd(); --count)
    {
        const int32_t id = buffer.ReadLong();
        last->mOrigins.emplace(id, ReadIdentity(buffer));
    }
}

// [SECTION] The merge

void ProfileMgr::MergeListOnDisk(Profile* making, Profile* saving, FileSetAside* aside, bool* setAside,
                                 ListPass* pass)
{
    // A kept list is looked at again: moved away or replaced by one this program reads, it no
    // longer holds the list back.
    mKeepListFile = false;
    std::vector<char> bytes;
    const StoredFileRead read = ReadStoredFile(UsersPath(), &bytes);
    ProfileList onDisk;
    int32_t nextOnDisk = 0;
    if (read == StoredFileRead::kUnreadable)
    {
        *aside = SetFileAside(UsersPath(), errno);
        *setAside = true;
    }
    // A missing or empty file holds no player: the list is merged with none.
    else if (read == StoredFileRead::kRead && !bytes.empty())
    {
        try
        {
            DataSync sync;
            sync.OpenReader(bytes.data(), int32_t(bytes.size()));
            int32_t version = 0;
            sync.SyncLong(version);
            // Written meanwhile by a newer program, whose players must not be lost.
            if (NewerUsersFileVersion(version))
            {
                mKeepListFile = true;
                pass->mNewer = true;
                GiveIdsWithoutList(making, saving, true, pass);
                return;
            }
            sync.SyncLong(nextOnDisk);
            ReadProfiles(sync, &onDisk, &nextOnDisk);
            pass->mListRead = true;
        }
        catch (const AceException&)
        {
            onDisk.clear();
            nextOnDisk = 0;
            pass->mListRead = false;
            *aside = SetFileAside(UsersPath(), 0);
            *setAside = true;
        }
    }
    // One that could not be moved aside is not written over.
    if (*setAside && aside->mKeptAs.empty())
    {
        mKeepListFile = true;
        GiveIdsWithoutList(making, saving, true, pass);
    }
    else
        MergeList(onDisk, nextOnDisk, making, saving, pass);
}

void ProfileMgr::MergeList(const ProfileList& onDisk, int32_t nextOnDisk, Profile* making, Profile* saving,
                           ListPass* pass)
{
    auto sameName = [](const Profile* a, const std::string& b)
    { return stricmp(a->mName.c_str(), b.c_str()) == 0; };
    // Not through the application: a demo played back merges nothing; the merge's outcome
    // is recorded as a whole.
    auto fileThere = [](int32_t id) { return Vaxo::FileExists(Profile::GetDetailsPath(id)); };
    auto listedAs = [this](const Profile* profile)
    {
        return std::find_if(mListed.begin(), mListed.end(),
                            [profile](const ListedPlayer& p) { return p.mProfile == profile; });
    };
    std::set<int32_t> idsOnDisk;
    for (const SmartPtr<Profile>& entry : onDisk)
        idsOnDisk.insert(entry->mId);
    std::vector<bool> matched(mListed.size(), false);
    std::set<const Profile*> placed;
    // Players that hold the id the file gives them: their player files are theirs.
    std::set<const Profile*> fileIds;
    // Players named as the file names them: another player named so in other letter case
    // gets a number.
    std::set<const Profile*> named;
    // The name of the list that gave the id of each player holding the id the file gives him.
    std::map<const Profile*, uint64_t> heldOrigins;
    ProfileList merged;
    auto place = [&](const SmartPtr<Profile>& profile, bool fileId, uint64_t origin)
    {
        placed.insert(profile.get());
        merged.push_back(profile);
        if (fileId)
        {
            fileIds.insert(profile.get());
            heldOrigins[profile.get()] = origin;
        }
    };
    const ListLast& last = pass->mLast;
    // Ids given out never go below the higher of the two counters on disk, so an id there is
    // the player this copy listed under it, renamed or not; unless the list was started again
    // (deleted, damaged or replaced with users.last lost too), which leaves that counter below
    // the one this copy saw, or the counter reached the top, from where ids are reused.
    const int32_t counterOnDisk = std::max(nextOnDisk, last.mLastId);
    const bool idsGivenOnce = counterOnDisk >= mListedNext && counterOnDisk < INT32_MAX;
    // The list this copy last saw, not started anew since.
    const bool sameList = last.mFound && last.mIdentity == mListedIdentity;
    // Whether an id on disk, given by the list named `onDisk`, may be this copy's player who had
    // it from the list named `mine`: by id alone (renamed or not), with his name too, or not.
    // A copy that remembers a list started anew may put its counter back, so an id of another
    // list is never this copy's player's; within one list the counters tell, and a list without
    // a name (an older program's, or one read without users.last) has only them.
    enum class Kin
    {
        kNone,
        kByName,
        kById
    };
    auto kin = [&](uint64_t onDisk, uint64_t mine)
    {
        if (onDisk != 0 && mine != 0 && onDisk != mine)
            return Kin::kNone;
        if (onDisk != 0 && mine != 0)
            return onDisk != last.mIdentity || (sameList && idsGivenOnce) ? Kin::kById : Kin::kByName;
        if (onDisk != 0)
            return Kin::kNone;
        return idsGivenOnce ? Kin::kById : Kin::kByName;
    };
    // Whether another copy took a player whose progress the pass writes (the one played or saved;
    // see TakenOver), asked once each.
    std::map<const Profile*, bool> takenOver;
    auto takenElsewhere = [&](const Profile* profile)
    {
        auto [at, fresh] = takenOver.try_emplace(profile, false);
        if (fresh)
            at->second = TakenOver(profile, profile == pass->mPlayed && pass->mLockLost);
        return at->second;
    };
    // The player played, named by his id and name, is the one this copy plays whatever
    // users.last says of the list (a damaged or older one may name another): while this copy
    // locks his id (no copy gives a new player an id another copy locks), or while his file is as
    // this copy last read or wrote it. Once his lock file was made anew (the folder lost, say), a
    // copy started since may have made a player of that name and id: neither the lock taken again
    // nor a fresh player's file, which that player would have too, is proof.
    const size_t played = size_t(listedAs(pass->mPlayed) - mListed.begin());
    auto playedNamed = [&](const Profile* entry)
    {
        if (played == mListed.size() || matched[played] || mListed[played].mId != entry->mId)
            return false;
        const ListedPlayer& mine = mListed[played];
        if (!sameName(entry, mine.mName) && !sameName(entry, mine.mProfile->mName))
            return false;
        if (mPlayLock->Locks(entry->mId) && !pass->mLockLost)
            return true;
        return mine.mProfile->CheckFile() == Profile::FileSeen::kAsSeen &&
               !(mPlayLock->TakenAgain() && mine.mProfile->SeenFresh());
    };
    for (const SmartPtr<Profile>& entry : onDisk)
    {
        const uint64_t origin = last.OriginOf(entry->mId);
        // The player as this copy last saw it: the same id and name (ids may repeat in a
        // damaged list), or the same id under a name the other copy gave it.
        size_t seen = mListed.size();
        for (size_t i = 0; i < mListed.size(); ++i)
        {
            if (matched[i] || mListed[i].mId != entry->mId)
                continue;
            const Kin how = kin(origin, mListed[i].mOrigin);
            if (how != Kin::kNone && sameName(entry, mListed[i].mName))
            {
                seen = i;
                break;
            }
            if (seen == mListed.size() && how == Kin::kById)
                seen = i;
        }
        if (seen == mListed.size() && playedNamed(entry))
            seen = played;
        if (seen < mListed.size())
        {
            matched[seen] = true;
            const SmartPtr<Profile>& mine = mListed[seen].mProfile;
            // Deleted here: it stays deleted.
            if (!Listed(mine) || placed.count(mine.get()) != 0)
                continue;
            // Renamed by the other copy, unless renamed here too.
            if (mine->mName == mListed[seen].mName)
                mine->mName = entry->mName;
            if (mine->mName == entry->mName)
                named.insert(mine.get());
            place(mine, mine->mId == entry->mId, origin);
            continue;
        }
        // Added by the other copy; or a player this copy holds under the same id and name
        // (both gave a repeated id of the list this copy saw the same new one).
        SmartPtr<Profile> same;
        for (const SmartPtr<Profile>& profile : mProfiles)
        {
            if (sameList && origin == last.mIdentity && placed.count(profile.get()) == 0 &&
                profile->mId == entry->mId && sameName(profile, entry->mName))
            {
                same = profile;
                break;
            }
        }
        named.insert(same != nullptr ? same.get() : entry.get());
        place(same != nullptr ? same : entry, true, origin);
    }
    // Players this copy holds the progress of, put back where the list on disk is not the one
    // they were on: their files are written whatever the file gives their ids.
    std::set<const Profile*> putBack;
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        if (placed.count(profile.get()) != 0)
            continue;
        const auto listed = listedAs(profile);
        // Added here.
        if (listed == mListed.end())
        {
            place(profile, false, 0);
            continue;
        }
        // Gone from the list on disk. With its file gone too, or its id on disk under another
        // player of a list started again (given again once the file was gone), deleted by
        // another copy: it stays deleted, and its progress is not written. Else the list was
        // lost, and the player keeps his id and file, and the name of the list that gave it.
        // His file still there, under an id no other player has, is his: another copy may have
        // taken him over (see below).
        const bool idOnDisk = idsOnDisk.count(listed->mId) != 0;
        if (!idOnDisk && fileThere(listed->mId))
            place(profile, profile->mId == listed->mId, listed->mOrigin);
        // The player played (or saved) is deleted elsewhere only on evidence: the list he was on,
        // read whole, no longer names him, and his file went with him (a deletion erases it under
        // the same lock). A list lost, set aside, started anew or of another name says nothing of
        // him: he is put back, under his id where no one else has it and no other copy locks it.
        else if (profile == pass->mPlayed && !(sameList && pass->mListRead && !idOnDisk))
        {
            place(profile, profile->mId == listed->mId && !takenElsewhere(profile), listed->mOrigin);
            putBack.insert(profile.get());
        }
    }
    // Named by the list under their ids, or holding their files under ids no player has, they
    // are those ids' players: when another copy took one (his lock, or a save of his file this
    // copy has not read), he is that copy's now.
    for (const Profile* profile : {pass->mPlayed, static_cast<const Profile*>(saving)})
    {
        if (profile != nullptr && fileIds.count(profile) != 0 && takenElsewhere(profile))
            pass->mTakenOver.insert(profile);
    }
    // A player added or renumbered here keeps its id only when it is above the last id the
    // file gave out (the other copy may have given it, and deleted that player since) and no
    // other player holds it; else it gets a free one above both counters, with no player file.
    // Two players never share a player file. Once the counter is at the top, ids are reused
    // anyway.
    int32_t counter = std::max({mNextId, nextOnDisk, last.mLastId});
    std::set<int32_t> taken;
    for (const SmartPtr<Profile>& profile : merged)
    {
        // An id repeated in a damaged list: the later player gets a free one.
        if (fileIds.count(profile.get()) != 0 && !taken.insert(profile->mId).second)
            fileIds.erase(profile.get());
        counter = std::max(counter, profile->mId);
    }
    for (const SmartPtr<Profile>& profile : merged)
    {
        const bool newOnDisk = profile->mId > nextOnDisk || nextOnDisk == INT32_MAX;
        // One added here keeps its id unless another running copy plays a player under it, or
        // saved a file under it that this copy has not read.
        if (fileIds.count(profile.get()) != 0 ||
            (profile->mId > 0 && newOnDisk && !mPlayLock->HeldElsewhere(profile->mId) &&
             !takenElsewhere(profile) && taken.insert(profile->mId).second))
            continue;
        const int32_t id = FreeIdOnDisk(taken, counter);
        if (id == 0)
            continue;
        // A kept file of the old id is not this player's any longer.
        profile->mKeepFile = false;
        profile->mId = id;
        taken.insert(id);
        counter = std::max(counter, id);
    }
    mProfiles = merged;
    mNextId = counter;
    // Ids given now are the list's own.
    pass->mMerged = true;
    for (const SmartPtr<Profile>& profile : mProfiles)
        pass->mOrigins[profile.get()] =
            fileIds.count(profile.get()) != 0 ? heldOrigins[profile.get()] : pass->mIdentity;
    GiveTypedName(*pass);
    // A new player that got no id, or whose name another copy took meanwhile, is not made.
    const bool nameFree = MarkRepeatedNames(named, making);
    if (making != nullptr && (making->mId == 0 || !nameFree))
        mProfiles.remove(making);
    // Details go under the ids their players end with; the files of players that hold the
    // file's ids are theirs already.
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        if (pass->mTakenOver.count(profile.get()) == 0 &&
            (fileIds.count(profile.get()) == 0 || profile == saving || putBack.count(profile.get()) != 0))
            pass->mFiles.insert(profile.get());
    }
    pass->mSame =
        mNextId == nextOnDisk && std::equal(mProfiles.begin(), mProfiles.end(), onDisk.begin(), onDisk.end(),
                                            [](const SmartPtr<Profile>& a, const SmartPtr<Profile>& b)
                                            { return a->mId == b->mId && a->mName == b->mName; });
    pass->mWrite = mDirty || !pass->mSame;
}

// [SECTION] Ids and names

void ProfileMgr::GiveIdsWithoutList(Profile* making, Profile* saving, bool askFiles, ListPass* pass)
{
    GiveTypedName(*pass);
    // No list to say who holds an id: one whose lock or file another copy took is that copy's.
    for (const Profile* profile : {pass->mPlayed, static_cast<const Profile*>(saving)})
    {
        if (askFiles && profile != nullptr && Listed(profile) &&
            TakenOver(profile, profile == pass->mPlayed && pass->mLockLost))
            pass->mTakenOver.insert(profile);
    }
    if (making != nullptr)
    {
        std::set<int32_t> taken;
        for (const SmartPtr<Profile>& profile : mProfiles)
            taken.insert(profile->mId);
        making->mId = FreeIdOnDisk(taken, std::max(mNextId, pass->mLast.mLastId), askFiles);
        // An id found below an exhausted counter leaves the counter at the top.
        mNextId = std::max(mNextId, making->mId);
        if (making->mId == 0)
            mProfiles.remove(making);
    }
    for (Profile* profile : {making, saving})
    {
        if (profile != nullptr && Listed(profile) && pass->mTakenOver.count(profile) == 0)
            pass->mFiles.insert(profile);
    }
}

void ProfileMgr::GiveTypedName(const ListPass& pass)
{
    if (pass.mRenamed == nullptr || !Listed(pass.mRenamed))
        return;
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        if (profile != pass.mRenamed && stricmp(profile->mName.c_str(), pass.mNewName.c_str()) == 0)
            return;
    }
    pass.mRenamed->mName = pass.mNewName;
}

bool ProfileMgr::MarkRepeatedNames(const std::set<const Profile*>& named, const Profile* making)
{
    std::set<std::string, StringLessNoCase> all, kept;
    std::vector<Profile*> order;
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        all.insert(profile->mName);
        if (named.count(profile.get()) != 0)
            order.push_back(profile);
    }
    for (const SmartPtr<Profile>& profile : mProfiles)
    {
        if (named.count(profile.get()) == 0)
            order.push_back(profile);
    }
    bool makingFree = true;
    for (Profile* profile : order)
    {
        if (kept.insert(profile->mName).second)
            continue;
        if (profile == making)
        {
            makingFree = false;
            continue;
        }
        // The lowest number no player's name has yet, after the name as the dialogs compare it
        // (up to a zero byte a damaged list may hold).
        const std::string name = profile->mName.c_str();
        std::string marked;
        for (int32_t number = 2; marked.empty() || !all.insert(marked).second; ++number)
            marked = name + " " + std::to_string(number);
        profile->mName = marked;
        kept.insert(marked);
    }
    return makingFree;
}

int32_t ProfileMgr::FreeIdOnDisk(const std::set<int32_t>& taken, int32_t counter, bool askFiles)
{
    // Not through the application: a demo played back merges nothing; the merge's outcome
    // is recorded as a whole. An id whose lock another copy holds is that copy's player's, even
    // where no list or file names him any more: a new player given it could not be played.
    return FirstFreeId(counter, 1,
                       [this, &taken, askFiles](int32_t id)
                       {
                           return taken.count(id) == 0 &&
                                  !(askFiles && (Vaxo::FileExists(Profile::GetDetailsPath(id)) ||
                                                 mPlayLock->HeldElsewhere(id)));
                       });
}

} // namespace Vaxo
