#include "widgets/WidgetManager.h"

#include "app/VaxoAppBase.h"
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeImage.h"
#include "widgets/Widget.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{

// The point in the widget's own coordinates: the one rule for every position the
// manager hands a widget.
TPoint<int> LocalPoint(Widget* widget, int x, int y)
{
    return TPoint<int>(x, y) - widget->GetAbsPos();
}

// One window coordinate mapped onto the logical axis, in 64 bits so that a far-off
// point cannot overflow; an empty window axis leaves the value as it is.
int RemapAxis(int value, int windowStart, int windowSize, int logicalStart, int logicalSize)
{
    if (windowSize <= 0)
        return value;
    int64_t mapped = (int64_t(value) - windowStart) * logicalSize / windowSize + logicalStart;
    return int(std::clamp<int64_t>(mapped, INT_MIN, INT_MAX));
}

// Clears mCurrentGraphics on every way out of a draw.
class CurrentGraphicsGuard
{
public:
    CurrentGraphicsGuard(WidgetManager* manager, Graphics* g) : mManager(manager)
    {
        manager->mCurrentGraphics = g;
    }
    ~CurrentGraphicsGuard() { mManager->mCurrentGraphics = nullptr; }
    CurrentGraphicsGuard(const CurrentGraphicsGuard&) = delete;
    CurrentGraphicsGuard& operator=(const CurrentGraphicsGuard&) = delete;

private:
    WidgetManager* mManager;
};

} // namespace

WidgetManager::WidgetManager(VaxoAppBase* app)
    : mDefaultTabWidget(nullptr), mCurrentGraphics(nullptr), mApp(app), mScreenImage(nullptr),
      mPopupCommandWidget(nullptr), mMinDeferredPriority(INT32_MAX),
      // The application starts with the focus (its own flag is true until an event says
      // otherwise), and it makes the manager before that flag need be set.
      mAppHasFocus(true), mFocusWidget(nullptr), mCaptureWidget(nullptr), mHoverWidget(nullptr),
      mBaseModalWidget(nullptr), mDefaultBelowModalFlagsMod(0, WF_MOUSE | WF_FOCUS), mMouseInWindow(false),
      mLastMouseX(0), mLastMouseY(0), mCaptureButtons(0), mHeldButtons(0), mLastInputTick(0), mKeyDown(),
      mLastPressedButton(0), mWidgetFlags(WF_UPDATE | WF_DRAW | WF_CLIP | WF_MOUSE | WF_FOCUS)
{
    mWidgetManager = this;
}

WidgetManager::~WidgetManager() = default;

void WidgetManager::FreeResources() {}

bool WidgetManager::IsAttached(Widget* widget) const
{
    return widget != nullptr && widget->mWidgetManager == this;
}

uint32_t WidgetManager::ButtonBit(int clickCount)
{
    if (clickCount < 0)
        return 2;
    if (clickCount == 3)
        return 4;
    return 1;
}

// ---- Widget references ---------------------------------------------------------------------

void WidgetManager::DisableWidget(Widget* widget)
{
    if (widget == nullptr)
        return;
    // Each hook may delete the widget: the references left are then dropped unheard.
    bool exists = true;
    if (widget == mHoverWidget)
    {
        mHoverWidget = nullptr;
        exists = MouseLeave(widget);
    }
    if (widget == mCaptureWidget)
    {
        const uint32_t buttons = mCaptureButtons;
        mCaptureWidget = nullptr;
        mCaptureButtons = 0;
        exists = exists && DoMouseUps(widget, buttons);
    }
    if (widget == mFocusWidget)
    {
        mFocusWidget = nullptr;
        exists = exists && CallOut(widget, [&] { widget->LostFocus(); });
    }
    if (widget == mBaseModalWidget)
        mBaseModalWidget = nullptr;
}

void WidgetManager::SetFocus(Widget* widget)
{
    if (widget == mFocusWidget)
        return;
    // A widget does not take the focus back from a change still running that took it: a
    // field that asks for it back from its LostFocus (it still holds the focus while its
    // hook runs), or two widgets handing it to each other, would otherwise never let the
    // change end. Only the calls on the stack refuse it: a hook that runs a modal loop
    // lets the clicks inside it move the focus freely.
    for (const WidgetRef<Widget>& lost : mFocusLosers)
    {
        if (widget != nullptr && lost.get() == widget)
            return;
    }
    const size_t ownLosers = mFocusLosers.size();
    SetFocusOnce(widget);
    mFocusLosers.resize(ownLosers);
}

void WidgetManager::SetFocusOnce(Widget* widget)
{
    // The hooks may detach the new widget, or delete it.
    const WidgetRef<Widget> target(widget);
    // A losing widget's hook may give the focus to yet another widget: that one loses it
    // in turn, so the widget asked for ends with the focus and no other believes it has it.
    while (mFocusWidget != nullptr && mFocusWidget != widget)
    {
        Widget* old = mFocusWidget;
        mFocusWidget = nullptr;
        mFocusLosers.emplace_back(old);
        CallOut(old, [&] { old->LostFocus(); });
        if (target.Gone())
            return;
    }
    if (mFocusWidget == widget || !IsAttached(widget))
        return;
    mFocusWidget = widget;
    if (mAppHasFocus)
        CallOut(widget, [&] { widget->GotFocus(); });
}

// ---- Application entry points --------------------------------------------------------------

void WidgetManager::Resize(const TRect<int>& logicalRect, const TRect<int>& windowRect)
{
    mLogicalRect = logicalRect;
    mWindowRect = windowRect;
    mWidth = 2 * logicalRect.mX + logicalRect.mWidth;
    mHeight = 2 * logicalRect.mY + logicalRect.mHeight;
}

void WidgetManager::RemapMouse(int& x, int& y)
{
    x = RemapAxis(x, mWindowRect.mX, mWindowRect.mWidth, mLogicalRect.mX, mLogicalRect.mWidth);
    y = RemapAxis(y, mWindowRect.mY, mWindowRect.mHeight, mLogicalRect.mY, mLogicalRect.mHeight);
}

bool WidgetManager::MouseMove(int x, int y)
{
    mLastInputTick = uint32_t(mUpdateCount);
    if (mCaptureButtons != 0)
        return MouseDrag(x, y);
    mMouseInWindow = true;
    MousePosition(x, y);
    return true;
}

bool WidgetManager::MouseDrag(int x, int y)
{
    mLastInputTick = uint32_t(mUpdateCount);
    mMouseInWindow = true;
    mLastMouseX = x;
    mLastMouseY = y;
    LeaveAllButTheCaptureWidget();
    Widget* capture = mCaptureWidget;
    if (capture == nullptr)
        return true;
    TPoint<int> local = LocalPoint(capture, x, y);
    CallOut(capture, [&] { capture->MouseDrag(local.mX, local.mY); });
    HoverOnlyTheCaptureWidget(x, y);
    return true;
}

void WidgetManager::LeaveAllButTheCaptureWidget()
{
    if (mHoverWidget != nullptr && mHoverWidget != mCaptureWidget)
    {
        Widget* hover = mHoverWidget;
        mHoverWidget = nullptr;
        MouseLeave(hover);
    }
}

void WidgetManager::HoverOnlyTheCaptureWidget(int x, int y)
{
    mLastMouseX = x;
    mLastMouseY = y;
    LeaveAllButTheCaptureWidget();
    Widget* capture = mCaptureWidget;
    if (capture == nullptr)
        return;
    Widget* under = GetWidgetAt(x, y, nullptr, nullptr);
    if (under == capture && mHoverWidget == nullptr)
    {
        mHoverWidget = capture;
        MouseEnter(capture);
    }
    else if (under != capture && mHoverWidget != nullptr)
    {
        Widget* hover = mHoverWidget;
        mHoverWidget = nullptr;
        MouseLeave(hover);
    }
}

bool WidgetManager::MouseDown(int x, int y, int clickCount)
{
    mLastInputTick = uint32_t(mUpdateCount);
    const uint32_t bit = ButtonBit(clickCount);
    mHeldButtons |= bit;
    // A further button while one is held on the capture widget: the mouse is dragging.
    if (mCaptureWidget != nullptr)
        HoverOnlyTheCaptureWidget(x, y);
    else
        MousePosition(x, y);

    if (mPopupCommandWidget != nullptr && !mPopupCommandWidget->Contains(x, y))
        RemovePopupCommandWidget();

    Widget* target = mCaptureWidget != nullptr ? mCaptureWidget : GetWidgetAt(x, y, nullptr, nullptr);
    mCaptureButtons |= bit;
    mLastPressedButton = clickCount < 0 ? -1 : (clickCount == 3 ? 2 : 1);
    mCaptureWidget = target;
    if (target == nullptr)
        return true;

    // The focus hooks may have removed, disabled or deleted the target.
    if (target->WantsFocus() && !CallOut(target, [&] { SetFocus(target); }))
        return true;
    if (mCaptureWidget != target)
        return true;
    target->mIsDown = true;
    TPoint<int> local = LocalPoint(target, x, y);
    CallOut(target, [&] { target->MouseDown(local.mX, local.mY, clickCount); });
    return true;
}

bool WidgetManager::MouseUp(int x, int y, int clickCount)
{
    mLastInputTick = uint32_t(mUpdateCount);
    const uint32_t bit = ButtonBit(clickCount);
    mHeldButtons &= ~bit;
    Widget* capture = mCaptureWidget;
    if (capture != nullptr && (mCaptureButtons & bit) != 0)
    {
        mCaptureButtons &= ~bit;
        if (mCaptureButtons == 0)
            mCaptureWidget = nullptr;
        capture->mIsDown = false;
        TPoint<int> local = LocalPoint(capture, x, y);
        CallOut(capture, [&] { capture->MouseUp(local.mX, local.mY, clickCount); });
    }
    else
        mCaptureButtons &= ~bit;
    if (mCaptureWidget != nullptr)
        HoverOnlyTheCaptureWidget(x, y);
    else
        MousePosition(x, y);
    return true;
}

bool WidgetManager::MouseExit(int x, int y)
{
    (void)x;
    (void)y;
    mLastInputTick = uint32_t(mUpdateCount);
    mMouseInWindow = false;
    if (mHoverWidget != nullptr)
    {
        Widget* hover = mHoverWidget;
        mHoverWidget = nullptr;
        MouseLeave(hover);
    }
    return true;
}

void WidgetManager::MouseWheel(int delta)
{
    mLastInputTick = uint32_t(mUpdateCount);
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->MouseWheel(delta); });
}

bool WidgetManager::KeyChar(char c)
{
    mLastInputTick = uint32_t(mUpdateCount);
    if (c == KEYCODE_TAB && mKeyDown[KEYCODE_CONTROL])
    {
        if (Widget* tab = mDefaultTabWidget)
            CallOut(tab, [&] { tab->KeyChar(c); });
        return true;
    }
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->KeyChar(c); });
    return true;
}

bool WidgetManager::KeyDown(KeyCode key)
{
    mLastInputTick = uint32_t(mUpdateCount);
    if (IsTableKey(key))
        mKeyDown[key] = true;
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->KeyDown(key); });
    return true;
}

bool WidgetManager::KeyUp(KeyCode key)
{
    mLastInputTick = uint32_t(mUpdateCount);
    if (IsTableKey(key))
        mKeyDown[key] = false;
    if (key == KEYCODE_TAB && mKeyDown[KEYCODE_CONTROL])
        return true;
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->KeyUp(key); });
    return true;
}

void WidgetManager::GotFocus()
{
    if (mAppHasFocus)
        return;
    mAppHasFocus = true;
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->GotFocus(); });
}

void WidgetManager::LostFocus()
{
    if (!mAppHasFocus)
        return;
    mHeldButtons = 0;
    for (int key = 0; key < kNumKeyCodes; ++key)
    {
        if (!mKeyDown[key])
            continue;
        mLastInputTick = uint32_t(mUpdateCount);
        mKeyDown[key] = false;
        // Keys go up in ascending order, so control (17) still counts as held here.
        if (key == KEYCODE_TAB && mKeyDown[KEYCODE_CONTROL])
            continue;
        if (Widget* focus = mFocusWidget)
            CallOut(focus, [&] { focus->KeyUp(KeyCode(key)); });
    }
    mAppHasFocus = false;
    if (Widget* focus = mFocusWidget)
        CallOut(focus, [&] { focus->LostFocus(); });
}

void WidgetManager::DoMouseUps()
{
    Widget* capture = mCaptureWidget;
    const uint32_t buttons = mCaptureButtons;
    mCaptureWidget = nullptr;
    mCaptureButtons = 0;
    if (capture != nullptr && buttons != 0)
        DoMouseUps(capture, buttons);
}

bool WidgetManager::UpdateFrame()
{
    ModalFlags flags;
    InitModalFlags(&flags);
    ++mUpdateCount;
    // The manager's own Update is not called.
    mLastUpdateTick = uint32_t(mUpdateCount);
    UpdateAll(&flags);
    return mDirty;
}

bool WidgetManager::UpdateFrameF(float fraction)
{
    ModalFlags flags;
    InitModalFlags(&flags);
    UpdateFAll(&flags, fraction);
    return mDirty;
}

bool WidgetManager::DrawScreen()
{
    ModalFlags flags;
    InitModalFlags(&flags);
    const bool anyDirty = IsDirty();
    // In this mode the presented frame is not kept between frames, so a frame with any
    // change draws everything.
    if (anyDirty && mApp != nullptr && mApp->mFullRedraw)
        MarkAllDirty();

    mMinDeferredPriority = INT32_MAX;
    mDeferredOverlays.clear();

    Graphics screen(mScreenImage);
    CurrentGraphicsGuard current(this, &screen);
    NativeImage* native = dynamic_cast<NativeImage*>(mScreenImage);
    std::unique_ptr<SurfaceLock> lock(native != nullptr ? new SurfaceLock(native) : nullptr);

    bool drawn = false;
    if (anyDirty)
    {
        Graphics logical(screen);
        logical.Translate(-mLogicalRect.mX, -mLogicalRect.mY);
        const bool is3D = mApp != nullptr && mApp->Is3DAccelerated();
        // A draw hook may take out and delete a widget the walk has still to reach.
        for (const WidgetRef<Widget>& ref : ChildRefs(this))
        {
            Widget* widget = ref.get();
            if (widget == nullptr || widget->mParent != this)
                continue;
            if (widget == mBaseModalWidget)
                flags.mAboveModal = true;
            if (!widget->mDirty || !widget->mVisible)
                continue;
            Graphics g(logical);
            g.SetFastStretch(!is3D);
            g.SetLinearBlend(is3D);
            g.Translate(widget->mX, widget->mY);
            widget->DrawAll(&flags, &g);
            if (ref)
                widget->mDirty = false;
            drawn = true;
        }
    }
    FlushDeferredOverlayWidgets(INT32_MAX);
    return drawn;
}

bool WidgetManager::IsDirty()
{
    for (Widget* widget : mWidgets)
    {
        if (widget->mDirty && widget->mVisible)
            return true;
    }
    return false;
}

void WidgetManager::AddBaseModal(Widget* widget)
{
    AddBaseModal(widget, mDefaultBelowModalFlagsMod);
}

void WidgetManager::AddBaseModal(Widget* widget, const FlagsMod& belowFlagsMod)
{
    PreModalInfo info;
    info.mModalWidget = widget;
    info.mPrevBaseModalWidget = mBaseModalWidget;
    info.mPrevFocusWidget = mFocusWidget;
    info.mPrevBelowModalFlagsMod = mBelowModalFlagsMod;
    mPreModalInfoList.push_back(info);
    SetBaseModal(widget, belowFlagsMod);
}

void WidgetManager::RemoveBaseModal(Widget* widget)
{
    if (mPreModalInfoList.empty() || mPreModalInfoList.back().mModalWidget != widget)
        return;
    // Layers whose previous modal widget is gone go with the one below them.
    bool last = false;
    while (!last && !mPreModalInfoList.empty())
    {
        // Popped before the hooks below run, so a layer they push stays on the stack.
        const PreModalInfo info = mPreModalInfoList.back();
        last = info.mPrevBaseModalWidget != nullptr || mPreModalInfoList.size() == 1;
        mPreModalInfoList.pop_back();
        // The hooks may take the previous focus widget out of the tree, and a nested
        // modal loop run from them may delete it.
        const size_t slot = mPoppedFocusWidgets.size();
        mPoppedFocusWidgets.push_back(info.mPrevFocusWidget);
        SetBaseModal(info.mPrevBaseModalWidget, info.mPrevBelowModalFlagsMod);
        Widget* focus = mPoppedFocusWidgets[slot];
        mPoppedFocusWidgets.resize(slot);
        // Disabling dropped the focus; a disabled widget does not take it back.
        if (mFocusWidget == nullptr && focus != nullptr && !focus->mDisabled)
            SetFocus(focus);
    }
}

bool WidgetManager::IsLeftButtonDown()
{
    return (mHeldButtons & 1) != 0;
}

bool WidgetManager::IsRightButtonDown()
{
    return (mHeldButtons & 2) != 0;
}

bool WidgetManager::IsMiddleButtonDown()
{
    return (mHeldButtons & 4) != 0;
}

// ---- Used by widgets and by the manager itself -----------------------------------------------

void WidgetManager::MousePosition(int x, int y)
{
    const int oldX = mLastMouseX;
    const int oldY = mLastMouseY;
    mLastMouseX = x;
    mLastMouseY = y;

    Widget* under = GetWidgetAt(x, y, nullptr, nullptr);
    if (under == mHoverWidget)
    {
        if (under == nullptr || (x == oldX && y == oldY))
            return;
        TPoint<int> local = LocalPoint(under, x, y);
        CallOut(under, [&] { under->MouseMove(local.mX, local.mY); });
        return;
    }

    Widget* old = mHoverWidget;
    mHoverWidget = nullptr;
    if (old != nullptr)
    {
        // The leave hook may detach, disable or delete the new widget.
        const WidgetRef<Widget> entering(under);
        MouseLeave(old);
        if (entering.Gone())
            return;
    }
    if (!IsAttached(under) || under->mDisabled || mHoverWidget != nullptr)
        return;
    mHoverWidget = under;
    if (MouseEnter(under) && mHoverWidget == under)
    {
        TPoint<int> local = LocalPoint(under, x, y);
        CallOut(under, [&] { under->MouseMove(local.mX, local.mY); });
    }
}

void WidgetManager::RehupMouse()
{
    if (mCaptureWidget == nullptr)
    {
        if (mMouseInWindow)
            MousePosition(mLastMouseX, mLastMouseY);
        return;
    }
    if (mHoverWidget != nullptr && GetWidgetAt(mLastMouseX, mLastMouseY, nullptr, nullptr) != mCaptureWidget)
    {
        Widget* hover = mHoverWidget;
        mHoverWidget = nullptr;
        MouseLeave(hover);
    }
}

// The cursor is set before the hook: a control's hook tells its listener last, and the
// listener may delete the control (in a nested modal loop).
bool WidgetManager::MouseEnter(Widget* widget)
{
    widget->mIsOver = true;
    if (widget->mShowsFinger)
        widget->ShowFinger(true);
    return CallOut(widget, [&] { widget->MouseEnter(); });
}

bool WidgetManager::MouseLeave(Widget* widget)
{
    widget->mIsOver = false;
    if (widget->mShowsFinger)
        widget->ShowFinger(false);
    return CallOut(widget, [&] { widget->MouseLeave(); });
}

bool WidgetManager::DoMouseUps(Widget* widget, unsigned long buttons)
{
    static const struct
    {
        unsigned long mBit;
        int mClickCount;
    } kButtons[] = {{1, 1}, {2, -1}, {4, 3}};
    for (const auto& button : kButtons)
    {
        if ((buttons & button.mBit) == 0)
            continue;
        widget->mIsDown = false;
        TPoint<int> local = LocalPoint(widget, mLastMouseX, mLastMouseY);
        // A release may take the widget out and delete it.
        if (!CallOut(widget, [&] { widget->MouseUp(local.mX, local.mY, button.mClickCount); }))
            return false;
    }
    return true;
}

void WidgetManager::SetBaseModal(Widget* widget, const FlagsMod& belowFlagsMod)
{
    mBaseModalWidget = widget;
    mBelowModalFlagsMod = belowFlagsMod;
    const bool masksMouse = (belowFlagsMod.mRemove & WF_MOUSE) != 0;
    const bool masksFocus = (belowFlagsMod.mRemove & WF_FOCUS) != 0;
    // The modal widget lies above its own layer (IsBelow(w, w) would say otherwise).
    auto masked = [this, widget](Widget* held) { return held != widget && IsBelow(held, widget); };

    if (mHoverWidget != nullptr && masksMouse && masked(mHoverWidget))
    {
        Widget* hover = mHoverWidget;
        mHoverWidget = nullptr;
        MouseLeave(hover);
    }
    if (mCaptureWidget != nullptr && masksMouse && masked(mCaptureWidget))
    {
        Widget* capture = mCaptureWidget;
        const uint32_t buttons = mCaptureButtons;
        mCaptureWidget = nullptr;
        mCaptureButtons = 0;
        DoMouseUps(capture, buttons);
    }
    if (mFocusWidget != nullptr && masksFocus && masked(mFocusWidget))
    {
        Widget* focus = mFocusWidget;
        mFocusWidget = nullptr;
        CallOut(focus, [&] { focus->LostFocus(); });
    }
}

void WidgetManager::ForgetInModalLayers(Widget* widget)
{
    for (PreModalInfo& info : mPreModalInfoList)
    {
        if (info.mPrevBaseModalWidget == widget)
            info.mPrevBaseModalWidget = nullptr;
        if (info.mPrevFocusWidget == widget)
            info.mPrevFocusWidget = nullptr;
    }
    std::replace(mPoppedFocusWidgets.begin(), mPoppedFocusWidgets.end(), widget,
                 static_cast<Widget*>(nullptr));
}

void WidgetManager::ForgetDeferredOverlays(Widget* widget)
{
    for (auto& overlay : mDeferredOverlays)
    {
        if (overlay.first == widget)
            overlay.first = nullptr;
    }
}

void WidgetManager::ForgetDeletedWidget(Widget* widget)
{
    if (mHoverWidget == widget)
        mHoverWidget = nullptr;
    if (mCaptureWidget == widget)
    {
        mCaptureWidget = nullptr;
        mCaptureButtons = 0;
    }
    if (mFocusWidget == widget)
        mFocusWidget = nullptr;
    if (mBaseModalWidget == widget)
        mBaseModalWidget = nullptr;
    if (mDefaultTabWidget == widget)
        mDefaultTabWidget = nullptr;
    if (mPopupCommandWidget == widget)
        mPopupCommandWidget = nullptr;
    ForgetInModalLayers(widget);
    ForgetDeferredOverlays(widget);
}

int WidgetManager::GetWidgetFlags()
{
    return mAppHasFocus ? mWidgetFlags : mUnfocusedFlagsMod.Apply(mWidgetFlags);
}

void WidgetManager::InitModalFlags(ModalFlags* flags)
{
    flags->mAboveModal = mBaseModalWidget == nullptr;
    flags->mAboveFlags = GetWidgetFlags();
    flags->mBelowFlags = mBelowModalFlagsMod.Apply(flags->mAboveFlags);
}

Widget* WidgetManager::GetAnyWidgetAt(int x, int y, int* localX, int* localY)
{
    bool found = false;
    int hitX = 0;
    int hitY = 0;
    Widget* widget = GetWidgetAtHelper(x, y, GetWidgetFlags(), &found, &hitX, &hitY);
    if (widget != nullptr)
    {
        if (localX != nullptr)
            *localX = hitX;
        if (localY != nullptr)
            *localY = hitY;
    }
    return widget;
}

Widget* WidgetManager::GetWidgetAt(int x, int y, int* localX, int* localY)
{
    Widget* widget = GetAnyWidgetAt(x, y, localX, localY);
    return widget != nullptr && widget->mDisabled ? nullptr : widget;
}

void WidgetManager::DeferOverlay(Widget* widget, int priority)
{
    mDeferredOverlays.push_back(std::make_pair(widget, priority));
    mMinDeferredPriority = std::min(mMinDeferredPriority, int32_t(priority));
}

int WidgetManager::DrawOverlaysOfMinPriority()
{
    const int current = mMinDeferredPriority;
    int next = INT32_MAX;
    // By index: an overlay may defer further overlays while it draws.
    for (size_t i = 0; i < mDeferredOverlays.size(); ++i)
    {
        Widget* widget = mDeferredOverlays[i].first;
        const int priority = mDeferredOverlays[i].second;
        if (widget == nullptr)
            continue;
        if (priority != current)
        {
            next = std::min(next, priority);
            continue;
        }
        mDeferredOverlays[i].first = nullptr;
        // A widget that left the tree since it asked has nothing to draw over.
        if (!IsAttached(widget) || mCurrentGraphics == nullptr)
            continue;
        Graphics g(*mCurrentGraphics);
        g.Translate(-mLogicalRect.mX, -mLogicalRect.mY);
        const TPoint<int> pos = widget->GetAbsPos();
        g.Translate(pos.mX, pos.mY);
        g.SetFastStretch(!g.mIs3D);
        g.SetLinearBlend(g.mIs3D);
        CallOut(widget, [&] { widget->DrawOverlay(&g, priority); });
    }
    return next;
}

void WidgetManager::FlushDeferredOverlayWidgets(int maxPriority)
{
    for (;;)
    {
        mMinDeferredPriority = DrawOverlaysOfMinPriority();
        if (mMinDeferredPriority == INT32_MAX)
        {
            mDeferredOverlays.clear();
            return;
        }
        if (maxPriority <= mMinDeferredPriority)
            return;
    }
}

void WidgetManager::DrawWidgetsTo(Graphics* g)
{
    CurrentGraphicsGuard current(this, g);
    ModalFlags flags;
    InitModalFlags(&flags);
    for (const WidgetRef<Widget>& ref : ChildRefs(this))
    {
        Widget* widget = ref.get();
        if (widget == nullptr || widget->mParent != this || !widget->mVisible)
            continue;
        Graphics widgetGraphics(*g);
        widgetGraphics.SetFastStretch(true);
        widgetGraphics.Translate(widget->mX, widget->mY);
        widget->DrawAll(&flags, &widgetGraphics);
    }
}

void WidgetManager::SetPopupCommandWidget(Widget* widget)
{
    mPopupCommandWidget = widget;
    AddWidget(widget);
}

void WidgetManager::RemovePopupCommandWidget()
{
    Widget* popup = mPopupCommandWidget;
    if (popup == nullptr)
        return;
    mPopupCommandWidget = nullptr;
    RemoveWidget(popup);
}

} // namespace Vaxo
