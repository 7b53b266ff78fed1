#include "common/Base64.h"

#include <climits>
#include <new>

namespace Vaxo
{

namespace
{

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Everything that is not a letter, a digit or "+" decodes as 63, the padding sign too.
unsigned int SixBits(char c)
{
    if (c >= 'A' && c <= 'Z')
        return unsigned(c - 'A');
    if (c >= 'a' && c <= 'z')
        return unsigned(c - 'a' + 26);
    if (c >= '0' && c <= '9')
        return unsigned(c - '0' + 52);
    if (c == '+')
        return 62;
    return 63;
}

} // namespace

void Base64EncodeChunk(unsigned char const* three, std::string& out)
{
    out.push_back(kAlphabet[three[0] >> 2]);
    out.push_back(kAlphabet[((three[0] & 0x03) << 4) | (three[1] >> 4)]);
    out.push_back(kAlphabet[((three[1] & 0x0F) << 2) | (three[2] >> 6)]);
    out.push_back(kAlphabet[three[2] & 0x3F]);
}

void Base64Encode(void const* data, int length, std::string& out)
{
    out.clear();
    if (length <= 0)
        return;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    out.reserve((size_t(length) + 2) / 3 * 4);
    const int full = length / 3 * 3;
    for (int i = 0; i < full; i += 3)
        Base64EncodeChunk(bytes + i, out);
    const int remaining = length - full;
    if (remaining == 0)
        return;
    unsigned char last[3] = {0, 0, 0};
    for (int i = 0; i < remaining; ++i)
        last[i] = bytes[full + i];
    Base64EncodeChunk(last, out);
    out[out.size() - 1] = '=';
    if (remaining == 1)
        out[out.size() - 2] = '=';
}

unsigned char* Base64Decode(std::string const& text, int& length)
{
    // The decoded length must fit the int the caller gets.
    if (text.empty() || text.size() % 4 != 0 || text.size() / 4 > size_t(INT_MAX / 3))
        return nullptr;
    const size_t groups = text.size() / 4;
    unsigned char* bytes = new (std::nothrow) unsigned char[groups * 3];
    if (bytes == nullptr)
        return nullptr;
    for (size_t g = 0; g < groups; ++g)
    {
        const char* in = text.data() + g * 4;
        const unsigned int bits =
            (SixBits(in[0]) << 18) | (SixBits(in[1]) << 12) | (SixBits(in[2]) << 6) | SixBits(in[3]);
        bytes[g * 3] = static_cast<unsigned char>(bits >> 16);
        bytes[g * 3 + 1] = static_cast<unsigned char>(bits >> 8);
        bytes[g * 3 + 2] = static_cast<unsigned char>(bits);
    }
    length = int(groups * 3);
    if (text[text.size() - 1] == '=')
        --length;
    if (text[text.size() - 2] == '=')
        --length;
    return bytes;
}

} // namespace Vaxo
