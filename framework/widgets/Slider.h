// Slider: a value from 0 to 1 shown as a thumb on a track, set by dragging the thumb or
// clicking the track. The track image is three equal parts (start cap, repeating middle,
// end cap). Its SliderListener hears every value a drag produces and the final value on
// every release, each as the last thing the handler does. Main thread only.
#pragma once

#include "widgets/SliderListener.h"
#include "widgets/Widget.h"

namespace Vaxo
{

class Image;

class Slider : public Widget
{
public:
    // Not owned; must not be null.
    SliderListener* mListener;
    // Always within 0..1.
    double mValue;
    int mId;
    // Not owned.
    Image* mTrackImage;
    Image* mThumbImage;
    // The thumb is held.
    bool mDragging;
    // Where inside the thumb it was grabbed, in pixels (x horizontal, y vertical).
    int mGrabX;
    int mGrabY;
    bool mHorizontal;

public:
    Slider(Image* trackImage, Image* thumbImage, int id, SliderListener* listener);
    ~Slider() override;

    void Draw(Graphics* g) override;
    void MouseLeave() override;
    void MouseMove(int x, int y) override;
    // Every button: the three-argument form receives them all.
    void MouseDown(int x, int y, int clickCount) override;
    using Widget::MouseUp;
    void MouseUp(int x, int y) override;
    void MouseDrag(int x, int y) override;

    // Clamps to 0..1 and redraws; the listener is not told.
    virtual void SetValue(double value);
    virtual bool HasTransparencies();

private:
    // Lengths along the track, in pixels: the widget's, the thumb's, and the thumb's
    // leading edge.
    int TrackLength();
    int ThumbLength();
    int ThumbPosition();
    bool IsOnThumb(int c);
    void SetCursor(int cursor);
    void DrawTrack(Graphics* g);
};

} // namespace Vaxo
