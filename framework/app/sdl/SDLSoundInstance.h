// Internal to framework/app/sdl.
// SDLSoundInstance: one sound playing on one mixer channel, made and owned by the
// SDLSoundManager. The channel is the instance's for its whole life; volume and pitch
// reach the mixer at once, pan is only stored.
#pragma once

#include "app/SoundInstance.h"
#include "common/SmartPtr.h"

#include <cstdint>

namespace Vaxo
{

class SDLSoundChunk;
class SDLSoundManager;

// The 16.16 playback ratio for a pitch of steps semitones (65536 unchanged, 131072 an
// octave up), truncated and kept within the mixer's range; NaN gives 65536.
int32_t PitchRatioForSteps(double steps);

class SDLSoundInstance : public SoundInstance
{
public:
    // The owner; not owned.
    SDLSoundManager* mSoundManager;
    SmartPtr<SDLSoundChunk> mSoundChunk;
    int mChannel;
    bool mAutoRelease = false;
    bool mHasPlayed = false;
    bool mReleased = false;
    int mBasePan = 0;
    double mBaseVolume = 1.0;
    int mPan = 0;
    double mVolume = 1.0;
    // Stop(false) paused the channel; the next Play resumes it.
    bool mPaused = false;

public:
    // Takes a reference to chunk and resets the channel's pitch.
    SDLSoundInstance(SDLSoundManager* manager, SDLSoundChunk* chunk, int channel);
    // Does not stop the channel.
    ~SDLSoundInstance() override;
    SDLSoundInstance(const SDLSoundInstance&) = delete;
    SDLSoundInstance& operator=(const SDLSoundInstance&) = delete;

    void Release() override;
    void SetBaseVolume(double volume) override;
    void SetBasePan(int pan) override;
    void AdjustPitch(double steps) override;
    void SetVolume(double volume) override;
    void SetPan(int pan) override;
    bool Play(bool looping, bool autoRelease) override;
    void Stop(bool halt) override;
    bool IsPlaying() override;
    bool IsReleased() override;
    double GetVolume() override;
    uint32_t GetPosition() override;
    void SetPosition(uint32_t position) override;

    // Gives the channel base volume x volume x the manager's master volume.
    void RehupVolume();
    // Pan does not reach the mixer.
    void RehupPan();
};

} // namespace Vaxo
