// Internal to framework/graphics and framework/resources.
// TextureData and GLTextureData: one MemoryImage as a grid of OpenGL textures.
//
// Drivers of this period take only power-of-two textures of limited size (at most 1024
// here), so an image is cut into "pieces": full interior pieces of one size, and a right
// column and bottom row of smaller power-of-two textures. A table of good sizes, built
// once, picks for every length below 1024 a piece size with little waste (an 800-wide
// image gets 256-wide pieces and a 32-wide remainder rather than one 1024-wide texture).
// The renderer (GL3DInterface) creates one GLTextureData per image on its first textured
// draw, keeps it in the image's m3DData, rebuilds or refills it when the image changes,
// and deletes it when the image dies. Drawing walks the grid: rectangles, transformed
// rectangles and triangle lists. Main thread only.
#pragma once

#include "graphics/Color.h"
#include "graphics/Matrix.h"
#include "graphics/Rect.h"
#include "graphics/TriVertex.h"

#include <cstdint>
#include <vector>

namespace Vaxo
{

class MemoryImage;

// Texture flag bits of an image (MemoryImage::m3DFlags).
enum : uint32_t
{
    // Pieces sized by plain powers of two, without the good-size table.
    kTexFlagPowerOfTwo = 1,
    // Pieces of exactly 64 x 64.
    kTexFlag64 = 2
};

class TextureData
{
public:
    // Image size the textures were built for, in pixels.
    int32_t mWidth;
    int32_t mHeight;
    // Columns and rows of the grid.
    int32_t mPiecesAcross;
    int32_t mPiecesDown;
    // Size of a full (interior) piece, in texels and image pixels.
    int32_t mPieceWidth;
    int32_t mPieceHeight;
    // The image's mBitsChangedCount when the textures were last filled.
    int32_t mBitsChangedCount;
    // Bytes of texture storage made (4 per texel over all pieces); 0 after release.
    int32_t mTexMemSize;
    // Image width / piece width and height / piece height: texture coordinates of the
    // whole image in units of pieces.
    float mMaxTotalU;
    float mMaxTotalV;
    // 0 nothing built; 1 built from 32-bit ARGB.
    int32_t mPixelFormat;
    // The image's m3DFlags the grid was laid out with.
    uint32_t mImageFlags;

    // Texture limits of the driver, set by the renderer's Init3D.
    static int32_t mMaxTextureWidth;
    static int32_t mMaxTextureHeight;
    static int32_t mMinTextureWidth;
    static int32_t mMinTextureHeight;
    // Largest long side / short side of a texture.
    static int32_t mMaxTextureAspectRatio;
    // Recorded only.
    static int32_t mTextureSizeMustBePow2;
    static int32_t mSupportedPixelFormats;

public:
    TextureData();
    virtual ~TextureData();

    // Whether the textures were filled from the image's current pixels, size and flags
    // (no refill due).
    bool IsCurrentFor(const MemoryImage* image) const;

    // Limits the maxima to 1024 and raises the minima to at least 1.
    static void ClampTextureSizes();
    // Turns a wanted piece size into an allowed texture size. edge: a remainder piece of
    // the right column or bottom row; powerOfTwo: power-of-two sizes wanted; flags: the
    // image's m3DFlags.
    static void GetBestTextureDimensions(int32_t& width, int32_t& height, bool edge, bool powerOfTwo,
                                         uint32_t flags);
    // The entry of the good-size table for a length 0..1023.
    static int32_t GoodTextureSize(int32_t length);
    // Tests only: the limits a process starts with.
    static void ResetTextureLimits();
};

// One texture of the grid.
struct GLTextureDataPiece
{
    // OpenGL texture name; 0 when none could be made (the piece draws untextured).
    uint32_t mTexture;
    // Texture size: powers of two except where the limits force otherwise.
    int32_t mWidth;
    int32_t mHeight;
    // The filter last applied to this texture (gLinearFilter); false after creation.
    bool mLinearFilter;
};

class GLTextureData : public TextureData
{
public:
    // Row-major: index = column + row * mPiecesAcross.
    std::vector<GLTextureDataPiece> mTextures;

public:
    GLTextureData();
    // Deletes the textures: the caller must be on the context's thread with a context.
    ~GLTextureData() override;

    // Lays out the grid for the image's size and flags (no OpenGL calls).
    void CreateTextureDimensions(MemoryImage* image);
    // (Re)creates and fills the textures from the image's pixels or palette form.
    void CreateTextures(MemoryImage* image);
    // CreateTextures unless built for the image's current size, pixels and flags.
    void CheckCreateTextures(MemoryImage* image);
    // The piece holding pixel (x, y); narrows width and height to the part of that span
    // it holds and gives the part's texture coordinates.
    GLTextureDataPiece& GetTexture(int32_t x, int32_t y, int32_t& width, int32_t& height, float& u1,
                                   float& v1, float& u2, float& v2);
    // Source pixel (sx, sy) lands at (x + sx - src.x, y + sy - src.y).
    void Blt(float x, float y, const TRect<int>& src, const Color& color);
    // Each piece part through m, then moved by (x, y) (less half a pixel unless center,
    // which puts the source's centre at the origin first); parts crossing clip are cut.
    void BltTransformed(const VaxoMatrix3& m, const TRect<int>& src, const Color& color,
                        const TRect<int>* clip, float x, float y, bool center);
    // Triangles with u, v as fractions of the image, offset by (tx, ty); color is the
    // ARGB word for vertices whose colour is 0.
    void BltTriangles(const TriVertex (*triangles)[3], int32_t count, uint32_t color, float tx, float ty);
    // Deletes every texture (unbinding the bound one first).
    void ReleaseTextures();
    // Moves the texture names to names without any OpenGL call, for deletion later on
    // the context's thread.
    void TakeTextureNames(std::vector<uint32_t>& names);
    // Forgets the names without deleting them: their context is gone and took them along.
    void ForgetTextures();
    // Reads the pixels back from the textures into bits (mWidth x mHeight words); false
    // when a piece has no texture.
    bool ReadBackPixels(uint32_t* bits);
};

} // namespace Vaxo
