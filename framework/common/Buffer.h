// Growable byte buffer with a bit-addressed read cursor and an append-only
// bit-addressed write cursor.
//
// Buffer carries whole files in memory (the properties file, saved player
// data), the HMAC-MD5 signature of the properties file, and the bit-packed
// command stream of recorded play. The layout of every typed field is a file
// format: data written by one build must read back in another.
//   - bit k of the stream is bit (k mod 8) of byte k div 8, LSB first;
//   - multi-byte numbers are little-endian;
//   - reading past the end yields zeros and leaves the cursor where it stopped.
//
// A Buffer belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Vaxo
{

// CRC-32 of bytes, polynomial 0x04C11DB7, most significant bit first, no final xor; seed
// carries a running value on (Ogg's page checksum is this one too).
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t seed = 0);

class Buffer
{
public:
    Buffer() = default;
    Buffer(const Buffer&) = default;
    Buffer& operator=(const Buffer&) = default;
    virtual ~Buffer() = default;

    // --- State and access
    void Clear();
    // Replaces the bytes; both cursors keep their values (later writes still
    // land at the write cursor, the bytes growing to reach it).
    void SetData(const std::vector<uint8_t>& data);
    void SetData(const uint8_t* bytes, int32_t count);
    const uint8_t* GetDataPtr() const { return mData.empty() ? nullptr : mData.data(); }
    int32_t GetDataLen() const { return (mDataBitSize + 7) / 8; }
    int32_t GetDataLenBits() const { return mDataBitSize; }
    void SeekFront() const { mReadBitPos = 0; }
    // Bits already read; readers of untrusted streams compare it with GetDataLenBits.
    int32_t GetReadBitPos() const { return mReadBitPos; }
    bool AtEnd() const { return mReadBitPos >= mDataBitSize; }
    bool PastEnd() const { return mReadBitPos > mDataBitSize; }
    // Smallest n with |value| < 2^n (a negative value counts as its one's
    // complement), plus one for the sign when isSigned.
    static int32_t GetBitsRequired(int32_t value, bool isSigned);

    // --- Writing (always at the write cursor, which only moves forward)
    // Low count bits of value (count 0 to 32), least significant first.
    void WriteNumBits(int32_t value, int32_t count);
    void WriteByte(uint8_t value);
    void WriteBytes(const uint8_t* bytes, int32_t count);
    void WriteShort(int16_t value);
    void WriteLong(int32_t value);
    void WriteBoolean(bool value);
    // 16-bit byte count, then the bytes.
    void WriteString(const std::string& text);
    // Byte-aligned: 16-bit character count, then UTF-8. Characters that can't
    // be read back (surrogates, U+FFFE, U+FFFF, above U+10FFFF) become U+FFFD.
    void WriteUTF8String(const std::wstring& text);
    // The bytes, then "\r\n".
    void WriteLine(const std::string& text);
    // 32-bit byte count, then the bytes.
    void WriteBuffer(const std::vector<uint8_t>& data);

    // --- Reading (const: only the read cursor moves)
    // count 0 to 32; isSigned extends bit count-1 into the higher bits.
    int32_t ReadNumBits(int32_t count, bool isSigned) const;
    uint8_t ReadByte() const;
    void ReadBytes(uint8_t* bytes, int32_t count) const;
    int16_t ReadShort() const;
    int32_t ReadLong() const;
    bool ReadBoolean() const;
    std::string ReadString() const;
    // Stops early at the first invalid sequence.
    std::wstring ReadUTF8String() const;
    // Up to a line feed or a 0 byte (neither kept); carriage returns dropped.
    std::string ReadLine() const;
    // Never reads or allocates more than the bytes left, whatever the count says.
    void ReadBuffer(std::vector<uint8_t>* data) const;

    // The whole content as UTF-8 (a leading byte-order mark dropped), up to
    // the first invalid sequence. Doesn't use the read cursor.
    std::wstring UTF8ToWideString() const;

    // --- 6-bit printable form: "%08X" of the bit count, then one character
    // per 6 bits.
    std::string ToWebString() const;
    void FromWebString(const std::string& text);

    // --- Checksums
    // Crc32 of the bytes.
    uint32_t GetCRC32(uint32_t seed = 0) const;
    // HMAC-MD5 of the bytes with the program's signing key; 16 bytes, or
    // empty for an empty buffer.
    Buffer GetHMAC() const;

private:
    // Makes sure the byte under the write cursor exists.
    void EnsureWriteByte(int32_t index);
    void AdvanceWrite(int32_t bits);

    std::vector<uint8_t> mData;
    int32_t mDataBitSize = 0;
    mutable int32_t mReadBitPos = 0;
    int32_t mWriteBitPos = 0;
};

} // namespace Vaxo
