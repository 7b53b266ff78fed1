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

std::vector<uint8_t> Native16(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> bytes(samples.size() * 2);
    if (!samples.empty())
        std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// Signed 16-bit samples in this machine's order: the values, one row per case.
TEST(ResamplePitch, InterpolatesBetweenWholeFrames)
{
    struct Row
    {
        const char* name;
        int32_t channels;
        std::vector<int16_t> src;
        uint32_t ratio;
        bool loop;
        uint64_t startPos;
        std::vector<int16_t> expected; // its length is the number of frames asked for x channels
        uint32_t made;
        uint64_t endPos;
    };
    const Row rows[] = {
        {"unchanged copies, then silence",
         1,
         {100, -200, 300},
         65536,
         false,
         0,
         {100, -200, 300, 0, 0},
         3,
         3 << 16},
        {"octave up takes every other frame",
         1,
         {0, 10, 20, 30, 40, 50},
         131072,
         false,
         0,
         {0, 20, 40, 0},
         3,
         6 << 16},
        {"octave down adds midpoints, holds the last frame",
         1,
         {0, 100, 200},
         32768,
         false,
         0,
         {0, 50, 100, 150, 200, 200, 0, 0},
         6,
         3 << 16},
        {"quarter steps through a falling edge",
         1,
         {100, -100},
         16384,
         false,
         0,
         {100, 50, 0, -50},
         4,
         65536},
        {"looping wraps to the first frame", 1, {0, 100}, 98304, true, 0, {0, 50, 100, 50}, 4, 131072},
        {"starts at the given position",
         1,
         {0, 100, 200, 300},
         65536,
         false,
         2 << 16,
         {200, 300, 0},
         2,
         4 << 16},
        {"stereo frames move together",
         2,
         {10, -10, 30, -30},
         32768,
         false,
         0,
         {10, -10, 20, -20, 30, -30},
         3,
         98304},
        {"an empty looping source is silence", 1, {}, 65536, true, 0, {0, 0}, 0, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const PitchFormat format{AUDIO_S16SYS, row.channels};
        const std::vector<uint8_t> src = Native16(row.src);
        std::vector<int16_t> dst(row.expected.size(), 12345);
        uint64_t pos = row.startPos;
        const uint32_t made =
            ResamplePitch(src.data(), uint32_t(row.src.size()) / uint32_t(row.channels),
                          reinterpret_cast<uint8_t*>(dst.data()),
                          uint32_t(dst.size()) / uint32_t(row.channels), format, row.ratio, row.loop, pos);
        EXPECT_EQ(dst, row.expected);
        EXPECT_EQ(made, row.made);
        EXPECT_EQ(pos, row.endPos);
    }
}

// Every device format: the bytes of 100 -> 200 at half speed (and of the silence after).
TEST(ResamplePitch, ReadsAndWritesEachDeviceFormat)
{
    struct Row
    {
        uint16_t format;
        std::vector<uint8_t> src;
        std::vector<uint8_t> expected;
    };
    const Row rows[] = {
        {AUDIO_S16MSB,
         {0x00, 0x64, 0x00, 0xC8},
         {0x00, 0x64, 0x00, 0x96, 0x00, 0xC8, 0x00, 0xC8, 0x00, 0x00}},
        {AUDIO_S16LSB,
         {0x64, 0x00, 0xC8, 0x00},
         {0x64, 0x00, 0x96, 0x00, 0xC8, 0x00, 0xC8, 0x00, 0x00, 0x00}},
        {AUDIO_U16MSB,
         {0x80, 0x64, 0x80, 0xC8},
         {0x80, 0x64, 0x80, 0x96, 0x80, 0xC8, 0x80, 0xC8, 0x80, 0x00}},
        {AUDIO_U16LSB,
         {0x64, 0x80, 0xC8, 0x80},
         {0x64, 0x80, 0x96, 0x80, 0xC8, 0x80, 0xC8, 0x80, 0x00, 0x80}},
        {AUDIO_S16MSB,
         {0xFF, 0x9C, 0x00, 0x64},
         {0xFF, 0x9C, 0x00, 0x00, 0x00, 0x64, 0x00, 0x64, 0x00, 0x00}},
        {AUDIO_U8, {0x90, 0xA0}, {0x90, 0x98, 0xA0, 0xA0, 0x80}},
        {AUDIO_S8, {0x10, 0xF0}, {0x10, 0x00, 0xF0, 0xF0, 0x00}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.format);
        const PitchFormat format{row.format, 1};
        const int32_t bytes = PitchFrameBytes(format);
        std::vector<uint8_t> dst(row.expected.size(), 0x55);
        uint64_t pos = 0;
        EXPECT_EQ(ResamplePitch(row.src.data(), uint32_t(row.src.size()) / uint32_t(bytes), dst.data(),
                                uint32_t(dst.size()) / uint32_t(bytes), format, 32768, false, pos),
                  4u);
        EXPECT_EQ(dst, row.expected);
    }
    EXPECT_EQ(PitchFrameBytes({AUDIO_S16MSB, 2}), 4);
    EXPECT_EQ(PitchFrameBytes({AUDIO_U8, 2}), 2);
    EXPECT_EQ(PitchFrameBytes({0x8020, 2}), 0); // 32-bit float: not a format of this mixer
}

TEST(ResamplePitch, GoesOnWhereTheLastCallStopped)
{
    std::vector<int16_t> ramp(50);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = int16_t(i * 37 - 900);
    const std::vector<uint8_t> src = Native16(ramp);
    const PitchFormat format{AUDIO_S16SYS, 1};
    std::vector<int16_t> whole(40);
    std::vector<int16_t> parts(40);
    uint64_t pos = 0;
    ResamplePitch(src.data(), 50, reinterpret_cast<uint8_t*>(whole.data()), 40, format, 70000, true, pos);
    pos = 0;
    for (int part = 0; part < 4; ++part)
        ResamplePitch(src.data(), 50, reinterpret_cast<uint8_t*>(parts.data() + part * 10), 10, format, 70000,
                      true, pos);
    EXPECT_EQ(parts, whole);
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
        return Mix_LoadWAV(std::string(mDir + name).c_str());
    }
};

// A 441 Hz tone of half a second at several ratios: the pitch and the length change
// together, a slowed tone runs past the chunk's own length, and the ratio is clamped.
TEST_F(MixPitchTest, ChangesPitchAndLengthOfWhatIsHeard)
{
    struct Row
    {
        int ratio;
        double frequency;
        double frames;
    };
    const Row rows[] = {
        {131072, 882.0, 11025},     // an octave up: half the length
        {32767, 220.49, 44101.3},   // an octave down, as AdjustPitch(-12) gives it
        {0, 55.125, 176400},        // clamped to three octaves down: it still ends
        {INT_MAX, 3528.0, 2756.25}, // clamped to three octaves up
        {65536, 441.0, 22050},      // unchanged
    };
    Mix_Chunk* tone = LoadTone("tone.wav", 22050);
    ASSERT_NE(tone, nullptr);
    std::vector<Sound> sounds;
    size_t heardUpTo = 0;
    for (const Row& row : rows)
    {
        ASSERT_EQ(Mix_Pitch(2, row.ratio), 1);
        ASSERT_EQ(Mix_PlayChannelPitched(2, tone, 0), 2);
        ASSERT_TRUE(WaitFor([] { return Mix_Playing(2) == 0; }));
        ASSERT_TRUE(WaitMixed(16384)); // a gap of silence between the plays
    }
    const std::vector<int16_t> heard = MixedLeft();
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.ratio);
        // The next sound: from the first loud sample to the last one before a long silence.
        Sound s = FindSound(heard, heardUpTo);
        size_t end = s.first;
        for (size_t i = s.first, quiet = 0; i < heard.size() && quiet < 2000; ++i)
        {
            quiet = std::abs(heard[i]) > 1000 ? 0 : quiet + 1;
            if (quiet == 0)
                end = i + 1;
        }
        s.end = end;
        heardUpTo = end;
        EXPECT_NEAR(double(s.Frames()), row.frames, row.frames * 0.01 + 40);
        EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), row.frequency, row.frequency * 0.01);
    }
    Mix_FreeChunkPitched(tone);
}

// A looping tone raised an octave while it plays: the second half is heard an octave up.
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

// A chunk freed while it played leaves its effects on the channel (a stock mixer
// behaviour); the next play there must not run them.
TEST_F(MixPitchTest, NoStaleEffectAfterAChunkIsFreed)
{
    const Mix_EffectFunc_t silence = [](int, void* stream, int len, void*)
    {
        ++gStaleEffectRuns;
        std::memset(stream, 0, size_t(len));
    };
    Mix_Chunk* first = LoadTone("first.wav", 4410);
    Mix_Chunk* second = LoadTone("second.wav", 22050);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(Mix_PlayChannel(3, first, -1), 3);
    ASSERT_NE(Mix_RegisterEffect(3, silence, nullptr, nullptr), 0);
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
    Mix_FreeChunkPitched(second);
}

// Freeing a chunk halts the channels that play it through their pitch.
TEST_F(MixPitchTest, FreeingAChunkHaltsItsChannels)
{
    Mix_Chunk* tone = LoadTone("tone.wav", 4410);
    ASSERT_NE(tone, nullptr);
    ASSERT_EQ(Mix_PlayChannelPitched(4, tone, -1), 4);
    ASSERT_EQ(Mix_PlayChannelPitched(5, tone, -1), 5);
    Mix_FreeChunkPitched(tone);
    EXPECT_EQ(Mix_Playing(4), 0);
    EXPECT_EQ(Mix_Playing(5), 0);
    // Mixing goes on; a channel left playing would read the freed sound.
    EXPECT_TRUE(WaitMixed(8192));
}

TEST_F(MixPitchTest, RefusesWhatItCannotPlay)
{
    Mix_Chunk* tone = LoadTone("tone.wav", 100);
    EXPECT_EQ(Mix_Pitch(-1, 65536), 0);
    EXPECT_EQ(Mix_Pitch(kPitchChannels, 65536), 0);
    EXPECT_EQ(Mix_PlayChannelPitched(-1, tone, 0), -1);
    EXPECT_EQ(Mix_PlayChannelPitched(8, tone, 0), -1); // beyond the allocated channels
    EXPECT_EQ(Mix_PlayChannelPitched(0, nullptr, 0), -1);
    EXPECT_EQ(Mix_PlayChannelPitched(0, tone, 2), -1);
    Mix_FreeChunkPitched(tone);
}

} // namespace
} // namespace Vaxo
