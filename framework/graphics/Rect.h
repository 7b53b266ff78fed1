// TRect and TPoint: axis-aligned rectangles and points over a coordinate type, used with
// int for pixels and with double where positions are fractional.
//
// Clip rectangles are built with Intersection; Intersection and Union work in 64-bit for
// int so that far-off or huge rectangles from data files cannot overflow.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace Vaxo
{

namespace RectDetail
{
// Wide type for edge arithmetic: x + width of two ints may not fit in an int.
template <class T> using Wide = typename std::conditional<std::is_integral<T>::value, int64_t, T>::type;

template <class T> T Narrow(Wide<T> value)
{
    if (std::is_integral<T>::value)
    {
        if (value > static_cast<Wide<T>>(std::numeric_limits<T>::max()))
            return std::numeric_limits<T>::max();
        if (value < static_cast<Wide<T>>(std::numeric_limits<T>::lowest()))
            return std::numeric_limits<T>::lowest();
    }
    return static_cast<T>(value);
}
} // namespace RectDetail

template <class T> class TPoint
{
public:
    T mX;
    T mY;

public:
    constexpr TPoint() : mX(0), mY(0) {}
    constexpr TPoint(T x, T y) : mX(x), mY(y) {}

    bool operator==(const TPoint& other) const { return mX == other.mX && mY == other.mY; }
    bool operator!=(const TPoint& other) const { return !(*this == other); }
    TPoint operator+(const TPoint& other) const { return TPoint(mX + other.mX, mY + other.mY); }
    TPoint operator-(const TPoint& other) const { return TPoint(mX - other.mX, mY - other.mY); }
};

template <class T> class TRect
{
public:
    T mX;
    T mY;
    T mWidth;
    T mHeight;

public:
    constexpr TRect() : mX(0), mY(0), mWidth(0), mHeight(0) {}
    constexpr TRect(T x, T y, T width, T height) : mX(x), mY(y), mWidth(width), mHeight(height) {}

    // The overlap of both. A negative width or height gives (0, 0, 0, 0); exactly 0 is
    // kept, so rectangles that touch give a zero-size rectangle on the shared edge.
    TRect Intersection(const TRect& other) const
    {
        using W = RectDetail::Wide<T>;
        W left = std::max<W>(mX, other.mX);
        W right = std::min<W>(W(mX) + W(mWidth), W(other.mX) + W(other.mWidth));
        W top = std::max<W>(mY, other.mY);
        W bottom = std::min<W>(W(mY) + W(mHeight), W(other.mY) + W(other.mHeight));
        W width = right - left;
        W height = bottom - top;
        if (width < 0 || height < 0)
            return TRect();
        return TRect(RectDetail::Narrow<T>(left), RectDetail::Narrow<T>(top), RectDetail::Narrow<T>(width),
                     RectDetail::Narrow<T>(height));
    }

    // The smallest rectangle holding both. Empty rectangles are not skipped: a
    // (0, 0, 0, 0) pulls the union to the origin.
    TRect Union(const TRect& other) const
    {
        static_assert(std::is_integral<T>::value, "Union exists for integer rectangles only");
        using W = RectDetail::Wide<T>;
        W left = std::min<W>(mX, other.mX);
        W right = std::max<W>(W(mX) + W(mWidth), W(other.mX) + W(other.mWidth));
        W top = std::min<W>(mY, other.mY);
        W bottom = std::max<W>(W(mY) + W(mHeight), W(other.mY) + W(other.mHeight));
        return TRect(RectDetail::Narrow<T>(left), RectDetail::Narrow<T>(top),
                     RectDetail::Narrow<T>(right - left), RectDetail::Narrow<T>(bottom - top));
    }

    // The point lies inside: left and top edges included, right and bottom excluded.
    bool Contains(T x, T y) const
    {
        using W = RectDetail::Wide<T>;
        return x >= mX && y >= mY && W(x) < W(mX) + W(mWidth) && W(y) < W(mY) + W(mHeight);
    }
    bool Contains(const TPoint<T>& point) const { return Contains(point.mX, point.mY); }

    // The two share at least one pixel (area, not just an edge).
    bool Intersects(const TRect& other) const
    {
        using W = RectDetail::Wide<T>;
        return W(other.mX) + W(other.mWidth) > W(mX) && W(other.mY) + W(other.mHeight) > W(mY) &&
               W(other.mX) < W(mX) + W(mWidth) && W(other.mY) < W(mY) + W(mHeight);
    }

    bool operator==(const TRect& other) const
    {
        return mX == other.mX && mY == other.mY && mWidth == other.mWidth && mHeight == other.mHeight;
    }
    bool operator!=(const TRect& other) const { return !(*this == other); }
};

} // namespace Vaxo
