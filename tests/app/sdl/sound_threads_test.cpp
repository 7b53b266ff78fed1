#include "app/sdl/SDLSoundManager.h"

#include "app/SoundInstance.h"
#include "app/sdl/support/DiskAudio.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace Vaxo
