// Image files: reads PNG, JPEG, GIF (first frame) and uncompressed 32-bit TGA
// files into plain ARGB pixel arrays, and writes PNG, TGA and JPEG.
//
// GetImage owns the naming rules of all image loading: which extensions a
// name without one is tried with, and how a separate alpha image beside the
// colour image ("_name" or "name_") supplies the alpha channel. The
// application object and the resource manager call it from the main thread
// and from the loading thread; the readers keep no shared state.
//
// Sections: the Image, the decoder registry, the settings, GetImage, the
// readers (from a file or from memory), the writers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Vaxo
{
namespace ImageLib
{

// A decoded image: width x height ARGB words (alpha in bits 24-31, then red,
// green, blue; host byte order), row-major from the top row.
class Image
{
public:
    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    virtual ~Image();

    int32_t GetWidth() const { return mWidth; }
    int32_t GetHeight() const { return mHeight; }
    uint32_t* GetBits() const { return mBits; }

    int32_t mWidth = 0;
    int32_t mHeight = 0;
    uint32_t* mBits =
        nullptr; // owned; from std::malloc (a new owner may take it, set this null, std::free it)
};

// Largest image any reader accepts; a damaged file can claim any size, so
// larger ones are refused before anything is allocated.
constexpr int32_t kMaxImageSide = 16384;
constexpr uint32_t kMaxImagePixels = 1u << 26;

// True when width x height is a size the readers accept (both sides at least 1).
bool IsAcceptedSize(int64_t width, int64_t height);

// A new image of that size with zeroed pixels, or null when the size is
// refused or the memory is not there. The caller owns it.
Image* AllocateImage(int64_t width, int64_t height);

// Decoder registry: each takes a file path and returns a new image (owned by
// the caller) or null. Null entries are skipped by GetImage. Set at start-up.
typedef Image* (*ImageDecoder)(const std::string& path);
extern std::atomic<ImageDecoder> gTGADecoder;
extern std::atomic<ImageDecoder> gJPGDecoder;
extern std::atomic<ImageDecoder> gPNGDecoder;
extern std::atomic<ImageDecoder> gGIFDecoder;
extern std::atomic<ImageDecoder> gJP2Decoder;

// False disables the alpha-image search whatever the caller asks (default true).
extern std::atomic<bool> gAutoLoadAlpha;
// RGB (low 24 bits) given to an image made from an alpha image alone (default
// 0xFFFFFF); a load of one colour sets ScopedAlphaComposeColor instead.
extern std::atomic<uint32_t> gAlphaComposeColor;
// Overrides gAlphaComposeColor for the loads of the calling thread while it lives, so
// that the colour one load asks for never reaches another thread's load.
class ScopedAlphaComposeColor
{
public:
    explicit ScopedAlphaComposeColor(uint32_t rgb);
    ~ScopedAlphaComposeColor();
    ScopedAlphaComposeColor(const ScopedAlphaComposeColor&) = delete;
    ScopedAlphaComposeColor& operator=(const ScopedAlphaComposeColor&) = delete;

private:
    bool mHadOverride;
    uint32_t mPrevious;
};

void EnableAllDecoders();
void EnableJPGDecoder();
void EnableJPGSmallDecoder();
void EnableGIFDecoder();
void EnablePNGDecoder();
void EnableJP2Decoder();
void EnableTGADecoder();
// Start-up and shut-down hooks of the JPEG 2000 decoder, which does nothing here.
void InitJPEG2000();
void CloseJPEG2000();

// Clears the registry and puts the settings back to their defaults (tests only).
void ResetForTesting();

// Loads `filename` by the naming rules, merging the alpha image when asked.
// Returns a new image owned by the caller, or null when nothing could be read.
Image* GetImage(const std::string& filename, bool lookForAlphaImage);

// Readers: null for a file that cannot be opened or decoded.
Image* GetTGAImage(const std::string& path);
Image* GetJPEGImage(const std::string& path);
Image* GetPNGImage(const std::string& path);
Image* GetGIFImage(const std::string& path);
// No such decoding in this build: always null.
Image* GetJPEGImage_Small(const std::string& path);
Image* GetJPEG2000Image(const std::string& path);

// The same readers over bytes in memory (the fuzz targets and benchmarks use them).
Image* GetTGAImageFromMemory(const void* data, size_t size);
Image* GetJPEGImageFromMemory(const void* data, size_t size);
Image* GetPNGImageFromMemory(const void* data, size_t size);
Image* GetGIFImageFromMemory(const void* data, size_t size);

// Writers: true on success. WriteBMPImage writes nothing and returns false.
bool WritePNGImage(const std::string& path, Image* image);
bool WriteTGAImage(const std::string& path, Image* image);
bool WriteJPEGImage(const std::string& path, Image* image);
bool WriteBMPImage(const std::string& path, Image* image);

} // namespace ImageLib
} // namespace Vaxo
