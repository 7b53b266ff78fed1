// Doubles for the control tests.
//
// ListenerLog is one listener of every control kind that writes each call it hears as
// one word ("ButtonPress(7,1)", "SliderVal(1,0.25)") and can run an action after each
// (to remove and delete the control from inside its listener). ControlTestApp counts
// the sounds played and runs a hook at every update. Attached keeps a control in a
// container for a test. DrawCalls draws one widget into a recording image. ControlTest is
// the fixture: an application with its widget manager on an 800 x 600 screen;
// SliderImagesTest adds a slider's images, SkinnedControlTest installs the built-in
// dialog skin.
#pragma once

#include "app/support/AppTestEnv.h"
#include "graphics/Graphics.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonListener.h"
#include "widgets/ButtonWidget.h"
#include "widgets/CheckboxListener.h"
#include "widgets/Dialog.h"
#include "widgets/DialogListener.h"
#include "widgets/DialogSkin.h"
#include "widgets/ListListener.h"
#include "widgets/ScrollListener.h"
#include "widgets/SliderListener.h"
#include "widgets/Widget.h"
#include "widgets/support/WidgetTestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

class ListenerLog : public ButtonListener,
                    public CheckboxListener,
                    public SliderListener,
                    public ScrollListener,
                    public ListListener,
                    public DialogListener
{
public:
    std::vector<std::string> mCalls;
    // Run after every call is logged.
    std::function<void()> mAction;

    // The calls so far joined by spaces; forgets them.
    std::string Take() { return Join(std::exchange(mCalls, {})); }

    void ButtonPress(int id, int count) override { Log("ButtonPress", id, count); }
    void ButtonDepress(int id) override { Log("ButtonDepress", id); }
    void ButtonDownTick(int id) override { Log("ButtonDownTick", id); }
    void ButtonMouseEnter(int id) override { Log("ButtonMouseEnter", id); }
    void ButtonMouseLeave(int id) override { Log("ButtonMouseLeave", id); }
    void ButtonMouseMove(int id, int x, int y) override { Log("ButtonMouseMove", id, x, y); }
    void CheckboxChecked(int id, bool on) override { Log("CheckboxChecked", id, on); }
    void SliderVal(int id, double value) override { Log("SliderVal", id, value); }
    void ScrollPosition(int id, double value) override { Log("ScrollPosition", id, value); }
    void ListClicked(int id, int i, int count) override { Log("ListClicked", id, i, count); }
    void ListClosed(int id) override { Log("ListClosed", id); }
    void ListHiliteChanged(int id, int from, int to) override { Log("ListHiliteChanged", id, from, to); }
    void DialogButtonPress(int id, int button) override { Log("DialogButtonPress", id, button); }
    void DialogButtonDepress(int id, int button) override { Log("DialogButtonDepress", id, button); }

private:
    template <typename... Args> void Log(const char* name, Args... args)
    {
        LogValues(name, {double(args)...});
    }
    void LogValues(const char* name, const std::vector<double>& args);
};

class ControlTestApp : public RecordingApp
{
public:
    std::vector<int> mSamples;
    // Runs at the end of every fixed update.
    std::function<void()> mOnUpdate;
    // Runs once a dialog is killed by id (another copy of the program acting meanwhile).
    std::function<void(int)> mOnKillDialog;

    using RecordingApp::KillDialog;
    bool KillDialog(int dialogId) override
    {
        const bool killed = RecordingApp::KillDialog(dialogId);
        std::function<void(int)> hook = mOnKillDialog; // a copy: the hook may clear itself
        if (hook)
            hook(dialogId);
        return killed;
    }

    void PlaySample(int soundId) override { mSamples.push_back(soundId); }
    void UpdateFrames() override
    {
        RecordingApp::UpdateFrames();
        std::function<void()> hook = mOnUpdate; // a copy: the hook may clear itself
        if (hook)
            hook();
    }
};

// A control owned by the test and kept in a container until the test ends or Kill.
template <typename T> class Attached
{
public:
    template <typename... Args>
    explicit Attached(WidgetContainer* parent, Args&&... args) : mWidget(new T(std::forward<Args>(args)...))
    {
        parent->AddWidget(mWidget.get());
    }
    Attached(WidgetContainer* parent, std::unique_ptr<T> widget) : mWidget(std::move(widget))
    {
        parent->AddWidget(mWidget.get());
    }
    ~Attached() { Kill(); }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

    T* get() const { return mWidget.get(); }
    T* operator->() const { return mWidget.get(); }
    // Removes and deletes the control now (also from inside its own listener).
    void Kill()
    {
        if (mWidget != nullptr && mWidget->mParent != nullptr)
            mWidget->mParent->RemoveWidget(mWidget.get());
        mWidget.reset();
    }

private:
    std::unique_ptr<T> mWidget;
};

// Adds widget (taking it) to parent and runs the steps in order while it lives; the
// first listener call that begins with killOn removes and deletes it (once: the removal
// may send more calls). Whether that happened.
template <typename T>
bool DeletedByListener(WidgetContainer* parent, T* widget, ListenerLog& log, const std::string& killOn,
                       const std::vector<std::function<void(T*)>>& steps)
{
    Attached<T> held(parent, std::unique_ptr<T>(widget));
    log.mAction = [&]
    {
        if (log.mCalls.back().rfind(killOn, 0) == 0)
            log.mAction = nullptr, held.Kill();
    };
    for (const auto& step : steps)
    {
        if (held.get() != nullptr)
            step(held.get());
    }
    log.mAction = nullptr;
    log.Take();
    return held.get() == nullptr;
}

// "header|lines|footer|button labels" of a dialog; "" for none.
std::string DialogTexts(Dialog* dialog);

// The image calls of widget->Draw on a fresh context, joined by spaces. Inline, so the
// recording image is linked from the graphics test support by each test program.
inline std::string DrawCalls(Widget* widget)
{
    RecordingImage image("screen", 800, 600);
    Graphics g(&image);
    widget->Draw(&g);
    return Join(image.TakeCalls());
}

// "id label (x,y,w,h)" of each button that exists, joined by spaces. Inline for the same
// reason.
inline std::string ButtonsText(std::initializer_list<ButtonWidget*> buttons)
{
    std::vector<std::string> words;
    for (ButtonWidget* b : buttons)
    {
        if (b != nullptr)
            words.push_back(std::to_string(b->mId) + " " + b->mLabel + " " + RectText(b->GetRect()));
    }
    return Join(words);
}

class ControlTest : public ::testing::Test
{
protected:
    AppTestEnv mAppEnv;
    ControlTestApp mApp;
    WidgetTestEnv mEnv{&mApp};
    WidgetManager* mManager = mEnv.mManager;
    ListenerLog mLog;
};

// ControlTest with the track and thumb images a slider draws.
class SliderImagesTest : public ControlTest
{
protected:
    RecordingImage mTrack{"track", 30, 4};
    RecordingImage mThumb{"thumb", 20, 20};
};

class SkinnedControlTest : public ControlTest
{
protected:
    void SetUp() override { DialogSkin::StaticInit(); }
    void TearDown() override { DialogSkin::StaticDestroy(); }
};

} // namespace Vaxo
