// LegacyMarkingManager: a widget manager that spreads dirty marks among its children the
// way the root first did it, one widget at a time: each mark looks the child up in the
// list and walks the widgets in front of it (and, for a see-through child, those below
// it), marking recursively. It costs the number of widgets for every widget marked. The
// widget tests hold the root's marking to it, and the widget benchmarks time both.
#pragma once

#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"

#include <algorithm>

namespace Vaxo
{

class LegacyMarkingManager : public WidgetManager
{
public:
    using WidgetManager::MarkDirty;
    using WidgetManager::MarkDirtyFull;
    using WidgetManager::WidgetManager;

    void MarkDirty(WidgetContainer* child) override
    {
        if (child->mDirty)
            return;
        MarkDirty();
        child->mDirty = true;
        Widget* widget = static_cast<Widget*>(child);
        if (widget->mTranslucent || widget->mHasTransparentParts)
        {
            MarkDirtyFull(child);
            return;
        }
        auto it = std::find(mWidgets.begin(), mWidgets.end(), widget);
        if (it == mWidgets.end())
            return;
        for (++it; it != mWidgets.end(); ++it)
        {
            Widget* front = *it;
            if (front->mVisible && front->Intersects(child))
                MarkDirty(front);
        }
    }

    void MarkDirtyFull(WidgetContainer* child) override
    {
        MarkDirtyFull();
        child->mDirty = true;
        auto childIt = std::find(mWidgets.begin(), mWidgets.end(), static_cast<Widget*>(child));
        if (childIt == mWidgets.end())
            return;
        const TRect<int> area = child->GetRect().Intersection(TRect<int>(0, 0, mWidth, mHeight));
        for (auto it = childIt; it != mWidgets.begin();)
        {
            Widget* below = *--it;
            if (!below->mVisible)
                continue;
            if (!below->mTranslucent && !below->mHasTransparentParts && below->Contains(area.mX, area.mY) &&
                below->Contains(area.mX + area.mWidth - 1, area.mY + area.mHeight - 1))
            {
                below->MarkDirty();
                break;
            }
            if (below->Intersects(child))
                MarkDirty(below);
        }
        for (auto it = childIt; it != mWidgets.end(); ++it)
        {
            Widget* front = *it;
            if (front->mVisible && front->Intersects(child))
                MarkDirty(front);
        }
    }
};

} // namespace Vaxo
