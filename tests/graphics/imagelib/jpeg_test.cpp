// JPEG reader and writer on files libjpeg writes: refusals, truncated and endless scans, and
// the writer's round trip.
#include "graphics/imagelib/ImageLib.h"

#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>

using namespace Vaxo::ImageLib;

namespace
{

// Encodes a gradient of 1, 3 or 4 components a pixel with libjpeg into memory.
std::vector<uint8_t> EncodeJpeg(int width, int height, int components, J_COLOR_SPACE space,
                                bool progressive = false)
{
    std::vector<uint8_t> samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                samples.push_back(uint8_t((x * (3 + c) + y * (5 - c)) & 0xFF));
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height)
    {
        JSAMPROW row =
            const_cast<JSAMPROW>(samples.data() + size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

std::unique_ptr<Image> Decode(const std::vector<uint8_t>& bytes)
{
    return std::unique_ptr<Image>(GetJPEGImageFromMemory(bytes.data(), bytes.size()));
}

std::vector<uint32_t> Pixels(const Image& image)
{
    return std::vector<uint32_t>(image.GetBits(),
                                 image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

// Offset of the first marker `code` (0xFF, code) after the start of image.
size_t FindMarker(const std::vector<uint8_t>& bytes, uint8_t code)
{
    size_t i = 2;
    while (i + 1 < bytes.size() && !(bytes[i] == 0xFF && bytes[i + 1] == code))
        ++i;
    EXPECT_LT(i + 1, bytes.size()) << "no marker " << int(code);
    return i;
}

// The bytes without their end marker, then `middle`, then the end marker.
std::vector<uint8_t> InsertBeforeEnd(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& middle)
{
    std::vector<uint8_t> out(bytes.begin(), bytes.end() - 2);
    out.insert(out.end(), middle.begin(), middle.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

} // namespace

TEST(JpegReader, ForeignOrDamagedFilesRefused)
{
    auto bytes = EncodeJpeg(16, 16, 3, JCS_RGB);
    size_t sof = FindMarker(bytes, 0xC0);
    size_t sofLength = size_t(bytes[sof + 2] << 8 | bytes[sof + 3]) + 2;
    // The frame header holds the height and width, big-endian, after the precision byte.
    auto sized = [&](int width, int height)
    {
        std::vector<uint8_t> b = bytes;
        b[sof + 5] = uint8_t(height >> 8);
        b[sof + 6] = uint8_t(height);
        b[sof + 7] = uint8_t(width >> 8);
        b[sof + 8] = uint8_t(width);
        return b;
    };
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"cmyk", EncodeJpeg(16, 16, 4, JCS_CMYK)}, // would decode as garbage
        {"16x16385", sized(16, 16385)},
        {"16384x8192", sized(16384, 8192)},
        {"headerOnly", {bytes.begin(), bytes.begin() + 40}},
        {"notJpeg", {'G', 'I', 'F', '8', '9', 'a', 1, 2, 3}},
        // A second frame header after the scan: an error met once the pixels are allocated.
        {"secondFrameHeader",
         InsertBeforeEnd(bytes, {bytes.begin() + long(sof), bytes.begin() + long(sof + sofLength)})},
    };
    for (const auto& c : cases)
    {
        EXPECT_FALSE(c.second.empty()) << c.first;
        EXPECT_FALSE(Decode(c.second)) << c.first;
    }
}

TEST(JpegReader, TruncatedScanIsFinishedKeepingTheRowsBeforeTheCut)
{
    auto bytes = EncodeJpeg(64, 64, 3, JCS_RGB);
    auto full = Decode(bytes);
    auto part = Decode(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size() * 2 / 3)));
    ASSERT_TRUE(full && part);
    EXPECT_EQ(part->GetWidth(), 64);
    // Two thirds of the data hold more than the first 16 rows (one row of blocks).
    std::vector<uint32_t> kept = Pixels(*part), head = Pixels(*full);
    kept.resize(64 * 16);
    head.resize(64 * 16);
    EXPECT_EQ(kept, head);
}

TEST(JpegReader, ProgressiveFileWithEndlessScansIsRefused)
{
    // The last scan repeated: libjpeg only warns about such a sequence, and
    // each repeat costs a pass over the image, so a damaged file could run on.
    auto bytes = EncodeJpeg(24, 16, 3, JCS_RGB, true);
    size_t lastScan = 0;
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA)
            lastScan = i;
    ASSERT_GT(lastScan, 0u);
    std::vector<uint8_t> scan(bytes.begin() + long(lastScan), bytes.end() - 2);
    auto repeated = [&](int count)
    {
        std::vector<uint8_t> scans;
        for (int i = 0; i < count; ++i)
            scans.insert(scans.end(), scan.begin(), scan.end());
        return InsertBeforeEnd(bytes, scans);
    };
    EXPECT_TRUE(Decode(repeated(20)));
    EXPECT_FALSE(Decode(repeated(1200)));
}

TEST(JpegWriter, RoundTripWithinTolerance)
{
    Vaxo::TestFolder dir;
    const std::string path = dir / "a.jpg";
    const int w = 48, h = 32;
    std::unique_ptr<Image> image(AllocateImage(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image->mBits[y * w + x] =
                0x12000000u | uint32_t(x * 5) << 16 | uint32_t(y * 7) << 8 | uint32_t(200 - x);
    ASSERT_TRUE(WriteJPEGImage(path, image.get()));
    std::unique_ptr<Image> back(GetJPEGImage(path));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->GetWidth(), w);
    ASSERT_EQ(back->GetHeight(), h);
    int worst = 0;
    for (int i = 0; i < w * h; ++i)
    {
        uint32_t a = image->mBits[i], b = back->mBits[i];
        EXPECT_EQ(b >> 24, 0xFFu); // JPEG has no alpha
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    }
    EXPECT_LE(worst, 16);
}
