// Internal to framework/app/sdl.
// OggSoundDecoder: decodes an Ogg Vorbis sound effect whole for the mixer, through libvorbisfile,
// from the bytes SoundFileCheck passed. SDL_mixer's own loader allocated the length the file's last
// page claims, decoded the file's last part of a chained file only, stopped at the first damaged
// page and played the rest of its buffer unwritten; here a sound holds what decodes:
//   - every link (part of a chained file) in order, each converted for the device as the mixer
//     converts a WAV of that link's rate and channels (SDL_BuildAudioCVT), so links may differ in
//     both; each link starts on a whole device frame (a link the converter left ending inside
//     one loses that part-frame when another follows);
//   - a damaged stretch (a page missing or refused for its checksum) is skipped, as the mixer's
//     song reader skips it; any other error of the decoder fails the load with its reason;
//   - up to kMaxSoundBytes, counted as it decodes: a longer sound is refused as too long to hold
//     whole (a song is streamed instead). No length the file claims is ever used.
// The file is read as a stream, from its start: libvorbisfile then never searches it backwards,
// and holds the headers of the link it decodes only.
//
// OggSongStream decodes a song the same way, a piece at a time as the mixer streams a song
// (StreamedMusic.h plays it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Mix_Chunk;

namespace Vaxo
{

// The most a sound effect's samples may take as the mixer's converter takes them: each link's
// decoded bytes (16-bit samples) times the converter's growth for them (SDL_AudioCVT's len_mult),
// added up over the links. 64 MiB: on a 44.1 kHz device, 6 min 20 s of 44.1 or 22.05 kHz, 5 min
// 49 s of 48 kHz, 1 min 27 s of 192 kHz, 8 min 44 s of 8 kHz, mono or stereo. A minute-long ambient
// loop is a sound effect; an hour is a song.
constexpr int64_t kMaxSoundBytes = int64_t(64) << 20;

// The sound in the Ogg Vorbis bytes [data, data + size) of the file at path, converted to the open
// device's format: a chunk the mixer frees with Mix_FreeChunk, or null with *failure saying what
// to say of the file (`refused sound file "P": ` and why for a sound too long, else `sound file
// "P" failed to decode: ` and the decoder's error; SDL's error text holds it too, after the path).
Mix_Chunk* DecodeOggSound(const std::string& path, const uint8_t* data, size_t size, std::string* failure);

// What to say of the Ogg Vorbis song in the bytes [data, data + size) of the file at path when the
// decoder cannot open it, as DecodeOggSound says it of a sound (`sound file "P" failed to decode: `
// and the decoder's error; SDL's error text holds it too); "" when it opens. Nothing is kept.
std::string OggSongFailure(const std::string& path, const uint8_t* data, size_t size);

// What the device plays: its rate in Hz, its SDL audio format and its channels, as Mix_QuerySpec
// answers them.
struct MixerFormat
{
    int32_t frequency;
    uint16_t format;
    int32_t channels;
};

// An Ogg Vorbis song decoded as it plays, from the bytes SoundFileCheck passed: a piece of at most
// 4 KiB of decoded samples at a time (as the mixer's own song reader decodes), converted from its
// link's rate and channels for the device as the sound decoder converts them. Every piece is whole
// device frames: the part-frame the converter leaves where it halves an odd count of frames (at a
// link's end) is cut, so that the next link, or the next round of a looping song, starts on a whole
// frame, where the mixer's reader went on from inside the frame (noise, or left and right swapped).
// Holds the file and the decoder of one link; nothing grows with the song's length.
class OggSongStream
{
public:
    // bytes: the whole file, shared with the song that holds it.
    OggSongStream(std::shared_ptr<const std::vector<char>> bytes, const MixerFormat& device);
    ~OggSongStream();
    OggSongStream(const OggSongStream&) = delete;
    OggSongStream& operator=(const OggSongStream&) = delete;

    // Goes back to the song's start; false when the decoder cannot open the file (SDL's error says
    // why). Nothing is read before.
    bool Rewind();

    // The next samples, up to max bytes (at least a frame), as whole device frames at *samples, valid
    // until the next call: their size in bytes, 0 at the song's end or where the decoder cannot go on
    // (a damaged stretch is skipped, as the mixer's reader skips it).
    size_t Read(const uint8_t** samples, size_t max);

private:
    struct Decoder;
    std::unique_ptr<Decoder> mDecoder;
};

} // namespace Vaxo
