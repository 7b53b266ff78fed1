// MusicInterface: streamed songs registered under small integer ids, one playing at a
// time. The application owns one (mMusicInterface): the SDL player from the platform's
// factory, or this plain base, the silent player, whose operations do nothing and whose
// questions answer false.
//
// Fade speeds are the volume change per fixed update of 10 ms, full volume being 1.0
// (0.01 fades over one second). Volumes run from 0.0 to 1.0.
#pragma once

#include <string>

namespace Vaxo
{

class MusicInterface
{
public:
    virtual ~MusicInterface() = default;

    // Registers fileName (read as named) under songId; false when the id is taken or the
    // file cannot be read.
    virtual bool LoadMusic(int /*songId*/, const std::string& /*fileName*/) { return false; }
    // offset is accepted for callers' sake; songs always start at their beginning.
    virtual void PlayMusic(int /*songId*/, int /*offset*/, bool /*noLoop*/) {}
    virtual void StopMusic(int /*songId*/) {}
    virtual void PauseMusic(int /*songId*/) {}
    virtual void ResumeMusic(int /*songId*/) {}
    virtual void StopAllMusic() {}
    virtual void UnloadMusic(int /*songId*/) {}
    virtual void UnloadAllMusic() {}
    virtual void PauseAllMusic() {}
    virtual void ResumeAllMusic() {}
    virtual void FadeIn(int /*songId*/, int /*offset*/, double /*speed*/, bool /*noLoop*/) {}
    // stopSong is accepted for callers' sake; a faded-out song ends.
    virtual void FadeOut(int /*songId*/, bool /*stopSong*/, double /*speed*/) {}
    virtual void FadeOutAll(bool /*stopSong*/, double /*speed*/) {}
    virtual void SetSongVolume(int /*songId*/, double /*volume*/) {}
    virtual void SetSongMaxVolume(int /*songId*/, double /*volume*/) {}
    virtual bool IsPlaying(int /*songId*/) { return false; }
    // True once for a song that ended (by itself or by a fade-out) since the last question.
    virtual bool SongFinished() { return false; }
    virtual bool HasSong(int /*songId*/) { return false; }
    // The music volume of the whole player.
    virtual void SetVolume(double /*volume*/) {}
    virtual void SetMusicAmplify(int /*songId*/, double /*amplify*/) {}
    // Called on every fixed update.
    virtual void Update() {}
};

} // namespace Vaxo
