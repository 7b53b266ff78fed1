#include "app/sdl/SDLSoundInstance.h"
#include "app/sdl/SDLSoundManager.h"

#include "app/sdl/MixPitch.h"
#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/support/DiskAudio.h"
#include "app/support/AppTestEnv.h"
#include "common/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <filesystem>
#include <memory>

namespace Vaxo
{
namespace
{

class SDLSoundTest : public DiskAudioTest
{
protected:
    std::unique_ptr<SDLSoundManager> mManager;

    void SetUp() override
    {
        DiskAudioTest::SetUp();
        mManager = std::make_unique<SDLSoundManager>();
        ASSERT_TRUE(mManager->Initialized());
    }

    void TearDown() override
    {
        mManager.reset();
        DiskAudioTest::TearDown();
    }

    // Writes a 441 Hz tone of frames frames as name.wav and loads it under id.
    void LoadTone(unsigned id, const std::string& name, int32_t frames)
    {
        WriteToneWav(mDir + name + ".wav", 441, frames);
        ASSERT_TRUE(mManager->LoadSound(id, mDir + name));
    }

    SDLSoundInstance* Instance(unsigned id)
    {
        return static_cast<SDLSoundInstance*>(mManager->GetSoundInstance(id));
    }
};

TEST_F(SDLSoundTest, IdsFrom256AreRefusedEverywhere)
{
    LoadTone(0, "tone", 100);
    for (unsigned id : {256u, 1000u, UINT_MAX})
    {
        SCOPED_TRACE(id);
        EXPECT_FALSE(mManager->LoadSound(id, mDir + "tone"));
        EXPECT_FALSE(mManager->SetBaseVolume(id, 0.5));
        EXPECT_FALSE(mManager->SetBasePan(id, 10));
        EXPECT_EQ(mManager->GetSoundInstance(id), nullptr);
        mManager->ReleaseSound(id);
    }
    EXPECT_EQ(mManager->GetNumSounds(), 1);
    EXPECT_EQ(mManager->GetFreeSoundId(), 1);
}

// The channel gets base volume x volume x master volume x 128, truncated; volumes outside
// 0-1 are clamped (a negative one used to reach the mixer as a mere query).
TEST_F(SDLSoundTest, ChannelVolumeIsTheProductOfTheThreeVolumes)
{
    struct Row
    {
        double base;
        double volume;
        double master;
        int expected;
    };
    const Row rows[] = {
        {1.0, 0.5, 0.85, 54}, {1.0, 1.0, 1.0, 128}, {0.5, 0.5, 1.0, 32},         {0.3, 1.0, 1.0, 38},
        {1.0, -0.5, 1.0, 0},  {1.0, 2.0, 1.0, 128}, {1.0, std::nan(""), 1.0, 0},
    };
    LoadTone(7, "tone", 100);
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.expected);
        mManager->SetVolume(1.0);
        ASSERT_TRUE(mManager->SetBaseVolume(7, row.base));
        SDLSoundInstance* instance = Instance(7);
        ASSERT_NE(instance, nullptr);
        instance->SetVolume(row.volume);
        mManager->SetVolume(row.master); // reaches the live instance
        EXPECT_EQ(Mix_Volume(instance->mChannel, -1), row.expected);
        instance->Release();
    }
}

TEST(PitchRatioForSteps, IsSemitonesInSixteenDotSixteenClamped)
{
    struct Row
    {
        double steps;
        int32_t ratio;
    };
    const Row rows[] = {
        {12, 131072},       {-12, 32767},      {0, 65536},   {1, 69432},
        {-1, 61857},        {100, 524288},     {-100, 8192}, {std::nan(""), 65536},
        {HUGE_VAL, 524288}, {-HUGE_VAL, 8192},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PitchRatioForSteps(row.steps), row.ratio) << row.steps;
}

// A 441 Hz tone of one second at +12 steps is heard at 882 Hz for half a second.
TEST_F(SDLSoundTest, AdjustPitchIsHeard)
{
    LoadTone(3, "tone", kDiskRate);
    SoundInstance* instance = mManager->GetSoundInstance(3);
    ASSERT_NE(instance, nullptr);
    instance->AdjustPitch(12);
    ASSERT_TRUE(instance->Play(false, true));
    ASSERT_TRUE(WaitFor([&] { return !instance->IsPlaying(); }));
    const std::vector<int16_t> heard = MixedLeft();
    const Sound s = FindSound(heard);
    EXPECT_NEAR(double(s.Frames()), kDiskRate / 2.0, 260.0);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), 882.0, 8.82);
}

// Names are given without extension: ".wav" is tried first, then ".ogg".
TEST_F(SDLSoundTest, WavIsTriedBeforeOgg)
{
    const std::string ogg = std::string(VAXO_TEST_DATA_DIR) + "/tone441.ogg";
    std::filesystem::copy_file(ogg, mDir + "both.ogg");
    std::filesystem::copy_file(ogg, mDir + "oggonly.ogg");
    WriteToneWav(mDir + "both.wav", 441, 1000);
    ASSERT_TRUE(mManager->LoadSound(0, mDir + "both"));
    ASSERT_TRUE(mManager->LoadSound(1, mDir + "oggonly"));
    EXPECT_FALSE(mManager->LoadSound(2, mDir + "neither"));
    EXPECT_EQ(mManager->mSourceSounds[0]->mMixChunk->alen, 1000u * 4); // the WAV, made stereo
    Mix_Chunk* direct = Mix_LoadWAV(ogg.c_str());
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(mManager->mSourceSounds[1]->mMixChunk->alen, direct->alen);
    Mix_FreeChunk(direct);
    EXPECT_EQ(mManager->mSourceFileNames[2], mDir + "neither");
    EXPECT_EQ(mManager->GetNumSounds(), 2);
}

// A failed load keeps the name recorded, but the id holds no sound: the next request
// for the file loads again instead of answering the empty id.
TEST_F(SDLSoundTest, LoadByNameRetriesAfterAFailedLoad)
{
    const std::string name = mDir + "late";
    EXPECT_EQ(mManager->LoadSound(name), -1);
    EXPECT_EQ(mManager->mSourceFileNames[255], name);
    WriteToneWav(name + ".wav", 441, 100);
    EXPECT_EQ(mManager->LoadSound(name), 255);
    EXPECT_NE(mManager->mSourceSounds[255], nullptr);
    EXPECT_EQ(mManager->LoadSound(name), 255); // found, not loaded again
    WriteToneWav(mDir + "other.wav", 441, 100);
    EXPECT_EQ(mManager->LoadSound(mDir + "other"), 254);
    EXPECT_EQ(mManager->GetNumSounds(), 2);
}

// Finished auto-release instances free their channels one by one as new instances are
// asked for, without waiting for the once-a-second sweep.
TEST_F(SDLSoundTest, FinishedAutoReleaseInstancesAreReclaimedWithinTheSecond)
{
    FakeTimeSource clock(500);
    ScopedTimeSource scoped(clock);
    LoadTone(0, "tone", 200);
    for (int i = 0; i < 32; ++i)
    {
        SoundInstance* instance = mManager->GetSoundInstance(0);
        ASSERT_NE(instance, nullptr);
        ASSERT_TRUE(instance->Play(false, true));
    }
    ASSERT_TRUE(WaitFor([] { return Mix_Playing(-1) == 0; }));
    for (int i = 0; i < 32; ++i)
    {
        SDLSoundInstance* instance = Instance(0);
        ASSERT_NE(instance, nullptr) << i;
        EXPECT_EQ(instance->mChannel, i);
    }
    EXPECT_EQ(mManager->GetSoundInstance(0), nullptr); // 32 live instances, none played
}

std::atomic<int> gHalts{0};

TEST_F(SDLSoundTest, StopWithoutHaltPausesAndPlayResumes)
{
    gHalts = 0;
    Mix_ChannelFinished([](int) { ++gHalts; });
    LoadTone(0, "tone", 4410);
    SDLSoundInstance* instance = Instance(0);
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(instance->Play(true, false));
    instance->Stop(false);
    EXPECT_FALSE(instance->IsPlaying());
    EXPECT_EQ(Mix_Paused(instance->mChannel), 1);
    instance->AdjustPitch(3); // a new pitch keeps the sound paused
    EXPECT_EQ(Mix_Paused(instance->mChannel), 1);
    const int haltsBefore = gHalts;
    ASSERT_TRUE(instance->Play(true, false));
    EXPECT_EQ(Mix_Paused(instance->mChannel), 0);
    EXPECT_TRUE(instance->IsPlaying());
    EXPECT_EQ(gHalts, haltsBefore); // resumed, not started again (a new start halts first)
    instance->Stop(true);
    EXPECT_FALSE(instance->IsPlaying());
    Mix_ChannelFinished(nullptr);
}

TEST_F(SDLSoundTest, StopAllSoundsLeavesAutoReleaseInstancesToBeReclaimed)
{
    LoadTone(0, "tone", 4410);
    SoundInstance* looping = mManager->GetSoundInstance(0);
    SoundInstance* kept = mManager->GetSoundInstance(0);
    ASSERT_TRUE(looping->Play(true, true));
    ASSERT_TRUE(kept->Play(true, false));
    mManager->StopAllSounds();
    EXPECT_FALSE(looping->IsPlaying());
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_TRUE(looping->IsReleased());
    EXPECT_FALSE(kept->IsReleased());
}

// The manager goes (instances deleted, sounds released) while a pitched sound plays:
// freeing the sound halts its channel.
TEST_F(SDLSoundTest, DestroyingTheManagerHaltsItsSounds)
{
    LoadTone(0, "tone", 4410);
    SoundInstance* instance = mManager->GetSoundInstance(0);
    instance->AdjustPitch(-5);
    ASSERT_TRUE(instance->Play(true, false));
    mManager.reset();
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_TRUE(WaitMixed(8192));
}

TEST(SDLSoundManagerWithoutDevice, RunsSilent)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_EQ(SDL_Init(0), 0);
    {
        SDLSoundManager manager;
        EXPECT_FALSE(manager.Initialized());
        EXPECT_FALSE(manager.LoadSound(0u, "anything"));
        EXPECT_EQ(manager.LoadSound("anything"), -1);
        EXPECT_EQ(manager.GetSoundInstance(0), nullptr);
    }
    SDL_Quit();
}

// The application's levels reach the mixer: effects 0.85 with an instance at 0.5 give
// 54, music 0.85 gives 108, and muting silences both until the last unmute.
TEST_F(DiskAudioTest, ApplicationVolumesReachTheMixer)
{
    class AudioPlatform : public TestPlatform
    {
    public:
        using TestPlatform::TestPlatform;
        SoundManager* CreateSoundManager() override { return new SDLSoundManager(); }
        MusicInterface* CreateMusicInterface() override { return new SDLMusicInterface(); }
    };
    AppTestEnv env;
    const PlatformFactory testFactory =
        SetPlatformFactory([](VaxoAppBase* app) { return new AudioPlatform(app); });
    {
        RecordingApp app;
        app.Init();
        auto* manager = dynamic_cast<SDLSoundManager*>(app.mSoundManager.get());
        ASSERT_NE(manager, nullptr);
        WriteToneWav(mDir + "tone.wav", 441, 100);
        ASSERT_TRUE(manager->LoadSound(0u, mDir + "tone"));
        app.SetSfxVolume(0.85);
        app.SetMusicVolume(0.85);
        SoundInstance* instance = manager->GetSoundInstance(0);
        ASSERT_NE(instance, nullptr);
        const int channel = static_cast<SDLSoundInstance*>(instance)->mChannel;
        instance->SetVolume(0.5);
        EXPECT_EQ(Mix_Volume(channel, -1), 54);
        EXPECT_EQ(Mix_VolumeMusic(-1), 108);
        app.Mute(false);
        EXPECT_EQ(Mix_Volume(channel, -1), 0);
        EXPECT_EQ(Mix_VolumeMusic(-1), 0);
        app.Unmute(false);
        EXPECT_EQ(Mix_Volume(channel, -1), 54);
        EXPECT_EQ(Mix_VolumeMusic(-1), 108);
        app.Shutdown();
    }
    SetPlatformFactory(testFactory);
}

TEST(MixerVolume, ScalesToTheMixerAndClamps)
{
    const std::pair<double, int> rows[] = {{0.425, 54}, {0.85, 108}, {1.0, 128},       {0.0, 0},
                                           {-1.0, 0},   {1.5, 128},  {std::nan(""), 0}};
    for (const auto& row : rows)
        EXPECT_EQ(MixerVolume(row.first), row.second) << row.first;
}

} // namespace
} // namespace Vaxo
