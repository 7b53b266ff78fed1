// Doubles for the control tests and the list and scroll-bar fuzz target.
//
// ListenerLog is one listener of every control kind that writes each call it hears as
// one word ("ButtonPress(7,1)", "SliderVal(1,0.25)", "ScrollPosition(0,90)") and can
// run an action after each call (to remove and delete the control from inside its
// listener). ControlTestApp counts the sounds played and runs a hook at every update.
// DrawCalls draws one widget into a recording image and returns what reached the image.
#pragma once

#include "app/support/AppTestEnv.h"
#include "graphics/Graphics.h"
#include "graphics/support/RecordingImage.h"
#include "widgets/ButtonListener.h"
#include "widgets/CheckboxListener.h"
#include "widgets/DialogListener.h"
#include "widgets/ListListener.h"
#include "widgets/ScrollListener.h"
#include "widgets/SliderListener.h"

#include "widgets/Widget.h"

#include <functional>
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
    std::string Take();

    void ButtonPress(int id, int clickCount) override;
    void ButtonDepress(int id) override;
    void ButtonDownTick(int id) override;
    void ButtonMouseEnter(int id) override;
    void ButtonMouseLeave(int id) override;
    void ButtonMouseMove(int id, int x, int y) override;
    void CheckboxChecked(int id, bool checked) override;
    void SliderVal(int id, double value) override;
    void ScrollPosition(int id, double position) override;
    void ListClicked(int id, int index, int clickCount) override;
    void ListClosed(int id) override;
    void ListHiliteChanged(int id, int oldIndex, int newIndex) override;
    void DialogButtonPress(int dialogId, int buttonId) override;
    void DialogButtonDepress(int dialogId, int buttonId) override;

private:
    void Log(const std::string& call);
};

class ControlTestApp : public RecordingApp
{
public:
    std::vector<int> mSamples;
    // Runs at the end of every fixed update.
    std::function<void()> mOnUpdate;

    void PlaySample(int soundId) override { mSamples.push_back(soundId); }
    void UpdateFrames() override;
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

// The image calls of widget->Draw on a fresh context, joined by spaces. Inline, so the
// recording image is linked from the graphics test support by each test program.
inline std::string DrawCalls(Widget* widget)
{
    RecordingImage image("screen", 800, 600);
    Graphics g(&image);
    widget->Draw(&g);
    std::string text;
    for (const std::string& call : image.TakeCalls())
        text += (text.empty() ? "" : " ") + call;
    return text;
}

} // namespace Vaxo
