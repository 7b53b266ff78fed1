// Internal to framework/graphics/imagelib.
// Shared pieces of the image readers and writers: the FILE* form of each
// reader (the path and memory forms wrap it) and the little-endian and GIF
// sub-block helpers.
#pragma once

#include "graphics/imagelib/ImageLib.h"

#include <cstdint>
#include <cstdio>

namespace Vaxo
{
namespace ImageLib
{

// Readers over an open stream; they read from its current position and never close it.
Image* ReadTGAFile(FILE* file);
Image* ReadGIFFile(FILE* file);
Image* ReadPNGFile(FILE* file);
Image* ReadJPEGFile(FILE* file);

// A new image of that size, or null when the size is refused or memory is short.
// Pixels are zeroed only when asked (a reader that fills every pixel skips it).
Image* NewImage(int64_t width, int64_t height, bool zeroed);

// Opens `path` with mode "rb", runs the reader and closes the file.
Image* ReadFromPath(const std::string& path, Image* (*reader)(FILE*));
// Runs the reader over a read-only stream of the bytes.
Image* ReadFromMemory(const void* data, size_t size, Image* (*reader)(FILE*));

// Two bytes as a little-endian unsigned 16-bit value; false at end of file.
bool P_ReadShort(FILE* file, uint16_t* value);
// One GIF data sub-block: a count byte, then that many bytes into `buffer`
// (at least 255 bytes). Returns the number of bytes read: 0 at the
// terminator or at end of file, fewer than the count when the file ends.
int ReadBlobBlock(FILE* file, uint8_t* buffer);

} // namespace ImageLib
} // namespace Vaxo
