#include "app/sdl/SoundFileCheck.h"

#include "app/sdl/VorbisSetupCheck.h"
#include "common/AtomicFile.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Vaxo
{

namespace
{

// The device rate with the most doublings on the way up from a low rate.
constexpr int32_t kHighDeviceRate = 44100;
constexpr uint16_t kWavPcm = 1;
constexpr uint16_t kWavMsAdpcm = 2;
constexpr uint16_t kWavImaAdpcm = 0x11;

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool Is(const uint8_t* p, const char* tag)
{
    return std::memcmp(p, tag, std::strlen(tag)) == 0;
}

bool IsWav(const uint8_t* data, size_t size)
{
    return size >= 12 && Is(data, "RIFF") && Is(data + 8, "WAVE");
}

bool IsAiff(const uint8_t* data, size_t size)
{
    return size >= 12 && Is(data, "FORM") && Is(data + 8, "AIFF");
}

bool IsOgg(const uint8_t* data, size_t size)
{
    return size >= 4 && Is(data, "OggS");
}

bool RateProblem(uint32_t rate)
{
    return rate < uint32_t(kSoundMinRate) || rate > uint32_t(kSoundMaxRate);
}

bool ChannelsProblem(uint32_t channels)
{
    return channels != 1 && channels != 2;
}

// The converter's buffer multiple for a sound effect: what one decoded byte may grow to on
// the way to the device (8 bits to 16, mono to stereo, and each rate doubling up to the
// device rate, counted as SDL_BuildAudioCVT counts them).
int64_t ConversionGrowth(int32_t bits, int32_t channels, int32_t rate)
{
    int64_t growth = (bits == 8 ? 2 : 1) * (channels == 1 ? 2 : 1);
    if (rate / 100 != kHighDeviceRate / 100 && rate < kHighDeviceRate)
        for (int64_t low = rate; low * 2 / 100 <= kHighDeviceRate / 100; low *= 2)
            growth *= 2;
    return growth;
}

// The converter sizes its buffer in an int.
bool FitsConversion(int64_t decodedBytes, int64_t growth)
{
    return decodedBytes <= INT32_MAX / growth;
}

struct WavChunk
{
    const uint8_t* id;
    const uint8_t* body;
    uint32_t length;
    size_t end; // offset just after the body
};

// The chunk at pos, false when its header or its body runs past the file's end (a damaged
// file can claim any length).
bool ReadWavChunk(const uint8_t* data, size_t size, size_t pos, WavChunk* chunk)
{
    if (size - pos < 8)
        return false;
    chunk->id = data + pos;
    chunk->length = Le32(data + pos + 4);
    if (size - pos - 8 < chunk->length)
        return false;
    chunk->body = data + pos + 8;
    chunk->end = pos + 8 + chunk->length;
    return true;
}

SoundFileProblem CheckWav(const uint8_t* data, size_t size, SoundFileUse use)
{
    // Both of the mixer's readers want the format before anything but "fact" and "LIST",
    // and both step from chunk to chunk without the pad byte that follows an odd length: the
    // next header would be read one byte early (the stream reader then spins for ever).
    WavChunk fmt;
    for (size_t pos = 12;; pos = fmt.end)
    {
        if (!ReadWavChunk(data, size, pos, &fmt))
            return SoundFileProblem::Truncated;
        if (Is(fmt.id, "fmt "))
            break;
        if (!(Is(fmt.id, "fact") || Is(fmt.id, "LIST")) || fmt.length % 2 != 0)
            return SoundFileProblem::ChunkLayout;
    }
    if (fmt.length % 2 != 0)
        return SoundFileProblem::ChunkLayout;
    if (fmt.length < 16)
        return SoundFileProblem::Truncated;
    const uint16_t encoding = Le16(fmt.body);
    const uint16_t channels = Le16(fmt.body + 2);
    const uint32_t rate = Le32(fmt.body + 4);
    const uint16_t blockAlign = Le16(fmt.body + 12);
    const uint16_t bits = Le16(fmt.body + 14);
    const bool adpcm = encoding == kWavMsAdpcm || encoding == kWavImaAdpcm;
    if (encoding == kWavPcm ? bits != 8 && bits != 16 : !adpcm || use == SoundFileUse::Song || bits != 4)
        return SoundFileProblem::Encoding;
    if (adpcm && fmt.length < 20)
        return SoundFileProblem::Truncated;
    if (ChannelsProblem(channels))
        return SoundFileProblem::Channels;
    if (RateProblem(rate))
        return SoundFileProblem::Rate;
    // An ADPCM block holds a header per channel, then two samples a byte; the decoder divides
    // by the block align and sizes its output by the samples each block claims.
    const int32_t blockHeader = (encoding == kWavImaAdpcm ? 4 : 7) * channels;
    const int32_t samplesPerBlock = adpcm ? Le16(fmt.body + 18) : 0;
    if (adpcm &&
        (blockAlign < blockHeader ||
         samplesPerBlock > (encoding == kWavImaAdpcm ? 1 : 2) + (blockAlign - blockHeader) * 2 / channels))
        return SoundFileProblem::BlockAlign;

    WavChunk samples;
    for (size_t pos = fmt.end;; pos = samples.end)
    {
        if (!ReadWavChunk(data, size, pos, &samples))
            return SoundFileProblem::Truncated;
        if (Is(samples.id, "data"))
            break;
        if (samples.length % 2 != 0)
            return SoundFileProblem::ChunkLayout;
    }
    if (use == SoundFileUse::Song)
        return SoundFileProblem::None;
    const int64_t decoded = adpcm ? int64_t(samples.length / blockAlign) * samplesPerBlock * channels * 2
                                  : int64_t(samples.length);
    return FitsConversion(decoded, ConversionGrowth(adpcm ? 16 : bits, channels, int32_t(rate)))
               ? SoundFileProblem::None
               : SoundFileProblem::TooLong;
}

// An AIFF rate, an 80-bit float, as the mixer's stream reader reads it: whole hertz, and only
// for exponents of 1 to 29; what it makes of the others (0, 1, 800,000,000 or 2^26) is
// outside kSoundMinRate..kSoundMaxRate, as 0 is.
uint32_t AiffRate(const uint8_t* p)
{
    if (p[0] != 0x40 || p[1] > 0x1C)
        return 0;
    return Be32(p + 2) >> 1 >> (29 - p[1]);
}

SoundFileProblem CheckAiff(const uint8_t* data, size_t size)
{
    // The mixer's AIFF stream reader walks the chunks until it has seen "COMM" and "SSND",
    // stepping over each without the pad byte that follows an odd length and failing at a
    // length of 0, then streams the samples that COMM counts from where SSND's offset points,
    // reading past the end of the file for as long as they claim.
    const uint8_t* comm = nullptr;
    const uint8_t* ssnd = nullptr;
    for (size_t pos = 12; comm == nullptr || ssnd == nullptr;)
    {
        if (size - pos < 8)
            return SoundFileProblem::Truncated;
        const uint8_t* id = data + pos;
        const uint32_t length = Be32(data + pos + 4);
        if (length == 0)
            return SoundFileProblem::ChunkLayout;
        if (size - pos - 8 < length)
            return SoundFileProblem::Truncated;
        if (Is(id, "COMM"))
            comm = id + 8;
        if (Is(id, "SSND"))
            ssnd = id + 8;
        if ((Is(id, "COMM") && length < 18) || (Is(id, "SSND") && length < 8))
            return SoundFileProblem::Truncated;
        if ((comm == nullptr || ssnd == nullptr) && length % 2 != 0)
            return SoundFileProblem::ChunkLayout;
        pos += 8 + length;
    }
    const uint16_t channels = Be16(comm);
    const uint32_t frames = Be32(comm + 2);
    const uint16_t bits = Be16(comm + 6);
    if (bits != 8 && bits != 16)
        return SoundFileProblem::Encoding;
    if (ChannelsProblem(channels))
        return SoundFileProblem::Channels;
    if (RateProblem(AiffRate(comm + 8)))
        return SoundFileProblem::Rate;
    const int64_t samplesStart = (ssnd - data) + 8 + int64_t(Be32(ssnd));
    if (samplesStart + int64_t(frames) * channels * (bits / 8) > int64_t(size))
        return SoundFileProblem::Truncated;
    return SoundFileProblem::None;
}

SoundFileProblem CheckOgg(const uint8_t* data, size_t size)
{
    // The Ogg reader finds pages by their capture pattern wherever it lies, and a chained
    // file starts a new stream, with its own channels and rate, anywhere. So every place a
    // page may start is looked at, checksum or not (a page the reader would skip is checked
    // for nothing, never the other way round). A stream's first page holds its
    // identification header.
    int64_t streams = 0;
    const uint8_t* const end = data + size;
    for (const uint8_t* page = data; end - page >= int64_t(kOggPageHeader); ++page)
    {
        static const uint8_t kCapture[] = {'O', 'g', 'g', 'S'};
        page = std::search(page, end, kCapture, kCapture + 4);
        if (end - page < int64_t(kOggPageHeader))
            break;
        const uint8_t flags = page[5];
        const size_t segments = page[26];
        if (page[4] != 0 || size_t(end - page) - kOggPageHeader < segments)
            continue;
        if (!(flags & kOggFirstPage))
            continue;
        // The first packet's length on this page: lacing values up to the first below 255.
        size_t packet = 0;
        for (size_t i = 0; i < segments; ++i)
        {
            packet += page[kOggPageHeader + i];
            if (page[kOggPageHeader + i] < 255)
                break;
        }
        const uint8_t* header = page + kOggPageHeader + segments;
        const size_t headerBytes = std::min(packet, size_t(end - header));
        if (headerBytes < 7 || !Is(header, "\x01vorbis"))
            return SoundFileProblem::UnknownFormat;
        if (flags & kOggContinued)
            return SoundFileProblem::OggLayout;
        if (headerBytes < kVorbisIdHeader)
            return SoundFileProblem::VorbisHeader;
        const VorbisIdentification id = ReadVorbisIdentification(header);
        if (ChannelsProblem(id.channels))
            return SoundFileProblem::Channels;
        if (RateProblem(id.rate))
            return SoundFileProblem::Rate;
        if (!DecoderTakes(id))
            return SoundFileProblem::VorbisHeader;
        ++streams;
    }
    // How long a stream is, its pages only claim: a sound effect's decoder stops at its own bound.
    if (streams == 0)
        return SoundFileProblem::UnknownFormat;
    return CheckVorbisHeaders(data, size);
}

// The readers of Mix_LoadMUS.
enum class SongReader
{
    ByContent, // no extension the mixer knows
    Wave,      // the WAV stream reader, which reads AIFF too
    Ogg,
    Midi,
    Flac,
    Mp3,
    Module, // libmikmod, for whatever no other reader claims
    None,   // too short for the mixer to tell
};

// Mix_LoadMUS's pick by the text after the name's last dot (in a folder's name too), in
// any case.
SongReader ReaderForName(const std::string& fileName)
{
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return SongReader::ByContent;
    std::string ext = fileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    const std::pair<const char*, SongReader> readers[] = {
        {"WAV", SongReader::Wave}, {"MID", SongReader::Midi}, {"MIDI", SongReader::Midi},
        {"KAR", SongReader::Midi}, {"OGG", SongReader::Ogg},  {"FLAC", SongReader::Flac},
        {"MPG", SongReader::Mp3},  {"MPEG", SongReader::Mp3}, {"MP3", SongReader::Mp3},
        {"MAD", SongReader::Mp3},
    };
    for (const auto& [name, reader] : readers)
        if (ext == name)
            return reader;
    return SongReader::ByContent;
}

// An ID3 tag, or an MPEG audio frame header of layer 1 to 3 with a usable bit rate and
// sample rate, as the mixer tells one.
bool IsMp3Start(const uint8_t* p)
{
    return Is(p, "ID3") || (p[0] == 0xFF && (p[1] & 0xF0) == 0xF0 && (p[1] & 0x06) != 0 &&
                            (p[2] & 0xF0) != 0 && (p[2] & 0xF0) != 0xF0 && (p[2] & 0x0C) != 0x0C);
}

// Mix_LoadMUS's pick by the first 12 bytes.
SongReader ReaderForContent(const uint8_t* data, size_t size)
{
    if (size < 12)
        return SongReader::None;
    if (IsWav(data, size) || Is(data, "FORM"))
        return SongReader::Wave;
    if (Is(data, "OggS"))
        return SongReader::Ogg;
    if (Is(data, "fLaC"))
        return SongReader::Flac;
    if (Is(data, "MThd"))
        return SongReader::Midi;
    if (IsMp3Start(data))
        return SongReader::Mp3;
    return SongReader::Module;
}

// The reader Mix_LoadMUS picks: by the name, else by the bytes.
SongReader ReaderFor(const std::string& fileName, const uint8_t* data, size_t size)
{
    const SongReader reader = ReaderForName(fileName);
    return reader == SongReader::ByContent ? ReaderForContent(data, size) : reader;
}

bool IsVoc(const uint8_t* data, size_t size)
{
    return size >= 20 && Is(data, "Creative Voice File\x1a");
}

// What a file's first bytes say it holds, for the words of a refusal.
enum class SoundKind
{
    OggVorbis,
    Played,      // as a sound effect or as a song
    NeverPlayed, // a format the framework plays as neither
    Unknown,     // none that the check knows (tracker modules among them)
};

struct KindOfBytes
{
    SoundKind kind;
    const char* words; // what the bytes are; null when Unknown
};

KindOfBytes KindOf(const uint8_t* data, size_t size)
{
    if (IsWav(data, size))
        return {SoundKind::Played, "WAV data"};
    if (IsAiff(data, size))
        return {SoundKind::Played, "AIFF data"};
    if (size >= 12 && Is(data, "FORM") && Is(data + 8, "AIFC"))
        return {SoundKind::NeverPlayed, "AIFF-C data"};
    if (IsOgg(data, size))
    {
        const size_t header = size >= kOggPageHeader ? kOggPageHeader + data[26] : size;
        if (size >= header + 7 && Is(data + header, "\x01vorbis"))
            return {SoundKind::OggVorbis, "Ogg Vorbis data"};
        return {SoundKind::NeverPlayed, "Ogg data of a codec other than Vorbis"};
    }
    if (size >= 4 && Is(data, "fLaC"))
        return {SoundKind::NeverPlayed, "FLAC data"};
    if (size >= 4 && Is(data, "MThd"))
        return {SoundKind::Played, "MIDI data"};
    if (IsVoc(data, size))
        return {SoundKind::NeverPlayed, "VOC data"};
    if (size >= 3 && IsMp3Start(data))
        return {SoundKind::NeverPlayed, "MP3 data"};
    return {SoundKind::Unknown, nullptr};
}

// The words for a file refused for its format: what it is and, where a song's name picks a
// reader that cannot read it, what the name says.
std::string FormatRefusal(const std::string& path, const uint8_t* data, size_t size, SoundFileUse use)
{
    if (size == 0)
        return "an empty file";
    KindOfBytes bytes = KindOf(data, size);
    const SongReader byName = use == SoundFileUse::Song ? ReaderForName(path) : SongReader::ByContent;
    // Ogg Vorbis data refused for its format where the Ogg reader reads it: a later stream is not
    // Vorbis.
    if (bytes.kind == SoundKind::OggVorbis && (byName == SongReader::ByContent || byName == SongReader::Ogg))
        bytes = {SoundKind::NeverPlayed, "Ogg data with a stream of a codec other than Vorbis"};
    const std::string what = bytes.words != nullptr ? bytes.words : "data";
    if (bytes.kind == SoundKind::NeverPlayed)
        return what + ", which is not played";
    if (use == SoundFileUse::Effect)
        return bytes.kind == SoundKind::Unknown ? "neither WAV nor Ogg Vorbis data"
                                                : what + ", which is not played as a sound effect";
    const std::string named =
        byName == SongReader::ByContent ? "" : " in a file named " + path.substr(path.rfind('.'));
    if (byName == SongReader::Flac || byName == SongReader::Mp3)
        return what + named + ", which is read as " + (byName == SongReader::Flac ? "FLAC" : "MP3") +
               " and not played";
    if (bytes.kind != SoundKind::Unknown)
        return what + named;
    if (byName == SongReader::ByContent && size < 12)
        return "too short to tell what it holds";
    return (byName == SongReader::Ogg ? "no Ogg Vorbis data" : "neither WAV nor AIFF data") + named;
}

} // namespace

const char* SoundFileProblemText(SoundFileProblem problem)
{
    switch (problem)
    {
    case SoundFileProblem::None:
        return "";
    case SoundFileProblem::UnknownFormat:
        return "not a format played here, or not what its name says";
    case SoundFileProblem::UnsafeFormat:
        return "FLAC or MP3, which is not played";
    case SoundFileProblem::Truncated:
        return "a header or chunk runs past the end of the file";
    case SoundFileProblem::ChunkLayout:
        return "chunks out of order or of odd or zero length";
    case SoundFileProblem::Encoding:
        return "unsupported encoding or sample size";
    case SoundFileProblem::Channels:
        return "channel count other than 1 or 2";
    case SoundFileProblem::Rate:
        return "sample rate out of range";
    case SoundFileProblem::BlockAlign:
        return "bad ADPCM block size";
    case SoundFileProblem::TooLong:
        return "too long to be held whole as a sound effect (play it as a song)";
    case SoundFileProblem::OggLayout:
        return "Ogg pages missing, out of order, cut short, inside one another, of a stream not begun or "
               "reused, or audio on the page of a later part's headers";
    case SoundFileProblem::OggStray:
        return "more bytes outside the Ogg pages, or false page starts, than the decoder searches "
               "through quickly";
    case SoundFileProblem::OggBackSearch:
        return "more Ogg pages after the audio's end than the decoder searches back through quickly";
    case SoundFileProblem::VorbisHeader:
        return "damaged Vorbis header";
    case SoundFileProblem::Codebook:
        return "damaged Vorbis codebook";
    case SoundFileProblem::HeaderMemory:
        return "Vorbis headers that would take the decoder too much memory";
    }
    return "";
}

std::string SoundFileRefusal(SoundFileProblem problem, const std::string& path, const uint8_t* data,
                             size_t size, SoundFileUse use)
{
    if (problem == SoundFileProblem::UnknownFormat || problem == SoundFileProblem::UnsafeFormat)
        return FormatRefusal(path, data, size, use);
    return SoundFileProblemText(problem);
}

CheckedSoundFile ReadCheckedSoundFile(const std::string& path, SoundFileUse use)
{
    CheckedSoundFile file;
    const std::string named = "sound file \"" + path + "\"";
    // The mixer's file offsets are ints: a larger file could not be loaded anyway (EFBIG).
    const StoredFileRead read = ReadStoredFile(path, &file.bytes);
    file.found = read != StoredFileRead::kMissing;
    if (read != StoredFileRead::kRead)
    {
        file.failure =
            named + (file.found ? std::string(" cannot be read: ") + std::strerror(errno) : " not found");
        return file;
    }
    const auto* const data = reinterpret_cast<const uint8_t*>(file.bytes.data());
    const size_t size = file.bytes.size();
    const SoundFileProblem problem =
        use == SoundFileUse::Song ? CheckSongFile(path, data, size) : CheckSoundFile(data, size, use);
    if (problem != SoundFileProblem::None)
    {
        const std::string reason = SoundFileRefusal(problem, path, data, size, use);
        SDL_SetError("%s: %s", path.c_str(), reason.c_str());
        file.failure = "refused " + named + ": " + reason;
    }
    return file;
}

std::string MixerFailure(const std::string& path)
{
    return "sound file \"" + path + "\" failed to load in the mixer: " + SDL_GetError();
}

void ReportSoundFileNotLoaded(const std::string& program, const std::string& what, SoundFileUse use,
                              const std::string& instead)
{
    // A sound that does not load may end the program (a resource group it cannot start without):
    // the line says only that it is not loaded.
    const std::string heard = !instead.empty()              ? "\"" + instead + "\" is played instead"
                              : use == SoundFileUse::Effect ? "the sound is not loaded"
                                                            : "the song stays silent";
    std::fprintf(stderr, "%s: %s; %s\n", program.c_str(), what.c_str(), heard.c_str());
}

SoundFileProblem CheckSoundFile(const uint8_t* data, size_t size, SoundFileUse use)
{
    if (IsWav(data, size))
        return CheckWav(data, size, use);
    if (IsOgg(data, size))
        return CheckOgg(data, size);
    if (use == SoundFileUse::Song && IsAiff(data, size))
        return CheckAiff(data, size);
    return SoundFileProblem::UnknownFormat;
}

SoundFileProblem CheckSongFile(const std::string& fileName, const uint8_t* data, size_t size)
{
    switch (ReaderFor(fileName, data, size))
    {
    case SongReader::Wave:
        // The WAV stream reader takes WAV or AIFF by the bytes, whatever the name says.
        if (!IsWav(data, size) && !IsAiff(data, size))
            return SoundFileProblem::UnknownFormat;
        return CheckSoundFile(data, size, SoundFileUse::Song);
    case SongReader::Ogg:
        if (!IsOgg(data, size))
            return SoundFileProblem::UnknownFormat;
        return CheckSoundFile(data, size, SoundFileUse::Song);
    case SongReader::Flac:
    case SongReader::Mp3:
        return SoundFileProblem::UnsafeFormat;
    case SongReader::Midi:
        return SoundFileProblem::None;
    case SongReader::Module:
        return IsVoc(data, size) ? SoundFileProblem::UnknownFormat : SoundFileProblem::None;
    case SongReader::ByContent:
    case SongReader::None:
        break;
    }
    return SoundFileProblem::UnknownFormat;
}

bool IsOggSong(const std::string& fileName, const uint8_t* data, size_t size)
{
    return ReaderFor(fileName, data, size) == SongReader::Ogg;
}

} // namespace Vaxo
