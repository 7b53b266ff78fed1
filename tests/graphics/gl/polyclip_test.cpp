// Polygon clipper of the OpenGL renderer: the vertex list and the clipped fan. Its cuts and
// interpolation are checked on a real context by the multi-piece triangle test of glpixels.
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

const TRect<int> kClip(10, 20, 100, 50); // x 10..110, y 20..70, half-open

// x from 0 to 20 with u from 0 to 1 and colour from black to red: crosses the left edge.
const std::vector<GLVertex> kCrossing = {V(0, 30, 0, 0, 0xFF000000), V(20, 30, 1, 0, 0xFFC80000),
                                         V(20, 50, 1, 1, 0xFFC80000), V(0, 50, 0, 1, 0xFF000000)};

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
