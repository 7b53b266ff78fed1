// VaxoVector2 and VaxoVector3: small float vectors for positions, directions and
// the column vectors the 3x3 matrices act on.
#pragma once

#include <cmath>

namespace Vaxo
{

class VaxoVector2
{
public:
    float x;
    float y;

public:
    constexpr VaxoVector2() : x(0), y(0) {}
    constexpr VaxoVector2(float theX, float theY) : x(theX), y(theY) {}

    float Dot(const VaxoVector2& v) const { return x * v.x + y * v.y; }
    VaxoVector2 operator+(const VaxoVector2& v) const { return VaxoVector2(x + v.x, y + v.y); }
    VaxoVector2 operator-(const VaxoVector2& v) const { return VaxoVector2(x - v.x, y - v.y); }
    VaxoVector2 operator-() const { return VaxoVector2(-x, -y); }
    VaxoVector2 operator*(float t) const { return VaxoVector2(x * t, y * t); }
    VaxoVector2 operator/(float d) const { return VaxoVector2(x / d, y / d); }
    VaxoVector2& operator+=(const VaxoVector2& v)
    {
        x += v.x;
        y += v.y;
        return *this;
    }
    VaxoVector2& operator-=(const VaxoVector2& v)
    {
        x -= v.x;
        y -= v.y;
        return *this;
    }
    bool operator==(const VaxoVector2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const VaxoVector2& v) const { return !(*this == v); }

    float Magnitude() const { return std::sqrt(x * x + y * y); }
    // Unit vector in the same direction; the zero vector stays zero instead of
    // becoming NaN.
    VaxoVector2 Normalize() const
    {
        float length = Magnitude();
        if (length == 0)
            return *this;
        return *this / length;
    }
    // The vector turned a quarter: (-y, x).
    VaxoVector2 Perp() const { return VaxoVector2(-y, x); }
};

class VaxoVector3
{
public:
    float x;
    float y;
    float z;

public:
    constexpr VaxoVector3() : x(0), y(0), z(0) {}
    constexpr VaxoVector3(float theX, float theY, float theZ) : x(theX), y(theY), z(theZ) {}

    float Dot(const VaxoVector3& v) const { return x * v.x + y * v.y + z * v.z; }
    VaxoVector3 Cross(const VaxoVector3& v) const
    {
        return VaxoVector3(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
    }
    VaxoVector3 operator+(const VaxoVector3& v) const { return VaxoVector3(x + v.x, y + v.y, z + v.z); }
    VaxoVector3 operator-(const VaxoVector3& v) const { return VaxoVector3(x - v.x, y - v.y, z - v.z); }
    VaxoVector3 operator*(float t) const { return VaxoVector3(x * t, y * t, z * t); }
    VaxoVector3 operator/(float d) const { return VaxoVector3(x / d, y / d, z / d); }
    bool operator==(const VaxoVector3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const VaxoVector3& v) const { return !(*this == v); }
    float Magnitude() const { return std::sqrt(x * x + y * y + z * z); }
};

// (x2 - x1)^2 + (y2 - y1)^2: compares distances without a square root.
inline float DistSquared(float x1, float y1, float x2, float y2)
{
    return (x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1);
}

} // namespace Vaxo
