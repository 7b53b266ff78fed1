// SoundInstance: one playing copy of a loaded sound, with its own volume, pan and pitch.
// Instances are made and owned by the sound manager (SoundManager::GetSoundInstance);
// their users call Release, or Play with autoRelease, and never delete them.
#pragma once

#include <cstdint>

namespace Vaxo
{

class SoundInstance
{
public:
    virtual ~SoundInstance() = default;

    // Stops the sound and hands the instance back to its manager, which deletes it later.
    virtual void Release() = 0;
    virtual void SetBaseVolume(double volume) = 0;
    virtual void SetBasePan(int pan) = 0;
    // Playback rate in semitones (12 steps an octave up, negative ones down); takes
    // effect at once, playing or not.
    virtual void AdjustPitch(double steps) = 0;
    virtual void SetVolume(double volume) = 0;
    virtual void SetPan(int pan) = 0;
    // Starts the sound (or resumes it after Stop(false)); with autoRelease the manager
    // reclaims the instance once it has finished.
    virtual bool Play(bool looping, bool autoRelease) = 0;
    // halt true stops the sound; false pauses it, and a later Play resumes it.
    virtual void Stop(bool halt) = 0;
    virtual bool IsPlaying() = 0;
    virtual bool IsReleased() = 0;
    virtual double GetVolume() = 0;
    // Play positions are not tracked.
    virtual uint32_t GetPosition() = 0;
    virtual void SetPosition(uint32_t position) = 0;
};

} // namespace Vaxo
