// A GIF writer for tests and benchmarks: builds files piece by piece so a test
// can craft exactly the stream it needs (odd sub-block sizes, clears
// mid-stream, bad codes, truncation). The LZW coder is the classic
// compress-style one, written apart from the reader.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{
namespace TestGif
{

// Packs codes least significant bit first.
class CodeWriter
{
public:
    void Put(int code, int bits)
    {
        mAcc |= uint64_t(uint32_t(code)) << mCount;
        for (mCount += bits; mCount >= 8; mCount -= 8, mAcc >>= 8)
            mBytes.push_back(uint8_t(mAcc));
    }
    std::vector<uint8_t> Finish()
    {
        if (mCount > 0)
            mBytes.push_back(uint8_t(mAcc));
        return mBytes;
    }

private:
    std::vector<uint8_t> mBytes;
    uint64_t mAcc = 0;
    int mCount = 0;
};

struct LzwOptions
{
    int minCodeSize = 8;
    size_t clearAtPixel = 0;   // when non-zero, a clear code is sent before this pixel
    bool clearWhenFull = true; // false: keep sending codes on a full table (not followed by the reader)
};

struct LzwStats
{
    int clears = 0;  // clear codes sent, the first one included
    int maxBits = 0; // widest code written
    int fullTableClears = 0;
};

// LZW-codes the indices, ending with the end code; returns the packed code
// bytes (not yet in sub-blocks).
inline std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& indices, const LzwOptions& o,
                                      LzwStats* stats = nullptr)
{
    const int clear = 1 << o.minCodeSize;
    int bits = o.minCodeSize + 1;
    int next = clear + 2; // the code the next new string takes
    std::map<std::pair<int, int>, int> table;
    CodeWriter w;
    LzwStats s;
    // The reader adds each entry one code later than the writer, so the width
    // grows after the code sent while `next` is the first code of the wider width.
    auto put = [&](int code)
    {
        w.Put(code, bits);
        s.maxBits = std::max(s.maxBits, bits);
        if (next >= (1 << bits) && bits < 12)
            ++bits;
    };
    auto sendClear = [&]()
    {
        put(clear);
        ++s.clears;
        table.clear();
        next = clear + 2;
        bits = o.minCodeSize + 1;
    };

    sendClear();
    int prefix = indices.empty() ? -1 : indices[0];
    for (size_t i = 1; i < indices.size(); ++i)
    {
        int k = indices[i];
        auto it = table.find({prefix, k});
        if (i != o.clearAtPixel && it != table.end())
        {
            prefix = it->second;
            continue;
        }
        put(prefix);
        if (i == o.clearAtPixel)
            sendClear();
        else if (next < 4096)
            table[{prefix, k}] = next++;
        else if (o.clearWhenFull)
        {
            ++s.fullTableClears;
            sendClear();
        }
        prefix = k;
    }
    if (prefix >= 0)
        put(prefix);
    put(clear + 1);
    if (stats)
        *stats = s;
    return w.Finish();
}

// Builds a file from its pieces, in the order the calls are made.
class GifBuilder
{
public:
    // Header and logical screen; an empty table means no global colour table.
    GifBuilder& Header(int width, int height, const std::vector<uint32_t>& globalTable,
                       const std::string& signature = "GIF89a")
    {
        mBytes.insert(mBytes.end(), signature.begin(), signature.end());
        Short(width).Short(height).Byte(globalTable.empty() ? 0 : 0x80 | TableBits(globalTable));
        return Byte(0).Byte(0).Table(globalTable); // background, aspect
    }
    // A graphic-control extension; `blockSize` below 4 makes a damaged one.
    GifBuilder& GraphicControl(bool transparentFlag, int index, int blockSize = 4)
    {
        const uint8_t data[4] = {uint8_t(transparentFlag ? 1 : 0), 0, 0, uint8_t(index)};
        Byte('!').Byte(0xF9).Byte(blockSize);
        for (int i = 0; i < blockSize; ++i)
            Byte(i < 4 ? data[i] : 0);
        return Byte(0);
    }
    GifBuilder& Extension(int label, const std::string& text)
    {
        Byte('!').Byte(label).Byte(int(text.size()));
        mBytes.insert(mBytes.end(), text.begin(), text.end());
        return Byte(0);
    }
    GifBuilder& Descriptor(int width, int height, const std::vector<uint32_t>& localTable, bool interlaced)
    {
        Byte(',').Short(0).Short(0).Short(width).Short(height);
        Byte((localTable.empty() ? 0 : 0x80 | TableBits(localTable)) | (interlaced ? 0x40 : 0));
        return Table(localTable);
    }
    // Minimum code size, then the code bytes in sub-blocks of at most blockSize, then the terminator.
    GifBuilder& Data(int minCodeSize, const std::vector<uint8_t>& codes, size_t blockSize = 255)
    {
        Byte(minCodeSize);
        for (size_t i = 0; i < codes.size(); i += blockSize)
        {
            size_t n = std::min(blockSize, codes.size() - i);
            Byte(int(n));
            mBytes.insert(mBytes.end(), codes.begin() + long(i), codes.begin() + long(i + n));
        }
        return Byte(0);
    }
    GifBuilder& Trailer() { return Byte(';'); }
    GifBuilder& Byte(int b)
    {
        mBytes.push_back(uint8_t(b));
        return *this;
    }
    const std::vector<uint8_t>& Bytes() const { return mBytes; }

private:
    GifBuilder& Short(int v) { return Byte(v & 0xFF).Byte((v >> 8) & 0xFF); }
    // Tables are padded to a power of two of at least 2 entries.
    static int TableBits(const std::vector<uint32_t>& t)
    {
        int bits = 0;
        while ((2u << bits) < t.size())
            ++bits;
        return bits;
    }
    GifBuilder& Table(const std::vector<uint32_t>& t)
    {
        for (size_t i = 0; !t.empty() && i < (size_t(2) << TableBits(t)); ++i)
        {
            uint32_t c = i < t.size() ? t[i] : 0;
            Byte(int(c >> 16) & 0xFF).Byte(int(c >> 8) & 0xFF).Byte(int(c) & 0xFF);
        }
        return *this;
    }

    std::vector<uint8_t> mBytes;
};

} // namespace TestGif
} // namespace Vaxo
