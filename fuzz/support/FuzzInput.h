// FuzzInput: the fuzz targets' reader of their input, LLVM's FuzzedDataProvider with short
// names for the reads the targets make most. Numbers are taken from the end of the input,
// raw bytes from its front; once the input is used up every read gives the lowest value.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

class FuzzInput : public FuzzedDataProvider
{
public:
    using FuzzedDataProvider::FuzzedDataProvider;

    uint8_t Byte() { return ConsumeIntegral<uint8_t>(); }
    // lo to hi, both included (lo <= hi).
    int Int(int lo, int hi) { return ConsumeIntegralInRange(lo, hi); }
    // Four bytes, the first taken the most significant.
    uint32_t Word() { return ConsumeIntegral<uint32_t>(); }
    // Word's bits as a signed number.
    int32_t Int32() { return int32_t(Word()); }
    bool Left() { return remaining_bytes() > 0; }
};
