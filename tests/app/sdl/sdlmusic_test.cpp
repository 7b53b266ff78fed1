#include "app/sdl/SDLMusicInterface.h"

#include "app/sdl/support/DiskAudio.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>

namespace Vaxo
{
namespace
{

class SDLMusicTest : public DiskAudioTest
{
protected:
    std::unique_ptr<SDLMusicInterface> mMusic;
    // The checked-in song: a quarter second of a 441 Hz tone.
    const std::string mShortSong = std::string(VAXO_TEST_DATA_DIR) + "/tone441.ogg";

    void SetUp() override
    {
        DiskAudioTest::SetUp();
        gSDLSongFinished = 0;
        mMusic = std::make_unique<SDLMusicInterface>();
    }

    void TearDown() override
    {
        mMusic.reset();
        DiskAudioTest::TearDown();
    }

    // A song of one second of a steady 441 Hz tone, written as a WAV file.
    std::string SteadySong()
    {
        WriteToneWav(mDir + "steady.wav", 441, kDiskRate);
        return mDir + "steady.wav";
    }
};

TEST_F(SDLMusicTest, LoadingGrowsTheListAndKeepsTheFirstSongOfAnId)
{
    ASSERT_TRUE(mMusic->LoadMusic(5, mShortSong));
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);
    EXPECT_FALSE(mMusic->HasSong(3));
    EXPECT_TRUE(mMusic->HasSong(5));
    Mix_Music* first = mMusic->GetMusicById(5);
    EXPECT_FALSE(mMusic->LoadMusic(5, SteadySong()));
    EXPECT_EQ(mMusic->GetMusicById(5), first);
    EXPECT_FALSE(mMusic->LoadMusic(2, mDir + "missing.ogg"));
    EXPECT_FALSE(mMusic->HasSong(2));
    // Ids that would make no list or a huge one are refused.
    EXPECT_FALSE(mMusic->LoadMusic(-1, mShortSong));
    EXPECT_FALSE(mMusic->LoadMusic(INT_MAX, mShortSong));
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);
    mMusic->UnloadMusic(5);
    EXPECT_FALSE(mMusic->HasSong(5));
}

TEST_F(SDLMusicTest, StopActsOnlyOnTheCurrentSong)
{
    ASSERT_TRUE(mMusic->LoadMusic(2, SteadySong()));
    ASSERT_TRUE(mMusic->LoadMusic(3, mShortSong));
    mMusic->PlayMusic(2, 0, false);
    mMusic->StopMusic(3);
    EXPECT_TRUE(mMusic->IsPlaying(2));
    EXPECT_FALSE(mMusic->IsPlaying(3));
    mMusic->PlayMusic(7, 0, false); // no song there: nothing changes
    EXPECT_EQ(mMusic->mCurrentSong, 2);
    mMusic->StopMusic(2);
    EXPECT_FALSE(mMusic->IsPlaying(2));
    EXPECT_EQ(mMusic->mCurrentSong, -1);
}

// The hook reports a song that ended by itself once; the song stays current.
TEST_F(SDLMusicTest, SongFinishedOnceAfterASongEndsByItself)
{
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    mMusic->PlayMusic(1, 0, true);
    ASSERT_TRUE(WaitFor([&] { return mMusic->SongFinished(); }));
    EXPECT_TRUE(WaitFor([&] { return !mMusic->IsPlaying(1); }));
    EXPECT_EQ(mMusic->mCurrentSong, 1);
    EXPECT_TRUE(WaitMixed(kDiskRate));
    EXPECT_FALSE(mMusic->SongFinished());
}

// On this SDL_mixer Mix_HaltMusic does not call the finished hook, so a stopped song is
// not reported as finished; the end of a fade-out is.
TEST_F(SDLMusicTest, StoppedSongIsNotReportedFinishedButAFadedOneIs)
{
    ASSERT_TRUE(mMusic->LoadMusic(0, SteadySong()));
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate));
    mMusic->StopAllMusic();
    ASSERT_TRUE(WaitMixed(kDiskRate));
    EXPECT_FALSE(mMusic->SongFinished());

    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 10));
    mMusic->FadeOutAll(true, 0.1);
    EXPECT_TRUE(WaitFor([&] { return mMusic->SongFinished(); }));
}

// A fade speed is the volume change per 10 ms update: 0.02 fades over 500 ms of sound.
TEST_F(SDLMusicTest, FadeOutAtSpeedTwoHundredthsTakesHalfASecond)
{
    ASSERT_TRUE(mMusic->LoadMusic(0, SteadySong()));
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 4));
    mMusic->FadeOut(1, true, 0.02); // not the current song
    EXPECT_EQ(Mix_FadingMusic(), MIX_NO_FADING);
    mMusic->FadeOut(0, true, 0.02);
    ASSERT_TRUE(WaitFor([] { return Mix_PlayingMusic() == 0; }));
    EXPECT_EQ(mMusic->mCurrentSong, 0);
    const std::vector<int16_t> heard = MixedLeft();
    // Peak level per 10 ms block: full until the fade starts, nothing once it has ended.
    const size_t block = kDiskRate / 100;
    std::vector<int> peaks;
    for (size_t b = 0; b + block <= heard.size(); b += block)
    {
        int peak = 0;
        for (size_t i = b; i < b + block; ++i)
            peak = std::max(peak, std::abs(int(heard[i])));
        peaks.push_back(peak);
    }
    const int full = *std::max_element(peaks.begin(), peaks.end());
    size_t firstLoud = 0;
    while (firstLoud < peaks.size() && peaks[firstLoud] < full * 9 / 10)
        ++firstLoud;
    size_t fadeStart = firstLoud;
    while (fadeStart < peaks.size() && peaks[fadeStart] >= full * 97 / 100)
        ++fadeStart;
    size_t fadeEnd = fadeStart;
    while (fadeEnd < peaks.size() && peaks[fadeEnd] > full * 3 / 100)
        ++fadeEnd;
    // From 97% down to 3% of a linear fade is 94% of its time: 470 ms, within a few blocks.
    EXPECT_NEAR(double(fadeEnd - fadeStart) * 10, 470.0, 60.0);
}

TEST(MusicFadeTimeMs, IsTenDividedBySpeedGuarded)
{
    const std::pair<double, int> rows[] = {{0.02, 500},       {0.01, 1000},  {0.004, 2500},
                                           {3.0, 3},          {0.0, 0},      {-0.5, 0},
                                           {std::nan(""), 0}, {HUGE_VAL, 0}, {1e-12, INT_MAX}};
    for (const auto& row : rows)
        EXPECT_EQ(MusicFadeTimeMs(row.first), row.second) << row.first;
}

TEST_F(SDLMusicTest, SetVolumeScalesToTheMixer)
{
    const std::pair<double, int> rows[] = {{0.85, 108}, {1.0, 128}, {0.0, 0}, {-0.2, 0}, {1.2, 128}};
    for (const auto& row : rows)
    {
        Mix_VolumeMusic(64);
        mMusic->SetVolume(row.first);
        EXPECT_EQ(Mix_VolumeMusic(-1), row.second) << row.first;
    }
}

TEST_F(SDLMusicTest, PauseAndResumeOnlyTheCurrentSong)
{
    ASSERT_TRUE(mMusic->LoadMusic(0, SteadySong()));
    mMusic->PlayMusic(0, 0, false);
    mMusic->PauseMusic(4);
    EXPECT_EQ(Mix_PausedMusic(), 0);
    mMusic->PauseMusic(0);
    EXPECT_EQ(Mix_PausedMusic(), 1);
    mMusic->ResumeMusic(0);
    EXPECT_EQ(Mix_PausedMusic(), 0);
    mMusic->PauseAllMusic();
    EXPECT_EQ(Mix_PausedMusic(), 1);
    mMusic->ResumeAllMusic();
    EXPECT_EQ(Mix_PausedMusic(), 0);
}

} // namespace
} // namespace Vaxo
