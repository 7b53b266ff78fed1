#include "common/Base64.h"

#include <gtest/gtest.h>

#include <memory>

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
const std::pair<const char*, const char*> kRfc4648[] = {
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
    for (const auto& [bytes, text] : kRfc4648)
    {
        EXPECT_EQ(Encode(bytes), text) << bytes;
        if (*text == '\0') // an empty text decodes to null, below
            continue;
        EXPECT_EQ(Decode(text), bytes) << text;
    }
    EXPECT_EQ(Encode(std::string("\xFB\xFF", 2)), "+/8=");
    EXPECT_EQ(Encode(std::string(3, '\0')), "AAAA");
    EXPECT_EQ(Encode(std::string(100, '\xFF')), std::string(132, '/') + "/w=="); // no line breaks
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
    EXPECT_EQ(Decode("+/8="), "\xFB\xFF");
    EXPECT_EQ(Decode("!! ~"), "\xFF\xFF\xFF");
    EXPECT_EQ(Decode("A=AA"), std::string("\x03\xF0\x00", 3));
    // Each "=" test stands on its own: a padding sign only second-last still counts.
    EXPECT_EQ(Decode("AA=A"), std::string("\x00\x0F", 2));
}

} // namespace
