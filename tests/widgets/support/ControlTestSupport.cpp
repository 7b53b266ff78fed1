#include "widgets/support/ControlTestSupport.h"

#include <cstdio>

namespace Vaxo
{

namespace
{
std::string Join(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string Call(const char* name, std::initializer_list<double> args)
{
    std::string text = std::string(name) + "(";
    for (double arg : args)
    {
        char buf[32];
        std::snprintf(buf, sizeof(buf), "%g", arg);
        text += std::string(text.back() == '(' ? "" : ",") + buf;
    }
    return text + ")";
}
} // namespace

std::string ListenerLog::Take()
{
    std::string text = Join(mCalls);
    mCalls.clear();
    return text;
}

void ListenerLog::Log(const std::string& call)
{
    mCalls.push_back(call);
    if (mAction)
    {
        // Copied: the action may clear itself.
        std::function<void()> action = mAction;
        action();
    }
}

void ListenerLog::ButtonPress(int id, int clickCount)
{
    Log(Call("ButtonPress", {double(id), double(clickCount)}));
}
void ListenerLog::ButtonDepress(int id)
{
    Log(Call("ButtonDepress", {double(id)}));
}
void ListenerLog::ButtonDownTick(int id)
{
    Log(Call("ButtonDownTick", {double(id)}));
}
void ListenerLog::ButtonMouseEnter(int id)
{
    Log(Call("ButtonMouseEnter", {double(id)}));
}
void ListenerLog::ButtonMouseLeave(int id)
{
    Log(Call("ButtonMouseLeave", {double(id)}));
}
void ListenerLog::ButtonMouseMove(int id, int x, int y)
{
    Log(Call("ButtonMouseMove", {double(id), double(x), double(y)}));
}
void ListenerLog::CheckboxChecked(int id, bool checked)
{
    Log(Call("CheckboxChecked", {double(id), double(checked)}));
}
void ListenerLog::SliderVal(int id, double value)
{
    Log(Call("SliderVal", {double(id), value}));
}
void ListenerLog::ScrollPosition(int id, double position)
{
    Log(Call("ScrollPosition", {double(id), position}));
}
void ListenerLog::ListClicked(int id, int index, int clickCount)
{
    Log(Call("ListClicked", {double(id), double(index), double(clickCount)}));
}
void ListenerLog::ListClosed(int id)
{
    Log(Call("ListClosed", {double(id)}));
}
void ListenerLog::ListHiliteChanged(int id, int oldIndex, int newIndex)
{
    Log(Call("ListHiliteChanged", {double(id), double(oldIndex), double(newIndex)}));
}
void ListenerLog::DialogButtonPress(int dialogId, int buttonId)
{
    Log(Call("DialogButtonPress", {double(dialogId), double(buttonId)}));
}
void ListenerLog::DialogButtonDepress(int dialogId, int buttonId)
{
    Log(Call("DialogButtonDepress", {double(dialogId), double(buttonId)}));
}

void ControlTestApp::UpdateFrames()
{
    RecordingApp::UpdateFrames();
    if (mOnUpdate)
    {
        std::function<void()> hook = mOnUpdate;
        hook();
    }
}

} // namespace Vaxo
