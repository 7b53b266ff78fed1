// File operations and synchronised values that must repeat identically when a demo is
// replayed: while recording their outcome is kept in the demo, while playing it is taken
// from there instead of the machine.
#include "app/DemoFile.h"
#include "app/VaxoAppBase.h"

#include <cerrno>
#include <cstdio>
#include <vector>

namespace Vaxo
{

bool VaxoAppBase::WriteBytesToFile(const std::string& fileName, const void* data, uint32_t length)
{
    if (mPlayingDemo)
        return !TakeDemoAnswer(*this) || mDemoBuffer.ReadNumBits(1, false) != 0;
    const int folderError = MakeFolderOf(fileName);
    bool written = WriteFileAtomically(fileName, data, length);
    // A failure's reason, for the caller to report: a folder that could not be made says why.
    const int reason = !written && folderError != 0 ? folderError : errno;
    if (mRecordingDemo)
    {
        BeginDemoCommand(*this, DEMO_FILE_WRITE);
        mDemoBuffer.WriteNumBits(written ? 1 : 0, 1);
    }
    errno = reason;
    return written;
}

bool VaxoAppBase::WriteBufferToFile(const std::string& fileName, const Buffer* buffer)
{
    return WriteBytesToFile(fileName, buffer->GetDataPtr(), uint32_t(buffer->GetDataLen()));
}

bool VaxoAppBase::ReadBufferFromFile(const std::string& fileName, Buffer* buffer, bool bypass)
{
    if (mPlayingDemo && !bypass)
    {
        if (!TakeDemoAnswer(*this) || mDemoBuffer.ReadNumBits(1, false) == 0)
            return false;
        buffer->Clear();
        buffer->SetData(ReadDemoBytes(mDemoBuffer));
        return true;
    }
    std::vector<uint8_t> bytes;
    bool read = ReadWholeFile(fileName, &bytes);
    if (read)
    {
        buffer->Clear();
        buffer->SetData(bytes);
    }
    if (mRecordingDemo && !bypass)
    {
        BeginDemoCommand(*this, DEMO_FILE_READ);
        mDemoBuffer.WriteNumBits(read ? 1 : 0, 1);
        if (read)
            WriteDemoBytes(mDemoBuffer, bytes.data(), int32_t(bytes.size()));
    }
    return read;
}

bool VaxoAppBase::FileExists(const std::string& fileName)
{
    if (mPlayingDemo)
        return !TakeDemoAnswer(*this) || mDemoBuffer.ReadNumBits(1, false) != 0;
    FILE* file = std::fopen(fileName.c_str(), "rb");
    bool exists = file != nullptr;
    if (file != nullptr)
        std::fclose(file);
    if (mRecordingDemo)
    {
        BeginDemoCommand(*this, DEMO_FILE_EXISTS);
        mDemoBuffer.WriteNumBits(exists ? 1 : 0, 1);
    }
    return exists;
}

bool VaxoAppBase::EraseFile(const std::string& fileName)
{
    if (mPlayingDemo)
        return true;
    return FileDelete(fileName);
}

void VaxoAppBase::DemoSyncBuffer(Buffer* buffer)
{
    if (mPlayingDemo)
    {
        if (!TakeDemoAnswer(*this))
            return;
        std::vector<uint8_t> bytes = ReadDemoBytes(mDemoBuffer);
        buffer->Clear();
        buffer->WriteBytes(bytes.data(), int32_t(bytes.size()));
    }
    else if (mRecordingDemo)
    {
        BeginDemoCommand(*this, DEMO_SYNC_BUFFER);
        WriteDemoBytes(mDemoBuffer, buffer->GetDataPtr(), buffer->GetDataLen());
    }
}

void VaxoAppBase::DemoSyncInt(int* value)
{
    Buffer buffer;
    buffer.WriteLong(*value);
    DemoSyncBuffer(&buffer);
    buffer.SeekFront();
    *value = buffer.ReadLong();
}

void VaxoAppBase::DemoSyncBool(bool* value)
{
    Buffer buffer;
    buffer.WriteBoolean(*value);
    DemoSyncBuffer(&buffer);
    buffer.SeekFront();
    *value = buffer.ReadBoolean();
}

void VaxoAppBase::DemoSyncString(std::string* value)
{
    // Outside demos the text stays as it is: the round trip below keeps 32767 bytes at
    // most, and longer texts (a large clipboard) came back empty.
    if (!mRecordingDemo && !mPlayingDemo)
        return;
    Buffer buffer;
    WriteDemoString(buffer, *value);
    DemoSyncBuffer(&buffer);
    buffer.SeekFront();
    *value = ReadDemoString(buffer);
}

} // namespace Vaxo
