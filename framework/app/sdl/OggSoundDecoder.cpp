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

struct DeviceFormat
{
    int frequency = 0;
    Uint16 format = 0;
    int channels = 0;
};

// The sound as it is decoded: the links converted so far, and the link being decoded.
class SoundBuilder
{
public:
    explicit SoundBuilder(const DeviceFormat& device) : mDevice(device) {}

    // Starts a link of this rate and channel count; false when SDL has no converter for it.
    bool StartLink(int32_t rate, int32_t channels)
    {
        // As SDL_mixer converts a WAV of 16-bit little-endian samples (its own Ogg loader's too).
        return SDL_BuildAudioCVT(&mCvt, AUDIO_S16LSB, Uint8(channels), rate, mDevice.format,
                                 Uint8(mDevice.channels), mDevice.frequency) >= 0;
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
        mCvt.buf = converted.get();
        mCvt.len = int(bytes);
        if (mCvt.needed != 0)
            SDL_ConvertAudio(&mCvt);
        else
            mCvt.len_cvt = mCvt.len;
        const size_t length = size_t(mCvt.len_cvt);
        // The mixer reads a sound in whole device frames from its start. Halving the rate of an odd
        // number of frames leaves a link ending inside a frame, which would shift every later link
        // by part of a frame (heard as noise, or left and right swapped): that part-frame goes once
        // a link follows, as the mixer drops a lone sound's.
        const int64_t frameBytes = PitchFrameBytes({mDevice.format, mDevice.channels});
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
    DeviceFormat mDevice;
    SDL_AudioCVT mCvt{};
    Pieces mLink;
    Buffer mSound; // the links converted so far
    int64_t mLength = 0;
};

std::string DecoderError(long error)
{
    return "Vorbis data that the decoder cannot go on from (libvorbisfile error " + std::to_string(error) +
           ")";
}

// The sound of the open file, or null with *error saying why and *refused whether it is a sound
// too long.
Mix_Chunk* Decode(OggVorbis_File& file, const DeviceFormat& device, std::string* error, bool* refused)
{
    SoundBuilder sound(device);
    int32_t link = -1;
    static constexpr int kReadBytes = 16384;
    std::vector<uint8_t> read(kReadBytes);
    for (;;)
    {
        int readLink = 0;
        const long got = ov_read(&file, reinterpret_cast<char*>(read.data()), kReadBytes, 0, 2, 1, &readLink);
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

} // namespace

Mix_Chunk* DecodeOggSound(const std::string& path, const uint8_t* data, size_t size, std::string* failure)
{
    std::string error;
    bool refused = false;
    Mix_Chunk* chunk = nullptr;
    DeviceFormat device;
    MemorySource source = {data, size, 0};
    // No seek: libvorbisfile reads the file as a stream, link after link, and never looks for the
    // length its pages claim.
    const ov_callbacks callbacks = {ReadMemory, nullptr, nullptr, nullptr};
    OggVorbis_File file;
    if (Mix_QuerySpec(&device.frequency, &device.format, &device.channels) == 0)
        error = "no audio device open";
    else if (const int opened = ov_open_callbacks(&source, &file, nullptr, 0, callbacks); opened < 0)
        error = DecoderError(opened);
    else
    {
        chunk = Decode(file, device, &error, &refused);
        ov_clear(&file);
    }
    if (chunk == nullptr)
    {
        SDL_SetError("%s: %s", path.c_str(), error.c_str());
        *failure = refused ? "refused sound file \"" + path + "\": " + error
                           : "sound file \"" + path + "\" failed to decode: " + error;
    }
    return chunk;
}

} // namespace Vaxo
