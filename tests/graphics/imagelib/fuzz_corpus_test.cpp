// The seed files of the image fuzz targets: every committed seed must decode,
// so the fuzzers start from inputs that reach the pixel code. With
// VAXO_WRITE_FUZZ_CORPUS=1 in the environment the seeds are written afresh.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/support/GifEncoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Vaxo::ImageLib;
using Vaxo::TestGif::GifBuilder;
using Vaxo::TestGif::LzwEncode;
using Vaxo::TestGif::LzwOptions;

namespace
{

typedef Image* (*MemoryReader)(const void*, size_t);

struct Format
{
    const char* target;
    MemoryReader reader;
};

const Format kFormats[] = {{"imagelib_tga", GetTGAImageFromMemory},
                           {"imagelib_gif", GetGIFImageFromMemory},
                           {"imagelib_png", GetPNGImageFromMemory},
                           {"imagelib_jpeg", GetJPEGImageFromMemory}};

std::string CorpusDir()
{
    // The data folder is tests/graphics/imagelib/data; the corpus lies under fuzz/ at the root.
    std::string path = VAXO_TEST_DATA_DIR;
    for (int i = 0; i < 4; ++i)
        path = path.substr(0, path.rfind('/'));
    return path + "/fuzz/graphics/imagelib/corpus";
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::unique_ptr<Image> Gradient(int32_t w, int32_t h)
{
    std::unique_ptr<Image> image(AllocateImage(w, h));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            image->mBits[y * w + x] =
                uint32_t(255 - x * 8) << 24 | uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x40;
    return image;
}

// Bytes a writer puts in a file.
std::vector<uint8_t> Written(bool (*writer)(const std::string&, Image*), Image* image)
{
    char path[] = "/tmp/imagelib_seedXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return {};
    close(fd);
    std::vector<uint8_t> bytes = writer(path, image) ? ReadBytes(path) : std::vector<uint8_t>();
    unlink(path);
    return bytes;
}

// The seeds of one target, small files that each take another path through the reader.
std::vector<std::vector<uint8_t>> Seeds(const std::string& target)
{
    std::vector<std::vector<uint8_t>> seeds;
    if (target == "imagelib_tga")
    {
        seeds.push_back(Written(WriteTGAImage, Gradient(4, 3).get()));
        std::vector<uint8_t> withMap = {2, 1, 2,  0,    0,   1,   0, 24, 0, 0,    0,    0,    1,   0,
                                        1, 0, 32, 0x28, 'i', 'd', 1, 2,  3, 0x10, 0x20, 0x30, 0x40};
        seeds.push_back(withMap);
    }
    else if (target == "imagelib_gif")
    {
        std::vector<uint32_t> table = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
        std::vector<uint8_t> idx;
        for (int i = 0; i < 8 * 6; ++i)
            idx.push_back(uint8_t((i / 3 + i % 5) % 4));
        LzwOptions o;
        o.minCodeSize = 2;
        seeds.push_back(GifBuilder()
                            .Header(8, 6, table)
                            .Descriptor(8, 6, {}, false)
                            .Data(2, LzwEncode(idx, o))
                            .Trailer()
                            .Bytes());
        o.clearAtPixel = 20;
        seeds.push_back(GifBuilder()
                            .Header(8, 6, table, "GIF87a")
                            .GraphicControl(true, 2)
                            .Extension(0xFE, "seed")
                            .Descriptor(8, 6, {0x123456, 0x654321}, true)
                            .Data(2, LzwEncode(idx, o), 7)
                            .Trailer()
                            .Bytes());
    }
    else if (target == "imagelib_png")
    {
        seeds.push_back(Written(WritePNGImage, Gradient(8, 8).get()));
        seeds.push_back(Written(WritePNGImage, Gradient(1, 1).get()));
    }
    else if (target == "imagelib_jpeg")
    {
        seeds.push_back(Written(WriteJPEGImage, Gradient(16, 16).get()));
        seeds.push_back(Written(WriteJPEGImage, Gradient(9, 5).get()));
    }
    return seeds;
}

} // namespace

TEST(FuzzSeeds, GeneratedSeedsDecode)
{
    bool write = std::getenv("VAXO_WRITE_FUZZ_CORPUS") != nullptr;
    for (const Format& f : kFormats)
    {
        SCOPED_TRACE(f.target);
        std::vector<std::vector<uint8_t>> seeds = Seeds(f.target);
        ASSERT_FALSE(seeds.empty());
        std::string dir = CorpusDir() + "/" + f.target;
        if (write)
            mkdir(dir.c_str(), 0755);
        for (size_t i = 0; i < seeds.size(); ++i)
        {
            ASSERT_FALSE(seeds[i].empty());
            std::unique_ptr<Image> image(f.reader(seeds[i].data(), seeds[i].size()));
            EXPECT_TRUE(image) << "seed " << i;
            if (write)
                WriteBytes(dir + "/seed" + std::to_string(i + 1), seeds[i]);
        }
    }
}

TEST(FuzzSeeds, CommittedSeedsDecode)
{
    for (const Format& f : kFormats)
    {
        SCOPED_TRACE(f.target);
        std::string dir = CorpusDir() + "/" + f.target;
        DIR* d = opendir(dir.c_str());
        ASSERT_NE(d, nullptr) << dir;
        int count = 0;
        while (dirent* e = readdir(d))
        {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::vector<uint8_t> bytes = ReadBytes(dir + "/" + name);
            std::unique_ptr<Image> image(f.reader(bytes.data(), bytes.size()));
            EXPECT_TRUE(image) << name;
            ++count;
        }
        closedir(d);
        EXPECT_GT(count, 0);
    }
}
