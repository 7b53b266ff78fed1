#include "app/sdl/SDLSoundManager.h"

#include "app/VaxoAppBase.h"
#include "app/sdl/MixPitch.h"
#include "app/sdl/OggSoundDecoder.h"
#include "app/sdl/SDLSoundInstance.h"
#include "app/sdl/SoundFileCheck.h"
#include "common/Common.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace Vaxo
{

bool OpenMixerDevice()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    if (Mix_QuerySpec(&frequency, &format, &channels) != 0)
        return true;
    return Mix_OpenAudio(44100, AUDIO_S16MSB, 2, 1024) == 0 ||
           Mix_OpenAudio(22050, AUDIO_S16MSB, 2, 1024) == 0;
}

std::string SoundProgramName(const std::string& given)
{
    if (!given.empty())
        return given;
    return gVaxoAppBase != nullptr ? gVaxoAppBase->mTitle : kNoAppProgramName;
}

int MixerVolume(double volume)
{
    const double v = volume * MIX_MAX_VOLUME;
    if (!(v > 0.0))
        return 0;
    return v >= MIX_MAX_VOLUME ? MIX_MAX_VOLUME : int(v);
}

SDLSoundChunk::~SDLSoundChunk()
{
    Mix_FreeChunkPitched(mMixChunk);
}

namespace
{

// The mixer trusts every header field of a sound file: it decodes the very bytes that were
// checked, WAV itself, Ogg Vorbis through the framework's decoder. Null when the file does not
// load, *file saying why.
Mix_Chunk* LoadChunk(const std::string& path, CheckedSoundFile* file)
{
    *file = ReadCheckedSoundFile(path, SoundFileUse::Effect);
    if (!file->failure.empty())
        return nullptr;
    const std::vector<char> bytes = std::move(file->bytes);
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0)
    {
        return DecodeOggSound(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                              &file->failure);
    }
    Mix_Chunk* chunk = Mix_LoadWAV_RW(SDL_RWFromConstMem(bytes.data(), int(bytes.size())), 1);
    if (chunk == nullptr)
        file->failure = MixerFailure(path);
    return chunk;
}

} // namespace

SDLSoundManager::SDLSoundManager() : SDLSoundManager(std::string()) {}

SDLSoundManager::SDLSoundManager(std::string programName)
    : mProgramName(std::move(programName)), mSourceSounds(size_t(mMaxSounds)),
      mSourceFileNames(size_t(mMaxSounds)), mBaseVolumes(size_t(mMaxSounds), 1.0),
      mBasePans(size_t(mMaxSounds), 0), mPlayingSounds(size_t(mNumChannels))
{
    if (!OpenMixerDevice())
        return;
    Mix_AllocateChannels(mNumChannels);
    mInitialized = true;
}

SDLSoundManager::~SDLSoundManager()
{
    ReleaseChannels();
    ReleaseSounds();
}

bool SDLSoundManager::Initialized()
{
    return mInitialized;
}

bool SDLSoundManager::LoadSound(unsigned int id, const std::string& file)
{
    if (!mInitialized || id >= unsigned(mMaxSounds))
        return false;
    ReleaseSound(id);
    mSourceFileNames[id] = file;
    const std::string path = gVaxoWorkingDir + file;
    CheckedSoundFile wav;
    CheckedSoundFile ogg;
    Mix_Chunk* chunk = LoadChunk(path + ".wav", &wav);
    if (chunk == nullptr)
        chunk = LoadChunk(path + ".ogg", &ogg);
    // Each file there that did not load is named; a missing one only when neither is there.
    if (wav.found && !wav.failure.empty())
        ReportSoundFileNotLoaded(SoundProgramName(mProgramName), wav.failure, SoundFileUse::Effect,
                                 chunk != nullptr ? path + ".ogg" : "");
    if (ogg.found && !ogg.failure.empty())
        ReportSoundFileNotLoaded(SoundProgramName(mProgramName), ogg.failure, SoundFileUse::Effect);
    if (!wav.found && !ogg.found)
        ReportSoundFileNotLoaded(SoundProgramName(mProgramName), wav.failure + ", nor \"" + path + ".ogg\"",
                                 SoundFileUse::Effect);
    if (chunk == nullptr)
        return false;
    mSourceSounds[id] = new SDLSoundChunk(chunk);
    return true;
}

int SDLSoundManager::LoadSound(const std::string& file)
{
    // Only an id that really holds the sound answers: after a failed load the name stays
    // recorded, and a retry must load again rather than report an empty id as loaded.
    for (int id = 0; id < mMaxSounds; ++id)
        if (mSourceSounds[size_t(id)] != nullptr && mSourceFileNames[size_t(id)] == file)
            return id;
    for (int id = mMaxSounds - 1; id >= 0; --id)
        if (mSourceSounds[size_t(id)] == nullptr)
            return LoadSound(unsigned(id), file) ? id : -1;
    return -1;
}

void SDLSoundManager::ReleaseSound(unsigned int id)
{
    if (id >= unsigned(mMaxSounds) || mSourceSounds[id] == nullptr)
        return;
    mSourceSounds[id] = nullptr;
    mSourceFileNames[id].clear();
}

void SDLSoundManager::SetVolume(double volume)
{
    mMasterVolume = volume;
    for (auto& instance : mPlayingSounds)
        if (instance != nullptr)
            instance->RehupVolume();
}

bool SDLSoundManager::SetBaseVolume(unsigned int id, double volume)
{
    if (id >= unsigned(mMaxSounds))
        return false;
    mBaseVolumes[id] = volume;
    return true;
}

bool SDLSoundManager::SetBasePan(unsigned int id, int pan)
{
    if (id >= unsigned(mMaxSounds))
        return false;
    mBasePans[id] = pan;
    return true;
}

SoundInstance* SDLSoundManager::GetSoundInstance(unsigned int id)
{
    if (id >= unsigned(mMaxSounds))
        return nullptr;
    const int channel = FindFreeChannel();
    if (channel < 0 || mSourceSounds[id] == nullptr)
        return nullptr;
    auto& slot = mPlayingSounds[size_t(channel)];
    slot = std::make_unique<SDLSoundInstance>(this, mSourceSounds[id].get(), channel);
    slot->SetBasePan(mBasePans[id]);
    slot->SetBaseVolume(mBaseVolumes[id]);
    return slot.get();
}

void SDLSoundManager::ReleaseSounds()
{
    for (auto& sound : mSourceSounds)
        sound = nullptr;
}

void SDLSoundManager::ReleaseChannels()
{
    for (auto& instance : mPlayingSounds)
        instance.reset();
}

void SDLSoundManager::Flush() {}

void SDLSoundManager::StopAllSounds()
{
    for (auto& instance : mPlayingSounds)
    {
        if (instance == nullptr)
            continue;
        // Kept, so that a stopped auto-release instance is still reclaimed.
        const bool autoRelease = instance->mAutoRelease;
        instance->Stop(true);
        instance->mAutoRelease = autoRelease;
    }
}

int SDLSoundManager::GetFreeSoundId()
{
    for (int id = 0; id < mMaxSounds; ++id)
        if (mSourceSounds[size_t(id)] == nullptr)
            return id;
    return -1;
}

int SDLSoundManager::GetNumSounds()
{
    int count = 0;
    for (const auto& sound : mSourceSounds)
        if (sound != nullptr)
            ++count;
    return count;
}

void SDLSoundManager::SetCooperativeWindow(void* /*window*/, bool /*isWindowed*/) {}

int SDLSoundManager::FindFreeChannel()
{
    const uint32_t now = GetTicks();
    if (now - mLastReleaseTick > 1000)
    {
        ReleaseFreeChannels();
        mLastReleaseTick = now;
    }
    for (int channel = 0; channel < mNumChannels; ++channel)
    {
        auto& instance = mPlayingSounds[size_t(channel)];
        if (instance == nullptr)
            return channel;
        if (instance->IsReleased())
        {
            instance.reset();
            return channel;
        }
    }
    return -1;
}

void SDLSoundManager::ReleaseFreeChannels()
{
    for (auto& instance : mPlayingSounds)
        if (instance != nullptr && instance->IsReleased())
            instance.reset();
}

} // namespace Vaxo
