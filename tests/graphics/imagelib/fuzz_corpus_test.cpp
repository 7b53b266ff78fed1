// The seed files of the image fuzz targets must each decode (those named
// "refused_..." must be refused), so the fuzzers start from inputs that reach
// the pixel code.
#include "graphics/imagelib/ImageLib.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo::ImageLib;

TEST(FuzzSeeds, CommittedSeedsDecode)
{
    const std::pair<const char*, Image* (*)(const void*, size_t)> targets[] = {
        {"imagelib_tga", GetTGAImageFromMemory},
        {"imagelib_gif", GetGIFImageFromMemory},
        {"imagelib_png", GetPNGImageFromMemory},
        {"imagelib_jpeg", GetJPEGImageFromMemory}};
    // The data folder is tests/graphics/imagelib/data; the corpus lies under fuzz/ at the root.
    std::filesystem::path corpus =
        (std::filesystem::path(VAXO_TEST_DATA_DIR) / "../../../../fuzz/graphics/imagelib/corpus")
            .lexically_normal();
    for (const auto& target : targets)
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(corpus / target.first))
        {
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
            // Seeds of the kinds a reader refuses are named so.
            bool refused = entry.path().filename().string().rfind("refused_", 0) == 0;
            EXPECT_EQ(bool(std::unique_ptr<Image>(target.second(bytes.data(), bytes.size()))), !refused)
                << entry.path();
            ++count;
        }
        EXPECT_GT(count, 0) << target.first;
    }
}
