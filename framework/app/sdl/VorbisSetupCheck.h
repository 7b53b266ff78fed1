// Internal to framework/app/sdl.
// VorbisSetupCheck: the header packets of every Vorbis stream in an Ogg file, read as the
// decoder here (libvorbis through libvorbisfile) reads them, down to the setup header's
// codebooks, floors, residues, mappings and modes. Used by SoundFileCheck for every Ogg sound
// effect and song, after the identification headers have been checked.
//
// The decoder builds each codebook's Huffman tree only when it starts decoding. When a tree
// cannot be built (code lengths that over- or under-fill it) that start fails but keeps the
// half-built books; SDL_mixer's music reader asks again, and the decoder then decodes with
// emptied books and divides by zero on the mixer thread (a sound effect, decoded at once,
// stops there and keeps a buffer it never wrote). A lattice codebook of no dimension makes the
// same start loop for ever, a residue book of no dimension divides by zero or reads the whole
// packet for nothing, and a book of a million codes overflows the stack it is sorted on. What
// the decoder refuses by itself (a field out of range, the packet cut short) is refused here
// too, so that every later field is read where the decoder reads it.
//
// The pages are those the Ogg reader accepts (their checksums right), found as it finds them;
// a page that starts inside another is refused, since a seek could land on it where reading
// from the start steps over it.
#pragma once

#include "app/sdl/SoundFileCheck.h"

#include <cstddef>
#include <cstdint>

namespace Vaxo
{

// Codebooks of more codes than this are refused: the decoder sorts a book's codes in arrays on
// the stack of whichever thread starts decoding, 12 bytes a code (a thread has 8 MiB here);
// encoders use a few thousand.
constexpr uint32_t kMaxCodebookEntries = 65536;

// An Ogg page: a header of kOggPageHeader bytes ("OggS", version, flags at 5, granule position
// at 6, serial number at 14, sequence number at 18, checksum at kOggChecksumAt, segment count at
// 26), the segment table (one lacing value a segment), then the segments.
constexpr size_t kOggPageHeader = 27;
constexpr size_t kOggChecksumAt = 22;
constexpr uint8_t kOggContinued = 1; // flag: the page goes on with the packet the last one cut
constexpr uint8_t kOggFirstPage = 2; // flag: a stream's first page

// The size of the Ogg page that starts at p (header, segment table and body) when it lies whole
// within [p, end), else 0.
size_t OggPageSize(const uint8_t* p, const uint8_t* end);

// The checksum an Ogg page of size bytes must carry in its bytes 22-25 (which it covers as
// zeros): CRC-32 of polynomial 0x04C11DB7, most significant bit first, from 0.
uint32_t OggPageChecksum(const uint8_t* page, size_t size);

// Checks the comment and setup headers of every Vorbis stream of an Ogg file whose
// identification headers passed; answers OggLayout, VorbisHeader or Codebook, or None.
SoundFileProblem CheckVorbisHeaders(const uint8_t* data, size_t size);

} // namespace Vaxo
