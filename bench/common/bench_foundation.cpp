// Foundation hot paths against the libraries a port would otherwise use:
// MTRand vs std::mt19937, Buffer::GetCRC32 vs zlib crc32, md5 vs OpenSSL MD5,
// SmartPtr copy and release vs std::shared_ptr copy.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "common/Buffer.h"
#include "common/MTRand.h"
#include "common/SmartPtr.h"
#include "common/md5.h"

#include <benchmark/benchmark.h>
#if VAXO_HAVE_OPENSSL
#include <openssl/md5.h>
#endif
#include <zlib.h>

#include <memory>
#include <random>
#include <vector>

namespace
{

constexpr size_t kMegabyte = 1 << 20;

std::vector<uint8_t> RandomBytes(size_t n)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

void BM_MTRandNext(benchmark::State& state)
{
    Vaxo::MTRand rand(5489);
    for (auto _ : state)
        benchmark::DoNotOptimize(rand.Next());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MTRandNext);

void BM_StdMt19937(benchmark::State& state)
{
    std::mt19937 rand(5489);
    for (auto _ : state)
        benchmark::DoNotOptimize(rand() & 0x7FFFFFFF);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdMt19937);

void BM_BufferCRC32_1MB(benchmark::State& state)
{
    Vaxo::Buffer buffer;
    buffer.SetData(RandomBytes(kMegabyte));
    for (auto _ : state)
        benchmark::DoNotOptimize(buffer.GetCRC32(0));
    state.SetBytesProcessed(state.iterations() * kMegabyte);
}
BENCHMARK(BM_BufferCRC32_1MB);

void BM_ZlibCrc32_1MB(benchmark::State& state)
{
    std::vector<uint8_t> bytes = RandomBytes(kMegabyte);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
    state.SetBytesProcessed(state.iterations() * kMegabyte);
}
BENCHMARK(BM_ZlibCrc32_1MB);

void BM_Md5_1MB(benchmark::State& state)
{
    std::vector<uint8_t> bytes = RandomBytes(kMegabyte);
    unsigned char out[16];
    for (auto _ : state)
    {
        Vaxo::md5(bytes.data(), static_cast<int32_t>(bytes.size()), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * kMegabyte);
}
BENCHMARK(BM_Md5_1MB);

#if VAXO_HAVE_OPENSSL
void BM_OpenSSLMD5_1MB(benchmark::State& state)
{
    std::vector<uint8_t> bytes = RandomBytes(kMegabyte);
    unsigned char out[16];
    for (auto _ : state)
    {
        MD5(bytes.data(), bytes.size(), out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() * kMegabyte);
}
BENCHMARK(BM_OpenSSLMD5_1MB);
#endif

struct Shared : public Vaxo::RefCount
{
    int mValue = 1;
};

void BM_SmartPtrCopyRelease(benchmark::State& state)
{
    Vaxo::SmartPtr<Shared> shared(new Shared());
    for (auto _ : state)
    {
        Vaxo::SmartPtr<Shared> copy(shared);
        benchmark::DoNotOptimize(copy.get());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmartPtrCopyRelease);

void BM_SharedPtrCopyRelease(benchmark::State& state)
{
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    for (auto _ : state)
    {
        std::shared_ptr<Shared> copy(shared);
        benchmark::DoNotOptimize(copy.get());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SharedPtrCopyRelease);

} // namespace
