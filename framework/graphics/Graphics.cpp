#include "graphics/Graphics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Vaxo
{

namespace
{
int32_t SaturateToInt(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

TRect<int> WholeImage(Image* image)
{
    return TRect<int>(0, 0, image->mWidth, image->mHeight);
}

// The source rectangle reaches past the image on any side (64-bit: no overflow).
bool SourceOutsideImage(Image* image, const TRect<int>& src)
{
    return src.mX < 0 || src.mY < 0 || int64_t(src.mX) + src.mWidth > image->mWidth ||
           int64_t(src.mY) + src.mHeight > image->mHeight;
}

// Clips a caller's source rectangle to the image; false when nothing is left. Blitters
// trust their source rectangle, so nothing outside the image may reach them.
bool ClipSource(Image* image, TRect<int>& src)
{
    src = src.Intersection(WholeImage(image));
    return src.mWidth >= 1 && src.mHeight >= 1;
}

// Clips the source of a stretched draw and moves the destination edges by the same
// share, so the pixels that remain land where they would have.
bool ClipStretchSource(Image* image, TRect<int>& dest, TRect<int>& src)
{
    TRect<int> clipped = src.Intersection(WholeImage(image));
    if (clipped.mWidth < 1 || clipped.mHeight < 1)
        return false;
    if (clipped != src)
    {
        int64_t left = int64_t(clipped.mX - src.mX) * dest.mWidth / src.mWidth;
        int64_t right = int64_t(clipped.mX + clipped.mWidth - src.mX) * dest.mWidth / src.mWidth;
        int64_t top = int64_t(clipped.mY - src.mY) * dest.mHeight / src.mHeight;
        int64_t bottom = int64_t(clipped.mY + clipped.mHeight - src.mY) * dest.mHeight / src.mHeight;
        dest = TRect<int>(SaturateToInt(dest.mX + left), SaturateToInt(dest.mY + top),
                          SaturateToInt(right - left), SaturateToInt(bottom - top));
        src = clipped;
    }
    return true;
}

// Tiles first .. last - 1 of n tiles of size step starting at start are the only ones that
// can touch [visibleLo, visibleHi); one tile of margin on each side keeps this safe
// against the truncation of the translation. A box of huge size then costs only its
// visible tiles.
void VisibleTiles(int64_t start, int64_t step, int64_t n, int64_t visibleLo, int64_t visibleHi,
                  int64_t& first, int64_t& last)
{
    first = 0;
    last = std::max<int64_t>(n, 0);
    if (visibleHi <= visibleLo)
    {
        last = 0;
        return;
    }
    int64_t lo = (visibleLo - start) / step - 1;
    int64_t hi = (visibleHi - start) / step + 2;
    first = std::max<int64_t>(first, lo);
    last = std::min<int64_t>(last, hi);
}
} // namespace

int32_t TruncToInt(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// ---- GraphicsState ---------------------------------------------------------------------

GraphicsState::GraphicsState()
    : mDestImage(nullptr), mTransX(0), mTransY(0), mScaleX(1), mScaleY(1), mScaleOrigX(0), mScaleOrigY(0),
      mClipRect(), mColor(), mFont(nullptr), mDrawMode(DRAWMODE_NORMAL), mColorizeImages(false),
      mFastStretch(false), mWriteColoredString(true), mLinearBlend(false), mIs3D(false)
{
}

void GraphicsState::CopyStateFrom(const GraphicsState* other)
{
    *this = *other;
}

Image* GraphicsState::StaticImage()
{
    static Image* image = new Image();
    return image;
}

// ---- Graphics: state ------------------------------------------------------------------

const TPoint<int>* Graphics::mPFPoints = nullptr;

Graphics::Graphics(Image* dest) : mPFActiveEdgeList(nullptr), mPFNumActiveEdges(0), mPFNumVertices(0)
{
    mDestImage = dest != nullptr ? dest : StaticImage();
    mClipRect = TRect<int>(0, 0, mDestImage->mWidth, mDestImage->mHeight);
    mIs3D = dest != nullptr ? dest->Is3D() : false;
}

Graphics::Graphics(const Graphics& other)
    : GraphicsState(other), mPFActiveEdgeList(nullptr), mPFNumActiveEdges(0), mPFNumVertices(0)
{
}

Graphics::~Graphics() = default;

Graphics* Graphics::Create()
{
    return new Graphics(*this);
}

void Graphics::PushState()
{
    mStateStack.push_back(static_cast<const GraphicsState&>(*this));
}

void Graphics::PopState()
{
    if (mStateStack.empty())
        return;
    CopyStateFrom(&mStateStack.back());
    mStateStack.pop_back();
}

void Graphics::SetColor(const Color& color)
{
    mColor.mRed = color.mRed;
    mColor.mGreen = color.mGreen;
    mColor.mBlue = color.mBlue;
    mColor.mAlpha = color.mAlpha;
}

void Graphics::Translate(int x, int y)
{
    mTransX += static_cast<float>(x);
    mTransY += static_cast<float>(y);
}

void Graphics::TranslateF(float x, float y)
{
    mTransX += x;
    mTransY += y;
}

void Graphics::SetScale(float scaleX, float scaleY, float origX, float origY)
{
    mScaleX = scaleX;
    mScaleY = scaleY;
    mScaleOrigX = origX + mTransX;
    mScaleOrigY = origY + mTransY;
}

void Graphics::SetClipRect(int x, int y, int width, int height)
{
    mClipRect = Translated(x, y, width, height)
                    .Intersection(TRect<int>(0, 0, mDestImage->mWidth, mDestImage->mHeight));
}

void Graphics::SetClipRect(const TRect<int>& rect)
{
    SetClipRect(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Graphics::ClipRect(int x, int y, int width, int height)
{
    mClipRect = mClipRect.Intersection(Translated(x, y, width, height));
}

void Graphics::ClipRect(const TRect<int>& rect)
{
    ClipRect(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Graphics::ClearClipRect()
{
    mClipRect = TRect<int>(0, 0, mDestImage->mWidth, mDestImage->mHeight);
}

Color Graphics::Tint() const
{
    return mColorizeImages ? mColor : Color::White;
}

int32_t Graphics::TransX(int x) const
{
    return TruncToInt(static_cast<float>(x) + mTransX);
}

int32_t Graphics::TransY(int y) const
{
    return TruncToInt(static_cast<float>(y) + mTransY);
}

TRect<int> Graphics::Translated(int x, int y, int width, int height) const
{
    return TRect<int>(TransX(x), TransY(y), width, height);
}

int32_t Graphics::ScaledX(int32_t tx) const
{
    return TruncToInt(mScaleOrigX + std::floor(mScaleX * (static_cast<float>(tx) - mScaleOrigX)));
}

int32_t Graphics::ScaledY(int32_t ty) const
{
    return TruncToInt(mScaleOrigY + std::floor(mScaleY * (static_cast<float>(ty) - mScaleOrigY)));
}

// ---- Shapes -------------------------------------------------------------------------------

void Graphics::FillRect(int x, int y, int width, int height)
{
    if (mColor.mAlpha == 0)
        return;
    mDestImage->FillRect(Clipped(Translated(x, y, width, height)), mColor, mDrawMode);
}

void Graphics::FillRect(const TRect<int>& rect)
{
    FillRect(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Graphics::DrawRect(int x, int y, int width, int height)
{
    // A negative size has no outline; drawing its four edges would paint outside it.
    if (mColor.mAlpha == 0 || width < 0 || height < 0)
        return;

    int64_t tx = TransX(x);
    int64_t ty = TransY(y);
    const TRect<int>& clip = mClipRect;
    bool inside = tx >= clip.mX && ty >= clip.mY && tx + width + 1 <= int64_t(clip.mX) + clip.mWidth &&
                  ty + height + 1 <= int64_t(clip.mY) + clip.mHeight;
    if (inside)
    {
        mDestImage->DrawRect(TRect<int>(int(tx), int(ty), width, height), mColor, mDrawMode);
        return;
    }
    int edgeWidth = SaturateToInt(int64_t(width) + 1);
    int bottom = SaturateToInt(int64_t(y) + height);
    int right = SaturateToInt(int64_t(x) + width);
    int inner = SaturateToInt(int64_t(y) + 1);
    FillRect(x, y, edgeWidth, 1);
    FillRect(x, bottom, edgeWidth, 1);
    FillRect(x, inner, 1, height - 1);
    FillRect(right, inner, 1, height - 1);
}

void Graphics::DrawRect(const TRect<int>& rect)
{
    DrawRect(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Graphics::ClearRect(int x, int y, int width, int height)
{
    mDestImage->ClearRect(Clipped(Translated(x, y, width, height)));
}

void Graphics::ClearRect(const TRect<int>& rect)
{
    ClearRect(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Graphics::DrawLine(int startX, int startY, int endX, int endY)
{
    double x1 = static_cast<float>(startX) + mTransX;
    double y1 = static_cast<float>(startY) + mTransY;
    double x2 = static_cast<float>(endX) + mTransX;
    double y2 = static_cast<float>(endY) + mTransY;
    if (DrawLineClipHelper(&x1, &y1, &x2, &y2))
        mDestImage->DrawLine(x1, y1, x2, y2, mColor, mDrawMode);
}

void Graphics::DrawLineAA(int startX, int startY, int endX, int endY)
{
    double x1 = static_cast<float>(startX) + mTransX;
    double y1 = static_cast<float>(startY) + mTransY;
    double x2 = static_cast<float>(endX) + mTransX;
    double y2 = static_cast<float>(endY) + mTransY;
    if (DrawLineClipHelper(&x1, &y1, &x2, &y2))
        mDestImage->DrawLineAA(x1, y1, x2, y2, mColor, mDrawMode);
}

bool Graphics::DrawLineClipHelper(double* startX, double* startY, double* endX, double* endY)
{
    double x1 = *startX;
    double y1 = *startY;
    double x2 = *endX;
    double y2 = *endY;
    const double left = mClipRect.mX;
    const double right = double(mClipRect.mX) + mClipRect.mWidth;
    const double top = mClipRect.mY;
    const double bottom = double(mClipRect.mY) + mClipRect.mHeight;

    if (x1 > x2)
    {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (x1 < left)
    {
        if (x2 < left)
            return false;
        y1 += (y2 - y1) / (x2 - x1) * (left - x1);
        x1 = left;
    }
    if (x2 >= right)
    {
        if (x1 >= right)
            return false;
        // The right edge clips to the last pixel inside; when the segment starts beyond
        // that pixel's left side, stop just short of the edge instead, so the end never
        // moves back past the start.
        double target = x1 <= right - 1 ? right - 1 : std::nextafter(right, left);
        y2 += (y2 - y1) / (x2 - x1) * (target - x2);
        x2 = target;
    }
    if (y2 < y1)
    {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (y1 < top)
    {
        if (y2 < top)
            return false;
        x1 += (x2 - x1) / (y2 - y1) * (top - y1);
        y1 = top;
    }
    if (y2 >= bottom)
    {
        if (y1 >= bottom)
            return false;
        double target = y1 <= bottom - 1 ? bottom - 1 : std::nextafter(bottom, top);
        x2 += (x2 - x1) / (y2 - y1) * (target - y2);
        y2 = target;
    }

    // Rounding in the interpolation may step a hair outside the clip; the images trust
    // these points, so pull them back in.
    const double lastX = std::nextafter(right, left);
    const double lastY = std::nextafter(bottom, top);
    x1 = std::min(std::max(x1, left), lastX);
    x2 = std::min(std::max(x2, left), lastX);
    y1 = std::min(std::max(y1, top), lastY);
    y2 = std::min(std::max(y2, top), lastY);

    *startX = x1;
    *startY = y1;
    *endX = x2;
    *endY = y2;
    return true;
}

// ---- Images ---------------------------------------------------------------------------

void Graphics::DrawImage(Image* image, int x, int y)
{
    if (mScaleX != 1 || mScaleY != 1)
    {
        DrawImage(image, x, y, WholeImage(image));
        return;
    }
    int tx = TransX(x);
    int ty = TransY(y);
    TRect<int> r = Clipped(TRect<int>(tx, ty, image->mWidth, image->mHeight));
    if (r.mWidth < 1 || r.mHeight < 1)
        return;
    mDestImage->Blt(image, r.mX, r.mY, TRect<int>(r.mX - tx, r.mY - ty, r.mWidth, r.mHeight), Tint(),
                    mDrawMode);
}

void Graphics::DrawImage(Image* image, int x, int y, const TRect<int>& src)
{
    // A negative left or top would make the blitters read before the image (a font
    // width file can produce one).
    if (SourceOutsideImage(image, src))
        return;
    int tx = TransX(x);
    int ty = TransY(y);
    if (mScaleX == 1 && mScaleY == 1)
    {
        TRect<int> r = Clipped(TRect<int>(tx, ty, src.mWidth, src.mHeight));
        if (r.mWidth < 1 || r.mHeight < 1)
            return;
        mDestImage->Blt(image, r.mX, r.mY,
                        TRect<int>(r.mX + src.mX - tx, r.mY + src.mY - ty, r.mWidth, r.mHeight), Tint(),
                        mDrawMode);
        return;
    }
    if (src.mWidth < 1 || src.mHeight < 1)
        return;
    int destX = ScaledX(tx);
    int destY = ScaledY(ty);
    int destWidth = TruncToInt(std::ceil(mScaleX * static_cast<float>(src.mWidth)));
    int destHeight = TruncToInt(std::ceil(mScaleY * static_cast<float>(src.mHeight)));
    mDestImage->StretchBlt(image, TRect<int>(destX, destY, destWidth, destHeight), src, mClipRect, Tint(),
                           mDrawMode, mFastStretch);
}

void Graphics::DrawImage(Image* image, int x, int y, int stretchedWidth, int stretchedHeight)
{
    DrawImage(image, TRect<int>(x, y, stretchedWidth, stretchedHeight), WholeImage(image));
}

void Graphics::DrawImage(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect)
{
    TRect<int> dest = Translated(destRect.mX, destRect.mY, destRect.mWidth, destRect.mHeight);
    TRect<int> src = srcRect;
    if (!ClipStretchSource(image, dest, src))
        return;
    mDestImage->StretchBlt(image, dest, src, mClipRect, Tint(), mDrawMode, mFastStretch);
}

void Graphics::DrawImageF(Image* image, float x, float y)
{
    DrawImageF(image, x, y, WholeImage(image));
}

void Graphics::DrawImageF(Image* image, float x, float y, const TRect<int>& srcRect)
{
    TRect<int> src = srcRect;
    if (!ClipSource(image, src))
        return;
    // The pixels cut off the left or top keep their places.
    float px = x + static_cast<float>(src.mX - srcRect.mX);
    float py = y + static_cast<float>(src.mY - srcRect.mY);
    mDestImage->BltF(image, px + mTransX, py + mTransY, src, mClipRect, Tint(), mDrawMode);
}

void Graphics::DrawImageMirror(Image* image, int x, int y, bool mirror)
{
    DrawImageMirror(image, x, y, WholeImage(image), mirror);
}

void Graphics::DrawImageMirror(Image* image, int x, int y, const TRect<int>& src, bool mirror)
{
    if (!mirror)
    {
        DrawImage(image, x, y, src);
        return;
    }
    if (SourceOutsideImage(image, src))
        return;
    int tx = TransX(x);
    int ty = TransY(y);
    TRect<int> r = Clipped(TRect<int>(tx, ty, src.mWidth, src.mHeight));
    if (r.mWidth < 1 || r.mHeight < 1)
        return;
    // Pixels clipped off the left of the destination come from the right of the source.
    TRect<int> mirrored(src.mX + src.mWidth - r.mWidth - (r.mX - tx), r.mY + src.mY - ty, r.mWidth,
                        r.mHeight);
    mDestImage->BltMirror(image, r.mX, r.mY, mirrored, Tint(), mDrawMode);
}

void Graphics::DrawImageMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                               bool mirror)
{
    if (!mirror)
    {
        DrawImage(image, destRect, srcRect);
        return;
    }
    TRect<int> dest = Translated(destRect.mX, destRect.mY, destRect.mWidth, destRect.mHeight);
    TRect<int> src = srcRect;
    TRect<int> clipped = src.Intersection(WholeImage(image));
    if (clipped.mWidth < 1 || clipped.mHeight < 1)
        return;
    if (clipped != src)
    {
        // Mirrored: the part cut off the source's right moves the destination's left edge,
        // the part cut off its left the right edge. 64-bit: the source may lie far off.
        const int64_t cutLeft = int64_t(clipped.mX) - src.mX;
        const int64_t cutRight = int64_t(src.mX) + src.mWidth - (int64_t(clipped.mX) + clipped.mWidth);
        int64_t left = cutRight * dest.mWidth / src.mWidth;
        int64_t right = (int64_t(src.mWidth) - cutLeft) * dest.mWidth / src.mWidth;
        int64_t top = (int64_t(clipped.mY) - src.mY) * dest.mHeight / src.mHeight;
        int64_t bottom = (int64_t(clipped.mY) + clipped.mHeight - src.mY) * dest.mHeight / src.mHeight;
        dest = TRect<int>(SaturateToInt(dest.mX + left), SaturateToInt(dest.mY + top),
                          SaturateToInt(right - left), SaturateToInt(bottom - top));
        src = clipped;
    }
    mDestImage->StretchBltMirror(image, dest, src, mClipRect, Tint(), mDrawMode, mFastStretch);
}

void Graphics::DrawImageRotatedF(Image* image, float x, float y, double angle, float rotCenterX,
                                 float rotCenterY, const TRect<int>* srcRect)
{
    TRect<int> original = srcRect != nullptr ? *srcRect : WholeImage(image);
    TRect<int> src = original;
    if (!ClipSource(image, src))
        return;
    // Keep the remaining pixels and the centre of rotation where they were.
    float dx = static_cast<float>(src.mX - original.mX);
    float dy = static_cast<float>(src.mY - original.mY);
    mDestImage->BltRotated(image, x + dx + mTransX, y + dy + mTransY, src, mClipRect, Tint(), mDrawMode,
                           angle, rotCenterX - dx, rotCenterY - dy);
}

void Graphics::DrawImageRotatedF(Image* image, float x, float y, double angle, const TRect<int>* srcRect)
{
    TRect<int> src = srcRect != nullptr ? *srcRect : WholeImage(image);
    DrawImageRotatedF(image, x, y, angle, static_cast<float>(src.mWidth) * 0.5f,
                      static_cast<float>(src.mHeight) * 0.5f, &src);
}

void Graphics::DrawImageRotated(Image* image, int x, int y, double angle, int rotCenterX, int rotCenterY,
                                const TRect<int>* srcRect)
{
    DrawImageRotatedF(image, static_cast<float>(x), static_cast<float>(y), angle,
                      static_cast<float>(rotCenterX), static_cast<float>(rotCenterY), srcRect);
}

void Graphics::DrawImageRotated(Image* image, int x, int y, double angle, const TRect<int>* srcRect)
{
    TRect<int> src = srcRect != nullptr ? *srcRect : WholeImage(image);
    DrawImageRotated(image, x, y, angle, src.mWidth / 2, src.mHeight / 2, &src);
}

void Graphics::DrawImageMatrix(Image* image, const VaxoMatrix3& matrix, float x, float y)
{
    DrawImageMatrix(image, matrix, WholeImage(image), x, y);
}

void Graphics::DrawImageMatrix(Image* image, const VaxoMatrix3& matrix, const TRect<int>& srcRect, float x,
                               float y)
{
    TRect<int> src = srcRect;
    if (!ClipSource(image, src))
        return;
    mDestImage->BltMatrix(image, x + mTransX, y + mTransY, matrix, mClipRect, Tint(), mDrawMode, src,
                          mLinearBlend);
}

void Graphics::DrawTriangleTex(Image* texture, const TriVertex& v1, const TriVertex& v2, const TriVertex& v3)
{
    TriVertex triangle[1][3] = {{v1, v2, v3}};
    mDestImage->BltTrianglesTex(texture, triangle, 1, mClipRect, Tint(), mDrawMode, mTransX, mTransY,
                                mLinearBlend);
}

void Graphics::DrawTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles)
{
    mDestImage->BltTrianglesTex(texture, triangles, numTriangles, mClipRect, Tint(), mDrawMode, mTransX,
                                mTransY, mLinearBlend);
}

void Graphics::DrawImageCel(Image* image, int x, int y, int cel)
{
    int cols = image->mNumCols < 1 ? 1 : image->mNumCols;
    DrawImageCel(image, x, y, cel % cols, cel / cols);
}

void Graphics::DrawImageCel(Image* image, int x, int y, int column, int row)
{
    int rows = image->mNumRows < 1 ? 1 : image->mNumRows;
    int cols = image->mNumCols < 1 ? 1 : image->mNumCols;
    if (row < 0 || column < 0 || row >= rows || column >= cols)
        return;
    DrawImage(image, x, y, image->GetCelRect(column, row));
}

void Graphics::DrawImageCel(Image* image, const TRect<int>& destRect, int cel)
{
    int cols = image->mNumCols < 1 ? 1 : image->mNumCols;
    DrawImageCel(image, destRect, cel % cols, cel / cols);
}

void Graphics::DrawImageCel(Image* image, const TRect<int>& destRect, int column, int row)
{
    int rows = image->mNumRows < 1 ? 1 : image->mNumRows;
    int cols = image->mNumCols < 1 ? 1 : image->mNumCols;
    if (row < 0 || column < 0 || row >= rows || column >= cols)
        return;
    DrawImage(image, destRect, image->GetCelRect(column, row));
}

void Graphics::DrawImageAnim(Image* image, int x, int y, int time)
{
    DrawImageCel(image, x, y, image->GetAnimCel(time));
}

void Graphics::DrawImageBox(const TRect<int>& destRect, Image* image)
{
    DrawImageBox(WholeImage(image), destRect, image);
}

void Graphics::DrawImageBox(const TRect<int>& src, const TRect<int>& dest, Image* image)
{
    if (src.mWidth < 1 || src.mHeight < 1 || dest.mWidth < 0 || dest.mHeight < 0)
        return;

    int64_t cw = src.mWidth / 3;
    int64_t ch = src.mHeight / 3;
    if (dest.mWidth < 2 * cw)
        cw = dest.mWidth / 2;
    if (dest.mHeight < 2 * ch)
        ch = dest.mHeight / 2;
    const int64_t mw = src.mWidth - 2 * cw;
    const int64_t mh = src.mHeight - 2 * ch;

    // In 64 bits: a box or source near the int limits must not wrap.
    const int64_t sx = src.mX, sy = src.mY;
    const int64_t dx = dest.mX, dy = dest.mY, dw = dest.mWidth, dh = dest.mHeight;
    const int64_t rightX = dx + dw - cw;
    const int64_t bottomY = dy + dh - ch;
    auto at = [](int64_t v) { return SaturateToInt(v); };
    auto part = [&](int64_t x, int64_t y, int64_t w, int64_t h)
    { return TRect<int>(at(x), at(y), at(w), at(h)); };

    DrawImage(image, dest.mX, dest.mY, part(sx, sy, cw, ch));
    DrawImage(image, at(rightX), dest.mY, part(sx + cw + mw, sy, cw, ch));
    DrawImage(image, dest.mX, at(bottomY), part(sx, sy + ch + mh, cw, ch));
    DrawImage(image, at(rightX), at(bottomY), part(sx + cw + mw, sy + ch + mh, cw, ch));

    const int64_t innerW = dw - 2 * cw;
    const int64_t innerH = dh - 2 * ch;
    const int64_t n = (mw + innerW - 1) / mw;
    const int64_t m = (mh + innerH - 1) / mh;
    int64_t visLo, visHi, iFirst, iLast, jFirst, jLast;
    VisibleSpan(false, visLo, visHi);
    VisibleTiles(dx + cw, mw, n, visLo, visHi, iFirst, iLast);
    VisibleSpan(true, visLo, visHi);
    VisibleTiles(dy + ch, mh, m, visLo, visHi, jFirst, jLast);

    // Each band is clipped on the axis it is tiled along, to where its tiles land, so
    // that a scaled box has no holes; across that axis its tiles end where the corners do.
    int64_t innerX0, innerX1, innerY0, innerY1;
    BoxSpan(false, dx + cw, rightX, innerX0, innerX1);
    BoxSpan(true, dy + ch, bottomY, innerY0, innerY1);
    const int64_t clipX0 = mClipRect.mX, clipX1 = clipX0 + mClipRect.mWidth;
    const int64_t clipY0 = mClipRect.mY, clipY1 = clipY0 + mClipRect.mHeight;
    auto band = [&](int64_t x0, int64_t x1, int64_t y0, int64_t y1)
    {
        x0 = std::max(x0, clipX0);
        x1 = std::min(x1, clipX1);
        y0 = std::max(y0, clipY0);
        y1 = std::min(y1, clipY1);
        if (x1 <= x0 || y1 <= y0)
            return TRect<int>();
        return TRect<int>(at(x0), at(y0), at(x1 - x0), at(y1 - y0));
    };

    {
        Graphics edges(*this);
        edges.mClipRect = band(innerX0, innerX1, clipY0, clipY1);
        for (int64_t i = iFirst; i < iLast; i++)
        {
            int x = at(dx + cw + i * mw);
            edges.DrawImage(image, x, dest.mY, part(sx + cw, sy, mw, ch));
            edges.DrawImage(image, x, at(bottomY), part(sx + cw, sy + ch + mh, mw, ch));
        }
    }
    {
        Graphics edges(*this);
        edges.mClipRect = band(clipX0, clipX1, innerY0, innerY1);
        for (int64_t j = jFirst; j < jLast; j++)
        {
            int y = at(dy + ch + j * mh);
            edges.DrawImage(image, dest.mX, y, part(sx, sy + ch, cw, mh));
            edges.DrawImage(image, at(rightX), y, part(sx + cw + mw, sy + ch, cw, mh));
        }
    }
    {
        Graphics centre(*this);
        centre.mClipRect = band(innerX0, innerX1, innerY0, innerY1);
        for (int64_t i = iFirst; i < iLast; i++)
            for (int64_t j = jFirst; j < jLast; j++)
                centre.DrawImage(image, at(dx + cw + i * mw), at(dy + ch + j * mh),
                                 part(sx + cw, sy + ch, mw, mh));
    }
}

void Graphics::BoxSpan(bool yAxis, int64_t a, int64_t b, int64_t& lo, int64_t& hi) const
{
    const int32_t ta = yAxis ? TransY(SaturateToInt(a)) : TransX(SaturateToInt(a));
    if (mScaleX == 1 && mScaleY == 1)
    {
        lo = ta;
        hi = int64_t(ta) + (b - a);
        return;
    }
    const int32_t tb = yAxis ? TransY(SaturateToInt(b)) : TransX(SaturateToInt(b));
    lo = yAxis ? ScaledY(ta) : ScaledX(ta);
    hi = yAxis ? ScaledY(tb) : ScaledX(tb);
}

void Graphics::VisibleSpan(bool yAxis, int64_t& lo, int64_t& hi) const
{
    const float trans = yAxis ? mTransY : mTransX;
    const float scale = yAxis ? mScaleY : mScaleX;
    const double clipLo = yAxis ? mClipRect.mY : mClipRect.mX;
    const double clipHi = clipLo + (yAxis ? mClipRect.mHeight : mClipRect.mWidth);
    if (mScaleX == 1 && mScaleY == 1)
    {
        // A pixel of margin against the translation's fraction.
        lo = int64_t(clipLo) - TruncToInt(trans) - 1;
        hi = int64_t(clipHi) - TruncToInt(trans) + 1;
        return;
    }
    if (!(scale > 0)) // tiles of no width draw nothing
    {
        lo = hi = 0;
        return;
    }
    // Back through the scale; the margin covers the floor of the scaled position (a
    // destination pixel) and the single-precision sums.
    const double orig = yAxis ? mScaleOrigY : mScaleOrigX;
    const double a = (clipLo - orig) / scale + orig - trans;
    const double b = (clipHi - orig) / scale + orig - trans;
    const double margin = (2 + 1e-6 * (std::fabs(a) + std::fabs(b) + std::fabs(orig))) / scale + 2;
    const double limit = 4e18;
    const double first = std::floor(a - margin);
    const double last = std::ceil(b + margin);
    // A translation or scale origin that is not a number (or endless) places no tile.
    if (!(first <= last))
    {
        lo = hi = 0;
        return;
    }
    lo = int64_t(std::clamp(first, -limit, limit));
    hi = int64_t(std::clamp(last, -limit, limit));
}

void Graphics::DrawImageTransform(Image* image, const Transform& transform, float x, float y)
{
    DrawImageTransformHelper(image, transform, WholeImage(image), x, y, false);
}

void Graphics::DrawImageTransform(Image* image, const Transform& transform, const TRect<int>& srcRect,
                                  float x, float y)
{
    DrawImageTransformHelper(image, transform, srcRect, x, y, false);
}

void Graphics::DrawImageTransformF(Image* image, const Transform& transform, float x, float y)
{
    DrawImageTransformHelper(image, transform, WholeImage(image), x, y, true);
}

void Graphics::DrawImageTransformF(Image* image, const Transform& transform, const TRect<int>& srcRect,
                                   float x, float y)
{
    DrawImageTransformHelper(image, transform, srcRect, x, y, true);
}

void Graphics::DrawImageTransformHelper(Image* image, const Transform& transform, const TRect<int>& src,
                                        float x, float y, bool useFloats)
{
    if (transform.mComplex || (mIs3D && useFloats))
    {
        DrawImageMatrix(image, transform.GetMatrix(), src, x, y);
        return;
    }
    float hw = static_cast<float>(src.mWidth) * 0.5f;
    float hh = static_cast<float>(src.mHeight) * 0.5f;

    if (!transform.mHaveRot && !transform.mHaveScale)
    {
        float px = x + transform.mTransX1 + transform.mTransX2 - hw + 0.5f;
        float py = y + transform.mTransY1 + transform.mTransY2 - hh + 0.5f;
        if (!useFloats)
            DrawImage(image, TruncToInt(px), TruncToInt(py), src);
        else
            DrawImageF(image, px, py, src);
        return;
    }

    if (!transform.mHaveRot)
    {
        if (transform.mScaleX == -1 && transform.mScaleY == 1)
        {
            DrawImageMirror(image, TruncToInt(x + transform.mTransX1 + transform.mTransX2 - hw + 0.5f),
                            TruncToInt(y + transform.mTransY1 + transform.mTransY2 - hh + 0.5f), src, true);
            return;
        }
        // Any negative x scale is a mirror: a simple transform can reach (-2, 1) by
        // scaling a mirror again.
        bool mirror = transform.mScaleX < 0;
        float sx = std::fabs(transform.mScaleX);
        float hw2 = hw * sx;
        float hh2 = hh * transform.mScaleY;
        TRect<int> dest(TruncToInt(x + transform.mTransX2 - hw2), TruncToInt(y + transform.mTransY2 - hh2),
                        TruncToInt(2 * hw2), TruncToInt(2 * hh2));
        DrawImageMirror(image, dest, src, mirror);
        return;
    }

    float cx = hw - transform.mTransX1;
    float cy = hh - transform.mTransY1;
    float px = x + transform.mTransX2 - cx + 0.5f;
    float py = y + transform.mTransY2 - cy + 0.5f;
    if (!useFloats)
    {
        px = static_cast<float>(TruncToInt(px));
        py = static_cast<float>(TruncToInt(py));
        cx = static_cast<float>(TruncToInt(cx));
        cy = static_cast<float>(TruncToInt(cy));
    }
    DrawImageRotatedF(image, px, py, transform.mRot, cx, cy, &src);
}

} // namespace Vaxo
