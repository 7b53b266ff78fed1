// Two copies of an application on one data folder, each a process of its own, as a player
// starts them: every copy writes all its settings as it quits, and the one that quits later
// keeps what the other changed.
#include "app/support/AppTestEnv.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/CopiesGate.h"

#include <gtest/gtest.h>

#include <tuple>

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
