// Writes the seed files of the image fuzz targets: small files of every kind
// each reader handles, and of the kinds it refuses (their names begin with
// "refused_"), so the fuzzers start deep inside the decoders. PNG and JPEG
// files are written by libpng and libjpeg, GIF files by the tests' GIF
// builder, TGA files byte by byte. The output is the same on every run:
//   make_image_seeds <fuzz/graphics/imagelib/corpus>   (or the image_seeds target)
#include "graphics/imagelib/support/GifEncoder.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace
{

using Bytes = std::vector<uint8_t>;

std::string gRoot;
int gWritten = 0;

void Save(const std::string& target, const std::string& name, const Bytes& bytes)
{
    std::filesystem::create_directories(gRoot + "/" + target);
    std::string path = gRoot + "/" + target + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
    {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    ++gWritten;
}

// A fixed pattern with edges and flat runs, so the files stay small but every
// filter and sample value range is exercised.
uint32_t Sample(int x, int y, int channel, int bits)
{
    uint32_t v = uint32_t(x * 37 + y * 91 + channel * 53 + (x ^ y) * 11);
    if (bits >= 8)
        v = v * 2654435761u >> (32 - bits);
    return v & ((1u << bits) - 1);
}

// ---- PNG -------------------------------------------------------------------

struct PngSeed
{
    const char* name;
    int colorType;
    int bitDepth;
    bool interlaced = false;
    bool transparency = false; // tRNS: a colour key, or alpha for the first palette entries
    int paletteSize = 0;       // 0: a full palette of 2^depth entries
    bool ancillary = false;    // gAMA, sBIT, bKGD, pHYs, tEXt, several IDAT chunks
    int width = 8;
    int height = 8;
};

void PngAppend(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngNoFlush(png_structp) {}

Bytes WritePng(const PngSeed& s)
{
    const int channelsOf[] = {1, 0, 3, 1, 2, 0, 4};
    int channels = channelsOf[s.colorType];
    int paletteSize = s.paletteSize > 0 ? s.paletteSize : 1 << s.bitDepth;
    size_t rowBytes = (size_t(s.width) * channels * s.bitDepth + 7) / 8;
    std::vector<Bytes> rows(size_t(s.height), Bytes(rowBytes, 0));
    for (int y = 0; y < s.height; ++y)
        for (int i = 0; i < s.width * channels; ++i)
        {
            uint32_t v = s.colorType == PNG_COLOR_TYPE_PALETTE
                             ? Sample(i, y, 0, 8) % uint32_t(paletteSize)
                             : Sample(i / channels, y, i % channels, s.bitDepth);
            uint8_t* row = rows[size_t(y)].data();
            if (s.bitDepth == 16)
            {
                row[2 * i] = uint8_t(v >> 8);
                row[2 * i + 1] = uint8_t(v);
            }
            else
            {
                int bit = i * s.bitDepth;
                row[bit / 8] |= uint8_t(v << (8 - s.bitDepth - bit % 8));
            }
        }

    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngAppend, PngNoFlush);
    png_set_compression_level(png, 9);
    if (s.ancillary)
        png_set_compression_buffer_size(png, 48);
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(static_cast<size_t>(paletteSize));
    std::vector<png_byte> paletteAlpha;
    if (s.colorType == PNG_COLOR_TYPE_PALETTE)
    {
        for (int i = 0; i < paletteSize; ++i)
            palette[size_t(i)] = {png_byte(Sample(i, 0, 0, 8)), png_byte(Sample(i, 1, 1, 8)),
                                  png_byte(Sample(i, 2, 2, 8))};
        png_set_PLTE(png, info, palette.data(), paletteSize);
    }
    if (s.transparency)
    {
        png_color_16 key = {};
        uint16_t k = uint16_t(Sample(0, 0, 0, s.bitDepth == 16 ? 16 : s.bitDepth));
        key.gray = key.red = k;
        key.green = uint16_t(Sample(0, 0, 1, s.bitDepth));
        key.blue = uint16_t(Sample(0, 0, 2, s.bitDepth));
        if (s.colorType == PNG_COLOR_TYPE_PALETTE)
        {
            for (int i = 0; i < paletteSize && i < 5; ++i)
                paletteAlpha.push_back(png_byte(i * 60));
            png_set_tRNS(png, info, paletteAlpha.data(), int(paletteAlpha.size()), nullptr);
        }
        else
            png_set_tRNS(png, info, nullptr, 0, &key);
    }
    if (s.ancillary)
    {
        png_set_gAMA(png, info, 0.45455);
        png_color_8 sig = {5, 6, 5, 0, 0};
        png_set_sBIT(png, info, &sig);
        png_color_16 background = {0, 10, 20, 30, 0};
        png_set_bKGD(png, info, &background);
        png_set_pHYs(png, info, 2835, 2835, PNG_RESOLUTION_METER);
        png_text text = {};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>("Comment");
        text.text = const_cast<char*>("seed");
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (Bytes& r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

void WritePngSeeds()
{
    const int G = PNG_COLOR_TYPE_GRAY, RGB = PNG_COLOR_TYPE_RGB, P = PNG_COLOR_TYPE_PALETTE,
              GA = PNG_COLOR_TYPE_GRAY_ALPHA, RGBA = PNG_COLOR_TYPE_RGB_ALPHA;
    const PngSeed seeds[] = {
        {"grey1", G, 1},
        {"grey2", G, 2},
        {"grey4", G, 4},
        {"grey8", G, 8},
        {"grey16", G, 16},
        {"rgb8", RGB, 8},
        {"rgb16", RGB, 16},
        {"palette1", P, 1},
        {"palette2", P, 2},
        {"palette4", P, 4},
        {"palette8", P, 8},
        {"greyalpha8", GA, 8},
        {"greyalpha16", GA, 16},
        {"rgba8", RGBA, 8},
        {"rgba16", RGBA, 16},
        {"grey1_interlaced", G, 1, true, false, 0, false, 9, 9},
        {"palette4_interlaced", P, 4, true, false, 0, false, 9, 9},
        {"rgb8_interlaced", RGB, 8, true, false, 0, false, 9, 9},
        {"rgba16_interlaced", RGBA, 16, true, false, 0, false, 9, 9},
        {"greyalpha8_interlaced_1x1", GA, 8, true, false, 0, false, 1, 1},
        {"grey2_trns", G, 2, false, true},
        {"grey8_trns", G, 8, false, true},
        {"grey16_trns", G, 16, false, true},
        {"rgb8_trns", RGB, 8, false, true},
        {"rgb16_trns_interlaced", RGB, 16, true, true, 0, false, 9, 9},
        {"palette2_trns", P, 2, false, true},
        {"palette8_trns_short_palette", P, 8, false, true, 20},
        {"palette4_short_palette", P, 4, false, false, 5},
        {"rgb8_ancillary_chunks", RGB, 8, false, false, 0, true, 12, 6},
        {"rgba8_wide_row", RGBA, 8, false, false, 0, false, 61, 1},
    };
    for (const PngSeed& s : seeds)
        Save("imagelib_png", s.name, WritePng(s));
}

// ---- JPEG ------------------------------------------------------------------

struct JpegSeed
{
    const char* name;
    J_COLOR_SPACE input;                // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK
    J_COLOR_SPACE stored = JCS_UNKNOWN; // JCS_UNKNOWN: the library's default for the input
    bool progressive = false;
    int restartInterval = 0; // in MCUs
    bool arithmetic = false;
    int hSampling = 2; // of the first component; the others take 1
    int vSampling = 2;
    bool secondFrameHeader = false;
    int width = 16;
    int height = 16;
};

Bytes WriteJpeg(const JpegSeed& s)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    int components = s.input == JCS_GRAYSCALE ? 1 : s.input == JCS_CMYK ? 4 : 3;
    cinfo.image_width = JDIMENSION(s.width);
    cinfo.image_height = JDIMENSION(s.height);
    cinfo.input_components = components;
    cinfo.in_color_space = s.input;
    jpeg_set_defaults(&cinfo);
    if (s.stored != JCS_UNKNOWN)
        jpeg_set_colorspace(&cinfo, s.stored);
    jpeg_set_quality(&cinfo, 50, TRUE);
    cinfo.optimize_coding = s.arithmetic ? FALSE : TRUE; // arithmetic coding has no Huffman tables
    cinfo.arith_code = s.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = unsigned(s.restartInterval);
    if (components > 1)
    {
        cinfo.comp_info[0].h_samp_factor = s.hSampling;
        cinfo.comp_info[0].v_samp_factor = s.vSampling;
    }
    if (s.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const char comment[] = "seed";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment), sizeof comment - 1);
    std::vector<JSAMPLE> row(size_t(s.width) * components);
    while (cinfo.next_scanline < cinfo.image_height)
    {
        for (int i = 0; i < s.width * components; ++i)
            row[size_t(i)] =
                JSAMPLE(Sample(i / components, int(cinfo.next_scanline), i % components, 8) / 4 * 4);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(mem, mem + memSize);
    std::free(mem);

    if (s.secondFrameHeader)
    {
        // The frame header (SOF0 to SOF15, apart from DHT, JPG and DAC) written again right after itself.
        for (size_t i = 2; i + 4 <= out.size(); i += 2 + (size_t(out[i + 2]) << 8 | out[i + 3]))
        {
            uint8_t m = out[i + 1];
            if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC)
            {
                size_t end = i + 2 + (size_t(out[i + 2]) << 8 | out[i + 3]);
                Bytes frame(out.begin() + long(i), out.begin() + long(end));
                out.insert(out.begin() + long(end), frame.begin(), frame.end());
                break;
            }
        }
    }
    return out;
}

void WriteJpegSeeds()
{
    const J_COLOR_SPACE G = JCS_GRAYSCALE, RGB = JCS_RGB;
    const JpegSeed seeds[] = {
        {"grey", G},
        {"grey_progressive", G, JCS_UNKNOWN, true},
        {"grey_restart", G, JCS_UNKNOWN, false, 1, false, 1, 1, false, 24, 16},
        {"colour_420", RGB},
        {"colour_422", RGB, JCS_UNKNOWN, false, 0, false, 2, 1},
        {"colour_444", RGB, JCS_UNKNOWN, false, 0, false, 1, 1},
        {"colour_411_odd_size", RGB, JCS_UNKNOWN, false, 0, false, 4, 1, false, 13, 7},
        {"colour_progressive", RGB, JCS_UNKNOWN, true},
        {"colour_progressive_restart", RGB, JCS_UNKNOWN, true, 1},
        {"colour_restart", RGB, JCS_UNKNOWN, false, 1, false, 2, 2, false, 32, 16},
        {"colour_arithmetic", RGB, JCS_UNKNOWN, false, 0, true},
        {"colour_arithmetic_progressive", RGB, JCS_UNKNOWN, true, 0, true},
        {"colour_stored_as_rgb", RGB, JCS_RGB, false, 0, false, 1, 1},
        {"colour_1x1", RGB, JCS_UNKNOWN, false, 0, false, 2, 2, false, 1, 1},
        {"refused_cmyk", JCS_CMYK, JCS_UNKNOWN, false, 0, false, 1, 1, false, 8, 8},
        {"refused_ycck", JCS_CMYK, JCS_YCCK, false, 0, false, 1, 1, false, 8, 8},
        {"refused_second_frame_header", RGB, JCS_UNKNOWN, false, 0, false, 2, 2, true, 8, 8},
        {"refused_second_frame_header_progressive", RGB, JCS_UNKNOWN, true, 0, false, 2, 2, true, 8, 8},
    };
    for (const JpegSeed& s : seeds)
        Save("imagelib_jpeg", s.name, WriteJpeg(s));
}

// ---- GIF -------------------------------------------------------------------

using Vaxo::TestGif::GifBuilder;
using Vaxo::TestGif::LzwEncode;
using Vaxo::TestGif::LzwOptions;

std::vector<uint32_t> GifTable(int bits)
{
    std::vector<uint32_t> table(size_t(1) << bits);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = Sample(int(i), 3, 0, 8) << 16 | Sample(int(i), 4, 1, 8) << 8 | Sample(int(i), 5, 2, 8);
    return table;
}

Bytes GifIndices(int width, int height, int colours)
{
    Bytes indices;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            indices.push_back(uint8_t(Sample(x / 2, y, 0, 8) % uint32_t(colours)));
    return indices;
}

// One image of width x height on `colours` colours, LZW-coded with the given options.
GifBuilder& GifImage(GifBuilder& b, int width, int height, int colours,
                     const std::vector<uint32_t>& localTable, bool interlaced, const LzwOptions& o,
                     size_t blockSize = 255)
{
    b.Descriptor(width, height, localTable, interlaced);
    return b.Data(o.minCodeSize, LzwEncode(GifIndices(width, height, colours), o), blockSize);
}

LzwOptions Codes(int minCodeSize, size_t clearAtPixel = 0)
{
    LzwOptions o;
    o.minCodeSize = minCodeSize;
    o.clearAtPixel = clearAtPixel;
    return o;
}

void WriteGifSeeds()
{
    // Each table size with its usual minimum code size (2 at least).
    for (int bits = 1; bits <= 8; ++bits)
    {
        GifBuilder b;
        b.Header(10, 10, GifTable(bits));
        GifImage(b, 10, 10, 1 << bits, {}, false, Codes(bits < 2 ? 2 : bits)).Trailer();
        Save("imagelib_gif", "table" + std::to_string(bits) + "bit", b.Bytes());
    }
    // The minimum code sizes encoders rarely use: 1, and above 8.
    for (int size : {1, 9, 10, 11})
    {
        GifBuilder b;
        b.Header(10, 10, GifTable(size == 1 ? 1 : 3));
        GifImage(b, 10, 10, size == 1 ? 2 : 8, {}, false, Codes(size)).Trailer();
        Save("imagelib_gif", "code_size" + std::to_string(size), b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(12, 6, {});
        GifImage(b, 12, 6, 4, GifTable(2), false, Codes(2)).Trailer();
        Save("imagelib_gif", "local_table_only", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(12, 6, GifTable(3));
        GifImage(b, 12, 6, 16, GifTable(4), false, Codes(4)).Trailer();
        Save("imagelib_gif", "local_table_over_global", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(7, 19, GifTable(2));
        GifImage(b, 7, 19, 4, {}, true, Codes(2)).Trailer();
        Save("imagelib_gif", "interlaced", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(10, 10, GifTable(2)).GraphicControl(true, 1);
        GifImage(b, 10, 10, 4, {}, false, Codes(2)).Trailer();
        Save("imagelib_gif", "transparent", b.Bytes());
    }
    {
        // Application, comment and plain-text extensions, then three frames with their own controls.
        GifBuilder b;
        b.Header(8, 8, GifTable(2)).Extension(0xFF, "NETSCAPE2.0").Extension(0xFE, "seed");
        b.Extension(0x01, "plain text").GraphicControl(false, 0).GraphicControl(true, 3);
        GifImage(b, 8, 8, 4, {}, false, Codes(2)).GraphicControl(true, 2);
        GifImage(b, 4, 4, 4, GifTable(2), true, Codes(2)).GraphicControl(false, 0);
        GifImage(b, 8, 8, 4, {}, false, Codes(3)).Trailer();
        Save("imagelib_gif", "frames_and_extensions", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(9, 9, GifTable(3), "GIF87a");
        GifImage(b, 9, 9, 8, {}, false, Codes(3)).Trailer();
        Save("imagelib_gif", "gif87a", b.Bytes());
    }
    {
        // Codes in 7-byte sub-blocks, a clear code mid-image, a damaged control block first.
        GifBuilder b;
        b.Header(16, 8, GifTable(3)).GraphicControl(true, 0, 2);
        GifImage(b, 16, 8, 8, {}, false, Codes(3, 50), 7).Trailer();
        Save("imagelib_gif", "small_blocks_mid_clear", b.Bytes());
    }
    {
        // Fewer codes than pixels: the rest of the image stays clear.
        GifBuilder b;
        b.Header(10, 10, GifTable(2));
        b.Descriptor(10, 10, {}, false).Data(2, LzwEncode(GifIndices(10, 3, 4), Codes(2))).Trailer();
        Save("imagelib_gif", "short_data", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(4, 4, GifTable(2)).Trailer();
        Save("imagelib_gif", "refused_no_image", b.Bytes());
    }
    {
        GifBuilder b;
        b.Header(4, 4, GifTable(2)).Descriptor(4, 4, {}, false).Byte(12).Byte(0).Trailer();
        Save("imagelib_gif", "refused_code_size12", b.Bytes());
    }
}

// ---- TGA -------------------------------------------------------------------

struct TgaSeed
{
    const char* name;
    uint8_t imageType = 2;
    uint8_t depth = 32;
    uint8_t descriptor = 0x28; // 0x20: rows from the top; low four bits: alpha bits
    int idLength = 0;
    int colorMapEntries = 0;
    int colorMapEntryBits = 0;
    int width = 5;
    int height = 3;
    int missingBytes = 0; // cut from the end of the pixels
};

Bytes WriteTga(const TgaSeed& s)
{
    Bytes out(18, 0);
    out[0] = uint8_t(s.idLength);
    out[1] = s.colorMapEntries > 0 ? 1 : 0;
    out[2] = s.imageType;
    out[5] = uint8_t(s.colorMapEntries);
    out[6] = uint8_t(s.colorMapEntries >> 8);
    out[7] = uint8_t(s.colorMapEntryBits);
    out[12] = uint8_t(s.width);
    out[13] = uint8_t(s.width >> 8);
    out[14] = uint8_t(s.height);
    out[15] = uint8_t(s.height >> 8);
    out[16] = s.depth;
    out[17] = s.descriptor;
    for (int i = 0; i < s.idLength; ++i)
        out.push_back(uint8_t('a' + i % 26));
    for (int i = 0; i < s.colorMapEntries * ((s.colorMapEntryBits + 7) / 8); ++i)
        out.push_back(uint8_t(Sample(i, 7, 0, 8)));
    int bytesPerPixel = s.depth / 8 > 0 ? s.depth / 8 : 1;
    int pixelBytes = s.width * s.height * bytesPerPixel - s.missingBytes;
    for (int i = 0; i < pixelBytes; ++i)
        out.push_back(
            uint8_t(Sample(i / bytesPerPixel % s.width, i / bytesPerPixel / s.width, i % bytesPerPixel, 8)));
    return out;
}

void WriteTgaSeeds()
{
    const TgaSeed seeds[] = {
        {"top_down32"},
        {"top_down32_1x1", 2, 32, 0x28, 0, 0, 0, 1, 1},
        {"top_down32_wide", 2, 32, 0x28, 0, 0, 0, 40, 1},
        {"id_field", 2, 32, 0x28, 26},
        {"id_field_255", 2, 32, 0x28, 255, 0, 0, 2, 2},
        {"colour_map16", 2, 32, 0x28, 0, 4, 16},
        {"colour_map15_odd_bits", 2, 32, 0x28, 3, 5, 15},
        {"colour_map24", 2, 32, 0x28, 0, 3, 24},
        {"colour_map32", 2, 32, 0x28, 0, 2, 32},
        {"short_pixels", 2, 32, 0x28, 0, 0, 0, 5, 3, 7},
        {"refused_bottom_up32", 2, 32, 0x08},
        {"refused_top_down24", 2, 24, 0x20},
        {"refused_bottom_up24", 2, 24, 0x00},
        {"refused_colour_mapped", 1, 8, 0x20, 0, 4, 24},
        {"refused_grey", 3, 8, 0x20},
        {"refused_run_length", 10, 32, 0x28},
        {"refused_no_image", 0, 0, 0x00, 0, 0, 0, 0, 0},
    };
    for (const TgaSeed& s : seeds)
        Save("imagelib_tga", s.name, WriteTga(s));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <corpus folder holding imagelib_png, imagelib_jpeg, ...>\n", argv[0]);
        return 2;
    }
    gRoot = argv[1];
    WritePngSeeds();
    WriteJpegSeeds();
    WriteGifSeeds();
    WriteTgaSeeds();
    std::printf("%d seed files written below %s\n", gWritten, gRoot.c_str());
    return 0;
}
