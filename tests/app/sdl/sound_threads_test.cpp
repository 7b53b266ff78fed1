#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/SDLSoundManager.h"

#include "app/SoundInstance.h"
#include "app/sdl/support/DiskAudio.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace Vaxo
{
namespace
{

// Sounds load and go on a loading thread while the main thread plays and re-pitches
// others, and the mixer's audio thread reads the pitched sounds all the while.
TEST_F(DiskAudioTest, LoadingThreadLoadsWhileTheMainThreadPlays)
{
    SDLSoundManager manager("Vaxo");
    WriteToneWav(mDir + "tone.wav", 441, 2000);
    ASSERT_TRUE(manager.LoadSound(0u, mDir + "tone"));
    std::thread loader(
        [&]
        {
            for (int round = 0; round < 200; ++round) // each load releases the id's sound first
                EXPECT_TRUE(manager.LoadSound(100u + unsigned(round % 10), mDir + "tone"));
        });
    for (int round = 0; round < 200; ++round, SDL_Delay(round % 3))
        if (SoundInstance* instance = manager.GetSoundInstance(0))
        {
            instance->AdjustPitch(round % 25 - 12);
            instance->Play(round % 7 == 0, true); // every seventh loops, keeping its channel
            instance->AdjustPitch(round % 13 - 6);
        }
    loader.join();
    EXPECT_EQ(manager.GetNumSounds(), 11);
}

// A chained song, which the framework decodes and mixes on the mixer's audio thread, is started,
// paused, faded, given volumes and handed to SDL_mixer's player and back by the main thread all the
// while.
TEST_F(DiskAudioTest, AChainedSongIsControlledWhileTheAudioThreadPlaysIt)
{
    // Three checked-in songs one after another make a chained file: 8 kHz mono, 48 and 22.05 kHz stereo.
    {
        std::ofstream chained(mDir + "chained.ogg", std::ios::binary);
        for (const char* name : {"tone441.ogg", "oggenc_q10_stereo_48k.ogg", "ffmpeg_vorbis_stereo_22k.ogg"})
            chained << std::ifstream(std::string(VAXO_TEST_DATA_DIR) + "/" + name, std::ios::binary).rdbuf();
    }
    WriteToneWav(mDir + "tone.wav", 441, 4410);
    SDLMusicInterface music("Vaxo");
    ASSERT_TRUE(music.LoadMusic(0, mDir + "chained.ogg"));
    ASSERT_NE(music.mStreamedSongs[0], nullptr);
    ASSERT_TRUE(music.LoadMusic(1, mDir + "tone.wav"));
    for (int round = 0; round < 400; ++round, SDL_Delay(round % 3))
    {
        switch (round % 8)
        {
        case 0:
            music.PlayMusic(0, 0, round % 16 == 0);
            break;
        case 1:
            music.PauseMusic(0);
            break;
        case 2:
            music.ResumeMusic(0);
            break;
        case 3:
            music.SetVolume(double(round % 5) / 4);
            break;
        case 4:
            music.FadeOut(0, true, 0.5); // 20 ms
            break;
        case 5:
            music.FadeIn(0, 0, 0.5, round % 3 == 0);
            break;
        case 6:
            music.PlayMusic(1, 0, true);
            break;
        default:
            music.SongFinished();
            break;
        }
    }
    // Played to its end, it is reported finished.
    music.SetVolume(1.0);
    music.SongFinished();
    music.PlayMusic(0, 0, true);
    EXPECT_TRUE(WaitForWithin(10 * kDiskRate, [&] { return music.SongFinished(); }));
    EXPECT_FALSE(music.IsPlaying(0));
}

} // namespace
} // namespace Vaxo
