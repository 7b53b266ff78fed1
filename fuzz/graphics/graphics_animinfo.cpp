// Animation values as a resource manifest may give them (any ints), then cel lookups.
#include "graphics/Image.h"
#include "support/FuzzInput.h"

#include <cstdint>

using namespace Vaxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Image image;
    image.mWidth = in.Int32() & 0xFFFF;
    image.mHeight = in.Int32() & 0xFFFF;
    image.mNumRows = in.Int32();
    image.mNumCols = in.Int32();
    image.mAnimInfo.reset(new AnimInfo());
    AnimInfo& info = *image.mAnimInfo;
    info.mAnimType = in.Int32();
    info.mFrameDelay = in.Int32();
    int numCels = in.Int32(), begin = in.Int32(), end = in.Int32();
    for (int i = in.Int32() & 15; i > 0 && in.Left(); i--)
    {
        const int frame = in.Int32() & 0xFFFFF;
        info.SetPerFrameDelay(frame, in.Int32());
    }
    for (int i = in.Int32() & 15; i > 0 && in.Left(); i--)
        info.mFrameMap.push_back(in.Int32());
    info.Compute(numCels, begin, end);
    while (in.Left())
    {
        int time = in.Int32();
        int cel = image.GetAnimCel(time);
        image.GetAnimCelRect(time);
        image.GetCelRect(cel);
    }
    return 0;
}
