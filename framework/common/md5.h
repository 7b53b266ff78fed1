// MD5 message digest (RFC 1321) and HMAC-MD5 (RFC 2104).
//
// Buffer::GetHMAC signs the properties file with md5_hmac; the other entry
// points are the usual streaming interface. Lengths are byte counts.
#pragma once

#include <cstdint>

namespace Vaxo
{

struct md5_context
{
    uint32_t total[2];        // bytes processed, low word first
    uint32_t state[4];        // intermediate digest
    unsigned char buffer[64]; // partial block
    unsigned char ipad[64];   // HMAC inner key pad
    unsigned char opad[64];   // HMAC outer key pad
};

void md5_starts(md5_context* ctx);
void md5_update(md5_context* ctx, const unsigned char* input, int32_t ilen);
void md5_finish(md5_context* ctx, unsigned char output[16]);
void md5(const unsigned char* input, int32_t ilen, unsigned char output[16]);
// 0 on success, 1 when the file can't be opened, 2 on a read error.
int32_t md5_file(const char* path, unsigned char output[16]);

// Keys longer than the 64-byte block are hashed first, as RFC 2104 says.
void md5_hmac_starts(md5_context* ctx, const unsigned char* key, int32_t keylen);
void md5_hmac_update(md5_context* ctx, const unsigned char* input, int32_t ilen);
void md5_hmac_finish(md5_context* ctx, unsigned char output[16]);
void md5_hmac(const unsigned char* key, int32_t keylen, const unsigned char* input, int32_t ilen,
              unsigned char output[16]);

// Checks the RFC 1321 test suite; 0 when every digest matches, 1 otherwise.
int32_t md5_self_test(int32_t verbose);

} // namespace Vaxo
