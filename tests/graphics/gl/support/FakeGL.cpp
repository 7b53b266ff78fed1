#include "graphics/gl/support/FakeGL.h"

namespace Vaxo
{

namespace
{

FakeGL& F()
{
    FakeGL& f = FakeGL::Get();
    if (std::this_thread::get_id() != f.mThread)
        ++f.mCallsOffThread;
    return f;
}

// A state call: OpenGL ignores it (with an error) between Begin and End.
FakeGL& State()
{
    FakeGL& f = F();
    if (f.mInsideBegin)
        ++f.mCallsInsideBegin;
    return f;
}

// Calls whose arguments the tests ask nothing about.
template <typename... Args> void Ignored(Args...)
{
    State();
}
constexpr auto TexEnvf = &Ignored<GLenum, GLenum, GLfloat>;
constexpr auto BlendFunc = &Ignored<GLenum, GLenum>;
constexpr auto MatrixMode = &Ignored<GLenum>;
constexpr auto LoadIdentity = &Ignored<>;
constexpr auto Ortho2D = &Ignored<GLdouble, GLdouble, GLdouble, GLdouble>;
constexpr auto ShadeModel = &Ignored<GLenum>;
constexpr auto ClearColor = &Ignored<GLclampf, GLclampf, GLclampf, GLclampf>;
constexpr auto PixelStorei = &Ignored<GLenum, GLint>;

uint32_t ToARGB(uint32_t texel, GLenum format)
{
    // GL_RGBA with 8_8_8_8_REV holds red in the low byte.
    if (format == GL_RGBA)
        return (texel & 0xFF00FF00u) | ((texel >> 16) & 0xFFu) | ((texel & 0xFFu) << 16);
    return texel;
}

void Enable(GLenum cap)
{
    State().mEnabled.insert(cap);
}
void Disable(GLenum cap)
{
    State().mEnabled.erase(cap);
}
void BindTexture(GLenum, GLuint name)
{
    State().mBound = name;
}
void GenTextures(GLsizei count, GLuint* names)
{
    FakeGL& f = State();
    for (GLsizei i = 0; i < count; ++i)
    {
        ++f.mGens;
        names[i] = 0;
        if (f.mFailGenTextures)
            continue;
        // The lowest free name, as drivers do: a deleted name comes back.
        GLuint name = 1;
        while (f.mTextures.count(name) != 0)
            ++name;
        names[i] = name;
        f.mTextures[name];
    }
}
void DeleteTextures(GLsizei count, const GLuint* names)
{
    FakeGL& f = State();
    for (GLsizei i = 0; i < count; ++i)
    {
        f.mDeletedNames.push_back(names[i]);
        f.mTextures.erase(names[i]);
        if (f.mBound == names[i])
            f.mBound = 0;
    }
}
void Store(FakeGL& f, GLsizei width, GLsizei height, GLenum format, const void* pixels, bool resize)
{
    FakeTexture& t = f.mTextures[f.mBound];
    if (resize)
    {
        t.width = width;
        t.height = height;
    }
    t.texels.assign(size_t(t.width) * size_t(t.height), 0u);
    const uint32_t* in = static_cast<const uint32_t*>(pixels);
    for (GLsizei y = 0; y < height && y < t.height; ++y)
        for (GLsizei x = 0; x < width && x < t.width; ++x)
            t.texels[size_t(y) * size_t(t.width) + size_t(x)] =
                ToARGB(in[size_t(y) * size_t(width) + size_t(x)], format);
}
void TexImage2D(GLenum, GLint, GLint, GLsizei width, GLsizei height, GLint, GLenum format, GLenum,
                const void* pixels)
{
    FakeGL& f = State();
    ++f.mUploads;
    Store(f, width, height, format, pixels, true);
}
void TexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei width, GLsizei height, GLenum format, GLenum,
                   const void* pixels)
{
    FakeGL& f = State();
    ++f.mSubUploads;
    Store(f, width, height, format, pixels, false);
}
void GetTexImage(GLenum, GLint, GLenum format, GLenum, void* pixels)
{
    FakeGL& f = State();
    const FakeTexture& t = f.mTextures[f.mBound];
    uint32_t* out = static_cast<uint32_t*>(pixels);
    for (size_t i = 0; i < t.texels.size(); ++i)
        out[i] = ToARGB(t.texels[i], format); // the swap is its own inverse
}
void TexParameteri(GLenum, GLenum name, GLint value)
{
    FakeGL& f = State();
    f.mTextures[f.mBound].params[name] = value;
}
void Begin(GLenum mode)
{
    FakeGL& f = State();
    f.mInsideBegin = true;
    f.mPrimitives.push_back(
        FakePrimitive{mode, f.mBound, f.mEnabled.count(GL_TEXTURE_2D) != 0 && f.mBound != 0, {}});
}
void End()
{
    F().mInsideBegin = false;
}
void Vertex2f(GLfloat x, GLfloat y)
{
    FakeGL& f = F();
    if (!f.mPrimitives.empty())
        f.mPrimitives.back().vertices.push_back(FakeVertex{x, y, f.mU, f.mV, f.mColor});
}
void Vertex2i(GLint x, GLint y)
{
    Vertex2f(GLfloat(x), GLfloat(y));
}
void TexCoord2f(GLfloat u, GLfloat v)
{
    FakeGL& f = F();
    f.mU = u;
    f.mV = v;
}
void Color4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a)
{
    F().mColor = (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}
const GLubyte* GetString(GLenum name)
{
    FakeGL& f = State();
    if (name != GL_EXTENSIONS || f.mNullExtensions)
        return nullptr;
    return reinterpret_cast<const GLubyte*>(f.mExtensions.c_str());
}
void GetIntegerv(GLenum name, GLint* value)
{
    FakeGL& f = State();
    if (name == GL_MAX_TEXTURE_SIZE)
        *value = f.mMaxTextureSize;
}
void SwapBuffers()
{
    ++State().mSwaps;
}
bool HasContext()
{
    return F().mHasContext;
}

const GLFunctions kTable = {
    Enable,      Disable,       BindTexture, GenTextures, DeleteTextures, TexImage2D, TexSubImage2D,
    GetTexImage, TexParameteri, TexEnvf,     BlendFunc,   Begin,          End,        Vertex2f,
    Vertex2i,    TexCoord2f,    Color4ub,    MatrixMode,  LoadIdentity,   Ortho2D,    ShadeModel,
    ClearColor,  PixelStorei,   GetString,   GetIntegerv, SwapBuffers,    HasContext};

} // namespace

FakeGL& FakeGL::Get()
{
    static FakeGL* const fake = new FakeGL();
    return *fake;
}

FakeGL& FakeGL::Install()
{
    FakeGL& f = Get();
    f.mExtensions = "GL_ARB_multitexture GL_EXT_bgra GL_EXT_texture_edge_clamp";
    f.mNullExtensions = false;
    f.mMaxTextureSize = 2048;
    f.mHasContext = true;
    f.mFailGenTextures = false;
    f.ClearRecords();
    f.mTextures.clear();
    f.mEnabled.clear();
    f.mBound = 0;
    f.mInsideBegin = false;
    f.mColor = 0xFFFFFFFF;
    f.mU = f.mV = 0;
    f.mThread = std::this_thread::get_id();
    SetGLFunctions(&kTable);
    return f;
}

void FakeGL::Uninstall()
{
    SetGLFunctions(nullptr);
}

void FakeGL::ClearRecords()
{
    mGens = mUploads = mSubUploads = mSwaps = 0;
    mDeletedNames.clear();
    mPrimitives.clear();
    mCallsInsideBegin = 0;
    mCallsOffThread = 0;
}

std::vector<const FakePrimitive*> FakeGL::PrimitivesOf(GLenum mode) const
{
    std::vector<const FakePrimitive*> result;
    for (const FakePrimitive& p : mPrimitives)
        if (p.mode == mode)
            result.push_back(&p);
    return result;
}

} // namespace Vaxo
