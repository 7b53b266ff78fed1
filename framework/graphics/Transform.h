// Transform: a 2D transform that stays in a cheap "simple" form while it can.
//
// The simple form is: first translation, then a scale or a rotation (never both), then
// a second translation. Drawing code reads the flags and the simple-form fields to pick
// a fast blit (plain, mirrored, scaled, rotated); anything the simple form cannot hold
// turns the transform complex, and from then on only the matrix is true.
#pragma once

#include "graphics/Matrix.h"

namespace Vaxo
{

class Transform
{
public:
    // A cache of the simple form; in the complex form the whole transform. Updated by
    // the const operations, hence mutable.
    mutable VaxoTransform2D mMatrix;
    mutable bool mNeedCalcMatrix;
    bool mComplex;
    bool mHaveRot;
    bool mHaveScale;
    // Translation applied before the rotation, in pixels.
    float mTransX1, mTransY1;
    // Translation applied after the rotation or scale, in pixels.
    float mTransX2, mTransY2;
    float mScaleX, mScaleY;
    // Radians.
    float mRot;

public:
    Transform();

    void Reset();

    // Each step applies after what the transform already holds.
    void Translate(float tx, float ty);
    void RotateRad(float angle);
    void RotateDeg(float degrees);
    void Scale(float sx, float sy);

    void MakeComplex();
    void CalcMatrix() const;
    const VaxoTransform2D& GetMatrix() const;
};

} // namespace Vaxo
