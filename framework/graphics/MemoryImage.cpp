// MemoryImage: life cycle, pixel forms and the caches built from them.
#include "graphics/MemoryImage.h"

#include "graphics/GraphicsApp.h"
#include "graphics/ImageHelpers.h"
#include "graphics/NativeDisplay.h"
#include "graphics/MemoryImagePixels.h"
#include "graphics/X3DInterface.h"
#include "graphics/gl/TextureData.h"

#include <cstring>

namespace Vaxo
{

static_assert(sizeof(uint32_t) == 4, "pixel words are 32 bits");

namespace
{

// A size Create and SetBits accept: not negative and at most kMaxPixels pixels.
bool IsValidSize(int width, int height)
{
    return width >= 0 && height >= 0 && int64_t(width) * int64_t(height) <= MemoryImage::kMaxPixels;
}

template <class T> void FreeArray(T*& p)
{
    delete[] p;
    p = nullptr;
}

template <class T> T* CopyArray(const T* src, size_t count)
{
    if (src == nullptr)
        return nullptr;
    T* out = new T[count == 0 ? 1 : count];
    if (count != 0)
        std::memcpy(out, src, count * sizeof(T));
    return out;
}

// Fills one byte per pixel: how many pixels from it to the end of its run (pixels of one
// class, within the row), itself included, capped at 255. classOf(i) gives the class of
// pixel i.
template <class ClassOf> void BuildRunLengths(uint8_t* out, int32_t width, int32_t height, ClassOf classOf)
{
    for (int32_t y = 0; y < height; ++y)
    {
        const size_t row = size_t(y) * size_t(width);
        int32_t run = 0;
        int nextClass = -1;
        for (int32_t x = width - 1; x >= 0; --x)
        {
            const int c = classOf(row + size_t(x));
            run = (c == nextClass) ? run + 1 : 1;
            nextClass = c;
            out[row + size_t(x)] = static_cast<uint8_t>(run > 255 ? 255 : run);
        }
    }
}

inline int AlphaClass(uint32_t pixel)
{
    const uint32_t a = pixel >> 24;
    return a == 0 ? 0 : (a == 255 ? 1 : 2);
}

} // namespace

MemoryImage::MemoryImage() : MemoryImage(gGraphicsApp) {}

MemoryImage::MemoryImage(GraphicsApp* app)
{
    mApp = app;
    Init();
}

void MemoryImage::Init()
{
    mBits = nullptr;
    mBitsChangedCount = 0;
    m3DData = nullptr;
    m3DFlags = 0;
    mPalette = nullptr;
    mPaletteIndices = nullptr;
    mPaletteCount = 0;
    mImageModeForced = false;
    mHasTrans = false;
    mHasAlpha = false;
    mIsVolatile = false;
    mPurgeBits = false;
    mWantPalette = false;
    mNativeAlphaData = nullptr;
    mRLAlphaData = nullptr;
    mRLAdditiveData = nullptr;
    mBitsChanged = false;
    if (mApp != nullptr)
        mApp->AddMemoryImage(this);
}

MemoryImage::MemoryImage(const MemoryImage& other) : Image(other)
{
    mBitsChangedCount = other.mBitsChangedCount;
    m3DData = nullptr;
    m3DFlags = other.m3DFlags;
    mImageModeForced = other.mImageModeForced;
    mHasTrans = other.mHasTrans;
    mHasAlpha = other.mHasAlpha;
    mIsVolatile = other.mIsVolatile;
    mPurgeBits = other.mPurgeBits;
    mWantPalette = other.mWantPalette;
    mBitsChanged = other.mBitsChanged;
    mApp = other.mApp;

    // Rebuilding the source's pixels changes only its caches of them: it is given back
    // exactly as it was below.
    MemoryImage& source = const_cast<MemoryImage&>(other);
    const bool rebuilt = source.mBits == nullptr && source.mPalette == nullptr;
    if (rebuilt)
        source.GetBits();

    const size_t count = PixelCount();
    mBits = nullptr;
    if (source.mBits != nullptr)
    {
        mBits = AllocBits();
        std::memcpy(mBits, source.mBits, count * sizeof(uint32_t));
    }
    mPalette = CopyArray(source.mPalette, 256);
    mPaletteIndices = CopyArray(source.mPaletteIndices, count);
    mPaletteCount = source.mPaletteCount;
    mNativeAlphaData = CopyArray(source.mNativeAlphaData, source.mPalette != nullptr ? 256 : count);
    mRLAlphaData = CopyArray(source.mRLAlphaData, count);
    mRLAdditiveData = CopyArray(source.mRLAdditiveData, count);

    if (rebuilt)
        FreeArray(source.mBits);
    if (mApp != nullptr)
        mApp->AddMemoryImage(this);
}

MemoryImage::~MemoryImage()
{
    if (mApp != nullptr)
        mApp->RemoveMemoryImage(this);
    FreeArray(mBits);
    FreeArray(mNativeAlphaData);
    FreeArray(mRLAlphaData);
    FreeArray(mRLAdditiveData);
    FreeArray(mPaletteIndices);
    FreeArray(mPalette);
}

uint32_t* MemoryImage::AllocBits() const
{
    const size_t count = PixelCount();
    uint32_t* bits = new uint32_t[count + 1];
    bits[count] = kGuardWord;
    return bits;
}

NativeDisplay* MemoryImage::AppDisplay() const
{
    return mApp != nullptr ? mApp->mDisplay : nullptr;
}

void MemoryImage::FreePaletteForm()
{
    FreeArray(mPaletteIndices);
    FreeArray(mPalette);
    mPaletteCount = 0;
    // With no palette form the native data would be read as a whole image; the
    // 256-entry palette table must not outlive the palette.
    FreeArray(mNativeAlphaData);
}

uint32_t* MemoryImage::GetBits()
{
    if (mBits != nullptr)
        return mBits;
    const size_t count = PixelCount();
    mBits = AllocBits();

    if (HasPaletteForm())
    {
        for (size_t i = 0; i < count; ++i)
            mBits[i] = mPalette[mPaletteIndices[i]];
        FreePaletteForm();
        return mBits;
    }
    NativeDisplay* display = AppDisplay();
    if (mNativeAlphaData != nullptr && display != nullptr)
    {
        const PixelFormat format(*display);
        for (size_t i = 0; i < count; ++i)
            mBits[i] = format.FromNative(mNativeAlphaData[i]);
        return mBits;
    }
    if (m3DData != nullptr && display != nullptr && display->m3DInterface != nullptr &&
        display->m3DInterface->RecoverBits(this))
        return mBits;
    std::memset(mBits, 0, count * sizeof(uint32_t));
    return mBits;
}

void MemoryImage::BitsChanged()
{
    mBitsChanged = true;
    mBitsChangedCount = static_cast<int32_t>(static_cast<uint32_t>(mBitsChangedCount) + 1u);
    FreeArray(mNativeAlphaData);
    FreeArray(mRLAlphaData);
    FreeArray(mRLAdditiveData);
}

void MemoryImage::CommitBits()
{
    if (!mBitsChanged || mImageModeForced)
        return;
    if (mBits != nullptr)
    {
        mHasTrans = false;
        mHasAlpha = false;
        const size_t count = PixelCount();
        for (size_t i = 0; i < count; ++i)
        {
            const uint32_t a = mBits[i] >> 24;
            if (a == 0)
                mHasTrans = true;
            else if (a != 255)
                mHasAlpha = true;
        }
    }
    else if (HasPaletteForm())
    {
        mHasTrans = false;
        mHasAlpha = false;
        // Entries past the colour count are not colours of the image.
        const int32_t used = mPaletteCount < 0 ? 0 : (mPaletteCount > 256 ? 256 : mPaletteCount);
        for (int32_t i = 0; i < used; ++i)
        {
            const uint32_t a = mPalette[i] >> 24;
            if (a == 0)
                mHasTrans = true;
            else if (a != 255)
                mHasAlpha = true;
        }
    }
    else
    {
        mHasAlpha = false;
        mHasTrans = true;
    }
    mBitsChanged = false;
}

void MemoryImage::SetImageMode(bool hasTrans, bool hasAlpha)
{
    mHasTrans = hasTrans;
    mHasAlpha = hasAlpha;
    mImageModeForced = true;
}

void MemoryImage::SetVolatile(bool isVolatile)
{
    mIsVolatile = isVolatile;
}

void MemoryImage::Create(int width, int height)
{
    FreeArray(mBits);
    FreePaletteForm();
    if (!IsValidSize(width, height))
        width = height = 0;
    mWidth = width;
    mHeight = height;
    mHasTrans = true;
    mHasAlpha = true;
    BitsChanged();
}

void MemoryImage::SetBits(const uint32_t* bits, int width, int height, bool commit)
{
    if (bits == mBits)
        return;
    FreePaletteForm();
    if (!IsValidSize(width, height) || bits == nullptr)
        width = height = 0;
    // A missing pixel array (after Create, Palletize or PurgeBits) needs one as much
    // as a new size does.
    uint32_t* old = nullptr;
    if (width != mWidth || height != mHeight || mBits == nullptr)
    {
        // bits may point into the old array (a crop of the image itself): it goes only
        // after the copy.
        old = mBits;
        mWidth = width;
        mHeight = height;
        mBits = AllocBits();
    }
    // A reused array keeps the guard word it was made with (AllocBits writes it).
    const size_t count = PixelCount();
    if (count != 0)
        std::memmove(mBits, bits, count * sizeof(uint32_t));
    FreeArray(old);
    BitsChanged();
    if (commit)
        CommitBits();
}

void MemoryImage::Clear()
{
    uint32_t* bits = GetBits();
    if (bits == nullptr)
        return;
    std::memset(bits, 0, PixelCount() * sizeof(uint32_t));
    BitsChanged();
}

uint32_t* MemoryImage::GetNativeAlphaData(NativeDisplay* display)
{
    if (mNativeAlphaData != nullptr)
        return mNativeAlphaData;
    if (display == nullptr)
        return nullptr;
    CommitBits();
    const PixelFormat format(*display);
    if (HasPaletteForm())
    {
        uint32_t* table = new uint32_t[256];
        for (int i = 0; i < 256; ++i)
            table[i] = format.ToNative(mPalette[i]);
        mNativeAlphaData = table;
        return mNativeAlphaData;
    }
    const uint32_t* bits = GetBits();
    if (bits == nullptr)
        return nullptr;
    const size_t count = PixelCount();
    uint32_t* data = new uint32_t[count == 0 ? 1 : count];
    for (size_t i = 0; i < count; ++i)
        data[i] = format.ToNative(bits[i]);
    mNativeAlphaData = data;
    return mNativeAlphaData;
}

uint8_t* MemoryImage::GetRLAlphaData()
{
    CommitBits();
    if (mRLAlphaData != nullptr)
        return mRLAlphaData;
    const size_t count = PixelCount();
    const uint32_t* palette = mPalette;
    const uint8_t* indices = mPaletteIndices;
    const uint32_t* words = nullptr;
    if (!HasPaletteForm())
    {
        // Native words keep the alpha in their top byte as the pixels do.
        words = mNativeAlphaData != nullptr ? mNativeAlphaData : GetBits();
        if (words == nullptr)
            return nullptr;
    }
    uint8_t* data = new uint8_t[count == 0 ? 1 : count];
    if (words == nullptr)
        BuildRunLengths(data, mWidth, mHeight, [&](size_t i) { return AlphaClass(palette[indices[i]]); });
    else
        BuildRunLengths(data, mWidth, mHeight, [&](size_t i) { return AlphaClass(words[i]); });
    mRLAlphaData = data;
    return mRLAlphaData;
}

uint8_t* MemoryImage::GetRLAdditiveData(NativeDisplay* display)
{
    if (mRLAdditiveData != nullptr)
        return mRLAdditiveData;
    const uint32_t* native = GetNativeAlphaData(display);
    if (native == nullptr)
        return nullptr;
    const size_t count = PixelCount();
    uint8_t* data = new uint8_t[count == 0 ? 1 : count];
    const uint8_t* indices = mPaletteIndices;
    if (HasPaletteForm())
        BuildRunLengths(data, mWidth, mHeight,
                        [&](size_t i) { return (native[indices[i]] & 0xFFFFFFu) == 0 ? 0 : 1; });
    else
        BuildRunLengths(data, mWidth, mHeight,
                        [&](size_t i) { return (native[i] & 0xFFFFFFu) == 0 ? 0 : 1; });
    mRLAdditiveData = data;
    return mRLAdditiveData;
}

void MemoryImage::DeleteSWBuffers()
{
    if (mBits == nullptr && mPaletteIndices == nullptr)
        GetBits();
    FreeArray(mNativeAlphaData);
    FreeArray(mRLAdditiveData);
    FreeArray(mRLAlphaData);
}

void MemoryImage::DeleteNativeData()
{
    if (mBits == nullptr && mPaletteIndices == nullptr)
        GetBits();
    FreeArray(mNativeAlphaData);
    FreeArray(mRLAdditiveData);
}

void MemoryImage::Delete3DBuffers()
{
    if (mApp != nullptr)
        mApp->Remove3DData(this);
}

void MemoryImage::DeleteExtraBuffers()
{
    DeleteSWBuffers();
    Delete3DBuffers();
}

void MemoryImage::PurgeBits()
{
    mPurgeBits = true;
    const bool is3D = mApp != nullptr && mApp->mDisplay != nullptr && mApp->Is3DAccelerated();
    if (!is3D)
    {
        if (mBits == nullptr && mPaletteIndices == nullptr)
            return;
        // Without a display there is nowhere else to keep the pixels.
        if (GetNativeAlphaData(AppDisplay()) == nullptr)
            return;
    }
    else if (m3DData == nullptr || !m3DData->IsCurrentFor(this))
        return; // the textures miss changes made since they were filled
    FreeArray(mBits);
    if (m3DData != nullptr)
        FreePaletteForm();
}

bool MemoryImage::Palletize()
{
    CommitBits();
    if (mPalette != nullptr)
        return true;
    if (GetBits() == nullptr)
        return false;
    const size_t count = PixelCount();
    mPaletteIndices = new uint8_t[count == 0 ? 1 : count];
    mPalette = new uint32_t[256]();
    int32_t colors = 0;
    if (Quantize8Bit(mBits, mWidth, mHeight, mPaletteIndices, mPalette, &colors))
    {
        mPaletteCount = colors;
        FreeArray(mBits);
        FreeArray(mNativeAlphaData);
        mWantPalette = true;
        return true;
    }
    FreeArray(mPaletteIndices);
    FreeArray(mPalette);
    mPaletteCount = 0;
    mWantPalette = false;
    return false;
}

void MemoryImage::ReInit()
{
    if (mWantPalette)
        Palletize();
    if (mPurgeBits)
        PurgeBits();
}

bool MemoryImage::Recover3DBits()
{
    NativeDisplay* display = AppDisplay();
    if (m3DData == nullptr || display == nullptr || display->m3DInterface == nullptr)
        return false;
    return display->m3DInterface->RecoverBits(this);
}

} // namespace Vaxo
