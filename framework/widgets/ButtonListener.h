// ButtonListener: how buttons and the scroll bar's buttons report to their owner.
// Every operation has a default body, so an owner overrides only what it needs. A
// listener is never owned or deleted through this interface, and must outlive the
// controls that point to it (or be detached from them first).
#pragma once

namespace Vaxo
{

class ButtonListener
{
public:
    virtual void ButtonPress(int id) { (void)id; }
    // The click count is 1 or 2 for the left button, negative for the right one;
    // the default forwards to ButtonPress(id).
    virtual void ButtonPress(int id, int clickCount)
    {
        (void)clickCount;
        ButtonPress(id);
    }
    virtual void ButtonDepress(int id) { (void)id; }
    // Once per update while the button is held down with the mouse over it.
    virtual void ButtonDownTick(int id) { (void)id; }
    virtual void ButtonMouseEnter(int id) { (void)id; }
    virtual void ButtonMouseLeave(int id) { (void)id; }
    // x, y in the button's own coordinates.
    virtual void ButtonMouseMove(int id, int x, int y)
    {
        (void)id;
        (void)x;
        (void)y;
    }

protected:
    ~ButtonListener() = default;
};

} // namespace Vaxo
