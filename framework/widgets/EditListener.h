// EditListener: how the edit widget reports return and asks whether keys, characters
// and whole texts may go in. Every Allow* answers true by default; never owned. The
// Allow* answers come in the middle of an edit: they must not delete the field (the
// return report may).
#pragma once

#include "app/KeyCodes.h"
#include "common/Common.h"

namespace Vaxo
{

class EditListener
{
public:
    // Return was pressed with this text in the field.
    virtual void EditWidgetText(int id, const VaxoString& text)
    {
        (void)id;
        (void)text;
    }
    virtual bool AllowRawKey(int id, KeyCode key)
    {
        (void)id;
        (void)key;
        return true;
    }
    virtual bool AllowRawChar(int id, char c)
    {
        (void)id;
        (void)c;
        return true;
    }
    virtual bool AllowKey(int id, KeyCode key)
    {
        (void)id;
        (void)key;
        return true;
    }
    virtual bool AllowChar(int id, char c)
    {
        (void)id;
        (void)c;
        return true;
    }
    // The text the field would hold after an edit; false undoes the edit.
    virtual bool AllowText(int id, const VaxoString& text)
    {
        (void)id;
        (void)text;
        return true;
    }

protected:
    ~EditListener() = default;
};

} // namespace Vaxo
