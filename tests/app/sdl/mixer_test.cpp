// The mixer over SDL_mixer, heard through SDL's disk driver: the pitch effect (resampling
// in every device format, pitch and length of what is heard, no stale effect once a chunk
// is freed), sound effects (loading, volumes, pitch ratios, channels reclaimed, pausing)
// and music (the song table, the finished flag, fade times), and the check of damaged
// sound and song files before the mixer decodes them.
#include "app/sdl/MixPitch.h"
#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/SDLSoundInstance.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/sdl/SoundFileCheck.h"
#include "app/sdl/support/DiskAudio.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisenc.h>

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <vector>

// The sanitizer's allocator, in a build that has one, which the C library's count does not see.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace Vaxo
{
namespace
{

// The bytes the program's heap holds (every thread's): the sanitizer's count, else the C library's.
int64_t HeapInUse()
{
    if (__sanitizer_get_current_allocated_bytes != nullptr)
        return int64_t(__sanitizer_get_current_allocated_bytes());
    const struct mallinfo2 heap = mallinfo2();
    return int64_t(heap.uordblks + heap.hblkhd);
}

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
// past the chunk's own length, and ratios are clamped (a ratio of 0 would never end). Last,
// the tone looping, raised an octave while it plays.
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
    ASSERT_EQ(Mix_PlayChannelPitched(2, tone, -1), 2);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    Mix_Pitch(2, 131072);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    Mix_HaltChannel(2);
    const std::vector<int16_t> heard = MixedLeft();
    Sound s;
    for (const auto& [ratio, hz, frames] : rows)
    {
        s = FindSound(heard, s.end, 4000);
        EXPECT_NEAR(double(s.Frames()), frames, frames * 0.01 + 40) << ratio;
        EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), hz, hz * 0.01) << ratio;
    }
    s = FindSound(heard, s.end, 4000);
    ASSERT_GT(s.Frames(), size_t(2 * kDiskRate) - 8192);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.first + kDiskRate / 2), 441.0, 4.41);
    EXPECT_NEAR(MeasureFrequency(heard, s.end - kDiskRate / 2, s.end), 882.0, 8.82);
    Mix_FreeChunkPitched(tone);
}

// Whatever a channel plays takes its ratio, a chunk the mixer plays by itself too: a ratio
// set as the play starts, on the idle channel for every later play until changed, halfway
// through a play (the sound rises, so where the play is can be told from its data), and a
// slowed sound that the mixer's own Mix_FreeChunk frees while it plays past its length.
TEST_F(MixPitchTest, PitchesWhatTheMixerPlaysByItself)
{
    Mix_Chunk* tone = LoadTone("tone.wav", kDiskRate);
    Mix_Chunk* freed = LoadTone("freed.wav", kDiskRate);
    WriteToneWav(mDir + "rising.wav", 441, 5 * kDiskRate, true);
    Mix_Chunk* rising = Mix_LoadWAV((mDir + "rising.wav").c_str());
    ASSERT_TRUE(tone != nullptr && freed != nullptr && rising != nullptr);
    auto finish = [this](int channel)
    {
        ASSERT_TRUE(WaitFor([channel] { return Mix_Playing(channel) == 0; }));
        ASSERT_TRUE(WaitMixed(16384)); // a gap of silence before the next play
    };
    SDL_LockAudio(); // nothing is mixed between the two calls
    ASSERT_EQ(Mix_PlayChannel(4, tone, 0), 4);
    ASSERT_EQ(Mix_Pitch(4, 98304), 1);
    SDL_UnlockAudio();
    finish(4);
    ASSERT_EQ(Mix_Pitch(5, 131072), 1);
    for (int ratio : {131072, 131072, 65536})
    {
        Mix_Pitch(5, ratio);
        ASSERT_EQ(Mix_PlayChannel(5, tone, 0), 5);
        finish(5);
    }
    Mix_Pitch(6, 32768);
    ASSERT_EQ(Mix_PlayChannel(6, freed, 0), 6);
    ASSERT_TRUE(WaitMixed(8192));
    Mix_FreeChunk(freed);
    finish(6);
    ASSERT_EQ(Mix_PlayChannel(7, rising, 0), 7);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    Mix_Pitch(7, 131072);
    finish(7);

    const std::vector<int16_t> heard = MixedLeft();
    Sound s;
    // Hz and frames of each sound, in the order played.
    const std::pair<double, double> sounds[] = {
        {661.5, 29400}, {882.0, 22050}, {882.0, 22050}, {441.0, 44100}, {220.5, 88200}};
    for (const auto& [hz, frames] : sounds)
    {
        s = FindSound(heard, s.end, 4000);
        EXPECT_NEAR(double(s.Frames()), frames, frames * 0.01 + 40) << hz;
        EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), hz, hz * 0.01) << hz;
    }
    // Five seconds, the rest from where the ratio came on at twice the speed.
    s = FindSound(heard, s.end, 4000);
    const int64_t before = 2 * int64_t(s.Frames()) - 5 * kDiskRate;
    ASSERT_GE(before, kDiskRate - 4096);
    ASSERT_LE(before, 4 * kDiskRate);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.first + size_t(before) - 2048), 441.0, 4.41);
    EXPECT_NEAR(MeasureFrequency(heard, s.first + size_t(before) + 2048, s.end), 882.0, 8.82);
    Mix_FreeChunk(tone);
    Mix_FreeChunk(rising);
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

// Sound files whole and damaged. A WAV file's format fields start at 20 (channels 22, rate 24,
// block align 32, bits 34); with a 16-byte format the data length is at 40.
using Bytes = std::vector<uint8_t>;

Bytes Patched(Bytes bytes, size_t at, uint64_t value, int width) // little-endian
{
    for (int i = 0; i < width; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (8 * i));
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Chunk(const char* id, const Bytes& body) // with the pad byte of an odd length
{
    return Patched(Bytes(id, id + 4) + Bytes(4), 4, body.size(), 4) + body + Bytes(body.size() % 2);
}

Bytes Riff(const Bytes& chunks)
{
    return Patched(Chunk("RIFF", Bytes{'W', 'A', 'V', 'E'} + chunks), 4, chunks.size() + 4, 4);
}

// Patterned data; each ADPCM block starts with 14 zero bytes (predictors and indexes 0).
Bytes Wav(uint16_t encoding, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t align,
          const Bytes& extra = {}, size_t dataBytes = 1024)
{
    Bytes data(dataBytes);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = encoding != 1 && i % align < 14 ? 0 : uint8_t(i * 37);
    const Bytes fmt = Patched(Patched(Patched(Bytes(16), 0, encoding | channels << 16, 4), 4, rate, 4), 12,
                              align | bits << 16, 4);
    return Riff(Chunk("fmt ", fmt + extra) + Chunk("data", data));
}

const Bytes kPcm16 = Wav(1, 1, 44100, 16, 2);
const Bytes kFmtBody(kPcm16.begin() + 20, kPcm16.begin() + 36);
const Bytes kData = Chunk("data", Bytes(64, 1));
const Bytes kIma = Wav(0x11, 1, 22050, 4, 256, {2, 0, 249, 1}); // 505 samples a block
const Bytes kMsExtra = {32, 0, 244, 1, 7, 0, // extra bytes, 500 samples a block, 7 coefficient pairs:
                        0,  1, 0,   0, 0, 2, 0,   255, 0,  0,   0,   0, 192, 0,
                        64, 0, 240, 0, 0, 0, 204, 1,   48, 255, 136, 1, 24,  255};
const Bytes kMs = Wav(2, 2, 22050, 4, 512, kMsExtra);
// Mono 8-bit at 1000 Hz grows 128 times on conversion: this length wraps the int to 1 KiB.
Bytes WrapsConverter()
{
    return Wav(1, 1, 1000, 8, 1, {}, 33554440);
}

// Every page of an Ogg file, one after another from the start, given its checksum again.
Bytes WithPageChecksums(Bytes ogg)
{
    for (size_t page = 0; page + 27 <= ogg.size();)
    {
        size_t end = page + 27 + ogg[page + 26];
        for (size_t i = page + 27; i < page + 27 + ogg[page + 26]; ++i)
            end += ogg[i];
        end = std::min(end, ogg.size());
        uint32_t crc = 0;
        ogg = Patched(ogg, page + 22, 0, 4);
        for (size_t i = page; i < end; ++i)
            for (uint32_t bit = 0, byte = uint32_t(ogg[i]) << 24; bit < 8; ++bit, byte <<= 1)
                crc = (crc ^ byte) & 0x80000000u ? crc << 1 ^ 0x04C11DB7u : crc << 1;
        ogg = Patched(ogg, page + 22, crc, 4);
        page = end;
    }
    return ogg;
}

// A checked-in Ogg Vorbis file, a value patched in and the checksums made right again.
Bytes OggFile(const std::string& name, size_t at = 0, uint64_t value = 0, int width = 0)
{
    std::ifstream in(std::string(VAXO_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return WithPageChecksums(Patched(Bytes(std::istreambuf_iterator<char>(in), {}), at, value, width));
}

// The checked-in Ogg Vorbis tone (mono, 8000 Hz): pages at 0 (channels at 39, rate at 40), 58
// and 2375 (granule position at 2381).
Bytes Ogg(size_t at = 0, uint64_t value = 0, int width = 0)
{
    return OggFile("tone441.ogg", at, value, width);
}

// A short tone, 441 Hz left and 882 Hz right, from two encoders at three settings.
const char* const kOggLowest = "oggenc_q-1_stereo_44k.ogg";
const char* const kOggHighest = "oggenc_q10_stereo_48k.ogg";
const char* const kOggFfmpeg = "ffmpeg_vorbis_stereo_22k.ogg";

Bytes Le(uint64_t value, int width)
{
    return Patched(Bytes(size_t(width)), 0, value, width);
}

Bytes Be(uint64_t value, int width) // big-endian
{
    Bytes bytes(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i)
        bytes[size_t(i)] = uint8_t(value >> (8 * (width - 1 - i)));
    return bytes;
}

Bytes Text(const std::string& text, size_t width) // padded with zero bytes
{
    Bytes bytes(text.begin(), text.end());
    bytes.resize(width);
    return bytes;
}

// Vorbis fields, least significant bit first.
class BitWriter
{
public:
    BitWriter& Put(uint64_t value, int bits)
    {
        for (int i = 0; i < bits; ++i, ++mBits)
        {
            if (mBits % 8 == 0)
                mBytes.push_back(0);
            mBytes.back() |= uint8_t((i < 64 ? value >> i & 1 : 0) << (mBits % 8));
        }
        return *this;
    }
    BitWriter& Put(const char* text)
    {
        for (; *text != 0; ++text)
            Put(uint8_t(*text), 8);
        return *this;
    }
    const Bytes& Written() const { return mBytes; }

private:
    Bytes mBytes;
    size_t mBits = 0;
};

constexpr uint32_t kSerial = 0x5EED; // the stream serial number of pages written here

Bytes OggPage(uint32_t sequence, uint8_t flags, uint64_t granule, const std::vector<Bytes>& packets,
              uint32_t serial = kSerial)
{
    Bytes lacing;
    Bytes body;
    for (const Bytes& packet : packets)
    {
        lacing = lacing + Bytes(packet.size() / 255, 255) + Bytes{uint8_t(packet.size() % 255)};
        body = body + packet;
    }
    return WithPageChecksums(Text("OggS", 4) + Bytes{0, flags} + Le(granule, 8) + Le(serial, 4) +
                             Le(sequence, 4) + Le(0, 4) + Bytes{uint8_t(lacing.size())} + lacing + body);
}

// A tiny Vorbis stream written field by field at 8000 Hz, blocks of 256 samples: a class book
// of one code, a stage book, one floor of two posts and no books, one residue of one class
// read in one stage with the stage book, one mapping, one mode; then 40 audio packets of a
// flat floor and all-zero residue codes (silence). The stage book's lattice, when it has one,
// has 0 or 1 dimensions; the big book's holds a value of 0 for each of its dimensions. The
// class book may have more entries, unused but the first, and the residue more classes, read in
// no stage.
struct TinyVorbis
{
    uint8_t channels;
    uint32_t residueType;
    uint32_t stageDim;
    uint32_t stageLookup;               // 1: a lattice of values, 2: values for each code and dimension
    std::vector<uint32_t> stageLengths; // the stage book's code lengths
    uint32_t bigBookLength;             // when not 0, one more book, read by nothing: codes of that length
    Bytes extraPacket;                  // after the audio packets
    uint32_t bigBookEntries;            // 0: 2^bigBookLength, which fills the tree
    uint32_t bigBookDim;                // 1 but for a lattice of no dimension
    uint32_t bigBookLookup;             // 0, or 1: a lattice
    Bytes comment = Text("\x03vorbis", 7) + Le(0, 8) + Bytes{1}; // no vendor, no comments
    uint32_t classBookDim = 1;
    uint32_t classBookEntries = 1;
    uint32_t classes = 1;
    uint32_t serial = kSerial;

    TinyVorbis(uint8_t channels = 1, uint32_t residueType = 0, uint32_t stageDim = 1,
               uint32_t stageLookup = 1, std::vector<uint32_t> stageLengths = {1, 1},
               uint32_t bigBookLength = 0, Bytes extraPacket = {}, uint32_t bigBookEntries = 0,
               uint32_t bigBookDim = 1, uint32_t bigBookLookup = 0)
        : channels(channels), residueType(residueType), stageDim(stageDim), stageLookup(stageLookup),
          stageLengths(std::move(stageLengths)), bigBookLength(bigBookLength),
          extraPacket(std::move(extraPacket)), bigBookEntries(bigBookEntries), bigBookDim(bigBookDim),
          bigBookLookup(bigBookLookup)
    {
    }

    Bytes File() const
    {
        BitWriter setup;
        setup.Put(5, 8).Put("vorbis").Put(bigBookLength != 0 ? 2 : 1, 8); // books - 1
        // A book: sync pattern, dimensions, entries, lengths (here one by one, all used), lookup.
        setup.Put(0x564342, 24).Put(classBookDim, 16).Put(classBookEntries, 24).Put(0, 1);
        if (classBookEntries == 1)
            setup.Put(0, 1).Put(0, 5).Put(0, 4); // one 1-bit code
        else // the first entry used, of one bit, the others flagged unused
            setup.Put(1, 1).Put(1, 1).Put(0, 5).Put(0, int(classBookEntries - 1)).Put(0, 4);
        setup.Put(0x564342, 24).Put(stageDim, 16).Put(stageLengths.size(), 24).Put(0, 2);
        for (uint32_t length : stageLengths)
            setup.Put(length - 1, 5);
        setup.Put(stageLookup, 4).Put(0, 32).Put(0, 32).Put(0, 4).Put(0, 1); // values 0, of 1 bit
        setup.Put(0, int(stageLengths.size() * stageDim));
        if (bigBookLength != 0) // lengths in rising order: one count, of as many bits as entries needs
        {
            const uint32_t entries = bigBookEntries != 0 ? bigBookEntries : 1u << bigBookLength;
            int countBits = 0;
            for (uint32_t v = entries; v != 0; v >>= 1)
                ++countBits;
            setup.Put(0x564342, 24)
                .Put(bigBookDim, 16)
                .Put(entries, 24)
                .Put(1, 1)
                .Put(bigBookLength - 1, 5)
                .Put(entries, countBits)
                .Put(bigBookLookup, 4);
            if (bigBookLookup == 1) // minimum, step, value bits, no sequence, then the values
            {
                uint32_t values = 0; // the most whose power of dimensions the entries hold
                while (bigBookDim > 0 && std::pow(values + 1.0, bigBookDim) <= entries)
                    ++values;
                setup.Put(0, 32).Put(0, 32).Put(0, 4).Put(0, 1).Put(0, int(values));
            }
        }
        setup.Put(0, 6).Put(0, 16);                               // time placeholder
        setup.Put(0, 6).Put(1, 16).Put(0, 5).Put(0, 2).Put(7, 4); // floor 1, posts at 0 and 128
        setup.Put(0, 6)
            .Put(residueType, 16)
            .Put(0, 24)
            .Put(128 * channels, 24)
            .Put(15, 24)
            .Put(classes - 1, 6)
            .Put(0, 8);
        setup.Put(1, 3).Put(0, 1); // class 0: stage 0 reads book 1
        for (uint32_t c = 1; c < classes; ++c)
            setup.Put(0, 3).Put(0, 1);
        setup.Put(1, 8);
        setup.Put(0, 6).Put(0, 16).Put(0, 4).Put(0, 24);                     // mapping 0: floor 0, residue 0
        setup.Put(0, 6).Put(0, 1).Put(0, 16).Put(0, 16).Put(0, 8).Put(1, 1); // mode, framing bit
        BitWriter audio;
        audio.Put(0, 1);
        for (uint8_t c = 0; c < channels; ++c)
            audio.Put(1, 1).Put(100, 8).Put(100, 8);
        audio.Put(0, 64).Put(0, 64).Put(0, 64);
        const Bytes id =
            Text("\x01vorbis", 7) + Le(0, 4) + Bytes{channels} + Le(8000, 4) + Bytes(12) + Bytes{0x88, 1};
        std::vector<Bytes> audioPackets(40, audio.Written());
        if (!extraPacket.empty())
            audioPackets.push_back(extraPacket);
        return OggPage(0, 2, 0, {id}, serial) + OggPage(1, 0, 0, {comment, setup.Written()}, serial) +
               OggPage(2, 4, 39 * 128, audioPackets, serial);
    }
};

const Bytes kTiny = TinyVorbis{}.File();
const Bytes kTinyFirstPage(kTiny.begin(), kTiny.begin() + 58); // the identification header's page

// The tiny stream with these fields in its comment header, after its type and "vorbis".
Bytes TinyWithComment(const Bytes& fields)
{
    TinyVorbis tiny;
    tiny.comment = Text("\x03vorbis", 7) + fields;
    return tiny.File();
}

// The tiny stream with one more book, a lattice of 2^15 codes in `dims` dimensions, for which
// the decoder builds 128 KiB of values a dimension.
Bytes TinyWithLattice(uint32_t dims, uint32_t serial = kSerial)
{
    TinyVorbis tiny{1, 0, 1, 1, {1, 1}, 15, {}, 0, dims, 1};
    tiny.serial = serial;
    return tiny.File();
}

// The tiny stream whose residue has `classes` classes and codes them in `dims` dimensions: the
// decoder builds a look-up of classes^dims pieces, of 40 bytes each for 4 dimensions.
Bytes TinyWithClassCombinations(uint32_t classes, uint32_t dims)
{
    TinyVorbis tiny;
    tiny.classes = classes;
    tiny.classBookDim = dims;
    tiny.classBookEntries = uint32_t(std::pow(classes, dims));
    return tiny.File();
}

Bytes Repeated(const Bytes& piece, size_t count)
{
    Bytes bytes;
    for (size_t i = 0; i < count; ++i)
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    return bytes;
}

// The tiny stream followed by `count` capture patterns, each with 60 bytes of 0xFF: pages that
// claim 64 KiB and whose checksums are wrong.
Bytes TinyThenFalsePages(size_t count)
{
    return kTiny + Repeated(Text("OggS", 4) + Bytes(60, 0xFF), count);
}

// The tiny stream with an audio packet of `count` capture patterns.
Bytes TinyWithCapturesInAPage(size_t count)
{
    return TinyVorbis{1, 0, 1, 1, {1, 1}, 0, Repeated(Text("OggS", 4), count)}.File();
}

// The tiny stream of serial number 1 and one of serial number 2 grouped in one link: their first
// pages, then their header pages, then their audio pages.
Bytes TinyGrouped()
{
    TinyVorbis one;
    TinyVorbis two;
    one.serial = 1;
    two.serial = 2;
    const Bytes a = one.File();
    const Bytes b = two.File();
    const size_t headers = 58 + 27 + a[58 + 26]; // after the setup's page header and lacing
    size_t audio = headers;
    for (size_t i = 58 + 27; i < headers; ++i)
        audio += a[i];
    auto part = [](const Bytes& file, size_t from, size_t to)
    { return Bytes(file.begin() + ptrdiff_t(from), file.begin() + ptrdiff_t(to)); };
    return part(a, 0, 58) + part(b, 0, 58) + part(a, 58, audio) + part(b, 58, audio) +
           part(a, audio, a.size()) + part(b, audio, b.size());
}

// A file cut short in its last page.
Bytes CutShort(const Bytes& bytes)
{
    return Bytes(bytes.begin(), bytes.end() - 100);
}

// Where each page of an Ogg file starts, one after another from the start.
std::vector<size_t> PageStarts(const Bytes& ogg)
{
    std::vector<size_t> starts;
    for (size_t page = 0; page + 27 <= ogg.size();)
    {
        starts.push_back(page);
        size_t end = page + 27 + ogg[page + 26];
        for (size_t i = page + 27; i < page + 27 + ogg[page + 26]; ++i)
            end += ogg[i];
        page = end;
    }
    return starts;
}

uint32_t PageSerial(const Bytes& ogg, size_t page)
{
    return uint32_t(ogg[page + 14] | ogg[page + 15] << 8 | ogg[page + 16] << 16 |
                    uint32_t(ogg[page + 17]) << 24);
}

// The file followed by empty pages of its stream `serial` (numbered on from `sequence`), so many
// that `steps` of them start more than 64 KiB after the last page of the stream `played`: the
// pages libvorbisfile's open steps back over, one by one, looking for that page.
Bytes ThenEmptyPages(Bytes file, uint32_t played, uint32_t serial, uint32_t sequence, size_t steps)
{
    size_t last = 0;
    for (size_t page : PageStarts(file))
        if (PageSerial(file, page) == played)
            last = page;
    for (size_t counted = 0; counted < steps; ++sequence)
    {
        counted += file.size() - last > 65536 ? 1 : 0;
        file = file + OggPage(sequence, 0, 0, {}, serial);
    }
    return file;
}

// A link of `streams` tiny streams, of serial numbers `from` and up: their first pages, their
// header pages, then the audio of the first (played) one only.
Bytes TinyLink(uint32_t streams, uint32_t from = 1)
{
    Bytes first;
    Bytes headers;
    Bytes audio;
    for (uint32_t serial = from; serial < from + streams; ++serial)
    {
        TinyVorbis tiny;
        tiny.serial = serial;
        const Bytes file = tiny.File();
        const std::vector<size_t> pages = PageStarts(file);
        first = first + Bytes(file.begin(), file.begin() + ptrdiff_t(pages[1]));
        headers = headers + Bytes(file.begin() + ptrdiff_t(pages[1]), file.begin() + ptrdiff_t(pages[2]));
        if (serial == from)
            audio = Bytes(file.begin() + ptrdiff_t(pages[2]), file.end());
    }
    return first + headers + audio;
}

// One link of two streams as a muxer writes them: their first pages, their header pages, then
// their audio pages in the order of their time. The second's pages carry no end of stream.
Bytes Multiplexed(const Bytes& a, const Bytes& b)
{
    const std::vector<size_t> pa = PageStarts(a);
    const std::vector<size_t> pb = PageStarts(b);
    auto page = [](const Bytes& file, const std::vector<size_t>& starts, size_t i)
    {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : file.size();
        return Bytes(file.begin() + ptrdiff_t(starts[i]), file.begin() + ptrdiff_t(end));
    };
    auto time = [](const Bytes& file, size_t at)
    {
        uint64_t granule = 0;
        for (int i = 7; i >= 0; --i)
            granule = granule << 8 | file[at + 6 + size_t(i)];
        return double(granule) / (file[40] | file[41] << 8 | file[42] << 16); // the first page's rate
    };
    Bytes link = page(a, pa, 0) + page(b, pb, 0) + page(a, pa, 1) + page(b, pb, 1);
    for (size_t i = 2, j = 2; i < pa.size() || j < pb.size();)
        if (j == pb.size() || (i < pa.size() && time(a, pa[i]) <= time(b, pb[j])))
            link = link + page(a, pa, i++);
        else
            link = link + Patched(page(b, pb, j++), 5, 0, 1);
    return WithPageChecksums(link);
}

// One link of Ogg Vorbis made with libvorbis's encoder, of serial number `serial`: `seconds` of a
// tone of `hz` (0: silence), an octave higher on the right channel, at quality -0.1 to 1, each
// channel at its `loudness` (of full scale; 0: silent). The audio begins a page of its own, as
// Vorbis asks, unless `audioOnHeaderPage`.
Bytes EncodeVorbis(double hz, double seconds, int32_t rate, int32_t channels, float quality, uint32_t serial,
                   bool audioOnHeaderPage = false, std::array<float, 2> loudness = {0.5f, 0.5f})
{
    vorbis_info info;
    vorbis_info_init(&info);
    EXPECT_EQ(vorbis_encode_init_vbr(&info, channels, rate, quality), 0) << rate << " " << quality;
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, int(serial));
    ogg_packet headers[3];
    vorbis_analysis_headerout(&dsp, &comment, &headers[0], &headers[1], &headers[2]);
    for (ogg_packet& header : headers)
        ogg_stream_packetin(&stream, &header);
    Bytes file;
    ogg_page page;
    auto take = [&]
    {
        file = file + Bytes(page.header, page.header + page.header_len) +
               Bytes(page.body, page.body + page.body_len);
    };
    while (!audioOnHeaderPage && ogg_stream_flush(&stream, &page) != 0)
        take();
    const int64_t frames = std::llround(seconds * rate);
    for (int64_t done = 0, count = 0;; done += count)
    {
        count = std::min<int64_t>(frames - done, 4096);
        if (count > 0)
        {
            float** buffer = vorbis_analysis_buffer(&dsp, int(count));
            for (int32_t c = 0; c < channels; ++c)
                for (int64_t i = 0; i < count; ++i)
                    buffer[c][i] = float(loudness[size_t(c)] *
                                         std::sin(2 * M_PI * hz * (c + 1) * double(done + i) / rate));
        }
        vorbis_analysis_wrote(&dsp, int(count));
        while (vorbis_analysis_blockout(&dsp, &block) == 1)
        {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0)
            {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0)
                    take();
            }
        }
        if (count == 0)
            break;
    }
    while (ogg_stream_flush(&stream, &page) != 0)
        take();
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return file;
}

// A link's tone and length, as EncodeVorbis makes it.
struct Tone
{
    double hz;
    double seconds;
    int32_t rate = 44100;
    int32_t channels = 2;
    float quality = 0.4f;
    std::array<float, 2> loudness = {0.5f, 0.5f}; // left (a mono link's one channel) and right
};

// A chained file: the tones one after another, each a link with a serial number of its own.
Bytes Chained(const std::vector<Tone>& tones)
{
    Bytes file;
    for (size_t i = 0; i < tones.size(); ++i)
        file = file + EncodeVorbis(tones[i].hz, tones[i].seconds, tones[i].rate, tones[i].channels,
                                   tones[i].quality, uint32_t(100 + i), false, tones[i].loudness);
    return file;
}

// `count` links of distinct tones (200 Hz and up, 10 Hz apart), each of a quarter second, at the
// settings that setting(i) gives link i.
std::vector<Tone> ManyLinks(int32_t count, const std::function<Tone(int32_t)>& setting)
{
    std::vector<Tone> tones;
    for (int32_t i = 0; i < count; ++i)
    {
        Tone tone = setting(i);
        tone.hz = 200 + 10 * i;
        tone.seconds = 0.25;
        tones.push_back(tone);
    }
    return tones;
}

// Encoder settings that change from link to link: rates, channel counts and qualities.
Tone MixedSetting(int32_t link)
{
    const int32_t rates[] = {8000, 22050, 44100, 48000, 96000};
    return Tone{0, 0, rates[link % 5], 1 + link % 2, float(link % 12 - 1) / 10};
}

// Chained files of many distinct links, whose headers libvorbisfile keeps all at once (the
// decoder's look-ups only for the link it decodes): 48 links of the highest quality at 44.1 kHz
// stereo, 80 of the lowest at 8 kHz mono, 64 and 120 of settings that change from link to link
// (libvorbisfile takes 4.8, 6.0, 5.6 and 10.6 MB for them).
const std::vector<Tone>& ManyLinksTones(int which)
{
    static const std::vector<Tone> tones[] = {
        ManyLinks(48,
                  [](int32_t) {
                      return Tone{0, 0, 44100, 2, 1.0f};
                  }),
        ManyLinks(80,
                  [](int32_t) {
                      return Tone{0, 0, 8000, 1, -0.1f};
                  }),
        ManyLinks(64, MixedSetting),
        ManyLinks(120, MixedSetting),
    };
    return tones[which];
}

const Bytes& ManyLinksFile(int which)
{
    static const Bytes files[] = {Chained(ManyLinksTones(0)), Chained(ManyLinksTones(1)),
                                  Chained(ManyLinksTones(2)), Chained(ManyLinksTones(3))};
    return files[which];
}

// Two tone streams in one link, the second going on after the first (the played one) ends, then
// empty pages of the second that libvorbisfile's open steps back over `steps` times.
Bytes SecondStreamGoingOn(size_t steps)
{
    const Bytes second = EncodeVorbis(882, 1, 44100, 2, 0.4f, 2);
    return ThenEmptyPages(Multiplexed(EncodeVorbis(441, 0.5, 44100, 2, 0.4f, 1), second), 1, 2,
                          uint32_t(PageStarts(second).size()), steps);
}

// 10 minutes of silence at 8 kHz mono, a few kilobytes: past what a sound effect may hold.
const Bytes& LongSilence()
{
    static const Bytes silence = EncodeVorbis(0, 600, 8000, 1, -0.1f, 1);
    return silence;
}

// An AIFF chunk, with the pad byte of an odd length.
Bytes BeChunk(const char* id, const Bytes& body)
{
    return Bytes(id, id + 4) + Be(body.size(), 4) + body + Bytes(body.size() % 2);
}

// A whole number as AIFF's 80-bit float.
Bytes Extended(uint64_t value)
{
    int exponent = 63;
    while (exponent > 0 && !(value >> exponent & 1))
        --exponent;
    return Be(16383 + uint64_t(exponent), 2) + Be(value << (63 - exponent), 8);
}

Bytes Comm(uint16_t channels, uint32_t frames, uint16_t bits, uint64_t rate)
{
    return BeChunk("COMM", Be(channels, 2) + Be(frames, 4) + Be(bits, 2) + Extended(rate));
}

// Patterned samples after the offset and block size fields, the samples starting `offset`
// bytes further on.
Bytes Ssnd(size_t bytes, uint32_t offset = 0)
{
    Bytes data(bytes);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 37);
    return BeChunk("SSND", Be(offset, 4) + Be(0, 4) + data);
}

Bytes Aiff(const Bytes& chunks, const char* form = "AIFF")
{
    return BeChunk("FORM", Bytes(form, form + 4) + chunks);
}

const Bytes kAiffChunks = Comm(1, 512, 16, 44100) + Ssnd(1024);
const Bytes kAiff = Aiff(kAiffChunks);
// A VOC file's header, no blocks.
const Bytes kVoc = Text("Creative Voice File\x1a", 20) + Le(26, 2) + Le(0x10A, 2) + Le(0x1129, 2);
const Bytes kFlac = Text("fLaC", 4) + Be(0x80000022, 4) + Bytes(34);
const Bytes kMp3 = Bytes{0xFF, 0xFB, 0x90, 0x64} + Bytes(413); // MPEG-1 layer 3, 128 kbit/s, 44.1 kHz

// Tiny songs for the mixer's other readers, each a note of a looping 32-byte sawtooth (a
// beat of a piano, for MIDI).
Bytes Sawtooth(int step)
{
    Bytes wave(32);
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = uint8_t(i * size_t(step));
    return wave;
}

Bytes TinyMod() // ProTracker, 4 channels, 31 samples
{
    Bytes samples = Text("s", 22) + Be(16, 2) + Bytes{0, 64} + Be(0, 2) + Be(16, 2); // lengths in words
    for (int i = 1; i < 31; ++i)
        samples = samples + Bytes(28) + Be(1, 2);
    Bytes pattern(1024);
    pattern[0] = 0x01; // sample 1 at period 428 (C-2)
    pattern[1] = 0xAC;
    pattern[2] = 0x10;
    return Text("tiny", 20) + samples + Bytes{1, 127} + Bytes(128) + Text("M.K.", 4) + pattern + Sawtooth(16);
}

Bytes TinyXm() // FastTracker 2, one instrument of one sample
{
    const Bytes song = Le(1, 2) + Le(0, 2) + Le(2, 2) + Le(1, 2) + Le(1, 2) + Le(1, 2) + Le(6, 2) +
                       Le(125, 2) + Bytes(256); // orders, restart, channels, patterns, instruments,
                                                // flags, speed, tempo, order table
    const Bytes notes = {0x83, 49, 1, 0x80};    // C-4 of instrument 1; channel 2 empty
    const Bytes pattern = Le(9, 4) + Bytes{0} + Le(1, 2) + Le(notes.size(), 2) + notes;
    const Bytes instrument = Text("i", 22) + Bytes{0} + Le(1, 2) + Le(40, 4) + Bytes(96 + 48 + 48 + 14) +
                             Le(0, 2) + Bytes(22); // keys to sample 1, no envelopes, no fade
    const Bytes sample = Le(16, 4) + Le(0, 4) + Le(16, 4) + Bytes{64, 0, 1, 128, 0, 0} + Text("s", 22);
    Bytes deltas(16, 16); // 8-bit samples stored as differences
    deltas[0] = 0;
    return Text("Extended Module: tiny", 37) + Bytes{0x1A} + Text("vaxo", 20) + Le(0x104, 2) +
           Le(4 + song.size(), 4) + song + pattern + Le(4 + instrument.size(), 4) + instrument + sample +
           deltas;
}

Bytes TinyS3m() // Scream Tracker 3: header, sample at 0x70, pattern at 0xD0, samples at 0x120
{
    Bytes header = Text("tiny", 28) + Bytes{0x1A, 16, 0, 0} + Le(2, 2) + Le(1, 2) + Le(1, 2) + Le(0, 2) +
                   Le(0x1320, 2) + Le(2, 2) + Text("SCRM", 4) + Bytes{64, 6, 125, 0xB0, 0, 0} + Bytes(10) +
                   Bytes{0, 8} + Bytes(30, 255) + Bytes{0, 255} + Le(0x70 >> 4, 2) + Le(0xD0 >> 4, 2);
    // An 8-bit looping sample.
    const Bytes sample = Bytes{1} + Bytes(12) + Bytes{0} + Le(0x120 >> 4, 2) + Le(32, 4) + Le(0, 4) +
                         Le(32, 4) + Bytes{64, 0, 0, 1} + Le(8363, 4) + Bytes(12) + Text("s", 28) +
                         Text("SCRS", 4);
    const Bytes rows = Bytes{0x20, 60, 1} + Bytes(64); // C-5 of sample 1 in channel 0; 64 row ends
    header.resize(0x70);
    Bytes song = header + sample;
    song.resize(0xD0);
    song = song + Le(rows.size() + 2, 2) + rows;
    song.resize(0x120);
    return song + Sawtooth(8);
}

Bytes TinyIt() // Impulse Tracker, one sample and no instruments
{
    const Bytes header = Text("IMPM", 4) + Text("tiny", 26) + Le(0x0410, 2) + Le(2, 2) + Le(0, 2) + Le(1, 2) +
                         Le(1, 2) + Le(0x0214, 2) + Le(0x0214, 2) + Le(9, 2) + Le(0, 2) +
                         Bytes{128, 48, 6, 125, 128, 0} + Bytes(10) + Bytes(64, 32) + Bytes(64, 64) +
                         Bytes{0, 255}; // orders, then the sample's and the pattern's offsets
    const uint32_t sampleAt = uint32_t(header.size()) + 8;
    const Bytes rows = Bytes{0x81, 0x03, 60, 1} + Bytes(64); // C-5 of sample 1 in channel 0
    const uint32_t samplesAt = sampleAt + 80 + 8 + uint32_t(rows.size());
    const Bytes sample = Text("IMPS", 4) + Bytes(12) + Bytes{0, 64, 0x11, 64} + Text("s", 26) + Bytes{1, 32} +
                         Le(32, 4) + Le(0, 4) + Le(32, 4) + Le(8363, 4) + Bytes(8) + Le(samplesAt, 4) +
                         Bytes(4);
    return header + Le(sampleAt, 4) + Le(sampleAt + 80, 4) + sample + Le(rows.size(), 2) + Le(64, 2) +
           Bytes(4) + rows + Sawtooth(8);
}

Bytes TinyMidi() // one track: middle C for a beat (96 ticks)
{
    const Bytes track = {0, 0x90, 60, 100, 96, 0x80, 60, 64, 0, 0xFF, 0x2F, 0};
    return Text("MThd", 4) + Be(6, 4) + Be(0, 2) + Be(1, 2) + Be(96, 2) + Text("MTrk", 4) +
           Be(track.size(), 4) + track;
}

// Damaged files are refused before the mixer sees them, as sound effects and as songs.
TEST(CheckSoundFile, RefusesWhatTheMixerCannotDecodeSafely)
{
    using P = SoundFileProblem;
    const std::tuple<const char*, Bytes, P, P> rows[] = {
        // what, bytes, as a sound effect, as a song
        {"16-bit mono", kPcm16, P::None, P::None},
        {"8-bit stereo, lowest rate", Wav(1, 2, 1000, 8, 2), P::None, P::None},
        {"highest rate", Wav(1, 2, 192000, 16, 4), P::None, P::None},
        {"IMA ADPCM", kIma, P::None, P::Encoding},
        {"MS ADPCM", kMs, P::None, P::Encoding},
        {"Ogg Vorbis", Ogg(), P::None, P::None},
        {"LIST before the format", Riff(Chunk("LIST", Bytes(6)) + Chunk("fmt ", kFmtBody) + kData), P::None,
         P::None},
        {"0 channels", Patched(kPcm16, 22, 0, 2), P::Channels, P::Channels},
        {"256 channels", Patched(kPcm16, 22, 256, 2), P::Channels, P::Channels},
        {"rate 999", Patched(kPcm16, 24, 999, 4), P::Rate, P::Rate},
        {"rate 192001", Patched(kPcm16, 24, 192001, 4), P::Rate, P::Rate},
        {"24 bits", Patched(kPcm16, 34, 24, 2), P::Encoding, P::Encoding},
        {"A-law", Patched(kPcm16, 20, 6, 2), P::Encoding, P::Encoding},
        {"IMA block align 0", Patched(kIma, 32, 0, 2), P::BlockAlign, P::Encoding},
        {"MS block align 0", Patched(kMs, 32, 0, 2), P::BlockAlign, P::Encoding},
        {"IMA block of more samples than it holds", Patched(kIma, 38, 506, 2), P::BlockAlign, P::Encoding},
        {"data length near 2^32", Patched(kPcm16, 40, 0xFFFFFFF0, 4), P::Truncated, P::Truncated},
        {"data one byte past the end", Patched(kPcm16, 40, 1025, 4), P::Truncated, P::Truncated},
        {"no data chunk", Riff(Chunk("fmt ", kFmtBody)), P::Truncated, P::Truncated},
        {"short format", Riff(Chunk("fmt ", Bytes(14)) + kData), P::Truncated, P::Truncated},
        {"odd format, padded", Riff(Chunk("fmt ", kFmtBody + Bytes(1)) + kData), P::ChunkLayout,
         P::ChunkLayout},
        {"other chunk first", Riff(Chunk("junk", Bytes(4)) + Chunk("fmt ", kFmtBody) + kData), P::ChunkLayout,
         P::ChunkLayout},
        {"AIFF", Chunk("FORM", {'A', 'I', 'F', 'F'}), P::UnknownFormat, P::Truncated}, // no chunks
        {"AIFF, 16-bit mono", kAiff, P::UnknownFormat, P::None},
        {"AIFF, 8-bit mono, odd sound chunk last", Aiff(Comm(1, 511, 8, 22050) + Ssnd(511)), P::UnknownFormat,
         P::None},
        {"AIFF, samples first, lowest rate", Aiff(Ssnd(1024) + Comm(2, 256, 16, 1000)), P::UnknownFormat,
         P::None},
        {"AIFF, highest rate", Aiff(Comm(2, 256, 16, 192000) + Ssnd(1024)), P::UnknownFormat, P::None},
        {"AIFF of 0 channels", Aiff(Comm(0, 512, 16, 44100) + Ssnd(1024)), P::UnknownFormat, P::Channels},
        {"AIFF at 999 Hz", Aiff(Comm(1, 512, 16, 999) + Ssnd(1024)), P::UnknownFormat, P::Rate},
        {"AIFF at 192001 Hz", Aiff(Comm(1, 512, 16, 192001) + Ssnd(1024)), P::UnknownFormat, P::Rate},
        {"AIFF at 2^30 Hz", Aiff(Comm(1, 512, 16, 1 << 30) + Ssnd(1024)), P::UnknownFormat, P::Rate},
        {"AIFF at 2^40 Hz", Aiff(Comm(1, 512, 16, 1ull << 40) + Ssnd(1024)), P::UnknownFormat, P::Rate},
        {"AIFF at 44100 x 2^256 Hz", Patched(kAiff, 28, 0x41, 1), P::UnknownFormat, P::Rate},
        {"AIFF of 24 bits", Aiff(Comm(1, 512, 24, 44100) + Ssnd(1536)), P::UnknownFormat, P::Encoding},
        {"AIFF of more samples than it holds", Aiff(Comm(1, 513, 16, 44100) + Ssnd(1024)), P::UnknownFormat,
         P::Truncated},
        {"AIFF samples offset past the end", Aiff(Comm(1, 512, 16, 44100) + Ssnd(1024, 2)), P::UnknownFormat,
         P::Truncated},
        {"AIFF cut short", Bytes(kAiff.begin(), kAiff.end() - 1), P::UnknownFormat, P::Truncated},
        {"AIFF without samples", Aiff(Comm(1, 0, 16, 44100)), P::UnknownFormat, P::Truncated},
        {"AIFF short format", Aiff(BeChunk("COMM", Bytes(16)) + Ssnd(1024)), P::UnknownFormat, P::Truncated},
        {"AIFF short sound chunk, last", Aiff(Comm(1, 0, 16, 44100) + BeChunk("SSND", Bytes(2))),
         P::UnknownFormat, P::Truncated},
        {"AIFF odd chunk first", Aiff(BeChunk("NAME", Bytes(3)) + kAiffChunks), P::UnknownFormat,
         P::ChunkLayout},
        {"AIFF chunk of length 0", Aiff(BeChunk("ANNO", {}) + kAiffChunks), P::UnknownFormat, P::ChunkLayout},
        {"AIFF-C", Aiff(kAiffChunks, "AIFC"), P::UnknownFormat, P::UnknownFormat},
        {"VOC", kVoc, P::UnknownFormat, P::UnknownFormat},
        {"empty", {}, P::UnknownFormat, P::UnknownFormat},
        {"Ogg at 50 Hz", Ogg(40, 50, 4), P::Rate, P::Rate},
        {"Ogg of 0 channels", Ogg(39, 0, 1), P::Channels, P::Channels},
        {"Ogg chained to a stream at 10^8 Hz", Ogg() + Ogg(40, 100000000, 4), P::Rate, P::Rate},
        {"Ogg of another codec", Ogg(29, 'x', 1), P::UnknownFormat, P::UnknownFormat},
        // The length a file claims is a claim: a sound is decoded up to a bound of its own.
        {"Ogg claiming 2^40 samples", Ogg(2381, 1ull << 40, 8), P::None, P::None},
        {"Ogg, oggenc -q -1, stereo 44.1 kHz", OggFile(kOggLowest), P::None, P::None},
        {"Ogg, oggenc -q 10, stereo 48 kHz", OggFile(kOggHighest), P::None, P::None},
        {"Ogg, ffmpeg's own encoder, stereo 22.05 kHz", OggFile(kOggFfmpeg), P::None, P::None},
        {"Ogg, a lattice value changed", OggFile(kOggLowest, 2420, 0x7A, 1), P::None, P::None},
        {"Ogg, code lengths of book 0 changed", OggFile(kOggLowest, 222, 0xE9, 1), P::Codebook, P::Codebook},
        {"Ogg, code lengths of book 26 changed", OggFile(kOggLowest, 2642, 0x7A, 1), P::Codebook,
         P::Codebook},
        {"Ogg, code lengths of book 29 changed", OggFile(kOggHighest, 1796, 0xA4, 1), P::Codebook,
         P::Codebook},
        {"Ogg, code lengths of book 2 changed", OggFile(kOggFfmpeg, 213, 0xE9, 1), P::Codebook, P::Codebook},
        {"Ogg, a codebook without its sync pattern", Ogg(199, 'X', 1), P::VorbisHeader, P::VorbisHeader},
        {"tiny Vorbis", TinyVorbis{}.File(), P::None, P::None},
        {"tiny, stereo, residue 2", TinyVorbis{2, 2}.File(), P::None, P::None},
        {"tiny, a stage book of one 1-bit code", TinyVorbis{1, 0, 1, 1, {1}}.File(), P::None, P::None},
        {"tiny, a book of 2^16 codes", TinyVorbis{1, 0, 1, 1, {1, 1}, 16}.File(), P::None, P::None},
        {"tiny, stage code lengths over-filling the tree", TinyVorbis{1, 0, 1, 1, {1, 1, 1}}.File(),
         P::Codebook, P::Codebook},
        {"tiny, stage code lengths under-filling the tree", TinyVorbis{1, 0, 1, 1, {1, 2}}.File(),
         P::Codebook, P::Codebook},
        {"tiny, a lattice stage book of no dimension", TinyVorbis{1, 0, 0, 1}.File(), P::Codebook,
         P::Codebook},
        {"tiny, a stage book of no dimension", TinyVorbis{1, 0, 0, 2}.File(), P::Codebook, P::Codebook},
        {"tiny, a stage book of no dimension, residue 2", TinyVorbis{2, 2, 0, 2}.File(), P::Codebook,
         P::Codebook},
        {"tiny, a book of 2^20 codes", TinyVorbis{1, 0, 1, 1, {1, 1}, 20}.File(), P::Codebook, P::Codebook},
        {"tiny, a book in rising lengths under-filling the tree",
         TinyVorbis{1, 0, 1, 1, {1, 1}, 2, {}, 3}.File(), P::Codebook, P::Codebook},
        {"tiny, a lattice book of no dimension that no residue reads",
         TinyVorbis{1, 0, 1, 1, {1, 1}, 1, {}, 0, 0, 1}.File(), P::Codebook, P::Codebook},
        {"tiny, its comment page said to go on with a packet",
         WithPageChecksums(Patched(kTiny, 58 + 5, 1, 1)), P::OggLayout, P::OggLayout},
        {"tiny, its first page again inside a page", TinyVorbis{1, 0, 1, 1, {1, 1}, 0, kTinyFirstPage}.File(),
         P::OggLayout, P::OggLayout},
        {"tiny, the setup's page numbered 5", WithPageChecksums(Patched(TinyVorbis{}.File(), 58 + 18, 5, 4)),
         P::OggLayout, P::OggLayout},
        {"tiny, cut short in its setup header", Bytes(kTiny.begin(), kTiny.begin() + 100), P::OggLayout,
         P::OggLayout},
        // The identification header as the decoder reads it (at 28: version at 35, block sizes at 56,
        // framing bit at 57).
        {"Ogg of Vorbis version 1", Ogg(35, 1, 4), P::VorbisHeader, P::VorbisHeader},
        {"Ogg, blocks of 64 and 8192 samples", Ogg(56, 0xD6, 1), P::None, P::None},
        {"Ogg, short blocks of 32 samples", Ogg(56, 0x95, 1), P::VorbisHeader, P::VorbisHeader},
        {"Ogg, long blocks of 16384 samples", Ogg(56, 0xE9, 1), P::VorbisHeader, P::VorbisHeader},
        {"Ogg, long blocks shorter than short ones", Ogg(56, 0x8A, 1), P::VorbisHeader, P::VorbisHeader},
        {"Ogg, identification header without its framing bit", Ogg(57, 0, 1), P::VorbisHeader,
         P::VorbisHeader},
        {"tiny, identification header a byte short",
         OggPage(0, 2, 0, {Bytes(kTiny.begin() + 28, kTiny.begin() + 57)}) +
             Bytes(kTiny.begin() + 58, kTiny.end()),
         P::VorbisHeader, P::VorbisHeader},
        // The comment header: a vendor string, a count, each comment's length and text, the framing bit.
        {"tiny, vendor and comments filling the comment header",
         TinyWithComment(Le(4, 4) + Text("vaxo", 4) + Le(2, 4) + Le(3, 4) + Text("a=b", 3) + Le(0, 4) +
                         Bytes{1}),
         P::None, P::None},
        {"tiny, a comment over three segments",
         TinyWithComment(Le(0, 4) + Le(1, 4) + Le(600, 4) + Bytes(600, 'x') + Bytes{1}), P::None, P::None},
        {"tiny, a vendor string past the comment header's end",
         TinyWithComment(Le(9, 4) + Text("vaxo", 4) + Le(0, 4) + Bytes{1}), P::VorbisHeader, P::VorbisHeader},
        {"tiny, more comments than the comment header holds",
         TinyWithComment(Le(0, 4) + Le(2, 4) + Le(0, 4) + Bytes{1}), P::VorbisHeader, P::VorbisHeader},
        {"tiny, a comment running into the framing bit",
         TinyWithComment(Le(0, 4) + Le(1, 4) + Le(4, 4) + Text("a=b", 3) + Bytes{1}), P::VorbisHeader,
         P::VorbisHeader},
        {"tiny, a comment of 2^31 bytes",
         TinyWithComment(Le(0, 4) + Le(1, 4) + Le(0x80000000u, 4) + Bytes{1}), P::VorbisHeader,
         P::VorbisHeader},
        {"tiny, comment header without its framing bit", TinyWithComment(Le(0, 8) + Bytes{0}),
         P::VorbisHeader, P::VorbisHeader},
        {"tiny, comment header without its framing byte", TinyWithComment(Le(0, 8)), P::VorbisHeader,
         P::VorbisHeader},
        // What the decoder allocates for the headers, against 8 MiB: 477,504 bytes and 128 KiB a
        // dimension of the lattice; about 17 KiB and 41 bytes a class combination (its length in the
        // class book, its place in the look-up and its piece of the heap); each stream of a chained
        // file adding its own.
        {"tiny, a lattice of 2^15 codes in 60 dimensions", TinyWithLattice(60), P::None, P::None},
        {"tiny, a lattice of 2^15 codes in 61 dimensions", TinyWithLattice(61), P::HeaderMemory,
         P::HeaderMemory},
        {"tiny, two streams with lattices of 28 dimensions", TinyWithLattice(28) + TinyWithLattice(28, 2),
         P::None, P::None},
        {"tiny, two streams with lattices of 32 dimensions", TinyWithLattice(32) + TinyWithLattice(32, 2),
         P::HeaderMemory, P::HeaderMemory},
        {"tiny, 21 classes coded in 4 dimensions", TinyWithClassCombinations(21, 4), P::None, P::None},
        {"tiny, 22 classes coded in 4 dimensions", TinyWithClassCombinations(22, 4), P::HeaderMemory,
         P::HeaderMemory},
        // What the Ogg reader searches through besides the pages: at most 64 KiB and 16 capture
        // patterns that start no page.
        {"tiny, then 16 false pages", TinyThenFalsePages(16), P::None, P::None},
        {"tiny, then 17 false pages", TinyThenFalsePages(17), P::OggStray, P::OggStray},
        {"tiny, then a false page every 64 bytes for 1 MiB", TinyThenFalsePages(16384), P::OggStray,
         P::OggStray},
        {"tiny, then 64 KiB of zeros", kTiny + Bytes(65536), P::None, P::None},
        {"tiny, then 64 KiB and a byte of zeros", kTiny + Bytes(65537), P::OggStray, P::OggStray},
        {"tiny, then a page of a stream not begun", kTiny + OggPage(0, 0, 0, {Bytes(4)}, 7), P::OggLayout,
         P::OggLayout},
        {"two tiny streams grouped", TinyGrouped(), P::None, P::None},
        {"tiny, 16 capture patterns in an audio packet", TinyWithCapturesInAPage(16), P::None, P::None},
        {"tiny, 17 capture patterns in an audio packet", TinyWithCapturesInAPage(17), P::OggStray,
         P::OggStray},
        {"Ogg, oggenc -q -1, cut short in its last page", CutShort(OggFile(kOggLowest)), P::None, P::None},
        // The pages after the played stream's last page in a link, which libvorbisfile's open steps
        // back over one by one, each step weighed by the link's streams and by its reading of 64 KiB
        // (as much as 64 more streams): at most 2^18, 3,971 steps of 66 for two streams, 2,048 of 128
        // for 64. A page within 64 KiB of the audio's last one costs nothing.
        {"a link of 2 streams, then 3971 steps back", ThenEmptyPages(TinyLink(2), 1, 2, 2, 3971), P::None,
         P::None},
        {"a link of 2 streams, then 3972 steps back", ThenEmptyPages(TinyLink(2), 1, 2, 2, 3972),
         P::OggBackSearch, P::OggBackSearch},
        {"a link of 64 streams, then 2048 steps back", ThenEmptyPages(TinyLink(64), 1, 64, 2, 2048), P::None,
         P::None},
        {"a link of 64 streams, then 2049 steps back", ThenEmptyPages(TinyLink(64), 1, 64, 2, 2049),
         P::OggBackSearch, P::OggBackSearch},
        {"a link of 64 streams, then 2048 steps back, then another link",
         ThenEmptyPages(TinyLink(64), 1, 64, 2, 2048) + TinyWithLattice(1, 99), P::None, P::None},
        {"a link of 64 streams, then 1024 steps back, and another such link, then 1025",
         ThenEmptyPages(TinyLink(64), 1, 64, 2, 1024) + ThenEmptyPages(TinyLink(64, 65), 65, 128, 2, 1025),
         P::OggBackSearch, P::OggBackSearch},
        // libvorbisfile tells links apart by their streams' serial numbers: a link whose stream has
        // a serial number of an earlier link would be taken for a part of that one.
        {"tiny, then a link of a stream of the same serial number", kTiny + TinyLink(1, kSerial),
         P::OggLayout, P::OggLayout},
        {"tiny, then a link of two streams, the second of the same serial number",
         kTiny + TinyLink(2, kSerial - 1), P::OggLayout, P::OggLayout},
        // libvorbisfile hands a later link's page that ends the headers to the decoder twice.
        {"audio on the page of the headers", EncodeVorbis(880, 0.5, 44100, 2, 0.4f, 1, true), P::None,
         P::None},
        {"a link, then one with audio on the page of its headers",
         EncodeVorbis(440, 0.5, 44100, 2, 0.4f, 1) + EncodeVorbis(880, 0.5, 44100, 2, 0.4f, 2, true),
         P::OggLayout, P::OggLayout},
        {"two tone streams, the second going on past the first", SecondStreamGoingOn(0), P::None, P::None},
        {"48 links, oggenc -q 10, 44.1 kHz stereo", ManyLinksFile(0), P::None, P::None},
        {"80 links, oggenc -q -1, 8 kHz mono", ManyLinksFile(1), P::None, P::None},
        {"64 links of mixed settings", ManyLinksFile(2), P::None, P::None},
        {"120 links of mixed settings", ManyLinksFile(3), P::HeaderMemory, P::HeaderMemory},
        {"10 minutes of silence", LongSilence(), P::None, P::None},
        {"WAV growing past 2 GiB", WrapsConverter(), P::TooLong, P::None},
    };
    for (const auto& [what, bytes, effect, song] : rows)
    {
        EXPECT_EQ(CheckSoundFile(bytes.data(), bytes.size(), SoundFileUse::Effect), effect) << what;
        EXPECT_EQ(CheckSoundFile(bytes.data(), bytes.size(), SoundFileUse::Song), song) << what;
    }
    // Mix_LoadMUS picks its reader by the name's extension, before it looks at the bytes. MIDI
    // and modules reach it unchanged, FLAC and MP3 never, by name or by content.
    const Bytes& flac = kFlac;
    const Bytes& mp3 = kMp3;
    const Bytes id3 = Text("ID3", 3) + Bytes{4, 0, 0, 0, 0, 0, 0} + mp3;
    for (const auto& [name, bytes, problem] :
         {std::tuple("a.WAV", kPcm16, P::None),
          {"a.ogg", kPcm16, P::UnknownFormat},
          {"a.mid", kPcm16, P::None}, // the MIDI reader's to refuse
          {"a.Ogg", Ogg(), P::None},
          {"v1.2/a", Ogg(), P::None},
          {"a.wav", Ogg(), P::UnknownFormat},
          {"a.mod", TinyMod(), P::None},
          {"a", TinyMod(), P::None},
          {"a.XM", TinyXm(), P::None},
          {"a.s3m", TinyS3m(), P::None},
          {"a.it", TinyIt(), P::None},
          {"a.mid", TinyMidi(), P::None},
          {"a.MIDI", TinyMidi(), P::None},
          {"a.kar", TinyMidi(), P::None},
          {"a", TinyMidi(), P::None},
          {"a.mid", flac, P::None},
          {"a.midi", flac, P::None},
          {"a.KAR", flac, P::None},
          {"a.flac", flac, P::UnsafeFormat},
          {"a.FLAC", kPcm16, P::UnsafeFormat},
          {"a", flac, P::UnsafeFormat},
          {"a.xm", flac, P::UnsafeFormat},
          {"a.wav", flac, P::UnknownFormat},
          {"a.mp3", mp3, P::UnsafeFormat},
          {"a.MP3", TinyMod(), P::UnsafeFormat},
          {"a.mpg", mp3, P::UnsafeFormat},
          {"a.mpeg", mp3, P::UnsafeFormat},
          {"a.mad", mp3, P::UnsafeFormat},
          {"a.mpg", TinyMod(), P::UnsafeFormat}, // by the name alone
          {"a.MPEG", TinyMod(), P::UnsafeFormat},
          {"a.mad", TinyMod(), P::UnsafeFormat},
          {"a", mp3, P::UnsafeFormat},
          {"a", id3, P::UnsafeFormat},
          {"a.mod", id3, P::UnsafeFormat},
          {"a", Patched(mp3, 2, 0xF0, 1), P::None}, // bit rate 15: no MP3
          {"a", Patched(mp3, 1, 0xF9, 1), P::None}, // layer 4: no MP3
          {"a", Patched(mp3, 2, 0x00, 1), P::None}, // bit rate 0: no MP3
          {"a", Patched(mp3, 2, 0x9C, 1), P::None}, // sample rate 3: no MP3
          {"a.ogg", mp3, P::UnknownFormat},
          {"x.mp3/a", TinyMod(), P::None},
          {"a.aiff", kAiff, P::None},
          {"a.wav", kAiff, P::None},
          {"a", kAiff, P::None},
          {"a.ogg", kAiff, P::UnknownFormat},
          {"a.wav", Aiff(Comm(0, 512, 16, 44100) + Ssnd(1024)), P::Channels},
          {"a.voc", kVoc, P::UnknownFormat},
          {"a", kVoc, P::UnknownFormat},
          {"a", Bytes(11, 1), P::UnknownFormat}}) // too short to tell
        EXPECT_EQ(CheckSongFile(name, bytes.data(), bytes.size()), problem) << name;
}

// The words of a refusal name what the bytes are and, where a song's name picks a reader that
// cannot read them, what the name says.
TEST(CheckSoundFile, RefusalSaysWhatTheFileIsAndWhatItsNameSays)
{
    const SoundFileUse effect = SoundFileUse::Effect;
    const SoundFileUse song = SoundFileUse::Song;
    const std::tuple<const char*, Bytes, SoundFileUse, const char*> rows[] = {
        {"click.wav", kFlac, effect, "FLAC data, which is not played"},
        {"click.wav", kVoc, effect, "VOC data, which is not played"},
        {"click.wav", kAiff, effect, "AIFF data, which is not played as a sound effect"},
        {"click.ogg", TinyMidi(), effect, "MIDI data, which is not played as a sound effect"},
        {"click.wav", TinyMod(), effect, "neither WAV nor Ogg Vorbis data"},
        {"click.wav", {}, effect, "an empty file"},
        {"theme.wav", {}, song, "an empty file"},
        {"theme", {}, song, "an empty file"},
        {"click.ogg", Ogg(29, 'x', 1), effect, "Ogg data of a codec other than Vorbis, which is not played"},
        {"click.ogg", Ogg() + Ogg(29, 'x', 1), effect,
         "Ogg data with a stream of a codec other than Vorbis, which is not played"},
        {"music/theme.wav", Ogg(), song, "Ogg Vorbis data in a file named .wav"},
        {"music/theme.wav", kMp3, song, "MP3 data, which is not played"},
        {"music/theme.wav", kFlac, song, "FLAC data, which is not played"},
        {"music/theme.ogg", kPcm16, song, "WAV data in a file named .ogg"},
        {"theme.OGG", kAiff, song, "AIFF data in a file named .OGG"},
        {"theme.wav", TinyMidi(), song, "MIDI data in a file named .wav"},
        {"theme.mp3", kMp3, song, "MP3 data, which is not played"},
        {"theme.mp3", TinyMod(), song, "data in a file named .mp3, which is read as MP3 and not played"},
        {"theme.flac", kPcm16, song, "WAV data in a file named .flac, which is read as FLAC and not played"},
        {"theme", kVoc, song, "VOC data, which is not played"},
        {"theme.wav", Aiff(kAiffChunks, "AIFC"), song, "AIFF-C data, which is not played"},
        {"theme.wav", TinyMod(), song, "neither WAV nor AIFF data in a file named .wav"},
        {"theme.ogg", TinyMod(), song, "no Ogg Vorbis data in a file named .ogg"},
        {"theme", Bytes(11, 1), song, "too short to tell what it holds"},
        {"theme.ogg", Ogg(29, 'x', 1), song, "Ogg data of a codec other than Vorbis, which is not played"},
        {"theme.ogg", Ogg(40, 50, 4), song, "sample rate out of range"},
    };
    for (const auto& [name, bytes, use, words] : rows)
    {
        const SoundFileProblem problem = use == song ? CheckSongFile(name, bytes.data(), bytes.size())
                                                     : CheckSoundFile(bytes.data(), bytes.size(), use);
        EXPECT_EQ(SoundFileRefusal(problem, name, bytes.data(), bytes.size(), use), words) << name;
    }
}

// Every accepted rate builds SDL's converter within its 9 steps (a tenth overruns its list),
// for every sample layout, at both device rates the framework opens.
TEST(CheckSoundFile, AcceptedRatesConvertWithinNineSteps)
{
    for (int device : {44100, 22050})
        for (Uint16 format : {AUDIO_U8, AUDIO_S16LSB, AUDIO_S8, AUDIO_S16MSB}) // WAV's, then AIFF's
            for (Uint8 channels : {1, 2})
                for (int rate = kSoundMinRate; rate <= kSoundMaxRate; ++rate)
                {
                    SDL_AudioCVT cvt;
                    SDL_BuildAudioCVT(&cvt, format, channels, rate, AUDIO_S16MSB, 2, device);
                    ASSERT_LE(cvt.filter_index, 9) << device << " " << format << " " << rate;
                }
}

// The name the program's lines begin with, as a program renamed by the guide's recipe names itself.
const char* const kProgram = "Acme MyGame";

class SDLSoundTest : public DiskAudioTest
{
protected:
    std::unique_ptr<SDLSoundManager> mManager;

    void SetUp() override
    {
        DiskAudioTest::SetUp();
        mManager = std::make_unique<SDLSoundManager>(kProgram);
        ASSERT_TRUE(mManager->Initialized());
    }

    // Writes frames of a 441 Hz tone as name.wav and loads it under id.
    void LoadTone(unsigned id, const std::string& name, int32_t frames)
    {
        WriteToneWav(mDir + name + ".wav", 441, frames);
        ASSERT_TRUE(mManager->LoadSound(id, mDir + name));
    }

    SDLSoundInstance* Instance(unsigned id)
    {
        return static_cast<SDLSoundInstance*>(mManager->GetSoundInstance(id));
    }
};

// Ids of 256 and above are refused everywhere; names come without extension, ".wav"
// tried before ".ogg".
TEST_F(SDLSoundTest, LoadsWavBeforeOggUnderIdsBelow256)
{
    const std::string ogg = std::string(VAXO_TEST_DATA_DIR) + "/tone441.ogg";
    std::filesystem::copy_file(ogg, mDir + "both.ogg");
    std::filesystem::copy_file(ogg, mDir + "oggonly.ogg");
    LoadTone(0, "both", 1000);
    ASSERT_TRUE(mManager->LoadSound(1, mDir + "oggonly"));
    EXPECT_FALSE(mManager->LoadSound(2, mDir + "neither"));
    EXPECT_EQ(mManager->mSourceSounds[0]->mMixChunk->alen, 1000u * 4); // the WAV, made stereo
    Mix_Chunk* direct = Mix_LoadWAV(ogg.c_str());
    EXPECT_EQ(mManager->mSourceSounds[1]->mMixChunk->alen, direct->alen);
    Mix_FreeChunk(direct);
    for (unsigned id : {256u, 1000u, UINT_MAX})
    {
        EXPECT_FALSE(mManager->LoadSound(id, mDir + "both")) << id;
        EXPECT_FALSE(mManager->SetBaseVolume(id, 0.5) || mManager->SetBasePan(id, 10)) << id;
        EXPECT_EQ(mManager->GetSoundInstance(id), nullptr) << id;
        mManager->ReleaseSound(id);
    }
    EXPECT_EQ(mManager->GetNumSounds(), 2);
}

// A failed load keeps the name recorded for an id without a sound: the next request for
// the file loads again instead of answering the empty id.
TEST_F(SDLSoundTest, LoadByNameRetriesAfterAFailedLoad)
{
    const std::string name = mDir + "late";
    EXPECT_EQ(mManager->LoadSound(name), -1);
    EXPECT_EQ(mManager->mSourceFileNames[255], name);
    WriteToneWav(name + ".wav", 441, 100);
    EXPECT_EQ(mManager->LoadSound(name), 255);
    EXPECT_NE(mManager->mSourceSounds[255], nullptr);
    EXPECT_EQ(mManager->LoadSound(name), 255); // found, not loaded again
    EXPECT_EQ(mManager->GetNumSounds(), 1);
}

// The files that crashed or froze the mixer fail to load, as sound effects and as songs;
// good ones of each kind load just as the mixer alone loads them.
TEST_F(SDLSoundTest, DamagedFilesFailToLoadAndGoodOnesLoadAsBefore)
{
    const Bytes aiff = Bytes{'F', 'O', 'R', 'M', 0, 0, 0,   46,  'A', 'I', 'F', 'F', 'C',  'O',  'M',  'M',
                             0,   0,   0,   18,  0, 0, 0,   0,   0,   4,   0,   16,  0x40, 0x0E, 0xAC, 0x44,
                             0,   0,   0,   0,   0, 0, 'S', 'S', 'N', 'D', 0,   0,   0,    8} +
                       Bytes(8); // 0 channels
    using P = SoundFileProblem;
    // bytes, why refused as a sound effect, as a song
    const std::tuple<Bytes, P, P> damaged[] = {
        {Patched(kPcm16, 22, 0, 2), P::Channels, P::Channels},
        {Patched(kPcm16, 22, 512, 2), P::Channels, P::Channels},
        {Patched(kPcm16, 24, 0, 4), P::Rate, P::Rate},
        {Wav(1, 1, 345, 8, 1), P::Rate, P::Rate},
        {Wav(1, 1, 5644800, 8, 1), P::Rate, P::Rate},
        {Patched(kIma, 32, 0, 2), P::BlockAlign, P::Encoding},
        {Patched(kMs, 32, 0, 2), P::BlockAlign, P::Encoding},
        {Patched(kPcm16, 40, 0xFFFFFFF0, 4), P::Truncated, P::Truncated},
        {Riff(Chunk("fmt ", kFmtBody + Bytes(1)) + kData), P::ChunkLayout, P::ChunkLayout},
        {aiff, P::UnknownFormat, P::Channels},
        {Ogg(40, 50, 4), P::Rate, P::Rate},
        {Ogg(40, 100000000, 4), P::Rate, P::Rate},
        {OggFile(kOggLowest, 222, 0xE9, 1), P::Codebook, P::Codebook},
        {OggFile(kOggHighest, 1796, 0xA4, 1), P::Codebook, P::Codebook},
        {OggFile(kOggFfmpeg, 213, 0xE9, 1), P::Codebook, P::Codebook},
        {Ogg(56, 0x95, 1), P::VorbisHeader, P::VorbisHeader}, // blocks of 32 samples
        {TinyWithComment(Le(0, 4) + Le(2, 4) + Le(0, 4) + Bytes{1}), P::VorbisHeader, P::VorbisHeader},
        {TinyWithLattice(61), P::HeaderMemory, P::HeaderMemory},
        {TinyThenFalsePages(16384), P::OggStray, P::OggStray},
    };
    auto write = [this](const std::string& name, const Bytes& bytes, const char* extension = ".wav")
    {
        std::ofstream(mDir + name + extension)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return mDir + name;
    };
    auto refused = [](const std::string& path, const std::string& reason, const char* heard)
    {
        return kProgram + (": refused sound file \"" + path + "\": " + reason + "; the ") + heard +
               (heard == std::string("song") ? " stays silent\n" : " is not loaded\n");
    };
    SDLMusicInterface music(kProgram);
    for (size_t i = 0; i < std::size(damaged); ++i)
    {
        const auto& [bytes, asEffect, asSong] = damaged[i];
        const char* extension = bytes[0] == 'O' ? ".ogg" : ".wav";
        const std::string name = write("damaged" + std::to_string(i), bytes, extension);
        // Each refusal is named once, with its reason; playing what was not loaded says nothing.
        testing::internal::CaptureStderr();
        EXPECT_FALSE(mManager->LoadSound(0, name)) << i;
        EXPECT_FALSE(music.LoadMusic(int(i), name + extension)) << i;
        EXPECT_EQ(SDL_GetError(), name + extension + ": " + SoundFileProblemText(asSong)) << i;
        EXPECT_EQ(mManager->GetSoundInstance(0), nullptr);
        music.PlayMusic(int(i), 0, true);
        // The one row of another format than the check's: AIFF, a song's format.
        const std::string effectReason = asEffect == P::UnknownFormat
                                             ? "AIFF data, which is not played as a sound effect"
                                             : SoundFileProblemText(asEffect);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  refused(name + extension, effectReason, "sound") +
                      refused(name + extension, SoundFileProblemText(asSong), "song"))
            << i;
    }
    for (const auto& [extension, bytes, what] :
         {std::tuple(".flac", kFlac, "FLAC data"), {".mp3", kMp3, "MP3 data"}})
    {
        const std::string path = write("song", bytes, extension) + extension;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(music.LoadMusic(40, path));
        music.PlayMusic(40, 0, true);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  refused(path, std::string(what) + ", which is not played", "song"));
    }
    // Too long to convert in one piece, but a song is streamed.
    EXPECT_FALSE(mManager->LoadSound(0, write("long", WrapsConverter())));
    EXPECT_TRUE(music.LoadMusic(0, mDir + "long.wav"));
    const Bytes good[] = {kPcm16,
                          Wav(1, 2, 22050, 8, 2),
                          kIma,
                          kMs,
                          Ogg(),
                          OggFile(kOggLowest),
                          OggFile(kOggHighest),
                          OggFile(kOggFfmpeg)};
    for (size_t i = 0; i < std::size(good); ++i)
    {
        const std::string name = write("good" + std::to_string(i), good[i]);
        ASSERT_TRUE(mManager->LoadSound(1, name)) << i;
        const Mix_Chunk* loaded = mManager->mSourceSounds[1]->mMixChunk;
        Mix_Chunk* direct = Mix_LoadWAV((name + ".wav").c_str());
        ASSERT_NE(direct, nullptr);
        EXPECT_EQ(Bytes(loaded->abuf, loaded->abuf + loaded->alen),
                  Bytes(direct->abuf, direct->abuf + direct->alen));
        Mix_FreeChunk(direct);
    }
    // Songs for the mixer's other readers load, by name or by their bytes, and are heard.
    const std::pair<const char*, Bytes> songs[] = {
        {"tiny.mod", TinyMod()},
        {"mod", TinyMod()},
        {"tiny.xm", TinyXm()},
        {"tiny.s3m", TinyS3m()},
        {"tiny.it", TinyIt()},
        {"tiny.mid", TinyMidi()},
        {"midi", TinyMidi()},
        {"tiny.aiff", kAiff},
        {"aiff.wav", kAiff},
        {"lowest.ogg", OggFile(kOggLowest)},
        {"highest.ogg", OggFile(kOggHighest)},
        {"ffmpeg.ogg", OggFile(kOggFfmpeg)},
    };
    for (size_t i = 0; i < std::size(songs); ++i)
    {
        const auto& [name, bytes] = songs[i];
        std::ofstream(mDir + name)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ASSERT_TRUE(music.LoadMusic(int(20 + i), mDir + name)) << name << ": " << Mix_GetError();
        ASSERT_TRUE(WaitMixed(4096)); // the last song's last buffer out
        const int64_t from = MixedFrames();
        music.PlayMusic(int(20 + i), 0, true);
        EXPECT_TRUE(WaitHeard(from)) << name;
        music.StopAllMusic();
    }
}

// One channel (0 left, 1 right) of a loaded sound, as the device plays it: whole frames of signed
// 16-bit big-endian stereo from the sound's start.
std::vector<int16_t> ChannelOf(const Mix_Chunk* chunk, size_t channel)
{
    std::vector<int16_t> samples(chunk->alen / 4);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            int16_t(uint16_t(chunk->abuf[4 * i + 2 * channel] << 8 | chunk->abuf[4 * i + 2 * channel + 1]));
    return samples;
}

std::vector<int16_t> LeftOf(const Mix_Chunk* chunk)
{
    return ChannelOf(chunk, 0);
}

// A row of OggSoundsHoldWhatTheirFilesDecodeTo.
struct OggSoundRow
{
    const char* what;
    Bytes file;
    std::vector<Tone> tones; // its links' tones
    int device = kDiskRate;  // the rate the device is opened at
};

// A row of the chained file of these tones.
OggSoundRow ChainedRow(const char* what, const std::vector<Tone>& tones, int device = kDiskRate)
{
    return {what, Chained(tones), tones, device};
}

// A stereo or mono tone of so many frames at rate, each channel at its loudness.
Tone Lasting(double hz, int64_t frames, int32_t rate, int32_t channels = 2,
             std::array<float, 2> loudness = {0.5f, 0.5f})
{
    return {hz, double(frames) / rate, rate, channels, 0.4f, loudness};
}

// The first frame of left and right from `from` on where either side is not silent; their size when
// none is.
size_t FirstHeard(const std::vector<int16_t>& left, const std::vector<int16_t>& right, size_t from = 0)
{
    size_t f = from;
    while (f < left.size() && left[f] == 0 && right[f] == 0)
        ++f;
    return f;
}

// Checks that `rounds` plays of the sound (its sides soundLeft and soundRight), one after another,
// are heard exactly from frame `start` of left and right.
void ExpectRoundsHeard(const std::vector<int16_t>& left, const std::vector<int16_t>& right, size_t start,
                       const std::vector<int16_t>& soundLeft, const std::vector<int16_t>& soundRight,
                       int rounds, const std::string& what)
{
    const size_t length = soundLeft.size();
    ASSERT_GE(left.size(), start + length * size_t(rounds)) << what;
    for (int round = 0; round < rounds; ++round)
    {
        const size_t at = start + length * size_t(round);
        size_t same = 0;
        while (same < length && left[at + same] == soundLeft[same] && right[at + same] == soundRight[same])
            ++same;
        EXPECT_EQ(same, length) << what << ", round " << round << " differs from its frame " << same;
    }
}

// Checks that the tones, one after another from frame `start` of left and right, are heard as they
// were encoded on a device of rate `device`: each link's pitch on both sides (a stereo link an octave
// higher on the right) and loudness, times `volume`. Answers the frames they take.
double ExpectHeardAsEncoded(const std::vector<int16_t>& left, const std::vector<int16_t>& right, size_t start,
                            const std::vector<Tone>& tones, int device, const std::string& what,
                            double volume = 1.0)
{
    double at = double(start);
    for (size_t link = 0; link < tones.size(); ++link)
    {
        // Converted as a WAV of the link's rate and channels is: SDL 1.2 only doubles or halves
        // a rate, so one between those steps is heard off pitch. Frequencies are measured as
        // though the device ran at kDiskRate.
        const Tone& tone = tones[link];
        SDL_AudioCVT cvt;
        SDL_BuildAudioCVT(&cvt, AUDIO_S16LSB, Uint8(tone.channels), tone.rate, AUDIO_S16MSB, 2, device);
        const double frames = tone.seconds * tone.rate * tone.channels / 2 * cvt.len_ratio;
        const double hz = tone.hz * tone.seconds * kDiskRate / frames;
        const size_t end = std::min(left.size(), size_t(at + frames) - 500);
        const size_t first = std::min(end, size_t(at) + 500);
        const std::vector<int16_t>* sides[] = {&left, &right};
        for (size_t side = 0; side < 2; ++side)
        {
            const std::string where =
                what + ", link " + std::to_string(link) + (side == 0 ? ", left" : ", right");
            // A mono link is heard alike on both sides.
            const double loudness = tone.loudness[tone.channels == 2 ? side : 0] * volume;
            // A stereo link has its tone an octave higher on the right.
            if (loudness > 0)
            {
                EXPECT_NEAR(MeasureFrequency(*sides[side], first, end), side == 0 ? hz : hz * tone.channels,
                            hz / 100)
                    << where;
            }
            // As loud as encoded (the lowest qualities overshoot by up to a fifth; a silent side keeps
            // the coder's faint noise); a link read from inside a frame is noise at full scale, one
            // with left and right swapped is heard on the wrong side.
            int peak = 0;
            for (size_t f = first; f < end; ++f)
                peak = std::max(peak, std::abs(int((*sides[side])[f])));
            EXPECT_NEAR(peak, 32768 * loudness, 12000 * loudness + 64) << where;
        }
        at += frames;
    }
    return at - double(start);
}

// An Ogg Vorbis sound holds what its file decodes to, every link of a chained file in order, each
// converted from its own rate and channels; never what the file claims, nor samples left
// unwritten. Each row's sound is compared, link by link, with the tones encoded in it, as the
// mixer plays it (each link's pitch, loudness and channels), and so is what plays of the file as a
// song (a chained one the framework plays, each link starting on a whole frame; SDL_mixer's own
// player went on from inside a frame).
TEST_F(SDLSoundTest, OggSoundsHoldWhatTheirFilesDecodeTo)
{
    const OggSoundRow rows[] = {
        // what, the file, its links' tones (the quality does not matter here), the device's rate
        // (kDiskRate unless given)
        // The tone's blocks hold 2,048 samples, which its last page's true granule position trims
        // to 2,000; a larger claim trims nothing.
        {"a tone claiming 2^29 - 1 samples", Ogg(2381, 536870911, 8), {{441, 0.256, 8000, 1}}},
        {"a tone claiming twice its length", Ogg(2381, 4000, 8), {{441, 0.256, 8000, 1}}},
        {"a tone", Ogg(), {{441, 0.25, 8000, 1}}},
        {"two links, 440 Hz then 880 Hz", Chained({{440, 1}, {880, 1}}), {{440, 1}, {880, 1}}},
        {"two links of other rates and channels",
         Chained({{440, 1, 22050, 1}, {880, 0.5, 48000, 2}}),
         {{440, 1, 22050, 1}, {880, 0.5, 48000, 2}}},
        {"48 links, oggenc -q 10, 44.1 kHz stereo", ManyLinksFile(0), ManyLinksTones(0)},
        {"80 links, oggenc -q -1, 8 kHz mono", ManyLinksFile(1), ManyLinksTones(1)},
        {"64 links of mixed settings", ManyLinksFile(2), ManyLinksTones(2)},
        {"a second stream going on past the audio, 3971 steps back", SecondStreamGoingOn(3971), {{441, 0.5}}},
        // SDL halves a rate of 88.2 kHz and more on this device, and of an odd count of frames (or
        // one not a multiple of 4, halved twice) leaves a part-frame at the end: what follows must
        // still start on a whole frame, or it plays as noise or with left and right swapped.
        ChainedRow("an odd count of frames at 88.2 kHz, then a link",
                   {Lasting(440, 22051, 88200), {441, 0.25}}),
        ChainedRow("an odd count of frames at 96 kHz, then a link",
                   {Lasting(440, 24001, 96000), {441, 0.25}}),
        ChainedRow("4n + 2 frames at 176.4 kHz, then a link", {Lasting(440, 44102, 176400), {441, 0.25}}),
        ChainedRow("an odd count of frames at 192 kHz, then a link",
                   {Lasting(440, 48001, 192000), {441, 0.25}}),
        ChainedRow("odd counts at 88.2 kHz and at 192 kHz mono, then a link",
                   {Lasting(440, 22051, 88200), Lasting(550, 48003, 192000, 1), {441, 0.25}}),
        // The device the framework falls back to halves 44.1 and 48 kHz.
        ChainedRow("an odd count of frames at 44.1 kHz, then a link, on the 22,050 Hz device",
                   {Lasting(440, 11025, 44100), {441, 0.25}}, 22050),
        ChainedRow("an odd count of frames at 48 kHz mono, then a link, on the 22,050 Hz device",
                   {Lasting(440, 12001, 48000, 1), {441, 0.25, 48000}}, 22050),
        // One link whose end, once converted, lies inside a frame: a looping song's next round must
        // still start on a whole frame. A tone on one side shows a swap, a quiet one the noise.
        ChainedRow("a tone on the right only, 19,179 frames at 96 kHz",
                   {Lasting(441, 19179, 96000, 2, {0, 0.5f})}),
        ChainedRow("a quiet tone, an odd count of frames at 88.2 kHz",
                   {Lasting(441, 22051, 88200, 2, {0.02f, 0.02f})}),
        ChainedRow("a tone on the left only, 4n + 2 frames at 192 kHz",
                   {Lasting(441, 48002, 192000, 2, {0.5f, 0})}),
        ChainedRow("an odd count of frames at 88.2 kHz, then a link, on the 22,050 Hz device",
                   {Lasting(440, 22051, 88200), {441, 0.25}}, 22050),
        ChainedRow("a tone on the right only, an odd count of frames at 44.1 kHz, on the 22,050 Hz device",
                   {Lasting(441, 11025, 44100, 2, {0, 0.5f})}, 22050),
        ChainedRow("a quiet mono tone, an odd count of frames at 48 kHz, on the 22,050 Hz device",
                   {Lasting(441, 12001, 48000, 1, {0.02f, 0})}, 22050),
        ChainedRow("a quiet tone, 4n + 2 frames at 96 kHz, on the 22,050 Hz device",
                   {Lasting(441, 24002, 96000, 2, {0.02f, 0.02f})}, 22050),
    };
    auto music = std::make_unique<SDLMusicInterface>(kProgram);
    int device = kDiskRate;
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const auto& [what, bytes, tones, rowDevice] = rows[i];
        if (rowDevice != device) // opened here at the row's rate, the manager and player find it open
        {
            music.reset();
            mManager.reset();
            CloseAudio();
            ASSERT_EQ(Mix_OpenAudio(rowDevice, AUDIO_S16MSB, 2, 1024), 0);
            mManager = std::make_unique<SDLSoundManager>(kProgram);
            music = std::make_unique<SDLMusicInterface>(kProgram);
            device = rowDevice;
        }
        const std::string name = mDir + "row" + std::to_string(i);
        std::ofstream(name + ".ogg")
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        ASSERT_TRUE(mManager->LoadSound(unsigned(i), name)) << what;
        const std::vector<int16_t> left = ChannelOf(mManager->mSourceSounds[i]->mMixChunk, 0);
        const std::vector<int16_t> right = ChannelOf(mManager->mSourceSounds[i]->mMixChunk, 1);
        const double at =
            ExpectHeardAsEncoded(left, right, 0, tones, device, std::string(what) + " as a sound");
        EXPECT_NEAR(double(left.size()), at, at / 1000 + 64) << what;
        ASSERT_TRUE(music->LoadMusic(int(i), name + ".ogg")) << what;
        // Played once and looping: each round the sound's frames exactly, from the round's first
        // frame (found where the sound is first heard), and nothing after the last.
        for (const int rounds : {1, 3})
        {
            const std::string song = std::string(what) + (rounds == 1 ? " as a song" : " looping");
            ASSERT_TRUE(WaitMixed(4096)); // the last song's last buffer out
            const int64_t from = MixedFrames();
            music->PlayMusic(int(i), 0, rounds == 1);
            if (rounds == 1)
            {
                ASSERT_TRUE(WaitForWithin(int64_t(at) + kDiskRate, [&] { return !music->IsPlaying(int(i)); }))
                    << song;
            }
            else
            {
                ASSERT_TRUE(WaitMixed(int64_t(left.size()) * rounds + 8192));
            }
            music->StopAllMusic();
            ASSERT_TRUE(WaitMixed(4096)); // all of it in the file
            const auto [songLeft, songRight] = MixedSince(from);
            const size_t heard = FirstHeard(songLeft, songRight);
            const size_t sound = FirstHeard(left, right);
            ASSERT_GE(heard, sound) << song;
            const size_t start = heard - sound;
            ExpectHeardAsEncoded(songLeft, songRight, start, tones, device, song);
            ExpectRoundsHeard(songLeft, songRight, start, left, right, rounds, song);
            if (rounds == 1)
            {
                EXPECT_EQ(FirstHeard(songLeft, songRight, std::min(start + left.size(), songLeft.size())),
                          songLeft.size())
                    << song << ": heard after its end";
            }
        }
    }
}

// A damaged page (a bit flipped, its checksum left, so that the reader skips it) costs the sound
// what that page held: the audio after it is the clean file's, up to its end.
TEST_F(SDLSoundTest, AnOggSoundGoesOnPastADamagedPage)
{
    // Audio pages of about 0.8 s each, from the third page on; the fourth is damaged.
    const Bytes clean = EncodeVorbis(441, 3, 44100, 2, 1.0f, 1);
    const std::vector<size_t> pages = PageStarts(clean);
    ASSERT_GE(pages.size(), 6u);
    Bytes damaged = clean;
    damaged[pages[3] + 100] ^= 0x10;
    std::ofstream(mDir + "clean.ogg")
        .write(reinterpret_cast<const char*>(clean.data()), std::streamsize(clean.size()));
    std::ofstream(mDir + "damaged.ogg")
        .write(reinterpret_cast<const char*>(damaged.data()), std::streamsize(damaged.size()));
    ASSERT_TRUE(mManager->LoadSound(0, mDir + "clean"));
    ASSERT_TRUE(mManager->LoadSound(1, mDir + "damaged"));
    const std::vector<int16_t> whole = LeftOf(mManager->mSourceSounds[0]->mMixChunk);
    const std::vector<int16_t> gap = LeftOf(mManager->mSourceSounds[1]->mMixChunk);
    ASSERT_EQ(whole.size(), size_t(3 * kDiskRate));
    // The damaged page held less than a second; the last second is after it.
    EXPECT_GT(gap.size(), whole.size() - kDiskRate);
    EXPECT_LT(gap.size(), whole.size());
    EXPECT_TRUE(std::equal(gap.end() - kDiskRate, gap.end(), whole.end() - kDiskRate));
    EXPECT_NEAR(MeasureFrequency(gap, gap.size() - kDiskRate, gap.size()), 441.0, 4.41);
}

// Each load that fails is named on the standard error stream in one line, with why and what is
// heard instead: a file the check refuses, one the mixer fails after the check passed it, a
// missing one. A song's name picks the mixer's reader, a sound effect's bytes do: Ogg Vorbis named
// .wav is played as a sound effect, and refused as a song.
TEST_F(SDLSoundTest, EachFailedLoadIsNamedInOneLineWithWhatIsHeard)
{
    using Files = std::vector<std::pair<std::string, Bytes>>;
    // the files (a name ending in "/": a folder; in "|": a named pipe, without the "|"), the name
    // loaded, as a song, whether it loads, the line after the program's name (D: the folder)
    const std::tuple<Files, std::string, bool, bool, std::string> rows[] = {
        {{},
         "gone",
         false,
         false,
         "sound file \"D/gone.wav\" not found, nor \"D/gone.ogg\"; the sound is not loaded"},
        {{}, "gone.ogg", true, false, "sound file \"D/gone.ogg\" not found; the song stays silent"},
        {{{"both.wav", kFlac}, {"both.ogg", Ogg()}},
         "both",
         false,
         true,
         "refused sound file \"D/both.wav\": FLAC data, which is not played; \"D/both.ogg\" is played "
         "instead"},
        {{{"ms.wav", Patched(kMs, 40, 6, 2)}}, // 6 coefficient pairs, where SDL knows 7
         "ms",
         false,
         false,
         "sound file \"D/ms.wav\" failed to load in the mixer: Unknown set of MS_ADPCM coefficients; the "
         "sound is not loaded"},
        {{{"module", Bytes(64, 'x')}},
         "module",
         true,
         false,
         "sound file \"D/module\" failed to load in the mixer: Module format not recognized; the song stays "
         "silent"},
        {{{"theme.wav", Ogg()}}, "theme", false, true, ""},
        {{{"folder.ogg/", {}}},
         "folder.ogg",
         true,
         false,
         "sound file \"D/folder.ogg\" cannot be read: Is a directory; the song stays silent"},
        // Read without waiting for a writer.
        {{{"pipe.wav|", {}}},
         "pipe",
         false,
         false,
         "sound file \"D/pipe.wav\" cannot be read: Invalid argument; the sound is not loaded"},
        {{{"theme.wav", Ogg()}},
         "theme.wav",
         true,
         false,
         "refused sound file \"D/theme.wav\": Ogg Vorbis data in a file named .wav; the song stays silent"},
        {{{"empty.wav", {}}},
         "empty",
         false,
         false,
         "refused sound file \"D/empty.wav\": an empty file; the sound is not loaded"},
        {{{"empty.ogg", {}}},
         "empty.ogg",
         true,
         false,
         "refused sound file \"D/empty.ogg\": an empty file; the song stays silent"},
        // Decoded up to what a sound effect may hold, and no further; a song is streamed.
        {{{"long.ogg", LongSilence()}},
         "long",
         false,
         false,
         "refused sound file \"D/long.ogg\": too long to be held whole as a sound effect (play it as a "
         "song); the sound is not loaded"},
        {{{"long.ogg", LongSilence()}}, "long.ogg", true, true, ""},
        {{{"search.ogg", SecondStreamGoingOn(3972)}},
         "search.ogg",
         true,
         false,
         "refused sound file \"D/search.ogg\": more Ogg pages after the audio's end than the decoder "
         "searches "
         "back through quickly; the song stays silent"},
    };
    SDLMusicInterface music(kProgram);
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const auto& [files, name, asSong, loads, line] = rows[i];
        const std::string dir = mDir + std::to_string(i);
        std::filesystem::create_directory(dir);
        for (const auto& [file, bytes] : files)
        {
            const std::string path = dir + "/" + file;
            if (file.back() == '/')
                std::filesystem::create_directory(path);
            else if (file.back() == '|')
                ASSERT_EQ(mkfifo(path.substr(0, path.size() - 1).c_str(), 0600), 0);
            else
                std::ofstream(path).write(reinterpret_cast<const char*>(bytes.data()),
                                          std::streamsize(bytes.size()));
        }
        std::string expected = line.empty() ? "" : kProgram + (": " + line) + "\n";
        for (size_t at = expected.find("D/"); at != std::string::npos;
             at = expected.find("D/", at + dir.size()))
            expected.replace(at, 1, dir);
        testing::internal::CaptureStderr();
        EXPECT_EQ(asSong ? music.LoadMusic(int(i), dir + "/" + name)
                         : mManager->LoadSound(unsigned(i), dir + "/" + name),
                  loads)
            << i;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), expected) << i;
    }
    // Made without a name (as the platform makes them), a manager and a player begin each line
    // with the running application's title as it is when the line is printed, and with
    // kNoAppProgramName while none runs: before the application is made, while it runs (retitled
    // after it was made), and once it is gone.
    SDLSoundManager unnamedSounds;
    SDLMusicInterface unnamedMusic;
    auto gone = [&](const std::string& program)
    {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(unnamedSounds.LoadSound(0u, mDir + "gone"));
        EXPECT_FALSE(unnamedMusic.LoadMusic(0, mDir + "gone.ogg"));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  program + ": sound file \"" + mDir + "gone.wav\" not found, nor \"" + mDir +
                      "gone.ogg\"; the sound is not loaded\n" + program + ": sound file \"" + mDir +
                      "gone.ogg\" not found; the song stays silent\n");
    };
    gone("Vaxo");
    {
        AppTestEnv env;
        RecordingApp app;
        app.mTitle = kProgram;
        gone(kProgram);
    }
    gone("Vaxo");
}

// Base volume x volume x master volume x 128, truncated; volumes outside 0-1 are clamped
// (a negative one used to reach the mixer as a mere query, leaving the old volume).
TEST_F(SDLSoundTest, ChannelVolumeIsTheProductOfTheThreeVolumes)
{
    const std::tuple<double, double, double, int> rows[] = {
        {1.0, 0.5, 0.85, 54}, {1.0, 1.0, 1.0, 128}, {0.5, 0.5, 1.0, 32},         {0.3, 1.0, 1.0, 38},
        {1.0, -0.5, 1.0, 0},  {1.0, 2.0, 1.0, 128}, {1.0, std::nan(""), 1.0, 0},
    };
    LoadTone(7, "tone", 100);
    for (const auto& [base, volume, master, expected] : rows)
    {
        mManager->SetVolume(1.0);
        mManager->SetBaseVolume(7, base);
        SDLSoundInstance* instance = Instance(7);
        instance->SetVolume(volume);
        mManager->SetVolume(master); // reaches the live instance
        EXPECT_EQ(Mix_Volume(instance->mChannel, -1), expected) << base << " " << volume << " " << master;
        instance->Release();
    }
}

TEST(PitchRatioForSteps, IsSemitonesInSixteenDotSixteenClamped)
{
    const std::pair<double, int32_t> rows[] = {
        {12, 131072},  {-12, 32767}, {0, 65536},   {1, 69432},         {-1, 61857},
        {100, 524288}, {-100, 8192}, {NAN, 65536}, {HUGE_VAL, 524288}, {-HUGE_VAL, 8192}};
    for (const auto& [steps, ratio] : rows)
        EXPECT_EQ(PitchRatioForSteps(steps), ratio) << steps;
}

// Finished auto-release instances free their channels one by one as new instances are
// asked for, without the once-a-second sweep (the clock stands still).
TEST_F(SDLSoundTest, FinishedAutoReleaseInstancesAreReclaimedWithinTheSecond)
{
    FakeTimeSource clock(500);
    ScopedTimeSource scoped(clock);
    LoadTone(0, "tone", 200);
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(mManager->GetSoundInstance(0)->Play(false, true));
    ASSERT_TRUE(WaitFor([] { return Mix_Playing(-1) == 0; }));
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(Instance(0)->mChannel, i);
    EXPECT_EQ(mManager->GetSoundInstance(0), nullptr); // 32 live instances, none played
}

std::atomic<int> gHalts{0};

// Stop(false) pauses, Play resumes; and when the manager goes, freeing the sound halts
// the channel that plays it (the mixer would go on reading the freed sound).
TEST_F(SDLSoundTest, StopWithoutHaltPausesAndPlayResumes)
{
    Mix_ChannelFinished([](int) { ++gHalts; });
    LoadTone(0, "tone", 4410);
    // The mixer stores a pause as the tick it happened at, so a pause at tick 0 (right
    // after SDL started, in a fast build) would not take.
    while (SDL_GetTicks() == 0)
        SDL_Delay(1);
    SDLSoundInstance* instance = Instance(0);
    ASSERT_TRUE(instance->Play(true, false));
    instance->Stop(false);
    EXPECT_FALSE(instance->IsPlaying());
    instance->AdjustPitch(3); // a new pitch keeps the sound paused
    EXPECT_EQ(Mix_Paused(instance->mChannel), 1);
    const int halts = gHalts;
    ASSERT_TRUE(instance->Play(true, false));
    EXPECT_EQ(Mix_Paused(instance->mChannel), 0);
    EXPECT_TRUE(instance->IsPlaying());
    EXPECT_EQ(gHalts, halts); // resumed, not started again (a start halts first)
    Mix_ChannelFinished(nullptr);
    mManager.reset();
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_TRUE(WaitMixed(8192));
}

// The application's volumes and muting reach the mixer's channels and music.
TEST_F(DiskAudioTest, ApplicationVolumesReachTheMixer)
{
    class AudioPlatform : public TestPlatform
    {
    public:
        using TestPlatform::TestPlatform;
        SoundManager* CreateSoundManager() override { return new SDLSoundManager(); }
        MusicInterface* CreateMusicInterface() override { return new SDLMusicInterface(); }
    };
    AppTestEnv env;
    const PlatformFactory testFactory =
        SetPlatformFactory([](VaxoAppBase* app) { return new AudioPlatform(app); });
    {
        RecordingApp app;
        app.Init();
        auto* manager = dynamic_cast<SDLSoundManager*>(app.mSoundManager.get());
        ASSERT_NE(manager, nullptr);
        WriteToneWav(mDir + "tone.wav", 441, 100);
        ASSERT_TRUE(manager->LoadSound(0u, mDir + "tone"));
        app.SetSfxVolume(0.85);
        app.SetMusicVolume(0.85);
        SoundInstance* instance = manager->GetSoundInstance(0);
        ASSERT_NE(instance, nullptr);
        const int channel = static_cast<SDLSoundInstance*>(instance)->mChannel;
        instance->SetVolume(0.5);
        EXPECT_EQ(Mix_Volume(channel, -1), 54);
        EXPECT_EQ(Mix_VolumeMusic(-1), 108);
        app.Mute(false);
        EXPECT_EQ(Mix_Volume(channel, -1), 0);
        EXPECT_EQ(Mix_VolumeMusic(-1), 0);
        app.Unmute(false);
        EXPECT_EQ(Mix_Volume(channel, -1), 54);
        EXPECT_EQ(Mix_VolumeMusic(-1), 108);
        app.Shutdown();
    }
    SetPlatformFactory(testFactory);
}

class SDLMusicTest : public DiskAudioTest
{
protected:
    std::unique_ptr<SDLMusicInterface> mMusic;
    // The checked-in song: a quarter second of a 441 Hz tone.
    const std::string mShortSong = std::string(VAXO_TEST_DATA_DIR) + "/tone441.ogg";
    // One second of a steady 441 Hz tone, made by SetUp.
    std::string mSteadySong;

    void SetUp() override
    {
        DiskAudioTest::SetUp();
        mSteadySong = mDir + "steady.wav";
        WriteToneWav(mSteadySong, 441, kDiskRate);
        gSDLSongFinished = 0;
        mMusic = std::make_unique<SDLMusicInterface>(kProgram);
    }
};

// Songs by id; stops act on the current song only; volumes scale to the mixer's 0-128.
TEST_F(SDLMusicTest, SongTableStopsAndVolume)
{
    ASSERT_TRUE(mMusic->LoadMusic(5, mShortSong));
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);
    EXPECT_FALSE(mMusic->HasSong(3));
    EXPECT_TRUE(mMusic->HasSong(5));
    const auto first = mMusic->mStreamedSongs[5]; // Ogg Vorbis: the framework's, not SDL_mixer's
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(mMusic->GetMusicById(5), nullptr);
    EXPECT_FALSE(mMusic->LoadMusic(5, mSteadySong)); // the id is taken: the first song stays
    EXPECT_EQ(mMusic->mStreamedSongs[5], first);
    EXPECT_EQ(mMusic->GetMusicById(5), nullptr);
    EXPECT_FALSE(mMusic->LoadMusic(2, mDir + "missing.ogg"));
    EXPECT_FALSE(mMusic->LoadMusic(-1, mShortSong));
    EXPECT_FALSE(mMusic->LoadMusic(INT_MAX, mShortSong)); // would need a list of 2^31 entries
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);

    ASSERT_TRUE(mMusic->LoadMusic(2, mSteadySong));
    mMusic->PlayMusic(2, 0, false);
    mMusic->StopMusic(3);
    EXPECT_TRUE(mMusic->IsPlaying(2));
    mMusic->PlayMusic(7, 0, false); // no song there: nothing changes
    EXPECT_EQ(mMusic->mCurrentSong, 2);
    mMusic->StopMusic(2);
    EXPECT_FALSE(mMusic->IsPlaying(2));
    EXPECT_EQ(mMusic->mCurrentSong, -1);
    for (const auto& [volume, expected] : {std::pair(0.85, 108), {1.0, 128}, {-0.2, 0}, {1.2, 128}, {NAN, 0}})
    {
        mMusic->SetVolume(volume);
        EXPECT_EQ(Mix_VolumeMusic(-1), expected) << volume;
    }
}

// A song that ends by itself is reported once and stays the current song. On this
// SDL_mixer Mix_HaltMusic does not call the finished hook, so a stopped song is not
// reported; the end of a fade-out (of the current song only) is.
TEST_F(SDLMusicTest, SongFinishedOnceForASongThatEndsOrFadesOutButNotWhenStopped)
{
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    mMusic->PlayMusic(1, 0, true);
    ASSERT_TRUE(WaitFor([&] { return mMusic->SongFinished(); }));
    EXPECT_TRUE(WaitFor([&] { return !mMusic->IsPlaying(1); }));
    EXPECT_EQ(mMusic->mCurrentSong, 1);
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    mMusic->StopAllMusic();
    ASSERT_TRUE(WaitMixed(kDiskRate));
    EXPECT_FALSE(mMusic->SongFinished());
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 10));
    mMusic->FadeOut(1, true, 0.1); // not the current song
    EXPECT_EQ(Mix_FadingMusic(), MIX_NO_FADING);
    mMusic->FadeOut(0, true, 0.1);
    EXPECT_TRUE(WaitFor([&] { return mMusic->SongFinished(); }));
}

// A loaded Ogg Vorbis song holds one copy of itself: the file the framework streams it from, and
// nothing of SDL_mixer's (whose own load of it kept a decoder beside the file, over 100 KB).
TEST_F(SDLMusicTest, ALoadedOggSongHoldsItsFileAlone)
{
    const std::pair<const char*, Bytes> rows[] = {
        {"one link, 8 kHz mono", OggFile("tone441.ogg")},
        {"one link, 44.1 kHz stereo, oggenc -q 10", EncodeVorbis(441, 2, 44100, 2, 1.0f, 1)},
        {"three links", Chained({{441, 0.5, 22050, 1}, {441, 0.5, 48000}, {441, 0.5}})},
    };
    // What the process makes once, at the first check of a file (the page checksums' tables).
    ASSERT_TRUE(mMusic->LoadMusic(9, mShortSong));
    mMusic->UnloadMusic(9);
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const auto& [what, bytes] = rows[i];
        const std::string name = mDir + "song" + std::to_string(i) + ".ogg";
        std::ofstream(name).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        // Nothing else takes or frees memory meanwhile: the audio thread waits.
        SDL_LockAudio();
        const int64_t before = HeapInUse();
        const bool loaded = mMusic->LoadMusic(int(i), name);
        const int64_t held = HeapInUse() - before;
        SDL_UnlockAudio();
        ASSERT_TRUE(loaded) << what;
        // The file's bytes, and the allocator's rounding (whole pages for a large block) with the
        // song table's entries.
        EXPECT_GE(held, int64_t(bytes.size())) << what;
        EXPECT_LE(held, int64_t(bytes.size()) + 8192) << what;
    }
}

// The fade-out heard: 0.02 fades the current song over 500 ms of sound.
TEST_F(SDLMusicTest, FadeOutAtSpeedTwoHundredthsTakesHalfASecond)
{
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 4));
    mMusic->FadeOut(0, true, 0.02);
    ASSERT_TRUE(WaitFor([] { return Mix_PlayingMusic() == 0; }));
    const std::vector<int16_t> heard = MixedLeft();
    // Peak level per 10 ms: full before the fade, from 97% down to 3% is 94% of it.
    std::vector<int> peaks(heard.size() / 441);
    for (size_t i = 0; i < peaks.size() * 441; ++i)
        peaks[i / 441] = std::max(peaks[i / 441], std::abs(int(heard[i])));
    const int full = *std::max_element(peaks.begin(), peaks.end());
    auto from = std::find_if(peaks.begin(), peaks.end(), [&](int p) { return p >= full * 97 / 100; });
    auto start = std::find_if(from, peaks.end(), [&](int p) { return p < full * 97 / 100; });
    auto end = std::find_if(start, peaks.end(), [&](int p) { return p <= full * 3 / 100; });
    EXPECT_NEAR(double(end - start) * 10, 470.0, 60.0);
}

// A song started while another fades out starts at once, whether by PlayMusic or FadeIn:
// SDL_mixer's own start waits for the fade-out to end, the whole fade long, and for ever
// while the music is paused. The cut song is reported finished, as the fade's end would be.
TEST_F(SDLMusicTest, StartingASongDuringAFadeOutDoesNotWaitForIt)
{
    const std::function<void(SDLMusicInterface&)> starts[] = {
        [](SDLMusicInterface& music) { music.PlayMusic(1, 0, false); },
        [](SDLMusicInterface& music) { music.FadeIn(1, 0, 0.1, false); },
    };
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    for (const auto& start : starts)
    {
        mMusic->PlayMusic(0, 0, false);
        ASSERT_TRUE(WaitMixed(kDiskRate / 10));
        mMusic->FadeOut(0, true, 0.001); // ten seconds
        mMusic->PauseAllMusic();
        EXPECT_FALSE(mMusic->SongFinished());
        auto started = std::async(std::launch::async, [&] { start(*mMusic); });
        const bool waited = started.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
        if (waited)
            Mix_ResumeMusic(); // lets the fade, and so the start, end
        started.get();
        EXPECT_FALSE(waited);
        EXPECT_TRUE(mMusic->IsPlaying(1));
        EXPECT_NE(Mix_FadingMusic(), MIX_FADING_OUT);
        EXPECT_TRUE(mMusic->SongFinished());
        mMusic->StopAllMusic();
    }
}

// Deleting the player while its song fades out does not wait for the fade (SDL_mixer frees a
// fading song only once the fade has ended: for ever while the music is paused).
TEST_F(SDLMusicTest, DeletingThePlayerDuringAFadeOutDoesNotWaitForIt)
{
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 10));
    mMusic->FadeOut(0, true, 0.001); // ten seconds
    mMusic->PauseAllMusic();
    auto deleted = std::async(std::launch::async, [&] { mMusic.reset(); });
    const bool waited = deleted.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
    if (waited)
        Mix_ResumeMusic(); // lets the fade, and so the deletion, end
    deleted.get();
    EXPECT_FALSE(waited);
    EXPECT_EQ(Mix_PlayingMusic(), 0);
}

// The peak level of each 10 ms (441 frames) of heard.
std::vector<int> PeaksPer10Ms(const std::vector<int16_t>& heard)
{
    std::vector<int> peaks(heard.size() / 441);
    for (size_t i = 0; i < peaks.size() * 441; ++i)
        peaks[i / 441] = std::max(peaks[i / 441], std::abs(int(heard[i])));
    return peaks;
}

// How long a fade in peaks takes, in ms: for a fade-in (from < to), from the level's first rise to
// `from` parts of full to its first rise to `to` parts; for a fade-out, from its first fall below
// `from` parts once heard there to its first fall to `to` parts.
double FadeMs(const std::vector<int>& peaks, double from, double to)
{
    const int full = *std::max_element(peaks.begin(), peaks.end());
    auto reaches = [full](double level) { return [=](int p) { return p >= full * level; }; };
    auto start = std::find_if(peaks.begin(), peaks.end(), reaches(from));
    if (from < to)
        return double(std::find_if(start, peaks.end(), reaches(to)) - start) * 10;
    start = std::find_if_not(start, peaks.end(), reaches(from));
    return double(std::find_if(start, peaks.end(), [&](int p) { return p <= full * to; }) - start) * 10;
}

// A 16-bit PCM WAV file of a stereo tone at 44,100 Hz as EncodeVorbis encodes it.
Bytes ToneWav(const Tone& tone)
{
    Bytes samples;
    for (int64_t i = 0; i < std::llround(tone.seconds * 44100); ++i)
        for (size_t c = 0; c < 2; ++c)
        {
            const double wave = std::sin(2 * M_PI * tone.hz * double(c + 1) * double(i) / 44100);
            const auto sample = uint16_t(int16_t(std::lround(32767 * tone.loudness[c] * wave)));
            samples.push_back(uint8_t(sample));
            samples.push_back(uint8_t(sample >> 8));
        }
    const Bytes fmt = Le(1 | 2 << 16, 4) + Le(44100, 4) + Le(44100 * 4, 4) + Le(4 | 16 << 16, 4);
    return Riff(Chunk("fmt ", fmt) + Chunk("data", samples));
}

// Writes the tones as path, a WAV file of the one tone when its name ends in ".wav" and else a
// chained Ogg Vorbis file, and loads it under songId.
void LoadChained(SDLMusicInterface& music, int songId, const std::string& path,
                 const std::vector<Tone>& tones)
{
    const Bytes file = path.substr(path.size() - 4) == ".wav" ? ToneWav(tones.at(0)) : Chained(tones);
    std::ofstream(path).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    ASSERT_TRUE(music.LoadMusic(songId, path)) << path;
}

// An Ogg Vorbis song, one link or chained, which the framework plays itself, is heard through every
// control as a song that SDL_mixer plays (the first row, a WAV): once and reported finished, looping,
// paused, faded in and out, at half volume, cut by the next song during a paused fade-out (one player
// handing the music to the other), unloaded while it plays. Each play is checked link by link (pitch
// on both sides, loudness).
TEST_F(SDLMusicTest, ChainedSongsPlayLoopPauseAndFadeAsOtherSongsDo)
{
    struct Row
    {
        const char* what;
        std::vector<Tone> tones;
        const char* extension = ".ogg";
    };
    const Row rows[] = {
        {"a WAV, which SDL_mixer plays", {{441, 1.25}}, ".wav"},
        {"one link", {{441, 1.25}}},
        {"three links, the second an odd count of frames at 96 kHz",
         {{441, 0.5}, Lasting(441, 24001, 96000), {441, 0.5}}},
        {"two links, 22.05 kHz mono then 48 kHz", {{441, 0.6, 22050, 1}, {441, 0.6, 48000}}},
    };
    auto path = [&](size_t i) { return mDir + "song" + std::to_string(i) + rows[i].extension; };
    for (size_t i = 0; i < std::size(rows); ++i)
        LoadChained(*mMusic, int(i), path(i), rows[i].tones);
    auto finished = [&] { return mMusic->SongFinished(); };
    for (size_t i = 0; i < std::size(rows); ++i)
    {
        const int id = int(i);
        const std::string what = rows[i].what;
        const std::vector<Tone>& tones = rows[i].tones;
        // Each play starts after a stretch of silence, and is read once all of it is in the file.
        int64_t from = 0;
        auto start = [&](const std::function<void()>& play)
        {
            ASSERT_TRUE(WaitMixed(8192));
            from = MixedFrames();
            play();
        };
        auto heard = [&]
        {
            EXPECT_TRUE(WaitMixed(8192));
            return MixedSince(from);
        };

        // Once: heard whole, reported finished once, still the current song.
        start([&] { mMusic->PlayMusic(id, 0, true); });
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        EXPECT_FALSE(mMusic->IsPlaying(id)) << what;
        EXPECT_EQ(mMusic->mCurrentSong, id) << what;
        auto [left, right] = heard();
        EXPECT_FALSE(mMusic->SongFinished()) << what;
        Sound song = FindSound(left);
        const double length =
            ExpectHeardAsEncoded(left, right, song.first, tones, kDiskRate, what + ", once");
        EXPECT_NEAR(double(song.Frames()), length, 64) << what;

        // Paused as it starts (nothing is mixed in between): silent, still playing; then resumed, whole.
        start(
            [&]
            {
                SDL_LockAudio();
                mMusic->PlayMusic(id, 0, true);
                mMusic->PauseMusic(id);
                SDL_UnlockAudio();
            });
        ASSERT_TRUE(WaitMixed(kDiskRate / 2));
        EXPECT_TRUE(mMusic->IsPlaying(id)) << what;
        const int64_t resumed = MixedFrames();
        mMusic->ResumeMusic(id);
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        std::tie(left, right) = heard();
        song = FindSound(left);
        EXPECT_GE(int64_t(song.first), resumed - from) << what;
        ExpectHeardAsEncoded(left, right, song.first, tones, kDiskRate, what + ", resumed");
        EXPECT_NEAR(double(song.Frames()), length, 64) << what;

        // At half volume, half as loud.
        mMusic->SetVolume(0.5);
        start([&] { mMusic->PlayMusic(id, 0, true); });
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        mMusic->SetVolume(1.0);
        std::tie(left, right) = heard();
        ExpectHeardAsEncoded(left, right, FindSound(left).first, tones, kDiskRate, what + ", at half volume",
                             0.5);

        // Faded in at 0.02: over 500 ms, 470 ms of it from 3% to 97% of full.
        start([&] { mMusic->FadeIn(id, 0, 0.02, true); });
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        EXPECT_NEAR(FadeMs(PeaksPer10Ms(heard().first), 0.03, 0.97), 470.0, 60.0) << what;

        // Looping: from its start again, as encoded; a stop is not reported. (SDL_mixer's player, once
        // its song was halted, plays what was left of the last piece it decoded before it starts the
        // song again: up to 1,024 frames of what was playing. So the plays above end by themselves.)
        start([&] { mMusic->PlayMusic(id, 0, false); });
        ASSERT_TRUE(WaitMixed(int64_t(length * 2.5)));
        EXPECT_TRUE(mMusic->IsPlaying(id)) << what;
        mMusic->StopMusic(id);
        EXPECT_FALSE(mMusic->IsPlaying(id)) << what;
        std::tie(left, right) = heard();
        EXPECT_FALSE(mMusic->SongFinished()) << what;
        song = FindSound(left, 0, 4000);
        EXPECT_GT(double(song.Frames()), 2 * length) << what;
        ExpectHeardAsEncoded(left, right, song.first + size_t(length), tones, kDiskRate, what + ", looped");

        // Paused as it plays: silent until resumed.
        start([&] { mMusic->PlayMusic(id, 0, false); });
        ASSERT_TRUE(WaitMixed(kDiskRate / 4));
        mMusic->PauseAllMusic();
        ASSERT_TRUE(WaitMixed(kDiskRate / 2));
        mMusic->ResumeAllMusic();
        ASSERT_TRUE(WaitMixed(kDiskRate / 4));
        mMusic->StopAllMusic();
        std::tie(left, right) = heard();
        song = FindSound(left, 0, 4000);
        const Sound after = FindSound(left, song.end, 4000);
        EXPECT_GT(song.Frames(), 0u) << what;
        EXPECT_GT(after.Frames(), 0u) << what;
        EXPECT_GT(after.first - song.end, size_t(kDiskRate / 2 - 8192)) << what;

        // Faded out at 0.02.
        start([&] { mMusic->PlayMusic(id, 0, false); });
        ASSERT_TRUE(WaitMixed(kDiskRate / 4));
        mMusic->FadeOut(id, true, 0.02);
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        EXPECT_FALSE(mMusic->IsPlaying(id)) << what;
        EXPECT_NEAR(FadeMs(PeaksPer10Ms(heard().first), 0.97, 0.03), 470.0, 60.0) << what;

        // The next row's song, started during a paused fade-out: at once, the faded one reported
        // finished, and only the next one heard.
        const size_t next = (i + 1) % std::size(rows);
        mMusic->PlayMusic(id, 0, false);
        ASSERT_TRUE(WaitMixed(kDiskRate / 10));
        mMusic->FadeOut(id, true, 0.001); // ten seconds
        mMusic->PauseAllMusic();
        start([&] { mMusic->PlayMusic(int(next), 0, true); });
        EXPECT_TRUE(mMusic->SongFinished()) << what;
        EXPECT_TRUE(mMusic->IsPlaying(int(next))) << what;
        ASSERT_TRUE(WaitForWithin(2 * kDiskRate, finished)) << what;
        std::tie(left, right) = heard();
        ExpectHeardAsEncoded(left, right, FindSound(left).first, rows[next].tones, kDiskRate,
                             what + ", then the next row's song");

        // Unloaded as it plays: silent from then on, and loaded again.
        mMusic->PlayMusic(id, 0, false);
        ASSERT_TRUE(WaitMixed(kDiskRate / 10));
        mMusic->UnloadMusic(id);
        EXPECT_FALSE(mMusic->HasSong(id)) << what;
        start([] {});
        EXPECT_EQ(FindSound(heard().first, 4096).Frames(), 0u) << what;
        LoadChained(*mMusic, id, path(i), tones);
    }
    // A chained song of no sound at all, looping, ends and is reported finished: going round it for
    // ever would hold the audio thread.
    LoadChained(*mMusic, 9, mDir + "nothing.ogg", {{441, 0}, {441, 0}});
    mMusic->PlayMusic(9, 0, false);
    EXPECT_TRUE(WaitForWithin(kDiskRate, finished));
    EXPECT_FALSE(mMusic->IsPlaying(9));
}

// A fade-out begun during a fade-in goes on from the level the fade-in reached, whatever the two
// fades' lengths, on the framework's stream (an Ogg Vorbis song); at the same speed it lasts as long
// as the fade-in ran, so a fade-in of days cut after half a second fades out within a second. There,
// rescaling the fade-in's part in whole frames went past 64 bits: the fade-out began at full volume.
TEST_F(SDLMusicTest, AFadeOutDuringAFadeInGoesOnFromTheLevelReached)
{
    struct Row
    {
        const char* what;
        double in;  // the fade-in's speed
        double out; // the fade-out's
    };
    const Row rows[] = {
        {"halfway through a second's fade-in, faded out over a second", 0.01, 0.01},
        {"a fade-in of days, faded out over days", 1e-12, 1e-12},
    };
    // The tone's full level (EncodeVorbis's half of full scale), and what one 10 ms step of a fade
    // around the fade-out's start may add to it.
    constexpr int kFull = 16384;
    constexpr int kStep = kFull / 10;
    LoadChained(*mMusic, 0, mDir + "song.ogg", {{441, 1.0}});
    for (const Row& row : rows)
    {
        ASSERT_TRUE(WaitMixed(8192));
        const int64_t from = MixedFrames();
        mMusic->FadeIn(0, 0, row.in, false);
        ASSERT_TRUE(WaitMixed(kDiskRate / 2));
        // The audio thread mixes nothing meanwhile; its last buffer may not be in the file yet.
        SDL_LockAudio();
        const int64_t cut = MixedFrames() - from;
        mMusic->FadeOut(0, true, row.out);
        SDL_UnlockAudio();
        EXPECT_TRUE(WaitForWithin(2 * kDiskRate, [&] { return mMusic->SongFinished(); })) << row.what;
        EXPECT_FALSE(mMusic->IsPlaying(0)) << row.what;
        mMusic->StopAllMusic();
        ASSERT_TRUE(WaitMixed(8192));
        const std::vector<int> peaks = PeaksPer10Ms(MixedSince(from).first);
        // Before the cut, and from a buffer and a step after it on.
        const size_t before = size_t(cut) / 441;
        const size_t after = size_t(cut + 1024) / 441 + 2;
        ASSERT_GT(before, 0u) << row.what;
        ASSERT_LT(after, peaks.size()) << row.what;
        const int reached = *std::max_element(peaks.begin(), peaks.begin() + std::ptrdiff_t(before));
        EXPECT_LE(*std::max_element(peaks.begin() + std::ptrdiff_t(after), peaks.end()), reached + kStep)
            << row.what;
        EXPECT_GE(peaks[after], peaks[before - 1] - kStep) << row.what;
    }
}

// A fade speed is the volume change per 10 ms update: 0.02 fades over 500 ms.
TEST(MusicFadeTimeMs, IsTenDividedBySpeedGuarded)
{
    const std::pair<double, int> rows[] = {{0.02, 500}, {0.01, 1000},  {0.004, 2500},
                                           {3.0, 3},    {0.0, 0},      {-0.5, 0},
                                           {NAN, 0},    {HUGE_VAL, 0}, {1e-12, INT_MAX}};
    for (const auto& [speed, ms] : rows)
        EXPECT_EQ(MusicFadeTimeMs(speed), ms) << speed;
}

} // namespace
} // namespace Vaxo
