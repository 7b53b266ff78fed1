// The demo file's header and marker block, the checked readers of the command stream, and
// the whole-file reads and writes shared by the demo and the file operations.
#include "app/DemoFile.h"

#include "app/VaxoAppBase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace Vaxo
{

namespace
{
const char kInvalidDemo[] = "Invalid demo file.";
// Longest product name the reader compares; a longer stored name is cut there.
constexpr uint32_t kMaxProductName = 255;
// Longest string Buffer's 16-bit length reads back unchanged.
constexpr size_t kMaxDemoString = 0x7FFF;
// A Buffer's bit count is 32-bit.
constexpr int64_t kMaxBufferBytes = INT32_MAX / 8;

// Big-endian reads from the front of the header; each fails once the bytes run out.
class HeaderReader
{
public:
    HeaderReader(const uint8_t* data, size_t size) : mData(data), mLeft(size) {}

    bool Read(uint32_t* value, int bytes)
    {
        if (mLeft < size_t(bytes))
            return false;
        *value = 0;
        for (int i = 0; i < bytes; i++)
            *value = (*value << 8) | mData[i];
        Skip(size_t(bytes));
        return true;
    }
    // Up to count bytes, fewer when the file ends first.
    std::string ReadText(size_t count)
    {
        count = std::min(count, mLeft);
        std::string text(reinterpret_cast<const char*>(mData), count);
        Skip(count);
        return text;
    }
    const uint8_t* Data() const { return mData; }
    size_t Left() const { return mLeft; }
    void Skip(size_t count)
    {
        mData += count;
        mLeft -= count;
    }

private:
    const uint8_t* mData;
    size_t mLeft;
};

void PutBigEndian(std::vector<uint8_t>* out, uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; i--)
        out->push_back(uint8_t(value >> (8 * i)));
}

// The marker block: a count, then per marker a string and an update count. A marker that
// does not fit in the block, or a block that ends before the count, is damage.
bool ParseMarkers(const uint8_t* data, uint32_t size, DemoFile* demo)
{
    Buffer block;
    block.SetData(data, int32_t(size));
    int32_t count = block.ReadLong();
    if (count < 0)
        return false;
    for (int32_t i = 0; i < count; i++)
    {
        if (DemoBytesLeft(block) < 2)
            return false;
        int32_t length = block.ReadShort();
        if (length < 0 || DemoBytesLeft(block) < length + 4)
            return false;
        std::string name(size_t(length), '\0');
        block.ReadBytes(reinterpret_cast<uint8_t*>(&name[0]), length);
        demo->mMarkers.emplace_back(name, block.ReadLong());
    }
    return true;
}

// Bits ahead of a stream's read position, read in Buffer's order without moving it.
class StreamPeek
{
public:
    explicit StreamPeek(const Buffer& stream)
        : mData(stream.GetDataPtr()), mPos(stream.GetReadBitPos()), mEnd(stream.GetDataLenBits())
    {
    }
    // Passes over count bits; false when they are not all there.
    bool Skip(int64_t count)
    {
        mPos += count;
        return mPos <= mEnd;
    }
    // Up to 32 bits as Buffer::ReadNumBits reads them; false when they are not all there.
    bool Read(int32_t count, int32_t* value)
    {
        if (mPos + count > mEnd)
            return false;
        uint32_t bits = 0;
        for (int32_t i = 0; i < count; i++, mPos++)
        {
            if ((mData[mPos / 8] >> (mPos % 8)) & 1u)
                bits |= 1u << i;
        }
        *value = int32_t(bits);
        return true;
    }
    // A 32-bit length and that many bytes, as ReadDemoBytes takes them.
    bool SkipBytes()
    {
        int32_t length = 0;
        return Read(32, &length) && Skip(8 * int64_t(std::max(0, length)));
    }
    // A 16-bit length and that many bytes, as ReadDemoString takes them.
    bool SkipString()
    {
        int32_t length = 0;
        return Read(16, &length) && Skip(8 * int64_t(std::max<int16_t>(0, int16_t(length))));
    }

private:
    const uint8_t* mData;
    int64_t mPos;
    int64_t mEnd;
};

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;
} // namespace

bool ParseDemoFile(const uint8_t* data, size_t size, const std::string& productName, DemoFile* demo,
                   std::string* error)
{
    HeaderReader in(data, size);
    uint32_t magic = 0;
    if (!in.Read(&magic, 4) || magic != kDemoMagic || !in.Read(&demo->mVersion, 4) ||
        !in.Read(&demo->mRandSeed, 4))
    {
        *error = kInvalidDemo;
        return false;
    }
    uint32_t nameLength = 4; // what a file too short to hold the length is read with
    in.Read(&nameLength, 2);
    demo->mProductName = in.ReadText(std::min(nameLength, kMaxProductName));
    if (demo->mProductName != productName)
    {
        *error = "This demo file appears to be for '" + demo->mProductName + "'";
        return false;
    }
    if (demo->mVersion >= 2)
    {
        // Unsigned: a length that would read as negative is as invalid as any other
        // length the file cannot hold. The demo length and a command must follow it.
        uint32_t blockSize = 0;
        if (!in.Read(&blockSize, 4) || in.Left() <= blockSize || !ParseMarkers(in.Data(), blockSize, demo))
        {
            *error = kInvalidDemo;
            return false;
        }
        in.Skip(blockSize);
    }
    if (int64_t(in.Left()) - 4 <= 0 || int64_t(in.Left()) - 4 > kMaxBufferBytes)
    {
        *error = kInvalidDemo;
        return false;
    }
    in.Read(&demo->mUpdateTotal, 4);
    demo->mStream.assign(in.Data(), in.Data() + in.Left());
    return true;
}

std::vector<uint8_t> BuildDemoFile(const DemoFile& demo)
{
    Buffer block;
    block.WriteLong(int32_t(demo.mMarkers.size()));
    for (const auto& marker : demo.mMarkers)
    {
        WriteDemoString(block, marker.first);
        block.WriteLong(marker.second);
    }
    const size_t nameLength = std::min<size_t>(demo.mProductName.size(), 0xFFFF);
    std::vector<uint8_t> out;
    out.reserve(22 + nameLength + size_t(block.GetDataLen()) + demo.mStream.size());
    PutBigEndian(&out, kDemoMagic, 4);
    PutBigEndian(&out, kDemoVersion, 4);
    PutBigEndian(&out, demo.mRandSeed, 4);
    PutBigEndian(&out, uint32_t(nameLength), 2);
    out.insert(out.end(), demo.mProductName.begin(), demo.mProductName.begin() + ptrdiff_t(nameLength));
    PutBigEndian(&out, uint32_t(block.GetDataLen()), 4);
    out.insert(out.end(), block.GetDataPtr(), block.GetDataPtr() + block.GetDataLen());
    PutBigEndian(&out, demo.mUpdateTotal, 4);
    out.insert(out.end(), demo.mStream.begin(), demo.mStream.end());
    return out;
}

bool IsAbsoluteDemoPath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return true;
    return path.size() > 1 && (path[1] == ':' || (path.size() > 2 && path[2] == '\\'));
}

int32_t DemoBytesLeft(const Buffer& stream)
{
    return std::max(0, stream.GetDataLenBits() - stream.GetReadBitPos()) / 8;
}

std::vector<uint8_t> ReadDemoBytes(const Buffer& stream)
{
    int32_t length = stream.ReadLong();
    std::vector<uint8_t> bytes(size_t(std::max(0, std::min(length, DemoBytesLeft(stream)))));
    stream.ReadBytes(bytes.data(), int32_t(bytes.size()));
    return bytes;
}

void WriteDemoBytes(Buffer& stream, const uint8_t* bytes, int32_t count)
{
    stream.WriteLong(count);
    stream.WriteBytes(bytes, count);
}

std::string ReadDemoString(const Buffer& stream)
{
    int32_t length = stream.ReadShort();
    length = std::max(0, std::min(length, DemoBytesLeft(stream)));
    std::string text(size_t(length), '\0');
    stream.ReadBytes(reinterpret_cast<uint8_t*>(&text[0]), length);
    return text;
}

void WriteDemoString(Buffer& stream, const std::string& text)
{
    stream.WriteString(text.size() > kMaxDemoString ? text.substr(0, kMaxDemoString) : text);
}

void BeginDemoCommand(VaxoAppBase& app, int32_t id)
{
    app.WriteDemoTimingBlock();
    app.mDemoBuffer.WriteNumBits(0, 1);
    app.mDemoBuffer.WriteNumBits(id, kDemoCommandIdBits);
}

void BeginDemoShortCommand(VaxoAppBase& app, int32_t kind)
{
    app.WriteDemoTimingBlock();
    app.mDemoBuffer.WriteNumBits(1, 1);
    app.mDemoBuffer.WriteNumBits(kind, kDemoShortKindBits);
}

bool TakeDemoAnswer(VaxoAppBase& app)
{
    if (app.mDemoDetached)
        return false;
    // The recording answered this call here: a stream without the answer was cut short.
    if (DemoStreamEnded(app))
        EndDemoEarly(app);
    else
        app.PrepareDemoCommand(false); // ends the demo as well when the payload is cut
    if (app.mDemoDetached)
        return false;
    app.mDemoHeadPending = true;
    return true;
}

bool DemoStreamEnded(const VaxoAppBase& app)
{
    return app.mDemoHeadPending &&
           app.mDemoBuffer.GetDataLenBits() - app.mDemoBuffer.GetReadBitPos() < kDemoMinCommandBits;
}

bool DemoPayloadInStream(const VaxoAppBase& app)
{
    StreamPeek in(app.mDemoBuffer);
    if (app.mDemoShortForm)
        return in.Skip(app.mDemoCommandId == DEMO_MOUSE_DELTA ? 12 : 4);
    int32_t flag = 0;
    switch (app.mDemoCommandId)
    {
    case DEMO_MOUSE_POSITION:
        return in.Skip(24);
    case DEMO_ACTIVATE:
    case DEMO_REGISTRY_WRITE:
    case DEMO_REGISTRY_ERASE_KEY:
    case DEMO_FILE_EXISTS:
    case DEMO_FILE_WRITE:
        return in.Skip(1);
    case DEMO_SIZE:
    case DEMO_KEY_DOWN:
    case DEMO_KEY_UP:
    case DEMO_MOUSE_WHEEL:
        return in.Skip(8);
    case DEMO_CHAR:
        return in.Read(1, &flag) && in.Skip(flag != 0 ? 16 : 8);
    case DEMO_REFRESH_SYNC:
        return in.Skip(16);
    case DEMO_ASSERT_INT:
        return in.Skip(32);
    case DEMO_ASSERT_STRING:
        return in.SkipString();
    case DEMO_SYNC_BUFFER:
        return in.SkipBytes();
    case DEMO_FILE_READ:
        return in.Read(1, &flag) && (flag == 0 || in.SkipBytes());
    case DEMO_REGISTRY_READ:
        return in.Read(1, &flag) && (flag == 0 || (in.Skip(32) && in.SkipBytes()));
    case DEMO_REGISTRY_SUBKEYS:
    {
        int32_t count = 0;
        if (!in.Read(1, &flag) || (flag != 0 && !in.Read(32, &count)))
            return false;
        // Each name takes 16 bits at least: a count the stream cannot hold ends it.
        for (int32_t i = 0; i < count; i++)
        {
            if (!in.SkipString())
                return false;
        }
        return true;
    }
    default:
        // Fillers and ids never written carry nothing.
        return true;
    }
}

void EndDemoEarly(VaxoAppBase& app)
{
    app.mDemoDetached = true;
    // What is left is the cut command's payload, not commands.
    app.mDemoBuffer.Clear();
    app.mDemoHeadPending = true;
    const std::string text =
        app.GetString("DEMO_ENDS_EARLY", "Demo file ends early, nothing more is replayed: ") +
        app.mDemoFileName;
    app.MsgBox(text, app.GetString("DEMO_ENDS_EARLY_TITLE", "Demo Ends Early"), MSGBOX_ERROR);
}

bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>* bytes)
{
    FilePtr file(std::fopen(fileName.c_str(), "rb"));
    if (file == nullptr)
        return false;
    struct stat info;
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxBufferBytes)
        return false;
    bytes->resize(size_t(info.st_size));
    return bytes->empty() || std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}

bool CanSaveWholeFile(const std::string& fileName, int* error)
{
    // The rename of a save cannot replace a folder.
    struct stat info;
    if (::stat(fileName.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    {
        *error = EISDIR;
        return false;
    }
    // A file made beside the target, as a save makes its temporary file; removed at once.
    std::string temp = fileName + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
    {
        *error = errno;
        return false;
    }
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

} // namespace Vaxo
