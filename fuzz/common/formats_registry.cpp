// The settings store loading arbitrary file bytes, changed, then saved over other arbitrary
// bytes, as another copy of the program may have left the file: it must end with a usable
// store (empty when the file is damaged, which is moved aside), merge its changes into the
// file it saves over (or leave that alone when it is damaged), and never leave a file that
// loads as damaged. The last input byte says how much of the rest is the first file.
#include "common/Registry.h"
#include "support/FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

using namespace Vaxo;

namespace
{

std::string gDir;

void RemoveTempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(gDir, error);
}

std::string TempPath()
{
    // /dev/shm keeps the save's fsync cheap.
    char shm[] = "/dev/shm/vaxo_fuzz_registry_XXXXXX";
    char tmp[] = "/tmp/vaxo_fuzz_registry_XXXXXX";
    const char* dir = mkdtemp(shm);
    if (dir == nullptr)
        dir = mkdtemp(tmp);
    if (dir == nullptr)
        abort();
    gDir = dir;
    atexit(RemoveTempFolder);
    return gDir + "/registry.bin";
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = TempPath();
    FuzzInput input(data, size);
    const size_t loadedSize = input.ConsumeIntegralInRange<size_t>(0, input.remaining_bytes());
    WriteFile(path, input.ConsumeBytes<uint8_t>(loadedSize));

    RegistryResetForTest();
    RegistryFileOpen(path);
    std::vector<std::string> names;
    VaxoRegistryGetSubKeys("A", &names);
    unsigned char buffer[16];
    uint32_t type = 0, length = sizeof(buffer);
    VaxoRegistryRead("A", "x", &type, buffer, &length);
    uint32_t one = 1;
    if (!VaxoRegistryWrite("A\\B", "x", REG_DWORD, reinterpret_cast<const unsigned char*>(&one), 4))
        abort();
    VaxoRegistryEraseVal("A", "x");
    VaxoRegistryEraseKey("K");
    FileSetAside aside;
    RegistryTakeFileSetAside(&aside);

    WriteFile(path, input.ConsumeRemainingBytes<uint8_t>());
    if (RegistryFileClose())
    {
        RegistryResetForTest();
        RegistryFileOpen(path);
        if (RegistryTakeFileSetAside(&aside))
            abort();
    }
    // Damaged files were moved aside, by the load and by the save; a hundred of them would
    // leave none of the names free.
    std::remove((path + ".damaged").c_str());
    std::remove((path + ".damaged2").c_str());
    return 0;
}
