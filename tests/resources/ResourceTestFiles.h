// Files the resource tests write: a temporary folder, text files, tiny images through
// the framework's own image writers, and short WAV sounds.
#pragma once

#include "common/support/TestFolder.h"
#include "graphics/imagelib/ImageLib.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace Vaxo
{

// A fresh folder, removed whole with the object.
class TempFolder : public TestFolder
{
public:
    // The folder with a trailing "/".
    std::string Dir() const { return mPath; }
};

// A width x height image whose pixel (x, y) is pixel(x, y) (0xAARRGGBB).
template <typename PixelFunc>
std::unique_ptr<ImageLib::Image> MakeFileImage(int width, int height, PixelFunc pixel)
{
    std::unique_ptr<ImageLib::Image> image(ImageLib::AllocateImage(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image->mBits[y * width + x] = pixel(x, y);
    return image;
}

// Writes a one-colour image with the writer of the name's extension (".jpg", ".tga", else
// PNG). False when the writer fails.
inline bool WriteImageFile(const std::string& path, int width, int height, uint32_t color)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    auto image = MakeFileImage(width, height, [color](int, int) { return color; });
    const std::string ext = path.substr(path.rfind('.'));
    if (ext == ".jpg")
        return ImageLib::WriteJPEGImage(path, image.get());
    return ext == ".tga" ? ImageLib::WriteTGAImage(path, image.get())
                         : ImageLib::WritePNGImage(path, image.get());
}

// A smallest GIF: 1 x 1, two colours, pixel of colour index 0 (red).
inline std::string TinyGif()
{
    // Header and a 2-colour table (red, black), the image descriptor, LZW codes clear, 0, end.
    static const unsigned char bytes[] = {'G', 'I',  'F', '8', '9', 'a', 1, 0,    1,    0, 0x80, 0,
                                          0,   0xFF, 0,   0,   0,   0,   0, 0x2C, 0,    0, 0,    0,
                                          1,   0,    1,   0,   0,   2,   2, 0x44, 0x01, 0, 0x3B};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes));
}

// A mono 16-bit PCM WAV of `frames` frames of a square wave at 22050 Hz.
inline std::string TinyWav(int frames)
{
    auto le = [](uint32_t value, int bytes)
    {
        std::string out;
        for (int i = 0; i < bytes; ++i)
            out += char(value >> (8 * i));
        return out;
    };
    std::string data;
    for (int i = 0; i < frames; ++i)
        data += le((i / 25) % 2 ? 0x2000 : 0xE000, 2);
    return "RIFF" + le(36 + uint32_t(data.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) +
           le(22050, 4) + le(44100, 4) + le(2, 2) + le(16, 2) + "data" + le(uint32_t(data.size()), 4) + data;
}

} // namespace Vaxo
