#include "app/sdl/MixPitch.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Vaxo
{

namespace
{

// Sample codecs: Get answers a signed value, Put takes one.
struct SampleS8
{
    static constexpr int kBytes = 1;
    static int32_t Get(const uint8_t* p) { return int8_t(*p); }
    static void Put(uint8_t* p, int32_t v) { *p = uint8_t(int8_t(v)); }
};

struct SampleU8
{
    static constexpr int kBytes = 1;
    static int32_t Get(const uint8_t* p) { return int32_t(*p) - 128; }
    static void Put(uint8_t* p, int32_t v) { *p = uint8_t(v + 128); }
};

// 16-bit samples; Swapped for the byte order opposite to this machine's.
template <bool Swapped, bool Unsigned> struct Sample16
{
    static constexpr int kBytes = 2;
    static int32_t Get(const uint8_t* p)
    {
        uint16_t u;
        std::memcpy(&u, p, 2);
        if (Swapped)
            u = uint16_t((u >> 8) | (u << 8));
        return Unsigned ? int32_t(u) - 32768 : int32_t(int16_t(u));
    }
    static void Put(uint8_t* p, int32_t v)
    {
        uint16_t u = Unsigned ? uint16_t(v + 32768) : uint16_t(int16_t(v));
        if (Swapped)
            u = uint16_t((u >> 8) | (u << 8));
        std::memcpy(p, &u, 2);
    }
};

constexpr bool kBigEndian = SDL_BYTEORDER == SDL_BIG_ENDIAN;

// Output frame a + (b - a) x fraction from source frames a and b.
template <class S, int Channels>
inline void MixFrame(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t channels, int32_t frac15)
{
    const int32_t n = Channels != 0 ? Channels : channels;
    for (int32_t c = 0; c < n; ++c)
    {
        const int32_t sa = S::Get(a + c * S::kBytes);
        const int32_t sb = S::Get(b + c * S::kBytes);
        // 15 fraction bits keep the product within 32 bits.
        S::Put(out + c * S::kBytes, sa + (((sb - sa) * frac15) >> 15));
    }
}

// count output frames whose two source frames both lie inside the source: the loop the
// mixer spends its time in, without end checks.
template <class S, int Channels>
void MixInside(const uint8_t* src, uint8_t* out, uint32_t count, int32_t channels, uint32_t ratio,
               uint64_t& pos)
{
    const size_t frameBytes = size_t(S::kBytes) * size_t(Channels != 0 ? Channels : channels);
    for (uint32_t k = 0; k < count; ++k, out += frameBytes, pos += ratio)
    {
        const uint8_t* a = src + size_t(pos >> 16) * frameBytes;
        MixFrame<S, Channels>(a, a + frameBytes, out, channels, int32_t(pos & 0xFFFF) >> 1);
    }
}

template <class S>
uint32_t Resample(const uint8_t* src, uint32_t srcFrames, uint8_t* dst, uint32_t dstFrames, int32_t channels,
                  uint32_t ratio, bool loop, uint64_t& pos)
{
    const size_t frameBytes = size_t(S::kBytes) * size_t(channels);
    const uint64_t end = uint64_t(srcFrames) << 16;
    uint32_t made = 0;
    while (made < dstFrames)
    {
        if (pos >= end)
        {
            if (!loop || srcFrames == 0)
                break;
            pos %= end;
        }
        const uint32_t i = uint32_t(pos >> 16);
        const uint8_t* a = src + i * frameBytes;
        uint8_t* out = dst + made * frameBytes;
        if (ratio == uint32_t(kPitchUnity) && (pos & 0xFFFF) == 0)
        {
            // Unchanged rate on a whole frame: the source as it is, up to its end.
            const uint32_t n = std::min(dstFrames - made, srcFrames - i);
            std::memcpy(out, a, n * frameBytes);
            made += n;
            pos += uint64_t(n) << 16;
            continue;
        }
        if (i + 1 < srcFrames)
        {
            const uint64_t inside = ((uint64_t(srcFrames - 1) << 16) - pos + ratio - 1) / ratio;
            const uint32_t n = uint32_t(std::min<uint64_t>(inside, dstFrames - made));
            if (channels == 2)
                MixInside<S, 2>(src, out, n, channels, ratio, pos);
            else if (channels == 1)
                MixInside<S, 1>(src, out, n, channels, ratio, pos);
            else
                MixInside<S, 0>(src, out, n, channels, ratio, pos);
            made += n;
            continue;
        }
        // The last frame: towards the first one when looping, else held.
        MixFrame<S, 0>(a, loop ? src : a, out, channels, int32_t(pos & 0xFFFF) >> 1);
        ++made;
        pos += ratio;
    }
    uint8_t* rest = dst + made * frameBytes;
    for (size_t k = 0; k < size_t(dstFrames - made) * size_t(channels); ++k)
        S::Put(rest + k * S::kBytes, 0);
    return made;
}

// What the effect makes of a chunk the mixer plays by itself (Mix_PlayChannel) on a channel
// with a ratio: it finds where the play is, and the watcher then takes the play over.
enum StockPlay : uint8_t
{
    kStockNone,    // nothing to find (the channel plays its carrier, or has no ratio)
    kStockAwaited, // the effect waits on the idle channel: the next play starts at frame 0
    kStockPlaying, // a play under way: where it is is found from the data being mixed
    kStockIgnored, // that data is not in the chunk: the play goes on as it is
};

// One channel's pitch and the sound it plays. Guarded by the audio lock; the effect and the
// watcher read and change it inside the mixing callback, which runs under that lock.
struct PitchChannel
{
    int32_t ratio = kPitchUnity;
    // The sound the effect reads; null when none (the effect then leaves the data alone).
    Mix_Chunk* source = nullptr;
    PitchFormat format{0, 0};
    uint32_t sourceFrames = 0;
    bool loop = false;
    // Read position in source frames, 16.16.
    uint64_t pos = 0;
    // What the mixer plays on the channel: silence over gCarrierData.
    Mix_Chunk carrier{0, nullptr, 0, 0};
    StockPlay stock = kStockNone;
    // The effect found a chunk the mixer plays by itself, and where: the watcher replaces that
    // play by a pitched one at the end of this mixing pass.
    bool takeOver = false;
    // The mixing pass the effect last ran in.
    uint32_t lastPass = 0;
    // A taken-over sound from where it was taken over (malloc'd, owned): Mix_FreeChunk knows
    // nothing of the pitched play and would free the mixer's chunk under it.
    Mix_Chunk copy{0, nullptr, 0, 0};
};

// Constant-initialised and trivially destructible: the audio thread may still use it while
// the program's statics are destroyed.
PitchChannel gPitchChannels[kPitchChannels];

// Mixing passes counted by the watcher, to tell which channels the effect ran on. Guarded by
// the audio lock.
uint32_t gMixPass = 1;

// The carriers' data, never written: the effect replaces the mixer's copy of it.
uint8_t gCarrierData[16384];

class AudioLock
{
public:
    AudioLock() { SDL_LockAudio(); }
    ~AudioLock() { SDL_UnlockAudio(); }
    AudioLock(const AudioLock&) = delete;
    AudioLock& operator=(const AudioLock&) = delete;
};

// Where in the chunk the data being mixed starts: the first whole frame from which the chunk
// holds the same bytes (a stretch that repeats, such as silence, is taken at its first place).
bool FindMixedData(const Mix_Chunk& chunk, const void* data, size_t length, size_t frameBytes, size_t* offset)
{
    const uint8_t* const begin = chunk.abuf;
    const uint8_t* const end = begin + chunk.alen;
    for (const uint8_t* from = begin; size_t(end - from) >= length;)
    {
        const uint8_t* found = static_cast<const uint8_t*>(memmem(from, size_t(end - from), data, length));
        if (found == nullptr)
            return false;
        if (size_t(found - begin) % frameBytes == 0)
        {
            *offset = size_t(found - begin);
            return true;
        }
        from = found + 1;
    }
    return false;
}

// A chunk the mixer plays by itself reaches the effect: where the play is (at its start when
// the effect waited on the idle channel), so that the effect reads it at the ratio from this
// pass on and the watcher takes it over at the pass's end.
void FindStockPlay(int channel, PitchChannel& ch, const void* stream, int len)
{
    // A plain read of the mixer's channel table, which this mixing pass holds.
    Mix_Chunk* chunk = Mix_GetChunk(channel);
    const int32_t frameBytes = PitchFrameBytes(ch.format);
    size_t offset = 0;
    if (chunk == nullptr || frameBytes == 0 || len <= 0 ||
        (ch.stock == kStockPlaying &&
         !FindMixedData(*chunk, stream, size_t(len), size_t(frameBytes), &offset)))
    {
        ch.stock = kStockIgnored;
        return;
    }
    ch.source = chunk;
    ch.sourceFrames = chunk->alen / Uint32(frameBytes);
    ch.loop = false;
    ch.pos = uint64_t(offset / size_t(frameBytes)) << 16;
    ch.stock = kStockNone;
    ch.takeOver = true;
}

// The channel effect. Audio thread: no lock, no allocation, no mixer call but the plain read
// of a channel's chunk.
void PitchEffect(int channel, void* stream, int len, void* udata)
{
    PitchChannel& ch = *static_cast<PitchChannel*>(udata);
    ch.lastPass = gMixPass;
    if (ch.stock == kStockAwaited || ch.stock == kStockPlaying)
        FindStockPlay(channel, ch, stream, len);
    const int32_t frameBytes = PitchFrameBytes(ch.format);
    if (ch.stock != kStockNone || ch.source == nullptr || frameBytes == 0 || len <= 0)
        return;
    ResamplePitch(ch.source->abuf, ch.sourceFrames, static_cast<uint8_t*>(stream), uint32_t(len / frameBytes),
                  ch.format, uint32_t(ch.ratio), ch.loop, ch.pos);
}

bool MixerOpen()
{
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    return Mix_QuerySpec(&frequency, &format, &channels) != 0;
}

// The mixer keeps its channel count after it is closed, but not the channels.
bool ChannelExists(int channel)
{
    return channel >= 0 && channel < kPitchChannels && MixerOpen() && channel < Mix_AllocateChannels(-1);
}

// Output frames left of a sound played once: every frame whose read position lies before
// the source's end, at least one so that the play has a length.
uint64_t FramesLeft(const PitchChannel& ch)
{
    const uint64_t end = uint64_t(ch.sourceFrames) << 16;
    if (ch.pos >= end)
        return 1;
    return std::max<uint64_t>(1, (end - ch.pos + uint64_t(ch.ratio) - 1) / uint64_t(ch.ratio));
}

// Registers the effect and plays the carrier, timed to the frames left at the current ratio
// (or repeating forever for a looping sound). The channel must be halted. Under the lock.
int StartCarrier(int channel, PitchChannel& ch)
{
    const uint64_t frameBytes = uint64_t(PitchFrameBytes(ch.format));
    const uint64_t carrierFrames = sizeof(gCarrierData) / frameBytes;
    uint64_t segmentFrames = carrierFrames;
    uint64_t segments = 0; // 0: forever
    if (!ch.loop)
    {
        // The mixer repeats one carrier length: split the frames left into equal segments,
        // so the play ends less than one frame per segment after the sound.
        const uint64_t frames = FramesLeft(ch);
        segments = (frames + carrierFrames - 1) / carrierFrames;
        segmentFrames = (frames + segments - 1) / segments;
    }
    ch.carrier.allocated = 0;
    ch.carrier.abuf = gCarrierData;
    ch.carrier.alen = Uint32(segmentFrames * frameBytes);
    ch.carrier.volume = ch.source->volume;
    if (Mix_RegisterEffect(channel, PitchEffect, nullptr, &ch) == 0)
        return -1;
    return Mix_PlayChannelTimed(channel, &ch.carrier, segments == 0 ? -1 : int(segments - 1), -1);
}

// Finding no registration to remove is no error: the mixer's error text stays as it was.
void UnregisterEffectIfAny(int channel, Mix_EffectFunc_t f)
{
    char error[256];
    std::snprintf(error, sizeof(error), "%s", SDL_GetError());
    Mix_UnregisterEffect(channel, f);
    SDL_SetError("%s", error);
}

// Registers f on the channel, removing an earlier registration first (the mixer would run
// it twice).
bool RegisterEffectOnce(int channel, Mix_EffectFunc_t f, void* udata)
{
    UnregisterEffectIfAny(channel, f);
    return Mix_RegisterEffect(channel, f, nullptr, udata) != 0;
}

void FreeCopy(PitchChannel& ch)
{
    if (ch.source == &ch.copy)
        ch.source = nullptr;
    std::free(ch.copy.abuf);
    ch.copy = Mix_Chunk{0, nullptr, 0, 0};
}

// Sets the effect on the channel to find the chunk the mixer plays there by itself, in the
// given way. Under the lock.
void FollowStockPlay(int channel, PitchChannel& ch, StockPlay way)
{
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    ch.format = PitchFormat{format, channels};
    ch.stock = RegisterEffectOnce(channel, PitchEffect, &ch) ? way : kStockNone;
}

// Replaces the play of a chunk the mixer plays by itself by a pitched play of a copy of the
// rest of it, from where the effect read to. The mixer tells its channel-finished hook that
// its own play ended, and does not say whether that play was to repeat: the pitched play
// plays the sound to its end once.
void TakeOver(int channel, PitchChannel& ch)
{
    ch.takeOver = false;
    Mix_Chunk* stock = ch.source;
    ch.source = nullptr;
    const uint32_t frameBytes = uint32_t(PitchFrameBytes(ch.format));
    const uint32_t first = uint32_t(std::min<uint64_t>(ch.pos >> 16, ch.sourceFrames));
    const uint32_t bytes = (ch.sourceFrames - first) * frameBytes;
    uint8_t* data = static_cast<uint8_t*>(std::malloc(std::max<uint32_t>(bytes, 1)));
    if (stock == nullptr || data == nullptr)
    {
        std::free(data);
        return; // the play goes on as it is
    }
    std::memcpy(data, stock->abuf + size_t(first) * frameBytes, bytes);
    FreeCopy(ch);
    ch.copy = Mix_Chunk{0, data, bytes, stock->volume};
    ch.source = &ch.copy;
    ch.sourceFrames -= first;
    ch.pos -= uint64_t(first) << 16;
    Mix_HaltChannel(channel);
    StartCarrier(channel, ch);
}

// After every mixing pass (a post effect of the mixer, under the audio lock): takes over the
// plays the effect found, and on each channel with a ratio awaits the next chunk the mixer
// plays by itself, or looks for one under way that the effect did not see start (a play that
// replaced another drops the channel's effects). Mixer calls are safe here: the pass is over,
// and the thread holding the audio lock may take it again.
void PitchWatcher(int, void*, int, void*)
{
    const int channels = std::min(kPitchChannels, Mix_AllocateChannels(-1));
    for (int c = 0; c < channels; ++c)
    {
        PitchChannel& ch = gPitchChannels[c];
        if (ch.takeOver)
            TakeOver(c, ch);
        const bool playing = Mix_Playing(c) != 0;
        if (!playing && ch.copy.abuf != nullptr)
            FreeCopy(ch);
        if (ch.ratio == kPitchUnity)
            continue;
        if (!playing && ch.stock != kStockAwaited)
            FollowStockPlay(c, ch, kStockAwaited);
        else if (playing && Mix_GetChunk(c) != &ch.carrier && ch.lastPass != gMixPass && Mix_Paused(c) == 0)
            FollowStockPlay(c, ch, kStockPlaying);
    }
    ++gMixPass;
}

} // namespace

int32_t PitchFrameBytes(const PitchFormat& format)
{
    if (format.channels <= 0)
        return 0;
    switch (format.format)
    {
    case AUDIO_U8:
    case AUDIO_S8:
        return format.channels;
    case AUDIO_U16LSB:
    case AUDIO_S16LSB:
    case AUDIO_U16MSB:
    case AUDIO_S16MSB:
        return 2 * format.channels;
    default:
        return 0;
    }
}

uint32_t ResamplePitch(const uint8_t* src, uint32_t srcFrames, uint8_t* dst, uint32_t dstFrames,
                       const PitchFormat& format, uint32_t ratio, bool loop, uint64_t& pos)
{
    const int32_t n = format.channels;
    switch (format.format)
    {
    case AUDIO_U8:
        return Resample<SampleU8>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    case AUDIO_S8:
        return Resample<SampleS8>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    case AUDIO_S16LSB:
        return Resample<Sample16<kBigEndian, false>>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    case AUDIO_S16MSB:
        return Resample<Sample16<!kBigEndian, false>>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    case AUDIO_U16LSB:
        return Resample<Sample16<kBigEndian, true>>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    case AUDIO_U16MSB:
        return Resample<Sample16<!kBigEndian, true>>(src, srcFrames, dst, dstFrames, n, ratio, loop, pos);
    default:
        return 0;
    }
}

int Mix_Pitch(int channel, int ratio)
{
    if (channel < 0 || channel >= kPitchChannels)
    {
        SDL_SetError("Mix_Pitch: no channel %d", channel);
        return 0;
    }
    AudioLock lock;
    PitchChannel& ch = gPitchChannels[channel];
    ch.ratio = std::clamp(ratio, kPitchMinRatio, kPitchMaxRatio);
    if (!ChannelExists(channel))
        return 1;
    const bool playing = Mix_Playing(channel) != 0;
    if (playing && Mix_GetChunk(channel) == &ch.carrier)
    {
        // A sound playing once is re-timed from where it is, so it ends with its last frame.
        if (!ch.loop && ch.source != nullptr)
        {
            const bool paused = Mix_Paused(channel) != 0;
            Mix_HaltChannel(channel);
            StartCarrier(channel, ch);
            if (paused)
                Mix_Pause(channel);
        }
    }
    else if (ch.ratio == kPitchUnity)
    {
        // What the mixer plays by itself stays as it is.
        if (ch.stock != kStockNone)
            UnregisterEffectIfAny(channel, PitchEffect);
        ch.stock = kStockNone;
    }
    else
    {
        // From now on the watcher runs after every mixing pass; closing the mixer drops it.
        RegisterEffectOnce(MIX_CHANNEL_POST, PitchWatcher, nullptr);
        FollowStockPlay(channel, ch, playing ? kStockPlaying : kStockAwaited);
    }
    return 1;
}

int Mix_PlayChannelPitched(int channel, Mix_Chunk* chunk, int loops)
{
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    if (chunk == nullptr || (loops != 0 && loops != -1))
    {
        SDL_SetError("Mix_PlayChannelPitched: no chunk, or loops other than 0 and -1");
        return -1;
    }
    if (Mix_QuerySpec(&frequency, &format, &channels) == 0)
    {
        SDL_SetError("Audio device hasn't been opened");
        return -1;
    }
    const PitchFormat pitchFormat{format, channels};
    if (PitchFrameBytes(pitchFormat) == 0 || !ChannelExists(channel))
    {
        SDL_SetError("Mix_PlayChannelPitched: no channel %d, or an unknown device format", channel);
        return -1;
    }
    AudioLock lock;
    // A chunk freed while it played leaves its effects on the channel, which would run on
    // this unrelated play.
    Mix_HaltChannel(channel);
    Mix_UnregisterAllEffects(channel);
    PitchChannel& ch = gPitchChannels[channel];
    ch.stock = kStockNone;
    ch.takeOver = false;
    FreeCopy(ch);
    ch.source = chunk;
    ch.format = pitchFormat;
    ch.sourceFrames = chunk->alen / Uint32(PitchFrameBytes(pitchFormat));
    ch.loop = loops == -1;
    ch.pos = 0;
    return StartCarrier(channel, ch);
}

void Mix_FreeChunkPitched(Mix_Chunk* chunk)
{
    if (chunk == nullptr)
        return;
    {
        AudioLock lock;
        for (int c = 0; c < kPitchChannels; ++c)
        {
            PitchChannel& ch = gPitchChannels[c];
            if (ch.source != chunk)
                continue;
            if (ChannelExists(c))
            {
                if (Mix_GetChunk(c) == &ch.carrier)
                    Mix_HaltChannel(c);
                Mix_UnregisterEffect(c, PitchEffect);
            }
            ch.source = nullptr;
        }
    }
    Mix_FreeChunk(chunk);
}

} // namespace Vaxo
