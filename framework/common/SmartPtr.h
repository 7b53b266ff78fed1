// Intrusive reference counting for objects shared between owners.
//
// Shared objects (dialog skins, profiles, game items, settings-store keys and
// values, high-score rows, sound chunks...) derive from RefCount and are held
// through SmartPtr (non-const access) or ConstSmartPtr. The count lives in the
// object; the object deletes itself when the last reference goes. Every count
// change runs under gInterlockedCrit, so the main and loading threads may
// share objects; one pointer variable must not be assigned on two threads at
// once.
#pragma once

#include "common/Common.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>

namespace Vaxo
{

template <class T> class ConstSmartPtr;

class RefCount
{
public:
    // A new object has no owners: the first SmartPtr given it takes the first reference.
    RefCount() = default;
    // A copy is a new object: it starts without owners and keeps its own count.
    RefCount(const RefCount&) {}
    RefCount& operator=(const RefCount&) { return *this; }
    virtual ~RefCount() = default;

    // Gives up one reference; at 0 (or below) deletes the object, on the
    // calling thread, and the result means nothing. Otherwise the new count.
    int32_t Release() const;

    // The current count; only a snapshot when other threads hold references.
    int32_t GetRefCount() const { return mRefCount.load(std::memory_order_relaxed); }

private:
    template <class T> friend class ConstSmartPtr;

    // Changed only under gInterlockedCrit; atomic so that a snapshot read is no race.
    mutable std::atomic<int32_t> mRefCount{0};
};

inline int32_t RefCount::Release() const
{
    int32_t count = InterlockedDecrement(&mRefCount);
    if (count > 0)
        return count;
    // The lock is not held here: a destructor may release further objects.
    delete this;
    return 0;
}

// Holds one reference to a const T (null allowed). T derives from RefCount.
template <class T> class ConstSmartPtr
{
public:
    ConstSmartPtr() noexcept = default;
    ConstSmartPtr(const T* p) : mPtr(p) { AddRef(p); }
    ConstSmartPtr(const ConstSmartPtr& other) : mPtr(other.mPtr) { AddRef(mPtr); }
    ConstSmartPtr(ConstSmartPtr&& other) noexcept : mPtr(other.mPtr) { other.mPtr = nullptr; }
    ~ConstSmartPtr()
    {
        if (mPtr != nullptr)
            mPtr->Release();
    }

    // The one assignment primitive. The new pointee gains its reference
    // before the old one is released, so `p = p->mNext` is safe when the old
    // object holds the only reference to the new one. Assigning the pointer
    // already held changes no count.
    const T* operator=(const T* p)
    {
        if (p == mPtr)
            return p;
        AddRef(p);
        const T* old = mPtr;
        // Stored before the release: the old object's destructor may look at this pointer.
        mPtr = p;
        if (old != nullptr)
            old->Release();
        return p;
    }
    ConstSmartPtr& operator=(const ConstSmartPtr& other)
    {
        *this = other.mPtr;
        return *this;
    }
    ConstSmartPtr& operator=(ConstSmartPtr&& other) noexcept
    {
        if (this != &other)
        {
            const T* old = mPtr;
            mPtr = other.mPtr;
            other.mPtr = nullptr;
            if (old != nullptr)
                old->Release();
        }
        return *this;
    }

    const T* get() const { return mPtr; }
    const T* operator->() const { return mPtr; }
    const T& operator*() const { return *mPtr; }
    operator const T*() const { return mPtr; }
    explicit operator bool() const { return mPtr != nullptr; }

    // Comparisons by address; spelled out because the pointer conversions of
    // SmartPtr would make the built-in ones ambiguous.
    friend bool operator==(const ConstSmartPtr& a, const ConstSmartPtr& b) { return a.mPtr == b.mPtr; }
    friend bool operator!=(const ConstSmartPtr& a, const ConstSmartPtr& b) { return a.mPtr != b.mPtr; }
    friend bool operator==(const ConstSmartPtr& a, const T* b) { return a.mPtr == b; }
    friend bool operator!=(const ConstSmartPtr& a, const T* b) { return a.mPtr != b; }
    friend bool operator==(const T* a, const ConstSmartPtr& b) { return a == b.mPtr; }
    friend bool operator!=(const T* a, const ConstSmartPtr& b) { return a != b.mPtr; }
    friend bool operator==(const ConstSmartPtr& a, std::nullptr_t) { return a.mPtr == nullptr; }
    friend bool operator!=(const ConstSmartPtr& a, std::nullptr_t) { return a.mPtr != nullptr; }
    friend bool operator==(std::nullptr_t, const ConstSmartPtr& a) { return a.mPtr == nullptr; }
    friend bool operator!=(std::nullptr_t, const ConstSmartPtr& a) { return a.mPtr != nullptr; }
    friend bool operator<(const ConstSmartPtr& a, const ConstSmartPtr& b)
    {
        return std::less<const T*>()(a.mPtr, b.mPtr);
    }

protected:
    static void AddRef(const T* p)
    {
        static_assert(std::is_base_of<RefCount, T>::value, "shared objects derive from RefCount");
        if (p != nullptr)
            InterlockedIncrement(&static_cast<const RefCount*>(p)->mRefCount);
    }

    const T* mPtr = nullptr;
};

// A ConstSmartPtr that gives non-const access to its pointee.
template <class T> class SmartPtr : public ConstSmartPtr<T>
{
public:
    SmartPtr() noexcept = default;
    SmartPtr(T* p) : ConstSmartPtr<T>(p) {}
    SmartPtr(const SmartPtr& other) : ConstSmartPtr<T>(other) {}
    SmartPtr(SmartPtr&& other) noexcept : ConstSmartPtr<T>(std::move(other)) {}
    // From a pointer to a derived type.
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    SmartPtr(const SmartPtr<U>& other) : ConstSmartPtr<T>(other.get())
    {
    }

    T* operator=(T* p)
    {
        ConstSmartPtr<T>::operator=(p);
        return p;
    }
    SmartPtr& operator=(const SmartPtr& other)
    {
        ConstSmartPtr<T>::operator=(other.get());
        return *this;
    }
    SmartPtr& operator=(SmartPtr&& other) noexcept
    {
        ConstSmartPtr<T>::operator=(std::move(other));
        return *this;
    }

    T* get() const { return const_cast<T*>(this->mPtr); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }
    operator T*() const { return get(); }

    // Exact matches, so that comparing with a T* is not ambiguous.
    friend bool operator==(const SmartPtr& a, const SmartPtr& b) { return a.mPtr == b.mPtr; }
    friend bool operator!=(const SmartPtr& a, const SmartPtr& b) { return a.mPtr != b.mPtr; }
    friend bool operator==(const SmartPtr& a, T* b) { return a.mPtr == b; }
    friend bool operator!=(const SmartPtr& a, T* b) { return a.mPtr != b; }
    friend bool operator==(T* a, const SmartPtr& b) { return a == b.mPtr; }
    friend bool operator!=(T* a, const SmartPtr& b) { return a != b.mPtr; }
    friend bool operator==(const SmartPtr& a, std::nullptr_t) { return a.mPtr == nullptr; }
    friend bool operator!=(const SmartPtr& a, std::nullptr_t) { return a.mPtr != nullptr; }
    friend bool operator==(std::nullptr_t, const SmartPtr& a) { return a.mPtr == nullptr; }
    friend bool operator!=(std::nullptr_t, const SmartPtr& a) { return a.mPtr != nullptr; }
};

} // namespace Vaxo
