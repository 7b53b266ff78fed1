// An arbitrary file loaded as a sound effect and as a song, through the sound manager (which
// decodes Ogg Vorbis itself, every link, up to its bound) and the music player, under each name
// whose extension picks another song reader (".wav", ".ogg", none: then the bytes pick WAV, AIFF,
// Ogg, MIDI or a tracker module; an Ogg song is streamed by the framework). What loads is
// played for a bounded stretch through SDL's disk driver, which mixes far faster than real time (the
// song named .ogg looping, so that a short one starts over). It
// loads or it fails, and it plays: SDL and the mixer must not crash or hang on what is let
// through. Mutated inputs have their Ogg pages' checksums made right again (but one in eight),
// since the Ogg reader skips a page whose checksum is wrong and few would reach the decoder.
#include "app/SoundInstance.h"
#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/sdl/VorbisSetupCheck.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace
{

std::string gDir; // the input's folder, ends in "/"
std::atomic<int64_t> gMixedBuffers{0};
// About 1.5 s of sound at most for each play (the device's buffers are 1,024 frames).
constexpr int64_t kBuffersPerPlay = 64;

void RemoveFiles()
{
    for (const char* name : {"in.wav", "in.ogg", "in", ""})
        std::remove((gDir + name).c_str());
}

// Lets the mixer run while playing() answers true, for at most kBuffersPerPlay buffers. A mixer
// stuck on a song holds its lock, and the fuzzer's time-out reports it.
void Mix(const std::function<bool()>& playing)
{
    for (const int64_t end = gMixedBuffers + kBuffersPerPlay; gMixedBuffers < end && playing();)
        SDL_Delay(1);
}

// Gives each Ogg page, as a reader from the start finds them, the checksum it should carry.
void FixOggPageChecksums(uint8_t* data, size_t size)
{
    for (size_t page = 0; page < size; ++page)
    {
        const size_t pageSize = Vaxo::OggPageSize(data + page, data + size);
        if (pageSize == 0)
            continue;
        const uint32_t crc = Vaxo::OggPageChecksum(data + page, pageSize);
        for (size_t i = 0; i < 4; ++i)
            data[page + Vaxo::kOggChecksumAt + i] = uint8_t(crc >> (8 * i));
        page += pageSize - 1; // on from the page's end
    }
}

} // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0)
        FixOggPageChecksums(data, size);
    return size;
}

// libvorbisfile loses a few bytes (its list of stream serial numbers) when a chained file's
// later stream is damaged, and the headers it read, allocated by libvorbis, when it fails to
// open a chained file (one whose part without audio is followed by another, say); nothing of
// the framework is in that path. The leak report's stacks stop in libvorbis, which keeps no
// frame pointers.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libvorbisfile\nleak:libvorbis.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Vaxo::SDLSoundManager* sounds = []
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        std::string dir =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm/vaxo_sound.XXXXXX" : "/tmp/vaxo_sound.XXXXXX";
        if (mkdtemp(&dir[0]) == nullptr)
            std::abort();
        gDir = dir + "/";
        // The other names lead to the same bytes.
        if (symlink("in.wav", (gDir + "in.ogg").c_str()) != 0 ||
            symlink("in.wav", (gDir + "in").c_str()) != 0)
            std::abort();
        std::atexit(RemoveFiles);
        auto* manager = new Vaxo::SDLSoundManager("Vaxo");
        if (!manager->Initialized())
            std::abort();
        Mix_SetPostMix([](void*, Uint8*, int) { ++gMixedBuffers; }, nullptr);
        return manager;
    }();
    static Vaxo::SDLMusicInterface music("Vaxo");
    std::ofstream(gDir + "in.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (sounds->LoadSound(0u, gDir + "in"))
    {
        Vaxo::SoundInstance* sound = sounds->GetSoundInstance(0);
        if (sound != nullptr && sound->Play(false, false))
            Mix([sound] { return sound->IsPlaying(); });
        if (sound != nullptr)
            sound->Release();
    }
    sounds->ReleaseSound(0);
    for (const char* name : {"in.wav", "in.ogg", "in"})
    {
        if (music.LoadMusic(0, gDir + name))
        {
            music.PlayMusic(0, 0, std::string(name) != "in.ogg");
            Mix([] { return music.IsPlaying(0); });
        }
        music.UnloadMusic(0);
    }
    return 0;
}
