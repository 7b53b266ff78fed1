// PNG reader and writer: files of every colour type and depth written by
// libpng itself, with the ARGB words worked out by hand from the samples.
#include "graphics/imagelib/ImageLib.h"

#include "common/support/TestFolder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VAXO_ALLOCATION_HOOKS 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define VAXO_ALLOCATION_HOOKS 1
#endif
#ifdef VAXO_ALLOCATION_HOOKS
#include <sanitizer/allocator_interface.h>
#endif

using namespace Vaxo::ImageLib;

namespace
{

struct PngLayout
{
    PngLayout(int w, int h, int depth, int type, std::vector<uint16_t> samples_ = {},
              std::vector<uint32_t> palette_ = {}, std::vector<uint8_t> paletteAlpha_ = {}, int greyKey_ = -1)
        : width(w), height(h), bitDepth(depth), colorType(type), samples(std::move(samples_)),
          palette(std::move(palette_)), paletteAlpha(std::move(paletteAlpha_)), greyKey(greyKey_)
    {
    }
    int width, height, bitDepth, colorType;
    std::vector<uint16_t> samples;     // row-major, channels interleaved
    std::vector<uint32_t> palette;     // RGB, for palette images
    std::vector<uint8_t> paletteAlpha; // tRNS of a palette image
    int greyKey;                       // tRNS of a grey image, or -1
    bool interlaced = false;
};

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
    const int channelsOf[] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
    int channels = channelsOf[s.colorType];
    size_t rowBytes = (size_t(s.width) * channels * s.bitDepth + 7) / 8;
    std::vector<std::vector<uint8_t>> rows(size_t(s.height), std::vector<uint8_t>(rowBytes, 0));
    for (int y = 0; y < s.height; ++y)
        for (int i = 0; i < s.width * channels; ++i)
        {
            uint16_t v = s.samples[size_t(y) * s.width * channels + i];
            uint8_t* row = rows[size_t(y)].data();
            int bit = i * s.bitDepth;
            if (s.bitDepth == 16)
            {
                row[2 * i] = uint8_t(v >> 8);
                row[2 * i + 1] = uint8_t(v);
            }
            else // at 8 bits the shift is 0
                row[bit / 8] |= uint8_t(v << (8 - s.bitDepth - bit % 8));
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

// An RGBA picture whose every pixel differs, and its expected ARGB.
PngLayout Picture(int width, int height, int bitDepth, std::vector<uint32_t>* expected)
{
    PngLayout layout{width, height, bitDepth, PNG_COLOR_TYPE_RGB_ALPHA};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            uint8_t r = uint8_t(x * 7 + y), g = uint8_t(y * 13), b = uint8_t(x ^ y), a = uint8_t(255 - x - y);
            // At 16 bits the low byte is noise the reader must drop.
            for (uint8_t v : {r, g, b, a})
                layout.samples.push_back(bitDepth == 16 ? uint16_t(v << 8 | ((x * 31 + y) & 0xFF)) : v);
            expected->push_back(uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b);
        }
    return layout;
}

} // namespace

TEST(PngReader, ColourTypesAndDepthsDecodeToExactArgb)
{
    const int kG = PNG_COLOR_TYPE_GRAY, kGA = PNG_COLOR_TYPE_GRAY_ALPHA, kRGB = PNG_COLOR_TYPE_RGB,
              kPal = PNG_COLOR_TYPE_PALETTE;
    const struct
    {
        const char* name;
        PngLayout layout;
        std::vector<uint32_t> expected;
    } cases[] = {
        // Grey scales to 8 bits by repeating the bits: 2 bits x85.
        {"grey2", {4, 1, 2, kG, {0, 1, 2, 3}}, {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
        {"grey8Key", {3, 1, 8, kG, {0x10, 0x20, 0x10}, {}, {}, 0x10}, {0x00101010, 0xFF202020, 0x00101010}},
        {"grey16", {2, 1, 16, kG, {0x12FF, 0xABCD}}, {0xFF121212, 0xFFABABAB}},
        {"greyAlpha8", {2, 1, 8, kGA, {0x40, 0x80, 0xC0, 0x00}}, {0x80404040, 0x00C0C0C0}},
        {"rgb8",
         {2, 2, 8, kRGB, {1, 2, 3, 4, 5, 6, 7, 8, 9, 250, 251, 252}},
         {0xFF010203, 0xFF040506, 0xFF070809, 0xFFFAFBFC}},
        {"palette2Trns",
         {4, 1, 2, kPal, {0, 1, 2, 3}, {0x102030, 0x405060, 0x708090, 0xA0B0C0}, {0x00, 0x80}},
         {0x00102030, 0x80405060, 0xFF708090, 0xFFA0B0C0}},
        {"palette8",
         {2, 1, 8, kPal, {2, 1}, {0x000000, 0x111111, 0x123456}, {0xFF, 0x22, 0x33}},
         {0x33123456, 0x22111111}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto image = Decode(EncodePng(c.layout));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetWidth(), c.layout.width);
        EXPECT_EQ(image->GetHeight(), c.layout.height);
        EXPECT_EQ(Pixels(*image), c.expected);
    }
}

TEST(PngReader, InterlacedFileCombinesAllPassesAtEightAndSixteenBits)
{
    for (auto size : {std::pair<int, int>{1, 8}, {5, 8}, {8, 8}, {13, 8}, {17, 16}})
    {
        SCOPED_TRACE(size.first);
        std::vector<uint32_t> expected;
        PngLayout layout = Picture(size.first + 2, size.first, size.second, &expected);
        layout.interlaced = true;
        auto image = Decode(EncodePng(layout));
        ASSERT_TRUE(image);
        EXPECT_EQ(Pixels(*image), expected);
    }
}

TEST(PngReader, TruncatedOrDamagedFileGivesNull)
{
    std::vector<uint32_t> expected;
    std::vector<uint8_t> bytes = EncodePng(Picture(64, 64, 8, &expected));
    // Cuts in the signature, the header, the image data and before the end chunk.
    for (size_t cut : {size_t(4), size_t(20), bytes.size() / 2, bytes.size() - 12, bytes.size() - 1})
        EXPECT_FALSE(Decode(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)))) << cut;
    EXPECT_FALSE(Decode({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}));
    // Only the header's stored CRC (its last byte at 32) changes: nothing but the CRC check
    // can refuse the file.
    bytes[32] ^= 0x01;
    EXPECT_FALSE(Decode(bytes));
}

#ifdef VAXO_ALLOCATION_HOOKS
namespace
{
// The largest block asked for while recording (the sanitizer reports every malloc).
std::atomic<bool> gRecordAllocations{false};
std::atomic<size_t> gLargestAllocation{0};

void NoteAllocation(const volatile void*, size_t size)
{
    if (gRecordAllocations && size > gLargestAllocation)
        gLargestAllocation = size;
}
void NoteFree(const volatile void*) {}
} // namespace
#endif

TEST(PngReader, ChunkClaimingHugeLengthIsNotAllocated)
{
#ifndef VAXO_ALLOCATION_HOOKS
    GTEST_SKIP() << "allocations are observed only in sanitizer builds";
#else
    // The signature and header of a valid file, then a text chunk claiming
    // about 2 GB of which a few bytes follow.
    std::vector<uint8_t> bytes = EncodePng({1, 1, 8, PNG_COLOR_TYPE_GRAY, {0x80}});
    bytes.resize(33);
    const uint8_t chunk[] = {0x7F, 0xFF, 0xFF, 0x00, 't', 'E', 'X', 't', 'k', 0, 'v'};
    bytes.insert(bytes.end(), chunk, chunk + sizeof chunk);
    ASSERT_TRUE(__sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree));
    gRecordAllocations = true;
    EXPECT_FALSE(Decode(bytes));
    gRecordAllocations = false;
    EXPECT_LT(gLargestAllocation.load(), size_t(1) << 20);
#endif
}

TEST(PngReader, SizeAboveCapGivesNull)
{
    // The header of a 1 x 1 file is rewritten (with its CRC) to claim the size;
    // the reader must refuse it before allocating anything.
    std::vector<uint8_t> small = EncodePng({1, 1, 8, PNG_COLOR_TYPE_GRAY, {0x80}});
    ASSERT_TRUE(Decode(small));
    for (auto size : {std::pair<uint32_t, uint32_t>{16385, 1}, {1, 16385}, {16384, 16384}, {16384, 4097}})
    {
        std::vector<uint8_t> bytes = small;
        uint32_t fields[2] = {size.first, size.second};
        for (int i = 0; i < 8; ++i)
            bytes[size_t(16 + i)] = uint8_t(fields[i / 4] >> (24 - 8 * (i % 4)));
        uint32_t crc = uint32_t(crc32(0, bytes.data() + 12, 17));
        for (int i = 0; i < 4; ++i)
            bytes[size_t(29 + i)] = uint8_t(crc >> (24 - 8 * i));
        EXPECT_FALSE(Decode(bytes)) << size.first << " x " << size.second;
    }
}

TEST(PngWriter, RoundTripIsExactAndFileIsEightBitRgba)
{
    Vaxo::TestFolder dir;
    const std::string path = dir / "a.png";
    std::unique_ptr<Image> image(AllocateImage(37, 23));
    for (int i = 0; i < 37 * 23; ++i)
        image->mBits[i] = uint32_t(i) * 2654435761u;
    ASSERT_TRUE(WritePNGImage(path, image.get()));
    std::unique_ptr<Image> back(GetPNGImage(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(Pixels(*back), Pixels(*image));

    // Not interlaced, with 8 significant bits a channel.
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
}
