#include "common/Buffer.h"

#include "common/Helpers.h"
#include "common/md5.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#if defined(__x86_64__) && defined(__clang__)
#include <immintrin.h>
#endif

namespace Vaxo
{

static_assert(sizeof(wchar_t) == 4, "wide strings hold 32-bit characters");

namespace
{

const char kWebAlphabet[] = ".-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Signs the properties files; a build must use the key that signed its files.
const unsigned char kSigningKey[64] = {
    0x5A, 0x1C, 0x93, 0xE7, 0x2B, 0x70, 0xC4, 0x0F, 0x81, 0x3E, 0xD9, 0x66, 0xA2, 0x17, 0x4B, 0xF8,
    0x0C, 0xB5, 0x6E, 0x29, 0x97, 0xD3, 0x41, 0x8A, 0xFC, 0x35, 0x52, 0xEB, 0x18, 0xC0, 0x7D, 0x04,
    0xA9, 0x63, 0x2F, 0xB1, 0xDE, 0x48, 0x95, 0x0A, 0x77, 0xE2, 0x1B, 0xCC, 0x59, 0x86, 0x30, 0xF1,
    0x6B, 0x24, 0xBA, 0x0D, 0xE5, 0x9E, 0x47, 0x72, 0x13, 0xAF, 0xD8, 0x3B, 0x80, 0x5C, 0xC7, 0x2E,
};

// Slicing-by-16 tables: table[0] is the byte-at-a-time table, table[k][i] the
// CRC of byte i followed by k zero bytes. Results equal the plain method's.
struct CrcTables
{
    uint32_t table[16][256];
    // x^128, x^192, x^512 and x^576 mod the polynomial: the folding constants
    // of the carry-less multiply path.
    uint64_t fold128, fold192, fold512, fold576;
    bool hasClmul = false;

    CrcTables()
    {
        for (uint32_t i = 0; i < 256; i++)
        {
            uint32_t c = i << 24;
            for (int bit = 0; bit < 8; bit++)
                c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : (c << 1);
            table[0][i] = c;
        }
        for (int k = 1; k < 16; k++)
            for (uint32_t i = 0; i < 256; i++)
                table[k][i] = (table[k - 1][i] << 8) ^ table[0][table[k - 1][i] >> 24];
        fold128 = XPowMod(128);
        fold192 = XPowMod(192);
        fold512 = XPowMod(512);
        fold576 = XPowMod(576);
#if defined(__x86_64__) && defined(__clang__)
        __builtin_cpu_init();
        hasClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
#endif
    }

    static uint64_t XPowMod(int power)
    {
        uint64_t r = 1;
        for (int i = 0; i < power; i++)
        {
            r <<= 1;
            if (r & (1ull << 32))
                r ^= 0x104C11DB7ull;
        }
        return r;
    }
};

// Built on the first call and never destroyed.
const CrcTables& GetCrcTables()
{
    static const CrcTables* tables = new CrcTables();
    return *tables;
}

inline uint32_t LoadBigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint32_t CrcTableUpdate(const CrcTables& t, uint32_t crc, const uint8_t* p, size_t n)
{
    for (; n >= 16; p += 16, n -= 16)
    {
        uint32_t a = crc ^ LoadBigEndian32(p);
        uint32_t b = LoadBigEndian32(p + 4);
        uint32_t c = LoadBigEndian32(p + 8);
        uint32_t d = LoadBigEndian32(p + 12);
        crc = t.table[15][a >> 24] ^ t.table[14][(a >> 16) & 0xFF] ^ t.table[13][(a >> 8) & 0xFF] ^
              t.table[12][a & 0xFF] ^ t.table[11][b >> 24] ^ t.table[10][(b >> 16) & 0xFF] ^
              t.table[9][(b >> 8) & 0xFF] ^ t.table[8][b & 0xFF] ^ t.table[7][c >> 24] ^
              t.table[6][(c >> 16) & 0xFF] ^ t.table[5][(c >> 8) & 0xFF] ^ t.table[4][c & 0xFF] ^
              t.table[3][d >> 24] ^ t.table[2][(d >> 16) & 0xFF] ^ t.table[1][(d >> 8) & 0xFF] ^
              t.table[0][d & 0xFF];
    }
    for (; n > 0; p++, n--)
        crc = (crc << 8) ^ t.table[0][(crc >> 24) ^ *p];
    return crc;
}

#if defined(__x86_64__) && defined(__clang__)
// Folding with carry-less multiplies. A 16-byte block read most significant
// byte first is a polynomial X of degree < 128, and the CRC depends on the
// message only modulo the CRC polynomial P. Moving X past the next block is
// X * x^128 = H * x^192 + L * x^128 (H, L its 64-bit halves), which stays
// below degree 96 once x^192 and x^128 are reduced mod P. All full blocks
// fold into one 128-bit value with the same remainder; its 16 bytes and the
// tail then go through the table. Needs at least 64 bytes.
#define VAXO_CLMUL __attribute__((target("pclmul,ssse3"), always_inline)) inline

VAXO_CLMUL __m128i ClmulReverse()
{
    return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// 16 bytes as one 128-bit number, the first byte most significant.
VAXO_CLMUL __m128i ClmulLoad(const uint8_t* p, __m128i reverse)
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// Moves x forward over the distance k was made for: its high half times k's
// high constant xor its low half times k's low constant.
VAXO_CLMUL __m128i ClmulFold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00));
}

__attribute__((target("pclmul,ssse3"))) uint32_t CrcClmulUpdate(const CrcTables& t, uint32_t crc,
                                                                const uint8_t* p, size_t n)
{
    const __m128i reverse = ClmulReverse();

    // The seed stands in front of the message as its top 32 bits.
    __m128i x0 = _mm_xor_si128(ClmulLoad(p, reverse), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    __m128i x1 = ClmulLoad(p + 16, reverse), x2 = ClmulLoad(p + 32, reverse), x3 = ClmulLoad(p + 48, reverse);
    p += 64;
    n -= 64;
    const __m128i k64 = _mm_set_epi64x(static_cast<long long>(t.fold576), static_cast<long long>(t.fold512));
    for (; n >= 64; p += 64, n -= 64)
    {
        x0 = _mm_xor_si128(ClmulFold(x0, k64), ClmulLoad(p, reverse));
        x1 = _mm_xor_si128(ClmulFold(x1, k64), ClmulLoad(p + 16, reverse));
        x2 = _mm_xor_si128(ClmulFold(x2, k64), ClmulLoad(p + 32, reverse));
        x3 = _mm_xor_si128(ClmulFold(x3, k64), ClmulLoad(p + 48, reverse));
    }
    const __m128i k16 = _mm_set_epi64x(static_cast<long long>(t.fold192), static_cast<long long>(t.fold128));
    x1 = _mm_xor_si128(x1, ClmulFold(x0, k16));
    x2 = _mm_xor_si128(x2, ClmulFold(x1, k16));
    x3 = _mm_xor_si128(x3, ClmulFold(x2, k16));
    for (; n >= 16; p += 16, n -= 16)
        x3 = _mm_xor_si128(ClmulFold(x3, k16), ClmulLoad(p, reverse));

    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), _mm_shuffle_epi8(x3, reverse));
    return CrcTableUpdate(t, CrcTableUpdate(t, 0, rest, 16), p, n);
}
#undef VAXO_CLMUL
#endif

// Decodes one UTF-8 character from at most `available` bytes. Returns the
// bytes used (1 to 6), or 0 on any error with nothing moved.
int32_t GetUTF8Char(const char** text, int32_t available, wchar_t* out)
{
    if (available <= 0)
        return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(*text);
    uint32_t lead = p[0];
    if (lead < 0x80)
    {
        *out = static_cast<wchar_t>(lead);
        *text += 1;
        return 1;
    }
    int32_t follow;
    uint32_t value;
    if ((lead & 0xC0) == 0x80 || lead >= 0xFE)
        return 0;
    else if ((lead & 0xE0) == 0xC0)
        follow = 1, value = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0)
        follow = 2, value = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0)
        follow = 3, value = lead & 0x07;
    else if ((lead & 0xFC) == 0xF8)
        follow = 4, value = lead & 0x03;
    else
        follow = 5, value = lead & 0x01;

    if (follow + 1 > available)
        return 0;
    for (int32_t i = 1; i <= follow; i++)
    {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }

    // Overlong forms: the shortest form is the only valid one.
    uint32_t second = p[1];
    bool leadEmpty = (lead & (0x7F >> (follow + 1))) == 0;
    switch (follow)
    {
    case 1:
        if (lead == 0xC0 || lead == 0xC1)
            return 0;
        break;
    case 2:
        if (leadEmpty && second < 0xA0)
            return 0;
        break;
    case 3:
        if (leadEmpty && second < 0x90)
            return 0;
        break;
    case 4:
        if (leadEmpty && second < 0x88)
            return 0;
        break;
    default:
        if (leadEmpty && second < 0x84)
            return 0;
        break;
    }
    if ((value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF)
        return 0;

    *out = static_cast<wchar_t>(value);
    *text += follow + 1;
    return follow + 1;
}

int32_t WebAlphabetValue(char c)
{
    const char* pos = c == '\0' ? nullptr : strchr(kWebAlphabet, c);
    if (pos != nullptr)
        return static_cast<int32_t>(pos - kWebAlphabet);
    return c == '+' ? 0 : -1;
}

} // namespace

void Buffer::Clear()
{
    mData.clear();
    mDataBitSize = 0;
    mReadBitPos = 0;
    mWriteBitPos = 0;
}

void Buffer::SetData(const std::vector<uint8_t>& data)
{
    SetData(data.data(), static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX)));
}

void Buffer::SetData(const uint8_t* bytes, int32_t count)
{
    if (count < 0 || bytes == nullptr)
        count = 0;
    // Bit counts are 32-bit, which caps a buffer at 256 MB.
    if (count > INT32_MAX / 8)
        throw std::length_error("Buffer::SetData: more than 256 MB");
    mData.assign(bytes, bytes + count);
    mDataBitSize = count * 8;
}

int32_t Buffer::GetBitsRequired(int32_t value, bool isSigned)
{
    uint32_t magnitude = value < 0 ? ~static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    int32_t bits = 0;
    while (bits < 32 && (magnitude >> bits) != 0)
        bits++;
    return isSigned ? bits + 1 : bits;
}

void Buffer::EnsureWriteByte(int32_t index)
{
    if (static_cast<size_t>(index) >= mData.size())
        mData.resize(static_cast<size_t>(index) + 1, 0);
}

void Buffer::AdvanceWrite(int32_t bits)
{
    if (mWriteBitPos > INT32_MAX - bits)
        throw std::length_error("Buffer: more than 256 MB written");
    mWriteBitPos += bits;
    if (mWriteBitPos > mDataBitSize)
        mDataBitSize = mWriteBitPos;
}

void Buffer::WriteNumBits(int32_t value, int32_t count)
{
    count = std::clamp(count, 0, 32);
    uint32_t bits = static_cast<uint32_t>(value);
    for (int32_t i = 0; i < count; i++)
    {
        int32_t index = mWriteBitPos / 8;
        int32_t shift = mWriteBitPos % 8;
        EnsureWriteByte(index);
        // A byte boundary starts a fresh byte.
        if (shift == 0)
            mData[index] = 0;
        if ((bits >> i) & 1u)
            mData[index] |= static_cast<uint8_t>(1u << shift);
        AdvanceWrite(1);
    }
}

void Buffer::WriteByte(uint8_t value)
{
    int32_t index = mWriteBitPos / 8;
    int32_t shift = mWriteBitPos % 8;
    EnsureWriteByte(index);
    if (shift == 0)
    {
        mData[index] = value;
    }
    else
    {
        EnsureWriteByte(index + 1);
        mData[index] |= static_cast<uint8_t>(value << shift);
        mData[index + 1] = static_cast<uint8_t>(value >> (8 - shift));
    }
    AdvanceWrite(8);
}

void Buffer::WriteBytes(const uint8_t* bytes, int32_t count)
{
    for (int32_t i = 0; i < count; i++)
        WriteByte(bytes[i]);
}

void Buffer::WriteShort(int16_t value)
{
    uint16_t v = static_cast<uint16_t>(value);
    WriteByte(static_cast<uint8_t>(v));
    WriteByte(static_cast<uint8_t>(v >> 8));
}

void Buffer::WriteLong(int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++)
        WriteByte(static_cast<uint8_t>(v >> (i * 8)));
}

void Buffer::WriteBoolean(bool value)
{
    WriteByte(value ? 1 : 0);
}

void Buffer::WriteString(const std::string& text)
{
    // Only the low 16 bits of a longer length fit; callers keep strings short.
    WriteShort(static_cast<int16_t>(static_cast<uint16_t>(text.size())));
    WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

void Buffer::WriteUTF8String(const std::wstring& text)
{
    if (mWriteBitPos % 8 != 0)
        AdvanceWrite(8 - mWriteBitPos % 8);
    WriteShort(static_cast<int16_t>(static_cast<uint16_t>(text.size())));
    for (wchar_t wc : text)
    {
        uint32_t c = static_cast<uint32_t>(wc);
        // The reader refuses these and would stop there, misaligning every
        // later field; the replacement character keeps the count honest.
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF || c > 0x10FFFF)
            c = 0xFFFD;
        if (c <= 0x7F)
        {
            WriteByte(static_cast<uint8_t>(c));
        }
        else if (c <= 0x7FF)
        {
            WriteByte(static_cast<uint8_t>(0xC0 + (c >> 6)));
            WriteByte(static_cast<uint8_t>(0x80 + (c & 0x3F)));
        }
        else if (c <= 0xFFFF)
        {
            WriteByte(static_cast<uint8_t>(0xE0 + (c >> 12)));
            WriteByte(static_cast<uint8_t>(0x80 + ((c >> 6) & 0x3F)));
            WriteByte(static_cast<uint8_t>(0x80 + (c & 0x3F)));
        }
        else
        {
            WriteByte(static_cast<uint8_t>(0xF0 + (c >> 18)));
            WriteByte(static_cast<uint8_t>(0x80 + ((c >> 12) & 0x3F)));
            WriteByte(static_cast<uint8_t>(0x80 + ((c >> 6) & 0x3F)));
            WriteByte(static_cast<uint8_t>(0x80 + (c & 0x3F)));
        }
    }
}

void Buffer::WriteLine(const std::string& text)
{
    WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
    WriteByte('\r');
    WriteByte('\n');
}

void Buffer::WriteBuffer(const std::vector<uint8_t>& data)
{
    WriteLong(static_cast<int32_t>(data.size()));
    WriteBytes(data.data(), static_cast<int32_t>(data.size()));
}

int32_t Buffer::ReadNumBits(int32_t count, bool isSigned) const
{
    count = std::clamp(count, 0, 32);
    uint32_t value = 0;
    for (int32_t i = 0; i < count; i++)
    {
        size_t index = static_cast<size_t>(mReadBitPos / 8);
        if (index >= mData.size())
            break;
        if ((mData[index] >> (mReadBitPos % 8)) & 1u)
            value |= 1u << i;
        mReadBitPos++;
    }
    if (isSigned && count > 0 && count < 32 && ((value >> (count - 1)) & 1u))
        value |= ~0u << count;
    return static_cast<int32_t>(value);
}

uint8_t Buffer::ReadByte() const
{
    size_t last = static_cast<size_t>((mReadBitPos + 7) / 8);
    if (last >= mData.size())
        return 0;
    size_t index = static_cast<size_t>(mReadBitPos / 8);
    int32_t shift = mReadBitPos % 8;
    uint32_t value = mData[index] >> shift;
    if (shift != 0)
        value |= uint32_t(mData[index + 1]) << (8 - shift);
    mReadBitPos += 8;
    return static_cast<uint8_t>(value);
}

void Buffer::ReadBytes(uint8_t* bytes, int32_t count) const
{
    for (int32_t i = 0; i < count; i++)
        bytes[i] = ReadByte();
}

int16_t Buffer::ReadShort() const
{
    uint32_t lo = ReadByte();
    uint32_t hi = ReadByte();
    return static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8)));
}

int32_t Buffer::ReadLong() const
{
    uint32_t value = 0;
    for (int i = 0; i < 4; i++)
        value |= uint32_t(ReadByte()) << (i * 8);
    return static_cast<int32_t>(value);
}

bool Buffer::ReadBoolean() const
{
    return ReadByte() != 0;
}

std::string Buffer::ReadString() const
{
    int32_t length = ReadShort();
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    ReadBytes(reinterpret_cast<uint8_t*>(&text[0]), length);
    return text;
}

std::wstring Buffer::ReadUTF8String() const
{
    if (mReadBitPos % 8 != 0)
        mReadBitPos += 8 - mReadBitPos % 8;
    int32_t count = ReadShort();
    std::wstring text;
    int32_t start = mReadBitPos / 8;
    int32_t available = std::min<int32_t>(GetDataLen(), static_cast<int32_t>(mData.size())) - start;
    if (count <= 0 || available <= 0)
        return text;
    const char* begin = reinterpret_cast<const char*>(mData.data() + start);
    const char* p = begin;
    wchar_t c;
    for (int32_t i = 0; i < count; i++)
    {
        int32_t used = GetUTF8Char(&p, available, &c);
        if (used == 0)
            break;
        available -= used;
        text.push_back(c);
    }
    mReadBitPos += static_cast<int32_t>(p - begin) * 8;
    return text;
}

std::string Buffer::ReadLine() const
{
    std::string line;
    for (;;)
    {
        uint8_t c = ReadByte();
        if (c == '\n' || c == 0)
            break;
        if (c != '\r')
            line.push_back(static_cast<char>(c));
    }
    return line;
}

void Buffer::ReadBuffer(std::vector<uint8_t>* data) const
{
    data->clear();
    int32_t length = ReadLong();
    // A damaged file can claim any length: only the bytes there are read.
    int64_t left = static_cast<int64_t>(mData.size()) - (static_cast<int64_t>(mReadBitPos) + 7) / 8;
    int64_t count = std::min<int64_t>(length, left);
    if (count <= 0)
        return;
    data->resize(static_cast<size_t>(count));
    ReadBytes(data->data(), static_cast<int32_t>(count));
}

std::wstring Buffer::UTF8ToWideString() const
{
    std::wstring text;
    int32_t available = std::min<int32_t>(GetDataLen(), static_cast<int32_t>(mData.size()));
    if (available <= 0)
        return text;
    const char* p = reinterpret_cast<const char*>(mData.data());
    wchar_t c;
    while (available > 0)
    {
        int32_t used = GetUTF8Char(&p, available, &c);
        if (used == 0)
            break;
        available -= used;
        text.push_back(c);
    }
    if (!text.empty() && text[0] == 0xFEFF)
        text.erase(0, 1);
    return text;
}

std::string Buffer::ToWebString() const
{
    char header[16];
    snprintf(header, sizeof(header), "%08X", static_cast<uint32_t>(mWriteBitPos));
    std::string text(header);
    int32_t saved = mReadBitPos;
    mReadBitPos = 0;
    int64_t groups = (static_cast<int64_t>(mWriteBitPos) + 5) / 6;
    text.reserve(text.size() + static_cast<size_t>(groups));
    for (int64_t i = 0; i < groups; i++)
        text.push_back(kWebAlphabet[ReadNumBits(6, false)]);
    mReadBitPos = saved;
    return text;
}

void Buffer::FromWebString(const std::string& text)
{
    Clear();
    if (text.size() < 8)
        return;
    uint32_t bitsLeft = 0;
    for (int i = 0; i < 8; i++)
        bitsLeft = (bitsLeft << 4) | static_cast<uint32_t>(HexDigitValue(text[i]));
    // The header may claim more bits than the text holds: the text decides.
    for (size_t i = 8; i < text.size() && bitsLeft > 0; i++)
    {
        int32_t count = static_cast<int32_t>(std::min<uint32_t>(6, bitsLeft));
        WriteNumBits(WebAlphabetValue(text[i]), count);
        bitsLeft -= static_cast<uint32_t>(count);
    }
    mReadBitPos = 0;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t seed)
{
    const CrcTables& t = GetCrcTables();
#if defined(__x86_64__) && defined(__clang__)
    if (t.hasClmul && size >= 64)
        return CrcClmulUpdate(t, seed, data, size);
#endif
    return CrcTableUpdate(t, seed, data, size);
}

uint32_t Buffer::GetCRC32(uint32_t seed) const
{
    return Crc32(mData.data(), mData.size(), seed);
}

Buffer Buffer::GetHMAC() const
{
    Buffer result;
    if (mData.empty())
        return result;
    unsigned char digest[16];
    md5_hmac(kSigningKey, sizeof(kSigningKey), mData.data(), static_cast<int32_t>(mData.size()), digest);
    result.WriteBytes(digest, 16);
    return result;
}

} // namespace Vaxo
