// File operations outside demos where they can fail: an interrupted write keeps the old
// file, reads refuse what a Buffer cannot hold, and long texts pass the value sync whole.
#include "app/support/AppTestEnv.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

using namespace Vaxo;

namespace
{

class ClipboardPlatform : public TestPlatform
{
public:
    using TestPlatform::TestPlatform;
    std::string GetClipboard() override { return std::string(40000, 'c'); }
};

TEST(AppFileOps, FailedWritesKeepTheOldFileAndHugeFilesAreRefused)
{
    AppTestEnv env;
    VaxoAppBase app;
    const std::string path = env.mHome + "kept.bin";
    ASSERT_TRUE(app.WriteBytesToFile(path, "old", 3));
    // The new bytes cannot be put beside the file: the write fails, the old file stays.
    ASSERT_EQ(mkdir((path + ".tmp").c_str(), 0700), 0);
    EXPECT_FALSE(app.WriteBytesToFile(path, "new!", 4));
    Buffer read;
    ASSERT_TRUE(app.ReadBufferFromFile(path, &read, false));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.GetDataPtr()), 3), "old");

    // 300 MB (sparse) is more than a Buffer holds.
    const std::string huge = env.mHome + "huge.bin";
    std::ofstream(huge).close();
    ASSERT_EQ(truncate(huge.c_str(), 300 << 20), 0);
    EXPECT_FALSE(app.ReadBufferFromFile(huge, &read, false));
    EXPECT_EQ(read.GetDataLen(), 3);
}

TEST(AppFileOps, LongClipboardTextsComeBackWhole)
{
    AppTestEnv env;
    SetPlatformFactory([](VaxoAppBase* app) { return new ClipboardPlatform(app); });
    VaxoAppBase app;
    EXPECT_EQ(app.GetClipboard().size(), 40000u);
    // Recorded, a text keeps what the demo can hold, so the replay sees the same.
    app.mRecordingDemo = true;
    EXPECT_EQ(app.GetClipboard().size(), 32767u);
}

} // namespace
