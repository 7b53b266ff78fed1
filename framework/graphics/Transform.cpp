#include "graphics/Transform.h"

namespace Vaxo
{

Transform::Transform() : mMatrix(false)
{
    Reset();
}

void Transform::Reset()
{
    mNeedCalcMatrix = true;
    mComplex = false;
    mHaveRot = false;
    mHaveScale = false;
    mTransX1 = mTransY1 = 0;
    mTransX2 = mTransY2 = 0;
    mScaleX = mScaleY = 1;
    mRot = 0;
}

void Transform::Translate(float tx, float ty)
{
    if (mComplex)
    {
        mMatrix.Translate(tx, ty);
        return;
    }
    mNeedCalcMatrix = true;
    if (mHaveRot || mHaveScale)
    {
        mTransX2 += tx;
        mTransY2 += ty;
    }
    else
    {
        mTransX1 += tx;
        mTransY1 += ty;
    }
}

void Transform::RotateRad(float angle)
{
    if (mComplex)
    {
        mMatrix.RotateRad(angle);
        return;
    }
    // Once a translation follows the rotation, a further rotation must turn that
    // translation too, which adding to the angle would not.
    if (mHaveScale || mTransX2 != 0 || mTransY2 != 0)
    {
        MakeComplex();
        mMatrix.RotateRad(angle);
        return;
    }
    mHaveRot = true;
    mNeedCalcMatrix = true;
    mRot += angle;
}

void Transform::RotateDeg(float degrees)
{
    RotateRad(degrees * 3.1415927f / 180.0f);
}

void Transform::Scale(float sx, float sy)
{
    if (mComplex)
    {
        mMatrix.Scale(sx, sy);
        return;
    }
    // A scale after any translation would scale that translation too, which the simple
    // form has no place for.
    bool staysSimple = !mHaveRot && mTransX1 == 0 && mTransY1 == 0 && mTransX2 == 0 && mTransY2 == 0 &&
                       (sx >= 0 || sx * mScaleX == -1) && sy >= 0;
    if (staysSimple)
    {
        mHaveScale = true;
        mNeedCalcMatrix = true;
        mScaleX *= sx;
        mScaleY *= sy;
        return;
    }
    MakeComplex();
    mMatrix.Scale(sx, sy);
}

void Transform::MakeComplex()
{
    if (mComplex)
        return;
    mComplex = true;
    CalcMatrix();
}

void Transform::CalcMatrix() const
{
    if (!mNeedCalcMatrix)
        return;
    mNeedCalcMatrix = false;
    mMatrix.LoadIdentity();
    mMatrix.m02 = mTransX1;
    mMatrix.m12 = mTransY1;
    if (mHaveScale)
    {
        mMatrix.m00 = mScaleX;
        mMatrix.m11 = mScaleY;
    }
    else if (mHaveRot)
    {
        mMatrix.RotateRad(mRot);
    }
    if (mTransX2 != 0 || mTransY2 != 0)
        mMatrix.Translate(mTransX2, mTransY2);
}

const VaxoTransform2D& Transform::GetMatrix() const
{
    CalcMatrix();
    return mMatrix;
}

} // namespace Vaxo
