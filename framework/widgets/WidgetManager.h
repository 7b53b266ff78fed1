// WidgetManager: the root of the widget tree and the application's one entry point into
// it.
//
// The application (VaxoAppBase) owns one manager and hands it every mouse, key and focus
// event, one UpdateFrame per fixed update step and a DrawScreen per frame. The manager
// routes the mouse to the widget under it (the widget pressed keeps the capture until
// its buttons are up) and keys to the focus widget, keeps the stack of modal layers that
// mask input below a modal widget, and draws the dirty top-level widgets, then the
// overlays they deferred, into mScreenImage. Every local coordinate it passes a widget
// is the point minus the widget's absolute position. Widgets are not owned.
// Main thread only.
#pragma once

#include "app/KeyCodes.h"
#include "graphics/Rect.h"
#include "widgets/WidgetContainer.h"
#include "widgets/WidgetRef.h"

#include <cstdint>
#include <list>
#include <utility>
#include <vector>

namespace Vaxo
{

class Graphics;
class MemoryImage;
class VaxoAppBase;
class Widget;

// One modal layer: its widget and what it replaced.
class PreModalInfo
{
public:
    Widget* mModalWidget;
    Widget* mPrevBaseModalWidget;
    Widget* mPrevFocusWidget;
    FlagsMod mPrevBelowModalFlagsMod;
};

class WidgetManager : public WidgetContainer
{
public:
    typedef std::list<PreModalInfo> PreModalInfoList;
    typedef std::vector<std::pair<Widget*, int>> DeferredOverlayVector;

    // Number of key codes the key-down table holds (0 to 254).
    static const int kNumKeyCodes = 255;

    // Receives tab characters typed while control is held; not owned.
    Widget* mDefaultTabWidget;
    // Drawing context while DrawScreen or DrawWidgetsTo runs, null otherwise.
    Graphics* mCurrentGraphics;
    // The owning application.
    VaxoAppBase* mApp;
    // What DrawScreen draws into; set by the application (its display's screen image),
    // null while the display is being rebuilt. Not owned.
    MemoryImage* mScreenImage;
    // Pop-up removed by a press outside it; not owned.
    Widget* mPopupCommandWidget;
    // Overlay requests of the frame being drawn: widget (null once drawn), priority.
    DeferredOverlayVector mDeferredOverlays;
    // Lowest pending overlay priority; INT32_MAX when none.
    int32_t mMinDeferredPriority;
    // The window has the keyboard focus.
    bool mAppHasFocus;
    // Receives keys and the wheel.
    Widget* mFocusWidget;
    // Got the last press; receives drags and releases until all its buttons are up.
    Widget* mCaptureWidget;
    // Under the mouse.
    Widget* mHoverWidget;
    // Top modal layer's widget; everything behind it in tree order is masked.
    Widget* mBaseModalWidget;
    // Applied to mWidgetFlags while the window lacks focus.
    FlagsMod mUnfocusedFlagsMod;
    // Applied to the widgets below mBaseModalWidget.
    FlagsMod mBelowModalFlagsMod;
    // What AddBaseModal(w) masks: no mouse and no focus below the modal widget.
    FlagsMod mDefaultBelowModalFlagsMod;
    // Modal layers; the back is the top.
    PreModalInfoList mPreModalInfoList;
    // The logical screen and the window rect mouse events arrive in (Resize).
    TRect<int> mLogicalRect;
    TRect<int> mWindowRect;
    bool mMouseInWindow;
    // Last mouse position, manager coordinates.
    int32_t mLastMouseX;
    int32_t mLastMouseY;
    // Buttons held on the capture widget / held at all: 1 left, 2 right, 4 middle.
    uint32_t mCaptureButtons;
    uint32_t mHeldButtons;
    // mUpdateCount at the last mouse or key event.
    uint32_t mLastInputTick;
    // Key-down switch per key code 0 to 254.
    bool mKeyDown[kNumKeyCodes];
    // 1 left, -1 right, 2 middle.
    int32_t mLastPressedButton;
    // Base flags of every pass: WF_UPDATE | WF_DRAW | WF_CLIP | WF_MOUSE | WF_FOCUS.
    int32_t mWidgetFlags;

public:
    explicit WidgetManager(VaxoAppBase* app);
    ~WidgetManager() override;

    void FreeResources();

    // ---- Widget references -------------------------------------------------------------
    // Drops the hover, capture (sending the missing releases), focus and base-modal
    // references to the widget.
    void DisableWidget(Widget* widget) override;
    // Only a widget of this manager can take the focus; anything else clears it.
    void SetFocus(Widget* widget) override;

    // ---- Application entry points --------------------------------------------------------
    // Both rects (0, 0, width, height) in a plain window; the manager's size becomes the
    // logical rect with its offset on both sides.
    void Resize(const TRect<int>& logicalRect, const TRect<int>& windowRect);
    // Window coordinates to logical ones.
    void RemapMouse(int& x, int& y);
    bool MouseMove(int x, int y);
    bool MouseDrag(int x, int y);
    // clickCount: 1 single, 2 double (left); -1, -2 (right); 3 middle.
    bool MouseDown(int x, int y, int clickCount);
    bool MouseUp(int x, int y, int clickCount);
    bool MouseExit(int x, int y);
    // To the focus widget, not the widget under the mouse.
    void MouseWheel(int delta);
    bool KeyChar(char c);
    bool KeyDown(KeyCode key);
    bool KeyUp(KeyCode key);
    // The window gained / lost the keyboard focus; the focus widget keeps its place.
    void GotFocus();
    void LostFocus();
    // Releases every button held on the capture widget.
    void DoMouseUps();
    // One fixed update step of the whole tree; returns the manager's dirty mark.
    bool UpdateFrame();
    bool UpdateFrameF(float fraction);
    // Draws the dirty top-level widgets and the deferred overlays into mScreenImage;
    // true when anything was drawn.
    bool DrawScreen();
    // Some top-level widget is dirty and visible.
    bool IsDirty();
    // Pushes a modal layer masking what lies behind widget (default: no mouse, no focus).
    void AddBaseModal(Widget* widget);
    void AddBaseModal(Widget* widget, const FlagsMod& belowFlagsMod);
    // Pops the layer of widget, which must be on top (anything else is ignored).
    void RemoveBaseModal(Widget* widget);
    bool IsLeftButtonDown();
    bool IsRightButtonDown();
    bool IsMiddleButtonDown();

    // ---- Used by widgets and by the manager itself -----------------------------------------
    void MousePosition(int x, int y);
    // Re-checks the widget under the resting mouse after the tree changed.
    void RehupMouse();
    // Set the hover state and call the hook; false when the hook deleted the widget.
    bool MouseEnter(Widget* widget);
    bool MouseLeave(Widget* widget);
    // Sends the releases of the given button bits at the last mouse position; false when
    // a release deleted the widget (the rest are not sent).
    bool DoMouseUps(Widget* widget, unsigned long buttons);
    void SetBaseModal(Widget* widget, const FlagsMod& belowFlagsMod);
    // A widget leaving the tree: no modal layer restores it as the base-modal or the focus
    // widget when it pops (the widget may be deleted by then).
    void ForgetInModalLayers(Widget* widget);
    // A widget leaving the tree: the overlays it deferred are not drawn (it may be
    // deleted by then).
    void ForgetDeferredOverlays(Widget* widget);
    // A widget deleted while its removal was under way: every reference to it goes,
    // no hook called.
    void ForgetDeletedWidget(Widget* widget);
    int GetWidgetFlags();
    void InitModalFlags(ModalFlags* flags);
    // The widget under (x, y) (manager coordinates), disabled or not; null for none.
    Widget* GetAnyWidgetAt(int x, int y, int* localX, int* localY);
    // The same, but a disabled widget counts as none.
    Widget* GetWidgetAt(int x, int y, int* localX, int* localY);
    void DeferOverlay(Widget* widget, int priority);
    // Draws pending overlays in ascending priority while their priority is below
    // maxPriority.
    void FlushDeferredOverlayWidgets(int maxPriority);
    // Draws every visible top-level widget into g (no overlays, no modal switch).
    void DrawWidgetsTo(Graphics* g);
    void SetPopupCommandWidget(Widget* widget);
    void RemovePopupCommandWidget();

private:
    // Focus widgets of the layers RemoveBaseModal is popping, innermost last, given back
    // once the pop's hooks have run; ForgetInModalLayers clears them too.
    std::vector<Widget*> mPoppedFocusWidgets;
    // Widgets that lost the focus to the SetFocus calls under way, outermost call's first;
    // each call takes its own off when it returns.
    std::vector<WidgetRef<Widget>> mFocusLosers;

    // One SetFocus: takes the focus from whoever holds it and gives it to widget.
    void SetFocusOnce(Widget* widget);

    // Leaves the hover widget unless it is the capture widget.
    void LeaveAllButTheCaptureWidget();
    // While the capture widget holds buttons only it can be hovered, while over it.
    void HoverOnlyTheCaptureWidget(int x, int y);
    // The widget is in this manager's tree.
    bool IsAttached(Widget* widget) const;
    // Bit of mHeldButtons for a click count.
    static uint32_t ButtonBit(int clickCount);
    // The key code indexes mKeyDown.
    static bool IsTableKey(KeyCode key) { return key >= 0 && key < kNumKeyCodes; }
    // Overlay entries of the current minimum priority; returns the next lowest priority.
    int DrawOverlaysOfMinPriority();
};

} // namespace Vaxo
