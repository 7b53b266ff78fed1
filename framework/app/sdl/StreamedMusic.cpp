#include "app/sdl/StreamedMusic.h"

#include "app/sdl/MixPitch.h"
#include "app/sdl/OggSoundDecoder.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <mutex>

namespace Vaxo
{

namespace
{

// SDL's audio lock as a lockable: the mixing callback runs under it.
struct AudioMutex
{
    void lock() { SDL_LockAudio(); }
    void unlock() { SDL_UnlockAudio(); }
};
AudioMutex gAudioMutex;
using AudioLock = std::lock_guard<AudioMutex>;

enum class Fade
{
    None,
    In,
    Out,
};

// The song the hook plays. Guarded by the audio lock.
struct Music
{
    std::unique_ptr<OggSongStream> song; // kept after it ends, until the next play or halt
    bool playing = false;                // started, not ended or halted
    bool paused = false;
    bool loop = false;
    bool heard = false; // a frame was mixed since the song last started from its beginning
    int32_t volume = MIX_MAX_VOLUME;
    int32_t frameBytes = 1;
    int32_t frequency = 0;
    Fade fade = Fade::None;
    int64_t fadeFrames = 0; // the fade's length, above 0 while it fades
    int64_t fadeDone = 0;   // of which this many are mixed
    void (*finished)() = nullptr;
};
// Never destroyed: the audio thread may mix on while the program exits.
Music& gMusic = *new Music();

int64_t FadeFrames(int32_t ms, int32_t frequency)
{
    return std::max<int64_t>(int64_t(ms) * frequency / 1000, 1);
}

// The song ends by itself, or its fade-out does.
void End(Music& m)
{
    m.playing = false;
    m.fade = Fade::None;
    if (m.finished != nullptr)
        m.finished();
}

// The volume of this mixing pass, after the fade's step: a fade changes the volume once a pass, as
// SDL_mixer's does. False when a fade-out has ended.
bool StepFade(Music& m, int64_t frames, int* volume)
{
    *volume = m.volume;
    if (m.fade == Fade::None)
        return true;
    if (m.fadeDone >= m.fadeFrames)
    {
        if (m.fade == Fade::Out)
            return false;
        m.fade = Fade::None;
        return true;
    }
    m.fadeDone = std::min(m.fadeFrames, m.fadeDone + frames);
    const int64_t part = m.fade == Fade::In ? m.fadeDone : m.fadeFrames - m.fadeDone;
    *volume = int(m.volume * part / m.fadeFrames);
    return true;
}

// The music hook, on the audio thread under the audio lock: mixes the song into the stream, which
// the mixer has silenced.
void MixMusic(void* /*unused*/, Uint8* stream, int len)
{
    Music& m = gMusic;
    if (!m.playing || m.paused || len <= 0)
        return;
    int volume = 0;
    if (!StepFade(m, len / m.frameBytes, &volume))
    {
        End(m);
        return;
    }
    for (size_t done = 0; done < size_t(len);)
    {
        const uint8_t* samples = nullptr;
        const size_t got = m.song->Read(&samples, size_t(len) - done);
        if (got > 0)
        {
            SDL_MixAudio(stream + done, samples, Uint32(got), volume);
            done += got;
            m.heard = true;
            continue;
        }
        // Looping, from the start again; a song that plays nothing from its start ends, or it would
        // hold the audio thread for ever.
        if (!m.loop || !m.heard || !m.song->Rewind())
        {
            End(m);
            return;
        }
        m.heard = false;
    }
}

} // namespace

void StreamedMusicPlay(std::shared_ptr<const std::vector<char>> bytes, bool loop, int32_t fadeMs,
                       void (*finished)())
{
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    StreamedMusicHalt();
    if (Mix_QuerySpec(&frequency, &format, &channels) == 0)
    {
        SDL_SetError("no audio device open");
        return;
    }
    const MixerFormat device = {frequency, format, channels};
    // Opened here, before the audio thread sees it: the open reads the first link's headers.
    auto song = std::make_unique<OggSongStream>(std::move(bytes), device);
    if (!song->Rewind())
        return;
    {
        AudioLock lock(gAudioMutex);
        Music& m = gMusic;
        m = Music();
        m.song = std::move(song);
        m.playing = true;
        m.loop = loop;
        m.volume = Mix_VolumeMusic(-1);
        m.frameBytes = std::max<int32_t>(PitchFrameBytes({format, channels}), 1);
        m.frequency = frequency;
        m.finished = finished;
        if (fadeMs > 0)
        {
            m.fade = Fade::In;
            m.fadeFrames = FadeFrames(fadeMs, frequency);
        }
    }
    Mix_HookMusic(MixMusic, nullptr);
}

void StreamedMusicHalt()
{
    // Once the hook is gone (under the audio lock) the audio thread no longer reads the song.
    Mix_HookMusic(nullptr, nullptr);
    std::unique_ptr<OggSongStream> song;
    AudioLock lock(gAudioMutex);
    song = std::move(gMusic.song);
    gMusic.playing = false;
    gMusic.fade = Fade::None;
}

void StreamedMusicPause()
{
    AudioLock lock(gAudioMutex);
    gMusic.paused = true;
}

void StreamedMusicResume()
{
    AudioLock lock(gAudioMutex);
    gMusic.paused = false;
}

void StreamedMusicFadeOut(int32_t ms)
{
    if (ms <= 0)
    {
        StreamedMusicHalt();
        return;
    }
    AudioLock lock(gAudioMutex);
    Music& m = gMusic;
    if (!m.playing)
        return;
    // Goes on from the volume it is at: the same part of the new fade done as of the fade under way.
    const int64_t frames = FadeFrames(ms, m.frequency);
    const int64_t part = m.fade == Fade::Out  ? m.fadeDone
                         : m.fade == Fade::In ? m.fadeFrames - m.fadeDone
                                              : 0;
    // In floating point: two fades of days each would overflow the product.
    m.fadeDone = m.fade == Fade::None ? 0 : int64_t(double(part) * double(frames) / double(m.fadeFrames));
    m.fadeFrames = frames;
    m.fade = Fade::Out;
}

bool StreamedMusicPlaying()
{
    AudioLock lock(gAudioMutex);
    return gMusic.playing;
}

bool StreamedMusicFadingOut()
{
    AudioLock lock(gAudioMutex);
    return gMusic.playing && gMusic.fade == Fade::Out;
}

void StreamedMusicVolume(int32_t volume)
{
    AudioLock lock(gAudioMutex);
    gMusic.volume = std::clamp<int32_t>(volume, 0, MIX_MAX_VOLUME);
}

} // namespace Vaxo
