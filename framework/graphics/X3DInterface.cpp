#include "graphics/X3DInterface.h"

#include "graphics/NativeDisplay.h"

namespace Vaxo
{

std::string& X3DInterface::mErrorString = *new std::string();

X3DInterface::X3DInterface(NativeDisplay* display)
    : mApp(display != nullptr ? display->mApp : nullptr), mDisplay(display)
{
}

X3DInterface::~X3DInterface() = default;

bool X3DInterface::Init()
{
    return false;
}

void X3DInterface::Cleanup() {}

void X3DInterface::PushTransform(const VaxoMatrix3& m, bool concatenate)
{
    if (mTransformStack.empty() || !concatenate)
        mTransformStack.push_back(m);
    else
        mTransformStack.push_back(m * mTransformStack.back());
}

void X3DInterface::PopTransform()
{
    if (!mTransformStack.empty())
        mTransformStack.pop_back();
}

void X3DInterface::Flush(bool) {}

void X3DInterface::RemoveMemoryImage(MemoryImage*) {}

void X3DInterface::UpdateViewport() {}

bool X3DInterface::RecoverBits(MemoryImage*)
{
    return false;
}

void X3DInterface::Blt(Image*, float, float, const TRect<int>&, const Color&, int, bool) {}

void X3DInterface::BltClipF(Image*, float, float, const TRect<int>&, const TRect<int>*, const Color&, int) {}

void X3DInterface::BltMirror(Image*, float, float, const TRect<int>&, const Color&, int, bool) {}

void X3DInterface::StretchBlt(Image*, const TRect<int>&, const TRect<int>&, const TRect<int>*, const Color&,
                              int, bool, bool)
{
}

void X3DInterface::BltRotated(Image*, float, float, const TRect<int>*, const Color&, int, double, float,
                              float, const TRect<int>&)
{
}

void X3DInterface::BltTransformed(Image*, const TRect<int>*, const Color&, int, const TRect<int>&,
                                  const VaxoMatrix3&, bool, float, float, bool)
{
}

void X3DInterface::DrawLine(double, double, double, double, const Color&, int) {}

void X3DInterface::FillRect(const TRect<int>&, const Color&, int) {}

void X3DInterface::DrawTriangle(const TriVertex&, const TriVertex&, const TriVertex&, const Color&, int) {}

void X3DInterface::DrawTriangleTex(const TriVertex&, const TriVertex&, const TriVertex&, const Color&, int,
                                   Image*, bool)
{
}

void X3DInterface::DrawTrianglesTex(const TriVertex (*)[3], int, const Color&, int, Image*, float, float,
                                    bool)
{
}

void X3DInterface::DrawTrianglesTexStrip(const TriVertex*, int, const Color&, int, Image*, float, float, bool)
{
}

void X3DInterface::FillPoly(const TPoint<int>*, int, const TRect<int>*, const Color&, int, int, int) {}

} // namespace Vaxo
