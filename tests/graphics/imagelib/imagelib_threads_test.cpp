// Two threads decoding different files at once (the loading thread and the
// main thread both call GetImage); run under ThreadSanitizer too.
#include "graphics/imagelib/ImageLib.h"

#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <atomic>
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
    Vaxo::TestFolder dir;
    ResetForTesting();
    EnableAllDecoders();
    // Thread one reads a PNG with its alpha companion and a TGA, thread two a JPEG.
    ASSERT_TRUE(WritePNGImage(dir / "b.png", NoiseImage(100, 80, 1).get()));
    ASSERT_TRUE(WritePNGImage(dir / "b_.png", NoiseImage(100, 80, 2).get()));
    ASSERT_TRUE(WriteTGAImage(dir / "c.tga", NoiseImage(90, 70, 3).get()));
    ASSERT_TRUE(WriteJPEGImage(dir / "d.jpg", NoiseImage(64, 48, 4).get()));
    // What each name gives on one thread alone.
    const std::vector<std::string> names = {dir / "b", dir / "c.tga", dir / "d"};
    std::vector<std::vector<uint32_t>> expected;
    for (const auto& n : names)
    {
        std::unique_ptr<Image> image(GetImage(n, true));
        ASSERT_TRUE(image) << n;
        expected.push_back(Pixels(*image));
    }
    std::atomic<int> mismatches{0};
    auto work = [&](size_t first, size_t last)
    {
        for (int round = 0; round < 20; ++round)
            for (size_t k = first; k < last; ++k)
            {
                std::unique_ptr<Image> image(GetImage(names[k], true));
                if (!image || Pixels(*image) != expected[k])
                    ++mismatches;
            }
    };
    std::thread one(work, 0, 2);
    std::thread two(work, 2, 3);
    one.join();
    two.join();
    EXPECT_EQ(mismatches.load(), 0);
    ResetForTesting();
}
