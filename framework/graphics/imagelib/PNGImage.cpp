// PNG reader and writer through libpng. libpng reports errors by longjmp, so
// the functions that hold the setjmp point keep only plain pointers, in a
// state record that the caller cleans up whichever way they return.
#include "graphics/imagelib/ImageFileIO.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace Vaxo
{
namespace ImageLib
{

namespace
{

bool IsLittleEndianHost()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Errors return to the setjmp point silently; warnings are dropped.
void PngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngReadData(png_structp png, png_bytep data, png_size_t length)
{
    FILE* file = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length)
        png_error(png, "Read Error");
}

struct PngReadState
{
    png_structp png;
    png_infop info;
    png_bytepp rows; // malloc'd
    Image* image;
};

bool DecodePng(PngReadState* st)
{
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    // The pixels need only the header, palette, tRNS and image data. Any other
    // chunk is skipped unread: libpng would otherwise allocate a text chunk's
    // whole claimed length (up to 2 GB) before it could check the CRC.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // A mutated chunk keeps its old CRC (and mutated image data its old zlib
    // checksum); checking them would stop nearly every input at its first chunk.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
#endif
    png_read_info(png, info);
    png_uint_32 width, height;
    int bitDepth, colorType, interlace;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);

    png_set_expand(png);
    png_set_palette_to_rgb(png);
    png_set_gray_to_rgb(png);
    // The row buffer holds 4 bytes a pixel.
    png_set_strip_16(png);
    if (IsLittleEndianHost())
    {
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    else
    {
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
        png_set_swap_alpha(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4)
        return false;

    st->image = NewImage(width, height, false);
    if (st->image == nullptr)
        return false;
    st->rows = static_cast<png_bytepp>(std::malloc(sizeof(png_bytep) * height));
    if (st->rows == nullptr)
        return false;
    for (png_uint_32 y = 0; y < height; ++y)
        st->rows[y] = reinterpret_cast<png_bytep>(st->image->mBits + size_t(y) * width);
    png_read_image(png, st->rows);
    png_read_end(png, nullptr);
    return true;
}

struct PngWriteState
{
    png_structp png;
    png_infop info;
    FILE* file;
    Image* image;
    png_bytep row; // malloc'd, used on big-endian hosts
};

bool EncodePng(PngWriteState* st)
{
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_init_io(png, st->file);
    png_color_8 sigBits;
    sigBits.red = sigBits.green = sigBits.blue = sigBits.alpha = 8;
    sigBits.gray = 0;
    png_set_sBIT(png, info, &sigBits);
    png_set_bgr(png);
    png_uint_32 width = png_uint_32(st->image->mWidth);
    png_uint_32 height = png_uint_32(st->image->mHeight);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < height; ++y)
    {
        const uint32_t* src = st->image->mBits + size_t(y) * width;
        // Each pixel goes as blue, green, red, alpha: its bytes in memory on a
        // little-endian host (libpng copies the row before transforming it).
        png_bytep row = reinterpret_cast<png_bytep>(const_cast<uint32_t*>(src));
        if (!IsLittleEndianHost())
        {
            for (png_uint_32 x = 0; x < width; ++x)
            {
                uint32_t c = src[x];
                st->row[4 * x] = png_byte(c);
                st->row[4 * x + 1] = png_byte(c >> 8);
                st->row[4 * x + 2] = png_byte(c >> 16);
                st->row[4 * x + 3] = png_byte(c >> 24);
            }
            row = st->row;
        }
        png_write_rows(png, &row, 1);
    }
    png_write_end(png, info);
    return true;
}

} // namespace

Image* ReadPNGFile(FILE* file)
{
    PngReadState st = {nullptr, nullptr, nullptr, nullptr};
    st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (st.png == nullptr)
        return nullptr;
    st.info = png_create_info_struct(st.png);
    if (st.info == nullptr)
    {
        png_destroy_read_struct(&st.png, nullptr, nullptr);
        return nullptr;
    }
    png_set_read_fn(st.png, file, PngReadData);
    bool ok = DecodePng(&st);
    png_destroy_read_struct(&st.png, &st.info, nullptr);
    std::free(st.rows);
    if (!ok)
    {
        // A damaged or truncated file must not leak the pixels read so far.
        delete st.image;
        return nullptr;
    }
    return st.image;
}

Image* GetPNGImage(const std::string& path)
{
    return ReadFromPath(path, ReadPNGFile);
}

Image* GetPNGImageFromMemory(const void* data, size_t size)
{
    return ReadFromMemory(data, size, ReadPNGFile);
}

bool WritePNGImage(const std::string& path, Image* image)
{
    if (image == nullptr || !IsAcceptedSize(image->mWidth, image->mHeight) || image->mBits == nullptr)
        return false;
    PngWriteState st = {nullptr, nullptr, nullptr, image, nullptr};
    st.file = std::fopen(path.c_str(), "wb");
    if (st.file == nullptr)
        return false;
    st.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (st.png != nullptr)
        st.info = png_create_info_struct(st.png);
    bool ok = false;
    if (st.info != nullptr)
    {
        st.row = static_cast<png_bytep>(std::malloc(size_t(image->mWidth) * 4));
        ok = st.row != nullptr && EncodePng(&st);
    }
    png_destroy_write_struct(&st.png, &st.info);
    std::free(st.row);
    // A full disk must not be reported as a written file.
    if (std::fclose(st.file) != 0)
        ok = false;
    return ok;
}

} // namespace ImageLib
} // namespace Vaxo
