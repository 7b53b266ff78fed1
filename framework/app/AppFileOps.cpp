// File operations and synchronised values that must repeat identically when a demo is
// replayed: while recording their outcome is kept in the demo, while playing it is taken
// from there instead of the machine.
#include "app/VaxoAppBase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{
// Closes the file when the scope ends.
struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> FilePtr;

// Writes the bytes beside the file and renames them over it only when everything
// reached the disk, so a failed or interrupted write leaves the old file whole.
bool WriteFileAtomically(const std::string& fileName, const void* data, uint32_t length)
{
    std::string temp = fileName + ".tmp";
    FILE* file = std::fopen(temp.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = length == 0 || std::fwrite(data, 1, length, file) == length;
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(::fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temp.c_str(), fileName.c_str()) == 0)
        return true;
    std::remove(temp.c_str());
    return false;
}

// The whole regular file; false for folders, files larger than a Buffer holds, and
// reads that come up short.
bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>* bytes)
{
    FilePtr file(std::fopen(fileName.c_str(), "rb"));
    if (file == nullptr)
        return false;
    struct stat info;
    if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > 0x7FFFFFFF)
        return false;
    bytes->resize(size_t(info.st_size));
    return bytes->empty() || std::fread(bytes->data(), 1, bytes->size(), file.get()) == bytes->size();
}
} // namespace

bool VaxoAppBase::WriteBytesToFile(const std::string& fileName, const void* data, uint32_t length)
{
    // PENDING: while playing, the recorded answer (command 16) and no write; while
    // recording, the answer is appended to the demo.
    std::string folder = GetFileDir(fileName, false);
    if (!folder.empty())
        MkDir(folder);
    return WriteFileAtomically(fileName, data, length);
}

bool VaxoAppBase::WriteBufferToFile(const std::string& fileName, const Buffer* buffer)
{
    return WriteBytesToFile(fileName, buffer->GetDataPtr(), uint32_t(buffer->GetDataLen()));
}

bool VaxoAppBase::ReadBufferFromFile(const std::string& fileName, Buffer* buffer, bool)
{
    // PENDING: unless bypassed, while playing the bytes come from the demo (command 15);
    // while recording they are appended to it.
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(fileName, &bytes))
        return false;
    buffer->Clear();
    buffer->SetData(bytes.data(), int32_t(bytes.size()));
    return true;
}

bool VaxoAppBase::FileExists(const std::string& fileName)
{
    // PENDING: the recorded answer while playing (command 14); recorded while recording.
    FilePtr file(std::fopen(fileName.c_str(), "rb"));
    return file != nullptr;
}

bool VaxoAppBase::EraseFile(const std::string& fileName)
{
    if (mPlayingDemo)
        return true;
    return FileDelete(fileName);
}

void VaxoAppBase::DemoSyncBuffer(Buffer*)
{
    // PENDING: record the bytes (command 18), or replace them with the recorded ones.
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
    Buffer buffer;
    buffer.WriteString(*value);
    DemoSyncBuffer(&buffer);
    buffer.SeekFront();
    *value = buffer.ReadString();
}

} // namespace Vaxo
