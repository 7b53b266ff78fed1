#include "widgets/Slider.h"

#include "app/VaxoAppBase.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "widgets/WidgetMath.h"
#include "widgets/WidgetRef.h"

#include <memory>

namespace Vaxo
{

namespace
{
// NaN counts as below the range.
double ClampToUnit(double value)
{
    if (!(value >= 0.0))
        return 0.0;
    return value > 1.0 ? 1.0 : value;
}
} // namespace

Slider::Slider(Image* trackImage, Image* thumbImage, int id, SliderListener* listener)
    : mListener(listener), mValue(0.0), mId(id), mTrackImage(trackImage), mThumbImage(thumbImage),
      mDragging(false), mGrabX(0), mGrabY(0), mHorizontal(true)
{
}

Slider::~Slider() = default;

int Slider::TrackLength()
{
    return mHorizontal ? mWidth : mHeight;
}

int Slider::ThumbLength()
{
    if (mThumbImage == nullptr)
        return 0;
    return mHorizontal ? mThumbImage->GetWidth() : mThumbImage->GetHeight();
}

int Slider::ThumbPosition()
{
    return TruncateToInt(mValue * (TrackLength() - ThumbLength()));
}

bool Slider::IsOnThumb(int c)
{
    const int p = ThumbPosition();
    return p <= c && c < p + ThumbLength();
}

void Slider::SetCursor(int cursor)
{
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->SetCursor(cursor);
}

bool Slider::HasTransparencies()
{
    return true;
}

void Slider::SetValue(double value)
{
    mValue = ClampToUnit(value);
    MarkDirtyFull();
}

void Slider::MouseDown(int x, int y, int clickCount)
{
    (void)clickCount;
    const int c = mHorizontal ? x : y;
    if (IsOnThumb(c))
    {
        SetCursor(CURSOR_DRAGGING);
        (mHorizontal ? mGrabX : mGrabY) = c - ThumbPosition();
        mDragging = true;
    }
    else if (TrackLength() > 0)
    {
        // A jump to the clicked fraction of the whole length; reported on the release.
        SetValue(double(c) / TrackLength());
    }
}

void Slider::MouseDrag(int x, int y)
{
    // A thumb that fills the track has nowhere to go.
    const int freeLength = TrackLength() - ThumbLength();
    if (!mDragging || freeLength <= 0)
        return;
    const int c = mHorizontal ? x : y;
    const int grab = mHorizontal ? mGrabX : mGrabY;
    const double value = ClampToUnit(double(c - grab) / freeLength);
    if (value == mValue)
        return;
    mValue = value;
    MarkDirtyFull();
    CallOut(this, [&] { mListener->SliderVal(mId, value); });
}

void Slider::MouseUp(int x, int y)
{
    (void)x;
    (void)y;
    mDragging = false;
    SetCursor(CURSOR_POINTER);
    CallOut(this, [&] { mListener->SliderVal(mId, mValue); });
}

void Slider::MouseMove(int x, int y)
{
    SetCursor(IsOnThumb(mHorizontal ? x : y) ? CURSOR_DRAGGING : CURSOR_POINTER);
}

void Slider::MouseLeave()
{
    if (!mDragging)
        SetCursor(CURSOR_POINTER);
}

void Slider::DrawTrack(Graphics* g)
{
    // Start cap, middle repeated over the inside (clipped to it), end cap.
    const int along = mHorizontal ? mWidth : mHeight;
    const int part = (mHorizontal ? mTrackImage->GetWidth() : mTrackImage->GetHeight()) / 3;
    const int across = mHorizontal ? mTrackImage->GetHeight() : mTrackImage->GetWidth();
    // A track shorter than 3 pixels has empty parts, and nothing to repeat.
    if (part <= 0)
        return;
    const int y0 = mHorizontal ? (mHeight - across) / 2 : 0;
    auto partRect = [&](int index)
    {
        return mHorizontal ? TRect<int>(index * part, 0, part, across)
                           : TRect<int>(0, index * part, across, part);
    };
    auto drawPart = [&](Graphics* target, int index, int at)
    {
        if (mHorizontal)
            target->DrawImage(mTrackImage, at, y0, partRect(index));
        else
            target->DrawImage(mTrackImage, 0, at, partRect(index));
    };

    drawPart(g, 0, 0);
    const int middle = along - 2 * part;
    if (middle > 0)
    {
        std::unique_ptr<Graphics> clipped(g->Create());
        if (mHorizontal)
            clipped->ClipRect(part, y0, middle, across);
        else
            clipped->ClipRect(0, part, across, middle);
        const int copies = (middle + part - 1) / part;
        for (int i = 1; i <= copies; ++i)
            drawPart(clipped.get(), 1, i * part);
    }
    drawPart(g, 2, along - part);
}

void Slider::Draw(Graphics* g)
{
    if (mTrackImage != nullptr)
        DrawTrack(g);
    if (mThumbImage != nullptr)
    {
        const int p = ThumbPosition();
        if (mHorizontal)
            g->DrawImage(mThumbImage, p, (mHeight - mThumbImage->GetHeight()) / 2);
        else
            g->DrawImage(mThumbImage, (mWidth - mThumbImage->GetWidth()) / 2, p);
    }
}

} // namespace Vaxo
