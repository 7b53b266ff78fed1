// SimpleOptionsDialog: the framework's modal options dialog: music and sound-effect
// volume sliders, "Full Screen" and "3D Acceleration" check boxes, an "Ok" button that
// applies the screen mode and closes the dialog, and a "Back to Main Menu" button shown
// on request. Volumes change at once through the application; refused choices are
// explained in message dialogs (dialog id 1000) that this dialog opens through the
// application and closes itself. Main thread only.
#pragma once

#include "widgets/Checkbox.h"
#include "widgets/CheckboxListener.h"
#include "widgets/DialogButton.h"
#include "widgets/DialogListener.h"
#include "widgets/OwnedWidget.h"
#include "widgets/SimpleDialog.h"
#include "widgets/Slider.h"
#include "widgets/SliderListener.h"

#include <vector>

namespace Vaxo
{

class SimpleOptionsDialog : public SimpleDialog,
                            public SliderListener,
                            public CheckboxListener,
                            public DialogListener
{
public:
    // Control ids.
    enum
    {
        kBackToMainMenuId = 0,
        kFullScreenId = 1,
        k3DId = 2,
        kMusicVolumeId = 3,
        kSfxVolumeId = 4,
        kHelpId = 5,
        kCreditsId = 6,
    };

    // Children of the dialog, made by the skin and owned. Help and Credits stay hidden.
    OwnedWidget<DialogButton> mBackToMainMenuButton;
    OwnedWidget<DialogButton> mHelpButton;
    OwnedWidget<DialogButton> mCreditsButton;
    OwnedWidget<Checkbox> mFullScreenCheckbox;
    OwnedWidget<Checkbox> m3DCheckbox;
    OwnedWidget<Slider> mMusicVolumeSlider;
    OwnedWidget<Slider> mSfxVolumeSlider;
    OwnedWidget<Widget> mMusicLabel;
    OwnedWidget<Widget> mSfxLabel;
    // Played once the sound slider is let go; -1 none (a subclass sets it).
    int mSfxTestSound;
    // Updates left before the test sound plays; 0 none pending.
    int mSfxTestCountdown;

public:
    SimpleOptionsDialog(int id, bool showBackButton);
    // Removes and deletes its children, a subclass's too.
    ~SimpleOptionsDialog() override;

    void SliderVal(int id, double value) override;
    void CheckboxChecked(int id, bool checked) override;
    // A button of a message dialog closes it.
    void DialogButtonDepress(int dialogId, int buttonId) override;

    using SimpleDialog::Resize;
    void Resize(int x, int y, int width, int height) override;
    void Update() override;
    void Draw(Graphics* g) override;
    // The current height: the dialog sizes itself.
    int GetPreferredHeight(int width) override;
    // "Ok" switches the screen mode and kills the dialog; the other buttons go to the
    // dialog listener as (dialog id, button id) without a result.
    void ButtonDepress(int id) override;

private:
    // The nine controls, in the order they are added (null for one already deleted).
    std::vector<Widget*> Controls();
    // Opens a message dialog answered to this dialog.
    void ShowMessage(const char* header, const char* text);
};

} // namespace Vaxo
