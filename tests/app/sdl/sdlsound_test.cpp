#include "app/sdl/SDLSoundInstance.h"
#include "app/sdl/SDLSoundManager.h"

#include "app/sdl/support/DiskAudio.h"
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

    // Writes frames of a 441 Hz tone as name.wav and loads it under id.
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

// Ids of 256 and above are refused everywhere; names come without extension, ".wav"
// tried before ".ogg".
TEST_F(SDLSoundTest, LoadsWavBeforeOggUnderIdsBelow256)
{
    const std::string ogg = std::string(VAXO_TEST_DATA_DIR) + "/tone441.ogg";
    std::filesystem::copy_file(ogg, mDir + "both.ogg");
    std::filesystem::copy_file(ogg, mDir + "oggonly.ogg");
    LoadTone(0, "both", 1000);
    ASSERT_TRUE(mManager->LoadSound(1, mDir + "oggonly"));
    EXPECT_FALSE(mManager->LoadSound(2, mDir + "neither"));
    EXPECT_EQ(mManager->mSourceSounds[0]->mMixChunk->alen, 1000u * 4); // the WAV, made stereo
    Mix_Chunk* direct = Mix_LoadWAV(ogg.c_str());
    EXPECT_EQ(mManager->mSourceSounds[1]->mMixChunk->alen, direct->alen);
    Mix_FreeChunk(direct);
    for (unsigned id : {256u, 1000u, UINT_MAX})
    {
        EXPECT_FALSE(mManager->LoadSound(id, mDir + "both")) << id;
        EXPECT_FALSE(mManager->SetBaseVolume(id, 0.5) || mManager->SetBasePan(id, 10)) << id;
        EXPECT_EQ(mManager->GetSoundInstance(id), nullptr) << id;
        mManager->ReleaseSound(id);
    }
    EXPECT_EQ(mManager->GetNumSounds(), 2);
}

// A failed load keeps the name recorded for an id without a sound: the next request for
// the file loads again instead of answering the empty id.
TEST_F(SDLSoundTest, LoadByNameRetriesAfterAFailedLoad)
{
    const std::string name = mDir + "late";
    EXPECT_EQ(mManager->LoadSound(name), -1);
    EXPECT_EQ(mManager->mSourceFileNames[255], name);
    WriteToneWav(name + ".wav", 441, 100);
    EXPECT_EQ(mManager->LoadSound(name), 255);
    EXPECT_NE(mManager->mSourceSounds[255], nullptr);
    EXPECT_EQ(mManager->LoadSound(name), 255); // found, not loaded again
    EXPECT_EQ(mManager->GetNumSounds(), 1);
}

// Base volume x volume x master volume x 128, truncated; volumes outside 0-1 are clamped
// (a negative one used to reach the mixer as a mere query, leaving the old volume).
TEST_F(SDLSoundTest, ChannelVolumeIsTheProductOfTheThreeVolumes)
{
    const std::tuple<double, double, double, int> rows[] = {
        {1.0, 0.5, 0.85, 54}, {1.0, 1.0, 1.0, 128}, {0.5, 0.5, 1.0, 32},         {0.3, 1.0, 1.0, 38},
        {1.0, -0.5, 1.0, 0},  {1.0, 2.0, 1.0, 128}, {1.0, std::nan(""), 1.0, 0},
    };
    LoadTone(7, "tone", 100);
    for (const auto& [base, volume, master, expected] : rows)
    {
        mManager->SetVolume(1.0);
        mManager->SetBaseVolume(7, base);
        SDLSoundInstance* instance = Instance(7);
        instance->SetVolume(volume);
        mManager->SetVolume(master); // reaches the live instance
        EXPECT_EQ(Mix_Volume(instance->mChannel, -1), expected) << base << " " << volume << " " << master;
        instance->Release();
    }
}

TEST(PitchRatioForSteps, IsSemitonesInSixteenDotSixteenClamped)
{
    const std::pair<double, int32_t> rows[] = {
        {12, 131072},  {-12, 32767}, {0, 65536},   {1, 69432},         {-1, 61857},
        {100, 524288}, {-100, 8192}, {NAN, 65536}, {HUGE_VAL, 524288}, {-HUGE_VAL, 8192}};
    for (const auto& [steps, ratio] : rows)
        EXPECT_EQ(PitchRatioForSteps(steps), ratio) << steps;
}

// A 441 Hz tone of one second at +12 steps is heard at 882 Hz for half a second.
TEST_F(SDLSoundTest, AdjustPitchIsHeard)
{
    LoadTone(3, "tone", kDiskRate);
    SoundInstance* instance = mManager->GetSoundInstance(3);
    instance->AdjustPitch(12);
    ASSERT_TRUE(instance->Play(false, true));
    ASSERT_TRUE(WaitFor([&] { return !instance->IsPlaying(); }));
    const std::vector<int16_t> heard = MixedLeft();
    const Sound s = FindSound(heard);
    EXPECT_NEAR(double(s.Frames()), kDiskRate / 2.0, 260.0);
    EXPECT_NEAR(MeasureFrequency(heard, s.first, s.end), 882.0, 8.82);
}

// Finished auto-release instances free their channels one by one as new instances are
// asked for, without the once-a-second sweep (the clock stands still).
TEST_F(SDLSoundTest, FinishedAutoReleaseInstancesAreReclaimedWithinTheSecond)
{
    FakeTimeSource clock(500);
    ScopedTimeSource scoped(clock);
    LoadTone(0, "tone", 200);
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(mManager->GetSoundInstance(0)->Play(false, true));
    ASSERT_TRUE(WaitFor([] { return Mix_Playing(-1) == 0; }));
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(Instance(0)->mChannel, i);
    EXPECT_EQ(mManager->GetSoundInstance(0), nullptr); // 32 live instances, none played
}

std::atomic<int> gHalts{0};

// Stop(false) pauses, Play resumes; and when the manager goes, freeing the sound halts
// the channel that plays it (the mixer would go on reading the freed sound).
TEST_F(SDLSoundTest, StopWithoutHaltPausesAndPlayResumes)
{
    Mix_ChannelFinished([](int) { ++gHalts; });
    LoadTone(0, "tone", 4410);
    SDLSoundInstance* instance = Instance(0);
    ASSERT_TRUE(instance->Play(true, false));
    instance->Stop(false);
    EXPECT_FALSE(instance->IsPlaying());
    instance->AdjustPitch(3); // a new pitch keeps the sound paused
    EXPECT_EQ(Mix_Paused(instance->mChannel), 1);
    const int halts = gHalts;
    ASSERT_TRUE(instance->Play(true, false));
    EXPECT_EQ(Mix_Paused(instance->mChannel), 0);
    EXPECT_TRUE(instance->IsPlaying());
    EXPECT_EQ(gHalts, halts); // resumed, not started again (a start halts first)
    Mix_ChannelFinished(nullptr);
    mManager.reset();
    EXPECT_EQ(Mix_Playing(-1), 0);
    EXPECT_TRUE(WaitMixed(8192));
}

} // namespace
} // namespace Vaxo
