// Polygons of 0 to 64 vertices (coordinates up to 1e6, duplicates allowed) with a
// fractional translation and a clip, solid and anti-aliased: every span must lie in the
// clip and every span pixel inside the coverage map.
#include "graphics/Graphics.h"
#include "graphics/support/RecordingImage.h"
#include "support/FuzzInput.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace Vaxo;

namespace
{
void Check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    int32_t head = in.Int32();
    int count = (head & 0xFF) % 65;
    bool antiAlias = (head >> 8) & 1;
    int32_t clip = in.Int32();
    int32_t trans = in.Int32();

    RecordingImage dest("dest", 300, 200);
    Graphics g(&dest);
    g.SetClipRect((clip & 0xFF) - 20, ((clip >> 8) & 0xFF) - 20, ((clip >> 16) & 0xFF) + 1,
                  ((clip >> 24) & 0xFF));
    g.TranslateF(static_cast<int16_t>(trans & 0xFFFF) / 64.0f, static_cast<int16_t>(trans >> 16) / 64.0f);

    std::vector<TPoint<int>> points(size_t(count) + 1);
    for (int i = 0; i < count; i++)
    {
        const int32_t x = in.Int32() % 1000001;
        points[i] = TPoint<int>(x, in.Int32() % 1000001);
    }
    if (antiAlias)
        g.PolyFillAA(points.data(), count);
    else
        g.PolyFill(points.data(), count);

    const TRect<int>& c = g.mClipRect;
    for (const Span& s : dest.mSpans)
    {
        Check(s.mWidth >= 1 && s.mY >= c.mY && s.mY < c.mY + c.mHeight);
        Check(s.mX >= c.mX && s.mX + s.mWidth <= c.mX + c.mWidth);
        if (antiAlias)
            Check(s.mX >= dest.mCoverX && s.mX + s.mWidth <= dest.mCoverX + dest.mCoverWidth &&
                  s.mY >= dest.mCoverY && s.mY < dest.mCoverY + dest.mCoverHeight);
    }
    return 0;
}
