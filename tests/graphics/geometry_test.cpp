// Colour, rectangles, vectors, matrices and Transform.
#include "graphics/Geometry.h"
#include "graphics/VectorSync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace Vaxo;

namespace
{

// ---- Color and TRect ------------------------------------------------------------------

TEST(Color, PackedIntsArraysAndChannelIndex)
{
    // A top byte of 0 means opaque; with an alpha given, the top byte is ignored.
    const std::pair<uint32_t, Color> cases[] = {{0x00112233u, Color(0x11, 0x22, 0x33, 255)},
                                                {0x80112233u, Color(0x11, 0x22, 0x33, 128)},
                                                {0xD0000000u, Color(0, 0, 0, 208)},
                                                {0x01000000u, Color(0, 0, 0, 1)}};
    for (const auto& c : cases)
        EXPECT_EQ(Color(static_cast<int>(c.first)), c.second) << std::hex << c.first;
    EXPECT_EQ(Color(0x112233, 0), Color(17, 34, 51, 0));
    EXPECT_EQ(Color(static_cast<int>(0xFF112233u), 7), Color(17, 34, 51, 7));
    const unsigned char bytes[] = {9, 8, 7};
    EXPECT_EQ(Color(bytes), Color(9, 8, 7, 255));
    EXPECT_EQ(Color(VaxoRGBA{1, 2, 3, 4}), Color(3, 2, 1, 4)); // b, g, r, a
    // Not masked: a green of 256 spills into red's lowest bit; RGBA truncates to a byte.
    EXPECT_EQ(static_cast<uint32_t>(Color(0, 256, 0, 0).ToInt()), 0x00010000u);
    EXPECT_EQ(Color(0x1FF, 0, 0, 0).ToRGBA().r, 0xFF);
    // An index outside 0-3 reaches a spare value, never a channel.
    Color c(1, 2, 3, 4);
    c[2] = 30;
    c[7] = 99;
    c[-1] = 98;
    EXPECT_EQ(c, Color(1, 2, 30, 4));
    const Color& k = c;
    EXPECT_EQ((std::vector<int>{k[0], k[3], k[4], k[-5]}), (std::vector<int>{1, 4, 0, 0}));
}

TEST(Rect, IntersectionUnionAndContains)
{
    const struct
    {
        TRect<int> a, b, expected;
    } cases[] = {
        {{0, 0, 10, 10}, {10, 0, 5, 5}, {10, 0, 0, 5}}, // touching: zero width kept
        {{0, 0, 10, 10}, {11, 0, 5, 5}, {0, 0, 0, 0}},  // apart: the empty rectangle
        {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}},   // inside
        {{0, 0, 10, 10}, {-5, -5, 10, 10}, {0, 0, 5, 5}},
        {{5, 5, 10, 10}, {0, 0, 8, 20}, {5, 5, 3, 10}},
        // Right edges beyond the int range; the overlap is still exact.
        {{INT32_MAX - 10, 0, INT32_MAX, 10}, {0, 0, INT32_MAX, 10}, {INT32_MAX - 10, 0, 10, 10}},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.a.Intersection(c.b), c.expected);
        EXPECT_EQ(c.b.Intersection(c.a), c.expected);
    }
    EXPECT_EQ(TRect<double>(0.5, 0, 2, 2).Intersection(TRect<double>(1, 1, 4, 4)),
              TRect<double>(1, 1, 1.5, 1));
    // Union does not skip empty rectangles; Contains excludes the bottom-right edges.
    EXPECT_EQ(TRect<int>(5, 5, 1, 1).Union(TRect<int>(0, 0, 0, 0)), TRect<int>(0, 0, 6, 6));
    EXPECT_EQ(TRect<int>(1, 2, 3, 4).Union(TRect<int>(10, -2, 1, 1)), TRect<int>(1, -2, 10, 8));
    TRect<int> r(10, 20, 5, 5);
    EXPECT_TRUE(r.Contains(10, 20) && r.Contains(14, 24));
    EXPECT_FALSE(r.Contains(15, 24) || r.Contains(14, 25) || r.Contains(TPoint<int>(9, 20)));
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
    EXPECT_FLOAT_EQ(DistSquared(1, 1, 4, 5), 25);
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
    static M3 Identity() { return M3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}; }
    static M3 Translate(double tx, double ty) { return M3{{{1, 0, tx}, {0, 1, ty}, {0, 0, 1}}}; }
    static M3 Scale(double sx, double sy) { return M3{{{sx, 0, 0}, {0, sy, 0}, {0, 0, 1}}}; }
    static M3 Rotate(double a)
    {
        return M3{{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
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

TEST(Matrix, ProductsAndTransformSteps)
{
    VaxoMatrix3 a = Make(1, 2, 3, 4, 5, 6, 7, 8, 9);
    VaxoMatrix3 b = Make(9, 8, 7, 6, 5, 4, 3, 2, 1);
    // Worked by hand: each row of a times the columns of b.
    EXPECT_EQ(a * b, Make(30, 24, 18, 84, 69, 54, 138, 114, 90));
    VaxoMatrix3 c = a;
    c *= b;
    EXPECT_EQ(c, a * b);
    EXPECT_EQ(a * VaxoVector2(1, 1), VaxoVector2(6, 15));
    EXPECT_EQ(a * VaxoVector3(1, 0, 2), VaxoVector3(7, 16, 25));
    VaxoTransform2D r;
    r.RotateDeg(90); // counter-clockwise on the screen: (1, 0) goes up
    VaxoVector2 p = r * VaxoVector2(1, 0);
    EXPECT_NEAR(p.x, 0, 1e-6);
    EXPECT_NEAR(p.y, -1, 1e-6);
    VaxoTransform2D t;
    t.Scale(2, 3);
    t.Translate(10, 20);
    // Scaled first, then moved: (1, 1) -> (2, 3) -> (12, 23).
    EXPECT_EQ(t * VaxoVector2(1, 1), VaxoVector2(12, 23));
}

// ---- Transform -------------------------------------------------------------------------

// One step on both the transform and the oracle: 'T'ranslate, 'R'otate by a degrees,
// 'r'otate by a radians, 'S'cale.
struct Step
{
    char op;
    float a, b;
};

void Apply(Transform& t, M3& want, const Step& s)
{
    switch (s.op)
    {
    case 'T':
        t.Translate(s.a, s.b);
        want = M3::Translate(s.a, s.b) * want;
        break;
    case 'R':
        t.RotateDeg(s.a);
        want = M3::Rotate(s.a * 3.14159265358979 / 180) * want;
        break;
    case 'r':
        t.RotateRad(s.a);
        want = M3::Rotate(s.a) * want;
        break;
    default:
        t.Scale(s.a, s.b);
        want = M3::Scale(s.a, s.b) * want;
        break;
    }
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
        for (int s = 0; s < 1 + sequence % 6; s++)
        {
            switch (pick(rng))
            {
            case 0:
            case 1:
                Apply(t, want, Step{'T', coord(rng), coord(rng)});
                break;
            case 2:
                Apply(t, want, Step{'r', angle(rng), 0});
                break;
            case 3:
                Apply(t, want, Step{'R', std::round(angle(rng) * 30), 0});
                break;
            case 4:
                Apply(t, want, Step{'S', factor(rng), factor(rng)});
                break;
            default: // mirrors and flips, which decide between the simple and complex forms
                Apply(t, want, Step{'S', (rng() & 1) ? -1.0f : 1.0f, (rng() & 3) == 0 ? -1.0f : 1.0f});
                break;
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
