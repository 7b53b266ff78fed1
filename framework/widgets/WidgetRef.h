// WidgetRef and CallOut: how the widget layer calls code it does not control (a widget's
// hook, a listener) and learns afterwards whether a widget, and the container it walks,
// still exist.
//
// Any such call may delete widgets: a listener closes its screen, a hook takes itself out
// and deletes itself, a nested modal loop runs the deferred deletes. So the toolkit never
// trusts a raw pointer across one, the way an engine checks an object's id after a
// callback: each node of the tree has a small life record that outlives it while
// anything refers to it, and the toolkit asks the record afterwards.
// - CallOut(node, call) runs one call and says whether node survived it; every place the
//   toolkit calls a hook or a listener goes through it (or a CallOutScope).
// - WidgetRef<T> holds a node across calls made to others, and reads null once it is gone.
// - BorrowedRef<T> is a member's borrowed pointer (a listener, a linked widget) that reads
//   null once the node it names is gone.
//
// Deleting a widget while a call-out to it is under way (from its own hook, or a hook of
// a widget below it while a pass walks it) is safe for the toolkit but not for whoever
// called: that deletion belongs in SafeDeleteWidget, which waits for a safe point. It is
// reported to the unsafe-delete handler, which aborts a debug build naming
// SafeDeleteWidget. Questions a hook or a listener answers (IsPointVisible, WantsFocus,
// Contains, an edit listener's Allow*), and MarkDirty, which the dirty spread calls while
// it walks a copy of the list, are not call-outs: they must not change the tree.
// Main thread only (each tree on one thread); the handler may be set from any thread.
#pragma once

#include "widgets/WidgetContainer.h"

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

namespace Vaxo
{

// What outlives a node while references remain; made by the first reference.
class NodeLife
{
public:
    // From the node's destructor: reports a deletion during a call-out to the node, marks
    // the record, and frees it when nothing refers to it.
    static void NodeDeleted(WidgetContainer* node);

private:
    template <typename T> friend class WidgetRef;
    friend class CallOutScope;

    // WidgetRefs and call-outs holding this record.
    uint32_t mRefs = 0;
    // Call-outs under way on the node.
    uint32_t mCallOuts = 0;
    bool mAlive = true;

    // The node's record, made on first use, with one more reference.
    static NodeLife* Hold(WidgetContainer* node)
    {
        if (node->mLife == nullptr)
            node->mLife = new NodeLife;
        ++node->mLife->mRefs;
        return node->mLife;
    }
    // One reference fewer; a deleted node's record goes with its last reference.
    static void Release(NodeLife* life)
    {
        if (life != nullptr && --life->mRefs == 0 && !life->mAlive)
            delete life;
    }
};

// A node held across calls that may delete it; null once it is deleted.
template <typename T> class WidgetRef
{
public:
    WidgetRef() = default;
    explicit WidgetRef(T* node) : mNode(node), mLife(node != nullptr ? NodeLife::Hold(node) : nullptr) {}
    WidgetRef(const WidgetRef& other) : mNode(other.mNode), mLife(other.mLife)
    {
        if (mLife != nullptr)
            ++mLife->mRefs;
    }
    WidgetRef(WidgetRef&& other) noexcept
        : mNode(std::exchange(other.mNode, nullptr)), mLife(std::exchange(other.mLife, nullptr))
    {
    }
    WidgetRef& operator=(WidgetRef other) noexcept
    {
        std::swap(mNode, other.mNode);
        std::swap(mLife, other.mLife);
        return *this;
    }
    ~WidgetRef() { NodeLife::Release(mLife); }

    T* get() const { return mLife != nullptr && mLife->mAlive ? mNode : nullptr; }
    T* operator->() const { return get(); }
    explicit operator bool() const { return get() != nullptr; }
    // It held a node, and that node has been deleted.
    bool Gone() const { return mLife != nullptr && !mLife->mAlive; }

private:
    T* mNode = nullptr;
    NodeLife* mLife = nullptr;
};

// A call-out to node lasting the scope (a pass over a container that calls its hooks and
// its children's): deleting node meanwhile is reported unless it is the deferred delete.
class CallOutScope
{
public:
    explicit CallOutScope(WidgetContainer* node) : mLife(node != nullptr ? NodeLife::Hold(node) : nullptr)
    {
        if (mLife != nullptr)
            ++mLife->mCallOuts;
    }
    ~CallOutScope()
    {
        if (mLife == nullptr)
            return;
        --mLife->mCallOuts;
        NodeLife::Release(mLife);
    }
    CallOutScope(const CallOutScope&) = delete;
    CallOutScope& operator=(const CallOutScope&) = delete;

    // The node was deleted during the scope.
    bool Gone() const { return mLife != nullptr && !mLife->mAlive; }

private:
    NodeLife* mLife;
};

// Runs call (a hook of node, a listener node tells, or anything that may run them) and
// tells whether node still exists afterwards; a null node counts as surviving.
template <typename Call> bool CallOut(WidgetContainer* node, Call&& call)
{
    const CallOutScope scope(node);
    call();
    return !scope.Gone();
}

// A node's children as they are now, each held: hooks called while walking them may add,
// remove, reorder or delete children, so a walk that calls hooks goes over this copy and
// skips what was deleted or left meanwhile.
std::vector<WidgetRef<Widget>> ChildRefs(const WidgetContainer* node);

// Open while the application's deferred delete (SafeDeleteWidget's queue) deletes: a
// widget goes then at a safe point, even when the caller of a nested modal loop further
// up still watches it.
class SafeDeletePoint
{
public:
    SafeDeletePoint() { ++sOpen; }
    ~SafeDeletePoint() { --sOpen; }
    SafeDeletePoint(const SafeDeletePoint&) = delete;
    SafeDeletePoint& operator=(const SafeDeletePoint&) = delete;

    static bool IsOpen() { return sOpen > 0; }

private:
    static thread_local int32_t sOpen;
};

// Told of a node deleted during a call-out to it, not by the deferred delete. The node is
// being destroyed: only its address may be used.
typedef void (*UnsafeDeleteHandler)(WidgetContainer* node);
// Puts handler in (null: the default) and returns the one it replaces. The default
// aborts a debug build (NDEBUG not defined) with AbortOnUnsafeDelete and lets a release
// build go on; a program may log instead, a test count.
UnsafeDeleteHandler SetUnsafeDeleteHandler(UnsafeDeleteHandler handler);
// Says on stderr that the node was deleted during a call to it and that SafeDeleteWidget
// deletes at a safe point, then aborts.
[[noreturn]] void AbortOnUnsafeDelete(WidgetContainer* node);

// A borrowed pointer kept in a member (a listener, a linked widget), read and assigned as
// the plain pointer it replaces: when it names a node of the tree (a widget, or a
// listener that is one) it reads null once that node is deleted, so whoever keeps it
// calls nothing on what is gone, then or later; anything else reads as given, its owner
// answering for its life. The node is held from the assignment on, while it exists.
template <typename T> class BorrowedRef
{
public:
    BorrowedRef() = default;
    explicit BorrowedRef(T* target) { *this = target; }
    BorrowedRef(const BorrowedRef&) = default;
    BorrowedRef& operator=(const BorrowedRef&) = default;
    // One moved from reads null: its life record went with the move, so it could no longer
    // tell that the node is gone.
    BorrowedRef(BorrowedRef&& other) noexcept
        : mTarget(std::exchange(other.mTarget, nullptr)), mNode(std::move(other.mNode))
    {
    }
    BorrowedRef& operator=(BorrowedRef&& other) noexcept
    {
        T* target = std::exchange(other.mTarget, nullptr);
        mNode = std::move(other.mNode);
        mTarget = target;
        return *this;
    }
    BorrowedRef& operator=(T* target)
    {
        mTarget = target;
        mNode = WidgetRef<WidgetContainer>(AsNode(target));
        return *this;
    }

    T* get() const { return mNode.Gone() ? nullptr : mTarget; }
    T* operator->() const { return get(); }
    operator T*() const { return get(); }

private:
    static WidgetContainer* AsNode(T* target)
    {
        if constexpr (std::is_base_of_v<WidgetContainer, T>)
            return target;
        else
            return dynamic_cast<WidgetContainer*>(target);
    }

    T* mTarget = nullptr;
    WidgetRef<WidgetContainer> mNode;
};

} // namespace Vaxo
