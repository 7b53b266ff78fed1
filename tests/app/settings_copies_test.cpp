// Copies of an application on one data folder, each a process of its own, as a player
// starts them: the one that quits later keeps what the others changed, through the whole
// run's saves.
#include "app/support/AppTestEnv.h"
#include "common/AtomicFile.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/CopiesGate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

const std::string kKey = "SOFTWARE\\Maker\\Game";

// Names the application so that Init opens its own store below the data folder.
void InitNamed(VaxoAppBase& app)
{
    app.mCompanyName = "Maker";
    app.mProductName = "Game";
    app.mRegKey = "Maker\\Game";
    app.Init();
}

int32_t StoredInt(const std::string& name)
{
    uint32_t length = 4;
    int32_t value = -1;
    if (!VaxoRegistryRead(kKey, name, nullptr, reinterpret_cast<uint8_t*>(&value), &length))
        return -1;
    return value;
}

} // namespace

TEST(AppSettingsCopies, ACopyQuittingLaterKeepsTheSettingsAnotherChanged)
{
    AppTestEnv env;
    const std::string store = env.mHome + "Library/Application Support/Maker/Game/registry.bin";
    {
        // An earlier run saved the volumes as they start.
        VaxoAppBase earlier;
        InitNamed(earlier);
        earlier.Shutdown();
    }
    CopiesGate gate;
    // Copy A: started once B runs; lowers the music and quits.
    const pid_t copyA = StartChild(
        [&]
        {
            if (!gate.Pass())
                return 2;
            VaxoAppBase app;
            InitNamed(app);
            app.mMusicVolume = 0.31;
            app.Shutdown();
            return 0;
        });
    ASSERT_GE(copyA, 0);
    // Copy B: this process, started first, quits last; it changes only the effects volume.
    VaxoAppBase app;
    InitNamed(app);
    ASSERT_TRUE(gate.OpenWhenAllHere(1));
    ASSERT_EQ(WaitForChild(copyA, 60), 0);
    app.mSfxVolume = 0.4;
    app.Shutdown();

    RegistryResetForTest();
    RegistryFileOpen(store);
    // Setting, then what the store holds after both quit.
    const std::tuple<const char*, int32_t> rows[] = {
        {"MusicVolume", 31}, // A's: B wrote back what it had read
        {"SfxVolume", 40},   // B's
        {"InProgress", 0},   // both ended cleanly
    };
    for (const auto& [name, value] : rows)
        EXPECT_EQ(StoredInt(name), value) << name;
}

namespace
{

// One step of a copy's run, taken when the test gives it its turn.
enum class Step
{
    kMusic,      // the music volume to 31
    kEffects,    // the effects volume to 40
    kFullScreen, // full screen
    kSave,       // the settings saved during the run (the public WriteToRegistry)
    kQuit,       // the window closed
};

// A copy's pipes: its turns, given by the test a byte a step, and what it says back (a byte once
// it has read the settings, then one for each step taken but the quit).
struct CopyPipes
{
    Pipe turns;
    Pipe said;
};

// A copy's whole run as the program makes it: Init (the settings read), the main loop, in
// which it takes its steps when told, Shutdown's and then the end of Start's saves, the
// application's teardown and the store's close as the platform's end makes it.
int RunCopy(AppTestEnv& env, CopyPipes& pipes, const std::vector<Step>& steps)
{
    {
        VaxoAppBase app;
        InitNamed(app);
        pipes.said.Write('s');
        size_t next = 0;
        env.mPlatform->mOnMessageLoop = [&]
        {
            char turn = 0;
            if (next == steps.size() || !pipes.turns.Read(&turn, 1))
                return;
            switch (steps[next])
            {
            case Step::kMusic: app.mMusicVolume = 0.31; break;
            case Step::kEffects: app.mSfxVolume = 0.4; break;
            case Step::kFullScreen: app.mIsWindowed = false; break;
            case Step::kSave: app.WriteToRegistry(); break;
            case Step::kQuit: app.Shutdown(); break;
            }
            // The quit is done once the copy has ended.
            if (steps[next] != Step::kQuit)
                pipes.said.Write('d');
            next++;
        };
        app.Start();
    }
    RegistryFileClose();
    return 0;
}

} // namespace

// Copies of the program as processes, each through its whole run (which saves the settings
// twice as it ends): a copy keeps every setting another copy saved that it did not change, and
// stores every one it changed, whatever order they quit in, saving during the run or not.
TEST(AppSettingsCopies, EveryCopyKeepsWhatTheOthersChangedThroughItsWholeRun)
{
    using S = Step;
    struct Row
    {
        const char* what;
        std::vector<std::vector<Step>> copies; // each copy's steps
        std::vector<std::pair<size_t, size_t>> order; // (copy, step) in the order taken
        std::vector<std::pair<const char*, int32_t>> stored; // what the store holds at the end
    };
    const Row rows[] = {
        {"one changes the music and quits; the other, started before, changes nothing",
         {{S::kMusic, S::kQuit}, {S::kQuit}},
         {{0, 0}, {0, 1}, {1, 0}},
         {{"MusicVolume", 31}, {"SfxVolume", 60}, {"ScreenMode", -1}}},
        {"full screen in one, nothing in the other",
         {{S::kFullScreen, S::kQuit}, {S::kQuit}},
         {{0, 0}, {0, 1}, {1, 0}},
         {{"ScreenMode", 1}, {"MusicVolume", 50}}},
        {"each its own, the music's copy quits first",
         {{S::kMusic, S::kQuit}, {S::kEffects, S::kQuit}},
         {{0, 0}, {1, 0}, {0, 1}, {1, 1}},
         {{"MusicVolume", 31}, {"SfxVolume", 40}}},
        {"each its own, the effects' copy quits first",
         {{S::kMusic, S::kQuit}, {S::kEffects, S::kQuit}},
         {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
         {{"MusicVolume", 31}, {"SfxVolume", 40}}},
        {"each its own, saved during the run",
         {{S::kMusic, S::kSave, S::kQuit}, {S::kEffects, S::kSave, S::kQuit}},
         {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {1, 2}, {0, 2}},
         {{"MusicVolume", 31}, {"SfxVolume", 40}}},
        {"three copies, three settings",
         {{S::kMusic, S::kQuit}, {S::kEffects, S::kQuit}, {S::kFullScreen, S::kQuit}},
         {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {2, 1}, {0, 1}},
         {{"MusicVolume", 31}, {"SfxVolume", 40}, {"ScreenMode", 1}, {"Muted", -1}}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        AppTestEnv env;
        const std::string store = env.mHome + "Library/Application Support/Maker/Game/registry.bin";
        {
            // An earlier run saved the volumes; the screen mode no run changed is not stored.
            VaxoAppBase earlier;
            InitNamed(earlier);
            earlier.mMusicVolume = 0.5;
            earlier.mSfxVolume = 0.6;
            earlier.Shutdown();
        }
        std::vector<pid_t> copies;
        std::vector<std::unique_ptr<CopyPipes>> pipes;
        char said = 0;
        for (size_t copy = 0; copy < row.copies.size(); copy++)
        {
            pipes.push_back(std::make_unique<CopyPipes>());
            copies.push_back(StartChild([&, copy] { return RunCopy(env, *pipes[copy], row.copies[copy]); }));
            ASSERT_GE(copies.back(), 0);
            // Each has read the settings before any other takes a step.
            ASSERT_TRUE(pipes[copy]->said.Read(&said, 60000));
        }
        for (const auto& [copy, step] : row.order)
        {
            ASSERT_TRUE(pipes[copy]->turns.Write('t'));
            if (row.copies[copy][step] == Step::kQuit)
                EXPECT_EQ(WaitForChild(copies[copy], 60), 0) << copy;
            else
                EXPECT_TRUE(pipes[copy]->said.Read(&said, 60000)) << copy;
        }
        RegistryResetForTest();
        RegistryFileOpen(store);
        for (const auto& [name, value] : row.stored)
            EXPECT_EQ(StoredInt(name), value) << name;
        EXPECT_EQ(StoredInt("InProgress"), 0);
    }
}

// A copy stopped while it holds the settings' lock: another copy starts without waiting for it
// (the store is read without the lock), and its saves as it quits wait for it once, then fail
// and say so, rather than write without the lock.
TEST(AppSettingsCopies, AStoppedCopyHoldingTheLockNeitherDelaysAStartNorIsWrittenOver)
{
    AppTestEnv env;
    const std::string store = env.mHome + "Library/Application Support/Maker/Game/registry.bin";
    {
        VaxoAppBase earlier;
        InitNamed(earlier);
        earlier.Shutdown();
    }
    const std::vector<uint8_t> before = [&]
    {
        std::ifstream in(store, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    const TurnLock stopped(store + ".lock", TurnLock::Target::kFile);
    ASSERT_TRUE(stopped.Held());
    const int status = RunInChild(
        [&]
        {
            using Clock = std::chrono::steady_clock;
            const auto start = Clock::now();
            int result = 0;
            {
                VaxoAppBase app;
                InitNamed(app);
                // A wait would take five seconds.
                if (Clock::now() - start > std::chrono::milliseconds(2500) ||
                    !env.mPlatform->CallsStartingWith("MessageBoxA").empty())
                    result |= 1;
                app.mMusicVolume = 0.31;
                env.mPlatform->mOnMessageLoop = [&] { app.Shutdown(); };
                const auto quit = Clock::now();
                app.Start();
                // Shutdown's save waits once; the end's saves then wait a tenth of a second.
                const auto quitting = Clock::now() - quit;
                if (quitting < std::chrono::milliseconds(4500) || quitting > std::chrono::milliseconds(9000))
                    result |= 2;
                const std::string box = "MessageBoxA(16,Save Failed,Could not save the settings to \"" + store +
                                        "\": another copy of the program kept it locked too long)";
                if (env.mPlatform->CallsStartingWith("MessageBoxA") != std::vector<std::string>{box})
                    result |= 4;
            }
            RegistryFileClose();
            return result;
        });
    EXPECT_EQ(status, 0);
    std::ifstream in(store, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), before);
}
