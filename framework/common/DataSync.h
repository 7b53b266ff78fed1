// The one binary save format of the framework: the settings store, the player
// files, the high scores and the belt spline files are each one stream of it.
//
//   DataReader  - reads little-endian numbers, strings and packed bits from a
//                 memory block it does not own;
//   DataWriter  - appends the same to a growing array it owns;
//   DataSync    - opened for reading or for writing; every saved class has one
//                 SyncState(DataSync&) that calls the same Sync operations in
//                 both directions;
//   DataSync_*  - header templates for shared (reference-counted) objects and
//                 for vectors, lists and maps.
//
// Readers throw AceException on damaged input and nothing else; the callers
// catch it and drop what they were loading.
#pragma once

#include "common/AceException.h"
#include "common/SmartPtr.h"

#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

class Buffer;

// Reads a stream from a memory block. The block is not copied: it must stay
// alive until the reader is closed.
class DataReader
{
public:
    DataReader();
    virtual ~DataReader();

    // Starts reading the block at position 0 with no bit byte loaded.
    void Open(const char* data, int32_t length);
    void Close();

    // Each throws "DataReader: attempt to read past end." when the stream is
    // shorter than asked for, leaving the position unchanged.
    void ReadBytes(void* dst, int32_t count);
    void SkipBytes(int32_t count);
    void EnsureBytesRemaining(int32_t count) const;
    uint8_t ReadByte();
    uint16_t ReadShort();
    int32_t ReadLong();
    float ReadFloat();
    void ReadString(std::string& str);

    bool ReadBoolBit();
    // Drops the rest of the current bit byte.
    void EndBit();

    int32_t GetPosition() const { return mPos; }
    int32_t GetLength() const { return mLength; }
    int32_t GetBytesRemaining() const { return mLength - mPos; }

private:
    const uint8_t* mData; // not owned
    int32_t mLength;      // bytes
    int32_t mPos;         // offset of the next byte
    int32_t mBitIndex;    // 0-8; 8 means no bit byte is loaded
    uint8_t mBitByte;
};

// Appends a stream to an array it owns. The bytes stay valid until the next
// Open, Close or the destructor.
class DataWriter
{
public:
    DataWriter();
    virtual ~DataWriter();

    // Drops any old array and allocates one of `capacity` bytes (0 allowed).
    void Open(int32_t capacity);
    void Close();
    // Grows by doubling until the array holds `needed` bytes.
    void EnsureCapacity(int32_t needed);

    void WriteBytes(const void* src, int32_t count);
    void WriteByte(uint8_t value);
    void WriteShort(uint16_t value);
    void WriteLong(uint32_t value);
    void WriteFloat(float value);
    // A 16-bit length, then the bytes; a longer string is cut to 65535 bytes
    // so that the stream stays readable.
    void WriteString(const std::string& str);

    void WriteBoolBit(bool value);
    // Writes a partly filled bit byte.
    void EndBit();

    // The bytes written so far (a pending bit byte is not among them until
    // EndBit or the next byte-level write).
    const char* GetDataPtr() const { return reinterpret_cast<const char*>(mData); }
    int32_t GetDataLen() const { return mLength; }

private:
    void FlushBits();

    uint8_t* mData;    // owned, array delete
    int32_t mLength;   // bytes written
    int32_t mCapacity; // bytes allocated
    int32_t mBitIndex; // bits already placed in mBitByte, 0-7
    uint8_t mBitByte;
};

// A stream opened either for reading or for writing. Sync operations write the
// variable's value or fill it, depending on the direction.
class DataSync
{
public:
    DataSync();
    virtual ~DataSync();
    DataSync(const DataSync&) = delete;
    DataSync& operator=(const DataSync&) = delete;

    void OpenWriter(int32_t initialCapacity);
    // The memory is not copied and must outlive the reading.
    void OpenReader(const char* data, int32_t length);
    void OpenReader(const Buffer& buffer);
    void Close();

    bool IsReading() const { return mReader != nullptr; }
    // Null unless open for reading / writing; owned by the sync.
    DataReader* GetReader() const { return mReader; }
    DataWriter* GetWriter() const { return mWriter; }

    // Byte on the wire: the low 8 bits; read back sign-extended.
    void SyncByte(char& v);
    void SyncByte(signed char& v);
    void SyncByte(unsigned char& v);
    void SyncByte(short& v);
    void SyncByte(unsigned short& v);
    void SyncByte(int& v);
    void SyncByte(unsigned int& v);
    void SyncByte(long& v);
    void SyncByte(unsigned long& v);
    // Short on the wire: 16 bits; read back sign-extended into wider variables.
    void SyncShort(char& v);
    void SyncShort(signed char& v);
    void SyncShort(unsigned char& v);
    void SyncShort(short& v);
    void SyncShort(unsigned short& v);
    void SyncShort(int& v);
    void SyncShort(unsigned int& v);
    void SyncShort(long& v);
    void SyncShort(unsigned long& v);
    // Long on the wire: 32 bits; `long` is treated as the 32-bit type stored
    // files were made with.
    void SyncLong(char& v);
    void SyncLong(signed char& v);
    void SyncLong(unsigned char& v);
    void SyncLong(short& v);
    void SyncLong(unsigned short& v);
    void SyncLong(int& v);
    void SyncLong(unsigned int& v);
    void SyncLong(long& v);
    void SyncLong(unsigned long& v);

    template <class T> void SyncSByte(T& v) { SyncByte(v); }
    template <class T> void SyncSShort(T& v) { SyncShort(v); }
    template <class T> void SyncSLong(T& v) { SyncLong(v); }

    void SyncFloat(float& v);
    void SyncBoolBit(bool& v);
    void SyncBoolBit(char& v);
    void SyncString(std::string& str);
    void SyncBytes(void* data, int32_t count);
    // Closes a run of bits (see DataReader::EndBit / DataWriter::EndBit).
    void EndBit();

    // Syncs a version Long; accepts it when it lies in [min, max] (-1 means
    // `version`) and then records it in mVersion. A rejected version throws
    // nothing: the caller decides.
    bool SyncVersion(int32_t version, int32_t min, int32_t max);

    // Shared-object ids, used by DataSync_SyncRefCount.
    // Writing: -1 the first time an object is met (it then gets the next id),
    // its id afterwards. Keeps a reference until Close().
    int32_t AddRefCountForWrite(RefCount* obj);
    // Reading: lists a new object under the next id; keeps a reference.
    void AddRefCountForRead(RefCount* obj);
    // Reading: the object listed under `id`; throws when there is none.
    RefCount* GetRefCountForRead(uint32_t id) const;

    // Nesting guard of shared objects being read; a damaged or hostile stream
    // could otherwise recurse until the stack runs out.
    void EnterSharedObject();
    void LeaveSharedObject() { --mDepth; }
    static constexpr int32_t kMaxSharedObjectDepth = 1000;

    // The version last accepted by SyncVersion (0 at start). SyncState routines
    // branch on it; a routine that checks its version itself may set it.
    int32_t mVersion;

private:
    DataWriter* Writer();
    template <class T> void SyncByteImpl(T& v);
    template <class T> void SyncShortImpl(T& v);
    template <class T> void SyncLongImpl(T& v);

    DataReader* mReader; // non-null exactly while open for reading
    DataWriter* mWriter; // non-null exactly while open for writing
    bool mOwns;          // Close() deletes the reader/writer
    // Ordered by pointer value; holds a reference to every object written.
    struct PtrLess
    {
        bool operator()(const SmartPtr<RefCount>& a, const SmartPtr<RefCount>& b) const
        {
            return std::less<const RefCount*>()(a.get(), b.get());
        }
    };
    std::map<SmartPtr<RefCount>, int32_t, PtrLess> mWriteIds;
    std::vector<SmartPtr<RefCount>> mReadObjects; // indexed by object id
    int32_t mDepth;                               // shared objects being read
};

// Shared-object references on the wire.
enum : int32_t
{
    DATASYNC_REF_NULL = -2,
    DATASYNC_REF_NEW = -1,
};
// Marker after a vector count above 50 ("TCEV" little-endian).
constexpr uint32_t DATASYNC_VECTOR_MARKER = 0x56454354;
constexpr int32_t DATASYNC_VECTOR_MARKER_ABOVE = 50;
// Most elements a vector reserves up front when reading.
constexpr int32_t DATASYNC_VECTOR_MAX_RESERVE = 65536;

// Throws the exception for a back-reference to an object of another class.
[[noreturn]] void DataSync_ThrowWrongType(int32_t id);
// Throws unless 0 <= count.
void DataSync_CheckCount(int32_t count);

// Counts one level of shared objects being read for as long as it lives.
class DataSyncNestingGuard
{
public:
    explicit DataSyncNestingGuard(DataSync& sync) : mSync(sync) { mSync.EnterSharedObject(); }
    ~DataSyncNestingGuard() { mSync.LeaveSharedObject(); }
    DataSyncNestingGuard(const DataSyncNestingGuard&) = delete;
    DataSyncNestingGuard& operator=(const DataSyncNestingGuard&) = delete;

private:
    DataSync& mSync;
};

// A shared object: written once with its state, referred to by id afterwards.
// T must have a default constructor and a non-virtual SyncState(DataSync&).
template <class T> void DataSync_SyncRefCount(DataSync& sync, T*& p)
{
    if (!sync.IsReading())
    {
        int32_t id = DATASYNC_REF_NULL;
        if (p != nullptr)
            id = sync.AddRefCountForWrite(p);
        sync.SyncLong(id);
        if (id == DATASYNC_REF_NEW)
            p->SyncState(sync);
        return;
    }
    int32_t id = 0;
    sync.SyncLong(id);
    if (id == DATASYNC_REF_NULL)
    {
        p = nullptr;
    }
    else if (id == DATASYNC_REF_NEW)
    {
        DataSyncNestingGuard nesting(sync);
        T* obj = new T();
        // Listed before its state is read, so references back to it from
        // inside its own state resolve.
        sync.AddRefCountForRead(obj);
        p = obj;
        obj->SyncState(sync);
    }
    else
    {
        // Keys and values of the settings store share one id space: a damaged
        // file can point a key reference at a value.
        T* obj = dynamic_cast<T*>(sync.GetRefCountForRead(static_cast<uint32_t>(id)));
        if (obj == nullptr)
            DataSync_ThrowWrongType(id);
        p = obj;
    }
}

template <class T> void DataSync_SyncSmartPtr(DataSync& sync, SmartPtr<T>& sp)
{
    T* p = sp.get();
    DataSync_SyncRefCount(sync, p);
    sp = p;
}

// Element functors: each syncs one element in place.
struct DataSyncFunc_SyncInt
{
    void operator()(DataSync& sync, int& v) const { sync.SyncLong(v); }
};
struct DataSyncFunc_SyncFloat
{
    void operator()(DataSync& sync, float& v) const { sync.SyncFloat(v); }
};
struct DataSyncFunc_SyncByte
{
    void operator()(DataSync& sync, char& v) const { sync.SyncByte(v); }
};
// One bit per element; the caller closes the run with EndBit().
struct DataSyncFunc_SyncCharBit
{
    void operator()(DataSync& sync, char& v) const { sync.SyncBoolBit(v); }
};
struct DataSyncFunc_SyncString
{
    void operator()(DataSync& sync, std::string& v) const { sync.SyncString(v); }
};
struct DataSyncFunc_SyncSmartPtr
{
    template <class T> void operator()(DataSync& sync, SmartPtr<T>& v) const
    {
        DataSync_SyncSmartPtr(sync, v);
    }
};

// A vector: Long count, the marker when the count is above 50, the elements.
template <class Vec, class Func> void DataSync_SyncSTLVectorImpl(Vec& vec, DataSync& sync, Func func)
{
    if (!sync.IsReading())
    {
        int32_t count = static_cast<int32_t>(vec.size());
        sync.SyncLong(count);
        if (count > DATASYNC_VECTOR_MARKER_ABOVE)
            sync.GetWriter()->WriteLong(DATASYNC_VECTOR_MARKER);
        for (auto& elem : vec)
            func(sync, elem);
        return;
    }
    vec.clear();
    int32_t count = 0;
    sync.SyncLong(count);
    DataSync_CheckCount(count);
    if (count > DATASYNC_VECTOR_MARKER_ABOVE)
    {
        if (static_cast<uint32_t>(sync.GetReader()->ReadLong()) != DATASYNC_VECTOR_MARKER)
            throw AceException("DataSync: Invalid stl vector");
    }
    // A damaged count can be anything: reserve no more than the rest of the
    // stream could hold, and beyond DATASYNC_VECTOR_MAX_RESERVE let the vector
    // grow with the elements actually read.
    int32_t reserve = sync.GetReader()->GetBytesRemaining();
    if (count < reserve)
        reserve = count;
    if (reserve > DATASYNC_VECTOR_MAX_RESERVE)
        reserve = DATASYNC_VECTOR_MAX_RESERVE;
    vec.reserve(static_cast<size_t>(reserve));
    for (int32_t i = 0; i < count; ++i)
    {
        vec.emplace_back();
        func(sync, vec.back());
    }
}

// A list: Long count, then the elements (no marker).
template <class List, class Func> void DataSync_SyncSTLListImpl(List& list, DataSync& sync, Func func)
{
    if (!sync.IsReading())
    {
        int32_t count = static_cast<int32_t>(list.size());
        sync.SyncLong(count);
        for (auto& elem : list)
            func(sync, elem);
        return;
    }
    list.clear();
    int32_t count = 0;
    sync.SyncLong(count);
    DataSync_CheckCount(count);
    for (int32_t i = 0; i < count; ++i)
    {
        list.emplace_back();
        func(sync, list.back());
    }
}

// A map: Long count, then key and value per entry in the map's order.
template <class Map, class KeyFunc, class ValFunc>
void DataSync_SyncSTLMapImpl(Map& map, DataSync& sync, KeyFunc keyFunc, ValFunc valFunc)
{
    if (!sync.IsReading())
    {
        int32_t count = static_cast<int32_t>(map.size());
        sync.SyncLong(count);
        for (auto& entry : map)
        {
            typename Map::key_type key = entry.first;
            keyFunc(sync, key);
            valFunc(sync, entry.second);
        }
        return;
    }
    map.clear();
    int32_t count = 0;
    sync.SyncLong(count);
    DataSync_CheckCount(count);
    for (int32_t i = 0; i < count; ++i)
    {
        typename Map::key_type key{};
        keyFunc(sync, key);
        // Files list their entries in map order, so most keys go at the end
        // (one comparison); an equal key under the map's ordering reuses the
        // earlier entry.
        typename Map::iterator entry;
        if (!map.empty() && map.key_comp()(std::prev(map.end())->first, key))
            entry = map.emplace_hint(map.end(), std::move(key), typename Map::mapped_type());
        else
            entry = map.emplace(std::move(key), typename Map::mapped_type()).first;
        entry->second = typename Map::mapped_type();
        valFunc(sync, entry->second);
    }
}

} // namespace Vaxo
