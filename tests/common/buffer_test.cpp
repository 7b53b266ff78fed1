#include "common/Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using Vaxo::Buffer;
using Bytes = std::vector<uint8_t>;

namespace
{

Bytes Contents(const Buffer& b)
{
    const uint8_t* p = b.GetDataPtr();
    return p == nullptr ? Bytes() : Bytes(p, p + b.GetDataLen());
}

Buffer FromBytes(const Bytes& bytes)
{
    Buffer b;
    b.SetData(bytes);
    return b;
}

// ---- Byte layouts of the typed writers ------------------------------------------------

// Name, writes, bytes and bit length.
const std::tuple<const char*, std::function<void(Buffer&)>, Bytes, int32_t> kLayouts[] = {
    {"BitsLsbFirst", [](Buffer& b) { b.WriteNumBits(5, 3), b.WriteNumBits(1, 1); }, {0x0D}, 4},
    {"UnalignedByteSpansTwoBytes",
     [](Buffer& b) { b.WriteNumBits(1, 1), b.WriteByte(0xFF); },
     {0xFF, 0x01},
     9},
    {"ThirtyTwoBits", [](Buffer& b) { b.WriteNumBits(-1, 32); }, {0xFF, 0xFF, 0xFF, 0xFF}, 32},
    {"ZeroBitsWriteNothing", [](Buffer& b) { b.WriteNumBits(7, 0); }, {}, 0},
    {"ShortLowByteFirst", [](Buffer& b) { b.WriteShort(-2); }, {0xFE, 0xFF}, 16},
    {"LongLittleEndian", [](Buffer& b) { b.WriteLong(0x12345678); }, {0x78, 0x56, 0x34, 0x12}, 32},
    {"BooleanTrueIsOneByte", [](Buffer& b) { b.WriteBoolean(true); }, {0x01}, 8},
    {"StringWithLength", [](Buffer& b) { b.WriteString("ab"); }, {0x02, 0x00, 'a', 'b'}, 32},
    {"LineEndsInCrLf", [](Buffer& b) { b.WriteLine("hi"); }, {'h', 'i', '\r', '\n'}, 32},
    {"BufferWithLongLength",
     [](Buffer& b) {
         b.WriteBuffer({1, 2, 3});
     },
     {0x03, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03},
     56},
    {"Utf8StartsAtNextByteAfterBitField",
     [](Buffer& b) { b.WriteNumBits(1, 3), b.WriteUTF8String(L"A"); },
     {0x01, 0x01, 0x00, 'A'},
     32},
    {"Utf8Boundaries",
     [](Buffer& b) {
         b.WriteUTF8String(std::wstring{0x7F, 0x80, 0x7FF, 0x800, 0x10000, 0x10FFFF});
     },
     {0x06, 0x00, 0x7F, 0xC2, 0x80, 0xDF, 0xBF, 0xE0, 0xA0, 0x80, 0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF,
      0xBF},
     18 * 8},
    {"Utf8UnreadableCharactersBecomeReplacement",
     [](Buffer& b) {
         b.WriteUTF8String(std::wstring{0xD800, 0xDFFF, 0xFFFE, 0xFFFF, 0x110000});
     },
     {0x05, 0x00, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD},
     17 * 8},
};

TEST(BufferLayout, WritersGiveExactBytesAndBitLength)
{
    for (const auto& [name, write, bytes, bits] : kLayouts)
    {
        Buffer b;
        write(b);
        EXPECT_EQ(Contents(b), bytes) << name;
        EXPECT_EQ(b.GetDataLenBits(), bits) << name;
    }
}

// ---- Reading ---------------------------------------------------------------------------

TEST(BufferRead, TypedRoundTrip)
{
    Buffer b;
    b.WriteNumBits(5, 3);
    b.WriteByte(0xA5);
    b.WriteShort(-12345); // read back sign-extended
    b.WriteLong(INT32_MIN);
    b.WriteUTF8String(L"caf\u00E9 \u20AC \U0001F600");
    b.WriteNumBits(-3, 5);
    EXPECT_EQ(b.ReadNumBits(3, false), 5);
    EXPECT_EQ(b.ReadByte(), 0xA5);
    EXPECT_EQ(b.ReadShort(), -12345);
    EXPECT_EQ(b.ReadLong(), INT32_MIN);
    EXPECT_EQ(b.ReadUTF8String(), L"caf\u00E9 \u20AC \U0001F600");
    EXPECT_EQ(b.ReadNumBits(5, true), -3);
    EXPECT_TRUE(b.AtEnd());
}

TEST(BufferRead, NumBitsTableClampedCountsAndUnwrittenBits)
{
    // Bytes, bit count, signed, value.
    const std::tuple<Bytes, int32_t, bool, int32_t> cases[] = {
        {{0x07}, 3, true, -1},
        {{0x07}, 3, false, 7},
        {{0x10}, 5, true, -16},
        {{0x07}, 4, true, 7},
        {{0x01, 0x00, 0x00, 0x80}, 32, false, static_cast<int32_t>(0x80000001u)},
        {{0xFF}, 0, true, 0},
        {{0xFF}, 1, true, -1},
    };
    for (const auto& [bytes, count, isSigned, expected] : cases)
    {
        Buffer b = FromBytes(bytes);
        EXPECT_EQ(b.ReadNumBits(count, isSigned), expected) << "count " << count;
    }
    Buffer b = FromBytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(b.ReadNumBits(-4, false), 0);
    EXPECT_EQ(b.ReadNumBits(40, false), -1); // 32 bits
    EXPECT_EQ(b.GetDataLenBits(), 40);
    b = Buffer();
    b.WriteNumBits(1, 1);
    EXPECT_EQ(b.ReadNumBits(8, false), 1);
    EXPECT_TRUE(b.PastEnd());
}

TEST(BufferRead, PastTheEndYieldsZerosWithoutMovingTheCursor)
{
    Buffer empty;
    EXPECT_EQ(empty.ReadShort(), 0);
    EXPECT_EQ(empty.ReadString(), "");
    EXPECT_EQ(empty.ReadUTF8String(), L"");
    EXPECT_EQ(empty.ReadLine(), "");
    EXPECT_TRUE(empty.AtEnd());
    EXPECT_FALSE(empty.PastEnd());
    Buffer b = FromBytes({0xAB});
    EXPECT_EQ(b.ReadByte(), 0xAB);
    EXPECT_EQ(b.ReadByte(), 0);
    EXPECT_EQ(b.ReadLong(), 0);
    EXPECT_TRUE(b.AtEnd());
    EXPECT_FALSE(b.PastEnd());
    // An unaligned byte needs the second stored byte.
    Buffer c = FromBytes({0xAB});
    c.ReadNumBits(4, false);
    EXPECT_EQ(c.ReadByte(), 0);
    // Bit reads stop at the last stored byte; unread bits are 0.
    EXPECT_EQ(c.ReadNumBits(16, false), 0x0A);
    EXPECT_TRUE(c.AtEnd());
}

TEST(BufferRead, BooleansStringsAndBuffersReadOnlyWhatIsThere)
{
    Buffer b = FromBytes({0x02, 0x00, 0x80});
    EXPECT_TRUE(b.ReadBoolean());
    EXPECT_FALSE(b.ReadBoolean());
    EXPECT_TRUE(b.ReadBoolean());
    Buffer negative = FromBytes({0xFF, 0xFF, 'x'});
    EXPECT_EQ(negative.ReadString(), "");
    EXPECT_EQ(negative.ReadByte(), 'x');
    Buffer longer = FromBytes({0x04, 0x00, 'a', 'b'});
    EXPECT_EQ(longer.ReadString(), std::string("ab\0\0", 4)); // padded with zeros
    EXPECT_TRUE(longer.AtEnd());
    Buffer huge = FromBytes({0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
    Bytes data{42};
    huge.ReadBuffer(&data);
    EXPECT_EQ(data, (Bytes{1, 2, 3}));
    EXPECT_TRUE(huge.AtEnd());
    negative = FromBytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 2});
    negative.ReadBuffer(&data);
    EXPECT_TRUE(data.empty());
    Buffer unaligned;
    unaligned.WriteNumBits(0, 4);
    unaligned.WriteBuffer({0x11, 0x22});
    unaligned.ReadNumBits(4, false);
    unaligned.ReadBuffer(&data);
    EXPECT_EQ(data, (Bytes{0x11, 0x22}));
}

TEST(BufferRead, LinesAndUtf8StringsStopWhereTheirDataEnds)
{
    const std::string text("ab\r\ncd\na\rb\0tail", 15);
    Buffer b = FromBytes(Bytes(text.begin(), text.end()));
    EXPECT_EQ(b.ReadLine(), "ab");
    EXPECT_EQ(b.ReadLine(), "cd");
    EXPECT_EQ(b.ReadLine(), "ab");
    EXPECT_EQ(b.ReadLine(), "tail");
    EXPECT_TRUE(b.AtEnd());
    // Bytes, the characters decoded, the byte after them.
    const std::tuple<Bytes, std::wstring, int> cases[] = {{{0x03, 0x00, 'a', 0xC0, 0x80, 'b'}, L"a", 0xC0},
                                                          {{0x02, 0x00, 'a', 'b', 'c'}, L"ab", 'c'},
                                                          {{0x09, 0x00, 'a', 0xE2, 0x82}, L"a", 0xE2}};
    for (const auto& [bytes, text, next] : cases)
    {
        Buffer b = FromBytes(bytes);
        EXPECT_EQ(b.ReadUTF8String(), text);
        EXPECT_EQ(b.ReadByte(), next);
    }
}

// ---- State -----------------------------------------------------------------------------

TEST(BufferState, SetDataClearSeekFrontAndTheWriteCursor)
{
    Buffer b = FromBytes({1, 2, 3});
    EXPECT_EQ(b.ReadByte(), 1);
    b.SetData(Bytes{7, 8, 9, 10});
    EXPECT_EQ(b.GetDataLenBits(), 32);
    EXPECT_EQ(b.ReadByte(), 8);
    b.SetData(nullptr, 0);
    EXPECT_EQ(b.GetDataPtr(), nullptr);
    EXPECT_EQ(b.GetDataLenBits(), 0);
    b = Buffer();
    b.WriteLong(5);
    b.ReadByte();
    b.SeekFront();
    EXPECT_EQ(b.ReadByte(), 5);
    b.Clear();
    EXPECT_EQ(b.GetDataLenBits(), 0);
    EXPECT_TRUE(b.AtEnd());
    b.WriteByte(3);
    EXPECT_EQ(Contents(b), Bytes{3});
    EXPECT_EQ(b.ReadByte(), 3);
    // The write cursor keeps its value across SetData; a shorter buffer must
    // not make the next write go out of bounds.
    b = Buffer();
    b.WriteLong(0);
    b.WriteNumBits(1, 3);
    b.SetData(Bytes{0xAA});
    b.WriteNumBits(1, 1);
    b.WriteByte(0x5A);
    EXPECT_EQ(b.GetDataLenBits(), 44);
    ASSERT_EQ(b.GetDataLen(), 6);
    EXPECT_EQ(b.GetDataPtr()[0], 0xAA);
    EXPECT_EQ(b.GetDataPtr()[4], (0x5A << 4 | 0x08) & 0xFF);
    EXPECT_EQ(b.GetDataPtr()[5], 0x5A >> 4);
}

TEST(BufferState, BitsRequiredTable)
{
    // Value, signed, bits.
    const std::tuple<int32_t, bool, int32_t> cases[] = {
        {0, false, 0}, {1, false, 1},          {255, false, 8},       {256, false, 9},
        {-1, true, 1}, {-1, false, 0},         {-8, true, 4},         {-9, true, 5},
        {7, true, 4},  {INT32_MAX, false, 31}, {INT32_MIN, true, 32},
    };
    for (const auto& [value, isSigned, bits] : cases)
        EXPECT_EQ(Buffer::GetBitsRequired(value, isSigned), bits) << value << " signed " << isSigned;
}

// ---- UTF-8 decoding ------------------------------------------------------------------

TEST(BufferUtf8, WholeContentDecodingTableIgnoresTheReadCursor)
{
    const std::tuple<const char*, Bytes, std::wstring> cases[] = {
        {"euro", {0xE2, 0x82, 0xAC}, L"\u20AC"},
        {"overlong two-byte", {0xC0, 0x80}, L""},
        {"overlong C1", {'a', 0xC1, 0xBF}, L"a"},
        {"surrogate", {0xED, 0xA0, 0x80}, L""},
        {"U+FFFE", {0xEF, 0xBF, 0xBE}, L""},
        {"lone continuation", {0x80}, L""},
        {"FE and FF", {'a', 0xFE}, L"a"},
        {"truncated", {'a', 'b', 0xE2, 0x82}, L"ab"},
        {"bad continuation", {0xC3, 'A'}, L""},
        {"overlong three-byte", {0xE0, 0x9F, 0xBF}, L""},
        {"shortest three-byte", {0xE0, 0xA0, 0x80}, L"\u0800"},
        {"overlong four-byte", {0xF0, 0x8F, 0xBF, 0xBF}, L""},
        {"five-byte above U+10FFFF", {0xF8, 0x88, 0x80, 0x80, 0x80}, std::wstring(1, wchar_t(0x200000))},
        {"overlong five-byte", {0xF8, 0x87, 0xBF, 0xBF, 0xBF}, L""},
        {"six-byte", {0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}, std::wstring(1, wchar_t(0x4000000))},
        {"overlong six-byte", {0xFC, 0x83, 0xBF, 0xBF, 0xBF, 0xBF}, L""},
        {"byte-order mark dropped", {0xEF, 0xBB, 0xBF, 'h', 'i'}, L"hi"},
        {"only the first mark dropped", {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF}, L"\uFEFF"},
        {"zero byte is a character", {'a', 0x00, 'b'}, std::wstring(L"a\0b", 3)},
    };
    for (const auto& [name, bytes, expected] : cases)
        EXPECT_EQ(FromBytes(bytes).UTF8ToWideString(), expected) << name;
    // The read cursor is neither used nor moved.
    Buffer b = FromBytes({'a', 'b'});
    b.ReadByte();
    EXPECT_EQ(b.UTF8ToWideString(), L"ab");
    EXPECT_EQ(b.ReadByte(), 'b');
}

// ---- Web text form -------------------------------------------------------------------

TEST(BufferWeb, ExamplesAndDecodingTable)
{
    Buffer b;
    EXPECT_EQ(b.ToWebString(), "00000000");
    b.WriteByte(0x41);
    EXPECT_EQ(b.ToWebString(), "00000008--");
    b.WriteByte(3);
    b.ReadByte();
    b.ToWebString();
    EXPECT_EQ(b.ReadByte(), 3);
    b = Buffer();
    b.WriteNumBits(0xFFF, 12);
    EXPECT_EQ(b.ToWebString(), "0000000Czz"); // a last group of fewer than six bits
    // Text, then bytes and bit length decoded.
    const std::tuple<const char*, Bytes, int32_t> cases[] = {
        {"0000000", {}, 0},               // shorter than the header
        {"00000008--", {0x41}, 8},        //
        {"0000000c++", {0x00, 0x00}, 12}, // "+" also means 0, lower-case hex
        {"0000000C!!", {0xFF, 0x0F}, 12}, // outside the alphabet: all bits set
        {"0000000Czz", {0xFF, 0x0F}, 12}, // "z" is 63
        {"xx00000C--", {0x41, 0x00}, 12}, // non-hex header digits count as 0
        {"FFFFFFFF--", {0x41, 0x00}, 12}, // header claims more than the text holds
        {"00000004-----", {0x01}, 4},     // extra characters are ignored
    };
    for (const auto& [text, bytes, bits] : cases)
    {
        Buffer b;
        b.WriteByte(0x99);
        b.FromWebString(text);
        EXPECT_EQ(Contents(b), bytes) << text;
        EXPECT_EQ(b.GetDataLenBits(), bits) << text;
        EXPECT_FALSE(b.PastEnd());
    }
}

// ---- CRC-32 --------------------------------------------------------------------------

// Independent bit-at-a-time form of the same CRC.
uint32_t BitwiseCrc(const Bytes& data, uint32_t crc)
{
    for (uint8_t byte : data)
    {
        crc ^= uint32_t(byte) << 24;
        for (int i = 0; i < 8; i++)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

TEST(BufferCrc, CheckValuesAndTheBitwiseFormForEveryLengthAndSeed)
{
    const std::string check = "123456789";
    Buffer b = FromBytes(Bytes(check.begin(), check.end()));
    EXPECT_EQ(b.GetCRC32(0), 0x89A1897Fu);
    EXPECT_EQ(b.GetCRC32(0xFFFFFFFFu), 0x0376E6E7u);
    EXPECT_EQ(b.GetCRC32(), 0x89A1897Fu);
    std::mt19937 rng(11);
    std::vector<size_t> lengths = {1000, 4096, 4109, 65543};
    for (size_t length = 0; length < 300; length++)
        lengths.push_back(length);
    for (size_t length : lengths)
    {
        Bytes data(length);
        for (uint8_t& byte : data)
            byte = static_cast<uint8_t>(rng());
        for (uint32_t seed : {0u, 0xFFFFFFFFu, 0x80000001u, static_cast<uint32_t>(rng())})
            EXPECT_EQ(FromBytes(data).GetCRC32(seed), BitwiseCrc(data, seed)) << "length " << length;
    }
    // The unwritten bits of the last byte count as zeros.
    b = Buffer();
    b.WriteNumBits(1, 1);
    EXPECT_EQ(b.GetCRC32(0), BitwiseCrc({0x01}, 0));
}

// ---- Signature -----------------------------------------------------------------------

TEST(BufferHmac, SixteenBytesThatDependOnEveryByte)
{
    Buffer a = FromBytes({'p', 'r', 'o', 'p', 's'});
    Buffer sig = a.GetHMAC();
    EXPECT_EQ(sig.GetDataLen(), 16);
    EXPECT_EQ(Contents(a.GetHMAC()), Contents(sig));
    Buffer b = FromBytes({'p', 'r', 'o', 'p', 't'});
    EXPECT_NE(Contents(b.GetHMAC()), Contents(sig));
    EXPECT_EQ(Buffer().GetHMAC().GetDataLen(), 0);
}

} // namespace
