// ScrollbarWidget: a drawn scroll bar, vertical or horizontal: an arrow button at each
// end, a track between them and a thumb whose length shows the page's share of the
// whole.
//
// The value is the first visible unit, kept within 0..max(0, mMaxValue - mPageSize) in
// the caller's units (the list widget counts lines); an arrow step moves it by one, a
// track press by a page, a dragged thumb to where it is dropped. Every change goes to
// the ScrollListener, always as the last thing the bar does, since the listener may
// delete it. The bar and its buttons are disabled exactly while the page is not smaller
// than the maximum. Timings count update ticks. Main thread only.
#pragma once

#include "widgets/ButtonListener.h"
#include "widgets/OwnedWidget.h"
#include "widgets/ScrollListener.h"
#include "widgets/ScrollbuttonWidget.h"
#include "widgets/Widget.h"
#include "widgets/WidgetRef.h"

namespace Vaxo
{

class ScrollbarWidget : public Widget, public ButtonListener
{
public:
    // Arrow buttons with ids 0 (up or left) and 1 (down or right); children of the bar,
    // deleted with it.
    OwnedWidget<ScrollbuttonWidget> mUpButton;
    OwnedWidget<ScrollbuttonWidget> mDownButton;
    // Hide the bar and its buttons while there is nothing to scroll.
    bool mInvisIfNoScroll;
    int mId;
    // Units: the first visible one, how many there are, how many show at once.
    double mValue;
    double mMaxValue;
    double mPageSize;
    bool mHorizontal;
    // A thumb drag is under way; the thumb position and mouse point of its press.
    bool mPressedOnThumb;
    int mThumbPosAtPress;
    int mPressX;
    int mPressY;
    // Track paging: 0 none, 1 towards the start, 2 towards the end; its tick counter.
    int mPagingDir;
    int mPagingTicks;
    // Update ticks of the arrow auto-repeat.
    int mArrowTicks;
    // Mouse position of the last press or drag (plain moves do not change it).
    int mLastMouseX;
    int mLastMouseY;
    // Not owned; must not be null. A listener that is a widget (the list it moves) may be
    // deleted first: the bar then tells nobody.
    BorrowedRef<ScrollListener> mListener;

public:
    ScrollbarWidget(int id, ScrollListener* listener);
    // Removes and deletes its children: the buttons and whatever an owner added.
    ~ScrollbarWidget() override;

    void Update() override;
    void Draw(Graphics* g) override;
    void MouseDown(int x, int y, int clickCount) override;
    void MouseDown(int x, int y, int button, int clickCount) override;
    void MouseUp(int x, int y) override;
    void MouseUp(int x, int y, int button, int clickCount) override;
    void MouseDrag(int x, int y) override;

    virtual void SetInvisIfNoScroll(bool invisIfNoScroll);
    // The next three clamp the value; only SetValue always tells the listener (twice
    // when the value had to be clamped), the others when the clamp moved it.
    virtual void SetMaxValue(double maxValue);
    virtual void SetPageSize(double pageSize);
    virtual void SetValue(double value);
    virtual void SetHorizontal(bool horizontal);
    // Resizes the bar and places its square buttons at the ends.
    virtual void ResizeScrollbar(int x, int y, int width, int height);
    // Within one unit of the end.
    virtual bool AtBottom();
    virtual void GoToBottom();
    virtual void DrawThumb(Graphics* g, int x, int y, int width, int height);
    // Pixels between the buttons.
    virtual int GetTrackSize();
    // In pixels, at least 8; 0 when the page exceeds the maximum.
    virtual int GetThumbSize();
    // Pixels from the bar's start; the track start while there is nothing to scroll.
    virtual int GetThumbPosition();
    // Clamps the value, enables or disables (and shows or hides) the bar, and tells the
    // listener when the value moved.
    virtual void ClampValue();
    // The value that puts the thumb at this pixel position.
    virtual void SetThumbPosition(int position);
    using ButtonListener::ButtonPress;
    void ButtonPress(int id) override;
    void ButtonDepress(int id) override;
    void ButtonDownTick(int id) override;
    // -1 before the thumb, 0 on it, 1 after it (along the bar).
    virtual int ThumbCompare(int x, int y);

private:
    // The buttons that exist (a recursive delete of the tree may have taken them first).
    template <typename F> void ForEachButton(F f);
    // Runs change on part (the bar or one of its buttons; none when a button is gone) as a
    // call-out: enabling, disabling, showing, hiding or resizing re-checks the hover, and
    // its hooks may delete the bar. False when they did.
    template <typename F> bool ChangePart(Widget* part, F change);
    // The bar, the down button, the up button; false when the bar was deleted meanwhile.
    bool SetAllVisible(bool visible);
    // The up button's width: the button size along the bar.
    int ButtonSize();
    // The clamp of ClampValue without the listener; moved tells whether the value changed.
    // False when the bar was deleted meanwhile.
    bool Clamp(bool& moved);
    // Tells the listener the bar's current value, times times, while the bar and the
    // listener live.
    void TellListener(int times);
    // After the maximum or the page size changed: clamp, redraw, tell when the value moved.
    void RangeChanged();
    // One arrow step (-1 or 1) or page step (-page or page).
    void Step(double delta);
};

} // namespace Vaxo
