#include "graphics/support/RecordingImage.h"

#include <cstdio>

namespace Vaxo
{

namespace
{
std::string Num(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%g", value);
    return buf;
}

std::string Name(Image* image)
{
    RecordingImage* recording = dynamic_cast<RecordingImage*>(image);
    return recording != nullptr ? recording->mName : std::string("?");
}
} // namespace

std::string RectText(const TRect<int>& rect)
{
    return "(" + std::to_string(rect.mX) + "," + std::to_string(rect.mY) + "," + std::to_string(rect.mWidth) +
           "," + std::to_string(rect.mHeight) + ")";
}

std::string ColorText(const Color& color)
{
    return "(" + std::to_string(color.mRed) + "," + std::to_string(color.mGreen) + "," +
           std::to_string(color.mBlue) + "," + std::to_string(color.mAlpha) + ")";
}

RecordingImage::RecordingImage(const std::string& name, int width, int height) : mName(name)
{
    mWidth = width;
    mHeight = height;
}

std::vector<std::string> RecordingImage::TakeCalls()
{
    std::vector<std::string> calls;
    calls.swap(mCalls);
    return calls;
}

bool RecordingImage::PolyFill3D(const TPoint<int>*, int numVertices, const TRect<int>* clipRect,
                                const Color& color, int drawMode, int tx, int ty, bool convex)
{
    mCalls.push_back("PolyFill3D(" + std::to_string(numVertices) + "," + RectText(*clipRect) + "," +
                     ColorText(color) + "," + std::to_string(drawMode) + "," + std::to_string(tx) + "," +
                     std::to_string(ty) + "," + (convex ? "true" : "false") + ")");
    return mPolyFill3DResult;
}

void RecordingImage::FillRect(const TRect<int>& rect, const Color& color, int drawMode)
{
    mCalls.push_back("FillRect(" + RectText(rect) + "," + ColorText(color) + "," + std::to_string(drawMode) +
                     ")");
}

void RecordingImage::DrawRect(const TRect<int>& rect, const Color& color, int drawMode)
{
    mCalls.push_back("DrawRect(" + RectText(rect) + "," + ColorText(color) + "," + std::to_string(drawMode) +
                     ")");
}

void RecordingImage::ClearRect(const TRect<int>& rect)
{
    mCalls.push_back("ClearRect(" + RectText(rect) + ")");
}

void RecordingImage::DrawLine(double startX, double startY, double endX, double endY, const Color& color,
                              int drawMode)
{
    mCalls.push_back("DrawLine(" + Num(startX) + "," + Num(startY) + "," + Num(endX) + "," + Num(endY) + "," +
                     ColorText(color) + "," + std::to_string(drawMode) + ")");
}

void RecordingImage::DrawLineAA(double startX, double startY, double endX, double endY, const Color& color,
                                int drawMode)
{
    mCalls.push_back("DrawLineAA(" + Num(startX) + "," + Num(startY) + "," + Num(endX) + "," + Num(endY) +
                     "," + ColorText(color) + "," + std::to_string(drawMode) + ")");
}

void RecordingImage::FillScanLines(Span* spans, int spanCount, const Color& color, int drawMode)
{
    mSpans.assign(spans, spans + spanCount);
    mCalls.push_back("FillScanLines(" + std::to_string(spanCount) + "," + ColorText(color) + "," +
                     std::to_string(drawMode) + ")");
}

void RecordingImage::FillScanLinesWithCoverage(Span* spans, int spanCount, const Color& color, int drawMode,
                                               const unsigned char* coverage, int coverX, int coverY,
                                               int coverWidth, int coverHeight)
{
    mSpans.assign(spans, spans + spanCount);
    mCoverage.assign(coverage, coverage + size_t(coverWidth) * size_t(coverHeight));
    mCoverageAddress = coverage;
    mCoverX = coverX;
    mCoverY = coverY;
    mCoverWidth = coverWidth;
    mCoverHeight = coverHeight;
    mCalls.push_back("FillScanLinesWithCoverage(" + std::to_string(spanCount) + "," + ColorText(color) + "," +
                     std::to_string(drawMode) + "," +
                     RectText(TRect<int>(coverX, coverY, coverWidth, coverHeight)) + ")");
}

void RecordingImage::Blt(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                         int drawMode)
{
    mCalls.push_back("Blt(" + Name(image) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                     RectText(srcRect) + "," + ColorText(color) + "," + std::to_string(drawMode) + ")");
}

void RecordingImage::BltF(Image* image, float x, float y, const TRect<int>& srcRect,
                          const TRect<int>& clipRect, const Color& color, int drawMode)
{
    mCalls.push_back("BltF(" + Name(image) + "," + Num(x) + "," + Num(y) + "," + RectText(srcRect) + "," +
                     RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) + ")");
}

void RecordingImage::BltRotated(Image* image, float x, float y, const TRect<int>& srcRect,
                                const TRect<int>& clipRect, const Color& color, int drawMode, double angle,
                                float rotCenterX, float rotCenterY)
{
    mCalls.push_back("BltRotated(" + Name(image) + "," + Num(x) + "," + Num(y) + "," + RectText(srcRect) +
                     "," + RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) +
                     "," + Num(angle) + "," + Num(rotCenterX) + "," + Num(rotCenterY) + ")");
}

void RecordingImage::StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                                const TRect<int>& clipRect, const Color& color, int drawMode,
                                bool fastStretch)
{
    mCalls.push_back("StretchBlt(" + Name(image) + "," + RectText(destRect) + "," + RectText(srcRect) + "," +
                     RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) + "," +
                     (fastStretch ? "true" : "false") + ")");
}

void RecordingImage::BltMatrix(Image* image, float x, float y, const VaxoMatrix3& m,
                               const TRect<int>& clipRect, const Color& color, int drawMode,
                               const TRect<int>& srcRect, bool blend)
{
    mCalls.push_back("BltMatrix(" + Name(image) + "," + Num(x) + "," + Num(y) + ",[" + Num(m.m00) + "," +
                     Num(m.m01) + "," + Num(m.m02) + ";" + Num(m.m10) + "," + Num(m.m11) + "," + Num(m.m12) +
                     "]," + RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) +
                     "," + RectText(srcRect) + "," + (blend ? "true" : "false") + ")");
}

void RecordingImage::BltTrianglesTex(Image* texture, const TriVertex (*)[3], int numTriangles,
                                     const TRect<int>& clipRect, const Color& color, int drawMode, float tx,
                                     float ty, bool blend)
{
    mCalls.push_back("BltTrianglesTex(" + Name(texture) + "," + std::to_string(numTriangles) + "," +
                     RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) + "," +
                     Num(tx) + "," + Num(ty) + "," + (blend ? "true" : "false") + ")");
}

void RecordingImage::BltMirror(Image* image, int x, int y, const TRect<int>& srcRect, const Color& color,
                               int drawMode)
{
    mCalls.push_back("BltMirror(" + Name(image) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                     RectText(srcRect) + "," + ColorText(color) + "," + std::to_string(drawMode) + ")");
}

void RecordingImage::StretchBltMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                                      const TRect<int>& clipRect, const Color& color, int drawMode,
                                      bool fastStretch)
{
    mCalls.push_back("StretchBltMirror(" + Name(image) + "," + RectText(destRect) + "," + RectText(srcRect) +
                     "," + RectText(clipRect) + "," + ColorText(color) + "," + std::to_string(drawMode) +
                     "," + (fastStretch ? "true" : "false") + ")");
}

bool RecordingImage::Is3D()
{
    return mIs3D;
}

} // namespace Vaxo
