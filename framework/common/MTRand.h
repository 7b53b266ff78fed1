// Mersenne-twister random source (MT19937 with the 2002 seeding routine).
//
// MTRand is the program's only random generator. Recorded games are replayed
// by reseeding the global generator with a recorded seed, so the sequence for
// a given seed is fixed: it matches the published MT19937 output with the top
// bit cleared. Departures from the published generator: seed 0 and the
// default seed both mean 4357, and draws are 31-bit.
//
// gMTRand serves the free functions Rand and SRand; other code may own
// generators of its own. No locking: a generator belongs to one thread.
#pragma once

#include <cstdint>
#include <string>

namespace Vaxo
{

class MTRand
{
public:
    static constexpr int32_t kStateWords = 624;
    static constexpr uint32_t kDefaultSeed = 4357;
    // Serialize() gives 4 bytes per state word, most significant byte first.
    static constexpr size_t kStateBytes = kStateWords * 4;

    constexpr MTRand() : MTRand(kDefaultSeed) {}
    constexpr explicit MTRand(uint32_t seed) : mState{}, mIndex(kStateWords) { SRand(seed); }
    // Loads a saved state; the next draw regenerates the block first.
    explicit MTRand(const std::string& state);

    // Seeds the state; 0 is replaced by the default seed.
    constexpr void SRand(uint32_t seed)
    {
        if (seed == 0)
            seed = kDefaultSeed;
        mState[0] = seed;
        for (int32_t i = 1; i < kStateWords; i++)
            mState[i] = 1812433253u * (mState[i - 1] ^ (mState[i - 1] >> 30)) + static_cast<uint32_t>(i);
        mIndex = kStateWords;
    }
    // Replaces the state words by a Serialize() result (index kept); any other
    // length reseeds with the default seed.
    void SRand(const std::string& state);
    std::string Serialize() const;

    // 0 to 2,147,483,647.
    uint32_t Next()
    {
        if (mIndex >= kStateWords)
            Generate();
        uint32_t y = mState[mIndex++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y & 0x7FFFFFFFu;
    }
    // 0 to range - 1; a range of 0 gives 0.
    uint32_t Next(uint32_t range) { return range == 0 ? 0 : Next() % range; }
    // Callers pass plain ints; the range is taken as unsigned.
    uint32_t Next(int32_t range) { return Next(static_cast<uint32_t>(range)); }
    // 0 to range, both ends included.
    float Next(float range) { return static_cast<float>(Next() / 2147483647.0 * range); }

    uint32_t NextNoAssert() { return Next(); }
    uint32_t NextNoAssert(uint32_t range) { return Next(range); }
    uint32_t NextNoAssert(int32_t range) { return Next(range); }
    float NextNoAssert(float range) { return Next(range); }

    // The application marks scopes (drawing) where draws are not wanted; the
    // count is only kept, no draw is refused. false enters such a scope, true
    // leaves one (never below zero).
    static void SetRandAllowed(bool allowed);
    // Number of open not-allowed scopes, for diagnostics and tests.
    static int32_t GetRandDisallowedCount();

private:
    void Generate();

    uint32_t mState[kStateWords];
    int32_t mIndex; // next word to temper; kStateWords or more regenerates
};

// The global generator. It is constant-initialised (seeded at compile time
// and trivially destructible), so it exists before any code runs and is never
// destroyed: no start-up or exit order problem.
extern MTRand gMTRand;

// Draws always fit 31 bits, so the int forms never go negative.
int32_t Rand();
// The range is taken as unsigned: a negative range gives the draw unreduced;
// a range of 0 gives 0.
int32_t Rand(int32_t range);
float Rand(float range);
void SRand(uint32_t seed);

} // namespace Vaxo
