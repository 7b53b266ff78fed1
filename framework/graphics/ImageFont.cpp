#include "graphics/ImageFont.h"

#include "common/Common.h"
#include "graphics/BlendKernels.h"
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImage.h"

#include <SDL_mutex.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <typeinfo>

namespace Vaxo
{

RenderCommand gRenderCommandPool[kRenderCommandPoolSize];
RenderCommand* gRenderHead[256];
RenderCommand* gRenderTail[256];

SDL_mutex* RenderCritSec()
{
    static SDL_mutex* const mutex = SDL_CreateMutex();
    return mutex;
}

namespace
{
// Largest side of a scaled glyph sheet, and most pixels of all sheets of one font; a
// sheet beyond them (an absurd scale or point size in a hand-edited file) is not made
// and its layer draws nothing. Real fonts need well under a million pixels.
const int64_t kMaxSheetSide = 16384;
const int64_t kMaxSheetPixels = int64_t(1) << 24;

int32_t Clamp32(int64_t value)
{
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, value)));
}

int32_t ClampChannel(int64_t value)
{
    return int32_t(std::max<int64_t>(0, std::min<int64_t>(255, value)));
}

class RenderLock
{
public:
    RenderLock() : mMutex(RenderCritSec()) { SDL_mutexP(mMutex); }
    ~RenderLock() { SDL_mutexV(mMutex); }
    RenderLock(const RenderLock&) = delete;
    RenderLock& operator=(const RenderLock&) = delete;

private:
    SDL_mutex* mMutex;
};

// Text colour times the layer's multiplier plus its addition. A descriptor may give
// factors outside 0-1 and the text colour may be anything, so the result is clamped
// here rather than trusted by the blitters.
Color LayerColor(const Color& text, const FontLayer& layer)
{
    Color out;
    for (int i = 0; i < 4; ++i)
        out[i] = ClampChannel(int64_t(text[i]) * layer.mColorMult[i] / 255 + layer.mColorAdd[i]);
    return out;
}

bool HasAll(const std::vector<std::string>& have, const std::vector<std::string>& wanted)
{
    for (const std::string& tag : wanted)
        if (std::find(have.begin(), have.end(), tag) == have.end())
            return false;
    return true;
}

bool HasAny(const std::vector<std::string>& have, const std::vector<std::string>& unwanted)
{
    for (const std::string& tag : have)
        if (std::find(unwanted.begin(), unwanted.end(), tag) != unwanted.end())
            return true;
    return false;
}
} // namespace

// ---- ActiveFontLayer ------------------------------------------------------------------------

ActiveFontLayer::ActiveFontLayer()
    : mBaseFontLayer(nullptr), mScaledImage(nullptr), mOwnsImage(false), mGlyphs(), mHasKerning(false),
      mGlyphBitsImage(nullptr), mGlyphBitsStamp(0)
{
}

ActiveFontLayer::ActiveFontLayer(const ActiveFontLayer& other)
    : mBaseFontLayer(nullptr), mScaledImage(nullptr), mOwnsImage(false), mHasKerning(false),
      mGlyphBitsImage(nullptr), mGlyphBitsStamp(0)
{
    CopyFrom(other);
}

ActiveFontLayer::ActiveFontLayer(ActiveFontLayer&& other) noexcept
    : mBaseFontLayer(other.mBaseFontLayer), mScaledImage(other.mScaledImage), mOwnsImage(other.mOwnsImage),
      mHasKerning(other.mHasKerning), mGlyphBits(std::move(other.mGlyphBits)),
      mGlyphBitsImage(other.mGlyphBitsImage), mGlyphBitsStamp(other.mGlyphBitsStamp)
{
    CopyTables(other);
    other.mGlyphBitsImage = nullptr;
    other.mScaledImage = nullptr;
    other.mOwnsImage = false;
}

ActiveFontLayer& ActiveFontLayer::operator=(const ActiveFontLayer& other)
{
    if (this != &other)
    {
        FreeImage();
        CopyFrom(other);
    }
    return *this;
}

ActiveFontLayer& ActiveFontLayer::operator=(ActiveFontLayer&& other) noexcept
{
    if (this != &other)
    {
        FreeImage();
        mBaseFontLayer = other.mBaseFontLayer;
        mScaledImage = other.mScaledImage;
        mOwnsImage = other.mOwnsImage;
        CopyTables(other);
        mHasKerning = other.mHasKerning;
        mGlyphBits = std::move(other.mGlyphBits);
        mGlyphBitsImage = other.mGlyphBitsImage;
        mGlyphBitsStamp = other.mGlyphBitsStamp;
        other.mScaledImage = nullptr;
        other.mOwnsImage = false;
        other.mGlyphBitsImage = nullptr;
    }
    return *this;
}

ActiveFontLayer::~ActiveFontLayer()
{
    FreeImage();
}

void ActiveFontLayer::FreeImage()
{
    if (mOwnsImage)
        delete mScaledImage;
    mScaledImage = nullptr;
    mOwnsImage = false;
    mGlyphBits.clear();
    mGlyphBitsImage = nullptr;
}

const uint32_t* ActiveFontLayer::GlyphBits()
{
    MemoryImage* image = dynamic_cast<MemoryImage*>(mScaledImage);
    if (image == nullptr)
        return nullptr;
    if (mGlyphBitsImage == image && mGlyphBitsStamp == image->mBitsChangedCount &&
        mGlyphBits.size() == image->PixelCount())
        return mGlyphBits.data();
    const size_t count = image->PixelCount();
    if (image->mPalette != nullptr && image->mPaletteIndices != nullptr)
    {
        // Read the palette form as the blitters do; GetBits would give it up.
        mGlyphBits.resize(count);
        for (size_t i = 0; i < count; ++i)
            mGlyphBits[i] = image->mPalette[image->mPaletteIndices[i]];
    }
    else
    {
        const uint32_t* bits = image->GetBits();
        if (bits == nullptr)
            return nullptr;
        mGlyphBits.assign(bits, bits + count);
    }
    mGlyphBitsImage = image;
    mGlyphBitsStamp = image->mBitsChangedCount;
    FindInk(image->GetWidth(), image->GetHeight());
    return mGlyphBits.data();
}

void ActiveFontLayer::FindInk(int32_t width, int32_t height)
{
    const TRect<int> bounds(0, 0, width, height);
    for (int code = 0; code < 256; ++code)
    {
        // Only a rectangle wholly inside the sheet is ever drawn.
        const TRect<int>& rect = mScaledCharImageRects[code];
        TRect<int>& ink = mGlyphs[code].mInk;
        ink = TRect<int>();
        if (rect.Intersection(bounds) != rect || rect.mWidth < 1 || rect.mHeight < 1)
            continue;
        int32_t left = rect.mX + rect.mWidth, right = rect.mX, top = rect.mY + rect.mHeight, bottom = rect.mY;
        for (int32_t y = rect.mY; y < rect.mY + rect.mHeight; ++y)
        {
            const uint32_t* row = mGlyphBits.data() + size_t(y) * size_t(width);
            for (int32_t x = rect.mX; x < rect.mX + rect.mWidth; ++x)
            {
                if ((row[x] >> 24) == 0)
                    continue;
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
        }
        if (right > left)
            ink = TRect<int>(left, top, right - left, bottom - top);
    }
}

void ActiveFontLayer::CopyTables(const ActiveFontLayer& other)
{
    std::copy(std::begin(other.mScaledCharImageRects), std::end(other.mScaledCharImageRects),
              std::begin(mScaledCharImageRects));
    std::copy(std::begin(other.mGlyphs), std::end(other.mGlyphs), std::begin(mGlyphs));
}

void ActiveFontLayer::CopyFrom(const ActiveFontLayer& other)
{
    mBaseFontLayer = other.mBaseFontLayer;
    CopyTables(other);
    mHasKerning = other.mHasKerning;
    if (!other.mOwnsImage || other.mScaledImage == nullptr)
    {
        mScaledImage = other.mScaledImage;
        mOwnsImage = false;
        return;
    }
    // Fonts from a width file or a bare image have no application of their own.
    GraphicsApp* app = mBaseFontLayer != nullptr ? mBaseFontLayer->mFontData->ImageApp() : gGraphicsApp;
    Image* copy = app != nullptr ? app->CopyImage(other.mScaledImage) : nullptr;
    if (copy == nullptr)
    {
        if (MemoryImage* source = dynamic_cast<MemoryImage*>(other.mScaledImage))
            copy = new MemoryImage(*source);
    }
    mScaledImage = copy;
    mOwnsImage = copy != nullptr;
}

// ---- ImageFont: construction ----------------------------------------------------------------

ImageFont::ImageFont(GraphicsApp* app, const std::string& descriptorPath)
    : mFontData(new FontData()), mPointSize(0), mActiveListValid(true), mScale(1.0)
{
    mFontData->Ref();
    mFontData->Load(app, descriptorPath);
    mPointSize = mFontData->mDefaultPointSize;
    GenerateActiveFontLayers();
}

ImageFont::ImageFont(Image* image, const std::string& widthFilePath)
    : mFontData(new FontData()), mPointSize(0), mActiveListValid(true), mScale(1.0)
{
    mFontData->Ref();
    mFontData->LoadLegacy(image, widthFilePath);
    mPointSize = mFontData->mDefaultPointSize;
    GenerateActiveFontLayers();
}

ImageFont::ImageFont(Image* image)
    : mFontData(new FontData()), mPointSize(0), mActiveListValid(false), mScale(1.0)
{
    mFontData->Ref();
    mFontData->mInitialized = true;
    mFontData->mFontLayerList.emplace_back(mFontData);
    FontLayer& layer = mFontData->mFontLayerList.back();
    mFontData->mFontLayerMap[std::string()] = &layer;
    layer.mImage = dynamic_cast<MemoryImage*>(image);
    const int32_t height = image != nullptr ? image->GetHeight() : 0;
    layer.mAscent = height;
    layer.mDefaultHeight = height;
    mPointSize = mFontData->mDefaultPointSize;
}

ImageFont::ImageFont(const ImageFont& other)
    : Font(other), mFontData(other.mFontData), mPointSize(other.mPointSize), mTagVector(other.mTagVector),
      mActiveListValid(other.mActiveListValid), mScale(other.mScale)
{
    mFontData->Ref();
    if (other.mActiveListValid)
        mActiveLayerList = other.mActiveLayerList;
}

ImageFont::~ImageFont()
{
    // The owned glyph sheets go before the data whose layers they stand for.
    mActiveLayerList.clear();
    mFontData->DeRef();
}

Font* ImageFont::Duplicate()
{
    return new ImageFont(*this);
}

// ---- Size, scale and tags -------------------------------------------------------------------

void ImageFont::SetPointSize(int pointSize)
{
    mPointSize = pointSize;
    mActiveListValid = false;
}

int ImageFont::GetPointSize()
{
    return mPointSize;
}

void ImageFont::SetScale(double scale)
{
    mScale = scale;
    mActiveListValid = false;
}

int ImageFont::GetDefaultPointSize()
{
    return mFontData->mDefaultPointSize;
}

bool ImageFont::AddTag(const std::string& tag)
{
    const std::string upper = StringToUpper(tag);
    if (HasTag(upper))
        return false;
    mTagVector.push_back(upper);
    mActiveListValid = false;
    return true;
}

bool ImageFont::RemoveTag(const std::string& tag)
{
    const std::string upper = StringToUpper(tag);
    auto it = std::find(mTagVector.begin(), mTagVector.end(), upper);
    if (it == mTagVector.end())
        return false;
    mTagVector.erase(it);
    mActiveListValid = false;
    return true;
}

bool ImageFont::HasTag(const std::string& tag)
{
    return std::find(mTagVector.begin(), mTagVector.end(), tag) != mTagVector.end();
}

std::string ImageFont::GetDefine(const std::string& name)
{
    DataElement* define = mFontData->Dereference(name);
    return define != nullptr ? DescParser::DataElementToString(define) : std::string();
}

void ImageFont::Prepare()
{
    if (mActiveListValid)
        return;
    GenerateActiveFontLayers();
    mActiveListValid = true;
}

// ---- Layers and metrics ---------------------------------------------------------------------

int32_t ImageFont::ScaledLength(const FontLayer& layer, int64_t length) const
{
    // The common unscaled case, without floating point.
    if (mScale == 1.0 && (layer.mPointSize == 0 || layer.mPointSize == mPointSize))
        return Clamp32(length);
    if (layer.mPointSize == 0)
        return TruncToInt(mScale * double(length));
    return TruncToInt(mScale * double(mPointSize) * double(length) / double(layer.mPointSize));
}

void ImageFont::GenerateActiveFontLayers()
{
    if (!mFontData->mInitialized)
        return;
    mActiveLayerList.clear();
    mAscent = 0;
    mAscentPadding = 0;
    mHeight = 0;
    mLineSpacingOffset = 0;
    bool first = true;
    int64_t sheetPixels = 0;

    for (FontLayer& layer : mFontData->mFontLayerList)
    {
        if (layer.mMinPointSize > mPointSize ||
            (mPointSize > layer.mMaxPointSize && layer.mMaxPointSize != -1))
            continue;
        if (!HasAll(mTagVector, layer.mRequiredTags) || HasAny(mTagVector, layer.mExcludedTags))
            continue;
        mActiveLayerList.emplace_back();
        ActiveFontLayer& active = mActiveLayerList.back();
        active.mBaseFontLayer = &layer;
        Image* layerImage = layer.mImage;

        if (mScale == 1.0 && (layer.mPointSize == 0 || layer.mPointSize == mPointSize))
        {
            active.mScaledImage = layerImage;
            for (int i = 0; i < 256; ++i)
                active.mScaledCharImageRects[i] = layer.mCharData[i].mImageRect;
        }
        else
        {
            // Glyphs side by side in code order, each at its scaled size.
            int64_t x = 0;
            int64_t tallest = 0;
            for (int i = 0; i < 256; ++i)
            {
                const TRect<int>& src = layer.mCharData[i].mImageRect;
                const int32_t w = std::max(0, ScaledLength(layer, src.mWidth));
                const int32_t h = std::max(0, ScaledLength(layer, src.mHeight));
                active.mScaledCharImageRects[i] = TRect<int>(Clamp32(x), 0, w, h);
                x += w;
                tallest = std::max<int64_t>(tallest, h);
            }
            const bool fits = x > 0 && tallest > 0 && x <= kMaxSheetSide && tallest <= kMaxSheetSide &&
                              sheetPixels + x * tallest <= kMaxSheetPixels;
            if (fits)
            {
                sheetPixels += x * tallest;
                MemoryImage* sheet = new MemoryImage(mFontData->ImageApp());
                sheet->Create(int(x), int(tallest));
                if (layerImage != nullptr)
                {
                    Graphics g(sheet);
                    for (int i = 0; i < 256; ++i)
                    {
                        const TRect<int>& dest = active.mScaledCharImageRects[i];
                        const TRect<int>& src = layer.mCharData[i].mImageRect;
                        if (dest.mWidth > 0 && dest.mHeight > 0 && src.mWidth > 0 && src.mHeight > 0)
                            g.DrawImage(layerImage, dest, src);
                    }
                }
                sheet->Palletize();
                active.mScaledImage = sheet;
                active.mOwnsImage = true;
            }
        }

        bool kerning = layer.mSpacing != 0;
        for (int code = 0; code < 256; ++code)
        {
            const CharData& cd = layer.mCharData[code];
            ActiveFontLayer::Glyph& glyph = active.mGlyphs[code];
            glyph.mAdvance = ScaledLength(layer, cd.mWidth);
            glyph.mX = ScaledLength(layer, int64_t(layer.mOffset.mX) + cd.mOffset.mX);
            glyph.mY = ScaledLength(layer, int64_t(layer.mAscent) - layer.mOffset.mY - cd.mOffset.mY);
            glyph.mBucket = uint8_t(
                std::max<int64_t>(0, std::min<int64_t>(255, int64_t(layer.mBaseOrder) + cd.mOrder + 128)));
            for (int next = 0; next < 256 && !kerning; ++next)
                kerning = cd.mKerningOffsets[next] != 0;
        }
        active.mHasKerning = kerning;

        const int32_t ascent = ScaledLength(layer, layer.mAscent);
        const int32_t height = ScaledLength(layer, layer.mHeight != 0 ? layer.mHeight : layer.mDefaultHeight);
        const int32_t padding = ScaledLength(layer, layer.mAscentPadding);
        const int32_t spacing = ScaledLength(layer, layer.mLineSpacingOffset);
        mAscent = std::max(mAscent, ascent);
        mHeight = std::max(mHeight, height);
        mAscentPadding = first ? padding : std::min(mAscentPadding, padding);
        mLineSpacingOffset = first ? spacing : std::max(mLineSpacingOffset, spacing);
        first = false;
    }
}

// ---- Measuring ------------------------------------------------------------------------------

// A size, scale or tag change takes effect at the next use, the metrics included: a
// layout must not mix the old line spacing with the new widths.
int ImageFont::GetAscent()
{
    Prepare();
    return Font::GetAscent();
}

int ImageFont::GetAscentPadding()
{
    Prepare();
    return Font::GetAscentPadding();
}

int ImageFont::GetDescent()
{
    Prepare();
    return Font::GetDescent();
}

int ImageFont::GetHeight()
{
    Prepare();
    return Font::GetHeight();
}

int ImageFont::GetLineSpacingOffset()
{
    Prepare();
    return Font::GetLineSpacingOffset();
}

int ImageFont::GetLineSpacing()
{
    Prepare();
    return Font::GetLineSpacing();
}

int ImageFont::CharWidthKern(char c, char prev)
{
    Prepare();
    const uint8_t code = mFontData->mCharMap[static_cast<uint8_t>(c)];
    const uint8_t prevCode = prev != 0 ? mFontData->mCharMap[static_cast<uint8_t>(prev)] : 0;
    int64_t result = 0;
    for (const ActiveFontLayer& active : mActiveLayerList)
    {
        const FontLayer& layer = *active.mBaseFontLayer;
        const int64_t advance = active.mGlyphs[code].mAdvance;
        int64_t kerning = 0;
        if (prevCode != 0 && active.mHasKerning)
            kerning = ScaledLength(layer,
                                   int64_t(layer.mCharData[prevCode].mKerningOffsets[code]) + layer.mSpacing);
        result = std::max(result, advance + kerning);
    }
    return Clamp32(result);
}

int ImageFont::CharWidth(char c)
{
    return CharWidthKern(c, 0);
}

int ImageFont::StringWidth(const std::string& str)
{
    int64_t width = 0;
    char prev = 0;
    for (char c : str)
    {
        width += CharWidthKern(c, prev);
        prev = c;
    }
    return Clamp32(width);
}

// ---- Drawing --------------------------------------------------------------------------------

void ImageFont::DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                           const TRect<int>& clipRect)
{
    DrawStringEx(g, x, y, str, color, &clipRect, nullptr, nullptr);
}

namespace
{
// Graphics's coordinate rule, (x + translation) truncated, inlined for the glyph loop.
inline int32_t Translate(int32_t x, float translation)
{
    const double value = static_cast<float>(x) + translation;
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

// A plain software destination that glyphs may be copied into directly: where
// Graphics::DrawImage would end in MemoryImage's own straight copy.
struct DirectTarget
{
    // Null when glyphs must go through Graphics.
    MemoryImage* dest = nullptr;
    // Fetched with the first glyph that lands, as the blitter would.
    uint32_t* bits = nullptr;
    int32_t width = 0;
    // The image's flags say it is opaque: white glyphs take the run rule, as the
    // blitter decides from the same flags.
    bool opaque = false;
    // The context's clip, already inside the image.
    int32_t clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
    float transX = 0, transY = 0;
    // The translation as whole numbers, when it is one (it usually is).
    bool wholeTrans = false;
    int32_t transXi = 0, transYi = 0;

    explicit DirectTarget(Graphics* g)
    {
        // A subclass may draw differently (display formats, textures), so the type must
        // match exactly.
        Image* image = g->mDestImage;
        if (g->mScaleX != 1 || g->mScaleY != 1 || typeid(*image) != typeid(MemoryImage))
            return;
        MemoryImage* dest = static_cast<MemoryImage*>(image);
        const TRect<int> clip =
            g->mClipRect.Intersection(TRect<int>(0, 0, dest->GetWidth(), dest->GetHeight()));
        if (clip.mWidth < 1 || clip.mHeight < 1)
            return;
        this->dest = dest;
        width = dest->GetWidth();
        opaque = !dest->mHasAlpha && !dest->mHasTrans;
        clipLeft = clip.mX;
        clipTop = clip.mY;
        clipRight = clip.mX + clip.mWidth;
        clipBottom = clip.mY + clip.mHeight;
        transX = g->mTransX;
        transY = g->mTransY;
        wholeTrans = std::abs(transX) <= kExactInFloat && std::abs(transY) <= kExactInFloat &&
                     transX == std::trunc(transX) && transY == std::trunc(transY);
        transXi = wholeTrans ? int32_t(transX) : 0;
        transYi = wholeTrans ? int32_t(transY) : 0;
    }

    // Translate without floating point where the float sum is exact: whole numbers up to
    // 2^24 are floats exactly.
    int32_t X(int32_t x) const { return Shift(x, transX, transXi); }
    int32_t Y(int32_t y) const { return Shift(y, transY, transYi); }

    // A width x height area at (x, y) before translation lies wholly outside the clip;
    // false also when that cannot be told without floating point.
    bool Outside(int32_t x, int32_t y, int32_t width, int32_t height) const
    {
        const int64_t tx = int64_t(x) + transXi, ty = int64_t(y) + transYi;
        if (!wholeTrans || std::abs(int64_t(x)) > kExactInFloat || std::abs(tx) > kExactInFloat ||
            std::abs(int64_t(y)) > kExactInFloat || std::abs(ty) > kExactInFloat)
            return false;
        return tx >= clipRight || tx + width <= clipLeft || ty >= clipBottom || ty + height <= clipTop;
    }

private:
    static constexpr int64_t kExactInFloat = int64_t(1) << 24;
    int32_t Shift(int32_t v, float translation, int32_t whole) const
    {
        const int64_t sum = int64_t(v) + whole;
        if (wholeTrans && std::abs(int64_t(v)) <= kExactInFloat && std::abs(sum) <= kExactInFloat)
            return int32_t(sum);
        return Translate(v, translation);
    }
};

// How the glyphs of one active layer are drawn: blended straight from the sheet's pixels,
// or through Graphics.
struct LayerDraw
{
    enum Rule
    {
        kOverOpaque,
        kWeighted,
        kTinted
    };
    // The sheet's pixels; null for glyphs drawn through Graphics.
    const uint32_t* sheet = nullptr;
    int32_t sheetWidth = 0;
    // Per code, the glyph's values (its ink among them).
    const ActiveFontLayer::Glyph* glyphs = nullptr;
    // NormalBlt's choice for the layer's colour and the target's flags.
    Rule rule = kOverOpaque;
    BlendTint tint = {};

    LayerDraw() = default;
    LayerDraw(const ActiveFontLayer& active, const Color& color, bool opaqueTarget)
        : sheet(active.mGlyphBits.data()), sheetWidth(active.mScaledImage->GetWidth()), glyphs(active.mGlyphs)
    {
        const bool white = color == Color::White;
        rule = !white ? kTinted : (opaqueTarget ? kOverOpaque : kWeighted);
        tint = BlendTint{uint32_t(color.mAlpha), uint32_t(color.mRed), uint32_t(color.mGreen),
                         uint32_t(color.mBlue), color.mRed == color.mGreen && color.mGreen == color.mBlue};
    }
};

// One glyph blended into the target as MemoryImage's blit would draw it. Only its ink
// (the part that is not fully transparent) is visited: the rest would change nothing.
bool DrawGlyphDirect(DirectTarget& target, const LayerDraw& draw, const RenderCommand& command)
{
    const TRect<int>& ink = draw.glyphs[command.mCharCode].mInk;
    if (ink.mWidth < 1 || ink.mHeight < 1)
        return false;
    const TRect<int>& whole = command.mSrcRect;
    // 64-bit: a glyph far off screen may lie near the ends of the int range.
    const int64_t tx = int64_t(target.X(command.mX)) + (ink.mX - whole.mX);
    const int64_t ty = int64_t(target.Y(command.mY)) + (ink.mY - whole.mY);
    const int32_t left = int32_t(std::max<int64_t>(tx, target.clipLeft));
    const int32_t top = int32_t(std::max<int64_t>(ty, target.clipTop));
    const int32_t right = int32_t(std::min<int64_t>(tx + ink.mWidth, target.clipRight));
    const int32_t bottom = int32_t(std::min<int64_t>(ty + ink.mHeight, target.clipBottom));
    if (right <= left || bottom <= top)
        return false;
    if (target.bits == nullptr)
        target.bits = target.dest->GetBits();
    if (target.bits == nullptr)
        return false;
    const size_t sx = size_t(left - tx + ink.mX);
    const size_t sy = size_t(top - ty + ink.mY);
    const size_t destWidth = size_t(target.width);
    const BlendRect rect{draw.sheet + sy * size_t(draw.sheetWidth) + sx,
                         size_t(draw.sheetWidth),
                         target.bits + size_t(top) * destWidth + size_t(left),
                         destWidth,
                         right - left,
                         bottom - top};
    switch (draw.rule)
    {
    case LayerDraw::kOverOpaque:
        FastBlend::OverOpaque(rect);
        break;
    case LayerDraw::kWeighted:
        FastBlend::Weighted(rect);
        break;
    case LayerDraw::kTinted:
        FastBlend::Tinted(rect, draw.tint);
        break;
    }
    command.mImage->mDrawn = true;
    return true;
}

// How each active layer's glyphs are drawn in one DrawStringEx; drawing thread only
// (under RenderCritSec).
LayerDraw sLayerDraws[FontData::kMaxLayers];

// Decides, per active layer, whether its glyphs are blended straight from the sheet.
void ChooseLayerDraws(std::list<ActiveFontLayer>& layers, const DirectTarget& target,
                      const Color* layerColors, int drawMode)
{
    int index = 0;
    for (ActiveFontLayer& active : layers)
    {
        if (index == FontData::kMaxLayers)
            break;
        const int32_t layerMode = active.mBaseFontLayer->mDrawMode;
        const int mode = layerMode != -1 ? layerMode : drawMode;
        const bool direct = target.dest != nullptr && mode == DRAWMODE_NORMAL &&
                            active.mScaledImage != nullptr && active.GlyphBits() != nullptr &&
                            !active.mGlyphBits.empty();
        sLayerDraws[index] = direct ? LayerDraw(active, layerColors[index], target.opaque) : LayerDraw();
        ++index;
    }
}

// Draws the queued glyphs, bucket by bucket.
void DrawQueue(Graphics* g, DirectTarget& target)
{
    const int drawMode = g->GetDrawMode();
    const Color savedColor = g->GetColor();
    bool drewDirect = false;
    for (int bucket = 0; bucket < 256; ++bucket)
    {
        for (RenderCommand* command = gRenderHead[bucket]; command != nullptr; command = command->mNext)
        {
            if (command->mImage == nullptr)
                continue;
            const LayerDraw& draw = sLayerDraws[command->mLayerIndex];
            if (draw.sheet != nullptr)
            {
                drewDirect = DrawGlyphDirect(target, draw, *command) || drewDirect;
                continue;
            }
            g->SetDrawMode(command->mDrawMode != -1 ? command->mDrawMode : drawMode);
            g->SetColor(command->mColor);
            g->DrawImage(command->mImage, command->mX, command->mY, command->mSrcRect);
            g->SetDrawMode(drawMode);
        }
    }
    if (drewDirect)
        target.dest->BitsChanged();
    g->SetColor(savedColor);
}
} // namespace

void ImageFont::DrawStringEx(Graphics* g, int x, int y, const std::string& str, const Color& color,
                             const TRect<int>* /*clipRect*/, std::list<TRect<int>>* drawnAreas, int* width)
{
    RenderLock lock;
    std::fill(std::begin(gRenderHead), std::end(gRenderHead), nullptr);
    std::fill(std::begin(gRenderTail), std::end(gRenderTail), nullptr);
    if (drawnAreas != nullptr)
        drawnAreas->clear();
    if (!mFontData->mInitialized)
    {
        if (width != nullptr)
            *width = 0;
        return;
    }
    Prepare();
    const bool colorize = g->GetColorizeImages();
    g->SetColorizeImages(true);

    // Per layer, the colour depends only on the text colour: work it out once.
    Color layerColors[FontData::kMaxLayers];
    {
        int i = 0;
        for (const ActiveFontLayer& active : mActiveLayerList)
            if (i < FontData::kMaxLayers)
                layerColors[i++] = LayerColor(color, *active.mBaseFontLayer);
    }

    DirectTarget target(g);
    ChooseLayerDraws(mActiveLayerList, target, layerColors, g->GetDrawMode());

    const uint8_t* map = mFontData->mCharMap;
    int64_t curX = x;
    int32_t count = 0;
    for (size_t i = 0; i < str.size() && count < kRenderCommandPoolSize; ++i)
    {
        const uint8_t code = map[static_cast<uint8_t>(str[i])];
        const uint8_t next = i + 1 < str.size() ? map[static_cast<uint8_t>(str[i + 1])] : 0;
        int64_t maxX = curX;
        int layerIndex = 0;
        for (ActiveFontLayer& active : mActiveLayerList)
        {
            if (count == kRenderCommandPoolSize || layerIndex == FontData::kMaxLayers)
                break;
            const FontLayer& layer = *active.mBaseFontLayer;
            const ActiveFontLayer::Glyph& glyph = active.mGlyphs[code];
            const int64_t gx = curX + glyph.mX;
            const int64_t gy = int64_t(y) - glyph.mY;
            const int64_t advance = glyph.mAdvance;
            const int64_t kerning =
                next != 0 && active.mHasKerning
                    ? ScaledLength(layer,
                                   int64_t(layer.mCharData[code].mKerningOffsets[next]) + layer.mSpacing)
                    : 0;

            RenderCommand& command = gRenderCommandPool[count++];
            command.mImage = active.mScaledImage;
            command.mX = Clamp32(gx);
            command.mY = Clamp32(gy);
            command.mSrcRect = active.mScaledCharImageRects[code];
            command.mDrawMode = layer.mDrawMode;
            command.mColor = layerColors[layerIndex];
            command.mNext = nullptr;
            command.mLayerIndex = uint8_t(layerIndex++);
            command.mCharCode = code;

            // A glyph blended straight from the sheet wholly outside the clip draws nothing:
            // it stays out of the buckets, which are then quicker to walk.
            const bool drawsNothing =
                sLayerDraws[command.mLayerIndex].sheet != nullptr &&
                target.Outside(command.mX, command.mY, command.mSrcRect.mWidth, command.mSrcRect.mHeight);
            const int bucket = glyph.mBucket;
            if (!drawsNothing)
            {
                if (gRenderTail[bucket] != nullptr)
                    gRenderTail[bucket]->mNext = &command;
                else
                    gRenderHead[bucket] = &command;
                gRenderTail[bucket] = &command;
            }

            if (drawnAreas != nullptr)
                drawnAreas->push_back(
                    TRect<int>(command.mX, command.mY, command.mSrcRect.mWidth, command.mSrcRect.mHeight));
            maxX = std::max(maxX, curX + advance + kerning);
        }
        curX = maxX;
    }
    if (width != nullptr)
        *width = Clamp32(curX - x);

    DrawQueue(g, target);
    g->SetColorizeImages(colorize);
}

} // namespace Vaxo
