// The settings store: a small registry-like tree of keys and typed values that
// the application keeps its settings in (window mode, volumes, current user).
// The whole tree lives in memory, is loaded once from "registry.bin" in the
// application-data folder and saved back into it. Copies of the program that
// run at once share the file: a save applies to the file as it is then only
// what this copy changed, so what other copies saved stays. Key paths are
// key names separated by single backslashes; names compare without case and
// keep the spelling they were first created with.
//
// Every free function takes the store's one lock for its whole duration, so
// the store may be used from any thread. Only the free functions touch the
// tree; FRegKey and FRegVal are public for the file format and the tests.
#pragma once

#include "common/AtomicFile.h"
#include "common/Common.h"
#include "common/DataSync.h"
#include "common/SmartPtr.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

// Value types: the Windows registry's codes, which the file stores.
constexpr uint32_t REG_NONE_YET = 0; // made by a refused write; reads as missing
constexpr uint32_t REG_SZ = 1;       // a string; read back with a terminating NUL
constexpr uint32_t REG_BINARY = 3;   // raw bytes
constexpr uint32_t REG_DWORD = 4;    // one native unsigned 32-bit number

// One named value of a key.
class FRegVal : public RefCount
{
public:
    FRegVal();

    // Types 1 and 3 copy `length` bytes (at most 65535: the file's strings
    // can hold no more); type 4 takes exactly 4 bytes; anything else is
    // refused and leaves the value unchanged.
    bool SetVal(uint32_t type, const unsigned char* data, uint32_t length);
    // *length receives the full size; its incoming value is the capacity of
    // `data`. Null `data` only asks for the size. False for a value that was
    // never set, or when `data` is too small (what fits is copied).
    bool GetVal(uint32_t* type, unsigned char* data, uint32_t* length) const;
    // Type byte, then a String (types 1, 3) or a Long (type 4).
    void SyncState(DataSync& sync);

    uint32_t mType;
    uint32_t mNumber;   // type 4
    std::string mBytes; // types 1 and 3, no terminator
};

// One key: named sub-keys and named values.
class FRegKey : public RefCount
{
public:
    typedef std::map<std::string, SmartPtr<FRegKey>, StringLessNoCase> KeyMap;
    typedef std::map<std::string, SmartPtr<FRegVal>, StringLessNoCase> ValMap;

    FRegKey();

    // Follows a backslash-separated path; with `create` missing keys are made,
    // otherwise a missing one gives null. The result is owned by the tree.
    FRegKey* GetKey(const std::string& path, bool create);
    FRegKey* GetKeyNoPath(const std::string& name, bool create);
    // Removes the last key of the path with its whole subtree.
    bool EraseKey(const std::string& path);

    bool GetVal(const std::string& name, uint32_t* type, unsigned char* data, uint32_t* length) const;
    bool SetVal(const std::string& name, uint32_t type, const unsigned char* data, uint32_t length);
    bool EraseVal(const std::string& name);
    // Appends the sub-key names in case-insensitive order.
    void GetSubKeys(std::vector<std::string>* names) const;

    // Flag byte (bit 0: has sub-keys, bit 1: has values), then the maps.
    void SyncState(DataSync& sync);
    bool IsBeingRead() const { return mReading; }

    KeyMap mSubKeys;
    ValMap mValues;

private:
    bool mReading; // inside this key's own SyncState while reading (cycle guard)
};

// Loads the store from `path` the first time it is called; later calls do
// nothing. A missing, empty, damaged or unreadable file gives an empty store.
// Read without the saves' lock, so that a start never waits for another copy
// (a save replaces the file whole). A damaged or unreadable file is moved
// aside under the lock (SetFileAside: renamed to "<path>.damaged" or
// "<path>.unreadable", numbered when taken), or by the next save when another
// copy holds the lock then; one that could not be moved aside stays as it is
// and is never written over (saves fail until it is gone). Temporary files
// that crashed saves left beside the store are removed.
void RegistryFileOpen(const std::string& path);
// Saves to the path given to RegistryFileOpen: reads the file again, applies
// what this copy changed since it last read or saved it (values set to
// something other than what it held, values and keys erased, keys made;
// writing a value back unchanged is no change), and writes the result through
// a temporary file beside it, so a failed write leaves the old file whole; the
// tree then holds the result. All under the TurnLock of "<path>.lock", waited
// for at most `wait`, so copies saving at the same moment each apply their
// changes; once a wait ran out, later waits are short until one has the
// lock (TurnLock). The save fails (EWOULDBLOCK) when another copy held the
// lock throughout, and is made again on the file as it then is when, just
// before the rename, the lock file was found deleted or replaced or the store
// file changed (a copy without locks); where the system gives no lock, that
// check alone guards other copies' saves. With no file there (or an empty
// one) the whole tree is written; when this copy changed nothing, the file is
// left as it is. A file there that cannot be read or is damaged is set aside
// as a load does (RegistryTakeFileSetAside tells it) and the whole tree is
// written; one that cannot be moved aside is never written over and the save
// fails with its reason. False when the file could not be written, or must
// not be, with the system's error number (errno) in *error when given; the
// tree then keeps this copy's changes for the next save. True also when the
// store is not open.
bool RegistryFileClose(int* error = nullptr, std::chrono::milliseconds wait = kTurnLockWait);

// What the last load or save could not use and moved aside (or could not),
// for the application to tell the user: true and *aside filled the first time
// it is asked, false otherwise.
bool RegistryTakeFileSetAside(FileSetAside* aside);

// False when the store is not open or the key or value is missing, or the
// buffer is too small. The last flag is not used.
bool VaxoRegistryRead(const std::string& keyPath, const std::string& valueName, uint32_t* type,
                      unsigned char* data, uint32_t* length, bool unused = false);
// Creates every missing key on the path; true whenever the key exists
// afterwards, even when the value refused the data.
bool VaxoRegistryWrite(const std::string& keyPath, const std::string& valueName, uint32_t type,
                       const unsigned char* data, uint32_t length);
bool VaxoRegistryEraseVal(const std::string& keyPath, const std::string& valueName);
bool VaxoRegistryEraseKey(const std::string& keyPath);
// Empties `names` first; false (and empty) when the key is missing.
bool VaxoRegistryGetSubKeys(const std::string& keyPath, std::vector<std::string>* names);

// Test support: forgets the tree and the path, so RegistryFileOpen loads again.
void RegistryResetForTest();

} // namespace Vaxo
