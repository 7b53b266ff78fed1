// RecordingImage: an Image that draws nothing and writes down every virtual call with
// its arguments, so Graphics can be tested without pixels or a window.
//
// Each call becomes one line of text, for example
//   Blt(src,10,20,(0,0,5,5),(255,255,255,255),0)
// Images are named by their mName when they are RecordingImages ("?" otherwise),
// rectangles as (x,y,w,h), colours as (r,g,b,a), floats with %g. The spans and coverage
// map of the last fill are also kept whole for the polygon tests.
#pragma once

#include "graphics/Image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Vaxo
{

class RecordingImage : public Image
{
public:
    std::string mName;
    std::vector<std::string> mCalls;
    // Spans of the last FillScanLines or FillScanLinesWithCoverage.
    std::vector<Span> mSpans;
    // Copy of the whole coverage map of the last FillScanLinesWithCoverage.
    std::vector<uint8_t> mCoverage;
    int32_t mCoverX = 0, mCoverY = 0, mCoverWidth = 0, mCoverHeight = 0;
    // Address of that map, to tell the shared buffer from a fill's own.
    const unsigned char* mCoverageAddress = nullptr;
    // What Is3D and PolyFill3D answer.
    bool mIs3D = false;
    bool mPolyFill3DResult = false;

public:
    RecordingImage(const std::string& name, int width, int height);

    // The calls so far, then forgets them.
    std::vector<std::string> TakeCalls();

    bool PolyFill3D(const TPoint<int>* vertices, int numVertices, const TRect<int>* clipRect,
                    const Color& color, int drawMode, int tx, int ty, bool convex) override;
    void FillRect(const TRect<int>& rect, const Color& color, int drawMode) override;
    void DrawRect(const TRect<int>& rect, const Color& color, int drawMode) override;
    void ClearRect(const TRect<int>& rect) override;
    void DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                  int drawMode) override;
    void DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                    int drawMode) override;
    void FillScanLines(Span* spans, int spanCount, const Color& color, int drawMode) override;
    void FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                   const unsigned char* coverage, int coverX, int coverY, int coverWidth,
                                   int coverHeight) override;
    void Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
             int drawMode) override;
    void BltF(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
              const Color& color, int drawMode) override;
    void BltRotated(Image* image, float x, float y, const TRect<int>& srcRect, const TRect<int>& clipRect,
                    const Color& color, int drawMode, double angle, float rotCenterX,
                    float rotCenterY) override;
    void StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                    const TRect<int>& clipRect, const Color& color, int drawMode, bool fastStretch) override;
    void BltMatrix(Image* image, float x, float y, const VaxoMatrix3& matrix, const TRect<int>& clipRect,
                   const Color& color, int drawMode, const TRect<int>& srcRect, bool blend) override;
    void BltTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles,
                         const TRect<int>& clipRect, const Color& color, int drawMode, float tx, float ty,
                         bool blend) override;
    void BltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                   int drawMode) override;
    void StretchBltMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                          const TRect<int>& clipRect, const Color& color, int drawMode,
                          bool fastStretch) override;
    bool Is3D() override;
};

// Text forms used in the log, for building expected lines.
std::string RectText(const TRect<int>& rect);
std::string ColorText(const Color& color);

} // namespace Vaxo
