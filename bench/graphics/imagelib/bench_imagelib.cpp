// Decoding speed of the image readers against reference decoders in the same
// binary: stb_image for PNG, JPEG and TGA, giflib's DGifSlurp for GIF. Every
// decoder reads the same 800 x 600 file from memory; throughput is counted in
// decoded ARGB bytes, so the ratio of two rates is the ratio of their times.
// On a busy machine run with --benchmark_repetitions=15
// --benchmark_enable_random_interleaving=true and compare the medians.
#include "graphics/imagelib/ImageLib.h"
#include "graphics/imagelib/support/GifEncoder.h"

#include <benchmark/benchmark.h>
#if VAXO_HAVE_GIF
#include <gif_lib.h>
#endif

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#if VAXO_HAVE_STB
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#include <stb/stb_image.h> // a system header: its own warnings are not reported
#endif

using namespace Vaxo::ImageLib;

namespace
{

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// A picture like a game's art: smooth gradients, flat shapes with edges, a
// little noise, and an alpha ramp.
std::unique_ptr<Image> TestPicture()
{
    std::unique_ptr<Image> image(AllocateImage(kWidth, kHeight));
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
        {
            noise = noise * 1103515245u + 12345u;
            int n = int(noise >> 29);
            int r = (x * 255) / kWidth, g = (y * 255) / kHeight, b = ((x + y) * 255) / (kWidth + kHeight);
            int dx = x - 400, dy = y - 300;
            if (dx * dx + dy * dy < 150 * 150)
            {
                r = 240;
                g = 200;
                b = 40;
            }
            if ((x / 50 + y / 50) % 5 == 0)
            {
                r = 30;
                g = 90;
                b = 160;
            }
            // Texture, as painted art has, in every channel.
            r = std::min(255, r + n * 2);
            g = std::min(255, g + int(noise >> 26 & 15));
            b = std::min(255, b + int(noise >> 22 & 15));
            uint32_t a = x < 100 ? uint32_t(x * 255 / 100) : 255u;
            image->mBits[y * kWidth + x] = a << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
        }
    return image;
}

std::vector<uint8_t> Written(bool (*writer)(const std::string&, Image*), Image* image)
{
    char path[] = "/tmp/bench_imagelibXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return {};
    close(fd);
    std::vector<uint8_t> bytes;
    if (writer(path, image))
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    unlink(path);
    return bytes;
}

// The picture reduced to 3-3-2 colours and LZW-coded as a GIF.
std::vector<uint8_t> GifFile(const Image& image)
{
    std::vector<uint32_t> table(256);
    for (uint32_t i = 0; i < 256; ++i)
        table[i] = ((i >> 5) * 255 / 7) << 16 | (((i >> 2) & 7) * 255 / 7) << 8 | ((i & 3) * 255 / 3);
    std::vector<uint8_t> indices;
    for (int i = 0; i < kWidth * kHeight; ++i)
    {
        uint32_t c = image.mBits[i];
        indices.push_back(uint8_t(((c >> 21) & 7) << 5 | ((c >> 13) & 7) << 2 | ((c >> 6) & 3)));
    }
    return Vaxo::TestGif::GifBuilder()
        .Header(kWidth, kHeight, table)
        .Descriptor(kWidth, kHeight, {}, false)
        .Data(8, Vaxo::TestGif::LzwEncode(indices, Vaxo::TestGif::LzwOptions()))
        .Trailer()
        .Bytes();
}

struct Files
{
    std::vector<uint8_t> png, jpeg, tga, gif;
    Files()
    {
        std::unique_ptr<Image> picture = TestPicture();
        png = Written(WritePNGImage, picture.get());
        jpeg = Written(WriteJPEGImage, picture.get());
        tga = Written(WriteTGAImage, picture.get());
        gif = GifFile(*picture);
    }
};

const Files& TheFiles()
{
    static const Files* files = new Files();
    return *files;
}

void Finish(benchmark::State& state, const std::vector<uint8_t>& file)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
    state.counters["file_bytes"] = double(file.size());
}

void Ours(benchmark::State& state, const std::vector<uint8_t>& file, Image* (*reader)(const void*, size_t))
{
    for (auto _ : state)
    {
        std::unique_ptr<Image> image(reader(file.data(), file.size()));
        if (!image || image->GetWidth() != kWidth)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image->GetBits());
    }
    Finish(state, file);
}

#if VAXO_HAVE_STB
void Stb(benchmark::State& state, const std::vector<uint8_t>& file)
{
    for (auto _ : state)
    {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 4);
        if (pixels == nullptr || w != kWidth)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Finish(state, file);
}
#endif

#if VAXO_HAVE_GIF
struct GifSource
{
    const std::vector<uint8_t>* file;
    size_t pos;
};

int ReadGifBytes(GifFileType* gif, GifByteType* buffer, int length)
{
    GifSource* src = static_cast<GifSource*>(gif->UserData);
    size_t n = std::min(size_t(length), src->file->size() - src->pos);
    std::memcpy(buffer, src->file->data() + src->pos, n);
    src->pos += n;
    return int(n);
}
#endif

void BM_PNG_Ours(benchmark::State& state)
{
    Ours(state, TheFiles().png, GetPNGImageFromMemory);
}
void BM_JPEG_Ours(benchmark::State& state)
{
    Ours(state, TheFiles().jpeg, GetJPEGImageFromMemory);
}
void BM_TGA_Ours(benchmark::State& state)
{
    Ours(state, TheFiles().tga, GetTGAImageFromMemory);
}
void BM_GIF_Ours(benchmark::State& state)
{
    Ours(state, TheFiles().gif, GetGIFImageFromMemory);
}

#if VAXO_HAVE_STB
void BM_PNG_StbImage(benchmark::State& state)
{
    Stb(state, TheFiles().png);
}
void BM_JPEG_StbImage(benchmark::State& state)
{
    Stb(state, TheFiles().jpeg);
}
void BM_TGA_StbImage(benchmark::State& state)
{
    Stb(state, TheFiles().tga);
}
#endif

#if VAXO_HAVE_GIF
void BM_GIF_GiflibSlurp(benchmark::State& state)
{
    const std::vector<uint8_t>& file = TheFiles().gif;
    for (auto _ : state)
    {
        GifSource src = {&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&src, ReadGifBytes, &error);
        if (gif == nullptr || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1)
            state.SkipWithError("decode failed");
        if (gif != nullptr)
        {
            benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
            DGifCloseFile(gif, &error);
        }
    }
    Finish(state, file);
}
#endif

} // namespace

BENCHMARK(BM_PNG_Ours);
BENCHMARK(BM_JPEG_Ours);
BENCHMARK(BM_GIF_Ours);
BENCHMARK(BM_TGA_Ours);
#if VAXO_HAVE_STB
BENCHMARK(BM_PNG_StbImage);
BENCHMARK(BM_JPEG_StbImage);
BENCHMARK(BM_TGA_StbImage);
#endif
#if VAXO_HAVE_GIF
BENCHMARK(BM_GIF_GiflibSlurp);
#endif
