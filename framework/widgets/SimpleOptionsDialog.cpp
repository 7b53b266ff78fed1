#include "widgets/SimpleOptionsDialog.h"

#include "app/VaxoAppBase.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <list>

namespace Vaxo
{

namespace
{
// Dialog id of the message dialogs: a second message replaces the first.
constexpr int kMessageDialogId = 1000;
// Gap between rows of controls, in pixels.
constexpr int kRowGap = 10;
} // namespace

SimpleOptionsDialog::SimpleOptionsDialog(int id, bool showBackButton)
    : SimpleDialog(id, true, "Options", "", "Ok", 3), mSfxTestSound(-1), mSfxTestCountdown(0)
{
    ButtonListener* buttons = this;
    mBackToMainMenuButton.reset(mSkin->CreateDialogButton(kBackToMainMenuId, buttons, "Back to Main Menu"));
    mHelpButton.reset(mSkin->CreateDialogButton(kHelpId, buttons, "Help"));
    mCreditsButton.reset(mSkin->CreateDialogButton(kCreditsId, buttons, "Credits"));
    mFullScreenCheckbox.reset(mSkin->CreateCheckbox("Full Screen", kFullScreenId, this));
    m3DCheckbox.reset(mSkin->CreateCheckbox("3D Acceleration", k3DId, this));
    mMusicVolumeSlider.reset(mSkin->CreateSlider(kMusicVolumeId, this));
    mSfxVolumeSlider.reset(mSkin->CreateSlider(kSfxVolumeId, this));
    mMusicLabel.reset(mSkin->CreateLabel("Music Volume", nullptr));
    mSfxLabel.reset(mSkin->CreateLabel("Sound Effects", nullptr));
    for (Widget* control : Controls())
        AddWidget(control);

    if (VaxoAppBase* app = gVaxoAppBase)
    {
        mMusicVolumeSlider->SetValue(app->mMusicVolume);
        mSfxVolumeSlider->SetValue(app->mSfxVolume);
        mFullScreenCheckbox->SetChecked(!app->mIsWindowed, false);
        m3DCheckbox->SetChecked(app->Is3DAccelerated(), false);
    }
    Resize(mX, mY, 400, 240);
    if (!showBackButton)
    {
        mBackToMainMenuButton->SetVisible(false);
        Resize(mX, mY, mWidth, mHeight - (mYesButton->mHeight + kRowGap));
    }
    mCreditsButton->SetVisible(false);
    mHelpButton->SetVisible(false);
}

SimpleOptionsDialog::~SimpleOptionsDialog()
{
    // A message still up would answer to this dialog once deleted: it goes with it.
    if (VaxoAppBase* app = gVaxoAppBase)
    {
        const std::list<Dialog*> dialogs = app->mDialogList;
        for (Dialog* dialog : dialogs)
        {
            if (dialog->mDialogListener == static_cast<DialogListener*>(this))
                app->KillDialog(dialog);
        }
    }
    RemoveAllWidgets(true);
}

std::vector<Widget*> SimpleOptionsDialog::Controls()
{
    return {mBackToMainMenuButton.get(), mHelpButton.get(), mCreditsButton.get(),
            mFullScreenCheckbox.get(),   m3DCheckbox.get(), mMusicVolumeSlider.get(),
            mSfxVolumeSlider.get(),      mMusicLabel.get(), mSfxLabel.get()};
}

void SimpleOptionsDialog::Resize(int x, int y, int width, int height)
{
    SimpleDialog::Resize(x, y, width, height);
    const std::vector<Widget*> controls = Controls();
    if (mYesButton == nullptr || std::find(controls.begin(), controls.end(), nullptr) != controls.end())
        return;
    // The back button anchors the layout, hidden or not.
    Widget* back = mBackToMainMenuButton.get();
    back->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ABOVE | LAYOUT_SAME_WIDTH | LAYOUT_SAME_HEIGHT, mYesButton.get(),
                 -mX, -kRowGap - mY);
    const int halfWidth = back->mWidth / 2 - 5;
    if (back->mVisible)
        mHelpButton->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ABOVE | LAYOUT_SET_WIDTH, back, 0, -kRowGap,
                            halfWidth);
    else
        mHelpButton->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ALIGN_TOP | LAYOUT_SET_WIDTH, back, 0, 0, halfWidth);
    mCreditsButton->Layout(LAYOUT_RIGHT_OF | LAYOUT_ALIGN_TOP | LAYOUT_SAME_WIDTH | LAYOUT_SAME_HEIGHT,
                           mHelpButton.get(), kRowGap);

    Slider* music = mMusicVolumeSlider.get();
    music->Layout(LAYOUT_SET_TOP, back, 0, 50);
    music->Layout(LAYOUT_ALIGN_LEFT, back, 80);
    music->Layout(LAYOUT_GROW_RIGHT, back);
    mSfxVolumeSlider->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_BELOW | LAYOUT_SAME_WIDTH | LAYOUT_SAME_HEIGHT, music,
                             0, kRowGap);
    mMusicLabel->Layout(LAYOUT_ALIGN_LEFT, back);
    mMusicLabel->Layout(LAYOUT_ALIGN_BOTTOM, music, 0, -8);
    mSfxLabel->Layout(LAYOUT_ALIGN_LEFT, mMusicLabel.get());
    mSfxLabel->Layout(LAYOUT_ALIGN_BOTTOM, mSfxVolumeSlider.get(), 0, -8);
    mFullScreenCheckbox->Layout(LAYOUT_BELOW, mSfxVolumeSlider.get(), 0, 20);
    mFullScreenCheckbox->Layout(LAYOUT_ALIGN_LEFT, back);
    m3DCheckbox->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ALIGN_TOP, mFullScreenCheckbox.get(), back->mWidth / 2);
}

void SimpleOptionsDialog::Draw(Graphics* g)
{
    SimpleDialog::Draw(g);
}

int SimpleOptionsDialog::GetPreferredHeight(int width)
{
    (void)width;
    return mHeight;
}

void SimpleOptionsDialog::SliderVal(int id, double value)
{
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
        return;
    if (id == kMusicVolumeId)
        app->SetMusicVolume(value);
    else if (id == kSfxVolumeId)
    {
        app->SetSfxVolume(value);
        mSfxTestCountdown = 1;
    }
}

void SimpleOptionsDialog::Update()
{
    SimpleDialog::Update();
    VaxoAppBase* app = gVaxoAppBase;
    // The test sound waits until the slider is let go.
    if (mSfxTestCountdown < 1 || app == nullptr || app->mWidgetManager->IsLeftButtonDown())
        return;
    if (--mSfxTestCountdown == 0 && mSfxTestSound >= 0)
        app->PlaySample(mSfxTestSound);
}

void SimpleOptionsDialog::ShowMessage(const char* header, const char* text)
{
    Dialog* message = gVaxoAppBase->DoDialog(kMessageDialogId, true, header, text, "OK", 3);
    if (message != nullptr)
        message->mDialogListener = this;
}

void SimpleOptionsDialog::CheckboxChecked(int id, bool checked)
{
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
        return;
    if (id == kFullScreenId && app->mForceFullscreen && !checked)
    {
        ShowMessage("No Windowed Mode",
                    "Windowed mode is only available if your desktop is running in either 16 "
                    "bit or 32 bit color mode and if the desktop resolution allows the whole "
                    "window to fit on screen.");
        mFullScreenCheckbox->SetChecked(true, true);
    }
    else if (id == k3DId && checked)
    {
        if (!app->Is3DAccelerationSupported())
        {
            m3DCheckbox->SetChecked(false, true);
            ShowMessage("Not Supported",
                        "Hardware Acceleration cannot be enabled on this computer.\nYour video "
                        "card does not meet the minimum requirements for this game.");
        }
        else if (!app->Is3DAccelerationRecommended())
        {
            ShowMessage("Warning", "Your video card may not fully support this feature.\nIf you experience "
                                   "slower performance, please disable Hardware Acceleration.");
        }
    }
}

void SimpleOptionsDialog::DialogButtonDepress(int dialogId, int buttonId)
{
    (void)buttonId;
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->KillDialog(dialogId);
}

void SimpleOptionsDialog::ButtonDepress(int id)
{
    if (id != DIALOG_BUTTON_YES)
    {
        if (mDialogListener != nullptr)
            CallOut(this, [&] { mDialogListener->DialogButtonDepress(mId, id); });
        return;
    }
    if (VaxoAppBase* app = gVaxoAppBase)
    {
        app->SwitchScreenMode(!mFullScreenCheckbox->IsChecked(), m3DCheckbox->IsChecked(), false);
        // By registration: another dialog may hold this id.
        app->KillDialog(static_cast<Dialog*>(this));
    }
}

} // namespace Vaxo
