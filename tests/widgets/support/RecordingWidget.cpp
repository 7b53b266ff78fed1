#include "widgets/support/RecordingWidget.h"

#include "common/Common.h"
#include "graphics/Graphics.h"
#include "widgets/WidgetRef.h"

namespace Vaxo
{

RecordingWidget::RecordingWidget(const std::string& name, std::vector<std::string>* log, int x, int y,
                                 int width, int height)
    : mName(name), mLog(log), mFill(0, 0, 0, 0), mFillInset(0), mOverlayPriority(-1)
{
    Resize(x, y, width, height);
}

void RecordingWidget::Record(const std::string& hook, const std::string& args)
{
    if (mLog != nullptr)
        mLog->push_back(mName + "." + hook + (args.empty() ? "" : "(" + args + ")"));
    auto it = mActions.find(hook);
    if (it != mActions.end() && it->second)
    {
        // Copied: the action may replace or clear itself.
        std::function<void()> action = it->second;
        action();
    }
}

std::string RecordingWidget::Args(std::initializer_list<int> values)
{
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
}

void RecordingWidget::Update()
{
    Widget::Update();
    Record("Update");
}

void RecordingWidget::Draw(Graphics* g)
{
    g->SetColor(mFill);
    g->FillRect(mFillInset, mFillInset, mWidth - 2 * mFillInset, mHeight - 2 * mFillInset);
    if (mOverlayPriority >= 0)
        DeferOverlay(mOverlayPriority);
    Record("Draw");
}

void RecordingWidget::DrawOverlay(Graphics* g, int priority)
{
    Record("DrawOverlay", StrFormat("%d@%g,%g", priority, double(g->mTransX), double(g->mTransY)));
}

void RecordingWidget::GotFocus()
{
    Widget::GotFocus();
    Record("GotFocus");
}

void RecordingWidget::LostFocus()
{
    Widget::LostFocus();
    Record("LostFocus");
}

// The action, or a child's hook, may delete this widget before the rest.
void RecordingWidget::KeyDown(KeyCode key)
{
    if (CallOut(this, [&] { Record("KeyDown", std::to_string(int(key))); }))
        Widget::KeyDown(key);
}

void RecordingWidget::AddedToManager(WidgetManager* manager)
{
    if (CallOut(this, [&] { Widget::AddedToManager(manager); }))
        Record("AddedToManager");
}

void RecordingWidget::RemovedFromManager(WidgetManager* manager)
{
    if (CallOut(this, [&] { Widget::RemovedFromManager(manager); }))
        Record("RemovedFromManager");
}

} // namespace Vaxo
