// RecordingWidget: a widget for the widget tests, fuzz targets and benchmarks that writes
// every hook the framework calls into a shared log and can run an action from inside any
// hook (to remove, reorder, disable or focus widgets mid-call).
//
// Log lines look like "A.MouseDown(3,4,0,1)": the widget's name, the hook, its arguments
// (mouse hooks get button and count split as the base class splits them). Draw fills the
// widget's rect (less mFillInset) with mFill (nothing when its alpha is 0) and logs
// "A.Draw"; DrawOverlay logs the priority and where the context puts the widget's origin:
// "A.DrawOverlay(1@10,20)".
#pragma once

#include "graphics/Color.h"
#include "widgets/Widget.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

class RecordingWidget : public Widget
{
public:
    std::string mName;
    // Shared with the other widgets of a test; not owned, may be null.
    std::vector<std::string>* mLog;
    // Run after the hook of that name was logged ("Update", "MouseDown", ...).
    std::map<std::string, std::function<void()>> mActions;
    // What Draw fills the rect with, leaving a margin of mFillInset pixels unpainted.
    Color mFill;
    int mFillInset;
    // Answers IsPointVisible when set.
    std::function<bool(int, int)> mPointVisible;
    // Overlay priority to defer from Draw, or -1 for none.
    int mOverlayPriority;

public:
    RecordingWidget(const std::string& name, std::vector<std::string>* log, int x = 0, int y = 0,
                    int width = 0, int height = 0);

    void Update() override;
    void Draw(Graphics* g) override;
    void DrawOverlay(Graphics* g, int priority) override;
    void GotFocus() override;
    void LostFocus() override;
    void KeyChar(char c) override { Record("KeyChar", std::to_string(int(c))); }
    void KeyDown(KeyCode key) override;
    void KeyUp(KeyCode key) override { Record("KeyUp", std::to_string(int(key))); }
    void MouseEnter() override { Record("MouseEnter"); }
    void MouseLeave() override { Record("MouseLeave"); }
    void MouseMove(int x, int y) override { Record("MouseMove", Args({x, y})); }
    void MouseDown(int x, int y, int button, int count) override
    {
        Record("MouseDown", Args({x, y, button, count}));
    }
    void MouseUp(int x, int y, int button, int count) override
    {
        Record("MouseUp", Args({x, y, button, count}));
    }
    void MouseDrag(int x, int y) override { Record("MouseDrag", Args({x, y})); }
    void MouseWheel(int delta) override { Record("MouseWheel", std::to_string(delta)); }
    bool IsPointVisible(int x, int y) override { return mPointVisible ? mPointVisible(x, y) : true; }
    void AddedToManager(WidgetManager* manager) override;
    void RemovedFromManager(WidgetManager* manager) override;
    void OrderInManagerChanged() override { Record("OrderInManagerChanged"); }

private:
    void Record(const std::string& hook, const std::string& args = "");
    // "1,2,3".
    static std::string Args(std::initializer_list<int> values);
};

} // namespace Vaxo
