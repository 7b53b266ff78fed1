#include "common/md5.h"

#include <cstdio>
#include <cstring>

namespace Vaxo
{

namespace
{

inline uint32_t Load32(const unsigned char* p)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
#else
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
#endif
}

inline void Store32(uint32_t v, unsigned char* p)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline uint32_t Rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

// Each step adds the message word and constant before the round function, and
// the round functions touch b (the word just computed) last, so that most of
// a step runs in parallel with the one before it.
#define MD5_STEP(f, a, b, c, d, x, s, t)                                                                     \
    a += (x) + (t);                                                                                          \
    a += f(b, c, d);                                                                                         \
    a = Rotl(a, s) + b;

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
// G = (b & d) | (c & ~d); the two masks are disjoint, so the half that
// doesn't wait for b is added first.
#define MD5_STEP_G(a, b, c, d, x, s, t)                                                                      \
    a += (x) + (t) + ((c) & ~(d));                                                                           \
    a += (b) & (d);                                                                                          \
    a = Rotl(a, s) + b;
#define MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

void ProcessBlock(uint32_t state[4], const unsigned char* data)
{
    uint32_t X[16];
    for (int i = 0; i < 16; i++)
        X[i] = Load32(data + i * 4);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    MD5_STEP(MD5_F, a, b, c, d, X[0], 7, 0xD76AA478)
    MD5_STEP(MD5_F, d, a, b, c, X[1], 12, 0xE8C7B756)
    MD5_STEP(MD5_F, c, d, a, b, X[2], 17, 0x242070DB)
    MD5_STEP(MD5_F, b, c, d, a, X[3], 22, 0xC1BDCEEE)
    MD5_STEP(MD5_F, a, b, c, d, X[4], 7, 0xF57C0FAF)
    MD5_STEP(MD5_F, d, a, b, c, X[5], 12, 0x4787C62A)
    MD5_STEP(MD5_F, c, d, a, b, X[6], 17, 0xA8304613)
    MD5_STEP(MD5_F, b, c, d, a, X[7], 22, 0xFD469501)
    MD5_STEP(MD5_F, a, b, c, d, X[8], 7, 0x698098D8)
    MD5_STEP(MD5_F, d, a, b, c, X[9], 12, 0x8B44F7AF)
    MD5_STEP(MD5_F, c, d, a, b, X[10], 17, 0xFFFF5BB1)
    MD5_STEP(MD5_F, b, c, d, a, X[11], 22, 0x895CD7BE)
    MD5_STEP(MD5_F, a, b, c, d, X[12], 7, 0x6B901122)
    MD5_STEP(MD5_F, d, a, b, c, X[13], 12, 0xFD987193)
    MD5_STEP(MD5_F, c, d, a, b, X[14], 17, 0xA679438E)
    MD5_STEP(MD5_F, b, c, d, a, X[15], 22, 0x49B40821)

    MD5_STEP_G(a, b, c, d, X[1], 5, 0xF61E2562)
    MD5_STEP_G(d, a, b, c, X[6], 9, 0xC040B340)
    MD5_STEP_G(c, d, a, b, X[11], 14, 0x265E5A51)
    MD5_STEP_G(b, c, d, a, X[0], 20, 0xE9B6C7AA)
    MD5_STEP_G(a, b, c, d, X[5], 5, 0xD62F105D)
    MD5_STEP_G(d, a, b, c, X[10], 9, 0x02441453)
    MD5_STEP_G(c, d, a, b, X[15], 14, 0xD8A1E681)
    MD5_STEP_G(b, c, d, a, X[4], 20, 0xE7D3FBC8)
    MD5_STEP_G(a, b, c, d, X[9], 5, 0x21E1CDE6)
    MD5_STEP_G(d, a, b, c, X[14], 9, 0xC33707D6)
    MD5_STEP_G(c, d, a, b, X[3], 14, 0xF4D50D87)
    MD5_STEP_G(b, c, d, a, X[8], 20, 0x455A14ED)
    MD5_STEP_G(a, b, c, d, X[13], 5, 0xA9E3E905)
    MD5_STEP_G(d, a, b, c, X[2], 9, 0xFCEFA3F8)
    MD5_STEP_G(c, d, a, b, X[7], 14, 0x676F02D9)
    MD5_STEP_G(b, c, d, a, X[12], 20, 0x8D2A4C8A)

    MD5_STEP(MD5_H, a, b, c, d, X[5], 4, 0xFFFA3942)
    MD5_STEP(MD5_H, d, a, b, c, X[8], 11, 0x8771F681)
    MD5_STEP(MD5_H, c, d, a, b, X[11], 16, 0x6D9D6122)
    MD5_STEP(MD5_H, b, c, d, a, X[14], 23, 0xFDE5380C)
    MD5_STEP(MD5_H, a, b, c, d, X[1], 4, 0xA4BEEA44)
    MD5_STEP(MD5_H, d, a, b, c, X[4], 11, 0x4BDECFA9)
    MD5_STEP(MD5_H, c, d, a, b, X[7], 16, 0xF6BB4B60)
    MD5_STEP(MD5_H, b, c, d, a, X[10], 23, 0xBEBFBC70)
    MD5_STEP(MD5_H, a, b, c, d, X[13], 4, 0x289B7EC6)
    MD5_STEP(MD5_H, d, a, b, c, X[0], 11, 0xEAA127FA)
    MD5_STEP(MD5_H, c, d, a, b, X[3], 16, 0xD4EF3085)
    MD5_STEP(MD5_H, b, c, d, a, X[6], 23, 0x04881D05)
    MD5_STEP(MD5_H, a, b, c, d, X[9], 4, 0xD9D4D039)
    MD5_STEP(MD5_H, d, a, b, c, X[12], 11, 0xE6DB99E5)
    MD5_STEP(MD5_H, c, d, a, b, X[15], 16, 0x1FA27CF8)
    MD5_STEP(MD5_H, b, c, d, a, X[2], 23, 0xC4AC5665)

    MD5_STEP(MD5_I, a, b, c, d, X[0], 6, 0xF4292244)
    MD5_STEP(MD5_I, d, a, b, c, X[7], 10, 0x432AFF97)
    MD5_STEP(MD5_I, c, d, a, b, X[14], 15, 0xAB9423A7)
    MD5_STEP(MD5_I, b, c, d, a, X[5], 21, 0xFC93A039)
    MD5_STEP(MD5_I, a, b, c, d, X[12], 6, 0x655B59C3)
    MD5_STEP(MD5_I, d, a, b, c, X[3], 10, 0x8F0CCC92)
    MD5_STEP(MD5_I, c, d, a, b, X[10], 15, 0xFFEFF47D)
    MD5_STEP(MD5_I, b, c, d, a, X[1], 21, 0x85845DD1)
    MD5_STEP(MD5_I, a, b, c, d, X[8], 6, 0x6FA87E4F)
    MD5_STEP(MD5_I, d, a, b, c, X[15], 10, 0xFE2CE6E0)
    MD5_STEP(MD5_I, c, d, a, b, X[6], 15, 0xA3014314)
    MD5_STEP(MD5_I, b, c, d, a, X[13], 21, 0x4E0811A1)
    MD5_STEP(MD5_I, a, b, c, d, X[4], 6, 0xF7537E82)
    MD5_STEP(MD5_I, d, a, b, c, X[11], 10, 0xBD3AF235)
    MD5_STEP(MD5_I, c, d, a, b, X[2], 15, 0x2AD7D2BB)
    MD5_STEP(MD5_I, b, c, d, a, X[9], 21, 0xEB86D391)

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_STEP_G
#undef MD5_H
#undef MD5_I

} // namespace

void md5_starts(md5_context* ctx)
{
    ctx->total[0] = ctx->total[1] = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xEFCDAB89;
    ctx->state[2] = 0x98BADCFE;
    ctx->state[3] = 0x10325476;
}

void md5_update(md5_context* ctx, const unsigned char* input, int32_t ilen)
{
    if (ilen <= 0 || input == nullptr)
        return;
    uint32_t left = ctx->total[0] & 0x3F;
    uint32_t len = static_cast<uint32_t>(ilen);
    ctx->total[0] += len;
    if (ctx->total[0] < len)
        ctx->total[1]++;

    if (left != 0 && len >= 64 - left)
    {
        uint32_t fill = 64 - left;
        memcpy(ctx->buffer + left, input, fill);
        ProcessBlock(ctx->state, ctx->buffer);
        input += fill;
        len -= fill;
        left = 0;
    }
    for (; len >= 64; input += 64, len -= 64)
        ProcessBlock(ctx->state, input);
    if (len > 0)
        memcpy(ctx->buffer + left, input, len);
}

void md5_finish(md5_context* ctx, unsigned char output[16])
{
    // The length in bits, low word first, goes after the padding.
    uint32_t high = (ctx->total[0] >> 29) | (ctx->total[1] << 3);
    uint32_t low = ctx->total[0] << 3;
    unsigned char msglen[8];
    Store32(low, msglen);
    Store32(high, msglen + 4);

    static const unsigned char padding[64] = {0x80};
    uint32_t last = ctx->total[0] & 0x3F;
    uint32_t padn = (last < 56) ? (56 - last) : (120 - last);
    md5_update(ctx, padding, static_cast<int32_t>(padn));
    md5_update(ctx, msglen, 8);

    for (int i = 0; i < 4; i++)
        Store32(ctx->state[i], output + i * 4);
}

void md5(const unsigned char* input, int32_t ilen, unsigned char output[16])
{
    md5_context ctx;
    md5_starts(&ctx);
    md5_update(&ctx, input, ilen);
    md5_finish(&ctx, output);
    memset(&ctx, 0, sizeof(ctx));
}

int32_t md5_file(const char* path, unsigned char output[16])
{
    FILE* f = fopen(path, "rb");
    if (f == nullptr)
        return 1;
    md5_context ctx;
    md5_starts(&ctx);
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        md5_update(&ctx, buf, static_cast<int32_t>(n));
    md5_finish(&ctx, output);
    memset(&ctx, 0, sizeof(ctx));
    bool failed = ferror(f) != 0;
    fclose(f);
    return failed ? 2 : 0;
}

void md5_hmac_starts(md5_context* ctx, const unsigned char* key, int32_t keylen)
{
    unsigned char sum[16];
    if (keylen > 64)
    {
        md5(key, keylen, sum);
        key = sum;
        keylen = 16;
    }
    if (keylen < 0)
        keylen = 0;
    memset(ctx->ipad, 0x36, 64);
    memset(ctx->opad, 0x5C, 64);
    for (int32_t i = 0; i < keylen; i++)
    {
        ctx->ipad[i] ^= key[i];
        ctx->opad[i] ^= key[i];
    }
    md5_starts(ctx);
    md5_update(ctx, ctx->ipad, 64);
    memset(sum, 0, sizeof(sum));
}

void md5_hmac_update(md5_context* ctx, const unsigned char* input, int32_t ilen)
{
    md5_update(ctx, input, ilen);
}

void md5_hmac_finish(md5_context* ctx, unsigned char output[16])
{
    unsigned char inner[16];
    md5_finish(ctx, inner);
    md5_starts(ctx);
    md5_update(ctx, ctx->opad, 64);
    md5_update(ctx, inner, 16);
    md5_finish(ctx, output);
    memset(inner, 0, sizeof(inner));
}

void md5_hmac(const unsigned char* key, int32_t keylen, const unsigned char* input, int32_t ilen,
              unsigned char output[16])
{
    md5_context ctx;
    md5_hmac_starts(&ctx, key, keylen);
    md5_hmac_update(&ctx, input, ilen);
    md5_hmac_finish(&ctx, output);
    memset(&ctx, 0, sizeof(ctx));
}

int32_t md5_self_test(int32_t verbose)
{
    static const char* const inputs[7] = {
        "",
        "a",
        "abc",
        "message digest",
        "abcdefghijklmnopqrstuvwxyz",
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
    };
    static const char* const digests[7] = {
        "d41d8cd98f00b204e9800998ecf8427e", "0cc175b9c0f1b6a831c399e269772661",
        "900150983cd24fb0d6963f7d28e17f72", "f96b697d7cb7938d525a2f31aaf161d0",
        "c3fcd3d76192e4007dfb496cca67e13b", "d174ab98d277d9f5a5611c2c9f419d9f",
        "57edf4a22be3c955ac49da2e2107b67a",
    };
    for (int i = 0; i < 7; i++)
    {
        unsigned char sum[16];
        md5(reinterpret_cast<const unsigned char*>(inputs[i]), static_cast<int32_t>(strlen(inputs[i])), sum);
        char hex[33];
        for (int j = 0; j < 16; j++)
            snprintf(hex + j * 2, 3, "%02x", sum[j]);
        bool ok = strcmp(hex, digests[i]) == 0;
        if (verbose)
            printf("  MD5 test #%d: %s\n", i + 1, ok ? "passed" : "failed");
        if (!ok)
            return 1;
    }
    return 0;
}

} // namespace Vaxo
