// PNG reader and writer: files of every colour type and depth written by
// libpng itself, with the ARGB words worked out by hand from the samples.
#include "graphics/imagelib/ImageLib.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vaxo::ImageLib;

namespace
{

struct PngLayout
{
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_GRAY;
    bool interlaced = false;
    std::vector<uint16_t> samples;     // row-major, channels interleaved
    std::vector<uint32_t> palette;     // RGB, for palette images
    std::vector<uint8_t> paletteAlpha; // tRNS of a palette image
    int greyKey = -1;                  // tRNS of a grey image
};

PngLayout Layout(int width, int height, int bitDepth, int colorType, std::vector<uint16_t> samples,
             std::vector<uint32_t> palette = {}, std::vector<uint8_t> paletteAlpha = {}, int greyKey = -1)
{
    PngLayout s;
    s.width = width;
    s.height = height;
    s.bitDepth = bitDepth;
    s.colorType = colorType;
    s.samples = std::move(samples);
    s.palette = std::move(palette);
    s.paletteAlpha = std::move(paletteAlpha);
    s.greyKey = greyKey;
    return s;
}

int Channels(int colorType)
{
    switch (colorType)
    {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Packs the samples (most significant bits first below 8 bits, big-endian at
// 16) and lets libpng write the file.
std::vector<uint8_t> EncodePng(const PngLayout& s)
{
    int channels = Channels(s.colorType);
    size_t rowBytes = (size_t(s.width) * channels * s.bitDepth + 7) / 8;
    std::vector<std::vector<uint8_t>> rows(size_t(s.height), std::vector<uint8_t>(rowBytes, 0));
    for (int y = 0; y < s.height; ++y)
        for (int i = 0; i < s.width * channels; ++i)
        {
            uint16_t v = s.samples[size_t(y) * s.width * channels + i];
            uint8_t* row = rows[size_t(y)].data();
            if (s.bitDepth == 16)
            {
                row[2 * i] = uint8_t(v >> 8);
                row[2 * i + 1] = uint8_t(v);
            }
            else if (s.bitDepth == 8)
                row[i] = uint8_t(v);
            else
            {
                int bit = i * s.bitDepth;
                row[bit / 8] |= uint8_t(v << (8 - s.bitDepth - bit % 8));
            }
        }

    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the test file";
        return {};
    }
    png_set_write_fn(png, &out, AppendToVector, NoFlush);
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (uint32_t c : s.palette)
        palette.push_back(png_color{png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, s.paletteAlpha.data(), int(s.paletteAlpha.size()), nullptr);
    if (s.greyKey >= 0)
    {
        png_color_16 key = {};
        key.gray = png_uint_16(s.greyKey);
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::unique_ptr<Image> Decode(const std::vector<uint8_t>& bytes)
{
    return std::unique_ptr<Image>(GetPNGImageFromMemory(bytes.data(), bytes.size()));
}

std::vector<uint32_t> Pixels(const Image& image)
{
    return std::vector<uint32_t>(image.GetBits(),
                                 image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

struct PngCase
{
    const char* name;
    PngLayout layout;
    std::vector<uint32_t> expected;
};

class PngColorTypes : public testing::TestWithParam<PngCase>
{
};

} // namespace

TEST_P(PngColorTypes, DecodesToExactArgb)
{
    const PngCase& c = GetParam();
    auto image = Decode(EncodePng(c.layout));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), c.layout.width);
    EXPECT_EQ(image->GetHeight(), c.layout.height);
    EXPECT_EQ(Pixels(*image), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PngColorTypes,
    testing::Values(
        // Grey scales to 8 bits by repeating the bits: 1 bit x255, 2 bits x85, 4 bits x17.
        PngCase{"grey1",
                Layout(4, 1, 1, PNG_COLOR_TYPE_GRAY, {0, 1, 1, 0}),
                {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}},
        PngCase{"grey2",
                Layout(4, 1, 2, PNG_COLOR_TYPE_GRAY, {0, 1, 2, 3}),
                {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
        PngCase{
            "grey4", Layout(3, 1, 4, PNG_COLOR_TYPE_GRAY, {0, 7, 15}), {0xFF000000, 0xFF777777, 0xFFFFFFFF}},
        PngCase{"grey8",
                Layout(3, 1, 8, PNG_COLOR_TYPE_GRAY, {0, 0x5A, 0xFF}),
                {0xFF000000, 0xFF5A5A5A, 0xFFFFFFFF}},
        PngCase{"grey8Key",
                Layout(3, 1, 8, PNG_COLOR_TYPE_GRAY, {0x10, 0x20, 0x10}, {}, {}, 0x10),
                {0x00101010, 0xFF202020, 0x00101010}},
        PngCase{"grey16", Layout(2, 1, 16, PNG_COLOR_TYPE_GRAY, {0x12FF, 0xABCD}), {0xFF121212, 0xFFABABAB}},
        PngCase{"greyAlpha8",
                Layout(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, {0x40, 0x80, 0xC0, 0x00}),
                {0x80404040, 0x00C0C0C0}},
        PngCase{"greyAlpha16", Layout(1, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, {0x3456, 0x9ABC}), {0x9A343434}},
        PngCase{"rgb8",
                Layout(2, 2, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 250, 251, 252}),
                {0xFF010203, 0xFF040506, 0xFF070809, 0xFFFAFBFC}},
        PngCase{"rgba8",
                Layout(2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, {0x10, 0x20, 0x30, 0x40, 0xA0, 0xB0, 0xC0, 0xFF}),
                {0x40102030, 0xFFA0B0C0}},
        PngCase{"rgb16", Layout(1, 1, 16, PNG_COLOR_TYPE_RGB, {0x1122, 0x3344, 0x5566}), {0xFF113355}},
        PngCase{"rgba16",
                Layout(2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA,
                     {0x1234, 0x5678, 0x9ABC, 0xDEF0, 0x0001, 0xFF00, 0x8080, 0x7FFF}),
                {0xDE12569A, 0x7F00FF80}},
        PngCase{"palette2Trns",
                Layout(4, 1, 2, PNG_COLOR_TYPE_PALETTE, {0, 1, 2, 3}, {0x102030, 0x405060, 0x708090, 0xA0B0C0},
                     {0x00, 0x80}),
                {0x00102030, 0x80405060, 0xFF708090, 0xFFA0B0C0}},
        PngCase{"palette1",
                Layout(3, 1, 1, PNG_COLOR_TYPE_PALETTE, {1, 0, 1}, {0x0000FF, 0xFF0000}),
                {0xFFFF0000, 0xFF0000FF, 0xFFFF0000}},
        PngCase{
            "palette8",
            Layout(2, 1, 8, PNG_COLOR_TYPE_PALETTE, {2, 1}, {0x000000, 0x111111, 0x123456}, {0xFF, 0x22, 0x33}),
            {0x33123456, 0x22111111}}),
    [](const testing::TestParamInfo<PngCase>& info) { return std::string(info.param.name); });

namespace
{

// An RGBA picture whose every pixel differs, as samples and as expected ARGB.
void Picture(int width, int height, int bitDepth, PngLayout* layout, std::vector<uint32_t>* expected)
{
    layout->width = width;
    layout->height = height;
    layout->bitDepth = bitDepth;
    layout->colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            uint8_t r = uint8_t(x * 7 + y), g = uint8_t(y * 13), b = uint8_t(x ^ y), a = uint8_t(255 - x - y);
            // At 16 bits the low byte is noise the reader must drop.
            for (uint8_t v : {r, g, b, a})
                layout->samples.push_back(bitDepth == 16 ? uint16_t(v << 8 | ((x * 31 + y) & 0xFF)) : v);
            expected->push_back(uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
        }
}

} // namespace

TEST(PngReader, InterlacedFileCombinesAllPasses)
{
    for (int size : {1, 5, 8, 13})
    {
        SCOPED_TRACE(size);
        PngLayout layout;
        std::vector<uint32_t> expected;
        Picture(size + 3, size, 8, &layout, &expected);
        layout.interlaced = true;
        auto image = Decode(EncodePng(layout));
        ASSERT_TRUE(image);
        EXPECT_EQ(Pixels(*image), expected);
    }
}

TEST(PngReader, SixteenBitInterlacedKeepsHighBytes)
{
    PngLayout layout;
    std::vector<uint32_t> expected;
    Picture(19, 17, 16, &layout, &expected);
    layout.interlaced = true;
    auto image = Decode(EncodePng(layout));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), expected);
}

TEST(PngReader, TruncatedFileGivesNull)
{
    PngLayout layout;
    std::vector<uint32_t> expected;
    Picture(64, 64, 8, &layout, &expected);
    std::vector<uint8_t> bytes = EncodePng(layout);
    // Cuts in the signature, the header, the image data and before the end chunk.
    for (size_t cut : {size_t(4), size_t(20), bytes.size() / 2, bytes.size() - 12, bytes.size() - 1})
    {
        SCOPED_TRACE(cut);
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        EXPECT_FALSE(Decode(part));
    }
}

TEST(PngReader, DamagedDataGivesNull)
{
    PngLayout layout;
    std::vector<uint32_t> expected;
    Picture(32, 32, 8, &layout, &expected);
    std::vector<uint8_t> bytes = EncodePng(layout);
    bytes[bytes.size() / 2] ^= 0xFF; // inside the image data: its CRC no longer matches
    EXPECT_FALSE(Decode(bytes));
    std::vector<uint8_t> notPng = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
    EXPECT_FALSE(Decode(notPng));
}

TEST(PngReader, SizeAboveCapGivesNull)
{
    // The header of a 1 x 1 file is rewritten (with its CRC) to claim the size;
    // the reader must refuse it before allocating anything.
    PngLayout layout = Layout(1, 1, 8, PNG_COLOR_TYPE_GRAY, {0x80});
    std::vector<uint8_t> small = EncodePng(layout);
    ASSERT_TRUE(Decode(small));
    for (auto size : {std::pair<uint32_t, uint32_t>{16385, 1}, {1, 16385}, {16384, 16384}, {16384, 4097}})
    {
        SCOPED_TRACE(size.first);
        std::vector<uint8_t> bytes = small;
        for (int i = 0; i < 4; ++i)
        {
            bytes[16 + i] = uint8_t(size.first >> (24 - 8 * i));
            bytes[20 + i] = uint8_t(size.second >> (24 - 8 * i));
        }
        uint32_t crc = uint32_t(crc32(0, bytes.data() + 12, 17));
        for (int i = 0; i < 4; ++i)
            bytes[29 + i] = uint8_t(crc >> (24 - 8 * i));
        EXPECT_FALSE(Decode(bytes));
    }
}

TEST(PngWriter, RoundTripIsExact)
{
    char dir[] = "/tmp/png_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/a.png";
    std::unique_ptr<Image> image(AllocateImage(37, 23));
    for (int i = 0; i < 37 * 23; ++i)
        image->mBits[i] = uint32_t(i) * 2654435761u;
    ASSERT_TRUE(WritePNGImage(path, image.get()));
    std::unique_ptr<Image> back(GetPNGImage(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(Pixels(*back), Pixels(*image));

    // The file itself is 8-bit RGBA, not interlaced, with 8 significant bits a channel.
    FILE* f = fopen(path.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    EXPECT_EQ(png_get_bit_depth(png, info), 8);
    EXPECT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(png_get_interlace_type(png, info), PNG_INTERLACE_NONE);
    png_color_8p sig = nullptr;
    ASSERT_TRUE(png_get_sBIT(png, info, &sig));
    EXPECT_EQ(sig->red, 8);
    EXPECT_EQ(sig->alpha, 8);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    unlink(path.c_str());
    rmdir(dir);
}

TEST(PngWriter, UnopenablePathGivesFalse)
{
    std::unique_ptr<Image> image(AllocateImage(1, 1));
    EXPECT_FALSE(WritePNGImage("/nonexistent/dir/a.png", image.get()));
    EXPECT_EQ(GetPNGImage("/nonexistent/dir/a.png"), nullptr);
}
