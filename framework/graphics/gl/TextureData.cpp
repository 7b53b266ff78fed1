#include "graphics/gl/TextureData.h"

#include "graphics/MemoryImage.h"
#include "graphics/gl/GLFunctions.h"
#include "graphics/gl/GLState.h"
#include "graphics/gl/PolyClip.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Vaxo
{

int32_t TextureData::mMaxTextureWidth = 64;
int32_t TextureData::mMaxTextureHeight = 64;
int32_t TextureData::mMinTextureWidth = 64;
int32_t TextureData::mMinTextureHeight = 64;
int32_t TextureData::mMaxTextureAspectRatio = 1;
int32_t TextureData::mTextureSizeMustBePow2 = 1;
int32_t TextureData::mSupportedPixelFormats = 0;

namespace
{

constexpr int32_t kTableSize = 1024;

int32_t NextPowerOfTwo(int32_t n)
{
    int32_t p = 1;
    while (p < n && p < (int32_t(1) << 30))
        p <<= 1;
    return p;
}

bool IsPowerOfTwo(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

std::array<int32_t, kTableSize> BuildGoodSizes()
{
    std::array<int32_t, kTableSize> table{};
    for (int32_t s = 0; s < kTableSize; ++s)
    {
        const int32_t p = NextPowerOfTwo(s);
        int32_t size = p;
        if (p - s > 64)
        {
            // A smaller piece whose remainder is small or itself a whole texture.
            for (int32_t q = p / 2; q >= 1; q /= 2)
            {
                const int32_t rest = s % q;
                if (rest < 64 || IsPowerOfTwo(rest))
                {
                    size = q;
                    break;
                }
            }
        }
        table[size_t(s)] = size;
    }
    return table;
}

uint32_t SwapRedBlue(uint32_t argb)
{
    return (argb & 0xFF00FF00u) | ((argb >> 16) & 0xFFu) | ((argb & 0xFFu) << 16);
}

} // namespace

TextureData::TextureData()
    : mWidth(0), mHeight(0), mPiecesAcross(0), mPiecesDown(0), mPieceWidth(64), mPieceHeight(64),
      mBitsChangedCount(0), mTexMemSize(0), mMaxTotalU(0), mMaxTotalV(0), mPixelFormat(0), mImageFlags(0)
{
}

TextureData::~TextureData() = default;

bool TextureData::IsCurrentFor(const MemoryImage* image) const
{
    return mPixelFormat != 0 && mWidth == image->mWidth && mHeight == image->mHeight &&
           mBitsChangedCount == image->mBitsChangedCount && mImageFlags == image->m3DFlags;
}

void TextureData::ClampTextureSizes()
{
    mMaxTextureWidth = std::min(mMaxTextureWidth, int32_t(1024));
    mMaxTextureHeight = std::min(mMaxTextureHeight, int32_t(1024));
    mMinTextureWidth = std::max(mMinTextureWidth, int32_t(1));
    mMinTextureHeight = std::max(mMinTextureHeight, int32_t(1));
}

void TextureData::ResetTextureLimits()
{
    mMaxTextureWidth = 64;
    mMaxTextureHeight = 64;
    mMinTextureWidth = 64;
    mMinTextureHeight = 64;
    mMaxTextureAspectRatio = 1;
    mTextureSizeMustBePow2 = 1;
    mSupportedPixelFormats = 0;
}

int32_t TextureData::GoodTextureSize(int32_t length)
{
    static const std::array<int32_t, kTableSize> table = BuildGoodSizes();
    return table[size_t(std::clamp(length, int32_t(0), kTableSize - 1))];
}

void TextureData::GetBestTextureDimensions(int32_t& width, int32_t& height, bool edge, bool powerOfTwo,
                                           uint32_t flags)
{
    if (flags & kTexFlag64)
    {
        width = 64;
        height = 64;
        return;
    }
    if (!powerOfTwo)
    {
        width = std::min(width, mMaxTextureWidth);
        height = std::min(height, mMaxTextureHeight);
    }
    else if (!edge && !(flags & kTexFlagPowerOfTwo))
    {
        // The table covers lengths below 1024; a longer limit (unclamped) takes powers of two.
        width = width < mMaxTextureWidth
                    ? (width < kTableSize ? GoodTextureSize(width) : NextPowerOfTwo(width))
                    : mMaxTextureWidth;
        height = height < mMaxTextureHeight
                     ? (height < kTableSize ? GoodTextureSize(height) : NextPowerOfTwo(height))
                     : mMaxTextureHeight;
    }
    else
    {
        width = width < mMaxTextureWidth ? NextPowerOfTwo(width) : mMaxTextureWidth;
        height = height < mMaxTextureHeight ? NextPowerOfTwo(height) : mMaxTextureHeight;
    }
    // A minimum below 1 would let a side of 0 double forever below.
    width = std::max({width, mMinTextureWidth, int32_t(1)});
    height = std::max({height, mMinTextureHeight, int32_t(1)});

    const int64_t aspect = std::max(mMaxTextureAspectRatio, int32_t(1));
    if (width < height)
    {
        while (int64_t(height) > int64_t(width) * aspect)
            width *= 2;
    }
    else if (width > height)
    {
        while (int64_t(width) > int64_t(height) * aspect)
            height *= 2;
    }
}

GLTextureData::GLTextureData() = default;

GLTextureData::~GLTextureData()
{
    ReleaseTextures();
}

void GLTextureData::CreateTextureDimensions(MemoryImage* image)
{
    const int32_t w = image->mWidth;
    const int32_t h = image->mHeight;
    mTextures.clear();
    mPiecesAcross = 0;
    mPiecesDown = 0;
    mMaxTotalU = 0;
    mMaxTotalV = 0;
    // An empty image gets no pieces (a grid of zero would address piece -1 below).
    if (w <= 0 || h <= 0)
        return;
    const uint32_t flags = image->m3DFlags;

    int32_t pieceWidth = w;
    int32_t pieceHeight = h;
    GetBestTextureDimensions(pieceWidth, pieceHeight, false, true, flags);

    int32_t rightWidth = pieceWidth;
    int32_t rightHeight = pieceHeight;
    if (w % pieceWidth > 0)
    {
        rightWidth = w % pieceWidth;
        GetBestTextureDimensions(rightWidth, rightHeight, true, true, flags);
    }
    int32_t bottomWidth = pieceWidth;
    int32_t bottomHeight = pieceHeight;
    if (h % pieceHeight > 0)
    {
        bottomHeight = h % pieceHeight;
        GetBestTextureDimensions(bottomWidth, bottomHeight, true, true, flags);
    }
    int32_t cornerWidth = rightWidth;
    int32_t cornerHeight = bottomHeight;
    GetBestTextureDimensions(cornerWidth, cornerHeight, true, true, flags);

    mPieceWidth = pieceWidth;
    mPieceHeight = pieceHeight;
    mPiecesAcross = (w + pieceWidth - 1) / pieceWidth;
    mPiecesDown = (h + pieceHeight - 1) / pieceHeight;
    mTextures.assign(size_t(mPiecesAcross) * size_t(mPiecesDown),
                     GLTextureDataPiece{0, pieceWidth, pieceHeight, false});
    for (int32_t row = 0; row < mPiecesDown; ++row)
    {
        GLTextureDataPiece& piece = mTextures[size_t(mPiecesAcross - 1 + row * mPiecesAcross)];
        piece.mWidth = rightWidth;
        piece.mHeight = rightHeight;
    }
    for (int32_t column = 0; column < mPiecesAcross; ++column)
    {
        GLTextureDataPiece& piece = mTextures[size_t(column + (mPiecesDown - 1) * mPiecesAcross)];
        piece.mWidth = bottomWidth;
        piece.mHeight = bottomHeight;
    }
    mTextures.back().mWidth = cornerWidth;
    mTextures.back().mHeight = cornerHeight;

    mMaxTotalU = float(w) / float(pieceWidth);
    mMaxTotalV = float(h) / float(pieceHeight);
}

void GLTextureData::CreateTextures(MemoryImage* image)
{
    image->DeleteSWBuffers();
    image->CommitBits();

    const int32_t w = image->mWidth;
    const int32_t h = image->mHeight;
    const bool rebuild = mWidth != w || mHeight != h || mPixelFormat != 1 || mImageFlags != image->m3DFlags;
    if (rebuild)
    {
        ReleaseTextures();
        mPixelFormat = 0;
        mImageFlags = image->m3DFlags;
        CreateTextureDimensions(image);
        if (mTextures.empty())
            return; // nothing to hold: the image's draws are dropped
        mPixelFormat = 1;
    }

    const GLFunctions& gl = GL();
    const bool palette = image->mPalette != nullptr && image->mPaletteIndices != nullptr;
    const uint32_t* bits = palette ? nullptr : image->GetBits();
    std::vector<uint32_t> buffer;
    size_t index = 0;
    for (int32_t y = 0; y < h; y += mPieceHeight)
    {
        for (int32_t x = 0; x < w; x += mPieceWidth, ++index)
        {
            GLTextureDataPiece& piece = mTextures[index];
            if (rebuild)
            {
                GLuint name = 0;
                gl.GenTextures(1, &name);
                piece.mTexture = name;
                mTexMemSize += 4 * piece.mWidth * piece.mHeight;
                piece.mLinearFilter = false;
            }
            if (piece.mTexture == 0)
                continue;
            const int32_t cw = std::min(piece.mWidth, w - x);
            const int32_t ch = std::min(piece.mHeight, h - y);
            const int32_t pw = piece.mWidth;
            buffer.assign(size_t(pw) * size_t(piece.mHeight), 0u);
            for (int32_t row = 0; row < ch; ++row)
            {
                uint32_t* out = buffer.data() + size_t(row) * size_t(pw);
                const size_t from = size_t(y + row) * size_t(w) + size_t(x);
                if (palette)
                {
                    const uint8_t* indices = image->mPaletteIndices + from;
                    for (int32_t col = 0; col < cw; ++col)
                        out[col] = image->mPalette[indices[col]];
                }
                else if (bits != nullptr) // an image that holds no pixels uploads as transparent
                {
                    std::copy(bits + from, bits + from + cw, out);
                }
                // One repeated texel so linear filtering at the image's edge reads the edge.
                if (cw < pw)
                    out[cw] = out[cw - 1];
            }
            if (ch < piece.mHeight)
                std::copy(buffer.data() + size_t(ch - 1) * size_t(pw),
                          buffer.data() + size_t(ch) * size_t(pw), buffer.data() + size_t(ch) * size_t(pw));
            GLenum format = GL_BGRA;
            if (!gHasBGRExtension)
            {
                for (uint32_t& texel : buffer)
                    texel = SwapRedBlue(texel);
                format = GL_RGBA;
            }
            SetGLTexture(piece.mTexture);
            if (rebuild)
                gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, pw, piece.mHeight, 0, format,
                              GL_UNSIGNED_INT_8_8_8_8_REV, buffer.data());
            else
                gl.TexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, pw, piece.mHeight, format,
                                 GL_UNSIGNED_INT_8_8_8_8_REV, buffer.data());
            const GLint filter = piece.mLinearFilter ? GL_LINEAR : GL_NEAREST;
            gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
            gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
            const GLint wrap = gHasEdgeClampExtension ? GL_CLAMP_TO_EDGE : GL_CLAMP;
            gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
            gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
        }
    }
    mWidth = w;
    mHeight = h;
    mBitsChangedCount = image->mBitsChangedCount;
    mPixelFormat = 1;
}

void GLTextureData::CheckCreateTextures(MemoryImage* image)
{
    if (!IsCurrentFor(image))
        CreateTextures(image);
}

GLTextureDataPiece& GLTextureData::GetTexture(int32_t x, int32_t y, int32_t& width, int32_t& height,
                                              float& u1, float& v1, float& u2, float& v2)
{
    const int32_t column = x / mPieceWidth;
    const int32_t row = y / mPieceHeight;
    GLTextureDataPiece& piece = mTextures[size_t(column + row * mPiecesAcross)];
    const int32_t left = x - column * mPieceWidth;
    const int32_t top = y - row * mPieceHeight;
    const int32_t right = std::min(piece.mWidth, left + width);
    const int32_t bottom = std::min(piece.mHeight, top + height);
    width = right - left;
    height = bottom - top;
    u1 = float(left) / float(piece.mWidth);
    v1 = float(top) / float(piece.mHeight);
    u2 = float(right) / float(piece.mWidth);
    v2 = float(bottom) / float(piece.mHeight);
    return piece;
}

namespace
{
// The part of src that lies inside a w x h image.
TRect<int> ClipToImage(const TRect<int>& src, int32_t w, int32_t h)
{
    if (src.mWidth <= 0 || src.mHeight <= 0)
        return TRect<int>();
    return TRect<int>(0, 0, w, h).Intersection(src);
}

// A piece's share of a drawn part: where its top-left lands, its size and its texture
// coordinates.
struct PiecePart
{
    GLTextureDataPiece* piece;
    float x, y;
    int32_t width, height;
    float u1, v1, u2, v2;
};

// Calls draw(share) for every piece holding part (src clipped to the image), row by row,
// with src's top-left landing at (x, y).
template <class Draw>
void ForEachPiecePart(GLTextureData& data, const TRect<int>& src, const TRect<int>& part, float x, float y,
                      Draw draw)
{
    const int32_t right = part.mX + part.mWidth;
    const int32_t bottom = part.mY + part.mHeight;
    PiecePart share;
    share.y = y + float(part.mY - src.mY);
    for (int32_t sy = part.mY; sy < bottom;)
    {
        share.x = x + float(part.mX - src.mX);
        for (int32_t sx = part.mX; sx < right;)
        {
            share.width = right - sx;
            share.height = bottom - sy;
            share.piece =
                &data.GetTexture(sx, sy, share.width, share.height, share.u1, share.v1, share.u2, share.v2);
            draw(share);
            sx += share.width;
            share.x += float(share.width);
        }
        sy += share.height;
        share.y += float(share.height);
    }
}

// The bound texture's (u1, v1)-(u2, v2) on the quad of the corners, clockwise from the
// top-left.
void TexturedQuad(const GLFunctions& gl, const VaxoVector2 (&corners)[4], float u1, float v1, float u2,
                  float v2)
{
    gl.Begin(GL_QUADS);
    gl.TexCoord2f(u1, v1);
    gl.Vertex2f(corners[0].x, corners[0].y);
    gl.TexCoord2f(u2, v1);
    gl.Vertex2f(corners[1].x, corners[1].y);
    gl.TexCoord2f(u2, v2);
    gl.Vertex2f(corners[2].x, corners[2].y);
    gl.TexCoord2f(u1, v2);
    gl.Vertex2f(corners[3].x, corners[3].y);
    gl.End();
}
} // namespace

void GLTextureData::Blt(float x, float y, const TRect<int>& src, const Color& color)
{
    // Clipped first: outside the image the walk would index past the pieces.
    const TRect<int> part = ClipToImage(src, mWidth, mHeight);
    if (part.mWidth <= 0 || part.mHeight <= 0 || mTextures.empty())
        return;
    const GLFunctions& gl = GL();
    SetGLColor(color);
    const auto draw = [&](const PiecePart& p)
    {
        SetGLTextureData(*p.piece); // never between Begin and End
        const float right = p.x + float(p.width), bottom = p.y + float(p.height);
        const VaxoVector2 corners[4] = {{p.x, p.y}, {right, p.y}, {right, bottom}, {p.x, bottom}};
        TexturedQuad(gl, corners, p.u1, p.v1, p.u2, p.v2);
    };
    ForEachPiecePart(*this, src, part, x, y, draw);
}

void GLTextureData::BltTransformed(const VaxoMatrix3& m, const TRect<int>& src, const Color& color,
                                   const TRect<int>* clip, float x, float y, bool center)
{
    const TRect<int> part = ClipToImage(src, mWidth, mHeight);
    if (part.mWidth <= 0 || part.mHeight <= 0 || mTextures.empty())
        return;
    float startX = 0;
    float startY = 0;
    float shift = 0.5f;
    if (center)
    {
        startX = -float(src.mWidth) * 0.5f;
        startY = -float(src.mHeight) * 0.5f;
        shift = 0;
    }
    const float moveX = x - shift;
    const float moveY = y - shift;
    const uint32_t argb = ColorToARGB(color);
    const GLFunctions& gl = GL();
    SetGLColor(color);
    const auto draw = [&](const PiecePart& p)
    {
        const float px = p.x, py = p.y;
        VaxoVector2 corners[4] = {m * VaxoVector2(px, py), m * VaxoVector2(px + float(p.width), py),
                                  m * VaxoVector2(px + float(p.width), py + float(p.height)),
                                  m * VaxoVector2(px, py + float(p.height))};
        bool crosses = false;
        for (VaxoVector2& c : corners)
        {
            c.x += moveX;
            c.y += moveY;
            if (clip != nullptr && (c.x < float(clip->mX) || c.x >= float(int64_t(clip->mX) + clip->mWidth) ||
                                    c.y < float(clip->mY) || c.y >= float(int64_t(clip->mY) + clip->mHeight)))
                crosses = true;
        }
        SetGLTextureData(*p.piece);
        if (crosses)
        {
            VertexList list;
            list.push_back(GLVertex{corners[0].x, corners[0].y, p.u1, p.v1, argb});
            list.push_back(GLVertex{corners[3].x, corners[3].y, p.u1, p.v2, argb});
            list.push_back(GLVertex{corners[2].x, corners[2].y, p.u2, p.v2, argb});
            list.push_back(GLVertex{corners[1].x, corners[1].y, p.u2, p.v1, argb});
            DrawPolyClipped(clip, list);
        }
        else
            TexturedQuad(gl, corners, p.u1, p.v1, p.u2, p.v2);
    };
    ForEachPiecePart(*this, src, part, startX, startY, draw);
}

void GLTextureData::BltTriangles(const TriVertex (*triangles)[3], int32_t count, uint32_t color, float tx,
                                 float ty)
{
    if (triangles == nullptr || count <= 0 || mTextures.empty())
        return;
    const GLFunctions& gl = GL();
    if (mMaxTotalU <= 1.0f && mMaxTotalV <= 1.0f)
    {
        SetGLTextureData(mTextures[0]);
        gl.Begin(GL_TRIANGLES);
        for (int32_t i = 0; i < count; ++i)
        {
            for (const TriVertex& vertex : triangles[i])
            {
                const uint32_t c = vertex.color != 0 ? vertex.color : color;
                gl.Color4ub(GLubyte(c >> 16), GLubyte(c >> 8), GLubyte(c), GLubyte(c >> 24));
                gl.TexCoord2f(vertex.u * mMaxTotalU, vertex.v * mMaxTotalV);
                gl.Vertex2f(vertex.x + tx, vertex.y + ty);
            }
        }
        gl.End();
        return;
    }

    const GLTextureDataPiece& first = mTextures[0];
    for (int32_t i = 0; i < count; ++i)
    {
        VertexList tri;
        float minU = mMaxTotalU, minV = mMaxTotalV, maxU = 0, maxV = 0;
        for (const TriVertex& vertex : triangles[i])
        {
            const GLVertex v{vertex.x + tx, vertex.y + ty, vertex.u * mMaxTotalU, vertex.v * mMaxTotalV,
                             vertex.color != 0 ? vertex.color : color};
            minU = std::min(minU, v.u);
            minV = std::min(minV, v.v);
            maxU = std::max(maxU, v.u);
            maxV = std::max(maxV, v.v);
            tri.push_back(v);
        }
        // Piece range of the texture coordinates' bounding box, limited to the grid. NaN
        // coordinates leave an empty range.
        const float firstColumn = std::max(std::floor(minU), 0.0f);
        const float lastColumn = std::min(std::ceil(maxU) - 1.0f, float(mPiecesAcross - 1));
        const float firstRow = std::max(std::floor(minV), 0.0f);
        const float lastRow = std::min(std::ceil(maxV) - 1.0f, float(mPiecesDown - 1));
        if (!(firstColumn <= lastColumn && firstRow <= lastRow))
            continue;
        for (int32_t row = int32_t(firstRow); row <= int32_t(lastRow); ++row)
        {
            for (int32_t column = int32_t(firstColumn); column <= int32_t(lastColumn); ++column)
            {
                GLTextureDataPiece& piece = mTextures[size_t(column + row * mPiecesAcross)];
                VertexList local = tri;
                for (int32_t k = 0; k < local.size(); ++k)
                {
                    local[k].u -= float(column);
                    local[k].v -= float(row);
                    if (row == mPiecesDown - 1)
                        local[k].v *= float(first.mHeight) / float(piece.mHeight);
                    if (column == mPiecesAcross - 1)
                        local[k].u *= float(first.mWidth) / float(piece.mWidth);
                }
                VertexList clipped;
                ClipPolyToUnitTexture(local, clipped);
                if (clipped.size() <= 2)
                    continue;
                SetGLTextureData(piece);
                gl.Begin(GL_TRIANGLE_FAN);
                for (int32_t k = 0; k < clipped.size(); ++k)
                {
                    const GLVertex& v = clipped[k];
                    gl.Color4ub(GLubyte(v.color >> 16), GLubyte(v.color >> 8), GLubyte(v.color),
                                GLubyte(v.color >> 24));
                    gl.TexCoord2f(v.u, v.v);
                    gl.Vertex2f(v.x, v.y);
                }
                gl.End();
            }
        }
    }
}

void GLTextureData::ReleaseTextures()
{
    const GLFunctions* gl = nullptr;
    for (GLTextureDataPiece& piece : mTextures)
    {
        if (piece.mTexture == 0)
            continue;
        if (piece.mTexture == gCurTexture)
            SetGLTexture(0);
        if (gl == nullptr)
            gl = &GL();
        GLuint name = piece.mTexture;
        gl->DeleteTextures(1, &name);
    }
    mTextures.clear();
    mTexMemSize = 0;
}

void GLTextureData::TakeTextureNames(std::vector<uint32_t>& names)
{
    for (const GLTextureDataPiece& piece : mTextures)
        if (piece.mTexture != 0)
            names.push_back(piece.mTexture);
    mTextures.clear();
    mTexMemSize = 0;
}

void GLTextureData::ForgetTextures()
{
    mTextures.clear();
    mTexMemSize = 0;
}

bool GLTextureData::ReadBackPixels(uint32_t* bits)
{
    if (bits == nullptr || mPixelFormat != 1 || mTextures.empty())
        return false;
    const GLFunctions& gl = GL();
    std::vector<uint32_t> buffer;
    size_t index = 0;
    for (int32_t y = 0; y < mHeight; y += mPieceHeight)
    {
        for (int32_t x = 0; x < mWidth; x += mPieceWidth, ++index)
        {
            const GLTextureDataPiece& piece = mTextures[index];
            if (piece.mTexture == 0)
                return false;
            buffer.assign(size_t(piece.mWidth) * size_t(piece.mHeight), 0u);
            SetGLTexture(piece.mTexture);
            gl.GetTexImage(GL_TEXTURE_2D, 0, gHasBGRExtension ? GL_BGRA : GL_RGBA,
                           GL_UNSIGNED_INT_8_8_8_8_REV, buffer.data());
            const int32_t cw = std::min(piece.mWidth, mWidth - x);
            const int32_t ch = std::min(piece.mHeight, mHeight - y);
            for (int32_t row = 0; row < ch; ++row)
            {
                const uint32_t* in = buffer.data() + size_t(row) * size_t(piece.mWidth);
                uint32_t* out = bits + size_t(y + row) * size_t(mWidth) + size_t(x);
                for (int32_t col = 0; col < cw; ++col)
                    out[col] = gHasBGRExtension ? in[col] : SwapRedBlue(in[col]);
            }
        }
    }
    return true;
}

} // namespace Vaxo
