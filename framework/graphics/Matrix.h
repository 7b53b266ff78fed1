// VaxoMatrix3 and VaxoTransform2D: 3x3 float matrices for affine 2D transforms.
//
// Row-major (m00 m01 m02 / m10 m11 m12 / m20 m21 m22) acting on column vectors, so a
// point (x, y) goes to (m00 x + m01 y + m02, m10 x + m11 y + m12) and a product a * b
// applies b first. The composition operations of VaxoTransform2D multiply on the left:
// each step applies after everything already in the matrix.
#pragma once

#include "graphics/Vector.h"

namespace Vaxo
{

class VaxoMatrix3
{
public:
    float m00, m01, m02;
    float m10, m11, m12;
    float m20, m21, m22;

public:
    // Leaves the elements uninitialised (matrices are built in hot drawing paths);
    // value-initialise with {} for zeros.
    VaxoMatrix3() = default;

    void ZeroMatrix();
    void LoadIdentity();

    // The point transform: the implicit third coordinate is 1.
    VaxoVector2 operator*(const VaxoVector2& v) const;
    // The full product with a column vector.
    VaxoVector3 operator*(const VaxoVector3& v) const;
    // this * b: b applies first.
    VaxoMatrix3 operator*(const VaxoMatrix3& b) const;
    const VaxoMatrix3& operator*=(const VaxoMatrix3& b);

    bool operator==(const VaxoMatrix3& b) const;
    bool operator!=(const VaxoMatrix3& b) const { return !(*this == b); }
};

class VaxoTransform2D : public VaxoMatrix3
{
public:
    VaxoTransform2D();
    // Identity when true; uninitialised when false.
    explicit VaxoTransform2D(bool loadIdentity);
    VaxoTransform2D(const VaxoMatrix3& matrix);
    const VaxoTransform2D& operator=(const VaxoMatrix3& matrix);

    // Each of these applies after what the matrix already holds.
    void Translate(float tx, float ty);
    void Scale(float sx, float sy);
    // Radians; with y pointing down the screen a positive angle turns counter-clockwise
    // as seen: (1, 0) goes to (cos a, -sin a).
    void RotateRad(float angle);
    void RotateDeg(float degrees);
};

} // namespace Vaxo
