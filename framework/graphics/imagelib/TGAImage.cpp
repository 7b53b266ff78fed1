// Uncompressed 32-bit TGA: 18-byte header, then blue, green, red, alpha bytes
// for each pixel, rows from the top.
#include "graphics/imagelib/ImageFileIO.h"

#include <cstring>
#include <memory>
#include <new>

namespace Vaxo
{
namespace ImageLib
{

namespace
{

constexpr uint8_t kTrueColorType = 2;
constexpr uint8_t kDepth = 32;
constexpr uint8_t kDescriptor = 0x28; // 8 alpha bits, rows from the top
constexpr size_t kHeaderSize = 18;

bool IsLittleEndianHost()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// In memory the bytes blue, green, red, alpha are the ARGB word on a
// little-endian host; elsewhere each word is put together.
void BytesToPixels(uint32_t* bits, size_t count)
{
    if (IsLittleEndianHost())
        return;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(bits);
    for (size_t i = 0; i < count; ++i)
    {
        const uint8_t* p = bytes + 4 * i;
        bits[i] = uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
}

} // namespace

Image* ReadTGAFile(FILE* file)
{
    uint8_t h[kHeaderSize];
    if (std::fread(h, 1, kHeaderSize, file) != kHeaderSize)
        return nullptr;
    uint8_t idLength = h[0];
    uint8_t colorMapType = h[1];
    uint8_t imageType = h[2];
    uint32_t colorMapLength = uint32_t(h[5] | h[6] << 8);
    uint32_t colorMapEntryBits = h[7];
    int32_t width = h[12] | h[13] << 8;
    int32_t height = h[14] | h[15] << 8;
    if (imageType != kTrueColorType || h[16] != kDepth || h[17] != kDescriptor)
        return nullptr;

    // The ID field and any colour map lie between the header and the pixels.
    long skip = long(idLength);
    if (colorMapType != 0)
        skip += long(colorMapLength * ((colorMapEntryBits + 7) / 8));
    if (skip > 0 && std::fseek(file, skip, SEEK_CUR) != 0)
        return nullptr;

    // Zeroed: a short file leaves the missing pixels zero.
    std::unique_ptr<Image> image(NewImage(width, height, true));
    if (!image)
        return nullptr;
    size_t count = size_t(width) * size_t(height);
    size_t got = std::fread(image->mBits, 1, count * 4, file) / 4;
    if (got < count)
        image->mBits[got] = 0; // no half pixels
    BytesToPixels(image->mBits, got);
    return image.release();
}

Image* GetTGAImage(const std::string& path)
{
    return ReadFromPath(path, ReadTGAFile);
}

Image* GetTGAImageFromMemory(const void* data, size_t size)
{
    return ReadFromMemory(data, size, ReadTGAFile);
}

bool WriteTGAImage(const std::string& path, Image* image)
{
    if (image == nullptr || !IsAcceptedSize(image->mWidth, image->mHeight) || image->mBits == nullptr)
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    uint8_t h[kHeaderSize] = {};
    h[2] = kTrueColorType;
    h[12] = uint8_t(image->mWidth);
    h[13] = uint8_t(image->mWidth >> 8);
    h[14] = uint8_t(image->mHeight);
    h[15] = uint8_t(image->mHeight >> 8);
    h[16] = kDepth;
    h[17] = kDescriptor;
    bool ok = std::fwrite(h, 1, kHeaderSize, file) == kHeaderSize;

    size_t width = size_t(image->mWidth);
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[width * 4]);
    if (!row)
        ok = false;
    for (int32_t y = 0; ok && y < image->mHeight; ++y)
    {
        const uint32_t* src = image->mBits + size_t(y) * width;
        for (size_t x = 0; x < width; ++x)
        {
            uint32_t c = src[x];
            uint8_t* p = row.get() + 4 * x;
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
            p[3] = uint8_t(c >> 24);
        }
        ok = std::fwrite(row.get(), 4, width, file) == width;
    }
    // A full disk must not be reported as a written file.
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

} // namespace ImageLib
} // namespace Vaxo
