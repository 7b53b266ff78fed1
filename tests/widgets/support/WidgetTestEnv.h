// WidgetTestEnv: a widget manager on an 800 x 600 screen image with named recording
// widgets, for the widget tests, fuzz targets and benchmarks. No window is needed: the
// tests call the manager's entry points (MouseMove, MouseDown, KeyDown, UpdateFrame,
// DrawScreen) directly.
//
// The manager is the application's when an application object is given, else one of its
// own. The environment owns its widgets; its destructor takes them out of the tree
// before deleting them.
#pragma once

#include "graphics/MemoryImage.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"
#include "widgets/support/RecordingWidget.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

class VaxoAppBase;

// Words joined by spaces.
std::string Join(const std::vector<std::string>& words);

// Moves the mouse to (x, y), then presses and releases a button there.
void Click(WidgetManager* manager, int x, int y, int clickCount = 1);

class WidgetTestEnv
{
public:
    static const int kWidth = 800;
    static const int kHeight = 600;

    std::vector<std::string> mLog;
    WidgetManager* mManager;
    std::unique_ptr<MemoryImage> mScreen;

public:
    explicit WidgetTestEnv(VaxoAppBase* app = nullptr);
    ~WidgetTestEnv();
    WidgetTestEnv(const WidgetTestEnv&) = delete;
    WidgetTestEnv& operator=(const WidgetTestEnv&) = delete;

    // A new widget logging into mLog, added to parent (the manager when null) unless
    // attach is false.
    RecordingWidget* Add(const std::string& name, int x, int y, int width, int height,
                         WidgetContainer* parent = nullptr, bool attach = true);
    RecordingWidget* operator[](const std::string& name) const;
    // The log so far, then empties it.
    std::vector<std::string> Take() { return std::exchange(mLog, {}); }
    // The same joined by spaces.
    std::string TakeText() { return Join(Take()); }
    // Names of the dirty widgets, in the order they were made, joined by spaces.
    std::string DirtyNames() const;
    // Clears every dirty mark (manager included), as if everything had been drawn.
    void CleanAll();
    uint32_t Pixel(int x, int y);

private:
    std::unique_ptr<WidgetManager> mOwnManager;
    // The tests delete widgets from their hooks on purpose, to check the guards: while an
    // environment lives such a delete is let go, also in a debug build.
    UnsafeDeleteHandler mOldUnsafeDeleteHandler;
    std::vector<std::unique_ptr<RecordingWidget>> mWidgets;
};

} // namespace Vaxo
