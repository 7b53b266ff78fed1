// WidgetContainer: a node of the widget tree, and the small value types the tree passes
// around.
//
// A container keeps its children in z-order (back to front), the dirty marks that decide
// what is redrawn, and the recursive update, draw and hit-test passes that carry the
// widget flags (WF_*) down the tree. Widget derives from it, and so does WidgetManager,
// the root. Children are not owned: destroying a container neither deletes nor detaches
// them; the owner removes them first. Main thread only.
//
// Sections: flag words (WF_*, FlagsMod, ModalFlags), Insets, WidgetContainer, LightWidget.
#pragma once

#include "common/SmartPtr.h"
#include "graphics/Rect.h"

#include <cstdint>
#include <list>

namespace Vaxo
{

class Graphics;
class NodeLife;
class Widget;
class WidgetManager;

// Widget flag bits, carried down the tree by the update, draw and hit-test passes.
enum
{
    WF_UPDATE = 1,     // UpdateAll calls Update, UpdateFAll calls UpdateF
    WF_MARK_DIRTY = 2, // UpdateAll marks the container dirty first
    WF_DRAW = 4,       // DrawAll calls Draw
    WF_CLIP = 8,       // DrawAll clips to the own rect (when mClipToBounds)
    WF_MOUSE = 16,     // the widget and its children can be hit by the mouse
    WF_FOCUS = 32,     // the widget may keep the keyboard focus under a modal layer
};

// A change to a flag word: (flags | mAdd) & ~mRemove.
class FlagsMod
{
public:
    int32_t mAdd;
    int32_t mRemove;

public:
    FlagsMod() : mAdd(0), mRemove(0) {}
    FlagsMod(int32_t add, int32_t remove) : mAdd(add), mRemove(remove) {}

    int32_t Apply(int32_t flags) const { return (flags | mAdd) & ~mRemove; }
};

// The two flag words of a pass: those in force above the base-modal widget and those
// below it. mAboveModal switches from below to above when the pass reaches the
// base-modal widget, and stays switched for the rest of the pass.
class ModalFlags
{
public:
    int32_t mAboveFlags;
    int32_t mBelowFlags;
    bool mAboveModal;

public:
    ModalFlags() : mAboveFlags(0), mBelowFlags(0), mAboveModal(false) {}

    // Applies the change to both words.
    void ModFlags(const FlagsMod& mod)
    {
        mAboveFlags = mod.Apply(mAboveFlags);
        mBelowFlags = mod.Apply(mBelowFlags);
    }
    // The word in force.
    int32_t GetFlags() const { return mAboveModal ? mAboveFlags : mBelowFlags; }
};

// Margins in pixels; they shrink a widget's hit area and content area.
class Insets
{
public:
    int32_t mLeft;
    int32_t mTop;
    int32_t mRight;
    int32_t mBottom;

public:
    Insets() : mLeft(0), mTop(0), mRight(0), mBottom(0) {}
    Insets(int32_t left, int32_t top, int32_t right, int32_t bottom)
        : mLeft(left), mTop(top), mRight(right), mBottom(bottom)
    {
    }
    Insets(const Insets& other) = default;
    Insets& operator=(const Insets& other) = default;
};

class WidgetContainer
{
public:
    typedef std::list<Widget*> WidgetList;

    // Children, back to front: the first is drawn first and lies lowest. A list, so that
    // the update position stays valid while children are added and removed.
    WidgetList mWidgets;
    // Manager of the tree this container belongs to (the manager points to itself);
    // null while detached.
    WidgetManager* mWidgetManager;
    // Container holding this one; the manager for top-level widgets, null for the
    // manager and for detached widgets.
    WidgetContainer* mParent;
    // RemoveWidget or a z-order operation advanced mUpdatePos itself.
    bool mUpdatePosMoved;
    // Child being visited by UpdateAll/UpdateFAll; mWidgets.end() between passes.
    WidgetList::iterator mUpdatePos;
    // The manager's update count when Update was last called (once per frame).
    uint32_t mLastUpdateTick;
    // Update calls of this container; for the manager, the frame count.
    int32_t mUpdateCount;
    // Must be redrawn.
    bool mDirty;
    // Position in the parent's coordinates, and size, in pixels.
    int32_t mX;
    int32_t mY;
    int32_t mWidth;
    int32_t mHeight;
    // What lies below shows through it.
    bool mTranslucent;
    // DrawAll clips drawing to (0, 0, mWidth, mHeight).
    bool mClipToBounds;
    // Applied to the flags passed down to this container.
    FlagsMod mFlagsMod;
    // Orders the drawing of deferred overlays; Dialog sets 1.
    int32_t mPriority;
    // Z band ordering mWidgets; 0 throughout this system.
    int32_t mZOrder;

public:
    WidgetContainer();
    WidgetContainer(const WidgetContainer&) = delete;
    WidgetContainer& operator=(const WidgetContainer&) = delete;
    // Deletes no child and tells no one, but leaves no pointer to itself behind: it
    // leaves its parent's list, and its children are left without a parent.
    virtual ~WidgetContainer();

    // (mX, mY, mWidth, mHeight).
    virtual TRect<int> GetRect();
    // The two rects overlap with a positive area (touching edges do not count).
    virtual bool Intersects(WidgetContainer* other);
    // Frontmost of its z band; a child already present stays where it is.
    virtual void AddWidget(Widget* widget);
    // Detaches the widget and its subtree from the manager; a non-child is ignored.
    virtual void RemoveWidget(Widget* widget);
    virtual bool HasWidget(Widget* widget);
    // Nothing here; the manager drops its references to the widget.
    virtual void DisableWidget(Widget* widget);
    virtual void RemoveAllWidgets(bool doDelete = false, bool recursive = false);
    // Nothing here; the manager moves the keyboard focus.
    virtual void SetFocus(Widget* widget);
    // a comes before b in a depth-first walk of the tree below this container (children
    // back to front); IsBelow(a, null) is true for any a in the tree.
    virtual bool IsBelow(Widget* a, Widget* b);
    virtual void MarkAllDirty();
    virtual void BringToFront(Widget* widget);
    virtual void BringToBack(Widget* widget);
    // Directly behind / in front of ref (frontmost when ref is not a child).
    virtual void PutBehind(Widget* widget, Widget* ref);
    virtual void PutInfront(Widget* widget, Widget* ref);
    // Position in the manager's coordinates.
    virtual TPoint<int> GetAbsPos();
    // Redraw this container.
    virtual void MarkDirty();
    // Redraw this container and what it covers (it moves, hides or does not paint all
    // of its rect).
    virtual void MarkDirtyFull();
    virtual void MarkDirtyFull(WidgetContainer* child);
    virtual void MarkDirty(WidgetContainer* child);
    // The container (or an ancestor) joined / left the manager's tree.
    virtual void AddedToManager(WidgetManager* manager);
    virtual void RemovedFromManager(WidgetManager* manager);
    // Once per fixed update step (10 ms); counts mUpdateCount here.
    virtual void Update();
    virtual void UpdateAll(ModalFlags* flags);
    // Between update steps; fraction of a step.
    virtual void UpdateF(float fraction);
    virtual void UpdateFAll(ModalFlags* flags, float fraction);
    // g is translated to this container's origin.
    virtual void Draw(Graphics* g);
    virtual void DrawAll(ModalFlags* flags, Graphics* g);
    virtual void SysColorChangedAll();
    virtual void SysColorChanged();

    bool IsBelowHelper(Widget* a, Widget* b, bool* found);
    // Inserts keeping mWidgets sorted by mZOrder; returns the new entry.
    WidgetList::iterator InsertWidgetHelper(WidgetList::iterator start, Widget* widget);
    // Hit test; x, y in this container's coordinates, local coordinates written on a hit.
    Widget* GetWidgetAtHelper(int x, int y, int flags, bool* found, int* localX, int* localY);

protected:
    // This widget's subtree is leaving the manager (WidgetRemovedHelper runs): its hooks
    // cannot re-attach it, and children added meanwhile stay detached.
    bool mLeavingManager;

    // Marks this container dirty even when it already is: its area changed, and what
    // lies in front of the new area must be redrawn too.
    void MarkDirtyAgain();

private:
    // The root's spread runs hooks while it holds marks ahead (MarkedAhead).
    bool mMarksAhead = false;
    // Changes with every change of mWidgets, unique among all containers: the dirty
    // spread keeps its copy of a root's list until it changes.
    uint32_t mWidgetsVersion;
    // What tells those holding this node across a call that it was deleted (WidgetRef.h);
    // made by the first of them.
    friend class NodeLife;
    NodeLife* mLife = nullptr;

    // Spreads a dirty mark among the root's children (DirtySpread.cpp).
    class DirtySpread;

    // The root's part of MarkDirty(child) (full: MarkDirtyFull(child)), the child
    // already marked.
    void SpreadDirty(WidgetContainer* child, bool full);
    // The root's spread under way marked the child ahead of the rules (DirtySpread.cpp):
    // for a hook, that is no mark yet.
    bool MarkedAhead(WidgetContainer* child);
    void WidgetsChanged();
    // container is this one or one of its ancestors.
    bool IsInParentChain(WidgetContainer* container);
    // Moves mUpdatePos past pos when a pass stands on it, so that the pass neither skips
    // nor repeats a child.
    void StepUpdatePosPast(WidgetList::iterator pos);
    // The z-order move: takes the child out and reinserts it from a start position
    // (kFront: the end, kBack: the first child, kBehind: ref's entry, kInfront: after ref).
    enum Placement
    {
        kFront,
        kBack,
        kBehind,
        kInfront
    };
    void ReorderWidget(Widget* widget, Placement placement, Widget* ref);
    WidgetList::iterator FindWidget(Widget* widget);
};

// A counted rectangle with no caller in the framework: x and y in [x, x + width) and
// [y, y + height).
class LightWidget : public RefCount
{
public:
    int32_t mX;
    int32_t mY;
    int32_t mWidth;
    int32_t mHeight;

public:
    LightWidget() : mX(0), mY(0), mWidth(0), mHeight(0) {}

    bool Contains(int x, int y) const { return TRect<int>(mX, mY, mWidth, mHeight).Contains(x, y); }
    bool Intersects(const TRect<int>& rect) const
    {
        return TRect<int>(mX, mY, mWidth, mHeight).Intersects(rect);
    }
    bool Intersects(const LightWidget* other) const
    {
        return Intersects(TRect<int>(other->mX, other->mY, other->mWidth, other->mHeight));
    }
};

} // namespace Vaxo
