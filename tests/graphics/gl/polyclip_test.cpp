// Polygon clipper of the OpenGL renderer: boundaries, interpolation, the vertex list.
#include "graphics/gl/PolyClip.h"
#include "graphics/gl/support/FakeGL.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace Vaxo
{
namespace
{

using Less = PointClipper<std::less<float>>;
using GreaterEqual = PointClipper<std::greater_equal<float>>;

GLVertex V(float x, float y, float u = 0, float v = 0, uint32_t color = 0xFF000000)
{
    return GLVertex{x, y, u, v, color};
}

VertexList List(const std::vector<GLVertex>& vertices)
{
    VertexList list;
    for (const GLVertex& v : vertices)
        list.push_back(v);
    return list;
}

void ExpectVertex(const GLVertex& actual, const GLVertex& expected)
{
    EXPECT_FLOAT_EQ(actual.x, expected.x);
    EXPECT_FLOAT_EQ(actual.y, expected.y);
    EXPECT_FLOAT_EQ(actual.u, expected.u);
    EXPECT_FLOAT_EQ(actual.v, expected.v);
    EXPECT_EQ(actual.color, expected.color);
}

const TRect<int> kClip(10, 20, 100, 50); // x 10..110, y 20..70, half-open

TEST(PolyClipRect, SquareInsideKeepsItsVerticesInOrder)
{
    const VertexList square = List({V(20, 30, 0, 0), V(40, 30, 1, 0), V(40, 50, 1, 1), V(20, 50, 0, 1)});
    VertexList out;
    ClipPolyToRect(kClip, square, out);
    ASSERT_EQ(out.size(), 4);
    for (int i = 0; i < 4; ++i)
        ExpectVertex(out[i], square[i]);
}

TEST(PolyClipRect, SquareWhollyLeftIsGoneAfterTheFirstPass)
{
    const VertexList square = List({V(0, 30), V(5, 30), V(5, 40), V(0, 40)});
    VertexList out;
    Less::ClipPoints(kClipX, 10.0f, square, out);
    EXPECT_EQ(out.size(), 0);
    ClipPolyToRect(kClip, square, out);
    EXPECT_EQ(out.size(), 0);
}

TEST(PolyClipRect, SquareCrossingTheLeftEdgeGainsInterpolatedVertices)
{
    // x from 0 to 20 with u from 0 to 1 and colour from black to red.
    const VertexList square = List({V(0, 30, 0, 0, 0xFF000000), V(20, 30, 1, 0, 0xFFC80000),
                                    V(20, 50, 1, 1, 0xFFC80000), V(0, 50, 0, 1, 0xFF000000)});
    VertexList out;
    ClipPolyToRect(kClip, square, out);
    // Edge (0,50)->(0,30) is outside; (0,30)->(20,30) enters at x = 10 (t = 0.5).
    ASSERT_EQ(out.size(), 4);
    ExpectVertex(out[0], V(10, 30, 0.5f, 0, 0xFF640000));
    ExpectVertex(out[1], V(20, 30, 1, 0, 0xFFC80000));
    ExpectVertex(out[2], V(20, 50, 1, 1, 0xFFC80000));
    ExpectVertex(out[3], V(10, 50, 0.5f, 1, 0xFF640000));
}

TEST(PolyClipRect, VertexOnTheRightEdgeIsReplacedByTheCrossingThere)
{
    const VertexList triangle = List({V(50, 30, 0, 0), V(110, 40, 1, 0), V(50, 60, 0, 1)});
    VertexList out;
    ClipPolyToRect(kClip, triangle, out);
    // (110, 40) is outside; both edges at it cross x = 110 at that very point.
    ASSERT_EQ(out.size(), 4);
    ExpectVertex(out[0], V(50, 30, 0, 0));
    ExpectVertex(out[1], V(110, 40, 1, 0));
    ExpectVertex(out[2], V(110, 40, 1, 0));
    ExpectVertex(out[3], V(50, 60, 0, 1));
}

struct EdgeCase
{
    const char* name;
    GLVertex vertex;
    bool inside;
};

TEST(PolyClipRect, EdgesAreHalfOpen)
{
    const EdgeCase cases[] = {
        {"left edge", V(10, 40), true},
        {"top edge", V(50, 20), true},
        {"top-left corner", V(10, 20), true},
        {"right edge", V(110, 40), false},
        {"bottom edge", V(50, 70), false},
        {"just inside right", V(109.99f, 40), true},
        {"just inside bottom", V(50, 69.99f), true},
    };
    for (const EdgeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        // A degenerate polygon of the one point: it survives only when inside.
        const VertexList point = List({c.vertex, c.vertex, c.vertex});
        VertexList out;
        ClipPolyToRect(kClip, point, out);
        EXPECT_EQ(out.size() == 3, c.inside);
    }
}

TEST(PolyClipPoint, TableOfInsideAndOutside)
{
    const GLVertex in1 = V(20, 0), in2 = V(30, 0), out1 = V(0, 0), out2 = V(5, 0);
    VertexList out;
    Less::ClipPoint(kClipX, 10, out1, out2, out);
    EXPECT_EQ(out.size(), 0);
    Less::ClipPoint(kClipX, 10, in1, in2, out);
    ASSERT_EQ(out.size(), 1);
    ExpectVertex(out[0], in2);
    out.clear();
    Less::ClipPoint(kClipX, 10, out1, in1, out); // enters: crossing, then current
    ASSERT_EQ(out.size(), 2);
    EXPECT_FLOAT_EQ(out[0].x, 10);
    ExpectVertex(out[1], in1);
    out.clear();
    Less::ClipPoint(kClipX, 10, in1, out1, out); // leaves: crossing only
    ASSERT_EQ(out.size(), 1);
    EXPECT_FLOAT_EQ(out[0].x, 10);
}

TEST(PolyClipPoint, OneVertexOrNoneAppendsNothing)
{
    VertexList out;
    Less::ClipPoints(kClipX, 0, List({V(5, 5)}), out);
    Less::ClipPoints(kClipX, 0, VertexList(), out);
    EXPECT_EQ(out.size(), 0);
}

TEST(PolyClipPoint, SelectorsNameCoordinatesAndOthersReadZero)
{
    const GLVertex v = V(1, 2, 3, 4);
    EXPECT_EQ(ClipCoordinate(kClipX, v), 1);
    EXPECT_EQ(ClipCoordinate(kClipY, v), 2);
    EXPECT_EQ(ClipCoordinate(kClipU, v), 3);
    EXPECT_EQ(ClipCoordinate(kClipV, v), 4);
    EXPECT_EQ(ClipCoordinate(2, v), 0);
    EXPECT_EQ(ClipCoordinate(-1, v), 0);
}

TEST(PolyClipTexture, CutsToTheUnitSquareInTextureSpace)
{
    // u from -0.5 to 1.5: the part 0 <= u < 1 remains, positions follow.
    const VertexList quad =
        List({V(0, 0, -0.5f, 0.25f), V(20, 0, 1.5f, 0.25f), V(20, 10, 1.5f, 0.75f), V(0, 10, -0.5f, 0.75f)});
    VertexList out;
    ClipPolyToUnitTexture(quad, out);
    ASSERT_EQ(out.size(), 4);
    float minX = 1e9f, maxX = -1e9f;
    for (int i = 0; i < out.size(); ++i)
    {
        EXPECT_GE(out[i].u, 0.0f);
        EXPECT_LE(out[i].u, 1.0f);
        minX = std::min(minX, out[i].x);
        maxX = std::max(maxX, out[i].x);
    }
    EXPECT_FLOAT_EQ(minX, 5);
    EXPECT_FLOAT_EQ(maxX, 15);
}

struct ColourCase
{
    uint32_t from;
    uint32_t to;
    float t;
    uint32_t expected;
};

TEST(PolyClipInterpolate, ColoursPerChannelTruncated)
{
    const ColourCase cases[] = {
        {0xFF000000, 0xFFFFFFFF, 0.5f, 0xFF7F7F7F},  // 127.5 truncates to 127
        {0xFF000000, 0xFFFFFFFF, 0.25f, 0xFF3F3F3F}, // up: 63.75 -> 63
        {0xFFFFFFFF, 0xFF000000, 0.25f, 0xFFBFBFBF}, // down: 191.25 -> 191
        {0x00FF0000, 0xFF0000FF, 0.5f, 0x7F7F007F},  // every channel, alpha too
        {0x80102030, 0x80102030, 0.7f, 0x80102030},  // equal colours stay exactly
    };
    for (const ColourCase& c : cases)
    {
        const GLVertex r = Interpolate(V(0, 0, 0, 0, c.from), V(1, 1, 1, 1, c.to), c.t);
        EXPECT_EQ(r.color, c.expected) << std::hex << c.from << " -> " << c.to << " at " << c.t;
    }
}

TEST(PolyClipInterpolate, CoordinatesMoveByTheFraction)
{
    const GLVertex r = Interpolate(V(10, 100, 0.5f, 1), V(20, 50, 1, 0), 0.2f);
    EXPECT_FLOAT_EQ(r.x, 12);
    EXPECT_FLOAT_EQ(r.y, 90);
    EXPECT_FLOAT_EQ(r.u, 0.6f);
    EXPECT_FLOAT_EQ(r.v, 0.8f);
}

TEST(VertexListGrowth, TheHundredAndFirstVertexMovesToAHeapArrayOf200)
{
    VertexList list;
    for (int i = 0; i < 100; ++i)
        list.push_back(V(float(i), 0));
    EXPECT_FALSE(list.OnHeap());
    EXPECT_EQ(list.capacity(), 100);
    list.push_back(V(100, 0));
    EXPECT_TRUE(list.OnHeap());
    EXPECT_EQ(list.capacity(), 200);
    ASSERT_EQ(list.size(), 101);
    for (int i = 0; i < 101; ++i)
        EXPECT_EQ(list[i].x, float(i));
}

TEST(VertexListGrowth, CopiesHoldEveryVertexInlineOrOnTheHeap)
{
    for (int count : {3, 100, 150})
    {
        VertexList list;
        for (int i = 0; i < count; ++i)
            list.push_back(V(float(i), float(-i)));
        const VertexList copy(list);
        ASSERT_EQ(copy.size(), count);
        EXPECT_EQ(copy.OnHeap(), count > 100);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(copy[i].y, float(-i));
        VertexList assigned;
        assigned.push_back(V(-1, -1));
        assigned = list;
        ASSERT_EQ(assigned.size(), count);
        EXPECT_EQ(assigned[count - 1].x, float(count - 1));
    }
}

TEST(VertexListGrowth, SelfAssignmentKeepsTheVertices)
{
    VertexList list;
    for (int i = 0; i < 150; ++i)
        list.push_back(V(float(i), 0));
    VertexList& alias = list;
    list = alias;
    ASSERT_EQ(list.size(), 150);
    EXPECT_EQ(list[149].x, 149);
}

TEST(DrawPolyClipped, DrawsTheClippedPolygonAsOneColouredFan)
{
    ScopedFakeGL gl;
    const VertexList square = List({V(0, 30, 0, 0, 0xFF000000), V(20, 30, 1, 0, 0xFFC80000),
                                    V(20, 50, 1, 1, 0xFFC80000), V(0, 50, 0, 1, 0xFF000000)});
    DrawPolyClipped(&kClip, square);
    ASSERT_EQ(gl->mPrimitives.size(), 1u);
    const FakePrimitive& fan = gl->mPrimitives[0];
    EXPECT_EQ(fan.mode, GLenum(GL_TRIANGLE_FAN));
    ASSERT_EQ(fan.vertices.size(), 4u);
    EXPECT_EQ(fan.vertices[0].x, 10);
    EXPECT_EQ(fan.vertices[0].u, 0.5f);
    EXPECT_EQ(fan.vertices[0].color, 0xFF640000u);
    EXPECT_EQ(fan.vertices[1].color, 0xFFC80000u);
}

TEST(DrawPolyClipped, NothingIsSentForAPolygonClippedAway)
{
    ScopedFakeGL gl;
    DrawPolyClipped(&kClip, List({V(0, 0), V(5, 0), V(5, 5)}));
    DrawPolyClipped(nullptr, List({V(20, 30), V(40, 30), V(40, 50)}));
    EXPECT_TRUE(gl->mPrimitives.empty());
}

} // namespace
} // namespace Vaxo
