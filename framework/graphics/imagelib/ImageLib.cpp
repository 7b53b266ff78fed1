// The image, the decoder registry and settings, the naming rules of GetImage
// with the alpha-image merge, and the helpers the readers share.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/ImageFileIO.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace Vaxo
{
namespace ImageLib
{

static_assert(sizeof(uint32_t) == 4, "pixels are 32-bit words");
static_assert(uint64_t(kMaxImageSide) * kMaxImageSide >= kMaxImagePixels, "the pixel cap is the tighter one");

std::atomic<ImageDecoder> gTGADecoder{nullptr};
std::atomic<ImageDecoder> gJPGDecoder{nullptr};
std::atomic<ImageDecoder> gPNGDecoder{nullptr};
std::atomic<ImageDecoder> gGIFDecoder{nullptr};
std::atomic<ImageDecoder> gJP2Decoder{nullptr};
std::atomic<bool> gAutoLoadAlpha{true};
std::atomic<uint32_t> gAlphaComposeColor{0xFFFFFF};

namespace
{

thread_local bool tHasComposeOverride = false;
thread_local uint32_t tComposeOverride = 0;

// Kept here rather than shared: this module needs only the plain C-locale
// comparison of extensions.
int stricmp(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        int ca = std::tolower(static_cast<unsigned char>(*a));
        int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb || ca == 0)
            return ca - cb;
    }
}

struct Candidate
{
    const char* extension;
    const std::atomic<ImageDecoder>* decoder;
};

// Tried in this order for a name without an extension.
const Candidate kCandidates[] = {
    {".tga", &gTGADecoder}, {".jpg", &gJPGDecoder}, {".png", &gPNGDecoder},
    {".gif", &gGIFDecoder}, {".j2k", &gJP2Decoder}, {".jp2", &gJP2Decoder},
};

Image* TryCandidates(const std::string& baseName, const std::string& extension)
{
    for (const Candidate& c : kCandidates)
    {
        if (!extension.empty() && stricmp(extension.c_str(), c.extension) != 0)
            continue;
        ImageDecoder decoder = c.decoder->load();
        if (decoder == nullptr)
            continue;
        // The name as written in the list, so "Foo.PNG" opens "Foo.png".
        if (Image* image = decoder(baseName + c.extension))
            return image;
    }
    return nullptr;
}

// The colour image takes the alpha image's blue channel as its alpha.
void MergeAlpha(Image* color, const Image* alpha)
{
    if (color->mWidth != alpha->mWidth || color->mHeight != alpha->mHeight)
        return;
    size_t count = size_t(color->mWidth) * size_t(color->mHeight);
    uint32_t* dst = color->mBits;
    const uint32_t* src = alpha->mBits;
    for (size_t i = 0; i < count; ++i)
        dst[i] = (dst[i] & 0x00FFFFFF) | (src[i] << 24);
}

// An alpha image alone becomes the compose colour under its blue channel.
void ComposeFromAlpha(Image* alpha)
{
    uint32_t rgb = (tHasComposeOverride ? tComposeOverride : gAlphaComposeColor.load()) & 0x00FFFFFF;
    size_t count = size_t(alpha->mWidth) * size_t(alpha->mHeight);
    uint32_t* bits = alpha->mBits;
    for (size_t i = 0; i < count; ++i)
        bits[i] = (bits[i] << 24) | rgb;
}

} // namespace

ScopedAlphaComposeColor::ScopedAlphaComposeColor(uint32_t rgb)
    : mHadOverride(tHasComposeOverride), mPrevious(tComposeOverride)
{
    tHasComposeOverride = true;
    tComposeOverride = rgb;
}

ScopedAlphaComposeColor::~ScopedAlphaComposeColor()
{
    tHasComposeOverride = mHadOverride;
    tComposeOverride = mPrevious;
}

Image::~Image()
{
    std::free(mBits);
}

bool IsAcceptedSize(int64_t width, int64_t height)
{
    return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
           uint64_t(width) * uint64_t(height) <= kMaxImagePixels;
}

Image* NewImage(int64_t width, int64_t height, bool zeroed)
{
    if (!IsAcceptedSize(width, height))
        return nullptr;
    size_t count = size_t(width) * size_t(height);
    std::unique_ptr<Image> image(new (std::nothrow) Image());
    if (!image)
        return nullptr;
    // calloc rather than a zeroing loop: a file may claim a large image and
    // supply few pixels, and fresh zero pages cost nothing until written.
    void* bits = zeroed ? std::calloc(count, sizeof(uint32_t)) : std::malloc(count * sizeof(uint32_t));
    image->mBits = static_cast<uint32_t*>(bits);
    if (image->mBits == nullptr)
        return nullptr;
    image->mWidth = int32_t(width);
    image->mHeight = int32_t(height);
    return image.release();
}

Image* AllocateImage(int64_t width, int64_t height)
{
    return NewImage(width, height, true);
}

Image* ReadFromPath(const std::string& path, Image* (*reader)(FILE*))
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    Image* image = reader(file);
    std::fclose(file);
    return image;
}

Image* ReadFromMemory(const void* data, size_t size, Image* (*reader)(FILE*))
{
    // No image fits in zero bytes, and some C libraries refuse an empty stream.
    if (data == nullptr || size == 0)
        return nullptr;
    FILE* file = fmemopen(const_cast<void*>(data), size, "rb");
    if (file == nullptr)
        return nullptr;
    Image* image = reader(file);
    std::fclose(file);
    return image;
}

bool P_ReadShort(FILE* file, uint16_t* value)
{
    uint8_t b[2];
    if (std::fread(b, 1, 2, file) != 2)
        return false;
    *value = uint16_t(b[0] | (b[1] << 8));
    return true;
}

int ReadBlobBlock(FILE* file, uint8_t* buffer)
{
    int count = std::getc(file);
    if (count == EOF || count == 0)
        return 0;
    return int(std::fread(buffer, 1, size_t(count), file));
}

void EnableJPGDecoder()
{
    gJPGDecoder = GetJPEGImage;
}
void EnableJPGSmallDecoder()
{
    gJPGDecoder = GetJPEGImage_Small;
}
void EnableGIFDecoder()
{
    gGIFDecoder = GetGIFImage;
}
void EnablePNGDecoder()
{
    gPNGDecoder = GetPNGImage;
}
void EnableJP2Decoder()
{
    gJP2Decoder = GetJPEG2000Image;
}
void EnableTGADecoder()
{
    gTGADecoder = GetTGAImage;
}

void EnableAllDecoders()
{
    EnableJPGDecoder();
    EnableGIFDecoder();
    EnablePNGDecoder();
    EnableJP2Decoder();
    EnableTGADecoder();
}

void InitJPEG2000() {}
void CloseJPEG2000() {}

void ResetForTesting()
{
    gTGADecoder = nullptr;
    gJPGDecoder = nullptr;
    gPNGDecoder = nullptr;
    gGIFDecoder = nullptr;
    gJP2Decoder = nullptr;
    gAutoLoadAlpha = true;
    gAlphaComposeColor = 0xFFFFFF;
}

Image* GetJPEGImage_Small(const std::string&)
{
    return nullptr;
}
Image* GetJPEG2000Image(const std::string&)
{
    return nullptr;
}
bool WriteBMPImage(const std::string&, Image*)
{
    return false;
}

Image* GetImage(const std::string& filename, bool lookForAlphaImage)
{
    bool alphaSearch = lookForAlphaImage && gAutoLoadAlpha.load();

    size_t slash = filename.rfind('/');
    size_t backslash = filename.rfind('\\');
    size_t separator = slash;
    if (backslash != std::string::npos && (slash == std::string::npos || backslash > slash))
        separator = backslash;
    size_t dot = filename.rfind('.');

    std::string baseName = filename;
    std::string extension;
    // A dot inside a folder name is not an extension.
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator))
    {
        extension = filename.substr(dot);
        baseName = filename.substr(0, dot);
    }

    std::unique_ptr<Image> color(TryCandidates(baseName, extension));
    if (!alphaSearch)
        return color.release();

    size_t fileStart = separator == std::string::npos ? 0 : separator + 1;
    std::string alphaName = filename.substr(0, fileStart) + "_" + filename.substr(fileStart);
    std::unique_ptr<Image> alpha(GetImage(alphaName, false));
    if (!alpha)
        alpha.reset(GetImage(baseName + "_", false));
    if (!alpha)
        return color.release();

    if (color)
    {
        MergeAlpha(color.get(), alpha.get());
        return color.release();
    }
    ComposeFromAlpha(alpha.get());
    return alpha.release();
}

} // namespace ImageLib
} // namespace Vaxo
