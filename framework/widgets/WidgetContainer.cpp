// The widget tree's nodes: adding, removing and reordering children, the dirty marks
// (spread among the root's children in DirtySpread.cpp), and the update, draw and
// hit-test passes down the tree.
#include "widgets/WidgetContainer.h"

#include "graphics/Graphics.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <atomic>
#include <iterator>
#include <vector>

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

// The update passes' walk over the container's children, calling pass(child) for each.
// mUpdatePos is moved by RemoveWidget and the z-order operations, and left at the end by a
// nested pass over the container, so the walk neither skips nor repeats. It stops once a
// hook deletes the container (self). manager: the container's when the pass began (a
// hook may detach it; the manager object lives on).
template <typename Pass>
void UpdateChildren(WidgetContainer& container, const CallOutScope& self, const WidgetManager* manager,
                    ModalFlags* flags, Pass pass)
{
    container.mUpdatePos = container.mWidgets.begin();
    while (container.mUpdatePos != container.mWidgets.end())
    {
        Widget* child = *container.mUpdatePos;
        container.mUpdatePosMoved = false;
        if (manager != nullptr && child == manager->mBaseModalWidget)
            flags->mAboveModal = true;
        pass(child);
        if (self.Gone())
            return;
        if (!container.mUpdatePosMoved)
            ++container.mUpdatePos;
    }
    container.mUpdatePosMoved = true;
}

// Versions of the containers' child lists (trees may live on several threads).
std::atomic<uint32_t> gNextWidgetsVersion{0};

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
    // Those holding this container across a call learn that it is gone.
    NodeLife::NodeDeleted(this);
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
    // The removal's and the join's hooks may delete the widget or this container.
    const WidgetRef<Widget> added(widget);
    const CallOutScope self(this);
    if (widget->mParent != nullptr)
        widget->mParent->RemoveWidget(widget);
    // The removal's hooks may have put the widget elsewhere again, or this container
    // inside the widget's subtree.
    if (!added || self.Gone() || widget->mParent != nullptr || widget->mLeavingManager ||
        IsInParentChain(widget))
        return;

    InsertWidgetHelper(mWidgets.end(), widget);
    WidgetManager* manager = mLeavingManager ? nullptr : mWidgetManager;
    widget->mWidgetManager = manager;
    widget->mParent = this;
    if (manager != nullptr)
    {
        if (CallOut(widget, [&] { widget->AddedToManager(manager); }))
            widget->MarkDirtyFull();
        if (self.Gone())
            return;
        manager->RehupMouse();
    }
    if (!self.Gone())
        MarkDirty();
}

void WidgetContainer::RemoveWidget(Widget* widget)
{
    // A widget whose removal is under way is taken out by that removal, after it has
    // marked the area the widget leaves: a hook of it removing the widget again waits.
    if (FindWidget(widget) == mWidgets.end() || widget->mLeavingManager)
        return;
    // The removal's hooks may delete the widget or this container, or take the widget
    // out already (or elsewhere).
    const CallOutScope self(this);
    if (!CallOut(widget, [&] { widget->WidgetRemovedHelper(); }) || self.Gone() || widget->mParent != this)
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
    // The removals' hooks may delete a widget, or this container.
    const CallOutScope self(this);
    while (!self.Gone() && !mWidgets.empty())
    {
        const WidgetRef<Widget> widget(mWidgets.front());
        RemoveWidget(widget.get());
        if (recursive && widget)
            widget->RemoveAllWidgets(doDelete, true);
        if (doDelete)
            delete widget.get();
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
    if (CallOut(widget, [&] { widget->MarkDirtyAgain(); }))
        CallOut(widget, [&] { widget->OrderInManagerChanged(); });
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
    if (child->mDirty && !(mMarksAhead && MarkedAhead(child)))
        return;
    // The child is marked before this container's own MarkDirty runs: a MarkDirty that
    // marks its own part again (a composite) then finds it marked, instead of recursing
    // until the stack runs out.
    child->mDirty = true;
    MarkDirty();
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

void WidgetContainer::AddedToManager(WidgetManager* manager)
{
    const CallOutScope self(this);
    for (const WidgetRef<Widget>& ref : ChildRefs(this))
    {
        // A hook of an earlier child took this container out of the tree, or deleted it:
        // the rest stay detached with it.
        if (self.Gone() || mWidgetManager != manager)
            return;
        Widget* child = ref.get();
        if (child == nullptr)
            continue;
        // A child whose removal is under way stays out; one already attached (this
        // container was taken out and added again meanwhile) has heard the call.
        if (child->mParent != this || child->mLeavingManager || child->mWidgetManager == manager)
            continue;
        child->mWidgetManager = manager;
        CallOut(child, [&] { child->AddedToManager(manager); });
        if (!self.Gone())
            MarkDirty();
    }
}

void WidgetContainer::RemovedFromManager(WidgetManager* manager)
{
    const CallOutScope self(this);
    for (const WidgetRef<Widget>& ref : ChildRefs(this))
    {
        // Once this container is deleted its children are left without a parent: they
        // leave the manager all the same.
        Widget* child = ref.get();
        if (child == nullptr || child->mParent != (self.Gone() ? nullptr : this))
            continue;
        // A child whose own removal already ran (WidgetRemovedHelper goes depth first)
        // has heard RemovedFromManager once; it must not hear it again per level. One
        // whose removal is still under way (its hook took this container out) is left
        // to that removal, which also drops what its hooks take again.
        if (child->mWidgetManager == nullptr || child->mLeavingManager)
            continue;
        const bool exists = CallOut(child,
                                    [&]
                                    {
                                        if (manager != nullptr)
                                            manager->DisableWidget(child);
                                        if (ref)
                                            child->RemovedFromManager(manager);
                                    });
        if (exists)
            child->mWidgetManager = nullptr;
    }
    if (self.Gone())
        return;
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
    // The hooks below may delete this container, or detach it (the manager object itself
    // lives on).
    const CallOutScope self(this);
    if (flags->GetFlags() & WF_MARK_DIRTY)
        MarkDirty();
    WidgetManager* manager = mWidgetManager;
    if (self.Gone() || manager == nullptr)
        return;

    if ((flags->GetFlags() & WF_UPDATE) && mLastUpdateTick != uint32_t(manager->mUpdateCount))
    {
        mLastUpdateTick = uint32_t(manager->mUpdateCount);
        Update();
        if (self.Gone())
            return;
    }
    UpdateChildren(*this, self, manager, flags, [flags](Widget* child) { child->UpdateAll(flags); });
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
    const CallOutScope self(this);
    if (flags->GetFlags() & WF_UPDATE)
    {
        UpdateF(fraction);
        if (self.Gone())
            return;
    }
    UpdateChildren(*this, self, manager, flags, [&](Widget* child) { child->UpdateFAll(flags, fraction); });
}

void WidgetContainer::Draw(Graphics* g)
{
    (void)g;
}

void WidgetContainer::DrawAll(ModalFlags* flags, Graphics* g)
{
    // The hooks below may delete this container or children not drawn yet.
    const CallOutScope self(this);
    WidgetManager* manager = mWidgetManager;
    if (manager != nullptr && mPriority > manager->mMinDeferredPriority)
    {
        manager->FlushDeferredOverlayWidgets(mPriority);
        if (self.Gone())
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
        if (self.Gone())
            return;
    }
    for (const WidgetRef<Widget>& ref : ChildRefs(this))
    {
        Widget* child = ref.get();
        if (child == nullptr || child->mParent != this)
            continue;
        if (manager != nullptr && child == manager->mBaseModalWidget)
            flags->mAboveModal = true;
        if (!child->mVisible)
            continue;
        Graphics childGraphics(*g);
        childGraphics.Translate(child->mX, child->mY);
        child->DrawAll(flags, &childGraphics);
        if (self.Gone())
            return;
        if (ref)
            child->mDirty = false;
    }
}

void WidgetContainer::SysColorChangedAll()
{
    // The hooks may delete this container or children not reached yet.
    const CallOutScope self(this);
    SysColorChanged();
    for (const WidgetRef<Widget>& child : ChildRefs(this))
    {
        if (self.Gone())
            return;
        if (child && child->mParent == this)
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
