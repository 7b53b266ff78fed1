// GIF reader: LZW streams crafted by the test encoder, tables, transparency,
// interlacing and damaged files.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/support/GifEncoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

using namespace Vaxo;
using namespace Vaxo::ImageLib;
using Vaxo::TestGif::GifBuilder;
using Vaxo::TestGif::LzwEncode;
using Vaxo::TestGif::LzwOptions;
using Vaxo::TestGif::LzwStats;

namespace
{

const std::vector<uint32_t> kFourColors = {0x112233, 0xFF0000, 0x00FF00, 0x0000FF};

std::unique_ptr<Image> Decode(const std::vector<uint8_t>& bytes)
{
    return std::unique_ptr<Image>(GetGIFImageFromMemory(bytes.data(), bytes.size()));
}

std::vector<uint32_t> Pixels(const Image& image)
{
    return std::vector<uint32_t>(image.GetBits(),
                                 image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

// Expected ARGB of each index through a table (opaque; outside the table zero).
std::vector<uint32_t> Expected(const std::vector<uint8_t>& indices, const std::vector<uint32_t>& table)
{
    std::vector<uint32_t> out;
    for (uint8_t i : indices)
        out.push_back(i < table.size() ? 0xFF000000u | table[i] : 0u);
    return out;
}

std::vector<uint8_t> SimpleGif(int width, int height, const std::vector<uint8_t>& indices,
                               int minCodeSize = 2, size_t blockSize = 255)
{
    LzwOptions o;
    o.minCodeSize = minCodeSize;
    return GifBuilder()
        .Header(width, height, kFourColors)
        .Descriptor(width, height, {}, false)
        .Data(minCodeSize, LzwEncode(indices, o), blockSize)
        .Trailer()
        .Bytes();
}

std::vector<uint8_t> Noise(size_t count, int colors, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(count);
    for (auto& x : v)
        x = uint8_t(rng() % uint32_t(colors));
    return v;
}

// Codes written with the widths given, for streams no encoder would make.
std::vector<uint8_t> Codes(const std::vector<std::pair<int, int>>& codes)
{
    TestGif::CodeWriter w;
    for (auto& c : codes)
        w.Put(c.first, c.second);
    return w.Finish();
}

} // namespace

TEST(GifReader, DecodesSmallImageThroughGlobalTable)
{
    std::vector<uint8_t> idx = {0, 1, 2, 3, 3, 2, 1, 0};
    auto image = Decode(SimpleGif(4, 2, idx));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 4);
    EXPECT_EQ(image->GetHeight(), 2);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
}

TEST(GifReader, AcceptsGif87aAndRefusesOtherSignatures)
{
    std::vector<uint8_t> idx = {1, 2};
    LzwOptions o;
    o.minCodeSize = 2;
    auto make = [&](const std::string& sig)
    {
        return GifBuilder()
            .Header(2, 1, kFourColors, sig)
            .Descriptor(2, 1, {}, false)
            .Data(2, LzwEncode(idx, o))
            .Trailer()
            .Bytes();
    };
    EXPECT_TRUE(Decode(make("GIF87a")));
    EXPECT_TRUE(Decode(make("GIF89a")));
    EXPECT_FALSE(Decode(make("GIF88a")));
    EXPECT_FALSE(Decode(make("PNG89a")));
}

TEST(GifReader, FollowsCodeSizeGrowthUpToTwelveBits)
{
    // Noise over 256 colours fills the table, so the codes grow from 9 to 12 bits.
    std::vector<uint32_t> table(256);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(i * 0x010203);
    std::vector<uint8_t> idx = Noise(64 * 40, 256, 7);
    LzwOptions o;
    LzwStats stats;
    auto codes = LzwEncode(idx, o, &stats);
    EXPECT_EQ(stats.maxBits, 12);
    auto bytes =
        GifBuilder().Header(64, 40, table).Descriptor(64, 40, {}, false).Data(8, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, table));
}

TEST(GifReader, FullTableFollowedByClearKeepsDecoding)
{
    std::vector<uint32_t> table(256);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(0xFF - i) << 8 | uint32_t(i);
    std::vector<uint8_t> idx = Noise(200 * 100, 256, 11);
    LzwOptions o;
    LzwStats stats;
    auto codes = LzwEncode(idx, o, &stats);
    ASSERT_GE(stats.fullTableClears, 1);
    auto bytes =
        GifBuilder().Header(200, 100, table).Descriptor(200, 100, {}, false).Data(8, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, table));
}

TEST(GifReader, StopsWhenFullTableIsNotCleared)
{
    std::vector<uint32_t> table(256, 0x808080);
    std::vector<uint8_t> idx = Noise(200 * 100, 256, 13);
    LzwOptions o;
    o.clearWhenFull = false;
    auto bytes = GifBuilder()
                     .Header(200, 100, table)
                     .Descriptor(200, 100, {}, false)
                     .Data(8, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    std::vector<uint32_t> px = Pixels(*image);
    EXPECT_EQ(px.front(), 0xFF808080u);
    EXPECT_EQ(px.back(), 0u); // never supplied
}

TEST(GifReader, KwKwKCodeRepeatsPreviousStringAndItsFirstByte)
{
    // clear=4, end=5, first free 6. Codes: clear, 1, 6 (= "1 1", not yet
    // defined), 7 (= "1 1 1", not yet defined), then 2 after the width grew to 4.
    auto codes = Codes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {2, 4}, {5, 4}});
    auto bytes =
        GifBuilder().Header(7, 1, kFourColors).Descriptor(7, 1, {}, false).Data(2, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected({1, 1, 1, 1, 1, 1, 2}, kFourColors));
}

TEST(GifReader, StringPastTheLastPixelIsCutAtTheImageEnd)
{
    // The same codes give 1 + 2 + 3 pixels; a 5-pixel image keeps the first 5.
    auto codes = Codes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}});
    auto bytes =
        GifBuilder().Header(5, 1, kFourColors).Descriptor(5, 1, {}, false).Data(2, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected({1, 1, 1, 1, 1}, kFourColors));
}

TEST(GifReader, ClearMidStreamResetsTableAndWidth)
{
    std::vector<uint8_t> idx = Noise(30 * 20, 4, 3);
    LzwOptions o;
    o.minCodeSize = 2;
    o.clearAtPixel = 317;
    LzwStats stats;
    auto codes = LzwEncode(idx, o, &stats);
    EXPECT_EQ(stats.clears, 2);
    auto bytes = GifBuilder()
                     .Header(30, 20, kFourColors)
                     .Descriptor(30, 20, {}, false)
                     .Data(2, codes)
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
}

TEST(GifReader, HandCodedClearMidStream)
{
    // clear, 0, 1 (adds 6 = "0 1"), 6 (adds 7, width grows to 4), clear at 4
    // bits, then 3, 2 (adds 6 = "3 2"), 6, and the end code at 4 bits again.
    auto codes = Codes({{4, 3}, {0, 3}, {1, 3}, {6, 3}, {4, 4}, {3, 3}, {2, 3}, {6, 3}, {5, 4}});
    auto bytes =
        GifBuilder().Header(8, 1, kFourColors).Descriptor(8, 1, {}, false).Data(2, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected({0, 1, 0, 1, 3, 2, 3, 2}, kFourColors));
}

TEST(GifReader, OneByteSubBlocks)
{
    std::vector<uint8_t> idx = Noise(17 * 13, 4, 5);
    auto image = Decode(SimpleGif(17, 13, idx, 2, 1));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
}

TEST(GifReader, MinimumCodeSizeOneToElevenAccepted)
{
    for (int m = 1; m <= 11; ++m)
    {
        SCOPED_TRACE(m);
        std::vector<uint8_t> idx = Noise(9 * 7, m == 1 ? 2 : 4, uint32_t(m));
        LzwOptions o;
        o.minCodeSize = m;
        auto bytes = GifBuilder()
                         .Header(9, 7, kFourColors)
                         .Descriptor(9, 7, {}, false)
                         .Data(m, LzwEncode(idx, o))
                         .Trailer()
                         .Bytes();
        auto image = Decode(bytes);
        ASSERT_TRUE(image);
        EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
    }
}

TEST(GifReader, MinimumCodeSizeOneWidensAfterFirstCode)
{
    // clear=2, end=3, first free 4, which needs 3 bits at once: clear and 1 at
    // 2 bits, then 0 (adds 4 = "1 0"), 4 (adds 5 = "0 1") and the end at 3 bits.
    auto codes = Codes({{2, 2}, {1, 2}, {0, 3}, {4, 3}, {3, 3}});
    auto bytes =
        GifBuilder().Header(4, 1, kFourColors).Descriptor(4, 1, {}, false).Data(1, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected({1, 0, 1, 0}, kFourColors));
}

TEST(GifReader, MinimumCodeSizeOutsideOneToElevenRefused)
{
    for (int m : {0, 12, 13, 255})
    {
        SCOPED_TRACE(m);
        auto bytes = GifBuilder()
                         .Header(2, 1, kFourColors)
                         .Descriptor(2, 1, {}, false)
                         .Data(m, {0, 0, 0})
                         .Trailer()
                         .Bytes();
        EXPECT_FALSE(Decode(bytes));
    }
}

TEST(GifReader, FirstCodeAfterClearAtOrAboveClearStopsDecoding)
{
    // After the clear, code 6 names no string yet; nothing is decoded.
    for (int first : {6, 7})
    {
        auto codes = Codes({{4, 3}, {first, 3}, {1, 3}, {5, 3}});
        auto bytes = GifBuilder()
                         .Header(2, 1, kFourColors)
                         .Descriptor(2, 1, {}, false)
                         .Data(2, codes)
                         .Trailer()
                         .Bytes();
        auto image = Decode(bytes);
        ASSERT_TRUE(image);
        EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0, 0}));
    }
}

TEST(GifReader, CodeAboveNextFreeStopsDecoding)
{
    // After the clear and the first code 0 the next free code is 6; 7 names nothing.
    auto codes = Codes({{4, 3}, {0, 3}, {7, 3}, {1, 3}, {5, 3}});
    auto bytes =
        GifBuilder().Header(3, 1, kFourColors).Descriptor(3, 1, {}, false).Data(2, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF112233u, 0, 0}));
}

TEST(GifReader, EndCodeStopsAndLeavesRestZero)
{
    auto codes = Codes({{4, 3}, {3, 3}, {5, 3}, {1, 3}});
    auto bytes =
        GifBuilder().Header(3, 1, kFourColors).Descriptor(3, 1, {}, false).Data(2, codes).Trailer().Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF0000FFu, 0, 0}));
}

TEST(GifReader, ExtraCodesBeyondImageAreIgnored)
{
    std::vector<uint8_t> idx = {1, 2, 3, 0};
    std::vector<uint8_t> longer = {1, 2, 3, 0, 3, 3, 3, 2, 1};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(2, 2, kFourColors)
                     .Descriptor(2, 2, {}, false)
                     .Data(2, LzwEncode(longer, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
}

struct InterlaceCase
{
    int height;
    std::vector<int> streamOrder; // display row of each row as stored, worked out by hand
};

class GifInterlace : public testing::TestWithParam<InterlaceCase>
{
};

TEST_P(GifInterlace, RowsComeOutInDisplayOrder)
{
    const InterlaceCase& c = GetParam();
    const int width = 3;
    ASSERT_EQ(int(c.streamOrder.size()), c.height);
    // Pixel (x, r) of the picture has index r * 10 + x, so every row differs.
    std::vector<uint32_t> table(256);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(i) << 16 | 0x0101;
    std::vector<uint8_t> picture, stream;
    for (int r = 0; r < c.height; ++r)
        for (int x = 0; x < width; ++x)
            picture.push_back(uint8_t(r * 10 + x));
    for (int r : c.streamOrder)
        for (int x = 0; x < width; ++x)
            stream.push_back(uint8_t(r * 10 + x));
    LzwOptions o;
    auto bytes = GifBuilder()
                     .Header(width, c.height, table)
                     .Descriptor(width, c.height, {}, true)
                     .Data(8, LzwEncode(stream, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(picture, table));
}

INSTANTIATE_TEST_SUITE_P(HeightsOneToNine, GifInterlace,
                         testing::Values(InterlaceCase{1, {0}}, InterlaceCase{2, {0, 1}},
                                         InterlaceCase{3, {0, 2, 1}}, InterlaceCase{4, {0, 2, 1, 3}},
                                         InterlaceCase{5, {0, 4, 2, 1, 3}},
                                         InterlaceCase{6, {0, 4, 2, 1, 3, 5}},
                                         InterlaceCase{7, {0, 4, 2, 6, 1, 3, 5}},
                                         InterlaceCase{8, {0, 4, 2, 6, 1, 3, 5, 7}},
                                         InterlaceCase{9, {0, 8, 4, 2, 6, 1, 3, 5, 7}}));

TEST(GifReader, LocalTableReplacesGlobalTable)
{
    std::vector<uint32_t> local = {0xABCDEF, 0x123456};
    std::vector<uint8_t> idx = {0, 1, 1, 0};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(4, 1, kFourColors)
                     .Descriptor(4, 1, local, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, local));
}

TEST(GifReader, IndexOutsideTableGivesZeroedPixel)
{
    // A two-entry global table, indices 2 and 3 have no colour.
    std::vector<uint32_t> two = {0x010203, 0x040506};
    std::vector<uint8_t> idx = {0, 1, 2, 3};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(4, 1, two)
                     .Descriptor(4, 1, {}, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF010203u, 0xFF040506u, 0, 0}));
}

TEST(GifReader, NoColourTableGivesZeroPixels)
{
    std::vector<uint8_t> idx = {0, 1};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(2, 1, {})
                     .Descriptor(2, 1, {}, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0, 0}));
}

TEST(GifReader, TransparentIndexIsAllBitsZero)
{
    std::vector<uint8_t> idx = {0, 1, 2, 3};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(4, 1, kFourColors)
                     .GraphicControl(true, 2)
                     .Descriptor(4, 1, {}, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF112233u, 0xFFFF0000u, 0, 0xFF0000FFu}));
}

struct ControlCase
{
    const char* name;
    std::vector<std::pair<bool, int>> controls; // (flag, index) each with a 4-byte block
    int shortBlock;                             // > 0: one more control with a block this short
    std::vector<uint32_t> expected;
};

class GifGraphicControl : public testing::TestWithParam<ControlCase>
{
};

TEST_P(GifGraphicControl, TransparencyFromTheLastFullControlBlock)
{
    const ControlCase& c = GetParam();
    GifBuilder b;
    b.Header(4, 1, kFourColors);
    for (auto& gc : c.controls)
        b.GraphicControl(gc.first, gc.second);
    if (c.shortBlock > 0)
        b.GraphicControl(true, 0, c.shortBlock);
    b.Extension(0xFE, "a comment").Extension(0xFF, "NETSCAPE2.0").Extension(0x01, "plain text");
    LzwOptions o;
    o.minCodeSize = 2;
    b.Descriptor(4, 1, {}, false).Data(2, LzwEncode({0, 1, 2, 3}, o)).Trailer();
    auto image = Decode(b.Bytes());
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GifGraphicControl,
    testing::Values(
        ControlCase{"none", {}, 0, {0xFF112233u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}},
        ControlCase{"flagClear", {{false, 1}}, 0, {0xFF112233u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}},
        ControlCase{"laterWins", {{true, 1}, {true, 3}}, 0, {0xFF112233u, 0xFFFF0000u, 0xFF00FF00u, 0}},
        ControlCase{"laterWithoutFlag",
                    {{true, 1}, {false, 3}},
                    0,
                    {0xFF112233u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}},
        ControlCase{"shortBlockIgnored", {}, 3, {0xFF112233u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}},
        ControlCase{"shortBlockKeepsEarlier", {{true, 1}}, 1, {0xFF112233u, 0, 0xFF00FF00u, 0xFF0000FFu}}),
    [](const testing::TestParamInfo<ControlCase>& info) { return std::string(info.param.name); });

TEST(GifReader, SizeComesFromImageNotLogicalScreen)
{
    std::vector<uint8_t> idx = {3, 2, 1};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(100, 50, kFourColors)
                     .Descriptor(3, 1, {}, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 3);
    EXPECT_EQ(image->GetHeight(), 1);
}

TEST(GifReader, StrayBytesBetweenBlocksAreSkipped)
{
    std::vector<uint8_t> idx = {3, 2, 1};
    LzwOptions o;
    o.minCodeSize = 2;
    auto bytes = GifBuilder()
                     .Header(3, 1, kFourColors)
                     .Byte(0)
                     .Byte('x')
                     .Extension(0xFE, "c")
                     .Byte(0x80)
                     .Descriptor(3, 1, {}, false)
                     .Data(2, LzwEncode(idx, o))
                     .Trailer()
                     .Bytes();
    auto image = Decode(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
}

TEST(GifReader, TrailerBeforeFirstImageGivesNull)
{
    auto bytes = GifBuilder().Header(2, 2, kFourColors).Extension(0xFE, "x").Trailer().Bytes();
    EXPECT_FALSE(Decode(bytes));
}

TEST(GifReader, ZeroWidthOrHeightGivesNull)
{
    LzwOptions o;
    o.minCodeSize = 2;
    for (auto size : {std::pair<int, int>{0, 1}, {1, 0}, {0, 0}})
    {
        auto bytes = GifBuilder()
                         .Header(2, 2, kFourColors)
                         .Descriptor(size.first, size.second, {}, false)
                         .Data(2, LzwEncode({0}, o))
                         .Trailer()
                         .Bytes();
        EXPECT_FALSE(Decode(bytes));
    }
}

TEST(GifReader, SizeAboveCapGivesNull)
{
    LzwOptions o;
    o.minCodeSize = 2;
    // 65535 x 2 passes the pixel cap but not the side cap; 16384 x 16384 the reverse.
    for (auto size : {std::pair<int, int>{65535, 2}, {16384, 16384}})
    {
        auto bytes = GifBuilder()
                         .Header(2, 2, kFourColors)
                         .Descriptor(size.first, size.second, {}, false)
                         .Data(2, LzwEncode({0}, o))
                         .Trailer()
                         .Bytes();
        EXPECT_FALSE(Decode(bytes));
    }
}

TEST(GifReader, TruncationBeforeImageDataGivesNull)
{
    std::vector<uint8_t> full = SimpleGif(4, 2, {0, 1, 2, 3, 3, 2, 1, 0});
    // Header 13 + table 12 + descriptor 10 bytes end at 35; the code size is at 35.
    for (size_t cut :
         {size_t(0), size_t(3), size_t(6), size_t(12), size_t(20), size_t(25), size_t(30), size_t(35)})
    {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
        EXPECT_FALSE(Decode(part));
    }
}

TEST(GifReader, TruncatedDataKeepsDecodedPrefixAndZeroesRest)
{
    std::vector<uint32_t> table(256);
    for (size_t i = 0; i < 256; ++i)
        table[i] = uint32_t(i);
    std::vector<uint8_t> idx = Noise(40 * 30, 256, 21);
    auto full = GifBuilder()
                    .Header(40, 30, table)
                    .Descriptor(40, 30, {}, false)
                    .Data(8, LzwEncode(idx, LzwOptions()))
                    .Trailer()
                    .Bytes();
    std::vector<uint8_t> part(full.begin(), full.begin() + long(full.size() / 2));
    auto image = Decode(part);
    ASSERT_TRUE(image);
    std::vector<uint32_t> px = Pixels(*image);
    std::vector<uint32_t> expected = Expected(idx, table);
    size_t same = 0;
    while (same < px.size() && px[same] == expected[same])
        ++same;
    EXPECT_GT(same, 40u);
    EXPECT_LT(same, px.size());
    for (size_t i = same + 1; i < px.size(); ++i)
        ASSERT_EQ(px[i], 0u) << i;
}

TEST(GifReader, ReadsFromFileByPath)
{
    char dir[] = "/tmp/gif_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/a.gif";
    std::vector<uint8_t> idx = {2, 1, 0, 3};
    auto bytes = SimpleGif(2, 2, idx);
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    std::unique_ptr<Image> image(GetGIFImage(path));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Expected(idx, kFourColors));
    EXPECT_FALSE(GetGIFImage(std::string(dir) + "/missing.gif"));
    remove(path.c_str());
    rmdir(dir);
}
