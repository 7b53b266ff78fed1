// A GIF writer for tests: builds files piece by piece so a test can craft
// exactly the stream it needs (odd sub-block sizes, clears mid-stream, bad
// codes, truncation). The LZW encoder follows the classic compress-style
// encoder (code width raised after the code that fills the width, a clear
// when the 4,096-entry table is full), written apart from the reader.
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
        mCount += bits;
        while (mCount >= 8)
        {
            mBytes.push_back(uint8_t(mAcc));
            mAcc >>= 8;
            mCount -= 8;
        }
    }
    std::vector<uint8_t> Finish()
    {
        if (mCount > 0)
            mBytes.push_back(uint8_t(mAcc));
        mAcc = 0;
        mCount = 0;
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
    bool endCode = true;
};

struct LzwStats
{
    int clears = 0;  // clear codes sent, the first one included
    int maxBits = 0; // widest code written
    int fullTableClears = 0;
};

// LZW-codes the indices; returns the packed code bytes (not yet in sub-blocks).
inline std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& indices, const LzwOptions& o,
                                      LzwStats* stats = nullptr)
{
    const int clear = 1 << o.minCodeSize;
    const int eoi = clear + 1;
    const int initBits = o.minCodeSize + 1;
    int nBits = initBits;
    int maxCode = (1 << nBits) - 1;
    int freeEnt = clear + 2;
    bool clearFlag = false;
    std::map<std::pair<int, int>, int> table;
    CodeWriter w;
    LzwStats s;

    auto output = [&](int code)
    {
        w.Put(code, nBits);
        if (nBits > s.maxBits)
            s.maxBits = nBits;
        if (freeEnt > maxCode || clearFlag)
        {
            if (clearFlag)
            {
                nBits = initBits;
                maxCode = (1 << nBits) - 1;
                clearFlag = false;
            }
            else
            {
                ++nBits;
                maxCode = nBits == 12 ? 4096 : (1 << nBits) - 1;
            }
        }
    };
    auto clearBlock = [&]()
    {
        table.clear();
        freeEnt = clear + 2;
        clearFlag = true;
        ++s.clears;
        output(clear);
    };

    clearBlock();
    if (!indices.empty())
    {
        int prefix = indices[0];
        for (size_t i = 1; i < indices.size(); ++i)
        {
            int k = indices[i];
            if (o.clearAtPixel != 0 && i == o.clearAtPixel)
            {
                output(prefix);
                clearBlock();
                prefix = k;
                continue;
            }
            auto it = table.find({prefix, k});
            if (it != table.end())
            {
                prefix = it->second;
                continue;
            }
            output(prefix);
            if (freeEnt < 4096)
                table[{prefix, k}] = freeEnt++;
            else if (o.clearWhenFull)
            {
                ++s.fullTableClears;
                clearBlock();
            }
            prefix = k;
        }
        output(prefix);
    }
    if (o.endCode)
        output(eoi);
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
        Append(signature);
        Short(width);
        Short(height);
        Byte(globalTable.empty() ? 0 : 0x80 | TableBits(globalTable));
        Byte(0); // background
        Byte(0); // aspect
        Table(globalTable);
        return *this;
    }
    // A graphic-control extension; `blockSize` below 4 makes a damaged one.
    GifBuilder& GraphicControl(bool transparentFlag, int index, int blockSize = 4)
    {
        Byte('!');
        Byte(0xF9);
        Byte(blockSize);
        uint8_t data[4] = {uint8_t(transparentFlag ? 1 : 0), 0, 0, uint8_t(index)};
        for (int i = 0; i < blockSize; ++i)
            Byte(i < 4 ? data[i] : 0);
        Byte(0);
        return *this;
    }
    GifBuilder& Extension(int label, const std::string& text)
    {
        Byte('!');
        Byte(label);
        Byte(int(text.size()));
        Append(text);
        Byte(0);
        return *this;
    }
    GifBuilder& Descriptor(int width, int height, const std::vector<uint32_t>& localTable, bool interlaced)
    {
        Byte(',');
        Short(0);
        Short(0);
        Short(width);
        Short(height);
        Byte((localTable.empty() ? 0 : 0x80 | TableBits(localTable)) | (interlaced ? 0x40 : 0));
        Table(localTable);
        return *this;
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
        Byte(0);
        return *this;
    }
    GifBuilder& Trailer()
    {
        Byte(';');
        return *this;
    }
    GifBuilder& Byte(int b)
    {
        mBytes.push_back(uint8_t(b));
        return *this;
    }
    const std::vector<uint8_t>& Bytes() const { return mBytes; }

private:
    void Append(const std::string& s) { mBytes.insert(mBytes.end(), s.begin(), s.end()); }
    void Short(int v)
    {
        Byte(v & 0xFF);
        Byte((v >> 8) & 0xFF);
    }
    // Tables are padded to a power of two of at least 2 entries.
    static int TableBits(const std::vector<uint32_t>& t)
    {
        int bits = 0;
        while ((2u << bits) < t.size())
            ++bits;
        return bits;
    }
    void Table(const std::vector<uint32_t>& t)
    {
        if (t.empty())
            return;
        size_t entries = size_t(2) << TableBits(t);
        for (size_t i = 0; i < entries; ++i)
        {
            uint32_t c = i < t.size() ? t[i] : 0;
            Byte((c >> 16) & 0xFF);
            Byte((c >> 8) & 0xFF);
            Byte(c & 0xFF);
        }
    }

    std::vector<uint8_t> mBytes;
};

} // namespace TestGif
} // namespace Vaxo
