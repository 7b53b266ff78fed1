// JPEG reader and writer through libjpeg, with a data source of our own over
// an open stream. libjpeg's error exit longjmps, so the functions that hold
// the setjmp point keep only plain pointers in a state record.
#include "graphics/imagelib/ImageFileIO.h"

#include <csetjmp>
#include <cstring>
#include <new>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace Vaxo
{
namespace ImageLib
{

namespace
{

// libjpeg-turbo decodes with its fast Huffman path only while a few KB of
// input sit in the buffer, so the buffer is well above that.
constexpr size_t kSourceBufferSize = 65536;
// Rows handed to libjpeg per call (fewer calls, less per-row overhead).
constexpr int kRowsPerRead = 16;
// Bounds the coefficient memory of a progressive file that claims a huge size.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;
// A progressive file may repeat scans without end, and each costs a pass over
// the whole image: at most 1000 scans, and fewer for a large image so that
// scans x pixels stays within a bound (32 scans at the largest size).
constexpr uint64_t kMaxScans = 1000;
constexpr uint64_t kScanPixelBudget = uint64_t(kMaxImagePixels) * 32;

bool IsLittleEndianHost()
{
    const uint16_t probe = 1;
    uint8_t first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

struct JpegErrorMgr
{
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    longjmp(reinterpret_cast<JpegErrorMgr*>(cinfo->err)->jump, 1);
}

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Nearly every fuzzed input is damaged: printing each message would cost more
// than decoding it.
void JpegNoOutput(j_common_ptr) {}
#endif

void JpegLimitScans(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    uint64_t pixels = uint64_t(d->image_width) * d->image_height;
    uint64_t limit = pixels == 0 ? kMaxScans : kScanPixelBudget / pixels;
    if (limit > kMaxScans)
        limit = kMaxScans;
    if (uint64_t(d->input_scan_number) > limit)
        longjmp(reinterpret_cast<JpegErrorMgr*>(cinfo->err)->jump, 1);
}

// The data source: up to kSourceBufferSize bytes at a time from the stream.
struct PakSource
{
    jpeg_source_mgr pub;
    FILE* file;
    JOCTET* buffer;
    boolean startOfFile;
};

void PakInitSource(j_decompress_ptr cinfo)
{
    reinterpret_cast<PakSource*>(cinfo->src)->startOfFile = TRUE;
}

boolean PakFillInputBuffer(j_decompress_ptr cinfo)
{
    PakSource* src = reinterpret_cast<PakSource*>(cinfo->src);
    size_t n = std::fread(src->buffer, 1, kSourceBufferSize, src->file);
    if (n == 0)
    {
        if (src->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        // A premature end: warn and finish the image as if it ended here.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = JOCTET(0xFF);
        src->buffer[1] = JOCTET(JPEG_EOI);
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = FALSE;
    return TRUE;
}

void PakSkipInputData(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr* src = cinfo->src;
    if (count <= 0)
        return;
    while (size_t(count) > src->bytes_in_buffer)
    {
        count -= long(src->bytes_in_buffer);
        PakFillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

void PakTermSource(j_decompress_ptr) {}

void jpeg_pak_src(j_decompress_ptr cinfo, FILE* file)
{
    PakSource* src = static_cast<PakSource*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                        JPOOL_PERMANENT, sizeof(PakSource)));
    src->buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo),
                                                                  JPOOL_PERMANENT, kSourceBufferSize));
    src->pub.init_source = PakInitSource;
    src->pub.fill_input_buffer = PakFillInputBuffer;
    src->pub.skip_input_data = PakSkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = PakTermSource;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    src->file = file;
    src->startOfFile = TRUE;
    cinfo->src = &src->pub;
}

struct JpegReadState
{
    jpeg_decompress_struct cinfo;
    JpegErrorMgr err;
    jpeg_progress_mgr progress;
    FILE* file;
    Image* image;
};

bool DecodeJpeg(JpegReadState* st)
{
    j_decompress_ptr cinfo = &st->cinfo;
    if (setjmp(st->err.jump))
        return false;

    jpeg_CreateDecompress(cinfo, 62, sizeof(jpeg_decompress_struct));
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
    st->progress.progress_monitor = JpegLimitScans;
    cinfo->progress = &st->progress;
    jpeg_pak_src(cinfo, st->file);
    jpeg_read_header(cinfo, TRUE);

    // Only grey and colour files map onto ARGB; CMYK would come out as garbage.
    jpeg_calc_output_dimensions(cinfo);
    if (cinfo->output_components != 1 && cinfo->output_components != 3)
        return false;
    if (!IsAcceptedSize(cinfo->output_width, cinfo->output_height))
        return false;
    bool grey = cinfo->output_components == 1;
#ifdef JCS_EXTENSIONS
    // libjpeg-turbo can write blue, green, red, 0xFF: the ARGB word in memory on
    // a little-endian host, converted with the same arithmetic as plain RGB.
    bool direct = IsLittleEndianHost();
    if (direct)
        cinfo->out_color_space = JCS_EXT_BGRA;
#else
    bool direct = false;
#endif

    jpeg_start_decompress(cinfo);
    st->image = NewImage(cinfo->output_width, cinfo->output_height, false);
    if (st->image == nullptr)
        return false;
    size_t width = cinfo->output_width;
    uint32_t* bits = st->image->mBits;
    if (direct)
    {
        JSAMPROW rows[kRowsPerRead];
        while (cinfo->output_scanline < cinfo->output_height)
        {
            JDIMENSION first = cinfo->output_scanline;
            JDIMENSION count = cinfo->output_height - first;
            if (count > JDIMENSION(kRowsPerRead))
                count = kRowsPerRead;
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = reinterpret_cast<JSAMPROW>(bits + size_t(first + i) * width);
            jpeg_read_scanlines(cinfo, rows, count);
        }
    }
    else
    {
        JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                        JDIMENSION(width * cinfo->output_components), 1);
        while (cinfo->output_scanline < cinfo->output_height)
        {
            uint32_t* dst = bits + size_t(cinfo->output_scanline) * width;
            jpeg_read_scanlines(cinfo, buffer, 1);
            const JSAMPLE* p = buffer[0];
            if (grey)
                for (size_t x = 0; x < width; ++x)
                    dst[x] = 0xFF000000u | uint32_t(p[x]) * 0x010101u;
            else
                for (size_t x = 0; x < width; ++x, p += 3)
                    dst[x] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

struct JpegWriteState
{
    jpeg_compress_struct cinfo;
    JpegErrorMgr err;
    FILE* file;
    Image* image;
};

bool EncodeJpeg(JpegWriteState* st)
{
    j_compress_ptr cinfo = &st->cinfo;
    if (setjmp(st->err.jump))
        return false;

    jpeg_CreateCompress(cinfo, 62, sizeof(jpeg_compress_struct));
    cinfo->image_width = JDIMENSION(st->image->mWidth);
    cinfo->image_height = JDIMENSION(st->image->mHeight);
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 80, TRUE);
    jpeg_stdio_dest(cinfo, st->file);
    jpeg_start_compress(cinfo, TRUE);
    size_t width = size_t(st->image->mWidth);
    JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                    JDIMENSION(width * 3), 1);
    while (cinfo->next_scanline < cinfo->image_height)
    {
        const uint32_t* src = st->image->mBits + size_t(cinfo->next_scanline) * width;
        JSAMPLE* p = buffer[0];
        for (size_t x = 0; x < width; ++x, p += 3)
        {
            p[0] = JSAMPLE(src[x] >> 16);
            p[1] = JSAMPLE(src[x] >> 8);
            p[2] = JSAMPLE(src[x]);
        }
        jpeg_write_scanlines(cinfo, buffer, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

Image* ReadJPEGFile(FILE* file)
{
    JpegReadState* st = new (std::nothrow) JpegReadState();
    if (st == nullptr)
        return nullptr;
    st->file = file;
    st->cinfo.err = jpeg_std_error(&st->err.pub);
    st->err.pub.error_exit = JpegErrorExit;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    st->err.pub.output_message = JpegNoOutput;
#endif
    std::memset(&st->progress, 0, sizeof(st->progress));
    bool ok = DecodeJpeg(st);
    jpeg_destroy_decompress(&st->cinfo);
    Image* image = st->image;
    delete st;
    if (!ok)
    {
        // A damaged file must not leak the pixels read so far.
        delete image;
        return nullptr;
    }
    return image;
}

Image* GetJPEGImage(const std::string& path)
{
    return ReadFromPath(path, ReadJPEGFile);
}

Image* GetJPEGImageFromMemory(const void* data, size_t size)
{
    return ReadFromMemory(data, size, ReadJPEGFile);
}

bool WriteJPEGImage(const std::string& path, Image* image)
{
    if (image == nullptr || !IsAcceptedSize(image->mWidth, image->mHeight) || image->mBits == nullptr)
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    JpegWriteState* st = new (std::nothrow) JpegWriteState();
    if (st == nullptr)
    {
        std::fclose(file);
        return false;
    }
    st->file = file;
    st->image = image;
    st->cinfo.err = jpeg_std_error(&st->err.pub);
    st->err.pub.error_exit = JpegErrorExit;
    bool ok = EncodeJpeg(st);
    jpeg_destroy_compress(&st->cinfo);
    delete st;
    // A full disk must not be reported as a written file.
    if (std::fclose(file) != 0)
        ok = false;
    return ok;
}

} // namespace ImageLib
} // namespace Vaxo
