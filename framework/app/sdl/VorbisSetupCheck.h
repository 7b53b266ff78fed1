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
// too, so that every later field is read where the decoder reads it, as is what it refuses in
// the identification and comment headers (a version, block sizes or a comment length it does
// not take), which would fail the load with no word of why.
//
// The decoder builds tables from the setup header, at its start and while it decodes, whose
// size the header's fields choose: a value for each code and dimension of a book, a look-up
// for every combination of classes a residue codes. A header of a few kilobytes could ask
// for gigabytes (and the decoder, refused the memory, writes through a null pointer), so what
// it allocates for the headers of all the file's streams is added up here and bounded: what it
// keeps for every stream while the file is open, and what it holds for the one it decodes.
//
// The pages are those the Ogg reader accepts (their checksums right), found as it finds them;
// a page that starts inside another is refused, since a seek could land on it where reading
// from the start steps over it, and so is a page of a stream that did not begin the link (the
// part of a chained file) it is in, which libvorbisfile takes for the start of a link. libvorbisfile searches
// a file for pages backwards from its end in 64 KiB steps, each step reading on to the end again, and
// checksums every page a capture pattern ("OggS") seems to start: bytes outside the pages and capture
// patterns that start no page cost it time that grows with their square, minutes for a few megabytes, and are
// bounded too. So are the pages that follow the played stream's last page in a link, through which the open
// searches back one page at a time, each step reading 64 KiB again (LinkSearch).
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

// The most memory the decoder may allocate for the headers of a file's streams: what it keeps
// for each of them until the file is closed (libvorbisfile keeps every stream's headers, each
// codebook as read or, once it has decoded the stream, as built for decoding), added up over all
// of them, and the most it holds besides to decode one stream (the look-ups it drops for the next
// stream of a chained file). The headers of libvorbis's own encoder take 90 to 190 KiB a stream
// at every quality (-1 to 10), rate (8 to 192 kHz) and channel count, ffmpeg's encoder's 115 KiB:
// this is over 40 times as much.
constexpr uint64_t kMaxVorbisHeaderMemory = 8 << 20;

// The most bytes outside the Ogg pages (a damaged page, a file cut short, a tag appended) and
// the most capture patterns that start no page that a file may hold. Encoders write neither;
// a file cut short has one of each, and its last page's bytes.
constexpr uint32_t kMaxOggStrayBytes = 65536;
constexpr int32_t kMaxOggFalseCaptures = 16;

// The most that libvorbisfile's open may search back through, in steps weighed by the streams of
// their link and their reading, as LinkSearch counts them: an open at the bound takes 0.18 s (two
// streams) to 0.24 s (64 streams), where 100,000 empty pages after the audio took 4 s with two
// streams and 35 s with 401. An encoder's file costs nothing: its last page is its audio's, and a
// second stream muxed beside the audio ends within 64 KiB of it.
constexpr uint64_t kMaxOggBackSearch = 1 << 18;

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

// A Vorbis identification header: its type and "vorbis", then the fields below; the decoder
// reads kVorbisIdHeader bytes of it.
constexpr size_t kVorbisIdHeader = 30;
struct VorbisIdentification
{
    uint32_t version;
    uint32_t channels;
    uint32_t rate;
    uint32_t blockSizes[2]; // samples, short then long
    bool framing;           // the bit that ends the header
};

// The fields of the identification header at p, which holds kVorbisIdHeader bytes.
VorbisIdentification ReadVorbisIdentification(const uint8_t* p);

// Whether the decoder takes an identification header's version, block sizes and framing bit:
// version 0, blocks of 64 to 8192 samples, the short one not longer than the long one.
bool DecoderTakes(const VorbisIdentification& id);

// Checks the pages of an Ogg file whose identification headers passed, and the comment and
// setup headers of every Vorbis stream; answers OggLayout, OggStray, OggBackSearch, VorbisHeader,
// Codebook or HeaderMemory, or None.
SoundFileProblem CheckVorbisHeaders(const uint8_t* data, size_t size);

} // namespace Vaxo
