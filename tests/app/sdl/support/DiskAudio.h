// DiskAudio: audio tests that hear what the mixer made. The fixture opens SDL's disk
// audio driver (no delay, so sound is mixed far faster than real time) into a file of a
// fresh temporary folder, which also holds the test's sound files; the helpers write
// tones as WAV files and read the mixed output back (signed 16-bit big-endian stereo)
// to measure a tone's frequency and length.
//
// Waits are bounded by the amount of audio mixed or by generous timeouts, never by
// tight wall-clock limits, so a loaded machine only makes the tests slower.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace Vaxo
{

constexpr int kDiskRate = 44100;

// Writes a mono 16-bit PCM WAV of a sine tone (amplitude 0 gives silence).
inline void WriteToneWav(const std::string& path, double frequency, int32_t frames, int rate = kDiskRate,
                         int16_t amplitude = 10000)
{
    auto le32 = [](std::ofstream& out, uint32_t v)
    {
        const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        out.write(b, 4);
    };
    auto le16 = [](std::ofstream& out, uint16_t v)
    {
        const char b[2] = {char(v), char(v >> 8)};
        out.write(b, 2);
    };
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = uint32_t(frames) * 2;
    out.write("RIFF", 4);
    le32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    le32(out, 16);
    le16(out, 1); // PCM
    le16(out, 1); // mono
    le32(out, uint32_t(rate));
    le32(out, uint32_t(rate) * 2);
    le16(out, 2);
    le16(out, 16);
    out.write("data", 4);
    le32(out, dataBytes);
    for (int32_t i = 0; i < frames; ++i)
        le16(out, uint16_t(int16_t(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)))));
}

// The stretch of output between the first and the last sample louder than a threshold.
struct Sound
{
    size_t first = 0;
    size_t end = 0; // one past the last loud sample; 0 when nothing was heard
    size_t Frames() const { return end - first; }
};

inline Sound FindSound(const std::vector<int16_t>& samples, size_t from = 0, int threshold = 1000)
{
    Sound s;
    for (size_t i = from; i < samples.size(); ++i)
    {
        if (std::abs(samples[i]) <= threshold)
            continue;
        if (s.end == 0)
            s.first = i;
        s.end = i + 1;
    }
    return s;
}

// Frequency in Hz of the tone in samples [first, end), by rising zero crossings.
inline double MeasureFrequency(const std::vector<int16_t>& samples, size_t first, size_t end)
{
    int crossings = 0;
    size_t firstCrossing = 0;
    size_t lastCrossing = 0;
    for (size_t i = first + 1; i < end; ++i)
    {
        if (samples[i - 1] < 0 && samples[i] >= 0)
        {
            if (crossings++ == 0)
                firstCrossing = i;
            lastCrossing = i;
        }
    }
    if (crossings < 2)
        return 0.0;
    return double(crossings - 1) * kDiskRate / double(lastCrossing - firstCrossing);
}

class DiskAudioTest : public ::testing::Test
{
protected:
    std::string mDir; // ends in "/"
    std::string mOutput;

    void SetUp() override
    {
        // In memory where there is a memory file system: the mixer writes fast.
        std::string pattern =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/vaxo_audio.XXXXXX" : "/tmp/vaxo_audio.XXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        mDir = pattern + "/";
        mOutput = mDir + "mixed.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", mOutput.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        ASSERT_EQ(SDL_Init(0), 0);
    }

    void TearDown() override
    {
        CloseAudio();
        SDL_Quit();
        std::error_code ignored;
        std::filesystem::remove_all(mDir, ignored);
    }

    // Closes the mixer (however often it was opened), which also ends the output file.
    static void CloseAudio()
    {
        int frequency;
        int channels;
        Uint16 format;
        while (Mix_QuerySpec(&frequency, &format, &channels) != 0)
            Mix_CloseAudio();
    }

    // Stereo frames mixed so far (as far as the driver has written them out).
    int64_t MixedFrames() const
    {
        struct stat st;
        return stat(mOutput.c_str(), &st) == 0 ? int64_t(st.st_size) / 4 : 0;
    }

    // Asks done() until it answers true (answering true), or for at most 20 s.
    static bool WaitFor(const std::function<bool()>& done)
    {
        const uint32_t start = SDL_GetTicks();
        while (!done())
        {
            if (SDL_GetTicks() - start >= 20000)
                return false;
            SDL_Delay(1);
        }
        return true;
    }

    // Waits until at least frames more frames have been mixed.
    bool WaitMixed(int64_t frames)
    {
        const int64_t target = MixedFrames() + frames;
        return WaitFor([&] { return MixedFrames() >= target; });
    }

    // Closes the mixer and answers the left channel of everything it mixed.
    std::vector<int16_t> MixedLeft()
    {
        CloseAudio();
        std::ifstream in(mOutput, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        std::vector<int16_t> left(bytes.size() / 4);
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = int16_t(uint16_t(bytes[4 * i] << 8 | bytes[4 * i + 1]));
        return left;
    }
};

} // namespace Vaxo
