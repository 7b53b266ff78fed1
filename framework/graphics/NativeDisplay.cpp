#include "graphics/NativeDisplay.h"

#include "graphics/GraphicsApp.h"

namespace Vaxo
{

NativeDisplay::NativeDisplay(GraphicsApp* app)
    : mApp(app), mIs3D(false), mBitsPerPixel(0), mRedMask(0), mGreenMask(0), mBlueMask(0), mRedBits(0),
      mGreenBits(0), mBlueBits(0), mRedShift(0), mGreenShift(0), mBlueShift(0), mRefreshRate(0),
      mMillisecondsPerFrame(0)
{
}

NativeDisplay::~NativeDisplay() = default;

bool NativeDisplay::Is3DSupported()
{
    return false;
}

bool NativeDisplay::Is3DRecommended()
{
    return false;
}

void NativeDisplay::UpdateViewport() {}

void NativeDisplay::Remove3DData(MemoryImage* image)
{
    if (m3DInterface)
        m3DInterface->RemoveMemoryImage(image);
}

namespace
{

// Entry i is min(i, 2^bits - 1), for i up to twice that maximum.
std::vector<int32_t> AddTableFor(int32_t bits)
{
    if (bits < 0 || bits > 16)
        bits = 0;
    const int32_t max = (1 << bits) - 1;
    std::vector<int32_t> table(size_t(2 * max + 1));
    for (int32_t i = 0; i <= 2 * max; ++i)
        table[size_t(i)] = i < max ? i : max;
    return table;
}

} // namespace

void NativeDisplay::PostInit()
{
    mRedAddTable = AddTableFor(mRedBits);
    mGreenAddTable = AddTableFor(mGreenBits);
    mBlueAddTable = AddTableFor(mBlueBits);

    bool broken = true;
    if (mRefreshRate < 60)
        mRefreshRate = 60;
    else if (mRefreshRate > 100)
        mRefreshRate = 100;
    else
        broken = false;
    if (mApp != nullptr)
        mApp->mVSyncBroken = broken;
    mMillisecondsPerFrame = 1000 / mRefreshRate;
}

std::string NativeDisplay::ResultToString(int result)
{
    static const char* const kNames[] = {"RESULT_OK",
                                         "RESULT_FAIL",
                                         "RESULT_DD_CREATE_FAIL",
                                         "RESULT_SURFACE_FAIL",
                                         "RESULT_EXCLUSIVE_FAIL",
                                         "RESULT_DISPCHANGE_FAIL",
                                         "RESULT_INVALID_COLORDEPTH"};
    if (result < 0 || result > 6)
        return "RESULT_UNKNOWN";
    return kNames[result];
}

} // namespace Vaxo
