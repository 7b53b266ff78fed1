#include "common/Registry.h"

#include "common/AtomicFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

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
    std::string path;       // remembered by RegistryFileOpen
    // Non-zero when a file stands at the path that could be neither read nor moved aside:
    // it is never written over, and every save fails with this reason (an errno value)
    // until it is gone.
    int keepFile = 0;
    // A file loading could not use, for the application to tell the user about once.
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
    state.path = path;
    const std::string name = GetFileName(path);
    RemoveStaleTempFiles(GetFileDir(path, true), [&name](const std::string& saved) { return saved == name; });

    std::vector<char> bytes;
    try
    {
        const StoredFileRead read = ReadStoredFile(path, &bytes);
        if (read == StoredFileRead::kUnreadable)
            SetStoreFileAside(state, errno);
        if (read != StoredFileRead::kRead || bytes.empty())
            return;
        DataSync sync;
        sync.OpenReader(bytes.data(), static_cast<int32_t>(bytes.size()));
        // Only version 1 exists; the loader reads any version as version 1.
        sync.SyncVersion(kFileVersion, -1, -1);
        FRegKey* root = state.root.get();
        root->SyncState(sync);
    }
    catch (const AceException&)
    {
        // Damaged file: nothing partial remains, and the file is kept for whoever can mend it;
        // the next save starts a fresh one.
        state.root = new FRegKey();
        SetStoreFileAside(state, 0);
    }
    catch (const std::bad_alloc&)
    {
        // Not the file's fault: it stays as it is.
        state.root = new FRegKey();
        state.keepFile = ENOMEM;
    }
}

bool RegistryFileClose(int* error)
{
    RegistryState& state = State();
    std::lock_guard<std::mutex> lock(state.crit);
    if (state.root.get() == nullptr)
        return true;
    // Once the file that could not be read is gone, nothing is lost by saving.
    struct stat info;
    if (state.keepFile != 0 && ::lstat(state.path.c_str(), &info) != 0 && errno == ENOENT)
        state.keepFile = 0;
    // On failure the old file stays as it was.
    int failure = state.keepFile;
    try
    {
        DataSync sync;
        sync.OpenWriter(1024);
        sync.SyncVersion(kFileVersion, -1, -1);
        state.root->SyncState(sync);
        sync.EndBit();
        // A file that could not be read is never written over.
        if (failure == 0 && !WriteFileAtomically(state.path, sync.GetWriter()->GetDataPtr(),
                                                 uint32_t(sync.GetWriter()->GetDataLen())))
            failure = errno;
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
    state.path.clear();
    state.keepFile = 0;
    state.setAsidePending = false;
}

} // namespace Vaxo
