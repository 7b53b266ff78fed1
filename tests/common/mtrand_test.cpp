#include "common/MTRand.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using Vaxo::MTRand;

namespace
{

// Replays must match the published generator: every draw is the standard
// MT19937 output with the top bit cleared.
TEST(MTRandSequence, MatchesStdMt19937AndTheFirstDrawsForEachSeed)
{
    for (uint32_t seed : {1u, 4357u, 5489u, 19650218u, 0xFFFFFFFFu})
    {
        MTRand rand(seed);
        std::mt19937 oracle(seed);
        for (int i = 0; i < 1000000; i++)
        {
            uint32_t expected = static_cast<uint32_t>(oracle()) & 0x7FFFFFFFu;
            uint32_t got = rand.Next();
            if (got != expected)
            {
                FAIL() << "seed " << seed << " draw " << i << ": " << got << " != " << expected;
            }
        }
    }
    MTRand seeded(4357), zero(0), fallback, reseeded(77);
    reseeded.Next();
    reseeded.SRand(0u);
    for (MTRand* r : {&seeded, &zero, &fallback, &reseeded})
    {
        EXPECT_EQ(r->Next(), 2146374468u);
        EXPECT_EQ(r->Next(), 699692587u);
        EXPECT_EQ(r->Next(), 1213834231u);
    }
}

TEST(MTRandRanges, IntegerAndFloatRanges)
{
    MTRand a(99), b(99);
    for (uint32_t range : {1u, 2u, 7u, 100u, 65536u, 0x80000000u, 0xFFFFFFFFu})
    {
        for (int i = 0; i < 100; i++)
            EXPECT_EQ(a.Next(range), b.Next() % range);
    }
    MTRand rand(5);
    EXPECT_EQ(rand.Next(0u), 0u);
    EXPECT_EQ(rand.NextNoAssert(0u), 0u);
    EXPECT_EQ(Vaxo::Rand(0), 0);
    a = MTRand(31), b = MTRand(31);
    for (int i = 0; i < 10000; i++)
    {
        float f = a.Next(10.0f);
        uint32_t draw = b.Next();
        EXPECT_EQ(f, static_cast<float>(draw / 2147483647.0 * 10.0f));
    }
}

TEST(MTRandState, SerializedStateRoundTrips)
{
    MTRand rand(4357);
    std::string state = rand.Serialize();
    ASSERT_EQ(state.size(), 2496u);
    // The first state word is the seed itself: 4357 = 0x00001105.
    EXPECT_EQ(state.substr(0, 4), std::string("\x00\x00\x11\x05", 4));
    // word[1] = 1812433253 * (4357 ^ (4357 >> 30)) + 1, mod 2^32 = 0x9C4563FA.
    EXPECT_EQ(state.substr(4, 4), std::string("\x9C\x45\x63\xFA", 4));
    MTRand first(2024);
    for (int i = 0; i < 624; i++)
        first.Next(); // index now 624: the next draw regenerates
    MTRand second(first.Serialize());
    for (int i = 0; i < 5000; i++)
        ASSERT_EQ(second.Next(), first.Next()) << "draw " << i;
    for (size_t length : {0u, 1u, 2495u, 2497u, 5000u})
    {
        MTRand rand(42);
        rand.SRand(std::string(length, '\x7F'));
        EXPECT_EQ(rand.Next(), 2146374468u) << "length " << length;
        MTRand built{std::string(length, '\x7F')};
        EXPECT_EQ(built.Next(), 2146374468u) << "length " << length;
    }
}

TEST(MTRandGlobal, RandAndSRandUseTheGlobalGenerator)
{
    Vaxo::SRand(5489u);
    EXPECT_EQ(Vaxo::Rand(), 1351727964);
    Vaxo::SRand(5489u);
    MTRand local(5489);
    EXPECT_EQ(Vaxo::Rand(1000), static_cast<int32_t>(local.Next(1000u)));
    EXPECT_EQ(Vaxo::Rand(2.5f), local.Next(2.5f));
    Vaxo::SRand(4357u);
    EXPECT_EQ(Vaxo::Rand(-1), 2146374468);
    EXPECT_EQ(Vaxo::Rand(-5), 699692587);
}

TEST(MTRandAllowed, CountNestsAndNeverGoesBelowZero)
{
    ASSERT_EQ(MTRand::GetRandDisallowedCount(), 0);
    MTRand::SetRandAllowed(false);
    MTRand::SetRandAllowed(false);
    EXPECT_EQ(MTRand::GetRandDisallowedCount(), 2);
    MTRand::SetRandAllowed(true);
    MTRand::SetRandAllowed(true);
    MTRand::SetRandAllowed(true);
    EXPECT_EQ(MTRand::GetRandDisallowedCount(), 0);
    // Draws are never refused while disallowed.
    MTRand::SetRandAllowed(false);
    MTRand rand;
    EXPECT_EQ(rand.Next(), 2146374468u);
    MTRand::SetRandAllowed(true);
}

} // namespace
