// Internal to framework/app/sdl.
// SoundFileCheck: looks at a sound effect or a song before SDL_mixer decodes it. The
// mixer and SDL trust every header field of the files they decode: a channel count of 0, a
// rate the converter cannot reach, an ADPCM block align of 0 or a chunk length past the
// file's end crash or freeze them. Used by the sound manager and the music player, which
// treat a refused file as one that failed to load.
//
// Sound effects are accepted in the two formats the framework loads, whatever the file's
// name says:
//   - WAV: PCM of 8 or 16 bits, or IMA / Microsoft ADPCM (sound effects only: the streamed
//     music reads PCM alone); only "fact" and "LIST" chunks before the "fmt " chunk, every
//     chunk up to the "data" chunk within the file and of even length (the mixer does
//     not skip a chunk's pad byte);
//   - Ogg Vorbis: every stream's identification header (the first page is one), and its
//     comment and setup headers as the decoder will read them, and the pages as the Ogg reader
//     finds them (VorbisSetupCheck.h); the framework decodes it (OggSoundDecoder.h);
// and in both 1 or 2 channels at kSoundMinRate to kSoundMaxRate samples per second.
//
// A song goes to the mixer's reader that Mix_LoadMUS picks, by the name's extension or
// else by the first bytes: WAV and Ogg Vorbis are checked as above, and AIFF (read by the
// WAV stream reader) like WAV, PCM of 8 or 16 bits; MIDI and tracker modules (MOD, XM,
// S3M, IT and the rest, read by libmikmod) go to the mixer unchanged. FLAC and MP3 are
// refused: damaged FLAC files write past a buffer or hang the mixer holding its lock, and
// an MP3 whose rate changes between frames overruns the converter's buffer. VOC is no
// song format of the mixer (it would reach libmikmod, which knows no VOC). So a song whose
// name picks a reader that cannot read its bytes (Ogg Vorbis named .wav, say) is refused,
// where a sound effect of either format is played under either name.
//
// A file that does not load, refused here or failed by the mixer after the check passed it,
// or not there at all, is named on the standard error stream with the reason, once for each
// load, in one line that ends by saying what is heard instead (ReportSoundFileNotLoaded).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vaxo
{

// The rates the mixer converts safely to either device rate the framework opens (44,100
// and 22,050 Hz): SDL's converter keeps at most 9 steps, and 8-bit mono needs 3 before
// the rate doublings.
constexpr int32_t kSoundMinRate = 1000;
constexpr int32_t kSoundMaxRate = 192000;

// What a file is loaded as: a sound effect is decoded whole into memory and converted in
// one piece (so a WAV's converted size must stay below 2 GiB, and Ogg Vorbis is decoded up to
// a bound of its own, OggSoundDecoder.h); a song is streamed.
enum class SoundFileUse
{
    Effect,
    Song,
};

// Why a file is refused; None when the mixer may have it.
enum class SoundFileProblem
{
    None,
    UnknownFormat, // neither WAV nor Ogg Vorbis (nor AIFF, for a song), or not what the name says
    UnsafeFormat,  // a FLAC or MP3 song, whose readers in the mixer overrun buffers or hang
                   // (the words for these two name what the bytes are: SoundFileRefusal)
    Truncated,     // a header or chunk runs past the end of the file
    ChunkLayout,   // chunks the mixer would misread: odd lengths, no "fmt " first, AIFF length 0
    Encoding,      // a WAV encoding or a sample size the mixer does not decode
    Channels,      // not 1 or 2 channels
    Rate,          // outside kSoundMinRate..kSoundMaxRate
    BlockAlign,    // an ADPCM block that cannot hold its header or its samples
    TooLong,       // decoded and converted, more than a sound effect may take
    OggLayout,     // Ogg header pages missing, out of order or cut short, a page inside a page, a
                   // page of a stream that did not begin the link (the chained file's part) it is in
                   // or that an earlier link has, or audio on the page that ends a later link's headers
    OggStray,      // more bytes outside the Ogg pages, or false page starts, than the reader
                   // searches through quickly
    OggBackSearch, // more pages after the audio's last page in a link than the reader's open
                   // searches back through quickly
    VorbisHeader,  // a Vorbis identification, comment or setup header the decoder refuses
    Codebook,      // a Vorbis codebook the decoder divides by zero on, hangs on or cannot build
    HeaderMemory,  // Vorbis headers for which the decoder would allocate too much
};

// A short English description of problem.
const char* SoundFileProblemText(SoundFileProblem problem);

// Why the check refuses the bytes of the file at path as use, in words: for a file of a format
// not played, or not the one its name picks, what the bytes are and, where it matters, what
// the name says ("Ogg Vorbis data in a file named .wav", "MP3 data, which is not played");
// else SoundFileProblemText(problem).
std::string SoundFileRefusal(SoundFileProblem problem, const std::string& path, const uint8_t* data,
                             size_t size, SoundFileUse use);

// A file read and checked for the mixer.
struct CheckedSoundFile
{
    bool found = false;      // a file is at the path
    std::string failure;     // "" when the mixer may have the bytes, else what to say of the file
    std::vector<char> bytes; // the whole file, when found and readable
};

// Reads the file at path and checks its bytes for use (a song for Mix_LoadMUS, by its name
// too). What to say of a file that fails: `refused sound file "P": ` and SoundFileRefusal's
// words (which SDL's error text then holds, after the path), `sound file "P" not found`, or why
// it cannot be read.
CheckedSoundFile ReadCheckedSoundFile(const std::string& path, SoundFileUse use);

// What to say of the file at path when the mixer failed to load it after the check passed it:
// the mixer's error.
std::string MixerFailure(const std::string& path);

// Names a file that did not load on the standard error stream, in one line: the program's name
// (as its other lines begin), what (from the two above), and what comes of it: the file that
// `instead` names is played, or else the sound is not loaded, or the song stays silent. The user
// would not know why otherwise.
void ReportSoundFileNotLoaded(const std::string& program, const std::string& what, SoundFileUse use,
                              const std::string& instead = "");

// Checks the bytes of a file that is to be loaded as use.
SoundFileProblem CheckSoundFile(const uint8_t* data, size_t size, SoundFileUse use);

// Checks a song for Mix_LoadMUS, which picks its reader by the name's extension before
// looking at the bytes: what that reader makes of the bytes must be safe.
SoundFileProblem CheckSongFile(const std::string& fileName, const uint8_t* data, size_t size);

// Whether Mix_LoadMUS would read the song as Ogg Vorbis (by its name, or else by its bytes): the
// framework streams such a song itself (StreamedMusic.h). For bytes CheckSongFile passed.
bool IsOggSong(const std::string& fileName, const uint8_t* data, size_t size);

} // namespace Vaxo
