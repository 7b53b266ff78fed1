// Internal to framework/app/sdl.
// MixPitch: a playback-rate ratio per mixer channel, which the stock SDL_mixer 1.2 lacks.
//
// A pitched play hands the mixer a silent carrier chunk, timed to last exactly as long as
// the sound at the channel's ratio, and registers an effect on the channel that writes the
// real sound, resampled, over the carrier's data. So a slowed sound is not cut at its
// chunk's length, a faster one ends early, and the channel's volume, pause and halt work
// as for any chunk. The effect runs on the mixer's audio thread: it neither locks, nor
// allocates, nor calls the mixer (but for reading which chunk a channel plays). Everything
// else runs under the audio lock, which SDL holds around the mixing callback.
//
// A chunk the mixer plays by itself (Mix_PlayChannel, Mix_FadeInChannel) on a channel with a
// ratio other than 65536 is taken over: the effect, waiting on the idle channel or set on the
// play under way (whose place it finds from the data being mixed), reads it at the ratio
// from the first pass on, and a post effect of the mixer (the watcher) then replaces the
// play by a pitched play of a copy of the rest of the chunk. The copy keeps the play safe
// from Mix_FreeChunk. The mixer does not say whether its play was to repeat, nor fade: the
// pitched play plays the sound to its end once, and the mixer's channel-finished hook hears
// of its own play's end. Effects registered on the channel go with the mixer's play.
//
//   - ResamplePitch: the resampler itself, a pure function
//   - Mix_Pitch, Mix_PlayChannelPitched, Mix_FreeChunkPitched: the mixer calls
#pragma once

#include <cstdint>

struct Mix_Chunk;

namespace Vaxo
{

// Ratios are 16.16 fixed point: source frames per output frame.
constexpr int32_t kPitchUnity = 65536;
// Three octaves either way; a ratio of 0 would never end.
constexpr int32_t kPitchMinRatio = kPitchUnity / 8;
constexpr int32_t kPitchMaxRatio = kPitchUnity * 8;

// Sample layout of audio data: an SDL audio format (AUDIO_U8 ... AUDIO_S16MSB) and the
// number of interleaved channels of a frame.
struct PitchFormat
{
    uint16_t format;
    int32_t channels;
};

// Bytes of one frame; 0 for a format that is not 8 or 16 bits.
int32_t PitchFrameBytes(const PitchFormat& format);

// Fills dstFrames frames of dst from the srcFrames frames of src, reading at pos (source
// frames, 16.16) and stepping ratio per output frame, with linear interpolation between
// whole frames. With loop the source repeats; without, the frames after its end are
// silence. pos is left where the next call goes on. Answers the number of frames made
// from the source. Allocates nothing.
uint32_t ResamplePitch(const uint8_t* src, uint32_t srcFrames, uint8_t* dst, uint32_t dstFrames,
                       const PitchFormat& format, uint32_t ratio, bool loop, uint64_t& pos);

// Channels 0 to kPitchChannels - 1 can be pitched.
constexpr int kPitchChannels = 256;

// Sets the playback-rate ratio of channel (clamped to kPitchMinRatio..kPitchMaxRatio). It
// holds for whatever plays there, from the next mixing pass on, and for later plays until
// changed, whether they are made by Mix_PlayChannelPitched or by the mixer itself. Answers 0
// for a channel out of range, else 1.
int Mix_Pitch(int channel, int ratio);

// Plays chunk on channel at the channel's ratio, as Mix_PlayChannelTimed does without a
// time limit: loops is 0 (once) or -1 (forever). Effects registered on the channel before
// are removed. Answers the channel, or -1 (see Mix_GetError).
int Mix_PlayChannelPitched(int channel, Mix_Chunk* chunk, int loops);

// Halts every channel playing chunk through its ratio, then frees chunk (Mix_FreeChunk
// halts only channels that play the chunk itself).
void Mix_FreeChunkPitched(Mix_Chunk* chunk);

} // namespace Vaxo
