// The dirty-mark spreading of the widget tree's root: which of its children a mark on one
// of them makes dirty too.
//
// What lies in front of a marked child and overlaps it is drawn after it, so it must be
// drawn again too (and so on from there). Where a child lets what is below show
// (translucent, or parts it does not paint), that must be drawn fresh first, or the
// child's drawing there lands on its own last frame: the widgets below it that overlap it
// are marked, down to the first opaque one that hides all of its area (which is marked
// through its own MarkDirty). A full mark spreads both ways whatever the child is. A
// widget already dirty stops the spread.
//
// Marking one widget at a time, each with a walk of the list, costs the number of widgets
// for every widget marked; the spread instead walks the list in rounds, up for the
// widgets in front of the marked ones and down for those below the see-through ones,
// every marked widget joining the walk under way. Marks made from the hooks it calls
// join it too. Each round walks the list once, and the marks come out as the
// widget-by-widget rules give them, in whatever order they are made. Overlaps are taken
// from the widgets' rects (GetRect), as Intersects takes them; the rectangles a walk
// spreads are looked up in a RectIndex.
//
// One case gets a single pass (MarkAheadOfTheBack): a see-through widget over a
// full-screen background, whose walk down reaches the background, whose mark then
// reaches every widget on the screen. The plain rounds would read every widget going down
// and mark them going up; the pass marks them as the walk reads them.
#include "common/Helpers.h"
#include "widgets/RectIndex.h"
#include "widgets/Widget.h"
#include "widgets/WidgetContainer.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vaxo
{

namespace
{

// Lets what lies below show: the root redraws it before the widget's drawing.
bool SeesThrough(const Widget* widget)
{
    return widget->mTranslucent || widget->mHasTransparentParts;
}

} // namespace

// One spread over a root's children, from its first mark until nothing is waiting.
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
        mBack = -1;
        mBackSpreads = false;
        mSettledTop = -1;
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
        if (mMarkingAhead)
        {
            // A hook's mark: it stands whatever becomes of the pass's.
            if (size_t(i) < mMarkedBy.size())
                mMarkedBy[size_t(i)] = kNotByPass;
            mJoined.push_back(i);
        }
        Spread(i, full || node.seesThrough);
    }

    // A hook's mark of child, dirty, must go on: the pass marked it ahead of the rules.
    bool MarkedAhead(WidgetContainer* child) const
    {
        const auto it = std::find(mWidgets.begin(), mWidgets.end(), child);
        const size_t i = size_t(it - mWidgets.begin());
        return mMarkingAhead && i < mMarkedBy.size() && mMarkedBy[i] == kAheadOfTheBack;
    }

    // The spreads under way on this thread, innermost last: a mark made from a hook the
    // spread calls joins the spread of its root. Another root's spread may run meanwhile
    // (a hook marks a detached tree). The idle ones keep their storage for the next.
    static std::vector<std::unique_ptr<DirtySpread>>& Running()
    {
        static thread_local std::vector<std::unique_ptr<DirtySpread>> running;
        return running;
    }
    static std::vector<std::unique_ptr<DirtySpread>>& Idle()
    {
        static thread_local std::vector<std::unique_ptr<DirtySpread>> idle;
        return idle;
    }

    void Run()
    {
        // A first mark that walks down (nothing else waits).
        if (mDownFrom > 0 && mDownFrom == mUpFrom)
            MarkAheadOfTheBack(mDownFrom);
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
        if (below && i > mBack && i < mSettledTop)
            mSettledTop = -1;
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
        // The background marked by MarkAheadOfTheBack: all that spreads up from behind the
        // start lies within its rect.
        if (mBackSpreads)
        {
            AddUpSource(mBack, mNodes[size_t(mBack)].rect);
            mBackSpreads = false;
        }
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
            if (mPos == mSettledTop - 1 && PassesSettled())
                mPos = mBack;
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

    // The walk down from the see-through widget at top (its first mark, nothing else
    // waiting), where it ends at an opaque widget that covers exactly the root's screen, the
    // background. The background's mark then spreads up over every widget on the screen that
    // the walk passed: each is marked as the walk reads it, ahead of the rules, which mark
    // it later. The pass gives up, taking its marks back, at what it does not foresee: a
    // see-through widget that would walk down too, a widget reaching off the screen, a
    // widget that may end the walk but is not such a background. Up to there it calls no
    // hook. Then the background's own hooks run (Contains, MarkDirty): a hook's mark of a
    // widget marked ahead goes on (MarkedAhead), and where the background was not marked
    // after all, the marks ahead are taken back.
    void MarkAheadOfTheBack(int32_t top)
    {
        const TRect<int> screen(0, 0, mRoot->mWidth, mRoot->mHeight);
        const TRect<int> rect = mNodes[size_t(top)].rect;
        const TRect<int> area = rect.Intersection(screen);
        if (area.mWidth <= 0 || area.mHeight <= 0)
            return;
        mMarkedBy.assign(size_t(top), kNotByPass);
        int32_t widest = 0, tallest = 0;
        int32_t i = top - 1;
        for (; i >= 0; --i)
        {
            if (i >= kAhead)
                Ahead(i - kAhead, false);
            Node& node = At(i);
            if (!node.visible || (node.seesThrough && node.dirty))
                continue;
            if (node.seesThrough || HoldsCorners(node.rect, area))
                break;
            widest = std::max(widest, node.rect.mWidth);
            tallest = std::max(tallest, node.rect.mHeight);
            if (node.dirty)
                continue;
            const bool walk = node.rect.Intersects(rect);
            // What lies within the screen is all a widget within it overlaps (and all the
            // background overlaps).
            if (!walk && !node.rect.Intersects(screen))
                continue;
            if (!Within(node.rect, screen))
                break;
            node.dirty = true;
            mWidgets[size_t(i)]->mDirty = true;
            mMarkedBy[size_t(i)] = walk ? kByWalk : kAheadOfTheBack;
        }
        const int32_t back = i;
        if (back < 0 || mNodes[size_t(back)].seesThrough || mNodes[size_t(back)].dirty ||
            mNodes[size_t(back)].rect != screen)
        {
            TakeBackPass(back + 1, top, true);
            return;
        }

        // The walk ends at the background; its hooks may mark more, and that joins the spread.
        mNodes[size_t(top)].down = false;
        mDownFrom = -1;
        mJoined.clear();
        mMarkingAhead = true;
        mRoot->mMarksAhead = true;
        Widget* widget = mWidgets[size_t(back)];
        if (Hides(screen, widget, area))
            widget->MarkDirty();
        else
            Reach(back);
        mRoot->mMarksAhead = false;
        mMarkingAhead = false;
        Node& node = mNodes[size_t(back)];
        if (!node.up)
        {
            // Not marked: only the walk's marks stand, and spread as its marks do.
            TakeBackPass(back + 1, top, false);
            return;
        }
        // The first sweep up may start at the top with the background's rect, unless a hook
        // left more to do below the top than what lies within it.
        if (mDownFrom >= 0 || mUpFrom < back)
            return;
        for (int32_t j : mJoined)
            if (j < top && !Within(mNodes[size_t(j)].rect, screen))
                return;
        for (int32_t j : mJoined)
            if (j < top)
                mNodes[size_t(j)].up = false;
        node.up = false;
        mUpFrom = top;
        mBack = back;
        mBackSpreads = true;
        // Later walks down may pass over what lies between (PassesSettled).
        mSettledTop = top;
        mWidest = widest;
        mTallest = tallest;
    }

    // The walks under way pass between the background and the top untouched: after a
    // pass that stood, every visible widget there on the screen is marked, a walk within
    // the screen overlaps no other, and none there is large enough to hide a walk's area.
    // The walks go on at the background.
    bool PassesSettled() const
    {
        if (mBack < 0 || !mOffScreen.empty())
            return false;
        const TRect<int> screen(0, 0, mRoot->mWidth, mRoot->mHeight);
        for (const Below& below : mBelow)
        {
            if (below.walking && (!Within(below.rect, screen) ||
                                  (below.area.mWidth <= mWidest && below.area.mHeight <= mTallest)))
                return false;
        }
        return true;
    }

    // Takes back the pass's marks between from and to (not included); all: the walk's too
    // (no hook has run), else those spread.
    void TakeBackPass(int32_t from, int32_t to, bool all)
    {
        for (int32_t i = from; i < to; ++i)
        {
            const uint8_t by = mMarkedBy[size_t(i)];
            if (by == kAheadOfTheBack || (all && by == kByWalk))
            {
                mNodes[size_t(i)].dirty = false;
                mWidgets[size_t(i)]->mDirty = false;
            }
            else if (by == kByWalk)
                Spread(i, false);
        }
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
        return HoldsCorners(rect, area) && widget->Contains(area.mX, area.mY) &&
               widget->Contains(right, bottom);
    }
    static bool HoldsCorners(const TRect<int>& rect, const TRect<int>& area)
    {
        const int32_t right = area.mX + area.mWidth - 1, bottom = area.mY + area.mHeight - 1;
        return rect.Contains(area.mX, area.mY) && rect.Contains(right, bottom);
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
    // MarkAheadOfTheBack: which of the widgets below the top the pass marked, and how; the
    // hooks of the background under way; the marks they made; the background that starts
    // the next sweep up (-1 for none).
    enum MarkedBy : uint8_t
    {
        kNotByPass,
        kByWalk,
        kAheadOfTheBack
    };
    std::vector<uint8_t> mMarkedBy;
    bool mMarkingAhead = false;
    std::vector<int32_t> mJoined;
    int32_t mBack = -1;
    bool mBackSpreads = false;
    // Between mBack and mSettledTop (-1: none), the largest width and height of a
    // visible opaque widget.
    int32_t mSettledTop = -1;
    int32_t mWidest = 0;
    int32_t mTallest = 0;
};

void WidgetContainer::SpreadDirty(WidgetContainer* child, bool full)
{
    auto& running = DirtySpread::Running();
    auto& idle = DirtySpread::Idle();
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

bool WidgetContainer::MarkedAhead(WidgetContainer* child)
{
    for (auto& spread : DirtySpread::Running())
        if (spread->Root() == this)
            return spread->MarkedAhead(child);
    return false;
}

} // namespace Vaxo
