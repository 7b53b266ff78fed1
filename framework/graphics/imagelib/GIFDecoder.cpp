// GIF reader: the first image of a GIF87a or GIF89a file, with its own LZW
// decoder. All decoder state lives on the caller's stack, so any number of
// threads may decode at once.
#include "graphics/imagelib/ImageFileIO.h"

#include <cstring>
#include <memory>
#include <vector>

namespace Vaxo
{
namespace ImageLib
{

namespace
{

constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeBits = 12;

// The colour table as ARGB words; indices past the file's table read zero.
struct Palette
{
    uint32_t color[256] = {};
};

bool ReadColorTable(FILE* file, int entries, Palette* palette)
{
    uint8_t rgb[256 * 3];
    if (std::fread(rgb, 3, size_t(entries), file) != size_t(entries))
        return false;
    *palette = Palette();
    for (int i = 0; i < entries; ++i)
        palette->color[i] =
            0xFF000000u | uint32_t(rgb[3 * i]) << 16 | uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
    return true;
}

void SkipSubBlocks(FILE* file)
{
    uint8_t block[256];
    while (ReadBlobBlock(file, block) > 0)
    {
    }
}

// Codes packed least significant bit first into the data sub-blocks.
class CodeReader
{
public:
    explicit CodeReader(FILE* file) : mFile(file) {}

    // False when the data ends (a zero-length sub-block or end of file).
    bool Read(int bits, int* code)
    {
        while (mBitCount < bits)
        {
            if (mPos == mLen)
            {
                if (mEnded)
                    return false;
                mLen = ReadBlobBlock(mFile, mBlock);
                mPos = 0;
                if (mLen == 0)
                {
                    mEnded = true;
                    return false;
                }
            }
            mBits |= uint32_t(mBlock[mPos++]) << mBitCount;
            mBitCount += 8;
        }
        *code = int(mBits & ((1u << bits) - 1));
        mBits >>= bits;
        mBitCount -= bits;
        return true;
    }

private:
    FILE* mFile;
    uint8_t mBlock[256];
    int mLen = 0;
    int mPos = 0;
    bool mEnded = false;
    uint32_t mBits = 0;
    int mBitCount = 0;
};

// Decodes up to `count` colour indices into `out` and returns how many came.
// Every table entry is the previous string plus one byte, and that previous
// string was itself written to `out` just before, so each entry is kept as
// (position in `out`, length) and output is a forward copy from earlier output.
size_t DecodeLZW(CodeReader& reader, int minCodeSize, uint8_t* out, size_t count)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    uint32_t entryPos[kMaxCodes];
    uint16_t entryLen[kMaxCodes];

    int codeSize = minCodeSize + 1;
    int freeCode = clearCode + 2;
    bool afterClear = true;
    size_t prevPos = 0;
    size_t prevLen = 0;
    size_t q = 0;

    int code;
    while (q < count && reader.Read(codeSize, &code))
    {
        if (code == clearCode)
        {
            codeSize = minCodeSize + 1;
            freeCode = clearCode + 2;
            afterClear = true;
            continue;
        }
        if (code == endCode || code > freeCode)
            break;
        if (afterClear)
        {
            // Only a plain index can start a string; a damaged stream is cut here.
            if (code >= clearCode)
                break;
            prevPos = q;
            prevLen = 1;
            out[q++] = uint8_t(code);
            afterClear = false;
            // Only with a minimum code size of 1 is the first free code (4)
            // already past the width; grow now, as encoders do.
            if (freeCode >= (1 << codeSize))
                ++codeSize;
            continue;
        }

        size_t pos = q;
        size_t len;
        if (code < clearCode)
        {
            len = 1;
            out[q++] = uint8_t(code);
        }
        else
        {
            // An entry's string, or for the code being defined (the KwKwK case)
            // the previous string and its own first byte: in both the source lies
            // before `pos` apart from that last byte, which the forward copy supplies.
            size_t from = code < freeCode ? entryPos[code] : prevPos;
            len = code < freeCode ? entryLen[code] : prevLen + 1;
            size_t n = len < count - q ? len : count - q;
            const uint8_t* src = out + from;
            uint8_t* dst = out + q;
            if (from + n <= pos)
                std::memcpy(dst, src, n);
            else
                for (size_t i = 0; i < n; ++i)
                    dst[i] = src[i];
            q += n;
            if (n < len)
                break; // the image is full
        }

        if (freeCode >= kMaxCodes)
            break; // a full table must be followed by a clear code
        entryPos[freeCode] = uint32_t(prevPos);
        entryLen[freeCode] = uint16_t(prevLen + 1);
        ++freeCode;
        if (freeCode >= (1 << codeSize) && codeSize < kMaxCodeBits)
            ++codeSize;
        prevPos = pos;
        prevLen = len;
    }
    return q;
}

// Display row of each row in stream order.
std::vector<int32_t> RowOrder(int32_t height, bool interlaced)
{
    std::vector<int32_t> rows;
    rows.reserve(size_t(height));
    if (!interlaced)
    {
        for (int32_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    static const int32_t kStart[4] = {0, 4, 2, 1};
    static const int32_t kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int32_t y = kStart[pass]; y < height; y += kStep[pass])
            rows.push_back(y);
    return rows;
}

} // namespace

Image* ReadGIFFile(FILE* file)
{
    uint8_t signature[6];
    if (std::fread(signature, 1, 6, file) != 6)
        return nullptr;
    if (std::memcmp(signature, "GIF87", 5) != 0 && std::memcmp(signature, "GIF89", 5) != 0)
        return nullptr;

    uint8_t screen[7]; // width, height, packed, background, aspect
    if (std::fread(screen, 1, 7, file) != 7)
        return nullptr;
    Palette palette;
    if ((screen[4] & 0x80) && !ReadColorTable(file, 1 << ((screen[4] & 7) + 1), &palette))
        return nullptr;

    int transparent = -1;
    for (;;)
    {
        int c = std::getc(file);
        if (c == EOF || c == ';')
            return nullptr;
        if (c == ',')
            break;
        if (c != '!')
            continue;
        int label = std::getc(file);
        if (label == EOF)
            return nullptr;
        if (label == 0xF9)
        {
            uint8_t block[256];
            int n = ReadBlobBlock(file, block);
            // Only a full graphic-control block says anything; it replaces an earlier one.
            if (n >= 4)
                transparent = (block[0] & 1) ? block[3] : -1;
            if (n > 0)
                SkipSubBlocks(file);
        }
        else
        {
            SkipSubBlocks(file);
        }
    }

    uint16_t left, top, width, height;
    if (!P_ReadShort(file, &left) || !P_ReadShort(file, &top) || !P_ReadShort(file, &width) ||
        !P_ReadShort(file, &height))
        return nullptr;
    int packed = std::getc(file);
    if (packed == EOF)
        return nullptr;
    if ((packed & 0x80) && !ReadColorTable(file, 1 << ((packed & 7) + 1), &palette))
        return nullptr;
    bool interlaced = (packed & 0x40) != 0;

    int minCodeSize = std::getc(file);
    if (minCodeSize < 1 || minCodeSize >= kMaxCodeBits)
        return nullptr;

    std::unique_ptr<Image> image(NewImage(width, height, true));
    if (!image)
        return nullptr;
    size_t count = size_t(width) * height;
    std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[count]);
    if (!indices)
        return nullptr;

    CodeReader reader(file);
    size_t decoded = DecodeLZW(reader, minCodeSize, indices.get(), count);

    if (transparent >= 0)
        palette.color[transparent] = 0;
    std::vector<int32_t> rows = RowOrder(height, interlaced);
    for (size_t start = 0, r = 0; start < decoded; start += width, ++r)
    {
        size_t n = decoded - start < width ? decoded - start : width;
        const uint8_t* src = indices.get() + start;
        uint32_t* dst = image->mBits + size_t(rows[r]) * width;
        for (size_t x = 0; x < n; ++x)
            dst[x] = palette.color[src[x]];
    }
    return image.release();
}

Image* GetGIFImage(const std::string& path)
{
    return ReadFromPath(path, ReadGIFFile);
}

Image* GetGIFImageFromMemory(const void* data, size_t size)
{
    return ReadFromMemory(data, size, ReadGIFFile);
}

} // namespace ImageLib
} // namespace Vaxo
