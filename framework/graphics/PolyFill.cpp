// Scan-line polygon fills of Graphics: an active-edge list over the vertices sorted by y,
// spans between pairs of crossings at each pixel centre (even-odd rule), all spans of a
// polygon handed to the destination in one call.
#include "graphics/Graphics.h"
#include "graphics/PolyFill.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{
// Fills run on the main thread only and never nest, so one span buffer and one small
// coverage map serve every call without allocating. Plain arrays: nothing to construct
// or destroy.
Span gPolySpans[kPolyFillMaxSpans];
unsigned char aCoverageBuffer[kPolyFillCoverageSide * kPolyFillCoverageSide];

uint8_t AddCoverage(uint8_t old, int add)
{
    int sum = old + add;
    return static_cast<uint8_t>(sum > 255 ? 255 : sum);
}

// Coverage of pixel x on scan line y by the line of a shallow edge: how far the line is
// from the pixel centre, in 255ths, capped at 255.
int EdgeCoverage(const Edge& e, int x, int y)
{
    double c = std::fabs((x / e.mDX + e.mIntercept) - y - 0.5) * 255;
    return TruncToInt(std::min(c, 255.0));
}
} // namespace

int Graphics::PFCompareInd(const void* a, const void* b)
{
    int ia = *static_cast<const int*>(a);
    int ib = *static_cast<const int*>(b);
    return mPFPoints[ia].mY <= mPFPoints[ib].mY ? -1 : 1;
}

int Graphics::PFCompareActive(const void* a, const void* b)
{
    const Edge* ea = static_cast<const Edge*>(a);
    const Edge* eb = static_cast<const Edge*>(b);
    return ea->mX <= eb->mX ? -1 : 1;
}

void Graphics::PFInsert(int i, int y)
{
    // Each edge is inserted at most once per fill; the guard keeps a misuse from
    // writing past the array.
    if (mPFActiveEdgeList == nullptr || mPFNumActiveEdges >= mPFNumVertices)
        return;
    int j = i < mPFNumVertices - 1 ? i + 1 : 0;
    const TPoint<int>& pi = mPFPoints[i];
    const TPoint<int>& pj = mPFPoints[j];
    const TPoint<int>& upper = pi.mY < pj.mY ? pi : pj;
    const TPoint<int>& lower = pi.mY < pj.mY ? pj : pi;

    Edge& e = mPFActiveEdgeList[mPFNumActiveEdges];
    double dy = double(lower.mY) - double(upper.mY);
    e.mDX = dy != 0 ? (double(lower.mX) - double(upper.mX)) / dy : 0.0;
    e.mX = e.mDX * (y + 0.5 - upper.mY - double(mTransY)) + upper.mX + double(mTransX);
    e.mIndex = i;
    e.mIntercept = double(static_cast<float>(upper.mY) + mTransY) -
                   double(static_cast<float>(upper.mX) + mTransX) / e.mDX;
    mPFNumActiveEdges++;
}

void Graphics::PFDelete(int i)
{
    for (int k = 0; k < mPFNumActiveEdges; k++)
    {
        if (mPFActiveEdgeList[k].mIndex == i)
        {
            std::memmove(&mPFActiveEdgeList[k], &mPFActiveEdgeList[k + 1],
                         sizeof(Edge) * static_cast<size_t>(mPFNumActiveEdges - k - 1));
            mPFNumActiveEdges--;
            return;
        }
    }
}

void Graphics::PolyFill(const TPoint<int>* vertices, int numVertices, bool convex)
{
    PolyFillImpl<false>(vertices, numVertices, convex);
}

void Graphics::PolyFillAA(const TPoint<int>* vertices, int numVertices, bool convex)
{
    PolyFillImpl<true>(vertices, numVertices, convex);
}

template <bool AntiAlias>
void Graphics::PolyFillImpl(const TPoint<int>* vertices, int numVertices, bool convex)
{
    const double tx = mTransX;
    const double ty = mTransY;
    if (convex && mDestImage->PolyFill3D(vertices, numVertices, &mClipRect, mColor, mDrawMode,
                                         TruncToInt(mTransX), TruncToInt(mTransY), true))
        return;
    if (vertices == nullptr || numVertices <= 0)
        return;
    const int n = numVertices;

    // The visible area; the anti-aliased fill narrows it to the polygon's bounding box
    // so that every span lies inside the coverage map.
    int64_t left = mClipRect.mX;
    int64_t right = int64_t(mClipRect.mX) + mClipRect.mWidth - 1;
    int64_t top = mClipRect.mY;
    int64_t bottom = int64_t(mClipRect.mY) + mClipRect.mHeight - 1;

    int minX = vertices[0].mX, maxX = vertices[0].mX, minY = vertices[0].mY, maxY = vertices[0].mY;
    for (int i = 1; i < n; i++)
    {
        minX = std::min(minX, vertices[i].mX);
        maxX = std::max(maxX, vertices[i].mX);
        minY = std::min(minY, vertices[i].mY);
        maxY = std::max(maxY, vertices[i].mY);
    }

    unsigned char* coverage = nullptr;
    std::unique_ptr<unsigned char[]> ownCoverage;
    int32_t coverX = 0, coverY = 0, coverWidth = 0, coverHeight = 0;
    if (AntiAlias)
    {
        // The map covers only the visible part of the bounding box: a far or huge
        // polygon must not allocate more than the clip.
        left = std::max<int64_t>(left, TruncToInt(minX + tx));
        top = std::max<int64_t>(top, TruncToInt(minY + ty));
        right = std::min<int64_t>(right, TruncToInt(tx + maxX));
        bottom = std::min<int64_t>(bottom, TruncToInt(ty + maxY));
        if (left > right || top > bottom)
            return;
        size_t width = static_cast<size_t>(right - left + 1);
        size_t height = static_cast<size_t>(bottom - top + 1);
        if (width <= size_t(kPolyFillCoverageSide) && height <= size_t(kPolyFillCoverageSide))
        {
            coverage = aCoverageBuffer;
            coverWidth = coverHeight = kPolyFillCoverageSide;
        }
        else
        {
            ownCoverage.reset(new unsigned char[width * height]);
            coverage = ownCoverage.get();
            coverWidth = static_cast<int32_t>(width);
            coverHeight = static_cast<int32_t>(height);
        }
        std::memset(coverage, 0, size_t(coverWidth) * size_t(coverHeight));
        coverX = static_cast<int32_t>(left);
        coverY = static_cast<int32_t>(top);
    }

    mPFPoints = vertices;
    mPFNumVertices = n;
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        order[i] = i;
    // A strict order (ties by index): the qsort comparators never answer "equal", which
    // std::sort must not be given.
    std::sort(order.begin(), order.end(),
              [vertices](int a, int b)
              { return vertices[a].mY < vertices[b].mY || (vertices[a].mY == vertices[b].mY && a < b); });
    std::unique_ptr<Edge[]> edges(new Edge[static_cast<size_t>(n)]);
    mPFActiveEdgeList = edges.get();
    mPFNumActiveEdges = 0;

    int spanCount = 0;
    double firstLine = std::max(double(top), std::ceil(minY - 0.5 + ty));
    double lastLine = std::min(double(bottom), std::floor(ty + (maxY - 0.5)));
    if (firstLine <= lastLine)
    {
        const int y0 = static_cast<int>(firstLine);
        const int y1 = static_cast<int>(lastLine);
        int k = 0;
        for (int y = y0; y <= y1; y++)
        {
            const double lineLo = y - 0.5;
            const double lineHi = y + 0.5;
            while (k < n && vertices[order[k]].mY + ty <= lineHi)
            {
                int i = order[k];
                int prev = i == 0 ? n - 1 : i - 1;
                double prevY = vertices[prev].mY + ty;
                if (prevY <= lineLo)
                    PFDelete(prev);
                else if (prevY > lineHi)
                    PFInsert(prev, y);
                int next = i == n - 1 ? 0 : i + 1;
                double nextY = vertices[next].mY + ty;
                if (nextY <= lineLo)
                    PFDelete(i);
                else if (nextY > lineHi)
                    PFInsert(i, y);
                k++;
            }

            // The list stays nearly sorted from line to line: insertion sort, strict.
            Edge* active = mPFActiveEdgeList;
            for (int a = 1; a < mPFNumActiveEdges; a++)
            {
                Edge e = active[a];
                int b = a - 1;
                while (b >= 0 && e.mX < active[b].mX)
                {
                    active[b + 1] = active[b];
                    b--;
                }
                active[b + 1] = e;
            }

            unsigned char* row = AntiAlias ? coverage + size_t(y - coverY) * size_t(coverWidth) : nullptr;
            for (int a = 0; a + 1 < mPFNumActiveEdges; a += 2)
            {
                const Edge& e0 = active[a];
                const Edge& e1 = active[a + 1];
                double fl = e0.mX - 0.5;
                double fr = e1.mX - 0.5;
                double xlD = std::ceil(fl);
                double xrD = std::floor(fr);
                int cl = 255, cr = 255;
                if (AntiAlias)
                {
                    cl = TruncToInt(std::fabs(fl - xlD) * 255);
                    cr = TruncToInt(std::fabs(fr - xrD) * 255);
                }
                if (!(xlD >= double(left)))
                {
                    xlD = double(left);
                    cl = 255;
                }
                if (!(xrD <= double(right)))
                {
                    xrD = double(right);
                    cr = 255;
                }
                if (xlD > xrD || spanCount >= kPolyFillMaxSpans)
                    continue;
                int xl = static_cast<int>(xlD);
                int xr = static_cast<int>(xrD);
                gPolySpans[spanCount++] = Span{y, xl, xr - xl + 1};
                if (!AntiAlias)
                    continue;

                auto at = [row, coverX](int x) -> unsigned char& { return row[x - coverX]; };
                if (xl == xr)
                {
                    at(xl) = AddCoverage(at(xl), (cl * cr) >> 8);
                    continue;
                }
                if (std::fabs(e0.mDX) > 1)
                {
                    // A shallow edge crosses several pixels of this line.
                    int x = xl;
                    for (double budget = std::fabs(e0.mDX); budget > 0 && x <= xr; budget -= 1, x++)
                        at(x) = AddCoverage(at(x), EdgeCoverage(e0, x, y));
                    xl = x;
                }
                else
                {
                    at(xl) = AddCoverage(at(xl), cl);
                    xl++;
                }
                if (std::fabs(e1.mDX) > 1)
                {
                    int x = xr;
                    double budget = std::fabs(e1.mDX);
                    do
                    {
                        at(x) = AddCoverage(at(x), EdgeCoverage(e1, x, y));
                        x--;
                        budget -= 1;
                    } while (budget > 0 && x >= xl);
                    xr = x;
                }
                else
                {
                    at(xr) = AddCoverage(at(xr), cr);
                    xr--;
                }
                for (int x = xl; x <= xr; x++)
                    at(x) = 255;
            }
            // Every active edge moves on, an unpaired one included, so it stays right
            // on the next line.
            for (int a = 0; a < mPFNumActiveEdges; a++)
                active[a].mX += active[a].mDX;
        }
    }

    if (AntiAlias)
        mDestImage->FillScanLinesWithCoverage(gPolySpans, spanCount, mColor, mDrawMode, coverage, coverX,
                                              coverY, coverWidth, coverHeight);
    else
        mDestImage->FillScanLines(gPolySpans, spanCount, mColor, mDrawMode);

    mPFActiveEdgeList = nullptr;
    mPFNumActiveEdges = 0;
    mPFPoints = nullptr;
}

template void Graphics::PolyFillImpl<false>(const TPoint<int>*, int, bool);
template void Graphics::PolyFillImpl<true>(const TPoint<int>*, int, bool);

} // namespace Vaxo
