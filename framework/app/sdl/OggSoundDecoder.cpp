#include "app/sdl/OggSoundDecoder.h"

#include "app/sdl/MixPitch.h"
#include "app/sdl/SoundFileCheck.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{

struct MemorySource
{
    const uint8_t* data;
    size_t size;
    size_t pos;
};

size_t ReadMemory(void* out, size_t size, size_t count, void* source)
{
    auto* from = static_cast<MemorySource*>(source);
    const size_t bytes = size == 0 ? 0 : std::min(count * size, from->size - from->pos) / size * size;
    std::memcpy(out, from->data + from->pos, bytes);
    from->pos += bytes;
    return bytes / (size == 0 ? 1 : size);
}

// Memory of the C library's allocator, which Mix_FreeChunk frees (SDL_free is free).
struct FreeMemory
{
    void operator()(uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeMemory>;

// Decoded bytes in pieces of a fixed size, so that growing never copies what is held.
class Pieces
{
public:
    void Append(const uint8_t* bytes, size_t count)
    {
        while (count > 0)
        {
            if (mPieces.empty() || mUsed == kPiece)
            {
                mPieces.push_back(std::make_unique<uint8_t[]>(kPiece));
                mUsed = 0;
            }
            const size_t part = std::min(count, kPiece - mUsed);
            std::memcpy(mPieces.back().get() + mUsed, bytes, part);
            mUsed += part;
            bytes += part;
            count -= part;
        }
    }

    int64_t Size() const
    {
        return mPieces.empty() ? 0 : int64_t(mPieces.size() - 1) * int64_t(kPiece) + int64_t(mUsed);
    }

    // Copies everything to out, dropping each piece once copied, and empties.
    void MoveTo(uint8_t* out)
    {
        for (size_t i = 0; i < mPieces.size(); ++i)
        {
            const size_t part = i + 1 == mPieces.size() ? mUsed : kPiece;
            std::memcpy(out, mPieces[i].get(), part);
            out += part;
            mPieces[i].reset();
        }
        mPieces.clear();
        mUsed = 0;
    }

private:
    static constexpr size_t kPiece = 256 * 1024;
    std::vector<std::unique_ptr<uint8_t[]>> mPieces;
    size_t mUsed = 0; // bytes of the last piece
};

// Converts a link of this rate and channel count as SDL_mixer converts a WAV of 16-bit little-endian
// samples (its own Ogg readers' too); false when SDL has no converter for it.
bool BuildLinkConverter(SDL_AudioCVT* cvt, int32_t rate, int32_t channels, const MixerFormat& device)
{
    return SDL_BuildAudioCVT(cvt, AUDIO_S16LSB, Uint8(channels), int(rate), device.format,
                             Uint8(device.channels), int(device.frequency)) >= 0;
}

// Converts length bytes at buf, in place (buf holds length * cvt->len_mult); answers the bytes
// converted.
size_t ConvertInPlace(SDL_AudioCVT* cvt, uint8_t* buf, int length)
{
    cvt->buf = buf;
    cvt->len = length;
    if (cvt->needed != 0)
        SDL_ConvertAudio(cvt);
    else
        cvt->len_cvt = cvt->len;
    return size_t(cvt->len_cvt);
}

// The bytes of one device frame.
int64_t FrameBytes(const MixerFormat& device)
{
    return PitchFrameBytes({device.format, device.channels});
}

// No seek: libvorbisfile reads the file as a stream, link after link, and never looks for the
// length its pages claim.
const ov_callbacks kStreamCallbacks = {ReadMemory, nullptr, nullptr, nullptr};

// What libvorbisfile's error number means for a sound or song.
std::string DecoderError(long error)
{
    return "Vorbis data that the decoder cannot go on from (libvorbisfile error " + std::to_string(error) +
           ")";
}

// Decoded samples are read in pieces of this many bytes: a sound's in larger ones (it is decoded
// whole), a song's as SDL_mixer's reader reads them.
constexpr int kSoundReadBytes = 16384;
constexpr int kSongReadBytes = 4096;

// The sound as it is decoded: the links converted so far, and the link being decoded.
class SoundBuilder
{
public:
    explicit SoundBuilder(const MixerFormat& device) : mDevice(device) {}

    // Starts a link of this rate and channel count; false when SDL has no converter for it.
    bool StartLink(int32_t rate, int32_t channels)
    {
        return BuildLinkConverter(&mCvt, rate, channels, mDevice);
    }

    // What holding count more decoded bytes of the link would make the sound take.
    int64_t CostWith(int64_t count) const { return mLength + (mLink.Size() + count) * mCvt.len_mult; }

    void Append(const uint8_t* bytes, size_t count) { mLink.Append(bytes, count); }

    // Converts the link decoded so far and adds it to the sound; false when out of memory.
    bool EndLink()
    {
        const int64_t bytes = mLink.Size();
        if (bytes == 0)
            return true;
        // The converter works in place, in a buffer of its own growth (zeroed, as the mixer's).
        Buffer converted(static_cast<uint8_t*>(std::calloc(size_t(bytes * mCvt.len_mult), 1)));
        if (converted == nullptr)
            return false;
        mLink.MoveTo(converted.get());
        const size_t length = ConvertInPlace(&mCvt, converted.get(), int(bytes));
        // The mixer reads a sound in whole device frames from its start. Halving the rate of an odd
        // number of frames leaves a link ending inside a frame, which would shift every later link
        // by part of a frame (heard as noise, or left and right swapped): that part-frame goes once
        // a link follows, as the mixer drops a lone sound's.
        const int64_t frameBytes = FrameBytes(mDevice);
        if (mSound != nullptr && frameBytes != 0)
            mLength -= mLength % frameBytes;
        // The first link's buffer becomes the sound's, the converter's spare room given back.
        uint8_t* const grown = mSound == nullptr ? converted.get() : mSound.get();
        auto* joined =
            static_cast<uint8_t*>(std::realloc(grown, std::max<size_t>(size_t(mLength) + length, 1)));
        if (joined == nullptr)
            return false;
        if (mSound == nullptr)
            converted.release();
        else
            std::memcpy(joined + mLength, converted.get(), length);
        mSound.release();
        mSound.reset(joined);
        mLength += int64_t(length);
        return true;
    }

    // The sound as a chunk that owns its samples, null when out of memory.
    Mix_Chunk* Chunk()
    {
        // Even an empty sound has samples of its own to free.
        if (mSound == nullptr)
            mSound.reset(static_cast<uint8_t*>(std::malloc(1)));
        Mix_Chunk* chunk = mSound != nullptr ? Mix_QuickLoad_RAW(mSound.get(), Uint32(mLength)) : nullptr;
        if (chunk == nullptr)
            return nullptr;
        chunk->allocated = 1;
        mSound.release();
        return chunk;
    }

private:
    MixerFormat mDevice;
    SDL_AudioCVT mCvt{};
    Pieces mLink;
    Buffer mSound; // the links converted so far
    int64_t mLength = 0;
};

// The sound of the open file, or null with *error saying why and *refused whether it is a sound
// too long.
Mix_Chunk* Decode(OggVorbis_File& file, const MixerFormat& device, std::string* error, bool* refused)
{
    SoundBuilder sound(device);
    int32_t link = -1;
    std::vector<uint8_t> read(kSoundReadBytes);
    for (;;)
    {
        int readLink = 0;
        const long got =
            ov_read(&file, reinterpret_cast<char*>(read.data()), kSoundReadBytes, 0, 2, 1, &readLink);
        if (got == 0)
            break;
        // A damaged stretch: what follows is decoded, as the song reader goes on past it. (The
        // reader reports one at the start of each later link of a chained file too, for the page it
        // reads there twice.)
        if (got == OV_HOLE)
            continue;
        if (got < 0)
        {
            *error = DecoderError(got);
            return nullptr;
        }
        if (readLink != link)
        {
            const vorbis_info* info = ov_info(&file, -1);
            if (!sound.EndLink())
            {
                *error = "out of memory";
                return nullptr;
            }
            if (!sound.StartLink(int32_t(info->rate), int32_t(info->channels)))
            {
                *error = std::string("no conversion for the device: ") + SDL_GetError();
                return nullptr;
            }
            link = readLink;
        }
        if (sound.CostWith(got) > kMaxSoundBytes)
        {
            *error = SoundFileProblemText(SoundFileProblem::TooLong);
            *refused = true;
            return nullptr;
        }
        sound.Append(read.data(), size_t(got));
    }
    Mix_Chunk* chunk = sound.EndLink() ? sound.Chunk() : nullptr;
    if (chunk == nullptr)
        *error = "out of memory";
    return chunk;
}

// What to say of the file at path that failed to decode, or was refused, for error (SDL's error too).
std::string DecodeFailure(const std::string& path, const std::string& error, bool refused)
{
    SDL_SetError("%s: %s", path.c_str(), error.c_str());
    return refused ? "refused sound file \"" + path + "\": " + error
                   : "sound file \"" + path + "\" failed to decode: " + error;
}

} // namespace

Mix_Chunk* DecodeOggSound(const std::string& path, const uint8_t* data, size_t size, std::string* failure)
{
    std::string error;
    bool refused = false;
    Mix_Chunk* chunk = nullptr;
    int frequency = 0;
    Uint16 format = 0;
    int channels = 0;
    MemorySource source = {data, size, 0};
    OggVorbis_File file;
    if (Mix_QuerySpec(&frequency, &format, &channels) == 0)
        error = "no audio device open";
    else if (const int opened = ov_open_callbacks(&source, &file, nullptr, 0, kStreamCallbacks); opened < 0)
        error = DecoderError(opened);
    else
    {
        chunk = Decode(file, {frequency, format, channels}, &error, &refused);
        ov_clear(&file);
    }
    if (chunk == nullptr)
        *failure = DecodeFailure(path, error, refused);
    return chunk;
}

std::string OggSongFailure(const std::string& path, const uint8_t* data, size_t size)
{
    MemorySource source = {data, size, 0};
    OggVorbis_File file;
    // libvorbisfile clears what it read when the open fails.
    const int opened = ov_open_callbacks(&source, &file, nullptr, 0, kStreamCallbacks);
    if (opened < 0)
        return DecodeFailure(path, DecoderError(opened), false);
    ov_clear(&file);
    return std::string();
}

struct OggSongStream::Decoder
{
    std::shared_ptr<const std::vector<char>> bytes;
    MixerFormat device;
    int64_t frameBytes;
    MemorySource source{};
    OggVorbis_File file{};
    bool open = false;
    int32_t link = -1; // the link the converter is for
    SDL_AudioCVT cvt{};
    std::vector<uint8_t> converted; // the piece: decoded, then converted in place
    size_t at = 0;                  // bytes of the piece already read
    size_t end = 0;                 // its whole frames' bytes

    ~Decoder() { Close(); }

    void Close()
    {
        if (open)
            ov_clear(&file);
        open = false;
    }

    // Decodes and converts the next piece that holds a whole frame; false at the end, or where the
    // decoder cannot go on.
    bool NextPiece()
    {
        for (at = end = 0; open;)
        {
            int readLink = 0;
            uint8_t read[kSongReadBytes];
            const long got =
                ov_read(&file, reinterpret_cast<char*>(read), kSongReadBytes, 0, 2, 1, &readLink);
            // A damaged stretch, or the page read twice where a later link starts (the sound
            // decoder's note): decoding goes on after it.
            if (got == OV_HOLE)
                continue;
            if (got <= 0)
                break;
            if (readLink != link)
            {
                const vorbis_info* info = ov_info(&file, -1);
                if (info == nullptr ||
                    !BuildLinkConverter(&cvt, int32_t(info->rate), int32_t(info->channels), device))
                    break;
                link = readLink;
                // The converter works in place, in a buffer of its own growth.
                converted.resize(std::max(converted.size(), size_t(kSongReadBytes) * size_t(cvt.len_mult)));
            }
            std::memcpy(converted.data(), read, size_t(got));
            const size_t length = ConvertInPlace(&cvt, converted.data(), int(got));
            // A part-frame is cut: the device plays whole frames, and the next piece starts a frame.
            end = length - length % size_t(frameBytes);
            if (end > 0)
                return true;
        }
        Close();
        return false;
    }
};

OggSongStream::OggSongStream(std::shared_ptr<const std::vector<char>> bytes, const MixerFormat& device)
    : mDecoder(std::make_unique<Decoder>())
{
    mDecoder->bytes = std::move(bytes);
    mDecoder->device = device;
    mDecoder->frameBytes = std::max<int64_t>(FrameBytes(device), 1);
}

OggSongStream::~OggSongStream() = default;

bool OggSongStream::Rewind()
{
    Decoder& d = *mDecoder;
    d.Close();
    d.source = {reinterpret_cast<const uint8_t*>(d.bytes->data()), d.bytes->size(), 0};
    d.link = -1;
    d.at = d.end = 0;
    // libvorbisfile clears what it read when the open fails.
    const int opened = ov_open_callbacks(&d.source, &d.file, nullptr, 0, kStreamCallbacks);
    if (opened < 0)
    {
        SDL_SetError("%s", DecoderError(opened).c_str());
        return false;
    }
    d.open = true;
    return true;
}

size_t OggSongStream::Read(const uint8_t** samples, size_t max)
{
    Decoder& d = *mDecoder;
    if (d.at == d.end && !d.NextPiece())
        return 0;
    const size_t frames = std::min(max, d.end - d.at) / size_t(d.frameBytes);
    *samples = d.converted.data() + d.at;
    d.at += frames * size_t(d.frameBytes);
    return frames * size_t(d.frameBytes);
}

} // namespace Vaxo
