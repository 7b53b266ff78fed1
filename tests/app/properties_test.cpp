// Properties (getters, loading with the ".sig" check), the plain file operations, and the
// settings in the settings store: key paths, the nine values and their orders, volumes,
// muting, the "InProgress" marker on disk, and a store that cannot be saved.
#include "app/support/AppTestEnv.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/FullDisk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace Vaxo;

namespace
{

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// HMAC-MD5 of kSignedText under the signing key, worked out with Python's hmac module.
const std::string kSignedText = "<Properties><Integer id=\"N\">7</Integer></Properties>";
const std::string kSignature = "\x80\x16\x5e\xf3\x27\xc5\x79\x58\xa3\x7c\x61\xf3\xd7\x1c\x4b\x2c";

TEST(AppProperties, GettersAnswerTheDefaultWithoutInsertingAndSettersReplace)
{
    AppTestEnv env;
    VaxoAppBase app;
    EXPECT_EQ(app.GetString("NOPE", "dflt"), "dflt");
    EXPECT_EQ(app.GetString("NOPE"), "");
    EXPECT_TRUE(app.GetBoolean("NOPE", true));
    EXPECT_EQ(app.GetInteger("NOPE", 7), 7);
    EXPECT_EQ(app.GetDouble("NOPE", 2.5), 2.5);
    EXPECT_TRUE(app.GetStringVector("NOPE").empty());
    // Only the two button texts of the constructor exist.
    EXPECT_EQ(app.mStringProperties.size(), 2u);
    EXPECT_TRUE(app.mBoolProperties.empty() && app.mIntProperties.empty() && app.mDoubleProperties.empty() &&
                app.mStringVectorProperties.empty());
    EXPECT_EQ(app.GetString("DIALOG_BUTTON_CANCEL"), "CANCEL");

    app.SetInteger("N", 1);
    app.SetInteger("N", 2);
    app.InsertStringVector("L", {"a"});
    app.InsertStringVector("L", {"b"});
    EXPECT_EQ(app.GetInteger("N"), 2);
    EXPECT_EQ(app.GetStringVector("L"), std::vector<std::string>{"a"});
}

TEST(AppProperties, LoadPropertiesReportsEachFailureWithItsText)
{
    // The file (null: none), its ".sig" (null: none), required, signature checked; then the
    // result and the message box, "@" standing for the file's path ("" for none). The
    // signature must be exactly the sixteen digest bytes.
    std::string flipped = kSignature, shorter = kSignature.substr(0, 15), longer = kSignature + "x";
    flipped[15] ^= 1;
    const std::string failed = "Signature check failed on @'";
    const std::tuple<const char*, const char*, bool, bool, bool, std::string> rows[] = {
        {nullptr, nullptr, false, false, false, ""},
        {nullptr, nullptr, true, false, false, "Unable to open properties file @"},
        {kSignedText.c_str(), nullptr, true, true, false, failed},
        {kSignedText.c_str(), kSignature.c_str(), true, true, true, ""},
        {kSignedText.c_str(), flipped.c_str(), true, true, false, failed},
        {kSignedText.c_str(), shorter.c_str(), true, true, false, failed},
        {kSignedText.c_str(), longer.c_str(), true, true, false, failed},
        {"", "", true, true, false, failed}, // no digest is no signature, even of nothing
        {"<Properties><Integer id=\"N\">x</Integer></Properties>", nullptr, false, false, false,
         "Invalid Integer Value: 'x' on Line 1"},
    };
    for (const auto& [content, sig, required, checkSig, result, message] : rows)
    {
        AppTestEnv env;
        VaxoAppBase app;
        const std::string path = env.mHome + "p.xml";
        if (content != nullptr)
            WriteFile(path, content);
        if (sig != nullptr)
            WriteFile(path + ".sig", sig);
        SCOPED_TRACE(message);
        EXPECT_EQ(app.LoadProperties(path, required, checkSig), result);
        std::string box = message;
        if (box.find('@') != std::string::npos)
            box.replace(box.find('@'), 1, path);
        std::vector<std::string> expected;
        if (!box.empty())
            expected.push_back("MessageBoxA(16,FATAL ERROR," + box + ")");
        EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA"), expected);
    }
}

TEST(AppFileOps, WritesReplaceTheFileWholeOrKeepTheOldOneAndReadsRefuseFoldersAndHugeFiles)
{
    AppTestEnv env;
    VaxoAppBase app;
    std::string path = env.mHome + "made/below/file.bin";
    EXPECT_TRUE(app.WriteBytesToFile(path, "abc", 3));
    Buffer buffer;
    buffer.WriteByte(9);
    buffer.WriteByte(8);
    EXPECT_TRUE(app.WriteBufferToFile(path, &buffer));

    Buffer read;
    EXPECT_TRUE(app.ReadBufferFromFile(path, &read, false));
    ASSERT_EQ(read.GetDataLen(), 2);
    EXPECT_EQ(read.GetDataPtr()[0], 9);
    EXPECT_TRUE(app.FileExists(path));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(GetFileDir(path)),
                            std::filesystem::directory_iterator()),
              1); // nothing left beside the file

    EXPECT_FALSE(app.ReadBufferFromFile(env.mHome + "made", &read, false));
    EXPECT_FALSE(app.ReadBufferFromFile(env.mHome + "none", &read, false));
    // A folder in the way: the write fails and says so.
    EXPECT_FALSE(app.WriteBytesToFile(env.mHome + "made", "x", 1));
    // The new bytes cannot be written: the write fails, the old file stays.
    {
        ScopedFullDisk full;
        EXPECT_FALSE(app.WriteBytesToFile(path, "new!", 4));
    }
    ASSERT_TRUE(app.ReadBufferFromFile(path, &read, false));
    EXPECT_EQ(read.GetDataLen(), 2);
    // 300 MB (sparse) is more than a Buffer holds.
    const std::string huge = env.mHome + "huge.bin";
    ASSERT_TRUE(app.WriteBytesToFile(huge, "", 0));
    ASSERT_EQ(truncate(huge.c_str(), 300 << 20), 0);
    EXPECT_FALSE(app.ReadBufferFromFile(huge, &read, false));

    EXPECT_TRUE(app.EraseFile(path));
    EXPECT_FALSE(app.FileExists(path));

    // Outside a demo a synchronised value passes through unchanged.
    bool flag = true;
    app.DemoSyncBool(&flag);
    EXPECT_TRUE(flag);
}

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

// Names the application so that Init opens its own store below the data folder.
void InitNamed(VaxoAppBase& app)
{
    app.mCompanyName = "Maker";
    app.mProductName = "Game";
    app.mRegKey = "Maker\\Game";
    app.Init();
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

// A sub-key listing empties the caller's list first; a demo records the names the call
// produced and its replay hands the caller the same list, whatever the list held.
TEST(AppSettings, SubKeyListingsReplayAsRecorded)
{
    AppTestEnv env;
    RegistryFileOpen(env.mHome + "registry.bin");
    VaxoRegistryWrite(kKey + "\\Keys\\One", "x", REG_SZ, nullptr, 0);
    VaxoRegistryWrite(kKey + "\\Keys\\Two", "x", REG_SZ, nullptr, 0);
    VaxoRegistryWrite(kKey + "\\Empty", "x", REG_SZ, nullptr, 0);
    // Key listed, the caller's list before the call; then the result and the list after it.
    typedef std::vector<std::string> Names;
    const std::tuple<std::string, Names, bool, Names> rows[] = {
        {"Keys", {"earlier", "entries"}, true, {"One", "Two"}},
        {"Keys", {}, true, {"One", "Two"}},
        {"Empty", {"earlier"}, true, {}},
        {"Missing", {"earlier"}, false, {}},
    };
    VaxoAppBase recorder;
    recorder.mRegKey = "Maker\\Game";
    recorder.mRecordingDemo = true;
    recorder.mDemoFileName = env.mHome + "subkeys.dmo"; // written as the recorder goes
    for (const auto& [key, before, listed, after] : rows)
    {
        Names names = before;
        EXPECT_EQ(recorder.RegistryGetSubKeys(key, &names), listed) << key;
        EXPECT_EQ(names, after) << key;
    }
    VaxoRegistryEraseKey(kKey); // the replay must not look
    VaxoAppBase player;
    player.mRegKey = "Maker\\Game";
    player.mPlayingDemo = true;
    player.mDemoBuffer.SetData(recorder.mDemoBuffer.GetDataPtr(), recorder.mDemoBuffer.GetDataLen());
    for (const auto& [key, before, listed, after] : rows)
    {
        Names names = {"other", "names", "here"};
        EXPECT_EQ(player.RegistryGetSubKeys(key, &names), listed) << key;
        EXPECT_EQ(names, after) << key;
    }
}

TEST(AppSettings, OrdersMembersVolumesToTheNearestPercentAndTheUsersOwnMuting)
{
    AppTestEnv env;
    OrderApp app;
    InitNamed(app);
    const std::vector<std::string> read = {
        "R MusicVolume", "R SfxVolume",     "R Muted",        "R ScreenMode", "R PreferredX",
        "R PreferredY",  "R CustomCursors", "R WaitForVSync", "R InProgress", "W InProgress"};
    EXPECT_EQ(app.mOps, read);
    app.mOps.clear();
    app.WriteToRegistry();
    // Nothing changed since they were read: only the clean-exit marker is written.
    EXPECT_EQ(app.mOps, std::vector<std::string>{"W InProgress"});
    app.mOps.clear();
    app.mMusicVolume = 0.5;
    app.mSfxVolume = 0.5;
    app.mMuteCount = 1;
    app.mIsWindowed = !app.mIsWindowed;
    app.mPreferredX = 5;
    app.mPreferredY = 6;
    app.mCustomCursorsEnabled = !app.mCustomCursorsEnabled;
    app.mWaitForVSync = !app.mWaitForVSync;
    app.WriteToRegistry();
    const std::vector<std::string> write = {"W MusicVolume",   "W SfxVolume",  "W Muted",
                                            "W ScreenMode",    "W PreferredX", "W PreferredY",
                                            "W CustomCursors", "W InProgress", "W WaitForVSync"};
    EXPECT_EQ(app.mOps, write);

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

    // Muted is saved for the user's own muting only. Steps (+1 Mute(false), +2 Mute(true), -1 Unmute(false),
    // -2 Unmute(true)), then the mute count, the automatic count and the value saved.
    const std::tuple<std::vector<int>, int32_t, int32_t, int32_t> rows[] = {
        {{1}, 1, 0, 1},        {{2}, 1, 1, 0},
        {{1, 2, -2}, 1, 0, 1}, {{1, -2}, 0, 0, 0}, // the automatic count never goes below zero
        {{-1}, 0, 0, 0},
    };
    for (const auto& [steps, muteCount, autoCount, saved] : rows)
    {
        app.mMuteCount = app.mAutoMuteCount = 0;
        for (int step : steps)
        {
            if (step > 0)
                app.Mute(step == 2);
            else
                app.Unmute(step == -2);
        }
        app.WriteToRegistry();
        EXPECT_EQ(app.mMuteCount, muteCount);
        EXPECT_EQ(app.mAutoMuteCount, autoCount);
        EXPECT_EQ(StoredInt(kKey, "Muted"), saved);
    }
}

TEST(AppSettings, InProgressReachesTheDiskAtStartAndIsClearedByACleanEnd)
{
    AppTestEnv env;
    const std::string folder = env.mHome + "Library/Application Support/Maker/Game/";
    const std::string store = folder + "registry.bin";
    VaxoAppBase app;
    InitNamed(app);
    // The data folder did not exist: start-up made it for the store.
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(InProgressOnDisk(store), 1);
    EXPECT_TRUE(app.mLastShutdownClean);
    app.Shutdown();
    EXPECT_EQ(InProgressOnDisk(store), 0);
}

TEST(AppSettings, AStoreThatCannotBeSavedIsReportedOnceAndKeptForTheNextSave)
{
    AppTestEnv env;
    const std::string folder = env.mHome + "Library/Application Support/Maker/Game/";
    const std::string store = folder + "registry.bin";
    VaxoAppBase app;
    InitNamed(app);
    // A full disk: every save fails.
    app.mMusicVolume = 0.25;
    {
        ScopedFullDisk full;
        app.WriteToRegistry();
        app.WriteToRegistry();
    }
    EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA"),
              std::vector<std::string>{"MessageBoxA(16,Save Failed,Could not save the settings to \"" +
                                       store + "\": File too large)"});

    // Once it can be written, the next save holds what the failed ones had.
    app.WriteToRegistry();
    RegistryResetForTest();
    RegistryFileOpen(store);
    EXPECT_EQ(StoredInt(kKey, "MusicVolume"), 25);
    EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA").size(), 1u);
}

// A store that could not be used at start is told once, with where it was kept; one that
// could not be moved aside either is told as not saved, without a second box at each save.
TEST(AppSettings, AStoreThatCouldNotBeReadIsToldOnceAtStart)
{
    // What stands where the store belongs, and the box.
    const std::pair<const char*, const char*> rows[] = {
        {"damaged", ".damaged\nThe settings start afresh.)"},
        {"a folder, with no name left to move it to", ": Is a directory\nIt could not be moved aside: no "
                                                      "free name\nSettings changed now will not be saved.)"},
    };
    for (const auto& [what, box] : rows)
    {
        SCOPED_TRACE(what);
        AppTestEnv env;
        const std::string folder = env.mHome + "Library/Application Support/Maker/Game/";
        const std::string store = folder + "registry.bin";
        ASSERT_TRUE(std::filesystem::create_directories(folder));
        if (std::string(what) == "damaged")
            std::ofstream(store, std::ios::binary) << "not a settings store";
        else
        {
            ASSERT_TRUE(std::filesystem::create_directories(store));
            for (int i = 1; i <= 100; i++)
                std::ofstream(store + ".unreadable" + (i > 1 ? std::to_string(i) : ""));
        }
        VaxoAppBase app;
        InitNamed(app);
        app.WriteToRegistry();
        const std::string kept = std::string(what) == "damaged" ? "\nIt was kept as " + store : "";
        EXPECT_EQ(
            env.mPlatform->CallsStartingWith("MessageBoxA"),
            std::vector<std::string>{
                "MessageBoxA(16,Settings Not Read,The settings could not be read: " + store + kept + box});
    }
}

// A store damaged or put out of reach while the program runs is found by its next save, told
// as at start (never as a save that failed), and the settings the program holds are written
// whole: what it read and what it changed. Later saves go on as usual.
TEST(AppSettings, AStoreDamagedWhileTheProgramRunsIsToldAsAtStartAndItsSettingsSavedWhole)
{
    // What is put at the store's path, and the box's end.
    const std::pair<const char*, const char*> rows[] = {
        {"damaged", ".damaged\nThe settings start afresh.)"},
        {"a folder", ": Is a directory\nIt was kept as @.unreadable\nThe settings start afresh.)"},
    };
    for (const auto& [what, box] : rows)
    {
        SCOPED_TRACE(what);
        AppTestEnv env;
        const std::string store = env.mHome + "Library/Application Support/Maker/Game/registry.bin";
        {
            VaxoAppBase earlier;
            InitNamed(earlier);
            earlier.mSfxVolume = 0.4;
            earlier.Shutdown();
        }
        VaxoAppBase app;
        InitNamed(app);
        std::filesystem::remove(store);
        if (std::string(what) == "damaged")
            WriteFile(store, "not a settings store");
        else
            ASSERT_TRUE(std::filesystem::create_directories(store + "/inside"));
        app.mMusicVolume = 0.25;
        app.WriteToRegistry();
        std::string text = "MessageBoxA(16,Settings Not Read,The settings could not be read: " + store;
        if (std::string(what) == "damaged")
            text += "\nIt was kept as " + store;
        for (const char* c = box; *c != 0; ++c)
            text += *c == '@' ? store : std::string(1, *c);
        EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA"), std::vector<std::string>{text});
        app.mMuteCount = 1;
        app.WriteToRegistry();
        EXPECT_EQ(env.mPlatform->CallsStartingWith("MessageBoxA").size(), 1u);
        RegistryResetForTest();
        RegistryFileOpen(store);
        const std::tuple<const char*, int32_t> stored[] = {
            {"MusicVolume", 25}, // changed
            {"SfxVolume", 40},   // as read
            {"Muted", 1},        // changed after
            {"InProgress", 0},
        };
        for (const auto& [name, value] : stored)
            EXPECT_EQ(StoredInt(kKey, name), value) << name;
    }
}

// Where the data folder cannot be made (a home folder that cannot be written), a failed save
// says why: the folder's reason, not the missing folder's.
TEST(AppSettings, ASaveIntoAHomeThatCannotBeWrittenSaysWhy)
{
    AppTestEnv env;
    ASSERT_EQ(chmod(env.mHome.c_str(), 0555), 0);
    const std::string folder = env.mHome + "Library/Application Support/Maker/Game/";
    const int status = RunAsOrdinaryUser(
        [&]
        {
            VaxoAppBase app;
            app.mRecordingDemo = true;
            app.mDemoFileName = folder + "vaxoapp.dmo";
            InitNamed(app);
            // The players' files are written through the same call.
            const bool playerSaved = app.WriteBytesToFile(folder + "users/user1.dat", "x", 1);
            const int playerReason = errno;
            const std::vector<std::string> boxes = env.mPlatform->CallsStartingWith("MessageBoxA");
            const std::vector<std::string> expected = {
                "MessageBoxA(16,Save Failed,Could not save the demo to \"" + folder +
                    "vaxoapp.dmo\": Permission denied)",
                "MessageBoxA(16,Save Failed,Could not save the settings to \"" + folder +
                    "registry.bin\": Permission denied)"};
            app.mRecordingDemo = false; // no demo is written at the end
            return boxes == expected && !playerSaved && playerReason == EACCES ? 0 : 1;
        });
    ASSERT_EQ(chmod(env.mHome.c_str(), 0700), 0);
    EXPECT_EQ(status, 0);
}

} // namespace
