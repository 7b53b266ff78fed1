// SoundManager: sound effects loaded once under small ids (0-255) and played as sound
// instances on the mixer's channels. The application owns one (mSoundManager): the SDL
// manager from the platform's factory, or this plain base, which is the silent manager:
// every request succeeds or answers "nothing" without a sound being heard.
//
// Volumes are doubles from 0.0 (silent) to 1.0 (full); pans run from left (negative)
// to right (positive), 0 being the centre.
#pragma once

#include <string>

namespace Vaxo
{

class SoundInstance;

class SoundManager
{
public:
    virtual ~SoundManager() = default;

    // Whether the audio device is open and sounds can be played.
    virtual bool Initialized() { return false; }
    // Loads file (named without extension) under id; the silent manager loads nothing.
    virtual bool LoadSound(unsigned int /*id*/, const std::string& /*file*/) { return true; }
    // Loads file under a free id (or answers the id already holding it); -1 on failure.
    virtual int LoadSound(const std::string& /*file*/) { return 0; }
    virtual void ReleaseSound(unsigned int /*id*/) {}
    // The master effects volume, applied on top of every instance's own.
    virtual void SetVolume(double /*volume*/) {}
    // Volume and pan given to every instance made later for id.
    virtual bool SetBaseVolume(unsigned int /*id*/, double /*volume*/) { return true; }
    virtual bool SetBasePan(unsigned int /*id*/, int /*pan*/) { return true; }
    // A new playing copy of id, owned by the manager: the caller releases it (Release, or
    // Play with autoRelease) and never deletes it. Null when nothing can be played.
    virtual SoundInstance* GetSoundInstance(unsigned int /*id*/) { return nullptr; }
    virtual void ReleaseSounds() {}
    virtual void ReleaseChannels() {}
    virtual void Flush() {}
    virtual void StopAllSounds() {}
    // The lowest id holding no sound, -1 when every id holds one.
    virtual int GetFreeSoundId() { return 0; }
    virtual int GetNumSounds() { return 0; }
    virtual void SetCooperativeWindow(void* /*window*/, bool /*isWindowed*/) {}
};

} // namespace Vaxo
