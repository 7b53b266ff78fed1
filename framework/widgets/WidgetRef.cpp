#include "widgets/WidgetRef.h"

#include "widgets/Widget.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace Vaxo
{

thread_local int32_t SafeDeletePoint::sOpen = 0;

namespace
{

void DefaultUnsafeDelete(WidgetContainer* node)
{
#ifndef NDEBUG
    AbortOnUnsafeDelete(node);
#else
    (void)node;
#endif
}

std::atomic<UnsafeDeleteHandler> gUnsafeDeleteHandler{DefaultUnsafeDelete};

} // namespace

void NodeLife::NodeDeleted(WidgetContainer* node)
{
    NodeLife* life = node->mLife;
    if (life == nullptr)
        return;
    node->mLife = nullptr;
    life->mAlive = false;
    if (life->mCallOuts > 0 && !SafeDeletePoint::IsOpen())
        gUnsafeDeleteHandler.load()(node);
    if (life->mRefs == 0)
        delete life;
}

std::vector<WidgetRef<Widget>> ChildRefs(const WidgetContainer* node)
{
    std::vector<WidgetRef<Widget>> children;
    children.reserve(node->mWidgets.size());
    for (Widget* child : node->mWidgets)
        children.emplace_back(child);
    return children;
}

UnsafeDeleteHandler SetUnsafeDeleteHandler(UnsafeDeleteHandler handler)
{
    return gUnsafeDeleteHandler.exchange(handler != nullptr ? handler : DefaultUnsafeDelete);
}

void AbortOnUnsafeDelete(WidgetContainer* node)
{
    fprintf(stderr,
            "Vaxo: widget %p deleted while the toolkit was calling it (from its own hook or a "
            "listener); delete it with SafeDeleteWidget, which waits for a safe point\n",
            static_cast<void*>(node));
    abort();
}

} // namespace Vaxo
