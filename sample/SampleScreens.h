// The sample's two screens, each a widget as large as the window that the application
// puts into the widget manager.
//
// LoadingScreen shows the logo and the loading thread's progress; it draws with the
// "Init" group only. MainScreen is shown once loading is done: buttons, a check box, a
// slider, a list with a scroll bar and an edit field, all made by the dialog skin and
// drawn in the bitmap fonts. Its controls report to it through the listener interfaces
// (each with the control's id), and every choice belongs to the current player and is
// saved at once.
#pragma once

#include "common/SmartPtr.h"
#include "widgets/ButtonListener.h"
#include "widgets/CheckboxListener.h"
#include "widgets/EditListener.h"
#include "widgets/ListListener.h"
#include "widgets/OwnedWidget.h"
#include "widgets/SliderListener.h"
#include "widgets/Widget.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vaxo
{

class Checkbox;
class DialogButton;
class EditWidget;
class ListWidget;
class Profile;
class SampleApp;
class ScrollbarWidget;
class Slider;

class LoadingScreen : public Widget
{
public:
    explicit LoadingScreen(SampleApp* app);

    // Redraws when the progress moved.
    void Update() override;
    void Draw(Graphics* g) override;

    SampleApp* mApp;
    // Percentage drawn last.
    int32_t mShownPercent;
};

class MainScreen : public Widget,
                   public ButtonListener,
                   public CheckboxListener,
                   public SliderListener,
                   public ListListener,
                   public EditListener
{
public:
    // Control ids.
    enum
    {
        kPlayId,
        kOptionsId,
        kPlayersId,
        kQuitId,
        kMusicId,
        kPitchId,
        kNotesId,
        kGreetingId,
    };

    // Children, made by the dialog skin (the scroll bar by hand); owned through the tree, so a
    // recursive delete from above frees each of them once.
    OwnedWidget<DialogButton> mPlayButton;
    OwnedWidget<DialogButton> mOptionsButton;
    OwnedWidget<DialogButton> mPlayersButton;
    OwnedWidget<DialogButton> mQuitButton;
    OwnedWidget<Checkbox> mMusicCheckbox;
    OwnedWidget<Slider> mPitchSlider;
    OwnedWidget<ListWidget> mNoteList;
    OwnedWidget<ScrollbarWidget> mNoteScrollbar;
    OwnedWidget<EditWidget> mGreetingEdit;
    SampleApp* mApp;
    // The player whose choices the controls show; held so that it outlives a deletion.
    SmartPtr<Profile> mShownPlayer;
    // The status line: the last note played.
    std::string mLastNote;
    // The song was started (and not faded out since).
    bool mMusicOn;

public:
    explicit MainScreen(SampleApp* app);
    ~MainScreen() override;

    // Follows a change of player (the player dialogs make it).
    void Update() override;
    void Draw(Graphics* g) override;

    void ButtonDepress(int id) override;
    void CheckboxChecked(int id, bool checked) override;
    void SliderVal(int id, double value) override;
    void ListClicked(int id, int index, int clickCount) override;
    void EditWidgetText(int id, const VaxoString& text) override;

    // Puts the current player's choices into the controls and starts or stops the music.
    void ShowPlayer();
    // Plays the selected note with the pitch shift.
    void PlaySelectedNote();

    // Semitones of line `line` of the note list above middle C (a major scale).
    static int NoteSteps(int line);
};

} // namespace Vaxo
