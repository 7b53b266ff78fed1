// Bytes in, the GIF reader called from memory (the size cap keeps allocations bounded).
#include "graphics/imagelib/ImageLib.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    delete Vaxo::ImageLib::GetGIFImageFromMemory(data, size);
    return 0;
}
