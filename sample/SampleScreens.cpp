#include "SampleScreens.h"

#include "SampleApp.h"
#include "SampleProfile.h"
#include "app/MusicInterface.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "widgets/Checkbox.h"
#include "widgets/DialogButton.h"
#include "widgets/DialogSkin.h"
#include "widgets/EditWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/ProfileMgr.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/Slider.h"
#include "widgets/WidgetManager.h"

#include <cmath>
#include <cstdio>

namespace Vaxo
{

namespace
{
const Color kTextColor(0xF0F0E0);
const Color kHeadingColor(0xE0A030);
const Color kBarFrameColor(0x0C1420);

// Left edges of the main screen's three columns, and the top of their controls.
constexpr int kButtonsX = 40;
constexpr int kNotesX = 290;
constexpr int kChoicesX = 530;
constexpr int kControlsY = 150;
constexpr int kVisibleNotes = 7;
// The music's fades: the change of volume per update of 10 ms (half a second in all).
constexpr double kMusicFadeSpeed = 0.02;

void DrawTiled(Graphics* g, Image* tile, int width, int height)
{
    for (int y = 0; y < height; y += tile->GetHeight())
        for (int x = 0; x < width; x += tile->GetWidth())
            g->DrawImage(tile, x, y);
}

// Text with its left end at x and its baseline at y.
void DrawText(Graphics* g, Font* font, const Color& color, const std::string& text, int x, int y)
{
    g->SetFont(font);
    g->SetColor(color);
    g->DrawString(text, x, y);
}

void DrawCentred(Graphics* g, Font* font, const Color& color, const std::string& text, int width, int y)
{
    DrawText(g, font, color, text, (width - font->StringWidth(text)) / 2, y);
}

std::string Signed(int value)
{
    return (value > 0 ? "+" : "") + std::to_string(value);
}
} // namespace

// ---- LoadingScreen -------------------------------------------------------------------------

LoadingScreen::LoadingScreen(SampleApp* app) : mApp(app), mShownPercent(-1)
{
    Resize(0, 0, app->mWidth, app->mHeight);
}

void LoadingScreen::Update()
{
    Widget::Update();
    if (int32_t(mApp->GetLoadingThreadProgress() * 100.0) != mShownPercent)
        MarkDirty();
}

void LoadingScreen::Draw(Graphics* g)
{
    mShownPercent = int32_t(mApp->GetLoadingThreadProgress() * 100.0);
    DrawTiled(g, mApp->mTileImage, mWidth, mHeight);
    Image* logo = mApp->mLogoImage;
    const int logoY = 150;
    g->DrawImage(logo, (mWidth - logo->GetWidth()) / 2, logoY);
    Font* title = mApp->mTitleFont;
    DrawCentred(g, title, Color::White, mApp->mTitle, mWidth,
                logoY + (logo->GetHeight() + title->GetAscent()) / 2);

    const TRect<int> bar(200, 330, 400, 24);
    g->SetColor(kBarFrameColor);
    g->FillRect(bar);
    g->SetColor(kHeadingColor);
    g->FillRect(bar.mX + 3, bar.mY + 3, (bar.mWidth - 6) * mShownPercent / 100, bar.mHeight - 6);
    DrawCentred(g, mApp->mLabelFont, kTextColor, "Loading " + std::to_string(mShownPercent) + "%", mWidth,
                390);
}

// ---- MainScreen ------------------------------------------------------------------------------

MainScreen::MainScreen(SampleApp* app) : mApp(app), mMusicOn(false)
{
    Resize(0, 0, app->mWidth, app->mHeight);
    // Every control from the skin, so that they share one look.
    DialogSkin* skin = DialogSkin::mDefSkin;
    const char* labels[] = {"Play note", "Options", "Players", "Quit"};
    OwnedWidget<DialogButton>* buttons[] = {&mPlayButton, &mOptionsButton, &mPlayersButton, &mQuitButton};
    for (int i = 0; i < 4; i++)
    {
        buttons[i]->reset(skin->CreateDialogButton(kPlayId + i, this, labels[i]));
        (*buttons[i])->Resize(kButtonsX, kControlsY + 50 * i, 200, 36);
        AddWidget(buttons[i]->get());
    }

    // The list tells its scroll bar how far it can go; the bar moves the list.
    mNoteList.reset(skin->CreateListBox(kNotesId, this));
    mNoteScrollbar.reset(new ScrollbarWidget(kNotesId, mNoteList.get()));
    mNoteList->mScrollbar = mNoteScrollbar.get();
    // The wheel goes to the focus widget: a click on the list gives it the focus.
    mNoteList->mWantsFocus = true;
    for (const std::string& note : app->GetStringVector("Notes"))
        mNoteList->AddLine(note, false);
    // Lines two pixels apart, and the list's margin of two pixels round them.
    mNoteList->mItemHeight = app->mLabelFont->GetHeight() + 2;
    const int listHeight = kVisibleNotes * mNoteList->mItemHeight + 4;
    mNoteList->Resize(kNotesX, kControlsY, 160, listHeight);
    mNoteScrollbar->ResizeScrollbar(kNotesX + 160, kControlsY, 16, listHeight);
    AddWidget(mNoteList.get());
    AddWidget(mNoteScrollbar.get());

    mMusicCheckbox.reset(skin->CreateCheckbox("Music", kMusicId, this));
    mMusicCheckbox->Move(kChoicesX, kControlsY);
    mPitchSlider.reset(skin->CreateSlider(kPitchId, this));
    mPitchSlider->Resize(kChoicesX, kControlsY + 70, 230, mPitchSlider->mHeight);
    mGreetingEdit.reset(skin->CreateEdit(kGreetingId, this));
    mGreetingEdit->Resize(kChoicesX, kControlsY + 140, 230, mGreetingEdit->mHeight);
    mGreetingEdit->mMaxChars = 16;
    AddWidget(mMusicCheckbox.get());
    AddWidget(mPitchSlider.get());
    AddWidget(mGreetingEdit.get());
    ShowPlayer();
}

MainScreen::~MainScreen()
{
    // Children leave the tree before their owners delete them.
    RemoveAllWidgets(false);
}

int MainScreen::NoteSteps(int line)
{
    static const int kScale[7] = {0, 2, 4, 5, 7, 9, 11};
    return 12 * (line / 7) + kScale[line % 7];
}

void MainScreen::ShowPlayer()
{
    mShownPlayer = mApp->mProfileMgr->mCurProfile;
    SampleProfile* player = mApp->GetPlayer();
    SampleProfile none;
    const SampleProfile& shown = player != nullptr ? *player : none;
    mMusicCheckbox->SetChecked(shown.mMusicOn, false);
    mPitchSlider->SetValue((shown.mPitch + 12) / 24.0);
    mNoteList->SetSelect(shown.mNote);
    mGreetingEdit->SetText(shown.mGreeting);
    // A song fading out still counts as playing: the screen keeps its own account.
    const bool music = player != nullptr && shown.mMusicOn;
    if (music && !mMusicOn)
        mApp->mMusicInterface->FadeIn(SampleApp::kThemeSong, 0, kMusicFadeSpeed, false);
    else if (!music && mMusicOn)
        mApp->mMusicInterface->FadeOut(SampleApp::kThemeSong, true, kMusicFadeSpeed);
    mMusicOn = music;
    MarkDirty();
}

void MainScreen::Update()
{
    Widget::Update();
    if (mApp->mProfileMgr->mCurProfile.get() != mShownPlayer.get())
        ShowPlayer();
}

void MainScreen::Draw(Graphics* g)
{
    DrawTiled(g, mApp->mTileImage, mWidth, mHeight);
    Font* title = mApp->mTitleFont;
    Font* label = mApp->mLabelFont;
    DrawText(g, title, kHeadingColor, mApp->mTitle, kButtonsX, 40 + title->GetAscent());
    SampleProfile* player = mApp->GetPlayer();
    DrawText(g, label, kTextColor, "Player: " + (player != nullptr ? player->mName : std::string("none")),
             kButtonsX, 100);
    const int headingY = kControlsY - 12;
    DrawText(g, label, kHeadingColor, "Notes", kNotesX, headingY);
    DrawText(g, label, kHeadingColor, "Pitch " + Signed(player != nullptr ? player->mPitch : 0), kChoicesX,
             headingY + 70);
    DrawText(g, label, kHeadingColor, "Greeting", kChoicesX, headingY + 140);
    if (player != nullptr)
        DrawText(g, title, Color::White, player->mGreeting + ", " + player->mName + "!", kButtonsX, 420);
    DrawText(g, label, kTextColor,
             "Last note: " + mLastNote + "   Notes played: " + std::to_string(mApp->mNotesPlayed), kButtonsX,
             480);
}

void MainScreen::PlaySelectedNote()
{
    SampleProfile* player = mApp->GetPlayer();
    if (player == nullptr || player->mNote < 0 || player->mNote >= mNoteList->GetLineCount())
        return;
    const int steps = NoteSteps(player->mNote) + player->mPitch;
    if (mApp->PlayNote(steps))
        mLastNote = mNoteList->GetStringAt(player->mNote) + " (" + Signed(steps) + ")";
    MarkDirty();
}

void MainScreen::ButtonDepress(int id)
{
    // Each answer is the last thing done here: a dialog may be made, or the run end.
    switch (id)
    {
    case kPlayId:
        PlaySelectedNote();
        break;
    case kOptionsId:
        mApp->ShowOptions();
        break;
    case kPlayersId:
        mApp->ShowPlayers();
        break;
    case kQuitId:
        mApp->ConfirmQuit();
        break;
    default:
        break;
    }
}

void MainScreen::CheckboxChecked(int id, bool checked)
{
    SampleProfile* player = mApp->GetPlayer();
    if (id != kMusicId || player == nullptr)
        return;
    player->mMusicOn = checked;
    player->mDirty = true;
    mApp->mProfileMgr->SaveCurProfileIfDirty();
    ShowPlayer();
}

void MainScreen::SliderVal(int id, double value)
{
    SampleProfile* player = mApp->GetPlayer();
    if (id != kPitchId || player == nullptr)
        return;
    player->mPitch = int(std::lround(value * 24)) - 12;
    MarkDirty();
    // Saved once the thumb is let go, on a whole semitone.
    if (!mPitchSlider->mDragging)
    {
        mPitchSlider->SetValue((player->mPitch + 12) / 24.0);
        player->mDirty = true;
        mApp->mProfileMgr->SaveCurProfileIfDirty();
    }
}

void MainScreen::ListClicked(int id, int index, int clickCount)
{
    (void)clickCount;
    SampleProfile* player = mApp->GetPlayer();
    if (id != kNotesId || player == nullptr)
        return;
    mNoteList->SetSelect(index);
    player->mNote = index;
    player->mDirty = true;
    mApp->mProfileMgr->SaveCurProfileIfDirty();
    PlaySelectedNote();
}

void MainScreen::EditWidgetText(int id, const VaxoString& text)
{
    SampleProfile* player = mApp->GetPlayer();
    if (id != kGreetingId || player == nullptr)
        return;
    player->mGreeting = text;
    player->mDirty = true;
    mApp->mProfileMgr->SaveCurProfileIfDirty();
    // Return leaves the field, so that its caret stops blinking, for the list (the wheel's).
    mApp->mWidgetManager->SetFocus(mNoteList.get());
    MarkDirty();
}

} // namespace Vaxo
