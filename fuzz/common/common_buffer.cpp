// Buffer readers driven by untrusted bytes: the first bits of each step pick
// the reader, the rest is its input.
#include "common/Buffer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Vaxo::Buffer in;
    in.SetData(data, static_cast<int32_t>(size));
    in.UTF8ToWideString();

    for (int step = 0; step < 4096 && !in.AtEnd(); step++)
    {
        std::vector<uint8_t> bytes;
        switch (in.ReadNumBits(3, false))
        {
        case 0:
            in.ReadNumBits(in.ReadNumBits(6, false), in.ReadNumBits(1, false) != 0);
            break;
        case 1:
            in.ReadString();
            break;
        case 2:
            in.ReadUTF8String();
            break;
        case 3:
            in.ReadLine();
            break;
        case 4:
            in.ReadBuffer(&bytes);
            break;
        case 5:
            in.ReadShort();
            break;
        case 6:
            in.ReadLong();
            break;
        default:
            in.ReadByte();
            break;
        }
    }

    Vaxo::Buffer web;
    web.FromWebString(std::string(reinterpret_cast<const char*>(data), size));
    // Whatever FromWebString accepted must survive the round trip.
    Vaxo::Buffer back;
    back.FromWebString(web.ToWebString());
    if (back.GetDataLenBits() != web.GetDataLenBits() || back.GetCRC32(0) != web.GetCRC32(0))
        abort();
    return 0;
}
