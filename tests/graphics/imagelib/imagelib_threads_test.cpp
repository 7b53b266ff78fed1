// Two threads decoding different files at once (the loading thread and the
// main thread both call GetImage); run under ThreadSanitizer too.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/support/GifEncoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace Vaxo::ImageLib;

namespace
{

std::vector<uint32_t> Pixels(const Image& image)
{
    return std::vector<uint32_t>(image.GetBits(),
                                 image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

std::unique_ptr<Image> NoiseImage(int32_t w, int32_t h, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::unique_ptr<Image> image(AllocateImage(w, h));
    std::generate(image->mBits, image->mBits + w * h, rng);
    return image;
}

} // namespace

TEST(ImageLibThreads, TwoThreadsDecodeDifferentFilesAtOnce)
{
    std::string base = std::filesystem::temp_directory_path() / "imagelib_threadsXXXXXX";
    ASSERT_NE(mkdtemp(&base[0]), nullptr);
    ResetForTesting();
    EnableAllDecoders();
    // Thread one reads a GIF and a PNG with its alpha companion, thread two a TGA and a JPEG.
    std::vector<uint32_t> table(256);
    std::vector<uint8_t> indices(120 * 90);
    std::mt19937 rng(5);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(i * 0x010101);
    for (auto& v : indices)
        v = uint8_t(rng() % 256);
    auto gif = Vaxo::TestGif::GifBuilder()
                   .Header(120, 90, table)
                   .Descriptor(120, 90, {}, false)
                   .Data(8, Vaxo::TestGif::LzwEncode(indices, Vaxo::TestGif::LzwOptions()))
                   .Trailer()
                   .Bytes();
    std::ofstream(base + "/a.gif", std::ios::binary)
        .write(reinterpret_cast<const char*>(gif.data()), long(gif.size()));
    ASSERT_TRUE(WritePNGImage(base + "/b.png", NoiseImage(100, 80, 1).get()));
    ASSERT_TRUE(WritePNGImage(base + "/b_.png", NoiseImage(100, 80, 2).get()));
    ASSERT_TRUE(WriteTGAImage(base + "/c.tga", NoiseImage(90, 70, 3).get()));
    ASSERT_TRUE(WriteJPEGImage(base + "/d.jpg", NoiseImage(64, 48, 4).get()));
    // What each name gives on one thread alone.
    const std::vector<std::string> names = {base + "/a.gif", base + "/b", base + "/c.tga", base + "/d"};
    std::vector<std::vector<uint32_t>> expected;
    for (const auto& n : names)
    {
        std::unique_ptr<Image> image(GetImage(n, true));
        ASSERT_TRUE(image) << n;
        expected.push_back(Pixels(*image));
    }
    std::atomic<int> mismatches{0};
    auto work = [&](size_t first)
    {
        for (int round = 0; round < 20; ++round)
            for (size_t k = first; k < first + 2; ++k)
            {
                std::unique_ptr<Image> image(GetImage(names[k], true));
                if (!image || Pixels(*image) != expected[k])
                    ++mismatches;
            }
    };
    std::thread one(work, 0);
    std::thread two(work, 2);
    one.join();
    two.join();
    EXPECT_EQ(mismatches.load(), 0);
    std::filesystem::remove_all(base);
    ResetForTesting();
}
