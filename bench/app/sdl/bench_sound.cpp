// Per-channel pitch: the resampling effect on one mixer buffer (4,096 bytes: 1,024
// stereo 16-bit frames) against SDL_MixAudio of the same buffer, which every playing
// channel costs anyway; and 32 looping channels mixed through SDL's disk driver at full
// speed, plain and pitched, as seconds of audio mixed per wall-clock second.
#include "app/sdl/MixPitch.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <vector>

using namespace Vaxo;

namespace
{

constexpr int kRate = 44100;
constexpr uint32_t kBufferFrames = 1024;

// The mixer, open on the disk driver writing to nowhere, and a second of a looping tone.
struct Mixer
{
    Mix_Chunk* tone = nullptr;

    Mixer()
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(kRate, AUDIO_S16MSB, 2, int(kBufferFrames)) != 0)
            abort();
        Mix_AllocateChannels(32);
        auto* data = static_cast<Uint8*>(SDL_malloc(kRate * 4));
        for (int i = 0; i < kRate; ++i)
        {
            const auto s = uint16_t(int16_t(8000 * std::sin(2 * M_PI * 441 * i / kRate)));
            const Uint8 frame[4] = {Uint8(s >> 8), Uint8(s), Uint8(s >> 8), Uint8(s)};
            std::copy(frame, frame + 4, data + 4 * i);
        }
        tone = Mix_QuickLoad_RAW(data, kRate * 4); // kept for the whole run
    }
};

Mixer& TheMixer()
{
    static Mixer mixer;
    return mixer;
}

void BM_PitchEffectOnOneBuffer(benchmark::State& state)
{
    const uint32_t ratio = uint32_t(state.range(0));
    Mix_Chunk* tone = TheMixer().tone;
    const PitchFormat format{AUDIO_S16MSB, 2};
    std::vector<uint8_t> buffer(kBufferFrames * 4);
    uint64_t pos = 0;
    for (auto _ : state)
    {
        ResamplePitch(tone->abuf, tone->alen / 4, buffer.data(), kBufferFrames, format, ratio, true, pos);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_PitchEffectOnOneBuffer)->Arg(65536)->Arg(69432)->Arg(32767);

void BM_MixAudioOfOneBuffer(benchmark::State& state)
{
    Mix_Chunk* tone = TheMixer().tone;
    std::vector<uint8_t> buffer(kBufferFrames * 4);
    for (auto _ : state)
    {
        SDL_MixAudio(buffer.data(), tone->abuf, Uint32(buffer.size()), SDL_MIX_MAXVOLUME);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}
BENCHMARK(BM_MixAudioOfOneBuffer);

std::atomic<int64_t> gMixedBytes{0};

// 32 looping channels for a second of wall-clock time; range 0: plain chunks, 1: pitched
// at 65536 (unchanged), 2: pitched a semitone up. Every play sets its channel's ratio first:
// a ratio left by an earlier case would take the plain plays over and play each once, and
// the mixer would then run idle. A case whose channels stopped, or whose plain plays were
// taken over, reports an error instead of a figure.
void BM_ThirtyTwoChannelsThroughTheDiskDriver(benchmark::State& state)
{
    Mix_Chunk* tone = TheMixer().tone;
    const bool plain = state.range(0) == 0;
    Mix_SetPostMix([](void*, Uint8*, int len) { gMixedBytes += len; }, nullptr);
    for (int c = 0; c < 32; ++c)
    {
        Mix_Volume(c, 4);
        Mix_Pitch(c, state.range(0) == 2 ? 69432 : kPitchUnity);
        if (plain)
            Mix_PlayChannel(c, tone, -1);
        else
            Mix_PlayChannelPitched(c, tone, -1);
    }
    double audioSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state)
    {
        const int64_t before = gMixedBytes;
        const Uint32 start = SDL_GetTicks();
        SDL_Delay(1000);
        wallSeconds += (SDL_GetTicks() - start) / 1000.0;
        audioSeconds += double(gMixedBytes - before) / (kRate * 4);
    }
    int playing = 0;
    for (int c = 0; c < 32; ++c)
        playing += Mix_Playing(c) != 0 && (!plain || Mix_GetChunk(c) == tone);
    Mix_HaltChannel(-1);
    Mix_SetPostMix(nullptr, nullptr);
    if (playing != 32)
        state.SkipWithError("not all 32 channels were playing their sound at the end");
    state.counters["audio_s_per_wall_s"] = audioSeconds / wallSeconds;
}
BENCHMARK(BM_ThirtyTwoChannelsThroughTheDiskDriver)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace
