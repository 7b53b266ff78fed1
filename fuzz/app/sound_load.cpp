// An arbitrary file loaded as a sound effect and as a song, through the sound manager and the
// music player, under each name whose extension picks another song decoder (".wav", ".ogg",
// none). It loads or it fails: SDL and the mixer must not crash or hang on what is let
// through.
#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/SDLSoundManager.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace
{

std::string gDir; // the input's folder, ends in "/"

void RemoveFiles()
{
    for (const char* name : {"in.wav", "in.ogg", "in", ""})
        std::remove((gDir + name).c_str());
}

} // namespace

// libvorbisfile loses a few bytes (its list of stream serial numbers) when a chained file's
// later stream is damaged; nothing of the framework is in that path.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libvorbisfile\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Vaxo::SDLSoundManager* sounds = []
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
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
        return new Vaxo::SDLSoundManager();
    }();
    static Vaxo::SDLMusicInterface music;
    std::ofstream(gDir + "in.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    sounds->LoadSound(0u, gDir + "in");
    sounds->ReleaseSound(0);
    for (const char* name : {"in.wav", "in.ogg", "in"})
    {
        music.LoadMusic(0, gDir + name);
        music.UnloadMusic(0);
    }
    return 0;
}
