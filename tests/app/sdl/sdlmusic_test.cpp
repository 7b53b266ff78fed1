#include "app/sdl/SDLMusicInterface.h"

#include "app/sdl/support/DiskAudio.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    // One second of a steady 441 Hz tone, made by SetUp.
    std::string mSteadySong;

    void SetUp() override
    {
        DiskAudioTest::SetUp();
        mSteadySong = mDir + "steady.wav";
        WriteToneWav(mSteadySong, 441, kDiskRate);
        gSDLSongFinished = 0;
        mMusic = std::make_unique<SDLMusicInterface>();
    }
};

// Songs by id; stops act on the current song only; volumes scale to the mixer's 0-128.
TEST_F(SDLMusicTest, SongTableStopsAndVolume)
{
    ASSERT_TRUE(mMusic->LoadMusic(5, mShortSong));
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);
    EXPECT_FALSE(mMusic->HasSong(3));
    Mix_Music* first = mMusic->GetMusicById(5);
    EXPECT_FALSE(mMusic->LoadMusic(5, mSteadySong)); // the id is taken: the first song stays
    EXPECT_EQ(mMusic->GetMusicById(5), first);
    EXPECT_FALSE(mMusic->LoadMusic(2, mDir + "missing.ogg"));
    EXPECT_FALSE(mMusic->LoadMusic(-1, mShortSong));
    EXPECT_FALSE(mMusic->LoadMusic(INT_MAX, mShortSong)); // would need a list of 2^31 entries
    EXPECT_EQ(mMusic->mMusicList.size(), 6u);

    ASSERT_TRUE(mMusic->LoadMusic(2, mSteadySong));
    mMusic->PlayMusic(2, 0, false);
    mMusic->StopMusic(3);
    EXPECT_TRUE(mMusic->IsPlaying(2));
    mMusic->PlayMusic(7, 0, false); // no song there: nothing changes
    EXPECT_EQ(mMusic->mCurrentSong, 2);
    mMusic->StopMusic(2);
    EXPECT_FALSE(mMusic->IsPlaying(2));
    EXPECT_EQ(mMusic->mCurrentSong, -1);
    for (const auto& [volume, expected] : {std::pair(0.85, 108), {1.0, 128}, {-0.2, 0}, {1.2, 128}, {NAN, 0}})
    {
        mMusic->SetVolume(volume);
        EXPECT_EQ(Mix_VolumeMusic(-1), expected) << volume;
    }
}

// A song that ends by itself is reported once and stays the current song. On this
// SDL_mixer Mix_HaltMusic does not call the finished hook, so a stopped song is not
// reported; the end of a fade-out is.
TEST_F(SDLMusicTest, SongFinishedOnceForASongThatEndsOrFadesOutButNotWhenStopped)
{
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    mMusic->PlayMusic(1, 0, true);
    ASSERT_TRUE(WaitFor([&] { return mMusic->SongFinished(); }));
    EXPECT_TRUE(WaitFor([&] { return !mMusic->IsPlaying(1); }));
    EXPECT_EQ(mMusic->mCurrentSong, 1);
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
    ASSERT_TRUE(mMusic->LoadMusic(0, mSteadySong));
    ASSERT_TRUE(mMusic->LoadMusic(1, mShortSong));
    mMusic->PlayMusic(0, 0, false);
    ASSERT_TRUE(WaitMixed(kDiskRate / 4));
    mMusic->FadeOut(1, true, 0.02); // not the current song
    EXPECT_EQ(Mix_FadingMusic(), MIX_NO_FADING);
    mMusic->FadeOut(0, true, 0.02);
    ASSERT_TRUE(WaitFor([] { return Mix_PlayingMusic() == 0; }));
    const std::vector<int16_t> heard = MixedLeft();
    // Peak level per 10 ms: full before the fade, from 97% down to 3% is 94% of it.
    std::vector<int> peaks(heard.size() / 441);
    for (size_t i = 0; i < peaks.size() * 441; ++i)
        peaks[i / 441] = std::max(peaks[i / 441], std::abs(int(heard[i])));
    const int full = *std::max_element(peaks.begin(), peaks.end());
    auto from = std::find_if(peaks.begin(), peaks.end(), [&](int p) { return p >= full * 97 / 100; });
    auto start = std::find_if(from, peaks.end(), [&](int p) { return p < full * 97 / 100; });
    auto end = std::find_if(start, peaks.end(), [&](int p) { return p <= full * 3 / 100; });
    EXPECT_NEAR(double(end - start) * 10, 470.0, 60.0);
}

TEST(MusicFadeTimeMs, IsTenDividedBySpeedGuarded)
{
    const std::pair<double, int> rows[] = {{0.02, 500}, {0.01, 1000},  {0.004, 2500},
                                           {3.0, 3},    {0.0, 0},      {-0.5, 0},
                                           {NAN, 0},    {HUGE_VAL, 0}, {1e-12, INT_MAX}};
    for (const auto& [speed, ms] : rows)
        EXPECT_EQ(MusicFadeTimeMs(speed), ms) << speed;
}

} // namespace
} // namespace Vaxo
