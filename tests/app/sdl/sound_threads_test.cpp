#include "app/sdl/SDLSoundInstance.h"
#include "app/sdl/SDLSoundManager.h"

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
    SDLSoundManager manager;
    ASSERT_TRUE(manager.Initialized());
    WriteToneWav(mDir + "tone.wav", 441, 2000);
    ASSERT_TRUE(manager.LoadSound(0u, mDir + "tone"));

    std::thread loader(
        [&]
        {
            for (int round = 0; round < 20; ++round)
                for (unsigned id = 100; id < 110; ++id)
                    EXPECT_TRUE(manager.LoadSound(id, mDir + "tone")); // releases the id's sound first
        });
    for (int round = 0; round < 200; ++round)
    {
        SoundInstance* instance = manager.GetSoundInstance(0);
        if (instance == nullptr)
            continue; // all channels busy for now
        instance->AdjustPitch(round % 25 - 12);
        instance->Play(round % 7 == 0, true);
        instance->AdjustPitch(round % 13 - 6);
        SDL_Delay(round % 3);
    }
    loader.join();
    manager.StopAllSounds();
    EXPECT_EQ(manager.GetNumSounds(), 11);
}

} // namespace
} // namespace Vaxo
