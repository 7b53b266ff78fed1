#include "SampleApp.h"

#include "SampleProfile.h"
#include "SampleScreens.h"
#include "app/MusicInterface.h"
#include "app/SoundInstance.h"
#include "app/SoundManager.h"
#include "resources/ResourceManager.h"
#include "widgets/DialogSkin.h"
#include "widgets/ListWidget.h"
#include "widgets/ProfileMgr.h"
#include "widgets/SimpleDialog.h"
#include "widgets/SimpleOptionsDialog.h"
#include "widgets/Slider.h"
#include "widgets/WidgetManager.h"

#include <cstdio>

namespace Vaxo
{

namespace
{
// The framework's options dialog, made wider for the sample's wide bitmap font:
// the volume sliders start after their labels.
class SampleOptionsDialog : public SimpleOptionsDialog
{
public:
    explicit SampleOptionsDialog(int id) : SimpleOptionsDialog(id, false) { Resize(mX, mY, 520, mHeight); }

    using SimpleOptionsDialog::Resize;
    void Resize(int x, int y, int width, int height) override
    {
        SimpleOptionsDialog::Resize(x, y, width, height);
        const int left = mSfxLabel->mX + mSfxLabel->mWidth + 12;
        const int right = mMusicVolumeSlider->mX + mMusicVolumeSlider->mWidth;
        for (Slider* slider : {mMusicVolumeSlider.get(), mSfxVolumeSlider.get()})
            slider->Resize(left, slider->mY, right - left, slider->mHeight);
    }
};
} // namespace

SampleApp::SampleApp()
    : mLabelFont(nullptr), mTitleFont(nullptr), mLogoImage(nullptr), mTileImage(nullptr),
      mButtonImage(nullptr), mCheckboxImage(nullptr), mSliderTrackImage(nullptr), mSliderThumbImage(nullptr),
      mDialogImage(nullptr), mClickSound(-1), mChimeSound(-1), mRunCount(0), mNotesPlayed(0), mWant3D(-1),
      mWantWindowed(-1)
{
    // The program's name, in one place: the title, the settings key, the data folder, the
    // error boxes and every line it prints are made from these two.
    mCompanyName = "Vaxo";
    mProductName = "Sample";
    mTitle = mCompanyName + " " + mProductName;
    mRegKey = mCompanyName + "\\" + mProductName;
    // The title of the error boxes, unless properties/params.xml gives another; set before
    // the properties are read, so that a box about them carries it too.
    SetString("FATAL_ERROR", StringToWString(mTitle + ": Error"));
    mWidth = 800;
    mHeight = 600;
    mProfileMgr = new ProfileMgr(this, SampleProfile::Factory);
}

SampleApp::~SampleApp()
{
    // The hook must run while this class's members still exist: the base class's
    // destructor would only call its own.
    Shutdown();
}

void SampleApp::InitPropertiesHook()
{
    // The program cannot run without its properties; the box said why.
    if (!LoadProperties("properties/params.xml", true, false))
        DoExit(1);
    mIsWindowed = !GetBoolean("FullScreen", false);
    mDebugKeysEnabled = GetBoolean("Cheat", false);
    SampleProfile::mDefaultGreeting = GetString("Greeting", "Hello");
}

void SampleApp::HandleCmdLineParam(const std::string& name, const std::string& value)
{
    if (name == "-3d" || name == "-software")
        mWant3D = name == "-3d" ? 1 : 0;
    else if (name == "-windowed" || name == "-fullscreen")
        mWantWindowed = name == "-windowed" ? 1 : 0;
    else
        VaxoAppBase::HandleCmdLineParam(name, value);
}

void SampleApp::ReadFromRegistry()
{
    VaxoAppBase::ReadFromRegistry();
    // A demo plays with the choices it was recorded with: its settings calls must repeat
    // those of the recording, whatever the command line of the replay says.
    DemoSyncInt(&mWant3D);
    DemoSyncInt(&mWantWindowed);
    RegistryReadInteger("Runs", &mRunCount);
    mRunCount++;
    // The command line wins over the settings, and is kept like a choice in the options.
    if (mWantWindowed >= 0)
        mIsWindowed = mWantWindowed == 1;
    // The display reads the acceleration choice from the settings when it is made.
    if (mWant3D >= 0)
        RegistryWriteBoolean("Is3D", mWant3D == 1);
}

void SampleApp::WriteToRegistry()
{
    VaxoAppBase::WriteToRegistry();
    RegistryWriteInteger("Runs", mRunCount);
}

void SampleApp::InitHook()
{
    std::printf("%s: run %d\n", mTitle.c_str(), mRunCount);
    std::fflush(stdout);
    // A damaged manifest, or a group that does not load, ends the program with its error.
    LoadResourceManifest();
    if (!mResourceManager->LoadResources("Init") || !BindInitResources())
        ShowResourceError(true);
    mMusicInterface->LoadMusic(kThemeSong, "music/theme.wav");

    Profile::InitProfileDir("users", false);
    Profile::mMaxChars = 12;
    // A list that cannot be read is moved aside by the manager, which tells the player.
    mProfileMgr->Load();

    mLoadingScreen.reset(new LoadingScreen(this));
    mWidgetManager->AddWidget(mLoadingScreen.get());
}

void SampleApp::LoadingThreadProc()
{
    // One resource per step, so that the loading screen can show the progress.
    mNumLoadingThreadTasks = mResourceManager->GetNumResources("Game");
    mResourceManager->StartLoadResources("Game");
    while (mResourceManager->LoadNextResource())
        mCompletedLoadingThreadTasks++;
    // From this thread the error is shown by the main loop, which then ends the program.
    if (mResourceManager->HadError() || !BindGameResources())
        ShowResourceError(true);
}

void SampleApp::LoadingThreadCompleted()
{
    // After a failure the main loop shows the error and ends the program.
    if (mResourceManager->HadError())
        return;
    MakeDialogSkin();
    // A widget leaves the tree before it is deleted, and is deleted at a safe point.
    mWidgetManager->RemoveWidget(mLoadingScreen.get());
    SafeDeleteWidget(mLoadingScreen.release());
    mMainScreen.reset(new MainScreen(this));
    mWidgetManager->AddWidget(mMainScreen.get());
    // The wheel scrolls the notes from the start (a dialog over them hands the focus back).
    mWidgetManager->SetFocus(mMainScreen->mNoteList.get());
    std::printf("%s: loaded after %u ms\n", mTitle.c_str(), GetTicks() - mTimeLoaded);
    std::fflush(stdout);
    if (mProfileMgr->mCurProfile == nullptr)
        mProfileMgr->DoCreateProfileDialog(false, nullptr);
}

void SampleApp::ShutdownHook()
{
    // The loading thread may still be using the resource manager.
    WaitForLoadingThread();
    mProfileMgr->Save();
    if (mMainScreen != nullptr)
    {
        mWidgetManager->RemoveWidget(mMainScreen.get());
        SafeDeleteWidget(mMainScreen.release());
    }
    if (mLoadingScreen != nullptr)
    {
        mWidgetManager->RemoveWidget(mLoadingScreen.get());
        SafeDeleteWidget(mLoadingScreen.release());
    }
    // The dialogs, the skin and the resources go with the application.
    std::printf("%s: %d updates, %d notes played\n", mTitle.c_str(), mUpdateCount, mNotesPlayed);
    std::fflush(stdout);
}

Dialog* SampleApp::NewDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                             const VaxoString& footer, int buttonMode)
{
    // Skinned, so that the bitmap fonts draw the texts.
    return new SimpleDialog(dialogId, isModal, header, lines, footer, buttonMode);
}

void SampleApp::ButtonDepress(int id)
{
    if (id == kQuitDialogId + kDialogYesEventOffset || id == kQuitDialogId + kDialogNoEventOffset)
        KillDialog(kQuitDialogId);
    if (id == kQuitDialogId + kDialogYesEventOffset)
        Shutdown();
}

SampleProfile* SampleApp::GetPlayer()
{
    return static_cast<SampleProfile*>(mProfileMgr->mCurProfile.get());
}

bool SampleApp::PlayNote(int steps)
{
    SoundInstance* note = mChimeSound >= 0 ? mSoundManager->GetSoundInstance(mChimeSound) : nullptr;
    if (note == nullptr)
        return false;
    note->AdjustPitch(steps);
    // With autoRelease the manager takes the instance back when the note has faded.
    if (!note->Play(false, true))
    {
        note->Release();
        return false;
    }
    mNotesPlayed++;
    return true;
}

void SampleApp::ShowOptions()
{
    auto* options = new SampleOptionsDialog(kOptionsDialogId);
    options->mSfxTestSound = mChimeSound;
    options->Move((mWidth - options->mWidth) / 2, 110);
    AddDialog(kOptionsDialogId, options);
}

void SampleApp::ShowPlayers()
{
    mProfileMgr->DoProfileDialog();
}

void SampleApp::ConfirmQuit()
{
    DoDialog(kQuitDialogId, true, "Quit", "Leave " + mTitle + " now?", "", 1);
}

bool SampleApp::BindInitResources()
{
    // The throwing look-ups record which id is missing, for ShowResourceError.
    try
    {
        mLabelFont = mResourceManager->GetFontThrow("FONT_LABEL");
        mTitleFont = mResourceManager->GetFontThrow("FONT_TITLE");
        mLogoImage = mResourceManager->GetImageThrow("IMAGE_LOGO");
        mTileImage = mResourceManager->GetImageThrow("IMAGE_TILE");
    }
    catch (const ResourceManagerException&)
    {
        return false;
    }
    return true;
}

bool SampleApp::BindGameResources()
{
    try
    {
        mButtonImage = mResourceManager->GetImageThrow("IMAGE_BUTTON");
        mCheckboxImage = mResourceManager->GetImageThrow("IMAGE_CHECKBOX");
        mSliderTrackImage = mResourceManager->GetImageThrow("IMAGE_SLIDER_TRACK");
        mSliderThumbImage = mResourceManager->GetImageThrow("IMAGE_SLIDER_THUMB");
        mDialogImage = mResourceManager->GetImageThrow("IMAGE_DIALOG");
        mClickSound = mResourceManager->GetSoundThrow("SOUND_CLICK");
        mChimeSound = mResourceManager->GetSoundThrow("SOUND_CHIME");
    }
    catch (const ResourceManagerException&)
    {
        return false;
    }
    return true;
}

void SampleApp::MakeDialogSkin()
{
    // The skin borrows the resources (false: not owned); the resource manager keeps them.
    DialogSkin* skin = new DialogSkin();
    skin->mDialogImage.Set(mDialogImage, false);
    skin->mDialogButtonImage.Set(mButtonImage, false);
    skin->mCheckboxImage.Set(mCheckboxImage, false);
    skin->mSliderTrackImage.Set(mSliderTrackImage, false);
    skin->mSliderThumbImage.Set(mSliderThumbImage, false);
    skin->mHeaderFont.Set(mTitleFont, false);
    skin->mLinesFont.Set(mLabelFont, false);
    skin->mLabelFont.Set(mLabelFont, false);
    skin->mButtonClickSound = mClickSound;
    DialogSkin::mDefSkin = skin;
}

} // namespace Vaxo
