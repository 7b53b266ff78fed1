#include "widgets/WidgetContainer.h"

#include "graphics/Graphics.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#if defined(__GNUC__)
#define VAXO_ALWAYS_INLINE __attribute__((always_inline))
#else
#define VAXO_ALWAYS_INLINE
#endif

namespace Vaxo
{

namespace
{

// Saves the two flag words of a pass and puts them back on every way out; the
// above-modal switch is left as the pass set it.
class FlagWordsGuard
{
public:
    explicit FlagWordsGuard(ModalFlags* flags)
        : mFlags(flags), mAboveFlags(flags->mAboveFlags), mBelowFlags(flags->mBelowFlags)
    {
    }
    ~FlagWordsGuard()
    {
        mFlags->mAboveFlags = mAboveFlags;
        mFlags->mBelowFlags = mBelowFlags;
    }
    FlagWordsGuard(const FlagWordsGuard&) = delete;
    FlagWordsGuard& operator=(const FlagWordsGuard&) = delete;

private:
    ModalFlags* mFlags;
    int32_t mAboveFlags;
    int32_t mBelowFlags;
};

// The children as they are now: hooks called while walking may add, remove or reorder
// children, so walks that call hooks go over a copy and skip what left meanwhile.
std::vector<Widget*> Snapshot(const WidgetContainer::WidgetList& widgets)
{
    return std::vector<Widget*>(widgets.begin(), widgets.end());
}

// An UpdateAll, UpdateFAll or DrawAll running on a container, linked innermost first. A
// hook called from a pass may delete the container (a listener's nested modal loop runs
// a safe-delete pass; a widget takes itself out of a draw) or children the pass has
// still to visit; the destructor marks the container's passes, which then stop touching
// it, and clears it from the children a pass walks.
class RunningPass
{
public:
    explicit RunningPass(WidgetContainer* container, std::vector<Widget*>* children = nullptr)
        : mContainer(container), mChildren(children), mOuter(sInnermost)
    {
        sInnermost = this;
    }
    ~RunningPass() { sInnermost = mOuter; }
    RunningPass(const RunningPass&) = delete;
    RunningPass& operator=(const RunningPass&) = delete;

    bool Deleted() const { return mDeleted; }

    static void ContainerDeleted(WidgetContainer* container)
    {
        for (RunningPass* pass = sInnermost; pass != nullptr; pass = pass->mOuter)
        {
            if (pass->mContainer == container)
                pass->mDeleted = true;
            if (pass->mChildren != nullptr)
            {
                for (Widget*& child : *pass->mChildren)
                {
                    if (static_cast<WidgetContainer*>(child) == container)
                        child = nullptr;
                }
            }
        }
    }

private:
    static RunningPass* sInnermost;
    WidgetContainer* mContainer;
    std::vector<Widget*>* mChildren;
    RunningPass* mOuter;
    bool mDeleted = false;
};

RunningPass* RunningPass::sInnermost = nullptr;

// The pixel columns (or rows) a rectangle takes along one axis, first and last included.
// One of no size (or a negative one) stands on its first column: Intersects finds such a
// rectangle only in one that covers that column, and never in another of no size.
struct PixelSpan
{
    int64_t lo;
    int64_t hi;

    PixelSpan(int64_t first, int64_t last) : lo(first), hi(last) {}
    static PixelSpan Columns(const TRect<int>& r) { return Along(r.mX, r.mWidth); }
    static PixelSpan Rows(const TRect<int>& r) { return Along(r.mY, r.mHeight); }

private:
    static PixelSpan Along(int32_t pos, int32_t size)
    {
        return PixelSpan(pos, size >= 1 ? int64_t(pos) + size - 1 : int64_t(pos));
    }
};

// Rectangles looked up by overlap (Intersects). A few are scanned; beyond that they are
// bucketed by tiles over the area the root's children span, so that a question looks at
// the nearby ones only, and a tile that one rectangle covers whole answers at once.
class RectIndex
{
public:
    void Clear()
    {
        mEntries.clear();
        mGrid = false;
    }
    bool Empty() const { return mEntries.empty(); }
    // Too many to scan, and no grid yet.
    bool WantsGrid() const { return !mGrid && mEntries.size() > kScanLimit; }
    // Tiles over the bounds (which hold every rectangle added or asked about), about one
    // for every two widgets, at most 64 x 64.
    void UseGrid(const PixelSpan& columns, const PixelSpan& rows, size_t widgets)
    {
        const int64_t side = std::min<int64_t>(64, int64_t(std::sqrt(double(widgets) / 2.0)) + 1);
        mColumns = Axis(columns, side);
        mRows = Axis(rows, side);
        mHead.assign(size_t(mColumns.count) * size_t(mRows.count), -1);
        mCovered.assign(mHead.size(), 0);
        mLinks.clear();
        mGrid = true;
        for (size_t e = 0; e < mEntries.size(); ++e)
            Register(int32_t(e));
    }
    void Add(int32_t id, const TRect<int>& rect)
    {
        mEntries.push_back(Entry{rect, id, 0});
        if (mGrid)
            Register(int32_t(mEntries.size() - 1));
    }
    bool AnyIntersects(const TRect<int>& rect)
    {
        if (!mGrid || !InBounds(rect))
            return std::any_of(mEntries.begin(), mEntries.end(),
                               [&](const Entry& e) { return e.rect.Intersects(rect); });
        // A covered tile answers only for a rectangle with pixels in it.
        const bool solid = rect.mWidth > 0 && rect.mHeight > 0;
        bool hit = false;
        ForTiles(rect,
                 [&](size_t tile)
                 {
                     if (solid && mCovered[tile])
                         hit = true;
                     for (int32_t l = mHead[tile]; l >= 0 && !hit; l = mLinks[size_t(l)].next)
                         hit = mEntries[size_t(mLinks[size_t(l)].entry)].rect.Intersects(rect);
                     return !hit;
                 });
        return hit;
    }
    // Calls near(id, its rectangle) once for every rectangle that may overlap rect (at
    // least every one that does), until near returns false.
    template <class Near> void ForEachNear(const TRect<int>& rect, Near near)
    {
        if (!mGrid || !InBounds(rect))
        {
            for (const Entry& e : mEntries)
                if (!near(e.id, e.rect))
                    return;
            return;
        }
        ++mVisit;
        ForTiles(rect,
                 [&](size_t tile)
                 {
                     for (int32_t l = mHead[tile]; l >= 0; l = mLinks[size_t(l)].next)
                     {
                         Entry& e = mEntries[size_t(mLinks[size_t(l)].entry)];
                         if (e.visit == mVisit)
                             continue;
                         e.visit = mVisit;
                         if (!near(e.id, e.rect))
                             return false;
                     }
                     return true;
                 });
    }

private:
    static const size_t kScanLimit = 16;

    struct Entry
    {
        TRect<int> rect;
        int32_t id;
        uint32_t visit; // the ForEachNear call that last met it
    };
    // Entry in one tile's list.
    struct Link
    {
        int32_t entry;
        int32_t next;
    };
    // One axis of the grid: count tiles of 2^shift pixels, from first to last (a power
    // of two, so that finding a tile takes no division).
    struct Axis
    {
        int64_t first = 0;
        int64_t last = 0;
        int32_t shift = 0;
        int64_t count = 1;

        Axis() = default;
        Axis(const PixelSpan& span, int64_t tiles) : first(span.lo), last(span.hi)
        {
            while (((last - first) >> shift) + 1 > tiles)
                ++shift;
            count = ((last - first) >> shift) + 1;
        }
        int64_t Tile(int64_t v) const { return std::clamp<int64_t>((v - first) >> shift, 0, count - 1); }
        bool Covers(const PixelSpan& span, int64_t tile) const
        {
            return span.lo <= first + (tile << shift) &&
                   span.hi >= std::min(last, first + ((tile + 1) << shift) - 1);
        }
    };

    bool InBounds(const TRect<int>& rect) const
    {
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        return c.lo >= mColumns.first && c.hi <= mColumns.last && r.lo >= mRows.first && r.hi <= mRows.last;
    }
    // Calls visit(tile) for the tiles under rect, until it returns false.
    template <class Visit> void ForTiles(const TRect<int>& rect, Visit visit)
    {
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        for (int64_t row = mRows.Tile(r.lo); row <= mRows.Tile(r.hi); ++row)
            for (int64_t col = mColumns.Tile(c.lo); col <= mColumns.Tile(c.hi); ++col)
                if (!visit(size_t(row * mColumns.count + col)))
                    return;
    }
    void Register(int32_t entry)
    {
        const TRect<int>& rect = mEntries[size_t(entry)].rect;
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        const bool solid = rect.mWidth > 0 && rect.mHeight > 0;
        for (int64_t row = mRows.Tile(r.lo); row <= mRows.Tile(r.hi); ++row)
            for (int64_t col = mColumns.Tile(c.lo); col <= mColumns.Tile(c.hi); ++col)
            {
                const size_t tile = size_t(row * mColumns.count + col);
                mLinks.push_back(Link{entry, mHead[tile]});
                mHead[tile] = int32_t(mLinks.size() - 1);
                if (solid && mColumns.Covers(c, col) && mRows.Covers(r, row))
                    mCovered[tile] = 1;
            }
    }

    std::vector<Entry> mEntries;
    bool mGrid = false;
    Axis mColumns;
    Axis mRows;
    std::vector<int32_t> mHead; // first link of each tile's list, -1 for none
    std::vector<uint8_t> mCovered;
    std::vector<Link> mLinks;
    uint32_t mVisit = 0;
};

// Versions of the containers' child lists (trees may live on several threads).
std::atomic<uint32_t> gNextWidgetsVersion{0};

// Lets what lies below show: the root redraws it before the widget's drawing.
bool SeesThrough(const Widget* widget)
{
    return widget->mTranslucent || widget->mHasTransparentParts;
}

} // namespace

WidgetContainer::WidgetContainer()
    : mWidgetManager(nullptr), mParent(nullptr), mUpdatePosMoved(false), mUpdatePos(mWidgets.end()),
      mLastUpdateTick(0), mUpdateCount(0), mDirty(false), mX(0), mY(0), mWidth(0), mHeight(0),
      mTranslucent(false), mClipToBounds(true), mPriority(0), mZOrder(0), mLeavingManager(false),
      mWidgetsVersion(++gNextWidgetsVersion)
{
}

WidgetContainer::~WidgetContainer()
{
    RunningPass::ContainerDeleted(this);
    // Neither the parent nor the children are told (no hooks, no manager), but none may
    // keep pointing here, nor this at them: the next walk of the parent's list, or the
    // next mark or move of a child, would reach the deleted container. Whichever of a
    // parent and a child goes first unlinks the two.
    if (mParent != nullptr)
    {
        WidgetList& siblings = mParent->mWidgets;
        for (auto it = siblings.begin(); it != siblings.end(); ++it)
        {
            if (static_cast<WidgetContainer*>(*it) == this)
            {
                mParent->StepUpdatePosPast(it);
                siblings.erase(it);
                mParent->WidgetsChanged();
                break;
            }
        }
    }
    for (Widget* child : mWidgets)
        child->mParent = nullptr;
}

TRect<int> WidgetContainer::GetRect()
{
    return TRect<int>(mX, mY, mWidth, mHeight);
}

bool WidgetContainer::Intersects(WidgetContainer* other)
{
    return GetRect().Intersects(other->GetRect());
}

WidgetContainer::WidgetList::iterator WidgetContainer::FindWidget(Widget* widget)
{
    for (auto it = mWidgets.begin(); it != mWidgets.end(); ++it)
    {
        if (*it == widget)
            return it;
    }
    return mWidgets.end();
}

bool WidgetContainer::IsInParentChain(WidgetContainer* container)
{
    for (WidgetContainer* c = this; c != nullptr; c = c->mParent)
    {
        if (c == container)
            return true;
    }
    return false;
}

void WidgetContainer::AddWidget(Widget* widget)
{
    // A widget lives in one list at a time, and never inside its own subtree; one whose
    // removal is under way cannot come back from that removal's hooks.
    if (widget == nullptr || widget->mLeavingManager || IsInParentChain(widget) || HasWidget(widget))
        return;
    if (widget->mParent != nullptr)
        widget->mParent->RemoveWidget(widget);
    // The removal's hooks may have put the widget elsewhere again, or this container
    // inside the widget's subtree.
    if (widget->mParent != nullptr || widget->mLeavingManager || IsInParentChain(widget))
        return;

    InsertWidgetHelper(mWidgets.end(), widget);
    WidgetManager* manager = mLeavingManager ? nullptr : mWidgetManager;
    widget->mWidgetManager = manager;
    widget->mParent = this;
    if (manager != nullptr)
    {
        widget->AddedToManager(manager);
        widget->MarkDirtyFull();
        manager->RehupMouse();
    }
    MarkDirty();
}

void WidgetContainer::RemoveWidget(Widget* widget)
{
    if (FindWidget(widget) == mWidgets.end())
        return;
    widget->WidgetRemovedHelper();
    // The removal's hooks may have taken the widget out already (or elsewhere).
    if (widget->mParent != this)
        return;
    auto it = FindWidget(widget);
    if (it == mWidgets.end())
        return;
    widget->mParent = nullptr;
    StepUpdatePosPast(it);
    mWidgets.erase(it);
    WidgetsChanged();
}

bool WidgetContainer::HasWidget(Widget* widget)
{
    return FindWidget(widget) != mWidgets.end();
}

void WidgetContainer::DisableWidget(Widget* widget)
{
    (void)widget;
}

void WidgetContainer::RemoveAllWidgets(bool doDelete, bool recursive)
{
    while (!mWidgets.empty())
    {
        Widget* widget = mWidgets.front();
        RemoveWidget(widget);
        if (recursive)
            widget->RemoveAllWidgets(doDelete, true);
        if (doDelete)
            delete widget;
    }
}

void WidgetContainer::SetFocus(Widget* widget)
{
    (void)widget;
}

bool WidgetContainer::IsBelow(Widget* a, Widget* b)
{
    bool found = false;
    return IsBelowHelper(a, b, &found);
}

bool WidgetContainer::IsBelowHelper(Widget* a, Widget* b, bool* found)
{
    for (Widget* child : mWidgets)
    {
        if (child == a)
        {
            *found = true;
            return true;
        }
        if (child == b)
        {
            *found = true;
            return false;
        }
        bool below = child->IsBelowHelper(a, b, found);
        if (*found)
            return below;
    }
    return false;
}

void WidgetContainer::MarkAllDirty()
{
    MarkDirty();
    for (Widget* child : mWidgets)
    {
        child->mDirty = true;
        child->MarkAllDirty();
    }
}

WidgetContainer::WidgetList::iterator WidgetContainer::InsertWidgetHelper(WidgetList::iterator start,
                                                                          Widget* widget)
{
    auto it = start;
    while (it != mWidgets.end() && (*it)->mZOrder < widget->mZOrder)
        ++it;
    if (it != mWidgets.end() && ((*it)->mZOrder == widget->mZOrder || it == mWidgets.begin()))
    {
        WidgetsChanged();
        return mWidgets.insert(it, widget);
    }
    // A higher band (or the end): back up to the last child of this band or below.
    while (it != mWidgets.begin())
    {
        auto prev = std::prev(it);
        if ((*prev)->mZOrder <= widget->mZOrder)
            break;
        it = prev;
    }
    WidgetsChanged();
    return mWidgets.insert(it, widget);
}

void WidgetContainer::WidgetsChanged()
{
    mWidgetsVersion = ++gNextWidgetsVersion;
}

void WidgetContainer::StepUpdatePosPast(WidgetList::iterator pos)
{
    if (mUpdatePos == pos)
    {
        ++mUpdatePos;
        mUpdatePosMoved = true;
    }
}

void WidgetContainer::ReorderWidget(Widget* widget, Placement placement, Widget* ref)
{
    auto it = FindWidget(widget);
    // Behind or in front of itself, a widget is where it belongs already.
    if (it == mWidgets.end() || ((placement == kBehind || placement == kInfront) && ref == widget))
        return;
    StepUpdatePosPast(it);
    mWidgets.erase(it);
    WidgetsChanged();

    auto start = mWidgets.end();
    if (placement == kBack)
        start = mWidgets.begin();
    else if (placement == kBehind || placement == kInfront)
    {
        auto refIt = FindWidget(ref);
        if (refIt != mWidgets.end())
            start = placement == kBehind ? refIt : std::next(refIt);
    }
    InsertWidgetHelper(start, widget);
    // The widget now covers, or is covered by, other widgets than before.
    widget->MarkDirtyAgain();
    widget->OrderInManagerChanged();
}

void WidgetContainer::BringToFront(Widget* widget)
{
    ReorderWidget(widget, kFront, nullptr);
}

void WidgetContainer::BringToBack(Widget* widget)
{
    ReorderWidget(widget, kBack, nullptr);
}

void WidgetContainer::PutBehind(Widget* widget, Widget* ref)
{
    ReorderWidget(widget, kBehind, ref);
}

void WidgetContainer::PutInfront(Widget* widget, Widget* ref)
{
    ReorderWidget(widget, kInfront, ref);
}

TPoint<int> WidgetContainer::GetAbsPos()
{
    if (mParent == nullptr)
        return TPoint<int>(mX, mY);
    return mParent->GetAbsPos() + TPoint<int>(mX, mY);
}

void WidgetContainer::MarkDirty()
{
    if (mParent != nullptr)
        mParent->MarkDirty(this);
    else
        mDirty = true;
}

void WidgetContainer::MarkDirtyAgain()
{
    mDirty = false;
    MarkDirty();
}

void WidgetContainer::MarkDirtyFull()
{
    if (mParent != nullptr)
        mParent->MarkDirtyFull(this);
    else
        mDirty = true;
}

void WidgetContainer::MarkDirty(WidgetContainer* child)
{
    if (child->mDirty)
        return;
    MarkDirty();
    child->mDirty = true;
    if (mParent == nullptr)
        SpreadDirty(child, false);
}

void WidgetContainer::MarkDirtyFull(WidgetContainer* child)
{
    MarkDirtyFull();
    child->mDirty = true;
    if (mParent == nullptr)
        SpreadDirty(child, true);
}

// At the root, a mark spreads. What lies in front of a marked child and overlaps it is
// drawn after it, so it must be drawn again too (and so on from there). Where a child
// lets what is below show (translucent, or parts it does not paint), that must be drawn
// fresh first, or the child's drawing there lands on its own last frame: the widgets
// below it that overlap it are marked, down to the first opaque one that hides all of
// its area (which is marked through its own MarkDirty). A full mark spreads both ways
// whatever the child is. A widget already dirty stops the spread.
//
// Marking one widget at a time, each with a walk of the list, costs the number of
// widgets for every widget marked; the spread instead walks the list in rounds, up for
// the widgets in front of the marked ones and down for those below the see-through
// ones, every marked widget joining the walk under way. Marks made from the hooks it
// calls join it too. Each round walks the list once, and the marks come out as the
// widget-by-widget rules give them, in whatever order they are made. Overlaps are taken
// from the widgets' rects (GetRect), as Intersects takes them.
class WidgetContainer::DirtySpread
{
public:
    WidgetContainer* Root() const { return mRoot; }

    // Starts a spread over the root's children as they are now (marking changes no list
    // and no widget's place). What it needs of a widget is read when first needed: a
    // mark near the front reads few.
    void Begin(WidgetContainer& root)
    {
        // The copy of the list stays while the list stays.
        if (mRoot != &root || mWidgetsVersion != root.mWidgetsVersion)
        {
            mRoot = &root;
            mWidgetsVersion = root.mWidgetsVersion;
            mWidgets.assign(root.mWidgets.begin(), root.mWidgets.end());
        }
        mCount = int32_t(mWidgets.size());
        if (mNodes.size() < mWidgets.size())
            mNodes.resize(mWidgets.size());
        if (++mStamp == 0)
        {
            std::fill(mNodes.begin(), mNodes.end(), Node());
            mStamp = 1;
        }
        mBounds = PixelSpan(0, -1);
        mRowBounds = mBounds;
        mUpFrom = mCount;
        mDownFrom = -1;
    }

    // child has just been marked; full: by MarkDirtyFull.
    void Seed(WidgetContainer* child, bool full)
    {
        const auto it = std::find(mWidgets.begin(), mWidgets.end(), child);
        if (it == mWidgets.end())
            return;
        const int32_t i = int32_t(it - mWidgets.begin());
        Node& node = At(i);
        node.dirty = true;
        Spread(i, full || node.seesThrough);
    }

    void Run()
    {
        while (mUpFrom < mCount || mDownFrom >= 0)
        {
            SweepDown();
            SweepUp();
        }
    }

private:
    enum Phase
    {
        kIdle,
        kUp,
        kDown
    };
    // What the spread needs of a widget, read once: the walks go over the list several
    // times and read these only.
    struct Node
    {
        TRect<int> rect;
        uint32_t stamp = 0; // the spread that read it
        bool visible = false;
        bool seesThrough = false;
        bool dirty = false; // as the widget's mDirty, which the spread sets through Reach
        bool up = false;    // marked, waiting to mark what overlaps it in front
        bool down = false;  // see-through and marked, waiting to walk down
    };
    // A widget whose area shows what lies below, walking down.
    struct Below
    {
        TRect<int> rect;
        TRect<int> area; // rect within the root
        bool walking;    // no opaque widget hiding all of the area met yet
    };

    // Asks for the memory of widget i some steps ahead of a walk: its fields when not
    // read yet, its dirty mark when the walk up may set it. The walks meet each widget
    // far from the last, and would otherwise wait for each in turn.
    static const int32_t kAhead = 16;
    // Inlined from the start: gcc takes a function that only prefetches for one without
    // effect, and drops the calls to it.
    VAXO_ALWAYS_INLINE void Ahead(int32_t i, bool up)
    {
#if defined(__GNUC__)
        const Node& node = mNodes[size_t(i)];
        const Widget* widget = mWidgets[size_t(i)];
        if (node.stamp != mStamp)
        {
            __builtin_prefetch(widget);
            __builtin_prefetch(&widget->mDirty);
            __builtin_prefetch(&widget->mHasTransparentParts);
        }
        else if (up && !node.dirty)
            __builtin_prefetch(&widget->mDirty, 1);
#else
        (void)i;
        (void)up;
#endif
    }

    Node& At(int32_t i)
    {
        Node& node = mNodes[size_t(i)];
        if (node.stamp != mStamp)
        {
            Widget* widget = mWidgets[size_t(i)];
            node.rect = widget->GetRect();
            node.stamp = mStamp;
            node.visible = widget->mVisible;
            node.seesThrough = SeesThrough(widget);
            node.dirty = widget->mDirty;
            node.up = false;
            node.down = false;
        }
        return node;
    }

    // MarkDirty(widget i) at the root, from the spread.
    void Reach(int32_t i)
    {
        Node& node = mNodes[size_t(i)];
        if (node.dirty)
            return;
        node.dirty = true;
        mWidgets[size_t(i)]->mDirty = true;
        Spread(i, node.seesThrough);
    }

    // Widget i, just marked, marks what overlaps it in front and, with below, behind.
    // The sweeps pick the waiting widgets up as they pass them; one that a sweep under
    // way has passed (a hook of a hiding widget marked it) waits for the next round. The
    // sweep up calls no hook: what it marks stands where it is.
    void Spread(int32_t i, bool below)
    {
        Node& node = mNodes[size_t(i)];
        node.up = true;
        if (mPhase != kUp)
            mUpFrom = std::min(mUpFrom, i);
        if (!below)
            return;
        node.down = true;
        if (mPhase != kDown || i > mPos)
            mDownFrom = std::max(mDownFrom, i);
    }

    // Up the list from the lowest waiting widget: each visible clean widget that
    // overlaps a marked one behind it is marked.
    void SweepUp()
    {
        if (mUpFrom >= mCount)
            return;
        mPhase = kUp;
        mIndex.Clear();
        mCover = -1;
        for (mPos = mUpFrom, mUpFrom = mCount; mPos < mCount; ++mPos)
        {
            if (mPos + kAhead < mCount)
                Ahead(mPos + kAhead, true);
            Node& node = At(mPos);
            if (mCover >= 0 && node.visible && !node.dirty &&
                (node.rect.Intersects(mCoverRect) || mIndex.AnyIntersects(node.rect)))
                Reach(mPos);
            // One within the largest so far would change no answer.
            if (node.up)
            {
                node.up = false;
                if (mCover < 0 || !Within(node.rect, mCoverRect))
                    AddUpSource(mPos, node.rect);
            }
        }
        mPhase = kIdle;
    }

    void AddUpSource(int32_t i, const TRect<int>& rect)
    {
        mIndex.Add(i, rect);
        if (mCover < 0 || Area(rect) > Area(mCoverRect))
        {
            mCover = i;
            mCoverRect = rect;
        }
        UseGridIfNeeded();
    }

    // Down the list from the highest waiting see-through widget, each walking down to
    // the first visible opaque widget that hides all of its area: that one gets its
    // MarkDirty; before it, each visible widget overlapping a walking one is marked.
    void SweepDown()
    {
        if (mDownFrom < 0)
            return;
        mPhase = kDown;
        mIndex.Clear();
        mBelow.clear();
        mOffScreen.clear();
        mWalkColumns = PixelSpan(INT64_MAX, INT64_MIN);
        mWalkRows = mWalkColumns;
        int32_t walking = 0;
        for (mPos = mDownFrom, mDownFrom = -1; mPos >= 0; --mPos)
        {
            if (mPos >= kAhead)
                Ahead(mPos - kAhead, false);
            Node& node = At(mPos);
            // A widget away from every walk meets none, and a see-through one already
            // dirty would change nothing.
            if (walking > 0 && node.visible && !(node.dirty && node.seesThrough) &&
                (!mOffScreen.empty() || Near(node.rect, mWalkColumns, mWalkRows)))
                MeetBelow(node, walking);
            if (node.down)
            {
                node.down = false;
                StartWalk(node.rect);
                ++walking;
            }
        }
        mPhase = kIdle;
    }

    void StartWalk(const TRect<int>& rect)
    {
        const TRect<int> screen(0, 0, mRoot->mWidth, mRoot->mHeight);
        mBelow.push_back(Below{rect, rect.Intersection(screen), true});
        const int32_t id = int32_t(mBelow.size() - 1);
        // An area of no size (the widget is off the root) can be hidden by a widget it
        // does not overlap: such walks are asked apart.
        if (mBelow.back().area.mWidth <= 0 || mBelow.back().area.mHeight <= 0)
        {
            mOffScreen.push_back(id);
            return;
        }
        mIndex.Add(id, rect);
        UseGridIfNeeded();
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        mWalkColumns = PixelSpan(std::min(mWalkColumns.lo, c.lo), std::max(mWalkColumns.hi, c.hi));
        mWalkRows = PixelSpan(std::min(mWalkRows.lo, r.lo), std::max(mWalkRows.hi, r.hi));
    }

    // The widget at mPos meets the walks under way: the walks it hides end there, and it
    // is marked when it overlaps one still walking.
    void MeetBelow(const Node& node, int32_t& walking)
    {
        const TRect<int>& rect = node.rect;
        Widget* widget = mWidgets[size_t(mPos)];
        const bool opaque = !node.seesThrough;
        bool overlaps = false;
        bool hides = false;
        // An opaque widget hides what lies within it, which it overlaps; a see-through
        // one hides nothing, so one overlap is all it needs.
        auto meet = [&](int32_t id, const TRect<int>&)
        {
            Below& below = mBelow[size_t(id)];
            if (!below.walking)
                return true;
            if (opaque && Hides(rect, widget, below.area))
            {
                below.walking = false;
                --walking;
                hides = true;
            }
            else if (!overlaps && rect.Intersects(below.rect))
            {
                overlaps = true;
                return opaque;
            }
            return true;
        };
        mIndex.ForEachNear(rect, meet);
        for (int32_t id : mOffScreen)
            meet(id, mBelow[size_t(id)].rect);
        if (overlaps)
            Reach(mPos);
        if (hides)
            widget->MarkDirty();
    }

    // The widget (at rect) holds the area's first and last pixel. Its Contains is asked
    // only where its rect holds them.
    static bool Hides(const TRect<int>& rect, Widget* widget, const TRect<int>& area)
    {
        const int32_t right = area.mX + area.mWidth - 1, bottom = area.mY + area.mHeight - 1;
        return rect.Contains(area.mX, area.mY) && rect.Contains(right, bottom) &&
               widget->Contains(area.mX, area.mY) && widget->Contains(right, bottom);
    }

    // The rectangle's columns and rows reach into the spans (as they must for it to
    // overlap, or hide, a rectangle within them).
    static bool Near(const TRect<int>& rect, const PixelSpan& columns, const PixelSpan& rows)
    {
        const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
        return c.lo <= columns.hi && c.hi >= columns.lo && r.lo <= rows.hi && r.hi >= rows.lo;
    }
    static bool Within(const TRect<int>& inner, const TRect<int>& outer)
    {
        return inner.mX >= outer.mX && inner.mY >= outer.mY &&
               int64_t(inner.mX) + inner.mWidth <= int64_t(outer.mX) + outer.mWidth &&
               int64_t(inner.mY) + inner.mHeight <= int64_t(outer.mY) + outer.mHeight;
    }
    static int64_t Area(const TRect<int>& rect)
    {
        return rect.mWidth > 0 && rect.mHeight > 0 ? int64_t(rect.mWidth) * rect.mHeight : 0;
    }

    // Past a few rectangles the index buckets them over the area all the children span,
    // which takes reading every widget once.
    void UseGridIfNeeded()
    {
        if (!mIndex.WantsGrid())
            return;
        if (mBounds.hi < mBounds.lo)
        {
            mBounds = PixelSpan(INT64_MAX, INT64_MIN);
            mRowBounds = mBounds;
            for (int32_t i = 0; i < mCount; ++i)
            {
                const TRect<int>& rect = At(i).rect;
                const PixelSpan c = PixelSpan::Columns(rect), r = PixelSpan::Rows(rect);
                mBounds = PixelSpan(std::min(mBounds.lo, c.lo), std::max(mBounds.hi, c.hi));
                mRowBounds = PixelSpan(std::min(mRowBounds.lo, r.lo), std::max(mRowBounds.hi, r.hi));
            }
        }
        mIndex.UseGrid(mBounds, mRowBounds, size_t(mCount));
    }

    // Kept from one spread to the next (they run on every mark), so that none of them
    // allocates again.
    WidgetContainer* mRoot = nullptr;
    uint32_t mWidgetsVersion = 0; // of the root's list copied into mWidgets
    int32_t mCount = 0;
    // The root's children, back to front, and what was read of each (valid with mStamp).
    std::vector<Widget*> mWidgets;
    std::vector<Node> mNodes;
    uint32_t mStamp = 0;
    // Columns and rows all the children span; empty until a grid is needed.
    PixelSpan mBounds{0, -1};
    PixelSpan mRowBounds{0, -1};
    Phase mPhase = kIdle;
    // The position the sweep under way stands on.
    int32_t mPos = 0;
    // Where the next sweeps start: the lowest widget waiting to spread up, the highest
    // waiting to walk down (mCount and -1 for none).
    int32_t mUpFrom = 0;
    int32_t mDownFrom = -1;
    // The widgets spreading in the sweep under way: marked widgets behind the position
    // going up, ids into mBelow going down.
    RectIndex mIndex;
    // The largest rectangle spreading up so far, and its widget (-1 for none).
    int32_t mCover = -1;
    TRect<int> mCoverRect;
    std::vector<Below> mBelow;
    std::vector<int32_t> mOffScreen;
    // The columns and rows the walks of mIndex span.
    PixelSpan mWalkColumns{0, -1};
    PixelSpan mWalkRows{0, -1};
};

void WidgetContainer::SpreadDirty(WidgetContainer* child, bool full)
{
    // The spreads under way, innermost last: a mark made from a hook the spread calls
    // joins the spread of its root. Another root's spread may run meanwhile (a hook
    // marks a detached tree); the idle ones keep their storage for the next.
    static thread_local std::vector<std::unique_ptr<DirtySpread>> running;
    static thread_local std::vector<std::unique_ptr<DirtySpread>> idle;
    for (auto& spread : running)
    {
        if (spread->Root() == this)
        {
            spread->Seed(child, full);
            return;
        }
    }
    // The last spread of this root may still hold its list.
    auto last = std::find_if(idle.begin(), idle.end(), [&](auto& spread) { return spread->Root() == this; });
    if (last == idle.end() && !idle.empty())
        last = std::prev(idle.end());
    if (last == idle.end())
        running.push_back(std::make_unique<DirtySpread>());
    else
    {
        running.push_back(std::move(*last));
        idle.erase(last);
    }
    DirtySpread* spread = running.back().get();
    spread->Begin(*this);
    spread->Seed(child, full);
    spread->Run();
    idle.push_back(std::move(running.back()));
    running.pop_back();
}

void WidgetContainer::AddedToManager(WidgetManager* manager)
{
    for (Widget* child : Snapshot(mWidgets))
    {
        // A hook of an earlier child took this container out of the tree: the rest stay
        // detached with it.
        if (mWidgetManager != manager)
            return;
        // A child whose removal is under way stays out; one already attached (this
        // container was taken out and added again meanwhile) has heard the call.
        if (child->mParent != this || child->mLeavingManager || child->mWidgetManager == manager)
            continue;
        child->mWidgetManager = manager;
        child->AddedToManager(manager);
        MarkDirty();
    }
}

void WidgetContainer::RemovedFromManager(WidgetManager* manager)
{
    for (Widget* child : Snapshot(mWidgets))
    {
        // A child whose own removal already ran (WidgetRemovedHelper goes depth first)
        // has heard RemovedFromManager once; it must not hear it again per level. One
        // whose removal is still under way (its hook took this container out) is left
        // to that removal, which also drops what its hooks take again.
        if (child->mParent != this || child->mWidgetManager == nullptr || child->mLeavingManager)
            continue;
        if (manager != nullptr)
            manager->DisableWidget(child);
        child->RemovedFromManager(manager);
        child->mWidgetManager = nullptr;
    }
    if (manager != nullptr && manager->mPopupCommandWidget == this)
        manager->mPopupCommandWidget = nullptr;
}

void WidgetContainer::Update()
{
    ++mUpdateCount;
}

void WidgetContainer::UpdateAll(ModalFlags* flags)
{
    FlagWordsGuard guard(flags);
    flags->ModFlags(mFlagsMod);
    if (flags->GetFlags() & WF_MARK_DIRTY)
        MarkDirty();

    // Hooks below may detach this container; the manager object itself lives on.
    WidgetManager* manager = mWidgetManager;
    if (manager == nullptr)
        return;

    RunningPass pass(this);
    if ((flags->GetFlags() & WF_UPDATE) && mLastUpdateTick != uint32_t(manager->mUpdateCount))
    {
        mLastUpdateTick = uint32_t(manager->mUpdateCount);
        Update();
        if (pass.Deleted())
            return;
    }

    // mUpdatePos is moved by RemoveWidget and the z-order operations, and left at the end
    // by a nested pass over this container, so the walk neither skips nor repeats.
    mUpdatePos = mWidgets.begin();
    while (mUpdatePos != mWidgets.end())
    {
        Widget* child = *mUpdatePos;
        mUpdatePosMoved = false;
        if (child == manager->mBaseModalWidget)
            flags->mAboveModal = true;
        child->UpdateAll(flags);
        if (pass.Deleted())
            return;
        if (!mUpdatePosMoved)
            ++mUpdatePos;
    }
    mUpdatePosMoved = true;
}

void WidgetContainer::UpdateF(float fraction)
{
    (void)fraction;
}

void WidgetContainer::UpdateFAll(ModalFlags* flags, float fraction)
{
    FlagWordsGuard guard(flags);
    flags->ModFlags(mFlagsMod);
    WidgetManager* manager = mWidgetManager;
    RunningPass pass(this);
    if (flags->GetFlags() & WF_UPDATE)
    {
        UpdateF(fraction);
        if (pass.Deleted())
            return;
    }

    mUpdatePos = mWidgets.begin();
    while (mUpdatePos != mWidgets.end())
    {
        Widget* child = *mUpdatePos;
        mUpdatePosMoved = false;
        if (manager != nullptr && child == manager->mBaseModalWidget)
            flags->mAboveModal = true;
        child->UpdateFAll(flags, fraction);
        if (pass.Deleted())
            return;
        if (!mUpdatePosMoved)
            ++mUpdatePos;
    }
    mUpdatePosMoved = true;
}

void WidgetContainer::Draw(Graphics* g)
{
    (void)g;
}

void WidgetContainer::DrawAll(ModalFlags* flags, Graphics* g)
{
    // The hooks below may delete this container or children not drawn yet.
    std::vector<Widget*> children;
    RunningPass pass(this, &children);
    WidgetManager* manager = mWidgetManager;
    if (manager != nullptr && mPriority > manager->mMinDeferredPriority)
    {
        manager->FlushDeferredOverlayWidgets(mPriority);
        if (pass.Deleted())
            return;
    }

    FlagWordsGuard guard(flags);
    flags->ModFlags(mFlagsMod);
    if (mClipToBounds && (flags->GetFlags() & WF_CLIP))
        g->ClipRect(0, 0, mWidth, mHeight);

    if (mWidgets.empty())
    {
        if (flags->GetFlags() & WF_DRAW)
            Draw(g);
        return;
    }

    if (flags->GetFlags() & WF_DRAW)
    {
        g->PushState();
        Draw(g);
        g->PopState();
        if (pass.Deleted())
            return;
    }
    children = Snapshot(mWidgets);
    for (size_t i = 0; i < children.size(); ++i)
    {
        Widget* child = children[i];
        if (child == nullptr || child->mParent != this)
            continue;
        if (manager != nullptr && child == manager->mBaseModalWidget)
            flags->mAboveModal = true;
        if (!child->mVisible)
            continue;
        Graphics childGraphics(*g);
        childGraphics.Translate(child->mX, child->mY);
        child->DrawAll(flags, &childGraphics);
        if (pass.Deleted())
            return;
        if (children[i] != nullptr)
            child->mDirty = false;
    }
}

void WidgetContainer::SysColorChangedAll()
{
    SysColorChanged();
    for (Widget* child : Snapshot(mWidgets))
    {
        if (child->mParent == this)
            child->SysColorChangedAll();
    }
}

void WidgetContainer::SysColorChanged() {}

Widget* WidgetContainer::GetWidgetAtHelper(int x, int y, int flags, bool* found, int* localX, int* localY)
{
    const int ownFlags = mFlagsMod.Apply(flags);
    WidgetManager* manager = mWidgetManager;
    bool belowModal = false;
    for (auto it = mWidgets.rbegin(); it != mWidgets.rend(); ++it)
    {
        Widget* child = *it;
        int childFlags = child->mFlagsMod.Apply(ownFlags);
        if (belowModal && manager != nullptr)
            childFlags = manager->mBelowModalFlagsMod.Apply(childFlags);
        if (manager != nullptr && child == manager->mBaseModalWidget)
            belowModal = true;
        if (!(childFlags & WF_MOUSE) || !child->mVisible)
            continue;

        const int childX = x - child->mX;
        const int childY = y - child->mY;
        Widget* hit = child->mWidgets.empty()
                          ? nullptr
                          : child->GetWidgetAtHelper(childX, childY, childFlags, found, localX, localY);
        if (hit != nullptr)
        {
            *found = true;
            return hit;
        }
        if (child->mMouseVisible && child->GetInsetRect().Contains(x, y))
        {
            *found = true;
            if (child->IsPointVisible(childX, childY))
            {
                if (localX != nullptr)
                    *localX = childX;
                if (localY != nullptr)
                    *localY = childY;
                return child;
            }
        }
    }
    *found = false;
    return nullptr;
}

} // namespace Vaxo
