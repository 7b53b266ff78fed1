// Settings in the settings store: key paths, the nine values and their orders, volumes,
// muting, and the "InProgress" marker on disk.
#include "app/support/AppTestEnv.h"
#include "common/Registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Vaxo;

namespace
{

const std::string kKey = "SOFTWARE\\Maker\\Game";

// Records the value names read and written, in order.
class OrderApp : public VaxoAppBase
{
public:
    std::vector<std::string> mOps;
    bool RegistryRead(const std::string& name, uint32_t* type, uint8_t* data, uint32_t* length) override
    {
        mOps.push_back("R " + name);
        return VaxoAppBase::RegistryRead(name, type, data, length);
    }
    bool RegistryWrite(const std::string& name, uint32_t type, const uint8_t* data, uint32_t length) override
    {
        mOps.push_back("W " + name);
        return VaxoAppBase::RegistryWrite(name, type, data, length);
    }
};

int32_t StoredInt(const std::string& keyPath, const std::string& name)
{
    uint32_t type = 0, length = 4;
    int32_t value = -999;
    VaxoRegistryRead(keyPath, name, &type, reinterpret_cast<uint8_t*>(&value), &length);
    return value;
}

void StoreInt(const std::string& name, int32_t value)
{
    VaxoRegistryWrite(kKey, name, REG_DWORD, reinterpret_cast<const uint8_t*>(&value), 4);
}

// "InProgress" as the file on disk holds it (the live store is read back from the file).
int32_t InProgressOnDisk(const std::string& storePath)
{
    RegistryResetForTest();
    RegistryFileOpen(storePath);
    return StoredInt(kKey, "InProgress");
}

TEST(AppSettings, ValueNamesWithBackslashesExtendTheKeyPath)
{
    AppTestEnv env;
    VaxoAppBase app;
    RegistryFileOpen(env.mHome + "registry.bin");
    EXPECT_FALSE(app.RegistryWriteInteger("A", 1)); // no key: nothing is written
    int value = 0;
    EXPECT_FALSE(app.RegistryReadInteger("A", &value));

    app.mRegKey = "Maker\\Game\\";
    EXPECT_TRUE(app.RegistryWriteInteger("Sub\\Deeper\\Val", 5));
    EXPECT_EQ(StoredInt(kKey + "\\Sub\\Deeper", "Val"), 5);
    EXPECT_TRUE(app.RegistryReadInteger("Sub\\Deeper\\Val", &value));
    EXPECT_EQ(value, 5);
    std::vector<std::string> keys = {"stale"};
    EXPECT_TRUE(app.RegistryGetSubKeys("Sub", &keys));
    EXPECT_EQ(keys, std::vector<std::string>{"Deeper"});
    EXPECT_TRUE(app.RegistryEraseKey("Sub"));
    EXPECT_FALSE(app.RegistryReadInteger("Sub\\Deeper\\Val", &value));

    // Strings come back without the store's terminator; the longest is 1023 bytes.
    std::string text;
    const std::pair<std::string, bool> strings[] = {
        {"abc", true}, {"", true}, {std::string(1023, 'x'), true}, {std::string(1024, 'x'), false}};
    for (const auto& row : strings)
    {
        app.RegistryWriteString("Text", row.first);
        EXPECT_EQ(app.RegistryReadString("Text", &text), row.second) << row.first.size();
        if (row.second)
        {
            EXPECT_EQ(text, row.first);
        }
    }
    EXPECT_FALSE(app.RegistryReadInteger("Text", &value)); // wrong type
}

TEST(AppSettings, ReadAndWriteKeepTheirOwnOrders)
{
    AppTestEnv env;
    OrderApp app;
    app.mRegKey = "Maker\\Game";
    app.Init();
    const std::vector<std::string> read = {
        "R MusicVolume", "R SfxVolume",     "R Muted",        "R ScreenMode", "R PreferredX",
        "R PreferredY",  "R CustomCursors", "R WaitForVSync", "R InProgress", "W InProgress"};
    EXPECT_EQ(app.mOps, read);
    app.mOps.clear();
    app.WriteToRegistry();
    const std::vector<std::string> write = {"W MusicVolume",   "W SfxVolume",  "W Muted",
                                            "W ScreenMode",    "W PreferredX", "W PreferredY",
                                            "W CustomCursors", "W InProgress", "W WaitForVSync"};
    EXPECT_EQ(app.mOps, write);
}

TEST(AppSettings, StoredValuesBecomeMembersAndVolumesRoundTripToTheNearestPercent)
{
    AppTestEnv env;
    VaxoAppBase app;
    app.mRegKey = "Maker\\Game";
    app.Init();
    StoreInt("MusicVolume", 150);
    StoreInt("ScreenMode", 5);
    StoreInt("Muted", 1);
    StoreInt("WaitForVSync", 2);
    StoreInt("InProgress", 1);
    app.ReadFromRegistry();
    EXPECT_EQ(app.mMusicVolume, 1.5);
    EXPECT_FALSE(app.mIsWindowed);
    EXPECT_EQ(app.mMuteCount, 1);
    EXPECT_TRUE(app.mWaitForVSync);
    EXPECT_FALSE(app.mLastShutdownClean);

    // Truncation would store 0.58 as 57 and lose a percent at every start.
    const std::pair<double, int32_t> volumes[] = {{0.58, 58}, {0.857, 86}, {0.29, 29}, {0.0, 0}, {1.0, 100}};
    for (const auto& row : volumes)
    {
        app.mSfxVolume = row.first;
        app.WriteToRegistry();
        EXPECT_EQ(StoredInt(kKey, "SfxVolume"), row.second) << row.first;
        app.ReadFromRegistry();
        EXPECT_EQ(app.mSfxVolume, row.second / 100.0);
    }
}

TEST(AppSettings, MutedIsSavedForTheUsersOwnMutingOnly)
{
    AppTestEnv env;
    VaxoAppBase app;
    app.mRegKey = "Maker\\Game";
    app.Init();
    struct Row
    {
        std::vector<int> steps; // +1 Mute(false), +2 Mute(true), -1 Unmute(false), -2 Unmute(true)
        int32_t muteCount, autoCount, saved;
    };
    const Row rows[] = {
        {{1}, 1, 0, 1},        {{2}, 1, 1, 0},
        {{1, 2, -2}, 1, 0, 1}, {{1, -2}, 0, 0, 0}, // the automatic count never goes below zero
        {{-1}, 0, 0, 0},
    };
    for (const Row& row : rows)
    {
        app.mMuteCount = app.mAutoMuteCount = 0;
        for (int step : row.steps)
        {
            if (step > 0)
                app.Mute(step == 2);
            else
                app.Unmute(step == -2);
        }
        app.WriteToRegistry();
        EXPECT_EQ(app.mMuteCount, row.muteCount);
        EXPECT_EQ(app.mAutoMuteCount, row.autoCount);
        EXPECT_EQ(StoredInt(kKey, "Muted"), row.saved);
    }
}

TEST(AppSettings, InProgressReachesTheDiskAtStartAndIsClearedByACleanEnd)
{
    AppTestEnv env;
    const std::string folder = env.mHome + "Library/Application Support/Maker/Game/";
    const std::string store = folder + "registry.bin";
    {
        VaxoAppBase app;
        app.mCompanyName = "Maker";
        app.mProductName = "Game";
        app.mRegKey = "Maker\\Game";
        app.Init();
        // The data folder did not exist: start-up made it for the store.
        struct stat info;
        EXPECT_EQ(stat(folder.c_str(), &info), 0);
        EXPECT_EQ(InProgressOnDisk(store), 1);
        EXPECT_TRUE(app.mLastShutdownClean);
        app.Shutdown();
        EXPECT_EQ(InProgressOnDisk(store), 0);
    }
    // A run that ends without writing its settings is seen at the next start.
    RegistryResetForTest();
    {
        VaxoAppBase crashed;
        crashed.mCompanyName = "Maker";
        crashed.mProductName = "Game";
        crashed.mRegKey = "Maker\\Game";
        crashed.Init();
        RegistryResetForTest(); // the process dies here: nothing more reaches the disk
        crashed.mReadFromRegistry = false;
        crashed.mRegKey.clear();
    }
    VaxoAppBase next;
    next.mCompanyName = "Maker";
    next.mProductName = "Game";
    next.mRegKey = "Maker\\Game";
    next.Init();
    EXPECT_FALSE(next.mLastShutdownClean);
}

} // namespace
