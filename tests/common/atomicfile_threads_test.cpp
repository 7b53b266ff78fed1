// Whole-file saves: the old file stays whole when a save fails, the permissions of the file
// replaced are kept, nothing is left beside it, and two writers saving one file at once
// while a reader reads it never let the reader see anything but a whole version. The lock
// that copies take turns at.
#include "common/AtomicFile.h"
#include "common/support/FullDisk.h"
#include "common/support/ScopedBeforeRename.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using namespace Vaxo;

namespace
{

// The file's bytes; "" for a folder.
std::string ReadFile(const std::string& path)
{
    if (std::filesystem::is_directory(path))
        return "";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Save(const std::string& path, const std::string& bytes)
{
    return WriteFileAtomically(path, bytes.data(), uint32_t(bytes.size()));
}

// The names in the folder other than the saved file's own.
std::vector<std::string> OthersIn(const TestFolder& folder, const std::string& name)
{
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder.mPath))
        if (entry.path().filename() != name)
            others.push_back(entry.path().filename());
    return others;
}

mode_t Mode(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(WriteFileAtomically, ReplacesTheWholeFileOrLeavesTheOldOneAndNothingBeside)
{
    // What stands in the way, whether the save succeeds, what the file then holds, and
    // whether the temporary file is left (only a save abandoned before its rename leaves it).
    enum Obstacle
    {
        kNothing,
        kFullDisk,
        kCrashBeforeRename,
        kFolderAtTheName,
    };
    const std::tuple<Obstacle, bool, std::string, size_t> rows[] = {
        {kNothing, true, "new", 0},
        {kFullDisk, false, "old", 0},
        {kCrashBeforeRename, false, "old", 1},
        {kFolderAtTheName, false, "", 0},
    };
    for (const auto& [obstacle, saved, content, leftOver] : rows)
    {
        TestFolder folder;
        const std::string path = folder / "file.bin";
        if (obstacle == kFolderAtTheName)
            std::filesystem::create_directories(path + "/inside");
        else
            folder.Write("file.bin", "old");
        bool result = false;
        if (obstacle == kFullDisk)
        {
            ScopedFullDisk full;
            result = Save(path, "new");
        }
        else
        {
            const bool crash = obstacle == kCrashBeforeRename;
            ScopedBeforeRename beforeRename(
                [crash](const std::string& temp)
                {
                    EXPECT_EQ(ReadFile(temp), "new");
                    return !crash;
                });
            result = WriteFileAtomically(path, "new", 3);
        }
        EXPECT_EQ(result, saved) << obstacle;
        EXPECT_EQ(ReadFile(path), content) << obstacle;
        EXPECT_EQ(OthersIn(folder, "file.bin").size(), leftOver) << obstacle;
        // What a crash leaves is what a later start's clean-up takes, once old.
        for (const std::string& other : OthersIn(folder, "file.bin"))
        {
            const timeval times[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
            ASSERT_EQ(::utimes((folder / other).c_str(), times), 0);
        }
        RemoveStaleTempFiles(folder.mPath, [](const std::string& name) { return name == "file.bin"; });
        EXPECT_TRUE(OthersIn(folder, "file.bin").empty()) << obstacle;
    }
    TestFolder folder;
    EXPECT_FALSE(Save(folder / "missing/file.bin", "x")); // the folder must exist
    EXPECT_FALSE(WriteFileAtomically(folder / "file.bin", nullptr, 1));
    EXPECT_TRUE(WriteFileAtomically(folder / "empty.bin", nullptr, 0));
    EXPECT_EQ(std::filesystem::file_size(folder / "empty.bin"), 0u);
}

TEST(WriteFileAtomically, KeepsThePermissionsOfTheFileItReplaces)
{
    TestFolder folder;
    const std::string path = folder.Write("file.bin", "old");
    // The mode of the file replaced, and of the file saved: its owner may always read and
    // write it, or a save over a file of mode 000 would be read as nothing at every start.
    for (const auto& [before, after] :
         {std::pair<mode_t, mode_t>(0640, 0640), {0604, 0604}, {0600, 0600}, {0000, 0600}, {0444, 0644}})
    {
        ASSERT_EQ(::chmod(path.c_str(), before), 0);
        ASSERT_TRUE(Save(path, "new"));
        EXPECT_EQ(Mode(path), after) << before;
    }
    // A new file gets what the C library gives one.
    std::fclose(std::fopen((folder / "by-fopen").c_str(), "wb"));
    ASSERT_TRUE(Save(folder / "new.bin", "x"));
    EXPECT_EQ(Mode(folder / "new.bin"), Mode(folder / "by-fopen"));
}

// Files of saves cut short by a crash: only the stores' own, by the mark in their names, and
// only once no running save can still be writing them.
TEST(RemoveStaleTempFiles, RemovesOnlyOldTemporaryFilesOfTheStoredFiles)
{
    TestFolder folder;
    // name, age in seconds, whether it goes
    const std::tuple<const char*, int, bool> rows[] = {
        {"store.bin.vaxo-save-a1B2c3", 7200, true},
        {"store.bin.vaxo-save-ZZZZZZ", 3700, true},
        {"store.bin.vaxo-save-abcdef", 7200, true},  // all lowercase is mkstemp's too
        {"store.bin.vaxo-save-x7y8z9", 60, false},   // a save of another copy may be writing it
        {"store.bin.vaxo-save-a1B2c", 7200, false},  // not mkstemp's six
        {"store.bin.vaxo-save-a1-2c3", 7200, false}, //
        {"other.bin.vaxo-save-a1B2c3", 7200, false}, // not a stored file's
        {"store.bin.damaged", 7200, false},          // a file kept aside
        // Copies a person made, and leftovers of the old naming, which no mark tells apart.
        {"store.bin.backup", 7200, false},
        {"store.bin.Backup", 7200, false},
        {"store.bin.bak001", 7200, false},
        {"store.bin.Old123", 7200, false},
        {"store.bin.2024v1", 7200, false},
        {"store.bin.Copy01", 7200, false},
        {"store.bin.123456", 7200, false},
        {"store.bin.a1B2c3", 7200, false},
        {"store.bin", 7200, false},
    };
    for (const auto& [name, age, goes] : rows)
    {
        const std::string path = folder.Write(name, "x");
        const timeval times[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }
    // A folder of that pattern is no temporary file.
    std::filesystem::create_directories(folder / "store.bin.vaxo-save-Q1w2E3");
    RemoveStaleTempFiles(folder.mPath, [](const std::string& name) { return name == "store.bin"; });
    for (const auto& [name, age, goes] : rows)
        EXPECT_EQ(std::filesystem::exists(folder / name), !goes) << name;
    EXPECT_TRUE(std::filesystem::is_directory(folder / "store.bin.vaxo-save-Q1w2E3"));
}

// A file set aside takes a name nothing has, in one step: never one a file kept before
// has (two copies of the program moving files aside at once cannot take one name), nor one
// a link or a folder has.
TEST(SetFileAside, TakesOnlyANameNothingHas)
{
    TestFolder folder;
    const std::string path = folder / "list.dat";
    folder.Write("list.dat.damaged", "kept before");
    std::filesystem::create_symlink("nowhere", path + ".damaged2");
    std::filesystem::create_directories(path + ".damaged3");
    // What stands at the name, the reason it could not be read, and where it goes.
    const std::tuple<const char*, int, std::string> rows[] = {
        {"a file not understood", 0, ".damaged4"},
        {"a file not read", EACCES, ".unreadable"},
        {"a folder", EISDIR, ".unreadable2"},
    };
    for (const auto& [what, readError, keptAs] : rows)
    {
        if (std::string(what) == "a folder")
            std::filesystem::create_directories(path + "/inside");
        else
            folder.Write("list.dat", what);
        const FileSetAside aside = SetFileAside(path, readError);
        EXPECT_EQ(aside.mPath, path);
        EXPECT_EQ(aside.mReadError, readError);
        EXPECT_EQ(aside.mKeptAs, path + keptAs) << what;
        EXPECT_EQ(aside.mMoveError, 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path))) << what;
    }
    EXPECT_EQ(ReadFile(path + ".damaged"), "kept before");
    EXPECT_TRUE(std::filesystem::is_symlink(path + ".damaged2"));
    EXPECT_TRUE(std::filesystem::is_directory(path + ".damaged3"));
    EXPECT_EQ(ReadFile(path + ".damaged4"), "a file not understood");
    EXPECT_TRUE(std::filesystem::is_directory(path + ".unreadable2/inside"));
}

// Two copies of the program saving one file: each save has its own temporary file, so
// the reader only ever finds one writer's version whole.
TEST(WriteFileAtomically, TwoWritersAndAReaderNeverSeeAPartialFile)
{
    TestFolder folder;
    const std::string path = folder / "shared.bin";
    const std::string versions[] = {std::string(150000, 'a'), std::string(90000, 'b')};
    ASSERT_TRUE(Save(path, versions[0]));
    std::atomic<int> writersLeft(2);
    std::atomic<int> failedSaves(0);
    std::vector<std::thread> writers;
    for (const std::string& version : versions)
        writers.emplace_back(
            [&, version]
            {
                for (int i = 0; i < 150; i++)
                    failedSaves += Save(path, version) ? 0 : 1;
                --writersLeft;
            });
    int reads = 0;
    int damaged = 0;
    while (writersLeft > 0)
    {
        const std::string read = ReadFile(path);
        reads++;
        damaged += read == versions[0] || read == versions[1] ? 0 : 1;
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(damaged, 0) << "of " << reads << " reads";
    EXPECT_EQ(failedSaves, 0);
    EXPECT_EQ(OthersIn(folder, "shared.bin"), std::vector<std::string>());
}

} // namespace

// TurnLock: a wait for another holder, given up when it runs out; a path deleted or made
// again while a copy waits or holds it; paths the system gives no lock for. Each holder is a
// TurnLock of its own, as another copy's would be (a lock of one open file keeps out another).
TEST(TurnLock, WaitsForTheHolderGivesUpWhenTheWaitRunsOutAndFollowsThePath)
{
    enum Meanwhile
    {
        kHeldThroughout,
        kLetGo,
        kDeletedThenLetGo,
        kReplacedThenLetGo,
    };
    // What the holder does while another waits half a second, then whether the waiter holds it and
    // its error.
    const std::tuple<const char*, Meanwhile, bool, int> rows[] = {
        {"held throughout", kHeldThroughout, false, EWOULDBLOCK},
        {"let go", kLetGo, true, 0},
        {"deleted, then let go", kDeletedThenLetGo, true, 0},
        {"replaced, then let go", kReplacedThenLetGo, true, 0},
    };
    constexpr std::chrono::milliseconds kWait(500);
    for (const auto& [what, meanwhile, held, error] : rows)
    {
        SCOPED_TRACE(what);
        TestFolder folder;
        const std::string path = folder / "store.lock";
        auto holder = std::make_unique<TurnLock>(path, TurnLock::Target::kFile);
        ASSERT_TRUE(holder->Held());
        std::thread other(
            [&, meanwhile = meanwhile]
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (meanwhile == kDeletedThenLetGo)
                    std::filesystem::remove(path);
                if (meanwhile == kReplacedThenLetGo)
                {
                    std::ofstream(path + ".new") << "";
                    std::filesystem::rename(path + ".new", path);
                }
                // The deleted or replaced file is no longer the one the path names.
                const bool stillHeld = holder->StillHeld();
                if (meanwhile != kHeldThroughout)
                    holder.reset();
                EXPECT_EQ(stillHeld, meanwhile == kHeldThroughout || meanwhile == kLetGo);
            });
        const auto start = std::chrono::steady_clock::now();
        TurnLock waiter(path, TurnLock::Target::kFile, kWait);
        const auto waited = std::chrono::steady_clock::now() - start;
        other.join();
        EXPECT_EQ(waiter.Held(), held);
        EXPECT_EQ(waiter.Error(), error);
        EXPECT_EQ(waiter.HeldElsewhere(), error == EWOULDBLOCK);
        EXPECT_EQ(waiter.StillHeld(), held);
        if (!held)
        {
            EXPECT_GE(waited, kWait);
        }
        if (!held)
        {
            // Its holder seems stopped: the next wait for the path is short (a tenth of a second).
            const auto again = std::chrono::steady_clock::now();
            TurnLock shortWait(path, TurnLock::Target::kFile, kWait);
            EXPECT_TRUE(shortWait.HeldElsewhere());
            EXPECT_LT(std::chrono::steady_clock::now() - again, kWait * 2 / 3);
        }
        // Nobody else holds it once both let go: a copy that gave up keeps nothing.
        holder.reset();
        if (!held)
        {
            auto next = std::make_unique<TurnLock>(path, TurnLock::Target::kFile, kWait);
            EXPECT_TRUE(next->Held());
            // Had again, the path's waits wait again.
            std::thread letGo(
                [&next, half = kWait / 2]
                {
                    std::this_thread::sleep_for(half);
                    next.reset();
                });
            TurnLock after(path, TurnLock::Target::kFile, kWait);
            letGo.join();
            EXPECT_TRUE(after.Held());
        }
    }
}

TEST(TurnLock, AFolderIsLockedAndPathsWithoutALockAreToldApartFromAHolder)
{
    TestFolder folder;
    {
        TurnLock first(folder.mPath, TurnLock::Target::kFolder);
        ASSERT_TRUE(first.Held());
        TurnLock second(folder.mPath, TurnLock::Target::kFolder, std::chrono::milliseconds(0));
        EXPECT_TRUE(second.HeldElsewhere());
    }
    // A folder deleted and made again is a new one, which nobody holds yet.
    const std::string made = folder / "made";
    ASSERT_TRUE(std::filesystem::create_directory(made));
    TurnLock old(made, TurnLock::Target::kFolder);
    ASSERT_TRUE(old.Held());
    std::filesystem::remove(made);
    ASSERT_TRUE(std::filesystem::create_directory(made));
    EXPECT_FALSE(old.StillHeld());
    TurnLock again(made, TurnLock::Target::kFolder, std::chrono::milliseconds(0));
    EXPECT_TRUE(again.Held());

    // No lock to be had: not another holder, so the caller goes on with its own checks.
    const std::tuple<std::string, TurnLock::Target, int> rows[] = {
        {folder / "missing/store.lock", TurnLock::Target::kFile, ENOENT},
        {folder / "missing", TurnLock::Target::kFolder, ENOENT},
        {made, TurnLock::Target::kFile, EISDIR},
    };
    for (const auto& [path, target, error] : rows)
    {
        SCOPED_TRACE(path);
        TurnLock none(path, target);
        EXPECT_FALSE(none.Held());
        EXPECT_EQ(none.Error(), error);
        EXPECT_FALSE(none.HeldElsewhere());
        EXPECT_FALSE(none.StillHeld());
    }
    TurnLock notAsked;
    EXPECT_FALSE(notAsked.Held());
    EXPECT_EQ(notAsked.Error(), 0);
}

// A holder that lets go and takes the lock again at once, as a copy saving back to back does,
// does not keep a waiting copy out: the waiter is handed the lock, mostly at the holder's next
// turn or soon after (a waiter that only looked now and then would find it free between two turns
// seldom, and wait for hundreds). The system promises no order, so the median of many waits is
// what is checked.
TEST(TurnLock, ACopyTakingItAgainAtOnceDoesNotKeepAWaitingOneOut)
{
    constexpr int kWaits = 21;
    TestFolder folder;
    const std::string path = folder / "store.lock";
    std::vector<int> turnsWaited;
    for (int wait = 0; wait < kWaits; wait++)
    {
        std::atomic<bool> waiterHasIt{false};
        std::atomic<int> turns{0};
        std::thread holder(
            [&]
            {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!waiterHasIt && std::chrono::steady_clock::now() < giveUp)
                {
                    TurnLock turn(path, TurnLock::Target::kFile);
                    std::ofstream(folder / "saved") << turns++;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        while (turns == 0)
            std::this_thread::yield();
        const int before = turns;
        {
            TurnLock waiter(path, TurnLock::Target::kFile);
            waiterHasIt = waiter.Held();
            turnsWaited.push_back(turns - before);
        }
        holder.join();
        EXPECT_TRUE(waiterHasIt);
    }
    std::sort(turnsWaited.begin(), turnsWaited.end());
    // Mostly the next turn, a few under a heavy load; a waiter looking every 2 ms waits hundreds.
    EXPECT_LE(turnsWaited[kWaits / 2], 30) << "most: " << turnsWaited[kWaits - 1];
}
