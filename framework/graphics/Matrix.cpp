#include "graphics/Matrix.h"

#include <cmath>

namespace Vaxo
{

void VaxoMatrix3::ZeroMatrix()
{
    m00 = m01 = m02 = 0;
    m10 = m11 = m12 = 0;
    m20 = m21 = m22 = 0;
}

void VaxoMatrix3::LoadIdentity()
{
    ZeroMatrix();
    m00 = m11 = m22 = 1;
}

VaxoVector2 VaxoMatrix3::operator*(const VaxoVector2& v) const
{
    return VaxoVector2(m00 * v.x + m01 * v.y + m02, m10 * v.x + m11 * v.y + m12);
}

VaxoVector3 VaxoMatrix3::operator*(const VaxoVector3& v) const
{
    return VaxoVector3(m00 * v.x + m01 * v.y + m02 * v.z, m10 * v.x + m11 * v.y + m12 * v.z,
                       m20 * v.x + m21 * v.y + m22 * v.z);
}

VaxoMatrix3 VaxoMatrix3::operator*(const VaxoMatrix3& b) const
{
    VaxoMatrix3 r;
    r.m00 = m00 * b.m00 + m01 * b.m10 + m02 * b.m20;
    r.m01 = m00 * b.m01 + m01 * b.m11 + m02 * b.m21;
    r.m02 = m00 * b.m02 + m01 * b.m12 + m02 * b.m22;
    r.m10 = m10 * b.m00 + m11 * b.m10 + m12 * b.m20;
    r.m11 = m10 * b.m01 + m11 * b.m11 + m12 * b.m21;
    r.m12 = m10 * b.m02 + m11 * b.m12 + m12 * b.m22;
    r.m20 = m20 * b.m00 + m21 * b.m10 + m22 * b.m20;
    r.m21 = m20 * b.m01 + m21 * b.m11 + m22 * b.m21;
    r.m22 = m20 * b.m02 + m21 * b.m12 + m22 * b.m22;
    return r;
}

const VaxoMatrix3& VaxoMatrix3::operator*=(const VaxoMatrix3& b)
{
    *this = *this * b;
    return *this;
}

bool VaxoMatrix3::operator==(const VaxoMatrix3& b) const
{
    return m00 == b.m00 && m01 == b.m01 && m02 == b.m02 && m10 == b.m10 && m11 == b.m11 && m12 == b.m12 &&
           m20 == b.m20 && m21 == b.m21 && m22 == b.m22;
}

VaxoTransform2D::VaxoTransform2D()
{
    LoadIdentity();
}

VaxoTransform2D::VaxoTransform2D(bool loadIdentity)
{
    if (loadIdentity)
        LoadIdentity();
}

VaxoTransform2D::VaxoTransform2D(const VaxoMatrix3& matrix) : VaxoMatrix3(matrix) {}

const VaxoTransform2D& VaxoTransform2D::operator=(const VaxoMatrix3& matrix)
{
    VaxoMatrix3::operator=(matrix);
    return *this;
}

void VaxoTransform2D::Translate(float tx, float ty)
{
    VaxoMatrix3 t;
    t.LoadIdentity();
    t.m02 = tx;
    t.m12 = ty;
    *this = t * *this;
}

void VaxoTransform2D::Scale(float sx, float sy)
{
    VaxoMatrix3 s;
    s.LoadIdentity();
    s.m00 = sx;
    s.m11 = sy;
    *this = s * *this;
}

void VaxoTransform2D::RotateRad(float angle)
{
    float c = std::cos(angle);
    float s = std::sin(angle);
    VaxoMatrix3 r;
    r.LoadIdentity();
    r.m00 = c;
    r.m01 = s;
    r.m10 = -s;
    r.m11 = c;
    *this = r * *this;
}

void VaxoTransform2D::RotateDeg(float degrees)
{
    // Multiplied before dividing, in single precision, as stored angles expect.
    RotateRad(degrees * 3.1415927f / 180.0f);
}

} // namespace Vaxo
