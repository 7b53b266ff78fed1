// SampleApp: a small program on the framework, written as the model for a new one.
//
// The application class derives from VaxoAppBase. Its constructor sets the product
// strings, the settings key and the window size and makes the profile manager; main calls
// Init and Start, and the framework calls the hooks below in this order:
//   HandleCmdLineParam      one call per command-line option, first of all: nothing is read
//                           yet, so the choices wait in members until ReadFromRegistry
//   InitPropertiesHook      reads properties/params.xml (the program ends without it)
//   ReadFromRegistry        the settings, from registry.bin below HOME; the command line's
//                           choices are applied here
//   InitHook                the resource manifest, the "Init" group, the song, the players
//                           and the loading screen (the window exists, not yet shown)
//   LoadingThreadProc       (Start) the "Game" group, one resource at a time, on the
//                           loading thread
//   LoadingThreadCompleted  back on the main thread, at an update: the dialog skin and the
//                           main screen
//   ShutdownHook            (Quit, or the window closed) saves the players, removes the
//                           screens
//   WriteToRegistry         the settings, twice with the same values: as Shutdown ends the
//                           run, and when the main loop has returned (after PreTerminate)
//
// Its files are read relative to the bundle's Contents/Resources folder: properties/
// (params.xml and the manifest resources.xml), fonts/, images/, sounds/ and music/. The
// players and the settings live below HOME in "Library/Application Support/Vaxo/Sample/".
//
// Command line: -3d or -software and -windowed or -fullscreen (kept for later runs, as
// the options dialog would), and the framework's -record, -play and -demofile=<name>. A
// demo plays with the choices it was recorded with: those given with -play are ignored.
#pragma once

#include "app/VaxoAppBase.h"
#include "common/SmartPtr.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Vaxo
{

class Dialog;
class Font;
class Image;
class LoadingScreen;
class MainScreen;
class ProfileMgr;
class SampleProfile;

class SampleApp : public VaxoAppBase
{
public:
    // Ids of the sample's dialogs (the player dialogs take 0 to 4).
    enum
    {
        kOptionsDialogId = 10,
        kQuitDialogId = 11,
    };
    // Song ids of the music interface.
    enum
    {
        kThemeSong = 0,
    };

    // Resources, looked up once their group is loaded; the resource manager owns them.
    Font* mLabelFont;
    Font* mTitleFont;
    Image* mLogoImage;
    Image* mTileImage;
    Image* mButtonImage;
    Image* mCheckboxImage;
    Image* mSliderTrackImage;
    Image* mSliderThumbImage;
    Image* mDialogImage;
    // Sound ids of the sound manager; -1 until loaded.
    int mClickSound;
    int mChimeSound;

    SmartPtr<ProfileMgr> mProfileMgr;
    std::unique_ptr<LoadingScreen> mLoadingScreen;
    std::unique_ptr<MainScreen> mMainScreen;
    // Runs of the program so far, this one included (setting "Runs").
    int32_t mRunCount;
    // Notes that started playing in this run.
    int32_t mNotesPlayed;
    // Command-line choices: 1 on, 0 off, -1 not given.
    int32_t mWant3D;
    int32_t mWantWindowed;

public:
    SampleApp();
    ~SampleApp() override;

    void InitPropertiesHook() override;
    void HandleCmdLineParam(const std::string& name, const std::string& value) override;
    void ReadFromRegistry() override;
    void WriteToRegistry() override;
    void InitHook() override;
    void LoadingThreadProc() override;
    void LoadingThreadCompleted() override;
    void ShutdownHook() override;
    // Dialogs of DoDialog (questions and messages) take the sample's skin.
    Dialog* NewDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                      const VaxoString& footer, int buttonMode) override;
    // The sample's dialogs answer here: Yes of dialog d arrives as d + kDialogYesEventOffset.
    void ButtonDepress(int id) override;

    // The current player (null while there is none).
    SampleProfile* GetPlayer();
    // Plays the chime `steps` semitones above middle C; false when no sound started.
    bool PlayNote(int steps);
    void ShowOptions();
    void ShowPlayers();
    void ConfirmQuit();

private:
    // The objects of a group, from the resource manager; false when one is missing.
    bool BindInitResources();
    bool BindGameResources();
    // The dialog skin every SimpleDialog (options, players, questions) is made with.
    void MakeDialogSkin();
};

} // namespace Vaxo
