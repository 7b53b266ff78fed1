// Whole-file saves: the old file stays whole when a save fails, the permissions of the file
// replaced are kept, nothing is left beside it, and two writers saving one file at once
// while a reader reads it never let the reader see anything but a whole version.
#include "common/AtomicFile.h"
#include "common/support/FullDisk.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
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
            result = WriteFileAtomically(path, "new", 3,
                                         [crash](const std::string& temp)
                                         {
                                             EXPECT_EQ(ReadFile(temp), "new");
                                             return !crash;
                                         });
        }
        EXPECT_EQ(result, saved) << obstacle;
        EXPECT_EQ(ReadFile(path), content) << obstacle;
        EXPECT_EQ(OthersIn(folder, "file.bin").size(), leftOver) << obstacle;
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
    for (mode_t mode : {0640, 0604, 0600})
    {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(Save(path, "new"));
        EXPECT_EQ(Mode(path), mode);
    }
    // A new file gets what the C library gives one.
    std::fclose(std::fopen((folder / "by-fopen").c_str(), "wb"));
    ASSERT_TRUE(Save(folder / "new.bin", "x"));
    EXPECT_EQ(Mode(folder / "new.bin"), Mode(folder / "by-fopen"));
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
