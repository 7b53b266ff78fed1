#include "common/MTRand.h"

#include <atomic>

namespace Vaxo
{

// Saved states and recorded seeds are 32-bit words whatever the host's long is.
static_assert(MTRand::kStateBytes == 2496, "a saved state is 624 words of 4 bytes");

#if defined(__clang__)
[[clang::require_constant_initialization]]
#endif
MTRand gMTRand;

namespace
{
// Not-allowed scopes; atomic because the loading thread may draw while the
// main thread draws the screen.
std::atomic<int32_t>& RandDisallowedCount()
{
    static std::atomic<int32_t> count{0};
    return count;
}
} // namespace

MTRand::MTRand(const std::string& state) : MTRand()
{
    SRand(state);
    mIndex = kStateWords + 1;
}

void MTRand::SRand(const std::string& state)
{
    if (state.size() != kStateBytes)
    {
        SRand(kDefaultSeed);
        return;
    }
    const unsigned char* p = reinterpret_cast<const unsigned char*>(state.data());
    for (int32_t i = 0; i < kStateWords; i++, p += 4)
        mState[i] = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

std::string MTRand::Serialize() const
{
    std::string out(kStateBytes, '\0');
    for (int32_t i = 0; i < kStateWords; i++)
    {
        uint32_t w = mState[i];
        out[i * 4 + 0] = static_cast<char>(w >> 24);
        out[i * 4 + 1] = static_cast<char>(w >> 16);
        out[i * 4 + 2] = static_cast<char>(w >> 8);
        out[i * 4 + 3] = static_cast<char>(w);
    }
    return out;
}

void MTRand::Generate()
{
    constexpr int32_t kMiddle = 397;
    constexpr uint32_t kUpper = 0x80000000u, kLower = 0x7FFFFFFFu, kTwist = 0x9908B0DFu;
    auto twist = [](uint32_t a, uint32_t b, uint32_t m)
    {
        uint32_t y = (a & kUpper) | (b & kLower);
        return m ^ (y >> 1) ^ ((y & 1u) ? kTwist : 0u);
    };
    int32_t i = 0;
    for (; i < kStateWords - kMiddle; i++)
        mState[i] = twist(mState[i], mState[i + 1], mState[i + kMiddle]);
    for (; i < kStateWords - 1; i++)
        mState[i] = twist(mState[i], mState[i + 1], mState[i + kMiddle - kStateWords]);
    mState[kStateWords - 1] = twist(mState[kStateWords - 1], mState[0], mState[kMiddle - 1]);
    mIndex = 0;
}

void MTRand::SetRandAllowed(bool allowed)
{
    std::atomic<int32_t>& count = RandDisallowedCount();
    if (!allowed)
    {
        count.fetch_add(1);
        return;
    }
    int32_t n = count.load();
    while (n > 0 && !count.compare_exchange_weak(n, n - 1))
    {
    }
}

int32_t MTRand::GetRandDisallowedCount()
{
    return RandDisallowedCount().load();
}

int32_t Rand()
{
    return static_cast<int32_t>(gMTRand.Next());
}

int32_t Rand(int32_t range)
{
    return static_cast<int32_t>(gMTRand.Next(range));
}

float Rand(float range)
{
    return gMTRand.Next(range);
}

void SRand(uint32_t seed)
{
    gMTRand.SRand(seed);
}

} // namespace Vaxo
