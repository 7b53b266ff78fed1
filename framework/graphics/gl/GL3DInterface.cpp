#include "graphics/gl/GL3DInterface.h"

#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "graphics/gl/GLFunctions.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/PolyClip.h"
#include "graphics/gl/TextureData.h"

#include <memory>

namespace Vaxo
{

namespace
{

VaxoTransform2D Identity()
{
    return VaxoTransform2D(true);
}

MemoryImage* AsMemoryImage(Image* image)
{
    return dynamic_cast<MemoryImage*>(image);
}

GLTextureData* DataOf(MemoryImage* image)
{
    return static_cast<GLTextureData*>(image->m3DData);
}

// A point plus an offset, wrapping like the 32-bit sum it always was instead of
// overflowing (undefined) for points far off the screen.
int32_t Offset(int32_t value, int32_t offset)
{
    return int32_t(uint32_t(value) + uint32_t(offset));
}

} // namespace

GL3DInterface::GL3DInterface(NativeDisplay* display)
    : X3DInterface(display), mWidth(640), mHeight(480), mSceneBegun(false), mIsWindowed(true),
      mContextThread(std::this_thread::get_id())
{
}

GL3DInterface::~GL3DInterface()
{
    ImageMutexLock lock(mApp);
    CleanupImages(false);
}

bool GL3DInterface::Init()
{
    if (mApp == nullptr || mDisplay == nullptr)
        return false;
    if (!GL().HasContext())
    {
        mErrorString = "no OpenGL video mode is set";
        return false;
    }
    return InitFromSDLDisplay(mDisplay);
}

bool GL3DInterface::InitFromSDLDisplay(NativeDisplay*)
{
    mErrorString.clear();
    mWidth = mApp->mWidth;
    mHeight = mApp->mHeight;
    mIsWindowed = mApp->mIsWindowed;
    return Init3D();
}

bool GL3DInterface::Init3D()
{
    mContextThread = std::this_thread::get_id();
    // A new context has none of the frame's blend state yet.
    mSceneBegun = false;
    UpdateViewport();

    const GLFunctions& gl = GL();
    const char* extensions = reinterpret_cast<const char*>(gl.GetString(GL_EXTENSIONS));
    gHasBGRExtension = CheckExtension(extensions, "GL_EXT_bgra");
    gHasEdgeClampExtension = CheckExtension(extensions, "GL_EXT_texture_edge_clamp") ||
                             CheckExtension(extensions, "GL_SGIS_texture_edge_clamp");

    gCurTexture = 0;
    TextureData::mTextureSizeMustBePow2 = 1;
    GLint maxSize = 0;
    gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    TextureData::mMaxTextureWidth = maxSize;
    TextureData::mMaxTextureHeight = maxSize;
    TextureData::mMinTextureWidth = 1;
    TextureData::mMinTextureHeight = 1;
    TextureData::mMaxTextureAspectRatio = 0;
    if (TextureData::mMaxTextureWidth <= 0)
    {
        TextureData::mMaxTextureAspectRatio = 1;
        TextureData::mMaxTextureWidth = TextureData::mMaxTextureHeight = 64;
        TextureData::mMinTextureWidth = TextureData::mMinTextureHeight = 64;
    }
    if (TextureData::mMaxTextureAspectRatio == 0)
        TextureData::mMaxTextureAspectRatio = 65536;
    TextureData::ClampTextureSizes();
    TextureData::mSupportedPixelFormats = 5;

    // The back buffer is undefined after a swap here, windowed or not: every frame must
    // redraw the whole screen.
    if (mApp != nullptr)
        mApp->mFullRedraw = true;
    return true;
}

void GL3DInterface::UpdateViewport()
{
    if (mApp == nullptr)
        return;
    const GLFunctions& gl = GL();
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Ortho2D(0, mApp->mWidth, mApp->mHeight, 0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.ShadeModel(GL_SMOOTH);
    gl.ClearColor(0.3f, 0.3f, 0.3f, 0.0f);
    gl.Disable(GL_DEPTH_TEST);
    gl.Enable(GL_TEXTURE_2D);
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

void GL3DInterface::Cleanup()
{
    CleanupImages(true);
}

void GL3DInterface::CleanupImages(bool keepPixels)
{
    DeletePendingTextures();
    const bool canRead = OnContextThread() && GL().HasContext();
    for (MemoryImage* image : mImageSet)
    {
        // A purged image has its pixels only in the textures, which are about to go.
        if (keepPixels && canRead && image->mBits == nullptr && image->mPaletteIndices == nullptr)
            image->GetBits();
        GLTextureData* data = DataOf(image);
        image->m3DData = nullptr;
        ReleaseImageData(data);
    }
    mImageSet.clear();
}

void GL3DInterface::ReleaseImageData(GLTextureData* data)
{
    if (data == nullptr)
        return;
    if (!OnContextThread())
    {
        ImageMutexLock lock(mApp);
        data->TakeTextureNames(mPendingDeletes);
    }
    else if (!GL().HasContext())
    {
        data->ForgetTextures();
    }
    delete data;
}

void GL3DInterface::DeletePendingTextures()
{
    if (!OnContextThread())
        return;
    std::vector<uint32_t> names;
    {
        ImageMutexLock lock(mApp);
        names.swap(mPendingDeletes);
    }
    if (names.empty() || !GL().HasContext())
        return; // without a context the names went with it
    for (uint32_t name : names)
        if (name == gCurTexture)
            SetGLTexture(0);
    GL().DeleteTextures(GLsizei(names.size()), names.data());
}

void GL3DInterface::Flush(bool force)
{
    DeletePendingTextures();
    if (!mSceneBegun && !force)
        return;
    mSceneBegun = false;
    mErrorString.clear();
    GL().SwapBuffers();
}

void GL3DInterface::RemoveMemoryImage(MemoryImage* image)
{
    if (image == nullptr)
        return;
    GLTextureData* data = nullptr;
    {
        ImageMutexLock lock(mApp);
        if (image->m3DData == nullptr)
            return;
        data = DataOf(image);
        image->m3DData = nullptr;
        mImageSet.erase(image);
    }
    ReleaseImageData(data);
}

bool GL3DInterface::RecoverBits(MemoryImage* image)
{
    if (image == nullptr || image->m3DData == nullptr || image->mBits == nullptr)
        return false;
    if (!OnContextThread() || !GL().HasContext())
        return false;
    GLTextureData* data = DataOf(image);
    if (data->mWidth != image->mWidth || data->mHeight != image->mHeight)
        return false;
    return data->ReadBackPixels(image->mBits);
}

bool GL3DInterface::PreDraw()
{
    if (mApp == nullptr || mApp->mMinimized)
        return false;
    if (mSceneBegun)
        return true;
    DeletePendingTextures();
    const GLFunctions& gl = GL();
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.TexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    mSceneBegun = true;
    return true;
}

void GL3DInterface::SetupDrawMode(int drawMode, const Color&, Image*)
{
    if (drawMode == 0)
        GL().BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    else
        GL().BlendFunc(GL_SRC_ALPHA, GL_ONE);
}

bool GL3DInterface::CreateImageTexture(MemoryImage* image)
{
    if (image == nullptr || image->mWidth <= 0 || image->mHeight <= 0)
        return false;
    // Only this application reports an image's death to us; textures of any other image
    // would outlive it.
    if (mApp == nullptr || image->mApp != mApp)
        return false;
    bool created = false;
    if (image->m3DData == nullptr)
    {
        auto data = std::make_unique<GLTextureData>();
        ImageMutexLock lock(mApp);
        mImageSet.insert(image);
        image->m3DData = data.release();
        created = true;
    }
    GLTextureData* data = DataOf(image);
    data->CheckCreateTextures(image);
    if (created && image->mPurgeBits)
        image->PurgeBits();
    return data->mPixelFormat != 0;
}

void GL3DInterface::SetCurTexture(MemoryImage* image)
{
    if (image == nullptr)
    {
        SetGLTexture(0);
        return;
    }
    if (!CreateImageTexture(image))
        return;
    GLTextureData* data = DataOf(image);
    if (!data->mTextures.empty())
        SetGLTexture(data->mTextures[0].mTexture);
}

void GL3DInterface::TransformPoint(float& x, float& y) const
{
    if (mTransformStack.empty())
        return;
    const VaxoVector2 p = mTransformStack.back() * VaxoVector2(x, y);
    x = p.x;
    y = p.y;
}

void GL3DInterface::Blt(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color,
                        int drawMode, bool linearFilter)
{
    if (!mTransformStack.empty())
    {
        BltClipF(image, x, y, srcRect, nullptr, color, drawMode);
        return;
    }
    MemoryImage* memoryImage = AsMemoryImage(image);
    if (memoryImage == nullptr || !PreDraw() || !CreateImageTexture(memoryImage))
        return;
    SetupDrawMode(drawMode, color, image);
    gLinearFilter = linearFilter;
    DataOf(memoryImage)->Blt(x, y, srcRect, color);
}

void GL3DInterface::BltClipF(Image* image, float x, float y, const TRect<int>& srcRect,
                             const TRect<int>* clipRect, const Color& color, int drawMode)
{
    VaxoTransform2D t = Identity();
    t.Translate(x, y);
    BltTransformed(image, clipRect, color, drawMode, srcRect, t, true, 0, 0, false);
}

void GL3DInterface::BltMirror(Image* image, float x, float y, const TRect<int>& srcRect, const Color& color,
                              int drawMode, bool linearFilter)
{
    VaxoTransform2D t = Identity();
    t.Translate(-float(srcRect.mWidth), 0);
    t.Scale(-1, 1);
    t.Translate(x, y);
    BltTransformed(image, nullptr, color, drawMode, srcRect, t, linearFilter, 0, 0, false);
}

void GL3DInterface::StretchBlt(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                               const TRect<int>* clipRect, const Color& color, int drawMode, bool fastStretch,
                               bool mirror)
{
    if (srcRect.mWidth <= 0 || srcRect.mHeight <= 0)
        return;
    const float sx = float(destRect.mWidth) / float(srcRect.mWidth);
    const float sy = float(destRect.mHeight) / float(srcRect.mHeight);
    VaxoTransform2D t = Identity();
    if (mirror)
    {
        t.Translate(-float(srcRect.mWidth), 0);
        t.Scale(-sx, sy);
    }
    else
    {
        t.Scale(sx, sy);
    }
    t.Translate(float(destRect.mX), float(destRect.mY));
    BltTransformed(image, clipRect, color, drawMode, srcRect, t, !fastStretch, 0, 0, false);
}

void GL3DInterface::BltRotated(Image* image, float x, float y, const TRect<int>* clipRect, const Color& color,
                               int drawMode, double angle, float centerX, float centerY,
                               const TRect<int>& srcRect)
{
    VaxoTransform2D t = Identity();
    t.Translate(-centerX, -centerY);
    t.RotateRad(float(angle));
    t.Translate(x + centerX, y + centerY);
    BltTransformed(image, clipRect, color, drawMode, srcRect, t, true, 0, 0, false);
}

void GL3DInterface::BltTransformed(Image* image, const TRect<int>* clipRect, const Color& color, int drawMode,
                                   const TRect<int>& srcRect, const VaxoMatrix3& transform, bool linearFilter,
                                   float x, float y, bool center)
{
    MemoryImage* memoryImage = AsMemoryImage(image);
    if (memoryImage == nullptr || !PreDraw() || !CreateImageTexture(memoryImage))
        return;
    SetupDrawMode(drawMode, color, image);
    GLTextureData* data = DataOf(memoryImage);
    if (mTransformStack.empty())
    {
        gLinearFilter = linearFilter;
        data->BltTransformed(transform, srcRect, color, clipRect, x, y, center);
        return;
    }
    // Under a pushed transform the result is rarely pixel-aligned: always filter.
    gLinearFilter = true;
    const VaxoMatrix3& top = mTransformStack.back();
    if (x == 0 && y == 0)
    {
        data->BltTransformed(top * transform, srcRect, color, clipRect, 0, 0, center);
        return;
    }
    VaxoTransform2D t = Identity();
    if (center)
        t.Translate(-float(srcRect.mWidth) * 0.5f, -float(srcRect.mHeight) * 0.5f);
    t = transform * t;
    t.Translate(x, y);
    t = top * t;
    data->BltTransformed(t, srcRect, color, clipRect, 0, 0, false);
}

void GL3DInterface::DrawLine(double x1, double y1, double x2, double y2, const Color& color, int drawMode)
{
    if (!PreDraw())
        return;
    SetupDrawMode(drawMode, color, nullptr);
    float ax = float(x1), ay = float(y1), bx = float(x2), by = float(y2);
    TransformPoint(ax, ay);
    TransformPoint(bx, by);
    SetGLTexture(0);
    SetGLColor(color);
    const GLFunctions& gl = GL();
    gl.Begin(GL_LINE_STRIP);
    gl.Vertex2f(ax, ay);
    gl.Vertex2f(bx, by);
    // The end pixel is lit too.
    gl.Vertex2f(bx + 0.5f, by + 0.5f);
    gl.End();
}

void GL3DInterface::FillRect(const TRect<int>& rect, const Color& color, int drawMode)
{
    if (!PreDraw())
        return;
    SetupDrawMode(drawMode, color, nullptr);
    const float left = float(rect.mX), top = float(rect.mY);
    const float right = left + float(rect.mWidth), bottom = top + float(rect.mHeight);
    float xs[4] = {left, right, right, left};
    float ys[4] = {top, top, bottom, bottom};
    for (int i = 0; i < 4; ++i)
        TransformPoint(xs[i], ys[i]);
    SetGLTexture(0);
    SetGLColor(color);
    const GLFunctions& gl = GL();
    gl.Begin(GL_QUADS);
    for (int i = 0; i < 4; ++i)
        gl.Vertex2f(xs[i], ys[i]);
    gl.End();
}

void GL3DInterface::DrawTriangle(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3,
                                 const Color& color, int drawMode)
{
    if (!PreDraw())
        return;
    SetupDrawMode(drawMode, color, nullptr);
    SetGLTexture(0);
    const GLFunctions& gl = GL();
    gl.Begin(GL_TRIANGLES);
    for (const TriVertex* v : {&v1, &v2, &v3})
    {
        SetGLColor(*v, color);
        gl.Vertex2f(v->x, v->y);
    }
    gl.End();
}

void GL3DInterface::DrawTriangleTex(const TriVertex& v1, const TriVertex& v2, const TriVertex& v3,
                                    const Color& color, int drawMode, Image* texture, bool blend)
{
    const TriVertex triangle[1][3] = {{v1, v2, v3}};
    DrawTrianglesTex(triangle, 1, color, drawMode, texture, 0, 0, blend);
}

void GL3DInterface::DrawTrianglesTex(const TriVertex (*triangles)[3], int count, const Color& color,
                                     int drawMode, Image* texture, float tx, float ty, bool blend)
{
    MemoryImage* memoryImage = AsMemoryImage(texture);
    if (memoryImage == nullptr || triangles == nullptr || count <= 0 || !PreDraw() ||
        !CreateImageTexture(memoryImage))
        return;
    SetupDrawMode(drawMode, color, texture);
    gLinearFilter = blend;
    DataOf(memoryImage)->BltTriangles(triangles, count, ColorToARGB(color), tx, ty);
}

void GL3DInterface::DrawTrianglesTexStrip(const TriVertex* vertices, int count, const Color& color,
                                          int drawMode, Image* texture, float tx, float ty, bool blend)
{
    if (vertices == nullptr || count <= 0)
        return;
    constexpr int kBatch = 100;
    TriVertex batch[kBatch][3];
    int n = 0;
    for (int i = 0; i < count; ++i)
    {
        batch[n][0] = vertices[i];
        batch[n][1] = vertices[i + 1];
        batch[n][2] = vertices[i + 2];
        if (++n == kBatch)
        {
            DrawTrianglesTex(batch, n, color, drawMode, texture, tx, ty, blend);
            n = 0;
        }
    }
    if (n > 0)
        DrawTrianglesTex(batch, n, color, drawMode, texture, tx, ty, blend);
}

void GL3DInterface::FillPoly(const TPoint<int>* points, int count, const TRect<int>* clipRect,
                             const Color& color, int drawMode, int tx, int ty)
{
    if (points == nullptr || count <= 2 || !PreDraw())
        return;
    SetupDrawMode(drawMode, color, nullptr);
    SetGLColor(color);
    SetGLTexture(0);
    const GLFunctions& gl = GL();
    if (clipRect == nullptr)
    {
        gl.Begin(GL_POLYGON);
        for (int i = 0; i < count; ++i)
        {
            if (mTransformStack.empty())
            {
                gl.Vertex2i(Offset(points[i].mX, tx), Offset(points[i].mY, ty));
                continue;
            }
            float x = float(Offset(points[i].mX, tx)), y = float(Offset(points[i].mY, ty));
            TransformPoint(x, y);
            gl.Vertex2f(x, y);
        }
        gl.End();
        return;
    }
    const uint32_t argb = ColorToARGB(color);
    VertexList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
    {
        float x = float(Offset(points[i].mX, tx)), y = float(Offset(points[i].mY, ty));
        TransformPoint(x, y);
        list.push_back(GLVertex{x, y, 0, 0, argb});
    }
    DrawPolyClipped(clipRect, list);
}

} // namespace Vaxo
