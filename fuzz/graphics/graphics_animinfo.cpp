// Animation values as a resource manifest may give them (any ints), then cel lookups.
#include "graphics/Image.h"

#include <cstdint>
#include <cstring>

using namespace Vaxo;

static int32_t Take(const uint8_t*& data, size_t& size)
{
    int32_t v = 0;
    size_t n = size < 4 ? size : 4;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Image image;
    image.mWidth = Take(data, size) & 0xFFFF;
    image.mHeight = Take(data, size) & 0xFFFF;
    image.mNumRows = Take(data, size);
    image.mNumCols = Take(data, size);
    image.mAnimInfo.reset(new AnimInfo());
    AnimInfo& info = *image.mAnimInfo;
    info.mAnimType = Take(data, size);
    info.mFrameDelay = Take(data, size);
    int numCels = Take(data, size), begin = Take(data, size), end = Take(data, size);
    for (int i = Take(data, size) & 15; i > 0 && size > 0; i--)
        info.SetPerFrameDelay(Take(data, size) & 0xFFFFF, Take(data, size));
    for (int i = Take(data, size) & 15; i > 0 && size > 0; i--)
        info.mFrameMap.push_back(Take(data, size));
    info.Compute(numCels, begin, end);
    while (size > 0)
    {
        int time = Take(data, size);
        int cel = image.GetAnimCel(time);
        image.GetAnimCelRect(time);
        image.GetCelRect(cel);
    }
    return 0;
}
