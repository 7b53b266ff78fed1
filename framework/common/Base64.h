// Base64: bytes to and from the text of RFC 4648's standard alphabet ("+", "/", "=" padding),
// without line breaks. Decoding is lenient: any character outside A-Z, a-z, 0-9 and "+"
// counts as 63, so callers must only feed it text this encoder wrote.
#pragma once

#include <string>

namespace Vaxo
{

// Replaces out with the encoding of length bytes (a negative length encodes nothing).
void Base64Encode(void const* data, int length, std::string& out);
// Appends the four characters that encode three bytes.
void Base64EncodeChunk(unsigned char const* three, std::string& out);
// A new array of length bytes (caller frees it with delete[]), or null when the text is
// empty or its length is not a multiple of 4 (length is then left unchanged). The array
// holds three bytes per four characters; length leaves out the padding.
unsigned char* Base64Decode(std::string const& text, int& length);

} // namespace Vaxo
