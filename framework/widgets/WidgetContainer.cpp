// The widget tree's nodes: adding, removing and reordering children, the dirty marks
// (spread among the root's children in DirtySpread.cpp), and the update, draw and
// hit-test passes down the tree.
#include "widgets/WidgetContainer.h"

#include "graphics/Graphics.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"

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
