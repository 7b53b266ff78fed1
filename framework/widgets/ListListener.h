// ListListener: how the list widget reports clicks, closing and hilite changes.
// Default bodies do nothing; never owned.
#pragma once

namespace Vaxo
{

class ListListener
{
public:
    // clickCount as the widget manager passes it (positive left, negative right).
    virtual void ListClicked(int id, int index, int clickCount)
    {
        (void)id;
        (void)index;
        (void)clickCount;
    }
    virtual void ListClosed(int id) { (void)id; }
    // -1 stands for no hilited line.
    virtual void ListHiliteChanged(int id, int oldIndex, int newIndex)
    {
        (void)id;
        (void)oldIndex;
        (void)newIndex;
    }

protected:
    ~ListListener() = default;
};

} // namespace Vaxo
