// Internal to framework/widgets: rectangles looked up by overlap, for the dirty-mark
// spreading of the widget tree's root (DirtySpread.cpp).
//
//   PixelSpan - the pixel columns or rows a rectangle takes along one axis
//   RectIndex - rectangles bucketed by tiles, asked which of them a rectangle overlaps
#pragma once

#include "graphics/Rect.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vaxo
{

// The pixel columns (or rows) a rectangle takes along one axis, first and last included.
// One of no size (or a negative one) stands on its first column: Intersects finds such a
// rectangle only in one that covers that column, and never in another of no size.
struct PixelSpan
{
    int64_t lo;
    int64_t hi;

    PixelSpan(int64_t first, int64_t last) : lo(first), hi(last) {}
    static PixelSpan Columns(const TRect<int>& r) { return Along(r.mX, r.mWidth); }
    static PixelSpan Rows(const TRect<int>& r) { return Along(r.mY, r.mHeight); }

private:
    static PixelSpan Along(int32_t pos, int32_t size)
    {
        return PixelSpan(pos, size >= 1 ? int64_t(pos) + size - 1 : int64_t(pos));
    }
};

// Rectangles looked up by overlap (Intersects). A few are scanned; beyond that they are
// bucketed by tiles over the area the root's children span, so that a question looks at
// the nearby ones only, and a tile that one rectangle covers whole answers at once.
class RectIndex
{
public:
    void Clear()
    {
        mEntries.clear();
        mGrid = false;
    }
    bool Empty() const { return mEntries.empty(); }
    // Too many to scan, and no grid yet.
    bool WantsGrid() const { return !mGrid && mEntries.size() > kScanLimit; }
    // Tiles over the bounds (which hold every rectangle added or asked about), about one
    // for every two widgets, at most 64 x 64.
    void UseGrid(const PixelSpan& columns, const PixelSpan& rows, size_t widgets)
    {
        const int64_t side = std::min<int64_t>(64, int64_t(std::sqrt(double(widgets) / 2.0)) + 1);
        mColumns = Axis(columns, side);
        mRows = Axis(rows, side);
        mHead.assign(size_t(mColumns.count) * size_t(mRows.count), -1);
        mCovered.assign(mHead.size(), 0);
        mLinks.clear();
        mGrid = true;
        for (size_t e = 0; e < mEntries.size(); ++e)
            Register(int32_t(e));
    }
    void Add(int32_t id, const TRect<int>& rect)
    {
        mEntries.push_back(Entry{rect, id, 0});
        if (mGrid)
            Register(int32_t(mEntries.size() - 1));
    }
    bool AnyIntersects(const TRect<int>& rect)
    {
        if (!mGrid || !InBounds(rect))
            return std::any_of(mEntries.begin(), mEntries.end(),
                               [&](const Entry& e) { return e.rect.Intersects(rect); });
        // A covered tile answers only for a rectangle with pixels in it.
        const bool solid = rect.mWidth > 0 && rect.mHeight > 0;
        bool hit = false;
        ForTiles(rect,
                 [&](size_t tile)
                 {
                     if (solid && mCovered[tile])
                         hit = true;
                     for (int32_t l = mHead[tile]; l >= 0 && !hit; l = mLinks[size_t(l)].next)
                         hit = mEntries[size_t(mLinks[size_t(l)].entry)].rect.Intersects(rect);
                     return !hit;
                 });
        return hit;
    }
    // Calls near(id, its rectangle) once for every rectangle that may overlap rect (at
    // least every one that does), until near returns false.
    template <class Near> void ForEachNear(const TRect<int>& rect, Near near)
    {
        if (!mGrid || !InBounds(rect))
        {
            for (const Entry& e : mEntries)
                if (!near(e.id, e.rect))
                    return;
            return;
        }
        ++mVisit;
        ForTiles(rect,
                 [&](size_t tile)
                 {
                     for (int32_t l = mHead[tile]; l >= 0; l = mLinks[size_t(l)].next)
                     {
                         Entry& e = mEntries[size_t(mLinks[size_t(l)].entry)];
                         if (e.visit == mVisit)
                             continue;
                         e.visit = mVisit;
                         if (!near(e.id, e.rect))
                             return false;
                     }
                     return true;
                 });
    }

private:
    static const size_t kScanLimit = 16;

    struct Entry
    {
        TRect<int> rect;
        int32_t id;
        uint32_t visit; // the ForEachNear call that last met it
    };
    // Entry in one tile's list.
    struct Link
    {
        int32_t entry;
        int32_t next;
    };
    // One axis of the grid: count tiles of 2^shift pixels, from first to last (a power
    // of two, so that finding a tile takes no division).
    struct Axis
    {
        int64_t first = 0;
        int64_t last = 0;
        int32_t shift = 0;
        int64_t count = 1;

        Axis() = default;
        Axis(const PixelSpan& span, int64_t tiles) : first(span.lo), last(span.hi)
        {
            while (((last - first) >> shift) + 1 > tiles)
                ++shift;
            count = ((last - first) >> shift) + 1;
        }
        int64_t Tile(int64_t v) const { return std::clamp<int64_t>((v - first) >> shift, 0, count - 1); }
        bool Covers(const PixelSpan& span, int64_t tile) const
        {
            return span.lo <= first + (tile << shift) &&
                   span.hi >= std::min(last, first + ((tile + 1) << shift) - 1);
        }
    };

    bool InBounds(const TRect<int>& rect) const
    {
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        return c.lo >= mColumns.first && c.hi <= mColumns.last && r.lo >= mRows.first && r.hi <= mRows.last;
    }
    // Calls visit(tile) for the tiles under rect, until it returns false.
    template <class Visit> void ForTiles(const TRect<int>& rect, Visit visit)
    {
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        for (int64_t row = mRows.Tile(r.lo); row <= mRows.Tile(r.hi); ++row)
            for (int64_t col = mColumns.Tile(c.lo); col <= mColumns.Tile(c.hi); ++col)
                if (!visit(size_t(row * mColumns.count + col)))
                    return;
    }
    void Register(int32_t entry)
    {
        const TRect<int>& rect = mEntries[size_t(entry)].rect;
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        const bool solid = rect.mWidth > 0 && rect.mHeight > 0;
        for (int64_t row = mRows.Tile(r.lo); row <= mRows.Tile(r.hi); ++row)
            for (int64_t col = mColumns.Tile(c.lo); col <= mColumns.Tile(c.hi); ++col)
            {
                const size_t tile = size_t(row * mColumns.count + col);
                mLinks.push_back(Link{entry, mHead[tile]});
                mHead[tile] = int32_t(mLinks.size() - 1);
                if (solid && mColumns.Covers(c, col) && mRows.Covers(r, row))
                    mCovered[tile] = 1;
            }
    }

    std::vector<Entry> mEntries;
    bool mGrid = false;
    Axis mColumns;
    Axis mRows;
    std::vector<int32_t> mHead; // first link of each tile's list, -1 for none
    std::vector<uint8_t> mCovered;
    std::vector<Link> mLinks;
    uint32_t mVisit = 0;
};

} // namespace Vaxo
