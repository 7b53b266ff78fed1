// FakeGL: a recording stand-in for OpenGL, installed into the renderer's function table.
//
// Unit tests of the renderer and the texture grids run against it without a display. It
// keeps what a test asks about: texture names made and deleted, the bound texture, uploads
// (with the texels, so GetTexImage reads them back), and every primitive between Begin and
// End with its vertices, colours, texture coordinates and bound texture. State calls that
// OpenGL forbids between Begin and End are counted, as are calls from a thread other than
// the one that installed the fake. One fake per process (the table holds plain function
// pointers); Install resets it.
#pragma once

#include "graphics/gl/GLFunctions.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace Vaxo
{

struct FakeVertex
{
    float x, y, u, v;
    uint32_t color; // ARGB of the current colour when the vertex was sent
};

struct FakePrimitive
{
    GLenum mode;
    // Bound texture, and whether texturing applied at Begin: GL_TEXTURE_2D enabled with a
    // texture bound (the default texture 0 holds no image, so OpenGL draws untextured).
    uint32_t texture;
    bool textured;
    std::vector<FakeVertex> vertices;
};

struct FakeTexture
{
    int32_t width = 0;
    int32_t height = 0;
    // Texels as 0xAARRGGBB words, whatever format they were uploaded in.
    std::vector<uint32_t> texels;
    std::map<GLenum, GLint> params;
};

class FakeGL
{
public:
    // --- What the fake answers (set before the call that reads it) ---
    std::string mExtensions = "GL_ARB_multitexture GL_EXT_bgra GL_EXT_texture_edge_clamp";
    bool mNullExtensions = false;
    GLint mMaxTextureSize = 2048;
    bool mHasContext = true;
    // GenTextures hands out 0 (no texture) while set.
    bool mFailGenTextures = false;

    // --- What was done ---
    int mGens = 0;
    int mUploads = 0;    // TexImage2D
    int mSubUploads = 0; // TexSubImage2D (refill in place)
    int mSwaps = 0;
    std::vector<uint32_t> mDeletedNames;
    std::vector<FakePrimitive> mPrimitives;
    std::map<uint32_t, FakeTexture> mTextures; // live textures by name
    std::set<GLenum> mEnabled;
    uint32_t mBound = 0;
    // Calls OpenGL forbids between Begin and End.
    int mCallsInsideBegin = 0;
    // Calls from a thread other than the installing one (atomic: that is the point).
    std::atomic<int> mCallsOffThread{0};

    // --- Current state ---
    bool mInsideBegin = false;
    uint32_t mColor = 0xFFFFFFFF;
    float mU = 0, mV = 0;
    std::thread::id mThread;

public:
    static FakeGL& Get();
    // Resets everything and makes the renderer call the fake.
    static FakeGL& Install();
    // Makes the renderer call real OpenGL again.
    static void Uninstall();

    // Primitives of one mode.
    std::vector<const FakePrimitive*> PrimitivesOf(GLenum mode) const;
    // Forgets recorded calls (counters, primitives), keeping textures.
    void ClearRecords();
};

// Installs the fake for a scope.
class ScopedFakeGL
{
public:
    ScopedFakeGL() : mGL(FakeGL::Install()) {}
    ~ScopedFakeGL() { FakeGL::Uninstall(); }
    ScopedFakeGL(const ScopedFakeGL&) = delete;
    ScopedFakeGL& operator=(const ScopedFakeGL&) = delete;
    FakeGL* operator->() { return &mGL; }
    FakeGL& operator*() { return mGL; }

private:
    FakeGL& mGL;
};

} // namespace Vaxo
