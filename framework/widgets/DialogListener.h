// DialogListener: how dialogs report their buttons to their owner, and the ids those
// buttons report. Default bodies do nothing; never owned.
#pragma once

#include <cstdint>

namespace Vaxo
{

// The buttons a dialog reports (Dialog's result is the last one released).
enum DialogButtonId : int32_t
{
    DIALOG_BUTTON_YES = 1000,  // the first base button: Yes or OK
    DIALOG_BUTTON_NO = 1001,   // the second base button: No or Cancel
    DIALOG_BUTTON_THIRD = 1002 // SimpleDialog's optional third button
};

// The application passes Yes and No of dialog d on to its own ButtonListener side as the
// button ids d + kDialogYesEventOffset and d + kDialogNoEventOffset.
constexpr int32_t kDialogYesEventOffset = 2000;
constexpr int32_t kDialogNoEventOffset = 3000;

class DialogListener
{
public:
    // buttonId: a DialogButtonId.
    virtual void DialogButtonPress(int dialogId, int buttonId)
    {
        (void)dialogId;
        (void)buttonId;
    }
    virtual void DialogButtonDepress(int dialogId, int buttonId)
    {
        (void)dialogId;
        (void)buttonId;
    }

protected:
    ~DialogListener() = default;
};

} // namespace Vaxo
