// ImageFont: the bitmap font that draws all of the program's text.
//
// An ImageFont wraps a shared FontData and adds a point size, a scale and tags. From
// these it picks the active layers: the font layers whose point range and tags match,
// each with a glyph sheet at the right size (the layer image itself, or a scaled copy
// made once when the layers are picked). Metrics come from the active layers; measuring
// takes, per character, the widest advance over them with pair kerning. Drawing queues
// one glyph draw per character and layer into 256 order buckets, so that a whole layer
// (a shadow, an outline) can lie under or over the others across the string, and then
// draws the buckets in order.
//
// Locks: every DrawStringEx holds the font drawing lock (RenderCritSec) from start to
// end; inside it the application's image mutex may be taken (a new glyph sheet
// registers with the application), never the other way round. Measuring, size and tag
// changes take no lock: a font object is used by one thread at a time.
#pragma once

#include "graphics/Color.h"
#include "graphics/Font.h"
#include "graphics/Rect.h"

#include <cstdint>
#include <list>
#include <string>
#include <vector>

struct SDL_mutex;

namespace Vaxo
{

class FontData;
class FontLayer;
class Graphics;
class GraphicsApp;
class Image;

class ActiveFontLayer
{
public:
    // The font layer this entry stands for; owned by the font data.
    FontLayer* mBaseFontLayer;
    // Glyph sheet to draw from; null when the layer has none (its glyphs still advance).
    Image* mScaledImage;
    // mScaledImage is a scaled copy made for this entry and deleted with it.
    bool mOwnsImage;
    // Per character code: the glyph's area in mScaledImage.
    TRect<int> mScaledCharImageRects[256];
    // Per character code, what drawing and measuring need of its glyph, together so that
    // a glyph draw reads one cache line of them.
    struct alignas(32) Glyph
    {
        // Scaled, worked out once when the layers are chosen: the advance, the glyph's
        // offset from the pen (x) and its top above the baseline (y).
        int32_t mAdvance;
        int32_t mX;
        int32_t mY;
        // Order bucket, 0-255.
        uint8_t mBucket;
        // The part of the glyph rectangle that is not fully transparent (empty when none
        // is, or when the rectangle is not wholly on the sheet); made with mGlyphBits.
        TRect<int> mInk;
    };
    Glyph mGlyphs[256];
    // Some kerning offset or the layer spacing is not 0 (else every kerning is 0).
    bool mHasKerning;
    // mScaledImage's pixels as plain words, for copying glyphs straight into software
    // images; made on first use and again when the image or its pixels change. Drawing
    // thread only (under RenderCritSec).
    std::vector<uint32_t> mGlyphBits;
    const Image* mGlyphBitsImage;
    int32_t mGlyphBitsStamp;

public:
    ActiveFontLayer();
    // An owned image is copied (through the application), so each entry owns its own.
    ActiveFontLayer(const ActiveFontLayer& other);
    // Takes the other's image; the other is left without one.
    ActiveFontLayer(ActiveFontLayer&& other) noexcept;
    ActiveFontLayer& operator=(const ActiveFontLayer& other);
    ActiveFontLayer& operator=(ActiveFontLayer&& other) noexcept;
    virtual ~ActiveFontLayer();

    // mGlyphBits brought up to date; null when the image has no pixels to read.
    const uint32_t* GlyphBits();

private:
    void FreeImage();
    void CopyFrom(const ActiveFontLayer& other);
    // Copies the per-character tables (not the image or the pixel cache; the inks come
    // along but are made again with it).
    void CopyTables(const ActiveFontLayer& other);
    // Fills the glyphs' inks from mGlyphBits (a width x height sheet).
    void FindInk(int32_t width, int32_t height);
};

// One queued glyph draw.
class RenderCommand
{
public:
    Image* mImage;
    int32_t mX;
    int32_t mY;
    TRect<int> mSrcRect;
    // -1: keep the context's draw mode.
    int32_t mDrawMode;
    // Already within 0-255 per channel.
    Color mColor;
    // The following command of the same bucket.
    RenderCommand* mNext;
    // The place in the active list of the entry the glyph was queued from, and the
    // mapped code.
    uint8_t mLayerIndex;
    uint8_t mCharCode;
};

// Glyph draws queued by one DrawStringEx at most; later ones are dropped.
constexpr int32_t kRenderCommandPoolSize = 4096;
// The queue: a fixed pool (drawing allocates nothing) and 256 order buckets. Guarded by
// RenderCritSec().
extern RenderCommand gRenderCommandPool[kRenderCommandPoolSize];
extern RenderCommand* gRenderHead[256];
extern RenderCommand* gRenderTail[256];
// The font drawing lock (recursive); made on first use and never destroyed.
SDL_mutex* RenderCritSec();

class ImageFont : public Font
{
public:
    // Shared; this font counts one reference.
    FontData* mFontData;
    // Requested size, compared with the layers' point ranges.
    int32_t mPointSize;
    // Upper-case tags set on this font.
    std::vector<std::string> mTagVector;
    // False when point size, scale or tags changed since the active layers were made.
    bool mActiveListValid;
    // In the order of the font data's layers.
    std::list<ActiveFontLayer> mActiveLayerList;
    // Extra scale factor.
    double mScale;

public:
    // Loads a descriptor; the font exists even when loading failed (see
    // mFontData->mInitialized).
    ImageFont(GraphicsApp* app, const std::string& descriptorPath);
    // A legacy font: image (not owned) and a width file.
    ImageFont(Image* image, const std::string& widthFilePath);
    // One layer drawing from image (not owned), with no characters set.
    explicit ImageFont(Image* image);
    ImageFont(const ImageFont& other);
    ImageFont& operator=(const ImageFont&) = delete;
    ~ImageFont() override;

    // The metrics of the active layers, made first when a change left them stale.
    int GetAscent() override;
    int GetAscentPadding() override;
    int GetDescent() override;
    int GetHeight() override;
    int GetLineSpacingOffset() override;
    int GetLineSpacing() override;
    int StringWidth(const std::string& str) override;
    int CharWidth(char c) override;
    int CharWidthKern(char c, char prev) override;
    void DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                    const TRect<int>& clipRect) override;
    Font* Duplicate() override;

    virtual void GenerateActiveFontLayers();
    // y is the baseline; clipRect is not used (the Graphics clips). drawnAreas (cleared)
    // receives one rectangle per queued glyph, width the advance of the text.
    virtual void DrawStringEx(Graphics* g, int x, int y, const std::string& str, const Color& color,
                              const TRect<int>* clipRect, std::list<TRect<int>>* drawnAreas, int* width);
    virtual void SetPointSize(int pointSize);
    virtual int GetPointSize();
    virtual void SetScale(double scale);
    virtual int GetDefaultPointSize();
    // False when the tag was already set.
    virtual bool AddTag(const std::string& tag);
    // False when the tag was not set.
    virtual bool RemoveTag(const std::string& tag);
    // Exact comparison: callers pass upper-case tags.
    virtual bool HasTag(const std::string& tag);
    // Printable form of the font data's define of that name; empty when none.
    virtual std::string GetDefine(const std::string& name);
    // Makes the active layers when they are not valid.
    virtual void Prepare();

    // The one expression for every scaled length of a layer (metrics, glyph sizes and
    // positions, advances, kerning), so that measuring and drawing always agree.
    // layerPointSize 0 means the layer does not scale with the point size.
    int32_t ScaledLength(const FontLayer& layer, int64_t length) const;
};

} // namespace Vaxo
