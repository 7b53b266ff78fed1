// OwnedWidget: a widget's pointer to a widget it made and owns: one of its children (the
// scroll bar's arrows, a dialog's controls) or one it keeps beside itself in the manager
// (a dialog's buttons).
//
// The tree may delete an owned widget first: a recursive RemoveAllWidgets(true, true)
// above the owner removes and deletes the owner's children before the owner itself. The
// pointer reads null from then on, and the owner deletes the widget (out of its parent
// first) only while it still exists, so every order of removal and deletion frees it
// exactly once. An owner whose children were deleted that way is only deleted next.
// Main thread only.
#pragma once

#include "widgets/Widget.h"
#include "widgets/WidgetRef.h"

#include <cstddef>
#include <utility>

namespace Vaxo
{

template <typename T> class OwnedWidget
{
public:
    OwnedWidget() = default;
    ~OwnedWidget() { reset(); }
    OwnedWidget(const OwnedWidget&) = delete;
    OwnedWidget& operator=(const OwnedWidget&) = delete;

    // Null once the widget was deleted.
    T* get() const { return mWidget.get(); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }
    explicit operator bool() const { return get() != nullptr; }

    // Deletes the widget held while it exists, out of its parent first; then owns widget.
    void reset(T* widget = nullptr)
    {
        if (widget != nullptr && widget == get())
            return;
        WidgetRef<T> old = std::exchange(mWidget, WidgetRef<T>(widget));
        // The removal's hooks may delete the widget themselves.
        if (old && old->mParent != nullptr)
            old->mParent->RemoveWidget(old.get());
        delete old.get();
    }

private:
    WidgetRef<T> mWidget;
};

template <typename T> bool operator==(const OwnedWidget<T>& widget, std::nullptr_t)
{
    return widget.get() == nullptr;
}

template <typename T> bool operator!=(const OwnedWidget<T>& widget, std::nullptr_t)
{
    return widget.get() != nullptr;
}

} // namespace Vaxo
