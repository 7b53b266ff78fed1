#include "app/sdl/SDLMusicInterface.h"

#include "app/sdl/OggSoundDecoder.h"
#include "app/sdl/SDLSoundManager.h"
#include "app/sdl/SoundFileCheck.h"
#include "app/sdl/StreamedMusic.h"

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
// cut and reported finished, as the fade's end would have been (a streamed one's too).
void EndFadeOut()
{
    if (Mix_FadingMusic() == MIX_FADING_OUT)
    {
        Mix_HaltMusic();
        gSDLSongFinished = 1;
    }
    if (StreamedMusicFadingOut())
    {
        StreamedMusicHalt();
        gSDLSongFinished = 1;
    }
}

// What follows acts on whichever player plays: SDL_mixer's or the framework's stream.
void HaltSong()
{
    Mix_HaltMusic();
    StreamedMusicHalt();
}

void PauseSong()
{
    Mix_PauseMusic();
    StreamedMusicPause();
}

void ResumeSong()
{
    Mix_ResumeMusic();
    StreamedMusicResume();
}

void FadeOutSong(int ms)
{
    Mix_FadeOutMusic(ms);
    StreamedMusicFadeOut(ms);
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

std::shared_ptr<const std::vector<char>> SDLMusicInterface::StreamedSong(int songId) const
{
    if (songId < 0 || size_t(songId) >= mStreamedSongs.size())
        return nullptr;
    return mStreamedSongs[size_t(songId)];
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
    {
        mMusicList.resize(size_t(songId) + 1, nullptr);
        mStreamedSongs.resize(size_t(songId) + 1);
    }
    if (HasSong(songId))
        return false;
    CheckedSoundFile file = ReadCheckedSoundFile(fileName, SoundFileUse::Song);
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.bytes.data());
    const bool streamed = file.failure.empty() && IsOggSong(fileName, bytes, file.bytes.size());
    Mix_Music* song = nullptr;
    // The stream decodes the very bytes that were checked, and they are the song's one copy: SDL_mixer
    // does not load it too.
    if (streamed)
        file.failure = OggSongFailure(fileName, bytes, file.bytes.size());
    else if (file.failure.empty() && (song = Mix_LoadMUS(fileName.c_str())) == nullptr)
        file.failure = MixerFailure(fileName);
    if (!file.failure.empty())
    {
        ReportSoundFileNotLoaded(SoundProgramName(mProgramName), file.failure, SoundFileUse::Song);
        return false;
    }
    if (streamed)
        mStreamedSongs[size_t(songId)] = std::make_shared<const std::vector<char>>(std::move(file.bytes));
    else
        mMusicList[size_t(songId)] = song;
    return true;
}

void SDLMusicInterface::Start(int songId, bool noLoop, bool fadeIn, int fadeMs)
{
    if (!HasSong(songId))
        return;
    EndFadeOut();
    const int loops = noLoop ? 0 : -1;
    if (auto streamed = StreamedSong(songId))
    {
        Mix_HaltMusic();
        StreamedMusicPlay(std::move(streamed), !noLoop, fadeIn ? fadeMs : 0, SDLMusicFinishedCallback);
    }
    else
    {
        StreamedMusicHalt();
        if (fadeIn)
            Mix_FadeInMusic(GetMusicById(songId), loops, fadeMs);
        else
            Mix_PlayMusic(GetMusicById(songId), loops);
    }
    mCurrentSong = songId;
}

void SDLMusicInterface::PlayMusic(int songId, int /*offset*/, bool noLoop)
{
    Start(songId, noLoop, false, 0);
}

bool SDLMusicInterface::IsCurrent(int songId) const
{
    return songId >= 0 && songId == mCurrentSong;
}

void SDLMusicInterface::StopMusic(int songId)
{
    if (!IsCurrent(songId))
        return;
    HaltSong();
    mCurrentSong = -1;
}

void SDLMusicInterface::PauseMusic(int songId)
{
    if (IsCurrent(songId))
        PauseSong();
}

void SDLMusicInterface::ResumeMusic(int songId)
{
    if (IsCurrent(songId))
        ResumeSong();
}

void SDLMusicInterface::StopAllMusic()
{
    HaltSong();
    mCurrentSong = -1;
}

void SDLMusicInterface::UnloadMusic(int songId)
{
    StopMusic(songId);
    if (!HasSong(songId))
        return;
    if (Mix_Music* song = GetMusicById(songId))
        Mix_FreeMusic(song);
    mMusicList[size_t(songId)] = nullptr;
    mStreamedSongs[size_t(songId)].reset();
}

void SDLMusicInterface::UnloadAllMusic()
{
    for (size_t i = 0; i < mMusicList.size(); ++i)
        UnloadMusic(int(i));
}

void SDLMusicInterface::PauseAllMusic()
{
    PauseSong();
}

void SDLMusicInterface::ResumeAllMusic()
{
    ResumeSong();
}

void SDLMusicInterface::FadeIn(int songId, int /*offset*/, double speed, bool noLoop)
{
    Start(songId, noLoop, true, MusicFadeTimeMs(speed));
}

void SDLMusicInterface::FadeOut(int songId, bool /*stopSong*/, double speed)
{
    if (IsCurrent(songId) && HasSong(songId))
        FadeOutSong(MusicFadeTimeMs(speed));
}

void SDLMusicInterface::FadeOutAll(bool /*stopSong*/, double speed)
{
    FadeOutSong(MusicFadeTimeMs(speed));
}

void SDLMusicInterface::SetSongVolume(int /*songId*/, double /*volume*/) {}

void SDLMusicInterface::SetSongMaxVolume(int /*songId*/, double /*volume*/) {}

void SDLMusicInterface::SetMusicAmplify(int /*songId*/, double /*amplify*/) {}

bool SDLMusicInterface::IsPlaying(int songId)
{
    return IsCurrent(songId) && (Mix_PlayingMusic() != 0 || StreamedMusicPlaying());
}

bool SDLMusicInterface::SongFinished()
{
    return gSDLSongFinished.exchange(0) != 0;
}

bool SDLMusicInterface::HasSong(int songId)
{
    return GetMusicById(songId) != nullptr || StreamedSong(songId) != nullptr;
}

void SDLMusicInterface::SetVolume(double volume)
{
    Mix_VolumeMusic(MixerVolume(volume));
    StreamedMusicVolume(MixerVolume(volume));
}

void SDLMusicInterface::Update() {}

} // namespace Vaxo
