// registry.bin load and save of 1,000 values, against plain stdio moving the
// same bytes (the reference: what the file system alone costs).
#include "common/Registry.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

using namespace Vaxo;

namespace
{

struct Store
{
    std::string dir;
    std::string path;
    std::vector<char> bytes; // the saved file

    Store()
    {
        char name[] = "/tmp/vaxo_bench_registry_XXXXXX";
        if (mkdtemp(name) == nullptr)
            abort();
        dir = name;
        path = dir + "/registry.bin";
        RegistryResetForTest();
        RegistryFileOpen(path);
        // 1,000 values: 20 keys of 50, numbers and strings mixed, as the
        // application's settings and the file dialogs' folders would be.
        for (int k = 0; k < 20; ++k)
        {
            std::string key = "SOFTWARE\\Vaxo\\Game\\Section" + std::to_string(k);
            for (int v = 0; v < 50; ++v)
            {
                std::string name = "Value" + std::to_string(v);
                if (v % 2 == 0)
                {
                    uint32_t n = static_cast<uint32_t>(k * 1000 + v);
                    VaxoRegistryWrite(key, name, REG_DWORD, reinterpret_cast<const unsigned char*>(&n), 4);
                }
                else
                {
                    std::string text =
                        "/home/user/Library/Application Support/Game/folder" + std::to_string(v);
                    VaxoRegistryWrite(key, name, REG_SZ, reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<uint32_t>(text.size()));
                }
            }
        }
        RegistryFileClose();
        FILE* f = std::fopen(path.c_str(), "rb");
        int c;
        while ((c = std::fgetc(f)) != EOF)
            bytes.push_back(static_cast<char>(c));
        std::fclose(f);
    }
    ~Store()
    {
        std::remove(path.c_str());
        std::remove((path + ".tmp").c_str());
        rmdir(dir.c_str());
    }
};

Store& TheStore()
{
    static Store store;
    return store;
}

void BM_RegistrySave(benchmark::State& state)
{
    Store& store = TheStore();
    for (auto _ : state)
        RegistryFileClose();
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(store.bytes.size()));
}
BENCHMARK(BM_RegistrySave)->Unit(benchmark::kMicrosecond);

void BM_RegistryLoad(benchmark::State& state)
{
    Store& store = TheStore();
    for (auto _ : state)
    {
        RegistryResetForTest();
        RegistryFileOpen(store.path);
    }
    uint32_t n = 0, length = 4;
    if (!VaxoRegistryRead("SOFTWARE\\Vaxo\\Game\\Section19", "Value48", nullptr,
                          reinterpret_cast<unsigned char*>(&n), &length) ||
        n != 19048)
        state.SkipWithError("the loaded store lost a value");
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(store.bytes.size()));
}
BENCHMARK(BM_RegistryLoad)->Unit(benchmark::kMicrosecond);

// Reference: the same bytes written the same safe way (temporary file, fsync,
// rename) with nothing to serialise.
void BM_ReferenceStdioSave(benchmark::State& state)
{
    Store& store = TheStore();
    std::string temp = store.path + ".ref";
    for (auto _ : state)
    {
        FILE* f = std::fopen(temp.c_str(), "wb");
        std::fwrite(store.bytes.data(), 1, store.bytes.size(), f);
        std::fflush(f);
        fsync(fileno(f));
        std::fclose(f);
        std::rename(temp.c_str(), (store.path + ".refdone").c_str());
    }
    std::remove((store.path + ".refdone").c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(store.bytes.size()));
}
BENCHMARK(BM_ReferenceStdioSave)->Unit(benchmark::kMicrosecond);

// Reference: reading the file whole with nothing to parse.
void BM_ReferenceStdioLoad(benchmark::State& state)
{
    Store& store = TheStore();
    std::vector<char> buffer(store.bytes.size());
    for (auto _ : state)
    {
        FILE* f = std::fopen(store.path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        buffer.resize(static_cast<size_t>(size));
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(store.bytes.size()));
}
BENCHMARK(BM_ReferenceStdioLoad)->Unit(benchmark::kMicrosecond);

} // namespace
