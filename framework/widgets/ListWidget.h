// ListWidget: a vertical list of text lines in one font, each line with its own colour,
// with a hilite that follows the mouse, a selection its owner sets, an optional linked
// scroll bar and an optional chain of further lists acting as the columns of one table.
//
// The columns of a chain (linked through mPrevColumn / mNextColumn; the head has no
// previous column) share line count, hilite, selection and sort order: the operations
// said to act "in every column" walk the chain from its head. A linked scroll bar's value
// is the first visible line, its maximum the line count, its page size mPageSize; the
// list is that bar's ScrollListener. Clicks on a line go to the ListListener (optional),
// each listener call being the last thing a handler does. Main thread only.
#pragma once

#include "graphics/Color.h"
#include "widgets/ListListener.h"
#include "widgets/ScrollListener.h"
#include "widgets/Widget.h"
#include "widgets/WidgetRef.h"

#include <string>
#include <vector>

namespace Vaxo
{

class Font;
class ScrollbarWidget;

// Colour rows (r, g, b): 0 background, 1 outline, 2 colour of every new line, 3 text of
// the hilited line, 4 selection bar, 5 text of the selected line.
extern int gInitialListWidgetColors[6][3];

class ListWidget : public Widget, public ScrollListener
{
public:
    int mId;
    // Font of every line; not owned.
    Font* mFont;
    // Linked scroll bar; not owned. It may be deleted first: the list then has none.
    BorrowedRef<ScrollbarWidget> mScrollbar;
    // 0 left (x 4), 1 centred, anything else right (4 pixels from the edge).
    int mJustify;
    // Orders sorted insertion and finds lines by text; strcmp by default.
    int (*mCompareFunc)(const char*, const char*);
    std::vector<std::string> mLines;
    // One text colour per line.
    std::vector<Color> mLineColors;
    // Index of the first visible line, may be fractional (smooth scrolling).
    double mPosition;
    // Number of lines that fit.
    double mPageSize;
    // Line under the mouse / selected line; -1 for none.
    int mHiliteIdx;
    int mSelectIdx;
    // Not owned; may be null.
    ListListener* mListener;
    // Neighbours in a column chain; not owned.
    ListWidget* mPrevColumn;
    ListWidget* mNextColumn;
    // The next column's sort key comes before this column's.
    bool mSortNextFirst;
    bool mDrawOutline;
    bool mFillBackground;
    // Sort keys shorter than this are padded on the left with '0'.
    int mSortKeyWidth;
    // Line height in pixels; -1 asks the font each time.
    int mItemHeight;
    // The hilited line also gets the selection bar.
    bool mHiliteBar;
    // The hand cursor shows while the mouse is over a line.
    bool mHandOverLines;

public:
    ListWidget(int id, Font* font, ListListener* listener);
    ~ListWidget() override;

    void RemovedFromManager(WidgetManager* manager) override;
    void Draw(Graphics* g) override;
    void OrderInManagerChanged() override;
    using Widget::SetColor;
    void Resize(int x, int y, int width, int height) override;
    using Widget::Resize;
    void MouseLeave() override;
    void MouseMove(int x, int y) override;
    void MouseDown(int x, int y, int clickCount) override;
    void MouseDown(int x, int y, int button, int clickCount) override;
    void MouseWheel(int delta) override;

    // The line's text zero-padded to mSortKeyWidth, joined with the next column's key.
    virtual std::string GetSortKey(int index);
    // Stable; in every column.
    virtual void Sort(bool ascending);
    // "" for an index outside the list.
    virtual std::string GetStringAt(int index);
    // Returns the new line's index; the other columns get "-" there.
    virtual int AddLine(const std::string& line, bool sorted);
    // This column only; an index outside the list changes nothing.
    virtual void SetLine(int index, const std::string& line);
    virtual int GetLineCount();
    // The first line equal to the text under mCompareFunc, or -1.
    virtual int GetLineIdx(const std::string& line);
    virtual void SetColor(const std::string& line, const Color& color);
    virtual void SetLineColor(int index, const Color& color);
    // -1 (or an index outside the list) removes nothing but still updates the scroll bar.
    virtual void RemoveLine(int index);
    virtual void RemoveAll();
    virtual int GetOptimalWidth();
    virtual int GetOptimalHeight();
    // The scroll bar's value: the first visible line; passed on along the chain.
    void ScrollPosition(int id, double position) override;
    virtual void SetSelect(int index);

    // This column only; tells the listener when tell is set and the index changed.
    void SetHilite(int index, bool tell);

private:
    // The line height, or 0 when there is none to be had (no font, or a font that
    // failed to load and measures 0).
    int LineHeight();
    ListWidget* Head();
    // Sets every column's hilite and marks it dirty, then tells the listeners.
    void SetHiliteInAllColumns(int index);
    void UpdateScrollbarMax();
};

} // namespace Vaxo
