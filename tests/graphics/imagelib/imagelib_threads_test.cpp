// Two threads decoding different files at once (the loading thread and the
// main thread both call GetImage); run under ThreadSanitizer too.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/support/GifEncoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
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
    for (int32_t i = 0; i < w * h; ++i)
        image->mBits[i] = rng();
    return image;
}

} // namespace

TEST(ImageLibThreads, TwoThreadsDecodeDifferentFilesAtOnce)
{
    char dir[] = "/tmp/imagelib_threadsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base(dir);
    ResetForTesting();
    EnableAllDecoders();

    // Thread one reads a GIF and a PNG with its alpha companion, thread two a TGA and a JPEG.
    std::vector<uint32_t> table(256);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(i * 0x010101);
    std::vector<uint8_t> indices(120 * 90);
    std::mt19937 rng(5);
    for (auto& v : indices)
        v = uint8_t(rng() % 256);
    auto gif = Vaxo::TestGif::GifBuilder()
                   .Header(120, 90, table)
                   .Descriptor(120, 90, {}, false)
                   .Data(8, Vaxo::TestGif::LzwEncode(indices, Vaxo::TestGif::LzwOptions()))
                   .Trailer()
                   .Bytes();
    FILE* f = fopen((base + "/a.gif").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(gif.data(), 1, gif.size(), f);
    fclose(f);
    auto png = NoiseImage(100, 80, 1);
    auto pngAlpha = NoiseImage(100, 80, 2);
    auto tga = NoiseImage(90, 70, 3);
    auto jpg = NoiseImage(64, 48, 4);
    ASSERT_TRUE(WritePNGImage(base + "/b.png", png.get()));
    ASSERT_TRUE(WritePNGImage(base + "/b_.png", pngAlpha.get()));
    ASSERT_TRUE(WriteTGAImage(base + "/c.tga", tga.get()));
    ASSERT_TRUE(WriteJPEGImage(base + "/d.jpg", jpg.get()));

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

    for (const char* n : {"/a.gif", "/b.png", "/b_.png", "/c.tga", "/d.jpg"})
        unlink((base + n).c_str());
    rmdir(dir);
    ResetForTesting();
}
