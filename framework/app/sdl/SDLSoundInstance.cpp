#include "app/sdl/SDLSoundInstance.h"

#include "app/sdl/MixPitch.h"
#include "app/sdl/SDLSoundManager.h"

#include <SDL_mixer.h>

#include <cmath>

namespace Vaxo
{

int32_t PitchRatioForSteps(double steps)
{
    // One step is a semitone: the twelfth root of 2.
    const double ratio = std::pow(1.0594630943592953, steps) * 65536.0;
    if (std::isnan(ratio))
        return kPitchUnity;
    // Clamped before the conversion: a double beyond int's range has no int value.
    if (ratio <= kPitchMinRatio)
        return kPitchMinRatio;
    if (ratio >= kPitchMaxRatio)
        return kPitchMaxRatio;
    return int32_t(ratio);
}

SDLSoundInstance::SDLSoundInstance(SDLSoundManager* manager, SDLSoundChunk* chunk, int channel)
    : mSoundManager(manager), mSoundChunk(chunk), mChannel(channel)
{
    Mix_Pitch(mChannel, kPitchUnity);
}

SDLSoundInstance::~SDLSoundInstance() = default;

void SDLSoundInstance::Release()
{
    Stop(true);
    mReleased = true;
}

void SDLSoundInstance::SetBaseVolume(double volume)
{
    mBaseVolume = volume;
    RehupVolume();
}

void SDLSoundInstance::SetBasePan(int pan)
{
    mBasePan = pan;
    RehupPan();
}

void SDLSoundInstance::AdjustPitch(double steps)
{
    Mix_Pitch(mChannel, PitchRatioForSteps(steps));
}

void SDLSoundInstance::SetVolume(double volume)
{
    mVolume = volume;
    RehupVolume();
}

void SDLSoundInstance::SetPan(int pan)
{
    mPan = pan;
    RehupPan();
}

bool SDLSoundInstance::Play(bool looping, bool autoRelease)
{
    bool started = true;
    if (mPaused)
    {
        mPaused = false;
        Mix_Resume(mChannel);
    }
    else
    {
        Stop(true);
        started = Mix_PlayChannelPitched(mChannel, mSoundChunk->mMixChunk, looping ? -1 : 0) >= 0;
    }
    mAutoRelease = autoRelease;
    mHasPlayed = true;
    return started;
}

void SDLSoundInstance::Stop(bool halt)
{
    if (halt)
    {
        Mix_HaltChannel(mChannel);
        mPaused = false;
    }
    else
    {
        mPaused = true;
        Mix_Pause(mChannel);
    }
    mAutoRelease = false;
}

bool SDLSoundInstance::IsPlaying()
{
    if (!mHasPlayed || mPaused)
        return false;
    return Mix_Playing(mChannel) != 0;
}

bool SDLSoundInstance::IsReleased()
{
    if (mReleased)
        return true;
    if (mAutoRelease && mHasPlayed && !IsPlaying())
    {
        Release();
        return true;
    }
    return false;
}

double SDLSoundInstance::GetVolume()
{
    return mVolume;
}

uint32_t SDLSoundInstance::GetPosition()
{
    return 0;
}

void SDLSoundInstance::SetPosition(uint32_t /*position*/) {}

void SDLSoundInstance::RehupVolume()
{
    Mix_Volume(mChannel, MixerVolume(mBaseVolume * mVolume * mSoundManager->mMasterVolume));
}

void SDLSoundInstance::RehupPan() {}

} // namespace Vaxo
