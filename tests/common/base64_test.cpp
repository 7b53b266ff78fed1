#include "common/Base64.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace Vaxo;

namespace
{

std::string Encode(const std::string& bytes)
{
    std::string out = "left over";
    Base64Encode(bytes.data(), int(bytes.size()), out);
    return out;
}

// Decoded bytes and the reported length; "<null>" when decoding refused.
std::string Decode(const std::string& text)
{
    int length = -99;
    std::unique_ptr<unsigned char[]> bytes(Base64Decode(text, length));
    if (!bytes)
        return length == -99 ? "<null>" : "<null, length changed>";
    return std::string(reinterpret_cast<const char*>(bytes.get()), size_t(length));
}

// RFC 4648, section 10.
const struct
{
    const char* bytes;
    const char* text;
} kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64, VectorsExamplesAndRefusedTexts)
{
    for (const auto& v : kRfc4648)
    {
        EXPECT_EQ(Encode(v.bytes), v.text) << v.bytes;
        if (*v.text == '\0') // an empty text decodes to null, below
            continue;
        EXPECT_EQ(Decode(v.text), v.bytes) << v.text;
    }
    EXPECT_EQ(Encode(std::string("\xFB\xFF", 2)), "+/8=");
    EXPECT_EQ(Encode(std::string(3, '\0')), "AAAA");
    std::string out = "keep";
    Base64Encode("abc", -1, out);
    EXPECT_EQ(out, "");
    const unsigned char three[3] = {0x4D, 0x61, 0x6E};
    Base64EncodeChunk(three, out); // appends
    Base64EncodeChunk(three, out);
    EXPECT_EQ(out, "TWFuTWFu");
    EXPECT_EQ(Decode(""), "<null>");
    EXPECT_EQ(Decode("QQ==Q"), "<null>");
    EXPECT_EQ(Decode("QUJ"), "<null>");
    EXPECT_EQ(Decode("////"), "\xFF\xFF\xFF");
    EXPECT_EQ(Decode("!! ~"), "\xFF\xFF\xFF");
    EXPECT_EQ(Decode("A=AA"), std::string("\x03\xF0\x00", 3));
    // Each "=" test stands on its own: a padding sign only second-last still counts.
    EXPECT_EQ(Decode("AA=A"), std::string("\x00\x0F", 2));
}

TEST(Base64, RoundTripsEveryLengthAndByte)
{
    std::mt19937 mt(77);
    for (int length = 1; length < 200; ++length)
    {
        std::string bytes(size_t(length), '\0');
        for (char& c : bytes)
            c = char(mt() & 0xFF);
        const std::string text = Encode(bytes);
        EXPECT_EQ(text.size(), size_t((length + 2) / 3 * 4));
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(Decode(text), bytes) << length;
    }
}

} // namespace
