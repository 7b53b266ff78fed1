#include "app/sdl/MixPitch.h"

#include "app/sdl/support/DiskAudio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <vector>

namespace Vaxo
{
namespace
{

// Signed 16-bit samples in this machine's order, values worked out by hand.
TEST(ResamplePitch, InterpolatesBetweenWholeFrames)
{
    // channels, source, ratio, loop, start and end position, output (as many samples as
    // asked for), frames made from the source
    using V = std::vector<int16_t>;
    const std::tuple<int32_t, V, uint32_t, bool, uint64_t, uint64_t, V, uint32_t> rows[] = {
        {1, {100, -200, 300}, 65536, false, 0, 3 << 16, {100, -200, 300, 0, 0}, 3}, // copy, then silence
        {1, {0, 10, 20, 30, 40, 50}, 131072, false, 0, 6 << 16, {0, 20, 40, 0}, 3},
        {1, {0, 100, 200}, 32768, false, 0, 3 << 16, {0, 50, 100, 150, 200, 200, 0}, 6}, // last frame held
        {1, {100, -100}, 16384, false, 0, 1 << 16, {100, 50, 0, -50}, 4},
        {1, {0, 100}, 98304, true, 0, 2 << 16, {0, 50, 100, 50}, 4}, // wraps to the first frame
        {1, {0, 100, 200, 300}, 65536, false, 2 << 16, 4 << 16, {200, 300, 0}, 2},
        {2, {10, -10, 30, -30}, 32768, false, 0, 98304, {10, -10, 20, -20, 30, -30}, 3},
        {1, {}, 65536, true, 0, 0, {0, 0}, 0}, // an empty source is silence
    };
    for (const auto& [channels, src, ratio, loop, startPos, endPos, expected, made] : rows)
    {
        V dst(expected.size(), 12345);
        uint64_t pos = startPos;
        EXPECT_EQ(ResamplePitch(
                      reinterpret_cast<const uint8_t*>(src.data()), uint32_t(src.size()) / uint32_t(channels),
                      reinterpret_cast<uint8_t*>(dst.data()), uint32_t(dst.size()) / uint32_t(channels),
                      {AUDIO_S16SYS, channels}, ratio, loop, pos),
                  made);
        EXPECT_EQ(dst, expected);
        EXPECT_EQ(pos, endPos);
    }
}

// Every device format at half speed: 100, 200 (-100, 100), and 16, 32 (16, -16) for 8 bits.
TEST(ResamplePitch, ReadsAndWritesEachDeviceFormat)
{
    const std::tuple<uint16_t, std::vector<uint8_t>, std::vector<uint8_t>> rows[] = {
        {AUDIO_S16LSB, {0x64, 0x00, 0xC8, 0x00}, {0x64, 0x00, 0x96, 0x00, 0xC8, 0x00, 0xC8, 0x00}},
        {AUDIO_U16MSB, {0x80, 0x64, 0x80, 0xC8}, {0x80, 0x64, 0x80, 0x96, 0x80, 0xC8, 0x80, 0xC8}},
        {AUDIO_S16MSB, {0xFF, 0x9C, 0x00, 0x64}, {0xFF, 0x9C, 0x00, 0x00, 0x00, 0x64, 0x00, 0x64}},
        {AUDIO_U8, {0x90, 0xA0}, {0x90, 0x98, 0xA0, 0xA0, 0x80}}, // silence after the end: 0x80
        {AUDIO_S8, {0x10, 0xF0}, {0x10, 0x00, 0xF0, 0xF0, 0x00}},
    };
    for (const auto& [format, src, expected] : rows)
    {
        const uint32_t bytes = uint32_t(PitchFrameBytes({format, 1}));
        std::vector<uint8_t> dst(expected.size(), 0x55);
        uint64_t pos = 0;
        EXPECT_EQ(ResamplePitch(src.data(), uint32_t(src.size()) / bytes, dst.data(),
                                uint32_t(dst.size()) / bytes, {format, 1}, 32768, false, pos),
                  4u);
        EXPECT_EQ(dst, expected) << format;
    }
    EXPECT_EQ(PitchFrameBytes({AUDIO_S16MSB, 2}), 4);
    EXPECT_EQ(PitchFrameBytes({0x8020, 2}), 0); // 32-bit float is no format of this mixer
}

class MixPitchTest : public DiskAudioTest
{
protected:
    void SetUp() override
    {
        DiskAudioTest::SetUp();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0);
        ASSERT_EQ(Mix_OpenAudio(kDiskRate, AUDIO_S16MSB, 2, 1024), 0);
        Mix_AllocateChannels(8);
    }

    Mix_Chunk* LoadTone(const std::string& name, int32_t frames)
    {
        WriteToneWav(mDir + name, 441, frames);
        return Mix_LoadWAV((mDir + name).c_str());
    }
};

// Half a second of a 441 Hz tone: pitch and length change together, a slowed tone runs
// past the chunk's own length, and ratios are clamped (a ratio of 0 would never end).
TEST_F(MixPitchTest, ChangesPitchAndLengthOfWhatIsHeard)
{
    const std::tuple<int, double, double> rows[] = {
        // ratio, Hz, frames
        {131072, 882.0, 11025},     {32767, 220.49, 44101.3}, {0, 55.125, 176400},
        {INT_MAX, 3528.0, 2756.25}, {65536, 441.0, 22050},
    };
    Mix_Chunk* tone = LoadTone("tone.wav", 22050);
    ASSERT_NE(tone, nullptr);
    for (const auto& [ratio, hz, frames] : rows)
    {
        ASSERT_EQ(Mix_Pitch(2, ratio), 1);
        ASSERT_EQ(Mix_PlayChannelPitched(2, tone, 0), 2);
        ASSERT_TRUE(WaitFor([] { return Mix_Playing(2) == 0; }));
        ASSERT_TRUE(WaitMixed(16384)); // a gap of silence before the next play
    }
    const std::vector<int16_t> heard = MixedLeft();
    Sound s;
    for (const auto& [ratio, hz, frames] : rows)
    {
        s = FindSound(heard, s.end, 4000);
        EXPECT_NEAR(double(s.Frames()), frames, frames * 0.01 + 40) << ratio;
        EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), hz, hz * 0.01) << ratio;
    }
    Mix_FreeChunkPitched(tone);
}

// A looping tone raised an octave while it plays.
TEST_F(MixPitchTest, PitchChangesWhilePlaying)
{
    Mix_Chunk* tone = LoadTone("tone.wav", 4410);
    ASSERT_NE(tone, nullptr);
    Mix_Pitch(1, 65536);
    ASSERT_EQ(Mix_PlayChannelPitched(1, tone, -1), 1);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    Mix_Pitch(1, 131072);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    Mix_HaltChannel(1);
    const std::vector<int16_t> heard = MixedLeft();
    const Sound s = FindSound(heard);
    ASSERT_GT(s.Frames(), size_t(2 * kDiskRate) - 8192);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.first + kDiskRate / 2), 441.0, 4.41);
    EXPECT_NEAR(MeasureFrequency(heard, s.end - kDiskRate / 2, s.end), 882.0, 8.82);
    Mix_FreeChunkPitched(tone);
}

std::atomic<int> gStaleEffectRuns{0};

// A chunk freed while it plays leaves its effects on the channel (the stock mixer does
// so); the next play there must not run them.
TEST_F(MixPitchTest, NoStaleEffectAfterAChunkIsFreed)
{
    const Mix_EffectFunc_t silence = [](int, void* stream, int len, void*)
    {
        ++gStaleEffectRuns;
        std::memset(stream, 0, size_t(len));
    };
    Mix_Chunk* first = LoadTone("first.wav", 4410);
    Mix_Chunk* second = LoadTone("second.wav", 22050);
    // Registered before the play, so no buffer of the first tone is heard.
    ASSERT_NE(Mix_RegisterEffect(3, silence, nullptr, nullptr), 0);
    ASSERT_EQ(Mix_PlayChannel(3, first, -1), 3);
    ASSERT_TRUE(WaitFor([] { return gStaleEffectRuns > 0; }));
    Mix_FreeChunk(first);
    const int runs = gStaleEffectRuns;
    ASSERT_EQ(Mix_PlayChannelPitched(3, second, 0), 3);
    ASSERT_TRUE(WaitFor([] { return Mix_Playing(3) == 0; }));
    EXPECT_EQ(gStaleEffectRuns, runs);
    const std::vector<int16_t> heard = MixedLeft();
    const Sound s = FindSound(heard);
    EXPECT_NEAR(double(s.Frames()), 22050.0, 260.0);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), 441.0, 4.41);
    EXPECT_EQ(Mix_PlayChannelPitched(8, second, 0), -1); // beyond the allocated channels
    EXPECT_EQ(Mix_Pitch(kPitchChannels, 65536), 0);
    Mix_FreeChunkPitched(second);
}

} // namespace
} // namespace Vaxo
