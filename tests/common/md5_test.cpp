// MD5 and HMAC-MD5 against their RFC suites, and base 64 against its RFC vectors.
#include "common/Base64.h"
#include "common/md5.h"
#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

using namespace Vaxo;

namespace
{

std::string Hex(const unsigned char digest[16])
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; i++)
    {
        out.push_back(digits[digest[i] >> 4]);
        out.push_back(digits[digest[i] & 15]);
    }
    return out;
}

const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}
int32_t Len(const std::string& s)
{
    return static_cast<int32_t>(s.size());
}

// RFC 1321, appendix A.5.
const std::pair<std::string, const char*> kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, Rfc1321SuiteStreamingAndAMillionAs)
{
    for (const auto& [input, digest] : kRfc1321)
    {
        unsigned char out[16];
        Vaxo::md5(Bytes(input), Len(input), out);
        EXPECT_EQ(Hex(out), digest) << '"' << input << '"';
    }
    EXPECT_EQ(Vaxo::md5_self_test(0), 0);
    std::string text;
    for (int i = 0; i < 300; i++)
        text.push_back(static_cast<char>(i * 7 + 3));
    unsigned char whole[16];
    Vaxo::md5(Bytes(text), Len(text), whole);
    for (int piece : {1, 3, 55, 56, 63, 64, 65, 128})
    {
        Vaxo::md5_context ctx;
        Vaxo::md5_starts(&ctx);
        for (size_t pos = 0; pos < text.size(); pos += piece)
        {
            std::string part = text.substr(pos, piece);
            Vaxo::md5_update(&ctx, Bytes(part), Len(part));
        }
        unsigned char out[16];
        Vaxo::md5_finish(&ctx, out);
        EXPECT_EQ(Hex(out), Hex(whole)) << "pieces of " << piece;
    }
    const std::string million(1000000, 'a');
    Vaxo::md5(Bytes(million), Len(million), whole);
    EXPECT_EQ(Hex(whole), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, FileDigestAndErrors)
{
    Vaxo::TestFolder dir;
    unsigned char out[16];
    EXPECT_EQ(Vaxo::md5_file(dir.Write("abc.txt", "message digest").c_str(), out), 0);
    EXPECT_EQ(Hex(out), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Vaxo::md5_file((dir / "missing").c_str(), out), 1);
    // Reading a folder fails after it opens.
    EXPECT_EQ(Vaxo::md5_file(dir.mPath.c_str(), out), 2);
}

// RFC 2202, section 2, test cases 1 to 7: key, data, digest.
const std::tuple<std::string, std::string, const char*> kRfc2202[] = {
    {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
    {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
    {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
    {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19",
     std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
    {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
    {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
     "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
    {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
     "6f630fad67cda0ee1fb1f562db3aa53e"},
};

TEST(HmacMd5, Rfc2202CasesAlsoStreamed)
{
    int n = 1;
    for (const auto& [key, data, digest] : kRfc2202)
    {
        unsigned char out[16];
        Vaxo::md5_hmac(Bytes(key), Len(key), Bytes(data), Len(data), out);
        EXPECT_EQ(Hex(out), digest) << "case " << n++;
    }
    const auto& [key, data, digest] = kRfc2202[6];
    Vaxo::md5_context ctx;
    Vaxo::md5_hmac_starts(&ctx, Bytes(key), Len(key));
    Vaxo::md5_hmac_update(&ctx, Bytes(data), 10);
    Vaxo::md5_hmac_update(&ctx, Bytes(data) + 10, Len(data) - 10);
    unsigned char out[16];
    Vaxo::md5_hmac_finish(&ctx, out);
    EXPECT_EQ(Hex(out), digest);
}

// ---- Base 64 ---------------------------------------------------------------------------

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
