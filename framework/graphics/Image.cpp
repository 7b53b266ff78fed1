#include "graphics/Image.h"

#include "graphics/Graphics.h"

#include <algorithm>
#include <limits>

namespace Vaxo
{

namespace
{
// Sums of delays from a manifest may exceed an int; they saturate instead.
int32_t ClampToInt32(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
} // namespace

// ---- AnimInfo --------------------------------------------------------------------------

AnimInfo::AnimInfo() : mAnimType(AnimType_None), mFrameDelay(1), mNumCels(1), mTotalAnimTime(0) {}

void AnimInfo::SetPerFrameDelay(int frame, int delay)
{
    if (frame < 0 || frame >= kMaxFrames)
        return;
    if (mPerFrameDelay.size() < static_cast<size_t>(frame) + 1)
        mPerFrameDelay.resize(static_cast<size_t>(frame) + 1, 0);
    mPerFrameDelay[frame] = delay;
}

void AnimInfo::Compute(int numCels, int beginFrameTime, int endFrameTime)
{
    mNumCels = std::min(std::max(numCels, 1), static_cast<int>(kMaxFrames));
    if (mFrameDelay < 1)
        mFrameDelay = 1;

    if (mAnimType == AnimType_PingPong && mNumCels > 1)
    {
        // Out and back without repeating the end cels: 0 1 2 3 2 1.
        mFrameMap.clear();
        for (int i = 0; i < mNumCels; i++)
            mFrameMap.push_back(i);
        for (int i = mNumCels - 2; i >= 1; i--)
            mFrameMap.push_back(i);
    }
    if (mFrameMap.size() > static_cast<size_t>(kMaxFrames))
        mFrameMap.resize(kMaxFrames);
    if (!mFrameMap.empty())
        mNumCels = static_cast<int32_t>(mFrameMap.size());

    if (beginFrameTime > 0)
        SetPerFrameDelay(0, beginFrameTime);
    if (endFrameTime > 0)
        SetPerFrameDelay(mNumCels - 1, endFrameTime);

    if (!mPerFrameDelay.empty())
    {
        mPerFrameDelay.resize(mNumCels, 0);
        int64_t total = 0;
        for (int32_t& delay : mPerFrameDelay)
        {
            if (delay < 1)
                delay = mFrameDelay;
            total += delay;
        }
        mTotalAnimTime = ClampToInt32(total);
    }
    else
    {
        mTotalAnimTime = ClampToInt32(static_cast<int64_t>(mFrameDelay) * mNumCels);
    }

    if (!mFrameMap.empty())
        mFrameMap.resize(mNumCels);
}

int AnimInfo::GetPerFrameCel(int time) const
{
    int64_t remaining = time;
    size_t frames = std::min(mPerFrameDelay.size(), static_cast<size_t>(std::max(mNumCels, 1)));
    for (size_t i = 0; i < frames; i++)
    {
        remaining -= mPerFrameDelay[i];
        if (remaining < 0)
            return static_cast<int>(i);
    }
    return std::max(mNumCels, 1) - 1;
}

int AnimInfo::FrameToCel(int frame) const
{
    if (!mFrameMap.empty() && frame >= 0 && static_cast<size_t>(frame) < mFrameMap.size())
        return mFrameMap[frame];
    return frame;
}

int AnimInfo::GetCel(int time) const
{
    // Not computed yet, or nothing to time: the first cel.
    if (mTotalAnimTime <= 0 || mNumCels < 1)
        return 0;

    if (mAnimType == AnimType_Once && time >= mTotalAnimTime)
    {
        if (!mFrameMap.empty())
            return mFrameMap.back();
        return mNumCels - 1;
    }

    // A negative time (a timer that started early) counts back from the end of a pass
    // instead of yielding a negative frame.
    int t = time % mTotalAnimTime;
    if (t < 0)
        t += mTotalAnimTime;

    int frame;
    if (mPerFrameDelay.empty())
        frame = (t / std::max(mFrameDelay, 1)) % mNumCels;
    else
        frame = GetPerFrameCel(t);
    return FrameToCel(frame);
}

// ---- Image -----------------------------------------------------------------------------

Image::Image() : mDrawn(false), mWidth(0), mHeight(0), mNumRows(1), mNumCols(1) {}

Image::Image(const Image& other)
    : mDrawn(false), mWidth(other.mWidth), mHeight(other.mHeight), mNumRows(other.mNumRows),
      mNumCols(other.mNumCols)
{
    if (other.mAnimInfo)
        mAnimInfo.reset(new AnimInfo(*other.mAnimInfo));
}

Image::~Image() = default;

bool Image::PolyFill3D(const TPoint<int>*, int, const TRect<int>*, const Color&, int, int, int, bool)
{
    return false;
}

void Image::FillRect(const TRect<int>&, const Color&, int) {}

void Image::DrawRect(const TRect<int>& rect, const Color& color, int drawMode)
{
    FillRect(TRect<int>(rect.mX, rect.mY, rect.mWidth + 1, 1), color, drawMode);
    FillRect(TRect<int>(rect.mX, rect.mY + rect.mHeight, rect.mWidth + 1, 1), color, drawMode);
    FillRect(TRect<int>(rect.mX, rect.mY + 1, 1, rect.mHeight - 1), color, drawMode);
    FillRect(TRect<int>(rect.mX + rect.mWidth, rect.mY + 1, 1, rect.mHeight - 1), color, drawMode);
}

void Image::ClearRect(const TRect<int>&) {}

void Image::DrawLine(double, double, double, double, const Color&, int) {}

void Image::DrawLineAA(double, double, double, double, const Color&, int) {}

void Image::FillScanLines(Span* spans, int spanCount, const Color& color, int drawMode)
{
    for (int i = 0; i < spanCount; i++)
        FillRect(TRect<int>(spans[i].mX, spans[i].mY, spans[i].mWidth, 1), color, drawMode);
}

void Image::FillScanLinesWithCoverage(Span*, int, const Color&, int, const unsigned char*, int, int, int, int)
{
}

void Image::Blt(Image*, int, int, const TRect<int>&, const Color&, int) {}

void Image::BltF(Image*, float, float, const TRect<int>&, const TRect<int>&, const Color&, int) {}

void Image::BltRotated(Image*, float, float, const TRect<int>&, const TRect<int>&, const Color&, int, double,
                       float, float)
{
}

void Image::StretchBlt(Image*, const TRect<int>&, const TRect<int>&, const TRect<int>&, const Color&, int,
                       bool)
{
}

void Image::BltMatrix(Image*, float, float, const VaxoMatrix3&, const TRect<int>&, const Color&, int,
                      const TRect<int>&, bool)
{
}

void Image::BltTrianglesTex(Image*, const TriVertex (*)[3], int, const TRect<int>&, const Color&, int, float,
                            float, bool)
{
}

void Image::BltMirror(Image*, int, int, const TRect<int>&, const Color&, int) {}

void Image::StretchBltMirror(Image*, const TRect<int>&, const TRect<int>&, const TRect<int>&, const Color&,
                             int, bool)
{
}

bool Image::Is3D()
{
    return false;
}

int Image::GetCelWidth() const
{
    return mWidth / Cols();
}

int Image::GetCelHeight() const
{
    return mHeight / Rows();
}

int Image::GetNumCels() const
{
    return mNumRows > 1 ? mNumRows : mNumCols;
}

TRect<int> Image::GetCelRect(int cel) const
{
    return GetCelRect(cel % Cols(), cel / Cols());
}

TRect<int> Image::GetCelRect(int column, int row) const
{
    int w = GetCelWidth();
    int h = GetCelHeight();
    return TRect<int>(ClampToInt32(int64_t(column) * w), ClampToInt32(int64_t(row) * h), w, h);
}

int Image::GetAnimCel(int time) const
{
    if (!mAnimInfo)
        return 0;
    return mAnimInfo->GetCel(time);
}

TRect<int> Image::GetAnimCelRect(int time) const
{
    int cel = GetAnimCel(time);
    if (mNumCols > 1)
        return TRect<int>(ClampToInt32(int64_t(cel) * GetCelWidth()), 0, GetCelWidth(), mHeight);
    return TRect<int>(0, ClampToInt32(int64_t(cel) * GetCelHeight()), mWidth, GetCelHeight());
}

void Image::CopyAttributes(Image* other)
{
    if (other == this)
        return;
    mNumRows = other->mNumRows;
    mNumCols = other->mNumCols;
    mAnimInfo.reset();
    if (other->mAnimInfo)
        mAnimInfo.reset(new AnimInfo(*other->mAnimInfo));
}

Graphics* Image::GetGraphics()
{
    return new Graphics(this);
}

} // namespace Vaxo
