// Image utilities of the application: tints, mirroring, hue rotation, HSL conversion,
// cross-fades and cache pre-building on 32-bit ARGB memory images.
#include "app/VaxoAppBase.h"

#include "graphics/Color.h"
#include "graphics/MemoryImage.h"

namespace Vaxo
{

void VaxoAppBase::ColorizeImage(Image*, const Color&)
{
    // PENDING: tint in place (palette or pixels; exact path for components of 256 or more).
}

MemoryImage* VaxoAppBase::CreateColorizedImage(Image*, const Color&)
{
    // PENDING: a tinted copy of the source.
    return nullptr;
}

void VaxoAppBase::MirrorImage(Image*)
{
    // PENDING: swap left and right in place.
}

void VaxoAppBase::FlipImage(Image*)
{
    // PENDING: swap top and bottom in place.
}

void VaxoAppBase::RotateImageHue(MemoryImage*, int)
{
    // PENDING: add the hue offset to every pixel through HSL.
}

uint32_t VaxoAppBase::RGBToHSL(int, int, int)
{
    // PENDING: the integer RGB to packed HSL conversion.
    return 0xFF000000;
}

uint32_t VaxoAppBase::HSLToRGB(int, int, int)
{
    // PENDING: the integer packed HSL to RGB conversion.
    return 0xFF000000;
}

void VaxoAppBase::RGBToHSL(const uint32_t*, uint32_t*, int)
{
    // PENDING: convert a run of words, keeping each top byte.
}

void VaxoAppBase::HSLToRGB(const uint32_t*, uint32_t*, int)
{
    // PENDING: convert a run of words, keeping each top byte.
}

MemoryImage* VaxoAppBase::CreateCrossfadeImage(Image*, const TRect<int>&, Image*, const TRect<int>&, double)
{
    // PENDING: blend the two regions into a new image.
    return nullptr;
}

void VaxoAppBase::PrecacheAdditive(MemoryImage* image)
{
    image->GetRLAdditiveData(mDisplay);
}

void VaxoAppBase::PrecacheAlpha(MemoryImage* image)
{
    image->GetRLAlphaData();
}

void VaxoAppBase::PrecacheNative(MemoryImage* image)
{
    image->GetNativeAlphaData(mDisplay);
}

} // namespace Vaxo
