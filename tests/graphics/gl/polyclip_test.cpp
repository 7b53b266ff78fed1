// Polygon clipper of the OpenGL renderer: boundaries, interpolation, the vertex list.
#include "graphics/gl/PolyClip.h"
#include "graphics/gl/support/FakeGL.h"

#include <gtest/gtest.h>

#include <vector>

namespace Vaxo
{
namespace
{

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

// x from 0 to 20 with u from 0 to 1 and colour from black to red: crosses the left edge.
const std::vector<GLVertex> kCrossing = {V(0, 30, 0, 0, 0xFF000000), V(20, 30, 1, 0, 0xFFC80000),
                                         V(20, 50, 1, 1, 0xFFC80000), V(0, 50, 0, 1, 0xFF000000)};

TEST(PolyClipRect, Table)
{
    const GLVertex right = V(110, 40, 1, 0);
    const auto point = [](GLVertex v) { return std::vector<GLVertex>{v, v, v}; };
    const struct
    {
        const char* name;
        std::vector<GLVertex> in, out;
    } cases[] = {
        {"inside keeps its vertices in order",
         {V(20, 30, 0, 0), V(40, 30, 1, 0), V(40, 50, 1, 1), V(20, 50, 0, 1)},
         {V(20, 30, 0, 0), V(40, 30, 1, 0), V(40, 50, 1, 1), V(20, 50, 0, 1)}},
        {"wholly left", {V(0, 30), V(5, 30), V(5, 40), V(0, 40)}, {}},
        // (0,50)->(0,30) is outside; (0,30)->(20,30) enters at x = 10 (t = 0.5).
        {"crossing the left edge",
         kCrossing,
         {V(10, 30, 0.5f, 0, 0xFF640000), kCrossing[1], kCrossing[2], V(10, 50, 0.5f, 1, 0xFF640000)}},
        // Both edges at a vertex on the right edge cross x = 110 at that very point.
        {"vertex on the right edge",
         {V(50, 30, 0, 0), right, V(50, 60, 0, 1)},
         {V(50, 30, 0, 0), right, right, V(50, 60, 0, 1)}},
        {"top-left corner", point(V(10, 20)), point(V(10, 20))},
        {"right edge", point(V(110, 40)), {}},
        {"bottom edge", point(V(50, 70)), {}},
        {"just inside right", point(V(109.99f, 40)), point(V(109.99f, 40))},
        {"just inside bottom", point(V(50, 69.99f)), point(V(50, 69.99f))},
        {"one vertex", {V(50, 40)}, {}},
        {"no vertex", {}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        VertexList out;
        ClipPolyToRect(kClip, List(c.in), out);
        ASSERT_EQ(out.size(), int32_t(c.out.size()));
        for (size_t i = 0; i < c.out.size(); ++i)
            ExpectVertex(out[int32_t(i)], c.out[i]);
    }
}

TEST(PolyClipTexture, CutsToTheUnitSquareAndInterpolates)
{
    // u from -0.5 to 1.5 over x 0..20: the part 0 <= u < 1 remains, positions follow.
    VertexList out;
    ClipPolyToUnitTexture(
        List({V(0, 0, -0.5f, 0.25f), V(20, 0, 1.5f, 0.25f), V(20, 10, 1.5f, 0.75f), V(0, 10, -0.5f, 0.75f)}),
        out);
    const GLVertex expected[] = {V(5, 0, 0, 0.25f), V(15, 0, 1, 0.25f), V(15, 10, 1, 0.75f),
                                 V(5, 10, 0, 0.75f)};
    ASSERT_EQ(out.size(), 4);
    for (int i = 0; i < 4; ++i)
        ExpectVertex(out[i], expected[i]);
    const struct
    {
        uint32_t from, to;
        float t;
        uint32_t expected;
    } cases[] = {
        {0xFF000000, 0xFFFFFFFF, 0.5f, 0xFF7F7F7F},  // 127.5 truncates to 127
        {0xFF000000, 0xFFFFFFFF, 0.25f, 0xFF3F3F3F}, // up: 63.75 -> 63
        {0xFFFFFFFF, 0xFF000000, 0.25f, 0xFFBFBFBF}, // down: 191.25 -> 191
        {0x00FF0000, 0xFF0000FF, 0.5f, 0x7F7F007F},  // every channel, alpha too
        {0x80102030, 0x80102030, 0.7f, 0x80102030},  // equal colours stay exactly
    };
    for (const auto& c : cases)
    {
        const GLVertex r = Interpolate(V(0, 0, 0, 0, c.from), V(1, 1, 1, 1, c.to), c.t);
        EXPECT_EQ(r.color, c.expected) << std::hex << c.from << " -> " << c.to << " at " << c.t;
    }
    ExpectVertex(Interpolate(V(10, 100, 0.5f, 1), V(20, 50, 1, 0), 0.2f), V(12, 90, 0.6f, 0.8f));
}

TEST(VertexListGrowth, HeapArraysCopiesAndSelfAssignment)
{
    for (int count : {3, 100, 101, 150})
    {
        VertexList list;
        for (int i = 0; i < count; ++i)
            list.push_back(V(float(i), float(-i)));
        EXPECT_EQ(list.capacity(), count > 100 ? 200 : 100);
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
        VertexList& alias = list;
        list = alias;
        ASSERT_EQ(list.size(), count);
        EXPECT_EQ(list[count - 1].y, float(1 - count));
    }
}

TEST(DrawPolyClipped, DrawsTheClippedPolygonAsOneColouredFanOrNothing)
{
    ScopedFakeGL gl;
    DrawPolyClipped(&kClip, List({V(0, 0), V(5, 0), V(5, 5)}));
    DrawPolyClipped(nullptr, List({V(20, 30), V(40, 30), V(40, 50)}));
    EXPECT_TRUE(gl->mPrimitives.empty());
    DrawPolyClipped(&kClip, List(kCrossing));
    ASSERT_EQ(gl->mPrimitives.size(), 1u);
    const FakePrimitive& fan = gl->mPrimitives[0];
    EXPECT_EQ(fan.mode, GLenum(GL_TRIANGLE_FAN));
    ASSERT_EQ(fan.vertices.size(), 4u);
    EXPECT_EQ(fan.vertices[0].x, 10);
    EXPECT_EQ(fan.vertices[0].u, 0.5f);
    EXPECT_EQ(fan.vertices[0].color, 0xFF640000u);
    EXPECT_EQ(fan.vertices[1].color, 0xFFC80000u);
}

} // namespace
} // namespace Vaxo
