#include "common/DataSync.h"

#include "common/Buffer.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace Vaxo
{

static_assert(sizeof(float) == 4, "Float on the wire is IEEE single precision");

namespace
{

const char kReadPastEnd[] = "DataReader: attempt to read past end.";

// A value read from the wire (already widened to 32 bits) into a variable.
// Stored files were made with a 32-bit `long`, so a 64-bit unsigned long gets
// the 32-bit pattern (Byte 0xFF reads as 0xFFFFFFFF, not 0xFFFFFFFFFFFFFFFF).
template <class T> T FromWire(int32_t value)
{
    if (std::is_unsigned<T>::value && sizeof(T) > sizeof(uint32_t))
        return static_cast<T>(static_cast<uint32_t>(value));
    return static_cast<T>(value);
}

} // namespace

// ---------------------------------------------------------------- DataReader

DataReader::DataReader() : mData(nullptr), mLength(0), mPos(0), mBitIndex(8), mBitByte(0) {}

DataReader::~DataReader() = default;

void DataReader::Open(const char* data, int32_t length)
{
    mData = reinterpret_cast<const uint8_t*>(data);
    mLength = length < 0 ? 0 : length;
    mPos = 0;
    mBitIndex = 8;
    mBitByte = 0;
}

void DataReader::Close()
{
    mData = nullptr;
    mLength = 0;
    mPos = 0;
    mBitIndex = 8;
    mBitByte = 0;
}

void DataReader::EnsureBytesRemaining(int32_t count) const
{
    if (count < 0 || static_cast<int64_t>(mPos) + count > mLength)
        throw AceException(kReadPastEnd);
}

void DataReader::ReadBytes(void* dst, int32_t count)
{
    EnsureBytesRemaining(count);
    if (count > 0)
        std::memcpy(dst, mData + mPos, static_cast<size_t>(count));
    mPos += count;
}

void DataReader::SkipBytes(int32_t count)
{
    EnsureBytesRemaining(count);
    mPos += count;
}

uint8_t DataReader::ReadByte()
{
    EnsureBytesRemaining(1);
    return mData[mPos++];
}

uint16_t DataReader::ReadShort()
{
    EnsureBytesRemaining(2);
    const uint8_t* p = mData + mPos;
    mPos += 2;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

int32_t DataReader::ReadLong()
{
    EnsureBytesRemaining(4);
    const uint8_t* p = mData + mPos;
    mPos += 4;
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return static_cast<int32_t>(v);
}

float DataReader::ReadFloat()
{
    uint32_t bits = static_cast<uint32_t>(ReadLong());
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

void DataReader::ReadString(std::string& str)
{
    int32_t start = mPos;
    int32_t length = ReadShort();
    try
    {
        // Checked before resizing: a damaged length never allocates.
        EnsureBytesRemaining(length);
    }
    catch (...)
    {
        mPos = start;
        throw;
    }
    str.assign(reinterpret_cast<const char*>(mData + mPos), static_cast<size_t>(length));
    mPos += length;
}

bool DataReader::ReadBoolBit()
{
    if (mBitIndex > 7)
    {
        mBitByte = ReadByte();
        mBitIndex = 0;
    }
    bool bit = (mBitByte >> mBitIndex) & 1;
    ++mBitIndex;
    return bit;
}

void DataReader::EndBit()
{
    mBitIndex = 8;
}

// ---------------------------------------------------------------- DataWriter

DataWriter::DataWriter() : mData(nullptr), mLength(0), mCapacity(0), mBitIndex(0), mBitByte(0) {}

DataWriter::~DataWriter()
{
    delete[] mData;
}

void DataWriter::Open(int32_t capacity)
{
    Close();
    if (capacity > 0)
    {
        mData = new uint8_t[static_cast<size_t>(capacity)];
        mCapacity = capacity;
    }
}

void DataWriter::Close()
{
    delete[] mData;
    mData = nullptr;
    mLength = 0;
    mCapacity = 0;
    mBitIndex = 0;
    mBitByte = 0;
}

void DataWriter::EnsureCapacity(int32_t needed)
{
    if (needed <= mCapacity)
        return;
    // Doubling from 0 would never grow: start from one byte.
    int64_t capacity = mCapacity > 0 ? mCapacity : 1;
    while (capacity < needed)
        capacity *= 2;
    if (capacity > std::numeric_limits<int32_t>::max())
        capacity = std::numeric_limits<int32_t>::max();
    uint8_t* data = new uint8_t[static_cast<size_t>(capacity)];
    if (mLength > 0)
        std::memcpy(data, mData, static_cast<size_t>(mLength));
    delete[] mData;
    mData = data;
    mCapacity = static_cast<int32_t>(capacity);
}

void DataWriter::FlushBits()
{
    if (mBitIndex == 0)
        return;
    uint8_t byte = mBitByte;
    mBitIndex = 0;
    mBitByte = 0;
    WriteBytes(&byte, 1);
}

void DataWriter::WriteBytes(const void* src, int32_t count)
{
    FlushBits();
    if (count <= 0)
        return;
    if (static_cast<int64_t>(mLength) + count > std::numeric_limits<int32_t>::max())
        throw AceException("DataWriter: stream too long");
    EnsureCapacity(mLength + count);
    std::memcpy(mData + mLength, src, static_cast<size_t>(count));
    mLength += count;
}

void DataWriter::WriteByte(uint8_t value)
{
    WriteBytes(&value, 1);
}

void DataWriter::WriteShort(uint16_t value)
{
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    WriteBytes(bytes, 2);
}

void DataWriter::WriteLong(uint32_t value)
{
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    WriteBytes(bytes, 4);
}

void DataWriter::WriteFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    WriteLong(bits);
}

void DataWriter::WriteString(const std::string& str)
{
    // A longer string would write a length that disagrees with its bytes and
    // make the rest of the stream unreadable.
    size_t length = str.size() > 0xFFFF ? 0xFFFF : str.size();
    WriteShort(static_cast<uint16_t>(length));
    WriteBytes(str.data(), static_cast<int32_t>(length));
}

void DataWriter::WriteBoolBit(bool value)
{
    if (value)
        mBitByte = static_cast<uint8_t>(mBitByte | (1u << mBitIndex));
    ++mBitIndex;
    if (mBitIndex == 8)
        FlushBits();
}

void DataWriter::EndBit()
{
    FlushBits();
}

// ------------------------------------------------------------------ DataSync

DataSync::DataSync() : mVersion(0), mReader(nullptr), mWriter(nullptr), mOwns(false), mDepth(0) {}

DataSync::~DataSync()
{
    Close();
}

void DataSync::OpenWriter(int32_t initialCapacity)
{
    Close();
    mWriter = new DataWriter();
    mWriter->Open(initialCapacity);
    mOwns = true;
}

void DataSync::OpenReader(const char* data, int32_t length)
{
    Close();
    mReader = new DataReader();
    mReader->Open(data, length);
    mOwns = true;
}

void DataSync::OpenReader(const Buffer& buffer)
{
    OpenReader(reinterpret_cast<const char*>(buffer.GetDataPtr()), static_cast<int32_t>(buffer.GetDataLen()));
}

void DataSync::Close()
{
    if (mReader != nullptr)
    {
        if (mOwns)
            delete mReader;
        else
            mReader->Close();
        mReader = nullptr;
    }
    if (mWriter != nullptr)
    {
        if (mOwns)
            delete mWriter;
        else
            mWriter->Close();
        mWriter = nullptr;
    }
    mOwns = false;
    mDepth = 0;
    mWriteIds.clear();
    // Swapped out first: releasing an object may run destructors that must
    // not see a half-cleared list.
    std::vector<SmartPtr<RefCount>> objects;
    objects.swap(mReadObjects);
}

DataWriter* DataSync::Writer()
{
    // A sync that was never opened must not write through a null writer.
    if (mWriter == nullptr)
        throw AceException("DataSync: not open");
    return mWriter;
}

template <class T> void DataSync::SyncByteImpl(T& v)
{
    if (mReader != nullptr)
        v = FromWire<T>(static_cast<int8_t>(mReader->ReadByte()));
    else
        Writer()->WriteByte(static_cast<uint8_t>(v));
}

template <class T> void DataSync::SyncShortImpl(T& v)
{
    if (mReader != nullptr)
        v = FromWire<T>(static_cast<int16_t>(mReader->ReadShort()));
    else
        Writer()->WriteShort(static_cast<uint16_t>(v));
}

template <class T> void DataSync::SyncLongImpl(T& v)
{
    if (mReader != nullptr)
        v = FromWire<T>(mReader->ReadLong());
    else
        Writer()->WriteLong(static_cast<uint32_t>(v));
}

// Every integer width has its own overload, so callers never convert through a wider type.
// clang-format off
#define VAXO_SYNC_EVERY_WIDTH(Name)                                 \
    void DataSync::Name(char& v) { Name##Impl(v); }                 \
    void DataSync::Name(signed char& v) { Name##Impl(v); }          \
    void DataSync::Name(unsigned char& v) { Name##Impl(v); }        \
    void DataSync::Name(short& v) { Name##Impl(v); }                \
    void DataSync::Name(unsigned short& v) { Name##Impl(v); }       \
    void DataSync::Name(int& v) { Name##Impl(v); }                  \
    void DataSync::Name(unsigned int& v) { Name##Impl(v); }         \
    void DataSync::Name(long& v) { Name##Impl(v); }                 \
    void DataSync::Name(unsigned long& v) { Name##Impl(v); }
VAXO_SYNC_EVERY_WIDTH(SyncByte)
VAXO_SYNC_EVERY_WIDTH(SyncShort)
VAXO_SYNC_EVERY_WIDTH(SyncLong)
#undef VAXO_SYNC_EVERY_WIDTH
// clang-format on

void DataSync::SyncFloat(float& v)
{
    if (mReader != nullptr)
        v = mReader->ReadFloat();
    else
        Writer()->WriteFloat(v);
}

void DataSync::SyncBoolBit(bool& v)
{
    if (mReader != nullptr)
        v = mReader->ReadBoolBit();
    else
        Writer()->WriteBoolBit(v);
}

void DataSync::SyncBoolBit(char& v)
{
    if (mReader != nullptr)
        v = mReader->ReadBoolBit() ? 1 : 0;
    else
        Writer()->WriteBoolBit(v != 0);
}

void DataSync::SyncString(std::string& str)
{
    if (mReader != nullptr)
        mReader->ReadString(str);
    else
        Writer()->WriteString(str);
}

void DataSync::SyncBytes(void* data, int32_t count)
{
    if (mReader != nullptr)
        mReader->ReadBytes(data, count);
    else
        Writer()->WriteBytes(data, count);
}

void DataSync::EndBit()
{
    if (mReader != nullptr)
        mReader->EndBit();
    else
        Writer()->EndBit();
}

bool DataSync::SyncVersion(int32_t version, int32_t min, int32_t max)
{
    int32_t value = version;
    SyncLong(value);
    int32_t lower = min == -1 ? version : min;
    int32_t upper = max == -1 ? version : max;
    if (value < lower || value > upper)
        return false;
    mVersion = value;
    return true;
}

int32_t DataSync::AddRefCountForWrite(RefCount* obj)
{
    SmartPtr<RefCount> key(obj);
    auto found = mWriteIds.find(key);
    if (found != mWriteIds.end())
        return found->second;
    int32_t id = static_cast<int32_t>(mWriteIds.size());
    mWriteIds.emplace(key, id);
    return DATASYNC_REF_NEW;
}

void DataSync::AddRefCountForRead(RefCount* obj)
{
    mReadObjects.emplace_back(obj);
}

RefCount* DataSync::GetRefCountForRead(uint32_t id) const
{
    if (id >= mReadObjects.size())
        throw AceException(
            StrFormat("DataSync: GetRefCountForRead id not found - %d", static_cast<int32_t>(id)));
    return mReadObjects[id].get();
}

void DataSync::EnterSharedObject()
{
    if (mDepth >= kMaxSharedObjectDepth)
        throw AceException("DataSync: shared objects nested too deeply");
    ++mDepth;
}

[[noreturn]] void DataSync_ThrowWrongType(int32_t id)
{
    throw AceException(StrFormat("DataSync: shared object of wrong type - %d", id));
}

void DataSync_CheckCount(int32_t count)
{
    if (count < 0)
        throw AceException(StrFormat("DataSync: Invalid stl count - %d", count));
}

} // namespace Vaxo
