#include "app/sdl/SDLMusicInterface.h"

#include "app/sdl/SDLSoundManager.h"
#include "app/sdl/SoundFileCheck.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <climits>
#include <cmath>

namespace Vaxo
{

std::atomic<int32_t> gSDLSongFinished{0};

void SDLMusicFinishedCallback()
{
    gSDLSongFinished = 1;
}

int MusicFadeTimeMs(double speed)
{
    if (!std::isfinite(speed) || speed <= 0.0)
        return 0;
    const double ms = 1.0 / speed * 10.0;
    return ms >= double(INT_MAX) ? INT_MAX : int(ms);
}

namespace
{
// SDL_mixer starts a song only once a fade-out under way has ended: the main thread would
// stand still for the whole fade, and for ever while the music is paused. The faded song is
// cut and reported finished, as the fade's end would have been.
void EndFadeOut()
{
    if (Mix_FadingMusic() != MIX_FADING_OUT)
        return;
    Mix_HaltMusic();
    gSDLSongFinished = 1;
}
} // namespace

SDLMusicInterface::SDLMusicInterface() : SDLMusicInterface(std::string()) {}

SDLMusicInterface::SDLMusicInterface(std::string programName) : mProgramName(std::move(programName))
{
    if (OpenMixerDevice())
        Mix_HookMusicFinished(SDLMusicFinishedCallback);
}

SDLMusicInterface::~SDLMusicInterface()
{
    // Mix_FreeMusic would wait for a fade-out of the playing song to end (for ever while
    // paused); a playing song of this player is its current one.
    SDLMusicInterface::StopMusic(mCurrentSong);
    for (Mix_Music* song : mMusicList)
        if (song != nullptr)
            Mix_FreeMusic(song);
}

Mix_Music* SDLMusicInterface::GetMusicById(int songId)
{
    if (songId < 0 || size_t(songId) >= mMusicList.size())
        return nullptr;
    return mMusicList[size_t(songId)];
}

bool SDLMusicInterface::LoadMusic(int songId, const std::string& fileName)
{
    // A huge id would make a list of that many entries.
    if (songId < 0 || songId > kMaxSongId)
        return false;
    if (size_t(songId) >= mMusicList.size())
        mMusicList.resize(size_t(songId) + 1, nullptr);
    if (mMusicList[size_t(songId)] != nullptr)
        return false;
    const CheckedSoundFile file = ReadCheckedSoundFile(fileName, SoundFileUse::Song);
    Mix_Music* song = file.failure.empty() ? Mix_LoadMUS(fileName.c_str()) : nullptr;
    if (song == nullptr)
    {
        ReportSoundFileNotLoaded(SoundProgramName(mProgramName),
                                 file.failure.empty() ? MixerFailure(fileName) : file.failure,
                                 SoundFileUse::Song);
        return false;
    }
    mMusicList[size_t(songId)] = song;
    return true;
}

void SDLMusicInterface::PlayMusic(int songId, int /*offset*/, bool noLoop)
{
    Mix_Music* song = GetMusicById(songId);
    if (song == nullptr)
        return;
    EndFadeOut();
    Mix_PlayMusic(song, noLoop ? 0 : -1);
    mCurrentSong = songId;
}

bool SDLMusicInterface::IsCurrent(int songId) const
{
    return songId >= 0 && songId == mCurrentSong;
}

void SDLMusicInterface::StopMusic(int songId)
{
    if (!IsCurrent(songId))
        return;
    Mix_HaltMusic();
    mCurrentSong = -1;
}

void SDLMusicInterface::PauseMusic(int songId)
{
    if (IsCurrent(songId))
        Mix_PauseMusic();
}

void SDLMusicInterface::ResumeMusic(int songId)
{
    if (IsCurrent(songId))
        Mix_ResumeMusic();
}

void SDLMusicInterface::StopAllMusic()
{
    Mix_HaltMusic();
    mCurrentSong = -1;
}

void SDLMusicInterface::UnloadMusic(int songId)
{
    StopMusic(songId);
    Mix_Music* song = GetMusicById(songId);
    if (song == nullptr)
        return;
    Mix_FreeMusic(song);
    mMusicList[size_t(songId)] = nullptr;
}

void SDLMusicInterface::UnloadAllMusic()
{
    for (size_t i = 0; i < mMusicList.size(); ++i)
        UnloadMusic(int(i));
}

void SDLMusicInterface::PauseAllMusic()
{
    Mix_PauseMusic();
}

void SDLMusicInterface::ResumeAllMusic()
{
    Mix_ResumeMusic();
}

void SDLMusicInterface::FadeIn(int songId, int /*offset*/, double speed, bool noLoop)
{
    Mix_Music* song = GetMusicById(songId);
    if (song == nullptr)
        return;
    EndFadeOut();
    Mix_FadeInMusic(song, noLoop ? 0 : -1, MusicFadeTimeMs(speed));
    mCurrentSong = songId;
}

void SDLMusicInterface::FadeOut(int songId, bool /*stopSong*/, double speed)
{
    if (IsCurrent(songId) && GetMusicById(songId) != nullptr)
        Mix_FadeOutMusic(MusicFadeTimeMs(speed));
}

void SDLMusicInterface::FadeOutAll(bool /*stopSong*/, double speed)
{
    Mix_FadeOutMusic(MusicFadeTimeMs(speed));
}

void SDLMusicInterface::SetSongVolume(int /*songId*/, double /*volume*/) {}

void SDLMusicInterface::SetSongMaxVolume(int /*songId*/, double /*volume*/) {}

void SDLMusicInterface::SetMusicAmplify(int /*songId*/, double /*amplify*/) {}

bool SDLMusicInterface::IsPlaying(int songId)
{
    return IsCurrent(songId) && Mix_PlayingMusic() != 0;
}

bool SDLMusicInterface::SongFinished()
{
    return gSDLSongFinished.exchange(0) != 0;
}

bool SDLMusicInterface::HasSong(int songId)
{
    return GetMusicById(songId) != nullptr;
}

void SDLMusicInterface::SetVolume(double volume)
{
    Mix_VolumeMusic(MixerVolume(volume));
}

void SDLMusicInterface::Update() {}

} // namespace Vaxo
