#include "graphics/NativeDisplay.h"

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

} // namespace Vaxo
