// Widget: the base of every control, dialog and game screen.
//
// On top of the container it adds visibility, the disabled state, the focus and mouse
// switches the widget manager sets, a colour table, content insets, a tab chain, the
// default input hooks the manager calls (all in the widget's own coordinates: the point
// minus the widget's absolute position), placement (Resize, Move, Layout) and the text
// helpers the controls draw with. A widget is created detached, attached by its parent's
// AddWidget and detached by RemoveWidget; it must be out of the tree before it is
// deleted (the application's SafeDeleteWidget defers that to a safe point; a plain
// delete while the toolkit calls the widget is reported, see WidgetRef.h).
// Main thread only.
#pragma once

#include "app/KeyCodes.h"
#include "common/Common.h"
#include "graphics/Color.h"
#include "widgets/WidgetContainer.h"

#include <cstdint>
#include <vector>

namespace Vaxo
{

class Image;

// Layout flags, applied from the lowest bit up: each sees the values the lower bits set.
enum
{
    LAYOUT_SAME_WIDTH = 0x1,      // w = rel width + widthPad
    LAYOUT_SAME_HEIGHT = 0x2,     // h = rel height + heightPad
    LAYOUT_SET_LEFT = 0x10,       // x = leftPad
    LAYOUT_SET_TOP = 0x20,        // y = topPad
    LAYOUT_SET_WIDTH = 0x40,      // w = widthPad
    LAYOUT_SET_HEIGHT = 0x80,     // h = heightPad
    LAYOUT_ABOVE = 0x100,         // y = rel top - h + topPad
    LAYOUT_BELOW = 0x200,         // y = rel bottom + topPad
    LAYOUT_RIGHT_OF = 0x400,      // x = rel right + leftPad
    LAYOUT_LEFT_OF = 0x800,       // x = rel left - w + leftPad
    LAYOUT_ALIGN_LEFT = 0x1000,   // x = rel left + leftPad
    LAYOUT_ALIGN_RIGHT = 0x2000,  // x = rel right - w + leftPad
    LAYOUT_ALIGN_TOP = 0x4000,    // y = rel top + topPad
    LAYOUT_ALIGN_BOTTOM = 0x8000, // y = rel bottom - h + topPad
    LAYOUT_GROW_RIGHT = 0x10000,  // w = rel right - x + widthPad
    LAYOUT_GROW_LEFT = 0x20000,   // w = rel left - x + widthPad
    LAYOUT_GROW_TOP = 0x40000,    // h = rel top - y + heightPad
    LAYOUT_GROW_BOTTOM = 0x80000, // h = rel bottom - y + heightPad
    LAYOUT_CENTER_X = 0x100000,   // x = rel left + (rel width - w) / 2 + leftPad
    LAYOUT_CENTER_Y = 0x200000,   // y = rel top + (rel height - h) / 2 + topPad
};

class Widget : public WidgetContainer
{
public:
    // Shown; hidden widgets are not drawn, hit or counted dirty, but still updated.
    bool mVisible;
    // Can itself be hit by the mouse (its children are searched regardless).
    bool mMouseVisible;
    // Absent for mouse input.
    bool mDisabled;
    // Set by GotFocus, cleared by LostFocus.
    bool mHasFocus;
    // Set by the manager while a button pressed on it is held.
    bool mIsDown;
    // Set by the manager while the mouse is over it.
    bool mIsOver;
    // Does not paint all of its rect, so it never hides what lies below.
    bool mHasTransparentParts;
    // Colour table; each subclass gives the indexes their meaning.
    std::vector<Color> mColors;
    // Shrink the hit area and the content area.
    Insets mInsets;
    // The manager shows the hand cursor while the mouse is over it.
    bool mShowsFinger;
    bool mWantsFocus;
    // Focused by shift+tab and tab; not owned.
    Widget* mTabPrev;
    Widget* mTabNext;

    // The coloured-string switch WriteString and WriteWordWrapped impose on the context.
    static bool mWriteColoredString;

public:
    Widget();
    ~Widget() override;

    // After every z-order change of this widget.
    virtual void OrderInManagerChanged();
    virtual void SetVisible(bool visible);
    // Rows of r, g, b (alpha 255) / r, g, b, a.
    virtual void SetColors(int (*colors)[3], int count);
    virtual void SetColors(int (*colors)[4], int count);
    // Grows the table as needed (new entries opaque black).
    virtual void SetColor(int index, const Color& color);
    // Opaque black past the end of the table.
    virtual const Color& GetColor(int index);
    virtual Color GetColor(int index, const Color& dflt);
    virtual void SetDisabled(bool disabled);
    // Hand cursor on, arrow off.
    virtual void ShowFinger(bool on);
    virtual void Resize(int x, int y, int width, int height);
    virtual void Resize(const TRect<int>& rect);
    virtual void Move(int x, int y);
    virtual bool WantsFocus();
    // g is translated to this widget's origin.
    virtual void DrawOverlay(Graphics* g);
    virtual void DrawOverlay(Graphics* g, int priority);
    virtual void GotFocus();
    virtual void LostFocus();
    virtual void KeyChar(char c);
    // Tab moves the focus along the tab chain (backward with shift).
    virtual void KeyDown(KeyCode key);
    virtual void KeyUp(KeyCode key);
    virtual void MouseEnter();
    virtual void MouseLeave();
    // Mouse hooks: x, y in this widget's own coordinates.
    virtual void MouseMove(int x, int y);
    // clickCount: 1 or 2 left, negative right, 3 middle; split into button and count.
    virtual void MouseDown(int x, int y, int clickCount);
    // button 0 left, 1 right, 2 middle.
    virtual void MouseDown(int x, int y, int button, int count);
    virtual void MouseUp(int x, int y);
    virtual void MouseUp(int x, int y, int clickCount);
    virtual void MouseUp(int x, int y, int button, int count);
    virtual void MouseDrag(int x, int y);
    // Notches, positive away from the user.
    virtual void MouseWheel(int delta);
    // Non-rectangular hit areas answer false where they are open; local coordinates.
    virtual bool IsPointVisible(int x, int y);
    // Centred on the widget's width at baseline y; returns the rect the text covers.
    virtual TRect<int> WriteCenteredLine(Graphics* g, int y, const VaxoString& text);
    virtual TRect<int> WriteCenteredLine(Graphics* g, int y, const VaxoString& text, Color textColor,
                                         Color shadowColor, const TPoint<int>& shadowOffset);
    virtual int WriteString(Graphics* g, const VaxoString& text, int x, int y, int width = -1,
                            int justification = 0, bool draw = true, int offset = 0, int length = -1);
    virtual int WriteWordWrapped(Graphics* g, const TRect<int>& rect, const VaxoString& text,
                                 int lineSpacing = -1, int justification = -1);
    virtual int GetWordWrappedHeight(Graphics* g, int width, const VaxoString& text, int lineSpacing = -1);
    // Decimal digits of n; 1 for 0 and for negative n.
    virtual int GetNumDigits(int n);
    // Draws number with digits cut from strip (ten equal cells 0 to 9), spacing pixels
    // apart; negative numbers draw nothing.
    virtual void WriteNumberFromStrip(Graphics* g, int number, int x, int y, Image* strip, int spacing);
    // Parent coordinates.
    virtual bool Contains(int x, int y);
    // The rect shrunk by mInsets (parent coordinates).
    virtual TRect<int> GetInsetRect();

    void Update() override;
    void UpdateF(float fraction) override;
    void Draw(Graphics* g) override;

    // Asks the manager to call DrawOverlay(g, priority) after the frame's widgets.
    void DeferOverlay(int priority = 0);
    // Detaches this widget and its subtree from the manager (called by RemoveWidget).
    void WidgetRemovedHelper();
    // Places this widget relative to rel (its parent: measured from (0, 0)) by the
    // LAYOUT_* flags.
    void Layout(int flags, Widget* rel, int leftPad = 0, int topPad = 0, int widthPad = 0, int heightPad = 0);
};

} // namespace Vaxo
