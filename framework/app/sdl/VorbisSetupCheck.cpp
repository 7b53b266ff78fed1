// Index:
// [SECTION] Ogg pages as the reader finds them
// [SECTION] Bit reader
// [SECTION] Memory the decoder takes
// [SECTION] Codebooks
// [SECTION] Floors, residues, mappings and modes
// [SECTION] Header packets of each stream
#include "app/sdl/VorbisSetupCheck.h"

#include "common/Buffer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <vector>

namespace Vaxo
{

namespace
{

using P = SoundFileProblem;

//-------------------------------------------------------------------------------------------------
// [SECTION] Ogg pages as the reader finds them
//-------------------------------------------------------------------------------------------------

constexpr uint8_t kCapture[] = {'O', 'g', 'g', 'S'};

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct OggPage
{
    const uint8_t* start = nullptr;
    size_t size = 0; // header, segment table and body

    uint8_t Flags() const { return start[5]; }
    uint32_t Serial() const { return Le32(start + 14); }
    uint32_t Sequence() const { return Le32(start + 18); }
    size_t Segments() const { return start[26]; }
    const uint8_t* Lacing() const { return start + kOggPageHeader; }
    const uint8_t* Body() const { return start + kOggPageHeader + Segments(); }
};

bool ChecksumRight(const OggPage& page)
{
    return OggPageChecksum(page.start, page.size) == Le32(page.start + kOggChecksumAt);
}

// Walks the pages of a file from its start as the Ogg reader finds them, and counts what the
// reader searches through besides them: the bytes outside the pages and the capture patterns
// that start none (each checksummed over all that its header claims, up to 64 KiB). It stops
// counting, and finding, once they are more than the bounds allow: so the walk stays linear.
class PageWalk
{
public:
    PageWalk(const uint8_t* data, size_t size) : mFrom(data), mEnd(data + size) {}

    // The next page: at the next capture pattern whose page checksum is right, the search going
    // on from the byte after each other one. (A page running past the end of the file is
    // stepped over too, where the reader would stop: every page that any reading could find is
    // found.) Size 0 at the end of the file.
    OggPage Next()
    {
        for (const uint8_t* p = std::search(mFrom, mEnd, kCapture, kCapture + 4);
             p != mEnd && !TooMuchStray(); p = std::search(p + 1, mEnd, kCapture, kCapture + 4))
        {
            const OggPage page = {p, OggPageSize(p, mEnd)};
            if (page.size > 0 && ChecksumRight(page))
            {
                mStrayBytes += uint64_t(page.start - mFrom);
                mFrom = page.start + page.size;
                return page;
            }
            ++mFalseCaptures;
        }
        mStrayBytes += uint64_t(mEnd - mFrom);
        mFrom = mEnd;
        return {};
    }

    // Whether another page the reader would take starts inside this one. Reading from the start
    // steps over it, but a seek may land on it: it is as much a part of the file as this one.
    bool HoldsPage(const OggPage& page)
    {
        const uint8_t* const pageEnd = page.start + page.size;
        // A capture pattern may begin in the page's last bytes and end after it.
        const uint8_t* const searchEnd = mEnd - pageEnd >= 3 ? pageEnd + 3 : mEnd;
        for (const uint8_t* p = std::search(page.start + 1, searchEnd, kCapture, kCapture + 4);
             p < pageEnd && !TooMuchStray(); p = std::search(p + 1, searchEnd, kCapture, kCapture + 4))
        {
            const OggPage inner = {p, OggPageSize(p, mEnd)};
            if (inner.size > 0 && ChecksumRight(inner))
                return true;
            ++mFalseCaptures;
        }
        return false;
    }

    bool TooMuchStray() const
    {
        return mStrayBytes > kMaxOggStrayBytes || mFalseCaptures > kMaxOggFalseCaptures;
    }

private:
    const uint8_t* mFrom; // where the search for the next page starts
    const uint8_t* mEnd;
    uint64_t mStrayBytes = 0;
    int32_t mFalseCaptures = 0;
};

// A link (the part of a chained file that one set of first pages opens) as libvorbisfile's open
// searches it. The decoder plays the link's first stream, and the open looks for that stream's
// last page backwards from the link's end one page at a time: each step reads the 64 KiB before
// the page it stands on again, checksumming every page there and comparing its serial number
// with each stream of the link, until that stretch holds a page of the played stream. So every
// page more than 64 KiB past the played stream's last page costs a step.
class LinkSearch
{
public:
    explicit LinkSearch(uint32_t played = 0) : mPlayed(played) {}

    // Whether the link's first pages name the stream.
    bool Has(uint32_t serial) const { return mStreams.count(serial) != 0; }
    void AddStream(uint32_t serial) { mStreams.insert(serial); }
    void MoveStreamsTo(std::set<uint32_t>* streams) { streams->merge(mStreams); }

    // A page of the link, which starts at offset.
    void Page(uint32_t serial, int64_t offset)
    {
        if (serial == mPlayed)
        {
            mPlayedEnd = offset;
            mSteps = 0;
        }
        else if (offset - mPlayedEnd > kWindow)
            ++mSteps;
    }

    // What the search through the link's pages so far costs: its steps, each weighed by the
    // streams compared and by the reading (about as much as 64 more).
    uint64_t Cost() const { return mSteps * (mStreams.size() + 64); }

private:
    static constexpr int64_t kWindow = 65536;
    std::set<uint32_t> mStreams;
    uint32_t mPlayed;
    int64_t mPlayedEnd = 0; // where the played stream's last page so far starts
    uint64_t mSteps = 0;
};

//-------------------------------------------------------------------------------------------------
// [SECTION] Bit reader
//-------------------------------------------------------------------------------------------------

// Reads a packet's fields least significant bit first, as Vorbis packs them. Past the end it
// answers 0 and remembers it: the decoder refuses a header it reads past.
class BitReader
{
public:
    BitReader(const uint8_t* data, size_t size) : mData(data), mBits(uint64_t(size) * 8) {}

    uint32_t Read(int32_t bits)
    {
        if (uint64_t(bits) > BitsLeft())
        {
            mOverrun = true;
            mPos = mBits;
            return 0;
        }
        uint32_t value = 0;
        for (int32_t i = 0; i < bits; ++i, ++mPos)
            value |= uint32_t(mData[mPos / 8] >> (mPos % 8) & 1) << i;
        return value;
    }

    void Skip(uint64_t bits)
    {
        if (bits > BitsLeft())
            mOverrun = true;
        mPos = bits > BitsLeft() ? mBits : mPos + bits;
    }

    uint64_t BitsLeft() const { return mBits - mPos; }
    bool Overrun() const { return mOverrun; }

private:
    const uint8_t* mData;
    uint64_t mBits;
    uint64_t mPos = 0;
    bool mOverrun = false;
};

// The number of bits needed to write v.
int32_t ILog(uint32_t v)
{
    int32_t bits = 0;
    for (; v != 0; v >>= 1)
        ++bits;
    return bits;
}

// Whether base to the power exp is at most limit (both below 2^25: no product overflows).
bool PowerAtMost(uint64_t base, uint32_t exp, uint64_t limit)
{
    if (base <= 1 || exp == 0)
        return (exp == 0 ? 1 : base) <= limit;
    uint64_t product = 1;
    for (uint32_t i = 0; i < exp; ++i)
        if ((product *= base) > limit)
            return false;
    return true;
}

//-------------------------------------------------------------------------------------------------
// [SECTION] Memory the decoder takes
//-------------------------------------------------------------------------------------------------

// What libvorbis 1.3.7 allocates for each part of the headers, as a 64-bit build lays out its
// structures: the setup of a stream, a codebook as read and as built for decoding, a floor of
// each type as read and its look-up, a residue as read and its look-up, a mapping, a mode.
constexpr uint64_t kSetupInfoBytes = 5784;
constexpr uint64_t kStaticBookBytes = 72;
constexpr uint64_t kDecodeBookBytes = 96;
constexpr uint64_t kFloor0Bytes = 112;
constexpr uint64_t kFloor0LookBytes = 48;
constexpr uint64_t kFloor1Bytes = 1120;
constexpr uint64_t kFloor1LookBytes = 1328;
constexpr uint64_t kResidueBytes = 2848;
constexpr uint64_t kResidueLookBytes = 80;
constexpr uint64_t kMappingBytes = 3208;
constexpr uint64_t kModeBytes = 16;

// What an allocation of size bytes takes of the C library's heap: with its 8-byte header,
// rounded up to 16 bytes, 32 at least. Tables of many small pieces cost far more than their
// bytes.
uint64_t Heap(uint64_t size)
{
    return std::max<uint64_t>(32, (size + 8 + 15) / 16 * 16);
}

// What the decoder allocates for one stream's headers. libvorbisfile keeps every stream's headers
// while the file is open: the setup, the comments, and each book as read, or as built once it has
// decoded the stream. What it holds only while it decodes the stream, and drops for the next one
// of a chained file, is its decoding state: the look-ups of the floors and residues, and, as it
// starts, the one book it is building.
struct StreamMemory
{
    uint64_t kept = 0;
    uint64_t decoding = 0;
};

//-------------------------------------------------------------------------------------------------
// [SECTION] Codebooks
//-------------------------------------------------------------------------------------------------

struct Codebook
{
    uint32_t dim = 0;
    uint32_t entries = 0;
    uint32_t used = 0; // entries with a code
    uint32_t mapType = 0;
    uint64_t values = 0; // stored values, of a lattice or for each code and dimension

    // What the decoder allocates for the book as read: its code lengths and values.
    uint64_t AsRead() const
    {
        return kStaticBookBytes + Heap(entries) + (mapType != 0 ? Heap(values * 8) : 0);
    }

    // What it allocates for the book as built for decoding, which then replaces the book as read:
    // the codes, a value for each dimension of each used code when it has values, the entry and
    // length of each code, and a first look-up table of at most 256 entries.
    uint64_t Built() const
    {
        if (used == 0)
            return kDecodeBookBytes;
        return kDecodeBookBytes + 2 * Heap(uint64_t(used) * 4) + Heap(used) + Heap(256 * 4) +
               (mapType != 0 ? Heap(uint64_t(used) * dim * 4) : 0);
    }

    // What it holds besides the book as read and as built while it builds it: the codes once more.
    uint64_t Building() const { return used > 0 ? Heap(uint64_t(used) * 4) : 0; }
};

// Gives each used entry, in order, the lowest code of its length not taken and not on the
// path of a taken one, as the decoder builds its tree; false when a length finds no code left
// (the lengths over-fill the tree) or codes are left over at the end (they under-fill it),
// except for a book of one code of one bit.
class CodeTree
{
public:
    bool Add(uint32_t length)
    {
        uint64_t code = mNext[length];
        if (code >> length != 0)
            return false;
        ++mCodes;
        // This node is taken: the next free one of its length is its neighbour, or, if that
        // is taken too, the one after its parent's.
        for (uint32_t j = length; j > 0; --j)
        {
            if (mNext[j] & 1)
            {
                mNext[j] = j == 1 ? mNext[1] + 1 : mNext[j - 1] << 1;
                break;
            }
            ++mNext[j];
        }
        // Longer free codes that hung below the taken node hang below the next one.
        for (uint32_t j = length + 1; j <= 32 && mNext[j] >> 1 == code; ++j)
        {
            code = mNext[j];
            mNext[j] = mNext[j - 1] << 1;
        }
        return true;
    }

    bool Full() const
    {
        if (mCodes == 1 && mNext[2] == 2)
            return true;
        for (uint32_t j = 1; j <= 32; ++j)
            if (mNext[j] & ((uint64_t(1) << j) - 1))
                return false;
        return true;
    }

private:
    std::array<uint64_t, 33> mNext{}; // the lowest free code of each length
    uint32_t mCodes = 0;
};

// The values per dimension of a lattice book of dim >= 1 dimensions: the largest v with
// v^dim <= entries.
uint32_t LatticeValues(uint32_t entries, uint32_t dim)
{
    uint32_t low = 0;
    for (uint32_t high = entries; low < high;)
    {
        const uint32_t mid = low + (high - low + 1) / 2;
        if (PowerAtMost(mid, dim, entries))
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

SoundFileProblem ReadCodebook(BitReader& bits, Codebook* book)
{
    if (bits.Read(24) != 0x564342)
        return P::VorbisHeader;
    book->dim = bits.Read(16);
    book->entries = bits.Read(24);
    const uint32_t entries = book->entries;
    if (ILog(book->dim) + ILog(entries) > 24)
        return P::VorbisHeader;
    bool usable = true;
    if (bits.Read(1) == 0)
    {
        // A length for each entry, or a flag and a length for each used one.
        const bool sparse = bits.Read(1) != 0;
        if (uint64_t(entries) * (sparse ? 1 : 5) > bits.BitsLeft())
            return P::VorbisHeader;
        CodeTree tree;
        for (uint32_t i = 0; i < entries; ++i)
        {
            if (sparse && bits.Read(1) == 0)
                continue;
            const uint32_t length = bits.Read(5) + 1;
            ++book->used;
            usable = tree.Add(length) && usable;
        }
        usable = usable && (book->used == 0 || tree.Full());
    }
    else
    {
        // Lengths in rising order, as counts of entries of each length: the codes are handed
        // out in order, so the tree is full exactly when the code space adds up to one.
        uint32_t length = bits.Read(5) + 1;
        uint64_t space = 0; // in units of a 32-bit code
        for (uint32_t i = 0; i < entries; ++length)
        {
            const uint32_t count = bits.Read(ILog(entries - i));
            if (bits.Overrun() || length > 32 || count > entries - i ||
                (count > 0 && (count - 1) >> (length - 1) > 1))
                return P::VorbisHeader;
            space += uint64_t(count) << (32 - length);
            i += count;
        }
        book->used = entries;
        usable = entries == 0 || space == uint64_t(1) << 32 || (entries == 1 && space == uint64_t(1) << 31);
    }

    book->mapType = bits.Read(4);
    if (book->mapType == 1 || book->mapType == 2)
    {
        bits.Skip(64); // minimum and step
        const uint32_t valueBits = bits.Read(4) + 1;
        bits.Skip(1);
        book->values = book->mapType == 2 ? uint64_t(entries) * book->dim
                       : book->dim == 0   ? 0
                                          : LatticeValues(entries, book->dim);
        if (book->values * valueBits > bits.BitsLeft())
            return P::VorbisHeader;
        bits.Skip(book->values * valueBits);
    }
    else if (book->mapType != 0)
        return P::VorbisHeader;
    if (bits.Overrun())
        return P::VorbisHeader;
    // A lattice of no dimension: the decoder looks for ever for the values per dimension.
    const bool noLattice = book->mapType == 1 && book->dim == 0 && book->used > 0;
    return usable && !noLattice && book->used <= kMaxCodebookEntries ? P::None : P::Codebook;
}

//-------------------------------------------------------------------------------------------------
// [SECTION] Floors, residues, mappings and modes
//-------------------------------------------------------------------------------------------------

// The setup header's tables, as far as later fields refer to them.
struct Setup
{
    std::vector<Codebook> books;
    uint32_t floors = 0;
    uint32_t residues = 0;
    uint32_t mappings = 0;
    VorbisIdentification id{};
    StreamMemory memory; // what the decoder allocates for the tables read so far
};

bool IsBook(const Setup& setup, uint32_t book)
{
    return book < setup.books.size();
}

bool ReadFloor0(BitReader& bits, Setup& setup)
{
    const uint32_t order = bits.Read(8);
    const uint32_t rate = bits.Read(16);
    const uint32_t barkMap = bits.Read(16);
    bits.Skip(6 + 8); // amplitude bits and offset
    const uint32_t books = bits.Read(4) + 1;
    if (order < 1 || rate < 1 || barkMap < 1)
        return false;
    // A map from each frequency of a block of either size to the floor's scale, in its look-up.
    setup.memory.decoding +=
        Heap(2 * 8) + Heap((setup.id.blockSizes[0] / 2 + 1) * 4) + Heap((setup.id.blockSizes[1] / 2 + 1) * 4);
    for (uint32_t i = 0; i < books; ++i)
    {
        const uint32_t book = bits.Read(8);
        if (!IsBook(setup, book) || setup.books[book].mapType == 0 || setup.books[book].dim < 1)
            return false;
    }
    return true;
}

bool ReadFloor1(BitReader& bits, const Setup& setup)
{
    constexpr uint32_t kMaxPosts = 63; // besides the two ends
    const uint32_t partitions = bits.Read(5);
    std::array<uint32_t, 32> partitionClass{};
    uint32_t classes = 0;
    for (uint32_t i = 0; i < partitions; ++i)
    {
        partitionClass[i] = bits.Read(4);
        classes = std::max(classes, partitionClass[i] + 1);
    }
    std::array<uint32_t, 16> classDim{};
    for (uint32_t c = 0; c < classes; ++c)
    {
        classDim[c] = bits.Read(3) + 1;
        const uint32_t subclassBits = bits.Read(2);
        if (subclassBits != 0 && !IsBook(setup, bits.Read(8)))
            return false;
        for (uint32_t k = 0; k < 1u << subclassBits; ++k)
            if (bits.Read(8) > setup.books.size()) // 0 for none, else the book + 1
                return false;
    }
    bits.Skip(2); // multiplier
    const uint32_t rangeBits = bits.Read(4);
    std::vector<uint32_t> posts = {0, 1u << rangeBits};
    for (uint32_t i = 0; i < partitions; ++i)
        for (uint32_t k = 0; k < classDim[partitionClass[i]]; ++k)
        {
            if (posts.size() - 2 >= kMaxPosts)
                return false;
            posts.push_back(bits.Read(int32_t(rangeBits)));
        }
    // Two posts at one place would make a line of no width.
    std::sort(posts.begin(), posts.end());
    return std::adjacent_find(posts.begin(), posts.end()) == posts.end();
}

SoundFileProblem ReadResidue(BitReader& bits, Setup& setup)
{
    bits.Skip(24 + 24 + 24); // begin, end, partition size
    const uint32_t partitions = bits.Read(6) + 1;
    const uint32_t classBook = bits.Read(8);
    std::vector<uint32_t> cascades(partitions);
    uint32_t stages = 0;
    // The look-up's stage books of each class.
    setup.memory.decoding += Heap(partitions * 8);
    for (uint32_t& cascade : cascades)
    {
        cascade = bits.Read(3);
        if (bits.Read(1) != 0)
            cascade |= bits.Read(5) << 3;
        for (uint32_t c = cascade; c != 0; c >>= 1)
            stages += c & 1;
        if (cascade != 0)
            setup.memory.decoding += Heap(uint64_t(ILog(cascade)) * 8);
    }
    std::vector<uint32_t> stageBooks(stages);
    for (uint32_t& book : stageBooks)
        book = bits.Read(8);
    if (!IsBook(setup, classBook))
        return P::VorbisHeader;
    for (uint32_t book : stageBooks)
        if (!IsBook(setup, book) || setup.books[book].mapType == 0)
            return P::VorbisHeader;
    // The class book's entries must name every combination of classes it codes.
    const Codebook& classes = setup.books[classBook];
    if (classes.dim < 1 || !PowerAtMost(partitions, classes.dim, classes.entries))
        return P::VorbisHeader;
    // The decoder's look-up of the classes that each combination stands for: a piece of the
    // heap for each combination.
    uint64_t combinations = 1;
    for (uint32_t i = 0; i < classes.dim; ++i)
        combinations *= partitions;
    setup.memory.decoding += Heap(combinations * 8) + combinations * Heap(uint64_t(classes.dim) * 4);
    // A stage book's codes each stand for dim values: the decoder divides by dim (residue 0) or
    // reads code after code without moving on (residues 1 and 2).
    for (uint32_t book : stageBooks)
        if (setup.books[book].dim == 0)
            return P::Codebook;
    return P::None;
}

bool ReadMapping(BitReader& bits, const Setup& setup)
{
    const uint32_t submaps = bits.Read(1) != 0 ? bits.Read(4) + 1 : 1;
    if (bits.Read(1) != 0)
    {
        const uint32_t steps = bits.Read(8) + 1;
        const int32_t channelBits = ILog(setup.id.channels - 1);
        for (uint32_t i = 0; i < steps; ++i)
        {
            const uint32_t magnitude = bits.Read(channelBits);
            const uint32_t angle = bits.Read(channelBits);
            if (magnitude == angle || magnitude >= setup.id.channels || angle >= setup.id.channels)
                return false;
        }
    }
    if (bits.Read(2) != 0)
        return false;
    if (submaps > 1)
        for (uint32_t i = 0; i < setup.id.channels; ++i)
            if (bits.Read(4) >= submaps)
                return false;
    for (uint32_t i = 0; i < submaps; ++i)
    {
        bits.Skip(8); // time, unused
        const uint32_t floor = bits.Read(8);
        const uint32_t residue = bits.Read(8);
        if (floor >= setup.floors || residue >= setup.residues)
            return false;
    }
    return true;
}

// The setup header after its type and "vorbis": the tables in the order they are written. Adds
// what the decoder allocates for them to *memory.
SoundFileProblem ReadSetup(BitReader& bits, const VorbisIdentification& id, StreamMemory* memory)
{
    Setup setup;
    setup.id = id;
    setup.memory.kept = Heap(kSetupInfoBytes);
    setup.books.resize(bits.Read(8) + 1);
    // The decoder builds the books one by one as it starts, each replacing the book as read: the
    // one it builds is held both ways for a while.
    uint64_t building = 0;
    for (Codebook& book : setup.books)
    {
        if (const SoundFileProblem problem = ReadCodebook(bits, &book); problem != P::None)
            return problem;
        setup.memory.kept += std::max(book.AsRead(), book.Built());
        building = std::max(building, std::min(book.AsRead(), book.Built()) + book.Building());
    }
    setup.memory.decoding += building;
    const uint32_t times = bits.Read(6) + 1; // placeholders, each 0
    for (uint32_t i = 0; i < times; ++i)
        if (bits.Read(16) != 0)
            return P::VorbisHeader;
    setup.floors = bits.Read(6) + 1;
    for (uint32_t i = 0; i < setup.floors; ++i)
    {
        const uint32_t type = bits.Read(16);
        if (type > 1 || !(type == 0 ? ReadFloor0(bits, setup) : ReadFloor1(bits, setup)))
            return P::VorbisHeader;
        setup.memory.kept += type == 0 ? kFloor0Bytes : kFloor1Bytes;
        setup.memory.decoding += type == 0 ? kFloor0LookBytes : kFloor1LookBytes;
    }
    setup.residues = bits.Read(6) + 1;
    for (uint32_t i = 0; i < setup.residues; ++i)
    {
        if (bits.Read(16) > 2)
            return P::VorbisHeader;
        if (const SoundFileProblem problem = ReadResidue(bits, setup); problem != P::None)
            return problem;
        setup.memory.kept += kResidueBytes;
        setup.memory.decoding += kResidueLookBytes;
    }
    setup.mappings = bits.Read(6) + 1;
    for (uint32_t i = 0; i < setup.mappings; ++i)
        if (bits.Read(16) != 0 || !ReadMapping(bits, setup))
            return P::VorbisHeader;
    const uint32_t modes = bits.Read(6) + 1;
    setup.memory.kept += setup.mappings * kMappingBytes + modes * kModeBytes;
    for (uint32_t i = 0; i < modes; ++i)
    {
        bits.Skip(1); // block flag
        const uint32_t window = bits.Read(16);
        const uint32_t transform = bits.Read(16);
        if (window != 0 || transform != 0 || bits.Read(8) >= setup.mappings)
            return P::VorbisHeader;
    }
    if (bits.Read(1) != 1 || bits.Overrun())
        return P::VorbisHeader;
    memory->kept += setup.memory.kept;
    memory->decoding += setup.memory.decoding;
    return P::None;
}

//-------------------------------------------------------------------------------------------------
// [SECTION] Header packets of each stream
//-------------------------------------------------------------------------------------------------

constexpr size_t kPacketTag = 7; // the packet type and "vorbis"

// The comment header after its type and "vorbis": a vendor string, a count of comments, each a
// length and its text, then the framing bit; the decoder refuses a length past the end of the
// packet. Adds what it allocates for them to *kept: each text, and two tables of the count.
bool ReadComments(BitReader& bits, uint64_t* kept)
{
    const uint32_t vendor = bits.Read(32);
    bits.Skip(uint64_t(vendor) * 8);
    const uint32_t count = bits.Read(32);
    if (uint64_t(count) * 32 > bits.BitsLeft())
        return false;
    *kept += Heap(uint64_t(vendor) + 1) + Heap((uint64_t(count) + 1) * 8) + Heap((uint64_t(count) + 1) * 4);
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t length = bits.Read(32);
        bits.Skip(uint64_t(length) * 8);
        *kept += Heap(uint64_t(length) + 1);
    }
    return bits.Read(1) == 1 && !bits.Overrun();
}

// The first three packets of one stream as its pages come, joined as the Ogg reader joins
// them: identification (on the first page), comment, setup.
struct HeaderPackets
{
    VorbisIdentification id{};
    uint32_t nextSequence = 0;
    int32_t done = 0;        // packets complete
    bool inPacket = false;   // the last page ended inside a packet
    bool audioAfter = false; // the page that completes the headers goes on with audio
    std::vector<uint8_t> comment;
    std::vector<uint8_t> setup;

    // False when the page is not the one the packets need next: a page missing, out of order,
    // or not saying whether it goes on with a packet as it does (the reader would join other
    // bytes into the header, or none).
    bool Add(const OggPage& page)
    {
        if (page.start[4] != 0 || page.Sequence() != nextSequence ||
            ((page.Flags() & kOggContinued) != 0) != inPacket)
            return false;
        ++nextSequence;
        const uint8_t* bytes = page.Body();
        for (size_t i = 0; i < page.Segments() && done < 3; ++i)
        {
            const uint8_t lace = page.Lacing()[i];
            std::vector<uint8_t>* packet = done == 1 ? &comment : done == 2 ? &setup : nullptr;
            if (packet != nullptr)
                packet->insert(packet->end(), bytes, bytes + lace);
            bytes += lace;
            inPacket = lace == 255;
            done += inPacket ? 0 : 1;
            audioAfter = done == 3 && i + 1 < page.Segments();
        }
        return true;
    }

    // What the decoder allocates for the headers, in *memory.
    SoundFileProblem Check(StreamMemory* memory) const
    {
        if (comment.size() < kPacketTag || std::memcmp(comment.data(), "\x03vorbis", kPacketTag) != 0 ||
            setup.size() < kPacketTag || std::memcmp(setup.data(), "\x05vorbis", kPacketTag) != 0)
            return P::VorbisHeader;
        BitReader comments(comment.data() + kPacketTag, comment.size() - kPacketTag);
        if (!ReadComments(comments, &memory->kept))
            return P::VorbisHeader;
        BitReader bits(setup.data() + kPacketTag, setup.size() - kPacketTag);
        return ReadSetup(bits, id, memory);
    }
};

} // namespace

size_t OggPageSize(const uint8_t* p, const uint8_t* end)
{
    if (end - p < int64_t(kOggPageHeader) || std::memcmp(p, kCapture, 4) != 0)
        return 0;
    const size_t segments = p[26];
    if (size_t(end - p) - kOggPageHeader < segments)
        return 0;
    size_t size = kOggPageHeader + segments;
    for (size_t i = 0; i < segments; ++i)
        size += p[kOggPageHeader + i];
    return size_t(end - p) >= size ? size : 0;
}

uint32_t OggPageChecksum(const uint8_t* page, size_t size)
{
    static const uint8_t kZeros[4] = {};
    // Ogg's checksum is the framework's CRC-32, over the page with its checksum field zeroed.
    uint32_t crc = Crc32(page, kOggChecksumAt);
    crc = Crc32(kZeros, 4, crc);
    return Crc32(page + kOggChecksumAt + 4, size - kOggChecksumAt - 4, crc);
}

VorbisIdentification ReadVorbisIdentification(const uint8_t* p)
{
    return {Le32(p + 7), p[11], Le32(p + 12), {1u << (p[28] & 15), 1u << (p[28] >> 4)}, (p[29] & 1) != 0};
}

bool DecoderTakes(const VorbisIdentification& id)
{
    return id.version == 0 && id.blockSizes[0] >= 64 && id.blockSizes[0] <= id.blockSizes[1] &&
           id.blockSizes[1] <= 8192 && id.framing;
}

SoundFileProblem CheckVorbisHeaders(const uint8_t* data, size_t size)
{
    PageWalk walk(data, size);
    std::map<uint32_t, HeaderPackets> reading; // by serial number, until complete
    LinkSearch link;                           // the link read now
    std::set<uint32_t> earlier;                // the streams of the links before
    uint64_t searched = 0;                     // the open's backward search through the links before
    bool opening = false;                      // the last page was a first page
    uint64_t kept = 0;                         // what the decoder keeps for the headers of every stream
    uint64_t decoding = 0;                     // and the most it holds to decode one of them
    for (OggPage page = walk.Next(); page.size > 0; page = walk.Next())
    {
        if (walk.HoldsPage(page))
            return P::OggLayout;
        // libvorbisfile takes a page of a stream outside the link for the start of the next
        // link, which must open with first pages: else the file fails to open, and the headers
        // read are lost.
        const bool first = (page.Flags() & kOggFirstPage) != 0;
        if (first && !opening)
        {
            searched += link.Cost();
            link.MoveStreamsTo(&earlier);
            link = LinkSearch(page.Serial());
        }
        // A stream of a serial number an earlier link has: libvorbisfile tells links apart by their
        // streams, and would take this one for a part of that link (its headers for audio, and a
        // search back from the file's end through everything after).
        if (first && earlier.count(page.Serial()) != 0)
            return P::OggLayout;
        if (first)
            link.AddStream(page.Serial());
        else if (!link.Has(page.Serial()))
            return P::OggLayout;
        opening = first;
        link.Page(page.Serial(), page.start - data);
        if (searched + link.Cost() > kMaxOggBackSearch)
            return P::OggBackSearch;
        const auto it = reading.find(page.Serial());
        HeaderPackets* packets = it == reading.end() ? nullptr : &it->second;
        if (first)
        {
            // A stream that starts again before its headers are complete.
            if (packets != nullptr)
                return P::OggLayout;
            // Its identification packet (checked by the caller) comes first.
            if (page.size - (page.Body() - page.start) < kVorbisIdHeader)
                return P::VorbisHeader;
            packets = &reading[page.Serial()];
            packets->id = ReadVorbisIdentification(page.Body());
            packets->nextSequence = page.Sequence();
        }
        if (packets == nullptr)
            continue;
        if (!packets->Add(page))
            return P::OggLayout;
        if (packets->done < 3)
            continue;
        // Audio begins a page of its own. libvorbisfile, reading a later link as a stream, hands
        // the page that ends the headers to the decoder once more, which then decodes its audio
        // twice.
        if (packets->audioAfter && !earlier.empty())
            return P::OggLayout;
        StreamMemory memory;
        if (const SoundFileProblem problem = packets->Check(&memory); problem != P::None)
            return problem;
        kept += memory.kept;
        decoding = std::max(decoding, memory.decoding);
        if (kept + decoding > kMaxVorbisHeaderMemory)
            return P::HeaderMemory;
        reading.erase(page.Serial());
    }
    if (walk.TooMuchStray())
        return P::OggStray;
    // A stream whose headers the file cuts short.
    return reading.empty() ? P::None : P::OggLayout;
}

} // namespace Vaxo
