// The settings store. Sections: the store's state; the file, shared by copies of the
// program (its lock, reading it, merging a copy's changes into it, saving); FRegVal;
// FRegKey; the free functions.
#include "common/Registry.h"

#include "common/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <utility>

namespace Vaxo
{

static_assert(sizeof(uint32_t) == 4, "a number value is 4 bytes in the file");

namespace
{

const int32_t kFileVersion = 1;
const uint32_t kMaxBytes = 0xFFFF; // a String's 16-bit length

// The store's process-wide state: built on first use, never destroyed, so no
// static destructor can run while another thread still uses it.
struct RegistryState
{
    std::mutex crit;        // held by every operation from start to end
    SmartPtr<FRegKey> root; // null until RegistryFileOpen
    // The store as this copy last read or saved it (a tree of its own): a save applies to the
    // file only what root holds differently, so what other copies saved meanwhile stays.
    SmartPtr<FRegKey> base;
    std::string path; // remembered by RegistryFileOpen
    // Non-zero when a file stands at the path that could be neither read nor moved aside:
    // it is never written over, and every save fails with this reason (an errno value)
    // until it is gone.
    int keepFile = 0;
    // A file loading or a save could not use, for the application to tell the user about once.
    FileSetAside setAside;
    bool setAsidePending = false;
};

RegistryState& State()
{
    static RegistryState* state = new RegistryState();
    return *state;
}

// A file at the store's path that could not be read (readError, an errno value) or not be
// understood (0) is moved aside, so that the next save writes a fresh file and nothing is
// lost; one that cannot be moved is never written over.
void SetStoreFileAside(RegistryState& state, int readError)
{
    state.setAside = SetFileAside(state.path, readError);
    state.setAsidePending = true;
    if (state.setAside.mKeptAs.empty())
        state.keepFile = readError != 0 ? readError : state.setAside.mMoveError;
}

// Sub-key references: a damaged file can point a key back at one of the keys
// being read around it, which would make the tree a cycle that is never freed.
struct SyncSubKey
{
    void operator()(DataSync& sync, SmartPtr<FRegKey>& key) const
    {
        FRegKey* p = key.get();
        DataSync_SyncRefCount(sync, p);
        if (p != nullptr && sync.IsReading() && p->IsBeingRead())
            throw AceException("FRegKey: key contains itself");
        key = p;
    }
};

// ------------------------------------------------ the file, shared by copies

// Held while a save reads the store's file, merges and writes it back: copies of the program
// saving at the same moment then each apply their changes to what the one before saved.
TurnLock StoreLock(const std::string& storePath, std::chrono::milliseconds wait)
{
    return TurnLock(storePath + ".lock", TurnLock::Target::kFile, wait);
}

// What a save checks the store's file against just before its rename: the file it merged
// with, still there, or still missing.
struct FileIdentity
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};

    explicit FileIdentity(const std::string& path)
    {
        struct stat info;
        exists = ::stat(path.c_str(), &info) == 0;
        if (!exists)
            return;
        device = info.st_dev;
        inode = info.st_ino;
        size = info.st_size;
        modified = info.st_mtim;
    }
    bool operator==(const FileIdentity& other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

// A whole store file's bytes as a tree; AceException when they are damaged.
SmartPtr<FRegKey> ParseStore(const char* bytes, size_t length)
{
    SmartPtr<FRegKey> root = new FRegKey();
    if (length == 0)
        return root;
    DataSync sync;
    sync.OpenReader(bytes, static_cast<int32_t>(length));
    // Only version 1 exists; the loader reads any version as version 1.
    sync.SyncVersion(kFileVersion, -1, -1);
    root->SyncState(sync);
    // A store ends with its root's state: random bytes would otherwise read, one time in four,
    // as an empty store with bytes after it, and a save would write over what the copy held.
    if (sync.GetReader()->GetBytesRemaining() != 0)
        throw AceException("Registry: bytes after the store's end");
    return root;
}

// What the store's file gave a load or a save.
enum class DiskStore
{
    kNone,     // no file, or an empty one: nothing to keep
    kRead,     // *store holds it
    kUnusable, // it could not be read (*reason: the errno value) or is damaged (*reason: 0)
};

// Reads the store's file into *bytes and *store.
DiskStore ReadDiskStore(const std::string& path, std::vector<char>* bytes, SmartPtr<FRegKey>* store,
                        int* reason)
{
    const StoredFileRead read = ReadStoredFile(path, bytes);
    *reason = errno;
    if (read == StoredFileRead::kUnreadable)
        return DiskStore::kUnusable;
    if (read == StoredFileRead::kMissing || bytes->empty())
        return DiskStore::kNone;
    try
    {
        *store = ParseStore(bytes->data(), bytes->size());
        return DiskStore::kRead;
    }
    catch (const AceException&)
    {
        *reason = 0;
        return DiskStore::kUnusable;
    }
}

// Null for a missing name and for a null entry (which a file may hold) alike.
template <class Map>
auto Entry(const Map& map, const std::string& name) -> decltype(map.begin()->second.get())
{
    auto found = map.find(name);
    return found == map.end() ? nullptr : found->second.get();
}

bool SameValue(const FRegVal* a, const FRegVal* b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return a->mType == b->mType && a->mNumber == b->mNumber && a->mBytes == b->mBytes;
}

bool IsEmptyKey(const FRegKey& key)
{
    return key.mSubKeys.empty() && key.mValues.empty();
}

// Applies to the store read from the file what this copy changed since it last read or saved
// it, and nothing else: values set to something other than what it held, values and keys
// it erased, keys it made. Writing a value back as it was is no change, so a value another
// copy saved meanwhile stays unless this copy changed it too. Of a key this copy erased,
// only what it knew goes; what another copy put there meanwhile stays.
class StoreMerge
{
public:
    // held: the key as this copy holds it (null: erased here); base: as it last read or saved
    // it (null: made here); disk: the key in the file's store. True when held differs from base.
    bool Key(const FRegKey* held, const FRegKey* base, FRegKey& disk)
    {
        // A key a hand-made file shares between two names is merged once: a file of such
        // keys sharing their sub-keys would otherwise be walked along every path.
        if (!mDone.insert(std::make_pair(held, base)).second)
            return false;
        // Every step runs: each applies its own part.
        bool changed = false;
        if (held != nullptr)
        {
            changed = SetValues(*held, base, disk);
            changed = MergeSubKeys(*held, base, disk) || changed;
        }
        if (base != nullptr)
            changed = EraseGone(held, *base, disk) || changed;
        return changed;
    }

private:
    bool SetValues(const FRegKey& held, const FRegKey* base, FRegKey& disk)
    {
        bool changed = false;
        for (const auto& [name, value] : held.mValues)
        {
            if (value.get() == nullptr || SameValue(value.get(), base ? Entry(base->mValues, name) : nullptr))
                continue;
            changed = true;
            SmartPtr<FRegVal>& entry = disk.mValues[name];
            // The empty value of a refused write holds nothing to put over another copy's.
            if (value->mType != REG_NONE_YET || entry.get() == nullptr)
                entry = new FRegVal(*value);
        }
        return changed;
    }

    bool MergeSubKeys(const FRegKey& held, const FRegKey* base, FRegKey& disk)
    {
        bool changed = false;
        for (const auto& [name, key] : held.mSubKeys)
        {
            if (key.get() == nullptr)
                continue;
            const FRegKey* before = base ? Entry(base->mSubKeys, name) : nullptr;
            const bool gone = disk.GetKeyNoPath(name, false) == nullptr;
            FRegKey* into = disk.GetKeyNoPath(name, true);
            const bool keyChanged = Key(key.get(), before, *into) || before == nullptr;
            // Another copy erased it, and nothing in it changed here.
            if (gone && !keyChanged)
                disk.mSubKeys.erase(name);
            changed = changed || keyChanged;
        }
        return changed;
    }

    // What base holds and held no longer does.
    bool EraseGone(const FRegKey* held, const FRegKey& base, FRegKey& disk)
    {
        bool changed = false;
        for (const auto& [name, value] : base.mValues)
        {
            if (value.get() == nullptr || (held != nullptr && Entry(held->mValues, name) != nullptr))
                continue;
            changed = true;
            disk.mValues.erase(name);
        }
        for (const auto& [name, key] : base.mSubKeys)
        {
            if (key.get() == nullptr || (held != nullptr && Entry(held->mSubKeys, name) != nullptr))
                continue;
            changed = true;
            FRegKey* there = disk.GetKeyNoPath(name, false);
            if (there == nullptr)
                continue;
            Key(nullptr, key.get(), *there);
            if (IsEmptyKey(*there))
                disk.mSubKeys.erase(name);
        }
        return changed;
    }

    std::set<std::pair<const FRegKey*, const FRegKey*>> mDone;
};

// Saves that found the lock lost or the file changed before their rename, and were made
// again on the file as it then was.
constexpr int kSaveAttempts = 3;

// One save: the store on disk with this copy's changes applied, written when they change it;
// this copy then holds what was saved. The errno value of a failure (which leaves the old
// file and what this copy holds as they were), 0 when saved: EWOULDBLOCK when another copy
// held the lock for the whole wait.
int SaveStore(RegistryState& state, std::chrono::milliseconds wait)
{
    for (int attempt = 1;; ++attempt)
    {
        const TurnLock fileLock = StoreLock(state.path, wait);
        if (fileLock.HeldElsewhere())
            return EWOULDBLOCK;
        // Without a lock (none to be had here) this check alone keeps another copy's save.
        FileIdentity read(state.path);
        std::vector<char> bytes;
        SmartPtr<FRegKey> merged;
        int reason = 0;
        DiskStore found = ReadDiskStore(state.path, &bytes, &merged, &reason);
        // Set aside as a load does, so that what this copy holds is written whole.
        if (found == DiskStore::kUnusable)
        {
            SetStoreFileAside(state, reason);
            if (state.keepFile != 0)
                return state.keepFile;
            found = DiskStore::kNone;
            read = FileIdentity(state.path);
        }
        // Without a store on disk this copy's is the one to keep.
        bool write = true;
        if (found == DiskStore::kRead)
            write = StoreMerge().Key(state.root.get(), state.base.get(), *merged);
        else
            merged = state.root;
        DataSync sync;
        sync.OpenWriter(1024);
        sync.SyncVersion(kFileVersion, -1, -1);
        merged->SyncState(sync);
        sync.EndBit();
        const DataWriter& out = *sync.GetWriter();
        // Read back before it is written: never a file that would load as damaged.
        SmartPtr<FRegKey> saved = ParseStore(out.GetDataPtr(), size_t(out.GetDataLen()));
        const auto unchanged = [&]
        {
            if (fileLock.Held() && !fileLock.StillHeld())
                errno = ENOLCK;
            else if (!(FileIdentity(state.path) == read))
                errno = ESTALE;
            else
                return true;
            return false;
        };
        if (write && !WriteFileAtomically(state.path, out.GetDataPtr(), uint32_t(out.GetDataLen()), unchanged))
        {
            const int error = errno;
            if ((error == ENOLCK || error == ESTALE) && attempt < kSaveAttempts)
                continue;
            return error;
        }
        state.root = merged;
        state.base = saved;
        return 0;
    }
}

} // namespace

// ------------------------------------------------------------------- FRegVal

FRegVal::FRegVal() : mType(REG_NONE_YET), mNumber(0) {}

bool FRegVal::SetVal(uint32_t type, const unsigned char* data, uint32_t length)
{
    if (type == REG_SZ || type == REG_BINARY)
    {
        if (length > kMaxBytes || (data == nullptr && length > 0))
            return false;
        mNumber = 0;
        mBytes.assign(reinterpret_cast<const char*>(data), length);
    }
    else if (type == REG_DWORD)
    {
        if (length != 4 || data == nullptr)
            return false;
        std::memcpy(&mNumber, data, 4);
        mBytes.clear();
    }
    else
    {
        return false;
    }
    mType = type;
    return true;
}

bool FRegVal::GetVal(uint32_t* type, unsigned char* data, uint32_t* length) const
{
    if (type != nullptr)
        *type = mType;
    uint32_t size = 0;
    switch (mType)
    {
    case REG_NONE_YET:
        return false;
    case REG_SZ:
        size = static_cast<uint32_t>(mBytes.size()) + 1;
        break;
    case REG_BINARY:
        size = static_cast<uint32_t>(mBytes.size());
        break;
    case REG_DWORD:
        size = 4;
        break;
    default:
        size = 0;
        break;
    }
    uint32_t capacity = length != nullptr ? *length : 0;
    if (length != nullptr)
        *length = size;
    if (data == nullptr)
        return true;
    uint32_t copy = size <= capacity ? size : capacity;
    if (mType == REG_DWORD)
    {
        std::memcpy(data, &mNumber, copy);
    }
    else if (mType == REG_SZ || mType == REG_BINARY)
    {
        uint32_t fromBytes = copy < mBytes.size() ? copy : static_cast<uint32_t>(mBytes.size());
        std::memcpy(data, mBytes.data(), fromBytes);
        if (copy > fromBytes)
            data[fromBytes] = 0; // the terminating NUL of a string
    }
    return size <= capacity;
}

void FRegVal::SyncState(DataSync& sync)
{
    if (sync.IsReading())
    {
        mBytes.clear();
        mNumber = 0;
    }
    sync.SyncByte(mType);
    if (mType == REG_SZ || mType == REG_BINARY)
        sync.SyncString(mBytes);
    else if (mType == REG_DWORD)
        sync.SyncLong(mNumber);
}

// ------------------------------------------------------------------- FRegKey

FRegKey::FRegKey() : mReading(false) {}

FRegKey* FRegKey::GetKeyNoPath(const std::string& name, bool create)
{
    if (!create)
    {
        auto found = mSubKeys.find(name);
        return found == mSubKeys.end() ? nullptr : found->second.get();
    }
    SmartPtr<FRegKey>& entry = mSubKeys[name];
    if (entry.get() == nullptr)
        entry = new FRegKey();
    return entry.get();
}

FRegKey* FRegKey::GetKey(const std::string& path, bool create)
{
    FRegKey* key = this;
    size_t start = 0;
    while (key != nullptr)
    {
        size_t slash = path.find('\\', start);
        if (slash == std::string::npos)
            return key->GetKeyNoPath(path.substr(start), create);
        key = key->GetKeyNoPath(path.substr(start, slash - start), create);
        start = slash + 1;
    }
    return nullptr;
}

bool FRegKey::EraseKey(const std::string& path)
{
    size_t slash = path.rfind('\\');
    FRegKey* parent = this;
    if (slash != std::string::npos)
        parent = GetKey(path.substr(0, slash), false);
    if (parent == nullptr)
        return false;
    return parent->mSubKeys.erase(path.substr(slash == std::string::npos ? 0 : slash + 1)) > 0;
}

bool FRegKey::GetVal(const std::string& name, uint32_t* type, unsigned char* data, uint32_t* length) const
{
    auto found = mValues.find(name);
    if (found == mValues.end() || found->second.get() == nullptr)
        return false;
    return found->second->GetVal(type, data, length);
}

bool FRegKey::SetVal(const std::string& name, uint32_t type, const unsigned char* data, uint32_t length)
{
    SmartPtr<FRegVal>& entry = mValues[name];
    if (entry.get() == nullptr)
        entry = new FRegVal();
    return entry->SetVal(type, data, length);
}

bool FRegKey::EraseVal(const std::string& name)
{
    return mValues.erase(name) > 0;
}

void FRegKey::GetSubKeys(std::vector<std::string>* names) const
{
    for (const auto& entry : mSubKeys)
        names->push_back(entry.first);
}

void FRegKey::SyncState(DataSync& sync)
{
    bool reading = sync.IsReading();
    if (reading)
    {
        mSubKeys.clear();
        mValues.clear();
    }
    bool hasSubKeys = !mSubKeys.empty();
    bool hasValues = !mValues.empty();
    sync.SyncBoolBit(hasSubKeys);
    sync.SyncBoolBit(hasValues);
    sync.EndBit();

    struct ReadingGuard
    {
        bool& flag;
        ~ReadingGuard() { flag = false; }
    } guard{mReading};
    mReading = reading;
    if (hasSubKeys)
        DataSync_SyncSTLMapImpl(mSubKeys, sync, DataSyncFunc_SyncString(), SyncSubKey());
    if (hasValues)
        DataSync_SyncSTLMapImpl(mValues, sync, DataSyncFunc_SyncString(), DataSyncFunc_SyncSmartPtr());
}

// ------------------------------------------------------------ free functions

void RegistryFileOpen(const std::string& path)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() != nullptr)
        return;
    state.root = new FRegKey();
    state.base = new FRegKey();
    state.path = path;
    const std::string name = GetFileName(path);
    RemoveStaleTempFiles(GetFileDir(path, true), [&name](const std::string& saved) { return saved == name; });

    // Read without the saves' lock, so that a start never waits for another copy: a save
    // replaces the file whole, by a rename.
    try
    {
        std::vector<char> bytes;
        SmartPtr<FRegKey> loaded;
        int reason = 0;
        DiskStore found = ReadDiskStore(path, &bytes, &loaded, &reason);
        if (found == DiskStore::kUnusable)
        {
            // Set aside only under the lock, where no save can be putting a good file there;
            // when another copy has it now, the next save sets the file aside.
            const TurnLock fileLock = StoreLock(path, std::chrono::milliseconds(0));
            if (!fileLock.HeldElsewhere())
            {
                found = ReadDiskStore(path, &bytes, &loaded, &reason);
                // Damaged or unreadable: kept for whoever can mend it, and the next save starts
                // a fresh one.
                if (found == DiskStore::kUnusable)
                    SetStoreFileAside(state, reason);
            }
        }
        if (found != DiskStore::kRead)
            return;
        // Parsed twice rather than copied: keys the file shares stay shared in both.
        state.base = ParseStore(bytes.data(), bytes.size());
        state.root = loaded;
    }
    catch (const std::bad_alloc&)
    {
        // Not the file's fault: it stays as it is.
        state.root = new FRegKey();
        state.base = new FRegKey();
        state.keepFile = ENOMEM;
    }
}

bool RegistryFileClose(int* error, std::chrono::milliseconds wait)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return true;
    // Once the file that could not be read is gone, nothing is lost by saving.
    struct stat info;
    if (state.keepFile != 0 && ::lstat(state.path.c_str(), &info) != 0 && errno == ENOENT)
        state.keepFile = 0;
    int failure = state.keepFile;
    try
    {
        if (failure == 0)
            failure = SaveStore(state, wait);
    }
    catch (const AceException&)
    {
        failure = EIO;
    }
    catch (const std::bad_alloc&)
    {
        failure = ENOMEM;
    }
    if (error != nullptr)
        *error = failure;
    return failure == 0;
}

bool VaxoRegistryRead(const std::string& keyPath, const std::string& valueName, uint32_t* type,
                      unsigned char* data, uint32_t* length, bool)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return false;
    FRegKey* key = state.root->GetKey(keyPath, false);
    return key != nullptr && key->GetVal(valueName, type, data, length);
}

bool VaxoRegistryWrite(const std::string& keyPath, const std::string& valueName, uint32_t type,
                       const unsigned char* data, uint32_t length)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return false;
    FRegKey* key = state.root->GetKey(keyPath, true);
    if (key == nullptr)
        return false;
    key->SetVal(valueName, type, data, length);
    return true;
}

bool VaxoRegistryEraseVal(const std::string& keyPath, const std::string& valueName)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return false;
    FRegKey* key = state.root->GetKey(keyPath, false);
    return key != nullptr && key->EraseVal(valueName);
}

bool VaxoRegistryEraseKey(const std::string& keyPath)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return false;
    return state.root->EraseKey(keyPath);
}

bool VaxoRegistryGetSubKeys(const std::string& keyPath, std::vector<std::string>* names)
{
    names->clear();
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return false;
    FRegKey* key = state.root->GetKey(keyPath, false);
    if (key == nullptr)
        return false;
    key->GetSubKeys(names);
    return true;
}

bool RegistryTakeFileSetAside(FileSetAside* aside)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (!state.setAsidePending)
        return false;
    state.setAsidePending = false;
    *aside = state.setAside;
    return true;
}

void RegistryResetForTest()
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    state.root = nullptr;
    state.base = nullptr;
    state.path.clear();
    state.keepFile = 0;
    state.setAsidePending = false;
}

} // namespace Vaxo
