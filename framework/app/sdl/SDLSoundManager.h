// Internal to framework/app/sdl.
// SDLSoundManager: the sound manager over SDL_mixer 1.2. Sound ids 0-255 each hold one
// loaded chunk with a base volume and pan; the 32 mixer channels each hold at most one
// sound instance, which the manager owns and reclaims once it is released.
//
// No lock: sounds may load on the loading thread while the main thread plays others; a
// load writes only its own id's entries, and chunk references change under the global
// interlocked lock. The mixer itself runs on SDL's audio thread.
#pragma once

#include "app/SoundManager.h"
#include "common/SmartPtr.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Mix_Chunk;

namespace Vaxo
{

class SDLSoundInstance;

// Opens the audio device unless it is open already (the sound manager and the music
// interface share it; whichever comes first opens it): 44,100 Hz, else 22,050 Hz, signed
// 16-bit big-endian stereo. Answers whether it is open. It stays open until SDL_Quit.
bool OpenMixerDevice();

// What a line about a sound or song begins with when no application runs.
constexpr const char* kNoAppProgramName = "Vaxo";

// The name a line about a sound or song begins with: given, unless empty; else the running
// application's title, as its other lines begin; else kNoAppProgramName. Asked when the line is
// printed, so an application made or gone after the manager is followed. The loading thread may
// ask: the title is set before start-up and the application outlives that thread.
std::string SoundProgramName(const std::string& given);

// A volume of 0.0-1.0 on the mixer's scale 0-128, truncated; out-of-range and NaN volumes
// are clamped (a negative value would make the mixer's volume call a mere query).
int MixerVolume(double volume);

// One loaded sound, shared by its id's table entry and the instances playing it.
class SDLSoundChunk : public RefCount
{
public:
    // Owned: freed (and every channel playing it halted) with the last reference.
    Mix_Chunk* mMixChunk;

    explicit SDLSoundChunk(Mix_Chunk* chunk) : mMixChunk(chunk) {}
    ~SDLSoundChunk() override;
    SDLSoundChunk(const SDLSoundChunk&) = delete;
    SDLSoundChunk& operator=(const SDLSoundChunk&) = delete;
};

class SDLSoundManager : public SoundManager
{
public:
    // Begins each line about a sound that does not load; empty: the running application's title
    // (SoundProgramName).
    std::string mProgramName;
    // The audio device is open and the channels allocated.
    bool mInitialized = false;
    // Number of sound ids.
    int mMaxSounds = 256;
    // Number of mixer channels, and so of instances alive at once.
    int mNumChannels = 32;
    // Per id: the loaded sound, empty when the id holds none.
    std::vector<SmartPtr<SDLSoundChunk>> mSourceSounds;
    // Per id: the file name last given to LoadSound (kept after a failed load), "" when none.
    std::vector<std::string> mSourceFileNames;
    std::vector<double> mBaseVolumes;
    std::vector<int> mBasePans;
    // Per channel: its instance, owned; null marks a free channel.
    std::vector<std::unique_ptr<SDLSoundInstance>> mPlayingSounds;
    double mMasterVolume = 1.0;
    // GetTicks() of the last sweep of released instances, in milliseconds.
    uint32_t mLastReleaseTick = 0;

public:
    // Its lines begin with the running application's title, as the platform makes it.
    SDLSoundManager();
    // For a program without an application object: its lines begin with programName.
    explicit SDLSoundManager(std::string programName);
    ~SDLSoundManager() override;
    SDLSoundManager(const SDLSoundManager&) = delete;
    SDLSoundManager& operator=(const SDLSoundManager&) = delete;

    bool Initialized() override;
    // Loads gVaxoWorkingDir + file + ".wav", or else + ".ogg".
    bool LoadSound(unsigned int id, const std::string& file) override;
    // The lowest id holding a sound loaded from file, else a load into the highest free id.
    int LoadSound(const std::string& file) override;
    void ReleaseSound(unsigned int id) override;
    void SetVolume(double volume) override;
    bool SetBaseVolume(unsigned int id, double volume) override;
    bool SetBasePan(unsigned int id, int pan) override;
    SoundInstance* GetSoundInstance(unsigned int id) override;
    void ReleaseSounds() override;
    // Deletes every instance without halting its channel.
    void ReleaseChannels() override;
    void Flush() override;
    void StopAllSounds() override;
    int GetFreeSoundId() override;
    int GetNumSounds() override;
    void SetCooperativeWindow(void* window, bool isWindowed) override;

    // A channel without a live instance (reclaiming released ones), -1 when none is free.
    int FindFreeChannel();
    // Deletes every released instance.
    void ReleaseFreeChannels();
};

} // namespace Vaxo
