// Colour, rectangles, vectors, matrices and Transform.
#include "graphics/Geometry.h"
#include "graphics/VectorSync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace Vaxo;

namespace
{

// ---- Color -----------------------------------------------------------------------------

struct ColorFromIntCase
{
    uint32_t argb;
    Color expected;
};

TEST(Color, FromPackedIntTreatsTopByteZeroAsOpaque)
{
    const ColorFromIntCase cases[] = {
        {0x00112233u, Color(0x11, 0x22, 0x33, 255)},
        {0x80112233u, Color(0x11, 0x22, 0x33, 128)},
        {0xD0000000u, Color(0, 0, 0, 208)},
        {0xFFFFFFFFu, Color(255, 255, 255, 255)},
        {0x01000000u, Color(0, 0, 0, 1)},
        {0x00000000u, Color(0, 0, 0, 255)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Color(static_cast<int>(c.argb)), c.expected) << std::hex << c.argb;
}

TEST(Color, RgbWithAlphaKeepsAlphaZero)
{
    EXPECT_EQ(Color(0x112233, 0), Color(17, 34, 51, 0));
    EXPECT_EQ(Color(static_cast<int>(0xFF112233u), 7), Color(17, 34, 51, 7));
}

TEST(Color, DefaultsAndConstants)
{
    EXPECT_EQ(Color(), Color(0, 0, 0, 255));
    EXPECT_EQ(Color(1, 2, 3), Color(1, 2, 3, 255));
    EXPECT_EQ(Color::Black, Color(0, 0, 0, 255));
    EXPECT_EQ(Color::White, Color(255, 255, 255, 255));
}

TEST(Color, FromArraysAndRGBA)
{
    const unsigned char bytes[] = {9, 8, 7};
    const int ints[] = {300, -1, 5};
    EXPECT_EQ(Color(bytes), Color(9, 8, 7, 255));
    EXPECT_EQ(Color(ints), Color(300, -1, 5, 255));
    VaxoRGBA rgba{1, 2, 3, 4}; // b, g, r, a
    EXPECT_EQ(Color(rgba), Color(3, 2, 1, 4));
}

TEST(Color, ToIntPacksWithoutMasking)
{
    EXPECT_EQ(static_cast<uint32_t>(Color(255, 255, 255, 255).ToInt()), 0xFFFFFFFFu);
    EXPECT_EQ(Color(1, 2, 3, 4).ToInt(), 4 * (1 << 24) + 1 * (1 << 16) + 2 * (1 << 8) + 3);
    // A green of 256 spills into red's lowest bit.
    EXPECT_EQ(static_cast<uint32_t>(Color(0, 256, 0, 0).ToInt()), 0x00010000u);
}

TEST(Color, ToRGBAIsLittleEndianARGBWord)
{
    VaxoRGBA rgba = Color(0x12, 0x34, 0x56, 0x78).ToRGBA();
    uint32_t word =
        uint32_t(rgba.b) | uint32_t(rgba.g) << 8 | uint32_t(rgba.r) << 16 | uint32_t(rgba.a) << 24;
    EXPECT_EQ(word, 0x78123456u);
    VaxoRGBA truncated = Color(0x1FF, 0, 0, 0).ToRGBA();
    EXPECT_EQ(truncated.r, 0xFF);
}

TEST(Color, IndexOutOfRangeReachesSpareNotTheChannels)
{
    Color c(1, 2, 3, 4);
    EXPECT_EQ(c[0], 1);
    EXPECT_EQ(c[3], 4);
    c[2] = 30;
    EXPECT_EQ(c.mBlue, 30);
    c[7] = 99;
    c[-1] = 98;
    EXPECT_EQ(c, Color(1, 2, 30, 4));
    const Color& k = c;
    EXPECT_EQ(k[4], 0);
    EXPECT_EQ(k[-5], 0);
}

TEST(Color, EqualityComparesAllChannels)
{
    EXPECT_NE(Color(1, 2, 3, 4), Color(1, 2, 3, 5));
    EXPECT_NE(Color(1, 2, 3, 4), Color(0, 2, 3, 4));
}

// ---- TRect -----------------------------------------------------------------------------

struct RectPairCase
{
    TRect<int> a;
    TRect<int> b;
    TRect<int> expected;
};

TEST(Rect, IntersectionTable)
{
    const RectPairCase cases[] = {
        {{0, 0, 10, 10}, {10, 0, 5, 5}, {10, 0, 0, 5}}, // touching: zero width kept
        {{0, 0, 10, 10}, {11, 0, 5, 5}, {0, 0, 0, 0}},  // apart: the empty rectangle
        {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}},   // inside
        {{0, 0, 10, 10}, {-5, -5, 10, 10}, {0, 0, 5, 5}}, {{5, 5, 10, 10}, {0, 0, 8, 20}, {5, 5, 3, 10}},
        {{0, 0, 10, 10}, {0, 20, 10, 10}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.a.Intersection(c.b), c.expected);
        EXPECT_EQ(c.b.Intersection(c.a), c.expected);
    }
}

TEST(Rect, IntersectionOfHugeRectanglesDoesNotOverflow)
{
    const int big = std::numeric_limits<int>::max();
    TRect<int> a(big - 10, 0, big, 10);
    TRect<int> b(0, 0, big, 10);
    // Right edges lie beyond the int range; the overlap is still exact.
    EXPECT_EQ(a.Intersection(b), TRect<int>(big - 10, 0, 10, 10));
}

TEST(Rect, DoubleIntersection)
{
    TRect<double> a(0.5, 0, 2, 2);
    TRect<double> b(1, 1, 4, 4);
    EXPECT_EQ(a.Intersection(b), TRect<double>(1, 1, 1.5, 1));
}

TEST(Rect, UnionDoesNotSkipEmptyRectangles)
{
    EXPECT_EQ(TRect<int>(5, 5, 1, 1).Union(TRect<int>(0, 0, 0, 0)), TRect<int>(0, 0, 6, 6));
    EXPECT_EQ(TRect<int>(1, 2, 3, 4).Union(TRect<int>(10, -2, 1, 1)), TRect<int>(1, -2, 10, 8));
}

TEST(Rect, ContainsIncludesTopLeftExcludesBottomRight)
{
    TRect<int> r(10, 20, 5, 5);
    EXPECT_TRUE(r.Contains(10, 20));
    EXPECT_TRUE(r.Contains(14, 24));
    EXPECT_FALSE(r.Contains(15, 24));
    EXPECT_FALSE(r.Contains(14, 25));
    EXPECT_FALSE(r.Contains(TPoint<int>(9, 20)));
    EXPECT_TRUE(r.Intersects(TRect<int>(14, 24, 1, 1)));
    EXPECT_FALSE(r.Intersects(TRect<int>(15, 20, 3, 3)));
}

// ---- Vectors ---------------------------------------------------------------------------

TEST(Vector, NormalizeKeepsZeroAndScalesToUnit)
{
    EXPECT_EQ(VaxoVector2(0, 0).Normalize(), VaxoVector2(0, 0));
    VaxoVector2 n = VaxoVector2(3, 4).Normalize();
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.y, 0.8f);
    EXPECT_EQ(VaxoVector2(3, 4) / 2, VaxoVector2(1.5f, 2));
    EXPECT_FLOAT_EQ(VaxoVector2(3, 4).Magnitude(), 5);
}

TEST(Vector, DistSquared)
{
    EXPECT_FLOAT_EQ(DistSquared(1, 1, 4, 5), 25);
    EXPECT_FLOAT_EQ(DistSquared(-2, 0, -2, 0), 0);
}

TEST(Vector, SyncVaxoVector2RoundTripsTwoFloats)
{
    DataSync writer;
    writer.OpenWriter(16);
    std::vector<VaxoVector2> points = {{1.5f, -2.25f}, {1e6f, 0.125f}};
    DataSync_SyncSTLVectorImpl(points, writer, DataSyncFunc_SyncVaxoVector2());
    VaxoVector2 single(7, 8);
    DataSync_SyncVaxoVector2(writer, single);
    // A count Long, then x and y of each point as Floats.
    ASSERT_EQ(writer.GetWriter()->GetDataLen(), 4 + 2 * 8 + 8);

    DataSync reader;
    reader.OpenReader(writer.GetWriter()->GetDataPtr(), writer.GetWriter()->GetDataLen());
    std::vector<VaxoVector2> read;
    DataSync_SyncSTLVectorImpl(read, reader, DataSyncFunc_SyncVaxoVector2());
    VaxoVector2 readSingle;
    DataSync_SyncVaxoVector2(reader, readSingle);
    EXPECT_EQ(read, points);
    EXPECT_EQ(readSingle, single);
}

// ---- Matrices --------------------------------------------------------------------------

// Independent oracle: 3x3 in double, built from the elementary matrices by hand.
struct M3
{
    double m[3][3];
    static M3 Identity()
    {
        M3 r{};
        r.m[0][0] = r.m[1][1] = r.m[2][2] = 1;
        return r;
    }
    static M3 Translate(double tx, double ty)
    {
        M3 r = Identity();
        r.m[0][2] = tx;
        r.m[1][2] = ty;
        return r;
    }
    static M3 Scale(double sx, double sy)
    {
        M3 r = Identity();
        r.m[0][0] = sx;
        r.m[1][1] = sy;
        return r;
    }
    static M3 Rotate(double a)
    {
        M3 r = Identity();
        r.m[0][0] = std::cos(a);
        r.m[0][1] = std::sin(a);
        r.m[1][0] = -std::sin(a);
        r.m[1][1] = std::cos(a);
        return r;
    }
    M3 operator*(const M3& b) const
    {
        M3 r{};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                for (int k = 0; k < 3; k++)
                    r.m[i][j] += m[i][k] * b.m[k][j];
        return r;
    }
};

void ExpectNear(const VaxoMatrix3& got, const M3& want, double tolerance)
{
    const float* g[9] = {&got.m00, &got.m01, &got.m02, &got.m10, &got.m11,
                         &got.m12, &got.m20, &got.m21, &got.m22};
    for (int i = 0; i < 9; i++)
    {
        // Float rounding grows with the largest element of the row.
        const double* row = want.m[i / 3];
        double scale = 1 + std::max({std::fabs(row[0]), std::fabs(row[1]), std::fabs(row[2])});
        EXPECT_NEAR(*g[i], row[i % 3], tolerance * scale) << "element m" << i / 3 << i % 3;
    }
}

VaxoMatrix3 Make(float a, float b, float c, float d, float e, float f, float g, float h, float i)
{
    VaxoMatrix3 m;
    m.m00 = a, m.m01 = b, m.m02 = c;
    m.m10 = d, m.m11 = e, m.m12 = f;
    m.m20 = g, m.m21 = h, m.m22 = i;
    return m;
}

TEST(Matrix, ProductIsRowByColumn)
{
    VaxoMatrix3 a = Make(1, 2, 3, 4, 5, 6, 7, 8, 9);
    VaxoMatrix3 b = Make(9, 8, 7, 6, 5, 4, 3, 2, 1);
    // Worked by hand: row 0 of a times the columns of b.
    EXPECT_EQ(a * b, Make(30, 24, 18, 84, 69, 54, 138, 114, 90));
    VaxoMatrix3 c = a;
    c *= b;
    EXPECT_EQ(c, a * b);
}

TEST(Matrix, PointAndVectorProducts)
{
    VaxoMatrix3 a = Make(1, 2, 3, 4, 5, 6, 7, 8, 9);
    EXPECT_EQ(a * VaxoVector2(1, 1), VaxoVector2(6, 15));
    EXPECT_EQ(a * VaxoVector3(1, 0, 2), VaxoVector3(7, 16, 25));
    VaxoMatrix3 z{};
    z.LoadIdentity();
    EXPECT_EQ(z * VaxoVector2(3, -4), VaxoVector2(3, -4));
    z.ZeroMatrix();
    EXPECT_EQ(z * VaxoVector3(3, -4, 1), VaxoVector3(0, 0, 0));
}

TEST(Matrix, RotationTurnsCounterClockwiseOnScreen)
{
    VaxoTransform2D t;
    t.RotateDeg(90);
    VaxoVector2 p = t * VaxoVector2(1, 0);
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, -1, 1e-6);
}

TEST(Matrix, CompositionAppliesEachStepAfterThePrevious)
{
    VaxoTransform2D t;
    t.Scale(2, 3);
    t.Translate(10, 20);
    // Scaled first, then moved: (1, 1) -> (2, 3) -> (12, 23).
    EXPECT_EQ(t * VaxoVector2(1, 1), VaxoVector2(12, 23));
    VaxoTransform2D copy(static_cast<const VaxoMatrix3&>(t));
    EXPECT_EQ(copy, t);
    VaxoTransform2D identity(true);
    EXPECT_EQ(identity * VaxoVector2(5, 6), VaxoVector2(5, 6));
}

// ---- Transform -------------------------------------------------------------------------

TEST(Transform, TranslateThenRotateMovesOriginRound)
{
    Transform t;
    t.Translate(10, 0);
    t.RotateDeg(90);
    EXPECT_FALSE(t.mComplex);
    VaxoVector2 p = t.GetMatrix() * VaxoVector2(0, 0);
    EXPECT_NEAR(p.x, 0, 1e-4);
    EXPECT_NEAR(p.y, -10, 1e-4);
}

TEST(Transform, HorizontalMirrorStaysSimpleVerticalDoesNot)
{
    Transform mirror;
    mirror.Scale(-1, 1);
    EXPECT_FALSE(mirror.mComplex);
    EXPECT_TRUE(mirror.mHaveScale);
    EXPECT_EQ(mirror.mScaleX, -1);
    EXPECT_EQ(mirror.mScaleY, 1);

    Transform flip;
    flip.Scale(1, -1);
    EXPECT_TRUE(flip.mComplex);

    Transform twice;
    twice.Scale(-1, 1);
    twice.Scale(-1, 1); // -1 times -1 is no mirror of a unit scale
    EXPECT_TRUE(twice.mComplex);

    Transform other;
    other.Scale(-2, 1);
    EXPECT_TRUE(other.mComplex);
}

TEST(Transform, RotateThenScaleGoesComplexWithScaleAfterRotation)
{
    Transform t;
    t.RotateRad(0.5f);
    t.Scale(2, 2);
    EXPECT_TRUE(t.mComplex);
    ExpectNear(t.GetMatrix(), M3::Scale(2, 2) * M3::Rotate(0.5), 1e-6);
}

TEST(Transform, ScaleAfterFirstTranslationGoesComplex)
{
    Transform t;
    t.Translate(5, 0);
    t.Scale(2, 2);
    EXPECT_TRUE(t.mComplex);
    EXPECT_EQ(t.GetMatrix() * VaxoVector2(0, 0), VaxoVector2(10, 0));
}

TEST(Transform, SimpleFormKeepsTranslationsApart)
{
    Transform t;
    t.Scale(2, 3);
    t.Translate(4, 5);
    EXPECT_FALSE(t.mComplex);
    EXPECT_EQ(t.mTransX1, 0);
    EXPECT_EQ(t.mTransX2, 4);
    EXPECT_EQ(t.mTransY2, 5);
    EXPECT_EQ(t.GetMatrix() * VaxoVector2(1, 1), VaxoVector2(6, 8));
}

// Without these two rules the simple form would lose the translation that lies between
// two rotations or two scales.
TEST(Transform, RotationAfterSecondTranslationTurnsThatTranslation)
{
    Transform t;
    t.RotateDeg(90);
    t.Translate(10, 0);
    t.RotateDeg(90);
    EXPECT_TRUE(t.mComplex);
    ExpectNear(t.GetMatrix(), M3::Rotate(M_PI / 2) * M3::Translate(10, 0) * M3::Rotate(M_PI / 2), 1e-5);
}

TEST(Transform, ScaleAfterSecondTranslationScalesThatTranslation)
{
    Transform t;
    t.Scale(2, 2);
    t.Translate(5, 5);
    t.Scale(3, 3);
    EXPECT_TRUE(t.mComplex);
    EXPECT_EQ(t.GetMatrix() * VaxoVector2(0, 0), VaxoVector2(15, 15));
}

TEST(Transform, ConsecutiveRotationsAndScalesStaySimple)
{
    Transform r;
    r.Translate(3, 4);
    r.RotateRad(0.25f);
    r.RotateRad(0.5f);
    EXPECT_FALSE(r.mComplex);
    EXPECT_FLOAT_EQ(r.mRot, 0.75f);

    Transform s;
    s.Scale(2, 3);
    s.Scale(0.5f, 2);
    EXPECT_FALSE(s.mComplex);
    EXPECT_EQ(s.mScaleX, 1);
    EXPECT_EQ(s.mScaleY, 6);
}

TEST(Transform, ResetReturnsToIdentitySimpleForm)
{
    Transform t;
    t.Scale(1, -1);
    ASSERT_TRUE(t.mComplex);
    t.Reset();
    EXPECT_FALSE(t.mComplex);
    EXPECT_FALSE(t.mHaveRot);
    EXPECT_FALSE(t.mHaveScale);
    ExpectNear(t.GetMatrix(), M3::Identity(), 0);
}

TEST(Transform, MakeComplexKeepsTheMatrix)
{
    Transform t;
    t.Translate(1, 2);
    t.RotateRad(0.3f);
    t.Translate(4, 5);
    M3 want = M3::Translate(4, 5) * M3::Rotate(0.3) * M3::Translate(1, 2);
    t.MakeComplex();
    EXPECT_TRUE(t.mComplex);
    ExpectNear(t.GetMatrix(), want, 1e-5);
    t.Translate(1, 1);
    ExpectNear(t.GetMatrix(), M3::Translate(1, 1) * want, 1e-5);
}

TEST(Transform, RandomSequencesEqualProductOfElementarySteps)
{
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> pick(0, 5);
    std::uniform_real_distribution<float> coord(-100, 100);
    std::uniform_real_distribution<float> angle(-3.2f, 3.2f);
    std::uniform_real_distribution<float> factor(0.25f, 4);
    int complexCount = 0;
    for (int sequence = 0; sequence < 2000; sequence++)
    {
        Transform t;
        M3 want = M3::Identity();
        int steps = 1 + sequence % 6;
        for (int s = 0; s < steps; s++)
        {
            switch (pick(rng))
            {
            case 0:
            case 1:
            {
                float tx = coord(rng), ty = coord(rng);
                t.Translate(tx, ty);
                want = M3::Translate(tx, ty) * want;
                break;
            }
            case 2:
            {
                float a = angle(rng);
                t.RotateRad(a);
                want = M3::Rotate(a) * want;
                break;
            }
            case 3:
            {
                float d = std::round(angle(rng) * 30);
                t.RotateDeg(d);
                want = M3::Rotate(d * 3.14159265358979 / 180) * want;
                break;
            }
            case 4:
            {
                float sx = factor(rng), sy = factor(rng);
                t.Scale(sx, sy);
                want = M3::Scale(sx, sy) * want;
                break;
            }
            default:
            {
                // Mirrors and flips, which decide between the simple and complex forms.
                float sx = (rng() & 1) ? -1.0f : 1.0f, sy = (rng() & 3) == 0 ? -1.0f : 1.0f;
                t.Scale(sx, sy);
                want = M3::Scale(sx, sy) * want;
                break;
            }
            }
        }
        complexCount += t.mComplex ? 1 : 0;
        SCOPED_TRACE(sequence);
        ExpectNear(t.GetMatrix(), want, 2e-4);
    }
    // Both forms were exercised.
    EXPECT_GT(complexCount, 100);
    EXPECT_LT(complexCount, 1900);
}

} // namespace
