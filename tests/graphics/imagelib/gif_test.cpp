// GIF reader: LZW streams crafted by the test encoder or coded by hand, tables,
// transparency, interlacing and damaged files.
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
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint32_t>;

namespace
{

const Words kFourColors = {0x112233, 0xFF0000, 0x00FF00, 0x0000FF};

std::unique_ptr<Image> Read(const Bytes& bytes)
{
    return std::unique_ptr<Image>(GetGIFImageFromMemory(bytes.data(), bytes.size()));
}

bool Refused(const Bytes& bytes)
{
    return Read(bytes) == nullptr;
}

// Pixels of the decoded image, or {0xDEAD} when the reader gave null.
Words Decode(const Bytes& bytes)
{
    std::unique_ptr<Image> image = Read(bytes);
    if (!image)
        return {0xDEAD};
    return Words(image->GetBits(), image->GetBits() + size_t(image->GetWidth()) * image->GetHeight());
}

// Expected ARGB of each index through a table (opaque; outside the table zero).
Words Expected(const Bytes& indices, const Words& table)
{
    Words out;
    for (uint8_t i : indices)
        out.push_back(i < table.size() ? 0xFF000000u | table[i] : 0u);
    return out;
}

LzwOptions MinCode(int minCodeSize)
{
    LzwOptions o;
    o.minCodeSize = minCodeSize;
    return o;
}

Bytes Lzw(const Bytes& indices, int minCodeSize = 2)
{
    return LzwEncode(indices, MinCode(minCodeSize));
}

// A file of one image of coded data.
Bytes Gif(int width, int height, const Bytes& codes, int minCodeSize = 2, const Words& table = kFourColors,
          size_t blockSize = 255)
{
    return GifBuilder()
        .Header(width, height, table)
        .Descriptor(width, height, {}, false)
        .Data(minCodeSize, codes, blockSize)
        .Trailer()
        .Bytes();
}

Bytes Noise(size_t count, int colors, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes v(count);
    for (auto& x : v)
        x = uint8_t(rng() % uint32_t(colors));
    return v;
}

Words Ramp()
{
    Words table(256);
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = i * 0x010203u;
    return table;
}

// Encodes noise of `colors` indices, decodes it and compares every pixel.
LzwStats ExpectRoundTrip(int width, int height, int colors, const LzwOptions& o, size_t blockSize = 255)
{
    Bytes idx = Noise(size_t(width) * height, colors, uint32_t(width * 31 + height));
    LzwStats stats;
    Bytes bytes = Gif(width, height, LzwEncode(idx, o, &stats), o.minCodeSize, Ramp(), blockSize);
    EXPECT_EQ(Decode(bytes), Expected(idx, Ramp()));
    return stats;
}

} // namespace

TEST(GifReader, EncodedStreamsRoundTripAtEveryCodeSizeClearAndBlockSize)
{
    EXPECT_EQ(ExpectRoundTrip(64, 40, 256, LzwOptions()).maxBits, 12);
    EXPECT_GE(ExpectRoundTrip(200, 100, 256, LzwOptions()).fullTableClears, 1);
    LzwOptions o = MinCode(2);
    o.clearAtPixel = 317;
    EXPECT_EQ(ExpectRoundTrip(30, 20, 4, o).clears, 2);
    ExpectRoundTrip(17, 13, 4, MinCode(2), 1);
    for (int m = 1; m <= 11; ++m)
    {
        SCOPED_TRACE(m);
        ExpectRoundTrip(9, 7, m == 1 ? 2 : 4, MinCode(m));
    }
    LzwOptions o2;
    o2.clearWhenFull = false;
    Words px = Decode(Gif(200, 100, LzwEncode(Noise(200 * 100, 256, 13), o2), 8, Words(256, 0x808080)));
    ASSERT_EQ(px.size(), 200u * 100u);
    EXPECT_EQ(px.front(), 0xFF808080u);
    EXPECT_EQ(px.back(), 0u); // never supplied
}

struct CodedCase
{
    const char* name;
    int width;
    int minCodeSize;
    std::vector<std::pair<int, int>> codes; // (code, width in bits), written by hand
    Words expected;
};

// Streams no encoder would make. With minimum code size 2: clear 4, end 5, first free 6.
TEST(GifReader, HandCodedStreams)
{
    const uint32_t k0 = 0xFF112233, k1 = 0xFFFF0000, k2 = 0xFF00FF00, k3 = 0xFF0000FF;
    const CodedCase cases[] = {
        // 6 = "1 1" and 7 = "1 1 1" are used before they are defined; 2 after the width grew to 4.
        {"KwKwK", 7, 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {2, 4}, {5, 4}}, {k1, k1, k1, k1, k1, k1, k2}},
        // The same codes give 1 + 2 + 3 pixels; a 5-pixel image keeps the first 5.
        {"stringCutAtImageEnd", 5, 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}, {k1, k1, k1, k1, k1}},
        // A clear at 4 bits resets the table (6 = "3 2" again) and the width.
        {"clearMidStream",
         8,
         2,
         {{4, 3}, {0, 3}, {1, 3}, {6, 3}, {4, 4}, {3, 3}, {2, 3}, {6, 3}, {5, 4}},
         {k0, k1, k0, k1, k3, k2, k3, k2}},
        // After a clear, codes 6 and 7 name no string yet: nothing is decoded.
        {"firstCodeSix", 2, 2, {{4, 3}, {6, 3}, {1, 3}, {5, 3}}, {0, 0}},
        {"firstCodeSeven", 2, 2, {{4, 3}, {7, 3}, {1, 3}, {5, 3}}, {0, 0}},
        // After 0 the next free code is 6; 7 names nothing.
        {"codeAboveNextFree", 3, 2, {{4, 3}, {0, 3}, {7, 3}, {1, 3}, {5, 3}}, {k0, 0, 0}},
        {"endCodeStops", 3, 2, {{4, 3}, {3, 3}, {5, 3}, {1, 3}}, {k3, 0, 0}},
    };
    for (const CodedCase& c : cases)
    {
        TestGif::CodeWriter w;
        for (auto& code : c.codes)
            w.Put(code.first, code.second);
        EXPECT_EQ(Decode(Gif(c.width, 1, w.Finish(), c.minCodeSize)), c.expected) << c.name;
    }
}

TEST(GifReader, InterlacedRowsComeOutInDisplayOrderForHeightsOneToNine)
{
    // The display row of each row as stored, worked out by hand.
    const std::string orders[] = {"0",      "01",      "021",      "0213",     "04213",
                                  "042135", "0426135", "04261357", "084261357"};
    const int width = 3;
    for (const std::string& order : orders)
    {
        int height = int(order.size());
        // Pixel (x, r) of the picture has index r * 10 + x, so every row differs.
        Bytes picture, stream;
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x)
            {
                picture.push_back(uint8_t(r * 10 + x));
                stream.push_back(uint8_t((order[size_t(r)] - '0') * 10 + x));
            }
        Bytes bytes = GifBuilder()
                          .Header(width, height, Ramp())
                          .Descriptor(width, height, {}, true)
                          .Data(8, Lzw(stream, 8))
                          .Trailer()
                          .Bytes();
        EXPECT_EQ(Decode(bytes), Expected(picture, Ramp())) << "height " << height;
    }
}

struct TableCase
{
    const char* name;
    Words global, local;
    std::vector<std::pair<bool, int>> controls; // (flag, index), each with a 4-byte block
    int shortBlock;                             // > 0: one more control with a block this short
    Words expected;
};

TEST(GifReader, ColourTablesAndTransparency)
{
    const uint32_t k0 = 0xFF112233, k1 = 0xFFFF0000, k2 = 0xFF00FF00, k3 = 0xFF0000FF;
    const TableCase cases[] = {
        {"noControl", kFourColors, {}, {}, 0, {k0, k1, k2, k3}},
        // The local table replaces the global one; indices outside it read a zeroed entry.
        {"localOverGlobal", kFourColors, {0xABCDEF, 0x123456}, {}, 0, {0xFFABCDEF, 0xFF123456, 0, 0}},
        {"noTable", {}, {}, {}, 0, {0, 0, 0, 0}},
        // The transparent index is all bits zero; the last full control block counts.
        {"transparent", kFourColors, {}, {{true, 2}}, 0, {k0, k1, 0, k3}},
        {"laterWins", kFourColors, {}, {{true, 1}, {true, 3}}, 0, {k0, k1, k2, 0}},
        {"laterWithoutFlag", kFourColors, {}, {{true, 1}, {false, 3}}, 0, {k0, k1, k2, k3}},
        {"shortBlockIgnored", kFourColors, {}, {}, 3, {k0, k1, k2, k3}},
        {"shortBlockKeepsEarlier", kFourColors, {}, {{true, 1}}, 1, {k0, 0, k2, k3}},
    };
    for (const TableCase& c : cases)
    {
        GifBuilder b;
        b.Header(4, 1, c.global);
        for (auto& gc : c.controls)
            b.GraphicControl(gc.first, gc.second);
        if (c.shortBlock > 0)
            b.GraphicControl(true, 0, c.shortBlock);
        b.Extension(0xFE, "a comment").Extension(0xFF, "NETSCAPE2.0").Extension(0x01, "plain text");
        b.Descriptor(4, 1, c.local, false).Data(2, Lzw({0, 1, 2, 3})).Trailer();
        EXPECT_EQ(Decode(b.Bytes()), c.expected) << c.name;
    }
}

TEST(GifReader, ImageSizeStrayBytesAndExtraCodes)
{
    GifBuilder b;
    b.Header(100, 50, kFourColors).Descriptor(3, 1, {}, false).Data(2, Lzw({3, 2, 1})).Trailer();
    std::unique_ptr<Image> image = Read(b.Bytes());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 3);
    EXPECT_EQ(image->GetHeight(), 1);
    EXPECT_EQ(Decode(b.Bytes()), Expected({3, 2, 1}, kFourColors));
    Bytes bytes = GifBuilder()
                      .Header(3, 1, kFourColors)
                      .Byte(0)
                      .Byte('x')
                      .Extension(0xFE, "c")
                      .Byte(0x80)
                      .Descriptor(3, 1, {}, false)
                      .Data(2, Lzw({3, 2, 1}))
                      .Trailer()
                      .Bytes();
    EXPECT_EQ(Decode(bytes), Expected({3, 2, 1}, kFourColors));
    EXPECT_EQ(Decode(Gif(2, 2, Lzw({1, 2, 3, 0, 3, 3, 3, 2, 1}))), Expected({1, 2, 3, 0}, kFourColors));
}

TEST(GifReader, ForeignOrDamagedFilesRefused)
{
    auto withSignature = [](const char* signature)
    {
        Bytes b = Gif(2, 1, Lzw({1, 2}));
        std::copy(signature, signature + 6, b.begin());
        return b;
    };
    auto sized = [](int width, int height)
    {
        GifBuilder b;
        b.Header(2, 2, kFourColors).Descriptor(width, height, {}, false).Data(2, Lzw({0})).Trailer();
        return b.Bytes();
    };
    EXPECT_FALSE(Refused(withSignature("GIF87a")));
    std::vector<std::pair<std::string, Bytes>> cases = {
        {"GIF88a", withSignature("GIF88a")},
        {"PNG89a", withSignature("PNG89a")},
        // The minimum code size must be 1 to 11.
        {"codeSize0", Gif(2, 1, {0, 0, 0}, 0)},
        {"codeSize12", Gif(2, 1, {0, 0, 0}, 12)},
        {"trailerBeforeFirstImage",
         GifBuilder().Header(2, 2, kFourColors).Extension(0xFE, "x").Trailer().Bytes()},
        {"1x0", sized(1, 0)},
        // 65535 x 2 passes the pixel cap but not the side cap; 16384 x 16384 the reverse.
        {"65535x2", sized(65535, 2)},
        {"16384x16384", sized(16384, 16384)},
    };
    // Header 13 + table 12 + descriptor 10 bytes end at 35; the code size is at 35.
    Bytes full = Gif(4, 2, Lzw({0, 1, 2, 3, 3, 2, 1, 0}));
    for (long cut : {0, 3, 6, 12, 20, 25, 30, 35})
        cases.push_back({"cutAt" + std::to_string(cut), Bytes(full.begin(), full.begin() + cut)});
    for (const auto& c : cases)
        EXPECT_TRUE(Refused(c.second)) << c.first;
}

TEST(GifReader, TruncatedDataKeepsDecodedPrefixAndZeroesRest)
{
    Bytes idx = Noise(40 * 30, 256, 21);
    Bytes full = Gif(40, 30, Lzw(idx, 8), 8, Ramp());
    Words px = Decode(Bytes(full.begin(), full.begin() + long(full.size() / 2)));
    Words expected = Expected(idx, Ramp());
    ASSERT_EQ(px.size(), expected.size());
    size_t same = 0;
    while (same < px.size() && px[same] == expected[same])
        ++same;
    EXPECT_GT(same, 40u);
    EXPECT_LT(same, px.size());
    for (size_t i = same + 1; i < px.size(); ++i)
        ASSERT_EQ(px[i], 0u) << i;
}
