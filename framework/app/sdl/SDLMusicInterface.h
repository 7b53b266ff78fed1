// Internal to framework/app/sdl.
// SDLMusicInterface: the music player over SDL_mixer 1.2's streamed music. Songs are
// registered under small integer ids and one plays at a time; fades are the mixer's own.
// An Ogg Vorbis song, which SDL_mixer's player plays as noise or with left and right swapped after a
// link (of a chained song) or a round (of a looping one) that ends inside a device frame, is streamed
// by the framework instead (StreamedMusic.h), with the same looping, fades, pausing and volume, and
// held loaded as its file alone; every other song is SDL_mixer's.
//
// gSDLSongFinished is set on the mixer's audio thread by the music-finished hook, which the
// mixer (or the framework's stream) calls when a song ends by itself or a fade-out ends (or by a
// start that cuts a fade-out short); Mix_HaltMusic does not call it, so a song stopped by
// StopMusic is not reported finished.
#pragma once

#include "app/MusicInterface.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _Mix_Music;
typedef struct _Mix_Music Mix_Music;

namespace Vaxo
{

// Set by the audio thread when a song finished, cleared by SongFinished on the main thread.
extern std::atomic<int32_t> gSDLSongFinished;

// The mixer's music-finished hook.
void SDLMusicFinishedCallback();

// Milliseconds of a fade at speed (volume per 10 ms update): 10 / speed, truncated. A
// speed of 0 or below, or not finite, fades at once (0); very slow fades are capped at
// the largest int.
int MusicFadeTimeMs(double speed);

class SDLMusicInterface : public MusicInterface
{
public:
    // Begins each line about a song that does not load; empty: the running application's title
    // (SoundProgramName).
    std::string mProgramName;
    // Indexed by song id; SDL_mixer's songs, null where none is loaded or the song is one the
    // framework streams (mStreamedSongs). Owned.
    std::vector<Mix_Music*> mMusicList;
    // Indexed by song id as mMusicList: the checked file of a song the framework streams itself (an
    // Ogg Vorbis one), shared with its stream while it plays; null for SDL_mixer's songs.
    std::vector<std::shared_ptr<const std::vector<char>>> mStreamedSongs;
    // The song last started by PlayMusic or FadeIn, -1 when none or after a stop. A song
    // that ended by itself keeps its id here until the next start or stop.
    int mCurrentSong = -1;

public:
    // Its lines begin with the running application's title, as the platform makes it.
    SDLMusicInterface();
    // For a program without an application object: its lines begin with programName.
    explicit SDLMusicInterface(std::string programName);
    ~SDLMusicInterface() override;
    SDLMusicInterface(const SDLMusicInterface&) = delete;
    SDLMusicInterface& operator=(const SDLMusicInterface&) = delete;

    // SDL_mixer's song of songId, null when the id lies outside the list, holds none or holds a song
    // the framework streams (HasSong tells whether it holds one).
    Mix_Music* GetMusicById(int songId);

    // Ids from 0 to kMaxSongId; the list grows to songId + 1 entries.
    bool LoadMusic(int songId, const std::string& fileName) override;
    // offset is not used: songs start at their beginning.
    void PlayMusic(int songId, int offset, bool noLoop) override;
    void StopMusic(int songId) override;
    void PauseMusic(int songId) override;
    void ResumeMusic(int songId) override;
    void StopAllMusic() override;
    void UnloadMusic(int songId) override;
    void UnloadAllMusic() override;
    void PauseAllMusic() override;
    void ResumeAllMusic() override;
    void FadeIn(int songId, int offset, double speed, bool noLoop) override;
    // Only for the current song; stopSong is not used and the current song stays.
    void FadeOut(int songId, bool stopSong, double speed) override;
    void FadeOutAll(bool stopSong, double speed) override;
    void SetSongVolume(int songId, double volume) override;
    void SetSongMaxVolume(int songId, double volume) override;
    void SetMusicAmplify(int songId, double amplify) override;
    bool IsPlaying(int songId) override;
    bool SongFinished() override;
    bool HasSong(int songId) override;
    void SetVolume(double volume) override;
    void Update() override;

    // songId is a song id (not -1) and the current song.
    bool IsCurrent(int songId) const;

    // The largest song id LoadMusic takes: the list is one entry per id up to the largest.
    static constexpr int kMaxSongId = 65535;

private:
    // The checked file of songId when the framework streams it, else null.
    std::shared_ptr<const std::vector<char>> StreamedSong(int songId) const;
    // Starts songId, when it holds a song, on the player that plays it (halting the other): fading in
    // over fadeMs when fadeIn, as Mix_FadeInMusic does, else as Mix_PlayMusic does.
    void Start(int songId, bool noLoop, bool fadeIn, int fadeMs);
};

} // namespace Vaxo
