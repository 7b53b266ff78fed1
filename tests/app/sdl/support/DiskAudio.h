// DiskAudio: audio tests that hear what the mixer made. The fixture opens SDL's disk
// driver without delay (sound is mixed far faster than real time) into a file of a fresh
// temporary folder, which also holds the test's sound files; the helpers write tones as
// WAV files and measure a tone's length and frequency in the mixed output (signed 16-bit
// big-endian stereo at 44,100 Hz). Waits are bounded by the amount of audio mixed or by
// generous timeouts, so a loaded machine only makes the tests slower.
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

constexpr int kDiskRate = 44100;

// A mono 16-bit PCM WAV file of a sine tone at 44,100 Hz; a rising one grows from half to one
// and a half times the usual loudness, so that no stretch of it repeats another.
inline void WriteToneWav(const std::string& path, double frequency, int32_t frames, bool rising = false)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (size_t i = 0; i < samples.size(); ++i)
    {
        const double amplitude = rising ? 5000 + 10000 * double(i) / double(frames) : 10000;
        samples[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * frequency * double(i) / kDiskRate)));
    }
    const uint32_t bytes = uint32_t(frames) * 2;
    // RIFF size, "fmt " size, PCM, mono, rate, byte rate, frame bytes, bits, data size.
    const uint32_t sizes[] = {36 + bytes, 16, 1 | 1 << 16, kDiskRate, kDiskRate * 2, 2 | 16 << 16, bytes};
    std::ofstream out(path, std::ios::binary); // this machine is little-endian, as WAV files are
    out.write("RIFF", 4).write(reinterpret_cast<const char*>(sizes), 4).write("WAVEfmt ", 8);
    out.write(reinterpret_cast<const char*>(sizes + 1), 20).write("data", 4);
    out.write(reinterpret_cast<const char*>(sizes + 6), 4)
        .write(reinterpret_cast<const char*>(samples.data()), bytes);
}

// The next sound from sample `from` on: first loud sample to the last one before a
// silence of `gap` samples (or the end).
struct Sound
{
    size_t first = 0;
    size_t end = 0; // 0 when nothing was heard
    size_t Frames() const { return end - first; }
};

inline Sound FindSound(const std::vector<int16_t>& heard, size_t from = 0, size_t gap = SIZE_MAX)
{
    Sound s;
    for (size_t i = from; i < heard.size() && (s.end == 0 || i - s.end < gap); ++i)
    {
        if (std::abs(heard[i]) <= 1000)
            continue;
        if (s.end == 0)
            s.first = i;
        s.end = i + 1;
    }
    return s;
}

// Frequency in Hz of the tone in heard[first, end), by rising zero crossings.
inline double MeasureFrequency(const std::vector<int16_t>& heard, size_t first, size_t end)
{
    std::vector<size_t> crossings;
    for (size_t i = first + 1; i < end; ++i)
        if (heard[i - 1] < 0 && heard[i] >= 0)
            crossings.push_back(i);
    if (crossings.size() < 2)
        return 0.0;
    return double(crossings.size() - 1) * kDiskRate / double(crossings.back() - crossings.front());
}

class DiskAudioTest : public ::testing::Test
{
protected:
    std::string mDir; // ends in "/"

    void SetUp() override
    {
        // In memory where there is a memory file system: the mixer writes fast.
        std::string dir =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/vaxo_audio.XXXXXX" : "/tmp/vaxo_audio.XXXXXX";
        ASSERT_NE(mkdtemp(&dir[0]), nullptr);
        mDir = dir + "/";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", (mDir + "mixed.raw").c_str(), 1);
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

    // Closes the mixer however often it was opened, which also ends the output file.
    static void CloseAudio()
    {
        int frequency, channels;
        Uint16 format;
        while (Mix_QuerySpec(&frequency, &format, &channels) != 0)
            Mix_CloseAudio();
    }

    // Asks done() until it answers true (answering true), for at most 20 s.
    static bool WaitFor(const std::function<bool()>& done)
    {
        for (const uint32_t start = SDL_GetTicks(); !done(); SDL_Delay(1))
            if (SDL_GetTicks() - start >= 20000)
                return false;
        return true;
    }

    // Frames that have reached the output file.
    int64_t MixedFrames() const
    {
        struct stat st;
        return stat((mDir + "mixed.raw").c_str(), &st) == 0 ? int64_t(st.st_size) / 4 : 0;
    }

    // Waits until at least `frames` more frames have reached the output file.
    bool WaitMixed(int64_t frames)
    {
        const int64_t target = MixedFrames() + frames;
        return WaitFor([&] { return MixedFrames() >= target; });
    }

    // Asks done() until it answers true (answering true), while at most `frames` more frames reach
    // the output file: a wait for what does not come must not fill the disk.
    bool WaitForWithin(int64_t frames, const std::function<bool()>& done)
    {
        const int64_t limit = MixedFrames() + frames;
        bool answered = false;
        WaitFor([&] { return (answered = done()) || MixedFrames() >= limit; });
        return answered;
    }

    // Waits until a loud sample (left channel) reaches the output file after frame `from`.
    bool WaitHeard(int64_t from)
    {
        return WaitFor(
            [&]
            {
                std::ifstream in(mDir + "mixed.raw", std::ios::binary);
                in.seekg(from * 4);
                uint8_t frame[4];
                for (; in.read(reinterpret_cast<char*>(frame), 4); ++from)
                    if (std::abs(int16_t(uint16_t(frame[0] << 8 | frame[1]))) > 1000)
                        return true;
                return false;
            });
    }

    // The left and right channels of what the mixer made from frame `from` on, as far as it has
    // reached the output file by now (the mixer goes on writing).
    std::pair<std::vector<int16_t>, std::vector<int16_t>> MixedSince(int64_t from) const
    {
        const int64_t frames = std::max<int64_t>(MixedFrames() - from, 0);
        std::vector<uint8_t> bytes(size_t(frames) * 4);
        std::ifstream in(mDir + "mixed.raw", std::ios::binary);
        in.seekg(from * 4);
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        std::pair<std::vector<int16_t>, std::vector<int16_t>> heard;
        for (size_t i = 0; i < size_t(frames); ++i)
        {
            heard.first.push_back(int16_t(uint16_t(bytes[4 * i] << 8 | bytes[4 * i + 1])));
            heard.second.push_back(int16_t(uint16_t(bytes[4 * i + 2] << 8 | bytes[4 * i + 3])));
        }
        return heard;
    }

    // Closes the mixer and answers the left channel of everything it mixed.
    std::vector<int16_t> MixedLeft()
    {
        CloseAudio();
        std::ifstream in(mDir + "mixed.raw", std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        std::vector<int16_t> left(bytes.size() / 4);
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = int16_t(uint16_t(bytes[4 * i] << 8 | bytes[4 * i + 1]));
        return left;
    }
};

} // namespace Vaxo
