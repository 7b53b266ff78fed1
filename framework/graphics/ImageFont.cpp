#include "graphics/ImageFont.h"

#include "common/Common.h"
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImage.h"

#include <SDL_mutex.h>

#include <algorithm>
#include <limits>

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

ActiveFontLayer::ActiveFontLayer() : mBaseFontLayer(nullptr), mScaledImage(nullptr), mOwnsImage(false) {}

ActiveFontLayer::ActiveFontLayer(const ActiveFontLayer& other)
    : mBaseFontLayer(nullptr), mScaledImage(nullptr), mOwnsImage(false)
{
    CopyFrom(other);
}

ActiveFontLayer::ActiveFontLayer(ActiveFontLayer&& other) noexcept
    : mBaseFontLayer(other.mBaseFontLayer), mScaledImage(other.mScaledImage), mOwnsImage(other.mOwnsImage)
{
    std::copy(std::begin(other.mScaledCharImageRects), std::end(other.mScaledCharImageRects),
              std::begin(mScaledCharImageRects));
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
        std::copy(std::begin(other.mScaledCharImageRects), std::end(other.mScaledCharImageRects),
                  std::begin(mScaledCharImageRects));
        other.mScaledImage = nullptr;
        other.mOwnsImage = false;
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
}

void ActiveFontLayer::CopyFrom(const ActiveFontLayer& other)
{
    mBaseFontLayer = other.mBaseFontLayer;
    std::copy(std::begin(other.mScaledCharImageRects), std::end(other.mScaledCharImageRects),
              std::begin(mScaledCharImageRects));
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

int ImageFont::CharWidthKern(char c, char prev)
{
    Prepare();
    const uint8_t code = mFontData->mCharMap[static_cast<uint8_t>(c)];
    const uint8_t prevCode = prev != 0 ? mFontData->mCharMap[static_cast<uint8_t>(prev)] : 0;
    int64_t result = 0;
    for (const ActiveFontLayer& active : mActiveLayerList)
    {
        const FontLayer& layer = *active.mBaseFontLayer;
        const int64_t advance = ScaledLength(layer, layer.mCharData[code].mWidth);
        int64_t kerning = 0;
        if (prevCode != 0)
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

    const uint8_t* map = mFontData->mCharMap;
    int64_t curX = x;
    int32_t count = 0;
    for (size_t i = 0; i < str.size() && count < kRenderCommandPoolSize; ++i)
    {
        const uint8_t code = map[static_cast<uint8_t>(str[i])];
        const uint8_t next = i + 1 < str.size() ? map[static_cast<uint8_t>(str[i + 1])] : 0;
        int64_t maxX = curX;
        int layerIndex = 0;
        for (const ActiveFontLayer& active : mActiveLayerList)
        {
            if (count == kRenderCommandPoolSize || layerIndex == FontData::kMaxLayers)
                break;
            const FontLayer& layer = *active.mBaseFontLayer;
            const CharData& cd = layer.mCharData[code];
            const int64_t gx = curX + ScaledLength(layer, int64_t(layer.mOffset.mX) + cd.mOffset.mX);
            const int64_t gy =
                int64_t(y) - ScaledLength(layer, int64_t(layer.mAscent) - layer.mOffset.mY - cd.mOffset.mY);
            const int64_t advance = ScaledLength(layer, cd.mWidth);
            const int64_t kerning =
                next != 0 ? ScaledLength(layer, int64_t(cd.mKerningOffsets[next]) + layer.mSpacing) : 0;

            RenderCommand& command = gRenderCommandPool[count++];
            command.mImage = active.mScaledImage;
            command.mX = Clamp32(gx);
            command.mY = Clamp32(gy);
            command.mSrcRect = active.mScaledCharImageRects[code];
            command.mDrawMode = layer.mDrawMode;
            command.mColor = layerColors[layerIndex++];
            command.mNext = nullptr;

            const int bucket = int(
                std::max<int64_t>(0, std::min<int64_t>(255, int64_t(layer.mBaseOrder) + cd.mOrder + 128)));
            if (gRenderTail[bucket] != nullptr)
                gRenderTail[bucket]->mNext = &command;
            else
                gRenderHead[bucket] = &command;
            gRenderTail[bucket] = &command;

            if (drawnAreas != nullptr)
                drawnAreas->push_back(
                    TRect<int>(command.mX, command.mY, command.mSrcRect.mWidth, command.mSrcRect.mHeight));
            maxX = std::max(maxX, curX + advance + kerning);
        }
        curX = maxX;
    }
    if (width != nullptr)
        *width = Clamp32(curX - x);

    const Color savedColor = g->GetColor();
    for (int bucket = 0; bucket < 256; ++bucket)
    {
        for (RenderCommand* command = gRenderHead[bucket]; command != nullptr; command = command->mNext)
        {
            const int drawMode = g->GetDrawMode();
            if (command->mDrawMode != -1)
                g->SetDrawMode(command->mDrawMode);
            g->SetColor(command->mColor);
            if (command->mImage != nullptr)
                g->DrawImage(command->mImage, command->mX, command->mY, command->mSrcRect);
            g->SetDrawMode(drawMode);
        }
    }
    g->SetColor(savedColor);
    g->SetColorizeImages(colorize);
}

} // namespace Vaxo
