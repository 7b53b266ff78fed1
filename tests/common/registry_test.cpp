// The settings store: file bytes, names without case, value sizes, damaged
// files, the safe save, and copies of the program sharing one store.
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/CopiesGate.h"
#include "common/support/FullDisk.h"
#include "common/support/ScopedBeforeRename.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace Vaxo;

namespace
{

typedef std::vector<uint8_t> Bytes;

const Bytes kEmptyStore = {0x01, 0x00, 0x00, 0x00, 0x00};
// One sub-key "A" holding one number value "x" = 5.
const Bytes kAx5 = {0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00,
                    0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01,
                    0x00, 0x78, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x05, 0x00, 0x00, 0x00};

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

bool WriteNumber(const std::string& key, const std::string& name, uint32_t value)
{
    return VaxoRegistryWrite(key, name, REG_DWORD, reinterpret_cast<const unsigned char*>(&value), 4);
}

bool WriteString(const std::string& key, const std::string& name, const std::string& value)
{
    return VaxoRegistryWrite(key, name, REG_SZ, reinterpret_cast<const unsigned char*>(value.data()),
                             static_cast<uint32_t>(value.size()));
}

// The number stored under key and name; -1 when there is none.
int64_t Number(const std::string& key, const std::string& name)
{
    uint32_t type = 0, length = 4, value = 0;
    const bool found = VaxoRegistryRead(key, name, &type, reinterpret_cast<unsigned char*>(&value), &length);
    return found && type == REG_DWORD ? int64_t(value) : -1;
}

class RegistryTest : public ::testing::Test
{
protected:
    RegistryTest() { RegistryResetForTest(); }
    ~RegistryTest() override { RegistryResetForTest(); }
    // Forgets the tree and loads `file`.
    void Load(const Bytes& file)
    {
        RegistryResetForTest();
        WriteFile(mPath, file);
        RegistryFileOpen(mPath);
    }
    // Saves, forgets the tree and loads the file again.
    void Reload()
    {
        RegistryFileClose();
        RegistryResetForTest();
        RegistryFileOpen(mPath);
    }

    // Files left in the store's folder beside it (temporary files of saves); the lock files
    // of stores stay there by design.
    size_t FilesBesideTheStore() const
    {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(mDir.mPath))
            count += entry.path().filename() == "registry.bin" || entry.path().extension() == ".lock" ? 0 : 1;
        return count;
    }

    TestFolder mDir;
    const std::string mPath = mDir / "registry.bin";
};

} // namespace

// ---------------------------------------------------------------- file bytes

TEST_F(RegistryTest, EmptyStoreAndOneNumberHaveTheDocumentedBytes)
{
    RegistryFileOpen(mPath);
    int error = -1;
    EXPECT_TRUE(RegistryFileClose(&error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReadFile(mPath), kEmptyStore);
    EXPECT_TRUE(WriteNumber("A", "x", 5));
    RegistryFileClose();
    EXPECT_EQ(ReadFile(mPath), kAx5);
    Load(kAx5);
    EXPECT_EQ(Number("a", "X"), 5);
    // Other version numbers are read as version one.
    Bytes other = kAx5;
    other[0] = 7;
    Load(other);
    EXPECT_EQ(Number("A", "x"), 5);
}

// --------------------------------------------------------------------- names

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling)
{
    RegistryFileOpen(mPath);
    WriteNumber("Key", "Volume", 1);
    WriteNumber("KEY", "VOLUME", 2);
    WriteNumber("key\\beta", "v", 0);
    WriteNumber("key\\Alpha", "v", 0);
    WriteNumber("KEY\\ALPHA", "v", 0);
    WriteNumber("key\\gamma", "v", 0);
    EXPECT_EQ(Number("kEy", "volume"), 2);
    std::vector<std::string> names = {"stale"};
    EXPECT_TRUE(VaxoRegistryGetSubKeys("KEY", &names));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    Reload();
    EXPECT_TRUE(VaxoRegistryGetSubKeys("Key", &names));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
}

TEST_F(RegistryTest, KeysAndValuesAreCreatedAndErasedByPath)
{
    RegistryFileOpen(mPath);
    std::vector<std::string> names = {"stale"};
    EXPECT_FALSE(VaxoRegistryGetSubKeys("Nowhere", &names));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(WriteNumber("A\\B\\C", "n", 3));
    EXPECT_TRUE(VaxoRegistryGetSubKeys("A\\B", &names));
    EXPECT_EQ(names, std::vector<std::string>{"C"});
    EXPECT_TRUE(VaxoRegistryEraseKey("A\\b")); // the parent stays
    EXPECT_TRUE(VaxoRegistryGetSubKeys("A", &names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(VaxoRegistryEraseKey("Missing\\B"));
    EXPECT_TRUE(VaxoRegistryEraseKey("a"));
    EXPECT_FALSE(VaxoRegistryGetSubKeys("A", &names));
    EXPECT_FALSE(VaxoRegistryEraseKey("A"));
    WriteNumber("K", "v", 1);
    EXPECT_TRUE(VaxoRegistryEraseVal("K", "V"));
    EXPECT_FALSE(VaxoRegistryEraseVal("K", "v"));
    EXPECT_FALSE(VaxoRegistryEraseVal("Missing", "v"));
    EXPECT_EQ(Number("K", "v"), -1);
}

TEST_F(RegistryTest, OperationsBeforeOpeningFailAndASecondOpenDoesNothing)
{
    std::vector<std::string> names = {"stale"};
    EXPECT_FALSE(WriteNumber("K", "v", 1));
    EXPECT_EQ(Number("K", "v"), -1);
    EXPECT_FALSE(VaxoRegistryEraseVal("K", "v"));
    EXPECT_FALSE(VaxoRegistryEraseKey("K"));
    EXPECT_FALSE(VaxoRegistryGetSubKeys("K", &names));
    EXPECT_TRUE(names.empty());
    RegistryFileClose(); // no root: nothing written
    EXPECT_TRUE(ReadFile(mPath).empty());
    RegistryFileOpen(mPath);
    WriteNumber("K", "v", 1);
    WriteFile(mPath, kAx5);
    RegistryFileOpen(mPath);
    EXPECT_EQ(Number("K", "v"), 1);
    EXPECT_EQ(Number("A", "x"), -1);
}

// -------------------------------------------------------------- value sizes

TEST(RegistryValue, GetValSizeRulesAndRefusedWrites)
{
    // Name, type and bytes stored, whether a size query (no buffer), the buffer's capacity;
    // then the result, the length reported and the buffer's bytes after the call.
    const std::tuple<const char*, uint32_t, std::string, bool, uint32_t, bool, uint32_t, std::string>
        cases[] = {
            {"string fits", REG_SZ, "abcd", false, 8, true, 5, std::string("abcd\0......", 8)},
            {"string exactly fits", REG_SZ, "abcd", false, 5, true, 5, std::string("abcd\0", 5)},
            {"string one byte short", REG_SZ, "abcd", false, 4, false, 5, "abcd"},
            {"empty string", REG_SZ, "", false, 1, true, 1, std::string("\0", 1)},
            {"size query", REG_SZ, "abcd", true, 0, true, 5, ""},
            {"binary", REG_BINARY, "xyz", false, 3, true, 3, "xyz"},
            {"binary short", REG_BINARY, "xyz", false, 2, false, 3, "xy"},
            {"number short", REG_DWORD, std::string("\x05\x01\x00\x00", 4), false, 2, false, 4, "\x05\x01"},
        };
    for (const auto& [name, storedType, stored, sizeQuery, capacity, result, storedLength, copied] : cases)
    {
        FRegVal val;
        ASSERT_TRUE(val.SetVal(storedType, reinterpret_cast<const unsigned char*>(stored.data()),
                               static_cast<uint32_t>(stored.size())))
            << name;
        std::string buffer(capacity, '.');
        uint32_t type = 0, length = capacity;
        unsigned char* data = sizeQuery ? nullptr : reinterpret_cast<unsigned char*>(&buffer[0]);
        EXPECT_EQ(val.GetVal(&type, data, &length), result) << name;
        EXPECT_EQ(type, storedType) << name;
        EXPECT_EQ(length, storedLength) << name;
        EXPECT_EQ(buffer, sizeQuery ? buffer : copied) << name;
    }
    FRegVal val;
    uint32_t type = 99, length = 77;
    unsigned char buf[4];
    EXPECT_FALSE(val.GetVal(&type, buf, &length)); // never set: missing, length kept
    EXPECT_EQ(type, REG_NONE_YET);
    EXPECT_EQ(length, 77u);
    const unsigned char five[4] = {5, 0, 0, 0};
    ASSERT_TRUE(val.SetVal(REG_DWORD, five, 4));
    EXPECT_FALSE(val.SetVal(REG_DWORD, five, 3));
    EXPECT_FALSE(val.SetVal(2, five, 4));
    EXPECT_FALSE(val.SetVal(REG_SZ, five, 0x10000)); // longer than the file can hold
    EXPECT_EQ(val.mType, REG_DWORD);
    EXPECT_EQ(val.mNumber, 5u);
}

TEST_F(RegistryTest, RefusedNumberWriteStillCreatesTheKey)
{
    RegistryFileOpen(mPath);
    const unsigned char three[3] = {1, 2, 3};
    EXPECT_TRUE(VaxoRegistryWrite("New\\Key", "n", REG_DWORD, three, 3));
    std::vector<std::string> names;
    EXPECT_TRUE(VaxoRegistryGetSubKeys("New", &names));
    EXPECT_EQ(names, std::vector<std::string>{"Key"});
    uint32_t length = 4;
    unsigned char buf[4];
    EXPECT_FALSE(VaxoRegistryRead("New\\Key", "n", nullptr, buf, &length));
    // The empty entry is saved as its type byte alone.
    RegistryFileClose();
    Bytes expected = {1,    0,    0,    0, 1, 1, 0, 0, 0, 3,   0,    'N',  'e',  'w',  0xFF,
                      0xFF, 0xFF, 0xFF, 1, 1, 0, 0, 0, 3, 0,   'K',  'e',  'y',  0xFF, 0xFF,
                      0xFF, 0xFF, 2,    1, 0, 0, 0, 1, 0, 'n', 0xFF, 0xFF, 0xFF, 0xFF, 0};
    EXPECT_EQ(ReadFile(mPath), expected);
}

// ----------------------------------------------------------- damaged files

// A chain of 5,000 keys, each the only sub-key of the one before.
Bytes DeeplyNested()
{
    Bytes file = {1, 0, 0, 0};
    for (int i = 0; i < 5000; ++i)
        file.insert(file.end(), {1, 1, 0, 0, 0, 1, 0, 'k', 0xFF, 0xFF, 0xFF, 0xFF});
    file.push_back(0);
    return file;
}

TEST_F(RegistryTest, DamagedFilesLoadAsAnEmptyStore)
{
    // Name, file, and what the reader reports.
    const std::tuple<const char*, Bytes, const char*> cases[] = {
        // The sub-key reference points at id 1, which is the value "x": wrong class.
        {"key reference to a value",
         {1, 0, 0, 0,   1,    2,    0,    0,    0, 1, 0, 'A', 0xFF, 0xFF, 0xFF, 0xFF, 2, 1, 0, 0,
          0, 1, 0, 'x', 0xFF, 0xFF, 0xFF, 0xFF, 4, 5, 0, 0,   0,    1,    0,    'B',  1, 0, 0, 0},
         "DataSync: shared object of wrong type - 1"},
        // The root's only sub-key is a new key whose own sub-key refers back to it.
        {"key containing itself",
         {1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 'A', 0xFF, 0xFF, 0xFF, 0xFF, 1, 1, 0, 0, 0, 1, 0, 'B', 0, 0, 0, 0},
         "FRegKey: key contains itself"},
        {"negative sub-key count",
         {1, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF},
         "DataSync: Invalid stl count - -1"},
        {"back-reference never defined",
         {1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 'A', 7, 0, 0, 0},
         "DataSync: GetRefCountForRead id not found - 7"},
        {"cut short", Bytes(kAx5.begin(), kAx5.begin() + 20), "DataReader: attempt to read past end."},
        {"keys nested deeper than the cap", DeeplyNested(), "DataSync: shared objects nested too deeply"},
    };
    for (const auto& [name, file, expected] : cases)
    {
        std::string error;
        try
        {
            DataSync sync;
            sync.OpenReader(reinterpret_cast<const char*>(file.data()), static_cast<int32_t>(file.size()));
            sync.SyncVersion(1, -1, -1);
            SmartPtr<FRegKey> root = new FRegKey();
            root->SyncState(sync);
        }
        catch (const AceException& e)
        {
            error = e.mMessage;
        }
        EXPECT_EQ(error, expected) << name;
        Load(file);
        RegistryFileClose();
        EXPECT_EQ(ReadFile(mPath), kEmptyStore) << name;
    }
}

// A file that loads as an empty store is never saved over while it may hold the player's
// settings: a damaged one, or one that cannot be read, is moved aside first, and the
// application is told once; one that cannot be moved stays and every save fails with the
// reason.
TEST_F(RegistryTest, FilesThatCouldNotBeLoadedAreMovedAsideOrNeverWrittenOver)
{
    const Bytes cut(kAx5.begin(), kAx5.begin() + 20);
    enum Obstacle
    {
        kDamaged,
        kEmpty,
        kFolder,
        kDamagedNoFreeName,
        kFolderNoFreeName,
    };
    // What stands at the path, the save's reason for failing (0: saved), the name the old
    // file is kept under ("" when it stays at the path), and the reason the application is
    // told it could not be read (-1: nothing told).
    const std::tuple<const char*, Obstacle, int, std::string, int> rows[] = {
        {"damaged", kDamaged, 0, "registry.bin.damaged", 0},
        {"damaged again: the first keeps its name", kDamaged, 0, "registry.bin.damaged2", 0},
        {"empty: nothing to lose", kEmpty, 0, "", -1},
        {"a folder", kFolder, 0, "registry.bin.unreadable", EISDIR},
        {"damaged, with no name left to move it to", kDamagedNoFreeName, EEXIST, "", 0},
        {"a folder, with no name left to move it to", kFolderNoFreeName, EISDIR, "", EISDIR},
    };
    uint32_t value = 0;
    for (const auto& [what, obstacle, reason, keptAs, told] : rows)
    {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(mPath);
        const size_t filesBefore = FilesBesideTheStore();
        const bool folder = obstacle == kFolder || obstacle == kFolderNoFreeName;
        for (int i = 3; i <= 100 && obstacle == kDamagedNoFreeName; i++)
            WriteFile(mPath + ".damaged" + std::to_string(i), {});
        for (int i = 2; i <= 100 && obstacle == kFolderNoFreeName; i++)
            WriteFile(mPath + ".unreadable" + std::to_string(i), {});
        if (folder)
            ASSERT_TRUE(std::filesystem::create_directories(mPath + "/inside"));
        else
            WriteFile(mPath, obstacle == kEmpty ? Bytes() : cut);

        RegistryResetForTest();
        RegistryFileOpen(mPath);
        FileSetAside aside;
        ASSERT_EQ(RegistryTakeFileSetAside(&aside), told != -1);
        EXPECT_FALSE(RegistryTakeFileSetAside(&aside)); // told once
        if (told != -1)
        {
            EXPECT_EQ(aside.mPath, mPath);
            EXPECT_EQ(aside.mReadError, told);
            EXPECT_EQ(aside.mKeptAs, keptAs.empty() ? "" : mDir / keptAs);
            EXPECT_EQ(aside.mMoveError, keptAs.empty() ? EEXIST : 0);
        }
        EXPECT_EQ(Number("A", "x"), -1);
        ASSERT_TRUE(WriteNumber("N", "n", ++value));
        int error = -1;
        EXPECT_EQ(RegistryFileClose(&error), reason == 0);
        EXPECT_EQ(error, reason);
        EXPECT_EQ(Number("N", "n"), value); // the run goes on with its settings
        if (!keptAs.empty())
        {
            if (folder)
                EXPECT_TRUE(std::filesystem::is_directory(mDir / (keptAs + "/inside")));
            else
                EXPECT_EQ(ReadFile(mDir / keptAs), cut);
        }
        if (reason == 0)
        {
            EXPECT_EQ(FilesBesideTheStore(), filesBefore + (keptAs.empty() ? 0 : 1));
            Reload();
            EXPECT_EQ(Number("N", "n"), value);
            continue;
        }
        // Left as it stood, with nothing beside it.
        EXPECT_EQ(FilesBesideTheStore(), filesBefore + (obstacle == kDamagedNoFreeName ? 98 : 99));
        if (folder)
            EXPECT_TRUE(std::filesystem::is_directory(mPath + "/inside"));
        else
            EXPECT_EQ(ReadFile(mPath), cut);
        EXPECT_FALSE(RegistryFileClose(&error)); // nor at the next save
        // Once it is gone, nothing stands in the way.
        std::filesystem::remove_all(mPath);
        EXPECT_TRUE(RegistryFileClose(&error));
        Reload();
        EXPECT_EQ(Number("N", "n"), value);
    }
}

// What another hand puts at the path while a copy runs is found by its next save, which does
// what a load does: sets it aside (told as a load tells it) and writes the whole store this
// copy holds, what it read as well as what it changed; one that cannot be moved aside is
// never written over.
TEST_F(RegistryTest, AStoreDamagedUnderARunningCopyIsSetAsideAndItsSettingsWrittenWhole)
{
    enum Put
    {
        kRandom,
        kEmptyThenMore,
        kCut,
        kFolder,
        kHuge,
        kCutNoFreeName,
    };
    // What is put there, the save's reason for failing (0: saved), the name it is kept under,
    // and the reason the application is told it could not be read.
    const std::tuple<const char*, Put, int, const char*, int> rows[] = {
        {"random bytes", kRandom, 0, "registry.bin.damaged", 0},
        {"random bytes that begin as an empty store", kEmptyThenMore, 0, "registry.bin.damaged", 0},
        {"a copy of itself cut short", kCut, 0, "registry.bin.damaged", 0},
        {"a folder", kFolder, 0, "registry.bin.unreadable", EISDIR},
        {"a file of 3 GB", kHuge, 0, "registry.bin.unreadable", EFBIG},
        {"cut short, with no name left to move it to", kCutNoFreeName, EEXIST, "", 0},
    };
    for (const auto& [what, put, reason, keptAs, told] : rows)
    {
        SCOPED_TRACE(what);
        for (const auto& entry : std::filesystem::directory_iterator(mDir.mPath))
            std::filesystem::remove_all(entry.path());
        Load(kAx5);
        ASSERT_TRUE(WriteNumber("N", "n", 7));
        std::filesystem::remove(mPath);
        if (put == kFolder)
            ASSERT_TRUE(std::filesystem::create_directories(mPath + "/inside"));
        else if (put == kHuge)
        {
            WriteFile(mPath, {1});
            ASSERT_EQ(truncate(mPath.c_str(), off_t(3) << 30), 0);
        }
        else if (put == kRandom)
            WriteFile(mPath, {0x7f, 0x45, 0x4c, 0x46, 0x02, 0x01, 0x01, 0x00, 0x99, 0x13, 0xee, 0x2a});
        else if (put == kEmptyThenMore)
            WriteFile(mPath, {0x3b, 0xd0, 0x91, 0x6e, 0xfc, 0x27, 0x5a, 0x08, 0xc4, 0x71});
        else
            WriteFile(mPath, Bytes(kAx5.begin(), kAx5.begin() + 20));
        for (int i = 1; i <= 100 && put == kCutNoFreeName; i++)
            WriteFile(mPath + ".damaged" + (i > 1 ? std::to_string(i) : ""), {});
        const Bytes before = put == kFolder || put == kHuge ? Bytes() : ReadFile(mPath);

        int error = -1;
        EXPECT_EQ(RegistryFileClose(&error), reason == 0);
        EXPECT_EQ(error, reason);
        FileSetAside aside;
        ASSERT_TRUE(RegistryTakeFileSetAside(&aside));
        EXPECT_EQ(aside.mReadError, told);
        EXPECT_EQ(aside.mKeptAs, *keptAs == 0 ? "" : mDir / keptAs);
        EXPECT_EQ(Number("N", "n"), 7);
        if (reason != 0)
        {
            // Left as it stood.
            EXPECT_EQ(ReadFile(mPath), before);
            continue;
        }
        if (put == kFolder)
            EXPECT_TRUE(std::filesystem::is_directory(mDir / (std::string(keptAs) + "/inside")));
        else if (put == kHuge)
            EXPECT_EQ(std::filesystem::file_size(mDir / keptAs), uintmax_t(3) << 30);
        else
            EXPECT_EQ(ReadFile(mDir / keptAs), before);
        RegistryResetForTest();
        RegistryFileOpen(mPath);
        EXPECT_FALSE(RegistryTakeFileSetAside(&aside));
        EXPECT_EQ(Number("A", "x"), 5); // as read
        EXPECT_EQ(Number("N", "n"), 7); // as changed
    }
}

// A start reads the store without waiting for a save's lock; a damaged file it finds while
// another copy holds the lock (and may be putting a good file there) is left where it is, and
// the next save, which has the lock, sets it aside and writes the store whole.
TEST_F(RegistryTest, ADamagedStoreFoundWhileAnotherCopySavesIsSetAsideByTheNextSave)
{
    const Bytes cut(kAx5.begin(), kAx5.begin() + 20);
    WriteFile(mPath, cut);
    {
        const TurnLock saving(mPath + ".lock", TurnLock::Target::kFile);
        ASSERT_TRUE(saving.Held());
        RegistryResetForTest();
        RegistryFileOpen(mPath);
        FileSetAside aside;
        EXPECT_FALSE(RegistryTakeFileSetAside(&aside));
        EXPECT_EQ(ReadFile(mPath), cut);
    }
    ASSERT_TRUE(WriteNumber("N", "n", 7));
    EXPECT_TRUE(RegistryFileClose());
    FileSetAside aside;
    ASSERT_TRUE(RegistryTakeFileSetAside(&aside));
    EXPECT_EQ(aside.mKeptAs, mPath + ".damaged");
    EXPECT_EQ(ReadFile(mPath + ".damaged"), cut);
    Reload();
    EXPECT_EQ(Number("N", "n"), 7);
}

// A file the user may not read is moved aside and told as such, not as damaged; where the
// folder cannot be changed either, it stays and is never written over.
TEST_F(RegistryTest, AFileWithoutReadPermissionIsMovedAsideOrNeverWrittenOver)
{
    // The folder's permissions, then what the save gives (0: saved; else the errno value).
    for (const auto& [folderMode, saved] : {std::pair(0777, 0), {0555, EACCES}})
    {
        SCOPED_TRACE(folderMode);
        std::filesystem::remove(mPath + ".unreadable");
        ASSERT_EQ(chmod(mDir.mPath.c_str(), 0700), 0);
        WriteFile(mPath, kAx5);
        ASSERT_EQ(chmod(mPath.c_str(), 0200), 0);
        ASSERT_EQ(chmod(mDir.mPath.c_str(), mode_t(folderMode)), 0);
        const int status = RunAsOrdinaryUser(
            [&, saved = saved]
            {
                RegistryResetForTest();
                RegistryFileOpen(mPath);
                FileSetAside aside;
                if (!RegistryTakeFileSetAside(&aside) || aside.mReadError != EACCES ||
                    aside.mKeptAs != (saved == 0 ? mPath + ".unreadable" : ""))
                    return 254;
                int error = 0;
                const bool done =
                    WriteNumber("A", "x", 6) && Number("A", "x") == 6 && RegistryFileClose(&error);
                return done ? 0 : error;
            });
        EXPECT_EQ(status, saved);
        ASSERT_EQ(chmod(mDir.mPath.c_str(), 0700), 0);
        const std::string kept = saved == 0 ? mPath + ".unreadable" : mPath;
        ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
        EXPECT_EQ(ReadFile(kept), kAx5);
        EXPECT_EQ(FilesBesideTheStore(), saved == 0 ? 1u : 0u);
    }
}

TEST_F(RegistryTest, NullAndSharedReferencesAreAccepted)
{
    // Root: sub-keys "A" (new, with a null value "n" and the value "v" = 7)
    // and "B" (a back-reference to A).
    Load({1,    0,    0,    0, 1, 2, 0, 0,   0,    1,    0,    'A',  0xFF, 0xFF, 0xFF, 0xFF,
          2,    2,    0,    0, 0, 1, 0, 'n', 0xFE, 0xFF, 0xFF, 0xFF, 1,    0,    'v',  0xFF,
          0xFF, 0xFF, 0xFF, 4, 7, 0, 0, 0,   1,    0,    'B',  0,    0,    0,    0});
    EXPECT_EQ(Number("B", "v"), 7);
    uint32_t length = 4;
    EXPECT_FALSE(VaxoRegistryRead("B", "n", nullptr, nullptr, &length));
    EXPECT_EQ(length, 4u);
    // A write through one name shows through the other: they are one key.
    WriteNumber("A", "w", 9);
    EXPECT_EQ(Number("B", "w"), 9);
    // Saved again, the shared key stays one key.
    Reload();
    WriteNumber("B", "z", 1);
    EXPECT_EQ(Number("A", "z"), 1);
}

// ------------------------------------------------------------- safe saving

TEST_F(RegistryTest, InterruptedWriteLeavesTheOldFileReadable)
{
    Load(kAx5);
    WriteNumber("A", "x", 6);
    WriteString("A", "big", std::string(5000, 's'));
    std::string seenTemp;
    int error = 0;
    {
        ScopedBeforeRename crash(
            [&](const std::string& temp)
            {
                seenTemp = temp;
                return false; // the "crash" comes before the rename
            });
        EXPECT_FALSE(RegistryFileClose(&error));
    }
    EXPECT_EQ(error, ECANCELED);
    EXPECT_EQ(GetFileDir(seenTemp), GetFileDir(mPath)); // same folder, so the rename is atomic
    EXPECT_GT(ReadFile(seenTemp).size(), 5000u);
    EXPECT_EQ(ReadFile(mPath), kAx5);
    RegistryResetForTest();
    RegistryFileOpen(mPath);
    EXPECT_EQ(Number("A", "x"), 5);
    // The next save succeeds beside the leftover temporary file, which it leaves alone:
    // another copy of the program could be writing a file of that kind.
    WriteNumber("A", "x", 8);
    Reload();
    EXPECT_TRUE(FileExists(seenTemp));
    EXPECT_EQ(Number("A", "x"), 8);
    // Two hours later no copy is writing it: the next start removes it.
    const timeval twoHoursAgo[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    ASSERT_EQ(utimes(seenTemp.c_str(), twoHoursAgo), 0);
    RegistryResetForTest();
    RegistryFileOpen(mPath);
    EXPECT_FALSE(FileExists(seenTemp));
    EXPECT_EQ(Number("A", "x"), 8);
}

// Under a file-size limit (ulimit -f) a save fails like on a full disk, reported with its
// reason, instead of the system ending the program.
TEST_F(RegistryTest, AFileSizeLimitFailsTheSaveWithoutEndingTheProgram)
{
    Load(kAx5);
    WriteString("A", "big", std::string(5000, 's'));
    const int status = RunInChild(
        [&]
        {
            // As a program starts: the signal ends it unless someone ignores it.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit = {1000, RLIM_INFINITY};
            int error = 0;
            const bool saved = setrlimit(RLIMIT_FSIZE, &limit) == 0 && RegistryFileClose(&error);
            return !saved && error == EFBIG && FilesBesideTheStore() == 0 ? 0 : 1;
        });
    EXPECT_EQ(status, 0) << (status == -1 ? "ended by a signal" : "failed");
    EXPECT_EQ(ReadFile(mPath), kAx5);
}

// A store kept as a symbolic link (as tools that keep dotfiles make it) is saved to the
// link's target, and a damaged target is moved aside beside it: the link stays a link.
TEST_F(RegistryTest, AStoreThatIsASymbolicLinkIsSavedThroughTheLink)
{
    ASSERT_TRUE(std::filesystem::create_directories(mDir / "dotfiles"));
    const std::string target = mDir / "dotfiles/registry.bin";
    std::filesystem::create_symlink("dotfiles/registry.bin", mPath);
    // What the target holds at the start, and the name a damaged one is kept under.
    const std::pair<Bytes, std::string> rows[] = {
        {kAx5, ""},
        {Bytes(kAx5.begin(), kAx5.begin() + 20), target + ".damaged"},
    };
    for (const auto& [start, keptAs] : rows)
    {
        WriteFile(target, start);
        RegistryResetForTest();
        RegistryFileOpen(mPath);
        EXPECT_EQ(Number("A", "x"), keptAs.empty() ? 5 : -1);
        WriteNumber("A", "x", 6);
        EXPECT_TRUE(RegistryFileClose());
        EXPECT_TRUE(std::filesystem::is_symlink(mPath));
        if (!keptAs.empty())
        {
            EXPECT_EQ(ReadFile(keptAs), start);
        }
        Reload();
        EXPECT_EQ(Number("A", "x"), 6);
        EXPECT_NE(ReadFile(target), start);
    }
}

TEST_F(RegistryTest, TreeStaysUsableAfterFailingToSave)
{
    const std::string missing = mDir / "missing/registry.bin";
    RegistryFileOpen(missing);
    WriteNumber("A", "x", 5);
    int error = 0;
    EXPECT_FALSE(RegistryFileClose(&error)); // the reason goes to the caller, who tells the user
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(FileExists(missing));
    EXPECT_EQ(Number("A", "x"), 5);
}

TEST_F(RegistryTest, FullDiskLeavesTheOldFileWhole)
{
    Load(kAx5);
    WriteNumber("A", "x", 6);
    int error = 0;
    {
        ScopedFullDisk full;
        EXPECT_FALSE(RegistryFileClose(&error));
    }
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(ReadFile(mPath), kAx5);
    EXPECT_EQ(FilesBesideTheStore(), 0u); // the failed temporary file is removed
}

TEST_F(RegistryTest, FailedRenameRemovesTheTemporaryFile)
{
    // A folder put at the name after loading, found by the save as it reads the store
    // again; or put there while the save writes, found just before the rename, when the save
    // is made again on what is there: either way it is set aside and the store written whole,
    // with no temporary file left behind.
    for (const bool whileSaving : {false, true})
    {
        SCOPED_TRACE(whileSaving ? "while saving" : "after loading");
        std::filesystem::remove_all(mPath);
        std::filesystem::remove_all(mPath + ".unreadable");
        RegistryResetForTest();
        RegistryFileOpen(mPath);
        WriteNumber("A", "x", 5);
        auto putFolder = [this]
        { return mkdir(mPath.c_str(), 0700) == 0 && mkdir((mPath + "/inside").c_str(), 0700) == 0; };
        if (!whileSaving)
        {
            ASSERT_TRUE(putFolder());
        }
        int error = 0;
        {
            bool put = !whileSaving;
            ScopedBeforeRename folder([&](const std::string&) { return put || (put = putFolder()); });
            EXPECT_TRUE(RegistryFileClose(&error));
        }
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(std::filesystem::is_directory(mPath + ".unreadable/inside"));
        FileSetAside aside;
        ASSERT_TRUE(RegistryTakeFileSetAside(&aside));
        EXPECT_EQ(aside.mReadError, EISDIR);
        EXPECT_EQ(FilesBesideTheStore(), 1u); // the folder kept
        EXPECT_EQ(ReadFile(mPath), kAx5);
    }
}

// Two copies of the program save one store while a third reads it (nothing tells them of
// each other): every read finds one whole version, never a damaged file that would load as
// an empty store.
TEST_F(RegistryTest, TwoProcessesSavingOneStoreNeverLeaveADamagedFile)
{
    // Each copy's store: one value of its own under K.
    const std::string texts[] = {std::string(60000, 'a'), std::string(50000, 'b')};
    std::vector<Bytes> versions = {kEmptyStore};
    for (const std::string& text : texts)
    {
        RegistryResetForTest();
        RegistryFileOpen(mDir / "version.bin");
        WriteString("K", "v", text);
        RegistryFileClose();
        versions.push_back(ReadFile(mDir / "version.bin"));
    }
    std::filesystem::remove(mDir / "version.bin");
    Load(kEmptyStore);
    std::vector<pid_t> writers;
    for (const std::string& text : texts)
    {
        const pid_t pid = StartChild(
            [&]
            {
                // Loaded from the shared file, whichever version it holds, then given its value.
                RegistryResetForTest();
                RegistryFileOpen(mPath);
                WriteString("K", "v", text);
                for (int i = 0; i < 200; i++)
                    RegistryFileClose();
                return 0;
            });
        ASSERT_GE(pid, 0);
        writers.push_back(pid);
    }
    int reads = 0;
    int damaged = 0;
    auto writing = [&writers]
    {
        for (pid_t pid : writers)
            if (ChildStatus(pid, false) == kChildRunning)
                return true;
        return false;
    };
    while (writing())
    {
        const Bytes file = ReadFile(mPath);
        reads++;
        damaged += std::find(versions.begin(), versions.end(), file) == versions.end() ? 1 : 0;
    }
    for (pid_t pid : writers)
        ChildStatus(pid, true);
    EXPECT_EQ(damaged, 0) << "of " << reads << " reads";
    EXPECT_NE(ReadFile(mPath), kEmptyStore);
    EXPECT_EQ(FilesBesideTheStore(), 0u);
}

// ------------------------------------------------------- copies of the program

namespace
{

typedef std::optional<std::string> Text;

// What a copy does to a value besides setting it.
const std::string kErase = "<erase>";        // erases the value
const std::string kEraseKey = "<erase key>"; // erases the value's key
const std::string kRefused = "<refused>";    // a write the value refuses (an empty entry)

// "Key\\name" under "Settings", split as the store keys it.
std::pair<std::string, std::string> KeyAndName(const std::string& path)
{
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return {"Settings", path};
    return {"Settings\\" + path.substr(0, slash), path.substr(slash + 1)};
}

Text StoredText(const std::string& path)
{
    const auto [key, name] = KeyAndName(path);
    char buffer[64];
    uint32_t type = 0, length = sizeof(buffer);
    if (!VaxoRegistryRead(key, name, &type, reinterpret_cast<unsigned char*>(buffer), &length) ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(buffer, length - 1);
}

bool Do(const std::string& path, const Text& action)
{
    const auto [key, name] = KeyAndName(path);
    if (!action)
        return true;
    if (*action == kErase)
        return VaxoRegistryEraseVal(key, name);
    if (*action == kEraseKey)
        return VaxoRegistryEraseKey(key);
    if (*action == kRefused)
        return VaxoRegistryWrite(key, name, REG_DWORD, reinterpret_cast<const unsigned char*>("ab"), 2);
    return WriteString(key, name, *action);
}

} // namespace

// Two copies of the program on one store, as a player starts them: B is started first and
// saves last, A changes settings and saves in between. Each save applies only what its copy
// changed to the store as the file holds it then: what B writes back as it held it (as the
// application writes all its settings at its end) does not undo A's settings.
TEST_F(RegistryTest, CopiesSavingInTurnKeepWhatTheOtherChanged)
{
    // Value (under "Settings"), the file at the start, what copy A does, what copy B does;
    // then the store after both saved. No text: no value, or nothing done.
    const std::tuple<const char*, Text, Text, Text, Text> rows[] = {
        {"MusicVolume", "85", "31", "85", "31"}, // B writes back what it held
        {"Is3D", "0", "1", "0", "1"},
        {"UserProfile", "Ann", "Victor", {}, "Victor"}, // B played nobody
        {"SfxVolume", "85", {}, "40", "40"},
        {"InProgress", "1", "0", "0", "0"},
        {"Both", "1", "2", "3", "3"}, // the later save's change
        {"Untouched", "u", {}, {}, "u"},
        {"NewInA", {}, "a", {}, "a"},
        {"NewInBoth", {}, "a", "b", "b"},
        {"ErasedByA", "1", kErase, "1", {}},
        {"ErasedByB", "1", "2", kErase, {}},
        {"RefusedInB", {}, "a", kRefused, "a"}, // an empty entry holds nothing to save
        {"Dialog\\Folder", "/home", kEraseKey, "/home", {}},
        {"Shared\\Old", "1", {}, kEraseKey, {}},
        {"Shared\\New", {}, "n", {}, "n"}, // what B did not know of its key stays
    };
    RegistryFileOpen(mPath);
    for (const auto& [path, start, a, b, after] : rows)
        ASSERT_TRUE(Do(path, start)) << path;
    ASSERT_TRUE(RegistryFileClose());

    // Copy B: this process, loaded before A saves.
    RegistryResetForTest();
    RegistryFileOpen(mPath);
    const int copyA = RunInChild(
        [&]
        {
            RegistryResetForTest();
            RegistryFileOpen(mPath);
            for (const auto& [path, start, a, b, after] : rows)
                Do(path, a);
            return RegistryFileClose() ? 0 : 1;
        });
    ASSERT_EQ(copyA, 0);
    for (const auto& [path, start, a, b, after] : rows)
        Do(path, b);
    int error = -1;
    EXPECT_TRUE(RegistryFileClose(&error));
    EXPECT_EQ(error, 0);
    // B holds what it saved, and the file holds it.
    for (const auto& [path, start, a, b, after] : rows)
        EXPECT_EQ(StoredText(path), after) << path << ", held";
    std::vector<std::string> names;
    EXPECT_FALSE(VaxoRegistryGetSubKeys("Settings\\Dialog", &names));
    RegistryResetForTest();
    RegistryFileOpen(mPath);
    for (const auto& [path, start, a, b, after] : rows)
        EXPECT_EQ(StoredText(path), after) << path << ", saved";
    EXPECT_FALSE(VaxoRegistryGetSubKeys("Settings\\Dialog", &names));
}

// Copy A stalls inside its save between writing its file and the rename (a slow disk, a
// stopped process), holding the lock; copy B saves meanwhile. No save is written without its
// lock while another copy holds it: B's save waits, fails when the wait runs out and keeps its
// change for its next save. A lock file deleted or replaced meanwhile lets B in, and A, finding
// its lock no longer the one the path names, makes its save again on what B saved. Where no
// copy can open the lock file, A's check of the store file itself stands in for the lock.
// Either way the store ends with both copies' changes.
TEST_F(RegistryTest, ASaveStalledBeforeItsRenameNeverPutsItsOlderMergeOverAnotherCopysSave)
{
    enum Mishap
    {
        kNone,
        kLockDeleted,
        kLockReplaced,
        kLockUnopenable,
    };
    // What happens while A stalls, and what B's first save gives (0: saved; else errno).
    const std::tuple<const char*, Mishap, int> rows[] = {
        {"A holds the lock", kNone, EWOULDBLOCK},
        {"the lock file deleted", kLockDeleted, 0},
        {"the lock file replaced", kLockReplaced, 0},
        {"a lock file no copy may open", kLockUnopenable, 0},
    };
    const std::string lockPath = mPath + ".lock";
    for (const auto& [what, mishap, firstSave] : rows)
    {
        SCOPED_TRACE(what);
        std::filesystem::remove(lockPath);
        Load(kAx5);
        RegistryResetForTest();
        // Copies of another user, who may not open a lock file of mode 000.
        const bool ordinary = mishap == kLockUnopenable;
        if (ordinary)
        {
            WriteFile(lockPath, {});
            ASSERT_EQ(chmod(lockPath.c_str(), 0), 0);
            ASSERT_EQ(chmod(mDir.mPath.c_str(), 0777), 0);
        }
        auto asCopy = [ordinary](const std::function<int()>& body)
        { return ordinary ? AsOrdinaryUser(body) : body; };
        CopiesGate stalled;
        const pid_t copyA = StartChild(asCopy(
            [&]
            {
                RegistryFileOpen(mPath);
                WriteNumber("A", "a", 1);
                bool first = true;
                ScopedBeforeRename stall([&](const std::string&) { return !std::exchange(first, false) || stalled.Pass(); });
                int error = 0;
                return RegistryFileClose(&error) ? 0 : error;
            }));
        ASSERT_GE(copyA, 0);
        ASSERT_TRUE(stalled.AllHere(1));
        if (mishap == kLockDeleted)
            std::filesystem::remove(lockPath);
        if (mishap == kLockReplaced)
        {
            WriteFile(mPath + ".new", {});
            std::filesystem::rename(mPath + ".new", lockPath);
        }
        // Copy B: loaded while A stalls, so before A's save.
        int first = -1;
        if (ordinary)
        {
            first = RunInChild(asCopy(
                [&]
                {
                    RegistryFileOpen(mPath);
                    WriteNumber("B", "b", 2);
                    int error = 0;
                    return RegistryFileClose(&error) ? 0 : error;
                }));
        }
        else
        {
            RegistryFileOpen(mPath);
            WriteNumber("B", "b", 2);
            RegistryFileClose(&first);
        }
        EXPECT_EQ(first, firstSave);
        stalled.Open();
        EXPECT_EQ(WaitForChild(copyA, 60), 0);
        // The change B kept is saved once A is done.
        if (!ordinary)
        {
            EXPECT_TRUE(RegistryFileClose());
        }
        ASSERT_EQ(chmod(mDir.mPath.c_str(), 0700), 0);
        RegistryResetForTest();
        RegistryFileOpen(mPath);
        EXPECT_EQ(Number("A", "a"), 1);
        EXPECT_EQ(Number("B", "b"), 2);
        EXPECT_EQ(Number("A", "x"), 5);
        RegistryResetForTest();
    }
}

// Eight copies, each loaded before any saved, save at the same moment, twenty times each, a
// value of their own and one for the round: every copy's last value is kept, and every save of
// every round (a save another copy's later rename undid would lose its round's value).
TEST_F(RegistryTest, CopiesSavingAtOnceEachKeepTheirValues)
{
    constexpr int kCopies = 8;
    constexpr uint32_t kRounds = 20;
    Load(kAx5);
    RegistryResetForTest();
    CopiesGate gate;
    std::vector<pid_t> copies;
    for (int copy = 0; copy < kCopies; copy++)
    {
        copies.push_back(StartChild(
            [&, copy]
            {
                RegistryFileOpen(mPath);
                if (!gate.Pass())
                    return 2;
                bool saved = true;
                for (uint32_t round = 1; round <= kRounds; round++)
                    saved = WriteNumber("Copies", "Copy" + std::to_string(copy), round) &&
                            WriteNumber("Rounds", std::to_string(copy) + "." + std::to_string(round), round) &&
                            RegistryFileClose() && saved;
                return saved ? 0 : 1;
            }));
        ASSERT_GE(copies.back(), 0);
    }
    EXPECT_TRUE(gate.OpenWhenAllHere(kCopies));
    for (pid_t pid : copies)
        EXPECT_EQ(WaitForChild(pid, 120), 0);
    RegistryFileOpen(mPath);
    for (int copy = 0; copy < kCopies; copy++)
    {
        EXPECT_EQ(Number("Copies", "Copy" + std::to_string(copy)), kRounds) << copy;
        for (uint32_t round = 1; round <= kRounds; round++)
            EXPECT_EQ(Number("Rounds", std::to_string(copy) + "." + std::to_string(round)), round)
                << copy << " " << round;
    }
    EXPECT_EQ(Number("A", "x"), 5);
    EXPECT_EQ(FilesBesideTheStore(), 0u);
}

// A hand-made file may share one key under two names at every level: forty levels of it are
// 2^40 paths, but a save merges each key once.
TEST_F(RegistryTest, KeysSharedAtEveryLevelAreMergedOnce)
{
    constexpr int kLevels = 40;
    // Root: "k", the first key; each key then holds "a", the next key, and "b", a reference
    // to it (object ids count keys from 0 for "k"); the last holds the number "v" = 5.
    Bytes tail = {2, 1, 0, 0, 0, 1, 0, 'v', 0xFF, 0xFF, 0xFF, 0xFF, 4, 5, 0, 0, 0};
    for (int level = kLevels - 1; level >= 1; level--)
    {
        Bytes key = {1, 2, 0, 0, 0, 1, 0, 'a', 0xFF, 0xFF, 0xFF, 0xFF};
        key.insert(key.end(), tail.begin(), tail.end());
        key.insert(key.end(), {1, 0, 'b', uint8_t(level), 0, 0, 0});
        tail = key;
    }
    Bytes file = {1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 'k', 0xFF, 0xFF, 0xFF, 0xFF};
    file.insert(file.end(), tail.begin(), tail.end());
    std::string viaA = "k", viaB = "k";
    for (int level = 1; level < kLevels; level++)
    {
        viaA += "\\a";
        viaB += level % 2 == 0 ? "\\a" : "\\b";
    }
    Load(file);
    ASSERT_EQ(Number(viaB, "v"), 5);
    const int status = WaitForChild(StartChild(
                                        [&]
                                        {
                                            WriteNumber(viaA, "v", 6);
                                            RegistryFileClose();
                                            RegistryResetForTest();
                                            RegistryFileOpen(mPath);
                                            const bool changed = Number(viaB, "v") == 6;
                                            VaxoRegistryEraseKey("k");
                                            RegistryFileClose();
                                            RegistryResetForTest();
                                            RegistryFileOpen(mPath);
                                            return changed && Number(viaB, "v") == -1 ? 0 : 1;
                                        }),
                                    20);
    EXPECT_EQ(status, 0) << (status == -1 ? "still saving after 20 seconds" : "not saved");
}
