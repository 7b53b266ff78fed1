#include "widgets/Widget.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace Vaxo
{

bool Widget::mWriteColoredString = true;

namespace
{

// Sets the context's coloured-string switch for one call and restores it.
class ColoredStringGuard
{
public:
    explicit ColoredStringGuard(Graphics* g) : mGraphics(g), mSaved(g->mWriteColoredString)
    {
        g->mWriteColoredString = Widget::mWriteColoredString;
    }
    ~ColoredStringGuard() { mGraphics->mWriteColoredString = mSaved; }
    ColoredStringGuard(const ColoredStringGuard&) = delete;
    ColoredStringGuard& operator=(const ColoredStringGuard&) = delete;

private:
    Graphics* mGraphics;
    bool mSaved;
};

// Click count to (button, count): 3 is the middle button, negative counts the right one.
void SplitClickCount(int clickCount, int* button, int* count)
{
    if (clickCount == 3)
    {
        *button = 2;
        *count = 1;
    }
    else if (clickCount >= 0)
    {
        *button = 0;
        *count = clickCount;
    }
    else
    {
        *button = 1;
        *count = -clickCount;
    }
}

} // namespace

Widget::Widget()
    : mVisible(true), mMouseVisible(true), mDisabled(false), mHasFocus(false), mIsDown(false), mIsOver(false),
      mHasTransparentParts(false), mShowsFinger(false), mWantsFocus(false), mTabPrev(nullptr),
      mTabNext(nullptr)
{
}

Widget::~Widget()
{
    mColors.clear();
}

void Widget::OrderInManagerChanged() {}

void Widget::SetVisible(bool visible)
{
    if (mVisible == visible)
        return;
    mVisible = visible;
    if (visible)
    {
        // Hiding left the dirty mark set (hidden widgets are not drawn), which would make
        // this mark a no-op and leave the widget undrawn.
        MarkDirtyAgain();
    }
    else
        MarkDirtyFull();
    if (mWidgetManager != nullptr)
        mWidgetManager->RehupMouse();
}

void Widget::SetColors(int (*colors)[3], int count)
{
    mColors.clear();
    for (int i = 0; i < count; ++i)
        SetColor(i, Color(colors[i][0], colors[i][1], colors[i][2]));
    MarkDirty();
}

void Widget::SetColors(int (*colors)[4], int count)
{
    mColors.clear();
    for (int i = 0; i < count; ++i)
        SetColor(i, Color(colors[i][0], colors[i][1], colors[i][2], colors[i][3]));
    MarkDirty();
}

void Widget::SetColor(int index, const Color& color)
{
    if (index < 0)
        return;
    if (size_t(index) >= mColors.size())
        mColors.resize(size_t(index) + 1);
    mColors[size_t(index)] = color;
    MarkDirty();
}

const Color& Widget::GetColor(int index)
{
    static const Color kMissing;
    if (index < 0 || size_t(index) >= mColors.size())
        return kMissing;
    return mColors[size_t(index)];
}

Color Widget::GetColor(int index, const Color& dflt)
{
    if (index < 0 || size_t(index) >= mColors.size())
        return dflt;
    return mColors[size_t(index)];
}

void Widget::SetDisabled(bool disabled)
{
    if (mDisabled == disabled)
        return;
    mDisabled = disabled;
    WidgetManager* manager = mWidgetManager;
    if (disabled && manager != nullptr)
    {
        // Disabling a hovered widget leaves it, and the leave hook's listener may delete it.
        if (!CallOut(this, [&] { manager->DisableWidget(this); }))
            return;
    }
    MarkDirty();
    if (!disabled && manager != nullptr)
    {
        // The resting mouse is in manager coordinates; Contains takes the parent's. The
        // re-check hovers nothing while the mouse is outside the window or another widget
        // is dragged.
        TPoint<int> origin = mParent != nullptr ? mParent->GetAbsPos() : TPoint<int>();
        if (Contains(manager->mLastMouseX - origin.mX, manager->mLastMouseY - origin.mY))
            manager->RehupMouse();
    }
}

void Widget::ShowFinger(bool on)
{
    if (mWidgetManager == nullptr || gVaxoAppBase == nullptr)
        return;
    gVaxoAppBase->SetCursor(on ? CURSOR_HAND : CURSOR_POINTER);
}

void Widget::Resize(int x, int y, int width, int height)
{
    if (mX == x && mY == y && mWidth == width && mHeight == height)
        return;
    MarkDirtyFull();
    mX = x;
    mY = y;
    mWidth = width;
    mHeight = height;
    // The old area left the widget dirty; the new area must still reach the widgets in
    // front of it.
    MarkDirtyAgain();
    if (mWidgetManager != nullptr)
        mWidgetManager->RehupMouse();
}

void Widget::Resize(const TRect<int>& rect)
{
    Resize(rect.mX, rect.mY, rect.mWidth, rect.mHeight);
}

void Widget::Move(int x, int y)
{
    Resize(x, y, mWidth, mHeight);
}

bool Widget::WantsFocus()
{
    return mWantsFocus;
}

void Widget::DrawOverlay(Graphics* g)
{
    (void)g;
}

void Widget::DrawOverlay(Graphics* g, int priority)
{
    (void)priority;
    DrawOverlay(g);
}

void Widget::GotFocus()
{
    mHasFocus = true;
}

void Widget::LostFocus()
{
    mHasFocus = false;
}

void Widget::KeyChar(char c)
{
    (void)c;
}

void Widget::KeyDown(KeyCode key)
{
    if (key != KEYCODE_TAB || mWidgetManager == nullptr)
        return;
    Widget* target = mWidgetManager->mKeyDown[KEYCODE_SHIFT] ? mTabPrev : mTabNext;
    if (target != nullptr)
        mWidgetManager->SetFocus(target);
}

void Widget::KeyUp(KeyCode key)
{
    (void)key;
}

void Widget::MouseEnter() {}

void Widget::MouseLeave() {}

void Widget::MouseMove(int x, int y)
{
    (void)x;
    (void)y;
}

void Widget::MouseDown(int x, int y, int clickCount)
{
    int button = 0;
    int count = 0;
    SplitClickCount(clickCount, &button, &count);
    MouseDown(x, y, button, count);
}

void Widget::MouseDown(int x, int y, int button, int count)
{
    (void)x;
    (void)y;
    (void)button;
    (void)count;
}

void Widget::MouseUp(int x, int y)
{
    (void)x;
    (void)y;
}

void Widget::MouseUp(int x, int y, int clickCount)
{
    // The first form may tell a listener, which may delete the widget.
    if (!CallOut(this, [&] { MouseUp(x, y); }))
        return;
    int button = 0;
    int count = 0;
    SplitClickCount(clickCount, &button, &count);
    MouseUp(x, y, button, count);
}

void Widget::MouseUp(int x, int y, int button, int count)
{
    (void)x;
    (void)y;
    (void)button;
    (void)count;
}

void Widget::MouseDrag(int x, int y)
{
    (void)x;
    (void)y;
}

void Widget::MouseWheel(int delta)
{
    (void)delta;
}

bool Widget::IsPointVisible(int x, int y)
{
    (void)x;
    (void)y;
    return true;
}

TRect<int> Widget::WriteCenteredLine(Graphics* g, int y, const VaxoString& text)
{
    Font* font = g->GetFont();
    if (font == nullptr)
        return TRect<int>();
    const int width = font->StringWidth(text);
    const int x = (mWidth - width) / 2;
    g->DrawString(text, x, y);
    return TRect<int>(x, y - font->GetAscent(), width, font->GetHeight());
}

TRect<int> Widget::WriteCenteredLine(Graphics* g, int y, const VaxoString& text, Color textColor,
                                     Color shadowColor, const TPoint<int>& shadowOffset)
{
    Font* font = g->GetFont();
    if (font == nullptr)
        return TRect<int>();
    const int width = font->StringWidth(text);
    const int x = (mWidth - width) / 2;
    g->SetColor(shadowColor);
    g->DrawString(text, x + shadowOffset.mX, y + shadowOffset.mY);
    g->SetColor(textColor);
    g->DrawString(text, x, y);
    return TRect<int>(x + std::min(shadowOffset.mX, 0), y - font->GetAscent() + std::min(shadowOffset.mY, 0),
                      width + std::abs(shadowOffset.mX), font->GetHeight() + std::abs(shadowOffset.mY));
}

int Widget::WriteString(Graphics* g, const VaxoString& text, int x, int y, int width, int justification,
                        bool draw, int offset, int length)
{
    ColoredStringGuard guard(g);
    return g->WriteString(text, x, y, width, justification, draw, offset, length, -1);
}

int Widget::WriteWordWrapped(Graphics* g, const TRect<int>& rect, const VaxoString& text, int lineSpacing,
                             int justification)
{
    ColoredStringGuard guard(g);
    return g->WriteWordWrapped(rect, text, lineSpacing, justification, nullptr, -1, nullptr);
}

int Widget::GetWordWrappedHeight(Graphics* g, int width, const VaxoString& text, int lineSpacing)
{
    return g->GetWordWrappedHeight(width, text, lineSpacing, nullptr);
}

int Widget::GetNumDigits(int n)
{
    // 64-bit powers of ten, so that numbers past 999,999,999 count 10 digits.
    int digits = 1;
    for (int64_t power = 10; power <= n; power *= 10)
        ++digits;
    return digits;
}

void Widget::WriteNumberFromStrip(Graphics* g, int number, int x, int y, Image* strip, int spacing)
{
    if (strip == nullptr || number < 0)
        return;
    const int digitWidth = strip->GetWidth() / 10;
    const int stripHeight = strip->GetHeight();
    int64_t divisor = 1;
    for (int i = 1; i < GetNumDigits(number); ++i)
        divisor *= 10;
    for (; divisor > 0; divisor /= 10)
    {
        const int digit = int((number / divisor) % 10);
        std::unique_ptr<Graphics> digitGraphics(g->Create());
        digitGraphics->ClipRect(x, y, digitWidth, stripHeight);
        digitGraphics->DrawImage(strip, x - digit * digitWidth, y);
        x += digitWidth + spacing;
    }
}

bool Widget::Contains(int x, int y)
{
    return GetRect().Contains(x, y);
}

TRect<int> Widget::GetInsetRect()
{
    return TRect<int>(mX + mInsets.mLeft, mY + mInsets.mTop, mWidth - mInsets.mLeft - mInsets.mRight,
                      mHeight - mInsets.mTop - mInsets.mBottom);
}

void Widget::Update()
{
    WidgetContainer::Update();
}

void Widget::UpdateF(float fraction)
{
    (void)fraction;
}

void Widget::Draw(Graphics* g)
{
    (void)g;
}

void Widget::DeferOverlay(int priority)
{
    if (mWidgetManager != nullptr)
        mWidgetManager->DeferOverlay(this, priority);
}

void Widget::WidgetRemovedHelper()
{
    if (mWidgetManager == nullptr || mLeavingManager)
        return;
    WidgetManager* manager = mWidgetManager;
    mLeavingManager = true;
    // The hooks below may delete this widget (the manager then forgets it, unheard, and
    // the parent, in whose list it stays until then, draws all of itself again: the
    // widget's area and what it covers are not known any more) or children not reached
    // yet.
    const CallOutScope self(this);
    const WidgetRef<WidgetContainer> parent(mParent);
    auto deleted = [&]
    {
        if (!self.Gone())
            return false;
        manager->ForgetDeletedWidget(this);
        if (parent)
            parent->MarkAllDirty();
        return true;
    };

    for (const WidgetRef<Widget>& child : ChildRefs(this))
    {
        // Once this widget is deleted its children are left without a parent: they leave
        // the manager all the same.
        if (child && child->mParent == (self.Gone() ? nullptr : this))
            child->WidgetRemovedHelper();
    }
    if (deleted())
        return;
    manager->DisableWidget(this);
    if (deleted())
        return;
    manager->ForgetInModalLayers(this);
    RemovedFromManager(manager);
    if (deleted())
        return;
    MarkDirtyFull();
    mWidgetManager = nullptr;

    // The hooks above may have taken the focus or the hover again while the widget was
    // still attached, and pushed a modal layer remembering that focus; a detached widget
    // keeps none of them.
    if (manager->mFocusWidget == this || manager->mHoverWidget == this || manager->mCaptureWidget == this ||
        manager->mBaseModalWidget == this)
        manager->DisableWidget(this);
    if (deleted())
        return;
    manager->ForgetInModalLayers(this);
    manager->ForgetDeferredOverlays(this);
    if (manager->mDefaultTabWidget == this)
        manager->mDefaultTabWidget = nullptr;
    mLeavingManager = false;
}

void Widget::Layout(int flags, Widget* rel, int leftPad, int topPad, int widthPad, int heightPad)
{
    if (rel == nullptr)
        return;
    const bool relIsParent = static_cast<WidgetContainer*>(rel) == mParent;
    const int relLeft = relIsParent ? 0 : rel->mX;
    const int relTop = relIsParent ? 0 : rel->mY;
    const int relWidth = rel->mWidth;
    const int relHeight = rel->mHeight;
    const int relRight = relLeft + relWidth;
    const int relBottom = relTop + relHeight;

    int x = mX;
    int y = mY;
    int w = mWidth;
    int h = mHeight;
    for (int bit = 1; bit <= LAYOUT_CENTER_Y; bit <<= 1)
    {
        switch (flags & bit)
        {
        case LAYOUT_SAME_WIDTH:
            w = relWidth + widthPad;
            break;
        case LAYOUT_SAME_HEIGHT:
            h = relHeight + heightPad;
            break;
        case LAYOUT_SET_LEFT:
            x = leftPad;
            break;
        case LAYOUT_SET_TOP:
            y = topPad;
            break;
        case LAYOUT_SET_WIDTH:
            w = widthPad;
            break;
        case LAYOUT_SET_HEIGHT:
            h = heightPad;
            break;
        case LAYOUT_ABOVE:
            y = relTop - h + topPad;
            break;
        case LAYOUT_BELOW:
            y = relBottom + topPad;
            break;
        case LAYOUT_RIGHT_OF:
            x = relRight + leftPad;
            break;
        case LAYOUT_LEFT_OF:
            x = relLeft - w + leftPad;
            break;
        case LAYOUT_ALIGN_LEFT:
            x = relLeft + leftPad;
            break;
        case LAYOUT_ALIGN_RIGHT:
            x = relRight - w + leftPad;
            break;
        case LAYOUT_ALIGN_TOP:
            y = relTop + topPad;
            break;
        case LAYOUT_ALIGN_BOTTOM:
            y = relBottom - h + topPad;
            break;
        case LAYOUT_GROW_RIGHT:
            w = relRight - x + widthPad;
            break;
        case LAYOUT_GROW_LEFT:
            w = relLeft - x + widthPad;
            break;
        case LAYOUT_GROW_TOP:
            h = relTop - y + heightPad;
            break;
        case LAYOUT_GROW_BOTTOM:
            h = relBottom - y + heightPad;
            break;
        case LAYOUT_CENTER_X:
            x = relLeft + (relWidth - w) / 2 + leftPad;
            break;
        case LAYOUT_CENTER_Y:
            y = relTop + (relHeight - h) / 2 + topPad;
            break;
        default:
            break;
        }
    }
    Resize(x, y, w, h);
}

} // namespace Vaxo
