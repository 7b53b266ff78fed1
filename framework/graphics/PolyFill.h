// Internal to framework/graphics.
// Polygon fill: the records and limits of the scan-line fills Graphics::PolyFill and
// Graphics::PolyFillAA (PolyFill.cpp).
//
// Both fills turn a polygon into horizontal spans with an active-edge list and hand all
// spans of one polygon to the destination in a single call; the anti-aliased fill adds
// a byte coverage map over the polygon's visible bounding box.
#pragma once

#include <cstdint>

namespace Vaxo
{

// One active polygon edge.
struct Edge
{
    // x where the edge crosses the centre of the current scan line (destination pixels).
    double mX;
    // Change of mX from one scan line to the next.
    double mDX;
    // The edge runs from vertex mIndex to vertex mIndex + 1 (0 after the last).
    int32_t mIndex;
    // y at x = 0 of the edge's line, in destination pixels (anti-aliased fill).
    double mIntercept;
};

// Spans kept per polygon; further spans are dropped.
const int32_t kPolyFillMaxSpans = 8192;
// Side of the shared coverage map that small anti-aliased polygons reuse.
const int32_t kPolyFillCoverageSide = 256;

} // namespace Vaxo
